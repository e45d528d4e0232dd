// Drawing of the two plots with plain QPainter, the same on screen, in a PNG
// and in an SVG: the sweep view (current against frequency, the resonance
// figures, the previous sweep faded behind) and the time view (current and
// drive frequency against time, thinned to min/max per pixel column).
#pragma once

#include <QColor>
#include <QPainter>
#include <QPalette>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "plot/resonance.h"
#include "plot/time_series.h"

namespace tavrin {

struct Range {
  double lo = 0, hi = 1;
  double span() const { return hi - lo; }
};

// What the axes show. The time view's frequency axis follows the readings in
// view and is not part of it.
struct AxesView {
  Range x, y;
};

struct PlotColors {
  QColor background, text, grid, current, frequency, previous, peak, note;
  // Follows the palette: light curves on a dark background, dark on a light one.
  static PlotColors forPalette(const QPalette& palette);
  static PlotColors light();
};

struct SweepPlotData {
  std::vector<SweepPoint> points;    // this sweep, in the order it read them
  std::vector<SweepPoint> previous;  // the sweep before, drawn faded behind
  ResonanceFigures figures;          // of `points`
  QString title;
  QString result;                    // the sweep's result line, when it has ended
  std::optional<Range> planned;      // the frequencies a running sweep will cover
};

struct TimePlotData {
  const TimeSeries* series = nullptr;
  QString title;
  QString note;  // after the last reading, e.g. where the times came from
};

// Where one drawn plot landed: its data area and what it shows, for turning
// mouse positions into values.
struct PlotFrame {
  QRectF area;
  AxesView view;
  std::optional<Range> y2;  // the time view's frequency axis
  double timeUnitMs = 1000;  // the time view's unit: s, min or h

  QPointF toPixel(double x, double y) const;
  QPointF toData(QPointF pixel) const;
  double y2At(double pixelY) const;
};

AxesView autoscale(const SweepPlotData& data);
AxesView autoscale(const TimePlotData& data);

// Each draws into `rect` (its background included) and returns the frame.
PlotFrame drawSweepPlot(QPainter& p, const QRectF& rect, const SweepPlotData& data, const AxesView& view,
                        const PlotColors& colors);
PlotFrame drawTimePlot(QPainter& p, const QRectF& rect, const TimePlotData& data, const AxesView& view,
                       const PlotColors& colors);

// The figures as the sweep view shows them, one line each, the note last.
QStringList figureLines(const ResonanceFigures& figures);

}  // namespace tavrin
