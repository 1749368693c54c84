// One template file into one signature file, line by line, with the user's
// values in place of the placeholders. The work is done on the bytes of the
// ANSI code page, so whatever else the template holds passes through
// unchanged; a placeholder is found only where a character begins.
#include "signatures/Rendering.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "log/modHelper.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/files.h"
#include "records/Run.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "signatures/ByteSearch.h"
#include "signatures/OwnFiles.h"
#include "signatures/Placeholders.h"
#include "signatures/Rules.h"
#include "signatures/TemplateConditions.h"
#include "support/Like.h"
#include "support/modTools.h"

namespace qm {
namespace {

// FULLNAME and SIGNTITLE are composed from several fields, the others name one field.
using Value = PlaceholderValue;
// A picture in rtf: its bytes as hex digits, this many to a line.
constexpr size_t kRtfHexLine = 128;
// Twips (1/1440 inch) per pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;

// The photo's file beside a signature.
std::string PhotoFileName(const std::string& targetName, const PhotoRecord& photo) {
  return targetName + "_photo." + photo.Extension;
}

// @PHOTO@ in each format: the file's name as a relative link in htm (every
// byte outside the unreserved characters percent-encoded: a blank or "#" in a
// signature's name would end the link), the picture itself in rtf, nothing
// in txt.
std::string PhotoValue(int format, const std::string& targetName, const PhotoRecord& photo) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (format == kFormatHtm) return RelativeLink(platform::ToAnsi(PhotoFileName(targetName, photo)));
  if (format != kFormatRtf) return "";
  std::string pict = std::string("{\\pict\\") + (photo.Extension == "png" ? "pngblip" : "jpegblip") +
                     "\\picw" + std::to_string(photo.Width) + "\\pich" + std::to_string(photo.Height) +
                     "\\picwgoal" + std::to_string(photo.Width * kTwipsPerPixel) + "\\pichgoal" +
                     std::to_string(photo.Height * kTwipsPerPixel);
  pict.reserve(pict.size() + photo.Bytes.size() * 2 + photo.Bytes.size() / (kRtfHexLine / 2) * 2 + 4);
  for (size_t i = 0; i < photo.Bytes.size(); ++i) {
    if (i % (kRtfHexLine / 2) == 0) pict += "\r\n";
    const auto b = static_cast<unsigned char>(photo.Bytes[i]);
    pict += kHex[b >> 4];
    pict += kHex[b & 0xF];
  }
  return pict + "}";
}

std::string Extension(int format) {
  switch (format) {
    case kFormatHtm: return "htm";
    case kFormatRtf: return "rtf";
    case kFormatTxt: return "txt";
    default: return "";
  }
}

// A value in the file's code page, escaped for the format when the run asks for it.
std::string Encoded(const std::string& utf8, int format, bool escape) {
  return escape ? EscapeValue(utf8, format) : platform::ToAnsi(utf8);
}

std::string FullName(const UserDataRecord& data, int format, bool escape) {
  const std::string& title = data[UserField::Title];
  const std::string& initials = data[UserField::Initials];
  return Encoded((title.empty() ? "" : title + " ") + data[UserField::FirstName] + " " +
                     (initials.empty() ? "" : initials + " ") + data[UserField::LastName],
                 format, escape);
}

// The two titles are escaped each; the break between them is the format's markup.
std::string SignTitle(const UserDataRecord& data, int format, bool escape) {
  const std::string first = Encoded(data[UserField::SignTitle1], format, escape);
  const std::string& second = data[UserField::SignTitle2];
  if (second.empty()) return first;
  switch (format) {
    case kFormatHtm: return first + "<br>" + Encoded(second, format, escape);
    case kFormatRtf: return first + "\r\n\\par " + Encoded(second, format, escape);
    default: return first + "\r\n" + Encoded(second, format, escape);
  }
}

// Spaces and control blanks only: a user "without a fax number" often has a
// blank in the field rather than nothing.
bool IsBlank(std::string_view utf8) {
  return utf8.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

// Whether the placeholder stands for nothing, the same in every format: a
// composed value when all of its parts are blank.
bool IsBlankValue(const Placeholder& p, const UserDataRecord& data) {
  switch (p.kind) {
    case Value::FullName:
      return IsBlank(data[UserField::Title]) && IsBlank(data[UserField::FirstName]) &&
             IsBlank(data[UserField::Initials]) && IsBlank(data[UserField::LastName]);
    case Value::SignTitle:
      return IsBlank(data[UserField::SignTitle1]) && IsBlank(data[UserField::SignTitle2]);
    default: return IsBlank(data[p.field]);
  }
}

// Pattern and value of one placeholder, in the ANSI code page; the composed
// values are built only when a line needs them.
enum class Inertness { Unknown, Yes, No };
struct Row {
  std::string name;                        // "FIRSTNAME", "MAILBOX_FIRSTNAME"
  bool used = false;                       // put in at least once
  const Placeholder* placeholder = nullptr;
  const UserDataRecord* data = nullptr;    // the user's or the mailbox's
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

// The letters, digits and underscores placeholder names are made of.
constexpr bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Conditions remembered while one file is read; a template of more
// distinct markers than this forgets and decides them again.
constexpr size_t kKnownMarkers = 1024;

// The markup around a format's text.
Markup MarkupOf(int format) {
  return format == kFormatHtm ? Markup::Tags : format == kFormatRtf ? Markup::Rtf : Markup::None;
}

// The data of the placeholders, each with the prefix of its names, in the
// order they are replaced.
std::vector<std::pair<std::string_view, const UserDataRecord*>> Sources(const SignatureData& data) {
  std::vector<std::pair<std::string_view, const UserDataRecord*>> sources = {{"", data.user}};
  if (data.mailbox != nullptr) sources.emplace_back(kMailboxPrefix, data.mailbox);
  if (data.manager != nullptr) sources.emplace_back(kManagerPrefix, data.manager);
  if (data.mailboxManager != nullptr) sources.emplace_back(kMailboxManagerPrefix, data.mailboxManager);
  return sources;
}

// A value as the conditions see it: the text the run holds, before any code page.
std::string RawValue(const Placeholder& p, const UserDataRecord& d) {
  switch (p.kind) {
    case Value::FullName: {
      const std::string& title = d[UserField::Title];
      const std::string& initials = d[UserField::Initials];
      return (title.empty() ? "" : title + " ") + d[UserField::FirstName] + " " +
             (initials.empty() ? "" : initials + " ") + d[UserField::LastName];
    }
    case Value::Photo: return "";
    case Value::SignTitle:
      return d[UserField::SignTitle1] +
             (d[UserField::SignTitle2].empty() ? "" : "\r\n" + d[UserField::SignTitle2]);
    default: return d[p.field];
  }
}

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
  LineRenderer(const RunStateValues& state, int format, const SignatureData& data, const std::string& targetName)
      : format_(format),
        escape_(state.EscapeValues),
        dropEmptyLines_(state.DropEmptyLines),
        symbol_(platform::ToAnsi(state.PlaceholderSymbol)),
        data_(data) {
    // The user's placeholders, then the same names after the prefix of each
    // other data the signature has (a mailbox's, the managers').
    for (const auto& [prefix, record] : Sources(data)) {
      for (const Placeholder& p : kPlaceholders) {
        Row& row = rows_.emplace_back();
        row.name = std::string(prefix) + std::string(p.name);
        row.placeholder = &p;
        row.data = record;
      }
    }
    if (data.photo != nullptr) {
      Row& row = rows_.emplace_back();
      row.name = std::string(kPhotoPlaceholder.name);
      row.placeholder = &kPhotoPlaceholder;
      row.data = data.user;
    }
    // The settings reader has already turned an empty setting into "@"; a symbol
    // that is empty here leaves the bare names as patterns.
    for (size_t i = 0; i < rows_.size(); ++i) {
      Row& row = rows_[i];
      row.pattern = symbol_ + row.name + symbol_;
      if (row.placeholder->kind == Value::Photo) {
        row.blank = data.photo->Bytes.empty();
        row.value = row.blank ? std::string() : PhotoValue(format, targetName, *data.photo);
        row.ready = true;
        byName_.emplace_back(row.name, i);
        continue;
      }
      row.blank = IsBlankValue(*row.placeholder, *row.data);
      if (row.placeholder->kind == Value::Field) {
        row.value = Encoded((*row.data)[row.placeholder->field], format, escape_);
        row.ready = true;
      }
      byName_.emplace_back(row.name, i);
    }
    size_t slots = kFewestSlots;
    slotShift_ = kKeyBits - kFewestSlotBits;
    while (slots < kSlotsPerName * byName_.size()) {
      slots *= 2;
      --slotShift_;
    }
    slots_.resize(slots);
    for (const auto& [name, row] : byName_) {
      if (RowOf(name) < rows_.size()) continue;  // the first of a name is the one
      const NameKey key = KeyOf(name);
      size_t i = SlotOf(key);
      while (slots_[i].row != kNoRow) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = Slot{key, row};
      longestName_ = std::max(longestName_, name.size());
    }
    for (unsigned c = 0; c < nameByte_.size(); ++c) nameByte_[c] = IsNameByte(static_cast<unsigned char>(c));
    onePass_ = !symbol_.empty();
    for (const char c : symbol_) onePass_ = onePass_ && !IsNameByte(static_cast<unsigned char>(c));
    for (unsigned c = 0; c < guard_.size(); ++c)
      guard_[c] = !IsNameByte(static_cast<unsigned char>(c));
    for (const char c : symbol_) guard_[static_cast<unsigned char>(c)] = false;
    for (unsigned c = 0; c < guard_.size() && !doubleByte_; ++c)
      doubleByte_ = platform::IsLeadByte(static_cast<unsigned char>(c));
  }

  /// Whether @PHOTO@ was put in.
  bool PhotoUsed() const {
    return std::any_of(rows_.begin(), rows_.end(), [](const Row& r) {
      return r.used && r.placeholder->kind == Value::Photo;
    });
  }

  /// The names of the placeholders, upper case, for the conditions.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const Row& row : rows_) names.push_back(row.name);
    return names;
  }

  /// Whether a marker's condition holds: the field is not blank (and its
  /// value matches the pattern, without regard to case), or the user or
  /// mailbox is in one of the groups.
  bool Holds(const TemplateMarker& marker) const {
    bool holds = false;
    if (marker.groups) {
      holds = data_.membership != nullptr &&
              std::any_of(marker.groups->begin(), marker.groups->end(),
                          [this](const std::string& g) { return IsMember(*data_.membership, g); });
    } else {
      const size_t i = RowOf(marker.name);
      if (i < rows_.size()) {
        const Row& row = rows_[i];
        holds = marker.pattern ? LikeNoCase(RawValue(*row.placeholder, *row.data), *marker.pattern)
                               : !row.blank;
      }
    }
    return marker.kind == TemplateMarker::Kind::IfNot ? !holds : holds;
  }

  /// Appends the rendered line and its line end to out, or nothing for a line
  /// that is left out.
  void Render(std::string_view line, std::string_view lineEnd, std::string& out) {
    if (onePass_ && FindAll(line)) {
      RenderOnePass(line, lineEnd, out);
    } else {
      inOrder_.assign(line);
      RenderInOrder(inOrder_, lineEnd, out);
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
      row.value = row.placeholder->kind == Value::FullName ? FullName(*row.data, format_, escape_)
                                                           : SignTitle(*row.data, format_, escape_);
      row.ready = true;
    }
    return row.value;
  }

  // A name told by its length, its first and its last eight bytes (a shorter
  // one by its bytes in `head`): all of a name up to 16 bytes long.
  struct NameKey {
    std::uint64_t head = 0, tail = 0;
    size_t length = 0;
    bool operator==(const NameKey&) const = default;
  };
  static constexpr size_t kKeyBytes = sizeof(std::uint64_t);
  static NameKey KeyOf(std::string_view name) {
    NameKey key;
    key.length = name.size();
    if (name.size() >= kKeyBytes) {
      std::memcpy(&key.head, name.data(), kKeyBytes);
      std::memcpy(&key.tail, name.data() + name.size() - kKeyBytes, kKeyBytes);
    } else {
      for (const char c : name) key.head = key.head << CHAR_BIT | static_cast<unsigned char>(c);
    }
    return key;
  }
  // The top bits of the mixed key, where every byte of it counts.
  size_t SlotOf(const NameKey& key) const {
    constexpr std::uint64_t kMixHead = 0x9E3779B97F4A7C15u, kMixTail = 0xC2B2AE3D27D4EB4Fu;
    const std::uint64_t mixed = key.head * kMixHead + (key.tail + key.length) * kMixTail;
    return static_cast<size_t>(mixed >> slotShift_);
  }

  // The row of the placeholder name; rows_.size() for none.
  size_t RowOf(std::string_view name) const {
    const NameKey key = KeyOf(name);
    for (size_t i = SlotOf(key);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& slot = slots_[i];
      if (slot.row == kNoRow) return rows_.size();
      if (slot.key == key && (name.size() <= 2 * kKeyBytes || rows_[slot.row].name == name)) return slot.row;
    }
  }

  bool SymbolAt(std::string_view text, size_t at) const {
    if (symbol_.size() == 1) return at < text.size() && text[at] == symbol_[0];
    return text.compare(at, symbol_.size(), symbol_) == 0;
  }

  // Every placeholder of text, in order, into matches_. The symbol holds no
  // byte of a name here, so a name runs from a symbol to the next one: the
  // bytes between two symbols are a placeholder's name when they are one of
  // the names (each made of name bytes alone), and then the closing symbol
  // may begin the next placeholder as well.
  void Scan(std::string_view text) {
    matches_.clear();
    if (symbol_.size() == 1) return ScanOneByte(text);
    const size_t n = text.size(), s = symbol_.size();
    const char first = symbol_[0];
    for (size_t at = text.find(first); at != std::string_view::npos;) {
      const size_t name = at + s;
      if (!SymbolAt(text, at) || name >= n || !nameByte_[static_cast<unsigned char>(text[name])]) {
        at = text.find(first, at + 1);
        continue;
      }
      const size_t close = text.find(first, name);
      if (close == std::string_view::npos) break;
      if (close - name <= longestName_ && SymbolAt(text, close)) {
        const size_t row = RowOf(text.substr(name, close - name));
        if (row < rows_.size()) matches_.push_back(Match{at, close + s, row});
      }
      at = close;
    }
  }

  // The same for a symbol of one byte: the bytes between every two symbols
  // in a row, from one byte to longestName_.
  void ScanOneByte(std::string_view text) {
    size_t open = std::string_view::npos;
    ForEachByte(text, symbol_[0], [&](size_t close) {
      const size_t length = close - open - 1;
      if (open != std::string_view::npos && length - 1 < longestName_ &&
          nameByte_[static_cast<unsigned char>(text[open + 1])]) {
        const size_t row = RowOf(text.substr(open + 1, length));
        if (row < rows_.size()) matches_.push_back(Match{open, close + 1, row});
      }
      open = close;
      return true;
    });
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
    if (dropEmptyLines_ && !matches_.empty() && !filled) return;
    // The line's size once rendered, then its pieces copied in place.
    size_t size = line.size() + lineEnd.size();
    for (const Match& m : matches_) size += ValueOf(m.row).size() - (m.end - m.begin);
    size_t at = out.size();
    out.resize(at + size);
    const auto put = [&](std::string_view piece) {
      std::memcpy(out.data() + at, piece.data(), piece.size());
      at += piece.size();
    };
    size_t from = 0;
    for (const Match& m : matches_) {
      put(line.substr(from, m.begin - from));
      put(ValueOf(m.row));
      rows_[m.row].used = true;
      from = m.end;
    }
    put(line.substr(from));
    put(lineEnd);
  }

  void RenderInOrder(std::string& line, std::string_view lineEnd, std::string& out) {
    bool placeholder = false;
    bool filled = false;
    for (size_t i = 0; i < rows_.size(); ++i) {
      Row& row = rows_[i];
      if (FindWhole(line, row.pattern, 0, doubleByte_) == std::string::npos) continue;
      placeholder = true;
      filled = filled || !row.blank;
      row.used = true;
      ReplaceInPlace(line, row.pattern, ValueOf(i), doubleByte_);
    }
    if (dropEmptyLines_ && placeholder && !filled) return;
    out += line;
    out += lineEnd;
  }

  int format_;
  bool escape_;          // values escaped for the format they go into
  bool dropEmptyLines_;  // a line whose placeholders are all empty is left out
  std::string symbol_;
  SignatureData data_;
  bool onePass_ = false;
  bool doubleByte_ = false;
  std::array<bool, 256> guard_{};
  std::vector<Row> rows_;
  std::vector<std::pair<std::string, size_t>> byName_;
  // The rows by their names' keys, in a table with room to spare: a line of
  // a template holds many placeholders, each looked up as the line is
  // scanned; no name is longer than longestName_.
  static constexpr size_t kNoRow = SIZE_MAX;
  static constexpr int kKeyBits = 64, kFewestSlotBits = 6;
  static constexpr size_t kFewestSlots = size_t{1} << kFewestSlotBits, kSlotsPerName = 4;
  struct Slot {
    NameKey key;
    size_t row = kNoRow;
  };
  std::vector<Slot> slots_;
  int slotShift_ = 0;  // a key's top bits that pick its slot
  std::array<bool, 256> nameByte_{};
  size_t longestName_ = 0;
  std::vector<Match> matches_;
  std::string inOrder_;  // a line rendered the one-after-the-other way
};

// Reads a file line by line: a line ends at CR LF or at a lone CR, and is
// written with CR LF; a lone LF is an ordinary character. Where lines are
// worked on one by one (DropEmptyLines), a lone LF ends a line too, as in a
// template saved by Git or a macOS editor, and is written back as it was.
// Only the current line is held in memory: most lines are seen where they
// were read, a line across two reads is put together.
class LineReader {
 public:
  /// Reads the file piece by piece.
  LineReader(const std::string& path, bool lfEndsLine)
      : file_(std::in_place, path), lfEndsLine_(lfEndsLine), buffer_(kChunk) {}
  /// Reads bytes already in memory (a template the run keeps), all in one piece.
  LineReader(std::string_view text, bool lfEndsLine)
      : lfEndsLine_(lfEndsLine), data_(text.data()), size_(text.size()), eof_(true) {}

  /// The next line into `line` (valid until the next call), and the line end
  /// to write after it; false at the end of the file.
  bool Next(std::string_view& line, std::string_view& lineEnd) {
    joined_.clear();
    bool inJoined = false;
    lineEnd = kCrLf;
    bool any = false;
    for (;;) {
      if (pos_ == size_ && !Fill()) {
        line = joined_;
        return any;
      }
      any = true;
      const size_t end = LineEnd();
      if (end == std::string::npos) {
        joined_.append(data_ + pos_, size_ - pos_);
        inJoined = true;
        pos_ = size_;
        continue;
      }
      const std::string_view piece(data_ + pos_, end - pos_);
      pos_ = end + 1;
      if (data_[end] == '\n') {
        line = inJoined ? std::string_view(joined_.append(piece)) : piece;
        lineEnd = kLf;
        return true;
      }
      if (pos_ == size_) {
        // The LF after the CR may be in the next read, which takes the buffer.
        joined_.append(piece);
        inJoined = true;
        Fill();
      } else if (inJoined) {
        joined_.append(piece);
      }
      line = inJoined ? std::string_view(joined_) : piece;
      if (pos_ < size_ && data_[pos_] == '\n') ++pos_;
      return true;
    }
  }

 private:
  // The next CR (or LF, where a lone LF ends a line too) from pos_ on; npos for none.
  size_t LineEnd() const {
    const char* from = data_ + pos_;
    const size_t left = size_ - pos_;
    const auto* cr = static_cast<const char*>(std::memchr(from, '\r', left));
    const size_t crAt = cr != nullptr ? static_cast<size_t>(cr - from) : left;
    if (lfEndsLine_) {
      // Only an LF before the CR counts: CR LF ends its line at the CR.
      const auto* lf = static_cast<const char*>(std::memchr(from, '\n', crAt));
      if (lf != nullptr) return pos_ + static_cast<size_t>(lf - from);
    }
    return cr != nullptr ? pos_ + crAt : std::string::npos;
  }

  // The next piece of the file, once every byte of the last one is taken.
  bool Fill() {
    if (eof_ || !file_) return false;
    pos_ = 0;
    data_ = buffer_.data();
    size_ = file_->Read(buffer_.data(), buffer_.size());
    if (size_ == 0) eof_ = true;
    return size_ > 0;
  }

  static constexpr size_t kChunk = 1 << 16;
  static constexpr std::string_view kCrLf = "\r\n";
  static constexpr std::string_view kLf = "\n";
  std::optional<platform::InputFile> file_;  // none for bytes in memory
  bool lfEndsLine_;
  std::vector<char> buffer_;
  const char* data_ = nullptr;  // the piece being read: buffer_ or the kept bytes
  size_t pos_ = 0;
  size_t size_ = 0;     // the bytes of the piece
  std::string joined_;  // a line across reads
  bool eof_ = false;
};

// Templates up to this size are kept in the run once read, so that the check
// and every signature made from them (the user's, each mailbox's) read the
// file once; a larger one is read again each time, so that memory stays flat.
constexpr std::size_t kKeptTemplateBytes = std::size_t{1} << 20;

// The bytes of a template the run keeps, read now when it was not yet; none
// for a template larger than the run keeps. Raises the file system's error.
const std::string* KeptTemplate(Run& run, const std::string& path) {
  RunStateValues& state = run.RunState;
  if (const auto it = state.TemplateTexts.find(path); it != state.TemplateTexts.end()) return &it->second;
  if (state.LargeTemplates.contains(path)) return nullptr;
  // An audit reads each template once for all its users.
  if (run.SharedConfiguration != nullptr) {
    const auto read = run.SharedConfiguration->Templates.find(path);
    if (read != run.SharedConfiguration->Templates.end())
      return &state.TemplateTexts.emplace(path, read->second).first->second;
  }
  platform::InputFile file(path);
  std::string text;
  std::vector<char> chunk(kKeptTemplateBytes / 16);
  for (std::size_t n = file.Read(chunk.data(), chunk.size()); n > 0; n = file.Read(chunk.data(), chunk.size())) {
    text.append(chunk.data(), n);
    if (text.size() > kKeptTemplateBytes) {
      state.LargeTemplates.insert(path);
      return nullptr;
    }
  }
  if (run.SharedConfiguration != nullptr) run.SharedConfiguration->Templates.emplace(path, text);
  return &state.TemplateTexts.emplace(path, std::move(text)).first->second;
}

// A reader of the template's lines: from the bytes the run keeps, or from the file.
LineReader TemplateReader(Run& run, const std::string& path, bool lfEndsLine) {
  const std::string* kept = KeptTemplate(run, path);
  return kept != nullptr ? LineReader(std::string_view(*kept), lfEndsLine) : LineReader(path, lfEndsLine);
}

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

std::vector<std::string> PlaceholderNames(const SignatureData& data) {
  std::vector<std::string> names;
  for (const auto& [prefix, record] : Sources(data)) {
    for (const Placeholder& p : kPlaceholders) names.push_back(std::string(prefix) + std::string(p.name));
  }
  if (data.photo != nullptr) names.emplace_back(kPhotoPlaceholder.name);
  return names;
}

std::string CreateSignatureFile(Run& run, const std::string& signType, const std::string& targetName, int format,
                                const SignatureData& data) {
  const std::string ext = Extension(format);
  const std::string source = run.RunState.TemplateFolderPath + signType + "." + ext;
  const std::string target = run.RunState.SignatureFolderPath + targetName + "." + ext;
  WriteLog(run, "-> Erzeuge " + ToUpper(ext) + "-Datei|" + target);

  LineRenderer renderer(run.RunState, format, data, targetName);
  // Conditions and dropped lines work line by line: there a lone LF ends a line too.
  const bool conditions = run.RunState.TemplateConditions;
  LineReader reader = TemplateReader(run, source, run.RunState.DropEmptyLines || conditions);
  MarkerLines markers(MarkupOf(format), platform::ToAnsi(run.RunState.PlaceholderSymbol),
                      conditions ? renderer.Names() : std::vector<std::string>{});
  TemplateBlocks blocks(source);
  BeforeSignatureFileWrite(run, targetName + "." + ext);
  platform::OutputFile out(target, platform::OutputFile::Mode::Replace);
  std::string_view line;
  std::string_view lineEnd;
  std::string pending;
  // A condition's value, once per marker text: a template repeats the same
  // few markers, and the data does not change while it is read.
  std::unordered_map<std::string, bool> holds;
  const std::string* lastCondition = nullptr;  // of holds, the one decided last
  bool lastHolds = false;
  // Lines that the markers decided, from their first line's number on.
  const auto decided = [&](size_t first) {
    const MarkerLine& verdict = markers.Verdict();
    if (!verdict.error.empty()) blocks.RaiseAt(verdict.error, first + markers.ErrorLine());
    if (!verdict.marker) {
      if (!blocks.Writing()) return;
      for (const MarkerLines::Line& held : markers.Lines()) {
        renderer.Render(held.text, held.end, pending);
      }
      return;
    }
    // ELSE and ENDIF hold no condition.
    const bool condition = verdict.marker->kind == TemplateMarker::Kind::If ||
                           verdict.marker->kind == TemplateMarker::Kind::IfNot;
    // The paragraph marks before the marker end the lines before it.
    const bool before = blocks.Writing();
    bool holdsHere = false;
    if (condition && before) {
      if (lastCondition == nullptr || *lastCondition != markers.Text()) {
        auto it = holds.find(markers.Text());
        if (it == holds.end()) {
          if (holds.size() >= kKnownMarkers) holds.clear();
          it = holds.emplace(markers.Text(), renderer.Holds(*verdict.marker)).first;
        }
        lastCondition = &it->first;
        lastHolds = it->second;
      }
      holdsHere = lastHolds;
    }
    blocks.Take(*verdict.marker, holdsHere, first);
    // What formats the lines after the marker's stays with them.
    const bool around = verdict.marker->kind == TemplateMarker::Kind::EndIf ? blocks.Writing()
                                                                             : blocks.WritingAround();
    if (before) pending += markers.BreaksBefore();
    if (around && !markers.Remains().empty()) {
      pending += markers.Remains();
      pending += markers.Lines().back().end;
    }
  };
  size_t number = 1;
  for (; reader.Next(line, lineEnd); ++number) {
    if (conditions) {
      // The markers are read on the template's own lines, before any value is in them.
      const MarkerLines::Step step = markers.Take(line, lineEnd);
      if (step == MarkerLines::Step::Held) continue;
      if (step == MarkerLines::Step::Decided) {
        decided(number + 1 - markers.Lines().size());
        if (pending.size() >= kWriteChunk) {
          out.Write(pending);
          pending.clear();
        }
        continue;
      }
      if (!blocks.Writing()) continue;
    }
    renderer.Render(line, lineEnd, pending);
    if (pending.size() >= kWriteChunk) {
      out.Write(pending);
      pending.clear();
    }
  }
  if (conditions) {
    if (markers.Flush()) decided(number - markers.Lines().size());
    blocks.End();
  }
  out.Write(pending);
  out.Close();
  AfterSignatureFileWrite(run, targetName + "." + ext);
  if (conditions) {
    WriteLog(run, "-> ...Bedingungen|" + std::to_string(blocks.Blocks()) + " Blöcke, " +
             std::to_string(blocks.Written()) + " geschrieben");
  }
  // The photo beside the htm that shows it; the rtf holds its own copy.
  if (format != kFormatHtm || data.photo == nullptr || data.photo->Bytes.empty() || !renderer.PhotoUsed())
    return "";
  const std::string photoName = PhotoFileName(targetName, *data.photo);
  BeforeSignatureFileWrite(run, photoName);
  platform::OutputFile photo(run.RunState.SignatureFolderPath + photoName, platform::OutputFile::Mode::Replace);
  photo.Write(data.photo->Bytes);
  photo.Close();
  AfterSignatureFileWrite(run, photoName);
  WriteLog(run, "-> Erzeuge Foto|" + run.RunState.SignatureFolderPath + photoName);
  return photoName;
}

void CreateSignatureFile(Run& run, const std::string& signType, const std::string& targetName, int format,
                         const UserDataRecord& user, const UserDataRecord* mailbox) {
  CreateSignatureFile(run, signType, targetName, format, SignatureData{&user, mailbox});
}

bool TemplateReadable(const Run& run, const std::string& path) {
  ConfigurationReads* audit = run.SharedConfiguration;
  if (audit != nullptr && audit->ReadableTemplates.contains(path)) return true;
  if (!platform::CanOpenForReading(path)) return false;
  if (audit != nullptr) audit->ReadableTemplates.insert(path);
  return true;
}

void CheckTemplateConditions(Run& run, const std::string& signType, const SignatureData& data,
                             std::vector<std::string>* errors) {
  const std::vector<std::string> names = PlaceholderNames(data);
  const std::string symbol = platform::ToAnsi(run.RunState.PlaceholderSymbol);
  const bool directory = !Settings::Main(run, "LDAPBaseObjectDN").empty();
  for (const int format : {kFormatHtm, kFormatRtf, kFormatTxt}) {
    const std::string source = run.RunState.TemplateFolderPath + signType + "." + Extension(format);
    if (!TemplateReadable(run, source)) continue;
    LineReader reader = TemplateReader(run, source, true);
    MarkerLines markers(MarkupOf(format), symbol, names);
    TemplateBlocks blocks(source, errors);
    const auto decided = [&](size_t first) {
      const MarkerLine& verdict = markers.Verdict();
      if (!verdict.error.empty()) blocks.Fail(verdict.error, first + markers.ErrorLine());
      if (!verdict.marker) return;
      // Groups come from the directory; without it the condition never holds.
      if (verdict.marker->groups && !directory) {
        blocks.Fail("'" + platform::FromAnsi(markers.Text()) +
                        "' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist kein DN konfiguriert",
                    first);
      }
      blocks.Take(*verdict.marker, false, first);
    };
    std::string_view line;
    std::string_view lineEnd;
    size_t number = 1;
    for (; !blocks.Stopped() && reader.Next(line, lineEnd); ++number) {
      if (markers.Take(line, lineEnd) == MarkerLines::Step::Decided)
        decided(number + 1 - markers.Lines().size());
    }
    if (!blocks.Stopped() && markers.Flush()) decided(number - markers.Lines().size());
    blocks.End();
  }
}

}  // namespace qm
