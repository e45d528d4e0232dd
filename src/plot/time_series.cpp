#include "plot/time_series.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrin {

void TimeSeries::push(const TimeSample& s) {
  if (buffer_.size() < capacity_) {
    buffer_.push_back(s);
    return;
  }
  buffer_[head_] = s;
  head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
}

void TimeSeries::clear() {
  buffer_.clear();
  head_ = 0;
}

std::size_t TimeSeries::firstAtOrAfter(double ms) const {
  std::size_t lo = 0, hi = size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if ((*this)[mid].ms < ms)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

std::vector<ThinColumn> thinMinMax(const TimeSeries& series, double t0, double t1, int columns, SampleValue value) {
  std::vector<ThinColumn> out;
  if (series.empty() || columns < 1 || !(t1 > t0)) return out;
  std::size_t from = series.firstAtOrAfter(t0);
  std::size_t to = series.firstAtOrAfter(t1);
  if (from > 0) --from;              // the reading before the range
  if (to < series.size()) ++to;      // and the one after it
  const double perColumn = columns / (t1 - t0);
  auto valueOf = [value](const TimeSample& s) { return static_cast<double>(value == SampleValue::Current ? s.mA : s.hz); };
  for (std::size_t i = from; i < to; ++i) {
    const TimeSample& s = series[i];
    const double v = valueOf(s);
    const int c = static_cast<int>(std::clamp(std::floor((s.ms - t0) * perColumn), -1.0, static_cast<double>(columns)));
    if (out.empty() || out.back().column != c) {
      out.push_back({c, s.ms, s.ms, v, v, v, v, true});
      continue;
    }
    ThinColumn& col = out.back();
    col.lastMs = s.ms;
    if (v < col.min) {
      col.min = v;
      col.minFirst = false;
    } else if (v > col.max) {
      col.max = v;
      col.minFirst = true;
    }
    col.last = v;
  }
  return out;
}

double gapThresholdMs(const TimeSeries& series) {
  const std::size_t n = series.size();
  if (n < 2) return std::numeric_limits<double>::infinity();
  const std::size_t samples = std::min<std::size_t>(n - 1, 4096);
  std::vector<double> intervals;
  intervals.reserve(samples);
  for (std::size_t k = 0; k < samples; ++k) {
    const std::size_t i = k * (n - 1) / samples;
    intervals.push_back(series[i + 1].ms - series[i].ms);
  }
  const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(samples / 2);
  std::nth_element(intervals.begin(), middle, intervals.end());
  return std::max(kGapIntervals * *middle, kMinGapMs);
}

}  // namespace tavrin
