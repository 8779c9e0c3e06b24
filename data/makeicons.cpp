// Writes the program's installed icons from the code that draws its window
// icon (src/app/pictures.cpp): quorvel.svg, quorvel-48.png, quorvel-256.png
// into the folder named by the only argument. Run at build time, headless.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

#include "app/pictures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) return 1;

  for (int size : {48, 256}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    quorvel::DrawPicture(painter, quorvel::Picture::Program, size);
    painter.end();
    if (!image.save(QStringLiteral("%1/quorvel-%2.png").arg(folder).arg(size), "PNG")) return 1;
  }

  // The vector form on the picture's own 24 x 24 grid.
  QSvgGenerator svg;
  svg.setFileName(folder + QStringLiteral("/quorvel.svg"));
  svg.setSize(QSize(24, 24));
  svg.setViewBox(QRect(0, 0, 24, 24));
  svg.setTitle(QStringLiteral("Quorvel"));
  svg.setDescription(QStringLiteral("A small graph: a blue ping line with one red lost ping"));
  QPainter painter;
  if (!painter.begin(&svg)) return 1;
  quorvel::DrawPicture(painter, quorvel::Picture::Program, 24);
  return painter.end() ? 0 : 1;
}
