// Start-up and shutdown: the first frames, the reduced state, the configuration
// file, and ending the program from inside a running wait.
#include <gtest/gtest.h>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {
sim::SimConfig withFaults(const std::string& faults) {
  sim::SimConfig c = Rig::quietBoard();
  std::string error;
  EXPECT_TRUE(sim::parseFaults(faults, c, error)) << error;
  return c;
}
}  // namespace

TEST(Startup, SendsCurrentRequestThenMotorOffWithStartValues) {
  Rig rig;
  rig.start();
  auto writes = rig.traceLines("FT_Write");
  ASSERT_GE(writes.size(), 12u);
  std::string first, second;
  for (int i = 0; i < 6; ++i) first += writes[i].substr(writes[i].find("FT_Write") + 9, writes[i].find(" ->") - writes[i].find("FT_Write") - 9) + " ";
  for (int i = 6; i < 12; ++i) second += writes[i].substr(writes[i].find("FT_Write") + 9, writes[i].find(" ->") - writes[i].find("FT_Write") - 9) + " ";
  EXPECT_EQ(first, "02 07 00 2D 0E 56 00 2D 0E 56 00 00 04 00 01 00 00 00 03 ");
  EXPECT_EQ(second, "02 04 00 2D 0E 56 00 2D 0E 56 00 00 04 00 01 00 00 00 03 ");
  // DTR is cleared right before the motor-off frame, and the board agrees.
  auto lines = rig.traceLines();
  auto header4 = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.find("FT_Write 02 04") != std::string::npos; });
  ASSERT_NE(header4, lines.end());
  EXPECT_NE(std::prev(header4)->find("FT_ClrDtr"), std::string::npos);
  EXPECT_FALSE(rig.board.dtr());

  Mainform& f = rig.form();
  EXPECT_EQ(f.txtDMMvalue.text, "12");  // the idle current of the quiet board
  EXPECT_TRUE(f.ControlAvailable);
  EXPECT_EQ(f.txtFrekvens_DDS1.text, "44000");
  EXPECT_EQ(f.TxtSwpStart.text, "40000");
  EXPECT_EQ(f.StepTime, 50);
  EXPECT_EQ(f.Pout1[1]->text, "-");
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");
  EXPECT_EQ(f.defaultButton, &f.cmdStartMotor);
  EXPECT_FALSE(f.timerGetCurrent.enabled);
  EXPECT_TRUE(f.Selectdir.enabled);
  EXPECT_TRUE(f.RunStimFile.enabled);
  EXPECT_EQ(f.Info.text, " - Tavrin Drive Board (simulated)  Handle: TVSIM001  1024mA Full Scale ");
  EXPECT_DOUBLE_EQ(rig.tk.nowMs(), 100);  // 50 ms reply wait + 50 ms final pause
}

TEST(Startup, SilentOrAbsentBoardGivesReducedState) {
  for (const char* fault : {"silent", "no-device", "short", "late", "open"}) {
    SCOPED_TRACE(fault);
    Rig rig(withFaults(fault));
    rig.start();
    Mainform& f = rig.form();
    EXPECT_FALSE(f.ControlAvailable);
    const std::string suffix = "  - Frequency & Voltage control NOT available - ";
    ASSERT_GE(f.Info.text.size(), suffix.size());
    EXPECT_EQ(f.Info.text.substr(f.Info.text.size() - suffix.size()), suffix);
    for (int i = 1; i <= 6; ++i) {
      EXPECT_EQ(f.txtDDS1[i]->text, "0");
      EXPECT_FALSE(f.imgUp[i]->enabled);
      EXPECT_FALSE(f.imgDown[i]->enabled);
    }
    for (int i = 0; i <= 1; ++i) {
      EXPECT_EQ(f.Pout1[i]->text, "0");
      EXPECT_FALSE(f.PoutUp[i]->enabled);
    }
    for (Control* c : {&f.CmdSwpStart, &f.Tracking, &f.ChaLogFile, &f.cmdWrite}) EXPECT_FALSE(c->enabled) << c->name;
    EXPECT_TRUE(f.cmdStartMotor.enabled);
    EXPECT_EQ(f.FullScalemA, 1024);
  }
}

TEST(Startup, NoDeviceShowsFirstFailingStepInRed) {
  Rig rig(withFaults("no-device"));
  rig.start();
  EXPECT_EQ(rig.form().Info.text,
            "Comm ERROR: FTDI port not responding  - Frequency & Voltage control NOT available - ");
  EXPECT_EQ(rig.form().Info.forecolor, colors::red);
  EXPECT_EQ(rig.form().module1.DeviceHandle, nullptr);
}

struct ConfigCase {
  const char* name;
  const char* contents;
  int fullScale;
  const char* infoTail;
};

TEST(Startup, ConfigurationFileSetsFullScale) {
  const ConfigCase cases[] = {
      {"two values, last wins", "; board 7\r\n1000\r\n2000\r\n", 2000, "  1000mA Full Scale  2000mA Full Scale"},
      {"comments and blanks only", "; nothing\r\n\r\n   ; indented\r", 1024, ""},
      {"lone LF does not end a line", "1000\n2000\r", 1024, ""},
      {"line feeds only, as written on Linux", "; c\n1000\n2000\n", 2000, "  1000mA Full Scale  2000mA Full Scale"},
      {"value then comment on one line", "1500\r\n700 ; mA\r\n", 1500, "  1500mA Full Scale"},
      {"beyond 16 bits", "40000\r\n", 1024, ""},
      {"halves to even", "2.5\r\n", 2, "  2mA Full Scale"},
      {"1.5 rounds up", "  1.5", 2, "  2mA Full Scale"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.writeFile("C/Windows/Tavrin.ini", c.contents);
    rig.start();
    EXPECT_EQ(rig.form().FullScalemA, c.fullScale);
    EXPECT_EQ(rig.form().Info.text, std::string(" - Tavrin Drive Board (simulated)  Handle: TVSIM001") + c.infoTail);
    EXPECT_TRUE(rig.messages.empty());
  }
}

TEST(Startup, AFolderInPlaceOfTheConfigurationIsNoFile) {
  Rig rig;
  std::filesystem::create_directories(rig.root / "C/Windows/Tavrin.ini");
  rig.start();
  EXPECT_EQ(rig.form().FullScalemA, 1024);
  EXPECT_EQ(rig.form().Info.text, " - Tavrin Drive Board (simulated)  Handle: TVSIM001  1024mA Full Scale ");
  EXPECT_TRUE(rig.messages.empty());
}

TEST(Shutdown, ExitDuringAHeldArrowClosesOnceAndEnds) {
  Rig rig;
  Mainform& f = rig.form();
  rig.at(200, [&] { f.fire(*f.imgUp[4], Event::MouseDown); });
  rig.at(700, [&] { f.fire(f.cmdExit, Event::Click); });  // inside the arrow's 1000 ms pause
  auto status = rig.start();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(rig.traceLines("FT_Close").size(), 1u);
  EXPECT_EQ(rig.board.closeCount(), 1);
  // Nothing went to the board after the close.
  EXPECT_NE(rig.traceLines().back().find("FT_Close"), std::string::npos);
}

TEST(Shutdown, CloseFailureIsShownBeforeTheEnd) {
  Rig rig(withFaults("open"));
  rig.at(200, [&] { rig.form().fire(rig.form().cmdExit, Event::Click); });
  auto status = rig.start();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rig.form().Info.text, "Comm ERROR: FTDI failed to close device");
  EXPECT_EQ(rig.form().Info.forecolor, colors::red);
}
