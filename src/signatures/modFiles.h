// The production step: the signature folder, every signature and its images.
#pragma once

#include <string>

namespace qm {

/// Steps 23 to 26: empty the folder if configured, render every new-message and
/// reply signature and copy their images, then prompt. False when the user stopped.
bool ProcessSignatures();

void ClearSignatureFolder(int deleteMode);
bool TemplateFilesExist(const std::string& signType);
void CopyImageFiles(const std::string& name);

}  // namespace qm
