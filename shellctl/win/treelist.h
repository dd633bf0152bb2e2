// The tree and list view bases of the shell tree and the shell list: the
// common controls' custom-draw protocol with a font and colours per item,
// context menus from the mouse and the keyboard with a hook that chooses the
// menu per item, and hooks for image indexes and inserted items.
//
// The class library pops a control's PopupMenu up on the context-menu
// message; after a view has shown a menu itself, the context-menu message
// that follows the same click or key is handled with that menu held back,
// so that only one menu shows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>

#include "win/listview.h"
#include "win/menus.h"
#include "win/treeview.h"

// One custom-draw notification: what a handler changed, applied to the
// notification's record and result.
class TPTCustomDraw : public TObject {
 public:
  explicit TPTCustomDraw(TFont* controlFont) : control_font_(controlFont) {}
  ~TPTCustomDraw() override;
  virtual void Init(NMCUSTOMDRAW* record, LRESULT* result);
  // A copy of the control's font with the device context's text colour,
  // made on first use.
  virtual TFont& Font();
  // A solid brush with the device context's background colour, made on
  // first use.
  virtual TBrush& Brush();
  virtual void Apply() = 0;
  // 1 prepaint, 2 postpaint, 4 item prepaint, 5 item postpaint, 0 other.
  int DrawStage() const;
  NMCUSTOMDRAW* Record() const { return record_; }
  bool FontChanged() const { return font_changed_; }
  bool BrushChanged() const { return brush_changed_; }

 protected:
  // The record's own text and background colours (the tree's and the
  // list's records keep them in different places).
  virtual void SetColors(COLORREF text, bool setText, COLORREF back, bool setBack) = 0;
  void ApplyCommon();
  void FreeObjects();

  // The fields in the order the derived views expect them.
  TFont* control_font_;
  TFont* font_ = nullptr;
  bool font_changed_ = false;
  TBrush* brush_ = nullptr;
  bool brush_changed_ = false;

 public:
  bool RequestItemNotifications = false;
  bool SkipDefault = false;

 protected:
  NMCUSTOMDRAW* record_ = nullptr;
  LRESULT* result_ = nullptr;
  bool handled_ = false;
};

class TPTTvCustomDraw : public TPTCustomDraw {
 public:
  using TPTCustomDraw::TPTCustomDraw;
  void Apply() override { ApplyCommon(); }

 protected:
  void SetColors(COLORREF text, bool setText, COLORREF back, bool setBack) override;
};

class TPTLvCustomDraw : public TPTCustomDraw {
 public:
  using TPTCustomDraw::TPTCustomDraw;
  void Apply() override { ApplyCommon(); }

 protected:
  void SetColors(COLORREF text, bool setText, COLORREF back, bool setBack) override;
};

using TPTTvCustomDrawEvent = std::function<void(TObject* Sender, TPTCustomDraw* CD, TTreeNode* Node)>;
using TPTTvGetPopupMenuEvent =
    std::function<void(TObject* Sender, TTreeNode* Node, POINT Point, TPopupMenu*& Menu)>;
using TPTLvCustomDrawEvent = std::function<void(TObject* Sender, TPTCustomDraw* CD, TListItem* Item)>;
using TPTLvGetPopupMenuEvent =
    std::function<void(TObject* Sender, TListItem* Item, POINT Point, TPopupMenu*& Menu)>;
using TPTLvItemInsertedEvent = std::function<void(TObject* Sender, TListItem* Item)>;

class TPTCustomTreeView : public TCustomTreeView {
 public:
  explicit TPTCustomTreeView(TComponent* AOwner) : TCustomTreeView(AOwner) {}
  ~TPTCustomTreeView() override;

  // Called at every stage / only at the item prepaint stage.
  TPTTvCustomDrawEvent OnCustomDrawEx, OnCustomDraw;
  TPTTvGetPopupMenuEvent OnGetPopupMenu;

  void WndProc(TMessage& m) override;

 protected:
  virtual TPTCustomDraw* CreateCustomDraw(NMCUSTOMDRAW* record, LRESULT* result);
  virtual void CustomDraw(NMCUSTOMDRAW* record, LRESULT& result);
  virtual void ExtraHook() {}
  virtual void KeyboardContextMenu();
  virtual void ContextMenuAt(TTreeNode* node, POINT point);
  void GetImageIndex(TTreeNode* node) override;
  void GetSelectedIndex(TTreeNode* node) override;
  virtual void GetPopupMenu(TTreeNode* node, POINT point, TPopupMenu*& menu);

  LRESULT CustomDrawNotify(NMHDR* h) override;
  void GetDispInfo(NMTVDISPINFOA* info) override;
  void RightClick() override;
  void KeyDown(WORD& key, TShiftState shift) override;

  bool menu_replaced_ = false;
  std::unique_ptr<TPTCustomDraw> custom_draw_;
};

class TPTCustomListView : public TCustomListView {
 public:
  explicit TPTCustomListView(TComponent* AOwner) : TCustomListView(AOwner) {}
  ~TPTCustomListView() override;

  TPTLvCustomDrawEvent OnCustomDrawEx, OnCustomDraw;
  TPTLvGetPopupMenuEvent OnGetPopupMenu;
  TPTLvItemInsertedEvent OnItemInserted;
  // Set by both begin-drag notifications.
  bool DragStarted = false;

  void WndProc(TMessage& m) override;

 protected:
  virtual TPTCustomDraw* CreateCustomDraw(NMCUSTOMDRAW* record, LRESULT* result);
  virtual void CustomDraw(NMCUSTOMDRAW* record, LRESULT& result);
  virtual void KeyboardContextMenu();
  virtual void ContextMenuAt(POINT point);
  virtual void GetPopupMenu(TListItem* item, POINT point, TPopupMenu*& menu);
  virtual void ItemInserted(TListItem* item);

  void InitWnd() override;
  LRESULT CustomDrawNotify(NMHDR* h) override;
  void RightClick() override;
  void BeginDrag(TListItem* item, bool right) override;
  void InsertItem(TListItem* item) override;
  void KeyDown(WORD& key, TShiftState shift) override;

  bool menu_replaced_ = false;
  std::unique_ptr<TPTCustomDraw> custom_draw_;
};
