#include "qt/plot_canvas.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tavrin {

PlotCanvas::PlotCanvas(Autoscale autoscale, Draw draw, Readout readout, QWidget* parent)
    : QWidget(parent), autoscale_(std::move(autoscale)), draw_(std::move(draw)), readout_(std::move(readout)) {
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(280, 150);
  // Read from a step or two away at the bench: a little larger than the desktop's text.
  QFont larger = font();
  larger.setPointSizeF(larger.pointSizeF() * 1.15);
  setFont(larger);
}

void PlotCanvas::dataChanged() {
  stale_ = true;
  update();
}

void PlotCanvas::fit() {
  fitting_ = true;
  dataChanged();
}

const AxesView& PlotCanvas::view() {
  if (fitting_ && stale_) view_ = autoscale_();
  stale_ = false;
  return view_;
}

void PlotCanvas::zoomTo(const AxesView& next) {
  auto usable = [](const Range& r, double scale) {
    return std::isfinite(r.lo) && std::isfinite(r.hi) && r.span() > 1e-9 * std::max(1.0, scale);
  };
  if (!usable(next.x, std::max(std::abs(next.x.lo), std::abs(next.x.hi))) ||
      !usable(next.y, std::max(std::abs(next.y.lo), std::abs(next.y.hi))))
    return;
  view_ = next;
  fitting_ = false;
  update();
}

void PlotCanvas::drawInto(QPainter& p, const QRectF& rect, const PlotColors& colors) {
  p.save();
  p.setFont(font());
  draw_(p, rect, view(), colors);
  p.restore();
}

bool PlotCanvas::event(QEvent* e) {
  // Esc while a box is dragged drops the box, before the window's Esc closes it.
  if (e->type() == QEvent::ShortcutOverride && boxStart_ && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
    e->accept();
    return true;
  }
  return QWidget::event(e);
}

void PlotCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const PlotColors colors = PlotColors::forPalette(palette());
  frame_ = draw_(p, rect(), view(), colors);
  const QRectF& area = frame_.area;
  p.setRenderHint(QPainter::Antialiasing, false);
  if (boxStart_ && pointer_) {
    QColor fill = colors.current;
    fill.setAlpha(40);
    p.setPen(QPen(colors.text, 0, Qt::DashLine));
    p.setBrush(fill);
    p.drawRect(QRectF(*boxStart_, *pointer_).normalized().intersected(area));
  }
  if (pointer_ && area.contains(*pointer_)) {
    // A thin cross at the pointer and its values in the lower right corner.
    p.setPen(QPen(colors.grid, 0, Qt::DotLine));
    p.drawLine(QPointF(pointer_->x(), area.top()), QPointF(pointer_->x(), area.bottom()));
    p.drawLine(QPointF(area.left(), pointer_->y()), QPointF(area.right(), pointer_->y()));
    const QString text = readout_(frame_, *pointer_);
    const QFontMetricsF fm(font());
    const QRectF box(area.right() - fm.horizontalAdvance(text) - 16, area.bottom() - fm.height() - 10,
                     fm.horizontalAdvance(text) + 10, fm.height() + 4);
    QColor back = colors.background;
    back.setAlpha(230);
    p.setPen(QPen(colors.grid, 0));
    p.setBrush(back);
    p.drawRect(box);
    p.setPen(colors.text);
    p.drawText(box, Qt::AlignCenter, text);
  }
}

void PlotCanvas::mousePressEvent(QMouseEvent* e) {
  const QPointF at = e->position();
  // A box starts inside the plot; a pan (or the menu's right click) anywhere.
  if (e->button() == Qt::LeftButton && frame_.area.contains(at)) {
    boxStart_ = at;
  } else if (e->button() == Qt::RightButton || e->button() == Qt::MiddleButton) {
    panStart_ = at;
    panView_ = view();
  }
}

void PlotCanvas::mouseMoveEvent(QMouseEvent* e) {
  pointer_ = e->position();
  if (panStart_ && !panning_ &&
      (*pointer_ - *panStart_).manhattanLength() >= QGuiApplication::styleHints()->startDragDistance()) {
    panning_ = true;
    setCursor(Qt::ClosedHandCursor);
  }
  if (panning_) {
    const double dx = (pointer_->x() - panStart_->x()) / frame_.area.width() * panView_.x.span();
    const double dy = (pointer_->y() - panStart_->y()) / frame_.area.height() * panView_.y.span();
    zoomTo({{panView_.x.lo - dx, panView_.x.hi - dx}, {panView_.y.lo + dy, panView_.y.hi + dy}});
  }
  update();
}

void PlotCanvas::mouseReleaseEvent(QMouseEvent* e) {
  if (boxStart_ && e->button() == Qt::LeftButton) {
    const QRectF box = QRectF(*boxStart_, e->position()).normalized().intersected(frame_.area);
    boxStart_.reset();
    // A click or a sliver is not a zoom.
    if (box.width() >= 5 && box.height() >= 5) {
      const QPointF a = frame_.toData(box.bottomLeft()), b = frame_.toData(box.topRight());
      zoomTo({{a.x(), b.x()}, {a.y(), b.y()}});
    }
  }
  if (panStart_ && (e->button() == Qt::RightButton || e->button() == Qt::MiddleButton)) {
    const bool click = !panning_ && e->button() == Qt::RightButton;
    panStart_.reset();
    panning_ = false;
    unsetCursor();
    if (click && onMenu) onMenu(e->globalPosition().toPoint());
  }
  update();
}

void PlotCanvas::mouseDoubleClickEvent(QMouseEvent*) {
  boxStart_.reset();
  fit();
}

void PlotCanvas::wheelEvent(QWheelEvent* e) {
  const double notches = e->angleDelta().y() / 120.0;
  if (notches == 0 || !frame_.area.contains(e->position())) return;
  zoomAbout(e->position(), std::pow(0.8, notches));
}

void PlotCanvas::zoomAbout(QPointF pixel, double factor) {
  const QPointF c = frame_.toData(pixel);
  auto scaled = [factor](Range r, double about) { return Range{about + (r.lo - about) * factor, about + (r.hi - about) * factor}; };
  zoomTo({scaled(view().x, c.x()), scaled(view().y, c.y())});
}

void PlotCanvas::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Home || e->key() == Qt::Key_A) {
    fit();
  } else if (e->key() == Qt::Key_Escape && boxStart_) {
    boxStart_.reset();
    update();
  } else if (e->key() == Qt::Key_Plus || e->key() == Qt::Key_Minus) {
    zoomAbout(frame_.area.center(), e->key() == Qt::Key_Plus ? 0.8 : 1.25);
  } else {
    QWidget::keyPressEvent(e);
  }
}

void PlotCanvas::leaveEvent(QEvent*) {
  pointer_.reset();
  update();
}

// A right click is a menu only when it does not pan: it opens on the release.
void PlotCanvas::contextMenuEvent(QContextMenuEvent* e) {
  if (e->reason() != QContextMenuEvent::Mouse && onMenu) onMenu(mapToGlobal(rect().center()));
  e->accept();
}

}  // namespace tavrin
