// Operator scripts: the program without a window, in virtual time. Each line is
// "AT_MS ACTION CONTROL[(INDEX)] [TEXT]"; see the README for the actions.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/session.h"
#include "shell/program.h"

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

// Reads, parses and checks a script against the window's controls. On an
// error says it (naming the line) on err and returns nullopt.
std::optional<std::vector<ScriptAction>> loadScript(const Options& options, Mainform& form, std::ostream& err);

// Delivers one action as the operator would; `answer` takes the file name of
// an answer action for the next file dialog.
void deliverAction(Program& program, const ScriptAction& a, const Toolkit& tk,
                   const std::function<void(std::string)>& answer, std::ostream& out);

// "# dump at TIME_MS" and every control property and state variable, one
// "name=value" a line, the value escaped (core/escape.h) so it stays one line.
void writeDump(const Program& program, double ms, std::ostream& out);
// "message: TEXT" for a message box a script run answers.
void writeMessage(const std::string& text, std::ostream& out);

// The end of every script run: the trace flushed, the final dump, and the
// exit status made 1 when the trace or the output could not be written.
int finishRun(Session& session, const Options& options, double ms, int status, std::ostream& out,
              std::ostream& err);

// Why the program, with no scripted action left, can never finish what runs
// (an arrow held and never released, tracking never stopped); nullopt if it can.
std::optional<std::string> whyNeverEnds(Program& program);

// Runs a script against the program and writes messages and dumps to out.
// Returns the exit status: the program's own, or 2 for a bad script.
int runScript(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace tavrin
