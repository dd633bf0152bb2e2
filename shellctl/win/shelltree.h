// The shell tree: the folder tree of the shell namespace with system icons
// and overlays, lazy expansion, renaming through the shell, the shell's
// context menus and verbs, OLE drag and drop and a refresh on directory
// changes.  It keeps a linked shell combo in step.
//
// Selection changes reach the followers (the current-folder locator, the
// combo, later the shell list) through one path: Change decides whether
// they go now or after the refresh timer, and UpdateSelectionFollowers
// tells them.  The refresh timer remembers each pending job by itself, so a
// change refresh and a selection follow-up never drop each other.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "win/comobj.h"
#include "win/imagelist.h"
#include "win/shelldata.h"
#include "win/shelllocator.h"
#include "win/shellmenu.h"
#include "win/shellole.h"
#include "win/treelist.h"

class TChangeHandlerThread;
class TPTCustomShellCombo;
class TPTCustomShellTree;
class TPTCustomShellList;

enum TPTShellTreeOption : uint16_t {
  ptstoAutoFill = 0x001,
  ptstoVirtualFolders = 0x002,
  ptstoDesignInteractive = 0x004,
  ptstoDefaultKeyHandling = 0x008,
  ptstoContextMenus = 0x010,
  ptstoDynamicRefresh = 0x020,
  ptstoIncludeNonFolders = 0x040,
  ptstoOleDrag = 0x080,
  ptstoOleDrop = 0x100,
};
using TPTShellTreeOptions = uint16_t;
enum : TPTShellTreeOptions { kDefaultShellTreeOptions = 443 };

// The message the change thread posts to the tree.
enum : UINT { kShellChangeMessage = 1125 };

using TPTShAddItemEvent =
    std::function<void(TObject* aSender, IShellFolder* aParentIShf, LPCITEMIDLIST aParentAbsIdList,
                       LPCITEMIDLIST aItemRelIdList, int aAttribs, BOOL& afAllowAdd)>;
using TPTShTreeDeleteItemEvent = std::function<void(TObject* aSender, TTreeNode* aNode, TPTShTreeData* aShTreeData)>;
using TPTShPopupHintEvent = std::function<void(TObject* aSender, std::string& hint)>;
using TPTShTvCustomDrawEvent =
    std::function<void(TObject* aSender, TPTCustomDraw* aCD, TTreeNode* aNode, TPTShTreeData* aData)>;

// The data of a dragged node: "Shell IDList Array" (the parent's absolute
// list and the node's relative list), the parse name as a dropped file and
// as text.
class TDataObject_shtv : public TPTDataObject {
 public:
  TDataObject_shtv(TPTCustomShellTree* tree, TTreeNode* node);
};

// The tree's registered drop target: every call goes to the tree.
class TDropTarget_shtv : public TComObject<IDropTarget> {
 public:
  explicit TDropTarget_shtv(TPTCustomShellTree* tree) : tree_(tree) {}
  STDMETHODIMP DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  STDMETHODIMP Drop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) override;

 private:
  TPTCustomShellTree* tree_;
};

class TPTCustomShellTree : public TPTCustomTreeView {
 public:
  explicit TPTCustomShellTree(TComponent* AOwner);
  ~TPTCustomShellTree() override;

  // The root: absent list = the desktop.  A change fills the tree again.
  TPTShellLocator* BaseFolder() { return &base_folder_; }
  // The selected folder; setting it expands the path and selects it.
  TPTShellLocator* CurrentFolder() { return &current_folder_; }

  TPTShellTreeOptions Options() const { return options_; }
  void SetOptions(TPTShellTreeOptions v);

  // Set by the combo when it links itself.
  TPTCustomShellCombo* ShellCombo() const { return combo_; }
  void SetShellCombo(TPTCustomShellCombo* combo);
  // The linked shell list: linked both ways, told when the tree goes, and
  // given the tree's current folder.
  TPTCustomShellList* ShellList() const;
  void SetShellList(TPTCustomShellList* list);

  void Fill();
  // Merges the expanded levels with the namespace; during an OLE drag of
  // the tree's own it is only remembered.
  void Refresh();
  void WatchPath(const std::string& path);
  void WatchAllDrives();
  // Runs the pending jobs of the refresh timer now.
  void FlushRefresh();
  void SelectAncestor(int levels);
  bool CreateNewFolder();
  std::string SelectedPath();
  HRESULT InvokeNodeVerb(TTreeNode* node, const std::string& verb);
  // Expands the path to the folder and selects it; false when the folder
  // is not below the root.
  bool SelectFolder(LPCITEMIDLIST pidl);
  TTreeNode* FindChild(TTreeNode* parent, const std::string& text);
  // At design time: whether the tree, not the designer, takes the mouse at
  // a client point.
  bool DesignHitTest(int x, int y);

  // The OLE drop side (through TDropTarget_shtv).
  HRESULT OleDragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect);
  HRESULT OleDragOver(DWORD keyState, POINTL point, DWORD* effect);
  HRESULT OleDragLeave();
  HRESULT OleDrop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect);

  // The owner window of shell operations: the form's.
  HWND OwnerWindow();
  // The node's own folder and item: the parent's folder and the relative
  // list, or for the root the split of its absolute list.  Lists freed
  // with ShellFree.
  HRESULT NodeItem(TTreeNode* node, IShellFolder** folder, LPITEMIDLIST* item, LPITEMIDLIST* parentAbs);

  int Busy() const { return busy_; }
  bool IgnoreNextChange() const { return ignore_next_change_; }
  bool Dragging() const { return dragging_; }
  // The pending jobs of the refresh timer: bit 1 selection follow-up, bit
  // 2 change refresh (also the timer's Tag).
  int PendingJobs() const { return pending_; }
  bool RefreshTimerRunning() const { return timer_running_; }

  TPTShAddItemEvent OnAddItem;
  TPTShTreeDeleteItemEvent OnDeleteItem;
  TPTShPopupHintEvent OnPopupHint;
  TPTShTvCustomDrawEvent OnCustomDrawSh, OnCustomDrawShEx;
  TNotifyEvent OnFillComplete;

  void WndProc(TMessage& m) override;
  void Loaded() override;
  void PublishProperties(TPropList& list) const override;

 protected:
  enum { kJobSelection = 1, kJobRefresh = 2 };
  // Well away from the ids the tree-view control uses for its own timers.
  enum : UINT_PTR { kRefreshTimerId = 0x5348 };

  TTreeNode* AddItemNode(TTreeNode* parentNode, IShellFolder* folder, LPCITEMIDLIST parentAbs,
                         LPCITEMIDLIST itemRel);
  void FillLevel(TTreeNode* node);
  virtual void FillComplete();
  // The selection reacts: now, or after 500 ms when a list is linked and
  // the move did not come from the mouse.
  virtual void Change(TTreeNode* node);
  // Whether selection follow-ups wait for the timer: only for a linked
  // shell list.
  virtual bool DefersSelection() const;
  // Tells the current-folder locator, the linked list and the combo about
  // the selected node.
  virtual void UpdateSelectionFollowers();
  // The one place the tree asks a node for its shell drop target.
  virtual HRESULT NodeDropTarget(TTreeNode* node, IDropTarget** target);
  bool RenameNode(TTreeNode* node, const std::string& name, std::string* newText);
  void ShowShellMenu(TTreeNode* node, POINT point);

  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void DestroyHandle() override;
  void CNNotify(TMessage& m) override;
  void CustomDraw(NMCUSTOMDRAW* record, LRESULT& result) override;
  void GetImageIndex(TTreeNode* node) override;
  void GetSelectedIndex(TTreeNode* node) override;
  void ContextMenuAt(TTreeNode* node, POINT point) override;
  void BeginDrag(TTreeNode* node, bool right) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void Notification(TComponent* c, TOperation op) override;

 private:
  void BaseFolderChanged();
  void CurrentFolderChanged();
  void TimerFired();
  void StopTimer();
  void StartTimer(int job, unsigned ms);
  void RunPendingJobs();
  void ChangeNotified();
  void RefreshNode(TTreeNode* node);
  bool ChildExists(IShellFolder* folder, TPTShTreeData* data);
  void ClearSubtreeCaches(TTreeNode* node);
  void RegisterDropTarget(bool on);
  bool Editing();
  TTreeNode* DropQuery(POINTL point, DWORD keyState, DWORD* effect, bool over);
  void AutoScroll(POINT client);

  // Fields in the order the tree keeps them.
  TPTShellLocator base_folder_;
  TPTShellLocator current_folder_;
  bool timer_running_ = false;  // the refresh timer, a timer of the window
  int pending_ = 0;
  TComponent* shell_list_ = nullptr;  // the linked shell list, wired with the list
  TPTShellTreeOptions options_ = 0;
  TPTCustomShellCombo* combo_ = nullptr;
  bool selection_immediate_ = false;
  int busy_ = 0;
  bool ignore_next_change_ = false;
  TChangeHandlerThread* change_thread_ = nullptr;
  bool dragging_ = false;
  bool refresh_after_drag_ = false;
  TTreeNode* drag_node_ = nullptr;
  TComPtr<IDropTarget> drop_target_;
  TComPtr<IDataObject> drag_object_;
  DWORD last_scroll_ = 0;
  TComPtr<IDataObject> drop_data_;
  DWORD drop_keys_ = 0;

  TCustomImageList* images_ = nullptr;
  std::set<TTreeNode*> filled_;
  std::set<TPTShTreeData*> datas_;
  IContextMenu* menu_handler_ = nullptr;  // while the shell menu is open
  TSendToMenu* send_to_ = nullptr;
  HMENU send_to_menu_ = nullptr;
};

class TPTShellTree : public TPTCustomShellTree {
 public:
  using TPTCustomShellTree::TPTCustomShellTree;
};
