// Stand-in libftdi1: the calls the ftdi backend makes, with the signatures
// ftdi.h (libftdi1 1.5) declares, answered by the simulated drive board, an
// FT232R (vendor 0x0403, product 0x6001) on a bus of its own. Return codes and
// error strings are libftdi1's. Built twice: as 1.5 (ftdi_tc*flush), and with
// STANDIN_OLD_LIBFTDI as a libftdi1 older than 1.5 that has only the
// deprecated ftdi_usb_purge_buffers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "standin_board.h"

using tavrin::LinkStatus;
namespace ft = tavrin::ft;
using standin::board;

// ---- libftdi1's types ----

// The library's own context. Its head is public in ftdi.h and programs set
// the timeouts there; the rest is the stand-in's own.
struct ftdi_context {
  void* usb_ctx = nullptr;
  void* usb_dev = nullptr;
  int usb_read_timeout = 5000;
  int usb_write_timeout = 5000;
  tavrin::LinkHandle handle = nullptr;  // the board's, while a device is open
  bool open = false;
  std::string error;  // ftdi_get_error_string
};
struct libusb_device;  // the one device is a token, never looked into
// As ftdi.h documents it.
struct ftdi_device_list {
  ftdi_device_list* next;
  libusb_device* dev;
};

namespace {

constexpr int kVendor = 0x0403, kProduct = 0x6001;
char theDevice;
libusb_device* const kDevice = reinterpret_cast<libusb_device*>(&theDevice);

// The calls as the library received them, one line each: "CALL ARGS -> RESULT".
std::ostringstream calls;
std::string callsText;
// A USB-level trouble the simulated board has no fault for: "no-libusb"
// (ftdi_new fails), "access" (libusb_open fails), "permission", "driver" and
// "config" (the open fails the ways libftdi1 words them); "nak", a chip that
// answers a read only when data has come, as QEMU's emulated FT232 does (a
// real one sends its two status bytes every latency period): a call that finds
// fewer bytes than it asks for waits out usb_read_timeout and fails with
// LIBUSB_ERROR_TIMEOUT, losing the bytes it had, as libftdi1 1.5 does.
std::string usbFault;
// Contexts and list nodes not freed yet.
int live = 0;

int logged(int r, const std::string& line) {
  calls << line << " -> " << r << '\n';
  return r;
}
int error(ftdi_context* ftdi, int code, const char* text, const std::string& line) {
  if (ftdi) ftdi->error = text;
  return logged(code, line);
}

// A call on the open device: the board's status as libftdi1's codes, `failed`
// for a call that failed on the device, `unavailable` without one.
template <class Call>
int answer(ftdi_context* ftdi, const std::string& line, int failed, const char* failText, int unavailable, Call call) {
  if (!ftdi || !ftdi->open) return error(ftdi, unavailable, "USB device unavailable", line);
  LinkStatus s = call(ftdi);
  if (s == ft::OK) return logged(0, line);
  if (s == ft::INVALID_HANDLE) return error(ftdi, unavailable, "USB device unavailable", line);
  return error(ftdi, failed, failText, line);
}

// libusb_get_string_descriptor_ascii: at most len - 1 characters and a NUL.
void copyAscii(char* buf, int len, const std::string& text) {
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(len - 1));
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
}

std::string hex(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v) & 0xFFFFu);
  return buf;
}

}  // namespace

void standin::onReset() {
  calls.str("");
  usbFault.clear();
}

// ---- test hooks ----

STANDIN_EXPORT const char* TavrinStandIn_FtdiCalls() {
  callsText = calls.str();
  return callsText.c_str();
}
STANDIN_EXPORT void TavrinStandIn_FtdiUsbFault(const char* fault) { usbFault = fault ? fault : ""; }
STANDIN_EXPORT int TavrinStandIn_FtdiLive() { return live; }

// ---- libftdi1's calls ----

STANDIN_EXPORT ftdi_context* ftdi_new() {
  if (usbFault == "no-libusb") {
    logged(0, "ftdi_new (null)");
    return nullptr;
  }
  logged(0, "ftdi_new");
  ++live;
  return new ftdi_context;
}

STANDIN_EXPORT void ftdi_free(ftdi_context* ftdi) {
  logged(0, "ftdi_free");
  if (!ftdi) return;
  --live;
  delete ftdi;
}

STANDIN_EXPORT int ftdi_usb_find_all(ftdi_context* ftdi, ftdi_device_list** devlist, int vendor, int product) {
  const std::string line = "ftdi_usb_find_all " + hex(vendor) + " " + hex(product);
  if (!ftdi || !devlist) return logged(-1, line);
  *devlist = nullptr;
  if (vendor != kVendor || product != kProduct) return logged(0, line);
  std::uint32_t n = 0;
  if (board().deviceCount(n) != ft::OK) return error(ftdi, -5, "libusb_get_device_list() failed", line);
  if (n == 0) return logged(0, line);
  *devlist = new ftdi_device_list{nullptr, kDevice};
  ++live;
  return logged(1, line);
}

STANDIN_EXPORT void ftdi_list_free(ftdi_device_list** devlist) {
  logged(0, "ftdi_list_free");
  if (!devlist) return;
  for (ftdi_device_list* node = *devlist; node;) {
    ftdi_device_list* next = node->next;
    delete node;
    --live;
    node = next;
  }
  *devlist = nullptr;
}

STANDIN_EXPORT int ftdi_usb_get_strings(ftdi_context* ftdi, libusb_device* dev, char* /*manufacturer*/, int /*mnf_len*/,
                                        char* description, int desc_len, char* serial, int serial_len) {
  // The backend never asks for the manufacturer.
  const std::string line = std::string("ftdi_usb_get_strings") + (description ? " description" : " serial");
  if (!ftdi || !dev) return error(ftdi, -1, "wrong arguments", line);
  if (dev != kDevice || usbFault == "access") return error(ftdi, -4, "libusb_open() failed", line);
  std::string text;
  if (description) {
    LinkStatus s = board().deviceDescription(0, text);
    if (s == ft::IO_ERROR) return error(ftdi, -8, "unable to fetch product description", line);
    if (s != ft::OK) return error(ftdi, -4, "libusb_open() failed", line);
    copyAscii(description, desc_len, text);
  }
  if (serial) {
    LinkStatus s = board().deviceSerial(0, text);
    if (s == ft::IO_ERROR) return error(ftdi, -9, "unable to fetch serial number", line);
    if (s != ft::OK) return error(ftdi, -4, "libusb_open() failed", line);
    copyAscii(serial, serial_len, text);
  }
  return logged(0, line);
}

STANDIN_EXPORT int ftdi_usb_open_desc(ftdi_context* ftdi, int vendor, int product, const char* description,
                                      const char* serial) {
  const std::string line = "ftdi_usb_open_desc " + hex(vendor) + " " + hex(product) + " \"" +
                           (description ? description : "(null)") + "\"" + (serial ? " serial" : "");
  if (!ftdi) return logged(-11, line);
  if (vendor != kVendor || product != kProduct) return error(ftdi, -3, "device not found", line);
  if (usbFault == "access") return error(ftdi, -4, "libusb_open() failed", line);
  if (usbFault == "permission") return error(ftdi, -8, "inappropriate permissions on device!", line);
  if (usbFault == "driver")
    return error(ftdi, -5, "unable to claim usb device. Make sure the default FTDI driver is not in use", line);
  if (usbFault == "config")
    return error(ftdi, -3, "unable to set usb configuration. Make sure the default FTDI driver is not in use",
                 line);
  tavrin::LinkHandle h = nullptr;
  LinkStatus s = board().openByDescription(description ? description : "", h);
  if (s == ft::DEVICE_NOT_FOUND) return error(ftdi, -3, "device not found", line);
  if (s != ft::OK) return error(ftdi, -4, "libusb_open() failed", line);
  ftdi->handle = h;
  ftdi->open = true;
  return logged(0, line);
}

STANDIN_EXPORT int ftdi_set_latency_timer(ftdi_context* ftdi, unsigned char latency) {
  return answer(ftdi, "ftdi_set_latency_timer " + std::to_string(latency), -1, "", -3,
                [](ftdi_context*) { return LinkStatus{ft::OK}; });
}

STANDIN_EXPORT int ftdi_usb_reset(ftdi_context* ftdi) {
  return answer(ftdi, "ftdi_usb_reset", -1, "FTDI reset failed", -2,
                [](ftdi_context* f) { return board().reset(f->handle); });
}

#ifndef STANDIN_OLD_LIBFTDI
STANDIN_EXPORT int ftdi_tcioflush(ftdi_context* ftdi) {
  return answer(ftdi, "ftdi_tcioflush", -1, "FTDI purge of RX buffer failed", -3,
                [](ftdi_context* f) { return board().purge(f->handle, ft::PURGE_RX | ft::PURGE_TX); });
}
STANDIN_EXPORT int ftdi_tciflush(ftdi_context* ftdi) {
  return answer(ftdi, "ftdi_tciflush", -1, "FTDI purge of RX buffer failed", -2,
                [](ftdi_context* f) { return board().purge(f->handle, ft::PURGE_RX); });
}
STANDIN_EXPORT int ftdi_tcoflush(ftdi_context* ftdi) {
  return answer(ftdi, "ftdi_tcoflush", -1, "FTDI purge of TX buffer failed", -2,
                [](ftdi_context* f) { return board().purge(f->handle, ft::PURGE_TX); });
}
#endif

// Deprecated since 1.5, and there in every version.
STANDIN_EXPORT int ftdi_usb_purge_buffers(ftdi_context* ftdi) {
  return answer(ftdi, "ftdi_usb_purge_buffers", -1, "FTDI purge of RX buffer failed", -3,
                [](ftdi_context* f) { return board().purge(f->handle, ft::PURGE_RX | ft::PURGE_TX); });
}

STANDIN_EXPORT int ftdi_set_baudrate(ftdi_context* ftdi, int baudrate) {
  const std::string line = "ftdi_set_baudrate " + std::to_string(baudrate);
  if (!ftdi || !ftdi->open) return error(ftdi, -3, "USB device unavailable", line);
  LinkStatus s = board().setBaudRate(ftdi->handle, static_cast<std::uint32_t>(baudrate));
  if (s == ft::OK) return logged(0, line);
  if (s == ft::INVALID_PARAMETER) return error(ftdi, -1, "Unsupported baudrate.", line);
  if (s == ft::INVALID_HANDLE) return error(ftdi, -3, "USB device unavailable", line);
  return error(ftdi, -2, "Setting new baudrate failed", line);
}

STANDIN_EXPORT int ftdi_set_line_property(ftdi_context* ftdi, int bits, int sbit, int parity) {
  return answer(ftdi, "ftdi_set_line_property " + std::to_string(bits) + " " + std::to_string(sbit) + " " +
                          std::to_string(parity),
                -1, "Setting new line property failed", -2, [&](ftdi_context* f) {
                  return board().setDataCharacteristics(f->handle, static_cast<std::uint8_t>(bits),
                                                        static_cast<std::uint8_t>(sbit),
                                                        static_cast<std::uint8_t>(parity));
                });
}

STANDIN_EXPORT int ftdi_setflowctrl(ftdi_context* ftdi, int flowctrl) {
  return answer(ftdi, "ftdi_setflowctrl " + hex(flowctrl), -1, "set flow control failed", -2, [&](ftdi_context* f) {
    return board().setFlowControl(f->handle, static_cast<std::uint16_t>(flowctrl), 0, 0);
  });
}

STANDIN_EXPORT int ftdi_setdtr(ftdi_context* ftdi, int state) {
  return answer(ftdi, "ftdi_setdtr " + std::to_string(state), -1, "set dtr failed", -2,
                [&](ftdi_context* f) { return state ? board().setDtr(f->handle) : board().clrDtr(f->handle); });
}

STANDIN_EXPORT int ftdi_setrts(ftdi_context* ftdi, int state) {
  return answer(ftdi, "ftdi_setrts " + std::to_string(state), -1, "set of rts failed", -2,
                [&](ftdi_context* f) { return state ? board().setRts(f->handle) : board().clrRts(f->handle); });
}

STANDIN_EXPORT int ftdi_write_data(ftdi_context* ftdi, const unsigned char* buf, int size) {
  std::string line = "ftdi_write_data " + std::to_string(size);
  if (buf && size > 0) line += " " + tavrin::hexBytes(buf, static_cast<std::size_t>(size));
  if (!ftdi || !ftdi->open) return error(ftdi, -666, "USB device unavailable", line);
  std::uint32_t written = 0;
  LinkStatus s = board().write(ftdi->handle, {buf, static_cast<std::size_t>(size)}, written);
  if (s == ft::OK) return logged(static_cast<int>(written), line);
  if (s == ft::INVALID_HANDLE) return error(ftdi, -666, "USB device unavailable", line);
  // A device that is gone: LIBUSB_ERROR_NO_DEVICE; else LIBUSB_ERROR_IO.
  return error(ftdi, s == ft::DEVICE_NOT_FOUND ? -4 : -1, "usb bulk write failed", line);
}

STANDIN_EXPORT int ftdi_read_data(ftdi_context* ftdi, unsigned char* buf, int size) {
  std::string line = "ftdi_read_data " + std::to_string(size);
  if (!ftdi || !ftdi->open) return error(ftdi, -666, "USB device unavailable", line);
  std::uint32_t got = 0;
  LinkStatus s = board().read(ftdi->handle, {buf, static_cast<std::size_t>(size)}, got);
  if (s == ft::INVALID_HANDLE) return error(ftdi, -666, "USB device unavailable", line);
  if (s != ft::OK) return error(ftdi, s == ft::DEVICE_NOT_FOUND ? -4 : -1, "usb bulk read failed", line);
  if (usbFault == "nak" && got < static_cast<std::uint32_t>(size)) {
    // libftdi1 reads the chip again for the rest, the chip does not answer,
    // and the call fails: what it had received is lost.
    return error(ftdi, -7, "usb bulk read failed",
                 line + " (waited " + std::to_string(ftdi->usb_read_timeout) + " ms, " + std::to_string(got) +
                     " bytes lost)");
  }
  if (got) line += " " + tavrin::hexBytes(buf, got);
  return logged(static_cast<int>(got), line);
}

STANDIN_EXPORT int ftdi_usb_close(ftdi_context* ftdi) {
  if (!ftdi) return logged(-3, "ftdi_usb_close");
  if (!ftdi->open) return logged(0, "ftdi_usb_close");
  ftdi->open = false;
  LinkStatus s = board().close(ftdi->handle);
  ftdi->handle = nullptr;
  if (s != ft::OK) return error(ftdi, -1, "usb_release failed", "ftdi_usb_close");
  return logged(0, "ftdi_usb_close");
}

STANDIN_EXPORT const char* ftdi_get_error_string(ftdi_context* ftdi) { return ftdi ? ftdi->error.c_str() : ""; }
