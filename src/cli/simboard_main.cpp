// tavrin-simboard --pty [--sim-* options]: serves the simulated drive board on a
// pseudo-terminal, in real time, for --board serial --port PTY --inband-lines.
// The first line on stdout is "PTY /dev/pts/N". Ends cleanly on SIGTERM,
// SIGINT or SIGHUP, or when stdin (a pipe or a terminal) closes. Exit status 0
// then; 1 when no pseudo-terminal could be had; 2 for a bad command line.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/option_table.h"
#include "cli/options.h"
#include "sim/pty_board.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;
void onSignal(int sig) { stopSignal = sig; }

std::string usage() {
  return "Usage: tavrin-simboard --pty [--sim-* options]\n"
         "Serves the simulated drive board on a pseudo-terminal, in real time. Its first\n"
         "line on stdout is \"PTY PATH\"; point the program at it with\n"
         "  tavrin --board serial --port PATH --inband-lines\n"
         "Of the faults only " + tavrin::sim::servableFaultsText() +
         " can be served: the others act\n"
         "on steps the program performs on its own side of a serial link.\n"
         "Ends on SIGTERM or SIGINT (Ctrl-C), or when stdin closes (a pipe or a terminal).\n"
         "\n" +
         tavrin::optionHelp(tavrin::kTavrinSimBoard);
}

// stdin is watched for its end when it is a pipe, a socket or a terminal; not
// when it is /dev/null or a file (a background job of a script gets /dev/null).
bool stdinIsWatched() {
  struct stat st {};
  if (::fstat(0, &st) != 0) return false;
  return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || ::isatty(0);
}

}  // namespace

int main(int argc, char** argv) {
  tavrin::ParsedWords words;
  std::string error;
  if (!tavrin::parseArguments(tavrin::kTavrinSimBoard, argc, argv, words, error)) {
    std::cerr << "tavrin-simboard: " << error << '\n';
    return 2;
  }
  if (words.options.help) {
    std::cout << usage();
    return 0;
  }
  if (words.options.version) {
    std::cout << tavrin::versionText("tavrin-simboard") << '\n';
    return 0;
  }
  if (!words.plain.empty()) {
    std::cerr << "tavrin-simboard: unexpected '" << words.plain.front()
              << "' (it takes --pty and the --sim-* options)\n";
    return 2;
  }
  if (!words.options.pty) {
    std::cerr << "tavrin-simboard: --pty is required (the only way it serves the board)\n";
    return 2;
  }
  tavrin::sim::SimConfig config = words.options.backend.sim;
  if (auto bad = tavrin::sim::PtyBoard::unservableFaults(config); !bad.empty()) {
    std::cerr << "tavrin-simboard: fault '" << bad.front()
              << "' cannot be served over a pty: it acts on a step the program performs on its own side of a "
                 "serial link (only "
              << tavrin::sim::servableFaultsText() << " can)\n";
    return 2;
  }

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: poll() returns at once
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGTTIN, SIG_IGN);  // a background job reading its terminal gets EIO, not a stop
  std::signal(SIGPIPE, SIG_IGN);

  tavrin::sim::PtyBoard board(config);
  if (!board.open(error)) {
    std::cerr << "tavrin-simboard: no pseudo-terminal: " << error << '\n';
    return 1;
  }
  std::cout << "PTY " << board.slavePath() << std::endl;

  board.serve([] { return stopSignal != 0; }, stdinIsWatched() ? 0 : -1);
  if (board.droppedBytes())
    std::cerr << "tavrin-simboard: " << board.droppedBytes() << " reply bytes found no room on the pty\n";
  return 0;
}
