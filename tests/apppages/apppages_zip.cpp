// Test-only stand-in for "zip.exe": runs the real Unix zip with the
// arguments it was given (drive paths turned into Unix paths) and waits
// for it. Wine starts Unix programs but its process handle does not wait
// for them, so the script leaves an exit-code file behind as the signal.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool IsZPath(const std::string& a) { return a.size() > 2 && (a[0] == 'Z' || a[0] == 'z') && a[1] == ':' && a[2] == '\\'; }

std::string Unix(std::string a) {
  a = a.substr(2);
  for (char& c : a)
    if (c == '\\') c = '/';
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script = "/usr/bin/zip", place;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    script += " " + Quote(IsZPath(a) ? Unix(a) : a);
    if (IsZPath(a)) place = a;
  }
  if (place.empty()) return 2;
  const std::string sh = place + ".zipwait.sh", rc = place + ".zipwait.rc";
  DeleteFileA(rc.c_str());
  script += " >/dev/null 2>&1 </dev/null\necho $? >" + Quote(Unix(rc) + ".tmp") + " && mv " + Quote(Unix(rc) + ".tmp") +
            " " + Quote(Unix(rc)) + "\n";
  FILE* f = std::fopen(sh.c_str(), "wb");
  if (!f) return 2;
  std::fputs(script.c_str(), f);
  std::fclose(f);
  std::string cmd = "/bin/sh " + Unix(sh);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA("Z:\\bin\\sh", &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 2;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  for (int waited = 0; GetFileAttributesA(rc.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 10) {
    if (waited > 60000) return 2;
    Sleep(10);
  }
  FILE* r = std::fopen(rc.c_str(), "rb");
  int code = 2;
  if (r) {
    if (std::fscanf(r, "%d", &code) != 1) code = 2;
    std::fclose(r);
  }
  DeleteFileA(sh.c_str());
  DeleteFileA(rc.c_str());
  return code;
}
