// The file classes of files.h and the creation of a folder path, OS-independent:
// the operating system's part is common/file_io.h.
#include "platform/files.h"

#include <vector>

#include "platform/common/file_io.h"
#include "platform/error.h"

namespace qm::platform {

Error InUseError(const std::string& path) {
  return err::FromPlatform(err::kPermissionDenied, "Quillmark",
                           "Die Datei '" + path + "' wird von einem anderen Programm verwendet");
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
