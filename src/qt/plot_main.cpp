// tavrin-plot: draws a sweep or current log as an image, with the resonance
// figures of a sweep. Needs no display.
#include <QGuiApplication>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "cli/option_table.h"
#include "core/escape.h"
#include "core/files.h"
#include "plot/log_reader.h"
#include "plot/resonance.h"
#include "qt/plot_drawing.h"
#include "qt/plot_file.h"

namespace {

std::string usageText() {
  return "usage: tavrin-plot LOG [-o OUT.png|OUT.svg] [--drive-root DIR]\n"
         "Draws a sweep log (current against frequency, with the peak, its width at half height and Q)\n"
         "or a current log (current and frequency against time) as an image. Without -o the image is\n"
         "LOG with .png in place of .txt. Exit status: 0 written, 1 the log or the image failed, 2 usage.\n" +
         tavrin::optionHelp(tavrin::kTavrinPlot);
}

// Bad lines named on standard error; a garbled file names only the first few.
constexpr std::size_t kBadLinesShown = 20;

// The reason may quote a word of the command line.
int usage(const std::string& why) {
  std::cerr << "tavrin-plot: " << tavrin::escapedName(why) << '\n' << usageText();
  return 2;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

int main(int argc, char** argv) {
  tavrin::ParsedWords words;
  std::string error;
  if (!tavrin::parseArguments(tavrin::kTavrinPlot, argc, argv, words, error)) return usage(error);
  if (words.options.help) {
    std::cout << usageText();
    return 0;
  }
  if (words.plain.size() > 1) return usage("one log at a time; '" + words.plain[1] + "' is one too many");
  const std::string logName = words.plain.empty() ? std::string() : words.plain.front();
  const std::string& driveRoot = words.options.driveRoot;
  std::string outName = words.options.outputFile;
  if (logName.empty()) return usage("no log named");

  const tavrin::PathMapper paths(driveRoot.empty() ? tavrin::PathMapper::defaultDriveRoot()
                                                   : std::filesystem::path(driveRoot));
  if (outName.empty()) outName = tavrin::plotNameBeside(logName);
  // The names as printed: a control character in one is escaped.
  const std::string logShown = tavrin::escapedName(logName), outShown = tavrin::escapedName(outName);
  const std::filesystem::path logPath = paths.map(logName), outPath = paths.map(outName);
  if (!tavrin::isPlotImageName(outPath)) return usage("the image's name must end in .png or .svg: " + outName);
  if (sameFile(logPath, outPath)) return usage("the image would overwrite the log: " + outName);

  auto log = tavrin::readLog(logPath, error);
  if (!log) {
    std::cerr << "tavrin-plot: cannot read " << logShown << ": " << error << '\n';
    return 1;
  }
  for (std::size_t i = 0; i < log->bad.size() && i < kBadLinesShown; ++i)
    std::cerr << "tavrin-plot: " << logShown << " line " << log->bad[i].line << ": " << log->bad[i].why
              << "; skipped\n";
  if (log->bad.size() > kBadLinesShown)
    std::cerr << "tavrin-plot: " << logShown << ": " << log->bad.size() - kBadLinesShown
              << " more lines skipped\n";
  if (log->readings.empty()) {
    std::cerr << "tavrin-plot: " << logShown << " holds no readings; nothing drawn\n";
    return 1;
  }

  // Never a window: the offscreen platform needs no display.
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  std::setlocale(LC_NUMERIC, "C");

  const auto& r = log->readings;
  std::cout << logShown << ": " << (log->isSweep() ? "sweep" : "current log") << ", " << r.size() << " readings";
  if (log->isSweep()) {
    std::cout << " from " << r.front().hz << " to " << r.back().hz << " Hz\n";
    for (const QString& line : tavrin::figureLines(tavrin::resonanceFigures(log->sweepPoints())))
      std::cout << line.toStdString() << '\n';
  } else {
    std::cout << ", " << log->intervalMs.value_or(1000) << " ms apart\n";
  }
  if (!tavrin::writeLogPlot(*log, logName, outPath, error)) {
    std::cerr << "tavrin-plot: cannot write " << outShown << ": " << error << '\n';
    return 1;
  }
  std::cout << "Wrote " << outShown << '\n';
  return 0;
}
