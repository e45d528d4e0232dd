#include "link/frame.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <type_traits>

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

namespace {
// How the trace's decoded line shows a field: " LABEL VALUE" (the label may be
// empty), in table order.
enum class Shown { No, Decimal, Hex, FrequencyWord };

struct FrameSlot {
  const char* name;  // name and content: the README's table
  int offset, size;  // bytes; a value of several goes most significant first
  int write;         // which of the frame's writes carries it, from 1
  std::int64_t (*value)(const FrameFields&);
  void (*take)(FrameFields&, std::int64_t);  // null: not decoded (a constant, or a copy)
  const char* content;  // what the bytes hold
  const char* label = "";
  Shown shown = Shown::No;
};

template <auto Member>
std::int64_t get(const FrameFields& f) {
  return f.*Member;
}
template <auto Member>
void put(FrameFields& f, std::int64_t v) {
  // The received bytes taken as the member's type (modulo its width).
  f.*Member = static_cast<std::remove_cvref_t<decltype(f.*Member)>>(v);
}
template <std::int64_t V>
std::int64_t fixed(const FrameFields&) {
  return V;
}

template <auto Member>
constexpr FrameSlot field(const char* name, int offset, int size, int write, const char* content, const char* label,
                          Shown shown) {
  return {name, offset, size, write, get<Member>, put<Member>, content, label, shown};
}
template <auto Member>
constexpr FrameSlot copyOf(const char* name, int offset, int size, int write, const char* content) {
  return {name, offset, size, write, get<Member>, nullptr, content};
}
template <std::int64_t V>
constexpr FrameSlot constant(const char* name, int offset, int size, int write, const char* content) {
  return {name, offset, size, write, fixed<V>, nullptr, content};
}

using F = FrameFields;
constexpr FrameSlot kLayout[] = {
    constant<kStx>("STX", 0, 1, 1, "0x02"),
    field<&F::mode>("mode", 1, 1, 1, "drive mode: 1, 3, 4, 5, 6, 7 or 8", "mode", Shown::Decimal),
    field<&F::freqWord>("frequency word", 2, 4, 2, "DDS1: f x 2^28 / 4 MHz", "freq", Shown::FrequencyWord),
    copyOf<&F::freqWord>("frequency word copy", 6, 4, 3, "DDS2: the same word"),
    constant<0>("DDS1 phase", 10, 2, 4, "0x00 0x00"),
    field<&F::phaseWord>("phase word", 12, 2, 5, "DDS2 against DDS1: degrees x 4096 / 360", "phase", Shown::Decimal),
    field<&F::poutHi>("supply high", 14, 1, 6, "always 1", "supply", Shown::Hex),
    field<&F::poutLo>("supply code", 15, 1, 6, "supply voltage code 0..180", "", Shown::Hex),
    constant<0>("padding", 16, 2, 6, "0x00 0x00"),
    constant<kEtx>("ETX", 18, 1, 6, "0x03"),
};

constexpr bool contiguous() {
  int next = 0, write = 1;
  for (const auto& s : kLayout) {
    if (s.offset != next || s.size < 1 || s.size > 4 || s.write < write || s.write > write + 1) return false;
    next += s.size;
    write = s.write;
  }
  return true;
}
static_assert(contiguous(), "the frame's fields follow each other, byte by byte and write by write");

constexpr std::size_t kFrameSize = kLayout[std::size(kLayout) - 1].offset + kLayout[std::size(kLayout) - 1].size;
constexpr std::size_t kHeaderSize = [] {
  std::size_t n = 0;
  for (const auto& s : kLayout) n += s.write == 1 ? s.size : 0;
  return n;
}();
static_assert(kFrameSize == 19 && kHeaderSize == 2);

// A frame's fields from its bytes: those of the header alone, or all.
ReceivedFrame decode(const std::vector<std::uint8_t>& b) {
  ReceivedFrame r;
  r.headerOnly = b.size() < kFrameSize;
  for (const auto& s : kLayout) {
    if (!s.take || (r.headerOnly && s.write != 1)) continue;
    std::uint64_t v = 0;
    const auto at = static_cast<std::size_t>(s.offset);
    for (std::size_t i = 0; i < static_cast<std::size_t>(s.size); ++i) v = v << 8 | b[at + i];
    s.take(r.fields, static_cast<std::int64_t>(v));
  }
  return r;
}
}  // namespace

std::vector<std::vector<std::uint8_t>> frameWrites(const FrameFields& f) {
  const int writes = f.freqWord <= kHeaderOnlyMaxWord ? 1 : kLayout[std::size(kLayout) - 1].write;
  std::vector<std::vector<std::uint8_t>> out(static_cast<std::size_t>(writes));
  for (const auto& s : kLayout) {
    if (s.write > writes) break;
    const auto v = static_cast<std::uint64_t>(s.value(f));
    auto& w = out[static_cast<std::size_t>(s.write - 1)];
    for (int i = s.size - 1; i >= 0; --i) w.push_back(static_cast<std::uint8_t>(v >> 8 * i));
  }
  return out;
}

std::string frameLayoutTable() {
  std::string t = "| Bytes | Write | Field | Content |\n|---|---|---|---|\n";
  for (const auto& s : kLayout) {
    const std::string bytes = std::to_string(s.offset) +
                              (s.size > 1 ? "-" + std::to_string(s.offset + s.size - 1) : std::string());
    t += "| " + bytes + " | " + std::to_string(s.write) + " | " + s.name + " | " + s.content + " |\n";
  }
  return t;
}

std::optional<std::int32_t> currentReplyCount(std::string_view reply) {
  if (reply.size() < 8) return std::nullopt;
  return toInt32(leadingNumber(reply.substr(3)));
}

std::string ReceivedFrame::describe() const {
  std::string line = "frame";
  for (const auto& s : kLayout) {
    if (s.shown == Shown::No || (headerOnly && s.write != 1)) continue;
    const std::int64_t v = s.value(fields);
    char buf[64];
    if (s.shown == Shown::Hex)
      std::snprintf(buf, sizeof buf, "%0*llX", 2 * s.size,
                    static_cast<unsigned long long>(v) & (~0ull >> (64 - 8 * s.size)));
    else
      std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    line += std::string(" ") + s.label + (*s.label ? " " : "") + buf;
    if (s.shown == Shown::FrequencyWord)
      line += " (" + shortestDecimal(std::round(frequencyOfWord(static_cast<std::int32_t>(v)) * 10) / 10) + " Hz)";
  }
  return headerOnly ? line + " header only" : line;
}

std::vector<ReceivedFrame> FrameAssembler::onWrite(const std::uint8_t* data, std::size_t n) {
  std::vector<ReceivedFrame> done;
  // A new header while one waits: the waiting one stood alone.
  if (pending_.size() == kHeaderSize && n == kHeaderSize && data[0] == kStx) {
    done.push_back(decode(pending_));
    pending_.clear();
  }
  if (pending_.empty() && (n == 0 || data[0] != kStx)) return done;  // stray bytes: not a frame
  pending_.insert(pending_.end(), data, data + n);
  if (pending_.size() >= kFrameSize) {
    if (pending_[kFrameSize - 1] == kEtx) done.push_back(decode(pending_));
    pending_.clear();
  }
  return done;
}

std::optional<ReceivedFrame> FrameAssembler::onOtherCall() {
  std::optional<ReceivedFrame> r;
  if (pending_.size() == kHeaderSize) r = decode(pending_);
  pending_.clear();
  return r;
}

}  // namespace tavrin
