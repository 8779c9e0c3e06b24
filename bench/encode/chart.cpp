#include "chart.h"

#include <random>

#include <QFont>
#include <QPainter>
#include <QPolygonF>

QImage DrawBenchChart(int width, int height, unsigned seed) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(image.rect(), QColor(212, 208, 200));
  QFont titleFont("Liberation Sans");
  titleFont.setPointSize(10);
  titleFont.setBold(true);
  QFont labelFont("Liberation Sans");
  labelFont.setPointSize(8);

  p.setFont(titleFont);
  p.setPen(Qt::black);
  p.drawText(QRect(0, 4, width, 20), Qt::AlignHCenter, "Ping - 127.0.0.1");

  const QRect plot(width / 10, 28, width - width / 10 - 12, height - 28 - 40);
  p.fillRect(plot, Qt::white);
  p.setPen(QColor(128, 128, 128));
  p.drawRect(plot.adjusted(-1, -1, 0, 0));

  // Dotted grid and axis labels.
  p.setFont(labelFont);
  QPen grid(QColor(128, 128, 128));
  grid.setStyle(Qt::DotLine);
  const int rows = 8, cols = 6;
  for (int i = 0; i <= rows; ++i) {
    const int y = plot.bottom() - i * plot.height() / rows;
    p.setPen(grid);
    if (i > 0 && i < rows) p.drawLine(plot.left(), y, plot.right(), y);
    p.setPen(Qt::black);
    p.drawText(QRect(0, y - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(i * 25));
  }
  for (int i = 0; i <= cols; ++i) {
    const int x = plot.left() + i * plot.width() / cols;
    p.setPen(grid);
    if (i > 0 && i < cols) p.drawLine(x, plot.top(), x, plot.bottom());
    p.setPen(Qt::black);
    p.drawText(QRect(x - 40, plot.bottom() + 4, 80, 16), Qt::AlignHCenter,
               QString("  14:%1:%2  ").arg(20 + i, 2, 10, QChar('0')).arg((i * 17) % 60, 2, 10, QChar('0')));
  }
  p.save();
  p.translate(12, plot.center().y());
  p.rotate(-90);
  p.drawText(QRect(-80, -8, 160, 16), Qt::AlignCenter, "Ping - milliseconds");
  p.restore();

  // Pings: a noisy line around 40 ms with spikes; lost pings in red at the top.
  std::mt19937 rng(seed);
  const int points = 120;
  QPolygonF ping, average;
  double sum = 0;
  for (int i = 0; i < points; ++i) {
    double v = 35 + static_cast<double>(rng() % 20);
    if (rng() % 17 == 0) v += 80;
    const bool lost = rng() % 40 == 0;
    if (lost) v = 200;
    sum += v;
    const double x = plot.left() + i * (plot.width() - 1.0) / (points - 1);
    ping << QPointF(x, plot.bottom() - v / 200.0 * plot.height());
    average << QPointF(x, plot.bottom() - sum / (i + 1) / 200.0 * plot.height());
  }
  p.setClipRect(plot);
  for (int i = 1; i < points; ++i) {
    const bool lostEnd = ping[i].y() <= plot.top() + 1 || ping[i - 1].y() <= plot.top() + 1;
    p.setPen(lostEnd ? QColor(255, 0, 0) : QColor(0, 0, 255));
    p.drawLine(ping[i - 1], ping[i]);
  }
  p.setPen(QColor(255, 0, 255));
  for (int i = 1; i < points; ++i) {
    p.drawLine(QPointF(average[i - 1].x(), average[i - 1].y()), QPointF(average[i].x(), average[i - 1].y()));
    p.drawLine(QPointF(average[i].x(), average[i - 1].y()), average[i]);
  }
  p.end();
  return image;
}
