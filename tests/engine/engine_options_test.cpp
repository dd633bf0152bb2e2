#include <gtest/gtest.h>

#include "options.h"

namespace {

TEST(EngineOptions, ResetRestoresEveryDefault) {
  SourceList[3] = "x";
  SourceIsDir[20] = 1;
  SourceCount = 4;
  PatchType = 3;
  BackupDir = "elsewhere";
  InMemory = 0;
  SampleStep = 9;
  OptionA = 40;
  ForcePatch = 1;
  RegistryInfoFirst = "r";
  MatchPatterns.push_back({"*.txt", 0});
  ProtectionRanges.push_back("1,2,3");
  ResetEngineOptions();
  EXPECT_TRUE(SourceList[3].empty());
  EXPECT_EQ(SourceIsDir[20], 0);
  EXPECT_EQ(SourceCount, 0u);
  EXPECT_EQ(PatchType, 0u);
  EXPECT_EQ(BackupDir, "Backup");
  EXPECT_EQ(InMemory, 1);
  EXPECT_EQ(SampleStep, 5);
  EXPECT_EQ(OptionA, 0);
  EXPECT_EQ(ForcePatch, 0);
  EXPECT_TRUE(RegistryInfoFirst.empty());
  EXPECT_TRUE(MatchPatterns.empty());
  EXPECT_TRUE(ProtectionRanges.empty());
}

TEST(EngineOptions, ClampKeepsOnlyValuesInRange) {
  struct Case {
    uint16_t a, wantA, b, wantB;
  } cases[] = {{9, 20, 10000, 10000}, {10, 10, 10001, 190}, {255, 255, 0, 190}, {256, 20, 10, 10}, {0xFFFF, 20, 9, 190}};
  for (const Case& c : cases) {
    OptionA = c.a;
    OptionB = c.b;
    ClampEngineNumericOptions();
    EXPECT_EQ(OptionA, c.wantA) << c.a;
    EXPECT_EQ(OptionB, c.wantB) << c.b;
  }
}

TEST(EngineOptions, SplitAtCommaDropsTheComma) {
  std::string text = "one,,three";
  std::string head;
  SplitAtComma(text, head);
  EXPECT_EQ(head, "one");
  SplitAtComma(text, head);
  EXPECT_EQ(head, "");
  EXPECT_EQ(text, "three");
  SplitAtComma(text, head);
  EXPECT_EQ(head, "three");
  EXPECT_EQ(text, "");
  EXPECT_EQ(UpperText("a\xe4z{"), "A\xe4Z{");  // only ASCII letters change
}

TEST(EngineOptions, Numbers) {
  EXPECT_EQ(ParseNumber("$ff"), 255u);
  EXPECT_EQ(ParseNumber("0x1A"), 26u);
  EXPECT_EQ(ParseNumber("0x"), 0u);
  EXPECT_EQ(ParseNumber("12a"), 12u);
  EXPECT_EQ(ParseNumber(""), 0u);
  EXPECT_EQ(ParseNumber("$"), 0u);
  EXPECT_EQ(ParseNumber("4294967295"), 4294967295u);
  EXPECT_EQ(ParseNumber("4294967296"), 0u);  // wraps
  EXPECT_EQ(ParseNumber("0x1a"), 26u);       // parsing upper-cases

  EXPECT_TRUE(IsNumberText("123"));
  EXPECT_TRUE(IsNumberText("$FF"));
  EXPECT_TRUE(IsNumberText("0x1A"));
  EXPECT_TRUE(IsNumberText("$"));
  EXPECT_FALSE(IsNumberText(""));
  EXPECT_FALSE(IsNumberText("0x1a"));
  EXPECT_FALSE(IsNumberText("1A"));  // letters only after a prefix
  EXPECT_FALSE(IsNumberText("1x2"));
  EXPECT_FALSE(IsNumberText("-1"));
}

TEST(EngineOptions, Patterns) {
  EXPECT_TRUE(MatchesPattern("*.txt", "a\\b.txt", 0));
  EXPECT_FALSE(MatchesPattern("\\*.txt", "a\\b.txt", 0));
  EXPECT_TRUE(MatchesPattern("\\a\\*.txt", "\\a\\b.txt", 0));
  EXPECT_FALSE(MatchesPattern("a?b", "a\\b", 0));
  EXPECT_TRUE(MatchesPattern("a?b", "aXb", 1));
  EXPECT_TRUE(MatchesPattern("README", "readme", 0));
  EXPECT_TRUE(MatchesPattern("sub\\*.dll", "x/y\\sub\\k.DLL", 0));
  EXPECT_FALSE(MatchesPattern("a*", "a\\b", 0));  // a star stops at separators
  EXPECT_TRUE(MatchesPattern("*", "", 0));
  EXPECT_FALSE(MatchesPattern("", "a", 0));
  EXPECT_TRUE(MatchesPattern("", "", 0));
  EXPECT_TRUE(MatchesPattern("*a*a*a*a*a*b", std::string(5000, 'a') + "b", 0));
  EXPECT_FALSE(MatchesPattern("*a*a*a*a*a*c", std::string(5000, 'a') + "b", 0));

  MatchPatterns.clear();
  EXPECT_FALSE(MatchesAnyPattern("x.txt"));
  MatchPatterns.push_back({"*.dll", 0});
  MatchPatterns.push_back({"*.TXT", 1});
  EXPECT_TRUE(MatchesAnyPattern("dir\\x.txt"));
  EXPECT_FALSE(MatchesAnyPattern("dir\\x.exe"));
  MatchPatterns.clear();
}

TEST(EngineOptions, ProtectionRanges) {
  ProtectionRanges.clear();
  DirectoryMode = 0;
  LookupProtectionRange("f", 3);
  EXPECT_EQ(ProtectionFound, 0);

  ProtectionRanges = {"", "16,$10,0x20,48", "8,1,2,3,extra"};
  LookupProtectionRange("f", 3);
  EXPECT_EQ(ProtectionFound, 1);
  EXPECT_EQ(ProtectionLength, 8u);  // the later entry wins
  EXPECT_EQ(ProtectionOffsets[0], 1u);
  EXPECT_EQ(ProtectionOffsets[2], 3u);

  DirectoryMode = 1;
  ProtectionRanges = {"old\\a.bin,NEW\\A.BIN,4,100,200", "x,y,5,1,1"};
  LookupProtectionRange("new\\a.bin", 2);
  EXPECT_EQ(ProtectionFound, 1);
  EXPECT_EQ(ProtectionLength, 4u);
  EXPECT_EQ(ProtectionOffsets[0], 100u);
  EXPECT_EQ(ProtectionOffsets[1], 200u);
  LookupProtectionRange("old\\a.bin", 2);  // only the newest name counts
  EXPECT_EQ(ProtectionFound, 0);
  DirectoryMode = 0;
  ProtectionRanges.clear();
}

#ifndef _WIN32
TEST(EngineOptionsDeathTest, MalformedProtectionEndsProcess) {
  ProtectionRanges = {"16,0x1a,3"};
  DirectoryMode = 0;
  EXPECT_EXIT(LookupProtectionRange("f", 2), ::testing::ExitedWithCode(20), "");
  ProtectionRanges = {"16,1"};  // an offset missing is an empty field
  EXPECT_EXIT(LookupProtectionRange("f", 2), ::testing::ExitedWithCode(20), "");
  ProtectionRanges.clear();
}
#endif

}  // namespace
