// The directory source: the fields mapped to "AD" from the user's entry in the
// first configured search base that holds the user, the base's sign types,
// and for the signature rules the entry's DN and its groups.
#pragma once

#include "platform/directory.h"

namespace qm {

/// The protection of the directory connection that "LDAPEncryption" names
/// (blanks removed, any case): none when it is empty. Raises error 999
/// "Ungültiger Wert ..." for any other value; reads nothing else.
platform::directory::Encryption ReadEncryption();

/// The directory step (run when UseDirectory); ends with the "USERDATA" dump
/// and the step prompt. Records the user's distinguished name in Membership,
/// and with readGroups the groups the user belongs to. Returns false when the
/// user stopped the run at that prompt. Raises error 999 (no bases, user not
/// found while a field is mapped to the directory) or the directory's error;
/// when only the rules need the directory, a user found in no base is logged
/// and leaves Membership empty.
bool ReadDirectoryUserData(bool readGroups = false);

}  // namespace qm
