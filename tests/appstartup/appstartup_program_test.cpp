// Morvane32.exe started as its own process: title and restored positions,
// the storage modes shown on the options page, F1 on every main page, and
// what a close stores, also when one of the stores fails.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

#include "appstartup_support.h"
#include "test_support.h"

using namespace appstartup;

namespace {

const std::string kWindowsKey = std::string(kMainKey) + "\\windows";

struct WindowSearch {
  DWORD pid;
  std::string className;  // "" for any but the application's own window
  std::string title;      // "" for any
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND wnd, LPARAM lp) {
  auto* s = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != s->pid || !IsWindowVisible(wnd)) return TRUE;
  char cls[64] = "", text[256] = "";
  GetClassNameA(wnd, cls, sizeof cls);
  GetWindowTextA(wnd, text, sizeof text);
  if (s->className.empty() ? std::string(cls) == "TMorvaneApplication" : s->className != cls) return TRUE;
  if (!s->title.empty() && s->title != text) return TRUE;
  s->found = wnd;
  return FALSE;
}

struct ChildSearch {
  std::string group, item;
  HWND found = nullptr;
};

BOOL CALLBACK MatchRadio(HWND wnd, LPARAM lp) {
  auto* s = reinterpret_cast<ChildSearch*>(lp);
  char text[128] = "", parent[128] = "";
  GetWindowTextA(wnd, text, sizeof text);
  GetWindowTextA(GetParent(wnd), parent, sizeof parent);
  if (s->item != text || s->group != parent) return TRUE;
  s->found = wnd;
  return FALSE;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(kMainKey);
    recorder.reset(new BrowserRecorder);
    // A blank in the folder, as under "Program Files": the page's path must
    // reach the browser as one argument.
    workDir = testsupport::Join(testsupport::ScratchDir(), "work dir");
    testsupport::MakeDirs(workDir);
  }
  void TearDown() override {
    if (pi.hProcess) {
      if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
    DeleteTree(kMainKey);
  }

  HWND Find(const std::string& className, const std::string& title) {
    for (int i = 0; i < 400; ++i) {
      WindowSearch s{pi.dwProcessId, className, title};
      EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&s));
      if (s.found) return s.found;
      Sleep(50);
    }
    return nullptr;
  }

  // Starts the program in the work folder and returns its main window.
  HWND Start() {
    std::string cmd = "\"" + testsupport::Join(testsupport::Join(testsupport::BuildDir(), "app"), "Morvane32.exe") + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si, &pi))
      return nullptr;
    return Find("", kTitle);
  }

  // Closes the main window (answering an error box with OK when
  // 'expectError') and returns the exit code, or -1 when it did not end.
  long Close(HWND main, bool expectError) {
    PostMessageA(main, WM_CLOSE, 0, 0);
    if (expectError) {
      HWND box = Find("#32770", "");
      EXPECT_NE(box, nullptr) << "the failed store is not reported";
      if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) return -1;
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<long>(code);
  }

  bool RadioChecked(HWND main, const std::string& group, const std::string& item) {
    ChildSearch s{group, item};
    EnumChildWindows(main, MatchRadio, reinterpret_cast<LPARAM>(&s));
    return s.found && SendMessageA(s.found, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  void PressF1(HWND main) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = GetGUIThreadInfo(pi.dwThreadId, &info) && info.hwndFocus ? info.hwndFocus : main;
    PostMessageA(target, WM_KEYDOWN, VK_F1, 0x003B0001);
    PostMessageA(target, WM_KEYUP, VK_F1, 0xC03B0001);
  }

  std::unique_ptr<BrowserRecorder> recorder;
  std::string workDir;
  PROCESS_INFORMATION pi{};
};

}  // namespace

TEST_F(Program, StartsWhereLeftOpensPageHelpAndStoresOnClose) {
  SetDword(kWindowsKey + "\\Form1", "store mode", 2);
  SetDword(kWindowsKey + "\\Form1", "left", 123);
  SetDword(kWindowsKey + "\\Form1", "top", 87);
  SetDword(kWindowsKey + "\\Form2", "store mode", 1);
  // Started from a folder with the help pages (the other case starts
  // without them).
  testsupport::CopyTree(testsupport::Join(testsupport::SourceDir(), "help"), workDir + "\\help");

  HWND main = Start();
  ASSERT_NE(main, nullptr) << "no main window titled " << kTitle;
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 123);
  EXPECT_EQ(r.top, 87);
  // The modes show before the options page was ever opened.
  EXPECT_TRUE(RadioChecked(main, "Main window", "Restore old position"));
  EXPECT_TRUE(RadioChecked(main, "Patch progress window", "Center it on screen"));
  EXPECT_FALSE(RadioChecked(main, "Patch progress window", "Restore old position"));
  testsupport::Screenshot("appstartup_main_window");

  HWND tabs = FindWindowExA(main, nullptr, WC_TABCONTROLA, nullptr);
  ASSERT_NE(tabs, nullptr);
  const char* pages[] = {"page_RCS", "page_Expert", "page_Wizard", "page_Options", "page_About"};
  for (int i = 0; i < 5; ++i) {
    SendMessageA(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(i), 0);
    ASSERT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), i);
    PressF1(main);
    auto starts = recorder->Wait(static_cast<size_t>(i) + 1);
    ASSERT_EQ(starts.size(), static_cast<size_t>(i) + 1) << "F1 on " << pages[i] << " started no browser";
    const std::string page = workDir + "\\help\\Form1_" + pages[i] + ".html";
    EXPECT_TRUE(EndsWith(starts.back(), " \"" + page + "\"")) << starts.back();
    if (i == 3) testsupport::Screenshot("appstartup_options_page");
    // On key up F1 also shows the help window on the index page; Esc hides
    // it and the main window is active again for the next page.
    HWND help = Find("TMorvaneControl", "Morvane Help System");
    ASSERT_NE(help, nullptr) << "F1 on " << pages[i] << " showed no help window";
    if (i == 0) testsupport::Screenshot("appstartup_help_window");
    PostMessageA(help, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    for (int wait = 0; wait < 100 && IsWindowVisible(help); ++wait) Sleep(20);
    EXPECT_FALSE(IsWindowVisible(help));
  }

  SetWindowPos(main, nullptr, 211, 144, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Close(main, false), 0);
  EXPECT_EQ(RegQueryDword(kWindowsKey + "\\Form1", "left"), 211);
  EXPECT_EQ(RegQueryDword(kWindowsKey + "\\Form1", "top"), 144);
  EXPECT_EQ(RegQueryDword(kWindowsKey + "\\Form1", "store mode"), 2);
  // The settings went back too (they were read as defaults at start).
  EXPECT_EQ(RegQueryDword(kMainKey, "Hide Splash"), 0);
  EXPECT_EQ(RegQueryDword(kMainKey, "Default browser"), 3);
}

TEST_F(Program, FailedPositionStoreIsReportedAndKeepsTheOtherSettings) {
  // Keys below a volatile key must be volatile too, so the main window's
  // position key cannot be made.
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kWindowsKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  // Out of range: brought into range at start, so a stored 4 shows the
  // settings were written at close.
  SetDword(kMainKey, "Startup page", 99);

  HWND main = Start();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Close(main, true), 0);
  EXPECT_EQ(RegQueryDword(kWindowsKey + "\\Form1", "left"), -1);
  EXPECT_EQ(RegQueryDword(kMainKey, "Startup page"), 4);
  EXPECT_EQ(RegQueryDword(kMainKey, "Hide Splash"), 0);
}
