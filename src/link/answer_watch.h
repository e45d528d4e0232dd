// Watches the calls to a board that was opened successfully. The program has
// always recorded call statuses without looking at them, so a board unplugged
// mid-run went on looking alive; this tells the operator once, at the first
// failed call, and again only after a call has succeeded in between.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/link.h"

namespace tavrin {

class AnswerWatch : public ForwardingLink {
 public:
  using Report = std::function<void(const char* call, LinkStatus status)>;
  AnswerWatch(Link& inner, Report report) : ForwardingLink(inner), report_(std::move(report)) {}

  // Watching starts when the board has been opened and set up, and ends with its close.
  void arm(bool on) {
    armed_ = on;
    reported_ = false;
  }
  // Calls that failed while watching, since the program started, and the
  // first of them ("FT_Write returned 4"), empty while none has.
  std::uint64_t failedCalls() const { return failed_; }
  const std::string& firstFailure() const { return first_; }

  LinkStatus reset(LinkHandle h) override { return seen("FT_ResetDevice", inner().reset(h)); }
  LinkStatus purge(LinkHandle h, std::uint32_t m) override { return seen("FT_Purge", inner().purge(h, m)); }
  LinkStatus setBaudRate(LinkHandle h, std::uint32_t b) override {
    return seen("FT_SetBaudRate", inner().setBaudRate(h, b));
  }
  LinkStatus setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override {
    return seen("FT_SetDataCharacteristics", inner().setDataCharacteristics(h, w, s, p));
  }
  LinkStatus setFlowControl(LinkHandle h, std::uint16_t f, std::uint8_t x, std::uint8_t y) override {
    return seen("FT_SetFlowControl", inner().setFlowControl(h, f, x, y));
  }
  LinkStatus setDtr(LinkHandle h) override { return seen("FT_SetDtr", inner().setDtr(h)); }
  LinkStatus clrDtr(LinkHandle h) override { return seen("FT_ClrDtr", inner().clrDtr(h)); }
  LinkStatus setRts(LinkHandle h) override { return seen("FT_SetRts", inner().setRts(h)); }
  LinkStatus clrRts(LinkHandle h) override { return seen("FT_ClrRts", inner().clrRts(h)); }
  LinkStatus write(LinkHandle h, std::span<const std::uint8_t> b, std::uint32_t& w) override {
    return seen("FT_Write", inner().write(h, b, w));
  }
  LinkStatus queueStatus(LinkHandle h, std::uint32_t& n) override {
    return seen("FT_GetQueueStatus", inner().queueStatus(h, n));
  }
  LinkStatus read(LinkHandle h, std::span<std::uint8_t> b, std::uint32_t& got) override {
    return seen("FT_Read", inner().read(h, b, got));
  }

 private:
  LinkStatus seen(const char* call, LinkStatus status) {
    if (!armed_) return status;
    if (status == ft::OK) {
      reported_ = false;
    } else {
      if (failed_++ == 0) first_ = std::string(call) + " returned " + std::to_string(status);
      if (!reported_) {
        reported_ = true;
        report_(call, status);
      }
    }
    return status;
  }

  Report report_;
  bool armed_ = false, reported_ = false;
  std::uint64_t failed_ = 0;
  std::string first_;
};

}  // namespace tavrin
