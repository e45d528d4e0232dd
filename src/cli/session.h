// Wires one run of the program: the backend chosen on the command line, the
// link trace around it, and the Program on a toolkit.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "cli/options.h"
#include "link/trace.h"
#include "shell/program.h"

namespace tavrin {

class Session {
 public:
  // On a trace file that cannot be opened, `error` is set and ok() is false.
  // In virtual time the local clock starts from --clock-start (else the real
  // local time now) and advances with the toolkit's time; in real time it is
  // the system's clock unless --clock-start sets a start.
  Session(const Options& options, Toolkit& toolkit, bool virtualTime = false);
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  Program& program() { return *program_; }
  Link& backend() { return *backend_; }   // the backend itself, untraced
  // Flushes the trace; false when some of it could not be written (said in
  // Info in red at the first failure).
  bool flushTrace();

 private:
  std::string error_;
  std::unique_ptr<Link> backend_;
  std::ofstream traceFile_;
  std::unique_ptr<TracingLink> trace_;
  std::unique_ptr<Program> program_;
};

}  // namespace tavrin
