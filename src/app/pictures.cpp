#include "app/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace quorvel {

namespace {

// Every picture is drawn on a 24 x 24 grid (the style pictures 36 x 24) and
// scaled to the size asked for.
constexpr double kGrid = 24.0;

const QColor kOutline(40, 40, 40);

void Sheet(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kOutline, 1.0));
  p.setBrush(Qt::white);
  p.drawRect(r);
}

void DrawStart(QPainter& p) {
  QPolygonF triangle;
  triangle << QPointF(6, 3.5) << QPointF(20.5, 12) << QPointF(6, 20.5);
  QLinearGradient fill(0, 3, 0, 21);
  fill.setColorAt(0, QColor(90, 200, 90));
  fill.setColorAt(1, QColor(20, 130, 30));
  p.setPen(QPen(QColor(10, 90, 20), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(fill);
  p.drawPolygon(triangle);
}

void DrawStop(QPainter& p) {
  QLinearGradient fill(0, 4, 0, 20);
  fill.setColorAt(0, QColor(235, 90, 80));
  fill.setColorAt(1, QColor(170, 20, 20));
  p.setPen(QPen(QColor(120, 10, 10), 1.2));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
}

void DrawClear(QPainter& p) {
  Sheet(p, QRectF(3.5, 3.5, 17, 17));
  p.setPen(QPen(QColor(0, 0, 220), 1.4));
  p.drawPolyline(QPolygonF() << QPointF(5, 15) << QPointF(9, 9) << QPointF(12, 13)
                             << QPointF(15, 7) << QPointF(19, 11));
  p.setPen(QPen(QColor(200, 0, 0), 2.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(12, 12), QPointF(21, 21));
  p.drawLine(QPointF(21, 12), QPointF(12, 21));
}

void DrawCamera(QPainter& p, const QColor& body) {
  p.setPen(QPen(kOutline, 1.0));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(2.5, 7.5, 19, 13), 2, 2);
  p.drawRect(QRectF(8.5, 4.5, 7, 3));
  p.setBrush(QColor(210, 225, 245));
  p.drawEllipse(QPointF(12, 14), 4.2, 4.2);
  p.setBrush(QColor(60, 80, 120));
  p.drawEllipse(QPointF(12, 14), 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 210, 60));
  p.drawRect(QRectF(17.5, 9.5, 2.5, 2));
}

void DrawCopy(QPainter& p) {
  Sheet(p, QRectF(3.5, 3.5, 11, 14));
  Sheet(p, QRectF(9.5, 7.5, 11, 14));
  p.setPen(QPen(QColor(120, 120, 120), 1.0));
  for (double y = 11.5; y < 20; y += 2.5) p.drawLine(QPointF(11.5, y), QPointF(18.5, y));
}

void DrawPrint(QPainter& p) {
  Sheet(p, QRectF(6.5, 2.5, 11, 8));
  p.setPen(QPen(kOutline, 1.0));
  p.setBrush(QColor(150, 155, 165));
  p.drawRoundedRect(QRectF(2.5, 9.5, 19, 8), 1.5, 1.5);
  Sheet(p, QRectF(6.5, 14.5, 11, 7));
  p.setPen(QPen(QColor(120, 120, 120), 1.0));
  p.drawLine(QPointF(8.5, 17), QPointF(15.5, 17));
  p.drawLine(QPointF(8.5, 19), QPointF(13.5, 19));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 200, 60));
  p.drawEllipse(QPointF(18.5, 12), 1, 1);
}

void DrawHelp(QPainter& p) {
  QRadialGradient fill(QPointF(9, 8), 14);
  fill.setColorAt(0, QColor(110, 160, 255));
  fill.setColorAt(1, QColor(20, 60, 190));
  p.setPen(QPen(QColor(10, 40, 140), 1.0));
  p.setBrush(fill);
  p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  font.setPixelSize(15);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, kGrid, kGrid), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawCaptureActive(QPainter& p) {
  DrawCamera(p, QColor(90, 95, 105));
  p.setPen(QPen(Qt::white, 1.0));
  p.setBrush(QColor(230, 20, 20));
  p.drawEllipse(QPointF(18, 6), 4.5, 4.5);
}

// The style pictures: a small chart on white, 36 x 24.
void StyleFrame(QPainter& p) { Sheet(p, QRectF(0.5, 0.5, 35, 23)); }

const QPointF kZigzag[] = {{3, 18}, {9, 8}, {15, 14}, {21, 5}, {27, 12}, {33, 9}};

void DrawLine(QPainter& p) {
  StyleFrame(p);
  p.setPen(QPen(QColor(0, 0, 230), 1.5));
  p.drawPolyline(kZigzag, 6);
}

void DrawFilled(QPainter& p) {
  StyleFrame(p);
  QPolygonF area;
  area << QPointF(3, 22);
  for (const QPointF& point : kZigzag) area << point;
  area << QPointF(33, 22);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 230));
  p.drawPolygon(area);
}

void DrawSteps(QPainter& p) {
  StyleFrame(p);
  QPolygonF steps;
  steps << kZigzag[0];
  for (int i = 1; i < 6; ++i) {
    steps << QPointF(kZigzag[i].x(), kZigzag[i - 1].y()) << kZigzag[i];
  }
  p.setPen(QPen(QColor(0, 0, 230), 1.5));
  p.drawPolyline(steps);
}

void DrawRamp(QPainter& p) {
  StyleFrame(p);
  p.setPen(QPen(QColor(0, 0, 230), 1.5));
  p.drawPolyline(kZigzag, 6);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 230));
  for (const QPointF& point : kZigzag) p.drawEllipse(point, 1.6, 1.6);
}

// A small graph on white: a blue ping line with one red lost ping.
void DrawProgram(QPainter& p) {
  p.setPen(QPen(QColor(20, 40, 110), 1.0));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(1.5, 2.5, 21, 19), 2.5, 2.5);
  p.setPen(QPen(QColor(170, 170, 170), 0.8, Qt::DotLine));
  for (double y = 8; y < 20; y += 5) p.drawLine(QPointF(3, y), QPointF(21, y));
  p.setPen(QPen(QColor(0, 0, 230), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF() << QPointF(3.5, 16) << QPointF(7, 13) << QPointF(10, 15)
                             << QPointF(13, 11));
  p.setPen(QPen(QColor(220, 0, 0), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(13, 11), QPointF(16, 5));
  p.setPen(QPen(QColor(0, 0, 230), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF() << QPointF(16, 5) << QPointF(18, 14) << QPointF(20.5, 12));
}

bool IsStylePicture(Picture picture) {
  return picture == Picture::Line || picture == Picture::Filled || picture == Picture::Steps ||
         picture == Picture::Ramp;
}

}  // namespace

QPixmap PicturePixmap(Picture picture, int size) {
  const double gridWidth = IsStylePicture(picture) ? 36.0 : kGrid;
  const int width = static_cast<int>(std::lround(size * gridWidth / kGrid));
  QPixmap pixmap(width, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  DrawPicture(p, picture, size);
  return pixmap;
}

void DrawPicture(QPainter& p, Picture picture, double size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.scale(size / kGrid, size / kGrid);
  switch (picture) {
    case Picture::Start: DrawStart(p); break;
    case Picture::Stop: DrawStop(p); break;
    case Picture::Clear: DrawClear(p); break;
    case Picture::Capture: DrawCamera(p, QColor(150, 155, 165)); break;
    case Picture::Copy: DrawCopy(p); break;
    case Picture::Print: DrawPrint(p); break;
    case Picture::Help: DrawHelp(p); break;
    case Picture::CaptureActive: DrawCaptureActive(p); break;
    case Picture::Line: DrawLine(p); break;
    case Picture::Filled: DrawFilled(p); break;
    case Picture::Steps: DrawSteps(p); break;
    case Picture::Ramp: DrawRamp(p); break;
    case Picture::Program: DrawProgram(p); break;
  }
  p.restore();
}

QIcon PictureIcon(Picture picture) {
  QIcon icon;
  icon.addPixmap(PicturePixmap(picture, 24));
  icon.addPixmap(PicturePixmap(picture, 48));
  if (picture == Picture::Program) {
    icon.addPixmap(PicturePixmap(picture, 16));
    icon.addPixmap(PicturePixmap(picture, 32));
  }
  return icon;
}

}  // namespace quorvel
