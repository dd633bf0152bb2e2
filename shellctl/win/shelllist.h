// The shell list: one folder of the shell namespace as a report or icon
// list, the way a file manager's right pane shows it.  It follows the folder
// held in its locator (or in a linked shell tree or combo), filters files by
// wildcard masks, refreshes itself after changes on disk and keeps its
// column widths from one folder to the next.  Commands, menus, renaming and
// drag and drop are in shelllistcmds.cpp.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/comobj.h"
#include "win/shelldata.h"
#include "win/shelllocator.h"
#include "win/shellole.h"
#include "win/treelist.h"

class TChangeHandlerThread;
class TPTCustomShellTree;
class TPTCustomShellCombo;
class TTreeNode;
class TDropTarget_shlv;

enum TPTShellListOption {
  ptsloAutoFill,
  ptsloNonFilesystemAncestors,
  ptsloDesignInteractive,
  ptsloDefaultKeyHandling,
  ptsloContextMenus,
  ptsloDontChangeFolder,
  ptsloDontGoBelowBase,  // declared; nothing in this program uses it
  ptsloDynamicRefresh,
  ptsloHideFoldersWhenLinkedToTree,
  ptsloOleDrag,
  ptsloOleDrop,
  ptsloFolderContextMenu,  // declared; nothing in this program uses it
};
// Bit i is option i.
typedef uint16_t TPTShellListOptions;
inline TPTShellListOptions PtsloBit(TPTShellListOption o) { return static_cast<TPTShellListOptions>(1u << o); }
enum : TPTShellListOptions { kDefaultShellListOptions = 3739 };

enum : UINT {
  kListChangeMessage = 1125,
  kListEditNameMessage = 1126,
  kListGetBrowserMessage = 1031,
};

using TPTShAddItemEvent =
    std::function<void(TObject* aSender, IShellFolder* aParentIShf, LPCITEMIDLIST aParentAbsIdList,
                       LPCITEMIDLIST aItemRelIdList, int aAttribs, BOOL& afAllowAdd)>;
using TPTShListDeleteItemEvent =
    std::function<void(TObject* aSender, TListItem* aNode, TPTShListData* aShListData)>;
// The same type as the tree's: the handler may change the text it is given.
using TPTShPopupHintEvent = std::function<void(TObject* aSender, std::string& hint)>;
using TPTShDblClickOpenEvent = std::function<void(TObject* aSender, bool& afHandled)>;
using TPTShLvCustomDrawEvent =
    std::function<void(TObject* aSender, TPTCustomDraw* aCD, TListItem* aItem, TPTShListData* aData)>;

class TPTCustomShellList : public TPTCustomListView, public TPTShListOwner {
 public:
  explicit TPTCustomShellList(TComponent* AOwner);
  ~TPTCustomShellList() override;

  // Re-reads the current folder.
  void Refill();
  // With alsoLinked, the linked combo's and tree's pending refreshes run
  // first; then a refresh waiting for its delay runs now.
  void FlushRefresh(bool alsoLinked);
  TPTShListData* SelectedData();
  // Null for an item without data; another class of data raises
  // EInvalidCast.
  TPTShListData* ItemData(int index);
  void GoUp(int levels);
  bool CreateNewFolder(bool startEditing);
  void SetFolderFromTreeNode(TTreeNode* node);

  TPTShellLocator& Folder() { return *folder_; }
  void SetFolder(TPTShellLocator* value) { folder_->Assign(value); }
  TPTShellListOptions Options() const { return options_; }
  void SetOptions(TPTShellListOptions v);
  bool HasOption(TPTShellListOption o) const { return (options_ & PtsloBit(o)) != 0; }
  const std::string& FileFilter() const { return file_filter_; }
  void SetFileFilter(const std::string& v);

  TPTCustomShellTree* ShellTree() const { return shell_tree_; }
  TPTCustomShellCombo* ShellCombo() const { return shell_combo_; }
  // Called by the tree's and the combo's own ShellList setters.
  void SetShellTree(TPTCustomShellTree* tree);
  void SetShellCombo(TPTCustomShellCombo* combo);

  // 1-based column, negative for descending.
  int SortColumn() const { return sort_column_; }
  // 0 none yet, 1 from the folder's details object, 2 the standard four.
  int ColumnMode() const { return column_mode_; }
  bool Busy() const { return busy_; }

  // What a list item asks of its list.
  IShellFolder* ShellFolder() override { return folder_intf_.Get(); }
  LPCITEMIDLIST FolderPidl() override { return folder_pidl_; }
  IMalloc* ShellAllocator() override;
  IShellDetails* ShellDetails() override;

  // The design-time hit test: whether a click at the client point goes to
  // the list rather than to the form designer.
  bool DesignHitTest(int x, int y);

  TPTShAddItemEvent OnAddItem;
  TPTShListDeleteItemEvent OnDeleteItem;
  TPTShPopupHintEvent OnPopupHint;
  TPTShDblClickOpenEvent OnDblClickOpen;
  TPTShLvCustomDrawEvent OnCustomDrawSh, OnCustomDrawShEx;
  TNotifyEvent OnFillComplete;

  void WndProc(TMessage& m) override;
  void PublishProperties(TPropList& list) const override;

  // The registered drop target while there is one (for callers that drive
  // a drop themselves).
  IDropTarget* OleDropTarget() const;

 protected:
  virtual bool CanAddItem(IShellFolder* folder, LPCITEMIDLIST relativePidl, ULONG attributes);
  // Fires OnDblClickOpen; true when no handler took the opening.
  virtual bool DblClickOpen();
  virtual void Fill(IShellFolder* folder, LPCITEMIDLIST absolutePidl);
  virtual void FillComplete();
  // The context menu of the selected items: handler and a filled menu.
  virtual HRESULT BuildSelectionMenu(UINT flags, IContextMenu** handler, HMENU* menu);
  virtual void CustomDrawItem(TPTCustomDraw* cd, TListItem* item, TPTShListData* data);
  virtual void StartWatching();
  virtual void PrepareFilter();
  virtual bool MatchesFilter(const std::string& name, ULONG attributes);
  virtual void ReleaseFilter();
  // The one place where the list asks for a drop target: the item's own
  // (item given) or the current folder's (item null).
  virtual HRESULT ItemDropTarget(TListItem* item, IDropTarget** target);

  void Notification(TComponent* c, TOperation op) override;
  void InitWnd() override;
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  bool CanEdit(TListItem* item) override;
  void ColClick(TListColumn* column) override;
  void Delete(TListItem* item) override;
  void ItemInserted(TListItem* item) override;
  void CustomDraw(NMCUSTOMDRAW* record, LRESULT& result) override;
  void Edit(TListItem* item, std::string& text) override;
  void GetDispInfo(TListItem* item, TLVDispInfo& info) override;
  void CNNotify(TMessage& m) override;
  void RightClick() override;
  void BeginDrag(TListItem* item, bool right) override;

  void FolderChanged(TObject* sender);
  void TimedRefresh(TObject* sender);
  void IncrementalRefresh();
  void SortItems();
  void SetupColumns();
  bool LabelEditing();

  // Commands (shelllistcmds.cpp).
  void InvokeSelectionVerb(const std::string& verb);
  void PasteIntoFolder();
  void ContextMenuAtPoint(POINT client);
  void OpenSelection();
  void NavigateTo(LPCITEMIDLIST absolutePidl);
  void SelectAll();
  void HandleMenuMessage(TMessage& m);
  void StartOleDrag(bool right);
  HRESULT ChooseDropTarget(POINTL screen, TListItem** item, IDropTarget** target, bool* ownEmpty);
  void SetDropHighlight(TListItem* item);
  void AutoScroll(POINT client);
  void RegisterDropTarget();
  void RevokeDropTarget();

 public:
  // The drop side, called by the registered target.
  HRESULT OleDragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect);
  HRESULT OleDragOver(DWORD keyState, POINTL pt, DWORD* effect);
  HRESULT OleDragLeave();
  HRESULT OleDrop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect);

 protected:
  // The fields, in the order the class has them.
  TComPtr<IShellFolder> folder_intf_;
  LPITEMIDLIST folder_pidl_ = nullptr;
  TComPtr<IMalloc> allocator_;
  bool details_asked_ = false;
  TComPtr<IShellDetails> details_;
  TPTShellLocator* folder_;
  TPTShellListOptions options_ = kDefaultShellListOptions;
  std::string file_filter_;
  std::unique_ptr<std::vector<std::string>> filter_masks_;
  std::unique_ptr<TNameSet> filter_names_;
  // The refresh timer: a timer of the list's own window.
  struct TRefreshTimer {
    bool enabled = false;
    unsigned interval = 400;
  } refresh_timer_;
  void SetRefreshTimer(bool enabled, unsigned interval = 0);
  TPTCustomShellTree* shell_tree_ = nullptr;
  TPTCustomShellCombo* shell_combo_ = nullptr;
  int sort_column_ = 1;
  int navigation_depth_ = 0;
  bool ignore_next_change_ = false;
  TChangeHandlerThread* change_thread_ = nullptr;
  // The change thread watches the current folder: only then does a change
  // of our own come back as a message to be ignored.
  bool watching_ = false;
  std::string name_to_edit_;
  bool busy_ = false;
  bool refill_pending_ = false;
  TPTShListData* pending_data_ = nullptr;
  ULONG pending_attributes_ = 0;
  IShellDetails* pending_details_ = nullptr;
  DWORD last_scroll_ = 0;
  TComPtr<TDropTarget_shlv> drop_target_;
  uint8_t column_mode_ = 0;
  bool keep_widths_ = false;

  // Drag state: the data object of a running drag out, and what a drag in
  // brought at its entry.
  TComPtr<IDataObject> drag_out_data_;
  TComPtr<IDataObject> drop_data_;
  DWORD drop_keys_ = 0;
  TListItem* drop_item_ = nullptr;
  // The context-menu handler while its menu is up.
  IContextMenu* active_menu_ = nullptr;
  TCustomImageList* small_images_ = nullptr;
  TCustomImageList* large_images_ = nullptr;
};

class TPTShellList : public TPTCustomShellList {
 public:
  explicit TPTShellList(TComponent* AOwner) : TPTCustomShellList(AOwner) {}
};

// The list's IDropTarget: forwards to the list's drop handlers.
class TDropTarget_shlv : public TComObject<IDropTarget> {
 public:
  explicit TDropTarget_shlv(TPTCustomShellList* list) : list_(list) {}
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) override;
  STDMETHODIMP DragOver(DWORD keyState, POINTL pt, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) override;
  void Detach() { list_ = nullptr; }

 private:
  TPTCustomShellList* list_;
};

// The list's IDataObject: the chosen items of the list in the three shell
// formats.
class TDataObject_shlv : public TPTDataObject {
 public:
  explicit TDataObject_shlv(TPTCustomShellList* list);
  // The items it was built from (their relative lists belong to the list).
  int ItemCount() const { return item_count_; }

 private:
  int item_count_ = 0;
};
