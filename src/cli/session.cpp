#include "cli/session.h"

#include <cmath>

#include "core/numbers.h"
#include "link/no_device.h"

namespace tavrin {

Session::Session(const Options& options, Toolkit& toolkit, bool virtualTime) {
  ProgramSetup setup;
  setup.commandLine = options.commandLine;
  setup.decimalSeparator = systemDecimalSeparator();
  setup.batchFailsOnLink = !virtualTime;
  if (options.clockStart || virtualTime) {
    LocalDateTime start = options.clockStart ? *options.clockStart : systemLocalTime();
    setup.localTime = [start, &toolkit] {
      return addSeconds(start, static_cast<long long>(std::floor(toolkit.nowMs() / 1000.0)));
    };
  }
  if (!options.driveRoot.empty()) setup.paths = PathMapper(pathFromUtf8(options.driveRoot));

  const Backend* backend = findBackend(options.backend.board);
  std::string whyNot;
  if (backend) backend_ = backend->open(options.backend, [&toolkit] { return toolkit.nowMs(); }, whyNot);
  if (!backend_) {
    setup.linkUnavailable = whyNot.empty() ? "no link backend '" + options.backend.board + "'" : whyNot;
    backend_ = std::make_unique<NoDevice>();
  }

  Link* link = backend_.get();
  if (!options.traceFile.empty()) {
    traceFile_.open(pathFromUtf8(options.traceFile), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!traceFile_) {
      error_ = "cannot write the trace file " + options.traceFile;
      return;
    }
    trace_ = std::make_unique<TracingLink>(*backend_, traceFile_, [&toolkit] { return toolkit.nowMs(); });
    link = trace_.get();
  }
  setup.beforeExit = [this] { flushTrace(); };
  program_ = std::make_unique<Program>(toolkit, *link, std::move(setup));
  if (trace_) {
    trace_->onWriteFailure([this, file = options.traceFile] {
      Mainform& f = program_->form;
      f.setForecolor(f.Info, colors::red);
      f.setText(f.Info, "Trace ERROR: cannot write " + file);
    });
  }
}

bool Session::flushTrace() {
  if (trace_) trace_->flush();
  if (traceFile_.is_open()) traceFile_.flush();
  return !traceFile_.is_open() || (traceFile_.good() && !(trace_ && trace_->failed()));
}

}  // namespace tavrin
