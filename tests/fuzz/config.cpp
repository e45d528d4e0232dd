// The configuration file's text: its line split and the value rule, checked
// against a plain reading of the same text.
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

  // Lines hold no CR; together they are the text without its line ends (CR,
  // and the LF right after one); a last line without an end counts.
  const auto lines = splitLines(contents);
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
