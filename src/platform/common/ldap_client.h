// The directory service's logic over the LDAP C API, written once for libldap
// and wldap32: owners of what the library hands out, reading an entry, waiting
// for a message, starting a search and reading a result. native_ldap.h comes
// from the per-OS folder (the platform target's include path) and names the
// calls in which the two libraries differ; the per-OS directory.cpp adds what
// only one of them does (connecting and binding, the default base, errors).
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "native_ldap.h"
#include "platform/common/ldap_search.h"
#include "platform/common/text.h"
#include "platform/common/unique_handle.h"
#include "platform/directory.h"

namespace qm::platform::directory {

using native::Code;

/// What ldap_result answers when it fails (-1 as the library's number).
inline constexpr Code kNoMessage = static_cast<Code>(-1);

/// Text as the library takes it: UTF-8 for libldap, UTF-16 for wldap32's W functions.
using LdapText = std::basic_string<native::Char>;

/// A UTF-8 text as the library takes it (invalid UTF-8 turns into U+FFFD for wldap32).
template <typename Char = native::Char>
std::basic_string<Char> ToLdap(std::string_view utf8) {
  if constexpr (std::is_same_v<Char, char>) {
    return std::basic_string<Char>(utf8);
  } else {
    static_assert(sizeof(Char) == sizeof(char16_t));
    const std::u16string wide = text::Utf8ToUtf16(utf8);
    return std::basic_string<Char>(wide.begin(), wide.end());
  }
}

/// A zero-terminated text of the library in UTF-8 (a lone surrogate turns into U+FFFD).
template <typename Char>
std::string FromLdap(const Char* text) {
  const std::basic_string_view<Char> view(text);
  if constexpr (std::is_same_v<Char, char>) {
    return std::string(view);
  } else {
    return text::Utf16ToUtf8(std::u16string(view.begin(), view.end()));
  }
}

inline void FreeBer(BerElement* ber) { ber_free(ber, 0); }

using LdapHandle = Owned<LDAP, native::Unbind>;
using Message = Owned<LDAPMessage, ldap_msgfree>;
using Controls = Owned<native::Control*, native::FreeControls>;
using Ber = Owned<BerElement, FreeBer>;
using LdapString = Owned<native::Char, native::FreeText>;
using Values = Owned<berval*, ldap_value_free_len>;

/// The moment by which one search must be over, on a clock that no change of
/// the system time moves. Every wait of the search takes what is left of it,
/// so a server that keeps answering (a reference now and then, one more page)
/// cannot make the search outlast its time limit.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Deadline(int seconds) : end_(Clock::now() + std::chrono::seconds(seconds)) {}
  explicit Deadline(Clock::time_point end) : end_(end) {}

  /// True once the moment has come. Cannot fail.
  bool Passed() const { return Clock::now() >= end_; }

  /// The moment itself. Cannot fail.
  Clock::time_point End() const { return end_; }

  /// The time left as the library's wait takes it; zero once it has passed.
  /// Cannot fail.
  native::Timeval Left() const {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end_ - Clock::now());
    const auto micros = std::max<std::chrono::microseconds::rep>(left.count(), 0);
    native::Timeval t{};
    t.tv_sec = static_cast<decltype(t.tv_sec)>(micros / kMicrosPerSecond);
    t.tv_usec = static_cast<decltype(t.tv_usec)>(micros % kMicrosPerSecond);
    return t;
  }

  /// The whole seconds left, at least 1: the time limit a request hands the
  /// server (0 would mean none at all). Cannot fail.
  int SecondsLeft() const {
    const auto left = std::chrono::ceil<std::chrono::seconds>(end_ - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 1));
  }

 private:
  static constexpr std::chrono::microseconds::rep kMicrosPerSecond = 1000000;
  Clock::time_point end_;
};

/// One connected and bound server.
struct Server {
  LdapHandle ld;
  std::optional<std::string> defaultBase;  ///< the directory's default search base, once read
};

/// The library's value for a scope; cannot fail.
Code ToScope(Scope scope);

/// The name and the attributes of an entry message with their values in server
/// order; an entry the library cannot read comes back without them.
Entry ReadEntry(LDAP* ld, LDAPMessage* entry);

/// Waits for the next message of the operation and gives its type (the return
/// value of ldap_result: Wine does not fill lm_msgtype). When the deadline
/// passes first the operation is abandoned: throws qm::Error (timeout), as for
/// a failed wait.
Code NextMessage(LDAP* ld, Code msgid, const Deadline& deadline, Message& message);

/// The result code of a finished operation: the parse's failure, else the
/// operation's own; its controls handed out when asked for.
Code ResultCode(LDAP* ld, LDAPMessage* message, Controls* controls);

/// Sends a search with what is left of the deadline as its time limit and
/// returns its message id. Throws qm::Error when the library refuses it.
Code StartSearch(LDAP* ld, std::string_view base, Scope scope, std::string_view filter,
                 const std::vector<std::string>& attributes, native::Control** serverControls,
                 const Deadline& deadline, Code sizeLimit);

namespace native {

/// Throws the qm::Error for a result code of the library, with its text.
[[noreturn]] void Fail(Code rc);

/// The result code of the connection's last failed call; never success.
Code LastError(LDAP* ld);

/// Connects to the search's server (the platform's default when it names
/// none), protected as encryption says, and binds with the credentials,
/// waiting no longer than the deadline where the library lets a wait be
/// bounded. Throws qm::Error.
Server Connect(const directory::Search& search, const std::optional<Credentials>& credentials,
               Encryption encryption, const Deadline& deadline);

/// The directory's default search base, "" when it names none (the server then
/// applies its own). Throws qm::Error only where this read is how a server that
/// never answers is found out (wldap32 reads it before the bind).
std::string DefaultBase(LDAP* ld, bool defaultServer, const Deadline& deadline);

}  // namespace native

}  // namespace qm::platform::directory
