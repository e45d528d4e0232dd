// Plots from log files: a sweep log drawn as the sweep view with its resonance
// figures, a current log as the time view (its readings one interval apart),
// written as PNG or SVG. Used by tavrin-plot and by the batch run, which draws
// its sweep beside its log.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "core/files.h"
#include "plot/log_reader.h"

namespace tavrin {

// The size of a plot image, in pixels (an SVG's in its units).
inline constexpr int kPlotImageWidth = 1200, kPlotImageHeight = 750;

// True for a name ending in .png or .svg (any case): the formats written.
bool isPlotImageName(const std::filesystem::path& path);

// "C:\stator-1.txt" gives "C:\stator-1.png"; a name without ".txt" gets
// ".png" added.
std::string plotNameBeside(const std::string& logName);

// Draws the log into `out` (PNG or SVG by its suffix). The file appears whole
// or not at all: it is written beside and renamed, so a failure leaves an
// older image as it was. Needs a QGuiApplication. Returns false with the
// reason in `error`.
bool writeLogPlot(const LogContents& log, const std::string& name, const std::filesystem::path& out,
                  std::string& error);

// The batch run's sweep: its plot beside its log. A failure is said on `err`;
// the batch goes on.
void writeBatchPlot(const PathMapper& paths, const std::string& logName, std::ostream& err);

}  // namespace tavrin
