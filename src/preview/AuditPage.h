// The audit's own files: the folder name of each user, the CSV and the page
// of the whole staff, and the summary it prints.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "records/AuditRows.h"

namespace qm {

inline constexpr const char* kAuditPageName = "index.htm";
inline constexpr const char* kAuditCsvName = "audit.csv";

/// The name of a user's folder: the user name with every character a Windows
/// file name cannot hold (and "%", control characters and every byte of a
/// character beyond ASCII) as "%XX"; a leading or trailing blank, a trailing
/// ".", the names "." and "..", and the first character of a device name (CON,
/// NUL, COM1, LPT1, ... alone or before a ".") likewise; a result longer than
/// 100 bytes cut there and ended by "~" and the name's hash. Never fails.
std::string AuditFolderName(const std::string& userName);

/// The CSV's first line: its byte-order mark and the column names, CR LF.
std::string AuditCsvHeader();
/// One row of the CSV (RFC 4180), CR LF.
std::string AuditCsvLine(const AuditRow& row);

/// What the audit's summary counts, user by user.
struct AuditTally {
  std::size_t Users = 0;
  std::size_t Failed = 0;
  std::size_t Warned = 0;
  std::map<std::string, std::size_t> Errors;  ///< each error line with its count
  void Add(const AuditRow& row);
};

/// The page of the whole staff, written as the audit goes: its head and the
/// table's header, one table row per user with a link to the user's folder,
/// then its end with the summary and the errors by their text (shown above
/// the table). UTF-8, no script.
std::string AuditPageHead(const std::string& title);
std::string AuditPageRow(const AuditRow& row);
std::string AuditPageEnd(const AuditTally& tally);

/// The summary as standard output shows it (lines ended by "\n"): the
/// counts, each error text with its count, most frequent first, and the page.
std::string AuditSummary(const AuditTally& tally, const std::string& pagePath);

}  // namespace qm
