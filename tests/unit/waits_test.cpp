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
  waits.Pause(100000);  // beyond 16 bits: waits in full
  EXPECT_EQ(tk.nowMs(), 100500);
}

// Short waits (a Delay of 1 ms or less, a Pause of 0 or less) let waiting events through; a Pause of 0 or less
// is a turn of its loop and costs kTurnCostMs of virtual time, a short Delay nothing. Inside
// a Pause they and a Delay leave it running; a Pause ends both when its own timer fires, and the timer is quiet
// afterwards.
TEST_F(WaitsTest, ShortWaitsAndWaitsInsideAPause) {
  double shortEnd = -1, delayEnd = -1, innerEnd = -1;
  tk.post(10, [&] {
    bool posted = false;
    tk.post(10, [&] { posted = true; });
    waits.Pause(0);
    EXPECT_TRUE(posted);
    for (int ms : {1, 0, -5}) {
      f.DelayDone = true;
      waits.Delay(ms);
      EXPECT_FALSE(f.DelayDone) << ms;
    }
    waits.Pause(-3);
    shortEnd = tk.nowMs();
  });
  tk.post(20, [&] {
    waits.Delay(50);
    delayEnd = tk.nowMs();
  });
  tk.post(100, [&] {
    waits.Pause(100);
    innerEnd = tk.nowMs();
  });
  waits.Pause(1000);
  ASSERT_EQ(std::vector<double>({shortEnd, delayEnd, innerEnd, tk.nowMs()}), std::vector<double>({10 + 2 * kTurnCostMs, 70, 200, 200}));
  EXPECT_TRUE(f.DelayDone);
  EXPECT_FALSE(f.tmrDelay.enabled || f.tmrpause.enabled);
  bool ticked = false;
  f.on(f.tmrpause, Event::Timer, [&](EventArgs&) { ticked = true; });
  tk.post(2000, [] {});
  rig.run();
  EXPECT_FALSE(ticked);
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
