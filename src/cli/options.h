// The command line: options first, then the text a batch run reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/backends.h"

namespace tavrin {

struct Options {
  BackendOptions backend;
  std::string driveRoot;   // empty: TAVRIN_DRIVE_ROOT, else a per-user folder
  std::string traceFile;
  std::string scriptFile;
  std::optional<double> untilMs;
  std::string commandLine;  // everything after the options, joined by blanks
  bool help = false, version = false;
};

// Parses argv (without the program name). On error returns nullopt and a
// one-line message in `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

std::string usageText();
std::string versionText();

}  // namespace tavrin
