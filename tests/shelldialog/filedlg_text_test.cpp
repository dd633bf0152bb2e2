// The file dialog's rules for typed text and filter lists over real cases,
// and a seeded mutation loop that the sanitizers watch for reads outside
// the text.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "filedlgtext.h"

using filedlg::ApplyDefaultExt;
using filedlg::CombinePath;
using filedlg::SplitTypedNames;
using Names = std::vector<std::string>;

TEST(FileDialogText, SplitsQuotedNamesAndKeepsPlainTextAsTyped) {
  EXPECT_EQ((Names{"old version.dat", "new.dat"}), SplitTypedNames("\"old version.dat\"   \"new.dat\"   "));
  // An open quote takes the rest; nothing is read past the end.
  EXPECT_EQ((Names{"a.dat", "b c"}), SplitTypedNames("\"a.dat\" \"b c  "));
  EXPECT_EQ((Names{}), SplitTypedNames("\""));
  EXPECT_EQ((Names{}), SplitTypedNames("\"\"  \"\""));
  // A word outside quotes is a name too, not lost.
  EXPECT_EQ((Names{"x.dat", "y.dat"}), SplitTypedNames("x.dat \"y.dat\""));
  // Without quotes the text is one name with its blanks.
  EXPECT_EQ((Names{"my file.txt "}), SplitTypedNames("my file.txt "));
}

TEST(FileDialogText, RefusesWhatTheFileSystemCannotTake) {
  for (const char* bad : {"a|b", "a<b", "b>", "dir/file", "C:\\x\\\\y", "\\\\server\\\\share"})
    EXPECT_TRUE(filedlg::HasForbiddenChars(bad)) << bad;
  for (const char* good : {"\\\\server\\share\\f.dat", "C:\\x\\y", "name.", "*.dat", "\\\\\\x", "ab"})
    EXPECT_FALSE(filedlg::HasForbiddenChars(good)) << good;
}

TEST(FileDialogText, DeviceNamesAreNoFilesButNamesLikeThemAre) {
  for (const char* device : {"nul", "NUL", "con.utp", "C:\\out\\aux.txt", "Com1", "lpt9.tar.gz", "prn .utp", "nul."})
    EXPECT_TRUE(filedlg::IsDeviceName(device)) << device;
  for (const char* file : {"null", "console.txt", "com0", "com10", "lpt", "auxiliary.utp", "C:\\nul\\x.utp", "xcon"})
    EXPECT_FALSE(filedlg::IsDeviceName(file)) << file;
  for (const char* rooted : {"C:\\x.utp", "c:x", "\\\\server\\share\\x"}) EXPECT_TRUE(filedlg::IsRooted(rooted)) << rooted;
  for (const char* loose : {"rel2.utp", "\\x.utp", "..\\x", ""}) EXPECT_FALSE(filedlg::IsRooted(loose)) << loose;
}

TEST(FileDialogText, WildcardsCountOnlyInTheNamePart) {
  EXPECT_TRUE(filedlg::IsMask("*.dat"));
  EXPECT_TRUE(filedlg::IsMask("..\\sub\\rep?rt.*"));
  EXPECT_FALSE(filedlg::IsMask("C:\\odd*dir\\file.dat"));
  EXPECT_EQ("..\\sub\\", filedlg::DirPart("..\\sub\\*.dat"));
  EXPECT_EQ("*.dat", filedlg::NamePart("C:*.dat"));
}

TEST(FileDialogText, DefaultExtensionByWhatTheRegistryKnows) {
  auto registered = [](const std::string& ext) { return ext == ".txt" || ext == ".TXT"; };
  struct Case {
    const char* name;
    const char* result;
    bool different;
  } cases[] = {
      {"patch", "patch.utp", false},
      {"notes.zq9", "notes.zq9.utp", false},
      {"readme.txt", "readme.txt", true},
      {"README.TXT", "README.TXT", true},
      {"name.", "name.utp", false},
      {"C:\\v1.2\\patch", "C:\\v1.2\\patch.utp", false},
  };
  for (const Case& c : cases) {
    filedlg::DefaultExtResult r = ApplyDefaultExt(c.name, "utp", registered);
    EXPECT_EQ(c.result, r.Name) << c.name;
    EXPECT_EQ(c.different, r.ExtensionDifferent) << c.name;
  }
  EXPECT_EQ("patch", ApplyDefaultExt("patch", "", registered).Name);
}

TEST(FileDialogText, CombinesTypedNamesWithTheFolderShown) {
  const std::string f = "C:\\data\\sub";
  EXPECT_EQ("C:\\data\\sub\\x.dat", CombinePath(f, "x.dat"));
  EXPECT_EQ("C:\\data\\sub\\x.dat", CombinePath(f + "\\", ".\\x.dat"));
  EXPECT_EQ("C:\\x.dat", CombinePath(f, "\\x.dat"));
  EXPECT_EQ("D:\\y\\z.dat", CombinePath(f, "D:\\y\\z.dat"));
  EXPECT_EQ("C:\\data\\z.dat", CombinePath(f, "..\\z.dat"));
  EXPECT_EQ("C:\\w", CombinePath(f, "..\\..\\..\\..\\w"));
  EXPECT_EQ("C:\\data\\sub", CombinePath(f, ""));
  EXPECT_EQ("\\\\srv\\share\\f.dat", CombinePath(f, "\\\\srv\\share\\f.dat"));
  EXPECT_EQ("\\\\srv\\share\\x", CombinePath("\\\\srv\\share\\dir", "\\x"));
  EXPECT_EQ("\\\\srv\\share\\x", CombinePath("\\\\srv\\share\\dir", "..\\..\\x"));
}

TEST(FileDialogText, FilterListOfTheMainWindow) {
  auto e = filedlg::ParseFilter("Plain patchfile|*.utp|Executable patchfile|*.exe|All files|*.*");
  ASSERT_EQ(3u, e.size());
  EXPECT_EQ("Executable patchfile", e[1].Description);
  EXPECT_EQ("*.exe", e[1].Masks);
  EXPECT_EQ("*.*", e[2].Masks);
  auto odd = filedlg::ParseFilter("Texts|*.txt;*.doc|Lonely");
  ASSERT_EQ(2u, odd.size());
  EXPECT_EQ("*.txt;*.doc", odd[0].Masks);
  EXPECT_EQ("", odd[1].Masks);
  EXPECT_TRUE(filedlg::ParseFilter("").empty());
  EXPECT_EQ("\"a b\" \"c\"", filedlg::QuoteNames({"a b", "c"}));
}

// Mutations of real typed texts: every name comes from the text, holds no
// quote when the text had any, and combining never leaves a ".." part.
TEST(FileDialogText, MutatedTypedTextStaysInsideTheText) {
  const std::vector<std::string> seeds = {
      "\"old version.dat\" \"new.dat\"  ", "\"a.dat\" \"b", "C:\\x\\\\y", "\\\\server\\share\\f", "*.dat",
      "..\\..\\sub\\rep?rt.txt", "name.", "a|b", "\"\"\"", "notes.zq9"};
  const std::string alphabet = "\"\\/ .:*?|<>aZ9\t";
  std::mt19937 rng(20261209);
  for (int round = 0; round < 20000; ++round) {
    std::string text = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < edits; ++k) {
      const size_t at = text.empty() ? 0 : rng() % (text.size() + 1);
      switch (rng() % 4) {
        case 0: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
        case 1: if (at < text.size()) text.erase(at, 1); break;
        case 2: text.resize(at); break;
        default: text.insert(at, 1, static_cast<char>(rng() % 256)); break;
      }
    }
    // Exactly as long as the text: the sanitizer sees any read beyond it.
    std::vector<char> exact(text.begin(), text.end());
    const std::string view(exact.data(), exact.size());
    const bool quoted = view.find('"') != std::string::npos;
    for (const std::string& name : SplitTypedNames(view)) {
      ASSERT_NE(std::string::npos, view.find(name)) << view;
      if (quoted) {
        ASSERT_EQ(std::string::npos, name.find('"')) << view;
      }
      filedlg::HasForbiddenChars(name);
      filedlg::IsMask(name);
      ApplyDefaultExt(name, "utp", [](const std::string& e) { return e == ".txt"; });
      const std::string c = CombinePath("C:\\data\\sub", name);
      if (c.rfind("C:\\", 0) == 0) {
        ASSERT_EQ(std::string::npos, (c + "\\").find("\\..\\")) << view;
      }
    }
    filedlg::ParseFilter(view);
  }
}
