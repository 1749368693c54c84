// Paths found without regard to case on the linux build, as Windows finds
// them: each level under the case the folder holds it in, the capitals-first
// name of several that differ in case only, and a folder that changed since
// it was listed listed again; names without the dots and blanks at their end,
// ".." as written, and the names of Windows' devices.
#include "platform/posix/found_path.h"

#include "platform/files.h"

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
      // Dots and blanks at the end of a name are not part of it.
      {"vorlagen \\north.htm.", "Vorlagen/North.htm"},
      {"vorlagen.\\north.htm. . ", "Vorlagen/North.htm"},
      {"vorlagen\\neu.\\x.htm ", "Vorlagen/neu/x.htm"},
      // ".." and "." as written, also after a missing level.
      {"vorlagen\\fehlt\\..\\north.htm", "Vorlagen/North.htm"},
      {"vorlagen\\.\\fehlt\\tief\\..\\..\\exact.gif", "Vorlagen/exact.gif"},
      {"fehlt\\..\\vorlagen\\north.htm", "Vorlagen/North.htm"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written);
    EXPECT_EQ(platform::posix::FoundNativePath(Core() + "\\" + row.written),
              Path().string() + "/" + row.found);
  }
}

TEST_F(FoundPath, AboveTheRootIsTheRoot) {
  EXPECT_EQ(platform::posix::FoundNativePath("\\..\\..\\tmp\\."), "/tmp");
}

TEST_F(FoundPath, DeviceNamesHoldNoTemplate) {
  // Windows opens them as devices, with any extension and in any case: a
  // file of that name on Linux is no template either.
  for (const char* name : {"aux.htm", "CON", "Nul.txt", "com1.rtf", "LPT9", "prn .htm", "aux.tar.gz"}) {
    SCOPED_TRACE(name);
    Write(std::string("d/") + name);
    EXPECT_TRUE(platform::IsDeviceName(name));
    EXPECT_FALSE(platform::CanOpenForReading(Core("d") + "\\" + name));
    unit::ExpectError(75, [&] { platform::InputFile(Core("d") + "\\" + name); });
  }
  for (const char* name : {"auxiliary.htm", "com0.htm", "com10", "lpt.htm", "nul_logo.gif", "xcon.htm", "con_"}) {
    SCOPED_TRACE(name);
    Write(std::string("d/") + name);
    EXPECT_FALSE(platform::IsDeviceName(name));
    EXPECT_TRUE(platform::CanOpenForReading(Core("d") + "\\" + name));
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
