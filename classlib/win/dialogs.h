// The system's file open and save dialogs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "classes.h"

enum TOpenOption : unsigned {
  ofReadOnly = 0x1,
  ofOverwritePrompt = 0x2,
  ofHideReadOnly = 0x4,
  ofNoChangeDir = 0x8,
  ofAllowMultiSelect = 0x10,
  ofExtensionDifferent = 0x20,
  ofPathMustExist = 0x40,
  ofFileMustExist = 0x80,
  ofCreatePrompt = 0x100,
  ofNoValidate = 0x200,
};
typedef unsigned TOpenOptions;

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
  // True when the user chose a file; FileName (and Files) hold the choice.
  virtual bool Execute();
  std::string FileName;
  // "Text files|*.txt|All files|*.*"
  std::string Filter;
  int FilterIndex = 1;
  std::string InitialDir;
  std::string DefaultExt;
  std::string Title;
  TOpenOptions Options = ofHideReadOnly;
  // Every chosen file with its full path (several with ofAllowMultiSelect).
  TStringList& Files() { return files_; }

  // Answers the dialog instead of showing it (tests): gets the
  // OPENFILENAME about to be shown, fills lpstrFile and returns the result.
  static BOOL (*RunHook)(OPENFILENAMEA* ofn, bool save);

 protected:
  bool Run(bool save);
  TStringList files_;
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
  bool Execute() override { return Run(true); }
};
