// Conditional blocks of templates (TemplateConditions=1): a line that holds
// only a marker (@IF MOBILE@, @IF CITY=Gd*@, @IF MEMBEROF=Vertrieb@, @IFNOT
// FAX@, @ELSE@, @ENDIF@, with the configured symbol) is never written and
// decides whether the lines up to its @ELSE@ or @ENDIF@ are. Markers are
// found on the template's own lines, before any value is put in, so a value
// never reads as one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
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

/// Parses a template line (bytes of the ANSI code page, no line end) against
/// the symbol (in the code page) and the names a condition may name (upper
/// case). A line is a marker when, blanks around it aside, it is the symbol,
/// a word IF, IFNOT, ELSE or ENDIF (any case), what follows it, and the
/// symbol. Never fails.
MarkerLine ParseMarkerLine(std::string_view line, std::string_view symbol,
                           const std::vector<std::string>& names);

/// Blocks nest this deep at most; deeper is refused.
inline constexpr std::size_t kDeepestBlocks = 64;

/// The blocks of one template file as its lines are read, in order.
class TemplateBlocks {
 public:
  /// path names the file in the errors.
  explicit TemplateBlocks(std::string path) : path_(std::move(path)) {}

  /// A marker on line lineNumber; holds says whether an IF's condition holds
  /// (ignored for ELSE and ENDIF). Raises error 999 naming the file and the
  /// line for an ELSE or ENDIF without its IF, a second ELSE, and blocks
  /// nested deeper than kDeepestBlocks.
  void Take(const TemplateMarker& marker, bool holds, std::size_t lineNumber);

  /// Raises error 999 naming the file and the line: "Vorlage '<path>', Zeile <n>: <what>".
  [[noreturn]] void RaiseAt(const std::string& what, std::size_t lineNumber) const;

  /// Whether the lines read now are written.
  bool Writing() const { return open_.empty() || open_.back().writing; }

  /// At the end of the file: raises error 999 naming the line of an IF
  /// without its ENDIF.
  void End() const;

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
  std::vector<Open> open_;
  int blocks_ = 0;
  int written_ = 0;
};

}  // namespace qm
