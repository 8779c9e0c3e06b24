// The widget-free rules behind the graph's look: title, file-name filter,
// image-size percentages, time-label thinning and the value axis.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph/axisscale.h"
#include "graph/filenamefilter.h"
#include "graph/labelthinning.h"
#include "graph/title.h"
#include "graph/verticallimits.h"

namespace quorvel {
namespace {

struct TitleCase {
  std::string text;
  bool appendAddress;
  std::string address;
  bool appendInterval;
  long long interval;
  std::string expected;
};

TEST(ComposeTitle, FollowsTheAppendSwitches) {
  const TitleCase cases[] = {
      {"Quorvel of ", true, "192.0.2.1", true, 10, "Quorvel of 192.0.2.1 - 10 sec. interval"},
      {"Quorvel of ", false, "192.0.2.1", false, 10, "Quorvel of "},
      {"Quorvel of ", true, "192.0.2.1", false, 10, "Quorvel of 192.0.2.1"},
      {"Quorvel of ", false, "192.0.2.1", true, 10, "Quorvel of  - 10 sec. interval"},
      {"", true, "host", false, 1, "host"},
      {"T", true, " spaced  ", true, 2147383647, "T spaced   - 2147383647 sec. interval"},
  };
  for (const TitleCase& c : cases) {
    EXPECT_EQ(ComposeTitle({c.text, c.appendAddress, c.address, c.appendInterval, c.interval}),
              c.expected);
  }
}

TEST(FileNameFilter, RefusesExactlyTheNineCharacters) {
  const std::u32string refused = U"\"*/:<>?\\|";
  for (char32_t c = 0; c < 0x300; ++c) {
    EXPECT_EQ(RefusedInFileName(c), refused.find(c) != std::u32string::npos) << unsigned(c);
  }
}

TEST(LabelThinning, FirstLabelAlwaysDrawn) {
  LabelThinning t;
  EXPECT_TRUE(t.Take(100, 50));
}

TEST(LabelThinning, LaterLabelsKeepSixtyPercentApart) {
  // Size 50: the first claims 25; later ones (50 + 30) / 2 = 40 each side.
  LabelThinning t;
  ASSERT_TRUE(t.Take(0, 50));
  EXPECT_FALSE(t.Take(64, 50));  // 64 < 40 + 25
  EXPECT_TRUE(t.Take(65, 50));   // exactly 40 + 25
  EXPECT_FALSE(t.Take(144, 50)); // 79 < 40 + 40
  EXPECT_TRUE(t.Take(145, 50));
}

TEST(LabelThinning, OddSizesTruncate) {
  // Size 11: first half 5; later (11 + 6) / 2 = 8.
  LabelThinning t;
  ASSERT_TRUE(t.Take(0, 11));
  EXPECT_FALSE(t.Take(12, 11));
  EXPECT_TRUE(t.Take(13, 11));
  EXPECT_FALSE(t.Take(28, 11));
  EXPECT_TRUE(t.Take(29, 11));
}

TEST(LabelThinning, DrawnLabelsNeverOverlapOnADenseAxis) {
  // One label per 3 pixels, each 40 wide: the drawn ones stand at least a
  // label and a gap apart.
  LabelThinning t;
  std::vector<int> drawn;
  for (int x = 0; x < 3000; x += 3) {
    if (t.Take(x, 40)) drawn.push_back(x);
  }
  ASSERT_GT(drawn.size(), 10u);
  for (std::size_t i = 1; i < drawn.size(); ++i) EXPECT_GE(drawn[i] - drawn[i - 1], 52);
}

TEST(AxisMapping, MapsLinearlyAndSurvivesAnEmptyRange) {
  const AxisMapping m{0, 60, 300, 0};
  EXPECT_DOUBLE_EQ(m.ToPixel(0), 300);
  EXPECT_DOUBLE_EQ(m.ToPixel(60), 0);
  EXPECT_DOUBLE_EQ(m.ToPixel(30), 150);
  EXPECT_DOUBLE_EQ(m.UnitsPerPixel(), 0.2);

  const AxisMapping empty{60, 60, 300, 0};
  EXPECT_DOUBLE_EQ(empty.ToPixel(60), 150);
  EXPECT_DOUBLE_EQ(empty.ToPixel(3000), 150);
  EXPECT_DOUBLE_EQ(empty.UnitsPerPixel(), 0);
}

TEST(ValueLabels, StepIsOneTwoOrFiveTimesAPowerOfTen) {
  struct Case {
    double range, pixels, spacing, step;
    int decimals;
  };
  const Case cases[] = {
      {60, 330, 22, 5, 0},    {60, 2000, 22, 1, 0},  {10000, 330, 22, 1000, 0},
      {1, 330, 22, 0.1, 1},   {11, 300, 22, 1, 0},   {60, 40, 22, 50, 0},
      {0.3, 300, 22, 0.05, 2}, {100, 220, 22, 10, 0},
  };
  for (const Case& c : cases) {
    const LabelStep s = ValueLabelStep(c.range, c.pixels, c.spacing);
    EXPECT_DOUBLE_EQ(s.step, c.step) << c.range << " over " << c.pixels;
    EXPECT_EQ(s.decimals, c.decimals) << c.range << " over " << c.pixels;
  }
  EXPECT_EQ(ValueLabelStep(0, 300, 22).step, 0);
  EXPECT_EQ(ValueLabelStep(60, 0, 22).step, 0);
}

TEST(ValueLabels, MultiplesOfTheStepInsideTheRange) {
  EXPECT_EQ(ValueLabels(0, 60, {20, 0}), (std::vector<double>{0, 20, 40, 60}));
  EXPECT_EQ(ValueLabels(-1, 11, {5, 0}), (std::vector<double>{0, 5, 10}));
  EXPECT_EQ(ValueLabels(60, 60, {0, 0}), (std::vector<double>{60}));
  EXPECT_EQ(ValueLabels(0, 1e9, {1e-9, 9}).size(), 1000u);
}

TEST(ValueLabels, Formatting) {
  EXPECT_EQ(FormatAxisValue(0, 0), "0");
  EXPECT_EQ(FormatAxisValue(60, 0), "60");
  EXPECT_EQ(FormatAxisValue(10000, 0), "10,000");
  EXPECT_EQ(FormatAxisValue(-1, 0), "-1");
  EXPECT_EQ(FormatAxisValue(0.25, 2), "0.25");
  EXPECT_EQ(FormatAxisValue(1234567.5, 1), "1,234,567.5");
}

TEST(VerticalLimits, MaximumBelowMinimumIsRefusedAndRemembered) {
  VerticalLimits limits;
  AxisRange axis(0, 60);
  limits.Remember(60, 0);

  LimitCheckResult r = limits.Leave(LimitBox::Max, 50, 100, axis);
  EXPECT_FALSE(r.accepted);
  EXPECT_EQ(r.restore, 60);
  EXPECT_EQ(r.message, "The Vertical Axis maximum value must be greater than the minimum value!");
  EXPECT_EQ(axis, AxisRange(0, 60));
  EXPECT_TRUE(limits.Refused());

  r = limits.Leave(LimitBox::Min, 60, 100, axis);
  EXPECT_FALSE(r.accepted);
  EXPECT_EQ(r.restore, 0);
  EXPECT_EQ(r.message, "The Vertical Axis minumim value must be less than the maximum value!");

  limits.ClearRefused();
  EXPECT_FALSE(limits.Refused());
}

TEST(VerticalLimits, AcceptedBoundsGoInAsOneRangeAndBecomeTheRemembered) {
  VerticalLimits limits;
  AxisRange axis(100, 200);
  limits.Remember(200, 100);
  // 10 ... 50 lies wholly below 100 ... 200: set bound by bound, the maximum
  // would be refused; as one range it is not.
  EXPECT_TRUE(limits.Leave(LimitBox::Max, 50, 10, axis).accepted);
  EXPECT_EQ(axis, AxisRange(10, 50));
  EXPECT_EQ(limits.Leave(LimitBox::Max, 5, 10, axis).restore, 50);
  EXPECT_TRUE(limits.Refused());
  // Equal bounds pass, and clear the refusal.
  EXPECT_TRUE(limits.Leave(LimitBox::Min, 60, 60, axis).accepted);
  EXPECT_EQ(axis, AxisRange(60, 60));
  EXPECT_FALSE(limits.Refused());
}

}  // namespace
}  // namespace quorvel
