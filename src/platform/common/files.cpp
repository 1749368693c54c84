// The file classes of files.h and the creation of a folder path, OS-independent:
// the operating system's part is common/file_io.h.
#include "platform/files.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/file_io.h"
#include "platform/error.h"

namespace qm::platform {

Error InUseError(const std::string& path) {
  return err::FromPlatform(err::kPermissionDenied, "Quillmark",
                           "Die Datei '" + path + "' wird von einem anderen Programm verwendet");
}

namespace {

// The results of SHFileOperation that a copy or delete of one file meets. The
// shell's own codes below 0x100 overlap Windows error numbers of other
// meanings; for this function they are the shell's.
struct ShellResult {
  int code;
  const char* text;
};
constexpr ShellResult kShellResults[] = {
    {2, "Datei nicht gefunden"},                         // ERROR_FILE_NOT_FOUND
    {3, "Pfad nicht gefunden"},                          // ERROR_PATH_NOT_FOUND
    {5, "Zugriff verweigert"},                           // ERROR_ACCESS_DENIED
    {32, "wird von einem anderen Programm verwendet"},   // ERROR_SHARING_VIOLATION
    {33, "wird von einem anderen Programm verwendet"},   // ERROR_LOCK_VIOLATION
    {112, "Datenträger voll"},                           // ERROR_DISK_FULL
    {0x71, "Quelle und Ziel sind dieselbe Datei"},       // DE_SAMEFILE
    {0x75, "Vorgang abgebrochen"},                       // DE_OPCANCELLED
    {0x78, "Zugriff verweigert"},                        // DE_ACCESSDENIEDSRC
    {0x79, "Pfad zu lang"},                              // DE_PATHTOODEEP
    {0x7C, "Datei nicht gefunden"},                      // DE_INVALIDFILES
    {0x80, "das Ziel ist ein Ordner"},                   // DE_FILEDESTISFLD
    {0x81, "Dateiname zu lang"},                         // DE_FILENAMETOOLONG
    {0x85, "Datei zu groß für das Ziel"},                // DE_FILE_TOO_LARGE
    {0x402, "unbekannter Fehler"},                       // the shell's answer for most else
    {1223, "Vorgang abgebrochen"},                       // ERROR_CANCELLED
    {0x10000, "Fehler am Ziel"},                         // ERRORONDEST
};

}  // namespace

bool IsDeviceName(std::string_view name) {
  // The part before the first dot (or a colon), without the blanks at its end.
  name = name.substr(0, std::min(name.find('.'), name.find(':')));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  std::string base;
  for (const char c : name) base += upper(c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  constexpr std::size_t kNumberedLength = 4;  // COM1 ... LPT9
  return base.size() == kNumberedLength && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

std::string ShellResultText(int result) {
  for (const ShellResult& known : kShellResults) {
    if (known.code == result) return std::string(known.text) + " (Code " + std::to_string(result) + ")";
  }
  return "Fehler (Code " + std::to_string(result) + ")";
}

void CreateFolderPath(const std::string& path) {
  // The missing levels, deepest first, up to one that exists (a drive, a
  // share, the current folder for a relative path).
  std::vector<std::string> missing;
  std::string level = path;
  while (!level.empty() && level.back() == '\\') level.pop_back();
  while (!level.empty() && !PathExists(level)) {
    missing.push_back(level);
    const std::size_t cut = level.find_last_of('\\');
    if (cut == std::string::npos) break;
    level.erase(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) native::CreateFolder(*it);
}

struct InputFile::Impl {
  native::File file;
};

InputFile::InputFile(const std::string& path)
    : impl_(std::make_unique<Impl>(Impl{native::OpenForReading(path)})) {}
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  return native::ReadSome(impl_->file, buffer, size);
}

struct OutputFile::Impl {
  native::File file;
  bool turn = false;  // an appender's lock, given back before the file is closed

  ~Impl() { EndTurn(); }
  void EndTurn() {
    if (turn) native::EndAppendTurn(file);
    turn = false;
  }
};

OutputFile::OutputFile(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
  if (mode == Mode::Append) {
    native::AppendingFile appending = native::OpenForAppending(path);
    impl_->file = std::move(appending.file);
    impl_->turn = appending.turn;
  } else {
    impl_->file = native::OpenForWriting(path);
  }
}
OutputFile::~OutputFile() = default;
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;

void OutputFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t written = native::WriteSome(impl_->file, bytes);
    // A device that takes nothing and names no error is full; asking again would never end.
    if (written == 0) throw err::Make(err::kDiskFull);
    bytes.remove_prefix(written);
  }
}

void OutputFile::Close() {
  if (!impl_ || !impl_->file.valid()) return;
  impl_->EndTurn();
  native::Close(impl_->file);
}

}  // namespace qm::platform
