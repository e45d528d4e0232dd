// Pause, Delay and the step time on virtual time: lengths, nesting, events during a wait.
#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace tavrin {
namespace {

class WaitsTest : public ::testing::Test {
 protected:
  test::Bench bench;
  Mainform& f = bench.form();
  Waits& waits = bench.program->waits;
  VirtualToolkit& tk = bench.tk;
};

TEST_F(WaitsTest, PauseLastsItsLengthAndKeepsHandlingEvents) {
  f.setText(f.txtFrekvens_DDS1, "44000");
  f.setText(f.txtFase_DDS2, "90");
  std::vector<double> handledAt;
  tk.post(120, [&] { handledAt.push_back(tk.nowMs()); });
  tk.post(130, [&] { f.fire(f.cmdWrite, Event::Click); });  // an operator click mid-wait
  bench.takeTrace();
  waits.Pause(500);
  EXPECT_GE(tk.nowMs(), 500);
  EXPECT_LT(tk.nowMs(), 501);
  EXPECT_EQ(handledAt, std::vector<double>{120});
  EXPECT_NE(bench.takeTrace().find("130.0 FT_Write 02 01"), std::string::npos);
  EXPECT_TRUE(f.PauseDone);
  EXPECT_FALSE(f.tmrpause.enabled);
  EXPECT_EQ(f.tmrpause.interval, 500);  // a wait leaves the interval it set
}

TEST_F(WaitsTest, APauseInsideAPauseEndsBothWhenItsOwnTimerFires) {
  double innerEnd = -1;
  tk.post(50, [&] {
    waits.Pause(100);
    innerEnd = tk.nowMs();
  });
  waits.Pause(1000);
  EXPECT_EQ(innerEnd, 150);
  EXPECT_EQ(tk.nowMs(), 150);
  EXPECT_FALSE(f.tmrpause.enabled);

  // The timer is quiet afterwards: nothing ticks at the outer wait's old deadline.
  bool ticked = false;
  f.on(f.tmrpause, Event::Timer, [&](EventArgs&) { ticked = true; });
  tk.post(2000, [] {});
  bench.run();
  EXPECT_FALSE(ticked);
}

TEST_F(WaitsTest, DelayOfOneOrLessReturnsAtOnceAndLeavesDelayDoneFalse) {
  for (int ms : {1, 0, -5}) {
    f.DelayDone = true;
    waits.Delay(ms);
    EXPECT_EQ(tk.nowMs(), 0) << ms;
    EXPECT_FALSE(f.DelayDone) << ms;
    EXPECT_FALSE(f.tmrDelay.enabled && f.tmrDelay.interval > 0) << ms;
  }
  waits.Delay(50);
  EXPECT_EQ(tk.nowMs(), 50);
  EXPECT_TRUE(f.DelayDone);
  EXPECT_FALSE(f.tmrDelay.enabled);
}

TEST_F(WaitsTest, DelayAndPauseUseTheirOwnTimers) {
  double delayEnd = -1;
  tk.post(10, [&] {
    waits.Delay(50);
    delayEnd = tk.nowMs();
  });
  waits.Pause(200);
  EXPECT_EQ(delayEnd, 60);
  EXPECT_EQ(tk.nowMs(), 200);  // a Delay inside does not cut the Pause short
  EXPECT_FALSE(f.tmrDelay.enabled);
  EXPECT_FALSE(f.tmrpause.enabled);
}

TEST_F(WaitsTest, PauseOfZeroOrLessReturnsAtOnceAndLeavesAnOuterPauseAlone) {
  bool posted = false;
  tk.post(0, [&] { posted = true; });
  waits.Pause(0);
  EXPECT_TRUE(posted);  // it still lets waiting events through
  EXPECT_EQ(tk.nowMs(), 0);
  waits.Pause(-3);
  EXPECT_EQ(tk.nowMs(), 0);

  double innerEnd = -1;
  tk.post(40, [&] {
    waits.Pause(0);
    waits.Pause(-3);
    innerEnd = tk.nowMs();
  });
  waits.Pause(300);
  EXPECT_EQ(innerEnd, 40);
  EXPECT_EQ(tk.nowMs(), 300);
  EXPECT_FALSE(f.tmrpause.enabled);
}

TEST_F(WaitsTest, LongPauseWaitsInFull) {
  waits.Pause(100000);
  EXPECT_EQ(tk.nowMs(), 100000);
  waits.Pause(60000);
  EXPECT_EQ(tk.nowMs(), 160000);
}

TEST_F(WaitsTest, StepTimeFollowsTheBox) {
  struct Case {
    const char* text;
    std::int32_t stepTime;
  };
  const Case cases[] = {{"50", 50},   {"12abc", 12}, {"", 0},      {"x", 0},  {"2.5", 2},
                        {"3.5", 4},   {"1 0 0", 100}, {"&H10", 16}, {"-7", -7}, {"99999999999", -7}};
  for (const auto& c : cases) {
    f.setText(f.TxtSteptime, c.text);
    EXPECT_EQ(f.StepTime, c.stepTime) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace tavrin
