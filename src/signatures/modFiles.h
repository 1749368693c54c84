// The production step: the signature folder, every signature and its images.
#pragma once

#include <string>
#include <vector>

#include "records/Mailboxes.h"
#include "records/Run.h"
#include "signatures/Rendering.h"

namespace qm {

/// Steps 23 to 26: empty the folder if configured, render every new-message and
/// reply signature and copy their images (each recorded in ProducedSignatures),
/// then prompt. False when the user stopped.
bool ProcessSignatures(Run& run);

/// What the signatures of the user's own set (mailbox nullptr) or of a
/// mailbox are rendered with, as the settings ask: the mailbox's data and
/// groups, the managers' data (ManagerData=1); with MailboxSignatures=1 the
/// user's own set has the user as its mailbox.
SignatureData SignatureDataFor(const Run& run, const MailboxRecord* mailbox);

void ClearSignatureFolder(Run& run, int deleteMode);
bool TemplateFilesExist(Run& run, const std::string& signType);
/// Returns the names of the images it copied (whether the copy succeeded or not).
std::vector<std::string> CopyImageFiles(Run& run, const std::string& name);

/// True when a template file of the template folder (htm, rtf or txt) holds
/// the word MEMBEROF in any case: a condition on groups may be in it, so the
/// directory step reads the groups; also true when one cannot be read.
/// Never fails.
bool TemplatesAskForMembership(Run& run);

/// True when an image whose file name is lowerName (in lower case) belongs to
/// the signature named target: the name begins with the target as written.
bool ImageBelongsTo(const std::string& lowerName, const std::string& target);
/// True when the file name ends in one of the image types that are copied
/// (RunState.ImageTypes, compared without regard to case).
bool IsCopiedImageType(const Run& run, const std::string& fileName);

}  // namespace qm
