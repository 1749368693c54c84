// The settings catalogue: every key of the configuration file, read with its
// parsing when the step that needs it runs. Reading never fails; an empty value
// selects the default.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/Catalogue.h"
#include "records/Findings.h"

namespace qm {
struct Run;
}

namespace qm::Settings {

/// ReadIniValue of ConfigFilePath, section "Main". A key the catalogue does
/// not list is a defect of the program (std::logic_error): every key read is
/// one that /CHECK knows and the README describes.
std::string Main(const Run& run, const std::string& key);
/// ReadIniValue of ConfigFilePath, section "FieldMapping"; a key the
/// catalogue does not list as Main.
std::string FieldMapping(const Run& run, const std::string& key);

/// The key of "Main" that name is in the catalogue, compared without regard
/// to case (a numbered key with its number, "FixedSignTypeForDN2"); nullptr
/// for a name that no run reads.
const catalogue::Key* MainKey(std::string_view name);
/// True when a run takes the value of the key as its writer meant it: an
/// empty (or blank) value, for a Flag a number that is 0 or 1 ("01", "1.0"),
/// for a Choice one of its choices; any value of a Text key.
bool IsValidValue(const catalogue::Key& key, std::string_view value);
/// The text of a value that is not valid: "Ungültiger Wert 'ja' für
/// 'EventLog' (erlaubt: 0, 1, 2)", the value trimmed.
std::string InvalidValueText(const catalogue::Key& key, std::string_view value);
/// Every key of "Main" whose value a run refuses (catalogue::Key::Refused),
/// in catalogue order: raises error 999 with InvalidValueText for the first
/// one that is not valid.
void CheckRefusedValues(const Run& run);
/// True when name is a key of "FieldMapping" (without regard to case).
bool IsFieldMappingKey(std::string_view name);
/// Every key a numbered section of the kind knows (its own keys, then the
/// fields of its conditions).
std::vector<std::string_view> SectionKeys(const catalogue::SectionKind& kind);
/// Of the names known, the one a typing mistake away from name (a letter
/// missing, added, changed or two swapped, without regard to case; two such
/// mistakes in a longer name), the nearest first; "" when none is that near.
/// A name ending in a number is also held against the numbered keys of
/// "Main" ("FixedSignTypForDN2" is "FixedSignTypeForDN2").
std::string NearestName(std::string_view name, const std::vector<std::string_view>& known);

/// ReadIniValue of ConfigFilePath in any section.
std::string Value(const Run& run, const std::string& section, const std::string& key);
/// The numbered sections prefix1, prefix2, ... of the configuration file, up
/// to the first missing number (names compared without regard to case): their
/// count, 0 when prefix1 is missing.
int NumberedSectionCount(const Run& run, const std::string& prefix);
/// The names of the configuration's sections, in file order.
std::vector<std::string> SectionNames(const Run& run);
/// The key names of a section, in file order, each once (the first spelling).
std::vector<std::string> KeyNames(const Run& run, const std::string& section);

/// A key of a numbered section with its value as read.
struct SectionValue {
  std::string Key;
  std::string Value;
};
/// A numbered section ([Rule1], [Account2], ...): its number, its name as the
/// program writes it (prefix and number) and its keys in file order.
struct NumberedSection {
  int Number = 0;
  std::string Name;
  std::vector<SectionValue> Values;
};
/// Every numbered section prefix1, prefix2, ... up to the first missing
/// number. A value that fills the read buffer is a fault naming the section
/// and key (SectionFault): it would come back cut, and a cut list of groups
/// or names would quietly never match; with findings it is left out.
std::vector<NumberedSection> NumberedSections(const Run& run, const std::string& prefix,
                                              FindingList* findings = nullptr);
/// A fault of a numbered section: without findings the run's error 999
/// "Abschnitt '<name>': " followed by what; with findings one more finding at
/// "[<name>] <key>", and the reader goes on.
void SectionFault(const NumberedSection& section, const std::string& key, const std::string& what,
                  FindingList* findings);
/// The fault of a key that no section of its kind knows ("Unbekannter
/// Schlüssel 'Citty'"); a finding adds the nearest key the kind knows.
void UnknownKeyFault(const NumberedSection& section, const catalogue::SectionKind& kind,
                     const std::string& key, FindingList* findings);

std::string LogFile(const Run& run);              // trimmed, then expanded
/// Trimmed, expanded, every %NAME% replaced by UserName; nullopt when the
/// trimmed setting is empty (the environment's APPDATA is used then). A
/// setting that expands to nothing stays "" and names no folder.
std::optional<std::string> AppDataPath(const Run& run);
std::string TemplateFolder(const Run& run);       // raw, expanded, relative to ProgramFolderPath; default "Vorlagen"
bool NoNewMessageSignature(const Run& run);       // number is 1
bool NoReplyMessageSignature(const Run& run);     // number is 1
std::string PlaceholderSymbol(const Run& run);    // raw, default "@"
bool EscapeValues(const Run& run);                // number is 1
bool DropEmptyLines(const Run& run);              // number is 1
bool TemplateConditions(const Run& run);          // number is 1
std::string FixedSignType(const Run& run);        // lower case
std::string FixedSignTypeNoMobile(const Run& run);
std::string FixedSignTypeReply(const Run& run);
std::string FixedSignTypeReplyNoMobile(const Run& run);
std::string TargetSignType(const Run& run);       // raw
std::string TargetSignTypeReply(const Run& run);  // raw
/// Values of "EmptySignatureFolder" that empty the folder; any other leaves it.
inline constexpr int kEmptyToRecycleBin = 1;
inline constexpr int kEmptyForGood = 2;
int EmptySignatureFolder(const Run& run);         // kEmptyToRecycleBin, kEmptyForGood or 0
std::string EMailAccount(const Run& run);         // raw
bool SetForAllEMailAccounts(const Run& run);      // number is 1
bool ModernOutlook(const Run& run);               // number is 1
/// The user name quoted for the query and the filter it goes into (database
/// and directory step); off by default.
bool EscapeUserName(const Run& run);  // number is 1
/// Passwords of the logged connection text as "***" (database step); off by default.
bool HidePasswordsInLog(const Run& run);  // number is 1
/// The extensions of the images copied beside a signature, in copy order:
/// "ImageTypes" as a comma list (blanks and a leading dot dropped, lower
/// case), "gif", "jpg", "jpeg" when empty. Raises error 999 for an extension
/// that is no image Outlook shows (gif, jpg, jpeg, png, bmp).
std::vector<std::string> ImageTypes(const Run& run);
/// The manager's directory-mapped fields as @MANAGER_<FIELD>@; off by default.
bool ManagerData(const Run& run);  // number is 1
/// A signature set per mailbox of the profile, with the mailbox's own data
/// from the directory; off by default.
bool MailboxSignatures(const Run& run);  // number is 1
/// The run's outcome under HKEY_CURRENT_USER\Software\Quillmark (common
/// end); off by default.
bool RunStatus(const Run& run);  // number is 1
/// A log line for each image that could not be copied and each old signature
/// file that could not be deleted, and with RunStatus their number as
/// FileErrors; off by default.
bool ReportFileErrors(const Run& run);  // number is 1
/// Values of "EventLog": an event for a failed run, or one for every run; any
/// other value writes none (common end).
inline constexpr int kEventLogFailures = 1;
inline constexpr int kEventLogEveryRun = 2;
int EventLog(const Run& run);  // kEventLogFailures, kEventLogEveryRun or 0
/// "RemoveOldSignatures": the files an earlier run wrote into the signature
/// folder and this run did not write again are removed, to the recycle bin
/// (kEmptyToRecycleBin) or for good (kEmptyForGood); 0 (off) by default.
int RemoveOldSignatures(const Run& run);
/// Every signature file and image the run writes is made read-only; off by default.
bool ProtectSignatures(const Run& run);  // number is 1
/// How the directory connection is protected ("StartTLS" or "LDAPS", in any
/// case; directory step); trimmed, "" (a plain connection) by default.
std::string LDAPEncryption(const Run& run);

}  // namespace qm::Settings
