// The install archive against real files: built, checked by an independent
// reader (Python struct + zlib), listed, spanned over small disks and
// extracted; damaged and hostile archives must fail cleanly and write
// nothing outside the target folder, nor leave partial files behind.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "compress.h"
#include "filetime.h"
#include "test_support.h"
#include "small_disk.h"

using namespace testsupport;

namespace {

std::string Dir(const std::string& name) {
  std::string d = Join(ScratchDir(), name);
  MakeDirs(d);
  return d;
}

std::vector<uint8_t> Bytes(size_t n, unsigned seed, bool compressible) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  for (size_t i = 0; i < n; ++i)
    v[i] = compressible ? static_cast<uint8_t>("abcdefgh \n"[(i / 7 + rng() % 3) % 10]) : static_cast<uint8_t>(rng());
  return v;
}

std::string Make(const std::string& dir, const std::string& name, const std::vector<uint8_t>& data) {
  std::string p = Join(dir, name);
  WriteFileBytes(p, data);
  return p;
}

std::string Layout(const std::string& archive, const std::vector<std::string>& expect, int64_t offset = 0) {
  std::string script = Join(Join(Join(SourceDir(), "tests"), "installerarch"), "installerarch_layout.py");
  std::vector<std::string> args = {ToUnixPath(script), ToUnixPath(archive)};
  if (offset) {
    args.push_back("--offset");
    args.push_back(std::to_string(offset));
  }
  if (!expect.empty()) {
    args.push_back("--expect");
    for (auto& e : expect) args.push_back(ToUnixPath(e));
  }
  std::string out;
  int rc = RunUnix("/usr/bin/python3", args, &out);
  return (rc == 0 ? "" : "rc=" + std::to_string(rc) + " ") + out;
}

bool LayoutOk(const std::string& report) { return report.rfind("rc=", 0) != 0; }

// Files in a folder, sorted; extraction must leave nothing else behind.
std::vector<std::string> Listing(const std::string& dir) {
  std::string out;
  RunUnix("/bin/ls", {"-A", ToUnixPath(dir)}, &out);
  std::vector<std::string> names;
  size_t start = 0;
  while (start < out.size()) {
    size_t nl = out.find('\n', start);
    if (nl == std::string::npos) nl = out.size();
    if (nl > start) names.push_back(out.substr(start, nl - start));
    start = nl + 1;
  }
  std::sort(names.begin(), names.end());
  return names;
}

void Build(const std::string& archive, const std::vector<std::string>& sources, TlzhCommand command = lzcOverwrite) {
  TQnlwCompress c(nullptr);
  c.SetCompressedFile(archive);
  TStringList list;
  for (auto& s : sources) list.Add(s);
  c.SetFilesToProcess(&list);
  c.Compress(command);
}

void ExtractAll(TQnlwCompress& c, const std::vector<std::string>& sources, const std::string& target) {
  TStringList list;
  for (auto& s : sources) list.Add(s);
  c.SetFilesToProcess(&list);
  c.SetExtractDirectory(target);
  c.Extract();
}

// An unspanned archive written by hand, for damage the writer never makes.
struct RawEntry {
  std::string path;
  std::vector<uint8_t> data;
  int32_t size = -1;  // header's size; -1 = the real one
};

std::vector<uint8_t> RawArchive(const std::vector<RawEntry>& entries) {
  std::vector<uint8_t> out(ArchivePrefixSize, 0);
  out[0] = static_cast<uint8_t>(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    uLongf zlen = compressBound(entries[i].data.size());
    std::vector<uint8_t> z(zlen);
    compress2(z.data(), &zlen, entries[i].data.data(), entries[i].data.size(), 9);
    z.resize(zlen);
    TFileHeaderRecord r;
    r.Index = static_cast<int32_t>(i + 1);
    r.Date = 40000.5;
    r.SourcePath = entries[i].path;
    r.Size = entries[i].size >= 0 ? entries[i].size : static_cast<int32_t>(entries[i].data.size());
    r.DataStart = static_cast<int32_t>(out.size() + FileHeaderSize);
    r.CompressedSize = static_cast<int32_t>(z.size());
    r.LastDataByte = r.DataStart + r.CompressedSize - 1;
    r.NextHeader = r.LastDataByte + 1;
    uint8_t raw[FileHeaderSize];
    r.Encode(raw);
    out.insert(out.end(), raw, raw + FileHeaderSize);
    out.insert(out.end(), z.begin(), z.end());
  }
  return out;
}

}  // namespace

TEST(InstallerArchArchive, BuildListAndExtractRealFiles) {
  std::string src = Dir("s1");
  std::vector<std::string> files = {Make(src, "text.txt", Bytes(300000, 1, true)),
                                    Make(src, "noise.bin", Bytes(100000, 2, false)), Make(src, "empty.dat", {}),
                                    Make(src, "small.txt", Bytes(300, 3, true))};
  std::string archive = Join(Join(ScratchDir(), "out1"), "files.1");  // folder made by Compress

  TQnlwCompress c(nullptr);
  c.SetCompressedFile(archive);
  TStringList list;
  list.Add(files[0] + ";extra;items");
  list.Add("   ");
  for (size_t i = 1; i < files.size(); ++i) list.Add(files[i]);
  c.SetFilesToProcess(&list);
  EXPECT_EQ(list.Count(), 4) << "blank lines are dropped from the list given";
  std::vector<TlzhFileStats> done;
  c.OnStatus = [&](TQnlwCompress*, const TlzhFileStats& s) {
    if (s.Done) done.push_back(s);
  };
  c.Compress(lzcOverwrite);
  EXPECT_EQ(c.FilesToProcess()->Count(), 0);
  ASSERT_EQ(done.size(), 4u);
  EXPECT_EQ(done[0].BytesDone, 300000);
  EXPECT_EQ(done[0].PercentDone, 100);
  EXPECT_GT(done[3].Ratio, 0) << "a small file's ratio uses its finished size";
  EXPECT_GE(done[1].Ratio, 100) << "noise does not shrink";
  EXPECT_EQ(done[3].TotalDone, 400300);
  EXPECT_EQ(done[3].TotalPercent, 100);

  std::string report = Layout(archive, files);
  EXPECT_TRUE(LayoutOk(report)) << report;
  EXPECT_NE(report.find("OK 4 0"), std::string::npos) << report;

  TQnlwCompress r(nullptr);
  r.SetCompressedFile(archive);
  ASSERT_EQ(r.FileCount(), 4);
  TlzhFileStats st;
  r.GetFileStats(1, st);
  EXPECT_EQ(st.Size, 100000);
  EXPECT_EQ(st.FileName, files[1]);
  EXPECT_EQ(r.IndexOfFile(UpperCase(files[2])), 2);
  EXPECT_EQ(r.IndexOfFile("nothing"), -1);
  EXPECT_THROW(r.GetFileStats(4, st), EQnlwCompress);

  std::string target = Dir("x1");
  ExtractAll(r, files, Join(target, "deep"));
  for (auto& f : files) {
    std::string out = Join(Join(target, "deep"), ExtractFileName(f));
    EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(f)) << f;
    EXPECT_EQ(FileAge(out), FileAge(f)) << f;
  }
  EXPECT_EQ(Listing(Join(target, "deep")).size(), 4u);
}

TEST(InstallerArchArchive, EmptyListAndOverlongPaths) {
  std::string dir = Dir("s2");
  std::string archive = Join(dir, "files.1");
  Build(archive, {});
  EXPECT_EQ(ReadFileBytes(archive), std::vector<uint8_t>({0, 0, 0, 0, 0}));

  // A path the header cannot hold is refused now, not found missing at
  // install time; the old archive stays as it was.
  std::string a = Make(dir, "a.txt", Bytes(1000, 4, true));
  Build(archive, {a});
  auto before = ReadFileBytes(archive);
  std::string deep = dir;
  while (deep.size() < 100) deep = Join(deep, "subfolder");
  MakeDirs(deep);
  std::string longPath = Make(deep, "long.txt", Bytes(10, 5, true));
  TQnlwCompress c(nullptr);
  c.SetCompressedFile(archive);
  TStringList list;
  list.Add(longPath);
  c.SetFilesToProcess(&list);
  try {
    c.Compress(lzcOverwrite);
    FAIL() << "no exception";
  } catch (const EQnlwCompress& e) {
    EXPECT_NE(e.Message().find("longer than the 100 characters"), std::string::npos) << e.Message();
  }
  EXPECT_TRUE(c.Abort()) << "a failed run is marked aborted";
  EXPECT_EQ(ReadFileBytes(archive), before);

  // A one-byte file grows ninefold; its ratio stays in its byte.
  std::string tiny = Make(dir, "tiny.txt", {'x'});
  Build(archive, {tiny});
  TQnlwCompress r(nullptr);
  r.SetCompressedFile(archive);
  TlzhFileStats st;
  r.GetFileStats(0, st);
  EXPECT_EQ(st.Ratio, 255);

  // A cancelled build is reported once and ends quietly.
  std::string big = Make(dir, "big.bin", Bytes(400000, 19, false));
  TStringList again;
  again.Add(big);
  c.SetFilesToProcess(&again);
  int aborted = 0;
  c.OnStatus = [](TQnlwCompress* sender, const TlzhFileStats&) { sender->SetAbort(true); };
  c.OnAborted = [&](TObject*) { ++aborted; };
  c.Compress(lzcOverwrite);
  EXPECT_EQ(aborted, 1);
  EXPECT_EQ(c.FilesToProcess()->Count(), 0);

  // Spanning needs someone to ask for the next disk.
  Build(archive, {big});
  TSmallDiskCompress span(50000);
  span.SetCompressedFile(archive);
  try {
    span.SpanDisks(Dir("s2/disks"), "files.1");
    FAIL() << "no exception";
  } catch (const EQnlwCompress& e) {
    EXPECT_NE(e.Message().find("no event handler for the OnNewDisk event"), std::string::npos) << e.Message();
  }
}

TEST(InstallerArchArchive, AppendingKeepsOldEntriesAndOffsetReading) {
  std::string dir = Dir("s3");
  std::string a = Make(dir, "a.txt", Bytes(70000, 6, true));
  std::string b = Make(dir, "b.txt", Bytes(5000, 7, false));
  std::string c = Make(dir, "c.txt", Bytes(9000, 8, true));
  std::string archive = Join(dir, "files.1");
  Build(archive, {a});
  auto old = ReadFileBytes(archive);
  Build(archive, {b, c}, lzcOnlyAdd);
  auto now = ReadFileBytes(archive);
  ASSERT_GT(now.size(), old.size());
  EXPECT_EQ(now[0], 3);
  EXPECT_TRUE(std::equal(old.begin() + 4, old.end(), now.begin() + 4)) << "old entry untouched";
  std::string report = Layout(archive, {a, b, c});
  EXPECT_TRUE(LayoutOk(report)) << report;
  EXPECT_EQ(report.rfind("1 1 ", 0), 0u) << report;
  EXPECT_NE(report.find("\n3 2 "), std::string::npos) << "indexes restart at 1: " << report;

  // The same archive inside another file, as a self-extractor carries it.
  std::vector<uint8_t> exe = Bytes(1234, 9, false);
  exe.insert(exe.end(), now.begin(), now.end());
  exe.resize(exe.size() + 56, 0);
  std::string host = Make(dir, "setup.exe", exe);
  report = Layout(host, {}, 1234);
  EXPECT_TRUE(LayoutOk(report) || report.find("bytes after the last entry") != std::string::npos) << report;
  TQnlwCompress r(nullptr);
  r.SetCompressedFile(host);
  r.SetOffset(1234);
  std::string target = Dir("x3");
  ExtractAll(r, {c, a}, target);
  EXPECT_EQ(ReadFileBytes(Join(target, "c.txt")), ReadFileBytes(c));
  EXPECT_EQ(ReadFileBytes(Join(target, "a.txt")), ReadFileBytes(a));
}

TEST(InstallerArchArchive, SpannedOverSmallDisks) {
  std::string dir = Dir("s4");
  std::vector<std::string> files = {Make(dir, "one.bin", Bytes(30000, 10, false)),
                                    Make(dir, "two.txt", Bytes(50000, 11, true)),
                                    Make(dir, "three.bin", Bytes(12000, 12, false))};
  std::string archive = Join(dir, "files.1");
  Build(archive, files);

  for (int round = 0; round < 2; ++round) {
    int64_t capacity = 8000;
    if (round == 1) {
      // The first file's data ends exactly at the end of disk 1.
      TQnlwCompress probe(nullptr);
      probe.SetCompressedFile(archive);
      TlzhFileStats st;
      probe.GetFileStats(0, st);
      capacity = ArchivePrefixSize + 3 * FileHeaderSize + st.CompressedSize;
    }
    std::string disks = Dir("disks" + std::to_string(round));
    TSmallDiskCompress span(capacity);
    span.SetCompressedFile(archive);
    std::vector<int> asked;
    span.OnNewDisk = [&](TQnlwCompress*, int disk, std::string& path) { asked.push_back(disk); };
    span.SpanDisks(disks, "files.1");
    ASSERT_GE(asked.size(), round == 0 ? 4u : 1u);
    for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], static_cast<int>(i) + 2);
    for (int d = 1; d <= static_cast<int>(asked.size()) + 1; ++d) {
      std::string part = Join(disks, "files." + std::to_string(d));
      ASSERT_TRUE(::FileExists(part)) << part;
      EXPECT_LE(FileSizeOf(part), capacity);
    }
    std::string report = Layout(Join(disks, "files.1"), files);
    EXPECT_TRUE(LayoutOk(report)) << report;
    EXPECT_NE(report.find("OK 3 1"), std::string::npos) << report;
    if (round == 1) {
      EXPECT_NE(report.find(" 1-1 "), std::string::npos) << "first file ends on disk 1: " << report;
    }

    // Parts after the first sit somewhere else; the handler says where.
    std::string moved = Dir("moved" + std::to_string(round));
    for (int d = 2; d <= static_cast<int>(asked.size()) + 1; ++d) {
      std::string name = "files." + std::to_string(d);
      WriteFileBytes(Join(moved, name), ReadFileBytes(Join(disks, name)));
      DeleteFile(Join(disks, name));
    }
    TQnlwCompress r(nullptr);
    r.SetCompressedFile(Join(disks, "files.1"));
    std::string target = Dir("x4" + std::to_string(round));
    {
      // Without a handler a missing part fails at once, naming the disk.
      TStringList list;
      list.Add(files[2]);
      r.SetFilesToProcess(&list);
      r.SetExtractDirectory(target);
      try {
        r.Extract();
        FAIL() << "no exception";
      } catch (const EQnlwCompress& e) {
        EXPECT_NE(e.Message().find("Could not open the correct disk file"), std::string::npos) << e.Message();
      }
      EXPECT_TRUE(Listing(target).empty());
    }
    r.OnNewDisk = [&](TQnlwCompress*, int, std::string& path) { path = moved; };
    ExtractAll(r, files, target);
    for (auto& f : files) EXPECT_EQ(ReadFileBytes(Join(target, ExtractFileName(f))), ReadFileBytes(f)) << f;
  }
}

TEST(InstallerArchArchive, HostileArchivesFailAndWriteNothingOutside) {
  std::string dir = Dir("s5");
  std::string target = Dir("s5/target");
  Make(target, "keep.txt", {'o', 'l', 'd'});
  auto payload = Bytes(5000, 13, true);
  auto expectOnlyKeep = [&](const char* what) {
    EXPECT_EQ(Listing(target), std::vector<std::string>({"keep.txt"})) << what;
    EXPECT_EQ(ReadFileBytes(Join(target, "keep.txt")), std::vector<uint8_t>({'o', 'l', 'd'})) << what;
    EXPECT_EQ(Listing(dir), std::vector<std::string>({"a.1", "target"})) << what;
  };
  auto extract = [&](const std::vector<uint8_t>& archive, const std::string& entry, const std::string& targetName) {
    WriteFileBytes(Join(dir, "a.1"), archive);
    TQnlwCompress c(nullptr);
    c.SetCompressedFile(Join(dir, "a.1"));
    c.SetTargetName(targetName);
    TStringList list;
    list.Add(entry);
    c.SetFilesToProcess(&list);
    c.SetExtractDirectory(target);
    c.Extract();
  };

  // Names that reach elsewhere are cut to their last component.
  extract(RawArchive({{"..\\..\\evil.txt", payload}}), "..\\..\\evil.txt", "");
  EXPECT_EQ(ReadFileBytes(Join(target, "evil.txt")), payload);
  DeleteFile(Join(target, "evil.txt"));
  extract(RawArchive({{"/tmp/../x/evil2.txt", payload}}), "/tmp/../x/evil2.txt", "");
  EXPECT_TRUE(::FileExists(Join(target, "evil2.txt")));
  DeleteFile(Join(target, "evil2.txt"));
  expectOnlyKeep("after cut names");

  struct Case {
    const char* what;
    std::vector<uint8_t> archive;
    std::string entry;
    std::string targetName;
    const char* message;
  };
  std::vector<Case> cases;
  cases.push_back({"dot-dot name", RawArchive({{"..", payload}}), "..", "", "not a plain file name"});
  cases.push_back(
      {"device name", RawArchive({{"c:\\x\\nul.txt", payload}}), "c:\\x\\nul.txt", "", "not a plain file name"});
  cases.push_back({"dir-only name", RawArchive({{"c:\\dir\\", payload}}), "c:\\dir\\", "", "not a plain file name"});
  cases.push_back({"size too small", RawArchive({{"keep.txt", payload, 10}}), "keep.txt", "", "does not match"});
  cases.push_back({"size too large", RawArchive({{"keep.txt", payload, 9000}}), "keep.txt", "", "does not match"});
  auto corrupt = RawArchive({{"keep.txt", Bytes(200000, 14, false)}});
  for (size_t i = 2000; i < 2100; ++i) corrupt[i] ^= 0x5A;
  cases.push_back({"damaged data", corrupt, "keep.txt", "", nullptr});
  auto huge = RawArchive({{"keep.txt", payload}});
  huge[0] = 0xFF, huge[1] = 0xFF, huge[2] = 0xFF, huge[3] = 0x7F;
  cases.push_back({"huge count", huge, "keep.txt", "", "could possible be corrupt"});
  auto truncated = RawArchive({{"keep.txt", payload}});
  truncated.resize(truncated.size() - 10);
  cases.push_back({"truncated", truncated, "keep.txt", "", "could possible be corrupt"});
  auto farData = RawArchive({{"keep.txt", payload}});
  farData[5 + 132 + 1] = 0x70;  // data start far past the end
  cases.push_back({"data past the end", farData, "keep.txt", "", "could possible be corrupt"});
  auto loop = RawArchive({{"keep.txt", payload}, {"b.txt", payload}});
  loop[5 + 124] = 5, loop[5 + 125] = 0, loop[5 + 126] = 0, loop[5 + 127] = 0;  // next header points back
  cases.push_back({"header loop", loop, "b.txt", "", "could possible be corrupt"});
  auto longName = RawArchive({{"keep.txt", payload}});
  longName[5 + 20] = 0xFF;  // name length beyond its field
  cases.push_back({"name length", longName, "keep.txt", "", "was not found"});

  for (const Case& k : cases) {
    try {
      extract(k.archive, k.entry, k.targetName);
      ADD_FAILURE() << k.what << ": no exception";
    } catch (const EQnlwCompress& e) {
      if (k.message) {
        EXPECT_NE(e.Message().find(k.message), std::string::npos) << k.what << ": " << e.Message();
      }
    } catch (const EZlibError& e) {
      EXPECT_EQ(k.message, nullptr) << k.what << ": zlib error";
    }
    expectOnlyKeep(k.what);
  }
}

TEST(InstallerArchArchive, AbortAndSkipLeaveTargetsAlone) {
  std::string dir = Dir("s6");
  std::string big = Make(dir, "big.bin", Bytes(600000, 15, false));
  std::string small = Make(dir, "small.txt", Bytes(700, 16, true));
  std::string archive = Join(dir, "files.1");
  Build(archive, {big, small});

  std::string target = Dir("s6/t");
  Make(target, "big.bin", {'o', 'l', 'd'});
  TQnlwCompress c(nullptr);
  c.SetCompressedFile(archive);
  int statuses = 0;
  bool aborted = false;
  c.OnStatus = [&](TQnlwCompress* sender, const TlzhFileStats&) {
    if (++statuses == 3) sender->SetAbort(true);
  };
  c.OnAborted = [&](TObject*) { aborted = true; };
  ExtractAll(c, {big}, target);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(statuses, 3);
  EXPECT_EQ(ReadFileBytes(Join(target, "big.bin")), std::vector<uint8_t>({'o', 'l', 'd'}));
  EXPECT_EQ(Listing(target), std::vector<std::string>({"big.bin"}));
  DeleteFile(Join(target, "big.bin"));
  statuses = 0;
  ExtractAll(c, {big}, target);
  EXPECT_TRUE(Listing(target).empty()) << "no partial file of a new target";

  // An existing target under owNever is kept, but the file still reports
  // that it is done.
  c.OnStatus = nullptr;
  Make(target, "small.txt", {'k'});
  c.SetOverwrite(owNever);
  std::vector<bool> dones;
  c.OnStatus = [&](TQnlwCompress*, const TlzhFileStats& s) { dones.push_back(s.Done); };
  ExtractAll(c, {small}, target);
  EXPECT_EQ(dones, std::vector<bool>({true}));
  EXPECT_EQ(ReadFileBytes(Join(target, "small.txt")), std::vector<uint8_t>({'k'}));

  // A name missing from the archive stops the list there, naming both.
  c.SetOverwrite(owAlways);
  c.OnStatus = nullptr;
  DeleteFile(Join(target, "small.txt"));
  TStringList list;
  list.Add(small);
  list.Add("missing.txt");
  list.Add(big);
  c.SetFilesToProcess(&list);
  c.SetExtractDirectory(target);
  try {
    c.Extract();
    FAIL() << "no exception";
  } catch (const EQnlwCompress& e) {
    EXPECT_NE(e.Message().find("<missing.txt> was not found in the archive <" + archive + ">"), std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(Listing(target), std::vector<std::string>({"small.txt"}));
  EXPECT_EQ(c.FilesToProcess()->Count(), 0);

  // The extracted name can be chosen by the caller.
  c.SetTargetName("renamed.txt");
  ExtractAll(c, {small}, target);
  EXPECT_EQ(ReadFileBytes(Join(target, "renamed.txt")), ReadFileBytes(small));
  EXPECT_TRUE(c.TargetName().empty());
}

// Files dated outside the packed date format's years 1980 to 2107 keep
// their dates through the archive, a copy and a date comparison; a header
// without a date (0, as another builder may write) still installs its file.
TEST(InstallerArchArchive, DatesOutsideThePackedDateRangeSurvive) {
  std::string dir = Dir("s9");
  std::string old = Make(dir, "old.txt", Bytes(500, 21, true));
  std::string future = Make(dir, "future.txt", Bytes(700, 22, true));
  // Dated by the system's own tool, in local time as the archive keeps it.
  ASSERT_EQ(0, RunUnix("/usr/bin/touch", {"-m", "-d", "1975-06-01 12:00:00", ToUnixPath(old)}, nullptr));
  ASSERT_EQ(0, RunUnix("/usr/bin/touch", {"-m", "-d", "2110-03-04 05:06:08", ToUnixPath(future)}, nullptr));
  const TDateTime oldDate = EncodeDate(1975, 6, 1) + EncodeTime(12, 0, 0, 0);
  const TDateTime futureDate = EncodeDate(2110, 3, 4) + EncodeTime(5, 6, 8, 0);
  auto dateOf = [](const std::string& path) {
    TDateTime d = -1;
    EXPECT_TRUE(FileDateTime(path, d)) << path;
    return DateTimeToMilliseconds(d);
  };
  ASSERT_EQ(dateOf(old), DateTimeToMilliseconds(oldDate));
  ASSERT_EQ(dateOf(future), DateTimeToMilliseconds(futureDate));

  std::string archive = Join(dir, "files.1");
  Build(archive, {old, future});
  TQnlwCompress c(nullptr);
  c.SetCompressedFile(archive);
  TlzhFileStats st;
  c.GetFileStats(0, st);
  EXPECT_EQ(DateTimeToMilliseconds(st.Header.Date), DateTimeToMilliseconds(oldDate));
  c.GetFileStats(1, st);
  EXPECT_EQ(DateTimeToMilliseconds(st.Header.Date), DateTimeToMilliseconds(futureDate));

  std::string target = Dir("s9/t");
  ExtractAll(c, {old, future}, target);
  EXPECT_EQ(dateOf(Join(target, "old.txt")), DateTimeToMilliseconds(oldDate));
  EXPECT_EQ(dateOf(Join(target, "future.txt")), DateTimeToMilliseconds(futureDate));
  // Installed again by date: the same date leaves the files alone.
  c.SetOverwrite(owDate);
  std::vector<int32_t> written;
  c.OnStatus = [&](TQnlwCompress*, const TlzhFileStats& s) {
    if (s.Done) written.push_back(s.BytesDone);
  };
  ExtractAll(c, {old, future}, target);
  EXPECT_EQ(written, std::vector<int32_t>({0, 0}));
  c.OnStatus = nullptr;

  std::string copy = Join(target, "copied.txt");
  c.SetOverwrite(owAlways);
  c.CopyFile(future, copy);
  EXPECT_EQ(dateOf(copy), DateTimeToMilliseconds(futureDate));

  // No date in the header: the file is installed, dated now.
  std::vector<uint8_t> raw = ReadFileBytes(archive);
  std::fill(raw.begin() + ArchivePrefixSize + 4, raw.begin() + ArchivePrefixSize + 12, 0);
  std::string undated = Join(dir, "undated.1");
  WriteFileBytes(undated, raw);
  TQnlwCompress u(nullptr);
  u.SetCompressedFile(undated);
  std::string fresh = Dir("s9/u");
  ExtractAll(u, {old}, fresh);
  EXPECT_EQ(ReadFileBytes(Join(fresh, "old.txt")), ReadFileBytes(old));
  EXPECT_GT(dateOf(Join(fresh, "old.txt")), DateTimeToMilliseconds(EncodeDate(2020, 1, 1)));
  // Bytes that spell a date a hair above 0 are no date either.
  EXPECT_FALSE(UsableFileDateTime(1e-300));
}

TEST(InstallerArchArchive, CopyFileAndStreams) {
  std::string dir = Dir("s7");
  std::string src = Make(dir, "plain.bin", Bytes(20000, 17, false));
  TQnlwCompress c(nullptr);
  std::vector<int32_t> progress;
  c.OnStatus = [&](TQnlwCompress*, const TlzhFileStats& s) { progress.push_back(s.BytesDone); };
  std::string dest = Join(Dir("s7/out"), "copy.bin");
  c.CopyFile(src, dest);
  EXPECT_EQ(ReadFileBytes(dest), ReadFileBytes(src));
  EXPECT_EQ(FileAge(dest), FileAge(src));
  EXPECT_EQ(progress, std::vector<int32_t>({8192, 16384, 20000, 20000}));

  // The deflate stream writes one zlib stream that zlib itself reads back.
  TMemoryStream mem;
  std::vector<uint8_t> data = Bytes(200000, 18, true);
  int progressEvents = 0;
  {
    TCompressionStream z(colFastest, &mem);
    z.OnProgress = [&](TObject*) { ++progressEvents; };
    z.WriteBuffer(data.data(), static_cast<int>(data.size()));
    EXPECT_EQ(z.Seek(0, soCurrent), 200000);
    EXPECT_THROW(z.Seek(5, soBeginning), ECompressionError);
    uint8_t b;
    EXPECT_THROW(z.Read(&b, 1), ECompressionError);
  }
  std::vector<uint8_t> back(data.size());
  uLongf backLen = back.size();
  ASSERT_EQ(uncompress(back.data(), &backLen, static_cast<const Bytef*>(mem.Memory()), mem.Size()), Z_OK);
  EXPECT_EQ(back, data);
}

// Random damage anywhere in an archive: every extraction either succeeds
// with the stored bytes or fails with an archive or zlib error, and never
// leaves anything but the extracted file behind.
TEST(InstallerArchArchive, RandomDamageFailsCleanly) {
  std::string dir = Dir("s8");
  std::string target = Dir("s8/t");
  auto payload = Bytes(20000, 20, true);
  auto good = RawArchive({{"one.txt", payload}, {"two.txt", Bytes(3000, 21, false)}});
  std::mt19937 rng(99);
  int failures = 0;
  for (int round = 0; round < 100; ++round) {
    auto bad = good;
    int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) {
      size_t at = rng() % (round % 2 ? bad.size() : 400);  // headers get half of the hits
      bad[at] = static_cast<uint8_t>(rng());
    }
    WriteFileBytes(Join(dir, "a.1"), bad);
    TQnlwCompress c(nullptr);
    c.SetCompressedFile(Join(dir, "a.1"));
    TStringList list;
    list.Add("one.txt");
    c.SetFilesToProcess(&list);
    c.SetExtractDirectory(target);
    try {
      c.Extract();
      auto names = Listing(target);
      ASSERT_EQ(names, std::vector<std::string>({"one.txt"})) << "round " << round;
      EXPECT_EQ(ReadFileBytes(Join(target, "one.txt")), payload) << "round " << round;
      DeleteFile(Join(target, "one.txt"));
    } catch (const EQnlwCompress&) {
      ++failures;
    } catch (const EZlibError&) {
      ++failures;
    }
    ASSERT_TRUE(Listing(target).empty()) << "round " << round;
  }
  EXPECT_GT(failures, 30);
}

// Found by fuzzing: a stored name with a zero byte in it used to make the
// extraction look for a free temporary name for ever (every name it tried
// stopped at the zero byte and so named the target folder).
TEST(InstallerArchArchive, NameWithAZeroByteIsRefused) {
  std::string archive = Join(Join(Join(SourceDir(), "tests"), "installerarch"), Join("data", "zero-byte-name.1"));
  TQnlwCompress r(nullptr);
  r.SetCompressedFile(archive);
  r.ReadHeaders();
  TStringList names;
  for (int i = 0; i < r.FileCount(); ++i) {
    TlzhFileStats stats;
    r.GetFileStats(i, stats);
    names.Add(stats.FileName);
  }
  ASSERT_EQ(names.Count(), 2);
  ASSERT_NE(names[1].find('\0'), std::string::npos);
  std::string target = Dir("zero-byte");
  TQnlwCompress x(nullptr);
  x.SetCompressedFile(archive);
  x.SetFilesToProcess(&names);
  x.SetExtractDirectory(target);
  EXPECT_THROW(x.Extract(), EQnlwCompress);
  // The sound entry before it is out; nothing else is.
  EXPECT_EQ(Listing(target), std::vector<std::string>({"seedA.txt"}));
}
