// Pictures the window draws itself instead of loading image files: the
// press-and-hold arrow buttons, the motor picture and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRect>

class QPainter;

namespace tavrin {

enum class ArrowDirection { Up, Down };

// A classic raised grey button (light top-left edge, dark bottom-right edge)
// with a black triangle; sunken while held, with a greyed, etched triangle
// when disabled. Meant for 32 x 32 px; scales with `r`.
void paintArrowButton(QPainter& p, const QRect& r, ArrowDirection direction, bool sunken, bool enabled);

// A small stylised stator with its rotor, for the picture box of the motor band.
QPixmap motorPicture(const QSize& size);

// The window icon: the same stator with a drive wave across it.
QIcon windowIcon();
// The icon's picture in `r`, for icon files of any size or an SVG.
void paintIcon(QPainter& p, const QRectF& r);

}  // namespace tavrin
