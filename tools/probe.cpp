// quillmark-probe: single platform services on the command line, so that tests
// can ask the linux and the windows build the same questions.
//   ini-read FILE SECTION KEY [SECTION KEY]...  prints each value between [ and ]
//   ini-write FILE SECTION KEY VALUE
//   codepage HEX...                texts as the hex digits of their UTF-8 bytes
//                                  (arguments reach the windows build through the
//                                  ANSI code page, which would lose most letters);
//                                  one line per text: its bytes in the ANSI code
//                                  page, then those bytes read back (UTF-8), in hex;
//                                  "error: TEXT" and exit status 1 for a code page
//                                  the system refuses (also codepage-read)
//   codepage-read HEX...           bytes in the ANSI code page as hex digits; one
//                                  line per argument: the text they read as (UTF-8,
//                                  in hex)
//   codepage-table NUMBER          the Windows code page of that number, whole:
//                                  a line "to-unicode" with the UTF-16 unit of each
//                                  byte on its own (4 hex digits each, bytes 00 to
//                                  FF); for a double-byte code page a line
//                                  "lead-bytes" with its lead bytes and per lead
//                                  byte LL a line "pairs LL" with the unit of LL
//                                  and each byte 00 to FF after it ("----" where
//                                  the two are no pair); then per high byte HH of
//                                  a UTF-16 unit a line "from-unicode HH" with the
//                                  bytes each unit HH00 to HHFF is written as (2
//                                  hex digits each, 4 in a double-byte code page);
//                                  exit status 1 when the system has no such code
//                                  page of one or two bytes
//   case HEX|HEX:HEX...            texts as for codepage;
//                                  one line per argument: HEX its lower and its
//                                  upper case, in hex and separated by a blank;
//                                  HEX:HEX "equal" or "different", the two texts
//                                  compared without regard to case
//   directory-search BASE FILTER ATTRIBUTES [USER PASSWORD] [TIMEOUT]
//                                  BASE as LDAPBaseObjectDN writes one, ATTRIBUTES
//                                  separated by ","; the first entry of the
//                                  subtree search: "found", then one line
//                                  name=value|value per attribute; "not found";
//                                  or "error NUMBER: TEXT" and exit status 1
//   database-query CONNECTION SQL  CONNECTION as ADO takes it ("File Name=..." or an
//                                  OLE DB string): "row", then name=value or
//                                  "name null" per column; "no row"; or
//                                  "error NUMBER: TEXT" and exit status 1
//   hold FILE FLAG                 opens FILE for writing (as the program's own
//                                  writes do: others may read, not write), creates
//                                  the file FLAG and keeps FILE open until FLAG is
//                                  removed (at most 60 s)
//   run-with NAME HEX... -- PROGRAM ARG...
//                                  Windows only: sets each environment variable
//                                  NAME to the text of HEX (hex digits of its
//                                  UTF-8 bytes) with SetEnvironmentVariableW, then
//                                  runs PROGRAM with the ARGs (as they are) and exits
//                                  with its exit status (99 when it does not end
//                                  within 120 s); exit status 2 on Linux, whose
//                                  tests set the environment themselves
//   lock FILE SHARE FLAG           Windows only: opens the existing FILE for reading
//                                  and writing, as Word holds an open document,
//                                  sharing it for reading (SHARE "read") or not at
//                                  all ("none"), then as hold; exit status 2 on
//                                  Linux, which has no such locks
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <thread>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/text.h"
#include "platform/database.h"
#include "platform/directory.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/modTools.h"

#ifdef _WIN32
#include "platform/win32/win32.h"
#endif

namespace {

constexpr int kHexBase = 16;
constexpr size_t kDigitsPerByte = 2;
constexpr size_t kDigitsPerUnit = 4;
constexpr unsigned kByteBits = 8;
constexpr size_t kUnitsPerLine = 256;  // the units of one high byte
// A directory search pages and waits as the directory source's does.
constexpr int kDirectoryPageSize = 99;
constexpr int kDirectorySeconds = 30;

std::string Hex(std::string_view bytes) {
  std::string hex;
  char digits[kDigitsPerByte + 1];
  for (unsigned char b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    hex += digits;
  }
  return hex;
}

// The bytes of hex digits; nullopt for anything else.
std::optional<std::string> Unhex(std::string_view hex) {
  if (hex.size() % kDigitsPerByte != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += kDigitsPerByte) {
    unsigned value = 0;
    const char* end = hex.data() + i + kDigitsPerByte;
    if (std::from_chars(hex.data() + i, end, value, kHexBase).ptr != end) return std::nullopt;
    bytes += static_cast<char>(value);
  }
  return bytes;
}

int Usage() {
  std::fputs("usage: quillmark-probe ini-read FILE SECTION KEY | ini-write FILE SECTION KEY VALUE\n", stderr);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  qm::platform::InitProcess(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::string& cmd = args[0];
  if (cmd == "ini-read" && args.size() >= 4 && args.size() % 2 == 0) {
    // One line per section/key pair, the value between [ and ].
    for (size_t i = 2; i + 1 < args.size(); i += 2) {
      std::string v = qm::ReadIniValue(args[1], args[i], args[i + 1]);
      std::printf("[%s]\n", v.c_str());
    }
    return 0;
  }
  if (cmd == "ini-write" && args.size() == 5) {
    qm::WriteIniValue(args[1], args[2], args[3], args[4]);
    return 0;
  }
  if ((cmd == "codepage" || cmd == "codepage-read") && qm::platform::CodePageRefusal()) {
    std::printf("error: %s\n", qm::platform::CodePageRefusal()->c_str());
    return 1;
  }
  if (cmd == "codepage" && args.size() >= 2) {
    for (size_t i = 1; i < args.size(); ++i) {
      const std::optional<std::string> text = Unhex(args[i]);
      if (!text) return Usage();
      const std::string ansi = qm::platform::ToAnsi(*text);
      std::printf("%s %s\n", Hex(ansi).c_str(), Hex(qm::platform::FromAnsi(ansi)).c_str());
    }
    return 0;
  }
  if (cmd == "codepage-read" && args.size() >= 2) {
    for (size_t i = 1; i < args.size(); ++i) {
      const std::optional<std::string> bytes = Unhex(args[i]);
      if (!bytes) return Usage();
      std::printf("%s\n", Hex(qm::platform::FromAnsi(*bytes)).c_str());
    }
    return 0;
  }
  if (cmd == "codepage-table" && args.size() == 2) {
    const auto number = static_cast<unsigned>(std::atoi(args[1].c_str()));
    const std::optional<qm::platform::CodePageTable> table = qm::platform::ReadCodePageTable(number);
    if (!table) return 1;
    const auto units = [](const auto& from, size_t first, size_t count, bool pairs) {
      std::string line;
      for (size_t i = first; i < first + count; ++i) {
        char digits[kDigitsPerUnit + 1];
        std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(from[i]));
        (line += ' ') += pairs && from[i] == 0 ? "----" : digits;
      }
      return line;
    };
    std::printf("to-unicode%s\n", units(table->toUnicode, 0, kUnitsPerLine, false).c_str());
    const bool doubleByte = !table->pairs.empty();
    if (doubleByte) {
      std::string leads = "lead-bytes";
      for (size_t b = 0; b < table->leadByte.size(); ++b) {
        if (table->leadByte[b]) leads += " " + Hex(std::string(1, static_cast<char>(b)));
      }
      std::printf("%s\n", leads.c_str());
      for (size_t lead = 0; lead < table->leadByte.size(); ++lead) {
        if (!table->leadByte[lead]) continue;
        std::printf("pairs %02zX%s\n", lead,
                    units(table->pairs, lead << kByteBits, kUnitsPerLine, true).c_str());
      }
    }
    for (size_t high = 0; high < table->fromUnicode.size(); high += kUnitsPerLine) {
      std::string digits;
      for (size_t u = high; u < high + kUnitsPerLine; ++u) {
        const std::uint16_t code = table->fromUnicode[u];
        digits += doubleByte ? Hex(std::string{static_cast<char>(code >> kByteBits), static_cast<char>(code)})
                             : Hex(std::string(1, static_cast<char>(code)));
      }
      std::printf("from-unicode %02zX %s\n", high >> kByteBits, digits.c_str());
    }
    return 0;
  }
  if (cmd == "case" && args.size() >= 2) {
    for (size_t i = 1; i < args.size(); ++i) {
      const size_t colon = args[i].find(':');
      const std::optional<std::string> text = Unhex(std::string_view(args[i]).substr(0, colon));
      const std::optional<std::string> other =
          colon == std::string::npos ? std::nullopt : Unhex(std::string_view(args[i]).substr(colon + 1));
      if (!text || (colon != std::string::npos && !other)) return Usage();
      if (other) {
        std::printf("%s\n", qm::platform::text::EqualsNoCase(*text, *other) ? "equal" : "different");
      } else {
        std::printf("%s %s\n", Hex(qm::ToLower(*text)).c_str(), Hex(qm::ToUpper(*text)).c_str());
      }
    }
    return 0;
  }
  if (cmd == "directory-search" && (args.size() == 4 || args.size() == 6 || args.size() == 7)) {
    namespace dir = qm::platform::directory;
    std::optional<dir::Credentials> credentials;
    if (args.size() >= 6) credentials = dir::Credentials{args[4], args[5]};
    int timeout = args.size() == 7 ? std::stoi(args[6]) : kDirectorySeconds;
    try {
      dir::Connection c = dir::Connection::Open(credentials);
      dir::Search search = dir::ParseBase(args[1]);
      search.filter = args[2];
      search.attributes = qm::Split(args[3], ",");
      search.pageSize = kDirectoryPageSize;
      std::optional<dir::Entry> entry = c.SearchFirst(search, timeout);
      if (!entry) {
        std::printf("not found\n");
        return 0;
      }
      std::printf("found\n");
      for (const auto& [name, values] : entry->attributes) {
        std::string line = name + "=";
        for (size_t i = 0; i < values.size(); ++i) line += (i ? "|" : "") + values[i];
        std::printf("%s\n", line.c_str());
      }
      return 0;
    } catch (const qm::Error& e) {
      std::printf("error %ld: %s\n", e.Number(), e.Description().c_str());
      return 1;
    }
  }
  if (cmd == "database-query" && args.size() == 3) {
    namespace db = qm::platform::database;
    try {
      db::Connection c = db::Connection::OpenConnectionString(args[1], 15);
      std::optional<db::Row> row = c.QueryFirstRow(args[2], 30);
      if (!row) {
        std::printf("no row\n");
        return 0;
      }
      std::printf("row\n");
      for (const auto& [name, value] : row->columns) {
        if (value) {
          std::printf("%s=%s\n", name.c_str(), value->c_str());
        } else {
          std::printf("%s null\n", name.c_str());
        }
      }
      return 0;
    } catch (const qm::Error& e) {
      std::printf("error %ld: %s\n", e.Number(), e.Description().c_str());
      return 1;
    }
  }
  if (cmd == "hold" && args.size() == 3) {
    namespace pf = qm::platform;
    try {
      pf::OutputFile held(args[1], pf::OutputFile::Mode::Append);
      pf::OutputFile(args[2], pf::OutputFile::Mode::Replace).Close();
      for (int i = 0; i < 3000 && pf::PathExists(args[2]); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return 0;
    } catch (const qm::Error& e) {
      std::printf("error %ld: %s\n", e.Number(), e.Description().c_str());
      return 1;
    }
  }
  if (cmd == "run-with" && args.size() >= 3) {
#ifdef _WIN32
    // Wine sets USERNAME, APPDATA and TEMP from its own registry; a process
    // started from here gets the values set here.
    namespace win32 = qm::platform::win32;
    size_t i = 1;
    for (; i + 1 < args.size() && args[i] != "--"; i += 2) {
      const std::optional<std::string> value = Unhex(args[i + 1]);
      if (!value) return Usage();
      SetEnvironmentVariableW(win32::Widen(args[i]).c_str(), win32::Widen(*value).c_str());
    }
    if (i + 1 >= args.size() || args[i] != "--") return Usage();
    // The program in quotes, its arguments as they are: the program reads its
    // command line as typed.
    std::wstring commandLine = L'"' + win32::Widen(args[++i]) + L'"';
    for (++i; i < args.size(); ++i) commandLine += L' ' + win32::Widen(args[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
      std::printf("error %lu\n", GetLastError());
      return 1;
    }
    const win32::FileHandle process(started.hProcess), thread(started.hThread);
    constexpr DWORD kRunMilliseconds = 120000;
    constexpr int kDidNotEnd = 99;
    if (WaitForSingleObject(process.get(), kRunMilliseconds) != WAIT_OBJECT_0) return kDidNotEnd;
    DWORD status = 0;
    GetExitCodeProcess(process.get(), &status);
    return static_cast<int>(status);
#else
    return 2;
#endif
  }
  if (cmd == "lock" && args.size() == 4) {
#ifdef _WIN32
    const DWORD share = args[2] == "read" ? FILE_SHARE_READ : 0;
    qm::platform::win32::FileHandle held(CreateFileW(qm::platform::win32::Widen(args[1]).c_str(),
                                                     GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.valid()) {
      std::printf("error %lu\n", GetLastError());
      return 1;
    }
    namespace pf = qm::platform;
    pf::OutputFile(args[3], pf::OutputFile::Mode::Replace).Close();
    for (int i = 0; i < 3000 && pf::PathExists(args[3]); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
#else
    return 2;
#endif
  }
  return Usage();
}
