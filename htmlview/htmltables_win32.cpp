// Drawing a table: cell backgrounds, contents and sunken frames row by row,
// the border colour in the gaps between the cells, the raised table frame
// and the captions.
#include <windows.h>

#include "htmlforms.h"
#include "htmltables.h"
#include "win/graphics.h"

namespace htmlsubs {
namespace {

void FillColor(HDC dc, const RECT& r, TColor color) {
  HBRUSH brush = CreateSolidBrush((color & 0xFFFFFF) | PaletteRelative);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

}  // namespace

int ThtmlTable::Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) {
  TSectionList& list = *OwnerList;
  LastTop = y;
  const int result = y + FlowHeight;
  // A grid that was never built (its layout raised) has nothing to draw.
  if (!Initialized) return result;
  const int height = HitHeight;
  const int screenTop = y - list.ScrollTop;
  if (list.ForPrint && screenTop > (clip.Top + clip.Bottom) / 2 && screenTop + height > list.PageBreakY &&
      height < clip.Bottom - clip.Top) {
    // Starts in the lower half of the page and would be cut: next page.
    if (screenTop < list.PageBreakY) list.PageBreakY = screenTop;
    return result;
  }
  if (screenTop > clip.Bottom || screenTop + height < clip.Top) return result;
  if (list.ForPrint && screenTop >= list.PageBreakY) return result;

  const int x0 = x + TableIndent;
  ShownX = x0;
  ShownY = y;
  int top = y;
  if (CaptionTop) {
    Caption->Cell.Render(canvas, clip, x + BoxIndent, top);
    top += CaptionHeight;
  }
  HDC dc = canvas.Handle();
  const int gridTop = top - list.ScrollTop;
  HRGN border = nullptr;
  if (HasBorderColor) {
    // Made for this paint only and deleted after the fill.
    const int l = x0 > clip.Left ? x0 : clip.Left, t = gridTop > clip.Top ? gridTop : clip.Top;
    const int r = x0 + TableWidth < clip.Right ? x0 + TableWidth : clip.Right;
    const int b = gridTop + TableHeight < clip.Bottom ? gridTop + TableHeight : clip.Bottom;
    border = CreateRectRgn(l, t, r, b);
  }
  const TPaintCellColor saved = PaintCellColor;
  for (int r = 0; r < Rows.Count(); ++r) {
    TCellList* row = Row(r);
    const int rowScreen = top - list.ScrollTop;
    const bool visible = rowScreen <= clip.Bottom && rowScreen + row->RowSpanHt >= clip.Top &&
                         !(list.ForPrint && rowScreen >= list.PageBreakY);
    if (visible) {
      int cx = x0;
      for (int c = 0; c < row->Count() && c < NumCols; ++c) {
        TCellObj* cell = row->CellObj(c);
        if (cell->ColSpan > 0 && cell->Cell.Count() > 0) {
          const RECT rc = {cx + CellSpacing, rowScreen + CellSpacing, cx + cell->CellWd + 1, rowScreen + cell->CellHt + 1};
          if (cell->Cell.HasBackColor) FillColor(dc, rc, cell->Cell.BackColor);
          PaintCellColor.Has = cell->Cell.HasBackColor;
          PaintCellColor.Color = cell->Cell.BackColor;
          cell->Cell.Render(canvas, clip, cx + CellSpacing + CellPadding, top + CellSpacing + CellPadding + cell->VOffset);
          PaintCellColor = saved;
          if (Border) Draw3DFrame(list, canvas, rc.left, false, rc.bottom - 1, rc.right - 1, rc.top);
          if (border) {
            HRGN cellRgn = CreateRectRgn(rc.left, rc.top, rc.right, rc.bottom);
            CombineRgn(border, border, cellRgn, RGN_DIFF);
            DeleteObject(cellRgn);
          }
        }
        cx += Widths[c];
      }
    }
    top += row->RowHt;
  }
  if (border) {
    HBRUSH brush = CreateSolidBrush((BorderColor & 0xFFFFFF) | PaletteRelative);
    FillRgn(dc, border, brush);
    DeleteObject(brush);
    DeleteObject(border);
  }
  if (Border && Rows.Count() > 0)
    Draw3DFrame(list, canvas, x0, true, gridTop + TableHeight - 1, x0 + TableWidth - 1, gridTop);
  if (!CaptionTop) Caption->Cell.Render(canvas, clip, x + BoxIndent, top + (Rows.Count() > 0 ? CellSpacing : 0));
  return result;
}

}  // namespace htmlsubs
