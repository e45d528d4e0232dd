#include "shell/backends.h"

#include "core/numbers.h"
#include "link/d2xx_library.h"
#include "link/serial_port.h"
#include "link/ftdi_library.h"

namespace tavrin {

namespace {
std::string d2xxPath(const BackendOptions& o) {
  return o.d2xxLibrary.empty() ? D2xxLibrary::defaultPath() : o.d2xxLibrary;
}
std::string ftdiPath(const BackendOptions& o) {
  return o.ftdiLibrary.empty() ? FtdiLibrary::defaultPath() : o.ftdiLibrary;
}

// The FTDI devices libftdi1 sees. Listing never claims a device, so a kernel
// driver bound to it hides nothing here (libftdi1 detaches it at open); a
// device whose strings cannot be read (no permission on its node) is listed
// as "?", and when none can be read the list says why instead.
BoardList listFtdi(const BackendOptions& o) {
  std::string why;
  auto lib = FtdiLibrary::load(ftdiPath(o), why);
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
// The simulated board's settings a run starts from, for the defaults in --help.
const sim::SimConfig kSimDefaults{};
std::string decimal(double v) { return shortestDecimal(v); }

constexpr unsigned kSimPrograms = kMainPrograms | kTavrinSimBoard;

std::vector<BackendOption> simOptions() {
  using K = OptionKind;
  const unsigned p = kSimPrograms;
  return {
      {{.name = "--sim-fault", .kind = K::Text, .programs = p, .placeholder = "LIST",
        .help = "simulated board faults, comma-separated:\n{}",
        .detail = [] {
          std::string s;
          for (const auto& line : sim::faultHelpLines()) s += (s.empty() ? "  " : "\n  ") + line;
          return s;
        }},
       [](BackendOptions& o, const OptionValue& v, std::string& e) { return sim::parseFaults(v.text, o.sim, e); }},
      {{.name = "--sim-resonance", .kind = K::Number, .min = 1, .max = 1e7, .programs = p, .placeholder = "HZ",
        .help = "simulated current peak (default {})", .detail = [] { return decimal(kSimDefaults.model.resonanceHz); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.model.resonanceHz = v.number, true); }},
      {{.name = "--sim-width", .kind = K::Number, .min = 1, .max = 1e7, .programs = p, .placeholder = "HZ",
        .help = "width of the peak (default {})", .detail = [] { return decimal(kSimDefaults.model.widthHz); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.model.widthHz = v.number, true); }},
      {{.name = "--sim-gain", .kind = K::Number, .min = 0, .max = 1e6, .programs = p, .placeholder = "N",
        .help = "counts per volt at the peak (default {})", .detail = [] { return decimal(kSimDefaults.model.gain); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.model.gain = v.number, true); }},
      {{.name = "--sim-noise", .kind = K::Number, .min = 0, .max = 1000, .programs = p, .placeholder = "N",
        .help = "noise, +/- counts (default {})", .detail = [] { return decimal(kSimDefaults.model.noise); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.model.noise = v.number, true); }},
      {{.name = "--sim-seed", .kind = K::Number, .min = 0, .max = 4294967295.0, .programs = p, .placeholder = "N",
        .help = "noise seed (default {})", .detail = [] { return decimal(kSimDefaults.model.seed); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) {
         o.sim.model.seed = static_cast<std::uint32_t>(v.number);
         return true;
       }},
      {{.name = "--sim-latency", .kind = K::Number, .min = 0, .max = 60000, .programs = p, .placeholder = "MS",
        .help = "reply delay (default {})", .detail = [] { return decimal(kSimDefaults.latencyMs); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.latencyMs = v.number, true); }},
      {{.name = "--sim-drift", .kind = K::Number, .min = -1e6, .max = 1e6, .programs = p, .placeholder = "HZ_PER_S",
        .help = "the resonance moves this much each second from start"},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.model.driftHzPerS = v.number, true); }},
      {{.name = "--sim-jump", .kind = K::Text, .programs = p, .placeholder = "HZ@MS",
        .help = "the resonance jumps by HZ at MS after start (repeatable)"},
       [](BackendOptions& o, const OptionValue& v, std::string& e) { return sim::parseJump(v.text, o.sim.model, e); }},
      {{.name = "--sim-idle", .kind = K::Number, .min = 0, .max = 100000, .programs = p, .placeholder = "COUNTS",
        .help = "current with the enable line clear (default {})",
        .detail = [] { return decimal(kSimDefaults.model.idleCounts); }},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.sim.model.idleCounts = v.number, true); }},
  };
}

std::string serialMissing(const BackendOptions& o) {
  if (!o.port.empty()) return {};
  return "--board serial needs --port PATH (e.g. /dev/ttyUSB0, COM3; --list-boards shows them)";
}

BoardList listSerial(const BackendOptions& o) {
  SerialPort::PortScan scan = SerialPort::scan(o.port);
  BoardList out;
  for (const auto& p : scan.ports)
    out.boards.push_back({p.serial, p.product.empty() ? p.path : p.path + " (" + p.product + ")", p.path});
  out.whyNone = scan.whyNone;
  return out;
}

const std::vector<Backend> kBackends = {
    {"d2xx", "the FTDI D2XX library, loaded at run time",
     {{{.name = "--d2xx-library", .kind = OptionKind::Library, .programs = kMainPrograms, .placeholder = "PATH",
        .help = "the vendor D2XX library to load"},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.d2xxLibrary = v.text, true); }}},
     false, nullptr,
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       auto lib = D2xxLibrary::load(d2xxPath(o), whyNot);
       if (!lib) whyNot += " (the vendor's D2XX library is not installed: install it, or use --board ftdi or serial)";
       return lib;
     },
     [](const BackendOptions& o) {
       std::string why;
       auto lib = D2xxLibrary::load(d2xxPath(o), why);
       if (!lib) return BoardList{{}, why};
       return listThrough(*lib);
     }},
    {"ftdi", "libftdi1 (open source), loaded at run time; detaches ftdi_sio itself",
     {{{.name = "--ftdi-library", .kind = OptionKind::Library, .programs = kMainPrograms, .placeholder = "PATH",
        .help = "the libftdi1 library to load (--board ftdi)"},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.ftdiLibrary = v.text, true); }}},
     false, nullptr,
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       auto lib = FtdiLibrary::load(ftdiPath(o), whyNot);
       if (!lib) whyNot += " (Debian, Ubuntu: apt-get install libftdi1-2)";
       return lib;
     },
     [](const BackendOptions& o) { return listFtdi(o); }},
    {"sim", "the simulated drive board", simOptions(), true, nullptr,
     [](const BackendOptions& o, std::function<double()> clock, std::string&) -> std::unique_ptr<Link> {
       return std::make_unique<sim::SimBoard>(o.sim, std::move(clock));
     },
     [](const BackendOptions& o) {
       sim::SimBoard board(o.sim, [] { return 0.0; });
       return listThrough(board);
     }},
    {"serial", "a serial port (--port): ftdi_sio's /dev/ttyUSB0, COM3, or a pty to tavrin-simboard",
     {{{.name = "--port", .kind = OptionKind::Path, .programs = kMainPrograms, .placeholder = "PATH",
        .help = "the serial port of --board serial (/dev/ttyUSB0, COM3)"},
       [](BackendOptions& o, const OptionValue& v, std::string&) { return (o.port = v.text, true); }, true},
      {{.name = "--inband-lines", .programs = kMainPrograms,
        .help = "--board serial on a pseudo-terminal to tavrin-simboard:\nthe modem lines travel in the byte stream"},
       [](BackendOptions& o, const OptionValue&, std::string&) { return (o.inbandLines = true, true); }, true}},
     false, serialMissing,
     [](const BackendOptions& o, const std::function<double()>&, std::string& whyNot) -> std::unique_ptr<Link> {
       whyNot = serialMissing(o);
       if (!whyNot.empty()) return nullptr;
       return std::make_unique<SerialPort>(o.port, o.inbandLines);
     },
     listSerial},
};
}  // namespace

const std::vector<Backend>& backends() { return kBackends; }

AutoChoice chooseAutoBoard(const BackendOptions& options) {
  // The backends passed over, for the reason: "d2xx sees none".
  std::string passed;
  auto after = [&passed] { return passed.empty() ? std::string() : "; " + passed + " sees none"; };
  for (const char* name : {"d2xx", "ftdi"}) {
    const BoardList l = findBackend(name)->list(options);
    if (!l.boards.empty())
      return {name, "",
              "the first that sees a board: " + std::string(name) + " sees " + std::to_string(l.boards.size()) +
                  (l.boards.size() == 1 ? " (" : ", the first (") + l.boards.front().serial + ", " +
                  l.boards.front().description + ")" + after()};
    passed += (passed.empty() ? "" : ", ") + std::string(name);
  }
  const SerialPort::PortScan scan = SerialPort::scan("");
  for (const auto& p : scan.ports)
    if (p.vendor == "0403")
      return {"serial", p.path,
              "the first that sees a board: the FTDI chip " + p.path + " (" + p.serial + ", " + p.product + ")" + after()};
  return {"d2xx", "", "no backend sees a board (the lines above say why), so the vendor library, as without auto"};
}

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
  std::string s = kAutoBoard;
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
  const AutoChoice a = chooseAutoBoard(options);
  out += std::string(kAutoBoard) + "\t-\ttakes " + a.board + (a.port.empty() ? "" : " --port " + a.port) + ": " + a.why +
         "\n";
  return out;
}

const Backend* findBackend(const std::string& name) {
  for (const auto& b : kBackends)
    if (name == b.name) return &b;
  return nullptr;
}

}  // namespace tavrin
