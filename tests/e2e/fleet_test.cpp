// Whole runs of both builds for what the tools of a fleet see of a run: the
// status below HKEY_CURRENT_USER\Software\Quillmark (RunStatus=1), the event of
// a run (EventLog=1 and 2: on linux a syslog socket of the test's own, under
// Wine its event log channel), and /VERSION with the exe's version resource.
// Without the keys a run logs, writes and registers what it always did, and
// with them nothing else changes.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <ctime>
#include <regex>

#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

const std::string kStatusKey = "HKEY_CURRENT_USER\\Software\\Quillmark";

// A text value as a .reg file writes it.
std::string RegText(const std::string& text) {
  return "\"" + std::regex_replace(std::regex_replace(text, std::regex(R"(\\)"), R"(\\)"), std::regex("\""),
                                   "\\\"") +
         "\"";
}

std::string Dword(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "dword:%08x", n);
  return text;
}

std::string LocalIsoNow() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&now));
  return text;
}

/// A syslog daemon of the test's own: a datagram socket the linux build is
/// pointed at with QUILLMARK_SYSLOG. In /tmp: a socket's path has at most 107 bytes.
class SyslogSocket {
 public:
  SyslogSocket() : path_("/tmp/qm-syslog-" + std::to_string(::getpid())) {
    ::unlink(path_.c_str());
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path_;
  }
  ~SyslogSocket() {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  /// Every datagram that came since the last call.
  std::vector<std::string> Received() const {
    std::vector<std::string> lines;
    char buffer[8192];
    for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) >= 0;) lines.emplace_back(buffer, n);
    return lines;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

class FleetTest : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_.SeedOutlookVersion(13);  // known to no registration: the runs register nothing
    sb_.Templates("a", "@FIRSTNAME@\r\n");
    sb_.Templates("b", "b\r\n");
  }

  /// The events of a run with EventLog, as "error: text" or "information: text":
  /// on linux the syslog lines received (their format checked here), under
  /// Wine the lines of its event log channel (Wine keeps no event log that
  /// could be read back; its ReportEventW writes each string to the channel,
  /// an error as err, anything else as trace).
  std::vector<std::string> RunForEvents(const std::string& main, const std::string& args = "") {
    sb_.Configure(main);
    std::vector<std::string> events;
    if (GetParam() == Build::Linux) {
      const SyslogSocket syslog;
      exitCode_ = sb_.RunLogged(args, {{"QUILLMARK_SYSLOG", syslog.path()}}).exitCode;
      static const std::regex line(
          R"(<(11|14)>[A-Z][a-z]{2} [ 1-3]\d \d\d:\d\d:\d\d Quillmark\[\d+\]: (.*))");
      for (const std::string& datagram : syslog.Received()) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(datagram, m, line)) << datagram;
        if (!m.empty()) events.push_back((m[1] == "11" ? "error: " : "information: ") + m[2].str());
      }
      return events;
    }
    const RunResult r = sb_.RunLogged(args, {{"WINEDEBUG", "-all,+eventlog"}});
    exitCode_ = r.exitCode;
    static const std::regex line(R"((err|trace):eventlog:ReportEventW L\"(.*)\")");
    for (std::sregex_iterator m(r.output.begin(), r.output.end(), line), end; m != end; ++m) {
      events.push_back(((*m)[1] == "err" ? "error: " : "information: ") + (*m)[2].str());
    }
    return events;
  }

  std::string User() const { return qm::platform::text::ToUpper(sb_.UserName()); }

  Sandbox sb_{GetParam()};
  int exitCode_ = -1;
};

TEST_P(FleetTest, StatusOfEachOutcomeAndNothingElseChanged) {
  struct Row {
    const char* name;
    std::string main;
    int exitCode;
    std::string lastError;
    int signatures;
  };
  const std::vector<Row> rows = {
      {"finished", "FixedSignType=a,b\r\nFixedSignTypeReply=a\r\n", 0, "", 3},
      {"failed after a signature", "FixedSignType=a,x\r\n", 1, "Fehler 999: Fehlende Dateien für die Vorlage 'x'", 1},
      {"failed before any", "FixedSignType=\r\n", 1, "Fehler 999: Keine Signaturtypen in der Datenbank festgelegt", 0},
  };
  std::smatch version;
  const std::string shown = sb_.Run("/VERSION").output;
  ASSERT_TRUE(std::regex_search(shown, version, std::regex(R"(^Quillmark (\S+) )"))) << shown;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.SeedOutlookVersion(13);  // and no status of the row before
    const std::string seeded = sb_.Read("registry.reg");
    fs::remove_all(sb_.Path("app/Microsoft"));
    sb_.Configure(row.main);
    EXPECT_EQ(sb_.RunLogged().exitCode, row.exitCode);
    const std::string log = sb_.Log();
    const Tree files = ReadTree(sb_.Path("app/Microsoft"));
    EXPECT_EQ(sb_.RegistryValues(kStatusKey), (std::map<std::string, std::string>{})) << "a status without RunStatus";
    if (GetParam() == Build::Linux) {
      EXPECT_EQ(sb_.Read("registry.reg"), seeded);
    }

    fs::remove_all(sb_.Path("app/Microsoft"));
    sb_.Configure(row.main + "RunStatus=1\r\n");
    const std::string before = LocalIsoNow();
    EXPECT_EQ(sb_.RunLogged().exitCode, row.exitCode);
    const std::string after = LocalIsoNow();
    EXPECT_EQ(sb_.Log(), log);
    EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft")), files);
    std::map<std::string, std::string> status = sb_.RegistryValues(kStatusKey);
    const std::string lastRun = status["LASTRUN"];
    EXPECT_TRUE(std::regex_match(lastRun, std::regex(R"("\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d")"))) << lastRun;
    EXPECT_TRUE(RegText(before) <= lastRun && lastRun <= RegText(after)) << lastRun;
    status.erase("LASTRUN");
    EXPECT_EQ(status, (std::map<std::string, std::string>{
                          {"LASTEXITCODE", Dword(row.exitCode)},
                          {"LASTERROR", RegText(row.lastError)},
                          {"SIGNATURESWRITTEN", Dword(row.signatures)},
                          {"VERSION", RegText(version[1])},
                          {"CONFIGFILE", RegText(sb_.Win("cfg/site.ini"))},
                      }));
    // The status is all the run added to the registry.
    if (GetParam() == Build::Linux) {
      std::map<std::string, std::string> values = RegValues(sb_.Read("registry.reg"));
      std::erase_if(values, [](const auto& v) { return v.first.starts_with("HKEY_CURRENT_USER\\SOFTWARE\\QUILLMARK|"); });
      EXPECT_EQ(values, RegValues(seeded));
    }
  }
}

TEST_P(FleetTest, StatusThatCannotBeWrittenLeavesTheRunsResult) {
  if (GetParam() != Build::Linux) {
    // Wine keeps no access rights on registry keys: a key that refuses the
    // user's writes, as a policy can make one on Windows, cannot be made there.
    GTEST_SKIP() << "no registry key refuses a write under Wine";
  }
  ::chmod(sb_.Path("registry.reg").c_str(), 0444);
  const std::string refused =
      "TS @TESTER > Fehler 999: Der Status konnte nicht unter 'HKEY_CURRENT_USER\\Software\\Quillmark' "
      "gespeichert werden (Wert 'LastExitCode')\r\n";
  for (const std::string signTypes : {"a", ""}) {
    SCOPED_TRACE(signTypes);
    sb_.Configure("FixedSignType=" + signTypes + "\r\n");
    const int exitCode = sb_.RunLogged().exitCode;
    const std::string log = sb_.Log();
    sb_.Configure("FixedSignType=" + signTypes + "\r\nRunStatus=1\r\n");
    EXPECT_EQ(sb_.RunLogged().exitCode, exitCode);
    EXPECT_EQ(sb_.Log(), log + Ansi(refused));
  }
}

TEST_P(FleetTest, EventOfAFailedOrOfEveryRun) {
  struct Row {
    const char* name;
    std::string main;
    std::string args;
    int exitCode;
    std::vector<std::string> events;
  };
  const std::string failed = "error: @" + User() + " > Fehler 999: Keine Signaturtypen in der Datenbank festgelegt";
  const std::vector<Row> rows = {
      {"failures, finished", "EventLog=1\r\nFixedSignType=a\r\n", "", 0, {}},
      {"failures, failed", "EventLog=1\r\nFixedSignType=\r\n", "", 1, {failed}},
      {"every run, finished", "EventLog=2\r\nFixedSignType=a\r\n", "", 0,
       {"information: @" + User() + " > Fertig; geschriebene Signaturen: 1"}},
      {"every run, failed", "EventLog=2\r\nFixedSignType=\r\n", "", 1, {failed}},
      {"a preview", "EventLog=2\r\nRunStatus=1\r\nFixedSignType=a\r\n", "/SIMULATE:vorschau", 0, {}},
      {"any other value", "EventLog=3\r\nFixedSignType=\r\n", "", 1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RunForEvents(row.main, row.args), row.events);
    EXPECT_EQ(exitCode_, row.exitCode);
  }
  // A preview writes no status either.
  EXPECT_EQ(sb_.RegistryValues(kStatusKey), (std::map<std::string, std::string>{}));
  if (GetParam() != Build::Linux) return;
  // No syslog daemon: the run's result stands, and the log says why the event is missing.
  sb_.Configure("EventLog=1\r\nFixedSignType=\r\n");
  EXPECT_EQ(sb_.RunLogged("", {{"QUILLMARK_SYSLOG", "/tmp/qm-no-syslog"}}).exitCode, 1);
  EXPECT_TRUE(sb_.Log().ends_with(
      "TS Fehler 999: Keine Signaturtypen in der Datenbank festgelegt\r\nTS ********** Ende \r\n\r\n"
      "TS @TESTER > Fehler 76: Das Ereignis konnte nicht an das Systemprotokoll '/tmp/qm-no-syslog' " +
      Ansi("übergeben") + " werden (kein Systemprotokoll-Dienst an diesem Socket)\r\n"))
      << sb_.Log();
}

INSTANTIATE_TEST_SUITE_P(Builds, FleetTest, BothBuilds(), BuildParamName);

class VersionTest : public ::testing::TestWithParam<Build> {};

TEST_P(VersionTest, VersionOptionAndResource) {
  Sandbox sb(GetParam());
  const fs::path bin = sb.InstallProgram("bin");
  const RunResult r = sb.Run("/VERSION");
  EXPECT_EQ(r.exitCode, 0);
  // The version twice: as the resource and the status write it, and as the log's start line.
  std::smatch m;
  ASSERT_TRUE(std::regex_match(r.output, m, std::regex(R"(Quillmark ((\d+)\.(\d+)\.(\d+)\.0) \((\d+)\.(\d+) Build (\d+)\)\r?\n)")))
      << r.output;
  EXPECT_EQ(m[2], m[5]);
  EXPECT_EQ(m[3], m[6]);
  EXPECT_EQ(std::stoi(m[4]), std::stoi(m[7]));
  EXPECT_GE(m[7].length(), 2u);
  const std::string version = m[1];

  // With other options nothing else is done: no configuration read, no log, no status.
  sb.Configure("RunStatus=1\r\nEventLog=2\r\nFixedSignType=\r\n");
  const std::string others = "/INI:" + sb.Win("cfg/site.ini") + " /DEBUG:LOG";
  const RunResult withOthers = sb.Run(others + " /version");
  EXPECT_EQ(withOthers.exitCode, 0);
  // A redirected output of a Windows program is in the OEM code page (850 here).
  const std::string note = "Mit /VERSION werden die übrigen Optionen nicht ausgewertet: " + others;
  EXPECT_NE(withOthers.output.find(UnderWine(GetParam()) ? Convert(note, "UTF-8", "CP850") : note), std::string::npos)
      << withOthers.output;
  EXPECT_FALSE(sb.Exists("cfg/run.log"));
  EXPECT_FALSE(fs::exists(bin / "Quillmark.log"));
  EXPECT_EQ(sb.RegistryValues(kStatusKey), (std::map<std::string, std::string>{}));
  if (!UnderWine(GetParam())) return;

  // The version resource, read back by pefile.
  const std::string exe = (bin / WindowsExe(GetParam()).filename()).string();
  const RunResult resource = Exec({"/usr/bin/python3", (SourceDir() / "tools/exe_version.py").string(), exe},
                                  {{"PATH", std::getenv("PATH")}}, 60);
  ASSERT_EQ(resource.exitCode, 0) << resource.output << " (package python3-pefile)";
  const std::string expected = "FILEVERSION=" + version + "\nPRODUCTVERSION=" + version +
                               "\nCompanyName=Quillmark\n"
                               "FileDescription=Quillmark: Outlook-Signaturen des Benutzers erstellen\n"
                               "FileVersion=" + version + "\nInternalName=" + fs::path(exe).stem().string() +
                               "\nLegalCopyright=Quillmark\nOriginalFilename=" + fs::path(exe).filename().string() +
                               "\nProductName=Quillmark\nProductVersion=" + version +
                               "\nmessage0=%1%0\nmessage1=%1%0\nmessage2=%1%0\n"
                               "requestedExecutionLevel=asInvoker\nsupportedOS=4\n";
  EXPECT_EQ(resource.output, expected);
}

INSTANTIATE_TEST_SUITE_P(Builds, VersionTest, AllBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
