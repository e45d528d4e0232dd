// The modem lines in the byte stream (--inband-lines): a pseudo-terminal has
// no DTR or RTS, so on a pty to tavrin-simboard the serial backend sends each
// line change, and the end of each write, as an escape in the bytes it writes.
// Only the program's direction is escaped; the board's replies are plain.
//
//   FF 01  DTR on     FF 02  DTR off
//   FF 03  RTS on     FF 04  RTS off
//   FF 05  end of one write (the board sees the writes the program made)
//   FF FF  a data byte FF
//
// Without --inband-lines nothing of this is ever sent.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tavrin::inband {

inline constexpr std::uint8_t kEscape = 0xFF;
inline constexpr std::uint8_t kDtrOn = 0x01, kDtrOff = 0x02, kRtsOn = 0x03, kRtsOff = 0x04, kEndOfWrite = 0x05;

// The bytes that carry one write: its data with every FF doubled, then FF 05.
std::vector<std::uint8_t> encodeWrite(std::span<const std::uint8_t> data);
// How many data bytes of a write went out whole when only `sent` bytes of its
// encoding did.
std::size_t dataBytesSent(std::span<const std::uint8_t> data, std::size_t sent);
// The two bytes of a line change.
std::vector<std::uint8_t> encodeLine(std::uint8_t command);

// Reads the stream back, byte by byte, on the board's side.
class Decoder {
 public:
  enum class Kind { None, Data, Line, EndOfWrite, Unknown };
  struct Event {
    Kind kind = Kind::None;
    std::uint8_t value = 0;  // the data byte, the line command, or the unknown command
  };
  Event feed(std::uint8_t byte);

 private:
  bool escaped_ = false;
};

}  // namespace tavrin::inband
