// Helpers for the tests that drive real windows of the class library under
// Wine (header only: test_support itself does not link the class library).
#pragma once

#include <windows.h>

#include "win/forms.h"

namespace testsupport {

// Lets the application handle its messages for about ms milliseconds.
inline void Pump(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    Application->ProcessMessages();
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

// The pixel at a control's client point as the screen shows it.
inline COLORREF ScreenPixel(TControl* c, int x, int y) {
  POINT p = c->ClientToScreen(POINT{x, y});
  HDC dc = GetDC(nullptr);
  COLORREF v = GetPixel(dc, p.x, p.y);
  ReleaseDC(nullptr, dc);
  return v;
}

}  // namespace testsupport
