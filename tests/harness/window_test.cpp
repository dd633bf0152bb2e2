#include <gtest/gtest.h>
#include <windows.h>

#include "test_support.h"

namespace {

const COLORREF kFill = RGB(0x20, 0x80, 0xC0);

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    HBRUSH brush = CreateSolidBrush(kFill);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 10, 10, "Harness window", 14);
    EndPaint(wnd, &ps);
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

void Pump() {
  MSG m;
  for (int i = 0; i < 50; ++i) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(10);
  }
}

}  // namespace

TEST(Harness, WindowIsDrawnAndScreenshotTaken) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "MorvaneHarnessWindow";
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  ASSERT_TRUE(RegisterClassA(&wc));
  HWND wnd = CreateWindowA("MorvaneHarnessWindow", "Harness", WS_OVERLAPPEDWINDOW, 100, 100, 320, 200, nullptr,
                           nullptr, wc.hInstance, nullptr);
  ASSERT_NE(wnd, nullptr);
  ShowWindow(wnd, SW_SHOW);
  UpdateWindow(wnd);
  Pump();

  // The window's pixels reach the screen the user sees.
  POINT p{150, 120};
  ClientToScreen(wnd, &p);
  HDC screen = GetDC(nullptr);
  COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(c, kFill);

  std::string shot = testsupport::Screenshot("harness_window");
  ASSERT_FALSE(shot.empty()) << "no display";
  EXPECT_GT(testsupport::ReadFileBytes(shot).size(), 1000u);
  DestroyWindow(wnd);
}
