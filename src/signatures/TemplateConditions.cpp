// Conditional blocks: the marker lines and the blocks they open and close.
#include "signatures/TemplateConditions.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/common/text.h"
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
    result.error = "Unbekannte Bedingung '" + platform::FromAnsi(text) + "'";
    return result;
  }
  result.marker = std::move(marker);
  return result;
}

void TemplateBlocks::RaiseAt(const std::string& error, std::size_t lineNumber) const {
  RaiseError("Vorlage '" + path_ + "', Zeile " + std::to_string(lineNumber) + ": " + error);
}

void TemplateBlocks::Take(const TemplateMarker& marker, bool holds, std::size_t lineNumber) {
  switch (marker.kind) {
    case TemplateMarker::Kind::If:
    case TemplateMarker::Kind::IfNot: {
      if (open_.size() >= kDeepestBlocks) {
        RaiseAt("Bedingungen tiefer als " + std::to_string(kDeepestBlocks) + " verschachtelt",
                     lineNumber);
      }
      const bool enclosing = Writing();
      open_.push_back({enclosing, holds, false, enclosing && holds, lineNumber});
      ++blocks_;
      if (enclosing && holds) ++written_;
      return;
    }
    case TemplateMarker::Kind::Else:
      if (open_.empty()) RaiseAt("ELSE ohne IF", lineNumber);
      if (open_.back().inElse) RaiseAt("zweites ELSE zum IF in Zeile " + std::to_string(open_.back().line), lineNumber);
      open_.back().inElse = true;
      open_.back().writing = open_.back().enclosingWriting && !open_.back().holds;
      return;
    case TemplateMarker::Kind::EndIf:
      if (open_.empty()) RaiseAt("ENDIF ohne IF", lineNumber);
      open_.pop_back();
      return;
  }
}

void TemplateBlocks::End() const {
  if (!open_.empty()) RaiseAt("IF ohne ENDIF", open_.back().line);
}

}  // namespace qm
