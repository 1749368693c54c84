// Whole code page tables from the generated data. OS-independent.
#include "platform/common/codepage_tables.h"

#include <algorithm>
#include <vector>

namespace qm::platform::codepage {
namespace {

#include "platform/common/codepage_data.inc"

constexpr char16_t kDefaultChar = u'?';
constexpr std::size_t kFirstNonAscii = 0x80;
constexpr unsigned kByteBits = 8;

// The pairs of a double-byte code page: every lead byte with every byte after
// it reads as the default unless the data says otherwise; after a NUL there
// is no pair.
void FillPairs(const WindowsCodePage& page, CodePageTable& table) {
  table.pairs.assign(CodePageTable::kUnits, u'\0');
  for (std::size_t code = 0; code < table.pairs.size(); ++code) {
    if (table.leadByte[code >> kByteBits] && (code & 0xFF) != 0) table.pairs[code] = page.pairDefault;
  }
  for (const Pairs& p : page.pairs) {
    std::copy(p.readAs.begin(), p.readAs.end(), table.pairs.begin() + p.first);
  }
  for (const PairSequence& s : page.sequences) {
    for (std::uint16_t i = 0; i < s.count; ++i) table.pairs[s.first + i] = static_cast<char16_t>(s.from + i);
  }
}

}  // namespace

std::span<const WindowsCodePage> WindowsCodePages() { return kCodePages; }

std::optional<CodePageTable> WindowsTable(unsigned number) {
  const auto pages = WindowsCodePages();
  const auto page = std::find_if(pages.begin(), pages.end(),
                                 [number](const auto& p) { return p.number == number; });
  if (page == pages.end()) return std::nullopt;
  CodePageTable table;
  for (const ByteRange& r : page->leadBytes) {
    std::fill(table.leadByte.begin() + r.first, table.leadByte.begin() + r.last + 1, true);
  }
  for (std::size_t b = 0; b < table.toUnicode.size(); ++b) {
    table.toUnicode[b] = b < kFirstNonAscii ? static_cast<char16_t>(b)
                                            : page->upperHalf[b - kFirstNonAscii];
  }
  if (!page->leadBytes.empty()) FillPairs(*page, table);

  // Every character of the code page is written as the first byte, else the
  // first pair, that reads as it; a lead byte alone and a pair that reads as
  // the default stand for nothing.
  std::fill(table.fromUnicode.begin(), table.fromUnicode.end(), static_cast<std::uint16_t>(kDefaultChar));
  std::vector<bool> held(CodePageTable::kUnits);
  const auto hold = [&](char16_t unit, std::size_t bytes) {
    if (held[unit]) return;
    held[unit] = true;
    table.fromUnicode[unit] = static_cast<std::uint16_t>(bytes);
  };
  for (std::size_t b = 0; b < table.toUnicode.size(); ++b) {
    if (!table.leadByte[b]) hold(table.toUnicode[b], b);
  }
  for (std::size_t code = 0; code < table.pairs.size(); ++code) {
    const char16_t unit = table.pairs[code];
    if (table.leadByte[code >> kByteBits] && unit != u'\0' && unit != page->pairDefault) hold(unit, code);
  }
  for (const Written& w : page->written) table.fromUnicode[w.unit] = w.bytes;
  // The look-alikes, as the bytes the steps above have just given their
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
