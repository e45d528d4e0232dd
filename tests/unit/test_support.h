// Shared scaffolding of the unit tests: a program on virtual time with its link
// traced, and throw-away folders.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "core/virtual_toolkit.h"
#include "link/no_device.h"
#include "link/trace.h"
#include "shell/program.h"
#include "sim/sim_board.h"

namespace tavrin::test {

// A fresh empty folder under the system temp folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrin-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The simulated board with a fault list as --sim-fault takes it.
inline std::unique_ptr<sim::SimBoard> simBoard(std::function<double()> clock, const std::string& faults = "") {
  sim::SimConfig config;
  std::string error;
  if (!sim::parseFaults(faults, config, error)) std::abort();
  return std::make_unique<sim::SimBoard>(config, std::move(clock));
}

// One run of the program on the virtual toolkit: a backend, the trace around
// it, and the Program wired as the command-line run wires it. Drive-letter
// paths live in a throw-away folder.
class Bench {
 public:
  using MakeBackend = std::function<std::unique_ptr<D2xx>(std::function<double()> clockMs)>;

  explicit Bench(MakeBackend make, std::string linkUnavailable = {}) {
    backend = make([this] { return tk.nowMs(); });
    if (!backend) backend = std::make_unique<NoDevice>();
    tracing = std::make_unique<TracingD2xx>(*backend, trace, [this] { return tk.nowMs(); });
    ProgramSetup setup;
    setup.linkUnavailable = std::move(linkUnavailable);
    setup.paths = PathMapper(drives.path());
    setup.beforeExit = [this] { tracing->flush(); };
    program = std::make_unique<Program>(tk, *tracing, std::move(setup));
  }
  // On the simulated board.
  explicit Bench(const std::string& simFaults = "")
      : Bench([simFaults](std::function<double()> clock) -> std::unique_ptr<D2xx> {
          return simBoard(std::move(clock), simFaults);
        }) {}
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  Mainform& form() { return program->form; }
  sim::SimBoard* board() { return dynamic_cast<sim::SimBoard*>(backend.get()); }

  // Start-up as the program runs it; an end of the program is not a failure here.
  void start() {
    guarded([this] { program->Form_Load(); });
  }
  // Delivers what is posted, in virtual time, until nothing is left.
  void run() {
    guarded([this] {
      while (tk.hasPendingActions()) tk.waitForEvents();
    });
  }
  // The trace so far, emptied for the next look.
  std::string takeTrace() {
    tracing->flush();
    std::string s = trace.str();
    trace.str("");
    return s;
  }

  VirtualToolkit tk;
  TempDir drives;
  std::ostringstream trace;
  std::unique_ptr<D2xx> backend;
  std::unique_ptr<TracingD2xx> tracing;
  std::unique_ptr<Program> program;
  int endStatus = -1;  // set when the program ended

 private:
  void guarded(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const ProgramEnded& e) {
      endStatus = e.status;
    } catch (const RunLimitReached&) {
    }
  }
};

}  // namespace tavrin::test
