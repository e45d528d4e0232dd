#include "remote/remote_control.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "core/escape.h"
#include "core/numbers.h"
#include "sequencer/sequence_file.h"

namespace tavrin::remote {

namespace {

// A command that cannot be done: its SCPI error, for the client's queue.
struct Failure {
  int code;
  std::string message;
};

[[noreturn]] void conflict(const std::string& why) { throw Failure{-221, "Settings conflict; " + why}; }

std::string numberText(double v) { return shortestDecimal(v); }

}  // namespace

// One command as a row handler sees it.
struct Call {
  RemoteControl& control;
  ClientSession& client;
  const scpi::Command& command;
  Program& program;
  Mainform& form;

  void arguments(std::size_t n) const {
    if (command.arguments.size() < n) throw Failure{-109, "Missing parameter"};
    if (command.arguments.size() > n) throw Failure{-108, "Parameter not allowed"};
  }
  const scpi::Argument& argument() const {
    arguments(1);
    return command.arguments.front();
  }
  double number() const {
    const auto& a = argument();
    if (a.kind != scpi::Argument::Kind::Number) throw Failure{-104, "Data type error; a number is wanted"};
    return a.number;
  }
  // A whole number from `low` to `high`, as the window's digit boxes take it.
  std::string whole(double low, double high) const {
    const double v = number();
    if (v != std::floor(v) || v < low || v > high)
      throw Failure{-222, "Data out of range; a whole number from " + numberText(low) + " to " + numberText(high)};
    return numberText(v);
  }
  bool onOff() const {
    const auto& a = argument();
    if (a.kind == scpi::Argument::Kind::Word && (a.text == "ON" || a.text == "OFF")) return a.text == "ON";
    if (a.kind == scpi::Argument::Kind::Number && (a.number == 0 || a.number == 1)) return a.number == 1;
    throw Failure{-104, "Data type error; ON, OFF, 1 or 0"};
  }
  const std::string& text() const {
    const auto& a = argument();
    if (a.kind != scpi::Argument::Kind::String) throw Failure{-104, "Data type error; a quoted string is wanted"};
    return a.text;
  }
  // A file name must lead to a place inside the drive root: nothing a client
  // names may be written elsewhere.
  const std::string& fileName() const {
    const std::string& name = text();
    namespace fs = std::filesystem;
    const fs::path root = program.setup().paths.driveRoot().lexically_normal();
    const fs::path mapped = program.setup().paths.map(name).lexically_normal();
    const auto rel = mapped.lexically_relative(root);
    if (name.empty() || mapped == root || rel.empty() || *rel.begin() == "..")
      throw Failure{-224, "Illegal parameter value; '" + escapedText(name) + "' is not inside the drive root"};
    return name;
  }
  void enabled(const Control& c, const std::string& what) const {
    if (c.enabled) return;
    conflict(what + " is disabled" + (form.ControlAvailable ? "" : ": the board did not answer at start-up"));
  }
  // Sets a box as a paste sets it.
  void box(Control& c, const std::string& what, const std::string& value) const {
    enabled(c, what);
    form.pasteText(c, value);
  }
  // Clicks a button that shows a state, when the state must change; fails
  // with the window's word when the click did not change it.
  void toggle(Control& button, const std::string& what, bool want, const std::string& onCaption) const {
    if ((button.text == onCaption) == want) return;
    enabled(button, what);
    const std::string before = button.text;
    form.fire(button, Event::Click);
    if (button.text == before) conflict(what + " did not change: " + form.Info.text);
  }
  void notDuringRuns() const {
    if (form.SweepRunning) conflict("a sweep is running");
    if (form.StimRunning) conflict("a sequence is running");
    if (program.tracking.running()) conflict("tracking is running");
  }
  ResonanceFigures figures() const {
    if (control.lastSweep().empty()) throw Failure{-230, "Data corrupt or stale; no sweep has run"};
    return resonanceFigures(control.lastSweep());
  }
  [[noreturn]] void unmeasurable(const ResonanceFigures& r) const {
    throw Failure{-231, "Data questionable; " + (r.note.empty() ? std::string("not measured") : r.note)};
  }
};

struct RemoteControl::Row {
  std::string_view header;
  bool query;
  std::string (*run)(Call&);
};

namespace {

std::string idn(Call& c) {
  const std::string& serial = c.form.module1.DeviceSerial;
  return "Corvex,Tavrin," + (serial.empty() ? std::string("0") : serial) + "," + c.control.version();
}

}  // namespace

std::span<const RemoteControl::Row> RemoteControl::table() {
  using C = Call;
  // A constant table: the headers and the functions that carry them out.
  static constexpr Row rows[] = {
      {"*IDN", true, [](C& c) { return c.arguments(0), idn(c); }},
      {"*CLS", false, [](C& c) { return c.arguments(0), c.client.errors_.clear(), std::string(); }},
      {"SYSTem:VERSion", true, [](C& c) { return c.arguments(0), std::string("1999.0"); }},
      {"SYSTem:STATe", true,
       [](C& c) {
         c.arguments(0);
         std::string out;
         for (const auto& line : c.form.dump()) {
           const std::size_t eq = line.find('=');
           out += line.substr(0, eq + 1) + escapedText(std::string_view(line).substr(eq + 1)) + "\n";
         }
         return out;  // the line's own end follows: an empty line ends the dump
       }},
      {"SYSTem:EXIT", false, [](C& c) { return c.arguments(0), c.program.Form_Unload(), std::string(); }},

      {"FREQuency", false,
       [](C& c) {
         c.box(c.form.txtFrekvens_DDS1, "the frequency box", c.whole(0, 2147483647));
         c.form.pressEnter(c.form.txtFrekvens_DDS1);
         return std::string();
       }},
      {"FREQuency", true, [](C& c) { return c.arguments(0), c.form.txtFrekvens_DDS1.text; }},
      {"PHASe", false,
       [](C& c) {
         const double deg = c.number();
         if (deg < 0 || deg > 360) throw Failure{-222, "Data out of range; 0 to 360 degrees"};
         c.box(c.form.txtFase_DDS2, "the phase box", numberText(deg));
         c.form.fire(c.form.txtFase_DDS2, Event::LostFocus);  // the box commits as the focus leaves it
         return std::string();
       }},
      {"PHASe", true, [](C& c) { return c.arguments(0), c.form.txtFase_DDS2.text; }},
      {"VOLTage", false,
       [](C& c) {
         const double volts = c.number();
         if (!(volts >= 1.35 && volts <= 5.7)) throw Failure{-222, "Data out of range; 1.35 to 5.7 V"};
         if (!c.form.ControlAvailable) conflict("the supply is disabled: the board did not answer at start-up");
         const auto s = supplySetting(static_cast<std::int16_t>(std::lround(volts * 1000)));
         c.form.PoutByteLo = s->code;
         c.form.PoutValue = s->tenths;
         c.program.supply.ShowPout(c.form.PoutValue);
         // As a sequence step sets it. With the motor stopped a frame would
         // set the enable line: the setting goes out with the next start.
         if (c.form.cmdStartMotor.text == "Motor Stop") {
           c.form.DriveMode = 6;
           c.program.link.SendDriveSettings();
         }
         return std::string();
       }},
      {"VOLTage", true, [](C& c) { return c.arguments(0), numberText(c.form.PoutValue / 10.0); }},
      {"OUTPut", false,
       [](C& c) { return c.toggle(c.form.cmdStartMotor, "the motor button", c.onOff(), "Motor Stop"), std::string(); }},
      {"OUTPut", true,
       [](C& c) { return c.arguments(0), std::string(c.form.cmdStartMotor.text == "Motor Stop" ? "1" : "0"); }},
      {"DIRection", false,
       [](C& c) {
         const auto& a = c.argument();
         const bool reverse = a.kind == scpi::Argument::Kind::Word && scpi::matches("REVerse", a.text);
         if (!reverse && !(a.kind == scpi::Argument::Kind::Word && scpi::matches("FORWard", a.text)))
           throw Failure{-104, "Data type error; FORWard or REVerse"};
         c.toggle(c.form.Selectdir, "the direction button", reverse, "CW");
         return std::string();
       }},
      {"DIRection", true,
       [](C& c) { return c.arguments(0), std::string(c.form.Selectdir.text == "CW" ? "REV" : "FORW"); }},
      {"SEND", false,
       [](C& c) {
         c.arguments(0);
         c.enabled(c.form.cmdWrite, "'Send Data'");
         c.form.fire(c.form.cmdWrite, Event::Click);
         return std::string();
       }},

      {"MEASure:CURRent", true,
       [](C& c) {
         c.arguments(0);
         c.notDuringRuns();
         const int before = c.control.readings_;
         c.program.current.ReadCurrent(false);
         if (c.control.readings_ == before) throw Failure{-240, "Hardware error; the board did not answer"};
         return std::to_string(c.form.CurrentmA);
       }},
      {"FETCh:CURRent", true, [](C& c) { return c.arguments(0), std::to_string(c.form.CurrentmA); }},

      {"SWEep:STARt", false, [](C& c) { return c.box(c.form.TxtSwpStart, "the sweep start box", c.whole(0, 2147483647)), std::string(); }},
      {"SWEep:STARt", true, [](C& c) { return c.arguments(0), c.form.TxtSwpStart.text; }},
      {"SWEep:STOP", false, [](C& c) { return c.box(c.form.TxtSwpStop, "the sweep stop box", c.whole(0, 2147483647)), std::string(); }},
      {"SWEep:STOP", true, [](C& c) { return c.arguments(0), c.form.TxtSwpStop.text; }},
      {"SWEep:STEP", false, [](C& c) { return c.box(c.form.TxtSwpStep, "the sweep step box", c.whole(1, 32767)), std::string(); }},
      {"SWEep:STEP", true, [](C& c) { return c.arguments(0), c.form.TxtSwpStep.text; }},
      {"SWEep:DWELl", false, [](C& c) { return c.box(c.form.TxtSteptime, "the pause box", c.whole(0, 2147483647)), std::string(); }},
      {"SWEep:DWELl", true, [](C& c) { return c.arguments(0), c.form.TxtSteptime.text; }},
      {"INITiate:SWEep", false,
       [](C& c) {
         c.arguments(0);
         if (c.form.SweepRunning) conflict("a sweep is running");
         c.enabled(c.form.CmdSwpStart, "'Sweep start'");
         const int begun = c.control.sweepsBegun_;
         RemoteControl& rc = c.control;
         rc.clickLater(c.client, c.form.CmdSwpStart, [&rc, begun] { return rc.sweepsBegun_ != begun; });
         return std::string();
       }},
      {"SWEep:RESult", true,
       [](C& c) { return c.arguments(0), std::to_string(c.form.MaxCurrent) + "," + std::to_string(c.form.MaxCurrentFreq); }},
      {"SWEep:DATA", true,
       [](C& c) {
         c.arguments(0);
         std::string out;
         for (const auto& p : c.control.lastSweep())
           out += (out.empty() ? "" : ",") + numberText(p.hz) + "," + numberText(p.mA);
         return out;
       }},
      {"SWEep:PEAK", true,
       [](C& c) {
         c.arguments(0);
         const auto r = c.figures();
         if (!r.hasPeak) c.unmeasurable(r);
         return numberText(std::round(r.peakHz * 10) / 10);
       }},
      {"SWEep:WIDTh", true,
       [](C& c) {
         c.arguments(0);
         const auto r = c.figures();
         if (!r.widthHz) c.unmeasurable(r);
         return numberText(std::round(*r.widthHz * 10) / 10);
       }},
      {"SWEep:Q", true,
       [](C& c) {
         c.arguments(0);
         const auto r = c.figures();
         if (!r.q) c.unmeasurable(r);
         return numberText(std::round(*r.q * 10) / 10);
       }},

      {"TRACking", false,
       [](C& c) {
         const bool on = c.onOff();
         if (on == (c.form.Tracking.text == "Track Stop")) return std::string();
         c.enabled(c.form.Tracking, on ? "'Track Freq'" : "'Track Stop'");
         if (!on) {
           c.form.fire(c.form.Tracking, Event::Click);  // ends tracking after its pass; *OPC? waits for it
           return std::string();
         }
         if (c.form.SweepRunning) conflict("Tracking not started: a sweep is running");
         RemoteControl& rc = c.control;
         rc.clickLater(c.client, c.form.Tracking, [] { return true; });
         return std::string();
       }},
      // On from the moment TRACking ON is taken, though its click comes a moment later.
      {"TRACking", true,
       [](C& c) {
         c.arguments(0);
         return std::string(c.form.Tracking.text == "Track Stop" || c.control.clicking(c.form.Tracking) ? "1" : "0");
       }},
      {"TRACking:STEP", false, [](C& c) { return c.box(c.form.TrackFrqStp, "the tracking step box", c.whole(0, 2147483647)), std::string(); }},
      {"TRACking:STEP", true, [](C& c) { return c.arguments(0), c.form.TrackFrqStp.text; }},

      {"LOG", false,
       [](C& c) {
         const bool on = c.onOff();
         Control& box = c.form.btGetCurrent;
         if ((box.value == 1) == on) return std::string();
         c.enabled(box, "'Log current'");
         box.value = on ? 1 : 0;
         c.form.fire(box, Event::Click);
         if ((box.value == 1) != on) conflict(c.form.Info.text);
         return std::string();
       }},
      {"LOG", true, [](C& c) { return c.arguments(0), std::string(c.form.btGetCurrent.value == 1 ? "1" : "0"); }},
      {"LOG:FILE", false, [](C& c) { return c.box(c.form.LogFileName, "the log file box", c.fileName()), std::string(); }},
      {"LOG:FILE", true, [](C& c) { return c.arguments(0), scpi::quoted(c.form.LogFileName.text); }},

      {"SEQuence:FILE", false, [](C& c) { return c.box(c.form.StimFileName, "the sequence file box", c.fileName()), std::string(); }},
      {"SEQuence:FILE", true, [](C& c) { return c.arguments(0), scpi::quoted(c.form.StimFileName.text); }},
      {"SEQuence:COUNt", false, [](C& c) { return c.box(c.form.times, "the repeats box", c.whole(0, 2147483647)), std::string(); }},
      {"SEQuence:COUNt", true, [](C& c) { return c.arguments(0), c.form.times.text; }},
      {"SEQuence:STEPtime", false, [](C& c) { return c.box(c.form.Text1StepTime, "the step time box", c.whole(0, 2147483647)), std::string(); }},
      {"SEQuence:STEPtime", true, [](C& c) { return c.arguments(0), c.form.Text1StepTime.text; }},
      {"SEQuence:STARt", false,
       [](C& c) {
         c.arguments(0);
         if (c.form.RunStimFile.text != "Sequence Start") conflict("a sequence is running");
         c.enabled(c.form.RunStimFile, "'Sequence Start'");
         const int begun = c.control.sequencesBegun_;
         RemoteControl& rc = c.control;
         rc.clickLater(c.client, c.form.RunStimFile, [&rc, begun] { return rc.sequencesBegun_ != begun; });
         return std::string();
       }},
      {"SEQuence:STOP", false,
       [](C& c) {
         c.arguments(0);
         if (c.form.RunStimFile.text == "Sequence Stop") c.form.fire(c.form.RunStimFile, Event::Click);
         return std::string();
       }},
      {"SEQuence:CYCLe", true, [](C& c) { return c.arguments(0), std::to_string(c.form.CycleCount); }},
  };
  return rows;
}

RemoteControl::RemoteControl(Program& program, std::function<void(std::function<void()>)> later, std::string token,
                             std::string version)
    : program_(program), later_(std::move(later)), token_(std::move(token)), version_(std::move(version)) {
  // The remote side only looks, after whatever view (the plot window) looks already.
  auto begin = std::move(program.sweep.onStepsBegin);
  program.sweep.onStepsBegin = [this, begin](const SweepPlan& plan, const std::string& log) {
    sweep_.clear();
    sweepSteps_ = true;
    ++sweepsBegun_;
    if (begin) begin(plan, log);
  };
  auto end = std::move(program.sweep.onEnd);
  program.sweep.onEnd = [this, end] {
    sweepSteps_ = false;
    if (end) end();
  };
  auto sequence = std::move(program.sequencer.onStart);
  program.sequencer.onStart = [this, sequence] {
    ++sequencesBegun_;
    if (sequence) sequence();
  };
  auto reading = std::move(program.current.onReading);
  program.current.onReading = [this, reading](const CurrentSample& s) {
    ++readings_;
    if (sweepSteps_) sweep_.push_back({static_cast<double>(s.hz), static_cast<double>(s.mA), s.poutTenths / 10.0});
    if (reading) reading(s);
  };
}

bool RemoteControl::operationsPending() const {
  const Mainform& f = program_.form;
  const bool trackingStopping = program_.tracking.running() && f.Tracking.text == "Track Freq";
  return !clicksAhead_.empty() || f.SweepRunning || f.StimRunning || trackingStopping;
}

bool RemoteControl::startupEnded() const { return program_.startupEnded(); }

bool RemoteControl::tokenMatches(const std::string& sent) const {
  // Every byte compared whatever the first difference: the time taken says nothing.
  unsigned char diff = sent.size() == token_.size() ? 0 : 1;
  for (std::size_t i = 0; i < token_.size(); ++i)
    diff |= static_cast<unsigned char>(token_[i] ^ (i < sent.size() ? sent[i] : 0));
  return !token_.empty() && diff == 0;
}

bool RemoteControl::clicking(const Control& button) const {
  return std::find(clicksAhead_.begin(), clicksAhead_.end(), &button) != clicksAhead_.end();
}

void RemoteControl::clickLater(ClientSession& client, Control& button, const std::function<bool()>& started) {
  clicksAhead_.push_back(&button);
  ClientSession* owner = &client;
  later_([this, owner, &button, started] {
    clicksAhead_.erase(std::find(clicksAhead_.begin(), clicksAhead_.end(), &button));
    const std::string infoBefore = program_.form.Info.text;
    owner_.push_back(owner);
    program_.form.fire(button, Event::Click);
    owner_.pop_back();
    // The client may have gone while the operation ran.
    if (!started() && std::find(clients_.begin(), clients_.end(), owner) != clients_.end()) {
      const std::string& info = program_.form.Info.text;
      owner->addError(-221, "Settings conflict; " + (info != infoBefore && !info.empty() ? info : button.text + " did not start"));
    }
  });
}

void RemoteControl::reportMessage(const std::string& text) {
  ClientSession* to = owner_.empty() ? nullptr : owner_.back();
  if (to && std::find(clients_.begin(), clients_.end(), to) != clients_.end())
    to->addError(-200, "Execution error; " + text);
}

RemoteControl::Reply RemoteControl::execute(ClientSession& client, const scpi::Command& command) {
  Call call{*this, client, command, program_, program_.form};
  const Row* row = nullptr;
  for (const Row& r : table())
    if (r.query == command.query && scpi::matchesPath(r.header, command.path)) {
      row = &r;
      break;
    }
  try {
    if (!row) throw Failure{-113, "Undefined header"};
    owner_.push_back(&client);
    struct Pop {
      std::vector<ClientSession*>& v;
      ~Pop() { v.pop_back(); }
    } pop{owner_};
    return Reply{row->run(call), false};
  } catch (const Failure& f) {
    client.addError(f.code, f.message);
    return Reply{{}, true};
  }
}

// ---- one client ----

ClientSession::ClientSession(RemoteControl& control) : control_(control), authenticated_(!control.needsToken()) {
  control_.clients_.push_back(this);
  // A client may connect while start-up runs: its lines wait for start-up's
  // end, as the window's procedure buttons do, so that nothing it starts takes
  // the reply start-up's one reading waits for.
  if (!control_.startupEnded()) waitingFor_ = Wait::StartUp;
}

ClientSession::~ClientSession() {
  auto& v = control_.clients_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void ClientSession::addError(int code, const std::string& message) {
  if (errors_.size() >= kMaxErrors) {
    errors_.back() = {-350, "Queue overflow"};
    return;
  }
  errors_.emplace_back(code, message);
}

void ClientSession::receive(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!dropping_) {
      if (partial_.size() + piece.size() > kMaxLineBytes) {
        addError(-223, "Too much data; a line of more than " + std::to_string(kMaxLineBytes) + " bytes");
        partial_.clear();
        dropping_ = true;
      } else {
        partial_.append(piece);
      }
    }
    if (end == std::string_view::npos) return;
    if (!dropping_) {
      if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
      queued_ += partial_.size();
      lines_.push_back(std::move(partial_));
    }
    partial_.clear();
    dropping_ = false;
    bytes.remove_prefix(end + 1);
  }
}

std::string ClientSession::takeOutput() { return std::exchange(output_, {}); }

void ClientSession::run() {
  if (running_) return;
  running_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{running_};
  for (;;) {
    if (waitingFor_ != Wait::None) {
      if (waitingFor_ == Wait::StartUp ? !control_.startupEnded() : control_.operationsPending()) return;
      if (waitingFor_ == Wait::Opc) answers_.emplace_back("1");
      waitingFor_ = Wait::None;
    }
    if (next_ < pending_.size()) {
      runPending();
      continue;
    }
    if (!pending_.empty()) {  // the line is done: its answers go out as one line
      if (!answers_.empty()) {
        std::string line;
        for (const auto& a : answers_) line += (line.empty() ? "" : ";") + a;
        output_ += line + "\n";
      }
      pending_.clear();
      answers_.clear();
      next_ = 0;
    }
    if (lines_.empty() || output_.size() >= kOutputPerTurn) return;
    queued_ -= lines_.front().size();
    pending_ = scpi::parseMessage(lines_.front());
    lines_.pop_front();
  }
}

void ClientSession::runPending() {
  const scpi::Parsed& p = pending_[next_++];
  if (p.error) {
    addError(p.error->code, p.error->message);
    return;
  }
  const scpi::Command& c = *p.command;
  auto is = [&c](std::string_view header, bool query) { return c.query == query && scpi::matchesPath(header, c.path); };
  if (is("SYSTem:ERRor[:NEXT]", true)) {
    if (errors_.empty()) {
      answers_.emplace_back("0,\"No error\"");
    } else {
      answers_.push_back(std::to_string(errors_.front().first) + "," + scpi::quoted(errors_.front().second));
      errors_.pop_front();
    }
    return;
  }
  if (is("SYSTem:AUTHenticate", false)) {
    const bool right = c.arguments.size() == 1 && c.arguments[0].kind == scpi::Argument::Kind::String &&
                       control_.tokenMatches(c.arguments[0].text);
    if (right) authenticated_ = true;
    else addError(-203, "Command protected; wrong token");
    return;
  }
  if (!authenticated_) {
    addError(-203, "Command protected; send SYSTem:AUTHenticate \"TOKEN\" first");
    return;
  }
  if (is("*OPC", true) || is("*WAI", false)) {
    waitingFor_ = c.query ? Wait::Opc : Wait::Wai;
    return;
  }
  RemoteControl::Reply r = control_.execute(*this, c);
  if (c.query && !r.failed) answers_.push_back(std::move(r.answer));
}

}  // namespace tavrin::remote
