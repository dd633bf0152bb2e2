// A combo box with the extra notifications as events, and the owner-drawn
// combo whose entries carry an icon, an overlay and an indentation level.
//
// The entries of the image combo and their items survive every re-creation
// of the window (a new item height, font or image list); only the final
// destruction frees the items, each through DeleteItem.
#pragma once

#include <functional>
#include <string>

#include "win/imagelist.h"
#include "win/stdctrls.h"

// A cast to an entry's item that does not hold.
MORVANE_EXCEPTION(EInvalidCast, Exception);

using TPTComboDeleteItemEvent = std::function<void(TObject* Sender, TObject* Item)>;

class TPTCustomCombobox : public TCustomComboBox {
 public:
  explicit TPTCustomCombobox(TComponent* AOwner) : TCustomComboBox(AOwner) {}
  ~TPTCustomCombobox() override { DestroyEntries(); }
  TPTComboDeleteItemEvent OnDeleteItem;
  TNotifyEvent OnCloseUp, OnSelEndCancel, OnSelEndOk;

 protected:
  using TCustomComboBox::DeleteItem;
  virtual void DeleteItem(TObject* item);
  void CloseUp() override;
  void SelEndCancel() override;
  void SelEndOk() override;
  void DeleteItem(int index, TObject* data) override;
};

class TPTCombobox : public TPTCustomCombobox {
 public:
  using TPTCustomCombobox::TPTCustomCombobox;
};

class TPTCustomImageCombo;

class TPTImageComboItem : public TObject {
 public:
  TPTCustomImageCombo* Combo = nullptr;
  int Index = 0;
  int Indent = 0;
  int ImageIndex = 0;
  int OverlayIndex = -1;
  std::string Caption;
  void* Data = nullptr;
};

using TPTDeleteImageComboItemEvent = std::function<void(TObject* aSender, TPTImageComboItem* aItem)>;

class TPTCustomImageCombo : public TPTCustomCombobox {
 public:
  explicit TPTCustomImageCombo(TComponent* AOwner);
  ~TPTCustomImageCombo() override;

  virtual void UpdateItemHeight();
  virtual TPTImageComboItem* AddItem(const std::string& caption, int imageIndex, int indent);
  // The item of entry i; raises EInvalidCast when its object is not one.
  TPTImageComboItem* Item(int i);
  void SetOverlay(TPTImageComboItem* item, int overlay);

  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* list);
  int IndentPixels() const { return indent_pixels_; }
  void SetIndentPixels(int v);
  // A new value for an owner-drawn combo makes a new window; its entries
  // stay.
  void SetItemHeight(int v) override;

  TPTDeleteImageComboItemEvent OnDeleteItem;

 protected:
  void InitWnd() override;
  void WndProc(TMessage& m) override;
  void FontChanged() override;
  void Notification(TComponent* c, TOperation op) override;
  using TPTCustomCombobox::DeleteItem;
  void DeleteItem(TObject* item) override;
  void DrawItem(int index, const RECT& rect, TOwnerDrawState state) override;

  TCustomImageList* images_ = nullptr;
  int indent_pixels_ = 12;
  bool auto_item_height_ = true;
};

class TPTImageCombo : public TPTCustomImageCombo {
 public:
  using TPTCustomImageCombo::TPTCustomImageCombo;
};
