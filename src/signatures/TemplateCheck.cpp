// /CHECK of the template folder: the files of each signature, what each
// template holds, the images beside them, and names that differ in case only.
#include "signatures/TemplateCheck.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/files.h"
#include "records/MailAccounts.h"
#include "records/Rules.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "signatures/Placeholders.h"
#include "signatures/Rendering.h"
#include "signatures/modFiles.h"
#include "support/modTools.h"

namespace qm {
namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;
// A line is looked at in pieces of this size; the end of one piece is looked
// at again with the next, so that nothing this long is cut in two unseen.
constexpr std::size_t kPiece = std::size_t{1} << 16;
constexpr std::size_t kOverlap = 256;
// Longer runs of letters between two symbols are text, not a placeholder.
constexpr std::size_t kLongestName = 64;
// The names of a template folder that are looked at.
constexpr std::array<std::string_view, 3> kTemplateTypes = {".htm", ".rtf", ".txt"};
// Image types that a template may show but that are never copied beside a signature.
constexpr std::array<std::string_view, 9> kOtherImageTypes = {".png",  ".bmp", ".svg",
                                                              ".webp", ".tif", ".tiff",
                                                              ".ico",  ".emf", ".wmf"};

constexpr unsigned char kCr = '\r';
constexpr unsigned char kLf = '\n';

// The names a code page goes by in a <meta charset>, the first as a page writes it.
struct CharsetNames {
  unsigned codePage;
  std::array<std::string_view, 4> names;
};
constexpr std::array<CharsetNames, 6> kCharsets = {{
    {platform::kUtf8CodePage, {"utf-8", "utf8"}},
    {1252, {"windows-1252", "iso-8859-1", "latin1", "us-ascii"}},
    {932, {"shift_jis", "windows-31j", "sjis", "x-sjis"}},
    {936, {"gb2312", "gbk"}},
    {949, {"ks_c_5601-1987", "euc-kr"}},
    {950, {"big5"}},
}};

std::string CodePageName(unsigned codePage) {
  for (const CharsetNames& c : kCharsets) {
    if (c.codePage == codePage) return std::string(c.names[0]);
  }
  return codePage == 0 ? "des Systems" : "windows-" + std::to_string(codePage);
}

bool CharsetIs(std::string_view declared, unsigned codePage) {
  const std::string name = ToLower(declared);
  if (name == "windows-" + std::to_string(codePage) || name == "cp" + std::to_string(codePage))
    return true;
  for (const CharsetNames& c : kCharsets) {
    if (c.codePage != codePage) continue;
    for (std::string_view n : c.names) {
      if (!n.empty() && name == n) return true;
    }
  }
  return false;
}

// The bytes of well-formed UTF-8 (Unicode's table of well-formed byte
// sequences): a lead byte tells how many continuation bytes follow, and a few
// lead bytes narrow the range of the first of them.
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kFirstContinuation = 0x80, kLastContinuation = 0xBF;
constexpr unsigned char kFirstLead2 = 0xC2, kLastLead2 = 0xDF;
constexpr unsigned char kFirstLead3 = 0xE0, kLastLead3 = 0xEF;
constexpr unsigned char kFirstLead4 = 0xF0, kLastLead4 = 0xF4;
constexpr unsigned char kLeadNoOverlong3 = 0xE0, kAfterNoOverlong3 = 0xA0;
constexpr unsigned char kLeadNoSurrogate = 0xED, kLastNoSurrogate = 0x9F;
constexpr unsigned char kLeadNoOverlong4 = 0xF0, kAfterNoOverlong4 = 0x90;
constexpr unsigned char kLeadLastPlane = 0xF4, kLastLastPlane = 0x8F;

// Feeds bytes one by one and tells whether they are UTF-8 and hold a character
// above ASCII, and the lines where that is first seen.
class Utf8Scan {
 public:
  /// True when b completes a character above ASCII.
  bool Feed(unsigned char b, std::size_t line) {
    if (!valid_) return false;
    if (need_ == 0) {
      if (b < kFirstNonAscii) return false;
      lo_ = kFirstContinuation;
      hi_ = kLastContinuation;
      if (b >= kFirstLead2 && b <= kLastLead2) {
        need_ = 1;
      } else if (b >= kFirstLead3 && b <= kLastLead3) {
        need_ = 2;
        if (b == kLeadNoOverlong3) lo_ = kAfterNoOverlong3;
        if (b == kLeadNoSurrogate) hi_ = kLastNoSurrogate;
      } else if (b >= kFirstLead4 && b <= kLastLead4) {
        need_ = 3;
        if (b == kLeadNoOverlong4) lo_ = kAfterNoOverlong4;
        if (b == kLeadLastPlane) hi_ = kLastLastPlane;
      } else {
        Invalid(line);
      }
      return false;
    }
    if (b < lo_ || b > hi_) {
      Invalid(line);
      return false;
    }
    lo_ = kFirstContinuation;
    hi_ = kLastContinuation;
    if (--need_ != 0) return false;
    if (!firstWide_) firstWide_ = line;
    return true;
  }
  void End(std::size_t line) {
    if (valid_ && need_ != 0) Invalid(line);
  }
  /// Valid UTF-8 with at least one character above ASCII.
  bool IsUtf8() const { return valid_ && firstWide_.has_value(); }
  bool Valid() const { return valid_; }
  std::size_t FirstWideLine() const { return firstWide_.value_or(0); }
  std::size_t FirstInvalidLine() const { return firstInvalid_; }

 private:
  void Invalid(std::size_t line) {
    valid_ = false;
    firstInvalid_ = line;
  }
  bool valid_ = true;
  int need_ = 0;
  unsigned char lo_ = kFirstContinuation, hi_ = kLastContinuation;
  std::optional<std::size_t> firstWide_;
  std::size_t firstInvalid_ = 0;
};

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The placeholders this configuration's signatures know (the names the
// renderer gives the user's own signatures), and for each other one the key
// it waits for.
struct KnownPlaceholders {
  explicit KnownPlaceholders(const Run& run)
      : conditions(run.RunState.TemplateConditions), names(PlaceholderNames(SignatureDataFor(run, nullptr))) {}

  bool conditions;
  std::vector<std::string> names;

  // Conditional blocks end with markers that name no field, in any case.
  bool IsMarker(std::string_view upper) const { return conditions && (upper == "ELSE" || upper == "ENDIF"); }

  bool Knows(std::string_view name) const {
    return std::find(names.begin(), names.end(), name) != names.end();
  }

  // The setting an unknown name waits for, "" when none would make it known.
  std::string Needs(std::string_view name) const {
    if (Knows(name)) return "";
    if (name == "ELSE" || name == "ENDIF") return "TemplateConditions=1";
    if (name == kPhotoPlaceholder.name) return "einem Schlüssel 'Photo' in [FieldMapping]";
    // The longest prefix first: MAILBOX_MANAGER_ begins with MAILBOX_.
    static constexpr std::pair<std::string_view, std::string_view> kKeys[] = {
        {kMailboxManagerPrefix, "MailboxSignatures=1 und ManagerData=1"},
        {kMailboxPrefix, "MailboxSignatures=1"},
        {kManagerPrefix, "ManagerData=1"}};
    for (const auto& [prefix, key] : kKeys) {
      if (name.starts_with(prefix) && IsPlaceholderName(name.substr(prefix.size()))) return std::string(key);
    }
    return "";
  }
};

// What one template holds, read in pieces.
struct TemplateScan {
  explicit TemplateScan(const Run& r) : run(r), known(r) {}

  const Run& run;
  bool htm = false;
  std::string symbol;  // the placeholder symbol, in the ANSI code page
  Utf8Scan utf8;
  std::size_t lines = 1;
  std::size_t firstBareLf = 0;  // the first line ended by an LF alone
  std::map<std::string, std::pair<std::size_t, std::string>> placeholders;  // name -> line, what
  std::set<std::string> waiting;  // the names among them that another key would make known
  std::optional<std::pair<std::string, std::size_t>> charset;               // declared, line
  std::map<std::string, std::size_t> images;                                // src -> line
  std::map<std::string, std::pair<std::size_t, std::string>> mapped;  // name -> line, what
  KnownPlaceholders known;

  void Piece(std::string_view text, std::size_t line) {
    Placeholders(text, line);
    if (!htm) return;
    const std::string lower = AsciiLower(text);
    if (!charset) {
      const std::size_t at = lower.find("charset");
      if (at != std::string::npos) {
        const std::string value = Value(text, lower, at + std::string_view("charset").size());
        if (!value.empty()) charset = std::make_pair(value, line);
      }
    }
    for (std::size_t at = lower.find("src"); at != std::string::npos;
         at = lower.find("src", at + 1)) {
      if (at > 0 && IsNameChar(lower[at - 1])) continue;  // "datasrc"
      const std::string value = Value(text, lower, at + std::string_view("src").size());
      if (!value.empty()) images.try_emplace(value, line);
    }
  }

 private:
  // The value after a name: blanks, "=", blanks, then a quoted value or one up
  // to a blank, ">" or ";"; "" when no "=" follows.
  static std::string Value(std::string_view text, const std::string& lower, std::size_t at) {
    auto blanks = [&] {
      while (at < lower.size() && (lower[at] == ' ' || lower[at] == '\t')) ++at;
    };
    blanks();
    if (at >= lower.size() || lower[at] != '=') return "";
    ++at;
    blanks();
    if (at >= text.size()) return "";
    const char quote = text[at];
    if (quote == '"' || quote == '\'') {
      const std::size_t end = text.find(quote, at + 1);
      return end == std::string_view::npos ? "" : std::string(text.substr(at + 1, end - at - 1));
    }
    const std::size_t end = text.find_first_of(" \t>;/\"'", at);
    return std::string(
        text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
  }

  // A mailbox's and a manager's data come from their directory entries: a
  // field the database gives stays empty there for ever.
  void NoteDatabaseFields(std::string_view name, std::size_t line) {
    static constexpr std::array<std::string_view, 3> kPrefixes = {kMailboxManagerPrefix, kMailboxPrefix,
                                                                  kManagerPrefix};
    const auto prefix = std::find_if(kPrefixes.begin(), kPrefixes.end(),
                                     [&](std::string_view p) { return name.starts_with(p); });
    if (prefix == kPrefixes.end()) return;
    const auto placeholder = std::find_if(kPlaceholders.begin(), kPlaceholders.end(), [&](const Placeholder& p) {
      return p.name == name.substr(prefix->size());
    });
    if (placeholder == kPlaceholders.end()) return;
    std::vector<UserField> fields = {placeholder->field};
    if (placeholder->kind == PlaceholderValue::FullName)
      fields = {UserField::Title, UserField::FirstName, UserField::Initials, UserField::LastName};
    if (placeholder->kind == PlaceholderValue::SignTitle) fields = {UserField::SignTitle1, UserField::SignTitle2};
    std::string columns;
    for (const UserField field : fields) {
      const FieldMapping& mapping = run.FieldMappings[static_cast<std::size_t>(field)];
      if (mapping.Source != "DB") continue;
      columns += std::string(columns.empty() ? "" : ", ") + kUserFieldNames[static_cast<std::size_t>(field)] +
                 " aus der Datenbankspalte '" + mapping.SourceName + "'";
    }
    if (columns.empty()) return;
    mapped.emplace(name, std::make_pair(line, "bleibt leer: " + columns +
                                                  "; Postfächer und Vorgesetzte liest nur das Active "
                                                  "Directory (in [FieldMapping] ein Attribut mit '*')"));
  }

  void Placeholders(std::string_view text, std::size_t line) {
    if (symbol.empty()) return;
    for (std::size_t at = text.find(symbol); at != std::string_view::npos;) {
      std::size_t end = at + symbol.size();
      while (end < text.size() && IsNameChar(text[end]) && end - at - symbol.size() <= kLongestName)
        ++end;
      const std::string_view name = text.substr(at + symbol.size(), end - at - symbol.size());
      if (name.empty() || text.compare(end, symbol.size(), symbol) != 0) {
        at = text.find(symbol, at + 1);
        continue;
      }
      at = text.find(symbol, end);
      if (known.Knows(name)) {
        if (!mapped.contains(std::string(name))) NoteDatabaseFields(name, line);
        continue;
      }
      if (placeholders.contains(std::string(name))) continue;
      const std::string upper = AsciiUpper(name);
      if (known.IsMarker(upper)) continue;
      if (const std::string needs = known.Needs(upper); !needs.empty()) {
        placeholders.emplace(name, std::make_pair(line, "Dieser Platzhalter gilt nur mit " + needs));
        waiting.emplace(name);
        continue;
      }
      if (known.Knows(upper)) {
        placeholders.emplace(name, std::make_pair(line, "Platzhalter werden großgeschrieben: " +
                                                            symbol + upper + symbol));
        continue;
      }
      const std::string nearest = Settings::NearestName(
          name, std::vector<std::string_view>(known.names.begin(), known.names.end()));
      if (upper != name && nearest.empty()) continue;  // text such as "@home@"
      placeholders.emplace(name, std::make_pair(line, "Kein Feld heißt so" +
                                                          (nearest.empty()
                                                               ? std::string()
                                                               : "; meinten Sie " + symbol +
                                                                     nearest + symbol + "?")));
    }
  }
};

void Scan(const std::string& path, TemplateScan& scan) {
  platform::InputFile file(path);
  std::string buffer(kChunk, '\0');
  std::string piece;
  bool afterCr = false;
  for (std::size_t n; (n = file.Read(buffer.data(), buffer.size())) > 0;) {
    for (std::size_t i = 0; i < n; ++i) {
      const auto b = static_cast<unsigned char>(buffer[i]);
      scan.utf8.Feed(b, scan.lines);
      if (b == kCr || (b == kLf && !afterCr)) {
        if (b == kLf && scan.firstBareLf == 0) scan.firstBareLf = scan.lines;
        scan.Piece(piece, scan.lines);
        piece.clear();
        ++scan.lines;
      } else if (b != kLf) {
        piece += static_cast<char>(b);
        if (piece.size() >= kPiece) {
          scan.Piece(piece, scan.lines);
          piece.erase(0, piece.size() - kOverlap);
        }
      }
      afterCr = b == kCr;
    }
  }
  scan.Piece(piece, scan.lines);
  scan.utf8.End(scan.lines);
}

// The signature name with capitals that the image's name begins with, but
// for its case: images are copied to lower-case names only. "" when none.
std::string CapitalTarget(const std::string& lowerName, const std::vector<std::string>& targets) {
  std::string capitals;
  for (const std::string& target : targets) {
    if (ToLower(target) != target && ImageBelongsTo(lowerName, ToLower(target))) capitals = target;
  }
  return capitals;
}

std::string CapitalsText(const std::string& target) {
  return "der Signaturname '" + target +
         "' hat Großbuchstaben, und Bilder werden nur zu kleingeschriebenen Namen kopiert";
}

// Why an image of the template folder is not copied beside the signatures
// of the targets.
std::string WhyNotCopied(const Run& run, const std::string& name, const std::vector<std::string>& targets) {
  if (!IsCopiedImageType(run, name)) {
    std::string types;
    for (const std::string& t : run.RunState.ImageTypes) types += (types.empty() ? "" : ", ") + t;
    return "neben die Signatur kommen nur Bilder vom Typ " + types;
  }
  const std::string capitals = CapitalTarget(ToLower(name), targets);
  if (!capitals.empty()) return CapitalsText(capitals);
  std::string names;
  for (const std::string& target : targets) names += (names.empty() ? "'" : ", '") + target + "'";
  return "ein Bild wird kopiert, wenn sein Name mit dem Signaturnamen beginnt" +
         (names.empty() ? std::string() : " (" + names + ")");
}

// Lines ended by a lone LF: one line for the run, unless a setting has it
// read line by line (then the signature keeps the LF as it was).
Finding BareLfFinding(const Run& run, const std::string& where) {
  const std::string what = "Zeilenende nur LF (ohne CR), wie Git oder ein Mac-Editor schreibt; ";
  const char* setting = run.RunState.DropEmptyLines       ? "DropEmptyLines=1"
                        : run.RunState.TemplateConditions ? "TemplateConditions=1"
                                                      : nullptr;
  if (setting == nullptr) {
    return {Severity::Warning, where,
            what + "ohne DropEmptyLines=1 gilt die Datei als eine Zeile; mit CR LF speichern"};
  }
  return {Severity::Note, where,
          what + "mit " + setting + " wird die Datei Zeile für Zeile gelesen, die Zeilenenden bleiben LF"};
}

std::string At(const std::string& path, std::size_t line) {
  return path + ", Zeile " + std::to_string(line);
}

// The findings of one template file. ours: a signature of this configuration
// is written from it; a placeholder that waits for a key of this
// configuration is then an error, else a template of another configuration
// may well have it, and one note says so.
void CheckTemplate(Run& run, const std::string& path, bool htm, bool ours, const std::vector<std::string>& copied,
                   const std::set<std::string>& folderNames, const std::vector<std::string>& targets,
                   FindingList& findings) {
  TemplateScan scan(run);
  scan.htm = htm;
  scan.symbol = platform::ToAnsi(run.RunState.PlaceholderSymbol);
  try {
    Scan(path, scan);
  } catch (const Error& e) {
    findings.push_back(
        {Severity::Error, path,
         "Nicht lesbar: Fehler " + std::to_string(e.Number()) + ": " + e.Description()});
    return;
  }
  // A template of another configuration: what waits for a key is one note.
  std::optional<std::pair<std::string, std::pair<std::size_t, std::string>>> firstWaiting;
  std::size_t othersWaiting = 0;
  for (const auto& [name, found] : scan.placeholders) {
    if (!ours && scan.waiting.contains(name)) {
      if (!firstWaiting || found.first < firstWaiting->second.first) firstWaiting.emplace(name, found);
      ++othersWaiting;
      continue;
    }
    findings.push_back({Severity::Error, At(path, found.first),
                        scan.symbol + name + scan.symbol + " wird nicht ersetzt: " + found.second});
  }
  if (firstWaiting) {
    --othersWaiting;
    findings.push_back({Severity::Note, At(path, firstWaiting->second.first),
                        scan.symbol + firstWaiting->first + scan.symbol +
                            (othersWaiting == 0 ? "" : " und " + std::to_string(othersWaiting) + " weitere") +
                            ": " + firstWaiting->second.second +
                            "; diese Konfiguration schreibt aus der Vorlage keine Signatur"});
  }

  for (const auto& [name, found] : scan.mapped) {
    findings.push_back({Severity::Warning, At(path, found.first),
                        scan.symbol + name + scan.symbol + " " + found.second});
  }

  const unsigned ansi = platform::AnsiCodePage();
  const bool utf8Page = ansi == platform::kUtf8CodePage;
  // With EscapeValues the values of an htm are ASCII: the page may be in any
  // code page its <meta charset> names.
  const bool asciiValues = htm && run.RunState.EscapeValues;
  const unsigned written = asciiValues && scan.utf8.IsUtf8() ? platform::kUtf8CodePage : ansi;
  // One fix per finding: saved in the ANSI code page, the page names it too
  // (instead of a second finding that asks for the charset the save changes).
  bool charsetFixed = false;
  if (!utf8Page && scan.utf8.IsUtf8() &&
      !(asciiValues && scan.charset && CharsetIs(scan.charset->first, platform::kUtf8CodePage))) {
    charsetFixed = htm && scan.charset && !CharsetIs(scan.charset->first, ansi);
    findings.push_back(
        {Severity::Error, At(path, scan.utf8.FirstWideLine()),
         "In UTF-8 gespeichert, doch gelesen wird die Vorlage im ANSI-Zeichensatz " +
             CodePageName(ansi) +
             ": Outlook zeigt \"Ã¼\" statt \"ü\"; die Vorlage im ANSI-Zeichensatz speichern" +
             (charsetFixed ? " und in <meta charset> " + CodePageName(ansi) + " angeben" : "")});
  } else if (utf8Page && !scan.utf8.Valid()) {
    findings.push_back(
        {Severity::Error, At(path, scan.utf8.FirstInvalidLine()),
         "Nicht in UTF-8 gespeichert, doch die Codepage des Systems ist UTF-8 (65001): "
         "die Vorlage in UTF-8 speichern"});
  }
  if (htm && scan.charset && ansi != 0 && !charsetFixed &&
      !CharsetIs(scan.charset->first, written)) {
    findings.push_back({Severity::Warning, At(path, scan.charset->second),
                        "<meta charset> nennt '" + scan.charset->first +
                            "', die Signatur ist aber in " + CodePageName(written) +
                            " geschrieben; charset=" + CodePageName(written) + " angeben"});
  }
  if (scan.firstBareLf != 0) findings.push_back(BareLfFinding(run, At(path, scan.firstBareLf)));
  for (const auto& [source, line] : scan.images) {
    if (source.find(':') != std::string::npos || source.starts_with('#') ||
        (!scan.symbol.empty() && source.find(scan.symbol) != std::string::npos))
      continue;  // http:, cid:, data:, a placeholder
    const std::string where = At(path, line);
    const std::string name = platform::FromAnsi(source);
    if (source.find_first_of("/\\") != std::string::npos) {
      findings.push_back({Severity::Warning, where,
                          "Das Bild '" + name +
                              "' liegt in einem Unterordner; kopiert werden nur "
                              "Bilder aus dem Vorlagenordner, neben die Signatur"});
      continue;
    }
    const std::string lower = ToLower(name);
    if (std::find(copied.begin(), copied.end(), lower) != copied.end()) continue;
    if (!folderNames.contains(ToUpper(name))) {
      findings.push_back(
          {Severity::Warning, where, "Das Bild '" + name + "' gibt es im Vorlagenordner nicht"});
    } else {
      findings.push_back({Severity::Warning, where,
                          "Das Bild '" + name + "' wird nicht neben die Signatur kopiert: " +
                              WhyNotCopied(run, name, targets)});
    }
  }
}

}  // namespace

std::size_t Utf8WithoutMarkLine(const std::string& path, std::size_t limit) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  platform::InputFile file(path);
  std::string buffer(kChunk, '\0');
  Utf8Scan utf8;
  std::size_t line = 1, total = 0, first = 0;
  bool marked = false;
  enum class Line { Start, Comment, Text } kind = Line::Start;
  for (std::size_t n; total < limit &&
                      (n = file.Read(buffer.data(), std::min(buffer.size(), limit - total))) > 0;) {
    if (total == 0) marked = std::string_view(buffer.data(), n).starts_with(kMark);
    total += n;
    for (std::size_t i = 0; i < n; ++i) {
      const auto b = static_cast<unsigned char>(buffer[i]);
      if (kind == Line::Start && b != ' ' && b != '\t')
        kind = b == ';' ? Line::Comment : Line::Text;
      // A comment is read by nobody: its characters cannot be wrong.
      if (utf8.Feed(b, line) && kind == Line::Text && first == 0) first = line;
      if (b == kLf || b == kCr) kind = Line::Start;
      if (b == kLf) ++line;
    }
  }
  utf8.End(line);
  return utf8.IsUtf8() && !marked ? first : 0;
}

void CheckCaseTwins(const std::string& folder, FindingList& findings) {
  std::map<std::string, std::vector<std::string>> byUpper;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (entry.name != "." && entry.name != "..") byUpper[ToUpper(entry.name)].push_back(entry.name);
  }
  for (auto& [upper, names] : byUpper) {
    if (names.size() < 2) continue;
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return platform::text::ListedBefore(a, b);
    });
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "'" : ", '") + name + "'";
    findings.push_back({Severity::Warning, folder,
                        list +
                            " unterscheiden sich nur in der Groß- und Kleinschreibung; Windows "
                            "kennt nur einen dieser Namen, genommen wird '" +
                            names.front() + "'"});
  }
}

std::vector<NamedTemplate> ConfiguredTemplates(const Run& run) {
  std::vector<NamedTemplate> named;
  std::set<std::string> signTypes, targets;  // lower case
  const auto add = [&](const std::string& signType, const std::string& target, const std::string& where) {
    if (signType.empty() || !signTypes.insert(ToLower(signType)).second) return;
    targets.insert(ToLower(target));
    named.push_back({signType, target, where});
  };
  // A list with the targets by position; without a target there, the sign type names its signature.
  const auto list = [&](const std::string& text, const std::string& targetText, const std::string& where) {
    const std::vector<std::string> types = Split(text, ",");
    const std::vector<std::string> names = Split(targetText, ",");
    for (std::size_t i = 0; i < types.size(); ++i)
      add(types[i], !targetText.empty() && i < names.size() ? names[i] : types[i], where);
  };
  const std::string target = Settings::TargetSignType(run), targetReply = Settings::TargetSignTypeReply(run);
  list(Settings::FixedSignType(run), target, "[Main] FixedSignType");
  list(Settings::FixedSignTypeReply(run), targetReply, "[Main] FixedSignTypeReply");
  list(Settings::FixedSignTypeNoMobile(run), target, "[Main] FixedSignTypeNoMobile");
  list(Settings::FixedSignTypeReplyNoMobile(run), targetReply, "[Main] FixedSignTypeReplyNoMobile");
  for (const std::string& key : Settings::KeyNames(run, std::string(catalogue::kMainSection))) {
    const catalogue::Key* known = Settings::MainKey(key);
    if (known == nullptr || !known->Numbered) continue;
    const bool reply = known->Name == "FixedSignTypeReplyForDN";
    if (!reply && known->Name != "FixedSignTypeForDN") continue;
    list(Trim(Settings::Main(run, key)), reply ? targetReply : target, "[Main] " + key);
  }
  for (const Rule& rule : run.Rules) {
    const std::string section = "[Rule" + std::to_string(rule.Number) + "] ";
    if (rule.SignType) list(*rule.SignType, target, section + "SignType");
    if (rule.SignTypeReply) list(*rule.SignTypeReply, targetReply, section + "SignTypeReply");
  }
  // An account section names a signature; one that is no target named above
  // is written from the template of its name (a mailbox's " (address)"
  // aside), where that template is there at all: a name of no signature is
  // the account sections' own finding.
  for (const AccountSection& section : run.AccountSections) {
    for (const auto& [key, name] : {std::pair<const char*, const std::string&>{"NewSignature", section.NewSignature},
                                    {"ReplySignature", section.ReplySignature}}) {
      std::string stem = name;
      if (const std::size_t open = stem.rfind(" ("); open != std::string::npos && stem.ends_with(')'))
        stem.erase(open);
      if (stem.empty() || targets.contains(ToLower(stem))) continue;
      if (std::none_of(kTemplateTypes.begin(), kTemplateTypes.end(), [&](std::string_view ext) {
            return TemplateReadable(run, run.RunState.TemplateFolderPath + stem + std::string(ext));
          }))
        continue;
      add(stem, stem, "[Account" + std::to_string(section.Number) + "] " + key);
    }
  }
  return named;
}

void CheckTemplates(Run& run, const std::vector<PlannedSignature>& plan, FindingList& findings,
                    const std::vector<NamedTemplate>& named) {
  const std::string& folder = run.RunState.TemplateFolderPath;
  std::vector<std::string> targets;
  // The plan's signatures, then the configuration's others, each template once.
  std::vector<NamedTemplate> checked;
  std::set<std::string> seen;
  for (const PlannedSignature& p : plan) {
    if (p.Skipped) continue;
    targets.push_back(p.Target);
    if (seen.insert(ToLower(p.SignType)).second) checked.push_back({p.SignType, p.Target, ""});
  }
  for (const NamedTemplate& n : named) {
    if (std::find(targets.begin(), targets.end(), n.Target) == targets.end()) targets.push_back(n.Target);
    if (seen.insert(ToLower(n.SignType)).second) checked.push_back(n);
  }
  for (const NamedTemplate& t : checked) {
    for (std::string_view ext : kTemplateTypes) {
      run.SharedFile.FileName = folder + t.SignType + std::string(ext);
      if (run.SharedFile.Exists() || platform::InUseByAnotherProgram(run.SharedFile.FileName)) continue;
      findings.push_back({Severity::Error, "Vorlage '" + t.SignType + "'",
                          "Die Datei '" + run.SharedFile.FileName +
                              "' fehlt; ein Lauf endet mit "
                              "\"Fehlende Dateien für die Vorlage '" +
                              t.SignType + "'\"" +
                              (t.NamedIn.empty() ? "" : " (für wen " + t.NamedIn + " gilt)")});
    }
  }

  std::vector<std::string> files;
  std::set<std::string> folderNames;    // upper case
  std::set<std::string> templateNames;  // lower case, without extension: other users' signatures
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (entry.isDirectory) continue;
    files.push_back(entry.name);
    folderNames.insert(ToUpper(entry.name));
    for (std::string_view ext : kTemplateTypes) {
      if (EndsWithNoCase(entry.name, ext))
        templateNames.insert(ToLower(entry.name.substr(0, entry.name.size() - ext.size())));
    }
  }
  std::sort(files.begin(), files.end());

  // The images the plan's signatures get beside them.
  std::vector<std::string> copied;
  for (const std::string& name : files) {
    const std::string lower = ToLower(name);
    if (!IsCopiedImageType(run, name)) continue;
    for (const std::string& target : targets) {
      if (ImageBelongsTo(lower, target)) copied.push_back(lower);
    }
  }

  for (const std::string& name : files) {
    const std::string path = folder + name;
    if (EndsWithNoCase(name, ".htm") || EndsWithNoCase(name, ".rtf") ||
        EndsWithNoCase(name, ".txt")) {
      // A template of no signature of this configuration: its images are the
      // ones of a signature named as the template, as another user's would be.
      const std::string stem = ToLower(name.substr(0, name.size() - std::string_view(".htm").size()));
      const bool ours = seen.contains(stem);
      const bool htm = EndsWithNoCase(name, ".htm");
      std::vector<std::string> shown = copied;
      if (htm && !ours) {
        for (const std::string& file : files) {
          const std::string lower = ToLower(file);
          if (IsCopiedImageType(run, file) && ImageBelongsTo(lower, stem)) shown.push_back(lower);
        }
      }
      CheckTemplate(run, path, htm, ours, shown, folderNames, targets, findings);
      continue;
    }
    const std::string lower = ToLower(name);
    if (!IsCopiedImageType(run, name) &&
        std::any_of(kOtherImageTypes.begin(), kOtherImageTypes.end(),
                    [&](std::string_view ext) { return EndsWithNoCase(name, ext); })) {
      std::string types, list;
      for (const std::string& t : run.RunState.ImageTypes) {
        types += (types.empty() ? "" : ", ") + t;
        list += t + ",";
      }
      // PNG and BMP can be added to the copied types; the others Outlook does not show.
      const bool addable = EndsWithNoCase(name, ".png") || EndsWithNoCase(name, ".bmp");
      findings.push_back({Severity::Warning, path,
                          "Wird nie kopiert: neben die Signatur kommen nur Bilder vom Typ " + types +
                              (addable ? " (weitere nennt ImageTypes, etwa ImageTypes=" + list +
                                             ToLower(name.substr(name.rfind('.') + 1)) + ")"
                                       : "")});
      continue;
    }
    if (!IsCopiedImageType(run, name)) continue;
    if (std::find(copied.begin(), copied.end(), lower) != copied.end()) continue;
    // This configuration's signature with capitals, though its template (in
    // lower case) would make the image look like another user's.
    const std::string capitals = CapitalTarget(lower, targets);
    if (!capitals.empty()) {
      findings.push_back({Severity::Warning, path, "Wird nicht kopiert: " + CapitalsText(capitals)});
      continue;
    }
    if (std::any_of(templateNames.begin(), templateNames.end(),
                    [&](const std::string& t) { return ImageBelongsTo(lower, t); }))
      continue;  // another user's signature, named as its template
    findings.push_back({Severity::Warning, path, "Gehört zu keiner Signatur: " + WhyNotCopied(run, name, targets)});
  }
  CheckCaseTwins(folder, findings);
}

}  // namespace qm
