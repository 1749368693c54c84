// UTF-8 <-> UTF-16 for the wide functions, through the one converter of the
// program (text.h), so that both builds replace malformed text alike.
#include "platform/common/text.h"
#include "platform/win32/win32.h"

namespace qm::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 code units");

std::wstring Widen(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view wide) {
  return text::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace qm::platform::win32
