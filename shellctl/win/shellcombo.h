// The shell combo: the address drop-down above a shell tree or list.
// Desktop at the top, its folders, the drives folder always opened to its
// drives, and the path down to the located folder, each level indented.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <vector>

#include "win/imagecombo.h"
#include "win/shelldata.h"
#include "win/shelllocator.h"

class TPTCustomShellTree;
class TPTCustomShellList;
class TTreeNode;

enum TPTShellComboOption : uint8_t {
  ptscoAutofill = 0x01,
  ptscoNonFilesystemAncestors = 0x02,
};
using TPTShellComboOptions = uint8_t;

// Sorts relative lists with the folder's own comparison.  Raises Exception
// "Recursive call to SortPidls" when a comparison re-enters it.
void SortPidls(IShellFolder* folder, std::vector<LPITEMIDLIST>& pidls);

class TPTCustomShellCombo : public TPTCustomImageCombo {
 public:
  explicit TPTCustomShellCombo(TComponent* AOwner);
  ~TPTCustomShellCombo() override;

  TPTShellLocator* Locator() { return &locator_; }
  TPTShellComboOptions Options() const { return options_; }
  void SetOptions(TPTShellComboOptions v) { options_ = v; }

  TPTCustomShellTree* ShellTree() const { return tree_; }
  // Ignored while a shell list is linked.
  void SetShellTree(TPTCustomShellTree* tree);
  // Forgets the tree without telling it: it is going, or follows another
  // combo now.
  void TreeGone(TPTCustomShellTree* tree);
  // Ignored while a tree is linked; links the list both ways.
  TPTCustomShellList* ShellList() const;
  void SetShellList(TPTCustomShellList* list);

  // Selects the entry n levels above the selected one (entry 0 at most).
  void GoUpLevels(int n);
  void FlushRefresh(bool alsoLinked);
  // Rebuilds the entries for the locator's folder.
  void Rebuild();
  // The entry's data (null for none).
  TPTShComboData* EntryData(int index);
  // At design time: whether the combo takes the mouse at a client point
  // (the drop-down button strip).
  bool DesignHitTest(int x, int y);

  virtual bool CanAddEntry(IShellFolder* folder, LPCITEMIDLIST relativePidl, ULONG attributes);
  virtual void LocatorChanged();
  virtual void SetFolderFromTreeNode(TTreeNode* node);
  virtual void AddEntries(IShellFolder* folder, LPCITEMIDLIST folderPidl, TPTIdListArray& path, int level);

  void Loaded() override;
  void PublishProperties(TPropList& list) const override;

 protected:
  void InitWnd() override;
  void SelEndOk() override;
  using TPTCustomImageCombo::DeleteItem;
  void DeleteItem(TObject* item) override;
  void Notification(TComponent* c, TOperation op) override;

 private:
  void AutoFill();
  // Adds one entry for the item of 'folder'; answers its index.
  int AddEntry(IShellFolder* folder, LPCITEMIDLIST folderPidl, LPCITEMIDLIST rel, int indent, bool open,
               ULONG attrs);

  TCustomImageList* system_images_ = nullptr;
  int depth_ = 0;
  TPTCustomShellTree* tree_ = nullptr;
  TComponent* shell_list_ = nullptr;  // the linked shell list, wired with the list
  TPTShellLocator locator_;
  TPTShellComboOptions options_ = ptscoAutofill | ptscoNonFilesystemAncestors;
  int selected_ = -1;  // the located entry while rebuilding
  LPITEMIDLIST drives_ = nullptr;  // the drives folder while rebuilding
};

class TPTShellCombo : public TPTCustomShellCombo {
 public:
  using TPTCustomShellCombo::TPTCustomShellCombo;
};
