#include "link/frame.h"

#include <cmath>
#include <cstdio>

#include "core/numbers.h"

namespace tavrin {

std::optional<std::int32_t> frequencyWord(double hertz) {
  return toInt32(hertz / 4000000.0 * 268435456.0);
}

double frequencyOfWord(std::int32_t word) { return word * 4000000.0 / 268435456.0; }

std::optional<std::int16_t> phaseWord(double degrees) {
  // The board's constants: d / 180 x pi / 2pi x 4096, in this order.
  auto w = toInt16(degrees / 180.0 * 3.14159265 / 6.2831853 * 4096.0);
  if (!w || *w < 0) return std::nullopt;
  return w;
}

std::vector<std::vector<std::uint8_t>> frameWrites(const FrameFields& f) {
  std::vector<std::vector<std::uint8_t>> out;
  out.push_back({kStx, f.mode});
  if (f.freqWord <= kHeaderOnlyMaxWord) return out;
  auto w = static_cast<std::uint32_t>(f.freqWord);
  std::vector<std::uint8_t> word{static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16),
                                 static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)};
  out.push_back(word);
  out.push_back(word);
  out.push_back({0, 0});
  auto p = static_cast<std::uint16_t>(f.phaseWord);
  out.push_back({static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)});
  out.push_back({f.poutHi, f.poutLo, 0, 0, kEtx});
  return out;
}

std::optional<std::int32_t> currentReplyCount(std::string_view reply) {
  if (reply.size() < 8) return std::nullopt;
  return toInt32(leadingNumber(reply.substr(3)));
}

std::string ReceivedFrame::describe() const {
  char buf[160];
  if (headerOnly) {
    std::snprintf(buf, sizeof buf, "frame mode %u header only", fields.mode);
  } else {
    std::snprintf(buf, sizeof buf, "frame mode %u freq %d (%s Hz) phase %d supply %02X %02X", fields.mode,
                  fields.freqWord, shortestDecimal(std::round(frequencyOfWord(fields.freqWord) * 10) / 10).c_str(),
                  fields.phaseWord, fields.poutHi, fields.poutLo);
  }
  return buf;
}

namespace {
ReceivedFrame decodeWhole(const std::vector<std::uint8_t>& b) {
  ReceivedFrame r;
  r.fields.mode = b[1];
  r.fields.freqWord = static_cast<std::int32_t>((std::uint32_t(b[2]) << 24) | (std::uint32_t(b[3]) << 16) |
                                                (std::uint32_t(b[4]) << 8) | b[5]);
  r.fields.phaseWord = static_cast<std::int16_t>((b[12] << 8) | b[13]);
  r.fields.poutHi = b[14];
  r.fields.poutLo = b[15];
  return r;
}
}  // namespace

std::vector<ReceivedFrame> FrameAssembler::onWrite(const std::uint8_t* data, std::size_t n) {
  std::vector<ReceivedFrame> done;
  // A new header while one waits: the waiting one stood alone.
  if (pending_.size() == 2 && n >= 1 && data[0] == kStx && n == 2) {
    ReceivedFrame r;
    r.headerOnly = true;
    r.fields.mode = pending_[1];
    done.push_back(r);
    pending_.clear();
  }
  if (pending_.empty() && (n == 0 || data[0] != kStx)) return done;  // stray bytes: not a frame
  pending_.insert(pending_.end(), data, data + n);
  if (pending_.size() >= 19) {
    if (pending_[18] == kEtx) done.push_back(decodeWhole(pending_));
    pending_.clear();
  }
  return done;
}

std::optional<ReceivedFrame> FrameAssembler::onOtherCall() {
  if (pending_.size() != 2) {
    pending_.clear();
    return std::nullopt;
  }
  ReceivedFrame r;
  r.headerOnly = true;
  r.fields.mode = pending_[1];
  pending_.clear();
  return r;
}

}  // namespace tavrin
