// The one error type of the program: every failure travels as an Error to the
// run's single error handler, which logs its number and German description.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace qm {

class Error : public std::exception {
 public:
  Error(long number, std::string source, std::string description)
      : number_(number), source_(std::move(source)), description_(std::move(description)) {}

  long Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  long number_;
  std::string source_;
  std::string description_;
};

// The run-time error numbers and texts of a German Windows, used for failures
// that Windows programs report with them (file access, type and range errors).
namespace err {
inline constexpr long kInvalidCall = 5;       // "Ungültiger Prozeduraufruf oder ungültiges Argument"
inline constexpr long kOverflow = 6;          // "Überlauf"
inline constexpr long kOutOfMemory = 7;       // "Nicht genügend Speicher"
inline constexpr long kSubscript = 9;         // "Index außerhalb des gültigen Bereichs"
inline constexpr long kTypeMismatch = 13;     // "Typen unverträglich"
inline constexpr long kFileNotFound = 53;     // "Datei nicht gefunden"
inline constexpr long kDeviceIo = 57;         // "Fehler beim Geräte-E/A"
inline constexpr long kDiskFull = 61;         // "Datenträger voll"
inline constexpr long kPermissionDenied = 70; // "Zugriff verweigert"
inline constexpr long kPathFileAccess = 75;   // "Fehler beim Zugriff auf Pfad/Datei"
inline constexpr long kPathNotFound = 76;     // "Pfad nicht gefunden"

/// The German text for one of the numbers above ("Anwendungs- oder objektdefinierter Fehler" otherwise).
std::string Text(long number);

/// An Error with the number, its German text and the given source.
Error Make(long number, std::string source = "Quillmark");

/// The longest description, in characters, that FromPlatform keeps.
inline constexpr std::size_t kLongestPlatformText = 1000;

/// An Error whose description comes from outside the program: a driver's or a
/// directory's message, or one that quotes what the configuration handed over
/// (a data link string). Line breaks and tabs become blanks and the text is
/// cut to kLongestPlatformText characters, so that the run's error line stays
/// one line of a readable length. Never fails.
Error FromPlatform(long number, std::string source, std::string_view message);
}  // namespace err

}  // namespace qm
