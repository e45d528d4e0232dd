// tavrin: the bench program with its window. With --script it runs an operator
// script without a window (and without needing a display); with --headless it
// runs the batch in real time without a window or a display.
#include <QApplication>
#include <QKeySequence>
#include <QProcess>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/script.h"
#include "cli/session.h"
#include "core/escape.h"
#include "qt/board_chooser.h"
#include "qt/drawings.h"
#include "qt/main_window.h"
#include "qt/plot_file.h"
#include "qt/plot_window.h"
#include "qt/qt_toolkit.h"
#include "qt/realtime_script.h"
#include "qt/remote_server.h"

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#if defined(__unix__) || defined(__APPLE__)
// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, a closed terminal) end the
// program with the device closed, the way closing the window does. The
// handler only writes the signal's number; the event loop does the rest.
int signalPipe[2] = {-1, -1};

void onSignal(int sig) {
  const unsigned char number = static_cast<unsigned char>(sig);
  [[maybe_unused]] auto n = ::write(signalPipe[1], &number, 1);
}

void closeOnSignals(QObject* parent, std::function<void(int)> close) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent, [close = std::move(close)] {
    unsigned char number = 0;
    if (::read(signalPipe[0], &number, 1) == 1) close(number);
  });
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

// A run without an operator stopped from outside has not ended well: it says
// so, closes the device and ends with 128 + the signal.
std::function<void(int)> endOnSignal(const char* what, tavrin::Program& program, tavrin::QtToolkit& toolkit) {
  return [what, &program, &toolkit](int sig) {
    std::cerr << what << " by signal " << sig << "; device closed" << std::endl;
    program.link.closeDevice();
    toolkit.endProgram(128 + sig);
  };
}
#endif

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Without a window Qt's offscreen platform needs no display, whatever the
// session offers; with one, a missing display is said plainly (Qt would abort
// with a long plugin message). False when the program cannot go on.
bool prepareDisplay(const tavrin::Options& options) {
  if (options.headless) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
  }
#if defined(__linux__)
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
    std::cerr << "tavrin: no display found; set DISPLAY, or run without a window: tavrin --headless FILE"
                 " (a batch), tavrin --script FILE (virtual time) or tavrin --script FILE --realtime --headless\n";
    return false;
  }
#endif
  return true;
}

// Start-up without a window; a failure nobody can see ends the program.
void loadWithoutWindow(tavrin::Program& program, tavrin::QtToolkit& toolkit) {
  try {
    program.Form_Load();
  } catch (const std::exception& e) {
    std::cerr << "tavrin: start-up failed: " << e.what() << std::endl;
    program.link.closeDevice();
    toolkit.endProgram(1);
  }
}

// The batch run without a window. Nobody is there to answer a message box:
// it is printed, the device closed and the program ends with status 1 (the
// toolkit ends it after this hook).
void startHeadlessBatch(QObject& lifetime, tavrin::Program& program, tavrin::QtToolkit& toolkit,
                        const std::string& commandLine) {
  toolkit.setHeadless([&program](const std::string& text) {
    std::cerr << "tavrin: message: " << text << std::endl;
    program.link.closeDevice();
  });
#if defined(__unix__) || defined(__APPLE__)
  closeOnSignals(&lifetime, endOnSignal("tavrin: stopped", program, toolkit));
#endif
  // Start-up runs inside the event loop; the batch run in it ends the
  // program itself (cmdExit_Click, status 0). Coming back means none ran.
  QTimer::singleShot(0, &lifetime, [&program, &toolkit, commandLine] {
    loadWithoutWindow(program, toolkit);
    std::cerr << "tavrin: --headless needs the path of an existing sequence file; '" << tavrin::escapedName(commandLine)
              << "' is not one" << std::endl;
    program.link.closeDevice();
    toolkit.endProgram(2);
  });
}

// The remote control without a window: start-up, then the event loop serves
// the clients until SYSTem:EXIT or a signal. Nobody sits at a message box:
// its text is printed and goes to the error queue of the client whose command
// raised it, and the program goes on as if OK had been pressed; a file dialog
// is cancelled.
void startHeadlessRemote(QObject& lifetime, tavrin::Program& program, tavrin::QtToolkit& toolkit,
                         tavrin::RemoteServer& server) {
  toolkit.setScripted(
      [&server](const std::string& text) {
        std::cerr << "tavrin: message: " << text << std::endl;
        server.control().reportMessage(text);
      },
      [] { return std::optional<std::string>(); });
#if defined(__unix__) || defined(__APPLE__)
  closeOnSignals(&lifetime, endOnSignal("tavrin: remote control stopped", program, toolkit));
#endif
  QTimer::singleShot(0, &lifetime, [&program, &toolkit] { loadWithoutWindow(program, toolkit); });
}

// --remote: the server, listening before start-up begins. Null with the
// reason said when it cannot be had.
std::unique_ptr<tavrin::RemoteServer> startRemote(const tavrin::Options& options, tavrin::Program& program) {
  std::string token, error;
  if (!options.remoteTokenFile.empty() && !tavrin::readRemoteToken(options.remoteTokenFile, token, error)) {
    std::cerr << "tavrin: --remote-token-file: " << error << std::endl;
    return nullptr;
  }
  std::string version = tavrin::versionText("tavrin");
  version.erase(0, version.find(' ') + 1);
  auto server = std::make_unique<tavrin::RemoteServer>(program, token, version);
  const auto where = tavrin::parseRemoteAddress(options.remote, error);
  if (!where || !server->listen(*where, error)) {
    std::cerr << "tavrin: --remote: " << error << std::endl;
    return nullptr;
  }
  std::cerr << "tavrin: remote control on " << server->address() << (token.empty() ? "" : " (token required)")
            << std::endl;
  return server;
}

// Ctrl+B opens the board chooser; start-up that found no board opens it by
// itself. A board chosen is kept in the configuration file and the program
// starts again on it: the device closed, the trace written, then a fresh
// process with the same words less those that named a board.
void offerBoards(tavrin::MainWindow& window, tavrin::Program& program, tavrin::Session& session,
                 tavrin::QtToolkit& toolkit, const tavrin::BackendOptions& current, const std::vector<std::string>& words) {
  auto open = [&program, &session, &toolkit, current, words] {
    tavrin::BoardChooser chooser(current, [&](const tavrin::BackendOptions&) {
      QStringList args;
      for (std::size_t i = 1; i < words.size(); ++i) args << QString::fromStdString(words[i]);
      program.link.closeDevice();
      session.flushTrace();
      if (!QProcess::startDetached(QString::fromStdString(words.front()), tavrin::restartArguments(args)))
        std::cerr << "tavrin: cannot start again on the board chosen; start it by hand" << std::endl;
      toolkit.endProgram(0);
    });
    chooser.setWindowModality(Qt::ApplicationModal);
    chooser.exec();
  };
  QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), &window), &QShortcut::activated, &window, open);
  if (!program.form.ControlAvailable) QTimer::singleShot(0, &window, open);
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  std::vector<std::string> words = tavrin::utf8Arguments(argc, argv);  // Windows: not the ANSI code page
  std::vector<char*> args;
  args.reserve(words.size());
  for (auto& w : words) args.push_back(w.data());
  auto options = tavrin::parseCommandLine(static_cast<int>(args.size()), args.data(), status);
  if (!options) return status;
  if (!options->scriptFile.empty() && !options->realtime) return tavrin::runScript(*options, std::cout, std::cerr);

  if (!prepareDisplay(*options)) return 1;

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
  toolkit.setBeforeExit([&session](int exitStatus) {
    session.flushTrace();
    return exitStatus;
  });
  tavrin::Program& program = session.program();

  // The batch run draws its sweep beside its log, with or without a window.
  program.afterBatchSweep = [&program](const std::string& log) {
    tavrin::writeBatchPlot(program.setup().paths, log, std::cerr);
  };

  // Owns what lives as long as the program, with or without a window.
  QObject lifetime;
  if (options->realtime) {
    std::unique_ptr<tavrin::MainWindow> scriptWindow;
    std::unique_ptr<tavrin::PlotWindow> scriptPlot;  // as the operator's window has it
    if (!options->headless) {
      scriptWindow = std::make_unique<tavrin::MainWindow>(program, toolkit);
      scriptPlot = std::make_unique<tavrin::PlotWindow>(program, scriptWindow.get());
    }
#if defined(__unix__) || defined(__APPLE__)
    closeOnSignals(&lifetime, endOnSignal("tavrin: script run stopped", program, toolkit));
#endif
    return tavrin::runRealtimeScript(*options, session, toolkit, scriptWindow.get(), std::cout, std::cerr);
  }
  std::unique_ptr<tavrin::MainWindow> window;
  std::unique_ptr<tavrin::PlotWindow> plot;
  std::unique_ptr<tavrin::RemoteServer> remote;
  // The window's views first: the remote control looks at the sweep after them.
  if (!options->headless) {
    window = std::make_unique<tavrin::MainWindow>(program, toolkit);
    plot = std::make_unique<tavrin::PlotWindow>(program, window.get());
  }
  if (!options->remote.empty() && !(remote = startRemote(*options, program))) return 2;
  if (options->headless && remote && options->commandLine.find_first_not_of(" \t\"") == std::string::npos) {
    startHeadlessRemote(lifetime, program, toolkit, *remote);
  } else if (options->headless) {
    startHeadlessBatch(lifetime, program, toolkit, options->commandLine);
  } else {
#if defined(__unix__) || defined(__APPLE__)
    closeOnSignals(&lifetime, [&program](int) { program.Form_Unload(); });
#endif
    // Start-up runs inside the event loop (its waits pump events). The window
    // is shown as it begins, before its first wait, and takes the operator's
    // events from then on: an Exit during start-up closes the device at once.
    QTimer::singleShot(0, window.get(), [&] {
      window->load();
      offerBoards(*window, program, session, toolkit, options->backend, words);
    });
  }
  status = QApplication::exec();
  session.flushTrace();
  return status;
}
