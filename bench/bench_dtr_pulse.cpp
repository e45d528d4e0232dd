// How long DTR (the motor enable) and RTS can be up when the serial backend
// opens a tty: the kernel raises both inside open(), and the backend clears
// them as its first action after it. Measured from just before open() to just
// after that clear returns (CLOCK_MONOTONIC), over many opens.
//
//   bench_dtr_pulse [--opens N] [PATH]
//
// Without PATH it opens the slave side of a pseudo-terminal it makes (no
// modem lines there: the figure is the cost of open() and the clear call).
// With PATH (/dev/ttyS0, /dev/ttyUSB0) it opens that port N times: every one
// of them pulses DTR, so never on a port with a motor that may run.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/serial_port.h"

int main(int argc, char** argv) {
  int opens = 1000;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--opens" && i + 1 < argc) {
      opens = std::max(1, std::atoi(argv[++i]));
    } else if (!a.empty() && a[0] != '-') {
      path = a;
    } else {
      std::fprintf(stderr, "usage: bench_dtr_pulse [--opens N] [PATH]\n");
      return 2;
    }
  }
  int master = -1;
  if (path.empty()) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !ptsname(master)) {
      std::fprintf(stderr, "bench_dtr_pulse: no pseudo-terminal: %s\n", std::strerror(errno));
      return 1;
    }
    path = ptsname(master);
  }

  tavrin::SerialPort port(path, false);
  std::vector<double> us;
  us.reserve(static_cast<std::size_t>(opens));
  bool lines = true;
  for (int i = 0; i < opens; ++i) {
    tavrin::LinkHandle h = nullptr;
    if (port.openByDescription(path, h) != tavrin::ft::OK) {
      std::fprintf(stderr, "bench_dtr_pulse: cannot open %s: %s\n", path.c_str(), port.lastError().c_str());
      return 1;
    }
    us.push_back(port.lastOpenPulseMicros());
    lines = port.hasModemLines();
    port.close(h);
  }
  std::sort(us.begin(), us.end());
  auto at = [&](double q) { return us[static_cast<std::size_t>(q * static_cast<double>(us.size() - 1))]; };
  std::printf("%s (%s): %d opens, DTR/RTS up for at most: median %.1f us, p99 %.1f us, max %.1f us, min %.1f us\n",
              path.c_str(), lines ? "modem lines cleared by TIOCMBIC" : "no modem lines: a pseudo-terminal",
              opens, at(0.5), at(0.99), us.back(), us.front());
  if (master >= 0) close(master);
  return 0;
}
