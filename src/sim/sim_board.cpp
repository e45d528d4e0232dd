#include "sim/sim_board.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/numbers.h"

namespace tavrin::sim {

namespace {
// The handle the simulated library gives out: any non-null value will do, and a
// fixed one keeps traces and dumps repeatable.
LinkHandle const kHandle = reinterpret_cast<LinkHandle>(std::uintptr_t{1});
}  // namespace

namespace {
// Where a counted fault keeps its count in the config.
constexpr std::optional<std::uint64_t> SimConfig::*countSlot(const FaultInfo& fault) {
  if (fault.name == Fault("unplug").info().name) return &SimConfig::unplugAfterCalls;
  return nullptr;
}
static_assert(std::ranges::all_of(kFaults, [](const FaultInfo& f) { return !f.counted || countSlot(f); }),
              "a counted fault needs its place in SimConfig");
}  // namespace

std::optional<std::uint64_t> faultCount(const SimConfig& config, const FaultInfo& fault) {
  auto slot = countSlot(fault);
  return slot ? config.*slot : std::nullopt;
}

bool parseFaults(const std::string& list, SimConfig& config, std::string& error) {
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t comma = list.find(',', pos);
    std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    pos = comma == std::string::npos ? list.size() + 1 : comma + 1;
    if (item.empty()) continue;
    // "NAME" for most faults, "NAME=N" for a counted one.
    const std::size_t equals = item.find('=');
    const FaultInfo* fault = findFault(std::string_view(item).substr(0, equals));
    if (!fault || fault->counted != (equals != std::string::npos)) {
      error = "unknown sim fault '" + item + "'";
      return false;
    }
    if (!fault->counted) {
      config.faults.insert(item);
      continue;
    }
    const std::string n = item.substr(equals + 1);
    if (n.empty() || n.size() > 12 || n.find_first_not_of("0123456789") != std::string::npos) {
      error = "bad call count in sim fault '" + item + "'";
      return false;
    }
    config.*countSlot(*fault) = std::stoull(n);
  }
  return true;
}

bool parseJump(const std::string& text, MotorModel& model, std::string& error) {
  // Up to 10 MHz either way, at up to 1e12 ms (about 30 years) after start.
  std::size_t at = text.find('@');
  std::optional<double> hz, ms;
  if (at != std::string::npos) {
    hz = wholeNumber(std::string_view(text).substr(0, at));
    ms = wholeNumber(std::string_view(text).substr(at + 1));
  }
  if (!hz || !ms || std::fabs(*hz) > 1e7 || *ms < 0 || *ms > 1e12) {
    error = "option --sim-jump needs HZ@MS, not '" + text + "'";
    return false;
  }
  model.jumps.push_back({*ms, *hz});
  return true;
}

double MotorModel::resonanceAt(double ms) const {
  double hz = resonanceHz + driftHzPerS * ms / 1000.0;
  for (const auto& j : jumps)
    if (ms >= j.atMs) hz += j.hz;
  return hz;
}

double supplyVolts(std::uint8_t code) { return 1.3 + 4.4 * code / 180.0; }

SimBoard::SimBoard(SimConfig config, std::function<double()> clockMs)
    : cfg_(std::move(config)), clock_(std::move(clockMs)), rng_(cfg_.model.seed ? cfg_.model.seed : 1) {}

bool SimBoard::plugged() {
  ++calls_;
  noteOtherCall();
  return !(cfg_.unplugAfterCalls && calls_ > *cfg_.unplugAfterCalls);
}

LinkStatus SimBoard::check(LinkHandle h) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (!open_ || h != kHandle) return ft::INVALID_HANDLE;
  return ft::OK;
}

LinkStatus SimBoard::check(LinkHandle h, Fault stepFault) {
  LinkStatus s = check(h);
  return s == ft::OK && fault(stepFault) ? ft::IO_ERROR : s;
}

LinkStatus SimBoard::deviceCount(std::uint32_t& count) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (fault("list")) return ft::OTHER_ERROR;
  count = fault("no-device") ? 0 : 1;
  return ft::OK;
}

LinkStatus SimBoard::deviceText(std::uint32_t index, Fault stepFault, const std::string& text,
                                std::size_t limit, std::string& out) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (fault("no-device") || index != 0) return ft::DEVICE_NOT_FOUND;
  if (fault(stepFault)) return ft::IO_ERROR;
  out = text.substr(0, limit);  // what the chip's memory holds
  return ft::OK;
}

LinkStatus SimBoard::deviceSerial(std::uint32_t index, std::string& serial) {
  return deviceText(index, "serial", cfg_.serial, 15, serial);
}
LinkStatus SimBoard::deviceDescription(std::uint32_t index, std::string& description) {
  return deviceText(index, "description", cfg_.description, 63, description);
}

LinkStatus SimBoard::openByDescription(const std::string& description, LinkHandle& handle) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (fault("no-device") || fault("open")) return ft::DEVICE_NOT_OPENED;
  if (cfg_.description != description) return ft::DEVICE_NOT_FOUND;
  if (open_) return ft::DEVICE_NOT_OPENED;
  open_ = true;
  handle = kHandle;
  return ft::OK;
}

LinkStatus SimBoard::reset(LinkHandle h) { return check(h, "reset"); }

LinkStatus SimBoard::purge(LinkHandle h, std::uint32_t mask) {
  LinkStatus s = check(h, "purge");
  if (s == ft::OK && (mask & ft::PURGE_RX)) rx_.clear();
  return s;
}

LinkStatus SimBoard::setBaudRate(LinkHandle h, std::uint32_t baud) {
  LinkStatus s = check(h, "baud");
  return s == ft::OK && baud == 0 ? ft::INVALID_PARAMETER : s;
}
LinkStatus SimBoard::setDataCharacteristics(LinkHandle h, std::uint8_t, std::uint8_t, std::uint8_t) {
  return check(h, "data");
}
LinkStatus SimBoard::setFlowControl(LinkHandle h, std::uint16_t, std::uint8_t, std::uint8_t) { return check(h, "flow"); }

// A modem line follows the call that moves it, unless the call failed.
static LinkStatus moveLine(bool& line, bool up, LinkStatus checked) {
  if (checked == ft::OK) line = up;
  return checked;
}
LinkStatus SimBoard::setDtr(LinkHandle h) { return moveLine(dtr_, true, check(h)); }
LinkStatus SimBoard::clrDtr(LinkHandle h) { return moveLine(dtr_, false, check(h, "dtr")); }
LinkStatus SimBoard::setRts(LinkHandle h) { return moveLine(rts_, true, check(h)); }
LinkStatus SimBoard::clrRts(LinkHandle h) { return moveLine(rts_, false, check(h, "rts")); }

void SimBoard::noteOtherCall() {
  // A header that no write continued was a frame of its own.
  if (auto f = assembler_.onOtherCall()) onFrame(*f);
}

LinkStatus SimBoard::write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) {
  written = 0;
  ++calls_;
  if (cfg_.unplugAfterCalls && calls_ > *cfg_.unplugAfterCalls) return ft::DEVICE_NOT_FOUND;
  if (!open_ || h != kHandle) return ft::INVALID_HANDLE;
  auto done = assembler_.onWrite(bytes.data(), bytes.size());
  for (const auto& f : done) {
    if (f.headerOnly) onFrame(f);
  }
  if (bytes.size() == 2 && bytes[0] == kStx) headerTime_ = clock_();
  for (const auto& f : done) {
    if (!f.headerOnly) onFrame(f);
  }
  written = static_cast<std::uint32_t>(bytes.size());
  return ft::OK;
}

void SimBoard::onFrame(const ReceivedFrame& f) {
  // The board remembers its recent frames only: an endurance run sends
  // millions, and the log must not grow with them.
  if (frames_.size() >= 2 * kFrameHistory) frames_.erase(frames_.begin(), frames_.begin() + kFrameHistory);
  frames_.push_back(f);
  if (!f.headerOnly) {
    freqWord_ = f.fields.freqWord;
    supplyCode_ = f.fields.poutLo;
  }
  // The reply leaves one latency after the request's header came in, measured
  // at the settings the frame carries (a header alone keeps the last ones).
  if (f.fields.mode == 7) answerCurrentRequest(headerTime_);
}

double SimBoard::noise() {
  // xorshift32: small, seeded, the same on every platform.
  rng_ ^= rng_ << 13;
  rng_ ^= rng_ >> 17;
  rng_ ^= rng_ << 5;
  double unit = (rng_ % 20001) / 10000.0 - 1.0;  // -1 .. 1
  return unit * cfg_.model.noise;
}

int SimBoard::countsAt(double ms) {
  const MotorModel& m = cfg_.model;
  double counts;
  if (!dtr_) {
    counts = m.idleCounts;
  } else {
    double detune = (frequencyHz() - m.resonanceAt(ms)) / (m.widthHz / 2);
    counts = m.baseCounts + m.gain * supplyVolts(supplyCode_) / (1 + detune * detune);
  }
  counts += noise();
  int c = static_cast<int>(std::lround(counts));
  return std::clamp(c, 0, 1023);  // a 10-bit ADC: it saturates at its full count
}

void SimBoard::answerCurrentRequest(double requestTime) {
  if (fault("silent")) return;
  char reply[16];
  // The motor as it was when the request came in.
  std::snprintf(reply, sizeof reply, "ADC&H%03X\r\n", countsAt(requestTime));
  std::string text = reply;
  if (fault("garbled")) {
    for (char& c : text) c = "?#%*!~"[static_cast<unsigned>(noise() + 1000) % 6];
  }
  if (fault("short")) text = text.substr(0, 7);
  double at = requestTime + (fault("late") ? cfg_.lateLatencyMs : cfg_.latencyMs);
  for (char c : text) rx_.push_back(Pending{at, static_cast<std::uint8_t>(c)});
}

LinkStatus SimBoard::queueStatus(LinkHandle h, std::uint32_t& rxBytes) {
  rxBytes = 0;
  LinkStatus s = check(h);
  if (s != ft::OK) return s;
  double now = clock_();
  std::uint32_t n = 0;
  for (const auto& p : rx_) {
    if (p.at > now) break;
    ++n;
  }
  rxBytes = n;
  return ft::OK;
}

LinkStatus SimBoard::read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) {
  got = 0;
  LinkStatus s = check(h);
  if (s != ft::OK) return s;
  double now = clock_();
  std::uint32_t n = 0;
  while (n < buffer.size() && !rx_.empty() && rx_.front().at <= now) {
    buffer[n++] = rx_.front().byte;
    rx_.pop_front();
  }
  got = n;
  return ft::OK;
}

LinkStatus SimBoard::close(LinkHandle h) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (!open_ || h != kHandle) return ft::INVALID_HANDLE;
  ++closes_;
  open_ = false;
  if (fault("close")) return ft::IO_ERROR;
  return ft::OK;
}

}  // namespace tavrin::sim
