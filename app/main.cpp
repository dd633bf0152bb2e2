// The entry point of Morvane32: brings the application up, runs the
// message loop and frees the engine's buffers however it ends.
#include <windows.h>

#include "patchfile.h"
#include "startup.h"
#include "win/forms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    StartUp();
    Application->Run();
  } catch (...) {
    Application->HandleException(Application);
  }
  // Settings were saved by the main window as it closed.
  FreeEngineBuffers();
  return 0;
}
