// The remote control's commands: each runs the handler the window's own
// control runs (a click, Enter in a box, a tick), at the moment it arrives,
// so the window stays the one owner of the state and the trace shows the
// calls an operator's action would. Without sockets: a ClientSession takes a
// client's bytes and gives back what to send; the server (qt/) moves them.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plot/resonance.h"
#include "remote/scpi.h"
#include "shell/program.h"

namespace tavrin::remote {

// Limits a server keeps for every client.
inline constexpr std::size_t kMaxLineBytes = 4096;    // a longer line: -223, the rest of it dropped
inline constexpr std::size_t kMaxErrors = 20;         // the error queue; beyond it the last reads -350
inline constexpr std::size_t kMaxPendingOutput = 1 << 20;  // unread answers beyond this: the client is dropped
// A client's share of one turn: its lines run until this much is answered,
// then the others (and the program's own waits) have their turn, and the
// server sends what is there (and drops a client that does not read).
inline constexpr std::size_t kOutputPerTurn = 16 << 10;
// Lines received and not run yet, at most this much: beyond it the server
// reads no more from the client (TCP holds it back) until they have run.
inline constexpr std::size_t kMaxQueuedInput = 64 << 10;

class ClientSession;

class RemoteControl {
 public:
  // `later` runs a function from the event loop soon after (the server's
  // QTimer::singleShot(0), a test's own queue): the commands that start a
  // long operation (a sweep, a sequence run, tracking) click from there and
  // return at once. `token`: what SYSTem:AUTHenticate must send; empty: none.
  // `version`: the program's, for *IDN?.
  RemoteControl(Program& program, std::function<void(std::function<void()>)> later, std::string token,
                std::string version);
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;

  // An operation started before now has not ended: a sweep, a sequence run,
  // tracking that was told to stop, or a click asked for and not yet run.
  bool operationsPending() const;
  bool startupEnded() const;
  bool needsToken() const { return !token_.empty(); }
  bool tokenMatches(const std::string& sent) const;
  const std::string& version() const { return version_; }

  // A message the window would show in a box, said while a client's command
  // (or the click it asked for) runs: it goes to that client's error queue.
  void reportMessage(const std::string& text);

  // The readings of the last sweep (the one running, so far), in order.
  const std::vector<SweepPoint>& lastSweep() const { return sweep_; }

 private:
  friend class ClientSession;
  struct Reply {
    std::string answer;  // a query's answer; empty for a command
    bool failed = false;
  };
  // Runs one command for `client`; a failure goes to the client's error queue.
  Reply execute(ClientSession& client, const scpi::Command& command);
  // The table's rows, looked up by header.
  struct Row;
  static std::span<const Row> table();

  // Clicks `button` from the event loop, for a command that returns at once;
  // `started` tells afterwards whether the operation began (if not, the
  // window's reason goes to `client`, if it is still there).
  void clickLater(ClientSession& client, Control& button, const std::function<bool()>& started);
  bool clicking(const Control& button) const;

  Program& program_;
  std::function<void(std::function<void()>)> later_;
  std::string token_;
  std::string version_;
  std::vector<const Control*> clicksAhead_;  // clicks asked for and not yet run
  std::vector<SweepPoint> sweep_;
  bool sweepSteps_ = false;  // a sweep's steps are running: its readings are collected
  int readings_ = 0, sweepsBegun_ = 0, sequencesBegun_ = 0;  // counted as they happen
  std::vector<ClientSession*> clients_;  // connected now
  std::vector<ClientSession*> owner_;    // whose command (or asked-for click) runs, innermost last
  friend struct Call;
};

// One client's side of the conversation.
class ClientSession {
 public:
  ClientSession(RemoteControl& control);
  ~ClientSession();
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  // Bytes as they came: whole lines are queued, a line beyond kMaxLineBytes
  // is an error and the rest of it is dropped.
  void receive(std::string_view bytes);
  // Runs the queued lines in order until one waits (*OPC?, *WAI) for
  // operations to end, kOutputPerTurn is answered, or none is left; a
  // session opened during start-up runs nothing before start-up's end. Never
  // runs inside itself: a command whose handler waits (and so lets events
  // in) finishes before the next.
  void run();
  // Waits for operations (or start-up) to end: run() again once they may have.
  bool waiting() const { return waitingFor_ != Wait::None; }
  bool hasWork() const { return !lines_.empty() || !pending_.empty(); }
  // Bytes of the lines received and not run yet.
  std::size_t queuedBytes() const { return queued_ + partial_.size(); }
  // One of its commands is running (it may be waiting inside, events let in).
  bool running() const { return running_; }
  // What to send so far; taken once.
  std::string takeOutput();

  void addError(int code, const std::string& message);
  std::size_t errorCount() const { return errors_.size(); }

 private:
  enum class Wait { None, StartUp, Opc, Wai };
  void runLine(std::string_view line);
  void runPending();
  RemoteControl& control_;
  std::deque<std::string> lines_;
  std::size_t queued_ = 0;  // the bytes in lines_
  std::string partial_;
  bool dropping_ = false;  // the rest of a line too long
  bool running_ = false;
  bool authenticated_ = false;
  Wait waitingFor_ = Wait::None;
  // The line being run: its commands from `next_` on, and the answers so far.
  std::vector<scpi::Parsed> pending_;
  std::size_t next_ = 0;
  std::vector<std::string> answers_;
  std::deque<std::pair<int, std::string>> errors_;
  std::string output_;
  friend class RemoteControl;
};

}  // namespace tavrin::remote
