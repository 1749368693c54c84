// quillmark-write-floor, the floor make bench holds the audit's writing to:
// it must write exactly the tree it read, or the bench compares the audit
// with less than the audit writes.
#include <regex>

#include "harness.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

RunResult Floor(const fs::path& source, const fs::path& destination) {
  return Exec({QM_LINUX_FLOOR, source.string(), destination.string()}, {}, 60);
}

TEST(WriteFloor, WritesTheTreeItReadByteForByte) {
  Sandbox sb(Build::Linux);
  // What an audit's folder holds: nested folders, an empty folder, names
  // beyond ASCII and with escapes, text with CR LF, binary bytes with NUL, an
  // empty file, and a file larger than any one write of a buffered stream.
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  const Tree files = {{"index.htm", "<html>\r\n</html>\r\n"},
                      {"audit.csv", "\xEF\xBB\xBF" "Benutzer,Name\r\n"},
                      {"M%C3%BCller/standard_logo.gif", binary},
                      {"M%C3%BCller/leer.txt", ""},
                      {"Müller/Ordner/tief/standard.htm", std::string(3 * 1024 * 1024 + 7, 'x')}};
  size_t bytes = 0;
  for (const auto& [name, content] : files) {
    sb.Write("in/" + name, content);
    bytes += content.size();
  }
  sb.MakeDir("in/ohne Dateien");

  const RunResult run = Floor(sb.Path("in"), sb.Path("out"));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const Tree written = ReadTree(sb.Path("out"));
  EXPECT_EQ(written, ReadTree(sb.Path("in")));
  EXPECT_EQ(written.count("ohne Dateien/"), 1u);
  // The seconds of the writing and the seconds until it is on the disk (the
  // larger) on standard output, the counts on standard error.
  EXPECT_NE(run.output.find("5 folders, 5 files, " + std::to_string(bytes) + " bytes"), std::string::npos)
      << run.output;
  std::smatch figures;
  ASSERT_TRUE(std::regex_search(run.output, figures, std::regex("(^|\n)([0-9]+\\.[0-9]{2}) ([0-9]+\\.[0-9]{2})\n")))
      << run.output;
  EXPECT_LE(std::stod(figures[2]), std::stod(figures[3])) << run.output;
}

TEST(WriteFloor, RefusesWhatItCannotDoAndTouchesNothing) {
  Sandbox sb(Build::Linux);
  sb.Write("in/a.txt", "neu");
  sb.Write("out/a.txt", "alt");
  struct Row {
    const char* what;
    fs::path source, destination;
  } rows[] = {
      {"a destination that exists", sb.Path("in"), sb.Path("out")},
      {"a source that does not", sb.Path("fehlt"), sb.Path("neu")},
      {"a destination below a missing folder", sb.Path("in"), sb.Path("fehlt/neu")},
  };
  for (const Row& row : rows) {
    const RunResult run = Floor(row.source, row.destination);
    EXPECT_EQ(run.exitCode, 1) << row.what << ": " << run.output;
    EXPECT_NE(run.output.find("quillmark-write-floor: "), std::string::npos) << row.what << ": " << run.output;
  }
  EXPECT_EQ(sb.Read("out/a.txt"), "alt");
  EXPECT_FALSE(sb.Exists("neu"));
  EXPECT_FALSE(sb.Exists("fehlt"));
  EXPECT_EQ(Exec({QM_LINUX_FLOOR, "nur-eins"}, {}, 60).exitCode, 1);
}

}  // namespace
}  // namespace qmtest
