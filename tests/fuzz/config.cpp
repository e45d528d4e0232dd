// The configuration reader's text handling. LoadConfig reads the file and the
// form itself, so its line handling is no function of its own: this target
// fuzzes what is reachable, splitLines and the rule LoadConfig applies to each
// line (the line-feed fallback, leading blanks, ";" comments, a whole 16-bit
// number, the first bad value line ending the reading), restated here.
#include <algorithm>
#include <cmath>

#include "core/files.h"
#include "core/numbers.h"
#include "fuzz_check.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string contents(fuzz::text(data, size));
  if (contents.find('\r') == std::string::npos) std::replace(contents.begin(), contents.end(), '\n', '\r');

  const auto lines = splitLines(contents);
  // Lines hold no CR; together they are the text without its line ends (CR,
  // and the LF right after one); a last line without an end counts.
  std::string joined, expected;
  for (const auto& l : lines) {
    FUZZ_CHECK(l.find('\r') == std::string::npos);
    joined += l;
  }
  std::size_t ends = 0;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    if (contents[i] != '\r') {
      expected += contents[i];
      continue;
    }
    ++ends;
    if (i + 1 < contents.size() && contents[i + 1] == '\n') ++i;
  }
  FUZZ_CHECK(joined == expected);
  const bool unended = !contents.empty() && contents.back() != '\r' &&
                       !(contents.size() >= 2 && contents.ends_with("\r\n"));
  FUZZ_CHECK(lines.size() == ends + (unended ? 1 : 0));

  for (std::string line : lines) {
    line.erase(0, std::min(line.find_first_not_of(' '), line.size()));
    if (line.empty() || line[0] == ';') continue;
    const auto v = wholeNumber(line);
    const auto mA = v ? toInt16(*v) : std::nullopt;
    if (!mA) break;
    FUZZ_CHECK(std::isfinite(*v) && std::fabs(*mA - *v) <= 0.5);
  }
  return 0;
}
