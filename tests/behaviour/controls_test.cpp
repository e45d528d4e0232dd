// Manual drive controls: frequency and phase commits, held arrows in virtual time, the supply arrows, motor start
// and stop, direction changes. (Their frames and lines on the link in the usual cases: tests/golden/cases.)
#include <gtest/gtest.h>

#include "controls/supply.h"
#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {
std::string digits(Mainform& f) {
  std::string s;
  for (int i = 6; i >= 1; --i) s += f.txtDDS1[i]->text + (i > 1 ? " " : "");
  return s;
}

struct StartedRig : Rig {
  StartedRig() { start(); clearTrace(); }
  // Holds an arrow from `from` to `to` ms (virtual time) and runs to the end.
  void hold(Control& arrow, double from, double to) {
    at(from, [this, &arrow] { form().fire(arrow, Event::MouseDown); });
    at(to, [this, &arrow] { form().fire(arrow, Event::MouseUp); });
    run();
  }
};
}  // namespace

TEST(FrequencyEntry, CommitHoldsTheBoxInTheSweepRange) {
  const std::string manyNines(400, '9');
  struct Case {
    const char *start, *stop, *typed, *box, *shown;
  } cases[] = {
      {"40000", "50000", "60000", "50000", "0 5 0 0 0 0"},
      {"40000", "50000", "30000", "40000", "0 4 0 0 0 0"},
      {"40000", "50000", "44000", "44000", "0 4 4 0 0 0"},
      {"50000", "40000", "60000", "50000", "0 5 0 0 0 0"},
      {"45000", "45000", "1", "45000", "0 4 5 0 0 0"},
      {"", "50000", "123", "123", "0 0 0 1 2 3"},
      {"0", "2000000", "1234567", "1234567", "12 3 4 5 6 7"},
      {"40000", "50000", manyNines.c_str(), "50000", "0 5 0 0 0 0"},  // beyond any number
      {"40000", "99999999999", "41000", "41000", "0 4 1 0 0 0"},  // stop beyond 32 bits: the top of the range
      {"40000", "50000", "", "44000", "0 4 4 0 0 0"},  // empty: the frequency in effect comes back
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + ".." + c.stop + " typed " + c.typed);
    StartedRig rig;
    Mainform& f = rig.form();
    f.setText(f.TxtSwpStart, c.start);
    f.setText(f.TxtSwpStop, c.stop);
    f.setText(f.txtFrekvens_DDS1, c.typed);
    f.fire(f.txtFrekvens_DDS1, Event::LostFocus);
    EXPECT_EQ(f.txtFrekvens_DDS1.text + " " + std::to_string(f.FrequencyHz) + " " + digits(f),
              std::string(c.box) + " " + c.box + " " + c.shown);
    EXPECT_TRUE(rig.frames().empty());  // committing never talks to the board
  }
}

TEST(Stepping, ArrowsBeyondTheRangeSendTheLimit) {
  // At either end every pass steps past the limit and comes back, and still sends.
  for (auto [arrows, limit] : {std::pair{&Mainform::imgDown, 40000}, {&Mainform::imgUp, 50000}}) {
    SCOPED_TRACE(limit);
    StartedRig rig;
    Mainform& f = rig.form();
    f.FrequencyHz = limit;
    rig.hold(*(f.*arrows)[4], 100, 1350);
    ASSERT_EQ(rig.frames().size(), 3u);
    for (const auto& l : rig.frames()) EXPECT_NE(l.find("(" + std::to_string(limit) + " Hz)"), std::string::npos) << l;
    EXPECT_EQ(f.txtFrekvens_DDS1.text, std::to_string(limit));
  }
}

TEST(PhaseEntry, CommitWrapsAndRoundsAndEnterPressesTheDefaultButton) {
  struct Case {
    const char *typed, *box;
    int deg;
  } cases[] = {
      {"90", "90", 90},     {"359.9", "359.9", 360}, {"370.1", "10.1", 10}, {"360", "0", 0},
      {"725", "5", 5},      {"1080", "0", 0},        {"12.5", "12.5", 12},  {"13.5", "13.5", 14},
      {"1.2.3", "1.2", 1},  {"", "0", 0},            {"abc", "0", 0},       {"-90", "270", 270},
      {"1e20", "280", 280},  // never loops, whatever was pasted
  };
  StartedRig rig;
  Mainform& f = rig.form();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    f.setText(f.txtFase_DDS2, c.typed);
    f.fire(f.txtFase_DDS2, Event::LostFocus);
    EXPECT_EQ(f.txtFase_DDS2.text + " " + std::to_string(f.PhaseDeg), std::string(c.box) + " " + std::to_string(c.deg));
  }
  EXPECT_TRUE(rig.frames().empty());
  // Enter in the phase box is discarded by its filter and presses the default button.
  f.pressEnter(f.txtFase_DDS2);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
}

// The codes go out in the held-arrow frames below and in the golden case phase_and_supply.
TEST(Supply, Display) {
  StartedRig rig;
  Mainform& f = rig.form();
  for (auto [v, shown] : {std::pair{70, "5.7"}, {13, "1.3"}, {0, "0.0"}}) {
    rig.program.supply.ShowPout(v);
    EXPECT_EQ(f.Pout1[1]->text + "." + f.Pout1[0]->text, shown);
  }
}

TEST(Supply, HeldArrowsStepWithinTheRangeAndSend) {
  struct Case {
    bool up;
    int arrow, from;
    double releaseAt;
    int value;
    std::size_t frames;
    const char* last;  // what the last frame holds
  } cases[] = {
      {true, 0, 13, 200, 13, 0, ""},  // released within the first 120 ms: nothing
      {true, 1, 47, 300, 57, 1, "mode 5 freq 2952790 (44000 Hz) phase 1024 supply 01 B4"},  // at the top: mode 5
      {true, 1, 48, 300, 48, 0, ""},
      {true, 0, 55, 1500, 56, 3, "supply 01 B0"},  // stops at 5.6, but goes on sending
      {false, 0, 14, 300, 13, 1, "mode 6 freq 2952790 (44000 Hz) phase 1024 supply 01 00"},
      {false, 0, 13, 300, 13, 1, "mode 6 freq 2952790 (44000 Hz) phase 1024 supply 01 00"},  // steps back: sends
      {false, 1, 9, 300, 9, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.up ? "up " : "down ") << c.arrow << " from " << c.from);
    StartedRig rig;
    Mainform& f = rig.form();
    f.PoutValue = c.from;
    f.PoutByteLo = supplyCode(c.from);
    rig.hold(c.up ? *f.PoutUp[c.arrow] : *f.PoutDown[c.arrow], 100, c.releaseAt);
    EXPECT_EQ(f.PoutValue, c.value);
    auto frames = rig.frames();
    ASSERT_EQ(frames.size(), c.frames);
    EXPECT_TRUE(!c.frames || frames.back().find(c.last) != std::string::npos) << frames.back();
  }
}

TEST(Boxes, HoldNoMoreThanTheWindowsBoxes) {
  StartedRig rig;
  Mainform& f = rig.form();
  const std::string longText(Mainform::kBoxTextLimit + 10, '7');
  for (char c : longText) f.typeChar(f.TxtSteptime, c);  // each key through the filter and Change
  EXPECT_EQ(f.TxtSteptime.text.size(), Mainform::kBoxTextLimit);
  f.typeChar(f.TxtSteptime, 8);  // Backspace still works at the limit
  f.typeChar(f.TxtSteptime, '1');
  EXPECT_EQ(f.TxtSteptime.text.back(), '1');
  f.pasteText(f.TxtSwpStep, longText);
  EXPECT_EQ(f.TxtSwpStep.text, longText.substr(0, Mainform::kBoxTextLimit));
}

TEST(Motor, StartWithUnsendableSettingsStartsNothing) {
  StartedRig rig;
  Mainform& f = rig.form();
  f.setText(f.txtFrekvens_DDS1, "");
  rig.clearTrace();
  f.fire(f.cmdStartMotor, Event::Click);
  EXPECT_TRUE(rig.traceLines().empty());
  EXPECT_TRUE(f.cmdStartMotor.text == "Motor Start" && f.CmdSwpStart.enabled);
}

// The first flip, 90 to 270 and back: the golden case motor_and_direction.
TEST(Motor, DirectionChangesFlipThePhaseAndLeaveTrackingsMotorButton) {
  StartedRig rig;
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
  EXPECT_TRUE(!f.cmdStartMotor.enabled && f.cmdStartMotor.text == "Motor Stop");
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
    StartedRig rig;
    Mainform& f = rig.form();
    const std::string infoBefore = f.Info.text;
    f.setText(f.txtFrekvens_DDS1, c.hz);
    f.setText(f.txtFase_DDS2, c.degrees);
    f.fire(f.Selectdir, Event::Click);
    if (c.refusal) {
      EXPECT_TRUE(rig.traceLines().empty());
      EXPECT_EQ(f.Selectdir.text + " " + std::to_string(f.PhaseDeg) + " " + f.txtFase_DDS2.text + " " +
                f.cmdStartMotor.text, "CCW 90 " + std::string(c.degrees) + " Motor Start");
      EXPECT_EQ(f.Info.text, infoBefore + "  " + c.refusal);
    } else {  // the lines, frames and captions of a change: the golden case motor_and_direction
      EXPECT_EQ(f.txtFase_DDS2.text + " " + std::to_string(rig.frames().size()), "270 1");
      EXPECT_EQ(f.Info.text, infoBefore);
    }
  }
}

TEST(Motor, ABoardThatStopsAnsweringIsToldOnceUntilACallSucceedsAgain) {
  StartedRig rig;
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
