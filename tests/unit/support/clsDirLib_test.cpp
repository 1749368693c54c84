// The directory object's folder creation on real folders, and Like, the
// pattern match of its file listing and of the signature rules. What the listing and
// the file object do is seen in the whole-program signature tests.
#include "support/Like.h"
#include "support/clsDirLib.h"
#include "unit_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class FileObjects : public unit::FolderTest {};

TEST_F(FileObjects, CreateMakesOneLevelAndNeedsAPath) {
  clsDirLib d;
  EXPECT_EQ(unit::ExpectError(100, [&] { d.Create(); }, "No path set").Source(), "DirectoryObject");
  std::string arg;
  d.Path = Core("one");
  d.Create(arg);
  EXPECT_EQ(arg, d.Path);  // the caller's argument receives Path
  EXPECT_TRUE(fs::is_directory(Path("one")));
  d.Path = Core("two\\three");  // the parent is missing: nothing is created, nothing raised
  d.Create();
  EXPECT_FALSE(fs::exists(Path("two")));
}

TEST(Like, Patterns) {
  struct Row { const char* text; const char* pattern; bool match, noCase = false; };
  const Row rows[] = {
      // Characters, not bytes; without regard to case the letters of any alphabet.
      {"Müller", "M?ller", true, true}, {"Łódź", "[Ł]*", true, true}, {"łódź", "[Ł]ÓDŹ", false, true},
      {"München", "m*", false, true}, {"Mün", "M[a-z]n", false, false}, {"\xFF", "?", true, true},
      {"GIF", "GIF", true}, {"GIF", "GIFF", false}, {"ABC", "A?C", true},
      {"ABC", "A*", true},  {"ABC", "*C", true},    {"ABC", "*B", false},
      {"A1", "A#", true},   {"AB", "A#", false},    {"B", "[A-C]", true},
      {"D", "[A-C]", false}, {"D", "[!A-C]", true}, {"[", "[", true},
      {"", "*", true},      {"", "?", false},       {"AXXBXXC", "A*B*C", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " like " + r.pattern);
    EXPECT_EQ(Like(r.text, r.pattern), r.match);
    EXPECT_EQ(LikeNoCase(r.text, r.pattern), r.match || r.noCase);
  }
}

}  // namespace
}  // namespace qm
