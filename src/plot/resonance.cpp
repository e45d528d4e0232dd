#include "plot/resonance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrin {

namespace {

// Sorted by frequency, non-finite readings dropped, repeats merged.
std::vector<SweepPoint> ordered(std::vector<SweepPoint> points) {
  std::erase_if(points, [](const SweepPoint& p) { return !std::isfinite(p.hz) || !std::isfinite(p.mA); });
  std::stable_sort(points.begin(), points.end(), [](const SweepPoint& a, const SweepPoint& b) { return a.hz < b.hz; });
  std::vector<SweepPoint> out;
  std::size_t count = 0;
  for (const SweepPoint& p : points) {
    if (!out.empty() && out.back().hz == p.hz) {
      ++count;
      out.back().mA += (p.mA - out.back().mA) / static_cast<double>(count);  // running mean
    } else {
      out.push_back(p);
      count = 1;
    }
  }
  return out;
}

std::string whole(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", v);
  return text;
}

// The vertex of the parabola through three readings, the middle one the
// highest. Frequencies are taken relative to the middle one, so the squares
// stay small beside 44 kHz. Returns false when the three lie on a line or a
// flat top, where the middle reading is the best there is.
bool vertex(const SweepPoint& a, const SweepPoint& b, const SweepPoint& c, double& hz, double& mA) {
  const double u0 = a.hz - b.hz, u2 = c.hz - b.hz;
  const double d0 = a.mA - b.mA, d2 = c.mA - b.mA;
  const double det = u0 * u2 * (u0 - u2);
  if (det == 0) return false;
  const double qa = (d0 * u2 - d2 * u0) / det;
  const double qb = (u0 * u0 * d2 - u2 * u2 * d0) / det;
  if (!(qa < 0)) return false;
  const double u = std::clamp(-qb / (2 * qa), u0, u2);
  hz = b.hz + u;
  mA = b.mA + qa * u * u + qb * u;
  return true;
}

// Where the line between two readings crosses a level.
double crossing(const SweepPoint& below, const SweepPoint& above, double level) {
  if (above.mA == below.mA) return above.hz;
  return below.hz + (level - below.mA) * (above.hz - below.hz) / (above.mA - below.mA);
}

}  // namespace

ResonanceFigures resonanceFigures(std::vector<SweepPoint> readings) {
  ResonanceFigures r;
  const std::vector<SweepPoint> p = ordered(std::move(readings));
  if (p.empty()) {
    r.note = "No readings.";
    return r;
  }
  // The first of equal maxima, as the sweep itself keeps the first.
  const auto top = std::max_element(p.begin(), p.end(), [](const SweepPoint& a, const SweepPoint& b) { return a.mA < b.mA; });
  const auto i = static_cast<std::size_t>(top - p.begin());
  r.maxHz = r.peakHz = top->hz;
  r.maxmA = r.peakmA = top->mA;
  if (!(top->mA > 0)) {
    r.note = "No current above the offset: no peak.";
    return r;
  }
  r.hasPeak = true;
  const std::size_t n = p.size();
  if (n < 3) {
    r.note = "Too few readings for the peak's figures (" + std::to_string(n) + ").";
    return r;
  }
  if (i == 0 || i == n - 1) {
    r.stepHz = i == 0 ? p[1].hz - p[0].hz : p[n - 1].hz - p[n - 2].hz;
    r.note = std::string("The highest reading is at the ") + (i == 0 ? "low" : "high") +
             " end of the sweep: the peak may lie beyond it. Widen the sweep.";
    return r;
  }
  r.stepHz = std::max(p[i].hz - p[i - 1].hz, p[i + 1].hz - p[i].hz);
  r.interpolated = vertex(p[i - 1], p[i], p[i + 1], r.peakHz, r.peakmA);
  if (r.peakmA < top->mA) r.peakmA = top->mA;  // never below what was measured

  // Half height on either side: the first reading below it, walking out from
  // the peak, and the crossing between it and its inner neighbour.
  const double half = r.peakmA / 2;
  std::size_t lo = i, hi = i;
  while (lo > 0 && p[lo - 1].mA >= half) --lo;
  while (hi + 1 < n && p[hi + 1].mA >= half) ++hi;
  if (lo > 0) r.lowHz = crossing(p[lo - 1], p[lo], half);
  if (hi + 1 < n) r.highHz = crossing(p[hi + 1], p[hi], half);
  const auto above = static_cast<int>(hi - lo + 1);

  if (above < kReadingsForWidth) {
    // A parabola through readings further apart than the peak is wide says
    // little about where it lies: the highest reading is all there is.
    r.peakHz = r.maxHz;
    r.peakmA = r.maxmA;
    r.interpolated = false;
    r.lowHz.reset();
    r.highHz.reset();
    r.note = "The step (" + whole(r.stepHz) + " Hz) is too coarse to measure the width: " + std::to_string(above) +
             " reading" + (above == 1 ? "" : "s") + " above half height, " + std::to_string(kReadingsForWidth) +
             " needed. Sweep the peak in smaller steps.";
    return r;
  }
  if (!r.lowHz || !r.highHz) {
    r.note = std::string("The sweep does not fall to half height ") + (r.lowHz ? "above" : "below") +
             " the peak: no width. Widen the sweep.";
    return r;
  }
  r.widthHz = *r.highHz - *r.lowHz;
  if (*r.widthHz > 0) r.q = r.peakHz / *r.widthHz;
  return r;
}

}  // namespace tavrin
