// JPEG and PNG headers.
#include "support/Images.h"

#include <cstdint>

namespace qm {
namespace {

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";
constexpr std::string_view kJpegStart = "\xFF\xD8\xFF";
constexpr unsigned char kMarker = 0xFF;
// The SOFn markers that carry the frame's size: C0 to CF but C4 (Huffman
// tables), C8 (reserved) and CC (arithmetic coding conditions).
constexpr unsigned char kFirstSof = 0xC0, kLastSof = 0xCF;
constexpr unsigned char kDht = 0xC4, kJpg = 0xC8, kDac = 0xCC;
// Markers without a length: TEM, RST0 to RST7, SOI, EOI.
constexpr unsigned char kTem = 0x01, kFirstRst = 0xD0, kLastStandalone = 0xD9;
constexpr std::size_t kIhdrWidthAt = 16;  // signature, chunk length and "IHDR"

std::uint32_t BigEndian(std::string_view bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void SetSize(ImageInfo& info, std::uint32_t width, std::uint32_t height) {
  if (width == 0 || height == 0 || width > kLargestImageSide || height > kLargestImageSide) return;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
}

}  // namespace

ImageInfo ReadImageInfo(std::string_view bytes) {
  ImageInfo info;
  if (bytes.starts_with(kPngSignature)) {
    info.kind = ImageInfo::Kind::Png;
    if (bytes.size() >= kIhdrWidthAt + 8 && bytes.substr(kIhdrWidthAt - 4, 4) == "IHDR")
      SetSize(info, BigEndian(bytes, kIhdrWidthAt, 4), BigEndian(bytes, kIhdrWidthAt + 4, 4));
    return info;
  }
  if (!bytes.starts_with(kJpegStart)) return info;
  info.kind = ImageInfo::Kind::Jpeg;
  // The segments after SOI, each a marker and (but the standalone ones) a
  // length that counts itself, up to the first SOFn.
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (static_cast<unsigned char>(bytes[at]) != kMarker) return info;
    const auto marker = static_cast<unsigned char>(bytes[at + 1]);
    if (marker == kMarker) {  // fill bytes
      ++at;
      continue;
    }
    if (marker == kTem || (marker >= kFirstRst && marker <= kLastStandalone)) {
      at += 2;
      continue;
    }
    const std::size_t length = BigEndian(bytes, at + 2, 2);
    const bool sof = marker >= kFirstSof && marker <= kLastSof && marker != kDht && marker != kJpg &&
                     marker != kDac;
    if (sof) {
      // Length, precision, then height and width.
      if (at + 9 <= bytes.size()) SetSize(info, BigEndian(bytes, at + 7, 2), BigEndian(bytes, at + 5, 2));
      return info;
    }
    if (length < 2) return info;
    at += 2 + length;
  }
  return info;
}

}  // namespace qm
