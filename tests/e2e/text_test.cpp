// Letter case as each build maps it: the linux build by the C library's tables
// (and by GLib's on a system without the C.UTF-8 locale, which a private mount
// namespace simulates), the windows build by Windows' own, under Wine; and the
// ANSI code pages of one and two bytes per character and UTF-8, which the
// linux build converts with the tables taken from the windows build,
// look-alikes included, and the names it takes them by. Texts travel to and from
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
// In the double-byte code pages a character is one byte or two; UTF-8 keeps all.
class CodePageTest : public ::testing::TestWithParam<Build> {};

TEST_P(CodePageTest, NamesInTheAnsiCodePage) {
  enum { k1250, k1251, k1252, k1253, k1254, k1257, k932, k65001, k936, k949, k950 };
  std::vector<CodePage> pages = kCodePages;
  // Only read by the probe, so Wine needs no locale of the host for them.
  pages.insert(pages.end(), {{"CP936", "936", "zh_CN.UTF-8"},
                             {"CP949", "CP949", "ko_KR.UTF-8"},
                             {"CP950", "windows-950", "zh_TW.UTF-8"}});
  const std::string polish = "Łukasz Żółć", czech = "Řehoř Šťastný", turkish = "Işıl Güneş İzmir",
                    greek = "Αλέξανδρος", cyrillic = "Дмитрий Шостакович",
                    lithuanian = "Ērika Žemaitė", greeting = "Grüße 😀", japanese = "山田 ｶﾀｶﾅ ＠",
                    chinese = "中文 北京 繁體", korean = "한국어 서울";
  const struct Row { int codePage; std::string text, writtenAs; } rows[] = {
      {k1252, polish, "Lukasz Zólc"},          {k1252, czech, "Rehor Štastný"},
      {k1252, turkish, "Isil Günes Izmir"},     {k1252, greek, "????a?d???"},
      {k1252, cyrillic, "??????? ??????????"}, {k1252, greeting, "Grüße ??"},
      {k1250, polish, polish},                 {k1250, czech, czech},
      {k1251, cyrillic, cyrillic},             {k1251, polish, "Lukasz Zolc"},
      {k1253, greek, greek},                   {k1254, turkish, turkish},
      {k1257, lithuanian, lithuanian},         {k1257, czech, "?eho? Š?astn?"},
      {k932, japanese, japanese},              {k932, polish, "?ukasz ?o??"},
      {k932, greeting, "Gruse ??"},            {k932, korean, "??? ??"},
      {k65001, polish + greeting + japanese + korean, polish + greeting + japanese + korean},
      {k936, chinese, chinese},                {k936, greeting, "Grü?e ??"},
      {k936, japanese, "山田 ???? ＠"},         {k949, korean, korean},
      {k949, polish, "Łukasz ?oł?"},           {k949, greeting, "Gruße ??"},
      {k950, chinese, chinese},                {k950, greeting, "Gruse ??"},
  };
  for (int codePage = k1250; codePage <= k950; ++codePage) {
    const CodePage& cp = pages[static_cast<size_t>(codePage)];
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

// Bytes as Windows reads them (Wine's answers: Microsoft documents no rule): a
// lead byte and the byte after it are one character, also where the two are
// none (the default character, in 932 "・"), unless a NUL follows; a lead byte
// at the end reads as the default character too. A malformed UTF-8 sequence is
// one U+FFFD for each part that could not begin a character.
TEST_P(CodePageTest, BytesReadAsWindowsReadsThem) {
  const struct Row { size_t codePage; std::string bytes, text; } rows[] = {
      {6, "\x82\xA0\xB6", "あｶ"},   {6, "\x81\x20", "・"},
      {6, std::string("\x81\0", 2), std::string("・\0", 4)},
      {6, "A\x81", "A・"},            {6, "\x89\x40" "A@", "院A@"},
      {7, "\xE3\x81\x82", "あ"},     {7, "\xE3\x81" "A", "\uFFFD" "A"},
      {7, "\xC0\xAF", "\uFFFD\uFFFD"}, {7, "\xED\xA0\x80", "\uFFFD\uFFFD"},
  };
  Sandbox sb(GetParam());
  for (const size_t codePage : {6, 7}) {  // 932, 65001
    const CodePage& cp = kCodePages[codePage];
    SCOPED_TRACE(cp.iconvName);
    std::vector<std::string> args{"codepage-read"};
    std::string expected;
    for (const Row& row : rows) {
      if (row.codePage != codePage) continue;
      args.push_back(Hex(row.bytes));
      expected += Hex(row.text) + "\n";
    }
    EXPECT_EQ(sb.Probe(args, InCodePage(cp, GetParam())).output, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, CodePageTest, BothBuilds(), BuildParamName);

// The linux build's names of code pages: Windows' numbers, UTF-8, and names of
// single-byte code pages that iconv converts exactly; any other name is
// refused rather than taken for Windows-1252.
TEST(CodePageNames, TakenOrRefused) {
  Sandbox sb(Build::Linux);
  const struct Row { const char* name; std::string bytes; } rows[] = {
      {"", "Isil \x80 ??"},               {"ISO-8859-2", "I\xBA?l ? ??"},
      {"utf8", "Işıl € 東京"},             {"CP65001", "Işıl € 東京"},
      {"cp932", "I??l ? \x93\x8C\x8B\x9E"}, {"EUC-JP", ""},
      {"Shift_JIS", ""},                   {"UTF-16", ""},
      {"IBM037", ""},                      {"nonsense", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RunResult r = sb.Probe({"codepage", Hex("Işıl € 東京")}, {{"QUILLMARK_CODEPAGE", row.name}});
    if (row.bytes.empty()) {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.output, "error: Die Codepage '" + std::string(row.name) +
                              "' in QUILLMARK_CODEPAGE wird nicht unterstützt (erwartet die Nummer "
                              "einer Windows-Codepage wie 1252, 932 oder 65001)\n");
    } else {
      EXPECT_EQ(r.output.substr(0, r.output.find(' ')), Hex(row.bytes));
    }
  }
}

}  // namespace
}  // namespace qmtest
