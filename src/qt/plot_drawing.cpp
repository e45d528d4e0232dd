#include "qt/plot_drawing.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include "plot/axis_ticks.h"

namespace tavrin {

namespace {

QString number(double v) { return QString::number(std::lround(v)); }

QColor faded(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

// A range that can be drawn: never empty, never inverted, a little room added.
Range padded(double lo, double hi, double minSpan, double margin) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return {0, 1};
  if (hi - lo < minSpan) {
    const double mid = (lo + hi) / 2;
    lo = mid - minSpan / 2;
    hi = mid + minSpan / 2;
  }
  const double room = (hi - lo) * margin;
  return {lo - room, hi + room};
}

// Everything around the data: background, titles, grid, ticks, labels, frame.
struct Axes {
  AxesView view;
  std::optional<Range> y2;
  double xUnit = 1;  // x values are divided by this for the labels
  QString title, subtitle, xTitle, yTitle, y2Title;
  QColor yColor, y2Color;
};

int tickCount(double length, double labelSpace) { return std::max(2, static_cast<int>(length / labelSpace)); }

double widest(const QFontMetricsF& fm, const AxisTicks& t, double unit = 1) {
  double w = 0;
  for (double v : t.values) w = std::max(w, fm.horizontalAdvance(QString::fromStdString(tickLabel(v / unit, t.step / unit))));
  return w;
}

// The title (bold) and subtitle above the plot area, cut to its width.
void drawTitles(QPainter& p, const QRectF& rect, const QRectF& area, const Axes& a, const QColor& text, double line,
                double pad) {
  QFont bold = p.font();
  bold.setBold(true);
  p.setPen(text);
  p.save();
  p.setFont(bold);
  p.drawText(QRectF(area.left(), rect.top() + pad, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetricsF(bold).elidedText(a.title, Qt::ElideMiddle, area.width()));
  p.restore();
  if (!a.subtitle.isEmpty())
    p.drawText(QRectF(area.left(), rect.top() + pad + line, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(p.font()).elidedText(a.subtitle, Qt::ElideRight, area.width()));
}

// The x axis title below the area, the y titles turned along the sides.
void drawAxisTitles(QPainter& p, const QRectF& rect, const QRectF& area, const Axes& a, const QColor& text,
                    double line, double pad) {
  p.drawText(QRectF(area.left(), rect.bottom() - pad - line, area.width(), line), Qt::AlignHCenter | Qt::AlignVCenter,
             a.xTitle);
  auto sideways = [&](double x, const QString& title, const QColor& color, double angle) {
    p.save();
    p.setPen(color.isValid() ? color : text);
    p.translate(x, area.center().y());
    p.rotate(angle);
    // Cut in the middle where the plot is too short for it, so the unit stays.
    p.drawText(QRectF(-area.height() / 2, -line / 2, area.height(), line), Qt::AlignCenter,
               QFontMetricsF(p.font()).elidedText(title, Qt::ElideMiddle, area.height()));
    p.restore();
  };
  sideways(rect.left() + pad + line / 2, a.yTitle, a.yColor, -90);
  if (a.y2) sideways(rect.right() - pad - line / 2, a.y2Title, a.y2Color, 90);
}

PlotFrame drawFrame(QPainter& p, const QRectF& rect, const Axes& a, const PlotColors& c) {
  p.fillRect(rect, c.background);
  const QFontMetricsF fm(p.font());
  const double line = fm.height(), pad = std::round(line * 0.6), tick = std::round(line * 0.35);

  // The y ticks first: their labels' width sets the left margin.
  const double roughHeight = rect.height() - 5 * line;
  const AxisTicks yTicks = axisTicks(a.view.y.lo, a.view.y.hi, tickCount(roughHeight, line * 2.6));
  const AxisTicks y2Ticks = a.y2 ? axisTicks(a.y2->lo, a.y2->hi, tickCount(roughHeight, line * 2.6)) : AxisTicks{};
  const double left = pad + line + pad / 2 + widest(fm, yTicks) + tick + 4;
  const double right = a.y2 ? tick + 4 + widest(fm, y2Ticks) + pad / 2 + line + pad : pad * 2.5;
  const double top = pad + line * (a.subtitle.isEmpty() ? 1 : 2) + pad;
  const double bottom = tick + 4 + line + pad / 2 + line + pad;

  PlotFrame frame;
  frame.area = QRectF(rect.left() + left, rect.top() + top, std::max(10.0, rect.width() - left - right),
                      std::max(10.0, rect.height() - top - bottom));
  frame.view = a.view;
  frame.y2 = a.y2;
  frame.timeUnitMs = a.xUnit;
  const QRectF& area = frame.area;

  drawTitles(p, rect, area, a, c.text, line, pad);

  // Grid and ticks.
  const double xMaxLabel = std::max(fm.horizontalAdvance(QStringLiteral("000000")), line * 3);
  const AxisTicks xTicks = axisTicks(a.view.x.lo / a.xUnit, a.view.x.hi / a.xUnit, tickCount(area.width(), xMaxLabel * 1.7));
  QPen gridPen(c.grid, 0);
  QPen tickPen(c.text, 0);
  for (double v : xTicks.values) {
    const double x = frame.toPixel(v * a.xUnit, 0).x();
    if (x < area.left() - 0.5 || x > area.right() + 0.5) continue;
    p.setPen(gridPen);
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    p.setPen(tickPen);
    p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + tick));
    p.drawText(QRectF(x - xMaxLabel, area.bottom() + tick + 2, 2 * xMaxLabel, line), Qt::AlignHCenter | Qt::AlignTop,
               QString::fromStdString(tickLabel(v, xTicks.step)));
  }
  for (double v : yTicks.values) {
    const double y = frame.toPixel(0, v).y();
    if (y < area.top() - 0.5 || y > area.bottom() + 0.5) continue;
    p.setPen(gridPen);
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    p.setPen(a.yColor.isValid() ? a.yColor : c.text);
    p.drawLine(QPointF(area.left() - tick, y), QPointF(area.left(), y));
    p.drawText(QRectF(rect.left(), y - line / 2, area.left() - tick - 4 - rect.left(), line),
               Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(tickLabel(v, yTicks.step)));
  }
  if (a.y2) {
    p.setPen(a.y2Color);
    for (double v : y2Ticks.values) {
      const double y = area.bottom() - (v - a.y2->lo) / a.y2->span() * area.height();
      if (y < area.top() - 0.5 || y > area.bottom() + 0.5) continue;
      p.drawLine(QPointF(area.right(), y), QPointF(area.right() + tick, y));
      p.drawText(QRectF(area.right() + tick + 4, y - line / 2, right, line), Qt::AlignLeft | Qt::AlignVCenter,
                 QString::fromStdString(tickLabel(v, y2Ticks.step)));
    }
  }
  p.setPen(QPen(c.text, 0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(area);

  drawAxisTitles(p, rect, area, a, c.text, line, pad);
  return frame;
}

// A message in the middle of an empty plot.
void emptyNote(QPainter& p, const PlotFrame& f, const PlotColors& c, const QString& text) {
  p.setPen(c.note);
  p.drawText(f.area.adjusted(10, 10, -10, -10), Qt::AlignCenter | Qt::TextWordWrap, text);
}

void drawCurve(QPainter& p, const PlotFrame& f, const std::vector<SweepPoint>& points, const QColor& color,
               bool dots) {
  if (points.empty()) return;
  QPolygonF line;
  line.reserve(static_cast<int>(points.size()));
  for (const SweepPoint& s : points) line << f.toPixel(s.hz, s.mA);
  p.setBrush(Qt::NoBrush);
  if (points.size() > 1000) {
    // More readings than pixels: a hairline without smoothing costs a few
    // milliseconds where a smoothed wide line costs tens.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(color, 0));
    p.drawPolyline(line);
    p.restore();
    return;
  }
  p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(line);
  if (!dots || points.size() > 400) return;
  p.setBrush(color);
  p.setPen(Qt::NoPen);
  for (const QPointF& pt : line) p.drawEllipse(pt, 2.4, 2.4);
}

void drawLegend(QPainter& p, const PlotFrame& f, const PlotColors& c) {
  const QFontMetricsF fm(p.font());
  const double line = fm.height();
  const QRectF box(f.area.left() + 8, f.area.top() + 8,
                   line * 2.2 + fm.horizontalAdvance(QStringLiteral("previous sweep")) + 16, line * 2 + 10);
  p.setPen(QPen(c.grid, 0));
  p.setBrush(faded(c.background, 225));
  p.drawRect(box);
  const QColor colors[] = {c.current, c.previous};
  const QString names[] = {QStringLiteral("this sweep"), QStringLiteral("previous sweep")};
  for (int i = 0; i < 2; ++i) {
    const double y = box.top() + 5 + line * (i + 0.5);
    p.setPen(QPen(colors[i], 2));
    p.drawLine(QPointF(box.left() + 6, y), QPointF(box.left() + 6 + line * 1.6, y));
    p.setPen(c.text);
    p.drawText(QRectF(box.left() + 12 + line * 1.6, y - line / 2, box.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
               names[i]);
  }
}

// The peak, the half-height width and the figures' box.
void drawFigures(QPainter& p, const PlotFrame& f, const SweepPlotData& d, const PlotColors& c) {
  const ResonanceFigures& r = d.figures;
  const QFontMetricsF fm(p.font());
  const double line = fm.height();
  if (r.hasPeak) {
    const QPointF top = f.toPixel(r.peakHz, r.peakmA);
    p.setPen(QPen(c.peak, 1.2, Qt::DashLine));
    p.drawLine(QPointF(top.x(), f.area.bottom()), top);
    if (r.widthHz && r.lowHz && r.highHz) {
      const QPointF a = f.toPixel(*r.lowHz, r.peakmA / 2), b = f.toPixel(*r.highHz, r.peakmA / 2);
      p.setPen(QPen(c.peak, 1.6));
      p.drawLine(a, b);
      p.drawLine(a + QPointF(0, -4), a + QPointF(0, 4));
      p.drawLine(b + QPointF(0, -4), b + QPointF(0, 4));
      // Above the bar's middle, clear of the curve.
      p.drawText(QRectF(a.x(), a.y() - line - 3, b.x() - a.x(), line), Qt::AlignHCenter | Qt::AlignBottom | Qt::TextDontClip,
                 number(*r.widthHz) + QStringLiteral(" Hz"));
    }
    const QPointF highest = f.toPixel(r.maxHz, r.maxmA);
    p.setPen(QPen(c.background, 1.5));
    p.setBrush(c.peak);
    p.drawEllipse(highest, 5, 5);
  }
  // The box, top right, wide enough for the longest figure; the note wraps.
  // In a narrow plot where the wrapped note would run out of it, the box takes
  // the plot's width, then a smaller font, so the note is read whole.
  const QStringList lines = figureLines(r);
  if (lines.isEmpty()) return;
  double width = 0, height = 0;
  std::vector<QRectF> spots;
  auto layOut = [&](const QFontMetricsF& m, double widest) {
    width = std::min(widest, std::max(line * 14, m.horizontalAdvance(lines.front()) + 16));
    height = 10;
    spots.clear();
    for (const QString& text : lines) {
      const QRectF need = m.boundingRect(QRectF(0, 0, width - 12, 10000), Qt::TextWordWrap, text);
      spots.emplace_back(0, height - 5, width - 12, need.height());
      height += need.height() + 2;
    }
  };
  const double room = f.area.height() - 16;
  const QFont font0 = p.font();
  layOut(fm, f.area.width() * 0.5);
  if (height > room) layOut(fm, f.area.width() - 16);
  for (int smaller = 0; height > room && smaller < 3; ++smaller) {
    QFont font = p.font();
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 0.85 : -1);
    if (font.pointSizeF() < 0) font.setPixelSize(std::max(6, static_cast<int>(font.pixelSize() * 0.85)));
    p.setFont(font);
    layOut(QFontMetricsF(font), f.area.width() - 16);
  }
  const QRectF box(f.area.right() - width - 8, f.area.top() + 8, width, height);
  p.setPen(QPen(c.grid, 0));
  p.setBrush(faded(c.background, 235));
  p.drawRect(box);
  for (int i = 0; i < lines.size(); ++i) {
    const bool note = i == lines.size() - 1 && !r.note.empty();
    p.setPen(note ? c.note : c.text);
    p.drawText(spots[static_cast<std::size_t>(i)].translated(box.left() + 6, box.top()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, lines[i]);
  }
  p.setFont(font0);
}

}  // namespace

// ---- colours ----

PlotColors PlotColors::forPalette(const QPalette& palette) {
  PlotColors c;
  c.background = palette.color(QPalette::Base);
  c.text = palette.color(QPalette::Text);
  const bool dark = c.background.lightness() < 128;
  c.grid = faded(c.text, dark ? 60 : 45);
  c.current = dark ? QColor(0x6c, 0xb4, 0xff) : QColor(0x1a, 0x5f, 0xc8);
  c.frequency = dark ? QColor(0xff, 0xa8, 0x4c) : QColor(0xc0, 0x56, 0x00);
  c.previous = faded(dark ? QColor(0xa8, 0xa8, 0xa8) : QColor(0x80, 0x80, 0x80), 150);
  c.peak = dark ? QColor(0xff, 0x66, 0x66) : QColor(0xc8, 0x1e, 0x1e);
  c.note = dark ? QColor(0xff, 0xd0, 0x60) : QColor(0x9a, 0x5a, 0x00);
  return c;
}

PlotColors PlotColors::light() {
  QPalette palette;
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  return forPalette(palette);
}

// ---- mapping ----

QPointF PlotFrame::toPixel(double x, double y) const {
  return {area.left() + (x - view.x.lo) / view.x.span() * area.width(),
          area.bottom() - (y - view.y.lo) / view.y.span() * area.height()};
}

QPointF PlotFrame::toData(QPointF pixel) const {
  return {view.x.lo + (pixel.x() - area.left()) / area.width() * view.x.span(),
          view.y.lo + (area.bottom() - pixel.y()) / area.height() * view.y.span()};
}

double PlotFrame::y2At(double pixelY) const {
  return y2 ? y2->lo + (area.bottom() - pixelY) / area.height() * y2->span() : 0;
}

// ---- sweep view ----

AxesView autoscale(const SweepPlotData& d) {
  double x0 = std::numeric_limits<double>::infinity(), x1 = -x0, y0 = 0, y1 = 0;
  if (d.planned) {
    x0 = std::min(d.planned->lo, d.planned->hi);
    x1 = std::max(d.planned->lo, d.planned->hi);
  }
  for (const auto* set : {&d.points, &d.previous})
    for (const SweepPoint& s : *set) {
      x0 = std::min(x0, s.hz);
      x1 = std::max(x1, s.hz);
      y0 = std::min(y0, s.mA);
      y1 = std::max(y1, s.mA);
    }
  if (!std::isfinite(x0)) return {{40000, 50000}, {0, 100}};
  const Range x = padded(x0, x1, 20, 0.02);
  Range y = padded(y0, y1, 10, 0.0);
  y.hi += (y.hi - y.lo) * 0.12;  // room for the figures' box above a peak
  if (y0 < 0) y.lo -= (y.hi - y.lo) * 0.04;
  return {x, y};
}

PlotFrame drawSweepPlot(QPainter& p, const QRectF& rect, const SweepPlotData& d, const AxesView& view,
                        const PlotColors& c) {
  Axes a;
  a.view = view;
  a.title = d.title.isEmpty() ? QStringLiteral("Sweep") : d.title;
  a.subtitle = d.result;
  a.xTitle = QStringLiteral("Frequency (Hz)");
  a.yTitle = QStringLiteral("Current (mA)");
  a.yColor = c.current;
  p.save();
  const PlotFrame f = drawFrame(p, rect, a, c);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setClipRect(f.area);
  if (d.points.empty() && d.previous.empty()) {
    emptyNote(p, f, c, QStringLiteral("No sweep yet: \"Sweep start\" draws one here, reading by reading."));
  } else {
    drawCurve(p, f, d.previous, c.previous, false);
    drawCurve(p, f, d.points, c.current, true);
    drawFigures(p, f, d, c);
    if (!d.previous.empty()) drawLegend(p, f, c);
  }
  p.restore();
  return f;
}

QStringList figureLines(const ResonanceFigures& r) {
  QStringList out;
  if (r.hasPeak) {
    out << QStringLiteral("Peak %1 Hz, %2 mA%3")
               .arg(number(r.peakHz), number(r.peakmA), r.interpolated ? QString() : QStringLiteral(" (highest reading)"));
    if (r.widthHz) out << QStringLiteral("Width at half height %1 Hz").arg(number(*r.widthHz));
    if (r.q) out << QStringLiteral("Q %1").arg(QString::number(*r.q, 'f', *r.q < 100 ? 1 : 0));
  }
  if (!r.note.empty()) out << QString::fromStdString(r.note);
  return out;
}

// ---- time view ----

AxesView autoscale(const TimePlotData& d) {
  if (!d.series || d.series->empty()) return {{0, 60000}, {0, 100}};
  const TimeSeries& s = *d.series;
  double y0 = 0, y1 = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    y0 = std::min(y0, static_cast<double>(s[i].mA));
    y1 = std::max(y1, static_cast<double>(s[i].mA));
  }
  const double t0 = s[0].ms, t1 = s.back().ms;
  // A little room on either side, so the first and last readings' dots are whole.
  const Range x = t1 - t0 < 1000 ? Range{t0 - 500, t0 + 10000} : Range{t0 - (t1 - t0) * 0.01, t1 + (t1 - t0) * 0.02};
  Range y = padded(y0, y1, 10, 0.0);
  y.hi += (y.hi - y.lo) * 0.08;
  return {x, y};
}

namespace {

// The thinned series as polylines: per column its first reading, its
// extremes in the order they came, its last; a new line where readings lie
// further apart than `gapMs`.
std::vector<QPolygonF> thinLines(const PlotFrame& f, const std::vector<ThinColumn>& cols, int columns, const Range& y,
                                 double gapMs) {
  std::vector<QPolygonF> lines;
  const double colWidth = f.area.width() / columns;
  auto py = [&](double v) { return f.area.bottom() - (v - y.lo) / y.span() * f.area.height(); };
  const ThinColumn* before = nullptr;
  for (const ThinColumn& c : cols) {
    if (!before || c.ms - before->lastMs > gapMs) lines.emplace_back();
    before = &c;
    QPolygonF& line = lines.back();
    const bool inside = c.column >= 0 && c.column < columns;
    const double x = inside ? f.area.left() + (c.column + 0.5) * colWidth
                            : f.area.left() + (c.ms - f.view.x.lo) / f.view.x.span() * f.area.width();
    double shown = c.first;
    line << QPointF(x, py(shown));
    for (double v : {c.minFirst ? c.min : c.max, c.minFirst ? c.max : c.min, c.last}) {
      if (v == shown) continue;
      line << QPointF(x, py(v));
      shown = v;
    }
  }
  return lines;
}

// The lines, each reading a dot when `dots` and there are a few hundred: a
// reading alone between gaps is a dot either way.
void drawLines(QPainter& p, const std::vector<QPolygonF>& lines, const QColor& color, double width, int columns,
               bool dots) {
  qsizetype points = 0;
  for (const QPolygonF& l : lines) points += l.size();
  // A smoothed line while there are fewer points than pixel columns; beyond
  // that a hairline, which costs a few milliseconds where a smoothed wide
  // line through a hundred thousand readings costs hundreds.
  const bool smooth = points <= columns;
  p.setRenderHint(QPainter::Antialiasing, smooth);
  p.setPen(QPen(color, smooth ? width : 0));
  p.setBrush(Qt::NoBrush);
  for (const QPolygonF& l : lines) p.drawPolyline(l);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  for (const QPolygonF& l : lines)
    if (l.size() == 1 || (dots && points <= 300))
      for (const QPointF& pt : l) p.drawEllipse(pt, 2.4, 2.4);
}

}  // namespace

PlotFrame drawTimePlot(QPainter& p, const QRectF& rect, const TimePlotData& d, const AxesView& view,
                       const PlotColors& c) {
  const double span = view.x.span();
  Axes a;
  a.view = view;
  a.xUnit = span <= 20 * 60e3 ? 1e3 : span <= 20 * 3600e3 ? 60e3 : 3600e3;
  a.title = d.title.isEmpty() ? QStringLiteral("Current and drive frequency") : d.title;
  a.xTitle = a.xUnit == 1e3 ? QStringLiteral("Time (s)") : a.xUnit == 60e3 ? QStringLiteral("Time (min)") : QStringLiteral("Time (h)");
  a.yTitle = QStringLiteral("Current (mA)");
  a.y2Title = QStringLiteral("Drive frequency (Hz)");
  a.yColor = c.current;
  a.y2Color = c.frequency;

  const TimeSeries* s = d.series;
  const bool any = s && !s->empty();
  // The frequency axis fits the readings in view.
  double f0 = std::numeric_limits<double>::infinity(), f1 = -f0;
  if (any)
    for (std::size_t i = s->firstAtOrAfter(view.x.lo), end = s->firstAtOrAfter(view.x.hi); i < end; ++i) {
      f0 = std::min(f0, static_cast<double>((*s)[i].hz));
      f1 = std::max(f1, static_cast<double>((*s)[i].hz));
    }
  a.y2 = std::isfinite(f0) ? padded(f0, f1, 100, 0.08) : Range{43500, 44700};
  if (any) {
    const TimeSample& last = s->back();
    a.subtitle = QStringLiteral("Last reading %1 mA at %2 Hz; %3 reading%4")
                     .arg(last.mA)
                     .arg(last.hz)
                     .arg(s->size())
                     .arg(s->size() == 1 ? "" : "s");
    if (!d.note.isEmpty()) a.subtitle += QStringLiteral("; ") + d.note;
  }

  p.save();
  PlotFrame f = drawFrame(p, rect, a, c);
  p.setClipRect(f.area);
  if (!any) {
    emptyNote(p, f, c, QStringLiteral("No readings yet: timed logging, tracking and sequence runs draw here."));
  } else {
    // One column per device pixel: on a high-DPI screen as sharp as it can be.
    const double dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const int columns = std::max(1, static_cast<int>(std::ceil(f.area.width() * dpr)));
    const auto current = thinMinMax(*s, view.x.lo, view.x.hi, columns, SampleValue::Current);
    const auto frequency = thinMinMax(*s, view.x.lo, view.x.hi, columns, SampleValue::Frequency);
    const double gapMs = gapThresholdMs(*s);
    drawLines(p, thinLines(f, frequency, columns, *a.y2, gapMs), c.frequency, 1.3, columns, false);
    drawLines(p, thinLines(f, current, columns, view.y, gapMs), c.current, 1.5, columns, true);
  }
  p.restore();
  return f;
}

}  // namespace tavrin
