// Patch names as the pages propose and rename them, and which typed texts
// become receivers.
#include <gtest/gtest.h>

#include "patchnames.h"

TEST(PatchNames, AbsoluteNamesStayAndOthersGoOnTheDesktop) {
  const std::string desktop = "C:\\users\\me\\Desktop";
  EXPECT_EQ(ProposedPatchName("D:\\out\\fix.utp", desktop), "D:\\out\\fix.utp");
  EXPECT_EQ(ProposedPatchName("\\\\server\\share\\fix.utp", desktop), "\\\\server\\share\\fix.utp");
  EXPECT_EQ(ProposedPatchName("YourPatch.utp", desktop), desktop + "\\YourPatch.utp");
  EXPECT_EQ(ProposedPatchName("x", desktop), desktop + "\\x");
  EXPECT_EQ(ProposedPatchName("", desktop), desktop + "\\");
  EXPECT_EQ(ProposedPatchName("C:", desktop), desktop + "\\C:");
  EXPECT_FALSE(IsAbsolutePatchName("\\"));
  EXPECT_FALSE(IsAbsolutePatchName("C:fix.utp"));
}

TEST(PatchNames, ExtensionsFollowTypeArchiveAndTheUsersSuffix) {
  EXPECT_EQ(ReplaceExtension("C:\\out\\fix.utp", ".exe"), "C:\\out\\fix.exe");
  EXPECT_EQ(ReplaceExtension("C:\\out.d\\fix", ".zip"), "C:\\out.d\\fix.zip");
  EXPECT_EQ(ReplaceExtension("C:\\out\\fix.tar.gz", ".utp"), "C:\\out\\fix.tar.utp");
  EXPECT_EQ(ReplaceExtension("C:fix.exe", ".utp"), "C:fix.utp");
  EXPECT_EQ(ReplaceExtension("", ".utp"), ".utp");
  EXPECT_EQ(PatchFileExtension(true, false, ".zip"), ".utp");
  EXPECT_EQ(PatchFileExtension(false, false, ".zip"), ".exe");
  // A suffix the user set before any run is the one the run writes.
  EXPECT_EQ(PatchFileExtension(true, true, ".myarc"), ".myarc");
}

TEST(PatchNames, TypedReceiversNeedOneAtAndAreNotRepeated) {
  const std::vector<std::string> existing{"ann@example.org"};
  EXPECT_TRUE(CanAddTypedReceiver("bob@example.org", "<type an address>", existing));
  EXPECT_FALSE(CanAddTypedReceiver("", "<type an address>", existing));
  EXPECT_FALSE(CanAddTypedReceiver("<type an address>", "<type an address>", existing));
  EXPECT_FALSE(CanAddTypedReceiver("bob@example@org", "", existing));
  EXPECT_FALSE(CanAddTypedReceiver("bob.example.org", "", existing));
  EXPECT_FALSE(CanAddTypedReceiver("ANN@example.org", "", existing));
}
