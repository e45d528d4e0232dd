// The configuration file's text: its lines and the value rule on any input.
#include <algorithm>

#include "core/files.h"
#include "core/numbers.h"
#include "fuzz_check.h"
#include "shell/config.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string contents(fuzz::text(data, size));
  const auto read = configLines(contents);
  if (contents.find('\r') == std::string::npos) std::replace(contents.begin(), contents.end(), '\n', '\r');

  // No line holds a CR, and none is lost: every character but the line ends is in one.
  const auto lines = splitLines(contents);
  std::size_t kept = 0;
  for (const auto& l : lines) {
    FUZZ_CHECK(l.find('\r') == std::string::npos);
    kept += l.size();
  }
  std::size_t crlf = 0;
  for (std::size_t i = 0; i + 1 < contents.size(); ++i) crlf += contents[i] == '\r' && contents[i + 1] == '\n';
  FUZZ_CHECK(kept == contents.size() - std::count(contents.begin(), contents.end(), '\r') - crlf);

  // One entry a line up to the first bad value line; a value is the line's
  // number rounded, a comment or blank line none.
  FUZZ_CHECK(read.size() <= lines.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    std::string_view line = lines[i];
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    const bool value = !line.empty() && line[0] != ';';
    FUZZ_CHECK(value == read[i].has_value());
    if (value) FUZZ_CHECK(toInt16(*wholeNumber(line)) == read[i]);
  }
  if (read.size() < lines.size()) {
    std::string_view bad = lines[read.size()];
    bad.remove_prefix(std::min(bad.find_first_not_of(' '), bad.size()));
    const auto v = wholeNumber(bad);
    FUZZ_CHECK(!bad.empty() && bad[0] != ';' && !(v && toInt16(*v)));
  }
  return 0;
}
