// Whole-program test harness (see harness.h).
#include "harness.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/mount.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/common/text.h"

namespace fs = std::filesystem;

namespace qmtest {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The keys whole runs read or write; removed before every Windows test.
constexpr const char* kResetKeys =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[-HKEY_CLASSES_ROOT\\Outlook.Application]\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Outlook.Application]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Office]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Quillmark]\r\n"
    "[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmark]\r\n";

fs::path WinePrefix() { return SourceDir() / "build" / "wineprefix"; }

}  // namespace

bool HostRuns32Bit() {
  static const bool runs = [] {
    const bool ok = Exec({"/usr/lib/wine/wine", "--version"}, {}, 60).exitCode == 0;
    if (!ok) {
      // Every "wine" the tests start (and Wine's own wine-stable) is then the 64-bit loader.
      const char* path = std::getenv("PATH");
      const std::string shim = (SourceDir() / "tests" / "wine64").string();
      ::setenv("PATH", (shim + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    }
    return ok;
  }();
  return runs;
}

fs::path WindowsExe(Build build) {
  const fs::path windows = QM_WINDOWS_DIR;
  const bool runs32 = HostRuns32Bit();  // first: it chooses the "wine" of every windows row
  return build == Build::Windows && runs32 ? windows / "quillmark.exe" : windows / "quillmark64.exe";
}

fs::path WindowsProbe(Build build) {
  // The 64-bit build writes its exe beside the 32-bit one, its probe in a folder of its own.
  const fs::path windows = QM_WINDOWS_DIR;
  const bool runs32 = HostRuns32Bit();
  return build == Build::Windows && runs32 ? windows / "quillmark-probe.exe"
                                                    : fs::path(windows.string() + "64") / "quillmark-probe.exe";
}

RunResult Exec(const std::vector<std::string>& argv, const Env& env, double timeoutSeconds, const fs::path& cwd) {
  // The output goes through a file: a process the program started (under
  // Wine, a wineserver or a service; xclip's server of the selection) may
  // keep it open long after the program ended.
  static std::atomic<int> serial{0};
  const fs::path output =
      fs::temp_directory_path() / ("qm-exec-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
  RunResult result;
  const auto start = Clock::now();
  {
    Process process(argv, env, cwd, output);
    const std::optional<int> status = process.Wait(timeoutSeconds);
    result.timedOut = !status;  // the group is killed with the object
    result.exitCode = status.value_or(-1);
    if (process.pid() < 0) result.output = "spawn failed: " + (argv.empty() ? std::string() : argv[0]);
  }
  result.output += ReadFile(output);
  fs::remove(output);
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

Process::Process(const std::vector<std::string>& argv, const Env& env, const fs::path& cwd, const fs::path& output) {
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<std::string> strings = argv;
  for (const auto& [k, v] : env) strings.push_back(k + "=" + v);
  std::vector<char*> args, envp;
  for (size_t i = 0; i < strings.size(); ++i) (i < argv.size() ? args : envp).push_back(strings[i].data());
  args.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, out, 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  if (out < 0 || argv.empty() || ::posix_spawnp(&pid_, args[0], &actions, &attr, args.data(), envp.data()) != 0) {
    pid_ = -1;
    status_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (out >= 0) ::close(out);
}

Process::~Process() {
  if (Wait()) return;
  ::kill(-pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

std::optional<int> Process::Wait(double seconds) {
  const auto deadline = After(seconds);
  while (!status_) {
    int status = 0;
    const pid_t w = ::waitpid(pid_, &status, WNOHANG);
    if (w == pid_ || w < 0) {
      status_ = w == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (Clock::now() >= deadline) {
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return status_;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

Tree ReadTree(const fs::path& root) {
  Tree tree;
  if (!fs::exists(root)) return tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).generic_string();
    tree[rel + (e.is_directory() ? "/" : "")] = e.is_directory() ? "" : ReadFile(e.path());
  }
  return tree;
}

std::string Convert(std::string_view text, const char* from, const char* to) {
  const iconv_t cd = ::iconv_open(to, from);
  std::string in(text), out(text.size() * 4, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  while (cd != iconv_t(-1) && ::iconv(cd, &src, &inLeft, &dst, &outLeft) == size_t(-1) && inLeft > 0) {
    *dst++ = *src++;  // a byte it cannot convert stays as it is
    --inLeft;
    --outLeft;
  }
  if (cd != iconv_t(-1)) ::iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string Ansi(std::string_view utf8) { return Convert(utf8, "UTF-8", "WINDOWS-1252"); }

const std::vector<CodePage> kCodePages = {
    {"WINDOWS-1250", "1250", "pl_PL.UTF-8"},   {"WINDOWS-1251", "CP1251", "ru_RU.UTF-8"},
    {"WINDOWS-1252"},                          {"WINDOWS-1253", "windows-1253", "el_GR.UTF-8"},
    {"WINDOWS-1254", "cp1254", "tr_TR.none", true}, {"WINDOWS-1257", "WINDOWS-1257", "et_EE.UTF-8"},
    // Wine gives Japanese 932, and UTF-8 (65001) to a locale that has no ANSI
    // code page of its own, as Georgian. It cannot be told 65001 otherwise:
    // the registry's ACP value (Nls\CodePage) is rewritten from the locale at
    // every start.
    {"CP932", "932", "ja_JP.UTF-8"},           {"UTF-8", "65001", "ka_GE.UTF-8"},
};

Env InCodePage(const CodePage& codePage, Build build) {
  if (UnderWine(build)) return {{"LC_ALL", codePage.wineLocale}};
  return *codePage.linuxName == '\0' ? Env{} : Env{{"QUILLMARK_CODEPAGE", codePage.linuxName}};
}

std::string Utf16Le(std::string_view utf8) { return "\xFF\xFE" + qm::platform::text::Utf8ToUtf16Le(utf8); }

std::string MaskTimestamps(std::string_view log) {
  // German "7.12.2026 05:35:34", Japanese "2026/12/7 5:35:34".
  static const std::regex ts(R"((\d{1,2}\.\d{1,2}\.\d{4}|\d{4}/\d{1,2}/\d{1,2}) \d{1,2}:\d\d:\d\d)");
  return std::regex_replace(std::string(log), ts, "TS");
}

std::string CrLf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view l : lines) (out += l) += "\r\n";
  return out;
}

std::string Chromium(const fs::path& page, const fs::path& scratch, const fs::path& screenshot) {
  constexpr double kSeconds = 120;  // a start costs seconds; a hung browser is killed
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  const char* path = std::getenv("PATH");
  const Env env{{"PATH", path ? path : ""}, {"HOME", scratch.string()}, {"LANG", "C.UTF-8"}};
  std::string command =
      "exec chromium --headless --no-sandbox --disable-gpu --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir=\"$1\" ";
  command += screenshot.empty() ? "--dump-dom"
                                : "--hide-scrollbars --window-size=1200,2000 --screenshot=\"$3\"";
  // Its own messages go to stderr, which Exec would mix into the DOM.
  command += " \"file://$2\" 2>/dev/null";
  return Exec({"sh", "-c", command, "sh", (scratch / "profile").string(), page.string(),
               screenshot.string()},
              env, kSeconds)
      .output;
}

ReadBackResult ReadBack(const fs::path& htm, const fs::path& rtf, const fs::path& scratch) {
  constexpr double kReaderSeconds = 120;  // a start costs seconds; a hung reader is killed
  fs::remove_all(scratch);
  ReadBackResult r;
  r.dom = Chromium(htm, scratch / "chromium");
  const char* path = std::getenv("PATH");
  const Env env{{"PATH", path ? path : ""}, {"HOME", scratch.string()}, {"LANG", "C.UTF-8"}};
  Exec({"soffice", "--headless", "-env:UserInstallation=file://" + (scratch / "office").string(),
        "--convert-to", "txt:Text (encoded):UTF8", "--outdir", scratch.string(), rtf.string()},
       env, kReaderSeconds);
  r.text = ReadFile(scratch / rtf.filename().replace_extension(".txt"));
  if (r.text.starts_with("\xEF\xBB\xBF")) r.text.erase(0, 3);  // LibreOffice's byte-order mark
  return r;
}

std::map<std::string, std::string> RegValues(std::string_view text, const std::vector<std::string>& keys) {
  namespace t = qm::platform::text;
  std::istringstream in(text.starts_with("\xFF\xFE") ? t::Utf16LeToUtf8(text.substr(2)) : std::string(text));
  std::map<std::string, std::string> values;
  std::string key, line;
  for (std::string part; std::getline(in, part);) {
    if (part.ends_with('\r')) part.pop_back();
    if (!line.empty()) part.erase(0, part.find_first_not_of(' '));
    line += part;
    if (line.ends_with('\\') && !line.starts_with('[')) {
      line.pop_back();
      continue;
    }
    const size_t eq = line.starts_with('@') ? 1 : line.find("\"=") + 1;  // 0: no value
    const auto below = [&key](const std::string& k) { return key.starts_with(t::ToUpper(k)); };
    if (line.starts_with('[')) {
      key = t::ToUpper(line.substr(1, line.size() - 2));
    } else if (eq > 0 && (keys.empty() || std::any_of(keys.begin(), keys.end(), below))) {
      values[key + "|" + t::ToUpper(line.substr(0, eq))] = line.substr(eq + 1);
    }
    line.clear();
  }
  return values;
}

Sandbox::Sandbox(Build build) : build_(build) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
  std::replace(name.begin(), name.end(), '/', '_');
  root_ = fs::path(QM_TEST_TMP) / name;
  fs::remove_all(root_);
  fs::create_directories(root_ / "home" / ".local" / "share");
  fs::create_directories(root_ / "home" / ".config");
  built_ = program_ = build_ == Build::Linux ? fs::path(QM_LINUX_EXE) : WindowsExe(build_);
  probe_ = build_ == Build::Linux ? fs::path(QM_LINUX_PROBE) : WindowsProbe(build_);
  if (build_ == Build::Linux) return;
  // One Wine prefix for all tests, used by one test at a time.
  fs::create_directories(WinePrefix().parent_path());
  lockFd_ = ::open((WinePrefix().string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lockFd_ >= 0) ::flock(lockFd_, LOCK_EX);
  // Starting a wineserver costs seconds; one that outlives each program (and
  // ends half a minute after the last) makes a Wine start cost a fraction of
  // one. It detaches at once; when one is already running it just exits.
  Process({"wineserver", "-p30"}, BaseEnv(), root_, "/dev/null").Wait(30);
  SeedRegistry("");  // no Outlook keys of an earlier test survive into this one
}

Sandbox::~Sandbox() {
  if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

fs::path Sandbox::Write(const std::string& rel, std::string_view bytes) const {
  fs::path p = root_ / rel;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::string Sandbox::WinPath(const fs::path& linuxPath) const {
  std::string p = linuxPath.string();
  std::replace(p.begin(), p.end(), '/', '\\');
  return UnderWine(build_) ? "Z:" + p : p;
}

fs::path Sandbox::InstallProgram(const std::string& relFolder) {
  fs::path dir = MakeDir(relFolder);
  program_ = dir / built_.filename();
  fs::copy_file(built_, program_, fs::copy_options::overwrite_existing);
  return dir;
}

std::string Sandbox::UserName() const {
  if (build_ == Build::Linux) return "tester";
  passwd* pw = ::getpwuid(::getuid());
  return pw ? pw->pw_name : "root";
}

Env Sandbox::BaseEnv(const Env& extra) const {
  Env env;
  if (const char* path = std::getenv("PATH")) env["PATH"] = path;
  // The sanitizer build's options (suppressions of the drivers' own leaks) reach the program.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env[name] = value;
  }
  env["LANG"] = "de_DE.UTF-8";
  env["XDG_DATA_HOME"] = (root_ / "home" / ".local" / "share").string();
  env["XDG_CONFIG_HOME"] = (root_ / "home" / ".config").string();
  if (build_ == Build::Linux) {
    env["HOME"] = (root_ / "home").string();
    env["USERNAME"] = env["USER"] = "tester";
    env["QUILLMARK_REGISTRY"] = (root_ / "registry.reg").string();
  } else {
    if (const char* home = std::getenv("HOME")) env["HOME"] = home;
    env["WINEPREFIX"] = WinePrefix().string();
    env["WINEDEBUG"] = "-all";
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
  }
  for (const auto& [k, v] : extra) env[k] = v;
  return env;
}

RunResult Sandbox::Start(const fs::path& exe, std::vector<std::string> args, const Env& env, int timeout) const {
  args.insert(args.begin(), exe.string());
  if (UnderWine(build_)) args.insert(args.begin(), "wine");
  return Exec(args, BaseEnv(env), timeout, root_);
}

RunResult Sandbox::Run(const std::string& argumentText, const Env& env, int timeoutSeconds) const {
  std::istringstream text(argumentText);
  return Start(program_, {std::istream_iterator<std::string>(text), {}}, env, timeoutSeconds);
}

RunResult Sandbox::RunRedirected(const std::string& argumentText, const std::string& redirection,
                                 const Env& env, int timeoutSeconds) const {
  std::istringstream text(argumentText);
  std::vector<std::string> args{"sh", "-c", "exec \"$@\" " + redirection, "sh"};
  if (UnderWine(build_)) args.push_back("wine");
  args.push_back(program_.string());
  args.insert(args.end(), std::istream_iterator<std::string>(text), {});
  return Exec(args, BaseEnv(env), timeoutSeconds, root_);
}

RunResult Sandbox::Probe(const std::vector<std::string>& args, const Env& env, int timeoutSeconds) const {
  RunResult r = Start(probe_, args, env, timeoutSeconds);
  // The Windows console writes CR LF; probe answers are compared by lines.
  r.output = std::regex_replace(r.output, std::regex("\r\n"), "\n");
  return r;
}

void Sandbox::Configure(const std::string& main, const std::string& mapping) const {
  MakeDir("app");
  Write("cfg/site.ini", Ansi("[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\n" + main +
                             (mapping.empty() ? "" : "[FieldMapping]\r\n" + mapping)));
}

void Sandbox::Templates(const std::string& name, std::string_view body) const {
  for (const char* ext : {".htm", ".rtf", ".txt"}) Write("cfg/Vorlagen/" + name + ext, body);
}

RunResult Sandbox::RunLogged(const std::string& args, const Env& env, int timeoutSeconds) const {
  fs::remove(Path("cfg/run.log"));
  Env all = env;
  all.emplace("QM_APPDATA", Win("app"));
  return Run("/INI:" + Win("cfg/site.ini") + " /DEBUG:LOG " + args, all, timeoutSeconds);
}

std::string Sandbox::Log() const { return MaskTimestamps(Read("cfg/run.log")); }

void Sandbox::Sqlite(const std::string& rel, const std::string& sql) const {
  const fs::path script = Write(rel + ".sql", sql);
  const std::string command = "sqlite3 '" + Path(rel).string() + "' < '" + script.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << "the sqlite3 program is needed: " << command;
}

RunResult Sandbox::Wine(const std::vector<std::string>& args, int timeoutSeconds) const {
  std::vector<std::string> argv{"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Exec(argv, BaseEnv(), timeoutSeconds, root_);
}

std::string Sandbox::RegistryBytes() const {
  if (!UnderWine(build_)) return Read("registry.reg");
  std::string all;
  for (const char* key : {"HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT\\Outlook.Application"}) {
    fs::remove(Path("export.reg"));
    Wine({"reg", "export", key, Win("export.reg"), "/y"});
    all += Read("export.reg");
  }
  return all;
}

std::map<std::string, std::string> Sandbox::RegistryValues(const std::string& key) const {
  std::string text = Read("registry.reg");
  if (UnderWine(build_)) {
    fs::remove(Path("export.reg"));
    Wine({"reg", "export", key, Win("export.reg"), "/y"});
    text = Read("export.reg");
  }
  std::map<std::string, std::string> values;
  const std::string prefix = qm::platform::text::ToUpper(key) + "|\"";
  for (const auto& [name, data] : RegValues(text, {key})) {
    if (name.starts_with(prefix) && name.ends_with('"')) {
      values[name.substr(prefix.size(), name.size() - prefix.size() - 1)] = data;
    }
  }
  return values;
}

void Sandbox::SeedRegistry(std::string_view body) const {
  if (build_ == Build::Linux) {
    Write("registry.reg", Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n" + std::string(body)));
    return;
  }
  Write("seed.reg", Utf16Le(kResetKeys + ("\r\n" + std::string(body))));
  // Wine's reg now and then fails at once, without a word, right after a test
  // that left many Wine processes ending; a second try takes.
  RunResult r;
  for (int attempt = 0; attempt < 3; ++attempt) {
    r = Wine({"reg", "import", Win("seed.reg")});
    if (r.exitCode == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_EQ(r.exitCode, 0) << "reg import: " << r.output;
}

Mount Mount::ReadOnly(const fs::path& path) {
  Mount m(path);
  if (::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) return m;
  m.mounted_ = true;
  if (::mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    m.Undo();
  }
  return m;
}

Mount Mount::SmallDisk(const fs::path& path, int kilobytes) {
  Mount m(path);
  const std::string options = "size=" + std::to_string(kilobytes) + "k";
  m.mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  return m;
}

void Mount::Undo() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  mounted_ = false;
}

}  // namespace qmtest
