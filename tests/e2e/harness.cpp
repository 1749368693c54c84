// Whole-program test harness (see harness.h).
#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

extern char** environ;

namespace fs = std::filesystem;

namespace qmtest {
namespace {

std::vector<std::string> SplitBlanks(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == ' ') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

fs::path WindowsDir() { return fs::path(QM_WINDOWS_DIR); }

}  // namespace

fs::path SourceDir() { return fs::path(QM_SOURCE_DIR); }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
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

std::string Ansi(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Utf16Le(std::string_view utf8) {
  std::string out("\xFF\xFE", 2);
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    int len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    char32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len && i + static_cast<size_t>(k) < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(len);
    auto put = [&out](char32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

namespace {
// The keys whole runs read or write; removed before every Windows test.
constexpr const char* kResetKeys =
    "[-HKEY_CLASSES_ROOT\\Outlook.Application]\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Outlook.Application]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Office]\r\n";
}  // namespace

void Sandbox::KeepWineServer() const {
  // Starting a wineserver costs seconds; one that outlives each program (and
  // ends half a minute after the last) makes a Wine start cost a fraction of
  // one. It detaches at once; when one is already running it just exits.
  Env env = BaseEnv();
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string prog = "wineserver", persist = "-p30";
  char* args[] = {prog.data(), persist.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, args[0], &actions, nullptr, args, envp.data()) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

void Sandbox::SeedRegistry(std::string_view body) const {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  if (build_ == Build::Linux) {
    Write("registry.reg", Utf16Le(header + std::string(body)));
    return;
  }
  Write("seed.reg", Utf16Le(header + kResetKeys + "\r\n" + std::string(body)));
  RunResult r = Wine({"reg", "import", Win("seed.reg")});
  EXPECT_EQ(r.exitCode, 0) << "reg import: " << r.output;
}

void Sandbox::SeedOutlookVersion(int version) const {
  SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
               std::to_string(version) + "\"\r\n");
}

std::string MaskTimestamps(std::string_view log) {
  static const std::regex ts(R"(\d{1,2}\.\d{1,2}\.\d{4} \d{1,2}:\d\d:\d\d)");
  return std::regex_replace(std::string(log), ts, "TS");
}

std::string CrLf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

Sandbox::Sandbox(Build build) : build_(build) {
  root_ = fs::path(QM_TEST_TMP) / TestName();
  fs::remove_all(root_);
  fs::create_directories(root_ / "home" / ".local" / "share");
  fs::create_directories(root_ / "home" / ".config");
  if (build_ == Build::Linux) {
    program_ = QM_LINUX_EXE;
    probe_ = QM_LINUX_PROBE;
    built_ = program_;
  } else {
    program_ = WindowsDir() / "quillmark.exe";
    probe_ = WindowsDir() / "quillmark-probe.exe";
    built_ = program_;
    // One Wine prefix for all tests, used by one test at a time.
    fs::path prefix = SourceDir() / "build" / "wineprefix";
    fs::create_directories(prefix.parent_path());
    lockFd_ = ::open((prefix.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd_ >= 0) ::flock(lockFd_, LOCK_EX);
    KeepWineServer();
    // No Outlook keys of an earlier test survive into this one.
    Write("reset.reg", Utf16Le(std::string("Windows Registry Editor Version 5.00\r\n\r\n") + kResetKeys));
    Wine({"reg", "import", Win("reset.reg")});
  }
}

Sandbox::~Sandbox() {
  if (lockFd_ >= 0) {
    ::flock(lockFd_, LOCK_UN);
    ::close(lockFd_);
  }
}

fs::path Sandbox::Write(const std::string& rel, std::string_view bytes) const {
  fs::path p = root_ / rel;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::string Sandbox::Read(const std::string& rel) const { return ReadFile(root_ / rel); }

bool Sandbox::Exists(const std::string& rel) const { return fs::exists(root_ / rel); }

fs::path Sandbox::MakeDir(const std::string& rel) const {
  fs::create_directories(root_ / rel);
  return root_ / rel;
}

std::string Sandbox::WinPath(const fs::path& linuxPath) const {
  std::string p = linuxPath.string();
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return build_ == Build::Windows ? "Z:" + p : p;
}

std::string Sandbox::Win(const std::string& rel) const {
  return WinPath(rel.empty() ? root_ : root_ / rel);
}

fs::path Sandbox::InstallProgram(const std::string& relFolder) {
  fs::path dir = root_ / relFolder;
  fs::create_directories(dir);
  fs::path target = dir / built_.filename();
  fs::copy_file(built_, target, fs::copy_options::overwrite_existing);
  program_ = target;
  return dir;
}

std::string Sandbox::UserName() const {
  if (build_ == Build::Linux) return "tester";
  passwd* pw = ::getpwuid(::getuid());
  return pw ? pw->pw_name : "root";
}

Env Sandbox::BaseEnv() const {
  Env env;
  if (const char* path = std::getenv("PATH")) env["PATH"] = path;
  env["LANG"] = "de_DE.UTF-8";
  env["XDG_DATA_HOME"] = (root_ / "home" / ".local" / "share").string();
  env["XDG_CONFIG_HOME"] = (root_ / "home" / ".config").string();
  if (build_ == Build::Linux) {
    env["HOME"] = (root_ / "home").string();
    env["USERNAME"] = "tester";
    env["USER"] = "tester";
    env["QUILLMARK_REGISTRY"] = (root_ / "registry.reg").string();
  } else {
    if (const char* home = std::getenv("HOME")) env["HOME"] = home;
    env["WINEPREFIX"] = (SourceDir() / "build" / "wineprefix").string();
    env["WINEDEBUG"] = "-all";
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
  }
  return env;
}

RunResult Sandbox::Exec(const std::vector<std::string>& argv, const Env& extra, int timeoutSeconds) const {
  Env env = BaseEnv();
  for (const auto& [k, v] : extra) env[k] = v;
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argvCopy = argv;
  for (auto& s : argvCopy) args.push_back(s.data());
  args.push_back(nullptr);

  int pipeFds[2];
  RunResult result;
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::string cwd = root_.string();
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  auto start = std::chrono::steady_clock::now();
  int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    result.output = "spawn failed: " + argv[0];
    return result;
  }
  auto deadline = start + std::chrono::seconds(timeoutSeconds);
  char buf[4096];
  int status = 0;
  bool exited = false;
  // Read until every writer has closed the pipe, or until the process has
  // ended and nothing more arrives: a process the program started (under Wine,
  // a wineserver or a service) may hold the pipe open long after it ended.
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      ::kill(-pid, SIGKILL);
      break;
    }
    pollfd pfd{pipeFds[0], POLLIN, 0};
    int pr = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), exited ? 50 : 20)));
    if (pr > 0) {
      ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
      if (n <= 0) break;  // every writer closed
      result.output.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (exited) break;  // ended, and the pipe stayed quiet
    exited = ::waitpid(pid, &status, WNOHANG) == pid;
  }
  ::close(pipeFds[0]);
  // The output pipe can close before the process ends; wait for it within the deadline.
  while (!exited) {
    pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    ::usleep(10000);
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.exitCode = WIFEXITED(status) && !result.timedOut ? WEXITSTATUS(status) : -1;
  return result;
}

RunResult Sandbox::Run(const std::string& argumentText, const Env& env, int timeoutSeconds) const {
  std::vector<std::string> argv;
  if (build_ == Build::Windows) argv.push_back("wine");
  argv.push_back(program_.string());
  for (auto& a : SplitBlanks(argumentText)) argv.push_back(a);
  return Exec(argv, env, timeoutSeconds);
}

RunResult Sandbox::Probe(const std::vector<std::string>& args, const Env& env, int timeoutSeconds) const {
  std::vector<std::string> argv;
  if (build_ == Build::Windows) argv.push_back("wine");
  argv.push_back(probe_.string());
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult r = Exec(argv, env, timeoutSeconds);
  // The Windows console writes CR LF; probe answers are compared by lines.
  std::string out;
  for (size_t i = 0; i < r.output.size(); ++i) {
    if (r.output[i] == '\r' && i + 1 < r.output.size() && r.output[i + 1] == '\n') continue;
    out += r.output[i];
  }
  r.output = out;
  return r;
}

RunResult Sandbox::Wine(const std::vector<std::string>& args, int timeoutSeconds) const {
  std::vector<std::string> argv{"wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Exec(argv, {}, timeoutSeconds);
}

}  // namespace qmtest
