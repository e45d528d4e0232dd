// The drive settings frame: frequency and phase words, frame reassembly, the
// README's table of the layout, and the count of a current reply.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"

namespace tavrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

FrameFields fieldsFor(std::uint8_t mode, double hz, double degrees) {
  FrameFields f;
  f.mode = mode;
  f.freqWord = frequencyWord(hz).value();
  f.phaseWord = phaseWord(degrees).value();
  f.poutHi = 1;
  return f;
}

// The whole frame, write by write, and the header alone up to word 9999 (149 Hz, tests/golden/cases/send_data)
// are in the golden traces.
TEST(FrameEncoding, WordsOrNoneWhenTheyCannotHoldTheValue) {
  const std::pair<double, std::optional<std::int32_t>> frequencies[] = {
      {149, 9999},        {150, 10066},           {44000, 2952790}, {999999, 67108797},
      {31999999.99, 2147483647}, {32e6, std::nullopt}, {1e300, std::nullopt}};
  for (auto [hz, word] : frequencies) EXPECT_EQ(frequencyWord(hz), word) << hz;
  const std::pair<double, std::optional<std::int16_t>> phases[] = {
      {0, 0},       {45, 512},     {90, 1024},           {90.5, 1030},         {359.9, 4095},
      {360, 4096},  {2879.9, 32767}, {2880, std::nullopt}, {-1, std::nullopt}, {-90, std::nullopt}};
  for (auto [degrees, word] : phases) EXPECT_EQ(phaseWord(degrees), word) << degrees;
}

// Feeds writes to an assembler and returns what it decoded, "|"-separated;
// an empty write stands for another library call in between.
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
  const std::string wholeLine = "frame mode 1 freq 2952790 (44000 Hz) phase 1024 supply 01 00";
  EXPECT_EQ(assemble(whole), wholeLine);

  // A header followed by another header stood alone.
  std::vector<Bytes> calls{{0x02, 0x07}};
  calls.insert(calls.end(), whole.begin(), whole.end());
  EXPECT_EQ(assemble(calls), "frame mode 7 header only|" + wholeLine);

  // A header followed by any other call stood alone; so did the second one.
  EXPECT_EQ(assemble({{0x02, 0x01}, {}, {0x02, 0x08}, {}}), "frame mode 1 header only|frame mode 8 header only");

  // Two headers in a row, then nothing more: the last one waits for the next call.
  EXPECT_EQ(assemble({{0x02, 0x01}, {0x02, 0x04}}), "frame mode 1 header only");

  // The fields are read from the first frequency word (not its copy), the words as signed values.
  EXPECT_EQ(assemble({{0x02, 0x08, 0, 0, 0x27, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x80, 0, 0xAB, 0xCD, 0, 0, 3}}),
            "frame mode 8 freq 10000 (149 Hz) phase -32768 supply AB CD");

  // Stray bytes are no frame, and a partial frame cut by another call is dropped.
  EXPECT_EQ(assemble({{0x55, 0x01}, {}}), "");
  EXPECT_EQ(assemble({whole[0], whole[1], {}, {0x02, 0x04}, {}}), "frame mode 4 header only");
}

// README.md shows the frame's layout: it must be the table the code follows.
TEST(FrameLayout, ReadmeShowsTheCodesTable) {
  std::ifstream in(TAVRIN_README);
  ASSERT_TRUE(in) << TAVRIN_README;
  std::string table;
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0)
      inSection = line == "## The drive settings frame";
    else if (inSection && line.rfind('|', 0) == 0)
      table += line + "\n";
  }
  EXPECT_EQ(table, frameLayoutTable());
}

TEST(CurrentReply, CountFromTheFourthCharacterOn) {
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"ADC&H05", std::nullopt},             // 7 bytes: not a reading
      {"ADC&H050", 80},                      // 8 bytes: read
      {"ADC&H3E9\r\n", 1001},                // the simulated board's form
      {"xyz 1 2\r\n", 12},                   // blanks are skipped wherever they stand
      {"ADC12.5xx", 12},                     // halves to even
      {"ADCjunk!\r\n", 0},                   // no number: a count of 0
      {"ADC99999999999\r\n", std::nullopt},  // beyond 32 bits
  };
  for (auto [reply, count] : cases) EXPECT_EQ(currentReplyCount(reply), count) << reply;
}

}  // namespace
}  // namespace tavrin
