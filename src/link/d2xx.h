// The fifteen calls the program makes into the FTDI D2XX library, with the
// library's own arguments and status codes. Every link backend implements this.
#pragma once

#include <cstdint>

#include "form/module1.h"

namespace tavrin {

namespace ft {
// Status codes the program and the simulated board use (the library's values).
inline constexpr FtStatus OK = 0;
inline constexpr FtStatus INVALID_HANDLE = 1;
inline constexpr FtStatus DEVICE_NOT_FOUND = 2;
inline constexpr FtStatus DEVICE_NOT_OPENED = 3;
inline constexpr FtStatus IO_ERROR = 4;
inline constexpr FtStatus INVALID_PARAMETER = 6;
inline constexpr FtStatus OTHER_ERROR = 18;

inline constexpr std::uint32_t LIST_NUMBER_ONLY = 0x80000000u;
inline constexpr std::uint32_t LIST_BY_INDEX = 0x40000000u;
inline constexpr std::uint32_t OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr std::uint32_t OPEN_BY_DESCRIPTION = 2;
inline constexpr std::uint32_t PURGE_RX = 1, PURGE_TX = 2;
}  // namespace ft

class D2xx {
 public:
  virtual ~D2xx() = default;
  // arg1/arg2 as the library takes them: with LIST_NUMBER_ONLY arg1 points to a
  // 32-bit count; with LIST_BY_INDEX arg1 is the index passed by value and arg2
  // the buffer (16 bytes for a serial number, 64 for a description).
  virtual FtStatus listDevices(void* arg1, void* arg2, std::uint32_t flags) = 0;
  virtual FtStatus openEx(void* arg1, std::uint32_t flags, FtHandle* handle) = 0;
  virtual FtStatus resetDevice(FtHandle h) = 0;
  virtual FtStatus purge(FtHandle h, std::uint32_t mask) = 0;
  virtual FtStatus setBaudRate(FtHandle h, std::uint32_t baud) = 0;
  virtual FtStatus setDataCharacteristics(FtHandle h, std::uint8_t wordLength, std::uint8_t stopBits,
                                          std::uint8_t parity) = 0;
  virtual FtStatus setFlowControl(FtHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) = 0;
  virtual FtStatus setDtr(FtHandle h) = 0;
  virtual FtStatus clrDtr(FtHandle h) = 0;
  virtual FtStatus setRts(FtHandle h) = 0;
  virtual FtStatus clrRts(FtHandle h) = 0;
  virtual FtStatus write(FtHandle h, const void* buffer, std::uint32_t count, std::uint32_t* written) = 0;
  virtual FtStatus getQueueStatus(FtHandle h, std::uint32_t* rxBytes) = 0;
  virtual FtStatus read(FtHandle h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) = 0;
  virtual FtStatus close(FtHandle h) = 0;
};

}  // namespace tavrin
