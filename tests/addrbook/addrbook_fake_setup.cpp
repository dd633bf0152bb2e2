// Stands in for the table engine's installer: leaves "setup-ran.txt" with
// its own path beside itself, so a test sees that it was started.
#include <windows.h>

#include <string>

int main() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, n);
  std::string marker = path.substr(0, path.find_last_of('\\') + 1) + "setup-ran.txt";
  HANDLE f = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(f, path.data(), static_cast<DWORD>(path.size()), &written, nullptr);
  CloseHandle(f);
  return 0;
}
