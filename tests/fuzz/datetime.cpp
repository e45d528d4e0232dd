// parseLocalDateTime: the whole input is one date text; an accepted one
// writes back as the same text and is a real calendar time. Beyond 19 bytes,
// the first 19 are also parsed and the rest gives a number of seconds to
// add and take off again.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "fuzz_check.h"

using namespace tavrin;

namespace {

void check(std::string_view text, long long seconds) {
  const auto t = parseLocalDateTime(text);
  if (!t) return;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t->year, t->month, t->day, t->hour, t->minute,
                t->second);
  FUZZ_CHECK(text == buf);
  FUZZ_CHECK(addSeconds(*t, 0) == *t);
  const auto later = addSeconds(*t, seconds);
  FUZZ_CHECK(later.month >= 1 && later.month <= 12 && later.day >= 1 && later.day <= 31);
  FUZZ_CHECK(later.hour >= 0 && later.hour < 24 && later.minute >= 0 && later.minute < 60);
  FUZZ_CHECK(later.second >= 0 && later.second < 60);
  FUZZ_CHECK(addSeconds(later, -seconds) == *t);
  FUZZ_CHECK(addSeconds(addSeconds(*t, 86399), 1) == addSeconds(*t, 86400));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::text(data, size);
  check(text, 1);
  if (size > 19) {
    std::int64_t raw = 0;
    std::memcpy(&raw, data + 19, std::min<std::size_t>(size - 19, sizeof raw));
    check(text.substr(0, 19), raw % 1'000'000'000'000);  // about 31,700 years either way
  }
  return 0;
}
