#include "qt/drawings.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>

namespace tavrin {

namespace {

// The 16-colour palette the arrows were drawn in: grey face, white highlight,
// dark grey shadow, black outer shadow.
const QColor kFace(192, 192, 192);
const QColor kHighlight(255, 255, 255);
const QColor kLight(223, 223, 223);
const QColor kShadow(128, 128, 128);
const QColor kDarkShadow(0, 0, 0);

void hLine(QPainter& p, int x1, int x2, int y, const QColor& c) {
  p.fillRect(QRect(QPoint(x1, y), QPoint(x2, y)), c);
}
void vLine(QPainter& p, int x, int y1, int y2, const QColor& c) {
  p.fillRect(QRect(QPoint(x, y1), QPoint(x, y2)), c);
}

// Two-pixel bevel: `tl1`/`br1` the outer edge, `tl2`/`br2` the inner one.
void bevel(QPainter& p, const QRect& r, const QColor& tl1, const QColor& br1, const QColor& tl2,
           const QColor& br2) {
  const int l = r.left(), t = r.top(), rt = r.right(), b = r.bottom();
  hLine(p, l, rt, b, br1);
  vLine(p, rt, t, b, br1);
  hLine(p, l, rt - 1, t, tl1);
  vLine(p, l, t, b - 1, tl1);
  hLine(p, l + 1, rt - 1, b - 1, br2);
  vLine(p, rt - 1, t + 1, b - 1, br2);
  hLine(p, l + 1, rt - 2, t + 1, tl2);
  vLine(p, l + 1, t + 1, b - 2, tl2);
}

// A solid triangle drawn row by row, so its edges are the crisp staircase of
// the old 16-colour icons: `base` px wide (odd, the tip sits on one pixel
// column), (base + 1) / 2 rows high, centred on (cx, cy).
void triangle(QPainter& p, int cx, int cy, int base, ArrowDirection direction, const QColor& color) {
  const int rows = (base + 1) / 2;
  const int top = cy - rows / 2;
  for (int i = 0; i < rows; ++i) {
    const int half = direction == ArrowDirection::Up ? i : rows - 1 - i;
    hLine(p, cx - half, cx + half, top + i, color);
  }
}

void paintStator(QPainter& p, const QRectF& r, bool withWave) {
  const QPointF c = r.center();
  const double s = std::min(r.width(), r.height());
  const double outer = s * 0.46, inner = s * 0.31, rotor = s * 0.24, shaft = s * 0.07;

  // Piezo ring under the stator (copper), then the toothed steel stator ring.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(184, 115, 51));
  p.drawEllipse(c, outer, outer);
  p.setBrush(QColor(150, 160, 172));
  p.drawEllipse(c, outer * 0.92, outer * 0.92);
  // The comb of teeth that carries the travelling wave.
  p.setPen(QPen(QColor(95, 105, 118), std::max(1.0, s / 40.0)));
  const int teeth = s >= 40 ? 24 : 12;
  for (int i = 0; i < teeth; ++i) {
    const double a = 2 * M_PI * i / teeth;
    p.drawLine(QPointF(c.x() + std::cos(a) * inner, c.y() + std::sin(a) * inner),
               QPointF(c.x() + std::cos(a) * outer * 0.92, c.y() + std::sin(a) * outer * 0.92));
  }
  // Rotor disc and shaft.
  p.setPen(QPen(QColor(40, 48, 60), std::max(1.0, s / 60.0)));
  p.setBrush(QColor(70, 90, 120));
  p.drawEllipse(c, rotor, rotor);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(225, 225, 230));
  p.drawEllipse(c, shaft, shaft);

  if (withWave) {
    QPainterPath wave;
    const double x0 = r.left() + s * 0.04, x1 = r.right() - s * 0.04, amp = s * 0.16;
    for (int i = 0; i <= 48; ++i) {
      const double x = x0 + (x1 - x0) * i / 48.0;
      const double y = c.y() - amp * std::sin(2 * M_PI * 1.5 * i / 48.0);
      if (i == 0)
        wave.moveTo(x, y);
      else
        wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 200, 0), std::max(1.5, s / 12.0), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wave);
  }
}

}  // namespace

void paintArrowButton(QPainter& p, const QRect& r, ArrowDirection direction, bool sunken, bool enabled) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(r, kFace);
  if (sunken)
    bevel(p, r, kDarkShadow, kHighlight, kShadow, kLight);
  else
    bevel(p, r, kHighlight, kDarkShadow, kLight, kShadow);

  int base = std::max(5, (r.width() * 15 / 32) | 1);
  int cx = r.left() + r.width() / 2, cy = r.top() + r.height() / 2;
  if (sunken) ++cx, ++cy;  // the face moves with the press, as a real button does
  if (enabled) {
    triangle(p, cx, cy, base, direction, kDarkShadow);
  } else {
    // Etched: a white copy one pixel down-right under a grey one.
    triangle(p, cx + 1, cy + 1, base, direction, kHighlight);
    triangle(p, cx, cy, base, direction, kShadow);
  }
  p.restore();
}

QPixmap motorPicture(const QSize& size) {
  QPixmap pm(size);
  pm.fill(QColor(250, 250, 250));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  paintStator(p, QRectF(QPointF(0, 0), QSizeF(size)), false);
  return pm;
}

QIcon windowIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64}) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    paintIcon(p, QRectF(0, 0, side, side));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

void paintIcon(QPainter& p, const QRectF& r) { paintStator(p, r, true); }

}  // namespace tavrin
