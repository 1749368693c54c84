// Template rendering: one template file into one signature file.
#pragma once

#include <string>
#include <string_view>

#include "records/UserData.h"

namespace qm {

enum SignatureFormat : int { kFormatHtm = 1, kFormatRtf = 2, kFormatTxt = 3 };

/// Renders template folder + signType + ext into signature folder + targetName + ext,
/// with the user's values in place of the placeholders and, when mailbox is
/// given, the mailbox's in place of the same names after "MAILBOX_"
/// (@MAILBOX_FIRSTNAME@); without a mailbox those are no placeholders.
/// With RunState.EscapeValues every value is escaped for the format (EscapeValue);
/// with RunState.DropEmptyLines a line whose placeholders are all empty or blank
/// is left out with its line end. Raises the file system's error.
void CreateSignatureFile(const std::string& signType, const std::string& targetName, int format,
                         const UserDataRecord& user, const UserDataRecord* mailbox = nullptr);

/// A user value as it goes into a signature file of the format, in the ANSI code
/// page. htm: & < > " as entities and every character above U+007E as a decimal
/// character reference, so the value is ASCII; rtf: \ { } escaped, a character
/// the code page holds above 0x7F as \'hh, any other as \uN? per UTF-16 unit;
/// txt (or any other format): the value in the code page, with its replacement
/// ("?", on Windows also a best-fit look-alike) for what it cannot hold. Never fails.
std::string EscapeValue(std::string_view utf8, int format);

}  // namespace qm
