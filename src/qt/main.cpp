// tavrin: the bench program with its window. With --script it runs an operator
// script without a window (and without needing a display).
#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/script.h"
#include "cli/session.h"
#include "qt/drawings.h"
#include "qt/main_window.h"
#include "qt/qt_toolkit.h"

namespace {

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = tavrin::parseOptions(args, error);
  if (!options) {
    std::cerr << "tavrin: " << error << '\n';
    return 2;
  }
  if (options->help) {
    std::cout << tavrin::usageText();
    return 0;
  }
  if (options->version) {
    std::cout << tavrin::versionText() << '\n';
    return 0;
  }
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
  // Start-up runs inside the event loop (its waits pump events) and the window
  // appears when it has finished (about 100 ms), so no operator action can
  // land in the middle of it; scripts see the window the same way.
  QTimer::singleShot(0, &window, [&window] {
    window.load();
    window.show();
  });
  const int status = QApplication::exec();
  session.flushTrace();
  return status;
}
