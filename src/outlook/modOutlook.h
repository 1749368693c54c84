// Outlook version, default profile, mail accounts and default signatures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct MailAccount {
  std::string Key;
  std::string Name;
};
extern std::vector<MailAccount> MailAccounts;

/// Run step 7: the version from the classes root, else the local machine;
/// raises "Outlook-Version konnte nicht ermittelt werden" when both give 0.
void DetermineOutlookVersion();

std::int32_t GetOutlookVersion(bool useMachineKey);
std::string GetDefaultProfile(std::int32_t version);
void EncodeProfileName(std::string& profile);
void ReadMailAccounts(std::string& profile);
std::string FindAccountKey(std::string& profile, const std::string& accountName);

/// Run step 27: the defaults for the Outlook version.
void SetDefaultSignature(const std::string& newName, const std::string& replyName,
                         std::int32_t version);

}  // namespace qm
