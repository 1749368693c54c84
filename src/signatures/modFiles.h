// The production step: the signature folder, every signature and its images.
#pragma once

#include <string>
#include <vector>

namespace qm {

/// Steps 23 to 26: empty the folder if configured, render every new-message and
/// reply signature and copy their images (each recorded in ProducedSignatures),
/// then prompt. False when the user stopped.
bool ProcessSignatures();

void ClearSignatureFolder(int deleteMode);
bool TemplateFilesExist(const std::string& signType);
/// Returns the names of the images it copied (whether the copy succeeded or not).
std::vector<std::string> CopyImageFiles(const std::string& name);

}  // namespace qm
