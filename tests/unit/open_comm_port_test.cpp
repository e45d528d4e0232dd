// OpenCommPort step by step: each failing set-up step stops it with its message. (A set-up that succeeds: every
// golden trace's start, and the device line in Info, in the window's own colour, in the golden case send_data.)
#include <gtest/gtest.h>

#include <cstring>
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

}  // namespace
}  // namespace tavrin
