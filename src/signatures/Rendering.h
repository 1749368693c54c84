// Template rendering: one template file into one signature file.
#pragma once

#include <string>
#include <string_view>

#include <vector>

#include "records/Membership.h"
#include "records/Run.h"
#include "records/UserData.h"

namespace qm {

enum SignatureFormat : int { kFormatHtm = 1, kFormatRtf = 2, kFormatTxt = 3 };

/// What one signature is rendered with: the sender's data and, where the run
/// has them, a mailbox's, the manager's and the mailbox's manager's, each
/// reached by the placeholder names after its prefix (@MAILBOX_PHONE@,
/// @MANAGER_LASTNAME@, @MAILBOX_MANAGER_LASTNAME@); the names of data that is
/// not given are no placeholders. membership answers @IF MEMBEROF=...@.
struct SignatureData {
  const UserDataRecord* user = nullptr;
  const UserDataRecord* mailbox = nullptr;
  const UserDataRecord* manager = nullptr;
  const UserDataRecord* mailboxManager = nullptr;
  const MembershipRecord* membership = nullptr;
  /// The user's photo: with it, @PHOTO@ is the name of the photo's file in
  /// htm, the picture itself in rtf, nothing in txt; without it, no placeholder.
  const PhotoRecord* photo = nullptr;
};

/// The placeholder names the data knows (without the symbol), in the order
/// they are replaced: the user's, then MAILBOX_, MANAGER_ and
/// MAILBOX_MANAGER_, then PHOTO.
std::vector<std::string> PlaceholderNames(const SignatureData& data);

/// Renders template folder + signType + ext into signature folder + targetName + ext,
/// with the data's values in place of the placeholders.
/// With RunState.EscapeValues every value is escaped for the format (EscapeValue);
/// with RunState.DropEmptyLines a line whose placeholders are all empty or blank
/// is left out with its line end; with RunState.TemplateConditions the
/// conditional blocks decide which lines are written, and the log says how
/// many blocks there were. An htm file that shows the photo gets it beside
/// itself as targetName + "_photo.jpg" (or ".png"); that file's name is
/// returned ("" when none was written). Raises the file system's error, and
/// error 999 naming the file and the line for a marker that is wrong.
std::string CreateSignatureFile(Run& run, const std::string& signType, const std::string& targetName, int format,
                                const SignatureData& data);
/// The same with the user's data and, when given, a mailbox's.
void CreateSignatureFile(Run& run, const std::string& signType, const std::string& targetName, int format,
                         const UserDataRecord& user, const UserDataRecord* mailbox = nullptr);

/// Whether the template file can be opened for reading. An audit asks the
/// file system once for a template it found, for all its users.
bool TemplateReadable(const Run& run, const std::string& path);

/// Reads the three templates of signType as the rendering would, and raises
/// error 999 naming the file and the line for an unknown marker, a marker
/// that is not alone in its line or lacks its closing symbol, an ELSE or
/// ENDIF without its IF, an IF without its ENDIF or blocks nested too deep
/// (the configuration check, before anything is written); with errors, each
/// of them goes there instead and the reading goes on. A template that is not
/// there is left to the production step.
void CheckTemplateConditions(Run& run, const std::string& signType, const SignatureData& data,
                             std::vector<std::string>* errors = nullptr);

/// A user value as it goes into a signature file of the format, in the ANSI code
/// page. htm: & < > " as entities and every character above U+007E as a decimal
/// character reference, so the value is ASCII; rtf: \ { } escaped, a character
/// the code page holds above 0x7F as \'hh, any other as \uN? per UTF-16 unit;
/// txt (or any other format): the value in the code page, with its replacement
/// ("?", on Windows also a best-fit look-alike) for what it cannot hold. Never fails.
std::string EscapeValue(std::string_view utf8, int format);

}  // namespace qm
