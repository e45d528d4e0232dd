// The plot window: a top-level window of its own beside the main window, the
// sweep view above the time view. It follows the program's readings and
// sweeps through their hooks; it never sends anything or changes the form.
// Ctrl+P in the main window opens it; a sweep opens it by itself unless the
// operator has closed it. Ctrl+S saves the views as an image, Ctrl+E the
// readings of the view under the pointer as CSV; a right click offers both
// and "fit".
#pragma once

#include <QByteArray>
#include <QRect>
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

// Places in the screen's available area, in its logical pixels (the scale
// factor already applied), of the windows' frames:
// The main window as the program opens: the pair of it and the plot window
// (at `plot`, or the screen's height) side by side, centred; when the pair
// is wider than the screen, the main window at its left edge.
QPoint mainWindowStart(QSize main, const QRect& available, QSize plot);
// The plot window beside the main window's frame `main`, never over it: in
// the widest band left beside it (right, left, below, above; the right one
// on a tie) where `least` fits, as large as `preferred` or the band; its top
// (or left) edge in line with the main window's where the screen allows.
// Only a screen with no band for `least` gets it over the main window, as
// little as it can.
QRect plotWindowPlace(const QRect& main, const QRect& available, QSize preferred, QSize least);

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
  PlotCanvas* timeCanvas() const { return timeCanvas_; }

  // Ctrl+S: the views as the window shows them (a view collapsed in the
  // splitter left out), in light colours, PNG or SVG by the name chosen.
  void saveImage();
  // Ctrl+E: the readings of a view as CSV, as tavrin-plot --csv writes them.
  void exportCsv(PlotCanvas* view);

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void sweepBegins(const SweepPlan& plan, const std::string& log);
  void reading(const CurrentSample& s);
  void sweepEnds();
  // Its keys and menus, and Ctrl+P on the main window, which goes where the
  // pair fits when the program opens.
  void wireKeys();
  void placeBeside();
  // Shown again where it was, or placed the first time.
  void showPlaced();
  // The view under the pointer, else the one with the keyboard, else the sweep view.
  PlotCanvas* pointedView() const;
  void showMenu(PlotCanvas* view, QPoint at);
  // A save dialog; the name chosen, or empty.
  QString chooseFile(const QString& title, const QString& name, const QStringList& filters);
  // `done` when the file was written; else why not, in a message box.
  void report(bool ok, const QString& file, const std::string& error, const QString& done);
  // The file name of the sweep's log without its ending (empty before a sweep).
  QString logStem() const;

  Program& program_;
  QWidget* main_;
  SweepPlotData sweep_;
  TimeSeries series_;
  TimePlotData time_;
  PlotCanvas* sweepCanvas_ = nullptr;
  PlotCanvas* timeCanvas_ = nullptr;
  QLabel* status_ = nullptr;
  std::string sweepLog_;  // the running or last sweep's log, as named
  QString folder_;        // where the last file was saved
  QByteArray geometry_;   // where the operator left it when closing it
  bool figuresStale_ = false;      // readings came since the figures were worked out
  bool collecting_ = false;        // the running sweep's readings go to the sweep view
  bool closedByOperator_ = false;  // then a sweep does not open the window
  bool handBack_ = false;          // just opened by a sweep: the main window keeps the keyboard
};

}  // namespace tavrin
