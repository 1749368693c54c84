// Letter case by the C library's Unicode tables, those of the C.UTF-8 locale:
// the program's own locale stays "C", whose tables know the case of ASCII only
// ("ŠKODA" would stay "ŠKODA"), and the user's locale would make the result
// depend on the machine. glibc ships C.UTF-8 as a locale file; on a system
// without it (a trimmed container, an older C library) the mapping comes from
// GLib's Unicode tables instead, which the build links anyway. Both follow
// the Unicode character database, so the result is the same.
#include "platform/common/text.h"

#include <glib.h>
#include <locale.h>

#include <cwctype>

namespace qm::platform::text {
namespace {

constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kSurrogateEnd = 0xE000;
constexpr wint_t kFirstSupplementary = 0x10000;

/// The C.UTF-8 locale, freed at exit; its absence is remembered, not retried.
class UnicodeLocale {
 public:
  UnicodeLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~UnicodeLocale() {
    if (locale_ != locale_t{}) freelocale(locale_);
  }
  UnicodeLocale(const UnicodeLocale&) = delete;
  UnicodeLocale& operator=(const UnicodeLocale&) = delete;

  /// The character in the case asked for; the character itself when it has no
  /// one-to-one form in that case.
  char32_t Map(char32_t c, Case to) const {
    if (locale_ == locale_t{}) return to == Case::Lower ? g_unichar_tolower(c) : g_unichar_toupper(c);
    const auto w = static_cast<wint_t>(c);
    return static_cast<char32_t>(to == Case::Lower ? towlower_l(w, locale_) : towupper_l(w, locale_));
  }

 private:
  locale_t locale_;
};

}  // namespace

std::u16string MapCase(std::u16string text, Case to) {
  static const UnicodeLocale unicode;
  for (char16_t& unit : text) {
    // Surrogates stay: no letter outside the Basic Multilingual Plane is one
    // that a single-byte code page can hold.
    if (unit >= kHighSurrogateFirst && unit < kSurrogateEnd) continue;
    const char32_t mapped = unicode.Map(unit, to);
    // A mapping that left the plane (none does) would need two units.
    if (mapped < kFirstSupplementary) unit = static_cast<char16_t>(mapped);
  }
  return text;
}

}  // namespace qm::platform::text
