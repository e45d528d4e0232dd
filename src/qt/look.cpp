#include "qt/look.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

QStringList candidates(const std::string& family) {
  const QString f = QString::fromStdString(family);
  // Arial-width faces first: they are closest in width to MS Sans Serif.
  if (f == QLatin1String("MS Sans Serif"))
    return {"Microsoft Sans Serif", "MS Sans Serif", "Liberation Sans", "Arimo", "Arial", "Helvetica",
            "DejaVu Sans", "Noto Sans"};
  if (f == QLatin1String("Verdana")) return {"Verdana", "DejaVu Sans", "Bitstream Vera Sans", "Noto Sans"};
  return {f, "DejaVu Sans", "Liberation Sans"};
}

int minimumSize(const QFont& font) {
  return std::max(6, static_cast<int>(std::ceil(font.pixelSize() * 0.75)));
}

}  // namespace

int pixelSize(double pointSize) { return static_cast<int>(std::lround(pointSize * 96.0 / 72.0)); }

QFont qtFont(const FontSpec& wanted) {
  QFont font;
  for (const QString& family : candidates(wanted.family)) {
    if (QFontDatabase::hasFamily(family)) {
      font.setFamily(family);
      break;
    }
  }
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize(wanted.pointSize));
  font.setBold(wanted.bold);
  return font;
}

QColor qtColor(Rgb c) { return QColor(c.r, c.g, c.b); }

QColor disabledText(const QColor& fore, const QColor& back) {
  return QColor((fore.red() + back.red()) / 2, (fore.green() + back.green()) / 2, (fore.blue() + back.blue()) / 2);
}

double contrastRatio(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QFont fitWidth(QFont font, const QString& text, int width) {
  if (QFontMetrics(font).horizontalAdvance(text) <= width) return font;
  // A condensed cut of the same face reads better than a smaller size.
  QFont condensed = font;
  condensed.setStretch(QFont::SemiCondensed);
  if (QFontMetrics(condensed).horizontalAdvance(text) < QFontMetrics(font).horizontalAdvance(text)) font = condensed;
  const int floor = minimumSize(font);
  while (font.pixelSize() > floor && QFontMetrics(font).horizontalAdvance(text) > width)
    font.setPixelSize(font.pixelSize() - 1);
  return font;
}

QFont fitHeight(QFont font, int height) {
  const int floor = minimumSize(font);
  while (font.pixelSize() > floor && QFontMetrics(font).height() > height) font.setPixelSize(font.pixelSize() - 1);
  return font;
}

}  // namespace tavrin
