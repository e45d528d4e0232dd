// The link globals the program has always kept in its code module Module1.
#pragma once

#include <cstdint>
#include <string>

#include "link/link.h"

namespace tavrin {

struct Module1 {
  LinkHandle DeviceHandle = nullptr;
  LinkStatus LastStatus = 0;
  std::string DeviceSerial;
  std::string DeviceDescription;
  std::uint32_t RxQueueCount = 0;
};

}  // namespace tavrin
