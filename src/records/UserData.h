// The user's data record, the field order and the per-field source table:
// data only, filled by the sources and read by every later step.
#pragma once

#include <array>
#include <string>

namespace qm {

enum class UserField : int {
  FirstName = 0, LastName, Initials, Title, Phone, Fax, EMail, SignTitle1, SignTitle2,
  SignType, SignTypeReply, Mobile, Postcode, City, Street,
  UserDef1, UserDef2, UserDef3, UserDef4, UserDef5, UserDef6, UserDef7, UserDef8, UserDef9,
  UserDef10
};
inline constexpr int kUserFieldCount = 25;

/// The field names in UserField order; also the keys of section "FieldMapping".
inline constexpr std::array<const char*, kUserFieldCount> kUserFieldNames = {
    "FirstName", "LastName", "Initials", "Title", "Phone", "Fax", "EMail", "SignTitle1",
    "SignTitle2", "SignType", "SignTypeReply", "Mobile", "Postcode", "City", "Street",
    "UserDef1", "UserDef2", "UserDef3", "UserDef4", "UserDef5", "UserDef6", "UserDef7",
    "UserDef8", "UserDef9", "UserDef10"};

struct UserDataRecord {
  std::array<std::string, kUserFieldCount> fields;
  bool SignTypeFromSource = false;
  bool SignTypeReplyFromSource = false;

  std::string& operator[](UserField f) { return fields[static_cast<size_t>(f)]; }
  const std::string& operator[](UserField f) const { return fields[static_cast<size_t>(f)]; }
};

struct FieldMapping {
  std::string Source;      // "DB", "AD" or ""
  std::string SourceName;  // column or attribute name
};

/// The user's photo as a source gave it, once checked: its bytes, "jpg" or
/// "png", and its size in pixels; Bytes empty when there is none.
struct PhotoRecord {
  std::string Bytes;
  std::string Extension;
  int Width = 0;
  int Height = 0;
};

}  // namespace qm
