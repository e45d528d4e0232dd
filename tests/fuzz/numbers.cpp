// The number rules: leadingNumber, wholeNumber and every conversion, with the
// properties they promise. The input is a text; its first 8 bytes are also
// taken as a raw double (NaN, infinities and subnormals included).
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/numbers.h"
#include "fuzz_check.h"

using namespace tavrin;

namespace {

bool isIntegral(double r) { return std::isfinite(r) && r == std::trunc(r); }

template <typename T>
void checkWidth(double x, std::optional<T> v) {
  const bool fits = std::isfinite(x) && roundHalfEven(x) >= static_cast<double>(std::numeric_limits<T>::min()) &&
                    roundHalfEven(x) <= static_cast<double>(std::numeric_limits<T>::max());
  FUZZ_CHECK(v.has_value() == fits);
  if (v) FUZZ_CHECK(static_cast<double>(*v) == roundHalfEven(x));
}

void checkConversions(double x) {
  if (std::isfinite(x)) {
    const double r = roundHalfEven(x);
    FUZZ_CHECK(isIntegral(r));
    FUZZ_CHECK(std::fabs(r - x) <= 0.5);
    if (std::fabs(r - x) == 0.5) FUZZ_CHECK(std::fmod(r, 2.0) == 0);  // halves go to even
  }
  checkWidth(x, toInt16(x));
  checkWidth(x, toInt32(x));
  checkWidth(x, toByte(x));

  const std::string s = shortestDecimal(x);
  if (!std::isfinite(x)) {
    FUZZ_CHECK(s == "NaN" || s == "Inf" || s == "-Inf");
    return;
  }
  // Plain decimal: sign, digits, at most one point, no exponent, no trailing zeros after the point.
  std::size_t digits = 0, point = std::string::npos;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '-') {
      FUZZ_CHECK(i == 0);
    } else if (s[i] == '.') {
      FUZZ_CHECK(point == std::string::npos);
      point = i;
    } else {
      FUZZ_CHECK(s[i] >= '0' && s[i] <= '9');
      ++digits;
    }
  }
  FUZZ_CHECK(digits > 0);
  if (point != std::string::npos) FUZZ_CHECK(s.back() != '0' && s.back() != '.');
  const std::size_t first = s.find_first_of("123456789");
  if (first != std::string::npos) {
    const std::size_t last = s.find_last_of("123456789");
    std::size_t significant = last - first + 1;
    if (point != std::string::npos && point > first && point < last) --significant;
    FUZZ_CHECK(significant <= 15);
  }
  // It reads back within the rounding to 15 digits (a value rounded up past
  // the largest double has no finite read-back).
  auto back = wholeNumber(s);
  if (std::fabs(x) < 1.7976931348623e308) {
    FUZZ_CHECK(back.has_value());
    if (x != 0 && std::fabs(x) >= DBL_MIN) FUZZ_CHECK(std::fabs(*back - x) <= std::fabs(x) * 1e-14);
  }
  // A value of 15 significant digits or fewer comes back exactly.
  if (std::fabs(x) >= 1e-307 && std::fabs(x) < 1e308) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", x);
    const double x15 = std::strtod(buf, nullptr);
    auto again = wholeNumber(shortestDecimal(x15));
    FUZZ_CHECK(again && *again == x15);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view t = fuzz::text(data, size);

  const double lead = leadingNumber(t);
  FUZZ_CHECK(!std::isnan(lead));
  checkConversions(lead);

  const auto whole = wholeNumber(t);
  if (whole) {
    FUZZ_CHECK(std::isfinite(*whole));
    // A text that is one whole number starts with that number.
    FUZZ_CHECK(leadingNumber(t) == *whole);
    checkConversions(*whole);
  }
  // Blanks around a number never change it.
  const std::string padded = " \t" + std::string(t) + "\n ";
  const auto wholePadded = wholeNumber(padded);
  FUZZ_CHECK(wholePadded.has_value() == whole.has_value());
  if (whole) FUZZ_CHECK(*wholePadded == *whole);

  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    checkConversions(raw);
  }
  return 0;
}
