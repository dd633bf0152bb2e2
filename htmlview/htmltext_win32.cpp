// Drawing of text sections and rules over GDI: lines with their runs,
// selection, images, list markers and form controls.
#include <windows.h>

#include "htmltext.h"
#include "win/graphics.h"

namespace htmlsubs {
namespace {

TColor Plain(TColor c) { return c & ~PaletteRelative; }

// Light page backgrounds take the coloured bullets.
bool LightBackground(TColor background) {
  const TColor b = Plain(background);
  if (b == clBtnFace || b == clWhite || b == clSilver) return true;
  return b == clWindow && GetSysColor(COLOR_WINDOW) == RGB(255, 255, 255);
}

// Selects the canvas's font, pen and brush into its DC.
void Ready(TCanvas& canvas) { canvas.TextExtent(std::string()); }

}  // namespace

int TSection::Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) {
  ShownOriginX = x;
  LastTop = y;
  if (!OwnerList || Text.empty()) return y + FlowHeight;
  TSectionList& list = *OwnerList;
  HDC dc = canvas.Handle();
  const int len = static_cast<int>(Text.size());
  const int pageHeight = clip.Bottom - clip.Top;
  bool firstTextLine = true;
  int top = y;
  for (int li = 0; li < LaidLines.Count(); ++li) {
    LineRec& line = *Line(li);
    const int lineHt = line.ExtraAbove + line.TextHt + line.ExtraBelow;
    const int screenTop = top - list.ScrollTop;
    const int paintHt = line.PaintHt > lineHt ? line.PaintHt : lineHt;
    if (list.ForPrint && screenTop + paintHt > list.PageBreakY && paintHt < pageHeight) {
      // The line starts the next page.
      if (screenTop < list.PageBreakY) list.PageBreakY = screenTop;
      break;
    }
    const bool visible = screenTop + paintHt >= clip.Top && screenTop < clip.Bottom;
    const bool isFirst = firstTextLine && line.CharCount > 0;
    if (line.CharCount > 0) firstTextLine = false;
    if (!visible || line.CharCount == 0) {
      top += lineHt;
      continue;
    }
    const int textTop = top + line.ExtraAbove;
    const int baseline = textTop + line.TextHt - line.MaxDescent;  // document Y
    const int lineBottom = top + lineHt;

    auto* bulleted = dynamic_cast<TUListItem*>(this);
    auto* ordered = dynamic_cast<TOListItem*>(this);
    if (isFirst && MarkerKind == 2 && bulleted && !bulleted->HideBullet) {
      const int cx = x + FirstLineX - 8, cy = textTop + line.TextHt / 2 - list.ScrollTop;
      if (LightBackground(list.Background)) {
        static const TColor kLevel[3] = {clRed, clNavy, clMaroon};
        if (NestLevel <= 5) {
          const TColor c = kLevel[NestLevel % 3];
          canvas.Pen().SetColor(c);
          canvas.Brush().SetColor(c);
        }
        canvas.Brush().SetStyle(bsSolid);
      } else {
        canvas.Pen().SetColor(list.DefaultColor | PaletteRelative);
        canvas.Brush().SetStyle(bsClear);
      }
      canvas.Ellipse(cx - 2, cy - 2, cx + 3, cy + 3);
      canvas.Brush().SetStyle(bsSolid);
      canvas.Brush().SetColor(list.Background);
      canvas.Pen().SetColor(list.DefaultColor | PaletteRelative);
    } else if (isFirst && MarkerKind == 1 && ordered) {
      const std::string label = ordered->Label();
      canvas.Font().Assign(static_cast<const TFontDesc&>(OpeningFont));
      canvas.Brush().SetStyle(bsClear);
      Ready(canvas);
      const int w = canvas.TextWidth(label);
      const UINT oldAlign = SetTextAlign(dc, TA_BASELINE | TA_LEFT);
      TextOutA(dc, x + FirstLineX - 5 - w, baseline - list.ScrollTop, label.data(), static_cast<int>(label.size()));
      SetTextAlign(dc, oldAlign);
      canvas.Brush().SetStyle(bsSolid);
    }

    int cx = x + line.LineX;
    const int end = line.FirstChar + line.CharCount;
    int i = line.FirstChar;
    bool anything = false;  // something other than a float met on the line
    while (i < end) {
      const char c = Text[i];
      if (c == ImageChar) {
        TPictureObj* pic = PictureAt(i);
        auto* image = dynamic_cast<TImageObj*>(pic);
        if (pic && pic->IsFloat()) {
          // Placed at this line's top when it was met first, else below it.
          if (image) {
            const int floatTop = anything ? lineBottom : top;
            image->Render(canvas, margins.LeftEdge + image->FloatX, floatTop, floatTop, 0, floatTop);
          }
        } else if (pic) {
          if (image) image->Render(canvas, cx, top, textTop, line.TextHt, baseline);
          cx += pic->BoxWidth;
          anything = true;
        }
        ++i;
        continue;
      }
      if (c == ControlChar) {
        TFormControlBase* control = Controls.ControlAt(i);
        if (control && control->HasWindow()) {
          control->Shown = true;
          int controlTop = lineBottom - control->ControlHeight();
          if (control->OnBaseline) controlTop -= line.MaxDescent;
          control->PlaceAt(canvas, cx, controlTop - list.ScrollTop, list.ForPrint);
          cx += control->ControlWidth();
        }
        anything = true;
        ++i;
        continue;
      }
      anything = true;
      // A piece: up to a font change, an object or a selection edge.
      int j = i + Runs.RunLengthAt(i, len);
      if (j > end) j = end;
      if (j <= i) j = i + 1;
      const int pos = FirstPos + i;
      const bool selected = pos >= list.SelStartPos && pos < list.SelEndPos;
      const int selEdge = selected ? list.SelEndPos - FirstPos : list.SelStartPos - FirstPos;
      if (selEdge > i && selEdge < j) j = selEdge;
      for (int k = i; k < j; ++k)
        if (Text[k] == ImageChar || Text[k] == ControlChar) {
          j = k;
          break;
        }
      int index;
      TFontObj* run = Runs.RunAt(i, index);
      canvas.Font().Assign(static_cast<const TFontDesc&>(*run->Font));
      canvas.Brush().SetStyle(bsClear);
      Ready(canvas);
      SIZE size{0, 0};
      GetTextExtentPoint32A(dc, Text.data() + i, j - i, &size);
      int ty = baseline - list.ScrollTop;
      if (run->SScript == 2)
        ty -= run->RunHeight / 3;
      else if (run->SScript == 1)
        ty += run->Descent / 2 + 1;
      const UINT oldAlign = SetTextAlign(dc, TA_BASELINE | TA_LEFT);
      const TColor textColor = run->Font->Color();
      if (selected) {
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, ColorToRGB(textColor));
        SetTextColor(dc, ColorToRGB(list.Background | PaletteRelative));
      } else {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ColorToRGB(textColor));
      }
      const int tx = cx - run->Overhang / 2;
      if (preformatted_) {
        RECT box{x + line.LineX, top - list.ScrollTop, clip.Right, lineBottom - list.ScrollTop};
        ExtTextOutA(dc, tx, ty, ETO_CLIPPED | (selected ? ETO_OPAQUE : 0), &box, Text.data() + i,
                    static_cast<UINT>(j - i), nullptr);
      } else {
        ExtTextOutA(dc, tx, ty, selected ? ETO_OPAQUE : 0, nullptr, Text.data() + i, static_cast<UINT>(j - i),
                    nullptr);
      }
      SetTextAlign(dc, oldAlign);
      cx += size.cx - run->Overhang;
      i = j;
    }
    canvas.Brush().SetStyle(bsSolid);
    top += lineHt;
  }
  return y + FlowHeight;
}

int THorzLine::Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) {
  LastTop = y;
  if (!OwnerList) return y + FlowHeight;
  TSectionList& list = *OwnerList;
  const int screenTop = y - list.ScrollTop;
  const bool visible = screenTop + FlowHeight >= clip.Top && screenTop < clip.Bottom;
  if (visible && (!list.ForPrint || screenTop + FlowHeight <= list.PageBreakY)) {
    int x1, x2;
    RuleExtent(margins.LeftAt(y), margins.RightAt(y), x1, x2);
    const int barTop = screenTop + (FlowHeight - Thickness) / 2;
    if (HasColor) {
      canvas.Brush().SetStyle(bsSolid);
      canvas.Brush().SetColor(RuleColor | PaletteRelative);
      canvas.FillRect(RECT{x1, barTop, x2, barTop + Thickness});
      canvas.Brush().SetColor(list.Background);
    } else {
      Draw3DFrame(list, canvas, x1, false, barTop + Thickness - 1, x2 - 1, barTop);
    }
  }
  return y + FlowHeight;
}

}  // namespace htmlsubs
