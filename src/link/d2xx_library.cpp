#include "link/d2xx_library.h"

#ifdef _WIN32
#include <windows.h>
#define TAVRIN_FTAPI WINAPI
#else
#include <dlfcn.h>
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

namespace {
void* openModule(const std::string& path, std::string& error) {
#ifdef _WIN32
  HMODULE m = LoadLibraryA(path.c_str());
  if (!m) error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(m);
#else
  void* m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m) {
    const char* e = dlerror();
    error = "cannot load " + path + (e ? std::string(": ") + e : std::string());
  }
  return m;
#endif
}
void* symbol(void* module, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
#else
  return dlsym(module, name);
#endif
}
void closeModule(void* module) {
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(module));
#else
  dlclose(module);
#endif
}
}  // namespace

std::unique_ptr<D2xxLibrary> D2xxLibrary::load(const std::string& path, std::string& error) {
  void* module = openModule(path, error);
  if (!module) return nullptr;
  auto api = std::make_unique<Api>();
  std::string missing;
  auto get = [&](auto& fn, const char* name) {
    void* p = symbol(module, name);
    if (!p && missing.empty()) missing = name;
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
  };
  get(api->listDevices, "FT_ListDevices");
  get(api->openEx, "FT_OpenEx");
  get(api->resetDevice, "FT_ResetDevice");
  get(api->purge, "FT_Purge");
  get(api->setBaudRate, "FT_SetBaudRate");
  get(api->setDataCharacteristics, "FT_SetDataCharacteristics");
  get(api->setFlowControl, "FT_SetFlowControl");
  get(api->setDtr, "FT_SetDtr");
  get(api->clrDtr, "FT_ClrDtr");
  get(api->setRts, "FT_SetRts");
  get(api->clrRts, "FT_ClrRts");
  get(api->write, "FT_Write");
  get(api->getQueueStatus, "FT_GetQueueStatus");
  get(api->read, "FT_Read");
  get(api->close, "FT_Close");
  if (!missing.empty()) {
    error = path + " lacks " + missing;
    closeModule(module);
    return nullptr;
  }
  std::unique_ptr<D2xxLibrary> lib(new D2xxLibrary());
  lib->module_ = module;
  lib->api_ = std::move(api);
  return lib;
}

D2xxLibrary::~D2xxLibrary() {
  if (module_) closeModule(module_);
}

FtStatus D2xxLibrary::listDevices(void* a1, void* a2, std::uint32_t flags) { return api_->listDevices(a1, a2, flags); }
FtStatus D2xxLibrary::openEx(void* a1, std::uint32_t flags, FtHandle* h) { return api_->openEx(a1, flags, h); }
FtStatus D2xxLibrary::resetDevice(FtHandle h) { return api_->resetDevice(h); }
FtStatus D2xxLibrary::purge(FtHandle h, std::uint32_t mask) { return api_->purge(h, mask); }
FtStatus D2xxLibrary::setBaudRate(FtHandle h, std::uint32_t baud) { return api_->setBaudRate(h, baud); }
FtStatus D2xxLibrary::setDataCharacteristics(FtHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  return api_->setDataCharacteristics(h, w, s, p);
}
FtStatus D2xxLibrary::setFlowControl(FtHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) {
  return api_->setFlowControl(h, flow, xon, xoff);
}
FtStatus D2xxLibrary::setDtr(FtHandle h) { return api_->setDtr(h); }
FtStatus D2xxLibrary::clrDtr(FtHandle h) { return api_->clrDtr(h); }
FtStatus D2xxLibrary::setRts(FtHandle h) { return api_->setRts(h); }
FtStatus D2xxLibrary::clrRts(FtHandle h) { return api_->clrRts(h); }
FtStatus D2xxLibrary::write(FtHandle h, const void* b, std::uint32_t n, std::uint32_t* w) {
  return api_->write(h, const_cast<void*>(b), n, w);
}
FtStatus D2xxLibrary::getQueueStatus(FtHandle h, std::uint32_t* rx) { return api_->getQueueStatus(h, rx); }
FtStatus D2xxLibrary::read(FtHandle h, void* b, std::uint32_t n, std::uint32_t* r) { return api_->read(h, b, n, r); }
FtStatus D2xxLibrary::close(FtHandle h) { return api_->close(h); }

}  // namespace tavrin
