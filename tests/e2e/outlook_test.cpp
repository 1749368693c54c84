// Whole runs of both builds that register the default signatures. One table of
// Outlook machines (version, profile, accounts, settings) runs against the
// registry file (linux) and against Wine's registry (windows, seeded with reg
// import, read back with reg export). For every row, the log from the
// registration step on and every value below the profile and Office keys
// afterwards are compared with what the row expects (and the signature folder
// the run wrote to): the seeded values plus
// exactly the values the row writes, as .reg text (type and stored bytes).
// A Wine run costs seconds, so the windows build runs the rows marked for it:
// each kind of case at least once, and every row whose outcome depends on the
// platform's registry (value types, bytes, key names, subkey order).
#include <memory>
#include <sstream>

#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

// ---------------------------------------------------------------------------
// The registry as .reg text, the way reg export writes it (and the linux build
// keeps its registry file).

const std::string kMessaging =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
const std::string kOffice = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office";

/// The values below the profile and Office keys of a .reg text.
std::map<std::string, std::string> Values(const std::string& text) { return RegValues(text, {kMessaging, kOffice}); }

/// A .reg value line. Data is the text as "sz" (REG_SZ), as "hex(2)" (REG_EXPAND_SZ)
/// or "hex" (binary) of its UTF-16LE with terminating zero, or a "dword" in hex
/// digits. No name or text here needs escapes.
std::string Line(const std::string& name, const std::string& type, const std::string& data) {
  std::string value = type == "sz" ? "\"" + data + "\"" : type + ":" + data;
  if (type.starts_with("hex")) {
    value = type + ":";
    for (unsigned char b : Utf16Le(data).substr(2) + std::string(2, '\0'))
      value += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15], ','};
    value.pop_back();
  }
  return "\"" + name + "\"=" + value + "\r\n";
}

// ---------------------------------------------------------------------------
// Outlook machines.

std::string Office(int version) { return kOffice + "\\" + std::to_string(version) + ".0"; }

std::string DefaultProfile(const std::string& key) {
  return "[" + key + "]\r\n" + Line("DefaultProfile", "sz", "Büro") + "\r\n";
}

/// The account key of the profile Büro for the version: below the Windows
/// Messaging Subsystem up to 2010, its name encoded as Outlook writes it there,
/// and below Office as it is from 2013 on.
std::string AccountKey(int version) {
  const std::string accounts = "\\9375CFF0413111d3B88A00104B2A6676";
  if (version >= 15) return Office(version) + "\\Outlook\\Profiles\\Büro" + accounts;
  return kMessaging + "\\B[|\x7Fro" + accounts;
}

/// A mail account: its subkey and its display name as Outlook keeps it, as
/// 16-bit bytes (up to 2013, type "hex") or as a string (2016, "sz"); a Line type.
struct Account {
  std::string key, name, type = "hex";
};

/// A profile's account key: the list of accounts (by default their subkey
/// names as bytes, in the given order) and one subkey per account.
std::string AccountKeys(const std::string& key, const std::vector<Account>& accounts, std::string list = "") {
  std::string bytes;
  for (const Account& a : accounts) {
    for (size_t i = 0; i < 8; i += 2) bytes += (bytes.empty() ? "" : ",") + a.key.substr(i, 2);
  }
  std::string out = "[" + key +
                    "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=" + (list.empty() ? "hex:" + bytes : list) +
                    "\r\n\r\n";
  for (const Account& a : accounts)
    out += "[" + key + "\\" + a.key + "]\r\n" + Line("Account Name", a.type, a.name) + "\r\n";
  return out;
}

const std::string kErika = "Erika Mustermann (Büro)";
const std::vector<Account> kThree = {{"00000002", kErika}, {"00000003", "Vertrieb"}, {"00000005", "Privat"}};

/// A machine with the default profile Büro in the version's place and accounts.
std::string Machine(int version, const std::vector<Account>& accounts) {
  return DefaultProfile(version >= 15 ? Office(version) + "\\Outlook" : kMessaging) +
         AccountKeys(AccountKey(version), accounts);
}

/// The signature names a run sets in an account key, as strings (2016) or as
/// bytes; "" for a name not set.
std::string Names(const std::string& key, const std::string& newName, const std::string& replyName,
                  const std::string& type = "hex") {
  return "[" + key + "]\r\n" + (newName.empty() ? "" : Line("New Signature", type, newName)) +
         (replyName.empty() ? "" : Line("Reply-Forward Signature", type, replyName)) + "\r\n";
}
const std::string kRoaming =
    "[" + Office(16) + "\\Outlook\\Setup]\r\n" + Line("DisableRoamingSignaturesTemporaryToggle", "dword", "00000001");
std::string Pictures(int version) {
  return "[" + Office(version) + "\\Outlook\\Options\\Mail]\r\n" +
         Line("Send Pictures With Document", "dword", "00000001") + "\r\n";
}
/// The name of the signature folder as an Outlook installation records it.
std::string FolderName(int version, const std::string& name) {
  return "[" + Office(version) + "\\Common\\General]\r\n" + Line("Signatures", "sz", name) + "\r\n";
}

// ---------------------------------------------------------------------------
// The log, one "\n"-ended line each.

std::string Begin(const std::string& version) { return "Stelle Standard-Signatur für Outlook " + version + " ein\n"; }
std::string Profile(const std::string& version) {
  return Begin(version) + "-> Ermittle Outlook-Profil\n-> ...Outlook-Profil: Büro\n";
}
std::string NoProfile(const std::string& version) {
  return Begin(version) +
         "-> Ermittle Outlook-Profil\nFehler 999: Das Outlook-Profil konnte nicht aus der Registry ermittelt werden\n";
}
std::string List(int count, const std::string& first) {
  return "-> Ermittle E-Mail-Konten\n-> ...Anzahl E-Mail-Konten: " + std::to_string(count) +
         "\n-> ...Standard-E-Mail-Konto: " + first + "\n";
}
std::string Configured(const std::string& name) { return "-> Verwende konfiguriertes E-Mail-Konto: " + name + "\n"; }
std::string Entries(int number, const std::string& name, bool newSig = true, bool replySig = true) {
  return "-> Bearbeite Registry für " + std::to_string(number) + ". EMail-Konto : " + name + "\n" +
         (newSig ? "-> ...Eintrag 'New Signature' hinzugefügt bzw. gesetzt\n" : "") +
         (replySig ? "-> ...Eintrag 'Reply-Forward Signature' hinzugefügt bzw. gesetzt\n" : "");
}
std::string NoAccount(const std::string& name) {
  return "Fehler 999: Der Registry-Schlüssel für den konfigurierten EMail-Account '" + name +
         "' konnte nicht ermittelt werden\n";
}
const std::string kRoamingSet = "-> ...Eintrag 'DisableRoamingSignaturesTemporaryToggle' hinzugefügt bzw. gesetzt\n";
const std::string kPicturesSet =
    "-> ...Eintrag 'Send Pictures With Document' hinzugefügt bzw. gesetzt\n";
const std::string kTypeMismatch = "-> Ermittle E-Mail-Konten\nFehler 13: Typen unverträglich\n";

// ---------------------------------------------------------------------------
// The rows.

struct Row {
  std::string name;
  int version;            ///< Outlook.Application.<version>
  bool windows;           ///< runs on the windows build too
  std::string main;       ///< [Main] settings besides the signature types, CR LF between them
  std::string seed;       ///< the Outlook keys (.reg text without header)
  std::string newName;    ///< TargetSignType
  std::string replyName;  ///< TargetSignTypeReply, "" for none
  std::string log;        ///< from "Stelle Standard-Signatur" on, up to the error of a failed run
  std::string writes;     ///< every value the run adds or changes, as .reg text
  std::string folder = "Signatures";  ///< the signature folder below AppData\Microsoft
  std::string sections = "";          ///< sections after [Main], as written
};

// Outlook 2000 to 2007: what every run does by default.
std::vector<Row> ClassicRows() {
  const std::string k11 = AccountKey(11), k12 = AccountKey(12);
  const std::string xp = Office(10) + "\\Common\\MailSettings";
  return {
      {"2000: one entry in the profile named as read; NoNewMessageSignature has no say", 9, true,
       "NoNewMessageSignature=1", DefaultProfile(kMessaging), "Müller-Standard", "Antwort",
       Profile("2000") + "-> Bearbeite Registry\n-> ...Eintrag für Signatur hinzugefügt bzw. gesetzt\n",
       "[" + kMessaging + "\\Büro\\0a0d020000000000c000000000000046]\r\n" + Line("001e0361", "sz", "Müller-Standard")},
      {"2000 without a default profile", 9, false, "", "", "Standard", "", NoProfile("2000"), ""},
      {"XP: two expandable strings in the Office settings", 10, true, "", "", "Müller-Standard", "Antwort",
       Begin("XP") + "-> Bearbeite Registry\n-> ...Eintrag 'NewSignature' hinzugefügt bzw. gesetzt\n"
                     "-> ...Eintrag 'ReplySignature' hinzugefügt bzw. gesetzt\n",
       "[" + xp + "]\r\n" + Line("NewSignature", "hex(2)", "Müller-Standard") +
           Line("ReplySignature", "hex(2)", "Antwort")},
      {"2007: all accounts, in list order (not key order)", 12, true, "SetForAllEMailAccounts=1",
       DefaultProfile(kMessaging) + AccountKeys(k12, {kThree[1], kThree[0], kThree[2]}), "Standard", "Antwort",
       Profile("2007") + List(3, "Vertrieb") + Entries(1, "Vertrieb") + Entries(2, kErika) + Entries(3, "Privat"),
       Names(k12 + "\\00000003", "Standard", "Antwort") + Names(k12 + "\\00000002", "Standard", "Antwort") +
           Names(k12 + "\\00000005", "Standard", "Antwort")},
      {"2007: the configured account only, whatever SetForAllEMailAccounts says", 12, true,
       "EMailAccount=Privat\r\nSetForAllEMailAccounts=1", Machine(12, kThree), "Standard", "Antwort",
       Profile("2007") + Configured("Privat") + Entries(1, "Privat"), Names(k12 + "\\00000005", "Standard", "Antwort")},
      {"2007: a configured account that differs in case is not found", 12, true, "EMailAccount=privat",
       Machine(12, kThree), "Standard", "", Profile("2007") + NoAccount("privat"), ""},
      {"2007 without a default profile", 12, true, "", AccountKeys(k12, kThree), "Standard", "", NoProfile("2007"), ""},
      {"2007 with NoNewMessageSignature", 12, true, "NoNewMessageSignature=1", Machine(12, {kThree[2]}), "Standard",
       "Antwort", Profile("2007") + List(1, "Privat") + Entries(1, "Privat", false),
       Names(k12 + "\\00000005", "", "Antwort")},
      {"2007: a list without one whole account writes into the account key itself", 12, false, "",
       DefaultProfile(kMessaging) + AccountKeys(k12, {}, "hex:00,00"), "Standard", "",
       Profile("2007") + List(1, "") + Entries(1, ""), Names(k12, "Standard", "Standard")},
      {"2003: an account list stored as text ends the run", 11, true, "",
       DefaultProfile(kMessaging) + AccountKeys(k11, {kThree[0]}, "\"00000002\""), "Standard", "",
       Profile("2003") + kTypeMismatch, ""},
      {"2007: an account name stored as text ends the run", 12, true, "",
       Machine(12, {kThree[0], {"00000003", "Vertrieb", "sz"}}), "Standard", "", Profile("2007") + kTypeMismatch, ""},
      {"2007: a configured account in a profile without accounts ends the run", 12, false, "EMailAccount=Privat",
       DefaultProfile(kMessaging), "Standard", "",
       Profile("2007") + "Fehler 9: Index außerhalb des gültigen Bereichs\n", ""},
      {"2007: of two accounts with the configured name the first in key order", 12, true, "EMailAccount=Vertrieb",
       Machine(12, {{"00000007", "Vertrieb"}, kThree[0], {"00000004", "Vertrieb"}}), "Standard", "",
       Profile("2007") + Configured("Vertrieb") + Entries(1, "Vertrieb"),
       Names(k12 + "\\00000004", "Standard", "Standard")},
  };
}

// Outlook 2010 and later, with ModernOutlook=1.
std::vector<Row> ModernRows() {
  const std::string k12 = AccountKey(12), k14 = AccountKey(14), k15 = AccountKey(15);
  const std::string k16 = AccountKey(16);
  // Account names either way: 2013 keeps them as bytes, 2016 as strings, and a
  // profile carried over from an older Outlook may have both.
  const std::vector<Account> mixed = {{"00000002", kErika, "sz"}, {"00000003", "Vertrieb"}};
  // The demo's second registry, a file as reg export writes it.
  std::string demo = qm::platform::text::Utf16LeToUtf8(
      ReadFile(SourceDir() / "examples" / "demo" / "registry-outlook16.reg").substr(2));  // its byte-order mark
  demo.erase(0, demo.find("\r\n\r\n") + 4);  // its header
  std::vector<Row> rows = {
      {"2010: the profile where 2007 kept it, bytes in every account", 14, true, "SetForAllEMailAccounts=1",
       Machine(14, mixed), "Müller-Standard", "Antwort",
       Profile("2010") + List(2, kErika) + Entries(1, kErika) + Entries(2, "Vertrieb"),
       Names(k14 + "\\00000002", "Müller-Standard", "Antwort") +
           Names(k14 + "\\00000003", "Müller-Standard", "Antwort")},
      {"2013: the profile below Office 15.0, named as it is", 15, true, "", Machine(15, mixed), "Müller-Standard", "",
       Profile("2013") + List(2, kErika) + Entries(1, kErika),
       Names(k15 + "\\00000002", "Müller-Standard", "Müller-Standard")},
      {"2013 does not look where 2007 kept its profiles", 15, false, "", Machine(12, kThree), "Standard", "",
       NoProfile("2013"), ""},
      {"2016: strings in all accounts, and the roaming switch", 16, true, "SetForAllEMailAccounts=1",
       Machine(16, mixed), "Müller-Standard", "Antwort",
       Profile("2016") + List(2, kErika) + Entries(1, kErika) + Entries(2, "Vertrieb") + kRoamingSet,
       Names(k16 + "\\00000002", "Müller-Standard", "Antwort", "sz") +
           Names(k16 + "\\00000003", "Müller-Standard", "Antwort", "sz") + kRoaming},
      {"2016: the configured account named by a string, without reply default", 16, true,
       "EMailAccount=" + kErika + "\r\nNoReplyMessageSignature=1", Machine(16, mixed), "Standard", "Antwort",
       Profile("2016") + Configured(kErika) + Entries(1, kErika, true, false) + kRoamingSet,
       Names(k16 + "\\00000002", "Standard", "", "sz") + kRoaming},
      {"the demo machine of Outlook 2016: German, so its folder is Signaturen; an image", 16,
       true, "SetForAllEMailAccounts=1", demo, "standard", "antwort",
       Profile("2016") + List(2, kErika) + Entries(1, kErika) + Entries(2, "Vertrieb") +
           kRoamingSet + kPicturesSet,
       Names(k16 + "\\00000002", "standard", "antwort", "sz") +
           Names(k16 + "\\00000003", "standard", "antwort", "sz") + kRoaming + Pictures(16),
       "Signaturen"},
      {"2010: an empty folder name is none; no image, no picture switch", 14, true, "",
       Machine(14, mixed) + FolderName(14, ""), "Standard", "",
       Profile("2010") + List(2, kErika) + Entries(1, kErika),
       Names(k14 + "\\00000002", "Standard", "Standard")},
      {"2007 records neither, also when a later version's values are there", 12, false, "",
       Machine(12, kThree) + FolderName(12, "Signaturen") + FolderName(16, "Signaturen"),
       "standard", "", Profile("2007") + List(3, kErika) + Entries(1, kErika),
       Names(k12 + "\\00000002", "standard", "standard")},
  };
  for (Row& row : rows) row.main = "ModernOutlook=1" + (row.main.empty() ? "" : "\r\n" + row.main);
  return rows;
}

// ---------------------------------------------------------------------------
// Running a row.

class Outlook : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_ = std::make_unique<Sandbox>(GetParam());
    sb_->Templates("std", "@FULLNAME@\r\n");
    // An image of the signature "standard": rows with that target copy it.
    sb_->Write("cfg/Vorlagen/standard_logo.gif", "GIF89a");
  }

  bool Runs(const Row& row) const { return GetParam() == Build::Linux || row.windows; }

  /// Runs the row and compares its exit status, log and registry; returns the
  /// whole log, time stamps masked ("" for a row this build leaves out).
  std::string Check(const Row& row) {
    if (!Runs(row)) return "";
    SCOPED_TRACE(row.name);
    sb_->SeedRegistry("[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
                      std::to_string(row.version) + "\"\r\n\r\n" + row.seed);
    std::filesystem::remove_all(sb_->Path("app"));
    const std::string reply = "FixedSignTypeReply=std\r\nTargetSignTypeReply=" + row.replyName + "\r\n";
    sb_->Configure("FixedSignType=std\r\nTargetSignType=" + row.newName + "\r\n" +
                   (row.main.empty() ? "" : row.main + "\r\n") + (row.replyName.empty() ? "" : reply) +
                   row.sections);
    RunResult r = sb_->RunLogged();
    const std::string log = sb_->Log();
    const bool fails = row.log.find("Fehler ") != std::string::npos;
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, fails ? 1 : 0) << log;

    // The version line names the version the registration line names.
    const size_t name = row.log.find(" Outlook ") + 9;
    const std::string version = row.log.substr(name, row.log.find(" ein\n") - name);
    EXPECT_NE(log.find(Ansi("TS ...Outlook-Version: " + version + "\r\n")), std::string::npos) << log;
    std::string expected;
    std::istringstream lines(row.log);
    for (std::string l; std::getline(lines, l);) expected += "TS " + l + "\r\n";
    expected += fails ? "TS ********** Ende \r\n\r\n" : "TS ********** Ende\r\n\r\n";
    const size_t from = log.find("TS Stelle Standard-Signatur");
    EXPECT_EQ(from == std::string::npos ? log : log.substr(from), Ansi(expected));
    const std::string folder = "app/Microsoft/" + row.folder;
    EXPECT_NE(log.find("TS ...Pfad Outlook-Signaturen: " + sb_->Win(folder) + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(sb_->Exists(folder + "/" + row.newName + ".txt")) << folder;

    std::string written = sb_->Read("registry.reg");
    if (GetParam() == Build::Windows) {
      r = sb_->Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft", sb_->Win("export.reg"), "/y"});
      EXPECT_EQ(r.exitCode, 0) << r.output;
      written = sb_->Read("export.reg");
    }
    // Every value as seeded, unless the run writes it.
    EXPECT_EQ(Values(row.seed + row.writes), Values(written));
    return log;
  }

  std::unique_ptr<Sandbox> sb_;
};

TEST_P(Outlook, ClassicVersions) {
  for (const Row& row : ClassicRows()) Check(row);
}

TEST_P(Outlook, ModernVersionsWhenAskedFor) {
  for (const Row& row : ModernRows()) Check(row);
}

// A default per mail account: [Account1], [Account2], ... name accounts by a
// pattern and give them other signatures of the run.
std::vector<Row> AccountSectionRows() {
  const std::string k12 = AccountKey(12), k16 = AccountKey(16);
  const std::string checked = "-> Prüfe Konto-Abschnitte\n";
  auto section = [](int n, const std::string& account) {
    return "-> ...Abschnitt Account" + std::to_string(n) + ": " + account + "\n";
  };
  std::vector<Row> rows = {
      {"2007: the default account as always, the sales account by its section", 12, true, "",
       Machine(12, kThree), "Standard", "Antwort",
       Profile("2007") + List(3, kErika) + checked + section(1, "Vertrieb") + Entries(1, kErika) +
           Entries(2, "Vertrieb"),
       Names(k12 + "\\00000002", "Standard", "Antwort") + Names(k12 + "\\00000003", "Antwort", "Antwort")},
      {"2016 with a configured account: the first matching section wins, the others follow in list order", 16,
       true, "ModernOutlook=1\r\nEMailAccount=Vertrieb", Machine(16, kThree), "Standard", "Antwort",
       Profile("2016") + Configured("Vertrieb") + checked + section(2, kErika) + section(2, "Vertrieb") +
           section(1, "Privat") + Entries(1, "Vertrieb") + Entries(2, kErika) + Entries(3, "Privat") + kRoamingSet,
       Names(k16 + "\\00000003", "Antwort", "Antwort", "sz") + Names(k16 + "\\00000002", "Antwort", "Antwort", "sz") +
           Names(k16 + "\\00000005", "Standard", "Standard", "sz") + kRoaming},
      {"XP has one default for all accounts", 10, false, "", "", "Standard", "",
       Begin("XP") + "-> Konto-Abschnitte ignoriert: Outlook XP kennt nur eine Standard-Signatur für alle Konten\n"
                     "-> Bearbeite Registry\n-> ...Eintrag 'NewSignature' hinzugefügt bzw. gesetzt\n"
                     "-> ...Eintrag 'ReplySignature' hinzugefügt bzw. gesetzt\n",
       "[" + Office(10) + "\\Common\\MailSettings]\r\n" + Line("NewSignature", "hex(2)", "Standard") +
           Line("ReplySignature", "hex(2)", "Standard")},
  };
  rows[0].sections = "[Account1]\r\nName=VERT*\r\nNewSignature=antwort\r\n";
  rows[1].sections = "[Account1]\r\nName=p?ivat\r\nReplySignature=standard\r\n[Account2]\r\nName=*\r\n"
                     "NewSignature=Antwort\r\n";
  rows[2].sections = "[Account1]\r\nName=*\r\nNewSignature=Standard\r\n";
  return rows;
}

TEST_P(Outlook, AccountSections) {
  for (const Row& row : AccountSectionRows()) Check(row);
}

TEST_P(Outlook, OtherVersionsUnknown) {
  // Versions after 12 other than 14, 15 and 16 are unknown, and so are those
  // three without ModernOutlook=1: the whole log is byte for byte the one of
  // version 13, and nothing is written.
  // Nor do they take the signature folder's name or set the picture switch.
  std::string seed;
  for (int version : {14, 15, 16})
    seed += Machine(version, kThree) + FolderName(version, "Signaturen");
  const auto off = [&seed](int version, const std::string& main, bool windows) {
    return Row{std::to_string(version) + " " + main, version, windows, main, seed, "standard",
               "Antwort", Begin(""), ""};
  };
  std::string unknown;
  for (const Row& row : {off(13, "", true), off(16, "", true), off(17, "ModernOutlook=1", false)}) {
    if (!Runs(row)) continue;
    const std::string log = Check(row);
    if (unknown.empty()) unknown = log;
    EXPECT_EQ(log, unknown) << row.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, Outlook, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
