// Local date and time as files carry them: the sweep and current logs stamp
// their first line with it. The window reads the system's clock; a script run
// starts from a given (or the real) local time and advances with virtual time,
// so the same script writes the same files.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

struct LocalDateTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  bool operator==(const LocalDateTime&) const = default;
};

using LocalClock = std::function<LocalDateTime()>;

// "YYYY-MM-DDTHH:MM:SS"; nullopt for anything else or a date that does not exist.
std::optional<LocalDateTime> parseLocalDateTime(std::string_view text);

// The calendar time `seconds` later (or earlier, when negative).
LocalDateTime addSeconds(const LocalDateTime& t, long long seconds);

// The system's local time now.
LocalDateTime systemLocalTime();

// The date and time as the system writes them in general: the environment
// locale's date and time ("12/05/26 21:14:03" in the C locale, "05.12.2026
// 21:14:03" in a German one), the date alone at midnight exactly.
std::string localeDateTimeText(const LocalDateTime& t);

// A log's first line: "#2010-07-26 14:03:05#", or "#2010-07-26#" at midnight exactly.
std::string logDateStamp(const LocalDateTime& t);

}  // namespace tavrin
