// The user name as it goes into a query, and connection texts as they go into
// the log.
#include "userdata/UserTexts.h"

#include <algorithm>
#include <array>

#include "platform/common/text.h"

namespace qm {

namespace {

constexpr std::string_view kHidden = "***";
constexpr std::array<std::string_view, 3> kPasswordKeys = {"Password", "PWD",
                                                           "Jet OLEDB:Database Password"};
// MSDASQL carries the ODBC connection string, and with it PWD, in this value.
constexpr std::string_view kExtendedProperties = "Extended Properties";

// The blanks that the connection string reader skips around keys and values.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

using platform::text::EqualsNoCase;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsPasswordKey(std::string_view key) {
  for (std::string_view k : kPasswordKeys) {
    if (EqualsNoCase(key, k)) return true;
  }
  return false;
}

bool OpensQuote(char c) { return c == '"' || c == '\'' || c == '{'; }
char ClosingQuote(char open) { return open == '{' ? '}' : open; }

// Just past the quote or brace that closes the one at begin (a doubled one is
// part of the value); npos when it is never closed.
size_t QuotedEnd(std::string_view text, size_t begin) {
  const char close = ClosingQuote(text[begin]);
  for (size_t i = begin + 1; i < text.size(); ++i) {
    if (text[i] != close) continue;
    if (i + 1 < text.size() && text[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

// Where the value that starts at begin ends: at the last non-blank before the
// next ";" that is not inside its quotes. Text after a closing quote counts to
// the value: the reader rejects it, but it may be the rest of a password. An
// unclosed quote runs to the end.
size_t ValueEnd(std::string_view text, size_t begin) {
  size_t from = begin;
  if (OpensQuote(text[begin])) {
    from = QuotedEnd(text, begin);
    if (from == std::string_view::npos) from = text.size();
  }
  size_t end = std::min(text.find(';', from), text.size());
  while (end > from && IsBlank(text[end - 1])) --end;
  return end;
}

// A value in quotes whose content is a connection string itself: its passwords
// hidden, the quotes doubled inside as before.
std::string HideInQuotedValue(std::string_view value) {
  const char quote = value.front();
  std::string inner;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    inner += value[i];
    if (value[i] == quote) ++i;
  }
  std::string out(1, quote);
  for (char c : HidePasswords(inner)) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}

}  // namespace

std::string SqlStringValue(std::string_view name) {
  std::string out;
  for (char c : name) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string LdapFilterValue(std::string_view name) {
  std::string out;
  for (char c : name) {
    switch (c) {
      case '*': out += "\\2a"; break;
      case '(': out += "\\28"; break;
      case ')': out += "\\29"; break;
      case '\\': out += "\\5c"; break;
      case '\0': out += "\\00"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HidePasswords(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    // The key runs to the first "=" that is not doubled; a pair without one
    // (or the blanks between pairs) goes out as it is.
    const size_t pairStart = i;
    std::string key;
    while (i < text.size() && text[i] != ';') {
      if (text[i] == '=') {
        if (i + 1 < text.size() && text[i + 1] == '=') {
          key += '=';
          i += 2;
          continue;
        }
        break;
      }
      key += text[i++];
    }
    if (i >= text.size() || text[i] == ';') {
      out.append(text.substr(pairStart, std::min(i + 1, text.size()) - pairStart));
      ++i;
      continue;
    }
    ++i;  // the "="
    while (i < text.size() && IsBlank(text[i])) ++i;
    out.append(text.substr(pairStart, i - pairStart));
    if (i >= text.size() || text[i] == ';') continue;

    const size_t end = ValueEnd(text, i);
    const std::string_view value = text.substr(i, end - i);
    const std::string_view name = TrimBlanks(key);
    if (IsPasswordKey(name)) {
      out += kHidden;
    } else if (EqualsNoCase(name, kExtendedProperties) && value.front() != '{' &&
               OpensQuote(value.front()) && QuotedEnd(text, i) == end) {
      out += HideInQuotedValue(value);
    } else {
      out += value;
    }
    i = end;
  }
  return out;
}

}  // namespace qm
