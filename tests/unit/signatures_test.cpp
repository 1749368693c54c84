// Rendering, sign type resolution and image selection through their public
// routines, on real files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/error.h"
#include "platform/paths.h"
#include "run/modMain.h"
#include "signatures/Rendering.h"
#include "signatures/SignTypes.h"
#include "signatures/modFiles.h"
#include "userdata/UserData.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class SignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(QM_BUILD_DIR) / "unit-tmp" /
           (std::string("sig-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "tpl");
    fs::create_directories(dir_ / "sig");
    RunState = RunStateValues{};
    RunState.TemplateFolderPath = platform::FromNativePath((dir_ / "tpl").string()) + "\\";
    RunState.SignatureFolderPath = platform::FromNativePath((dir_ / "sig").string()) + "\\";
    RunState.ConfigFilePath = platform::FromNativePath((dir_ / "cfg.ini").string());
    UserData = UserDataRecord{};
  }
  void Template(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir_ / "tpl" / name, std::ios::binary) << bytes;
  }
  std::string Signature(const std::string& name) const {
    std::ifstream in(dir_ / "sig" / name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string Render(const std::string& templ, int format = kFormatTxt) {
    const char* ext = format == kFormatHtm ? ".htm" : format == kFormatRtf ? ".rtf" : ".txt";
    Template(std::string("t") + ext, templ);
    CreateSignatureFile("t", "out", format);
    return Signature(std::string("out") + ext);
  }
  void Ini(const std::string& text) const { std::ofstream(dir_ / "cfg.ini", std::ios::binary) << text; }
  fs::path dir_;
};

TEST_F(SignatureTest, Placeholders) {
  struct Row {
    const char* name;
    std::string symbol, line;
    std::vector<std::pair<UserField, std::string>> values;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"first and last", "@", "@FIRSTNAME@ @LASTNAME@",
       {{UserField::FirstName, "Anna"}, {UserField::LastName, "Berg"}}, "Anna Berg"},
      {"two number signs", "##", "##CITY## @CITY@", {{UserField::City, "Kiel"}}, "Kiel @CITY@"},
      {"single blank", " ", "x CITY y", {{UserField::City, "Kiel"}}, "xKiely"},
      {"empty symbol: bare names", "", "@CITY@", {{UserField::City, "Kiel"}}, "@Kiel@"},
      {"mixed case is no placeholder", "@", "@FirstName@", {{UserField::FirstName, "A"}}, "@FirstName@"},
      {"USERDEF1 and USERDEF10", "@", "@USERDEF1@/@USERDEF10@",
       {{UserField::UserDef1, "one"}, {UserField::UserDef10, "ten"}}, "one/ten"},
      {"empty value removed", "@", "a@PHONE@b", {}, "ab"},
      {"repeated and adjacent", "@", "@FAX@@FAX@-@FAX@", {{UserField::Fax, "1"}}, "11-1"},
      {"value holds a later placeholder", "@", "@FIRSTNAME@",
       {{UserField::FirstName, "@LASTNAME@"}, {UserField::LastName, "Berg"}}, "Berg"},
      {"value holds an earlier placeholder", "@", "@LASTNAME@",
       {{UserField::LastName, "@FIRSTNAME@"}, {UserField::FirstName, "Anna"}}, "@FIRSTNAME@"},
      {"no escaping", "@", "<b>@USERDEF1@</b>", {{UserField::UserDef1, "A & B"}}, "<b>A & B</b>"},
      {"full name", "@", "@FULLNAME@",
       {{UserField::Title, "Dr."}, {UserField::FirstName, "Anna"}, {UserField::Initials, "M."},
        {UserField::LastName, "Berg"}},
       "Dr. Anna M. Berg"},
      {"full name without title and initials", "@", "@FULLNAME@",
       {{UserField::FirstName, "Anna"}, {UserField::LastName, "Berg"}}, "Anna Berg"},
      {"full name without first name", "@", "[@FULLNAME@]", {{UserField::LastName, "Berg"}}, "[ Berg]"},
      {"umlauts in the code page", "@", "@CITY@", {{UserField::City, "M\xC3\xBCnchen"}}, "M\xFCnchen"},
      {"character outside the code page", "@", "@CITY@", {{UserField::City, "\xE6\x97\xA5"}}, "?"},
      {"multi-character symbol with umlaut", "\xC3\xA4\xC3\xA4", "\xE4\xE4" "CITY\xE4\xE4", {{UserField::City, "K"}}, "K"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UserData = UserDataRecord{};
    for (const auto& [field, value] : row.values) UserData[field] = value;
    RunState.PlaceholderSymbol = row.symbol;
    EXPECT_EQ(Render(row.line), row.expected + "\r\n");
  }
}

TEST_F(SignatureTest, SignTitlePerFormat) {
  RunState.PlaceholderSymbol = "@";
  struct Row { const char* name; std::string first, second; int format; std::string expected; };
  const std::vector<Row> rows = {
      {"htm", "Sales", "Key Accounts", kFormatHtm, "Sales<br>Key Accounts\r\n"},
      {"rtf", "Sales", "Key Accounts", kFormatRtf, "Sales\r\n\\par Key Accounts\r\n"},
      {"txt", "Sales", "Key Accounts", kFormatTxt, "Sales\r\nKey Accounts\r\n"},
      {"htm without second line", "Sales", "", kFormatHtm, "Sales\r\n"},
      {"htm without first line", "", "Key Accounts", kFormatHtm, "<br>Key Accounts\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UserData[UserField::SignTitle1] = row.first;
    UserData[UserField::SignTitle2] = row.second;
    EXPECT_EQ(Render("@SIGNTITLE@", row.format), row.expected);
  }
}

TEST_F(SignatureTest, LineEnds) {
  RunState.PlaceholderSymbol = "@";
  UserData[UserField::City] = "Kiel";
  struct Row { const char* name; std::string in, out; };
  const std::vector<Row> rows = {
      {"CR LF", "a\r\n@CITY@\r\n", "a\r\nKiel\r\n"},
      {"lone CR", "a\r@CITY@\r", "a\r\nKiel\r\n"},
      {"LF is an ordinary character", "a\n@CITY@\nb", "a\nKiel\nb\r\n"},
      {"no end on the last line", "a\r\nb", "a\r\nb\r\n"},
      {"empty lines kept", "\r\n\r\n", "\r\n\r\n"},
      {"empty template", "", ""},
      {"placeholder split by a line end", "@CI\r\nTY@", "@CI\r\nTY@\r\n"},
      {"CR LF across the read buffer", std::string(65535, 'x') + "\r\n@CITY@", std::string(65535, 'x') + "\r\nKiel\r\n"},
      {"binary content", std::string("\x00\x01\xFF@CITY@\x7F", 10), std::string("\x00\x01\xFFKiel\x7F\r\n", 10)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Render(row.in), row.out);
  }
}

TEST_F(SignatureTest, LongLineAndOverwrite) {
  RunState.PlaceholderSymbol = "@";
  UserData[UserField::EMail] = "a@b.c";
  std::string line;
  for (int i = 0; i < 200000; ++i) line += "<td>@EMAIL@</td>";  // 3.2 MB on one line
  std::string expected;
  for (int i = 0; i < 200000; ++i) expected += "<td>a@b.c</td>";
  EXPECT_EQ(Render(line), expected + "\r\n");
  // An existing signature is replaced completely.
  EXPECT_EQ(Render("short"), "short\r\n");
}

TEST_F(SignatureTest, MissingTemplateRaisesTheFileError) {
  try {
    CreateSignatureFile("none", "out", kFormatTxt);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 53);
  }
  EXPECT_FALSE(fs::exists(dir_ / "sig" / "out.txt"));
}

TEST_F(SignatureTest, SignTypeResolution) {
  struct Row {
    const char* name;
    std::string ini;
    std::vector<std::pair<UserField, std::string>> sources;  // written as a source would
    std::string mobile;
    std::vector<std::string> signTypes, targets, reply, replyTargets;
    std::string error;
  };
  const std::vector<Row> rows = {
      {"fixed, lower-cased, targets default", "FixedSignType=Standard,Kurz\r\n", {}, "",
       {"standard", "kurz"}, {"standard", "kurz"}, {""}, {""}, ""},
      {"splitting keeps blanks and empties", "FixedSignType=a, b,,\r\nTargetSignType=A,B,C,D,E\r\n", {}, "",
       {"a", " b", "", ""}, {"A", "B", "C", "D", "E"}, {""}, {""}, ""},
      {"too few targets", "FixedSignType=a,b\r\nTargetSignType=Firma\r\n", {}, "", {}, {}, {}, {},
       "Es sind weniger Ziel-SignTypes vorhanden als SignTypes"},
      {"too few reply targets", "FixedSignType=a\r\nFixedSignTypeReply=x,y\r\nTargetSignTypeReply=X\r\n", {}, "",
       {}, {}, {}, {}, "Es sind weniger Ziel-SignTypes für Antworten vorhanden als SignTypes"},
      {"nothing configured", "", {}, "", {}, {}, {}, {}, "Keine Signaturtypen in der Datenbank festgelegt"},
      {"source sign type clears the fixed reply", "FixedSignType=a\r\nFixedSignTypeReply=antwort\r\n",
       {{UserField::SignType, "Vertrieb"}}, "", {"vertrieb"}, {"vertrieb"}, {""}, {""}, ""},
      {"source supplies both", "FixedSignType=a\r\n",
       {{UserField::SignType, "V"}, {UserField::SignTypeReply, "R"}}, "", {"v"}, {"v"}, {"r"}, {"r"}, ""},
      {"empty source value keeps the fixed one", "FixedSignType=a\r\nFixedSignTypeReply=b\r\n",
       {{UserField::SignType, ""}}, "", {"a"}, {"a"}, {"b"}, {"b"}, ""},
      {"no mobile: rule applies", "FixedSignType=a\r\nFixedSignTypeNoMobile=OhneHandy\r\nFixedSignTypeReply=r\r\n",
       {}, "", {"ohnehandy"}, {"ohnehandy"}, {""}, {""}, ""},
      {"no mobile: with reply variant", "FixedSignType=a\r\nFixedSignTypeNoMobile=o\r\nFixedSignTypeReplyNoMobile=or\r\n",
       {}, "", {"o"}, {"o"}, {"or"}, {"or"}, ""},
      {"no mobile: source value stays", "FixedSignType=a\r\nFixedSignTypeNoMobile=o\r\n",
       {{UserField::SignType, "db"}}, "", {"db"}, {"db"}, {""}, {""}, ""},
      {"mobile present: rule off", "FixedSignType=a\r\nFixedSignTypeNoMobile=o\r\n", {}, "0171",
       {"a"}, {"a"}, {""}, {""}, ""},
      {"only the reply variant: nothing replaced", "FixedSignType=a\r\nFixedSignTypeReply=r\r\nFixedSignTypeReplyNoMobile=or\r\n",
       {}, "", {"a"}, {"a"}, {"r"}, {"r"}, ""},
      {"targets keep their case", "FixedSignType=a\r\nTargetSignType=Firma\r\n", {}, "", {"a"}, {"Firma"}, {""}, {""}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Ini("[Main]\r\n" + row.ini);
    UserData = UserDataRecord{};
    ASSERT_TRUE(ReadFixedSignTypes());
    for (const auto& [field, value] : row.sources) WriteSourceValue(field, value);
    UserData[UserField::Mobile] = row.mobile;
    try {
      ResolveSignTypes();
      EXPECT_EQ(row.error, "");
      EXPECT_EQ(SignTypes, row.signTypes);
      EXPECT_EQ(TargetSignTypes, row.targets);
      EXPECT_EQ(SignTypesReply, row.reply);
      EXPECT_EQ(TargetSignTypesReply, row.replyTargets);
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 999);
      EXPECT_EQ(e.Description(), row.error);
    }
  }
}

TEST_F(SignatureTest, ImagesBelongByTheirNamesPrefix) {
  for (const char* f : {"firma_logo.gif", "Firma_Foto.JPG", "other.gif", "firma2.jpeg", "firma.txt"}) Template(f, f);
  struct Row { const char* target; std::vector<std::string> copied; };
  const std::vector<Row> rows = {
      {"firma", {"firma_logo.gif", "firma_foto.jpg", "firma2.jpeg"}},
      {"Firma", {}},
      {"firma2", {"firma2.jpeg"}},
      {"", {"firma_logo.gif", "firma_foto.jpg", "other.gif", "firma2.jpeg"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    fs::remove_all(dir_ / "sig");
    fs::create_directories(dir_ / "sig");
    CopyImageFiles(row.target);
    std::vector<std::string> got;
    for (const auto& e : fs::directory_iterator(dir_ / "sig")) got.push_back(e.path().filename().string());
    std::sort(got.begin(), got.end());
    std::vector<std::string> want = row.copied;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
  }
  // The copy carries the template file's bytes under the lower-case name.
  EXPECT_EQ(Signature("firma_foto.jpg"), "Firma_Foto.JPG");
}

}  // namespace
}  // namespace qm
