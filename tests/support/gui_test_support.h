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

// Real input through the system's queue (SendInput). Every mouse event
// carries its own screen position: the display may still report an earlier
// pointer position for a little while after a move.
inline INPUT MouseInput(POINT screen, DWORD buttons) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  in.mi.dx = (screen.x * 65535 + w / 2) / (w - 1);
  in.mi.dy = (screen.y * 65535 + h / 2) / (h - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
  return in;
}

// Moves the pointer (with buttons, when given) and waits until the system
// reports it there.
inline void SendMouse(POINT screen, DWORD buttons) {
  INPUT in = MouseInput(screen, buttons);
  SendInput(1, &in, sizeof in);
  DWORD end = GetTickCount() + 1000;
  POINT cur{};
  int steady = 0;
  do {
    Pump(5);
    GetCursorPos(&cur);
    steady = (cur.x == screen.x && cur.y == screen.y) ? steady + 1 : 0;
  } while (steady < 3 && static_cast<int>(end - GetTickCount()) > 0);
}

// Press and release queued in one go: a control may track the mouse in a
// loop of its own from the press on, which only the release ends.
inline void SendClick(POINT screen, DWORD down, DWORD up) {
  INPUT in[2] = {MouseInput(screen, down), MouseInput(screen, up)};
  SendInput(2, in, sizeof in[0]);
  Pump(40);
}

// A press, four moves towards 'to' and the release there, queued in one go.
inline void SendDrag(POINT from, POINT to, DWORD down, DWORD up) {
  INPUT in[6];
  in[0] = MouseInput(from, down);
  for (int i = 1; i <= 4; ++i)
    in[i] = MouseInput(POINT{from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4}, 0);
  in[5] = MouseInput(to, up);
  SendInput(6, in, sizeof in[0]);
  Pump(60);
}

inline void SendKey(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
}

// A key pressed and released, with Shift held when asked.
inline void PressKey(WORD vk, bool shift = false) {
  if (shift) SendKey(VK_SHIFT, false);
  SendKey(vk, false);
  SendKey(vk, true);
  if (shift) SendKey(VK_SHIFT, true);
  Pump(40);
}

}  // namespace testsupport
