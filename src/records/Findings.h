// What /CHECK finds in a configuration: one entry per fault or notice, saying
// where it is and what to do about it. Data only: the readers of the
// configuration add to a list of them instead of raising their first fault,
// and the check prints them.
#pragma once

#include <string>
#include <vector>

namespace qm {

enum class Severity {
  Error,    ///< a run fails, or writes what was surely not meant
  Warning,  ///< a run goes on, perhaps not as meant
  Note,     ///< what the check saw (a connection made, a user found)
};

struct Finding {
  Severity Level = Severity::Error;
  /// Where: "[Rule2] Citty", "[Main] FixedSignTpye", a file and line, "/ADUSER".
  std::string Where;
  /// What is wrong and what to do, in German.
  std::string What;
};

using FindingList = std::vector<Finding>;

}  // namespace qm
