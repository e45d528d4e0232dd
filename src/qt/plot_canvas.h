// One plot on screen: draws through the functions of plot_drawing and lets the
// operator look closer. Left-drag a box to zoom into it, right- or
// middle-drag to pan, the wheel zooms about the pointer, a double-click or
// Home fits the data again; a right click without a drag (or the menu key)
// asks for the menu. The values under the pointer are shown in the plot's
// corner. While nobody has zoomed, the plot follows its data.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "qt/plot_drawing.h"

namespace tavrin {

class PlotCanvas : public QWidget {
 public:
  using Autoscale = std::function<AxesView()>;
  using Draw = std::function<PlotFrame(QPainter&, const QRectF&, const AxesView&, const PlotColors&)>;
  // The read-out for a point of the plot, e.g. "44112 Hz  231 mA".
  using Readout = std::function<QString(const PlotFrame&, QPointF pixel)>;

  PlotCanvas(Autoscale autoscale, Draw draw, Readout readout, QWidget* parent = nullptr);

  // New data: followed when fitting, redrawn either way. Cheap: the fit is
  // worked out when the plot is drawn (or asked for), not for every reading.
  void dataChanged();
  // Back to fitting the data.
  void fit();
  bool fitting() const { return fitting_; }
  const AxesView& view();

  QSize sizeHint() const override { return {800, 340}; }

  // Draws what the view shows, without the pointer's cross, e.g. into an image.
  void drawInto(QPainter& p, const QRectF& rect, const PlotColors& colors);
  // The pointer is over the plot (it has moved there and not left).
  bool hasPointer() const { return pointer_.has_value(); }
  // Called with the place for the menu, in screen coordinates.
  std::function<void(QPoint)> onMenu;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  void zoomAbout(QPointF pixel, double factor);
  // Takes a view the operator zoomed or panned to, unless it is beyond what
  // doubles tell apart.
  void zoomTo(const AxesView& next);

  Autoscale autoscale_;
  Draw draw_;
  Readout readout_;
  AxesView view_;
  bool fitting_ = true;
  bool stale_ = true;  // data came since the fit was worked out
  PlotFrame frame_;  // of the last paint
  std::optional<QPointF> pointer_;
  std::optional<QPointF> boxStart_, panStart_;
  bool panning_ = false;  // the right or middle button has moved far enough to pan
  AxesView panView_;
};

}  // namespace tavrin
