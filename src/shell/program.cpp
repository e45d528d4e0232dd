#include "shell/program.h"

#include <exception>

#include "controls/key_filters.h"

namespace tavrin {

Program::Program(Toolkit& toolkit, D2xx& d2xx, ProgramSetup setup)
    : form(toolkit), waits(form), link(form, d2xx), setup_(std::move(setup)) {
  wireEvents();
}

void Program::Form_Load() {
  if (!setup_.linkUnavailable.empty()) {
    form.setForecolor(form.Info, colors::red);
    form.setText(form.Info, "Comm ERROR: " + setup_.linkUnavailable);
  } else {
    link.OpenCommPort();
  }
}

void Program::endProgram() {
  if (setup_.beforeExit) setup_.beforeExit();
  form.toolkit.endProgram(0);
  std::terminate();  // not reached: ending the program does not return
}

void Program::cmdExit_Click() {
  link.closeDevice();
  endProgram();
}

void Program::Form_Unload() {
  link.closeDevice();
  endProgram();
}

// The event table: which control event runs which handler. Every event of the
// window, from the Qt view or from a script, arrives through Mainform::fire.
void Program::wireEvents() {
  Mainform& f = form;
  f.on(f.cmdExit, Event::Click, [this](EventArgs&) { cmdExit_Click(); });
  f.on(f.tmrpause, Event::Timer, [this](EventArgs&) { waits.tmrpause_Timer(); });
  f.on(f.tmrDelay, Event::Timer, [this](EventArgs&) { waits.tmrDelay_Timer(); });
  f.on(f.TxtSteptime, Event::Change, [this](EventArgs&) { waits.TxtSteptime_Change(); });
  f.on(f.cmdWrite, Event::Click, [this](EventArgs&) { link.cmdWrite_Click(); });

  f.keepEnter(f.txtFrekvens_DDS1);
  f.on(f.txtFrekvens_DDS1, Event::KeyPress, [](EventArgs& a) { a.keyAscii = digitsOnlyFilter(a.keyAscii); });
  f.on(f.txtFase_DDS2, Event::KeyPress, [](EventArgs& a) { a.keyAscii = phaseFilter(a.keyAscii); });
  for (Control* box : {&f.TxtSwpStart, &f.TxtSwpStop, &f.TxtSwpStep})
    f.on(*box, Event::KeyPress, [](EventArgs& a) { a.keyAscii = digitsOnlyFilter(a.keyAscii); });
}

}  // namespace tavrin
