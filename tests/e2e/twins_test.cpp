// Both builds on the same random configurations (a user in SQLite with values in
// several alphabets, markup and blanks; random templates and line ends; Outlook
// 2007 or 2016 with mail accounts, some named by an address; a code page of one
// or two bytes per character, or UTF-8; the keys of the configuration, with
// signatures per mailbox read from the test slapd, conditional blocks and
// photos) must agree byte for byte: exit status, log (time stamps and drive
// letters aside), every file below AppData's Microsoft folder, every value
// below Outlook's keys and the run's status (but for the time of the run).
// The windows build on Windows' own
// conversions is the reference for the linux stand-ins. Runs QM_TWINS_CASES
// cases (12) from seed QM_TWINS_SEED (1) on; a difference names its seed,
// which replays the case alone.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <regex>

#include "../common/slapd_server.h"
#include "harness.h"

namespace qmtest {
namespace {

const std::string kMessaging =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";
const std::string kOffice = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office";

// clang-format off
// Pieces of user values: letters of several alphabets, what markup and rtf
// treat specially, blanks and nothing.
const std::vector<std::string> kWords = {
    "Müller", "Søren", "Łukasz", "Żółć", "Řehoř", "Šťastný", "Işıl", "Güneş", "İzmir", "Ğ",
    "Αλέξανδρος", "Δήμητρα", "Дмитрий", "Шостакович", "Ērika", "Žemaitė", "東京", "😀",
    "Straße", "Œuvre", "naïve", "O'Brien", "&", "<b>", ">", "\"x\"", "'", "\\", "{", "}", "@",
    "", " ", "  "};
const std::vector<std::string> kSeparators = {" ", "", "-", ", ", " & "};
// Template text around the placeholders: plain, markup of each format, letters.
const std::vector<std::string> kTemplateText = {
    "Telefon ", "<br>", "<p>", "\\par ", "{\\b ", "}", "Grüße ", "Ζ ", "Ж ", " ", "&amp;", ""};
const std::vector<std::string> kPlaceholders = {
    "FIRSTNAME", "LASTNAME", "INITIALS", "TITLE", "FULLNAME", "SIGNTITLE", "PHONE", "FAX",
    "MOBILE", "EMAIL", "POSTCODE", "CITY", "STREET", "USERDEF1", "USERDEF2", "firstname", "NOPE",
    "USERDEF3", "MAILBOX_USERDEF3", "MAILBOX_FULLNAME", "MAILBOX_FAX", "PHOTO"};
// Lines of conditional blocks (TemplateConditions=1), among the random lines.
const std::vector<std::string> kMarkers = {
    "@IF FIRSTNAME@", "@IFNOT FAX@", "@IF CITY=*ü*@", "@ELSE@", "@ENDIF@", "@ENDIF@", " @if phone@ ",
    "@IF MEMBEROF=Firma@", "@IF NOPE@"};
// The photo column's value: a PNG, text, nothing.
const std::vector<std::string> kPhotos = {
    "X'89504e470d0a1a0a0000000d494844520000000200000002010300000048789f6700000003504c5445ff000019e209370000000c"
    "4944415408d7636060600000000400012734270a0000000049454e44ae426082'",
    "'kein Bild'", "NULL"};
const std::vector<std::string> kLineEnds = {"\r\n", "\r\n", "\n", "\r", ""};
/// The fields the database fills, from the columns C0, C1...
const std::vector<std::string> kFields = {
    "FirstName", "LastName", "Initials", "Title", "SignTitle1", "SignTitle2", "Phone", "Fax",
    "Mobile", "EMail", "Postcode", "City", "Street", "UserDef1", "UserDef2"};
// Names an administrator writes into the configuration file, which holds the
// code page's characters only: each case draws those its code page holds.
// "Com" and "LPT" with a number are Windows' devices, which both builds refuse.
const std::vector<std::string> kTargetNames = {"Standard", "Antwort", "Müller", "Łódź", "Ελένη", "Иван", "Com", "LPT"};
const std::vector<std::string> kAccountNames = {
    "Erika Mustermann (Büro)", "Vertrieb", "Łukasz Żółć", "Δήμητρα", "Иван & Co",
    "vertrieb@quillmark.test", "max.mustermann@quillmark.test", "team/nord@firma.example"};
// clang-format on

/// The case's random choices, all drawn from one seed.
struct Dice {
  std::mt19937 rng;
  std::size_t Below(std::size_t n) { return rng() % n; }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  const std::string& Any(const std::vector<std::string>& from) { return from[Below(from.size())]; }
};

/// True when the code page holds every character of the text.
bool Holds(const CodePage& codePage, const std::string& text) {
  return Convert(Convert(text, "UTF-8", codePage.iconvName), codePage.iconvName, "UTF-8") == text;
}

/// A key (of Main or another section) set to one of its values at random ("" leaves
/// it out, "{account}" is one of the case's accounts, "{target}" its first target name): the opt-in keys on and
/// off and the keys that choose what is registered. A further key is one more row.
struct KeyRow {
  std::string section, key;
  std::vector<std::string> values;
};
const std::vector<KeyRow> kKeyRows = {
    {"Main", "ModernOutlook", {"", "1", "1", "0"}},
    {"Main", "EscapeValues", {"", "1", "0"}},
    {"Main", "DropEmptyLines", {"", "1"}},
    {"Main", "EscapeUserName", {"", "1"}},
    {"Main", "HidePasswordsInLog", {"", "1"}},
    {"Main", "SetForAllEMailAccounts", {"", "1"}},
    {"Main", "NoReplyMessageSignature", {"", "", "1"}},
    {"Main", "EMailAccount", {"", "", "{account}"}},
    {"Rule1", "UserDef1", {"", "*", "[a-m]*", "?*"}},
    {"Rule1", "SignType", {"", "t1"}},
    {"Rule2", "SignTypeReply", {"", "t1"}},
    {"Account1", "Name", {"", "*", "{account}"}},
    {"Account1", "ReplySignature", {"", "{target}"}},
    {"Main", "MailboxSignatures", {"", "1"}},
    {"Main", "TemplateConditions", {"", "1"}},
    {"FieldMapping", "Photo", {"", "Bild"}},
    {"Rule2", "Mailbox", {"", "vertrieb@*"}},
    {"Main", "RunStatus", {"", "1"}},
};

/// The test directory, for the cases with signatures per mailbox; started at the first.
std::unique_ptr<TestSlapd> directory;

/// The machine's Outlook keys as Outlook writes them (account names as strings from 2016 on).
std::string Registry(int outlook, const std::string& profile,
                     const std::vector<std::string>& accounts) {
  const std::string office = kOffice + "\\" + std::to_string(outlook) + ".0";
  // Outlook 2007 rewrites umlauts in the profile's key name (Büro is B[|DEL ro).
  const std::string key = (outlook >= 15
                               ? office + "\\Outlook\\Profiles\\" + profile
                               : kMessaging + "\\" + (profile == "Büro" ? "B[|\x7Fro" : profile)) +
                          "\\9375CFF0413111d3B88A00104B2A6676";
  std::string list, keys;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    const std::string number = std::to_string(i + 2);
    list += (i == 0 ? "00,00,00,0" : ",00,00,00,0") + number;
    std::string name = "\"" + accounts[i] + "\"";
    if (outlook < 16) {
      name = "hex:";
      for (unsigned char b : Utf16Le(accounts[i]).substr(2) + std::string(2, '\0')) {
        name += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15], ','};
      }
      name.pop_back();
    }
    keys += "[" + key + "\\0000000" + number + "]\r\n\"Account Name\"=" + name + "\r\n\r\n";
  }
  return "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
         std::to_string(outlook) + "\"\r\n\r\n[" +
         (outlook >= 15 ? office + "\\Outlook" : kMessaging) + "]\r\n\"DefaultProfile\"=\"" +
         profile + "\"\r\n\r\n[" + key +
         "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:" + list + "\r\n\r\n" + keys;
}

/// What a run leaves: "exit status", "log", "file <name>", "registry <value>" -> bytes.
using Outcome = std::map<std::string, std::string>;

/// The case of the seed, made in a sandbox of the build (the same bytes for
/// both but for the sandbox's paths), and what its run leaves.
Outcome RunCase(std::uint32_t seed, Build build) {
  Dice dice{std::mt19937(seed)};
  const CodePage& codePage = kCodePages[dice.Below(kCodePages.size())];
  const int outlook = dice.OneIn(2) ? 12 : 16;
  const std::string profile =
      dice.Any(outlook == 12 ? std::vector<std::string>{"Outlook", "Büro"}
                             : std::vector<std::string>{"Outlook", "Büro", "Łódź", "Κέντρο"});
  std::vector<std::string> accounts;
  for (std::size_t n = 1 + dice.Below(3); n > 0; --n) accounts.push_back(dice.Any(kAccountNames));
  Sandbox sb(build);
  sb.SeedRegistry(Registry(outlook, profile, accounts));

  // The user, under Wine the Unix user; the linux build is given the same name.
  const passwd* pw = ::getpwuid(::getuid());
  const std::string user = pw != nullptr ? pw->pw_name : "root";
  std::string sql = "CREATE TABLE U (Name", row = "INSERT INTO U VALUES ('" + user + "'";
  std::map<std::string, std::string> sections;
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    std::string value = dice.Any(kWords);
    for (std::size_t n = dice.Below(3); n > 0; --n)
      value += dice.Any(kSeparators) + dice.Any(kWords);
    sql += ", C" + std::to_string(i);
    row += dice.OneIn(6) ? ", NULL"
                         : ", '" + std::regex_replace(value, std::regex("'"), "''") + "'";
    sections["FieldMapping"] += kFields[i] + "=C" + std::to_string(i) + "\r\n";
  }
  sb.Sqlite("b.db", sql + ", Bild BLOB);\n" + row + ", " + dice.Any(kPhotos) + ");\n");

  // One or two templates with random lines, under names the code page holds.
  std::vector<std::string> names = kTargetNames;
  std::erase_if(names, [&codePage](const std::string& name) {
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    return !Holds(codePage, name) || (codePage.asciiFileNames && !ascii);
  });
  std::string& mainKeys = sections["Main"];
  mainKeys = "LogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\nFixedSignType=t1";
  std::string targets = "\r\nTargetSignType=";
  std::vector<std::string> targetNames;
  for (std::size_t n = 1, types = 1 + dice.Below(2); n <= types; ++n) {
    mainKeys += n > 1 ? ",t" + std::to_string(n) : "";
    targetNames.push_back(dice.Any(names) + std::to_string(n));
    targets += (n > 1 ? "," : "") + targetNames.back();
    for (const char* ext : {".htm", ".rtf", ".txt"}) {
      std::string body;
      for (std::size_t lines = 1 + dice.Below(5); lines > 0; --lines) {
        if (dice.OneIn(4)) {
          body += dice.Any(kMarkers);
        } else {
          for (std::size_t pieces = dice.Below(4); pieces > 0; --pieces) {
            body += dice.OneIn(2) ? dice.Any(kTemplateText) : "@" + dice.Any(kPlaceholders) + "@";
          }
        }
        const std::string& end = dice.Any(kLineEnds);
        body += end.empty() && lines > 1 ? "\r\n" : end;  // only the last line may go without
      }
      const std::string file = "cfg/Vorlagen/t" + std::to_string(n) + ext;
      sb.Write(file, Convert(body, "UTF-8", codePage.iconvName));
    }
  }
  mainKeys += targets + "\r\n";
  if (dice.OneIn(2))
    mainKeys += "FixedSignTypeReply=t1\r\nTargetSignTypeReply=" + dice.Any(names) + "\r\n";
  for (const KeyRow& key : kKeyRows) {
    std::string value = dice.Any(key.values);
    if (value == "{account}") value = dice.Any(accounts);
    if (value == "{target}") value = targetNames.front();
    // The file holds only what its code page holds.
    if (!value.empty() && Holds(codePage, value)) {
      sections[key.section] += key.key + "=" + value + "\r\n";
    }
  }
  // Signatures per mailbox read the mailboxes (and the user mmuster) from the
  // test directory, both builds with the server in the base.
  std::string args;
  if (sections["Main"].find("MailboxSignatures=1") != std::string::npos) {
    if (!directory) directory = std::make_unique<TestSlapd>(QM_TEST_TMP);
    mainKeys += "LDAPBaseObjectDN=" + directory->Server() + "/" + kDirectorySuffix +
                "\r\nLDAPReaderAccountName=" + kReaderDn + "\r\nLDAPReaderAccountPassword=" +
                kReaderPassword + "\r\n";
    sections["FieldMapping"] += "UserDef3=*telephoneNumber\r\n";
    args = "/ADUSER:mmuster";
  }
  mainKeys += "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb.Win("b.db") +
              (dice.OneIn(2) ? ";Jet OLEDB:Database Password=geheim" : "") +
              "\r\nUserSelect=SELECT * FROM U WHERE Name = '%USERNAME%'\r\n";
  std::string ini = "[Main]\r\n" + mainKeys;
  for (const auto& [section, lines] : sections) {
    if (section != "Main") ini += "[" + section + "]\r\n" + lines;
  }
  sb.MakeDir("app");
  sb.Write("cfg/site.ini", Convert(ini, "UTF-8", codePage.iconvName));

  Env env = InCodePage(codePage, build);
  if (build == Build::Linux) env["USERNAME"] = user;
  Outcome out{{"exit status", std::to_string(sb.RunLogged(args, env).exitCode)}};
  // Time stamps in the format of each build's locale (Greek: "7/12/2026 1:15:55
  // π.μ.", Japanese: "2026/12/7 1:15:55"); Wine's paths on drive Z:.
  static const std::regex stamp(
      "(^|\n)(\\d{1,2}[./]\\d{1,2}[./]\\d{4}|\\d{4}/\\d{1,2}/\\d{1,2}) \\d{1,2}:\\d\\d:\\d\\d"
      "( [\x80-\xFF]\\.[\x80-\xFF]\\.)?");
  const std::string log = std::regex_replace(sb.Read("cfg/run.log"), stamp, "$1TS");
  out["log"] = std::regex_replace(log, std::regex("Z:\\\\"), "\\");
  for (const auto& [name, bytes] : ReadTree(sb.Path("app/Microsoft"))) out["file " + name] = bytes;
  std::string registry = sb.Read("registry.reg");
  if (build == Build::Windows) {
    sb.Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft", sb.Win("x.reg"), "/y"});
    registry = sb.Read("x.reg");
  }
  for (const auto& [name, data] : RegValues(registry, {kMessaging, kOffice})) {
    out["registry " + name] = data;
  }
  // The run's status, the time of the run aside.
  for (const auto& [name, data] : sb.RegistryValues("HKEY_CURRENT_USER\\Software\\Quillmark")) {
    if (name != "LASTRUN") out["status " + name] = std::regex_replace(data, std::regex("Z:\\\\"), "\\");
  }
  return out;
}

/// Where two texts part, and the bytes of each from a little before there.
std::string FirstDifference(const std::string& a, const std::string& b) {
  const auto at = static_cast<std::size_t>(
      std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
  const auto excerpt = [from = at < 16 ? 0 : at - 16](const std::string& s) {
    return ::testing::PrintToString(s.substr(std::min(from, s.size()), 48));
  };
  return "at byte " + std::to_string(at) + "\n  linux:   " + excerpt(a) +
         "\n  windows: " + excerpt(b);
}

TEST(Twins, BothBuildsWriteTheSameBytes) {
  const auto number = [](const char* name, unsigned long fallback) -> std::uint32_t {
    const char* value = std::getenv(name);
    return static_cast<std::uint32_t>(value != nullptr && *value != '\0' ? std::stoul(value)
                                                                         : fallback);
  };
  const std::uint32_t first = number("QM_TWINS_SEED", 1);
  for (std::uint32_t seed = first; seed < first + number("QM_TWINS_CASES", 12); ++seed) {
    const Outcome linux = RunCase(seed, Build::Linux), windows = RunCase(seed, Build::Windows);
    Outcome both = linux;
    both.insert(windows.begin(), windows.end());
    for (const auto& [what, bytes] : both) {
      const std::string a = linux.contains(what) ? linux.at(what) : "(none)";
      const std::string b = windows.contains(what) ? windows.at(what) : "(none)";
      if (a != b) {
        ADD_FAILURE() << "seed " << seed << " (QM_TWINS_SEED=" << seed
                      << " QM_TWINS_CASES=1 replays it): " << what << " differs "
                      << FirstDifference(a, b);
      }
    }
  }
}

}  // namespace
}  // namespace qmtest
