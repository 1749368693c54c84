// The renderer as first written, kept as the measure of the one-pass renderer:
// each placeholder of the list in its order is searched in the whole line,
// character by character, and every occurrence replaced before the next is
// searched. It renders the template's bytes with the values of the user (and
// a mailbox, MAILBOX_ placeholders) and the settings of a run.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/codepage.h"
#include "records/RunState.h"
#include "records/UserData.h"
#include "signatures/Rendering.h"

namespace qmtest {

inline std::string ReferenceRender(const qm::RunStateValues& state, std::string_view templ, int format,
                                   const qm::UserDataRecord& user,
                                   const qm::UserDataRecord* mailbox = nullptr) {
  using F = qm::UserField;
  const auto enc = [format, &state](const std::string& v) {
    return state.EscapeValues ? qm::EscapeValue(v, format) : qm::platform::ToAnsi(v);
  };
  const auto blank = [](const std::string& v) {
    return v.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
  };
  std::vector<std::tuple<std::string, std::string, bool>> rows;  // name, value, stands for nothing
  // The placeholders of one record, their names after the prefix.
  const auto add = [&](const qm::UserDataRecord& u, const std::string& prefix) {
    std::vector<std::pair<std::string, F>> fields = {
        {"FIRSTNAME", F::FirstName}, {"LASTNAME", F::LastName}, {"INITIALS", F::Initials},
        {"TITLE", F::Title}, {"FULLNAME", F::Title}, {"SIGNTITLE", F::Title}, {"PHONE", F::Phone},
        {"FAX", F::Fax}, {"MOBILE", F::Mobile}, {"EMAIL", F::EMail}, {"POSTCODE", F::Postcode},
        {"CITY", F::City}, {"STREET", F::Street}};
    for (int i = 0; i < 10; ++i)
      fields.emplace_back("USERDEF" + std::to_string(i + 1), F(static_cast<int>(F::UserDef1) + i));
    const size_t first = rows.size();
    for (const auto& [name, f] : fields) rows.emplace_back(prefix + name, enc(u[f]), blank(u[f]));
    const auto part = [](const std::string& v) { return v.empty() ? v : v + " "; };
    rows[first + 4] = {prefix + "FULLNAME",
                       enc(part(u[F::Title]) + u[F::FirstName] + " " + part(u[F::Initials]) + u[F::LastName]),
                       blank(u[F::Title]) && blank(u[F::FirstName]) && blank(u[F::Initials]) &&
                           blank(u[F::LastName])};
    const std::string br =
        format == qm::kFormatHtm ? "<br>" : format == qm::kFormatRtf ? "\r\n\\par " : "\r\n";
    const std::string& second = u[F::SignTitle2];
    rows[first + 5] = {prefix + "SIGNTITLE", enc(u[F::SignTitle1]) + (second.empty() ? "" : br + enc(second)),
                       blank(u[F::SignTitle1]) && blank(second)};
  };
  add(user, "");
  if (mailbox != nullptr) add(*mailbox, "MAILBOX_");
  const std::string symbol = qm::platform::ToAnsi(state.PlaceholderSymbol);
  // A pattern is found only where a character of the code page begins.
  const auto find = [](const std::string& line, const std::string& pattern, size_t from) {
    for (size_t at = 0; at < line.size(); at += qm::platform::CharacterLength(line, at)) {
      if (at >= from && line.compare(at, pattern.size(), pattern) == 0) return at;
    }
    return std::string::npos;
  };
  // Where lines are dropped, a lone LF ends a line too and is written back.
  const char* ends = state.DropEmptyLines ? "\r\n" : "\r";
  std::string out;
  for (size_t at = 0; at < templ.size();) {
    const size_t end = std::min(templ.find_first_of(ends, at), templ.size());
    std::string line(templ.substr(at, end - at));
    const bool lf = end < templ.size() && templ[end] == '\n';
    at = templ.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
    bool found = false, filled = false;
    for (const auto& [name, value, empty] : rows) {
      const std::string pattern = symbol + name + symbol;
      if (find(line, pattern, 0) == std::string::npos) continue;
      found = true;
      filled = filled || !empty;
      std::string replaced;
      size_t from = 0;
      for (size_t hit; (hit = find(line, pattern, from)) != line.npos;) {
        replaced += line.substr(from, hit - from) + value;
        from = hit + pattern.size();
      }
      line = replaced + line.substr(from);
    }
    if (!(state.DropEmptyLines && found && !filled)) out += line + (lf ? "\n" : "\r\n");
  }
  return out;
}

}  // namespace qmtest
