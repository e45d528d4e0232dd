#include "core/clock.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <ctime>

namespace tavrin {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long daysFromCivil(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
  out = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<LocalDateTime> parseLocalDateTime(std::string_view s) {
  if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':')
    return std::nullopt;
  LocalDateTime t;
  if (!digits(s, 0, 4, t.year) || !digits(s, 5, 2, t.month) || !digits(s, 8, 2, t.day) ||
      !digits(s, 11, 2, t.hour) || !digits(s, 14, 2, t.minute) || !digits(s, 17, 2, t.second))
    return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59)
    return std::nullopt;
  // A day past the month's end would roll over into the next month.
  if (addSeconds(t, 0) != t) return std::nullopt;
  return t;
}

LocalDateTime addSeconds(const LocalDateTime& t, long long seconds) {
  long long total = daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL +
                    t.second + seconds;
  long long days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
  long long rest = total - days * 86400;
  LocalDateTime out;
  civilFromDays(days, out.year, out.month, out.day);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

LocalDateTime systemLocalTime() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string localeDateTimeText(const LocalDateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  const bool midnight = t.hour == 0 && t.minute == 0 && t.second == 0;
  // The locale is taken for this call only: the program's own numbers and
  // stamps never follow it.
  const char* current = std::setlocale(LC_TIME, nullptr);
  std::string saved = current ? current : "C";
  std::setlocale(LC_TIME, "");
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &tm);
  std::setlocale(LC_TIME, saved.c_str());
  return std::string(buf, n);
}

std::string logDateStamp(const LocalDateTime& t) {
  char buf[48];
  if (t.hour == 0 && t.minute == 0 && t.second == 0)
    std::snprintf(buf, sizeof buf, "#%04d-%02d-%02d#", t.year, t.month, t.day);
  else
    std::snprintf(buf, sizeof buf, "#%04d-%02d-%02d %02d:%02d:%02d#", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  return buf;
}

}  // namespace tavrin
