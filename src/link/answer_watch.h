// Watches the calls to a board that was opened successfully. The program has
// always recorded call statuses without looking at them, so a board unplugged
// mid-run went on looking alive; this tells the operator once, at the first
// failed call, and again only after a call has succeeded in between.
#pragma once

#include <functional>
#include <string>

#include "link/d2xx.h"

namespace tavrin {

class AnswerWatch : public D2xx {
 public:
  using Report = std::function<void(const char* call, FtStatus status)>;
  AnswerWatch(D2xx& inner, Report report) : inner_(inner), report_(std::move(report)) {}

  // Watching starts when the board has been opened and set up, and ends with its close.
  void arm(bool on) {
    armed_ = on;
    reported_ = false;
  }

  FtStatus listDevices(void* a, void* b, std::uint32_t f) override { return inner_.listDevices(a, b, f); }
  FtStatus openEx(void* a, std::uint32_t f, FtHandle* h) override { return inner_.openEx(a, f, h); }
  FtStatus resetDevice(FtHandle h) override { return seen("FT_ResetDevice", inner_.resetDevice(h)); }
  FtStatus purge(FtHandle h, std::uint32_t m) override { return seen("FT_Purge", inner_.purge(h, m)); }
  FtStatus setBaudRate(FtHandle h, std::uint32_t b) override { return seen("FT_SetBaudRate", inner_.setBaudRate(h, b)); }
  FtStatus setDataCharacteristics(FtHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override {
    return seen("FT_SetDataCharacteristics", inner_.setDataCharacteristics(h, w, s, p));
  }
  FtStatus setFlowControl(FtHandle h, std::uint16_t f, std::uint8_t x, std::uint8_t y) override {
    return seen("FT_SetFlowControl", inner_.setFlowControl(h, f, x, y));
  }
  FtStatus setDtr(FtHandle h) override { return seen("FT_SetDtr", inner_.setDtr(h)); }
  FtStatus clrDtr(FtHandle h) override { return seen("FT_ClrDtr", inner_.clrDtr(h)); }
  FtStatus setRts(FtHandle h) override { return seen("FT_SetRts", inner_.setRts(h)); }
  FtStatus clrRts(FtHandle h) override { return seen("FT_ClrRts", inner_.clrRts(h)); }
  FtStatus write(FtHandle h, const void* b, std::uint32_t n, std::uint32_t* w) override {
    return seen("FT_Write", inner_.write(h, b, n, w));
  }
  FtStatus getQueueStatus(FtHandle h, std::uint32_t* n) override {
    return seen("FT_GetQueueStatus", inner_.getQueueStatus(h, n));
  }
  FtStatus read(FtHandle h, void* b, std::uint32_t n, std::uint32_t* got) override {
    return seen("FT_Read", inner_.read(h, b, n, got));
  }
  FtStatus close(FtHandle h) override { return inner_.close(h); }

 private:
  FtStatus seen(const char* call, FtStatus status) {
    if (!armed_) return status;
    if (status == ft::OK) {
      reported_ = false;
    } else if (!reported_) {
      reported_ = true;
      report_(call, status);
    }
    return status;
  }

  D2xx& inner_;
  Report report_;
  bool armed_ = false, reported_ = false;
};

}  // namespace tavrin
