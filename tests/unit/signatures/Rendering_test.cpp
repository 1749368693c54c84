// Rendering one template into one signature file: placeholders, SIGNTITLE per
// format, line ends across reads, escaping, dropped lines, errors. Line ends,
// empty templates, the bytes outside the placeholders, values in the code page
// and the break of SIGNTITLE in each format are checked on both builds by the
// whole-program signature tests.
#include "../../common/render_reference.h"
#include "records/UserData.h"
#include "signatures/Rendering.h"
#include "unit_support.h"

namespace qm {
namespace {

struct Field {
  UserField field;
  std::string value;
};

enum Options { kPlain = 0, kEscape = 1, kDrop = 2, kConditions = 4 };

// A template, the values and settings it is rendered with.
struct Input {
  const char* name;
  std::string symbol;
  std::vector<Field> values;
  int format;
  std::string templ;
  int options = kPlain;  // EscapeValues, DropEmptyLines
  std::optional<std::vector<Field>> mailbox = std::nullopt;  // a mailbox's signature, its values
};

class Rendering : public unit::FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    for (const char* folder : {"tpl", "sig"}) std::filesystem::create_directories(Path(folder));
    NextRun();
  }

  /// A new run on the two folders: a run reads each template once, so a
  /// template written anew is one for the next run.
  void NextRun() {
    NewRun();
    run.RunState.TemplateFolderPath = Core("tpl") + "\\";
    run.RunState.SignatureFolderPath = Core("sig") + "\\";
  }

  /// The signature file the input renders to.
  std::string Render(const Input& in) {
    NextRun();
    for (const Field& f : in.values) run.UserData[f.field] = f.value;
    mailbox_ = UserDataRecord{};
    for (const Field& f : in.mailbox.value_or(std::vector<Field>{})) mailbox_[f.field] = f.value;
    run.RunState.PlaceholderSymbol = in.symbol;
    run.RunState.EscapeValues = (in.options & kEscape) != 0;
    run.RunState.DropEmptyLines = (in.options & kDrop) != 0;
    run.RunState.TemplateConditions = (in.options & kConditions) != 0;
    const char* ext = in.format == kFormatHtm ? ".htm" : in.format == kFormatRtf ? ".rtf" : ".txt";
    Write(std::string("tpl/t") + ext, in.templ);
    SignatureData data{&run.UserData, Mailbox(in)};
    data.membership = &membership_;
    CreateSignatureFile(run, "t", "out", in.format, data);
    return Read(std::string("sig/out") + ext);
  }

  const UserDataRecord* Mailbox(const Input& in) const { return in.mailbox ? &mailbox_ : nullptr; }

  UserDataRecord mailbox_;
  MembershipRecord membership_{"CN=Max,DC=firma", {{"CN=Vertrieb,OU=Gruppen,DC=firma", "Vertrieb"}}};
};

struct Case {
  const char* name;
  std::string symbol;
  std::vector<Field> values;
  int format;
  std::string templ;
  std::string expected;
  int options = kPlain;
  std::optional<std::vector<Field>> mailbox = std::nullopt;
};

TEST_F(Rendering, Table) {
  using F = UserField;
  const Case cases[] = {
      {"fields: case, prefix, empty, repeated and adjacent; no sign types", "@",
       {{F::FirstName, "Anna"}, {F::LastName, "Berg"}, {F::UserDef1, "eins"},
        {F::UserDef10, "zehn"}, {F::Fax, "F"}, {F::Mobile, "M"}, {F::SignType, "x"}},
       kFormatTxt,
       "@FIRSTNAME@ @LASTNAME@ @FirstName@ @USERDEF1@/@USERDEF10@ [@PHONE@] @FAX@@FAX@@MOBILE@ "
       "@SIGNTYPE@@SIGNTYPEREPLY@",
       "Anna Berg @FirstName@ eins/zehn [] FFM @SIGNTYPE@@SIGNTYPEREPLY@\r\n"},
      {"other_symbol", "##", {{F::City, "Hamburg"}}, kFormatTxt, "##CITY## @CITY@",
       "Hamburg @CITY@\r\n"},
      {"empty_symbol_bare_names", "", {{F::City, "Kiel"}, {F::Phone, "1"}}, kFormatTxt,
       "CITY PHONE city", "Kiel 1 city\r\n"},
      {"fullname_all_parts", "@",
       {{F::Title, "Dr."}, {F::FirstName, "Anna"}, {F::Initials, "M."}, {F::LastName, "Berg"}},
       kFormatTxt, "<@FULLNAME@>", "<Dr. Anna M. Berg>\r\n"},
      {"fullname_no_firstname", "@", {{F::LastName, "Berg"}}, kFormatTxt, "[@FULLNAME@]",
       "[ Berg]\r\n"},
      {"signtitle_only_first", "@", {{F::SignTitle1, "Sales"}}, kFormatRtf, "@SIGNTITLE@",
       "Sales\r\n"},
      {"split_placeholder_not_replaced", "@", {{F::City, "K"}}, kFormatTxt, "@CI\r\nTY@",
       "@CI\r\nTY@\r\n"},
      {"empty_lines_kept", "@", {}, kFormatTxt, "\r\n\r\n\rx", "\r\n\r\n\r\nx\r\n"},
      // EscapeValues: values only, never the template's own text.
      {"escape_htm", "@", {{F::UserDef1, "Müller & Söhne <V> \"x\" Żółć 😀~\x7f"}}, kFormatHtm,
       "<b title=\"\xe4\">@USERDEF1@</b> & <",
       "<b title=\"\xe4\">M&#252;ller &amp; S&#246;hne &lt;V&gt; &quot;x&quot; "
       "&#379;&#243;&#322;&#263; &#128512;~&#127;</b> & <\r\n", kEscape},
      // DropEmptyLines: a line goes when every placeholder in it stands for nothing.
      {"drop_empty_and_blank", "@", {{F::Phone, "1"}, {F::Mobile, " \t"}}, kFormatTxt,
       "Tel @PHONE@\r\nFax @FAX@\r\nMobil @MOBILE@\rFax @FAX@ Tel @PHONE@\r\n\r\nohne\r\n@fax@",
       "Tel 1\r\nFax  Tel 1\r\n\r\nohne\r\n@fax@\r\n", kDrop},
      {"drop_composed_values", "@", {{F::SignTitle2, " "}}, kFormatHtm,
       "@FULLNAME@<br>\r\n@SIGNTITLE@<br>\r\nx", "x\r\n", kDrop},
      {"keep_composed_with_one_part", "@", {{F::Initials, "M."}, {F::SignTitle2, "B"}}, kFormatRtf,
       "@FULLNAME@\\par\r\n@SIGNTITLE@\\par", " M. \\par\r\n\r\n\\par B\\par\r\n", kDrop},
      // A lone LF (a template saved by Git) ends a line only where lines are
      // dropped, and is written back as it was.
      {"lf_inside_the_line", "@", {{F::Phone, "1"}}, kFormatTxt, "Tel @PHONE@\nFax @FAX@\n",
       "Tel 1\nFax \n\r\n"},
      {"drop_lf_lines", "@", {{F::Phone, "1"}}, kFormatTxt, "Tel @PHONE@\nFax @FAX@\n\nx\r\n@FAX@\ny",
       "Tel 1\n\nx\r\ny\r\n", kDrop},
      // A mailbox's signature: its values after MAILBOX_, the user's as ever.
      {"mailbox_beside_the_user", "@", {{F::FirstName, "Max"}, {F::Phone, "1"}}, kFormatHtm,
       "@FIRSTNAME@ f&uuml;r @MAILBOX_LASTNAME@<br>\r\nTel @MAILBOX_PHONE@\r\n@MAILBOX_FULLNAME@\r\n"
       "@MAILBOX_FAX@ @FAX@\r\n@MAILBOX_FIRSTNAME",
       "Max f&uuml;r Team Vertrieb<br>\r\nTel 2\r\n Team Vertrieb\r\n@MAILBOX_FIRSTNAME\r\n", kDrop,
       std::vector<Field>{{F::LastName, "Team Vertrieb"}, {F::Phone, "2"}}},
      {"without_a_mailbox_its_names_are_text", "@", {{F::Phone, "1"}}, kFormatTxt,
       "@MAILBOX_PHONE@ @PHONE@_@PHONE@", "@MAILBOX_PHONE@ 1_1\r\n"},
      // Conditional blocks: marker lines are never written; blanks around a
      // marker, any case; nested; a value that reads like a marker is a value.
      {"conditions", "@", {{F::Mobile, "0171"}, {F::City, "Gdynia"}, {F::Fax, " "}, {F::UserDef1, "@ENDIF@"}},
       kFormatTxt,
       "@IF MOBILE@\r\nMobil @MOBILE@\r\n@ENDIF@\r\n  @if fax@ \nFax @FAX@\n@ELSE@\nkein Fax\n@EndIf@\n"
       "@IF CITY=gd*@\r\n@IFNOT FAX@\r\nPolska @USERDEF1@\r\n@IF MEMBEROF=Technik;vertrieb@\r\nVertrieb\r\n"
       "@ENDIF@\r\n@ENDIF@\r\n@ENDIF@\r\n@IF MEMBEROF=cn=vertrieb, ou=gruppen,dc=firma@\rDN\r@ENDIF@\r"
       "@ELSEIF@\r\nme@if.de",
       "Mobil 0171\r\nkein Fax\nPolska @ENDIF@\r\nVertrieb\r\nDN\r\n@ELSEIF@\r\nme@if.de\r\n",
       kConditions},
      {"conditions_without_the_key_are_text", "@", {{F::Mobile, ""}}, kFormatTxt, "@IF MOBILE@\r\nx\r\n@ENDIF@",
       "@IF MOBILE@\r\nx\r\n@ENDIF@\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Render({c.name, c.symbol, c.values, c.format, c.templ, c.options, c.mailbox}), c.expected);
  }
}

// Lines where replacing the placeholders one after the other differs from
// putting every value in its place at once (one such place per line): the
// same bytes as the reference. In the order of the list, a later placeholder
// in a value is replaced, an earlier one and the value's own are not.
TEST_F(Rendering, TrickyLinesAsOneAfterTheOther) {
  using F = UserField;
  const Input cases[] = {
      {"replacements that make, complete or take placeholders", "@",
       {{F::Fax, "1"}, {F::City, "1"}, {F::Phone, "0711 @US"}, {F::FirstName, "NAME@"}}, kFormatTxt,
       "@PH@TITLE@ONE@FAX@\r@USERDEF@CITY@@\r@FIRST@FIRSTNAME@\r@LAST@FIRSTNAME@\rP@PHONE@2\r"
       "@CITY@4@\r@TITLE@FIRSTNAME@\r@FAX@FAX@FAX@\r@FIRSTNAME@@LASTNAME@\r@@CITY@@\r"
       "@CITY@@PHONE@\r @PHONE@ERDEF1@"},
      {"values with the symbol and placeholders", "@",
       {{F::EMail, "a@b.de"}, {F::LastName, "@CITY@"}, {F::City, "@FIRSTNAME@ @USERDEF1@"},
        {F::UserDef1, "@@"}, {F::Title, "@CIT"}, {F::FirstName, "Y@"}, {F::Street, "@STREET@x"}},
       kFormatTxt,
       "mailto:@EMAIL@\r@EMAIL@@EMAIL@\r<@LASTNAME@>\r<@FULLNAME@>\r(@TITLE@@FIRSTNAME@)\r"
       "@USERDEF1@CITY@USERDEF1@\r @STREET@"},
      {"symbols that overlap themselves", "##", {{F::City, "#"}, {F::Phone, "##"}, {F::Fax, ""}},
       kFormatTxt, "###CITY##\r##CITY###PHONE##\r##PHONE####FAX##\r#####FAX###\r##CITY####"},
      {"a symbol of two bytes, completed by a value", "#@", {{F::Phone, "x#"}, {F::Fax, "F"}},
       kFormatTxt, "#@PHONE#@@FAX#@\r#@PHONE#@\r#@FAX#@ #@"},
      {"symbols with a name's letters", "E", {{F::Fax, "1"}, {F::EMail, "m"}}, kFormatTxt,
       "EFAXE\rEEMAILE\rEFAXEMAILE"},
      {"a symbol outside ASCII", "§", {{F::City, "§CITY§ €"}, {F::Street, "x"}}, kFormatHtm,
       "\xa7" "CITY\xa7\r\xa7" "STREET\xa7\xa7" "STREET\xa7", kEscape},
      {"a mailbox's values and names that run into others", "@",
       {{F::Phone, "@MAILBOX_CITY@"}, {F::Fax, "X_"}}, kFormatTxt,
       "@MAILBOX_PHONE@@PHONE@\r@MAILBOX_@FAX@CITY@\r@FAX@MAILBOX_FAX@\r_@MAILBOX_FAX@_", kPlain,
       std::vector<Field>{{F::City, "Köln"}, {F::Phone, "@FAX@"}}},
      {"escaped values that hold a placeholder", "@",
       {{F::UserDef1, "&@CITY@"}, {F::City, "<"}, {F::SignTitle2, "@CITY@}"}}, kFormatRtf,
       "{@USERDEF1@}\r@SIGNTITLE@\\par", kEscape},
      {"dropped lines whose placeholders a replacement made", "@",
       {{F::Phone, " "}, {F::City, "PHONE"}}, kFormatTxt,
       "@PH@TITLE@ONE@\n@@CITY@@\r\n@TITLE@ x\n@FAX@@PHONE@\r\n", kDrop},
  };
  for (const Input& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string rendered = Render(c);  // sets the values the reference renders with
    EXPECT_EQ(rendered, qmtest::ReferenceRender(run.RunState, c.templ, c.format, run.UserData, Mailbox(c)));
  }
}

TEST_F(Rendering, LineEndOnReadBoundary) {
  // CR as the last byte of one read and LF as the first of the next, for every
  // read size a reader is likely to use; lines longer than one read.
  for (size_t chunk : {size_t{512}, size_t{4096}, size_t{8192}, size_t{65536}}) {
    SCOPED_TRACE(chunk);
    const std::string head(chunk - 1, 'x');
    NextRun();
    Write("tpl/b.txt", head + "\r\n@CITY@\r" + std::string(chunk - 1, 'y') + "\r");
    run.UserData[UserField::City] = "K";
    CreateSignatureFile(run, "b", "b", kFormatTxt, run.UserData);
    EXPECT_EQ(Read("sig/b.txt"), head + "\r\nK\r\n" + std::string(chunk - 1, 'y') + "\r\n");
  }
}

// A template as Word saves it as rtf: each paragraph's text in groups, its
// \par at the start of the next line.
const std::string kWordRtf =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
    "\\pard\\plain\\f0 {\\rtlch\\fcs1 \\insrsid1 @FIRSTNAME@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }{\\rtlch\\fcs1 \\insrsid1 @IF MOBILE@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }{\\rtlch\\fcs1 \\b\\insrsid1 Mobil @MOBILE@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }{\\rtlch\\fcs1 \\insrsid1 @ENDIF@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }{\\rtlch\\fcs1 \\insrsid1 @IF FAX@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }{\\rtlch\\fcs1 \\insrsid1 Fax @FAX@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }{\\rtlch\\fcs1 \\insrsid1 @ENDIF@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }\\pard\\plain\\f0\\fs20 {\\rtlch\\fcs1 \\insrsid1 @CITY@}{\\rtlch\\fcs1 \\insrsid1 \r\n"
    "\\par }}";

// Markers as HTML and rtf editors write them: wrapped in tags, control
// words and groups, a tag or the marker itself wrapped onto the next line, a
// word split across spans. The marker's line goes whole; what formats the
// lines after it stays.
TEST_F(Rendering, MarkersAsEditorsWriteThem) {
  using F = UserField;
  const std::vector<Field> values = {{F::FirstName, "Anna"}, {F::Mobile, "0171"}, {F::City, "Köln"}};
  const Case cases[] = {
      {"Word's htm", "@", values, kFormatHtm,
       "<p class=MsoNormal>@FIRSTNAME@<o:p></o:p></p>\r\n"
       "<p class=MsoNormal>@IF MOBILE@<o:p></o:p></p>\r\n"
       "<p class=MsoNormal>Mobil @MOBILE@<o:p></o:p></p>\r\n"
       "<p class=MsoNormal><span\r\nstyle='font-size:10.0pt'>@ELSE@</span><o:p></o:p></p>\r\n"
       "<p class=MsoNormal>ohne<o:p></o:p></p>\r\n"
       "<p class=MsoNormal><span lang=DE>@EN</span><span class=SpellE>DIF@</span>&nbsp;</p>\r\n"
       "<div style=\"color:red\">@IF FAX@\r\nFax @FAX@<br>\r\n@ENDIF@</div>\r\n"
       "<p>@IF\r\nCITY=K*@</p>\r\nK<br>\r\n<p><b>@ENDIF@</b><br></p>\r\n<!-- Ende -->",
       "<p class=MsoNormal>Anna<o:p></o:p></p>\r\n<p class=MsoNormal>Mobil 0171<o:p></o:p></p>\r\n"
       "<div style=\"color:red\">\r\n</div>\r\nK<br>\r\n<!-- Ende -->\r\n",
       kConditions},
      {"rtf: the font table and the formatting stay, the marker's paragraph goes", "@", values, kFormatRtf,
       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 @IF MOBILE@\\par\r\nMobil @MOBILE@\\par\r\n"
       "\\pard\\plain\\b @ELSE@\\par\r\nohne\\par\r\n"
       "{\\rtlch\\insrsid1 @END}{\\insrsid2 IF@}{\\insrsid1 \\par }\r\n"
       "{\\*\\bkmkstart x}@IF CITY=K\\'f6*@\\par\r\nK\\par\r\n@ENDIF@\\par\r\n}",
       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 \r\nMobil 0171\\par\r\n\\pard\\plain\\b \r\n"
       "{\\*\\bkmkstart x}\r\nK\\par\r\n}\r\n",
       kConditions},
      // Word ends a paragraph with "\par }" at the start of the next line: a
      // marker's line begins with the \par of the line before it, which stays
      // where that line does, and its own \par goes from the next line.
      {"Word's rtf, the mobile's block written, the fax's not", "@",
       {{F::FirstName, "Anna"}, {F::Mobile, "0171"}, {F::City, "Kiel"}}, kFormatRtf, kWordRtf,
       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
       "\\pard\\plain\\f0 {\\rtlch\\fcs1 \\insrsid1 Anna}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "\\par }{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}{\\rtlch\\fcs1 \\b\\insrsid1 Mobil 0171}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "\\par }{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}\\pard\\plain\\f0\\fs20 {\\rtlch\\fcs1 \\insrsid1 Kiel}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "\\par }}\r\n",
       kConditions},
      {"Word's rtf, the fax's block written, the mobile's not", "@",
       {{F::FirstName, "Anna"}, {F::Fax, "0711"}, {F::City, "Kiel"}}, kFormatRtf, kWordRtf,
       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
       "\\pard\\plain\\f0 {\\rtlch\\fcs1 \\insrsid1 Anna}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "\\par }{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}{\\rtlch\\fcs1 \\insrsid1 Fax 0711}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "\\par }{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "}\\pard\\plain\\f0\\fs20 {\\rtlch\\fcs1 \\insrsid1 Kiel}{\\rtlch\\fcs1 \\insrsid1 \r\n"
       "\\par }}\r\n",
       kConditions},
      // The mark of a marker's paragraph in a group of its own at the start of
      // the next line; a marker line that holds its own \par leaves the next
      // line's (an empty paragraph the template wants) alone.
      {"the next line's \\par in a group, and one after a marker with its own", "@", {{F::Mobile, "0171"}},
       kFormatRtf,
       "{\\rtf1 {\\insrsid1 @IF MOBILE@}\r\n{\\rtlch\\fcs1 \\insrsid1 \\par }Mobil\\par\r\n"
       "@ENDIF@\\par\r\n\\par\r\nEnde\\par}",
       "{\\rtf1 \r\n{\\rtlch\\fcs1 \\insrsid1 }Mobil\\par\r\n\\par\r\nEnde\\par}\r\n", kConditions},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Render({c.name, c.symbol, c.values, c.format, c.templ, c.options}), c.expected);
  }
}

TEST_F(Rendering, MarkersThatAreWrong) {
  const struct {
    const char* ext;
    std::string templ, error;
  } rows[] = {
      {"txt", "x\r\n@IF NOSUCHFIELD@\r\n@ENDIF@", "Zeile 2: Unbekannte Bedingung '@IF NOSUCHFIELD@'"},
      {"txt", "@IF MOBIL@\r\n@ENDIF@", "Zeile 1: Unbekannte Bedingung '@IF MOBIL@'; meinten Sie MOBILE?"},
      {"txt", "@if not Fax@\r\n@ENDIF@",
       "Zeile 1: Unbekannte Bedingung '@if not Fax@'; meinten Sie '@IFNOT Fax@'?"},
      {"txt", "@IF MOBILE@\n@ELSE@\n@ELSE@\n@ENDIF@", "Zeile 3: zweites ELSE zum IF in Zeile 1"},
      {"txt", "@ENDIF@", "Zeile 1: ENDIF ohne IF"},
      {"txt", "\n\n@ELSE@", "Zeile 3: ELSE ohne IF"},
      {"txt", "@IF FAX@\r\n@IF MOBILE@\r\n@ENDIF@\r\n", "Zeile 1: IF ohne ENDIF"},
      {"txt", "@ENDIF x@", "Zeile 1: Unbekannte Bedingung '@ENDIF x@'"},
      {"txt", "@IF MOBILE@\r\nTel @PHONE@ @ENDIF@",
       "Zeile 2: '@ENDIF@' steht nicht allein in der Zeile; jede Bedingung gehört in eine eigene Zeile"},
      {"txt", "@IF\r\nMOBILE@\r\n@ENDIF@", "Zeile 1: '@IF' ohne schließendes '@'"},
      {"htm", "<p>@IF MOBILE@ Mobil @MOBILE@</p>",
       "Zeile 1: '@IF MOBILE@' steht nicht allein in der Zeile; jede Bedingung gehört in eine eigene Zeile"},
      {"htm", "x\r\n<p>@IF MOBILE</p>\r\n<p>Mobil @MOBILE@</p>\r\n@ENDIF@",
       "Zeile 2: '@IF MOBILE' ohne schließendes '@'"},
      {"rtf", "{\\rtf1 @IF MOBILE@\\par Mobil\\par}", "Zeile 1: '@IF MOBILE@' steht nicht allein in der Zeile; "
       "jede Bedingung gehört in eine eigene Zeile"},
      {"txt", [] {
         std::string deep;
         for (int i = 0; i < 10000; ++i) deep += "@IF FAX@\r\n";
         return deep;
       }(),
       "Zeile 65: Bedingungen tiefer als 64 verschachtelt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error);
    NextRun();
    run.RunState.TemplateConditions = true;
    std::filesystem::remove_all(Path("tpl"));
    std::filesystem::create_directories(Path("tpl"));
    Write(std::string("tpl/w.") + row.ext, row.templ);
    unit::ExpectError(999, [&] { CheckTemplateConditions(run, "w", SignatureData{&run.UserData}); },
                      "Vorlage '" + Core("tpl") + "\\w." + row.ext + "', " + row.error);
    // A render refuses the same, before it writes a line.
    const int format = row.ext[0] == 'h' ? kFormatHtm : row.ext[0] == 'r' ? kFormatRtf : kFormatTxt;
    unit::ExpectError(999, [&] { CreateSignatureFile(run, "w", "w", format, run.UserData); });
  }
  // /CHECK hears of every error of a file, each block paired despite its wrong beginning.
  NextRun();
  run.RunState.TemplateConditions = true;
  Write("tpl/w.txt", "@IF MOBIL@\r\nx\r\nTel @ENDIF@\r\n@IF MEMBEROF=Vertrieb@\r\n@ENDIF@\r\n@ELSE@");
  std::vector<std::string> errors;
  CheckTemplateConditions(run, "w", SignatureData{&run.UserData}, &errors);
  const std::string file = "Vorlage '" + Core("tpl") + "\\w.txt', Zeile ";
  EXPECT_EQ(errors, (std::vector<std::string>{
                        file + "1: Unbekannte Bedingung '@IF MOBIL@'; meinten Sie MOBILE?",
                        file + "3: '@ENDIF@' steht nicht allein in der Zeile; jede Bedingung gehört in eine eigene Zeile",
                        file + "4: '@IF MEMBEROF=Vertrieb@' braucht das Active Directory, doch in 'LDAPBaseObjectDN' "
                               "ist kein DN konfiguriert",
                        file + "6: ELSE ohne IF"}));
}

TEST_F(Rendering, EachTemplateReadOncePerRun) {
  run.RunState.TemplateConditions = true;
  run.UserData[UserField::City] = "Kiel";
  run.UserData[UserField::Mobile] = "0171";
  const UserDataRecord mailbox;
  Write("tpl/k.txt", "@IF MOBILE@\r\nMobil @MOBILE@\r\n@ENDIF@\r\n@CITY@\r\n");
  CheckTemplateConditions(run, "k", SignatureData{&run.UserData});
  // The file changes on the share after the check: the run's signatures, the
  // user's and a mailbox's, are made from what it checked.
  Write("tpl/k.txt", "@IF MOBIL@\r\n");
  CreateSignatureFile(run, "k", "k", kFormatTxt, run.UserData);
  CreateSignatureFile(run, "k", "k (a@b.de)", kFormatTxt, run.UserData, &mailbox);
  EXPECT_EQ(Read("sig/k.txt"), "Mobil 0171\r\nKiel\r\n");
  EXPECT_EQ(Read("sig/k (a@b.de).txt"), "Mobil 0171\r\nKiel\r\n");
  // A template of megabytes is not kept: each signature reads the file, so
  // memory stays flat however many there are.
  const std::string filler(std::size_t{8} << 20, 'x');
  Write("tpl/g.txt", filler + "\r\n@CITY@\r\n");
  CreateSignatureFile(run, "g", "g", kFormatTxt, run.UserData);
  EXPECT_EQ(Read("sig/g.txt"), filler + "\r\nKiel\r\n");
  Write("tpl/g.txt", "neu @CITY@\r\n");
  CreateSignatureFile(run, "g", "g", kFormatTxt, run.UserData);
  EXPECT_EQ(Read("sig/g.txt"), "neu Kiel\r\n");
}

TEST_F(Rendering, MissingTemplateRaisesFileNotFoundAndWritesNothing) {
  unit::ExpectError(53, [&] { CreateSignatureFile(run, "fehlt", "fehlt", kFormatTxt, run.UserData); });
  EXPECT_FALSE(std::filesystem::exists(Path("sig/fehlt.txt")));
}

}  // namespace
}  // namespace qm
