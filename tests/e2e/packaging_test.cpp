// What goes to a fleet beside the run itself, each checked as far as Linux
// and Wine allow: the exe signed with Authenticode and verified by
// osslsigncode with a throwaway certificate made here; the MSI read back
// with msiinfo and msiextract, installed, upgraded and removed under Wine,
// with the installed exe run; the scheduled task imported by Wine's
// schtasks; the Intune scripts reading what the status writes.
#include <fstream>
#include <regex>

#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

const char* kInstallFolder = "drive_c/Program Files (x86)/Quillmark";  // a 32-bit package on 64-bit Wine
const std::string kInstalledExe = "C:\\Program Files (x86)\\Quillmark\\quillmark.exe";
const std::string kEventSource = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmark";

Env HostEnv() { return {{"PATH", std::getenv("PATH")}, {"HOME", std::getenv("HOME")}}; }

RunResult Host(const std::vector<std::string>& argv, const Env& extra = {}) {
  Env env = HostEnv();
  env.insert(extra.begin(), extra.end());
  return Exec(argv, env, 120);
}

/// The version the exe's resource carries, read back by pefile.
std::string FileVersion(const fs::path& exe) {
  const RunResult r = Host({"/usr/bin/python3", (SourceDir() / "tools/exe_version.py").string(), exe.string()});
  std::smatch m;
  EXPECT_TRUE(std::regex_search(r.output, m, std::regex("FileVersion=(\\S+)"))) << r.output;
  return m.empty() ? "" : m[1].str();
}

/// One table of an MSI as msiinfo exports it, with LF line ends.
std::string Table(const fs::path& msi, const std::string& table) {
  return std::regex_replace(Host({"msiinfo", "export", msi.string(), table}).output, std::regex("\r\n"), "\n");
}

class PackagingTest : public ::testing::Test {
 protected:
  void SetUp() override { windows_ = fs::path(QM_WINDOWS_DIR); }
  RunResult Sign(const std::vector<std::string>& files, const std::string& key) {
    std::vector<std::string> argv{(SourceDir() / "packaging/sign.sh").string()};
    argv.insert(argv.end(), files.begin(), files.end());
    return Host(argv, {{"CERT", sb_.Path("cert.pem").string()}, {"KEY", sb_.Path(key).string()}});
  }
  /// The sandbox's Wine runs the exe as Windows would see it installed.
  RunResult Msiexec(const std::string& option, const fs::path& msi) {
    return sb_.Wine({"msiexec", option, sb_.WinPath(msi), "/qn"}, 180);
  }
  fs::path Prefix() const { return SourceDir() / "build" / "wineprefix"; }

  Sandbox sb_{Build::Windows};  // holds the Wine prefix for the test
  fs::path windows_;
};

TEST_F(PackagingTest, SignedExeAndMsiVerify) {
  // A throwaway code-signing certificate and a key that is not its own.
  for (const char* name : {"", "other-"}) {
    const RunResult made = Host({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                 "/CN=Quillmark Test", "-addext", "extendedKeyUsage=codeSigning", "-keyout",
                                 sb_.Path(std::string(name) + "key.pem").string(), "-out",
                                 sb_.Path(std::string(name) + "cert.pem").string()});
    ASSERT_EQ(made.exitCode, 0) << made.output;
  }
  // The exe this host can run (quillmark64.exe where it runs no 32-bit programs).
  const fs::path built = WindowsExe(Build::Windows);
  const fs::path exe = sb_.MakeDir("bin") / built.filename();
  fs::copy_file(built, exe);
  const RunResult refused = Sign({exe.string()}, "other-key.pem");
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_NE(refused.output.find("gehören nicht zusammen; nichts signiert"), std::string::npos) << refused.output;
  EXPECT_EQ(ReadFile(exe), ReadFile(built));

  // Signed twice: the second signature replaces the first.
  for (int round = 0; round < 2; ++round) {
    const RunResult signedExe = Sign({exe.string()}, "key.pem");
    ASSERT_EQ(signedExe.exitCode, 0) << signedExe.output;
  }
  const RunResult verified =
      Host({"osslsigncode", "verify", "-CAfile", sb_.Path("cert.pem").string(), "-in", exe.string()});
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_NE(verified.output.find("Number of verified signatures: 1\n"), std::string::npos) << verified.output;
  EXPECT_EQ(FileVersion(exe), FileVersion(built));
  const RunResult runs = sb_.Wine({sb_.WinPath(exe), "/VERSION"});
  EXPECT_EQ(runs.exitCode, 0) << runs.output;

  // The MSI of the signed exes, signed itself.
  for (const char* name : {"quillmark.exe", "quillmark64.exe"}) {
    if (!fs::exists(sb_.Path("bin") / name)) fs::copy_file(windows_ / name, sb_.Path("bin") / name);
  }
  const fs::path msi = sb_.Path("quillmark.msi");
  ASSERT_EQ(Host({(SourceDir() / "packaging/build-msi.sh").string(), sb_.Path("bin").string(), msi.string()}).exitCode, 0);
  ASSERT_EQ(Sign({msi.string()}, "key.pem").exitCode, 0);
  const RunResult msiVerified =
      Host({"osslsigncode", "verify", "-CAfile", sb_.Path("cert.pem").string(), "-in", msi.string()});
  EXPECT_EQ(msiVerified.exitCode, 0) << msiVerified.output;
}

TEST_F(PackagingTest, MsiInstallsUpgradesAndRemoves) {
  const fs::path msi = sb_.Path("quillmark.msi"), old = sb_.Path("old.msi");
  const std::string script = (SourceDir() / "packaging/build-msi.sh").string();
  ASSERT_EQ(Host({script, windows_.string(), msi.string()}).exitCode, 0);
  ASSERT_EQ(Host({script, windows_.string(), old.string(), "0.0.1.0"}).exitCode, 0);
  const std::string version = FileVersion(windows_ / "quillmark.exe");

  // The tables: the exe's version, both exes as versioned files, the event
  // source with the exe as its message file, the upgrade of older versions.
  const std::string property = Table(msi, "Property");
  EXPECT_NE(property.find("\nProductVersion\t" + version + "\n"), std::string::npos) << property;
  EXPECT_NE(property.find("\nProductName\tQuillmark\n"), std::string::npos) << property;
  EXPECT_NE(property.find("\nALLUSERS\t1\n"), std::string::npos) << property;
  const std::string files = Table(msi, "File");
  for (const std::string exe : {"quillmark.exe", "quillmark64.exe"}) {
    EXPECT_TRUE(std::regex_search(files, std::regex("\n" + std::regex_replace(exe, std::regex("\\."), "\\.") +
                                                    "\t\\w+\t" + exe + "\t\\d+\t" + version + "\t")))
        << files;
  }
  EXPECT_NE(files.find("\tquillmark.ini\t"), std::string::npos) << files;
  EXPECT_NE(files.find("\tstandard.htm\t"), std::string::npos) << files;
  const std::string registry = Table(msi, "Registry");
  EXPECT_NE(registry.find("\\Application\\Quillmark\\\tEventMessageFile\t#%[#quillmark.exe]\t"), std::string::npos)
      << registry;
  EXPECT_NE(Table(msi, "Upgrade").find("\t" + version + "\t"), std::string::npos);
  const RunResult extracted = Host({"msiextract", "-C", sb_.MakeDir("extracted").string(), msi.string()});
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  EXPECT_EQ(ReadFile(sb_.Path("extracted/Program Files/Quillmark/quillmark.exe")), ReadFile(windows_ / "quillmark.exe"));

  // Under Wine: nothing of an earlier test run, then the older version, an
  // administrator's change to its configuration, and the upgrade.
  const fs::path folder = Prefix() / kInstallFolder;
  Msiexec("/x", msi);
  fs::remove_all(folder);
  ASSERT_EQ(Msiexec("/i", old).exitCode, 0);
  std::ofstream(folder / "quillmark.ini", std::ios::app) << "; eigene Einstellung\r\n";
  const RunResult upgraded = Msiexec("/i", msi);
  ASSERT_EQ(upgraded.exitCode, 0) << upgraded.output;
  const RunResult products = sb_.Wine(
      {"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s", "/reg:32"});
  std::vector<std::string> installed;
  const std::regex entry("DisplayName\\s+REG_SZ\\s+Quillmark\\s+DisplayVersion\\s+REG_SZ\\s+(\\S+)");
  for (std::sregex_iterator m(products.output.begin(), products.output.end(), entry), end; m != end; ++m)
    installed.push_back((*m)[1]);
  EXPECT_EQ(installed, std::vector<std::string>{version}) << products.output;
  EXPECT_EQ(ReadFile(folder / "quillmark.exe"), ReadFile(windows_ / "quillmark.exe"));
  EXPECT_EQ(ReadFile(folder / "quillmark64.exe"), ReadFile(windows_ / "quillmark64.exe"));
  EXPECT_TRUE(ReadFile(folder / "quillmark.ini").ends_with("; eigene Einstellung\r\n"));
  EXPECT_TRUE(fs::exists(folder / "Vorlagen/standard.htm"));
  const RunResult source = sb_.Wine({"reg", "query", kEventSource});
  EXPECT_TRUE(std::regex_search(source.output, std::regex("EventMessageFile\\s+REG_EXPAND_SZ\\s+" +
                                                          std::regex_replace(kInstalledExe, std::regex(R"([\\().])"), R"(\$&)"))))
      << source.output;

  // The installed exe reads the configuration beside it: the example's
  // missing search base ends the run, as its status and event say. (A host
  // that runs no 32-bit programs cannot start the installed quillmark.exe.)
  if (HostRuns32Bit()) {
    EXPECT_EQ(sb_.Wine({kInstalledExe, "/VERSION"}).output, "Quillmark " + version + " (1.0 Build 01)\r\n");
    sb_.SeedOutlookVersion(13);
    const RunResult run = Exec({"wine", kInstalledExe}, sb_.BaseEnv({{"WINEDEBUG", "-all,+eventlog"}}), 120);
    EXPECT_EQ(run.exitCode, 1);
    const std::string error = "Fehler 999: Keine Active-Directory-DN's in 'LDAPBaseObjectDN' konfiguriert!";
    EXPECT_NE(run.output.find("err:eventlog:ReportEventW L\"@" + qm::platform::text::ToUpper(sb_.UserName()) + " > " + error),
              std::string::npos) << run.output;
    const std::map<std::string, std::string> status = sb_.RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark");
    EXPECT_EQ(status.count("LASTERROR") ? status.at("LASTERROR") : "", "\"" + error + "\"");
    EXPECT_EQ(status.count("CONFIGFILE") ? status.at("CONFIGFILE") : "",
              "\"C:\\\\Program Files (x86)\\\\Quillmark\\\\quillmark.ini\"");
  }

  // Removed: the exes and the event source go, the administrator's configuration stays.
  EXPECT_EQ(Msiexec("/x", msi).exitCode, 0);
  EXPECT_FALSE(fs::exists(folder / "quillmark.exe"));
  EXPECT_NE(sb_.Wine({"reg", "query", kEventSource}).exitCode, 0);
  EXPECT_TRUE(fs::exists(folder / "quillmark.ini"));
  fs::remove_all(folder);
}

TEST_F(PackagingTest, Recipes) {
  // The task imports into Wine's task scheduler. Wine's keeps the settings
  // but, unlike Windows, neither the logon trigger nor the group principal
  // (both are among the checks to make on a real PC).
  const std::string task = sb_.WinPath(SourceDir() / "examples/task/quillmark-task.xml");
  sb_.Wine({"schtasks", "/delete", "/tn", "QuillmarkTest", "/f"});
  const RunResult created = sb_.Wine({"schtasks", "/create", "/xml", task, "/tn", "QuillmarkTest"});
  EXPECT_EQ(created.exitCode, 0) << created.output;
  const std::string stored = ReadFile(Prefix() / "drive_c/windows/system32/tasks/QuillmarkTest");
  EXPECT_NE(stored.find("<ExecutionTimeLimit>PT10M</ExecutionTimeLimit>"), std::string::npos) << stored;
  EXPECT_NE(stored.find("<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"), std::string::npos);
  EXPECT_EQ(sb_.Wine({"schtasks", "/delete", "/tn", "QuillmarkTest", "/f"}).exitCode, 0);
  // What Wine does not keep is written as Windows reads it: a logon trigger
  // repeated every two hours, the installed exe.
  const std::string xml = Convert(ReadFile(SourceDir() / "examples/task/quillmark-task.xml").substr(2), "UTF-16LE", "UTF-8");
  EXPECT_TRUE(std::regex_search(xml, std::regex("<LogonTrigger>[\\s\\S]*<Interval>PT2H</Interval>[\\s\\S]*</LogonTrigger>")));
  EXPECT_NE(xml.find("<Command>\"" + kInstalledExe + "\"</Command>"), std::string::npos);

  // The Intune scripts (no PowerShell here) read the values the status
  // writes, LastRun in its format, and start the exe where the MSI puts it.
  const std::string detect = ReadFile(SourceDir() / "examples/intune/Detect-Quillmark.ps1");
  for (const std::string name : {"HKCU:\\Software\\Quillmark", "$status.LastExitCode -ne 0", "$status.LastRun",
                                 "\"yyyy-MM-dd'T'HH:mm:ss\"", "New-TimeSpan -Hours 24"}) {
    EXPECT_NE(detect.find(name), std::string::npos) << name;
  }
  const std::string remediate = ReadFile(SourceDir() / "examples/intune/Remediate-Quillmark.ps1");
  EXPECT_NE(remediate.find("'Quillmark\\quillmark.exe'"), std::string::npos);
  EXPECT_NE(remediate.find("exit $run.ExitCode"), std::string::npos);
}

}  // namespace
}  // namespace qmtest
