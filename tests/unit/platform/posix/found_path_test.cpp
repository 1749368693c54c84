// Paths found without regard to case on the linux build, as Windows finds
// them: each level under the case the folder holds it in, the capitals-first
// name of several that differ in case only, and a folder that changed since
// it was listed listed again.
#include "platform/posix/found_path.h"

#include "unit_support.h"

namespace qm {
namespace {

class FoundPath : public unit::FolderTest {};

TEST_F(FoundPath, EachLevelAsTheFolderHoldsIt) {
  for (const char* file : {"Vorlagen/North.htm", "Vorlagen/twin.htm", "Vorlagen/Twin.htm",
                           "Vorlagen/TWIN.htm", "Vorlagen/ÄUßERE.txt", "Vorlagen/exact.gif"})
    Write(file);
  const struct {
    const char* written;
    const char* found;
  } rows[] = {
      {"vorlagen\\north.htm", "Vorlagen/North.htm"},
      {"VORLAGEN\\NORTH.HTM", "Vorlagen/North.htm"},
      {"vorlagen\\twin.htm", "Vorlagen/TWIN.htm"},  // capitals first, even before the exact name
      {"vorlagen\\äußere.txt", "Vorlagen/ÄUßERE.txt"},
      {"Vorlagen\\exact.gif", "Vorlagen/exact.gif"},
      {"vorlagen\\neu\\north.htm", "Vorlagen/neu/north.htm"},  // below a missing level, as written
      {"vorlagen\\", "Vorlagen/"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written);
    EXPECT_EQ(platform::posix::FoundNativePath(Core() + "\\" + row.written),
              Path().string() + "/" + row.found);
  }
}

TEST_F(FoundPath, AFolderChangedSinceItsListingIsListedAgain) {
  Write("t/b.htm");
  const std::string written = Core("t") + "\\B.HTM";
  EXPECT_EQ(platform::posix::FoundNativePath(written), Path("t/b.htm").string());
  // Within the same tick of the file system's clock as the listing.
  Write("t/B.htm");
  EXPECT_EQ(platform::posix::FoundNativePath(written), Path("t/B.htm").string());
  std::filesystem::remove(Path("t/B.htm"));
  std::filesystem::remove(Path("t/b.htm"));
  EXPECT_EQ(platform::posix::FoundNativePath(written), Path("t/B.HTM").string());
}

}  // namespace
}  // namespace qm
