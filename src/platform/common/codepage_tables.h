// Windows' single-byte code pages as Windows converts them (MultiByteToWideChar
// and WideCharToMultiByte with no flags), for a system that has no Windows to
// ask. The data is generated (codepage_data.inc) from the windows build's
// answers; this module holds its form and makes whole tables of it.
#pragma once

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

/// One code page: the characters of the bytes 80 to FF (the bytes below are
/// ASCII in every Windows code page), and the runs of the units the code page
/// lacks that are written as a look-alike rather than as "?".
struct WindowsCodePage {
  unsigned number;
  std::u16string_view upperHalf;
  std::span<const Run> runs;
};

/// Every code page of the generated data, by ascending number.
std::span<const WindowsCodePage> WindowsCodePages();

/// The whole table of a code page of the data; nullopt for a number it lacks.
std::optional<CodePageTable> WindowsTable(unsigned number);

}  // namespace qm::platform::codepage
