// An endurance run in virtual time: a stimulus sequence of many steps run for
// many repeats on the simulated board, clicked through "Sequence Start" as an
// operator would. Measures the wall time of the whole run, the peak resident
// size, and checks the cycle-count file record by record.
//
//   bench_sequence [--json FILE]
//
// Cases, each in a child process of its own so that each has its own peak:
//   1000 steps x 100 repeats     the goal: under 1 s of wall time
//   10 steps x 10,000 repeats    the same 100,000 steps in 100 times the repeats
//   1000 steps x 1,000 repeats   ten times the steps and the repeats
// Every case must end as a finished run (counter at the repeats, button back to
// "Sequence Start", no end note) with exactly one record in C:\Cyclecnt.txt
// for the repeats 1, 11, 21, ..., in order.
//
// Memory: the peak resident size of every run must be that of the first run
// (within kPeakToleranceKb), and so must the heap in use at the end of the run
// apart from the simulated board's log of its recent frames (within
// kHeapToleranceKb).
// Exit status 1 when a goal is missed, 2 on a bad command line.

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/virtual_toolkit.h"
#include "shell/program.h"
#include "sim/sim_board.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  const char* name;
  int steps;
  int repeats;
  bool timeGoal;  // must finish in under kWallGoalMs
  bool logging = false;  // "Log current" ticked before the run: readings go into the cycle-count file too
};

constexpr double kWallGoalMs = 1000;
// The heap in use differs by a few allocations from run to run (the names of
// longer numbers, container slack); more than this is growth.
constexpr long kHeapToleranceKb = 64;
constexpr long kPeakToleranceKb = 1024;

// What a child reports to the parent (a plain struct through a pipe).
struct Outcome {
  double wallMs = 0;      // Form_Load to the end of the run
  double virtualMs = 0;   // virtual time at the end
  long frames = 0;        // frames the simulated board received
  long frameLogKb = 0;    // the board's log of them
  long heapKb = 0;        // heap in use at the end, apart from that log
  int records = 0;        // lines of the cycle-count file
  bool recordsOk = false; // count and numbers as they should be
  bool finished = false;  // the run ended as a finished one
  long rssAt1000Kb = 0, rssAtEndKb = 0;  // resident size at repeat 1,000 and at the end
  char note[200] = {};    // what went wrong, for the table
};

// Step i of a sequence: supplies from 2.0 to 5.0 V, blocks of seven steps in
// alternating directions, the motor off on every 25th step, durations of 1 to
// 5 units; the last step leaves the motor running, so every repeat ends with
// three tracking passes.
std::string sequenceFile(int steps) {
  std::string s = "; bench_sequence: " + std::to_string(steps) + " steps\r\n";
  for (int i = 0; i < steps; ++i) {
    int supply = i % 25 == 12 ? 0 : 2000 + (i * 37) % 3000;
    if ((i / 7) % 2 == 1) supply = -supply;
    s += std::to_string(supply) + "," + std::to_string(1 + i % 5) + "\r\n";
  }
  return s;
}

// The records the file must hold: one for each of the repeats 1, 11, 21, ...
// as a quoted "<date and time> Cycle count:N" line with CR LF.
bool checkRecords(const std::string& contents, int repeats, int& lines, std::string& why) {
  lines = 0;
  int expected = 1;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    std::size_t end = contents.find("\r\n", pos);
    if (end == std::string::npos) {
      why = "last record without CR LF";
      return false;
    }
    std::string line = contents.substr(pos, end - pos);
    pos = end + 2;
    // Timed readings ("1.3,44000,57") share the file while logging is on.
    if (!line.empty() && line.front() != '"' && line.find(',') != std::string::npos) continue;
    ++lines;
    const std::string tag = " Cycle count:";
    std::size_t at = line.find(tag);
    if (line.size() < 2 || line.front() != '"' || line.back() != '"' || at == std::string::npos || at < 2) {
      why = "record " + std::to_string(lines) + " malformed: " + line;
      return false;
    }
    std::string number = line.substr(at + tag.size(), line.size() - 1 - at - tag.size());
    if (number != std::to_string(expected)) {
      why = "record " + std::to_string(lines) + " has count " + number + ", not " + std::to_string(expected);
      return false;
    }
    expected += 10;
  }
  const int want = (repeats + 9) / 10;
  if (lines != want) {
    why = std::to_string(lines) + " records, not " + std::to_string(want);
    return false;
  }
  return true;
}

// The resident size now, from /proc (0 where there is none).
long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kb = 0;
  while (status >> key)
    if (key == "VmRSS:" && status >> kb) return kb;
  return 0;
}

Outcome runCase(const Case& c, const fs::path& root) {
  Outcome o;
  auto note = [&o](const std::string& text) { std::snprintf(o.note, sizeof o.note, "%s", text.c_str()); };
  fs::remove_all(root);
  fs::create_directories(root / "C");
  { std::ofstream(root / "C" / "bench.txt", std::ios::binary) << sequenceFile(c.steps); }

  tavrin::VirtualToolkit tk;
  tavrin::sim::SimConfig config;
  tavrin::sim::SimBoard board(config, [&tk] { return tk.nowMs(); });
  tavrin::ProgramSetup setup;
  setup.paths = tavrin::PathMapper(root);
  // A fixed start, advancing with virtual time: every run writes the same records.
  setup.localTime = [&tk] {
    return tavrin::addSeconds(tavrin::LocalDateTime{2026, 12, 5, 21, 14, 3}, static_cast<long long>(tk.nowMs() / 1000));
  };
  tavrin::Program program(tk, board, setup);
  tavrin::Mainform& f = program.form;

  if (c.logging) {
    tk.post(500, [&] {
      f.btGetCurrent.value = 1;
      f.fire(f.btGetCurrent, tavrin::Event::Click);
    });
  }
  f.on(f.show_count, tavrin::Event::Change, [&](tavrin::EventArgs&) {
    if (f.show_count.text == "1000") o.rssAt1000Kb = residentKb();
  });
  tk.post(1000, [&] {
    f.setText(f.StimFileName, "C:\\bench.txt");
    f.setText(f.times, std::to_string(c.repeats));
    f.fire(f.RunStimFile, tavrin::Event::Click);
  });
  const auto t0 = std::chrono::steady_clock::now();
  try {
    program.Form_Load();
    while (tk.hasPendingActions()) tk.waitForEvents();
  } catch (const std::exception& e) {
    note(std::string("run ended by ") + e.what());
  }
  o.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  o.rssAtEndKb = residentKb();
  o.virtualMs = tk.nowMs();
  o.frames = static_cast<long>(board.frames().size());
  const auto log = board.frames().capacity() * sizeof(tavrin::ReceivedFrame);
  const struct mallinfo2 heap = mallinfo2();
  o.frameLogKb = static_cast<long>(log / 1024);
  // Under a sanitizer the allocator reports no heap at all: never wrap below 0.
  const std::size_t used = heap.uordblks + heap.hblkhd;
  o.heapKb = static_cast<long>((used > log ? used - log : 0) / 1024);

  o.finished = f.show_count.text == std::to_string(c.repeats) && f.RunStimFile.text == "Sequence Start" &&
               f.Info.text.find("Sequence ended") == std::string::npos && f.StimRunning;
  if (!o.finished && !o.note[0])
    note("run not finished: counter " + f.show_count.text + ", button " + f.RunStimFile.text + ", Info " + f.Info.text);

  std::string contents, why;
  if (auto r = tavrin::readWholeFile(root / "C" / "Cyclecnt.txt", contents); !r.ok()) {
    if (!o.note[0]) note("no cycle-count file: " + r.detail);
  } else {
    o.recordsOk = checkRecords(contents, c.repeats, o.records, why);
    if (!o.recordsOk && !o.note[0]) note(why);
  }
  fs::remove_all(root);
  return o;
}

// Runs the case in a child process; its peak resident size comes from wait4.
bool runInChild(const Case& c, Outcome& o, long& peakKb) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::close(fds[0]);
    fs::path root = fs::temp_directory_path() / ("tavrin-bench-sequence-" + std::to_string(::getpid()));
    Outcome r = runCase(c, root);
    [[maybe_unused]] auto n = ::write(fds[1], &r, sizeof r);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::size_t got = 0;
  auto* bytes = reinterpret_cast<char*>(&o);
  while (got < sizeof o) {
    ssize_t n = ::read(fds[0], bytes + got, sizeof o - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return false;
  peakKb = usage.ru_maxrss;  // kilobytes on Linux
  return got == sizeof o && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string grouped(long long v) {
  std::string s = std::to_string(v);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<std::size_t>(i), ",");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::string json;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--json" && i + 1 < argc) {
      json = argv[++i];
    } else {
      std::cerr << "usage: bench_sequence [--json FILE]\n";
      return 2;
    }
  }
  const Case cases[] = {
      {"1000 steps x 100 repeats", 1000, 100, true},
      {"10 steps x 10,000 repeats", 10, 10000, false},
      {"1000 steps x 1,000 repeats", 1000, 1000, false},
      {"10 steps x 10,000 repeats, Log current on", 10, 10000, false, true},
  };
  double load[3] = {};
  getloadavg(load, 3);
  std::printf("Stimulus sequence runs in virtual time on the simulated board (load average %.2f at start)\n\n", load[0]);
  std::printf("| Run | steps run | virtual time | wall time | peak resident | frames (board's log) | heap in use"
              " apart from the log | cycle records | result |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");

  bool ok = true;
  long firstHeapKb = 0, firstPeakKb = 0;
  std::ofstream out;
  if (!json.empty()) out.open(json);
  if (out) out << "{\n  \"load_average_start\": " << load[0];
  for (const auto& c : cases) {
    Outcome o;
    long peakKb = 0;
    std::string result;
    if (!runInChild(c, o, peakKb)) {
      result = "the child process failed";
      ok = false;
    } else {
      std::vector<std::string> missed;
      if (!o.finished || !o.recordsOk) missed.emplace_back(o.note);
      if (c.timeGoal && o.wallMs >= kWallGoalMs) missed.emplace_back("over 1 s");
      if (o.rssAt1000Kb > 0 && std::labs(o.rssAtEndKb - o.rssAt1000Kb) > kPeakToleranceKb)
        missed.push_back("resident " + grouped(o.rssAt1000Kb) + " kB at repeat 1,000, " + grouped(o.rssAtEndKb) +
                         " kB at the end");
      if (&c == &cases[0]) {
        firstHeapKb = o.heapKb;
        firstPeakKb = peakKb;
      }
      // With logging on, the check of the records reads a file of 20,000 readings
      // at the end: its peak is that of the check, and the run's own resident
      // size is compared at repeat 1,000 and at the end instead.
      if (!c.logging && std::labs(peakKb - firstPeakKb) > kPeakToleranceKb)
        missed.push_back("peak resident " + grouped(peakKb - firstPeakKb) + " kB off the first run's");
      if (std::labs(o.heapKb - firstHeapKb) > kHeapToleranceKb)
        missed.push_back("heap " + grouped(o.heapKb - firstHeapKb) + " kB off the first run's");
      for (const auto& m : missed) result += (result.empty() ? "" : "; ") + m;
      if (result.empty()) {
        result = "ok";
        if (o.rssAt1000Kb > 0 && c.repeats > 1000)
          result += " (resident " + grouped(o.rssAt1000Kb) + " kB at repeat 1,000, " + grouped(o.rssAtEndKb) +
                    " kB at the end)";
      }
      ok = ok && missed.empty();
    }
    std::printf("| %s | %s | %.0f s | %.0f ms | %s kB | %s (%s kB) | %s kB | %d | %s |\n", c.name,
                grouped(static_cast<long long>(c.steps) * c.repeats).c_str(), o.virtualMs / 1000, o.wallMs,
                grouped(peakKb).c_str(), grouped(o.frames).c_str(), grouped(o.frameLogKb).c_str(),
                grouped(o.heapKb).c_str(), o.records, result.c_str());
    std::fflush(stdout);
    if (out) {
      std::string key = "steps" + std::to_string(c.steps) + "_repeats" + std::to_string(c.repeats);
      out << ",\n  \"" << key << "_wall_ms\": " << o.wallMs << ",\n  \"" << key << "_virtual_s\": " << o.virtualMs / 1000
          << ",\n  \"" << key << "_peak_rss_kb\": " << peakKb << ",\n  \"" << key << "_frames\": " << o.frames
          << ",\n  \"" << key << "_frame_log_kb\": " << o.frameLogKb << ",\n  \"" << key
          << "_heap_apart_from_log_kb\": " << o.heapKb
          << ",\n  \"" << key << "_records\": " << o.records << ",\n  \"" << key
          << "_records_ok\": " << (o.recordsOk ? "true" : "false");
    }
  }
  getloadavg(load, 3);
  std::printf("\nLoad average %.2f at the end. Goals: the first run under %.0f ms of wall time; the peak resident\n"
              "size within %ld kB and the heap in use apart from the simulated board's frame log within %ld kB of\n"
              "the first run's in every run.\n",
              load[0], kWallGoalMs, kPeakToleranceKb, kHeapToleranceKb);
  if (out) out << ",\n  \"load_average_end\": " << load[0] << ",\n  \"goals_met\": " << (ok ? "true" : "false") << "\n}\n";
  return ok ? 0 : 1;
}
