#include "graph/chartrenderer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

QColor ToQColor(Colour c) {
  const Colour r = ResolveColour(c);
  return QColor(static_cast<int>(RedOf(r)), static_cast<int>(GreenOf(r)), static_cast<int>(BlueOf(r)));
}

}  // namespace

void ChartRenderer::Draw(QPainter& p, QSize size, const ChartModel& model) {
  const ChartLook& look = model.look;
  const int w = size.width();
  const int h = size.height();
  p.fillRect(0, 0, w, h, ToQColor(look.border));

  QFont titleFont(QString::fromStdString(look.titleFont.name));
  titleFont.setPointSize(look.titleFont.pointSize);
  p.setFont(titleFont);
  p.setPen(ToQColor(look.titleFont.colour));
  const int titleHeight = p.fontMetrics().height();
  p.drawText(QRect(0, h / 100 + 2, w, titleHeight), Qt::AlignHCenter | Qt::AlignTop,
             QString::fromStdString(look.title));

  const QRect plot(w / 10, h / 100 + titleHeight + 6, w - w / 10 - w / 100 - 2,
                   h - (h / 100 + titleHeight + 6) - h * 4 / 100 - 20);
  if (plot.width() <= 0 || plot.height() <= 0) return;
  p.fillRect(plot, ToQColor(look.back));

  const double xMin = model.bottom.Min();
  const double xSpan = std::max(model.bottom.Max() - xMin, 1e-9);
  const double yMin = model.left.Min();
  const double ySpan = std::max(model.left.Max() - yMin, 1e-9);
  auto X = [&](double i) { return plot.left() + (i - xMin) / xSpan * plot.width(); };
  auto Y = [&](double v) { return plot.bottom() - (v - yMin) / ySpan * plot.height(); };

  p.save();
  p.setClipRect(plot);
  const PlotData& d = model.data;
  const std::size_t first = static_cast<std::size_t>(std::max(0.0, std::floor(xMin)));
  const std::size_t last = static_cast<std::size_t>(std::max(0.0, std::ceil(model.bottom.Max()) + 1));
  for (std::size_t i = std::max<std::size_t>(first, 1); i < std::min(last, d.PingCount()); ++i) {
    p.setPen(ToQColor(d.Ping(i).colour));
    p.drawLine(QPointF(X(static_cast<double>(i - 1)), Y(d.Ping(i - 1).value)),
               QPointF(X(static_cast<double>(i)), Y(d.Ping(i).value)));
  }
  if (model.averageShown) {
    for (std::size_t i = std::max<std::size_t>(first, 1); i < std::min(last, d.AverageCount()); ++i) {
      p.setPen(ToQColor(d.Average(i).colour));
      const double x0 = X(static_cast<double>(i - 1)), x1 = X(static_cast<double>(i));
      const double y0 = Y(d.Average(i - 1).value), y1 = Y(d.Average(i).value);
      p.drawLine(QPointF(x0, y0), QPointF(x1, y0));
      p.drawLine(QPointF(x1, y0), QPointF(x1, y1));
    }
  }
  p.restore();
}

QImage ChartRenderer::Render(QSize size, const ChartModel& model) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  Draw(painter, size, model);
  return image;
}

}  // namespace quorvel
