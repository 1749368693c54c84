// What real Windows does where Wine is lenient: a configuration file saved as
// UTF-8 with a byte-order mark, templates that another program holds open,
// file names the ANSI code page cannot hold, and an exe started by its short
// name. What Wine cannot show (the shell's error dialogs, SMB appends, the
// first ShowWindow of a hidden logon script, a session without a desktop) is
// on the README's list of checks to make once on a real Windows PC.
#include <cctype>
#include <map>
#include <thread>

#include "harness.h"

namespace qmtest {
namespace {

// A holder is a Windows program: under Wine it can take half a minute to start
// while the other tests keep the wineserver busy.
constexpr double kHolderStartSeconds = 90;

namespace fs = std::filesystem;

// The hex digits of a text's UTF-8 bytes, as the probe takes texts.
std::string Hex(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const unsigned char c : text) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0xF];
  }
  return hex;
}

class RealWindows : public ::testing::TestWithParam<Build> {
 protected:
  bool Linux() const { return GetParam() == Build::Linux; }
  Sandbox sb_{GetParam()};
};

TEST_P(RealWindows, ConfigurationSavedAsUtf8WithMark) {
  // Windows' profile functions take the mark for part of the first line, so
  // [Main] would be lost; Wine decodes it, the linux build reads as Windows.
  // Both builds refuse the file before anything is written.
  const fs::path bin = sb_.InstallProgram("bin");
  sb_.Templates("standard", "x\r\n");
  sb_.SeedOutlookVersion(13);
  const std::string ini = "[Main]\r\nFixedSignType=standard\r\nAppDataPath=" + sb_.Win("app") + "\r\n";
  sb_.MakeDir("app");
  sb_.Write("cfg/site.ini", "\xEF\xBB\xBF" + ini);
  RunResult r = sb_.Run("/INI:" + sb_.Win("cfg/site.ini"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(MaskTimestamps(ReadFile(bin / "Quillmark.log")),
            "TS @ > Fehler 999: Die Konfigurationsdatei '" + sb_.Win("cfg/site.ini") +
                "' ist in UTF-8 (mit Byte-Order-Mark) gespeichert; bitte im ANSI-Zeichensatz (oder in "
                "UTF-16) speichern\r\n");
  EXPECT_FALSE(sb_.Exists("app/Microsoft"));
  // Saved in UTF-16 with its mark, the same configuration runs.
  sb_.Write("cfg/site.ini", Utf16Le(ini));
  r = sb_.Run("/INI:" + sb_.Win("cfg/site.ini"));
  EXPECT_EQ(r.exitCode, 0) << ReadFile(bin / "Quillmark.log");
  EXPECT_TRUE(sb_.Exists("app/Microsoft/Signatures/standard.txt"));
}

TEST_P(RealWindows, NamesTheAnsiCodePageCannotHold) {
  // Windows-1252 has no Ж and writes Ł as L: through the single-byte functions
  // such names would be "?" (a wildcard) or another file's.
  sb_.Templates("standard", "x\r\n");
  sb_.Write("cfg/Vorlagen/standard_logo.gif", "GIF89a");
  sb_.Write("cfg/Vorlagen/standard_Жена.gif", "GIF89a");
  sb_.Write("cfg/Vorlagen/standard_Łódź.jpg", "JFIF");
  sb_.Write("app/Microsoft/Signatures/alt_Ж.htm", "gestern");
  sb_.Write("app/Microsoft/Signatures/alt.htm", "gestern");
  sb_.SeedOutlookVersion(13);
  sb_.Configure("FixedSignType=standard\r\nEmptySignatureFolder=2\r\n");
  const RunResult r = sb_.RunLogged();
  const std::string log = sb_.Log();
  EXPECT_EQ(r.exitCode, 0) << log;
  // The log, in the code page, shows the names as the single-byte functions see them.
  for (const char* name : {"alt_?.htm", "standard_????.gif", "standard_Lódz.jpg"}) {
    EXPECT_NE(log.find(Ansi("TS -> Übersprungen (Name nicht im ANSI-Zeichensatz): " + std::string(name) + "\r\n")),
              std::string::npos)
        << name << "\n" << log;
  }
  EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")),
            (Tree{{"alt_Ж.htm", "gestern"}, {"standard.htm", "x\r\n"}, {"standard.rtf", "x\r\n"},
                  {"standard.txt", "x\r\n"}, {"standard_logo.gif", "GIF89a"}}));
}

TEST_P(RealWindows, TemplateHeldOpenByAnotherProgram) {
  if (Linux()) GTEST_SKIP() << "Linux has no sharing modes: an open file is never refused";
  sb_.Templates("standard", "x\r\n");
  sb_.SeedOutlookVersion(13);
  sb_.Configure("FixedSignType=standard\r\n");
  const struct {
    const char* share;
    int exitCode;
    std::string error;
  } rows[] = {
      // As Word holds an open document: writable, shared for reading.
      {"read", 0, ""},
      {"none", 1, "TS Fehler 70: Die Datei '" + sb_.Win("cfg/Vorlagen") +
                      "\\standard.htm' wird von einem anderen Programm verwendet\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.share);
    fs::remove(sb_.Path("held"));
    fs::remove_all(sb_.Path("app"));
    sb_.MakeDir("app");
    Process holder({"wine", WindowsProbe(GetParam()).string(), "lock",
                    sb_.Win("cfg/Vorlagen/standard.htm"), row.share, sb_.Win("held")},
                   sb_.BaseEnv(), sb_.root(), sb_.Path("holder.txt"));
    ASSERT_TRUE(Eventually(kHolderStartSeconds, [&] { return sb_.Exists("held"); })) << sb_.Read("holder.txt");
    const RunResult r = sb_.RunLogged();
    fs::remove(sb_.Path("held"));
    EXPECT_EQ(holder.Wait(30), 0);
    EXPECT_EQ(r.exitCode, row.exitCode) << sb_.Log();
    if (row.exitCode == 0) {
      EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/standard.htm"), "x\r\n");
    } else {
      EXPECT_NE(sb_.Log().find(row.error + "TS ********** Ende \r\n"), std::string::npos) << sb_.Log();
      EXPECT_FALSE(sb_.Exists("app/Microsoft/Signatures/standard.htm"));
    }
  }
}

TEST_P(RealWindows, ImagesAndSignaturesHeldByAnotherProgram) {
  // A virus scanner holds an image without sharing, an editor an old
  // signature, Word the signature about to be rewritten. Without
  // ReportFileErrors the log says ": kopiert" as it always did and an old file
  // that stays is not mentioned; with it a line names file and reason.
  if (Linux()) GTEST_SKIP() << "Linux has no sharing modes: an open file is never refused";
  sb_.Templates("standard", "x\r\n");
  sb_.Write("cfg/Vorlagen/standard_logo.gif", "GIF89a");
  const std::string signatures = sb_.Win("app/Microsoft/Signatures");
  const std::string logo = sb_.Win("cfg/Vorlagen") + "\\standard_logo.gif";
  const std::string old = signatures + "\\alt.htm";
  const std::string inUse = "' wird von einem anderen Programm verwendet";
  std::string user = sb_.UserName();
  for (char& c : user) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string fixed = "FixedSignType=standard\r\nRunStatus=1\r\n";
  const std::string said = "ReportFileErrors=1\r\n";
  const std::string copied = "TS -> standard_logo.gif: kopiert\r\n";
  const std::string noJpg = "TS -> 0 JPG-Dateien gefunden\r\n";
  const std::string cleared = "TS Leere Outlook-Signaturen-Ordner\r\n";
  const std::string next = "TS Verarbeite 1. Standardsignatur: standard > standard\r\n";
  const struct Row {
    const char* name;
    const char* held;  // below the sandbox
    const char* share;
    std::string main;
    bool logged;
    int exitCode;
    std::string expected;    // in the log
    const char* fileErrors;  // the status value, nullptr for none
  } rows[] = {
      {"image, not said", "cfg/Vorlagen/standard_logo.gif", "none", fixed, true, 0, copied + noJpg, nullptr},
      {"image, said", "cfg/Vorlagen/standard_logo.gif", "none", fixed + said, true, 0,
       copied + "TS -> Bild nicht kopiert: " + logo + ": Die Datei '" + logo + inUse + "\r\n" + noJpg,
       "dword:00000001"},
      {"image, said by a silent run", "cfg/Vorlagen/standard_logo.gif", "none", fixed + said, false, 0,
       "TS @" + user + " > Bild nicht kopiert: " + logo + ": Die Datei '" + logo + inUse + "\r\n",
       "dword:00000001"},
      {"old signature, not said", "app/Microsoft/Signatures/alt.htm", "none", fixed + "EmptySignatureFolder=2\r\n",
       true, 0, cleared + next, nullptr},
      {"old signature, said", "app/Microsoft/Signatures/alt.htm", "none",
       fixed + said + "EmptySignatureFolder=2\r\n", true, 0,
       cleared + "TS -> Alte Signaturdatei nicht gelöscht: " + old + ": Die Datei '" + old + inUse + "\r\n" + next,
       "dword:00000001"},
      // As Word holds an open document: writable, shared for reading.
      {"signature to rewrite", "app/Microsoft/Signatures/standard.htm", "read", fixed + said, true, 1,
       "TS Fehler 70: Die Datei '" + signatures + "\\standard.htm" + inUse + "\r\nTS ********** Ende \r\n",
       "dword:00000000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.SeedOutlookVersion(13);  // and no status of the row before
    fs::remove(sb_.Path("held"));
    fs::remove(sb_.Path("cfg/run.log"));
    fs::remove_all(sb_.Path("app"));
    sb_.Write("app/Microsoft/Signatures/alt.htm", "gestern");
    sb_.Write("app/Microsoft/Signatures/standard.htm", "gestern");
    sb_.Configure(row.main);
    Process holder({"wine", WindowsProbe(GetParam()).string(), "lock",
                    sb_.Win(row.held), row.share, sb_.Win("held")},
                   sb_.BaseEnv(), sb_.root(), sb_.Path("holder.txt"));
    ASSERT_TRUE(Eventually(kHolderStartSeconds, [&] { return sb_.Exists("held"); })) << sb_.Read("holder.txt");
    const RunResult r = row.logged ? sb_.RunLogged() : sb_.Run("/INI:" + sb_.Win("cfg/site.ini"), {{"QM_APPDATA", sb_.Win("app")}});
    fs::remove(sb_.Path("held"));
    EXPECT_EQ(holder.Wait(30), 0);
    const std::string log = sb_.Exists("cfg/run.log") ? sb_.Log() : "";
    EXPECT_EQ(r.exitCode, row.exitCode) << log;
    if (row.logged) {
      EXPECT_NE(log.find(Ansi(row.expected)), std::string::npos) << log;
    } else {
      EXPECT_EQ(log, Ansi(row.expected));
    }
    // A held image is not copied; a held old signature stays.
    const std::string held = row.held;
    EXPECT_EQ(sb_.Exists("app/Microsoft/Signatures/standard_logo.gif"),
              row.exitCode == 0 && held.find("logo") == std::string::npos);
    EXPECT_EQ(sb_.Exists("app/Microsoft/Signatures/alt.htm"),
              row.main.find("EmptySignatureFolder") == std::string::npos || held.find("alt") != std::string::npos);
    std::map<std::string, std::string> status = sb_.RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark");
    EXPECT_EQ(status.count("FILEERRORS") ? status["FILEERRORS"] : "none", row.fileErrors ? row.fileErrors : "none");
  }
}

TEST_P(RealWindows, UserNameAndFoldersTheAnsiCodePageCannotHold) {
  // Windows-1252 has ü but no ř: through the single-byte functions "dvořák"
  // would be looked for as "dvorak". Wine sets USERNAME and APPDATA from its
  // registry, so the windows build is started by the probe, which sets them.
  const fs::path bin = sb_.InstallProgram("bin");
  fs::path exe;
  for (const auto& entry : fs::directory_iterator(bin)) exe = entry.path();
  sb_.Templates("standard", "x\r\n");
  sb_.SeedOutlookVersion(13);
  sb_.Sqlite("b.db", "CREATE TABLE U (Name TEXT, Typ TEXT);\nINSERT INTO U VALUES ('jürgen', 'łódź');\n");
  const std::string appData = sb_.Win("app"), dvorak = sb_.Win("dvořák");
  sb_.MakeDir("dvořák");
  sb_.MakeDir("app");
  const std::string fixed = "[Main]\r\nLogFile=run.log\r\nFixedSignType=standard\r\nRunStatus=1\r\n";
  const std::string fromDatabase = "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                   sb_.Win("b.db") + "\r\nUserSelect=SELECT * FROM U WHERE Name = '%USERNAME%'\r\n"
                                   "[FieldMapping]\r\nSignType=Typ\r\n";
  const std::string refused = "TS Fehler 999: Die Umgebungsvariable '";
  const std::string unheld = "' enthält Zeichen, die im ANSI-Zeichensatz nicht darstellbar sind\r\n";
  const struct Row {
    const char* name;
    std::string user, appData, main;
    int exitCode;
    std::string expected;   // in the log
    std::string lastError;  // the status value, as it is
  } rows[] = {
      {"a name the code page holds", "jürgen", appData, fixed, 0, "TS ...Windows-Benutzername: jürgen\r\n", ""},
      {"a name it lacks", "dvořák", appData, fixed, 1, refused + "USERNAME" + unheld,
       "Fehler 999: Die Umgebungsvariable 'USERNAME" + unheld.substr(0, unheld.size() - 2)},
      {"an application-data folder it lacks", "jürgen", dvorak, fixed, 1, refused + "APPDATA" + unheld, ""},
      {"the same, configured elsewhere", "jürgen", dvorak, fixed + "AppDataPath=" + appData + "\r\n", 0,
       "TS ...Pfad Anwendungsdaten: " + appData + "\r\n", ""},
      // A sign type from the database with letters the code page lacks: the
      // status keeps the error as it is, the log has the code page's look-alikes.
      {"a status text the code page lacks", "jürgen", appData, fixed + fromDatabase, 1,
       "TS Fehler 999: Fehlende Dateien für die Vorlage 'lódz'\r\n",
       "Fehler 999: Fehlende Dateien für die Vorlage 'łódź'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.SeedOutlookVersion(13);  // and no status of the row before
    fs::remove(sb_.Path("cfg/run.log"));
    sb_.Write("cfg/site.ini", Ansi(row.main));
    const std::string args = "/INI:" + sb_.Win("cfg/site.ini") + " /DEBUG:LOG";
    int exitCode = -1;
    if (Linux()) {
      exitCode = sb_.Run(args, {{"USERNAME", row.user}, {"APPDATA", row.appData}}).exitCode;
    } else {
      exitCode = sb_.Probe({"run-with", "USERNAME", Hex(row.user), "APPDATA", Hex(row.appData), "--",
                            sb_.WinPath(exe), "/INI:" + sb_.Win("cfg/site.ini"), "/DEBUG:LOG"})
                     .exitCode;
    }
    const std::string log = sb_.Log();
    EXPECT_EQ(exitCode, row.exitCode) << log;
    EXPECT_NE(log.find(Ansi(row.expected)), std::string::npos) << log;
    std::map<std::string, std::string> status = sb_.RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark");
    if (!row.lastError.empty()) {
      EXPECT_EQ(status["LASTERROR"], "\"" + row.lastError + "\"");
    }
  }
}

TEST_P(RealWindows, WindowsNamesOnBothBuilds) {
  // ".." after a folder that does not exist, and the dots at the end of a
  // name, are read as Windows reads them; a sign type or target that names a
  // device is refused before anything is written (the windows build would
  // read the device AUX for good).
  sb_.Templates("standard", "x\r\n");
  sb_.Write("app/Microsoft/Signatures/alt.htm", "gestern");
  const std::string templates = sb_.Win("cfg") + "\\fehlt\\..\\Vorlagen";
  const std::string device = "' ist ein Gerätename von Windows (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9) und kann ";
  const struct {
    const char* name;
    std::string main;
    int exitCode;
    std::string expected;  // in the log
  } rows[] = {
      {"'..' after a missing folder", "FixedSignType=standard\r\nTemplateFolder=" + templates + "\r\n", 0,
       "TS ...Pfad Vorlagen: " + templates + "\r\n"},
      {"a folder name with a dot at its end", "FixedSignType=standard\r\nTargetSignType=neu\r\nTemplateFolder=Vorlagen.\r\n", 0,
       "TS -> Alle Vorlagendateien gefunden\r\n"},
      {"a device as sign type", "FixedSignType=standard,aux\r\nEmptySignatureFolder=2\r\n", 1,
       "TS Fehler 999: Der SignType 'aux" + device + "keine Vorlage benennen\r\n"},
      {"a device with an extension as target", "FixedSignType=standard\r\nTargetSignType=Nul.x\r\n", 1,
       "TS Fehler 999: Der Ziel-SignType 'Nul.x" + device + "keine Signatur benennen\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.SeedOutlookVersion(13);
    sb_.Configure(row.main);
    const RunResult r = sb_.RunLogged("", {}, 60);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, row.exitCode) << sb_.Log();
    EXPECT_NE(sb_.Log().find(Ansi(row.expected)), std::string::npos) << sb_.Log();
    EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/alt.htm"), "gestern");
  }
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/neu.txt"), "x\r\n");
}

TEST_P(RealWindows, StartedByItsShortName) {
  // GetModuleFileName gives the name the program was started by; the
  // configuration beside it is named after the long one.
  if (Linux()) GTEST_SKIP() << "Linux has no short names";
  const fs::path bin = sb_.MakeDir("bin");
  fs::copy_file(WindowsExe(GetParam()), bin / "quillmark-signaturen.exe");
  sb_.Write("bin/quillmark-signaturen.ini", "[Main]\r\nLogFile=gefunden.log\r\n");
  const RunResult shortName = sb_.Wine(
      {"cmd", "/c", "for %I in (" + sb_.Win("bin/quillmark-signaturen.exe") + ") do @echo %~sI"});
  std::string exe = shortName.output.substr(0, shortName.output.find_first_of("\r\n"));
  ASSERT_NE(exe.find('~'), std::string::npos) << shortName.output;
  Exec({"wine", exe, "/DEBUG:LOG"}, sb_.BaseEnv(), 60, sb_.root());
  EXPECT_NE(sb_.Read("bin/gefunden.log").find("...Konfigurationsdatei: " + sb_.Win("bin") +
                                              "\\quillmark-signaturen.ini\r\n"),
            std::string::npos)
      << sb_.Read("bin/gefunden.log") << ReadFile(bin / "Quillmark.log");
}

INSTANTIATE_TEST_SUITE_P(Builds, RealWindows, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
