// Frame-set arithmetic: the dimension list as pages write it, the first
// division of a length, the proportional resizes after it, border moves and
// the history list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framesize.h"

using namespace framview;

namespace {

std::vector<int> Divide(const std::string& value, int length) {
  TFrameSizes s;
  s.SetDimensions(ReadDimensions(value));
  s.Resize(length);
  return s.Sizes();
}

TFrameHistoryEntry State(const std::string& file, int pos = 0) {
  TFrameHistoryEntry e;
  e.File = file;
  e.Title = "title of " + file;
  e.Sources = {file + "#a"};
  e.Positions = {pos};
  return e;
}

}  // namespace

TEST(FrameSizeTest, DimensionListReadsPixelsWeightsAndPercentages) {
  EXPECT_EQ(ReadDimensions("100, *, 2*"), (std::vector<TDimension>{100, -1, -2}));
  EXPECT_EQ(ReadDimensions("25%,75%"), (std::vector<TDimension>{-125, -175}));
  // Caps: pixels 5000, weight 99, percentage 900; a zero reads as 1; text
  // around the number and after its unit is skipped; an empty entry is *.
  EXPECT_EQ(ReadDimensions("9000,150*,2000%,0,  x12 px%, ,7*junk"),
            (std::vector<TDimension>{5000, -99, -1000, 1, -112, -1, -7}));
  EXPECT_TRUE(ReadDimensions("").empty());
  // 30 digits would overflow any integer: the entry stays at the cap.
  const std::string digits(30, '9');
  EXPECT_EQ(ReadDimensions(digits), (std::vector<TDimension>{5000}));
  EXPECT_EQ(ReadDimensions(digits + "%," + digits + "*"), (std::vector<TDimension>{-1000, -99}));
  // Entries past the twentieth are not read.
  std::string many;
  for (int i = 1; i <= 25; ++i) many += std::to_string(i) + ",";
  std::vector<TDimension> dims = ReadDimensions(many);
  ASSERT_EQ(dims.size(), 20u);
  EXPECT_EQ(dims.back(), 20);
}

TEST(FrameSizeTest, FirstDivisionThenProportionalResizes) {
  EXPECT_EQ(Divide("100, *, 2*", 400), (std::vector<int>{100, 100, 200}));
  EXPECT_EQ(Divide("25%, 75%", 800), (std::vector<int>{200, 600}));
  // Fixed sizes larger than the length are scaled down together.
  EXPECT_EQ(Divide("300, 300", 400), (std::vector<int>{200, 200}));
  // Percentages take their share before the weights; fixed space first.
  EXPECT_EQ(Divide("100, 50%, *, 3*", 1000), (std::vector<int>{100, 500, 100, 300}));
  // Percentages adding past 100 get no more than what remains.
  EXPECT_EQ(Divide("60%, 60%", 500), (std::vector<int>{250, 250}));

  TFrameSizes s;
  s.SetDimensions(ReadDimensions("100, *, 2*"));
  s.Resize(400);
  EXPECT_EQ(s.Ends(), (std::vector<int>{100, 200, 400}));
  // A later length scales the first division: the fixed row grows too.
  s.Resize(800);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{200, 200, 400}));
  EXPECT_EQ(s.Ends(), (std::vector<int>{200, 400, 800}));
  s.Resize(200);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{50, 50, 100}));
}

TEST(FrameSizeTest, SetFirstSizedAtZeroIsDividedAtItsNextResize) {
  TFrameSizes s;
  s.SetDimensions(ReadDimensions("*, 3*"));
  s.Resize(0);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{0, 0}));
  s.Resize(400);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{100, 300}));
  s.Resize(200);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{50, 150}));
  // The same with fixed entries, where the first pass scales by 0.
  s.SetDimensions(ReadDimensions("120, 80"));
  s.Resize(0);
  s.Resize(100);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{60, 40}));
}

TEST(FrameSizeTest, BorderMoveDividesTheTwoNeighboursAndIsKept) {
  TFrameSizes s;
  s.SetDimensions(ReadDimensions("100, *, 2*"));
  s.Resize(400);
  ASSERT_TRUE(s.MoveBorder(0, 150, 4));
  EXPECT_EQ(s.Sizes(), (std::vector<int>{150, 50, 200}));
  // Held so that the neighbour keeps its minimum.
  ASSERT_TRUE(s.MoveBorder(1, 1000, 4));
  EXPECT_EQ(s.Sizes(), (std::vector<int>{150, 246, 4}));
  s.Resize(800);
  EXPECT_EQ(s.Sizes(), (std::vector<int>{300, 492, 8}));
  EXPECT_FALSE(s.MoveBorder(2, 10, 4));
  EXPECT_FALSE(s.MoveBorder(-1, 10, 4));
}

TEST(FrameSizeTest, HistoryNewestFirstForwardDroppedAndTrimmed) {
  TFrameHistory h;
  // Nothing is kept while the count is 0.
  EXPECT_FALSE(h.Navigate(State(""), State("a")));
  EXPECT_EQ(h.Count(), 0);
  h.SetMaxCount(2);
  EXPECT_TRUE(h.Navigate(State(""), State("a")));
  EXPECT_TRUE(h.Navigate(State("a", 30), State("b")));
  EXPECT_TRUE(h.Navigate(State("b", 40), State("c")));
  ASSERT_EQ(h.Count(), 2);
  EXPECT_EQ(h.Entry(0).File, "c");
  EXPECT_EQ(h.Entry(1).File, "b");
  EXPECT_EQ(h.Entry(1).Positions[0], 40);
  EXPECT_TRUE(h.CanGoBack());
  EXPECT_FALSE(h.CanGoForward());

  // Back stores the state on show and returns the older one.
  const TFrameHistoryEntry* back = h.Step(1, State("c", 77));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->File, "b");
  EXPECT_FALSE(h.CanGoBack());
  EXPECT_TRUE(h.CanGoForward());
  EXPECT_EQ(h.Step(1, State("b")), nullptr);
  const TFrameHistoryEntry* fwd = h.Step(-1, State("b", 5));
  ASSERT_NE(fwd, nullptr);
  EXPECT_EQ(fwd->Positions[0], 77);
  EXPECT_EQ(h.Entry(1).Positions[0], 5);

  // A navigation from a step back drops the forward entries.
  h.Step(1, State("c"));
  h.Navigate(State("b"), State("d"));
  ASSERT_EQ(h.Count(), 2);
  EXPECT_EQ(h.Entry(0).File, "d");
  EXPECT_EQ(h.Entry(1).File, "b");
  EXPECT_EQ(h.Index(), 0);

  // A smaller maximum empties the list.
  EXPECT_TRUE(h.SetMaxCount(1));
  EXPECT_EQ(h.Count(), 0);
}
