// OpenCommPort step by step: each failing set-up step, the success display, odd device texts.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli/session.h"
#include "test_support.h"

namespace tavrin {
namespace {

std::vector<std::string> traceLines(const std::string& trace) {
  std::vector<std::string> lines;
  std::istringstream in(trace);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The call a trace line records: "0.0 FT_Purge 3 -> 0" gives "FT_Purge".
std::string callOf(const std::string& line) {
  auto start = line.find(' ') + 1;
  return line.substr(start, line.find(' ', start) - start);
}

struct StepCase {
  const char* fault;
  int calls;                // library calls made, the failing one last
  const char* failingCall;
  const char* message;      // empty: success
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
    {"", 11, "FT_ClrDtr", ""},
};

class OpenCommPortSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(OpenCommPortSteps, StopAtTheFirstFailureWithItsMessageInRed) {
  const StepCase& c = GetParam();
  test::Bench bench(c.fault);
  Mainform& f = bench.form();
  bench.program->link.OpenCommPort();
  auto lines = traceLines(bench.takeTrace());

  ASSERT_EQ(static_cast<int>(lines.size()), c.calls) << bench.trace.str();
  EXPECT_EQ(callOf(lines.back()), c.failingCall);
  const Module1& m = f.module1;
  if (*c.message) {
    EXPECT_EQ(f.Info.text, c.message);
    EXPECT_EQ(f.Info.forecolor, colors::red);
    EXPECT_NE(m.LastStatus, ft::OK);
    EXPECT_EQ(m.DeviceHandle == nullptr, c.calls <= 4) << "handle set only once FT_OpenEx succeeded";
  } else {
    EXPECT_EQ(f.Info.text, " - Tavrin Drive Board (simulated)  Handle: TVSIM001");
    EXPECT_EQ(f.Info.forecolor, colors::darkGrey);
    EXPECT_EQ(m.LastStatus, ft::OK);
    EXPECT_NE(m.DeviceHandle, nullptr);
    EXPECT_EQ(m.DeviceSerial, "TVSIM001");
    EXPECT_EQ(m.DeviceDescription, "Tavrin Drive Board (simulated)");
    EXPECT_TRUE(bench.board()->isOpen());
    EXPECT_FALSE(bench.board()->dtr());
    EXPECT_FALSE(bench.board()->rts());
  }
}

INSTANTIATE_TEST_SUITE_P(EachStep, OpenCommPortSteps, ::testing::ValuesIn(kSteps),
                         [](const auto& info) {
                           std::string n = *info.param.fault ? info.param.fault : "none";
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

TEST(OpenCommPort, SetsTheLinkUpWithTheseArguments) {
  test::Bench bench;
  bench.program->link.OpenCommPort();
  EXPECT_EQ(bench.takeTrace(),
            "0.0 FT_ListDevices 80000000 -> 0 count 1\n"
            "0.0 FT_ListDevices 0 40000001 -> 0 \"TVSIM001\"\n"
            "0.0 FT_ListDevices 0 40000002 -> 0 \"Tavrin Drive Board (simulated)\"\n"
            "0.0 FT_OpenEx \"Tavrin Drive Board (simulated)\" 2 -> 0\n"
            "0.0 FT_ResetDevice -> 0\n"
            "0.0 FT_Purge 3 -> 0\n"
            "0.0 FT_SetBaudRate 19200 -> 0\n"
            "0.0 FT_SetDataCharacteristics 8 0 0 -> 0\n"
            "0.0 FT_SetFlowControl 0 0 0 -> 0\n"
            "0.0 FT_ClrRts -> 0\n"
            "0.0 FT_ClrDtr -> 0\n");
}

TEST(OpenCommPort, SuccessKeepsTheColourInfoHad) {
  test::Bench bench;
  Mainform& f = bench.form();
  f.setForecolor(f.Info, colors::black);
  bench.program->link.OpenCommPort();
  EXPECT_EQ(f.Info.forecolor, colors::black);
}

// A library that answers every call, with device texts that fill their buffers.
class FullBufferD2xx : public NoDevice {
 public:
  std::string serial = "ABCDEFGHIJKLMNOP";  // 16 characters, no room for a NUL
  std::string description = std::string(64, 'D');
  std::string openedWith;

  FtStatus listDevices(void* arg1, void* arg2, std::uint32_t flags) override {
    if (flags & ft::LIST_NUMBER_ONLY) {
      *static_cast<std::uint32_t*>(arg1) = 2;  // two boards: device 0 is taken
      return ft::OK;
    }
    const std::string& text = (flags & ft::OPEN_BY_DESCRIPTION) ? description : serial;
    std::memcpy(arg2, text.data(), text.size());
    return ft::OK;
  }
  FtStatus openEx(void* arg1, std::uint32_t, FtHandle* h) override {
    openedWith = static_cast<const char*>(arg1);
    *h = this;
    return ft::OK;
  }
  FtStatus resetDevice(FtHandle) override { return ft::OK; }
  FtStatus purge(FtHandle, std::uint32_t) override { return ft::OK; }
  FtStatus setBaudRate(FtHandle, std::uint32_t) override { return ft::OK; }
  FtStatus setDataCharacteristics(FtHandle, std::uint8_t, std::uint8_t, std::uint8_t) override { return ft::OK; }
  FtStatus setFlowControl(FtHandle, std::uint16_t, std::uint8_t, std::uint8_t) override { return ft::OK; }
  FtStatus clrRts(FtHandle) override { return ft::OK; }
  FtStatus clrDtr(FtHandle) override { return ft::OK; }
};

TEST(OpenCommPort, KeepsDeviceTextsThatFillTheirBuffersWhole) {
  FullBufferD2xx lib;
  test::Bench bench;
  DeviceLink link(bench.form(), lib);
  link.OpenCommPort();
  const Module1& m = bench.form().module1;
  EXPECT_EQ(m.DeviceSerial, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(m.DeviceDescription, std::string(64, 'D'));
  EXPECT_EQ(lib.openedWith, std::string(64, 'D'));  // handed over NUL-terminated
  EXPECT_EQ(m.DeviceHandle, &lib);
  EXPECT_EQ(bench.form().Info.text, " - " + std::string(64, 'D') + "  Handle: ABCDEFGHIJKLMNOP");
}

TEST(OpenCommPort, MissingVendorLibraryIsReportedAtStartUp) {
  test::TempDir dir;
  Options o;
  o.backend.board = "d2xx";
  o.backend.d2xxLibrary = (dir.path() / "no-such" / "libftd2xx.so").string();
  o.driveRoot = dir.path().string();
  VirtualToolkit tk;
  Session session(o, tk);
  ASSERT_TRUE(session.ok());
  try {
    session.program().Form_Load();
  } catch (const ProgramEnded&) {
  } catch (const RunLimitReached&) {
  }
  const Control& info = session.program().form.Info;
  EXPECT_EQ(info.text.rfind("Comm ERROR: cannot load " + o.backend.d2xxLibrary, 0), 0u) << info.text;
  EXPECT_EQ(info.forecolor, colors::red);
  EXPECT_EQ(session.program().form.module1.DeviceHandle, nullptr);
}

}  // namespace
}  // namespace tavrin
