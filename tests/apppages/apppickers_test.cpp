// The states the pickers hand to the engine and the verdict on them, on
// plain data: one table of sets, each with the answer the Create button
// must give.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pickerstates.h"

namespace {

// Folders of the table are the names ending in "\".
bool IsDir(const std::string& s) { return !s.empty() && s.back() == '\\'; }

struct Pair {
  std::string folder;
  std::vector<std::string> selected;
};

struct Case {
  const char* what;
  std::vector<Pair> pairs;
  bool valid;
  bool allDirectories;
  size_t states;
};

std::vector<std::string> StatesOf(const std::vector<Pair>& pairs) {
  std::vector<std::string> states;
  for (const Pair& p : pairs)
    for (const std::string& s : PickerStates(p.folder, p.selected)) states.push_back(s);
  return states;
}

}  // namespace

TEST(PickerStates, TheTableOfSets) {
  std::vector<Pair> twenty, twentyOne;
  for (int i = 0; i < 21; ++i) {
    Pair p{"/v" + std::to_string(i), {}};
    if (i < 20) twenty.push_back(p);
    twentyOne.push_back(p);
  }
  const std::vector<Case> cases = {
      {"directory pair", {{"/old", {}}, {"/new\\", {}}}, true, true, 2},
      {"a file against a folder", {{"/old", {"a.txt"}}, {"/new", {}}}, false, false, 2},
      {"the same file twice in other case", {{"/v", {"A.TXT"}}, {"/V", {"a.txt"}}}, false, false, 2},
      {"three files before the final state", {{"/old", {"a", "b", "c"}}, {"/new", {"d"}}}, true, false, 4},
      {"an empty state (no file-system folder)", {{"", {}}, {"/new", {}}}, false, false, 2},
      {"a selection in a folder without a path", {{"", {"My Documents"}}, {"/new", {"x"}}}, false, false, 2},
      {"one state only", {{"/new", {}}}, false, true, 1},
      {"twenty states", twenty, true, true, 20},
      {"twenty-one states", twentyOne, false, true, 21},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> states = StatesOf(c.pairs);
    ASSERT_EQ(states.size(), c.states) << c.what;
    const SourceVerdict v = JudgeStates(states, IsDir, 20);
    EXPECT_EQ(v.valid, c.valid) << c.what;
    EXPECT_EQ(v.allDirectories, c.allDirectories) << c.what;
    EXPECT_EQ(v.isDirectory.size(), states.size()) << c.what;
  }
}

TEST(PickerStates, StatesKeepListOrderAndFoldersGetOneSeparator) {
  EXPECT_EQ(PickerStates("C:\\old", {"b.dll", "a.exe"}), (std::vector<std::string>{"C:\\old\\b.dll", "C:\\old\\a.exe"}));
  EXPECT_EQ(PickerStates("C:\\", {}), (std::vector<std::string>{"C:\\"}));
  EXPECT_EQ(PickerStates("C:\\old", {}), (std::vector<std::string>{"C:\\old\\"}));
  // Without a file-system folder no state is a bare name.
  for (const std::string& s : PickerStates("", {"a", "b"})) EXPECT_EQ(s, "");
}

TEST(PickerStates, PatchTypesAndTheOutputName) {
  EXPECT_EQ(EnginePatchType(0), 0u);
  EXPECT_EQ(EnginePatchType(1), 1u);
  EXPECT_EQ(EnginePatchType(2), 3u);
  EXPECT_EQ(EnginePatchType(-1), 0u);
  EXPECT_EQ(EngineOutputName("C:\\out\\fix.zip", 0), "C:\\out\\fix.utp");
  EXPECT_EQ(EngineOutputName("C:\\out.d\\fix", 3), "C:\\out.d\\fix.exe");
}
