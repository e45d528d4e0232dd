// Frequency tracking: the direction rule, loss of lock, the turn at a sweep
// limit, stopping, a drifting resonance and what it refuses. The start from a
// stopped motor is the golden case track_from_stopped_motor.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "core/numbers.h"
#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {

std::string reply(int counts) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "ADC&H%03X\r\n", counts);
  return buf;
}

// The motor runs at 44000 Hz with a track step of 50; every reading of
// tracking comes from the list: the reference, then three per pass.
struct TrackRig : Rig {
  TrackRig() : Rig(Rig::quietBoard(), true) {
    canned.replies.push_back(reply(12));  // start-up's reading
    start();
    form().fire(form().cmdStartMotor, Event::Click);
  }
  // Runs `passes` whole passes from 1000 ms and stops in the last one.
  void track(int reference, const std::vector<std::array<int, 3>>& passes) {
    canned.replies.push_back(reply(reference));
    for (const auto& p : passes)
      for (int c : p) canned.replies.push_back(reply(c));
    Mainform& f = form();
    at(1000, [&f] { f.fire(f.Tracking, Event::Click); });
    // The reference reading takes 50 ms, a pass 6 x 50 ms of waits and 3 x 50 ms of replies.
    at(1000 + 50 + 450 * (passes.size() - 1) + 100, [&f] { f.fire(f.Tracking, Event::Click); });
    run();
  }
};

}  // namespace

TEST(Tracking, DirectionRuleTiesAndProbes) {
  {
    TrackRig rig;  // a tie keeps the direction: the move goes to the probed side
    rig.track(100, {{100, 100, 100}});
    Mainform& f = rig.form();
    EXPECT_EQ(f.txtFrekvens_DDS1.text, "43900");
    EXPECT_EQ(rig.program.tracking.TrackDir, -1);
    // Stopping leaves the motor running and its button to the operator, and
    // tracking starts one step below the reference: the golden case.
    EXPECT_TRUE(rig.board.dtr());
  }
  {
    TrackRig rig;  // the probe below the mean of the two readings here: turn
    rig.track(100, {{100, 50, 100}, {100, 100, 100}});
    EXPECT_EQ(rig.form().txtFrekvens_DDS1.text, "44050");
    EXPECT_EQ(rig.program.tracking.TrackDir, 1);
  }
}

TEST(Tracking, TenLowPassesGoBackToTheReference) {
  std::vector<std::array<int, 3>> low(10, {49, 49, 49}), half(10, {50, 50, 50});
  {
    TrackRig rig;
    rig.track(100, low);  // 43950 - 9 x 50, then back to 44000 and one step on
    EXPECT_EQ(rig.form().txtFrekvens_DDS1.text, "43950");
  }
  {
    TrackRig rig;
    rig.track(100, half);  // exactly half is not low
    EXPECT_EQ(rig.form().txtFrekvens_DDS1.text, "43450");
  }
}

TEST(Tracking, LandingOnASweepLimitTurnsBack) {
  TrackRig rig;
  rig.form().SwpStartFreq = 43900;
  rig.track(100, {{100, 100, 100}, {100, 100, 100}});
  EXPECT_EQ(rig.form().txtFrekvens_DDS1.text, "43950");
  EXPECT_EQ(rig.program.tracking.TrackDir, 1);
}

TEST(Tracking, RefusesATrackStepOrFrequencyThatIsNotANumber) {
  const std::tuple<bool, const char*, const char*> cases[] = {
      {false, "TrackFrqStp", "the track step is not a number"},
      {true, "TrackFrqStp", "the track step is not a number"},
      {true, "txtFrekvens_DDS1", "the frequency is not a number"}};
  for (auto [motorRunning, box, why] : cases) {
    Rig rig;
    rig.start();
    Mainform& f = rig.form();
    if (motorRunning) f.fire(f.cmdStartMotor, Event::Click);
    f.setText(*f.findById(box), "fifty");
    rig.clearTrace();
    f.fire(f.Tracking, Event::Click);
    EXPECT_TRUE(rig.traceLines("FT_Write").empty()) << why;
    EXPECT_NE(f.Info.text.find(std::string("Tracking stopped: ") + why), std::string::npos) << f.Info.text;
    EXPECT_TRUE(f.Tracking.text == "Track Freq" && f.cmdStartMotor.enabled) << why;
  }
}

// A board that stops answering stops tracking started from the button, with a note; the motor button is the
// operator's again.
TEST(Tracking, ALostBoardStopsIt) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.fire(f.cmdStartMotor, Event::Click);
  rig.at(1000, [&f] { f.fire(f.Tracking, Event::Click); });
  rig.at(1500, [&rig] { rig.board.config().unplugAfterCalls = 0; });
  rig.run();
  EXPECT_LT(rig.tk.nowMs(), 1700);
  EXPECT_EQ(f.Info.text, "Tracking stopped: the board no longer answers");
  EXPECT_TRUE(f.Tracking.text == "Track Freq" && f.cmdStartMotor.enabled);
}

TEST(Tracking, FollowsAResonanceDriftingFiveHertzASecond) {
  sim::SimConfig board = Rig::quietBoard();
  board.model.driftHzPerS = 5;  // 44100 Hz rising to 44700 Hz in two minutes
  Rig rig(board);
  rig.start();
  Mainform& f = rig.form();
  rig.at(1000, [&f] { f.fire(f.Tracking, Event::Click); });
  double worst = 0;
  // From the end of the sweep and the first passes on, every half second.
  for (double t = 6000; t <= 121000; t += 500)
    rig.at(t, [&, t] {
      double off = std::fabs(*wholeNumber(f.txtFrekvens_DDS1.text) - rig.board.config().model.resonanceAt(t));
      worst = std::max(worst, off);
    });
  rig.at(121000, [&f] { f.fire(f.Tracking, Event::Click); });
  rig.run();
  EXPECT_LE(worst, board.model.widthHz / 2);
  EXPECT_GT(rig.board.config().model.resonanceAt(121000), 44700);
}
