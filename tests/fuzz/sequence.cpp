// The sequence file reader: sequenceLines, readSequenceLine and checkSequence
// on any text, each checked against the others.
#include <algorithm>
#include <cstdlib>

#include "sequencer/sequence_file.h"
#include "fuzz_check.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view contents = fuzz::text(data, size);
  const auto lines = sequenceLines(contents);
  const bool byLineFeeds = contents.find('\r') == std::string_view::npos;
  std::string joined;
  for (const auto& l : lines) {
    FUZZ_CHECK(l.find('\r') == std::string::npos);
    if (byLineFeeds) {
      FUZZ_CHECK(l.find('\n') == std::string::npos);
      joined += l + '\n';
    }
  }
  if (byLineFeeds) FUZZ_CHECK(joined == contents || (joined.size() == contents.size() + 1 && joined.starts_with(contents)));

  // The check reads the same lines with the same rule a run does.
  std::vector<SequenceCheck::Step> steps;
  std::vector<int> errorLines;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i) + 1;
    std::string why;
    const auto step = readSequenceLine(lines[i], why);
    const bool isStep = !lines[i].empty() && lines[i][0] != ';' && lines[i].find(',') != std::string::npos;
    if (!isStep) FUZZ_CHECK(!step && why.empty());
    if (step) {
      FUZZ_CHECK(isStep && why.empty() && step->duration != 0);
      if (const auto s = supplySetting(step->supply)) {
        FUZZ_CHECK(s->code <= 180 && s->tenths >= 13 && s->tenths <= 57);
        FUZZ_CHECK((s->code == 0) == (std::abs(step->supply) <= 1362));
      } else {
        FUZZ_CHECK(step->supply == -32768);
      }
    }
    if (!why.empty()) {
      FUZZ_CHECK(!step);
      errorLines.push_back(lineNo);
      continue;
    }
    if (!step) continue;
    if (steps.size() == kMaxSequenceSteps) {
      errorLines.push_back(lineNo);
      break;
    }
    if (step->supply == -32768) errorLines.push_back(lineNo);
    steps.push_back({lineNo, *step});
  }

  const auto check = checkSequence(contents);
  FUZZ_CHECK(check.steps.size() == steps.size() && check.steps.size() <= kMaxSequenceSteps);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    FUZZ_CHECK(check.steps[i].line == steps[i].line);
    FUZZ_CHECK(check.steps[i].step.supply == steps[i].step.supply &&
               check.steps[i].step.duration == steps[i].step.duration);
  }
  FUZZ_CHECK(check.errors.size() == errorLines.size());
  for (std::size_t i = 0; i < errorLines.size(); ++i) {
    FUZZ_CHECK(check.errors[i].line == errorLines[i] && !check.errors[i].reason.empty());
  }
  return 0;
}
