// The Linux build's mapping of the Windows paths the core writes.
#include <gtest/gtest.h>

#include "platform/paths.h"

namespace qm {
namespace {

TEST(Paths, PosixMapping) {
  EXPECT_EQ(platform::ToNativePath("C:\\etc\\quillmark\\site.ini"), "/etc/quillmark/site.ini");
  EXPECT_EQ(platform::ToNativePath("\\srv\\data\\benutzer.db"), "/srv/data/benutzer.db");
  EXPECT_EQ(platform::ToNativePath("relative\\x.ini"), "relative/x.ini");
  EXPECT_EQ(platform::ToNativePath("x:"), "");
  EXPECT_EQ(platform::FromNativePath("/home/anna/.config"), "\\home\\anna\\.config");
}

}  // namespace
}  // namespace qm
