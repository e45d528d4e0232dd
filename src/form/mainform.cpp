#include "form/mainform.h"

#include <cstdio>
#include <sstream>

#include "core/numbers.h"

namespace tavrin {
namespace {

FontSpec font(double pt, bool bold = false, const char* family = "MS Sans Serif") {
  return FontSpec{family, pt, bold};
}
// Controls that show text name 9.75 pt unless they name another font; those
// that show none (images, the picture, the rule, timers, dialogs, menus) keep
// the window's default font (MS Sans Serif 8.25 pt).
const FontSpec kCommonFont = font(9.75);
const FontSpec kWindowFont = FontSpec{};

Control make(const char* name, int index, ControlKind kind, int left, int top, int width, int height,
             std::string text, FontSpec f = kCommonFont) {
  Control c;
  c.name = name;
  c.index = index;
  c.kind = kind;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  c.text = std::move(text);
  c.font = std::move(f);
  if (kind == ControlKind::TextBox) c.backcolor = colors::white;
  return c;
}

// The entry and display boxes that name 12 pt, 375 high (as the frequency
// box; where the layout gives no size, this one stays inside its band).
Control box(const char* name, int left, int top, int width, const char* text = "") {
  return make(name, -1, ControlKind::TextBox, left, top, width, 375, text, font(12));
}
// A box in the common 9.75 pt; its height is chosen where it stands.
Control plainBox(const char* name, int left, int top, int width, int height, const char* text = "") {
  return make(name, -1, ControlKind::TextBox, left, top, width, height, text);
}
Control button(const char* name, int left, int top, int width, int height, const char* caption) {
  return make(name, -1, ControlKind::CommandButton, left, top, width, height, caption);
}
Control label(const char* name, int left, int top, int width, int height, const char* caption,
              FontSpec f = kCommonFont) {
  return make(name, -1, ControlKind::Label, left, top, width, height, caption, std::move(f));
}
// A press-and-hold arrow: a 32 x 32 pixel icon.
Control arrow(const char* name, int index, int left, int top) {
  return make(name, index, ControlKind::Image, left, top, 480, 480, "", kWindowFont);
}
Control timer(const char* name, bool enabled, long long interval) {
  Control c = make(name, -1, ControlKind::Timer, 0, 0, 0, 0, "", kWindowFont);
  c.enabled = enabled;
  c.interval = interval;
  return c;
}
Control dialog(const char* name, const char* fileName) {
  Control c = make(name, -1, ControlKind::FileDialog, 0, 0, 0, 0, "", kWindowFont);
  c.fileName = fileName;
  return c;
}
Control menu(const char* name, const char* caption) {
  return make(name, -1, ControlKind::Menu, 0, 0, 0, 0, caption, kWindowFont);
}

// Heights the layout leaves open. A 9.75 pt box beside a button is as high as
// the button, so its row lines up. A caption above a box ends where the box
// starts. The last row of the sequencer band (its boxes, the cycle-count label
// and Exit) ends with the band at 6735.
constexpr int kRowBoxHeight = 375;
constexpr int kCaptionAboveHeight = 240;
constexpr int kLastRowHeight = 255;

// Left edges of the six digit columns, index 6 (hundred-thousands) first.
constexpr int digitLeft(int index) { return 4200 + (6 - index) * 480; }

std::string colorText(Rgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c.r, c.g, c.b);
  return buf;
}
const char* boolText(bool b) { return b ? "true" : "false"; }

}  // namespace

Control& Mainform::add(Control c) {
  controls_.push_back(std::move(c));
  return controls_.back();
}

Mainform::Mainform(Toolkit& tk)
    : toolkit(tk),
      Label3(add(label("Label3", 120, 240, 1575, 375, "Frequency", font(13.5, true)))),
      txtFrekvens_DDS1(add(box("txtFrekvens_DDS1", 1800, 240, 1215))),
      cmdWrite(add(button("cmdWrite", 120, 720, 1575, 375, "Send Data"))),
      Label4(add(label("Label4", 120, 1200, 1575, 375, "Phase", font(13.5, true)))),
      txtFase_DDS2(add(box("txtFase_DDS2", 1800, 1200, 1215))),
      Label25((
          [this] {
            for (int i = 6; i >= 1; --i) {
              imgUp[i] = &add(arrow("imgUp", i, digitLeft(i), 120));
              txtDDS1[i] = &add(make("txtDDS1", i, ControlKind::TextBox, digitLeft(i), 600, 495, 615,
                                     i == 5 ? "5" : "0", font(24)));
              imgDown[i] = &add(arrow("imgDown", i, digitLeft(i), 1200));
            }
          }(),
          add(label("Label25", 7200, 720, 615, 435, "Hz", font(18, true))))),
      Label5(add(label("Label5", 7920, 720, 1095, 375, "Supply", font(13.5, true)))),
      Label14((
          [this] {
            const int left[2] = {9720, 9120};
            const int width[2] = {375, 495};
            for (int i = 1; i >= 0; --i) {
              PoutUp[i] = &add(arrow("PoutUp", i, left[i] + width[i] / 2 - 240, 120));
              Pout1[i] = &add(make("Pout1", i, ControlKind::TextBox, left[i], 600, width[i], 615, "0", font(24)));
              PoutDown[i] = &add(arrow("PoutDown", i, left[i] + width[i] / 2 - 240, 1200));
            }
          }(),
          add(label("Label14", 9615, 600, 105, 615, ".", font(24, true))))),
      Label13(add(label("Label13", 10200, 720, 495, 435, "V", font(18, true)))),
      cmdStartMotor(add(button("cmdStartMotor", 120, 1800, 1575, 495, "Motor Start"))),
      Selectdir(add(button("Selectdir", 1800, 1800, 1215, 495, "CCW"))),
      Tracking(add(button("Tracking", 120, 2640, 1575, 375, "Track Freq"))),
      Label24(add(label("Label24", 1800, 2400, 1575, kCaptionAboveHeight, "Track Step (Hz)"))),
      TrackFrqStp(add(box("TrackFrqStp", 1800, 2640, 1215))),
      Label12(add(label("Label12", 4560, 2280, 3975, 375, "   Corvex  July 26, 2010  v.5",
                        font(12, true, "Verdana")))),
      Image1(add(make("Image1", -1, ControlKind::Picture, 8760, 2040, 885, 855, "", kWindowFont))),
      Label6(add(label("Label6", 1800, 3240, 1215, kCaptionAboveHeight, "Start (Hz)"))),
      Label7(add(label("Label7", 3240, 3240, 1215, kCaptionAboveHeight, "Stop (Hz)"))),
      Label8(add(label("Label8", 5280, 3240, 1575, kCaptionAboveHeight, "Sweep Step (Hz)"))),
      Label9(add(label("Label9", 6960, 3240, 1575, kCaptionAboveHeight, "Pause (mSec)"))),
      TxtSwpStart(add(box("TxtSwpStart", 1800, 3480, 1215))),
      TxtSwpStop(add(box("TxtSwpStop", 3240, 3480, 1215))),
      TxtSwpStep(add(box("TxtSwpStep", 5280, 3480, 1215))),
      TxtSteptime(add(box("TxtSteptime", 6960, 3480, 1215))),
      CmdSwpStart(add(button("CmdSwpStart", 120, 3480, 1575, 375, "Sweep start"))),
      Label1(add(label("Label1", 120, 4320, 1575, 375, "DC mA", font(13.5, true)))),
      txtDMMvalue(add(box("txtDMMvalue", 1800, 4320, 1215))),
      btGetCurrent(add(make("btGetCurrent", -1, ControlKind::CheckBox, 3120, 4320, 1335, 375, "Log current"))),
      ChaLogFile(add(button("ChaLogFile", 4560, 4320, 975, 375, "Log File"))),
      LogFileName(add(plainBox("LogFileName", 5640, 4320, 5055, kRowBoxHeight, "C:\\stator-1.txt"))),
      Info(add(box("Info", 120, 4920, 10575))),
      Line1(add(make("Line1", -1, ControlKind::Line, 120, 5520, 10560, 0, "", kWindowFont))),
      RunStimFile(add(button("RunStimFile", 120, 5760, 1575, 495, "Sequence Start"))),
      Label23(add(label("Label23", 1800, 5760, 1455, 375, "StepTime (ms)"))),
      Text1StepTime(add(plainBox("Text1StepTime", 3360, 5760, 1095, kRowBoxHeight, "20"))),
      ChaStimFile(add(button("ChaStimFile", 4560, 5760, 1455, 375, "Stimuli File"))),
      StimFileName(add(plainBox("StimFileName", 6120, 5760, 4575, kRowBoxHeight, "StimDemo.txt"))),
      Label20(add(label("Label20", 1800, 6240, 1455, kCaptionAboveHeight, "# of Repeats "))),
      times(add(plainBox("times", 1800, 6480, 1095, kLastRowHeight, "5"))),
      Label21(add(label("Label21", 3360, 6240, 1095, kCaptionAboveHeight, "Counter"))),
      show_count(add(plainBox("show_count", 3360, 6480, 1095, kLastRowHeight))),
      Label22(add(label("Label22", 4560, 6480, 2535, kLastRowHeight, "Log: C:\\Cyclecnt.txt"))),
      cmdExit(add(button("cmdExit", 9600, 6360, 1095, 375, "&Exit"))),
      tmrpause(add(timer("tmrpause", true, 0))), tmrDelay(add(timer("tmrDelay", true, 0))),
      tmrOptimize(add(timer("tmrOptimize", false, 2000))),
      timerGetCurrent(add(timer("timerGetCurrent", true, 2000))),
      tmrTimedOut(add(timer("tmrTimedOut", false, 5000))),
      CommonDialog(add(dialog("CommonDialog", "stator-1.txt"))),
      CommonDialog1(add(dialog("CommonDialog1", "StimDemo.txt"))),
      mnuSpeed(add(menu("mnuSpeed", "&Speed"))), mnuTorque(add(menu("mnuTorque", "&Torque"))),
      mnuI_O_CrtForm(add(menu("mnuI_O_CrtForm", "&Brake_Speed_Torque"))),
      mnuForce(add(menu("mnuForce", "&Force"))), mnuMultipleChan(add(menu("mnuMultipleChan", "ScanChannels"))),
      mnuSequence(add(menu("mnuSequence", "Sequence"))) {
  settle();
}

void Mainform::settle() {
  Info.forecolor = colors::darkGrey;
  Label14.backcolor = colors::white;
  // Start-up enables these as its very last step. Its one reading decides
  // whether the board answers; a sweep, tracking or a sequence started inside
  // its wait would take that reply, leave the board for absent and the motor
  // running.
  for (Control* c : {&Selectdir, &RunStimFile, &CmdSwpStart, &Tracking}) c->enabled = false;
  // The menu entries do nothing; they are shown greyed so none looks live.
  for (Control* m : {&mnuSpeed, &mnuTorque, &mnuI_O_CrtForm, &mnuForce, &mnuMultipleChan, &mnuSequence})
    m->enabled = false;

  const char* tabOrder[] = {"TrackFrqStp", "btGetCurrent", "Info", "Tracking", "LogFileName",
                            "txtDMMvalue", "Selectdir", "times", "show_count", "Pout1(1)",
                            "Pout1(0)", "cmdWrite", "cmdStartMotor", "CmdSwpStart", "TxtSteptime",
                            "TxtSwpStep", "TxtSwpStop", "TxtSwpStart", "txtDDS1(6)", "txtDDS1(1)",
                            "txtDDS1(2)", "txtDDS1(3)", "txtDDS1(4)", "txtDDS1(5)", "cmdExit",
                            "txtFase_DDS2", "txtFrekvens_DDS1", "ChaLogFile", "StimFileName",
                            "Text1StepTime", "RunStimFile", "ChaStimFile"};
  int tab = 0;
  for (const char* id : tabOrder) findById(id)->tabIndex = tab++;

  for (Control& c : controls_)
    if (c.kind == ControlKind::Timer) armTimer(c);
}

Control* Mainform::find(const std::string& name, int index) {
  for (Control& c : controls_)
    if (c.name == name && c.index == index) return &c;
  return nullptr;
}

Control* Mainform::findById(const std::string& id) {
  auto open = id.find('(');
  if (open == std::string::npos) return find(id);
  if (id.back() != ')') return nullptr;
  std::string digits = id.substr(open + 1, id.size() - open - 2);
  if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
    return nullptr;
  return find(id.substr(0, open), std::stoi(digits));
}

void Mainform::setText(Control& c, std::string text) {
  if (c.text == text) return;
  c.text = std::move(text);
  changed(c);
}

void Mainform::appendText(Control& c, std::string_view more) {
  if (more.empty()) return;
  c.text.append(more);  // in place: long texts grow in linear time
  changed(c);
}

void Mainform::changed(Control& c) {
  if (c.kind == ControlKind::TextBox) {
    auto it = handlers_.find({c.name, Event::Change});
    if (it != handlers_.end()) {
      EventArgs a;
      a.index = c.index;
      it->second(a);
    }
  }
}

void Mainform::setEnabled(Control& c, bool enabled) {
  if (c.kind == ControlKind::Timer) {
    setTimerEnabled(c, enabled);
    return;
  }
  c.enabled = enabled;
}

void Mainform::setTimerInterval(Control& t, long long intervalMs) {
  t.interval = intervalMs;
  armTimer(t);
}

void Mainform::setTimerEnabled(Control& t, bool enabled) {
  if (t.enabled == enabled) return;  // enabling a running timer does not restart it
  t.enabled = enabled;
  armTimer(t);
}

void Mainform::armTimer(Control& t) {
  // Timers are told apart by their place in the window.
  int id = 0;
  for (auto& c : controls_) {
    if (&c == &t) break;
    ++id;
  }
  if (t.enabled && t.interval > 0) {
    toolkit.startTimer(id, t.interval, [this, &t] {
      EventArgs a;
      fire(t, Event::Timer, a);
    });
  } else {
    toolkit.stopTimer(id);
  }
}

void Mainform::on(const Control& c, Event event, Handler handler) {
  handlers_[{c.name, event}] = std::move(handler);
}

bool Mainform::hasHandler(const Control& c, Event event) const {
  return handlers_.count({c.name, event}) != 0;
}

bool Mainform::fire(Control& c, Event event, EventArgs& args) {
  bool operatorEvent = event == Event::Click || event == Event::KeyPress || event == Event::MouseDown;
  if (operatorEvent && !c.enabled) return false;
  if (event == Event::Timer && !c.enabled) return false;
  auto it = handlers_.find({c.name, event});
  if (it == handlers_.end()) return false;
  args.index = c.index;
  auto handler = it->second;  // the table may not change under a running handler, but be safe
  handler(args);
  return true;
}

int Mainform::keyPress(Control& box, int key) {
  if (!box.enabled) return 0;
  EventArgs a;
  a.index = box.index;
  a.keyAscii = key;
  fire(box, Event::KeyPress, a);
  return a.keyAscii;
}

void Mainform::typeChar(Control& box, int key) {
  int code = keyPress(box, key);
  if (code == 8) {
    if (!box.text.empty()) {
      box.text.pop_back();
      changed(box);
    }
  } else if (code >= 32 && code < 256 && box.text.size() < kBoxTextLimit) {
    const char c = static_cast<char>(code);
    appendText(box, std::string_view(&c, 1));
  }
}

void Mainform::pressEnter(Control& focused) {
  for (const Control* k : enterKeepers_)
    if (k == &focused) {
      keyPress(focused, 13);
      return;
    }
  if (focused.kind == ControlKind::CommandButton) {
    fire(focused, Event::Click);
  } else if (defaultButton) {
    fire(*defaultButton, Event::Click);
  } else if (focused.kind == ControlKind::TextBox) {
    keyPress(focused, 13);
  }
}

void Mainform::dumpControls(std::vector<std::string>& out) const {
  auto prop = [&](const Control& c, const char* p, const std::string& v) {
    out.push_back(c.id() + "." + p + "=" + v);
  };
  out.push_back("Mainform.caption=" + caption);
  for (const Control& c : controls_) {
    switch (c.kind) {
      case ControlKind::TextBox:
        prop(c, "text", c.text);
        prop(c, "enabled", boolText(c.enabled));
        prop(c, "forecolor", colorText(c.forecolor));
        prop(c, "backcolor", colorText(c.backcolor));
        break;
      case ControlKind::CommandButton:
      case ControlKind::Menu:
        prop(c, "caption", c.text);
        prop(c, "enabled", boolText(c.enabled));
        break;
      case ControlKind::CheckBox:
        prop(c, "caption", c.text);
        prop(c, "value", std::to_string(c.value));
        prop(c, "enabled", boolText(c.enabled));
        break;
      case ControlKind::Label:
        prop(c, "caption", c.text);
        prop(c, "forecolor", colorText(c.forecolor));
        break;
      case ControlKind::Image:
        prop(c, "enabled", boolText(c.enabled));
        break;
      case ControlKind::Timer:
        prop(c, "enabled", boolText(c.enabled));
        prop(c, "interval", std::to_string(c.interval));
        break;
      case ControlKind::Line:
      case ControlKind::Picture:
      case ControlKind::FileDialog:
        break;
    }
  }
}

std::vector<std::string> Mainform::dump() const {
  std::vector<std::string> out;
  dumpControls(out);
  auto var = [&](const char* name, const std::string& v) { out.push_back(std::string(name) + "=" + v); };
  var("DriveMode", std::to_string(DriveMode));
  var("FrequencyHz", std::to_string(FrequencyHz));
  var("PhaseDeg", std::to_string(PhaseDeg));
  var("PoutValue", std::to_string(PoutValue));
  var("PoutByteLo", std::to_string(PoutByteLo));
  var("PoutByteHi", std::to_string(PoutByteHi));
  var("FullScalemA", std::to_string(FullScalemA));
  var("ControlAvailable", boolText(ControlAvailable));
  var("CurrentmA", std::to_string(CurrentmA));
  var("CurrentOffset", std::to_string(CurrentOffset));
  var("MaxCurrent", std::to_string(MaxCurrent));
  var("MaxCurrentFreq", std::to_string(MaxCurrentFreq));
  var("AdcOverflow", boolText(AdcOverflow));
  var("LogCurrentOn", boolText(LogCurrentOn));
  var("LogFilePath", LogFilePath);
  var("SwpStartFreq", std::to_string(SwpStartFreq));
  var("SwpStopFreq", std::to_string(SwpStopFreq));
  var("FreqUpperLimit", std::to_string(FreqUpperLimit));
  var("FreqLowerLimit", std::to_string(FreqLowerLimit));
  var("StepTime", std::to_string(StepTime));
  var("ReadingFreq", std::to_string(ReadingFreq));
  var("ConfigPath", ConfigPath);
  var("PauseDone", boolText(PauseDone));
  var("DelayDone", boolText(DelayDone));
  var("StepUpHeld", boolText(StepUpHeld));
  var("StepDownHeld", boolText(StepDownHeld));
  var("PoutUpHeld", boolText(PoutUpHeld));
  var("PoutDownHeld", boolText(PoutDownHeld));
  var("SweepRunning", boolText(SweepRunning));
  var("MotorStops", std::to_string(MotorStops));
  var("StimRunning", boolText(StimRunning));
  var("StimForward", boolText(StimForward));
  var("CycleCount", std::to_string(CycleCount));
  var("CycleLogTick", std::to_string(CycleLogTick));
  var("DeviceHandle", std::to_string(reinterpret_cast<std::uintptr_t>(module1.DeviceHandle)));
  var("LastStatus", std::to_string(module1.LastStatus));
  var("DeviceSerial", module1.DeviceSerial);
  var("DeviceDescription", module1.DeviceDescription);
  var("RxQueueCount", std::to_string(module1.RxQueueCount));
  return out;
}

}  // namespace tavrin
