// Portable kit routines: list and path helpers, version comparison and the
// path-variable expanders.
#include <gtest/gtest.h>

#include "classes.h"
#include "exceptions.h"
#include "kitroutines.h"
#include "pathspec.h"
#include "test_support.h"
#include "versionres.h"

TEST(KitStrings, GetItemCountsFromOneAndRunsOutEmpty) {
  EXPECT_EQ(GetItem("a;b;c", 1, ';'), "a");
  EXPECT_EQ(GetItem("a;b;c", 2, ';'), "b");
  EXPECT_EQ(GetItem("a;b;c", 3, ';'), "c");
  EXPECT_EQ(GetItem("a;b;c", 4, ';'), "");
  EXPECT_EQ(GetItem("abc", 1, ';'), "abc");
  EXPECT_EQ(GetItem("a;;c", 2, ';'), "");
  EXPECT_EQ(GetItem("a,b", 2, ','), "b");
}

TEST(KitStrings, CountItemsHonoursTheGivenSeparator) {
  EXPECT_EQ(CountItems("a;b;", ';'), 2);
  EXPECT_EQ(CountItems("a;b", ';'), 2);
  EXPECT_EQ(CountItems("", ';'), 0);
  // A list split at "," must not count a trailing ";" as the end of a list.
  EXPECT_EQ(CountItems("a,b,", ','), 2);
  EXPECT_EQ(CountItems("a,b;", ','), 2);
  EXPECT_EQ(CountItems("a;b", ','), 1);
}

TEST(KitStrings, SplitToListReplacesTheListsContents) {
  TStringList list;
  list.Add("old");
  SplitToList("C:\\a;D:\\b;", ';', &list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "C:\\a");
  EXPECT_EQ(list[1], "D:\\b");
  SplitToList("", ';', &list);
  EXPECT_EQ(list.Count(), 0);
}

TEST(KitStrings, BackslashesColonsAndFileNames) {
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("C:"), "C:\\");
  EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
  EXPECT_EQ(RemoveBackslash("C:\\"), "C:");
  EXPECT_EQ(RemoveBackslash("C:\\a\\\\"), "C:\\a\\");
  EXPECT_EQ(RemoveBackslash(""), "");
  EXPECT_EQ(AfterColon("Disk:2:x"), "2:x");
  EXPECT_EQ(AfterColon("none"), "");
  EXPECT_EQ(CleanFileName("a/b \"c*:;<>?\\|d"), "a-b cd");
}

TEST(KitIniFiles, SectionsAreTheBracketedLines) {
  std::string file = testsupport::Join(testsupport::ScratchDir(), "sections.ini");
  testsupport::WriteFileText(file,
                             "[Group]\r\nkey=value\r\n  [Indented]  \r\n[\r\n[Group\r\n; [not]\r\n");
  TStringList list;
  list.Add("stale");
  ListIniSections(file, &list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "Group");
  EXPECT_EQ(list[1], "Indented");
  EXPECT_EQ(list[2], "Grou");
  ListIniSections(file, nullptr);  // no list: nothing to do, no crash
}

TEST(KitComponents, SetUniqueNameSkipsTakenNames) {
  TComponent owner(nullptr);
  TComponent* a = new TComponent(&owner);
  TComponent* b = new TComponent(&owner);
  TComponent* c = new TComponent(&owner);
  SetUniqueName(a, "MainTranslator");
  SetUniqueName(b, "MainTranslator");
  SetUniqueName(c, "MainTranslator");
  EXPECT_EQ(a->Name(), "MainTranslator");
  EXPECT_EQ(b->Name(), "MainTranslator1");
  EXPECT_EQ(c->Name(), "MainTranslator2");
}

TEST(KitExceptions, FamiliesAndFixedMessages) {
  EXPECT_EQ(EAIUserAbort().Message(), "Installation aborted by the user");
  EXPECT_EQ(EqcDiskFull().Message(), "The disk is full");
  EXPECT_EQ(EqcAborted().Message(), "Operation aborted by user");
  EXPECT_EQ(ECompressionError().Message(), "error");
  // With no translator the message stays as given, formatted after.
  IEfcDuplicateFile dup("Duplicate %s in %s", {"a.txt", "Group1"});
  EXPECT_EQ(dup.Message(), "Duplicate a.txt in Group1");
  try {
    throw IEbdeCannotFindQuenlowPath("x");
  } catch (const ECustomQuenlowAbnormal& e) {
    EXPECT_NE(dynamic_cast<const IException*>(&e), nullptr);
  }
  try {
    throw EqcAborted();
  } catch (const EQuenlowAbnormal& e) {
    EXPECT_NE(dynamic_cast<const EQnlwCompress*>(&e), nullptr);
  }
}

TEST(Versions, CompareVersionsPartByPart) {
  EXPECT_EQ(CompareVersions("1.2.0", "1.2"), 1);
  EXPECT_EQ(CompareVersions("1.2", "1.2.0"), 2);
  EXPECT_EQ(CompareVersions("1.10", "1.9"), 1);
  EXPECT_EQ(CompareVersions("1.9", "1.10"), 2);
  EXPECT_EQ(CompareVersions("1.2a", "1.2b"), 2);
  EXPECT_EQ(CompareVersions("1.2b", "1.2a"), 1);
  EXPECT_EQ(CompareVersions("4.0.1381.4", "4.0.1381.4"), 0);
  EXPECT_EQ(CompareVersions("", ""), 0);
  EXPECT_EQ(CompareVersions("1", ""), 1);
  EXPECT_EQ(CompareVersions("", "0"), 2);
  // A number against a word falls back to bytes: "9" < "a".
  EXPECT_EQ(CompareVersions("9", "a"), 2);
  // Byte comparison is unsigned, so high characters sort last.
  EXPECT_EQ(CompareVersions("\xE9", "z"), 1);
}

TEST(Versions, OutOfTableKeysRaise) {
  EXPECT_EQ(FileSubTypeText(3, 11), "Unknown");
  EXPECT_EQ(FileSubTypeText(1, 3), "");
  EXPECT_THROW(VersionLanguageId(static_cast<TVersionLanguage>(45)), Exception);
  EXPECT_THROW(CharacterSetCodePage(static_cast<TCharacterSet>(12)), Exception);
}

TEST(Expansion, PathVariable) {
  EXPECT_EQ(ExpandPathVariable("%P\\App", "C:\\Program Files"), "C:\\Program Files\\App");
  // "%1" reaches the program a file type starts as the file's place.
  EXPECT_EQ(ExpandPathVariable("\"%p\\run.exe\" %1", "C:\\X"), "\"C:\\X\\run.exe\" %1");
  EXPECT_EQ(ExpandPathVariable("100%%", "C:\\X"), "100%");
  EXPECT_EQ(ExpandPathVariable("abc%", "C:\\X"), "abc%");
  EXPECT_EQ(ExpandPathVariable("%P %p %%x %", "C:\\P"), "C:\\P C:\\P %x %");
}

TEST(Expansion, MetaVariablesWithoutFolders) {
  EXPECT_EQ(ExpandMetaVariables("100%%", nullptr), "100%");
  EXPECT_EQ(ExpandMetaVariables("%x", nullptr), "");
  EXPECT_EQ(ExpandMetaVariables("abc%", nullptr), "abc");
  EXPECT_THROW(ExpandMetaVariables("%a\\x", nullptr), EAICannotExpandContainerDirMV);
  EXPECT_THROW(ExpandMetaVariables("%C", nullptr), EAICannotExpandContainerDirMV);
  EXPECT_THROW(ExpandMetaVariables("%i", nullptr), EAICannotExpandInstallDirMV);
}

TEST(Versions, DecisionsForFilesWithoutResources) {
  const std::string dir = testsupport::ScratchDir();
  const std::string a = testsupport::Join(dir, "a.bin");
  const std::string b = testsupport::Join(dir, "b.bin");
  const std::string missing = testsupport::Join(dir, "missing.bin");
  testsupport::WriteFileText(a, "a");
  testsupport::WriteFileText(b, "b");
  const TDateTime early = EncodeDate(1999, 12, 31) + EncodeTime(23, 58, 0, 0);
  const TDateTime late = EncodeDate(2000, 1, 1) + EncodeTime(0, 0, 2, 0);
  ASSERT_TRUE(FileSetDate(a, DateTimeToFileDate(early)));
  ASSERT_TRUE(FileSetDate(b, DateTimeToFileDate(late)));
  // Two files without versions are the same under the version rule.
  EXPECT_EQ(DecideOverwriteFiles(a, b, owVersion), odSame);
  EXPECT_EQ(DecideOverwrite("", b, owVersion, 0), odSame);
  EXPECT_EQ(DecideOverwrite("1.0", b, owVersion, 0), odReplace);
  EXPECT_EQ(DecideOverwriteFiles(a, b, owVersionDate), odKeep);
  EXPECT_EQ(DecideOverwriteFiles(b, a, owVersionDate), odReplace);
  EXPECT_EQ(DecideOverwrite("", a, owDate, late), odReplace);
  EXPECT_EQ(DecideOverwrite("", a, owDate, early), odSame);
  EXPECT_EQ(DecideOverwrite("", missing, owDate, early), odUndecided);
  EXPECT_EQ(DecideOverwriteFiles(missing, a, owVersionDate), odUndecided);
  EXPECT_EQ(DecideOverwrite("", " ", owNever, 0), odReplace);
  EXPECT_EQ(DecideOverwrite("", a, owNever, 0), odKeep);
  EXPECT_EQ(DecideOverwriteFiles(a, missing, owNever), odReplace);
}
