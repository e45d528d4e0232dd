// tavrin-icon DIR: writes the program's icon for installing, as the desktop
// wants it: tavrin.svg and tavrin-SIZE.png for the usual sizes. Built and run
// at build time; needs no display.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>
#include <string>

#include "qt/drawings.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavrin-icon DIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]);

  QSvgGenerator svg;
  svg.setFileName(dir + QStringLiteral("/tavrin.svg"));
  svg.setSize(QSize(256, 256));
  svg.setViewBox(QRect(0, 0, 256, 256));
  svg.setTitle(QStringLiteral("Tavrin"));
  {
    QPainter p(&svg);
    p.setRenderHint(QPainter::Antialiasing, true);
    tavrin::paintIcon(p, QRectF(0, 0, 256, 256));
  }
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing, true);
      tavrin::paintIcon(p, QRectF(0, 0, side, side));
    }
    const QString name = dir + QStringLiteral("/tavrin-%1.png").arg(side);
    if (!image.save(name)) {
      std::fprintf(stderr, "tavrin-icon: cannot write %s\n", name.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
