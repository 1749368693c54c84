// Windows' code pages of one and two bytes per character as Windows converts
// them (MultiByteToWideChar and WideCharToMultiByte with no flags), for a
// system that has no Windows to ask. The data is generated (codepage_data.inc)
// from the windows build's answers; this module holds its form and makes
// whole tables of it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/codepage.h"

namespace qm::platform::codepage {

/// Consecutive UTF-16 units from `first` on, each given as the character of
/// the code page it is written as (its look-alike); "?" for a unit that has
/// none, written as itself when the code page holds it and as "?" otherwise.
struct Run {
  char16_t first;
  std::u16string_view writtenAs;
};

/// The lead bytes from `first` to `last`.
struct ByteRange {
  std::uint8_t first, last;
};

/// Consecutive pairs of bytes from `first` (lead byte << 8 | second byte) on,
/// each given as the character it reads as.
struct Pairs {
  std::uint16_t first;
  std::u16string_view readAs;
};

/// `count` consecutive pairs from `first` on that read as the consecutive
/// characters from `from` on (the user-defined areas, Unicode-ordered blocks).
struct PairSequence {
  std::uint16_t first;
  char16_t from;
  std::uint16_t count;
};

/// A unit written as other bytes than the first byte or pair that reads as it
/// (where several do), or than what its look-alike is written as.
struct Written {
  char16_t unit;
  std::uint16_t bytes;
};

/// One code page: the characters of the bytes 80 to FF on their own (the bytes
/// below are ASCII in every Windows code page); for a double-byte code page
/// its lead bytes, what a pair that no list names reads as, the pairs, and
/// the units written otherwise; the runs of the units the code page lacks
/// that are written as a look-alike rather than as "?". Every other unit is
/// written as the first byte, else the first pair, that reads as it.
struct WindowsCodePage {
  unsigned number;
  std::u16string_view upperHalf;
  std::span<const Run> runs;
  std::span<const ByteRange> leadBytes = {};
  char16_t pairDefault = u'\0';
  std::span<const Pairs> pairs = {};
  std::span<const PairSequence> sequences = {};
  std::span<const Written> written = {};
};

/// Every code page of the generated data, by ascending number.
std::span<const WindowsCodePage> WindowsCodePages();

/// The whole table of a code page of the data; nullopt for a number it lacks.
std::optional<CodePageTable> WindowsTable(unsigned number);

}  // namespace qm::platform::codepage
