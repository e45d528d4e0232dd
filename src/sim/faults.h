// The simulated board's faults (--sim-fault LIST): each one entry here, read by
// the parser, the board, --help, the pseudo-terminal server and the tests.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::sim {

struct FaultInfo {
  std::string_view name;
  bool counted;   // written NAME=N, N a count of the program's calls
  bool servable;  // a board served over a pty or a socket can carry it: it acts
                  // on the board's replies, not on a step the program performs
                  // on its own side of a serial link
  std::string_view help;
};

// In the order --help lists them.
inline constexpr std::array kFaults = {
    FaultInfo{"no-device", false, false, "no board on the bus"},
    FaultInfo{"list", false, false, "listing the devices fails"},
    FaultInfo{"serial", false, false, "reading the serial number fails"},
    FaultInfo{"description", false, false, "reading the description fails"},
    FaultInfo{"open", false, false, "the open fails"},
    FaultInfo{"reset", false, false, "the reset fails"},
    FaultInfo{"purge", false, false, "the purge fails"},
    FaultInfo{"baud", false, false, "setting the baud rate fails"},
    FaultInfo{"data", false, false, "setting the data characteristics fails"},
    FaultInfo{"flow", false, false, "setting the flow control fails"},
    FaultInfo{"rts", false, false, "clearing RTS fails"},
    FaultInfo{"dtr", false, false, "clearing DTR fails"},
    FaultInfo{"close", false, false, "the close fails"},
    FaultInfo{"silent", false, true, "never answers"},
    FaultInfo{"short", false, true, "7-byte replies"},
    FaultInfo{"late", false, true, "answers after 80 ms, too late for the 50 ms wait"},
    FaultInfo{"garbled", false, true, "replies of noise"},
    FaultInfo{"unplug", true, false, "every call after the N-th fails"},
};

// A fault named in code: the name is looked up as the program compiles, so a
// misspelt one does not build.
class Fault {
 public:
  // Implicit, so that a step names its fault as fault("reset").
  consteval Fault(const char* name) : index_(indexOf(name)) {}
  constexpr const FaultInfo& info() const { return kFaults[index_]; }

 private:
  static consteval std::size_t indexOf(std::string_view name) {
    for (std::size_t i = 0; i < kFaults.size(); ++i)
      if (kFaults[i].name == name) return i;
    throw "no such simulated fault";  // not a constant expression: a compile error
  }
  std::size_t index_;
};

// The entry named `name` (without "=N"); null if none is.
const FaultInfo* findFault(std::string_view name);
// Every fault as --help names it ("open", "unplug=N"), in table order.
const std::vector<std::string>& faultNames();
// "NAME        what it does" (the help in one column), one per fault, in table
// order.
std::vector<std::string> faultHelpLines();
// The servable faults as text: "silent, short, late and garbled".
std::string servableFaultsText();

}  // namespace tavrin::sim
