// The user's short date and long time format.
#include "platform/clock.h"

#include "platform/codepage.h"
#include "platform/win32/win32.h"

namespace qm::platform {

std::string LocalDateTimeText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
  return FromAnsi(date) + " " + FromAnsi(time);
}

Date LocalDate() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay};
}

}  // namespace qm::platform
