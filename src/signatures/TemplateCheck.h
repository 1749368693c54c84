// /CHECK of the template folder: what a run would miss or write wrong, found
// before the first user gets it. Templates are read in pieces, so that a large
// one costs time, not memory.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "records/Findings.h"
#include "records/Run.h"
#include "signatures/SignTypes.h"

namespace qm {

/// A template the configuration names, whoever runs it, with the target it
/// is written to and where it is named ("[Rule1] SignType").
struct NamedTemplate {
  std::string SignType;
  std::string Target;
  std::string NamedIn;
};

/// Checks the template folder (RunState.TemplateFolderPath) for the plan:
/// - each signature's three files, naming the full path of one that is missing;
/// - in every template of the folder: placeholders that name no field, a
///   template in UTF-8 that is read in another code page (or not in UTF-8 where
///   the code page is UTF-8), an htm whose <meta charset> names another code
///   page than the signature is written in, LF-only line ends, images it shows
///   that no signature gets beside it;
/// - images of the folder that no signature copies (a type that is never
///   copied, a name that no signature's name begins, a signature name with
///   capitals);
/// - names that differ in case only.
/// Never raises.
/// named: the templates the configuration names beyond the plan; each is
/// checked as a signature of this configuration, its missing files named
/// with where it is named.
void CheckTemplates(Run& run, const std::vector<PlannedSignature>& plan, FindingList& findings,
                    const std::vector<NamedTemplate>& named = {});

/// Every sign type and target the configuration names: "FixedSignType" and
/// the other fixed lists with their targets by position, "FixedSignTypeForDN"
/// n, each rule's SignType and SignTypeReply (Rules read already), and each
/// account section's names that are no other target; each once (without
/// regard to case), in that order. Never raises.
std::vector<NamedTemplate> ConfiguredTemplates(const Run& run);

/// The line of the first character above ASCII outside a comment (a line
/// beginning with ";") of a profile file that is UTF-8 as a whole, without
/// byte-order mark, read up to its first limit bytes; 0 for any other file.
/// Raises the file's error.
std::size_t Utf8WithoutMarkLine(const std::string& path, std::size_t limit);

/// A warning for each group of entries of folder (ending in "\") whose names
/// differ in case only, naming the one that Windows finds. Never raises.
void CheckCaseTwins(const std::string& folder, FindingList& findings);

}  // namespace qm
