// Both builds on the same random configurations. A seeded generator makes a
// user (values in several alphabets, with markup and blanks) in an SQLite
// database, templates with random placeholders and line ends, an Outlook 2007
// or 2016 registry, a code page and the keys of a configuration; each case runs
// through the linux build and, under Wine, the windows build, and the two must
// agree byte for byte: exit status, log (time stamps and drive letters aside),
// every file below the application data's Microsoft folder and every value
// below Outlook's keys. Nothing is expected of either: the windows build on
// Windows' own conversions is the reference for the linux stand-ins.
// QM_TWINS_CASES cases (default 12) from the seed QM_TWINS_SEED (default 1) on;
// a difference names its seed, which replays the case alone.
#include <iconv.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <random>
#include <regex>
#include <set>

#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

const std::string kMessaging =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
const std::string kOffice = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office";
const std::string kAccountsKey = "9375CFF0413111d3B88A00104B2A6676";

/// The case's random choices, all drawn from one seed.
class Dice {
 public:
  explicit Dice(std::uint32_t seed) : rng_(seed) {}
  std::size_t Below(std::size_t n) { return rng_() % n; }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  template <typename T>
  const T& Any(const std::vector<T>& from) { return from[Below(from.size())]; }

 private:
  std::mt19937 rng_;
};

// Pieces of user values and names: letters of several alphabets, what markup
// and rtf treat specially, blanks and nothing.
const std::vector<std::string> kWords = {
    "Müller", "Søren", "Łukasz", "Żółć", "Řehoř", "Šťastný", "Işıl", "Güneş", "İzmir", "Ğ",
    "Αλέξανδρος", "Δήμητρα", "Дмитрий", "Шостакович", "Ērika", "Žemaitė", "東京", "😀", "Straße",
    "Œuvre", "naïve", "O'Brien", "&", "<b>", ">", "\"x\"", "'", "\\", "{", "}", "@", "", " ", "  "};
const std::vector<std::string> kSeparators = {" ", "", "-", ", ", " & "};

// Template text around the placeholders: plain, markup of each format, letters.
const std::vector<std::string> kTemplateText = {
    "Telefon ", "<br>", "<p>", "\\par ", "{\\b ", "}", "Grüße ", "Ζ ", "Ж ", " ", "&amp;", ""};
const std::vector<std::string> kPlaceholders = {
    "FIRSTNAME", "LASTNAME", "INITIALS", "TITLE", "FULLNAME", "SIGNTITLE", "PHONE", "FAX", "MOBILE",
    "EMAIL", "POSTCODE", "CITY", "STREET", "USERDEF1", "USERDEF2", "firstname", "NOPE"};
const std::vector<std::string> kLineEnds = {"\r\n", "\r\n", "\n", "\r", ""};

/// The fields a case's database fills, with their columns.
const std::vector<std::string> kFields = {"FirstName", "LastName", "Initials", "Title", "SignTitle1",
                                          "SignTitle2", "Phone", "Fax", "Mobile", "EMail",
                                          "Postcode", "City", "Street", "UserDef1", "UserDef2"};

// Names an administrator writes into the configuration file, which holds the
// code page's characters only: each case draws those its code page holds.
const std::vector<std::string> kTargetNames = {"Standard", "Antwort", "Müller", "Łódź", "Ελένη", "Иван"};
const std::vector<std::string> kAccountNames = {"Erika Mustermann (Büro)", "Vertrieb", "Łukasz Żółć",
                                                "Δήμητρα", "Иван & Co"};

/// True when the code page holds every character of the text.
bool Holds(const CodePage& codePage, const std::string& utf8) {
  const iconv_t cd = ::iconv_open(codePage.iconvName, "UTF-8");
  std::string in = utf8, out(utf8.size(), '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const bool holds = ::iconv(cd, &src, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1);
  ::iconv_close(cd);
  return holds;
}

std::vector<std::string> HeldBy(const CodePage& codePage, const std::vector<std::string>& names) {
  std::vector<std::string> held;
  std::copy_if(names.begin(), names.end(), std::back_inserter(held),
               [&codePage](const std::string& name) { return Holds(codePage, name); });
  return held;
}

struct Case;

/// One key of section Main (or of another section) that a case sets at random
/// or leaves out (""): the opt-in keys on and off, and the keys that choose
/// what is registered. A further key is one more row.
struct KeyRow {
  std::string section, key;
  std::function<std::string(Dice&, const Case&)> value;
};
std::function<std::string(Dice&, const Case&)> OneOf(std::vector<std::string> values) {
  return [values](Dice& dice, const Case&) { return dice.Any(values); };
}

/// A random configuration.
struct Case {
  std::uint32_t seed = 0;
  CodePage codePage;
  int outlook = 12;
  std::string profile;
  std::vector<std::string> accounts;
  std::vector<std::pair<std::string, std::string>> keys;  ///< section, "key=value" (UTF-8)
  std::vector<std::optional<std::string>> values;         ///< per field of kFields; nullopt: NULL
  std::map<std::string, std::string> templates;           ///< file name -> bytes
  bool password = false;                                  ///< a password in the connection value
};

const std::vector<KeyRow> kKeyRows = {
    {"Main", "ModernOutlook", OneOf({"", "1", "1", "0"})},
    {"Main", "EscapeValues", OneOf({"", "1", "0"})},
    {"Main", "DropEmptyLines", OneOf({"", "1"})},
    {"Main", "EscapeUserName", OneOf({"", "1"})},
    {"Main", "HidePasswordsInLog", OneOf({"", "1"})},
    {"Main", "SetForAllEMailAccounts", OneOf({"", "1"})},
    {"Main", "NoReplyMessageSignature", OneOf({"", "", "1"})},
    {"Main", "EMailAccount",
     [](Dice& dice, const Case& c) {
       const std::string& account = dice.Any(c.accounts);
       return dice.OneIn(3) && Holds(c.codePage, account) ? account : std::string();
     }},
};

std::string Word(Dice& dice) {
  std::string value = dice.Any(kWords);
  for (std::size_t n = dice.Below(3); n > 0; --n) value += dice.Any(kSeparators) + dice.Any(kWords);
  return value;
}

std::string Template(Dice& dice) {
  std::string body;
  for (std::size_t lines = 1 + dice.Below(5); lines > 0; --lines) {
    for (std::size_t pieces = dice.Below(4); pieces > 0; --pieces) {
      body += dice.OneIn(2) ? dice.Any(kTemplateText) : "@" + dice.Any(kPlaceholders) + "@";
    }
    const std::string& end = dice.Any(kLineEnds);
    body += end.empty() && lines > 1 ? "\r\n" : end;  // only the last line may go without one
  }
  return body;
}

Case Generate(std::uint32_t seed) {
  Dice dice(seed);
  Case c;
  c.seed = seed;
  c.codePage = dice.Any(kCodePages);
  c.outlook = dice.OneIn(2) ? 12 : 16;
  c.profile = dice.Any(c.outlook == 12 ? std::vector<std::string>{"Outlook", "Büro"}
                                       : std::vector<std::string>{"Outlook", "Büro", "Łódź", "Κέντρο"});
  for (std::size_t n = 1 + dice.Below(3); n > 0; --n) c.accounts.push_back(dice.Any(kAccountNames));
  for (std::size_t n = kFields.size(); n > 0; --n) {
    c.values.push_back(dice.OneIn(6) ? std::nullopt : std::optional(Word(dice)));
  }
  c.password = dice.OneIn(2);
  std::string types, targets;
  std::vector<std::string> names = HeldBy(c.codePage, kTargetNames);
  if (c.codePage.asciiFileNames) {
    std::erase_if(names, [](const std::string& name) { return !Holds({"ASCII"}, name); });
  }
  for (std::size_t n = 1 + dice.Below(2); n > 0; --n) {
    const std::string type = "t" + std::to_string(n);
    types += (types.empty() ? "" : ",") + type;
    targets += (targets.empty() ? "" : ",") + dice.Any(names) + std::to_string(n);
    for (const char* ext : {".htm", ".rtf", ".txt"}) {
      c.templates[type + ext] = Convert(Template(dice), "UTF-8", c.codePage.iconvName);
    }
  }
  c.keys = {{"Main", "FixedSignType=" + types}, {"Main", "TargetSignType=" + targets}};
  if (dice.OneIn(2)) {
    c.keys.push_back({"Main", "FixedSignTypeReply=t1"});
    c.keys.push_back({"Main", "TargetSignTypeReply=" + dice.Any(names)});
  }
  for (const KeyRow& row : kKeyRows) {
    const std::string value = row.value(dice, c);
    if (!value.empty()) c.keys.push_back({row.section, row.key + "=" + value});
  }
  return c;
}

// ---------------------------------------------------------------------------
// A case's files, and its run on one build.

std::string Utf16Hex(const std::string& utf8) {
  std::string hex = "hex:";
  for (unsigned char b : Utf16Le(utf8).substr(2) + std::string(2, '\0')) {
    hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15], ','};
  }
  hex.pop_back();
  return hex;
}

/// The Outlook keys of the case's machine, as Outlook writes them.
std::string Registry(const Case& c) {
  const std::string version = std::to_string(c.outlook);
  std::string reg = "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." + version +
                    "\"\r\n\r\n";
  const std::string office = kOffice + "\\" + version + ".0";
  // Outlook 2007 rewrites umlauts in the profile's key name (Büro is B[|DEL ro).
  const std::string key = c.outlook >= 15 ? office + "\\Outlook\\Profiles\\" + c.profile
                                          : kMessaging + "\\" + (c.profile == "Büro" ? "B[|\x7Fro" : c.profile);
  reg += "[" + (c.outlook >= 15 ? office + "\\Outlook" : kMessaging) + "]\r\n\"DefaultProfile\"=\"" + c.profile +
         "\"\r\n\r\n[" + key + "\\" + kAccountsKey + "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:";
  std::string accounts;
  for (std::size_t i = 0; i < c.accounts.size(); ++i) {
    reg += (i == 0 ? "" : ",") + std::string("00,00,00,0") + std::to_string(i + 2);
    accounts += "[" + key + "\\" + kAccountsKey + "\\0000000" + std::to_string(i + 2) + "]\r\n\"Account Name\"=" +
                (c.outlook >= 16 ? "\"" + c.accounts[i] + "\"" : Utf16Hex(c.accounts[i])) + "\r\n\r\n";
  }
  return reg + "\r\n\r\n" + accounts;
}

struct Outcome {
  int exitCode = -1;
  std::string log;
  Tree files;
  std::map<std::string, std::string> registry;
};

Outcome RunCase(const Case& c, Build build) {
  Sandbox sb(build);
  sb.SeedRegistry(Registry(c));
  // Under Wine the user is the Unix user; the linux build is given the same name.
  const passwd* pw = ::getpwuid(::getuid());
  const std::string user = pw != nullptr ? pw->pw_name : "root";
  std::string sql = "CREATE TABLE U (Name";
  for (std::size_t i = 0; i < kFields.size(); ++i) sql += ", C" + std::to_string(i);
  sql += ");\nINSERT INTO U VALUES ('" + user + "'";
  for (const auto& value : c.values) {
    sql += value ? ", '" + std::regex_replace(*value, std::regex("'"), "''") + "'" : ", NULL";
  }
  sb.Sqlite("b.db", sql + ");\n");
  std::map<std::string, std::string> sections;
  for (const auto& [section, line] : c.keys) sections[section] += line + "\r\n";
  sections["Main"] += "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sb.Win("b.db") +
                      (c.password ? ";Jet OLEDB:Database Password=geheim" : "") +
                      "\r\nUserSelect=SELECT * FROM U WHERE Name = '%USERNAME%'\r\n";
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    sections["FieldMapping"] += kFields[i] + "=C" + std::to_string(i) + "\r\n";
  }
  std::string ini = "[Main]\r\nLogFile=run.log\r\nAppDataPath=%QM_APPDATA%\r\n" + sections["Main"];
  for (const auto& [section, lines] : sections) ini += section == "Main" ? "" : "[" + section + "]\r\n" + lines;
  sb.MakeDir("app");
  sb.Write("cfg/site.ini", Convert(ini, "UTF-8", c.codePage.iconvName));
  for (const auto& [name, bytes] : c.templates) sb.Write("cfg/Vorlagen/" + name, bytes);

  Env env = InCodePage(c.codePage, build);
  if (build == Build::Linux) env["USERNAME"] = user;
  Outcome out;
  out.exitCode = sb.RunLogged("", env).exitCode;
  // Time stamps in the format of each build's locale (Greek: "7/12/2026
  // 1:15:55 π.μ."); Wine's paths on drive Z:.
  static const std::regex stamp(
      "(^|\n)\\d{1,2}[./]\\d{1,2}[./]\\d{4} \\d{1,2}:\\d\\d:\\d\\d( [\x80-\xFF]\\.[\x80-\xFF]\\.)?");
  out.log = std::regex_replace(std::regex_replace(sb.Read("cfg/run.log"), stamp, "$1TS"), std::regex("Z:\\\\"), "\\");
  out.files = ReadTree(sb.Path("app/Microsoft"));
  std::string registry = sb.Read("registry.reg");
  if (build == Build::Windows) {
    sb.Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft", sb.Win("export.reg"), "/y"});
    registry = sb.Read("export.reg");
  }
  out.registry = RegValues(registry, {kMessaging, kOffice});
  return out;
}

// ---------------------------------------------------------------------------
// The comparison.

/// Where two texts part: the offset and some bytes of each from a little before it.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  const std::size_t from = at < 16 ? 0 : at - 16;
  const auto show = [from](const std::string& s) {
    std::string out;
    for (std::size_t i = from; i < s.size() && i < from + 48; ++i) {
      const auto ch = static_cast<unsigned char>(s[i]);
      out += ch >= 0x20 && ch < 0x7F ? std::string(1, static_cast<char>(ch))
                                     : std::string("\\x") + "0123456789ABCDEF"[ch >> 4] + "0123456789ABCDEF"[ch & 15];
    }
    return out;
  };
  return "at byte " + std::to_string(at) + "\n  linux:   " + show(a) + "\n  windows: " + show(b);
}

void Compare(const Case& c, const std::string& what, const std::string& linux, const std::string& windows) {
  if (linux == windows) return;
  ADD_FAILURE() << "seed " << c.seed << " (QM_TWINS_SEED=" << c.seed << " QM_TWINS_CASES=1 replays it): " << what
                << " differs " << FirstDifference(linux, windows);
}

template <typename Map>
void CompareMaps(const Case& c, const std::string& what, const Map& linux, const Map& windows) {
  std::set<std::string> names;
  for (const auto& [name, bytes] : linux) names.insert(name);
  for (const auto& [name, bytes] : windows) names.insert(name);
  for (const std::string& name : names) {
    const auto l = linux.find(name), w = windows.find(name);
    Compare(c, what + " " + name, l == linux.end() ? "(none)" : l->second, w == windows.end() ? "(none)" : w->second);
  }
}

std::uint32_t FromEnvironment(const char* name, std::uint32_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? static_cast<std::uint32_t>(std::stoul(value)) : fallback;
}

TEST(Twins, BothBuildsWriteTheSameBytes) {
  const std::uint32_t first = FromEnvironment("QM_TWINS_SEED", 1);
  const std::uint32_t cases = FromEnvironment("QM_TWINS_CASES", 12);
  for (std::uint32_t seed = first; seed < first + cases; ++seed) {
    const Case c = Generate(seed);
    const Outcome linux = RunCase(c, Build::Linux);
    const Outcome windows = RunCase(c, Build::Windows);
    Compare(c, "exit status", std::to_string(linux.exitCode), std::to_string(windows.exitCode));
    Compare(c, "log", linux.log, windows.log);
    CompareMaps(c, "file", linux.files, windows.files);
    CompareMaps(c, "registry value", linux.registry, windows.registry);
  }
}

}  // namespace
}  // namespace qmtest
