// Letter case as each build maps it: the linux build by the C library's tables
// (and by GLib's on a system without the C.UTF-8 locale, which a private mount
// namespace simulates), the windows build by Windows' own, under Wine. Texts
// travel to and from quillmark-probe as hex digits of their UTF-8 bytes, since
// Wine hands arguments over in the ANSI code page.
#include "harness.h"

namespace qmtest {
namespace {

enum class Tables { Linux, LinuxWithoutCUtf8, Windows };

std::string Hex(std::string_view bytes) {
  std::string hex;
  for (unsigned char b : bytes) hex += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
  return hex;
}

class CaseTest : public ::testing::TestWithParam<Tables> {};

TEST_P(CaseTest, LettersOfTheCodePageInBothCases) {
  struct Row { const char* what; std::string text, lower, upper; };
  const std::string signs = "0123456789 .,;:!?\"'()[]{}<>@#$%&*+-=/\\|^_`~";
  const Row rows[] = {
      {"ASCII, digits and punctuation", "Standard Vorlage " + signs, "standard vorlage " + signs,
       "STANDARD VORLAGE " + signs},
      {"Latin-1 letters", "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ",
       "àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ",
       "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ"},
      {"ß has no capital of its own", "Straße", "straße", "STRAßE"},
      {"ÿ is the small Ÿ", "ÿŸ", "ÿÿ", "ŸŸ"},
      {"Windows-1252 beyond Latin-1", "ŠKODA Œuvre Žižek", "škoda œuvre žižek", "ŠKODA ŒUVRE ŽIŽEK"},
      // µ has no capital in the code page; Windows keeps it rather than
      // making it the Greek Μ.
      {"signs that are no letters", "×÷µªº§°", "×÷µªº§°", "×÷µªº§°"},
  };
  struct Comparison { std::string a, b; bool equal; };
  const Comparison comparisons[] = {
      {"škoda.udl", "ŠKODA.UDL", true},
      {"Straße", "STRASSE", false},
  };

  std::vector<std::string> args{"case"};
  for (const Row& row : rows) args.push_back(Hex(row.text));
  for (const Comparison& c : comparisons) args.push_back(Hex(c.a) + ":" + Hex(c.b));
  Sandbox sb(GetParam() == Tables::Windows ? Build::Windows : Build::Linux);
  RunResult r;
  if (GetParam() == Tables::LinuxWithoutCUtf8) {
    // glibc finds C.UTF-8 below /usr/lib/locale only; an empty folder over it,
    // visible to the probe alone, leaves the program without that locale.
    std::vector<std::string> argv{"unshare", "--user", "--map-root-user", "--mount", "sh", "-c",
                                  "mount --bind \"$0\" /usr/lib/locale || exit 77; exec \"$@\"",
                                  sb.MakeDir("no-locales").string(), QM_LINUX_PROBE};
    argv.insert(argv.end(), args.begin(), args.end());
    r = Exec(argv, sb.BaseEnv(), 60);
    if (r.exitCode == 77 || r.output.starts_with("unshare:")) GTEST_SKIP() << "no private mount here: " << r.output;
  } else {
    r = sb.Probe(args);
  }
  ASSERT_EQ(r.exitCode, 0) << r.output;

  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = r.output.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(r.output.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), std::size(rows) + std::size(comparisons)) << r.output;
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(lines[i], Hex(rows[i].lower) + " " + Hex(rows[i].upper)) << "row " << i << ": " << rows[i].what;
  }
  for (size_t i = 0; i < std::size(comparisons); ++i) {
    EXPECT_EQ(lines[std::size(rows) + i], comparisons[i].equal ? "equal" : "different")
        << comparisons[i].a << " / " << comparisons[i].b;
  }
}

std::string TablesName(const ::testing::TestParamInfo<Tables>& param) {
  const char* const names[] = {"linux", "linux_without_c_utf8", "windows"};
  return names[static_cast<size_t>(param.param)];
}

INSTANTIATE_TEST_SUITE_P(Builds, CaseTest,
                         ::testing::Values(Tables::Linux, Tables::LinuxWithoutCUtf8, Tables::Windows), TablesName);

}  // namespace
}  // namespace qmtest
