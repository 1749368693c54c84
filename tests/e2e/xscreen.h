// A virtual X screen for the window tests: an Xvfb server of the test's own,
// and the X tools that drive and read it (xdotool, xclip, ImageMagick).
#pragma once

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "harness.h"

namespace qmtest {

using XWindow = unsigned long;

/// An Xvfb screen of 1280 x 1024 on a display number the server picks itself
/// (so parallel tests never collide). It ends with the object, or with the
/// test process should that die halfway, and takes every client with it.
class VirtualScreen {
 public:
  struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
  };

  /// The server's messages go to `log`: its display number, once it accepts
  /// connections, and (audit level 2) a line for every client that connects.
  explicit VirtualScreen(const std::filesystem::path& log)
      : log_(log),
        server_({"setpriv", "--pdeathsig", "TERM", "Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24",
                 "-nolisten", "tcp", "-noreset", "-audit", "2"},
                {{"PATH", std::getenv("PATH")}}, {}, log) {
    const std::regex number(R"((?:^|\n)(\d+)\n)");
    Eventually(20, [&] {
      std::smatch m;
      const std::string text = ReadFile(log_);
      if (std::regex_search(text, m, number)) display_ = ":" + m[1].str();
      return !display_.empty() || server_.Wait();
    });
  }
  ~VirtualScreen() {
    if (!server_.Wait()) ::kill(server_.pid(), SIGTERM);  // lets it remove its socket and lock file
    server_.Wait(5);
  }

  /// ":N", or "" when Xvfb did not start.
  const std::string& display() const { return display_; }

  /// The Unix processes that have connected to the screen so far:
  /// "AUDIT: <date>: <server pid>: client 5 connected from local host ( uid=0 gid=0 pid=123 )".
  std::vector<pid_t> ClientPids() const {
    std::vector<pid_t> pids;
    std::istringstream lines(ReadFile(log_));
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find(" pid=");
      if (line.find(" connected from ") != std::string::npos && at != std::string::npos)
        pids.push_back(static_cast<pid_t>(std::stol(line.substr(at + 5))));
    }
    return pids;
  }

  /// Runs an X tool on this screen.
  RunResult Tool(const std::vector<std::string>& argv, double timeoutSeconds = 10) const {
    return Exec(argv, {{"PATH", std::getenv("PATH")}, {"DISPLAY", display_}, {"LANG", "C.UTF-8"}}, timeoutSeconds);
  }

  /// The visible windows whose name matches the (case-insensitive, extended) regular expression.
  std::vector<XWindow> Windows(const std::string& nameRegex) const {
    std::vector<XWindow> out;
    std::istringstream ids(Tool({"xdotool", "search", "--onlyvisible", "--name", nameRegex}).output);
    for (std::string id; ids >> id;) {
      if (id.find_first_not_of("0123456789") == std::string::npos) out.push_back(std::stoul(id));
    }
    return out;
  }
  /// A visible window matching the name that is not in `known`; 0 when none appears within `seconds`.
  XWindow WaitForWindow(const std::string& nameRegex, double seconds, const std::vector<XWindow>& known = {}) const {
    XWindow found = 0;
    Eventually(seconds, [&] {
      for (XWindow w : Windows(nameRegex)) {
        if (std::find(known.begin(), known.end(), w) == known.end()) found = w;
      }
      return found != 0;
    });
    return found;
  }
  bool WaitUntilGone(XWindow window, double seconds) const {
    return Eventually(seconds, [&] {
      const std::vector<XWindow> all = Windows(".");
      return std::find(all.begin(), all.end(), window) == all.end();
    });
  }

  std::string Name(XWindow window) const {
    std::string name = Tool({"xdotool", "getwindowname", std::to_string(window)}).output;
    return name.ends_with('\n') ? name.substr(0, name.size() - 1) : name;
  }
  /// _NET_WM_PID of the window: the Unix process that owns it.
  pid_t Pid(XWindow window) const {
    return static_cast<pid_t>(std::atol(Tool({"xdotool", "getwindowpid", std::to_string(window)}).output.c_str()));
  }
  /// Position on the screen and size of the window's X window.
  Rect Geometry(XWindow window) const {
    std::map<std::string, int> values;  // X=.., Y=.., WIDTH=.., HEIGHT=..
    std::istringstream lines(Tool({"xdotool", "getwindowgeometry", "--shell", std::to_string(window)}).output);
    for (std::string line; std::getline(lines, line);) {
      if (const size_t eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = std::atoi(&line[eq + 1]);
    }
    return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
  }

  /// A left click at a point of the screen; the pointer then rests in a corner
  /// where no window of the tests lies.
  void Click(int x, int y) const {
    Tool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1", "mousemove", "1200", "980"});
  }

  /// The CLIPBOARD selection as UTF-8; nullopt when nobody holds it.
  std::optional<std::string> Clipboard() const {
    const RunResult r = Tool({"xclip", "-selection", "clipboard", "-o"}, 5);
    return r.exitCode == 0 ? std::optional(r.output) : std::nullopt;
  }

 private:
  std::filesystem::path log_;
  Process server_;
  std::string display_;
};

}  // namespace qmtest
