// Owners for what C interfaces hand out. UniqueHandle holds a handle that is a
// value with an invalid value of its own (a file descriptor, a Windows HANDLE,
// an ODBC handle); Owned holds a pointer released by its library's function.
// Neither needs a platform header: the traits and functions come from the user.
#pragma once

#include <memory>
#include <utility>

namespace qm::platform {

/// Owns one handle and closes it when it goes out of scope. Traits provides
/// `Handle` (the type), `Invalid()` (the value that holds nothing) and
/// `Close(Handle)` (true when the close succeeded).
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, Traits::Invalid());
    }
    return *this;
  }

  /// The handle held; the invalid value when there is none.
  Handle get() const { return h_; }

  /// False when no handle is held.
  bool valid() const { return h_ != Traits::Invalid(); }

  /// Closes the handle now, if one is held; a failure to close goes unreported.
  void Reset() { static_cast<void>(Close()); }

  /// Closes the handle now and holds none afterwards. False when the close
  /// function reports a failure (its errno or last error is left as it set it);
  /// true when it succeeds or no handle was held.
  [[nodiscard]] bool Close() {
    if (!valid()) return true;
    return Traits::Close(std::exchange(h_, Traits::Invalid()));
  }

 private:
  Handle h_ = Traits::Invalid();
};

/// A unique_ptr deleter that hands the pointer to its library's release function.
template <auto Release>
struct ReleaseWith {
  template <typename T>
  void operator()(T* pointer) const {
    Release(pointer);
  }
};

/// A pointer owned until it goes out of scope, then given to Release.
template <typename T, auto Release>
using Owned = std::unique_ptr<T, ReleaseWith<Release>>;

}  // namespace qm::platform
