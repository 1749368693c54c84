// Whole runs of both builds that register the default signatures. One table of
// Outlook machines (version, profile, accounts, settings) runs against the
// registry file (linux) and against Wine's registry (windows, seeded with
// reg import, read back with reg export). For every row, the log from the
// registration step on and every value below the profile and Office keys
// afterwards are compared with what the row expects: the seeded values plus
// exactly the values the row writes, with their types and stored bytes.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace qmtest {
namespace {

// ---------------------------------------------------------------------------
// Registry snapshots: the values of a .reg text as "reg export" writes it
// (and as the linux build keeps its registry file).

/// "KEY|NAME" (both upper case) -> "type:hex bytes".
using Snapshot = std::map<std::string, std::string>;

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

std::string Utf16ToUtf8(std::string_view b) {
  std::string out;
  for (size_t i = 0; i + 1 < b.size(); i += 2) {
    char32_t cp = static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < b.size()) {
      char32_t lo = static_cast<unsigned char>(b[i + 2]) | (static_cast<unsigned char>(b[i + 3]) << 8);
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
      i += 2;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

/// UTF-16LE of the text with its terminating zero character: how Windows
/// stores a string, and how Outlook 2003 and later store a signature name as
/// bytes.
std::string Wide(std::string_view utf8) { return Utf16Le(utf8).substr(2) + std::string(2, '\0'); }

std::string HexBytes(std::string_view bytes, const char* separator) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) out += separator;
    out += buf;
  }
  return out;
}

std::string Entry(std::uint32_t type, std::string_view bytes) {
  return std::to_string(type) + ":" + HexBytes(bytes, " ");
}

// A quoted .reg text from s[i] == '"'; i ends after the closing quote.
std::string Quoted(const std::string& s, size_t& i) {
  std::string out;
  for (++i; i < s.size() && s[i] != '"'; ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  ++i;
  return out;
}

/// The values of a .reg file (UTF-16LE with BOM, or UTF-8 text) whose keys lie
/// below one of the roots (upper case, without trailing backslash).
Snapshot ParseReg(const std::string& file, const std::vector<std::string>& roots) {
  std::string text = file;
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') text = Utf16ToUtf8(text.substr(2));
  std::vector<std::string> lines;
  std::string pending;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t e = text.find('\n', pos);
    std::string line = text.substr(pos, e == std::string::npos ? std::string::npos : e - pos);
    pos = e == std::string::npos ? text.size() : e + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!pending.empty()) line.erase(0, line.find_first_not_of(" \t"));
    if (!line.empty() && line.back() == '\\' && line[0] != '[') {
      line.pop_back();
      pending += line;
      continue;
    }
    lines.push_back(pending + line);
    pending.clear();
  }
  Snapshot snap;
  std::string key;
  bool wanted = false;
  for (const std::string& l : lines) {
    if (l.empty() || l[0] == ';' || l.rfind("Windows Registry Editor", 0) == 0) continue;
    if (l[0] == '[') {
      key = Upper(l.substr(1, l.rfind(']') - 1));
      wanted = false;
      for (const std::string& r : roots) {
        wanted = wanted || key == r || key.rfind(r + "\\", 0) == 0;
      }
      continue;
    }
    if (!wanted) continue;
    size_t i = 0;
    std::string name;
    if (l[0] == '@') {
      i = 1;
    } else {
      name = Quoted(l, i);
    }
    const std::string data = l.substr(i + 1);  // after "="
    std::string entry;
    if (data[0] == '"') {
      size_t j = 0;
      entry = Entry(1, Wide(Quoted(data, j)));
    } else if (data.rfind("dword:", 0) == 0) {
      const auto v = static_cast<std::uint32_t>(std::stoul(data.substr(6), nullptr, 16));
      const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
      entry = Entry(4, std::string_view(b, 4));
    } else {
      std::uint32_t type = 3;
      size_t colon = data.find(':');
      if (data.rfind("hex(", 0) == 0) type = static_cast<std::uint32_t>(std::stoul(data.substr(4), nullptr, 16));
      std::string bytes;
      for (size_t k = colon + 1; k + 1 < data.size() + 1; k += 3) {
        if (k + 2 > data.size()) break;
        bytes += static_cast<char>(std::stoul(data.substr(k, 2), nullptr, 16));
      }
      entry = Entry(type, bytes);
    }
    snap[key + "|" + Upper(name)] = entry;
  }
  return snap;
}

/// Every difference between two snapshots, one line each ("" when equal).
std::string Diff(const Snapshot& expected, const Snapshot& actual) {
  std::string out;
  for (const auto& [k, v] : expected) {
    auto it = actual.find(k);
    if (it == actual.end()) {
      out += "missing  " + k + " = " + v + "\n";
    } else if (it->second != v) {
      out += "differs  " + k + "\n   expected " + v + "\n   actual   " + it->second + "\n";
    }
  }
  for (const auto& [k, v] : actual) {
    if (expected.count(k) == 0) out += "extra    " + k + " = " + v + "\n";
  }
  return out;
}

// ---------------------------------------------------------------------------
// Outlook machines.

const std::string kCurrentUser = "HKEY_CURRENT_USER\\Software\\Microsoft";
const std::string kMessaging = kCurrentUser + "\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
const std::string kOffice = kCurrentUser + "\\Office";
const std::vector<std::string> kWatched = {Upper(kMessaging), Upper(kOffice)};
const std::string kAccounts = "\\9375CFF0413111d3B88A00104B2A6676";
const std::string kAccountList = "{ED475418-B0D6-11D2-8C3B-00104B2A6676}";

/// The key of the Office version, e.g. ...\Office\16.0.
std::string Office(int version) { return kOffice + "\\" + std::to_string(version) + ".0"; }

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

/// A mail account as Outlook keeps it: its subkey and its display name, stored
/// as 16-bit bytes (up to 2013), as a string (2016), or not at all.
struct Account {
  enum Form { Binary, Text, None };
  std::string key;
  std::string name;
  Form form = Binary;
};

/// The .reg text of a profile's account key: the list of accounts (by default
/// the subkey names as bytes, in the given order) and one subkey per account.
std::string AccountKeys(const std::string& accountKey, const std::vector<Account>& accounts,
                        std::string list = "") {
  if (list.empty()) {
    std::string bytes;
    for (const Account& a : accounts) {
      for (size_t i = 0; i < 8; i += 2) bytes += static_cast<char>(std::stoul(a.key.substr(i, 2), nullptr, 16));
    }
    list = "hex:" + HexBytes(bytes, ",");
  }
  std::string out = "[" + accountKey + "]\r\n" + Quote(kAccountList) + "=" + list + "\r\n\r\n";
  for (const Account& a : accounts) {
    out += "[" + accountKey + "\\" + a.key + "]\r\n";
    if (a.form == Account::Binary) out += "\"Account Name\"=hex:" + HexBytes(Wide(a.name), ",") + "\r\n";
    if (a.form == Account::Text) out += "\"Account Name\"=" + Quote(a.name) + "\r\n";
    out += "\r\n";
  }
  return out;
}

std::string DefaultProfile(const std::string& key, const std::string& profile) {
  return "[" + key + "]\r\n\"DefaultProfile\"=" + Quote(profile) + "\r\n\r\n";
}

/// Büro as Outlook up to 2010 writes it into key names.
const std::string kBueroEncoded = "B[|\x7Fro";

/// The account key of the profile Büro for the version: encoded below the
/// Windows Messaging Subsystem up to 2010, as it is below Office from 2013 on.
std::string AccountKey(int version) {
  if (version >= 15) return Office(version) + "\\Outlook\\Profiles\\Büro" + kAccounts;
  return kMessaging + "\\" + kBueroEncoded + kAccounts;
}

/// A machine with the default profile Büro in the version's place and accounts.
std::string Machine(int version, const std::vector<Account>& accounts) {
  const std::string profiles = version >= 15 ? Office(version) + "\\Outlook" : kMessaging;
  return DefaultProfile(profiles, "Büro") + AccountKeys(AccountKey(version), accounts);
}

const std::vector<Account> kThree = {
    {"00000002", "Erika Mustermann (Büro)"}, {"00000003", "Vertrieb"}, {"00000005", "Privat"}};

// ---------------------------------------------------------------------------
// The rows.

struct Value {
  std::string key;  ///< full path, HKEY_CURRENT_USER\...
  std::string name;
  std::uint32_t type;
  std::string bytes;
};

Value Bin(const std::string& key, const std::string& name, const std::string& text) {
  return {key, name, 3, Wide(text)};
}
Value Sz(const std::string& key, const std::string& name, const std::string& text) {
  return {key, name, 1, Wide(text)};
}
Value ExpandSz(const std::string& key, const std::string& name, const std::string& text) {
  return {key, name, 2, Wide(text)};
}
Value Roaming() {
  return {Office(16) + "\\Outlook\\Setup", "DisableRoamingSignaturesTemporaryToggle", 4, std::string("\1\0\0\0", 4)};
}

struct Row {
  std::string name;
  int version;                      ///< Outlook.Application.<version>
  std::string main;                 ///< extra lines of [Main]
  std::string seed;                 ///< the Outlook keys (.reg text without header)
  std::string newName;              ///< TargetSignType
  std::string replyName;            ///< TargetSignTypeReply, "" for none
  std::string versionName;          ///< what "...Outlook-Version: " shows
  std::vector<std::string> log;     ///< log lines from "Stelle Standard-Signatur ..." on, without time stamps
  std::vector<Value> writes;        ///< every value the run adds or changes
  bool fails = false;               ///< the last log line is an error
};

const std::string kEnde = "********** Ende";

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

/// The log lines of one account written by the account-based versions.
std::vector<std::string> AccountLines(int number, const std::string& name, bool newSig = true,
                                      bool replySig = true) {
  std::vector<std::string> out = {"-> Bearbeite Registry für " + std::to_string(number) + ". EMail-Konto : " + name};
  if (newSig) out.push_back("-> ...Eintrag 'New Signature' hinzugefügt bzw. gesetzt");
  if (replySig) out.push_back("-> ...Eintrag 'Reply-Forward Signature' hinzugefügt bzw. gesetzt");
  return out;
}

std::vector<std::string> ProfileLines(const std::string& versionName, const std::string& profile = "Büro") {
  return {"Stelle Standard-Signatur für Outlook " + versionName + " ein", "-> Ermittle Outlook-Profil",
          "-> ...Outlook-Profil: " + profile};
}

std::vector<std::string> ListLines(int count, const std::string& first) {
  return {"-> Ermittle E-Mail-Konten", "-> ...Anzahl E-Mail-Konten: " + std::to_string(count),
          "-> ...Standard-E-Mail-Konto: " + first};
}

const std::string kNoProfile = "Fehler 999: Das Outlook-Profil konnte nicht aus der Registry ermittelt werden";
std::string NoAccount(const std::string& name) {
  return "Fehler 999: Der Registry-Schlüssel für den konfigurierten EMail-Account '" + name +
         "' konnte nicht ermittelt werden";
}
const std::string kTypeMismatch = "Fehler 13: Typen unverträglich";

// Outlook 2000 to 2007 and unknown versions: what every run does by default.
std::vector<Row> ClassicRows() {
  const std::string k12 = AccountKey(12);
  const std::string k11 = AccountKey(11);
  std::vector<Row> rows;
  rows.push_back({"2000: one entry in the profile named as read; NoNewMessageSignature has no say", 9,
                  "NoNewMessageSignature=1\r\n", DefaultProfile(kMessaging, "Büro"), "Müller-Standard",
                  "Antwort", "2000",
                  Lines({ProfileLines("2000"),
                         {"-> Bearbeite Registry", "-> ...Eintrag für Signatur hinzugefügt bzw. gesetzt", kEnde}}),
                  {Sz(kMessaging + "\\Büro\\0a0d020000000000c000000000000046", "001e0361", "Müller-Standard")}});
  rows.push_back({"2000 without a default profile", 9, "", "", "Standard", "", "2000",
                  {"Stelle Standard-Signatur für Outlook 2000 ein", "-> Ermittle Outlook-Profil", kNoProfile},
                  {}, true});
  rows.push_back({"XP: two expandable strings in the Office settings", 10, "", "", "Müller-Standard", "Antwort",
                  "XP",
                  {"Stelle Standard-Signatur für Outlook XP ein", "-> Bearbeite Registry",
                   "-> ...Eintrag 'NewSignature' hinzugefügt bzw. gesetzt",
                   "-> ...Eintrag 'ReplySignature' hinzugefügt bzw. gesetzt", kEnde},
                  {ExpandSz(Office(10) + "\\Common\\MailSettings", "NewSignature", "Müller-Standard"),
                   ExpandSz(Office(10) + "\\Common\\MailSettings", "ReplySignature", "Antwort")}});
  rows.push_back({"XP with NoReplyMessageSignature", 10, "NoReplyMessageSignature=1\r\n", "", "Standard",
                  "Antwort", "XP",
                  {"Stelle Standard-Signatur für Outlook XP ein", "-> Bearbeite Registry",
                   "-> ...Eintrag 'NewSignature' hinzugefügt bzw. gesetzt", kEnde},
                  {ExpandSz(Office(10) + "\\Common\\MailSettings", "NewSignature", "Standard")}});
  rows.push_back({"2003: umlauts in profile and signature; no reply type gives the new name twice", 11, "",
                  Machine(11, {kThree[0]}), "Müller-Standard", "", "2003",
                  Lines({ProfileLines("2003"), ListLines(1, kThree[0].name), AccountLines(1, kThree[0].name),
                         {kEnde}}),
                  {Bin(k11 + "\\00000002", "New Signature", "Müller-Standard"),
                   Bin(k11 + "\\00000002", "Reply-Forward Signature", "Müller-Standard")}});
  rows.push_back({"2007: all three accounts, in list order", 12, "SetForAllEMailAccounts=1\r\n",
                  // Listed out of key order: the list decides.
                  DefaultProfile(kMessaging, "Büro") +
                      AccountKeys(k12, {kThree[1], kThree[0], kThree[2]}),
                  "Standard", "Antwort", "2007",
                  Lines({ProfileLines("2007"), ListLines(3, "Vertrieb"), AccountLines(1, "Vertrieb"),
                         AccountLines(2, kThree[0].name), AccountLines(3, "Privat"), {kEnde}}),
                  {Bin(k12 + "\\00000003", "New Signature", "Standard"),
                   Bin(k12 + "\\00000003", "Reply-Forward Signature", "Antwort"),
                   Bin(k12 + "\\00000002", "New Signature", "Standard"),
                   Bin(k12 + "\\00000002", "Reply-Forward Signature", "Antwort"),
                   Bin(k12 + "\\00000005", "New Signature", "Standard"),
                   Bin(k12 + "\\00000005", "Reply-Forward Signature", "Antwort")}});
  rows.push_back({"2007: only the default account unless all are asked for", 12, "SetForAllEMailAccounts=true\r\n",
                  Machine(12, kThree), "Standard", "Antwort", "2007",
                  Lines({ProfileLines("2007"), ListLines(3, kThree[0].name), AccountLines(1, kThree[0].name),
                         {kEnde}}),
                  {Bin(k12 + "\\00000002", "New Signature", "Standard"),
                   Bin(k12 + "\\00000002", "Reply-Forward Signature", "Antwort")}});
  rows.push_back({"2007: the configured account only, whatever SetForAllEMailAccounts says", 12,
                  "EMailAccount=Privat\r\nSetForAllEMailAccounts=1\r\n", Machine(12, kThree), "Standard", "Antwort",
                  "2007",
                  Lines({ProfileLines("2007"), {"-> Verwende konfiguriertes E-Mail-Konto: Privat"},
                         AccountLines(1, "Privat"), {kEnde}}),
                  {Bin(k12 + "\\00000005", "New Signature", "Standard"),
                   Bin(k12 + "\\00000005", "Reply-Forward Signature", "Antwort")}});
  rows.push_back({"2007: a configured account that differs in case is not found", 12, "EMailAccount=privat\r\n",
                  Machine(12, kThree), "Standard", "", "2007",
                  Lines({ProfileLines("2007"), {NoAccount("privat")}}), {}, true});
  rows.push_back({"2007 without a default profile", 12, "", AccountKeys(k12, kThree), "Standard", "", "2007",
                  {"Stelle Standard-Signatur für Outlook 2007 ein", "-> Ermittle Outlook-Profil", kNoProfile}, {},
                  true});
  rows.push_back({"2007 with NoNewMessageSignature", 12, "NoNewMessageSignature=1\r\n", Machine(12, {kThree[2]}),
                  "Standard", "Antwort", "2007",
                  Lines({ProfileLines("2007"), ListLines(1, "Privat"), AccountLines(1, "Privat", false, true),
                         {kEnde}}),
                  {Bin(k12 + "\\00000005", "Reply-Forward Signature", "Antwort")}});
  rows.push_back({"2007 with NoReplyMessageSignature", 12, "NoReplyMessageSignature=1\r\n", Machine(12, {kThree[2]}),
                  "Standard", "Antwort", "2007",
                  Lines({ProfileLines("2007"), ListLines(1, "Privat"), AccountLines(1, "Privat", true, false),
                         {kEnde}}),
                  {Bin(k12 + "\\00000005", "New Signature", "Standard")}});
  rows.push_back({"2007: a list without one whole account writes into the account key itself", 12, "",
                  DefaultProfile(kMessaging, "Büro") + AccountKeys(k12, {}, "hex:00,00"), "Standard", "", "2007",
                  Lines({ProfileLines("2007"), ListLines(1, ""), AccountLines(1, ""), {kEnde}}),
                  {Bin(k12, "New Signature", "Standard"), Bin(k12, "Reply-Forward Signature", "Standard")}});
  rows.push_back({"2003: an account list stored as text ends the run", 11, "",
                  DefaultProfile(kMessaging, "Büro") + AccountKeys(k11, {kThree[0]}, "\"00000002\""), "Standard",
                  "", "2003", Lines({ProfileLines("2003"), {"-> Ermittle E-Mail-Konten", kTypeMismatch}}), {},
                  true});
  rows.push_back({"2007: an account name stored as text ends the run", 12, "",
                  Machine(12, {kThree[0], {"00000003", "Vertrieb", Account::Text}}), "Standard", "", "2007",
                  Lines({ProfileLines("2007"), {"-> Ermittle E-Mail-Konten", kTypeMismatch}}), {}, true});
  rows.push_back({"2007: the same when the configured account is looked for", 12, "EMailAccount=Vertrieb\r\n",
                  Machine(12, {kThree[0], {"00000003", "Vertrieb", Account::Text}}), "Standard", "", "2007",
                  Lines({ProfileLines("2007"), {kTypeMismatch}}), {}, true});
  rows.push_back({"2007: a profile without account list ends the run", 12, "", DefaultProfile(kMessaging, "Büro"),
                  "Standard", "", "2007", Lines({ProfileLines("2007"), {"-> Ermittle E-Mail-Konten", kTypeMismatch}}),
                  {}, true});
  rows.push_back({"2007: a configured account in a profile without accounts ends the run", 12,
                  "EMailAccount=Privat\r\n", DefaultProfile(kMessaging, "Büro"), "Standard", "", "2007",
                  Lines({ProfileLines("2007"), {"Fehler 9: Index außerhalb des gültigen Bereichs"}}), {}, true});
  rows.push_back({"2007: of two accounts with the configured name the first in key order", 12,
                  "EMailAccount=Vertrieb\r\n",
                  Machine(12, {{"00000007", "Vertrieb"}, kThree[0], {"00000004", "Vertrieb"}}), "Standard", "", "2007",
                  Lines({ProfileLines("2007"), {"-> Verwende konfiguriertes E-Mail-Konto: Vertrieb"},
                         AccountLines(1, "Vertrieb"), {kEnde}}),
                  {Bin(k12 + "\\00000004", "New Signature", "Standard"),
                   Bin(k12 + "\\00000004", "Reply-Forward Signature", "Standard")}});
  rows.push_back({"an unknown version registers nothing", 13, "", Machine(12, kThree), "Standard", "", "",
                  {"Stelle Standard-Signatur für Outlook  ein", kEnde}, {}});
  return rows;
}

// Outlook 2010 and later, with ModernOutlook=1.
std::vector<Row> ModernRows() {
  const std::string on = "ModernOutlook=1\r\n";
  const std::string k14 = AccountKey(14), k15 = AccountKey(15), k16 = AccountKey(16);
  // Account names either way: 2013 keeps them as bytes, 2016 as strings, and a
  // profile carried over from an older Outlook may have both.
  const std::vector<Account> mixed = {{"00000002", "Erika Mustermann (Büro)", Account::Text},
                                      {"00000003", "Vertrieb", Account::Binary}};
  std::vector<Row> rows;
  rows.push_back({"2010: the profile where 2007 kept it, bytes in every account", 14,
                  on + "SetForAllEMailAccounts=1\r\n", Machine(14, mixed), "Müller-Standard", "Antwort", "2010",
                  Lines({ProfileLines("2010"), ListLines(2, mixed[0].name), AccountLines(1, mixed[0].name),
                         AccountLines(2, "Vertrieb"), {kEnde}}),
                  {Bin(k14 + "\\00000002", "New Signature", "Müller-Standard"),
                   Bin(k14 + "\\00000002", "Reply-Forward Signature", "Antwort"),
                   Bin(k14 + "\\00000003", "New Signature", "Müller-Standard"),
                   Bin(k14 + "\\00000003", "Reply-Forward Signature", "Antwort")}});
  rows.push_back({"2013: the profile below Office 15.0, named as it is", 15, on, Machine(15, mixed),
                  "Müller-Standard", "", "2013",
                  Lines({ProfileLines("2013"), ListLines(2, mixed[0].name), AccountLines(1, mixed[0].name),
                         {kEnde}}),
                  {Bin(k15 + "\\00000002", "New Signature", "Müller-Standard"),
                   Bin(k15 + "\\00000002", "Reply-Forward Signature", "Müller-Standard")}});
  rows.push_back({"2013: a configured account named by bytes", 15, on + "EMailAccount=Vertrieb\r\n",
                  Machine(15, mixed), "Standard", "Antwort", "2013",
                  Lines({ProfileLines("2013"), {"-> Verwende konfiguriertes E-Mail-Konto: Vertrieb"},
                         AccountLines(1, "Vertrieb"), {kEnde}}),
                  {Bin(k15 + "\\00000003", "New Signature", "Standard"),
                   Bin(k15 + "\\00000003", "Reply-Forward Signature", "Antwort")}});
  rows.push_back({"2013 does not look where 2007 kept its profiles", 15, on, Machine(12, kThree), "Standard", "",
                  "2013", {"Stelle Standard-Signatur für Outlook 2013 ein", "-> Ermittle Outlook-Profil", kNoProfile},
                  {}, true});
  rows.push_back({"2016: strings in all accounts, and the roaming switch", 16, on + "SetForAllEMailAccounts=1\r\n",
                  Machine(16, mixed), "Müller-Standard", "Antwort", "2016",
                  Lines({ProfileLines("2016"), ListLines(2, mixed[0].name), AccountLines(1, mixed[0].name),
                         AccountLines(2, "Vertrieb"),
                         {"-> ...Eintrag 'DisableRoamingSignaturesTemporaryToggle' hinzugefügt bzw. gesetzt", kEnde}}),
                  {Sz(k16 + "\\00000002", "New Signature", "Müller-Standard"),
                   Sz(k16 + "\\00000002", "Reply-Forward Signature", "Antwort"),
                   Sz(k16 + "\\00000003", "New Signature", "Müller-Standard"),
                   Sz(k16 + "\\00000003", "Reply-Forward Signature", "Antwort"), Roaming()}});
  rows.push_back({"2016: the configured account named by a string, without reply default", 16,
                  on + "EMailAccount=Erika Mustermann (Büro)\r\nNoReplyMessageSignature=1\r\n", Machine(16, mixed),
                  "Standard", "Antwort", "2016",
                  Lines({ProfileLines("2016"), {"-> Verwende konfiguriertes E-Mail-Konto: Erika Mustermann (Büro)"},
                         AccountLines(1, mixed[0].name, true, false),
                         {"-> ...Eintrag 'DisableRoamingSignaturesTemporaryToggle' hinzugefügt bzw. gesetzt", kEnde}}),
                  {Sz(k16 + "\\00000002", "New Signature", "Standard"), Roaming()}});
  rows.push_back({"2016: an account that is not there, nothing written", 16, on + "EMailAccount=Service\r\n",
                  Machine(16, mixed), "Standard", "", "2016", Lines({ProfileLines("2016"), {NoAccount("Service")}}),
                  {}, true});
  rows.push_back({"2016 without a default profile, nothing written", 16, on, AccountKeys(k16, mixed), "Standard",
                  "", "2016", {"Stelle Standard-Signatur für Outlook 2016 ein", "-> Ermittle Outlook-Profil", kNoProfile},
                  {}, true});
  rows.push_back({"2016: an account list stored as text ends the run", 16, on,
                  DefaultProfile(Office(16) + "\\Outlook", "Büro") + AccountKeys(k16, mixed, "\"00000002\""),
                  "Standard", "", "2016", Lines({ProfileLines("2016"), {"-> Ermittle E-Mail-Konten", kTypeMismatch}}),
                  {}, true});
  rows.push_back({"2013: an account name stored as a number ends the run", 15, on,
                  DefaultProfile(Office(15) + "\\Outlook", "Büro") + AccountKeys(k15, {{"00000002", "", Account::None}}) +
                      "[" + k15 + "\\00000002]\r\n\"Account Name\"=dword:00000001\r\n\r\n",
                  "Standard", "", "2013", Lines({ProfileLines("2013"), {"-> Ermittle E-Mail-Konten", kTypeMismatch}}),
                  {}, true});
  rows.push_back({"a version after 16 stays unknown", 17, on, Machine(16, mixed), "Standard", "", "",
                  {"Stelle Standard-Signatur für Outlook  ein", kEnde}, {}});
  return rows;
}

// ---------------------------------------------------------------------------
// Running a row.

class Outlook : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_ = std::make_unique<Sandbox>(GetParam());
    sb_->Write("cfg/Vorlagen/std.htm", "<p>@FULLNAME@</p>\r\n");
    sb_->Write("cfg/Vorlagen/std.rtf", "{\\rtf1 @FULLNAME@}\r\n");
    sb_->Write("cfg/Vorlagen/std.txt", "@FULLNAME@\r\n");
    sb_->MakeDir("app");
  }

  /// Seeds the machine, runs the program and returns its log (time stamps masked).
  std::string Start(int version, const std::string& seed, const std::string& main, const std::string& newName,
                    const std::string& replyName, int* exitCode = nullptr) {
    sb_->SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
                      std::to_string(version) + "\"\r\n\r\n" + seed);
    std::string ini = "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\nFixedSignType=std\r\nTargetSignType=" +
                      newName + "\r\n";
    if (!replyName.empty()) ini += "FixedSignTypeReply=std\r\nTargetSignTypeReply=" + replyName + "\r\n";
    sb_->Write("cfg/site.ini", Ansi(ini + main));
    std::filesystem::remove(sb_->Path("cfg/run.log"));
    RunResult r = sb_->Run("/INI:" + sb_->Win("cfg/site.ini") + " /DEBUG:LOG", {{"QM_APPDATA", sb_->Win("app")}}, 120);
    EXPECT_FALSE(r.timedOut) << r.output;
    if (exitCode != nullptr) *exitCode = r.exitCode;
    return MaskTimestamps(sb_->Read("cfg/run.log"));
  }

  /// The values below the profile and Office keys as the program left them.
  Snapshot Registry() const {
    if (sb_->build() == Build::Linux) return ParseReg(sb_->Read("registry.reg"), kWatched);
    RunResult r = sb_->Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft", sb_->Win("export.reg"), "/y"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return ParseReg(sb_->Read("export.reg"), kWatched);
  }

  void Check(const Row& row) {
    SCOPED_TRACE(row.name);
    int exitCode = -1;
    const std::string log = Start(row.version, row.seed, row.main, row.newName, row.replyName, &exitCode);
    EXPECT_EQ(exitCode, row.fails ? 1 : 0) << log;
    EXPECT_NE(log.find(Ansi("TS ...Outlook-Version: " + row.versionName + "\r\n")), std::string::npos) << log;
    std::string expectedLog;
    for (const std::string& line : row.log) expectedLog += "TS " + line + "\r\n";
    expectedLog += row.fails ? "TS ********** Ende \r\n\r\n" : "\r\n";
    const size_t from = log.find("TS Stelle Standard-Signatur");
    EXPECT_EQ(from == std::string::npos ? log : log.substr(from), Ansi(expectedLog));

    Snapshot expected = ParseReg("Windows Registry Editor Version 5.00\r\n\r\n" + row.seed, kWatched);
    for (const Value& v : row.writes) expected[Upper(v.key) + "|" + Upper(v.name)] = Entry(v.type, v.bytes);
    EXPECT_EQ(Diff(expected, Registry()), "");
  }

  std::unique_ptr<Sandbox> sb_;
};

TEST_P(Outlook, ClassicVersions) {
  for (const Row& row : ClassicRows()) Check(row);
}

TEST_P(Outlook, ModernVersionsWhenAskedFor) {
  for (const Row& row : ModernRows()) Check(row);
}

TEST_P(Outlook, ModernVersionsLeftAloneByDefault) {
  // Without ModernOutlook=1, Outlook 2010 and later are unknown versions: the
  // whole log is the one of an unknown version, and nothing is written.
  const std::string seed = Machine(16, kThree) + Machine(14, kThree) + Machine(15, kThree);
  const std::string unknown = Start(13, seed, "", "Standard", "Antwort");
  ASSERT_NE(unknown.find(Ansi("TS Stelle Standard-Signatur für Outlook  ein\r\n")), std::string::npos) << unknown;
  const Snapshot before = ParseReg("Windows Registry Editor Version 5.00\r\n\r\n" + seed, kWatched);
  struct Off { int version; std::string main; };
  for (const Off& off : {Off{16, ""}, Off{16, "ModernOutlook=true\r\n"}, Off{15, "ModernOutlook=0\r\n"},
                         Off{14, "ModernOutlook=2\r\n"}}) {
    SCOPED_TRACE(std::to_string(off.version) + " " + off.main);
    EXPECT_EQ(Start(off.version, seed, off.main, "Standard", "Antwort"), unknown);
    EXPECT_EQ(Diff(before, Registry()), "");
  }
}

TEST_P(Outlook, DemoMachineOfOutlook2016) {
  // The demo's second registry: a file as reg export writes it, which Wine's
  // reg import takes as well.
  std::string seed = Utf16ToUtf8(ReadFile(SourceDir() / "examples" / "demo" / "registry-outlook16.reg").substr(2));
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  ASSERT_EQ(seed.rfind(header, 0), 0u);
  seed.erase(0, header.size());
  const std::string k16 = AccountKey(16);
  Row row{"demo", 16, "ModernOutlook=1\r\nSetForAllEMailAccounts=1\r\n", seed, "standard", "antwort", "2016",
          Lines({ProfileLines("2016"), ListLines(2, "Erika Mustermann (Büro)"),
                 AccountLines(1, "Erika Mustermann (Büro)"), AccountLines(2, "Vertrieb"),
                 {"-> ...Eintrag 'DisableRoamingSignaturesTemporaryToggle' hinzugefügt bzw. gesetzt", kEnde}}),
          {Sz(k16 + "\\00000002", "New Signature", "standard"), Sz(k16 + "\\00000002", "Reply-Forward Signature", "antwort"),
           Sz(k16 + "\\00000003", "New Signature", "standard"), Sz(k16 + "\\00000003", "Reply-Forward Signature", "antwort"),
           Roaming()},
          false};
  Check(row);
}

INSTANTIATE_TEST_SUITE_P(Builds, Outlook, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
