// OLE DB connection values to ODBC connection strings. OS-independent: the
// same translation runs on both builds; only the driver names and the path
// notation handed to the driver differ (DriverStyle and DriverFilePath live in
// the per-OS database files).
#include "platform/common/oledb.h"

#include <optional>

#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"

namespace qm::platform::oledb {

namespace {

constexpr const char* kAdoSource = "ADODB.Connection";
constexpr const char* kDataLinkSource = "Microsoft OLE DB Service Components";
// A data link file holds one connection string, and the driver manager takes
// one of at most 32767 characters: in UTF-16 with the two header lines that is
// less than this many bytes. A larger file is no data link file.
constexpr size_t kLargestDataLink = size_t{1} << 17;
constexpr size_t kDataLinkReadSize = 4096;
constexpr const char* kBadInitString =
    "Das Format der Initialisierungszeichenfolge entspricht nicht der OLE DB-Spezifikation";

using Pairs = std::vector<std::pair<std::string, std::string>>;

using text::EndsWithNoCase;
using text::EqualsNoCase;
using text::StartsWithNoCase;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

[[noreturn]] void BadSyntax(std::string_view near) {
  std::string text = kBadInitString;
  if (!near.empty()) text += " (bei '" + std::string(near) + "')";
  text += ".";
  throw err::FromPlatform(kProviderError, kAdoSource, text);
}

// The last value of key (OLE DB: a repeated keyword overrides the earlier one).
std::optional<std::string> Get(const Pairs& pairs, std::string_view key) {
  std::optional<std::string> found;
  for (const auto& [k, v] : pairs) {
    if (EqualsNoCase(k, key)) found = v;
  }
  return found;
}

std::string GetOr(const Pairs& pairs, std::string_view key) { return Get(pairs, key).value_or(""); }

// A value in ODBC notation: braces when it holds characters with a meaning there.
std::string OdbcValue(const std::string& value) {
  if (value.size() >= 2 && value.front() == '{' && value.back() == '}') return value;  // already ODBC
  bool needsBraces = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  for (char c : value) {
    if (c == ';' || c == '{' || c == '}' || c == '=') needsBraces = true;
  }
  if (!needsBraces) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

void Append(std::string& out, const std::string& key, const std::string& value) {
  if (!out.empty()) out += ";";
  out += key + "=" + OdbcValue(value);
}

// A driver name as written in a connection string: braces removed.
std::string BareDriver(const std::string& value) {
  std::string v = TrimBlanks(value);
  if (v.size() >= 2 && v.front() == '{' && v.back() == '}') v = v.substr(1, v.size() - 2);
  return v;
}

bool IsSqliteFile(std::string_view path) {
  return EndsWithNoCase(path, ".db") || EndsWithNoCase(path, ".sqlite") ||
         EndsWithNoCase(path, ".sqlite3");
}

bool IsSqliteDriver(const std::string& driver, const DriverNames& drivers) {
  const std::string bare = BareDriver(driver);
  if (EqualsNoCase(bare, drivers.sqlite)) return true;
  return text::ToLower(bare).find("sqlite") != std::string::npos;
}

// "SQLOLEDB", "SQLOLEDB.1": the name, optionally with a version number.
bool IsProvider(std::string_view provider, std::string_view name) {
  if (EqualsNoCase(provider, name)) return true;
  return StartsWithNoCase(provider, name) && provider.size() > name.size() + 1 &&
         provider[name.size()] == '.' && AllDigits(provider.substr(name.size() + 1));
}

// "MSOLEDBSQL19", "SQLNCLI11": the name, optionally with digits.
bool IsProviderFamily(std::string_view provider, std::string_view name) {
  if (!StartsWithNoCase(provider, name)) return false;
  std::string_view rest = provider.substr(name.size());
  if (rest.empty()) return true;
  size_t dot = rest.find('.');
  std::string_view digits = rest.substr(0, dot);
  if (!digits.empty() && !AllDigits(digits)) return false;
  return dot == std::string_view::npos || AllDigits(rest.substr(dot + 1));
}

// An OLE DB switch in the ODBC drivers' words: true and Mandatory are "yes",
// false and Optional "no"; any other value as written.
std::string OdbcYesNo(const std::string& value) {
  if (EqualsNoCase(value, "true") || EqualsNoCase(value, "yes") || EqualsNoCase(value, "mandatory"))
    return "yes";
  if (EqualsNoCase(value, "false") || EqualsNoCase(value, "no") || EqualsNoCase(value, "optional"))
    return "no";
  return value;
}

// The first release of the OLE DB Driver for SQL Server that encrypts unless
// told otherwise (MSOLEDBSQL19); MSOLEDBSQL (18 and before), SQLNCLI* and
// SQLOLEDB encrypt only when the string asks.
constexpr int kFirstEncryptingProvider = 19;
// The first ODBC Driver for SQL Server that knows Encrypt=strict (TDS 8.0).
constexpr int kFirstStrictDriver = 18;

// A release number of up to four digits; 0 for anything else.
int ReleaseNumber(std::string_view digits) {
  constexpr size_t kMostDigits = 4;
  if (!AllDigits(digits) || digits.size() > kMostDigits) return 0;
  int release = 0;
  for (char c : digits) release = release * 10 + (c - '0');
  return release;
}

// The number in "MSOLEDBSQL19" or "MSOLEDBSQL19.1"; 0 for none.
int ProviderRelease(std::string_view provider, std::string_view family) {
  const std::string_view rest = provider.substr(family.size());
  return ReleaseNumber(rest.substr(0, rest.find('.')));
}

// The N of "ODBC Driver N for SQL Server" (any case); 0 for any other driver.
int DriverRelease(std::string_view driver) {
  constexpr std::string_view kBefore = "ODBC Driver ", kAfter = " for SQL Server";
  if (driver.size() <= kBefore.size() + kAfter.size() || !StartsWithNoCase(driver, kBefore) ||
      !EndsWithNoCase(driver, kAfter))
    return 0;
  return ReleaseNumber(driver.substr(kBefore.size(), driver.size() - kBefore.size() - kAfter.size()));
}

// The Encrypt value for the SQL Server driver: the one asked for, else the
// provider's own default, in words the driver understands. Driver 18
// encrypts unless told otherwise and 17 does not, so a string without it
// would behave by what else is installed on the PC.
std::string SqlServerEncrypt(std::string_view provider, const std::optional<std::string>& asked,
                             const std::string& driver) {
  if (!asked) {
    const bool encrypting = IsProviderFamily(provider, "MSOLEDBSQL") &&
                            ProviderRelease(provider, "MSOLEDBSQL") >= kFirstEncryptingProvider;
    return encrypting ? "yes" : "no";
  }
  if (!EqualsNoCase(*asked, "strict")) return OdbcYesNo(*asked);
  if (DriverRelease(driver) >= kFirstStrictDriver) return "strict";
  throw err::FromPlatform(
      kProviderError, kAdoSource,
      "Die Verschlüsselung 'Strict' (TDS 8.0) kennt erst der ODBC Driver 18 for SQL Server; verwendet "
      "wird der Treiber '" + driver + "'. Bitte den ODBC Driver 18 for SQL Server installieren oder "
      "Encrypt=Mandatory angeben.");
}

bool IsSqlServer(std::string_view provider) {
  return IsProvider(provider, "SQLOLEDB") || IsProviderFamily(provider, "MSOLEDBSQL") ||
         IsProviderFamily(provider, "SQLNCLI");
}

// "Microsoft.ACE.OLEDB." before the version.
constexpr size_t kAcePrefixLength = 20;

bool IsTrue(const std::string& value) {
  return EqualsNoCase(value, "SSPI") || EqualsNoCase(value, "true") || EqualsNoCase(value, "yes");
}

// Properties of the OLE DB layer and of ADO that no ODBC driver understands.
bool IsOleDbOnly(std::string_view key) {
  static constexpr std::string_view kKeys[] = {
      "Provider", "Extended Properties", "Persist Security Info", "Prompt", "Mode",
      "Connect Timeout", "General Timeout", "OLE DB Services", "Locale Identifier",
      "Window Handle", "Location", "Cache Authentication", "Encrypt Password",
      "Mask Password", "Protection Level", "Impersonation Level", "Bind Flags",
      "Asynchronous Processing", "Data Source Name"};
  for (std::string_view k : kKeys) {
    if (EqualsNoCase(key, k)) return true;
  }
  return false;
}

// Provider=MSDASQL (and no provider, which ADO takes as MSDASQL): the ODBC string
// of "Extended Properties", then the remaining properties, the OLE DB names
// turned into their ODBC keywords.
OdbcTarget FromMsdasql(const Pairs& pairs, const DriverNames& drivers, PathMapper driverPath) {
  OdbcTarget target;
  std::string& out = target.connectionString;
  Pairs odbc;
  if (std::optional<std::string> extended = Get(pairs, "Extended Properties")) {
    std::string inner = TrimBlanks(*extended);
    if (!inner.empty()) {
      for (auto& p : ParseConnectionString(inner)) odbc.push_back(std::move(p));
    }
  }
  for (const auto& [k, v] : pairs) {
    if (IsOleDbOnly(k)) continue;
    if (EqualsNoCase(k, "Data Source")) {
      odbc.emplace_back("DSN", v);
    } else if (EqualsNoCase(k, "User ID")) {
      odbc.emplace_back("UID", v);
    } else if (EqualsNoCase(k, "Password")) {
      odbc.emplace_back("PWD", v);
    } else if (EqualsNoCase(k, "Initial Catalog")) {
      odbc.emplace_back("DATABASE", v);
    } else {
      odbc.emplace_back(k, v);
    }
  }
  const std::string driver = GetOr(odbc, "Driver");
  const bool sqlite = !driver.empty() && IsSqliteDriver(driver, drivers);
  bool noCreate = false;
  for (const auto& [k, v] : odbc) {
    if (EqualsNoCase(k, "Driver")) {
      if (!out.empty()) out += ";";
      out += "Driver={" + BareDriver(v) + "}";
      continue;
    }
    // DBQ always names a file; Database only for SQLite (elsewhere it is the
    // name of a database on a server and must not be touched).
    if (EqualsNoCase(k, "DBQ") || (sqlite && EqualsNoCase(k, "Database"))) {
      target.databaseFile = v;
      Append(out, k, driverPath(v));
      continue;
    }
    if (EqualsNoCase(k, "NoCreat")) noCreate = true;
    Append(out, k, v);
  }
  if (sqlite && !noCreate) Append(out, "NoCreat", "1");
  return target;
}

[[noreturn]] void NoDataSource() {
  throw Error(kProviderError, kAdoSource,
              "Keine Datenbankdatei angegeben (die Eigenschaft 'Data Source' ist leer).");
}

// Jet 4.0 and ACE: the Access driver on the file of Data Source, or the SQLite
// driver when the file is an SQLite database.
OdbcTarget FromJet(const Pairs& pairs, const DriverNames& drivers, PathMapper driverPath, bool jet) {
  OdbcTarget target;
  const std::string file = GetOr(pairs, "Data Source");
  if (file.empty()) NoDataSource();
  target.databaseFile = file;
  std::string& out = target.connectionString;
  if (IsSqliteFile(file)) {
    out = "Driver={" + drivers.sqlite + "}";
    Append(out, "Database", driverPath(file));
    Append(out, "NoCreat", "1");
    return target;
  }
  out = "Driver={" + (jet ? drivers.jet : drivers.access) + "}";
  Append(out, "DBQ", driverPath(file));
  const std::string user = GetOr(pairs, "User ID");
  std::string password = GetOr(pairs, "Jet OLEDB:Database Password");
  if (password.empty()) password = GetOr(pairs, "Password");
  if (!user.empty()) Append(out, "UID", user);
  if (!password.empty()) Append(out, "PWD", password);
  return target;
}

// SQL Server's providers: its ODBC driver with the server, database and login.
OdbcTarget FromSqlServer(const Pairs& pairs, const DriverNames& drivers) {
  OdbcTarget target;
  std::string& out = target.connectionString;
  out = "Driver={" + drivers.sqlServer + "}";
  const std::string server = GetOr(pairs, "Data Source");
  const std::string database = GetOr(pairs, "Initial Catalog");
  const std::string user = GetOr(pairs, "User ID");
  const std::string password = GetOr(pairs, "Password");
  if (!server.empty()) Append(out, "Server", server);
  if (!database.empty()) Append(out, "Database", database);
  if (IsTrue(GetOr(pairs, "Integrated Security"))) {
    Append(out, "Trusted_Connection", "Yes");
  } else {
    if (!user.empty()) Append(out, "UID", user);
    if (!password.empty()) Append(out, "PWD", password);
  }
  // Asked-for encryption must reach the driver: dropped, the login would
  // cross the network in clear text.
  std::optional<std::string> encrypt = Get(pairs, "Encrypt");
  if (!encrypt) encrypt = Get(pairs, "Use Encryption for Data");
  target.sqlServerDriver = drivers.sqlServer;
  target.encrypt = SqlServerEncrypt(GetOr(pairs, "Provider"), encrypt, drivers.sqlServer);
  Append(out, "Encrypt", target.encrypt);
  std::optional<std::string> trust = Get(pairs, "TrustServerCertificate");
  if (!trust) trust = Get(pairs, "Trust Server Certificate");
  if (trust) Append(out, "TrustServerCertificate", OdbcYesNo(*trust));
  return target;
}

// One line of text from pos, without its CR LF (or LF); pos moves past it.
std::optional<std::string> TakeLine(const std::string& text, size_t& pos) {
  size_t end = text.find('\n', pos);
  if (end == std::string::npos) return std::nullopt;
  std::string line = text.substr(pos, end - pos);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  pos = end + 1;
  return line;
}

[[noreturn]] void NoDataLink(const std::string& path) {
  throw err::FromPlatform(
      kProviderError, kDataLinkSource,
      "Die Datei '" + path + "' ist keine gültige Datenverknüpfungsdatei (UDL).");
}

// The file's bytes; a file larger than any data link file is refused unread.
std::string ReadDataLinkFile(const std::string& corePath) {
  InputFile in(corePath);
  std::string bytes;
  char buffer[kDataLinkReadSize];
  for (;;) {
    size_t n = in.Read(buffer, sizeof buffer);
    if (n == 0) break;
    bytes.append(buffer, n);
    if (bytes.size() > kLargestDataLink) NoDataLink(corePath);
  }
  return bytes;
}

}  // namespace

DriverNames DefaultDrivers(Style style, int programBits) {
  if (style == Style::Windows) {
    constexpr const char* kAce = "Microsoft Access Driver (*.mdb, *.accdb)";
    constexpr int kJetBits = 32;
    return {kAce, programBits == kJetBits ? "Microsoft Access Driver (*.mdb)" : kAce,
            "SQLite3 ODBC Driver", "SQL Server"};
  }
  return {"MDBTools", "MDBTools", "SQLite3", "ODBC Driver 18 for SQL Server"};
}

std::string PreferredSqlServerDriver(const std::vector<std::string>& installed,
                                     const std::string& fallback) {
  for (const char* name : {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"}) {
    for (const std::string& driver : installed) {
      if (EqualsNoCase(driver, name)) return driver;
    }
  }
  return fallback;
}

DriverNames ConfiguredDrivers(bool sqlServer) {
  DriverNames names = DefaultDrivers(DriverStyle());
  if (sqlServer) names.sqlServer = PreferredSqlServerDriver(InstalledDrivers(), names.sqlServer);
  auto take = [](const char* variable, std::string& name) {
    std::string value = TrimBlanks(EnvironmentValue(variable));
    if (!value.empty()) name = BareDriver(value);
  };
  take("QUILLMARK_ODBC_ACCESS", names.access);
  take("QUILLMARK_ODBC_ACCESS", names.jet);
  take("QUILLMARK_ODBC_SQLITE", names.sqlite);
  take("QUILLMARK_ODBC_SQLSERVER", names.sqlServer);
  return names;
}

Pairs ParseConnectionString(std::string_view text) {
  Pairs pairs;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // Blanks and empty pairs between semicolons.
    while (i < n && (IsBlank(text[i]) || text[i] == ';')) ++i;
    if (i >= n) break;
    const size_t pairStart = i;
    // The key runs to the first "=" that is not doubled ("==" is a literal "=").
    std::string key;
    for (;;) {
      if (i >= n || text[i] == ';') BadSyntax(text.substr(pairStart, i - pairStart));
      if (text[i] == '=') {
        if (i + 1 < n && text[i + 1] == '=') {
          key += '=';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      key += text[i++];
    }
    key = TrimBlanks(key);
    if (key.empty()) BadSyntax(text.substr(pairStart, i - pairStart));
    while (i < n && IsBlank(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
      const char open = text[i];
      const char close = open == '{' ? '}' : open;
      bool closed = false;
      if (open == '{') value += open;  // ODBC braces stay for the driver manager
      for (++i; i < n; ++i) {
        if (text[i] == close) {
          if (i + 1 < n && text[i + 1] == close) {
            value += close;
            if (open == '{') value += close;
            ++i;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        value += text[i];
      }
      if (!closed) BadSyntax(text.substr(pairStart));
      if (open == '{') value += close;
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] != ';') BadSyntax(text.substr(pairStart, i - pairStart + 1));
    } else {
      const size_t valueStart = i;
      while (i < n && text[i] != ';') ++i;
      value = TrimBlanks(text.substr(valueStart, i - valueStart));
    }
    pairs.emplace_back(std::move(key), std::move(value));
  }
  return pairs;
}

std::string ReadDataLink(std::string_view bytes, const std::string& path) {
  std::string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = text::Utf16LeToUtf8(bytes.substr(2));
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = std::string(bytes.substr(3));
  } else {
    text = std::string(bytes);
  }
  size_t pos = 0;
  std::optional<std::string> first = TakeLine(text, pos);
  std::optional<std::string> second = first ? TakeLine(text, pos) : std::nullopt;
  if (!first || !second || *first != "[oledb]" ||
      *second != "; Everything after this line is an OLE DB initstring") {
    NoDataLink(path);
  }
  return TrimBlanks(std::string_view(text).substr(pos));
}

OdbcTarget Translate(const std::string& oledb, const DriverNames& drivers, PathMapper driverPath) {
  const Pairs pairs = ParseConnectionString(oledb);
  if (pairs.empty()) {
    throw Error(kProviderError, kAdoSource,
                "Leere Verbindungszeichenfolge: der Datenquellenname wurde nicht gefunden, und es "
                "wurde kein Standardtreiber angegeben.");
  }
  const std::string provider = GetOr(pairs, "Provider");
  if (provider.empty() || IsProvider(provider, "MSDASQL")) return FromMsdasql(pairs, drivers, driverPath);
  if (IsProvider(provider, "Microsoft.Jet.OLEDB.4.0")) return FromJet(pairs, drivers, driverPath, true);
  if (StartsWithNoCase(provider, "Microsoft.ACE.OLEDB.") && provider.size() > kAcePrefixLength)
    return FromJet(pairs, drivers, driverPath, false);
  if (IsSqlServer(provider)) return FromSqlServer(pairs, drivers);
  throw err::FromPlatform(
      kProviderNotFound, kAdoSource,
      "Der Provider '" + provider +
          "' wurde nicht gefunden. Er ist möglicherweise nicht richtig installiert.");
}

namespace {

// The ODBC target of an ADO connection string, without looking for its file.
OdbcTarget TargetOf(const std::string& adoConnectionString) {
  std::string oledb = adoConnectionString;
  // ADO's "File Name" keyword: the connection string is the data link file's.
  if (!TrimBlanks(adoConnectionString).empty()) {
    const Pairs pairs = ParseConnectionString(adoConnectionString);
    if (std::optional<std::string> file = Get(pairs, "File Name")) {
      oledb = ReadDataLink(ReadDataLinkFile(*file), *file);
    }
  }
  // Only a SQL Server connection asks the driver manager what is installed.
  const bool sqlServer = [&oledb] {
    try {
      return IsSqlServer(GetOr(ParseConnectionString(oledb), "Provider"));
    } catch (const Error&) {
      return false;  // Translate reports the syntax
    }
  }();
  return Translate(oledb, ConfiguredDrivers(sqlServer), DriverFilePath);
}

}  // namespace

std::string DatabaseFile(const std::string& adoConnectionString) {
  return TargetOf(adoConnectionString).databaseFile;
}

OdbcTarget ToOdbc(const std::string& adoConnectionString) {
  OdbcTarget target = TargetOf(adoConnectionString);
  if (!target.databaseFile.empty() && !PathExists(target.databaseFile)) {
    throw err::FromPlatform(
        kProviderError, kAdoSource,
        "Die Datenbankdatei '" + target.databaseFile + "' wurde nicht gefunden.");
  }
  return target;
}

std::string ToOdbcConnectionString(const std::string& adoConnectionString) {
  return ToOdbc(adoConnectionString).connectionString;
}

}  // namespace qm::platform::oledb
