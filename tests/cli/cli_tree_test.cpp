// Whole trees through the console front end as a publisher meets them: trees
// that change during the run, links that lead back into themselves, names
// the patch cannot hold, and a pair too large for memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "applier.h"
#include "cli_run.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

using namespace testsupport;
using namespace clitest;

namespace {

#ifdef _WIN32
std::wstring Widen(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

void WriteWide(const std::wstring& path, const std::vector<uint8_t>& data) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(h);
  ASSERT_EQ(written, data.size());
}

// The console front end started with a command line in wide characters, as
// the shell starts it for a name typed or dropped in any script.
Result RunCliWide(const std::vector<std::wstring>& args) {
  std::wstring cmdline = L"\"" + Widen(CliWindowsPath()) + L"\"";
  for (const auto& a : args) cmdline += L" \"" + a + L"\"";
  Result r;
  r.rc = RunWindowsWide(cmdline, &r.out);
  return r;
}
#endif

std::vector<uint8_t> Edited(std::vector<uint8_t> v, unsigned seed) {
  std::mt19937 rng(seed);
  for (int k = 0; k < 20; ++k) v[rng() % v.size()] ^= 0x55;
  v.insert(v.begin() + static_cast<long>(v.size() / 3), {'n', 'e', 'w'});
  return v;
}

class CliTree : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = Join(ScratchDir(), ::testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveTree(dir);
    MakeDirs(dir);
    oldTree = Join(dir, "old");
    newTree = Join(dir, "new");
    MakeDirs(oldTree);
    MakeDirs(newTree);
  }

  // Applies the patch to a copy of the old tree and checks every file of
  // the new tree there, byte for byte.
  void ExpectRebuildsNewTree(const std::string& patchPath) {
    std::string result = Join(dir, "result");
    RemoveTree(result);
    CopyTree(oldTree, result);
    std::string error;
    ASSERT_TRUE(testapply::ApplyDirectoryPatch(ReadFileBytes(patchPath), oldTree, result, &error)) << error;
    std::vector<std::string> files;
#ifdef _WIN32
    ListFiles(newTree, "", files);
#else
    for (const auto& e : std::filesystem::recursive_directory_iterator(newTree))
      if (e.is_regular_file()) files.push_back(std::filesystem::relative(e.path(), newTree).string());
#endif
    ASSERT_FALSE(files.empty());
    for (const std::string& f : files) EXPECT_EQ(ReadFileBytes(Join(result, f)), ReadFileBytes(Join(newTree, f))) << f;
  }

  testapply::Patch Parse(const std::string& path) {
    testapply::Patch p;
    std::string error;
    EXPECT_TRUE(testapply::ParsePatch(ReadFileBytes(path), &p, &error)) << error;
    return p;
  }

  std::string dir, oldTree, newTree;
};

// Links made the Unix way, which Wine follows like the directories they
// name.
void Link(const std::string& target, const std::string& at) {
  std::string out;
  ASSERT_EQ(RunUnix("/bin/ln", {"-s", target, ToUnixPath(at)}, &out), 0) << out;
}

// Removes the links again, the Unix way, whatever the test's outcome: under
// Wine the library's tree removal would follow a loop like a folder.
struct RemoveLinks {
  std::vector<std::string> links;
  ~RemoveLinks() {
    std::vector<std::string> args = {"-f"};
    for (const std::string& l : links) args.push_back(ToUnixPath(l));
    RunUnix("/bin/rm", args);
  }
};

TEST_F(CliTree, LinkBackIntoTheTreeIsSkippedAndEachFileStoredOnce) {
  const std::vector<uint8_t> oldApp = TextLikeBytes(200000, 4);
  WriteFileBytes(Join(oldTree, "f"), oldApp);
  WriteFileBytes(Join(newTree, "f"), Edited(oldApp, 5));
  const std::string oldSub = Join(oldTree, "sub"), newSub = Join(newTree, "sub");
  MakeDirs(oldSub);
  MakeDirs(newSub);
  WriteFileText(Join(oldSub, "notes.txt"), "notes of the old version\n");
  WriteFileText(Join(newSub, "notes.txt"), "notes of the new version, somewhat longer\n");
  RemoveLinks cleanup{{Join(oldTree, "loop"), Join(newTree, "loop"), Join(newSub, "up"), Join(newTree, "docs")}};
  Link(".", Join(oldTree, "loop"));
  Link(".", Join(newTree, "loop"));
  // Deeper down, and through a second link: up leads to the root, which
  // holds loop again.
  Link("..", Join(newSub, "up"));
  // A link to a folder off the current path is an ordinary folder.
  const std::string shared = Join(dir, "shared");
  MakeDirs(shared);
  WriteFileText(Join(shared, "readme.txt"), "shared between the versions\n");
  Link("../shared", Join(newTree, "docs"));

  Result r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
  ASSERT_EQ(r.rc, 0) << r.out;
  for (const std::string& link : {Join(oldTree, "loop"), Join(newTree, "loop"), Join(newSub, "up")})
    EXPECT_NE(r.out.find("\"" + link + "\" skipped"), std::string::npos) << link << "\n" << r.out;

  testapply::Patch p = Parse(Join(dir, "tree.utp"));
  std::vector<std::string> names;
  for (const auto& f : p.files) names.push_back(f.name);
  for (const auto& e : p.embedded) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"docs\\readme.txt", "f", "sub\\notes.txt"}));
  std::string result = Join(dir, "result");
  MakeDirs(result);
  std::string error;
  ASSERT_TRUE(testapply::ApplyDirectoryPatch(ReadFileBytes(Join(dir, "tree.utp")), oldTree, result, &error)) << error;
  EXPECT_EQ(ReadFileBytes(Join(result, "f")), ReadFileBytes(Join(newTree, "f")));
  EXPECT_EQ(ReadFileBytes(Join(Join(result, "sub"), "notes.txt")), ReadFileBytes(Join(newSub, "notes.txt")));
  EXPECT_EQ(ReadFileBytes(Join(Join(result, "docs"), "readme.txt")), ReadFileBytes(Join(shared, "readme.txt")));
  EXPECT_FALSE(FileExists(Join(result, "loop")));
}

#ifndef _WIN32

// Rewrites a file in place (same size, other bytes) as soon as the run has
// read it once, which the scan does long before the pairs read it again.
class RewriteAfterFirstRead {
 public:
  RewriteAfterFirstRead(const std::string& path, std::vector<uint8_t> replacement) {
    fd_ = inotify_init1(IN_CLOEXEC);
    EXPECT_GE(fd_, 0);
    EXPECT_GE(inotify_add_watch(fd_, path.c_str(), IN_CLOSE_NOWRITE), 0);
    thread_ = std::thread([this, path, replacement] {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 120000) != 1) return;
      FILE* f = std::fopen(path.c_str(), "r+b");
      if (!f) return;
      std::fwrite(replacement.data(), 1, replacement.size(), f);
      std::fclose(f);
      rewritten_ = true;
    });
  }
  ~RewriteAfterFirstRead() {
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  bool Rewritten() {
    if (thread_.joinable()) thread_.join();
    return rewritten_;
  }

 private:
  int fd_ = -1;
  std::atomic<bool> rewritten_{false};
  std::thread thread_;
};

TEST_F(CliTree, FileChangedBetweenScanAndPairEndsTheRunAndLeavesNoPatch) {
  // The target is too large for the scan to keep its bytes, so its pair
  // reads it again; the large second file keeps the scan busy meanwhile.
  const std::vector<uint8_t> oldApp = TextLikeBytes(300000, 1);
  const std::vector<uint8_t> newApp = Edited(oldApp, 2);
  const std::vector<uint8_t> filler = RandomBytes(12u << 20, 3);
  WriteFileBytes(Join(oldTree, "app.bin"), oldApp);
  WriteFileBytes(Join(newTree, "app.bin"), newApp);
  WriteFileBytes(Join(oldTree, "data.bin"), filler);
  WriteFileBytes(Join(newTree, "data.bin"), filler);
  const std::string patch = Join(dir, "tree.utp");

  for (const std::string& tree : {newTree, oldTree}) {
    const std::string target = Join(tree, "app.bin");
    const std::vector<uint8_t> before = ReadFileBytes(target);
    std::vector<uint8_t> other = before;
    for (size_t i = 0; i < other.size(); i += 1000) other[i] ^= 0x21;  // same size, other content
    Result r;
    {
      RewriteAfterFirstRead rewrite(target, other);
      r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
      ASSERT_TRUE(rewrite.Rewritten()) << tree;
    }
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.out.find("\"" + target + "\" changed while the patch was made"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Created plain patchfile"), std::string::npos) << r.out;
    EXPECT_FALSE(FileExists(patch)) << tree;
    WriteFileBytes(target, before);
  }

  // Left alone, the same trees make a patch that rebuilds the new one.
  Result r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
  ASSERT_EQ(r.rc, 0) << r.out;
  ExpectRebuildsNewTree(patch);
}

TEST_F(CliTree, BackslashInANameIsRefusedBeforeAPatchIsLeft) {
  const std::vector<uint8_t> oldApp = TextLikeBytes(200000, 6);
  WriteFileBytes(Join(oldTree, "app.bin"), oldApp);
  WriteFileBytes(Join(newTree, "app.bin"), Edited(oldApp, 7));
  MakeDirs(Join(oldTree, "sub"));
  MakeDirs(Join(newTree, "sub"));
  const std::vector<uint8_t> slash = TextLikeBytes(5000, 8);

  // In the newest tree and, for a file that only an old version holds, in
  // an old tree alone.
  for (const std::string& tree : {newTree, oldTree}) {
    const std::string named = Join(tree, "sub/back\\slash.bin");
    WriteFileBytes(named, slash);
    Result r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.out.find("\"" + named + "\" holds a \"\\\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Created plain patchfile"), std::string::npos) << r.out;
    EXPECT_FALSE(FileExists(Join(dir, "tree.utp")));
    std::remove(named.c_str());
  }
  // A folder of that name is refused the same way.
  MakeDirs(Join(newTree, "a\\b"));
  WriteFileBytes(Join(newTree, "a\\b/inner.bin"), slash);
  Result r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("\"" + Join(newTree, "a\\b") + "\" holds a \"\\\""), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(Join(dir, "tree.utp")));
  RemoveTree(Join(newTree, "a\\b"));

  r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
  ASSERT_EQ(r.rc, 0) << r.out;
  ExpectRebuildsNewTree(Join(dir, "tree.utp"));
}

#else  // _WIN32

TEST_F(CliTree, NameOutsideTheCodePageStopsTheRunNamingItsFolder) {
  const std::vector<uint8_t> oldApp = TextLikeBytes(200000, 9);
  WriteFileBytes(Join(oldTree, "app.bin"), oldApp);
  WriteFileBytes(Join(newTree, "app.bin"), Edited(oldApp, 10));
  // A name the code page holds goes into the patch as it is.
  const std::wstring accented = L"caf\u00e9 men\u00fc.bin";
  const std::vector<uint8_t> oldMenu = TextLikeBytes(50000, 11);
  WriteWide(Widen(oldTree) + L"\\" + accented, oldMenu);
  WriteWide(Widen(newTree) + L"\\" + accented, Edited(oldMenu, 12));
  const std::string sub = Join(newTree, "sub");
  MakeDirs(sub);
  WriteFileText(Join(sub, "plain.txt"), "a plain name beside it\n");
  const std::wstring names[] = {L"\u043a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430.bin",  // Cyrillic
                                L"\u03b5\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.bin",        // Greek
                                L"\u6f22\u5b57.bin"};                                            // CJK
  for (const std::wstring& name : names) {
    const std::wstring path = Widen(sub) + L"\\" + name;
    WriteWide(path, TextLikeBytes(3000, 13));
    Result r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.out.find("folder \"" + sub + "\" holds a name"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("can't be written in the patchfile's 8-bit names"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("can't access"), std::string::npos) << r.out;
    EXPECT_FALSE(FileExists(Join(dir, "tree.utp")));

    // In file mode the name reaches the program already turned into "?"s.
    Result f = RunCliWide({L"-q", path, Widen(Join(newTree, "app.bin")), Widen(Join(dir, "single"))});
    EXPECT_EQ(f.rc, 1) << f.out;
    EXPECT_NE(f.out.find("outside the code page"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("can't find"), std::string::npos) << f.out;
    EXPECT_FALSE(FileExists(Join(dir, "single.utp")));
    DeleteFileW(path.c_str());
  }

  Result r = RunCli({"-q", oldTree, newTree, Join(dir, "tree")});
  ASSERT_EQ(r.rc, 0) << r.out;
  testapply::Patch p = Parse(Join(dir, "tree.utp"));
  bool stored = false;
  for (const auto& file : p.files) stored = stored || file.name == Narrow(accented);
  EXPECT_TRUE(stored) << "the code-page name is stored in the code page";
  // Each file by the name stored, opened through the code page as an
  // applier on this system opens it (the test applier's directory walk
  // goes through the library's own path conversion, which is not that).
  ASSERT_EQ(p.files.size(), 2u);
  for (const auto& file : p.files) {
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(testapply::ApplyToFile(file, ReadFileBytes(Join(oldTree, file.name)), &out, &error)) << error;
    EXPECT_EQ(out, ReadFileBytes(Join(newTree, file.name))) << file.name;
  }
  ASSERT_EQ(p.embedded.size(), 1u);
  EXPECT_EQ(p.embedded[0].name, "sub\\plain.txt");
  const std::vector<uint8_t> plain = ReadFileBytes(Join(sub, "plain.txt"));
  EXPECT_EQ(std::vector<uint8_t>(p.embedded[0].content.data, p.embedded[0].content.data + p.embedded[0].content.size),
            plain);
}

#endif

// An old file of 2.5 GB (sparse: it takes no disk) needs a buffer that a
// process limited to less address space cannot have; the message must say
// how much, not a count wrapped at 31 bits.
TEST_F(CliTree, AllocationFailureNamesTheTrueByteCount) {
  const uint64_t oldSize = 2500000000, newSize = 1000001;
  const std::string oldFile = Join(dir, "old.bin"), newFile = Join(dir, "new.bin");
  std::string out;
  ASSERT_EQ(RunUnix("/usr/bin/truncate", {"-s", std::to_string(oldSize), ToUnixPath(oldFile)}, &out), 0) << out;
  ASSERT_EQ(RunUnix("/usr/bin/truncate", {"-s", std::to_string(newSize - 1), ToUnixPath(newFile)}, &out), 0) << out;
  ASSERT_EQ(RunUnix("/bin/sh", {"-c", "printf x >>\"$0\"", ToUnixPath(newFile)}, &out), 0) << out;
#ifdef _WIN32
  // The limit is set for a Wine started anew on the same server.
  const std::vector<std::string> args = {
      "-c", "ulimit -v 2400000; exec \"${WINELOADER:-/usr/lib/wine/wine64}\" \"$@\"", "sh", CliWindowsPath(), "-q",
      oldFile, newFile, Join(dir, "big")};
#else
  // The sanitizers reserve far more address space than any limit would
  // allow; their allocator is told the limit instead.
  const std::vector<std::string> args = {
      "-c", "export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=2000; exec \"$@\"", "sh",
      MORVANE_CLI_PATH, "-q", oldFile, newFile, Join(dir, "big")};
#endif
  Result r;
  r.rc = RunUnix("/bin/sh", args, &r.out);
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("can't allocate " + std::to_string(oldSize) + " Bytes (to hold the files in memory)"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(FileExists(Join(dir, "big.utp")));
  std::remove(oldFile.c_str());
  std::remove(newFile.c_str());
}

}  // namespace
