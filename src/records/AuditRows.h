// The rows of an audit (/AUDIT): what each user's run came to, as the
// audit's page and its CSV show it. Data only.
#pragma once

#include <string>
#include <vector>

namespace qm {

struct AuditRow {
  std::string User;     ///< the name as the list gives it
  std::string Name;     ///< first and last name as the sources gave them
  std::string Outcome;  ///< "OK", or the error line the user's run ended with
  bool Failed = false;
  std::vector<std::string> SignTypes;
  std::vector<std::string> SignTypesReply;
  std::vector<std::string> Targets;
  std::vector<std::string> TargetsReply;
  std::vector<std::string> Rules;        ///< "Rule2": the rules that matched
  std::vector<std::string> Mailboxes;    ///< the addresses of the mailboxes
  std::vector<std::string> EmptyFields;  ///< fields the user's templates use that are empty
  std::vector<std::string> Warnings;
  std::string Folder;  ///< the user's folder below the audit's; "" when none was written
  std::string Opened;  ///< the file of the folder the page links to: the preview page, or the log of a failed run
};

}  // namespace qm
