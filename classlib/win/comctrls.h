// Common controls: tab controls, page controls with tab sheets, progress
// bars.
#pragma once

#include <vector>

#include "controls.h"

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

class TTabControl : public TWinControl {
 public:
  explicit TTabControl(TComponent* AOwner);
  ~TTabControl() override;
  TStrings& Tabs() { return tabs_; }
  int TabIndex();
  void SetTabIndex(int i);
  // The area inside the tabs and the frame, in client coordinates.
  RECT DisplayRect();
  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void WndProc(TMessage& m) override;
  void AdjustClientRect(RECT& r) override { r = DisplayRect(); }
  void UpdateTabs();
  TStringList tabs_;
  int saved_index_ = -1;
};

class TPageControl;

class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return page_control_; }
  void SetPageControl(TPageControl* pc);
  int PageIndex() const;
  void SetPageIndex(int i);
  // The index among the visible tabs, or -1.
  int TabIndex() const;
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool v);
  TNotifyEvent OnShow, OnHide;

 protected:
  void TextChanged() override;
  void WndProc(TMessage& m) override;
  TPageControl* page_control_ = nullptr;
  bool tab_visible_ = true;
  friend class TPageControl;
};

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_[static_cast<size_t>(i)]; }
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* p);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  // The next (or previous) page with a visible tab after 'current'.
  TTabSheet* FindNextPage(TTabSheet* current, bool forward, bool visible_only);
  void SelectNextPage(bool forward);
  RECT DisplayRect();
  // Runs only for changes the user makes on the tabs.
  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void WndProc(TMessage& m) override;
  void AdjustClientRect(RECT& r) override { r = DisplayRect(); }
  void InsertPage(TTabSheet* p);
  void RemovePage(TTabSheet* p);
  void UpdateTabs();
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
  friend class TTabSheet;
};

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetMin(int v);
  void SetMax(int v);
  int Position();
  void SetPosition(int v);
  int Step = 10;
  void StepIt() { SetPosition(Position() + Step); }
  void StepBy(int delta) { SetPosition(Position() + delta); }

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  int min_ = 0, max_ = 100, position_ = 0;
};
