// Letter case by Windows' own mapping, the one the registry and the profile
// functions use for the names they compare.
#include "platform/common/text.h"

#include "platform/win32/win32.h"

namespace qm::platform::text {

std::u16string MapCase(std::u16string text, Case to) {
  // Copied rather than cast: wchar_t and char16_t are distinct types of the
  // same size here, and the system maps in place.
  std::wstring wide(text.begin(), text.end());
  if (wide.empty()) return text;
  const auto length = static_cast<DWORD>(wide.size());
  if (to == Case::Lower) {
    CharLowerBuffW(wide.data(), length);
  } else {
    CharUpperBuffW(wide.data(), length);
  }
  return std::u16string(wide.begin(), wide.end());
}

}  // namespace qm::platform::text
