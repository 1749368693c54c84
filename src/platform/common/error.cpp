// Portable part of the error type: the German texts of the run-time error numbers,
// and the messages of the platform made fit for the error line.
#include "platform/error.h"

#include <algorithm>

namespace qm::err {

std::string Text(long number) {
  switch (number) {
    case kInvalidCall: return "Ungültiger Prozeduraufruf oder ungültiges Argument";
    case kOverflow: return "Überlauf";
    case kOutOfMemory: return "Nicht genügend Speicher";
    case kSubscript: return "Index außerhalb des gültigen Bereichs";
    case kTypeMismatch: return "Typen unverträglich";
    case kFileNotFound: return "Datei nicht gefunden";
    case kDeviceIo: return "Fehler beim Geräte-E/A";
    case kDiskFull: return "Datenträger voll";
    case kPermissionDenied: return "Zugriff verweigert";
    case kPathFileAccess: return "Fehler beim Zugriff auf Pfad/Datei";
    case kPathNotFound: return "Pfad nicht gefunden";
    default: return "Anwendungs- oder objektdefinierter Fehler";
  }
}

Error Make(long number, std::string source) {
  return Error(number, std::move(source), Text(number));
}

// PostgreSQL ends a line of its message with a line feed and indents the next
// with a tab; a 50 MB data link file was once quoted whole. The error line is
// read line by line by administrators and their tools.
Error FromPlatform(long number, std::string source, std::string_view message) {
  std::string text;
  text.reserve(std::min(message.size(), kLongestPlatformText));
  std::size_t characters = 0;
  for (std::size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    // CR LF is one line break: the LF that follows stands for both.
    if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    // A byte that continues a UTF-8 sequence belongs to the character before it.
    const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (!continuation && ++characters > kLongestPlatformText) break;
    const bool breakOrTab = c == '\r' || c == '\n' || c == '\t' || c == '\v' || c == '\f';
    text += breakOrTab ? ' ' : c;
  }
  return Error(number, std::move(source), std::move(text));
}

}  // namespace qm::err
