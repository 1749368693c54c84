// Whole runs of the linux build on the files its stand-ins read and replace:
// one registry file under overlapping runs, and a FIFO, a device or a folder
// named as configuration file or registry file.
#include <sys/stat.h>

#include <memory>

#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

/// Text as reg export writes binary UTF-16LE with terminator: "hex:xx,xx,...".
std::string HexUtf16(const std::string& ascii) {
  std::string hex = "hex:";
  for (char c : ascii)
    hex += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]) + ",00,";
  return hex + "00,00";
}

TEST(StandInFiles, OverlappingRunsLoseNoValue) {
  // Logon scripts start runs side by side; each reads, changes and writes the
  // registry file. Six runs at once register their signatures for six
  // accounts of one Outlook 2007 profile, round after round on the file the
  // round before left: every value of every round must be there, and the file
  // must stay one that a run reads.
  constexpr int kRuns = 6;
  constexpr int kRounds = 10;
  Sandbox sb(Build::Linux);
  const std::string profiles =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
  const std::string accounts = profiles + "\\Test\\9375CFF0413111d3B88A00104B2A6676";
  std::string list, keys;
  for (int i = 1; i <= kRuns; ++i) {
    list += std::string(list.empty() ? "" : ",") + "00,00,00,0" + std::to_string(i);
    keys += "[" + accounts + "\\0000000" + std::to_string(i) +
            "]\r\n\"Account Name\"=" + HexUtf16("Konto " + std::to_string(i)) + "\r\n\r\n";
  }
  sb.SeedRegistry(
      "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.12\"\r\n\r\n[" +
      profiles + "]\r\n\"DefaultProfile\"=\"Test\"\r\n\r\n[" + accounts +
      "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:" + list + "\r\n\r\n" + keys);
  sb.Templates("std", "@FULLNAME@\r\n");
  const auto ini = [](int run) { return "cfg/run" + std::to_string(run) + ".ini"; };
  const auto runArgs = [&sb, &ini](int run) {
    return std::vector<std::string>{QM_LINUX_EXE, "/INI:" + sb.Win(ini(run))};
  };
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string name = "Runde" + std::to_string(round);
    for (int run = 1; run <= kRuns; ++run) {
      sb.MakeDir("app" + std::to_string(run));
      sb.Write(ini(run), "[Main]\r\nLogFile=run" + std::to_string(run) +
                             ".log\r\nAppDataPath=" + sb.Win("app" + std::to_string(run)) +
                             "\r\nFixedSignType=std\r\nTargetSignType=" + name +
                             "\r\nEMailAccount=Konto " + std::to_string(run) + "\r\n");
    }
    std::vector<std::unique_ptr<Process>> runs;
    for (int run = 1; run <= kRuns; ++run) {
      runs.push_back(
          std::make_unique<Process>(runArgs(run), sb.BaseEnv(), sb.root(), sb.Path("out.txt")));
    }
    for (int run = 1; run <= kRuns; ++run) {
      EXPECT_EQ(runs[run - 1]->Wait(30), 0) << sb.Read("cfg/run" + std::to_string(run) + ".log");
    }
    // However a value was wrapped.
    const std::map<std::string, std::string> values = RegValues(sb.Read("registry.reg"));
    for (int run = 1; run <= kRuns; ++run) {
      const std::string key = qm::platform::text::ToUpper(accounts + "\\0000000" + std::to_string(run));
      for (const char* value : {"|\"NEW SIGNATURE\"", "|\"REPLY-FORWARD SIGNATURE\""}) {
        EXPECT_EQ(values.count(key + value) ? values.at(key + value) : "", HexUtf16(name)) << "account " << run;
      }
    }
  }
  EXPECT_EQ(Exec(runArgs(1), sb.BaseEnv(), 30, sb.root()).exitCode, 0) << sb.Read("cfg/run1.log");
}

TEST(StandInFiles, FifoDeviceOrFolderNeitherHangsNorCrashes) {
  // Each is a file that cannot be opened: the run goes on without it and ends,
  // within seconds, as it ends without a configuration or without a registry.
  // A FIFO named with /INI: used to hang the run for good (a device, which
  // the same check refuses, to read until memory ran out).
  Sandbox sb(Build::Linux);
  fs::path bin = sb.InstallProgram("bin");
  ASSERT_EQ(::mkfifo(sb.Path("fifo").c_str(), 0644), 0);
  sb.MakeDir("folder");
  sb.Write("cfg/site.ini", "[Main]\r\n");
  const std::string noOutlook =
      "TS @ > Fehler 999: Outlook-Version konnte nicht ermittelt werden\r\n";
  struct Row {
    const char* name;
    std::string ini, registry;  // relative to the sandbox
    std::string log, error;     // where the error line goes, and the line
  };
  const std::vector<Row> rows = {
      {"configuration file a FIFO", "fifo", "registry.reg", "Quillmark.log", noOutlook},
      {"configuration file a folder", "folder", "registry.reg", "bin/Quillmark.log",
       "TS @ > Fehler 999: Konfigurationsdatei nicht gefunden (Parameter=/INI:" + sb.Win("folder") +
           ")\r\n"},
      {"registry file a FIFO", "cfg/site.ini", "fifo", "cfg/Quillmark.log", noOutlook},
      {"registry file a folder", "cfg/site.ini", "folder", "cfg/Quillmark.log", noOutlook},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(sb.Path(row.log));
    RunResult r = sb.Run("/INI:" + sb.Win(row.ini),
                         {{"QUILLMARK_REGISTRY", sb.Path(row.registry).string()}}, 10);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(MaskTimestamps(sb.Read(row.log)), row.error);
  }
  EXPECT_TRUE(fs::is_fifo(sb.Path("fifo")));  // nothing replaced it
}

}  // namespace
}  // namespace qmtest
