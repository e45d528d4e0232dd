#include "qt/realtime_script.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>
#include <ostream>
#include <string>

#include "cli/script.h"
#include "qt/main_window.h"

namespace tavrin {

namespace {
// Toolkit timer ids of the run itself, far from the window's (its controls' places).
constexpr int kNextActionTimer = 1 << 20;
constexpr int kNeverEndsTimer = kNextActionTimer + 1;
constexpr long long kNeverEndsCheckMs = 200;
}  // namespace

int runRealtimeScript(const Options& options, Session& session, QtToolkit& tk, MainWindow* window,
                      std::ostream& out, std::ostream& err) {
  Program& program = session.program();
  auto actions = loadScript(options, program.form, err);
  if (!actions) return 2;

  std::deque<std::string> answers;
  tk.setScripted(
      [&out](const std::string& text) { writeMessage(text, out); },
      [&answers]() -> std::optional<std::string> {
        if (answers.empty()) return std::nullopt;
        std::string name = std::move(answers.front());
        answers.pop_front();
        return name;
      });

  // Every way out (the last action, Exit, a closed window, a stop) ends with
  // the trace flushed and the final dump, as in virtual time.
  tk.setBeforeExit([&](int status) { return finishRun(session, options, tk.nowMs(), status, out, err); });

  std::size_t next = 0, delivered = 0;
  const std::size_t total = actions->size();
  // One action at a time on a toolkit timer (never early). The next is armed
  // before this one is delivered, so it can come inside this one's waits, as
  // a real event would.
  std::function<void()> armNext = [&] {
    if (next >= total) return;
    const double waitMs = (*actions)[next].atMs - tk.nowMs();
    tk.startTimer(kNextActionTimer, std::max(1LL, static_cast<long long>(std::ceil(waitMs))), [&] {
      tk.stopTimer(kNextActionTimer);
      const ScriptAction a = (*actions)[next++];
      armNext();
      deliverAction(program, a, tk, [&answers](std::string name) { answers.push_back(std::move(name)); }, out);
      ++delivered;
    });
  };
  auto stopBecause = [&](const std::string& why) {
    err << "tavrin: script run stopped at " << static_cast<long long>(tk.nowMs()) << " ms: " << why << '\n';
    program.link.closeDevice();  // a real board may be driving: leave it with nothing more sent
    tk.endProgram(3);
  };

  QTimer::singleShot(0, [&] {
    armNext();
    // A held arrow or tracking without a pass limit would run for ever once
    // the script has nothing left to deliver, even inside a handler's waits.
    tk.startTimer(kNeverEndsTimer, kNeverEndsCheckMs, [&] {
      if (delivered < total) return;
      if (auto why = whyNeverEnds(program)) stopBecause(*why);
    });
    if (window) {
      window->load();
    } else {
      program.Form_Load();
    }
    // The run ends when every action has been delivered and no handler is
    // still running: here, back from start-up with nothing left to deliver.
    while (delivered < total) tk.waitForEvents();
    if (auto why = whyNeverEnds(program)) stopBecause(*why);
    tk.endProgram(0);
  });
  QCoreApplication::exec();
  return 0;  // not reached: every way out goes through endProgram
}

}  // namespace tavrin
