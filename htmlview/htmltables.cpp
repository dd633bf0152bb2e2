#include "htmltables.h"

#include <cctype>
#include <cstdlib>

#include "htmlscan.h"

namespace htmlsubs {
namespace {

using htmlun2::TAttribute;
using htmlun2::TAttributeList;

int Max(int a, int b) { return a > b ? a : b; }
int Min(int a, int b) { return a < b ? a : b; }

// Sums of heights and widths over many rows or columns stay well inside
// 32 bits; pages that would pass this are absurd, not laid out faithfully.
constexpr long long kSumLimit = 0x3FFFFFFF;
int Sat(long long v) { return static_cast<int>(v > kSumLimit ? kSumLimit : v < -kSumLimit ? -kSumLimit : v); }

// A column's limit: content widths of a 20000-character section in a huge
// font, summed over 30 columns, must not overflow.
constexpr int kColumnLimit = 1 << 24;
int Col(int v) { return v > kColumnLimit ? kColumnLimit : v; }

std::string Upper(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

bool HasPercent(const TAttribute* a) { return a->Name.find('%') != std::string::npos; }

}  // namespace

// ---------------------------------------------------------------------------
// Cells and rows

TCellObj::TCellObj(TSectionList* master, const TAttributeList* attributes, int vAlign)
    : VAlign(vAlign), Cell(master) {
  for (int i = 0; attributes && i < attributes->Count(); ++i) {
    const TAttribute* a = attributes->Attr(i);
    switch (a->Which) {
      case readhtml::WidthAttr:
        if (HasPercent(a)) {
          if (a->Value >= 2 && a->Value <= 99) {
            WidthPercent = true;
            AttrWidth = a->Value;
          }
        } else {
          AttrWidth = ImageSide(a->Value);
        }
        break;
      case readhtml::HeightAttr:
        AttrHeight = ImageSide(a->Value);
        break;
      case readhtml::RowSpanAttr:
        if (a->Value > 1) RowSpan = a->Value;
        break;
      case readhtml::ColSpanAttr:
        if (a->Value > 1) ColSpan = a->Value;
        break;
      case readhtml::BGColorAttr:
        Cell.HasBackColor = readhtml::ColorFromString(a->Name, Cell.BackColor);
        break;
      default:
        break;
    }
  }
}

TCellObj::TCellObj(TSectionList* master, const TCellObj& src)
    : ColSpan(src.ColSpan),
      RowSpan(src.RowSpan),
      CellWd(src.CellWd),
      CellHt(src.CellHt),
      ContentHt(src.ContentHt),
      AttrHeight(src.AttrHeight),
      VOffset(src.VOffset),
      VAlign(src.VAlign),
      AttrWidth(src.AttrWidth),
      WidthPercent(src.WidthPercent),
      Cell(master, src.Cell) {
  Cell.BackColor = src.Cell.BackColor;
  Cell.HasBackColor = false;
}

TCellObj* TCellObj::Dummy(TSectionList* master, int rowSpan) {
  auto* c = new TCellObj(master, nullptr, 0);
  c->ColSpan = 0;
  c->RowSpan = rowSpan;
  return c;
}

TCellList::TCellList(TSectionList* master, const TCellList& src)
    : RowHt(src.RowHt), RowSpanHt(src.RowSpanHt), HasRowColor(src.HasRowColor), RowColor(src.RowColor) {
  for (int i = 0; i < src.Count(); ++i) Add(new TCellObj(master, *src.CellObj(i)));
}

void TCellList::ReadAttributes(const TAttributeList* attributes) {
  TAttribute* a;
  if (attributes && attributes->Find(readhtml::BGColorAttr, a))
    HasRowColor = readhtml::ColorFromString(a->Name, RowColor);
}

// ---------------------------------------------------------------------------
// The table

ThtmlTable::ThtmlTable(TSectionList* master, int level, TCell* hostCell, int justify,
                       const TAttributeList* attributes)
    : TSectionBase(master),
      Caption(new TCellObj(master, nullptr, 0)),
      Justify(justify),
      NestLevel(level),
      HostCell(hostCell) {
  for (int i = 0; attributes && i < attributes->Count(); ++i) {
    const TAttribute* a = attributes->Attr(i);
    switch (a->Which) {
      case readhtml::BorderAttr:
        Border = a->Value > 0;
        break;
      // A negative padding would make cells narrower than nothing.
      case readhtml::CellPaddingAttr:
        if (a->Value >= 0) CellPadding = Min(a->Value, 49) + 1;
        break;
      case readhtml::CellSpacingAttr:
        if (a->Value >= 0) CellSpacing = Min(a->Value, 39) + 1;
        break;
      case readhtml::WidthAttr:
        if (HasPercent(a)) {
          WidthPercent = true;
          if (a->Value >= 1 && a->Value <= 100) AttrWidth = a->Value;
        } else {
          AttrWidth = ImageSide(a->Value);
        }
        break;
      case readhtml::AlignAttr: {
        std::string v = Upper(a->Name);
        if (v == "LEFT") {
          Justify = 1;
          Float = true;
        } else if (v == "CENTER") {
          Justify = 2;
        } else if (v == "RIGHT") {
          Justify = 3;
          Float = true;
        }
        break;
      }
      case readhtml::BGColorAttr:
        HasBgColor = readhtml::ColorFromString(a->Name, BgColor);
        break;
      case readhtml::BorderColorAttr:
        HasBorderColor = readhtml::ColorFromString(a->Name, BorderColor);
        break;
      case readhtml::HSpaceAttr:
        HSpace = ImageHSpace(a->Value);
        break;
      default:
        break;
    }
  }
  if (!Border) --CellPadding;
}

ThtmlTable::ThtmlTable(TSectionList* master, const ThtmlTable& src)
    : TSectionBase(master, src),
      Caption(new TCellObj(master, *src.Caption)),
      Initialized(src.Initialized),
      Border(src.Border),
      CaptionTop(src.CaptionTop),
      TableIndent(src.TableIndent),
      BoxIndent(src.BoxIndent),
      Justify(src.Justify),
      Float(src.Float),
      NumCols(src.NumCols),
      TableWidth(src.TableWidth),
      BoxWidth(src.BoxWidth),
      AttrWidth(src.AttrWidth),
      WidthPercent(src.WidthPercent),
      HasAbsWidths(src.HasAbsWidths),
      CaptionHeight(src.CaptionHeight),
      TableHeight(src.TableHeight),
      CellPadding(src.CellPadding),
      CellSpacing(src.CellSpacing),
      CaptionMinWidth(src.CaptionMinWidth),
      HSpace(src.HSpace),
      NestLevel(src.NestLevel),
      HasBgColor(src.HasBgColor),
      BgColor(src.BgColor),
      HasBorderColor(src.HasBorderColor),
      BorderColor(src.BorderColor),
      // The source's host belongs to the source's document.
      HostCell(nullptr) {
  for (int i = 0; i <= MaxTableCols; ++i) {
    Widths[i] = src.Widths[i];
    Percents[i] = src.Percents[i];
  }
  for (int r = 0; r < src.Rows.Count(); ++r) Rows.Add(new TCellList(master, *src.Row(r)));
  // The copy's caption keeps its colour unlike the cells (it has no grid
  // colours to inherit again).
  Caption->Cell.HasBackColor = src.Caption->Cell.HasBackColor;
}

ThtmlTable::~ThtmlTable() { delete Caption; }

TCellList* ThtmlTable::AddRow(const TAttributeList* attributes) {
  auto* row = new TCellList;
  row->ReadAttributes(attributes);
  Rows.Add(row);
  return row;
}

void ThtmlTable::AddCell(TCellObj* cell) {
  if (Rows.Count() == 0) AddRow();
  Row(Rows.Count() - 1)->Add(cell);
}

void ThtmlTable::Initialize() {
  if (Initialized) return;
  static const char* const kTooMany = "Table has too many Columns";
  if (!OwnerList->ForPrint && !HasBgColor && HostCell && HostCell->HasBackColor) {
    HasBgColor = true;
    BgColor = HostCell->BackColor;
  }
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Row(r);
    // The grid is checked while it is filled, so that a huge COLSPAN raises
    // before it makes a dummy past the last column.
    if (row->Count() > MaxTableCols) throw EProcessError(kTooMany);
    for (int i = 0; i < row->Count(); ++i) {
      TCellObj* c = row->CellObj(i);
      if (c->ColSpan == 0) continue;  // a dummy of an earlier build step
      if (row->HasRowColor && !c->Cell.HasBackColor) {
        c->Cell.HasBackColor = true;
        c->Cell.BackColor = row->RowColor;
      }
      if (c->AttrWidth > 0 && !c->WidthPercent) HasAbsWidths = true;
      if (HasBgColor && !c->Cell.HasBackColor) {
        c->Cell.HasBackColor = true;
        c->Cell.BackColor = BgColor;
      }
      if (c->ColSpan > 1) {
        if (c->ColSpan - 1 > MaxTableCols - row->Count()) throw EProcessError(kTooMany);
        for (int k = 1; k < c->ColSpan; ++k) row->Insert(i + k, TCellObj::Dummy(OwnerList, c->RowSpan));
        i += c->ColSpan - 1;
      }
    }
  }
  // Row spans: every row below a spanning cell gets a dummy in its column.
  for (int c = 0; c < MaxTableCols + 1; ++c) {
    bool any = false;
    for (int r = 0; r < Rows.Count(); ++r) {
      TCellList* row = Row(r);
      if (c >= row->Count()) continue;
      any = true;
      TCellObj* cell = row->CellObj(c);
      const int left = Rows.Count() - r;
      if (cell->RowSpan > left) cell->RowSpan = left;
      for (int k = 1; k < cell->RowSpan; ++k) {
        TCellList* below = Row(r + k);
        if (below->Count() > MaxTableCols) throw EProcessError(kTooMany);
        while (below->Count() < c) below->Add(TCellObj::Dummy(OwnerList, 0));
        below->Insert(c, TCellObj::Dummy(OwnerList, 0));
      }
    }
    if (!any) break;
  }
  NumCols = 0;
  for (int r = 0; r < Rows.Count(); ++r) NumCols = Max(NumCols, Row(r)->Count());
  if (NumCols > MaxTableCols) throw EProcessError(kTooMany);
  Initialized = true;
}

// ---------------------------------------------------------------------------
// Column limits

void ThtmlTable::Totals(Limits& l) const {
  long long tmin = 0, tmax = 0;
  for (int i = 0; i < NumCols; ++i) {
    // Spans grow minima and maxima separately; a column whose minimum
    // passed its maximum would be shrunk below its content by the
    // distribution.
    if (l.Max[i] < l.Min[i]) l.Max[i] = l.Min[i];
    tmin += l.Min[i];
    tmax += l.Max[i];
  }
  l.TotalMin = Sat(tmin);
  l.TotalMax = Sat(tmax);
}

void ThtmlTable::ColumnLimits(ThtMeasure& canvas, Limits& l) {
  for (int i = 0; i <= MaxTableCols; ++i) l.Min[i] = l.Max[i] = Percents[i] = 0;
  if (!HasAbsWidths) {
    PercentLimits(canvas, l);
    return;
  }
  const int extra = Extra();
  for (int span = 1; span > 0;) {
    int next = 0;
    for (int r = 0; r < Rows.Count(); ++r) {
      TCellList* row = Row(r);
      for (int c = 0; c < row->Count(); ++c) {
        TCellObj* cell = row->CellObj(c);
        if (cell->ColSpan > span && (next == 0 || cell->ColSpan < next)) next = cell->ColSpan;
        if (cell->ColSpan != span) continue;
        int mn, mx;
        cell->Cell.WidthLimits(canvas, mn, mx);
        mn = Col(Max(mn, 0)) + extra;
        mx = Col(Max(mx, 0)) + extra;
        if (span == 1) {
          if (cell->AttrWidth > 0 && !cell->WidthPercent) {
            mn = Max(mn, cell->AttrWidth + extra);
            mx = Max(mx, cell->AttrWidth + extra);
          } else {
            ++mx;
          }
          l.Min[c] = Max(l.Min[c], mn);
          l.Max[c] = Max(l.Max[c], mx);
        } else {
          int* arrays[2] = {l.Min, l.Max};
          const int want[2] = {mn, mx};
          for (int k = 0; k < 2; ++k) {
            int* a = arrays[k];
            long long sum = 0;
            for (int i = c; i < c + span; ++i) sum += a[i];
            if (sum >= want[k]) continue;
            if (sum > 0) {
              const int shortfall = want[k] - static_cast<int>(sum);
              for (int i = c; i < c + span; ++i) a[i] += MulDiv(a[i], shortfall, static_cast<int>(sum));
            } else {
              for (int i = c; i < c + span; ++i) a[i] = want[k] / span;
            }
          }
        }
      }
    }
    span = next;
  }
  Totals(l);
}

void ThtmlTable::PercentLimits(ThtMeasure& canvas, Limits& l) {
  const int extra = Extra();
  for (int span = 1; span > 0;) {
    int next = 0;
    for (int r = 0; r < Rows.Count(); ++r) {
      TCellList* row = Row(r);
      for (int c = 0; c < row->Count(); ++c) {
        TCellObj* cell = row->CellObj(c);
        if (cell->ColSpan > span && (next == 0 || cell->ColSpan < next)) next = cell->ColSpan;
        if (cell->ColSpan != span) continue;
        int mn, mx;
        cell->Cell.WidthLimits(canvas, mn, mx);
        mn = Col(Max(mn, 0)) + extra;
        mx = Col(Max(mx, 0)) + extra + 1;
        const int cellPct = cell->WidthPercent ? cell->AttrWidth : 0;
        if (span == 1) {
          l.Min[c] = Max(l.Min[c], mn);
          l.Max[c] = Max(l.Max[c], mx);
          Percents[c] = Max(Percents[c], cellPct);
          continue;
        }
        mx -= 1;  // only single cells add the pixel to their maximum
        int colPct = 0, noPct = 0;
        long long sumMin = 0, sumMax = 0;
        for (int i = c; i < c + span; ++i) {
          colPct += Percents[i];
          if (Percents[i] == 0) ++noPct;
          sumMin += l.Min[i];
          sumMax += l.Max[i];
        }
        if (cellPct == 0 && colPct == 0) {
          for (int i = c; i < c + span; ++i) {
            if (sumMax == 0 || sumMin == 0) {
              l.Max[i] = Max(l.Max[i], mx / span);
              l.Min[i] = Max(l.Min[i], mn / span);
            } else {
              l.Max[i] = Max(l.Max[i], MulDiv(mx, l.Max[i], static_cast<int>(sumMax)));
              l.Min[i] = Max(l.Min[i], MulDiv(mn, l.Min[i], static_cast<int>(sumMin)));
            }
          }
          continue;
        }
        if (noPct > 0) {
          const int share = Max(0, (cellPct - colPct) / noPct);
          for (int i = c; i < c + span; ++i)
            if (Percents[i] == 0) Percents[i] = share;
        } else if (colPct < cellPct) {
          for (int i = c; i < c + span; ++i) Percents[i] = MulDiv(Percents[i], cellPct, colPct);
        }
        colPct = 0;
        for (int i = c; i < c + span; ++i) colPct += Percents[i];
        const int denom = Max(cellPct, colPct);
        if (denom <= 0) continue;
        for (int i = c; i < c + span; ++i) {
          l.Max[i] = Max(l.Max[i], MulDiv(mx, Percents[i], denom));
          l.Min[i] = Max(l.Min[i], MulDiv(mn, Percents[i], denom));
        }
      }
    }
    span = next;
  }
  Totals(l);
}

// ---------------------------------------------------------------------------
// Width distribution

void ThtmlTable::AbsoluteDistribution(const Limits& l, int w) {
  if (l.TotalMin < w && l.TotalMax <= w && !HasWidth()) {
    for (int i = 0; i < NumCols; ++i) Widths[i] = l.Max[i];
  } else if (l.TotalMin < w) {
    const int d = l.TotalMax - l.TotalMin, extra = w - l.TotalMin;
    for (int i = 0; i < NumCols; ++i) {
      if (d >= 1)
        Widths[i] = l.Min[i] + MulDiv(l.Max[i] - l.Min[i], extra, d);
      else if (l.TotalMin > 0)
        Widths[i] = l.Min[i] + MulDiv(l.Min[i], extra, l.TotalMin);
      else
        Widths[i] = l.Min[i];  // nothing to share the room by
    }
  } else {
    for (int i = 0; i < NumCols; ++i) Widths[i] = l.Min[i];
  }
}

void ThtmlTable::GeneralRule(const Limits& l, int w) {
  const int d = l.TotalMax - l.TotalMin;
  for (int i = 0; i < NumCols; ++i) {
    // Percentage columns fixed at their share can leave the minima a few
    // pixels above W; columns then keep their minima rather than shrink.
    if (w <= l.TotalMin)
      Widths[i] = l.Min[i];
    else if (w >= l.TotalMax || d <= 0)
      Widths[i] = l.Max[i];
    else
      Widths[i] = l.Min[i] + MulDiv(l.Max[i] - l.Min[i], w - l.TotalMin, d);
  }
}

void ThtmlTable::PercentDistribution(Limits& l, int w) {
  if (w <= l.TotalMin) {
    for (int i = 0; i < NumCols; ++i) Widths[i] = l.Min[i];
    return;
  }
  int ps = 0;
  for (int i = 0; i < NumCols; ++i) ps += Percents[i];
  if (ps == 0 || (ps > 100 && !HasWidth())) {
    GeneralRule(l, w);
    return;
  }
  long long m = 0;
  int needed = 0;
  for (int i = 0; i < NumCols; ++i) {
    if (Percents[i] > 0)
      needed = Max(needed, MulDiv(l.Max[i], 100, Percents[i]));
    else
      m += l.Max[i];
  }
  const int mi = Sat(m);
  if (ps < 100)
    needed = Max(needed, MulDiv(mi, 100, 100 - ps));
  else if (mi > 0)
    needed = Max(needed, 30000);
  if (w >= needed) {
    if (HasWidth()) needed = w;
    // Percentages above 100 with a table WIDTH leave the others nothing
    // rather than a negative share.
    const int share = Max(0, MulDiv(needed, 100 - ps, 100));
    for (int i = 0; i < NumCols; ++i) {
      if (Percents[i] > 0)
        Widths[i] = MulDiv(needed, Percents[i], 100);
      else
        Widths[i] = mi > 0 ? MulDiv(share, l.Max[i], mi) : 0;
    }
    return;
  }
  // Each round either drops a percentage or shrinks every kept one by the
  // factor (w - o) / s < 1, so percentages fall until the rest fits.
  for (;;) {
    long long s = 0, o = 0;
    bool kept = false;
    for (int i = 0; i < NumCols; ++i) {
      if (Percents[i] > 0 && l.Min[i] > MulDiv(w, Percents[i], 100) - 1) Percents[i] = 0;
      if (Percents[i] > 0) {
        kept = true;
        s += MulDiv(w, Percents[i], 100) - 1;
      } else {
        o += l.Min[i];
      }
    }
    // Without a share to scale by (s = 0) the percentages cannot shrink.
    if (!kept || s <= 0) break;
    if (s + o <= w) {
      long long tmin = 0, tmax = 0;
      for (int i = 0; i < NumCols; ++i) {
        if (Percents[i] > 0) l.Min[i] = l.Max[i] = MulDiv(w, Percents[i], 100);
        tmin += l.Min[i];
        tmax += l.Max[i];
      }
      l.TotalMin = Sat(tmin);
      l.TotalMax = Sat(tmax);
      break;
    }
    for (int i = 0; i < NumCols; ++i)
      if (Percents[i] > 0) Percents[i] = static_cast<int>(Percents[i] * (w - o) / s);
  }
  GeneralRule(l, w);
}

void ThtmlTable::DistributeWidths(Limits& l, int w) {
  for (int i = 0; i <= MaxTableCols; ++i) Widths[i] = 0;
  if (HasAbsWidths)
    AbsoluteDistribution(l, w);
  else
    PercentDistribution(l, w);
}

void ThtmlTable::Measure(ThtMeasure& canvas, Limits& l) {
  if (OwnerList && OwnerList->InPass(measuredPass_)) {
    l = measured_;
    for (int i = 0; i <= MaxTableCols; ++i) Percents[i] = measuredPercents_[i];
    CaptionMinWidth = measuredCaption_;
    return;
  }
  ColumnLimits(canvas, l);
  int cmin, cmax;
  Caption->Cell.WidthLimits(canvas, cmin, cmax);
  CaptionMinWidth = cmin;
  if (OwnerList && OwnerList->InLayout) {
    measuredPass_ = OwnerList->LayoutPass;
    measured_ = l;
    for (int i = 0; i <= MaxTableCols; ++i) measuredPercents_[i] = Percents[i];
    measuredCaption_ = cmin;
  }
}

void ThtmlTable::WidthLimits(ThtMeasure& canvas, int& min, int& max) {
  Initialize();
  Limits l;
  Measure(canvas, l);
  min = Sat(static_cast<long long>(l.TotalMin) + CellSpacing);
  max = Sat(static_cast<long long>(l.TotalMax) + CellSpacing);
  if (AttrWidth > 0 && !WidthPercent) {
    min = Max(min, AttrWidth);
    max = Max(max, AttrWidth);
  }
  min = Max(min, CaptionMinWidth);
  max = Max(max, CaptionMinWidth);
}

// ---------------------------------------------------------------------------
// Layout

int ThtmlTable::ContentWidth(const TCellObj* c) const {
  return c->CellWd - 2 * CellPadding - CellSpacing + 1;
}

int ThtmlTable::Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) {
  LastTop = y;
  FirstPos = curs;
  margins.SetListLevel(y, NestLevel);
  const int room = margins.RightAt(y) - margins.LeftAt(y);
  int w;
  if (AttrWidth > 0)
    w = WidthPercent ? MulDiv(room, AttrWidth, 100) : AttrWidth;
  else
    w = room - CellSpacing;
  w = Max(w, 20);

  Initialize();
  Limits l;
  Measure(canvas, l);
  DistributeWidths(l, w);
  long long tw = CellSpacing;
  for (int i = 0; i < NumCols; ++i) tw += Widths[i];
  TableWidth = Sat(tw);
  BoxWidth = Max(TableWidth, CaptionMinWidth);

  // Cell widths, and the first layout of every cell for the row heights.
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Row(r);
    row->RowHt = 0;
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->CellObj(c);
      long long wd = 0;
      for (int k = c; k < c + cell->ColSpan && k < NumCols; ++k) wd += Widths[k];
      cell->CellWd = Sat(wd);
    }
  }
  const int extra = Extra();
  for (int span = 1; span > 0;) {
    int next = 0;
    for (int r = 0; r < Rows.Count(); ++r) {
      TCellList* row = Row(r);
      int h = -1;
      for (int c = 0; c < row->Count(); ++c) {
        TCellObj* cell = row->CellObj(c);
        if (cell->RowSpan > span && (next == 0 || cell->RowSpan < next)) next = cell->RowSpan;
        if (cell->RowSpan != span || r + span > Rows.Count()) continue;
        int sw, scratch = 0;
        cell->ContentHt = cell->Cell.Arrange(canvas, y, ContentWidth(cell), sw, scratch);
        h = Max(h, Max(cell->ContentHt, cell->AttrHeight - 2 * CellPadding + 2));
      }
      if (h < 0) continue;
      h = Sat(static_cast<long long>(h) + extra);
      if (span == 1) {
        row->RowHt = h;
      } else {
        long long s = 0;
        for (int k = r; k < r + span; ++k) s += Row(k)->RowHt;
        if (h > s) {
          const int grow = static_cast<int>(h - s);
          for (int k = r; k < r + span; ++k) Row(k)->RowHt += grow / span;
          Row(r + span - 1)->RowHt += grow % span;
        }
      }
    }
    span = next;
  }

  // Captions and rows; positions in document order: top caption, cells row
  // by row, bottom caption.
  int sw;
  CaptionHeight = 0;
  long long flow = 0;
  if (CaptionTop) {
    CaptionHeight = Caption->Cell.Arrange(canvas, y, BoxWidth, sw, curs);
    flow = CaptionHeight;
  }
  long long rowY = y + flow;
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Row(r);
    row->RowSpanHt = 0;
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->CellObj(c);
      long long ht = 0;
      for (int k = r; k < r + cell->RowSpan && k < Rows.Count(); ++k) ht += Row(k)->RowHt;
      cell->CellHt = Sat(ht);
      row->RowSpanHt = Max(row->RowSpanHt, cell->CellHt);
    }
    for (int c = 0; c < row->Count(); ++c) {
      TCellObj* cell = row->CellObj(c);
      const int free = cell->CellHt - cell->ContentHt - extra;
      cell->VOffset = cell->VAlign == 1 ? free / 2 : cell->VAlign == 2 ? free : 0;
      cell->Cell.Arrange(canvas, Sat(rowY + CellPadding + CellSpacing + cell->VOffset), ContentWidth(cell), sw,
                         curs);
    }
    rowY += row->RowHt;
    flow += row->RowHt;
  }
  // The frame and the border colour reach CellSpacing below the last row
  // (as they start CellSpacing above the first cell): the table takes that
  // band too, so the next section does not draw over its bottom edge.
  if (Rows.Count() > 0) flow += CellSpacing;
  TableHeight = Sat(flow - CaptionHeight);
  if (!CaptionTop) {
    CaptionHeight = Caption->Cell.Arrange(canvas, Sat(y + flow), BoxWidth, sw, curs);
    flow += CaptionHeight;
  }
  const int height = Sat(flow);

  BoxIndent = 0;
  if (BoxWidth < room) {
    if (Justify == 2)
      BoxIndent = (room - BoxWidth) / 2;
    else if (Justify == 3)
      BoxIndent = room - BoxWidth;
  }
  BoxIndent += margins.LeftAt(y);
  TableIndent = BoxIndent + (BoxWidth - TableWidth) / 2;
  PosCount = curs - FirstPos;
  maxWidth = BoxWidth;
  if (Float) {
    margins.PlaceFloatBox(y, BoxWidth + HSpace + 1, Justify, height);
    HitHeight = height;
    FlowHeight = 0;
    return 0;
  }
  HitHeight = FlowHeight = height;
  return height;
}

void ThtmlTable::Shift(int dy, int dcurs) {
  TSectionBase::Shift(dy, dcurs);
  Caption->Cell.Shift(dy, dcurs);
  for (int r = 0; r < Rows.Count(); ++r)
    for (int c = 0; c < Row(r)->Count(); ++c) Row(r)->CellObj(c)->Cell.Shift(dy, dcurs);
}

void ThtmlTable::Settle() {
  Caption->Cell.Settle();
  for (int r = 0; r < Rows.Count(); ++r)
    for (int c = 0; c < Row(r)->Count(); ++c) Row(r)->CellObj(c)->Cell.Settle();
}

// ---------------------------------------------------------------------------
// Queries

TCellObj* ThtmlTable::CellAt(int x, int y, int& relX, int& relY) const {
  // A grid that was never built (its layout raised) answers nothing.
  if (!Initialized) return nullptr;
  if (CaptionHeight > 0) {
    const int top = CaptionTop ? 0 : HitHeight - CaptionHeight;
    if (y >= top && y < top + CaptionHeight) {
      relX = x - BoxIndent;
      relY = y - top;
      return Caption;
    }
  }
  int rowTop = CaptionTop ? CaptionHeight : 0;
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Row(r);
    int colX = TableIndent;
    for (int c = 0; c < row->Count() && c < NumCols; ++c) {
      TCellObj* cell = row->CellObj(c);
      if (cell->ColSpan > 0 && x >= colX && x < colX + cell->CellWd && y >= rowTop && y < rowTop + cell->CellHt) {
        relX = x - (colX + CellSpacing + CellPadding);
        relY = y - (rowTop + CellSpacing + CellPadding + cell->VOffset);
        return cell;
      }
      colX += Widths[c];
    }
    rowTop += row->RowHt;
  }
  return nullptr;
}

bool ThtmlTable::PositionAt(ThtMeasure& canvas, int x, int y, int& caretX, int& caretY, int& caretHt, int& pos) {
  pos = -1;
  int relX, relY;
  TCellObj* cell = CellAt(x, y, relX, relY);
  if (!cell) return false;
  TCell* found = nullptr;
  pos = cell->Cell.PositionAt(canvas, relX, relY, caretX, caretY, caretHt, found);
  if (pos < 0) return false;
  caretX += x - relX;
  caretY += y - relY;
  return true;
}

bool ThtmlTable::LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control) {
  link.Clear();
  control = nullptr;
  int relX, relY;
  TCellObj* cell = CellAt(x, y, relX, relY);
  return cell && cell->Cell.LinkAt(canvas, relX, relY, link, control);
}

int ThtmlTable::SearchText(int from, const std::string& text, bool matchCase) {
  if (CaptionTop) {
    int r = Caption->Cell.SearchText(from, text, matchCase);
    if (r >= 0) return r;
  }
  for (int i = 0; i < Rows.Count(); ++i)
    for (int c = 0; c < Row(i)->Count(); ++c) {
      int r = Row(i)->CellObj(c)->Cell.SearchText(from, text, matchCase);
      if (r >= 0) return r;
    }
  return CaptionTop ? -1 : Caption->Cell.SearchText(from, text, matchCase);
}

bool ThtmlTable::PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y) {
  if (Caption->Cell.PointOfPosition(canvas, position, x, y)) return true;
  for (int i = 0; i < Rows.Count(); ++i)
    for (int c = 0; c < Row(i)->Count(); ++c)
      if (Row(i)->CellObj(c)->Cell.PointOfPosition(canvas, position, x, y)) return true;
  return false;
}

bool ThtmlTable::CharAt(int position, char& ch, TSectionBase*& obj) {
  if (Caption->Cell.CharAt(position, ch, obj)) return true;
  for (int i = 0; i < Rows.Count(); ++i)
    for (int c = 0; c < Row(i)->Count(); ++c)
      if (Row(i)->CellObj(c)->Cell.CharAt(position, ch, obj)) return true;
  return false;
}

void ThtmlTable::EmitSelection() {
  if (CaptionTop) OwnerList->EmitSelectionWalk(Caption->Cell);
  for (int i = 0; i < Rows.Count(); ++i)
    for (int c = 0; c < Row(i)->Count(); ++c) OwnerList->EmitSelectionWalk(Row(i)->CellObj(c)->Cell);
  if (!CaptionTop) OwnerList->EmitSelectionWalk(Caption->Cell);
}

void ThtmlTable::ReapplyDefaults() {
  for (int i = 0; i < Rows.Count(); ++i)
    for (int c = 0; c < Row(i)->Count(); ++c) Row(i)->CellObj(c)->Cell.ReapplyDefaults();
  Caption->Cell.ReapplyDefaults();
}

}  // namespace htmlsubs
