#include "graph/axiswindow.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quorvel {
namespace {

using Window = std::pair<double, double>;

Window Of(const AxisRange& r) { return {r.Min(), r.Max()}; }

// Runs plotted ticks with 10 points per page; `ignoreFirst` makes the window
// tick count run one ahead of the point count, as an ignored first ping does.
std::vector<Window> RunTicks(bool ignoreFirst, int ticks) {
  AxisRange window;
  ResetWindow(window, 10);
  std::vector<Window> seen;
  for (int n = 1; n <= ticks; ++n) {
    WindowStep(window, ignoreFirst ? n + 1 : n, static_cast<std::size_t>(n));
    seen.push_back(Of(window));
  }
  return seen;
}

TEST(WindowStep, WithTheFirstPingIgnored) {
  const std::vector<Window> w = RunTicks(true, 13);
  EXPECT_EQ(w[8], Window(0, 10));    // N = 10, n = 9: nothing yet
  EXPECT_EQ(w[9], Window(-1, 9));    // N = 11, n = 10: offset -2 moved back
  EXPECT_EQ(w[10], Window(0, 10));   // N = 12, n = 11: offset 0
  EXPECT_EQ(w[11], Window(1, 11));
  EXPECT_EQ(w[12], Window(2, 12));
}

TEST(WindowStep, WithoutIgnoring) {
  const std::vector<Window> w = RunTicks(false, 12);
  EXPECT_EQ(w[9], Window(0, 10));    // N = 11 stepped to 1..11, moved back by 1
  EXPECT_EQ(w[10], Window(0, 10));
  EXPECT_EQ(w[11], Window(1, 11));
}

TEST(WindowStep, KeepsTheNewestPointAtTheRightEdgeInALongRun) {
  const std::vector<Window> w = RunTicks(false, 1000);
  EXPECT_EQ(w.back(), Window(989, 999));
}

TEST(WindowStep, APannedBackWindowBeyond249KeepsItsDistance) {
  AxisRange window(600, 700);
  // 800 points: the page extent is 249, so no correction brings it back.
  WindowStep(window, 800, 800);
  EXPECT_EQ(Of(window), Window(601, 701));
}

TEST(PageExtents, StretchesTheLastPositionToAPage) {
  EXPECT_EQ(PageExtents(0).right, 0);
  EXPECT_EQ(PageExtents(1).right, 0);
  EXPECT_DOUBLE_EQ(PageExtents(10).right, 225);
  EXPECT_DOUBLE_EQ(PageExtents(249).right, 248.0 * 250 / 249);
  EXPECT_EQ(PageExtents(250).right, 249);
  EXPECT_EQ(PageExtents(100000).right, 249);
  EXPECT_EQ(PageExtents(5).left, 0);
}

TEST(LimitedScroll, MovesOnlyTowardData) {
  struct Case {
    Window start;
    double offset;
    std::size_t points;
    Window end;
  } cases[] = {
      {{0, 10}, 3, 20, {3, 13}},       // data beyond the maximum
      {{0, 300}, 3, 300, {0, 300}},    // right extent 249 < 300
      {{5, 15}, -2, 20, {3, 13}},      // data before the minimum
      {{0, 10}, -2, 20, {0, 10}},      // left extent 0 is not below 0
      {{0, 10}, 0, 20, {0, 10}},
      {{0, 10}, 5, 0, {0, 10}},        // no points
  };
  for (const Case& c : cases) {
    AxisRange w(c.start.first, c.start.second);
    LimitedScroll(w, c.offset, c.points);
    EXPECT_EQ(Of(w), c.end) << c.start.first << ".." << c.start.second << " by " << c.offset;
  }
}

TEST(AxisRange, RefusesAMaximumBelowTheMinimumAndTheReverse) {
  AxisRange r(10, 20);
  EXPECT_FALSE(r.SetMax(5));
  EXPECT_FALSE(r.SetMin(25));
  EXPECT_EQ(Of(r), Window(10, 20));
  EXPECT_TRUE(r.SetMax(10));
  EXPECT_TRUE(r.SetRange(100, 200));
  EXPECT_FALSE(r.SetRange(50, 10));
  EXPECT_EQ(Of(r), Window(100, 200));
}

TEST(AfterPanStep, SnapsBackAndLimitsTheTimeAxis) {
  AxisRange vertical(-5, 55);
  AxisRange window(-2, 8);
  EXPECT_EQ(AfterPanStep(vertical, window, 60, 10, 9), PanDirections::VerticalOnly);
  EXPECT_EQ(Of(vertical), Window(0, 60));
  EXPECT_EQ(Of(window), Window(0, 10));
  AxisRange v2(5, 65), w2(3, 13);
  EXPECT_EQ(AfterPanStep(v2, w2, 60, 10, 10), PanDirections::Both);
  EXPECT_EQ(Of(v2), Window(5, 65));
  EXPECT_EQ(Of(w2), Window(3, 13));
}

}  // namespace
}  // namespace quorvel
