// Template rendering: one template file into one signature file.
#pragma once

#include <string>

namespace qm {

enum SignatureFormat : int { kFormatHtm = 1, kFormatRtf = 2, kFormatTxt = 3 };

/// Renders template folder + signType + ext into signature folder + targetName + ext.
void CreateSignatureFile(const std::string& signType, const std::string& targetName, int format);

}  // namespace qm
