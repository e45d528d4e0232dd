// The plots' arithmetic without Qt: resonance figures, the log reader on good and damaged logs and on the header
// the program writes, a short axis's ticks, logs as CSV, the time view's bounded ring, its min/max thinning and its
// gaps. (Logs that cannot be read, and tavrin-plot's messages and CSV files: plot_test.sh.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plot/axis_ticks.h"
#include "plot/csv.h"
#include "plot/log_reader.h"
#include "plot/resonance.h"
#include "plot/time_series.h"
#include "procedures/log_file.h"

namespace tavrin {
namespace {

// The simulated board's curve: a peak `width` Hz wide at half height.
std::vector<SweepPoint> sweep(double from, double to, double step, double peakHz = 44100) {
  std::vector<SweepPoint> out;
  for (double f = from; step > 0 ? f <= to : f >= to; f += step) {
    const double d = (f - peakHz) / 150;
    out.push_back({f, 234 / (1 + d * d)});
  }
  return out;
}

bool says(const ResonanceFigures& r, const char* words) { return r.note.find(words) != std::string::npos; }

TEST(Resonance, FineSweepGivesPeakBetweenReadingsWidthAndQEitherWayRound) {
  for (double step : {20.0, -20.0, 50.0}) {
    SCOPED_TRACE(step);
    const auto r = resonanceFigures(sweep(step > 0 ? 43500 : 44700, step > 0 ? 44700 : 43500, step, 44117));
    ASSERT_TRUE(r.widthHz && r.q) << r.note;
    EXPECT_TRUE(r.interpolated);
    EXPECT_NEAR(r.peakHz, 44117, 2);
    EXPECT_NEAR(r.peakmA, 234, 1);
    EXPECT_NEAR(*r.widthHz, 300, 15);
    EXPECT_NEAR(*r.q, 44117 / 300.0, 8);
    EXPECT_EQ(r.note, "");
  }
}

// A sweep too coarse for a width: tests/qt/plot_test.sh, on the default sweep's log.
TEST(Resonance, SaysWhatItCannotMeasure) {
  const auto end = resonanceFigures(sweep(43000, 44000, 20));
  EXPECT_EQ(end.peakHz, 44000);
  EXPECT_FALSE(end.interpolated || end.widthHz);
  EXPECT_TRUE(says(end, "high end")) << end.note;

  // The peak inside, but the low side never falls to half height.
  const auto side = resonanceFigures(sweep(44000, 45000, 20));
  EXPECT_NEAR(side.peakHz, 44100, 2);
  EXPECT_FALSE(side.widthHz);
  EXPECT_TRUE(says(side, "below the peak")) << side.note;

  EXPECT_FALSE(resonanceFigures({{44000, 0}, {44500, -3}, {45000, 0}}).hasPeak);
  EXPECT_FALSE(resonanceFigures({}).hasPeak);
  EXPECT_TRUE(says(resonanceFigures({{44000, 5}, {44500, 9}}), "Too few"));
}

TEST(LogReader, KeepsEveryReadableLineAndNamesTheRest) {
  const std::string lines[] = {"#2010-07-26 14:03:05#", "\"Time Interval: 50mS\"", "\"V, Hz, mA\"",
                               "1.3,44000,57",          "1.3,44x00,60",           "1.3,44500",
                               "",                      "1.3,45000,-2",           "\"Max 57mA @44000Hz and1.3V\""};
  for (const char* eol : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(eol));
    std::string text;
    for (const std::string& l : lines) text += l + eol;
    text += "1.3,450";  // the last line, cut off as it was written
    const LogContents log = parseLog(text);
    ASSERT_EQ(log.readings.size(), 2u);
    EXPECT_EQ(log.readings[0].line, 4u);
    EXPECT_EQ(log.readings[1].hz, 45000);
    EXPECT_EQ(log.readings[1].mA, -2);
    EXPECT_EQ(log.dateTime, "2010-07-26 14:03:05");
    EXPECT_EQ(log.intervalMs, 50);
    EXPECT_EQ(log.result, "Max 57mA @44000Hz and1.3V");
    EXPECT_TRUE(log.isSweep());
    ASSERT_EQ(log.bad.size(), 3u);
    EXPECT_EQ(log.bad[0].line, 5u);
    EXPECT_EQ(log.bad[0].why, "field 2 (Hz) is not a number: \"44x00\"");
    EXPECT_EQ(log.bad[1].line, 6u);
    EXPECT_EQ(log.bad[2].line, 10u);
    EXPECT_NE(log.bad[2].why.find("cut off"), std::string::npos);
  }
  // A current log: no result, frequencies that go back and forth.
  EXPECT_FALSE(parseLog("1.3,44000,50\r\n1.3,44050,52\r\n1.3,44000,51\r\n").isSweep());
  // Garbage a crash can leave (NULs, a fourth field), and numbers the program never writes.
  using namespace std::string_literals;
  EXPECT_EQ(parseLog("1.3,44000,5\0\0\r\n1,2,3,4\r\n1.3,1e300,5\r\n1.3,-5,5\r\n1.3,44000,-1e300\r\n"s).bad.size(), 5u);
  // A step time typed with a tab and a line break, as the sweep reads it (50 ms): its header line stays whole.
  std::string header;
  for (const std::string& l : logHeader({}, "5\t0\r\n")) header += l + "\r\n";
  const LogContents headed = parseLog(header);
  EXPECT_TRUE(headed.bad.empty() && headed.intervalMs == 50) << header;
}

// A narrow plot's axis, room for two labels: still two ticks inside it, at a smaller round step.
TEST(AxisTicks, AShortAxisStillGetsTwo) {
  EXPECT_EQ(axisTicks(0.2, 4.4, 2).values, (std::vector<double>{2, 4}));
  EXPECT_EQ(axisTicks(43500, 44700, 2).values, (std::vector<double>{43500, 44000, 44500}));
}

TEST(Csv, LogsGiveAHeaderRowARowPerReadingAndCommentsQuotedAsRfc4180Asks) {
  const std::string head = "#2010-07-26 14:03:05#\r\n\"Time Interval: 50mS\"\r\n\"V, Hz, mA\"\r\n";
  EXPECT_EQ(logCsv(parseLog(head + "1.3,44000,57\r\n1.25,44500,-2\r\n\"Max 57mA @44000Hz, \"3\" tries\"\r\n")),
            "supply_V,frequency_Hz,current_mA\r\n1.3,44000,57\r\n1.25,44500,-2\r\n# logged 2010-07-26 14:03:05\r\n"
            "\"# Max 57mA @44000Hz, \"\"3\"\" tries\"\r\n");
  EXPECT_EQ(logCsv(parseLog(head + "1.3,44000,50\r\n1.3,44050,52\r\n1.3,44000,51\r\n")),
            "time_s,supply_V,frequency_Hz,current_mA\r\n0.05,1.3,44000,50\r\n0.1,1.3,44050,52\r\n0.15,1.3,44000,51\r\n"
            "# time_s counts from 2010-07-26 14:03:05; the log holds no times: its readings are taken as 50 ms apart\r\n");
}

TEST(TimeSeries, StaysWithinItsCapacityAndThinsWithoutLosingAnExtreme) {
  TimeSeries s(1000);
  for (int i = 0; i < 3500; ++i) s.push({i * 10.0, 44000 + i % 7, (i * 37) % 101});
  ASSERT_EQ(s.size(), 1000u);
  EXPECT_EQ(s[0].ms, 25000);  // the oldest 2500 made room
  EXPECT_EQ(s.back().ms, 34990);
  EXPECT_EQ(s.firstAtOrAfter(30000), 500u);

  // 64 columns over the middle of the range: each holds the extremes of its readings, in time order.
  const double t0 = 27000, t1 = 33000;
  const auto cols = thinMinMax(s, t0, t1, 64, SampleValue::Current);
  ASSERT_LE(cols.size(), 66u);
  EXPECT_EQ(cols.front().column, -1);  // the reading before the range, so the line runs to its edge
  EXPECT_EQ(cols.back().column, 64);
  for (const ThinColumn& c : cols) {
    if (c.column < 0 || c.column >= 64) continue;
    double lo = 1e9, hi = -1e9;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const double at = (s[i].ms - t0) * 64 / (t1 - t0);
      if (at >= c.column && at < c.column + 1) {
        lo = std::min(lo, static_cast<double>(s[i].mA));
        hi = std::max(hi, static_cast<double>(s[i].mA));
      }
    }
    EXPECT_EQ(c.min, lo) << c.column;
    EXPECT_EQ(c.max, hi) << c.column;
  }
}

TEST(TimeSeries, AGapIsFiveMedianIntervalsAndNeverUnderTenSeconds) {
  TimeSeries s;
  s.push({0, 44000, 5});  // start-up's reading, then tracking an hour later, a reading every 4 s
  for (int i = 0; i < 100; ++i) s.push({3600e3 + i * 4000.0, 44000, 50});
  EXPECT_EQ(gapThresholdMs(s), 20000);
  const auto cols = thinMinMax(s, 0, 4000e3, 100, SampleValue::Current);
  EXPECT_EQ(cols[1].ms, 3600e3);
  EXPECT_EQ(cols[1].lastMs, 3636e3);  // the column's readings 4 s apart
  s.clear();
  for (int i = 0; i < 50; ++i) s.push({i * 100.0, 44000, 50});
  EXPECT_EQ(gapThresholdMs(s), kMinGapMs);
}

}  // namespace
}  // namespace tavrin
