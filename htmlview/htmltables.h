// Tables: rows of cells, each cell a TCell that holds any sections (tables
// too).  The rows become a grid (spans filled with dummy cells), column
// widths come from the cells' width limits, then rows are laid out and
// cells, borders and captions drawn.
#pragma once

#include <string>

#include "htmlsections.h"

namespace htmlsubs {

// Columns of a table; the width arrays hold one entry more.
constexpr int MaxTableCols = 30;

// One grid cell.
class TCellObj : public TObject {
 public:
  // vAlign: 0 top, 1 middle, 2 bottom.
  TCellObj(TSectionList* master, const htmlun2::TAttributeList* attributes, int vAlign);
  // A copy (CloneFrom) whose content belongs to master; the copy's cell
  // takes no background of its own.
  TCellObj(TSectionList* master, const TCellObj& src);
  // A cell that fills a span: colSpan 0, rowSpan as given.
  static TCellObj* Dummy(TSectionList* master, int rowSpan);

  int ColSpan = 1;
  int RowSpan = 1;
  int CellWd = 0;
  int CellHt = 0;
  int ContentHt = 0;
  int AttrHeight = 0;
  int VOffset = 0;
  int VAlign = 0;
  int AttrWidth = 0;
  bool WidthPercent = false;
  TCell Cell;
};

// One row.
class TCellList : public TFreeList {
 public:
  TCellList() = default;
  TCellList(TSectionList* master, const TCellList& src);
  TCellObj* CellObj(int i) const { return static_cast<TCellObj*>(Items(i)); }
  // BGCOLOR of the TR.
  void ReadAttributes(const htmlun2::TAttributeList* attributes);

  int RowHt = 0;
  int RowSpanHt = 0;
  bool HasRowColor = false;
  TColor RowColor = 0;
};

class ThtmlTable : public TSectionBase {
 public:
  // justify: the parser's default alignment (1 left, 2 centre, 3 right);
  // ALIGN overrides it.
  ThtmlTable(TSectionList* master, int level, TCell* hostCell, int justify,
             const htmlun2::TAttributeList* attributes);
  ThtmlTable(TSectionList* master, const ThtmlTable& src);
  TSectionBase* Clone(TSectionList* owner) const override { return new ThtmlTable(owner, *this); }

  TCellList* Row(int i) const { return static_cast<TCellList*>(Rows.Items(i)); }
  // The parser's building calls: a new row, a cell at the end of the last
  // row (the row is made when there is none yet).
  TCellList* AddRow(const htmlun2::TAttributeList* attributes = nullptr);
  void AddCell(TCellObj* cell);

  void EmitSelection() override;
  // Cells, border colour, frames and captions (Windows; natively the table
  // only takes its height).
  int Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) override;
  bool LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control) override;
  int Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) override;
  bool PositionAt(ThtMeasure& canvas, int x, int y, int& caretX, int& caretY, int& caretHt, int& pos) override;
  int SearchText(int from, const std::string& text, bool matchCase) override;
  bool PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y) override;
  bool CharAt(int position, char& ch, TSectionBase*& obj) override;
  void ReapplyDefaults() override;
  void WidthLimits(ThtMeasure& canvas, int& min, int& max) override;
  void Shift(int dy, int dcurs) override;
  void Settle() override;

  // Turns the rows into the grid once; raises EProcessError "Table has too
  // many Columns" for a grid wider than MaxTableCols.
  void Initialize();
  // The cell whose rectangle holds the point (x from the band's left, y from
  // the table's top as laid out), with the point made relative to its
  // content's top left; the caption when the point lies in its band.  Null
  // when none.
  TCellObj* CellAt(int x, int y, int& relX, int& relY) const;

  TFreeList Rows;
  TCellObj* Caption;
  bool Initialized = false;
  bool Border = false;
  bool CaptionTop = true;
  int TableIndent = 0;
  int BoxIndent = 0;
  int Justify = 1;
  bool Float = false;
  int NumCols = 0;
  int TableWidth = 0;
  int BoxWidth = 0;
  int AttrWidth = 0;
  bool WidthPercent = false;
  bool HasAbsWidths = false;
  int CaptionHeight = 0;
  int TableHeight = 0;
  int CellPadding = 2;
  int CellSpacing = 3;
  int CaptionMinWidth = 0;
  int Widths[MaxTableCols + 1] = {};
  int Percents[MaxTableCols + 1] = {};
  int HSpace = 5;
  int NestLevel = 0;
  int ShownX = 0, ShownY = 0;
  bool HasBgColor = false;
  TColor BgColor = 0;
  bool HasBorderColor = false;
  TColor BorderColor = 0;
  TCell* HostCell;

  ~ThtmlTable() override;

  // The column limits of the grid, exposed for tests and the fuzzer.
  struct Limits {
    int Min[MaxTableCols + 1];
    int Max[MaxTableCols + 1];
    int TotalMin, TotalMax;
  };
  // Column limits (pixel widths) or percentage limits, as layout uses them.
  void ColumnLimits(ThtMeasure& canvas, Limits& l);
  // The column widths for table width w from the limits (and Percents).
  void DistributeWidths(Limits& l, int w);

 private:
  // The column limits with their Percents and the caption's minimum width,
  // measured once per layout pass: the table above asks for them, then the
  // table's own layout, and each would measure the whole subtree again.
  void Measure(ThtMeasure& canvas, Limits& l);
  int measuredPass_ = -1;
  Limits measured_;
  int measuredPercents_[MaxTableCols + 1];
  int measuredCaption_ = 0;

  int Extra() const { return 2 * CellPadding + CellSpacing - 1; }
  void Totals(Limits& l) const;
  int ContentWidth(const TCellObj* c) const;
  void PercentLimits(ThtMeasure& canvas, Limits& l);
  void GeneralRule(const Limits& l, int w);
  void AbsoluteDistribution(const Limits& l, int w);
  void PercentDistribution(Limits& l, int w);
  bool HasWidth() const { return AttrWidth > 0; }
};

}  // namespace htmlsubs
