// The configuration check: everything the configuration file and the command
// line can get wrong is refused before the signature folder is emptied and
// before any file or registry value is written, on a preview and on a PC
// without Outlook alike, so that a mistyped section never costs a user
// yesterday's signatures.
#pragma once

#include "records/Run.h"

namespace qm {

/// Run step 16, after the field mappings: reads and checks the image types,
/// the values of the keys of "Main" that a run refuses, the rules, the
/// account sections and "LDAPEncryption". Raises error 999 naming the section
/// and key, or the value.
void CheckConfiguration(Run& run);

/// "MailboxSignatures" wants the directory: raises error 999 when no base is
/// configured.
void CheckMailboxDirectory(Run& run);

/// "ManagerData" wants the directory: raises error 999 when no base is
/// configured.
void CheckManagerDirectory(Run& run);

/// Once the sign type lists are formed (step 22), before the signature folder
/// is touched: the signature names the account sections give, and in a
/// simulation the name of the preview page. Raises error 999.
void CheckSignatureNames(Run& run);

}  // namespace qm
