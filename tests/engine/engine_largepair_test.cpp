// A large file pair through the console program, as a publisher patches a
// game or disk image: it must fit in little more than the two files, find
// the unchanged bytes in spite of long zero-filled and repeated stretches,
// and make a patch the applier turns back into the new file.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "applier.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

#ifndef _WIN32
// Runs the program and returns its exit code and peak resident memory.
int RunMeasured(const std::vector<std::string>& args, long* peakKib) {
  std::vector<char*> argv;
  std::string program = MORVANE_CLI_PATH;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
  *peakKib = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// Something like an executable: code-like bytes from a small alphabet,
// stretches of zeros and of fill bytes, tables repeated many times over,
// and compressed (random) data.
std::vector<uint8_t> ExecutableLike(size_t size, std::mt19937& rng) {
  std::vector<uint8_t> v;
  v.reserve(size);
  std::vector<uint8_t> table(1536);
  for (auto& b : table) b = static_cast<uint8_t>(rng());
  const uint8_t code[] = {0x8b, 0x45, 0x89, 0xe8, 0x48, 0x0f, 0x85, 0xc3, 0x00, 0x01, 0x24, 0x74, 0xff, 0x31};
  while (v.size() < size) {
    switch (rng() % 5) {
      case 0:
        v.insert(v.end(), 16 + rng() % 30000, 0);
        break;
      case 1:
        v.insert(v.end(), 16 + rng() % 2000, rng() % 2 ? 0xcc : 0x90);
        break;
      case 2:
        v.insert(v.end(), table.begin(), table.end());
        break;
      case 3:
        for (uint32_t n = 200 + rng() % 40000; n > 0; --n) v.push_back(code[rng() % sizeof code]);
        break;
      default:
        for (uint32_t n = 100 + rng() % 20000; n > 0; --n) v.push_back(static_cast<uint8_t>(rng()));
    }
  }
  v.resize(size);
  return v;
}

TEST(LargePair, PatchedInLittleMoreMemoryThanTheFilesAndRebuilt) {
#ifdef _WIN32
  GTEST_SKIP() << "peak memory of a child process is measured on POSIX";
#else
  std::string dir = Join(ScratchDir(), "largepair");
  RemoveTree(dir);
  MakeDirs(dir);
  std::mt19937 rng(5701);
  const size_t size = 24u << 20;
  std::vector<uint8_t> oldData = ExecutableLike(size, rng);
  // Every 64 KiB an insertion, deletion or change of 1 byte to 4 KiB.
  std::vector<uint8_t> newData;
  size_t changed = 0, edits = 0;
  for (size_t at = 0; at < size; at += 65536) {
    size_t piece = std::min<size_t>(65536, size - at), keep = piece - 4096;
    newData.insert(newData.end(), oldData.begin() + at, oldData.begin() + at + keep);
    size_t n = 1 + rng() % 4096;
    auto tail = oldData.begin() + at + keep;
    switch (rng() % 3) {
      case 0:
        for (size_t i = 0; i < n; ++i) newData.push_back(static_cast<uint8_t>(rng()));
        newData.insert(newData.end(), tail, tail + 4096);
        changed += n;
        break;
      case 1:
        newData.insert(newData.end(), tail + n, tail + 4096);
        break;
      default:
        for (size_t i = 0; i < n; ++i) newData.push_back(static_cast<uint8_t>(rng()));
        newData.insert(newData.end(), tail + n, tail + 4096);
        changed += n;
    }
    ++edits;
  }
  std::string oldPath = Join(dir, "old.bin"), newPath = Join(dir, "new.bin"), out = Join(dir, "patch");
  WriteFileBytes(oldPath, oldData);
  WriteFileBytes(newPath, newData);

  long peakKib = 0;
  ASSERT_EQ(RunMeasured({"-q", oldPath, newPath, out}, &peakKib), 0);
  std::vector<uint8_t> patch = ReadFileBytes(out + ".utp");
  std::vector<uint8_t> rebuilt;
  std::string error;
  ASSERT_TRUE(testapply::ApplyFilePatch(patch, oldData, &rebuilt, &error)) << error;
  EXPECT_TRUE(rebuilt == newData);

  // Both files once, an index of 4 bytes per fifth position, and a little
  // room; the process's own start-up costs about 5 MiB. A build with
  // address checking keeps a shadow of its memory and allocator records.
  long limitKib = static_cast<long>((2 * oldData.size() + newData.size()) / 1024) + 12 * 1024;
#if defined(__SANITIZE_ADDRESS__)
  limitKib = limitKib * 8 / 5 + 32 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  limitKib = limitKib * 8 / 5 + 32 * 1024;
#endif
#endif
  EXPECT_LE(peakKib, limitKib) << "peak " << peakKib << " KiB for a " << size / 1024 << " KiB old file";
  // The changed bytes must cost about themselves: a copy missed next to
  // them, or in the long runs, shows here.
  EXPECT_LE(patch.size(), changed + 64 * edits) << changed << " bytes changed in " << edits << " places";
  RemoveTree(dir);
#endif
}

}  // namespace
