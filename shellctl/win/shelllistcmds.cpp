// What the shell list does in answer to the user: keys, opening items, the
// shell's context menus and verbs, renaming in place, texts and icons on
// demand, custom draw, and OLE drag and drop in both directions.
#include "win/shelllist.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "shelltext.h"
#include "win/forms.h"
#include "win/shconsts.h"
#include "win/shellmenu.h"
#include "win/shellutils.h"

#include "win/shellcombo.h"
#include "win/shelltree.h"

namespace {

bool Designing(TComponent* c) { return (c->ComponentState() & csDesigning) != 0; }

struct TPidlFree {
  void operator()(ITEMIDLIST* p) const { ShellFree(p); }
};
typedef std::unique_ptr<ITEMIDLIST, TPidlFree> TOwnedPidl;

HWND FormHandle(TControl* c) {
  TForm* f = GetParentForm(c);
  return f ? f->Handle() : nullptr;
}

// The shortcut of a key with its modifiers, as the table holds it.
uint16_t ShortCutOf(WORD key, TShiftState shift) {
  uint16_t s = key & 0x1FFF;
  if (shift & ssShift) s |= shell::scShift;
  if (shift & ssCtrl) s |= shell::scCtrl;
  if (shift & ssAlt) s |= shell::scAlt;
  return s;
}

uint16_t TableShortCut(uint32_t id) {
  LoadShortCutTable();
  const shell::TShortCutEntry* t = shell::ShortCutTable();
  for (int i = 0; i < shell::kShortCutCount; ++i)
    if (t[i].id == id) return t[i].shortcut;
  return 0;
}

enum : uint32_t {
  kScSelectAll = 52587,
  kScDelete = 52588,
  kScCopy = 52589,
  kScCut = 52590,
  kScPaste = 52591,
  kScRefresh = 52592,
  kScRename = 52593,
};

}  // namespace

// ---------------------------------------------------------------- data object

TDataObject_shlv::TDataObject_shlv(TPTCustomShellList* list) {
  std::vector<TPTShListData*> chosen;
  if (list->SelCount() == 1) {
    if (TListItem* s = list->Selected())
      if (auto* d = static_cast<TPTShListData*>(s->Data)) chosen.push_back(d);
  } else {
    for (int i = 0; i < list->Items().Count(); ++i) {
      TListItem* it = list->Items()[i];
      if (it->Selected() && it->Data) chosen.push_back(static_cast<TPTShListData*>(it->Data));
    }
  }
  std::vector<LPCITEMIDLIST> items;
  std::vector<std::string> paths;
  std::string text;
  for (TPTShListData* d : chosen) {
    items.push_back(d->RelativePidl());
    std::string name = GetDisplayName(list->ShellFolder(), d->RelativePidl(), 2);
    paths.push_back(name);
    text += name + "\r\n";
  }
  item_count_ = static_cast<int>(items.size());
  SetShellBlocks(list->Folder().GetPidl(), items, paths, text);
}

// ---------------------------------------------------------------- drop target

STDMETHODIMP TDropTarget_shlv::DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) {
  if (!list_) return E_UNEXPECTED;
  return list_->OleDragEnter(data, keyState, pt, effect);
}
STDMETHODIMP TDropTarget_shlv::DragOver(DWORD keyState, POINTL pt, DWORD* effect) {
  if (!list_) return E_UNEXPECTED;
  return list_->OleDragOver(keyState, pt, effect);
}
STDMETHODIMP TDropTarget_shlv::DragLeave() { return list_ ? list_->OleDragLeave() : S_OK; }
STDMETHODIMP TDropTarget_shlv::Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) {
  if (!list_) return E_UNEXPECTED;
  return list_->OleDrop(data, keyState, pt, effect);
}

IDropTarget* TPTCustomShellList::OleDropTarget() const { return drop_target_.Get(); }

void TPTCustomShellList::RegisterDropTarget() {
  if (drop_target_ || !HandleAllocated()) return;
  // Our own reference from registration to revocation.
  drop_target_.Reset(new TDropTarget_shlv(this));
  if (FAILED(RegisterDragDrop(Handle(), drop_target_.Get()))) {
    drop_target_->Detach();
    drop_target_.Clear();
  }
}

void TPTCustomShellList::RevokeDropTarget() {
  if (!drop_target_) return;
  if (HandleAllocated()) RevokeDragDrop(Handle());
  drop_target_->Detach();
  drop_target_.Clear();
}

// ---------------------------------------------------------------- keys

void TPTCustomShellList::KeyDown(WORD& key, TShiftState shift) {
  if (HasOption(ptsloDefaultKeyHandling) && !LabelEditing() && !Designing(this) && key) {
    const uint16_t sc = ShortCutOf(key, shift & (ssShift | ssCtrl | ssAlt));
    bool done = true;
    if (sc == TableShortCut(kScSelectAll))
      SelectAll();
    else if (sc == TableShortCut(kScRefresh))
      Refill();
    else if (sc == TableShortCut(kScDelete))
      InvokeSelectionVerb("delete");
    else if (sc == TableShortCut(kScCopy))
      InvokeSelectionVerb("copy");
    else if (sc == TableShortCut(kScCut))
      InvokeSelectionVerb("cut");
    else if (sc == TableShortCut(kScPaste))
      PasteIntoFolder();
    else if (sc == TableShortCut(kScRename)) {
      if (TListItem* f = ItemFocused()) f->EditCaption();
    } else
      done = false;
    if (done) {
      key = 0;
      return;
    }
  }
  TPTCustomListView::KeyDown(key, shift);
}

void TPTCustomShellList::KeyPress(char& key) {
  if (HasOption(ptsloDefaultKeyHandling) && !LabelEditing() && !Designing(this)) {
    if (key == '\b') {
      key = 0;
      GoUp(1);
      return;
    }
    if (key == '\r') {
      key = 0;
      OpenSelection();
      return;
    }
  }
  TPTCustomListView::KeyPress(key);
}

void TPTCustomShellList::SelectAll() {
  if (HandleAllocated()) ListView_SetItemState(Handle(), -1, LVIS_SELECTED, LVIS_SELECTED);
}

// ---------------------------------------------------------------- verbs and menus

HRESULT TPTCustomShellList::BuildSelectionMenu(UINT flags, IContextMenu** handler, HMENU* menu) {
  *handler = nullptr;
  *menu = nullptr;
  std::vector<LPCITEMIDLIST> items;
  for (int i = 0; i < Items().Count(); ++i) {
    TListItem* it = Items()[i];
    if (it->Data && it->Selected()) items.push_back(static_cast<TPTShListData*>(it->Data)->RelativePidl());
  }
  if (items.empty() || !folder_intf_) return S_FALSE;
  return QueryItemMenu(folder_intf_.Get(), Handle(), items, kFirstMenuId, CMF_EXPLORE, handler, menu);
}

void TPTCustomShellList::InvokeSelectionVerb(const std::string& verb) {
  std::vector<LPCITEMIDLIST> items;
  for (int i = 0; i < Items().Count(); ++i) {
    TListItem* it = Items()[i];
    if (it->Data && it->Selected()) items.push_back(static_cast<TPTShListData*>(it->Data)->RelativePidl());
  }
  if (items.empty() || !folder_intf_) return;
  TComPtr<IContextMenu> handler;
  if (FAILED(folder_intf_->GetUIObjectOf(Handle(), static_cast<UINT>(items.size()), items.data(), IID_IContextMenu,
                                         nullptr, handler.PutVoid())) ||
      !handler)
    return;
  InvokeVerb(handler.Get(), FormHandle(this), verb);
}

void TPTCustomShellList::PasteIntoFolder() {
  if (!folder_intf_) return;
  TComPtr<IContextMenu> handler;
  if (FAILED(folder_intf_->CreateViewObject(Handle(), IID_IContextMenu, handler.PutVoid())) || !handler) return;
  InvokeVerb(handler.Get(), FormHandle(this), "paste");
}

void TPTCustomShellList::RightClick() {
  if (HasOption(ptsloContextMenus) && !Designing(this)) {
    if (!busy_) {
      POINT p;
      GetCursorPos(&p);
      ContextMenuAtPoint(ScreenToClient(p));
    }
    // The context-menu message of the same click shows no PopupMenu.
    menu_replaced_ = true;
    return;
  }
  TPTCustomListView::RightClick();
}

void TPTCustomShellList::ContextMenuAtPoint(POINT client) {
  IContextMenu* raw = nullptr;
  HMENU menu = nullptr;
  if (BuildSelectionMenu(CMF_EXPLORE, &raw, &menu) != S_OK && !raw) return;
  TComPtr<IContextMenu> handler = TComPtr<IContextMenu>::Adopt(raw);
  if (!handler || !menu) {
    if (menu) DestroyMenu(menu);
    return;
  }
  POINT s = ClientToScreen(client);
  active_menu_ = handler.Get();
  UINT id = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, s.x, s.y, 0, Handle(), nullptr));
  active_menu_ = nullptr;
  if (id >= kFirstMenuId) InvokeVerb(handler.Get(), FormHandle(this), static_cast<int>(id - kFirstMenuId));
  DestroyMenu(menu);
}

void TPTCustomShellList::HandleMenuMessage(TMessage& m) {
  if (m.Msg == WM_MENUSELECT) {
    MenuHelpText(LOWORD(m.WParam), HIWORD(m.WParam), active_menu_, [this](const std::string& text) {
      std::string hint = text;
      if (OnPopupHint) OnPopupHint(this, hint);
    });
  }
  TComPtr<IContextMenu3> cm3;
  TComPtr<IContextMenu2> cm2;
  LRESULT result = 0;
  if (SUCCEEDED(active_menu_->QueryInterface(IID_IContextMenu3, cm3.PutVoid())) && cm3) {
    if (SUCCEEDED(cm3->HandleMenuMsg2(m.Msg, m.WParam, m.LParam, &result))) {
      m.Result = result;
      return;
    }
  } else if (m.Msg != WM_MENUCHAR && SUCCEEDED(active_menu_->QueryInterface(IID_IContextMenu2, cm2.PutVoid())) &&
             cm2) {
    if (SUCCEEDED(cm2->HandleMenuMsg(m.Msg, m.WParam, m.LParam))) {
      m.Result = 0;
      return;
    }
  }
  m.Result = DefWindowProcA(Handle(), m.Msg, m.WParam, m.LParam);
}

// ---------------------------------------------------------------- opening

void TPTCustomShellList::NavigateTo(LPCITEMIDLIST absolutePidl) {
  if (HasOption(ptsloDontChangeFolder)) return;
  Items().BeginUpdate();
  Items().Clear();
  Items().EndUpdate();
  if (shell_tree_) {
    shell_tree_->CurrentFolder()->SetPidl(absolutePidl);
    // The tree's follow-up (which refills this list) now, not after the
    // delay meant for keyboard moves.
    shell_tree_->FlushRefresh();
    return;
  }
  if (shell_combo_) {
    shell_combo_->Locator()->SetPidl(absolutePidl);
    return;
  }
  folder_->SetPidl(absolutePidl);
}

void TPTCustomShellList::OpenSelection() {
  FlushRefresh(true);
  int withData = 0;
  for (int i = 0; i < Items().Count(); ++i) {
    TListItem* it = Items()[i];
    if (it->Data && it->Selected()) ++withData;
  }
  if (withData > 1) {
    IContextMenu* raw = nullptr;
    HMENU menu = nullptr;
    BuildSelectionMenu(CMF_DEFAULTONLY, &raw, &menu);
    TComPtr<IContextMenu> handler = TComPtr<IContextMenu>::Adopt(raw);
    if (menu) {
      UINT id = GetMenuDefaultItem(menu, FALSE, 0);
      if (handler && id != static_cast<UINT>(-1) && id >= kFirstMenuId)
        InvokeVerb(handler.Get(), FormHandle(this), static_cast<int>(id - kFirstMenuId));
      DestroyMenu(menu);
    }
    return;
  }
  TListItem* item = Selected();
  if (!item) return;
  auto* data = static_cast<TPTShListData*>(item->Data);
  if (!data) {
    DblClickOpen();
    return;
  }
  THourGlassHold cursor;
  TOwnedPidl abs(CopyPidl(nullptr, data->AbsolutePidl()));
  if (!abs) return;
  if (data->IsFolder()) {
    NavigateTo(abs.get());
    return;
  }
  if (data->IsLink()) {
    TLinkData link;
    if (SUCCEEDED(ReadShellLink(data->FullPath(), link, false)) && !link.Path.empty()) {
      DWORD a = GetFileAttributesA(link.Path.c_str());
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        LPITEMIDLIST target = nullptr;
        if (SUCCEEDED(PathToPidl(link.Path, &target)) && target) {
          TOwnedPidl held(target);
          NavigateTo(target);
        }
        return;
      }
    }
  }
  if (!DblClickOpen()) return;
  TComPtr<IContextMenu> handler;
  HMENU menu = nullptr;
  LPCITEMIDLIST one[1] = {data->RelativePidl()};
  if (!folder_intf_) return;
  IContextMenu* raw = nullptr;
  QueryItemMenu(folder_intf_.Get(), Handle(), {one[0]}, kFirstMenuId, CMF_DEFAULTONLY, &raw, &menu);
  handler = TComPtr<IContextMenu>::Adopt(raw);
  if (menu) {
    UINT id = GetMenuDefaultItem(menu, FALSE, 0);
    if (handler && id != static_cast<UINT>(-1) && id >= kFirstMenuId)
      InvokeVerb(handler.Get(), FormHandle(this), static_cast<int>(id - kFirstMenuId));
    DestroyMenu(menu);
  }
}

bool TPTCustomShellList::DblClickOpen() {
  bool handled = false;
  if (OnDblClickOpen) OnDblClickOpen(this, handled);
  return !handled;
}

// ---------------------------------------------------------------- renaming

bool TPTCustomShellList::CanEdit(TListItem* item) {
  auto* data = static_cast<TPTShListData*>(item->Data);
  if (!data || Designing(this)) return false;
  const ULONG need = SFGAO_FILESYSTEM | SFGAO_CANRENAME;
  if ((data->Attributes() & need) != need) return false;
  return TPTCustomListView::CanEdit(item);
}

void TPTCustomShellList::Edit(TListItem* item, std::string& text) {
  auto* data = static_cast<TPTShListData*>(item->Data);
  if (!data) {
    TPTCustomListView::Edit(item, text);
    return;
  }
  {
    THourGlassHold cursor;
    // Only a watched folder reports the rename back.
    ignore_next_change_ = watching_;
    bool renamed = false;
    std::wstring wide = AnsiToWide(text);
    // A name the shell's buffer cannot hold would rename the item to a
    // cut-short name: refused like any refused rename.
    if (!text.empty() && wide.size() <= MAX_PATH && folder_intf_) {
      LPITEMIDLIST fresh = nullptr;
      // The new name is the item's name inside its folder: Wine takes a name
      // given without the in-folder flag as a path from the process's
      // current directory and moves the file there.
      HRESULT hr = folder_intf_->SetNameOf(FormHandle(this), data->RelativePidl(), wide.c_str(),
                                           32 | SHGDN_INFOLDER, &fresh);
      if (SUCCEEDED(hr) && fresh) {
        data->SetRelativePidl(fresh);
        item->SetCaption(text);
        renamed = true;
      }
      ShellFree(fresh);
    }
    // Nothing changed on disk, so no change message will clear it.
    if (!renamed) ignore_next_change_ = false;
  }
  if (refill_pending_) {
    refill_pending_ = false;
    IncrementalRefresh();
  }
  if (OnEdited) OnEdited(this, item, text);
}

// ---------------------------------------------------------------- on demand

void TPTCustomShellList::CNNotify(TMessage& m) {
  // Texts and icons are asked for by row.  The first text stored in an item
  // redraws it by its index, which an item remembers only until the list is
  // sorted or a row above it goes; finding it again searches the whole
  // list, for every row painted.  The row asked for is its index.
  const auto* h = reinterpret_cast<const NMHDR*>(m.LParam);
  if (h && (h->code == LVN_GETDISPINFOA || h->code == LVN_GETDISPINFOW)) {
    const auto* d = reinterpret_cast<const NMLVDISPINFOA*>(h);  // the same layout up to the text
    if (d->item.iItem >= 0) ItemFromIndex(d->item.iItem);
  }
  TPTCustomListView::CNNotify(m);
}

void TPTCustomShellList::GetDispInfo(TListItem* item, TLVDispInfo& info) {
  auto* data = static_cast<TPTShListData*>(item->Data);
  if (info.Mask & LVIF_TEXT) {
    if (info.SubItem == 0) {
      if (item->Caption().empty() && data) item->SetCaption(data->DisplayName());
      info.Text = item->Caption();
    } else if (item->SubItems.Count() >= info.SubItem) {
      info.Text = item->SubItems.Get(info.SubItem - 1);
      if (info.Text.empty() && data) info.Text = data->ColumnText(info.SubItem);
    } else {
      info.Text.clear();
    }
  }
  if (info.Mask & LVIF_IMAGE) {
    if (item->ImageIndex() > 0)
      info.ImageIndex = item->ImageIndex();
    else if (data) {
      // The small icon as the file information gives it, asked of the folder
      // the list holds bound (see TPTShListData::DisplayName).
      info.ImageIndex = ShellFolder() && data->RelativePidl()
                            ? SHMapPIDLToSystemImageListIndex(ShellFolder(), data->RelativePidl(), nullptr)
                            : -1;
      if (info.ImageIndex < 0) info.ImageIndex = SysImageIndex(data->AbsolutePidl(), SHGFI_SMALLICON);
    }
  }
}

void TPTCustomShellList::CustomDraw(NMCUSTOMDRAW* record, LRESULT& result) {
  const bool itemStage = (record->dwDrawStage & CDDS_ITEM) != 0;
  TListItem* item = itemStage ? reinterpret_cast<TListItem*>(record->lItemlParam) : nullptr;
  if (itemStage && !item) item = ItemFromIndex(static_cast<int>(record->dwItemSpec));
  if (!custom_draw_) custom_draw_.reset(CreateCustomDraw(record, &result));
  CustomDrawItem(custom_draw_.get(), item, item ? static_cast<TPTShListData*>(item->Data) : nullptr);
  custom_draw_->Apply();
  if (record->dwDrawStage == CDDS_PREPAINT) result |= CDRF_NOTIFYITEMDRAW;
  // Wine's list view draws the drop highlight like nothing at all: the item
  // under a drag gets the selection's colours here.
  if (record->dwDrawStage == CDDS_ITEMPREPAINT && HandleAllocated() &&
      (ListView_GetItemState(Handle(), static_cast<int>(record->dwItemSpec), LVIS_DROPHILITED) & LVIS_DROPHILITED)) {
    auto* lv = reinterpret_cast<NMLVCUSTOMDRAW*>(record);
    lv->clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    lv->clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
    result |= CDRF_NEWFONT;
  }
}

void TPTCustomShellList::CustomDrawItem(TPTCustomDraw* cd, TListItem* item, TPTShListData* data) {
  if (OnCustomDrawShEx) OnCustomDrawShEx(this, cd, item, data);
  if (OnCustomDrawSh && cd->DrawStage() == 4) OnCustomDrawSh(this, cd, item, data);
}

// ---------------------------------------------------------------- drag out

void TPTCustomShellList::BeginDrag(TListItem* item, bool right) {
  TPTCustomListView::BeginDrag(item, right);
  if (HasOption(ptsloOleDrag) && !Designing(this)) StartOleDrag(right);
}

void TPTCustomShellList::StartOleDrag(bool right) {
  if (busy_) return;
  busy_ = true;
  struct TClearBusy {
    TPTCustomShellList* l;
    ~TClearBusy() { l->busy_ = false; }
  } clear{this};
  auto* object = new TDataObject_shlv(this);
  TComPtr<IDataObject> data(object);
  if (object->ItemCount() == 0) return;
  DWORD allowed = 0;
  {
    std::vector<LPCITEMIDLIST> items;
    for (int i = 0; i < Items().Count(); ++i) {
      TListItem* it = Items()[i];
      if (it->Data && it->Selected()) items.push_back(static_cast<TPTShListData*>(it->Data)->RelativePidl());
    }
    ULONG attrs = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    if (folder_intf_ && !items.empty() &&
        SUCCEEDED(folder_intf_->GetAttributesOf(static_cast<UINT>(items.size()), items.data(), &attrs)))
      allowed = attrs & 7;
  }
  TComPtr<IDropSource> source(new TDropSource_shlvtv(right ? MK_RBUTTON : MK_LBUTTON));
  drag_out_data_ = data;
  DWORD effect = 0;
  DoDragDrop(data.Get(), source.Get(), allowed, &effect);
  drag_out_data_.Clear();
  const bool refill = refill_pending_;
  busy_ = false;
  refill_pending_ = false;
  source.Clear();
  data.Clear();
  if (refill) Refill();
}

// ---------------------------------------------------------------- drag in

HRESULT TPTCustomShellList::ItemDropTarget(TListItem* item, IDropTarget** target) {
  *target = nullptr;
  if (!folder_intf_) return E_FAIL;
  if (item) {
    auto* data = static_cast<TPTShListData*>(item->Data);
    if (!data) return E_FAIL;
    LPCITEMIDLIST one[1] = {data->RelativePidl()};
    return folder_intf_->GetUIObjectOf(Handle(), 1, one, IID_IDropTarget, nullptr, reinterpret_cast<void**>(target));
  }
  return folder_intf_->CreateViewObject(Handle(), IID_IDropTarget, reinterpret_cast<void**>(target));
}

// The target under a screen point: an item with data gives its own, the
// empty area the folder's.  ownEmpty: the point is empty space while our
// own drag runs.
HRESULT TPTCustomShellList::ChooseDropTarget(POINTL screen, TListItem** item, IDropTarget** target, bool* ownEmpty) {
  *item = nullptr;
  *target = nullptr;
  *ownEmpty = false;
  POINT c = ScreenToClient(POINT{screen.x, screen.y});
  TListItem* hit = GetItemAt(c.x, c.y);
  if (hit && hit->Data) {
    *item = hit;
    return ItemDropTarget(hit, target);
  }
  if (busy_) *ownEmpty = true;
  return ItemDropTarget(nullptr, target);
}

void TPTCustomShellList::SetDropHighlight(TListItem* item) {
  if (drop_item_ == item) return;
  if (HandleAllocated()) ListView_SetItemState(Handle(), -1, 0, LVIS_DROPHILITED);
  drop_item_ = item;
  if (item) item->SetDropTarget(true);
  if (HandleAllocated()) UpdateWindow(Handle());
}

void TPTCustomShellList::AutoScroll(POINT c) {
  if (GetTickCount() - last_scroll_ < 200) return;
  RECT r = ClientRect();
  int dx = 0, dy = 0;
  if (c.x < r.left + 26) dx = -1;
  if (c.x > r.right - 26) dx = 1;
  if (c.y < r.top + 20) dy = -1;
  if (c.y > r.bottom - 20) dy = 1;
  if (!dx && !dy) return;
  if (dx) SendMessageA(Handle(), WM_HSCROLL, dx < 0 ? SB_LINELEFT : SB_LINERIGHT, 0);
  if (dy) SendMessageA(Handle(), WM_VSCROLL, dy < 0 ? SB_LINEUP : SB_LINEDOWN, 0);
  last_scroll_ = GetTickCount();
}

HRESULT TPTCustomShellList::OleDragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) {
  last_scroll_ = GetTickCount();
  drop_data_.Reset(data);
  drop_keys_ = keyState;
  return OleDragOver(keyState, pt, effect) == S_OK ? S_OK : S_OK;
}

HRESULT TPTCustomShellList::OleDragOver(DWORD keyState, POINTL pt, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  const DWORD offered = *effect;
  TListItem* item = nullptr;
  TComPtr<IDropTarget> target;
  bool ownEmpty = false;
  ChooseDropTarget(pt, &item, target.Put(), &ownEmpty);
  DWORD e = 0;
  if (ownEmpty) {
    // Our own items onto our own folder: nothing to do with the left
    // button; the right one may only copy.
    e = (drop_keys_ & MK_RBUTTON) ? (offered & DROPEFFECT_COPY) : 0;
  } else if (target) {
    e = offered;
    if (SUCCEEDED(target->DragEnter(drop_data_.Get(), keyState, pt, &e))) {
      target->DragOver(keyState, pt, &e);
      target->DragLeave();
    } else {
      e = 0;
    }
  }
  SetDropHighlight(e && item ? item : nullptr);
  POINT c = ScreenToClient(POINT{pt.x, pt.y});
  AutoScroll(c);
  *effect = e | DROPEFFECT_SCROLL;
  return S_OK;
}

HRESULT TPTCustomShellList::OleDragLeave() {
  drop_data_.Clear();
  SetDropHighlight(nullptr);
  return S_OK;
}

HRESULT TPTCustomShellList::OleDrop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  TComPtr<IDataObject> held(data ? data : drop_data_.Get());
  TListItem* item = nullptr;
  TComPtr<IDropTarget> target;
  bool ownEmpty = false;
  ChooseDropTarget(pt, &item, target.Put(), &ownEmpty);
  // The buttons are up by now; the target learns which one dragged.
  const DWORD keys = keyState | (drop_keys_ & (MK_LBUTTON | MK_RBUTTON));
  DWORD e = *effect;
  if (ownEmpty) {
    if (drop_keys_ & MK_RBUTTON)
      e &= ~DWORD(DROPEFFECT_MOVE);
    else
      target.Clear();
  }
  if (target) {
    DWORD want = e;
    target->DragEnter(held.Get(), keys, pt, &want);
    want = e;
    target->DragOver(keys, pt, &want);
    DWORD limited = e & DragEffectsOf(held.Get());
    if (ownEmpty) limited &= ~DWORD(DROPEFFECT_MOVE);
    target->Drop(held.Get(), keys, pt, &limited);
    *effect = limited;
  } else {
    *effect = DROPEFFECT_NONE;
  }
  target.Clear();
  SetDropHighlight(nullptr);
  drop_data_.Clear();
  return S_OK;
}
