// Whole code page tables from the generated data. OS-independent.
#include "platform/common/codepage_tables.h"

#include <algorithm>
#include <cstdint>

namespace qm::platform::codepage {
namespace {

#include "platform/common/codepage_data.inc"

constexpr char16_t kDefaultChar = u'?';
constexpr std::size_t kFirstNonAscii = 0x80;

}  // namespace

std::span<const WindowsCodePage> WindowsCodePages() { return kCodePages; }

std::optional<CodePageTable> WindowsTable(unsigned number) {
  const auto pages = WindowsCodePages();
  const auto page = std::find_if(pages.begin(), pages.end(),
                                 [number](const auto& p) { return p.number == number; });
  if (page == pages.end()) return std::nullopt;
  CodePageTable table;
  std::fill(table.fromUnicode.begin(), table.fromUnicode.end(),
            static_cast<std::uint8_t>(kDefaultChar));
  // Every character of the code page is written as its own byte.
  for (std::size_t b = 0; b < table.toUnicode.size(); ++b) {
    table.toUnicode[b] = b < kFirstNonAscii ? static_cast<char16_t>(b)
                                            : page->upperHalf[b - kFirstNonAscii];
    table.fromUnicode[table.toUnicode[b]] = static_cast<std::uint8_t>(b);
  }
  // The look-alikes, as the bytes the loop above has just given their
  // characters; "?" in a run is a unit that has none.
  for (const Run& run : page->runs) {
    for (std::size_t i = 0; i < run.writtenAs.size(); ++i) {
      const char16_t as = run.writtenAs[i];
      if (as != kDefaultChar) table.fromUnicode[run.first + i] = table.fromUnicode[as];
    }
  }
  return table;
}

}  // namespace qm::platform::codepage
