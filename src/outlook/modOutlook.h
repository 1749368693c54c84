// Outlook version, default profile, mail accounts and default signatures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/Findings.h"
#include "records/MailAccounts.h"
#include "records/Run.h"

namespace qm {

/// Run step 7: the setting "ModernOutlook" (with it, Outlook 2010, 2013 and
/// 2016 and later are named and get default signatures; without it they are
/// left alone like any unknown version), then the version from the classes
/// root, else the local machine; raises "Outlook-Version konnte nicht
/// ermittelt werden" when both give 0, except in a simulation (version 0).
void DetermineOutlookVersion(Run& run);

/// Run step 10: the name of the signature folder below <AppData>\Microsoft.
/// Outlook 2010 and later (with ModernOutlook=1) name it in the language of the
/// installation and record the name in Office\<version>.0\Common\General,
/// value "Signatures"; "Signatures" when that value is missing, empty or no text
/// and for every other version. Raises only when the registry store is unusable.
std::string SignatureFolderName(const Run& run);

/// MailboxSignatures=1, before the sources: the mail accounts of the default
/// profile that have an address (a POP/IMAP account's "Email", else an
/// "Account Name" that is an address) into Mailboxes, one per address, for
/// the versions that keep a default per account; logs "Ermittle Postfächer"
/// and one line per account with an address, or why one is skipped; an
/// address whose files would have an earlier mailbox's name (compared as
/// Windows compares file names) gets none of its own, its account keys go to
/// AccountsWithUserSignatures with one line naming both addresses (and, with
/// findings, a note naming both). Nothing for other versions and without a
/// default profile. Raises as the account list is read for the registration.
void ReadMailboxes(Run& run, FindingList* findings = nullptr);

/// The display names of the default profile's mail accounts, in list order,
/// for the versions that keep a default per account; none for other versions,
/// without a default profile, or when the account list cannot be read (the
/// registration then ends the run with that fault). Raises only when the
/// registry store is unusable.
std::vector<std::string> ProfileAccountNames(Run& run);

/// The major version from Outlook.Application\CurVer; 0 when it cannot be read.
std::int32_t GetOutlookVersion(bool useMachineKey);
/// The default profile's name for the version: 9, 11, 12 and 14 keep it in the
/// Windows Messaging Subsystem, 15 and 16 below Office\<version>.0\Outlook.
/// "" when missing or for any other version.
std::string GetDefaultProfile(std::int32_t version);
void EncodeProfileName(std::string& profile);
/// The accounts of the profile into MailAccounts from entry 0 on. The profile
/// text comes back as the account key paths of the version use it (encoded up
/// to Outlook 2010). Raises 13 when the account list is not binary, or when an
/// "Account Name" is not binary (up to 2007) or neither binary nor text.
void ReadMailAccounts(Run& run, std::string& profile, std::int32_t version = 12);
/// The subkey of the first account named accountName, or "". Changes the
/// profile text as ReadMailAccounts does; raises 9 when the profile has no
/// account subkeys.
std::string FindAccountKey(std::string& profile, const std::string& accountName,
                           std::int32_t version = 12);

/// Run step 27: the defaults for the Outlook version; for Outlook 2010 and later
/// also "Send Pictures With Document" when the run copied an image. Versions
/// that register per account give the accounts that an account section names
/// that section's names (AccountSections, read and checked before anything
/// was written); Outlook 2000 and XP log that they ignore the sections.
void SetDefaultSignature(Run& run, const std::string& newName, const std::string& replyName,
                         std::int32_t version);

}  // namespace qm
