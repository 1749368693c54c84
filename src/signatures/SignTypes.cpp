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

bool ReadFixedSignTypes(Run& run) {
  WriteLog(run, "Ermittle feste SignTypes");
  run.UserData.SignTypeFromSource = false;
  run.UserData[UserField::SignType] = Settings::FixedSignType(run);
  run.SignTypeSettings.NoMobile = Settings::FixedSignTypeNoMobile(run);
  WriteLog(run, "...Feste SignTypes|" + run.UserData[UserField::SignType]);
  run.UserData.SignTypeReplyFromSource = false;
  run.UserData[UserField::SignTypeReply] = Settings::FixedSignTypeReply(run);
  run.SignTypeSettings.NoMobileReply = Settings::FixedSignTypeReplyNoMobile(run);
  WriteLog(run, "...Feste SignTypes für Antworten|" + run.UserData[UserField::SignTypeReply]);
  WriteLog(run, "Ermittle Ziel-SignTypes");
  run.SignTypeSettings.Target = Settings::TargetSignType(run);
  run.SignTypeSettings.TargetReply = Settings::TargetSignTypeReply(run);
  run.SignTypeSettings.TargetSetting = run.SignTypeSettings.Target;
  run.SignTypeSettings.TargetReplySetting = run.SignTypeSettings.TargetReply;
  return ConfirmStep(run);
}

void ResolveSignTypes(Run& run) {
  // Users without a mobile number get their own templates; the reply variant
  // only counts together with the new-message one.
  if (!run.SignTypeSettings.NoMobile.empty() && run.UserData[UserField::Mobile].empty()) {
    if (!run.UserData.SignTypeFromSource) run.UserData[UserField::SignType] = run.SignTypeSettings.NoMobile;
    if (!run.UserData.SignTypeReplyFromSource) run.UserData[UserField::SignTypeReply] = run.SignTypeSettings.NoMobileReply;
  }
  WriteLog(run, "Lege SignTypes fest");
  const std::string& signType = run.UserData[UserField::SignType];
  const std::string& signTypeReply = run.UserData[UserField::SignTypeReply];
  if (signType.empty()) RaiseError(kNoSignTypes);
  run.SignTypes = SplitList(signType);
  run.SignTypesReply = SplitList(signTypeReply);
  if (run.SignTypeSettings.Target.empty()) run.SignTypeSettings.Target = signType;
  if (run.SignTypeSettings.TargetReply.empty()) run.SignTypeSettings.TargetReply = signTypeReply;
  run.TargetSignTypes = SplitList(run.SignTypeSettings.Target);
  run.TargetSignTypesReply = SplitList(run.SignTypeSettings.TargetReply);
  WriteLog(run, "Prüfe SignTypes");
  CheckTargets(run.SignTypes.size(), run.TargetSignTypes.size(), run.SignTypesReply.size(),
               run.TargetSignTypesReply.size());
  WriteLog(run, "SIGNTYPES");
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

std::vector<PlannedSignature> PlannedSignatures(const Run& run) {
  return PlannedSignatures({run.SignTypes, run.SignTypesReply, run.TargetSignTypes, run.TargetSignTypesReply},
                           !run.UserData[UserField::SignTypeReply].empty());
}

}  // namespace qm
