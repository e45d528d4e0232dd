#include "qt/plot_file.h"

#include <QFont>
#include <QImage>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/escape.h"
#include "qt/plot_drawing.h"

namespace tavrin {

namespace {

std::string lowerSuffix(const std::filesystem::path& path) {
  std::string s = path.extension().string();
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void paint(QPainter& p, const LogContents& log, const std::string& name, const TimeSeries& series) {
  QFont font = p.font();
  font.setPixelSize(15);
  p.setFont(font);
  const QRectF rect(0, 0, kPlotImageWidth, kPlotImageHeight);
  const PlotColors colors = PlotColors::light();
  // The name and the log's own texts escaped, as on a terminal: a control
  // character is no part of a picture (nor of an SVG's XML).
  QString title = QString::fromStdString(escapedName(name));
  if (!log.dateTime.empty()) title += QStringLiteral("   ") + QString::fromStdString(escapedText(log.dateTime));
  if (log.isSweep()) {
    SweepPlotData d;
    d.points = log.sweepPoints();
    d.figures = resonanceFigures(d.points);
    d.title = title;
    d.result = QString::fromStdString(escapedText(log.result));
    drawSweepPlot(p, rect, d, autoscale(d), colors);
  } else {
    TimePlotData d{&series, title,
                   QStringLiteral("the log holds no times: readings taken as %1 ms apart").arg(log.intervalOrDefaultMs())};
    drawTimePlot(p, rect, d, autoscale(d), colors);
  }
}

}  // namespace

bool isPlotImageName(const std::filesystem::path& path) {
  const std::string s = lowerSuffix(path);
  return s == ".png" || s == ".svg";
}

bool isCsvName(const std::filesystem::path& path) { return lowerSuffix(path) == ".csv"; }

std::string plotNameBeside(const std::string& logName) {
  std::string name = logName;
  if (name.size() >= 4) {
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (tail == ".txt") name.resize(name.size() - 4);
  }
  return name + ".png";
}

bool writePlotImage(const std::filesystem::path& out, QSize size, double pixelRatio, const QString& title,
                    const std::function<void(QPainter&)>& paint, std::string& error) {
  QSaveFile file(QString::fromStdString(out.string()));
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString().toStdString();
    return false;
  }
  bool drawn = false;
  if (lowerSuffix(out) == ".svg") {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(title);
    QPainter p;
    drawn = p.begin(&svg);
    if (drawn) {
      paint(p);
      drawn = p.end();
    }
  } else {
    QImage image(size * pixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    QPainter p(&image);
    paint(p);
    p.end();
    drawn = image.save(&file, "PNG");
  }
  if (!drawn) {
    file.cancelWriting();
    error = file.errorString().isEmpty() ? "the image could not be drawn" : file.errorString().toStdString();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString().toStdString();
    return false;
  }
  return true;
}

bool writeLogPlot(const LogContents& log, const std::string& name, const std::filesystem::path& out,
                  std::string& error) {
  TimeSeries series(std::max<std::size_t>(1, log.readings.size()));
  for (std::size_t i = 0; i < log.readings.size(); ++i) {
    const LogReading& r = log.readings[i];
    series.push({log.readingMs(i), static_cast<std::int32_t>(std::lround(r.hz)),
                 static_cast<std::int32_t>(std::lround(r.mA))});
  }
  return writePlotImage(out, QSize(kPlotImageWidth, kPlotImageHeight), 1, QString::fromStdString(escapedName(name)),
                        [&](QPainter& p) { paint(p, log, name, series); }, error);
}

bool writeTextFile(const std::filesystem::path& out, const std::string& text, std::string& error) {
  QSaveFile file(QString::fromStdString(out.string()));
  const bool ok = file.open(QIODevice::WriteOnly) &&
                  file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                  file.commit();
  if (!ok) error = file.errorString().toStdString();
  return ok;
}

void writeBatchPlot(const PathMapper& paths, const std::string& logName, std::ostream& err) {
  const std::string plotName = plotNameBeside(logName);
  std::string error;
  auto log = readLog(paths.map(logName), error);
  if (log && log->readings.empty()) error = "the log holds no readings";
  if (!error.empty() || !writeLogPlot(*log, logName, paths.map(plotName), error))
    err << "tavrin: the sweep's plot " << escapedName(plotName) << " was not written: " << error << std::endl;
}

}  // namespace tavrin
