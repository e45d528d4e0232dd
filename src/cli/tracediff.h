// Compares two link traces line by line: the same operations and frames with
// the same arguments and results, at times that agree within a tolerance. A
// trace of a script run in real time (on a real board) against one of the
// same script in virtual time on the simulated board.
#pragma once

#include <cstddef>
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
  std::string a, b;            // that line in each trace ("(end)" past the last)
  std::string why;             // what differs there
  double largestDiffMs = 0;    // the largest time difference seen
};

// A time as the trace writes it: one decimal.
std::string msText(double ms);

TraceComparison compareTraces(const std::string& a, const std::string& b, const TraceTolerance& tolerance);

}  // namespace tavrin
