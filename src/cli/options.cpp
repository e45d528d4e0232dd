#include "cli/options.h"

#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "cli/check_sequence.h"
#include "cli/option_table.h"
#include "core/escape.h"
#include "core/numbers.h"
#include "core/files.h"
#include "core/settings_file.h"
#include "tavrin_version.h"

namespace tavrin {

namespace {

const std::vector<std::string> kConfigKeys = {"board", "port", "d2xx-library", "ftdi-library"};

// What the configuration file names, where the command line names nothing:
// the command line always wins, and a port goes only with the serial board.
void applyConfig(Options& o, const std::set<std::string>& given) {
  const std::filesystem::path file = connectionConfigPath();
  std::error_code ec;
  if (o.noConfig || file.empty() || !std::filesystem::exists(file, ec)) return;
  std::string contents;
  if (FileResult r = readWholeFile(file, contents); !r.ok()) {
    o.configProblem = "cannot read " + utf8FromPath(file) + " (" + r.detail + ")";
    return;
  }
  SettingsFile s = parseSettings(contents, kConfigSection, kConfigKeys);
  auto value = [&](const char* key) -> const std::string* {
    auto at = s.values.find(key);
    return at == s.values.end() || at->second.empty() ? nullptr : &at->second;
  };
  if (const std::string* b = value("board"); b && !given.count("--board")) {
    if (findBackend(*b) || *b == kAutoBoard)
      o.backend.board = *b;
    else
      s.problems.push_back("unknown board '" + escapedName(*b) + "' (choose " + backendNames() + ")");
  }
  if (const std::string* p = value("port"); p && !given.count("--port") && o.backend.board == "serial")
    o.backend.port = *p;
  if (const std::string* l = value("d2xx-library"); l && !given.count("--d2xx-library")) o.backend.d2xxLibrary = *l;
  if (const std::string* l = value("ftdi-library"); l && !given.count("--ftdi-library")) o.backend.ftdiLibrary = *l;
  if (!s.problems.empty()) o.configProblem = utf8FromPath(file) + " " + s.problems.front() + " (that line is left out)";
}

// `auto` becomes the board it takes, with its port; a --port given alone
// names the serial board.
void resolveAuto(Options& o, const std::set<std::string>& given) {
  if (o.backend.board != kAutoBoard) return;
  if (given.count("--port")) {
    o.backend.board = "serial";
    return;
  }
  const AutoChoice a = chooseAutoBoard(o.backend);
  o.backend.board = a.board;
  if (!a.port.empty() && o.backend.port.empty()) o.backend.port = a.port;
}

// --check-sequence reads one file and runs nothing.
bool checkSequenceAlone(const Options& o, std::string& error) {
  if (o.stepTimeMs && o.checkSequence.empty())
    error = "option --step-time goes with --check-sequence FILE";
  else if (!o.checkSequence.empty() && !o.commandLine.empty())
    error = "--check-sequence checks one file; unexpected '" + o.commandLine + "'";
  return error.empty();
}

// A backend's own options go with its --board (those it keeps for itself),
// and it has what it needs to open a board.
bool checkBoard(const Options& o, const std::set<std::string>& given, std::string& error) {
  const Backend* chosen = findBackend(o.backend.board);
  for (const Backend& b : backends())
    for (const BackendOption& option : b.options)
      if (&b != chosen && option.onlyWithIt && given.count(option.info.name)) {
        error = std::string("option ") + option.info.name + " goes with --board " + b.name;
        return false;
      }
  if (chosen->missing) error = chosen->missing(o.backend);
  return error.empty();
}

bool checkScriptRun(const Options& o, std::string& error) {
  if (o.realtime && o.scriptFile.empty()) {
    error = "--realtime goes with --script FILE";
  } else if (!o.scriptFile.empty() && !o.realtime && !findBackend(o.backend.board)->virtualTime) {
    error = "a script on --board " + o.backend.board +
            " runs in real time only: add --realtime (virtual time cannot wait for a real board)";
  } else if (o.untilMs && o.realtime) {
    error = "--until ends a virtual-time run; a --realtime script ends with its last action";
  }
  return error.empty();
}

bool checkRemote(const Options& o, std::string& error) {
  if (o.remote.empty()) {
    if (!o.remoteTokenFile.empty()) error = "--remote-token-file goes with --remote [ADDRESS:]PORT";
  } else if (!o.scriptFile.empty() || !o.checkSequence.empty()) {
    error = std::string("--remote serves a running program; it does not go with ") +
            (o.scriptFile.empty() ? "--check-sequence" : "--script");
  } else if (auto address = parseRemoteAddress(o.remote, error);
             address && !address->loopback() && o.remoteTokenFile.empty()) {
    error = "--remote on " + o.remote + " is reachable from other machines: it needs --remote-token-file FILE";
  }
  return error.empty();
}

bool checkHeadless(const Options& o, std::string& error) {
  if (!o.headless) return true;
  if (!o.checkSequence.empty() || (!o.scriptFile.empty() && !o.realtime)) {
    error = std::string("--headless runs a batch or a --realtime script; it does not go with ") +
            (o.scriptFile.empty() ? "--check-sequence" : "--script alone");
  } else if (o.scriptFile.empty() && o.remote.empty() &&
             o.commandLine.find_first_not_of(" \t\"") == std::string::npos) {
    // Blanks and double quotes alone name no file: say so before the board
    // is opened and sent anything.
    error = "--headless needs the path of an existing sequence file";
  }
  return error.empty();
}

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error,
                                    const std::function<void(const std::string&)>& configProblem) {
  ParsedWords words;
  if (!parseWords(kTavrin, args, words, error)) return std::nullopt;
  Options& o = words.options;
  for (const auto& w : words.plain) o.commandLine += (o.commandLine.empty() ? "" : " ") + w;
  if (!checkSequenceAlone(o, error)) return std::nullopt;
  if (o.help || o.version) return o;
  applyConfig(o, words.given);
  if (!o.configProblem.empty() && configProblem) configProblem(o.configProblem);
  if (o.listBoards) return o;
  resolveAuto(o, words.given);
  if (!checkBoard(o, words.given, error) || !checkScriptRun(o, error) || !checkRemote(o, error) ||
      !checkHeadless(o, error))
    return std::nullopt;
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

bool parseArguments(unsigned program, int argc, char** argv, ParsedWords& out, std::string& error) {
  const std::vector<std::string> words = utf8Arguments(argc, argv);
  return parseWords(program, {words.begin() + (words.empty() ? 0 : 1), words.end()}, out, error);
}

std::optional<Options> parseCommandLine(int argc, char** argv, int& status, const std::string& program) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = parseOptions(args, error, [&program](const std::string& problem) {
    std::cerr << program << ": " << escapedName(problem) << '\n';
  });
  status = 0;
  if (!options) {
    // The message may quote a word of the command line.
    std::cerr << program << ": " << escapedName(error) << '\n';
    status = 2;
    return std::nullopt;
  }
  if (options->help) {
    std::cout << usageText(program);
    return std::nullopt;
  }
  if (options->version) {
    std::cout << versionText(program) << '\n';
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

std::string usageText(const std::string& program) {
  const bool script = program == "tavrin-script";
  return (script ? "Usage: tavrin-script --script FILE [options] [sequence-file]\n"
                   "Runs an operator script on the program without a window, in virtual time.\n"
                 : "Usage: tavrin [options] [--] [sequence-file]\n"
                   "Drives an ultrasonic motor drive board over its FTDI USB link.\n") +
         std::string("\n") + optionHelp(kTavrin) +
         "Anything after the options is the command-line text (a sequence file path);\n"
         "a path that begins with '-' goes after --.\n";
}

std::filesystem::path connectionConfigPath() {
#ifdef _WIN32
  if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData)
    return std::filesystem::path(appData) / "tavrin" / "tavrin.conf";
  return {};
#else
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::filesystem::path(xdg) / "tavrin" / "tavrin.conf";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".config" / "tavrin" / "tavrin.conf";
  return {};
#endif
}

bool saveConnection(const BackendOptions& backend, std::string& error) {
  const std::filesystem::path file = connectionConfigPath();
  if (file.empty()) {
    error = "no folder for the configuration file (HOME is not set)";
    return false;
  }
  std::map<std::string, std::string> values{{"board", backend.board}};
  if (!backend.port.empty()) values["port"] = backend.port;
  if (!backend.d2xxLibrary.empty()) values["d2xx-library"] = backend.d2xxLibrary;
  if (!backend.ftdiLibrary.empty()) values["ftdi-library"] = backend.ftdiLibrary;
  return writeSettings(file, kConfigSection, values, error);
}

bool RemoteAddress::loopback() const {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

std::optional<RemoteAddress> parseRemoteAddress(const std::string& text, std::string& error) {
  RemoteAddress a;
  std::string port = text;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    a.host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (a.host.size() >= 2 && a.host.front() == '[' && a.host.back() == ']') a.host = a.host.substr(1, a.host.size() - 2);
  }
  const auto number = wholeNumber(port);
  const bool portOk = !port.empty() && port.find_first_not_of("0123456789") == std::string::npos && number &&
                      *number <= 65535;
  if (!portOk || a.host.empty() || a.host.find_first_of(" \t/") != std::string::npos) {
    error = "--remote needs [ADDRESS:]PORT, PORT 0 to 65535 (0: any free port), not '" + text + "'";
    return std::nullopt;
  }
  a.port = static_cast<int>(*number);
  return a;
}

std::string versionText(const std::string& program) {
  return program + " " TAVRIN_VERSION " (commit " TAVRIN_COMMIT ")";
}

}  // namespace tavrin
