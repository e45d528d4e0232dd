// The behaviour monkey: seeded random operator scripts on the simulated board.
// Everything a script uses (its actions, sequence files, board faults and
// options) comes from (seed, index) alone, so one script can be made again by
// itself. Each runs in a child process under a real-time watchdog and is then
// checked: its exit status, the link trace (every line well formed, times in
// order, every frame whole, nothing after the close), the files it wrote (whole
// CR LF lines only), and that nothing enables the motor between an operator's
// "Motor Stop" and the operator's next action.
//
//   tavrin_monkey --count N [--seed S] [--first I] [--out DIR] [--budget SECONDS]
//
// scripts/monkey.sh wraps it; a failing script is kept in DIR/fail-SEED-INDEX/.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cli/options.h"
#include "cli/script.h"
#include "cli/session.h"
#include "core/virtual_toolkit.h"
#include "sim/faults.h"

namespace fs = std::filesystem;
using namespace tavrin;
using Texts = std::vector<std::string>;

namespace {

// ---------------------------------------------------------------- generation

class Gen {
 public:
  Gen(std::uint64_t seed, std::uint64_t index) {
    std::seed_seq s{seed & 0xffffffffu, seed >> 32, index & 0xffffffffu, index >> 32};
    rng_.seed(s);
  }
  long long in(long long lo, long long hi) { return std::uniform_int_distribution<long long>(lo, hi)(rng_); }
  double at(double from, double span) { return from + static_cast<double>(in(0, static_cast<long long>(span))); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  std::string pick(const Texts& v) { return v[static_cast<std::size_t>(in(0, static_cast<long long>(v.size()) - 1))]; }
  // A gap between actions: clustered (a few ms) or spread (up to three minutes).
  double gap() {
    long long r = in(0, 99);
    return static_cast<double>(r < 30 ? in(0, 3) : r < 60 ? in(10, 500) : r < 85 ? in(500, 10000) : in(10000, 180000));
  }

 private:
  std::mt19937_64 rng_;
};

struct Case {
  Texts options;  // besides the board, drive root, script, trace and clock
  std::multimap<double, std::string> actions;
  std::map<std::string, std::string> files;  // path under the run's folder -> contents
  bool until = false;
  // "# of Repeats" far beyond any run: only under an --until of two minutes at
  // most, and every step takes time (10 ms or more, no negative duration).
  bool hugeRepeats = false;
  void add(double at, std::string line) { actions.emplace(at, std::move(line)); }
};

// The window's operable controls, read from the form itself.
struct Controls {
  Texts buttons, boxes, arrows;
};

std::string weird(Gen& g) {
  std::string s;
  switch (g.in(0, 5)) {
    case 0: return "";
    case 1:
      for (long long n = g.in(1, 8); n > 0; --n) s += static_cast<char>(g.in('a', 'z') - (g.chance(0.5) ? 32 : 0));
      return s;
    case 2:  // control characters among digits (never CR or LF: they end the script line)
      for (long long n = g.in(1, 5); n > 0; --n) {
        char ch = static_cast<char>(g.chance(0.2) ? 127 : g.in(1, 31));
        s += ch == '\n' || ch == '\r' ? '\t' : ch;
        if (g.chance(0.5)) s += static_cast<char>(g.in('0', '9'));
      }
      return s;
    case 3:  // long, or about the boxes' limit of 32767 characters
      s.assign(static_cast<std::size_t>(g.chance(0.8) ? g.in(100, 3000) : 32767 + g.in(-1, 1)), '9');
      return g.chance(0.5) ? s : std::string(s.size(), 'a');
    default:
      return g.pick({"x", "12ab", "4.5", "1e3", "&H10", " 42", "42 ", "-", "+", ".", "0x10", "4,5", "-0", "1e400",
                     "\xC2\xB5", "\xC3\xA4\xC3\xB6"});
  }
}

std::string number(Gen& g, long long lo, long long hi) {
  long long p = 1;
  switch (g.in(0, 5)) {
    case 0: case 1: return std::to_string(g.in(lo, hi));
    case 2: return std::to_string(g.chance(0.5) ? lo - g.in(0, 3) : hi + g.in(0, 3));
    case 3:
      return g.pick({"0", "-1", "32767", "32768", "-32768", "65535", "65536", "2147483647", "2147483648",
                     "-2147483649", "9999999999", "1000000000000", "99999999999999999999999"});
    case 4:
      for (long long k = g.in(0, 15); k > 0; --k) p *= 10;
      return std::to_string(g.chance(0.3) ? -p : p);
    default: return weird(g);
  }
}

std::string fileName(Gen& g) {
  return g.chance(0.15) ? weird(g)
                        : g.pick({"C:\\seq1.txt", "C:\\seq2.txt", "C:\\seq1.txt", "StimDemo.txt", "C:\\missing.txt",
                                  "C:\\nodir\\x.txt", "C:\\", "C:\\stator-1.txt", "C:\\log.txt", "D:\\data.txt",
                                  "C:\\Cyclecnt.txt", "stator-32767.txt"});
}

// A text for a box, near its usual values or far from them.
std::string textFor(Gen& g, const std::string& id, const Case& c) {
  static const std::map<std::string, std::pair<long long, long long>> ranges = {
      {"txtFrekvens_DDS1", {40000, 50000}}, {"txtFase_DDS2", {0, 360}}, {"txtDDS1", {0, 9}}, {"Pout1", {0, 9}},
      {"TrackFrqStp", {1, 200}}, {"TxtSwpStart", {40000, 50000}}, {"TxtSwpStop", {40000, 50000}},
      {"TxtSwpStep", {10, 1000}}};
  const std::string name = id.substr(0, id.find('('));
  if (name == "LogFileName" || name == "StimFileName") return fileName(g);
  if (name == "times") {
    if (c.hugeRepeats && g.chance(0.3)) return g.pick({"2147483647", "1000000", "99999999999"});
    return g.chance(0.85) ? std::to_string(g.in(0, 6)) : g.pick({"", "x", "-1", "1.5"});
  }
  if (name == "Text1StepTime" || name == "TxtSteptime") {
    if (name == "TxtSteptime" && g.chance(0.25)) return "0";
    if (c.hugeRepeats || g.chance(0.6)) return std::to_string(g.in(10, 60));
    // Days-long steps are for runs that --until ends: a timed log would read the
    // current every second of them.
    return c.until ? number(g, 0, 100) : g.chance(0.6) ? std::to_string(g.in(0, 1000)) : g.pick({"", "x", "-5", "1e3"});
  }
  auto r = ranges.find(name);
  return r != ranges.end() && g.chance(0.7) ? number(g, r->second.first, r->second.second) : weird(g);
}

// A sequence file; `units` gets the length of one repeat in step-time units.
std::string sequenceFile(Gen& g, bool safe, double& units) {
  const std::string eol = g.chance(0.8) ? "\r\n" : g.chance(0.5) ? "\n" : "\r";
  std::string s = g.chance(0.5) ? "; monkey" + eol : "";
  units = 0;
  const long long steps = g.chance(0.03) ? g.in(990, 1005) : g.in(1, 8);
  for (long long i = 0; i < steps; ++i) {
    if (!safe && g.chance(0.04)) {
      s += g.pick({"abc,5", "3000,5 ; note", "3000,x", ",5", "3000,", "3000,5,7", "3000;5", "+3000,+5", "3.5,5",
                   "2000 3000", "", "; comment"}) + eol;
      continue;
    }
    long long r = g.in(0, 99);
    long long mv = r < 60 ? g.in(1400, 5700) : r < 75 ? -g.in(1400, 5700) : r < 87 ? 0 : r < 92 ? g.in(1350, 1362)
                   : safe ? g.in(1400, 5700) : std::stoll(g.pick({"32767", "-32768", "-1", "99999"}));
    r = g.in(0, 99);
    long long d = steps > 100 ? g.in(0, 5) : r < 60 ? g.in(1, 30) : r < 75 ? 0 : r < 90 ? g.in(31, 500)
                  : r < 95 || safe ? g.in(3000, 32767) : -g.in(1, 5);
    units += static_cast<double>(std::max(d, 1LL));
    s += std::to_string(mv) + "," + std::to_string(d) + (i + 1 < steps || g.chance(0.9) ? eol : "");
  }
  return s;
}

std::string randomAction(Gen& g, const Controls& k, Case& c, double at) {
  static const std::map<std::string, int> weights = {{"cmdStartMotor", 30}, {"RunStimFile", 15}, {"Tracking", 12},
                                                     {"Selectdir", 10}, {"cmdWrite", 8}, {"CmdSwpStart", 6},
                                                     {"cmdExit", 1}};
  const long long r = g.in(0, 99);
  if (r < 30) {
    Texts pool;
    for (const auto& b : k.buttons)
      for (int n = weights.count(b) ? weights.at(b) : 4; n > 0; --n) pool.push_back(b);
    return "click " + g.pick(pool);
  }
  if (r < 53) {
    std::string box = g.pick(k.boxes);
    const std::string text = textFor(g, box, c);
    return r < 45 ? "settext " + box + " " + text : "type " + box + " " + text.substr(0, 2000);
  }
  if (r < 61) return "enter " + (g.chance(0.6) ? g.pick(k.boxes) : g.pick(k.buttons));
  if (r < 67) return "leave " + g.pick(k.boxes);
  if (r < 75) {
    std::string arrow = g.pick(k.arrows);
    if (g.chance(0.85)) c.add(at + 1 + g.gap(), "release " + arrow);
    return "press " + arrow;
  }
  if (r < 81) return g.pick({"tick", "untick", "click"}) + " btGetCurrent";
  if (r < 89) {
    const std::string name = fileName(g);
    return "answer " + (name.empty() ? "x" : name);
  }
  return r < 99 || !g.chance(0.3) ? "dump" : "close";
}

Case generate(std::uint64_t seed, std::uint64_t index, const Controls& k) {
  Gen g(seed, index);
  Case c;
  auto option = [&](const char* name, const std::string& value) { c.options.insert(c.options.end(), {name, value}); };
  if (g.chance(0.15)) {
    std::string list;
    for (long long n = g.in(1, 2); n > 0; --n) {
      const auto& f = sim::kFaults[static_cast<std::size_t>(g.in(0, static_cast<long long>(sim::kFaults.size()) - 1))];
      list += (list.empty() ? "" : ",") + std::string(f.name) + (f.counted ? "=" + std::to_string(g.in(0, 3000)) : "");
    }
    option("--sim-fault", list);
  }
  if (g.chance(0.2)) option("--sim-drift", std::to_string(g.chance(0.9) ? g.in(-200, 200) : g.in(-100000, 100000)));
  for (long long n = g.chance(0.15) ? g.in(1, 3) : 0; n > 0; --n) {
    const std::string hz = std::to_string(g.in(-2000, 2000));
    option("--sim-jump", hz + "@" + std::to_string(g.in(0, 300000)));
  }
  if (g.chance(0.3)) option("--sim-seed", std::to_string(g.in(1, 1000000)));
  c.until = g.chance(0.25);
  c.hugeRepeats = c.until && g.chance(0.2);

  double units = 0, otherUnits = 0;
  c.files["root/C/seq1.txt"] = sequenceFile(g, c.hugeRepeats, units);
  if (g.chance(0.4)) c.files["root/C/seq2.txt"] = sequenceFile(g, c.hugeRepeats, otherUnits);
  if (g.chance(0.5)) c.files["cwd/StimDemo.txt"] = sequenceFile(g, c.hugeRepeats, otherUnits);

  double t = static_cast<double>(g.in(0, 400));
  double end = t + g.gap();  // the stretch the random actions fall into
  const long long scenario = g.in(0, 99);
  if (scenario < 60) {
    // A sequence run with the operator's motor clicks all through it, its
    // end-of-repeat tracking included.
    if (g.chance(0.8)) {
      c.add(t, "settext StimFileName C:\\seq1.txt");
    } else {
      c.add(t, "answer C:\\seq1.txt");
      c.add(t, "click ChaStimFile");
    }
    const long long repeats = g.in(1, 4), stepTime = g.chance(0.8) ? g.in(c.hugeRepeats ? 10 : 1, 50) : 0;
    t += static_cast<double>(g.in(0, 50));
    c.add(t, "settext times " + (c.hugeRepeats ? "2147483647" : std::to_string(repeats)));
    if (!c.hugeRepeats || stepTime > 0) c.add(t, "settext Text1StepTime " + std::to_string(stepTime));
    long long trackStepTime = 50;
    if (g.chance(0.3)) {
      trackStepTime = g.chance(0.3) ? 0 : g.in(1, 100);
      c.add(t, "settext TxtSteptime " + std::to_string(trackStepTime));
    }
    if (g.chance(0.25)) c.add(t += static_cast<double>(g.in(0, 200)), "click cmdStartMotor");
    if (g.chance(0.2)) c.add(t, "tick btGetCurrent");
    const double t0 = g.at(t, 2000);
    const double run = static_cast<double>(std::min(repeats, 3LL)) *
                       (std::min(units * static_cast<double>(std::max(stepTime, 1LL)), 600000.0) +
                        9.0 * static_cast<double>(2 * trackStepTime + 50));
    c.add(t0, "click RunStimFile");
    for (long long n = g.in(2, 10); n > 0; --n) {
      const double at = g.at(t0, run * 1.3);
      c.add(at, g.chance(0.85) ? "click cmdStartMotor" : "enter cmdStartMotor");
    }
    if (g.chance(0.15)) c.add(g.at(t0, run), "settext txtFase_DDS2 x");
    if (g.chance(c.hugeRepeats ? 0.7 : 0.35)) c.add(g.at(t0, run), "click RunStimFile");
    end = t0 + run * 1.3;
  } else if (scenario < 75) {
    // Tracking by its button, its boxes changed while it runs.
    if (g.chance(0.4)) c.add(t, "settext TxtSteptime " + (g.chance(0.4) ? "0" : std::to_string(g.in(1, 80))));
    if (g.chance(0.4)) c.add(t += static_cast<double>(g.in(0, 300)), "click cmdStartMotor");
    const double t0 = g.at(t + 100, 3000), stop = g.at(t0, 60000);
    c.add(t0, "click Tracking");
    for (const char* box : {"txtFase_DDS2", "TrackFrqStp"}) {
      if (!g.chance(0.3)) continue;
      const double at = g.at(t0, 20000);
      c.add(at, "settext " + std::string(box) + " " + textFor(g, box, c));
    }
    if (g.chance(0.7)) c.add(stop, "click Tracking");
    for (long long n = g.in(0, 4); n > 0; --n) c.add(stop + g.gap(), "click cmdStartMotor");
    end = stop + 10000;
  }
  for (long long n = scenario < 75 ? g.in(0, 8) : g.in(1, 25); n > 0; --n) {
    const double at = g.at(0, end);
    c.add(at, randomAction(g, k, c, at));
  }
  // A loop that waits for nothing (counting out, tracking at a step time of 0
  // with a frame that cannot be built) moves virtual time 0.01 ms a turn: two
  // minutes are 12 million turns, and a huge count-out is ended 3 s after its
  // "Sequence Stop".
  double limit = 120000;
  int clicks = 0;
  for (const auto& [at, line] : c.actions)
    if (c.hugeRepeats && line.find(" RunStimFile") != std::string::npos && ++clicks == 2) limit = std::min(limit, at + 3000);
  if (c.until) option("--until", std::to_string(g.in(0, g.chance(0.1) ? 300 : static_cast<long long>(limit))));
  return c;
}

std::string scriptText(const Case& c) {
  std::string s;
  for (const auto& [at, line] : c.actions) s += std::to_string(static_cast<long long>(at)) + " " + line + "\n";
  return s;
}

// ------------------------------------------------------------------- running

// What the child shares with the watchdog: how far it got, and a mark at each
// action delivered: where the trace stood, and whether it was an operator's stop.
struct Mark {
  std::uintmax_t offset;
  double atMs;
  bool stop, inSequence, inTracking;
};
constexpr std::size_t kMaxMarks = 4096;
struct Shared {
  double nowMs;
  std::uint64_t waits, delivered;
  std::size_t marks;
  Mark mark[kMaxMarks];
};

Texts commandLine(const Case& c, const fs::path& dir) {
  Texts args = {"--board", "sim", "--drive-root", (dir / "root").string(), "--script", (dir / "script.txt").string(),
                "--trace", (dir / "trace.txt").string(), "--clock-start", "2010-07-26T14:03:05"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  return args;
}

// The script runner's run (runScript in cli/script.cpp), each action marked as
// it is delivered.
int runInChild(const Case& c, const fs::path& dir, Shared& sh) {
  std::string error;
  auto options = parseOptions(commandLine(c, dir), error);
  if (!options) {
    std::cerr << error << '\n';
    return 2;
  }
  VirtualToolkit tk;
  tk.setTimeLimit(options->untilMs);
  tk.onMessage([](const std::string& text) { std::cout << "message: " << text << '\n'; });
  Session session(*options, tk, true);
  if (!session.ok()) return 2;
  Program& program = session.program();
  auto actions = loadScript(*options, program.form, std::cerr);
  if (!actions) return 2;
  tk.setStopCheck([&]() -> std::optional<std::string> {
    sh.nowMs = tk.nowMs();
    ++sh.waits;
    if (options->untilMs || tk.hasPendingActions()) return std::nullopt;
    return whyNeverEnds(program);
  });
  const fs::path trace = options->traceFile;
  int status = 0;
  try {
    for (const auto& a : *actions) {
      tk.post(a.atMs, [&, a] {
        const Control& motor = program.form.cmdStartMotor;
        if (a.action != "dump" && sh.marks < kMaxMarks) {
          const bool stop = (a.action == "click" || a.action == "enter") && a.control == "cmdStartMotor" &&
                            motor.text == "Motor Stop" && motor.enabled;
          std::error_code ec;  // the trace is written through line by line
          sh.mark[sh.marks++] = {fs::file_size(trace, ec), a.atMs, stop, program.form.StimRunning,
                                 program.tracking.running()};
        }
        ++sh.delivered;
        sh.nowMs = tk.nowMs();
        deliverAction(program, a, tk, [&tk](std::string name) { tk.queueDialogAnswer(std::move(name)); }, std::cout);
      });
    }
    program.Form_Load();
    while (tk.hasPendingActions()) tk.waitForEvents();
  } catch (const ProgramEnded& e) {
    status = e.status;
  } catch (const RunLimitReached&) {
  } catch (const RunStopped& e) {
    std::cerr << "stopped: " << e.why << '\n';
    status = 3;
  }
  sh.nowMs = tk.nowMs();
  return finishRun(session, *options, tk.nowMs(), status, std::cout, std::cerr);
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// ------------------------------------------------------------------ checking

std::vector<int> hexBytes(const std::string& s) {
  std::vector<int> bytes;
  for (std::size_t i = 0; i < s.size(); i += 3) {
    if (i + 2 > s.size() || !std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1])) || (i + 2 < s.size() && s[i + 2] != ' '))
      return {};
    bytes.push_back(std::stoi(s.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

void checkTrace(const std::string& trace, const Shared& sh, Texts& bad) {
  static const std::regex frameRest(R"( freq \d+ \(\d+(\.\d)? Hz\) phase -?\d+ supply [0-9A-F]{2} [0-9A-F]{2})");
  static const Texts calls = {"FT_ListDevices", "FT_OpenEx", "FT_ResetDevice", "FT_Purge", "FT_SetBaudRate",
                              "FT_SetDataCharacteristics", "FT_SetFlowControl", "FT_SetDtr", "FT_ClrDtr",
                              "FT_SetRts", "FT_ClrRts", "FT_Write", "FT_GetQueueStatus", "FT_Read", "FT_Close"};
  static const std::size_t sizes[] = {2, 4, 4, 2, 2, 5};  // the six writes of a frame
  if (!trace.empty() && trace.back() != '\n') bad.emplace_back("trace: the last line is cut off");
  double last = 0;
  std::size_t inFrame = 0, m = 0, reported = 0;  // writes of the frame so far; marks passed; last stop reported
  int mode = -1;
  bool closed = false;
  const std::size_t enough = bad.size() + 8;
  for (std::size_t off = 0, next = 0; off < trace.size() && bad.size() < enough; off = next) {
    next = std::min(trace.find('\n', off), trace.size());
    const std::string line = trace.substr(off, next++ - off);
    auto fail = [&](const std::string& why) { bad.push_back("trace: " + why + ": " + line.substr(0, 200)); };
    const std::size_t sp = line.find(' '), dot = line.find('.');
    if (sp == std::string::npos || dot == std::string::npos || dot == 0 || dot + 2 != sp ||
        line.find_first_not_of("0123456789.") != sp) {
      fail("no time");
      continue;
    }
    const double at = std::stod(line.substr(0, sp));
    if (at < last) fail("the time goes back");
    last = at;
    if (closed) fail("a line after FT_Close");
    while (m < sh.marks && sh.mark[m].offset <= off) ++m;
    const Mark* stop = m > 0 && sh.mark[m - 1].stop ? &sh.mark[m - 1] : nullptr;
    const std::string rest = line.substr(sp + 1);
    if (rest.rfind("frame mode ", 0) == 0) {
      std::size_t digits = rest.find_first_not_of("0123456789", 11);
      const std::string tail = rest.substr(std::min(digits, rest.size()));
      const bool header = tail == " header only";
      if (digits == 11 || (!header && !std::regex_match(tail, frameRest))) fail("a malformed frame line");
      if (std::stoi("0" + rest.substr(11, digits - 11)) != mode || inFrame != (header ? 1 : 6))
        fail("a frame line without its writes");
      inFrame = 0;
      continue;
    }
    const std::size_t arrow = rest.find(" -> ");
    const std::string name = rest.substr(0, rest.find(' '));
    const std::string status =
        arrow == std::string::npos ? "" : rest.substr(arrow + 4, rest.find(' ', arrow + 4) - arrow - 4);
    if (std::find(calls.begin(), calls.end(), name) == calls.end() || status.empty() ||
        status.find_first_not_of("-0123456789") != std::string::npos) {
      fail("a malformed call line");
      continue;
    }
    bool starts = false;  // a frame's header (its mode in the second byte)
    if (name == "FT_Write") {
      const std::vector<int> bytes = hexBytes(rest.substr(9, arrow - 9));
      if (bytes.empty()) fail("a malformed write");
      if (inFrame == 0 || inFrame == 6) {
        if (inFrame != 0) fail("a frame not decoded");
        starts = bytes.size() == 2 && bytes[0] == 2;
        if (!starts) fail("a write that starts no frame");
        mode = starts ? bytes[1] : -1;
        inFrame = 1;
      } else if (bytes.size() != sizes[inFrame++]) {
        fail("a frame write of the wrong length");
      }
    } else if (inFrame != 0) {
      fail("a call inside a frame");
      inFrame = 0;
    }
    closed = closed || name == "FT_Close";
    // The enable line, or a frame of any mode but 4 (motor off) and 7 (a current request).
    const bool enables = name == "FT_SetDtr" || (starts && mode != 4 && mode != 7);
    if (stop && enables && reported != m) {
      reported = m;
      char why[160];
      std::snprintf(why, sizeof why, "the operator's Motor Stop at %.0f ms (%s%s) undone before the next action",
                    stop->atMs, stop->inSequence ? "a sequence running" : "no sequence",
                    stop->inTracking ? ", tracking" : "");
      fail(why);
    }
  }
  if (inFrame != 0 && bad.size() < enough) bad.emplace_back("trace: ends inside a frame");
}

// Every file the run wrote holds whole lines ending in CR LF, and no stray CR or LF.
void checkFiles(const fs::path& dir, const Case& c, Texts& bad) {
  for (const char* sub : {"root", "cwd"}) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir / sub, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file()) continue;
      const std::string rel = fs::relative(it->path(), dir).generic_string(), text = readFile(it->path());
      // The monkey's own files, also under a kept-copy name (C:\seq1~1.txt when
      // a log was pointed at a sequence file), are its input, not the run's.
      if (std::any_of(c.files.begin(), c.files.end(), [&](const auto& f) { return f.second == text; })) continue;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if ((text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ||
            (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) {
          bad.push_back("file " + rel + ": a bare " + (text[i] == '\r' ? "CR" : "LF") + " at byte " +
                        std::to_string(i));
          break;
        }
      }
      if (!text.empty() && text.back() != '\n') bad.push_back("file " + rel + ": the last line is cut off");
    }
  }
}

const char* const kKilled = "killed by the watchdog";
struct Outcome {
  std::string ended;  // "status 0", "signal 11", "killed by the watchdog"
  Texts bad;
};

Outcome runOne(const Case& c, const fs::path& dir, Shared& sh, double budgetS) {
  fs::remove_all(dir);
  fs::create_directories(dir / "root" / "C");
  fs::create_directories(dir / "cwd");
  std::ofstream(dir / "script.txt", std::ios::binary) << scriptText(c);
  for (const auto& [rel, text] : c.files) std::ofstream(dir / rel, std::ios::binary) << text;
  sh.nowMs = 0;
  sh.waits = sh.delivered = sh.marks = 0;
  std::cout.flush();
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = ::open((dir / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open((dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir((dir / "cwd").c_str()) != 0) _exit(125);
    std::exit(runInChild(c, dir, sh));
  }
  Outcome o;
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  double halfwayMs = -1;
  for (auto nap = std::chrono::microseconds(20); waitpid(pid, &status, WNOHANG) == 0;) {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (halfwayMs < 0 && s > budgetS / 2) halfwayMs = sh.nowMs;
    if (s > budgetS) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      char why[240];
      std::snprintf(why, sizeof why, "did not end within %.0f s of real time: at virtual time %.1f ms (%.1f ms of it "
                    "a real second in the last half), %" PRIu64 " waits, %" PRIu64 " of %zu actions delivered",
                    budgetS, sh.nowMs, (sh.nowMs - halfwayMs) / (budgetS / 2), sh.waits, sh.delivered,
                    c.actions.size());
      return {kKilled, {why}};
    }
    std::this_thread::sleep_for(nap);
    nap = std::min(nap * 2, std::chrono::microseconds(2000));
  }
  const std::string err = readFile(dir / "err.txt").substr(0, 2000);
  if (WIFSIGNALED(status)) {
    o.ended = "signal " + std::to_string(WTERMSIG(status));
    o.bad.push_back("ended by " + o.ended + "; stderr: " + err);
  } else {
    const int code = WEXITSTATUS(status);
    o.ended = "status " + std::to_string(code);
    // 3: cannot end by itself (never under --until); 1: an output could not be written.
    if (code != 0 && !(code == 3 && !c.until) && !(code == 1 && err.find("cannot write") != std::string::npos))
      o.bad.push_back("exit " + o.ended + (c.until ? " under --until" : "") + "; stderr: " + err);
  }
  checkTrace(readFile(dir / "trace.txt"), sh, o.bad);
  checkFiles(dir, c, o.bad);
  return o;
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char ch : s) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return q + "'";
}

int monkey(int argc, char** argv) {
  std::uint64_t seed = static_cast<std::uint64_t>(std::time(nullptr)), first = 0, count = 100;
  fs::path out = "monkey";
  double budget = 20;
  for (int i = 1; i < argc; i += 2) {
    const std::string o = argv[i], v = i + 1 < argc ? argv[i + 1] : "";
    try {
      if (o == "--seed") seed = std::stoull(v);
      else if (o == "--first") first = std::stoull(v);
      else if (o == "--count") count = std::stoull(v);
      else if (o == "--out") out = v;
      else if (o == "--budget") budget = std::stod(v);
      else throw std::invalid_argument(o);
    } catch (const std::exception&) {
      std::cerr << "usage: tavrin_monkey --count N [--seed S] [--first I] [--out DIR] [--budget SECONDS]\n";
      return 2;
    }
  }
  out = fs::absolute(out);
  Controls k;
  {
    VirtualToolkit tk;
    Mainform form(tk);
    for (const Control& c : form.controls()) {
      if (c.kind == ControlKind::CommandButton) k.buttons.push_back(c.id());
      if (c.kind == ControlKind::TextBox) k.boxes.push_back(c.id());
      if (c.kind == ControlKind::Image) k.arrows.push_back(c.id());
    }
  }
  void* mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) return 2;
  Shared& sh = *static_cast<Shared*>(mem);

  std::cout << "monkey: seed " << seed << ", scripts " << first << " to " << first + count - 1 << " (one alone: --seed "
            << seed << " --first INDEX --count 1)" << std::endl;
  std::map<std::string, int> ended;
  std::uint64_t delivered = 0, stops = 0, stopsInSequence = 0, stopsInTracking = 0, failures = 0;
  double virtualMs = 0, slowestS = 0;
  std::uint64_t slowest = first;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t i = first; i < first + count; ++i) {
    const Case c = generate(seed, i, k);
    const auto began = std::chrono::steady_clock::now();
    const Outcome o = runOne(c, out / "run", sh, budget);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (took > slowestS && o.ended != kKilled) std::tie(slowestS, slowest) = std::make_tuple(took, i);
    ++ended[o.ended];
    delivered += sh.delivered;
    virtualMs += sh.nowMs;
    for (std::size_t m = 0; m < sh.marks; ++m) {
      stops += sh.mark[m].stop;
      stopsInSequence += sh.mark[m].stop && sh.mark[m].inSequence;
      stopsInTracking += sh.mark[m].stop && sh.mark[m].inTracking;
    }
    if (o.bad.empty()) continue;
    ++failures;
    const fs::path keep = out / ("fail-" + std::to_string(seed) + "-" + std::to_string(i));
    fs::remove_all(keep);
    fs::rename(out / "run", keep);
    std::string replay = "cd " + quoted((keep / "cwd").string()) + " && " + quoted(TAVRIN_SCRIPT) +
                         " --board sim --drive-root ../root --script ../script.txt --trace ../replay-trace.txt"
                         " --clock-start 2010-07-26T14:03:05";
    for (const auto& opt : c.options) replay += " " + quoted(opt);
    std::cout << "FAIL seed " << seed << " index " << i << " (" << o.ended << ")\n";
    for (const auto& b : o.bad) std::cout << "  " << b << '\n';
    std::cout << "  script: " << (keep / "script.txt").string() << "\n  replay: " << replay << std::endl;
  }
  const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("monkey: %" PRIu64 " scripts in %.1f s of real time (%.1f scripts/s), seed %" PRIu64 "\n  ended:", count,
              real, static_cast<double>(count) / real, seed);
  for (const auto& [how, n] : ended) std::printf(" %s: %d;", how.c_str(), n);
  std::printf("\n  slowest: index %" PRIu64 ", %.2f s", slowest, slowestS);
  std::printf("\n  actions delivered: %" PRIu64 ", among them %" PRIu64 " operator Motor Stops (%" PRIu64
              " during a sequence run, %" PRIu64 " during tracking)\n  virtual time covered: %.1f h\n"
              "  failures: %" PRIu64 "\n", delivered, stops, stopsInSequence, stopsInTracking, virtualMs / 3.6e6,
              failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return monkey(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tavrin_monkey: " << e.what() << '\n';
  } catch (...) {
  }
  return 2;
}
