// The sign type lists of the run (which templates are rendered under which
// names) and the texts they are formed from: data only.
#pragma once

#include <string>
#include <vector>

namespace qm {

/// The four lists of one set of signatures: the user's (the run's own lists) or
/// a mailbox's.
struct SignTypeListSet {
  std::vector<std::string> SignTypes;
  std::vector<std::string> SignTypesReply;
  std::vector<std::string> TargetSignTypes;
  std::vector<std::string> TargetSignTypesReply;
};

/// The texts read with the fixed sign types and used when the lists are formed.
struct SignTypeTexts {
  std::string NoMobile;       ///< "FixedSignTypeNoMobile", lower case
  std::string NoMobileReply;  ///< "FixedSignTypeReplyNoMobile", lower case
  std::string
      Target;  ///< "TargetSignType"; the sign types themselves once the lists are formed, when empty
  std::string TargetReply;  ///< "TargetSignTypeReply"; likewise for replies
  std::string TargetSetting;       ///< "TargetSignType" as read, for the lists of mailboxes
  std::string TargetReplySetting;  ///< "TargetSignTypeReply" as read
};

}  // namespace qm
