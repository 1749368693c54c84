// The user's short date and long time format, from the wide functions: the
// user's locale may have another code page than the system's ANSI one, and
// its month names or separators would come out garbled through it.
#include "platform/clock.h"

#include "platform/win32/win32.h"

namespace qm::platform {

std::string LocalDateTimeText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  constexpr int kTextLength = 128;
  wchar_t date[kTextLength] = {};
  wchar_t time[kTextLength] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, kTextLength);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, kTextLength);
  return win32::Narrow(date) + " " + win32::Narrow(time);
}

Date LocalDate() { return LocalDateTime().date; }

DateTime LocalDateTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {{now.wYear, now.wMonth, now.wDay}, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace qm::platform
