#include "filelists.h"

#include <vector>

#include "settings.h"

namespace {

std::vector<std::string>& Contents(bool expert) { return expert ? ExpertFilelistContents : WizardFilelistContents; }

}  // namespace

std::string FileListText(IFolderCombo* combo, IFileList* list) {
  std::string text = combo->FolderPath() + kFileListSeparator;
  for (int i = 0; i < list->ItemCount(); ++i)
    if (list->ItemSelected(i)) text += list->ItemFileName(i) + kFileListSeparator;
  return text;
}

bool ApplyFileListText(const std::string& text, IFolderCombo* combo, IFileList* list) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(kFileListSeparator, start);
    if (end == std::string::npos) end = text.size();
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  const std::string folder = pieces.empty() ? std::string() : pieces[0];
  bool shown = !folder.empty() && combo->SetFolderPath(folder) && list->SetFolderPath(folder);
  if (!shown) {
    combo->ShowDesktopFolder();
    list->ShowDesktopFolder();
  }
  list->Refresh();
  // Names found on the desktop instead would be other files.
  if (!shown) return false;
  for (size_t p = 1; p < pieces.size(); ++p) {
    if (pieces[p].empty()) continue;
    for (int i = 0; i < list->ItemCount(); ++i) {
      if (list->ItemFileName(i) == pieces[p]) {
        list->SelectItemUnfocused(i);
        break;
      }
    }
  }
  return true;
}

void StoreFileList(IFolderCombo* combo, IFileList* list, int n, bool expert) {
  if (n < 0) return;
  std::vector<std::string>& contents = Contents(expert);
  if (static_cast<size_t>(n) >= contents.size()) contents.resize(static_cast<size_t>(n) + 1);
  contents[static_cast<size_t>(n)] = FileListText(combo, list);
}

void RestoreFileList(IFolderCombo* combo, IFileList* list, int n, bool expert) {
  const std::vector<std::string>& contents = Contents(expert);
  std::string text = n >= 0 && static_cast<size_t>(n) < contents.size() ? contents[static_cast<size_t>(n)] : "";
  ApplyFileListText(text, combo, list);
}
