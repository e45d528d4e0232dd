// The link trace: one line per library call, "TIME_MS CALL ARGS -> STATUS",
// and after each frame a decoded line. Wraps any backend.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "link/d2xx.h"
#include "link/frame.h"

namespace tavrin {

class TracingD2xx : public D2xx {
 public:
  TracingD2xx(D2xx& inner, std::ostream& out, std::function<double()> clockMs)
      : inner_(inner), out_(out), clock_(std::move(clockMs)) {}
  ~TracingD2xx() override;

  FtStatus listDevices(void* arg1, void* arg2, std::uint32_t flags) override;
  FtStatus openEx(void* arg1, std::uint32_t flags, FtHandle* handle) override;
  FtStatus resetDevice(FtHandle h) override;
  FtStatus purge(FtHandle h, std::uint32_t mask) override;
  FtStatus setBaudRate(FtHandle h, std::uint32_t baud) override;
  FtStatus setDataCharacteristics(FtHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override;
  FtStatus setFlowControl(FtHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) override;
  FtStatus setDtr(FtHandle h) override;
  FtStatus clrDtr(FtHandle h) override;
  FtStatus setRts(FtHandle h) override;
  FtStatus clrRts(FtHandle h) override;
  FtStatus write(FtHandle h, const void* buffer, std::uint32_t count, std::uint32_t* written) override;
  FtStatus getQueueStatus(FtHandle h, std::uint32_t* rxBytes) override;
  FtStatus read(FtHandle h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  FtStatus close(FtHandle h) override;

  // Writes out a header still waiting to be decoded (at the end of a run).
  void flush();
  // Runs once, at the first line the stream cannot take (a full disk, /dev/full).
  void onWriteFailure(std::function<void()> report) { onFailure_ = std::move(report); }
  bool failed() const { return failed_; }

 private:
  void line(const std::string& text);
  void otherCall();
  FtStatus simple(const char* name, const std::string& args, FtStatus status);

  D2xx& inner_;
  std::ostream& out_;
  std::function<double()> clock_;
  FrameAssembler frames_;
  std::function<void()> onFailure_;
  bool failed_ = false;
};

// Two-digit upper-case hex bytes separated by blanks: "02 01".
std::string hexBytes(const std::uint8_t* data, std::size_t n);

}  // namespace tavrin
