#include "dialogs.h"

#include <commdlg.h>

#include <vector>

#include "forms.h"

BOOL (*TOpenDialog::RunHook)(OPENFILENAMEA*, bool) = nullptr;

bool TOpenDialog::Execute() { return Run(false); }

bool TOpenDialog::Run(bool save) {
  // The filter's "|" separators become the NULs the dialog expects.
  std::string filter = Filter;
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.append(2, '\0');
  // Room for many names when several may be chosen.
  std::vector<char> buffer((Options & ofAllowMultiSelect) ? 65536 : MAX_PATH * 2, '\0');
  FileName.copy(buffer.data(), std::min(FileName.size(), buffer.size() - 1));

  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Screen && Screen->ActiveForm() ? Screen->ActiveForm()->Handle() : Application->Handle();
  ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
  ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING;
  if (Options & ofReadOnly) ofn.Flags |= OFN_READONLY;
  if (Options & ofOverwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
  if (Options & ofHideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  if (Options & ofNoChangeDir) ofn.Flags |= OFN_NOCHANGEDIR;
  if (Options & ofAllowMultiSelect) ofn.Flags |= OFN_ALLOWMULTISELECT;
  if (Options & ofPathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
  if (Options & ofFileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
  if (Options & ofCreatePrompt) ofn.Flags |= OFN_CREATEPROMPT;
  if (Options & ofNoValidate) ofn.Flags |= OFN_NOVALIDATE;

  BOOL ok;
  if (RunHook)
    ok = RunHook(&ofn, save);
  else
    ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!ok) return false;

  files_.Clear();
  const char* p = buffer.data();
  std::string first(p);
  p += first.size() + 1;
  if ((Options & ofAllowMultiSelect) && *p) {
    // A folder followed by the names chosen in it.
    std::string dir = first;
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    while (*p) {
      std::string name(p);
      files_.Add(dir + name);
      p += name.size() + 1;
    }
  } else {
    files_.Add(first);
  }
  FileName = files_.Get(0);
  FilterIndex = static_cast<int>(ofn.nFilterIndex);
  if (ofn.Flags & OFN_EXTENSIONDIFFERENT)
    Options |= ofExtensionDifferent;
  else
    Options &= ~static_cast<unsigned>(ofExtensionDifferent);
  return true;
}
