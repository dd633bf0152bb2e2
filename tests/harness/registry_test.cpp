#include <gtest/gtest.h>
#include <windows.h>

#include "test_support.h"

namespace {

// Runs a command line in a new process and returns its standard output.
std::string RunAndCapture(std::string cmdline) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return "";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessA(nullptr, cmdline.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string out;
  if (ok) {
    char buf[4096];
    DWORD n;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
  return out;
}

}  // namespace

TEST(Harness, RegistryValueSeenByAnotherProcess) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneHarness", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  const char value[] = "written by the harness";
  ASSERT_EQ(RegSetValueExA(key, "Probe", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(key);

  std::string out = RunAndCapture("reg.exe query HKCU\\Software\\MorvaneHarness /v Probe");
  EXPECT_NE(out.find("written by the harness"), std::string::npos) << out;

  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\MorvaneHarness");
  out = RunAndCapture("reg.exe query HKCU\\Software\\MorvaneHarness /v Probe");
  EXPECT_EQ(out.find("written by the harness"), std::string::npos) << out;
}
