// The shared routines: environment tokens, hexadecimal text, numbers, days.
#include "support/modTools.h"
#include "unit_support.h"

namespace qm {
namespace {

TEST(ModTools, ExpandEnvironmentVariableOnlyFirstToken) {
  setenv("QM_A", "/alpha", 1);
  setenv("QM_B", "beta", 1);
  unsetenv("QM_UNSET");
  struct Row { const char* in; const char* out; };
  const Row rows[] = {
      {"100%", "100%"},
      {"%QM_UNSET%\\x", "%QM_UNSET%\\x"},
      {"%QM_B%\\%QM_A%\\%QM_B%", "beta\\%QM_A%\\beta"},  // the first token, everywhere
      {"%QM_A%\\log", "\\alpha\\log"},  // Linux paths reach the core with backslashes
      {"%%x", "%%x"},
      {"no token", "no token"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    EXPECT_EQ(ExpandEnvironmentVariable(r.in), r.out);
  }
}

TEST(ModTools, BytesToStringEndsAtZeroUnlessSkipping) {
  EXPECT_EQ(BytesToString({'A', 0, 'B', 0, 0, 0}, true), "AB");
  EXPECT_EQ(BytesToString({'A', 0, 'B', 0, 0, 0}, false), "A");
  EXPECT_EQ(BytesToString({0xFC, 0x00}, true), "\xC3\xBC");  // ü in Windows-1252
}

TEST(ModTools, HexString) {
  EXPECT_EQ(HexString(255, 2), "FF");
  EXPECT_EQ(HexString(10, 2), "0A");
  EXPECT_EQ(HexString(26, -1), "&H1A");
  EXPECT_EQ(HexString(26, -2), "&H1A&");
  EXPECT_EQ(HexString(-1, 0), "FFFFFFFF");
  unit::ExpectError(6, [] { HexString(256, 2); });   // overflow
  unit::ExpectError(5, [] { HexString(1, -3); });    // invalid argument
}

TEST(ModTools, NumberParsing) {
  struct Row { const char* in; bool one; };
  const Row rows[] = {{"1", true},   {"01", true},  {"1.0", true}, {" 1", true},
                      {"1 ", true},  {"1abc", true}, {"true", false}, {"yes", false},
                      {"2", false},  {"", false},   {"1 0", false}, {"0.1e1", true},
                      {"-1", false}, {"\t1", true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    EXPECT_EQ(NumberIsOne(r.in), r.one);
  }
  EXPECT_EQ(Val(" 2"), 2.0);
  EXPECT_EQ(Val("1 0"), 10.0);
}

TEST(ModTools, DatesOnlyAsYearMonthDay) {
  struct Row { const char* in; const char* out; };  // "" for no day
  const Row rows[] = {
      {"2024-02-29", "29.02.2024"}, {"2000-02-29", "29.02.2000"}, {"1900-02-29", ""},
      {"2026-12-31", "31.12.2026"}, {"2026-04-31", ""},           {"2026-13-01", ""},
      {"2026-1-01", ""},            {" 2026-01-01", ""},          {"2026/01/01", ""},
      {"0000-01-01", ""},           {"", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    const std::optional<platform::Date> date = ParseDate(r.in);
    EXPECT_EQ(date ? DateText(*date) : "", r.out);
  }
}

}  // namespace
}  // namespace qm
