// The placeholders of the templates, in the order in which they are replaced:
// the renderer puts the user's values in their places, /CHECK names a
// placeholder in a template that is not one of them, and the README's table
// lists every one. A new placeholder is one more line here.
#pragma once

#include <array>
#include <string_view>

#include "records/UserData.h"

namespace qm {

/// Where a placeholder's value comes from: one field, composed from several,
/// or the user's photo.
enum class PlaceholderValue { Field, FullName, SignTitle, Photo };

struct Placeholder {
  std::string_view name;
  PlaceholderValue kind;
  UserField field;  ///< the field of a Field placeholder (the first one of a composed one)
};

inline constexpr std::array<Placeholder, 23> kPlaceholders = {{
    {"FIRSTNAME", PlaceholderValue::Field, UserField::FirstName},
    {"LASTNAME", PlaceholderValue::Field, UserField::LastName},
    {"INITIALS", PlaceholderValue::Field, UserField::Initials},
    {"TITLE", PlaceholderValue::Field, UserField::Title},
    {"FULLNAME", PlaceholderValue::FullName, UserField::FirstName},
    {"SIGNTITLE", PlaceholderValue::SignTitle, UserField::SignTitle1},
    {"PHONE", PlaceholderValue::Field, UserField::Phone},
    {"FAX", PlaceholderValue::Field, UserField::Fax},
    {"MOBILE", PlaceholderValue::Field, UserField::Mobile},
    {"EMAIL", PlaceholderValue::Field, UserField::EMail},
    {"POSTCODE", PlaceholderValue::Field, UserField::Postcode},
    {"CITY", PlaceholderValue::Field, UserField::City},
    {"STREET", PlaceholderValue::Field, UserField::Street},
    {"USERDEF1", PlaceholderValue::Field, UserField::UserDef1},
    {"USERDEF2", PlaceholderValue::Field, UserField::UserDef2},
    {"USERDEF3", PlaceholderValue::Field, UserField::UserDef3},
    {"USERDEF4", PlaceholderValue::Field, UserField::UserDef4},
    {"USERDEF5", PlaceholderValue::Field, UserField::UserDef5},
    {"USERDEF6", PlaceholderValue::Field, UserField::UserDef6},
    {"USERDEF7", PlaceholderValue::Field, UserField::UserDef7},
    {"USERDEF8", PlaceholderValue::Field, UserField::UserDef8},
    {"USERDEF9", PlaceholderValue::Field, UserField::UserDef9},
    {"USERDEF10", PlaceholderValue::Field, UserField::UserDef10},
}};

/// The prefixes of the placeholders of the other data a signature may have:
/// the mailbox's (MailboxSignatures=1), the manager's and the mailbox's
/// manager's (ManagerData=1).
inline constexpr std::string_view kMailboxPrefix = "MAILBOX_";
inline constexpr std::string_view kManagerPrefix = "MANAGER_";
inline constexpr std::string_view kMailboxManagerPrefix = "MAILBOX_MANAGER_";

/// The user's photo (a "Photo" key in section "FieldMapping"), a placeholder
/// of its own beside the fields.
inline constexpr Placeholder kPhotoPlaceholder{"PHOTO", PlaceholderValue::Photo, UserField::FirstName};

/// True when name (without the symbols) is a placeholder of the table.
constexpr bool IsPlaceholderName(std::string_view name) {
  for (const Placeholder& p : kPlaceholders) {
    if (p.name == name) return true;
  }
  return false;
}

}  // namespace qm
