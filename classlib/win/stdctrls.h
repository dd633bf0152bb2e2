// The standard controls: labels, buttons, check and radio boxes, group
// boxes, edits, memos, combo and list boxes, scroll bars.
#pragma once

#include <memory>

#include "controls.h"

enum TTextLayout { tlTop, tlCenter, tlBottom };

class TCustomLabel : public TGraphicControl {
 public:
  explicit TCustomLabel(TComponent* AOwner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout l) { layout_ = l; Invalidate(); }
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v) { auto_size_ = v; AdjustBounds(); }
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v) { word_wrap_ = v; AdjustBounds(); Invalidate(); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; Invalidate(); }
  // "&" marks an accelerator unless this is false.
  bool ShowAccelChar = true;
  // Where the label's accelerator puts the focus; without one, the next
  // control after the label on its parent.
  TWinControl* FocusControl() const { return focus_control_; }
  void SetFocusControl(TWinControl* c);
  void Notification(TComponent* component, TOperation operation) override;
  void Paint() override;

 protected:
  void TextChanged() override { AdjustBounds(); Invalidate(); }
  void FontChanged() override { AdjustBounds(); Invalidate(); }
  UINT DrawTextFlags() const;
  void AdjustBounds();
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool auto_size_ = true;
  bool word_wrap_ = false;
  bool transparent_ = false;
  TWinControl* focus_control_ = nullptr;
};

class TLabel : public TCustomLabel {
 public:
  using TCustomLabel::TCustomLabel;
};

class TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent* AOwner);
  // A caption too long for one line breaks between words.
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);

 protected:
  void CreateParams(TCreateParams& p) override;
  void WndProc(TMessage& m) override;
  bool word_wrap_ = false;
  virtual void ButtonClicked() { Click(); }
};

class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* AOwner);
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel = false;
  // Copied into the form's ModalResult on a click.
  int ModalResult = 0;
  void Click() override;

 protected:
  void CreateParams(TCreateParams& p) override;
  bool default_ = false;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TButtonControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return state_ == cbChecked; }
  // A change runs OnClick, as a click would.
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState s);
  bool AllowGrayed = false;
  TAlignment Alignment = taRightJustify;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void ButtonClicked() override;
  TCheckBoxState state_ = cbUnchecked;
};

class TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  bool Checked() const { return checked_; }
  // Checking one unchecks the other radio buttons of the same parent and
  // runs OnClick.
  void SetChecked(bool v);

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void ButtonClicked() override { SetChecked(true); }
  bool checked_ = false;
};

class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner);

 protected:
  void Paint() override;
  void AdjustClientRect(RECT& r) override;
  void TextChanged() override { Invalidate(); }
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int v);
  char PasswordChar() const { return password_char_; }
  void SetPasswordChar(char c);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v);
  int SelStart();
  void SetSelStart(int v);
  int SelLength();
  void SetSelLength(int v);
  std::string SelText();
  void SetSelText(const std::string& s);
  void SelectAll();
  void Clear() { SetText(""); }
  bool Modified();
  void SetModified(bool v);
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void WndProc(TMessage& m) override;
  virtual void Change();
  int max_length_ = 0;
  std::string last_text_;
  char password_char_ = 0;
  bool read_only_ = false;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo : public TCustomEdit {
 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  // The text as lines (the window's text, split at line breaks).
  TStrings& Lines() { return *lines_; }
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle v);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  bool WantTabs = false;
  bool WantReturns = true;

 protected:
  void CreateParams(TCreateParams& p) override;
  bool WantsKey(WORD key) override;
  std::unique_ptr<TStrings> lines_;
  TScrollStyle scroll_bars_ = ssNone;
  bool word_wrap_ = true;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

enum TOwnerDrawStateBit { odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault, odComboBoxEdit };
using TOwnerDrawState = unsigned;  // bits 1 << TOwnerDrawStateBit

using TDrawItemEvent =
    std::function<void(TWinControl* Control, int Index, const RECT& Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TWinControl* Control, int Index, int& Height)>;

// The combo box over the system's combo box.
//
// For derived combos:
// - The measure message of an owner-drawn combo arrives while its window is
//   still being created (HandleAllocated() is false then and Handle() must
//   not be called): MeasureItem answers from ItemHeight.
// - Entries and their objects survive a re-creation of the window (style,
//   Sorted or ItemHeight changes): DeleteItem is not called for them then.
//   It is called once per entry when the window finally goes: when the combo
//   is destroyed (the system goes through them from the last), or by
//   Items().Delete / Clear. A derived combo whose
//   DeleteItem needs its own members destroys the window in its own
//   destructor (DestroyEntries), while it is still whole.
class TCustomComboBox : public TWinControl {
 public:
  explicit TCustomComboBox(TComponent* AOwner);
  ~TCustomComboBox() override;
  TStrings& Items() { return *items_; }
  int ItemIndex();
  void SetItemIndex(int i);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle s);
  bool OwnerDrawn() const { return style_ == csOwnerDrawFixed || style_ == csOwnerDrawVariable; }
  int DropDownCount = 8;
  bool DroppedDown();
  void SetDroppedDown(bool v);
  // The height of the list's entries (owner-drawn: what the measure message
  // answers).
  int ItemHeight();
  virtual void SetItemHeight(int v);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int v);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  // The list opens with the down-arrow key and the arrows do not change the
  // selection of the closed combo.
  bool ExtendedUI() const { return extended_ui_; }
  void SetExtendedUI(bool v);
  // The canvas OnDrawItem and DrawItem draw on (valid only while drawing).
  TCanvas& Canvas() { return draw_canvas_; }
  void SetBounds(int left, int top, int width, int height) override;
  std::string Text() override;
  void SetText(const std::string& s) override;
  TNotifyEvent OnChange, OnDropDown;
  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void DestroyHandle() override;
  void WndProc(TMessage& m) override;
  bool WantsKey(WORD key) override;
  virtual void DrawItem(int index, const RECT& rect, TOwnerDrawState state);
  virtual void MeasureItem(int index, int& height);
  virtual void CloseUp() {}
  virtual void SelEndOk() {}
  virtual void SelEndCancel() {}
  // An entry leaves the combo for good; data is its object.
  virtual void DeleteItem(int index, TObject* data) {}
  // Destroys the window with its entries, each through DeleteItem.
  void DestroyEntries();
  // The DRAWITEMSTRUCT of the entry being drawn.
  const DRAWITEMSTRUCT* draw_struct_ = nullptr;
  std::unique_ptr<TStrings> items_;
  TStringList saved_items_;
  int saved_index_ = -1;
  TComboBoxStyle style_ = csDropDown;
  int item_height_ = 16;
  int max_length_ = 0;
  bool sorted_ = false, extended_ui_ = false;
  // Set while the window goes for a re-creation: its entries are kept.
  bool keeping_entries_ = false;
  TCanvas draw_canvas_;
};

class TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
};

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings& Items() { return *items_; }
  // The selected item; with MultiSelect, the one with the focus rectangle.
  int ItemIndex();
  void SetItemIndex(int i);
  bool MultiSelect() const { return multi_select_; }
  void SetMultiSelect(bool v);
  bool ExtendedSelect() const { return extended_select_; }
  void SetExtendedSelect(bool v);
  bool Selected(int i);
  void SetSelected(int i, bool v);
  int SelCount();
  void ClearSelection();
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  int ItemHeight();
  int TopIndex();
  void SetTopIndex(int i);
  int ItemAtPos(POINT p, bool existing);

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void DestroyHandle() override;
  void WndProc(TMessage& m) override;
  std::unique_ptr<TStrings> items_;
  TStringList saved_items_;
  bool multi_select_ = false, extended_select_ = true, sorted_ = false;
  friend class TListBoxStrings;
};

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode Code, int& Pos)>;

class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* AOwner);
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind k);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int PageSize() const { return page_size_; }
  void SetMin(int v) { SetParams(position_, v, max_); }
  void SetMax(int v) { SetParams(position_, min_, v); }
  void SetPosition(int v) { SetParams(v, min_, max_); }
  void SetPageSize(int v);
  void SetParams(int position, int min, int max);
  int SmallChange = 1;
  int LargeChange = 1;
  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void WndProc(TMessage& m) override;
  void UpdateInfo();
  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0, page_size_ = 0;
};
