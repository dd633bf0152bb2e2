// The engine's helper threads and the reading ahead of a directory run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "prefetch.h"
#include "test_support.h"
#include "workers.h"

using namespace testsupport;

namespace {

// Many short calls, as a directory run of small pairs makes them: each piece
// is done once, the same threads serve every call, a helper's failure
// reaches the caller, and a call from inside a call runs on its own thread.
TEST(Workers, ServeManyCallsWithTheSameThreads) {
  RunOnWorkers(3, [] {});
  const uint32_t started = WorkerThreadCount();
  EXPECT_GE(started, 3u);
  for (int call = 0; call < 300; ++call) {
    std::vector<std::atomic<int>> done(257);
    for (std::atomic<int>& d : done) d.store(0);
    std::atomic<size_t> next(0);
    RunOnWorkers(3, [&] {
      for (size_t i; (i = next.fetch_add(1)) < done.size();) done[i].fetch_add(1);
    });
    for (const std::atomic<int>& d : done) ASSERT_EQ(d.load(), 1) << "call " << call;
  }
  EXPECT_EQ(WorkerThreadCount(), started);

  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> helperRan(false);
  auto failOnHelper = [&] {
    if (std::this_thread::get_id() != caller) {
      helperRan = true;
      throw std::runtime_error("helper failed");
    }
    // The caller waits for a helper, so that one surely runs.
    for (int i = 0; i < 5000 && !helperRan; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  EXPECT_THROW(RunOnWorkers(2, failOnHelper), std::runtime_error);
  EXPECT_TRUE(helperRan);

  std::atomic<int> inner(0);
  bool innerOnCaller = true;
  RunOnWorkers(2, [&] {
    if (std::this_thread::get_id() != caller) return;
    RunOnWorkers(2, [&] {
      inner.fetch_add(1);
      innerOnCaller = innerOnCaller && std::this_thread::get_id() == caller;
    });
  });
  EXPECT_EQ(inner.load(), 1);
  EXPECT_TRUE(innerOnCaller);
}

// Files come in the order given; what is missing, too large or asked for
// out of turn is left to the caller, and a prefetcher given up half-way
// ends without waiting for anyone.
TEST(FilePrefetcher, HandsOverInOrderAndLeavesTheRestToTheCaller) {
  const std::string dir = Join(ScratchDir(), "prefetch");
  RemoveTree(dir);
  MakeDirs(dir);
  const std::string a = Join(dir, "a"), missing = Join(dir, "missing"), large = Join(dir, "large"), d = Join(dir, "d");
  WriteFileText(a, std::string(100, 'a'));
  WriteFileText(large, std::string(5000, 'l'));
  WriteFileText(d, "0123456789");
  std::vector<uint8_t> bytes;
  uint32_t time = 0;
  {
    FilePrefetcher ahead({a, missing, large, d, a, d}, {100, 10, 5000, 3, 100, 10}, 4096, 2);
    EXPECT_FALSE(ahead.Take(d, bytes, time));  // not its turn
    ASSERT_TRUE(ahead.Take(a, bytes, time));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(100, 'a'));
    EXPECT_NE(time, 0u);
    EXPECT_FALSE(ahead.Take(missing, bytes, time));
    EXPECT_FALSE(ahead.Take(large, bytes, time));
    // The size noted at the scan may be out of date; the file is read whole.
    ASSERT_TRUE(ahead.Take(d, bytes, time));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
    ASSERT_TRUE(ahead.Take(a, bytes, time));
  }
  {
    // Files the scan kept come as they were given, and being in memory
    // already they hold up none of the reading ahead.
    std::vector<FilePrefetcher::Given> given(4);
    given[0].bytes = {'k', 'e', 'p', 't'};
    given[0].time = 7;
    given[0].given = true;
    given[1].bytes.assign(5000, 'g');
    given[1].given = true;
    FilePrefetcher ahead({missing, large, a, d}, {4, 5000, 100, 10}, 4096, 1, std::move(given));
    ASSERT_TRUE(ahead.Take(missing, bytes, time));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "kept");
    EXPECT_EQ(time, 7u);
    ASSERT_TRUE(ahead.Take(large, bytes, time));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(5000, 'g'));
    ASSERT_TRUE(ahead.Take(a, bytes, time));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(100, 'a'));
    ASSERT_TRUE(ahead.Take(d, bytes, time));
  }
  RemoveTree(dir);
}

}  // namespace
