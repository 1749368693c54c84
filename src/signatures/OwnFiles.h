// The files the program itself wrote into Outlook's signature folder: the
// record of them kept between runs, the removal of those a run no longer
// writes (RemoveOldSignatures), and their write protection
// (ProtectSignatures).
#pragma once

#include <string>
#include <vector>

#include "records/Run.h"

namespace qm {

/// Where the record lies: one value per signature folder (named by the
/// folder's path) below HKEY_CURRENT_USER, a list of file names.
inline constexpr const char* kOwnFilesKey = "Software\\Quillmark\\SignatureFiles";

/// Before the run writes name into the signature folder: with
/// ProtectSignatures the read-only attribute an earlier run gave it is
/// cleared, so that it can be replaced. Never raises.
void BeforeSignatureFileWrite(Run& run, const std::string& name);

/// After the run wrote name into the signature folder: recorded as the run's
/// (once), and with ProtectSignatures made read-only (logged). Never raises.
void AfterSignatureFileWrite(Run& run, const std::string& name);

/// The names the record holds for the folder, as stored; empty when there is
/// no record. Raises the registry's error when the record cannot be read.
std::vector<std::string> RecordedSignatureFiles(const std::string& folder);

/// After the signatures are written (RemoveOldSignatures 1 or 2): the files
/// of the record that this run did not write are removed as
/// EmptySignatureFolder removes files, one log line each, and the record
/// becomes this run's list. With EmptySignatureFolder the folder was emptied
/// already: only the record is written. A simulation removes nothing and
/// writes no record: it notes what a run would remove. Never raises: a record
/// that cannot be read or written is a log line.
void RemoveOldSignatureFiles(Run& run);

}  // namespace qm
