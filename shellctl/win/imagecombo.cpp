#include "imagecombo.h"

#include <cstdlib>

#include "imagecombolayout.h"

// ---------------------------------------------------------------- TPTCustomCombobox

void TPTCustomCombobox::DeleteItem(TObject* item) {
  if (OnDeleteItem) OnDeleteItem(this, item);
}

void TPTCustomCombobox::CloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TPTCustomCombobox::SelEndCancel() {
  if (OnSelEndCancel) OnSelEndCancel(this);
}

void TPTCustomCombobox::SelEndOk() {
  if (OnSelEndOk) OnSelEndOk(this);
}

void TPTCustomCombobox::DeleteItem(int index, TObject* data) {
  DeleteItem(data);
  TCustomComboBox::DeleteItem(index, data);
  // The entry must not point at an object its handler may have freed.
  if (HandleAllocated() && index >= 0 && index < static_cast<int>(SendMessageA(handle_, CB_GETCOUNT, 0, 0)))
    SendMessageA(handle_, CB_SETITEMDATA, static_cast<WPARAM>(index), 0);
}

// ---------------------------------------------------------------- TPTCustomImageCombo

TPTCustomImageCombo::TPTCustomImageCombo(TComponent* AOwner) : TPTCustomCombobox(AOwner) {
  style_ = csOwnerDrawFixed;
  UpdateItemHeight();
}

TPTCustomImageCombo::~TPTCustomImageCombo() {
  DestroyEntries();
  if (images_) images_->RemoveFreeNotification(this);
}

void TPTCustomImageCombo::UpdateItemHeight() {
  if (!auto_item_height_) return;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, Font().Handle());
  SIZE s{0, 0};
  GetTextExtentPoint32A(dc, "Wg", 2, &s);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  int h = std::abs(static_cast<int>(s.cy)) + 2;
  if (images_ && images_->Height() > h) h = images_->Height();
  SetItemHeight(h);
}

TPTImageComboItem* TPTCustomImageCombo::AddItem(const std::string& caption, int imageIndex, int indent) {
  auto* item = new TPTImageComboItem;
  item->Combo = this;
  item->Caption = caption;
  item->ImageIndex = imageIndex;
  item->Indent = indent;
  try {
    item->Index = Items().AddObject("", item);
  } catch (...) {
    delete item;
    throw;
  }
  return item;
}

TPTImageComboItem* TPTCustomImageCombo::Item(int i) {
  TObject* o = Items().Objects(i);
  auto* item = dynamic_cast<TPTImageComboItem*>(o);
  if (!item) throw EInvalidCast("Invalid class typecast");
  return item;
}

void TPTCustomImageCombo::SetOverlay(TPTImageComboItem* item, int overlay) {
  item->OverlayIndex = overlay;
  Invalidate();
}

void TPTCustomImageCombo::SetImages(TCustomImageList* list) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = list;
  Invalidate();
  if (list) list->FreeNotification(this);
  if (!(ComponentState() & csLoading)) UpdateItemHeight();
}

void TPTCustomImageCombo::SetIndentPixels(int v) {
  if (v == indent_pixels_) return;
  indent_pixels_ = v;
  Invalidate();
}

void TPTCustomImageCombo::SetItemHeight(int v) {
  if (v == item_height_ || !OwnerDrawn() || !HandleAllocated()) {
    item_height_ = v;
    return;
  }
  TCustomComboBox::SetItemHeight(v);
}

void TPTCustomImageCombo::Notification(TComponent* c, TOperation op) {
  TPTCustomCombobox::Notification(c, op);
  if (op == opRemove && c == images_) {
    images_ = nullptr;
    Invalidate();
  }
}

void TPTCustomImageCombo::InitWnd() {
  TPTCustomCombobox::InitWnd();
  SetExtendedUI(true);
}

void TPTCustomImageCombo::FontChanged() {
  TPTCustomCombobox::FontChanged();
  UpdateItemHeight();
}

void TPTCustomImageCombo::DeleteItem(TObject* item) {
  auto* it = dynamic_cast<TPTImageComboItem*>(item);
  if (it && OnDeleteItem) OnDeleteItem(this, it);
  delete it;
}

void TPTCustomImageCombo::WndProc(TMessage& m) {
  if (m.Msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(handle_, &r);
    HBRUSH b = CreateSolidBrush(ColorToRGB(clWindow));
    ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, b);
    DeleteObject(b);
    m.Result = 1;
    return;
  }
  TPTCustomCombobox::WndProc(m);
}

void TPTCustomImageCombo::DrawItem(int index, const RECT& rect, TOwnerDrawState state) {
  if (OnDrawItem) {
    TPTCustomCombobox::DrawItem(index, rect, state);
    return;
  }
  TCanvas& c = Canvas();
  bool selected = (state & (1u << odSelected)) != 0;
  TPTImageComboItem* item = nullptr;
  if (index >= 0 && index < Items().Count()) item = dynamic_cast<TPTImageComboItem*>(Items().Objects(index));
  // The combo's own face shows every entry flush left.
  bool face = (state & (1u << odComboBoxEdit)) || WindowFromDC(c.Handle()) == handle_;
  int indent = (face || !item) ? 0 : item->Indent;

  c.Brush().SetColor(clWindow);
  c.FillRect(rect);
  if (!item) return;
  int text_width = item->Caption.empty() ? 0 : c.TextWidth(item->Caption);
  TPTImageComboEntryLayout l =
      ImageComboEntryLayout(rect.left, rect.top, rect.bottom, indent, indent_pixels_, images_ != nullptr,
                            images_ ? images_->Width() : 0, images_ ? images_->Height() : 0, text_width);
  if (images_) {
    TColor blend = images_->BlendColor;
    if (selected) {
      c.Brush().SetColor(clHighlight);
      images_->BlendColor = clHighlight;
    }
    images_->Draw(c, l.IconX, l.IconY, item->ImageIndex, selected ? dsSelected : dsNormal,
                  item->OverlayIndex >= 0 ? item->OverlayIndex : -1);
    images_->BlendColor = blend;
  }
  if (selected) c.Brush().SetColor(clHighlight);
  if (!item->Caption.empty()) {
    RECT tr{l.TextLeft, rect.top, l.TextRight, rect.bottom};
    c.TextRect(tr, l.CaptionX, l.CaptionY, item->Caption);
  }
}
