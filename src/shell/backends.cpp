#include "shell/backends.h"

#include "link/d2xx_library.h"
#include "link/serial_port.h"
#include "link/ftdi_library.h"

namespace tavrin {

namespace {
// The FTDI devices libftdi1 sees. Listing never claims a device, so a kernel
// driver bound to it hides nothing here (libftdi1 detaches it at open); a
// device whose strings cannot be read (no permission on its node) is listed
// as "?", and when none can be read the list says why instead.
BoardList listFtdi(const BackendOptions& o) {
  const std::string path = o.ftdiLibrary.empty() ? FtdiLibrary::defaultPath() : o.ftdiLibrary;
  std::string why;
  auto lib = FtdiLibrary::load(path, why);
  if (!lib) return BoardList{{}, "libftdi1 missing: " + why + " (Debian, Ubuntu: apt-get install libftdi1-2)"};
  std::uint32_t count = 0;
  if (lib->deviceCount(count) != ft::OK || count == 0) return BoardList{{}, lib->lastProblem()};
  BoardList out;
  std::string problem;
  bool anyRead = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    BoardInfo b;
    const bool serial = lib->deviceSerial(i, b.serial) == ft::OK;
    if (!serial) {
      problem = lib->lastProblem();
      b.serial = "?";
    }
    const bool description = lib->deviceDescription(i, b.description) == ft::OK;
    if (!description) {
      problem = lib->lastProblem();
      b.description = "?";
    }
    anyRead = anyRead || serial || description;
    out.boards.push_back(b);
  }
  if (!anyRead) return BoardList{{}, std::to_string(count) + " FTDI device(s) found, none readable: " + problem};
  return out;
}
}  // namespace

namespace {
const std::vector<Backend> kBackends = {
    {"d2xx", "the FTDI D2XX library, loaded at run time",
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       std::string path = o.d2xxLibrary.empty() ? D2xxLibrary::defaultPath() : o.d2xxLibrary;
       return D2xxLibrary::load(path, whyNot);
     },
     [](const BackendOptions& o) {
       std::string path = o.d2xxLibrary.empty() ? D2xxLibrary::defaultPath() : o.d2xxLibrary;
       std::string why;
       auto lib = D2xxLibrary::load(path, why);
       if (!lib) return BoardList{{}, why};
       return listThrough(*lib);
     }},
    {"ftdi", "libftdi1 (open source), loaded at run time; detaches ftdi_sio itself",
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       return FtdiLibrary::load(o.ftdiLibrary.empty() ? FtdiLibrary::defaultPath() : o.ftdiLibrary, whyNot);
     },
     [](const BackendOptions& o) { return listFtdi(o); }},
    {"sim", "the simulated drive board",
     [](const BackendOptions& o, std::function<double()> clock, std::string&) -> std::unique_ptr<Link> {
       return std::make_unique<sim::SimBoard>(o.sim, std::move(clock));
     },
     [](const BackendOptions& o) {
       sim::SimBoard board(o.sim, [] { return 0.0; });
       return listThrough(board);
     }},
    {"serial", "a serial port (--port): ftdi_sio's /dev/ttyUSB0, COM3, or a pty to tavrin-simboard",
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       if (o.port.empty()) {
         whyNot = "--board serial needs --port PATH";
         return nullptr;
       }
       return std::make_unique<SerialPort>(o.port, o.inbandLines);
     },
     [](const BackendOptions& o) {
       SerialPort::PortScan scan = SerialPort::scan(o.port);
       BoardList out;
       for (const auto& p : scan.ports)
         out.boards.push_back({p.serial, p.product.empty() ? p.path : p.path + " (" + p.product + ")"});
       out.whyNone = scan.whyNone;
       return out;
     }},
};
}  // namespace

const std::vector<Backend>& backends() { return kBackends; }

BoardList listThrough(Link& link) {
  BoardList out;
  std::uint32_t count = 0;
  LinkStatus s = link.deviceCount(count);
  if (s != ft::OK) {
    out.whyNone = "the device count failed (status " + std::to_string(s) + ")";
    return out;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    BoardInfo b;
    if (link.deviceSerial(i, b.serial) != ft::OK) b.serial = "?";
    if (link.deviceDescription(i, b.description) != ft::OK) b.description = "?";
    out.boards.push_back(b);
  }
  if (out.boards.empty()) out.whyNone = "no device found";
  return out;
}

std::string backendNames() {
  std::string s;
  for (const auto& b : kBackends) s += (s.empty() ? "" : ", ") + std::string(b.name);
  return s;
}

std::string boardListing(const BackendOptions& options) {
  std::string out;
  for (const auto& b : kBackends) {
    BoardList l = b.list(options);
    for (std::size_t i = 0; i < l.boards.size(); ++i)
      out += std::string(b.name) + "\t" + std::to_string(i) + "\t" + l.boards[i].serial + "\t" +
             l.boards[i].description + "\n";
    if (l.boards.empty()) out += std::string(b.name) + "\t-\tnone: " + l.whyNone + "\n";
  }
  return out;
}

const Backend* findBackend(const std::string& name) {
  for (const auto& b : kBackends)
    if (name == b.name) return &b;
  return nullptr;
}

}  // namespace tavrin
