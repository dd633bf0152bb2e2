#include "listview.h"

#include <algorithm>

#include "comobj.h"

namespace {

HWND ViewWnd(const TListItems* o) { return o->Owner()->Handle(); }

UINT StateBits(TItemStates s) {
  UINT r = 0;
  if (s & (1u << isCut)) r |= LVIS_CUT;
  if (s & (1u << isDropHilited)) r |= LVIS_DROPHILITED;
  if (s & (1u << isFocused)) r |= LVIS_FOCUSED;
  if (s & (1u << isSelected)) r |= LVIS_SELECTED;
  return r;
}

}  // namespace

// ---------------------------------------------------------------- TListItem

TCustomListView* TListItem::ListView() const { return owner_->Owner(); }

int TListItem::Index() const {
  if (index_hint_ >= 0) {
    LVITEMA it{};
    it.mask = LVIF_PARAM;
    it.iItem = index_hint_;
    if (SendMessageA(ViewWnd(owner_), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it)) &&
        it.lParam == reinterpret_cast<LPARAM>(this))
      return index_hint_;
  }
  LVFINDINFOA f{};
  f.flags = LVFI_PARAM;
  f.lParam = reinterpret_cast<LPARAM>(this);
  index_hint_ = static_cast<int>(SendMessageA(ViewWnd(owner_), LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(&f)));
  return index_hint_;
}

void TListItem::SetCaption(const std::string& s) {
  caption_ = s;
  Update();
}

void TListItem::SetImageIndex(int v) {
  image_ = v;
  Update();
}

void TListItem::SetOverlayIndex(int v) {
  overlay_ = v;
  ListView_SetItemState(ViewWnd(owner_), Index(), v >= 0 ? INDEXTOOVERLAYMASK(static_cast<UINT>(v) + 1) : 0,
                        LVIS_OVERLAYMASK);
}

void TListItem::SetStateIndex(int v) {
  state_index_ = v;
  ListView_SetItemState(ViewWnd(owner_), Index(), v >= 0 ? INDEXTOSTATEIMAGEMASK(static_cast<UINT>(v) + 1) : 0,
                        LVIS_STATEIMAGEMASK);
}

bool TListItem::State(UINT mask) const {
  return (ListView_GetItemState(ViewWnd(owner_), Index(), mask) & mask) != 0;
}

void TListItem::SetState(UINT mask, bool v) { ListView_SetItemState(ViewWnd(owner_), Index(), v ? mask : 0, mask); }

bool TListItem::EditCaption() {
  return SendMessageA(ViewWnd(owner_), LVM_EDITLABELA, static_cast<WPARAM>(Index()), 0) != 0;
}

RECT TListItem::DisplayRect(TDisplayCode code) const {
  static const int codes[] = {LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL, LVIR_SELECTBOUNDS};
  RECT r{};
  ListView_GetItemRect(ViewWnd(owner_), Index(), &r, codes[code]);
  return r;
}

void TListItem::MakeVisible(bool partialOK) { ListView_EnsureVisible(ViewWnd(owner_), Index(), partialOK); }

void TListItem::Update() {
  if (owner_->Owner()->HandleAllocated()) ListView_Update(ViewWnd(owner_), Index());
}

void TListItem::Delete() { ListView_DeleteItem(ViewWnd(owner_), Index()); }

// ---------------------------------------------------------------- TListItems

TListItems::~TListItems() {
  for (TListItem* item : live_) delete item;
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int index) {
  TListItem* item = new TListItem(this);
  live_.insert(item);
  LVITEMA it{};
  it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  it.iItem = index;
  it.pszText = LPSTR_TEXTCALLBACKA;
  it.iImage = I_IMAGECALLBACK;
  it.lParam = reinterpret_cast<LPARAM>(item);
  const LRESULT at = SendMessageA(view_->Handle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
  if (at < 0) {
    live_.erase(item);
    delete item;
    throw EOutOfResources("Error inserting a list item");
  }
  item->index_hint_ = static_cast<int>(at);
  return item;
}

int TListItems::Count() const {
  return view_->HandleAllocated() ? static_cast<int>(ListView_GetItemCount(view_->Handle())) : 0;
}

TListItem* TListItems::Item(int index) const { return view_->ItemFromIndex(index); }

void TListItems::Delete(int index) { ListView_DeleteItem(view_->Handle(), index); }

void TListItems::Clear() {
  if (view_->HandleAllocated()) ListView_DeleteAllItems(view_->Handle());
}

void TListItems::BeginUpdate() {
  if (update_++ == 0 && view_->HandleAllocated()) SendMessageA(view_->Handle(), WM_SETREDRAW, FALSE, 0);
}

void TListItems::EndUpdate() {
  if (--update_ == 0 && view_->HandleAllocated()) {
    SendMessageA(view_->Handle(), WM_SETREDRAW, TRUE, 0);
    view_->Invalidate();
  }
}

void TListItems::FreeLeftovers() {
  std::vector<TListItem*> left(live_.begin(), live_.end());
  live_.clear();
  for (TListItem* item : left) {
    if (view_->OnDeletion) view_->OnDeletion(view_, item);
    delete item;
  }
}

// ---------------------------------------------------------------- TListColumn(s)

void TListColumn::Apply(UINT mask) const {
  TCustomListView* v = owner_->view_;
  if (!v->HandleAllocated()) return;
  static const int formats[] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER};
  LVCOLUMNA c{};
  c.mask = mask;
  c.pszText = const_cast<char*>(caption_.c_str());
  c.cx = width_;
  c.fmt = formats[alignment_];
  SendMessageA(v->Handle(), LVM_SETCOLUMNA, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&c));
}

void TListColumn::SetCaption(const std::string& s) {
  caption_ = s;
  Apply(LVCF_TEXT);
}

int TListColumn::Width() const {
  TCustomListView* v = owner_->view_;
  return v->HandleAllocated() ? ListView_GetColumnWidth(v->Handle(), index_) : width_;
}

void TListColumn::SetWidth(int v) {
  width_ = v;
  Apply(LVCF_WIDTH);
}

void TListColumn::SetAlignment(TAlignment a) {
  alignment_ = a;
  Apply(LVCF_FMT);
}

TListColumns::~TListColumns() {
  for (TListColumn* c : columns_) delete c;
}

TListColumn* TListColumns::Add() {
  auto* c = new TListColumn(this, Count());
  columns_.push_back(c);
  Insert(c);
  return c;
}

void TListColumns::Insert(TListColumn* c) {
  if (!view_->HandleAllocated()) return;
  static const int formats[] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER};
  LVCOLUMNA lc{};
  lc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
  lc.pszText = const_cast<char*>(c->caption_.c_str());
  lc.cx = c->width_;
  // The first column is always left-aligned by the control.
  lc.fmt = formats[c->alignment_];
  lc.iSubItem = c->index_;
  SendMessageA(view_->Handle(), LVM_INSERTCOLUMNA, static_cast<WPARAM>(c->index_), reinterpret_cast<LPARAM>(&lc));
}

void TListColumns::Clear() {
  if (view_->HandleAllocated())
    for (int i = Count() - 1; i >= 0; --i) ListView_DeleteColumn(view_->Handle(), i);
  for (TListColumn* c : columns_) delete c;
  columns_.clear();
}

// ---------------------------------------------------------------- TCustomListView

TCustomListView::TCustomListView(TComponent* AOwner) : TWinControl(AOwner), items_(this), columns_(this) {
  width_ = 250;
  height_ = 150;
  TabStop = true;
  parent_color_ = false;
  color_ = clWindow;
}

TCustomListView::~TCustomListView() {
  DestroyHandle();
  items_.FreeLeftovers();
  for (TCustomImageList* l : {large_, small_, state_})
    if (l) l->RemoveFreeNotification(this);
}

void TCustomListView::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = WC_LISTVIEWA;
  static const DWORD styles[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
  p.Style |= styles[view_style_] | LVS_SHAREIMAGELISTS;
  if (!MultiSelect) p.Style |= LVS_SINGLESEL;
  if (!ColumnClick) p.Style |= LVS_NOSORTHEADER;
  if (!ShowColumnHeaders) p.Style |= LVS_NOCOLUMNHEADER;
  if (!ReadOnly) p.Style |= LVS_EDITLABELS;
  if (!HideSelection) p.Style |= LVS_SHOWSELALWAYS;
  if (IconOptions.AutoArrange) p.Style |= LVS_AUTOARRANGE;
  if (BorderStyle == bsSingleBorder) p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListView::InitWnd() {
  TWinControl::InitWnd();
  ListView_SetBkColor(handle_, ColorToRGB(color_));
  if (large_ && large_->Handle()) ListView_SetImageList(handle_, large_->Handle(), LVSIL_NORMAL);
  if (small_ && small_->Handle()) ListView_SetImageList(handle_, small_->Handle(), LVSIL_SMALL);
  if (state_ && state_->Handle()) ListView_SetImageList(handle_, state_->Handle(), LVSIL_STATE);
  for (TListColumn* c : columns_.columns_) columns_.Insert(c);
  if (alloc_by_ > 0) ListView_SetItemCount(handle_, alloc_by_);
}

void TCustomListView::ApplyStyles() {
  if (!HandleAllocated()) return;
  const LONG_PTR live = LVS_TYPEMASK | LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_NOCOLUMNHEADER | LVS_EDITLABELS |
                        LVS_SHOWSELALWAYS | LVS_AUTOARRANGE;
  TCreateParams p;
  CreateParams(p);
  LONG_PTR s = GetWindowLongPtrA(handle_, GWL_STYLE);
  s = (s & ~live) | (static_cast<LONG_PTR>(p.Style) & live);
  SetWindowLongPtrA(handle_, GWL_STYLE, s);
  InvalidateRect(handle_, nullptr, TRUE);
}

void TCustomListView::SetViewStyle(TViewStyle v) {
  view_style_ = v;
  ApplyStyles();
}

void TCustomListView::SetAllocBy(int n) {
  alloc_by_ = n;
  if (HandleAllocated() && n > 0) ListView_SetItemCount(handle_, n);
}

void TCustomListView::SetList(TCustomImageList*& slot, TCustomImageList* l, int which) {
  if (slot) slot->RemoveFreeNotification(this);
  slot = l;
  if (l) l->FreeNotification(this);
  if (HandleAllocated()) ListView_SetImageList(handle_, l ? l->Handle() : nullptr, which);
}

void TCustomListView::Notification(TComponent* c, TOperation op) {
  TWinControl::Notification(c, op);
  if (op != opRemove) return;
  if (c == large_) SetList(large_, nullptr, LVSIL_NORMAL);
  if (c == small_) SetList(small_, nullptr, LVSIL_SMALL);
  if (c == state_) SetList(state_, nullptr, LVSIL_STATE);
}

TListItem* TCustomListView::ItemFromIndex(int index) const {
  if (!handle_ || index < 0) return nullptr;
  LVITEMA it{};
  it.mask = LVIF_PARAM;
  it.iItem = index;
  if (!SendMessageA(handle_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  auto* item = reinterpret_cast<TListItem*>(it.lParam);
  if (item && items_.live_.count(item)) item->index_hint_ = index;
  return item;
}

bool TCustomListView::CustomSort(TLVCompare compare, LPARAM data) {
  return SendMessageA(Handle(), LVM_SORTITEMS, static_cast<WPARAM>(data), reinterpret_cast<LPARAM>(compare)) != 0;
}

TListItem* TCustomListView::GetNextItem(TListItem* start, TSearchDirection direction, TItemStates states) const {
  if (!handle_) return nullptr;
  static const UINT dirs[] = {LVNI_TOLEFT, LVNI_TORIGHT, LVNI_ABOVE, LVNI_BELOW, LVNI_ALL};
  int from = start ? start->Index() : -1;
  UINT flags = dirs[direction] | StateBits(states);
  return ItemFromIndex(ListView_GetNextItem(handle_, from, flags));
}

TListItem* TCustomListView::Selected() const { return GetNextItem(nullptr, sdAll, 1u << isSelected); }

void TCustomListView::SetSelected(TListItem* item) {
  ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED);
  if (item) item->SetSelected(true);
}

TListItem* TCustomListView::ItemFocused() const { return GetNextItem(nullptr, sdAll, 1u << isFocused); }

void TCustomListView::SetItemFocused(TListItem* item) {
  if (item)
    item->SetFocused(true);
  else if (TListItem* f = ItemFocused())
    f->SetFocused(false);
}

int TCustomListView::SelCount() const {
  return handle_ ? static_cast<int>(ListView_GetSelectedCount(handle_)) : 0;
}

TListItem* TCustomListView::GetItemAt(int x, int y) const {
  if (!handle_) return nullptr;
  LVHITTESTINFO hi{};
  hi.pt = POINT{x, y};
  int i = ListView_HitTest(handle_, &hi);
  return (hi.flags & LVHT_ONITEM) ? ItemFromIndex(i) : nullptr;
}

THitTests TCustomListView::GetHitTestInfoAt(int x, int y) const {
  if (!handle_) return 0;
  LVHITTESTINFO hi{};
  hi.pt = POINT{x, y};
  ListView_HitTest(handle_, &hi);
  THitTests r = 0;
  auto set = [&](UINT f, THitTest t) { if (hi.flags & f) r |= 1u << t; };
  set(LVHT_ABOVE, htAbove);
  set(LVHT_BELOW, htBelow);
  set(LVHT_NOWHERE, htNowhere);
  set(LVHT_ONITEMICON, htOnIcon);
  set(LVHT_ONITEMLABEL, htOnLabel);
  set(LVHT_ONITEMSTATEICON, htOnStateIcon);
  set(LVHT_TOLEFT, htToLeft);
  set(LVHT_TORIGHT, htToRight);
  if (hi.flags & LVHT_ONITEM) r |= 1u << htOnItem;
  return r;
}

void TCustomListView::Scroll(int dx, int dy) { ListView_Scroll(Handle(), dx, dy); }

// ---------------------------------------------------------------- notifications

void TCustomListView::GetDispInfo(TListItem* item, TLVDispInfo& info) {
  if (info.Mask & LVIF_TEXT) {
    if (info.SubItem == 0)
      info.Text = item->caption_;
    else if (info.SubItem - 1 < item->SubItems.Count())
      info.Text = item->SubItems.Get(info.SubItem - 1);
  }
  if (info.Mask & LVIF_IMAGE) info.ImageIndex = item->image_;
}

void TCustomListView::AnswerDispInfo(NMHDR* h) {
  auto* d = reinterpret_cast<NMLVDISPINFOA*>(h);
  TListItem* item = reinterpret_cast<TListItem*>(d->item.lParam);
  if (!item) item = ItemFromIndex(d->item.iItem);
  if (!item || !items_.live_.count(item)) return;
  TLVDispInfo info;
  info.Mask = d->item.mask;
  info.SubItem = d->item.iSubItem;
  info.ImageIndex = item->image_;
  GetDispInfo(item, info);
  if ((d->item.mask & LVIF_TEXT) && d->item.pszText && d->item.cchTextMax > 0) {
    size_t room = static_cast<size_t>(d->item.cchTextMax);
    if (h->code == LVN_GETDISPINFOA) {
      size_t n = std::min(info.Text.size(), room - 1);
      memcpy(d->item.pszText, info.Text.data(), n);
      d->item.pszText[n] = 0;
    } else {
      auto* w = reinterpret_cast<wchar_t*>(d->item.pszText);
      int n = MultiByteToWideChar(CP_ACP, 0, info.Text.c_str(), -1, w, static_cast<int>(room));
      if (n == 0) w[room - 1] = 0;  // cut to the buffer, as for ANSI text
    }
  }
  if (d->item.mask & LVIF_IMAGE) d->item.iImage = info.ImageIndex;
}

LRESULT TCustomListView::CustomDrawNotify(NMHDR*) { return CDRF_DODEFAULT; }
void TCustomListView::RightClick() {}
void TCustomListView::BeginDrag(TListItem*, bool) {}

void TCustomListView::InsertItem(TListItem* item) {
  if (OnInsert) OnInsert(this, item);
}

void TCustomListView::Delete(TListItem* item) {
  if (OnDeletion) OnDeletion(this, item);
}

void TCustomListView::ColClick(TListColumn* column) {
  if (OnColumnClick) OnColumnClick(this, column);
}

bool TCustomListView::CanEdit(TListItem* item) {
  bool allow = !ReadOnly;
  if (allow && OnEditing) OnEditing(this, item, allow);
  return allow;
}

void TCustomListView::Edit(TListItem* item, std::string& text) {
  if (OnEdited) OnEdited(this, item, text);
  item->SetCaption(text);
}

bool TCustomListView::CanChange(TListItem* item, TItemChange change) {
  bool allow = true;
  if (OnChanging) OnChanging(this, item, change, allow);
  return allow;
}

void TCustomListView::Change(TListItem* item, TItemChange change) {
  if (OnChange) OnChange(this, item, change);
}

static TItemChange ChangeKind(UINT changed) {
  if (changed & LVIF_TEXT) return ctText;
  if (changed & LVIF_IMAGE) return ctImage;
  return ctState;
}

void TCustomListView::CNNotify(TMessage& m) {
  NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
  auto* lv = reinterpret_cast<NMLISTVIEW*>(m.LParam);
  auto item_of = [&]() -> TListItem* {
    TListItem* item = reinterpret_cast<TListItem*>(lv->lParam);
    if (!item && lv->iItem >= 0) item = ItemFromIndex(lv->iItem);
    if (!item || !items_.live_.count(item)) return static_cast<TListItem*>(nullptr);
    if (lv->iItem >= 0) item->index_hint_ = lv->iItem;
    return item;
  };
  m.Result = 0;
  switch (h->code) {
    case NM_CUSTOMDRAW:
      m.Result = CustomDrawNotify(h);
      break;
    case NM_RCLICK:
      RightClick();
      break;
    case LVN_BEGINDRAG:
      BeginDrag(item_of(), false);
      break;
    case LVN_BEGINRDRAG:
      BeginDrag(item_of(), true);
      break;
    case LVN_GETDISPINFOA:
    case LVN_GETDISPINFOW:
      AnswerDispInfo(h);
      break;
    case LVN_INSERTITEM:
      if (TListItem* item = item_of()) InsertItem(item);
      break;
    case LVN_DELETEALLITEMS:
      m.Result = FALSE;  // one LVN_DELETEITEM per item, so each object is freed
      break;
    case LVN_DELETEITEM: {
      TListItem* item = reinterpret_cast<TListItem*>(lv->lParam);
      if (!item || !items_.live_.erase(item)) break;
      Delete(item);
      delete item;
      break;
    }
    case LVN_COLUMNCLICK:
      if (lv->iSubItem >= 0 && lv->iSubItem < columns_.Count()) ColClick(columns_.Items(lv->iSubItem));
      break;
    case LVN_ITEMCHANGING:
      if (TListItem* item = item_of()) m.Result = CanChange(item, ChangeKind(lv->uChanged)) ? FALSE : TRUE;
      break;
    case LVN_ITEMCHANGED:
      if (TListItem* item = item_of()) Change(item, ChangeKind(lv->uChanged));
      break;
    case LVN_BEGINLABELEDITA:
    case LVN_BEGINLABELEDITW: {
      auto* d = reinterpret_cast<NMLVDISPINFOA*>(m.LParam);
      TListItem* item = ItemFromIndex(d->item.iItem);
      m.Result = (item && CanEdit(item)) ? FALSE : TRUE;
      break;
    }
    case LVN_ENDLABELEDITA:
    case LVN_ENDLABELEDITW: {
      auto* d = reinterpret_cast<NMLVDISPINFOA*>(m.LParam);
      TListItem* item = ItemFromIndex(d->item.iItem);
      if (!item || !d->item.pszText) break;  // cancelled
      std::string s = h->code == LVN_ENDLABELEDITA ? std::string(d->item.pszText)
                                                : WideToAnsi(reinterpret_cast<const wchar_t*>(d->item.pszText));
      Edit(item, s);
      m.Result = FALSE;  // the caption is ours; the control keeps asking for it
      break;
    }
    default:
      break;
  }
}

void TCustomListView::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY) {
    CNNotify(m);
    return;
  }
  if (m.Msg == WM_DESTROY) {
    // While the parent still passes notifications on, so every item goes
    // through Delete.
    items_.Clear();
  }
  TWinControl::WndProc(m);
}
