#include "link/d2xx_library.h"

#include <cstring>

#include "link/loaded_library.h"

#ifdef _WIN32
#include <windows.h>
#define TAVRIN_FTAPI WINAPI
#else
#define TAVRIN_FTAPI
#endif

namespace tavrin {

// The calls as the vendor documents them. DWORD is 32 bits on every platform;
// ULONG is declared as unsigned long, which is right whether the library reads
// it as 32 or 64 bits. FT_STATUS is read as 32 bits.
namespace {
using DWORD = std::uint32_t;
using ULONG = unsigned long;
using UCHAR = unsigned char;
using USHORT = unsigned short;
using FT_STATUS = std::uint32_t;

using ListDevicesFn = FT_STATUS(TAVRIN_FTAPI*)(void*, void*, DWORD);
using OpenExFn = FT_STATUS(TAVRIN_FTAPI*)(void*, DWORD, void**);
using HandleFn = FT_STATUS(TAVRIN_FTAPI*)(void*);
using HandleUlongFn = FT_STATUS(TAVRIN_FTAPI*)(void*, ULONG);
using DataCharFn = FT_STATUS(TAVRIN_FTAPI*)(void*, UCHAR, UCHAR, UCHAR);
using FlowFn = FT_STATUS(TAVRIN_FTAPI*)(void*, USHORT, UCHAR, UCHAR);
using WriteFn = FT_STATUS(TAVRIN_FTAPI*)(void*, void*, DWORD, DWORD*);
using QueueFn = FT_STATUS(TAVRIN_FTAPI*)(void*, DWORD*);
using ReadFn = FT_STATUS(TAVRIN_FTAPI*)(void*, void*, DWORD, DWORD*);
}  // namespace

struct D2xxLibrary::Api {
  ListDevicesFn listDevices;
  OpenExFn openEx;
  HandleFn resetDevice;
  HandleUlongFn purge;
  HandleUlongFn setBaudRate;
  DataCharFn setDataCharacteristics;
  FlowFn setFlowControl;
  HandleFn setDtr, clrDtr, setRts, clrRts;
  WriteFn write;
  QueueFn getQueueStatus;
  ReadFn read;
  HandleFn close;
};

std::string D2xxLibrary::defaultPath() {
#ifdef _WIN32
  return "ftd2xx.dll";
#elif defined(__APPLE__)
  return "libftd2xx.dylib";
#else
  return "libftd2xx.so";
#endif
}

std::unique_ptr<D2xxLibrary> D2xxLibrary::load(const std::string& path, std::string& error) {
  auto api = std::make_unique<Api>();
  loaded::Module module = loaded::openWithCalls(path, error, [&api](loaded::Calls& c) {
    c.need(api->listDevices, "FT_ListDevices");
    c.need(api->openEx, "FT_OpenEx");
    c.need(api->resetDevice, "FT_ResetDevice");
    c.need(api->purge, "FT_Purge");
    c.need(api->setBaudRate, "FT_SetBaudRate");
    c.need(api->setDataCharacteristics, "FT_SetDataCharacteristics");
    c.need(api->setFlowControl, "FT_SetFlowControl");
    c.need(api->setDtr, "FT_SetDtr");
    c.need(api->clrDtr, "FT_ClrDtr");
    c.need(api->setRts, "FT_SetRts");
    c.need(api->clrRts, "FT_ClrRts");
    c.need(api->write, "FT_Write");
    c.need(api->getQueueStatus, "FT_GetQueueStatus");
    c.need(api->read, "FT_Read");
    c.need(api->close, "FT_Close");
  });
  if (!module) return nullptr;
  return std::unique_ptr<D2xxLibrary>(new D2xxLibrary(std::move(module), std::move(api)));
}

D2xxLibrary::D2xxLibrary(loaded::Module module, std::unique_ptr<Api> api)
    : module_(std::move(module)), api_(std::move(api)) {}
D2xxLibrary::~D2xxLibrary() = default;

namespace {
// The library's flags for listing and opening.
constexpr DWORD kListNumberOnly = 0x80000000u, kListByIndex = 0x40000000u;
constexpr DWORD kBySerial = 1, kByDescription = 2;

// A text the library wrote into a buffer of `size` bytes: up to its NUL, and
// kept whole (never read past) when it fills the buffer.
std::string cutAtNul(const char* buf, std::size_t size) { return std::string(buf, strnlen(buf, size)); }
}  // namespace

LinkStatus D2xxLibrary::deviceCount(std::uint32_t& count) {
  DWORD n = 0;
  char unused[1] = {0};
  LinkStatus s = api_->listDevices(&n, unused, kListNumberOnly);
  if (s == ft::OK) count = n;
  return s;
}
LinkStatus D2xxLibrary::deviceSerial(std::uint32_t index, std::string& serial) {
  char buf[16 + 1] = {0};  // the documented 16 bytes, and a NUL the library never touches
  LinkStatus s = api_->listDevices(reinterpret_cast<void*>(std::uintptr_t{index}), buf, kListByIndex | kBySerial);
  if (s == ft::OK) serial = cutAtNul(buf, 16);
  return s;
}
LinkStatus D2xxLibrary::deviceDescription(std::uint32_t index, std::string& description) {
  char buf[64 + 1] = {0};
  LinkStatus s =
      api_->listDevices(reinterpret_cast<void*>(std::uintptr_t{index}), buf, kListByIndex | kByDescription);
  if (s == ft::OK) description = cutAtNul(buf, 64);
  return s;
}
LinkStatus D2xxLibrary::openByDescription(const std::string& description, LinkHandle& handle) {
  std::string name = description;  // the library reads a NUL-terminated text
  return api_->openEx(name.data(), kByDescription, &handle);
}
LinkStatus D2xxLibrary::reset(LinkHandle h) { return api_->resetDevice(h); }
LinkStatus D2xxLibrary::purge(LinkHandle h, std::uint32_t mask) { return api_->purge(h, mask); }
LinkStatus D2xxLibrary::setBaudRate(LinkHandle h, std::uint32_t baud) { return api_->setBaudRate(h, baud); }
LinkStatus D2xxLibrary::setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  return api_->setDataCharacteristics(h, w, s, p);
}
LinkStatus D2xxLibrary::setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) {
  return api_->setFlowControl(h, flow, xon, xoff);
}
LinkStatus D2xxLibrary::setDtr(LinkHandle h) { return api_->setDtr(h); }
LinkStatus D2xxLibrary::clrDtr(LinkHandle h) { return api_->clrDtr(h); }
LinkStatus D2xxLibrary::setRts(LinkHandle h) { return api_->setRts(h); }
LinkStatus D2xxLibrary::clrRts(LinkHandle h) { return api_->clrRts(h); }
LinkStatus D2xxLibrary::write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) {
  DWORD n = 0;
  LinkStatus s = api_->write(h, const_cast<std::uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()), &n);
  written = n;
  return s;
}
LinkStatus D2xxLibrary::queueStatus(LinkHandle h, std::uint32_t& rxBytes) {
  DWORD n = 0;
  LinkStatus s = api_->getQueueStatus(h, &n);
  rxBytes = n;
  return s;
}
LinkStatus D2xxLibrary::read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) {
  DWORD n = 0;
  LinkStatus s = api_->read(h, buffer.data(), static_cast<DWORD>(buffer.size()), &n);
  got = n;
  return s;
}
LinkStatus D2xxLibrary::close(LinkHandle h) { return api_->close(h); }

}  // namespace tavrin
