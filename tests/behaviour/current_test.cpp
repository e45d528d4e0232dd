// Current readings: reply length, scaling and floor, overflow, the running
// maximum, the log line, and replies or boxes that cannot be a reading.
#include <gtest/gtest.h>

#include "core/files.h"
#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {
struct ReadingRig : Rig {
  ReadingRig() : Rig(Rig::quietBoard(), true) {
    canned.replies.push_back("ADC&H00C\r\n");  // start-up's reading: 12
    start();
  }
  void read(const std::string& reply, bool log = false) {
    canned.replies.push_back(reply);
    program.current.ReadCurrent(log);
  }
};
}  // namespace

TEST(Current, RepliesShorterThanEightBytesChangeNothing) {
  ReadingRig rig;
  Mainform& f = rig.form();
  rig.read("ADC&H05");  // 7 bytes
  EXPECT_EQ(f.CurrentmA, 12);
  EXPECT_EQ(f.txtDMMvalue.text, "12");
  rig.read("ADC&H050");  // 8 bytes
  EXPECT_EQ(f.CurrentmA, 80);
  EXPECT_EQ(f.txtDMMvalue.text, "80");
}

TEST(Current, ScalesFloorsAndSubtractsOffset) {
  ReadingRig rig;
  Mainform& f = rig.form();
  f.FullScalemA = 1000;
  rig.read("ADC3      ");
  EXPECT_EQ(f.CurrentmA, 2);  // floor(2.9296875)
  f.FullScalemA = 2000;
  rig.read("ADC&H200\r\n");
  EXPECT_EQ(f.CurrentmA, 1000);
  f.FullScalemA = 1024;
  f.CurrentOffset = 30;
  rig.read("ADC   10\r\n");
  EXPECT_EQ(f.CurrentmA, -20);
  EXPECT_EQ(f.txtDMMvalue.text, "-20");
  rig.read("ADCjunk!\r\n");  // no number: a reading of 0
  EXPECT_EQ(f.CurrentmA, -30);
}

TEST(Current, OverflowAboveOneThousandTurnsCaptionRed) {
  ReadingRig rig;
  Mainform& f = rig.form();
  rig.read("ADC&H3E8\r\n");  // 1000
  EXPECT_FALSE(f.AdcOverflow);
  EXPECT_EQ(f.Label1.forecolor, colors::black);
  rig.read("ADC&H3E9\r\n");  // 1001
  EXPECT_TRUE(f.AdcOverflow);
  EXPECT_EQ(f.Label1.forecolor, colors::red);
  rig.read("ADC&H001\r\n");
  EXPECT_TRUE(f.AdcOverflow);  // only a sweep clears it
}

TEST(Current, MaximumKeepsEarlierFrequencyOnTies) {
  ReadingRig rig;
  Mainform& f = rig.form();
  f.MaxCurrent = 0;
  f.MaxCurrentFreq = 0;
  f.setText(f.txtFrekvens_DDS1, "40000");
  rig.read("ADC&H064\r\n");
  f.setText(f.txtFrekvens_DDS1, "50000");
  rig.read("ADC&H064\r\n");
  EXPECT_EQ(f.MaxCurrent, 100);
  EXPECT_EQ(f.MaxCurrentFreq, 40000);
  f.CurrentOffset = 500;
  rig.read("ADC&H064\r\n");
  EXPECT_EQ(f.MaxCurrent, 100);  // a negative reading never becomes the maximum
}

TEST(Current, LogLineIsWrittenWholeEachTime) {
  EXPECT_EQ(currentLogLine(13, 44000, 57), "1.3,44000,57");
  EXPECT_EQ(currentLogLine(20, 44000, -3), "2,44000,-3");
  EXPECT_EQ(currentLogLine(5, 40000, 0), "0.5,40000,0");

  ReadingRig rig;
  Mainform& f = rig.form();
  f.LogFilePath = "C:\\stator-1.txt";
  rig.read("ADC&H039\r\n", true);
  rig.read("ADC&H03A\r\n", true);
  std::string contents;
  ASSERT_TRUE(readWholeFile(rig.root / "C/stator-1.txt", contents).ok());
  EXPECT_EQ(contents, "1.3,44000,57\r\n1.3,44000,58\r\n");
}

TEST(Current, NoLogTouchesNoFileAndBadLogPathIsReported) {
  ReadingRig rig;
  Mainform& f = rig.form();
  f.LogFilePath = "";
  rig.read("ADC&H039\r\n", false);
  EXPECT_EQ(f.CurrentmA, 57);
  f.LogFilePath = "C:\\no such folder\\x.txt";
  rig.read("ADC&H03A\r\n", true);
  EXPECT_EQ(f.CurrentmA, 58);  // the reading stands; the operator is told the log failed
  EXPECT_NE(f.Info.text.find("cannot write C:\\no such folder\\x.txt"), std::string::npos);
  EXPECT_EQ(f.Info.forecolor, colors::red);
}

TEST(Current, RefusesWhatCannotBeAReading) {
  ReadingRig rig;
  Mainform& f = rig.form();
  rig.clearTrace();
  f.setText(f.txtFrekvens_DDS1, "");
  rig.read("ADC&H064\r\n");
  EXPECT_TRUE(rig.traceLines("FT_Write").empty());  // no request went out
  EXPECT_EQ(f.CurrentmA, 12);
  EXPECT_EQ(f.Info.text,
            " - Tavrin Drive Board (simulated)  Handle: TVSIM001  1024mA Full Scale   Not measured: the frequency is not a number");
  f.setText(f.txtFrekvens_DDS1, "44000");
  rig.read("ADC&H064\r\n");  // the next request takes the note away
  EXPECT_EQ(f.Info.text, " - Tavrin Drive Board (simulated)  Handle: TVSIM001  1024mA Full Scale ");

  rig.canned.replies.clear();
  rig.read("ADC99999999999\r\n");  // beyond 32 bits
  EXPECT_EQ(f.CurrentmA, 100);
  EXPECT_FALSE(f.AdcOverflow);
}

TEST(Current, SimulatedBoardPeaksNearResonanceAndSaturates) {
  Rig rig;
  rig.start();
  Mainform& f = rig.form();
  f.setText(f.txtFrekvens_DDS1, "44100");
  f.fire(f.cmdStartMotor, Event::Click);
  rig.program.current.ReadCurrent(false);
  int atPeak = f.CurrentmA;
  f.setText(f.txtFrekvens_DDS1, "46000");
  rig.program.current.ReadCurrent(false);
  EXPECT_GT(atPeak, 3 * f.CurrentmA);
  f.PoutByteLo = 180;  // 5.7 V
  f.setText(f.txtFrekvens_DDS1, "44100");
  f.DriveMode = 1;
  rig.program.link.SendDriveSettings();
  rig.program.current.ReadCurrent(false);
  EXPECT_EQ(f.CurrentmA, 1023);
  EXPECT_TRUE(f.AdcOverflow);
}
