// The program: the window's models, the subsystems that work on them, start-up
// and shutdown, and the event table that routes every control event.
#pragma once

#include <functional>
#include <string>

#include "core/files.h"
#include "core/toolkit.h"
#include "form/mainform.h"
#include "form/waits.h"
#include "link/d2xx.h"
#include "link/device_link.h"

namespace tavrin {

struct ProgramSetup {
  std::string commandLine;        // what follows the options; the batch run reads it
  std::string linkUnavailable;    // why no backend could be loaded, empty if one was
  PathMapper paths{PathMapper::defaultDriveRoot()};
  std::function<void()> beforeExit;  // flushes the trace before the process ends
};

class Program {
 public:
  Program(Toolkit& toolkit, D2xx& d2xx, ProgramSetup setup);

  Mainform form;
  Waits waits;
  DeviceLink link;

  void Form_Load();
  void Form_Unload();
  void cmdExit_Click();

  const ProgramSetup& setup() const { return setup_; }

 private:
  void wireEvents();
  [[noreturn]] void endProgram();

  ProgramSetup setup_;
};

}  // namespace tavrin
