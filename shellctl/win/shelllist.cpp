#include "shelllist.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "classes.h"
#include "shelltext.h"
#include "win/changethread.h"
#include "win/forms.h"
#include "win/imagecombo.h"  // EInvalidCast
#include "win/imagelist.h"
#include "win/shellole.h"
#include "win/shellutils.h"

#include "win/shellcombo.h"
#include "win/shelltree.h"

namespace {

const ULONG kAddMask = 0xF20B0000;  // subfolders, file system, folder, ancestor, removable, ghosted, share, link
const SHCONTF kEnumFlags = 0xE0;    // folders, non-folders, hidden
const int kCollectStep = 500;
const UINT_PTR kRefreshTimerId = 0x5E11;

// Every TPTShListData a shell list made and has not freed yet: ItemData
// tells the list's own data from anything else a caller hung on an item.
std::unordered_set<const TPTShListData*>& LiveData() {
  static std::unordered_set<const TPTShListData*> set;
  return set;
}

bool Designing(TComponent* c) { return (c->ComponentState() & csDesigning) != 0; }
bool IsLoading(TComponent* c) { return (c->ComponentState() & csLoading) != 0; }

// Critical-error dialogs ("insert a disk") off while a scope runs.
class TQuietErrors {
 public:
  TQuietErrors() : old_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~TQuietErrors() { SetErrorMode(old_); }

 private:
  UINT old_;
};

// A long fill still answers what other threads and programs send (a
// window that does not is taken for hung); posted input waits for the end
// of the fill, so nothing the user does runs inside it.  A fill is a few
// long calls (the folder's enumeration, the sort) with loops between them:
// the list answers inside the loops and between the calls, once 25 ms have
// passed since its last answer.  The clock is the performance counter; the
// tick count moves in steps of 10 to 16 ms under Wine.
class TAnswerSent {
 public:
  // Inside a loop: the clock is read every 16 items.
  void Poll() {
    if ((++count_ & 15) == 0) Answer();
  }
  // Between two long calls.
  void Answer() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (now.QuadPart - Last() < Every()) return;
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    QueryPerformanceCounter(&now);
    Last() = now.QuadPart;
  }

 private:
  static const int kEveryMs = 25;
  // One GUI thread: when it last answered is the same for every list.
  static LONGLONG& Last() {
    static LONGLONG last = 0;
    return last;
  }
  static LONGLONG Every() {
    static const LONGLONG every = [] {
      LARGE_INTEGER f;
      QueryPerformanceFrequency(&f);
      return f.QuadPart * kEveryMs / 1000;
    }();
    return every;
  }
  unsigned count_ = 0;
};

struct TDepth {
  explicit TDepth(int& d) : d_(d) { ++d_; }
  ~TDepth() { --d_; }
  int& d_;
};

void ShowShellError(HRESULT hr) {
  std::string text = TrimRight(SysErrorMessage(static_cast<int>(hr)));
  if (Application)
    Application->MessageBox(text, Application->Title(), MB_OK | MB_ICONERROR);
  else
    MessageBoxA(nullptr, text.c_str(), "", MB_OK | MB_ICONERROR);
}

// The sort keys of the standard columns for one sort.
struct TSortKeys {
  uint64_t size = 0;
  uint64_t time = 0;
  std::string type;
};
struct TSortContext {
  TPTCustomShellList* list;
  std::unordered_map<const TPTShListData*, TSortKeys>* keys;  // null: the folder alone decides
};

int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM context) {
  auto* ctx = reinterpret_cast<TSortContext*>(context);
  auto* ia = reinterpret_cast<TListItem*>(a);
  auto* ib = reinterpret_cast<TListItem*>(b);
  auto* da = static_cast<TPTShListData*>(ia ? ia->Data : nullptr);
  auto* db = static_cast<TPTShListData*>(ib ? ib->Data : nullptr);
  IShellFolder* folder = ctx->list->ShellFolder();
  if (!da || !db || !folder) return 0;
  const int column = ctx->list->SortColumn();
  int r = 0;
  if (ctx->keys) {
    const TSortKeys& ka = (*ctx->keys)[da];
    const TSortKeys& kb = (*ctx->keys)[db];
    switch (std::abs(column)) {
      case 2: r = ka.size < kb.size ? -1 : ka.size > kb.size ? 1 : 0; break;
      case 3: r = CompareText(ka.type, kb.type); break;
      case 4: r = ka.time < kb.time ? -1 : ka.time > kb.time ? 1 : 0; break;
      default: break;
    }
  }
  if (r == 0) {
    HRESULT hr = folder->CompareIDs(ctx->keys ? 0 : static_cast<LPARAM>(std::abs(column) - 1), da->RelativePidl(),
                                    db->RelativePidl());
    if (FAILED(hr)) return 0;
    r = static_cast<short>(HRESULT_CODE(hr));
  }
  return column < 0 ? -r : r;
}

}  // namespace

// ---------------------------------------------------------------- life

TPTCustomShellList::TPTCustomShellList(TComponent* AOwner) : TPTCustomListView(AOwner) {
  folder_ = new TPTShellLocator;
  folder_->OnChange = [this](TObject* s) { FolderChanged(s); };
  IconOptions.AutoArrange = true;
  options_ = kDefaultShellListOptions;
  small_images_ = new TImageList(this);
  large_images_ = new TImageList(this);
  SetAllocBy(256);
  sort_column_ = 1;
  small_images_->ShareImages = true;
  large_images_->ShareImages = true;
  small_images_->SetHandle(SystemImageList(false));
  large_images_->SetHandle(SystemImageList(true));
  SetSmallImages(small_images_);
  SetLargeImages(large_images_);
}

TPTCustomShellList::~TPTCustomShellList() {
  // The items (and their data) go while this class still answers for them.
  DestroyHandle();
  if (shell_tree_) shell_tree_->RemoveFreeNotification(this);
  if (shell_combo_) shell_combo_->RemoveFreeNotification(this);
  details_.Clear();
  SetSmallImages(nullptr);
  SetLargeImages(nullptr);
  folder_intf_.Clear();
  if (folder_pidl_) {
    TMallocPidlAllocator(allocator_.Get()).Free(folder_pidl_);
    folder_pidl_ = nullptr;
  }
  allocator_.Clear();
  delete folder_;
  folder_ = nullptr;
  if (change_thread_) {
    change_thread_->Destroy();
    change_thread_ = nullptr;
  }
  filter_masks_.reset();
  filter_names_.reset();
}

IMalloc* TPTCustomShellList::ShellAllocator() {
  if (!allocator_) allocator_.Reset(ShellMalloc());
  return allocator_.Get();
}

IShellDetails* TPTCustomShellList::ShellDetails() {
  if (!details_asked_) {
    details_asked_ = true;
    if (folder_intf_) folder_intf_->CreateViewObject(HandleAllocated() ? Handle() : nullptr, IID_IShellDetails,
                                                     details_.PutVoid());
  }
  return details_.Get();
}

void TPTCustomShellList::InitWnd() {
  TPTCustomListView::InitWnd();
  if (HasOption(ptsloOleDrop) && !Designing(this)) RegisterDropTarget();
  if (HasOption(ptsloAutoFill) && Items().Count() == 0 && !IsLoading(this)) Refill();
}

void TPTCustomShellList::PublishProperties(TPropList& list) const {
  TPTCustomListView::PublishProperties(list);
  list.push_back(ObjProp<TPTCustomShellList>("Folder", [](TPTCustomShellList* l) { return &l->Folder(); }));
  list.push_back(OrdProp<TPTCustomShellList>(
      "Options", pkSet, &TPTCustomShellList::Options, &TPTCustomShellList::SetOptions,
      {"ptsloAutoFill", "ptsloNonFilesystemAncestors", "ptsloDesignInteractive", "ptsloDefaultKeyHandling",
       "ptsloContextMenus", "ptsloDontChangeFolder", "ptsloDontGoBelowBase", "ptsloDynamicRefresh",
       "ptsloHideFoldersWhenLinkedToTree", "ptsloOleDrag", "ptsloOleDrop", "ptsloFolderContextMenu"}));
  list.push_back(StrProp<TPTCustomShellList>("FileFilter", &TPTCustomShellList::FileFilter,
                                             &TPTCustomShellList::SetFileFilter));
}

void TPTCustomShellList::SetOptions(TPTShellListOptions v) {
  const TPTShellListOptions old = options_;
  options_ = v;
  if (!HandleAllocated() || Designing(this)) return;
  const bool drop = (v & PtsloBit(ptsloOleDrop)) != 0;
  if (drop != ((old & PtsloBit(ptsloOleDrop)) != 0)) {
    if (drop)
      RegisterDropTarget();
    else
      RevokeDropTarget();
  }
}

void TPTCustomShellList::Notification(TComponent* c, TOperation op) {
  TPTCustomListView::Notification(c, op);
  if (op != opRemove) return;
  if (c == shell_tree_) shell_tree_ = nullptr;
  if (c == shell_combo_) shell_combo_ = nullptr;
}

// ---------------------------------------------------------------- folder

void TPTCustomShellList::FolderChanged(TObject*) {
  if (navigation_depth_ >= 1) return;
  TDepth depth(navigation_depth_);
  if (shell_tree_)
    shell_tree_->CurrentFolder()->SetPidl(folder_->GetPidl());
  else if (shell_combo_)
    shell_combo_->Locator()->SetPidl(folder_->GetPidl());
  Refill();
}

void TPTCustomShellList::Refill() {
  if (!HandleAllocated()) return;
  if (busy_ || LabelEditing()) {
    refill_pending_ = true;
    return;
  }
  THourGlassHold cursor;
  TAnswerSent answer;
  answer.Answer();
  // One call: deleting the items one at a time costs Wine's list view a
  // scroll for each while the view shows the last rows (36 s for 20,000).
  Items().BeginUpdate();
  Items().Clear();
  Items().EndUpdate();
  answer.Answer();
  TComPtr<IShellFolder> folder;
  HRESULT hr = PidlToFolder(folder_->GetPidl(), folder.Put());
  if (FAILED(hr) || !folder) {
    ShowShellError(FAILED(hr) ? hr : E_FAIL);
    return;
  }
  PrepareFilter();
  answer.Answer();
  try {
    Fill(folder.Get(), folder_->GetPidl());
  } catch (...) {
    ReleaseFilter();
    throw;
  }
  ReleaseFilter();
  folder.Clear();
  if (HasOption(ptsloDynamicRefresh) && !Designing(this)) StartWatching();
}

void TPTCustomShellList::Fill(IShellFolder* folder, LPCITEMIDLIST absolutePidl) {
  static const USHORT kEmpty = 0;
  Items().BeginUpdate();
  TQuietErrors quiet;
  TAnswerSent answer;
  LPITEMIDLIST old = folder_pidl_;
  IMalloc* alloc = ShellAllocator();
  folder_pidl_ = CopyPidl(alloc, absolutePidl ? absolutePidl : reinterpret_cast<LPCITEMIDLIST>(&kEmpty));
  try {
    folder_intf_.Reset(folder);
    ForgetTypeNames();
    details_.Clear();
    details_asked_ = false;
    ShellDetails();
    SetupColumns();
    answer.Answer();

    TComPtr<IEnumIDList> items;
    HWND owner = GetParentForm(this) ? GetParentForm(this)->Handle() : Handle();
    HRESULT hr = folder->EnumObjects(owner, kEnumFlags, items.Put());
    answer.Answer();
    if (SUCCEEDED(hr) && items) {
      std::vector<TPTShListData*> datas;
      std::vector<ULONG> attrs;
      datas.reserve(kCollectStep);
      attrs.reserve(kCollectStep);
      TMallocPidlAllocator a(alloc);
      LPITEMIDLIST rel = nullptr;
      ULONG fetched = 0;
      try {
        while ((hr = items->Next(1, &rel, &fetched)) == S_OK && fetched == 1) {
          answer.Poll();
          ULONG at = kAddMask;
          LPCITEMIDLIST one[1] = {rel};
          if (FAILED(folder->GetAttributesOf(1, one, &at))) at = 0;
          if (CanAddItem(folder, rel, at)) {
            if (datas.size() == datas.capacity()) {
              datas.reserve(datas.size() + kCollectStep);
              attrs.reserve(attrs.size() + kCollectStep);
            }
            auto* d = new TPTShListData(this);
            d->SetRelativePidl(rel);
            LiveData().insert(d);
            datas.push_back(d);
            attrs.push_back(at);
          }
          a.Free(rel);
          rel = nullptr;
        }
        if (hr != S_FALSE && FAILED(hr)) ShowShellError(hr);
        SetAllocBy(static_cast<int>(datas.size()));
        answer.Answer();
        for (size_t i = 0; i < datas.size(); ++i) {
          answer.Poll();
          pending_data_ = datas[i];
          pending_attributes_ = attrs[i];
          pending_details_ = details_.Get();
          datas[i] = nullptr;
          Items().Add();
          pending_data_ = nullptr;
        }
      } catch (...) {
        for (TPTShListData* d : datas)
          if (d) {
            LiveData().erase(d);
            delete d;
          }
        if (pending_data_) {
          LiveData().erase(pending_data_);
          delete pending_data_;
          pending_data_ = nullptr;
        }
        throw;
      }
      answer.Answer();
      SortItems();
      answer.Answer();
      if (Items().Count() > 0) Items()[0]->SetFocused(true);
    }
  } catch (...) {
    TMallocPidlAllocator(alloc).Free(folder_pidl_);
    folder_pidl_ = old;
    Items().EndUpdate();
    throw;
  }
  TMallocPidlAllocator(alloc).Free(old);
  Items().EndUpdate();
  answer.Answer();
  FillComplete();
}

void TPTCustomShellList::FillComplete() {
  if (OnFillComplete) OnFillComplete(this);
}

bool TPTCustomShellList::CanAddItem(IShellFolder* folder, LPCITEMIDLIST relativePidl, ULONG attributes) {
  BOOL allow = HasOption(ptsloNonFilesystemAncestors) || (attributes & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR));
  // The folders the linked tree shows.  Shells since 4.71 (and Wine) mark
  // every file-system folder as a file-system ancestor too, so the folders
  // are told apart from browsable files by being directories on disk.
  if (allow && HasOption(ptsloHideFoldersWhenLinkedToTree) && shell_tree_ &&
      (attributes & (SFGAO_FILESYSTEM | SFGAO_FOLDER)) == (SFGAO_FILESYSTEM | SFGAO_FOLDER)) {
    bool hide = !(attributes & SFGAO_FILESYSANCESTOR);
    if (!hide) {
      const DWORD a = GetFileAttributesA(GetDisplayName(folder, relativePidl, 2).c_str());
      hide = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    if (hide) allow = FALSE;
  }
  if (allow && !(attributes & SFGAO_FOLDER) && filter_names_) {
    std::string name = GetDisplayName(folder, relativePidl, 2);
    size_t cut = name.find_last_of("\\:");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    allow = MatchesFilter(name, attributes);
  }
  if (OnAddItem) OnAddItem(this, folder, folder_pidl_, relativePidl, static_cast<int>(attributes), allow);
  return allow != FALSE;
}

void TPTCustomShellList::ItemInserted(TListItem* item) {
  if (pending_data_) {
    item->Data = pending_data_;
    if (pending_attributes_ & SFGAO_SHARE)
      item->SetOverlayIndex(0);
    else if (pending_attributes_ & SFGAO_LINK)
      item->SetOverlayIndex(1);
    if (pending_attributes_ & SFGAO_GHOSTED) item->SetCut(true);
    int subs = 3;
    if (pending_details_) subs = std::max(0, Columns().Count() - 1);
    for (int i = 0; i < subs; ++i) item->SubItems.Add("");
  }
  TPTCustomListView::ItemInserted(item);
}

void TPTCustomShellList::Delete(TListItem* item) {
  auto* data = static_cast<TPTShListData*>(item->Data);
  if (data && LiveData().count(data)) {
    if (OnDeleteItem) OnDeleteItem(this, item, data);
    LiveData().erase(data);
    item->Data = nullptr;
    delete data;
  }
  TPTCustomListView::Delete(item);
}

TPTShListData* TPTCustomShellList::SelectedData() {
  TListItem* s = Selected();
  return s ? ItemData(s->Index()) : nullptr;
}

TPTShListData* TPTCustomShellList::ItemData(int index) {
  TListItem* item = Items()[index];
  if (!item || !item->Data) return nullptr;
  auto* d = static_cast<TPTShListData*>(item->Data);
  if (!LiveData().count(d)) throw EInvalidCast("Invalid class typecast");
  return d;
}

void TPTCustomShellList::SetFolderFromTreeNode(TTreeNode* node) {
  if (!node || IsLoading(this) || !node->Data) return;
  // Only a shell tree's nodes carry tree data.
  if (!dynamic_cast<TPTCustomShellTree*>(node->Owner()->Owner())) return;
  folder_->SetPidl(static_cast<TPTShTreeData*>(node->Data)->AbsolutePidl());
}

void TPTCustomShellList::SetShellTree(TPTCustomShellTree* tree) {
  if (shell_tree_ == tree) return;
  if (shell_tree_) shell_tree_->RemoveFreeNotification(this);
  shell_tree_ = tree;
  if (tree) tree->FreeNotification(this);
  // The folders the tree shows come and go with it.
  if (HasOption(ptsloHideFoldersWhenLinkedToTree) && HandleAllocated() && !IsLoading(this)) Refill();
}

void TPTCustomShellList::SetShellCombo(TPTCustomShellCombo* combo) {
  if (shell_combo_ == combo) return;
  if (shell_combo_) shell_combo_->RemoveFreeNotification(this);
  shell_combo_ = combo;
  if (combo) combo->FreeNotification(this);
}

void TPTCustomShellList::GoUp(int levels) {
  if (HasOption(ptsloDontChangeFolder)) return;
  if (shell_tree_) {
    shell_tree_->SelectAncestor(levels);
    return;
  }
  if (shell_combo_) {
    shell_combo_->GoUpLevels(levels);
    return;
  }
  if (Items().Count() < 1) return;
  TPTIdListArray path(folder_->GetPidl());
  if (LPCITEMIDLIST up = path.Parent(levels)) {
    LPITEMIDLIST copy = CopyPidl(nullptr, up);  // the array's result goes with its next call
    folder_->SetPidl(copy);
    ShellFree(copy);
  }
}

bool TPTCustomShellList::CreateNewFolder(bool startEditing) {
  std::string name;
  ignore_next_change_ = watching_;
  if (!MakeNewFolder(folder_->GetPath(), name)) {
    ignore_next_change_ = false;
    return false;
  }
  IncrementalRefresh();
  if (startEditing) {
    name_to_edit_ = name;
    PostMessageA(Handle(), kListEditNameMessage, 0, 0);
  }
  return true;
}

// ---------------------------------------------------------------- filter

void TPTCustomShellList::SetFileFilter(const std::string& v) {
  file_filter_ = v;
  if (v.empty()) {
    filter_masks_.reset();
    return;
  }
  if (!filter_masks_)
    filter_masks_.reset(new std::vector<std::string>);
  else
    filter_masks_->clear();
  SplitMasks(v, *filter_masks_);
  if (!IsLoading(this) && HasOption(ptsloAutoFill)) Refill();
}

void TPTCustomShellList::PrepareFilter() {
  filter_names_.reset();
  std::string path = PidlToPath(folder_->GetPidl());
  // Without masks every file passes: no name set at all.
  if (path.empty() || !filter_masks_ || filter_masks_->empty() || file_filter_ == "*" || file_filter_ == "*.*")
    return;
  filter_names_.reset(new TNameSet);
  std::string dir = shell::IncludeTrailingChar(path, '\\');
  for (const std::string& mask : *filter_masks_) CollectFileNames(*filter_names_, dir + mask);
}

bool TPTCustomShellList::MatchesFilter(const std::string& name, ULONG attributes) {
  if (attributes & SFGAO_FOLDER) return true;
  return !filter_names_ || InNameSet(*filter_names_, name);
}

void TPTCustomShellList::ReleaseFilter() { filter_names_.reset(); }

// ---------------------------------------------------------------- sorting

void TPTCustomShellList::SortItems() {
  if (!HandleAllocated() || !folder_intf_) return;
  TSortContext ctx{this, nullptr};
  // Wine's file-system folders compare by name whatever the column, so the
  // standard columns are compared here by what they show: folders first,
  // then size, type or time, the folder's name order breaking ties.
  std::unordered_map<const TPTShListData*, TSortKeys> keys;
  const int column = std::abs(sort_column_);
  if (column_mode_ == 2 && column >= 2 && column <= 4) {
    TAnswerSent answer;
    for (int i = 0; i < Items().Count(); ++i) {
      answer.Poll();
      TListItem* item = Items()[i];
      auto* d = item ? static_cast<TPTShListData*>(item->Data) : nullptr;
      if (!d) continue;
      TSortKeys& k = keys[d];
      WIN32_FILE_ATTRIBUTE_DATA fa = {};
      const std::string path = d->FullPath();
      if (!path.empty() && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &fa)) {
        if (!(fa.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          k.size = (static_cast<uint64_t>(fa.nFileSizeHigh) << 32 | fa.nFileSizeLow) + 1;
        k.time = static_cast<uint64_t>(fa.ftLastWriteTime.dwHighDateTime) << 32 | fa.ftLastWriteTime.dwLowDateTime;
      }
      if (column == 3) k.type = d->ColumnText(2);
    }
    ctx.keys = &keys;
  }
  CustomSort(CompareItems, reinterpret_cast<LPARAM>(&ctx));
}

void TPTCustomShellList::ColClick(TListColumn* column) {
  const int clicked = column->Index() + 1;
  sort_column_ = (sort_column_ == clicked) ? -clicked : clicked;
  SortItems();
  TPTCustomListView::ColClick(column);
}

// ---------------------------------------------------------------- columns

void TPTCustomShellList::SetupColumns() {
  TMemoryStream* store = ShellColumnWidths();
  if (Columns().Count() > 0 && keep_widths_ && HandleAllocated()) {
    store->Clear();
    WriteColumnWidths(store, Handle());
  }
  // The widths the store holds, in column order.
  auto storedWidths = [store]() {
    std::vector<int> w;
    if (store->Size() < 4) return w;
    const auto* p = static_cast<const uint8_t*>(store->Memory());
    uint32_t n;
    std::memcpy(&n, p, 4);
    n = std::min<uint32_t>(n, static_cast<uint32_t>((store->Size() - 4) / 4));
    for (uint32_t i = 0; i < n; ++i) {
      int32_t v;
      std::memcpy(&v, p + 4 + 4 * i, 4);
      w.push_back(v);
    }
    return w;
  };
  Columns().Clear();

  if (IShellDetails* details = ShellDetails()) {
    const bool useStore = !PidlToPath(folder_pidl_).empty() && store->Size() > 0;
    for (UINT i = 0;; ++i) {
      SHELLDETAILS sd = {};
      if (FAILED(details->GetDetailsOf(nullptr, i, &sd))) break;
      TListColumn* c = Columns().Add();
      c->SetCaption(StrRetToString(nullptr, &sd.str));
      switch (sd.fmt & LVCFMT_JUSTIFYMASK) {
        case LVCFMT_RIGHT: c->SetAlignment(taRightJustify); break;
        case LVCFMT_CENTER: c->SetAlignment(taCenter); break;
        default: c->SetAlignment(taLeftJustify); break;
      }
      c->SetWidth(7 * sd.cxChar);
    }
    if (useStore) {
      std::vector<int> w = storedWidths();
      for (int i = 0; i < Columns().Count() && i < static_cast<int>(w.size()); ++i) Columns()[i]->SetWidth(w[i]);
    }
    keep_widths_ = useStore;
    column_mode_ = 1;
    return;
  }

  uint8_t value[kDirectoryColsSize] = {};
  DWORD length = 0;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "DirectoryCols", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        size <= kDirectoryColsSize) {
      if (RegQueryValueExA(key, "DirectoryCols", nullptr, &type, value, &size) == ERROR_SUCCESS) length = size;
    }
    RegCloseKey(key);
  }
  int widths[5] = {200, 60, 100, 120, 50};
  // Only the widths the value really holds.
  for (DWORD i = 0; i < 5 && 2 * i + 2 <= length; ++i) widths[i] = value[2 * i] | value[2 * i + 1] << 8;
  static const char* const titles[4] = {"Name", "Size", "Type", "Modified"};
  for (int i = 0; i < 4; ++i) {
    TListColumn* c = Columns().Add();
    c->SetCaption(titles[i]);
    if (i == 1) c->SetAlignment(taRightJustify);
    c->SetWidth(widths[i]);
  }
  uint32_t& keptLength = ShellDirectoryColsLength();
  uint8_t* kept = ShellDirectoryCols();
  if (keptLength == length && std::memcmp(kept, value, length) == 0 && store->Size() > 0) {
    std::vector<int> w = storedWidths();
    for (int i = 0; i < Columns().Count() && i < static_cast<int>(w.size()); ++i) Columns()[i]->SetWidth(w[i]);
  }
  std::memcpy(kept, value, kDirectoryColsSize);
  keptLength = length;
  keep_widths_ = true;
  column_mode_ = 2;
}

// ---------------------------------------------------------------- refresh

void TPTCustomShellList::StartWatching() {
  SetRefreshTimer(false);
  if (!change_thread_)
    change_thread_ = new TChangeHandlerThread(Handle(), kListChangeMessage);
  else
    change_thread_->StopAll();
  // A change of our own awaited in the folder left behind will not come.
  ignore_next_change_ = false;
  int slot = -1;
  const std::string path = folder_->GetPath();
  watching_ = !path.empty() &&
              change_thread_->AddWatch(path, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, slot, false);
}

void TPTCustomShellList::SetRefreshTimer(bool enabled, unsigned interval) {
  if (interval) refresh_timer_.interval = interval;
  refresh_timer_.enabled = enabled && HandleAllocated();
  if (!HandleAllocated()) return;
  if (refresh_timer_.enabled)
    SetTimer(Handle(), kRefreshTimerId, refresh_timer_.interval, nullptr);
  else
    KillTimer(Handle(), kRefreshTimerId);
}

void TPTCustomShellList::TimedRefresh(TObject*) {
  SetRefreshTimer(false);
  {
    TDepth depth(navigation_depth_);
    FlushRefresh(true);
  }
  IncrementalRefresh();
}

void TPTCustomShellList::FlushRefresh(bool alsoLinked) {
  if (alsoLinked) {
    if (shell_combo_) shell_combo_->FlushRefresh(false);
    if (shell_tree_) shell_tree_->FlushRefresh();
  }
  if (refresh_timer_.enabled) TimedRefresh(this);
}

void TPTCustomShellList::IncrementalRefresh() {
  if (!HandleAllocated() || !folder_intf_) return;
  if (busy_ || LabelEditing()) {
    refill_pending_ = true;
    return;
  }
  PrepareFilter();
  IShellFolder* folder = folder_intf_.Get();
  TAnswerSent answer;
  Items().BeginUpdate();
  try {
    for (int i = Items().Count() - 1; i >= 0; --i) {
      answer.Poll();
      TListItem* item = Items()[i];
      auto* d = item ? static_cast<TPTShListData*>(item->Data) : nullptr;
      if (d && !d->Validate()) Items().Delete(i);
    }
    // Items whose bytes are unchanged are found at once; others (a file
    // whose size or time changed) by the name the folder parses them by.
    // Both are looked up, never searched for: a burst of thousands of new
    // files must not cost thousands of passes over the list.
    std::unordered_set<std::string> bytes, names;
    auto key = [folder](LPCITEMIDLIST pidl) { return UpperCase(GetDisplayName(folder, pidl, 2)); };
    for (int i = 0; i < Items().Count(); ++i) {
      answer.Poll();
      TListItem* item = Items()[i];
      if (auto* d = item ? static_cast<TPTShListData*>(item->Data) : nullptr) {
        bytes.insert(std::string(reinterpret_cast<const char*>(d->RelativePidl()), PidlSize(d->RelativePidl())));
        names.insert(key(d->RelativePidl()));
      }
    }
    answer.Answer();
    TComPtr<IEnumIDList> items;
    HWND owner = GetParentForm(this) ? GetParentForm(this)->Handle() : Handle();
    const bool listed = SUCCEEDED(folder->EnumObjects(owner, kEnumFlags, items.Put())) && items;
    answer.Answer();
    if (listed) {
      TMallocPidlAllocator a(ShellAllocator());
      LPITEMIDLIST rel = nullptr;
      ULONG fetched = 0;
      while (items->Next(1, &rel, &fetched) == S_OK && fetched == 1) {
        answer.Poll();
        bool present = bytes.count(std::string(reinterpret_cast<const char*>(rel), PidlSize(rel))) != 0;
        if (!present) present = names.count(key(rel)) != 0;
        ULONG at = kAddMask;
        LPCITEMIDLIST one[1] = {rel};
        if (!present) {
          if (FAILED(folder->GetAttributesOf(1, one, &at))) at = 0;
          if (CanAddItem(folder, rel, at)) {
            auto* d = new TPTShListData(this);
            d->SetRelativePidl(rel);
            LiveData().insert(d);
            pending_data_ = d;
            pending_attributes_ = at;
            pending_details_ = details_.Get();
            try {
              Items().Add();
            } catch (...) {
              pending_data_ = nullptr;
              LiveData().erase(d);
              delete d;
              a.Free(rel);
              throw;
            }
            pending_data_ = nullptr;
          }
        }
        a.Free(rel);
        rel = nullptr;
      }
    }
  } catch (...) {
    Items().EndUpdate();
    ReleaseFilter();
    throw;
  }
  Items().EndUpdate();
  ReleaseFilter();
}

bool TPTCustomShellList::LabelEditing() {
  return HandleAllocated() && ListView_GetEditControl(Handle()) != nullptr;
}

// ---------------------------------------------------------------- messages

void TPTCustomShellList::WndProc(TMessage& m) {
  switch (m.Msg) {
    case kListChangeMessage:
      if (ignore_next_change_ || busy_) {
        ignore_next_change_ = false;
        // A change while a drag runs (the drag may have moved our items
        // away) is refreshed when the drag ends.
        if (busy_) refill_pending_ = true;
        return;
      }
      // Each message restarts the delay.
      SetRefreshTimer(false);
      SetRefreshTimer(true, GetFocus() == Handle() ? 400 : 2000);
      return;
    case WM_TIMER:
      if (m.WParam == kRefreshTimerId) {
        if (refresh_timer_.enabled) TimedRefresh(this);
        return;
      }
      break;
    case kListEditNameMessage:
      for (int i = 0; i < Items().Count(); ++i) {
        auto* d = static_cast<TPTShListData*>(Items()[i]->Data);
        if (d && d->DisplayName() == name_to_edit_) {
          SetFocus();
          Items()[i]->EditCaption();
          break;
        }
      }
      return;
    case kListGetBrowserMessage:
      // There is no shell browser in this program.
      m.Result = 0;
      return;
    case WM_GETDLGCODE:
      TPTCustomListView::WndProc(m);
      // Keys typed into the label's edit come here first: Enter and Escape
      // end the edit, not the form's default or cancel button.
      if (LabelEditing() && (m.WParam == VK_RETURN || m.WParam == VK_ESCAPE)) {
        m.Result |= DLGC_WANTALLKEYS;
      } else if (m.WParam == VK_RETURN && !LabelEditing()) {
        TPTShListData* d = nullptr;
        try {
          d = SelectedData();
        } catch (const Exception&) {
        }
        if (d && d->IsFolder()) m.Result |= DLGC_WANTALLKEYS;
      }
      return;
    case WM_INITMENUPOPUP:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_MENUCHAR:
    case WM_MENUSELECT:
      if (active_menu_) {
        HandleMenuMessage(m);
        return;
      }
      break;
    case WM_RBUTTONUP:
      if (busy_) {
        DefWindowProcA(Handle(), m.Msg, m.WParam, m.LParam);
        return;
      }
      break;
    case WM_DESTROY:
      RevokeDropTarget();
      if (keep_widths_ && Columns().Count() > 0) {
        ShellColumnWidths()->Clear();
        WriteColumnWidths(ShellColumnWidths(), Handle());
      }
      if (change_thread_) {
        change_thread_->Destroy();
        change_thread_ = nullptr;
      }
      watching_ = false;
      SetRefreshTimer(false);
      break;
    default:
      break;
  }
  TPTCustomListView::WndProc(m);
}

void TPTCustomShellList::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  TPTCustomListView::MouseDown(b, s, x, y);
  if (b == mbLeft && (s & ssDouble)) OpenSelection();
}

bool TPTCustomShellList::DesignHitTest(int x, int y) {
  return HasOption(ptsloDesignInteractive) && GetItemAt(x, y) != nullptr;
}

