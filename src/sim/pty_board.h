// The simulated drive board served on a pseudo-terminal, in real time
// (tavrin-simboard --pty): the program opens the slave side as a serial port
// (--board serial --port PATH --inband-lines) and talks to the board as to a
// real one. POSIX only.
//
// The board sees what it sees under --board sim: each write the program made
// (the in-band end-of-write mark keeps them apart), each line change, and its
// replies leave at their due time on the board's clock, which starts at the
// first byte the program sends (its first line change, right after its open).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/inband_lines.h"
#include "sim/sim_board.h"

namespace tavrin::sim {

class PtyBoard {
 public:
  explicit PtyBoard(SimConfig config);
  ~PtyBoard();
  PtyBoard(const PtyBoard&) = delete;
  PtyBoard& operator=(const PtyBoard&) = delete;

  // The faults of `config` a pty cannot serve (those not servable in
  // sim/faults.h), as --sim-fault writes them: "open", "unplug=40".
  static std::vector<std::string> unservableFaults(const SimConfig& config);

  // Opens the pseudo-terminal pair; false with the reason.
  bool open(std::string& error);
  const std::string& slavePath() const { return slavePath_; }

  // Serves the board until `stop()` says so (asked at least every 50 ms), or
  // until `watchFd` (when not -1) reaches end of file.
  void serve(const std::function<bool()>& stop, int watchFd = -1);

  // The board; look at it only while serve() is not running.
  SimBoard& board() { return board_; }
  // Bytes of replies the slave side had no room for (none expected).
  std::size_t droppedBytes() const { return dropped_; }

 private:
  double nowMs() const;
  void onInput(const std::uint8_t* data, std::size_t n);
  void flushWrite();
  void deliver();

  SimBoard board_;
  LinkHandle handle_ = nullptr;
  int master_ = -1, slave_ = -1;
  std::string slavePath_;
  std::optional<std::chrono::steady_clock::time_point> origin_;
  inband::Decoder decoder_;
  std::vector<std::uint8_t> write_;  // the write whose end mark has not come yet
  double lastInputMs_ = 0;
  std::size_t dropped_ = 0;
};

}  // namespace tavrin::sim
