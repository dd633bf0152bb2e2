// display-ready: waits until Wine's desktop on the session's display takes
// windows. The first program of a session that creates a window can race
// the desktop process Wine starts for it and fail with "Error creating
// window"; the test session runs this once before any test.
#include <windows.h>

int main() {
  for (int attempt = 0; attempt < 200; ++attempt) {
    HWND wnd = CreateWindowA("STATIC", "display-ready", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (wnd) {
      DestroyWindow(wnd);
      return 0;
    }
    Sleep(100);
  }
  return 1;
}
