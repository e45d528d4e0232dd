// Operator scripts in real time: the same script the virtual-time runner
// takes, delivered at its times on the real toolkit, so a run on a real board
// can be traced and compared with the simulated one.
#pragma once

#include <iosfwd>

#include "cli/options.h"
#include "cli/session.h"
#include "qt/qt_toolkit.h"

namespace tavrin {

class MainWindow;

// Runs options.scriptFile with the window shown (window non-null) or none.
// Message boxes are printed as "message: TEXT" and answered OK, file dialogs
// take the script's answers. Returns the exit status as the virtual-time runner
// does: the program's own, 2 for a bad script, 3 for a run that could never
// end by itself, 1 when the trace or the output could not be written. A
// signal is the caller's to catch (stopOnSignal).
int runRealtimeScript(const Options& options, Session& session, QtToolkit& tk, MainWindow* window,
                      std::ostream& out, std::ostream& err);

}  // namespace tavrin
