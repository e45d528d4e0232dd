// Fonts and colours of the window's models in Qt terms.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "form/control.h"

namespace tavrin {

// Point sizes are laid out for 96 dots per inch; pixel sizes keep the layout
// the same on every screen (9.75 pt is 13 px, 24 pt is 32 px).
int pixelSize(double pointSize);

// The model's font as a pixel-sized QFont. "MS Sans Serif" and Verdana are
// often absent (on Linux always): the nearest sans-serif that is installed
// stands in, chosen once here so the look does not depend on font-config rules.
QFont qtFont(const FontSpec& wanted);

QColor qtColor(Rgb c);
// Text of a disabled control drawn on `back`: halfway from `fore` to it.
QColor disabledText(const QColor& fore, const QColor& back);
// How far apart two colours are to the eye, as the web's accessibility
// guidelines measure it: 1 (the same) to 21 (black on white). Body text wants
// 4.5, large or bold text 3.
double contrastRatio(const QColor& a, const QColor& b);

// Takes a condensed cut of `font` if there is one, then shrinks it a pixel at
// a time, never below three quarters of its size, until `text` fits in
// `width` px. Used only where a substitute font runs
// wider than the box it was laid out for.
QFont fitWidth(QFont font, const QString& text, int width);
// Likewise until a line of the font fits in `height` px.
QFont fitHeight(QFont font, int height);

}  // namespace tavrin
