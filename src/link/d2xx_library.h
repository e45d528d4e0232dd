// The vendor's D2XX library, loaded at run time (libftd2xx.so, ftd2xx.dll).
#pragma once

#include <memory>
#include <string>

#include "link/d2xx.h"

namespace tavrin {

class D2xxLibrary : public D2xx {
 public:
  // Loads the library and all fifteen calls. On failure returns null and says
  // why in `error` (library not found, or which call it lacks).
  static std::unique_ptr<D2xxLibrary> load(const std::string& path, std::string& error);
  static std::string defaultPath();
  ~D2xxLibrary() override;

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

  struct Api;

 private:
  D2xxLibrary() = default;
  void* module_ = nullptr;
  std::unique_ptr<Api> api_;
};

}  // namespace tavrin
