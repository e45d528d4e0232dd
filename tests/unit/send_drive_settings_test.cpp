// OpenCommPort step by step, SendDriveSettings and "Send Data": each failing set-up step stops it with its message,
// the enable line by mode, refused frames. (A set-up that succeeds: every golden trace's start, and the device line in
// Info, in the window's own colour, in the golden case send_data. Whole frames on the link, read from the boxes rather
// than their mirrors: the golden cases send_data and phase_and_supply.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../behaviour/rig.h"

namespace tavrin {
namespace {

struct StepCase {
  const char* fault;
  std::size_t calls;  // library calls made, the failing one last
  const char* failingCall;
  const char* message;
};

const StepCase kSteps[] = {
    {"list", 1, "FT_ListDevices", "Comm ERROR: FTDI driver not ready"},
    {"no-device", 2, "FT_ListDevices", "Comm ERROR: FTDI port not responding"},
    {"serial", 2, "FT_ListDevices", "Comm ERROR: FTDI port not responding"},
    {"description", 3, "FT_ListDevices", "Comm ERROR: FTDI device not ready"},
    {"open", 4, "FT_OpenEx", "Comm ERROR: FTDI failed to open device"},
    {"reset", 5, "FT_ResetDevice", "Comm ERROR: FTDI failed to reset device"},
    {"purge", 6, "FT_Purge", "Comm ERROR: FTDI failed to purge device"},
    {"baud", 7, "FT_SetBaudRate", "Comm ERROR: FTDI failed to set baudrate"},
    {"data", 8, "FT_SetDataCharacteristics", "Comm ERROR: FTDI faild to set com settings"},
    {"flow", 9, "FT_SetFlowControl", "Comm ERROR: FTDI faild to set flow settings"},
    {"rts", 10, "FT_ClrRts", "Comm ERROR: FTDI faild to power device"},
    {"dtr", 11, "FT_ClrDtr", "Comm ERROR: FTDI faild to power device"},
};

TEST(OpenCommPort, StopsAtTheFirstFailureWithItsMessageInRed) {
  for (const StepCase& c : kSteps) {
    SCOPED_TRACE(c.fault);
    testing::Rig rig(testing::withFaults(c.fault));
    Mainform& f = rig.form();
    rig.program.link.OpenCommPort();
    auto lines = rig.traceLines();
    ASSERT_EQ(lines.size(), c.calls) << rig.traceOut.str();
    EXPECT_NE(lines.back().find(std::string(" ") + c.failingCall + " "), std::string::npos) << lines.back();
    const Module1& m = f.module1;
    EXPECT_EQ(f.Info.text, c.message);
    EXPECT_EQ(f.Info.forecolor, colors::red);
    EXPECT_NE(m.LastStatus, ft::OK);
    EXPECT_EQ(m.DeviceHandle == nullptr, c.calls <= 4) << "handle set only once FT_OpenEx succeeded";
  }
}

// The program with the simulated board opened and the start values in the boxes.
class SendTest : public ::testing::Test {
 protected:
  SendTest() {
    rig.program.link.OpenCommPort();
    f.setText(f.txtFrekvens_DDS1, "44000");
    f.setText(f.txtFase_DDS2, "90");
    rig.clearTrace();
  }
  // The trace since the last look, with a header still waiting written out.
  std::string take() {
    rig.trace.flush();
    std::string s = rig.traceOut.str();
    rig.clearTrace();
    return s;
  }
  std::string sendInMode(std::int16_t mode) {
    f.DriveMode = mode;
    EXPECT_TRUE(rig.program.link.SendDriveSettings());
    return take();
  }

  testing::Rig rig;
  Mainform& f = rig.form();
};

TEST_F(SendTest, EnableLineFollowsTheMode) {
  const std::pair<std::int16_t, const char*> cases[] = {{1, "FT_SetDtr"}, {3, "FT_SetDtr"}, {4, "FT_ClrDtr"},
                                                        {5, "FT_SetDtr"}, {6, "FT_SetDtr"}, {7, ""},
                                                        {8, "FT_SetDtr"}};
  for (auto [mode, line] : cases) {
    for (const char* hz : {"44000", "149"}) {  // also when only the header goes out
      f.setText(f.txtFrekvens_DDS1, hz);
      char header[32];
      std::snprintf(header, sizeof header, "0.0 FT_Write 02 %02X -> 0\n", mode);
      std::string expectedStart = *line ? std::string("0.0 ") + line + " -> 0\n" + header : header;
      std::string trace = sendInMode(mode);
      EXPECT_EQ(trace.substr(0, expectedStart.size()), expectedStart) << "mode " << mode << " at " << hz;
    }
  }
}

TEST_F(SendTest, RefusedFrameSendsNothingAndSaysWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "90"}, {"44000x", "90"}, {"32000000", "90"}, {"1e300", "90"},
      {"44000", ""}, {"44000", "2880"}, {"44000", "-1"}, {"44000", "9 0"}};
  const std::string deviceLine = f.Info.text;
  for (auto [hz, degrees] : cases) {
    f.setText(f.txtFrekvens_DDS1, hz);
    f.setText(f.txtFase_DDS2, degrees);
    f.fire(f.cmdWrite, Event::Click);
    std::string where = std::string("\"") + hz + "\" / \"" + degrees + "\"";
    EXPECT_EQ(take(), "") << where;
    // One short note after the device line; the previous refusal's note is gone.
    EXPECT_EQ(f.Info.text.rfind(deviceLine + "  Not sent: ", 0), 0u) << where << ": " << f.Info.text;
    EXPECT_EQ(f.Info.text.find("Not sent", deviceLine.size() + 3), std::string::npos) << where;
    EXPECT_EQ(f.cmdStartMotor.text, "Motor Start") << where;
  }
}

TEST_F(SendTest, AStopThatCannotBeEncodedStillClearsTheEnableLine) {
  // The motor runs; then the operator empties the frequency box and the next
  // frame is a motor-off frame. Nothing may be written, but the enable line
  // is the motor: clearing it is always safe and must not be skipped.
  f.fire(f.cmdWrite, Event::Click);
  ASSERT_TRUE(rig.board.dtr());
  rig.clearTrace();
  f.setText(f.txtFrekvens_DDS1, "");
  f.DriveMode = 4;
  EXPECT_FALSE(rig.program.link.SendDriveSettings());
  EXPECT_EQ(take(), "0.0 FT_ClrDtr -> 0\n");
  EXPECT_FALSE(f.Info.text.empty());
}

// A red open failure stays in Info, in red, with a refusal's note after it,
// and alone again once a frame goes out; without a device the writes fail
// silently and keep their status. (The device line and its note:
// SendTest.RefusedFrameSendsNothingAndSaysWhy and tests/behaviour/current_test.cpp.)
TEST(RefusalNote, KeepsARedOpenFailureUntilTheNextFrame) {
  testing::Rig rig(testing::withFaults("open"));
  Mainform& f = rig.form();
  rig.program.link.OpenCommPort();
  const std::string shown = "Comm ERROR: FTDI failed to open device";
  f.setText(f.txtFase_DDS2, "90");
  f.setText(f.txtFrekvens_DDS1, "abc");
  f.fire(f.cmdWrite, Event::Click);
  EXPECT_EQ(f.Info.text, shown + "  Not sent: the frequency is not a number");
  EXPECT_EQ(f.Info.forecolor, colors::red);
  f.setText(f.txtFrekvens_DDS1, "44000");
  f.fire(f.cmdWrite, Event::Click);
  EXPECT_EQ(f.Info.text, shown);
  EXPECT_EQ(f.Info.forecolor, colors::red);
  EXPECT_EQ(f.module1.LastStatus, ft::INVALID_HANDLE);
}

}  // namespace
}  // namespace tavrin
