// Motor start and stop, direction changes with the phase flip, and "Send Data".
#include <gtest/gtest.h>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

TEST(Motor, StartThenStop) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  rig.clearTrace();
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_FALSE(f.CmdSwpStart.enabled);
  EXPECT_TRUE(rig.board.dtr());
  auto lines = rig.traceLines();
  ASSERT_EQ(lines.size(), 9u);  // SetDtr, six writes, the frame, SetDtr again
  EXPECT_NE(lines[0].find("FT_SetDtr"), std::string::npos);
  EXPECT_NE(lines[1].find("FT_Write 02 03"), std::string::npos);
  EXPECT_NE(lines[8].find("FT_SetDtr"), std::string::npos);

  rig.clearTrace();
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");
  EXPECT_TRUE(f.CmdSwpStart.enabled);
  EXPECT_FALSE(rig.board.dtr());
  lines = rig.traceLines();
  EXPECT_NE(lines[0].find("FT_ClrDtr"), std::string::npos);
  EXPECT_NE(lines[1].find("FT_Write 02 04"), std::string::npos);
  EXPECT_NE(lines.back().find("FT_ClrDtr"), std::string::npos);
}

TEST(Motor, StopInReducedStateLeavesSweepDisabled) {
  sim::SimConfig c = Rig::quietBoard();
  c.faults.insert("silent");
  Rig rig(c);
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
  EXPECT_FALSE(rig.board.dtr());
}

TEST(Motor, DirectionChangesFlipPhaseAndLeaveMotorRunning) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.fire(f.Selectdir, Event::Click);
  EXPECT_EQ(f.Selectdir.text, "CW");
  EXPECT_TRUE(rig.board.rts());
  EXPECT_TRUE(rig.board.dtr());
  EXPECT_EQ(f.PhaseDeg, 270);
  EXPECT_EQ(f.txtFase_DDS2.text, "270");
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_NE(rig.frames().back().find("frame mode 1 "), std::string::npos);
  EXPECT_NE(rig.frames().back().find("phase 3072"), std::string::npos);
  f.fire(f.Selectdir, Event::Click);
  EXPECT_EQ(f.Selectdir.text, "CCW");
  EXPECT_FALSE(rig.board.rts());
  EXPECT_EQ(f.PhaseDeg, 90);

  const int flips[][2] = {{0, 180}, {180, 360}, {181, 1}, {360, 180}};
  for (auto [from, to] : flips) {
    f.PhaseDeg = from;
    f.fire(f.Selectdir, Event::Click);
    EXPECT_EQ(f.PhaseDeg, to);
  }
  // A phase of 180 flips to 360, which goes out as 10 00.
  f.PhaseDeg = 180;
  rig.clearTrace();
  f.fire(f.Selectdir, Event::Click);
  EXPECT_EQ(rig.traceLines("FT_Write 10 00").size(), 1u);
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

TEST(Motor, SendDataRunsTheMotorInModeOne) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  rig.clearTrace();
  f.fire(f.cmdWrite, Event::Click);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_TRUE(rig.board.dtr());
  EXPECT_NE(rig.traceLines()[0].find("FT_SetDtr"), std::string::npos);
  EXPECT_EQ(rig.frames().size(), 1u);
}
