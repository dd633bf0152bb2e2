// The wizard's arithmetic on its own: placement on the screen, moving over
// skipped pages, what each drive must hold, and the status texts.
#include <gtest/gtest.h>

#include "wizardlayout.h"

TEST(WizardLayout, NinePositionsOnTheScreen) {
  // A 478 x 395 frame on 1280 x 1024 with a 19-pixel caption, offsets 10/20.
  struct Row {
    TQuenlowDialogPosition position;
    int left, top;
  } rows[] = {
      {qdpCenterLeft, 10, 512 - 198 + 20},  {qdpCenter, 640 - 239 + 10, 512 - 198 + 20},
      {qdpCenterRight, 1280 - 478 - 10, 334}, {qdpBottomLeft, 10, 1024 - 19 - 395 - 20},
      {qdpBottomCenter, 411, 590},            {qdpBottomRight, 1280 - 478 - 10, 1024 - 19 - 395 - 20},
      {qdpTopLeft, 10, 20},                   {qdpTopCenter, 411, 20},
      {qdpTopRight, 792, 20},
  };
  for (const Row& r : rows) {
    TDialogPlace p = PlaceDialog(r.position, 1280, 1024, 478, 395, 19, 10, 20);
    EXPECT_EQ(p.Left, r.left) << r.position;
    EXPECT_EQ(p.Top, r.top) << r.position;
  }
  // Odd sizes: each half is rounded on its own.
  TDialogPlace odd = PlaceDialog(qdpCenter, 1023, 767, 101, 51, 19, 0, 0);
  EXPECT_EQ(odd.Left, 512 - 51);
  EXPECT_EQ(odd.Top, 384 - 26);
  // Negative offsets move the other way; nothing is clamped to the screen.
  TDialogPlace neg = PlaceDialog(qdpTopLeft, 1280, 1024, 478, 395, 19, -5, -7);
  EXPECT_EQ(neg.Left, -5);
  EXPECT_EQ(neg.Top, -7);
}

TEST(WizardLayout, MovesPassOverSkippedPagesInTheirDirection) {
  const std::vector<bool> skipped = {false, true, true, false, true};
  EXPECT_EQ(FindShownPage(skipped, 1, false), 3);
  EXPECT_EQ(FindShownPage(skipped, 2, true), 0);
  EXPECT_EQ(FindShownPage(skipped, 4, false), -1);  // past the last page
  EXPECT_EQ(FindShownPage(skipped, 4, true), 3);
  EXPECT_EQ(FindShownPage(skipped, -1, false), -1);
  EXPECT_EQ(FindShownPage(skipped, 5, true), -1);  // outside fails, even going back
  EXPECT_EQ(FindShownPage({true, true}, 0, false), -1);
  EXPECT_EQ(FindShownPage({}, 0, false), -1);
}

TEST(WizardLayout, DrivesSumTheirDestinations) {
  std::vector<std::pair<std::string, int64_t>> dirs = {
      {"C:\\Program Files\\App", 1000},
      {"d:\\data", 5},
      {"\\relative", 7},          // no drive: not counted
      {"\\\\server\\share", 9},   // neither
      {"c:\\Program Files\\App\\Sub", 24},
      {"", 3},
      {"1:\\odd", 4},
  };
  std::vector<TDriveNeed> needs = DriveNeeds(dirs);
  ASSERT_EQ(needs.size(), 2u);
  EXPECT_EQ(needs[0].Drive, 'C');
  EXPECT_EQ(needs[0].Required, 1024);
  EXPECT_EQ(needs[1].Drive, 'D');
  EXPECT_EQ(needs[1].Required, 5);

  // Sizes above 4 GB stay whole; at most 25 drives are listed.
  std::vector<std::pair<std::string, int64_t>> many;
  for (char d = 'A'; d <= 'Z'; ++d) many.push_back({std::string(1, d) + ":\\x", int64_t{3} << 31});
  many.push_back({"A:\\y", 1});
  needs = DriveNeeds(many);
  ASSERT_EQ(needs.size(), 25u);
  EXPECT_EQ(needs[0].Required, (int64_t{3} << 31) + 1);
  EXPECT_EQ(needs.back().Drive, 'Y');

  EXPECT_TRUE(DriveTooSmall(100, 100));  // not strictly below: a warning
  EXPECT_FALSE(DriveTooSmall(99, 100));
  EXPECT_EQ(FormatBytes(1234567), "1,234,567 Bytes");
  EXPECT_EQ(FormatBytes(0), "0 Bytes");
  EXPECT_EQ(FormatBytes(int64_t{5} << 32), "21,474,836,480 Bytes");
}

// A long path gives up its folders from the left and keeps its name.
TEST(WizardLayout, PathsShortenedToFitKeepTheirNames) {
  auto chars = [](const std::string& s) { return static_cast<int>(s.size()); };
  const std::string path = "Z:\\work\\build\\setupfiles\\help\\index.html";
  EXPECT_EQ(FitPath(path, 100, chars), path);
  EXPECT_EQ(FitPath(path, 36, chars), "Z:\\...\\setupfiles\\help\\index.html");
  EXPECT_EQ(FitPath(path, 24, chars), "Z:\\...\\help\\index.html");
  EXPECT_EQ(FitPath(path, 5, chars), "...\\index.html");
  EXPECT_EQ(FitPath("plainname.txt", 5, chars), "plainname.txt");
}

TEST(WizardLayout, StatusTextsStackAndAnEmptyPopDoesNothing) {
  TStatusStack s;
  EXPECT_FALSE(s.Pop());
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.Top(), "");
  s.Push("Reading file information...");
  s.Push("Copying");
  EXPECT_TRUE(s.Pop());
  EXPECT_EQ(s.Top(), "Reading file information...");
  EXPECT_TRUE(s.Pop());
  EXPECT_TRUE(s.Empty());
  EXPECT_FALSE(s.Pop());
  EXPECT_EQ(StatusWindowWidth(200, 44, 8, 6), 283);
}
