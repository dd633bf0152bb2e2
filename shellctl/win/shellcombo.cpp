#include "shellcombo.h"

#include <algorithm>

#include "sysutils.h"
#include "win/shelllist.h"
#include "win/forms.h"
#include "win/shelltree.h"

namespace {

bool IsLoading(TComponent* c) { return (c->ComponentState() & csLoading) != 0; }

struct TDepthHold {
  explicit TDepthHold(int& d) : d_(d) { ++d_; }
  ~TDepthHold() { --d_; }
  int& d_;
};

const USHORT kEmptyList = 0;
LPCITEMIDLIST EmptyList() { return reinterpret_cast<LPCITEMIDLIST>(&kEmptyList); }

bool g_sorting = false;

bool SameItem(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  HRESULT hr = folder->CompareIDs(0, a, b);
  return SUCCEEDED(hr) && static_cast<short>(HRESULT_CODE(hr)) == 0;
}

// The item's name in its folder; the platform's text of the failure when
// the folder cannot name it.
std::string EntryName(IShellFolder* folder, LPCITEMIDLIST rel) {
  STRRET s = {};
  HRESULT hr = folder->GetDisplayNameOf(rel, SHGDN_INFOLDER, &s);
  if (FAILED(hr)) return SysErrorMessage(static_cast<int>(hr));
  return StrRetToString(rel, &s);
}

}  // namespace

void SortPidls(IShellFolder* folder, std::vector<LPITEMIDLIST>& pidls) {
  if (g_sorting) throw Exception("Recursive call to SortPidls");
  g_sorting = true;
  struct TEnd {
    ~TEnd() { g_sorting = false; }
  } end;
  std::stable_sort(pidls.begin(), pidls.end(), [folder](LPITEMIDLIST a, LPITEMIDLIST b) {
    HRESULT hr = folder->CompareIDs(0, a, b);
    return SUCCEEDED(hr) && static_cast<short>(HRESULT_CODE(hr)) < 0;
  });
}

TPTCustomShellCombo::TPTCustomShellCombo(TComponent* AOwner) : TPTCustomImageCombo(AOwner) {
  system_images_ = new TCustomImageList(nullptr);
  system_images_->ShareImages = true;
  system_images_->SetHandle(SystemImageList(false));
  SetImages(system_images_);
  locator_.OnChange = [this](TObject*) { LocatorChanged(); };
  options_ = ptscoAutofill | ptscoNonFilesystemAncestors;
}

TPTCustomShellCombo::~TPTCustomShellCombo() {
  // The entries go while this class still frees their data.
  DestroyEntries();
  SetShellList(nullptr);
  if (tree_) {
    tree_->SetShellCombo(nullptr);
    tree_->RemoveFreeNotification(this);
    tree_ = nullptr;
  }
  SetImages(nullptr);
  delete system_images_;
}

void TPTCustomShellCombo::PublishProperties(TPropList& list) const {
  TPTCustomImageCombo::PublishProperties(list);
  list.push_back(ObjProp<TPTCustomShellCombo, TPTCustomShellTree>("ShellTree", &TPTCustomShellCombo::ShellTree,
                                                                  &TPTCustomShellCombo::SetShellTree));
  list.push_back(IntProp<TPTCustomShellCombo>("IndentPixels", &TPTCustomShellCombo::IndentPixels,
                                              &TPTCustomShellCombo::SetIndentPixels));
  list.push_back(OrdProp<TPTCustomShellCombo>("Options", pkSet, &TPTCustomShellCombo::Options,
                                              &TPTCustomShellCombo::SetOptions,
                                              {"ptscoAutofill", "ptscoNonFilesystemAncestors"}));
  list.push_back(IntProp<TPTCustomShellCombo>(
      "DropDownCount", [](TPTCustomShellCombo* c) { return c->DropDownCount; },
      [](TPTCustomShellCombo* c, int v) { c->DropDownCount = v; }));
  list.push_back(BoolProp<TPTCustomShellCombo>("Sorted", &TPTCustomShellCombo::Sorted,
                                               &TPTCustomShellCombo::SetSorted));
  list.push_back(IntProp<TPTCustomShellCombo>("Color", &TPTCustomShellCombo::Color, &TPTCustomShellCombo::SetColor));
}

// ---------------------------------------------------------------- links

void TPTCustomShellCombo::SetShellTree(TPTCustomShellTree* tree) {
  if (tree && shell_list_) return;
  if (tree == tree_) return;
  if (tree_) {
    tree_->SetShellCombo(nullptr);
    tree_->RemoveFreeNotification(this);
  }
  tree_ = tree;
  if (tree_) {
    // A tree follows one combo: the one it followed lets go of it.
    if (TPTCustomShellCombo* other = tree_->ShellCombo())
      if (other != this) other->TreeGone(tree_);
    tree_->FreeNotification(this);
    tree_->SetShellCombo(this);
  }
}

void TPTCustomShellCombo::TreeGone(TPTCustomShellTree* tree) {
  if (tree_ != tree) return;
  tree_->RemoveFreeNotification(this);
  tree_ = nullptr;
}

TPTCustomShellList* TPTCustomShellCombo::ShellList() const { return static_cast<TPTCustomShellList*>(shell_list_); }

void TPTCustomShellCombo::SetShellList(TPTCustomShellList* list) {
  if (list && tree_) return;
  if (list == shell_list_) return;
  if (TPTCustomShellList* old = ShellList()) {
    shell_list_ = nullptr;
    old->RemoveFreeNotification(this);
    old->SetShellCombo(nullptr);
  }
  shell_list_ = list;
  if (list) {
    list->FreeNotification(this);
    list->SetShellCombo(this);
  }
}

void TPTCustomShellCombo::Notification(TComponent* c, TOperation op) {
  TPTCustomImageCombo::Notification(c, op);
  if (op == opRemove && c == tree_) tree_ = nullptr;
  if (op == opRemove && c == shell_list_) shell_list_ = nullptr;
}

void TPTCustomShellCombo::FlushRefresh(bool alsoLinked) {
  if (!alsoLinked) return;
  if (tree_) tree_->FlushRefresh();
  if (TPTCustomShellList* list = ShellList()) list->FlushRefresh(false);
}

void TPTCustomShellCombo::SetFolderFromTreeNode(TTreeNode* node) {
  auto* data = node ? static_cast<TPTShTreeData*>(node->Data) : nullptr;
  if (data) locator_.SetPidl(data->AbsolutePidl());
}

// ---------------------------------------------------------------- locator

void TPTCustomShellCombo::LocatorChanged() {
  if (depth_ >= 1) return;
  TDepthHold depth(depth_);
  if (tree_)
    tree_->CurrentFolder()->SetPidl(locator_.GetPidl());
  else if (TPTCustomShellList* list = ShellList())
    list->Folder().SetPidl(locator_.GetPidl());
  Rebuild();
}

void TPTCustomShellCombo::AutoFill() {
  {
    TDepthHold depth(depth_);
    Rebuild();
  }
  if (tree_)
    tree_->CurrentFolder()->SetPidl(locator_.GetPidl());
  else if (TPTCustomShellList* list = ShellList())
    list->SetFolder(&locator_);
}

void TPTCustomShellCombo::Loaded() {
  TPTCustomImageCombo::Loaded();
  if ((options_ & ptscoAutofill) && HandleAllocated()) AutoFill();
}

void TPTCustomShellCombo::InitWnd() {
  TPTCustomImageCombo::InitWnd();
  // A new window for a new item height keeps its entries.
  if ((options_ & ptscoAutofill) && !IsLoading(this) && Items().Count() == 0) AutoFill();
}

void TPTCustomShellCombo::SelEndOk() {
  TPTCustomImageCombo::SelEndOk();
  if (TPTShComboData* d = EntryData(ItemIndex())) locator_.SetPidl(d->AbsolutePidl());
}

TPTShComboData* TPTCustomShellCombo::EntryData(int index) {
  if (index < 0 || index >= Items().Count()) return nullptr;
  return static_cast<TPTShComboData*>(Item(index)->Data);
}

void TPTCustomShellCombo::DeleteItem(TObject* item) {
  auto* entry = dynamic_cast<TPTImageComboItem*>(item);
  auto* data = entry ? static_cast<TPTShComboData*>(entry->Data) : nullptr;
  TPTCustomImageCombo::DeleteItem(item);
  delete data;
}

void TPTCustomShellCombo::GoUpLevels(int n) {
  const int selected = ItemIndex();
  if (selected < 0) return;
  const int target = Item(selected)->Indent - n + 1;
  int i = selected;
  while (i >= 1 && Item(i)->Indent >= target) --i;
  if (i == selected) return;
  if (TPTShComboData* d = EntryData(i)) locator_.SetPidl(d->AbsolutePidl());
}

bool TPTCustomShellCombo::DesignHitTest(int x, int) {
  return x >= ClientWidth() - GetSystemMetrics(SM_CXVSCROLL);
}

// ---------------------------------------------------------------- entries

bool TPTCustomShellCombo::CanAddEntry(IShellFolder*, LPCITEMIDLIST, ULONG) { return true; }

void TPTCustomShellCombo::Rebuild() {
  Items().BeginUpdate();
  struct TEnd {
    TPTCustomShellCombo* c;
    ~TEnd() {
      ShellFree(c->drives_);
      c->drives_ = nullptr;
      c->Items().EndUpdate();
    }
  } end{this};
  TDepthHold depth(depth_);
  SetItemIndex(-1);
  Items().Clear();
  TPTIdListArray path(locator_.GetPidl());
  selected_ = -1;
  TComPtr<IShellFolder> desktop;
  CheckResult(DesktopFolder(desktop.Put()));
  Items().BeginUpdate();
  try {
    AddEntries(desktop.Get(), nullptr, path, 0);
  } catch (...) {
    Items().EndUpdate();
    throw;
  }
  Items().EndUpdate();
  SetItemIndex(selected_ >= 0 ? selected_ : (Items().Count() ? 0 : -1));
}

int TPTCustomShellCombo::AddEntry(IShellFolder* folder, LPCITEMIDLIST folderPidl, LPCITEMIDLIST rel, int indent,
                                  bool open, ULONG attrs) {
  auto* data = new TPTShComboData(this, folder, folderPidl, rel);
  int image = SysImageIndex(data->AbsolutePidl(), SHGFI_SMALLICON | (open ? SHGFI_OPENICON : 0));
  TPTImageComboItem* item = nullptr;
  try {
    item = AddItem(EntryName(folder, rel), image, indent);
  } catch (...) {
    delete data;
    throw;
  }
  item->Data = data;
  if (attrs & SFGAO_SHARE)
    item->OverlayIndex = 0;
  else if (attrs & SFGAO_LINK)
    item->OverlayIndex = 1;
  return item->Index;
}

void TPTCustomShellCombo::AddEntries(IShellFolder* folder, LPCITEMIDLIST folderPidl, TPTIdListArray& path,
                                     int level) {
  if (level == 0) {
    ShellFree(drives_);
    drives_ = nullptr;
    SpecialFolderPidl(HandleAllocated() ? handle_ : nullptr, CSIDL_DRIVES, &drives_);
    auto* data = new TPTShComboData(this, folder, nullptr, EmptyList());
    TPTImageComboItem* item = nullptr;
    try {
      item = AddItem(GetDisplayName(nullptr, EmptyList(), 0), SysImageIndex(EmptyList(), SHGFI_SMALLICON), 0);
    } catch (...) {
      delete data;
      throw;
    }
    item->Data = data;
    if (path.Count() == 0) selected_ = item->Index;
    level = 1;
  }

  std::vector<LPITEMIDLIST> subs;
  struct TFree {
    std::vector<LPITEMIDLIST>& v;
    ~TFree() {
      for (LPITEMIDLIST p : v) ShellFree(p);
    }
  } freeSubs{subs};
  TComPtr<IEnumIDList> items;
  HRESULT hr = folder->EnumObjects(GetActiveWindow(), SHCONTF_FOLDERS, items.Put());
  CheckResult(hr);
  if (hr == S_OK && items) {
    LPITEMIDLIST rel = nullptr;
    ULONG fetched = 0;
    while (items->Next(1, &rel, &fetched) == S_OK && rel) {
      subs.push_back(rel);
      rel = nullptr;
    }
  }
  SortPidls(folder, subs);

  bool pathUsed = false;
  for (LPITEMIDLIST rel : subs) {
    ULONG attrs = 0xF00B0000;
    LPCITEMIDLIST one[1] = {rel};
    if (FAILED(folder->GetAttributesOf(1, one, &attrs))) continue;
    if (!(options_ & ptscoNonFilesystemAncestors) && !(attrs & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR))) continue;
    if (!CanAddEntry(folder, rel, attrs)) continue;
    const bool onPath = !pathUsed && path.Count() >= level && SameItem(folder, rel, path.Items(level - 1));
    const bool located = onPath && path.Count() == level;
    int index = AddEntry(folder, folderPidl, rel, level, located, attrs);
    if (located) selected_ = index;
    TPTShComboData* data = EntryData(index);

    if (level == 1 && drives_ && SameItem(folder, rel, drives_)) {
      // The computer is always open down to its drives.
      TComPtr<IShellFolder> sub;
      CheckResult(folder->BindToObject(rel, nullptr, IID_IShellFolder, sub.PutVoid()));
      AddEntries(sub.Get(), data->AbsolutePidl(), path, 2);
      if (onPath) pathUsed = true;
    } else if (onPath && !located) {
      // Along the path only, without siblings.
      TComPtr<IShellFolder> parent;
      CheckResult(folder->BindToObject(rel, nullptr, IID_IShellFolder, parent.PutVoid()));
      LPITEMIDLIST parentPidl = CopyPidl(nullptr, data->AbsolutePidl());
      try {
        for (int i = level; i < path.Count(); ++i) {
          LPCITEMIDLIST item = path.Items(i);
          ULONG a = 0xF00B0000;
          LPCITEMIDLIST it[1] = {item};
          if (FAILED(parent->GetAttributesOf(1, it, &a))) a = 0;
          const bool last = i == path.Count() - 1;
          int added = AddEntry(parent.Get(), parentPidl, item, i + 1, last, a);
          if (last) {
            selected_ = added;
            break;
          }
          TComPtr<IShellFolder> next;
          if (FAILED(parent->BindToObject(item, nullptr, IID_IShellFolder, next.PutVoid()))) break;
          LPITEMIDLIST nextPidl = ConcatPidls(nullptr, parentPidl, item);
          ShellFree(parentPidl);
          parentPidl = nextPidl;
          parent = next;
        }
      } catch (...) {
        ShellFree(parentPidl);
        throw;
      }
      ShellFree(parentPidl);
      pathUsed = true;
    }
  }
}
