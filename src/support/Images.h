// What a photo's bytes are: JPEG or PNG, told by their first bytes, and the
// image's own width and height in pixels (a JPEG's SOFn marker, a PNG's IHDR
// chunk). Reads nothing but the bytes it is given.
#pragma once

#include <string_view>

namespace qm {

struct ImageInfo {
  enum class Kind { None, Jpeg, Png };
  Kind kind = Kind::None;
  int width = 0;   ///< 0 when the bytes name no size (a JPEG cut before its SOFn)
  int height = 0;
};

/// The largest width or height taken as an image's: a photo of a signature is
/// never this wide, and a PNG that claims 2^31 is no photo.
inline constexpr int kLargestImageSide = 20000;

/// The kind and size of the image the bytes hold; Kind::None for bytes that
/// are neither JPEG nor PNG, a size of 0 x 0 when it cannot be read or is
/// larger than kLargestImageSide. Never fails.
ImageInfo ReadImageInfo(std::string_view bytes);

}  // namespace qm
