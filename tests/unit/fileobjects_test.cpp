// The file and directory objects on real folders, and the code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "support/Like.h"
#include "support/clsDirLib.h"
#include "support/clsFileLib.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class FileObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(QM_BUILD_DIR) / "unit-tmp" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  std::string Core(const std::string& rel) const {
    return platform::FromNativePath((dir_ / rel).string());
  }
  void Touch(const std::string& rel, const std::string& content = "x") const {
    fs::create_directories((dir_ / rel).parent_path());
    std::ofstream(dir_ / rel, std::ios::binary) << content;
  }
  fs::path dir_;
};

TEST_F(FileObjects, DirExists) {
  Touch("file.txt");
  clsDirLib d;
  struct Row { std::string path; bool exists; };
  const Row rows[] = {
      {Core(""), true}, {Core("") + "\\", true}, {Core("file.txt"), true},
      {Core("missing"), false}, {"", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    d.Path = r.path;
    EXPECT_EQ(d.Exists(), r.exists);
  }
}

TEST_F(FileObjects, FileExistsOnlyForReadableFiles) {
  Touch("a.txt");
  clsFileLib f;
  f.FileName = Core("a.txt");
  EXPECT_TRUE(f.Exists());
  f.FileName = Core("");  // a folder
  EXPECT_FALSE(f.Exists());
  f.FileName = Core("missing.txt");
  EXPECT_FALSE(f.Exists());
}

TEST_F(FileObjects, CreateMakesOneLevelAndNeedsAPath) {
  clsDirLib d;
  try {
    d.Create();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 100);
    EXPECT_EQ(e.Source(), "DirectoryObject");
    EXPECT_EQ(e.Description(), "No path set");
  }
  std::string arg;
  d.Path = Core("one");
  d.Create(arg);
  EXPECT_EQ(arg, d.Path);  // the caller's argument receives Path
  EXPECT_TRUE(fs::is_directory(dir_ / "one"));
  d.Path = Core("two\\three");  // the parent is missing: nothing is created, nothing raised
  d.Create();
  EXPECT_FALSE(fs::exists(dir_ / "two"));
}

TEST_F(FileObjects, GetFilesInFolderMatchesTheEndOfTheName) {
  Touch("a.GIF");
  Touch("b.gif");
  Touch("cgif");
  Touch("d.jpeg");
  Touch("e.jpg");
  fs::create_directories(dir_ / "x.gif");
  Touch("x.gif/inner.gif");
  struct Row { const char* ext; std::vector<std::string> names; };
  const Row rows[] = {
      {"gif", {"a.GIF", "b.gif", "cgif"}},
      {"jpg", {"e.jpg"}},
      {"jpeg", {"d.jpeg"}},
      {"", {"a.GIF", "b.gif", "cgif", "d.jpeg", "e.jpg"}},
      {"*", {"a.GIF", "b.gif", "cgif", "d.jpeg", "e.jpg"}},
      {"png", {}},
  };
  clsDirLib d;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.ext);
    std::vector<std::string> list(1);
    int count = 0;
    bool descend = false;
    int added = d.GetFilesInFolder(list, r.ext, Core(""), descend, count);
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
  bool descend = false;
  EXPECT_EQ(d.GetFilesInFolder(list, "gif", Core("missing"), descend, count), 0);
}

TEST_F(FileObjects, CopyOverwritesAndDeleteRemoves) {
  Touch("src.txt", "new");
  Touch("dst.txt", "old content");
  clsFileLib f;
  f.FileName = Core("src.txt");
  EXPECT_TRUE(f.FileCopy(Core("dst.txt")));
  std::ifstream in(dir_ / "dst.txt", std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "new");
  EXPECT_FALSE(f.FileCopy(Core("x.txt"), Core("missing.txt")));
  EXPECT_TRUE(f.FileDelete(0, Core("dst.txt")));
  EXPECT_FALSE(fs::exists(dir_ / "dst.txt"));
  EXPECT_FALSE(f.FileDelete(0, Core("dst.txt")));
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

TEST(CodePage, Windows1252RoundTrip) {
  EXPECT_EQ(platform::ToAnsi("Grüße €"), "Gr\xFC\xDF" "e \x80");
  EXPECT_EQ(platform::FromAnsi("Gr\xFC\xDF" "e \x80"), "Grüße €");
  EXPECT_EQ(platform::ToAnsi("Ω 日本"), "? ??");    // not in the code page
  EXPECT_EQ(platform::ToAnsi("\xC3"), "?");          // broken UTF-8
  // Every byte survives the way in and out, undefined ones included.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(platform::ToAnsi(platform::FromAnsi(all)), all);
}

TEST(Paths, PosixMapping) {
  EXPECT_EQ(platform::ToNativePath("C:\\etc\\quillmark\\site.ini"), "/etc/quillmark/site.ini");
  EXPECT_EQ(platform::ToNativePath("\\srv\\data\\benutzer.db"), "/srv/data/benutzer.db");
  EXPECT_EQ(platform::ToNativePath("relative\\x.ini"), "relative/x.ini");
  EXPECT_EQ(platform::ToNativePath("x:"), "");
  EXPECT_EQ(platform::FromNativePath("/home/anna/.config"), "\\home\\anna\\.config");
}

}  // namespace
}  // namespace qm
