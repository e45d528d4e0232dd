#include "link/inband_lines.h"

namespace tavrin::inband {

std::vector<std::uint8_t> encodeWrite(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  out.reserve(data.size() + 2);
  for (std::uint8_t b : data) {
    out.push_back(b);
    if (b == kEscape) out.push_back(kEscape);
  }
  out.push_back(kEscape);
  out.push_back(kEndOfWrite);
  return out;
}

std::size_t dataBytesSent(std::span<const std::uint8_t> data, std::size_t sent) {
  std::size_t encoded = 0, whole = 0;
  for (std::uint8_t b : data) {
    encoded += b == kEscape ? 2 : 1;
    if (encoded > sent) break;
    ++whole;
  }
  return whole;
}

std::vector<std::uint8_t> encodeLine(std::uint8_t command) { return {kEscape, command}; }

Decoder::Event Decoder::feed(std::uint8_t byte) {
  if (!escaped_) {
    if (byte == kEscape) {
      escaped_ = true;
      return {};
    }
    return {Kind::Data, byte};
  }
  escaped_ = false;
  switch (byte) {
    case kEscape:
      return {Kind::Data, kEscape};
    case kDtrOn:
    case kDtrOff:
    case kRtsOn:
    case kRtsOff:
      return {Kind::Line, byte};
    case kEndOfWrite:
      return {Kind::EndOfWrite, byte};
    default:
      return {Kind::Unknown, byte};
  }
}

}  // namespace tavrin::inband
