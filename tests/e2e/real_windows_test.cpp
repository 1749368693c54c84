// What real Windows does where Wine is lenient: a configuration file saved as
// UTF-8 with a byte-order mark, templates that another program holds open,
// file names the ANSI code page cannot hold, and an exe started by its short
// name. What Wine cannot show (the shell's error dialogs, SMB appends, the
// first ShowWindow of a hidden logon script, a session without a desktop) is
// on the README's list of checks to make once on a real Windows PC.
#include <thread>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

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
    ASSERT_TRUE(Eventually(30, [&] { return sb_.Exists("held"); })) << sb_.Read("holder.txt");
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
