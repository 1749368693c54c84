// What both user data sources share: the field mappings step, which decides
// which sources run, and how a source's value goes into UserData.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "records/Run.h"
#include "records/UserData.h"

namespace qm {

/// Reads one key of section "FieldMapping" into FieldMappings[index].
void ReadFieldMapping(Run& run, const std::string& key, int index);
/// The step: all 25 mappings, the two flags and the usage line.
void ReadFieldMappings(Run& run);

/// The largest photo taken, in bytes (thumbnailPhoto holds at most 100 KB).
inline constexpr std::size_t kLargestPhoto = std::size_t{1} << 20;

/// A source's photo into UserPhoto when it is a JPEG or PNG of at most
/// kLargestPhoto bytes (cut: the source had more) with a size that can be
/// read; otherwise UserPhoto stays empty. Logs one line, after prefix ("DB ->
/// ", "AD -> "), either way. Never raises.
void TakePhoto(Run& run, const std::string& prefix, const std::optional<std::string>& bytes, bool cut);

/// Raises ADO's error for a field that the result set does not have (a mapped
/// column missing from the query, an attribute without a name).
[[noreturn]] void RaiseFieldNotFound();

/// Writes one source value into a record by the rules of the sources:
/// ordinary fields always (null gives ""), SignType / SignTypeReply only when
/// non-empty, in lower case, with the clearing of SignTypeReply and the flags.
void WriteSourceValue(UserDataRecord& record, UserField field, const std::optional<std::string>& value);

}  // namespace qm
