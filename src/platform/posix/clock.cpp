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
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, "%x %X", &local);
  return std::string(buf, n);
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
