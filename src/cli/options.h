// The command line: options first, then the text a batch run reads.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/tracediff.h"
#include "core/clock.h"
#include "shell/backends.h"

namespace tavrin {

struct Options {
  BackendOptions backend;
  std::string driveRoot;   // empty: TAVRIN_DRIVE_ROOT, else a per-user folder
  std::string traceFile;
  std::string scriptFile;
  std::optional<double> untilMs;
  std::optional<LocalDateTime> clockStart;  // local date and time at program start
  std::string commandLine;  // everything after the options, joined by blanks
  bool headless = false;    // the batch run, or a real-time script, without a window or a display
  bool realtime = false;    // --realtime: the script runs on the real toolkit, in real time
  bool noConfig = false;    // --no-config: the connection from the command line alone
  std::string configProblem;  // a configuration file that could not be read whole: why (it is used as far as it reads)
  bool listBoards = false;  // --list-boards: print the boards every backend sees
  bool help = false, version = false;
  std::string checkSequence;          // --check-sequence: the file to check instead of running
  std::optional<double> stepTimeMs;   // --step-time, for the check
  std::string outputFile;             // tavrin-plot -o: the image
  std::string csvFile;                // tavrin-plot --csv: the readings for a spreadsheet
  TraceTolerance tolerance;           // tavrin-tracediff
  std::string remote;                 // --remote [ADDRESS:]PORT: serve the remote-control dialect
  std::string remoteTokenFile;        // --remote-token-file: the token clients authenticate with
  bool pty = false;                   // tavrin-simboard --pty
  std::string socketPath;             // tavrin-simboard --socket
  bool linesFromFrames = false;       // tavrin-simboard --lines-from-frames
};

// Where --remote listens.
struct RemoteAddress {
  std::string host = "127.0.0.1";  // a name or an IPv4/IPv6 address ("[::1]" written with brackets)
  int port = 0;                    // 0: any free port
  bool loopback() const;           // reachable from this machine only
};
// "5025", "127.0.0.1:5025", "0.0.0.0:5025", "[::1]:5025"; nullopt with the reason.
std::optional<RemoteAddress> parseRemoteAddress(const std::string& text, std::string& error);

// Parses argv (without the program name). On error returns nullopt and a
// one-line message in `error`.
// A configuration file with a line it cannot take is still used for the rest;
// `configProblem` hears why.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error,
                                    const std::function<void(const std::string&)>& configProblem = nullptr);

// Parses argv and answers --help, --version and --check-sequence. Returns the
// options to run with, or nullopt with the exit status in `status` (0 after
// help or version, 2 after a bad command line, its message already printed;
// after --check-sequence the check's own status).
// `program` names the program in its messages, help and version.
std::optional<Options> parseCommandLine(int argc, char** argv, int& status, const std::string& program = "tavrin");

// The command line as UTF-8 words, the program's name first: argv itself, but
// on Windows (where argv holds the ANSI code page, which loses every letter
// outside it) the wide command line converted.
std::vector<std::string> utf8Arguments(int argc, char** argv);

std::string usageText(const std::string& program = "tavrin");

// The file that keeps the connection between runs:
// $XDG_CONFIG_HOME/tavrin/tavrin.conf (~/.config/tavrin/tavrin.conf), on
// Windows %APPDATA%\tavrin\tavrin.conf.
std::filesystem::path connectionConfigPath();
// The keys it holds, in its [link] section: board, port, d2xx-library, ftdi-library.
inline constexpr const char* kConfigSection = "link";
// Writes the connection chosen in the window (board and port) into it.
bool saveConnection(const BackendOptions& backend, std::string& error);
// "NAME VERSION (commit C)", for every program's --version.
std::string versionText(const std::string& program);

}  // namespace tavrin
