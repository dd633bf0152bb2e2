// Pop-up menus.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "classes.h"

class TControl;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  std::string Caption;  // "-" is a separator
  // The longer text a status line shows for the item.
  std::string Hint;
  bool Checked = false;
  bool Enabled = true;
  bool Visible = true;
  bool RadioItem = false;
  TNotifyEvent OnClick;

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int i) const { return items_[static_cast<size_t>(i)]; }
  TMenuItem* Parent() const { return parent_; }
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  int IndexOf(const TMenuItem* item) const;
  // Frees the sub-items.
  void Clear();
  virtual void Click();

 private:
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  friend class TPopupMenu;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;
  TMenuItem& Items() { return *items_; }
  // Shows the menu at a screen position and runs the chosen item's Click
  // before returning.
  void Popup(int x, int y);
  // The control whose context menu this was.
  TControl* PopupComponent = nullptr;
  // Where Popup last showed the menu (screen coordinates).
  POINT PopupPoint{0, 0};
  // Whether a right click (the context-menu message) on a control shows this
  // menu by itself; a control that shows a menu of its own switches it off.
  bool AutoPopup = true;
  // Runs before the menu is built, so that items can be ticked or hidden.
  TNotifyEvent OnPopup;
  // Chooses an item instead of showing the menu (tests); nullptr shows it.
  static TMenuItem* (*ChooseHook)(TPopupMenu* menu);

 private:
  HMENU Build(TMenuItem* item, std::vector<TMenuItem*>& ids);
  TMenuItem* items_;
};
