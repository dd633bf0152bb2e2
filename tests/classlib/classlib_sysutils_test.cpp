#include <gtest/gtest.h>

#include <climits>

#include "sysutils.h"
#include "test_support.h"

TEST(SysUtilsNumbers, StrToIntAcceptsDecimalAndHexAndRejectsTheRest) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("  -42"), -42);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
  for (const char* bad : {"", " ", "12 ", "1a", "2147483648", "-2147483649", "$", "$100000000", "0x", "--1", "1.5"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
  EXPECT_EQ(StrToIntDef("x", 5), 5);
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
}

TEST(SysUtilsNumbers, IntToStrAndIntToHex) {
  EXPECT_EQ(IntToStr(-123), "-123");
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
  EXPECT_EQ(IntToHex(-1, 1), "FFFFFFFF");
  EXPECT_EQ(IntToHex(0, 0), "0");
}

TEST(SysUtilsNumbers, MulDivRoundsHalfAwayFromZeroAndFlagsOverflow) {
  EXPECT_EQ(MulDiv(12, 10, 12), 10);
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(5, 1, -2), -3);
  EXPECT_EQ(MulDiv(7, 1, 3), 2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);  // the product needs 64 bits
  EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
  EXPECT_EQ(MulDiv(INT_MIN, 1, 1), -1);
}

TEST(SysUtilsStrings, TrimCaseAndCompare) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(UpperCase("abc\xE4z"), "ABC\xE4Z");
  EXPECT_EQ(LowerCase("ABC_Z"), "abc_z");
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_LT(CompareText("abc", "abd"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_GT(CompareStr("a", "B"), 0);
  // '_' sorts after letters once they are upper-cased.
  EXPECT_GT(CompareText("_", "a"), 0);
  EXPECT_TRUE(SameText("Name", "NAME"));
  EXPECT_FALSE(SameText("Name", "Names"));
  EXPECT_EQ(StringReplace("aXbxc", "x", "--", rfReplaceAll | rfIgnoreCase), "a--b--c");
  EXPECT_EQ(StringReplace("axbxc", "x", "-", 0), "a-bxc");
}

TEST(SysUtilsFormat, Conversions) {
  EXPECT_EQ(Format("%s=%d", {"a", 5}), "a=5");
  EXPECT_EQ(Format("%5d|%-5d|%.3d", 42, 42, 7), "   42|42   |007");
  EXPECT_EQ(Format("%x %.8x %X", 255, 255, -1), "FF 000000FF FFFFFFFF");
  EXPECT_EQ(Format("%u", -1), "4294967295");
  EXPECT_EQ(Format("%.3s|%6s|%-4s|", "abcdef", "ab", "ab"), "abc|    ab|ab  |");
  EXPECT_EQ(Format("%n", 1234567.891), "1,234,567.89");
  EXPECT_EQ(Format("%0.0n", 1234567), "1,234,567");
  EXPECT_EQ(Format("%.0n", 999.5), "1,000");
  EXPECT_EQ(Format("%n", -1234.5), "-1,234.50");
  EXPECT_EQ(Format("%.1f", 2.26), "2.3");
  EXPECT_EQ(Format("%f", 3), "3.00");
  EXPECT_EQ(Format("%e", 1234.5), "1.23450000000000E+003");
  EXPECT_EQ(Format("%g|%g|%g", 0.5, 1e20, 0.00001), "0.5|1E20|1E-5");
  EXPECT_EQ(Format("%*d|%.*d", 4, 1, 3, 2), "   1|002");
  EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("%d", static_cast<int64_t>(-5000000000LL)), "-5000000000");
  EXPECT_EQ(Format("%s", 'c'), "c");
}

TEST(SysUtilsFormat, BadFormatsRaise) {
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%s", 5), EConvertError);
  EXPECT_THROW(Format("%d %d", 1), EConvertError);
  EXPECT_THROW(Format("%q", 1), EConvertError);
  EXPECT_THROW(Format("trailing %"), EConvertError);
  EXPECT_THROW(Format("%n", "x"), EConvertError);
}

TEST(SysUtilsFileNames, SplittingAndChanging) {
  EXPECT_EQ(ExtractFilePath("C:\\dir\\file.txt"), "C:\\dir\\");
  EXPECT_EQ(ExtractFileName("C:\\dir\\file.txt"), "file.txt");
  EXPECT_EQ(ExtractFileName("C:file.txt"), "file.txt");
  EXPECT_EQ(ExtractFileName("/a/b"), "b");
  EXPECT_EQ(ExtractFilePath("file.txt"), "");
  EXPECT_EQ(ExtractFileDir("C:\\dir\\file.txt"), "C:\\dir");
  EXPECT_EQ(ExtractFileDir("C:\\file.txt"), "C:\\");
  EXPECT_EQ(ExtractFileExt("a.b\\c.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("a.b\\c"), "");
  EXPECT_EQ(ExtractFileDrive("C:\\x"), "C:");
  EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\dir\\f"), "\\\\srv\\share");
  EXPECT_EQ(ChangeFileExt("a.b\\name.exe", ".txt"), "a.b\\name.txt");
  EXPECT_EQ(ChangeFileExt("a.b\\name", ".txt"), "a.b\\name.txt");
  EXPECT_EQ(ChangeFileExt("name.exe", ""), "name");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\dir\\"), "C:\\dir");
  EXPECT_EQ(IncludeTrailingBackslash("dir"), std::string("dir") + PathDelim);
  EXPECT_EQ(IncludeTrailingBackslash("dir\\"), "dir\\");
}

TEST(SysUtilsFiles, ExistenceCreationAndExpansion) {
  const std::string root = testsupport::ScratchDir();
  const std::string deep = testsupport::Join(testsupport::Join(testsupport::Join(root, "a"), "b"), "c");
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep + PathDelim));  // already there
  const std::string file = testsupport::Join(deep, "f.txt");
  testsupport::WriteFileText(file, "12345");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(deep));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_EQ(FileSizeOf(file), 5);
  // A file in the way of a folder makes ForceDirectories fail, not succeed.
  EXPECT_FALSE(ForceDirectories(testsupport::Join(file, "sub")));

  int age = FileAge(file);
  ASSERT_NE(age, -1);
  EXPECT_LT(std::abs(FileDateToDateTime(age) - Now()), 1.0 / 24);
  ASSERT_TRUE(FileSetDate(file, DateTimeToFileDate(EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0))));
  EXPECT_EQ(FileAge(file), DateTimeToFileDate(EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0)));
  EXPECT_EQ(FileAge(testsupport::Join(deep, "missing")), -1);

  const std::string renamed = testsupport::Join(deep, "g.txt");
  EXPECT_TRUE(RenameFile(file, renamed));
  EXPECT_TRUE(FileExists(renamed));
  EXPECT_TRUE(DeleteFile(renamed));
  EXPECT_FALSE(DeleteFile(renamed));

  const std::string old = GetCurrentDir();
  ASSERT_TRUE(SetCurrentDir(deep));
  EXPECT_EQ(ExpandFileName("x.txt"), ExpandFileName(deep) + PathDelim + "x.txt");
  EXPECT_EQ(ExpandFileName(std::string("..") + PathDelim + "y"), ExpandFileName(testsupport::Join(testsupport::Join(root, "a"), "b")) + PathDelim + "y");
  SetCurrentDir(old);
}

TEST(SysUtilsDates, EncodeDecodeAndDosTimes) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  int y, m, d, h, mi, s, ms;
  for (TDateTime day : {0.0, 2.0, 36585.0, 36586.0, 73050.0}) {
    DecodeDate(day, y, m, d);
    EXPECT_EQ(EncodeDate(y, m, d), day);
  }
  DecodeTime(EncodeTime(23, 59, 58, 999), h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 235958999);

  // 2010-07-15 13:45:30 as a DOS date and time.
  const int dos = ((30 << 9 | 7 << 5 | 15) << 16) | (13 << 11 | 45 << 5 | 15);
  TDateTime dt = FileDateToDateTime(dos);
  DecodeDate(dt, y, m, d);
  DecodeTime(dt, h, mi, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20100715);
  EXPECT_EQ(h * 10000 + mi * 100 + s, 134530);
  EXPECT_EQ(DateTimeToFileDate(dt), dos);
  EXPECT_EQ(DateTimeToFileDate(EncodeDate(1979, 12, 31)), 0);
  EXPECT_THROW(FileDateToDateTime(0), EConvertError);
}

TEST(SysUtilsCommandLine, WindowsQuotingRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("  prog.exe  a \tb "), (V{"prog.exe", "a", "b"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" -r -s\"C:\\Some Dir\" \"\" last"),
            (V{"C:\\Program Files\\x.exe", "-r", "-sC:\\Some Dir", "", "last"}));
  EXPECT_EQ(SplitCommandLine("p a\"b c\"d"), (V{"p", "ab cd"}));
  // Backslashes count only in front of a quote.
  EXPECT_EQ(SplitCommandLine("p C:\\dir\\ \\\\\"x y\" \\\"q a\\\\\\\"b"),
            (V{"p", "C:\\dir\\", "\\x y", "\"q", "a\\\"b"}));
  EXPECT_EQ(SplitCommandLine("p \"say \"\"hi\"\"\""), (V{"p", "say \"hi\""}));
  EXPECT_EQ(SplitCommandLine("\"C:\\odd dir\\\" next"), (V{"C:\\odd dir\\", "next"}));
  EXPECT_EQ(SplitCommandLine("p \"unterminated arg"), (V{"p", "unterminated arg"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
  EXPECT_FALSE(ParamStr(0).empty());
  EXPECT_EQ(ParamStr(ParamCount() + 1), "");
}

TEST(SysUtilsExceptions, HierarchyAndMessages) {
  try {
    Abort();
  } catch (const Exception& e) {
    EXPECT_NE(dynamic_cast<const EAbort*>(&e), nullptr);
    EXPECT_EQ(std::string(e.what()), e.Message());
  }
  EInOutError io("Can't locate file: x", 2);
  EXPECT_EQ(io.ErrorCode, 2);
  TObject obj;
  EXPECT_EQ(obj.ClassName(), "TObject");
}
