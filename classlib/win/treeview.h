// The tree view over the system's tree-view control.
//
// For derived views: TVN_DELETEITEM reaches OnDeletion for every node,
// children before their parent; images are always asked for through the
// display-info notification (GetImageIndex / GetSelectedIndex), so a view
// that answers them itself overrides those members.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls.h"
#include "imagelist.h"

class TCustomTreeView;
class TTreeNodes;

class TTreeNode {
 public:
  TTreeNode(TTreeNodes* owner) : owner_(owner) {}
  HTREEITEM ItemId() const { return item_; }
  TTreeNodes* Owner() const { return owner_; }
  TTreeNode* Parent();
  TTreeNode* GetFirstChild();
  TTreeNode* GetNextSibling();
  const std::string& Text() const { return text_; }
  void SetText(const std::string& s);
  void* Data = nullptr;
  int ImageIndex = -1;
  int SelectedIndex = -1;
  int OverlayIndex() const { return overlay_; }
  void SetOverlayIndex(int v);
  bool Cut();
  void SetCut(bool v);
  bool HasChildren();
  void SetHasChildren(bool v);
  bool Expanded();
  void Expand(bool recurse = false);
  void Collapse(bool recurse = false);
  bool Selected();
  void SetSelected(bool v);
  bool DropTarget();
  void SetDropTarget(bool v);
  // The rectangle of the text alone, in client coordinates.
  RECT DisplayRect();
  // Starts label editing; false when the view refused it.
  bool EditText();
  void Delete();
  int Count();

 private:
  void SetState(UINT mask, bool v);
  TTreeNodes* owner_;
  HTREEITEM item_ = nullptr;
  std::string text_;
  int overlay_ = -1;
  friend class TTreeNodes;
  friend class TCustomTreeView;
};

class TTreeNodes {
 public:
  explicit TTreeNodes(TCustomTreeView* view) : view_(view) {}
  TCustomTreeView* Owner() const { return view_; }
  // parent nullptr adds at the top level.
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
  TTreeNode* AddChildFirst(TTreeNode* parent, const std::string& text);
  TTreeNode* GetFirstNode();
  void Clear();
  void BeginUpdate();
  void EndUpdate();
  int Count() const { return count_; }

 private:
  TTreeNode* Insert(TTreeNode* parent, HTREEITEM after, const std::string& text);
  TCustomTreeView* view_;
  int count_ = 0;
  int update_ = 0;
  friend class TCustomTreeView;
};

enum THitTest { htAbove, htBelow, htNowhere, htOnItem, htOnButton, htOnIcon, htOnIndent, htOnLabel, htOnRight,
                htOnStateIcon, htToLeft, htToRight };
using THitTests = unsigned;  // bits 1 << THitTest

// Declared by both this header and its sibling: one definition whichever
// comes first.
#ifndef MORVANE_TBORDERSTYLE
#define MORVANE_TBORDERSTYLE
enum TBorderStyle { bsNoBorder, bsSingleBorder };
#endif
enum TDragMode { dmManual, dmAutomatic };

using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVChangingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowChange)>;
using TTVExpandingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowExpansion)>;
using TTVCollapsingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowCollapse)>;
using TTVExpandedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVEditingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowEdit)>;
using TTVEditedEvent = std::function<void(TObject* Sender, TTreeNode* Node, std::string& S)>;
using TTVCompare = PFNTVCOMPARE;  // int CALLBACK (LPARAM node1, LPARAM node2, LPARAM data)

class TCustomTreeView : public TWinControl {
 public:
  explicit TCustomTreeView(TComponent* AOwner);
  ~TCustomTreeView() override;

  TTreeNodes& Items() { return items_; }
  TTreeNode* Selected();
  void SetSelected(TTreeNode* n);
  TTreeNode* DropTarget();
  void SetDropTarget(TTreeNode* n);
  TTreeNode* GetNodeAt(int x, int y);
  THitTests GetHitTestInfoAt(int x, int y);
  // Sorts the children of parent (nullptr: the top level); the callback
  // gets TTreeNode pointers as its first two arguments.
  bool CustomSort(TTVCompare compare, LPARAM data, TTreeNode* parent = nullptr);
  TTreeNode* NodeFromItem(HTREEITEM h);

  bool ShowButtons = true, ShowLines = true, ShowRoot = true, ReadOnly = false, HideSelection = true;
  void ApplyStyles();
  int Indent();
  void SetIndent(int v);
  TBorderStyle BorderStyle = bsSingleBorder;
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* list);
  TDragMode DragMode = dmManual;
  TCursor DragCursor = crNo;

  TTVChangedEvent OnChange, OnExpanded, OnDeletion, OnGetImageIndex, OnGetSelectedIndex;
  TTVChangingEvent OnChanging;
  TTVExpandingEvent OnExpanding;
  TTVCollapsingEvent OnCollapsing;
  TTVEditingEvent OnEditing;
  TTVEditedEvent OnEdited;

  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void Notification(TComponent* c, TOperation op) override;
  // The notifications a derived view extends; each returns the notify result.
  virtual void CNNotify(TMessage& m);
  virtual LRESULT CustomDrawNotify(NMHDR* h);
  virtual void RightClick();
  virtual void BeginDrag(TTreeNode* node, bool right);
  virtual void GetDispInfo(NMTVDISPINFOA* info);
  virtual void TreeKeyDown(NMTVKEYDOWN* k);
  virtual void GetImageIndex(TTreeNode* node);
  virtual void GetSelectedIndex(TTreeNode* node);

 private:
  TTreeNodes items_;
  TCustomImageList* images_ = nullptr;
  int indent_ = 19;
  friend class TTreeNode;
  friend class TTreeNodes;
};

class TTreeView : public TCustomTreeView {
 public:
  using TCustomTreeView::TCustomTreeView;
};
