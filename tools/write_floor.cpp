// quillmark-write-floor: the least a program can do to write a folder tree it
// already knows. make bench holds the audit that writes onto the disk to it.
//   quillmark-write-floor SOURCE DESTINATION
// reads every folder and file below SOURCE into memory first, then, timed,
// creates DESTINATION (which must not exist) with the same folders and the
// same files, byte for byte, and does nothing else: no listing, no reading, no
// check. Prints two figures on standard output: the seconds of the writing
// alone, and the seconds until what it wrote is on the disk (the writing and
// a sync of the destination's file system), "0.84 6.12"; the number of
// folders, files and bytes on standard error; exit status 1 with
// a message on standard error when a folder or a file cannot be read or
// written.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kArgumentCount = 3;  // the program, SOURCE, DESTINATION

struct Entry {
  fs::path relative;  // below SOURCE, and so below DESTINATION
  bool folder = false;
  std::string bytes;  // a file's content; empty for a folder
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Descriptor {
  int fd;
  explicit Descriptor(int opened) : fd(opened) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

/// The tree below source in the order a recursive listing gives it: every
/// folder before what lies in it.
std::vector<Entry> ReadTree(const fs::path& source) {
  std::vector<Entry> entries;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(source)) {
    Entry entry;
    entry.relative = fs::relative(item.path(), source);
    if (item.is_directory()) {
      entry.folder = true;
    } else if (item.is_regular_file()) {
      entry.bytes = ReadWhole(item.path());
    } else {
      continue;  // the audit writes folders and files only
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  File file(std::fopen(path.string().c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot create " + path.string());
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    throw std::runtime_error("cannot write " + path.string());
  }
  if (std::fclose(file.release()) != 0) throw std::runtime_error("cannot write " + path.string());
}

void WriteTree(const fs::path& destination, const std::vector<Entry>& entries) {
  if (!fs::create_directory(destination)) throw std::runtime_error(destination.string() + " exists");
  for (const Entry& entry : entries) {
    const fs::path path = destination / entry.relative;
    if (entry.folder) {
      fs::create_directory(path);
    } else {
      WriteFile(path, entry.bytes);
    }
  }
}

// Until the file system that holds path has everything written to it on the
// disk: the page cache takes files faster than any disk, and a program that
// stops when its last write call returns has written into memory.
void SyncFileSystem(const fs::path& path) {
  const Descriptor folder{::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (folder.fd < 0) throw std::runtime_error("cannot open " + path.string());
  if (::syncfs(folder.fd) != 0) throw std::runtime_error("cannot sync " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != kArgumentCount) {
    std::fprintf(stderr, "usage: quillmark-write-floor SOURCE DESTINATION\n");
    return 1;
  }
  try {
    const std::vector<Entry> entries = ReadTree(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    WriteTree(argv[2], entries);
    const auto written = std::chrono::steady_clock::now();
    SyncFileSystem(argv[2]);
    const std::chrono::duration<double> writing = written - start;
    const std::chrono::duration<double> onDisk = std::chrono::steady_clock::now() - start;
    std::size_t folders = 0;
    std::size_t files = 0;
    std::size_t bytes = 0;
    for (const Entry& entry : entries) {
      (entry.folder ? folders : files) += 1;
      bytes += entry.bytes.size();
    }
    std::printf("%.2f %.2f\n", writing.count(), onDisk.count());
    std::fprintf(stderr, "%zu folders, %zu files, %zu bytes\n", folders, files, bytes);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quillmark-write-floor: %s\n", error.what());
    return 1;
  }
  return 0;
}
