// The list view over the system's list-view control.
//
// For derived views: every item is inserted with its text and image asked
// for on demand, so what the screen shows comes from GetDispInfo (by default
// Caption, SubItems and ImageIndex); a view that answers from its own data
// overrides it. LVN_INSERTITEM reaches InsertItem while Items().Add is still
// running, with the item object already made; LVN_DELETEITEM reaches
// Delete for every item, also when the window is destroyed, before the
// object is freed.
#pragma once

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "controls.h"
#include "imagelist.h"
#include "treeview.h"

class TCustomListView;
class TListItems;

enum TDisplayCode { drBounds, drIcon, drLabel, drSelectBounds };
enum TItemState { isNone, isCut, isDropHilited, isFocused, isSelected };
using TItemStates = unsigned;  // bits 1 << TItemState
enum TSearchDirection { sdLeft, sdRight, sdAbove, sdBelow, sdAll };
enum TItemChange { ctText, ctImage, ctState };
enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

class TListItem {
 public:
  explicit TListItem(TListItems* owner) : owner_(owner) {}
  TListItems* Owner() const { return owner_; }
  TCustomListView* ListView() const;
  // The item's current position (sorting moves it); -1 once removed.
  int Index() const;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& s);
  // Column texts after the caption; call Update after changing them.
  TStringList SubItems;
  void* Data = nullptr;
  int ImageIndex() const { return image_; }
  void SetImageIndex(int v);
  int OverlayIndex() const { return overlay_; }
  void SetOverlayIndex(int v);
  int StateIndex() const { return state_index_; }
  void SetStateIndex(int v);
  bool Cut() const { return State(LVIS_CUT); }
  void SetCut(bool v) { SetState(LVIS_CUT, v); }
  bool Selected() const { return State(LVIS_SELECTED); }
  void SetSelected(bool v) { SetState(LVIS_SELECTED, v); }
  bool Focused() const { return State(LVIS_FOCUSED); }
  void SetFocused(bool v) { SetState(LVIS_FOCUSED, v); }
  bool DropTarget() const { return State(LVIS_DROPHILITED); }
  void SetDropTarget(bool v) { SetState(LVIS_DROPHILITED, v); }
  // Starts label editing; false when the view refused it.
  bool EditCaption();
  RECT DisplayRect(TDisplayCode code) const;
  void MakeVisible(bool partialOK);
  // Redraws the item (its texts and image are asked for again).
  void Update();
  void Delete();

 private:
  bool State(UINT mask) const;
  void SetState(UINT mask, bool v);
  TListItems* owner_;
  std::string caption_;
  int image_ = -1, overlay_ = -1, state_index_ = -1;
  // Where the item was last seen: asking the view whether it is still
  // there is one message, where searching for it walks the whole list (and
  // a loop over the items would walk it once per item).
  mutable int index_hint_ = -1;
  friend class TListItems;
  friend class TCustomListView;
};

class TListItems {
 public:
  explicit TListItems(TCustomListView* view) : view_(view) {}
  ~TListItems();
  TCustomListView* Owner() const { return view_; }
  TListItem* Add();
  TListItem* Insert(int index);
  int Count() const;
  TListItem* Item(int index) const;
  TListItem* operator[](int index) const { return Item(index); }
  void Delete(int index);
  void Clear();
  void BeginUpdate();
  void EndUpdate();

 private:
  // Frees the item objects whose control items went without a notification.
  void FreeLeftovers();
  TCustomListView* view_;
  std::unordered_set<TListItem*> live_;
  int update_ = 0;
  friend class TCustomListView;
};

class TListColumns;

class TListColumn {
 public:
  TListColumn(TListColumns* owner, int index) : owner_(owner), index_(index) {}
  int Index() const { return index_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& s);
  // The control's width once it has a window (the user may drag it).
  int Width() const;
  void SetWidth(int v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 private:
  void Apply(UINT mask) const;
  TListColumns* owner_;
  int index_;
  std::string caption_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
  friend class TListColumns;
  friend class TCustomListView;
};

class TListColumns {
 public:
  explicit TListColumns(TCustomListView* view) : view_(view) {}
  ~TListColumns();
  TListColumn* Add();
  int Count() const { return static_cast<int>(columns_.size()); }
  TListColumn* Items(int i) const { return columns_[static_cast<size_t>(i)]; }
  TListColumn* operator[](int i) const { return Items(i); }
  void Clear();
  TCustomListView* Owner() const { return view_; }

 private:
  void Insert(TListColumn* c);
  TCustomListView* view_;
  std::vector<TListColumn*> columns_;
  friend class TListColumn;
  friend class TCustomListView;
};

struct TIconOptions {
  bool AutoArrange = false;
};

// What a derived view fills in on a display-info request; Mask holds the
// LVIF_TEXT / LVIF_IMAGE bits that were asked for.
struct TLVDispInfo {
  UINT Mask = 0;
  int SubItem = 0;
  std::string Text;
  int ImageIndex = -1;
};

using TLVChangeEvent = std::function<void(TObject* Sender, TListItem* Item, TItemChange Change)>;
using TLVChangingEvent =
    std::function<void(TObject* Sender, TListItem* Item, TItemChange Change, bool& AllowChange)>;
using TLVColumnClickEvent = std::function<void(TObject* Sender, TListColumn* Column)>;
using TLVEditingEvent = std::function<void(TObject* Sender, TListItem* Item, bool& AllowEdit)>;
using TLVEditedEvent = std::function<void(TObject* Sender, TListItem* Item, std::string& S)>;
using TLVDeletedEvent = std::function<void(TObject* Sender, TListItem* Item)>;
using TLVCompare = PFNLVCOMPARE;  // int CALLBACK (LPARAM item1, LPARAM item2, LPARAM data)

class TCustomListView : public TWinControl {
 public:
  explicit TCustomListView(TComponent* AOwner);
  ~TCustomListView() override;

  TListItems& Items() { return items_; }
  TListColumns& Columns() { return columns_; }
  TListItem* ItemFromIndex(int index) const;

  TViewStyle ViewStyle() const { return view_style_; }
  void SetViewStyle(TViewStyle v);
  // Style switches; ApplyStyles passes changes to a live window.
  bool MultiSelect = false, ColumnClick = true, ShowColumnHeaders = true, ReadOnly = false, HideSelection = true;
  TIconOptions IconOptions;
  TBorderStyle BorderStyle = bsSingleBorder;
  TDragMode DragMode = dmManual;
  TCursor DragCursor = crNo;
  void ApplyStyles();

  TCustomImageList* LargeImages() const { return large_; }
  TCustomImageList* SmallImages() const { return small_; }
  TCustomImageList* StateImages() const { return state_; }
  void SetLargeImages(TCustomImageList* l) { SetList(large_, l, LVSIL_NORMAL); }
  void SetSmallImages(TCustomImageList* l) { SetList(small_, l, LVSIL_SMALL); }
  void SetStateImages(TCustomImageList* l) { SetList(state_, l, LVSIL_STATE); }
  // A hint of how many items will come, so the control allocates once.
  int AllocBy() const { return alloc_by_; }
  void SetAllocBy(int n);

  // Sorts through the control's own callback sort; the callback gets
  // TListItem pointers as its first two arguments.
  bool CustomSort(TLVCompare compare, LPARAM data);
  TListItem* Selected() const;
  void SetSelected(TListItem* item);
  TListItem* ItemFocused() const;
  void SetItemFocused(TListItem* item);
  int SelCount() const;
  // The next item after start (nullptr: from the top) in direction that has
  // all the states asked for.
  TListItem* GetNextItem(TListItem* start, TSearchDirection direction, TItemStates states) const;
  TListItem* GetItemAt(int x, int y) const;
  THitTests GetHitTestInfoAt(int x, int y) const;
  void Scroll(int dx, int dy);

  TLVChangeEvent OnChange;
  TLVChangingEvent OnChanging;
  TLVColumnClickEvent OnColumnClick;
  TLVEditingEvent OnEditing;
  TLVEditedEvent OnEdited;
  TLVDeletedEvent OnDeletion, OnInsert;

  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void Notification(TComponent* c, TOperation op) override;
  // The notifications a derived view extends.
  virtual void CNNotify(TMessage& m);
  virtual LRESULT CustomDrawNotify(NMHDR* h);
  virtual void RightClick();
  virtual void BeginDrag(TListItem* item, bool right);
  virtual void GetDispInfo(TListItem* item, TLVDispInfo& info);
  virtual void InsertItem(TListItem* item);
  virtual void Delete(TListItem* item);
  virtual void ColClick(TListColumn* column);
  virtual bool CanEdit(TListItem* item);
  virtual void Edit(TListItem* item, std::string& text);
  virtual bool CanChange(TListItem* item, TItemChange change);
  virtual void Change(TListItem* item, TItemChange change);

 private:
  void SetList(TCustomImageList*& slot, TCustomImageList* l, int which);
  void AnswerDispInfo(NMHDR* h);
  TListItems items_;
  TListColumns columns_;
  TViewStyle view_style_ = vsIcon;
  TCustomImageList *large_ = nullptr, *small_ = nullptr, *state_ = nullptr;
  int alloc_by_ = 0;
  friend class TListItem;
  friend class TListItems;
  friend class TListColumn;
  friend class TListColumns;
};

class TListView : public TCustomListView {
 public:
  using TCustomListView::TCustomListView;
};
