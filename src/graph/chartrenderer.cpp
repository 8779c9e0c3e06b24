#include "graph/chartrenderer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPoint>
#include <QPolygon>
#include <QString>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "graph/contrast.h"
#include "graph/distribution.h"
#include "graph/labelthinning.h"
#include "graph/precisescale.h"
#include "stats/runstatistics.h"
#include "graph/seriesstatistics.h"

namespace quorvel {

namespace {

constexpr int kLabelPixels = 9;        // character height of the axis labels
constexpr int kAxisTitlePixels = 11;   // the vertical-axis title, 8 points
constexpr int kTitleGap = 3;           // below the chart title
constexpr int kLabelGap = 3;           // between the plot and its axis labels
// Points far outside the plot are drawn clipped; their coordinates are held
// well inside what the rasteriser takes.
constexpr double kCoordinateLimit = 1e6;


// The colours of the series and marks as drawn: their own, or, while the
// chart follows the desktop's colours, made readable on its background (a
// blue line on a dark plot area lightens). Each colour is worked out once
// per drawing.
class SeriesColours {
 public:
  explicit SeriesColours(const ChartModel& model) {
    if (!model.palette) return;
    const Colour back = ResolveColour(model.palette->back);
    back_ = Rgb{static_cast<int>(RedOf(back)), static_cast<int>(GreenOf(back)),
                static_cast<int>(BlueOf(back))};
  }
  Colour operator()(Colour c) {
    if (!back_) return c;
    for (const auto& [from, to] : cache_) {
      if (from == c) return to;
    }
    const Colour r = ResolveColour(c);
    const Rgb readable = ReadableOn({static_cast<int>(RedOf(r)), static_cast<int>(GreenOf(r)),
                                     static_cast<int>(BlueOf(r))},
                                    *back_, kGraphicsContrast);
    const Colour drawn = RgbColour(static_cast<unsigned>(readable.r), static_cast<unsigned>(readable.g),
                                   static_cast<unsigned>(readable.b));
    cache_.emplace_back(c, drawn);
    return drawn;
  }

 private:
  std::optional<Rgb> back_;
  std::vector<std::pair<Colour, Colour>> cache_;
};

// `percent` % of `length`, to the nearest pixel.
int Percent(int length, int percent) { return (length * percent + 50) / 100; }

// Font sizes are points at 96 pixels per inch whatever the raster. A size
// beyond reason (from a hand-edited settings file) is held to 1000 points.
int PointsToPixels(int points) {
  points = std::clamp(points, -1000, 1000);
  return (points * 96 + (points < 0 ? -36 : 36)) / 72;
}

QFont ArialPixels(int pixels) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  return font;
}

int Pixel(double coordinate) {
  return static_cast<int>(
      std::lround(std::clamp(coordinate, -kCoordinateLimit, kCoordinateLimit)));
}

// Positions i of a series of n points with window.min <= i <= window.max.
struct IndexRange {
  std::size_t first = 1;
  std::size_t last = 0;
  bool Empty() const { return first > last; }
};

IndexRange WindowIndices(std::size_t n, const AxisRange& window) {
  IndexRange r;
  if (n == 0 || !(window.Max() >= 0)) return r;
  const double lo = std::ceil(std::max(window.Min(), 0.0));
  const double hi = std::min(std::floor(window.Max()), static_cast<double>(n - 1));
  if (!(lo <= hi)) return r;
  r.first = static_cast<std::size_t>(lo);
  r.last = static_cast<std::size_t>(hi);
  return r;
}

struct Layout {
  ChartGeometry geometry;
  QRect title;       // empty without a title
  int axisTitleX = 0;  // left edge of the vertical-axis title
  int labelTop = 0;  // top of the band of time labels
  LabelStep step;
  std::vector<double> values;  // the vertical-axis labels
  std::vector<PrecisePoint> precise;  // the Precise Scale view: the points it draws
  QFont labelFont = ArialPixels(kLabelPixels);
  QFont axisTitleFont = ArialPixels(kAxisTitlePixels);
  QFont titleFont;
};

Layout MakeLayout(QSize size, const ChartModel& model) {
  Layout l;
  l.titleFont = ToQFont(model.look.titleFont);
  const int w = size.width();
  const int h = size.height();
  // Inside the one-pixel bevel, less the margins.
  int left = 1 + Percent(w, 1);
  int top = 1 + Percent(h, 1);
  const int right = w - 1 - Percent(w, 1);
  int bottom = h - 1 - Percent(h, model.look.verticalLabels ? 1 : 4);

  if (!model.look.title.empty()) {
    const int height = QFontMetrics(l.titleFont).height();
    l.title = QRect(left, top, std::max(0, right - left), height);
    top += height + kTitleGap;
  }

  const QFontMetrics labels(l.labelFont);
  const int labelBand = model.look.verticalLabels
                            ? labels.horizontalAdvance(QString::fromStdString(PointLabel(0)))
                            : labels.height();
  bottom -= labelBand + kLabelGap;
  l.labelTop = bottom + kLabelGap;

  // The vertical axis: its labels depend on the plot height only.
  const int plotHeight = bottom - top;
  AxisMapping& y = l.geometry.left;
  y.min = model.left.Min();
  y.max = model.left.Max();
  y.from = top + Percent(plotHeight, 99);
  y.to = top + Percent(plotHeight, 1);
  if (model.precise && !model.distribution) {
    // The range fits the replies of the window and the one point before it.
    const IndexRange r = WindowIndices(model.data.PingCount(), model.bottom);
    if (!r.Empty()) l.precise = PrecisePoints(model.data, r.first > 0 ? r.first - 1 : 0, r.last);
    const PreciseRange fitted =
        FitPreciseRange(l.precise, model.averageShown, y.from - y.to, 2.0 * labels.height());
    y.min = fitted.min;
    y.max = fitted.max;
    l.step = fitted.step;
  } else {
    l.step = ValueLabelStep(y.max - y.min, y.from - y.to, 2.0 * labels.height());
  }
  l.values = ValueLabels(y.min, y.max, l.step);
  int labelWidth = 0;
  for (double v : l.values) {
    labelWidth = std::max(
        labelWidth,
        labels.horizontalAdvance(QString::fromStdString(FormatAxisValue(v, l.step.decimals))));
  }
  l.axisTitleX = left;
  if (!model.look.leftTitle.empty()) left += QFontMetrics(l.axisTitleFont).height() + kLabelGap;
  left += labelWidth + kLabelGap;

  l.geometry.plot = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
  const int plotWidth = right - left;
  AxisMapping& x = l.geometry.bottom;
  x.min = model.bottom.Min();
  x.max = model.bottom.Max();
  x.from = left + Percent(plotWidth, 1);
  x.to = left + Percent(plotWidth, 98);
  return l;
}

void DottedHorizontal(QPainter& p, int x0, int x1, int y) {
  std::vector<QPoint> dots;
  for (int x = x0; x <= x1; x += 2) dots.emplace_back(x, y);
  p.drawPoints(dots.data(), static_cast<int>(dots.size()));
}

void DottedVertical(QPainter& p, int x, int y0, int y1) {
  std::vector<QPoint> dots;
  for (int y = y0; y <= y1; y += 2) dots.emplace_back(x, y);
  p.drawPoints(dots.data(), static_cast<int>(dots.size()));
}

// One drawn time label.
struct TimeLabel {
  int x;
  QString text;
};

// Lines: segment i runs from point i - 1 to point i in point i's colour, as
// a ramp or as a step (across at the height of i - 1, then up or down).
template <typename PointAt>
void DrawLine(QPainter& p, const Layout& l, std::size_t n, const AxisRange& window,
              bool stairs, PointAt at) {
  const IndexRange r = WindowIndices(n, window);
  if (r.Empty()) return;
  const AxisMapping& bx = l.geometry.bottom;
  const AxisMapping& ly = l.geometry.left;
  QPen pen;
  pen.setWidth(1);
  for (std::size_t i = std::max<std::size_t>(r.first, 1); i <= r.last; ++i) {
    const auto [v0, c0] = at(i - 1);
    const auto [v1, c1] = at(i);
    (void)c0;
    const QPoint a(Pixel(bx.ToPixel(static_cast<double>(i - 1))), Pixel(ly.ToPixel(v0)));
    const QPoint b(Pixel(bx.ToPixel(static_cast<double>(i))), Pixel(ly.ToPixel(v1)));
    pen.setColor(ToQColor(c1));
    p.setPen(pen);
    if (stairs) {
      p.drawLine(a, QPoint(b.x(), a.y()));
      p.drawLine(QPoint(b.x(), a.y()), b);
    } else {
      p.drawLine(a, b);
    }
  }
}

// The area: below each segment down to the bottom end of the vertical axis,
// in the colour of the point the segment enters, without an outline.
template <typename PointAt>
void DrawArea(QPainter& p, const Layout& l, std::size_t n, const AxisRange& window, bool stairs,
              PointAt at) {
  const IndexRange r = WindowIndices(n, window);
  if (r.Empty()) return;
  const AxisMapping& bx = l.geometry.bottom;
  const AxisMapping& ly = l.geometry.left;
  const int base = Pixel(ly.from);
  p.setPen(Qt::NoPen);
  for (std::size_t i = std::max<std::size_t>(r.first, 1); i <= r.last; ++i) {
    const auto [v0, c0] = at(i - 1);
    const auto [v1, c1] = at(i);
    (void)c0;
    const int x0 = Pixel(bx.ToPixel(static_cast<double>(i - 1)));
    const int x1 = Pixel(bx.ToPixel(static_cast<double>(i)));
    const int y0 = Pixel(ly.ToPixel(v0));
    const QColor colour = ToQColor(c1);
    if (stairs) {
      p.fillRect(QRect(QPoint(x0, std::min(y0, base)), QPoint(x1, std::max(y0, base))), colour);
    } else {
      const int y1 = Pixel(ly.ToPixel(v1));
      p.setBrush(colour);
      // Filled up to and including the column of x1 and the row of the
      // axis end, like the steps.
      const QPoint corners[4] = {{x0, y0}, {x1 + 1, y1}, {x1 + 1, base + 1}, {x0, base + 1}};
      p.drawPolygon(corners, 4);
    }
  }
}

// The Precise Scale view's series: segments join consecutive replies only
// (a lost ping leaves a gap, and a red mark along the top edge), the
// average line is the running mean of the replies, always as steps.
void DrawPrecise(QPainter& p, const Layout& l, const ChartModel& model, SeriesColours& drawn) {
  const AxisMapping& bx = l.geometry.bottom;
  const AxisMapping& ly = l.geometry.left;
  const QRect plot = l.geometry.plot;
  const PlotData& d = model.data;
  const std::vector<PrecisePoint>& points = l.precise;
  auto at = [&](std::size_t index, double ms) {
    return QPoint(Pixel(bx.ToPixel(static_cast<double>(index))), Pixel(ly.ToPixel(ms)));
  };
  const int base = Pixel(ly.from);
  QPen pen;
  pen.setWidth(1);
  for (std::size_t k = 1; k < points.size(); ++k) {
    const PrecisePoint& a = points[k - 1];
    const PrecisePoint& b = points[k];
    if (!a.replyMs || !b.replyMs) continue;
    const QPoint from = at(a.index, *a.replyMs);
    const QPoint to = at(b.index, *b.replyMs);
    const QColor colour = ToQColor(drawn(d.Ping(b.index).colour));
    if (model.areaShown) {
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      if (model.stairs) {
        p.fillRect(QRect(QPoint(from.x(), std::min(from.y(), base)), QPoint(to.x(), base)), colour);
      } else {
        const QPoint corners[4] = {from, {to.x() + 1, to.y()}, {to.x() + 1, base + 1}, {from.x(), base + 1}};
        p.drawPolygon(corners, 4);
      }
    }
    if (model.lineShown) {
      pen.setColor(colour);
      p.setPen(pen);
      if (model.stairs) {
        p.drawLine(from, QPoint(to.x(), from.y()));
        p.drawLine(QPoint(to.x(), from.y()), to);
      } else {
        p.drawLine(from, to);
      }
    }
  }
  // A lost ping: a red mark hanging from the top edge.
  if (model.lineShown || model.areaShown) {
    const int height = std::max(4, plot.height() / 25);
    for (const PrecisePoint& point : points) {
      if (point.replyMs) continue;
      const int x = Pixel(bx.ToPixel(static_cast<double>(point.index)));
      p.fillRect(QRect(x - 1, plot.top(), 3, height), ToQColor(drawn(kRed)));
    }
  }
  if (model.averageShown) {
    for (std::size_t k = 1; k < points.size(); ++k) {
      const PrecisePoint& a = points[k - 1];
      const PrecisePoint& b = points[k];
      // The average series' own colour at that moment: its point k - 1
      // belongs to ping k.
      if (!a.averageMs || !b.averageMs || b.index == 0 || b.index - 1 >= d.AverageCount()) continue;
      pen.setColor(ToQColor(drawn(d.Average(b.index - 1).colour)));
      p.setPen(pen);
      const QPoint from = at(a.index, *a.averageMs);
      const QPoint to = at(b.index, *b.averageMs);
      p.drawLine(from, QPoint(to.x(), from.y()));
      p.drawLine(QPoint(to.x(), from.y()), to);
    }
  }
}

// Where alerts were raised (orange) and cleared (green): a line across the
// plot with a small flag at its top. Only the marks of the window are
// visited.
void DrawAlertMarks(QPainter& p, const Layout& l, const ChartModel& model, SeriesColours& drawn) {
  const std::vector<AlertMark>& marks = model.alertMarks;
  if (marks.empty() || !(model.bottom.Max() >= 0)) return;
  const double from = std::ceil(std::max(model.bottom.Min(), 0.0));
  auto it = std::lower_bound(marks.begin(), marks.end(), from, [](const AlertMark& m, double v) {
    return static_cast<double>(m.point) < v;
  });
  const QRect plot = l.geometry.plot;
  for (; it != marks.end() && static_cast<double>(it->point) <= model.bottom.Max(); ++it) {
    const QColor colour = ToQColor(drawn(it->raised ? kAlertRaisedColour : kAlertClearedColour));
    const int x = Pixel(l.geometry.bottom.ToPixel(static_cast<double>(it->point)));
    p.setPen(colour);
    p.drawLine(x, plot.top(), x, plot.bottom());
    p.setBrush(colour);
    const QPoint flag[3] = {{x, plot.top()}, {x + 6, plot.top() + 3}, {x, plot.top() + 6}};
    p.drawPolygon(flag, 3);
  }
}

// The distribution view below the title (which ends at `top`): one bar per
// group of reply times, equal widths side by side, the lost pings in red at
// the right after a gap, counts on the vertical axis, the bars' edges in
// milliseconds below them.
void DrawDistribution(QPainter& p, QSize size, const ChartModel& model, int top) {
  const ChartLook look = model.DrawnLook();
  const Distribution dist = MakeDistribution(model.figures.Run().Histogram(), model.figures.Run().Lost());
  const QFont labelFont = ArialPixels(kLabelPixels);
  const QFont axisTitleFont = ArialPixels(kAxisTitlePixels);
  const QFontMetrics fm(labelFont);
  const QFontMetrics tm(axisTitleFont);
  const int w = size.width();
  const int h = size.height();
  int left = 1 + Percent(w, 1);
  const int right = w - 1 - Percent(w, 1);
  int bottom = h - 1 - Percent(h, 1) - tm.height() - kLabelGap;
  const int axisTitleTop = bottom + kLabelGap;
  bottom -= fm.height() + kLabelGap;
  const int labelTop = bottom + kLabelGap;

  AxisMapping y;
  y.min = 0;
  y.max = static_cast<double>(std::max<std::uint64_t>(dist.tallest, 1));
  const int plotHeight = bottom - top;
  y.from = top + Percent(plotHeight, 99);
  y.to = top + Percent(plotHeight, 5);
  LabelStep step = ValueLabelStep(y.max, y.from - y.to, 2.0 * fm.height());
  if (step.step < 1) step = {1, 0};  // counts are whole numbers
  const std::vector<double> values = ValueLabels(0, y.max, step);
  int labelWidth = 0;
  for (double v : values) {
    labelWidth = std::max(labelWidth,
                          fm.horizontalAdvance(QString::fromStdString(FormatAxisValue(v, 0))));
  }
  const int axisTitleX = left;
  left += tm.height() + kLabelGap + labelWidth + kLabelGap;
  const QRect plot(QPoint(left, top), QPoint(right - 1, bottom - 1));
  if (plot.width() <= 0 || plot.height() <= 0) return;
  p.fillRect(plot, ToQColor(look.back));

  const std::size_t slotCount = dist.bars.size() + (dist.lost > 0 ? 2 : 0);
  const double slot = slotCount ? static_cast<double>(plot.width()) / static_cast<double>(slotCount) : 0;
  auto slotX = [&](std::size_t i) { return plot.left() + Pixel(slot * static_cast<double>(i)); };

  p.setPen(ToQColor(look.grid));
  for (double v : values) {
    const int yy = Pixel(y.ToPixel(v));
    if (yy >= plot.top() && yy <= plot.bottom()) DottedHorizontal(p, plot.left(), plot.right(), yy);
  }
  auto bar = [&](std::size_t i, std::uint64_t count, Colour colour) {
    if (count == 0) return;
    // A pixel of gap on each side, but never less than a pixel of bar.
    const int x0 = slotX(i) + 1;
    const int x1 = std::max(x0, slotX(i + 1) - 2);
    const int top0 = Pixel(y.ToPixel(static_cast<double>(count)));
    p.fillRect(QRect(QPoint(x0, top0), QPoint(x1, Pixel(y.from))), ToQColor(colour));
  };
  SeriesColours drawn(model);
  for (std::size_t i = 0; i < dist.bars.size(); ++i) bar(i, dist.bars[i].count, drawn(model.barColour));
  if (dist.lost > 0) bar(slotCount - 1, dist.lost, drawn(kRed));

  p.setPen(ToQColor(look.axesText));
  p.setFont(labelFont);
  for (double v : values) {
    const int yy = Pixel(y.ToPixel(v));
    const QString label = QString::fromStdString(FormatAxisValue(v, 0));
    const int width = fm.horizontalAdvance(label);
    p.drawText(QRect(plot.left() - kLabelGap - width, yy - fm.height() / 2, width, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, label);
  }
  LabelThinning thinning;
  for (std::size_t i = 0; i <= dist.bars.size() && !dist.bars.empty(); ++i) {
    const std::int64_t edge = i < dist.bars.size() ? dist.bars[i].fromMicros : dist.bars[i - 1].toMicros;
    const QString label = QString::fromStdString(EdgeLabel(edge));
    const int width = fm.horizontalAdvance(label);
    const int x = slotX(i);
    if (!thinning.Take(x, width)) continue;
    // Centred on its edge, but never past the right end of the chart.
    const int labelLeft = std::min(x - width / 2, w - 2 - width);
    p.drawText(QRect(labelLeft, labelTop, width, fm.height()), Qt::AlignCenter, label);
  }
  if (dist.lost > 0) {
    const QString label = QStringLiteral("lost");
    const int width = fm.horizontalAdvance(label);
    const int x = (slotX(slotCount - 1) + slotX(slotCount)) / 2;
    p.drawText(QRect(x - width / 2, labelTop, width, fm.height()), Qt::AlignCenter, label);
  }

  p.setFont(axisTitleFont);
  const QString across = QString::fromLatin1(kDistributionAxisTitle);
  p.drawText(QRect(plot.left(), axisTitleTop, plot.width(), tm.height()), Qt::AlignCenter, across);
  const QString up = QStringLiteral("Pings");
  const int upWidth = tm.horizontalAdvance(up);
  p.save();
  p.translate(axisTitleX, (plot.top() + plot.bottom()) / 2);
  p.rotate(-90);
  p.drawText(QRect(-upWidth / 2, 0, upWidth, tm.height()), Qt::AlignCenter, up);
  p.restore();
}

}  // namespace

ChartGeometry ChartRenderer::Geometry(QSize size, const ChartModel& model) {
  return MakeLayout(size, model).geometry;
}

void ChartRenderer::Draw(QPainter& p, QSize size, const ChartModel& model) {
  const int w = size.width();
  const int h = size.height();
  if (w <= 0 || h <= 0) return;
  const ChartLook look = model.DrawnLook();
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);

  // The flat panel with its lowered one-pixel bevel.
  p.fillRect(0, 0, w, h, ToQColor(look.border));
  // The desktop's own colours, when followed, draw the bevel in the grid's.
  p.setPen(ToQColor(model.palette ? model.palette->grid : kSystemColourFlag | 16u));  // button shadow
  p.drawLine(0, 0, w - 1, 0);
  p.drawLine(0, 0, 0, h - 1);
  p.setPen(ToQColor(model.palette ? model.palette->grid : kSystemColourFlag | 20u));  // button highlight
  p.drawLine(0, h - 1, w - 1, h - 1);
  p.drawLine(w - 1, 0, w - 1, h - 1);

  const Layout l = MakeLayout(size, model);
  if (!l.title.isEmpty()) {
    p.setFont(l.titleFont);
    p.setPen(ToQColor(look.titleFont.colour));
    p.drawText(l.title, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
               QString::fromStdString(look.title));
  }
  if (model.distribution) {
    DrawDistribution(p, size, model, l.geometry.plot.top());
    p.restore();
    return;
  }
  const QRect plot = l.geometry.plot;
  if (plot.width() <= 0 || plot.height() <= 0) {
    p.restore();
    return;
  }
  p.fillRect(plot, ToQColor(look.back));

  const PlotData& d = model.data;
  const bool pingShown = model.lineShown || model.areaShown;
  SeriesColours drawn(model);
  auto ping = [&d, &drawn](std::size_t i) {
    const PingPoint pt = d.Ping(i);
    return std::pair<double, Colour>(pt.value, drawn(pt.colour));
  };
  auto average = [&d, &drawn](std::size_t i) {
    const AveragePoint pt = d.Average(i);
    return std::pair<double, Colour>(pt.value, drawn(pt.colour));
  };

  // The time labels: those of the first series shown, thinned so that they
  // keep apart.
  std::vector<TimeLabel> timeLabels;
  {
    const std::size_t n =
        pingShown ? d.PingCount() : (model.averageShown ? d.AverageCount() : 0);
    const IndexRange r = WindowIndices(n, model.bottom);
    const QFontMetrics fm(l.labelFont);
    LabelThinning thinning;
    for (std::size_t i = r.first; !r.Empty() && i <= r.last; ++i) {
      const std::uint32_t time = pingShown ? d.Ping(i).time : d.Average(i).time;
      QString text = QString::fromStdString(PointLabel(time));
      const int x = Pixel(l.geometry.bottom.ToPixel(static_cast<double>(i)));
      const int extent = look.verticalLabels ? fm.height() : fm.horizontalAdvance(text);
      if (thinning.Take(x, extent)) timeLabels.push_back({x, std::move(text)});
    }
  }

  // The dotted grid at the labels of both axes.
  p.setPen(ToQColor(look.grid));
  for (double v : l.values) {
    const int y = Pixel(l.geometry.left.ToPixel(v));
    if (y >= plot.top() && y <= plot.bottom()) DottedHorizontal(p, plot.left(), plot.right(), y);
  }
  for (const TimeLabel& label : timeLabels) {
    if (label.x >= plot.left() && label.x <= plot.right()) {
      DottedVertical(p, label.x, plot.top(), plot.bottom());
    }
  }

  // The series, in order: line, area, average on top.
  p.setClipRect(plot);
  if (model.precise) {
    DrawPrecise(p, l, model, drawn);
  } else {
    if (model.lineShown) DrawLine(p, l, d.PingCount(), model.bottom, model.stairs, ping);
    if (model.areaShown) DrawArea(p, l, d.PingCount(), model.bottom, model.stairs, ping);
    if (model.averageShown) DrawLine(p, l, d.AverageCount(), model.bottom, true, average);
  }
  DrawAlertMarks(p, l, model, drawn);
  p.setClipping(false);

  // Axis texts.
  const QColor text = ToQColor(look.axesText);
  p.setPen(text);
  p.setFont(l.labelFont);
  const QFontMetrics fm(l.labelFont);
  const int labelHeight = fm.height();
  for (double v : l.values) {
    const int y = Pixel(l.geometry.left.ToPixel(v));
    const QString label = QString::fromStdString(FormatAxisValue(v, l.step.decimals));
    const int width = fm.horizontalAdvance(label);
    p.drawText(QRect(plot.left() - kLabelGap - width, y - labelHeight / 2, width, labelHeight),
               Qt::AlignRight | Qt::AlignVCenter, label);
  }
  for (const TimeLabel& label : timeLabels) {
    const int width = fm.horizontalAdvance(label.text);
    if (look.verticalLabels) {
      // Turned to read upwards, its end at the top of the band.
      p.save();
      p.translate(label.x - labelHeight / 2, l.labelTop);
      p.rotate(-90);
      p.drawText(QRect(-width, 0, width, labelHeight), Qt::AlignRight | Qt::AlignVCenter,
                 label.text);
      p.restore();
    } else {
      p.drawText(QRect(label.x - width / 2, l.labelTop, width, labelHeight), Qt::AlignCenter,
                 label.text);
    }
  }
  if (!look.leftTitle.empty()) {
    const QString title = QString::fromStdString(look.leftTitle);
    p.setFont(l.axisTitleFont);
    const QFontMetrics tm(l.axisTitleFont);
    const int width = tm.horizontalAdvance(title);
    const int centre = (plot.top() + plot.bottom()) / 2;
    p.save();
    p.translate(l.axisTitleX, centre);
    p.rotate(-90);
    p.drawText(QRect(-width / 2, 0, width, tm.height()), Qt::AlignCenter, title);
    p.restore();
  }
  p.restore();
}

QImage ChartRenderer::Render(QSize size, const ChartModel& model) {
  if (size.isEmpty()) return QImage();
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  Draw(painter, size, model);
  painter.end();
  return image;
}

QFont ToQFont(const FontSpec& spec, FontSize size) {
  QFont font(QString::fromStdString(spec.name));
  if (size == FontSize::Pixels) {
    font.setPixelSize(std::max(1, std::abs(PointsToPixels(spec.pointSize))));
  } else {
    font.setPointSize(std::clamp(spec.pointSize, 1, 1000));
  }
  font.setBold((spec.style & kFontBold) != 0);
  font.setItalic((spec.style & kFontItalic) != 0);
  font.setUnderline((spec.style & kFontUnderline) != 0);
  font.setStrikeOut((spec.style & kFontStrikeOut) != 0);
  return font;
}

FontSpec FromQFont(const QFont& font, Colour colour) {
  FontSpec spec;
  spec.name = font.family().toStdString();
  spec.pointSize = font.pointSize() > 0 ? font.pointSize()
                                        : static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96.0));
  spec.style = (font.bold() ? kFontBold : 0) | (font.italic() ? kFontItalic : 0) |
               (font.underline() ? kFontUnderline : 0) | (font.strikeOut() ? kFontStrikeOut : 0);
  spec.colour = colour;
  return spec;
}

ChartPalette ChartPaletteOf(const QPalette& palette) {
  ChartPalette p;
  p.back = FromQColor(palette.color(QPalette::Active, QPalette::Base));
  p.border = FromQColor(palette.color(QPalette::Active, QPalette::Window));
  // A grid between the background and the text: the palette's own mid
  // tones may be as dark as a dark background.
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  auto mix = [](int a, int b) { return a + (b - a) * 35 / 100; };
  p.grid = RgbColour(static_cast<unsigned>(mix(base.red(), text.red())),
                     static_cast<unsigned>(mix(base.green(), text.green())),
                     static_cast<unsigned>(mix(base.blue(), text.blue())));
  p.text = FromQColor(text);
  return p;
}

QColor ToQColor(Colour c) {
  const Colour r = ResolveColour(c);
  return QColor(static_cast<int>(RedOf(r)), static_cast<int>(GreenOf(r)),
                static_cast<int>(BlueOf(r)));
}

Colour FromQColor(const QColor& c) {
  return RgbColour(static_cast<unsigned>(c.red()), static_cast<unsigned>(c.green()),
                   static_cast<unsigned>(c.blue()));
}

}  // namespace quorvel
