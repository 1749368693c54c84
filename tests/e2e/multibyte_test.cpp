// Whole runs of both builds in the ANSI code pages where a character takes more
// than one byte: Japanese 932 and UTF-8 (65001, Windows' "Use Unicode UTF-8 for
// worldwide language support"). The configuration, the templates and the log
// are in the code page; signature names, values and the registered 16-bit
// names keep every character the code page holds, and a placeholder is never
// found inside a character (in 932 "@" is also the second byte of "院" and
// "　"). Wine takes 932 from a Japanese locale and 65001 from one without an
// ANSI code page (Georgian). Known Wine difference: asked with a default
// character for UTF-8, Windows refuses the conversion while Wine converts, so
// the windows build's run would pass here with the default character too; the
// exe follows Windows' documented contract (no default character for CP_UTF8).
#include <sstream>

#include "harness.h"

namespace qmtest {
namespace {

const std::string kMessaging =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";

// The registry value line of a name as Outlook 2007 keeps it: UTF-16LE and a
// terminating zero character.
std::string Sixteen(const std::string& name, const std::string& text) {
  std::string line = "\"" + name + "\"=hex:";
  for (unsigned char b : Utf16Le(text).substr(2) + std::string(2, '\0'))
    line += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15], ','};
  line.pop_back();
  return line;
}

struct Page {
  const CodePage& codePage;
  std::string rtfCharacters;  // 院 山田, as the rtf writes them
  std::string greeting;       // Grüße 😀 in txt (unescaped)
};

class MultiByte : public ::testing::TestWithParam<Build> {};

TEST_P(MultiByte, RunsKeepTheCharactersOfTheCodePage) {
  const Page pages[] = {
      {kCodePages[6], "\\'89\\'40 \\'8e\\'52\\'93\\'63", "Gruse ??"},
      {kCodePages[7], "\\'e9\\'99\\'a2 \\'e5\\'b1\\'b1\\'e7\\'94\\'b0", "Grüße 😀"},
  };
  for (const Page& page : pages) {
    const CodePage& cp = page.codePage;
    SCOPED_TRACE(cp.iconvName);
    const auto in = [&cp](const std::string& utf8) { return Convert(utf8, "UTF-8", cp.iconvName); };
    Sandbox sb(GetParam());
    const std::string account = kMessaging + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676";
    sb.SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.12\"\r\n\r\n"
                    "[" + kMessaging + "]\r\n\"DefaultProfile\"=\"Outlook\"\r\n\r\n[" + account +
                    "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:00,00,00,02\r\n\r\n[" +
                    account + "\\00000002]\r\n" + Sixteen("Account Name", "Vertrieb") + "\r\n\r\n");
    sb.Sqlite("b.db", "CREATE TABLE B (Name, Vorname, Nachname, Firma, Gruss, Fax);\nINSERT INTO B "
                      "VALUES ('" + sb.UserName() + "', '院', '山田', 'Müller & 東京', 'Grüße 😀', NULL);\n");
    sb.MakeDir("app");
    sb.Write("cfg/site.ini",
             in("[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\nFixedSignType=標準\r\n"
                "TargetSignType=署名\r\nEscapeValues=1\r\nDropEmptyLines=1\r\n"
                "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb.Win("b.db") +
                "\r\nUserSelect=SELECT * FROM B WHERE Name = '%USERNAME%'\r\n[FieldMapping]\r\n"
                "FirstName=Vorname\r\nLastName=Nachname\r\nUserDef1=Firma\r\nUserDef2=Gruss\r\nFax=Fax\r\n"));
    // Saved by Git: lines end in LF alone, which DropEmptyLines writes back as they were.
    sb.Write("cfg/Vorlagen/標準.htm", in("<p>@FULLNAME@</p>\n<p>Fax @FAX@</p>\n<p>@USERDEF1@</p>\n"));
    sb.Write("cfg/Vorlagen/標準.rtf",
             in("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 MS Gothic;}}\r\n@FULLNAME@\\par\r\n}\r\n"));
    sb.Write("cfg/Vorlagen/標準.txt",
             in("@FIRSTNAME@LASTNAME@\r\n　FAX@ @LASTNAME@\r\n@USERDEF2@\r\n東京 @FAX@\r\n"));
    const RunResult r = sb.RunLogged("", InCodePage(cp, GetParam()));
    const std::string log = sb.Log();
    EXPECT_EQ(r.exitCode, 0) << log;
    const Tree expected = {
        {"署名.htm", in("<p>&#38498; &#23665;&#30000;</p>\n<p>M&#252;ller &amp; &#26481;&#20140;</p>\n")},
        {"署名.rtf", in("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 MS Gothic;}}\r\n" + page.rtfCharacters +
                        "\\par\r\n}\r\n")},
        {"署名.txt", in("院LASTNAME@\r\n　FAX@ 山田\r\n" + page.greeting + "\r\n")},
    };
    EXPECT_EQ(ReadTree(sb.Path("app/Microsoft/Signatures")), expected) << log;
    const std::vector<std::string> lines = {
        "TS ...Feste SignTypes: 標準", "TS Verarbeite 1. Standardsignatur: 標準 > 署名",
        "TS -> Erzeuge HTM-Datei: " + sb.Win("app") + "\\Microsoft\\Signatures\\署名.htm"};
    for (const std::string& line : lines) {
      EXPECT_NE(log.find(in(line + "\r\n")), std::string::npos) << line << "\n" << log;
    }
    std::string registry = sb.Read("registry.reg");
    if (GetParam() == Build::Windows) {
      sb.Wine({"reg", "export", kMessaging, sb.Win("x.reg"), "/y"});
      registry = sb.Read("x.reg");
    }
    const auto values = RegValues(registry, {kMessaging});
    for (const char* name : {"New Signature", "Reply-Forward Signature"}) {
      const std::string key = account + "\\00000002|\"" + name + "\"";
      std::string upper;
      for (char c : key) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(values.contains(upper) ? "\"" + std::string(name) + "\"=" + values.at(upper) : "(none)",
                Sixteen(name, "署名"))
          << registry;
    }
  }
}

// A value longer than the 5,119 bytes a read takes is cut after a whole
// character; a "]" that is the second byte of a character ends no section
// name (Japanese "‐" is 81 5D).
TEST_P(MultiByte, ProfileValuesCutAfterAWholeCharacter) {
  std::string long2, long3;
  for (int i = 0; i < 2600; ++i) long2 += "あ";
  for (int i = 0; i < 1800; ++i) long3 += "あ";
  const struct Row { const CodePage& codePage; std::string value, read; } rows[] = {
      {kCodePages[6], long2, long2.substr(0, 2559 * 3)},  // あ is 2 bytes: 2,559 of them
      {kCodePages[7], long3, long3.substr(0, 1706 * 3)},  // and 3 in UTF-8: 1,706
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.codePage.iconvName);
    Sandbox sb(GetParam());
    sb.Write("a.ini", Convert("[Main]\r\nL=" + row.value + "\r\n[ab]‐\r\nK=v\r\n", "UTF-8",
                              row.codePage.iconvName));
    const RunResult r =
        sb.Probe({"ini-read", sb.Win("a.ini"), "Main", "L", "ab", "K"}, InCodePage(row.codePage, GetParam()));
    const std::string expected = "[" + row.read + "]\n[v]\n";
    EXPECT_TRUE(r.output == expected)
        << r.output.size() << " bytes, " << expected.size() << " expected, ending in "
        << ::testing::PrintToString(r.output.substr(r.output.size() < 16 ? 0 : r.output.size() - 16));
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, MultiByte, BothBuilds(), BuildParamName);

// A code page the linux build cannot convert exactly (the names are tested in
// text_test.cpp) ends the run before the configuration is read, with the name
// in the error line of the log beside the program; nothing is written or
// registered.
TEST(CodePageRefused, BeforeAnythingIsRead) {
  Sandbox sb(Build::Linux);
  sb.InstallProgram();
  sb.SeedOutlookVersion(12);
  const std::string registry = sb.Read("registry.reg");
  sb.Configure("FixedSignType=a\r\n");
  sb.Templates("a", "@FIRSTNAME@\r\n");
  const RunResult r = sb.RunLogged("", {{"QUILLMARK_CODEPAGE", "EUC-JP"}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(MaskTimestamps(sb.Read("bin/Quillmark.log")),
            Ansi("TS Fehler 999: Die Codepage 'EUC-JP' in QUILLMARK_CODEPAGE wird nicht unterstützt "
                 "(erwartet die Nummer einer Windows-Codepage wie 1252, 932 oder 65001)\r\n"
                 "TS ********** Ende \r\n\r\n"));
  EXPECT_FALSE(sb.Exists("cfg/run.log"));
  EXPECT_EQ(ReadTree(sb.Path("app")), Tree{});
  EXPECT_EQ(sb.Read("registry.reg"), registry);
}

}  // namespace
}  // namespace qmtest
