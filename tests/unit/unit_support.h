// What the unit tests share: a fresh folder per test with a run reset to its
// start, a registry file in it, and the check that a call raises one particular
// error. A test includes it for gtest and the standard types used here.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "records/Run.h"

namespace qm::unit {

/// UTF-8 text as UTF-16LE with byte-order mark, as reg export writes it.
inline std::string Utf16(const std::string& utf8) { return "\xFF\xFE" + platform::text::Utf8ToUtf16Le(utf8); }

/// build/unit-tmp/<suite>/<test>, emptied before the test, and a new run's
/// record; the registry is the folder's registry.reg (missing: empty).
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::path(QM_BUILD_DIR) / "unit-tmp" / info->test_suite_name() / info->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ::setenv("QUILLMARK_REGISTRY", Path("registry.reg").c_str(), 1);
  }

  std::filesystem::path Path(const std::string& rel = "") const { return rel.empty() ? dir_ : dir_ / rel; }
  /// The path as the program writes it (backslashes).
  std::string Core(const std::string& rel = "") const { return platform::FromNativePath(Path(rel).string()); }

  /// Writes bytes to rel, creating its folders.
  void Write(const std::string& rel, const std::string& bytes = "x") const {
    std::filesystem::create_directories(Path(rel).parent_path());
    std::ofstream(Path(rel), std::ios::binary) << bytes;
  }
  /// The bytes of rel; "" when it is missing.
  std::string Read(const std::string& rel) const {
    std::ifstream in(Path(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  /// A new run, as the next start of the program would begin it.
  void NewRun() {
    std::destroy_at(&run);
    std::construct_at(&run);
  }
  /// A new run whose configuration file is q.ini with text.
  void Config(const std::string& text) {
    NewRun();
    Write("q.ini", text);
    run.RunState.ConfigFilePath = Core("q.ini");
  }
  /// The registry file with the keys of body (.reg text after the header line),
  /// in UTF-16LE as reg export writes it, or in UTF-8.
  void SeedRegistry(const std::string& body, bool wide = true) const {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + body;
    Write("registry.reg", wide ? Utf16(text) : text);
  }

  std::filesystem::path dir_;
  /// The run the test's calls work on.
  ::qm::Run run;
};

/// Expects call() to raise qm::Error with number and, when given, exactly that
/// description; returns the error (number 0 when nothing was raised).
template <class Call>
Error ExpectError(long number, Call&& call, const std::optional<std::string>& description = std::nullopt) {
  try {
    call();
    ADD_FAILURE() << "no error, expected " << number;
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), number) << e.Description();
    if (description) {
      EXPECT_EQ(e.Description(), *description);
    }
    return e;
  }
  return Error(0, "", "");
}

}  // namespace qm::unit
