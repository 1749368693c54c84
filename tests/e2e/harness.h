// Whole-program test harness: a temporary folder per test, and runs of the real
// programs in it: build/linux/quillmark natively, build/windows/quillmark.exe
// (32-bit) and quillmark64.exe under Wine (one prefix under the build tree,
// used by one test at a time).
// A test includes it for gtest and the standard types of its declarations.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qmtest {

/// Windows is the 32-bit exe that is deployed; Windows64 the 64-bit one for
/// sites with 64-bit Office, which keeps the smoke rows.
enum class Build { Linux, Windows, Windows64 };

/// For INSTANTIATE_TEST_SUITE_P(..., BothBuilds(), BuildParamName).
inline auto BothBuilds() { return ::testing::Values(Build::Linux, Build::Windows); }
/// The three programs, for the smoke rows.
inline auto AllBuilds() { return ::testing::Values(Build::Linux, Build::Windows, Build::Windows64); }
inline std::string BuildParamName(const ::testing::TestParamInfo<Build>& info) {
  return info.param == Build::Linux ? "linux" : info.param == Build::Windows ? "windows" : "windows64";
}
/// True for the builds that run under Wine.
inline bool UnderWine(Build build) { return build != Build::Linux; }

/// False on a host that runs no 32-bit programs (a kernel without IA-32
/// emulation, as on some virtual machines): there Wine runs with its 64-bit
/// loader (tests/wine64 is put first in PATH), the windows rows run
/// quillmark64.exe and its probe, and steps that start the installed 32-bit
/// exe itself are left out.
bool HostRuns32Bit();
/// The exe that the rows of a windows build run, and that build's probe.
std::filesystem::path WindowsExe(Build build);
std::filesystem::path WindowsProbe(Build build);

struct RunResult {
  int exitCode = -1;     ///< the process's exit status (-1 when killed)
  bool timedOut = false; ///< killed after the time limit
  double seconds = 0;    ///< wall time
  std::string output;    ///< stdout and stderr together
};

using Env = std::map<std::string, std::string>;

/// Runs argv to its end in a process group of its own, with env as its whole
/// environment, in cwd (when given); the group is killed after the time limit.
RunResult Exec(const std::vector<std::string>& argv, const Env& env, double timeoutSeconds,
               const std::filesystem::path& cwd = {});

/// A process started in the background in a process group of its own, with
/// env as its whole environment, in cwd (when given), stdin from /dev/null and
/// stdout and stderr in the file `output`. The group is killed with the object
/// while the process runs.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const Env& env, const std::filesystem::path& cwd,
          const std::filesystem::path& output);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  /// The exit status (-1 when killed) once the process has ended within
  /// `seconds`; nullopt while it still runs.
  std::optional<int> Wait(double seconds = 0);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

/// Reads a whole file ("" when missing).
std::string ReadFile(const std::filesystem::path& p);

/// A fresh folder build/linux/test-tmp/<suite>.<test>[/<build>], emptied at start.
/// On Windows runs it holds the exe copy too; Wine sees it as Z:\...
class Sandbox {
 public:
  explicit Sandbox(Build build);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  Build build() const { return build_; }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path Path(const std::string& rel) const { return root_ / rel; }

  /// Writes bytes to root/rel, creating folders.
  std::filesystem::path Write(const std::string& rel, std::string_view bytes) const;
  std::string Read(const std::string& rel) const { return ReadFile(root_ / rel); }
  bool Exists(const std::string& rel) const { return std::filesystem::exists(root_ / rel); }
  std::filesystem::path MakeDir(const std::string& rel) const {
    std::filesystem::create_directories(root_ / rel);
    return root_ / rel;
  }

  /// A path below root as the program under test writes it: "\build\...\x"
  /// on linux, "Z:\build\...\x" under Wine. rel may be "" for root itself.
  std::string Win(const std::string& rel) const { return WinPath(rel.empty() ? root_ : root_ / rel); }
  /// Any absolute Linux path as the program under test writes it.
  std::string WinPath(const std::filesystem::path& linuxPath) const;

  /// Copies the program under test into root/rel and returns the folder; runs
  /// then start that copy (so its INI beside it is found).
  std::filesystem::path InstallProgram(const std::string& relFolder = "bin");

  /// Runs quillmark with the argument text split at blanks, in root, with BaseEnv(env).
  RunResult Run(const std::string& argumentText, const Env& env = {}, int timeoutSeconds = 60) const;
  /// Runs quillmark as Run does, through sh with a redirection of its output
  /// ("2>&1 >/dev/null": standard error alone; ">&-": standard output closed).
  RunResult RunRedirected(const std::string& argumentText, const std::string& redirection,
                          const Env& env = {}, int timeoutSeconds = 60) const;
  /// Runs quillmark-probe of this build; CR LF in its output become LF.
  RunResult Probe(const std::vector<std::string>& args, const Env& env = {}, int timeoutSeconds = 60) const;
  /// Runs a Wine tool (reg, regedit...) in the test prefix (Windows sandboxes only).
  RunResult Wine(const std::vector<std::string>& args, int timeoutSeconds = 60) const;

  /// Seeds the registry the program under test sees with the keys and values of
  /// body (the text of a .reg file after its header line, UTF-8): on linux the
  /// registry file root/registry.reg (UTF-16LE, as reg export writes it), under
  /// Wine the prefix's real registry through reg import. Every Windows sandbox
  /// starts with the Outlook keys of earlier tests removed.
  void SeedRegistry(std::string_view body) const;
  /// HKEY_CLASSES_ROOT\Outlook.Application\CurVer = Outlook.Application.<version>.
  void SeedOutlookVersion(int version) const {
    SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
                 std::to_string(version) + "\"\r\n");
  }

  /// The values below a key of the registry the program under test sees (the
  /// registry file on linux, Wine's registry exported): "NAME" in upper case
  /// without quotes -> the data as a .reg file writes it ("\"text\"", "dword:00000001").
  std::map<std::string, std::string> RegistryValues(const std::string& key) const;
  /// The registry the program sees, as .reg bytes: the registry file on linux,
  /// Wine's HKEY_CURRENT_USER and the Outlook class key through reg export.
  std::string RegistryBytes() const;

  /// The configuration most runs use, cfg/site.ini in the ANSI code page: the
  /// log run.log beside it, the application data folder app (created, and
  /// named by the environment: AppDataPath=%QM_APPDATA%), the lines of section
  /// Main (each ended by CR LF) and, when given, those of section FieldMapping.
  void Configure(const std::string& main, const std::string& mapping = "") const;
  /// The three templates cfg/Vorlagen/<name>.htm, .rtf and .txt, each with body.
  void Templates(const std::string& name, std::string_view body) const;
  /// A run of that configuration with /DEBUG:LOG and args, its log removed first.
  RunResult RunLogged(const std::string& args = "", const Env& env = {}, int timeoutSeconds = 120) const;
  /// cfg/run.log with its time stamps masked.
  std::string Log() const;
  /// The SQLite database rel made by the sqlite3 program from sql (kept as rel.sql).
  void Sqlite(const std::string& rel, const std::string& sql) const;

  /// The user name the program sees: "tester" on linux, the Unix user under Wine.
  std::string UserName() const;

  /// The environment of a run, with `extra` added or overriding: HOME and the
  /// XDG folders inside the sandbox, LANG=de_DE.UTF-8, USERNAME=tester and
  /// QUILLMARK_REGISTRY=root/registry.reg on linux; the test prefix under Wine.
  Env BaseEnv(const Env& extra = {}) const;

 private:
  RunResult Start(const std::filesystem::path& exe, std::vector<std::string> args, const Env& env, int timeout) const;
  Build build_;
  std::filesystem::path root_;
  std::filesystem::path program_;  // exe that Run starts
  std::filesystem::path built_;    // the exe of the build
  std::filesystem::path probe_;
  int lockFd_ = -1;
};

/// A mount over a file or folder of a sandbox, undone when it goes out of scope.
/// Mounting needs root (CI runs as root); tests that need one skip without it.
class Mount {
 public:
  /// Binds the path onto itself and makes that view read-only.
  static Mount ReadOnly(const std::filesystem::path& path);
  /// A tmpfs of the given size in kB on the (empty) folder.
  static Mount SmallDisk(const std::filesystem::path& path, int kilobytes);
  Mount(Mount&& other) noexcept : path_(std::move(other.path_)), mounted_(other.mounted_) {
    other.mounted_ = false;
  }
  Mount& operator=(Mount&&) = delete;
  ~Mount() { Undo(); }
  bool ok() const { return mounted_; }

 private:
  explicit Mount(std::filesystem::path path) : path_(std::move(path)) {}
  void Undo();
  std::filesystem::path path_;
  bool mounted_ = false;
};

#define REQUIRE_MOUNT(m) \
  if (!(m).ok()) GTEST_SKIP() << "no right to mount here (" << std::strerror(errno) << ")"

/// Calls done every 50 ms until it returns true; false when it has not within `seconds`.
template <class F>
bool Eventually(double seconds, F done) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

/// Every "dd.mm.yyyy hh:mm:ss" (and Japanese "yyyy/mm/dd hh:mm:ss") time stamp replaced by "TS".
std::string MaskTimestamps(std::string_view log);
/// Text with CR LF line ends from lines joined ("a", "b" -> "a\r\nb\r\n").
std::string CrLf(std::initializer_list<std::string_view> lines);
/// UTF-8 text of Latin-1 characters as Windows-1252 bytes (what log files,
/// templates and INI files hold).
std::string Ansi(std::string_view utf8);
/// Text in another encoding (iconv names: "UTF-8", "WINDOWS-1252"...); bytes
/// it cannot convert stay as they are.
std::string Convert(std::string_view text, const char* from, const char* to);
/// UTF-8 text as UTF-16LE with byte-order mark.
std::string Utf16Le(std::string_view utf8);

/// The values of .reg text (UTF-16LE with byte-order mark, or UTF-8) as
/// importing it into an empty registry leaves them: "KEY|"NAME"" in upper case
/// (the registry ignores their case) -> the data as written, continued lines
/// joined, a later line winning; only below the keys given, when any are.
std::map<std::string, std::string> RegValues(std::string_view text, const std::vector<std::string>& keys = {});

/// A folder's content: relative path (folders with a trailing "/") -> bytes.
using Tree = std::map<std::string, std::string>;
/// Everything below root (empty when root is missing).
Tree ReadTree(const std::filesystem::path& root);

/// What headless Chromium makes of a page file: the DOM it builds (--dump-dom);
/// given a screenshot path, "" and a PNG of the page's first 1200 x 2000 pixels
/// written there instead. Chromium starts with a profile of its own below scratch.
std::string Chromium(const std::filesystem::path& page, const std::filesystem::path& scratch,
                     const std::filesystem::path& screenshot = {});

/// What real readers make of an htm and an rtf file the program wrote: the DOM
/// headless Chromium builds (--dump-dom) and the text LibreOffice converts the
/// rtf to (UTF-8, LF line ends); "" where a reader gave nothing. Each reader
/// starts once, with a profile of its own below scratch.
struct ReadBackResult {
  std::string dom, text;
};
ReadBackResult ReadBack(const std::filesystem::path& htm, const std::filesystem::path& rtf,
                        const std::filesystem::path& scratch);

/// A Windows ANSI code page, and how each build is put in it: the linux build
/// by QUILLMARK_CODEPAGE (as administrators write it), Wine by a locale of it
/// in LC_ALL. Where the host lacks that locale, Wine names files in ASCII only;
/// so for Turkish, whose letter case breaks the host's ODBC under Wine.
struct CodePage {
  const char* iconvName;
  const char* linuxName = "";  ///< "": QUILLMARK_CODEPAGE unset, Windows-1252
  const char* wineLocale = "de_DE.UTF-8";
  bool asciiFileNames = false;
};
/// 1250, 1251, 1252, 1253, 1254, 1257, 932 and 65001, in this order.
extern const std::vector<CodePage> kCodePages;
/// The environment that puts a run of the build in the code page.
Env InCodePage(const CodePage& codePage, Build build);

/// The source tree (for examples/ and fixtures).
inline std::filesystem::path SourceDir() { return QM_SOURCE_DIR; }

}  // namespace qmtest
