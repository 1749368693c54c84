// The locked atomic replace that the registry file and the configuration file
// (which may hold LDAPReaderAccountPassword) are written through: owner, group
// and mode kept, a link stays a link to the file written, a read-only file is
// not written (as on Windows), and no temporary file stays beside it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/profile.h"
#include "platform/registry.h"
#include "unit_support.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class ReplaceFile : public unit::FolderTest {};

TEST_F(ReplaceFile, KeepsOwnerModeAndLinks) {
  const bool root = ::geteuid() == 0;  // only root can hand a file to another owner
  constexpr uid_t kOwner = 4321;
  constexpr gid_t kGroup = 8765;
  struct Row {
    const char* name;
    bool registry;
    mode_t mode;
    bool link;
    bool written;
  };
  const Row rows[] = {
      {"registry file of another owner, 0600", true, 0600, false, true},
      {"registry file behind a link", true, 0640, true, true},
      {"read-only registry file", true, 0444, false, false},
      {"configuration file of another owner, 0600", false, 0600, false, true},
      {"configuration file behind a link", false, 0640, true, true},
      {"read-only configuration file", false, 0444, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string name = row.registry ? "owner/target.reg" : "owner/target.ini";
    fs::remove_all(Path("owner"));
    Write(name, row.registry ? unit::Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Q]\r\n")
                             : "[Main]\r\nA=1\r\n");
    Write(name + ".quillmark-tmp-1-1", "left by a killed run");
    const fs::path target = Path(name);
    ASSERT_EQ(::chmod(target.c_str(), row.mode), 0);
    if (root) {
      ASSERT_EQ(::chown(target.c_str(), kOwner, kGroup), 0);
    }
    const fs::path path = row.link ? Path("owner/link") : target;
    if (row.link) fs::create_symlink(target.filename(), path);
    const std::string before = Read(name);
    ::setenv("QUILLMARK_REGISTRY", path.c_str(), 1);
    const bool written = row.registry
                             ? platform::registry::SetValue(platform::registry::kCurrentUser, "Q", "x", 4,
                                                            std::vector<std::uint8_t>{1, 0, 0, 0})
                             : platform::WriteProfileValue(path.string(), "Main", "B", "2");
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(Read(name) != before, row.written);
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, row.mode);
    if (root) {
      EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(kOwner, kGroup));
    }
    EXPECT_EQ(fs::is_symlink(path), row.link);
    // Neither our temporary nor the one the killed run left stays beside it.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Path("owner"))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{target.filename().string()};
    if (row.link) expected.insert(expected.begin(), "link");
    EXPECT_EQ(names, expected);
  }
}

}  // namespace
}  // namespace qm
