#include "cli/option_table.h"

#include <type_traits>

#include "cli/check_sequence.h"
#include "core/numbers.h"

namespace tavrin {

namespace {

using K = OptionKind;

// Where a value goes, for the options that only store it.
template <auto Member>
bool store(Options& o, const OptionValue& v, std::string&) {
  if constexpr (std::is_same_v<std::remove_reference_t<decltype(o.*Member)>, bool>)
    o.*Member = true;
  else if constexpr (std::is_same_v<std::remove_reference_t<decltype(o.*Member)>, std::string>)
    o.*Member = v.text;
  else
    o.*Member = v.number;
  return true;
}

bool setBoard(Options& o, const OptionValue& v, std::string& error) {
  if (!findBackend(v.text) && v.text != kAutoBoard) {
    error = "unknown board '" + v.text + "' (choose " + backendNames() + ")";
    return false;
  }
  o.backend.board = v.text;
  return true;
}

bool setClockStart(Options& o, const OptionValue& v, std::string& error) {
  o.clockStart = parseLocalDateTime(v.text);
  if (!o.clockStart) error = "option --clock-start needs a date and time as YYYY-MM-DDTHH:MM:SS, not '" + v.text + "'";
  return o.clockStart.has_value();
}

bool setCheckSequence(Options& o, const OptionValue& v, std::string& error) {
  if (v.text.rfind("--", 0) == 0) {
    error = "option --check-sequence needs a file name, not '" + v.text + "'";
    return false;
  }
  o.checkSequence = v.text;
  return true;
}

std::string boardHelp() {
  std::string s;
  for (const auto& b : backends()) s += std::string(b.name) + " ";
  return s + kAutoBoard + "\n(default " + BackendOptions{}.board + ": the first that sees a board)";
}

const TraceTolerance kToleranceDefaults{};

// The programs' own options, in --help order.
std::vector<ProgramOption> ownOptions() {
  const unsigned m = kMainPrograms;
  return {
      {{.name = "--board", .kind = K::Text, .programs = m, .placeholder = "NAME", .help = "link backend: {}",
        .detail = boardHelp}, setBoard},
      {{.name = "--list-boards", .programs = m, .help = "print every board each backend sees, and exit"},
       store<&Options::listBoards>},
      {{.name = "--no-config", .programs = m,
        .help = "ignore the configuration file (the board, its port and\nlibraries: ~/.config/tavrin/tavrin.conf)"},
       store<&Options::noConfig>},
      {{.name = "--drive-root", .kind = K::Path, .programs = m | kTavrinPlot, .placeholder = "DIR",
        .help = "where drive-letter paths (C:\\...) live"}, store<&Options::driveRoot>},
      {{.name = "--trace", .kind = K::Path, .programs = m, .placeholder = "FILE",
        .help = "write every library call and frame to FILE"}, store<&Options::traceFile>},
      {{.name = "--script", .kind = K::Path, .programs = m, .placeholder = "FILE",
        .help = "run an operator script without a window, in virtual time"}, store<&Options::scriptFile>},
      {{.name = "--realtime", .programs = m,
        .help = "run the --script in real time on the real toolkit (window\n"
                "shown, or none with --headless); needed on real boards"}, store<&Options::realtime>},
      {{.name = "--until", .kind = K::Number, .max = 1e12, .programs = m, .placeholder = "MS",
        .help = "end a script run at this virtual time"},
       [](Options& o, const OptionValue& v, std::string&) { return (o.untilMs = v.number, true); }},
      {{.name = "--headless", .programs = m,
        .help = "run the batch of sequence-file in real time without a\n"
                "window or a display; status 0 when it ends, 1 on a\n"
                "message box (printed), 2 if the file does not exist,\n"
                "4 when the board never answered or a call to it failed"}, store<&Options::headless>},
      {{.name = "--remote", .kind = K::Text, .programs = kTavrin, .placeholder = "[ADDR:]PORT",
        .help = "serve the remote control (SCPI over TCP) on PORT of\n"
                "ADDR (default 127.0.0.1); with --headless and no\n"
                "sequence file it runs until SYSTem:EXIT or a signal"},
       store<&Options::remote>},
      {{.name = "--remote-token-file", .kind = K::Path, .programs = kTavrin, .placeholder = "FILE",
        .help = "clients must first send SYSTem:AUTHenticate with the\n"
                "token in FILE (needed for an address other than loopback)"},
       store<&Options::remoteTokenFile>},
      {{.name = "--check-sequence", .kind = K::Path, .programs = m, .placeholder = "FILE",
        .help = "print the steps of a sequence file, one repeat's length\n"
                "and every error; exit 0 if it would run, else 1"}, setCheckSequence},
      {{.name = "--step-time", .kind = K::Number, .max = 1e9, .unit = "milliseconds", .programs = m,
        .placeholder = "MS", .help = "the step time for --check-sequence (default {})",
        .detail = [] { return shortestDecimal(kDefaultStepTimeMs); }},
       [](Options& o, const OptionValue& v, std::string&) { return (o.stepTimeMs = v.number, true); }},
      {{.name = "--clock-start", .kind = K::DateTime, .programs = m, .placeholder = "T",
        .help = "local date and time at start, YYYY-MM-DDTHH:MM:SS (files\n"
                "carry it); it advances with the program's time"}, setClockStart},
      {{.name = "--output", .alias = "-o", .kind = K::Path, .programs = kTavrinPlot, .placeholder = "OUT",
        .help = "the image to write, .png or .svg (default: LOG with\n.png in place of .txt)",
        .label = "-o, --output OUT"}, store<&Options::outputFile>},
      {{.name = "--csv", .kind = K::Path, .programs = kTavrinPlot, .placeholder = "OUT.csv",
        .help = "write the readings as CSV for a spreadsheet (then no\nimage unless -o names one)"},
       store<&Options::csvFile>},
      {{.name = "--tolerance", .kind = K::Number, .max = 1e9, .programs = kTavrinTraceDiff, .placeholder = "MS",
        .help = "times may differ by MS (default {}) ...", .detail = [] { return shortestDecimal(kToleranceDefaults.ms); }},
       [](Options& o, const OptionValue& v, std::string&) { return (o.tolerance.ms = v.number, true); }},
      {{.name = "--relative", .kind = K::Number, .max = 1, .programs = kTavrinTraceDiff, .placeholder = "FRACTION",
        .help = "... plus FRACTION of the later time (default {})",
        .detail = [] { return shortestDecimal(kToleranceDefaults.fraction); }},
       [](Options& o, const OptionValue& v, std::string&) { return (o.tolerance.fraction = v.number, true); }},
      {{.name = "--any-device", .programs = kTavrinTraceDiff,
        .help = "the boards' serial numbers and descriptions may differ"},
       [](Options& o, const OptionValue&, std::string&) { return (o.tolerance.anyDevice = true, true); }},
      {{.name = "--pty", .programs = kTavrinSimBoard, .help = "serve the board on a pseudo-terminal"},
       store<&Options::pty>},
      {{.name = "--socket", .kind = K::Path, .programs = kTavrinSimBoard, .placeholder = "PATH",
        .help = "serve the board on a Unix socket, plain bytes (for QEMU's\n"
                "emulated FT232: -chardev socket,path=PATH)"},
       store<&Options::socketPath>},
      {{.name = "--lines-from-frames", .programs = kTavrinSimBoard,
        .help = "on a socket, the enable line follows each frame's mode"},
       store<&Options::linesFromFrames>},
  };
}

std::vector<ProgramOption> buildTable() {
  std::vector<ProgramOption> table = ownOptions();
  for (const Backend& b : backends())
    for (const BackendOption& bo : b.options)
      table.push_back({bo.info,
                       [set = bo.set](Options& o, const OptionValue& v, std::string& e) { return set(o.backend, v, e); },
                       &b, bo.onlyWithIt});
  table.push_back({{.name = "--help", .alias = "-h", .programs = ~0u}, store<&Options::help>});
  table.push_back({{.name = "--version", .programs = ~0u}, store<&Options::version>});
  return table;
}

const ProgramOption* findOption(unsigned program, std::string_view word) {
  for (const auto& o : optionTable())
    if ((o.info.programs & program) && optionNamed(o.info, word)) return &o;
  return nullptr;
}

// Reads the option at args[i] (and its value, which may be the next word).
bool readOption(unsigned program, const std::vector<std::string>& args, std::size_t& i, ParsedWords& out,
                std::string& error) {
  std::string name = args[i];
  OptionValue value;
  const auto eq = name.find('=');
  if (eq != std::string::npos) {
    value.text = name.substr(eq + 1);
    name.resize(eq);
  }
  const ProgramOption* option = findOption(program, name);
  if (!option) {
    error = "unknown option " + name + " (try --help)";
    return false;
  }
  if (option->info.kind == K::Flag) {
    if (eq != std::string::npos) error = "option " + name + " takes no value";
  } else if (eq == std::string::npos && i + 1 >= args.size()) {
    error = "option " + name + " needs a value";
  } else {
    if (eq == std::string::npos) value.text = args[++i];
    // An empty value (--drive-root '') is a mistake, never a request for the default.
    if (value.text.empty()) error = "option " + name + " needs a value, not an empty one";
  }
  if (!error.empty()) return false;
  if (option->info.kind == K::Number && !readNumberValue(option->info, value, error)) return false;
  out.given.insert(option->info.name);
  return option->set(out.options, value, error);
}

std::vector<const OptionInfo*> infosFor(unsigned program) {
  std::vector<const OptionInfo*> infos;
  for (const auto& o : optionTable())
    if (o.info.programs & program) infos.push_back(&o.info);
  return infos;
}

}  // namespace

const std::vector<ProgramOption>& optionTable() {
  static const std::vector<ProgramOption> table = buildTable();
  return table;
}

bool parseWords(unsigned program, const std::vector<std::string>& args, ParsedWords& out, std::string& error) {
  const bool mainStyle = (program & kMainPrograms) != 0;
  error.clear();
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      ++i;
      break;
    }
    // "-" alone is a plain word; any other word with a dash is an option, so
    // "-x" is refused rather than run as a batch file.
    const bool isOption = a.size() > 1 && a[0] == '-';
    if (!isOption) {
      if (mainStyle) break;  // the first plain word ends the options
      out.plain.push_back(a);
    } else if (!readOption(program, args, i, out, error)) {
      return false;
    }
  }
  out.plain.insert(out.plain.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return true;
}

std::string optionHelp(unsigned program) { return optionHelpLines(infosFor(program)); }

bool optionTakesValue(unsigned program, std::string_view name) {
  const ProgramOption* option = findOption(program, name);
  return option && option->info.kind != OptionKind::Flag;
}

std::string optionFactsOf(unsigned program) { return optionFacts(infosFor(program)); }

}  // namespace tavrin
