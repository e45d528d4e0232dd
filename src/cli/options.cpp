#include "cli/options.h"

#include <cmath>
#include <iostream>
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "cli/check_sequence.h"
#include "core/files.h"
#include "core/numbers.h"
#include "tavrin_version.h"

namespace tavrin {

namespace {
bool number(const std::string& text, double& out) {
  auto v = wholeNumber(text);
  if (!v || !std::isfinite(*v)) return false;
  out = *v;
  return true;
}
}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
  Options o;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    std::string a = args[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (a.rfind("--", 0) != 0) break;  // the first plain word ends the options
    std::string name = a, value;
    bool inlineValue = false;
    if (auto eq = a.find('='); eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    auto needValue = [&]() -> bool {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          error = "option " + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      // An empty value (--drive-root '') is a mistake, never a request for the default.
      if (value.empty()) {
        error = "option " + name + " needs a value, not an empty one";
        return false;
      }
      return true;
    };
    auto needNumber = [&](double& out, double min, double max) -> bool {
      if (!needValue()) return false;
      if (!number(value, out)) {
        error = "option " + name + " needs a number, not '" + value + "'";
        return false;
      }
      if (out < min || out > max) {
        error = "option " + name + " needs a number from " + shortestDecimal(min) + " to " + shortestDecimal(max) +
                ", not '" + value + "'";
        return false;
      }
      return true;
    };
    double n = 0;
    if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "--board") {
      if (!needValue()) return std::nullopt;
      if (!findBackend(value)) {
        error = "unknown board '" + value + "' (choose " + backendNames() + ")";
        return std::nullopt;
      }
      o.backend.board = value;
    } else if (name == "--d2xx-library") {
      if (!needValue()) return std::nullopt;
      o.backend.d2xxLibrary = value;
    } else if (name == "--ftdi-library") {
      if (!needValue()) return std::nullopt;
      o.backend.ftdiLibrary = value;
    } else if (name == "--port") {
      if (!needValue()) return std::nullopt;
      o.backend.port = value;
    } else if (name == "--drive-root") {
      if (!needValue()) return std::nullopt;
      o.driveRoot = value;
    } else if (name == "--trace") {
      if (!needValue()) return std::nullopt;
      o.traceFile = value;
    } else if (name == "--script") {
      if (!needValue()) return std::nullopt;
      o.scriptFile = value;
    } else if (name == "--headless" || name == "--realtime" || name == "--list-boards" ||
               name == "--inband-lines") {
      if (inlineValue) {
        error = "option " + name + " takes no value";
        return std::nullopt;
      }
      bool& flag = name == "--headless"     ? o.headless
                   : name == "--realtime"   ? o.realtime
                   : name == "--list-boards" ? o.listBoards
                                             : o.backend.inbandLines;
      flag = true;
    } else if (name == "--until") {
      if (!needNumber(n, 0, 1e12)) return std::nullopt;
      o.untilMs = n;
    } else if (name == "--clock-start") {
      if (!needValue()) return std::nullopt;
      o.clockStart = parseLocalDateTime(value);
      if (!o.clockStart) {
        error = "option --clock-start needs a date and time as YYYY-MM-DDTHH:MM:SS, not '" + value + "'";
        return std::nullopt;
      }
    } else if (name == "--check-sequence") {
      if (!needValue()) return std::nullopt;
      if (value.empty() || value.rfind("--", 0) == 0) {
        error = "option --check-sequence needs a file name, not '" + value + "'";
        return std::nullopt;
      }
      o.checkSequence = value;
    } else if (name == "--step-time") {
      if (!needValue()) return std::nullopt;
      if (!number(value, n) || n < 0 || n > 1e9) {
        error = "option --step-time needs a number of milliseconds from 0 to 1000000000, not '" + value + "'";
        return std::nullopt;
      }
      o.stepTimeMs = n;
    } else if (name == "--sim-fault") {
      if (!needValue()) return std::nullopt;
      if (!sim::parseFaults(value, o.backend.sim, error)) return std::nullopt;
    } else if (name == "--sim-resonance") {
      if (!needNumber(o.backend.sim.model.resonanceHz, 1, 1e7)) return std::nullopt;
    } else if (name == "--sim-width") {
      if (!needNumber(o.backend.sim.model.widthHz, 1, 1e7)) return std::nullopt;
    } else if (name == "--sim-gain") {
      if (!needNumber(o.backend.sim.model.gain, 0, 1e6)) return std::nullopt;
    } else if (name == "--sim-noise") {
      if (!needNumber(o.backend.sim.model.noise, 0, 1000)) return std::nullopt;
    } else if (name == "--sim-seed") {
      if (!needNumber(n, 0, 4294967295.0)) return std::nullopt;
      o.backend.sim.model.seed = static_cast<std::uint32_t>(n);
    } else if (name == "--sim-latency") {
      if (!needNumber(o.backend.sim.latencyMs, 0, 60000)) return std::nullopt;
    } else if (name == "--sim-drift") {
      if (!needNumber(o.backend.sim.model.driftHzPerS, -1e6, 1e6)) return std::nullopt;
    } else if (name == "--sim-jump") {
      if (!needValue()) return std::nullopt;
      if (!sim::parseJump(value, o.backend.sim.model, error)) return std::nullopt;
    } else if (name == "--sim-idle") {
      if (!needNumber(o.backend.sim.model.idleCounts, 0, 100000)) return std::nullopt;
    } else {
      error = "unknown option " + name + " (try --help)";
      return std::nullopt;
    }
  }
  for (std::size_t j = i; j < args.size(); ++j) {
    if (!o.commandLine.empty()) o.commandLine += ' ';
    o.commandLine += args[j];
  }
  if (o.stepTimeMs && o.checkSequence.empty()) {
    error = "option --step-time goes with --check-sequence FILE";
    return std::nullopt;
  }
  if (!o.checkSequence.empty() && !o.commandLine.empty()) {
    error = "--check-sequence checks one file; unexpected '" + o.commandLine + "'";
    return std::nullopt;
  }
  if (o.help || o.version || o.listBoards) return o;
  if ((!o.backend.port.empty() || o.backend.inbandLines) && o.backend.board != "serial") {
    error = std::string("option ") + (o.backend.port.empty() ? "--inband-lines" : "--port") +
            " goes with --board serial";
    return std::nullopt;
  }
  if (o.backend.board == "serial" && o.backend.port.empty()) {
    error = "--board serial needs --port PATH (e.g. /dev/ttyUSB0, COM3; --list-boards shows them)";
    return std::nullopt;
  }
  if (o.realtime && o.scriptFile.empty()) {
    error = "--realtime goes with --script FILE";
    return std::nullopt;
  }
  if (!o.scriptFile.empty() && !o.realtime && o.backend.board != "sim") {
    error = "a script on --board " + o.backend.board +
            " runs in real time only: add --realtime (virtual time cannot wait for a real board)";
    return std::nullopt;
  }
  if (o.untilMs && o.realtime) {
    error = "--until ends a virtual-time run; a --realtime script ends with its last action";
    return std::nullopt;
  }
  if (o.headless) {
    if (!o.checkSequence.empty() || (!o.scriptFile.empty() && !o.realtime)) {
      error = std::string("--headless runs a batch or a --realtime script; it does not go with ") +
              (o.scriptFile.empty() ? "--check-sequence" : "--script alone");
      return std::nullopt;
    }
  }
  if (o.headless && o.scriptFile.empty()) {
    // Blanks and double quotes alone name no file: say so before the board
    // is opened and sent anything.
    if (o.commandLine.find_first_not_of(" \t\"") == std::string::npos) {
      error = "--headless needs the path of an existing sequence file";
      return std::nullopt;
    }
  }
  return o;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int n = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n)) {
    std::vector<std::string> words;
    words.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) words.push_back(utf8FromPath(std::filesystem::path(wide[i])));
    LocalFree(static_cast<HLOCAL>(wide));
    return words;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

std::optional<Options> parseCommandLine(int argc, char** argv, int& status) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = parseOptions(args, error);
  status = 0;
  if (!options) {
    std::cerr << "tavrin: " << error << '\n';
    status = 2;
    return std::nullopt;
  }
  if (options->help) {
    std::cout << usageText();
    return std::nullopt;
  }
  if (options->version) {
    std::cout << versionText() << '\n';
    return std::nullopt;
  }
  if (options->listBoards) {
    std::cout << boardListing(options->backend);
    std::cout.flush();
    return std::nullopt;
  }
  if (!options->checkSequence.empty()) {
    status = checkSequenceFile(*options, std::cout, std::cerr);
    return std::nullopt;
  }
  return options;
}

std::string usageText() {
  std::string s =
      "Usage: tavrin [options] [sequence-file]\n"
      "Drives an ultrasonic motor drive board over its FTDI USB link.\n"
      "\n"
      "  --board NAME          link backend:";
  for (const auto& b : backends()) s += std::string(" ") + b.name;
  s +=
      " (default d2xx)\n"
      "  --d2xx-library PATH   the vendor D2XX library to load\n"
      "  --ftdi-library PATH   the libftdi1 library to load (--board ftdi)\n"
      "  --port PATH           the serial port of --board serial (/dev/ttyUSB0, COM3)\n"
      "  --inband-lines        --board serial on a pseudo-terminal to tavrin-simboard:\n"
      "                        the modem lines travel in the byte stream\n"
      "  --list-boards         print every board each backend sees, and exit\n"
      "  --drive-root DIR      where drive-letter paths (C:\\...) live\n"
      "  --trace FILE          write every library call and frame to FILE\n"
      "  --script FILE         run an operator script without a window, in virtual time\n"
      "  --realtime            run the --script in real time on the real toolkit (window\n"
      "                        shown, or none with --headless); needed on real boards\n"
      "  --until MS            end a script run at this virtual time\n"
      "  --headless            run the batch of sequence-file in real time without a\n"
      "                        window or a display; status 0 when it ends, 1 on a\n"
      "                        message box (printed), 2 if the file does not exist\n"
      "  --check-sequence FILE print the steps of a sequence file, one repeat's length\n"
      "                        and every error; exit 0 if it would run, else 1\n"
      "  --step-time MS        the step time for --check-sequence (default 20)\n"
      "  --clock-start T       local date and time at start, YYYY-MM-DDTHH:MM:SS (files\n"
      "                        carry it); it advances with the program's time\n"
      "  --sim-fault LIST      simulated board faults, comma-separated:\n"
      "                        ";
  for (const auto& f : sim::faultNames()) s += f + " ";
  s +=
      "\n"
      "  --sim-resonance HZ    simulated current peak (default 44100)\n"
      "  --sim-width HZ        width of the peak (default 300)\n"
      "  --sim-gain N          counts per volt at the peak (default 180)\n"
      "  --sim-noise N         noise, +/- counts (default 3)\n"
      "  --sim-seed N          noise seed (default 1)\n"
      "  --sim-latency MS      reply delay (default 20)\n"
      "  --sim-drift HZ_PER_S  the resonance moves this much each second from start\n"
      "  --sim-jump HZ@MS      the resonance jumps by HZ at MS after start (repeatable)\n"
      "  --sim-idle COUNTS     current with the enable line clear (default 12)\n"
      "  --help, --version\n"
      "Anything after the options is the command-line text (a sequence file path).\n";
  return s;
}

std::string versionText() { return "tavrin " TAVRIN_VERSION " (commit " TAVRIN_COMMIT ")"; }

}  // namespace tavrin
