// Sequence files: each step sets the supply (millivolts, its sign the
// direction) and holds it for a number of step-time units.
//
//   ; endurance test        a comment (";" first)
//   2000 3000               no comma: skipped
//   3000,50                 3.0 V forwards for 50 units
//   -4500,100               4.5 V in reverse for 100 units
//   0,25                    motor off for 25 units
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

inline constexpr int kMaxSequenceSteps = 1000;

// The lines of a sequence file. A line ends at CR or CR LF, and a lone LF
// stays in its line; a file that holds no CR at all (as written on Linux) is
// read by its line feeds instead. A last line without an end counts.
std::vector<std::string> sequenceLines(std::string_view contents);

struct SequenceStep {
  std::int16_t supply = 0;    // mV; negative: the other direction, 0: direction unchanged
  std::int16_t duration = 1;  // step-time units; 0 is stored as 1
};

// One line. nullopt with an empty `whyNot` when the line is not a step (a
// comment, or no comma); nullopt with the reason when it is a step whose
// fields are not whole 16-bit numbers.
std::optional<SequenceStep> readSequenceLine(std::string_view line, std::string& whyNot);

// The supply a step asks for: the code of the frame (0..180) and the setting
// shown in the window (tenths of a volt). Code 0 stops the motor. nullopt for
// -32768 mV, whose magnitude has no 16-bit value.
struct SupplySetting {
  std::uint8_t code = 0;
  std::int32_t tenths = 13;
};
std::optional<SupplySetting> supplySetting(std::int16_t supplyField);

// A whole file checked ahead of a run, for --check-sequence.
struct SequenceCheck {
  struct Step {
    int line = 0;
    SequenceStep step;
  };
  std::vector<Step> steps;
  struct Error {
    int line = 0;
    std::string reason;
  };
  std::vector<Error> errors;
};
SequenceCheck checkSequence(std::string_view contents);

}  // namespace tavrin
