// A bench on the virtual toolkit: the program, the simulated board and the link
// trace, with helpers to run scripted operator actions in virtual time.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <optional>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/virtual_toolkit.h"
#include "link/trace.h"
#include "shell/program.h"
#include "sim/sim_board.h"

namespace tavrin::testing {

// Answers each current request with the next canned reply (at once) and
// passes everything else to the simulated board.
class CannedReplies : public ForwardingLink {
 public:
  explicit CannedReplies(Link& inner) : ForwardingLink(inner) {}
  std::deque<std::string> replies;

  LinkStatus write(LinkHandle h, std::span<const std::uint8_t> b, std::uint32_t& w) override {
    if (b.size() == 2 && b[0] == 2 && b[1] == 7 && !replies.empty()) {
      queued_ += replies.front();
      replies.pop_front();
    }
    return inner().write(h, b, w);
  }
  LinkStatus queueStatus(LinkHandle, std::uint32_t& n) override {
    n = static_cast<std::uint32_t>(queued_.size());
    return ft::OK;
  }
  LinkStatus read(LinkHandle, std::span<std::uint8_t> b, std::uint32_t& got) override {
    std::size_t k = std::min(b.size(), queued_.size());
    std::copy_n(queued_.data(), k, b.data());
    queued_.erase(0, k);
    got = static_cast<std::uint32_t>(k);
    return ft::OK;
  }

 private:
  std::string queued_;
};

// This test process's id, so that test programs run side by side (ctest -j)
// never share a folder.
inline int processId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

inline std::filesystem::path freshDriveRoot() {
  static int n = 0;
  auto root = std::filesystem::temp_directory_path() /
              ("tavrin-behaviour-" + std::to_string(processId()) + "-" + std::to_string(n++));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  return root;
}

struct Rig {
  explicit Rig(sim::SimConfig config = quietBoard(), bool useCanned = false, std::string decimalSeparator = ".",
               std::string commandLine = "")
      : root(freshDriveRoot()),
        board(std::move(config), [this] { return tk.nowMs(); }),
        canned(board),
        trace(useCanned ? static_cast<Link&>(this->canned) : board, traceOut, [this] { return tk.nowMs(); }),
        program(tk, trace, setup(root, std::move(decimalSeparator), std::move(commandLine))) {
    tk.onMessage([this](const std::string& m) { messages.push_back(m); });
  }
  ~Rig() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  static sim::SimConfig quietBoard() {
    sim::SimConfig c;
    c.model.noise = 0;
    return c;
  }
  // Files carry a fixed local time: 2010-07-26 14:03:05 at start, advancing
  // with virtual time.
  ProgramSetup setup(const std::filesystem::path& root, std::string decimalSeparator, std::string commandLine) {
    ProgramSetup s;
    s.commandLine = std::move(commandLine);
    s.paths = PathMapper(root);
    s.localTime = [this] {
      return addSeconds(LocalDateTime{2010, 7, 26, 14, 3, 5}, static_cast<long long>(tk.nowMs() / 1000));
    };
    s.decimalSeparator = std::move(decimalSeparator);
    // A day-first locale's general format, as a German desktop writes it.
    s.dateTimeText = [](const LocalDateTime& t) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                    t.second);
      return std::string(buf);
    };
    return s;
  }
  std::string readFile(const std::string& rel) const {
    std::string contents;
    readWholeFile(root / rel, contents);
    return contents;
  }

  // Runs start-up, then the actions posted with at(), until nothing is left
  // (or the program ends). Returns the exit status if it ended.
  std::optional<int> start() {
    try {
      program.Form_Load();
      return run();
    } catch (const ProgramEnded& e) {
      return e.status;
    }
  }
  std::optional<int> run() {
    try {
      while (tk.hasPendingActions()) tk.waitForEvents();
    } catch (const ProgramEnded& e) {
      return e.status;
    } catch (const RunLimitReached&) {
    }
    return std::nullopt;
  }
  void at(double ms, std::function<void()> fn) { tk.post(ms, std::move(fn)); }

  // The decoded frame lines and line calls of the trace, without the times.
  std::vector<std::string> traceLines(const std::string& contains = "") const {
    std::vector<std::string> out;
    std::istringstream in(traceOut.str());
    std::string l;
    while (std::getline(in, l))
      if (contains.empty() || l.find(contains) != std::string::npos) out.push_back(l);
    return out;
  }
  std::vector<std::string> frames() const { return traceLines(" frame "); }
  void clearTrace() { traceOut.str(""); }

  Mainform& form() { return program.form; }
  void writeFile(const std::string& rel, const std::string& contents) {
    auto p = root / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << contents;
  }

  std::filesystem::path root;
  VirtualToolkit tk;
  sim::SimBoard board;
  CannedReplies canned;
  std::ostringstream traceOut;
  TracingLink trace;
  Program program;
  std::vector<std::string> messages;
};

// A fresh folder, removed with its contents at the end.
struct TempDir {
  std::filesystem::path root = freshDriveRoot();
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  const std::filesystem::path& path() const { return root; }
};

// The quiet board with a fault list as --sim-fault takes it.
inline sim::SimConfig withFaults(const std::string& faults) {
  sim::SimConfig c = Rig::quietBoard();
  std::string error;
  if (!sim::parseFaults(faults, c, error)) throw std::invalid_argument(error);
  return c;
}

}  // namespace tavrin::testing
