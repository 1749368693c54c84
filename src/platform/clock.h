// The local date and time in the user's regional format.
#pragma once

#include <string>

namespace qm::platform {

/// Date, one blank, time: Windows: the user's short date and long time format;
/// POSIX: strftime "%x %X" of the LC_TIME locale. UTF-8.
std::string LocalDateTimeText();

}  // namespace qm::platform
