// libftdi1 (open source, over libusb), loaded at run time (libftdi1.so.2), as a
// link backend. It needs no vendor library and no manual unbinding of the
// kernel's ftdi_sio driver: libftdi1 detaches it when it opens the device.
//
// Each operation maps to libftdi1 calls, and libftdi1's negative return codes
// to the link's statuses (a failed call never reports ft::OK):
//   deviceCount        ftdi_usb_find_all for vendor 0x0403 and each of the
//                      products 0x6001, 0x6010, 0x6011, 0x6014, 0x6015; the list
//                      is kept for the two calls below
//   deviceSerial,      ftdi_usb_get_strings of the listed device (it opens the
//   deviceDescription  device for a moment, claims nothing, detaches nothing)
//   openByDescription  ftdi_usb_open_desc (vendor 0x0403, each product in turn),
//                      then ftdi_set_latency_timer 1 ms so a read that finds
//                      nothing comes back at once
//   reset              ftdi_usb_reset
//   purge              ftdi_tcioflush (both), ftdi_tciflush, ftdi_tcoflush; a
//                      libftdi1 older than 1.5 lacks them and gets the
//                      deprecated ftdi_usb_purge_buffers (both directions only)
//   setBaudRate        ftdi_set_baudrate
//   setDataCharacteristics  ftdi_set_line_property (the D2XX values are
//                      libftdi1's: 8/7 bits, stop 0/1/2, parity 0..4)
//   setFlowControl     ftdi_setflowctrl (none, RTS/CTS, DTR/DSR)
//   setDtr, clrDtr     ftdi_setdtr 1 / 0
//   setRts, clrRts     ftdi_setrts 1 / 0
//   write              ftdi_write_data
//   queueStatus        ftdi_read_data into the backend's own buffer until a
//                      read comes back short (never waits: a read returns within
//                      the latency timer), then the buffer's size
//   read               served from that buffer, topped up the same way first
//   close              ftdi_usb_close, then ftdi_free of the device's context
// Every struct of libftdi1 is opaque here but its device list, the documented
// two-pointer node {next, dev} that has no accessor call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/loaded_library.h"

namespace tavrin {

class FtdiLibrary : public Link {
 public:
  // Loads the library and its calls. On failure returns null and says why in
  // `error` (library not found, or which call it lacks).
  static std::unique_ptr<FtdiLibrary> load(const std::string& path, std::string& error);
  static std::string defaultPath();
  ~FtdiLibrary() override;

  TAVRIN_LINK_OPERATIONS_OVERRIDDEN

  // Why the latest operation that failed failed, in words: libftdi1's own
  // message and code, and what it means where that can be told: no permission
  // on the USB device, a kernel driver that holds the device and could not be
  // detached, no FTDI device on the bus. Also set when the device count is 0.
  // Empty until something has failed.
  std::string lastProblem() const override { return problem_; }
  // Purging uses the deprecated ftdi_usb_purge_buffers (a libftdi1 older than
  // 1.5, which has no ftdi_tcioflush).
  bool purgesWithDeprecatedCall() const;

  // The USB ids looked for: vendor 0x0403 and these products.
  static constexpr int kVendor = 0x0403;
  static constexpr int kProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
  // The latency timer set at open, in ms (libftdi1 takes 1..255; the chip's
  // default is 16).
  static constexpr unsigned char kLatencyMs = 1;
  // How long one bulk read may wait for the chip, in ms (libftdi1's default is
  // 5000). A real chip answers every read within its latency timer, with two
  // status bytes when nothing came; a chip that answers nothing at all until
  // data comes (QEMU's emulated FT232 does so) would hold the program for the
  // whole default at every look for a reply the board never sends.
  static constexpr int kReadTimeoutMs = 20;

  struct Api;
  struct Device;

 private:
  FtdiLibrary(loaded::Module module, std::unique_ptr<Api> api);
  Device* find(LinkHandle h);
  LinkStatus list();
  void freeList();
  LinkStatus deviceText(std::uint32_t index, bool serial, std::string& text);
  // Reads what has arrived into the device's buffer; never waits for more.
  LinkStatus pull(Device& d);
  LinkStatus fail(LinkStatus s, const std::string& what);
  // A call on an open device that returns 0 on success and `unavailable` when
  // no device is open in its context.
  LinkStatus control(LinkHandle h, const char* call, int unavailable, const std::function<int(void*)>& run);
  std::string libraryMessage(void* ctx, int code) const;
  // The /dev/bus/usb node of a listed device when libusb tells it, else empty.
  std::string usbNode(void* dev) const;
  std::string openProblem(void* ctx, int code) const;

  loaded::Module module_;
  std::unique_ptr<Api> api_;
  void* listContext_ = nullptr;     // the ftdi_context the listing runs on
  std::vector<void*> listHeads_;    // one ftdi_device_list per product id
  std::vector<void*> devices_;      // their libusb devices, in listing order
  bool listed_ = false;
  std::vector<std::unique_ptr<Device>> open_;
  std::uintptr_t opened_ = 0;  // devices opened so far
  std::string problem_;
};

}  // namespace tavrin
