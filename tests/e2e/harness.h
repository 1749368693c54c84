// Whole-program test harness: a temporary folder per test, and runs of the real
// programs in it: build/linux/quillmark natively, build/windows/quillmark.exe
// under Wine (one prefix under the build tree, used by one test at a time).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qmtest {

enum class Build { Linux, Windows };

inline const char* BuildName(Build b) { return b == Build::Linux ? "linux" : "windows"; }

/// For INSTANTIATE_TEST_SUITE_P(..., BothBuilds(), BuildParamName).
inline auto BothBuilds() { return ::testing::Values(Build::Linux, Build::Windows); }
inline std::string BuildParamName(const ::testing::TestParamInfo<Build>& info) {
  return BuildName(info.param);
}

struct RunResult {
  int exitCode = -1;     ///< the process's exit status (-1 when killed)
  bool timedOut = false; ///< killed after the time limit
  double seconds = 0;    ///< wall time
  std::string output;    ///< stdout and stderr together
};

using Env = std::map<std::string, std::string>;

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
  /// The bytes of root/rel ("" when missing; use Exists to tell).
  std::string Read(const std::string& rel) const;
  bool Exists(const std::string& rel) const;
  /// Creates the folder root/rel (and its parents).
  std::filesystem::path MakeDir(const std::string& rel) const;

  /// A path below root as the program under test writes it: "\build\...\x"
  /// on linux, "Z:\build\...\x" under Wine. rel may be "" for root itself.
  std::string Win(const std::string& rel) const;
  /// Any absolute Linux path as the program under test writes it.
  std::string WinPath(const std::filesystem::path& linuxPath) const;

  /// Copies the program under test into root/rel (default "bin") and returns the
  /// folder; runs then start that copy (so its INI beside it is found).
  std::filesystem::path InstallProgram(const std::string& relFolder = "bin");

  /// Runs quillmark with the argument text (split at blanks for linux, passed
  /// as one command line tail to Wine). The environment is clean: HOME and the
  /// XDG folders inside the sandbox, LANG=de_DE.UTF-8, USERNAME=tester (linux),
  /// QUILLMARK_REGISTRY=root/registry.reg (linux); env adds to or overrides it.
  RunResult Run(const std::string& argumentText, const Env& env = {}, int timeoutSeconds = 60) const;

  /// Runs quillmark-probe of this build with the arguments.
  RunResult Probe(const std::vector<std::string>& args, const Env& env = {}, int timeoutSeconds = 60) const;

  /// Runs a Wine tool (reg, regedit...) in the test prefix (Windows sandboxes only).
  RunResult Wine(const std::vector<std::string>& args, int timeoutSeconds = 60) const;

  /// Seeds the registry the program under test sees with the keys and values of
  /// body (the text of a .reg file after its header line, UTF-8): on linux the
  /// registry file root/registry.reg (UTF-16LE, as reg export writes it), under
  /// Wine the prefix's real registry through reg import. Every Windows sandbox
  /// starts with the Outlook keys of earlier tests removed.
  void SeedRegistry(std::string_view body) const;

  /// SeedRegistry with HKEY_CLASSES_ROOT\Outlook.Application\CurVer = Outlook.Application.<version>.
  void SeedOutlookVersion(int version) const;

  /// The user name the program sees: "tester" on linux, the Unix user under Wine.
  std::string UserName() const;

  /// The environment a run gets (before env overrides).
  Env BaseEnv() const;

 private:
  RunResult Exec(const std::vector<std::string>& argv, const Env& env, int timeoutSeconds) const;
  /// Starts a wineserver for the test prefix that outlives single programs.
  void KeepWineServer() const;
  Build build_;
  std::filesystem::path root_;
  std::filesystem::path program_;  // exe that Run starts
  std::filesystem::path built_;    // the exe of the build
  std::filesystem::path probe_;
  int lockFd_ = -1;
};

/// Every "dd.mm.yyyy hh:mm:ss" time stamp replaced by "TS".
std::string MaskTimestamps(std::string_view log);

/// Text with CR LF line ends from lines joined ("a", "b" -> "a\r\nb\r\n").
std::string CrLf(std::initializer_list<std::string_view> lines);

/// UTF-8 text of Latin-1 characters as Windows-1252 bytes (what log files,
/// templates and INI files hold).
std::string Ansi(std::string_view utf8);

/// UTF-8 text as UTF-16LE with byte-order mark.
std::string Utf16Le(std::string_view utf8);

/// Reads a whole file ("" when missing).
std::string ReadFile(const std::filesystem::path& p);

/// A folder's content: relative path (folders with a trailing "/") -> bytes.
using Tree = std::map<std::string, std::string>;
/// Everything below root (empty when root is missing).
Tree ReadTree(const std::filesystem::path& root);

/// The source tree (for examples/ and fixtures).
std::filesystem::path SourceDir();

}  // namespace qmtest
