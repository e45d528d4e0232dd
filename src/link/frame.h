// The 19-byte drive settings frame: encoding from the window's values, and
// reassembling frames from the writes that carry them (the board and the link
// trace both need that). Both follow one table of the frame's fields
// (frame.cpp): a new setting is a FrameFields member and a row there.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

inline constexpr std::uint8_t kStx = 0x02, kEtx = 0x03;
inline constexpr std::int32_t kHeaderOnlyMaxWord = 10000;  // words up to this send only STX + mode

// f x 2^28 / 4 MHz, halves to even; nullopt when it does not fit 32 bits (32 MHz and up).
std::optional<std::int32_t> frequencyWord(double hertz);
double frequencyOfWord(std::int32_t word);
// degrees x 4096 / 360, halves to even; nullopt when negative or beyond 16 bits.
std::optional<std::int16_t> phaseWord(double degrees);

struct FrameFields {
  std::uint8_t mode = 0;
  std::int32_t freqWord = 0;
  std::int16_t phaseWord = 0;
  std::uint8_t poutHi = 0, poutLo = 0;
  bool operator==(const FrameFields&) const = default;
};

// The writes of one frame, in order: 2, 4, 4, 2, 2 and 5 bytes, or only the
// 2-byte header when the frequency word is 10000 or less.
std::vector<std::vector<std::uint8_t>> frameWrites(const FrameFields& f);

// The frame's fields as a Markdown table (bytes, write, field, content): the
// one README.md shows.
std::string frameLayoutTable();

// The raw ADC count of a current reply: the number from its fourth character on,
// read by the leading-number rule (text without a number counts 0). nullopt
// when fewer than 8 bytes came, or the number does not fit 32 bits.
std::optional<std::int32_t> currentReplyCount(std::string_view reply);

// A frame as it arrived: whole, or the header alone.
struct ReceivedFrame {
  bool headerOnly = false;
  FrameFields fields;
  std::string describe() const;  // the decoded line of the link trace
};

// Rebuilds frames from the sequence of writes and other calls on the link. A
// header is known to stand alone when the next call does not continue it.
class FrameAssembler {
 public:
  // Feeds one write; returns the frames it completes (a pending header-only
  // frame, then possibly a whole frame).
  std::vector<ReceivedFrame> onWrite(const std::uint8_t* data, std::size_t n);
  // Any other call on the link: a header still waiting stands alone.
  std::optional<ReceivedFrame> onOtherCall();
  // Part of a frame has come and the rest has not.
  bool waiting() const { return !pending_.empty(); }

 private:
  std::vector<std::uint8_t> pending_;
};

}  // namespace tavrin
