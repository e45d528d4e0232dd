#include "cli/script.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/files.h"
#include "core/numbers.h"
#include "core/virtual_toolkit.h"
#include "cli/session.h"

namespace tavrin {

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
    if (!t || *t < 0 || at.find('&') != std::string::npos) return bad("'" + at + "' is not a time in ms");
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
  return {};
}

void deliver(Program& program, const ScriptAction& a, VirtualToolkit& tk, std::ostream& out) {
  Mainform& f = program.form;
  Control* c = a.control.empty() ? nullptr : f.findById(a.control);
  EventArgs args;
  if (a.action == "click") {
    if (c->kind == ControlKind::CheckBox && c->enabled) c->value = c->value ? 0 : 1;
    f.fire(*c, Event::Click);
  } else if (a.action == "type") {
    for (unsigned char ch : a.text) f.typeChar(*c, ch);
  } else if (a.action == "settext") {
    f.setText(*c, a.text);
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
    tk.queueDialogAnswer(a.text);
  } else if (a.action == "close") {
    program.Form_Unload();
  } else if (a.action == "dump") {
    out << "# dump at " << timeText(tk.nowMs()) << '\n';
    for (const auto& line : f.dump()) out << line << '\n';
    out.flush();
  }
}

}  // namespace

int runScript(const Options& options, std::ostream& out, std::ostream& err) {
  std::string contents;
  auto read = readWholeFile(options.scriptFile, contents);
  if (!read.ok()) {
    err << "tavrin: cannot read script " << options.scriptFile << ": " << read.detail << '\n';
    return 2;
  }
  std::string error;
  auto actions = parseScript(contents, error);
  if (!actions) {
    err << "tavrin: " << error << '\n';
    return 2;
  }

  VirtualToolkit tk;
  tk.setTimeLimit(options.untilMs);
  tk.onMessage([&out](const std::string& text) {
    out << "message: " << text << '\n';
    out.flush();
  });
  Session session(options, tk, true);
  if (!session.ok()) {
    err << "tavrin: " << session.error() << '\n';
    return 2;
  }
  Program& program = session.program();
  for (const auto& a : *actions) {
    if (auto why = checkControl(program.form, a); !why.empty()) {
      err << "tavrin: script line " << a.line << ": " << why << '\n';
      return 2;
    }
  }
  int status = 0;
  try {
    // The window is up when start-up begins: every action is posted first, so
    // one timed during start-up is delivered by start-up's own waits at its
    // time, as a real event would be. Actions due at the same time as a timer
    // come before its tick (they were posted first).
    for (const auto& a : *actions) {
      ScriptAction copy = a;
      tk.post(a.atMs, [&program, copy, &tk, &out] { deliver(program, copy, tk, out); });
    }
    program.Form_Load();
    while (tk.hasPendingActions()) tk.waitForEvents();
  } catch (const ProgramEnded& e) {
    status = e.status;
  } catch (const RunLimitReached&) {
  }
  session.flushTrace();
  out << "# dump at " << timeText(tk.nowMs()) << '\n';
  for (const auto& line : program.form.dump()) out << line << '\n';
  out.flush();
  return status;
}

}  // namespace tavrin
