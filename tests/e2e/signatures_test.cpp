// Whole runs of both builds that produce signatures: the signature folder is
// compared byte for byte with the expected files, the folder is emptied in
// both modes, and a missing template ends the run before its signature.
#include <filesystem>
#include <map>
#include <string>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;


// Outlook must be found (run step 7); version 13 is unknown, so the run
// registers nothing.
void RegisterOutlook(const Sandbox& sb) { sb.SeedOutlookVersion(13); }


class Signatures : public ::testing::TestWithParam<Build> {
 protected:
  // Templates a and b, four images, an old signature folder with a subfolder.
  void Prepare(Sandbox& sb, const std::string& mainKeys) {
    RegisterOutlook(sb);
    sb.Write("cfg/site.ini",
             "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\n" + mainKeys);
    sb.Write("cfg/Vorlagen/a.htm", Ansi("<p>@FULLNAME@|@SIGNTITLE@|@CITY@</p>\r\näü @firstname@\r\n"));
    sb.Write("cfg/Vorlagen/a.rtf", std::string("{\\rtf1 \x00\x01\xff@FAX@}", 16));
    sb.Write("cfg/Vorlagen/a.txt", "x\ny\rz@PHONE@");
    sb.Write("cfg/Vorlagen/b.htm", "B@PHONE@\r\n");
    sb.Write("cfg/Vorlagen/b.rtf", "");
    sb.Write("cfg/Vorlagen/b.txt", "##CITY##");
    sb.Write("cfg/Vorlagen/eins_logo.gif", "GIF89a eins");
    sb.Write("cfg/Vorlagen/Eins_Foto.JPG", "JPG eins");
    sb.Write("cfg/Vorlagen/zwei.jpeg", "JPEG zwei");
    sb.Write("cfg/Vorlagen/other.gif", "GIF89a other");
    sb.Write("app/Microsoft/Signatures/alt.htm", "alt");
    sb.Write("app/Microsoft/Signatures/sub/keep.txt", "keep");
  }

  RunResult Run(Sandbox& sb) {
    Env env{{"QM_APPDATA", sb.Win("app")}};
    RunResult r = sb.Run("/INI:" + sb.Win("cfg/site.ini") + " /DEBUG:LOG", env, 120);
    log_ = MaskTimestamps(sb.Read("cfg/run.log"));
    return r;
  }

  static std::string Keys(const std::string& emptyMode) {
    return "FixedSignType=A,b\r\nTargetSignType=eins,zwei\r\nFixedSignTypeReply=b\r\n"
           "TargetSignTypeReply=Antwort\r\nEmptySignatureFolder=" + emptyMode + "\r\n";
  }

  // What the run writes for Keys(): a under "eins", b under "zwei" and "Antwort".
  static Tree Produced() {
    const std::string rtf("{\\rtf1 \x00\x01\xff}\r\n", 13);
    return {
        {"eins.htm", Ansi("<p> ||</p>\r\näü @firstname@\r\n")},
        {"eins.rtf", rtf},
        {"eins.txt", "x\ny\r\nz\r\n"},
        {"eins_logo.gif", "GIF89a eins"},
        {"eins_foto.jpg", "JPG eins"},
        {"zwei.htm", "B\r\n"},
        {"zwei.rtf", ""},
        {"zwei.txt", "##CITY##\r\n"},
        {"zwei.jpeg", "JPEG zwei"},
        {"Antwort.htm", "B\r\n"},
        {"Antwort.rtf", ""},
        {"Antwort.txt", "##CITY##\r\n"},
        {"sub/", ""},
        {"sub/keep.txt", "keep"},
    };
  }

  std::string log_;
};

TEST_P(Signatures, FolderEmptiedForGoodThenFilled) {
  Sandbox sb(GetParam());
  Prepare(sb, Keys("2"));
  RunResult r = Run(sb);
  EXPECT_FALSE(r.timedOut) << r.output;
  EXPECT_EQ(ReadTree(sb.Path("app/Microsoft/Signatures")), Produced()) << log_;
  EXPECT_EQ(log_.find("TS Fehler "), std::string::npos) << log_;
  for (const std::string line :
       {"TS Leere Outlook-Signaturen-Ordner", "TS Verarbeite 1. Standardsignatur: a > eins",
        "TS -> Alle Vorlagendateien gefunden", "TS Verarbeite Bilddateien",
        "TS -> 2 GIF-Dateien gefunden", "TS -> 1 JPG-Dateien gefunden",
        "TS -> 1 JPEG-Dateien gefunden", "TS -> eins_foto.jpg: kopiert", "TS -> other.gif",
        "TS -> zwei.jpeg: kopiert", "TS Verarbeite 2. Standardsignatur: b > zwei",
        "TS Verarbeite 1. Antwortsignatur: b auf Antwort"}) {
    EXPECT_NE(log_.find(line + "\r\n"), std::string::npos) << line << "\n" << log_;
  }
  // New-message signatures come before replies, and the htm file comes first.
  EXPECT_LT(log_.find("Standardsignatur: b > zwei"), log_.find("Antwortsignatur: b auf Antwort"));
  EXPECT_LT(log_.find("-> Erzeuge HTM-Datei: "), log_.find("-> Erzeuge RTF-Datei: "));
  EXPECT_LT(log_.find("-> Erzeuge RTF-Datei: "), log_.find("-> Erzeuge TXT-Datei: "));
}

TEST_P(Signatures, FolderEmptiedToRecycleBin) {
  Sandbox sb(GetParam());
  Prepare(sb, Keys("1"));
  RunResult r = Run(sb);
  EXPECT_FALSE(r.timedOut) << r.output;
  EXPECT_EQ(ReadTree(sb.Path("app/Microsoft/Signatures")), Produced()) << log_;
  // The freedesktop.org Trash below XDG_DATA_HOME: the linux build's recycle
  // bin, and where Wine's recycle bin puts the file too. The subfolder stays.
  const fs::path trash = sb.Path("home/.local/share/Trash");
  EXPECT_EQ(ReadFile(trash / "files" / "alt.htm"), "alt");
  EXPECT_FALSE(fs::exists(trash / "files" / "sub"));
  const std::string info = ReadFile(trash / "info" / "alt.htm.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=/", 0), 0u) << info;
  EXPECT_NE(info.find("/app/Microsoft/Signatures/alt.htm\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\nDeletionDate=20"), std::string::npos) << info;
}

TEST_P(Signatures, FolderKeptForOtherModes) {
  for (const std::string mode : {"", "0", "3"}) {
    SCOPED_TRACE("EmptySignatureFolder=" + mode);
    Sandbox sb(GetParam());
    Prepare(sb, Keys(mode));
    Run(sb);
    Tree expected = Produced();
    expected["alt.htm"] = "alt";
    EXPECT_EQ(ReadTree(sb.Path("app/Microsoft/Signatures")), expected) << log_;
    EXPECT_NE(log_.find("TS Leere Outlook-Signaturen-Ordner\r\n"), std::string::npos) << log_;
  }
}

TEST_P(Signatures, MissingTemplateFileStopsBeforeItsSignature) {
  Sandbox sb(GetParam());
  Prepare(sb, Keys("2"));
  fs::remove(sb.Path("cfg/Vorlagen/b.txt"));
  Run(sb);
  Tree expected;
  for (const char* name : {"eins.htm", "eins.rtf", "eins.txt", "eins_logo.gif", "eins_foto.jpg",
                           "sub/", "sub/keep.txt"}) {
    expected[name] = Produced()[name];
  }
  EXPECT_EQ(ReadTree(sb.Path("app/Microsoft/Signatures")), expected) << log_;
  EXPECT_NE(log_.find(Ansi("TS Fehler 999: Fehlende Dateien für die Vorlage 'b'\r\n"
                           "TS ********** Ende \r\n")),
            std::string::npos)
      << log_;
}

TEST_P(Signatures, DemoTemplatesRender) {
  // The templates of the demo, rendered for a user without data: every
  // placeholder disappears and every line ends in CR LF.
  Sandbox sb(GetParam());
  RegisterOutlook(sb);
  sb.MakeDir("cfg");
  fs::copy(SourceDir() / "examples" / "demo" / "Vorlagen", sb.Path("cfg/Vorlagen"),
           fs::copy_options::recursive);
  sb.Write("cfg/site.ini",
           "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\n"
           "FixedSignType=standard,kurz\r\nFixedSignTypeReply=antwort\r\n");
  sb.MakeDir("app");
  Run(sb);
  Tree tree = ReadTree(sb.Path("app/Microsoft/Signatures"));
  for (const char* name : {"standard", "kurz", "antwort"}) {
    for (const char* ext : {".htm", ".rtf", ".txt"}) {
      SCOPED_TRACE(std::string(name) + ext);
      const std::string templ = ReadFile(sb.Path(std::string("cfg/Vorlagen/") + name + ext));
      ASSERT_EQ(tree.count(std::string(name) + ext), 1u) << log_;
      const std::string& out = tree[std::string(name) + ext];
      EXPECT_EQ(out.find("@"), std::string::npos);
      EXPECT_EQ(out.size() >= 2 ? out.substr(out.size() - 2) : out, "\r\n");
      // Nothing but the placeholders was removed.
      EXPECT_LT(out.size(), templ.size());
    }
  }
  EXPECT_EQ(tree["standard_logo.gif"], ReadFile(sb.Path("cfg/Vorlagen/standard_logo.gif")));
  EXPECT_EQ(tree["standard_banner.jpg"], ReadFile(sb.Path("cfg/Vorlagen/standard_banner.jpg")));
  EXPECT_EQ(tree["kurz_logo.gif"], ReadFile(sb.Path("cfg/Vorlagen/kurz_logo.gif")));
  EXPECT_EQ(tree["antwort_logo.gif"], ReadFile(sb.Path("cfg/Vorlagen/antwort_logo.gif")));
}

INSTANTIATE_TEST_SUITE_P(Builds, Signatures, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
