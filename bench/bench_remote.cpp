// The remote control under load: tavrin started headless on the simulated board
// with --remote 0 (PATH: build/tavrin beside build/bench/ by default), driven by
// plain sockets. Linux: it reads the program's memory from /proc.
//
//   bench_remote [--tavrin PATH] [--quick] [--json FILE]
//
// 1. FREQ? round trips from one client, idle (goal: p99 under 1 ms), 2. while
// another client's sweep runs, its waits serving them (p99 under 5 ms). 3. One
// client pipelining FREQ? (over 10,000/s). 4. 8 clients at once, each line a
// LOG:FILE naming the client and the line, out of the drive root, then
// :SYST:ERR?: the client's own -224 names the line, so an answer lost, doubled
// or out of order shows (nothing shared is touched). 5. A client sends SYST:STAT?
// (about 10 kB of answer each) and never reads; 6. one sends 1 MB with no line
// end, then "\n*IDN?\n" (answered, one -223 queued). The first must be dropped;
// meanwhile another client's round trip stays under 5 ms (p99) and the resident
// size grows by less than 4 MB, its peak by less than 8 MB.
// Exit status 1 when a goal is missed, 2 when it cannot measure.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }
void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One client connection; lines are taken without their LF.
struct Conn {
  int fd = -1;
  std::string in;       // read so far
  std::size_t pos = 0;  // where the lines not taken yet begin
  ~Conn() { if (fd >= 0) close(fd); }
  bool open(int port) {
    if (fd >= 0) close(fd);
    in.clear(), pos = 0;
    fd = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    return connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  bool put(const std::string& s) {
    for (std::size_t at = 0; at < s.size();) {
      const ssize_t n = send(fd, s.data() + at, s.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  // Reads what there is, waiting up to `ms`; false when closed or nothing came.
  bool fill(int ms) {
    pollfd p{fd, POLLIN, 0};
    char b[65536];
    if (poll(&p, 1, ms) <= 0) return false;
    const ssize_t n = recv(fd, b, sizeof b, 0);
    in.erase(0, pos), pos = 0;
    if (n > 0) in.append(b, static_cast<std::size_t>(n));
    return n > 0;
  }
  bool take(std::string& out) {
    const std::size_t lf = in.find('\n', pos);
    if (lf == std::string::npos) return false;
    out.assign(in, pos, lf - pos);
    pos = lf + 1;
    return true;
  }
  bool line(std::string& out, int ms = 5000) {
    for (const auto t = Clock::now(); !take(out);)
      if (msSince(t) > ms || !fill(ms)) return false;
    return true;
  }
  std::string ask(const std::string& q) {
    std::string a;
    return put(q + "\n") && line(a) ? a : "(no answer)";
  }
  // Sends `out` while reading, until `want` lines came; false on a timeout or close.
  bool exchange(const std::string& out, std::size_t want, std::vector<std::string>& lines, int ms) {
    std::size_t at = 0;
    for (const auto t = Clock::now(); lines.size() < want;) {
      if (std::string l; take(l)) {
        lines.push_back(l);
        continue;
      }
      pollfd p{fd, static_cast<short>(POLLIN | (at < out.size() ? POLLOUT : 0)), 0};
      if (msSince(t) > ms || poll(&p, 1, 100) < 0 || ((p.revents & POLLIN) && !fill(0))) return false;
      if (!(p.revents & POLLOUT)) continue;
      const ssize_t n = send(fd, out.data() + at, out.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN) return false;
      at += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
    return true;
  }
};

// The program under test, and what it says on stderr.
struct Child {
  pid_t pid = -1;
  std::atomic<int> port{0};              // -1: it ended without naming one
  std::atomic<bool> saidDropped{false};  // it said it dropped a client
  std::thread drain;
  bool start(const std::string& exe, const std::string& root) {
    int p[2];
    if (pipe(p) != 0 || (pid = fork()) < 0) return false;
    if (pid == 0) {
      dup2(p[1], 2);
      close(p[0]);
      close(p[1]);
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
      execl(exe.c_str(), exe.c_str(), "--headless", "--remote", "0", "--board", "sim", "--no-config", "--drive-root",
            root.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(p[1]);
    drain = std::thread([this, f = fdopen(p[0], "r")] {
      static const char kPort[] = "remote control on 127.0.0.1:";
      for (char b[4096]; fgets(b, sizeof b, f);) {
        if (const char* at = std::strstr(b, kPort); at && port == 0) port = std::atoi(at + sizeof kPort - 1);
        if (std::strstr(b, " dropped: it has not read")) saidDropped = true;
      }
      if (port == 0) port = -1;
      fclose(f);
    });
    for (const auto t = Clock::now(); port == 0 && msSince(t) < 20000;) sleepMs(5);
    return port > 0;
  }
  // Starts the peak resident size (VmHWM) afresh from the present one.
  void resetPeak() const { std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5"; }
  double memoryMb(const char* key) const {  // VmRSS or VmHWM
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string l; std::getline(f, l);)
      if (l.rfind(key, 0) == 0) return std::atof(l.c_str() + l.find(':') + 1) / 1024;
    return -1;
  }
  bool ended(int ms) const {
    for (const auto t = Clock::now(); msSince(t) < ms; sleepMs(10))
      if (int status = 0; waitpid(pid, &status, WNOHANG) != 0) return true;
    return false;
  }
  void stop() {
    if (Conn c; port > 0 && c.open(port)) c.put("SYST:EXIT\n");
    if (pid > 0 && !ended(5000)) {
      std::fprintf(stderr, "bench_remote: tavrin did not end within 5 s of SYSTem:EXIT: killed\n");
      kill(pid, SIGKILL), ended(5000);
    }
    if (drain.joinable()) drain.join();
  }
};

struct Stats { double median = 0, p99 = 0, max = 0; std::size_t n = 0; };
Stats stats(std::vector<double> v) {
  if (v.empty()) return {};
  std::sort(v.begin(), v.end());
  auto at = [&](double q) { return v[std::min(v.size() - 1, static_cast<std::size_t>(q * double(v.size())))]; };
  return {at(0.5), at(0.99), v.back(), v.size()};
}

std::string fmt(double v, const char* unit = "") {
  char b[64];
  std::snprintf(b, sizeof b, v >= 100 ? "%.0f%s" : "%.3g%s", v, unit);
  return b;
}
std::string latency(const Stats& s) {
  return fmt(s.median, " / ") + fmt(s.p99, " / ") + fmt(s.max, " ms") + " (" + std::to_string(s.n) + ")";
}

struct Row { std::string figure, value, goal; bool met; };
std::vector<Row> rows;
void row(const std::string& figure, const std::string& value, const std::string& goal, bool met) {
  rows.push_back({figure, value, goal, met});
}

// FREQ? round trips on `c`, `n` of them or fewer while `more()` says so. Each
// answer must be 44000, or any whole number while a sweep sets the box.
template <class More>
std::vector<double> roundTrips(Conn& c, std::size_t n, More more, bool& lost, bool sweeping = false) {
  std::vector<double> ms;
  std::string a;
  while (ms.size() < n && more()) {
    const auto t = Clock::now();
    if (!c.put("FREQ?\n") || !c.line(a) || a.empty() || a.find_first_not_of("0123456789") != std::string::npos ||
        (!sweeping && a != "44000")) {
      std::fprintf(stderr, "bench_remote: FREQ? answered '%s'\n", a.c_str());
      lost = true;
      break;
    }
    ms.push_back(msSince(t));
  }
  return ms;
}

// The resident size before and after a case, and its peak.
void memoryRow(const char* figure, const Child& child, double before) {
  const double after = child.memoryMb("VmRSS"), peak = child.memoryMb("VmHWM");
  row(figure, fmt(before, " / ") + fmt(after, " MB (peak ") + fmt(peak, " MB)"), "+4 MB (peak +8 MB)",
      after - before < 4 && peak - before < 8);
}

std::string machine() {  // the CPU, its cores, the kernel, the load average of the last minute
  std::string cpu, load;
  std::ifstream info("/proc/cpuinfo");
  while (std::getline(info, cpu) && cpu.rfind("model name", 0) != 0) {}
  if (cpu.find(':') == std::string::npos) cpu = ": unknown CPU";
  utsname u{};
  uname(&u);
  std::ifstream("/proc/loadavg") >> load;
  return cpu.substr(cpu.find(':') + 2) + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, " +
         u.sysname + " " + u.release + ", load " + load;
}

std::string jsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string exe = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "tavrin").string(), json;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") quick = true;
    else if (a == "--tavrin" && i + 1 < argc) exe = argv[++i];
    else if (a == "--json" && i + 1 < argc) json = argv[++i];
    else return std::fprintf(stderr, "usage: bench_remote [--tavrin PATH] [--quick] [--json FILE]\n"), 2;
  }
  const std::size_t trips = quick ? 500 : 2000, piped = quick ? 5000 : 20000, perClient = quick ? 2000 : 10000;
  const fs::path root = fs::temp_directory_path() / ("bench_remote." + std::to_string(getpid()));
  fs::create_directories(root);
  const std::string before = machine();
  Child child;
  auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "bench_remote: cannot measure: %s\n", why.c_str());
    child.stop();
    fs::remove_all(root);
    return 2;
  };
  if (!child.start(exe, root.string())) return fail(exe + " named no remote port");
  {
    Conn a, b;
    if (!a.open(child.port) || a.ask("*IDN?").rfind("Corvex,Tavrin,TVSIM", 0) != 0 || a.ask("FREQ?") != "44000")
      return fail("no answer from the program on the simulated board");
    bool lost = false;
    roundTrips(a, 100, [] { return true; }, lost);  // warm-up
    const Stats idle = stats(roundTrips(a, trips, [] { return true; }, lost));
    row("1 FREQ? round trip, idle", latency(idle), "p99 < 1 ms", !lost && idle.p99 < 1);

    // Another client keeps sweeps running (40000 to 50000 Hz in 500 Hz steps, about 2.8 s each).
    if (!b.open(child.port) || !b.put("SWE:STAR 40000;STOP 50000;STEP 500;DWEL 50\nINIT:SWE;*OPC?\n"))
      return fail("no client for the sweep");
    int sweeps = 1;
    sleepMs(700);  // past the offset reading, into the steps
    auto sweeping = [&] {  // a sweep that ended (its *OPC? answered) is followed by the next
      if (std::string l; !b.take(l) && !(b.fill(0) && b.take(l))) return true;
      return ++sweeps, b.put("INIT:SWE;*OPC?\n");
    };
    const Stats swept = stats(roundTrips(a, trips, sweeping, lost, true));
    std::string end;
    const bool ran = b.line(end, 10000) && end == "1" && b.ask("SWE:DATA?").size() > 100 &&
                     b.ask("SYST:ERR?") == "0,\"No error\"";
    row("2 the same during a sweep (" + std::to_string(sweeps) + (sweeps > 1 ? " sweeps)" : " sweep)"), latency(swept),
        "p99 < 5 ms", !lost && ran && swept.p99 < 5);

    std::string out;
    for (std::size_t i = 0; i < piped; ++i) out += "FREQ?\n";
    std::vector<std::string> got;
    const auto t = Clock::now();
    const bool all = a.exchange(out, piped, got, 30000) &&
                     std::all_of(got.begin(), got.end(), [](const std::string& s) { return s == "44000"; });
    const double rate = static_cast<double>(got.size()) / msSince(t) * 1000;
    row("3 pipelined FREQ?, " + std::to_string(piped) + " lines", fmt(rate, "/s") + (all ? "" : ", ANSWERS LOST"),
        "> 10,000/s", all && rate > 10000);
  }

  {  // 4. The sockets closed just now may count for a moment: a client refused tries again.
    std::atomic<int> bad{0}, unconnected{0}, ready{0};
    std::vector<std::thread> threads;
    threads.reserve(8);
    Clock::time_point t;
    for (int k = 0; k < 8; ++k)
      threads.emplace_back([&, k] {
        Conn c;
        for (int tries = 0; !c.open(child.port) || c.ask("*CLS;*OPC?") != "1"; sleepMs(50))
          if (++tries == 20) {
            ++unconnected, ++ready;
            return;
          }
        const std::string name = "c" + std::to_string(k) + "n";
        std::string out;
        for (std::size_t i = 0; i < perClient; ++i)
          out += "LOG:FILE \"C:\\..\\..\\" + name + std::to_string(i) + "\";:SYST:ERR?\n";
        if (++ready == 8) t = Clock::now();
        while (ready < 8) std::this_thread::yield();
        std::vector<std::string> got;
        c.exchange(out, perClient, got, 120000);
        std::size_t i = 0;
        while (i < got.size() && got[i].rfind("-224,", 0) == 0 &&
               got[i].find("\\" + name + std::to_string(i) + "'") != std::string::npos)
          ++i;
        const std::string last = c.ask("SYST:ERR?");
        if (i == perClient && last == "0,\"No error\"") return;
        ++bad;
        std::fprintf(stderr, "bench_remote: client %d: %s\n", k,
                     (i < got.size() ? "answer " + std::to_string(i) + " is " + got[i]
                                     : std::to_string(got.size()) + " answers, then " + last).c_str());
      });
    for (auto& th : threads) th.join();
    const double s = msSince(t) / 1000;
    if (unconnected) return fail("the 8 clients could not all connect");
    row("4 8 clients x " + std::to_string(perClient) + " numbered lines at once: clients losing or reordering",
        std::to_string(bad.load()) + " (" + fmt(s, " s, ") + fmt(8.0 * static_cast<double>(perClient) / s, " lines/s)"),
        "0", bad == 0);
  }

  {  // 5. A client that never reads.
    Conn probe, flood;
    if (!probe.open(child.port) || !flood.open(child.port) || probe.ask("FREQ?") != "44000")
      return fail("no clients for case 5");
    timeval second{1, 0};
    setsockopt(flood.fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
    sleepMs(300);
    child.resetPeak();
    const double rss = child.memoryMb("VmRSS");
    std::atomic<bool> done{false}, dropped{false};
    double sentMb = 0, dropS = 0;
    std::thread flooder([&] {
      std::string batch;
      for (int i = 0; i < 100; ++i) batch += "SYST:STAT?\n";
      const auto t = Clock::now();
      while (!dropped && msSince(t) < 20000) {
        const ssize_t n = send(flood.fd, batch.data(), batch.size(), MSG_NOSIGNAL);
        dropped = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        sentMb += static_cast<double>(std::max<ssize_t>(n, 0)) / 1e6;
      }
      dropS = msSince(t) / 1000;
      done = true;
    });
    bool lost = false;
    const Stats during = stats(roundTrips(probe, SIZE_MAX, [&] { return !done; }, lost));
    flooder.join();
    sleepMs(500);
    const bool said = child.saidDropped;
    row("5 a client that never reads: dropped after",
        dropped ? fmt(sentMb, " MB sent, ") + fmt(dropS, " s") + (said ? "" : " (no message)") : "NOT DROPPED in 20 s",
        "dropped", dropped && said);
    row("5 meanwhile another client's round trip", latency(during), "p99 < 5 ms", !lost && during.n && during.p99 < 5);
    memoryRow("5 resident size before / after", child, rss);
  }

  {  // 6. A client that sends 1 MB without a line end.
    Conn probe, longLine;
    if (!probe.open(child.port) || !longLine.open(child.port) || probe.ask("FREQ?") != "44000")
      return fail("no clients for case 6");
    child.resetPeak();
    const double rss = child.memoryMb("VmRSS");
    const std::string chunk(16384, 'x');
    std::vector<double> ms;
    bool lost = false, sent = true;
    for (int i = 0; i < 64 && sent && !lost; ++i) {  // 10 round trips after each 16 kB
      sent = longLine.put(chunk);
      const auto more = roundTrips(probe, 10, [] { return true; }, lost);
      ms.insert(ms.end(), more.begin(), more.end());
    }
    const Stats during = stats(ms);
    sleepMs(300);
    row("6 a 1 MB line: another client's round trip", latency(during), "p99 < 5 ms", sent && !lost && during.p99 < 5);
    memoryRow("6 resident size before / after", child, rss);
    const std::string idn = longLine.ask("\n*IDN?"), e1 = longLine.ask("SYST:ERR?"), e2 = longLine.ask("SYST:ERR?");
    const bool ok = idn.rfind("Corvex,Tavrin,", 0) == 0 && e1.rfind("-223,", 0) == 0 && e2 == "0,\"No error\"";
    row("6 then \"\\n*IDN?\": answered, one -223 queued", ok ? "yes" : "NO: " + idn + " | " + e1 + " | " + e2, "yes",
        ok);
  }

  child.stop();
  fs::remove_all(root);
  const std::string after = machine();
  std::printf("Tavrin remote control (tavrin --headless --remote 0 --board sim)\n"
              "machine: %s at the start, %s at the end\n\n",
              before.c_str(), after.substr(after.rfind("load ")).c_str());
  std::printf("  %-88s %-36s %-19s\n", "figure (round trips: median / p99 / max (count))", "measured", "goal");
  bool allMet = true;
  for (const Row& r : rows) {
    std::printf("  %-88s %-36s %-19s %s\n", r.figure.c_str(), r.value.c_str(), r.goal.c_str(),
                r.met ? "met" : "MISSED");
    allMet = allMet && r.met;
  }
  if (!json.empty()) {
    std::ofstream j(json);
    j << std::boolalpha << "{\n";
    for (std::size_t i = 0; i < rows.size(); ++i)
      j << "  \"row" << i + 1 << "\": {\"figure\": " << jsonText(rows[i].figure) << ", \"value\": "
        << jsonText(rows[i].value) << ", \"goal\": " << jsonText(rows[i].goal) << ", \"met\": " << rows[i].met
        << "},\n";
    j << "  \"machine\": " << jsonText(before) << ",\n  \"machine_at_end\": " << jsonText(after) << "\n}\n";
    if (!j) return std::fprintf(stderr, "bench_remote: cannot write %s\n", json.c_str()), 2;
  }
  return allMet ? 0 : 1;
}
