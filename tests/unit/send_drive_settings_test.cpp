// SendDriveSettings and "Send Data": the enable line by mode, the writes on the link, refused frames.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace tavrin {
namespace {

const char* const kFrame44000 =
    "0.0 FT_Write 02 01 -> 0\n"
    "0.0 FT_Write 00 2D 0E 56 -> 0\n"
    "0.0 FT_Write 00 2D 0E 56 -> 0\n"
    "0.0 FT_Write 00 00 -> 0\n"
    "0.0 FT_Write 04 00 -> 0\n"
    "0.0 FT_Write 01 00 00 00 03 -> 0\n"
    "0.0 frame mode 1 freq 2952790 (44000 Hz) phase 1024 supply 01 00\n";

// The program with the simulated board opened and the start values in the boxes.
class SendTest : public ::testing::Test {
 protected:
  SendTest() {
    program.link.OpenCommPort();
    f.setText(f.txtFrekvens_DDS1, "44000");
    f.setText(f.txtFase_DDS2, "90");
    f.setText(f.Info, "");
    bench.takeTrace();
  }
  std::string sendInMode(std::int16_t mode) {
    f.DriveMode = mode;
    EXPECT_TRUE(program.link.SendDriveSettings());
    return bench.takeTrace();
  }

  test::Bench bench;
  Program& program = *bench.program;
  Mainform& f = bench.form();
};

TEST_F(SendTest, SendDataSetsTheEnableLineAndSendsAModeOneFrame) {
  ASSERT_EQ(f.cmdStartMotor.text, "Motor Start");
  ASSERT_TRUE(f.fire(f.cmdWrite, Event::Click));
  EXPECT_EQ(bench.takeTrace(), std::string("0.0 FT_SetDtr -> 0\n") + kFrame44000);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_EQ(f.DriveMode, 1);
  EXPECT_TRUE(bench.board()->dtr());
  EXPECT_EQ(bench.board()->frequencyHz(), frequencyOfWord(2952790));
  EXPECT_EQ(f.module1.LastStatus, ft::OK);
  EXPECT_EQ(f.Info.text, "");  // a frame never shows a message
}

TEST_F(SendTest, EnableLineFollowsTheMode) {
  struct Case {
    std::int16_t mode;
    const char* line;  // the call before the first write, or "" for none
  };
  const Case cases[] = {{1, "FT_SetDtr"}, {3, "FT_SetDtr"}, {4, "FT_ClrDtr"}, {5, "FT_SetDtr"},
                        {6, "FT_SetDtr"}, {7, ""},          {8, "FT_SetDtr"}};
  for (const auto& c : cases) {
    for (const char* hz : {"44000", "149"}) {  // also when only the header goes out
      f.setText(f.txtFrekvens_DDS1, hz);
      std::string trace = sendInMode(c.mode);
      char header[32];
      std::snprintf(header, sizeof header, "0.0 FT_Write 02 %02X -> 0\n", c.mode);
      std::string expectedStart = *c.line ? std::string("0.0 ") + c.line + " -> 0\n" + header : header;
      EXPECT_EQ(trace.substr(0, expectedStart.size()), expectedStart) << "mode " << c.mode << " at " << hz;
    }
  }
}

TEST_F(SendTest, StartUpFrameGoesOutWithTheLineCleared) {
  f.setText(f.cmdStartMotor, "Motor Start");
  sendInMode(1);
  ASSERT_TRUE(bench.board()->dtr());
  std::string trace = sendInMode(4);
  EXPECT_EQ(trace.substr(0, trace.find('\n') + 1), "0.0 FT_ClrDtr -> 0\n");
  EXPECT_FALSE(bench.board()->dtr());
  ASSERT_FALSE(bench.board()->frames().empty());
  const auto& last = bench.board()->frames().back();
  EXPECT_FALSE(last.headerOnly);
  EXPECT_EQ(last.fields.mode, 4);
}

TEST_F(SendTest, LowFrequencySendsTheHeaderOnly) {
  f.setText(f.txtFrekvens_DDS1, "149");
  f.fire(f.cmdWrite, Event::Click);
  EXPECT_EQ(bench.takeTrace(), "0.0 FT_SetDtr -> 0\n0.0 FT_Write 02 01 -> 0\n0.0 frame mode 1 header only\n");
  f.setText(f.txtFrekvens_DDS1, "150");
  f.fire(f.cmdWrite, Event::Click);
  std::string trace = bench.takeTrace();
  EXPECT_NE(trace.find("FT_Write 00 00 27 52 -> 0\n0.0 FT_Write 00 00 27 52"), std::string::npos) << trace;
  EXPECT_NE(trace.find("0.0 FT_Write 01 00 00 00 03 -> 0\n"), std::string::npos) << trace;
}

TEST_F(SendTest, ReadsTheBoxesAsTheyStandNow) {
  f.FrequencyHz = 50000;  // the mirrors are not what is sent
  f.PhaseDeg = 0;
  f.setText(f.txtFrekvens_DDS1, " 44000 ");
  f.setText(f.txtFase_DDS2, "360");
  f.PoutByteLo = 180;
  std::string trace = sendInMode(6);
  EXPECT_NE(trace.find("FT_Write 00 2D 0E 56"), std::string::npos) << trace;
  EXPECT_NE(trace.find("FT_Write 10 00 -> 0\n0.0 FT_Write 01 B4 00 00 03"), std::string::npos) << trace;
  f.setText(f.txtFase_DDS2, "0");
  EXPECT_NE(sendInMode(6).find("FT_Write 00 00 -> 0\n0.0 FT_Write 00 00 -> 0\n"), std::string::npos);
}

TEST_F(SendTest, RefusedFrameSendsNothingAndSaysWhy) {
  struct Case {
    const char* hz;
    const char* degrees;
  };
  const Case cases[] = {{"", "90"},       {" ", "90"},       {"abc", "90"},     {"44000x", "90"},
                        {"1 2", "90"},    {"32000000", "90"}, {"1e300", "90"},  {"44000", ""},
                        {"44000", "x"},   {"44000", "2880"}, {"44000", "-1"},   {"44000", "9 0"}};
  for (const auto& c : cases) {
    f.setText(f.txtFrekvens_DDS1, c.hz);
    f.setText(f.txtFase_DDS2, c.degrees);
    f.setText(f.Info, "");
    f.fire(f.cmdWrite, Event::Click);
    std::string where = std::string("\"") + c.hz + "\" / \"" + c.degrees + "\"";
    EXPECT_EQ(bench.takeTrace(), "") << where;
    EXPECT_FALSE(f.Info.text.empty()) << where;
    EXPECT_LT(f.Info.text.size(), 80u) << where;
    EXPECT_EQ(f.cmdStartMotor.text, "Motor Start") << where;
    EXPECT_FALSE(bench.board()->dtr()) << where;
  }
  // A good frame goes out again once the box is right.
  f.setText(f.txtFrekvens_DDS1, "44000");
  f.setText(f.txtFase_DDS2, "90");
  f.fire(f.cmdWrite, Event::Click);
  EXPECT_EQ(bench.takeTrace(), std::string("0.0 FT_SetDtr -> 0\n") + kFrame44000);
}

TEST_F(SendTest, AStopThatCannotBeEncodedStillClearsTheEnableLine) {
  // The motor runs; then the operator empties the frequency box and the next
  // frame is a motor-off frame. Nothing may be written, but the enable line
  // is the motor: clearing it is always safe and must not be skipped.
  f.fire(f.cmdWrite, Event::Click);
  ASSERT_TRUE(bench.board()->dtr());
  bench.takeTrace();
  f.setText(f.txtFrekvens_DDS1, "");
  f.DriveMode = 4;
  EXPECT_FALSE(program.link.SendDriveSettings());
  EXPECT_EQ(bench.takeTrace(), "0.0 FT_ClrDtr -> 0\n");
  EXPECT_FALSE(bench.board()->dtr());
  EXPECT_FALSE(f.Info.text.empty());
}

TEST(SendWithoutDevice, WritesFailSilently) {
  test::Bench bench("open");
  Mainform& f = bench.form();
  bench.program->link.OpenCommPort();
  std::string info = f.Info.text;
  f.setText(f.txtFrekvens_DDS1, "44000");
  f.setText(f.txtFase_DDS2, "90");
  bench.takeTrace();
  f.fire(f.cmdWrite, Event::Click);
  std::string trace = bench.takeTrace();
  EXPECT_NE(trace.find("0.0 FT_Write 01 00 00 00 03 -> 1\n"), std::string::npos) << trace;
  EXPECT_EQ(f.module1.LastStatus, ft::INVALID_HANDLE);
  EXPECT_EQ(f.Info.text, info);  // the open failure stays on show
}

}  // namespace
}  // namespace tavrin
