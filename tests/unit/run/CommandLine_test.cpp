// Command-line grammar.
#include <gtest/gtest.h>

#include "run/CommandLine.h"

namespace qm {
namespace {

TEST(CommandLine, Grammar) {
  struct Row {
    const char* text;
    const char* ini;
    bool dialog, log;
    const char* adUser;
    const char* date = nullptr;      // nullptr: no /DATE
    const char* simulate = nullptr;  // nullptr: no /SIMULATE
  };
  const Row rows[] = {
      {"", "", false, false, ""},
      {"INI:x.ini", "", false, false, ""},
      {"/ini:  c:\\cfg\\a.ini  ", "c:\\cfg\\a.ini", false, false, ""},
      {"/INI:", "", false, false, ""},
      {"/DEBUG:yes", "", false, false, ""},
      {"/DEBUG:TRUE", "", true, true, ""},
      {"/debug: dialog ", "", true, false, ""},
      {"/DEBUG:LOG /DEBUG:DIALOG", "", true, true, ""},
      {"/INI:C:/cfg/x.ini", "C:", false, false, ""},
      {"/ADUSER:jdoe /ADUSER:asmith", "", false, false, "asmith"},
      {"/ADUSER: jdoe :x", "", false, false, "jdoe"},
      {"/INI:\"C:\\q.ini\"", "\"C:\\q.ini\"", false, false, ""},
      {"/INI:\tC:\\t.ini", "\tC:\\t.ini", false, false, ""},
      {"/UNKNOWN:1 /DEBUG", "", false, false, ""},
      {"/ INI : C : \\x ", "C:\\x", false, false, ""},
      // /DATE takes what stands before the next ":"; the run checks the day.
      {"/date: 2026-12-24 /DEBUG:LOG", "", false, true, "", "2026-12-24"},
      {"/DATE:24.12.2026:x", "", false, false, "", "24.12.2026"},
      {"/DATE", "", false, false, ""},
      {"/SIMULATE:C:\\v /DATE:", "", false, false, "", "", "C:\\v"},
      {"/SIMULATE", "", false, false, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string("[") + r.text + "]");
    CommandLineOptions o = ParseCommandLine(r.text);
    EXPECT_EQ(o.ConfigParameter, r.ini);
    EXPECT_EQ(o.DebugDialog, r.dialog);
    EXPECT_EQ(o.DebugLog, r.log);
    EXPECT_EQ(o.DirectoryUser, r.adUser);
    EXPECT_EQ(o.DateParameter.value_or("(none)"), r.date ? r.date : "(none)");
    EXPECT_EQ(o.Simulate, r.simulate != nullptr);
    EXPECT_EQ(o.SimulateParameter, r.simulate ? r.simulate : "");
  }
}

TEST(CommandLine, VersionStandsWithoutValue) {
  struct Row {
    const char* text;
    bool version;
    const char* beside;  // the other options, as the note names them
  };
  const Row rows[] = {
      {"/VERSION", true, ""},
      {" / version ", true, ""},
      {"/VERSION:2", true, ""},
      {"VERSION", false, ""},
      {"/VERSIONS", false, "/VERSIONS"},
      {"/INI:x.ini  /VERSION /DEBUG:LOG ", true, "/INI:x.ini /DEBUG:LOG"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string("[") + r.text + "]");
    const CommandLineOptions o = ParseCommandLine(r.text);
    EXPECT_EQ(o.ShowVersion, r.version);
    EXPECT_EQ(o.OptionsBesideVersion, r.beside);
  }
}

}  // namespace
}  // namespace qm
