#include "cli/script.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/escape.h"
#include "core/files.h"
#include "core/numbers.h"
#include "core/virtual_toolkit.h"
#include "cli/session.h"

namespace tavrin {

namespace {

constexpr double kMaxScriptMs = 1e12;  // as --until

// The signal that asks a script run to end (SIGTERM, SIGINT, SIGHUP); a signal
// handler can only leave a flag, and the run looks at it at every wait.
volatile std::sig_atomic_t gSignal = 0;
#ifdef SIGHUP
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
#else
const int kSignals[] = {SIGTERM, SIGINT};
#endif
void (*gOldHandlers[3])(int) = {};

extern "C" void onSignal(int sig) { gSignal = sig; }

void catchSignals() {
  gSignal = 0;
  int i = 0;
  for (int sig : kSignals) gOldHandlers[i++] = std::signal(sig, onSignal);
}
void restoreSignals() {
  int i = 0;
  for (int sig : kSignals) {
    auto old = gOldHandlers[i++];
    std::signal(sig, old == SIG_ERR ? SIG_DFL : old);
  }
}

}  // namespace

std::optional<std::string> whyNeverEnds(Program& program) {
  Mainform& f = program.form;
  if (f.StepUpHeld || f.StepDownHeld) return std::string("a frequency arrow is held and never released");
  if (f.PoutUpHeld || f.PoutDownHeld) return std::string("a supply arrow is held and never released");
  if (program.tracking.running() && program.tracking.TrackPasses < 0 && f.Tracking.text == "Track Stop")
    return std::string("tracking runs until \"Track Stop\", which the script never clicks");
  return std::nullopt;
}

namespace {

enum class Needs { Control, ControlAndText, Text, Nothing };

struct ActionSpec {
  const char* name;
  Needs needs;
};

const ActionSpec kActions[] = {
    {"click", Needs::Control},   {"type", Needs::ControlAndText}, {"settext", Needs::ControlAndText},
    {"enter", Needs::Control},   {"leave", Needs::Control},       {"press", Needs::Control},
    {"release", Needs::Control}, {"tick", Needs::Control},        {"untick", Needs::Control},
    {"answer", Needs::Text},     {"close", Needs::Nothing},       {"dump", Needs::Nothing},
};

const ActionSpec* findAction(const std::string& name) {
  for (const auto& a : kActions)
    if (name == a.name) return &a;
  return nullptr;
}

// Takes the next blank-separated word from s at pos.
std::string word(const std::string& s, std::size_t& pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  std::size_t start = pos;
  while (pos < s.size() && s[pos] != ' ' && s[pos] != '\t') ++pos;
  return s.substr(start, pos - start);
}

bool onlyCommentLeft(const std::string& s, std::size_t pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  return pos >= s.size() || s[pos] == '#';
}

std::string timeText(double ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", ms);
  return buf;
}

}  // namespace

std::optional<std::vector<ScriptAction>> parseScript(const std::string& contents, std::string& error) {
  std::vector<ScriptAction> out;
  std::istringstream in(contents);
  std::string raw;
  int lineNo = 0;
  while (std::getline(in, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::size_t pos = 0;
    if (onlyCommentLeft(raw, 0)) continue;
    auto bad = [&](const std::string& why) {
      error = "script line " + std::to_string(lineNo) + ": " + why;
      return std::nullopt;
    };
    ScriptAction a;
    a.line = lineNo;
    std::string at = word(raw, pos);
    auto t = wholeNumber(at);
    // Times are bounded like --until: far beyond it, adding a timer's interval
    // to the virtual clock would no longer move it.
    if (!t || *t < 0 || *t > kMaxScriptMs || at.find('&') != std::string::npos)
      return bad("'" + at + "' is not a time in ms from 0 to 1000000000000");
    a.atMs = *t;
    a.action = word(raw, pos);
    const ActionSpec* shape = findAction(a.action);
    if (!shape) return bad("unknown action '" + a.action + "'");
    if (shape->needs == Needs::Control || shape->needs == Needs::ControlAndText) {
      a.control = word(raw, pos);
      if (a.control.empty()) return bad(a.action + " needs a control");
    }
    if (shape->needs == Needs::ControlAndText || shape->needs == Needs::Text) {
      // The text is the rest of the line after one blank, taken as it stands.
      if (pos < raw.size()) a.text = raw.substr(pos + 1);
      if (shape->needs == Needs::Text && a.text.empty()) return bad(a.action + " needs a text");
    } else if (!onlyCommentLeft(raw, pos)) {
      return bad("unexpected text after " + a.action);
    }
    out.push_back(std::move(a));
  }
  return out;
}

namespace {

// Checks the control of an action against the window; empty when it fits.
std::string checkControl(Mainform& form, const ScriptAction& a) {
  if (a.control.empty()) return {};
  Control* c = form.findById(a.control);
  if (!c) return "no control '" + a.control + "'";
  bool image = c->kind == ControlKind::Image, box = c->kind == ControlKind::TextBox;
  if ((a.action == "press" || a.action == "release") && !image)
    return a.action + " needs an arrow image, not " + a.control;
  if ((a.action == "tick" || a.action == "untick") && c->kind != ControlKind::CheckBox)
    return a.action + " needs a check box, not " + a.control;
  if ((a.action == "type" || a.action == "settext" || a.action == "leave") && !box)
    return a.action + " needs a text box, not " + a.control;
  // Only what the window lets an operator do: a click lands on a button or the
  // check box, Enter on a control that can have the focus.
  bool clickable = c->kind == ControlKind::CommandButton || c->kind == ControlKind::CheckBox;
  if (a.action == "click" && !clickable) return "click needs a button or a check box, not " + a.control;
  if (a.action == "enter" && !clickable && !box) return "enter needs a box or a button, not " + a.control;
  return {};
}

}  // namespace

void writeDump(const Program& program, double ms, std::ostream& out) {
  out << "# dump at " << timeText(ms) << '\n';
  for (const auto& line : program.form.dump()) {
    const std::size_t eq = line.find('=');
    out << line.substr(0, eq + 1) << escapedText(std::string_view(line).substr(eq + 1)) << '\n';
  }
  out.flush();
}

void writeMessage(const std::string& text, std::ostream& out) {
  out << "message: " << escapedText(text) << '\n';
  out.flush();
}

void deliverAction(Program& program, const ScriptAction& a, const Toolkit& tk,
                   const std::function<void(std::string)>& answer, std::ostream& out) {
  Mainform& f = program.form;
  Control* c = a.control.empty() ? nullptr : f.findById(a.control);
  EventArgs args;
  if (a.action == "click") {
    if (c->kind == ControlKind::CheckBox && c->enabled) c->value = c->value ? 0 : 1;
    f.fire(*c, Event::Click);
  } else if (a.action == "type") {
    for (unsigned char ch : a.text) f.typeChar(*c, ch);
  } else if (a.action == "settext") {
    f.pasteText(*c, a.text);
  } else if (a.action == "enter") {
    f.pressEnter(*c);
  } else if (a.action == "leave") {
    f.fire(*c, Event::LostFocus);
  } else if (a.action == "press") {
    f.fire(*c, Event::MouseDown, args);
  } else if (a.action == "release") {
    f.fire(*c, Event::MouseUp, args);
  } else if (a.action == "tick" || a.action == "untick") {
    int want = a.action == "tick" ? 1 : 0;
    if (c->enabled && c->value != want) {
      c->value = want;
      f.fire(*c, Event::Click);
    }
  } else if (a.action == "answer") {
    answer(a.text);
  } else if (a.action == "close") {
    program.Form_Unload();
  } else if (a.action == "dump") {
    writeDump(program, tk.nowMs(), out);
  }
}

std::optional<std::vector<ScriptAction>> loadScript(const Options& options, Mainform& form, std::ostream& err) {
  std::string contents;
  auto read = readWholeFile(pathFromUtf8(options.scriptFile), contents);
  if (!read.ok()) {
    err << "tavrin: cannot read script " << options.scriptFile << ": " << read.detail << '\n';
    return std::nullopt;
  }
  std::string error;
  auto actions = parseScript(contents, error);
  if (!actions) {
    err << "tavrin: " << error << '\n';
    return std::nullopt;
  }
  for (const auto& a : *actions) {
    if (auto why = checkControl(form, a); !why.empty()) {
      err << "tavrin: script line " << a.line << ": " << why << '\n';
      return std::nullopt;
    }
  }
  return actions;
}

int runScript(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.realtime) {
    err << "tavrin: this runner has virtual time only; run the script in real time with tavrin --realtime\n";
    return 2;
  }
  VirtualToolkit tk;
  tk.setTimeLimit(options.untilMs);
  tk.onMessage([&out](const std::string& text) {
    writeMessage(text, out);
  });
  Session session(options, tk, true);
  if (!session.ok()) {
    err << "tavrin: " << session.error() << '\n';
    return 2;
  }
  Program& program = session.program();
  auto actions = loadScript(options, program.form, err);
  if (!actions) return 2;
  int status = 0;
  std::string stoppedWhy;
  catchSignals();
  const bool limited = options.untilMs.has_value();
  tk.setStopCheck([&]() -> std::optional<std::string> {
    if (gSignal != 0) return "signal " + std::to_string(gSignal) + "; the device was closed";
    // With nothing left to deliver, a held arrow or tracking without a pass
    // limit would run for ever: stop and say so (--until runs them on).
    if (limited || tk.hasPendingActions()) return std::nullopt;
    return whyNeverEnds(program);
  });
  try {
    // The window is up when start-up begins: every action is posted first, so
    // one timed during start-up is delivered by start-up's own waits at its
    // time, as a real event would be. Actions due at the same time as a timer
    // come before its tick (they were posted first).
    for (const auto& a : *actions) {
      ScriptAction copy = a;
      tk.post(a.atMs, [&program, copy, &tk, &out] {
        deliverAction(program, copy, tk, [&tk](std::string name) { tk.queueDialogAnswer(std::move(name)); }, out);
      });
    }
    program.Form_Load();
    while (tk.hasPendingActions()) tk.waitForEvents();
  } catch (const ProgramEnded& e) {
    status = e.status;
  } catch (const RunLimitReached&) {
  } catch (const RunStopped& e) {
    stoppedWhy = e.why;
    if (gSignal != 0) {
      // As closing the window would: the device is closed, nothing more sent.
      program.link.closeDevice();
      status = 128 + gSignal;
    } else {
      status = 3;
    }
  }
  if (!stoppedWhy.empty()) err << "tavrin: script run stopped at " << timeText(tk.nowMs()) << " ms: " << stoppedWhy << '\n';
  status = finishRun(session, options, tk.nowMs(), status, out, err);
  restoreSignals();
  return status;
}

int finishRun(Session& session, const Options& options, double ms, int status, std::ostream& out,
              std::ostream& err) {
  const bool traceWritten = session.flushTrace();
  writeDump(session.program(), ms, out);
  // What could not be written is lost: that is a failure, never a quiet 0.
  if (!traceWritten) {
    err << "tavrin: cannot write the trace file " << options.traceFile << '\n';
    if (status == 0) status = 1;
  }
  if (!out) {
    err << "tavrin: cannot write the output (the dumps and messages)\n";
    if (status == 0) status = 1;
  }
  err.flush();
  return status;
}

}  // namespace tavrin
