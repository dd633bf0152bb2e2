#include "treelist.h"

#include <windowsx.h>

// ---------------------------------------------------------------- TPTCustomDraw

TPTCustomDraw::~TPTCustomDraw() { FreeObjects(); }

void TPTCustomDraw::FreeObjects() {
  delete font_;
  font_ = nullptr;
  delete brush_;
  brush_ = nullptr;
  font_changed_ = brush_changed_ = false;
}

void TPTCustomDraw::Init(NMCUSTOMDRAW* record, LRESULT* result) {
  record_ = record;
  result_ = result;
  handled_ = false;
  FreeObjects();
}

TFont& TPTCustomDraw::Font() {
  if (!font_) {
    font_ = new TFont;
    if (control_font_) font_->Assign(*control_font_);
    if (record_ && record_->hdc) font_->SetColor(GetTextColor(record_->hdc));
    font_->OnChange = [this](TObject*) { font_changed_ = true; };
  }
  return *font_;
}

TBrush& TPTCustomDraw::Brush() {
  if (!brush_) {
    brush_ = new TBrush;
    if (record_ && record_->hdc) brush_->SetColor(GetBkColor(record_->hdc));
    brush_->OnChange = [this](TObject*) { brush_changed_ = true; };
  }
  return *brush_;
}

int TPTCustomDraw::DrawStage() const {
  if (!record_) return 0;
  switch (record_->dwDrawStage) {
    case CDDS_PREPAINT: return 1;
    case CDDS_POSTPAINT: return 2;
    case CDDS_ITEMPREPAINT: return 4;
    case CDDS_ITEMPOSTPAINT: return 5;
    default: return 0;
  }
}

void TPTCustomDraw::ApplyCommon() {
  if (!record_ || !result_) return;
  if (!handled_) *result_ = CDRF_DODEFAULT;
  handled_ = true;
  switch (DrawStage()) {
    case 1:
      if (RequestItemNotifications) *result_ |= CDRF_NOTIFYITEMDRAW;
      break;
    case 4: {
      if (SkipDefault) {
        *result_ |= CDRF_SKIPDEFAULT;
        break;
      }
      COLORREF text = 0, back = 0;
      if (font_changed_ && font_) {
        HFONT f = font_->Handle();
        if (GetCurrentObject(record_->hdc, OBJ_FONT) != f) SelectObject(record_->hdc, f);
        *result_ |= CDRF_NEWFONT;
        text = ColorToRGB(font_->Color());
      }
      if (brush_changed_ && brush_) back = ColorToRGB(brush_->Color());
      SetColors(text, font_changed_ && font_, back, brush_changed_ && brush_);
      break;
    }
    default:
      break;
  }
}

void TPTTvCustomDraw::SetColors(COLORREF text, bool setText, COLORREF back, bool setBack) {
  auto* r = reinterpret_cast<NMTVCUSTOMDRAW*>(record_);
  if (setText) r->clrText = text;
  if (setBack) r->clrTextBk = back;
}

void TPTLvCustomDraw::SetColors(COLORREF text, bool setText, COLORREF back, bool setBack) {
  auto* r = reinterpret_cast<NMLVCUSTOMDRAW*>(record_);
  if (setText) r->clrText = text;
  if (setBack) r->clrTextBk = back;
}

namespace {

bool Designing(TComponent* c) { return (c->ComponentState() & csDesigning) != 0; }

bool IsContextMenuKey(WORD key, TShiftState shift) {
  return (key == VK_APPS && (shift & (ssShift | ssAlt | ssCtrl)) == 0) ||
         (key == VK_F10 && (shift & (ssShift | ssAlt | ssCtrl)) == ssShift);
}

POINT CursorIn(TControl* c) {
  POINT p;
  GetCursorPos(&p);
  return c->ScreenToClient(p);
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

void ShowMenu(TControl* c, TPopupMenu* menu, POINT client) {
  POINT s = c->ClientToScreen(client);
  menu->PopupComponent = c;
  menu->Popup(s.x, s.y);
}

}  // namespace

// ---------------------------------------------------------------- TPTCustomTreeView

TPTCustomTreeView::~TPTCustomTreeView() = default;

TPTCustomDraw* TPTCustomTreeView::CreateCustomDraw(NMCUSTOMDRAW* record, LRESULT* result) {
  auto* cd = new TPTTvCustomDraw(&Font());
  cd->Init(record, result);
  cd->RequestItemNotifications = true;
  return cd;
}

void TPTCustomTreeView::CustomDraw(NMCUSTOMDRAW* record, LRESULT& result) {
  bool item_stage = (record->dwDrawStage & CDDS_ITEM) != 0;
  TTreeNode* node = item_stage ? reinterpret_cast<TTreeNode*>(record->lItemlParam) : nullptr;
  auto made = [&]() {
    if (!custom_draw_) custom_draw_.reset(CreateCustomDraw(record, &result));
    return custom_draw_.get();
  };
  // Item notifications come only when the prepaint stage asks for them.
  if (record->dwDrawStage == CDDS_PREPAINT && (OnCustomDrawEx || OnCustomDraw)) made();
  if (OnCustomDrawEx) OnCustomDrawEx(this, made(), node);
  if (OnCustomDraw && record->dwDrawStage == CDDS_ITEMPREPAINT) OnCustomDraw(this, made(), node);
  if (custom_draw_) custom_draw_->Apply();
}

LRESULT TPTCustomTreeView::CustomDrawNotify(NMHDR* h) {
  if (Designing(this)) return TCustomTreeView::CustomDrawNotify(h);
  custom_draw_.reset();
  LRESULT result = CDRF_DODEFAULT;
  CustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(h), result);
  return result;
}

void TPTCustomTreeView::GetImageIndex(TTreeNode* node) {
  if (OnGetImageIndex) OnGetImageIndex(this, node);
}

void TPTCustomTreeView::GetSelectedIndex(TTreeNode* node) {
  if (OnGetSelectedIndex) OnGetSelectedIndex(this, node);
}

void TPTCustomTreeView::GetDispInfo(NMTVDISPINFOA* info) {
  TTreeNode* n = reinterpret_cast<TTreeNode*>(info->item.lParam);
  UINT images = info->item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE);
  if (n) {
    if (images & TVIF_IMAGE) {
      GetImageIndex(n);
      info->item.iImage = n->ImageIndex;
    }
    if (images & TVIF_SELECTEDIMAGE) {
      GetSelectedIndex(n);
      info->item.iSelectedImage = n->SelectedIndex;
    }
  }
  // The library's own handling, without the images it would ask for again.
  info->item.mask &= ~images;
  TCustomTreeView::GetDispInfo(info);
  info->item.mask |= images;
}

void TPTCustomTreeView::GetPopupMenu(TTreeNode* node, POINT point, TPopupMenu*& menu) {
  if (OnGetPopupMenu) OnGetPopupMenu(this, node, point, menu);
}

void TPTCustomTreeView::ContextMenuAt(TTreeNode* node, POINT point) {
  TPopupMenu* menu = PopupMenu;
  GetPopupMenu(node, point, menu);
  if (menu) ShowMenu(this, menu, point);
  // The context-menu message of the same click must not show the
  // PopupMenu again, replaced or not.
  menu_replaced_ = true;
}

void TPTCustomTreeView::RightClick() {
  if (Designing(this)) return;
  POINT p = CursorIn(this);
  if (TTreeNode* node = GetNodeAt(p.x, p.y))
    ContextMenuAt(node, p);
  else
    menu_replaced_ = true;  // empty space: no menu at all
}

void TPTCustomTreeView::KeyboardContextMenu() {
  if (TTreeNode* n = Selected()) {
    ContextMenuAt(n, Centre(n->DisplayRect()));
  } else if (PopupMenu) {
    ShowMenu(this, PopupMenu, POINT{0, 0});
    menu_replaced_ = true;
  }
}

void TPTCustomTreeView::KeyDown(WORD& key, TShiftState shift) {
  if (!Designing(this) && IsContextMenuKey(key, shift)) {
    key = 0;
    KeyboardContextMenu();
    return;
  }
  TCustomTreeView::KeyDown(key, shift);
}

void TPTCustomTreeView::WndProc(TMessage& m) {
  if (m.Msg == WM_CONTEXTMENU && menu_replaced_) {
    menu_replaced_ = false;
    if (PopupMenu) {
      bool was = PopupMenu->AutoPopup;
      PopupMenu->AutoPopup = false;
      TCustomTreeView::WndProc(m);
      if (PopupMenu) PopupMenu->AutoPopup = was;
    }
    return;
  }
  if (m.Msg == WM_RBUTTONDOWN) menu_replaced_ = false;
  TCustomTreeView::WndProc(m);
}

// ---------------------------------------------------------------- TPTCustomListView

TPTCustomListView::~TPTCustomListView() = default;

TPTCustomDraw* TPTCustomListView::CreateCustomDraw(NMCUSTOMDRAW* record, LRESULT* result) {
  auto* cd = new TPTLvCustomDraw(&Font());
  cd->Init(record, result);
  cd->RequestItemNotifications = true;
  return cd;
}

void TPTCustomListView::CustomDraw(NMCUSTOMDRAW* record, LRESULT& result) {
  bool item_stage = (record->dwDrawStage & CDDS_ITEM) != 0;
  TListItem* item = item_stage ? reinterpret_cast<TListItem*>(record->lItemlParam) : nullptr;
  if (item_stage && !item) item = ItemFromIndex(static_cast<int>(record->dwItemSpec));
  auto made = [&]() {
    if (!custom_draw_) custom_draw_.reset(CreateCustomDraw(record, &result));
    return custom_draw_.get();
  };
  if (record->dwDrawStage == CDDS_PREPAINT) made();
  if (OnCustomDrawEx) OnCustomDrawEx(this, made(), item);
  if (OnCustomDraw && record->dwDrawStage == CDDS_ITEMPREPAINT) OnCustomDraw(this, made(), item);
  if (custom_draw_) custom_draw_->Apply();
}

LRESULT TPTCustomListView::CustomDrawNotify(NMHDR* h) {
  if (Designing(this)) return TCustomListView::CustomDrawNotify(h);
  custom_draw_.reset();
  LRESULT result = CDRF_DODEFAULT;
  CustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(h), result);
  return result;
}

void TPTCustomListView::InitWnd() {
  TCustomListView::InitWnd();
  ListView_SetTextBkColor(handle_, ColorToRGB(Color()));
  ListView_SetBkColor(handle_, ColorToRGB(Color()));
}

void TPTCustomListView::GetPopupMenu(TListItem* item, POINT point, TPopupMenu*& menu) {
  if (OnGetPopupMenu) OnGetPopupMenu(this, item, point, menu);
}

void TPTCustomListView::ContextMenuAt(POINT point) {
  TPopupMenu* menu = PopupMenu;
  GetPopupMenu(GetItemAt(point.x, point.y), point, menu);
  if (menu) ShowMenu(this, menu, point);
  menu_replaced_ = true;
}

void TPTCustomListView::RightClick() {
  if (Designing(this)) return;
  ContextMenuAt(CursorIn(this));
}

void TPTCustomListView::KeyboardContextMenu() {
  TListItem* item = ItemFocused();
  if (ViewStyle() != vsReport && Selected()) item = Selected();
  if (item) {
    ContextMenuAt(Centre(item->DisplayRect(drLabel)));
  } else if (PopupMenu) {
    ShowMenu(this, PopupMenu, CursorIn(this));
    menu_replaced_ = true;
  }
}

void TPTCustomListView::KeyDown(WORD& key, TShiftState shift) {
  if (!Designing(this) && IsContextMenuKey(key, shift)) {
    key = 0;
    KeyboardContextMenu();
    return;
  }
  TCustomListView::KeyDown(key, shift);
}

void TPTCustomListView::BeginDrag(TListItem* item, bool right) {
  DragStarted = true;
  TCustomListView::BeginDrag(item, right);
}

void TPTCustomListView::InsertItem(TListItem* item) {
  TCustomListView::InsertItem(item);
  ItemInserted(item);
}

void TPTCustomListView::ItemInserted(TListItem* item) {
  if (OnItemInserted) OnItemInserted(this, item);
}

void TPTCustomListView::WndProc(TMessage& m) {
  if (m.Msg == WM_CONTEXTMENU && menu_replaced_) {
    menu_replaced_ = false;
    TPopupMenu* menu = PopupMenu;
    PopupMenu = nullptr;
    TCustomListView::WndProc(m);
    PopupMenu = menu;
    return;
  }
  if (m.Msg == WM_RBUTTONDOWN) menu_replaced_ = false;
  TCustomListView::WndProc(m);
}
