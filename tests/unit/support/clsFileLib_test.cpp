// The file object on real files: which files exist for it, copy and delete.
#include <gtest/gtest.h>

#include "support/clsFileLib.h"
#include "unit_support.h"

namespace qm {
namespace {

class FileLib : public unit::FolderTest {};

TEST_F(FileLib, ExistsOnlyForReadableFiles) {
  Write("a.txt");
  clsFileLib f;
  for (const auto& [rel, exists] : {std::pair{"a.txt", true}, {"", false}, {"missing.txt", false}}) {
    f.FileName = Core(rel);  // "": the folder
    EXPECT_EQ(f.Exists(), exists) << rel;
  }
}

TEST_F(FileLib, CopyOverwritesAndDeleteRemoves) {
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
