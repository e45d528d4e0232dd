// The simulated drive board: a link backend like any other. It decodes the byte
// stream into frames, keeps the DTR (enable) and RTS (direction) lines and
// answers current requests from a motor model. Fault knobs make it misbehave
// the ways real set-ups do.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/frame.h"
#include "sim/faults.h"

namespace tavrin::sim {

struct MotorModel {
  // A step of the resonance, as after a load change.
  struct Jump {
    double atMs;  // ms since program start
    double hz;    // may be negative
  };

  double resonanceHz = 44100;  // frequency of the current peak at program start
  double widthHz = 300;        // full width of the peak at half height
  double gain = 180;           // counts per volt of supply at the peak
  double baseCounts = 20;      // counts while enabled, away from the peak
  double idleCounts = 12;      // counts with the enable line clear
  double noise = 3;            // noise amplitude, +/- counts
  std::uint32_t seed = 1;
  double driftHzPerS = 0;      // steady move of the resonance, as a warming motor's
  std::vector<Jump> jumps;     // all jumps due by a time add up

  // The resonance at `ms` since program start: drift plus the jumps due by then.
  double resonanceAt(double ms) const;
};

struct SimConfig {
  std::string description = "Tavrin Drive Board (simulated)";
  std::string serial = "TVSIM001";
  double latencyMs = 20;      // reply delay after a current request
  double lateLatencyMs = 80;  // with the "late" fault: after the program has looked
  MotorModel model;
  std::set<std::string> faults;  // names of uncounted faults (sim/faults.h)
  std::optional<std::uint64_t> unplugAfterCalls;
};

// The count a counted fault holds in `config`, none when it is not set.
std::optional<std::uint64_t> faultCount(const SimConfig& config, const FaultInfo& fault);
// Parses "open,silent,unplug=40" into the config; false with a message on error.
bool parseFaults(const std::string& list, SimConfig& config, std::string& error);
// Parses "HZ@MS" (--sim-jump) into a jump added to the model; false with a
// message on error.
bool parseJump(const std::string& text, MotorModel& model, std::string& error);

// Supply voltage in volts for a supply code 0..180.
double supplyVolts(std::uint8_t code);

class SimBoard : public Link {
 public:
  SimBoard(SimConfig config, std::function<double()> clockMs);

  TAVRIN_LINK_OPERATIONS_OVERRIDDEN

  // What the board sees, for tests and benchmarks.
  bool dtr() const { return dtr_; }
  bool rts() const { return rts_; }
  bool isOpen() const { return open_; }
  int closeCount() const { return closes_; }
  // The frames received, oldest first: at least the last kFrameHistory.
  static constexpr std::size_t kFrameHistory = 4096;
  const std::vector<ReceivedFrame>& frames() const { return frames_; }
  double frequencyHz() const { return frequencyOfWord(freqWord_); }
  std::uint8_t supplyCode() const { return supplyCode_; }

  SimConfig& config() { return cfg_; }

  // For a board served in real time (tavrin-simboard): when its next reply
  // byte is due (ms on its clock), none when nothing waits; and whether part
  // of a frame has come and the rest not (any other call would end it there).
  std::optional<double> nextReplyDueMs() const {
    return rx_.empty() ? std::nullopt : std::optional<double>(rx_.front().at);
  }
  bool frameInProgress() const { return assembler_.waiting(); }

 private:
  bool fault(Fault f) const { return cfg_.faults.count(std::string(f.info().name)) != 0; }
  // Counts a call; false once the board has been unplugged.
  bool plugged();
  LinkStatus check(LinkHandle h);
  // As check(h), and IO_ERROR when the step's fault is set.
  LinkStatus check(LinkHandle h, Fault stepFault);
  LinkStatus deviceText(std::uint32_t index, Fault stepFault, const std::string& text, std::size_t limit,
                        std::string& out);
  void onFrame(const ReceivedFrame& f);
  void answerCurrentRequest(double requestTime);
  void noteOtherCall();
  double noise();
  int countsAt(double ms);

  SimConfig cfg_;
  std::function<double()> clock_;
  bool open_ = false;
  int closes_ = 0;
  bool dtr_ = false, rts_ = false;
  std::uint64_t calls_ = 0;
  std::uint32_t rng_;
  FrameAssembler assembler_;
  double headerTime_ = 0;
  std::vector<ReceivedFrame> frames_;
  std::int32_t freqWord_ = 0;
  std::uint8_t supplyCode_ = 0;
  struct Pending {
    double at;
    std::uint8_t byte;
  };
  std::deque<Pending> rx_;
};

}  // namespace tavrin::sim
