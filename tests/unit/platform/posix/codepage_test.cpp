// Two stand-ins of the Linux build: the single-byte code page (Windows-1252),
// and with it the mapping of Windows paths (paths.cpp, a handful of rows).
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace qm {
namespace {

TEST(CodePage, Windows1252RoundTrip) {
  EXPECT_EQ(platform::ToAnsi("Grüße €"), "Gr\xFC\xDF" "e \x80");
  EXPECT_EQ(platform::FromAnsi("Gr\xFC\xDF" "e \x80"), "Grüße €");
  EXPECT_EQ(platform::ToAnsi("Ω 日本"), "? ??");  // not in the code page
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
