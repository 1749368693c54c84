// A virtual X screen for the window tests (see xscreen.h).
#include "xscreen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace qmtest {
namespace {

using Clock = std::chrono::steady_clock;

// argv and envp arrays that live as long as the object.
class CArgs {
 public:
  explicit CArgs(const std::vector<std::string>& strings) : strings_(strings) {
    for (auto& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  char** get() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

std::vector<std::string> EnvStrings(const std::map<std::string, std::string>& env) {
  std::vector<std::string> out;
  for (const auto& [k, v] : env) out.push_back(k + "=" + v);
  return out;
}

std::vector<std::string> OwnEnvironment() {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) out.emplace_back(*e);
  return out;
}

// Waits for a child within the deadline; kills its group after that.
bool Reap(pid_t pid, Clock::time_point deadline, int& status) {
  for (;;) {
    const pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid || w < 0) return true;
    if (Clock::now() >= deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

ToolResult RunTool(const std::vector<std::string>& argv,
                   const std::optional<std::map<std::string, std::string>>& env, int timeoutMs) {
  ToolResult result;
  int fds[2];
  if (argv.empty() || ::pipe2(fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  CArgs args(argv);
  CArgs envp(env ? EnvStrings(*env) : OwnEnvironment());
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, args.get(), envp.get());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return result;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Read until the pipe closes or the tool has ended; a tool that forks a
  // helper (xclip) may leave the pipe open behind it.
  char buf[4096];
  int status = 0;
  bool ended = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{fds[0], POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 20))) > 0) {
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      result.output.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (ended) break;
    ended = ::waitpid(pid, &status, WNOHANG) == pid;
  }
  ::close(fds[0]);
  if (!ended) result.timedOut = !Reap(pid, deadline, status);
  result.exitCode = WIFEXITED(status) && !result.timedOut ? WEXITSTATUS(status) : -1;
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::map<std::string, std::string>& env, const fs::path& cwd,
                                     const fs::path& output) {
  if (argv.empty()) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = output.empty() ? std::string("/dev/null") : output.string();
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const std::string dir = cwd.string();
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  CArgs args(argv);
  CArgs envp(EnvStrings(env));
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, args.get(), envp.get()) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
}

BackgroundProcess::~BackgroundProcess() { Kill(); }

bool BackgroundProcess::Ended() {
  if (pid_ <= 0 || ended_) return true;
  int status = 0;
  const pid_t w = ::waitpid(pid_, &status, WNOHANG);
  if (w == 0) return false;
  ended_ = true;
  exitCode_ = w == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

bool BackgroundProcess::WaitForEnd(double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (!Ended()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void BackgroundProcess::Kill() {
  if (Ended()) return;
  ::kill(-pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  ended_ = true;
  exitCode_ = -1;
}

std::optional<long long> CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!in || !std::getline(in, stat)) return std::nullopt;
  // The name in parentheses may hold blanks; the fields after it are plain.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  // Field 3 (state) is the first after the name; utime and stime are 14 and 15.
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number == 14) utime = std::stoll(field);
    if (number == 15) stime = std::stoll(field);
  }
  return utime + stime;
}

VirtualScreen::VirtualScreen(const fs::path& serverLog) : log_(serverLog) {
  // Xvfb writes the display number it chose to the descriptor once it
  // accepts connections.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error_ = "no pipe";
    return;
  }
  // The server ends with the test process even when that dies halfway, and
  // takes every program on the screen with it.
  // Audit level 2 logs every client's connection with its process id.
  CArgs args({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset",
              "-audit", "2"});
  const std::string logPath = log_.string();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    const int null = ::open("/dev/null", O_RDWR);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(log, 2);
    ::dup2(fds[1], 3);
    ::execvp("Xvfb", args.get());
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    error_ = "Xvfb could not be started";
    return;
  }
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    pollfd pfd{fds[0], POLLIN, 0};
    if (::poll(&pfd, 1, 100) <= 0) continue;
    char c = 0;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (number.empty()) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    error_ = "Xvfb did not report a display (package xvfb)";
    return;
  }
  display_ = ":" + number;
  server_pid_ = pid;
}

VirtualScreen::~VirtualScreen() {
  if (server_pid_ <= 0) return;
  ::kill(server_pid_, SIGTERM);
  int status = 0;
  Reap(server_pid_, Clock::now() + std::chrono::seconds(5), status);
}

std::vector<pid_t> VirtualScreen::ClientPids() const {
  // "AUDIT: <date>: <server pid>: client 5 connected from local host ( uid=0 gid=0 pid=123 )"
  std::vector<pid_t> pids;
  std::ifstream in(log_);
  std::string line;
  while (std::getline(in, line)) {
    const size_t at = line.find(" pid=");
    if (line.find(" connected from ") == std::string::npos || at == std::string::npos) continue;
    pids.push_back(static_cast<pid_t>(std::stol(line.substr(at + 5))));
  }
  return pids;
}

ToolResult VirtualScreen::Tool(std::vector<std::string> argv, int timeoutMs) const {
  std::map<std::string, std::string> env;
  if (const char* path = std::getenv("PATH")) env["PATH"] = path;
  env["DISPLAY"] = display_;
  env["LANG"] = "C.UTF-8";
  return RunTool(argv, env, timeoutMs);
}

std::vector<XWindow> VirtualScreen::Windows(const std::string& nameRegex) const {
  std::vector<XWindow> out;
  std::istringstream lines(Tool({"xdotool", "search", "--onlyvisible", "--name", nameRegex}).output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) out.push_back(std::stoul(line));
  }
  return out;
}

XWindow VirtualScreen::WaitForWindow(const std::string& nameRegex, double seconds,
                                     const std::vector<XWindow>& known) const {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  do {
    for (XWindow w : Windows(nameRegex)) {
      bool seen = false;
      for (XWindow k : known) seen = seen || k == w;
      if (!seen) return w;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (Clock::now() < deadline);
  return 0;
}

bool VirtualScreen::WaitUntilGone(XWindow window, double seconds) const {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    bool visible = false;
    for (XWindow w : Windows(".")) visible = visible || w == window;
    if (!visible) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string VirtualScreen::WindowName(XWindow window) const {
  return Trimmed(Tool({"xdotool", "getwindowname", std::to_string(window)}).output);
}

pid_t VirtualScreen::WindowPid(XWindow window) const {
  const std::string text = Trimmed(Tool({"xdotool", "getwindowpid", std::to_string(window)}).output);
  return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
}

std::optional<VirtualScreen::Rect> VirtualScreen::Geometry(XWindow window) const {
  // "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." lines.
  const ToolResult r = Tool({"xdotool", "getwindowgeometry", "--shell", std::to_string(window)});
  if (r.exitCode != 0) return std::nullopt;
  Rect rect;
  std::istringstream lines(r.output);
  std::string line;
  int found = 0;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::stoi(line.substr(eq + 1));
    if (key == "X") rect.x = value, ++found;
    if (key == "Y") rect.y = value, ++found;
    if (key == "WIDTH") rect.width = value, ++found;
    if (key == "HEIGHT") rect.height = value, ++found;
  }
  if (found != 4) return std::nullopt;
  return rect;
}

void VirtualScreen::Click(XWindow window, int x, int y) const {
  Tool({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(x), std::to_string(y),
        "click", "1"});
}

void VirtualScreen::Keys(XWindow window, const std::string& keys) const {
  // Keys typed through the XTEST extension reach the focus window; events
  // sent to a window directly are ignored by some toolkits.
  Tool({"xdotool", "windowfocus", "--sync", std::to_string(window)}, 3000);
  Tool({"xdotool", "key", keys});
}

void VirtualScreen::MovePointer(int x, int y) const {
  Tool({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
}

std::optional<std::string> VirtualScreen::Clipboard() const {
  const ToolResult r = Tool({"xclip", "-selection", "clipboard", "-o"}, 5000);
  if (r.exitCode != 0) return std::nullopt;
  return r.output;
}

void VirtualScreen::SetClipboard(const std::string& text, const fs::path& scratchFile) const {
  {
    std::ofstream out(scratchFile, std::ios::binary | std::ios::trunc);
    out << text;
  }
  // xclip serves the selection from a child of its own until another client
  // takes it over, or until the screen ends.
  Tool({"xclip", "-selection", "clipboard", "-i", scratchFile.string()}, 5000);
}

bool VirtualScreen::Screenshot(const fs::path& png) const {
  return Tool({"import", "-window", "root", png.string()}, 20000).exitCode == 0;
}

namespace {
std::string Crop(const VirtualScreen::Rect& area) {
  return std::to_string(area.width) + "x" + std::to_string(area.height) + "+" + std::to_string(area.x) + "+" +
         std::to_string(area.y);
}
}  // namespace

std::optional<std::string> GreyPixels(const fs::path& png, const VirtualScreen::Rect& area) {
  const ToolResult r = RunTool({"convert", png.string(), "-crop", Crop(area), "+repage", "-colorspace", "Gray",
                                "-depth", "8", "gray:-"});
  if (r.exitCode != 0) return std::nullopt;
  return r.output;
}

std::optional<double> Variation(const fs::path& png, const VirtualScreen::Rect& area) {
  const ToolResult r = RunTool({"convert", png.string(), "-crop", Crop(area), "+repage", "-colorspace", "Gray",
                                "-format", "%[fx:standard_deviation]", "info:"});
  if (r.exitCode != 0 || r.output.empty()) return std::nullopt;
  return std::stod(r.output);
}

}  // namespace qmtest
