// The command-line option parser. The input is the argument list, one
// argument a line. Either the options come back consistent, or one line says
// what is wrong.
#include <algorithm>
#include <cmath>

#include "cli/options.h"
#include "fuzz_check.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view t = fuzz::text(data, size);
  std::vector<std::string> args;
  for (std::size_t pos = 0; pos <= t.size();) {
    std::size_t end = std::min(t.find('\n', pos), t.size());
    args.emplace_back(t.substr(pos, end - pos));
    pos = end + 1;
  }
  if (size == 0) args.clear();

  std::string error;
  const auto o = parseOptions(args, error);
  if (!o) {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    return 0;
  }
  FUZZ_CHECK(error.empty());
  if (o->untilMs) FUZZ_CHECK(*o->untilMs >= 0 && *o->untilMs <= 1e12);
  if (o->stepTimeMs) FUZZ_CHECK(!o->checkSequence.empty() && *o->stepTimeMs >= 0 && *o->stepTimeMs <= 1e9);
  if (!o->checkSequence.empty()) FUZZ_CHECK(o->commandLine.empty() && o->checkSequence.rfind("--", 0) != 0);
  if (o->headless && !o->help && !o->version)
    FUZZ_CHECK(o->scriptFile.empty() && o->checkSequence.empty() &&
               o->commandLine.find_first_not_of(" \t\"") != std::string::npos);
  // `auto` is resolved to a backend except where nothing is run.
  FUZZ_CHECK(findBackend(o->backend.board) ||
             (o->backend.board == kAutoBoard && (o->help || o->version || o->listBoards)));
  const auto& m = o->backend.sim.model;
  FUZZ_CHECK(m.resonanceHz >= 1 && m.resonanceHz <= 1e7 && m.widthHz >= 1 && m.widthHz <= 1e7);
  FUZZ_CHECK(m.gain >= 0 && m.noise >= 0 && m.idleCounts >= 0 && std::isfinite(m.driftHzPerS));
  FUZZ_CHECK(o->backend.sim.latencyMs >= 0 && o->backend.sim.latencyMs <= 60000);
  const auto& names = sim::faultNames();
  for (const auto& f : o->backend.sim.faults) FUZZ_CHECK(std::find(names.begin(), names.end(), f) != names.end());
  for (const auto& j : m.jumps) FUZZ_CHECK(std::fabs(j.hz) <= 1e7 && j.atMs >= 0 && j.atMs <= 1e12);
  // The command-line text is the arguments after the options, joined by blanks.
  if (!o->commandLine.empty()) {
    FUZZ_CHECK(!args.empty());
    FUZZ_CHECK(o->commandLine.size() >= args.back().size() && o->commandLine.ends_with(args.back()));
  }
  return 0;
}
