// The section model: every section of a document answers one set of virtual
// operations; a cell lays its sections out top to bottom with its own float
// margins, and the section list is the whole document.  Layout and the text
// queries are portable; drawing (Render) is done by the Win32 halves, and
// natively only moves down by the sections' heights.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "htmlcanvas.h"
#include "htmlsubs.h"

class TStream;
class TMemoryStream;
class TBitmap;
class TTimer;
class TWinControl;
class TGIFImage;

namespace htmlsubs {

class TSectionList;
class TCell;
class TImageObj;

// A layout error (a table with too many columns raises it).
MORVANE_EXCEPTION(EProcessError, Exception);

// What the document model needs of a form control; the form controls
// derive from this.  A control sits at text position Pos of its section
// (placeholder character 2) unless it has no window of its own.
class TFormControlBase : public TObject {
 public:
  int Pos = 0;
  // Sits on the text baseline (check boxes, radio buttons) rather than on
  // the line bottom.
  bool OnBaseline = false;
  // Drawn at the current scroll position.
  bool Shown = false;
  // Has a window control (hidden and image inputs have none).
  virtual bool HasWindow() const { return false; }
  virtual int ControlWidth() const { return 0; }
  virtual int ControlHeight() const { return 0; }
  // Sizing, run for every control before each layout.
  virtual void SetHeightWidth(ThtMeasure& canvas) {}
  // Drawing: the window control is moved to (x, top) of the canvas and
  // shown, or when printing painted there.
  virtual void PlaceAt(TCanvas& canvas, int x, int top, bool forPrint) {}
  // Hides the window control (after a scroll left it undrawn).
  virtual void HideWindow() {}
  // An image input: the click position inside its image.
  virtual void RecordClick(int x, int y) {}
};

// The visible controls of a section, by text position (not owned: the
// forms own their controls).
class TFormControlList : public TList {
 public:
  TFormControlBase* Control(int i) const { return static_cast<TFormControlBase*>(Items(i)); }
  TFormControlBase* ControlAt(int pos) const;
  // Height of the window control at pos (and whether it sits on the
  // baseline), or -1.
  int HeightAt(int pos, bool& onBaseline) const;
  int WidthAt(int pos) const;
  // Distance from pos to the first control at or after it; 9999 when none.
  int DistanceToControl(int pos) const;
};

class TSectionBase : public TObject {
 public:
  explicit TSectionBase(TSectionList* owner) : OwnerList(owner) {}
  TSectionBase(TSectionList* owner, const TSectionBase& src) : OwnerList(owner), FlowHeight(src.FlowHeight) {}
  virtual TSectionBase* Clone(TSectionList* owner) const { return new TSectionBase(owner, *this); }
  virtual void EmitSelection() {}
  virtual int Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs);
  // Draws the section at document Y y (screen Y is y - ScrollTop); returns
  // the Y below it.
  virtual int Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y);
  // x, y relative to the section's top.
  virtual bool LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control) {
    return false;
  }
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
  // Moves a laid-out section down by dy pixels and on by dcurs text
  // positions: what laying it out again there would give, without measuring.
  virtual void Shift(int dy, int dcurs) {
    LastTop += dy;
    FirstPos += dcurs;
  }
  // Applies the moves its cells hold back (tables).
  virtual void Settle() {}

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
  int Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) override;
};

class TParagraphSpace : public TSectionBase {
 public:
  using TSectionBase::TSectionBase;
  TSectionBase* Clone(TSectionList* owner) const override { return new TParagraphSpace(owner, *this); }
  void Attached() override;
  // A line end in copied text.
  void EmitSelection() override;
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
  ~TCell() override = default;
  // A copy whose sections belong to master.
  TCell(TSectionList* master, const TCell& source);
  TSectionBase* Section(int i) const { return static_cast<TSectionBase*>(Items(i)); }
  void Add(TSectionBase* section);
  int Arrange(ThtMeasure& canvas, int y, int width, int& scrollWidth, int& curs);
  void WidthLimits(ThtMeasure& canvas, int& min, int& max);
  int Render(TCanvas& canvas, const ThtRect& clip, int x, int y);
  bool LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control);
  TSectionBase* SectionAtY(int y, int& top, int& index) const;
  // cell is set to this cell when a position is found and it is still null.
  int PositionAt(ThtMeasure& canvas, int x, int y, int& caretX, int& caretY, int& caretHt, TCell*& cell);
  int SearchText(int from, const std::string& text, bool matchCase);
  bool PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y);
  bool CharAt(int position, char& ch, TSectionBase*& obj);
  void ReapplyDefaults();
  // Moves the laid-out cell; its sections follow at the next Settle, so
  // that a cell inside n nested tables is not walked n times.
  void Shift(int dy, int dcurs);
  // Gives every section below the moves held back for it.
  void Settle();

  TSectionList* Document;
  int TopY = 0;
  int FirstPos = 0;
  int PosCount = 0;
  IndentManager Margins;
  bool HasBackColor = false;
  TColor BackColor = 0;

 private:
  // A table lays each cell out once to learn the row heights and again at
  // its place; the second time only moves the first result (layout does not
  // depend on where it starts), or content inside n nested tables would be
  // laid out 2^n times.
  int laidPass_ = -1;
  int laidWidth_ = 0, laidHeight_ = 0, laidScrollWidth_ = 0;
  // Moves not yet given to the sections and margins.
  int heldDy_ = 0, heldDcurs_ = 0;
};

// (Sender, SRC, var Bitmap, var Color): a bitmap handed over becomes the
// cache's; a Color other than -1 is its transparent colour.
using TGetBitmapEvent = std::function<void(TObject*, const std::string&, TBitmap*&, TColor&)>;
// (Sender, SRC, var Stream): the stream stays the handler's.
using TGetImageEvent = std::function<void(TObject*, const std::string&, TMemoryStream*&)>;
using TFormSubmitEvent =
    std::function<void(TObject*, const std::string& action, const std::string& method, TStringList* results)>;

class TSectionList : public TCell, public TFontDefaults {
 public:
  TSectionList() : TSectionList(nullptr, nullptr) {}
  // The animation timer belongs to owner (the viewer); form controls are
  // made on paintPanel.
  TSectionList(TComponent* owner, TWinControl* paintPanel);
  ~TSectionList() override;

  void Clear();
  void SetDefaults(const std::string& face, const std::string& preFace, TColor background, TColor linkColor,
                   TColor textColor, int size);
  void SetBackground(TColor color);
  void SetBackImage(const std::string& name);
  // The BACKGROUND picture (a bitmap), fetched on first need; null without one.
  TObject* GetBackImage();
  void SetScrollTop(int y);
  int Arrange(ThtMeasure& canvas, int y, int width, int& scrollWidth, int& curs);
  int Render(TCanvas& canvas, const ThtRect& clip, int width, int x, int y);
  // The picture of name from the cache or from exactly one source (the
  // bitmap event, else the stream event, else the file); use takes the
  // caller's one use of it.  Null when nothing was found.
  TObject* FetchImage(const std::string& name, uint8_t& transparent, TObject*& mask, TCachedImage& use,
                      bool* fromCache = nullptr);
  // A name as the viewer expands it (unchanged without the hook or when a
  // request event is assigned).
  std::string ExpandName(const std::string& name) const;
  // One step of every animated image that is drawn (the timer's handler).
  void AnimationStep();
  // An image object painted its GIF: the GIF's frames may advance until a
  // paint that covers its place (or leaves it outside the panel) does not
  // draw it again.
  void MarkDrawn(TImageObj* image);
  bool WasDrawn(TGIFImage* image) const;
  // An image object that goes is forgotten.
  void ForgetImage(TImageObj* image);

  // Selection in text positions; empty unless SelEndPos > SelStartPos.
  int SelStartPos = 0, SelEndPos = 0;
  bool ViewImages = true;
  bool ForPrint = false;
  int ScrollTop = 0;
  bool ScrollMoved = false;
  TColor Background = 0xFFFFFF;
  TNotifyEvent OnBackColorChange;
  TComponent* Viewer = nullptr;
  TWinControl* ControlParent = nullptr;
  TGetBitmapEvent OnBitmapRequest;
  TGetImageEvent OnImageRequest;
  TFormSubmitEvent OnFormSubmit;
  // The viewer's file-name expansion.
  std::function<std::string(const std::string&)> OnExpandName;
  std::string BackImageName;
  TObject* BackImage = nullptr;  // a bitmap from the cache, not owned
  bool BackImageTried = false;
  TFreeList Forms;
  TList AnimatedImages;  // TGIFImage, not owned
  // Receives EmitSelection text during one selection operation.
  htmlun2::SelTextCount* TextSink = nullptr;
  int PageBreakY = 0;
  TFreeList ImageMaps;  // TMapItem
  TList AllControls;    // TFormControlBase, not owned
  TTimer* AnimationTimer = nullptr;

  int SelectionLength();

  // Layout passes of the document: what a pass caches (a table's column
  // limits, a cell laid out at one width) holds only while that pass runs,
  // as nothing in the document changes during one.
  int LayoutPass = 0;
  bool InLayout = false;
  // Test seam: false lays out without those caches, measuring and laying
  // out every cell every time, for a fuzzer to compare the two.
  bool CacheLayout = true;
  bool InPass(int pass) const { return InLayout && pass == LayoutPass; }
  // Every section whose range reaches into the selection emits its part.
  void EmitSelectionWalk(TCell& cell);

 private:
  // The platform half: the timer, the animations and the palette.
  void EnableTimer(bool on);
  void RewindAnimations();
  void MakeTimer(TComponent* owner);
  // The timer goes with the document (its owner only keeps it company).
  void FreeTimer();
  // Before a paint of clip: the images this paint will draw again if they
  // are still there lose their mark, and so do those outside the panel.
  void ClearDrawnFlags(const ThtRect& clip);
  // The paint panel's client area, when there is a panel.
  bool PanelRect(ThtRect& rect);
  void* SelectDocPalette(TCanvas& canvas);
  void RestorePalette(TCanvas& canvas, void* old);
  TCachedImage backUse_;
  // A device-independent copy of the background picture for transparent
  // GIFs to lie on (Win32), made on first need.
  TObject* backTile_ = nullptr;
  TList drawn_;
};

// The sunken or raised frame of images and tables: left and top edges in
// the first colour, right and bottom in the second; y1 is the bottom, y2
// the top.  Win32 only.
void Draw3DFrame(TSectionList& list, TCanvas& canvas, int x1, bool raised, int y1, int x2, int y2);

}  // namespace htmlsubs
