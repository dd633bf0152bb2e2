// Stand-in for the web browser: records each start as one line.  A window
// program, as browsers are: a console program started by a window program
// would get a console of its own.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("APPSTARTUP_RECORD", path, sizeof path);
  if (n == 0 || n >= sizeof path) return 1;
  FILE* f = std::fopen(path, "ab");
  if (!f) return 1;
  std::fprintf(f, "%s\n", GetCommandLineA());
  std::fclose(f);
  return 0;
}
