// Pause, Delay and the step time on virtual time: lengths, nesting, events during a wait.
#include <gtest/gtest.h>

#include <vector>

#include "../behaviour/rig.h"

namespace tavrin {
namespace {

class WaitsTest : public ::testing::Test {
 protected:
  testing::Rig rig;
  Mainform& f = rig.form();
  Waits& waits = rig.program.waits;
  VirtualToolkit& tk = rig.tk;
};

TEST_F(WaitsTest, PauseLastsItsLengthAndKeepsHandlingEvents) {
  std::vector<double> handledAt;
  tk.post(120, [&] { handledAt.push_back(tk.nowMs()); });
  waits.Pause(500);
  EXPECT_EQ(tk.nowMs(), 500);
  EXPECT_EQ(handledAt, std::vector<double>{120});
  EXPECT_FALSE(f.tmrpause.enabled);
  waits.Pause(100000);  // beyond 16 bits: waits in full
  EXPECT_EQ(tk.nowMs(), 100500);
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

  // The timer is quiet afterwards: nothing ticks at the outer wait's old deadline.
  bool ticked = false;
  f.on(f.tmrpause, Event::Timer, [&](EventArgs&) { ticked = true; });
  tk.post(2000, [] {});
  rig.run();
  EXPECT_FALSE(ticked);
}

TEST_F(WaitsTest, ShortWaitsReturnAtOnce) {
  for (int ms : {1, 0, -5}) {
    f.DelayDone = true;
    waits.Delay(ms);
    EXPECT_FALSE(f.DelayDone) << ms;
  }
  bool posted = false;
  tk.post(0, [&] { posted = true; });
  waits.Pause(0);
  EXPECT_TRUE(posted);  // it still lets waiting events through
  waits.Pause(-3);
  EXPECT_EQ(tk.nowMs(), 0);

  // Nor do they end an outer Pause.
  double innerEnd = -1;
  tk.post(40, [&] {
    waits.Pause(0);
    waits.Pause(-3);
    waits.Delay(1);
    innerEnd = tk.nowMs();
  });
  waits.Pause(300);
  EXPECT_EQ(innerEnd, 40);
  EXPECT_EQ(tk.nowMs(), 300);
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
  EXPECT_TRUE(f.DelayDone);
  EXPECT_FALSE(f.tmrDelay.enabled);
  EXPECT_FALSE(f.tmrpause.enabled);
}

TEST_F(WaitsTest, StepTimeFollowsTheBox) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"50", 50}, {"12abc", 12}, {"", 0},       {"x", 0},   {"2.5", 2},
      {"3.5", 4}, {"1 0 0", 100}, {"&H10", 16}, {"-7", -7}, {"99999999999", -7}};
  for (auto [text, stepTime] : cases) {
    f.setText(f.TxtSteptime, text);
    EXPECT_EQ(f.StepTime, stepTime) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace tavrin
