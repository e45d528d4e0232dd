// The board's current reply: fewer than 8 bytes are no reading, and the count
// is the leading number from the fourth character on, when it fits 32 bits.
// The first two bytes also make a reply of the board's own form, which must
// give back its count.
#include <cmath>

#include "core/numbers.h"
#include "link/frame.h"
#include "fuzz_check.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply = fuzz::text(data, size);
  const auto count = currentReplyCount(reply);
  if (size < 8) {
    FUZZ_CHECK(!count);
  } else {
    const double lead = leadingNumber(reply.substr(3));
    const bool fits = std::isfinite(lead) && roundHalfEven(lead) >= -2147483648.0 && roundHalfEven(lead) <= 2147483647.0;
    FUZZ_CHECK(count.has_value() == fits);
    if (count) FUZZ_CHECK(*count == roundHalfEven(lead));
  }
  if (size >= 2) {
    const unsigned adc = (data[0] << 8 | data[1]) & 0x3FF;  // the board's 10-bit count
    char own[16];
    std::snprintf(own, sizeof own, "ADC&H%03X\r\n", adc);
    const auto back = currentReplyCount(own);
    FUZZ_CHECK(back && *back == static_cast<std::int32_t>(adc));
  }
  return 0;
}
