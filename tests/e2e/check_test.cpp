// Whole runs of /CHECK on both builds: a clean configuration reports nothing,
// each kind of fault prints its one line, the database and the directory are
// asked what a run asks them, a directory that never answers ends the check
// within its time limit, and nothing is written. The linux build prints UTF-8;
// the windows build writes to the standard handle it is given, which Wine
// gives it from the Linux shell (a file here, so in the ANSI code page with
// CR LF; on Windows cmd hands it one only with "> file" or "| more", else it
// writes to the starting console). With that handle closed, it writes the
// findings into Quillmark-Check.txt beside the configuration, as a program
// started from Explorer does on Windows; so does the linux build.
#include <regex>

#include "../common/slapd_server.h"
#include "harness.h"
#include "platform/common/text.h"

namespace qmtest {
namespace {

namespace fs = std::filesystem;

std::string Summary(int errors, int warnings) {
  return "Prüfung beendet: " + std::to_string(errors) + " Fehler, " + std::to_string(warnings) +
         (warnings == 1 ? " Warnung\n" : " Warnungen\n");
}

class CheckTest : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    sb_.SeedOutlookVersion(12);
    sb_.Templates("standard", "Hallo @FIRSTNAME@\r\n");
  }

  bool Linux() const { return GetParam() == Build::Linux; }

  /// The report of a check as UTF-8 with LF line ends.
  std::string Report(const std::string& printed) const {
    const std::string text = Linux() ? printed : Convert(printed, "CP850", "UTF-8");
    return std::regex_replace(text, std::regex("\r\n"), "\n");
  }

  /// /CHECK of cfg/site.ini with the further arguments; its report.
  std::string Check(const std::string& args = "", Env env = {}, int timeoutSeconds = 60) {
    env.emplace("QM_APPDATA", sb_.Win("app"));
    result_ = sb_.Run("/CHECK /INI:" + sb_.Win("cfg/site.ini") + " " + args, env, timeoutSeconds);
    return Report(result_.output);
  }

  Sandbox sb_{GetParam()};
  RunResult result_;
};

TEST_P(CheckTest, EachKindOfFinding) {
  const std::string cfg = sb_.Win("cfg"), templates = cfg + "\\Vorlagen\\";
  const std::string user = sb_.UserName();
  const struct {
    const char* name;
    std::string main, sections, args;
    std::vector<std::pair<std::string, std::string>>
        files;         // written (UTF-8 as given) before the check
    std::string line;  // "" for a clean configuration
    int errors = 0, warnings = 0;
  } rows[] = {
      {"a clean configuration", "", "", "", {}, "", 0, 0},
      {"a key of Main that no run reads",
       "FixedSignTpye=kurz\r\n",
       "",
       "",
       {},
       "Fehler: [Main] FixedSignTpye: Unbekannter Schlüssel 'FixedSignTpye', ein Lauf liest ihn nicht; "
       "meinten Sie 'FixedSignType'?",
       1},
      {"a key of FieldMapping that no run reads",
       "",
       "Emial=email\r\n",
       "",
       {},
       "Fehler: [FieldMapping] Emial: Unbekannter Schlüssel 'Emial', ein Lauf liest ihn nicht; "
       "meinten Sie 'EMail'?",
       1},
      {"a rule key that no rule knows",
       "",
       "[Rule1]\r\nCitty=M*\r\n",
       "",
       {},
       "Fehler: [Rule1] Citty: Unbekannter Schlüssel 'Citty'; meinten Sie 'City'?",
       1},
      {"a day the calendar lacks",
       "",
       "[Rule1]\r\nFrom=2026-02-29\r\n",
       "",
       {},
       "Fehler: [Rule1] From: Ungültiges Datum '2026-02-29' für 'From' (erwartet JJJJ-MM-TT)",
       1},
      {"an account section without a name",
       "",
       "[Account1]\r\nNewSignature=standard\r\n",
       "",
       {},
       "Fehler: [Account1] Name: 'Name' fehlt",
       1},
      {"an account section naming a signature this user does not get, on a PC without a profile",
       "",
       "[Account1]\r\nName=*\r\nNewSignature=lang\r\n",
       "",
       {},
       "Hinweis: [Account1] NewSignature: Die Signatur 'lang' wird in diesem Lauf nicht erstellt; der "
       "Abschnitt nennt kein Konto dieses Profils",
       0},
      {"an encryption the directory does not know",
       "LDAPEncryption=TLS\r\n",
       "",
       "",
       {},
       "Fehler: [Main] LDAPEncryption: Ungültiger Wert 'TLS' für 'LDAPEncryption' (erlaubt: StartTLS, LDAPS)",
       1},
      {"a section that no run reads",
       "",
       "[FieldMaping]\r\nCity=Ort\r\n",
       "",
       {},
       "Warnung: [FieldMaping]: Unbekannter Abschnitt, ein Lauf liest ihn nicht; meinten Sie '[FieldMapping]'?",
       0,
       1},
      {"a rule after a gap in the numbers",
       "",
       "[Rule2]\r\nCity=M*\r\n",
       "",
       {},
       "Warnung: [Rule2]: Wird nie gelesen: es fehlt [Rule1], und gelesen wird nur bis zur ersten fehlenden Nummer",
       0,
       1},
      {"an option that the program does not know",
       "",
       "",
       "/DEBGU:LOG",
       {},
       "Warnung: Befehlszeile: Unbekannte Option '/DEBGU:LOG' wird ignoriert; meinten Sie '/DEBUG'?",
       0,
       1},
      {"a flag written as a word",
       "NoNewMessageSignature=yes\r\n",
       "",
       "",
       {},
       "Warnung: [Main] NoNewMessageSignature: 'yes' schaltet nicht ein: nur 1 schaltet ein, 0 oder leer aus",
       0,
       1},
      {"each key with values of its own, written otherwise",
       "eventlog=ja\r\nEmptySignatureFolder=3\r\nSetForAllEMailAccounts=2\r\nRunStatus=yes\r\n"
       "MailboxSignatures=true\r\nTemplateConditions=ja\r\nManagerData=2\r\nModernOutlook=on\r\n"
       "EscapeValues=yes\r\nDropEmptyLines=-1\r\nEscapeUserName=x\r\nHidePasswordsInLog=wahr\r\n"
       "NoReplyMessageSignature=ein\r\nLDAPEncryption=SSL\r\n",
       "",
       "",
       {},
       "Fehler: [Main] eventlog: Ungültiger Wert 'ja' für 'EventLog' (erlaubt: 0, 1, 2)\n"
       "Warnung: [Main] EmptySignatureFolder: '3' leert den Ordner nicht (1: in den Papierkorb, 2: "
       "endgültig löschen)\n"
       "Warnung: [Main] SetForAllEMailAccounts: '2' schaltet nicht ein: nur 1 schaltet ein, 0 oder leer aus\n"
       "Fehler: [Main] RunStatus: Ungültiger Wert 'yes' für 'RunStatus' (erlaubt: 0, 1)\n"
       "Fehler: [Main] MailboxSignatures: Ungültiger Wert 'true' für 'MailboxSignatures' (erlaubt: 0, 1)\n"
       "Fehler: [Main] TemplateConditions: Ungültiger Wert 'ja' für 'TemplateConditions' (erlaubt: 0, 1)\n"
       "Fehler: [Main] ManagerData: Ungültiger Wert '2' für 'ManagerData' (erlaubt: 0, 1)\n"
       "Fehler: [Main] ModernOutlook: Ungültiger Wert 'on' für 'ModernOutlook' (erlaubt: 0, 1)\n"
       "Fehler: [Main] EscapeValues: Ungültiger Wert 'yes' für 'EscapeValues' (erlaubt: 0, 1)\n"
       "Fehler: [Main] DropEmptyLines: Ungültiger Wert '-1' für 'DropEmptyLines' (erlaubt: 0, 1)\n"
       "Fehler: [Main] EscapeUserName: Ungültiger Wert 'x' für 'EscapeUserName' (erlaubt: 0, 1)\n"
       "Fehler: [Main] HidePasswordsInLog: Ungültiger Wert 'wahr' für 'HidePasswordsInLog' (erlaubt: 0, 1)\n"
       "Warnung: [Main] NoReplyMessageSignature: 'ein' schaltet nicht ein: nur 1 schaltet ein, 0 oder leer "
       "aus\n"
       "Fehler: [Main] LDAPEncryption: Ungültiger Wert 'SSL' für 'LDAPEncryption' (erlaubt: StartTLS, LDAPS)",
       11,
       3},
      {"the same keys with the values they take",
       "EventLog=2\r\nEmptySignatureFolder= 2\r\nRunStatus=01\r\nTemplateConditions=1.0\r\n"
       "ModernOutlook=0\r\nLDAPEncryption=starttls\r\nNoNewMessageSignature=1\r\n",
       "",
       "",
       {},
       "",
       0},
      {"/ADUSER where no directory is read",
       "",
       "",
       "/ADUSER:mmuster",
       {},
       "Warnung: /ADUSER: Diese Konfiguration liest kein Active Directory: /ADUSER wirkt in einem Lauf nicht "
       "(die Datenbank sucht nach dem Windows-Benutzer)",
       0,
       1},
      {"no sign type at all",
       "FixedSignType=\r\n",
       "",
       "",
       {},
       "Fehler: SignTypes: Keine Signaturtypen in der Datenbank festgelegt: für '" + user +
           "' nennt weder FixedSignType noch eine Quelle (SignType in [FieldMapping]) noch eine Regel einen "
           "Signaturtyp",
       1},
      {"fewer target names than sign types",
       "FixedSignType=standard,standard\r\nTargetSignType=a\r\n",
       "",
       "",
       {},
       "Fehler: SignTypes: Es sind weniger Ziel-SignTypes vorhanden als SignTypes",
       1},
      {"a missing template folder",
       "TemplateFolder=Fehlt\r\n",
       "",
       "",
       {},
       "Fehler: [Main] TemplateFolder: Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden: '" +
           cfg + "\\Fehlt'",
       1},
      {"a template without its txt",
       "FixedSignType=standard,kurz\r\n",
       "",
       "",
       {{"cfg/Vorlagen/kurz.htm", "k\r\n"}, {"cfg/Vorlagen/kurz.rtf", "k\r\n"}},
       "Fehler: Vorlage 'kurz': Die Datei '" + templates +
           "kurz.txt' fehlt; ein Lauf endet mit "
           "\"Fehlende Dateien für die Vorlage 'kurz'\"",
       1},
      {"a placeholder that names no field",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm", "a\r\n@FRISTNAME@\r\n"}},
       "Fehler: " + templates +
           "standard.htm, Zeile 2: @FRISTNAME@ wird nicht ersetzt: Kein Feld heißt so; "
           "meinten Sie @FIRSTNAME@?",
       1},
      {"a placeholder in small letters",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.rtf", "@city@\r\n"}},
       "Fehler: " + templates +
           "standard.rtf, Zeile 1: @city@ wird nicht ersetzt: Platzhalter werden "
           "großgeschrieben: @CITY@",
       1},
      {"a template saved as UTF-8",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.txt", "a\r\nGrüße\r\n"}},
       "Fehler: " + templates +
           "standard.txt, Zeile 2: In UTF-8 gespeichert, doch gelesen wird die Vorlage im "
           "ANSI-Zeichensatz windows-1252: Outlook zeigt \"Ã¼\" statt \"ü\"; die Vorlage im ANSI-Zeichensatz speichern",
       1},
      {"a charset that is not the signature's",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm",
         "<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\r\n"}},
       "Warnung: " + templates +
           "standard.htm, Zeile 1: <meta charset> nennt 'utf-8', die Signatur ist aber in "
           "windows-1252 geschrieben; charset=windows-1252 angeben",
       0,
       1},
      {"LF line ends",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.rtf", "{\\rtf1\r\n@FIRSTNAME@\n}\n"}},
       "Warnung: " + templates +
           "standard.rtf, Zeile 2: Zeilenende nur LF (ohne CR), wie Git oder ein Mac-Editor "
           "schreibt; ohne DropEmptyLines=1 gilt die Datei als eine Zeile; mit CR LF speichern",
       0,
       1},
      {"LF line ends read line by line",
       "DropEmptyLines=1\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard.rtf", "{\\rtf1\r\n@FIRSTNAME@\n}\n"}},
       "Hinweis: " + templates +
           "standard.rtf, Zeile 2: Zeilenende nur LF (ohne CR), wie Git oder ein Mac-Editor "
           "schreibt; mit DropEmptyLines=1 wird die Datei Zeile für Zeile gelesen, die Zeilenenden bleiben LF",
       0,
       0},
      {"an htm saved as UTF-8 that says so: one fix",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm",
         "<meta charset=\"utf-8\">\r\n<p>Grüße @FIRSTNAME@</p>\r\n"}},
       "Fehler: " + templates +
           "standard.htm, Zeile 2: In UTF-8 gespeichert, doch gelesen wird die Vorlage im "
           "ANSI-Zeichensatz windows-1252: Outlook zeigt \"Ã¼\" statt \"ü\"; die Vorlage im "
           "ANSI-Zeichensatz speichern und in <meta charset> windows-1252 angeben",
       1},
      {"images of a signature name with capitals, a gif too",
       "TargetSignType=Standard\r\nImageTypes=gif,png\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm", "<img src=\"standard_logo.gif\">\r\n"},
        {"cfg/Vorlagen/standard_logo.gif", "gif"},
        {"cfg/Vorlagen/standard_foto.png", "png"}},
       "Warnung: " + templates +
           "standard.htm, Zeile 1: Das Bild 'standard_logo.gif' wird nicht neben die Signatur "
           "kopiert: der Signaturname 'Standard' hat Großbuchstaben, und Bilder werden nur zu "
           "kleingeschriebenen Namen kopiert\nWarnung: " + templates +
           "standard_foto.png: Wird nicht kopiert: der Signaturname 'Standard' hat Großbuchstaben, und "
           "Bilder werden nur zu kleingeschriebenen Namen kopiert\nWarnung: " + templates +
           "standard_logo.gif: Wird nicht kopiert: der Signaturname 'Standard' hat Großbuchstaben, und "
           "Bilder werden nur zu kleingeschriebenen Namen kopiert",
       0,
       3},
      {"an image the template shows that is never copied, and why",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm", "<img src=\"standard_logo.png\">\r\n"},
        {"cfg/Vorlagen/standard_logo.png", "png"}},
       "Warnung: " + templates +
           "standard.htm, Zeile 1: Das Bild 'standard_logo.png' wird nicht neben die Signatur "
           "kopiert: neben die Signatur kommen nur Bilder vom Typ gif, jpg, jpeg\nWarnung: " + templates +
           "standard_logo.png: Wird nie kopiert: neben die Signatur kommen nur Bilder vom Typ gif, jpg, "
           "jpeg (weitere nennt ImageTypes, etwa ImageTypes=gif,jpg,jpeg,png)",
       0,
       2},
      {"an image type that is never copied",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard_logo.png", "png"}},
       "Warnung: " + templates +
           "standard_logo.png: Wird nie kopiert: neben die Signatur kommen nur Bilder vom "
           "Typ gif, jpg, jpeg (weitere nennt ImageTypes, etwa ImageTypes=gif,jpg,jpeg,png)",
       0,
       1},
      {"a PNG logo with ImageTypes naming PNG",
       "ImageTypes=png, gif\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard_logo.png", "png"}},
       "",
       0},
      {"an image type Outlook does not show in ImageTypes",
       "ImageTypes=gif,svg\r\n",
       "",
       "",
       {},
       "Fehler: [Main] ImageTypes: Ungültiger Wert 'svg' in 'ImageTypes' (erlaubt: gif, jpg, jpeg, png, bmp)",
       1},
      {"an SVG is never copied, and no key helps",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard_logo.svg", "<svg/>"}},
       "Warnung: " + templates +
           "standard_logo.svg: Wird nie kopiert: neben die Signatur kommen nur Bilder vom Typ gif, jpg, jpeg",
       0,
       1},
      {"signatures per mailbox without a directory",
       "MailboxSignatures=1\r\n",
       "",
       "",
       {},
       "Fehler: [Main] MailboxSignatures: 'MailboxSignatures' braucht das Active Directory, doch in "
       "'LDAPBaseObjectDN' ist kein DN konfiguriert",
       1},
      {"a mailbox placeholder without its key",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.txt", "@MAILBOX_PHONE@\r\n"}},
       "Fehler: " + templates +
           "standard.txt, Zeile 1: @MAILBOX_PHONE@ wird nicht ersetzt: Dieser Platzhalter gilt nur mit "
           "MailboxSignatures=1",
       1},
      {"a mailbox placeholder in another configuration's template",
       "",
       "",
       "",
       {{"cfg/Vorlagen/team.htm",
         "@MAILBOX_PHONE@\r\n<img src=\"team_logo.gif\">\r\n@MANAGER_PHONE@ @FRISTNAME@\r\n"},
        {"cfg/Vorlagen/team_logo.gif", "gif"}},
       // A mistyped name is an error in any template; what waits for a key one note.
       "Fehler: " + templates + "team.htm, Zeile 3: @FRISTNAME@ wird nicht ersetzt: Kein Feld heißt so; "
           "meinten Sie @FIRSTNAME@?\nHinweis: " + templates +
           "team.htm, Zeile 1: @MAILBOX_PHONE@ und 1 weitere: Dieser Platzhalter gilt nur mit "
           "MailboxSignatures=1; diese Konfiguration schreibt aus der Vorlage keine Signatur",
       1},
      {"the manager without directory bases",
       "ManagerData=1\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard.txt", "i. A. @MANAGER_LASTNAME@\r\n"}},
       "Fehler: [Main] ManagerData: 'ManagerData' braucht das Active Directory, doch in "
       "'LDAPBaseObjectDN' ist kein DN konfiguriert",
       1},
      {"the photo without its mapping",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm", "<img src=\"@PHOTO@\">\r\n"}},
       "Fehler: " + templates +
           "standard.htm, Zeile 1: @PHOTO@ wird nicht ersetzt: Dieser Platzhalter gilt nur mit einem "
           "Schlüssel 'Photo' in [FieldMapping]",
       1},
      {"a block's end without conditions",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.txt", "a\r\n@ENDIF@\r\n"}},
       "Fehler: " + templates +
           "standard.txt, Zeile 2: @ENDIF@ wird nicht ersetzt: Dieser Platzhalter gilt nur mit "
           "TemplateConditions=1",
       1},
      {"blocks that are well formed",
       "TemplateConditions=1\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard.txt", "@IF MOBILE@\r\nMobil @MOBILE@\r\n@Else@\r\n-\r\n@endif@\r\n"}},
       "",
       0},
      {"a block that is never closed",
       "TemplateConditions=1\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard.rtf", "{\\rtf1\r\n@IF MOBILE@\r\nMobil\r\n}\r\n"}},
       "Fehler: Vorlage 'standard': Vorlage '" + templates + "standard.rtf', Zeile 2: IF ohne ENDIF",
       1},
      {"the templates of a rule the checking user does not match",
       "",
       "[Rule1]\r\nCity=Gd*\r\nSignType=polska\r\n",
       "",
       {},
       [&] {
         std::string lines;
         for (const char* ext : {"htm", "rtf", "txt"}) {
           lines += std::string(lines.empty() ? "" : "\n") + "Fehler: Vorlage 'polska': Die Datei '" + templates +
                    "polska." + ext +
                    "' fehlt; ein Lauf endet mit \"Fehlende Dateien für die Vorlage 'polska'\" (für wen "
                    "[Rule1] SignType gilt)";
         }
         return lines;
       }(),
       3},
      {"three wrong markers in three templates, all in one pass",
       "TemplateConditions=1\r\nFixedSignTypeReply=antwort\r\n",
       "[Rule1]\r\nCity=Gd*\r\nSignType=polska\r\n",
       "",
       {{"cfg/Vorlagen/standard.htm", "<p class=MsoNormal>@IF MOBIL@<o:p></o:p></p>\r\n<p>x</p>\r\n@ENDIF@\r\n"},
        {"cfg/Vorlagen/antwort.htm", "a\r\n"},
        {"cfg/Vorlagen/antwort.rtf", "{\\rtf1\r\n@IF MOBILE@\\par Mobil\\par\r\n@ENDIF@\r\n}\r\n"},
        {"cfg/Vorlagen/antwort.txt", "a\r\n"},
        {"cfg/Vorlagen/polska.htm", "p\r\n"},
        {"cfg/Vorlagen/polska.rtf", "p\r\n"},
        {"cfg/Vorlagen/polska.txt", "@IF\r\nMOBILE@\r\n@ENDIF@\r\n"}},
       "Fehler: Vorlage 'standard': Vorlage '" + templates +
           "standard.htm', Zeile 1: Unbekannte Bedingung '@IF MOBIL@'; meinten Sie MOBILE?\n"
           "Fehler: Vorlage 'antwort': Vorlage '" + templates +
           "antwort.rtf', Zeile 2: '@IF MOBILE@' steht nicht allein in der Zeile; jede Bedingung gehört "
           "in eine eigene Zeile\nFehler: Vorlage 'polska': Vorlage '" + templates +
           "polska.txt', Zeile 1: '@IF' ohne schließendes '@'",
       3},
      {"a group condition without directory bases",
       "TemplateConditions=1\r\n",
       "",
       "",
       {{"cfg/Vorlagen/standard.txt", "@IF MEMBEROF=Vertrieb@\r\nx\r\n@ENDIF@\r\n"}},
       "Fehler: Vorlage 'standard': Vorlage '" + templates +
           "standard.txt', Zeile 1: '@IF MEMBEROF=Vertrieb@' braucht das Active Directory, doch in "
           "'LDAPBaseObjectDN' ist kein DN konfiguriert",
       1},
      {"an image that no signature's name begins",
       "",
       "",
       "",
       {{"cfg/Vorlagen/logo.gif", "gif"}},
       "Warnung: " + templates +
           "logo.gif: Gehört zu keiner Signatur: ein Bild wird kopiert, wenn sein Name "
           "mit dem Signaturnamen beginnt ('standard')",
       0,
       1},
      {"an image the template shows but no signature gets",
       "",
       "",
       "",
       {{"cfg/Vorlagen/standard.htm", "<img src=\"logo.gif\">\r\n"}},
       "Warnung: " + templates +
           "standard.htm, Zeile 1: Das Bild 'logo.gif' gibt es im Vorlagenordner nicht",
       0,
       1},
      {"two names that differ in case only",
       "",
       "",
       "",
       {{"cfg/Vorlagen/Standard.txt", "x\r\n"}},
       "Warnung: " + templates +
           ": 'Standard.txt', 'standard.txt' unterscheiden sich nur in der Groß- und "
           "Kleinschreibung; Windows kennt nur einen dieser Namen, genommen wird 'Standard.txt'",
       0,
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(sb_.Path("cfg/Vorlagen"));
    sb_.Templates("standard", "Hallo @FIRSTNAME@\r\n");
    for (const auto& [rel, bytes] : row.files) sb_.Write(rel, bytes);
    sb_.Configure((row.main.starts_with("FixedSignType") ? "" : "FixedSignType=standard\r\n") +
                      row.main,
                  "FirstName=\r\n" + row.sections);
    const std::string report = Check(row.args);
    EXPECT_EQ(report,
              (row.line.empty() ? "" : row.line + "\n") + Summary(row.errors, row.warnings));
    EXPECT_EQ(result_.exitCode, row.errors > 0 ? 1 : 0);
  }
}

TEST_P(CheckTest, TheConfigurationFile) {
  // Missing: the one finding with the file looked for, and the check ends there.
  std::string report = Check();
  EXPECT_EQ(report, "Fehler: Konfigurationsdatei: Konfigurationsdatei '" + sb_.Win("cfg/site.ini") +
                        "' nicht gefunden (Parameter=/CHECK /INI:" + sb_.Win("cfg/site.ini") + ")\n" +
                        Summary(1, 0));
  EXPECT_EQ(result_.exitCode, 1);
  // Without /INI: the program's name with .ini beside it, which the command line does not tell.
  const fs::path bin = sb_.InstallProgram("bin");
  const std::string beside = sb_.Win("bin") + "\\" + fs::directory_iterator(bin)->path().stem().string();
  result_ = sb_.Run("/CHECK");
  EXPECT_EQ(Report(result_.output), "Fehler: Konfigurationsdatei: Konfigurationsdatei '" + beside +
                                        ".ini' nicht gefunden (Parameter=/CHECK)\n" + Summary(1, 0));
  // Saved as UTF-8 by an editor: with the mark Windows loses its first section,
  // without it every umlaut of a value turns into two characters.
  const std::string body =
      "[Main]\r\nAppDataPath=%QM_APPDATA%\r\n; Grüße\r\nFixedSignType=standard\r\n"
      "EMailAccount=Jörg\r\n";
  sb_.MakeDir("app");
  sb_.Write("cfg/site.ini", body);
  EXPECT_EQ(
      Check(),
      "Warnung: " + sb_.Win("cfg/site.ini") +
          ", Zeile 5: UTF-8-Zeichen ohne Byte-Order-Mark: "
          "gelesen wird die Datei im ANSI-Zeichensatz, aus \"ü\" wird \"Ã¼\"; im ANSI-Zeichensatz "
          "speichern\n" +
          Summary(0, 1));
  sb_.Write("cfg/site.ini", "\xEF\xBB\xBF" + body);
  report = Check();
  EXPECT_NE(
      report.find(
          "Fehler: Konfigurationsdatei: Die Konfigurationsdatei '" + sb_.Win("cfg/site.ini") +
          "' ist in UTF-8 (mit Byte-Order-Mark) gespeichert; bitte im ANSI-Zeichensatz (oder in "
          "UTF-16) speichern\n"),
      std::string::npos)
      << report;
  EXPECT_EQ(result_.exitCode, 1);
}

TEST_P(CheckTest, NothingIsWritten) {
  // Yesterday's signatures, a placeholder connection that a run would write
  // back, a folder a run would empty, no log: all stay as they were, and the
  // report goes to the standard output (or, with none, into its file).
  for (const char* file : {"alt.htm", "alt.rtf", "alt.txt", "alt_logo.gif"})
    sb_.Write(std::string("app/Microsoft/Signatures/") + file, file);
  sb_.Configure(
      "FixedSignType=standard\r\nEmptySignatureFolder=2\r\nDatabaseConnection=Provider=Microsoft.Jet."
      "OLEDB.4.0;Data Source=benutzer.mdb;Persist Security Info=False\r\nUserSelect=SELECT 1\r\n",
      "FirstName=Vorname\r\n");
  const auto registry = [this] {
    if (Linux()) return sb_.Read("registry.reg");
    sb_.Wine({"reg", "export", "HKEY_CURRENT_USER\\Software", sb_.Win("export.reg"), "/y"});
    return sb_.Read("export.reg");
  };
  const std::string before = registry();
  const Tree cfg = ReadTree(sb_.Path("cfg")), app = ReadTree(sb_.Path("app"));
  const std::string printed = Check();
  EXPECT_EQ(result_.exitCode, 1);  // no Jet database here
  EXPECT_NE(printed.find("Fehler: [Main] DatabaseConnection: Keine Verbindung: "),
            std::string::npos)
      << printed;
  EXPECT_EQ(ReadTree(sb_.Path("cfg")), cfg);
  EXPECT_EQ(ReadTree(sb_.Path("app")), app);
  EXPECT_EQ(registry(), before);

  // Without a standard output, the same report in its file beside the configuration.
  const RunResult closed = sb_.RunRedirected("/CHECK /INI:" + sb_.Win("cfg/site.ini"), ">&-",
                                             {{"QM_APPDATA", sb_.Win("app")}});
  EXPECT_EQ(closed.exitCode, 1);
  const std::string file = sb_.Read("cfg/Quillmark-Check.txt");
  EXPECT_EQ(Convert(file, "WINDOWS-1252", "UTF-8"),
            std::regex_replace(printed, std::regex("\n"), "\r\n"));
  fs::remove(sb_.Path("cfg/Quillmark-Check.txt"));
  EXPECT_EQ(ReadTree(sb_.Path("cfg")), cfg);

  // /DEBUG:LOG asks for a log: the findings are in it.
  Check("/DEBUG:LOG");
  EXPECT_NE(sb_.Read("cfg/run.log").find("-> Fehler: [Main] DatabaseConnection: Keine Verbindung"),
            std::string::npos);
}

TEST_P(CheckTest, TheDatabase) {
  // A relative Data Source resolves against the current folder (the sandbox
  // here); the query's result lacks a mapped column.
  const std::string user = sb_.UserName();
  sb_.Sqlite("cfg/benutzer.db",
             "CREATE TABLE Benutzer (Benutzername text, Vorname text);\n"
             "INSERT INTO Benutzer VALUES ('" +
                 user + "', 'Jörg');\n");
  const std::string select = "SELECT * FROM Benutzer WHERE Benutzername = '" + user + "'";
  sb_.Configure(
      "FixedSignType=standard\r\nDatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source="
      "cfg\\benutzer.db\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n",
      "FirstName=Vorname\r\nPhone=Telefon\r\n");
  EXPECT_EQ(
      Check(),
      "Warnung: [Main] DatabaseConnection: Die Datenbankdatei 'cfg\\benutzer.db' ist relativ "
      "angegeben und wird gegen den aktuellen Ordner aufgelöst, hier zu '" +
          sb_.Win("cfg") +
          "\\benutzer.db'; ein Anmeldeskript startet in einem anderen Ordner, daher den vollen Pfad "
          "angeben\nHinweis: Datenbank: Verbindung hergestellt\nHinweis: Datenbank: Benutzer '" +
          user + "' gefunden (Abfrage: " + select +
          ")\nFehler: [FieldMapping] Phone: Das Ergebnis der "
          "Abfrage hat keine Spalte 'Telefon' (es hat: Benutzername, Vorname)\n" +
          Summary(1, 1));
  EXPECT_EQ(result_.exitCode, 1);

  // The photo column is asked for as a run asks for it: a wrong one is named
  // with its field, beside a right one of the fields.
  sb_.Configure(
      "FixedSignType=standard\r\nDatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
          sb_.Win("cfg/benutzer.db") + "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n",
      "FirstName=Vorname\r\nPhoto=Bild\r\n");
  EXPECT_EQ(Check(),
            "Hinweis: Datenbank: Verbindung hergestellt\nHinweis: Datenbank: Benutzer '" + user +
                "' gefunden (Abfrage: " + select +
                ")\nFehler: [FieldMapping] Photo: Das Ergebnis der Abfrage hat keine Spalte 'Bild' (es hat: "
                "Benutzername, Vorname)\n" +
                Summary(1, 0));
  EXPECT_EQ(result_.exitCode, 1);
  // The right column, in another case, is no finding.
  sb_.Configure(
      "FixedSignType=standard\r\nDatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
          sb_.Win("cfg/benutzer.db") + "\r\nUserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'\r\n",
      "FirstName=BENUTZERNAME\r\nPhoto=vorname\r\n");
  EXPECT_EQ(Check(), "Hinweis: Datenbank: Verbindung hergestellt\nHinweis: Datenbank: Benutzer '" + user +
                         "' gefunden (Abfrage: " + select + ")\n" + Summary(0, 0));

  // A server that refuses the connection: its error, at once.
  sb_.Configure(
      "FixedSignType=standard\r\nDatabaseConnection=Provider=MSDASQL.1;Extended "
      "Properties=\"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
          std::to_string(FreeLoopbackPort()) +
          ";Database=postgres;Uid=quillmark\"\r\nUserSelect=SELECT 1\r\n",
      "FirstName=Vorname\r\n");
  const std::string refused = Check();
  EXPECT_TRUE(
      refused.starts_with("Fehler: [Main] DatabaseConnection: Keine Verbindung: Fehler "
                          "-2147467259: "))
      << refused;
  EXPECT_TRUE(refused.ends_with(Summary(1, 0))) << refused;
  EXPECT_LT(result_.seconds, 20);
}

class CheckDirectoryTest : public CheckTest {
 protected:
  static void TearDownTestSuite() { server_.reset(); }
  static inline std::unique_ptr<TestSlapd> server_;
};

TEST_P(CheckDirectoryTest, EachBaseAndTheUser) {
  if (!server_) server_ = std::make_unique<TestSlapd>(QM_TEST_TMP);
  // The linux build reaches the server through the client configuration,
  // the windows build names it in each base (see directory_test.cpp).
  const auto base = [this](const std::string& dn) {
    return Linux() ? dn : server_->Server() + "/" + dn;
  };
  Env env;
  if (Linux())
    env = {{"LDAPURI", server_->Uri()},
           {"LDAPCONF", "/dev/null"},
           {"LDAPRC", "quillmark-test-none"}};
  const std::string reader = std::string("LDAPReaderAccountName=") + kReaderDn +
                             "\r\nLDAPReaderAccountPassword=" + kReaderPassword + "\r\n";
  sb_.Configure("FixedSignType=standard\r\nLDAPBaseObjectDN=" + base(kTechnik) + ";" +
                    base(kVertrieb) + "\r\n" + reader,
                "LastName=*sn\r\nUserDef3=*displayName\r\n");
  const std::string found = Check("/ADUSER:mmuster", env);
  const std::string ldap = "Hinweis: [Main] LDAPBaseObjectDN, DN ";
  EXPECT_EQ(
      found,
      ldap + "1 '" + base(kTechnik) + "': Erreichbar; Benutzer 'mmuster' nicht darin\n" + ldap +
          "2 '" + base(kVertrieb) +
          "': Erreichbar; Benutzer 'mmuster' gefunden: "
          "cn=Max Mustermann,ou=Vertrieb,dc=quillmark,dc=test\nWarnung: [FieldMapping] UserDef3: "
          "Der Eintrag von 'mmuster' hat kein Attribut 'displayName'; das Feld bleibt leer\n" +
          Summary(0, 1));
  EXPECT_EQ(result_.exitCode, 0);

  // A manager's data comes from the directory: a field the database gives stays empty there.
  sb_.Sqlite("daten/b.db", "CREATE TABLE U (Name TEXT, Telefon TEXT);\nINSERT INTO U VALUES ('mmuster', '0711');\n"
                           "INSERT INTO U VALUES ('" + sb_.UserName() + "', '0711');\n");
  sb_.Write("cfg/Vorlagen/standard.txt", "i. A. @MANAGER_LASTNAME@, @MANAGER_PHONE@\r\n");
  sb_.Configure("FixedSignType=standard\r\nManagerData=1\r\nLDAPBaseObjectDN=" + base(kVertrieb) + "\r\n" +
                    reader + "DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                    sb_.Win("daten/b.db") + "\r\nUserSelect=SELECT * FROM U WHERE Name = '%USERNAME%'\r\n",
                "LastName=*sn\r\nPhone=Telefon\r\n");
  const std::string mapped = Check("/ADUSER:mmuster", env);
  EXPECT_NE(mapped.find("Warnung: " + sb_.Win("cfg/Vorlagen") +
                        "\\standard.txt, Zeile 1: @MANAGER_PHONE@ bleibt leer: Phone aus der Datenbankspalte "
                        "'Telefon'; Postfächer und Vorgesetzte liest nur das Active Directory (in [FieldMapping] "
                        "ein Attribut mit '*')\n"),
            std::string::npos)
      << mapped;
  EXPECT_EQ(mapped.find("@MANAGER_LASTNAME@"), std::string::npos) << mapped;
  sb_.Templates("standard", "Hallo @FIRSTNAME@\r\n");

  // The photo attribute and the manager's entry (ManagerData=1), searched as a
  // run searches them: a manager outside the bases, one that is not there and
  // one that is the entry itself leave the manager's fields empty, and a run
  // goes on.
  const struct {
    const char* name;
    std::string user, bases, photo;
    std::vector<std::string> lines;
    int warnings;
  } rows[] = {
      {"the manager in a base, the photo there", "mmuster", base(kVertrieb) + ";" + base(kTechnik), "jpegPhoto",
       {"Hinweis: [Main] ManagerData: Vorgesetzter von 'mmuster' gefunden: "
        "cn=Erika Berg,ou=Technik,dc=quillmark,dc=test\n"},
       0},
      {"the manager outside every base, a photo attribute the entry lacks", "mmuster", base(kVertrieb),
       "thumbnailPhoto",
       {"Warnung: [Main] ManagerData: Der Vorgesetzte 'cn=Erika Berg,ou=Technik,dc=quillmark,dc=test' von "
        "'mmuster' liegt unter keinem DN von 'LDAPBaseObjectDN'; die Felder des Vorgesetzten bleiben leer\n",
        "Warnung: [FieldMapping] Photo: Der Eintrag von 'mmuster' hat kein Attribut 'thumbnailPhoto'; "
        "kein Foto\n"},
       2},
      {"a manager that is not there", "doppelt", base(kTechnik), "",
       {"Warnung: [Main] ManagerData: Der Vorgesetzte 'cn=Gibt es nicht,ou=Technik,dc=quillmark,dc=test' "
        "von 'doppelt' wurde nicht gefunden; die Felder des Vorgesetzten bleiben leer\n"},
       1},
      {"the entry its own manager", "tief", base(kTechnik), "",
       {"Warnung: [Main] ManagerData: Der Vorgesetzte von 'tief' ist der eigene Eintrag "
        "'cn=Tiefe Kette,ou=Technik,dc=quillmark,dc=test'; die Felder des Vorgesetzten bleiben leer\n"},
       1},
      {"no manager", "eberg", base(kTechnik), "",
       {"Hinweis: [Main] ManagerData: Für 'eberg' ist kein Vorgesetzter eingetragen\n"},
       0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sb_.Configure("FixedSignType=standard\r\nManagerData=1\r\nLDAPBaseObjectDN=" + row.bases + "\r\n" + reader,
                  "LastName=*sn\r\n" + (row.photo.empty() ? "" : "Photo=*" + row.photo + "\r\n"));
    const std::string report = Check("/ADUSER:" + row.user, env);
    for (const std::string& line : row.lines) EXPECT_NE(report.find(line), std::string::npos) << line << report;
    EXPECT_TRUE(report.ends_with(Summary(0, row.warnings))) << report;
    EXPECT_EQ(result_.exitCode, 0);
  }

  // A server that takes the connection and never answers: the first base
  // costs the time limit, the second on the same server is not asked, and the
  // user is not reported missing (a run ends with the first failure).
  SilentServer silent;
  const std::string dead = silent.Server() + "/" + kVertrieb;
  sb_.Configure("FixedSignType=standard\r\nLDAPBaseObjectDN=" + dead + ";" + dead + "\r\n" + reader,
                "LastName=*sn\r\n");
  const std::string report = Check("/ADUSER:mmuster", env, 90);
  const std::string where = "[Main] LDAPBaseObjectDN, DN ";
  EXPECT_EQ(report,
            "Fehler: " + where + "1 '" + dead + "': Die Suche scheitert: Fehler -2147023436: " +
                (Linux() ? "Timed out" : "Zeitüberschreitung") + "\nHinweis: " + where + "2 '" +
                dead + "': Nicht abgefragt: derselbe Server hat zuvor nicht geantwortet\n" + Summary(1, 0));
  EXPECT_EQ(result_.exitCode, 1);
  EXPECT_LT(result_.seconds, Linux() ? 35 : 45);
}

TEST_P(CheckTest, AFailedRunOnTheTerminal) {
  // The linux build repeats the error line on standard error; the windows
  // build, a program without a console, leaves it to the log.
  sb_.Configure("FixedSignType=standard\r\nTemplateFolder=Fehlt\r\n");
  const RunResult r = sb_.RunRedirected("/INI:" + sb_.Win("cfg/site.ini"), "2>&1 >/dev/null",
                                        {{"QM_APPDATA", sb_.Win("app")}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output,
            Linux() ? "Fehler 999: Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden\n"
                    : "");
  EXPECT_EQ(
      sb_.Log(),
      "TS @" + qm::platform::text::ToUpper(sb_.UserName()) +
          " > Fehler 999: Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden\r\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, CheckTest, BothBuilds(), BuildParamName);
INSTANTIATE_TEST_SUITE_P(Builds, CheckDirectoryTest, BothBuilds(), BuildParamName);

}  // namespace
}  // namespace qmtest
