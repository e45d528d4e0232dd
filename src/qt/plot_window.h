// The plot window: a top-level window of its own beside the main window, the
// sweep view above the time view. It follows the program's readings and
// sweeps through their hooks; it never sends anything or changes the form.
// Ctrl+P in the main window opens it; a sweep opens it by itself unless the
// operator has closed it.
#pragma once

#include <QWidget>
#include <string>

#include "plot/time_series.h"
#include "qt/plot_drawing.h"

class QLabel;

namespace tavrin {

class PlotCanvas;
class Program;
struct CurrentSample;
struct SweepPlan;

class PlotWindow : public QWidget {
 public:
  // Hooks itself into the program's readings and sweeps until destroyed, and
  // puts Ctrl+P on `mainWindow`.
  PlotWindow(Program& program, QWidget* mainWindow);
  ~PlotWindow() override;

  // Ctrl+P: shows the window, raised and active; sweeps open it again.
  void openByOperator();

  // As drawn last; the figures are worked out when drawn.
  const SweepPlotData& sweep() const { return sweep_; }
  const TimeSeries& series() const { return series_; }
  PlotCanvas* sweepCanvas() const { return sweepCanvas_; }

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void sweepBegins(const SweepPlan& plan, const std::string& log);
  void reading(const CurrentSample& s);
  void sweepEnds();
  void placeBeside();

  Program& program_;
  QWidget* main_;
  SweepPlotData sweep_;
  TimeSeries series_;
  TimePlotData time_;
  PlotCanvas* sweepCanvas_ = nullptr;
  PlotCanvas* timeCanvas_ = nullptr;
  bool figuresStale_ = false;      // readings came since the figures were worked out
  bool collecting_ = false;        // the running sweep's readings go to the sweep view
  bool closedByOperator_ = false;  // then a sweep does not open the window
  bool placed_ = false;
  bool handBack_ = false;          // just opened by a sweep: the main window keeps the keyboard
};

}  // namespace tavrin
