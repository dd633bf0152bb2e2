#include "comctrls.h"

#include <commctrl.h>

#include <algorithm>

namespace {

void InsertTab(HWND h, int index, const std::string& text) {
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(h, TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

RECT TabDisplayRect(TWinControl* c) {
  RECT r = c->ClientRect();
  if (c->HandleAllocated()) SendMessageA(c->Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

}  // namespace

// ---------------------------------------------------------------- TTabControl

TTabControl::TTabControl(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 289;
  height_ = 193;
  TabStop = true;
  tabs_.OnChange = [this](TObject*) { UpdateTabs(); };
}

TTabControl::~TTabControl() { tabs_.OnChange = nullptr; }

void TTabControl::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = WC_TABCONTROLA;
}

void TTabControl::InitWnd() {
  TWinControl::InitWnd();
  UpdateTabs();
}

void TTabControl::UpdateTabs() {
  if (!HandleAllocated()) return;
  int keep = TabIndex();
  SendMessageA(handle_, TCM_DELETEALLITEMS, 0, 0);
  for (int i = 0; i < tabs_.Count(); ++i) InsertTab(handle_, i, tabs_.Get(i));
  if (keep < 0 && tabs_.Count() > 0) keep = 0;
  if (keep >= tabs_.Count()) keep = tabs_.Count() - 1;
  SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(keep), 0);
  saved_index_ = keep;
  AlignControls();
}

int TTabControl::TabIndex() {
  if (!HandleAllocated()) return saved_index_;
  return static_cast<int>(SendMessageA(handle_, TCM_GETCURSEL, 0, 0));
}

void TTabControl::SetTabIndex(int i) {
  saved_index_ = i;
  if (HandleAllocated()) SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(i), 0);
}

RECT TTabControl::DisplayRect() { return TabDisplayRect(this); }

void TTabControl::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY) {
    NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
    if (h->code == TCN_SELCHANGING) {
      bool allow = true;
      if (OnChanging) OnChanging(this, allow);
      m.Result = allow ? FALSE : TRUE;
    } else if (h->code == TCN_SELCHANGE) {
      saved_index_ = TabIndex();
      if (OnChange) OnChange(this);
    }
    return;
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TTabSheet

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  visible_ = false;
  align_ = alClient;
  parent_color_ = false;
  color_ = clBtnFace;
}

TTabSheet::~TTabSheet() {
  if (page_control_) page_control_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* pc) {
  if (pc == page_control_) return;
  if (page_control_) page_control_->RemovePage(this);
  page_control_ = pc;
  SetParent(pc);
  if (pc) pc->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (!page_control_) return -1;
  auto& v = page_control_->pages_;
  return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::SetPageIndex(int i) {
  if (!page_control_) return;
  auto& v = page_control_->pages_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  i = std::max(0, std::min(i, static_cast<int>(v.size())));
  v.insert(v.begin() + i, this);
  page_control_->UpdateTabs();
}

int TTabSheet::TabIndex() const {
  if (!page_control_ || !tab_visible_) return -1;
  int n = 0;
  for (TTabSheet* p : page_control_->pages_) {
    if (p == this) return n;
    if (p->tab_visible_) ++n;
  }
  return -1;
}

void TTabSheet::SetTabVisible(bool v) {
  if (v == tab_visible_) return;
  tab_visible_ = v;
  if (page_control_) {
    if (!v && page_control_->active_ == this)
      page_control_->SetActivePage(page_control_->FindNextPage(this, true, true));
    page_control_->UpdateTabs();
  }
}

void TTabSheet::TextChanged() {
  if (page_control_) page_control_->UpdateTabs();
}

void TTabSheet::WndProc(TMessage& m) {
  if (m.Msg == WM_SHOWWINDOW && m.LParam == 0 && !(ComponentState() & csDestroying)) {
    if (m.WParam && OnShow) OnShow(this);
    if (!m.WParam && OnHide) OnHide(this);
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TPageControl

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 289;
  height_ = 193;
  TabStop = true;
}

TPageControl::~TPageControl() {
  Destroying();
  for (TTabSheet* p : pages_) p->page_control_ = nullptr;
  pages_.clear();
  active_ = nullptr;
}

void TPageControl::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = WC_TABCONTROLA;
}

void TPageControl::InitWnd() {
  TWinControl::InitWnd();
  UpdateTabs();
}

void TPageControl::InsertPage(TTabSheet* p) {
  if (std::find(pages_.begin(), pages_.end(), p) == pages_.end()) pages_.push_back(p);
  UpdateTabs();
  if (!active_) SetActivePage(p);
}

void TPageControl::RemovePage(TTabSheet* p) {
  TTabSheet* next = active_ == p ? FindNextPage(p, true, true) : active_;
  if (next == p) next = nullptr;
  pages_.erase(std::remove(pages_.begin(), pages_.end(), p), pages_.end());
  p->page_control_ = nullptr;
  if (active_ == p) {
    active_ = nullptr;
    if (!(ComponentState() & csDestroying)) SetActivePage(next);
  }
  if (!(ComponentState() & csDestroying)) UpdateTabs();
}

void TPageControl::UpdateTabs() {
  if (!HandleAllocated() || (ComponentState() & csDestroying)) return;
  SendMessageA(handle_, TCM_DELETEALLITEMS, 0, 0);
  int n = 0;
  for (TTabSheet* p : pages_)
    if (p->tab_visible_) InsertTab(handle_, n++, p->Text());
  SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(active_ ? active_->TabIndex() : -1), 0);
  AlignControls();
}

void TPageControl::SetActivePage(TTabSheet* p) {
  if (p && p->page_control_ != this) return;
  if (p == active_) return;
  TTabSheet* old = active_;
  active_ = p;
  if (p) {
    p->BringToFront();
    p->SetVisible(true);
    if (p->HandleAllocated()) SetWindowPos(p->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (old) old->SetVisible(false);
  if (HandleAllocated()) SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(p ? p->TabIndex() : -1), 0);
  AlignControls();
}

int TPageControl::ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int i) {
  SetActivePage(i >= 0 && i < PageCount() ? pages_[static_cast<size_t>(i)] : nullptr);
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool forward, bool visible_only) {
  if (pages_.empty()) return nullptr;
  int n = PageCount();
  int start = current ? current->PageIndex() : (forward ? n - 1 : 0);
  if (start < 0) start = forward ? n - 1 : 0;
  int i = start;
  for (int k = 0; k < n; ++k) {
    i = forward ? (i + 1) % n : (i + n - 1) % n;
    TTabSheet* p = pages_[static_cast<size_t>(i)];
    if (!visible_only || p->tab_visible_) return p;
  }
  return nullptr;
}

void TPageControl::SelectNextPage(bool forward) {
  TTabSheet* p = FindNextPage(active_, forward, true);
  if (!p || p == active_) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return;
  SetActivePage(p);
  if (OnChange) OnChange(this);
}

RECT TPageControl::DisplayRect() { return TabDisplayRect(this); }

void TPageControl::WndProc(TMessage& m) {
  if (m.Msg == CN_NOTIFY) {
    NMHDR* h = reinterpret_cast<NMHDR*>(m.LParam);
    if (h->code == TCN_SELCHANGING) {
      bool allow = true;
      if (OnChanging) OnChanging(this, allow);
      m.Result = allow ? FALSE : TRUE;
    } else if (h->code == TCN_SELCHANGE) {
      int tab = static_cast<int>(SendMessageA(handle_, TCM_GETCURSEL, 0, 0));
      for (TTabSheet* p : pages_) {
        if (p->TabIndex() == tab) {
          SetActivePage(p);
          break;
        }
      }
      if (OnChange) OnChange(this);
    }
    return;
  }
  TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 150;
  height_ = 16;
}

void TProgressBar::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.WinClassName = PROGRESS_CLASSA;
}

void TProgressBar::InitWnd() {
  TWinControl::InitWnd();
  SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetMin(int v) {
  min_ = v;
  if (HandleAllocated()) SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SetPosition(position_);
}

void TProgressBar::SetMax(int v) {
  max_ = v;
  if (HandleAllocated()) SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SetPosition(position_);
}

int TProgressBar::Position() { return position_; }

void TProgressBar::SetPosition(int v) {
  position_ = std::max(min_, std::min(v, max_));
  if (HandleAllocated()) SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}
