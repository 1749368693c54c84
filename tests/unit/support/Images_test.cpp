// What a photo's first bytes say: JPEG or PNG, and the image's size.
#include "support/Images.h"
#include "unit_support.h"

namespace qm {
namespace {

TEST(Images, KindAndSize) {
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string("\0\0\0\x0dIHDR", 8);
  const std::string soi = "\xFF\xD8";
  const std::string app0 = std::string("\xFF\xE0\x00\x10JFIF\0", 9) + std::string(9, '\1');
  const auto sof = [](unsigned char marker, int width, int height) {
    return std::string("\xFF") + static_cast<char>(marker) + std::string("\x00\x13\x08", 3) +
           static_cast<char>(height >> 8) + static_cast<char>(height & 0xFF) +
           static_cast<char>(width >> 8) + static_cast<char>(width & 0xFF) + std::string(12, '\0');
  };
  const struct {
    const char* name;
    std::string bytes;
    ImageInfo::Kind kind;
    int width, height;
  } rows[] = {
      {"PNG", png + std::string("\0\0\0\x30\0\0\0\x20", 8), ImageInfo::Kind::Png, 48, 32},
      {"PNG that claims 2^31", png + std::string("\x80\0\0\x30\0\0\0\x20", 8), ImageInfo::Kind::Png, 0, 0},
      {"PNG cut in its IHDR", png + "\0\0", ImageInfo::Kind::Png, 0, 0},
      {"JPEG, baseline", soi + app0 + sof(0xC0, 640, 480), ImageInfo::Kind::Jpeg, 640, 480},
      {"JPEG, progressive after fill bytes", soi + "\xFF\xFF" + app0 + sof(0xC2, 3, 2), ImageInfo::Kind::Jpeg, 3, 2},
      {"JPEG: a Huffman table is no frame", soi + sof(0xC4, 9, 9) + sof(0xC1, 7, 5), ImageInfo::Kind::Jpeg, 7, 5},
      {"JPEG cut before its frame", soi + app0, ImageInfo::Kind::Jpeg, 0, 0},
      {"JPEG with a segment that claims too much", soi + "\xFF\xE1\xFF\xFF", ImageInfo::Kind::Jpeg, 0, 0},
      {"GIF", "GIF89a", ImageInfo::Kind::None, 0, 0},
      {"text", "kein Bild", ImageInfo::Kind::None, 0, 0},
      {"nothing", "", ImageInfo::Kind::None, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ImageInfo info = ReadImageInfo(row.bytes);
    EXPECT_EQ(info.kind, row.kind);
    EXPECT_EQ(info.width, row.width);
    EXPECT_EQ(info.height, row.height);
  }
}

}  // namespace
}  // namespace qm
