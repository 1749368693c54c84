// The process's standard output and error: where /VERSION answers. The
// Windows exe is a GUI program without a console of its own.
#pragma once

#include <string_view>

namespace qm::platform {

enum class Stream { Output, Error };

/// Writes the text (UTF-8) and a line end to standard output or error.
/// Windows: to the handle the starting program gave (a pipe or a file, in
/// the OEM code page as console programs write it), else to the console of
/// the program that started this one (cmd.exe), else nowhere. Never fails.
void WriteLine(Stream stream, std::string_view text);

}  // namespace qm::platform
