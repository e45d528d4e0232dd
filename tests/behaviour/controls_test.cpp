// Manual drive controls: frequency commit and digits, held arrows in virtual
// time, the phase commit, and the supply arrows with their codes and modes.
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
  // "TIME frame mode M ... (HZ Hz) ..." reduced to "TIME HZ" per frame.
  std::vector<std::string> frameTimesAndHz() {
    std::vector<std::string> out;
    for (const auto& l : frames()) {
      auto hz = l.substr(l.find('(') + 1, l.find(" Hz") - l.find('(') - 1);
      out.push_back(l.substr(0, l.find(' ')) + " " + hz);
    }
    return out;
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
      {"40000", "50000", "99999999999999999999", "50000", "0 5 0 0 0 0"},
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
    EXPECT_EQ(f.txtFrekvens_DDS1.text, c.box);
    EXPECT_EQ(std::to_string(f.FrequencyHz), c.box);
    EXPECT_EQ(digits(f), c.shown);
    EXPECT_TRUE(rig.frames().empty());  // committing never talks to the board
  }
}

TEST(FrequencyEntry, EnterCommitsAndDoesNotStartTheMotor) {
  StartedRig rig;
  Mainform& f = rig.form();
  f.setText(f.txtFrekvens_DDS1, "");
  for (char c : std::string("4a7-0 00")) f.typeChar(f.txtFrekvens_DDS1, c);
  EXPECT_EQ(f.txtFrekvens_DDS1.text, "47000");
  f.pressEnter(f.txtFrekvens_DDS1);
  EXPECT_EQ(f.FrequencyHz, 47000);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");
  // Enter in the phase box is discarded by its filter and presses the default button.
  f.pressEnter(f.txtFase_DDS2);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
}

TEST(Stepping, HeldUpArrowStepsAtOnceThenAfterOneSecondThenEveryFifth) {
  StartedRig rig;  // start-up ends at 100 ms
  Mainform& f = rig.form();
  rig.hold(*f.imgUp[4], 100, 1600);
  EXPECT_EQ(rig.frameTimesAndHz(),
            (std::vector<std::string>{"100.0 45000", "1100.0 46000", "1300.0 47000", "1500.0 48000"}));
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_EQ(f.txtFrekvens_DDS1.text, "48000");
  EXPECT_EQ(digits(f), "0 4 8 0 0 0");
  EXPECT_FALSE(f.tmrpause.enabled);
}

TEST(Stepping, UpArrowAtTheTopKeepsSendingTheLimit) {
  StartedRig rig;
  Mainform& f = rig.form();
  f.FrequencyHz = 50000;
  rig.hold(*f.imgUp[4], 100, 1700);
  auto fr = rig.frameTimesAndHz();
  ASSERT_EQ(fr.size(), 4u);
  for (const auto& l : fr) EXPECT_NE(l.find(" 50000"), std::string::npos) << l;
  // imgUp(6) from 44000 goes to 144000 and is brought back to 50000.
  StartedRig six;
  six.hold(*six.form().imgUp[6], 100, 150);
  EXPECT_EQ(six.frameTimesAndHz(), (std::vector<std::string>{"100.0 50000"}));
}

TEST(Stepping, DownArrowSendsOnlyWhenItStepped) {
  StartedRig rig;
  Mainform& f = rig.form();
  f.setText(f.txtFrekvens_DDS1, "12345");  // an uncommitted edit is replaced
  rig.hold(*f.imgDown[6], 100, 150);
  EXPECT_TRUE(rig.frames().empty());
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_EQ(f.txtFrekvens_DDS1.text, "44000");

  StartedRig low;
  low.form().FrequencyHz = 40000;
  low.hold(*low.form().imgDown[4], 100, 1350);  // every pass steps to 39000 and comes back
  EXPECT_EQ(low.frameTimesAndHz(), (std::vector<std::string>{"100.0 40000", "1100.0 40000", "1300.0 40000"}));
}

TEST(Stepping, ReleaseBeforeTheFirstWaitStillTakesOneStep) {
  StartedRig rig;
  Mainform& f = rig.form();
  rig.hold(*f.imgUp[1], 100, 100);
  EXPECT_EQ(f.FrequencyHz, 44001);
  EXPECT_EQ(rig.frames().size(), 1u);
  EXPECT_DOUBLE_EQ(rig.tk.nowMs(), 1100);  // the press returns after its first wait
}

TEST(PhaseEntry, CommitWrapsAndRounds) {
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
    EXPECT_EQ(f.txtFase_DDS2.text, c.box);
    EXPECT_EQ(f.PhaseDeg, c.deg);
  }
  EXPECT_TRUE(rig.frames().empty());
  f.setText(f.txtFase_DDS2, "");
  for (char c : std::string("1,5")) f.typeChar(f.txtFase_DDS2, c);
  EXPECT_EQ(f.txtFase_DDS2.text, "1.5");
}

TEST(Supply, CodesAndDisplay) {
  EXPECT_EQ(supplyCode(13), 0);
  EXPECT_EQ(supplyCode(14), 2);
  EXPECT_EQ(supplyCode(30), 68);
  EXPECT_EQ(supplyCode(50), 151);
  EXPECT_EQ(supplyCode(56), 176);
  EXPECT_EQ(supplyCode(57), 180);
  StartedRig rig;
  Mainform& f = rig.form();
  for (auto [v, shown] : {std::pair{70, "5.7"}, {13, "1.3"}, {0, "0.0"}}) {
    rig.program.supply.ShowPout(v);
    EXPECT_EQ(f.Pout1[1]->text + "." + f.Pout1[0]->text, shown);
  }
}

TEST(Supply, UpArrowWaitsThenStepsAndSends) {
  StartedRig rig;
  Mainform& f = rig.form();
  rig.hold(*f.PoutUp[0], 100, 600);
  EXPECT_EQ(f.PoutValue, 14);
  EXPECT_EQ(f.Pout1[1]->text + "." + f.Pout1[0]->text, "1.4");
  ASSERT_EQ(rig.frames().size(), 1u);
  EXPECT_NE(rig.frames()[0].find("220.0 frame mode 6 "), std::string::npos);
  EXPECT_NE(rig.frames()[0].find("supply 01 02"), std::string::npos);

  StartedRig quick;  // released within the first 120 ms
  quick.hold(*quick.form().PoutUp[0], 100, 200);
  EXPECT_EQ(quick.form().PoutValue, 13);
  EXPECT_TRUE(quick.traceLines().empty());
}

TEST(Supply, WholeVoltsToTheTopSendsModeFive) {
  StartedRig rig;
  Mainform& f = rig.form();
  f.PoutValue = 47;
  rig.hold(*f.PoutUp[1], 100, 300);
  EXPECT_EQ(f.PoutValue, 57);
  ASSERT_EQ(rig.frames().size(), 1u);
  EXPECT_NE(rig.frames()[0].find("mode 5 "), std::string::npos);
  EXPECT_NE(rig.frames()[0].find("supply 01 B4"), std::string::npos);

  StartedRig above;
  above.form().PoutValue = 48;
  above.hold(*above.form().PoutUp[1], 100, 300);
  EXPECT_EQ(above.form().PoutValue, 48);
  EXPECT_TRUE(above.frames().empty());

  StartedRig tenths;  // stops at 5.6, but goes on sending after its first step
  tenths.form().PoutValue = 55;
  tenths.hold(*tenths.form().PoutUp[0], 100, 1500);
  EXPECT_EQ(tenths.form().PoutValue, 56);
  EXPECT_EQ(tenths.frames().size(), 3u);  // at 220, 1220, 1420
}

TEST(Supply, DownArrowStopsAtTheBottom) {
  StartedRig rig;
  Mainform& f = rig.form();
  f.PoutValue = 14;
  f.PoutByteLo = 2;
  rig.hold(*f.PoutDown[0], 100, 300);
  EXPECT_EQ(f.PoutValue, 13);
  EXPECT_EQ(f.PoutByteLo, 0);
  rig.clearTrace();
  rig.hold(*f.PoutDown[0], 1300, 1500);  // at 13 (the first press ended at 1220): steps to 12, comes back, still sends
  EXPECT_EQ(f.PoutValue, 13);
  ASSERT_EQ(rig.frames().size(), 1u);
  EXPECT_NE(rig.frames()[0].find("mode 6 "), std::string::npos);
  EXPECT_NE(rig.frames()[0].find("supply 01 00"), std::string::npos);

  StartedRig volts;
  volts.form().PoutValue = 9;
  volts.hold(*volts.form().PoutDown[1], 100, 300);
  EXPECT_TRUE(volts.frames().empty());
}
