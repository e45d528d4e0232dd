// The readings of the time view: a ring of fixed capacity (a run of days never
// grows it; the oldest readings make room), and its thinning for drawing: per
// pixel column the smallest and largest value, so a hundred thousand readings
// draw as a few thousand points and no spike is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrin {

struct TimeSample {
  double ms = 0;          // since the program started (or the log's first reading)
  std::int32_t hz = 0;    // drive frequency of the reading
  std::int32_t mA = 0;
  std::int32_t poutTenths = 0;  // supply in tenths of a volt
};

class TimeSeries {
 public:
  // 200,000 readings: over eight hours of tracking (three readings a pass),
  // days of timed logging; 4.8 MB.
  static constexpr std::size_t kDefaultCapacity = 200000;

  explicit TimeSeries(std::size_t capacity = kDefaultCapacity) : capacity_(capacity ? capacity : 1) {}

  // Readings come in time order; once full, each one replaces the oldest.
  void push(const TimeSample& s);
  void clear();

  std::size_t size() const { return buffer_.size(); }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return buffer_.empty(); }
  // 0 is the oldest reading kept.
  const TimeSample& operator[](std::size_t i) const {
    const std::size_t k = head_ + i;
    return buffer_[k < buffer_.size() ? k : k - buffer_.size()];
  }
  const TimeSample& back() const { return (*this)[size() - 1]; }
  // The index of the first reading at or after ms (size() when none is).
  std::size_t firstAtOrAfter(double ms) const;

 private:
  std::size_t capacity_;
  std::vector<TimeSample> buffer_;  // grows to capacity_, then wraps
  std::size_t head_ = 0;            // index of the oldest reading once wrapped
};

// One pixel column of a thinned series, in the order its readings came.
struct ThinColumn {
  int column = 0;  // -1 and `columns` hold the readings just outside the range
  double ms = 0;      // time of the column's first reading
  double lastMs = 0;  // and of its last
  double first = 0, min = 0, max = 0, last = 0;
  bool minFirst = true;  // the smallest came before the largest
};

enum class SampleValue { Current, Frequency };

// The readings from t0 to t1 ms in `columns` equal columns (empty columns are
// left out), and one reading on either side of the range so the line runs to
// the edges.
std::vector<ThinColumn> thinMinMax(const TimeSeries& series, double t0, double t1, int columns, SampleValue value);

// Readings further apart than this are not joined by a line: five times the
// median interval between readings, and never less than ten seconds, so the
// start-up reading and tracking an hour later stand apart while a reading a
// little late does not break the line. The median is taken over at most 4,096
// intervals spread across the series.
inline constexpr double kGapIntervals = 5, kMinGapMs = 10000;
double gapThresholdMs(const TimeSeries& series);

}  // namespace tavrin
