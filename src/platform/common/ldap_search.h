// The directory provider's search text and the error numbers of the directory
// service: OS-independent parts of platform/directory.h, used by the libldap and
// the wldap32 implementations alike.
#pragma once

#include <string>
#include <vector>

#include "platform/error.h"

namespace qm::platform::directory {

enum class Scope { Base, OneLevel, Subtree };

/// One search as the provider's LDAP dialect writes it:
/// "<LDAP://[server[:port]/]base>;filter;attr1,attr2;scope".
struct SearchRequest {
  std::string server;                   ///< host name or address; "" = the platform's default
  int port = 0;                         ///< 0 = the LDAP default port
  std::string base;                     ///< distinguished name, "\/" unescaped to "/"
  std::string filter;                   ///< as written
  std::vector<std::string> attributes;  ///< blanks around names removed, empty names dropped
  Scope scope = Scope::Subtree;         ///< omitted scope = subtree
};

/// Parses a search text. Throws qm::Error kErrorsInCommand when the text is not
/// of that form (no "<LDAP://...>", nothing after it, a bad port, an unknown scope).
SearchRequest ParseSearchText(const std::string& text);

/// The key that tells connections apart: "" for the default server, else
/// "server:port" with the server in lower case.
std::string ServerKey(const SearchRequest& request);

/// The value of the paged-results control (1.2.840.113556.1.4.319) of a request:
/// the BER encoding of SEQUENCE { INTEGER pageSize, OCTET STRING cookie }.
inline constexpr const char* kPagedResultsOid = "1.2.840.113556.1.4.319";
std::string EncodePageControl(int pageSize, const std::string& cookie);

/// The cookie of the server's paged-results response value (same SEQUENCE, the
/// size being the server's estimate). False when the value is not of that form.
bool DecodePageResponse(const std::string& value, std::string& cookie);

/// Error numbers. The directory provider reports LDAP failures as HRESULTs
/// made from the Win32 error that the LDAP result maps to (0x8007xxxx, so a
/// server that is down is -2147016646); the same numbers are used here so that
/// a log line reads the same on every platform.
inline constexpr long kErrorsInCommand = -2147217900;  // 0x80040E14, malformed command text
inline constexpr const char* kErrorsInCommandText =
    "Ein oder mehrere Fehler sind während der Verarbeitung des Befehls aufgetreten.";
inline constexpr const char* kErrorSource = "Provider";

/// The HRESULT for an LDAP result code in the Windows numbering (client-side
/// codes 0x51 to 0x61; OpenLDAP's negative codes are converted by the caller
/// with WindowsResultCode).
long ErrorNumber(int windowsResultCode);

/// OpenLDAP writes the client-side results as negative numbers (-1 server down
/// ... -17 referral limit); Windows as 0x51 to 0x61. Other codes are the same.
int WindowsResultCode(int openLdapCode);

/// The error for a failed LDAP call: ErrorNumber of the code, the library's text
/// (made one line by err::FromPlatform).
Error MakeError(int windowsResultCode, const std::string& message);

}  // namespace qm::platform::directory
