// Stand-in libftd2xx: the vendor's C calls, with their documented signatures,
// answered by the simulated drive board.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "standin_board.h"

// The vendor's types as its Linux headers declare them: DWORD and ULONG are
// 32 bits (as on Windows), FT_STATUS is a ULONG, a handle is a pointer.
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = unsigned char;
using USHORT = unsigned short;
using PVOID = void*;
using LPVOID = void*;
using LPDWORD = DWORD*;
using FT_HANDLE = void*;
using FT_STATUS = ULONG;

using standin::board;

// The library keeps nothing of its own beyond the board.
void standin::onReset() {}

// ---- the vendor's calls ----

// The vendor's flags for listing and opening.
constexpr DWORD kListNumberOnly = 0x80000000u, kListByIndex = 0x40000000u;
constexpr DWORD kBySerial = 1, kByDescription = 2;

STANDIN_EXPORT FT_STATUS FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD Flags) {
  if (Flags & kListNumberOnly) {
    if (!pArg1) return tavrin::ft::INVALID_PARAMETER;
    std::uint32_t n = 0;
    FT_STATUS s = board().deviceCount(n);
    if (s == tavrin::ft::OK) *static_cast<DWORD*>(pArg1) = n;
    return s;
  }
  if (!(Flags & kListByIndex) || !pArg2) return tavrin::ft::INVALID_PARAMETER;
  // By index, the index itself is passed in place of the pointer.
  auto index = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pArg1));
  std::string text;
  std::size_t size = 0;
  FT_STATUS s = tavrin::ft::INVALID_PARAMETER;
  if (Flags & kBySerial) {
    s = board().deviceSerial(index, text);
    size = 16;
  } else if (Flags & kByDescription) {
    s = board().deviceDescription(index, text);
    size = 64;
  }
  // As the vendor's library does: the text and its NUL while it fits, else
  // the buffer filled whole.
  if (s == tavrin::ft::OK) std::memcpy(pArg2, text.c_str(), std::min(text.size() + 1, size));
  return s;
}
STANDIN_EXPORT FT_STATUS FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle) {
  if (!pArg1 || !pHandle || Flags != kByDescription) return tavrin::ft::INVALID_PARAMETER;
  return board().openByDescription(static_cast<const char*>(pArg1), *pHandle);
}
STANDIN_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE ftHandle) { return board().reset(ftHandle); }
STANDIN_EXPORT FT_STATUS FT_Purge(FT_HANDLE ftHandle, ULONG Mask) { return board().purge(ftHandle, Mask); }
STANDIN_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate) {
  return board().setBaudRate(ftHandle, BaudRate);
}
STANDIN_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits,
                                                   UCHAR Parity) {
  return board().setDataCharacteristics(ftHandle, WordLength, StopBits, Parity);
}
STANDIN_EXPORT FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar) {
  return board().setFlowControl(ftHandle, FlowControl, XonChar, XoffChar);
}
STANDIN_EXPORT FT_STATUS FT_SetDtr(FT_HANDLE ftHandle) { return board().setDtr(ftHandle); }
STANDIN_EXPORT FT_STATUS FT_ClrDtr(FT_HANDLE ftHandle) { return board().clrDtr(ftHandle); }
STANDIN_EXPORT FT_STATUS FT_SetRts(FT_HANDLE ftHandle) { return board().setRts(ftHandle); }
STANDIN_EXPORT FT_STATUS FT_ClrRts(FT_HANDLE ftHandle) { return board().clrRts(ftHandle); }
STANDIN_EXPORT FT_STATUS FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                                  LPDWORD lpdwBytesWritten) {
  if (!lpBuffer && dwBytesToWrite) return tavrin::ft::INVALID_PARAMETER;
  std::uint32_t written = 0;
  FT_STATUS s = board().write(ftHandle, {static_cast<const std::uint8_t*>(lpBuffer), dwBytesToWrite}, written);
  if (lpdwBytesWritten) *lpdwBytesWritten = written;
  return s;
}
STANDIN_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
  if (!dwRxBytes) return tavrin::ft::INVALID_PARAMETER;
  std::uint32_t n = 0;
  FT_STATUS s = board().queueStatus(ftHandle, n);
  *dwRxBytes = n;
  return s;
}
STANDIN_EXPORT FT_STATUS FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                                 LPDWORD lpdwBytesReturned) {
  if (!lpBuffer && dwBytesToRead) return tavrin::ft::INVALID_PARAMETER;
  std::uint32_t got = 0;
  FT_STATUS s = board().read(ftHandle, {static_cast<std::uint8_t*>(lpBuffer), dwBytesToRead}, got);
  if (lpdwBytesReturned) *lpdwBytesReturned = got;
  return s;
}
STANDIN_EXPORT FT_STATUS FT_Close(FT_HANDLE ftHandle) { return board().close(ftHandle); }
