// Stand-in libftd2xx: the vendor's C calls, with their documented signatures,
// answered by the simulated drive board.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "link/trace.h"
#include "sim/sim_board.h"

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

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// A C library keeps its state in the library: one board per loaded copy. Every
// call is traced as it arrived, so a test can check that what the program
// passed is what the library received.
struct StandIn {
  double (*clock)(void*) = nullptr;
  void* clockContext = nullptr;
  std::unique_ptr<tavrin::sim::SimBoard> board;
  std::ostringstream received;
  std::unique_ptr<tavrin::TracingLink> tracing;
  std::string receivedText;
};
StandIn standIn;

double now() { return standIn.clock ? standIn.clock(standIn.clockContext) : 0.0; }

void makeBoard(const tavrin::sim::SimConfig& config) {
  standIn.tracing.reset();
  standIn.received.str("");
  standIn.board = std::make_unique<tavrin::sim::SimBoard>(config, now);
  standIn.tracing = std::make_unique<tavrin::TracingLink>(*standIn.board, standIn.received, now);
}

tavrin::Link& board() {
  if (!standIn.tracing) makeBoard(tavrin::sim::SimConfig{});
  return *standIn.tracing;
}

}  // namespace

// ---- test hooks (not part of the vendor's library) ----

// Gives the board a clock in milliseconds, e.g. a test's virtual time; null for 0.
STANDIN_EXPORT void TavrinStandIn_SetClock(double (*clock)(void*), void* context) {
  standIn.clock = clock;
  standIn.clockContext = context;
}

// A fresh board (closed, lines clear) with the faults --sim-fault takes.
// Returns 0, or -1 for a fault list the board does not know.
STANDIN_EXPORT int TavrinStandIn_Reset(const char* faults) {
  tavrin::sim::SimConfig config;
  std::string error;
  if (faults && !tavrin::sim::parseFaults(faults, config, error)) return -1;
  makeBoard(config);
  return 0;
}

// The calls as the library received them, in the link trace's format. The
// text stays valid until the next call of this hook or of TavrinStandIn_Reset.
STANDIN_EXPORT const char* TavrinStandIn_Received() {
  board();
  standIn.tracing->flush();
  standIn.receivedText = standIn.received.str();
  return standIn.receivedText.c_str();
}

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
