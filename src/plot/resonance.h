// Resonance figures from a sweep: where the current peaks, how wide the peak is
// at half its height, and the quality factor that follows from the two.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavrin {

struct SweepPoint {
  double hz = 0;
  double mA = 0;
  double volts = 0;  // the supply of the reading; no part of the figures
};

struct ResonanceFigures {
  bool hasPeak = false;        // false: no reading above 0 mA (or none at all)
  double maxHz = 0, maxmA = 0; // the highest reading as it was measured
  // The peak: the vertex of the parabola through the highest reading and its
  // two neighbours; the highest reading itself when it lies at an end or the
  // step is too coarse for the peak.
  double peakHz = 0, peakmA = 0;
  bool interpolated = false;
  double stepHz = 0;  // the spacing of the readings around the peak
  // Where the current crosses half the peak's height on either side
  // (interpolated between readings), when the sweep reaches it.
  std::optional<double> lowHz, highHz;
  // Only when both sides are reached with enough readings above half height.
  std::optional<double> widthHz, q;
  // Why a figure is missing or not to be trusted; empty when all are there.
  std::string note;
};

// The readings above half height needed for a width: the peak and at least
// one on each side. With fewer the step is wider than the peak.
inline constexpr int kReadingsForWidth = 3;

// The readings may come in any order (a sweep runs either way); readings at
// the same frequency count as their mean. The currents are taken as logged,
// the sweep's offset already subtracted, so half height is half the peak's
// current.
ResonanceFigures resonanceFigures(std::vector<SweepPoint> points);

}  // namespace tavrin
