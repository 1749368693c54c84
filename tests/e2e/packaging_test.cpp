// What goes to a fleet beside the run itself, each checked as far as Linux
// and Wine allow: the exe signed with Authenticode and verified by
// osslsigncode with a throwaway certificate made here; the MSI read back
// with msiinfo and msiextract, installed, upgraded and removed under Wine,
// with the installed exe run; the scheduled task imported by Wine's
// schtasks; the Intune scripts reading what the status writes.
#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <regex>

#include "../common/slapd_server.h"
#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

const char* kInstallFolder = "drive_c/Program Files (x86)/Quillmark";  // a 32-bit package on 64-bit Wine
const std::string kInstalledExe = "C:\\Program Files (x86)\\Quillmark\\quillmark.exe";
const std::string kInstalledExe64 = "C:\\Program Files (x86)\\Quillmark\\quillmark64.exe";
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
  // A configuration changed on the PC stays on Windows (modified after it was
  // created); Wine replaces it when its size differs, so that is left to the
  // checks on a real PC.
  EXPECT_TRUE(fs::exists(folder / "quillmark.ini"));
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

  // The installed 64-bit exe reads the same quillmark.ini: there is no quillmark64.ini.
  sb_.SeedOutlookVersion(13);
  EXPECT_EQ(Exec({"wine", kInstalledExe64}, sb_.BaseEnv(), 120).exitCode, 1);
  const std::map<std::string, std::string> status64 = sb_.RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark");
  EXPECT_EQ(status64.count("CONFIGFILE") ? status64.at("CONFIGFILE") : "",
            "\"C:\\\\Program Files (x86)\\\\Quillmark\\\\quillmark.ini\"");

  // Removed: the exes and the event source go, the configuration stays.
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


/// The files of a folder below the install folder, by name.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

/// The lines of /CHECK's output that begin with "Fehler".
std::vector<std::string> Errors(const std::string& output) {
  std::vector<std::string> errors;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (line.starts_with("Fehler: ")) errors.push_back(line);
  }
  return errors;
}

/// A line put first into section Main of the site folder's configuration.
void AddToMain(const fs::path& site, const std::string& line) {
  const std::string ini = ReadFile(site / "quillmark.ini");
  std::ofstream(site / "quillmark.ini", std::ios::binary) << "[Main]\r\n" << line << "\r\n" << ini.substr(ini.find('\n') + 1);
}

class SitePackageTest : public PackagingTest {
 protected:
  /// build-msi.sh, with the linux build these tests run for its /CHECK.
  RunResult BuildMsi(std::vector<std::string> args) {
    args.insert(args.begin(), (SourceDir() / "packaging/build-msi.sh").string());
    return Host(args, {{"QUILLMARK_LINUX", QM_LINUX_EXE}});
  }
  /// A site folder named name with a configuration (main, mapping; CR LF
  /// added) and its templates.
  fs::path Site(const std::string& name, const std::string& main, const std::string& mapping,
                const std::map<std::string, std::string>& templates) {
    const fs::path site = sb_.MakeDir("sites/" + name);
    fs::remove_all(site / "Vorlagen");
    fs::create_directories(site / "Vorlagen");
    std::ofstream(site / "quillmark.ini", std::ios::binary) << "[Main]\r\n" << main << "\r\n[FieldMapping]\r\n" << mapping;
    for (const auto& [file, body] : templates) {
      fs::create_directories((site / "Vorlagen" / file).parent_path());
      std::ofstream(site / "Vorlagen" / file, std::ios::binary) << body;
    }
    return site;
  }
  /// The installed exe this host runs, with the sandbox's environment.
  RunResult Installed(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"wine", HostRuns32Bit() ? kInstalledExe : kInstalledExe64};
    argv.insert(argv.end(), args.begin(), args.end());
    return Exec(argv, sb_.BaseEnv(), 120);
  }
  std::vector<std::string> Products() {
    const RunResult listed = sb_.Wine(
        {"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s", "/reg:32"});
    std::vector<std::string> names;
    const std::regex entry("DisplayName\\s+REG_SZ\\s+(Quillmark[^\r\n]*)");
    for (std::sregex_iterator m(listed.output.begin(), listed.output.end(), entry), end; m != end; ++m)
      names.push_back((*m)[1]);
    return names;
  }
  bool TaskRegistered() const { return fs::exists(Prefix() / "drive_c/windows/system32/tasks/Quillmark"); }
};

TEST_F(SitePackageTest, ExampleThenSiteThenNewerSite) {
  const std::string version = FileVersion(windows_ / "quillmark.exe");
  const fs::path folder = Prefix() / kInstallFolder;
  const std::string nordTxt = "Tel. @PHONE@\r\n@IF MOBILE@\r\nMobil @MOBILE@\r\n@ENDIF@\r\n";
  sb_.Sqlite("daten/benutzer.db", "CREATE TABLE Benutzer (Benutzername TEXT, Telefon TEXT);\n"
                                  "INSERT INTO Benutzer VALUES ('" + sb_.UserName() + "', '+49 40 555');\n");
  const std::string main = "LogFile=%TEMP%\r\nFixedSignType=nord\r\nTemplateConditions=1\r\nDropEmptyLines=1\r\n"
                           "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                           sb_.Win("daten/benutzer.db") +
                           "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n";
  const std::string gif = std::string("GIF89a\1\0\1\0\0\0\0;", 13);
  const fs::path site = Site("Nordwind", main, "Phone=Telefon\r\n",
                             {{"nord.txt", nordTxt}, {"nord.htm", "<p>Tel. @PHONE@</p>\r\n"},
                              {"nord.rtf", "{\\rtf1 Tel. @PHONE@\\par}\r\n"}, {"nord_logo.gif", gif},
                              {"Entwurf/nord.txt", "Entwurf\r\n"}});
  const fs::path example = sb_.Path("quillmark.msi"), first = sb_.Path("site1.msi"), second = sb_.Path("site2.msi");
  ASSERT_EQ(BuildMsi({windows_.string(), example.string()}).exitCode, 0);
  const RunResult built = BuildMsi({"--site", site.string(), windows_.string(), first.string()});
  ASSERT_EQ(built.exitCode, 0) << built.output;
  EXPECT_NE(built.output.find("Quillmark (Nordwind) " + version), std::string::npos) << built.output;

  // Read back: one upgrade code, one version, a product of its own, the
  // task's property off, the files each package carries.
  std::map<std::string, std::string> code;
  const std::vector<std::pair<fs::path, std::string>> packages = {{example, "Quillmark"},
                                                                   {first, "Quillmark (Nordwind)"}};
  for (const auto& [msi, name] : packages) {
    const std::string property = Table(msi, "Property");
    EXPECT_NE(property.find("\nProductName\t" + name + "\n"), std::string::npos) << property;
    EXPECT_NE(property.find("\nProductVersion\t" + version + "\n"), std::string::npos) << property;
    EXPECT_NE(property.find("\nUpgradeCode\t{6B0E4F3C-2A61-4F0E-9C55-3D7A1C2B9E41}\n"), std::string::npos);
    EXPECT_NE(property.find("\nLOGONTASK\t0\n"), std::string::npos) << property;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(property, m, std::regex("\nProductCode\t(\\S+)\n")));
    code[name] = m[1];
    // The same version is replaced too (VersionMaxInclusive, 512, with MigrateFeatures).
    EXPECT_NE(Table(msi, "Upgrade").find("\t\t" + version + "\t\t513\t"), std::string::npos) << Table(msi, "Upgrade");
    EXPECT_NE(Table(msi, "CustomAction").find("/create /xml \"[INSTALLDIR]quillmark-task.xml\" /tn Quillmark"),
              std::string::npos);
  }
  EXPECT_NE(code["Quillmark"], code["Quillmark (Nordwind)"]);
  const std::string exampleFiles = Table(example, "File"), siteFiles = Table(first, "File");
  for (const char* file : {"\tstandard.htm\t", "\tkurz.rtf\t", "\tantwort.txt\t", "\tquillmark-task.xml\t"})
    EXPECT_NE(exampleFiles.find(file), std::string::npos) << file;
  EXPECT_EQ(exampleFiles.find("\tteam.htm\t"), std::string::npos);  // a shared mailbox's, which the example does not write
  EXPECT_EQ(siteFiles.find("\tstandard.htm\t"), std::string::npos);
  const RunResult extracted = Host({"msiextract", "-C", sb_.MakeDir("site1").string(), first.string()});
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  EXPECT_EQ(ReadFile(sb_.Path("site1/Program Files/Quillmark/quillmark.ini")), ReadFile(site / "quillmark.ini"));
  EXPECT_EQ(ReadFile(sb_.Path("site1/Program Files/Quillmark/Vorlagen/nord.txt")), nordTxt);

  // The example package with the task: /CHECK names the one key a site must
  // fill in; filled in, a preview writes signatures without marker text.
  Msiexec("/x", example);
  fs::remove_all(folder);
  sb_.Wine({"schtasks", "/delete", "/tn", "Quillmark", "/f"});
  ASSERT_EQ(sb_.Wine({"msiexec", "/i", sb_.WinPath(example), "/qn", "LOGONTASK=1"}, 180).exitCode, 0);
  EXPECT_TRUE(TaskRegistered());
  EXPECT_EQ(ReadFile(folder / "quillmark-task.xml"), ReadFile(SourceDir() / "examples/task/quillmark-task.xml"));
  sb_.SeedOutlookVersion(13);
  const RunResult checked = Installed({"/CHECK"});
  EXPECT_EQ(checked.exitCode, 1);
  EXPECT_EQ(Errors(checked.output),
            std::vector<std::string>{
                "Fehler: [Main] LDAPBaseObjectDN: Keine Active-Directory-DN's in 'LDAPBaseObjectDN' konfiguriert!"})
      << checked.output;
  {
    TestSlapd server(QM_TEST_TMP);
    const std::string ini = ReadFile(folder / "quillmark.ini");
    std::ofstream(folder / "quillmark.ini", std::ios::binary)
        << std::regex_replace(ini, std::regex("LDAPBaseObjectDN=(\r?\n)"),
                              "LDAPBaseObjectDN=" + server.Server() + "/" + kDirectorySuffix +
                                  "$1LDAPReaderAccountName=" + kReaderDn + "$1LDAPReaderAccountPassword=" +
                                  kReaderPassword + "$1");
    const RunResult again = Installed({"/CHECK", "/ADUSER:mmuster"});
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(Errors(again.output), std::vector<std::string>{}) << again.output;
    const RunResult preview = Installed({"/ADUSER:mmuster", "/SIMULATE:" + sb_.Win("vorschau")});
    EXPECT_EQ(preview.exitCode, 0) << preview.output;
    for (const char* name : {"standard", "kurz", "antwort"}) {
      for (const char* type : {".htm", ".rtf", ".txt"}) {
        const std::string written = sb_.Read(std::string("vorschau/") + name + type);
        EXPECT_FALSE(written.empty()) << name << type;
        EXPECT_FALSE(std::regex_search(written, std::regex("@[A-Z_]+( [^@\r\n]*)?@"))) << name << type << written;
      }
    }
    EXPECT_NE(sb_.Read("vorschau/standard.txt").find("+49 170 1234567"), std::string::npos);
  }

  // The site's package over the example's: one product, the site's
  // configuration (the example's was not changed on the PC), only its templates.
  ASSERT_EQ(sb_.Wine({"msiexec", "/i", sb_.WinPath(first), "/qn", "LOGONTASK=1"}, 180).exitCode, 0);
  EXPECT_EQ(Products(), std::vector<std::string>{"Quillmark (Nordwind)"});
  EXPECT_EQ(Names(folder / "Vorlagen"),
            (std::vector<std::string>{"Entwurf", "nord.htm", "nord.rtf", "nord.txt", "nord_logo.gif"}));
  EXPECT_EQ(ReadFile(folder / "Vorlagen/Entwurf/nord.txt"), "Entwurf\r\n");
  EXPECT_EQ(ReadFile(folder / "quillmark.ini"), ReadFile(site / "quillmark.ini"));
  EXPECT_TRUE(TaskRegistered());
  const RunResult siteChecked = Installed({"/CHECK"});
  EXPECT_EQ(Errors(siteChecked.output), std::vector<std::string>{}) << siteChecked.output;
  const RunResult sitePreview = Installed({"/SIMULATE:" + sb_.Win("vorschau2")});
  EXPECT_EQ(sitePreview.exitCode, 0) << sitePreview.output;
  EXPECT_EQ(sb_.Read("vorschau2/nord.txt"), "Tel. +49 40 555\r\n");

  // A newer package of the site, same program version: the changed template
  // replaced, the removed image and sub-folder removed.
  Site("Nordwind", main, "Phone=Telefon\r\n",
       {{"nord.txt", "Telefon @PHONE@\r\n"}, {"nord.htm", "<p>Telefon @PHONE@</p>\r\n"},
        {"nord.rtf", "{\\rtf1 Telefon @PHONE@\\par}\r\n"}});
  ASSERT_EQ(BuildMsi({"--site", site.string(), windows_.string(), second.string()}).exitCode, 0);
  ASSERT_EQ(sb_.Wine({"msiexec", "/i", sb_.WinPath(second), "/qn", "LOGONTASK=1"}, 180).exitCode, 0);
  EXPECT_EQ(Products(), std::vector<std::string>{"Quillmark (Nordwind)"});
  EXPECT_EQ(Names(folder / "Vorlagen"), (std::vector<std::string>{"nord.htm", "nord.rtf", "nord.txt"}));
  EXPECT_EQ(ReadFile(folder / "Vorlagen/nord.txt"), "Telefon @PHONE@\r\n");
  EXPECT_TRUE(TaskRegistered());

  // Removed: the task goes with the exes, the configuration stays.
  EXPECT_EQ(Msiexec("/x", second).exitCode, 0);
  EXPECT_FALSE(TaskRegistered());
  EXPECT_FALSE(fs::exists(folder / "quillmark.exe"));
  EXPECT_FALSE(fs::exists(folder / "Vorlagen"));
  EXPECT_TRUE(fs::exists(folder / "quillmark.ini"));
  fs::remove_all(folder);
}

TEST_F(SitePackageTest, RefusedSiteFolders) {
  // A log on a share and a directory that the machine building the package
  // does not reach: a PC of the site does.
  const std::string good =
      "LogFile=\\\\srv01\\logs\\quillmark.log\r\nFixedSignType=nord\r\nLDAPBaseObjectDN=dc=nordwind,dc=example\r\n";
  const std::map<std::string, std::string> templates = {
      {"nord.txt", "@LASTNAME@\r\n"}, {"nord.htm", "<p>@LASTNAME@</p>\r\n"}, {"nord.rtf", "{\\rtf1 @LASTNAME@}\r\n"}};
  struct Row {
    const char* name;
    std::function<void(const fs::path&)> spoil;  // makes the good site folder a bad one
    std::string file;                            // the file the message names, below the site folder
    std::string message;
  };
  const std::vector<Row> rows = {
      {"no configuration", [](const fs::path& s) { fs::remove(s / "quillmark.ini"); }, "quillmark.ini",
       "quillmark.ini fehlt"},
      {"a key /CHECK refuses",
       [](const fs::path& s) { AddToMain(s, "FixedSignTpye=nord"); },
       "quillmark.ini", "Unbekannter Schlüssel 'FixedSignTpye'"},
      {"a template of the wrong name",
       [](const fs::path& s) { fs::remove(s / "Vorlagen/nord.rtf"); }, "Vorlagen\\nord.rtf", "fehlt"},
      {"a file beyond 2 GiB",
       [](const fs::path& s) {
         std::ofstream(s / "Vorlagen/nord_film.gif").close();
         fs::resize_file(s / "Vorlagen/nord_film.gif", 1ULL << 31);  // sparse: nothing is written
       },
       "Vorlagen/nord_film.gif", "2147483648 Bytes groß; ein MSI hält je Datei höchstens 2147483647 Bytes"},
      {"a colon", [](const fs::path& s) { std::ofstream(s / "Vorlagen/nord:1.gif"); }, "Vorlagen/nord:1.gif",
       "ein Zeichen, das Windows in Dateinamen nicht erlaubt"},
      {"a device name", [](const fs::path& s) { std::ofstream(s / "Vorlagen/CON.txt"); }, "Vorlagen/CON.txt",
       "Gerätename"},
      {"a trailing dot", [](const fs::path& s) { std::ofstream(s / "Vorlagen/nord_x.gif."); }, "Vorlagen/nord_x.gif.",
       "endet mit einem Punkt"},
      {"Cyrillic", [](const fs::path& s) { std::ofstream(s / "Vorlagen/nord_Ж.gif"); }, "Vorlagen/nord_Ж.gif",
       "Windows-1252"},
      {"names that differ in case", [](const fs::path& s) { std::ofstream(s / "Vorlagen/NORD.txt"); },
       "Vorlagen/NORD.txt", "Groß- und Kleinschreibung"},
      {"a path beyond MAX_PATH",
       [](const fs::path& s) { std::ofstream(s / "Vorlagen" / ("nord_" + std::string(230, 'x') + ".gif")); },
       "Vorlagen/nord_" + std::string(230, 'x') + ".gif", "legt nur Pfade unter 260 Zeichen an"},
      {"templates elsewhere",
       [](const fs::path& s) { AddToMain(s, "TemplateFolder=C:\\Vorlagen"); },
       "quillmark.ini", "TemplateFolder=C:\\Vorlagen ist kein Ordnername neben der Konfiguration"},
  };
  const fs::path out = sb_.Path("refused.msi");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(sb_.Path("sites/Nordwind"));
    const fs::path site = Site("Nordwind", good, "LastName=*sn\r\n", templates);
    row.spoil(site);
    const RunResult r = BuildMsi({"--site", site.string(), windows_.string(), out.string()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find(row.message), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(row.file), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("kein Paket geschrieben"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
  }
  // The good folder itself builds, though this machine reaches no directory.
  fs::remove_all(sb_.Path("sites/Nordwind"));
  const RunResult built =
      BuildMsi({"--site", Site("Nordwind", good, "LastName=*sn\r\n", templates).string(), windows_.string(), out.string()});
  EXPECT_EQ(built.exitCode, 0) << built.output;
  EXPECT_TRUE(fs::exists(out));
}

}  // namespace
}  // namespace qmtest
