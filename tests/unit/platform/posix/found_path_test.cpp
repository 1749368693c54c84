// Paths found without regard to case on the linux build, as Windows finds
// them: each level under the case the folder holds it in, the capitals-first
// name of several that differ in case only, and a folder that changed since
// it was listed listed again; names without the dots and blanks at their end,
// ".." as written, and the names of Windows' devices.
#include "platform/posix/found_path.h"

#include <chrono>
#include <functional>
#include <thread>

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

TEST_F(FoundPath, AFolderBelowAFolderFoundBeforeKeepsItsEndingSlash) {
  // A run names the folders it makes, lists and removes with a backslash at
  // their end; the folder above was found for an earlier path.
  Write("k/Tief/Unten/x.htm");
  ASSERT_EQ(platform::posix::FoundNativePath(Core("k") + "\\tief\\x.htm"), Path("k/Tief/x.htm").string());
  const struct {
    const char* written;
    const char* found;
  } rows[] = {
      {"tief\\unten\\", "k/Tief/Unten/"},
      {"TIEF\\UNTEN\\\\", "k/Tief/Unten/"},
      {"tief\\unten. \\", "k/Tief/Unten/"},
      {"tief\\fehlt\\", "k/Tief/fehlt/"},
      {"tief\\unten", "k/Tief/Unten"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written);
    EXPECT_EQ(platform::posix::FoundNativePath(Core("k") + "\\" + row.written), Path().string() + "/" + row.found);
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

TEST_F(FoundPath, TheRunsOwnChangesKeepTheListingTrue) {
  // The run writes, copies and deletes in a folder it has listed: the listing
  // takes each change instead of being made again, and must answer as a new
  // one would.
  Write("s/alt.htm");
  Write("s/twin.htm");
  Write("s/Twin.htm");
  const auto found = [this](const std::string& name) {
    return platform::posix::FoundNativePath(Core("s") + "\\" + name);
  };
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the listing settles
  EXPECT_EQ(found("ALT.HTM"), Path("s/alt.htm").string());
  const struct {
    const char* name;
    std::function<void()> change;
    const char* lookup;
    const char* expected;
  } rows[] = {
      {"a file written", [&] { platform::OutputFile(Core("s") + "\\Neu.htm", platform::OutputFile::Mode::Replace).Close(); },
       "NEU.HTM", "s/Neu.htm"},
      {"a file copied", [&] { EXPECT_EQ(platform::ShellCopy(Core("s") + "\\neu.htm", Core("s") + "\\Kopie.gif"), 0); },
       "kopie.GIF", "s/Kopie.gif"},
      {"a file deleted", [&] { EXPECT_EQ(platform::ShellDelete(Core("s") + "\\ALT.htm", false), 0); },
       "ALT.HTM", "s/ALT.HTM"},
      {"the first of two names that differ in case deleted",
       [&] { EXPECT_EQ(platform::ShellDelete(Core("s") + "\\TWIN.HTM", false), 0); }, "TWIN.HTM", "s/twin.htm"},
      {"a folder made", [&] { EXPECT_TRUE(platform::CreateFolder(Core("s") + "\\Unter")); }, "unter", "s/Unter"},
      {"another program's file after them",
       [&] {
         std::this_thread::sleep_for(std::chrono::milliseconds(50));
         Write("s/Fremd.txt");
       },
       "FREMD.TXT", "s/Fremd.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.change();
    EXPECT_EQ(found(row.lookup), Path(row.expected).string());
  }
}

}  // namespace
}  // namespace qm
