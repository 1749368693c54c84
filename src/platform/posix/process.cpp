// POSIX process services: argv joined, /proc/self/exe, the environment with the
// fallbacks a Linux desktop needs (USER for USERNAME, XDG config for APPDATA,
// each when the variable is unset).
#include "platform/process.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/executable.h"
#include "platform/paths.h"

namespace qm::platform {
namespace {
std::vector<std::string> g_args;
std::string g_exePath;

std::optional<std::string> RawEnv(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

// The XDG base directory rules: an empty XDG_CONFIG_HOME counts as unset.
std::string ConfigHome() {
  std::string folder = RawEnv("XDG_CONFIG_HOME").value_or("");
  if (folder.empty()) {
    const std::string home = RawEnv("HOME").value_or("");
    if (!home.empty()) folder = home + "/.config";
  }
  return folder;
}

std::string ExePath() {
  if (g_exePath.empty()) {
    std::vector<char> buf(PATH_MAX + 1, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n > 0) g_exePath.assign(buf.data(), static_cast<size_t>(n));
  }
  return g_exePath;
}
}  // namespace

void InitProcess(int argc, char** argv) {
  g_args.clear();
  for (int i = 1; i < argc; ++i) g_args.emplace_back(argv[i]);
  ExePath();
}

std::string ArgumentText() {
  std::string text;
  for (size_t i = 0; i < g_args.size(); ++i) {
    if (i > 0) text += ' ';
    text += g_args[i];
  }
  return text;
}

namespace native {

std::string ExecutablePath() { return FromNativePath(ExePath()); }

}  // namespace native

std::string EnvironmentValue(const std::string& name) {
  std::optional<std::string> raw = RawEnv(name.c_str());
  // Only a variable that is not there at all has a stand-in: one set to nothing
  // is set so on purpose, as it would be on Windows.
  if (!raw && name == "USERNAME") raw = RawEnv("USER");
  std::string value = raw.value_or("");
  if (!raw && name == "APPDATA") value = ConfigHome();
  if (!value.empty() && value[0] == '/') value = FromNativePath(value);
  return value;
}

std::string ExpandEnvironmentReferences(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find('%', i);
    if (open == std::string::npos) break;
    size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    std::string name = text.substr(open + 1, close - open - 1);
    std::string value = name.empty() ? std::string() : EnvironmentValue(name);
    out += text.substr(i, open - i);
    if (!name.empty() && (!value.empty() || std::getenv(name.c_str()) != nullptr)) {
      out += value;
      i = close + 1;
    } else {
      // Windows keeps an unknown reference as written and goes on after its first "%".
      out += '%';
      i = open + 1;
    }
  }
  out += text.substr(i);
  return out;
}

}  // namespace qm::platform

namespace qm::platform {

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "";
  return FromNativePath(buffer.data());
}

}  // namespace qm::platform
