#include "htmlforms.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "htmlscan.h"
#include "htmltext.h"

namespace htmlsubs {

using htmlun2::TAttribute;
using htmlun2::TAttributeList;

ThtmlForm* CurrentForm = nullptr;
TPaintCellColor PaintCellColor;

namespace {

std::string Lower(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// The state of a control without a window.
class TDataPeer : public TControlPeer {
 public:
  void SetBounds(int left, int top, int width, int height) override {
    left_ = left, top_ = top, width_ = width, height_ = height;
  }
  int Left() override { return left_; }
  int Top() override { return top_; }
  int Width() override { return width_; }
  int Height() override { return height_; }
  void SetClientSize(int width, int height) override {
    // A control's frame: two pixels on each side.
    width_ = width + 4;
    height_ = height + 4;
  }
  void SetClientWidth(int width) override { width_ = width + 4; }
  bool Visible() override { return visible_; }
  void SetVisible(bool v) override { visible_ = v; }
  std::string Text() override { return text_; }
  void SetText(const std::string& s) override { text_ = max_length_ > 0 ? s.substr(0, max_length_) : s; }
  bool Checked() override { return checked_; }
  void SetChecked(bool v) override { checked_ = v; }
  void SetFont(const std::string&, int) override {}
  void SetMaxLength(int n) override { max_length_ = n; }
  void SetPasswordChar(char) override {}
  void SetMultiSelect(bool v) override { multi_ = v; }
  void AddItem(const std::string& s) override {
    items_.Add(s);
    selected_.push_back(false);
  }
  int ItemCount() override { return items_.Count(); }
  int ItemIndex() override { return index_; }
  void SetItemIndex(int i) override {
    index_ = i >= 0 && i < items_.Count() ? i : -1;
    if (!multi_)
      for (size_t k = 0; k < selected_.size(); ++k) selected_[k] = static_cast<int>(k) == index_;
  }
  bool Selected(int i) override { return i >= 0 && i < static_cast<int>(selected_.size()) && selected_[i]; }
  void SetSelected(int i, bool v) override {
    if (i < 0 || i >= static_cast<int>(selected_.size())) return;
    if (!multi_) {
      SetItemIndex(v ? i : -1);
      return;
    }
    selected_[i] = v;
  }
  TStrings& Lines() override { return lines_; }
  void SetBackColor(TColor) override {}

 private:
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = false, checked_ = false, multi_ = false;
  int max_length_ = 0, index_ = -1;
  std::string text_;
  TStringList items_, lines_;
  std::vector<bool> selected_;
};

}  // namespace

TControlPeer* CreateDataPeer() { return new TDataPeer; }

int ControlCount(int value, int def) {
  if (value < 0) return def;
  return value > MaxControlChars ? MaxControlChars : value;
}

// ---------------------------------------------------------------------------
// Forms

ThtmlForm::ThtmlForm(TSectionList* document, const TAttributeList* attributes) : Document(document) {
  Document->Forms.Add(this);
  for (int i = 0; attributes && i < attributes->Count(); ++i) {
    const TAttribute* a = attributes->Attr(i);
    if (a->Which == readhtml::MethodAttr)
      Method = a->Name.substr(0, 4);
    else if (a->Which == readhtml::ActionAttr)
      Action = a->Name;
  }
}

ThtmlForm::~ThtmlForm() {
  // A form freed with its document while the parser still holds it open.
  if (CurrentForm == this) CurrentForm = nullptr;
}

void ThtmlForm::InsertControl(TFormControlObj* control) {
  ControlList.Add(control);
  if (!control->IsHidden()) ++NonHiddenCount;
}

void ThtmlForm::DoRadios(TFormControlObj* radio) {
  for (int i = 0; i < ControlList.Count(); ++i) {
    auto* other = dynamic_cast<TRadioButtonFormControlObj*>(Control(i));
    if (other && other != radio && other->TheControl && CompareText(other->Name, radio->Name) == 0)
      other->TheControl->SetChecked(false);
  }
}

void ThtmlForm::ResetControls() {
  for (int i = 0; i < ControlList.Count(); ++i) Control(i)->ResetToValue();
}

void ThtmlForm::SetSizes(ThtMeasure& canvas) {
  for (int i = 0; i < ControlList.Count(); ++i) Control(i)->SetHeightWidth(canvas);
}

void ThtmlForm::SubmitTheForm(const std::string& buttonSubmission) {
  if (!Document->OnFormSubmit) return;
  auto* results = new TStringList;
  for (int i = 0; i < ControlList.Count(); ++i) {
    std::string s;
    for (int k = 0; Control(i)->GetSubmission(k, s); ++k) {
      if (!s.empty()) results->Add(s);
      s.clear();
    }
  }
  if (!buttonSubmission.empty()) results->Add(buttonSubmission);
  Document->OnFormSubmit(Document->Viewer, Action, Method, results);
}

void ThtmlForm::ControlKeyPress(TFormControlObj* sender, int& key) {
  if (key == 13) {
    if (dynamic_cast<TEditFormControlObj*>(sender) && NonHiddenCount == 1) {
      key = 0;
      SubmitTheForm("");
    }
  } else if (key >= 33 && key <= 36) {
    PostKeyToViewer(Document, key);
  }
}

// ---------------------------------------------------------------------------
// Control objects

std::string TFormControlObj::Attr(const TAttributeList* attributes, int which, bool& given) {
  TAttribute* a;
  given = attributes && attributes->Find(which, a);
  return given ? a->Name : std::string();
}

bool TFormControlObj::HasAttr(const TAttributeList* attributes, int which) {
  TAttribute* a;
  return attributes && attributes->Find(which, a);
}

int TFormControlObj::AttrValue(const TAttributeList* attributes, int which, int def) {
  TAttribute* a;
  return attributes && attributes->Find(which, a) ? a->Value : def;
}

TFormControlObj::TFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes, bool hidden)
    : Document(document), hidden_(hidden) {
  Pos = pos;
  // A form left open by another document (frames) is not joined.
  if (!CurrentForm || CurrentForm->Document != document) CurrentForm = new ThtmlForm(document, nullptr);
  MyForm = CurrentForm;
  Document->AllControls.Add(this);
  bool given;
  Value = Attr(attributes, readhtml::ValueAttr, given);
  Name = Attr(attributes, readhtml::NameAttr, given);
  MyForm->InsertControl(this);
}

TFormControlObj::~TFormControlObj() {
  TheControl.reset();
  Document->AllControls.Remove(this);
}

void TFormControlObj::MakeControl(TPeerKind kind) {
  TheControl.reset(CreateControlPeer(kind, this));
  // Out of sight until a draw places it.
  TheControl->SetBounds(-400, 0, 120, 20);
}

void TFormControlObj::PreFont() {
  if (TheControl) TheControl->SetFont(Document->DefaultPreFace, 10);
}

void TFormControlObj::Draw(TCanvas&, int, int) {}

void TFormControlObj::KeyDown(int& key) { MyForm->ControlKeyPress(this, key); }

void TFormControlObj::PlaceAt(TCanvas& canvas, int x, int top, bool forPrint) {
  if (!TheControl) return;
  if (forPrint) {
    Draw(canvas, x, top);
    return;
  }
  if (PaintCellColor.Has && dynamic_cast<TRadioButtonFormControlObj*>(this))
    TheControl->SetBackColor(PaintCellColor.Color);
  if (TheControl->Left() != x || TheControl->Top() != top)
    TheControl->SetBounds(x, top, TheControl->Width(), TheControl->Height());
  if (!TheControl->Visible()) TheControl->SetVisible(true);
}

namespace {

// Width and height of "A" in the face and size given.
void MeasureA(ThtMeasure& canvas, const std::string& face, int size, int& w, int& h) {
  TFontDesc f;
  if (!face.empty()) f.SetName(face);
  if (size > 0) f.SetSize(size);
  canvas.SelectFont(f);
  w = canvas.TextWidth("A", 1);
  h = canvas.Metrics().Height;
}

}  // namespace

TEditFormControlObj::TEditFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  EditSize = ControlCount(AttrValue(attributes, readhtml::SizeAttr, 20), 20);
  MaxLength = ControlCount(AttrValue(attributes, readhtml::MaxLengthAttr, 0), 0);
  bool given;
  Password = Lower(Attr(attributes, readhtml::TypeAttr, given)) == "password";
  MakeControl(pkEdit);
  PreFont();
  TheControl->SetMaxLength(MaxLength);
  if (Password) TheControl->SetPasswordChar('*');
  TheControl->SetText(Value);
}

void TEditFormControlObj::ResetToValue() { TheControl->SetText(Value); }

bool TEditFormControlObj::GetSubmission(int index, std::string& s) {
  if (index != 0) return false;
  s = Name + "=" + TheControl->Text();
  return true;
}

void TEditFormControlObj::SetHeightWidth(ThtMeasure& canvas) {
  int w, h;
  MeasureA(canvas, Document->DefaultPreFace, 10, w, h);
  TheControl->SetBounds(TheControl->Left(), TheControl->Top(), w * EditSize + 5, TheControl->Height());
}

TButtonFormControlObj::TButtonFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  bool given;
  IsReset = Lower(Attr(attributes, readhtml::TypeAttr, given)) != "submit";
  MakeControl(pkButton);
  TheControl->SetText(!IsReset && Value.empty() ? "Submit" : Value);
}

void TButtonFormControlObj::SetHeightWidth(ThtMeasure& canvas) {
  int w, h;
  MeasureA(canvas, "", 0, w, h);
  const std::string caption = TheControl->Text();
  const int cw = canvas.TextWidth(caption);
  TheControl->SetBounds(TheControl->Left(), TheControl->Top(), cw + 20, h + 8);
}

void TButtonFormControlObj::Clicked() {
  if (IsReset)
    MyForm->ResetControls();
  else
    MyForm->SubmitTheForm(Name.empty() ? std::string() : Name + "=" + Value);
}

TCheckBoxFormControlObj::TCheckBoxFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  if (Value.empty()) Value = "On";
  IsChecked = HasAttr(attributes, readhtml::CheckedAttr);
  OnBaseline = true;
  MakeControl(pkCheckBox);
  TheControl->SetBounds(-400, 0, 13, 13);
  TheControl->SetChecked(IsChecked);
}

void TCheckBoxFormControlObj::ResetToValue() { TheControl->SetChecked(IsChecked); }

bool TCheckBoxFormControlObj::GetSubmission(int index, std::string& s) {
  if (index != 0 || !TheControl->Checked()) return false;
  s = Name + "=" + Value;
  return true;
}

TRadioButtonFormControlObj::TRadioButtonFormControlObj(TSectionList* document, int pos,
                                                       const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  IsChecked = HasAttr(attributes, readhtml::CheckedAttr);
  OnBaseline = true;
  MakeControl(pkRadio);
  TheControl->SetBounds(-400, 0, 13, 14);
  TheControl->SetChecked(IsChecked);
}

void TRadioButtonFormControlObj::ResetToValue() { TheControl->SetChecked(IsChecked); }

bool TRadioButtonFormControlObj::GetSubmission(int index, std::string& s) {
  if (index != 0 || !TheControl->Checked()) return false;
  s = Name + "=" + Value;
  return true;
}

void TRadioButtonFormControlObj::Clicked() {
  if (TheControl->Checked()) MyForm->DoRadios(this);
}

bool THiddenFormControlObj::GetSubmission(int index, std::string& s) {
  if (index != 0) return false;
  s = Name + "=" + Value;
  return true;
}

bool TImageFormControlObj::GetSubmission(int index, std::string& s) {
  if (index > 1 || XPos < 0) return false;
  s = (Name.empty() ? std::string() : Name + ".") + (index == 0 ? "x=" + std::to_string(XPos)
                                                                 : "y=" + std::to_string(YPos));
  return true;
}

void TImageFormControlObj::ImageClick() {
  XPos = XTmp;
  YPos = YTmp;
  MyForm->SubmitTheForm("");
}

TListBoxFormControlObj::TListBoxFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes)
    : TListBoxFormControlObj(document, pos, attributes, pkListBox) {}

TListBoxFormControlObj::TListBoxFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes,
                                               TPeerKind kind)
    : TFormControlObj(document, pos, attributes) {
  const int size = AttrValue(attributes, readhtml::SizeAttr, -1);
  LBSize = size < 0 ? -1 : ControlCount(size, -1);
  Multiple = HasAttr(attributes, readhtml::MultipleAttr);
  MakeControl(kind);
  PreFont();
  if (kind == pkListBox) TheControl->SetMultiSelect(Multiple);
}

TListBoxFormControlObj::~TListBoxFormControlObj() {
  for (int i = 0; i < TheOptions.Count(); ++i) delete TheOptions.Objects(i);
}

void TListBoxFormControlObj::AddStr(const std::string& text, const std::string& value, bool selected) {
  auto* o = new TOptionObj;
  o->Value = value;
  o->Selected = selected;
  TheOptions.AddObject(text, o);
  TheControl->AddItem(text);
  if (static_cast<int>(text.size()) > Length) Length = static_cast<int>(text.size());
  // The window shows the defaults as the options come, as a reset would
  // leave them (the first selected option, else the first one).
  const int index = TheOptions.Count() - 1;
  if (selected && (Multiple || !anySelected_)) {
    if (Multiple)
      TheControl->SetSelected(index, true);
    else
      TheControl->SetItemIndex(index);
  } else if (index == 0 && !Multiple) {
    TheControl->SetItemIndex(0);
  }
  anySelected_ = anySelected_ || selected;
}

void TListBoxFormControlObj::ResetToValue() {
  bool any = false;
  if (!Multiple) TheControl->SetItemIndex(-1);
  for (int i = 0; i < TheOptions.Count(); ++i) {
    const bool sel = Option(i)->Selected && (Multiple || !any);
    TheControl->SetSelected(i, sel);
    any = any || Option(i)->Selected;
  }
  if (!any && TheOptions.Count() > 0) TheControl->SetSelected(0, true);
  if (!Multiple) {
    int index = 0;
    for (int i = 0; i < TheOptions.Count(); ++i)
      if (Option(i)->Selected) {
        index = i;
        break;
      }
    if (TheOptions.Count() > 0) TheControl->SetItemIndex(index);
  }
}

bool TListBoxFormControlObj::GetSubmission(int index, std::string& s) {
  if (index >= TheOptions.Count()) return false;
  const bool chosen = Multiple ? TheControl->Selected(index) : TheControl->ItemIndex() == index;
  if (chosen) s = Name + "=" + (Option(index)->Value.empty() ? TheOptions.Get(index) : Option(index)->Value);
  return true;
}

void TListBoxFormControlObj::SetHeightWidth(ThtMeasure& canvas) {
  if (LBSize < 0) LBSize = std::max(1, std::min(8, TheOptions.Count()));
  int w, h;
  MeasureA(canvas, Document->DefaultPreFace, 10, w, h);
  TheControl->SetClientSize(w * Length + 15, h * LBSize);
}

TComboFormControlObj::TComboFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes)
    : TListBoxFormControlObj(document, pos, attributes, pkCombo) {}

void TComboFormControlObj::ResetToValue() {
  int index = 0;
  for (int i = 0; i < TheOptions.Count(); ++i)
    if (Option(i)->Selected) {
      index = i;
      break;
    }
  TheControl->SetItemIndex(TheOptions.Count() > 0 ? index : -1);
}

bool TComboFormControlObj::GetSubmission(int index, std::string& s) {
  if (index >= TheOptions.Count()) return false;
  if (TheControl->ItemIndex() == index)
    s = Name + "=" + (Option(index)->Value.empty() ? TheOptions.Get(index) : Option(index)->Value);
  return true;
}

void TComboFormControlObj::SetHeightWidth(ThtMeasure& canvas) {
  // "A" in the screen's current font, as the drop-down list measures.
  int w, h;
  MeasureA(canvas, "", 0, w, h);
  TheControl->SetClientWidth(w * Length + 30);
}

TTextAreaFormControlObj::TTextAreaFormControlObj(TSectionList* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  Rows = ControlCount(AttrValue(attributes, readhtml::RowsAttr, 5), 5);
  Cols = ControlCount(AttrValue(attributes, readhtml::ColsAttr, 30), 30);
  MakeControl(pkMemo);
  PreFont();
}

void TTextAreaFormControlObj::ResetToValue() { TheControl->Lines().Assign(&TheText); }

bool TTextAreaFormControlObj::GetSubmission(int index, std::string& s) {
  TStrings& lines = TheControl->Lines();
  if (index >= lines.Count()) return false;
  s = Name + "=" + lines.Get(index);
  return true;
}

void TTextAreaFormControlObj::SetHeightWidth(ThtMeasure& canvas) {
  int w, h;
  MeasureA(canvas, Document->DefaultPreFace, 10, w, h);
  TheControl->SetClientSize(w * Cols + 5, h * Rows + 5);
}

// ---------------------------------------------------------------------------
// The section's side of controls

TFormControlObj* MakeFormControl(TSection& section, int which, const TAttributeList* attributes) {
  TSectionList* doc = section.OwnerList;
  const int pos = static_cast<int>(section.Text.size());
  TFormControlObj* obj;
  if (which == readhtml::SelectSy) {
    TAttribute* a;
    const bool list = (attributes && attributes->Find(readhtml::MultipleAttr, a)) ||
                      (attributes && attributes->Find(readhtml::SizeAttr, a) && a->Value > 1);
    if (list)
      obj = new TListBoxFormControlObj(doc, pos, attributes);
    else
      obj = new TComboFormControlObj(doc, pos, attributes);
  } else if (which == readhtml::TextAreaSy) {
    obj = new TTextAreaFormControlObj(doc, pos, attributes);
  } else {
    TAttribute* a;
    const std::string type = attributes && attributes->Find(readhtml::TypeAttr, a) ? Lower(a->Name) : "text";
    if (type == "submit" || type == "reset") {
      obj = new TButtonFormControlObj(doc, pos, attributes);
    } else if (type == "radio") {
      obj = new TRadioButtonFormControlObj(doc, pos, attributes);
    } else if (type == "checkbox") {
      obj = new TCheckBoxFormControlObj(doc, pos, attributes);
    } else if (type == "hidden") {
      return new THiddenFormControlObj(doc, pos, attributes);
    } else if (type == "image") {
      auto* image = new TImageFormControlObj(doc, pos, attributes);
      section.InsertImage(attributes, image);
      return image;
    } else {
      // "text", "password", and an INPUT of no or an unknown TYPE.
      obj = new TEditFormControlObj(doc, pos, attributes);
    }
  }
  section.InsertControl(obj);
  return obj;
}

}  // namespace htmlsubs
