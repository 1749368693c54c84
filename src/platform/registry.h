// The Windows registry, as the single-byte ("A") functions see it. Windows: the
// real registry. POSIX: a registry file in the format "reg export" writes
// ("Windows Registry Editor Version 5.00", UTF-16LE), at QUILLMARK_REGISTRY or
// $XDG_DATA_HOME/quillmark/registry.reg; a missing file is an empty registry.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::platform::registry {

inline constexpr std::uint32_t kClassesRoot = 0x80000000u;
inline constexpr std::uint32_t kCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kUsers = 0x80000003u;

/// Value types, as RegQueryValueEx reports them and RegSetValueEx takes them.
inline constexpr std::uint32_t kTypeString = 1;           ///< REG_SZ
inline constexpr std::uint32_t kTypeExpandString = 2;     ///< REG_EXPAND_SZ
inline constexpr std::uint32_t kTypeBinary = 3;           ///< REG_BINARY
inline constexpr std::uint32_t kTypeDword = 4;            ///< REG_DWORD (little-endian)
inline constexpr std::uint32_t kTypeDwordBigEndian = 5;   ///< REG_DWORD_BIG_ENDIAN
inline constexpr std::uint32_t kTypeMultiString = 7;      ///< REG_MULTI_SZ

/// True for the three types whose data is text.
constexpr bool IsTextType(std::uint32_t type) {
  return type == kTypeString || type == kTypeExpandString || type == kTypeMultiString;
}

/// The number of the error a registry store that cannot be used raises (POSIX:
/// a registry file that is malformed, truncated or no registry file at all).
/// Routines that swallow registry failures let this one through.
inline constexpr long kStoreError = 1014;

struct RawValue {
  std::uint32_t type = 0;          ///< one of the kType... values (or any other number stored)
  std::vector<std::uint8_t> data;  ///< the bytes RegQueryValueExA returns: text in the ANSI code page
};

/// RegOpenKeyExA (KEY_QUERY_VALUE) and RegQueryValueExA of value name ("" = default
/// value) below root\path. nullopt when key or value is missing. Throws qm::Error
/// only when the store itself is unusable (POSIX: a malformed registry file).
std::optional<RawValue> QueryValue(std::uint32_t root, const std::string& path,
                                   const std::string& name);

/// RegCreateKeyExA (creating the whole path) and RegSetValueExA. data is in the
/// A functions' form (text in the ANSI code page). False when nothing was written.
/// Throws qm::Error only when the store itself is unusable (POSIX: also for a
/// key or value name with a line break, which the registry file cannot hold).
bool SetValue(std::uint32_t root, const std::string& path, const std::string& name,
              std::uint32_t type, std::span<const std::uint8_t> data);

/// RegCreateKeyExW (creating the whole path) and RegSetValueExW of a REG_SZ:
/// the text is stored as it is, also where the ANSI code page lacks one of its
/// characters. False when nothing was written; throws as SetValue.
bool SetTextValue(std::uint32_t root, const std::string& path, const std::string& name,
                  const std::string& text);

/// The writes of one step that belong together (the signatures of every
/// account). Windows' registry takes each write as it comes; the linux
/// registry file takes them all in one rewrite when the batch ends, and
/// answers the run's own questions meanwhile as if each had been written.
/// Commit() writes them (false when nothing was written, as SetValue); a batch
/// left without it, by an exception, writes what it holds and drops a second
/// error. One batch at a time.
class WriteBatch {
 public:
  WriteBatch();
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;
  ~WriteBatch();
  bool Commit();

 private:
  bool committed_ = false;
  bool joined_ = false;  // a batch was open already: this one is part of it
};

/// One value as a .reg file sets it: what SetValue is given.
struct ExportedValue {
  std::uint32_t root = 0;
  std::string path;  ///< below the root; empty levels (a trailing "\\") are none
  std::string name;  ///< "" for the default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  ///< as SetValue takes it: text in the ANSI code page
};

/// The text (UTF-8, CR LF) of a "Windows Registry Editor Version 5.00" file
/// that sets these values, as reg export writes it: the header line and an
/// empty line, then one block per key in the order the keys first occur, its
/// values in their order and an empty line after it. A value given twice
/// stands once, where it first occurs, with its last data (as the registry
/// keeps the last write). Throws qm::Error (kStoreError) for a root other than
/// the four above and for a key or value name with a line break, which a .reg
/// file cannot hold.
std::string RegFileText(std::span<const ExportedValue> values);

/// One key of the .reg file RegFileText writes: its name (the root in full)
/// and its values in the file's order, each once, where it first stands, as
/// last written.
struct ExportedKey {
  std::string name;
  std::vector<ExportedValue> values;
};

/// The keys RegFileText writes for these values, in its order. Throws as RegFileText.
std::vector<ExportedKey> ExportedKeys(std::span<const ExportedValue> values);

/// A value's line as RegFileText writes it, without line end: a long hex list
/// goes on in further lines, each ending in "\" and CR LF before the next.
std::string ExportedValueLine(const ExportedValue& value);

/// The bytes of a .reg file of that text: UTF-16LE with byte-order mark. Never fails.
std::string RegFileBytes(std::string_view text);

/// RegOpenKeyExA (KEY_ENUMERATE_SUB_KEYS) and RegEnumKeyA from index 0 with a
/// 255-character buffer, in the registry's enumeration order; a name that does
/// not fit ends the list. nullopt when the key cannot be opened.
std::optional<std::vector<std::string>> EnumerateSubkeys(std::uint32_t root,
                                                         const std::string& path);

}  // namespace qm::platform::registry
