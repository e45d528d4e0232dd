// Mainform: the window's controls as models, its shared state and its event
// table. The Qt view and the script runner both deliver events through fire(),
// so there is one road from an operator's action to its handler.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/toolkit.h"
#include "form/control.h"
#include "form/module1.h"

namespace tavrin {

enum class Event { Click, KeyPress, LostFocus, Change, MouseDown, MouseUp, Timer };

struct EventArgs {
  int index = -1;     // array index of the control
  int keyAscii = 0;   // KeyPress: the key's code; a handler may replace it or set 0
  int button = 1;     // mouse button (any counts)
};

using Handler = std::function<void(EventArgs&)>;

class Mainform {
  // Declared first: the control references below are bound while it fills.
  std::deque<Control> controls_;
  std::map<std::pair<std::string, Event>, Handler> handlers_;

 public:
  explicit Mainform(Toolkit& toolkit);
  Mainform(const Mainform&) = delete;
  Mainform& operator=(const Mainform&) = delete;

  Toolkit& toolkit;
  Module1 module1;

  // ---- window ----
  std::string caption = "Corvex Tavrin v.5.3   ";
  static constexpr int clientWidth = 10995, clientHeight = 6915;  // twips

  // ---- controls (named as the window names them) ----
  Control &Label3, &txtFrekvens_DDS1, &cmdWrite, &Label4, &txtFase_DDS2;
  std::array<Control*, 7> txtDDS1{}, imgUp{}, imgDown{};  // indices 1..6
  Control &Label25, &Label5;
  std::array<Control*, 2> Pout1{}, PoutUp{}, PoutDown{};
  Control &Label14, &Label13;
  Control &cmdStartMotor, &Selectdir, &Tracking, &Label24, &TrackFrqStp, &Label12, &Image1;
  Control &Label6, &Label7, &Label8, &Label9;
  Control &TxtSwpStart, &TxtSwpStop, &TxtSwpStep, &TxtSteptime, &CmdSwpStart;
  Control &Label1, &txtDMMvalue, &btGetCurrent, &ChaLogFile, &LogFileName;
  Control &Info, &Line1;
  Control &RunStimFile, &Label23, &Text1StepTime, &ChaStimFile, &StimFileName;
  Control &Label20, &times, &Label21, &show_count, &Label22, &cmdExit;
  Control &tmrpause, &tmrDelay, &tmrOptimize, &timerGetCurrent, &tmrTimedOut;
  Control &CommonDialog, &CommonDialog1;
  Control &mnuSpeed, &mnuTorque, &mnuI_O_CrtForm, &mnuForce, &mnuMultipleChan, &mnuSequence;

  Control* defaultButton = nullptr;  // Enter presses it (set by start-up)

  // ---- shared state of the window ----
  // (start values as start-up leaves them; start-up sets them again)
  std::int16_t DriveMode = 4;
  std::int32_t FrequencyHz = 44000;
  std::int32_t PhaseDeg = 90;
  std::int32_t PoutValue = 13;
  std::uint8_t PoutByteLo = 0;
  std::uint8_t PoutByteHi = 1;
  std::int16_t FullScalemA = 1024;
  bool ControlAvailable = false;
  std::int32_t CurrentmA = 0;
  std::int32_t CurrentOffset = 0;
  std::int32_t MaxCurrent = 0, MaxCurrentFreq = 0;
  bool AdcOverflow = false;
  bool LogCurrentOn = false;
  std::string LogFilePath;
  std::int32_t SwpStartFreq = 0, SwpStopFreq = 0;
  std::int32_t FreqUpperLimit = 0, FreqLowerLimit = 0;
  std::int32_t StepTime = 50;
  std::int32_t ReadingFreq = 0;
  std::string ConfigPath;
  bool PauseDone = false, DelayDone = false;
  bool StepUpHeld = false, StepDownHeld = false, PoutUpHeld = false, PoutDownHeld = false;
  bool SweepRunning = false;  // a sweep is between its click and its end
  // The operator's stops of the motor so far: a procedure that drives the
  // motor ends when this changes under it.
  std::int32_t MotorStops = 0;
  // The sequencer's run state.
  bool StimRunning = false;   // steps run only while set
  bool StimForward = true;    // the motor turns the way positive supply fields ask
  std::int32_t CycleCount = 0;    // repeats begun since the last start
  std::int32_t CycleLogTick = 0;  // 1..10; a cycle-count record is written on 1

  // ---- controls by name ----
  const std::deque<Control>& controls() const { return controls_; }
  std::deque<Control>& controls() { return controls_; }
  Control* find(const std::string& name, int index = -1);
  // Parses "txtDDS1(4)" or "cmdWrite".
  Control* findById(const std::string& id);

  // ---- changing controls: always through these, so events and timers follow ----
  // Sets a box text or caption; a box whose text changes raises its Change event.
  void setText(Control& c, std::string text);
  // Adds to the end of a box text or caption, raising Change as setText does.
  void appendText(Control& c, std::string_view more);
  void setEnabled(Control& c, bool enabled);
  void setForecolor(Control& c, Rgb color) { c.forecolor = color; }
  // Timers: a timer ticks while enabled with an interval above 0; setting the
  // interval restarts its count.
  void setTimerInterval(Control& timer, long long intervalMs);
  void setTimerEnabled(Control& timer, bool enabled);

  // ---- the event table ----
  void on(const Control& c, Event event, Handler handler);
  bool hasHandler(const Control& c, Event event) const;
  // An operator's event: ignored when the control (or its window) is disabled,
  // except mouse-up, which always reaches a held arrow so its loop can end.
  // Returns true when a handler ran.
  bool fire(Control& c, Event event, EventArgs& args);
  bool fire(Control& c, Event event) {
    EventArgs a;
    a.index = c.index;
    return fire(c, event, a);
  }

  // ---- keys ----
  // A key typed into a box goes through its KeyPress handler (the key filter).
  // Returns the code the box inserts, 0 when discarded (or the box is disabled).
  int keyPress(Control& box, int key);
  // A box holds at most this many characters, as the window's boxes do:
  // further typing is dropped after the key filter has seen it, and a pasted
  // text is cut there.
  static constexpr std::size_t kBoxTextLimit = 32767;
  // Typing as a script does it: filter, then insert at the end (Backspace
  // removes the last character; other control codes insert nothing).
  void typeChar(Control& box, int key);
  // A paste into a box: replaces the text, cut to kBoxTextLimit.
  void pasteText(Control& box, std::string_view text) {
    setText(box, std::string(text.substr(0, kBoxTextLimit)));
  }
  // Enter pressed with the focus in a control: a box that takes Enter itself
  // gets it through its filter; a focused button is clicked; otherwise Enter
  // presses the default button.
  void pressEnter(Control& focused);
  void keepEnter(const Control& box) { enterKeepers_.push_back(&box); }

  // Every control property and state variable, "NAME=VALUE" one per entry.
  std::vector<std::string> dump() const;

 private:
  Control& add(Control c);
  // What the controls' list leaves to set: colours, the greyed menu, the tab
  // order, the timers armed.
  void settle();
  // The dump's lines of the controls' properties, in the window's order.
  void dumpControls(std::vector<std::string>& out) const;
  void changed(Control& c);  // a box's Change event
  void armTimer(Control& timer);
  std::vector<const Control*> enterKeepers_;
};

}  // namespace tavrin
