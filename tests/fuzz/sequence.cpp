// The sequence file reader on any text: the lines it splits, the steps it
// reads and what checkSequence reports about them agree with each other.
#include <cstdlib>

#include "sequencer/sequence_file.h"
#include "fuzz_check.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view contents = fuzz::text(data, size);
  const auto lines = sequenceLines(contents);
  const bool byLineFeeds = contents.find('\r') == std::string_view::npos;
  for (const auto& l : lines) FUZZ_CHECK(l.find('\r') == std::string::npos && !(byLineFeeds && l.find('\n') != l.npos));

  for (const auto& line : lines) {
    std::string why;
    const auto step = readSequenceLine(line, why);
    // A comment or a line without a comma is no step and no error.
    if (line.empty() || line[0] == ';' || line.find(',') == std::string::npos) FUZZ_CHECK(!step && why.empty());
    FUZZ_CHECK(!(step && !why.empty()));
    if (!step) continue;
    FUZZ_CHECK(step->duration != 0);
    if (const auto s = supplySetting(step->supply)) {
      FUZZ_CHECK(s->code <= 180 && s->tenths >= 13 && s->tenths <= 57);
      FUZZ_CHECK((s->code == 0) == (std::abs(step->supply) <= 1362));
    } else {
      FUZZ_CHECK(step->supply == -32768);
    }
  }

  // Every step the check lists is its line's step; every error names a line.
  const auto check = checkSequence(contents);
  FUZZ_CHECK(check.steps.size() <= kMaxSequenceSteps);
  int previous = 0;
  for (const auto& s : check.steps) {
    FUZZ_CHECK(s.line > previous && s.line <= static_cast<int>(lines.size()));
    previous = s.line;
    std::string why;
    const auto step = readSequenceLine(lines[s.line - 1], why);
    FUZZ_CHECK(step && step->supply == s.step.supply && step->duration == s.step.duration);
  }
  for (const auto& e : check.errors)
    FUZZ_CHECK(e.line >= 1 && e.line <= static_cast<int>(lines.size()) && !e.reason.empty());
  return 0;
}
