// The drive settings frame: frequency and phase words, the six writes, and frame reassembly.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/trace.h"

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes joined(const std::vector<Bytes>& writes) {
  Bytes all;
  for (const auto& w : writes) all.insert(all.end(), w.begin(), w.end());
  return all;
}
std::vector<std::size_t> sizes(const std::vector<Bytes>& writes) {
  std::vector<std::size_t> s;
  for (const auto& w : writes) s.push_back(w.size());
  return s;
}

FrameFields fieldsFor(std::uint8_t mode, double hz, double degrees, std::uint8_t hi = 1, std::uint8_t lo = 0) {
  FrameFields f;
  f.mode = mode;
  f.freqWord = frequencyWord(hz).value();
  f.phaseWord = phaseWord(degrees).value();
  f.poutHi = hi;
  f.poutLo = lo;
  return f;
}

TEST(FrameEncoding, StartUpFrameMatchesTheWorkedExample) {
  auto writes = frameWrites(fieldsFor(4, 44000, 90));
  EXPECT_EQ(sizes(writes), (std::vector<std::size_t>{2, 4, 4, 2, 2, 5}));
  EXPECT_EQ(joined(writes), (Bytes{0x02, 0x04, 0x00, 0x2D, 0x0E, 0x56, 0x00, 0x2D, 0x0E, 0x56, 0x00, 0x00, 0x04,
                                   0x00, 0x01, 0x00, 0x00, 0x00, 0x03}));
  // The current request differs only in the mode byte.
  auto request = joined(frameWrites(fieldsFor(7, 44000, 90)));
  auto start = joined(writes);
  start[1] = 7;
  EXPECT_EQ(request, start);
}

TEST(FrameEncoding, LowFrequenciesSendOnlyTheHeader) {
  EXPECT_EQ(frequencyWord(149), 9999);
  EXPECT_EQ(frequencyWord(150), 10066);
  EXPECT_EQ(frameWrites(fieldsFor(1, 149, 90)), (std::vector<Bytes>{{0x02, 0x01}}));
  EXPECT_EQ(frameWrites(fieldsFor(1, 0, 90)), (std::vector<Bytes>{{0x02, 0x01}}));
  FrameFields exactly;
  exactly.mode = 8;
  exactly.freqWord = kHeaderOnlyMaxWord;  // 10000 still stands alone, 10001 does not
  EXPECT_EQ(frameWrites(exactly).size(), 1u);
  exactly.freqWord = kHeaderOnlyMaxWord + 1;
  EXPECT_EQ(frameWrites(exactly).size(), 6u);

  auto all = joined(frameWrites(fieldsFor(1, 150, 90)));
  ASSERT_EQ(all.size(), 19u);
  EXPECT_EQ(Bytes(all.begin() + 2, all.begin() + 6), (Bytes{0x00, 0x00, 0x27, 0x52}));
  EXPECT_EQ(Bytes(all.begin() + 2, all.begin() + 6), Bytes(all.begin() + 6, all.begin() + 10));
}

TEST(FrameEncoding, PhaseWordIsDegreesTimes4096Over360) {
  struct Case {
    double degrees;
    std::uint8_t hi, lo;
  };
  const Case cases[] = {{0, 0x00, 0x00},   {90, 0x04, 0x00},     {180, 0x08, 0x00},
                        {360, 0x10, 0x00}, {90.5, 0x04, 0x06},   {359.9, 0x0F, 0xFF},
                        {45, 0x02, 0x00},  {2879.9, 0x7F, 0xFF}};
  for (const auto& c : cases) {
    auto all = joined(frameWrites(fieldsFor(1, 44000, c.degrees)));
    EXPECT_EQ(all[10], 0x00) << c.degrees;  // DDS1 phase is always zero
    EXPECT_EQ(all[11], 0x00) << c.degrees;
    EXPECT_EQ(all[12], c.hi) << c.degrees;
    EXPECT_EQ(all[13], c.lo) << c.degrees;
  }
}

TEST(FrameEncoding, RefusesValuesTheWordsCannotHold) {
  EXPECT_FALSE(frequencyWord(32e6).has_value());
  EXPECT_EQ(frequencyWord(31999999.99), 2147483647);
  EXPECT_EQ(frequencyWord(999999), 67108797);
  EXPECT_FALSE(frequencyWord(1e300).has_value());
  EXPECT_FALSE(phaseWord(2880).has_value());
  EXPECT_EQ(phaseWord(2879.9), 32767);
  EXPECT_FALSE(phaseWord(-1).has_value());
  EXPECT_FALSE(phaseWord(-90).has_value());
}

TEST(FrameEncoding, SupplyBytesGoOutAsGiven) {
  auto all = joined(frameWrites(fieldsFor(6, 44000, 90, 1, 180)));
  EXPECT_EQ(Bytes(all.begin() + 14, all.end()), (Bytes{0x01, 0xB4, 0x00, 0x00, 0x03}));
}

// Feeds writes to an assembler and returns what it decoded, "|"-separated,
// with "*" where another library call came in between.
std::string assemble(const std::vector<Bytes>& calls) {
  FrameAssembler a;
  std::string out;
  auto add = [&](const ReceivedFrame& f) { out += (out.empty() ? "" : "|") + f.describe(); };
  for (const auto& c : calls) {
    if (c.empty()) {
      if (auto f = a.onOtherCall()) add(*f);
    } else {
      for (const auto& f : a.onWrite(c.data(), c.size())) add(f);
    }
  }
  return out;
}

TEST(FrameAssembler, RebuildsWholeAndHeaderOnlyFrames) {
  auto whole = frameWrites(fieldsFor(1, 44000, 90));
  EXPECT_EQ(assemble(whole), "frame mode 1 freq 2952790 (44000 Hz) phase 1024 supply 01 00");

  // A header followed by another header stood alone.
  std::vector<Bytes> calls{{0x02, 0x07}};
  calls.insert(calls.end(), whole.begin(), whole.end());
  EXPECT_EQ(assemble(calls),
            "frame mode 7 header only|frame mode 1 freq 2952790 (44000 Hz) phase 1024 supply 01 00");

  // A header followed by any other call stood alone; so did the second one.
  EXPECT_EQ(assemble({{0x02, 0x01}, {}, {0x02, 0x08}, {}}), "frame mode 1 header only|frame mode 8 header only");

  // Two headers in a row, then nothing more: the last one waits for the next call.
  EXPECT_EQ(assemble({{0x02, 0x01}, {0x02, 0x04}}), "frame mode 1 header only");

  // A phase byte of 02 inside a frame does not start a new one.
  auto phase45 = frameWrites(fieldsFor(1, 44000, 45));
  EXPECT_EQ(assemble(phase45), "frame mode 1 freq 2952790 (44000 Hz) phase 512 supply 01 00");

  // Stray bytes are no frame, and a partial frame cut by another call is dropped.
  EXPECT_EQ(assemble({{0x55, 0x01}, {}}), "");
  EXPECT_EQ(assemble({whole[0], whole[1], {}, {0x02, 0x04}, {}}), "frame mode 4 header only");
}

TEST(FrameTrace, WritesHexBytes) {
  const std::uint8_t b[] = {0x02, 0x0A, 0xFF};
  EXPECT_EQ(hexBytes(b, 3), "02 0A FF");
  EXPECT_EQ(hexBytes(b, 0), "");
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

TEST(CurrentReply, CountFromTheFourthCharacterOn) {
  struct Case {
    const char* reply;
    std::optional<std::int32_t> count;
  };
  const Case cases[] = {
      {"ADC&H05", std::nullopt},           // 7 bytes: not a reading
      {"ADC&H050", 80},                    // 8 bytes: read
      {"ADC&H3E9\r\n", 1001},              // the simulated board's form
      {"xyz 1 2\r\n", 12},                 // blanks are skipped wherever they stand
      {"ADC12.5xx", 12},                   // halves to even
      {"ADCjunk!\r\n", 0},                 // no number: a count of 0
      {"ADC99999999999\r\n", std::nullopt},  // beyond 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(currentReplyCount(c.reply), c.count) << c.reply;
}

}  // namespace
}  // namespace tavrin
