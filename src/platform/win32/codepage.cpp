// The system's ANSI code page (CP_ACP), converted by Windows itself.
#include "platform/codepage.h"

#include "platform/error.h"
#include "platform/win32/win32.h"

namespace qm::platform {
namespace {

constexpr char kDefaultChar[] = "?";
constexpr int kPairBytes = 2;
constexpr unsigned kByteBits = 8;

[[noreturn]] void ThrowConversionError() {
  const auto number = static_cast<long>(GetLastError());
  throw err::FromPlatform(number, "Quillmark",
                          "Der Text konnte nicht in die ANSI-Codepage " + std::to_string(GetACP()) +
                              " oder aus ihr umgewandelt werden");
}

}  // namespace

unsigned AnsiCodePage() { return GetACP(); }

std::optional<std::string> CodePageRefusal() { return std::nullopt; }

std::string ToAnsi(std::string_view utf8) {
  if (utf8.empty()) return {};
  const std::wstring wide = win32::Widen(utf8);
  // With "Use Unicode UTF-8 for worldwide language support" the ANSI code page
  // is UTF-8, for which Windows takes no default character: asked with one,
  // it refuses (ERROR_INVALID_PARAMETER) and every text would come out empty.
  // Wine converts anyway.
  const bool utf8Page = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  const char* defaultChar = utf8Page ? nullptr : kDefaultChar;
  BOOL* used = utf8Page ? nullptr : &usedDefault;
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, defaultChar, used);
  if (n <= 0) ThrowConversionError();
  std::string out(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                          defaultChar, used) != n) {
    ThrowConversionError();
  }
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (n <= 0) ThrowConversionError();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n) != n)
    ThrowConversionError();
  return win32::Narrow(wide);
}

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

std::optional<CodePageTable> ReadCodePageTable(unsigned codePage) {
  CPINFO info{};
  if (!IsValidCodePage(codePage) || !GetCPInfo(codePage, &info) || info.MaxCharSize > kPairBytes)
    return std::nullopt;
  CodePageTable table;
  for (size_t b = 0; b < table.toUnicode.size(); ++b) {
    const char byte = static_cast<char>(b);
    wchar_t unit = L'\0';
    MultiByteToWideChar(codePage, 0, &byte, 1, &unit, 1);
    table.toUnicode[b] = static_cast<char16_t>(unit);
    table.leadByte[b] = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(b)) != FALSE;
  }
  if (info.MaxCharSize == kPairBytes) {
    table.pairs.assign(CodePageTable::kUnits, u'\0');
    for (size_t code = 0; code < table.pairs.size(); ++code) {
      if (!table.leadByte[code >> kByteBits]) continue;
      const char bytes[kPairBytes] = {static_cast<char>(code >> kByteBits), static_cast<char>(code)};
      wchar_t units[kPairBytes] = {};
      // Two units: the bytes are read one by one, no pair.
      if (MultiByteToWideChar(codePage, 0, bytes, kPairBytes, units, kPairBytes) == 1)
        table.pairs[code] = static_cast<char16_t>(units[0]);
    }
  }
  // One unit at a time, the way the conversion treats every unit of a text.
  for (size_t u = 0; u < table.fromUnicode.size(); ++u) {
    const auto unit = static_cast<wchar_t>(u);
    unsigned char bytes[kPairBytes] = {};
    const int n = WideCharToMultiByte(codePage, 0, &unit, 1, reinterpret_cast<char*>(bytes),
                                      kPairBytes, nullptr, nullptr);
    table.fromUnicode[u] =
        static_cast<std::uint16_t>(n == kPairBytes ? (bytes[0] << kByteBits) | bytes[1] : bytes[0]);
  }
  return table;
}

}  // namespace qm::platform
