// A libftd2xx that lacks FT_GetQueueStatus: every other call is there and fails.
#include <cstdint>

using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using FT_STATUS = ULONG;
using FT_HANDLE = void*;

#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr FT_STATUS kDeviceNotFound = 2;
}

PARTIAL_EXPORT FT_STATUS FT_ListDevices(void*, void*, DWORD) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_OpenEx(void*, DWORD, FT_HANDLE*) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_Purge(FT_HANDLE, ULONG) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, unsigned char, unsigned char, unsigned char) {
  return kDeviceNotFound;
}
PARTIAL_EXPORT FT_STATUS FT_SetFlowControl(FT_HANDLE, unsigned short, unsigned char, unsigned char) {
  return kDeviceNotFound;
}
PARTIAL_EXPORT FT_STATUS FT_SetDtr(FT_HANDLE) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_ClrDtr(FT_HANDLE) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_SetRts(FT_HANDLE) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_ClrRts(FT_HANDLE) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_Write(FT_HANDLE, void*, DWORD, DWORD*) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_Read(FT_HANDLE, void*, DWORD, DWORD*) { return kDeviceNotFound; }
PARTIAL_EXPORT FT_STATUS FT_Close(FT_HANDLE) { return kDeviceNotFound; }
