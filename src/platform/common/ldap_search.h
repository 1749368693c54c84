// What the directory service does the same on every platform, without a
// platform header: the search bases users write in the directory provider's
// dialect, the URLs of the client configuration under encryption, the value
// of the paged-results control, and the error numbers.
#pragma once

#include <string>
#include <string_view>

#include "platform/directory.h"
#include "platform/error.h"

namespace qm::platform::directory {

/// The URLs of the LDAP client configuration (separated by blanks, as libldap
/// hands them out) as a connection protected by encryption reaches them.
/// With Ldaps every ldap:// URL becomes ldaps://, moved from the LDAP port 389
/// to 636 and from the Global Catalog's 3268 to 3269 (other ports and the rest
/// of the URL stay); ldaps:// URLs stay. Without encryption nothing changes.
/// Throws qm::Error 999 naming the URL when encryption is on and a URL is
/// neither ldap:// nor ldaps:// (ldapi://): TLS cannot protect it.
std::string ProtectedUrls(std::string_view urls, Encryption encryption);

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
