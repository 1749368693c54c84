// One template file into one signature file, line by line, with the user's
// values in place of the placeholders. The work is done on the bytes of the
// ANSI code page, so whatever else the template holds passes through unchanged.
#include "signatures/Rendering.h"

#include <array>
#include <cstdint>

#include "log/modHelper.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/files.h"
#include "run/modMain.h"
#include "support/modTools.h"
#include "userdata/UserData.h"

namespace qm {
namespace {

// The placeholders in the order in which they are replaced; FULLNAME and
// SIGNTITLE are composed from several fields, the others name one field.
enum class Value { Field, FullName, SignTitle };
struct Placeholder {
  const char* name;
  Value kind;
  UserField field;
};
constexpr std::array<Placeholder, 23> kPlaceholders = {{
    {"FIRSTNAME", Value::Field, UserField::FirstName},
    {"LASTNAME", Value::Field, UserField::LastName},
    {"INITIALS", Value::Field, UserField::Initials},
    {"TITLE", Value::Field, UserField::Title},
    {"FULLNAME", Value::FullName, UserField::FirstName},
    {"SIGNTITLE", Value::SignTitle, UserField::SignTitle1},
    {"PHONE", Value::Field, UserField::Phone},
    {"FAX", Value::Field, UserField::Fax},
    {"MOBILE", Value::Field, UserField::Mobile},
    {"EMAIL", Value::Field, UserField::EMail},
    {"POSTCODE", Value::Field, UserField::Postcode},
    {"CITY", Value::Field, UserField::City},
    {"STREET", Value::Field, UserField::Street},
    {"USERDEF1", Value::Field, UserField::UserDef1},
    {"USERDEF2", Value::Field, UserField::UserDef2},
    {"USERDEF3", Value::Field, UserField::UserDef3},
    {"USERDEF4", Value::Field, UserField::UserDef4},
    {"USERDEF5", Value::Field, UserField::UserDef5},
    {"USERDEF6", Value::Field, UserField::UserDef6},
    {"USERDEF7", Value::Field, UserField::UserDef7},
    {"USERDEF8", Value::Field, UserField::UserDef8},
    {"USERDEF9", Value::Field, UserField::UserDef9},
    {"USERDEF10", Value::Field, UserField::UserDef10},
}};

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
struct Row {
  std::string pattern;
  std::string value;
  bool ready = false;
  bool blank = false;
};

// Above it, characters go into htm as character references.
constexpr char32_t kLastPlainHtm = 0x7E;
constexpr char32_t kFirstNonAscii = 0x80;

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

void ReplaceInPlace(std::string& line, const std::string& pattern, const std::string& value) {
  size_t hit = line.find(pattern);
  if (hit == std::string::npos) return;
  std::string out;
  out.reserve(line.size());
  size_t from = 0;
  while (hit != std::string::npos) {
    out.append(line, from, hit - from);
    out.append(value);
    from = hit + pattern.size();
    hit = line.find(pattern, from);
  }
  out.append(line, from, std::string::npos);
  line.swap(out);
}

// Reads a file line by line: a line ends at CR LF or at a lone CR; a lone LF
// is an ordinary character. Only the current line is held in memory.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : file_(path) {}

  bool Next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (pos_ == buffer_.size() && !Fill()) return any;
      any = true;
      size_t cr = buffer_.find('\r', pos_);
      if (cr == std::string::npos) {
        line.append(buffer_, pos_, std::string::npos);
        pos_ = buffer_.size();
        continue;
      }
      line.append(buffer_, pos_, cr - pos_);
      pos_ = cr + 1;
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
  platform::InputFile file_;
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

  // The settings reader has already turned an empty setting into "@"; a symbol
  // that is empty here leaves the bare names as patterns.
  const std::string ansiSymbol = platform::ToAnsi(RunState.PlaceholderSymbol);
  std::array<Row, kPlaceholders.size()> rows;
  for (size_t i = 0; i < kPlaceholders.size(); ++i) {
    rows[i].pattern = ansiSymbol + kPlaceholders[i].name + ansiSymbol;
    rows[i].blank = IsBlankValue(kPlaceholders[i]);
    if (kPlaceholders[i].kind == Value::Field) {
      rows[i].value = Encoded(UserData[kPlaceholders[i].field], format);
      rows[i].ready = true;
    }
  }

  LineReader reader(source);
  platform::OutputFile out(target, platform::OutputFile::Mode::Replace);
  std::string line;
  std::string pending;
  while (reader.Next(line)) {
    bool placeholder = false;
    bool filled = false;
    for (size_t i = 0; i < rows.size(); ++i) {
      Row& row = rows[i];
      if (line.find(row.pattern) == std::string::npos) continue;
      placeholder = true;
      filled = filled || !row.blank;
      if (!row.ready) {
        row.value = kPlaceholders[i].kind == Value::FullName ? FullName(format) : SignTitle(format);
        row.ready = true;
      }
      ReplaceInPlace(line, row.pattern, row.value);
    }
    // One item per template line: a fax line for a user without a fax number
    // goes, line end and all.
    if (RunState.DropEmptyLines && placeholder && !filled) continue;
    pending += line;
    pending += "\r\n";
    if (pending.size() >= (1u << 16)) {
      out.Write(pending);
      pending.clear();
    }
  }
  out.Write(pending);
  out.Close();
}

}  // namespace qm
