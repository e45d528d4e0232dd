// The simulated drive board served in real time (tavrin-simboard), on one of
// two ends. POSIX only.
//
// A pseudo-terminal (--pty): the program opens the slave side as a serial
// port (--board serial --port PATH --inband-lines) and sends its line changes
// and the end of each write in the byte stream (link/inband_lines.h), so the
// board sees what it sees under --board sim.
//
// A Unix socket (--socket PATH), for a far end that carries bytes only: QEMU's
// emulated FT232 (-chardev socket,path=PATH) hands on what the program writes,
// but not the modem lines nor where one write ended. The byte stream is cut
// back into the program's writes by the frame's layout; with
// linesFromFrames the enable line follows each frame's mode, as the program
// sets it before the frame (mode 4 clears it, mode 7 leaves it, any other
// sets it). The direction line stays where it was: nothing on the stream
// tells it. Each connection is a board plugged in afresh.
//
// Replies leave at their due time on the board's clock, which starts at the
// first byte the program sends.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/inband_lines.h"
#include "sim/sim_board.h"

namespace tavrin::sim {

// Cuts a plain byte stream back into the writes of the program that sent it:
// a frame's header (STX and mode), then its 4, 4, 2, 2 and 5 bytes; a byte
// that cannot start a frame is a write of its own. A header followed by
// silence stands alone (the caller says when with `timeOut`).
class WriteCutter {
 public:
  // Feeds one byte; returns a write when this byte completes one.
  std::optional<std::vector<std::uint8_t>> feed(std::uint8_t byte);
  // The bytes held so far, as a write of their own (none when nothing is held);
  // the next byte starts a frame afresh.
  std::optional<std::vector<std::uint8_t>> timeOut();
  bool holding() const { return !held_.empty() || part_ != 0; }

 private:
  std::size_t part_ = 0;  // which write of the frame comes next
  std::vector<std::uint8_t> held_;
};

class ServedBoard {
 public:
  explicit ServedBoard(SimConfig config);
  ~ServedBoard();
  ServedBoard(const ServedBoard&) = delete;
  ServedBoard& operator=(const ServedBoard&) = delete;

  // The faults of `config` a served board cannot carry (those not servable in
  // sim/faults.h), as --sim-fault writes them: "open", "unplug=40".
  static std::vector<std::string> unservableFaults(const SimConfig& config);

  // Opens a pseudo-terminal pair; false with the reason.
  bool openPty(std::string& error);
  // Listens on a Unix socket at `path` (a socket left there by an earlier run
  // is replaced; any other file is not); false with the reason.
  bool listen(const std::string& path, bool linesFromFrames, std::string& error);
  // The pty's slave path, or the socket's path.
  const std::string& path() const { return path_; }

  // Serves the board until `stop()` says so (asked at least every 50 ms), or
  // until `watchFd` (when not -1) reaches end of file. On a socket,
  // `onConnection(true)` is told when a far end connects, `(false)` when it
  // goes.
  void serve(const std::function<bool()>& stop, int watchFd = -1,
             const std::function<void(bool)>& onConnection = {});

  // The board; look at it only while serve() is not running.
  SimBoard& board() { return *board_; }
  // Bytes of replies the far end had no room for (none expected).
  std::size_t droppedBytes() const { return dropped_; }

 private:
  double nowMs() const;
  void plugIn();
  void onInput(const std::uint8_t* data, std::size_t n);
  void onPlainByte(std::uint8_t byte);
  void writeToBoard(const std::vector<std::uint8_t>& bytes);
  bool frameInProgress() const;
  void deliver();
  void endConnection();

  SimConfig config_;
  std::unique_ptr<SimBoard> board_;
  LinkHandle handle_ = nullptr;
  bool socket_ = false, linesFromFrames_ = false;
  int listen_ = -1;  // the socket being listened on
  int io_ = -1;      // the pty's master side, or the connected far end
  int slave_ = -1;   // the pty's slave side, held open
  std::string path_;
  std::optional<std::chrono::steady_clock::time_point> origin_;
  inband::Decoder decoder_;
  WriteCutter cutter_;
  std::vector<std::uint8_t> write_;  // the in-band write whose end mark has not come yet
  double lastInputMs_ = 0;
  std::size_t dropped_ = 0;
};

}  // namespace tavrin::sim
