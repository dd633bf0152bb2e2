// The splash window: its picture and place, and that a start-up shows it
// until the main window is up, or never when "Hide Splash" is set. Each
// start-up runs in a child process of this test (a process starts once),
// which watches the windows made through hooks.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "gui_test_support.h"
#include "mainform.h"
#include "settings.h"
#include "splash.h"
#include "startup.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// Windows are made at a default size and brought to theirs afterwards, so
// the splash is known by the size it takes, and the order of events by a
// counter.
int eventCount = 0;
std::map<HWND, int> createdAt, destroyedAt;
std::set<HWND> splashes;

LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) createdAt[reinterpret_cast<HWND>(wp)] = ++eventCount;
  if (code == HCBT_DESTROYWND) destroyedAt[reinterpret_cast<HWND>(wp)] = ++eventCount;
  return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK SizeHook(int code, WPARAM wp, LPARAM lp) {
  const CWPSTRUCT* m = reinterpret_cast<CWPSTRUCT*>(lp);
  if (code == HC_ACTION && m->message == WM_WINDOWPOSCHANGED && !(GetWindowLongA(m->hwnd, GWL_STYLE) & WS_CHILD)) {
    const WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(m->lParam);
    if (pos->cx == 355 && pos->cy == 127) splashes.insert(m->hwnd);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// In the child: one start-up, watched, then a report for the parent.
int RunChild(const std::string& report) {
  HHOOK cbt = SetWindowsHookExA(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
  HHOOK sizes = SetWindowsHookExA(WH_CALLWNDPROC, SizeHook, nullptr, GetCurrentThreadId());
  StartUp();
  UnhookWindowsHookEx(sizes);
  UnhookWindowsHookEx(cbt);
  const int mainMade = createdAt[Form1->Handle()];
  bool aliveAtMain = false, aliveAfter = false;
  for (HWND s : splashes) {
    const int end = destroyedAt.count(s) ? destroyedAt[s] : eventCount + 1;
    aliveAtMain = aliveAtMain || (createdAt[s] < mainMade && end > mainMade);
    aliveAfter = aliveAfter || IsWindow(s);
  }
  FILE* f = std::fopen(report.c_str(), "w");
  if (!f) return 2;
  std::fprintf(f, "created=%d aliveAtMain=%d aliveAfter=%d object=%d", static_cast<int>(splashes.size()),
               aliveAtMain ? 1 : 0, aliveAfter ? 1 : 0, form_Splash != nullptr ? 1 : 0);
  std::fclose(f);
  return 0;
}

std::string StartChild(bool hideSplash) {
  InitSettingsUnit();
  HideSplash = hideSplash;
  SaveSettings();
  const std::string report = Join(ScratchDir(), hideSplash ? "hidden.txt" : "shown.txt");
  DeleteFileA(report.c_str());
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  EXPECT_EQ(RunWindows("\"" + std::string(self) + "\" --startup \"" + report + "\""), 0);
  auto bytes = ReadFileBytes(report);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(Splash, AStartShowsItUntilTheMainWindowIsUpAndHideSplashNeverMakesOne) {
  EXPECT_EQ(StartChild(false), "created=1 aliveAtMain=1 aliveAfter=0 object=0");
  EXPECT_EQ(StartChild(true), "created=0 aliveAtMain=0 aliveAfter=0 object=0");
  HideSplash = false;
  SaveSettings();
}

TEST(Splash, ThePictureFillsABorderlessCentredWindowOnce) {
  Application->Initialize();
  ShowSplash();
  ASSERT_NE(form_Splash, nullptr);
  Tform_Splash* first = form_Splash;
  ShowSplash();
  EXPECT_EQ(form_Splash, first);
  Pump(100);
  HWND wnd = form_Splash->Handle();
  RECT r;
  GetWindowRect(wnd, &r);
  EXPECT_EQ(r.right - r.left, 355);
  EXPECT_EQ(r.bottom - r.top, 127);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 355) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 127) / 2);
  EXPECT_EQ(GetWindowLongA(wnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0);
  EXPECT_EQ(form_Splash->Image1->Picture().Width(), 355);
  // The picture itself: the bright strip along the top and the orange
  // square of the new version.
  EXPECT_EQ(ScreenPixel(form_Splash, 200, 1), RGB(120, 170, 230));
  EXPECT_EQ(ScreenPixel(form_Splash, 50, 60), RGB(240, 170, 40));
  Screenshot("appsplash_splash");
  CloseSplash();
  EXPECT_EQ(form_Splash, nullptr);
  EXPECT_FALSE(IsWindow(wnd));
  CloseSplash();
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--startup") return RunChild(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
