// Whole runs of both builds against a hostile file system: folders that cannot
// be written, a locked target, a template folder that vanishes mid-run, a full
// disk, a registry file that cannot be replaced. Every run must end with the
// right error (or, where Windows reports nothing, not at all), and every file
// that existed before must be intact afterwards.
//
// The tests run as root in CI, and root writes through file permissions; so a
// folder is made read-only with a read-only bind mount of itself, and a small
// tmpfs stands for a full disk (the harness's Mount). Without the right to
// mount they are skipped.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

class Faults : public ::testing::TestWithParam<Build> {
 protected:
  // A configuration beside two templates, and an old signature folder.
  void Prepare(Sandbox& sb, const std::string& logFile, const std::string& extraKeys = "") {
    sb.SeedOutlookVersion(13);  // unknown: nothing is registered
    sb.Write("cfg/site.ini", "[Main]\r\nLogFile=" + logFile +
                                 "\r\nAppDataPath=%QM_APPDATA%\r\nFixedSignType=eins,zwei\r\n" +
                                 extraKeys);
    for (const char* name : {"eins", "zwei"}) {
      for (const char* ext : {".htm", ".rtf", ".txt"}) {
        sb.Write(std::string("cfg/Vorlagen/") + name + ext, std::string(name) + ext + " @CITY@\r\n");
      }
    }
    sb.Write("cfg/Vorlagen/eins_logo.gif", "GIF89a");
    sb.Write("app/Microsoft/Signatures/eins.htm", "alt eins");
    sb.Write("app/Microsoft/Signatures/eins.rtf", "alt eins rtf");
    sb.Write("app/Microsoft/Signatures/alt.txt", "alt");
    before_ = ReadTree(sb.root());
  }

  RunResult Run(Sandbox& sb, const std::string& debug = " /DEBUG:LOG") {
    RunResult r = sb.Run("/INI:" + sb.Win("cfg/site.ini") + debug, {{"QM_APPDATA", sb.Win("app")}}, 90);
    log_ = MaskTimestamps(sb.Read("cfg/run.log"));
    return r;
  }

  // Every file of the sandbox that existed before the run still holds its
  // bytes, except the ones the run was allowed to write.
  void ExpectIntact(const Sandbox& sb, std::initializer_list<std::string> mayChange) const {
    Tree after = ReadTree(sb.root());
    for (const auto& [path, bytes] : before_) {
      bool allowed = false;
      for (const std::string& m : mayChange) allowed = allowed || path == m;
      if (allowed || path.rfind("home/", 0) == 0) continue;
      auto it = after.find(path);
      ASSERT_NE(it, after.end()) << path << " is gone";
      EXPECT_EQ(it->second, bytes) << path << " changed";
    }
  }

  Tree before_;
  std::string log_;
};

TEST_P(Faults, ReadOnlyLogFolderEndsTheRunAtOnce) {
  // The log lies beside the configuration, and that folder cannot be written:
  // the first log line fails, the error line fails too, and the run ends.
  Sandbox sb(GetParam());
  Prepare(sb, "");
  Mount ro = Mount::ReadOnly(sb.Path("cfg"));
  REQUIRE_MOUNT(ro);
  for (const char* debug : {" /DEBUG:LOG", ""}) {
    SCOPED_TRACE(debug);
    RunResult r = Run(sb, debug);
    EXPECT_EQ(r.exitCode, debug[0] ? 1 : 0) << r.output;
    EXPECT_LT(r.seconds, 20.0);
    EXPECT_FALSE(sb.Exists("cfg/Quillmark.log"));
  }
  // The silent run goes through: it may write the signatures.
  ExpectIntact(sb, {"app/Microsoft/Signatures/eins.htm", "app/Microsoft/Signatures/eins.rtf"});
}

TEST_P(Faults, ReadOnlySignatureFolderKeepsEveryOldFile) {
  // Emptying the folder fails file by file and goes on; the first signature
  // file cannot be created, which ends the run with the platform's error.
  Sandbox sb(GetParam());
  Prepare(sb, "run.log", "EmptySignatureFolder=2\r\n");
  Mount ro = Mount::ReadOnly(sb.Path("app/Microsoft/Signatures"));
  REQUIRE_MOUNT(ro);
  RunResult r = Run(sb);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(log_.find("TS Leere Outlook-Signaturen-Ordner\r\nTS Verarbeite 1. Standardsignatur: eins > eins\r\n"
                     "TS -> Alle Vorlagendateien gefunden\r\nTS -> Erzeuge HTM-Datei: " +
                     sb.Win("app") + "\\Microsoft\\Signatures\\eins.htm\r\n"
                     "TS Fehler 70: Zugriff verweigert\r\nTS ********** Ende \r\n\r\n"),
            std::string::npos)
      << log_;
  ExpectIntact(sb, {"cfg/run.log"});
}

TEST_P(Faults, LockedOrReadOnlyTargetFile) {
  // Windows: another program holds the old rtf file open for writing. Linux,
  // which has no such locks: the old rtf file is read-only for everyone.
  Sandbox sb(GetParam());
  Prepare(sb, "run.log");
  std::optional<Mount> ro;
  RunResult holder;
  std::thread hold;
  if (GetParam() == Build::Linux) {
    ro.emplace(Mount::ReadOnly(sb.Path("app/Microsoft/Signatures/eins.rtf")));
    REQUIRE_MOUNT(*ro);
  } else {
    hold = std::thread([&] {
      holder = sb.Probe({"hold", sb.Win("app/Microsoft/Signatures/eins.rtf"), sb.Win("held")}, {}, 90);
    });
    for (int i = 0; i < 800 && !sb.Exists("held"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  RunResult r = Run(sb);
  if (hold.joinable()) {
    EXPECT_TRUE(sb.Exists("held")) << "the probe did not take the file";
    fs::remove(sb.Path("held"));
    hold.join();
    EXPECT_EQ(holder.exitCode, 0) << holder.output;
  }
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(log_.find("\\eins.rtf\r\nTS Fehler 70: Zugriff verweigert\r\n"), std::string::npos) << log_;
  // The htm file was written before; nothing after the rtf file was.
  EXPECT_EQ(sb.Read("app/Microsoft/Signatures/eins.htm"), "eins.htm \r\n");
  EXPECT_FALSE(sb.Exists("app/Microsoft/Signatures/eins.txt"));
  ExpectIntact(sb, {"app/Microsoft/Signatures/eins.htm", "cfg/run.log"});
}

TEST_P(Faults, TemplateFolderRemovedWhileRendering) {
  // A large first template keeps the run busy; the test removes the whole
  // template folder as soon as the run has emptied the old target to render
  // into it. The run reads on from the open template, then misses the next.
  Sandbox sb(GetParam());
  Prepare(sb, "run.log");
  std::string big;
  for (int i = 0; i < 2000000; ++i) big += "Zeile @CITY@\r\n";
  sb.Write("cfg/Vorlagen/eins.htm", big);
  const fs::path target = sb.Path("app/Microsoft/Signatures/eins.htm");
  bool removed = false;
  std::thread remover([&] {
    for (int i = 0; i < 60000 && !removed; ++i) {
      std::error_code ec;
      if (fs::file_size(target, ec) != 8 && !ec) removed = fs::remove_all(sb.Path("cfg/Vorlagen"), ec) > 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  RunResult r = Run(sb);
  remover.join();
  ASSERT_TRUE(removed);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  // Where the run noticed depends on how far it had got: normally the rtf
  // template of the same signature, at the latest the second signature's check.
  EXPECT_TRUE(log_.find("TS Fehler 76: Pfad nicht gefunden\r\n") != std::string::npos ||
              log_.find(Ansi("TS Fehler 999: Fehlende Dateien für die Vorlage 'zwei'\r\n")) != std::string::npos)
      << log_;
  // A template that cannot be read leaves its target alone.
  if (log_.find("\\eins.rtf\r\nTS Fehler") != std::string::npos) {
    EXPECT_EQ(sb.Read("app/Microsoft/Signatures/eins.rtf"), "alt eins rtf");
  }
  EXPECT_EQ(sb.Read("app/Microsoft/Signatures/alt.txt"), "alt");
  EXPECT_FALSE(sb.Exists("app/Microsoft/Signatures/zwei.htm"));
}

TEST_P(Faults, FullDiskEndsTheRunWithDiskFull) {
  // The signature folder lies on a disk of 256 kB; the first template needs more.
  Sandbox sb(GetParam());
  Prepare(sb, "run.log");
  const fs::path app = sb.Path("app");
  const Tree oldSignatures = ReadTree(app);
  Mount disk = Mount::SmallDisk(app, 256);
  REQUIRE_MOUNT(disk);
  for (const auto& [rel, bytes] : oldSignatures) {
    if (rel.back() == '/') fs::create_directories(app / rel);
    else sb.Write("app/" + rel, bytes);
  }
  std::string big;
  for (int i = 0; i < 40000; ++i) big += "Zeile @CITY@ mit etwas Text\r\n";
  sb.Write("cfg/Vorlagen/eins.htm", big);
  RunResult r = Run(sb);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(log_.find(Ansi("\\eins.htm\r\nTS Fehler 61: Datenträger voll\r\n")), std::string::npos) << log_;
  Tree after = ReadTree(app);
  EXPECT_EQ(after["Microsoft/Signatures/alt.txt"], "alt");
  EXPECT_EQ(after["Microsoft/Signatures/eins.rtf"], "alt eins rtf");
  EXPECT_FALSE(sb.Exists("app/Microsoft/Signatures/zwei.htm"));
}

INSTANTIATE_TEST_SUITE_P(Builds, Faults, BothBuilds(), BuildParamName);

TEST(FaultsLinux, RegistryFileThatCannotBeReplaced) {
  // Windows does not report a registry write that fails, and neither does the
  // registry file: the run ends normally, and the file is left as it was, with
  // no half-written copy beside it.
  Sandbox sb(Build::Linux);
  sb.Write("cfg/site.ini",
           "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\nFixedSignType=eins\r\n");
  for (const char* ext : {".htm", ".rtf", ".txt"}) sb.Write(std::string("cfg/Vorlagen/eins") + ext, "x");
  sb.MakeDir("app");
  sb.SeedRegistry(
      "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.10\"\r\n");
  fs::create_directories(sb.Path("reg"));
  fs::rename(sb.Path("registry.reg"), sb.Path("reg/registry.reg"));
  const std::string before = sb.Read("reg/registry.reg");
  Mount ro = Mount::ReadOnly(sb.Path("reg"));
  REQUIRE_MOUNT(ro);
  const Env env{{"QM_APPDATA", sb.Win("app")},
                {"QUILLMARK_REGISTRY", sb.Path("reg/registry.reg").string()}};
  RunResult r = sb.Run("/INI:" + sb.Win("cfg/site.ini") + " /DEBUG:LOG", env, 60);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::string log = MaskTimestamps(sb.Read("cfg/run.log"));
  EXPECT_NE(log.find(Ansi("TS -> ...Eintrag 'NewSignature' hinzugefügt bzw. gesetzt\r\n")), std::string::npos)
      << log;
  EXPECT_EQ(sb.Read("reg/registry.reg"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(sb.Path("reg")), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace qmtest
