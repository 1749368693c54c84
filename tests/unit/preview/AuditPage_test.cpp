// The audit's folder names, CSV lines, page and summary: a user's name never
// leaves the audit's folder, two names never share a folder, and the CSV and
// the page say the same about each user.
#include "preview/AuditPage.h"

#include <set>

#include "records/AuditRows.h"
#include "unit_support.h"

namespace qm {
namespace {

TEST(AuditFolderName, KeepsEveryNameInsideItsFolder) {
  const struct {
    std::string name;
    std::string folder;
  } rows[] = {
      {"mmueller", "mmueller"},
      {"o'brien", "o'brien"},
      {"a\\b/c:d*e?f\"g<h>i|j", "a%5Cb%2Fc%3Ad%2Ae%3Ff%22g%3Ch%3Ei%7Cj"},
      {"..", "%2E%2E"},
      {".", "%2E"},
      {"..\\..\\boot", "..%5C..%5Cboot"},
      {"CON", "%43ON"},
      {"con.txt", "%63on.txt"},
      {"Lpt1", "%4Cpt1"},
      {"COM10", "COM10"},
      {"console", "console"},
      {"trailing.", "trailing%2E"},
      {" lead and trail ", "%20lead and trail%20"},
      {"100%", "100%25"},
      {"M\xC3\xBCller", "M%C3%BCller"},
      {std::string("tab\there"), "tab%09here"},
  };
  for (const auto& row : rows) EXPECT_EQ(AuditFolderName(row.name), row.folder) << row.name;
}

TEST(AuditFolderName, CutsLongNamesAndKeepsThemApart) {
  const std::string a(300, 'a');
  const std::string b = std::string(299, 'a') + "b";
  const std::string folderA = AuditFolderName(a), folderB = AuditFolderName(b);
  EXPECT_EQ(folderA.substr(0, 100), std::string(100, 'a'));
  EXPECT_EQ(folderA.size(), 109u);
  EXPECT_EQ(folderA[100], '~');
  EXPECT_NE(folderA, folderB);
  // Never cut inside an escape: a name of 99 letters and a colon escapes to
  // 102 characters and is cut before the "%".
  const std::string escaped = AuditFolderName(std::string(99, 'x') + ":" + std::string(10, 'y'));
  EXPECT_EQ(escaped.substr(0, 100), std::string(99, 'x') + "~");
}

TEST(AuditCsv, QuotesOnlyWhatRfc4180Asks) {
  AuditRow row;
  row.User = "o'brien";
  row.Name = "Siobhan O'Brien, PhD";
  row.Outcome = "Fehler 999: Benutzer \"x\" nicht gefunden";
  row.Failed = true;
  row.SignTypes = {"standard", "kurz"};
  row.Rules = {"Rule2"};
  row.Warnings = {"Pflichtfeld 'Phone' ist leer"};
  row.Folder = "o'brien";
  EXPECT_EQ(AuditCsvLine(row),
            "o'brien,\"Siobhan O'Brien, PhD\",\"Fehler 999: Benutzer \"\"x\"\" nicht gefunden\",standard; kurz,,,,"
            "Rule2,,,Pflichtfeld 'Phone' ist leer,o'brien\r\n");
  const std::string header = AuditCsvHeader();
  EXPECT_EQ(header.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(header.substr(header.size() - 2), "\r\n");
}

TEST(AuditPage, CountsGroupsErrorsAndLinksFolders) {
  std::vector<AuditRow> rows(4);
  rows[0].User = "a";
  rows[0].Outcome = "OK";
  rows[0].Folder = "a";
  rows[1].User = "b<c";
  rows[1].Outcome = "Fehler 999: x";
  rows[1].Failed = true;
  rows[1].Folder = "b%3Cc";
  rows[1].Opened = "Quillmark.log";
  rows[2].User = "d";
  rows[2].Outcome = "Fehler 999: x";
  rows[2].Failed = true;
  rows[2].Folder = "d";
  rows[3].User = "e";
  rows[3].Outcome = "OK";
  rows[3].Warnings = {"Pflichtfeld 'Phone' ist leer"};
  rows[3].Folder = "e";
  AuditTally tally;
  std::string page = AuditPageHead("Titel");
  for (const AuditRow& row : rows) {
    page += AuditPageRow(row);
    tally.Add(row);
  }
  page += AuditPageEnd(tally);
  EXPECT_NE(page.find("<a href=\"b%253Cc/Quillmark.log\">b%3Cc</a>"), std::string::npos);
  EXPECT_NE(page.find("<td>b&lt;c</td>"), std::string::npos);
  EXPECT_NE(page.find("<tr><td>2</td><td>Fehler 999: x</td></tr>"), std::string::npos);
  EXPECT_NE(page.find("<tr><th>mit Warnungen</th><td>1</td></tr>"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(AuditSummary(tally, "X:\\a\\index.htm"),
            "Benutzer: 4, ohne Fehler: 2, mit Fehlern: 2, mit Warnungen: 1\n"
            "  2 x Fehler 999: x\n"
            "Übersicht: X:\\a\\index.htm\n");
}

}  // namespace
}  // namespace qm
