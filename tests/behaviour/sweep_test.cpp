// The sweep and timed current logging: the log files, the frames of a sweep,
// its result, the next log name, and what the sweep refuses before it starts.
#include <gtest/gtest.h>

#include <tuple>

#include "procedures/log_file.h"
#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {

std::vector<std::string> lines(const std::string& contents) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    std::size_t end = contents.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    out.push_back(contents.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}

// The frequency column of the reading lines of a log.
std::vector<std::string> frequencies(const std::vector<std::string>& log) {
  std::vector<std::string> out;
  for (const auto& l : log) {
    if (l.empty() || l[0] == '"' || l[0] == '#') continue;
    auto a = l.find(','), b = l.rfind(',');
    out.push_back(l.substr(a + 1, b - a - 1));
  }
  return out;
}

struct SweepRig : Rig {
  using Rig::Rig;
  void sweep(const char* start, const char* stop, const char* step) {
    Mainform& f = form();
    f.setText(f.TxtSwpStart, start);
    f.setText(f.TxtSwpStop, stop);
    f.setText(f.TxtSwpStep, step);
    f.fire(f.CmdSwpStart, Event::Click);
  }
};

}  // namespace

TEST(Sweep, DefaultSweepWritesItsLogAndLeavesTheBoardAtTheMaximum) {
  SweepRig rig;
  rig.start();
  Mainform& f = rig.form();
  f.fire(f.CmdSwpStart, Event::Click);

  auto log = lines(rig.readFile("C/stator-1.txt"));
  ASSERT_EQ(log.size(), 3u + 21u + 1u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3),
            (std::vector<std::string>{"#2010-07-26 14:03:05#", "\"Time Interval: 50mS\"", "\"V, Hz, mA\""}));
  auto freqs = frequencies(log);
  for (int i = 0; i <= 20; ++i) EXPECT_EQ(freqs[i], std::to_string(40000 + 500 * i));
  EXPECT_EQ(log[11], "1.3,44000,170");  // the peak of the quiet board, offset (12) taken off
  EXPECT_EQ(log.back(), "\"Max 170mA @44000Hz and1.3V\"");
  // Its frames, the result in Info and the next log name: the golden case track_from_stopped_motor.
  EXPECT_EQ(f.CurrentOffset, 12);
  EXPECT_TRUE(f.txtFrekvens_DDS1.text == "44000" && f.CmdSwpStart.enabled);
}

TEST(Sweep, DirectionAndStepCountFollowTheBoxes) {
  const std::tuple<const char*, const char*, const char*, std::size_t, std::string> cases[] = {
      {"50000", "40000", "500", 21, "50000..40000"},
      {"40000", "50000", "800", 13, "40000..49600"},  // 12.5 steps: halves to even
      {"9000", "10000", "500", 3, "9000..10000"},
  };
  for (const auto& [start, stop, step, readings, range] : cases) {
    SweepRig rig;
    rig.start();
    rig.sweep(start, stop, step);
    auto freqs = frequencies(lines(rig.readFile("C/stator-1.txt")));
    ASSERT_EQ(freqs.size(), readings) << range;
    EXPECT_EQ(freqs.front() + ".." + freqs.back(), range);
  }
}

TEST(Sweep, RefusesWhatItCannotUseBeforeSendingAnything) {
  struct Case {
    const char *start, *stop, *step, *logName, *why;
  };
  const Case cases[] = {
      {"40000", "50000", "0", "C:\\s-1.txt", "the step must be at least 1 Hz"},
      {"", "50000", "500", "C:\\s-1.txt", "the start frequency is not a number"},
      {"40000", "5e", "500", "C:\\s-1.txt", "the stop frequency is not a number"},
      {"40000", "50000", "40000", "C:\\s-1.txt", "the step must be at most 32767 Hz"},
      {"1", "70000", "2", "C:\\s-1.txt", "35000 steps, more than 32767"},
      {"40000", "50000", "500", "", "cannot write  (empty file name)"},
      {"40000", "50000", "500", "phase", "the phase is not a number"},  // no frame could go out
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    SweepRig rig;
    rig.start();
    Mainform& f = rig.form();
    if (std::string(c.logName) == "phase")
      f.setText(f.txtFase_DDS2, "..");
    else
      f.setText(f.LogFileName, c.logName);
    const std::string logName = f.LogFileName.text;
    rig.clearTrace();
    rig.sweep(c.start, c.stop, c.step);
    EXPECT_TRUE(rig.traceLines("FT_").empty());
    EXPECT_EQ(f.Info.text.rfind(std::string("Sweep not started: ") + c.why, 0), 0u) << f.Info.text;
    EXPECT_TRUE(f.CmdSwpStart.enabled);
    EXPECT_EQ(f.LogFileName.text, logName);
  }
}

TEST(Sweep, NoStepsAppendsOffsetAndZeroResult) {
  SweepRig rig;
  rig.start();
  rig.writeFile("C/stator-1.txt", "old\r\n");
  rig.sweep("44000", "44000", "500");
  EXPECT_EQ(rig.readFile("C/stator-1.txt"), "old\r\n1.3,44000,12\r\n\"Max 0mA @0Hz and1.3V\"\r\n");
  EXPECT_EQ(rig.form().LogFileName.text, "C:\\stator-2.txt");
}

TEST(Sweep, OverflowAtStartUpIsReportedByTheNextSweepAndCleared) {
  sim::SimConfig board = Rig::quietBoard();
  board.model.idleCounts = 2000;  // saturates at 1023 with the enable line clear
  SweepRig rig(board, false, ",");
  rig.start();
  Mainform& f = rig.form();
  EXPECT_EQ(f.Label1.forecolor, colors::red);
  f.fire(f.CmdSwpStart, Event::Click);
  EXPECT_EQ(f.Info.text, "ADC overflow: Decrease Supply Voltage");
  EXPECT_FALSE(f.AdcOverflow);
  EXPECT_EQ(f.Label1.forecolor, colors::black);
  rig.board.config().model.idleCounts = 12;
  // The next sweep, without overflow (the offset takes the idle count off),
  // shows the voltage with the system's decimal separator; the readings keep
  // their period.
  f.fire(f.CmdSwpStart, Event::Click);
  EXPECT_NE(f.Info.text.find("Hz and1,3V"), std::string::npos) << f.Info.text;
  EXPECT_NE(rig.readFile("C/stator-2.txt").find("\r\n1.3,40000,"), std::string::npos);
}

TEST(Sweep, NextLogNameLooksAtTheFileNameOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\stator-1.txt", "C:\\stator-2.txt"},
      {"C:\\data.txt", "C:\\data-1.txt"},
      {"C:\\run-9.txt", "C:\\run-10.txt"},
      {"C:\\run-x.txt", "C:\\run-1.txt"},
      {"C:\\run-", "C:\\run--1.txt"},
      {"C:\\my-dir\\data.txt", "C:\\my-dir\\data-1.txt"},
      {"/home/op/my-dir/data-4.txt", "/home/op/my-dir/data-5.txt"},
      {"C:\\run-32767.txt", "C:\\run-32768.txt"},
      {"C:\\run-2147483647.txt", "C:\\run-2147483647-1.txt"},
      {"stator-1.txt.txt", "stator-2.txt"},
  };
  for (const auto& [name, next] : cases) EXPECT_EQ(nextLogName(name), next) << name;
}

TEST(Logging, OneReadingASecondIntoAFreshLog) {
  SweepRig rig;
  rig.start();
  Mainform& f = rig.form();
  rig.writeFile("C/stator-1.txt", "old\r\n");
  rig.at(1000, [&] { f.btGetCurrent.value = 1; f.fire(f.btGetCurrent, Event::Click); });
  rig.at(4500, [&] { f.btGetCurrent.value = 0; f.fire(f.btGetCurrent, Event::Click); });
  rig.run();
  auto log = lines(rig.readFile("C/stator-1.txt"));
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0] + " " + log[1] + " " + log[3], "#2010-07-26 14:03:06# \"Time Interval: 1000mS\" 1.3,44000,12");
  EXPECT_FALSE(f.LogCurrentOn || f.timerGetCurrent.enabled);

  // A sweep started while logging runs stops it and writes the same file.
  f.btGetCurrent.value = 1;
  f.fire(f.btGetCurrent, Event::Click);
  f.fire(f.CmdSwpStart, Event::Click);
  EXPECT_FALSE(f.btGetCurrent.value || f.timerGetCurrent.enabled);
  EXPECT_EQ(lines(rig.readFile("C/stator-1.txt")).size(), 25u);
}

TEST(LogClock, StampsAndCalendarArithmetic) {
  EXPECT_EQ(logDateStamp({2010, 7, 26, 14, 3, 5}), "#2010-07-26 14:03:05#");
  EXPECT_EQ(logDateStamp({2010, 7, 26, 0, 0, 0}), "#2010-07-26#");  // midnight: the date alone
  EXPECT_EQ(logDateStamp({2010, 7, 26, 0, 0, 1}), "#2010-07-26 00:00:01#");
  EXPECT_EQ(addSeconds({2023, 12, 31, 23, 59, 59}, 1), (LocalDateTime{2024, 1, 1, 0, 0, 0}));
  EXPECT_EQ(addSeconds({2024, 2, 28, 12, 0, 0}, 86400), (LocalDateTime{2024, 2, 29, 12, 0, 0}));
  EXPECT_EQ(addSeconds({2024, 3, 1, 0, 0, 0}, -1), (LocalDateTime{2024, 2, 29, 23, 59, 59}));
  EXPECT_EQ(parseLocalDateTime("2010-07-26T14:03:05"), (LocalDateTime{2010, 7, 26, 14, 3, 5}));
  for (const char* bad : {"2010-07-26 14:03:05", "2010-02-30T00:00:00", "2010-13-01T00:00:00",
                          "2010-07-26T24:00:00", "2010-7-26T14:03:05", ""})
    EXPECT_FALSE(parseLocalDateTime(bad)) << bad;
}

TEST(Sweep, NeitherTrackingNorLoggingCanSpoilTheLogOfARunningSweep) {
  SweepRig rig;
  rig.start();
  Mainform& f = rig.form();
  rig.at(200, [&f] { f.fire(f.CmdSwpStart, Event::Click); });
  rig.at(1500, [&f] {
    f.fire(f.Tracking, Event::Click);  // motor stopped: it would sweep first
    EXPECT_EQ(f.Tracking.text, "Track Freq");
    f.fire(f.cmdStartMotor, Event::Click);
    f.fire(f.Tracking, Event::Click);  // running: its passes would take the sweep's readings
    EXPECT_EQ(f.Tracking.text, "Track Freq");
    EXPECT_TRUE(f.cmdStartMotor.enabled);
    f.btGetCurrent.value = 1;
    f.fire(f.btGetCurrent, Event::Click);
    EXPECT_FALSE(f.btGetCurrent.value || f.timerGetCurrent.enabled);
  });
  rig.run();
  auto log = lines(rig.readFile("C/stator-1.txt"));
  EXPECT_EQ(log.size(), 25u);
  EXPECT_EQ(frequencies(log).size(), 21u);
  EXPECT_FALSE(f.SweepRunning);
  EXPECT_EQ(f.LogFileName.text, "C:\\stator-2.txt");
}

// The operator's stop of the motor (started by a click during the sweep), during the steps and every 10 ms across
// the last reading and the end: only the stop's own mode 4 frame goes out, and the log's last line says where.
TEST(Sweep, MotorStopEndsItBeforeItsNextFrame) {
  double lastStopped = 0;
  for (double stopAt = 1600; stopAt <= 3100; stopAt += stopAt < 2600 ? 1000 : 10) {
    SCOPED_TRACE("Motor Stop at " + std::to_string(stopAt));
    SweepRig rig;
    rig.start();
    Mainform& f = rig.form();
    rig.at(200, [&f] { f.fire(f.CmdSwpStart, Event::Click); });
    rig.at(stopAt - 100, [&f] { f.fire(f.cmdStartMotor, Event::Click); });
    rig.at(stopAt, [&f] { f.fire(f.cmdStartMotor, Event::Click); });
    rig.run();
    std::vector<std::string> after;
    for (const auto& l : rig.traceLines())
      if (std::atof(l.c_str()) >= stopAt && (l.find(" frame ") != std::string::npos || l.find("SetDtr") != std::string::npos))
        after.push_back(l.substr(l.find(' ') + 1));
    ASSERT_EQ(after.size(), 1u) << (after.empty() ? "" : after.back());
    EXPECT_EQ(after[0].substr(0, 12), "frame mode 4");
    auto log = lines(rig.readFile("C/stator-1.txt"));
    if (log.back().find("  Sweep stopped at 4") == std::string::npos) continue;  // it had ended: an ordinary stop
    lastStopped = stopAt;
    EXPECT_NE(log.back().find(" Hz: Motor Stop\""), std::string::npos) << log.back();
    EXPECT_EQ(f.Info.forecolor, colors::red);
    EXPECT_TRUE(f.CmdSwpStart.enabled && !f.SweepRunning);
  }
  EXPECT_GT(lastStopped, 2600);  // the stops reached into the sweep's last step
}
