// Measures how long a frequency sweep really takes on the real Qt toolkit,
// against the sum of the waits it is made of: the sweep's own work (frames,
// log lines, the window's models) should add next to nothing. The default
// sweep (40000 to 50000 Hz in 500 Hz steps) on the simulated board without
// noise, with a step time of 50 ms and of 10 ms. Real time, so not a test:
// about 75 s a run, about 25 s with --quick. --plot has the plot window
// open (offscreen), drawing the sweep reading by reading.
//
//   bench_sweep [--quick] [--plot] [--json FILE]
//
// Exits with 1 when the median wall time of either step time is more than
// 1.01 times its ideal, and with 2 when the sweep cannot be measured (it did
// not run, or ran other waits than its plan has).

#include <sys/utsname.h>

#include <QApplication>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "form/mainform.h"
#include "qt/plot_window.h"
#include "procedures/sweep.h"
#include "qt/qt_toolkit.h"
#include "shell/program.h"
#include "sim/sim_board.h"

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

constexpr double kGoalRatio = 1.01;

struct Options {
  int sweeps = 15;  // per step time
  bool plot = false;  // the plot window open, drawing each reading
  std::string jsonPath;
};

std::optional<Options> parseArgs(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--quick") {
      o.sweeps = 5;
    } else if (a == "--plot") {
      o.plot = true;
    } else if (a == "--json" && i + 1 < argc) {
      o.jsonPath = argv[++i];
    } else {
      std::cerr << "usage: bench_sweep [--quick] [--plot] [--json FILE]\n";
      return std::nullopt;
    }
  }
  return o;
}

struct Stats {
  std::size_t n = 0;
  double min = 0, median = 0, max = 0;
};

Stats summarize(std::vector<double> v) {
  Stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.n = v.size();
  s.min = v.front();
  s.max = v.back();
  s.median = s.n % 2 ? v[s.n / 2] : (v[s.n / 2 - 1] + v[s.n / 2]) / 2;
  return s;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  double one = 0, five = 0, fifteen = 0;
  if (!(in >> one >> five >> fifteen)) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
  return text;
}

std::string machineDescription() {
  std::string cpu = "unknown CPU";
  std::ifstream info("/proc/cpuinfo");
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("model name", 0) == 0) {
      auto colon = line.find(':');
      if (colon != std::string::npos) cpu = line.substr(line.find_first_not_of(" \t", colon + 1));
      break;
    }
  }
  std::ostringstream out;
  out << cpu << ", " << std::thread::hardware_concurrency() << " cores";
  utsname u{};
  if (uname(&u) == 0) out << ", " << u.sysname << " " << u.release;
  out << ", Qt " << qVersion() << " (" << QGuiApplication::platformName().toStdString() << ")";
  return out.str();
}

// The program without its window, on the simulated board with a noiseless
// motor, its logs in a folder of its own. Every wait's tick is counted on the
// way to its handler, so each sweep can be checked against its plan.
struct Bench {
  QTemporaryDir logs;
  tavrin::QtToolkit toolkit;
  tavrin::sim::SimBoard board;
  tavrin::Program program;
  int pauses = 0, delays = 0;
  double waitedMs = 0;  // the lengths of the waits that ran

  static tavrin::sim::SimConfig noiseless() {
    tavrin::sim::SimConfig c;
    c.model.noise = 0;
    return c;
  }
  static tavrin::ProgramSetup setupIn(const QTemporaryDir& dir) {
    tavrin::ProgramSetup s;
    s.paths = tavrin::PathMapper(dir.path().toStdString());
    return s;
  }

  Bench() : board(noiseless(), [this] { return toolkit.nowMs(); }), program(toolkit, board, setupIn(logs)) {
    using tavrin::Event;
    using tavrin::EventArgs;
    tavrin::Mainform& f = program.form;
    f.on(f.tmrpause, Event::Timer, [this, &f](EventArgs&) {
      ++pauses;
      waitedMs += static_cast<double>(f.tmrpause.interval);
      program.waits.tmrpause_Timer();
    });
    f.on(f.tmrDelay, Event::Timer, [this, &f](EventArgs&) {
      ++delays;
      waitedMs += static_cast<double>(f.tmrDelay.interval);
      program.waits.tmrDelay_Timer();
    });
  }
};

// One step time's sweeps and what its plan says they should take.
struct SweepRun {
  int stepTimeMs = 0;
  int waits = 0;          // per sweep, from the plan
  double idealMs = 0;     // per sweep, from the plan
  std::vector<double> wallMs;
  std::vector<double> ratios;
};

// The sum of the waits a sweep is made of, from its boxes: 500 ms before the
// offset reading and 50 ms after it; one StepTime pause before each of the
// stepCount + 1 frequency readings and one at the end; and the 50 ms reply
// wait inside every reading (the offset and the stepCount + 1 frequencies).
std::optional<std::pair<int, double>> planned(const tavrin::Mainform& f, std::string& whyNot) {
  auto plan = tavrin::planSweep(f.TxtSwpStart.text, f.TxtSwpStop.text, f.TxtSwpStep.text, whyNot);
  if (!plan) return std::nullopt;
  const double readings = plan->stepCount + 2.0;  // the offset, then start .. stop
  const double stepPauses = plan->stepCount + 2.0;  // before each frequency reading, and at the end
  constexpr double reply = 50, offsetSettle = 500, afterOffset = 50;
  const int waits = static_cast<int>(2 + readings + stepPauses);
  return std::make_pair(waits, offsetSettle + afterOffset + readings * reply + stepPauses * f.StepTime);
}

// Runs `count` sweeps (after one not measured); false with the reason when a
// sweep cannot be measured.
bool measure(Bench& b, int stepTimeMs, int count, SweepRun& r, std::string& whyNot) {
  tavrin::Mainform& f = b.program.form;
  f.setText(f.TxtSwpStart, "40000");
  f.setText(f.TxtSwpStop, "50000");
  f.setText(f.TxtSwpStep, "500");
  f.setText(f.TxtSteptime, std::to_string(stepTimeMs));
  auto plan = planned(f, whyNot);
  if (!plan) return false;
  r.stepTimeMs = stepTimeMs;
  r.waits = plan->first;
  r.idealMs = plan->second;
  for (int i = -1; i < count; ++i) {  // the first sweep warms up: page faults, first log files
    b.pauses = b.delays = 0;
    b.waitedMs = 0;
    b.toolkit.doEvents();
    auto start = Clock::now();
    bool ran = f.fire(f.CmdSwpStart, tavrin::Event::Click);
    double wall = msBetween(start, Clock::now());
    if (!ran || f.Info.text.rfind("Max ", 0) != 0) {
      whyNot = "the sweep did not run to its end; Info: " + f.Info.text;
      return false;
    }
    if (b.pauses + b.delays != r.waits || b.waitedMs != r.idealMs) {
      std::ostringstream why;
      why << "the sweep ran " << b.pauses << " pauses and " << b.delays << " delays, " << b.waitedMs
          << " ms in all; its plan has " << r.waits << " waits, " << r.idealMs << " ms";
      whyNot = why.str();
      return false;
    }
    if (i < 0) continue;
    r.wallMs.push_back(wall);
    r.ratios.push_back(wall / r.idealMs);
  }
  return true;
}

struct Results {
  std::string machine, loadBefore, loadAfter;
  SweepRun step50, step10;
};

void printRow(const SweepRun& r) {
  Stats w = summarize(r.wallMs), q = summarize(r.ratios);
  std::printf("  step time %2d ms  %3zu  %5d  %8.1f  %8.1f  %8.1f  %8.1f   %6.4f  %6.4f  %6.4f  %6.1f\n", r.stepTimeMs,
              w.n, r.waits, r.idealMs, w.min, w.median, w.max, q.min, q.median, q.max, w.median - r.idealMs);
}

bool goalMet(const SweepRun& r) { return !r.ratios.empty() && summarize(r.ratios).median <= kGoalRatio; }

// Prints the table; returns true when the goal is met.
bool report(const Results& r) {
  std::printf("Tavrin sweep (40000 to 50000 Hz, 500 Hz steps) on the Qt toolkit, simulated board\n");
  std::printf("machine: %s\nload average (1, 5, 15 min): %s before, %s after\n\n", r.machine.c_str(),
              r.loadBefore.c_str(), r.loadAfter.c_str());
  std::printf("  sweep            n    waits  ideal ms    min ms  median ms   max ms   min/    median/ max/    "
              "median\n");
  std::printf("                                                                        ideal   ideal   ideal   "
              "over ms\n");
  printRow(r.step50);
  printRow(r.step10);
  std::printf("\n  ideal: the sum of the sweep's waits, from its plan and checked against the waits of every run\n\n");
  bool ok50 = goalMet(r.step50), ok10 = goalMet(r.step10);
  auto mark = [](bool ok) { return ok ? "met   " : "MISSED"; };
  std::printf("  goal  %s  median wall / ideal <= %.2f with 50 ms steps (%.4f)\n", mark(ok50), kGoalRatio,
              summarize(r.step50.ratios).median);
  std::printf("  goal  %s  median wall / ideal <= %.2f with 10 ms steps (%.4f)\n", mark(ok10), kGoalRatio,
              summarize(r.step10.ratios).median);
  return ok50 && ok10;
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out + "\"";
}

void addRunJson(std::ostringstream& j, const SweepRun& r) {
  Stats w = summarize(r.wallMs), q = summarize(r.ratios);
  std::string k = "sweep_step" + std::to_string(r.stepTimeMs) + "_";
  j << "  \"" << k << "count\": " << w.n << ",\n"
    << "  \"" << k << "waits\": " << r.waits << ",\n"
    << "  \"" << k << "ideal_ms\": " << r.idealMs << ",\n"
    << "  \"" << k << "min_ms\": " << w.min << ",\n"
    << "  \"" << k << "median_ms\": " << w.median << ",\n"
    << "  \"" << k << "max_ms\": " << w.max << ",\n"
    << "  \"" << k << "min_ratio\": " << q.min << ",\n"
    << "  \"" << k << "median_ratio\": " << q.median << ",\n"
    << "  \"" << k << "max_ratio\": " << q.max << ",\n";
}

bool writeJson(const std::string& path, const Results& r) {
  std::ostringstream j;
  j.precision(7);
  j << "{\n";
  addRunJson(j, r.step50);
  addRunJson(j, r.step10);
  j << "  \"goal_median_ratio\": " << kGoalRatio << ",\n"
    << "  \"load_before\": " << jsonString(r.loadBefore) << ",\n"
    << "  \"load_after\": " << jsonString(r.loadAfter) << ",\n"
    << "  \"machine\": " << jsonString(r.machine) << "\n}\n";
  std::ofstream f(path, std::ios::binary);
  f << j.str();
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  auto options = parseArgs(argc, argv);
  if (!options) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  Results r;
  r.loadBefore = loadAverage();
  std::string whyNot;
  {
    Bench b;
    if (!b.logs.isValid()) {
      std::cerr << "bench_sweep: cannot make a folder for the logs\n";
      return 2;
    }
    // The plot window shown (offscreen), drawing every reading as it comes.
    std::unique_ptr<tavrin::PlotWindow> plot;
    if (options->plot) {
      plot = std::make_unique<tavrin::PlotWindow>(b.program, nullptr);
      plot->openByOperator();
    }
    b.program.Form_Load();
    if (!b.program.form.ControlAvailable) {
      std::cerr << "bench_sweep: the simulated board did not answer at start-up; Info: " << b.program.form.Info.text
                << "\n";
      return 2;
    }
    if (!measure(b, 50, options->sweeps, r.step50, whyNot) || !measure(b, 10, options->sweeps, r.step10, whyNot)) {
      std::cerr << "bench_sweep: cannot measure: " << whyNot << "\n";
      return 2;
    }
  }
  r.loadAfter = loadAverage();
  r.machine = machineDescription();

  bool ok = report(r);
  if (!options->jsonPath.empty() && !writeJson(options->jsonPath, r)) {
    std::cerr << "bench_sweep: cannot write " << options->jsonPath << "\n";
    return 2;
  }
  return ok ? 0 : 1;
}
