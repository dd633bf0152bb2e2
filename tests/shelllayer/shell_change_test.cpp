// The change-notification thread with real notifications: files made by
// Win32 and by a Unix program, stopping, the full table and a prompt end.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "shell_test_common.h"
#include "test_support.h"
#include "win/changethread.h"

using namespace shelltest;
using testsupport::Join;

namespace {

const UINT kChangeMessage = 1125;

class ChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = CreateWindowA("STATIC", "changes", 0, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    thread = new TChangeHandlerThread(window, kChangeMessage);
  }
  void TearDown() override {
    if (thread) thread->Destroy();
    DestroyWindow(window);
  }
  // The slot of the next change message within ms, or -1.
  int NextChange(int ms) {
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    MSG msg;
    do {
      if (PeekMessageA(&msg, window, kChangeMessage, kChangeMessage, PM_REMOVE)) {
        EXPECT_EQ(0, msg.lParam);
        return static_cast<int>(msg.wParam);
      }
      Sleep(10);
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return -1;
  }
  void Drain() {
    while (NextChange(150) >= 0) {
    }
  }
  HWND window = nullptr;
  TChangeHandlerThread* thread = nullptr;
};

TEST_F(ChangeTest, RealChangesArePostedUntilStopped) {
  const std::string dir = Scratch("watch1");
  const std::string other = Scratch("watch2");
  int slot = -1, slot2 = -1;
  ASSERT_TRUE(thread->AddWatch(dir, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
  ASSERT_TRUE(thread->AddWatch(other, FILE_NOTIFY_CHANGE_FILE_NAME, slot2, true));
  EXPECT_EQ(0, slot);
  EXPECT_EQ(1, slot2);
  EXPECT_EQ(-1, NextChange(100));

  testsupport::WriteFileText(Join(dir, "win32.txt"), "a");
  EXPECT_EQ(slot, NextChange(3000));
  Drain();
  // Re-armed: a second change, made outside Wine, is seen too.
  ASSERT_EQ(0, testsupport::RunUnix("/usr/bin/touch", {testsupport::ToUnixPath(Join(dir, "unix.txt"))}));
  EXPECT_EQ(slot, NextChange(3000));
  Drain();
  // The subtree watch, changed at its own level (Wine 8 reports no deeper).
  ASSERT_EQ(0, testsupport::RunUnix("/bin/mv", {testsupport::ToUnixPath(Join(dir, "unix.txt")),
                                                testsupport::ToUnixPath(Join(other, "moved.txt"))}));
  int a = NextChange(3000), b = NextChange(3000);
  EXPECT_TRUE((a == slot && b == slot2) || (a == slot2 && b == slot)) << a << " " << b;
  Drain();

  // A path that cannot be watched uses no slot.
  int unused = 77;
  EXPECT_FALSE(thread->AddWatch(Join(dir, "missing"), FILE_NOTIFY_CHANGE_FILE_NAME, unused, false));
  EXPECT_FALSE(thread->AddWatch("", FILE_NOTIFY_CHANGE_FILE_NAME, unused, false));
  EXPECT_EQ(77, unused);
  EXPECT_EQ(2, thread->WatchCount());

  thread->StopAll();
  EXPECT_EQ(0, thread->WatchCount());
  testsupport::WriteFileText(Join(dir, "after.txt"), "a");
  EXPECT_EQ(-1, NextChange(500));
  // Slots are free again after stopping.
  ASSERT_TRUE(thread->AddWatch(dir, FILE_NOTIFY_CHANGE_FILE_NAME, slot, false));
  EXPECT_EQ(0, slot);
}

TEST_F(ChangeTest, SixtyThreeWatchesIdleAndAPromptEnd) {
  const std::string dir = Scratch("many");
  int slot = -1;
  for (int i = 0; i < TChangeHandlerThread::kMaxWatches; ++i) {
    ASSERT_TRUE(thread->AddWatch(dir, FILE_NOTIFY_CHANGE_FILE_NAME, slot, false)) << i;
    EXPECT_EQ(i, slot);
  }
  // One wait takes 64 handles, the command event included.
  EXPECT_FALSE(thread->AddWatch(dir, FILE_NOTIFY_CHANGE_FILE_NAME, slot, false));
  EXPECT_EQ(62, slot);
  EXPECT_EQ(63, thread->WatchCount());

  // Waiting, not spinning.
  FILETIME c, e, k0, u0, k1, u1;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
  Sleep(1000);
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
  auto ticks = [](const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
  const uint64_t used = (ticks(k1) - ticks(k0)) + (ticks(u1) - ticks(u0));  // 100 ns units
  EXPECT_LT(used, 1000000u) << used / 10000 << " ms";

  // Every watch still reports.
  testsupport::WriteFileText(Join(dir, "x.txt"), "a");
  EXPECT_GE(NextChange(3000), 0);

  DWORD start = GetTickCount();
  thread->Destroy();
  thread = nullptr;
  EXPECT_LT(GetTickCount() - start, 100u);
}

}  // namespace
