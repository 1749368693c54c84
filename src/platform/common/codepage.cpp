// Where characters of the ANSI code page begin and end, the same on every
// system: from the code page's lead bytes, or from UTF-8's own form.
#include "platform/codepage.h"

#include "platform/common/text.h"

namespace qm::platform {
namespace {

constexpr unsigned kFirstNonAscii = 0x80;

}  // namespace

bool HoldsInAnsi(std::string_view utf8) { return FromAnsi(ToAnsi(utf8)) == utf8; }

bool IsMultiByteCodePage() {
  if (AnsiCodePage() == kUtf8CodePage) return true;
  for (unsigned b = kFirstNonAscii; b < CodePageTable::kBytes; ++b) {
    if (IsLeadByte(static_cast<unsigned char>(b))) return true;
  }
  return false;
}

std::size_t CharacterLength(std::string_view ansi, std::size_t at) {
  if (AnsiCodePage() == kUtf8CodePage) {
    std::size_t next = at;
    text::DecodeUtf8(ansi, next);
    return next - at;
  }
  // A NUL after a lead byte is no second byte: the lead byte stands alone.
  const bool pair = IsLeadByte(static_cast<unsigned char>(ansi[at])) && at + 1 < ansi.size() &&
                    ansi[at + 1] != '\0';
  return pair ? 2 : 1;
}

std::size_t WholeCharacters(std::string_view ansi, std::size_t maxBytes) {
  if (ansi.size() <= maxBytes) return ansi.size();
  if (!IsMultiByteCodePage()) return maxBytes;
  std::size_t end = 0;
  for (std::size_t next = 0; next <= maxBytes; next += CharacterLength(ansi, next)) {
    end = next;
    if (next == maxBytes) break;
  }
  return end;
}

}  // namespace qm::platform
