// Compares two link traces line by line: the same operations and frames with
// the same arguments and results, at times that agree within a tolerance. A
// trace of a script run in real time (on a real board) against one of the
// same script in virtual time on the simulated board.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace tavrin {

struct TraceTolerance {
  double ms = 50;         // times may differ by this much ...
  double fraction = 0.01; // ... plus this share of the later time
  // The board's serial number and description (in the listing and the open)
  // may differ: a real board against the simulated one.
  bool anyDevice = false;
};

struct TraceComparison {
  bool same = false;
  std::size_t lines = 0;       // lines compared (both traces' when the same)
  std::size_t line = 0;        // the first line that differs (1-based), 0 when the same
  std::string a, b;            // that line in each trace, raw ("(end)" past the last)
  std::string why;             // what differs there
  double largestDiffMs = 0;    // the largest time difference seen
};

// A time as the trace writes it: one decimal.
std::string msText(double ms);

// A trace line is no longer than this; a longer one is no trace line, and
// only its start is kept (so a file without line ends is not held whole).
inline constexpr std::size_t kLongestTraceLine = 1u << 20;

// Reads both traces a line at a time (a line ends at LF, a CR before it is
// dropped) and stops at the first difference: memory does not grow with the
// traces' length.
TraceComparison compareTraces(std::istream& a, std::istream& b, const TraceTolerance& tolerance);

// What tavrin-tracediff prints: "traces match: ...", or the line that differs
// in each trace after its file's name. The traces' text is escapedText'ed and
// the names escapedName'd, so every line printed is one line.
std::string comparisonText(const TraceComparison& c, const std::string& nameA, const std::string& nameB);

}  // namespace tavrin
