// The link globals the program has always kept in its code module Module1.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

using FtHandle = void*;      // the library's own handle type; null = no device
using FtStatus = std::uint32_t;  // 0 = FT_OK

struct Module1 {
  FtHandle DeviceHandle = nullptr;
  FtStatus LastStatus = 0;
  std::string DeviceSerial;
  std::string DeviceDescription;
  std::uint32_t RxQueueCount = 0;
};

}  // namespace tavrin
