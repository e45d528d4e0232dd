// How well frequency tracking follows a moving resonance, in virtual time on
// the simulated board: a motor warming at 0, 5, 20 and 50 Hz/s, and a 500 Hz
// jump as after a load change. The algorithm is the program's own; this only
// measures what it achieves.
//
//   bench_tracking [--json FILE]
//
// For each case the motor starts at the resonance (44100 Hz, half-height
// width 300 Hz), tracking runs two virtual minutes, and the drive frequency
// of every pass (the frequency each pass starts from) is compared with the
// resonance at that moment.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/virtual_toolkit.h"
#include "shell/program.h"
#include "sim/sim_board.h"

namespace {

struct Case {
  const char* name;
  double driftHzPerS = 0;
  double jumpHz = 0;  // at kJumpMs
};

constexpr double kStartMs = 1000;     // tracking starts
constexpr double kJumpMs = 60000;
constexpr double kEndMs = 121000;     // two minutes of tracking
constexpr double kPassMs = 450;       // 6 waits of 50 ms and 3 replies of 50 ms
constexpr double kFirstPassMs = kStartMs + 50;  // after the reference reading

struct Result {
  int passes = 0;
  double meanOff = 0, maxOff = 0;
  double withinShare = 0;
  int passesBackAfterJump = -1;  // -1: no jump, or never back
};

Result runCase(const Case& c) {
  tavrin::VirtualToolkit tk;
  tavrin::sim::SimConfig config;
  // The board's usual seeded noise (+/- 3 counts): repeatable, and closer to a
  // real bench than a noiseless peak.
  config.model.driftHzPerS = c.driftHzPerS;
  if (c.jumpHz != 0) config.model.jumps.push_back({kJumpMs, c.jumpHz});
  tavrin::sim::SimBoard board(config, [&tk] { return tk.nowMs(); });
  tavrin::ProgramSetup setup;
  setup.paths = tavrin::PathMapper(std::filesystem::temp_directory_path() / "tavrin-bench-tracking");
  tavrin::Program program(tk, board, setup);
  tavrin::Mainform& f = program.form;
  const double halfWidth = config.model.widthHz / 2;

  std::vector<double> offs;
  int backAfterJump = -1;
  tk.post(kStartMs - 100, [&] {
    f.setText(f.txtFrekvens_DDS1, "44100");
    f.fire(f.cmdStartMotor, tavrin::Event::Click);
  });
  tk.post(kStartMs, [&] { f.fire(f.Tracking, tavrin::Event::Click); });
  // In the middle of each pass's first wait the board drives at the pass's frequency.
  for (double t = kFirstPassMs + 25; t < kEndMs; t += kPassMs)
    tk.post(t, [&, t] {
      double off = std::fabs(board.frequencyHz() - board.config().model.resonanceAt(t));
      offs.push_back(off);
      if (c.jumpHz != 0 && t > kJumpMs && backAfterJump < 0 && off <= halfWidth)
        backAfterJump = static_cast<int>(std::ceil((t - kJumpMs) / kPassMs));
    });
  tk.post(kEndMs, [&] { f.fire(f.Tracking, tavrin::Event::Click); });
  try {
    program.Form_Load();
    while (tk.hasPendingActions()) tk.waitForEvents();
  } catch (const tavrin::RunLimitReached&) {
  }

  Result r;
  r.passes = static_cast<int>(offs.size());
  double sum = 0;
  int within = 0;
  for (double o : offs) {
    sum += o;
    r.maxOff = std::max(r.maxOff, o);
    within += o <= halfWidth;
  }
  r.meanOff = offs.empty() ? 0 : sum / offs.size();
  r.withinShare = offs.empty() ? 0 : 100.0 * within / offs.size();
  r.passesBackAfterJump = backAfterJump;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::string json;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--json" && i + 1 < argc) {
      json = argv[++i];
    } else {
      std::cerr << "usage: bench_tracking [--json FILE]\n";
      return 2;
    }
  }
  const Case cases[] = {{"drift 0 Hz/s"}, {"drift 5 Hz/s", 5}, {"drift 20 Hz/s", 20}, {"drift 50 Hz/s", 50},
                        {"jump +500 Hz at 60 s", 0, 500}};
  std::printf("Tracking a moving resonance (simulated board, width 300 Hz at half height, step 50 Hz,\n"
              "step time 50 ms, +/-3 counts of noise, %.0f s of tracking)\n\n", (kEndMs - kStartMs) / 1000);
  std::printf("| case | passes | mean |F - res| | max |F - res| | passes within +/-150 Hz | passes back after the jump |\n");
  std::printf("|---|---|---|---|---|---|\n");
  std::ofstream out;
  if (!json.empty()) out.open(json);
  if (!json.empty()) out << "{\n";
  bool first = true;
  for (const auto& c : cases) {
    Result r = runCase(c);
    std::string back = c.jumpHz == 0 ? "" : (r.passesBackAfterJump < 0 ? "never" : std::to_string(r.passesBackAfterJump));
    std::printf("| %s | %d | %.0f Hz | %.0f Hz | %.1f %% | %s |\n", c.name, r.passes, r.meanOff, r.maxOff,
                r.withinShare, back.c_str());
    if (out) {
      std::string key = c.name;
      std::replace_if(key.begin(), key.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
      out << (first ? "" : ",\n") << "  \"" << key << "_mean_hz\": " << r.meanOff << ",\n  \"" << key
          << "_max_hz\": " << r.maxOff << ",\n  \"" << key << "_within_percent\": " << r.withinShare;
      if (c.jumpHz != 0) out << ",\n  \"" << key << "_passes_back\": " << r.passesBackAfterJump;
      first = false;
    }
  }
  if (out) out << "\n}\n";
  return 0;
}
