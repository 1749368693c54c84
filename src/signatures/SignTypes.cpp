// Which templates are rendered under which names: the fixed settings, what the
// sources supplied, and the rule for users without a mobile number.
#include "signatures/SignTypes.h"

#include "log/modHelper.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "support/modTools.h"

namespace qm {

namespace {
// An empty text gives a list of one empty entry, like every split.
std::vector<std::string> SplitList(const std::string& text) { return Split(text, ","); }
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
  if (signType.empty()) RaiseError("Keine Signaturtypen in der Datenbank festgelegt");
  SignTypes = SplitList(signType);
  SignTypesReply = SplitList(signTypeReply);
  if (SignTypeSettings.Target.empty()) SignTypeSettings.Target = signType;
  if (SignTypeSettings.TargetReply.empty()) SignTypeSettings.TargetReply = signTypeReply;
  TargetSignTypes = SplitList(SignTypeSettings.Target);
  TargetSignTypesReply = SplitList(SignTypeSettings.TargetReply);
  WriteLog("Prüfe SignTypes");
  if (TargetSignTypes.size() < SignTypes.size()) {
    RaiseError("Es sind weniger Ziel-SignTypes vorhanden als SignTypes");
  }
  if (TargetSignTypesReply.size() < SignTypesReply.size()) {
    RaiseError("Es sind weniger Ziel-SignTypes für Antworten vorhanden als SignTypes");
  }
  WriteLog("SIGNTYPES");
}

std::vector<PlannedSignature> PlannedSignatures(const UserDataRecord& user) {
  std::vector<PlannedSignature> plan;
  for (size_t i = 0; i < SignTypes.size(); ++i) {
    plan.push_back({std::to_string(i + 1) + ". Standardsignatur|" + SignTypes[i] + " > " +
                        TargetSignTypes[i],
                    SignTypes[i], TargetSignTypes[i], false});
  }
  if (user[UserField::SignTypeReply].empty()) return plan;
  for (size_t i = 0; i < SignTypesReply.size(); ++i) {
    plan.push_back({std::to_string(i + 1) + ". Antwortsignatur|" + SignTypesReply[i] + " auf " +
                        TargetSignTypesReply[i],
                    SignTypesReply[i], TargetSignTypesReply[i], SignTypesReply[i].empty()});
  }
  return plan;
}

}  // namespace qm
