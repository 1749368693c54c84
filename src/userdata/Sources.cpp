// The field mappings step and the rules of writing a source's value.
#include "userdata/Sources.h"

#include "log/modHelper.h"
#include "platform/error.h"
#include "records/Settings.h"
#include "support/Images.h"
#include "support/modTools.h"

namespace qm {

void ReadFieldMapping(Run& run, const std::string& key, int index) {
  const std::string value = Settings::FieldMapping(run, key);
  if (value.empty()) return;
  FieldMapping& mapping = run.FieldMappings.at(static_cast<size_t>(index));
  if (value[0] == '*') {
    mapping.Source = "AD";
    mapping.SourceName = value.substr(1);
  } else {
    mapping.Source = "DB";
    mapping.SourceName = value;
  }
}

void ReadFieldMappings(Run& run) {
  WriteLog(run, "Ermittle Field-Mappings");
  for (int i = 0; i < kUserFieldCount; ++i) ReadFieldMapping(run, kUserFieldNames[static_cast<size_t>(i)], i);
  // The photo is no field of the user data: its own mapping, in the same form.
  run.PhotoMapping = FieldMapping{};
  if (const std::string photo = Trim(Settings::FieldMapping(run, "Photo")); !photo.empty() && photo != "*") {
    run.PhotoMapping = photo[0] == '*' ? FieldMapping{"AD", photo.substr(1)} : FieldMapping{"DB", photo};
  }
  run.UseDatabase = false;
  run.UseDirectory = false;
  for (const FieldMapping& m : run.FieldMappings) {
    if (m.Source == "AD") run.UseDirectory = true;
    if (m.Source == "DB") run.UseDatabase = true;
  }
  if (run.PhotoMapping.Source == "AD") run.UseDirectory = true;
  if (run.PhotoMapping.Source == "DB") run.UseDatabase = true;
  WriteLog(run, std::string("...Feldverwendung|Datenbank (DB)=") + (run.UseDatabase ? "TRUE" : "FALSE") +
           "; Active-Directory (AD)=" + (run.UseDirectory ? "TRUE" : "FALSE"));
}

void TakePhoto(Run& run, const std::string& prefix, const std::optional<std::string>& bytes, bool cut) {
  run.UserPhoto = PhotoRecord{};
  if (!bytes || bytes->empty()) {
    WriteLog(run, prefix + "...Kein Foto");
    return;
  }
  if (cut || bytes->size() > kLargestPhoto) {
    WriteLog(run, prefix + "...Foto nicht verwendet (größer als 1 MB)");
    return;
  }
  const ImageInfo info = ReadImageInfo(*bytes);
  if (info.kind == ImageInfo::Kind::None) {
    WriteLog(run, prefix + "...Foto nicht verwendet (weder JPEG noch PNG)");
    return;
  }
  if (info.width == 0) {
    WriteLog(run, prefix + "...Foto nicht verwendet (Breite und Höhe nicht lesbar)");
    return;
  }
  const bool jpeg = info.kind == ImageInfo::Kind::Jpeg;
  run.UserPhoto = PhotoRecord{*bytes, jpeg ? "jpg" : "png", info.width, info.height};
  WriteLog(run, prefix + "...Foto|" + (jpeg ? "JPEG, " : "PNG, ") + std::to_string(info.width) + " x " +
           std::to_string(info.height) + " Pixel, " + std::to_string(bytes->size()) + " Bytes");
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

}  // namespace qm
