#include "link/ftdi_library.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>

#include "link/loaded_library.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tavrin {

// The calls as libftdi1's header (ftdi.h, 1.x) declares them. A struct
// ftdi_context or libusb_device is only ever a pointer here; the enums of
// ftdi_set_line_property are passed as the ints they are.
namespace {
// struct ftdi_device_list, as ftdi.h documents it: the list ftdi_usb_find_all
// returns has no accessor call, so its node is the one layout relied on. It
// has been these two pointers since libftdi 0.x.
struct DeviceListNode {
  DeviceListNode* next;
  void* dev;  // struct libusb_device*
};

// The head of struct ftdi_context, public in ftdi.h from libftdi1 1.0 to 1.5:
// libusb's context and device handle, then the bulk read and write timeouts
// in ms. There is no call to set the read timeout; programs set the field.
struct ContextHead {
  void* usbContext;
  void* usbDevice;
  int usbReadTimeout;
  int usbWriteTimeout;
};

using Context = void*;  // struct ftdi_context*
using NewFn = Context (*)();
using FreeFn = void (*)(Context);
using FindAllFn = int (*)(Context, DeviceListNode**, int, int);
using ListFreeFn = void (*)(DeviceListNode**);
using GetStringsFn = int (*)(Context, void*, char*, int, char*, int, char*, int);
using OpenDescFn = int (*)(Context, int, int, const char*, const char*);
using ContextFn = int (*)(Context);
using IntFn = int (*)(Context, int);
using LineFn = int (*)(Context, int, int, int);
using LatencyFn = int (*)(Context, unsigned char);
using WriteFn = int (*)(Context, const unsigned char*, int);
using ReadFn = int (*)(Context, unsigned char*, int);
using ErrorStringFn = const char* (*)(Context);
// libusb's, reached through libftdi1's own dependency where it is there, only
// to name a device's node for a permission message.
using UsbByteFn = std::uint8_t (*)(void*);
}  // namespace

struct FtdiLibrary::Api {
  NewFn newContext;
  FreeFn freeContext;
  FindAllFn findAll;
  ListFreeFn listFree;
  GetStringsFn getStrings;
  OpenDescFn openDesc;
  ContextFn usbReset;
  ContextFn tcioflush, tciflush, tcoflush;  // libftdi1 1.5 and later
  ContextFn purgeBuffers;                   // older: deprecated since 1.5
  IntFn setBaudrate;
  LineFn setLineProperty;
  IntFn setFlowctrl;
  IntFn setDtr, setRts;
  WriteFn write;
  ReadFn read;
  ContextFn usbClose;
  ErrorStringFn errorString;
  LatencyFn setLatencyTimer;
  UsbByteFn busNumber, deviceAddress;  // may be null
};

struct FtdiLibrary::Device {
  Context ctx;
  LinkHandle handle;             // the program's token for it: 1, 2 ... in the order of opening
  std::vector<std::uint8_t> rx;  // received, not read by the program yet
};

std::string FtdiLibrary::defaultPath() {
#ifdef _WIN32
  return "libftdi1.dll";
#elif defined(__APPLE__)
  return "libftdi1.2.dylib";
#else
  return "libftdi1.so.2";
#endif
}

FtdiLibrary::FtdiLibrary(loaded::Module module, std::unique_ptr<Api> api)
    : module_(std::move(module)), api_(std::move(api)) {}

std::unique_ptr<FtdiLibrary> FtdiLibrary::load(const std::string& path, std::string& error) {
  auto api = std::make_unique<Api>();
  loaded::Module module = loaded::openWithCalls(path, error, [&api](loaded::Calls& c) {
    c.need(api->newContext, "ftdi_new");
    c.need(api->freeContext, "ftdi_free");
    c.need(api->findAll, "ftdi_usb_find_all");
    c.need(api->listFree, "ftdi_list_free");
    c.need(api->getStrings, "ftdi_usb_get_strings");
    c.need(api->openDesc, "ftdi_usb_open_desc");
    c.need(api->usbReset, "ftdi_usb_reset");
    c.find(api->tcioflush, "ftdi_tcioflush");
    c.find(api->tciflush, "ftdi_tciflush");
    c.find(api->tcoflush, "ftdi_tcoflush");
    if (!api->tcioflush || !api->tciflush || !api->tcoflush) {
      // A libftdi1 older than 1.5: its one purge of both buffers.
      api->tcioflush = api->tciflush = api->tcoflush = nullptr;
      if (!c.find(api->purgeBuffers, "ftdi_usb_purge_buffers")) c.lack("ftdi_tcioflush");
    }
    c.need(api->setBaudrate, "ftdi_set_baudrate");
    c.need(api->setLineProperty, "ftdi_set_line_property");
    c.need(api->setFlowctrl, "ftdi_setflowctrl");
    c.need(api->setDtr, "ftdi_setdtr");
    c.need(api->setRts, "ftdi_setrts");
    c.need(api->write, "ftdi_write_data");
    c.need(api->read, "ftdi_read_data");
    c.need(api->usbClose, "ftdi_usb_close");
    c.need(api->errorString, "ftdi_get_error_string");
    c.need(api->setLatencyTimer, "ftdi_set_latency_timer");
    c.find(api->busNumber, "libusb_get_bus_number");
    c.find(api->deviceAddress, "libusb_get_device_address");
  });
  if (!module) return nullptr;
  return std::unique_ptr<FtdiLibrary>(new FtdiLibrary(std::move(module), std::move(api)));
}

FtdiLibrary::~FtdiLibrary() {
  if (api_) {
    for (auto& d : open_) {
      api_->usbClose(d->ctx);
      api_->freeContext(d->ctx);
    }
    open_.clear();
    freeList();
    if (listContext_) api_->freeContext(listContext_);
  }
}

bool FtdiLibrary::purgesWithDeprecatedCall() const { return api_->purgeBuffers != nullptr; }

// ---- what went wrong, in words ----

namespace {
constexpr const char* kNoDevice =
    "no FTDI device on the USB bus (vendor 0403, product 6001, 6010, 6011, 6014 or 6015)";
constexpr const char* kNoContext = "libftdi1 could not start: ftdi_new failed (libusb could not be initialised)";

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The node exists and this user may not read and write it.
bool noPermission(const std::string& node) {
#ifdef _WIN32
  (void)node;
  return false;
#else
  return !node.empty() && ::access(node.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
#endif
}

// A text a call wrote into a buffer of `size` bytes: up to its NUL, and kept
// whole (never read past) when it fills the buffer.
std::string cutAtNul(const char* buf, std::size_t size) { return std::string(buf, strnlen(buf, size)); }
}  // namespace

LinkStatus FtdiLibrary::fail(LinkStatus s, const std::string& what) {
  problem_ = what;
  return s;
}

std::string FtdiLibrary::libraryMessage(void* ctx, int code) const {
  const char* m = ctx ? api_->errorString(ctx) : nullptr;
  return "libftdi1: " + std::string(m && *m ? m : "no message") + " (" + std::to_string(code) + ")";
}

std::string FtdiLibrary::usbNode(void* dev) const {
  if (!dev || !api_->busNumber || !api_->deviceAddress) return {};
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", unsigned{api_->busNumber(dev)},
                unsigned{api_->deviceAddress(dev)});
  return node;
}

// Why ftdi_usb_open_desc failed. Its codes overlap (-3 is "device not found"
// and "unable to set usb configuration", -8 "unable to fetch product
// description" and "inappropriate permissions on device!"), so its message
// tells.
std::string FtdiLibrary::openProblem(void* ctx, int code) const {
  const std::string message = libraryMessage(ctx, code);
  if (contains(message, "permission")) return "no permission on the USB device (" + message + ")";
  if (contains(message, "default FTDI driver") || contains(message, "detach") || code == -11)
    return "a kernel driver (ftdi_sio) holds the USB device and could not be detached (" + message + ")";
  if (code == -4) {
    // libusb_open failed: on Linux almost always the device node's permission.
    for (void* dev : devices_) {
      std::string node = usbNode(dev);
      if (noPermission(node)) return "no permission on the USB device " + node + " (" + message + ")";
    }
    return "the USB device could not be opened, most likely for want of permission on it (" + message + ")";
  }
  return "the device could not be opened (" + message + ")";
}

// ---- finding the board ----

void FtdiLibrary::freeList() {
  for (void* head : listHeads_) {
    auto* list = static_cast<DeviceListNode*>(head);
    api_->listFree(&list);
  }
  listHeads_.clear();
  devices_.clear();
  listed_ = false;
}

LinkStatus FtdiLibrary::list() {
  freeList();
  if (!listContext_) listContext_ = api_->newContext();
  if (!listContext_) return fail(ft::OTHER_ERROR, kNoContext);
  for (int product : kProducts) {
    DeviceListNode* head = nullptr;
    const int r = api_->findAll(listContext_, &head, kVendor, product);
    if (head) listHeads_.push_back(head);
    if (r < 0) {
      std::string why = "the USB devices could not be listed (" + libraryMessage(listContext_, r) + ")";
      freeList();
      return fail(r == -3 ? ft::INSUFFICIENT_RESOURCES : ft::OTHER_ERROR, why);
    }
    for (DeviceListNode* node = head; node; node = node->next) devices_.push_back(node->dev);
  }
  listed_ = true;
  if (devices_.empty()) problem_ = kNoDevice;
  return ft::OK;
}

LinkStatus FtdiLibrary::deviceCount(std::uint32_t& count) {
  LinkStatus s = list();
  if (s == ft::OK) count = static_cast<std::uint32_t>(devices_.size());
  return s;
}

LinkStatus FtdiLibrary::deviceText(std::uint32_t index, bool serial, std::string& text) {
  if (!listed_) {
    LinkStatus s = list();
    if (s != ft::OK) return s;
  }
  if (index >= devices_.size())
    return fail(ft::DEVICE_NOT_FOUND, devices_.empty() ? std::string(kNoDevice)
                                                       : "no device " + std::to_string(index) + " (" +
                                                             std::to_string(devices_.size()) + " listed)");
  // The link's limits: a serial number of 16 characters, a description of 64,
  // each with its NUL.
  char buf[64 + 1] = {};
  const int size = serial ? 16 + 1 : 64 + 1;
  void* dev = devices_[index];
  const int r = serial ? api_->getStrings(listContext_, dev, nullptr, 0, nullptr, 0, buf, size)
                       : api_->getStrings(listContext_, dev, nullptr, 0, buf, size, nullptr, 0);
  if (r == 0) {
    text = cutAtNul(buf, static_cast<std::size_t>(size - 1));
    return ft::OK;
  }
  const std::string message = libraryMessage(listContext_, r);
  switch (r) {
    case -1:
      return fail(ft::INVALID_PARAMETER, message);
    case -4: {
      // ftdi_usb_get_strings opens the device for a moment; libusb_open fails
      // on a node this user may not open.
      const std::string node = usbNode(dev);
      if (noPermission(node)) return fail(ft::DEVICE_NOT_OPENED, "no permission on the USB device " + node);
      return fail(ft::DEVICE_NOT_OPENED,
                  "the USB device could not be opened, most likely for want of permission on it (" + message + ")");
    }
    case -7:
    case -8:
    case -9:
    case -11:
      return fail(ft::IO_ERROR, "the device's strings could not be read (" + message + ")");
    default:
      return fail(ft::OTHER_ERROR, message);
  }
}

LinkStatus FtdiLibrary::deviceSerial(std::uint32_t index, std::string& serial) {
  return deviceText(index, true, serial);
}
LinkStatus FtdiLibrary::deviceDescription(std::uint32_t index, std::string& description) {
  return deviceText(index, false, description);
}

LinkStatus FtdiLibrary::openByDescription(const std::string& description, LinkHandle& handle) {
  Context ctx = api_->newContext();
  if (!ctx) return fail(ft::OTHER_ERROR, kNoContext);
  int r = -3;
  for (int product : kProducts) {
    r = api_->openDesc(ctx, kVendor, product, description.c_str(), nullptr);
    // -3 is also "unable to set usb configuration": only "device not found"
    // sends the search on to the next product.
    if (!(r == -3 && contains(libraryMessage(ctx, r), "not found"))) break;
  }
  if (r != 0) {
    const bool notFound = r == -3 && contains(libraryMessage(ctx, r), "not found");
    std::string why = notFound ? "no FTDI device with the description \"" + description + "\""
                               : openProblem(ctx, r);
    api_->freeContext(ctx);
    return fail(notFound ? ft::DEVICE_NOT_FOUND : ft::DEVICE_NOT_OPENED, why);
  }
  // Reads that find nothing then come back after 1 ms instead of 16. The
  // device is open either way.
  const int lr = api_->setLatencyTimer(ctx, kLatencyMs);
  static_cast<ContextHead*>(ctx)->usbReadTimeout = kReadTimeoutMs;
  if (lr != 0) problem_ = "the latency timer stays at the chip's default (" + libraryMessage(ctx, lr) + ")";
  // A small number rather than an address, so a window dump is the same on every run.
  handle = reinterpret_cast<LinkHandle>(++opened_);
  open_.push_back(std::make_unique<Device>(Device{ctx, handle, {}}));
  return ft::OK;
}

FtdiLibrary::Device* FtdiLibrary::find(LinkHandle h) {
  if (!h) return nullptr;
  for (auto& d : open_)
    if (d->handle == h) return d.get();
  return nullptr;
}

// ---- setting it up ----

namespace {
// A control call's result: 0 is success; `unavailable` is the call's code for
// "USB device unavailable" (no device open in the context); any other negative
// code is the call failing on the device.
LinkStatus controlStatus(int r, int unavailable) {
  if (r == 0) return ft::OK;
  if (r == unavailable) return ft::DEVICE_NOT_OPENED;
  return r < 0 ? ft::IO_ERROR : ft::OTHER_ERROR;
}
}  // namespace

LinkStatus FtdiLibrary::control(LinkHandle h, const char* call, int unavailable,
                                 const std::function<int(void*)>& run) {
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  const int r = run(d->ctx);
  const LinkStatus s = controlStatus(r, unavailable);
  return s == ft::OK ? s : fail(s, std::string(call) + ": " + libraryMessage(d->ctx, r));
}

LinkStatus FtdiLibrary::reset(LinkHandle h) {
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  const int r = api_->usbReset(d->ctx);
  const LinkStatus s = controlStatus(r, -2);
  if (s != ft::OK) return fail(s, "ftdi_usb_reset: " + libraryMessage(d->ctx, r));
  d->rx.clear();  // as libftdi1 drops its own read buffer
  return ft::OK;
}

LinkStatus FtdiLibrary::purge(LinkHandle h, std::uint32_t mask) {
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  if (mask & ~(ft::PURGE_RX | ft::PURGE_TX))
    return fail(ft::INVALID_PARAMETER, "purge mask " + std::to_string(mask) + " has unknown bits");
  if (mask == 0) return ft::OK;
  const bool both = mask == (ft::PURGE_RX | ft::PURGE_TX);
  int r = 0, unavailable = 0;
  const char* call = nullptr;
  if (api_->purgeBuffers) {
    // The old calls' one-way purges had receive and transmit swapped (fixed
    // in 1.5 by the tc*flush calls): only the purge of both is trusted.
    if (!both) return fail(ft::NOT_SUPPORTED, "this libftdi1 (older than 1.5) purges both buffers only");
    call = "ftdi_usb_purge_buffers";
    r = api_->purgeBuffers(d->ctx);
    unavailable = -3;
  } else if (both) {
    call = "ftdi_tcioflush";
    r = api_->tcioflush(d->ctx);
    unavailable = -3;
  } else if (mask == ft::PURGE_RX) {
    call = "ftdi_tciflush";
    r = api_->tciflush(d->ctx);
    unavailable = -2;
  } else {
    call = "ftdi_tcoflush";
    r = api_->tcoflush(d->ctx);
    unavailable = -2;
  }
  const LinkStatus s = controlStatus(r, unavailable);
  if (s != ft::OK) return fail(s, std::string(call) + ": " + libraryMessage(d->ctx, r));
  if (mask & ft::PURGE_RX) d->rx.clear();
  return ft::OK;
}

LinkStatus FtdiLibrary::setBaudRate(LinkHandle h, std::uint32_t baud) {
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  if (baud == 0 || baud > INT_MAX) return fail(ft::INVALID_BAUD_RATE, "baud rate " + std::to_string(baud));
  const int r = api_->setBaudrate(d->ctx, static_cast<int>(baud));
  if (r == 0) return ft::OK;
  // -1 invalid baud rate, -2 setting it failed, -3 USB device unavailable.
  const LinkStatus s = r == -1 ? ft::INVALID_BAUD_RATE : controlStatus(r, -3);
  return fail(s, "ftdi_set_baudrate: " + libraryMessage(d->ctx, r));
}

LinkStatus FtdiLibrary::setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  // The D2XX values are libftdi1's: BITS_7/8 = 7/8, STOP_BIT_1/15/2 = 0/1/2,
  // NONE, ODD, EVEN, MARK, SPACE = 0..4.
  if (find(h) && ((w != 7 && w != 8) || s > 2 || p > 4))
    return fail(ft::INVALID_PARAMETER, "data characteristics " + std::to_string(w) + " " + std::to_string(s) +
                                           " " + std::to_string(p));
  return control(h, "ftdi_set_line_property", -2, [&](void* ctx) { return api_->setLineProperty(ctx, w, s, p); });
}

LinkStatus FtdiLibrary::setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t, std::uint8_t) {
  // FT_FLOW_NONE, RTS_CTS, DTR_DSR are libftdi1's SIO_DISABLE_FLOW_CTRL,
  // SIO_RTS_CTS_HS, SIO_DTR_DSR_HS (0, 0x100, 0x200); the XON and XOFF
  // characters serve only XON/XOFF, which this backend does not offer.
  if (find(h) && flow == 0x400) return fail(ft::NOT_SUPPORTED, "XON/XOFF flow control");
  if (find(h) && flow != 0 && flow != 0x100 && flow != 0x200)
    return fail(ft::INVALID_PARAMETER, "flow control " + std::to_string(flow));
  return control(h, "ftdi_setflowctrl", -2, [&](void* ctx) { return api_->setFlowctrl(ctx, flow); });
}

LinkStatus FtdiLibrary::setDtr(LinkHandle h) {
  return control(h, "ftdi_setdtr", -2, [this](void* ctx) { return api_->setDtr(ctx, 1); });
}
LinkStatus FtdiLibrary::clrDtr(LinkHandle h) {
  return control(h, "ftdi_setdtr", -2, [this](void* ctx) { return api_->setDtr(ctx, 0); });
}
LinkStatus FtdiLibrary::setRts(LinkHandle h) {
  return control(h, "ftdi_setrts", -2, [this](void* ctx) { return api_->setRts(ctx, 1); });
}
LinkStatus FtdiLibrary::clrRts(LinkHandle h) {
  return control(h, "ftdi_setrts", -2, [this](void* ctx) { return api_->setRts(ctx, 0); });
}

// ---- bytes ----

namespace {
// ftdi_read_data and ftdi_write_data return libusb's codes (a failed bulk
// transfer), or -666 when no device is open in the context.
constexpr int kUsbTimeout = -7;  // LIBUSB_ERROR_TIMEOUT
LinkStatus transferStatus(int r) {
  switch (r) {
    case -666: return ft::DEVICE_NOT_OPENED;
    case -4: return ft::DEVICE_NOT_FOUND;  // LIBUSB_ERROR_NO_DEVICE: unplugged
    case -2: return ft::INVALID_PARAMETER;  // LIBUSB_ERROR_INVALID_PARAM
    case -11: return ft::INSUFFICIENT_RESOURCES;  // LIBUSB_ERROR_NO_MEM
    default: return ft::IO_ERROR;  // I/O, pipe, overflow ...
  }
}

// A pull asks libftdi1 for one byte at a time, until it has none: a call that
// asks for more reads the chip again once what came is used up, and when that
// second read fails (a chip that answers nothing while it has nothing, as
// QEMU's emulated FT232 does, times out) libftdi1 drops the bytes the call had
// already received. One byte at a time, a call has nothing to lose: libftdi1
// keeps the rest of what the chip sent in its own buffer for the next calls.
// A pull stops after kPullLimit bytes, so a board that never stops talking
// cannot hold it; the buffer holds at most kBufferLimit, the rest waits in
// libftdi1 and the chip.
constexpr std::size_t kPullLimit = 4096;
constexpr std::size_t kBufferLimit = 65536;
}  // namespace

LinkStatus FtdiLibrary::write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) {
  written = 0;
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  if (bytes.size() > INT_MAX) return fail(ft::INVALID_PARAMETER, "a write of " + std::to_string(bytes.size()));
  const int r = api_->write(d->ctx, bytes.data(), static_cast<int>(bytes.size()));
  if (r < 0) return fail(transferStatus(r), "ftdi_write_data: " + libraryMessage(d->ctx, r));
  written = static_cast<std::uint32_t>(std::min<std::size_t>(static_cast<std::size_t>(r), bytes.size()));
  return ft::OK;
}

LinkStatus FtdiLibrary::pull(Device& d) {
  std::size_t pulled = 0;
  while (pulled < kPullLimit && d.rx.size() < kBufferLimit) {
    unsigned char byte = 0;
    const int r = api_->read(d.ctx, &byte, 1);
    if (r == 0 || r == kUsbTimeout) break;  // nothing more has arrived (yet)
    if (r < 0) return fail(transferStatus(r), "ftdi_read_data: " + libraryMessage(d.ctx, r));
    if (r > 1) return fail(ft::OTHER_ERROR, "ftdi_read_data returned " + std::to_string(r) + " bytes for 1");
    d.rx.push_back(byte);
    ++pulled;
  }
  return ft::OK;
}

LinkStatus FtdiLibrary::queueStatus(LinkHandle h, std::uint32_t& rxBytes) {
  rxBytes = 0;
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  LinkStatus s = pull(*d);
  if (s != ft::OK) return s;
  rxBytes = static_cast<std::uint32_t>(d->rx.size());
  return ft::OK;
}

LinkStatus FtdiLibrary::read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) {
  got = 0;
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  if (d->rx.size() < buffer.size()) {
    LinkStatus s = pull(*d);
    if (s != ft::OK) return s;
  }
  const std::size_t n = std::min(buffer.size(), d->rx.size());
  std::copy_n(d->rx.begin(), n, buffer.begin());
  d->rx.erase(d->rx.begin(), d->rx.begin() + static_cast<std::ptrdiff_t>(n));
  got = static_cast<std::uint32_t>(n);
  return ft::OK;
}

LinkStatus FtdiLibrary::close(LinkHandle h) {
  Device* d = find(h);
  if (!d) return ft::INVALID_HANDLE;
  const int r = api_->usbClose(d->ctx);
  // -1 "usb_release failed": libftdi1 has closed the device all the same.
  const std::string message = r == 0 ? std::string() : libraryMessage(d->ctx, r);
  api_->freeContext(d->ctx);
  open_.erase(std::find_if(open_.begin(), open_.end(), [d](const auto& p) { return p.get() == d; }));
  if (r == 0) return ft::OK;
  return fail(r == -1 ? ft::IO_ERROR : ft::OTHER_ERROR, "ftdi_usb_close: " + message);
}

}  // namespace tavrin
