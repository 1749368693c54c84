// OS-independent part of the directory service: the search bases users
// write, the server key, the client configuration's URLs under encryption,
// entry attribute lookup, the paged-results control and the error numbers.
// No platform header here.
#include "platform/common/ldap_search.h"

#include <algorithm>
#include <string_view>

#include "platform/common/text.h"
#include "platform/process.h"

namespace qm::platform::directory {

namespace {

constexpr int kLargestPort = 65535;
constexpr int kDecimal = 10;

[[noreturn]] void BadBase() {
  throw Error(kErrorsInCommand, kErrorSource, kErrorsInCommandText);
}

// "host", "host:389", "[::1]:389".
void ParseServer(std::string_view text, Search& search) {
  std::string_view host = text;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) BadBase();
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') BadBase();
      port = rest.substr(1);
      if (port.empty()) BadBase();
    }
  } else if (size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) BadBase();
  }
  if (host.empty()) BadBase();
  search.server = std::string(host);
  if (!port.empty()) {
    int value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') BadBase();
      value = value * kDecimal + (c - '0');
      if (value > kLargestPort) BadBase();
    }
    if (value == 0) BadBase();
    search.port = value;
  }
}

// In an ADsPath a "/" inside a name is written "\/"; the other escapes are the
// distinguished name's own and stay.
std::string UnescapeSlashes(std::string_view dn) {
  std::string out;
  out.reserve(dn.size());
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] == '\\' && i + 1 < dn.size() && dn[i + 1] == '/') {
      out += '/';
      ++i;
    } else {
      out += dn[i];
    }
  }
  return out;
}

// The first "/" that is not escaped, npos when none.
size_t FindServerSlash(std::string_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '\\') {
      ++i;
      continue;
    }
    if (path[i] == '/') return i;
  }
  return std::string_view::npos;
}

}  // namespace

Search ParseBase(const std::string& base) {
  Search search;
  const std::string_view path = base;
  const size_t slash = FindServerSlash(path);
  if (slash != std::string_view::npos) {
    ParseServer(path.substr(0, slash), search);
    search.base = UnescapeSlashes(path.substr(slash + 1));
  } else if (!path.empty() && path.find('=') == std::string_view::npos) {
    // "LDAP://server" names a server and its default naming context.
    ParseServer(path, search);
  } else {
    search.base = UnescapeSlashes(path);
  }
  return search;
}

std::string ServerKey(const Search& search) {
  if (search.server.empty() && search.port == 0) return "";
  return text::ToLower(search.server) + ":" + std::to_string(search.port);
}

namespace {

constexpr int kLdapPort = 389;
constexpr int kLdapsPort = 636;
constexpr int kGlobalCatalogPort = 3268;
constexpr int kGlobalCatalogTlsPort = 3269;
constexpr long kConfigurationError = 999;

// The port of an ldap:// URL's host part ("host:389", "[::1]:389"); 0 when
// it names none or something that is no port (the URL is then left alone).
int PortOf(std::string_view hostPort, size_t& colon) {
  const size_t close = hostPort.rfind(']');
  colon = hostPort.rfind(':');
  if (colon == std::string_view::npos || (close != std::string_view::npos && colon < close)) return 0;
  int port = 0;
  for (char c : hostPort.substr(colon + 1)) {
    if (c < '0' || c > '9' || port > kLargestPort) return 0;
    port = port * kDecimal + (c - '0');
  }
  return port;
}

// One URL as LDAPS reaches it; the URL itself for StartTLS.
std::string ProtectedUrl(std::string_view url, Encryption encryption) {
  constexpr std::string_view kSeparator = "://";
  const size_t end = url.find(kSeparator);
  const std::string_view scheme = url.substr(0, end == std::string_view::npos ? 0 : end);
  const bool plain = text::EqualsNoCase(scheme, "ldap");
  if (!plain && !text::EqualsNoCase(scheme, "ldaps")) {
    throw Error(kConfigurationError, ExecutableBaseName(),
                "Ungültige URL '" + std::string(url) +
                    "' der LDAP-Client-Konfiguration für 'LDAPEncryption' (erlaubt: ldap://, ldaps://)");
  }
  if (!plain || encryption != Encryption::Ldaps) return std::string(url);
  const std::string_view rest = url.substr(end + kSeparator.size());
  const size_t pathStart = std::min(rest.find('/'), rest.size());
  std::string_view hostPort = rest.substr(0, pathStart);
  size_t colon = 0;
  const int port = PortOf(hostPort, colon);
  std::string out = "ldaps://";
  if (port == kLdapPort || port == kGlobalCatalogPort) {
    out += hostPort.substr(0, colon + 1);
    out += std::to_string(port == kLdapPort ? kLdapsPort : kGlobalCatalogTlsPort);
  } else {
    out += hostPort;
  }
  out += rest.substr(pathStart);
  return out;
}

}  // namespace

std::string ProtectedUrls(std::string_view urls, Encryption encryption) {
  if (encryption == Encryption::None) return std::string(urls);
  std::string out;
  while (!urls.empty()) {
    const size_t blank = urls.find(' ');
    const std::string_view url = urls.substr(0, blank);
    if (!url.empty()) out += (out.empty() ? "" : " ") + ProtectedUrl(url, encryption);
    if (blank == std::string_view::npos) break;
    urls.remove_prefix(blank + 1);
  }
  return out;
}

namespace {

void AppendLength(std::string& out, size_t length) {
  if (length < 0x80) {
    out += static_cast<char>(length);
    return;
  }
  std::string bytes;
  for (size_t n = length; n != 0; n >>= 8) bytes.insert(bytes.begin(), static_cast<char>(n & 0xff));
  out += static_cast<char>(0x80 | bytes.size());
  out += bytes;
}

// Reads one tag-length-value at pos; false when it runs past the end.
bool ReadTlv(const std::string& in, size_t& pos, unsigned char& tag, std::string_view& value) {
  if (pos + 2 > in.size()) return false;
  tag = static_cast<unsigned char>(in[pos++]);
  size_t length = static_cast<unsigned char>(in[pos++]);
  if (length & 0x80) {
    size_t count = length & 0x7f;
    if (count == 0 || count > sizeof(size_t) || pos + count > in.size()) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<unsigned char>(in[pos++]);
  }
  if (length > in.size() - pos) return false;
  value = std::string_view(in).substr(pos, length);
  pos += length;
  return true;
}

}  // namespace

std::string EncodePageControl(int pageSize, const std::string& cookie) {
  // INTEGER in the fewest two's-complement bytes.
  std::string number;
  auto v = static_cast<long long>(pageSize);
  do {
    number.insert(number.begin(), static_cast<char>(v & 0xff));
    v >>= 8;
  } while (!((v == 0 && !(number.front() & 0x80)) || (v == -1 && (number.front() & 0x80))));
  std::string body;
  body += '\x02';
  AppendLength(body, number.size());
  body += number;
  body += '\x04';
  AppendLength(body, cookie.size());
  body += cookie;
  std::string out;
  out += '\x30';
  AppendLength(out, body.size());
  return out + body;
}

bool DecodePageResponse(const std::string& value, std::string& cookie) {
  size_t pos = 0;
  unsigned char tag = 0;
  std::string_view sequence;
  if (!ReadTlv(value, pos, tag, sequence) || tag != 0x30) return false;
  std::string inner(sequence);
  pos = 0;
  std::string_view size;
  std::string_view octets;
  if (!ReadTlv(inner, pos, tag, size) || tag != 0x02) return false;
  if (!ReadTlv(inner, pos, tag, octets) || tag != 0x04) return false;
  cookie.assign(octets);
  return true;
}

int WindowsResultCode(int openLdapCode) {
  // -1 (server down) becomes 0x51, -17 (referral limit exceeded) 0x61.
  if (openLdapCode < 0 && openLdapCode >= -17) return 0x50 - openLdapCode;
  return openLdapCode;
}

long ErrorNumber(int code) {
  long win32 = 8341;  // ERROR_DS_GENERIC_ERROR
  switch (code) {
    case 0x01: win32 = 8224; break;  // operations error
    case 0x02: win32 = 8225; break;  // protocol error
    case 0x03: win32 = 8226; break;  // time limit exceeded
    case 0x04: win32 = 8227; break;  // size limit exceeded
    case 0x05: win32 = 8229; break;
    case 0x06: win32 = 8230; break;
    case 0x07: win32 = 8231; break;  // auth method not supported
    case 0x08: win32 = 8232; break;  // strong auth required
    case 0x0a: win32 = 8235; break;  // referral
    case 0x0b: win32 = 8228; break;  // admin limit exceeded
    case 0x0c: win32 = 8236; break;  // unavailable critical extension
    case 0x0d: win32 = 8237; break;  // confidentiality required
    case 0x12: win32 = 8238; break;  // inappropriate matching
    case 0x13: win32 = 8239; break;  // constraint violation
    case 0x20: win32 = 8240; break;  // no such object
    case 0x21: win32 = 8241; break;  // alias problem
    case 0x22: win32 = 8242; break;  // invalid DN syntax
    case 0x23: win32 = 8243; break;  // is leaf
    case 0x24: win32 = 8244; break;  // alias dereferencing problem
    case 0x30: win32 = 8233; break;  // inappropriate authentication
    case 0x31: win32 = 1326; break;  // invalid credentials: ERROR_LOGON_FAILURE
    case 0x32: win32 = 5; break;     // insufficient access: ERROR_ACCESS_DENIED
    case 0x33: win32 = 8206; break;  // busy
    case 0x34: win32 = 8207; break;  // unavailable
    case 0x35: win32 = 8245; break;  // unwilling to perform
    case 0x36: win32 = 8246; break;  // loop detected
    case 0x40: win32 = 8247; break;  // naming violation
    case 0x46: win32 = 8248; break;  // results too large
    case 0x47: win32 = 8249; break;  // affects multiple DSAs
    case 0x51: win32 = 8250; break;  // server down
    case 0x52: win32 = 8251; break;  // local error
    case 0x53: win32 = 8252; break;  // encoding error
    case 0x54: win32 = 8253; break;  // decoding error
    case 0x55: win32 = 1460; break;  // client timeout: ERROR_TIMEOUT
    case 0x56: win32 = 8234; break;  // auth unknown
    case 0x57: win32 = 8254; break;  // filter error
    case 0x59: win32 = 8255; break;  // param error
    case 0x5a: win32 = 8; break;     // no memory: ERROR_NOT_ENOUGH_MEMORY
    case 0x5b: win32 = 8250; break;  // connect error: reported like a server that is down
    case 0x5c: win32 = 8256; break;  // not supported
    case 0x5d: win32 = 8258; break;  // control not found
    case 0x5e: win32 = 8257; break;  // no results returned
    case 0x60: win32 = 8259; break;  // client loop
    case 0x61: win32 = 8260; break;  // referral limit exceeded
    default: break;
  }
  // HRESULT_FROM_WIN32, as a signed 32-bit number.
  return static_cast<long>(win32) - 2147024896L;
}

Error MakeError(int windowsResultCode, const std::string& message) {
  return err::FromPlatform(ErrorNumber(windowsResultCode), kErrorSource, message);
}

const std::vector<std::string>* Entry::Find(const std::string& name) const {
  for (const auto& [attribute, values] : attributes) {
    if (text::EqualsNoCase(attribute, name)) return &values;
  }
  return nullptr;
}

}  // namespace qm::platform::directory
