// Storing and restoring the folder and selection of a picker pair (a shell
// combo and its shell list) between runs of the program.  The stored text
// is the combo's folder followed by character 1, then each selected item's
// file name followed by character 1.
#pragma once

#include <string>

// What the storage needs of a shell combo.
class IFolderCombo {
 public:
  virtual ~IFolderCombo() = default;
  virtual std::string FolderPath() = 0;
  // False when the folder cannot be shown (it no longer exists, say).
  virtual bool SetFolderPath(const std::string& path) = 0;
  virtual void ShowDesktopFolder() = 0;
};

// What the storage needs of a shell list.
class IFileList {
 public:
  virtual ~IFileList() = default;
  virtual bool SetFolderPath(const std::string& path) = 0;
  virtual void ShowDesktopFolder() = 0;
  virtual void Refresh() = 0;
  virtual int ItemCount() = 0;
  virtual std::string ItemFileName(int index) = 0;
  virtual bool ItemSelected(int index) = 0;
  // Selects the item without giving it the focus.
  virtual void SelectItemUnfocused(int index) = 0;
};

const char kFileListSeparator = '\x01';

std::string FileListText(IFolderCombo* combo, IFileList* list);
// Returns false when the stored folder could not be shown and the pair
// fell back to the desktop; nothing is selected then.
bool ApplyFileListText(const std::string& text, IFolderCombo* combo, IFileList* list);

// Between the variables of the settings unit (Expert/WizardFilelistContents,
// index n) and a pair; SaveSettings writes the stored texts to the registry.
void StoreFileList(IFolderCombo* combo, IFileList* list, int n, bool expert);
void RestoreFileList(IFolderCombo* combo, IFileList* list, int n, bool expert);
