// Current readings: scaling and floor, overflow, the running maximum, the log
// line, and replies or boxes that cannot be a reading. (Which replies are a
// reading and their count: tests/unit/frame_test.cpp.)
#include <gtest/gtest.h>

#include "rig.h"

using namespace tavrin;
using tavrin::testing::Rig;

namespace {
struct ReadingRig : Rig {
  ReadingRig() : Rig(Rig::quietBoard(), true) {
    canned.replies.emplace_back("ADC&H00C\r\n");  // start-up's reading: 12
    start();
  }
  void read(const std::string& reply, bool log = false) {
    canned.replies.push_back(reply);
    program.current.ReadCurrent(log);
  }
};
}  // namespace

TEST(Current, ScalesFloorsSubtractsOffsetAndFlagsOverflow) {
  const struct {
    int fullScale, offset;
    const char* reply;
    int mA;
    bool overflow;
  } cases[] = {
      {1000, 0, "ADC3      ", 2, false},  // floor(2.9296875)
      {2000, 0, "ADC&H200\r\n", 1000, false},
      {1024, 30, "ADC   10\r\n", -20, false},
      {1024, 0, "ADC&H3E8\r\n", 1000, false},
      {1024, 0, "ADC&H3E9\r\n", 1001, true},   // above 1000 counts
      {1024, 0, "ADC&H001\r\n", 1, true},      // only a sweep clears it
  };
  ReadingRig rig;
  Mainform& f = rig.form();
  for (const auto& c : cases) {
    f.FullScalemA = static_cast<std::int16_t>(c.fullScale);
    f.CurrentOffset = c.offset;
    rig.read(c.reply);
    EXPECT_EQ(std::to_string(f.CurrentmA) + " " + f.txtDMMvalue.text, std::to_string(c.mA) + " " + std::to_string(c.mA))
        << c.reply;
    EXPECT_EQ(f.AdcOverflow, c.overflow) << c.reply;
    EXPECT_EQ(f.Label1.forecolor, c.overflow ? colors::red : colors::black) << c.reply;
  }
}

TEST(Current, MaximumKeepsEarlierFrequencyOnTies) {
  ReadingRig rig;
  Mainform& f = rig.form();
  f.MaxCurrent = f.MaxCurrentFreq = 0;
  f.setText(f.txtFrekvens_DDS1, "40000");
  rig.read("ADC&H064\r\n");
  f.setText(f.txtFrekvens_DDS1, "50000");
  rig.read("ADC&H064\r\n");
  EXPECT_EQ(std::to_string(f.MaxCurrent) + " mA at " + std::to_string(f.MaxCurrentFreq), "100 mA at 40000");
  f.CurrentOffset = 500;
  rig.read("ADC&H064\r\n");
  EXPECT_EQ(f.MaxCurrent, 100);  // a negative reading never becomes the maximum
}

TEST(Current, LogLineIsWrittenWholeEachTimeAndABadPathIsReported) {
  ReadingRig rig;
  Mainform& f = rig.form();
  f.LogFilePath = "C:\\stator-1.txt";
  rig.read("ADC&H039\r\n", true);
  rig.read("ADC&H03A\r\n", false);
  rig.read("ADC&H03B\r\n", true);
  EXPECT_EQ(rig.readFile("C/stator-1.txt"), "1.3,44000,57\r\n1.3,44000,59\r\n");

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
  const std::string info = " - Tavrin Drive Board (simulated)  Handle: TVSIM001  1024mA Full Scale ";
  EXPECT_EQ(f.Info.text, info + "  Not measured: the frequency is not a number");
  f.setText(f.txtFrekvens_DDS1, "44000");
  rig.read("ADC&H064\r\n");  // the next request takes the note away
  EXPECT_EQ(f.Info.text, info);

  rig.canned.replies.clear();
  for (const char* reply : {"ADC&H05", "ADC99999999999\r\n"}) {  // short, and beyond 32 bits
    rig.read(reply);
    EXPECT_EQ(f.CurrentmA, 100) << reply;
  }
  EXPECT_FALSE(f.AdcOverflow);
}

// A backend whose failed queue-status call leaves the caller's count alone:
// the read must not ask for the last reading's bytes, which never come.
TEST(Current, AFailedQueueStatusReadsNothing) {
  struct QueueStatusFails : ForwardingLink {
    using ForwardingLink::ForwardingLink;
    LinkStatus queueStatus(LinkHandle, std::uint32_t&) override { return ft::IO_ERROR; }
    LinkStatus read(LinkHandle h, std::span<std::uint8_t> b, std::uint32_t& got) override {
      asked = b.size();
      return inner().read(h, b, got);
    }
    std::size_t asked = 99;
  };
  ReadingRig rig;  // start-up's reading left a count of 10
  QueueStatusFails link(rig.canned);
  DeviceLink device(rig.form(), link);
  const PathMapper paths(rig.root);
  CurrentReader reader(rig.form(), rig.program.waits, device, paths);
  rig.canned.replies.emplace_back("ADC&H064\r\n");
  reader.ReadCurrent(false);
  EXPECT_EQ(link.asked, 0u);
  EXPECT_EQ(rig.form().CurrentmA, 12);
}
