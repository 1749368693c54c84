// Conditional blocks of templates (TemplateConditions=1): a line whose only
// text is a marker (@IF MOBILE@, @IF CITY=Gd*@, @IF MEMBEROF=Vertrieb@,
// @IFNOT FAX@, @ELSE@, @ENDIF@, with the configured symbol) is never written
// and decides whether the lines up to its @ELSE@ or @ENDIF@ are. Markers are
// found on the template's own lines, before any value is put in, so a value
// never reads as one. An HTML editor wraps a marker in tags
// (<p class=MsoNormal>@IF MOBILE@<o:p></o:p></p>), an rtf editor in control
// words and groups: that is still the marker's own line.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

/// A marker line, parsed.
struct TemplateMarker {
  enum class Kind { If, IfNot, Else, EndIf };
  Kind kind = Kind::If;
  std::string name;                                ///< the field's name, upper case ("" for MEMBEROF)
  std::optional<std::string> pattern;              ///< NAME=pattern: a Like pattern (UTF-8)
  std::optional<std::vector<std::string>> groups;  ///< MEMBEROF=group;group (UTF-8)
};

/// What a template line is: no marker (text), a marker, or a line that looks
/// like a marker but is none that the program knows (error says why).
struct MarkerLine {
  std::optional<TemplateMarker> marker;
  std::string error;  ///< "" unless the line is an unknown marker
};

/// Parses a template line's text (bytes of the ANSI code page, no line end)
/// against the symbol (in the code page) and the names a condition may name
/// (upper case). A line is a marker when, blanks around it aside, it is the
/// symbol, a word IF, IFNOT, ELSE or ENDIF (any case), what follows it, and
/// the symbol. An unknown condition's error suggests the nearest name, and
/// @IFNOT X@ for @IF NOT X@. Never fails.
MarkerLine ParseMarkerLine(std::string_view line, std::string_view symbol,
                           const std::vector<std::string>& names);

/// Blocks nest this deep at most; deeper is refused.
inline constexpr std::size_t kDeepestBlocks = 64;

/// The blocks of one template file as its lines are read, in order.
class TemplateBlocks {
 public:
  /// path names the file in the errors.
  explicit TemplateBlocks(std::string path) : path_(std::move(path)) {}

  /// errors: where the errors go instead of being raised (/CHECK reports all
  /// of them); an error that leaves the rest of the file unreadable (blocks
  /// nested too deep) then stops it (Stopped).
  TemplateBlocks(std::string path, std::vector<std::string>* errors)
      : path_(std::move(path)), errors_(errors) {}

  /// A marker on line lineNumber; holds says whether an IF's condition holds
  /// (ignored for ELSE and ENDIF). Raises error 999 naming the file and the
  /// line for an ELSE or ENDIF without its IF, a second ELSE, and blocks
  /// nested deeper than kDeepestBlocks.
  void Take(const TemplateMarker& marker, bool holds, std::size_t lineNumber);

  /// Raises error 999 naming the file and the line: "Vorlage '<path>', Zeile <n>: <what>".
  [[noreturn]] void RaiseAt(const std::string& what, std::size_t lineNumber) const;

  /// Raises, or with errors records, "Vorlage '<path>', Zeile <n>: <what>".
  void Fail(const std::string& what, std::size_t lineNumber);

  /// Whether the lines read now are written.
  bool Writing() const { return open_.empty() || open_.back().writing; }

  /// Whether the lines around the innermost open block are written.
  bool WritingAround() const { return open_.empty() || open_.back().enclosingWriting; }

  /// Whether an error has ended the reading of the file (with errors only).
  bool Stopped() const { return stopped_; }

  /// At the end of the file: raises error 999 naming the line of an IF
  /// without its ENDIF.
  void End();

  /// The IF blocks read so far, and of them those whose IF part was written.
  int Blocks() const { return blocks_; }
  int Written() const { return written_; }

 private:
  struct Open {
    bool enclosingWriting;
    bool holds;
    bool inElse;
    bool writing;
    std::size_t line;
  };
  std::string path_;
  std::vector<std::string>* errors_ = nullptr;
  bool stopped_ = false;
  std::vector<Open> open_;
  int blocks_ = 0;
  int written_ = 0;
};

/// The markup around the text of a template's lines.
enum class Markup { None, Tags, Rtf };

/// Reads the lines of one template as marker lines and lines of text. In an
/// htm a line's text is what lies outside its tags (&nbsp; a blank); in an
/// rtf what lies outside control words, braces and destinations ({\*...},
/// {\fonttbl...}); a txt line is all text. A line that ends inside a tag (an
/// editor wraps long tags), or whose text opens a marker that the next line
/// closes, reads on with the next lines. A marker that shares its line with
/// other text, or one without its closing symbol, is an error.
class MarkerLines {
 public:
  enum class Step {
    Held,     ///< the line waits for the next ones
    Text,     ///< the line alone, text: written as it is
    Decided,  ///< Lines() are one marker line or lines of text (Verdict())
  };
  struct Line {
    std::string text;
    std::string_view end;  ///< the line end to write after it (static text)
    bool mayHold = false;  ///< the symbol and a marker word are in it
  };

  MarkerLines(Markup markup, std::string symbol, std::vector<std::string> names);

  /// Takes the next line of the file (no line end) and the end written after it.
  Step Take(std::string_view line, std::string_view end);
  /// At the end of the file: decides the lines still held; false when none were.
  bool Flush();

  /// The lines decided.
  const std::vector<Line>& Lines() const { return held_; }
  /// Their verdict: a marker, an error (unknown marker, marker not alone,
  /// marker without its closing symbol), or neither (text).
  const MarkerLine& Verdict() const { return *verdict_; }
  /// Of Lines(), the one an error is in: the first that holds a marker's beginning.
  std::size_t ErrorLine() const;
  /// The text the verdict was made from, blanks around it aside.
  const std::string& Text() const { return knownLine_ != nullptr ? knownLine_->text : text_; }
  /// For a marker line: the markup that sets the formatting of what follows
  /// (an opening tag closed on a later line, an rtf control word outside the
  /// line's groups), "" when the line goes whole.
  const std::string& Remains() const { return knownLine_ != nullptr ? knownLine_->remains : remains_; }
  /// For an rtf marker line: the paragraph marks before the marker's text
  /// ("\par " each), which end the lines before it and go where they go.
  /// The marker's own \par goes with it, also where Word writes it at the
  /// start of the next line: that line is then decided without it.
  const std::string& BreaksBefore() const {
    return knownLine_ != nullptr ? knownLine_->breaksBefore : breaksBefore_;
  }

 private:
  void Decide();
  std::string Joined() const;

  Markup markup_;
  std::string symbol_;
  std::vector<std::string> names_;
  bool inTag_ = false;            // an htm line ended inside a tag
  bool groupStartsInTag_ = false;
  bool groupMayHold_ = false;     // a line of the group may hold a marker
  bool decided_ = false;
  std::size_t heldBytes_ = 0;
  std::vector<Line> held_;
  std::string openText_;          // the text of a marker wrapped onto the next line
  std::string text_;
  std::string remains_;
  std::string breaksBefore_;
  bool paragraphOpen_ = false;    // an rtf marker's \par is still to come
  std::string stripped_;          // a line without that \par
  const MarkerLine* verdict_ = nullptr;
  std::unordered_map<std::string, MarkerLine> known_;  // verdicts by text
  struct Decided {
    MarkerLine verdict;
    std::string text, remains, breaksBefore;
    bool paragraphOpen = false;
  };
  struct BytesHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view bytes) const { return std::hash<std::string_view>{}(bytes); }
  };
  // Lines that decided alone, by their bytes; the one just read again.
  std::unordered_map<std::string, Decided, BytesHash, std::equal_to<>> lines_;
  using KnownLine = std::pair<const std::string, Decided>;
  static constexpr std::size_t kRecentLines = 4;
  std::array<const KnownLine*, kRecentLines> recent_{};  // of lines_, the last ones read again
  std::size_t nextRecent_ = 0;
  const Decided* knownLine_ = nullptr;
  std::size_t longestKnown_ = 0;  // the longest of lines_
  MarkerLine textVerdict_;
  MarkerLine openVerdict_;
};

}  // namespace qm
