// The field mappings step and the rules of writing a source's value.
#include "userdata/Sources.h"

#include "log/modHelper.h"
#include "platform/error.h"
#include "records/Settings.h"
#include "support/modTools.h"

namespace qm {

void ReadFieldMapping(const std::string& key, int index) {
  const std::string value = Settings::FieldMapping(key);
  if (value.empty()) return;
  FieldMapping& mapping = FieldMappings.at(static_cast<size_t>(index));
  if (value[0] == '*') {
    mapping.Source = "AD";
    mapping.SourceName = value.substr(1);
  } else {
    mapping.Source = "DB";
    mapping.SourceName = value;
  }
}

void ReadFieldMappings() {
  WriteLog("Ermittle Field-Mappings");
  for (int i = 0; i < kUserFieldCount; ++i) ReadFieldMapping(kUserFieldNames[static_cast<size_t>(i)], i);
  UseDatabase = false;
  UseDirectory = false;
  for (const FieldMapping& m : FieldMappings) {
    if (m.Source == "AD") UseDirectory = true;
    if (m.Source == "DB") UseDatabase = true;
  }
  WriteLog(std::string("...Feldverwendung|Datenbank (DB)=") + (UseDatabase ? "TRUE" : "FALSE") +
           "; Active-Directory (AD)=" + (UseDirectory ? "TRUE" : "FALSE"));
}

void RaiseFieldNotFound() {
  constexpr long kItemNotFound = 3265;
  throw Error(kItemNotFound, "ADODB.Fields",
              "Das Objekt in der Auflistung, das dem angeforderten Namen oder dem angeforderten "
              "Ordinalbezug entspricht, konnte nicht gefunden werden.");
}

void WriteSourceValue(UserDataRecord& record, UserField field, const std::optional<std::string>& value) {
  const std::string text = NullToDefault(value, "");
  if (field == UserField::SignType) {
    // A source that names new-message sign types also discards the reply list.
    if (text.empty()) return;
    record[UserField::SignType] = ToLower(text);
    record[UserField::SignTypeReply].clear();
    record.SignTypeFromSource = true;
  } else if (field == UserField::SignTypeReply) {
    if (text.empty()) return;
    record[UserField::SignTypeReply] = ToLower(text);
    record.SignTypeReplyFromSource = true;
  } else {
    record[field] = text;
  }
}

void WriteSourceValue(UserField field, const std::optional<std::string>& value) {
  WriteSourceValue(UserData, field, value);
}

}  // namespace qm
