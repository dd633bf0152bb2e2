// The install driver's byte and text forms: what a loader, a server or a
// damaged file can hand it, and the lines it leaves for the next restart
// and for the clean-up of the loader's copy.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "exceptions.h"
#include "installrecords.h"

namespace {

template <class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no exception>";
}

void PutInt32(std::string& s, size_t at, int32_t v) { std::memcpy(&s[at], &v, 4); }

TEST(SelfExtractTrailer, LayoutAndTheChecksAWrongFileMustFail) {
  TSelfExtractTrailer t;
  t.SetupStart = 4096;
  t.SetupEnd = 9999;
  t.FilesStart = 10000;
  t.FilesEnd = 20000;
  std::string b = EncodeSelfExtractTrailer(t);
  ASSERT_EQ(b.size(), 56u);
  EXPECT_EQ(b.substr(0, 16), std::string("\x0eSELFEXTRACTING\0", 16));
  int32_t at24;
  std::memcpy(&at24, &b[24], 4);
  EXPECT_EQ(at24, 10000);
  EXPECT_EQ(b.substr(32), std::string(24, '\0'));

  const int64_t size = 20000 + 1 + 56;  // the last archive byte just before the trailer
  TSelfExtractTrailer r;
  ASSERT_TRUE(DecodeSelfExtractTrailer(b.data(), b.size(), size, r));
  EXPECT_EQ(r.SetupStart, 4096);
  EXPECT_EQ(r.FilesEnd, 20000);
  // One byte less and the file archive would run into the trailer.
  EXPECT_FALSE(DecodeSelfExtractTrailer(b.data(), b.size(), size - 1, r));
  EXPECT_EQ(r.FilesStart, 0);

  // No file archive appended: both fields 0.
  t.FilesStart = t.FilesEnd = 0;
  b = EncodeSelfExtractTrailer(t);
  EXPECT_TRUE(DecodeSelfExtractTrailer(b.data(), b.size(), 10056, r));

  // An ordinary program's last bytes, a damaged magic, positions before,
  // reversed, negative, or only one of the file fields set.
  std::string plain(56, 'x');
  EXPECT_FALSE(DecodeSelfExtractTrailer(plain.data(), plain.size(), 1 << 20, r));
  std::string bad = b;
  bad[5] = 'e';
  EXPECT_FALSE(DecodeSelfExtractTrailer(bad.data(), bad.size(), 1 << 20, r));
  for (auto [start, end, fs, fe] : {std::array<int32_t, 4>{0, 10, 0, 0}, {500, 499, 0, 0}, {-1, 499, 0, 0},
                                    {100, 200, 300, 0}, {100, 200, 0, 300}, {100, 200, 300, -7}}) {
    std::string w = b;
    PutInt32(w, 16, start), PutInt32(w, 20, end), PutInt32(w, 24, fs), PutInt32(w, 28, fe);
    EXPECT_FALSE(DecodeSelfExtractTrailer(w.data(), w.size(), 1 << 20, r)) << start << " " << end << " " << fs;
  }
  EXPECT_FALSE(DecodeSelfExtractTrailer(b.data(), 55, 1 << 20, r));
}

TEST(RemoteFileList, RoundTripAndFieldWidths) {
  std::vector<TRemoteFileRecord> in(2);
  in[0] = {123456, 45000.25, "MainProgram", "2.1.0.17"};
  in[1] = {0, 36526.0, std::string(40, 'N'), std::string(25, '9')};
  std::string b = EncodeRemoteFileList(in);
  ASSERT_EQ(b.size(), 4 + 2 * 72u);
  auto out = DecodeRemoteFileList(b, "C:\\t\\list.tmp");
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].Size, 123456);
  EXPECT_EQ(out[0].Date, 45000.25);
  EXPECT_EQ(out[0].Name, "MainProgram");
  EXPECT_EQ(out[0].Version, "2.1.0.17");
  // A 40-character name fills its field with no NUL.
  EXPECT_EQ(out[1].Name, std::string(40, 'N'));
  EXPECT_EQ(out[1].Version, std::string(19, '9'));

  // A version written by another tool may use all 20 bytes.
  std::memset(&b[4 + 72 + 52], '7', 20);
  EXPECT_EQ(DecodeRemoteFileList(b, "x")[1].Version, std::string(20, '7'));
  EXPECT_TRUE(DecodeRemoteFileList(std::string(4, '\0'), "x").empty());
}

TEST(RemoteFileList, ServerDamageIsRefusedWithThePath) {
  std::vector<TRemoteFileRecord> in(1);
  in[0] = {10, 40000.0, "A", "1"};
  const std::string good = EncodeRemoteFileList(in);
  const std::string msg = "Cannot read the remote list of files: C:\\tmp\\fl.tmp";
  auto read = [&](const std::string& b) { return MessageOf([&] { DecodeRemoteFileList(b, "C:\\tmp\\fl.tmp"); }); };

  EXPECT_EQ(read(good.substr(0, 3)), msg);
  EXPECT_EQ(read(good.substr(0, good.size() - 1)), msg);  // cut record
  std::string w = good;
  PutInt32(w, 0, 2);
  EXPECT_EQ(read(w), msg);  // count beyond the records
  PutInt32(w, 0, 0x7FFFFFFF);
  EXPECT_EQ(read(w), msg);  // a huge count costs nothing up front
  PutInt32(w, 0, -1);
  EXPECT_EQ(read(w), msg);
  w = good;
  PutInt32(w, 4, -5);
  EXPECT_EQ(read(w), msg);  // negative size
  for (double d : {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -1e7}) {
    w = good;
    std::memcpy(&w[8], &d, 8);
    EXPECT_EQ(read(w), msg) << d;
  }
}

TEST(SetupCommandLine, LettersTextsAndRefusals) {
  auto cl = ParseSetupCommandLine({"-S", "-r", "-sC:\\Dir", "-eSETUP.EXE", "-c", "-cloader.exe"});
  EXPECT_TRUE(cl.Has(clSource));
  EXPECT_EQ(cl.TextOf(clSource), "C:\\Dir");  // the later one wins
  EXPECT_TRUE(cl.Has(clAfterReboot));
  EXPECT_EQ(cl.TextOf(clSelfExtract), "SETUP.EXE");
  EXPECT_EQ(cl.TextOf(clCopy), "loader.exe");
  EXPECT_FALSE(cl.Has(clBuild) || cl.Has(clDebug) || cl.Has(clFloppies));
  EXPECT_TRUE(ParseSetupCommandLine({"-B", "-d", "-F"}).Has(clFloppies));
  EXPECT_TRUE(ParseSetupCommandLine({}).TextOf(clSource).empty());

  const std::string tail =
      ">. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to floppies), -e (Called by "
      "self-extractor), -r (After reboot)";
  EXPECT_EQ(MessageOf([] { ParseSetupCommandLine({"-x"}); }), "Invalid parameter <-x" + tail);
  for (std::string bad : {std::string("-"), std::string("s"), std::string("/s"), std::string("--s"), std::string("-\0", 2)})
    EXPECT_NE(MessageOf([&] { ParseSetupCommandLine({"-b", bad}); }).find("Invalid parameter <"), std::string::npos)
        << bad;
}

TEST(RunOnceLine, QuotedArgumentsThatFindTheRunAgain) {
  TRunOnceLine l;
  l.ProgramPath = "C:\\Temp dir\\qtmp\\setup.exe";
  l.SetupProgramPath = "D:\\My Disk\\SETUP.EXE";
  EXPECT_EQ(BuildRunOnceLine(l), "\"C:\\Temp dir\\qtmp\\setup.exe\" -r -s\"D:\\My Disk\"");
  l.SelfExtract = true;
  l.Copy = true;
  l.CopyText = "SETUP.EXE";
  EXPECT_EQ(BuildRunOnceLine(l),
            "\"C:\\Temp dir\\qtmp\\setup.exe\" -r -e\"SETUP.EXE\" -s\"D:\\My Disk\" -c\"SETUP.EXE\"");
  l.CopyText.clear();
  l.SetupProgramPath = "E:\\setup.exe";  // a root stays without a backslash before the quote
  EXPECT_EQ(BuildRunOnceLine(l), "\"C:\\Temp dir\\qtmp\\setup.exe\" -r -e\"setup.exe\" -s\"E:\" -c");
}

TEST(UnfinishedLine, SplitAtTheLastSemicolon) {
  std::string name;
  int kind = -9;
  ASSERT_TRUE(SplitUnfinishedLine("C:\\a;b\\x.bat;1", name, kind));
  EXPECT_EQ(name, "C:\\a;b\\x.bat");
  EXPECT_EQ(kind, 1);
  ASSERT_TRUE(SplitUnfinishedLine("ComFile;0", name, kind));
  EXPECT_EQ(name, "ComFile");
  EXPECT_EQ(kind, 0);
  EXPECT_FALSE(SplitUnfinishedLine("NoKind", name, kind));
  EXPECT_FALSE(SplitUnfinishedLine("Name;one", name, kind));
  EXPECT_FALSE(SplitUnfinishedLine("Name;", name, kind));
}

TEST(CleanupBatch, QuotedPathsRetriesAndTheTreeOnlyWhenItIsTheCopy) {
  TCleanupBatch b;
  b.ProgramPath = "C:\\Temp Dir\\q1\\setup.exe";
  b.ProgramDir = "C:\\Temp Dir\\q1\\";
  b.BatchPath = "C:\\Temp Dir\\bat12.bat";
  b.Retries = 2;
  auto lines = BuildCleanupBatch(b);
  const std::vector<std::string> want = {
      "ERASE \"C:\\Temp Dir\\q1\\setup.exe\"",
      "IF EXIST \"C:\\Temp Dir\\q1\\setup.exe\" PING -n 2 127.0.0.1 >NUL",
      "IF EXIST \"C:\\Temp Dir\\q1\\setup.exe\" ERASE \"C:\\Temp Dir\\q1\\setup.exe\"",
      "IF EXIST \"C:\\Temp Dir\\q1\\setup.exe\" PING -n 2 127.0.0.1 >NUL",
      "IF EXIST \"C:\\Temp Dir\\q1\\setup.exe\" ERASE \"C:\\Temp Dir\\q1\\setup.exe\"",
      "RMDIR /S /Q \"C:\\Temp Dir\\q1\"",
      "ERASE \"C:\\Temp Dir\\bat12.PIF\"",
      "ERASE \"C:\\Temp Dir\\bat12.bat\""};
  EXPECT_EQ(lines, want);
  b.WindowsNT = false;
  EXPECT_EQ(BuildCleanupBatch(b)[5], "DELTREE /Y \"C:\\Temp Dir\\q1\"");
  b.DeleteTree = false;
  lines = BuildCleanupBatch(b);
  EXPECT_EQ(lines.size(), want.size() - 1);
  for (const auto& l : lines) EXPECT_EQ(l.find("DELTREE"), std::string::npos);

  EXPECT_TRUE(PathBelowDirectory("C:\\Temp Dir\\q1", "c:\\temp dir\\"));
  EXPECT_FALSE(PathBelowDirectory("C:\\Temp Dir", "C:\\Temp Dir\\"));  // never the temporary folder itself
  EXPECT_FALSE(PathBelowDirectory("C:\\Temp Dirt\\q1", "C:\\Temp Dir"));
  EXPECT_FALSE(PathBelowDirectory("C:\\Program Files\\App", "C:\\Temp Dir"));
  EXPECT_TRUE(PathBelowDirectory("C:\\x", "C:\\"));
}

}  // namespace
