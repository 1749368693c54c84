// The local date and time: in the user's regional format for the log, as
// numbers for the signature rules and the status.
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

/// A local date and time of day.
struct DateTime {
  Date date;
  int hour = 0;    ///< 0 to 23
  int minute = 0;  ///< 0 to 59
  int second = 0;  ///< 0 to 59 (60 in a leap second on POSIX)
};

/// The local date and time now. Never fails.
DateTime LocalDateTime();

}  // namespace qm::platform
