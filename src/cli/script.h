// Operator scripts: the program without a window, in virtual time. Each line is
// "AT_MS ACTION CONTROL[(INDEX)] [TEXT]"; see the README for the actions.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace tavrin {

struct ScriptAction {
  int line = 0;
  double atMs = 0;
  std::string action;
  std::string control;  // "imgUp(4)", or empty for answer, close, dump
  std::string text;
};

// Parses a script. On the first bad line returns nullopt and a message that
// names the line.
std::optional<std::vector<ScriptAction>> parseScript(const std::string& contents, std::string& error);

// Runs a script against the program and writes messages and dumps to out.
// Returns the exit status: the program's own, or 2 for a bad script.
int runScript(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace tavrin
