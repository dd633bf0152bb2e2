#include "shelltree.h"

#include <cstring>

#include "shelltext.h"
#include "sysutils.h"
#include "win/shelllist.h"
#include "win/changethread.h"
#include "win/forms.h"
#include "win/shellcombo.h"

namespace {

bool Designing(TComponent* c) { return (c->ComponentState() & csDesigning) != 0; }
bool IsLoading(TComponent* c) { return (c->ComponentState() & csLoading) != 0; }

TPTShTreeData* DataOf(TTreeNode* n) { return n ? static_cast<TPTShTreeData*>(n->Data) : nullptr; }

// Raised for as long as it lives, also when an exception leaves the scope.
struct TCounterHold {
  explicit TCounterHold(int& c) : c_(c) { ++c_; }
  ~TCounterHold() { --c_; }
  int& c_;
};

struct TPidlHolder {
  LPITEMIDLIST p = nullptr;
  ~TPidlHolder() { ShellFree(p); }
};

const ULONG kAddMask = 0xF20B0000;
const ULONG kRenameMask = 0x40000177;

bool HasExpandButton(ULONG attrs, bool nonFolders) {
  const ULONG both = SFGAO_HASSUBFOLDER | SFGAO_FOLDER;
  return nonFolders ? (attrs & both) != 0 : (attrs & both) == both;
}

int CALLBACK CompareNodes(LPARAM a, LPARAM b, LPARAM folderParam) {
  auto* folder = reinterpret_cast<IShellFolder*>(folderParam);
  TPTShTreeData* da = DataOf(reinterpret_cast<TTreeNode*>(a));
  TPTShTreeData* db = DataOf(reinterpret_cast<TTreeNode*>(b));
  if (!folder || !da || !db) return 0;
  HRESULT hr = folder->CompareIDs(0, da->RelativePidl(), db->RelativePidl());
  if (FAILED(hr)) return 0;
  return static_cast<short>(HRESULT_CODE(hr));
}

bool SameItem(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  HRESULT hr = folder->CompareIDs(0, a, b);
  return SUCCEEDED(hr) && static_cast<short>(HRESULT_CODE(hr)) == 0;
}

// Whether the scroll bar of that kind has more to show than its page.
bool CanScroll(HWND wnd, int bar) {
  if (!(GetWindowLongA(wnd, GWL_STYLE) & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL))) return false;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE;
  if (!GetScrollInfo(wnd, bar, &si)) return false;
  return si.nMax - si.nMin + 1 > static_cast<int>(si.nPage);
}

std::string MenuText(HMENU menu, int pos) {
  char text[128] = {};
  GetMenuStringA(menu, static_cast<UINT>(pos), text, sizeof text, MF_BYPOSITION);
  std::string s;
  for (const char* p = text; *p; ++p)
    if (*p != '&') s += *p;
  return s;
}

const UINT kSendToFirstId = 0x7000;

}  // namespace

// ---------------------------------------------------------------- OLE objects

TDataObject_shtv::TDataObject_shtv(TPTCustomShellTree* tree, TTreeNode* node) {
  TPTShTreeData* data = DataOf(node);
  if (!data) return;
  TComPtr<IShellFolder> folder;
  TPidlHolder item, parent;
  if (FAILED(tree->NodeItem(node, folder.Put(), &item.p, &parent.p))) return;
  std::string path = GetDisplayName(folder.Get(), item.p, 2);
  SetShellBlocks(parent.p, {item.p}, {path}, path);
}

STDMETHODIMP TDropTarget_shtv::DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) {
  return tree_->OleDragEnter(dataObject, keyState, point, effect);
}
STDMETHODIMP TDropTarget_shtv::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
  return tree_->OleDragOver(keyState, point, effect);
}
STDMETHODIMP TDropTarget_shtv::DragLeave() { return tree_->OleDragLeave(); }
STDMETHODIMP TDropTarget_shtv::Drop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) {
  return tree_->OleDrop(dataObject, keyState, point, effect);
}

// ---------------------------------------------------------------- construction

TPTCustomShellTree::TPTCustomShellTree(TComponent* AOwner) : TPTCustomTreeView(AOwner) {
  base_folder_.OnChange = [this](TObject*) { BaseFolderChanged(); };
  current_folder_.OnChange = [this](TObject*) { CurrentFolderChanged(); };
  options_ = kDefaultShellTreeOptions;
  DragCursor = static_cast<TCursor>(-12);
  images_ = new TCustomImageList(this);
  images_->ShareImages = true;
  images_->SetHandle(SystemImageList(false));
  SetImages(images_);
}

TPTCustomShellTree::~TPTCustomShellTree() {
  SetShellList(nullptr);
  if (change_thread_) {
    change_thread_->Destroy();
    change_thread_ = nullptr;
  }
  if (combo_) {
    TPTCustomShellCombo* c = combo_;
    combo_ = nullptr;
    c->TreeGone(this);
  }
  // The nodes go while this class still handles their deletion.
  DestroyHandle();
  for (TPTShTreeData* d : datas_) delete d;
  datas_.clear();
  delete send_to_;
}

void TPTCustomShellTree::PublishProperties(TPropList& list) const {
  TPTCustomTreeView::PublishProperties(list);
  list.push_back(ObjProp<TPTCustomShellTree>("BaseFolder", &TPTCustomShellTree::BaseFolder));
  list.push_back(OrdProp<TPTCustomShellTree>(
      "Options", pkSet, &TPTCustomShellTree::Options, &TPTCustomShellTree::SetOptions,
      {"ptstoAutoFill", "ptstoVirtualFolders", "ptstoDesignInteractive", "ptstoDefaultKeyHandling",
       "ptstoContextMenus", "ptstoDynamicRefresh", "ptstoIncludeNonFolders", "ptstoOleDrag", "ptstoOleDrop"}));
}

HWND TPTCustomShellTree::OwnerWindow() {
  TForm* f = GetParentForm(this);
  if (f && f->HandleAllocated()) return f->Handle();
  return HandleAllocated() ? handle_ : nullptr;
}

void TPTCustomShellTree::SetOptions(TPTShellTreeOptions v) {
  TPTShellTreeOptions old = options_;
  options_ = v;
  if ((old ^ v) & ptstoOleDrop) RegisterDropTarget((v & ptstoOleDrop) != 0);
  if ((old ^ v) & ptstoOleDrag) ApplyStyles();
}

void TPTCustomShellTree::SetShellCombo(TPTCustomShellCombo* combo) { combo_ = combo; }

TPTCustomShellList* TPTCustomShellTree::ShellList() const { return static_cast<TPTCustomShellList*>(shell_list_); }

void TPTCustomShellTree::SetShellList(TPTCustomShellList* list) {
  if (list == shell_list_) return;
  if (TPTCustomShellList* old = ShellList()) {
    shell_list_ = nullptr;
    old->RemoveFreeNotification(this);
    old->SetShellTree(nullptr);
  }
  shell_list_ = list;
  if (list) {
    list->FreeNotification(this);
    list->SetShellTree(this);
    list->Folder().SetPidl(current_folder_.GetPidl());
  }
}

void TPTCustomShellTree::Notification(TComponent* c, TOperation op) {
  TPTCustomTreeView::Notification(c, op);
  if (op == opRemove && c == shell_list_) shell_list_ = nullptr;
}

void TPTCustomShellTree::CreateParams(TCreateParams& p) {
  TPTCustomTreeView::CreateParams(p);
  // The begin-drag notifications start the OLE drag.
  if (options_ & ptstoOleDrag) p.Style &= ~static_cast<DWORD>(TVS_DISABLEDRAGDROP);
}

void TPTCustomShellTree::InitWnd() {
  TPTCustomTreeView::InitWnd();
  if (options_ & ptstoOleDrop) RegisterDropTarget(true);
  if ((options_ & ptstoAutoFill) && !IsLoading(this)) Fill();
}

void TPTCustomShellTree::DestroyHandle() {
  RegisterDropTarget(false);
  StopTimer();
  TPTCustomTreeView::DestroyHandle();
}

void TPTCustomShellTree::Loaded() {
  TPTCustomTreeView::Loaded();
  if ((options_ & ptstoAutoFill) && HandleAllocated()) Fill();
}

void TPTCustomShellTree::RegisterDropTarget(bool on) {
  if (on) {
    if (drop_target_ || !HandleAllocated() || Designing(this)) return;
    TComPtr<IDropTarget> t(new TDropTarget_shtv(this));
    if (SUCCEEDED(RegisterDragDrop(handle_, t.Get()))) drop_target_ = t;
  } else if (drop_target_) {
    if (HandleAllocated()) RevokeDragDrop(handle_);
    drop_target_.Clear();
    drop_data_.Clear();
  }
}

bool TPTCustomShellTree::Editing() { return HandleAllocated() && TreeView_GetEditControl(handle_) != nullptr; }

// ---------------------------------------------------------------- filling

TTreeNode* TPTCustomShellTree::AddItemNode(TTreeNode* parentNode, IShellFolder* folder, LPCITEMIDLIST parentAbs,
                                           LPCITEMIDLIST itemRel) {
  ULONG attrs = kAddMask;
  if (FAILED(folder->GetAttributesOf(1, &itemRel, &attrs))) return nullptr;
  if (!(options_ & ptstoVirtualFolders) && !(attrs & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR))) return nullptr;
  BOOL allow = TRUE;
  if (OnAddItem) OnAddItem(this, folder, parentAbs, itemRel, static_cast<int>(attrs), allow);
  if (!allow) return nullptr;
  std::string text = GetDisplayName(folder, itemRel, 1);
  auto* data = new TPTShTreeData(this);
  datas_.insert(data);
  TTreeNode* node = nullptr;
  try {
    data->Init(DataOf(parentNode), ShellMalloc(), itemRel);
    node = Items().AddChild(parentNode, text);
  } catch (...) {
    datas_.erase(data);
    delete data;
    throw;
  }
  node->Data = data;
  node->SetHasChildren(HasExpandButton(attrs, (options_ & ptstoIncludeNonFolders) != 0));
  if (attrs & SFGAO_SHARE)
    node->SetOverlayIndex(0);
  else if (attrs & SFGAO_LINK)
    node->SetOverlayIndex(1);
  if (attrs & SFGAO_HIDDEN) node->SetCut(true);
  return node;
}

void TPTCustomShellTree::FillLevel(TTreeNode* node) {
  TPTShTreeData* data = DataOf(node);
  if (!data) return;
  filled_.insert(node);
  IShellFolder* folder = data->Folder();
  if (!folder) return;
  SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
  if (options_ & ptstoIncludeNonFolders) flags |= SHCONTF_NONFOLDERS;
  TComPtr<IEnumIDList> items;
  if (folder->EnumObjects(OwnerWindow(), flags, items.Put()) == S_OK && items) {
    Items().BeginUpdate();
    try {
      LPITEMIDLIST rel = nullptr;
      ULONG fetched = 0;
      while (items->Next(1, &rel, &fetched) == S_OK && rel) {
        TPidlHolder hold;
        hold.p = rel;
        AddItemNode(node, folder, data->AbsolutePidl(), rel);
        rel = nullptr;
      }
      CustomSort(CompareNodes, reinterpret_cast<LPARAM>(folder), node);
    } catch (...) {
      Items().EndUpdate();
      throw;
    }
    Items().EndUpdate();
  }
  FillComplete();
}

void TPTCustomShellTree::FillComplete() {
  if (OnFillComplete) OnFillComplete(this);
}

void TPTCustomShellTree::Fill() {
  if (dragging_ || Editing()) return;
  {
    TCounterHold busy(busy_);
    Items().Clear();
    filled_.clear();
    LPCITEMIDLIST base = base_folder_.GetPidl();
    static const USHORT kEmpty = 0;
    LPCITEMIDLIST root = base ? base : reinterpret_cast<LPCITEMIDLIST>(&kEmpty);
    TComPtr<IShellFolder> rootFolder;
    CheckResult(PidlToFolder(root, rootFolder.Put()));
    auto* data = new TPTShTreeData(this);
    datas_.insert(data);
    TTreeNode* node = nullptr;
    try {
      data->Init(nullptr, ShellMalloc(), root);
      node = Items().AddChild(nullptr, GetDisplayName(nullptr, root, 0));
    } catch (...) {
      datas_.erase(data);
      delete data;
      throw;
    }
    node->Data = data;
    FillLevel(node);
    node->SetHasChildren(node->GetFirstChild() != nullptr);
    node->Expand();
    if (current_folder_.HoldsList()) SelectFolder(current_folder_.GetPidl());
  }
  if ((options_ & ptstoDynamicRefresh) && !Designing(this)) WatchAllDrives();
}

bool TPTCustomShellTree::ChildExists(IShellFolder* folder, TPTShTreeData* data) {
  // Wine's validate query does not notice deleted items: a file-system
  // item's path is checked as well.
  LPCITEMIDLIST rel = data->RelativePidl();
  ULONG mask = SFGAO_VALIDATE;
  if (FAILED(folder->GetAttributesOf(1, &rel, &mask))) return false;
  std::string path = data->Path();
  return path.empty() || GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void TPTCustomShellTree::RefreshNode(TTreeNode* node) {
  TPTShTreeData* data = DataOf(node);
  if (!data || !node->Expanded()) return;
  IShellFolder* folder = data->Folder();
  if (!folder) return;
  const bool nonFolders = (options_ & ptstoIncludeNonFolders) != 0;
  for (TTreeNode* c = node->GetFirstChild(); c;) {
    TTreeNode* next = c->GetNextSibling();
    TPTShTreeData* cd = DataOf(c);
    if (!cd || !ChildExists(folder, cd)) {
      c->Delete();
    } else {
      LPCITEMIDLIST rel = cd->RelativePidl();
      ULONG attrs = kAddMask;
      if (SUCCEEDED(folder->GetAttributesOf(1, &rel, &attrs)))
        c->SetHasChildren(HasExpandButton(attrs, nonFolders) || c->GetFirstChild());
    }
    c = next;
  }
  SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
  if (nonFolders) flags |= SHCONTF_NONFOLDERS;
  TComPtr<IEnumIDList> items;
  if (folder->EnumObjects(OwnerWindow(), flags, items.Put()) == S_OK && items) {
    LPITEMIDLIST rel = nullptr;
    ULONG fetched = 0;
    while (items->Next(1, &rel, &fetched) == S_OK && rel) {
      TPidlHolder hold, abs;
      hold.p = rel;
      rel = nullptr;
      abs.p = ConcatPidls(nullptr, data->AbsolutePidl(), hold.p);
      bool present = false;
      for (TTreeNode* c = node->GetFirstChild(); c && !present; c = c->GetNextSibling())
        if (TPTShTreeData* cd = DataOf(c)) present = ComparePidls(cd->AbsolutePidl(), abs.p) == 0;
      if (!present) AddItemNode(node, folder, data->AbsolutePidl(), hold.p);
    }
  }
  node->SetHasChildren(node->GetFirstChild() != nullptr);
  for (TTreeNode* c = node->GetFirstChild(); c; c = c->GetNextSibling()) RefreshNode(c);
}

void TPTCustomShellTree::Refresh() {
  if (dragging_) {
    refresh_after_drag_ = true;
    return;
  }
  if (!HandleAllocated()) return;
  if (TTreeNode* root = Items().GetFirstNode()) RefreshNode(root);
  selection_immediate_ = true;
}

// ---------------------------------------------------------------- selection

bool TPTCustomShellTree::SelectFolder(LPCITEMIDLIST pidl) {
  TTreeNode* node = Items().GetFirstNode();
  TPTShTreeData* data = DataOf(node);
  if (!data) return false;
  TPTIdListArray target(pidl), root(data->AbsolutePidl());
  const int rootCount = root.Count(), count = target.Count();
  if (count < rootCount) return false;
  if (rootCount > 0 && ComparePidls(target.Parent(count - rootCount), data->AbsolutePidl()) != 0) return false;
  for (int level = rootCount; level < count && node; ++level) {
    TPTShTreeData* d = DataOf(node);
    IShellFolder* folder = d ? d->Folder() : nullptr;
    if (!folder) break;
    if (!filled_.count(node)) FillLevel(node);
    LPCITEMIDLIST item = target.Items(level);
    TTreeNode* found = nullptr;
    for (TTreeNode* c = node->GetFirstChild(); c && !found; c = c->GetNextSibling())
      if (TPTShTreeData* cd = DataOf(c))
        if (SameItem(folder, cd->RelativePidl(), item)) found = c;
    if (!found) return false;
    node->Expand();
    node = found;
  }
  selection_immediate_ = true;
  SetSelected(node);
  selection_immediate_ = false;
  return true;
}

TTreeNode* TPTCustomShellTree::FindChild(TTreeNode* parent, const std::string& text) {
  for (TTreeNode* c = parent ? parent->GetFirstChild() : Items().GetFirstNode(); c; c = c->GetNextSibling())
    if (SameText(c->Text(), text)) return c;
  return nullptr;
}

void TPTCustomShellTree::BaseFolderChanged() {
  if (HandleAllocated() && !IsLoading(this)) Fill();
}

void TPTCustomShellTree::CurrentFolderChanged() {
  if (busy_ > 0 || !HandleAllocated() || IsLoading(this)) return;
  SelectFolder(current_folder_.GetPidl());
}

bool TPTCustomShellTree::DefersSelection() const { return shell_list_ != nullptr; }

void TPTCustomShellTree::Change(TTreeNode*) {
  if (busy_ == 0 && !IsLoading(this)) {
    if (DefersSelection() && !selection_immediate_)
      StartTimer(kJobSelection, 500);
    else
      UpdateSelectionFollowers();
  }
  selection_immediate_ = false;
}

void TPTCustomShellTree::UpdateSelectionFollowers() {
  TCounterHold busy(busy_);
  TTreeNode* node = Selected();
  TPTShTreeData* data = DataOf(node);
  if (!data) return;
  current_folder_.SetPidl(data->AbsolutePidl());
  if (TPTCustomShellList* list = ShellList()) list->SetFolderFromTreeNode(node);
  if (combo_) combo_->SetFolderFromTreeNode(node);
}

void TPTCustomShellTree::SelectAncestor(int levels) {
  TTreeNode* node = Selected();
  if (!node) return;
  for (int i = 0; i < levels; ++i) {
    TTreeNode* p = node->Parent();
    if (!p) break;
    node = p;
  }
  selection_immediate_ = true;
  SetSelected(node);
  selection_immediate_ = false;
}

std::string TPTCustomShellTree::SelectedPath() {
  TPTShTreeData* data = DataOf(Selected());
  return data ? data->Path() : std::string();
}

// ---------------------------------------------------------------- refresh timer

void TPTCustomShellTree::StartTimer(int job, unsigned ms) {
  pending_ |= job;
  if (!HandleAllocated()) return;
  SetTimer(handle_, kRefreshTimerId, ms, nullptr);
  timer_running_ = true;
}

void TPTCustomShellTree::StopTimer() {
  if (timer_running_ && HandleAllocated()) KillTimer(handle_, kRefreshTimerId);
  timer_running_ = false;
}

void TPTCustomShellTree::TimerFired() {
  StopTimer();
  RunPendingJobs();
}

void TPTCustomShellTree::RunPendingJobs() {
  const int jobs = pending_;
  pending_ = 0;
  // The refresh first: the follow-up then names what is selected after it.
  if (jobs & kJobRefresh) Refresh();
  if (jobs & kJobSelection) UpdateSelectionFollowers();
}

void TPTCustomShellTree::FlushRefresh() {
  if (!timer_running_) return;
  StopTimer();
  RunPendingJobs();
}

void TPTCustomShellTree::ChangeNotified() {
  if (ignore_next_change_) {
    ignore_next_change_ = false;
    return;
  }
  StartTimer(kJobRefresh, Focused() ? 400 : 2000);
}

// ---------------------------------------------------------------- watching

void TPTCustomShellTree::WatchPath(const std::string& path) {
  if (!change_thread_) change_thread_ = new TChangeHandlerThread(Handle(), kShellChangeMessage);
  if (path.empty()) {
    change_thread_->StopAll();
    return;
  }
  std::string root = path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "\\" : path;
  DWORD filter = FILE_NOTIFY_CHANGE_DIR_NAME;
  if (options_ & ptstoIncludeNonFolders) filter |= FILE_NOTIFY_CHANGE_FILE_NAME;
  int slot = -1;
  change_thread_->AddWatch(root, filter, slot, true);
}

void TPTCustomShellTree::WatchAllDrives() {
  if (!change_thread_) change_thread_ = new TChangeHandlerThread(Handle(), kShellChangeMessage);
  change_thread_->StopAll();
  DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
    UINT type = GetDriveTypeA(root.c_str());
    if (type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_RAMDISK) WatchPath(root);
  }
}

// ---------------------------------------------------------------- items and verbs

HRESULT TPTCustomShellTree::NodeItem(TTreeNode* node, IShellFolder** folder, LPITEMIDLIST* item,
                                     LPITEMIDLIST* parentAbs) {
  *folder = nullptr;
  *item = nullptr;
  if (parentAbs) *parentAbs = nullptr;
  TPTShTreeData* data = DataOf(node);
  if (!data) return E_INVALIDARG;
  TPTShTreeData* parent = data->Parent();
  if (parent && parent->Folder()) {
    *item = CopyPidl(nullptr, data->RelativePidl());
    if (parentAbs) *parentAbs = CopyPidl(nullptr, parent->AbsolutePidl());
    if (!*item || (parentAbs && !*parentAbs)) {
      ShellFree(*item);
      *item = nullptr;
      if (parentAbs) {
        ShellFree(*parentAbs);
        *parentAbs = nullptr;
      }
      return E_OUTOFMEMORY;
    }
    *folder = parent->Folder();
    (*folder)->AddRef();
    return S_OK;
  }
  LPITEMIDLIST p = nullptr;
  HRESULT hr = SplitPidl(data->AbsolutePidl(), folder, &p, item);
  if (parentAbs)
    *parentAbs = p;
  else
    ShellFree(p);
  return hr;
}

HRESULT TPTCustomShellTree::InvokeNodeVerb(TTreeNode* node, const std::string& verb) {
  TComPtr<IShellFolder> folder;
  TPidlHolder item;
  HRESULT hr = NodeItem(node, folder.Put(), &item.p, nullptr);
  if (FAILED(hr)) return hr;
  TComPtr<IContextMenu> menu;
  LPCITEMIDLIST items[1] = {item.p};
  hr = folder->GetUIObjectOf(OwnerWindow(), 1, items, IID_IContextMenu, nullptr, menu.PutVoid());
  if (FAILED(hr)) return hr;
  return InvokeVerb(menu.Get(), OwnerWindow(), verb);
}

bool TPTCustomShellTree::CreateNewFolder() {
  TTreeNode* node = Selected();
  TPTShTreeData* data = DataOf(node);
  if (!data) return false;
  std::string path = data->Path();
  if (path.empty()) return false;
  std::string name;
  ignore_next_change_ = true;
  if (!MakeNewFolder(path, name)) {
    // Nothing changed, so no notification will clear the flag.
    ignore_next_change_ = false;
    return false;
  }
  node->SetHasChildren(true);
  node->Expand();
  Refresh();
  node->Expand();
  if (TTreeNode* made = FindChild(node, name)) {
    SetFocus();
    made->EditText();
  }
  return true;
}

void TPTCustomShellTree::ClearSubtreeCaches(TTreeNode* node) {
  for (TTreeNode* c = node->GetFirstChild(); c; c = c->GetNextSibling()) {
    if (TPTShTreeData* d = DataOf(c)) d->ClearCache();
    c->ImageIndex = c->SelectedIndex = -1;
    ClearSubtreeCaches(c);
  }
}

bool TPTCustomShellTree::RenameNode(TTreeNode* node, const std::string& name, std::string* newText) {
  TPTShTreeData* data = DataOf(node);
  TPTShTreeData* parent = data ? data->Parent() : nullptr;
  IShellFolder* folder = parent ? parent->Folder() : nullptr;
  if (!folder) return false;
  std::wstring wide = AnsiToWide(name);
  bool ok = false;
  {
    THourGlassHold hourglass;
    ignore_next_change_ = true;
    TCounterHold busy(busy_);
    LPITEMIDLIST renamed = nullptr;
    HRESULT hr = folder->SetNameOf(OwnerWindow(), data->RelativePidl(), wide.c_str(), SHGDN_INFOLDER, &renamed);
    if (SUCCEEDED(hr) && renamed) {
      TPidlHolder hold;
      hold.p = renamed;
      data->SetRelativePidl(renamed);
      ClearSubtreeCaches(node);
      node->ImageIndex = node->SelectedIndex = -1;
      *newText = GetDisplayName(folder, data->RelativePidl(), 1);
      // The shown folder is the renamed one or lies below it: the locator,
      // the linked list and the combo follow it to its new path (the busy
      // counter keeps them from steering the tree back).
      TTreeNode* shown = Selected();
      TTreeNode* up = shown;
      while (up && up != node) up = up->Parent();
      if (up) UpdateSelectionFollowers();
      ok = true;
    } else {
      // The shell refused: no notification will come to clear the flag.
      ignore_next_change_ = false;
    }
  }
  if (refresh_after_drag_ && !dragging_) {
    refresh_after_drag_ = false;
    Refresh();
  }
  return ok;
}

// ---------------------------------------------------------------- notifications

void TPTCustomShellTree::CNNotify(TMessage& m) {
  NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
  auto tv = reinterpret_cast<NMTREEVIEWA*>(m.LParam);
  switch (h->code) {
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
      TTreeNode* node = reinterpret_cast<TTreeNode*>(tv->itemNew.lParam);
      if ((tv->action & TVE_EXPAND) && node && !filled_.count(node)) {
        THourGlassHold hourglass;
        FillLevel(node);
        if (!node->GetFirstChild()) node->SetHasChildren(false);
      }
      TPTCustomTreeView::CNNotify(m);
      return;
    }
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
      TPTCustomTreeView::CNNotify(m);
      Change(reinterpret_cast<TTreeNode*>(tv->itemNew.lParam));
      return;
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW: {
      TTreeNode* node = reinterpret_cast<TTreeNode*>(tv->itemOld.lParam);
      if (node) {
        TPTShTreeData* data = DataOf(node);
        if (OnDeleteItem) OnDeleteItem(this, node, data);
        if (data && datas_.erase(data)) delete data;
        node->Data = nullptr;
        filled_.erase(node);
        if (drag_node_ == node) drag_node_ = nullptr;
      }
      TPTCustomTreeView::CNNotify(m);
      return;
    }
    case TVN_BEGINLABELEDITA:
    case TVN_BEGINLABELEDITW: {
      auto d = reinterpret_cast<NMTVDISPINFOA*>(m.LParam);
      TTreeNode* node = reinterpret_cast<TTreeNode*>(d->item.lParam);
      bool allow = false;
      if (node && node->Parent() && !Designing(this)) {
        TComPtr<IShellFolder> folder;
        TPidlHolder item;
        if (SUCCEEDED(NodeItem(node, folder.Put(), &item.p, nullptr))) {
          ULONG attrs = kRenameMask;
          LPCITEMIDLIST items[1] = {item.p};
          if (SUCCEEDED(folder->GetAttributesOf(1, items, &attrs)))
            allow = (attrs & SFGAO_FILESYSTEM) && (attrs & SFGAO_CANRENAME);
        }
      }
      if (!allow) {
        m.Result = TRUE;
        return;
      }
      TPTCustomTreeView::CNNotify(m);
      return;
    }
    case TVN_ENDLABELEDITA:
    case TVN_ENDLABELEDITW: {
      auto d = reinterpret_cast<NMTVDISPINFOA*>(m.LParam);
      TTreeNode* node = reinterpret_cast<TTreeNode*>(d->item.lParam);
      m.Result = FALSE;
      if (!node || !d->item.pszText) return;  // cancelled
      std::string s = h->code == TVN_ENDLABELEDITA ? std::string(d->item.pszText)
                                                : WideToAnsi(reinterpret_cast<const wchar_t*>(d->item.pszText));
      if (OnEdited) OnEdited(this, node, s);
      std::string text;
      if (s != node->Text() && RenameNode(node, s, &text)) node->SetText(text);
      return;
    }
    default:
      TPTCustomTreeView::CNNotify(m);
      return;
  }
}

void TPTCustomShellTree::CustomDraw(NMCUSTOMDRAW* record, LRESULT& result) {
  if (!OnCustomDrawSh && !OnCustomDrawShEx) {
    TPTCustomTreeView::CustomDraw(record, result);
    return;
  }
  bool item_stage = (record->dwDrawStage & CDDS_ITEM) != 0;
  TTreeNode* node = item_stage ? reinterpret_cast<TTreeNode*>(record->lItemlParam) : nullptr;
  auto made = [&]() {
    if (!custom_draw_) custom_draw_.reset(CreateCustomDraw(record, &result));
    return custom_draw_.get();
  };
  if (record->dwDrawStage == CDDS_PREPAINT) made();
  if (OnCustomDrawEx) OnCustomDrawEx(this, made(), node);
  if (OnCustomDrawShEx) OnCustomDrawShEx(this, made(), node, DataOf(node));
  if (record->dwDrawStage == CDDS_ITEMPREPAINT) {
    if (OnCustomDraw) OnCustomDraw(this, made(), node);
    if (OnCustomDrawSh) OnCustomDrawSh(this, made(), node, DataOf(node));
  }
  if (custom_draw_) custom_draw_->Apply();
}

void TPTCustomShellTree::GetImageIndex(TTreeNode* node) {
  if (node->ImageIndex < 0)
    if (TPTShTreeData* d = DataOf(node)) node->ImageIndex = SysImageIndex(d->AbsolutePidl(), SHGFI_SMALLICON);
  TPTCustomTreeView::GetImageIndex(node);
}

void TPTCustomShellTree::GetSelectedIndex(TTreeNode* node) {
  if (node->SelectedIndex < 0)
    if (TPTShTreeData* d = DataOf(node))
      node->SelectedIndex = SysImageIndex(d->AbsolutePidl(), SHGFI_SMALLICON | SHGFI_OPENICON);
  TPTCustomTreeView::GetSelectedIndex(node);
}

// ---------------------------------------------------------------- keys

void TPTCustomShellTree::KeyDown(WORD& key, TShiftState shift) {
  if ((options_ & ptstoDefaultKeyHandling) && !Editing() && !Designing(this) && key) {
    LoadShortCutTable();
    uint16_t sc = static_cast<uint16_t>(key & 0x1FFF);
    if (shift & ssShift) sc |= shell::scShift;
    if (shift & ssCtrl) sc |= shell::scCtrl;
    if (shift & ssAlt) sc |= shell::scAlt;
    const shell::TShortCutEntry* table = shell::ShortCutTable();
    uint32_t id = 0;
    for (int i = 0; i < shell::kShortCutCount; ++i)
      if (table[i].shortcut == sc) id = table[i].id;
    TTreeNode* node = Selected();
    bool used = true;
    switch (id) {
      case 52593:  // F2
        if (node) node->EditText();
        break;
      case 52592:  // F5
        Refresh();
        break;
      case 52588:  // Del
        if (node) InvokeNodeVerb(node, "delete");
        break;
      case 52590:  // Ctrl+X
        if (node) InvokeNodeVerb(node, "cut");
        break;
      case 52589:  // Ctrl+C
        if (node) InvokeNodeVerb(node, "copy");
        break;
      case 52591:  // Ctrl+V
        if (node) InvokeNodeVerb(node, "paste");
        break;
      default:
        used = false;
        break;
    }
    if (used) {
      key = 0;
      return;
    }
  }
  TPTCustomTreeView::KeyDown(key, shift);
}

// ---------------------------------------------------------------- context menu

void TPTCustomShellTree::ContextMenuAt(TTreeNode* node, POINT point) {
  if (!(options_ & ptstoContextMenus) || !DataOf(node)) {
    TPTCustomTreeView::ContextMenuAt(node, point);
    return;
  }
  ShowShellMenu(node, point);
  menu_replaced_ = true;
}

void TPTCustomShellTree::ShowShellMenu(TTreeNode* node, POINT point) {
  TComPtr<IShellFolder> folder;
  TPidlHolder item;
  if (FAILED(NodeItem(node, folder.Put(), &item.p, nullptr))) return;
  IContextMenu* raw = nullptr;
  HMENU menu = nullptr;
  if (FAILED(QueryItemMenu(folder.Get(), OwnerWindow(), {item.p}, kFirstMenuId, CMF_EXPLORE, &raw, &menu)) || !raw)
    return;
  TComPtr<IContextMenu> handler = TComPtr<IContextMenu>::Adopt(raw);
  if (!menu) return;
  if (!send_to_) send_to_ = new TSendToMenu(kSendToFirstId);
  send_to_menu_ = nullptr;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (sub && SameText(MenuText(menu, i), "Send To")) {
      send_to_menu_ = sub;
      send_to_->Prepare(sub);
    }
  }
  POINT s = ClientToScreen(point);
  menu_handler_ = handler.Get();
  UINT cmd = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_RIGHTBUTTON, s.x, s.y, 0, Handle(), nullptr));
  menu_handler_ = nullptr;
  std::string sendToName = send_to_->EntryName(cmd);
  DestroyMenu(menu);
  send_to_menu_ = nullptr;
  if (!sendToName.empty()) {
    TComPtr<IDataObject> data(new TDataObject_shtv(this, node));
    SendToTarget(sendToName, data.Get());
  } else if (cmd >= kFirstMenuId) {
    InvokeVerb(handler.Get(), OwnerWindow(), static_cast<int>(cmd - kFirstMenuId));
  }
}

// ---------------------------------------------------------------- drag

void TPTCustomShellTree::BeginDrag(TTreeNode* node, bool right) {
  if (!(options_ & ptstoOleDrag)) {
    TPTCustomTreeView::BeginDrag(node, right);
    return;
  }
  if (!node) return;
  SetDropTarget(node);
  if (!DataOf(node) || !node->Parent()) {
    SetDropTarget(nullptr);
    return;
  }
  DWORD effects = 0;
  {
    TComPtr<IShellFolder> folder;
    TPidlHolder item;
    if (SUCCEEDED(NodeItem(node, folder.Put(), &item.p, nullptr))) {
      ULONG attrs = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
      LPCITEMIDLIST items[1] = {item.p};
      if (SUCCEEDED(folder->GetAttributesOf(1, items, &attrs))) effects = attrs & 7;
    }
  }
  dragging_ = true;
  drag_node_ = node;
  // Our own references from here to the end of the loop.
  TComPtr<IDropSource> source(new TDropSource_shlvtv(right ? MK_RBUTTON : MK_LBUTTON));
  struct TEnd {
    TPTCustomShellTree* t;
    ~TEnd() {
      t->dragging_ = false;
      t->drag_node_ = nullptr;
      t->drag_object_.Clear();
      if (t->HandleAllocated()) t->SetDropTarget(nullptr);
    }
  } end{this};
  drag_object_.Reset(new TDataObject_shtv(this, node));
  DWORD effect = 0;
  DoDragDrop(drag_object_.Get(), source.Get(), effects, &effect);
  drag_object_.Clear();
  dragging_ = false;
  if (refresh_after_drag_) {
    refresh_after_drag_ = false;
    Refresh();
  }
}

// ---------------------------------------------------------------- drop

HRESULT TPTCustomShellTree::NodeDropTarget(TTreeNode* node, IDropTarget** target) {
  TPTShTreeData* data = DataOf(node);
  if (!data) return E_INVALIDARG;
  return data->DropTarget(OwnerWindow(), target);
}

TTreeNode* TPTCustomShellTree::DropQuery(POINTL point, DWORD keyState, DWORD* effect, bool over) {
  POINT c = ScreenToClient(POINT{point.x, point.y});
  TTreeNode* node = GetNodeAt(c.x, c.y);
  TComPtr<IDropTarget> target;
  if (node && DataOf(node)) NodeDropTarget(node, target.Put());
  if (!target) {
    *effect = 0;
    SetDropTarget(nullptr);
    return nullptr;
  }
  SetDropTarget(node);
  DWORD e = *effect;
  target->DragEnter(drop_data_.Get(), keyState, point, &e);
  if (over) target->DragOver(keyState, point, &e);
  target->DragLeave();
  *effect = e;
  return node;
}

HRESULT TPTCustomShellTree::OleDragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  last_scroll_ = GetTickCount();
  drop_data_.Reset(dataObject);
  drop_keys_ = keyState;
  DropQuery(point, keyState, effect, false);
  return S_OK;
}

void TPTCustomShellTree::AutoScroll(POINT c) {
  DWORD now = GetTickCount();
  if (now - last_scroll_ < 200) return;
  RECT r = ClientRect();
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (c.x < 26 && CanScroll(handle_, SB_HORZ))
    SendMessageA(handle_, WM_HSCROLL, SB_LINELEFT, 0);
  else if (c.x > w - 26 && CanScroll(handle_, SB_HORZ))
    SendMessageA(handle_, WM_HSCROLL, SB_LINERIGHT, 0);
  if (c.y < 20 && CanScroll(handle_, SB_VERT))
    SendMessageA(handle_, WM_VSCROLL, SB_LINEUP, 0);
  else if (c.y > h - 20 && CanScroll(handle_, SB_VERT))
    SendMessageA(handle_, WM_VSCROLL, SB_LINEDOWN, 0);
  last_scroll_ = now;
}

HRESULT TPTCustomShellTree::OleDragOver(DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  TTreeNode* before = DropTarget();
  DropQuery(point, keyState, effect, true);
  AutoScroll(ScreenToClient(POINT{point.x, point.y}));
  *effect |= DROPEFFECT_SCROLL;
  if (DropTarget() != before) Update();
  return S_OK;
}

HRESULT TPTCustomShellTree::OleDragLeave() {
  drop_data_.Clear();
  SetDropTarget(nullptr);
  return S_OK;
}

HRESULT TPTCustomShellTree::OleDrop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  POINT c = ScreenToClient(POINT{point.x, point.y});
  TTreeNode* node = GetNodeAt(c.x, c.y);
  TComPtr<IDropTarget> target;
  if (node && DataOf(node)) NodeDropTarget(node, target.Put());
  if (target) {
    // The buttons are already up when the drop comes; the target is told
    // which one dragged.
    keyState |= drop_keys_ & (MK_LBUTTON | MK_RBUTTON);
    DWORD e = *effect;
    target->DragEnter(dataObject, keyState, point, &e);
    target->DragOver(keyState, point, &e);
    e &= DragEffectsOf(dataObject);
    target->Drop(dataObject, keyState, point, &e);
    *effect = e;
  } else {
    *effect = 0;
  }
  SetDropTarget(nullptr);
  drop_data_.Clear();
  return S_OK;
}

// ---------------------------------------------------------------- design time

bool TPTCustomShellTree::DesignHitTest(int x, int y) {
  if (!(options_ & ptstoDesignInteractive)) return false;
  if (x >= ClientWidth()) return true;
  THitTests hit = GetHitTestInfoAt(x, y);
  return (hit & ((1u << htOnItem) | (1u << htOnButton) | (1u << htOnRight))) != 0;
}

// ---------------------------------------------------------------- messages

void TPTCustomShellTree::WndProc(TMessage& m) {
  switch (m.Msg) {
    case kShellChangeMessage:
      ChangeNotified();
      m.Result = 0;
      return;
    case WM_TIMER:
      if (m.WParam == kRefreshTimerId) {
        TimerFired();
        m.Result = 0;
        return;
      }
      break;
    case WM_GETDLGCODE:
      TPTCustomTreeView::WndProc(m);
      // Keys typed into the label's edit come here first: Enter and Escape
      // end the edit, not the form's default or cancel button.
      if (Editing() && (m.WParam == VK_RETURN || m.WParam == VK_ESCAPE)) m.Result |= DLGC_WANTALLKEYS;
      return;
    case WM_LBUTTONDOWN: {
      // Clicks reach the followers at once, keyboard moves after a while.
      if (GetNodeAt(static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))))
        selection_immediate_ = true;
      TPTCustomTreeView::WndProc(m);
      selection_immediate_ = false;
      return;
    }
    case WM_MENUSELECT:
      if (menu_handler_) {
        std::string hint;
        MenuHelpText(LOWORD(m.WParam), HIWORD(m.WParam), menu_handler_,
                     [&](const std::string& text) { hint = text; });
        if (OnPopupHint) OnPopupHint(this, hint);
        m.Result = 0;
        return;
      }
      break;
    case WM_INITMENUPOPUP:
      if (menu_handler_ && send_to_ && reinterpret_cast<HMENU>(m.WParam) == send_to_menu_) {
        send_to_->Fill(send_to_menu_);
        m.Result = 0;
        return;
      }
      break;
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
      if (menu_handler_ && send_to_ && mis->CtlType == ODT_MENU && !send_to_->EntryName(mis->itemID).empty()) {
        send_to_->MeasureItem(mis);
        m.Result = TRUE;
        return;
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
      if (menu_handler_ && send_to_ && dis->CtlType == ODT_MENU && !send_to_->EntryName(dis->itemID).empty()) {
        send_to_->DrawItem(dis);
        m.Result = TRUE;
        return;
      }
      break;
    }
    case WM_MENUCHAR:
      if (menu_handler_ && send_to_ && send_to_menu_ && reinterpret_cast<HMENU>(m.LParam) == send_to_menu_) {
        m.Result = send_to_->MenuChar(static_cast<char>(LOWORD(m.WParam)), send_to_menu_);
        return;
      }
      break;
    default:
      break;
  }
  TPTCustomTreeView::WndProc(m);
}
