// Letter case by the C library's Unicode tables (the C.UTF-8 locale, which
// every glibc since 2.35 has built in).
#include "platform/common/text.h"

#include <locale.h>

#include <cwctype>

namespace qm::platform::text {
namespace {

/// The locale whose LC_CTYPE holds the Unicode case tables; freed at exit.
class UnicodeLocale {
 public:
  UnicodeLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~UnicodeLocale() {
    if (locale_ != locale_t{}) freelocale(locale_);
  }
  UnicodeLocale(const UnicodeLocale&) = delete;
  UnicodeLocale& operator=(const UnicodeLocale&) = delete;
  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kSurrogateEnd = 0xE000;

}  // namespace

std::u16string MapCase(std::u16string text, Case to) {
  static const UnicodeLocale unicode;
  const locale_t locale = unicode.get() != locale_t{} ? unicode.get() : LC_GLOBAL_LOCALE;
  for (char16_t& unit : text) {
    // Surrogates stay: no letter outside the Basic Multilingual Plane is one
    // that a single-byte code page can hold.
    if (unit >= kHighSurrogateFirst && unit < kSurrogateEnd) continue;
    const auto c = static_cast<wint_t>(unit);
    const wint_t mapped = to == Case::Lower ? towlower_l(c, locale) : towupper_l(c, locale);
    // A mapping that leaves the plane (none does today) would need two units.
    if (mapped < 0x10000) unit = static_cast<char16_t>(mapped);
  }
  return text;
}

}  // namespace qm::platform::text
