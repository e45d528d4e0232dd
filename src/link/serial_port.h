// A serial port as a link backend (--board serial --port PATH): /dev/ttyUSB0
// through the kernel's ftdi_sio driver, COM3 on Windows, or a pseudo-terminal
// to tavrin-simboard. POSIX termios on Linux and macOS, the Win32 comm API on
// Windows.
//
// The listing describes the one port given, as device 0: on Linux with the USB
// serial number and product string the system gives for it, else the port
// path. Opening clears DTR and RTS as the very first action (POSIX: the
// kernel raises both for a moment whenever a program opens a tty; DTR is the
// motor enable), then takes the port for itself (TIOCEXCL) and makes it raw.
// Reset has nothing to do; purge, baud rate, 8N1, no flow control, the two
// lines, write, queue status and read map to the port's own calls, and a
// failure never reports OK.
//
// A pseudo-terminal has no modem lines: the line operations then answer
// NOT_SUPPORTED, unless `inbandLines` sends them in the byte stream (see
// inband_lines.h; only for a pty to tavrin-simboard).
#pragma once

#include <string>
#include <vector>

#include "link/link.h"

namespace tavrin {

// What a description of a port opened by this backend says, for Info.
inline constexpr const char* kTtyPulseNotice = "opening a tty pulses DTR (the motor enable)";

class SerialPort : public Link {
 public:
  SerialPort(std::string path, bool inbandLines);
  ~SerialPort() override;  // closes a port still open
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  TAVRIN_LINK_OPERATIONS_OVERRIDDEN

  // How long DTR and RTS could have been up at the latest successful open: from
  // just before the open call to just after the call that cleared them returned,
  // in microseconds. Negative before the first open.
  double lastOpenPulseMicros() const { return pulseMicros_; }
  // False after opening a port without modem lines (a pseudo-terminal).
  bool hasModemLines() const { return modemLines_; }
  // The system's reason for the latest failure ("Permission denied" ...), or empty.
  const std::string& lastError() const { return error_; }
  std::string lastProblem() const override;

  // A serial port this machine has, for --list-boards.
  struct PortInfo {
    std::string path;
    std::string serial, product;  // the USB strings, where the system gives them
    std::string vendor;           // the USB vendor id ("0403" for FTDI), where known
  };
  struct PortScan {
    std::vector<PortInfo> ports;  // those this user may open
    std::string whyNone;          // when `ports` is empty
  };
  // Linux: /dev/ttyUSB* and /dev/ttyACM*; macOS: /dev/cu.usbserial* and
  // /dev/cu.usbmodem*; Windows: COM1..COM256. `extra` (the --port given, if
  // any) is looked at too.
  static PortScan scan(const std::string& extra);
  // The USB serial number and product string of a port, where the system gives them.
  static PortInfo describe(const std::string& path);

 private:
  bool isOpen(LinkHandle h) const;
  LinkStatus line(LinkHandle h, bool dtr, bool on);
  LinkStatus inbandLine(bool dtr, bool on);
  LinkStatus writeAll(const std::uint8_t* data, std::size_t n, std::size_t& sent);
  std::string description() const;

  std::string path_;
  bool inband_;
  bool modemLines_ = true;
  double pulseMicros_ = -1;
  // The open's handle: a small number counting the opens, not an address, so
  // a window dump is the same on every run; an earlier open's is refused.
  std::uintptr_t opens_ = 0;
  LinkHandle handle_ = nullptr;
  std::string error_;
#ifdef _WIN32
  void* port_ = nullptr;  // the HANDLE, null when closed
#else
  int fd_ = -1;
#endif
};

}  // namespace tavrin
