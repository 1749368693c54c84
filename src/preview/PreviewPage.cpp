// The preview page of a simulation (see PreviewPage.h). Written in UTF-8, not
// in the ANSI code page of the signatures: the page shows every value as the
// run holds it, whatever the code page of the signatures could carry.
#include "preview/PreviewPage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "log/modHelper.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "records/MailAccounts.h"
#include "records/Mailboxes.h"
#include "records/ProducedSignatures.h"
#include "records/RegistryRecord.h"
#include "records/Rules.h"
#include "records/RunState.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "support/clsRegistry.h"
#include "support/modTools.h"

namespace qm {
namespace {

namespace reg = platform::registry;

constexpr std::string_view kCrLf = "\r\n";
// A txt signature is shown up to this size; a template can be made to render
// into megabytes, which no one reads on a page.
constexpr std::size_t kMaxTextBytes = std::size_t{1} << 20;
constexpr std::size_t kReadChunk = std::size_t{1} << 16;
// A file name that a signature of the run must not have: its htm would be the page.
constexpr std::string_view kPageBaseName = "index";
constexpr std::size_t kDwordBytes = 4;
// The UTF-16 NUL that ends 16-bit text.
constexpr std::string_view kWideTerminator{"\0\0", 2};

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "table{border-collapse:collapse}th,td{border:1px solid #bbb;padding:2px 8px;text-align:left}"
    "th{background:#eee;font-weight:normal}"
    "section{border-top:2px solid #888;margin-top:2em}"
    ".formats{display:flex;gap:1em;align-items:stretch}"
    "iframe{flex:3;min-height:15em;border:1px solid #bbb;background:#fff}"
    "pre{flex:2;margin:0;background:#f6f6f6;border:1px solid #ddd;padding:.5em;white-space:pre-wrap}"
    "img{max-width:20em;border:1px dashed #bbb;margin:0 .5em .5em 0}"
    "td code{white-space:pre;font-size:90%}td.text{white-space:pre-wrap}";

std::string Html(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// A file of the preview folder as a relative link (of its UTF-8 name).
std::string Link(std::string_view name) { return RelativeLink(name); }

// A file the run wrote, in the ANSI code page, up to the limit.
std::string ReadBack(const std::string& path) {
  platform::InputFile file(path);
  std::string bytes;
  std::array<char, kReadChunk> buffer{};
  while (bytes.size() <= kMaxTextBytes) {
    const std::size_t n = file.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    bytes.append(buffer.data(), n);
  }
  const bool cut = bytes.size() > kMaxTextBytes;
  if (cut) bytes.resize(platform::WholeCharacters(bytes, kMaxTextBytes));
  return platform::FromAnsi(bytes) + (cut ? "\r\n[… gekürzt]" : "");
}

// Appends the pieces and a line end.
template <typename... Pieces>
void Put(std::string& page, const Pieces&... pieces) {
  ((page += pieces), ...);
  page += kCrLf;
}

void Row(std::string& page, std::string_view label, std::string_view value) {
  Put(page, "<tr><th>", Html(label), "</th><td>", Html(value), "</td></tr>");
}

void Signature(const Run& run, std::string& page, const ProducedSignature& s) {
  const std::string& folder = run.RunState.SignatureFolderPath;
  const std::string htm = s.Target + ".htm", rtf = s.Target + ".rtf", txt = s.Target + ".txt";
  Put(page, "<section>");
  Put(page, "<h2>", Html(ReplaceAll(s.Heading, "|", ": ")), "</h2>");
  // A script in a template does not run here; its images and styles load
  // (from the preview folder, the iframe's own origin).
  page += "<div class=\"formats\">";
  Put(page, "<iframe sandbox=\"allow-same-origin\" src=\"", Link(htm), "\" title=\"", Html(htm),
      "\"></iframe>");
  Put(page, "<pre>", Html(ReadBack(folder + txt)), "</pre></div>");
  Put(page, "<p><a href=\"", Link(rtf), "\">", Html(rtf), "</a></p>");
  if (!s.Images.empty()) {
    page += "<p>";
    for (const std::string& image : s.Images) {
      page += "<img src=\"" + Link(image) + "\" alt=\"" + Html(image) + "\">";
    }
    Put(page, "</p>");
  }
  Put(page, "</section>");
}

// Which rule gave a sign type list, or that none did.
std::string RuleSource(const std::optional<int>& rule, const std::string& value) {
  return rule ? "Regel " + std::to_string(*rule) + ": " + value : "keine Regel (Einstellungen und Quellen)";
}

// The day the rules took, each rule's outcome and what the rules gave.
void RulesSection(const Run& run, std::string& page) {
  Put(page, "<h2>Regeln</h2><table>");
  Row(page, "Datum", DateText(run.RunState.Today));
  for (const Rule& rule : run.Rules) {
    const bool match = std::find(run.RuleOutcome.Matching.begin(), run.RuleOutcome.Matching.end(), rule.Number) !=
                       run.RuleOutcome.Matching.end();
    Row(page, "Regel " + std::to_string(rule.Number), match ? "trifft zu" : "trifft nicht zu");
  }
  Row(page, "SignType", RuleSource(run.RuleOutcome.SignTypeRule, run.UserData[UserField::SignType]));
  Row(page, "SignTypeReply", RuleSource(run.RuleOutcome.SignTypeReplyRule, run.UserData[UserField::SignTypeReply]));
  Put(page, "</table>");
}

// Which account got which signature names.
void AccountsSection(const Run& run, std::string& page) {
  Put(page, "<h2>E-Mail-Konten</h2><table>");
  Put(page, "<tr><th>Konto</th><th>Abschnitt</th><th>Neue Nachrichten</th><th>Antworten</th></tr>");
  for (const AccountDefaults& a : run.AccountAssignments) {
    Put(page, "<tr><td>", Html(a.Account), "</td><td>",
        a.Section != 0 ? "Account" + std::to_string(a.Section) : std::string("—"), "</td><td>", Html(a.NewName),
        "</td><td>", Html(a.ReplyName), "</td></tr>");
  }
  Put(page, "</table>");
}

// The mailbox whose signature this is; nullptr for the user's own.
const MailboxRecord* OwnerOf(const Run& run, const ProducedSignature& s) {
  for (const MailboxRecord& mailbox : run.Mailboxes) {
    if (s.Target.ends_with(mailbox.NameSuffix)) return &mailbox;
  }
  return nullptr;
}

// One mailbox: its address and entry, what the rules decided for it, the
// names its accounts get, and its signatures.
void MailboxSection(const Run& run, std::string& page, const MailboxRecord& mailbox) {
  Put(page, "<section><h2>Postfach ", Html(mailbox.Address), "</h2><table>");
  Row(page, "Konto", mailbox.AccountName);
  Row(page, "Active Directory", mailbox.Found ? mailbox.Membership.UserDn : "nicht gefunden");
  for (const LabelledField& f : kUserDataDump) {
    if (mailbox.Data[f.field].empty()) continue;
    std::string_view label = f.label;
    label.remove_suffix(1);  // its "="
    Row(page, label, mailbox.Data[f.field]);
  }
  if (mailbox.RuleOutcome.Checked) {
    for (const Rule& rule : run.Rules) {
      const auto& matching = mailbox.RuleOutcome.Matching;
      const bool match = std::find(matching.begin(), matching.end(), rule.Number) != matching.end();
      Row(page, "Regel " + std::to_string(rule.Number), match ? "trifft zu" : "trifft nicht zu");
    }
  }
  Row(page, "SignType", RuleSource(mailbox.RuleOutcome.SignTypeRule, mailbox.Data[UserField::SignType]));
  Row(page, "SignTypeReply",
      RuleSource(mailbox.RuleOutcome.SignTypeReplyRule, mailbox.Data[UserField::SignTypeReply]));
  for (const AccountDefaults& a : run.AccountAssignments) {
    if (std::none_of(mailbox.AccountKeys.begin(), mailbox.AccountKeys.end(),
                     [&](const std::string& key) { return SameKeyName(key, a.Key); }))
      continue;
    Row(page, "Konto " + a.Account, "Neue Nachrichten: " + a.NewName + "; Antworten: " + a.ReplyName);
  }
  Put(page, "</table></section>");
  for (const ProducedSignature& s : run.ProducedSignatures) {
    if (OwnerOf(run, s) == &mailbox) Signature(run, page, s);
  }
}

// The text a registry value holds, as the page shows it beside its bytes: a
// string's text, a DWORD's number, and the 16-bit text of binary data that is
// UTF-16LE ending in its terminator (as Outlook keeps signature and account
// names); "" for other data.
std::string ValueText(const reg::ExportedValue& v) {
  const std::string bytes(v.data.begin(), v.data.end());
  if (reg::IsTextType(v.type)) {
    std::string text = platform::FromAnsi(bytes.substr(0, bytes.find_last_not_of('\0') + 1));
    std::replace(text.begin(), text.end(), '\0', '\n');  // the strings of a multi-string value
    return text;
  }
  if (v.type == reg::kTypeDword && bytes.size() == kDwordBytes) {
    std::uint32_t n = 0;
    for (std::size_t i = kDwordBytes; i-- > 0;) n = (n << 8) | v.data[i];
    return std::to_string(n);
  }
  if (v.type != reg::kTypeBinary || bytes.size() % 2 != 0 || !bytes.ends_with(kWideTerminator))
    return "";
  const std::string_view units = std::string_view(bytes).substr(0, bytes.size() - 2);
  const std::string text = platform::text::Utf16LeToUtf8(units);
  const bool control = std::any_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < ' '; });
  return control || platform::text::Utf8ToUtf16Le(text) != units ? "" : text;
}

// The mail account of the run whose key this is, as the page names it; "" for another key.
std::string AccountOf(const Run& run, const std::string& key) {
  for (const MailAccount& account : run.MailAccounts) {
    if (!account.Key.empty() && key.ends_with("\\" + account.Key)) return "Konto: " + account.Name;
  }
  for (const AccountDefaults& account : run.AccountAssignments) {
    if (key.ends_with("\\" + account.Key)) return "Konto: " + account.Account;
  }
  return "";
}

// The values the run set or would set, key by key (an account's key with the
// account's name): each value's line of registry.reg beside its text.
void RegistryValues(const Run& run, std::string& page) {
  Put(page, "<section><h2>Registry (", kPreviewRegistryName, ")</h2>");
  const auto keys = reg::ExportedKeys(run.RegistryRecord ? run.RegistryRecord->Values
                                                     : std::vector<reg::ExportedValue>{});
  if (keys.empty()) {
    Put(page, "<p>Keine Registry-Werte.</p></section>");
    return;
  }
  Put(page, "<table><tr><th>Wert</th><th>Text</th></tr>");
  for (const reg::ExportedKey& key : keys) {
    Put(page, "<tr><th><code>[", Html(key.name), "]</code></th><th>", Html(AccountOf(run, key.name)),
        "</th></tr>");
    for (const reg::ExportedValue& v : key.values) {
      Put(page, "<tr><td><code>", Html(reg::ExportedValueLine(v)),
          "</code></td><td class=\"text\">", Html(ValueText(v)), "</td></tr>");
    }
  }
  Put(page, "</table></section>");
}

// What a run would do beyond writing the signatures: remove the files an
// earlier run wrote and this one did not, and protect the files it writes.
void OwnFilesSection(const Run& run, std::string& page) {
  const bool remove = Settings::RemoveOldSignatures(run) != 0;
  const bool protect = Settings::ProtectSignatures(run);
  if (!remove && !protect) return;
  const auto list = [&](const char* heading, const std::vector<std::string>& names) {
    Put(page, "<h3>", heading, "</h3>");
    if (names.empty()) {
      Put(page, "<p>Keine.</p>");
      return;
    }
    Put(page, "<ul>");
    for (const std::string& name : names) Put(page, "<li><code>", Html(name), "</code></li>");
    Put(page, "</ul>");
  };
  Put(page, "<section><h2>Dateien im Signaturordner</h2>");
  if (remove && run.Audited) {
    // What a user's run would remove is in the record on the user's PC.
    Put(page, "<h3>Ein Lauf entfernt (RemoveOldSignatures)</h3>",
        "<p>Unbekannt: die Liste der geschriebenen Dateien liegt auf dem PC des Benutzers.</p>");
  } else if (remove) {
    list("Ein Lauf entfernt (RemoveOldSignatures)", run.RunState.RemovedSignatureFiles);
  }
  if (protect) list("Ein Lauf schützt (ProtectSignatures)", run.RunState.WrittenSignatureFiles);
  Put(page, "</section>");
}

}  // namespace

std::string HtmlText(std::string_view text) { return Html(text); }

std::string PreviewPageHtml(const Run& run) {
  std::string page;
  Put(page, "<!DOCTYPE html>");
  Put(page, "<html lang=\"de\"><head><meta charset=\"utf-8\">");
  Put(page, "<title>Signaturvorschau für ", Html(run.RunState.UserName), "</title>");
  Put(page, "<style>", kStyle, "</style></head><body>");
  Put(page, "<h1>Signaturvorschau für ", Html(run.RunState.UserName), "</h1>");
  Put(page, "<table>");
  Row(page, "Benutzer", run.RunState.UserName);
  Row(page, "Zeitpunkt", platform::LocalDateTimeText());
  Row(page, "Konfigurationsdatei", run.RunState.ConfigFilePath);
  Row(page, "Outlook-Version", run.RunState.OutlookVersionName);
  Put(page, "</table>");

  Put(page, "<h2>Benutzerdaten</h2><table>");
  for (const LabelledField& f : kUserDataDump) {
    std::string_view label = f.label;
    label.remove_suffix(1);  // its "="
    Row(page, label, run.UserData[f.field]);
  }
  Row(page, "SignType", run.UserData[UserField::SignType]);
  Row(page, "SignTypeReply", run.UserData[UserField::SignTypeReply]);
  Put(page, "</table>");
  if (run.RuleOutcome.Checked) RulesSection(run, page);
  if (!run.AccountAssignments.empty()) AccountsSection(run, page);

  // The user's own signatures, then a section per mailbox with its own.
  for (const ProducedSignature& s : run.ProducedSignatures) {
    if (OwnerOf(run, s) == nullptr) Signature(run, page, s);
  }
  for (const MailboxRecord& mailbox : run.Mailboxes) MailboxSection(run, page, mailbox);

  OwnFilesSection(run, page);
  RegistryValues(run, page);
  Put(page, "</body></html>");
  return page;
}

void CheckPreviewPageName(const std::vector<PlannedSignature>& plan) {
  for (const PlannedSignature& p : plan) {
    if (!p.Skipped && ToLower(p.Target) == kPageBaseName) {
      RaiseError("Die Vorschauseite '" + std::string(kPreviewPageName) + "' würde die Signatur '" +
                 p.Target + "' überschreiben");
    }
  }
}

std::string WritePreviewPage(const Run& run) {
  const std::string path = run.RunState.PreviewFolderPath + kPreviewPageName;
  const std::string html = PreviewPageHtml(run);
  platform::OutputFile out(path, platform::OutputFile::Mode::Replace);
  out.Write(html);
  out.Close();
  return path;
}

}  // namespace qm
