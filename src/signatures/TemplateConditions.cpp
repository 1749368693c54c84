// Conditional blocks: the marker lines and the blocks they open and close.
#include "signatures/TemplateConditions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <utility>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "records/Settings.h"
#include "signatures/ByteSearch.h"
#include "support/DistinguishedNames.h"
#include "support/modTools.h"

namespace qm {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

constexpr std::string_view kMemberOf = "MEMBEROF";
constexpr std::string_view kNot = "NOT";

// The unknown condition's error, with the nearest name the writer may have meant.
std::string UnknownCondition(std::string_view text, std::string_view symbol, const std::string& name,
                             std::string_view rest, const std::vector<std::string>& names) {
  std::string error = "Unbekannte Bedingung '" + platform::FromAnsi(text) + "'";
  // "@IF NOT FAX@" for "@IFNOT FAX@".
  if (name.size() > kNot.size() && name.starts_with(kNot) && IsBlank(name[kNot.size()])) {
    const std::string_view negated = TrimBlanks(rest.substr(kNot.size()));
    const std::string negatedName = platform::text::ToUpper(negated.substr(0, negated.find('=')));
    if (negatedName == kMemberOf ||
        std::find(names.begin(), names.end(), TrimBlanks(negatedName)) != names.end()) {
      return error + "; meinten Sie '" + platform::FromAnsi(symbol) + "IFNOT " +
             platform::FromAnsi(negated) + platform::FromAnsi(symbol) + "'?";
    }
  }
  std::vector<std::string_view> known(names.begin(), names.end());
  known.push_back(kMemberOf);
  const std::string nearest = Settings::NearestName(name, known);
  return nearest.empty() ? error : error + "; meinten Sie " + nearest + "?";
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr std::array<bool, 256> kNameBytes = [] {
  std::array<bool, 256> bytes{};
  for (unsigned c = 0; c < bytes.size(); ++c)
    bytes[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  return bytes;
}();
bool IsNameByte(unsigned char c) { return kNameBytes[c]; }
unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

// The words that begin a marker after the symbol.
constexpr std::array<std::string_view, 4> kMarkerWords = {"IF", "IFNOT", "ELSE", "ENDIF"};
// Longer runs of letters after the symbol are no marker word.
constexpr std::size_t kLongestMarkerWord = 5;

// Whether a "<" at `at` opens a tag: a letter, "/", "!" or "?" follows ("a < b" is text).
bool OpensTag(std::string_view s, std::size_t at) {
  if (at + 1 >= s.size()) return false;
  const auto c = static_cast<unsigned char>(s[at + 1]);
  return IsLetter(c) || c == '/' || c == '!' || c == '?';
}

// Whether an htm line ends inside a tag, given whether it began inside one.
bool EndsInTag(std::string_view line, bool inTag) {
  const std::size_t gt = line.rfind('>');
  for (std::size_t lt = line.find('<', gt == std::string_view::npos ? 0 : gt + 1);
       lt != std::string_view::npos; lt = line.find('<', lt + 1)) {
    if (OpensTag(line, lt)) return true;
  }
  return gt == std::string_view::npos && inTag;
}

// One piece of an rtf line.
struct RtfToken {
  enum class Kind { Open, Close, Word, Symbol, Char } kind = Kind::Char;
  std::size_t begin = 0, end = 0;
  std::string_view word;  // a control word's letters
  char symbol = 0;        // a control symbol's character; \'hh: the byte
};

// Control words and their parameters longer than these are cut into pieces.
constexpr std::size_t kLongestRtfWord = 32, kLongestRtfNumber = 10;

RtfToken NextRtf(std::string_view s, std::size_t at) {
  RtfToken t;
  t.begin = at;
  t.end = at + 1;
  const char c = s[at];
  if (c == '{' || c == '}') {
    t.kind = c == '{' ? RtfToken::Kind::Open : RtfToken::Kind::Close;
    return t;
  }
  if (c != '\\' || at + 1 >= s.size()) {
    t.symbol = c;
    return t;
  }
  std::size_t p = at + 1;
  if (!IsLetter(static_cast<unsigned char>(s[p]))) {
    t.kind = RtfToken::Kind::Symbol;
    t.symbol = s[p];
    t.end = p + 1;
    // \'hh: one byte of the code page, as text.
    if (s[p] == '\'' && p + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[p + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[p + 2]))) {
      t.symbol = static_cast<char>(std::stoi(std::string(s.substr(p + 1, 2)), nullptr, 16));
      t.end = p + 3;
    }
    return t;
  }
  while (p < s.size() && p - at <= kLongestRtfWord && IsLetter(static_cast<unsigned char>(s[p]))) ++p;
  t.kind = RtfToken::Kind::Word;
  t.word = s.substr(at + 1, p - at - 1);
  const std::size_t number = p;
  if (p < s.size() && s[p] == '-') ++p;
  while (p < s.size() && p - number <= kLongestRtfNumber && s[p] >= '0' && s[p] <= '9') ++p;
  if (p < s.size() && s[p] == ' ') ++p;  // the delimiter belongs to the word
  t.end = p;
  return t;
}

// Groups whose text is no text of the document.
constexpr std::array<std::string_view, 16> kRtfDestinations = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "fldinst", "listtable",
    "listoverridetable", "rsidtbl", "generator", "header", "footer", "themedata", "datastore", "xmlnstbl"};
// Control words that are text or a break: a marker's line goes with them.
constexpr std::array<std::string_view, 6> kRtfBreaks = {"par", "line", "tab", "page", "u", "sect"};
constexpr std::string_view kRtfParagraph = "par";

bool IsDestination(std::string_view s, std::size_t afterOpen) {
  if (afterOpen >= s.size()) return false;
  const RtfToken t = NextRtf(s, afterOpen);
  if (t.kind == RtfToken::Kind::Symbol) return t.symbol == '*';
  return t.kind == RtfToken::Kind::Word &&
         std::find(kRtfDestinations.begin(), kRtfDestinations.end(), t.word) != kRtfDestinations.end();
}

// The text of rtf lines (joined with their line ends, which rtf ignores).
std::string RtfText(std::string_view s) {
  std::string text;
  std::vector<bool> destination;  // per group open in the lines
  for (std::size_t at = 0; at < s.size();) {
    const RtfToken t = NextRtf(s, at);
    at = t.end;
    const bool skip = !destination.empty() && destination.back();
    switch (t.kind) {
      case RtfToken::Kind::Open: destination.push_back(skip || IsDestination(s, t.end)); break;
      case RtfToken::Kind::Close:
        if (!destination.empty()) destination.pop_back();
        break;
      case RtfToken::Kind::Word: break;
      case RtfToken::Kind::Symbol:
        if (skip) break;
        if (t.symbol == '~') {
          text += ' ';
        } else if (t.symbol != '*' && t.symbol != '-' && t.symbol != '_' && t.symbol != '|' &&
                   t.symbol != ':' && t.symbol != '\r' && t.symbol != '\n') {
          text += t.symbol;
        }
        break;
      case RtfToken::Kind::Char:
        if (!skip && t.symbol != '\r' && t.symbol != '\n') text += t.symbol;
        break;
    }
  }
  return text;
}

// What of a marker's rtf line sets the formatting of what follows: the
// control words outside its groups (but breaks), the destinations, and the
// braces of groups that open or close beyond the line.
std::string RtfRemains(std::string_view s) {
  std::vector<RtfToken> tokens;
  for (std::size_t at = 0; at < s.size(); at = tokens.back().end) tokens.push_back(NextRtf(s, at));
  std::vector<std::size_t> match(tokens.size(), tokens.size()), open;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind == RtfToken::Kind::Open) open.push_back(i);
    if (tokens[i].kind == RtfToken::Kind::Close && !open.empty()) {
      match[open.back()] = i;
      open.pop_back();
    }
  }
  std::string remains;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const RtfToken& t = tokens[i];
    switch (t.kind) {
      case RtfToken::Kind::Open:
        if (match[i] == tokens.size()) {
          remains += '{';
        } else {
          if (IsDestination(s, t.end)) remains += s.substr(t.begin, tokens[match[i]].end - t.begin);
          i = match[i];
        }
        break;
      case RtfToken::Kind::Close: remains += '}'; break;
      case RtfToken::Kind::Word:
        if (std::find(kRtfBreaks.begin(), kRtfBreaks.end(), t.word) == kRtfBreaks.end())
          remains += s.substr(t.begin, t.end - t.begin);
        break;
      case RtfToken::Kind::Symbol:
        if (t.symbol == '*') remains += "\\*";
        break;
      case RtfToken::Kind::Char: break;
    }
  }
  return TrimBlanks(remains).empty() ? std::string() : remains;
}

// Whether an rtf token outside destinations is text of the document, blanks aside.
bool IsRtfText(const RtfToken& t) {
  if (t.kind == RtfToken::Kind::Char) return !IsBlank(t.symbol) && t.symbol != '\r' && t.symbol != '\n';
  if (t.kind != RtfToken::Kind::Symbol) return false;
  return t.symbol != '*' && t.symbol != '-' && t.symbol != '_' && t.symbol != '|' && t.symbol != ':' &&
         t.symbol != '\r' && t.symbol != '\n';
}

// The paragraph marks of a marker's rtf line: those before its text end the
// lines before it ("\par " each, in `before`); closed says whether one after
// the text ends the marker's own paragraph. Word writes a paragraph's \par at
// the start of the next line ("{\insrsid1 @IF MOBILE@}{\insrsid1 " and
// "\par }{\insrsid1 Mobil ..."), where the marker's paragraph is still open.
struct RtfBreaks {
  std::string before;
  bool closed = false;
};
RtfBreaks RtfMarkerBreaks(std::string_view s) {
  RtfBreaks breaks;
  bool text = false;
  std::vector<bool> destination;  // per group open in the line
  for (std::size_t at = 0; at < s.size();) {
    const RtfToken t = NextRtf(s, at);
    at = t.end;
    const bool skip = !destination.empty() && destination.back();
    if (t.kind == RtfToken::Kind::Open) {
      destination.push_back(skip || IsDestination(s, t.end));
    } else if (t.kind == RtfToken::Kind::Close) {
      if (!destination.empty()) destination.pop_back();
    } else if (skip) {
      continue;
    } else if (t.kind == RtfToken::Kind::Word && t.word == kRtfParagraph) {
      if (text) {
        breaks.closed = true;
      } else {
        breaks.before += "\\par ";
      }
    } else if (IsRtfText(t)) {
      text = true;
    }
  }
  return breaks;
}

// The \par an rtf line begins with, before any text (control words, groups
// and destinations aside): its bytes, or npos for none.
std::pair<std::size_t, std::size_t> LeadingRtfParagraph(std::string_view s) {
  std::size_t depth = 0, destinationDepth = 0;  // destinationDepth: inside one from this depth on
  for (std::size_t at = 0; at < s.size();) {
    const RtfToken t = NextRtf(s, at);
    at = t.end;
    if (t.kind == RtfToken::Kind::Open) {
      ++depth;
      if (destinationDepth == 0 && IsDestination(s, t.end)) destinationDepth = depth;
      continue;
    }
    if (t.kind == RtfToken::Kind::Close) {
      if (depth == destinationDepth) destinationDepth = 0;
      if (depth > 0) --depth;
      continue;
    }
    if (destinationDepth != 0) continue;
    if (t.kind == RtfToken::Kind::Word && t.word == kRtfParagraph) return {t.begin, t.end};
    if (IsRtfText(t)) break;
  }
  return {std::string_view::npos, std::string_view::npos};
}

// The end of the htm tag (or comment) that begins at `at`.
std::size_t TagEnd(std::string_view s, std::size_t at) {
  const std::size_t end = s.substr(at).starts_with("<!--") ? s.find("-->", at) : std::string_view::npos;
  if (end != std::string_view::npos) return end + 3;
  const std::size_t gt = s.find('>', at);
  return gt == std::string_view::npos ? s.size() : gt + 1;
}

// The text of htm lines (joined with their line ends, blanks in html).
std::string HtmText(std::string_view s, bool inTag) {
  static constexpr std::array<std::string_view, 2> kSpaces = {"&nbsp;", "&#160;"};
  std::string text;
  std::size_t at = 0;
  if (inTag) {
    const std::size_t gt = s.find('>');
    at = gt == std::string_view::npos ? s.size() : gt + 1;
  }
  while (at < s.size()) {
    const char c = s[at];
    if (c == '<' && OpensTag(s, at)) {
      at = TagEnd(s, at);
      continue;
    }
    if (c == '&') {
      const auto space = std::find_if(kSpaces.begin(), kSpaces.end(), [&](std::string_view e) {
        return s.substr(at).starts_with(e);
      });
      if (space != kSpaces.end()) {
        text += ' ';
        at += space->size();
        continue;
      }
    }
    text += c == '\r' || c == '\n' ? ' ' : c;
    ++at;
  }
  return text;
}

// Elements that have no end tag.
constexpr std::array<std::string_view, 14> kVoidElements = {
    "area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source", "track", "wbr"};

// What of a marker's htm line sets the formatting of what follows: the tags
// that open an element closed on a later line, or close one opened before.
std::string HtmRemains(std::string_view s, bool inTag) {
  struct Tag {
    std::string_view text;
    std::string name;  // lower case; "" for a comment or declaration
    bool closing = false;
    bool kept = false;
  };
  std::vector<Tag> tags;
  std::size_t at = 0;
  if (inTag) {  // the end of a tag that began on an earlier line
    at = std::min(s.size(), s.find('>') + 1);
    tags.push_back({s.substr(0, at), "", false, true});
  }
  std::vector<std::size_t> open;
  for (; at < s.size(); ++at) {
    if (s[at] != '<' || !OpensTag(s, at)) continue;
    const std::size_t end = TagEnd(s, at);
    Tag tag{s.substr(at, end - at), "", false, false};
    std::size_t name = at + 1;
    tag.closing = s[name] == '/';
    if (tag.closing) ++name;
    while (name < end && (IsNameByte(static_cast<unsigned char>(s[name])) || s[name] == ':' || s[name] == '-'))
      tag.name += static_cast<char>(std::tolower(static_cast<unsigned char>(s[name++])));
    const bool selfClosing = tag.text.ends_with("/>");
    const bool isVoid = std::find(kVoidElements.begin(), kVoidElements.end(), tag.name) != kVoidElements.end();
    at = end - 1;
    if (tag.name.empty() || selfClosing || isVoid) continue;  // comments, <br>, <o:p/>: gone
    if (!tag.closing) {
      open.push_back(tags.size());
      tag.kept = true;
      tags.push_back(std::move(tag));
      continue;
    }
    const auto opener = std::find_if(open.rbegin(), open.rend(),
                                     [&](std::size_t i) { return tags[i].name == tag.name; });
    if (opener == open.rend()) {
      tag.kept = true;  // closes an element of an earlier line
      tags.push_back(std::move(tag));
      continue;
    }
    // The element and what it encloses stay on this line: gone with it.
    for (auto i = open.rbegin(); i != std::next(opener); ++i) tags[*i].kept = false;
    open.erase(std::prev(opener.base()), open.end());
  }
  std::string remains;
  for (const Tag& tag : tags) {
    if (tag.kept) remains += tag.text;
  }
  return remains;
}

// Where the symbol and a marker word (with blanks, the symbol or the end
// after it) begin in the text; npos for nowhere.
std::size_t MarkerStart(std::string_view text, std::string_view symbol, std::size_t& wordEnd) {
  for (std::size_t at = text.find(symbol); at != std::string_view::npos; at = text.find(symbol, at + 1)) {
    std::size_t end = at + symbol.size();
    std::string word;
    while (end < text.size() && IsLetter(static_cast<unsigned char>(text[end])) &&
           word.size() <= kLongestMarkerWord)
      word += static_cast<char>(Upper(static_cast<unsigned char>(text[end++])));
    if (std::find(kMarkerWords.begin(), kMarkerWords.end(), word) == kMarkerWords.end()) continue;
    // "me@if.de" is an address.
    if (end < text.size() && !IsBlank(text[end]) && text.compare(end, symbol.size(), symbol) != 0) continue;
    wordEnd = end;
    return at;
  }
  return std::string_view::npos;
}

// Whether a marker word (IF, IFNOT, ELSE, ENDIF, any case) begins at p, after
// the symbol, markup between its letters aside, and ends at a blank, an
// entity, a control word, the symbol or the line's end.
bool MarkerWordAt(std::string_view line, std::size_t p, std::string_view symbol, Markup markup) {
  // Two letters that begin no marker word tell at once ("@INITIALS@", "@EMAIL@").
  if (p + 1 < line.size() && IsLetter(static_cast<unsigned char>(line[p])) &&
      IsLetter(static_cast<unsigned char>(line[p + 1]))) {
    const std::array<char, 2> first = {static_cast<char>(Upper(static_cast<unsigned char>(line[p]))),
                                       static_cast<char>(Upper(static_cast<unsigned char>(line[p + 1])))};
    if (std::none_of(kMarkerWords.begin(), kMarkerWords.end(), [&](std::string_view w) {
          return w.starts_with(std::string_view(first.data(), first.size()));
        }))
      return false;
  }
  std::array<char, kLongestMarkerWord + 1> word{};
  std::size_t length = 0;
  while (p < line.size() && length < word.size()) {
    const auto c = static_cast<unsigned char>(line[p]);
    if (markup == Markup::Tags && c == '<' && OpensTag(line, p)) {
      p = TagEnd(line, p);
      continue;
    }
    if (markup == Markup::Rtf && (c == '{' || c == '}' || (c == '\\' && p + 1 < line.size() &&
                                                          IsLetter(static_cast<unsigned char>(line[p + 1]))))) {
      p = NextRtf(line, p).end;
      continue;
    }
    if (!IsLetter(c)) break;
    word[length++] = static_cast<char>(Upper(c));
    ++p;
  }
  const std::string_view letters(word.data(), length);
  if (std::none_of(kMarkerWords.begin(), kMarkerWords.end(), [&](std::string_view w) { return letters == w; }))
    return false;
  return p >= line.size() || IsBlank(line[p]) || line[p] == '&' || line[p] == '\\' ||
         line.compare(p, symbol.size(), symbol) == 0;
}

// The bytes after a symbol that may begin a marker word, per markup: I or E,
// or markup between the symbol and the word's letters.
constexpr std::array<std::string_view, 3> kWordStartBytes = {"IEie", "IEie<", "IEie{}\\"};
constexpr std::array<bool, 256> WordStarts(Markup markup) {
  std::array<bool, 256> starts{};
  for (const char c : kWordStartBytes[static_cast<std::size_t>(markup)]) starts[static_cast<unsigned char>(c)] = true;
  return starts;
}
constexpr std::array<std::array<bool, 256>, 3> kWordStarts = {WordStarts(Markup::None), WordStarts(Markup::Tags),
                                                          WordStarts(Markup::Rtf)};

// Whether a line may hold the symbol and a marker word, markup between their
// letters aside (an editor splits a word across spans). Most lines of a
// template do not, and go on at once. The symbols are read in order; one not
// before I, E or markup that a name and the symbol follow begins a
// placeholder, and its closing symbol begins nothing ("@PHONE@IF x" holds no
// marker, "@PHONE@ @IF x" and "@INFO@IF x" may).
bool MayHoldMarker(std::string_view line, std::string_view symbol, Markup markup) {
  if (symbol.empty()) return false;
  const char first = symbol[0];
  const std::size_t n = line.size(), s = symbol.size();
  const char* data = line.data();
  const std::array<bool, 256>& starts = kWordStarts[static_cast<std::size_t>(markup)];
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(data[at]); };
  if (s == 1 && !kNameBytes[static_cast<unsigned char>(first)]) {
    // One byte, no name's: only a symbol before I, E or markup is looked at;
    // whether it closes a placeholder is found out backwards, over the chain
    // of placeholders that runs into it (each closing symbol, once taken,
    // begins nothing itself).
    return !ForEachByte(line, first, [&](std::size_t at) {
      if (at + 1 >= n || !starts[byte(at + 1)]) return true;
      std::size_t links = 0;
      for (std::size_t close = at;;) {
        std::size_t name = close;
        while (name > 0 && kNameBytes[byte(name - 1)]) --name;
        if (name == close || name == 0 || data[name - 1] != first || starts[byte(name)]) break;
        ++links;
        close = name - 1;
      }
      // A symbol that closes a placeholder goes on; a marker word ends the search.
      return links % 2 == 1 || !MarkerWordAt(line, at + 1, symbol, markup);
    });
  }
  const auto symbolAt = [&](std::size_t at) {
    return at + s <= n && data[at] == first && (s == 1 || line.compare(at, s, symbol) == 0);
  };
  for (const auto* hit = static_cast<const char*>(std::memchr(data, first, n)); hit != nullptr;
       hit = static_cast<const char*>(std::memchr(hit + 1, first, n - static_cast<std::size_t>(hit + 1 - data)))) {
    const auto at = static_cast<std::size_t>(hit - data);
    if (at + s >= n || !symbolAt(at)) continue;
    // Most symbols of a line begin or end a placeholder: no I or E, no markup after them.
    if (!starts[byte(at + s)]) {
      // A placeholder's name and its closing symbol begin no marker.
      std::size_t end = at + s;
      while (end < n && kNameBytes[byte(end)]) ++end;
      if (end > at + s && symbolAt(end)) hit = data + end;
      continue;
    }
    if (MarkerWordAt(line, at + s, symbol, markup)) return true;
  }
  return false;
}

// A held group of lines that is this long is decided as it stands.
constexpr std::size_t kHeldBytes = std::size_t{1} << 16;
// A marker may be wrapped over this many lines.
constexpr std::size_t kSplitLines = 4;
// Verdicts remembered per file; a template of more distinct markers forgets them.
constexpr std::size_t kKnownVerdicts = 1024;

}  // namespace

MarkerLine ParseMarkerLine(std::string_view line, std::string_view symbol,
                           const std::vector<std::string>& names) {
  MarkerLine result;
  const std::string_view text = TrimBlanks(line);
  if (symbol.empty() || text.size() < 2 * symbol.size() || !text.starts_with(symbol) ||
      !text.ends_with(symbol))
    return result;
  const std::string_view body = text.substr(symbol.size(), text.size() - 2 * symbol.size());
  const size_t wordEnd = std::min(body.find_first_of(" \t"), body.size());
  const std::string word = platform::text::ToUpper(body.substr(0, wordEnd));
  const std::string_view rest = TrimBlanks(body.substr(wordEnd));
  TemplateMarker marker;
  if (word == "IF") {
    marker.kind = TemplateMarker::Kind::If;
  } else if (word == "IFNOT") {
    marker.kind = TemplateMarker::Kind::IfNot;
  } else if (word == "ELSE" || word == "ENDIF") {
    // "@ELSE@" and "@ENDIF@" take nothing after them.
    if (!rest.empty()) {
      result.error = "Unbekannte Bedingung '" + platform::FromAnsi(text) + "'";
      return result;
    }
    marker.kind = word == "ELSE" ? TemplateMarker::Kind::Else : TemplateMarker::Kind::EndIf;
    result.marker = marker;
    return result;
  } else {
    return result;  // another word: a line of text, such as a placeholder alone
  }
  const size_t equals = rest.find('=');
  const std::string name = platform::text::ToUpper(TrimBlanks(rest.substr(0, equals)));
  if (equals != std::string_view::npos && name == kMemberOf) {
    marker.groups = SplitNameList(platform::FromAnsi(rest.substr(equals + 1)));
  } else if (!name.empty() && std::find(names.begin(), names.end(), name) != names.end()) {
    marker.name = name;
    if (equals != std::string_view::npos)
      marker.pattern = platform::FromAnsi(TrimBlanks(rest.substr(equals + 1)));
  } else {
    // Still a block's beginning: a check that reads on pairs it with its end.
    result.error = UnknownCondition(text, symbol, name, rest, names);
  }
  result.marker = std::move(marker);
  return result;
}

void TemplateBlocks::RaiseAt(const std::string& error, std::size_t lineNumber) const {
  RaiseError("Vorlage '" + path_ + "', Zeile " + std::to_string(lineNumber) + ": " + error);
}

void TemplateBlocks::Fail(const std::string& error, std::size_t lineNumber) {
  if (errors_ == nullptr) RaiseAt(error, lineNumber);
  errors_->push_back("Vorlage '" + path_ + "', Zeile " + std::to_string(lineNumber) + ": " + error);
}

void TemplateBlocks::Take(const TemplateMarker& marker, bool holds, std::size_t lineNumber) {
  switch (marker.kind) {
    case TemplateMarker::Kind::If:
    case TemplateMarker::Kind::IfNot: {
      if (open_.size() >= kDeepestBlocks) {
        Fail("Bedingungen tiefer als " + std::to_string(kDeepestBlocks) + " verschachtelt", lineNumber);
        stopped_ = true;
        return;
      }
      const bool enclosing = Writing();
      open_.push_back({enclosing, holds, false, enclosing && holds, lineNumber});
      ++blocks_;
      if (enclosing && holds) ++written_;
      return;
    }
    case TemplateMarker::Kind::Else:
      if (open_.empty()) return Fail("ELSE ohne IF", lineNumber);
      if (open_.back().inElse)
        return Fail("zweites ELSE zum IF in Zeile " + std::to_string(open_.back().line), lineNumber);
      open_.back().inElse = true;
      open_.back().writing = open_.back().enclosingWriting && !open_.back().holds;
      return;
    case TemplateMarker::Kind::EndIf:
      if (open_.empty()) return Fail("ENDIF ohne IF", lineNumber);
      open_.pop_back();
      return;
  }
}

void TemplateBlocks::End() {
  if (!open_.empty() && !stopped_) Fail("IF ohne ENDIF", open_.back().line);
}

MarkerLines::MarkerLines(Markup markup, std::string symbol, std::vector<std::string> names)
    : markup_(markup), symbol_(std::move(symbol)), names_(std::move(names)) {}

std::string MarkerLines::Joined() const {
  std::string joined;
  for (std::size_t i = 0; i < held_.size(); ++i) {
    joined += held_[i].text;
    if (i + 1 < held_.size()) joined += held_[i].end;
  }
  return joined;
}

MarkerLines::Step MarkerLines::Take(std::string_view line, std::string_view end) {
  if (decided_) {
    held_.clear();
    heldBytes_ = 0;
    decided_ = false;
  }
  // The \par that ends an rtf marker's paragraph on the line after it goes
  // with the marker; the rest of that line is read as ever.
  bool stripped = false;
  if (std::exchange(paragraphOpen_, false) && held_.empty()) {
    if (const auto [begin, parEnd] = LeadingRtfParagraph(line); begin != std::string_view::npos) {
      stripped_.assign(line.substr(0, begin)).append(line.substr(parEnd));
      line = stripped_;
      stripped = true;
    }
  }
  // A line that decides alone, as read before: a template repeats its few
  // markers. Such a line may hold a marker and ends outside a tag; a line
  // longer than all of them is none.
  if (held_.empty() && !inTag_ && line.size() <= longestKnown_) {
    // The last few first: a template's blocks repeat the same markers.
    const KnownLine* known = nullptr;
    for (const KnownLine* recent : recent_) {
      if (recent != nullptr && recent->first == line) {
        known = recent;
        break;
      }
    }
    if (known == nullptr) {
      if (const auto it = lines_.find(line); it != lines_.end()) {
        known = &*it;
        recent_[nextRecent_] = known;
        nextRecent_ = (nextRecent_ + 1) % recent_.size();
      }
    }
    if (known != nullptr) {
      held_.push_back({std::string(line), end, true});
      knownLine_ = &known->second;
      verdict_ = &known->second.verdict;
      paragraphOpen_ = known->second.paragraphOpen;
      decided_ = true;
      return Step::Decided;
    }
  }
  const bool startsInTag = inTag_;
  if (markup_ == Markup::Tags) inTag_ = EndsInTag(line, inTag_);
  const bool mayHold = MayHoldMarker(line, symbol_, markup_);
  if (held_.empty()) {
    // A line without its leading \par is decided, so that it is written so.
    if (!mayHold && !inTag_ && !stripped) return Step::Text;
    groupStartsInTag_ = startsInTag;
    groupMayHold_ = false;
    openText_.clear();
  }
  groupMayHold_ = groupMayHold_ || mayHold;
  held_.push_back({std::string(line), end, mayHold});
  heldBytes_ += line.size();
  if (heldBytes_ < kHeldBytes) {
    if (inTag_) return Step::Held;
    // A marker wrapped by an editor: "@IF" at the end of one line, "MOBILE@" on the next.
    if (groupMayHold_ && markup_ != Markup::None && held_.size() < kSplitLines) {
      const std::string joined = Joined();
      const std::string text(
          TrimBlanks(markup_ == Markup::Tags ? HtmText(joined, groupStartsInTag_) : RtfText(joined)));
      std::size_t wordEnd = 0;
      const std::size_t start = MarkerStart(text, symbol_, wordEnd);
      if (start == 0 && text.find(symbol_, wordEnd) == std::string::npos) {
        if (openText_.empty()) openText_ = text;
        return Step::Held;
      }
    }
  }
  Decide();
  if (held_.size() == 1 && !startsInTag && !inTag_ && openText_.empty() && !stripped) {
    if (lines_.size() >= kKnownVerdicts) {
      lines_.clear();
      recent_.fill(nullptr);
      longestKnown_ = 0;
    }
    lines_.emplace(std::string(line), Decided{*verdict_, text_, remains_, breaksBefore_, paragraphOpen_});
    longestKnown_ = std::max(longestKnown_, line.size());
  }
  return Step::Decided;
}

std::size_t MarkerLines::ErrorLine() const {
  const auto it = std::find_if(held_.begin(), held_.end(), [](const Line& l) { return l.mayHold; });
  return it == held_.end() ? 0 : static_cast<std::size_t>(it - held_.begin());
}

bool MarkerLines::Flush() {
  if (decided_ || held_.empty()) return false;
  Decide();
  return true;
}

void MarkerLines::Decide() {
  decided_ = true;
  knownLine_ = nullptr;
  remains_.clear();
  breaksBefore_.clear();
  paragraphOpen_ = false;
  verdict_ = &textVerdict_;
  if (!groupMayHold_) {
    text_.clear();
    return;
  }
  const std::string joined = Joined();
  text_ = std::string(TrimBlanks(markup_ == Markup::Tags   ? HtmText(joined, groupStartsInTag_)
                                 : markup_ == Markup::Rtf ? RtfText(joined)
                                                          : joined));
  std::size_t wordEnd = 0;
  const std::size_t start = MarkerStart(text_, symbol_, wordEnd);
  const std::size_t close = start == std::string::npos ? start : text_.find(symbol_, wordEnd);
  // The line is the marker alone when it begins with it and the symbol that
  // closes it is the line's last.
  if (start == 0 && close != std::string::npos && close + symbol_.size() == text_.size()) {
    auto it = known_.find(text_);
    if (it == known_.end()) {
      if (known_.size() >= kKnownVerdicts) known_.clear();
      it = known_.emplace(text_, ParseMarkerLine(text_, symbol_, names_)).first;
    }
    verdict_ = &it->second;
    if (verdict_->marker) {
      remains_ = markup_ == Markup::Tags  ? HtmRemains(joined, groupStartsInTag_)
                 : markup_ == Markup::Rtf ? RtfRemains(joined)
                                          : std::string();
      if (markup_ == Markup::Rtf) {
        RtfBreaks breaks = RtfMarkerBreaks(joined);
        breaksBefore_ = std::move(breaks.before);
        paragraphOpen_ = !breaks.closed;
      }
    }
    return;
  }
  if (start == std::string::npos && openText_.empty()) return;
  openVerdict_ = MarkerLine{};
  verdict_ = &openVerdict_;
  // The marker it would be, for a check that reads on.
  const std::string word = platform::text::ToUpper(
      std::string_view(openText_.empty() ? text_ : openText_)
          .substr((openText_.empty() ? start : 0) + symbol_.size(), kLongestMarkerWord + 1));
  openVerdict_.marker = TemplateMarker{};
  openVerdict_.marker->kind = word.starts_with("IFNOT")   ? TemplateMarker::Kind::IfNot
                              : word.starts_with("IF")    ? TemplateMarker::Kind::If
                              : word.starts_with("ELSE")  ? TemplateMarker::Kind::Else
                                                          : TemplateMarker::Kind::EndIf;
  const std::string symbol = platform::FromAnsi(symbol_);
  if (close == std::string::npos || !openText_.empty()) {
    // A marker that its line, or the lines after it, do not close: as the first line has it.
    const std::string open = openText_.empty() ? text_.substr(start) : openText_;
    openVerdict_.error = "'" + platform::FromAnsi(open) + "' ohne schließendes '" + symbol + "'";
    return;
  }
  openVerdict_.error = "'" + platform::FromAnsi(text_.substr(start, close + symbol_.size() - start)) +
                       "' steht nicht allein in der Zeile; jede Bedingung gehört in eine eigene Zeile";
}

}  // namespace qm
