// Letter case as each build maps it: the linux build by the C library's tables
// (and by GLib's on a system without the C.UTF-8 locale, which a private mount
// namespace simulates), the windows build by Windows' own, under Wine; and the
// ANSI code pages, which the linux build converts with the tables taken from
// the windows build, look-alikes included. Texts travel to and from
// quillmark-probe as hex digits of their UTF-8 bytes, since Wine hands
// arguments over in the ANSI code page.
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

// Names in code pages that hold them and in others: Windows writes the look-alike
// of its tables, else one "?" per UTF-16 unit (two for an emoji, as Windows converts
// each unit on its own; Wine agrees). The bytes read back give the look-alikes.
class CodePageTest : public ::testing::TestWithParam<Build> {};

TEST_P(CodePageTest, NamesInTheAnsiCodePage) {
  enum { k1250, k1251, k1252, k1253, k1254, k1257 };
  const std::string polish = "Łukasz Żółć", czech = "Řehoř Šťastný", turkish = "Işıl Güneş İzmir",
                    greek = "Αλέξανδρος", cyrillic = "Дмитрий Шостакович",
                    lithuanian = "Ērika Žemaitė";
  const struct Row { int codePage; std::string text, writtenAs; } rows[] = {
      {k1252, polish, "Lukasz Zólc"},          {k1252, czech, "Rehor Štastný"},
      {k1252, turkish, "Isil Günes Izmir"},     {k1252, greek, "????a?d???"},
      {k1252, cyrillic, "??????? ??????????"}, {k1252, "Grüße 😀", "Grüße ??"},
      {k1250, polish, polish},                 {k1250, czech, czech},
      {k1251, cyrillic, cyrillic},             {k1251, polish, "Lukasz Zolc"},
      {k1253, greek, greek},                   {k1254, turkish, turkish},
      {k1257, lithuanian, lithuanian},         {k1257, czech, "?eho? Š?astn?"},
  };
  for (int codePage = k1250; codePage <= k1257; ++codePage) {
    const CodePage& cp = kCodePages[static_cast<size_t>(codePage)];
    SCOPED_TRACE(cp.iconvName);
    std::vector<std::string> args{"codepage"};
    std::string expected;
    for (const Row& row : rows) {
      if (row.codePage != codePage) continue;
      args.push_back(Hex(row.text));
      const std::string& as = row.writtenAs;
      expected += Hex(Convert(as, "UTF-8", cp.iconvName)) + " " + Hex(as) + "\n";
    }
    Sandbox sb(GetParam());
    const RunResult r = sb.Probe(args, InCodePage(cp, GetParam()));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, CodePageTest, BothBuilds(), BuildParamName);

// No Windows code page: one iconv knows converts exactly, others mean Windows-1252.
TEST(CodePageNames, IconvNamesAndNone) {
  Sandbox sb(Build::Linux);
  for (const auto& [name, bytes] : {std::pair{"ISO-8859-2", "I\xBA?l ?"}, {"nonsense", "Isil \x80"}}) {
    const RunResult r = sb.Probe({"codepage", Hex("Işıl €")}, {{"QUILLMARK_CODEPAGE", name}});
    EXPECT_EQ(r.output.substr(0, r.output.find(' ')), Hex(bytes)) << name;
  }
}

}  // namespace
}  // namespace qmtest
