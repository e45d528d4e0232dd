// Stands in when no backend could be loaded: every call fails, as the library
// does without a device, so the rest of the program carries on silently.
#pragma once

#include "link/d2xx.h"

namespace tavrin {

class NoDevice : public D2xx {
 public:
  FtStatus listDevices(void*, void*, std::uint32_t) override { return ft::DEVICE_NOT_FOUND; }
  FtStatus openEx(void*, std::uint32_t, FtHandle*) override { return ft::DEVICE_NOT_FOUND; }
  FtStatus resetDevice(FtHandle) override { return ft::INVALID_HANDLE; }
  FtStatus purge(FtHandle, std::uint32_t) override { return ft::INVALID_HANDLE; }
  FtStatus setBaudRate(FtHandle, std::uint32_t) override { return ft::INVALID_HANDLE; }
  FtStatus setDataCharacteristics(FtHandle, std::uint8_t, std::uint8_t, std::uint8_t) override {
    return ft::INVALID_HANDLE;
  }
  FtStatus setFlowControl(FtHandle, std::uint16_t, std::uint8_t, std::uint8_t) override { return ft::INVALID_HANDLE; }
  FtStatus setDtr(FtHandle) override { return ft::INVALID_HANDLE; }
  FtStatus clrDtr(FtHandle) override { return ft::INVALID_HANDLE; }
  FtStatus setRts(FtHandle) override { return ft::INVALID_HANDLE; }
  FtStatus clrRts(FtHandle) override { return ft::INVALID_HANDLE; }
  FtStatus write(FtHandle, const void*, std::uint32_t, std::uint32_t* w) override {
    if (w) *w = 0;
    return ft::INVALID_HANDLE;
  }
  FtStatus getQueueStatus(FtHandle, std::uint32_t* n) override {
    if (n) *n = 0;
    return ft::INVALID_HANDLE;
  }
  FtStatus read(FtHandle, void*, std::uint32_t, std::uint32_t* n) override {
    if (n) *n = 0;
    return ft::INVALID_HANDLE;
  }
  FtStatus close(FtHandle) override { return ft::INVALID_HANDLE; }
};

}  // namespace tavrin
