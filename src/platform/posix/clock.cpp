// POSIX clock: the LC_TIME locale's date and time formats.
#include "platform/clock.h"

#include <clocale>
#include <ctime>

namespace qm::platform {

std::string LocalDateTimeText() {
  static const bool localeSet = [] {
    std::setlocale(LC_TIME, "");
    return true;
  }();
  (void)localeSet;
  // A log writes many lines within a second: the text of the second is kept.
  thread_local std::time_t keptSecond = -1;
  thread_local std::string keptText;
  std::time_t now = std::time(nullptr);
  if (now == keptSecond) return keptText;
  std::tm local{};
  localtime_r(&now, &local);
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, "%x %X", &local);
  keptSecond = now;
  keptText.assign(buf, n);
  return keptText;
}

namespace {
constexpr int kTmYearBase = 1900;
}  // namespace

Date LocalDate() { return LocalDateTime().date; }

DateTime LocalDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {{local.tm_year + kTmYearBase, local.tm_mon + 1, local.tm_mday},
          local.tm_hour,
          local.tm_min,
          local.tm_sec};
}

}  // namespace qm::platform
