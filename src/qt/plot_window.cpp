#include "qt/plot_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>
#include <system_error>
#include <utility>
#include <vector>

#include "plot/csv.h"
#include "qt/plot_canvas.h"
#include "qt/plot_file.h"
#include "shell/program.h"

namespace tavrin {

namespace {

QString hz(double v) { return QString::number(std::lround(v)) + QStringLiteral(" Hz"); }
QString mA(double v) { return QString::number(v, 'f', std::abs(v) < 10 ? 1 : 0) + QStringLiteral(" mA"); }

// The size it opens at, and the room between the two windows' frames.
constexpr QSize kPreferredSize(960, 780);
constexpr int kGap = 8;

QMargins frameMargins(const QWidget& w) {
  const QRect f = w.frameGeometry(), g = w.geometry();
  return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

QSize grown(QSize s, const QMargins& m) { return s + QSize(m.left() + m.right(), m.top() + m.bottom()); }

std::filesystem::path pathOf(const QString& file) { return pathFromUtf8(file.toStdString()); }

// Each key with what it does, kept on one line when the bar wraps.
QLabel* keyHint() {
  QStringList said;
  for (const char* k : {"Drag: zoom", "right-drag: pan", "wheel, +, \u2212: zoom", "double-click, Home, A: fit",
                        "right-click: menu", "Ctrl+S: save image", "Ctrl+E: CSV of the view under the pointer",
                        "Esc: drop a box, or close", "Ctrl+W: close"})
    said << QString::fromUtf8(k).replace(' ', QChar(0xa0));
  auto* hint = new QLabel(said.join(QStringLiteral("\u00a0\u00a0\u00b7  ")));
  hint->setWordWrap(true);
  hint->setForegroundRole(QPalette::PlaceholderText);
  return hint;
}

}  // namespace

QPoint mainWindowStart(QSize main, const QRect& available, QSize plot) {
  plot = plot.boundedTo(available.size());
  const int width = main.width() + kGap + plot.width(), height = std::max(main.height(), plot.height());
  return {available.left() + std::max(0, (available.width() - width) / 2),
          available.top() + std::max(0, (available.height() - height) / 2)};
}

QRect plotWindowPlace(const QRect& main, const QRect& available, QSize preferred, QSize least) {
  const QRect& a = available;
  // The bands beside the main window, edges included: right, left, below, above.
  const int edges[4][4] = {{main.right() + 1 + kGap, a.top(), a.right(), a.bottom()},
                           {a.left(), a.top(), main.left() - 1 - kGap, a.bottom()},
                           {a.left(), main.bottom() + 1 + kGap, a.right(), a.bottom()},
                           {a.left(), a.top(), a.right(), main.top() - 1 - kGap}};
  int best = 0;
  long long bestArea = -1;
  bool bestFits = false;
  for (int i = 0; i < 4; ++i) {
    const int w = std::max(0, edges[i][2] - edges[i][0] + 1), h = std::max(0, edges[i][3] - edges[i][1] + 1);
    const bool fits = w >= least.width() && h >= least.height();
    const long long area = static_cast<long long>(std::min(w, preferred.width())) * std::min(h, preferred.height());
    if ((fits && !bestFits) || (fits == bestFits && area > bestArea)) {
      best = i;
      bestArea = area;
      bestFits = fits;
    }
  }
  const int* e = edges[best];
  QSize size = preferred.boundedTo(QSize(e[2] - e[0] + 1, e[3] - e[1] + 1));
  if (!bestFits) size = size.expandedTo(least).boundedTo(a.size());
  // Against the main window; along it, in line with its edge.
  int x = best == 0 ? e[0] : best == 1 ? e[2] + 1 - size.width() : main.left();
  int y = best == 2 ? e[1] : best == 3 ? e[3] + 1 - size.height() : main.top();
  x = std::clamp(x, a.left(), std::max(a.left(), a.right() + 1 - size.width()));
  y = std::clamp(y, a.top(), std::max(a.top(), a.bottom() + 1 - size.height()));
  return {QPoint(x, y), size};
}

PlotWindow::PlotWindow(Program& program, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), program_(program), main_(mainWindow) {
  setWindowTitle(QStringLiteral("Tavrin - Plot"));
  if (main_) setWindowIcon(main_->windowIcon());
  time_.series = &series_;

  sweepCanvas_ = new PlotCanvas(
      [this] { return autoscale(sweep_); },
      [this](QPainter& p, const QRectF& r, const AxesView& v, const PlotColors& c) {
        // Worked out when drawn, not for every reading: a long sweep has
        // thousands, and paints come at most once a frame.
        if (figuresStale_) sweep_.figures = resonanceFigures(sweep_.points);
        figuresStale_ = false;
        return drawSweepPlot(p, r, sweep_, v, c);
      },
      [](const PlotFrame& f, QPointF px) {
        const QPointF d = f.toData(px);
        return hz(d.x()) + QStringLiteral("   ") + mA(d.y());
      });
  timeCanvas_ = new PlotCanvas(
      [this] { return autoscale(time_); },
      [this](QPainter& p, const QRectF& r, const AxesView& v, const PlotColors& c) { return drawTimePlot(p, r, time_, v, c); },
      [](const PlotFrame& f, QPointF px) {
        const QPointF d = f.toData(px);
        const double unit = f.timeUnitMs;
        const QString t = QString::number(d.x() / unit, 'f', unit == 1e3 ? 1 : 2) +
                          (unit == 1e3 ? QStringLiteral(" s") : unit == 60e3 ? QStringLiteral(" min") : QStringLiteral(" h"));
        return t + QStringLiteral("   ") + mA(d.y()) + QStringLiteral("   ") + hz(f.y2At(px.y()));
      });

  auto* split = new QSplitter(Qt::Vertical);
  split->addWidget(sweepCanvas_);
  split->addWidget(timeCanvas_);
  split->setChildrenCollapsible(true);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  QLabel* hint = keyHint();
  status_ = new QLabel;
  status_->setTextFormat(Qt::PlainText);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->hide();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(split, 1);
  for (QLabel* line : {status_, hint}) {
    line->setContentsMargins(6, 2, 6, 4);
    layout->addWidget(line);
  }
  resize(kPreferredSize);
  wireKeys();

  program_.current.onReading = [this](const CurrentSample& s) { reading(s); };
  program_.sweep.onStepsBegin = [this](const SweepPlan& plan, const std::string& log) { sweepBegins(plan, log); };
  program_.sweep.onEnd = [this] { sweepEnds(); };
}

void PlotWindow::wireKeys() {
  const std::pair<QKeySequence, std::function<void()>> keys[] = {
      {Qt::Key_Escape, [this] { close(); }},
      {QKeySequence::Close, [this] { close(); }},
      {Qt::CTRL | Qt::Key_S, [this] { saveImage(); }},
      {Qt::CTRL | Qt::Key_E, [this] { exportCsv(pointedView()); }}};
  for (const auto& [key, act] : keys) connect(new QShortcut(key, this), &QShortcut::activated, this, act);
  for (PlotCanvas* view : {sweepCanvas_, timeCanvas_})
    view->onMenu = [this, view](QPoint at) { showMenu(view, at); };
  if (!main_) return;
  // On the main window, where it adds nothing to see: a shortcut only.
  auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), main_);
  connect(open, &QShortcut::activated, this, &PlotWindow::openByOperator);
  // Beside the main window from the start, where the screen has room for both.
  if (!main_->isVisible() && !main_->testAttribute(Qt::WA_Moved) && main_->screen())
    main_->move(mainWindowStart(main_->frameGeometry().size(), main_->screen()->availableGeometry(), kPreferredSize));
}

PlotWindow::~PlotWindow() {
  program_.current.onReading = nullptr;
  program_.sweep.onStepsBegin = nullptr;
  program_.sweep.onEnd = nullptr;
}

void PlotWindow::openByOperator() {
  closedByOperator_ = false;
  handBack_ = false;
  setAttribute(Qt::WA_ShowWithoutActivating, false);
  showPlaced();
  raise();
  activateWindow();
}

void PlotWindow::showPlaced() {
  if (isVisible()) return;
  if (!geometry_.isEmpty())
    restoreGeometry(geometry_);
  else
    placeBeside();
  show();
}

bool PlotWindow::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate && handBack_) {
    handBack_ = false;
    main_->activateWindow();
  }
  return QWidget::event(e);
}

void PlotWindow::closeEvent(QCloseEvent* e) {
  closedByOperator_ = true;
  geometry_ = saveGeometry();
  e->accept();
}

// Before it was ever shown its frame is not known: the main window's stands in.
void PlotWindow::placeBeside() {
  const QScreen* screen = main_ ? main_->screen() : nullptr;
  if (!screen) return;
  const QMargins own = frameMargins(*this), frame = own.isNull() ? frameMargins(*main_) : own;
  const QRect place = plotWindowPlace(main_->frameGeometry(), screen->availableGeometry(), grown(kPreferredSize, frame),
                                      grown(minimumSizeHint(), frame));
  move(place.topLeft());
  resize(place.size().shrunkBy(frame));
}

void PlotWindow::sweepBegins(const SweepPlan& plan, const std::string& log) {
  if (!sweep_.points.empty()) sweep_.previous = std::move(sweep_.points);
  sweep_.points.clear();
  sweep_.figures = {};
  figuresStale_ = false;
  sweep_.result.clear();
  const double last = static_cast<double>(plan.start) + static_cast<double>(plan.stepCount) * plan.step;
  sweep_.planned = Range{static_cast<double>(plan.start), last};
  sweep_.title = QStringLiteral("Sweep %1 to %2 Hz in %3 Hz steps   %4")
                     .arg(plan.start)
                     .arg(last, 0, 'f', 0)
                     .arg(std::abs(plan.step))
                     .arg(QString::fromStdString(log));
  collecting_ = true;
  sweepCanvas_->fit();
  sweepLog_ = log;
  if (!closedByOperator_ && !isVisible()) {
    // Beside the main window, without taking its keyboard: the operator's
    // Enter and keys still go where they went.
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    // A window system that activates it anyway gets the main window
    // activated back, if it does so at once.
    handBack_ = main_ && main_->isActiveWindow();
    showPlaced();
    QTimer::singleShot(500, this, [this] { handBack_ = false; });
  }
}

void PlotWindow::reading(const CurrentSample& s) {
  if (collecting_ && !program_.form.SweepRunning) collecting_ = false;  // a sweep that never ended
  if (collecting_) {
    sweep_.points.push_back({static_cast<double>(s.hz), static_cast<double>(s.mA), s.poutTenths / 10.0});
    figuresStale_ = true;
    sweepCanvas_->dataChanged();
  } else if (!program_.form.SweepRunning) {
    // The offset reading of a sweep is taken with the drive disabled: not a
    // reading of the running motor.
    series_.push({s.ms, s.hz, s.mA, s.poutTenths});
    timeCanvas_->dataChanged();
  }
}

void PlotWindow::sweepEnds() {
  if (!collecting_) return;
  collecting_ = false;
  sweep_.planned.reset();
  sweep_.result = QString::fromStdString(program_.form.Info.text);
  sweep_.figures = resonanceFigures(sweep_.points);
  figuresStale_ = false;
  sweepCanvas_->dataChanged();
}

// ---- saving and exporting ----

PlotCanvas* PlotWindow::pointedView() const {
  for (PlotCanvas* view : {sweepCanvas_, timeCanvas_})
    if (view->hasPointer()) return view;
  return timeCanvas_->hasFocus() ? timeCanvas_ : sweepCanvas_;
}

void PlotWindow::showMenu(PlotCanvas* view, QPoint at) {
  QMenu menu(this);
  QAction* save = menu.addAction(QStringLiteral("save image\u2026\tCtrl+S"));
  QAction* csv = menu.addAction(QStringLiteral("export CSV\u2026\tCtrl+E"));
  QAction* fit = menu.addAction(QStringLiteral("fit\tHome"));
  QAction* chosen = menu.exec(at);
  if (chosen == save) saveImage();
  if (chosen == csv) exportCsv(view);
  if (chosen == fit) view->fit();
}

QString PlotWindow::chooseFile(const QString& title, const QString& name, const QStringList& filters) {
  if (folder_.isEmpty()) {
    // First where the log goes.
    const auto log = program_.setup().paths.map(program_.form.LogFileName.text).parent_path();
    std::error_code ec;
    folder_ = std::filesystem::is_directory(log, ec) ? QString::fromStdString(utf8FromPath(log)) : QDir::homePath();
  }
  // Qt's own dialog, as for the log file: the same on every desktop.
  QFileDialog dialog(this, title, folder_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  // A name typed without its ending takes the chosen kind's.
  auto suffixOf = [](const QString& filter) { return filter.section(QStringLiteral("*."), 1).section(')', 0, 0); };
  dialog.setDefaultSuffix(suffixOf(filters.front()));
  connect(&dialog, &QFileDialog::filterSelected, &dialog,
          [&dialog, suffixOf](const QString& f) { dialog.setDefaultSuffix(suffixOf(f)); });
  dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QString file = dialog.selectedFiles().front();
  folder_ = QFileInfo(file).absolutePath();
  return file;
}

void PlotWindow::report(bool ok, const QString& file, const std::string& error, const QString& done) {
  if (ok) {
    status_->setText(done);
    status_->show();
    return;
  }
  QMessageBox box(QMessageBox::Warning, windowTitle(),
                  QStringLiteral("Cannot write %1: %2").arg(file, QString::fromStdString(error)), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

QString PlotWindow::logStem() const {
  if (sweepLog_.empty()) return {};
  return QString::fromStdString(utf8FromPath(program_.setup().paths.map(sweepLog_).stem()));
}

void PlotWindow::saveImage() {
  const QString stem = logStem();
  const QString file = chooseFile(QStringLiteral("Save the plot"), (stem.isEmpty() ? QStringLiteral("plot") : stem) + ".png",
                                  {QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG image (*.svg)")});
  if (file.isEmpty()) return;
  if (!isPlotImageName(pathOf(file)))
    return report(false, file, "the image's name must end in .png or .svg", {});
  std::vector<PlotCanvas*> shown;
  QSize size(0, 0);
  for (PlotCanvas* view : {sweepCanvas_, timeCanvas_})
    if (view->isVisible() && view->height() > 0) {
      shown.push_back(view);
      size = QSize(std::max(size.width(), view->width()), size.height() + view->height());
    }
  std::string error;
  const bool ok = writePlotImage(pathOf(file), size, devicePixelRatioF(), windowTitle(), [&](QPainter& p) {
    double y = 0;
    for (PlotCanvas* view : shown) {
      view->drawInto(p, QRectF(0, y, size.width(), view->height()), PlotColors::light());
      y += view->height();
    }
  }, error);
  report(ok, file, error, QStringLiteral("Saved %1").arg(file));
}

void PlotWindow::exportCsv(PlotCanvas* view) {
  const bool sweep = view == sweepCanvas_;
  const std::size_t readings = sweep ? sweep_.points.size() : series_.size();
  if (readings == 0) {
    status_->setText(sweep ? QStringLiteral("The sweep view holds no readings: nothing to export.")
                           : QStringLiteral("The time view holds no readings: nothing to export."));
    status_->show();
    return;
  }
  const QString stem = logStem();
  const QString name = (sweep && !stem.isEmpty() ? stem : QStringLiteral("readings")) + QStringLiteral(".csv");
  const QString file = chooseFile(sweep ? QStringLiteral("Export the sweep") : QStringLiteral("Export the readings"),
                                  name, {QStringLiteral("CSV for spreadsheets (*.csv)")});
  if (file.isEmpty()) return;
  if (!isCsvName(pathOf(file))) return report(false, file, "the name must end in .csv", {});
  std::vector<std::string> about{sweep ? sweep_.title.toStdString() : "time_s counts from the program's start"};
  if (sweep && !sweep_.result.isEmpty()) about.push_back(sweep_.result.toStdString());
  std::string error;
  const bool ok = writeTextFile(pathOf(file), sweep ? sweepCsv(sweep_.points, about) : timeCsv(series_, about), error);
  report(ok, file, error,
         QStringLiteral("Exported %1 reading%2 to %3").arg(readings).arg(readings == 1 ? "" : "s", file));
}

}  // namespace tavrin
