// Finding every place of one byte in a template's line. A line of a template
// holds a placeholder's symbol every few bytes, where a search per symbol
// costs more than the bytes between: the line is read eight bytes at a time
// instead, and each place of the byte taken from a mask.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qm {

/// Calls found(position) for each byte of text that is b, in order, until
/// found returns false. Returns false when found did, true otherwise.
template <class Found>
bool ForEachByte(std::string_view text, char b, Found&& found) {
  const char* const data = text.data();
  const std::size_t n = text.size();
  std::size_t at = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    constexpr int kBitsPerByte = 8;
    const std::uint64_t pattern = kOnes * static_cast<unsigned char>(b);
    for (; at + kWord <= n; at += kWord) {
      std::uint64_t word = 0;
      std::memcpy(&word, data + at, kWord);
      const std::uint64_t x = word ^ pattern;  // a byte of b is 0 here
      // The high bit of each byte that is 0, and of no other (no carry crosses a byte).
      std::uint64_t hits = ~(((x & kLow7) + kLow7) | x | kLow7);
      for (; hits != 0; hits &= hits - 1) {
        if (!found(at + static_cast<std::size_t>(std::countr_zero(hits) / kBitsPerByte))) return false;
      }
    }
  }
  for (; at < n; ++at) {
    if (data[at] == b && !found(at)) return false;
  }
  return true;
}

}  // namespace qm
