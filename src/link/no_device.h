// Stands in when no backend could be loaded: every operation fails, as the
// vendor library does without a device, so the rest of the program carries on.
#pragma once

#include "link/link.h"

namespace tavrin {

class NoDevice : public Link {
 public:
  LinkStatus deviceCount(std::uint32_t& count) override {
    count = 0;
    return ft::DEVICE_NOT_FOUND;
  }
  LinkStatus deviceSerial(std::uint32_t, std::string&) override { return ft::DEVICE_NOT_FOUND; }
  LinkStatus deviceDescription(std::uint32_t, std::string&) override { return ft::DEVICE_NOT_FOUND; }
  LinkStatus openByDescription(const std::string&, LinkHandle&) override { return ft::DEVICE_NOT_FOUND; }
  LinkStatus reset(LinkHandle) override { return ft::INVALID_HANDLE; }
  LinkStatus purge(LinkHandle, std::uint32_t) override { return ft::INVALID_HANDLE; }
  LinkStatus setBaudRate(LinkHandle, std::uint32_t) override { return ft::INVALID_HANDLE; }
  LinkStatus setDataCharacteristics(LinkHandle, std::uint8_t, std::uint8_t, std::uint8_t) override {
    return ft::INVALID_HANDLE;
  }
  LinkStatus setFlowControl(LinkHandle, std::uint16_t, std::uint8_t, std::uint8_t) override {
    return ft::INVALID_HANDLE;
  }
  LinkStatus setDtr(LinkHandle) override { return ft::INVALID_HANDLE; }
  LinkStatus clrDtr(LinkHandle) override { return ft::INVALID_HANDLE; }
  LinkStatus setRts(LinkHandle) override { return ft::INVALID_HANDLE; }
  LinkStatus clrRts(LinkHandle) override { return ft::INVALID_HANDLE; }
  LinkStatus write(LinkHandle, std::span<const std::uint8_t>, std::uint32_t& written) override {
    written = 0;
    return ft::INVALID_HANDLE;
  }
  LinkStatus queueStatus(LinkHandle, std::uint32_t& rxBytes) override {
    rxBytes = 0;
    return ft::INVALID_HANDLE;
  }
  LinkStatus read(LinkHandle, std::span<std::uint8_t>, std::uint32_t& got) override {
    got = 0;
    return ft::INVALID_HANDLE;
  }
  LinkStatus close(LinkHandle) override { return ft::INVALID_HANDLE; }
};

}  // namespace tavrin
