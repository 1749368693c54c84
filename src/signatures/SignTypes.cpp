// Which templates are rendered under which names: the fixed settings, what the
// sources supplied, and the rule for users without a mobile number.
#include "signatures/SignTypes.h"

#include "log/modHelper.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "support/modTools.h"

namespace qm {

namespace {
constexpr const char* kNoSignTypes = "Keine Signaturtypen in der Datenbank festgelegt";

// An empty text gives a list of one empty entry, like every split.
std::vector<std::string> SplitList(const std::string& text) { return Split(text, ","); }

void CheckTargets(size_t signTypes, size_t targets, size_t signTypesReply, size_t targetsReply) {
  if (targets < signTypes) RaiseError("Es sind weniger Ziel-SignTypes vorhanden als SignTypes");
  if (targetsReply < signTypesReply) {
    RaiseError("Es sind weniger Ziel-SignTypes für Antworten vorhanden als SignTypes");
  }
}
}  // namespace

bool ReadFixedSignTypes() {
  WriteLog("Ermittle feste SignTypes");
  UserData.SignTypeFromSource = false;
  UserData[UserField::SignType] = Settings::FixedSignType();
  SignTypeSettings.NoMobile = Settings::FixedSignTypeNoMobile();
  WriteLog("...Feste SignTypes|" + UserData[UserField::SignType]);
  UserData.SignTypeReplyFromSource = false;
  UserData[UserField::SignTypeReply] = Settings::FixedSignTypeReply();
  SignTypeSettings.NoMobileReply = Settings::FixedSignTypeReplyNoMobile();
  WriteLog("...Feste SignTypes für Antworten|" + UserData[UserField::SignTypeReply]);
  WriteLog("Ermittle Ziel-SignTypes");
  SignTypeSettings.Target = Settings::TargetSignType();
  SignTypeSettings.TargetReply = Settings::TargetSignTypeReply();
  SignTypeSettings.TargetSetting = SignTypeSettings.Target;
  SignTypeSettings.TargetReplySetting = SignTypeSettings.TargetReply;
  return ConfirmStep();
}

void ResolveSignTypes() {
  // Users without a mobile number get their own templates; the reply variant
  // only counts together with the new-message one.
  if (!SignTypeSettings.NoMobile.empty() && UserData[UserField::Mobile].empty()) {
    if (!UserData.SignTypeFromSource) UserData[UserField::SignType] = SignTypeSettings.NoMobile;
    if (!UserData.SignTypeReplyFromSource) UserData[UserField::SignTypeReply] = SignTypeSettings.NoMobileReply;
  }
  WriteLog("Lege SignTypes fest");
  const std::string& signType = UserData[UserField::SignType];
  const std::string& signTypeReply = UserData[UserField::SignTypeReply];
  if (signType.empty()) RaiseError(kNoSignTypes);
  SignTypes = SplitList(signType);
  SignTypesReply = SplitList(signTypeReply);
  if (SignTypeSettings.Target.empty()) SignTypeSettings.Target = signType;
  if (SignTypeSettings.TargetReply.empty()) SignTypeSettings.TargetReply = signTypeReply;
  TargetSignTypes = SplitList(SignTypeSettings.Target);
  TargetSignTypesReply = SplitList(SignTypeSettings.TargetReply);
  WriteLog("Prüfe SignTypes");
  CheckTargets(SignTypes.size(), TargetSignTypes.size(), SignTypesReply.size(),
               TargetSignTypesReply.size());
  WriteLog("SIGNTYPES");
}

SignTypeListSet FormSignTypeLists(const std::string& signType, const std::string& signTypeReply,
                                  const SignTypeTexts& settings) {
  if (signType.empty()) RaiseError(kNoSignTypes);
  SignTypeListSet lists;
  lists.SignTypes = SplitList(signType);
  lists.SignTypesReply = SplitList(signTypeReply);
  lists.TargetSignTypes =
      SplitList(settings.TargetSetting.empty() ? signType : settings.TargetSetting);
  lists.TargetSignTypesReply =
      SplitList(settings.TargetReplySetting.empty() ? signTypeReply : settings.TargetReplySetting);
  CheckTargets(lists.SignTypes.size(), lists.TargetSignTypes.size(), lists.SignTypesReply.size(),
               lists.TargetSignTypesReply.size());
  return lists;
}

std::vector<PlannedSignature> PlannedSignatures(const SignTypeListSet& lists, bool replies,
                                                const std::string& nameSuffix) {
  std::vector<PlannedSignature> plan;
  for (size_t i = 0; i < lists.SignTypes.size(); ++i) {
    const std::string target = lists.TargetSignTypes[i] + nameSuffix;
    plan.push_back({std::to_string(i + 1) + ". Standardsignatur|" + lists.SignTypes[i] + " > " + target,
                    lists.SignTypes[i], target, false});
  }
  if (!replies) return plan;
  for (size_t i = 0; i < lists.SignTypesReply.size(); ++i) {
    const std::string target = lists.TargetSignTypesReply[i] + nameSuffix;
    plan.push_back({std::to_string(i + 1) + ". Antwortsignatur|" + lists.SignTypesReply[i] + " auf " + target,
                    lists.SignTypesReply[i], target, lists.SignTypesReply[i].empty()});
  }
  return plan;
}

std::vector<PlannedSignature> PlannedSignatures(const UserDataRecord& user) {
  return PlannedSignatures({SignTypes, SignTypesReply, TargetSignTypes, TargetSignTypesReply},
                           !user[UserField::SignTypeReply].empty());
}

}  // namespace qm
