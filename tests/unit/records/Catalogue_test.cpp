// The README's reference stays complete: every key of the catalogue (section
// "Main", "FieldMapping" and each kind of numbered section), every
// placeholder and every command-line option has its row in the README's
// tables, so that a key added to the catalogue without a line of
// documentation fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "records/Catalogue.h"
#include "run/CommandLine.h"
#include "signatures/Placeholders.h"

namespace qm {
namespace {

std::string Readme() {
  std::ifstream in(std::string(QM_SOURCE_DIR) + "/README.md", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

/// The names in backticks that begin the rows of the tables below heading (a
/// whole line of the README), up to the next heading of any level.
std::set<std::string> TableNames(const std::string& readme, const std::string& heading) {
  std::set<std::string> names;
  size_t at = readme.find("\n" + heading + "\n");
  if (at == std::string::npos) {
    ADD_FAILURE() << "no heading '" << heading << "' in README.md";
    return names;
  }
  at += heading.size() + 2;
  const size_t end = readme.find("\n#", at);
  const std::string part =
      readme.substr(at, end == std::string::npos ? std::string::npos : end - at);
  for (size_t row = part.find("\n| `"); row != std::string::npos;
       row = part.find("\n| `", row + 1)) {
    const size_t open = row + 4, close = part.find('`', open);
    if (close != std::string::npos) names.insert(part.substr(open, close - open));
  }
  return names;
}

TEST(Catalogue, TheReadmeDescribesEveryKeyPlaceholderAndOption) {
  const std::string readme = Readme();
  const std::set<std::string> main = TableNames(readme, "### Section [Main]");
  for (const catalogue::Key& key : catalogue::kMainKeys) {
    const std::string name = std::string(key.Name) + (key.Numbered ? "<n>" : "");
    EXPECT_TRUE(main.contains(name)) << "[Main] " << name;
  }
  const std::set<std::string> mapping = TableNames(readme, "### Section [FieldMapping]");
  for (std::string_view key : catalogue::kFieldMappingKeys)
    EXPECT_TRUE(mapping.contains(std::string(key))) << "[FieldMapping] " << key;
  for (const catalogue::SectionKind* kind : catalogue::kSectionKinds) {
    const std::string prefix(kind->Prefix);
    const std::set<std::string> keys =
        TableNames(readme, "### Sections [" + prefix + "1], [" + prefix + "2], …");
    for (std::string_view key : kind->Keys)
      EXPECT_TRUE(keys.contains(std::string(key))) << prefix << " " << key;
  }
  const std::set<std::string> placeholders = TableNames(readme, "## Placeholders");
  for (const Placeholder& p : kPlaceholders)
    EXPECT_TRUE(placeholders.contains("@" + std::string(p.name) + "@")) << p.name;
  EXPECT_TRUE(placeholders.contains("@" + std::string(kPhotoPlaceholder.name) + "@"));
  // The other people's placeholders are named by their first one.
  for (std::string_view prefix : {kMailboxPrefix, kManagerPrefix, kMailboxManagerPrefix}) {
    const std::string first = "@" + std::string(prefix) + std::string(kPlaceholders.front().name) + "@";
    EXPECT_NE(readme.find("`" + first + "`"), std::string::npos) << first;
  }
  std::set<std::string> options;
  for (const std::string& written : TableNames(readme, "## Command line"))
    options.insert(written.substr(
        1, written.find(':') == std::string::npos ? std::string::npos : written.find(':') - 1));
  for (std::string_view option : kOptionNames)
    EXPECT_TRUE(options.contains(std::string(option))) << option;
}

}  // namespace
}  // namespace qm
