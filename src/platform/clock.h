// The local date and time in the user's regional format.
#pragma once

#include <string>

namespace qm::platform {

/// Date, one blank, time: Windows: the user's short date and long time format;
/// POSIX: strftime "%x %X" of the LC_TIME locale. UTF-8.
std::string LocalDateTimeText();

/// A day of the calendar.
struct Date {
  int year = 0;
  int month = 0;  ///< 1 to 12
  int day = 0;    ///< 1 to 31

  auto operator<=>(const Date&) const = default;
};

/// Today's local date. Never fails.
Date LocalDate();

}  // namespace qm::platform
