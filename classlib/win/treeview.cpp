#include "treeview.h"

#include "comobj.h"

namespace {

HWND ViewWnd(TTreeNodes* o) { return o->Owner()->Handle(); }

}  // namespace

// ---------------------------------------------------------------- TTreeNode

TTreeNode* TTreeNode::Parent() {
  return owner_->Owner()->NodeFromItem(TreeView_GetParent(ViewWnd(owner_), item_));
}
TTreeNode* TTreeNode::GetFirstChild() {
  return owner_->Owner()->NodeFromItem(TreeView_GetChild(ViewWnd(owner_), item_));
}
TTreeNode* TTreeNode::GetNextSibling() {
  return owner_->Owner()->NodeFromItem(TreeView_GetNextSibling(ViewWnd(owner_), item_));
}

void TTreeNode::SetText(const std::string& s) {
  text_ = s;
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = item_;
  it.pszText = const_cast<char*>(text_.c_str());
  SendMessageA(ViewWnd(owner_), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

void TTreeNode::SetState(UINT mask, bool v) {
  TVITEMA it{};
  it.mask = TVIF_STATE;
  it.hItem = item_;
  it.stateMask = mask;
  it.state = v ? mask : 0;
  SendMessageA(ViewWnd(owner_), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

static UINT NodeState(TTreeNodes* o, HTREEITEM h, UINT mask) {
  return TreeView_GetItemState(ViewWnd(o), h, mask) & mask;
}

void TTreeNode::SetOverlayIndex(int v) {
  overlay_ = v;
  TVITEMA it{};
  it.mask = TVIF_STATE;
  it.hItem = item_;
  it.stateMask = TVIS_OVERLAYMASK;
  it.state = v >= 0 ? INDEXTOOVERLAYMASK(static_cast<UINT>(v) + 1) : 0;
  SendMessageA(ViewWnd(owner_), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

bool TTreeNode::Cut() { return NodeState(owner_, item_, TVIS_CUT) != 0; }
void TTreeNode::SetCut(bool v) { SetState(TVIS_CUT, v); }

bool TTreeNode::HasChildren() {
  TVITEMA it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = item_;
  SendMessageA(ViewWnd(owner_), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  return it.cChildren != 0;
}

void TTreeNode::SetHasChildren(bool v) {
  TVITEMA it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = item_;
  it.cChildren = v ? 1 : 0;
  SendMessageA(ViewWnd(owner_), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

bool TTreeNode::Expanded() { return NodeState(owner_, item_, TVIS_EXPANDED) != 0; }
void TTreeNode::Expand(bool recurse) {
  TreeView_Expand(ViewWnd(owner_), item_, TVE_EXPAND);
  if (recurse)
    for (TTreeNode* c = GetFirstChild(); c; c = c->GetNextSibling()) c->Expand(true);
}
void TTreeNode::Collapse(bool recurse) {
  if (recurse)
    for (TTreeNode* c = GetFirstChild(); c; c = c->GetNextSibling()) c->Collapse(true);
  TreeView_Expand(ViewWnd(owner_), item_, TVE_COLLAPSE);
}

bool TTreeNode::Selected() { return TreeView_GetSelection(ViewWnd(owner_)) == item_; }
void TTreeNode::SetSelected(bool v) { TreeView_SelectItem(ViewWnd(owner_), v ? item_ : nullptr); }
bool TTreeNode::DropTarget() { return TreeView_GetDropHilight(ViewWnd(owner_)) == item_; }
void TTreeNode::SetDropTarget(bool v) { TreeView_SelectDropTarget(ViewWnd(owner_), v ? item_ : nullptr); }

RECT TTreeNode::DisplayRect() {
  RECT r{};
  TreeView_GetItemRect(ViewWnd(owner_), item_, &r, TRUE);
  return r;
}

bool TTreeNode::EditText() {
  return SendMessageA(ViewWnd(owner_), TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(item_)) != 0;
}

void TTreeNode::Delete() { TreeView_DeleteItem(ViewWnd(owner_), item_); }

int TTreeNode::Count() {
  int n = 0;
  for (TTreeNode* c = GetFirstChild(); c; c = c->GetNextSibling()) ++n;
  return n;
}

// ---------------------------------------------------------------- TTreeNodes

TTreeNode* TTreeNodes::Insert(TTreeNode* parent, HTREEITEM after, const std::string& text) {
  TTreeNode* n = new TTreeNode(this);
  n->text_ = text;
  TVINSERTSTRUCTA ins{};
  ins.hParent = parent ? parent->item_ : TVI_ROOT;
  ins.hInsertAfter = after;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  ins.item.pszText = const_cast<char*>(n->text_.c_str());
  ins.item.lParam = reinterpret_cast<LPARAM>(n);
  ins.item.iImage = I_IMAGECALLBACK;
  ins.item.iSelectedImage = I_IMAGECALLBACK;
  n->item_ = reinterpret_cast<HTREEITEM>(
      SendMessageA(view_->Handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
  if (!n->item_) {
    delete n;
    throw EOutOfResources("Error inserting a tree node");
  }
  ++count_;
  return n;
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) { return Insert(parent, TVI_LAST, text); }
TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* parent, const std::string& text) {
  return Insert(parent, TVI_FIRST, text);
}
TTreeNode* TTreeNodes::GetFirstNode() { return view_->NodeFromItem(TreeView_GetRoot(view_->Handle())); }

void TTreeNodes::Clear() {
  if (view_->HandleAllocated()) TreeView_DeleteAllItems(view_->Handle());
}

void TTreeNodes::BeginUpdate() {
  if (update_++ == 0 && view_->HandleAllocated()) SendMessageA(view_->Handle(), WM_SETREDRAW, FALSE, 0);
}

void TTreeNodes::EndUpdate() {
  if (--update_ == 0 && view_->HandleAllocated()) {
    SendMessageA(view_->Handle(), WM_SETREDRAW, TRUE, 0);
    view_->Invalidate();
  }
}

// ---------------------------------------------------------------- TCustomTreeView

TCustomTreeView::TCustomTreeView(TComponent* AOwner) : TWinControl(AOwner), items_(this) {
  width_ = 121;
  height_ = 97;
  TabStop = true;
  parent_color_ = false;
  color_ = clWindow;
}

TCustomTreeView::~TCustomTreeView() {
  // The nodes go with the window, each through its deletion notification.
  DestroyHandle();
  if (images_) images_->RemoveFreeNotification(this);
}

void TCustomTreeView::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = WC_TREEVIEWA;
  if (ShowButtons) p.Style |= TVS_HASBUTTONS;
  if (ShowLines) p.Style |= TVS_HASLINES;
  if (ShowRoot) p.Style |= TVS_LINESATROOT;
  if (!ReadOnly) p.Style |= TVS_EDITLABELS;
  if (!HideSelection) p.Style |= TVS_SHOWSELALWAYS;
  if (DragMode == dmManual) p.Style |= TVS_DISABLEDRAGDROP;
  if (BorderStyle == bsSingleBorder) p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomTreeView::InitWnd() {
  TWinControl::InitWnd();
  TreeView_SetBkColor(handle_, ColorToRGB(color_));
  TreeView_SetIndent(handle_, indent_);
  if (images_ && images_->Handle()) TreeView_SetImageList(handle_, images_->Handle(), TVSIL_NORMAL);
}

void TCustomTreeView::ApplyStyles() {
  if (!HandleAllocated()) return;
  // The style bits the control reads at any time; the rest need a new window,
  // which would lose the nodes, so they take effect only before creation.
  LONG_PTR s = GetWindowLongPtrA(handle_, GWL_STYLE);
  const LONG_PTR live = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS | TVS_SHOWSELALWAYS |
                        TVS_DISABLEDRAGDROP;
  TCreateParams p;
  CreateParams(p);
  s = (s & ~live) | (static_cast<LONG_PTR>(p.Style) & live);
  SetWindowLongPtrA(handle_, GWL_STYLE, s);
  InvalidateRect(handle_, nullptr, TRUE);
}

int TCustomTreeView::Indent() { return HandleAllocated() ? static_cast<int>(TreeView_GetIndent(handle_)) : indent_; }
void TCustomTreeView::SetIndent(int v) {
  indent_ = v;
  if (HandleAllocated()) TreeView_SetIndent(handle_, v);
}

void TCustomTreeView::SetImages(TCustomImageList* list) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = list;
  if (list) list->FreeNotification(this);
  if (HandleAllocated()) TreeView_SetImageList(handle_, list ? list->Handle() : nullptr, TVSIL_NORMAL);
}

void TCustomTreeView::Notification(TComponent* c, TOperation op) {
  TWinControl::Notification(c, op);
  if (op == opRemove && c == images_) {
    images_ = nullptr;
    if (HandleAllocated()) TreeView_SetImageList(handle_, nullptr, TVSIL_NORMAL);
  }
}

TTreeNode* TCustomTreeView::NodeFromItem(HTREEITEM h) {
  if (!h || !HandleAllocated()) return nullptr;
  TVITEMA it{};
  it.mask = TVIF_PARAM;
  it.hItem = h;
  if (!SendMessageA(handle_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  return reinterpret_cast<TTreeNode*>(it.lParam);
}

TTreeNode* TCustomTreeView::Selected() { return NodeFromItem(TreeView_GetSelection(Handle())); }
void TCustomTreeView::SetSelected(TTreeNode* n) { TreeView_SelectItem(Handle(), n ? n->item_ : nullptr); }
TTreeNode* TCustomTreeView::DropTarget() { return NodeFromItem(TreeView_GetDropHilight(Handle())); }
void TCustomTreeView::SetDropTarget(TTreeNode* n) { TreeView_SelectDropTarget(Handle(), n ? n->item_ : nullptr); }

TTreeNode* TCustomTreeView::GetNodeAt(int x, int y) {
  TVHITTESTINFO hi{};
  hi.pt = POINT{x, y};
  HTREEITEM h = TreeView_HitTest(Handle(), &hi);
  return (hi.flags & (TVHT_ONITEM | TVHT_ONITEMRIGHT)) ? NodeFromItem(h) : nullptr;
}

THitTests TCustomTreeView::GetHitTestInfoAt(int x, int y) {
  TVHITTESTINFO hi{};
  hi.pt = POINT{x, y};
  TreeView_HitTest(Handle(), &hi);
  THitTests r = 0;
  auto set = [&](UINT f, THitTest t) { if (hi.flags & f) r |= 1u << t; };
  set(TVHT_ABOVE, htAbove);
  set(TVHT_BELOW, htBelow);
  set(TVHT_NOWHERE, htNowhere);
  set(TVHT_ONITEMBUTTON, htOnButton);
  set(TVHT_ONITEMICON, htOnIcon);
  set(TVHT_ONITEMINDENT, htOnIndent);
  set(TVHT_ONITEMLABEL, htOnLabel);
  set(TVHT_ONITEMRIGHT, htOnRight);
  set(TVHT_ONITEMSTATEICON, htOnStateIcon);
  set(TVHT_TOLEFT, htToLeft);
  set(TVHT_TORIGHT, htToRight);
  if (hi.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON)) r |= 1u << htOnItem;
  return r;
}

bool TCustomTreeView::CustomSort(TTVCompare compare, LPARAM data, TTreeNode* parent) {
  TVSORTCB s{};
  s.hParent = parent ? parent->item_ : TVI_ROOT;
  s.lpfnCompare = compare;
  s.lParam = data;
  return TreeView_SortChildrenCB(Handle(), &s, FALSE) != 0;
}

void TCustomTreeView::GetImageIndex(TTreeNode* node) {
  if (OnGetImageIndex) OnGetImageIndex(this, node);
}
void TCustomTreeView::GetSelectedIndex(TTreeNode* node) {
  if (OnGetSelectedIndex) OnGetSelectedIndex(this, node);
}

void TCustomTreeView::GetDispInfo(NMTVDISPINFOA* info) {
  TTreeNode* n = reinterpret_cast<TTreeNode*>(info->item.lParam);
  if (!n) return;
  if (info->item.mask & TVIF_IMAGE) {
    GetImageIndex(n);
    info->item.iImage = n->ImageIndex;
  }
  if (info->item.mask & TVIF_SELECTEDIMAGE) {
    GetSelectedIndex(n);
    info->item.iSelectedImage = n->SelectedIndex;
  }
}

LRESULT TCustomTreeView::CustomDrawNotify(NMHDR*) { return CDRF_DODEFAULT; }
void TCustomTreeView::RightClick() {}
void TCustomTreeView::BeginDrag(TTreeNode*, bool) {}
void TCustomTreeView::TreeKeyDown(NMTVKEYDOWN*) {}

void TCustomTreeView::CNNotify(TMessage& m) {
  NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
  m.Result = 0;
  // The view answers both character sets: the parent decides which it gets.
  auto tv = reinterpret_cast<NMTREEVIEWA*>(m.LParam);
  auto node_new = [&]() { return reinterpret_cast<TTreeNode*>(tv->itemNew.lParam); };
  switch (h->code) {
    case NM_CUSTOMDRAW:
      m.Result = CustomDrawNotify(h);
      break;
    case NM_RCLICK:
      RightClick();
      break;
    case TVN_BEGINDRAGA:
    case TVN_BEGINDRAGW:
      BeginDrag(node_new(), false);
      break;
    case TVN_BEGINRDRAGA:
    case TVN_BEGINRDRAGW:
      BeginDrag(node_new(), true);
      break;
    case TVN_GETDISPINFOA:
    case TVN_GETDISPINFOW:
      GetDispInfo(reinterpret_cast<NMTVDISPINFOA*>(m.LParam));
      break;
    case TVN_KEYDOWN:
      TreeKeyDown(reinterpret_cast<NMTVKEYDOWN*>(m.LParam));
      break;
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGINGW: {
      bool allow = true;
      if (OnChanging) OnChanging(this, node_new(), allow);
      m.Result = allow ? FALSE : TRUE;
      break;
    }
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
      if (OnChange) OnChange(this, node_new());
      break;
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
      bool allow = true;
      if (tv->action & TVE_EXPAND) {
        if (OnExpanding) OnExpanding(this, node_new(), allow);
      } else if (tv->action & TVE_COLLAPSE) {
        if (OnCollapsing) OnCollapsing(this, node_new(), allow);
      }
      m.Result = allow ? FALSE : TRUE;
      break;
    }
    case TVN_ITEMEXPANDEDA:
    case TVN_ITEMEXPANDEDW:
      if ((tv->action & TVE_EXPAND) && OnExpanded) OnExpanded(this, node_new());
      break;
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW: {
      TTreeNode* n = reinterpret_cast<TTreeNode*>(tv->itemOld.lParam);
      if (!n) break;
      if (OnDeletion) OnDeletion(this, n);
      --items_.count_;
      delete n;
      break;
    }
    case TVN_BEGINLABELEDITA:
    case TVN_BEGINLABELEDITW: {
      auto d = reinterpret_cast<NMTVDISPINFOA*>(m.LParam);
      bool allow = !ReadOnly;
      if (allow && OnEditing) OnEditing(this, reinterpret_cast<TTreeNode*>(d->item.lParam), allow);
      m.Result = allow ? FALSE : TRUE;
      break;
    }
    case TVN_ENDLABELEDITA:
    case TVN_ENDLABELEDITW: {
      auto d = reinterpret_cast<NMTVDISPINFOA*>(m.LParam);
      TTreeNode* n = reinterpret_cast<TTreeNode*>(d->item.lParam);
      if (!n || !d->item.pszText) break;  // cancelled
      std::string s = h->code == TVN_ENDLABELEDITA ? std::string(d->item.pszText)
                                                : WideToAnsi(reinterpret_cast<const wchar_t*>(d->item.pszText));
      if (OnEdited) OnEdited(this, n, s);
      n->SetText(s);
      m.Result = FALSE;  // our own SetText has stored the text
      break;
    }
    default:
      break;
  }
}

TCustomTreeView::ScrollState TCustomTreeView::ReadScrollState() {
  ScrollState s;
  LONG style = GetWindowLongA(handle_, GWL_STYLE);
  s.vbar = (style & WS_VSCROLL) != 0;
  s.hbar = (style & WS_HSCROLL) != 0;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  if (s.vbar && GetScrollInfo(handle_, SB_VERT, &si)) s.vpos = si.nPos;
  si.nPos = 0;
  if (s.hbar && GetScrollInfo(handle_, SB_HORZ, &si)) s.hpos = si.nPos;
  return s;
}

void TCustomTreeView::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY) {
    CNNotify(m);
  } else {
    TWinControl::WndProc(m);
  }
  // The control scrolls itself on many messages (keys, expanding, making a
  // node visible) without telling its parent: compare after each one.
  if (!OnScroll || !handle_ || scroll_checking_ || (ComponentState() & csDestroying) || m.Msg == WM_DESTROY ||
      m.Msg == WM_NCDESTROY)
    return;
  ++scroll_checking_;
  ScrollState now = ReadScrollState();
  bool changed = now != scroll_seen_;
  scroll_seen_ = now;
  --scroll_checking_;
  if (changed) OnScroll(this);
}
