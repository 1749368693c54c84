// The audit's page, CSV and summary (see AuditPage.h). The page is UTF-8 and
// stands alone: no script, no style sheet or picture from elsewhere, so that
// it opens from a share, a mail attachment or a browser without network.
#include "preview/AuditPage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string_view>
#include <utility>

#include "platform/common/text.h"
#include "preview/PreviewPage.h"
#include "support/modTools.h"

namespace qm {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr const char* kListSeparator = "; ";
// A folder name is kept this short, so that the user's files below it stay
// within the path lengths Windows takes.
constexpr std::size_t kLongestFolderName = 100;
constexpr std::size_t kEscapeLength = 3;  // "%XX"
constexpr std::uint32_t kFnvOffset = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;
constexpr int kHashDigits = 8;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr char kFirstPrintable = ' ';
constexpr unsigned char kLastAscii = 0x7F;

// The names Windows gives devices, in every folder.
constexpr std::array<std::string_view, 4> kDeviceNames = {"CON", "PRN", "AUX", "NUL"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "table{border-collapse:collapse}th,td{border:1px solid #bbb;padding:2px 6px;text-align:left;"
    "vertical-align:top}th{background:#eee;font-weight:normal;position:sticky;top:0}"
    "tr.error td.outcome{color:#a00}tr.warning td.warnings{color:#850}"
    "td.outcome{max-width:40em}"
    // The summary is written after the last user and shown before the first.
    "body{display:flex;flex-direction:column}h1{order:-2}section.summary{order:-1}";

void AppendEscape(std::string& out, unsigned char c) {
  out += '%';
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 0xF];
}

bool MustEscape(unsigned char c) {
  return c < kFirstPrintable || c >= kLastAscii || std::string_view("\\/:*?\"<>|%").find(static_cast<char>(c)) !=
                                                      std::string_view::npos;
}

bool IsDeviceName(std::string_view name) {
  const std::string stem = ToUpper(name.substr(0, name.find('.')));
  if (std::find(kDeviceNames.begin(), kDeviceNames.end(), stem) != kDeviceNames.end()) return true;
  return stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
         std::find(kNumberedDevices.begin(), kNumberedDevices.end(), std::string_view(stem).substr(0, 3)) !=
             kNumberedDevices.end();
}

std::string HashText(std::string_view text) {
  std::uint32_t hash = kFnvOffset;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnvPrime;
  }
  std::string digits(kHashDigits, '0');
  for (int i = kHashDigits - 1; i >= 0; --i, hash >>= 4) digits[static_cast<size_t>(i)] = "0123456789abcdef"[hash & 0xF];
  return digits;
}


std::string Joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& v : values) text += (text.empty() ? "" : kListSeparator) + v;
  return text;
}

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  return "\"" + ReplaceAll(value, "\"", "\"\"") + "\"";
}

// The columns of a row, in the order of the header.
std::array<std::string, 12> Columns(const AuditRow& row) {
  return {row.User,           row.Name,
          row.Outcome,        Joined(row.SignTypes),
          Joined(row.SignTypesReply), Joined(row.Targets),
          Joined(row.TargetsReply),   Joined(row.Rules),
          Joined(row.Mailboxes),      Joined(row.EmptyFields),
          Joined(row.Warnings),       row.Folder};
}

constexpr std::size_t kOutcomeColumn = 2;
constexpr std::size_t kWarningsColumn = 10;

constexpr std::array<std::string_view, 12> kColumnNames = {
    "Benutzer",      "Name",   "Ergebnis",   "Signaturtypen", "Antwort-Signaturtypen", "Ziele",
    "Antwort-Ziele", "Regeln", "Postfächer", "Leere Felder",  "Warnungen",             "Ordner"};

// The error lines, most frequent first, then in text order.
std::vector<std::pair<std::string, std::size_t>> ByCount(const AuditTally& tally) {
  std::vector<std::pair<std::string, std::size_t>> errors(tally.Errors.begin(), tally.Errors.end());
  std::stable_sort(errors.begin(), errors.end(), [](const auto& x, const auto& y) { return x.second > y.second; });
  return errors;
}

// A folder name as a link: its "%" escapes are characters of the name on
// disk, so each "%" is itself escaped for the browser, and so is a "#",
// which would begin the link's fragment.
std::string Href(const AuditRow& row) {
  return ReplaceAll(ReplaceAll(row.Folder, "%", "%25"), "#", "%23") + "/" + row.Opened;
}

}  // namespace

std::string AuditFolderName(const std::string& userName) {
  std::string name;
  for (unsigned char c : userName) {
    if (MustEscape(c)) {
      AppendEscape(name, c);
    } else {
      name += static_cast<char>(c);
    }
  }
  if (name == "." || name == "..") {
    std::string dots;
    for (char c : name) AppendEscape(dots, static_cast<unsigned char>(c));
    name = dots;
  }
  if (!name.empty() && name.front() == ' ') name = "%20" + name.substr(1);
  if (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
    const unsigned char last = static_cast<unsigned char>(name.back());
    name.pop_back();
    AppendEscape(name, last);
  }
  if (IsDeviceName(name)) {
    const unsigned char first = static_cast<unsigned char>(name.front());
    std::string escaped;
    AppendEscape(escaped, first);
    name = escaped + name.substr(1);
  }
  if (name.size() > kLongestFolderName) {
    std::size_t cut = kLongestFolderName;
    // Never inside an escape.
    for (std::size_t back = 1; back < kEscapeLength && cut >= back; ++back) {
      if (name[cut - back] == '%') cut -= back;
    }
    name = name.substr(0, cut) + "~" + HashText(userName);
  }
  return name;
}

std::string AuditCsvHeader() {
  std::string line(kUtf8Mark);
  for (std::size_t i = 0; i < kColumnNames.size(); ++i) line += (i == 0 ? "" : ",") + std::string(kColumnNames[i]);
  return line + std::string(kCrLf);
}

std::string AuditCsvLine(const AuditRow& row) {
  std::string line;
  const auto columns = Columns(row);
  for (std::size_t i = 0; i < columns.size(); ++i) line += (i == 0 ? "" : ",") + CsvField(columns[i]);
  return line + std::string(kCrLf);
}

void AuditTally::Add(const AuditRow& row) {
  ++Users;
  if (row.Failed) {
    ++Failed;
    ++Errors[row.Outcome];
  }
  if (!row.Warnings.empty()) ++Warned;
}

std::string AuditPageHead(const std::string& title) {
  std::string page = "<!DOCTYPE html>\r\n<html lang=\"de\"><head><meta charset=\"utf-8\">\r\n<title>" +
                     HtmlText(title) + "</title>\r\n<style>" + std::string(kStyle) + "</style></head><body>\r\n";
  page += "<h1>" + HtmlText(title) + "</h1>\r\n<section class=\"users\"><h2>Benutzer</h2>\r\n<table>\r\n<tr>";
  for (std::string_view name : kColumnNames) page += "<th>" + std::string(name) + "</th>";
  return page + "</tr>\r\n";
}

std::string AuditPageRow(const AuditRow& row) {
  const auto columns = Columns(row);
  std::string line = std::string("<tr class=\"") + (row.Failed ? "error" : row.Warnings.empty() ? "ok" : "warning") + "\">";
  for (std::size_t i = 0; i + 1 < columns.size(); ++i) {
    const char* cls = i == kOutcomeColumn ? " class=\"outcome\"" : i == kWarningsColumn ? " class=\"warnings\"" : "";
    line += std::string("<td") + cls + ">" + HtmlText(columns[i]) + "</td>";
  }
  line += row.Folder.empty() ? "<td></td>"
                             : "<td><a href=\"" + HtmlText(Href(row)) + "\">" + HtmlText(row.Folder) + "</a></td>";
  return line + "</tr>\r\n";
}

std::string AuditPageEnd(const AuditTally& tally) {
  // Written last, once every user is counted; the style shows it first.
  std::string page = "</table></section>\r\n<section class=\"summary\"><h2>Zusammenfassung</h2>\r\n<table>\r\n";
  page += "<tr><th>Benutzer</th><td>" + std::to_string(tally.Users) + "</td></tr>\r\n";
  page += "<tr><th>ohne Fehler</th><td>" + std::to_string(tally.Users - tally.Failed) + "</td></tr>\r\n";
  page += "<tr><th>mit Fehlern</th><td>" + std::to_string(tally.Failed) + "</td></tr>\r\n";
  page += "<tr><th>mit Warnungen</th><td>" + std::to_string(tally.Warned) + "</td></tr>\r\n</table>\r\n";
  if (!tally.Errors.empty()) {
    page += "<h2>Fehler</h2>\r\n<table class=\"errors\">\r\n<tr><th>Anzahl</th><th>Fehler</th></tr>\r\n";
    for (const auto& [text, count] : ByCount(tally))
      page += "<tr><td>" + std::to_string(count) + "</td><td>" + HtmlText(text) + "</td></tr>\r\n";
    page += "</table>\r\n";
  }
  return page + "</section>\r\n</body></html>\r\n";
}

std::string AuditSummary(const AuditTally& tally, const std::string& pagePath) {
  std::string text = "Benutzer: " + std::to_string(tally.Users) + ", ohne Fehler: " +
                     std::to_string(tally.Users - tally.Failed) + ", mit Fehlern: " +
                     std::to_string(tally.Failed) + ", mit Warnungen: " + std::to_string(tally.Warned) + "\n";
  for (const auto& [error, count] : ByCount(tally)) text += "  " + std::to_string(count) + " x " + error + "\n";
  return text + "Übersicht: " + pagePath + "\n";
}

}  // namespace qm
