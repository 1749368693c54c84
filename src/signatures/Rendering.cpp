// One template file into one signature file, line by line, with the user's
// values in place of the placeholders. The work is done on the bytes of the
// ANSI code page, so whatever else the template holds passes through
// unchanged; a placeholder is found only where a character begins.
#include "signatures/Rendering.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "log/modHelper.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/files.h"
#include "records/RunState.h"
#include "records/UserData.h"
#include "signatures/Placeholders.h"
#include "support/modTools.h"

namespace qm {
namespace {

// FULLNAME and SIGNTITLE are composed from several fields, the others name one field.
using Value = PlaceholderValue;

std::string Extension(int format) {
  switch (format) {
    case kFormatHtm: return "htm";
    case kFormatRtf: return "rtf";
    case kFormatTxt: return "txt";
    default: return "";
  }
}

// A value in the file's code page, escaped for the format when the run asks for it.
std::string Encoded(const std::string& utf8, int format) {
  return RunState.EscapeValues ? EscapeValue(utf8, format) : platform::ToAnsi(utf8);
}

std::string FullName(int format) {
  const std::string& title = UserData[UserField::Title];
  const std::string& initials = UserData[UserField::Initials];
  return Encoded((title.empty() ? "" : title + " ") + UserData[UserField::FirstName] + " " +
                     (initials.empty() ? "" : initials + " ") + UserData[UserField::LastName],
                 format);
}

// The two titles are escaped each; the break between them is the format's markup.
std::string SignTitle(int format) {
  const std::string first = Encoded(UserData[UserField::SignTitle1], format);
  const std::string& second = UserData[UserField::SignTitle2];
  if (second.empty()) return first;
  switch (format) {
    case kFormatHtm: return first + "<br>" + Encoded(second, format);
    case kFormatRtf: return first + "\r\n\\par " + Encoded(second, format);
    default: return first + "\r\n" + Encoded(second, format);
  }
}

// Spaces and control blanks only: a user "without a fax number" often has a
// blank in the field rather than nothing.
bool IsBlank(std::string_view utf8) {
  return utf8.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

// Whether the placeholder stands for nothing, the same in every format: a
// composed value when all of its parts are blank.
bool IsBlankValue(const Placeholder& p) {
  switch (p.kind) {
    case Value::FullName:
      return IsBlank(UserData[UserField::Title]) && IsBlank(UserData[UserField::FirstName]) &&
             IsBlank(UserData[UserField::Initials]) && IsBlank(UserData[UserField::LastName]);
    case Value::SignTitle:
      return IsBlank(UserData[UserField::SignTitle1]) && IsBlank(UserData[UserField::SignTitle2]);
    default: return IsBlank(UserData[p.field]);
  }
}

// Pattern and value of one placeholder, in the ANSI code page; the composed
// values are built only when a line needs them.
enum class Inertness { Unknown, Yes, No };
struct Row {
  std::string pattern;
  std::string value;
  bool ready = false;
  bool blank = false;
  Inertness inert = Inertness::Unknown;  // whether the value holds no placeholder
};

// Above it, characters go into htm as character references.
constexpr char32_t kLastPlainHtm = 0x7E;
constexpr char32_t kFirstNonAscii = 0x80;
// Rendered lines are written in pieces of about this size.
constexpr size_t kWriteChunk = size_t{1} << 16;

void AppendHtm(std::string& out, char32_t c) {
  switch (c) {
    case U'&': out += "&amp;"; return;
    case U'<': out += "&lt;"; return;
    case U'>': out += "&gt;"; return;
    case U'"': out += "&quot;"; return;
    default: break;
  }
  if (c > kLastPlainHtm) {
    out += "&#" + std::to_string(static_cast<std::uint32_t>(c)) + ";";
  } else {
    out += static_cast<char>(c);
  }
}

// A character of the code page goes in as its bytes, so that readers that know
// no Unicode control words see it too; what the code page lacks (or only has a
// look-alike for, as Windows' best-fit tables give "L" for "Ł") goes in as a
// Unicode control word per UTF-16 unit, with "?" for those readers.
void AppendRtf(std::string& out, char32_t c) {
  if (c == U'\\' || c == U'{' || c == U'}') {
    out += '\\';
    out += static_cast<char>(c);
    return;
  }
  if (c < kFirstNonAscii) {
    out += static_cast<char>(c);
    return;
  }
  std::string utf8;
  platform::text::AppendUtf8(utf8, c);
  const std::string ansi = platform::ToAnsi(utf8);
  if (platform::FromAnsi(ansi) == utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char byte : ansi) {
      const auto b = static_cast<unsigned char>(byte);
      out += "\\'";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
    return;
  }
  for (const char16_t unit : platform::text::Utf8ToUtf16(utf8)) {
    out += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + "?";
  }
}

// The first place at or after `from` (where a character begins) at which the
// pattern stands in the line as whole characters. In a double-byte code page
// a byte such as "@" (40) is also the second byte of many characters
// (Japanese "　" is 81 40), where no placeholder begins.
size_t FindWhole(std::string_view line, std::string_view pattern, size_t from, bool doubleByte) {
  size_t hit = line.find(pattern, from);
  if (!doubleByte) return hit;
  for (size_t at = from; hit != std::string_view::npos; hit = line.find(pattern, hit + 1)) {
    while (at < hit) at += platform::CharacterLength(line, at);
    if (at == hit) return hit;
  }
  return hit;
}

void ReplaceInPlace(std::string& line, const std::string& pattern, const std::string& value,
                    bool doubleByte) {
  size_t hit = FindWhole(line, pattern, 0, doubleByte);
  if (hit == std::string::npos) return;
  std::string out;
  out.reserve(line.size());
  size_t from = 0;
  while (hit != std::string::npos) {
    out.append(line, from, hit - from);
    out.append(value);
    from = hit + pattern.size();
    hit = FindWhole(line, pattern, from, doubleByte);
  }
  out.append(line, from, std::string::npos);
  line.swap(out);
}

// The letters and digits placeholder names are made of.
constexpr bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Names are told apart by their length and their first and last letter or
// digit: the key of a name in the table below.
constexpr size_t kLetters = 26;
constexpr size_t kDigits = 10;
constexpr size_t kNameBytes = kLetters + kDigits;
constexpr auto kShorterName = [](const Placeholder& a, const Placeholder& b) {
  return a.name.size() < b.name.size();
};
constexpr size_t kShortestName =
    std::min_element(kPlaceholders.begin(), kPlaceholders.end(), kShorterName)->name.size();
constexpr size_t kLongestName =
    std::max_element(kPlaceholders.begin(), kPlaceholders.end(), kShorterName)->name.size();
constexpr size_t kNameKeys = (kLongestName - kShortestName + 1) * kNameBytes * kNameBytes;
constexpr size_t NameByteIndex(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<size_t>(c - 'A')
                              : static_cast<size_t>(c - '0') + kLetters;
}
// A run of name bytes of a length that no name has gets kNameKeys.
constexpr size_t NameKey(std::string_view name) {
  if (name.size() < kShortestName || name.size() > kLongestName) return kNameKeys;
  return ((name.size() - kShortestName) * kNameBytes + NameByteIndex(name.front())) * kNameBytes +
         NameByteIndex(name.back());
}
// The row of each key; kPlaceholders.size() for a key of no name.
constexpr auto kRowByKey = [] {
  std::array<std::uint8_t, kNameKeys + 1> rows{};
  rows.fill(static_cast<std::uint8_t>(kPlaceholders.size()));
  for (size_t i = 0; i < kPlaceholders.size(); ++i)
    rows[NameKey(kPlaceholders[i].name)] = static_cast<std::uint8_t>(i);
  return rows;
}();
static_assert(
    [] {
      for (size_t i = 0; i < kPlaceholders.size(); ++i) {
        if (kRowByKey[NameKey(kPlaceholders[i].name)] != i) return false;
      }
      return true;
    }(),
    "two placeholder names with the same key");

// Renders the lines of one file. The placeholders are replaced one after the
// other, each in the whole line, in the table's order: a value that holds the
// pattern of a later placeholder has it replaced too, and one placeholder's
// replacement can take away or complete the pattern of a later one
// ("@PH@TITLE@ONE@" with an empty title is a phone number). Done that way, a
// line costs one search per placeholder; most lines get the same bytes from
// one pass that finds every placeholder and puts each value in its place.
//
// One pass gives those bytes for certain when
//  - the symbol is not empty and holds no letter or digit of a name, so that
//    a placeholder is the symbol, a whole run of those letters and digits
//    that is a name, and the symbol;
//  - every placeholder of the line stands beside bytes that cannot be part of
//    a placeholder (neither a name's letter or digit nor a byte of the symbol)
//    or at the line's start or end: then no replacement can join the bytes
//    around it into a new placeholder, nor take one away (no two placeholders
//    overlap, as they do in "@FAX@FAX@");
//  - no value put in holds a placeholder itself.
// Any other line is rendered the one-after-the-other way.
class LineRenderer {
 public:
  explicit LineRenderer(int format)
      : format_(format), symbol_(platform::ToAnsi(RunState.PlaceholderSymbol)) {
    // The settings reader has already turned an empty setting into "@"; a symbol
    // that is empty here leaves the bare names as patterns.
    for (size_t i = 0; i < kPlaceholders.size(); ++i) {
      rows_[i].pattern = symbol_ + std::string(kPlaceholders[i].name) + symbol_;
      rows_[i].blank = IsBlankValue(kPlaceholders[i]);
      if (kPlaceholders[i].kind == Value::Field) {
        rows_[i].value = Encoded(UserData[kPlaceholders[i].field], format);
        rows_[i].ready = true;
      }
    }
    onePass_ = !symbol_.empty();
    for (const char c : symbol_) onePass_ = onePass_ && !IsNameByte(static_cast<unsigned char>(c));
    for (unsigned c = 0; c < guard_.size(); ++c)
      guard_[c] = !IsNameByte(static_cast<unsigned char>(c));
    for (const char c : symbol_) guard_[static_cast<unsigned char>(c)] = false;
    for (unsigned c = 0; c < guard_.size() && !doubleByte_; ++c)
      doubleByte_ = platform::IsLeadByte(static_cast<unsigned char>(c));
  }

  /// Appends the rendered line and its line end to out, or nothing for a line
  /// that is left out.
  void Render(std::string& line, std::string_view lineEnd, std::string& out) {
    if (onePass_ && FindAll(line)) {
      RenderOnePass(line, lineEnd, out);
    } else {
      RenderInOrder(line, lineEnd, out);
    }
  }

 private:
  // A placeholder found in the line: its bytes [begin, end) and its row.
  struct Match {
    size_t begin, end, row;
  };

  const std::string& ValueOf(size_t i) {
    Row& row = rows_[i];
    if (!row.ready) {
      row.value = kPlaceholders[i].kind == Value::FullName ? FullName(format_) : SignTitle(format_);
      row.ready = true;
    }
    return row.value;
  }

  // The row of the placeholder name; kPlaceholders.size() for none.
  static size_t RowOf(std::string_view name) {
    const size_t row = kRowByKey[NameKey(name)];
    if (row == kPlaceholders.size() || name.size() != kPlaceholders[row].name.size())
      return kPlaceholders.size();
    // Length and ends are the key's: the bytes between them are left to compare.
    for (size_t k = 1; k + 1 < name.size(); ++k) {
      if (name[k] != kPlaceholders[row].name[k]) return kPlaceholders.size();
    }
    return row;
  }

  bool SymbolAt(std::string_view text, size_t at) const {
    if (symbol_.size() == 1) return at < text.size() && text[at] == symbol_[0];
    return text.compare(at, symbol_.size(), symbol_) == 0;
  }

  // Every placeholder of text, in order, into matches_.
  void Scan(std::string_view text) {
    matches_.clear();
    const size_t n = text.size(), s = symbol_.size();
    for (size_t at = text.find(symbol_[0]); at != std::string_view::npos;) {
      if (!SymbolAt(text, at)) {
        at = text.find(symbol_[0], at + 1);
        continue;
      }
      size_t nameEnd = at + s;
      while (nameEnd < n && IsNameByte(static_cast<unsigned char>(text[nameEnd]))) ++nameEnd;
      // No symbol starts inside the symbol just found or inside the name.
      const size_t next = nameEnd == at + s ? at + 1 : nameEnd;
      if (nameEnd > at + s && SymbolAt(text, nameEnd)) {
        const size_t row = RowOf(text.substr(at + s, nameEnd - at - s));
        if (row < kPlaceholders.size()) matches_.push_back(Match{at, nameEnd + s, row});
      }
      at = text.find(symbol_[0], next);
    }
  }

  // Whether the value of the row holds no placeholder; found out once per file.
  bool Inert(size_t i) {
    Row& row = rows_[i];
    if (row.inert == Inertness::Unknown) {
      std::vector<Match> line;
      line.swap(matches_);
      Scan(ValueOf(i));
      row.inert = matches_.empty() ? Inertness::Yes : Inertness::No;
      matches_.swap(line);
    }
    return row.inert == Inertness::Yes;
  }

  // Finds the line's placeholders; false when one pass cannot be certain of the bytes.
  bool FindAll(std::string_view line) {
    Scan(line);
    for (const Match& m : matches_) {
      if (m.begin > 0 && !guard_[static_cast<unsigned char>(line[m.begin - 1])]) return false;
      if (m.end < line.size() && !guard_[static_cast<unsigned char>(line[m.end])]) return false;
    }
    for (const Match& m : matches_) {
      if (!Inert(m.row)) return false;
    }
    // A match at the second byte of a character is none; the search one
    // placeholder after the other leaves it.
    if (!doubleByte_) return true;
    size_t at = 0;
    for (const Match& m : matches_) {
      while (at < m.begin) at += platform::CharacterLength(line, at);
      if (at != m.begin) return false;
    }
    return true;
  }

  void RenderOnePass(std::string_view line, std::string_view lineEnd, std::string& out) {
    bool filled = false;
    for (const Match& m : matches_) filled = filled || !rows_[m.row].blank;
    // One item per template line: a fax line for a user without a fax number
    // goes, line end and all.
    if (RunState.DropEmptyLines && !matches_.empty() && !filled) return;
    size_t from = 0;
    for (const Match& m : matches_) {
      out.append(line, from, m.begin - from);
      out += ValueOf(m.row);
      from = m.end;
    }
    out.append(line, from, std::string_view::npos);
    out += lineEnd;
  }

  void RenderInOrder(std::string& line, std::string_view lineEnd, std::string& out) {
    bool placeholder = false;
    bool filled = false;
    for (size_t i = 0; i < rows_.size(); ++i) {
      Row& row = rows_[i];
      if (FindWhole(line, row.pattern, 0, doubleByte_) == std::string::npos) continue;
      placeholder = true;
      filled = filled || !row.blank;
      ReplaceInPlace(line, row.pattern, ValueOf(i), doubleByte_);
    }
    if (RunState.DropEmptyLines && placeholder && !filled) return;
    out += line;
    out += lineEnd;
  }

  int format_;
  std::string symbol_;
  bool onePass_ = false;
  bool doubleByte_ = false;
  std::array<bool, 256> guard_{};
  std::array<Row, kPlaceholders.size()> rows_;
  std::vector<Match> matches_;
};

// Reads a file line by line: a line ends at CR LF or at a lone CR, and is
// written with CR LF; a lone LF is an ordinary character. Where lines are
// worked on one by one (DropEmptyLines), a lone LF ends a line too, as in a
// template saved by Git or a macOS editor, and is written back as it was.
// Only the current line is held in memory.
class LineReader {
 public:
  LineReader(const std::string& path, bool lfEndsLine) : file_(path), lfEndsLine_(lfEndsLine) {}

  /// The next line into `line`, and the line end to write after it; false at
  /// the end of the file.
  bool Next(std::string& line, std::string_view& lineEnd) {
    line.clear();
    lineEnd = kCrLf;
    bool any = false;
    for (;;) {
      if (pos_ == buffer_.size() && !Fill()) return any;
      any = true;
      const size_t end = lfEndsLine_ ? buffer_.find_first_of("\r\n", pos_) : buffer_.find('\r', pos_);
      if (end == std::string::npos) {
        line.append(buffer_, pos_, std::string::npos);
        pos_ = buffer_.size();
        continue;
      }
      line.append(buffer_, pos_, end - pos_);
      pos_ = end + 1;
      if (buffer_[end] == '\n') {
        lineEnd = kLf;
        return true;
      }
      if (pos_ == buffer_.size()) Fill();
      if (pos_ < buffer_.size() && buffer_[pos_] == '\n') ++pos_;
      return true;
    }
  }

 private:
  bool Fill() {
    if (eof_) return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    size_t old = buffer_.size();
    buffer_.resize(old + kChunk);
    size_t n = file_.Read(buffer_.data() + old, kChunk);
    buffer_.resize(old + n);
    if (n == 0) eof_ = true;
    return n > 0;
  }

  static constexpr size_t kChunk = 1 << 16;
  static constexpr std::string_view kCrLf = "\r\n";
  static constexpr std::string_view kLf = "\n";
  platform::InputFile file_;
  bool lfEndsLine_;
  std::string buffer_;
  size_t pos_ = 0;
  bool eof_ = false;
};

}  // namespace

std::string EscapeValue(std::string_view utf8, int format) {
  if (format != kFormatHtm && format != kFormatRtf) return platform::ToAnsi(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t c = platform::text::DecodeUtf8(utf8, pos);
    if (format == kFormatHtm) {
      AppendHtm(out, c);
    } else {
      AppendRtf(out, c);
    }
  }
  return out;
}

void CreateSignatureFile(const std::string& signType, const std::string& targetName, int format) {
  const std::string ext = Extension(format);
  const std::string source = RunState.TemplateFolderPath + signType + "." + ext;
  const std::string target = RunState.SignatureFolderPath + targetName + "." + ext;
  WriteLog("-> Erzeuge " + ToUpper(ext) + "-Datei|" + target);

  LineRenderer renderer(format);
  LineReader reader(source, RunState.DropEmptyLines);
  platform::OutputFile out(target, platform::OutputFile::Mode::Replace);
  std::string line;
  std::string_view lineEnd;
  std::string pending;
  while (reader.Next(line, lineEnd)) {
    renderer.Render(line, lineEnd, pending);
    if (pending.size() >= kWriteChunk) {
      out.Write(pending);
      pending.clear();
    }
  }
  out.Write(pending);
  out.Close();
}

}  // namespace qm
