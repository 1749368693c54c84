// The directory object on real folders, and Like, the pattern match of its
// file listing (its only caller); the file object's few rows beside them.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/Like.h"
#include "support/clsDirLib.h"
#include "support/clsFileLib.h"
#include "unit_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class FileObjects : public unit::FolderTest {};

TEST_F(FileObjects, Exists) {
  Write("file.txt");
  clsDirLib d;
  struct Row { std::string path; bool exists; };
  const Row rows[] = {
      {Core(), true},           {Core() + "\\", true}, {Core("file.txt"), true},
      {Core("missing"), false}, {"", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    d.Path = r.path;
    EXPECT_EQ(d.Exists(), r.exists);
  }
}

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

TEST_F(FileObjects, GetFilesInFolderMatchesTheEndOfTheName) {
  for (const char* name : {"a.GIF", "b.gif", "cgif", "d.jpeg", "e.jpg", "x.gif/inner.gif"}) {
    Write(name);
  }
  struct Row { const char* ext; std::vector<std::string> names; };
  const Row rows[] = {
      {"gif", {"a.GIF", "b.gif", "cgif"}},
      {"jpg", {"e.jpg"}},
      {"", {"a.GIF", "b.gif", "cgif", "d.jpeg", "e.jpg"}},
      {"*", {"a.GIF", "b.gif", "cgif", "d.jpeg", "e.jpg"}},
      {"png", {}},
  };
  clsDirLib d;
  bool descend = false;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.ext);
    std::vector<std::string> list(1);
    int count = 0;
    int added = d.GetFilesInFolder(list, r.ext, Core(), descend, count);
    EXPECT_EQ(added, static_cast<int>(r.names.size()));
    EXPECT_EQ(count, added);
    EXPECT_GE(list.size(), 101u);  // grown by 100 empty entries
    std::vector<std::string> got(list.begin(), list.begin() + count);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, r.names);
    EXPECT_TRUE(std::all_of(list.begin() + count, list.end(), [](auto& s) { return s.empty(); }));
  }
  std::vector<std::string> list(1);
  int count = 0;
  EXPECT_EQ(d.GetFilesInFolder(list, "gif", Core("missing"), descend, count), 0);
}

TEST(Like, Patterns) {
  struct Row { const char* text; const char* pattern; bool match; };
  const Row rows[] = {
      {"GIF", "GIF", true}, {"GIF", "GIFF", false}, {"ABC", "A?C", true},
      {"ABC", "A*", true},  {"ABC", "*C", true},    {"ABC", "*B", false},
      {"A1", "A#", true},   {"AB", "A#", false},    {"B", "[A-C]", true},
      {"D", "[A-C]", false}, {"D", "[!A-C]", true}, {"[", "[", true},
      {"", "*", true},      {"", "?", false},       {"AXXBXXC", "A*B*C", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " like " + r.pattern);
    EXPECT_EQ(Like(r.text, r.pattern), r.match);
  }
}

TEST_F(FileObjects, FileExistsOnlyForReadableFiles) {
  Write("a.txt");
  clsFileLib f;
  for (const auto& [rel, exists] :
       {std::pair{"a.txt", true}, {"", false}, {"missing.txt", false}}) {
    f.FileName = Core(rel);  // "": the folder
    EXPECT_EQ(f.Exists(), exists) << rel;
  }
}

TEST_F(FileObjects, FileCopyOverwritesAndDeleteRemoves) {
  Write("src.txt", "new");
  Write("dst.txt", "old content");
  clsFileLib f;
  f.FileName = Core("src.txt");
  EXPECT_TRUE(f.FileCopy(Core("dst.txt")));
  EXPECT_EQ(Read("dst.txt"), "new");
  EXPECT_FALSE(f.FileCopy(Core("x.txt"), Core("missing.txt")));
  EXPECT_TRUE(f.FileDelete(0, Core("dst.txt")));
  EXPECT_FALSE(std::filesystem::exists(Path("dst.txt")));
  EXPECT_FALSE(f.FileDelete(0, Core("dst.txt")));
}

}  // namespace
}  // namespace qm
