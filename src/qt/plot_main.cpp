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
#include "cli/options.h"
#include "core/escape.h"
#include "core/files.h"
#include "plot/csv.h"
#include "plot/log_reader.h"
#include "plot/resonance.h"
#include "qt/plot_drawing.h"
#include "qt/plot_file.h"

namespace {

std::string usageText() {
  return "usage: tavrin-plot LOG [-o OUT.png|OUT.svg] [--csv OUT.csv] [--drive-root DIR]\n"
         "Draws a sweep log (current against frequency, with the peak, its width at half height and Q)\n"
         "or a current log (current and frequency against time) as an image, and with --csv writes its\n"
         "readings as CSV. Without -o or --csv the image is LOG with .png in place of .txt.\n"
         "Exit status: 0 written, 1 the log or an output failed, 2 usage.\n" +
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

// What a run writes, checked before the log is read: an image, a CSV or both.
struct Outputs {
  std::string image, csv;  // as named; empty: not written
  std::filesystem::path imagePath, csvPath;
};

// Returns the usage error, or nothing when the names will do.
std::optional<std::string> checkOutputs(Outputs& o, const tavrin::PathMapper& paths, const std::string& logName) {
  const std::filesystem::path logPath = paths.map(logName);
  if (o.image.empty() && o.csv.empty()) o.image = tavrin::plotNameBeside(logName);
  if (!o.image.empty()) {
    o.imagePath = paths.map(o.image);
    if (!tavrin::isPlotImageName(o.imagePath)) return "the image's name must end in .png or .svg: " + o.image;
    if (sameFile(logPath, o.imagePath)) return "the image would overwrite the log: " + o.image;
  }
  if (!o.csv.empty()) {
    o.csvPath = paths.map(o.csv);
    if (!tavrin::isCsvName(o.csvPath)) return "the CSV's name must end in .csv: " + o.csv;
    if (sameFile(logPath, o.csvPath)) return "the CSV would overwrite the log: " + o.csv;
  }
  return std::nullopt;
}

void printSummary(const tavrin::LogContents& log, const std::string& logShown) {
  const auto& r = log.readings;
  std::cout << logShown << ": " << (log.isSweep() ? "sweep" : "current log") << ", " << r.size() << " readings";
  if (log.isSweep()) {
    std::cout << " from " << r.front().hz << " to " << r.back().hz << " Hz\n";
    for (const QString& line : tavrin::figureLines(tavrin::resonanceFigures(log.sweepPoints())))
      std::cout << line.toStdString() << '\n';
  } else {
    std::cout << ", " << log.intervalOrDefaultMs() << " ms apart\n";
  }
}

// Each output written, or why not; 1 when one failed.
int writeOutputs(const tavrin::LogContents& log, const std::string& logName, const Outputs& o, char* argv0) {
  std::string error;
  int status = 0;
  auto wrote = [&](bool ok, const std::string& name) {
    if (ok)
      std::cout << "Wrote " << tavrin::escapedName(name) << '\n';
    else
      std::cerr << "tavrin-plot: cannot write " << tavrin::escapedName(name) << ": " << error << '\n';
    status = ok ? status : 1;
  };
  if (!o.csv.empty()) wrote(tavrin::writeTextFile(o.csvPath, tavrin::logCsv(log), error), o.csv);
  if (o.image.empty()) return status;
  // Never a window: the offscreen platform needs no display.
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv0, nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  std::setlocale(LC_NUMERIC, "C");
  wrote(tavrin::writeLogPlot(log, logName, o.imagePath, error), o.image);
  return status;
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
  if (words.options.version) {
    std::cout << tavrin::versionText("tavrin-plot") << '\n';
    return 0;
  }
  if (words.plain.size() > 1) return usage("one log at a time; '" + words.plain[1] + "' is one too many");
  const std::string logName = words.plain.empty() ? std::string() : words.plain.front();
  const std::string& driveRoot = words.options.driveRoot;
  if (logName.empty()) return usage("no log named");

  const tavrin::PathMapper paths(driveRoot.empty() ? tavrin::PathMapper::defaultDriveRoot()
                                                   : std::filesystem::path(driveRoot));
  Outputs outputs{words.options.outputFile, words.options.csvFile, {}, {}};
  if (auto why = checkOutputs(outputs, paths, logName)) return usage(*why);
  // The name as printed: a control character in it is escaped.
  const std::string logShown = tavrin::escapedName(logName);

  auto log = tavrin::readLog(paths.map(logName), error);
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
    std::cerr << "tavrin-plot: " << logShown << " holds no readings; nothing written\n";
    return 1;
  }
  printSummary(*log, logShown);
  return writeOutputs(*log, logName, outputs, argv[0]);
}
