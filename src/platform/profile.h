// Profile (INI) files, as GetPrivateProfileStringA / WritePrivateProfileStringA
// handle them on Windows. Texts are UTF-8; the file is in the ANSI code page
// (or UTF-16LE when it starts with that byte-order mark).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qm::platform {

/// The value of key in section of file, at most bufferSize - 1 ANSI characters
/// (longer values are cut). Empty when file, section or key is missing or on
/// any failure. Section and key names match without regard to case.
std::string ReadProfileValue(const std::string& file, const std::string& section,
                              const std::string& key, std::size_t bufferSize);

/// The names of the file's sections, in file order; empty when the file is
/// missing or on any failure.
std::vector<std::string> ReadProfileSectionNames(const std::string& file);

/// The names of the keys of section, in file order: lines with "=" that are
/// no comments, of the first section of that name. Empty when file or section
/// is missing or on any failure.
std::vector<std::string> ReadProfileKeyNames(const std::string& file, const std::string& section);

/// Sets key in section of file to value, creating section, key and file as
/// needed; every other byte of the file stays. False on failure.
bool WriteProfileValue(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace qm::platform
