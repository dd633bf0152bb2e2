// The shell locator against Wine's real namespace: folders of a scratch
// tree, the desktop, a special folder and the "Pidl" property's bytes.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "../shelllayer/shell_test_common.h"
#include "classes.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/shelllocator.h"
#include "win/shellutils.h"

using shelltest::Scratch;

namespace {

class ShellEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Application->Initialize();
  }
};
::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(ShellLocator, ChangesAssignmentAndPaths) {
  std::string a = Scratch("loc\\A"), b = Scratch("loc\\B");
  TPTShellLocator loc, other;
  int changes = 0;
  loc.OnChange = [&](TObject* sender) {
    EXPECT_EQ(&loc, sender);
    ++changes;
  };
  loc.SetPath(a);
  EXPECT_EQ(1, changes);
  EXPECT_EQ(Upper(a), Upper(loc.GetPath()));
  EXPECT_EQ(0, loc.Kind());
  EXPECT_EQ(CSIDL_DRIVES, loc.SpecialFolder());
  loc.SetPath(a);  // the same folder again: no change
  EXPECT_EQ(1, changes);

  // Assigning itself or an equal locator changes nothing.
  loc.Assign(&loc);
  other.SetPath(a);
  loc.Assign(&other);
  EXPECT_EQ(1, changes);
  other.SetPath(b);
  loc.Assign(&other);
  EXPECT_EQ(2, changes);
  EXPECT_EQ(Upper(b), Upper(loc.GetPath()));

  // The desktop's empty list is held as none; an unparsable path gives the
  // desktop too.
  static const USHORT empty = 0;
  loc.SetPidl(reinterpret_cast<LPCITEMIDLIST>(&empty));
  EXPECT_EQ(3, changes);
  EXPECT_FALSE(loc.HoldsList());
  EXPECT_EQ(nullptr, loc.GetPidl());
  loc.SetPath(a);
  loc.SetPath("Q:\\<no such>\\*?");
  EXPECT_EQ(5, changes);
  EXPECT_FALSE(loc.HoldsList());
  loc.Clear();
  EXPECT_EQ(5, changes);

  // A special folder is asked for on first use; leaving it is a change.
  loc.SetSpecialFolder(CSIDL_PERSONAL);
  EXPECT_EQ(6, changes);
  EXPECT_FALSE(loc.HoldsList());
  EXPECT_EQ(Upper(SpecialFolderPath(nullptr, CSIDL_PERSONAL)), Upper(loc.GetPath()));
  loc.SetPidl(nullptr);
  EXPECT_EQ(7, changes);
  EXPECT_EQ(0, loc.Kind());

  // Other classes: the class library's assignment error.
  TStringList strings;
  EXPECT_THROW(loc.Assign(&strings), EConvertError);
}

TEST(ShellLocator, PidlPropertyBytesRoundTripAndBadStreamsLeaveItAlone) {
  std::string a = Scratch("loc\\A\\deeper");
  TPTShellLocator loc, copy;
  std::vector<TPTBinaryProperty> props;
  loc.DefineProperties(props);
  ASSERT_EQ(1u, props.size());
  EXPECT_EQ("Pidl", props[0].Name);
  EXPECT_FALSE(props[0].HasData);  // the desktop: nothing stored

  loc.SetPath(a);
  TMemoryStream s;
  loc.WritePidl(&s);
  UINT n = PidlSize(loc.GetPidl());
  EXPECT_EQ(5 + n, static_cast<UINT>(s.Size()));
  s.SetPosition(0);
  int changes = 0;
  copy.OnChange = [&](TObject*) { ++changes; };
  copy.ReadPidl(&s);
  EXPECT_EQ(Upper(a), Upper(copy.GetPath()));
  EXPECT_EQ(0, changes);  // reading a form is not a change

  TPTShellLocator special;
  special.SetSpecialFolder(CSIDL_PERSONAL);
  TMemoryStream t;
  special.WritePidl(&t);
  ASSERT_EQ(2, t.Size());
  EXPECT_EQ(1, static_cast<uint8_t*>(t.Memory())[0]);
  EXPECT_EQ(CSIDL_PERSONAL, static_cast<uint8_t*>(t.Memory())[1]);
  t.SetPosition(0);
  copy.ReadPidl(&t);
  EXPECT_EQ(1, copy.Kind());
  EXPECT_EQ(CSIDL_PERSONAL, copy.SpecialFolder());

  // A list cut short: refused, the locator keeps its special folder.
  s.SetSize(s.Size() - 1);
  s.SetPosition(0);
  EXPECT_THROW(copy.ReadPidl(&s), EReadError);
  EXPECT_EQ(1, copy.Kind());
  EXPECT_EQ(CSIDL_PERSONAL, copy.SpecialFolder());
}

}  // namespace
