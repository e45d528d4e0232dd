// How long a redraw of the plots takes: the time view with 100,000 readings
// in view (a long tracking run), the most it draws at once, and the sweep view
// of the longest sweep the program runs (32,768 readings, figures included).
// Each is drawn into an image the size of the plot window's view, offscreen,
// as a paint of the window would draw it.
//
//   bench_plot [--quick]
//
// Goal: a time view redraw under 10 ms (median). Exits with 1 when missed.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qt/plot_drawing.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double min = 0, median = 0, max = 0;
};

template <class Draw>
Figures timeRedraws(int runs, Draw draw) {
  QImage image(940, 300, QImage::Format_ARGB32_Premultiplied);
  std::vector<double> ms;
  for (int i = 0; i < runs + 2; ++i) {
    const auto start = Clock::now();
    QPainter p(&image);
    draw(p, QRectF(image.rect()));
    p.end();
    const double took = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (i >= 2) ms.push_back(took);  // the first two warm the caches and the font
  }
  std::sort(ms.begin(), ms.end());
  return {ms.front(), ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int runs = quick ? 20 : 200;
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  const tavrin::PlotColors colors = tavrin::PlotColors::light();

  // Tracking readings: three a pass, 150 ms apart, a drifting peak and the
  // probe one step either side; 100,000 of them are about four hours.
  tavrin::TimeSeries series;
  unsigned noise = 1;
  for (int i = 0; i < 100000; ++i) {
    noise = noise * 1103515245u + 12345u;
    const int probe = (i % 3 == 1) ? 50 : 0;
    const int hz = 44100 + i / 500 + probe;
    series.push({i * 150.0, hz, 230 - probe + static_cast<int>(noise >> 28)});
  }
  tavrin::TimePlotData time{&series, {}, {}};
  const tavrin::AxesView timeView = tavrin::autoscale(time);
  const Figures t = timeRedraws(runs, [&](QPainter& p, const QRectF& r) { tavrin::drawTimePlot(p, r, time, timeView, colors); });

  tavrin::SweepPlotData sweep;
  for (int i = 0; i <= 32767; ++i) {
    const double hz = 40000 + i * 0.3, d = (hz - 44100) / 150;
    sweep.points.push_back({hz, 234 / (1 + d * d)});
  }
  const tavrin::AxesView sweepView = tavrin::autoscale(sweep);
  const Figures s = timeRedraws(runs, [&](QPainter& p, const QRectF& r) {
    sweep.figures = tavrin::resonanceFigures(sweep.points);
    tavrin::drawSweepPlot(p, r, sweep, sweepView, colors);
  });

  std::printf("| Redraw (940 x 300 px) | readings | runs | min | median | max |\n|---|---|---|---|---|---|\n");
  std::printf("| time view | 100,000 | %d | %.2f ms | %.2f ms | %.2f ms |\n", runs, t.min, t.median, t.max);
  std::printf("| sweep view with figures | 32,768 | %d | %.2f ms | %.2f ms | %.2f ms |\n", runs, s.min, s.median, s.max);
  if (t.median >= 10) {
    std::printf("The time view's median redraw is %.2f ms: the goal is under 10 ms.\n", t.median);
    return 1;
  }
  return 0;
}
