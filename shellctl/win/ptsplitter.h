// A container split into two framed panes by a bar the user drags,
// horizontally or vertically, with minimum pane sizes, proportional
// resizing and a live or an outline drag.
#pragma once

#include <functional>

#include "ptframe.h"

class TPTSplitter;

class TPTPane : public TPTGroup {
 public:
  explicit TPTPane(TComponent* AOwner);

  int MinSize() const { return min_size_; }
  void SetMinSize(int v) { min_size_ = v; }
  // 0 for the first pane, 1 for the second.
  int Index() const { return index_; }
  void SetIndex(int v) { index_ = v; }
  bool Active() const { return active_; }
  void SetActive(bool v);

  void WndProc(TMessage& m) override;
  void PublishProperties(TPropList& list) const override;

 protected:
  void Paint() override;

 private:
  int min_size_ = 20;
  int index_ = 0;
  bool active_ = false;
};

enum TPTSplitterStyle { ptstVertical, ptstHorizontal };
enum TPTFullDragMode { ptfdOff, ptfdOn, ptfdUser };

using TPTSplitterDragEvent = std::function<void(TObject* aSender, int aPosition)>;

// The split cursors shown over the bar.
const TCursor crHSplit = -14, crVSplit = -15;

class TPTSplitter : public TCustomControl {
 public:
  explicit TPTSplitter(TComponent* AOwner);

  TPTPane* GetPane(int i) const { return i == 0 ? pane1_ : i == 1 ? pane2_ : nullptr; }
  int Pane1MinSize() const { return pane1_ ? pane1_->MinSize() : 0; }
  void SetPane1MinSize(int v) { if (pane1_) pane1_->SetMinSize(v); }
  int Pane2MinSize() const { return pane2_ ? pane2_->MinSize() : 0; }
  void SetPane2MinSize(int v) { if (pane2_) pane2_->SetMinSize(v); }
  TColor Pane1Color() const { return pane1_ ? pane1_->Color() : clBtnFace; }
  void SetPane1Color(TColor v) { if (pane1_) pane1_->SetColor(v); }
  TColor Pane2Color() const { return pane2_ ? pane2_->Color() : clBtnFace; }
  void SetPane2Color(TColor v) { if (pane2_) pane2_->SetColor(v); }
  TPTFrameStyle Pane1FrameStyle() const { return pane1_ ? pane1_->FrameStyle() : ptfsLowered; }
  void SetPane1FrameStyle(TPTFrameStyle v) { if (pane1_) pane1_->SetFrameStyle(v); }
  TPTFrameStyle Pane2FrameStyle() const { return pane2_ ? pane2_->FrameStyle() : ptfsLowered; }
  void SetPane2FrameStyle(TPTFrameStyle v) { if (pane2_) pane2_->SetFrameStyle(v); }

  TPTSplitterStyle Style() const { return style_; }
  void SetStyle(TPTSplitterStyle v);
  int SplitterWidth() const { return splitter_width_; }
  void SetSplitterWidth(int v);
  int Position() const { return position_; }
  void SetPosition(int value, bool updateRatio = true);
  TPTFullDragMode FullDragMode() const { return full_drag_mode_; }
  void SetFullDragMode(TPTFullDragMode v) { full_drag_mode_ = v; }
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v) { proportional_ = v; }
  float Ratio() const { return ratio_; }
  bool Dragging() const { return dragging_; }

  // Panes made when a placed splitter gets its window are named after it;
  // renaming it renames them.
  void SetName(const std::string& name) override;
  void Loaded() override;

  TPTSplitterDragEvent OnSplitterDrag, OnSplitterDrop;
  TNotifyEvent OnChange;

  void WndProc(TMessage& m) override;
  void PublishProperties(TPropList& list) const override;

  // Lays the panes out around the bar at Position.
  void LayoutPanes();
  // The pane a design-time click went to becomes the active one.
  void ActivatePane(TPTPane* pane);

 protected:
  virtual void DrawDragLine();
  virtual void Change();
  virtual void DoResize();
  virtual void DoSplitterDrag(int pos);
  virtual void DoSplitterDrop(int pos);

  void CreateHandle() override;
  void Resize() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  int Extent();
  bool FullDrag() const;
  void StartDrag(TMouseButton button, int coord);
  int ClampCoord(int coord);
  void DragTo(int coord);
  void EndDrag();
  void StoreRatio();
  void FindPanes();
  void RenamePanes();

  TPTPane* pane1_ = nullptr;
  TPTPane* pane2_ = nullptr;
  TPTSplitterStyle style_ = ptstVertical;
  int splitter_width_ = 3;
  int position_ = 65;
  TPTFullDragMode full_drag_mode_ = ptfdUser;
  bool proportional_ = true;
  float ratio_ = 65.0f / 200.0f;
  bool dragging_ = false;
  bool full_drag_now_ = false;  // decided when the drag starts
  int drag_coord_ = -1;
  int grab_offset_ = 0;
  TMouseButton drag_button_ = mbLeft;
};
