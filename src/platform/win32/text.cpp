// Letter case by Windows' own mapping.
#include "platform/common/text.h"

#include "platform/win32/win32.h"

namespace qm::platform::text {

std::u16string MapCase(std::u16string text, Case to) {
  if (text.empty()) return text;
  auto* buffer = reinterpret_cast<wchar_t*>(text.data());
  const auto length = static_cast<DWORD>(text.size());
  if (to == Case::Lower) {
    CharLowerBuffW(buffer, length);
  } else {
    CharUpperBuffW(buffer, length);
  }
  return text;
}

}  // namespace qm::platform::text
