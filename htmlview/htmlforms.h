// Form controls: each INPUT, SELECT and TEXTAREA of a document is a control
// object that owns one window control (through a peer), sits at a text
// position of its section, belongs to a form, sizes itself for layout and
// gives lines name=value when its form is submitted.  Natively the peer only
// keeps the control's state, so the parser and layout run without windows.
#pragma once

#include <memory>
#include <string>

#include "htmlcanvas.h"
#include "htmlsections.h"

class TCanvas;

namespace htmlsubs {

class TFormControlObj;
class TSection;

// Bounds for sizes read from attributes: characters and rows beyond these
// are more than any page needs, and the products stay inside 32 bits.
constexpr int MaxControlChars = 1000;
// SIZE, ROWS, COLS and MAXLENGTH: negative counts as not given (def).
int ControlCount(int value, int def);

enum TPeerKind { pkEdit, pkButton, pkCheckBox, pkRadio, pkListBox, pkCombo, pkMemo };

// The window control of a control object.  Positions are in the parent
// window's client coordinates; the list operations serve list boxes and
// combo boxes, Lines the memo.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  virtual void SetBounds(int left, int top, int width, int height) = 0;
  virtual int Left() = 0;
  virtual int Top() = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  // The outer size that gives this client size.
  virtual void SetClientSize(int width, int height) = 0;
  // The outer width that gives this client width; the height stays, as a
  // drop-down list keeps the height of its edit part.
  virtual void SetClientWidth(int width) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool v) = 0;
  virtual std::string Text() = 0;
  virtual void SetText(const std::string& s) = 0;
  virtual bool Checked() = 0;
  virtual void SetChecked(bool v) = 0;
  virtual void SetFont(const std::string& face, int size) = 0;
  virtual void SetMaxLength(int n) = 0;
  virtual void SetPasswordChar(char c) = 0;
  virtual void SetMultiSelect(bool v) = 0;
  virtual void AddItem(const std::string& s) = 0;
  virtual int ItemCount() = 0;
  virtual int ItemIndex() = 0;
  virtual void SetItemIndex(int i) = 0;
  virtual bool Selected(int i) = 0;
  virtual void SetSelected(int i, bool v) = 0;
  virtual TStrings& Lines() = 0;
  // The colour behind a radio button (its panel).
  virtual void SetBackColor(TColor c) = 0;
};

// A peer that only keeps the state (no window).
TControlPeer* CreateDataPeer();
// Makes the peer of a control object: a real window, a child of the
// document's ControlParent, on Windows; a record of its state elsewhere.
// Clicks and keys of the window reach the object (Clicked, KeyDown).
TControlPeer* CreateControlPeer(TPeerKind kind, TFormControlObj* owner);
// Posts a key-down message of key to the viewer's window (Windows only).
void PostKeyToViewer(TSectionList* document, int key);

class ThtmlForm : public TObject {
 public:
  // Joins the document's Forms; METHOD and ACTION.
  ThtmlForm(TSectionList* document, const htmlun2::TAttributeList* attributes);
  TFormControlObj* Control(int i) const { return static_cast<TFormControlObj*>(ControlList.Items(i)); }
  void InsertControl(TFormControlObj* control);
  // Unchecks every other radio button of the form with the same NAME.
  void DoRadios(TFormControlObj* radio);
  void ResetControls();
  void SetSizes(ThtMeasure& canvas);
  void SubmitTheForm(const std::string& buttonSubmission);
  // Keys of edits and memos: Enter in the only visible control submits;
  // page up, page down, end and home scroll the document.
  void ControlKeyPress(TFormControlObj* sender, int& key);

  ~ThtmlForm() override;

  TSectionList* Document;
  std::string Method = "Get";
  std::string Action;
  TFreeList ControlList;
  int NonHiddenCount = 0;
};

// The form the parser is filling (cleared when the FORM ends).
extern ThtmlForm* CurrentForm;

class TFormControlObj : public TFormControlBase {
 public:
  // Joins AllControls and CurrentForm (made, without attributes, when no
  // form is open); VALUE and NAME.
  TFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes,
                  bool hidden = false);
  ~TFormControlObj() override;

  virtual void Draw(TCanvas& canvas, int x, int y);
  virtual void ResetToValue() {}
  virtual bool GetSubmission(int index, std::string& s) { return false; }
  bool IsHidden() const { return hidden_; }
  // Events of the window control.
  virtual void Clicked() {}
  void KeyDown(int& key);

  bool HasWindow() const override { return TheControl != nullptr; }
  int ControlWidth() const override { return TheControl ? TheControl->Width() : 0; }
  int ControlHeight() const override { return TheControl ? TheControl->Height() : 0; }
  // Drawn when printing, else the window is moved to (x, top) and shown;
  // a radio button's panel takes the colour of the cell being drawn.
  void PlaceAt(TCanvas& canvas, int x, int top, bool forPrint) override;
  void HideWindow() override {
    if (TheControl) TheControl->SetVisible(false);
  }
  int Width() const { return ControlWidth(); }
  int Height() const { return ControlHeight(); }

  TSectionList* Document;
  ThtmlForm* MyForm;
  std::string Value;
  std::string Name;
  std::unique_ptr<TControlPeer> TheControl;

 protected:
  void MakeControl(TPeerKind kind);
  // The face and size of the controls that show text.
  void PreFont();
  static std::string Attr(const htmlun2::TAttributeList* attributes, int which, bool& given);
  static bool HasAttr(const htmlun2::TAttributeList* attributes, int which);
  static int AttrValue(const htmlun2::TAttributeList* attributes, int which, int def);

 private:
  bool hidden_;
};

class TEditFormControlObj : public TFormControlObj {
 public:
  TEditFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  void Draw(TCanvas& canvas, int x, int y) override;
  void ResetToValue() override;
  bool GetSubmission(int index, std::string& s) override;
  void SetHeightWidth(ThtMeasure& canvas) override;
  int EditSize = 20;
  int MaxLength = 0;
  bool Password = false;
};

class TButtonFormControlObj : public TFormControlObj {
 public:
  TButtonFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  void SetHeightWidth(ThtMeasure& canvas) override;
  void Clicked() override;
  bool IsReset = false;
};

class TCheckBoxFormControlObj : public TFormControlObj {
 public:
  TCheckBoxFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  void ResetToValue() override;
  bool GetSubmission(int index, std::string& s) override;
  bool IsChecked = false;
};

class TRadioButtonFormControlObj : public TFormControlObj {
 public:
  TRadioButtonFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  void ResetToValue() override;
  bool GetSubmission(int index, std::string& s) override;
  void Clicked() override;
  bool IsChecked = false;
};

class THiddenFormControlObj : public TFormControlObj {
 public:
  THiddenFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes)
      : TFormControlObj(document, pos, attributes, true) {}
  bool GetSubmission(int index, std::string& s) override;
};

// An image input: its picture is an image of the section; the click
// position is recorded by the viewer's hit test (XTmp, YTmp).
class TImageFormControlObj : public TFormControlObj {
 public:
  using TFormControlObj::TFormControlObj;
  bool GetSubmission(int index, std::string& s) override;
  // The viewer's hit test found the image at (x, y) inside it.
  void RecordClick(int x, int y) override {
    XTmp = x;
    YTmp = y;
  }
  // The image was clicked at (XTmp, YTmp): submits with that position.
  void ImageClick();
  int XPos = -1, YPos = -1;
  int XTmp = 0, YTmp = 0;
};

class TOptionObj : public TObject {
 public:
  std::string Value;
  bool Selected = false;
};

class TListBoxFormControlObj : public TFormControlObj {
 public:
  TListBoxFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  // An option: its text with a TOptionObj.
  void AddStr(const std::string& text, const std::string& value, bool selected);
  TOptionObj* Option(int i) const { return static_cast<TOptionObj*>(TheOptions.Objects(i)); }
  void ResetToValue() override;
  bool GetSubmission(int index, std::string& s) override;
  void SetHeightWidth(ThtMeasure& canvas) override;
  ~TListBoxFormControlObj() override;

  TStringList TheOptions;
  int LBSize = -1;
  int Length = 3;
  bool Multiple = false;

 protected:
  // The combo box is a list box with another window.
  TListBoxFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes, TPeerKind kind);

 private:
  bool anySelected_ = false;
};

class TComboFormControlObj : public TListBoxFormControlObj {
 public:
  TComboFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  void ResetToValue() override;
  bool GetSubmission(int index, std::string& s) override;
  void SetHeightWidth(ThtMeasure& canvas) override;
};

class TTextAreaFormControlObj : public TFormControlObj {
 public:
  TTextAreaFormControlObj(TSectionList* document, int pos, const htmlun2::TAttributeList* attributes);
  void ResetToValue() override;
  bool GetSubmission(int index, std::string& s) override;
  void SetHeightWidth(ThtMeasure& canvas) override;
  TStringList TheText;
  int Rows = 5;
  int Cols = 30;
};

// Makes the control object of a SELECT (a list box when MULTIPLE is given
// or SIZE is above 1, else a combo box), a TEXTAREA or an INPUT (by TYPE;
// no or an unknown TYPE makes an edit) and puts it into the section: an
// image input as an image that refers to it, a hidden one without a
// character.
TFormControlObj* MakeFormControl(TSection& section, int which, const htmlun2::TAttributeList* attributes);

// The background of the table cell being drawn (radio buttons take it);
// set by a table while it draws a cell's content.
struct TPaintCellColor {
  bool Has = false;
  TColor Color = 0;
};
extern TPaintCellColor PaintCellColor;

}  // namespace htmlsubs
