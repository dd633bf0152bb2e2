// display-ready: waits until Wine's desktop on the session's display takes
// windows. The first program of a session that creates a window can race
// the desktop process Wine starts for it and fail with "Error creating
// window"; the test session runs this once before any test.
//
// display-ready --hold: the same, then keeps its hidden window until it is
// ended.  Wine closes a desktop about a second after its last program has
// gone; a test starting in that second gets the dying desktop's window as
// the parent of its own and fails with an X BadWindow error.  The session
// keeps one holder running so that its desktop lives as long as it does.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  const bool hold = argc > 1 && std::strcmp(argv[1], "--hold") == 0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    HWND wnd = CreateWindowA("STATIC", "display-ready", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (wnd) {
      if (hold) {
        // Never shown: it takes no focus from the tests' windows.
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
      }
      DestroyWindow(wnd);
      return 0;
    }
    Sleep(100);
  }
  return 1;
}
