// /CHECK: the run's reading of its configuration, each fault a finding, and
// nothing written.
#include "run/CheckMode.h"

#include <algorithm>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "log/modHelper.h"
#include "outlook/AccountSections.h"
#include "outlook/modOutlook.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "records/Catalogue.h"
#include "records/Membership.h"
#include "records/Rules.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "run/CommandLine.h"
#include "run/ConfigurationCheck.h"
#include "signatures/Rendering.h"
#include "signatures/Rules.h"
#include "signatures/SignTypes.h"
#include "signatures/TemplateCheck.h"
#include "signatures/modFiles.h"
#include "support/modTools.h"
#include "userdata/SourceCheck.h"
#include "userdata/Sources.h"

namespace qm {
namespace {

using platform::text::EqualsNoCase;

// Section numbers longer than this are beyond every count of sections.
constexpr std::size_t kLongestSectionNumber = 6;
// The profile reader reads a configuration file of at most this size.
constexpr std::size_t kLargestConfiguration = std::size_t{16} << 20;

std::string ErrorText(const Error& e) { return qm::ErrorText(e.Number(), e.Description()); }

bool IsNumber(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos &&
         text.front() != '0';
}

std::vector<std::string_view> MainKeyNames() {
  std::vector<std::string_view> names;
  for (const catalogue::Key& key : catalogue::kMainKeys) names.push_back(key.Name);
  return names;
}

std::string Suggestion(const std::string& nearest) {
  return nearest.empty() ? "" : "; meinten Sie '" + nearest + "'?";
}

// What a run ignores of the command line: options it does not know, known
// ones without ":" and value, a /DEBUG value it does not know.
void CheckOptions(const std::string& argumentText, FindingList& findings) {
  const std::vector<std::string_view> known(std::begin(kOptionNames), std::end(kOptionNames));
  for (const CommandLineOption& option : SplitCommandLine(argumentText)) {
    const std::string written = "/" + option.Piece;
    const std::vector<std::string>& parts = option.Parts;
    const std::string& name = option.Name;
    if (name == "CHECK" || name == "VERSION") continue;
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      const std::string nearest = Settings::NearestName(name, known);
      findings.push_back({Severity::Warning, "Befehlszeile",
                          "Unbekannte Option '" + written + "' wird ignoriert" +
                              Suggestion(nearest.empty() ? "" : "/" + nearest)});
    } else if (parts.size() < 2) {
      findings.push_back({Severity::Warning, "Befehlszeile",
                          "Die Option '" + written + "' ohne ':' und Wert wird ignoriert"});
    } else if (name == "DEBUG") {
      const std::string value = ToUpper(Trim(parts[1]));
      if (value != "TRUE" && value != "DIALOG" && value != "LOG") {
        findings.push_back({Severity::Warning, "Befehlszeile",
                            "'" + written + "' schaltet nichts ein (erlaubt: TRUE, DIALOG, LOG)"});
      }
    }
  }
}

// A configuration saved as UTF-8 without the mark is read in the ANSI code
// page by Windows: every umlaut of a value becomes two characters.
void CheckConfigurationText(Run& run, FindingList& findings) {
  if (platform::AnsiCodePage() == platform::kUtf8CodePage) return;
  try {
    const std::size_t line = Utf8WithoutMarkLine(run.RunState.ConfigFilePath, kLargestConfiguration);
    if (line == 0) return;
    findings.push_back({Severity::Warning,
                        run.RunState.ConfigFilePath + ", Zeile " + std::to_string(line),
                        "UTF-8-Zeichen ohne Byte-Order-Mark: gelesen wird die Datei im "
                        "ANSI-Zeichensatz, aus \"ü\" wird \"Ã¼\"; im ANSI-Zeichensatz speichern"});
  } catch (const Error&) {
    // The profile reader reads what it can; the existence check has spoken.
  }
}

// A value a run reads otherwise than its writer meant: a run refuses it, or
// takes it as off.
void CheckValue(const catalogue::Key& key, const std::string& name, const std::string& value,
                FindingList& findings) {
  if (Settings::IsValidValue(key, value)) return;
  const std::string v = Trim(value);
  const std::string where = "[Main] " + name;
  if (key.Refused) {
    findings.push_back({Severity::Error, where, Settings::InvalidValueText(key, value)});
  } else if (key.Read == catalogue::Reading::Flag) {
    findings.push_back({Severity::Warning, where,
                        "'" + v + "' schaltet nicht ein: nur 1 schaltet ein, 0 oder leer aus"});
  } else if (key.Name == "EmptySignatureFolder") {
    findings.push_back(
        {Severity::Warning, where,
         "'" + v + "' leert den Ordner nicht (1: in den Papierkorb, 2: endgültig löschen)"});
  } else {
    findings.push_back({Severity::Warning, where, Settings::InvalidValueText(key, value)});
  }
}

// Sections and keys that no run reads, each with the nearest one it does read.
void CheckSectionsAndKeys(Run& run, FindingList& findings) {
  const std::string& file = run.RunState.ConfigFilePath;
  const std::vector<std::string_view> mainKeys = MainKeyNames();
  const std::vector<std::string_view> mappingKeys(std::begin(catalogue::kFieldMappingKeys),
                                                  std::end(catalogue::kFieldMappingKeys));
  std::vector<std::string_view> sectionNames = {catalogue::kMainSection,
                                                catalogue::kFieldMappingSection};
  for (const catalogue::SectionKind* kind : catalogue::kSectionKinds)
    sectionNames.push_back(kind->Prefix);

  for (const std::string& section : platform::ReadProfileSectionNames(file)) {
    const std::string where = "[" + section + "]";
    if (EqualsNoCase(section, catalogue::kMainSection)) {
      for (const std::string& key : Settings::KeyNames(run, section)) {
        const catalogue::Key* known = Settings::MainKey(key);
        if (known == nullptr) {
          findings.push_back({Severity::Error, where + " " + key,
                              "Unbekannter Schlüssel '" + key + "', ein Lauf liest ihn nicht" +
                                  Suggestion(Settings::NearestName(key, mainKeys))});
        } else {
          CheckValue(*known, key, Settings::Main(run, key), findings);
        }
      }
      continue;
    }
    if (EqualsNoCase(section, catalogue::kFieldMappingSection)) {
      for (const std::string& key : Settings::KeyNames(run, section)) {
        if (Settings::IsFieldMappingKey(key)) continue;
        findings.push_back({Severity::Error, where + " " + key,
                            "Unbekannter Schlüssel '" + key + "', ein Lauf liest ihn nicht" +
                                Suggestion(Settings::NearestName(key, mappingKeys))});
      }
      continue;
    }
    const std::size_t stemEnd = section.find_last_not_of("0123456789") + 1;
    const std::string stem = section.substr(0, stemEnd);
    const std::string number = section.substr(stemEnd);
    const auto kind = std::find_if(catalogue::kSectionKinds.begin(), catalogue::kSectionKinds.end(),
                                   [&](const catalogue::SectionKind* k) {
                                     return EqualsNoCase(stem, k->Prefix);
                                   });
    if (kind != catalogue::kSectionKinds.end() && IsNumber(number)) {
      const int count = Settings::NumberedSectionCount(run, std::string((*kind)->Prefix));
      if (number.size() > kLongestSectionNumber || std::stoi(number) > count) {
        findings.push_back({Severity::Warning, where,
                            "Wird nie gelesen: es fehlt [" + std::string((*kind)->Prefix) +
                                std::to_string(count + 1) +
                                "], und gelesen wird nur bis zur ersten fehlenden Nummer"});
      }
      continue;
    }
    const std::string nearest = Settings::NearestName(stem, sectionNames);
    const bool numbered =
        std::any_of(catalogue::kSectionKinds.begin(), catalogue::kSectionKinds.end(),
                    [&](const catalogue::SectionKind* k) { return k->Prefix == nearest; });
    findings.push_back(
        {Severity::Warning, where,
         "Unbekannter Abschnitt, ein Lauf liest ihn nicht" +
             Suggestion(nearest.empty()
                            ? ""
                            : "[" + nearest + (numbered ? (number.empty() ? "1" : number) : "") +
                                  "]")});
  }
}

// "AuditRequire" names fields of the user data, as [FieldMapping] names them.
void CheckRequiredFields(Run& run, FindingList& findings) {
  const std::vector<std::string_view> fields(kUserFieldNames.begin(), kUserFieldNames.end());
  for (const std::string& piece : Split(Settings::Main(run, "AuditRequire"), ",")) {
    const std::string name = Trim(piece);
    if (name.empty() || std::any_of(fields.begin(), fields.end(),
                                    [&](std::string_view f) { return EqualsNoCase(f, name); }))
      continue;
    findings.push_back({Severity::Error, "[Main] AuditRequire",
                        "'" + name + "' ist kein Feld der Benutzerdaten" +
                            Suggestion(Settings::NearestName(name, fields))});
  }
}

// The folders of the run, as steps 9 to 11 find them; false when the template
// folder is missing.
bool CheckFolders(Run& run, FindingList& findings, bool runningUser) {
  const std::string appData =
      Settings::AppDataPath(run).value_or(Trim(platform::EnvironmentValue("APPDATA")));
  run.SharedDir.Path = appData;
  if (!run.SharedDir.Exists()) {
    // An audit's previews write nothing there: the folder of the PC that
    // audits is none of the users'.
    if (runningUser) {
      findings.push_back({Severity::Error, "[Main] AppDataPath",
                          "Anwendungsdatenordner '" + appData + "' nicht gefunden"});
    }
  } else {
    run.RunState.AppDataFolderPath = appData;
    const std::string signatures = AddBackslash(AddBackslash(appData) + "Microsoft") +
                                   SignatureFolderName(run);
    run.RunState.SignatureFolderPath = AddBackslash(signatures);
    run.SharedDir.Path = signatures;
    if (run.SharedDir.Exists()) CheckCaseTwins(run.RunState.SignatureFolderPath, findings);
  }
  const std::string templates = Settings::TemplateFolder(run);
  run.SharedDir.Path = templates;
  if (!run.SharedDir.Exists()) {
    findings.push_back(
        {Severity::Error, "[Main] TemplateFolder",
         "Angebener Ordner mit den Signaturvorlagen wurde nicht gefunden: '" + templates + "'"});
    return false;
  }
  run.RunState.TemplateFolderPath = AddBackslash(templates);
  return true;
}

std::size_t Count(const FindingList& findings, Severity level) {
  return static_cast<std::size_t>(std::count_if(
      findings.begin(), findings.end(), [level](const Finding& f) { return f.Level == level; }));
}

// The sign types a source gives: which, the checking user's aside, no check sees.
void NoteSourceSignTypes(Run& run, FindingList& findings) {
  std::string sources;
  for (const UserField field : {UserField::SignType, UserField::SignTypeReply}) {
    const FieldMapping& mapping = run.FieldMappings[static_cast<std::size_t>(field)];
    if (mapping.Source.empty()) continue;
    sources += std::string(sources.empty() ? "" : ", ") + kUserFieldNames[static_cast<std::size_t>(field)] +
               (mapping.Source == "DB" ? " aus der Datenbankspalte '" : " aus dem Attribut '") +
               mapping.SourceName + "'";
  }
  if (sources.empty()) return;
  findings.push_back({Severity::Note, "[FieldMapping]",
                      "Signaturtypen der Quellen (" + sources + ") sind nur für '" + run.RunState.UserName +
                          "' geprüft; die anderer Benutzer sieht erst ihr Lauf"});
}

// Every template this configuration can name, whoever runs it: its files,
// placeholders and images, and every wrong marker of each in one pass.
void CheckEveryTemplate(Run& run, const std::vector<PlannedSignature>& plan, FindingList& findings) {
  const std::vector<NamedTemplate> named = ConfiguredTemplates(run);
  CheckTemplates(run, plan, findings, named);
  NoteSourceSignTypes(run, findings);
  if (!run.RunState.TemplateConditions) return;
  const SignatureData data = SignatureDataFor(run, nullptr);
  std::set<std::string> checked;
  const auto check = [&](const std::string& signType) {
    if (!checked.insert(ToLower(signType)).second) return;
    std::vector<std::string> errors;
    try {
      CheckTemplateConditions(run, signType, data, &errors);
    } catch (const Error& e) {
      errors.push_back(e.Description());
    }
    for (const std::string& error : errors)
      findings.push_back({Severity::Error, "Vorlage '" + signType + "'", error});
  };
  for (const PlannedSignature& p : plan) {
    if (!p.Skipped) check(p.SignType);
  }
  for (const NamedTemplate& n : named) check(n.SignType);
}

// What a check is about: the configuration and the user who runs it, or (an
// audit's) the configuration alone, whose users each run for themselves.
enum class CheckScope { RunningUser, ConfigurationOnly };

void CheckSteps(Run& run, const std::string& argumentText, FindingList& findings,
                CheckScope scope = CheckScope::RunningUser) {
  const bool runningUser = scope == CheckScope::RunningUser;
  const CommandLineOptions options = ParseCommandLine(argumentText);
  // The check asks nothing and shows no window: it never waits for anyone.
  // An audit writes nothing outside its folder: no log of its check.
  run.RunState.DebugLog = options.DebugLog && runningUser;
  run.RunState.DirectoryUser = options.DirectoryUser;
  CheckOptions(argumentText, findings);

  SetProvisionalLogFile(run);
  if (const std::optional<std::string> refusal = platform::CodePageRefusal()) {
    findings.push_back({Severity::Error, "QUILLMARK_CODEPAGE", *refusal});
    return;
  }
  try {
    LocateConfigFile(run, options.ConfigParameter, argumentText);
  } catch (const Error& e) {
    // The run's text names the command line only; which file was looked for
    // (beside the program, without /INI) is what the reader needs.
    const bool missing = e.Description() == ConfigFileMissingText(argumentText);
    findings.push_back({Severity::Error, "Konfigurationsdatei",
                        missing ? "Konfigurationsdatei '" + run.RunState.ConfigFilePath +
                                      "' nicht gefunden (Parameter=" + argumentText + ")"
                                : e.Description()});
    run.SharedFile.FileName = run.RunState.ConfigFilePath;
    if (!run.SharedFile.Exists()) return;
  }
  try {
    DetermineLogFile(run);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, "[Main] LogFile", e.Description()});
  }
  WriteLog(run, std::string("Starte ") + kProgramTitle + "|" + VersionText(), true, false);
  WriteLog(run, "...Konfigurationsdatei|" + run.RunState.ConfigFilePath);
  WriteLog(run, "Prüfe Konfiguration");

  CheckConfigurationText(run, findings);
  CheckSectionsAndKeys(run, findings);
  CheckRequiredFields(run, findings);
  run.RunState.Today = platform::LocalDate();
  if (options.DateParameter) {
    if (const std::optional<platform::Date> date = ParseDate(*options.DateParameter)) {
      run.RunState.Today = *date;
    } else {
      findings.push_back(
          {Severity::Error, "/DATE",
           "Ungültiges Datum '" + *options.DateParameter + "' in /DATE (erwartet JJJJ-MM-TT)"});
    }
  }
  try {
    DetermineOutlookVersion(run);
  } catch (const Error& e) {
    findings.push_back({Severity::Warning, "Outlook",
                        e.Description() + "; auf diesem PC endet ein Lauf mit Fehler " +
                            std::to_string(e.Number())});
  }
  run.RunState.UserName = Trim(platform::EnvironmentValue("USERNAME"));
  const bool templateFolder = CheckFolders(run, findings, runningUser);
  run.RunState.PlaceholderSymbol = Settings::PlaceholderSymbol(run);
  run.RunState.EscapeValues = Settings::EscapeValues(run);
  run.RunState.DropEmptyLines = Settings::DropEmptyLines(run);
  run.RunState.TemplateConditions = Settings::TemplateConditions(run);
  try {
    run.RunState.ImageTypes = Settings::ImageTypes(run);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, "[Main] ImageTypes", e.Description()});
  }

  // The configuration check of step 16, every refusal a finding.
  ReadFixedSignTypes(run);
  ReadFieldMappings(run);
  ReadRules(run, &findings);
  ReadAccountSections(run, &findings);
  try {
    CheckMailboxDirectory(run);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, "[Main] MailboxSignatures", e.Description()});
  }
  try {
    CheckManagerDirectory(run);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, "[Main] ManagerData", e.Description()});
  }
  // Everything from here on is about the user who runs the check.
  if (!runningUser) {
    if (templateFolder) CheckEveryTemplate(run, {}, findings);
    return;
  }
  // The profile's mailboxes, as a run reads them before the sources.
  if (Settings::MailboxSignatures(run)) {
    try {
      ReadMailboxes(run, &findings);
    } catch (const Error& e) {
      findings.push_back({Severity::Error, "[Main] MailboxSignatures",
                          "Die Konten des Outlook-Profils sind nicht lesbar: " + ErrorText(e)});
    }
  }

  // The sources, for the user of /ADUSER or the Windows user.
  const bool directory = run.UseDirectory || RulesNeedDirectory(run);
  if (!options.DirectoryUser.empty() && !directory) {
    findings.push_back(
        {Severity::Warning, "/ADUSER",
         "Diese Konfiguration liest kein Active Directory: /ADUSER wirkt in einem Lauf "
         "nicht (die Datenbank sucht nach dem Windows-Benutzer)"});
  }
  if (!options.DirectoryUser.empty()) run.RunState.UserName = options.DirectoryUser;
  const std::size_t errorsBefore = Count(findings, Severity::Error);
  if (run.UseDatabase) CheckDatabase(run, run.RunState.UserName, findings);
  if (directory) CheckDirectory(run, run.RunState.UserName, run.UseDirectory, RulesNeedGroups(run), findings);
  const bool sourcesAnswered = Count(findings, Severity::Error) == errorsBefore;
  run.RuleOutcome = ApplyRules(run, run.UserData, run.Membership);

  std::vector<PlannedSignature> plan;
  try {
    ResolveSignTypes(run);
    plan = PlannedSignatures(run);
    CheckAccountSectionNames(run, plan, &findings);
  } catch (const Error& e) {
    // Without an answer of the sources, their sign types are unknown. The
    // run's text blames the database; most often a key is mistyped.
    const std::string why = run.UserData[UserField::SignType].empty()
                                ? ": für '" + run.RunState.UserName +
                                      "' nennt weder FixedSignType noch eine Quelle (SignType "
                                      "in [FieldMapping]) noch eine Regel einen Signaturtyp"
                                : "";
    if (sourcesAnswered) findings.push_back({Severity::Error, "SignTypes", e.Description() + why});
  }
  if (templateFolder) CheckEveryTemplate(run, plan, findings);
}

std::string LevelText(Severity level) {
  switch (level) {
    case Severity::Error: return "Fehler";
    case Severity::Warning: return "Warnung";
    default: return "Hinweis";
  }
}

// The findings file of a program that has no console to print to.
void WriteReportFile(Run& run, const std::string& report) {
  run.SharedDir.Path = run.RunState.ProgramFolderPath;
  const std::string folder = !run.RunState.ProgramFolderPath.empty() && run.SharedDir.Exists()
                                 ? run.RunState.ProgramFolderPath
                                 : AddBackslash(GetAppFolder());
  try {
    platform::OutputFile file(folder + kCheckReportName, platform::OutputFile::Mode::Replace);
    file.Write(platform::ToAnsi(ReplaceAll(report, "\n", "\r\n")));
    file.Close();
  } catch (const Error&) {
    // Nowhere to report: the exit status still tells.
  }
}

}  // namespace

std::string CheckReport(const FindingList& findings) {
  std::string report;
  for (const Finding& f : findings)
    report += LevelText(f.Level) + ": " + f.Where + ": " + f.What + "\n";
  const std::size_t errors = Count(findings, Severity::Error);
  const std::size_t warnings = Count(findings, Severity::Warning);
  report += "Prüfung beendet: " + std::to_string(errors) + " Fehler, " + std::to_string(warnings) +
            (warnings == 1 ? " Warnung" : " Warnungen") + "\n";
  return report;
}

namespace {

// The findings of a check; an error that ends it early is one of them.
FindingList Findings(Run& run, const std::string& argumentText, CheckScope scope) {
  run.RunState.Check = true;
  FindingList findings;
  try {
    CheckSteps(run, argumentText, findings, scope);
  } catch (const Error& e) {
    findings.push_back({Severity::Error, "Prüfung", ErrorText(e)});
  } catch (const std::bad_alloc&) {
    findings.push_back({Severity::Error, "Prüfung", ErrorText(err::Make(err::kOutOfMemory))});
  } catch (const std::exception& e) {
    findings.push_back({Severity::Error, "Prüfung", std::string("Interner Fehler: ") + e.what()});
  }
  return findings;
}

}  // namespace

FindingList CheckConfigurationOnly(Run& run, const std::string& argumentText) {
  return Findings(run, argumentText, CheckScope::ConfigurationOnly);
}

int RunCheck(Run& run, const std::string& argumentText) {
  const FindingList findings = Findings(run, argumentText, CheckScope::RunningUser);
  const std::string report = CheckReport(findings);
  try {
    for (const Finding& f : findings)
      WriteLog(run, "-> " + LevelText(f.Level) + "|" + f.Where + ": " + f.What);
    WriteLog(run, "Fertig ... Prüfung beendet", false, true);
  } catch (...) {
    // A log that cannot be written changes nothing of the report.
  }
  if (!platform::Write(platform::Stream::Output, report)) WriteReportFile(run, report);
  run.SharedFile = clsFileLib{};
  run.SharedDir = clsDirLib{};
  return Count(findings, Severity::Error) == 0 ? kExitFinished : kExitError;
}

}  // namespace qm
