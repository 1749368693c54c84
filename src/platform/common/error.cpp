// Portable part of the error type: the German texts of the run-time error numbers.
#include "platform/error.h"

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

}  // namespace qm::err
