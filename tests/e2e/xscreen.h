// A virtual X screen for the window tests: an Xvfb server of the test's own on
// a free display number, the X tools that drive and read it (xdotool, xclip,
// xwininfo, ImageMagick), and programs started in the background.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qmtest {

using XWindow = unsigned long;

struct ToolResult {
  int exitCode = -1;      ///< -1 when it could not start or was killed
  bool timedOut = false;  ///< killed after the time limit
  std::string output;     ///< stdout (stderr goes to /dev/null)
};

/// Runs a command to its end (killed after timeoutMs); env replaces the
/// environment when given, else the test's own environment is passed on.
ToolResult RunTool(const std::vector<std::string>& argv,
                   const std::optional<std::map<std::string, std::string>>& env = std::nullopt,
                   int timeoutMs = 10000);

/// A process started in the background in its own process group, with stdout
/// and stderr in a file. The whole group is killed when the object goes while
/// the process still runs.
class BackgroundProcess {
 public:
  /// cwd and output file may be empty (then: inherited, /dev/null).
  BackgroundProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                    const std::filesystem::path& cwd, const std::filesystem::path& output);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  /// True once the process has ended (it is reaped then; see exitCode).
  bool Ended();
  /// Waits up to `seconds` for the end; false when it still runs.
  bool WaitForEnd(double seconds);
  /// The exit status once ended (-1 when killed by a signal).
  int exitCode() const { return exitCode_; }
  /// Ends the whole group at once.
  void Kill();

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
};

/// Processor time (user + system, in clock ticks) a process has used so far;
/// nullopt when the process is gone.
std::optional<long long> CpuTicks(pid_t pid);

/// An Xvfb screen of 1280 x 1024 on a display number the server picks itself
/// (so parallel tests never collide), ended with the object. Every X client
/// of the screen loses its connection then.
class VirtualScreen {
 public:
  /// The server's messages, with a line for every client that connects, go
  /// to serverLog.
  explicit VirtualScreen(const std::filesystem::path& serverLog);
  ~VirtualScreen();
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;

  /// False when Xvfb could not be started (error() says why).
  bool ok() const { return !display_.empty(); }
  const std::string& error() const { return error_; }
  /// ":N"
  const std::string& display() const { return display_; }

  /// The Unix processes that have connected to the screen so far.
  std::vector<pid_t> ClientPids() const;

  /// Runs an X tool on this screen.
  ToolResult Tool(std::vector<std::string> argv, int timeoutMs = 10000) const;

  /// The visible windows whose name matches the extended regular expression.
  std::vector<XWindow> Windows(const std::string& nameRegex) const;
  /// Polls until a visible window matching the name appears that is not in
  /// `known`; 0 after `seconds`.
  XWindow WaitForWindow(const std::string& nameRegex, double seconds,
                        const std::vector<XWindow>& known = {}) const;
  /// Polls until the window is no longer visible; false after `seconds`.
  bool WaitUntilGone(XWindow window, double seconds) const;

  std::string WindowName(XWindow window) const;
  /// _NET_WM_PID of the window: the Unix process that owns it (0 if unknown).
  pid_t WindowPid(XWindow window) const;

  struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
  };
  /// Position on the screen and size of the window's X window.
  std::optional<Rect> Geometry(XWindow window) const;

  /// A left click at a point relative to the window's X window.
  void Click(XWindow window, int x, int y) const;
  /// Gives the window the keyboard focus, then types the keys (xdotool syntax).
  void Keys(XWindow window, const std::string& keys) const;
  /// Moves the pointer to a point of the screen.
  void MovePointer(int x, int y) const;

  /// The CLIPBOARD selection as UTF-8; nullopt when nobody holds it.
  std::optional<std::string> Clipboard() const;
  /// Puts text on the CLIPBOARD (xclip keeps it until someone else takes it).
  void SetClipboard(const std::string& text, const std::filesystem::path& scratchFile) const;

  /// The whole screen as a PNG file.
  bool Screenshot(const std::filesystem::path& png) const;

 private:
  std::string display_;
  std::string error_;
  std::filesystem::path log_;
  pid_t server_pid_ = -1;
};

/// The grey values (one byte each, row by row) of a part of an image; nullopt
/// when the image cannot be read.
std::optional<std::string> GreyPixels(const std::filesystem::path& png, const VirtualScreen::Rect& area);

/// Standard deviation (0 to 1) of the grey values of a part of an image: 0 for
/// an area of one colour, clearly more where text is drawn. nullopt when the
/// image cannot be read.
std::optional<double> Variation(const std::filesystem::path& png, const VirtualScreen::Rect& area);

}  // namespace qmtest
