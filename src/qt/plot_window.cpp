#include "qt/plot_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "qt/plot_canvas.h"
#include "shell/program.h"

namespace tavrin {

namespace {

QString hz(double v) { return QString::number(std::lround(v)) + QStringLiteral(" Hz"); }
QString mA(double v) { return QString::number(v, 'f', std::abs(v) < 10 ? 1 : 0) + QStringLiteral(" mA"); }

}  // namespace

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
  auto* hint = new QLabel(QStringLiteral("Drag a box to zoom  \u00b7  right-drag to pan  \u00b7  wheel zooms  \u00b7  "
                                         "double-click or Home fits the data  \u00b7  Esc closes"));
  hint->setContentsMargins(6, 2, 6, 4);
  hint->setForegroundRole(QPalette::PlaceholderText);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(split, 1);
  layout->addWidget(hint);
  resize(960, 780);

  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  auto* closeW = new QShortcut(QKeySequence::Close, this);
  connect(closeW, &QShortcut::activated, this, &QWidget::close);
  if (main_) {
    // On the main window, where it adds nothing to see: a shortcut only.
    auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), main_);
    connect(open, &QShortcut::activated, this, &PlotWindow::openByOperator);
  }

  program_.current.onReading = [this](const CurrentSample& s) { reading(s); };
  program_.sweep.onStepsBegin = [this](const SweepPlan& plan, const std::string& log) { sweepBegins(plan, log); };
  program_.sweep.onEnd = [this] { sweepEnds(); };
}

PlotWindow::~PlotWindow() {
  program_.current.onReading = nullptr;
  program_.sweep.onStepsBegin = nullptr;
  program_.sweep.onEnd = nullptr;
}

void PlotWindow::openByOperator() {
  closedByOperator_ = false;
  handBack_ = false;
  placeBeside();
  setAttribute(Qt::WA_ShowWithoutActivating, false);
  show();
  raise();
  activateWindow();
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
  e->accept();
}

// To the right of the main window when the screen has room, else where the
// window system puts it. Once: after that it stays where the operator moved it.
void PlotWindow::placeBeside() {
  if (placed_ || !main_) return;
  placed_ = true;
  const QRect m = main_->frameGeometry();
  const QScreen* screen = main_->screen();
  if (!screen) return;
  const QRect free = screen->availableGeometry();
  const int x = m.right() + 8;
  if (x + width() <= free.right()) move(x, std::max(free.top(), m.top()));
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
  if (!closedByOperator_ && !isVisible()) {
    // Beside the main window, without taking its keyboard: the operator's
    // Enter and keys still go where they went.
    placeBeside();
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    // A window system that activates it anyway gets the main window
    // activated back, if it does so at once.
    handBack_ = main_ && main_->isActiveWindow();
    show();
    QTimer::singleShot(500, this, [this] { handBack_ = false; });
  }
}

void PlotWindow::reading(const CurrentSample& s) {
  if (collecting_ && !program_.form.SweepRunning) collecting_ = false;  // a sweep that never ended
  if (collecting_) {
    sweep_.points.push_back({static_cast<double>(s.hz), static_cast<double>(s.mA)});
    figuresStale_ = true;
    sweepCanvas_->dataChanged();
  } else if (!program_.form.SweepRunning) {
    // The offset reading of a sweep is taken with the drive disabled: not a
    // reading of the running motor.
    series_.push({s.ms, s.hz, s.mA});
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

}  // namespace tavrin
