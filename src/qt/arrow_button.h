// A press-and-hold arrow (imgUp, imgDown, PoutUp, PoutDown). A press runs the
// stepping loop inside the mouse-down event; the release, delivered by the
// nested event loops of the waits, ends it.
#pragma once

#include <QWidget>
#include <functional>

#include "qt/drawings.h"

namespace tavrin {

class ArrowButton : public QWidget {
 public:
  ArrowButton(ArrowDirection direction, std::function<void()> onPress, std::function<void()> onRelease,
              QWidget* parent);

  bool isHeld() const { return held_; }

  // Ends a hold whose mouse-up will never arrive (the window lost activation,
  // the arrow was disabled or hidden): the stepping loop must not run on with
  // nobody holding the button.
  void endHold();
  // Drops the handlers: the window behind them is going away.
  void detach();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  ArrowDirection direction_;
  std::function<void()> onPress_, onRelease_;
  bool held_ = false;
};

}  // namespace tavrin
