// Holds a file open for reading without delete or write sharing, the way a
// running program holds its library, until a stop file appears.
//   instf_holder <file> <ready file> <stop file>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  HANDLE h = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 2;
  HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(ready);
  for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
  CloseHandle(h);
  return 0;
}
