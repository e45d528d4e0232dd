// tavrin-simboard --pty | --socket PATH [--lines-from-frames] [--sim-* options]:
// serves the simulated drive board in real time, on a pseudo-terminal for
// --board serial --port PTY --inband-lines, or on a Unix socket for a far end
// that carries plain bytes (QEMU's emulated FT232). The first line on stdout
// is "PTY /dev/pts/N" or "SOCKET PATH"; on a socket, "CONNECTED" and
// "DISCONNECTED" lines follow as far ends come and go. Ends cleanly on
// SIGTERM, SIGINT or SIGHUP, or when stdin (a pipe or a terminal) closes.
// Exit status 0 then; 1 when no pseudo-terminal or socket could be had; 2 for
// a bad command line.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/option_table.h"
#include "cli/options.h"
#include "sim/served_board.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;
void onSignal(int sig) { stopSignal = sig; }

std::string usage() {
  return "Usage: tavrin-simboard --pty [--sim-* options]\n"
         "       tavrin-simboard --socket PATH [--lines-from-frames] [--sim-* options]\n"
         "Serves the simulated drive board in real time. On a pseudo-terminal its first\n"
         "line on stdout is \"PTY PATH\"; point the program at it with\n"
         "  tavrin --board serial --port PATH --inband-lines\n"
         "On a Unix socket (for QEMU's emulated FT232: -chardev socket,path=PATH) it is\n"
         "\"SOCKET PATH\", then \"CONNECTED\" and \"DISCONNECTED\" as far ends come and go;\n"
         "each connection is a board plugged in afresh. A socket carries bytes only:\n"
         "with --lines-from-frames the enable line follows each frame's mode.\n"
         "Of the faults only " + tavrin::sim::servableFaultsText() +
         " can be served: the others act\n"
         "on steps the program performs on its own side of the link.\n"
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
              << "' (it takes --pty or --socket PATH, and the --sim-* options)\n";
    return 2;
  }
  const bool onSocket = !words.options.socketPath.empty();
  if (words.options.pty == onSocket) {
    std::cerr << "tavrin-simboard: " << (onSocket ? "--pty and --socket exclude each other" : "--pty or --socket PATH is required")
              << " (the two ways it serves the board)\n";
    return 2;
  }
  if (words.options.linesFromFrames && !onSocket) {
    std::cerr << "tavrin-simboard: --lines-from-frames is for --socket (on a pty the lines travel in the stream)\n";
    return 2;
  }
  tavrin::sim::SimConfig config = words.options.backend.sim;
  if (auto bad = tavrin::sim::ServedBoard::unservableFaults(config); !bad.empty()) {
    std::cerr << "tavrin-simboard: fault '" << bad.front()
              << "' cannot be served: it acts on a step the program performs on its own side of the link (only "
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

  tavrin::sim::ServedBoard board(config);
  if (onSocket ? !board.listen(words.options.socketPath, words.options.linesFromFrames, error) : !board.openPty(error)) {
    std::cerr << "tavrin-simboard: " << (onSocket ? "no socket: " : "no pseudo-terminal: ") << error << '\n';
    return 1;
  }
  std::cout << (onSocket ? "SOCKET " : "PTY ") << board.path() << std::endl;

  board.serve([] { return stopSignal != 0; }, stdinIsWatched() ? 0 : -1,
              [](bool connected) { std::cout << (connected ? "CONNECTED" : "DISCONNECTED") << std::endl; });
  if (board.droppedBytes())
    std::cerr << "tavrin-simboard: " << board.droppedBytes() << " reply bytes found no room at the far end\n";
  return 0;
}
