// The registry of link backends, chosen by --board: one entry each, with its
// own command-line options. Each says whether it can run here; one that
// cannot leaves a reason for Info and the program goes on without a device.
// The order is the order of --help, --list-boards and of any walk over them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/option_spec.h"
#include "link/link.h"
#include "sim/sim_board.h"

namespace tavrin {

// The board that is no backend of its own: the first backend that sees a board.
inline constexpr const char* kAutoBoard = "auto";

struct BackendOptions {
  std::string board = kAutoBoard;
  std::string d2xxLibrary;  // empty: the vendor's usual name
  std::string ftdiLibrary;  // empty: libftdi1's usual name
  std::string port;         // the serial backend's device (/dev/ttyUSB0, COM3)
  bool inbandLines = false; // serial: modem lines in the byte stream (a pty to tavrin-simboard)
  sim::SimConfig sim;
};

// A board a backend can see.
struct BoardInfo {
  std::string serial, description;
  std::string port;  // the serial backend's: the path to open it by
};
// What a backend sees: its boards, or none and why (library missing, no
// permission on the USB device, a kernel driver bound ...).
struct BoardList {
  std::vector<BoardInfo> boards;
  std::string whyNone;
};

// The boards a link sees through its listing operations; none, with the
// reason, when the count fails or is 0.
BoardList listThrough(Link& link);

// One option of a backend, and where its value goes.
struct BackendOption {
  OptionInfo info;
  bool (*set)(BackendOptions&, const OptionValue&, std::string& error);
  // Given with another --board it is a mistake ("option --port goes with
  // --board serial"). Otherwise it is kept for --list-boards, which walks
  // every backend.
  bool onlyWithIt = false;
};

struct Backend {
  const char* name;
  const char* about;
  std::vector<BackendOption> options;
  // It answers at once, so a script may run on it in virtual time.
  bool virtualTime = false;
  // What its options lack to open a board (a message), or empty.
  std::string (*missing)(const BackendOptions&) = nullptr;
  // Returns the backend, or null with the reason it cannot run here.
  std::function<std::unique_ptr<Link>(const BackendOptions&, std::function<double()> clockMs, std::string& whyNot)>
      open;
  // Every board this backend can see now, for --list-boards.
  std::function<BoardList(const BackendOptions&)> list;
};

// What `auto` takes: the first backend that sees a board, in the order the
// vendor library, libftdi1, a serial port whose USB device is an FTDI chip
// (its port chosen); when none sees one, the vendor library, which then says
// why as it always has. `why` says which was taken and why, for --list-boards.
struct AutoChoice {
  std::string board, port, why;
};
AutoChoice chooseAutoBoard(const BackendOptions& options);

const std::vector<Backend>& backends();
const Backend* findBackend(const std::string& name);
// "sim, d2xx, ..." for messages.
std::string backendNames();
// One line a board, "BACKEND<TAB>INDEX<TAB>SERIAL<TAB>DESCRIPTION", and for a
// backend that sees none "BACKEND<TAB>-<TAB>none: REASON".
std::string boardListing(const BackendOptions& options);

}  // namespace tavrin
