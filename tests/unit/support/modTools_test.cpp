// The shared routines: paths, environment tokens, byte arrays, numbers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/modTools.h"
#include "unit_support.h"

namespace qm {
namespace {

TEST(ModTools, PathRoutines) {
  struct Row { const char* in; const char* parent; const char* withBackslash; };
  const Row rows[] = {
      {"C:\\a\\b.ini", "C:\\a", "C:\\a\\b.ini\\"},
      {"C:\\b.ini", "C:\\", "C:\\b.ini\\"},
      {"C:\\a\\", "C:\\a", "C:\\a\\"},
      {"\\\\srv\\share\\x.ini", "\\\\srv\\share", "\\\\srv\\share\\x.ini\\"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    EXPECT_EQ(GetParentFolder(r.in), r.parent);
    EXPECT_EQ(AddBackslash(r.in), r.withBackslash);
  }
  EXPECT_EQ(AddBackslash(""), "\\");
  EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
  unit::ExpectError(5, [] { GetParentFolder("nobackslash"); });
}

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

TEST(ModTools, HexString) {
  EXPECT_EQ(HexString(255, 2), "FF");
  EXPECT_EQ(HexString(10, 2), "0A");
  EXPECT_EQ(HexString(26, -1), "&H1A");
  EXPECT_EQ(HexString(26, -2), "&H1A&");
  EXPECT_EQ(HexString(-1, 0), "FFFFFFFF");
  unit::ExpectError(6, [] { HexString(256, 2); });   // overflow
  unit::ExpectError(5, [] { HexString(1, -3); });    // invalid argument
}

TEST(ModTools, BytesAndStrings) {
  EXPECT_EQ(BytesToString({'A', 0, 'B', 0, 0, 0}, true), "AB");
  EXPECT_EQ(BytesToString({'A', 0, 'B', 0, 0, 0}, false), "A");
  EXPECT_EQ(BytesToString({0xFC, 0x00}, true), "\xC3\xBC");  // ü in Windows-1252

  std::vector<std::uint8_t> bytes(8, 0);
  StringToBytes("Ab", bytes, true);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'A', 0, 'b', 0, 0, 0, 0, 0}));

  // Müller-Standard: 15 characters into 2n + 4 bytes, the ü as FC.
  std::string name = "M\xC3\xBCller-Standard";
  std::vector<std::uint8_t> wide(2 * 15 + 4, 0);
  StringToBytes(name, wide, true);
  EXPECT_EQ(wide[2], 0xFC);
  EXPECT_EQ(wide[3], 0x00);
  EXPECT_EQ(wide[28], 'd');

  std::vector<std::uint8_t> narrow(3, 0);
  StringToBytes("abcdef", narrow, false);  // at most upper bound characters
  EXPECT_EQ(narrow, (std::vector<std::uint8_t>{'a', 'b', 0}));
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

TEST(ModTools, TextHelpers) {
  EXPECT_EQ(Trim("  a b \t "), "a b \t");
  EXPECT_EQ(Split("a,,b", ","), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Split("", ","), (std::vector<std::string>{""}));
  EXPECT_EQ(Split("a,", ","), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(ReplaceAll("a|b|c", "|", ": "), "a: b: c");
  EXPECT_TRUE(EndsWithNoCase("x.UdL", ".udl"));
  EXPECT_FALSE(EndsWithNoCase("udl", ".udl"));
  EXPECT_EQ(NullToDefault(std::nullopt, "d"), "d");
  EXPECT_EQ(NullToDefault(std::string(), "d"), "d");
  EXPECT_EQ(NullToDefault(std::string("0"), "d"), "0");
}

}  // namespace
}  // namespace qm
