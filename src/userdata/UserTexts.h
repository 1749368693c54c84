// The user name as it goes into a query, and connection texts as they go into
// the log: the optional protections of the two sources.
#pragma once

#include <string>
#include <string_view>

namespace qm {

/// The name for a string literal in "UserSelect": every ' doubled. Guards only
/// dialects in which '' is the one escape inside '...' (SQLite, Access, SQL
/// Server, PostgreSQL with its standard strings), not backslash escapes.
std::string SqlStringValue(std::string_view name);

/// The name for the value of a directory filter: *, (, ), \ and NUL written
/// as \2a, \28, \29, \5c and \00, so that the name matches only itself.
std::string LdapFilterValue(std::string_view name);

/// The connection text with every non-empty value of Password, PWD and
/// Jet OLEDB:Database Password (keys in any case) written as "***", quotes or
/// braces of the value included; those inside the quoted value of Extended
/// Properties too. Every other byte stays as it was, also in a text that is
/// not a well-formed connection string.
std::string HidePasswords(std::string_view connection);

}  // namespace qm
