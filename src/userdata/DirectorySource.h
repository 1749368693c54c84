// The directory source: the fields mapped to "AD" from the user's entry in the
// first configured search base that holds the user.
#pragma once

#include "platform/directory.h"

namespace qm {

/// The protection of the directory connection that "LDAPEncryption" names;
/// checked before anything is written, whether or not the directory is read.
/// Raises error 999 for a value that names none.
platform::directory::Encryption ReadEncryption();

/// The directory step (run when UseDirectory); ends with the "USERDATA" dump
/// and the step prompt. Records the user's distinguished name in Membership,
/// and with readGroups the groups the user belongs to. Returns false when the
/// user stopped the run at that prompt. Raises error 999 (no bases, user not
/// found) or the directory's error.
bool ReadDirectoryUserData(bool readGroups = false);

}  // namespace qm
