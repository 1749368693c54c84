// modTools: shared routines of the whole program.
#include "support/modTools.h"

#include <cmath>
#include <cstdio>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace qm {
namespace {

constexpr unsigned kByteBits = 8;
constexpr unsigned kLowByte = 0xFF;

// A name as 16-bit text where a character can take more than one byte: its
// UTF-16 units as the code page keeps it (through the code page and back).
// That is the name the signature's file got through the same code page, so
// Outlook, which reads the value as UTF-16, finds the file; a lead byte and
// its zero would name nothing. (In a single-byte code page each ANSI code is
// one unit, followed by the zero the caller put there.)
std::u16string WideUnits(const std::string& text) {
  return platform::text::Utf8ToUtf16(platform::FromAnsi(platform::ToAnsi(text)));
}

}  // namespace

std::string AppExeName() { return platform::ExecutableBaseName(); }

void RaiseError(const std::string& description) { throw Error(999, AppExeName(), description); }

std::string ErrorText(long number, const std::string& description) {
  return "Fehler " + std::to_string(number) + ": " + description;
}

void RaiseRuntimeError(long number) { throw err::Make(number, AppExeName()); }

std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key) {
  try {
    return platform::ReadProfileValue(file, section, key, kIniBufferSize);
  } catch (...) {
    return {};
  }
}

void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
  try {
    platform::WriteProfileValue(file, section, key, value);
  } catch (...) {
  }
}

std::string EnvironmentText(const std::string& name) {
  std::string value = platform::EnvironmentValue(name);
  if (!platform::HoldsInAnsi(value)) {
    RaiseError("Die Umgebungsvariable '" + name + "' enthält Zeichen, die im ANSI-Zeichensatz nicht darstellbar sind");
  }
  return value;
}

std::string ExpandEnvironmentVariable(const std::string& text) {
  size_t first = text.find('%');
  if (first == std::string::npos) return text;
  size_t second = text.find('%', first + 1);
  if (second == std::string::npos) return text;
  std::string token = text.substr(first, second - first + 1);
  std::string name = token.substr(1, token.size() - 2);
  if (name.empty()) return text;
  std::string value = platform::EnvironmentValue(name);
  if (value.empty()) return text;
  return ReplaceAll(text, token, value);
}

std::string GetAppFolder() { return platform::ExecutableFolder(); }

std::string AddBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string GetParentFolder(const std::string& path) {
  std::vector<std::string> parts = Split(path, "\\");
  if (parts.size() < 2) RaiseRuntimeError(err::kInvalidCall);
  std::string joined;
  for (size_t i = 0; i + 1 < parts.size(); ++i) joined += parts[i] + "\\";
  joined.pop_back();
  if (parts.size() == 2) joined += "\\";
  return joined;
}

std::size_t WideLength(const std::string& text) { return WideUnits(text).size(); }

void StringToBytes(const std::string& text, std::vector<std::uint8_t>& bytes, bool twoBytes) {
  if (bytes.empty()) return;
  const size_t upper = bytes.size() - 1;
  if (twoBytes && platform::IsMultiByteCodePage()) {
    const std::u16string units = WideUnits(text);
    const size_t n = std::min(units.size(), upper);
    for (size_t k = 0; k < n; ++k) {
      if (2 * k + 1 >= bytes.size()) RaiseRuntimeError(err::kSubscript);
      bytes[2 * k] = static_cast<std::uint8_t>(units[k] & kLowByte);
      bytes[2 * k + 1] = static_cast<std::uint8_t>(units[k] >> kByteBits);
    }
    return;
  }
  const std::string ansi = platform::ToAnsi(text);
  const size_t n = std::min(ansi.size(), upper);
  for (size_t k = 0; k < n; ++k) {
    size_t index = twoBytes ? 2 * k : k;
    if (index >= bytes.size()) RaiseRuntimeError(err::kSubscript);
    bytes[index] = static_cast<std::uint8_t>(ansi[k]);
  }
}

std::string BytesToString(const std::vector<std::uint8_t>& bytes, bool skipZeros) {
  std::string ansi;
  for (std::uint8_t b : bytes) {
    if (b != 0) {
      ansi += static_cast<char>(b);
    } else if (!skipZeros) {
      break;
    }
  }
  return platform::FromAnsi(ansi);
}

std::string HexString(std::int32_t value, std::int32_t width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", static_cast<std::uint32_t>(value));
  std::string h = buf;
  if (width > 0) {
    if (h.size() > static_cast<size_t>(width)) RaiseRuntimeError(err::kOverflow);
    return std::string(static_cast<size_t>(width) - h.size(), '0') + h;
  }
  if (width == 0) return h;
  if (width == -1) return "&H" + h;
  if (width == -2) return "&H" + h + "&";
  RaiseRuntimeError(err::kInvalidCall);
}

std::string NullToDefault(const std::optional<std::string>& value, const std::string& def) {
  if (!value || value->empty()) return def;
  return *value;
}

std::string LogEntry(const std::string& text, bool blankBefore, bool blankAfter) {
  std::string entry;
  if (blankBefore) entry += "\r\n";
  entry += platform::LocalDateTimeText();
  entry += ' ';
  entry += text;
  if (blankAfter) entry += "\r\n";
  entry += "\r\n";
  return platform::ToAnsi(entry);
}

void AppendLogLine(const std::string& path, const std::string& text, bool blankBefore, bool blankAfter) {
  const std::string entry = LogEntry(text, blankBefore, blankAfter);
  platform::OutputFile file(path, platform::OutputFile::Mode::Append);
  file.Write(entry);
  file.Close();
}

std::string Trim(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

std::string ToLower(std::string_view text) { return platform::text::ToLower(text); }
std::string ToUpper(std::string_view text) { return platform::text::ToUpper(text); }

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  for (;;) {
    size_t hit = text.find(from, i);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(i, hit - i));
    out.append(to);
    i = hit + from.size();
  }
  out.append(text.substr(i));
  return out;
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  if (separator.empty()) {
    parts.emplace_back(text);
    return parts;
  }
  size_t i = 0;
  for (;;) {
    size_t hit = text.find(separator, i);
    if (hit == std::string_view::npos) break;
    parts.emplace_back(text.substr(i, hit - i));
    i = hit + separator.size();
  }
  parts.emplace_back(text.substr(i));
  return parts;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return platform::text::EndsWithNoCase(text, suffix);
}

double Val(std::string_view text) {
  // Blanks, tabs and line feeds are skipped anywhere, as the number reader does.
  std::string s;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
  }
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  double mantissa = 0;
  bool any = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    mantissa = mantissa * 10 + (s[i++] - '0');
    any = true;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    double scale = 0.1;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      mantissa += (s[i++] - '0') * scale;
      scale /= 10;
      any = true;
    }
  }
  if (!any) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
    int exponent = 0;
    bool expAny = false;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9' && exponent < 400) {
      exponent = exponent * 10 + (s[j++] - '0');
      expAny = true;
    }
    if (expAny) mantissa *= std::pow(10.0, expNegative ? -exponent : exponent);
  }
  return negative ? -mantissa : mantissa;
}

bool NumberIsOne(std::string_view text) { return Val(text) == 1.0; }

std::optional<platform::Date> ParseDate(std::string_view text) {
  constexpr std::string_view kShape = "####-##-##";
  if (text.size() != kShape.size()) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '#' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  auto number = [text](size_t at, size_t length) {
    int n = 0;
    for (char c : text.substr(at, length)) n = n * 10 + (c - '0');
    return n;
  };
  const platform::Date date{number(0, 4), number(5, 2), number(8, 2)};
  constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  if (date.year == 0 || date.month < 1 || date.month > 12 || date.day < 1) return std::nullopt;
  const int days = kMonthDays[date.month - 1] + (date.month == 2 && leap ? 1 : 0);
  if (date.day > days) return std::nullopt;
  return date;
}

std::string DateText(const platform::Date& date) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", date.day, date.month, date.year);
  return buffer;
}

std::string RelativeLink(std::string_view name) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

}  // namespace qm
