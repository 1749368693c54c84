// Letter case by the C library's Unicode tables, those of the C.UTF-8 locale:
// the program's own locale stays "C", whose tables know the case of ASCII only
// ("ŠKODA" would stay "ŠKODA"), and the user's locale would make the result
// depend on the machine. glibc ships C.UTF-8 as a locale file; on a system
// without it (a trimmed container, an older C library) the mapping comes from
// GLib's Unicode tables instead, which the build links anyway and which agree
// with the C library's on every letter a single-byte code page holds.
#include "platform/common/text.h"

#include <glib.h>
#include <locale.h>

#include <cwctype>

namespace qm::platform::text {
namespace {

constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kSurrogateEnd = 0xE000;
constexpr wint_t kFirstSupplementary = 0x10000;

/// The case tables of the C.UTF-8 locale (freed at exit), or GLib's when that
/// locale cannot be made; which one is decided once.
class CaseTables {
 public:
  CaseTables() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~CaseTables() {
    if (locale_ != locale_t{}) freelocale(locale_);
  }
  CaseTables(const CaseTables&) = delete;
  CaseTables& operator=(const CaseTables&) = delete;

  /// The character in the case asked for, by the tables as they stand.
  char32_t Map(char32_t c, Case to) const {
    if (locale_ == locale_t{}) return to == Case::Lower ? g_unichar_tolower(c) : g_unichar_toupper(c);
    const auto w = static_cast<wint_t>(c);
    return static_cast<char32_t>(to == Case::Lower ? towlower_l(w, locale_) : towupper_l(w, locale_));
  }

  /// The character in the case asked for as Windows maps it: Windows' tables
  /// hold pairs only, a letter changes only into one that changes back. So the
  /// micro sign µ stays µ in upper case instead of becoming the Greek Μ (whose
  /// lower case is μ, another character), the dotless ı stays ı and the capital
  /// ẞ stays ẞ. With this rule the C library's result is, over the whole Basic
  /// Multilingual Plane, the one Wine's copy of the Windows tables gives.
  char32_t MapAsWindows(char32_t c, Case to) const {
    const char32_t mapped = Map(c, to);
    return Map(mapped, to == Case::Lower ? Case::Upper : Case::Lower) == c ? mapped : c;
  }

 private:
  locale_t locale_;
};

}  // namespace

std::u16string MapCase(std::u16string text, Case to) {
  static const CaseTables tables;
  for (char16_t& unit : text) {
    // Surrogates stay: no letter outside the Basic Multilingual Plane is one
    // that a single-byte code page can hold.
    if (unit >= kHighSurrogateFirst && unit < kSurrogateEnd) continue;
    const char32_t mapped = tables.MapAsWindows(unit, to);
    // A mapping that left the plane (none does) would need two units.
    if (mapped < kFirstSupplementary) unit = static_cast<char16_t>(mapped);
  }
  return text;
}

}  // namespace qm::platform::text
