// What the stand-in libraries share: the simulated board a library answers
// with (one per loaded copy, as a C library keeps its state), its clock, and
// the test hooks every stand-in exports. Included by exactly one source file
// of each stand-in.
#pragma once

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

#include "link/trace.h"
#include "sim/sim_board.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace standin {

// Every call the board gets is traced as it arrived, so a test can check what
// the library passed on.
struct State {
  double (*clock)(void*) = nullptr;
  void* clockContext = nullptr;
  std::unique_ptr<tavrin::sim::SimBoard> board;
  std::ostringstream received;
  std::unique_ptr<tavrin::TracingLink> tracing;
  std::string receivedText;
};
inline State state;

// The hook's clock; without one, real milliseconds since the library was
// first asked, so a program that loads the stand-in by itself (a --realtime
// run of the contract test) gets its board's answers in real time.
inline double now() {
  if (state.clock) return state.clock(state.clockContext);
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline void makeBoard(const tavrin::sim::SimConfig& config) {
  state.tracing.reset();
  state.received.str("");
  state.board = std::make_unique<tavrin::sim::SimBoard>(config, now);
  state.tracing = std::make_unique<tavrin::TracingLink>(*state.board, state.received, now);
}

// The board, as every call of the library reaches it.
inline tavrin::Link& board() {
  if (!state.tracing) makeBoard(tavrin::sim::SimConfig{});
  return *state.tracing;
}

// Called by TavrinStandIn_Reset after the new board is made: a library's own
// state (open contexts, its call log) starts anew too. Each stand-in defines it.
void onReset();

}  // namespace standin

// ---- test hooks (not part of the libraries they stand in for) ----

// Gives the board a clock in milliseconds, e.g. a test's virtual time; null
// for real time.
STANDIN_EXPORT void TavrinStandIn_SetClock(double (*clock)(void*), void* context) {
  standin::state.clock = clock;
  standin::state.clockContext = context;
}

// A fresh board (closed, lines clear) with the faults --sim-fault takes.
// Returns 0, or -1 for a fault list the board does not know.
STANDIN_EXPORT int TavrinStandIn_Reset(const char* faults) {
  tavrin::sim::SimConfig config;
  std::string error;
  if (faults && !tavrin::sim::parseFaults(faults, config, error)) return -1;
  standin::makeBoard(config);
  standin::onReset();
  return 0;
}

// The calls as the board received them, in the link trace's format. The text
// stays valid until the next call of this hook or of TavrinStandIn_Reset.
STANDIN_EXPORT const char* TavrinStandIn_Received() {
  standin::board();
  standin::state.tracing->flush();
  standin::state.receivedText = standin::state.received.str();
  return standin::state.receivedText.c_str();
}
