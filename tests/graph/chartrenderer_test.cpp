// The chart as drawn into rasters: colours of segments, steps and ramps, the
// area, margins, an empty vertical range and the thinning of time labels.
#include <gtest/gtest.h>

#include <QColor>
#include <QGuiApplication>
#include <QImage>

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "graph/chartrenderer.h"

namespace quorvel {
namespace {

constexpr Colour kYellow = RgbColour(255, 255, 0);
constexpr Colour kSilver = RgbColour(192, 192, 192);

class ChartRendererTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QGuiApplication::instance() == nullptr) {
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      static int argc = 1;
      static char name[] = "chartrenderer_test";
      static char* argv[] = {name, nullptr};
      new QGuiApplication(argc, argv);
    }
  }

  // A plain model: window 0 ... 10, range 0 ... 60, no average, no title.
  static ChartModel Model(const std::vector<std::pair<int, Colour>>& pings) {
    ChartModel m;
    m.bottom = AxisRange(0, 10);
    m.left = AxisRange(0, 60);
    m.averageShown = false;
    m.look.title = "";
    m.look.leftTitle = "";
    std::uint32_t time = 12 * 3600;
    for (const auto& [value, colour] : pings) m.data.AddPing(value, colour, time++);
    return m;
  }

  static QRgb Rgb(Colour c) { return qRgb(int(RedOf(c)), int(GreenOf(c)), int(BlueOf(c))); }

  static bool Is(const QImage& image, int x, int y, Colour c) {
    return image.valid(x, y) && (image.pixel(x, y) & 0xFFFFFFu) == (Rgb(c) & 0xFFFFFFu);
  }

  // Whether the colour is found within `radius` pixels of (x, y).
  static bool Near(const QImage& image, int x, int y, Colour c, int radius = 1) {
    for (int dy = -radius; dy <= radius; ++dy) {
      for (int dx = -radius; dx <= radius; ++dx) {
        if (Is(image, x + dx, y + dy, c)) return true;
      }
    }
    return false;
  }

  static QPoint At(const ChartGeometry& g, double position, double value) {
    return QPoint(int(std::lround(g.bottom.ToPixel(position))),
                  int(std::lround(g.left.ToPixel(value))));
  }

  // The first and last column of `c` along row y, or {-1, -1}.
  static std::pair<int, int> RunInRow(const QImage& image, int y, Colour c) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
      if (Is(image, x, y, c)) {
        if (first < 0) first = x;
        last = x;
      }
    }
    return {first, last};
  }

  static std::pair<int, int> RunInColumn(const QImage& image, int x, Colour c) {
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
      if (Is(image, x, y, c)) {
        if (first < 0) first = y;
        last = y;
      }
    }
    return {first, last};
  }

  static int Percent(int length, int percent) { return (length * percent + 50) / 100; }

  // Groups of inked columns (darker than mid gray) within rows y0 ... y1,
  // split where `gap` or more clean columns lie between them.
  static std::vector<std::pair<int, int>> InkClusters(const QImage& image, int y0, int y1,
                                                      int gap) {
    std::vector<std::pair<int, int>> clusters;
    int clean = gap;
    for (int x = 0; x < image.width(); ++x) {
      bool ink = false;
      for (int y = y0; y <= y1 && !ink; ++y) ink = qGray(image.pixel(x, y)) < 128;
      if (ink) {
        if (clean >= gap || clusters.empty()) {
          clusters.push_back({x, x});
        } else {
          clusters.back().second = x;
        }
        clean = 0;
      } else {
        ++clean;
      }
    }
    return clusters;
  }
};

TEST_F(ChartRendererTest, RenderMakesATrueColourRasterOfTheSize) {
  const ChartModel m = Model({{20, kBlue}, {30, kBlue}});
  const QImage image = ChartRenderer::Render(QSize(321, 123), m);
  EXPECT_EQ(image.size(), QSize(321, 123));
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  EXPECT_TRUE(ChartRenderer::Render(QSize(0, 50), m).isNull());
  // Too small for a plot: still a panel, no failure.
  EXPECT_EQ(ChartRenderer::Render(QSize(3, 3), m).size(), QSize(3, 3));
}

TEST_F(ChartRendererTest, FailedPingGivesOneRedSegmentInAndAPlotColourSegmentOut) {
  const ChartModel m = Model({{20, kBlue}, {20, kBlue}, {50, kRed}, {20, kBlue}, {20, kBlue}});
  const QSize size(400, 300);
  const QImage image = ChartRenderer::Render(size, m);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);

  const QPoint p1 = At(g, 1, 20), p2 = At(g, 2, 50), p3 = At(g, 3, 20);
  const QPoint in = (p1 + p2) / 2, out = (p2 + p3) / 2;
  EXPECT_TRUE(Near(image, in.x(), in.y(), kRed));
  EXPECT_FALSE(Near(image, in.x(), in.y(), kBlue));
  EXPECT_TRUE(Near(image, out.x(), out.y(), kBlue));
  EXPECT_FALSE(Near(image, out.x(), out.y(), kRed));

  // Every red pixel lies on the segment entering the failed point.
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!Is(image, x, y, kRed)) continue;
      EXPECT_GE(x, p1.x());
      EXPECT_LE(x, p2.x());
      EXPECT_GE(y, p2.y());
      EXPECT_LE(y, p1.y());
    }
  }
}

TEST_F(ChartRendererTest, StairsAndRamps) {
  ChartModel m = Model({{10, kBlue}, {50, kBlue}});
  m.bottom = AxisRange(0, 2);
  const QSize size(400, 300);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const QPoint a = At(g, 0, 10), b = At(g, 1, 50);
  const QPoint diagonal = (a + b) / 2;

  m.stairs = true;
  QImage image = ChartRenderer::Render(size, m);
  EXPECT_TRUE(Is(image, (a.x() + b.x()) / 2, a.y(), kBlue));  // across at the height of 0
  EXPECT_TRUE(Is(image, b.x(), (a.y() + b.y()) / 2, kBlue));  // then up at the x of 1
  EXPECT_FALSE(Near(image, diagonal.x(), diagonal.y(), kBlue, 2));

  m.stairs = false;
  image = ChartRenderer::Render(size, m);
  EXPECT_TRUE(Near(image, diagonal.x(), diagonal.y(), kBlue));
  EXPECT_FALSE(Is(image, (a.x() + b.x()) / 2, a.y(), kBlue));
  EXPECT_FALSE(Is(image, b.x(), (a.y() + b.y()) / 2, kBlue));
}

TEST_F(ChartRendererTest, AverageAlwaysDrawsAsStairsOnTop) {
  ChartModel m = Model({{30, kBlue}, {30, kBlue}, {30, kBlue}});
  m.bottom = AxisRange(0, 2);
  m.averageShown = true;
  m.stairs = false;
  m.data.AddAverage(10, kFuchsia, 0);
  m.data.AddAverage(50, kFuchsia, 0);
  m.data.AddAverage(30, kFuchsia, 0);  // crosses the ping line at position 2
  const QSize size(400, 300);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const QImage image = ChartRenderer::Render(size, m);
  const QPoint a = At(g, 0, 10), b = At(g, 1, 50);
  EXPECT_TRUE(Is(image, (a.x() + b.x()) / 2, a.y(), kFuchsia));
  EXPECT_TRUE(Is(image, b.x(), (a.y() + b.y()) / 2, kFuchsia));
  // Where the average's step down crosses the ping line, the average wins.
  const QPoint c = At(g, 2, 30);
  EXPECT_TRUE(Is(image, c.x(), c.y(), kFuchsia));
}

TEST_F(ChartRendererTest, AreaFillsBelowTheSegmentInTheEnteredPointsColour) {
  ChartModel m = Model({{30, kBlue}, {40, kRed}, {40, kBlue}});
  m.bottom = AxisRange(0, 3);
  m.lineShown = false;
  m.areaShown = true;
  m.look.back = kYellow;
  const QSize size(400, 300);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const QPoint a = At(g, 0, 30), b = At(g, 1, 40), c = At(g, 2, 40);
  const int base = int(std::lround(g.left.from));

  m.stairs = false;  // a quadrilateral under the ramp
  QImage image = ChartRenderer::Render(size, m);
  const int midX = (a.x() + b.x()) / 2;
  EXPECT_TRUE(Is(image, midX, (a.y() + base) / 2, kRed));
  EXPECT_TRUE(Is(image, midX, base - 1, kRed));
  EXPECT_TRUE(Is(image, midX, std::min(a.y(), b.y()) - 3, kYellow));  // above it: plot area
  EXPECT_TRUE(Is(image, (b.x() + c.x()) / 2, (b.y() + base) / 2, kBlue));
  ASSERT_LE(base + 1, g.plot.bottom());
  EXPECT_FALSE(Is(image, midX, base + 1, kRed));  // nothing below the axis end

  m.stairs = true;  // a rectangle at the height of the point before, one pixel wider
  image = ChartRenderer::Render(size, m);
  EXPECT_TRUE(Is(image, midX, a.y() + 1, kRed));
  EXPECT_TRUE(Is(image, midX, a.y() - 3, kYellow));
  EXPECT_TRUE(Is(image, a.x(), (a.y() + base) / 2, kRed));
  EXPECT_TRUE(Is(image, c.x(), (b.y() + base) / 2, kBlue));
  EXPECT_FALSE(Is(image, c.x() + 1, (b.y() + base) / 2, kBlue));
}

TEST_F(ChartRendererTest, EnteringSegmentIsClippedAtThePlotsLeftEdge) {
  ChartModel m = Model({});
  for (int i = 0; i < 12; ++i) m.data.AddPing(i < 5 ? 20 : 40, kBlue, 0);
  m.bottom = AxisRange(5, 10);  // point 4 lies left of the window
  m.stairs = true;
  m.look.back = kYellow;
  m.look.border = kSilver;
  const QSize size(400, 300);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const QImage image = ChartRenderer::Render(size, m);
  const QPoint p5 = At(g, 5, 40);
  const int y20 = At(g, 4, 20).y();
  ASSERT_GT(p5.x(), g.plot.left() + 1);
  // The step from point 4 runs in from the plot's edge and stops there.
  EXPECT_TRUE(Is(image, g.plot.left(), y20, kBlue));
  EXPECT_TRUE(Is(image, g.plot.left() - 1, y20, kSilver));
  EXPECT_TRUE(Is(image, p5.x(), (y20 + p5.y()) / 2, kBlue));
  // Points right of the window are not drawn.
  const QPoint p10 = At(g, 10, 40);
  EXPECT_FALSE(Near(image, p10.x() + 5, p10.y(), kBlue, 0));
}

TEST_F(ChartRendererTest, OnePointShowsNothing) {
  ChartModel m = Model({{30, kBlue}});
  const QImage image = ChartRenderer::Render(QSize(400, 300), m);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ASSERT_FALSE(Is(image, x, y, kBlue));
  }
}

TEST_F(ChartRendererTest, MarginsFollowTheRasterSize) {
  for (bool vertical : {false, true}) {
    ChartModel m = Model({});
    m.look.back = kYellow;
    m.look.border = kSilver;
    m.look.title = "Title";
    m.look.leftTitle = "Ping - milliseconds";
    m.look.verticalLabels = vertical;
    const int bottomPercent = vertical ? 1 : 4;
    int fixedTop = -1, fixedBottom = -1, fixedLeft = -1;
    for (QSize size : {QSize(400, 300), QSize(1600, 1200), QSize(791, 385)}) {
      const QImage image = ChartRenderer::Render(size, m);
      const auto [left, right] = RunInRow(image, size.height() / 2, kYellow);
      const auto [top, bottom] = RunInColumn(image, size.width() / 2, kYellow);
      // Right and bottom: the margin percentages; what lies between them and
      // the plot (time labels, title) keeps its size.
      EXPECT_EQ(right, size.width() - 2 - Percent(size.width(), 1)) << size.width();
      const int belowPlot = size.height() - 1 - bottom - Percent(size.height(), bottomPercent);
      const int abovePlot = top - Percent(size.height(), 1);
      const int leftOfPlot = left - Percent(size.width(), 1);
      if (fixedTop < 0) {
        fixedTop = abovePlot;
        fixedBottom = belowPlot;
        fixedLeft = leftOfPlot;
      }
      EXPECT_EQ(abovePlot, fixedTop) << size.width();
      EXPECT_EQ(belowPlot, fixedBottom) << size.width();
      EXPECT_EQ(leftOfPlot, fixedLeft) << size.width();
    }
    EXPECT_GT(fixedTop, 10);     // the title
    EXPECT_GT(fixedLeft, 15);    // value labels and the axis title
    if (vertical) {
      EXPECT_GT(fixedBottom, 30);  // upright "  hh:mm:ss  "
    } else {
      EXPECT_LT(fixedBottom, 20);
    }
  }
}

TEST_F(ChartRendererTest, EmptyVerticalRangeDraws) {
  ChartModel m = Model({{60, kBlue}, {60, kBlue}, {20, kBlue}, {90, kBlue}});
  m.left = AxisRange(60, 60);
  const QSize size(400, 300);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const QImage image = ChartRenderer::Render(size, m);
  // Every value sits in the middle of the axis.
  const int middle = int(std::lround((g.left.from + g.left.to) / 2));
  const QPoint a = At(g, 0, 60), b = At(g, 3, 90);
  EXPECT_EQ(a.y(), middle);
  EXPECT_TRUE(Is(image, (a.x() + b.x()) / 2, middle, kBlue));
}

TEST_F(ChartRendererTest, TimeLabelsAreThinnedToKeepApart) {
  std::size_t counts[2] = {0, 0};
  for (bool vertical : {false, true}) {
    ChartModel m = Model({});
    for (int i = 0; i <= 400; ++i) m.data.AddPing(30, kBlue, std::uint32_t(10 * 3600 + i));
    m.bottom = AxisRange(0, 400);
    m.look.verticalLabels = vertical;
    const QSize size(791, 385);
    const ChartGeometry g = ChartRenderer::Geometry(size, m);
    const QImage image = ChartRenderer::Render(size, m);
    // The band below the plot holds the time labels only.
    const auto clusters =
        InkClusters(image, g.plot.bottom() + 2, size.height() - 3, vertical ? 1 : 8);
    ASSERT_GE(clusters.size(), 5u);
    for (std::size_t i = 0; i < clusters.size(); ++i) {
      const int width = clusters[i].second - clusters[i].first + 1;
      // One label's ink each: "hh:mm:ss" across, or its height upright.
      EXPECT_LE(width, vertical ? 12 : 48) << i;
      if (i > 0) {
        EXPECT_GE(clusters[i].first - clusters[i - 1].second, vertical ? 3 : 12) << i;
      }
    }
    counts[vertical] = clusters.size();
  }
  EXPECT_GT(counts[1], 2 * counts[0]);  // upright labels fit many more
}

// A model of precise replies: one point a second, a negative time lost.
ChartModel PreciseModel(const std::vector<std::int64_t>& micros) {
  ChartModel m;
  m.bottom = AxisRange(0, 10);
  m.look.title = "";
  m.look.leftTitle = "";
  m.averageShown = false;
  m.precise = true;
  std::int64_t ms = 1'700'000'000'000;
  for (std::int64_t us : micros) {
    const bool lost = us < 0;
    m.data.AddPing(lost ? 800 : 0, lost ? kRed : kBlue, PointStamp{0, ms += 1000, 0},
                   lost ? std::nullopt : std::optional<std::int64_t>(us));
  }
  return m;
}

// Loopback replies of 31 to 45 us plot across the plot's height rather than
// as a flat line at 0; a lost ping is a red mark at the top edge, not a
// spike to its timeout; the line breaks around it.
TEST_F(ChartRendererTest, PreciseScalePlotsMicrosecondsOnAFittedRange) {
  const ChartModel m = PreciseModel({31, 45, 38, -1, 33, 40});
  const QSize size(400, 300);
  const QImage image = ChartRenderer::Render(size, m);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  EXPECT_LT(g.left.min, 0.031);
  EXPECT_GT(g.left.max, 0.045);
  EXPECT_LT(g.left.max - g.left.min, 0.03);
  const QPoint p0 = At(g, 0, 0.031), p1 = At(g, 1, 0.045);
  const QPoint mid = (p0 + p1) / 2;
  EXPECT_TRUE(Near(image, mid.x(), mid.y(), kBlue));
  EXPECT_GT(p0.y() - p1.y(), g.plot.height() / 3);  // the difference is plain to see
  // Red only at the top edge, at the lost ping.
  const int lostX = At(g, 3, 0).x();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!Is(image, x, y, kRed)) continue;
      EXPECT_LE(std::abs(x - lostX), 1) << x;
      EXPECT_LE(y, g.plot.top() + g.plot.height() / 10) << y;
    }
  }
  EXPECT_TRUE(Is(image, lostX, g.plot.top() + 1, kRed));
  // No segment into or out of the lost ping.
  const QPoint p2 = At(g, 2, 0.038), p4 = At(g, 4, 0.033);
  EXPECT_FALSE(Near(image, (p2.x() + lostX) / 2, p2.y(), kBlue, 2));
  EXPECT_FALSE(Near(image, (p4.x() + lostX) / 2, p4.y(), kBlue, 2));

  // Off, the same points are whole milliseconds on 0 ... 60: a flat line at 0.
  ChartModel off = PreciseModel({31, 45, 38, -1, 33, 40});
  off.precise = false;
  off.left = AxisRange(0, 60);
  EXPECT_EQ(ChartRenderer::Geometry(size, off).left.max, 60);
}

// The average line of the Precise Scale view is the mean of the replies
// alone: a lost ping (timeout 800 ms) does not pull it up.
TEST_F(ChartRendererTest, PreciseAverageLeavesTheLostPingsOut) {
  ChartModel m = PreciseModel({40, -1, 40, 40});
  m.averageShown = true;
  for (std::size_t i = 1; i < m.data.PingCount(); ++i) m.data.AddAverage(999, kFuchsia, 0);
  const QSize size(400, 300);
  const QImage image = ChartRenderer::Render(size, m);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const QPoint a = At(g, 2, 0.040), b = At(g, 3, 0.040);
  EXPECT_TRUE(Is(image, (a.x() + b.x()) / 2, a.y(), kFuchsia));
}

// Following the desktop's colours replaces the background, panel, grid and
// texts of the look; the series keep theirs.
TEST_F(ChartRendererTest, PaletteReplacesTheLooksColours) {
  ChartModel m = Model({{20, kBlue}, {30, kBlue}});
  m.look.leftTitle = "Ping - milliseconds";
  const QSize size(400, 300);
  const ChartGeometry g = ChartRenderer::Geometry(size, m);
  const ChartPalette dark{RgbColour(30, 30, 30), RgbColour(50, 50, 50), RgbColour(90, 90, 90),
                          RgbColour(230, 230, 230)};
  auto count = [](const QImage& image, Colour c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += Is(image, x, y, c);
    return n;
  };
  const QImage plain = ChartRenderer::Render(size, m);
  m.palette = dark;
  const QImage drawn = ChartRenderer::Render(size, m);
  EXPECT_TRUE(Is(drawn, g.plot.left() + 3, g.plot.top() + 3, dark.back));
  EXPECT_TRUE(Is(drawn, 3, 3, dark.border));
  EXPECT_GT(count(drawn, dark.grid), 100);
  int light = 0;  // the texts, anti-aliased
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x) light += qGray(drawn.pixel(x, y)) > 180;
  EXPECT_GT(light, 20);
  EXPECT_EQ(count(drawn, kWhite), 0);
  // The blue line is lightened on the dark plot area, as much as it takes
  // and no more; on a light one it keeps its colour.
  EXPECT_EQ(count(drawn, kBlue), 0);
  int lightBlue = 0;  // blue mixed with white
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) {
      const QRgb p = drawn.pixel(x, y);
      lightBlue += qBlue(p) == 255 && qRed(p) == qGreen(p) && qRed(p) > 60 && qRed(p) < 200;
    }
  }
  EXPECT_GT(lightBlue, 20);
  m.palette = ChartPalette{kWhite, kBtnFace, kGray, kBlack};
  EXPECT_EQ(count(ChartRenderer::Render(size, m), kBlue), count(plain, kBlue));
}

// Alert marks stand at their points, raised in orange and cleared in green;
// a mark outside the window is not drawn.
TEST_F(ChartRendererTest, AlertMarksStandAtTheirPoints) {
  ChartModel m = Model({{20, kBlue}, {20, kBlue}, {20, kBlue}, {20, kBlue}, {20, kBlue}});
  m.bottom = AxisRange(1, 4);
  m.alertMarks = {{0, true}, {2, true}, {3, false}};
  for (bool precise : {false, true}) {
    m.precise = precise;
    const QSize size(400, 300);
    const QImage image = ChartRenderer::Render(size, m);
    const ChartGeometry g = ChartRenderer::Geometry(size, m);
    const int y = g.plot.center().y() + 10;
    EXPECT_TRUE(Is(image, At(g, 2, 0).x(), y, kAlertRaisedColour)) << precise;
    EXPECT_TRUE(Is(image, At(g, 3, 0).x(), y, kAlertClearedColour)) << precise;
    const auto raised = RunInRow(image, y, kAlertRaisedColour);
    EXPECT_EQ(raised.first, raised.second) << precise;  // the one at 0 is outside
  }
}

}  // namespace
}  // namespace quorvel
