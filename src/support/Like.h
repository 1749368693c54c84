// The pattern test of file-name matching: ? one character, * any run, # one
// digit, [abc] / [a-z] / [!abc] one character of (or not of) a list.
#pragma once

#include <string_view>

namespace qm {

/// True when text matches pattern as a whole, character by character (UTF-8
/// characters; a malformed byte is one character of its own), case-sensitive.
bool Like(std::string_view text, std::string_view pattern);

/// Like, without regard to case: both sides in lower case first.
bool LikeNoCase(std::string_view text, std::string_view pattern);

}  // namespace qm
