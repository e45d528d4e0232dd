#include "qt/arrow_button.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tavrin {

ArrowButton::ArrowButton(ArrowDirection direction, std::function<void()> onPress,
                         std::function<void()> onRelease, QWidget* parent)
    : QWidget(parent), direction_(direction), onPress_(std::move(onPress)), onRelease_(std::move(onRelease)) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ArrowButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  paintArrowButton(p, rect(), direction_, held_, isEnabled());
}

void ArrowButton::mousePressEvent(QMouseEvent* e) {
  e->accept();
  // Any button holds the arrow; a second button while one is down does not
  // start a second, nested stepping loop.
  if (held_) return;
  held_ = true;
  update();
  if (onPress_) onPress_();  // returns when the stepping loop has ended
}

void ArrowButton::mouseReleaseEvent(QMouseEvent* e) {
  e->accept();
  // Qt sends the release to the pressed widget even when the pointer has been
  // dragged off it, so a hold always ends here.
  endHold();
}

void ArrowButton::endHold() {
  if (!held_) return;
  held_ = false;
  update();
  if (onRelease_) onRelease_();
}

void ArrowButton::detach() {
  onPress_ = nullptr;
  onRelease_ = nullptr;
}

void ArrowButton::changeEvent(QEvent* e) {
  // A disabled widget receives no mouse events, so its release would be lost.
  if (e->type() == QEvent::EnabledChange && !isEnabled()) endHold();
  if (e->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(e);
}

void ArrowButton::hideEvent(QHideEvent* e) {
  endHold();
  QWidget::hideEvent(e);
}

}  // namespace tavrin
