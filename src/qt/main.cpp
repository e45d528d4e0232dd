// tavrin: the bench program with its window. With --script it runs an operator
// script without a window (and without needing a display).
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/script.h"
#include "cli/session.h"
#include "qt/drawings.h"
#include "qt/main_window.h"
#include "qt/qt_toolkit.h"

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#if defined(__unix__) || defined(__APPLE__)
// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, a closed terminal) end the
// program the way closing the window does, so the device is closed. The
// handler only writes a byte; the event loop does the rest.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
  char one = 1;
  [[maybe_unused]] auto n = ::write(signalPipe[1], &one, 1);
}

void closeOnSignals(QObject* parent, std::function<void()> close) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent, [close = std::move(close)] { close(); });
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}
#endif

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  auto options = tavrin::parseCommandLine(argc, argv, status);
  if (!options) return status;
  if (!options->scriptFile.empty()) return tavrin::runScript(*options, std::cout, std::cerr);

#if defined(__linux__)
  // Without this check Qt aborts with a long plugin message.
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
    std::cerr << "tavrin: no display found; set DISPLAY, or run without a window: tavrin --script FILE\n";
    return 1;
  }
#endif

  // Qt sees only the program name: what follows the options is the batch
  // run's file path and must not be taken for a Qt option ("-style", ...).
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  // Qt takes the system's locale for the C library too; then "%.1f" in the
  // trace and every number in the log files would take a decimal comma on a
  // German desktop. Numbers the program writes always use a period.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Tavrin"));
  QApplication::setWindowIcon(tavrin::windowIcon());

  tavrin::QtToolkit toolkit;
  tavrin::Session session(*options, toolkit);
  if (!session.ok()) {
    std::cerr << "tavrin: " << session.error() << '\n';
    return 2;
  }
  toolkit.setBeforeExit([&session] { session.flushTrace(); });

  tavrin::MainWindow window(session.program(), toolkit);
#if defined(__unix__) || defined(__APPLE__)
  closeOnSignals(&window, [&session] { session.program().Form_Unload(); });
#endif
  // Start-up runs inside the event loop (its waits pump events) and the window
  // appears when it has finished (about 100 ms), so no operator action can
  // land in the middle of it; scripts see the window the same way.
  QTimer::singleShot(0, &window, [&window] {
    window.load();
    window.show();
  });
  status = QApplication::exec();
  session.flushTrace();
  return status;
}
