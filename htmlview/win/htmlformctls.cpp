#include "win/htmlformctls.h"

#include <windows.h>

#include "win/controls.h"
#include "win/extctrls.h"
#include "win/stdctrls.h"

namespace htmlsubs {
namespace {

// Learns when the parent freed the window control before the peer (children
// go with their parent), so the peer never touches a freed control.
class TPeerWatch : public TComponent {
 public:
  explicit TPeerWatch(TWinControl** target) : TComponent(nullptr), target_(target) {}

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && *target_ == component) *target_ = nullptr;
  }

 private:
  TWinControl** target_;
};

class TWinPeer : public TControlPeer {
 public:
  TWinPeer(TPeerKind kind, TFormControlObj* owner, TWinControl* parent) : kind_(kind), watch_(&ctl_) {
    switch (kind) {
      case pkEdit: {
        auto* e = new TEdit(nullptr);
        e->OnKeyDown = [owner](TObject*, WORD& key, TShiftState) { KeyTo(owner, key); };
        ctl_ = e;
        break;
      }
      case pkButton: {
        auto* b = new TButton(nullptr);
        b->OnClick = [owner](TObject*) { owner->Clicked(); };
        ctl_ = b;
        break;
      }
      case pkCheckBox: {
        auto* c = new TCheckBox(nullptr);
        c->OnClick = [owner](TObject*) { owner->Clicked(); };
        ctl_ = c;
        break;
      }
      case pkRadio: {
        // Each button in a panel of its own: the window system does not
        // group them, the form does (by NAME).
        auto* p = new TPanel(nullptr);
        p->SetBevelOuter(bvNone);
        p->SetParentColor(true);
        p->SetBounds(-400, 0, 13, 14);
        auto* r = new TRadioButton(nullptr);
        r->SetParent(p);
        r->SetBounds(0, 0, 13, 14);
        r->OnClick = [owner](TObject*) { owner->Clicked(); };
        radio_ = r;
        ctl_ = p;
        break;
      }
      case pkListBox:
        ctl_ = new TListBox(nullptr);
        break;
      case pkCombo: {
        auto* c = new TComboBox(nullptr);
        c->SetStyle(csDropDownList);
        ctl_ = c;
        break;
      }
      case pkMemo: {
        auto* m = new TMemo(nullptr);
        m->SetScrollBars(ssBoth);
        m->SetWordWrap(false);
        m->OnKeyDown = [owner](TObject*, WORD& key, TShiftState) { KeyTo(owner, key); };
        ctl_ = m;
        break;
      }
    }
    ctl_->FreeNotification(&watch_);
    ctl_->SetVisible(false);
    ctl_->SetParent(parent);
  }
  ~TWinPeer() override {
    if (ctl_) {
      ctl_->RemoveFreeNotification(&watch_);
      delete ctl_;
    }
  }

  TWinControl* Window() const { return ctl_; }
  TWinControl* Button() const { return radio_ && ctl_ ? radio_ : ctl_; }

  void SetBounds(int left, int top, int width, int height) override {
    if (ctl_) ctl_->SetBounds(left, top, width, height);
  }
  int Left() override { return ctl_ ? ctl_->Left() : 0; }
  int Top() override { return ctl_ ? ctl_->Top() : 0; }
  int Width() override { return ctl_ ? ctl_->Width() : 0; }
  int Height() override { return ctl_ ? ctl_->Height() : 0; }
  void SetClientSize(int width, int height) override {
    if (!ctl_) return;
    const SIZE f = Frame();
    ctl_->SetBounds(ctl_->Left(), ctl_->Top(), width + f.cx, height + f.cy);
  }
  void SetClientWidth(int width) override {
    if (ctl_) ctl_->SetWidth(width + Frame().cx);
  }
  bool Visible() override { return ctl_ && ctl_->Visible(); }
  void SetVisible(bool v) override {
    if (ctl_) ctl_->SetVisible(v);
  }
  std::string Text() override { return ctl_ ? ctl_->Text() : std::string(); }
  void SetText(const std::string& s) override {
    if (ctl_) ctl_->SetText(s);
  }
  bool Checked() override {
    if (!ctl_) return false;
    if (kind_ == pkRadio) return radio_->Checked();
    auto* c = dynamic_cast<TCheckBox*>(ctl_);
    return c && c->Checked();
  }
  void SetChecked(bool v) override {
    if (!ctl_) return;
    if (kind_ == pkRadio) radio_->SetChecked(v);
    if (auto* c = dynamic_cast<TCheckBox*>(ctl_)) c->SetChecked(v);
  }
  void SetFont(const std::string& face, int size) override {
    if (!ctl_) return;
    ctl_->Font().SetName(face);
    ctl_->Font().SetSize(size);
  }
  void SetMaxLength(int n) override {
    if (auto* e = dynamic_cast<TCustomEdit*>(ctl_)) e->SetMaxLength(n);
  }
  void SetPasswordChar(char c) override {
    if (auto* e = dynamic_cast<TCustomEdit*>(ctl_)) e->SetPasswordChar(c);
  }
  void SetMultiSelect(bool v) override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) l->SetMultiSelect(v);
  }
  void AddItem(const std::string& s) override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) l->Items().Add(s);
    if (auto* c = dynamic_cast<TComboBox*>(ctl_)) c->Items().Add(s);
  }
  int ItemCount() override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) return l->Items().Count();
    if (auto* c = dynamic_cast<TComboBox*>(ctl_)) return c->Items().Count();
    return 0;
  }
  int ItemIndex() override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) return l->ItemIndex();
    if (auto* c = dynamic_cast<TComboBox*>(ctl_)) return c->ItemIndex();
    return -1;
  }
  void SetItemIndex(int i) override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) l->SetItemIndex(i);
    if (auto* c = dynamic_cast<TComboBox*>(ctl_)) c->SetItemIndex(i);
  }
  bool Selected(int i) override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) return l->MultiSelect() ? l->Selected(i) : l->ItemIndex() == i;
    if (auto* c = dynamic_cast<TComboBox*>(ctl_)) return c->ItemIndex() == i;
    return false;
  }
  void SetSelected(int i, bool v) override {
    if (auto* l = dynamic_cast<TListBox*>(ctl_)) {
      if (l->MultiSelect())
        l->SetSelected(i, v);
      else if (v)
        l->SetItemIndex(i);
      else if (l->ItemIndex() == i)
        l->SetItemIndex(-1);
    }
    if (auto* c = dynamic_cast<TComboBox*>(ctl_)) {
      if (v) c->SetItemIndex(i);
    }
  }
  TStrings& Lines() override {
    if (auto* m = dynamic_cast<TMemo*>(ctl_)) return m->Lines();
    return none_;
  }
  void SetBackColor(TColor c) override {
    if (!ctl_ || kind_ != pkRadio || (ctl_->Color() == c && !ctl_->ParentColor())) return;
    ctl_->SetColor(c);
    radio_->SetColor(c);
    radio_->Invalidate();
  }

 private:
  // What the window adds around its client area, from its styles rather
  // than its current client rectangle: that one is the outer size until the
  // window exists, and loses a list box's scroll bar only while the bar is
  // shown, so every layout would size the control differently.  The memo
  // always shows both bars.
  SIZE Frame() {
    HWND h = ctl_->Handle();
    RECT r = {0, 0, 0, 0};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)) & ~(WS_VSCROLL | WS_HSCROLL), FALSE,
                       static_cast<DWORD>(GetWindowLongA(h, GWL_EXSTYLE)));
    SIZE f = {r.right - r.left, r.bottom - r.top};
    if (kind_ == pkMemo) {
      f.cx += GetSystemMetrics(SM_CXVSCROLL);
      f.cy += GetSystemMetrics(SM_CYHSCROLL);
    }
    return f;
  }

  static void KeyTo(TFormControlObj* owner, WORD& key) {
    int k = key;
    owner->KeyDown(k);
    key = static_cast<WORD>(k);
  }

  TPeerKind kind_;
  TWinControl* ctl_ = nullptr;
  TRadioButton* radio_ = nullptr;
  TPeerWatch watch_;
  TStringList none_;
};

}  // namespace

TControlPeer* CreateControlPeer(TPeerKind kind, TFormControlObj* owner) {
  TWinControl* parent = owner->Document->ControlParent;
  if (!parent) return CreateDataPeer();
  return new TWinPeer(kind, owner, parent);
}

TWinControl* PeerWindow(TControlPeer* peer) {
  auto* p = dynamic_cast<TWinPeer*>(peer);
  return p ? p->Window() : nullptr;
}

TWinControl* PeerButton(TControlPeer* peer) {
  auto* p = dynamic_cast<TWinPeer*>(peer);
  return p ? p->Button() : nullptr;
}

void PostKeyToViewer(TSectionList* document, int key) {
  auto* viewer = dynamic_cast<TWinControl*>(document->Viewer);
  if (viewer && viewer->HandleAllocated()) PostMessageA(viewer->Handle(), WM_KEYDOWN, key, 0);
}

void TEditFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  const int w = Width(), h = Height();
  canvas.Brush().SetStyle(bsClear);
  canvas.Pen().SetColor(clBlack);
  canvas.Rectangle(x, y, x + w, y + h);
  canvas.Font().SetName(Document->DefaultPreFace);
  canvas.Font().SetSize(10);
  const std::string text = Password ? std::string(TheControl->Text().size(), '*') : TheControl->Text();
  const RECT clip = {x + 4, y + 4, x + w - 4, y + h - 4};
  canvas.TextRect(clip, x + 4, y + (h - canvas.TextHeight("A")) / 2, text);
}

}  // namespace htmlsubs
