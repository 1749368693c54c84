// The audit's own questions to the sources.
#include "userdata/AuditSources.h"

#include <chrono>
#include <optional>

#include "platform/directory.h"
#include "platform/error.h"
#include "records/Settings.h"
#include "records/UserData.h"
#include "support/modTools.h"
#include "userdata/DatabaseSource.h"
#include "userdata/DirectorySource.h"
#include "userdata/SharedSources.h"

namespace qm {

namespace {

namespace directory = platform::directory;

constexpr const char* kMailAttribute = "mail";
// The mailboxes whose automapping names the user, as Exchange keeps them on
// the user's entry.
constexpr const char* kDelegatesAttribute = "msExchDelegateListBL";
// The staff is listed in pages of the largest size Active Directory serves,
// within the time limit of one search for all bases: a server that stops
// answering costs the audit no more than that.
constexpr int kListPageSize = 1000;
// No staff is larger; a query that gives more rows is cut there.
constexpr std::size_t kMostUsers = 1000000;

std::string FirstValue(const directory::Entry& entry, const char* name) {
  const std::vector<std::string>* values = entry.Find(name);
  return values != nullptr && !values->empty() ? values->front() : std::string();
}

directory::Connection& DirectoryConnection(Run& run) {
  if (!run.Shared->Directory) run.Shared->Directory = directory::Connection::Open(ReaderAccount(run), ReadEncryption(run));
  return *run.Shared->Directory;
}

std::vector<std::string> DirectoryNames(Run& run, const std::vector<std::string>& bases) {
  const std::string filter = PersonFilter(run);
  const std::string field = AccountFieldName(run);
  directory::Connection& connection = DirectoryConnection(run);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kDirectoryTimeoutSeconds);
  std::vector<std::string> names;
  for (const std::string& base : bases) {
    directory::Search search = directory::ParseBase(base);
    search.filter = "(&" + filter + "(" + field + "=*))";
    search.attributes = {field};
    search.pageSize = kListPageSize;
    for (const directory::Entry& entry : connection.SearchAll(search, deadline)) {
      std::string name = FirstValue(entry, field.c_str());
      if (!name.empty()) names.push_back(std::move(name));
    }
  }
  return names;
}

// The addresses of the directory: the user's entry under the first base that
// holds it (each base's answer kept for the run), then its delegates'.
std::vector<std::string> DirectoryAccounts(Run& run, const std::vector<std::string>& bases,
                                           const std::string& userName) {
  directory::Connection& connection = DirectoryConnection(run);
  std::vector<std::string> attributes = SearchAttributes(run, MappedAttributeList(run), Settings::ManagerData(run));
  attributes.emplace_back(kMailAttribute);
  const bool mailboxes = Settings::MailboxSignatures(run);
  if (mailboxes) attributes.emplace_back(kDelegatesAttribute);
  const std::string filter = UserSearchFilter(run, userName);
  for (const std::string& base : bases) {
    directory::Search search = directory::ParseBase(base);
    search.filter = filter;
    search.attributes = attributes;
    search.pageSize = kDirectoryPageSize;
    std::optional<directory::Entry> entry = connection.SearchFirst(search, kDirectoryTimeoutSeconds);
    run.Shared->UserEntries[SearchKey(search)] = entry;
    if (!entry) continue;
    std::vector<std::string> accounts;
    const std::string own = Trim(FirstValue(*entry, kMailAttribute));
    if (!own.empty()) accounts.push_back(own);
    const std::vector<std::string>* delegates = mailboxes ? entry->Find(kDelegatesAttribute) : nullptr;
    for (const std::string& dn : delegates != nullptr ? *delegates : std::vector<std::string>{}) {
      directory::Search mailbox = search;
      mailbox.base = dn;
      mailbox.scope = directory::Scope::Base;
      mailbox.filter = "(objectClass=*)";
      mailbox.attributes = {kMailAttribute};
      const std::string key = SearchKey(mailbox);
      auto known = run.Shared->MailboxAddresses.find(key);
      if (known == run.Shared->MailboxAddresses.end()) {
        std::string address;
        try {
          if (const std::optional<directory::Entry> found = connection.SearchFirst(mailbox, kDirectoryTimeoutSeconds))
            address = Trim(FirstValue(*found, kMailAttribute));
        } catch (const Error&) {
          // A mailbox another domain holds, or one that is gone, is no account.
        }
        known = run.Shared->MailboxAddresses.emplace(key, address).first;
      }
      if (!known->second.empty()) accounts.push_back(known->second);
    }
    return accounts;
  }
  return {};
}

}  // namespace

std::vector<std::string> AuditUserNames(Run& run) {
  const std::string select = Settings::Main(run, "AuditSelect");
  const std::string bases = Settings::Main(run, "LDAPBaseObjectDN");
  if (Trim(select).empty() && Trim(bases).empty()) {
    RaiseError("Für /AUDIT fehlt die Liste der Benutzer: weder 'AuditSelect' (Abfrage der Datenbank) noch "
               "'LDAPBaseObjectDN' (Active Directory) ist in [Main] konfiguriert");
  }
  if (!Trim(select).empty()) {
    std::vector<std::string> names;
    for (const std::optional<std::string>& value :
         AuditConnection(run).QueryFirstColumn(select, kDatabaseQuerySeconds, kMostUsers)) {
      if (value && !Trim(*value).empty()) names.push_back(Trim(*value));
    }
    return names;
  }
  return DirectoryNames(run, Split(bases, ";"));
}

std::vector<std::string> AuditAccounts(Run& run, const std::string& userName) {
  const std::string bases = Settings::Main(run, "LDAPBaseObjectDN");
  if (!bases.empty()) return DirectoryAccounts(run, Split(bases, ";"), userName);
  const FieldMapping& mail = run.FieldMappings[static_cast<std::size_t>(UserField::EMail)];
  if (!run.UseDatabase) return {};
  const std::optional<platform::database::Row> row = AuditRow(run, userName);
  if (!row || mail.Source != "DB") return {};
  const std::optional<std::string>* value = row->Find(mail.SourceName);
  if (value == nullptr || !*value || Trim(**value).empty()) return {};
  return {Trim(**value)};
}

}  // namespace qm
