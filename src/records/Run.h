// Run: the data of one run for one user, created by the run and handed by
// reference to every step that reads or fills it. Data only: the steps that
// fill it live above it, and none of it logs. Two runs in one process (an audit
// of every user) are two values of it; nothing of a run lives elsewhere.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "records/MailAccounts.h"
#include "records/Mailboxes.h"
#include "records/Membership.h"
#include "records/ProducedSignatures.h"
#include "records/RegistryRecord.h"
#include "records/Rules.h"
#include "records/RunState.h"
#include "records/SignTypeLists.h"
#include "records/UserData.h"
#include "support/clsDirLib.h"
#include "support/clsFileLib.h"
#include "support/clsRegistry.h"

namespace qm {

/// What the runs of an audit share (its connections and the directory's
/// answers that many users ask for); the sources keep it.
struct SharedSources;

/// One user of an audit (/AUDIT): the name the run takes for the Windows user,
/// the folder its preview and its log go into, and the addresses of the
/// accounts its profile is taken to hold (the PC that audits is not the user's).
struct AuditedUser {
  std::string UserName;
  std::string Folder;  ///< ends in "\"
  std::vector<std::string> Accounts;
};

/// The listing of the template folder, as a run takes it: the names it can
/// use and those the ANSI code page cannot hold.
struct FolderListing {
  std::vector<std::string> Files;
  std::vector<std::string> Unusable;
};

/// The configuration as an audit's runs read it: each value, each list of
/// section and key names read once from the file for all users, by the
/// section and key; each template small enough to keep, by its path; the
/// templates found readable, by path (one that was not is looked for again,
/// so that its error is the user's); the template folder's listing, by the
/// folder's path; and where the configuration file and the program folder
/// were found.
struct ConfigurationReads {
  std::map<std::string, std::string> Values;
  std::map<std::string, std::string> Templates;
  std::optional<std::vector<std::string>> SectionNames;
  std::map<std::string, std::vector<std::string>> KeyNames;
  std::set<std::string> ReadableTemplates;
  std::map<std::string, FolderListing> TemplateFolders;
  std::optional<std::pair<std::string, std::string>> ConfigFileAndProgramFolder;
};

struct Run {
  Run() = default;
  // One run's data is never copied: the registry redirection of a simulation
  // writes into the record it was made for.
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  /// The run-wide values: the switches, the paths, the settings read.
  RunStateValues RunState;
  /// The two shared objects; every file and folder test, creation, copy and
  /// deletion of the run goes through them.
  clsFileLib SharedFile;
  clsDirLib SharedDir;

  /// The user's data, its mapping table and the two source flags.
  UserDataRecord UserData;
  std::array<FieldMapping, kUserFieldCount> FieldMappings{};
  bool UseDatabase = false;
  bool UseDirectory = false;
  /// The mapping of the user's photo (section "FieldMapping", key "Photo"): a
  /// directory attribute ("AD": thumbnailPhoto, jpegPhoto) or a database column
  /// of binary data ("DB"); Source "" when the photo is not mapped.
  FieldMapping PhotoMapping;
  PhotoRecord UserPhoto;
  /// The user's manager (ManagerData=1): the directory-mapped fields of the
  /// entry that the user's "manager" attribute names; empty when there is none.
  UserDataRecord ManagerData;
  /// The user's entry in the directory and its groups.
  MembershipRecord Membership;

  /// The rules of the run, in number order, and what they decided.
  std::vector<Rule> Rules;
  RuleOutcomeRecord RuleOutcome;

  /// The four lists, indexed from 0: entry i of a target list is the output
  /// name for entry i of the matching sign type list.
  std::vector<std::string> SignTypes;
  std::vector<std::string> SignTypesReply;
  std::vector<std::string> TargetSignTypes;
  std::vector<std::string> TargetSignTypesReply;
  SignTypeTexts SignTypeSettings;

  /// The mail accounts of the profile that the registration works on.
  std::vector<MailAccount> MailAccounts;
  /// The profile's accounts as read once per run: the path of its account key
  /// and its list (the account sections' check, the mailboxes and the
  /// registration each take it from here).
  std::optional<std::pair<std::string, std::vector<MailAccount>>> ProfileAccounts;
  /// The account sections of the configuration, and the defaults they give.
  std::vector<AccountSection> AccountSections;
  std::vector<AccountDefaults> AccountAssignments;
  /// The run's mailboxes, in the profile's account order; empty without
  /// MailboxSignatures or on an Outlook that keeps one default for all accounts.
  std::vector<MailboxRecord> Mailboxes;
  /// The account keys of mailboxes that get no signatures of their own, since
  /// their files would have the name of an earlier mailbox's: their accounts get
  /// the user's own signatures.
  std::vector<std::string> AccountsWithUserSignatures;

  /// The signatures written, in order, for the preview page.
  std::vector<ProducedSignature> ProducedSignatures;
  /// A simulation's registry writes, recorded instead of made; empty in a real run.
  std::optional<RegistryRecording> RegistryRecord;
  /// Where the registry writes of a simulation go (into RegistryRecord);
  /// unset in a real run.
  RegistryRedirection RegistryRedirect;

  /// The user an audit runs; unset in a run of its own.
  std::optional<AuditedUser> Audited;
  /// The audit's shared connections and answers (not owned); nullptr in a run
  /// of its own, which opens and closes its own.
  SharedSources* Shared = nullptr;
  /// The audit's reads of the configuration (not owned); nullptr in a run of
  /// its own, which reads the file at each setting as Windows' profile
  /// functions do.
  ConfigurationReads* SharedConfiguration = nullptr;
};

}  // namespace qm
