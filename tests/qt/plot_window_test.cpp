// The plot window beside the real window, offscreen, on the simulated board: a sweep opens it without taking the
// keyboard and fills it reading by reading (its offset reading kept out), the mouse zooms and the menu fits, Ctrl+S
// and Ctrl+E write what the file dialog names, the operator's close holds until Ctrl+P puts it back where it was,
// other readings go to the time view. Where the windows go on a bench screen at two scales, and the time view's gap.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "cli/session.h"
#include "qt/main_window.h"
#include "qt/plot_canvas.h"
#include "qt/plot_drawing.h"
#include "qt/plot_window.h"
#include "qt/qt_toolkit.h"

namespace tavrin {
namespace {

// Runs on the next file dialog, from inside its own event loop: the name is accepted as typed into it.
void answerFileDialog(const QString& name) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, name] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->deleteLater();
    poll->stop();
    dialog->selectFile(name);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own, as its Save button runs it
  });
  poll->start(5);
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PlotWindow, FollowsSweepsAndReadingsAndOpensByASweepUnlessClosedOrByCtrlP) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  Options options;
  options.backend.board = "sim";
  options.driveRoot = root.path().toStdString();
  QtToolkit toolkit;
  Session session(options, toolkit);
  ASSERT_TRUE(session.ok()) << session.error();
  Program& program = session.program();
  Mainform& f = program.form;
  MainWindow window(program, toolkit);
  PlotWindow plot(program, &window);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.load();
  EXPECT_FALSE(plot.isVisible());
  EXPECT_EQ(plot.series().size(), 1u);  // start-up's reading

  // 44000 to 44400 Hz in 100 Hz steps, 10 ms a step.
  for (auto [c, text] : {std::pair{&f.TxtSteptime, "10"}, {&f.TxtSwpStart, "44000"}, {&f.TxtSwpStop, "44400"},
                         {&f.TxtSwpStep, "100"}})
    f.setText(*c, text);
  ASSERT_TRUE(program.sweep.run());
  EXPECT_TRUE(plot.isVisible());
  EXPECT_EQ(QApplication::activeWindow(), &window);
  ASSERT_EQ(plot.sweep().points.size(), 5u);
  EXPECT_EQ(plot.sweep().points.front().hz, 44000);
  EXPECT_EQ(plot.sweep().points.back().hz, 44400);
  EXPECT_EQ(plot.series().size(), 1u);  // the offset, read with the drive off, is no reading of the motor
  EXPECT_EQ(plot.sweep().result.toStdString(), f.Info.text);
  EXPECT_EQ(plot.sweep().figures.maxHz, f.MaxCurrentFreq);

  // Box zoom with the mouse, then the right click's menu fits the data again. (The test's screen, 800 x 600, leaves
  // no room beside the main window: the plot window is made larger for the mouse.)
  plot.resize(900, 700);
  PlotCanvas* canvas = plot.sweepCanvas();
  QApplication::processEvents();
  const QPoint a(canvas->width() * 2 / 5, canvas->height() / 3), b(canvas->width() * 3 / 5, canvas->height() * 2 / 3);
  const AxesView fitted = canvas->view();
  QTest::mousePress(canvas, Qt::LeftButton, {}, a);
  QTest::mouseRelease(canvas, Qt::LeftButton, {}, b);
  EXPECT_FALSE(canvas->fitting());
  EXPECT_GT(canvas->view().x.lo, fitted.x.lo);
  EXPECT_LT(canvas->view().x.hi, fitted.x.hi);
  QStringList entries;
  QTimer::singleShot(50, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* entry : menu->actions()) entries << entry->text();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().back()).center());
  });
  QTest::mousePress(canvas, Qt::RightButton, {}, a);
  QTest::mouseRelease(canvas, Qt::RightButton, {}, a);
  EXPECT_EQ(entries.join('|'), "save image\u2026\tCtrl+S|export CSV\u2026\tCtrl+E|fit\tHome");
  EXPECT_TRUE(canvas->fitting());

  // Ctrl+S saves the views as the name chosen says (SVG here), Ctrl+E the readings of the view under the pointer,
  // each through its file dialog.
  plot.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&plot));
  QTest::mousePress(canvas, Qt::LeftButton, {}, a);
  QTest::keyClick(canvas, Qt::Key_Escape);  // drops the box; the window stays
  QTest::mouseRelease(canvas, Qt::LeftButton, {}, b);
  EXPECT_TRUE(plot.isVisible() && canvas->fitting());
  answerFileDialog(root.filePath("plot.svg"));
  QTest::keyClick(&plot, Qt::Key_S, Qt::ControlModifier);
  plot.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&plot));
  QTest::mouseMove(plot.timeCanvas());
  answerFileDialog(root.filePath("time.csv"));
  QTest::keyClick(&plot, Qt::Key_E, Qt::ControlModifier);
  EXPECT_TRUE(readAll(root.filePath("plot.svg")).contains("<svg"));
  EXPECT_EQ(readAll(root.filePath("time.csv")).count("\r\n"), 3);  // header, start-up's reading, the comment
  // The sweep view's rows are its log's reading lines.
  plot.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&plot));
  QTest::mouseMove(plot.sweepCanvas());
  answerFileDialog(root.filePath("sweep"));  // the ending comes from the dialog's kind
  QTest::keyClick(&plot, Qt::Key_E, Qt::ControlModifier);
  QByteArray readings;
  for (const QByteArray& line : readAll(root.filePath("C/stator-1.txt")).split('\n'))
    if (line.startsWith("1.3,")) readings += line + '\n';
  EXPECT_TRUE(readings.count('\n') == 5 && readAll(root.filePath("sweep.csv")).contains(readings)) << readings.data();

  // Closed by the operator, it stays closed through the next sweep, which keeps this one as the previous, and
  // comes back where the operator left it.
  plot.move(plot.pos() + QPoint(30, 20));
  const QPoint left = plot.pos();
  plot.close();
  ASSERT_TRUE(program.sweep.run());
  EXPECT_FALSE(plot.isVisible());
  EXPECT_EQ(plot.sweep().previous.size(), 5u);
  // Ctrl+P with the focus in a filtered box of the main window opens it, and types nothing.
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto* box = qobject_cast<QLineEdit*>(window.widgetFor(f.txtFrekvens_DDS1));
  box->setFocus();
  const std::string before = f.txtFrekvens_DDS1.text;
  QTest::keyClick(box, Qt::Key_P, Qt::ControlModifier);
  EXPECT_TRUE(plot.isVisible());
  EXPECT_EQ(f.txtFrekvens_DDS1.text, before);
  EXPECT_EQ(plot.pos(), left);

  program.current.ReadCurrent(false);
  EXPECT_EQ(plot.series().size(), 2u);
  EXPECT_EQ(plot.series().back().hz, f.ReadingFreq);
}

// A 1600 x 1000 screen at scale 1 and 1.5 (1067 x 667 logical pixels): the windows open side by side inside it, neither
// over the other; a main window the operator put right of the middle gets the plot on its left.
TEST(PlotPlacement, BesideTheMainWindowInsideTheScreenAtAnyScale) {
  const QSize main(737, 511), plot(962, 808), least(300, 480);
  for (const QRect screen : {QRect(0, 0, 1600, 1000), QRect(0, 0, 1067, 667)}) {
    const QRect m(mainWindowStart(main, screen, plot), main), p = plotWindowPlace(m, screen, plot, least);
    EXPECT_TRUE(screen.contains(m) && screen.contains(p) && !p.intersects(m)) << screen.width();
    EXPECT_EQ(p.left(), m.right() + 9);
    EXPECT_GE(p.width(), least.width());
  }
  const QRect screen(0, 30, 1600, 970), m(QPoint(700, 300), main), p = plotWindowPlace(m, screen, plot, least);
  EXPECT_TRUE(screen.contains(p) && p.right() < m.left() && p.height() == plot.height());
}

// Start-up's reading, then tracking an hour later: no line across the hour between them, only the grid's grey.
TEST(PlotDrawing, TimeViewLeavesAGapWhereTheReadingsStop) {
  TimeSeries s;
  s.push({0, 44000, 40});
  for (int i = 0; i < 200; ++i) s.push({3600e3 + i * 500.0, 44100 + i % 3 * 50, 60 + i % 5});
  const TimePlotData d{&s, {}, {}};
  QImage image(800, 400, QImage::Format_RGB32);
  QPainter p(&image);
  const PlotFrame f = drawTimePlot(p, image.rect(), d, autoscale(d), PlotColors::light());
  p.end();
  for (double ms : {0.0, 1800e3, 3700e3}) {
    const int x = static_cast<int>(f.toPixel(ms, 0).x());
    int coloured = 0;
    for (int y = static_cast<int>(f.area.top()) + 1; y < f.area.bottom(); ++y)
      coloured += std::abs(qRed(image.pixel(x, y)) - qBlue(image.pixel(x, y))) > 24;
    EXPECT_EQ(coloured > 0, ms != 1800e3) << ms;
  }
}

}  // namespace
}  // namespace tavrin
