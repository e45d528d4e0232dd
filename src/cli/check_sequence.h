// --check-sequence: what a sequence file would do, step by step, before a long
// run, read by the sequencer's own rules.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/options.h"

namespace tavrin {

inline constexpr double kDefaultStepTimeMs = 20;  // the window's "StepTime (ms)" start value

struct SequenceReport {
  std::string text;   // the steps, the length of one repeat, the errors, a verdict
  bool runs = false;  // the file would run without an error
};

// The report on a sequence file's contents; `name` heads it. Each step's wait
// is worked out as the runner does: duration units x step time, at most 60 s,
// nothing at 0 ms or below.
SequenceReport sequenceReport(std::string_view contents, const std::string& name, double stepTimeMs);

// Reads the file named by options.checkSequence (a drive-letter path under the
// drive root) and prints its report to out. Returns the exit status: 0 when
// the file would run, 1 when it would not, 2 when it cannot be read.
int checkSequenceFile(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace tavrin
