// The production step: the signature folder, every signature and its images.
#pragma once

#include <string>
#include <vector>

namespace qm {

/// Steps 23 to 26: empty the folder if configured, render every new-message and
/// reply signature and copy their images, then prompt. False when the user stopped.
bool ProcessSignatures();

/// A signature the run produced, in run order: the heading of its log line
/// ("1. Standardsignatur|standard > standard"), its target name and the images
/// copied for it, named as in the signature folder. ResetRun clears the list.
struct ProducedSignature {
  std::string Heading;
  std::string Target;
  std::vector<std::string> Images;
};
extern std::vector<ProducedSignature> ProducedSignatures;

void ClearSignatureFolder(int deleteMode);
bool TemplateFilesExist(const std::string& signType);
/// Returns the names of the images it copied (whether the copy succeeded or not).
std::vector<std::string> CopyImageFiles(const std::string& name);

}  // namespace qm
