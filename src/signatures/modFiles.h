// The production step: the signature folder, every signature and its images.
#pragma once

#include <string>
#include <vector>

namespace qm {

/// The image types that travel with a signature, in the order they are copied
/// (the end of a file name, compared without regard to case; no dot needed).
inline constexpr const char* kImageTypes = "gif;jpg;jpeg";

/// Steps 23 to 26: empty the folder if configured, render every new-message and
/// reply signature and copy their images (each recorded in ProducedSignatures),
/// then prompt. False when the user stopped.
bool ProcessSignatures();

void ClearSignatureFolder(int deleteMode);
bool TemplateFilesExist(const std::string& signType);
/// Returns the names of the images it copied (whether the copy succeeded or not).
std::vector<std::string> CopyImageFiles(const std::string& name);

/// True when an image whose file name is lowerName (in lower case) belongs to
/// the signature named target: the name begins with the target as written.
bool ImageBelongsTo(const std::string& lowerName, const std::string& target);
/// True when the file name ends in one of the image types that are copied.
bool IsCopiedImageType(const std::string& fileName);

}  // namespace qm
