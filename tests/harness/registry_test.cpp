#include <gtest/gtest.h>
#include <windows.h>

#include "test_support.h"

using testsupport::RunWindows;

TEST(Harness, RegistryValueSeenByAnotherProcess) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneHarness", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  const char value[] = "written by the harness";
  ASSERT_EQ(RegSetValueExA(key, "Probe", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(key);

  std::string out;
  RunWindows("reg.exe query HKCU\\Software\\MorvaneHarness /v Probe", &out);
  EXPECT_NE(out.find("written by the harness"), std::string::npos) << out;

  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\MorvaneHarness");
  RunWindows("reg.exe query HKCU\\Software\\MorvaneHarness /v Probe", &out);
  EXPECT_EQ(out.find("written by the harness"), std::string::npos) << out;
}
