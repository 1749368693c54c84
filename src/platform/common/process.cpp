// The executable's folder and name, OS-independent: both are cut from its
// path in core notation (common/executable.h).
#include "platform/process.h"

#include "platform/common/executable.h"

namespace qm::platform {

std::string ExecutableFolder() {
  const std::string path = native::ExecutablePath();
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return ".";
  // A root keeps its backslash: "C:\" on Windows, "\" for a program in Linux's "/".
  const bool root = slash == 0 || (slash == 2 && path[1] == ':');
  return path.substr(0, root ? slash + 1 : slash);
}

std::string ExecutableBaseName() {
  const std::string path = native::ExecutablePath();
  const size_t slash = path.rfind('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // ".quillmark" is a name without an extension.
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace qm::platform
