// Stand-in for a browser or mail client: records how it was started.
#include <windows.h>

#include <cstdio>

int main() {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("APPSETTINGS_RECORD", path, sizeof path);
  if (n == 0 || n >= sizeof path) return 1;
  // Written whole and then renamed, so a reader never sees half a line.
  char temp[MAX_PATH + 8];
  std::snprintf(temp, sizeof temp, "%s.tmp", path);
  FILE* f = std::fopen(temp, "wb");
  if (!f) return 1;
  std::fprintf(f, "%s", GetCommandLineA());
  std::fclose(f);
  return MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
