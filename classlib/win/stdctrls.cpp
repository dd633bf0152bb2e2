#include "stdctrls.h"

#include <algorithm>

#include "forms.h"

namespace {

// TStrings whose storage is a Win32 list: a list box or a combo box. Without
// a window the control keeps the items in a string list of its own.
struct ListMessages {
  UINT count, gettextlen, gettext, insert, del, reset, getdata, setdata;
  // With this style bit on the window, Add goes through 'add' so that the
  // control puts the entry in its sorted place.
  UINT add;
  LONG_PTR sort_style;
};
const ListMessages kListBoxMsgs{LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_INSERTSTRING,
                                LB_DELETESTRING, LB_RESETCONTENT, LB_GETITEMDATA, LB_SETITEMDATA,
                                LB_ADDSTRING, 0};
const ListMessages kComboMsgs{CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_INSERTSTRING,
                              CB_DELETESTRING, CB_RESETCONTENT, CB_GETITEMDATA, CB_SETITEMDATA,
                              CB_ADDSTRING, CBS_SORT};

}  // namespace

class TWindowListStrings : public TStrings {
 public:
  TWindowListStrings(TWinControl* c, TStringList* saved, const ListMessages& m) : control_(c), saved_(saved), m_(m) {}
  int Count() const override {
    if (!control_->HandleAllocated()) return saved_->Count();
    return static_cast<int>(SendMessageA(control_->Handle(), m_.count, 0, 0));
  }
  std::string Get(int i) const override {
    if (!control_->HandleAllocated()) return saved_->Get(i);
    Check(i);
    HWND h = control_->Handle();
    LRESULT n = SendMessageA(h, m_.gettextlen, static_cast<WPARAM>(i), 0);
    if (n < 0) return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    n = SendMessageA(h, m_.gettext, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(std::max<LRESULT>(n, 0)));
    return s;
  }
  TObject* Objects(int i) const override {
    if (!control_->HandleAllocated()) return saved_->Objects(i);
    Check(i);
    LRESULT d = SendMessageA(control_->Handle(), m_.getdata, static_cast<WPARAM>(i), 0);
    return d == -1 ? nullptr : reinterpret_cast<TObject*>(d);
  }
  void PutObject(int i, TObject* o) override {
    if (!control_->HandleAllocated()) return saved_->PutObject(i, o);
    Check(i);
    SendMessageA(control_->Handle(), m_.setdata, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(o));
  }
  void Put(int i, const std::string& s) override {
    TObject* o = Objects(i);
    Delete(i);
    InsertObject(i, s, o);
  }
  void Insert(int i, const std::string& s) override { InsertObject(i, s, nullptr); }
  void InsertObject(int i, const std::string& s, TObject* o) override {
    if (!control_->HandleAllocated()) return saved_->InsertObject(i, s, o);
    if (i < 0 || i > Count()) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
    LRESULT at = SendMessageA(control_->Handle(), m_.insert, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.c_str()));
    if (at < 0) throw EOutOfResources("Cannot insert a list item");
    if (o) SendMessageA(control_->Handle(), m_.setdata, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(o));
  }
  int Add(const std::string& s) override { return AddObject(s, nullptr); }
  int AddObject(const std::string& s, TObject* o) override {
    if (control_->HandleAllocated() && m_.sort_style &&
        (GetWindowLongPtrA(control_->Handle(), GWL_STYLE) & m_.sort_style)) {
      LRESULT at = SendMessageA(control_->Handle(), m_.add, 0, reinterpret_cast<LPARAM>(s.c_str()));
      if (at < 0) throw EOutOfResources("Cannot insert a list item");
      if (o) SendMessageA(control_->Handle(), m_.setdata, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(o));
      return static_cast<int>(at);
    }
    int at = Count();
    InsertObject(at, s, o);
    return at;
  }
  void Delete(int i) override {
    if (!control_->HandleAllocated()) return saved_->Delete(i);
    Check(i);
    SendMessageA(control_->Handle(), m_.del, static_cast<WPARAM>(i), 0);
  }
  void Clear() override {
    if (!control_->HandleAllocated()) return saved_->Clear();
    SendMessageA(control_->Handle(), m_.reset, 0, 0);
  }

 private:
  void Check(int i) const {
    if (i < 0 || i >= Count()) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
  }
  TWinControl* control_;
  TStringList* saved_;
  ListMessages m_;
};

// Lines of a memo: the window text split at line breaks, rebuilt on change.
class TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TMemo* m) : memo_(m) {}
  int Count() const override { return static_cast<int>(Lines().size()); }
  std::string Get(int i) const override {
    auto l = Lines();
    if (i < 0 || i >= static_cast<int>(l.size())) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
    return l[static_cast<size_t>(i)];
  }
  void Put(int i, const std::string& s) override {
    auto l = Lines();
    if (i < 0 || i >= static_cast<int>(l.size())) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
    l[static_cast<size_t>(i)] = s;
    Store(l);
  }
  void Insert(int i, const std::string& s) override {
    auto l = Lines();
    if (i < 0 || i > static_cast<int>(l.size())) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
    l.insert(l.begin() + i, s);
    Store(l);
  }
  void Delete(int i) override {
    auto l = Lines();
    if (i < 0 || i >= static_cast<int>(l.size())) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
    l.erase(l.begin() + i);
    Store(l);
  }
  void Clear() override { memo_->SetText(""); }
  std::string Text() const override { return memo_->Text(); }
  void SetText(const std::string& t) override {
    // Any line ending in, CR LF (what the edit control shows) out.
    TStringList l;
    l.SetText(t);
    std::vector<std::string> v;
    for (int i = 0; i < l.Count(); ++i) v.push_back(l.Get(i));
    Store(v);
  }

 private:
  std::vector<std::string> Lines() const {
    std::string t = memo_->Text();
    std::vector<std::string> out;
    if (t.empty()) return out;
    size_t start = 0;
    for (;;) {
      size_t p = t.find_first_of("\r\n", start);
      if (p == std::string::npos) {
        out.push_back(t.substr(start));
        break;
      }
      out.push_back(t.substr(start, p - start));
      start = p + ((t[p] == '\r' && p + 1 < t.size() && t[p + 1] == '\n') ? 2 : 1);
      if (start >= t.size()) break;
    }
    return out;
  }
  void Store(const std::vector<std::string>& l) {
    std::string t;
    for (size_t i = 0; i < l.size(); ++i) {
      if (i) t += "\r\n";
      t += l[i];
    }
    memo_->SetText(t);
  }
  TMemo* memo_;
};

// ---------------------------------------------------------------- TCustomLabel

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 65;
  height_ = 13;
  click_events_ = true;
}

void TCustomLabel::SetFocusControl(TWinControl* c) {
  if (c == focus_control_) return;
  if (focus_control_) focus_control_->RemoveFreeNotification(this);
  focus_control_ = c;
  if (focus_control_) focus_control_->FreeNotification(this);
}

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == focus_control_) focus_control_ = nullptr;
}

UINT TCustomLabel::DrawTextFlags() const {
  UINT f = DT_EXPANDTABS;
  if (word_wrap_) f |= DT_WORDBREAK;
  if (!ShowAccelChar) f |= DT_NOPREFIX;
  if (alignment_ == taRightJustify) f |= DT_RIGHT;
  if (alignment_ == taCenter) f |= DT_CENTER;
  return f;
}

void TCustomLabel::AdjustBounds() {
  if (!auto_size_) return;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font_.Handle());
  std::string t = text_.empty() ? std::string(" ") : text_;
  RECT r{0, 0, word_wrap_ ? width_ : 0, 0};
  DrawTextA(dc, t.data(), static_cast<int>(t.size()), &r, DrawTextFlags() | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  int w = word_wrap_ ? width_ : r.right;
  int left = left_;
  if (!word_wrap_ && alignment_ == taRightJustify) left = left_ + width_ - w;
  if (!word_wrap_ && alignment_ == taCenter) left = left_ + (width_ - w) / 2;
  SetBounds(left, top_, w, r.bottom);
}

void TCustomLabel::Paint() {
  TCanvas& c = Canvas();
  RECT r{0, 0, width_, height_};
  if (!transparent_) {
    c.Brush().SetColor(color_);
    c.Brush().SetStyle(bsSolid);
    c.FillRect(r);
  }
  c.Brush().SetStyle(bsClear);
  c.Font().Assign(font_);
  UINT f = DrawTextFlags();
  if (layout_ != tlTop) {
    RECT m = r;
    c.DrawText(text_, m, f | DT_CALCRECT);
    int off = layout_ == tlCenter ? (height_ - (m.bottom - m.top)) / 2 : height_ - (m.bottom - m.top);
    r.top += off;
  }
  if (!enabled_) {
    // The engraved look of disabled text.
    OffsetRect(&r, 1, 1);
    c.Font().SetColor(clBtnHighlight);
    c.DrawText(text_, r, f);
    OffsetRect(&r, -1, -1);
    c.Font().SetColor(clBtnShadow);
  }
  c.DrawText(text_, r, f);
}

// ---------------------------------------------------------------- buttons

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) { TabStop = true; }

void TButtonControl::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  if (word_wrap_) p.Style |= BS_MULTILINE;
}

void TButtonControl::SetWordWrap(bool v) {
  word_wrap_ = v;
  if (!HandleAllocated()) return;
  // The button reads the style whenever it paints.
  const LONG style = GetWindowLongA(Handle(), GWL_STYLE);
  SetWindowLongA(Handle(), GWL_STYLE, v ? style | BS_MULTILINE : style & ~BS_MULTILINE);
  Invalidate();
}

void TButtonControl::WndProc(TMessage& m) {
  if (m.Msg == CN_COMMAND) {
    if (HIWORD(m.WParam) == BN_CLICKED) ButtonClicked();
    return;
  }
  TWinControl::WndProc(m);
}

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
  width_ = 75;
  height_ = 25;
}

void TButton::CreateParams(TCreateParams& p) {
  TButtonControl::CreateParams(p);
  p.WinClassName = "BUTTON";
  p.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool v) {
  if (v == default_) return;
  default_ = v;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETSTYLE, v ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (ModalResult != 0) {
    if (TForm* f = GetParentForm(this)) f->ModalResult = ModalResult;
  }
  TButtonControl::Click();
}

TCheckBox::TCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
  width_ = 97;
  height_ = 17;
}

void TCheckBox::CreateParams(TCreateParams& p) {
  TButtonControl::CreateParams(p);
  p.WinClassName = "BUTTON";
  // The state is ours; the window only shows it.
  p.Style |= BS_3STATE | (Alignment == taLeftJustify ? BS_LEFTTEXT : 0);
}

void TCheckBox::InitWnd() {
  TButtonControl::InitWnd();
  SendMessageA(handle_, BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCheckBox::SetState(TCheckBoxState s) {
  if (s == state_) return;
  state_ = s;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(s), 0);
  Click();
}

void TCheckBox::ButtonClicked() {
  switch (state_) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(AllowGrayed ? cbGrayed : cbUnchecked); break;
    case cbGrayed: SetState(cbUnchecked); break;
  }
}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
  width_ = 113;
  height_ = 17;
}

void TRadioButton::CreateParams(TCreateParams& p) {
  TButtonControl::CreateParams(p);
  p.WinClassName = "BUTTON";
  p.Style |= BS_RADIOBUTTON;
}

void TRadioButton::InitWnd() {
  TButtonControl::InitWnd();
  SendMessageA(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, v ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!v) return;
  if (parent_) {
    for (int i = 0; i < parent_->ControlCount(); ++i) {
      TRadioButton* r = dynamic_cast<TRadioButton*>(parent_->Controls(i));
      if (r && r != this) r->SetChecked(false);
    }
  }
  Click();
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  width_ = 185;
  height_ = 105;
}

void TGroupBox::AdjustClientRect(RECT& r) {
  TCanvas& c = Canvas();
  c.Font().Assign(font_);
  int h = c.TextHeight("0");
  r.top += h;
  InflateRect(&r, -2, -2);
  if (canvas_) canvas_->ReleaseOwnDC();
}

void TGroupBox::Paint() {
  TCanvas& c = Canvas();
  c.Font().Assign(font_);
  int h = c.TextHeight("0");
  RECT r = ClientRect();
  r.top += h / 2;
  DrawEdge(c.Handle(), &r, EDGE_ETCHED, BF_RECT);
  std::string t = Text();
  if (!t.empty()) {
    RECT tr{8, 0, 0, h};
    c.Brush().SetColor(color_);
    c.DrawText(t, tr, DT_SINGLELINE | DT_CALCRECT);
    tr.left -= 1;
    tr.right += 1;
    c.FillRect(tr);
    tr.left += 1;
    c.Brush().SetStyle(bsClear);
    c.Font().SetColor(enabled_ ? font_.Color() : clGrayText);
    c.DrawText(t, tr, DT_SINGLELINE);
  }
}

// ---------------------------------------------------------------- edits

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 121;
  height_ = 21;
  TabStop = true;
  color_ = clWindow;
  parent_color_ = false;
}

void TCustomEdit::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = "EDIT";
  p.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
  p.Style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  if (read_only_) p.Style |= ES_READONLY;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::InitWnd() {
  TWinControl::InitWnd();
  last_text_ = text_;
  SendMessageA(handle_, EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
  if (password_char_) SendMessageA(handle_, EM_SETPASSWORDCHAR, static_cast<unsigned char>(password_char_), 0);
}

void TCustomEdit::SetMaxLength(int v) {
  max_length_ = std::max(v, 0);
  if (HandleAllocated()) SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
}

void TCustomEdit::SetPasswordChar(char c) {
  password_char_ = c;
  if (HandleAllocated()) {
    SendMessageA(Handle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(c), 0);
    Invalidate();
  }
}

void TCustomEdit::SetReadOnly(bool v) {
  read_only_ = v;
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETREADONLY, v, 0);
}

int TCustomEdit::SelStart() {
  DWORD s = 0;
  if (HandleAllocated()) SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), 0);
  return static_cast<int>(s);
}

void TCustomEdit::SetSelStart(int v) {
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(v), v);
}

int TCustomEdit::SelLength() {
  DWORD s = 0, e = 0;
  if (HandleAllocated()) SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  return static_cast<int>(e - s);
}

void TCustomEdit::SetSelLength(int v) {
  int s = SelStart();
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(s), s + v);
}

std::string TCustomEdit::SelText() {
  int s = SelStart();
  return Text().substr(static_cast<size_t>(s), static_cast<size_t>(SelLength()));
}

void TCustomEdit::SetSelText(const std::string& t) {
  if (HandleAllocated()) SendMessageA(Handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(t.c_str()));
}

void TCustomEdit::SelectAll() {
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETSEL, 0, -1);
}

bool TCustomEdit::Modified() { return HandleAllocated() && SendMessageA(Handle(), EM_GETMODIFY, 0, 0) != 0; }

void TCustomEdit::SetModified(bool v) {
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETMODIFY, v, 0);
}

void TCustomEdit::Change() {
  if (OnChange && !(ComponentState() & csDestroying)) OnChange(this);
}

void TCustomEdit::WndProc(TMessage& m) {
  if (m.Msg == CN_COMMAND) {
    // Some edit controls notify even when a key was refused (text at its
    // limit): only a real change counts.
    if (HIWORD(m.WParam) == EN_CHANGE) {
      std::string now = Text();
      if (now != last_text_) {
        last_text_ = now;
        Change();
      }
    }
    return;
  }
  TWinControl::WndProc(m);
}

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner), lines_(new TMemoStrings(this)) {
  width_ = 185;
  height_ = 89;
}

TMemo::~TMemo() = default;

void TMemo::CreateParams(TCreateParams& p) {
  TCustomEdit::CreateParams(p);
  p.Style |= ES_MULTILINE | ES_WANTRETURN;
  if (word_wrap_ && scroll_bars_ != ssHorizontal && scroll_bars_ != ssBoth) p.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
  if (scroll_bars_ == ssVertical || scroll_bars_ == ssBoth) p.Style |= WS_VSCROLL;
  if (scroll_bars_ == ssHorizontal || scroll_bars_ == ssBoth) p.Style |= WS_HSCROLL;
}

void TMemo::SetScrollBars(TScrollStyle v) {
  if (v == scroll_bars_) return;
  std::string t = Text();
  scroll_bars_ = v;
  text_ = t;
  RecreateWnd();
}

void TMemo::SetWordWrap(bool v) {
  if (v == word_wrap_) return;
  std::string t = Text();
  word_wrap_ = v;
  text_ = t;
  RecreateWnd();
}

bool TMemo::WantsKey(WORD key) {
  if (key == VK_TAB) return WantTabs;
  if (key == VK_RETURN) return WantReturns;
  return false;
}

// ---------------------------------------------------------------- TCustomComboBox

TCustomComboBox::TCustomComboBox(TComponent* AOwner)
    : TWinControl(AOwner), items_(new TWindowListStrings(this, &saved_items_, kComboMsgs)) {
  width_ = 145;
  height_ = 21;
  TabStop = true;
  color_ = clWindow;
  parent_color_ = false;
}

TCustomComboBox::~TCustomComboBox() { DestroyEntries(); }

void TCustomComboBox::DestroyEntries() {
  Destroying();
  DestroyHandle();
}

void TCustomComboBox::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = "COMBOBOX";
  p.Style |= WS_VSCROLL | CBS_AUTOHSCROLL;
  p.Style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  switch (style_) {
    case csDropDown: p.Style |= CBS_DROPDOWN; break;
    case csSimple: p.Style |= CBS_SIMPLE; break;
    case csDropDownList: p.Style |= CBS_DROPDOWNLIST; break;
    case csOwnerDrawFixed: p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS; break;
    case csOwnerDrawVariable: p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS; break;
  }
  if (sorted_) p.Style |= CBS_SORT;
  // The window's height includes the dropped-down list.
  if (style_ != csSimple) p.Height = height_ + DropDownCount * (OwnerDrawn() ? item_height_ : 16) + 4;
}

void TCustomComboBox::InitWnd() {
  TWinControl::InitWnd();
  for (int i = 0; i < saved_items_.Count(); ++i) {
    // In place, so a sorted combo keeps the order the entries had.
    SendMessageA(handle_, CB_INSERTSTRING, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(saved_items_.Get(i).c_str()));
    if (saved_items_.Objects(i))
      SendMessageA(handle_, CB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(saved_items_.Objects(i)));
  }
  saved_items_.Clear();
  if (saved_index_ >= 0) SendMessageA(handle_, CB_SETCURSEL, static_cast<WPARAM>(saved_index_), 0);
  if (!text_.empty() && style_ != csDropDownList && !OwnerDrawn()) SetWindowTextA(handle_, text_.c_str());
  if (max_length_) SendMessageA(handle_, CB_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
  if (extended_ui_) SendMessageA(handle_, CB_SETEXTENDEDUI, TRUE, 0);
  UpdateBoundsFromWindow();
}

void TCustomComboBox::DestroyHandle() {
  if (HandleAllocated() && !(ComponentState() & csDestroying)) {
    saved_items_.Clear();
    int n = static_cast<int>(SendMessageA(handle_, CB_GETCOUNT, 0, 0));
    std::vector<std::pair<std::string, TObject*>> keep;
    for (int i = 0; i < n; ++i) keep.emplace_back(items_->Get(i), items_->Objects(i));
    saved_index_ = ItemIndex();
    text_ = Text();
    for (auto& k : keep) saved_items_.AddObject(k.first, k.second);
    keeping_entries_ = true;
  }
  TWinControl::DestroyHandle();
  keeping_entries_ = false;
}

void TCustomComboBox::SetBounds(int left, int top, int width, int height) {
  if (!HandleAllocated() || style_ == csSimple) {
    TWinControl::SetBounds(left, top, width, height);
    return;
  }
  int list = DropDownCount * (OwnerDrawn() ? item_height_ : 16) + 4;
  SetWindowPos(handle_, nullptr, left, top, width, height + list, SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateBoundsFromWindow();
}

int TCustomComboBox::ItemIndex() {
  if (!HandleAllocated()) return saved_index_;
  return static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
}

void TCustomComboBox::SetItemIndex(int i) {
  if (!HandleAllocated()) {
    saved_index_ = i;
    return;
  }
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

void TCustomComboBox::SetStyle(TComboBoxStyle s) {
  if (s == style_) return;
  style_ = s;
  RecreateWnd();
}

int TCustomComboBox::ItemHeight() {
  if (OwnerDrawn() || !HandleAllocated()) return item_height_;
  return static_cast<int>(SendMessageA(handle_, CB_GETITEMHEIGHT, 0, 0));
}

void TCustomComboBox::SetItemHeight(int v) {
  item_height_ = v;
  if (!HandleAllocated()) return;
  // An owner-drawn list is measured only when its window is made.
  if (OwnerDrawn())
    RecreateWnd();
  else
    SendMessageA(handle_, CB_SETITEMHEIGHT, 0, v);
}

void TCustomComboBox::SetMaxLength(int v) {
  max_length_ = v;
  if (HandleAllocated()) SendMessageA(handle_, CB_LIMITTEXT, static_cast<WPARAM>(v), 0);
}

void TCustomComboBox::SetSorted(bool v) {
  if (v == sorted_) return;
  sorted_ = v;
  if (!HandleAllocated()) return;
  RecreateWnd();
  if (!v) return;
  // The re-made window holds the entries in their old order: sort them.
  std::vector<std::pair<std::string, TObject*>> all;
  for (int i = 0; i < items_->Count(); ++i) all.emplace_back(items_->Get(i), items_->Objects(i));
  keeping_entries_ = true;
  SendMessageA(handle_, CB_RESETCONTENT, 0, 0);
  keeping_entries_ = false;
  for (auto& e : all) items_->AddObject(e.first, e.second);
}

void TCustomComboBox::SetExtendedUI(bool v) {
  extended_ui_ = v;
  if (HandleAllocated()) SendMessageA(handle_, CB_SETEXTENDEDUI, v, 0);
}

bool TCustomComboBox::DroppedDown() { return HandleAllocated() && SendMessageA(Handle(), CB_GETDROPPEDSTATE, 0, 0); }

void TCustomComboBox::SetDroppedDown(bool v) {
  if (HandleAllocated()) SendMessageA(Handle(), CB_SHOWDROPDOWN, v, 0);
}

std::string TCustomComboBox::Text() {
  if (HandleAllocated() && (style_ == csDropDownList || OwnerDrawn())) {
    int i = ItemIndex();
    return i >= 0 ? items_->Get(i) : std::string();
  }
  return TWinControl::Text();
}

void TCustomComboBox::SetText(const std::string& s) {
  if (style_ == csDropDownList || OwnerDrawn()) {
    SetItemIndex(items_->IndexOf(s));
    return;
  }
  TWinControl::SetText(s);
}

bool TCustomComboBox::WantsKey(WORD key) {
  // An open list takes Enter and Esc to close itself.
  return key != VK_TAB && DroppedDown();
}

void TCustomComboBox::MeasureItem(int index, int& height) {
  height = item_height_;
  if (OnMeasureItem) OnMeasureItem(this, index, height);
}

void TCustomComboBox::DrawItem(int index, const RECT& rect, TOwnerDrawState state) {
  if (OnDrawItem) {
    OnDrawItem(this, index, rect, state);
    return;
  }
  draw_canvas_.FillRect(rect);
  if (index >= 0) draw_canvas_.TextOut(rect.left + 2, rect.top, items_->Get(index));
}

void TCustomComboBox::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      switch (HIWORD(m.WParam)) {
        case CBN_EDITCHANGE:
        case CBN_SELCHANGE:
          if (HIWORD(m.WParam) == CBN_SELCHANGE && style_ != csDropDownList && !OwnerDrawn()) {
            // The edit shows the new item only after this notification.
            int i = ItemIndex();
            if (i >= 0) SetWindowTextA(handle_, items_->Get(i).c_str());
          }
          if (OnChange && !(ComponentState() & csDestroying)) OnChange(this);
          break;
        case CBN_DROPDOWN:
          if (OnDropDown) OnDropDown(this);
          break;
        case CBN_CLOSEUP:
          CloseUp();
          break;
        case CBN_SELENDOK:
          SelEndOk();
          break;
        case CBN_SELENDCANCEL:
          SelEndCancel();
          break;
      }
      return;
    case CN_MEASUREITEM: {
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
      int h = static_cast<int>(mi->itemHeight);
      MeasureItem(static_cast<int>(mi->itemID), h);
      mi->itemHeight = static_cast<UINT>(std::max(h, 1));
      m.Result = TRUE;
      return;
    }
    case CN_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
      TOwnerDrawState state = 0;
      if (d->itemState & ODS_SELECTED) state |= 1u << odSelected;
      if (d->itemState & ODS_GRAYED) state |= 1u << odGrayed;
      if (d->itemState & ODS_DISABLED) state |= 1u << odDisabled;
      if (d->itemState & ODS_CHECKED) state |= 1u << odChecked;
      if (d->itemState & ODS_FOCUS) state |= 1u << odFocused;
      if (d->itemState & ODS_DEFAULT) state |= 1u << odDefault;
      if (d->itemState & ODS_COMBOBOXEDIT) state |= 1u << odComboBoxEdit;
      int saved = SaveDC(d->hDC);
      draw_canvas_.SetHandle(d->hDC);
      draw_canvas_.Font().Assign(font_);
      if (state & (1u << odSelected)) {
        draw_canvas_.Brush().SetColor(clHighlight);
        draw_canvas_.Font().SetColor(clHighlightText);
      } else {
        draw_canvas_.Brush().SetColor(color_);
      }
      draw_struct_ = d;
      if (d->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) DrawItem(static_cast<int>(d->itemID), d->rcItem, state);
      if (d->itemAction & ODA_FOCUS) ::DrawFocusRect(d->hDC, &d->rcItem);
      draw_struct_ = nullptr;
      draw_canvas_.SetHandle(nullptr);
      RestoreDC(d->hDC, saved);
      m.Result = TRUE;
      return;
    }
    case CN_DELETEITEM: {
      auto* d = reinterpret_cast<DELETEITEMSTRUCT*>(m.LParam);
      if (!keeping_entries_) DeleteItem(static_cast<int>(d->itemID), reinterpret_cast<TObject*>(d->itemData));
      m.Result = TRUE;
      return;
    }
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TListBox

TListBox::TListBox(TComponent* AOwner)
    : TWinControl(AOwner), items_(new TWindowListStrings(this, &saved_items_, kListBoxMsgs)) {
  width_ = 121;
  height_ = 97;
  TabStop = true;
  color_ = clWindow;
  parent_color_ = false;
}

TListBox::~TListBox() = default;

void TListBox::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = "LISTBOX";
  p.Style |= LBS_NOTIFY | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
  p.Style &= ~static_cast<DWORD>(WS_CLIPCHILDREN);
  if (multi_select_) p.Style |= extended_select_ ? LBS_EXTENDEDSEL : LBS_MULTIPLESEL;
  if (sorted_) p.Style |= LBS_SORT;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::InitWnd() {
  TWinControl::InitWnd();
  for (int i = 0; i < saved_items_.Count(); ++i) {
    LRESULT at = SendMessageA(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(saved_items_.Get(i).c_str()));
    if (saved_items_.Objects(i))
      SendMessageA(handle_, LB_SETITEMDATA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(saved_items_.Objects(i)));
  }
  saved_items_.Clear();
}

void TListBox::DestroyHandle() {
  if (HandleAllocated()) {
    int n = static_cast<int>(SendMessageA(handle_, LB_GETCOUNT, 0, 0));
    std::vector<std::pair<std::string, TObject*>> keep;
    for (int i = 0; i < n; ++i) keep.emplace_back(items_->Get(i), items_->Objects(i));
    saved_items_.Clear();
    for (auto& k : keep) saved_items_.AddObject(k.first, k.second);
  }
  TWinControl::DestroyHandle();
}

int TListBox::ItemIndex() {
  if (!HandleAllocated()) return -1;
  if (multi_select_) {
    int i = static_cast<int>(SendMessageA(handle_, LB_GETCARETINDEX, 0, 0));
    return (i >= 0 && Selected(i)) || SelCount() > 0 ? i : -1;
  }
  return static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int i) {
  if (!HandleAllocated()) return;
  if (multi_select_) {
    SendMessageA(handle_, LB_SETCARETINDEX, static_cast<WPARAM>(i), FALSE);
  } else {
    SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
  }
}

void TListBox::SetMultiSelect(bool v) {
  if (v == multi_select_) return;
  multi_select_ = v;
  RecreateWnd();
}

void TListBox::SetExtendedSelect(bool v) {
  if (v == extended_select_) return;
  extended_select_ = v;
  RecreateWnd();
}

void TListBox::SetSorted(bool v) {
  if (v == sorted_) return;
  sorted_ = v;
  RecreateWnd();
}

bool TListBox::Selected(int i) {
  if (!HandleAllocated()) return false;
  LRESULT r = SendMessageA(handle_, LB_GETSEL, static_cast<WPARAM>(i), 0);
  if (r == LB_ERR) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
  return r > 0;
}

void TListBox::SetSelected(int i, bool v) {
  if (!HandleAllocated()) return;
  if (multi_select_) {
    if (SendMessageA(handle_, LB_SETSEL, v, i) == LB_ERR)
      throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
  } else if (v) {
    SetItemIndex(i);
  } else if (ItemIndex() == i) {
    SetItemIndex(-1);
  }
}

int TListBox::SelCount() {
  if (!HandleAllocated()) return 0;
  if (!multi_select_) return ItemIndex() >= 0 ? 1 : 0;
  return static_cast<int>(SendMessageA(handle_, LB_GETSELCOUNT, 0, 0));
}

void TListBox::ClearSelection() {
  if (!HandleAllocated()) return;
  if (multi_select_)
    SendMessageA(handle_, LB_SETSEL, FALSE, -1);
  else
    SetItemIndex(-1);
}

int TListBox::ItemHeight() { return HandleAllocated() ? static_cast<int>(SendMessageA(handle_, LB_GETITEMHEIGHT, 0, 0)) : 13; }

int TListBox::TopIndex() { return HandleAllocated() ? static_cast<int>(SendMessageA(handle_, LB_GETTOPINDEX, 0, 0)) : 0; }

void TListBox::SetTopIndex(int i) {
  if (HandleAllocated()) SendMessageA(handle_, LB_SETTOPINDEX, static_cast<WPARAM>(i), 0);
}

int TListBox::ItemAtPos(POINT p, bool existing) {
  if (!HandleAllocated()) return -1;
  LRESULT r = SendMessageA(handle_, LB_ITEMFROMPOINT, 0, MAKELPARAM(p.x, p.y));
  int i = LOWORD(r);
  bool outside = HIWORD(r) != 0;
  if (existing && outside) return -1;
  return i;
}

void TListBox::WndProc(TMessage& m) {
  if (m.Msg == CN_COMMAND) {
    switch (HIWORD(m.WParam)) {
      case LBN_SELCHANGE: Click(); break;
      case LBN_DBLCLK: DblClick(); break;
    }
    return;
  }
  // Double clicks come through LBN_DBLCLK.
  if (m.Msg == WM_LBUTTONDBLCLK) {
    DefaultHandler(m);
    return;
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TScrollBar

TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 121;
  height_ = GetSystemMetrics(SM_CYHSCROLL);
  TabStop = true;
}

void TScrollBar::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = "SCROLLBAR";
  p.Style |= kind_ == sbHorizontal ? SBS_HORZ : SBS_VERT;
}

void TScrollBar::InitWnd() {
  TWinControl::InitWnd();
  UpdateInfo();
}

void TScrollBar::SetKind(TScrollBarKind k) {
  if (k == kind_) return;
  kind_ = k;
  SetBounds(left_, top_, height_, width_);
  RecreateWnd();
}

void TScrollBar::UpdateInfo() {
  if (!HandleAllocated()) return;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  si.nMin = min_;
  si.nMax = max_;
  si.nPage = static_cast<UINT>(page_size_);
  si.nPos = position_;
  SetScrollInfo(handle_, SB_CTL, &si, TRUE);
}

void TScrollBar::SetPageSize(int v) {
  page_size_ = std::max(0, v);
  UpdateInfo();
}

void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) throw Exception("Scroll bar property out of range");
  position = std::max(min, std::min(position, max));
  bool changed = position != position_;
  min_ = min;
  max_ = max;
  position_ = position;
  UpdateInfo();
  if (changed && OnChange && !(ComponentState() & csDestroying)) OnChange(this);
}

void TScrollBar::WndProc(TMessage& m) {
  if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
    int code = LOWORD(m.WParam);
    int pos = position_;
    TScrollCode sc = scEndScroll;
    // The 16-bit position in the message is not enough: ask the bar.
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(handle_, SB_CTL, &si);
    int top = max_ - std::max(page_size_ - 1, 0);
    switch (code) {
      case SB_LINEUP: sc = scLineUp; pos -= SmallChange; break;
      case SB_LINEDOWN: sc = scLineDown; pos += SmallChange; break;
      case SB_PAGEUP: sc = scPageUp; pos -= LargeChange; break;
      case SB_PAGEDOWN: sc = scPageDown; pos += LargeChange; break;
      case SB_THUMBPOSITION: sc = scPosition; pos = si.nTrackPos; break;
      case SB_THUMBTRACK: sc = scTrack; pos = si.nTrackPos; break;
      case SB_TOP: sc = scTop; pos = min_; break;
      case SB_BOTTOM: sc = scBottom; pos = top; break;
      case SB_ENDSCROLL: sc = scEndScroll; break;
    }
    pos = std::max(min_, std::min(pos, top));
    if (OnScroll && !(ComponentState() & csDestroying)) OnScroll(this, sc, pos);
    SetParams(pos, min_, max_);
    return;
  }
  TWinControl::WndProc(m);
}
