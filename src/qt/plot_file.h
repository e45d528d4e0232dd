// Plots from log files: a sweep log drawn as the sweep view with its resonance
// figures, a current log as the time view (its readings one interval apart),
// written as PNG or SVG. Used by tavrin-plot and by the batch run, which draws
// its sweep beside its log.
#pragma once

#include <QPainter>
#include <QSize>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "core/files.h"
#include "plot/log_reader.h"

namespace tavrin {

// The size of a plot image, in pixels (an SVG's in its units).
inline constexpr int kPlotImageWidth = 1200, kPlotImageHeight = 750;

// True for a name ending in .png or .svg (any case): the formats written.
bool isPlotImageName(const std::filesystem::path& path);
// True for a name ending in .csv (any case).
bool isCsvName(const std::filesystem::path& path);

// "C:\stator-1.txt" gives "C:\stator-1.png"; a name without ".txt" gets
// ".png" added.
std::string plotNameBeside(const std::string& logName);

// Draws the log into `out` (PNG or SVG by its suffix). The file appears whole
// or not at all: it is written beside and renamed, so a failure leaves an
// older image as it was. Needs a QGuiApplication. Returns false with the
// reason in `error`.
bool writeLogPlot(const LogContents& log, const std::string& name, const std::filesystem::path& out,
                  std::string& error);

// Draws `paint` into an image file of `size` (PNG or SVG by its suffix; a PNG
// at `pixelRatio` pixels a unit), whole or not at all as writeLogPlot.
bool writePlotImage(const std::filesystem::path& out, QSize size, double pixelRatio, const QString& title,
                    const std::function<void(QPainter&)>& paint, std::string& error);

// Writes `text` to `out`, whole or not at all (beside, then renamed).
bool writeTextFile(const std::filesystem::path& out, const std::string& text, std::string& error);

// The batch run's sweep: its plot beside its log. A failure is said on `err`;
// the batch goes on.
void writeBatchPlot(const PathMapper& paths, const std::string& logName, std::ostream& err);

}  // namespace tavrin
