// The pattern test of file-name matching: ? one character, * any run, # one
// digit, [abc] / [a-z] / [!abc] one character of (or not of) a list.
#pragma once

#include <string_view>

namespace qm {

/// True when text matches pattern as a whole (case-sensitive, byte-wise).
bool Like(std::string_view text, std::string_view pattern);

}  // namespace qm
