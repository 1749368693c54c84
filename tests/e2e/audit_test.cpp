// Whole runs of both builds with /AUDIT: every user of a company of 30, each
// run as that user's logon would run, written into a folder of its own below
// the audit folder, with one page and one CSV file for the company. The
// company: a SQLite database that lists the staff and gives names and phones,
// and a slapd of its own (tests/fixtures/ldap/audit.ldif and the people of
// kStaff) that gives addresses, cities, a group for a rule, a shared mailbox
// automapped to one user and a manager in another domain. The PC that audits
// has Outlook 2016 and a profile of its own that no audited user gets.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "../common/slapd_server.h"
#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSuffix = "dc=firma,dc=test";
constexpr const char* kReader = "cn=reader,ou=Dienste,dc=firma,dc=test";
constexpr const char* kPassword = "Lese-Passwort1";
constexpr const char* kDay = "/DATE:2026-12-24";

/// One of the staff: the database row (number, name, first and last name,
/// phone) and, unless absent, the directory entry below ou=Leute (the city,
/// the address first.last@firma.test unless told otherwise, more lines).
struct Person {
  const char* user;
  const char* first;
  const char* last;
  const char* phone;
  const char* city;
  std::string ldif = {};  // further lines of the entry
  bool inDirectory = true;
  bool hasAddress = true;
};

const std::vector<Person> kStaff = {
    {"aberg", "Anna", "Berg", "+49 30 5550-101", "Berlin"},
    {"bkeller", "Bernd", "Keller", "+49 30 5550-102", "Berlin"},
    {"chef", "Clara", "Chef", "+49 30 5550-100", "Berlin"},
    {"dfischer", "Dora", "Fischer", "+49 40 5550-104", "Hamburg"},
    {"assist", "Ida", "Assmann", "+49 30 5550-105", "Berlin",
     "msExchDelegateListBL: cn=Team Vertrieb,ou=Postfaecher,dc=firma,dc=test\n"},
    {"ehahn", "Emil", "Hahn", "+49 221 5550-106", "Köln"},
    {"fern", "Frieda", "Fernau", "+49 89 7770-107", "München",
     "manager: cn=Chefin,ou=Filiale,dc=firma,dc=test\n"},
    {"gkraus", "Gustav", "Kraus", "+49 30 5550-108", "Berlin"},
    {"geist", "Gerd", "Geist", "+49 30 5550-109", "Berlin", "", false},
    {"hlang", "Hanna", "Lang", "+49 30 5550-110", "Berlin"},
    {"ohnetel", "Otto", "Nett", "", "Berlin"},
    {"ijung", "Ines", "Jung", "+49 30 5550-112", "Berlin"},
    {"ohnemail", "Olga", "Mailer", "+49 30 5550-113", "Berlin", "", true, false},
    {"kwolf", "Karl", "Wolf", "+49 30 5550-114", "Berlin",
     "manager: cn=Clara Chef,ou=Leute,dc=firma,dc=test\n"},
    {"lmeier", "Lena", "Meier", "+49 30 5550-115", "Berlin"},
    {"mnowak", "Marek", "Nowak", "+49 30 5550-116", "Berlin"},
    {"nschulz", "Nina", "Schulz", "+49 40 5550-117", "Hamburg"},
    {"opeters", "Oskar", "Peters", "+49 30 5550-118", "Berlin"},
    {"prichter", "Paula", "Richter", "+49 30 5550-119", "Berlin"},
    {"qbauer", "Quirin", "Bauer", "+49 89 7770-120", "München"},
    {"rsommer", "Rita", "Sommer", "+49 30 5550-121", "Berlin"},
    {"sweber", "Sven", "Weber", "+49 30 5550-122", "Berlin"},
    {"tvogel", "Tina", "Vogel", "+49 30 5550-123", "Berlin"},
    {"uhoff", "Udo", "Hoffmann", "+49 30 5550-124", "Berlin"},
    {"vklein", "Vera", "Klein", "+49 30 5550-125", "Berlin"},
    {"wkoch", "Willi", "Koch", "+49 221 5550-126", "Köln"},
    {"xbraun", "Xenia", "Braun", "+49 30 5550-127", "Berlin"},
    {"yzimmer", "Yannick", "Zimmer", "+49 30 5550-128", "Berlin"},
    {"zkrause", "Zoe", "Krause", "+49 30 5550-129", "Berlin"},
    {"abrandt", "Anton", "Brandt", "+49 30 5550-130", "Berlin"},
};

/// The temps below ou=Aushilfen: aushilfe001 ... aushilfe120, more than the 99
/// entries of one page.
constexpr int kTemps = 120;
std::string Temp(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "aushilfe%03d", number);
  return name;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Address(const Person& p) {
  return Lower(p.first) + "." + Lower(p.last) + "@firma.test";
}

/// slapd with the company's directory: the schema of the other suites, the
/// structure of audit.ldif and the staff.
class CompanyDirectory : public LoopbackServer {
 public:
  explicit CompanyDirectory(const fs::path& parent) : LoopbackServer(parent, "slapd-firma") {
    const fs::path fixtures = SourceDir() / "tests" / "fixtures" / "ldap";
    fs::create_directory(folder_ / "db");
    std::ofstream(folder_ / "slapd.conf")
        << "include " + (fixtures / "ad-user.schema").string() +
               "\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\n"
               "access to dn.base=\"\" by * read\naccess to dn.base=\"cn=Subschema\" by * read\n"
               "database mdb\nsuffix \"" +
               kSuffix + "\"\ndirectory " + (folder_ / "db").string() +
               "\n"
               "access to attrs=userPassword by anonymous auth by * none\n"
               "access to dn.subtree=\"" +
               kSuffix +
               "\" filter=(objectClass=person) by users read by * none\n"
               "access to * by * read\n";
    std::ofstream people(folder_ / "leute.ldif");
    for (const Person& p : kStaff) {
      if (!p.inDirectory) continue;
      const std::string cn = std::string(p.first) + " " + p.last;
      people << "dn: cn=" << cn << ",ou=Leute," << kSuffix << "\nobjectClass: user\n"
             << "objectCategory: person\ncn: " << cn << "\nsAMAccountName: " << p.user
             << "\nsn: " << p.last << "\nl: " << p.city << "\n"
             << (p.hasAddress ? "mail: " + Address(p) + "\n" : "") << p.ldif << "\n";
    }
    for (int i = 1; i <= kTemps; ++i) {
      people << "dn: cn=" << Temp(i) << ",ou=Aushilfen," << kSuffix
             << "\nobjectClass: user\nobjectCategory: person\ncn: " << Temp(i)
             << "\nsAMAccountName: " << Temp(i) << "\nsn: Aushilfe " << i << "\n\n";
    }
    people.close();
    Shell("/usr/sbin/slapadd -q -f slapd.conf -l '" + (fixtures / "audit.ldif").string() +
          "' && /usr/sbin/slapadd -q -f slapd.conf -l leute.ldif");
    // Statistics (256) in the log: a line for every connection it takes.
    Start({"/usr/sbin/slapd", "-d", "256", "-h", Uri(), "-f", (folder_ / "slapd.conf").string()});
  }
  std::string Uri() const { return "ldap://" + Server() + "/"; }
  /// How many connections it has taken so far.
  int Connections() const {
    const std::string log = ReadFile(folder_ / "server.log");
    int count = 0;
    for (size_t at = 0; (at = log.find(" ACCEPT from ", at)) != std::string::npos; ++at) ++count;
    return count;
  }
  pid_t pid() const { return server_->pid(); }
};

/// The server stopped (SIGSTOP) for the guard's life: connections are taken by
/// the kernel, nothing is answered. It goes on (SIGCONT) whatever the test did.
class StoppedServer {
 public:
  explicit StoppedServer(pid_t pid) : pid_(pid) { ::kill(pid_, SIGSTOP); }
  ~StoppedServer() { ::kill(pid_, SIGCONT); }
  StoppedServer(const StoppedServer&) = delete;
  StoppedServer& operator=(const StoppedServer&) = delete;

 private:
  pid_t pid_;
};

/// A text as an SQL literal ('' around it; a control character through char()).
std::string Sql(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "''";
    else if (static_cast<unsigned char>(c) < ' ')
      out += "' || char(" + std::to_string(int(c)) + ") || '";
    else
      out += c;
  }
  return out + "'";
}

/// The fields of RFC 4180 text (CR LF between records, quoted fields with "" for ").
std::vector<std::vector<std::string>> ParseCsv(std::string_view text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string& field = rows.back().back();
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
      else if (c == '"')
        quoted = false;
      else
        field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      field += c;
    }
  }
  if (rows.back() == std::vector<std::string>(1)) rows.pop_back();
  return rows;
}

/// Text of markup: tags dropped, the usual entities read.
std::string TextOf(std::string html) {
  html = std::regex_replace(html, std::regex("<[^>]*>"), "");
  for (const auto& [entity, c] : {std::pair{"&lt;", "<"},
                                  {"&gt;", ">"},
                                  {"&quot;", "\""},
                                  {"&#39;", "'"},
                                  {"&nbsp;", " "},
                                  {"&amp;", "&"}})
    html = std::regex_replace(html, std::regex(entity), c);
  return html;
}

/// A link as a browser follows it below the page's folder: the path before a
/// query or a fragment, %XX read as a byte.
std::string Unescaped(std::string href) {
  href = href.substr(0, href.find_first_of("?#"));
  std::string out;
  for (size_t i = 0; i < href.size(); ++i) {
    if (href[i] == '%' && i + 2 < href.size() &&
        std::isxdigit(static_cast<unsigned char>(href[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(href[i + 2]))) {
      out += static_cast<char>(std::stoi(href.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += href[i];
    }
  }
  return out;
}

/// The table rows of a page as Chromium builds it: the text of each cell, and
/// the href of the row's first link ("" for none).
struct PageRow {
  std::vector<std::string> cells;
  std::string href;
};
std::vector<PageRow> PageRows(const std::string& dom) {
  std::vector<PageRow> rows;
  static const std::regex tr(R"(<tr[^>]*>([\s\S]*?)</tr>)"),
      td(R"(<t[dh][^>]*>([\s\S]*?)</t[dh]>)"), a(R"(<a [^>]*href="([^"]*)\")");
  for (std::sregex_iterator r(dom.begin(), dom.end(), tr), end; r != end; ++r) {
    const std::string inner = (*r)[1];
    PageRow row;
    for (std::sregex_iterator c(inner.begin(), inner.end(), td); c != end; ++c)
      row.cells.push_back(TextOf((*c)[1]));
    std::smatch link;
    if (std::regex_search(inner, link, a)) row.href = TextOf(link[1]);
    rows.push_back(std::move(row));
  }
  return rows;
}

const std::string kOffice16 = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook";
const std::string kAccounts = kOffice16 + "\\Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676";

/// An Outlook 2016 PC whose default profile "Outlook" holds accounts
/// 00000001, 00000002, ... named by these addresses.
std::string Outlook2016(const std::vector<std::string>& addresses) {
  std::string list, keys;
  for (size_t i = 0; i < addresses.size(); ++i) {
    char key[9];
    std::snprintf(key, sizeof key, "%08X", static_cast<unsigned>(i + 1));
    list += std::string(list.empty() ? "" : ",") + "00,00,00," + std::string(key + 6, 2);
    keys += "[" + kAccounts + "\\" + key + "]\r\n\"Account Name\"=\"" + addresses[i] + "\"\r\n\r\n";
  }
  return "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.16\"\r\n\r\n[" +
         kOffice16 + "]\r\n\"DefaultProfile\"=\"Outlook\"\r\n\r\n[" + kAccounts + "]\r\n" +
         "\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:" + list + "\r\n" + "\r\n" + keys;
}

const std::string kHeader =
    "Benutzer,Name,Ergebnis,Signaturtypen,Antwort-Signaturtypen,Ziele,Antwort-Ziele,Regeln,Postfächer,"
    "Leere Felder,Warnungen,Ordner";
const std::string kGeist = "Fehler 999: Benutzer 'geist' im Active-Directory nicht gefunden!";

/// What audit.csv says about the company, row by row (the header first).
const std::vector<std::string> kCompanyCsv = {
    kHeader,
    "aberg,Anna Berg,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (anna.berg@firma.test),anna.berg@firma.test,,,aberg",
    "bkeller,Bernd Keller,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (bernd.keller@firma.test),bernd.keller@firma.test,,,bkeller",
    "chef,Clara Chef,OK,leitung,weihnacht,leitung,weihnacht,Rule1; Rule2; Rule1 (clara.chef@firma.test); Rule2 (clara.chef@firma.test),clara.chef@firma.test,,,chef",
    "dfischer,Dora Fischer,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (dora.fischer@firma.test),dora.fischer@firma.test,,,dfischer",
    "assist,Ida Assmann,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (ida.assmann@firma.test); Rule2 (vertrieb@firma.test),ida.assmann@firma.test; vertrieb@firma.test,,,assist",
    "ehahn,Emil Hahn,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (emil.hahn@firma.test),emil.hahn@firma.test,,,ehahn",
    "fern,Frieda Fernau,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (frieda.fernau@firma.test),frieda.fernau@firma.test,,,fern",
    "gkraus,Gustav Kraus,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (gustav.kraus@firma.test),gustav.kraus@firma.test,,,gkraus",
    // A run that failed has no warnings: its error says enough.
    "geist,Gerd Geist," + kGeist + ",,,,,,,,,geist",
    "hlang,Hanna Lang,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (hanna.lang@firma.test),hanna.lang@firma.test,,,hlang",
    "ohnetel,Otto Nett,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (otto.nett@firma.test),otto.nett@firma.test,Phone,Pflichtfeld 'Phone' ist leer,ohnetel",
    "ijung,Ines Jung,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (ines.jung@firma.test),ines.jung@firma.test,,,ijung",
    "ohnemail,Olga Mailer,OK,standard,weihnacht,standard,weihnacht,Rule2,,EMail,Pflichtfeld 'EMail' ist leer,ohnemail",
    "kwolf,Karl Wolf,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (karl.wolf@firma.test),karl.wolf@firma.test,,,kwolf",
    "lmeier,Lena Meier,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (lena.meier@firma.test),lena.meier@firma.test,,,lmeier",
    "mnowak,Marek Nowak,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (marek.nowak@firma.test),marek.nowak@firma.test,,,mnowak",
    "nschulz,Nina Schulz,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (nina.schulz@firma.test),nina.schulz@firma.test,,,nschulz",
    "opeters,Oskar Peters,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (oskar.peters@firma.test),oskar.peters@firma.test,,,opeters",
    "prichter,Paula Richter,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (paula.richter@firma.test),paula.richter@firma.test,,,prichter",
    "qbauer,Quirin Bauer,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (quirin.bauer@firma.test),quirin.bauer@firma.test,,,qbauer",
    "rsommer,Rita Sommer,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (rita.sommer@firma.test),rita.sommer@firma.test,,,rsommer",
    "sweber,Sven Weber,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (sven.weber@firma.test),sven.weber@firma.test,,,sweber",
    "tvogel,Tina Vogel,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (tina.vogel@firma.test),tina.vogel@firma.test,,,tvogel",
    "uhoff,Udo Hoffmann,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (udo.hoffmann@firma.test),udo.hoffmann@firma.test,,,uhoff",
    "vklein,Vera Klein,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (vera.klein@firma.test),vera.klein@firma.test,,,vklein",
    "wkoch,Willi Koch,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (willi.koch@firma.test),willi.koch@firma.test,,,wkoch",
    "xbraun,Xenia Braun,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (xenia.braun@firma.test),xenia.braun@firma.test,,,xbraun",
    "yzimmer,Yannick Zimmer,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (yannick.zimmer@firma.test),yannick.zimmer@firma.test,,,yzimmer",
    "zkrause,Zoe Krause,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (zoe.krause@firma.test),zoe.krause@firma.test,,,zkrause",
    "abrandt,Anton Brandt,OK,standard,weihnacht,standard,weihnacht,Rule2; Rule2 (anton.brandt@firma.test),anton.brandt@firma.test,,,abrandt",
};

class Audit : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    if (!server_) server_ = std::make_unique<CompanyDirectory>(QM_TEST_TMP);
    sb_.Templates("standard",
                  Ansi("@FIRSTNAME@ @LASTNAME@\r\nTel. @PHONE@\r\n@EMAIL@, @CITY@\r\n"));
    sb_.Templates("leitung", "@FIRSTNAME@ @LASTNAME@, Leitung\r\nTel. @PHONE@\r\n");
    sb_.Templates("antwort", Ansi("Gruß, @FIRSTNAME@\r\n"));
    sb_.Templates("weihnacht", "Frohe Weihnachten, @FIRSTNAME@\r\n");
    sb_.Write("cfg/Vorlagen/standard_logo.gif", "GIF89a standard");
    sb_.Write("cfg/Vorlagen/leitung_logo.gif", "GIF89a leitung");
    std::string sql =
        "CREATE TABLE Benutzer (Nr integer, Benutzername text, Vorname text, Nachname text, "
        "Telefon text);\n";
    for (size_t i = 0; i < kStaff.size(); ++i) {
      const Person& p = kStaff[i];
      sql += "INSERT INTO Benutzer VALUES (" + std::to_string(i + 1) + ", " + Sql(p.user) + ", " +
             Sql(p.first) + ", " + Sql(p.last) + ", " + Sql(p.phone) + ");\n";
    }
    sb_.Sqlite("daten/firma.db", sql);
    // The PC's own Outlook profile, which no audited user has.
    sb_.SeedRegistry(Outlook2016({"pc.admin@firma.test"}));
  }
  static void TearDownTestSuite() { server_.reset(); }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// The company's configuration: the database lists the staff and gives
  /// names and phones, the directory addresses and cities; a rule for the
  /// group Leitung, one for Christmas; `main` adds keys to [Main] (the first
  /// of a duplicate key counts).
  void Configure(const std::string& main = "") const {
    sb_.Configure(
        main +
            "AuditSelect=SELECT Benutzername FROM Benutzer ORDER BY Nr\r\nAuditRequire= phone ,EMail\r\n"
            "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
            sb_.Win("daten/firma.db") +
            "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n"
            "LDAPBaseObjectDN=" +
            (Linux() ? "" : server_->Server() + "/") + kSuffix +
            "\r\nLDAPReaderAccountName=" + kReader + "\r\nLDAPReaderAccountPassword=" + kPassword +
            "\r\nFixedSignType=standard\r\nFixedSignTypeReply=antwort\r\nMailboxSignatures=1\r\n"
            "ManagerData=1\r\nModernOutlook=1\r\nSetForAllEMailAccounts=1\r\n",
        "FirstName=Vorname\r\nLastName=Nachname\r\nPhone=Telefon\r\nEMail=*mail\r\nCity=*l\r\n"
        "[Rule1]\r\nMemberOf=Leitung\r\nSignType=leitung\r\n"
        "[Rule2]\r\nFrom=2026-12-24\r\nUntil=2026-12-26\r\nSignTypeReply=weihnacht\r\n");
  }

  /// A configuration of the directory alone, without a list query: the
  /// shared mailbox's OU, the staff's, the temps'.
  void ConfigureDirectoryList() const {
    const std::string server = Linux() ? "" : server_->Server() + "/";
    sb_.Configure("LDAPBaseObjectDN=" + server + "ou=Postfaecher," + kSuffix + ";" + server +
                      "ou=Leute," + kSuffix + ";" + server + "ou=Aushilfen," + kSuffix +
                      "\r\nLDAPReaderAccountName=" + kReader + "\r\nLDAPReaderAccountPassword=" +
                      kPassword + "\r\nFixedSignType=weihnacht\r\n",
                  "FirstName=*sn\r\nEMail=*mail\r\n");
  }
  /// Whom that directory names, in order.
  static std::vector<std::string> StaffInDirectoryOrder() {
    std::vector<std::string> names = {"teamvertrieb"};
    for (const Person& p : kStaff) {
      if (p.inDirectory) names.push_back(p.user);
    }
    for (int i = 1; i <= kTemps; ++i) names.push_back(Temp(i));
    return names;
  }

  /// The environment of a run: the directory's URI on linux (under Wine the
  /// bases name the server), the application-data folder.
  Env RunEnv(Env env = {}) const {
    if (Linux()) {
      env.emplace("LDAPURI", server_->Uri());
      env.emplace("LDAPCONF", "/dev/null");
      env.emplace("LDAPRC", "quillmark-test-none");
    }
    env.emplace("QM_APPDATA", sb_.Win("app"));
    return env;
  }

  /// /AUDIT of cfg/site.ini into folder with the further arguments; what it
  /// printed as UTF-8 with LF line ends.
  std::string RunAudit(const std::string& folder, const std::string& args = kDay,
                       int timeoutSeconds = 120) {
    result_ = sb_.Run("/INI:" + sb_.Win("cfg/site.ini") + " /AUDIT:" + folder + " " + args,
                      RunEnv(), timeoutSeconds);
    EXPECT_FALSE(result_.timedOut) << result_.output;
    const std::string text = Linux() ? result_.output : Convert(result_.output, "CP850", "UTF-8");
    return std::regex_replace(text, std::regex("\r\n"), "\n");
  }

  /// The exit status of the user's own preview into folder with /DEBUG:LOG
  /// (its log cfg/run.log). Wine sets USERNAME from the Unix account; the
  /// probe starts the windows build with the user's name in it.
  int Preview(const std::string& user, const std::string& folder) const {
    fs::remove(sb_.Path("cfg/run.log"));
    const std::string ini = "/INI:" + sb_.Win("cfg/site.ini");
    if (Linux())
      return sb_
          .Run(ini + " /DEBUG:LOG /SIMULATE:" + folder + " " + kDay, RunEnv({{"USERNAME", user}}))
          .exitCode;
    std::string hex;
    for (unsigned char c : user) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return sb_
        .Probe({"run-with", "USERNAME", hex, "--", sb_.WinPath(WindowsExe(GetParam())), ini,
                "/DEBUG:LOG", "/SIMULATE:" + folder, kDay},
               RunEnv())
        .exitCode;
  }

  /// The sandbox outside the audit folder, without Wine's and the desktop's
  /// home and the registry file.
  Tree Outside(const std::string& folder) const {
    Tree tree = ReadTree(sb_.root());
    std::erase_if(tree, [&folder](const auto& entry) {
      const std::string& path = entry.first;
      return path.starts_with(folder) || path.starts_with("home/") || path == "registry.reg" ||
             path == "export.reg" || path.starts_with("chromium");
    });
    return tree;
  }

  static inline std::unique_ptr<CompanyDirectory> server_;
  Sandbox sb_{GetParam()};
  RunResult result_;
};

TEST_P(Audit, TheCompanyOnOnePage) {
  Configure();
  const std::string registry = sb_.RegistryBytes();
  const Tree outside = Outside("pruefung");
  const int connections = server_->Connections();
  const std::string printed = RunAudit(sb_.Win("pruefung"));
  EXPECT_EQ(result_.exitCode, 1) << printed;  // one user's run fails
  // One directory connection for everybody, their groups, managers and mailboxes.
  EXPECT_EQ(server_->Connections() - connections, 1);
  EXPECT_EQ(printed, "Benutzer: 30, ohne Fehler: 29, mit Fehlern: 1, mit Warnungen: 2\n  1 x " +
                         kGeist + "\nÜbersicht: " + sb_.Win("pruefung") + "\\index.htm\n");

  std::string csv = "\xEF\xBB\xBF";
  for (const std::string& row : kCompanyCsv) csv += row + "\r\n";
  EXPECT_EQ(sb_.Read("pruefung/audit.csv"), csv);
  // Nothing outside the folder: no log beside the configuration, no registry
  // value, nothing in the application-data folder.
  EXPECT_EQ(Outside("pruefung"), outside);
  EXPECT_EQ(sb_.RegistryBytes(), registry);

  // A folder per user, and nothing else beside the page and the CSV.
  std::set<std::string> entries, expected = {"audit.csv", "index.htm"};
  for (const auto& e : fs::directory_iterator(sb_.Path("pruefung")))
    entries.insert(e.path().filename().string());
  for (const Person& p : kStaff) expected.insert(p.user);
  EXPECT_EQ(entries, expected);
  // Each user's own preview: the signatures in their names, the mailbox's set
  // beside the user's own, the log.
  const Tree assist = ReadTree(sb_.Path("pruefung/assist"));
  for (const char* file :
       {"standard.htm", "standard.rtf", "standard.txt", "standard_logo.gif", "weihnacht.txt",
        "standard (ida.assmann@firma.test).txt", "standard (vertrieb@firma.test).txt",
        "weihnacht (vertrieb@firma.test).txt", "registry.reg", "index.htm", "Quillmark.log"}) {
    EXPECT_TRUE(assist.contains(file)) << file;
  }
  EXPECT_EQ(sb_.Read("pruefung/chef/leitung.txt"),
            "Clara Chef, Leitung\r\nTel. +49 30 5550-100\r\n");
  EXPECT_EQ(sb_.Read("pruefung/chef/leitung_logo.gif"), "GIF89a leitung");
  EXPECT_EQ(Convert(sb_.Read("pruefung/ehahn/standard.txt"), "WINDOWS-1252", "UTF-8"),
            "Emil Hahn\r\nTel. +49 221 5550-106\r\nemil.hahn@firma.test, Köln\r\n");
  EXPECT_EQ(sb_.Read("pruefung/ohnetel/standard.txt"),
            "Otto Nett\r\nTel. \r\notto.nett@firma.test, Berlin\r\n");
  const std::string fern = MaskTimestamps(sb_.Read("pruefung/fern/Quillmark.log"));
  EXPECT_NE(
      fern.find(
          "TS AD -> ...Vorgesetzter nicht gefunden: cn=Chefin,ou=Filiale,dc=firma,dc=test\r\n"),
      std::string::npos)
      << fern;
  EXPECT_NE(MaskTimestamps(sb_.Read("pruefung/geist/Quillmark.log")).find("TS " + kGeist + "\r\n"),
            std::string::npos);

  // The page as a browser shows it: the summary, and each user's row with the
  // CSV's fields and a link to that user's folder.
  const std::string html = sb_.Read("pruefung/index.htm");
  EXPECT_EQ(html.find("<script"), std::string::npos);
  // Nothing from outside the folder: every link and source a path below it.
  const std::regex link(R"((?:src|href)="([^"]*)\")");
  for (std::sregex_iterator it(html.begin(), html.end(), link), end; it != end; ++it) {
    EXPECT_EQ((*it)[1].str().find(':'), std::string::npos) << (*it)[1];
    EXPECT_FALSE((*it)[1].str().starts_with("/")) << (*it)[1];
  }
  const std::string dom = Chromium(sb_.Path("pruefung/index.htm"), sb_.Path("chromium"));
  EXPECT_NE(dom.find(kGeist), std::string::npos) << dom;
  const std::vector<PageRow> rows = PageRows(dom);
  const std::vector<std::vector<std::string>> fields = ParseCsv(csv.substr(3));
  // The summary, the errors by their text with a count, the columns.
  for (const std::vector<std::string>& cells : {std::vector<std::string>{"Benutzer", "30"},
                                                {"ohne Fehler", "29"},
                                                {"mit Fehlern", "1"},
                                                {"mit Warnungen", "2"},
                                                {"1", kGeist},
                                                fields[0]}) {
    EXPECT_TRUE(
        std::any_of(rows.begin(), rows.end(), [&](const PageRow& r) { return r.cells == cells; }))
        << cells[0] << "\n"
        << dom;
  }
  ASSERT_EQ(fields.size(), kCompanyCsv.size());
  for (size_t i = 1; i < fields.size(); ++i) {
    SCOPED_TRACE(fields[i][0]);
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const PageRow& r) {
      return !r.cells.empty() && r.cells[0] == fields[i][0] && !r.href.empty();
    });
    ASSERT_NE(row, rows.end()) << dom;
    ASSERT_GE(row->cells.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(row->cells.begin(), row->cells.begin() + 11),
              std::vector<std::string>(fields[i].begin(), fields[i].begin() + 11));
    // A run that ends with an error writes no preview page (as /SIMULATE):
    // its row links to the user's log.
    EXPECT_EQ(Unescaped(row->href), fields[i][11] + (fields[i][2] == "OK" ? "/index.htm" : "/Quillmark.log"));
    EXPECT_TRUE(fs::is_regular_file(sb_.Path("pruefung/" + Unescaped(row->href))));
    EXPECT_EQ(fs::is_regular_file(sb_.Path("pruefung/" + fields[i][11] + "/index.htm")), fields[i][2] == "OK");
  }
}

// Each user's folder is that user's own preview on a PC whose profile holds
// that user's accounts: the same files byte for byte, the same log but for its
// own path.
TEST_P(Audit, EachUserAsTheirOwnLogonWouldRun) {
  Configure();
  RunAudit(sb_.Win("pruefung"));
  EXPECT_EQ(result_.exitCode, 1) << result_.output;
  const struct {
    const char* user;
    std::vector<std::string> accounts;
  } users[] = {
      {"chef", {"clara.chef@firma.test"}},
      {"assist", {"ida.assmann@firma.test", "vertrieb@firma.test"}},
      {"fern", {"frieda.fernau@firma.test"}},
      {"geist", {}},
  };
  for (const auto& u : users) {
    SCOPED_TRACE(u.user);
    const std::string dir = std::string("pruefung/") + u.user;
    ASSERT_TRUE(fs::is_directory(sb_.Path(dir)));
    fs::rename(sb_.Path(dir), sb_.Path(std::string("geprueft-") + u.user));
    Tree audited = ReadTree(sb_.Path(std::string("geprueft-") + u.user));
    ASSERT_TRUE(audited.contains("Quillmark.log"));
    const std::string auditLog = MaskTimestamps(audited["Quillmark.log"]);
    audited.erase("Quillmark.log");

    sb_.SeedRegistry(Outlook2016(u.accounts));
    EXPECT_EQ(Preview(u.user, sb_.Win(dir)), std::string(u.user) == "geist" ? 1 : 0) << sb_.Log();
    Tree previewed = ReadTree(sb_.Path(dir));
    // The preview page names the time of its run.
    for (Tree* tree : {&audited, &previewed}) {
      if (tree->contains("index.htm")) (*tree)["index.htm"] = MaskTimestamps((*tree)["index.htm"]);
    }
    EXPECT_EQ(audited, previewed);
    EXPECT_TRUE(audited.contains("registry.reg"));
    // The two logs name their own files.
    const std::string logLine = "TS ...Log-Datei: ";
    const auto masked = [&logLine](std::string log) {
      const size_t at = log.find(logLine);
      if (at != std::string::npos)
        log.erase(at + logLine.size(), log.find("\r\n", at) - at - logLine.size());
      return log;
    };
    EXPECT_EQ(masked(auditLog), masked(sb_.Log()));
    EXPECT_NE(auditLog.find(logLine + sb_.Win(dir) + "\\Quillmark.log\r\n"), std::string::npos)
        << auditLog;
  }
}

// The windows build audits as the linux build does: from the windows row, the
// linux build audits the same configuration (it reads Z:\ as the root) on a
// registry file of the same keys. The same files byte for byte; the logs and
// the preview pages the same but for the paths and times they name.
TEST_P(Audit, BothBuildsWriteTheSameFolders) {
  if (Linux()) GTEST_SKIP() << "the windows row runs both builds";
  Configure();
  const std::string printed = RunAudit(sb_.Win("windows"));
  EXPECT_EQ(result_.exitCode, 1) << printed;
  sb_.Write("registry.reg", Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n" +
                                    Outlook2016({"pc.admin@firma.test"})));
  Env env{{"LANG", "de_DE.UTF-8"},
          {"HOME", sb_.Path("home").string()},
          {"XDG_CONFIG_HOME", sb_.Path("home/.config").string()},
          {"XDG_DATA_HOME", sb_.Path("home/.local/share").string()},
          {"USERNAME", "tester"},
          {"QUILLMARK_REGISTRY", sb_.Path("registry.reg").string()},
          {"QM_APPDATA", sb_.Win("app")},
          {"LDAPCONF", "/dev/null"},
          {"LDAPRC", "quillmark-test-none"}};
  if (const char* path = std::getenv("PATH")) env["PATH"] = path;
  const RunResult linux =
      Exec({QM_LINUX_EXE, "/INI:" + sb_.Win("cfg/site.ini"), "/AUDIT:" + sb_.Win("linux"), kDay},
           env, 120, sb_.root());
  EXPECT_EQ(linux.exitCode, 1) << linux.output;
  const auto normal = [this](std::string text, const std::string& folder) {
    text = MaskTimestamps(text);
    for (size_t at = 0; (at = text.find(sb_.Win(folder), at)) != std::string::npos;)
      text.replace(at, sb_.Win(folder).size(), "<Ordner>");
    for (size_t at = 0; (at = text.find("Z:\\", at)) != std::string::npos;) text.erase(at, 2);
    const std::string linuxFolder = sb_.Path(folder).string();
    std::string bare = linuxFolder;
    std::replace(bare.begin(), bare.end(), '/', '\\');
    for (size_t at = 0; (at = text.find(bare, at)) != std::string::npos;)
      text.replace(at, bare.size(), "<Ordner>");
    // The images of the template folder in the order of its listing, which
    // is the file system's (Wine's and Linux's differ): sorted here.
    std::istringstream in(text);
    std::vector<std::string> lines, images;
    for (std::string line; std::getline(in, line);) {
      const bool image = line.starts_with("TS -> ") && line.find(".gif") != std::string::npos;
      if (image) images.push_back(line);
      if (image && in.peek() != EOF) continue;
      std::sort(images.begin(), images.end());
      lines.insert(lines.end(), images.begin(), images.end());
      images.clear();
      if (!image) lines.push_back(line);
    }
    text.clear();
    for (const std::string& line : lines) text += line + "\n";
    return text;
  };
  EXPECT_EQ(normal(printed, "windows"), normal(linux.output, "linux"));
  Tree windows = ReadTree(sb_.Path("windows")), other = ReadTree(sb_.Path("linux"));
  ASSERT_EQ(windows.size(), other.size());
  for (auto& [path, bytes] : windows) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(other.contains(path));
    if (path.ends_with("/Quillmark.log") || path.ends_with("/index.htm")) {
      EXPECT_EQ(normal(bytes, "windows"), normal(other[path], "linux"));
    } else {
      EXPECT_EQ(bytes, other[path]);
    }
  }
}

// User names that are no folder names: each gets a folder of its own inside
// the audit folder, escaped as written here, and the page links to it.
TEST_P(Audit, HostileNames) {
  const auto Repeat = [](const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
  };
  const std::string umlauts = Repeat("ü", 60);
  const std::string x300(300, 'x'), cut = std::string(99, 'a') + "/" + std::string(200, 'b');
  const struct {
    std::string name, folder;
  } rows[] = {
      {"a\\b", "a%5Cb"},
      {"a/b", "a%2Fb"},
      {"c:d", "c%3Ad"},
      {"st*r", "st%2Ar"},
      {"wer?", "wer%3F"},
      {"\"zitat\"", "%22zitat%22"},
      {"<x>", "%3Cx%3E"},
      {"p|q", "p%7Cq"},
      {"100%", "100%25"},
      {"a,b", "a,b"},
      {"zeile\r\nzwei", "zeile%0D%0Azwei"},
      {"tab\there", "tab%09here"},
      {"Jörg", "J%C3%B6rg"},
      {"..", "%2E%2E"},
      {".", "%2E"},
      {"ende.", "ende%2E"},
      {"CON", "%43ON"},
      {"con.txt", "%63on.txt"},
      {"Lpt9", "%4Cpt9"},
      {"nul.tar.gz", "%6Eul.tar.gz"},
      {"COM10", "COM10"},
      {"Doppel", "Doppel"},
      {"a#b", "a#b"},
      {"x;y&z=1", "x;y&z=1"},
      {x300, std::string(100, 'x') + "~970138f5"},
      // 120 bytes in UTF-8, 360 escaped: cut after 33 escapes (in a letter's two)
      {umlauts, Repeat("%C3%BC", 16) + "%C3~1b078265"},
      // cut before an escape, never inside it
      {cut, std::string(99, 'a') + "~0f19d457"},
  };
  // Every name once more in other case after the list, and an empty name: neither is audited.
  std::string sql =
      "CREATE TABLE Benutzer (Nr integer, Benutzername text, Vorname text, Nachname text, Mail text);\n";
  int number = 0;
  for (const auto& row : rows) {
    sql += "INSERT INTO Benutzer VALUES (" + std::to_string(++number) + ", " + Sql(row.name) +
           ", 'Vor', 'Nach', 'post@firma.test');\n";
  }
  for (const char* again : {"DOPPEL", "con", "JÖRG"}) {
    sql += "INSERT INTO Benutzer VALUES (" + std::to_string(++number) + ", '" + again +
           "', 'Zweit', 'Nach', '');\n";
  }
  sql += "INSERT INTO Benutzer VALUES (" + std::to_string(++number) +
         ", '', 'Leer', 'Nach', '');\n";
  sb_.Sqlite("daten/namen.db", sql);
  sb_.Configure(
      "AuditSelect=SELECT Benutzername FROM Benutzer ORDER BY Nr\r\n"
      "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
          sb_.Win("daten/namen.db") +
          "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n"
          "FixedSignType=standard\r\nFixedSignTypeReply=antwort\r\n",
      "FirstName=Vorname\r\nLastName=Nachname\r\nEMail=Mail\r\n");
  const Tree outside = Outside("cfg/namen");
  // A folder without a backslash lies beside the configuration.
  const std::string printed = RunAudit("namen", "");
  EXPECT_EQ(result_.exitCode, 0) << printed;
  EXPECT_TRUE(printed.starts_with("Benutzer: " + std::to_string(std::size(rows)) +
                                  ", ohne Fehler: " + std::to_string(std::size(rows)) +
                                  ", mit Fehlern: 0, mit Warnungen: 0\n"))
      << printed;
  EXPECT_TRUE(printed.ends_with("Übersicht: " + sb_.Win("cfg/namen") + "\\index.htm\n")) << printed;
  EXPECT_EQ(Outside("cfg/namen"), outside);

  const std::string csv = sb_.Read("cfg/namen/audit.csv");
  ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF")) << csv;
  const auto fields = ParseCsv(csv.substr(3));
  ASSERT_EQ(fields.size(), std::size(rows) + 1) << csv;
  std::set<std::string> entries, expected = {"audit.csv", "index.htm"};
  for (const auto& e : fs::directory_iterator(sb_.Path("cfg/namen")))
    entries.insert(e.path().filename().string());
  const std::string dom = Chromium(sb_.Path("cfg/namen/index.htm"), sb_.Path("chromium"));
  const std::vector<PageRow> page = PageRows(dom);
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto& row = rows[i];
    SCOPED_TRACE(row.folder);
    expected.insert(row.folder);
    ASSERT_EQ(fields[i + 1].size(), 12u);
    EXPECT_EQ(fields[i + 1][0], row.name);
    EXPECT_EQ(fields[i + 1][1], "Vor Nach");  // the first spelling's row
    EXPECT_EQ(fields[i + 1][2], "OK");
    EXPECT_EQ(fields[i + 1][11], row.folder);
    EXPECT_EQ(sb_.Read("cfg/namen/" + row.folder + "/standard.txt"),
              "Vor Nach\r\nTel. \r\npost@firma.test, \r\n");
    EXPECT_TRUE(sb_.Exists("cfg/namen/" + row.folder + "/Quillmark.log"));
    // HTML reads a line end in the text as LF.
    const auto link = std::find_if(page.begin(), page.end(), [&](const PageRow& r) {
      return !r.cells.empty() &&
             r.cells[0] == std::regex_replace(row.name, std::regex("\r\n?"), "\n") &&
             !r.href.empty();
    });
    ASSERT_NE(link, page.end()) << dom;
    EXPECT_EQ(Unescaped(link->href), row.folder + "/index.htm");
  }
  EXPECT_EQ(entries, expected);
}

// Without a list query the directory names the staff: every entry the user
// filter finds below each base, bases in order, entries in the server's order,
// page after page.
TEST_P(Audit, TheDirectoryNamesTheStaff) {
  ConfigureDirectoryList();
  const int connections = server_->Connections();
  const std::string printed = RunAudit(sb_.Win("pruefung"), "");
  // One directory connection for the list and all 150 users.
  EXPECT_EQ(server_->Connections() - connections, 1);
  const std::vector<std::string> expected = StaffInDirectoryOrder();
  EXPECT_EQ(result_.exitCode, 0) << printed;
  EXPECT_EQ(printed,
            "Benutzer: 150, ohne Fehler: 150, mit Fehlern: 0, mit Warnungen: 0\nÜbersicht: " +
                sb_.Win("pruefung") + "\\index.htm\n");
  std::vector<std::string> listed;
  const auto fields = ParseCsv(sb_.Read("pruefung/audit.csv").substr(3));
  for (size_t i = 1; i < fields.size(); ++i) listed.push_back(fields[i][0]);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(sb_.Read("pruefung/aushilfe120/weihnacht.txt"), "Frohe Weihnachten, Aushilfe 120\r\n");
  EXPECT_EQ(sb_.Read("pruefung/teamvertrieb/weihnacht.txt"),
            "Frohe Weihnachten, Team Vertrieb\r\n");
}

// A disk that fills up mid-audit: the file system's error, and the CSV and
// the summary of the users done, each of them with their whole folder.
TEST_P(Audit, ADiskThatFillsUp) {
  ConfigureDirectoryList();
  Mount disk = Mount::SmallDisk(sb_.MakeDir("klein"), 256);
  REQUIRE_MOUNT(disk);
  const std::string printed = RunAudit(sb_.Win("klein\\pruefung"), "");
  EXPECT_EQ(result_.exitCode, 1) << printed;
  const auto fields = ParseCsv(sb_.Read("klein/pruefung/audit.csv").substr(3));
  ASSERT_GE(fields.size(), 2u);
  const size_t done = fields.size() - 1;
  EXPECT_LT(done, 100u);
  const std::string count = std::to_string(done);
  EXPECT_EQ(printed, "Fehler 61: Datenträger voll\nBenutzer: " + count + ", ohne Fehler: " + count +
                         ", mit Fehlern: 0, mit Warnungen: 0\nÜbersicht: " +
                         sb_.Win("klein\\pruefung") + "\\index.htm\n");
  const std::vector<std::string> expected = StaffInDirectoryOrder();
  for (size_t i = 1; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i][0], expected[i - 1]);
    EXPECT_EQ(fields[i][2], "OK");
    EXPECT_TRUE(sb_.Exists("klein/pruefung/" + fields[i][11] + "/index.htm")) << fields[i][0];
  }
  // The page: a row and a link for each of them.
  const std::string dom = Chromium(sb_.Path("klein/pruefung/index.htm"), sb_.Path("chromium"));
  std::vector<std::string> linked;
  for (const PageRow& r : PageRows(dom)) {
    if (!r.href.empty()) linked.push_back(Unescaped(r.href));
  }
  ASSERT_EQ(linked.size(), done) << dom;
  for (size_t i = 0; i < done; ++i) EXPECT_EQ(linked[i], expected[i] + "/index.htm");
}

// The errors on standard output and on the page: grouped by their text, the
// most frequent first, then in text order. The database names each user's
// template; two are missing, one lacks its txt.
TEST_P(Audit, ErrorsByTheirText) {
  sb_.Write("cfg/Vorlagen/kaputt.htm", "kaputt");
  sb_.Write("cfg/Vorlagen/kaputt.rtf", "kaputt");
  sb_.Sqlite(
      "daten/team.db",
      "CREATE TABLE Team (Nr integer, Name text, Vorlage text);\n"
      "INSERT INTO Team VALUES (1, 'eins', 'standard'), (2, 'zwei', 'fehlt'), (3, 'drei', 'kaputt'), "
      "(4, 'vier', 'fehlt'), (5, 'fuenf', 'alt'), (6, 'sechs', '');\n");
  sb_.Configure(
      "AuditSelect=SELECT Name FROM Team ORDER BY Nr\r\nDatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;"
      "Data Source=" +
          sb_.Win("daten/team.db") +
          "\r\nUserSelect=SELECT * FROM Team WHERE Name = '%USERNAME%'\r\nFixedSignType=antwort\r\n",
      "FirstName=Name\r\nSignType=Vorlage\r\n");
  const std::string printed = RunAudit(sb_.Win("pruefung"), "");
  EXPECT_EQ(result_.exitCode, 1) << printed;
  const std::string missing = "Fehler 999: Fehlende Dateien für die Vorlage ";
  EXPECT_EQ(printed, "Benutzer: 6, ohne Fehler: 2, mit Fehlern: 4, mit Warnungen: 0\n  2 x " +
                         missing + "'fehlt'\n  1 x " + missing + "'alt'\n  1 x " + missing +
                         "'kaputt'\nÜbersicht: " + sb_.Win("pruefung") + "\\index.htm\n");
  const std::vector<PageRow> rows =
      PageRows(Chromium(sb_.Path("pruefung/index.htm"), sb_.Path("chromium")));
  std::vector<std::vector<std::string>> errors;
  for (const PageRow& r : rows) {
    if (r.cells.size() == 2 && r.cells[1].starts_with("Fehler ")) errors.push_back(r.cells);
  }
  EXPECT_EQ(errors, (std::vector<std::vector<std::string>>{{"2", missing + "'fehlt'"},
                                                           {"1", missing + "'alt'"},
                                                           {"1", missing + "'kaputt'"}}));
  const auto fields = ParseCsv(sb_.Read("pruefung/audit.csv").substr(3));
  ASSERT_EQ(fields.size(), 7u);
  EXPECT_EQ(fields[1][2], "OK");
  EXPECT_EQ(fields[3][2], missing + "'kaputt'");
  EXPECT_EQ(fields[6][2], "OK");  // no sign type of its own: FixedSignType's
  EXPECT_EQ(fields[6][3], "antwort");
}

// The Outlook of the audited PCs is this PC's; where it has none, 2016 with
// ModernOutlook=1 and none without (nothing registered). Anna Berg's profile
// holds her own address.
TEST_P(Audit, TheOutlookOfThisPc) {
  const std::string kReg = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string office16 =
      "[" + kAccounts +
      "\\00000001]\r\n\"New Signature\"=\"standard (anna.berg@firma.test)\"\r\n"
      "\"Reply-Forward Signature\"=\"weihnacht (anna.berg@firma.test)\"\r\n\r\n";
  const struct {
    const char* name;
    std::string pc, main, version, registry;  // registry: a part of registry.reg
  } rows[] = {
      {"Outlook 2016", Outlook2016({"pc.admin@firma.test"}), "", "2016", office16},
      {"no Outlook, ModernOutlook=1", "", "", "2016", office16},
      {"no Outlook", "", "ModernOutlook=0\r\n", "", ""},
      {"Outlook 2007",
       "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.12\"\r\n", "",
       "2007",
       "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
       "Subsystem\\Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676\\00000001]\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.SeedRegistry(row.pc);
    Configure(row.main + "AuditSelect=SELECT Benutzername FROM Benutzer WHERE Nr = 1\r\n");
    fs::remove_all(sb_.Path("pruefung"));
    const std::string printed = RunAudit(sb_.Win("pruefung"));
    EXPECT_EQ(result_.exitCode, 0) << printed;
    const std::string log = MaskTimestamps(sb_.Read("pruefung/aberg/Quillmark.log"));
    EXPECT_NE(log.find("TS ...Outlook-Version: " + row.version + "\r\n"), std::string::npos) << log;
    const std::string registry =
        qm::platform::text::Utf16LeToUtf8(sb_.Read("pruefung/aberg/registry.reg").substr(2));
    if (row.registry.empty()) {
      EXPECT_EQ(registry, kReg);
    } else {
      EXPECT_NE(registry.find(row.registry), std::string::npos) << registry;
    }
  }
}

// /CHECK knows the option and the audit's keys, and writes no audit.
TEST_P(Audit, CheckKnowsTheOption) {
  Configure();
  const std::string printed = RunAudit(sb_.Win("pruefung"), "/CHECK");
  // Neither the option nor its keys are unknown to it (the checking user is
  // no one of the staff: those findings are the check's own).
  for (const char* text : {"/AUDIT", "AuditSelect", "AuditRequire", "Unbekannt"})
    EXPECT_EQ(printed.find(text), std::string::npos) << text << "\n" << printed;
  EXPECT_NE(printed.find("Prüfung beendet: "), std::string::npos) << printed;
  EXPECT_FALSE(sb_.Exists("pruefung"));
}

// Input an audit cannot start with: refused before the first user, with
// nothing written.
TEST_P(Audit, RefusedBeforeTheFirstUser) {
  const std::string db =
      "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
      sb_.Win("daten/firma.db") +
      "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n"
      "FixedSignType=standard\r\n";
  const struct {
    const char* name;
    std::string main;
    std::vector<std::string> texts;  // each printed
  } rows[] = {
      {"neither a list query nor a directory",
       db,
       {"Fehler 999", "AuditSelect", "LDAPBaseObjectDN"}},
      {"a list query without rows",
       db + "AuditSelect=SELECT Benutzername FROM Benutzer WHERE Nr > 100\r\n",
       {"Fehler 999", "keine Benutzer"}},
      {"a list query the database refuses",
       db + "AuditSelect=SELECT Name FROM Mitarbeiter\r\n",
       {"Fehler -2147467259: ", "Mitarbeiter"}},
      {"a required field that is no field",
       db + "AuditSelect=SELECT Benutzername FROM Benutzer\r\nAuditRequire=Phone, Telefon\r\n",
       {"[Main] AuditRequire: 'Telefon' ist kein Feld der Benutzerdaten"}},
      {"a key that no run reads",
       db + "AuditSelect=SELECT Benutzername FROM Benutzer\r\nFixedSignTpye=kurz\r\n",
       {"[Main] FixedSignTpye: Unbekannter Schlüssel 'FixedSignTpye', ein Lauf liest ihn nicht; meinten Sie "
        "'FixedSignType'?"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.Configure(row.main, "FirstName=Vorname\r\nLastName=Nachname\r\n");
    const Tree outside = Outside("pruefung");
    const std::string printed = RunAudit(sb_.Win("pruefung"));
    EXPECT_EQ(result_.exitCode, 1) << printed;
    for (const std::string& text : row.texts)
      EXPECT_NE(printed.find(text), std::string::npos) << text << "\n" << printed;
    EXPECT_FALSE(sb_.Exists("pruefung"));
    EXPECT_EQ(Outside("pruefung"), outside);
  }
  // A folder that cannot be made: the file system's error, the file as it was.
  sb_.Configure(db + "AuditSelect=SELECT Benutzername FROM Benutzer\r\n",
                "FirstName=Vorname\r\nLastName=Nachname\r\n");
  sb_.Write("pruefung", "eine Datei");
  const std::string printed = RunAudit(sb_.Win("pruefung"));
  EXPECT_EQ(result_.exitCode, 1) << printed;
  EXPECT_EQ(printed, "Fehler 76: Pfad nicht gefunden\n");
  EXPECT_EQ(sb_.Read("pruefung"), "eine Datei");
}

// A directory that stops answering mid-audit costs one time limit for the
// whole audit: the user whose search meets it and everybody after carry the
// same error. The server is stopped once the seventh user's folder is there.
TEST_P(Audit, ADirectoryThatStopsAnswering) {
  ConfigureDirectoryList();
  const std::string error = Linux() ? "Fehler -2147023436: Timed out"
                                    : "Fehler -2147023436: Zeitüberschreitung";
  std::string printed;
  {
    auto audit =
        std::async(std::launch::async, [this] { return RunAudit(sb_.Win("pruefung"), "", 90); });
    // Looked for every millisecond: the audit does a user in a few.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!sb_.Exists("pruefung/ehahn") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(sb_.Exists("pruefung/ehahn"));
    const StoppedServer stopped(server_->pid());
    printed = audit.get();
  }
  EXPECT_EQ(result_.exitCode, 1) << printed;
  EXPECT_LT(result_.seconds, 60) << printed;
  const std::vector<std::string> expected = StaffInDirectoryOrder();
  const auto fields = ParseCsv(sb_.Read("pruefung/audit.csv").substr(3));
  ASSERT_EQ(fields.size(), expected.size() + 1);
  int ok = 0, marked = 0;
  for (size_t i = 1; i < fields.size(); ++i) {
    SCOPED_TRACE(fields[i][0]);
    EXPECT_EQ(fields[i][0], expected[i - 1]);
    // Those before the stop are done; those well after it end with the error.
    if (i <= 6) {
      EXPECT_EQ(fields[i][2], "OK");
    } else if (i > 60) {
      EXPECT_EQ(fields[i][2], error);
    }
    if (fields[i][2] == "OK") {
      ++ok;
      EXPECT_TRUE(sb_.Exists("pruefung/" + fields[i][0] + "/index.htm"));
    } else if (fields[i][11].empty()) {
      // Marked, not run: no folder, and none named.
      EXPECT_EQ(fields[i][2], error);
      EXPECT_FALSE(sb_.Exists("pruefung/" + fields[i][0]));
      ++marked;
    } else {
      // Only the user whose run met the time limit may have run, and logged it.
      EXPECT_EQ(fields[i][2], error);
      EXPECT_EQ(marked, 0);
      EXPECT_EQ(i, static_cast<size_t>(ok) + 1);
      EXPECT_NE(MaskTimestamps(sb_.Read("pruefung/" + fields[i][11] + "/Quillmark.log"))
                    .find("TS " + Ansi(error) + "\r\n"),
                std::string::npos);
    }
  }
  const int failed = kTemps + 30 - ok;
  EXPECT_EQ(printed, "Benutzer: 150, ohne Fehler: " + std::to_string(ok) +
                         ", mit Fehlern: " + std::to_string(failed) + ", mit Warnungen: 0\n  " +
                         std::to_string(failed) + " x " + error +
                         "\nÜbersicht: " + sb_.Win("pruefung") + "\\index.htm\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, Audit, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
