// The section model: every section of a document answers one set of virtual
// operations; a cell lays its sections out top to bottom with its own float
// margins, and the section list is the whole document.  Drawing joins with
// the Win32 rendering part; this unit holds the layout and text queries.
#pragma once

#include <functional>
#include <string>

#include "htmlcanvas.h"
#include "htmlsubs.h"

namespace htmlsubs {

class TSectionList;

// A layout error (a table with too many columns).
MORVANE_EXCEPTION(EProcessError, Exception);

// A form's submission: Sender is the viewer; the handler owns Results.
using TFormSubmitEvent =
    std::function<void(TObject* Sender, const std::string& Action, const std::string& Method, TStringList* Results)>;

class TSectionBase : public TObject {
 public:
  explicit TSectionBase(TSectionList* owner) : OwnerList(owner) {}
  TSectionBase(TSectionList* owner, const TSectionBase& src) : OwnerList(owner), FlowHeight(src.FlowHeight) {}
  virtual TSectionBase* Clone(TSectionList* owner) const { return new TSectionBase(owner, *this); }
  virtual void EmitSelection() {}
  virtual int Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs);
  virtual bool PositionAt(ThtMeasure&, int, int, int& caretX, int& caretY, int& caretHt, int& pos) {
    (void)caretX, (void)caretY, (void)caretHt;
    pos = -1;
    return false;
  }
  virtual int SearchText(int, const std::string&, bool) { return -1; }
  virtual bool PointOfPosition(ThtMeasure&, int, int&, int&) { return false; }
  virtual bool CharAt(int, char&, TSectionBase*&) { return false; }
  virtual void ReapplyDefaults() { Attached(); }
  virtual void Attached() {}
  virtual void WidthLimits(ThtMeasure&, int& min, int& max) { min = max = 0; }

  TSectionList* OwnerList;
  int FlowHeight = 0;
  int HitHeight = 0;
  int LastTop = 0;
  int FirstPos = 0;
  int PosCount = 0;
};

class TPage : public TSectionBase {
 public:
  using TSectionBase::TSectionBase;
  TSectionBase* Clone(TSectionList* owner) const override { return new TPage(owner, *this); }
};

class TParagraphSpace : public TSectionBase {
 public:
  using TSectionBase::TSectionBase;
  TSectionBase* Clone(TSectionList* owner) const override { return new TParagraphSpace(owner, *this); }
  void Attached() override;
};

class THeadingSpace : public TSectionBase {
 public:
  THeadingSpace(TSectionList* owner, int level) : TSectionBase(owner), HeadingLevel(level) {}
  THeadingSpace(TSectionList* owner, const THeadingSpace& src) : TSectionBase(owner, src), HeadingLevel(src.HeadingLevel) {}
  TSectionBase* Clone(TSectionList* owner) const override { return new THeadingSpace(owner, *this); }
  void Attached() override;
  int HeadingLevel;
};

// An ordered list of sections with its own float margins.
class TCell : public TFreeList {
 public:
  explicit TCell(TSectionList* master) : Document(master) {}
  // A copy whose sections belong to master.
  TCell(TSectionList* master, const TCell& source);
  TSectionBase* Section(int i) const { return static_cast<TSectionBase*>(Items(i)); }
  void Add(TSectionBase* section);
  int Arrange(ThtMeasure& canvas, int y, int width, int& scrollWidth, int& curs);
  void WidthLimits(ThtMeasure& canvas, int& min, int& max);
  TSectionBase* SectionAtY(int y, int& top, int& index) const;
  int SearchText(int from, const std::string& text, bool matchCase);
  bool PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y);
  bool CharAt(int position, char& ch, TSectionBase*& obj);
  void ReapplyDefaults();

  TSectionList* Document;
  int TopY = 0;
  int FirstPos = 0;
  int PosCount = 0;
  IndentManager Margins;
  bool HasBackColor = false;
  TColor BackColor = 0;
};

class TSectionList : public TCell, public TFontDefaults {
 public:
  TSectionList() : TCell(this) {}
  // Selection in text positions; empty unless SelEndPos > SelStartPos.
  int SelStartPos = 0, SelEndPos = 0;
  bool ViewImages = true;
  bool ForPrint = false;
  int ScrollTop = 0;
  TColor Background = 0xFFFFFF;
  // Receives EmitSelection text during one selection operation.
  htmlun2::SelTextCount* TextSink = nullptr;

  // Every form control object (not owned) and the forms of the document
  // (ThtmlForm, owning their controls: declared after AllControls, so
  // freed first while the controls can still leave it), the viewer and
  // the window the controls are children of.
  TList AllControls;
  TFreeList Forms;
  TObject* Viewer = nullptr;
  TObject* ControlParent = nullptr;
  TFormSubmitEvent OnFormSubmit;

  int SelectionLength();
  // Every section whose range reaches into the selection emits its part.
  void EmitSelectionWalk(TCell& cell);
};

}  // namespace htmlsubs
