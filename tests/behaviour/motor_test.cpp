// Motor start and stop, and direction changes with the phase flip. (Their
// frames and lines on the link: tests/golden/cases/motor_and_direction.)
#include <gtest/gtest.h>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;
using tavrin::testing::withFaults;

TEST(Motor, StopInReducedStateLeavesSweepDisabled) {
  Rig rig(withFaults("silent"));
  rig.start();
  Mainform& f = rig.form();
  f.fire(f.cmdStartMotor, Event::Click);
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_FALSE(f.CmdSwpStart.enabled);
}

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

TEST(Motor, DirectionChangesFlipThePhase) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.fire(f.Selectdir, Event::Click);
  EXPECT_EQ(f.txtFase_DDS2.text, "270");
  const int flips[][2] = {{270, 90}, {0, 180}, {180, 360}, {181, 1}, {360, 180}};
  for (auto [from, to] : flips) {
    f.PhaseDeg = from;
    f.fire(f.Selectdir, Event::Click);
    EXPECT_EQ(f.PhaseDeg, to) << from;
  }
}

TEST(Motor, DirectionChangeWithUnsendableSettingsMovesNoLine) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.setText(f.txtFrekvens_DDS1, "40000000");  // 40 MHz: no frequency word for it
  rig.clearTrace();
  f.fire(f.Selectdir, Event::Click);
  EXPECT_TRUE(rig.traceLines().empty());
  EXPECT_EQ(f.Selectdir.text, "CCW");
  EXPECT_EQ(f.PhaseDeg, 90);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");
  EXPECT_NE(f.Info.text.find("Not sent: the frequency is too high"), std::string::npos);
}

TEST(Motor, DirectionDuringTrackingKeepsMotorButtonDisabled) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.setText(f.Tracking, "Track Stop");
  f.setEnabled(f.cmdStartMotor, false);
  f.fire(f.Selectdir, Event::Click);
  EXPECT_FALSE(f.cmdStartMotor.enabled);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
}
