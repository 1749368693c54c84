// Whole runs of both builds on configurations that are refused: each refusal
// ends the run with error 999 before the signature folder is emptied and
// before any file or registry value is written. Every row starts from a
// signature folder full of yesterday's signatures and a registry with
// yesterday's defaults, and both must be left byte for byte as they were. The
// last row runs the same configuration without a fault, to show that such a
// run does empty the folder and register.
#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

const std::string kProfiles =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";

/// A .reg hex list of the text as 16-bit little-endian bytes with a terminator.
std::string Hex16(const std::string& text) {
  std::string out = "hex:";
  for (char c : text) out += {"0123456789abcdef"[(c >> 4) & 15], "0123456789abcdef"[c & 15], ',', '0', '0', ','};
  return out + "00,00";
}

/// Outlook 2007 (or XP) with yesterday's defaults: "alt" for new messages and replies.
std::string Yesterday(int version) {
  std::string reg = "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application." +
                    std::to_string(version) + "\"\r\n\r\n";
  if (version == 10) {
    return reg + "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\10.0\\Common\\MailSettings]\r\n"
                 "\"NewSignature\"=\"alt\"\r\n\"ReplySignature\"=\"alt\"\r\n";
  }
  const std::string accounts = kProfiles + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676";
  return reg + "[" + kProfiles + "]\r\n\"DefaultProfile\"=\"Outlook\"\r\n\r\n[" + accounts +
         "]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:00,00,00,02\r\n\r\n[" + accounts +
         "\\00000002]\r\n\"Account Name\"=" + Hex16("max@firma.de") + "\r\n\"New Signature\"=" +
         Hex16("alt") + "\r\n\"Reply-Forward Signature\"=" + Hex16("alt") + "\r\n";
}

class Refusals : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_.Templates("standard", "Standard @FIRSTNAME@\r\n");
    sb_.Templates("kurz", "Kurz\r\n");
  }

  /// Yesterday's signature folder and registry, as they stand before a run.
  void Seed(int version) {
    for (const char* file : {"alt.htm", "alt.rtf", "alt.txt", "alt_logo.gif"})
      sb_.Write(std::string("app/Microsoft/Signatures/") + file, std::string("gestern: ") + file);
    sb_.SeedRegistry(Yesterday(version));
  }

  /// The registry as the program under test sees it, as .reg bytes.
  std::string Registry() const {
    if (GetParam() == Build::Linux) return sb_.Read("registry.reg");
    const RunResult r = sb_.Wine({"reg", "export", "HKEY_CURRENT_USER\\Software\\Microsoft",
                                  sb_.Win("export.reg"), "/y"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return sb_.Read("export.reg");
  }

  Sandbox sb_{GetParam()};
};

TEST_P(Refusals, NothingIsEmptiedWrittenOrRegistered) {
  const std::string groups = [] {
    std::string list;
    for (int i = 0; i < 250; ++i) list += "CN=Gruppe " + std::to_string(1000 + i) + ",DC=firma;";
    return list;  // 6,000 characters
  }();
  struct Row {
    std::string name;
    int version;
    std::string main, sections, args, error;
    std::vector<std::pair<std::string, std::string>> templates = {};  // written before the run
  };
  std::vector<Row> rows = {
      {"an account section key that no section knows", 12, "",
       "[Account1]\r\nName=*\r\nNewSignatur=kurz\r\n", "",
       "Abschnitt 'Account1': Unbekannter Schlüssel 'NewSignatur'"},
      {"an account section without a name", 12, "", "[Account1]\r\nNewSignature=kurz\r\n", "",
       "Abschnitt 'Account1': 'Name' fehlt"},
      {"an account section naming a signature the run does not write", 12, "",
       "[Account1]\r\nName=max@*\r\n[Account2]\r\nName=*\r\nReplySignature=lang\r\n", "",
       "Abschnitt 'Account2': Die Signatur 'lang' wird in diesem Lauf nicht erstellt"},
      {"Outlook XP ignores the sections, but not their faults", 10, "",
       "[Account1]\r\nName=*\r\nNewSignatur=kurz\r\n", "",
       "Abschnitt 'Account1': Unbekannter Schlüssel 'NewSignatur'"},
      {"a rule key that no rule knows", 12, "", "[Rule1]\r\nCitty=M*\r\nSignType=kurz\r\n", "",
       "Abschnitt 'Rule1': Unbekannter Schlüssel 'Citty'"},
      {"a DN with a trailing comma", 12, "LDAPBaseObjectDN=DC=firma\r\n",
       "[Rule1]\r\nBelow=OU=Technik,DC=firma,\r\nSignType=kurz\r\n", "",
       "Abschnitt 'Rule1': Ungültiger DN 'OU=Technik,DC=firma,' in 'Below'"},
      {"a group DN with an RDN without '='", 12, "LDAPBaseObjectDN=DC=firma\r\n",
       "[Rule1]\r\nMemberOf=Technik;CN=Vertrieb,Gruppen,DC=firma\r\nSignType=kurz\r\n", "",
       "Abschnitt 'Rule1': Ungültiger DN 'CN=Vertrieb,Gruppen,DC=firma' in 'MemberOf'"},
      {"a list of groups too long to be read whole", 12, "LDAPBaseObjectDN=DC=firma\r\n",
       "[Rule1]\r\nSignType=kurz\r\n[Rule2]\r\nMemberOf=" + groups + "\r\n", "",
       "Abschnitt 'Rule2': Der Wert von 'MemberOf' ist zu lang (höchstens 5115 Zeichen)"},
      {"a day the calendar lacks", 12, "", "[Rule1]\r\nFrom=2026-02-29\r\n", "",
       "Abschnitt 'Rule1': Ungültiges Datum '2026-02-29' für 'From' (erwartet JJJJ-MM-TT)"},
      {"From after Until", 12, "", "[Rule1]\r\nUNTIL=2026-01-01\r\nFrom=2026-12-01\r\n", "",
       "Abschnitt 'Rule1': 'From' (01.12.2026) liegt nach 'Until' (01.01.2026)"},
      {"a group without directory bases", 12, "",
       "[Rule1]\r\nCity=*\r\n[Rule2]\r\nMemberOf=Firma\r\n", "",
       "Abschnitt 'Rule2': 'MemberOf' braucht das Active Directory, doch in 'LDAPBaseObjectDN' "
       "ist kein DN konfiguriert"},
      {"an image type Outlook does not show", 12, "ImageTypes=png, tiff\r\n", "", "",
       "Ungültiger Wert 'tiff' in 'ImageTypes' (erlaubt: gif, jpg, jpeg, png, bmp)"},
      {"an encryption the directory does not know, though no field needs it", 12,
       "LDAPEncryption=TLS\r\n", "", "",
       "Ungültiger Wert 'TLS' für 'LDAPEncryption' (erlaubt: StartTLS, LDAPS)"},
      {"a day that is not YYYY-MM-DD", 12, "", "[Rule1]\r\nUntil=2026-12-24\r\n",
       "/DATE:2026-13-01", "Ungültiges Datum '2026-13-01' in /DATE (erwartet JJJJ-MM-TT)"},
      {"a preview on a PC without Outlook reads the sections too", 0, "",
       "[Account1]\r\nName=*\r\nNewSignatur=lang\r\n", "/SIMULATE:vorschau",
       "Abschnitt 'Account1': Unbekannter Schlüssel 'NewSignatur'"},
      {"a preview whose signature would be its page", 12, "TargetSignType=index,kurz\r\n", "",
       "/SIMULATE:vorschau",
       "Die Vorschauseite 'index.htm' würde die Signatur 'index' überschreiben"},
      {"the manager without directory bases", 12, "ManagerData=1\r\n", "", "",
       "'ManagerData' braucht das Active Directory, doch in 'LDAPBaseObjectDN' ist kein DN konfiguriert"},
      {"a group condition in a template without directory bases", 12, "TemplateConditions=1\r\n", "", "",
       "Vorlage '" + sb_.Win("cfg/Vorlagen") + "\\kurz.rtf', Zeile 2: '@IF MEMBEROF=Vertrieb@' braucht das "
       "Active Directory, doch in 'LDAPBaseObjectDN' ist kein DN konfiguriert",
       {{"kurz.rtf", "{\\rtf1\r\n{\\b @IF MEMBEROF=Vertrieb@}\\par\r\nx\\par\r\n@ENDIF@\\par\r\n}"}}},
      {"a marker that shares its paragraph, as Word writes it", 12, "TemplateConditions=1\r\n", "", "",
       "Vorlage '" + sb_.Win("cfg/Vorlagen") + "\\standard.htm', Zeile 3: '@ENDIF@' steht nicht allein in "
       "der Zeile; jede Bedingung gehört in eine eigene Zeile",
       {{"standard.htm", "<p class=MsoNormal>@IF MOBILE@<o:p></o:p></p>\r\n<p class=MsoNormal><span\r\n"
                         "style='color:red'>Mobil @MOBILE@ @ENDIF@</span><o:p></o:p></p>\r\n"}}},
  };
  // Every switch beyond the original ones takes its values only: "ja" does
  // not switch events off silently, it stops the run.
  const struct {
    const char* key;
    const char* value;
    const char* allowed;
  } switches[] = {
      {"EventLog", "ja", "0, 1, 2"},         {"RunStatus", "yes", "0, 1"},
      {"MailboxSignatures", "2", "0, 1"},     {"TemplateConditions", "wahr", "0, 1"},
      {"ManagerData", "on", "0, 1"},          {"ModernOutlook", "true", "0, 1"},
      {"EscapeValues", "ja", "0, 1"},         {"DropEmptyLines", "-1", "0, 1"},
      {"EscapeUserName", "1,0", "0, 1"},      {"HidePasswordsInLog", "x", "0, 1"},
      {"LDAPEncryption", "SSL", "StartTLS, LDAPS"}, {"ReportFileErrors", "nein", "0, 1"},
  };
  for (const auto& sw : switches) {
    rows.push_back({std::string(sw.key) + "=" + sw.value, 12, std::string(sw.key) + "=" + sw.value + "\r\n",
                    "", "",
                    std::string("Ungültiger Wert '") + sw.value + "' für '" + sw.key + "' (erlaubt: " +
                        sw.allowed + ")"});
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    for (const auto& [name, text] : row.templates) sb_.Write("cfg/Vorlagen/" + name, text);
    Seed(row.version);
    const Tree folder = ReadTree(sb_.Path("app"));
    const std::string registry = Registry();
    sb_.Configure("FixedSignType=standard,kurz\r\nEmptySignatureFolder=2\r\n" + row.main,
                  "FirstName=\r\n" + row.sections);
    const RunResult r = sb_.RunLogged(row.args);
    const std::string log = sb_.Log();
    EXPECT_EQ(r.exitCode, 1) << log;
    EXPECT_NE(log.find(Ansi("TS Fehler 999: " + row.error + "\r\nTS ********** Ende \r\n")),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Leere Outlook-Signaturen-Ordner"), std::string::npos) << log;
    EXPECT_EQ(ReadTree(sb_.Path("app")), folder);
    EXPECT_EQ(Registry(), registry);
    // A preview holds nothing but its registry file's header.
    const Tree preview = ReadTree(sb_.Path("cfg/vorschau"));
    EXPECT_TRUE(preview.empty() || (preview.size() == 1 && preview.contains("registry.reg")));
  }

  // Without its fault the same configuration empties the folder and registers.
  SetUp();
  Seed(12);
  const std::string registry = Registry();
  sb_.Configure("FixedSignType=standard,kurz\r\nEmptySignatureFolder=2\r\n",
                "FirstName=\r\n[Account1]\r\nName=max@*\r\nNewSignature=Kurz\r\n");
  const RunResult r = sb_.RunLogged();
  EXPECT_EQ(r.exitCode, 0) << sb_.Log();
  EXPECT_EQ(ReadTree(sb_.Path("app/Microsoft/Signatures")),
            (Tree{{"kurz.htm", "Kurz\r\n"}, {"kurz.rtf", "Kurz\r\n"}, {"kurz.txt", "Kurz\r\n"},
                  {"standard.htm", "Standard \r\n"}, {"standard.rtf", "Standard \r\n"},
                  {"standard.txt", "Standard \r\n"}}));
  EXPECT_NE(Registry(), registry);
  // Without any of the switches the run is the one it always was: every line
  // of its log after the version, and the defaults it registers.
  const std::string log = sb_.Log();
  std::string expected = "TS ...Konfigurationsdatei: " + sb_.Win("cfg/site.ini") +
                         "\r\nTS ...Programmordner: " + sb_.Win("cfg") + "\\\r\nTS ...Log-Datei: " +
                         sb_.Win("cfg/run.log") +
                         "\r\nTS Ermittle Outlook-Version\r\nTS ...Outlook-Version: 2007\r\n"
                         "TS Ermittle Windows-Benutzer\r\nTS ...Windows-Benutzername: " + sb_.UserName() +
                         "\r\nTS Ermittle Anwendungsdatenordner\r\nTS ...Pfad Anwendungsdaten: " +
                         sb_.Win("app") +
                         "\r\nTS Ermittle Outlook-Signaturen-Ordner\r\nTS ...Pfad Outlook-Signaturen: " +
                         sb_.Win("app/Microsoft/Signatures") +
                         "\r\nTS Ermittle Vorlagenordner\r\nTS ...Pfad Vorlagen: " + sb_.Win("cfg/Vorlagen") +
                         "\r\nTS Ermittle feste SignTypes\r\nTS ...Feste SignTypes: standard,kurz\r\n"
                         "TS ...Feste SignTypes für Antworten: \r\nTS Ermittle Ziel-SignTypes\r\n"
                         "TS Ermittle Field-Mappings\r\n"
                         "TS ...Feldverwendung: Datenbank (DB)=FALSE; Active-Directory (AD)=FALSE\r\n"
                         "TS Lege SignTypes fest\r\nTS Prüfe SignTypes\r\nTS Ermittelte SignTypes: \r\n"
                         "SignType=standard,kurz\r\nSignTypeReply=\r\nZiel-SignType=standard,kurz\r\n"
                         "Ziel-SignTypeReply=\r\nTS Leere Outlook-Signaturen-Ordner\r\n";
  int n = 0;
  for (const std::string name : {"standard", "kurz"}) {
    expected += "TS Verarbeite " + std::to_string(++n) + ". Standardsignatur: " + name + " > " + name +
                "\r\nTS -> Alle Vorlagendateien gefunden\r\n";
    for (const char* ext : {"HTM", "RTF", "TXT"}) {
      expected += std::string("TS -> Erzeuge ") + ext + "-Datei: " + sb_.Win("app/Microsoft/Signatures") +
                  "\\" + name + "." + qm::platform::text::ToLower(ext) + "\r\n";
    }
    expected += "TS Verarbeite Bilddateien\r\nTS -> 0 GIF-Dateien gefunden\r\nTS -> 0 JPG-Dateien gefunden\r\n"
                "TS -> 0 JPEG-Dateien gefunden\r\n";
  }
  expected +=
      "TS Stelle Standard-Signatur für Outlook 2007 ein\r\nTS -> Ermittle Outlook-Profil\r\n"
      "TS -> ...Outlook-Profil: Outlook\r\nTS -> Ermittle E-Mail-Konten\r\nTS -> ...Anzahl E-Mail-Konten: 1\r\n"
      "TS -> ...Standard-E-Mail-Konto: max@firma.de\r\nTS -> Prüfe Konto-Abschnitte\r\n"
      "TS -> ...Abschnitt Account1: max@firma.de\r\nTS -> Bearbeite Registry für 1. EMail-Konto : max@firma.de\r\n"
      "TS -> ...Eintrag 'New Signature' hinzugefügt bzw. gesetzt\r\n"
      "TS -> ...Eintrag 'Reply-Forward Signature' hinzugefügt bzw. gesetzt\r\nTS ********** Ende\r\n\r\n";
  EXPECT_EQ(log.substr(std::min(log.find("TS ...Konfigurationsdatei"), log.size())), Ansi(expected));
  const auto values = sb_.RegistryValues(kProfiles + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676\\00000002");
  EXPECT_EQ(values.at("NEW SIGNATURE"), Hex16("kurz"));
  EXPECT_EQ(values.at("REPLY-FORWARD SIGNATURE"), Hex16("standard"));
}

INSTANTIATE_TEST_SUITE_P(Builds, Refusals, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
