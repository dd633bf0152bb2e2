#include "menus.h"

#include <algorithm>

#include "forms.h"

TMenuItem* (*TPopupMenu::ChooseHook)(TPopupMenu*) = nullptr;

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  Clear();
  if (parent_) parent_->Remove(this);
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) return;
  if (item->parent_) item->parent_->Remove(item);
  index = std::max(0, std::min(index, Count()));
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  if (item->parent_ == this) item->parent_ = nullptr;
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Clear() {
  while (!items_.empty()) {
    TMenuItem* i = items_.back();
    items_.pop_back();
    i->parent_ = nullptr;
    // Items owned by a component are that owner's to free.
    if (!i->Owner()) delete i;
  }
}

void TMenuItem::Click() {
  if (Enabled && OnClick) OnClick(this);
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), items_(new TMenuItem(nullptr)) {}

TPopupMenu::~TPopupMenu() { delete items_; }

HMENU TPopupMenu::Build(TMenuItem* item, std::vector<TMenuItem*>& ids) {
  HMENU menu = CreatePopupMenu();
  for (int i = 0; i < item->Count(); ++i) {
    TMenuItem* it = item->Items(i);
    if (!it->Visible) continue;
    if (it->Caption == "-") {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING | (it->Checked ? MF_CHECKED : 0) | (it->Enabled ? 0 : MF_GRAYED);
    if (it->Count() > 0) {
      AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(Build(it, ids)), it->Caption.c_str());
    } else {
      ids.push_back(it);
      AppendMenuA(menu, flags, ids.size(), it->Caption.c_str());
    }
  }
  return menu;
}

void TPopupMenu::Popup(int x, int y) {
  PopupPoint = POINT{x, y};
  if (OnPopup) OnPopup(this);
  TMenuItem* chosen = nullptr;
  if (ChooseHook) {
    chosen = ChooseHook(this);
  } else {
    std::vector<TMenuItem*> ids;
    HMENU menu = Build(items_, ids);
    HWND owner = Application->Handle();
    SetForegroundWindow(owner);
    UINT cmd = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr));
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (cmd >= 1 && cmd <= ids.size()) chosen = ids[cmd - 1];
  }
  if (chosen) chosen->Click();
}
