// Motor start and stop, and direction changes with the phase flip. (Their
// frames and lines on the link: tests/golden/cases/motor_and_direction.)
#include <gtest/gtest.h>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

TEST(Motor, StartWithUnsendableSettingsStartsNothing) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.setText(f.txtFrekvens_DDS1, "");
  rig.clearTrace();
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_TRUE(rig.traceLines().empty());
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");
  EXPECT_TRUE(f.CmdSwpStart.enabled);
}

// The first flip, 90 to 270 and back: the golden case motor_and_direction.
TEST(Motor, DirectionChangesFlipThePhaseAndLeaveTrackingsMotorButton) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  const int flips[][2] = {{270, 90}, {0, 180}, {180, 360}, {181, 1}, {360, 180}};
  for (auto [from, to] : flips) {
    f.PhaseDeg = from;
    f.fire(f.Selectdir, Event::Click);
    EXPECT_EQ(f.PhaseDeg, to) << from;
  }
  // During tracking the motor button stays disabled.
  f.setText(f.Tracking, "Track Stop");
  f.setEnabled(f.cmdStartMotor, false);
  f.fire(f.Selectdir, Event::Click);
  EXPECT_FALSE(f.cmdStartMotor.enabled);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
}

// The flip writes the phase box before the frame is built, so only a
// frequency box that cannot be sent refuses the change, before any line moves.
TEST(Motor, DirectionChangeWithUnsendableBoxes) {
  struct Case {
    const char *hz, *degrees;
    const char* refusal;  // nullptr: the change goes through
  } cases[] = {
      {"44000", "abc", nullptr},
      {"44000", "5000", nullptr},
      {"40000000", "90", "Not sent: the frequency is too high"},  // 40 MHz: no frequency word for it
      {"", "abc", "Not sent: the frequency is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.hz) + " / " + c.degrees);
    Rig rig;
    rig.start();
    Mainform& f = rig.form();
    const std::string infoBefore = f.Info.text;
    f.setText(f.txtFrekvens_DDS1, c.hz);
    f.setText(f.txtFase_DDS2, c.degrees);
    rig.clearTrace();
    f.fire(f.Selectdir, Event::Click);
    if (c.refusal) {
      EXPECT_TRUE(rig.traceLines().empty());
      EXPECT_EQ(f.Selectdir.text + " " + std::to_string(f.PhaseDeg) + " " + f.txtFase_DDS2.text,
                "CCW 90 " + std::string(c.degrees));
      EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");
      EXPECT_EQ(f.Info.text, infoBefore + "  " + c.refusal);
    } else {  // the lines, frames and captions of a change: the golden case motor_and_direction
      EXPECT_EQ(f.txtFase_DDS2.text, "270");
      EXPECT_EQ(rig.frames().size(), 1u);
      EXPECT_EQ(f.Info.text, infoBefore);
    }
  }
}

TEST(Motor, ABoardThatStopsAnsweringIsToldOnceUntilACallSucceedsAgain) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  auto& unplug = rig.board.config().unplugAfterCalls;
  unplug = 0;  // every call fails from now on
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_EQ(f.Info.text, "Comm ERROR: FT_SetDtr failed (status 2) - the board no longer answers");
  EXPECT_EQ(f.Info.forecolor, colors::red);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");  // nothing else changes
  f.setText(f.Info, "later");
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_EQ(f.Info.text, "later");  // still failing: said once
  unplug.reset();
  f.fire(f.cmdStartMotor, Event::Click);  // answers again
  unplug = 0;
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_EQ(f.Info.text.rfind("Comm ERROR: FT_", 0), 0u) << f.Info.text;
}
