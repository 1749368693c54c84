// Which templates are rendered under which names: the fixed settings, what the
// sources supplied, and the rule for users without a mobile number.
#include "signatures/SignTypes.h"

#include "log/modHelper.h"
#include "run/Settings.h"
#include "support/modTools.h"
#include "userdata/UserData.h"

namespace qm {

std::vector<std::string> SignTypes;
std::vector<std::string> SignTypesReply;
std::vector<std::string> TargetSignTypes;
std::vector<std::string> TargetSignTypesReply;

namespace {
std::string g_noMobile;
std::string g_noMobileReply;
std::string g_target;
std::string g_targetReply;

// An empty text gives a list of one empty entry, like every split.
std::vector<std::string> SplitList(const std::string& text) { return Split(text, ","); }
}  // namespace

const std::string& TargetSignTypeText() { return g_target; }
const std::string& TargetSignTypeReplyText() { return g_targetReply; }

bool ReadFixedSignTypes() {
  WriteLog("Ermittle feste SignTypes");
  UserData.SignTypeFromSource = false;
  UserData[UserField::SignType] = Settings::FixedSignType();
  g_noMobile = Settings::FixedSignTypeNoMobile();
  WriteLog("...Feste SignTypes|" + UserData[UserField::SignType]);
  UserData.SignTypeReplyFromSource = false;
  UserData[UserField::SignTypeReply] = Settings::FixedSignTypeReply();
  g_noMobileReply = Settings::FixedSignTypeReplyNoMobile();
  WriteLog("...Feste SignTypes für Antworten|" + UserData[UserField::SignTypeReply]);
  WriteLog("Ermittle Ziel-SignTypes");
  g_target = Settings::TargetSignType();
  g_targetReply = Settings::TargetSignTypeReply();
  return ConfirmStep();
}

void ResolveSignTypes() {
  // Users without a mobile number get their own templates; the reply variant
  // only counts together with the new-message one.
  if (!g_noMobile.empty() && UserData[UserField::Mobile].empty()) {
    if (!UserData.SignTypeFromSource) UserData[UserField::SignType] = g_noMobile;
    if (!UserData.SignTypeReplyFromSource) UserData[UserField::SignTypeReply] = g_noMobileReply;
  }
  WriteLog("Lege SignTypes fest");
  const std::string& signType = UserData[UserField::SignType];
  const std::string& signTypeReply = UserData[UserField::SignTypeReply];
  if (signType.empty()) RaiseError("Keine Signaturtypen in der Datenbank festgelegt");
  SignTypes = SplitList(signType);
  SignTypesReply = SplitList(signTypeReply);
  if (g_target.empty()) g_target = signType;
  if (g_targetReply.empty()) g_targetReply = signTypeReply;
  TargetSignTypes = SplitList(g_target);
  TargetSignTypesReply = SplitList(g_targetReply);
  WriteLog("Prüfe SignTypes");
  if (TargetSignTypes.size() < SignTypes.size()) {
    RaiseError("Es sind weniger Ziel-SignTypes vorhanden als SignTypes");
  }
  if (TargetSignTypesReply.size() < SignTypesReply.size()) {
    RaiseError("Es sind weniger Ziel-SignTypes für Antworten vorhanden als SignTypes");
  }
  WriteLog("SIGNTYPES");
}

}  // namespace qm
