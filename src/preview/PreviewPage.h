// The preview page of a simulation (/SIMULATE): index.htm in the preview
// folder, one page an administrator opens in any browser to see what the user
// would get: the user data, every signature the run produced, and the registry
// values it would have set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/Run.h"
#include "signatures/SignTypes.h"

namespace qm {

/// The page's file name in the preview folder.
inline constexpr const char* kPreviewPageName = "index.htm";
/// The .reg file in the preview folder that receives the registry writes.
inline constexpr const char* kPreviewRegistryName = "registry.reg";

/// Text as HTML shows it: & < > " ' as character references. Never fails.
std::string HtmlText(std::string_view text);

/// The page's HTML (UTF-8) from the run's data: RunState, UserData,
/// ProducedSignatures and the registry record; the txt signatures are read
/// back from the signature folder (at most the first mebibyte of each).
/// Every value is HTML-escaped, every file named by a relative link, and
/// nothing is loaded from anywhere else. Raises the file system's error when a
/// txt signature cannot be read.
std::string PreviewPageHtml(const Run& run);

/// Raises error 999 when a signature of the plan is itself named "index": its
/// htm would be the page. Checked before the first signature is written.
void CheckPreviewPageName(const std::vector<PlannedSignature>& plan);

/// Writes the page into RunState.PreviewFolderPath and returns its path.
/// Raises the file system's error.
std::string WritePreviewPage(const Run& run);

}  // namespace qm
