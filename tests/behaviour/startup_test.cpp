// Start-up and shutdown: the started window, the reduced state, the configuration
// file, and a close that fails. (The whole start-up trace, and Exit during
// start-up or a held arrow: tests/golden/cases.)
#include <gtest/gtest.h>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;
using tavrin::testing::withFaults;

// Info keeps the device line or the open failure (in red), the digits show 0, the motor-off frame still goes out,
// and the motor button cannot enable the sweep.
TEST(Startup, SilentOrAbsentBoardGivesReducedState) {
  const std::string device = " - Tavrin Drive Board (simulated)  Handle: TVSIM001";
  const std::pair<const char*, std::string> cases[] = {
      {"silent", device}, {"short", device}, {"late", device},
      {"no-device", "Comm ERROR: FTDI port not responding"}, {"open", "Comm ERROR: FTDI failed to open device"}};
  for (const auto& [fault, info] : cases) {
    SCOPED_TRACE(fault);
    Rig rig(withFaults(fault));
    rig.start();
    Mainform& f = rig.form();
    EXPECT_FALSE(f.ControlAvailable);
    EXPECT_EQ(f.Info.text, info + "  - Frequency & Voltage control NOT available - ");
    EXPECT_EQ(f.Info.forecolor == colors::red, info != device);
    EXPECT_EQ(f.txtDDS1[5]->text + f.Pout1[1]->text, "00");
    ASSERT_FALSE(rig.frames().empty());
    EXPECT_NE(rig.frames().back().find(" frame mode 4 "), std::string::npos) << rig.frames().back();
    for (Control* c : {&f.CmdSwpStart, &f.Tracking, &f.ChaLogFile, &f.cmdWrite, f.imgUp[1], f.PoutDown[1]})
      EXPECT_FALSE(c->enabled) << c->id();
    EXPECT_TRUE(f.cmdStartMotor.enabled);
    f.fire(f.cmdStartMotor, Event::Click);  // a motor start and stop leave the sweep disabled
    f.fire(f.cmdStartMotor, Event::Click);
    EXPECT_FALSE(f.CmdSwpStart.enabled);
  }
}

TEST(Startup, ConfigurationFileSetsFullScale) {
  struct Case {
    const char* name;
    const char* contents;  // null: a folder in its place
    int fullScale;
    const char* infoTail;
  };
  const Case cases[] = {
      {"two values, last wins", "; board 7\r\n1000\r\n2000\r\n", 2000, "  1000mA Full Scale  2000mA Full Scale"},
      {"comments and blanks only", "; nothing\r\n\r\n   ; indented\r", 1024, ""},
      {"lone LF does not end a line", "1000\n2000\r", 1024, ""},
      {"line feeds only, as written on Linux", "; c\n1000\n2000\n", 2000, "  1000mA Full Scale  2000mA Full Scale"},
      {"value then comment on one line", "1500\r\n700 ; mA\r\n", 1500, "  1500mA Full Scale"},
      {"beyond 16 bits", "40000\r\n", 1024, ""},
      {"halves to even", "2.5\r\n", 2, "  2mA Full Scale"},
      {"a folder is no file", nullptr, 1024, "  1024mA Full Scale "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    if (c.contents) {
      rig.writeFile("C/Windows/Tavrin.ini", c.contents);
    } else {
      std::filesystem::create_directories(rig.root / "C/Windows/Tavrin.ini");
    }
    rig.start();
    EXPECT_EQ(rig.form().FullScalemA, c.fullScale);
    EXPECT_EQ(rig.form().Info.text, std::string(" - Tavrin Drive Board (simulated)  Handle: TVSIM001") + c.infoTail);
    EXPECT_TRUE(rig.messages.empty());
  }
}

TEST(Shutdown, CloseFailureIsShownBeforeTheEnd) {
  Rig rig(withFaults("open"));
  rig.at(200, [&] { rig.form().fire(rig.form().cmdExit, Event::Click); });
  EXPECT_EQ(rig.start(), 0);
  EXPECT_EQ(rig.form().Info.text, "Comm ERROR: FTDI failed to close device");
  EXPECT_EQ(rig.form().Info.forecolor, colors::red);
}
