// Whole runs of both builds against a hostile file system: folders that cannot
// be written, a locked target, a full disk. Every run must end with the right
// error, and every file that existed before must be intact afterwards. (A
// registry file that cannot be replaced: the unit tests of the replace that
// registry and profile writes go through.)
//
// The tests run as root in CI, and root writes through file permissions; so a
// folder is made read-only with a read-only bind mount of itself, and a small
// tmpfs stands for a full disk (the harness's Mount). Without the right to
// mount they are skipped.
#include <chrono>
#include <thread>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

class Faults : public ::testing::TestWithParam<Build> {
 protected:
  // A configuration beside two templates, and an old signature folder.
  void Prepare(const std::string& moreKeys = "") {
    sb_.SeedOutlookVersion(13);  // unknown: nothing is registered
    sb_.Configure("FixedSignType=eins,zwei\r\n" + moreKeys);
    for (const char* name : {"eins", "zwei"}) sb_.Templates(name, std::string(name) + " @CITY@\r\n");
    sb_.Write("cfg/Vorlagen/eins_logo.gif", "GIF89a");
    sb_.Write("app/Microsoft/Signatures/eins.htm", "alt eins");
    sb_.Write("app/Microsoft/Signatures/eins.rtf", "alt eins rtf");
    sb_.Write("app/Microsoft/Signatures/alt.txt", "alt");
    before_ = ReadTree(sb_.root());
  }

  RunResult Run(const std::string& debug = "/DEBUG:LOG", int timeoutSeconds = 90) {
    const Env env{{"QM_APPDATA", sb_.Win("app")}};
    RunResult r = sb_.Run("/INI:" + sb_.Win("cfg/site.ini") + " " + debug, env, timeoutSeconds);
    log_ = sb_.Log();
    return r;
  }

  // Every file of the sandbox that existed before the run still holds its
  // bytes, except the ones the run was allowed to write.
  void ExpectIntact(std::initializer_list<std::string> mayChange) const {
    Tree after = ReadTree(sb_.root());
    for (const auto& [path, bytes] : before_) {
      bool allowed = false;
      for (const std::string& m : mayChange) allowed = allowed || path == m;
      if (allowed || path.rfind("home/", 0) == 0) continue;
      auto it = after.find(path);
      ASSERT_NE(it, after.end()) << path << " is gone";
      EXPECT_EQ(it->second, bytes) << path << " changed";
    }
  }

  Sandbox sb_{GetParam()};
  Tree before_;
  std::string log_;
};

TEST_P(Faults, ReadOnlyLogFolderEndsTheRunAtOnce) {
  // The log lies beside the configuration, and that folder cannot be written:
  // the first log line fails, the error line fails too, and the run ends.
  // (A run that retried its log lines would be killed after 20 s.)
  Prepare();
  Mount ro = Mount::ReadOnly(sb_.Path("cfg"));
  REQUIRE_MOUNT(ro);
  for (const char* debug : {"/DEBUG:LOG", ""}) {
    SCOPED_TRACE(debug);
    RunResult r = Run(debug, 20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, debug[0] ? 1 : 0) << r.output;
    EXPECT_FALSE(sb_.Exists("cfg/run.log"));
  }
  // The silent run goes through: it may write the signatures.
  ExpectIntact({"app/Microsoft/Signatures/eins.htm", "app/Microsoft/Signatures/eins.rtf"});
}

TEST_P(Faults, ReadOnlySignatureFolderKeepsEveryOldFile) {
  // Emptying the folder fails file by file and goes on; the first signature
  // file cannot be created, which ends the run with the platform's error.
  Prepare("EmptySignatureFolder=2\r\n");
  Mount ro = Mount::ReadOnly(sb_.Path("app/Microsoft/Signatures"));
  REQUIRE_MOUNT(ro);
  RunResult r = Run();
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(log_.find("TS Leere Outlook-Signaturen-Ordner\r\nTS Verarbeite 1. Standardsignatur: eins > eins\r\n"
                     "TS -> Alle Vorlagendateien gefunden\r\nTS -> Erzeuge HTM-Datei: " +
                     sb_.Win("app") + "\\Microsoft\\Signatures\\eins.htm\r\n"
                     "TS Fehler 70: Zugriff verweigert\r\nTS ********** Ende \r\n\r\n"),
            std::string::npos)
      << log_;
  ExpectIntact({"cfg/run.log"});
}

TEST_P(Faults, ReadOnlySignatureFolderSaidWithReportFileErrors) {
  // The same folder with ReportFileErrors=1: each old file that stays is said
  // after "Leere ..." (in the listing's order), and the status counts them.
  Prepare("EmptySignatureFolder=2\r\nReportFileErrors=1\r\nRunStatus=1\r\n");
  Mount ro = Mount::ReadOnly(sb_.Path("app/Microsoft/Signatures"));
  REQUIRE_MOUNT(ro);
  RunResult r = Run();
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const std::size_t cleared = log_.find("TS Leere Outlook-Signaturen-Ordner\r\n");
  const std::size_t first = log_.find("TS Verarbeite 1. Standardsignatur");
  ASSERT_NE(cleared, std::string::npos) << log_;
  for (const char* name : {"alt.txt", "eins.htm", "eins.rtf"}) {
    // Wine's shell names its own code; the linux build's stand-in says access is denied.
    const std::string line = "TS -> Alte Signaturdatei nicht gelöscht: " + sb_.Win("app/Microsoft/Signatures") +
                             "\\" + name + ": " +
                             (GetParam() == Build::Linux ? "Zugriff verweigert (Code 5)\r\n" : "");
    const std::size_t at = log_.find(Ansi(line));
    EXPECT_TRUE(at != std::string::npos && cleared < at && at < first) << name << "\n" << log_;
  }
  EXPECT_EQ(sb_.RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark")["FILEERRORS"], "dword:00000003");
  ExpectIntact({"cfg/run.log", "registry.reg"});
}

TEST_P(Faults, LockedOrReadOnlyTargetFile) {
  // Windows: another program holds the old rtf file open for writing. Linux,
  // which has no such locks: the old rtf file is read-only for everyone.
  Prepare();
  std::optional<Mount> ro;
  RunResult holder;
  std::thread hold;
  if (GetParam() == Build::Linux) {
    ro.emplace(Mount::ReadOnly(sb_.Path("app/Microsoft/Signatures/eins.rtf")));
    REQUIRE_MOUNT(*ro);
  } else {
    hold = std::thread([&] {
      holder = sb_.Probe({"hold", sb_.Win("app/Microsoft/Signatures/eins.rtf"), sb_.Win("held")}, {}, 90);
    });
    for (int i = 0; i < 800 && !sb_.Exists("held"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  RunResult r = Run();
  if (hold.joinable()) {
    EXPECT_TRUE(sb_.Exists("held")) << "the probe did not take the file";
    fs::remove(sb_.Path("held"));
    hold.join();
    EXPECT_EQ(holder.exitCode, 0) << holder.output;
  }
  EXPECT_EQ(r.exitCode, 1) << r.output;
  // Windows names the file another program holds.
  const std::string rtf = sb_.Win("app/Microsoft/Signatures") + "\\eins.rtf";
  EXPECT_NE(log_.find(rtf + "\r\nTS Fehler 70: " +
                      (GetParam() == Build::Linux
                           ? std::string("Zugriff verweigert")
                           : "Die Datei '" + rtf + "' wird von einem anderen Programm verwendet") +
                      "\r\n"),
            std::string::npos)
      << log_;
  // The htm file was written before; nothing after the rtf file was.
  EXPECT_EQ(sb_.Read("app/Microsoft/Signatures/eins.htm"), "eins \r\n");
  EXPECT_FALSE(sb_.Exists("app/Microsoft/Signatures/eins.txt"));
  ExpectIntact({"app/Microsoft/Signatures/eins.htm", "cfg/run.log"});
}

TEST_P(Faults, FullDiskEndsTheRunWithDiskFull) {
  // The signature folder lies on a disk of 256 kB; the first template needs more.
  Prepare();
  const fs::path app = sb_.Path("app");
  const Tree oldSignatures = ReadTree(app);
  Mount disk = Mount::SmallDisk(app, 256);
  REQUIRE_MOUNT(disk);
  for (const auto& [rel, bytes] : oldSignatures) {
    if (rel.back() == '/') fs::create_directories(app / rel);
    else sb_.Write("app/" + rel, bytes);
  }
  std::string big;
  for (int i = 0; i < 40000; ++i) big += "Zeile @CITY@ mit etwas Text\r\n";
  sb_.Write("cfg/Vorlagen/eins.htm", big);
  RunResult r = Run();
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(log_.find(Ansi("\\eins.htm\r\nTS Fehler 61: Datenträger voll\r\n")), std::string::npos) << log_;
  Tree after = ReadTree(app);
  EXPECT_EQ(after["Microsoft/Signatures/alt.txt"], "alt");
  EXPECT_EQ(after["Microsoft/Signatures/eins.rtf"], "alt eins rtf");
  EXPECT_FALSE(sb_.Exists("app/Microsoft/Signatures/zwei.htm"));
}

INSTANTIATE_TEST_SUITE_P(Builds, Faults, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
