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
FtHandle const kHandle = reinterpret_cast<FtHandle>(std::uintptr_t{1});
}  // namespace

namespace {
const std::vector<std::string> kFaultNames = {
    "no-device", "list", "serial", "description", "open", "reset", "purge", "baud", "data",
    "flow", "rts", "dtr", "close", "silent", "short", "late", "garbled", "unplug=N"};
}  // namespace

const std::vector<std::string>& faultNames() { return kFaultNames; }

bool parseFaults(const std::string& list, SimConfig& config, std::string& error) {
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t comma = list.find(',', pos);
    std::string name = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    pos = comma == std::string::npos ? list.size() + 1 : comma + 1;
    if (name.empty()) continue;
    if (name.rfind("unplug=", 0) == 0) {
      std::string n = name.substr(7);
      if (n.empty() || n.size() > 12 || n.find_first_not_of("0123456789") != std::string::npos) {
        error = "bad call count in sim fault '" + name + "'";
        return false;
      }
      config.unplugAfterCalls = std::stoull(n);
      continue;
    }
    const auto& names = faultNames();
    if (std::find(names.begin(), names.end() - 1, name) == names.end() - 1) {
      error = "unknown sim fault '" + name + "'";
      return false;
    }
    config.faults.insert(name);
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

FtStatus SimBoard::check(FtHandle h, const char* stepFault) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (!open_ || h != kHandle) return ft::INVALID_HANDLE;
  if (stepFault && fault(stepFault)) return ft::IO_ERROR;
  return ft::OK;
}

FtStatus SimBoard::listDevices(void* arg1, void* arg2, std::uint32_t flags) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  bool present = !fault("no-device");
  if (flags & ft::LIST_NUMBER_ONLY) {
    if (fault("list")) return ft::OTHER_ERROR;
    if (!arg1) return ft::INVALID_PARAMETER;
    *static_cast<std::uint32_t*>(arg1) = present ? 1 : 0;
    return ft::OK;
  }
  if (!(flags & ft::LIST_BY_INDEX) || !arg2) return ft::INVALID_PARAMETER;
  if (!present || reinterpret_cast<std::uintptr_t>(arg1) != 0) return ft::DEVICE_NOT_FOUND;
  if (flags & ft::OPEN_BY_SERIAL_NUMBER) {
    if (fault("serial")) return ft::IO_ERROR;
    std::snprintf(static_cast<char*>(arg2), 16, "%s", cfg_.serial.c_str());
    return ft::OK;
  }
  if (flags & ft::OPEN_BY_DESCRIPTION) {
    if (fault("description")) return ft::IO_ERROR;
    std::snprintf(static_cast<char*>(arg2), 64, "%s", cfg_.description.c_str());
    return ft::OK;
  }
  return ft::INVALID_PARAMETER;
}

FtStatus SimBoard::openEx(void* arg1, std::uint32_t flags, FtHandle* handle) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (!handle || !arg1) return ft::INVALID_PARAMETER;
  if (fault("no-device") || fault("open")) return ft::DEVICE_NOT_OPENED;
  const char* name = static_cast<const char*>(arg1);
  bool match = (flags == ft::OPEN_BY_DESCRIPTION && cfg_.description == name) ||
               (flags == ft::OPEN_BY_SERIAL_NUMBER && cfg_.serial == name);
  if (!match) return ft::DEVICE_NOT_FOUND;
  if (open_) return ft::DEVICE_NOT_OPENED;
  open_ = true;
  *handle = kHandle;
  return ft::OK;
}

FtStatus SimBoard::resetDevice(FtHandle h) { return check(h, "reset"); }

FtStatus SimBoard::purge(FtHandle h, std::uint32_t mask) {
  FtStatus s = check(h, "purge");
  if (s == ft::OK && (mask & ft::PURGE_RX)) rx_.clear();
  return s;
}

FtStatus SimBoard::setBaudRate(FtHandle h, std::uint32_t baud) {
  FtStatus s = check(h, "baud");
  return s == ft::OK && baud == 0 ? ft::INVALID_PARAMETER : s;
}
FtStatus SimBoard::setDataCharacteristics(FtHandle h, std::uint8_t, std::uint8_t, std::uint8_t) {
  return check(h, "data");
}
FtStatus SimBoard::setFlowControl(FtHandle h, std::uint16_t, std::uint8_t, std::uint8_t) { return check(h, "flow"); }

FtStatus SimBoard::setDtr(FtHandle h) {
  FtStatus s = check(h);
  if (s == ft::OK) dtr_ = true;
  return s;
}
FtStatus SimBoard::clrDtr(FtHandle h) {
  FtStatus s = check(h, "dtr");
  if (s == ft::OK) dtr_ = false;
  return s;
}
FtStatus SimBoard::setRts(FtHandle h) {
  FtStatus s = check(h);
  if (s == ft::OK) rts_ = true;
  return s;
}
FtStatus SimBoard::clrRts(FtHandle h) {
  FtStatus s = check(h, "rts");
  if (s == ft::OK) rts_ = false;
  return s;
}

void SimBoard::noteOtherCall() {
  // A header that no write continued was a frame of its own.
  if (auto f = assembler_.onOtherCall()) onFrame(*f);
}

FtStatus SimBoard::write(FtHandle h, const void* buffer, std::uint32_t count, std::uint32_t* written) {
  if (written) *written = 0;
  ++calls_;
  if (cfg_.unplugAfterCalls && calls_ > *cfg_.unplugAfterCalls) return ft::DEVICE_NOT_FOUND;
  if (!open_ || h != kHandle) return ft::INVALID_HANDLE;
  if (!buffer && count) return ft::INVALID_PARAMETER;
  auto* bytes = static_cast<const std::uint8_t*>(buffer);
  auto done = assembler_.onWrite(bytes, count);
  for (const auto& f : done) {
    if (f.headerOnly) onFrame(f);
  }
  if (count == 2 && bytes[0] == kStx) headerTime_ = clock_();
  for (const auto& f : done) {
    if (!f.headerOnly) onFrame(f);
  }
  if (written) *written = count;
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

int SimBoard::countsAt(double ms, bool noiseless) {
  const MotorModel& m = cfg_.model;
  double counts;
  if (!dtr_) {
    counts = m.idleCounts;
  } else {
    double detune = (frequencyHz() - m.resonanceAt(ms)) / (m.widthHz / 2);
    counts = m.baseCounts + m.gain * supplyVolts(supplyCode_) / (1 + detune * detune);
  }
  if (!noiseless) counts += noise();
  int c = static_cast<int>(std::lround(counts));
  return std::clamp(c, 0, 1023);  // a 10-bit ADC: it saturates at its full count
}

void SimBoard::answerCurrentRequest(double requestTime) {
  if (fault("silent")) return;
  char reply[16];
  // The motor as it was when the request came in.
  std::snprintf(reply, sizeof reply, "ADC&H%03X\r\n", countsAt(requestTime, false));
  std::string text = reply;
  if (fault("garbled")) {
    for (char& c : text) c = "?#%*!~"[static_cast<unsigned>(noise() + 1000) % 6];
  }
  if (fault("short")) text = text.substr(0, 7);
  double at = requestTime + (fault("late") ? cfg_.lateLatencyMs : cfg_.latencyMs);
  for (char c : text) rx_.push_back(Pending{at, static_cast<std::uint8_t>(c)});
}

FtStatus SimBoard::getQueueStatus(FtHandle h, std::uint32_t* rxBytes) {
  if (rxBytes) *rxBytes = 0;
  FtStatus s = check(h);
  if (s != ft::OK) return s;
  if (!rxBytes) return ft::INVALID_PARAMETER;
  double now = clock_();
  std::uint32_t n = 0;
  for (const auto& p : rx_) {
    if (p.at > now) break;
    ++n;
  }
  *rxBytes = n;
  return ft::OK;
}

FtStatus SimBoard::read(FtHandle h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  FtStatus s = check(h);
  if (s != ft::OK) return s;
  if (!buffer && count) return ft::INVALID_PARAMETER;
  double now = clock_();
  std::uint32_t n = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (n < count && !rx_.empty() && rx_.front().at <= now) {
    out[n++] = rx_.front().byte;
    rx_.pop_front();
  }
  if (bytesRead) *bytesRead = n;
  return ft::OK;
}

FtStatus SimBoard::close(FtHandle h) {
  if (!plugged()) return ft::DEVICE_NOT_FOUND;
  if (!open_ || h != kHandle) return ft::INVALID_HANDLE;
  ++closes_;
  open_ = false;
  if (fault("close")) return ft::IO_ERROR;
  return ft::OK;
}

}  // namespace tavrin::sim
