// Sign type resolution: the fixed settings, what sources supply, the rule for
// users without a mobile number, the four lists and their three errors.
#include "records/UserData.h"
#include "signatures/SignTypes.h"
#include "unit_support.h"
#include "userdata/Sources.h"

namespace qm {
namespace {

using List = std::vector<std::string>;

class SignTypeResolution : public unit::FolderTest {};

struct SourceValue {
  UserField field;
  std::optional<std::string> value;
};

struct Case {
  const char* name;
  std::string main;  // lines of section [Main]
  std::vector<SourceValue> sources;
  std::string error;  // "" when the lists are formed
  List signTypes, signTypesReply, targets, targetsReply;
};

TEST_F(SignTypeResolution, Table) {
  using F = UserField;
  const Case cases[] = {
      {"fixed_lowered_split_targets_default", "FixedSignType=Standard, Kurz,,c,\r\n", {}, "",
       {"standard", " kurz", "", "c", ""}, {""}, {"standard", " kurz", "", "c", ""}, {""}},
      {"targets_keep_case_reply_fixed",
       "FixedSignType=a,b\r\nTargetSignType=Firma,Kurz,Extra\r\nFixedSignTypeReply=Antwort\r\n",
       {}, "", {"a", "b"}, {"antwort"}, {"Firma", "Kurz", "Extra"}, {"antwort"}},
      {"too_few_targets", "FixedSignType=a,b\r\nTargetSignType=Firma\r\n", {},
       "Es sind weniger Ziel-SignTypes vorhanden als SignTypes", {}, {}, {}, {}},
      {"too_few_reply_targets",
       "FixedSignType=a\r\nFixedSignTypeReply=x,y\r\nTargetSignTypeReply=X\r\n", {},
       "Es sind weniger Ziel-SignTypes für Antworten vorhanden als SignTypes", {}, {}, {}, {}},
      {"nothing_configured", "", {}, "Keine Signaturtypen in der Datenbank festgelegt", {}, {},
       {}, {}},
      {"source_signtype_lowered_clears_reply",
       "FixedSignType=a\r\nFixedSignTypeReply=antwort\r\n", {{F::SignType, "Vertrieb"}}, "",
       {"vertrieb"}, {""}, {"vertrieb"}, {""}},
      {"source_both", "FixedSignType=a\r\nFixedSignTypeReply=antwort\r\n",
       {{F::SignType, "v"}, {F::SignTypeReply, "R1,R2"}}, "", {"v"}, {"r1", "r2"}, {"v"},
       {"r1", "r2"}},
      {"source_empty_keeps_fixed", "FixedSignType=a\r\nFixedSignTypeReply=b\r\n",
       {{F::SignType, ""}, {F::SignTypeReply, std::nullopt}}, "", {"a"}, {"b"}, {"a"}, {"b"}},
      {"no_mobile_applies",
       "FixedSignType=a\r\nFixedSignTypeNoMobile=OhneHandy\r\nFixedSignTypeReply=b\r\n"
       "FixedSignTypeReplyNoMobile=ohneantwort\r\n",
       {}, "", {"ohnehandy"}, {"ohneantwort"}, {"ohnehandy"}, {"ohneantwort"}},
      {"only_reply_no_mobile_does_nothing",
       "FixedSignType=a\r\nFixedSignTypeReply=b\r\nFixedSignTypeReplyNoMobile=c\r\n", {}, "",
       {"a"}, {"b"}, {"a"}, {"b"}},
      {"mobile_present_no_rule",
       "FixedSignType=a\r\nFixedSignTypeNoMobile=ohne\r\nFixedSignTypeReply=b\r\n",
       {{F::Mobile, "0171"}}, "", {"a"}, {"b"}, {"a"}, {"b"}},
      {"source_signtype_wins_over_no_mobile",
       "FixedSignType=a\r\nFixedSignTypeNoMobile=ohne\r\nFixedSignTypeReplyNoMobile=oa\r\n",
       {{F::SignType, "db"}}, "", {"db"}, {"oa"}, {"db"}, {"oa"}},
      {"source_reply_wins_over_no_mobile",
       "FixedSignType=a\r\nFixedSignTypeNoMobile=ohne\r\nFixedSignTypeReplyNoMobile=oa\r\n",
       {{F::SignTypeReply, "dbr"}}, "", {"ohne"}, {"dbr"}, {"ohne"}, {"dbr"}},
      {"no_mobile_targets_follow_rule", "FixedSignTypeNoMobile=ohne\r\n", {}, "", {"ohne"}, {""},
       {"ohne"}, {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Config("[Main]\r\n" + c.main);
    ASSERT_TRUE(ReadFixedSignTypes(run));
    for (const SourceValue& s : c.sources) WriteSourceValue(run.UserData, s.field, s.value);
    if (!c.error.empty()) {
      unit::ExpectError(999, [&] { ResolveSignTypes(run); }, c.error);
      continue;
    }
    ResolveSignTypes(run);
    EXPECT_EQ(run.SignTypes, c.signTypes);
    EXPECT_EQ(run.SignTypesReply, c.signTypesReply);
    EXPECT_EQ(run.TargetSignTypes, c.targets);
    EXPECT_EQ(run.TargetSignTypesReply, c.targetsReply);
  }
}

}  // namespace
}  // namespace qm
