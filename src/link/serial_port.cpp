#include "link/serial_port.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "link/inband_lines.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#endif

namespace tavrin {

namespace {
// The D2XX flow-control value for none; the others are not offered here.
constexpr std::uint16_t kFlowNone = 0;
// A write waits at most this long for the port to take its bytes: a frame
// takes 10 ms at 19200 baud, so only a stuck port comes near it.
constexpr int kWriteTimeoutMs = 2000;

std::string withProduct(const std::string& product, const std::string& path) {
  return product.empty() ? path : product + " " + path;
}
}  // namespace

SerialPort::SerialPort(std::string path, bool inbandLines) : path_(std::move(path)), inband_(inbandLines) {}

std::string SerialPort::description() const {
  return withProduct(describe(path_).product, path_) + ": " + kTtyPulseNotice;
}

LinkStatus SerialPort::deviceSerial(std::uint32_t index, std::string& serial) {
  std::uint32_t count = 0;
  if (deviceCount(count) != ft::OK || index >= count) return ft::DEVICE_NOT_FOUND;
  serial = describe(path_).serial;
  return ft::OK;
}

LinkStatus SerialPort::deviceDescription(std::uint32_t index, std::string& text) {
  std::uint32_t count = 0;
  if (deviceCount(count) != ft::OK || index >= count) return ft::DEVICE_NOT_FOUND;
  text = description();
  return ft::OK;
}

LinkStatus SerialPort::reset(LinkHandle h) { return isOpen(h) ? ft::OK : ft::INVALID_HANDLE; }

LinkStatus SerialPort::setDtr(LinkHandle h) { return line(h, true, true); }
LinkStatus SerialPort::clrDtr(LinkHandle h) { return line(h, true, false); }
LinkStatus SerialPort::setRts(LinkHandle h) { return line(h, false, true); }
LinkStatus SerialPort::clrRts(LinkHandle h) { return line(h, false, false); }

LinkStatus SerialPort::write(LinkHandle h, std::span<const std::uint8_t> bytes, std::uint32_t& written) {
  written = 0;
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  std::size_t sent = 0;
  if (!inband_) {
    LinkStatus s = writeAll(bytes.data(), bytes.size(), sent);
    written = static_cast<std::uint32_t>(sent);
    return s;
  }
  std::vector<std::uint8_t> encoded = inband::encodeWrite(bytes);
  LinkStatus s = writeAll(encoded.data(), encoded.size(), sent);
  written = static_cast<std::uint32_t>(s == ft::OK ? bytes.size() : inband::dataBytesSent(bytes, sent));
  return s;
}

#ifndef _WIN32
// ---------------------------------------------------------------- POSIX ----

namespace {
double monotonicMicros() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

std::string readLine(const std::string& file) {
  std::ifstream in(file);
  std::string s;
  if (in) std::getline(in, s);
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string sysError(int e) { return std::strerror(e); }

// The group that owns a device node, or empty.
std::string groupOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  const struct group* g = ::getgrgid(st.st_gid);
  return g ? g->gr_name : "";
}

// What gives this user access to a port of group `owner`. Joining a group is
// the remedy only where it is one a user may join: a port of group root
// needs the udev rule instead.
std::string accessRemedy(const std::string& owner) {
  if (owner.empty() || owner == "root")
    return " (install the udev rule 70-tavrin-ftdi.rules, then unplug the board and plug it in)";
  return " (group " + owner + ": add yourself to it and log in again, or install the udev rule)";
}

// The tty's name under /sys/class/tty: the port path with its links resolved
// (/dev/serial/by-id/usb-FTDI... is a link to /dev/ttyUSB0).
std::string ttyName(const std::string& path) {
  char resolved[PATH_MAX];
  std::string real = ::realpath(path.c_str(), resolved) ? resolved : path;
  auto slash = real.rfind('/');
  return slash == std::string::npos ? real : real.substr(slash + 1);
}

struct BaudCode {
  std::uint32_t baud;
  speed_t code;
};
const BaudCode kBauds[] = {{300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
                           {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
                           {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
                           {460800, B460800},
#endif
#ifdef B921600
                           {921600, B921600},
#endif
};
}  // namespace

SerialPort::~SerialPort() {
  if (fd_ < 0) return;
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
}

bool SerialPort::isOpen(LinkHandle h) const { return fd_ >= 0 && h == handle_; }

std::string SerialPort::lastProblem() const {
  if (path_.empty()) return {};
  if (!exists(path_)) return "no such port " + path_;
  if (error_.empty()) return {};
  return path_ + ": " + error_ + (::access(path_.c_str(), R_OK | W_OK) != 0 ? accessRemedy(groupOf(path_)) : "");
}

SerialPort::PortInfo SerialPort::describe(const std::string& path) {
  PortInfo info;
  info.path = path;
#ifdef __linux__
  // The tty's device is the USB interface (ttyACM) or a port below it
  // (ttyUSB); the USB device that holds the strings is the first folder up
  // from there with an idVendor.
  std::string dir = "/sys/class/tty/" + ttyName(path) + "/device";
  char resolved[PATH_MAX];
  if (!::realpath(dir.c_str(), resolved)) return info;
  std::string at = resolved;
  for (int up = 0; up < 4 && at.size() > 1; ++up) {
    if (exists(at + "/idVendor")) {
      info.serial = readLine(at + "/serial");
      info.product = readLine(at + "/product");
      info.vendor = readLine(at + "/idVendor");
      break;
    }
    at = at.substr(0, at.rfind('/'));
  }
#endif
  return info;
}

LinkStatus SerialPort::deviceCount(std::uint32_t& count) {
  count = !path_.empty() && exists(path_) ? 1 : 0;
  return ft::OK;
}

LinkStatus SerialPort::openByDescription(const std::string& text, LinkHandle& handle) {
  if (fd_ >= 0) return ft::DEVICE_NOT_OPENED;  // one open at a time, as a chip
  if (text != description() && text != path_) return ft::DEVICE_NOT_FOUND;
  error_.clear();

  // The kernel raises DTR and RTS inside open(): clear them before anything else.
  const double before = monotonicMicros();
  int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    int e = errno;
    error_ = sysError(e);
    return e == ENOENT || e == ENXIO || e == ENODEV ? ft::DEVICE_NOT_FOUND : ft::DEVICE_NOT_OPENED;
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  int cleared = ::ioctl(fd, TIOCMBIC, &lines);
  const double after = monotonicMicros();
  int clearError = cleared == 0 ? 0 : errno;
  // ENOTTY and EINVAL: a port without modem lines (a pseudo-terminal).
  bool noLines = clearError == ENOTTY || clearError == EINVAL;
  auto refuse = [&](int e) {
    error_ = sysError(e);
    ::close(fd);
    return ft::DEVICE_NOT_OPENED;
  };
  if (clearError != 0 && !noLines) return refuse(clearError);
  if (::ioctl(fd, TIOCEXCL) != 0) return refuse(errno);

  termios t{};
  if (::tcgetattr(fd, &t) != 0) return refuse(errno);  // not a terminal at all
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD | HUPCL;  // HUPCL: the last close drops DTR, the motor enable
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return refuse(errno);

  fd_ = fd;
  modemLines_ = !noLines;
  pulseMicros_ = after - before;
  handle = handle_ = reinterpret_cast<LinkHandle>(++opens_);
  return ft::OK;
}

LinkStatus SerialPort::purge(LinkHandle h, std::uint32_t mask) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  bool rx = (mask & ft::PURGE_RX) != 0, tx = (mask & ft::PURGE_TX) != 0;
  if (!rx && !tx) return ft::OK;
  int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  if (::tcflush(fd_, which) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  return ft::OK;
}

LinkStatus SerialPort::setBaudRate(LinkHandle h, std::uint32_t baud) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  const auto* b = std::find_if(std::begin(kBauds), std::end(kBauds), [&](const BaudCode& c) { return c.baud == baud; });
  if (b == std::end(kBauds)) return ft::INVALID_BAUD_RATE;
  termios t{};
  if (::tcgetattr(fd_, &t) != 0 || ::cfsetispeed(&t, b->code) != 0 || ::cfsetospeed(&t, b->code) != 0 ||
      ::tcsetattr(fd_, TCSANOW, &t) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  return ft::OK;
}

LinkStatus SerialPort::setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  // The D2XX values: 7 or 8 bits; stop bits 0 (one) or 2 (two); parity 0
  // none, 1 odd, 2 even (mark and space are not offered here).
  if ((w != 7 && w != 8) || (s != 0 && s != 2) || p > 4) return ft::INVALID_PARAMETER;
  if (p > 2) return ft::NOT_SUPPORTED;
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
  t.c_cflag |= w == 8 ? CS8 : CS7;
  if (s == 2) t.c_cflag |= CSTOPB;
  if (p != 0) t.c_cflag |= PARENB;
  if (p == 1) t.c_cflag |= PARODD;
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  return ft::OK;
}

LinkStatus SerialPort::setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t, std::uint8_t) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  if (flow != kFlowNone) return ft::NOT_SUPPORTED;
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
#ifdef CRTSCTS
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  return ft::OK;
}

LinkStatus SerialPort::line(LinkHandle h, bool dtr, bool on) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  if (inband_) return inbandLine(dtr, on);
  if (!modemLines_) return ft::NOT_SUPPORTED;
  int bit = dtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
    int e = errno;
    error_ = sysError(e);
    return e == ENOTTY || e == EINVAL ? ft::NOT_SUPPORTED : ft::IO_ERROR;
  }
  return ft::OK;
}

LinkStatus SerialPort::writeAll(const std::uint8_t* data, std::size_t n, std::size_t& sent) {
  sent = 0;
  const double deadline = monotonicMicros() + kWriteTimeoutMs * 1000.0;
  while (sent < n) {
    ssize_t k = ::write(fd_, data + sent, n - sent);
    if (k > 0) {
      sent += static_cast<std::size_t>(k);
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = sysError(errno);
      return ft::IO_ERROR;
    }
    // The port's buffer is full: wait for room, but not for ever.
    double left = deadline - monotonicMicros();
    if (left <= 0) {
      error_ = "the port took no more bytes for " + std::to_string(kWriteTimeoutMs) + " ms";
      return ft::IO_ERROR;
    }
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left / 1000) + 1);
  }
  return ft::OK;
}

LinkStatus SerialPort::queueStatus(LinkHandle h, std::uint32_t& rxBytes) {
  rxBytes = 0;
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  rxBytes = static_cast<std::uint32_t>(std::max(n, 0));
  return ft::OK;
}

LinkStatus SerialPort::read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) {
  got = 0;
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  std::size_t n = 0;
  while (n < buffer.size()) {
    ssize_t k = ::read(fd_, buffer.data() + n, buffer.size() - n);
    if (k > 0) {
      n += static_cast<std::size_t>(k);
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    // 0 (raw mode, nothing there) and EAGAIN: all that has come is read.
    if (k == 0 || errno == EAGAIN || errno == EWOULDBLOCK) break;
    error_ = sysError(errno);
    got = static_cast<std::uint32_t>(n);
    return ft::IO_ERROR;
  }
  got = static_cast<std::uint32_t>(n);
  return ft::OK;
}

LinkStatus SerialPort::close(LinkHandle h) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  // Gives the port back: on a pseudo-terminal whose other side stays open the
  // exclusive mark outlives the close and would keep the next open out.
  ::ioctl(fd_, TIOCNXCL);
  // A port hung up under us (a USB adapter unplugged): closing lets go of the
  // descriptor, not of a device, which is gone. Said so, as a chip's library
  // says it of a chip that was pulled out.
  pollfd p{fd_, 0, 0};
  const bool gone = ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
  int r = ::close(fd_);
  fd_ = -1;  // the descriptor is gone whatever close() said
  if (r != 0) {
    error_ = sysError(errno);
    return ft::IO_ERROR;
  }
  if (gone) {
    error_ = "the port had gone away (hung up: unplugged?)";
    return ft::DEVICE_NOT_FOUND;
  }
  return ft::OK;
}

SerialPort::PortScan SerialPort::scan(const std::string& extra) {
  PortScan out;
  std::vector<std::string> candidates;
#ifdef __APPLE__
  const char* prefixes[] = {"cu.usbserial", "cu.usbmodem"};
#else
  const char* prefixes[] = {"ttyUSB", "ttyACM"};
#endif
  if (DIR* d = ::opendir("/dev")) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      for (const char* p : prefixes)
        if (name.rfind(p, 0) == 0) candidates.push_back("/dev/" + name);
    }
    ::closedir(d);
  }
  std::sort(candidates.begin(), candidates.end());
  if (!extra.empty() && std::find(candidates.begin(), candidates.end(), extra) == candidates.end())
    candidates.push_back(extra);

  std::vector<std::string> denied;
  std::string missing;
  for (const auto& path : candidates) {
    if (!exists(path)) {
      missing = path;
      continue;
    }
    if (::access(path.c_str(), R_OK | W_OK) != 0) {
      denied.push_back(path);
      continue;
    }
    out.ports.push_back(describe(path));
  }
  if (!out.ports.empty()) return out;
  if (!denied.empty()) {
    const std::string owner = groupOf(denied.front());
    // Joining a group is the remedy only where the group is one a user may
    // join: a port of group root needs the udev rule instead.
    out.whyNone = "no permission on " + denied.front() + accessRemedy(owner);
    return out;
  }
#ifdef __APPLE__
  out.whyNone = "no serial ports (/dev/cu.usbserial*, /dev/cu.usbmodem*)";
#else
  out.whyNone = "no serial ports (/dev/ttyUSB*, /dev/ttyACM*): no FTDI chip plugged in, or ftdi_sio is not bound to it";
#endif
  if (!missing.empty()) out.whyNone += "; " + missing + " does not exist";
  return out;
}

#else
// -------------------------------------------------------------- Windows ----

namespace {
double monotonicMicros() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

std::string winError(DWORD e) {
  char buf[256] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, e, 0, buf,
                           sizeof buf, nullptr);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  return s.empty() ? "error " + std::to_string(e) : s;
}

// "COM3" or "\\.\COM3" -> "COM3"
std::string bareName(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path; }

bool portExists(const std::string& path) {
  char target[512];
  return QueryDosDeviceA(bareName(path).c_str(), target, sizeof target) != 0;
}
}  // namespace

SerialPort::~SerialPort() {
  if (port_) CloseHandle(static_cast<HANDLE>(port_));
}

bool SerialPort::isOpen(LinkHandle h) const { return port_ != nullptr && h == handle_; }

std::string SerialPort::lastProblem() const { return error_.empty() ? std::string() : path_ + ": " + error_; }

SerialPort::PortInfo SerialPort::describe(const std::string& path) {
  PortInfo info;
  info.path = path;  // the USB strings would need SetupAPI: not read here
  return info;
}

LinkStatus SerialPort::deviceCount(std::uint32_t& count) {
  count = !path_.empty() && portExists(path_) ? 1 : 0;
  return ft::OK;
}

LinkStatus SerialPort::openByDescription(const std::string& text, LinkHandle& handle) {
  if (port_) return ft::DEVICE_NOT_OPENED;
  if (text != description() && text != path_) return ft::DEVICE_NOT_FOUND;
  error_.clear();
  std::string name = "\\\\.\\" + bareName(path_);  // COM10 and up need the prefix
  const double before = monotonicMicros();
  HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    error_ = winError(e);
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ft::DEVICE_NOT_FOUND : ft::DEVICE_NOT_OPENED;
  }
  // Before anything else: DTR (the motor enable) and RTS held low.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool ok = GetCommState(port, &dcb) != 0;
  if (ok) {
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fAbortOnError = FALSE;
    ok = SetCommState(port, &dcb) != 0;
  }
  const double after = monotonicMicros();
  if (ok) ok = EscapeCommFunction(port, CLRDTR) != 0 && EscapeCommFunction(port, CLRRTS) != 0;
  // Reads return at once with what has come; a write gives up after a while.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  if (ok) ok = SetCommTimeouts(port, &timeouts) != 0;
  if (!ok) {
    error_ = winError(GetLastError());
    CloseHandle(port);
    return ft::DEVICE_NOT_OPENED;
  }
  port_ = port;
  modemLines_ = true;
  pulseMicros_ = after - before;
  handle = handle_ = reinterpret_cast<LinkHandle>(++opens_);
  return ft::OK;
}

LinkStatus SerialPort::purge(LinkHandle h, std::uint32_t mask) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  DWORD flags = 0;
  if (mask & ft::PURGE_RX) flags |= PURGE_RXCLEAR | PURGE_RXABORT;
  if (mask & ft::PURGE_TX) flags |= PURGE_TXCLEAR | PURGE_TXABORT;
  if (flags == 0) return ft::OK;
  if (!PurgeComm(static_cast<HANDLE>(port_), flags)) {
    error_ = winError(GetLastError());
    return ft::IO_ERROR;
  }
  return ft::OK;
}

namespace {
// Reads the DCB, lets `change` alter it, writes it back. INVALID_PARAMETER when
// the driver refuses the new settings.
template <typename Change>
LinkStatus changeDcb(void* port, std::string& error, Change change) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(static_cast<HANDLE>(port), &dcb)) {
    error = winError(GetLastError());
    return ft::IO_ERROR;
  }
  change(dcb);
  if (!SetCommState(static_cast<HANDLE>(port), &dcb)) {
    DWORD e = GetLastError();
    error = winError(e);
    return e == ERROR_INVALID_PARAMETER ? ft::INVALID_PARAMETER : ft::IO_ERROR;
  }
  return ft::OK;
}
}  // namespace

LinkStatus SerialPort::setBaudRate(LinkHandle h, std::uint32_t baud) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  if (baud == 0) return ft::INVALID_BAUD_RATE;
  LinkStatus s = changeDcb(port_, error_, [&](DCB& d) { d.BaudRate = baud; });
  return s == ft::INVALID_PARAMETER ? ft::INVALID_BAUD_RATE : s;
}

LinkStatus SerialPort::setDataCharacteristics(LinkHandle h, std::uint8_t w, std::uint8_t s, std::uint8_t p) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  // The D2XX values are Windows' own: ONESTOPBIT 0, TWOSTOPBITS 2; NOPARITY 0,
  // ODDPARITY 1, EVENPARITY 2, MARKPARITY 3, SPACEPARITY 4.
  if ((w != 7 && w != 8) || (s != 0 && s != 2) || p > 4) return ft::INVALID_PARAMETER;
  return changeDcb(port_, error_, [&](DCB& d) {
    d.ByteSize = w;
    d.StopBits = s;
    d.Parity = p;
    d.fParity = p != 0;
  });
}

LinkStatus SerialPort::setFlowControl(LinkHandle h, std::uint16_t flow, std::uint8_t, std::uint8_t) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  if (flow != kFlowNone) return ft::NOT_SUPPORTED;
  return changeDcb(port_, error_, [](DCB& d) {
    d.fOutxCtsFlow = FALSE;
    d.fOutxDsrFlow = FALSE;
    d.fOutX = FALSE;
    d.fInX = FALSE;
  });
}

LinkStatus SerialPort::line(LinkHandle h, bool dtr, bool on) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  if (inband_) return inbandLine(dtr, on);
  DWORD f = dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
  if (!EscapeCommFunction(static_cast<HANDLE>(port_), f)) {
    error_ = winError(GetLastError());
    return ft::IO_ERROR;
  }
  return ft::OK;
}

LinkStatus SerialPort::writeAll(const std::uint8_t* data, std::size_t n, std::size_t& sent) {
  sent = 0;
  while (sent < n) {
    DWORD k = 0;
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - sent, 1u << 20));
    if (!WriteFile(static_cast<HANDLE>(port_), data + sent, want, &k, nullptr)) {
      error_ = winError(GetLastError());
      sent += k;
      return ft::IO_ERROR;
    }
    sent += k;
    if (k < want) {  // the write timeout ran out
      error_ = "the port took no more bytes for " + std::to_string(kWriteTimeoutMs) + " ms";
      return ft::IO_ERROR;
    }
  }
  return ft::OK;
}

LinkStatus SerialPort::queueStatus(LinkHandle h, std::uint32_t& rxBytes) {
  rxBytes = 0;
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(static_cast<HANDLE>(port_), &errors, &stat)) {
    error_ = winError(GetLastError());
    return ft::IO_ERROR;
  }
  rxBytes = stat.cbInQue;
  return ft::OK;
}

LinkStatus SerialPort::read(LinkHandle h, std::span<std::uint8_t> buffer, std::uint32_t& got) {
  got = 0;
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  DWORD k = 0;
  // ReadIntervalTimeout MAXDWORD with no total timeout: returns at once.
  if (!ReadFile(static_cast<HANDLE>(port_), buffer.data(), static_cast<DWORD>(buffer.size()), &k, nullptr)) {
    error_ = winError(GetLastError());
    got = k;
    return ft::IO_ERROR;
  }
  got = k;
  return ft::OK;
}

LinkStatus SerialPort::close(LinkHandle h) {
  if (!isOpen(h)) return ft::INVALID_HANDLE;
  BOOL ok = CloseHandle(static_cast<HANDLE>(port_));
  port_ = nullptr;
  if (!ok) {
    error_ = winError(GetLastError());
    return ft::IO_ERROR;
  }
  return ft::OK;
}

SerialPort::PortScan SerialPort::scan(const std::string& extra) {
  PortScan out;
  for (int i = 1; i <= 256; ++i) {
    std::string name = "COM" + std::to_string(i);
    if (portExists(name)) out.ports.push_back(describe(name));
  }
  if (!extra.empty() && portExists(extra) &&
      std::none_of(out.ports.begin(), out.ports.end(),
                   [&](const PortInfo& p) { return p.path == bareName(extra); }))
    out.ports.push_back(describe(extra));
  if (out.ports.empty()) out.whyNone = "no COM ports: no FTDI chip plugged in, or its virtual COM port driver is off";
  return out;
}

#endif

// A line change in the byte stream, for a pseudo-terminal to tavrin-simboard.
LinkStatus SerialPort::inbandLine(bool dtr, bool on) {
  std::uint8_t command = dtr ? (on ? inband::kDtrOn : inband::kDtrOff) : (on ? inband::kRtsOn : inband::kRtsOff);
  std::vector<std::uint8_t> bytes = inband::encodeLine(command);
  std::size_t sent = 0;
  return writeAll(bytes.data(), bytes.size(), sent);
}

}  // namespace tavrin
