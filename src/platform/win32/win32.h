// The one door to the Windows headers, with RAII holders for the handles the
// Windows implementations use.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/common/unique_handle.h"

namespace qm::platform::win32 {

/// Closes a registry key when it goes out of scope.
class Key {
 public:
  Key() = default;
  explicit Key(HKEY key) : key_(key) {}
  ~Key() { Reset(); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  Key(Key&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  Key& operator=(Key&& other) noexcept {
    if (this != &other) {
      Reset();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  HKEY get() const { return key_; }
  HKEY* put() {
    Reset();
    return &key_;
  }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  void Reset() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
  }
  HKEY key_ = nullptr;
};

/// What a kernel handle (a file; a find handle through its own closer) needs to be a UniqueHandle.
template <typename H, BOOL(WINAPI* CloseFunction)(H), H (*InvalidValue)()>
struct HandleTraits {
  using Handle = H;
  static H Invalid() { return InvalidValue(); }
  static bool Close(H h) { return CloseFunction(h) != FALSE; }
};

/// Closes a kernel handle when it goes out of scope.
template <typename H, BOOL(WINAPI* Close)(H), H (*Invalid)()>
using Handle = UniqueHandle<HandleTraits<H, Close, Invalid>>;

inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }
using FileHandle = Handle<HANDLE, CloseHandle, InvalidHandleValue>;
using FindHandle = Handle<HANDLE, FindClose, InvalidHandleValue>;

/// UTF-8 to UTF-16 for the W functions where Wine lacks the A ones, as
/// text::Utf8ToUtf16: malformed UTF-8 becomes U+FFFD. Never fails.
std::wstring Widen(std::string_view utf8);
/// UTF-16 from a W function to UTF-8, as text::Utf16ToUtf8: a surrogate
/// without its partner becomes U+FFFD. Never fails.
std::string Narrow(std::wstring_view wide);

}  // namespace qm::platform::win32
