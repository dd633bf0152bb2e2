#include <windows.h>

#include <gtest/gtest.h>

#include <oleauto.h>
#include <shellapi.h>

#include <climits>
#include <cstring>

#include "classes.h"
#include "win/clipboard.h"
#include "win/inifiles.h"
#include "win/registry.h"
#include "sysutils.h"
#include "test_support.h"

namespace {

// Runs a command line in another process and returns what it printed.
std::string RunAndCapture(const std::string& cmdline) {
  std::string out;
  testsupport::RunWindows(cmdline, &out);
  return out;
}

const char kTestKey[] = "\\Software\\MorvaneClasslibTest";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { TRegistry().DeleteKey(kTestKey); }
  void TearDown() override { TRegistry().DeleteKey(kTestKey); }
};

}  // namespace

TEST_F(RegistryTest, TypedValuesAreSeenByRegQuery) {
  TRegistry reg;
  ASSERT_FALSE(reg.OpenKey(std::string(kTestKey) + "\\Sub", false));  // missing: an answer
  ASSERT_TRUE(reg.OpenKey(std::string(kTestKey) + "\\Sub", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\MorvaneClasslibTest\\Sub");
  reg.WriteString("Text", "hello world");
  reg.WriteInteger("Number", -2);
  reg.WriteBool("Flag", true);
  reg.WriteFloat("When", 36586.5);
  const unsigned char blob[3] = {0x01, 0xAB, 0xFF};
  reg.WriteBinaryData("Blob", blob, 3);
  reg.WriteString("", "default");
  reg.CloseKey();

  std::string out = RunAndCapture("reg.exe query HKCU\\Software\\MorvaneClasslibTest\\Sub");
  EXPECT_NE(out.find("hello world"), std::string::npos) << out;
  EXPECT_NE(out.find("REG_DWORD"), std::string::npos) << out;
  EXPECT_NE(out.find("0xfffffffe"), std::string::npos) << out;
  EXPECT_NE(out.find("01ABFF"), std::string::npos) << out;
  // 36586.5 as the little-endian bytes of a double.
  EXPECT_NE(out.find("0000000050DDE140"), std::string::npos) << out;
  EXPECT_NE(out.find("default"), std::string::npos) << out;

  ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(kTestKey) + "\\Sub"));
  EXPECT_EQ(reg.ReadString("Text"), "hello world");
  EXPECT_EQ(reg.ReadString(""), "default");
  EXPECT_EQ(reg.ReadInteger("Number"), -2);
  EXPECT_TRUE(reg.ReadBool("Flag"));
  EXPECT_EQ(reg.ReadFloat("When"), 36586.5);
  unsigned char back[8];
  EXPECT_EQ(reg.ReadBinaryData("Blob", back, sizeof back), 3);
  EXPECT_EQ(back[1], 0xAB);
  unsigned char tiny[2];
  EXPECT_THROW(reg.ReadBinaryData("Blob", tiny, 2), ERegistryException);
  EXPECT_EQ(reg.GetDataType("Number"), rdInteger);
  EXPECT_EQ(reg.GetDataSize("Text"), 12);
  EXPECT_EQ(reg.GetDataSize("Missing"), -1);
  // Missing values: a string reads empty, the typed reads raise.
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("Text"), ERegistryException);
  EXPECT_THROW(reg.ReadFloat("Number"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
  // A read-only key refuses writes with an exception, not silently.
  EXPECT_THROW(reg.WriteString("Text", "x"), ERegistryException);
}

TEST_F(RegistryTest, KeysRelativeAbsoluteEnumerationAndDeletion) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kTestKey, true));
  ASSERT_TRUE(reg.OpenKey("A\\Deep", true));  // relative to the current key
  EXPECT_EQ(reg.CurrentPath(), "Software\\MorvaneClasslibTest\\A\\Deep");
  reg.WriteString("v", "1");
  ASSERT_TRUE(reg.OpenKey(kTestKey, false));  // a leading "\" starts at the root
  reg.CreateKey("B");
  reg.WriteInteger("x", 1);
  reg.WriteInteger("y", 2);
  EXPECT_TRUE(reg.HasSubKeys());
  TStringList names;
  reg.GetKeyNames(&names);
  names.Sort();
  EXPECT_EQ(names.CommaText(), "A,B");
  reg.GetValueNames(&names);
  names.Sort();
  EXPECT_EQ(names.CommaText(), "x,y");
  EXPECT_TRUE(reg.KeyExists("A\\Deep"));
  EXPECT_TRUE(reg.KeyExists(std::string(kTestKey) + "\\B"));
  EXPECT_FALSE(reg.KeyExists("C"));
  EXPECT_TRUE(reg.ValueExists("x"));
  EXPECT_TRUE(reg.DeleteValue("x"));
  EXPECT_FALSE(reg.ValueExists("x"));
  // A key with subkeys goes as a whole.
  EXPECT_TRUE(reg.DeleteKey("A"));
  EXPECT_FALSE(reg.KeyExists("A"));
  EXPECT_FALSE(reg.DeleteKey("A"));
  reg.CloseKey();
  std::string out = RunAndCapture("reg.exe query HKCU\\Software\\MorvaneClasslibTest\\A");
  EXPECT_EQ(out.find("Deep"), std::string::npos) << out;

  TRegistry machine(KEY_READ);
  machine.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(machine.KeyExists("\\Software"));
  EXPECT_FALSE(machine.OpenKey("\\Software\\NoSuchVendorHere\\X", false));
}

TEST(IniFileTest, ReadWriteSectionsAndErase) {
  const std::string name = testsupport::Join(testsupport::ScratchDir(), "test.ini");
  {
    TIniFile ini(name);
    ini.WriteString("InternetShortcut", "URL", "http://127.0.0.1/x");
    ini.WriteInteger("Numbers", "Count", 42);
    ini.WriteBool("Numbers", "On", true);
    ini.WriteString("Other", "Long", std::string(5000, 'z'));
    ini.UpdateFile();
  }
  auto bytes = testsupport::ReadFileBytes(name);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("[InternetShortcut]\r\nURL=http://127.0.0.1/x\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Count=42"), std::string::npos) << text;
  EXPECT_NE(text.find("On=1"), std::string::npos) << text;

  testsupport::WriteFileText(name, "[S]\r\na=1\r\nhex=0x1F\r\nbad=12abc\r\nb=two words\r\n[T]\r\nk=v\r\n");
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadInteger("S", "a", 0), 1);
  EXPECT_EQ(ini.ReadInteger("S", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "bad", 7), 7);
  EXPECT_EQ(ini.ReadString("S", "b", ""), "two words");
  EXPECT_EQ(ini.ReadString("S", "missing", "dflt"), "dflt");
  EXPECT_TRUE(ini.ReadBool("S", "a", false));
  TStringList list;
  ini.ReadSection("S", &list);
  EXPECT_EQ(list.CommaText(), "a,hex,bad,b");
  ini.ReadSections(&list);
  EXPECT_EQ(list.CommaText(), "S,T");
  ini.ReadSectionValues("T", &list);
  EXPECT_EQ(list.Values("k"), "v");
  EXPECT_TRUE(ini.ValueExists("S", "hex"));
  ini.DeleteKey("S", "hex");
  EXPECT_FALSE(ini.ValueExists("S", "hex"));
  ini.EraseSection("S");
  EXPECT_FALSE(ini.SectionExists("S"));
  EXPECT_TRUE(ini.SectionExists("T"));
  ini.UpdateFile();
  bytes = testsupport::ReadFileBytes(name);
  text.assign(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("[S]"), std::string::npos) << text;
  EXPECT_NE(text.find("k=v"), std::string::npos) << text;

  TIniFile longOne(name);
  longOne.WriteString("Other", "Long", std::string(5000, 'z'));
  EXPECT_EQ(longOne.ReadString("Other", "Long", "").size(), 5000u);
}

TEST(ClipboardTest, TextRoundTrip) {
  Clipboard()->SetAsText("clip \xE4 text");
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->AsText(), "clip \xE4 text");
  Clipboard()->Clear();
  EXPECT_EQ(Clipboard()->AsText(), "");
}

TEST(WindowsSysUtils, MulDivMatchesTheSystem) {
  const int values[] = {0, 1, -1, 2, -2, 3, 5, -5, 7, 12, 100, 255, 256, 30000, -30000, 65536, 1 << 20,
                        INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1};
  for (int a : values)
    for (int b : values)
      for (int c : values) {
        if (c < 0) continue;  // the system's rounding with negative divisors is its own
        EXPECT_EQ(PortableMulDiv(a, b, c), MulDiv(a, b, c)) << a << " " << b << " " << c;
      }
}

TEST(WindowsSysUtils, ShareModesAreEnforced) {
  const std::string name = testsupport::Join(testsupport::ScratchDir(), "shared.bin");
  TFileStream writer(name, fmCreate | fmShareDenyWrite);
  writer.WriteBuffer("abc", 3);
  EXPECT_NO_THROW(TFileStream(name, fmOpenRead | fmShareDenyNone));
  EXPECT_THROW(TFileStream(name, fmOpenReadWrite | fmShareDenyNone), EFOpenError);
  {
    TFileStream exclusive(testsupport::Join(testsupport::ScratchDir(), "excl.bin"), fmCreate | fmShareExclusive);
    EXPECT_THROW(TFileStream(exclusive.FileName(), fmOpenRead | fmShareDenyNone), EFOpenError);
  }
  EXPECT_EQ(ExtractFileDrive(ExpandFileName("x")).size(), 2u);
}

TEST(WindowsSysUtils, CommandLineSplitsLikeTheShell) {
  const char* lines[] = {
      "p a b", "p \"a b\" c", "p a\"b c\"d", "p C:\\dir\\ x", "p \\\\\"x y\"", "p \\\"q", "p a\\\\\\\"b",
      "p -s\"C:\\Some Dir\" -c", "p \"\" x", "p \"unterminated arg", "p \ta\t\tb",
  };
  for (const char* line : lines) {
    int argc = 0;
    std::wstring wide(line, line + std::strlen(line));
    LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &argc);
    ASSERT_NE(argv, nullptr);
    std::vector<std::string> expected;
    for (int i = 0; i < argc; ++i) {
      std::string narrow;
      for (const wchar_t* w = argv[i]; *w; ++w) narrow += static_cast<char>(*w);
      expected.push_back(narrow);
    }
    LocalFree(argv);
    EXPECT_EQ(SplitCommandLine(line), expected) << line;
  }
}

TEST(WindowsSysUtils, DatesAgreeWithTheSystemsVariantTime) {
  const WORD dates[][6] = {{1899, 12, 30, 0, 0, 0}, {1900, 2, 28, 12, 0, 0}, {1900, 3, 1, 6, 30, 15},
                           {1980, 1, 1, 0, 0, 0},   {2000, 2, 29, 23, 59, 58}, {2038, 1, 19, 3, 14, 8},
                           {2107, 12, 31, 23, 59, 58}, {9999, 12, 31, 0, 0, 1}};
  for (const auto& d : dates) {
    SYSTEMTIME st{};
    st.wYear = d[0];
    st.wMonth = d[1];
    st.wDay = d[2];
    st.wHour = d[3];
    st.wMinute = d[4];
    st.wSecond = d[5];
    double variant = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &variant));
    TDateTime ours = EncodeDate(d[0], d[1], d[2]) + EncodeTime(d[3], d[4], d[5], 0);
    EXPECT_NEAR(ours, variant, 1e-9) << d[0] << "-" << d[1] << "-" << d[2];
    int y, m, day;
    DecodeDate(variant, y, m, day);
    EXPECT_EQ(y * 10000 + m * 100 + day, d[0] * 10000 + d[1] * 100 + d[2]);
    // The system's DOS conversion agrees with ours where DOS dates exist.
    FILETIME ft;
    WORD dosDate, dosTime;
    if (d[0] >= 1980 && d[0] <= 2107 && SystemTimeToFileTime(&st, &ft) &&
        FileTimeToDosDateTime(&ft, &dosDate, &dosTime)) {
      EXPECT_EQ(DateTimeToFileDate(ours), static_cast<int>((static_cast<unsigned>(dosDate) << 16) | dosTime));
    }
  }
}
