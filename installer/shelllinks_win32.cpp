#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "shelllinks.h"
#include "win/comobj.h"

namespace {

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw EShellLinkOle(static_cast<long>(hr), std::string(what) + ": " + SysErrorMessage(hr));
}

}  // namespace

long InitializeShellLinks() { return static_cast<long>(CoInitialize(nullptr)); }

void SaveShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                   const std::string& workingDir, uint16_t hotKey) {
  // Checked before anything is made: a cut path would save the link under
  // another name.
  wchar_t wide[MAX_PATH];
  if (!AnsiToWide(linkPath, wide, MAX_PATH)) throw Exception("The link path " + linkPath + " is too long");
  TComPtr<IShellLinkA> link;
  Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid()),
        "CoCreateInstance");
  Check(link->SetPath(target.c_str()), "SetPath");
  Check(link->SetHotkey(hotKey), "SetHotkey");
  Check(link->SetArguments(arguments.c_str()), "SetArguments");
  Check(link->SetWorkingDirectory(workingDir.c_str()), "SetWorkingDirectory");
  TComPtr<IPersistFile> file;
  Check(link->QueryInterface(IID_IPersistFile, file.PutVoid()), "QueryInterface");
  Check(file->Save(wide, TRUE), "Save");
}

bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str())) return false;
  // The profile cache writes late; flushing makes a failure show here.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
  return FileExists(file);
}
