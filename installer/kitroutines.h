// Small stateless helpers shared by the installer kit: Windows queries,
// ";"-separated lists and paths, registry access, INI sections and
// component naming.
#pragma once

#include <cstdint>
#include <string>

class TStrings;
class TComponent;

// ---- registry roots ----
enum TRootKeys {
  hkClassesRoot = 0,
  hkCurrentConfig = 1,
  hkCurrentUser = 2,
  hkDynData = 3,
  hkLocalMachine = 4,
  hkUsers = 5
};

// ---- Windows helpers (raise EAPIRoutines) ----
std::string ShortPathName(const std::string& path);  // "" on failure
// 0 Win32s, 1 Windows 95 family, 2 Windows NT, 3 Windows NT 3.5x, 4 other.
int GetWindowsVersion();
// A new unique file in the temporary directory, deleted again unless keep.
std::string MakeTempFileName(bool keep);
std::string GetSystemDir();
std::string GetWindowsDir();

// ---- strings ----
std::string GetItem(const std::string& text, int n, char separator);
int CountItems(const std::string& text, char separator);
void SplitToList(const std::string& text, char separator, TStrings* list);
std::string AddBackslash(const std::string& path);
std::string RemoveBackslash(const std::string& path);
std::string AfterColon(const std::string& text);
std::string CleanFileName(const std::string& text);

// ---- registry (each call works on a fresh registry object) ----
// 'hkey' is a predefined root handle value such as HKEY_LOCAL_MACHINE.
TRootKeys RootKeyOf(uintptr_t hkey, TRootKeys defaultRoot);
void WriteRegistryString(TRootKeys root, const std::string& key, const std::string& name,
                         const std::string& value);
void WriteRegistryInteger(TRootKeys root, const std::string& key, const std::string& name,
                          int value);
std::string ReadRegistryString(TRootKeys root, const std::string& key, const std::string& name,
                               const std::string& defaultValue);
int ReadRegistryInteger(TRootKeys root, const std::string& key, const std::string& name,
                        int defaultValue);
void DeleteRegistryKeyTree(TRootKeys root, const std::string& key);
bool AddRunOnceValue(const std::string& name, const std::string& command, bool unique);

// ---- INI files ----
void ListIniSections(const std::string& fileName, TStrings* list);

// ---- development-environment object repository (build side) ----
std::string FindObjectRepository(int ide);
void RemoveRepositorySections(const std::string& fileName, const std::string& text);

// ---- components ----
void SetUniqueName(TComponent* component, const std::string& base);
