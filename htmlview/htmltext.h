// Text sections: a character buffer in which every character is one text
// position, font runs and pictures keyed by position, and the line breaking
// that lays them out in the cell's float margins.
#pragma once

#include <string>

#include "htmlimageobj.h"
#include "htmlsections.h"

namespace htmlsubs {

// Placeholder characters in the buffer.
constexpr char ControlChar = 2;
constexpr char ImageChar = 4;

struct LineRec : public TObject {
  int FirstChar = 0;
  int ExtraAbove = 0, ExtraBelow = 0;
  int TextHt = 0, PaintHt = 0;
  int CharCount = 0;
  int MaxDescent = 0;
  int LineX = 0;
};

class TSection : public TSectionBase {
 public:
  static constexpr int MaxText = 20000;
  // Level: list nesting; justify 1 left, 2 centre, 3 right.
  TSection(TSectionList* owner, int level, const TMyFont& font, const TUrlTarget* link, int justify);
  TSection(TSectionList* owner, const TSection& src);
  TSectionBase* Clone(TSectionList* owner) const override { return new TSection(owner, *this); }

  virtual void AppendText(const std::string& s);
  // sscript: 0 normal, 1 subscript, 2 superscript.
  void SwitchFont(const TMyFont& font, int sscript = 0);
  // CLEAR of the opening tag, compared without case.
  void SetClearSide(const std::string& value);
  // A picture at the current end, with its placeholder.
  TPictureObj* InsertPicture(int align, int width, int height, int hspace = 5);
  // A font switch that opens a link (sy the HREF symbol) or closes one.
  void SetLinkRun(int sy, const TUrlTarget* link, const TMyFont& font);
  // An image at the current end; imageControl for an image input.
  TImageObj* InsertImage(const htmlun2::TAttributeList* attributes, TFormControlBase* imageControl = nullptr);
  // A made form control: one with a window joins Controls at the current
  // end with its placeholder; a hidden one adds nothing here.
  void InsertControl(TFormControlBase* control);

  int Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) override;
  bool PositionAt(ThtMeasure& canvas, int x, int y, int& caretX, int& caretY, int& caretHt, int& pos) override;
  int SearchText(int from, const std::string& text, bool matchCase) override;
  bool PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y) override;
  bool CharAt(int position, char& ch, TSectionBase*& obj) override;
  void ReapplyDefaults() override;
  void EmitSelection() override;
  void WidthLimits(ThtMeasure& canvas, int& min, int& max) override;
  int Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) override;
  bool LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control) override;

  LineRec* Line(int i) const { return static_cast<LineRec*>(LaidLines.Items(i)); }
  TPictureObj* PictureAt(int pos) const;

  std::string Text;
  TFontList Runs;
  TImageList Pictures;
  TFormControlList Controls;
  int NestLevel = 0;
  int LevelIndent = 0;
  int ItemNumber = 0;
  TFreeList LaidLines;
  TMyFont OpeningFont;
  int MarkerKind = 0;
  int Alignment = 1;
  int ClearSide = 0;
  int FirstLineX = 0;
  // The screen X the section's frame (its cell's left edge) was last drawn
  // at: images know where they were drawn, hits come in the frame's terms.
  int ShownOriginX = 0;

 protected:
  bool preformatted_ = false;
  // The line walk shared by the hit tests: the line at y (relative to the
  // section's top), its top and the characters before it; null below the
  // last line.
  LineRec* LineAtY(int y, int& top, int& before) const;
  // How many characters of the line fit in w pixels from its start.
  int FitInLine(ThtMeasure& canvas, const LineRec& line, int w) const;
  // Width of the characters [from, to) of the buffer as drawn on a line.
  int Width(ThtMeasure& canvas, int from, int to) const;
  // The same, with the index of the run that held the last position
  // measured: a walk from left to right finds each run without a search.
  int Width(ThtMeasure& canvas, int from, int to, int& run) const;
  // Fetches and sizes the images (with the font run at each).
  void MeasureImages(ThtMeasure& canvas);

 private:
  int ClearGap(const IndentManager& margins, int y) const;
  int FitLine(ThtMeasure& canvas, IndentManager& margins, int p, int n, int y, int& minHt, TList& pending);
};

class TPreFormated : public TSection {
 public:
  using TSection::TSection;
  TPreFormated(TSectionList* owner, int level, const TMyFont& font, const TUrlTarget* link, int justify)
      : TSection(owner, level, font, link, justify) {
    preformatted_ = true;
  }
  TPreFormated(TSectionList* owner, const TPreFormated& src) : TSection(owner, src) { preformatted_ = true; }
  TSectionBase* Clone(TSectionList* owner) const override { return new TPreFormated(owner, *this); }
  void AppendText(const std::string& s) override;
  int Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) override;
  void WidthLimits(ThtMeasure& canvas, int& min, int& max) override;
};

class TUListItem : public TSection {
 public:
  TUListItem(TSectionList* owner, int level, const TMyFont& font, const TUrlTarget* link)
      : TSection(owner, level, font, link, 1) {
    MarkerKind = 2;
  }
  TUListItem(TSectionList* owner, const TUListItem& src) : TSection(owner, src), HideBullet(src.HideBullet) {}
  TSectionBase* Clone(TSectionList* owner) const override { return new TUListItem(owner, *this); }
  bool HideBullet = false;
};

class TDListItem : public TUListItem {
 public:
  TDListItem(TSectionList* owner, int level, const TMyFont& font, const TUrlTarget* link)
      : TUListItem(owner, level, font, link) {
    MarkerKind = 3;
  }
  TDListItem(TSectionList* owner, const TDListItem& src) : TUListItem(owner, src) {}
  TSectionBase* Clone(TSectionList* owner) const override { return new TDListItem(owner, *this); }
};

class TOListItem : public TUListItem {
 public:
  TOListItem(TSectionList* owner, int level, int itemNumber, char numberStyle, const TMyFont& font,
             const TUrlTarget* link)
      : TUListItem(owner, level, font, link), NumberStyle(numberStyle) {
    MarkerKind = 1;
    ItemNumber = itemNumber;
  }
  TOListItem(TSectionList* owner, const TOListItem& src) : TUListItem(owner, src), NumberStyle(src.NumberStyle) {}
  TSectionBase* Clone(TSectionList* owner) const override { return new TOListItem(owner, *this); }
  std::string Label() const { return OrderedLabel(NumberStyle, ItemNumber); }
  char NumberStyle;
};

// A horizontal rule: SIZE (1-20, else 2), WIDTH (with "%" a share of the
// room) and COLOR.
class THorzLine : public TSectionBase {
 public:
  THorzLine(TSectionList* owner, const htmlun2::TAttributeList* attributes);
  THorzLine(TSectionList* owner, const THorzLine& src);
  TSectionBase* Clone(TSectionList* owner) const override { return new THorzLine(owner, *this); }
  void Attached() override;
  // A line end in copied text.
  void EmitSelection() override;
  int Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) override;
  // The rule's horizontal extent in a room from left to right.
  void RuleExtent(int left, int right, int& x1, int& x2) const;
  int Thickness = 2;
  int RuleWidth = -1;
  bool Percent = false;
  TColor RuleColor = 0;
  bool HasColor = false;
};

}  // namespace htmlsubs
