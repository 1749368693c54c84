// The renderer as first written, kept as the measure of the one-pass renderer:
// each placeholder of the list in its order is searched in the whole line and
// every occurrence replaced before the next is searched. It renders the
// template's bytes with the values of qm::UserData and qm::RunState.
#pragma once

#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "run/modMain.h"
#include "signatures/Rendering.h"
#include "userdata/UserData.h"

namespace qmtest {

inline std::string ReferenceRender(std::string_view templ, int format) {
  using F = qm::UserField;
  const auto& u = qm::UserData;
  const auto enc = [format](const std::string& v) {
    return qm::RunState.EscapeValues ? qm::EscapeValue(v, format) : qm::platform::ToAnsi(v);
  };
  const auto blank = [](const std::string& v) { return v.find_first_not_of(" \t\r\n\v\f") == std::string::npos; };
  const std::string fullName = (u[F::Title].empty() ? "" : u[F::Title] + " ") + u[F::FirstName] + " " +
                               (u[F::Initials].empty() ? "" : u[F::Initials] + " ") + u[F::LastName];
  const char* br = format == qm::kFormatHtm ? "<br>" : format == qm::kFormatRtf ? "\r\n\\par " : "\r\n";
  std::string signTitle = enc(u[F::SignTitle1]);
  if (!u[F::SignTitle2].empty()) signTitle += br + enc(u[F::SignTitle2]);
  // name, value, whether it stands for nothing
  std::vector<std::tuple<std::string, std::string, bool>> rows = {
      {"FIRSTNAME", enc(u[F::FirstName]), blank(u[F::FirstName])},
      {"LASTNAME", enc(u[F::LastName]), blank(u[F::LastName])},
      {"INITIALS", enc(u[F::Initials]), blank(u[F::Initials])},
      {"TITLE", enc(u[F::Title]), blank(u[F::Title])},
      {"FULLNAME", enc(fullName),
       blank(u[F::Title]) && blank(u[F::FirstName]) && blank(u[F::Initials]) && blank(u[F::LastName])},
      {"SIGNTITLE", signTitle, blank(u[F::SignTitle1]) && blank(u[F::SignTitle2])}};
  for (const auto& [name, field] : {std::pair{"PHONE", F::Phone}, {"FAX", F::Fax}, {"MOBILE", F::Mobile},
                                    {"EMAIL", F::EMail}, {"POSTCODE", F::Postcode}, {"CITY", F::City},
                                    {"STREET", F::Street}})
    rows.emplace_back(name, enc(u[field]), blank(u[field]));
  for (int i = 1; i <= 10; ++i) {
    const std::string& v = u[static_cast<F>(static_cast<int>(F::UserDef1) + i - 1)];
    rows.emplace_back("USERDEF" + std::to_string(i), enc(v), blank(v));
  }
  const std::string symbol = qm::platform::ToAnsi(qm::RunState.PlaceholderSymbol);
  std::string out;
  for (size_t at = 0; at < templ.size();) {
    size_t end = templ.find('\r', at);
    if (end == std::string_view::npos) end = templ.size();
    std::string line(templ.substr(at, end - at));
    at = end + (templ.substr(end, 2) == "\r\n" ? 2 : 1);
    bool found = false, filled = false;
    for (const auto& [name, value, empty] : rows) {
      const std::string pattern = symbol + name + symbol;
      if (line.find(pattern) == std::string::npos) continue;
      found = true;
      filled = filled || !empty;
      std::string replaced;
      size_t from = 0;
      for (size_t hit; (hit = line.find(pattern, from)) != std::string::npos; from = hit + pattern.size())
        replaced += line.substr(from, hit - from) + value;
      line = replaced + line.substr(from);
    }
    if (!(qm::RunState.DropEmptyLines && found && !filled)) out += line + "\r\n";
  }
  return out;
}

}  // namespace qmtest
