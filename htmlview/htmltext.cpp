#include "htmltext.h"

#include <cctype>

#include "htmlmap.h"
#include "htmlscan.h"

namespace htmlsubs {
namespace {

bool IsBreak(char c) { return c == ' ' || c == ControlChar || c == ImageChar; }

int Max(int a, int b) { return a > b ? a : b; }

}  // namespace

TSection::TSection(TSectionList* owner, int level, const TMyFont& font, const TUrlTarget* link, int justify)
    : TSectionBase(owner), NestLevel(level), LevelIndent(35 * level), Alignment(justify) {
  auto* f = new TMyFont;
  f->Assign(font);
  auto* run = new TFontObj(f, 0);
  if (link) run->Link.Assign(link->URL, link->Target);
  Runs.Add(run);
  OpeningFont.Assign(font);
}

TSection::TSection(TSectionList* owner, const TSection& src)
    : TSectionBase(owner, src),
      Text(src.Text),
      NestLevel(src.NestLevel),
      LevelIndent(src.LevelIndent),
      ItemNumber(src.ItemNumber),
      MarkerKind(src.MarkerKind),
      Alignment(src.Alignment),
      ClearSide(src.ClearSide) {
  PosCount = src.PosCount;
  Runs.CloneFrom(src.Runs);
  Pictures.CloneFrom(src.Pictures, owner);
  for (int i = 0; i < src.Controls.Count(); ++i) Controls.Add(src.Controls.Items(i));
  OpeningFont.Assign(src.OpeningFont);
  preformatted_ = src.preformatted_;
}

void TSection::AppendText(const std::string& s) {
  if (s.empty() || static_cast<int>(Text.size()) > MaxText) return;
  size_t from = 0;
  if (s[0] == ' ') {
    bool drop = Text.empty() || Text.back() == ' ';
    // A buffer that so far holds only floating pictures counts as empty.
    if (!drop) {
      drop = true;
      for (size_t i = 0; i < Text.size() && drop; ++i) {
        TPictureObj* pic = Text[i] == ImageChar ? PictureAt(static_cast<int>(i)) : nullptr;
        drop = pic && pic->IsFloat();
      }
    }
    if (drop) from = 1;
  }
  Text.append(s, from, std::string::npos);
  PosCount = static_cast<int>(Text.size());
}

void TPreFormated::AppendText(const std::string& s) {
  if (s.empty() || static_cast<int>(Text.size()) > MaxText) return;
  Text += s;
  PosCount = static_cast<int>(Text.size());
}

void TSection::SwitchFont(const TMyFont& font, int sscript) {
  const int len = static_cast<int>(Text.size());
  TFontObj* last = Runs.Run(Runs.Count() - 1);
  TFontObj* run;
  if (last->RunStart == len) {
    last->Font->Assign(font);
    run = last;
  } else {
    auto* f = new TMyFont;
    f->Assign(font);
    run = new TFontObj(f, len);
    run->Link.Assign(last->Link.URL, last->Link.Target);
    Runs.Add(run);
  }
  run->SScript = sscript;
  if (sscript && OwnerList) run->Font->SetScaleSize(*OwnerList, MulDiv(run->Font->ScaleSize, 3, 4));
}

void TSection::SetClearSide(const std::string& value) {
  std::string v;
  for (char c : value) v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ClearSide = v == "left" ? 1 : v == "right" ? 2 : 3;
}

TPictureObj* TSection::InsertPicture(int align, int width, int height, int hspace) {
  if (static_cast<int>(Text.size()) > MaxText) return nullptr;
  auto* pic = new TPictureObj;
  pic->ImagePos = static_cast<int>(Text.size());
  pic->Align = align;
  pic->BoxWidth = ImageSide(width);
  pic->BoxHeight = ImageSide(height);
  pic->HSpace = ImageHSpace(hspace);
  Pictures.Add(pic);
  AppendText(std::string(1, ImageChar));
  return pic;
}

void TSection::SetLinkRun(int sy, const TUrlTarget* link, const TMyFont& font) {
  SwitchFont(font);
  TFontObj* run = Runs.Run(Runs.Count() - 1);
  run->Link.Clear();
  if (sy == readhtml::HrefAttr && link) run->Link.Assign(link->URL, link->Target);
}

// Objects are not added past the text limit: their placeholder would be
// dropped and the object left without a position.
TImageObj* TSection::InsertImage(const htmlun2::TAttributeList* attributes, TFormControlBase* imageControl) {
  if (static_cast<int>(Text.size()) > MaxText) return nullptr;
  auto* image = new TImageObj(static_cast<int>(Text.size()), attributes);
  image->ImageControl = imageControl;
  image->OwnerList = OwnerList;
  Pictures.Add(image);
  AppendText(std::string(1, ImageChar));
  return image;
}

void TSection::InsertControl(TFormControlBase* control) {
  if (!control || !control->HasWindow() || static_cast<int>(Text.size()) > MaxText) return;
  control->Pos = static_cast<int>(Text.size());
  Controls.Add(control);
  AppendText(std::string(1, ControlChar));
}

TPictureObj* TSection::PictureAt(int pos) const { return Pictures.ImageAt(pos); }

int TSection::ClearGap(const IndentManager& margins, int y) const {
  if (ClearSide == 0) return 0;
  int cl, cr;
  margins.ClearLines(cl, cr);
  int l = Max(0, cl - y - 1), r = Max(0, cr - y - 1);
  return ClearSide == 1 ? l : ClearSide == 2 ? r : Max(l, r);
}

int TSection::Width(ThtMeasure& canvas, int from, int to) const {
  int run = -1;
  return Width(canvas, from, to, run);
}

int TSection::Width(ThtMeasure& canvas, int from, int to, int& run) const {
  int w = 0;
  const int len = static_cast<int>(Text.size());
  const int runs = Runs.Count();
  int i = from;
  while (i < to) {
    if (Text[i] == ImageChar || Text[i] == ControlChar) {
      TPictureObj* pic = Text[i] == ImageChar ? PictureAt(i) : nullptr;
      if (pic && !pic->IsFloat()) w += pic->BoxWidth;
      if (Text[i] == ControlChar) w += Max(0, Controls.WidthAt(i));
      ++i;
      continue;
    }
    if (run < 0 || run >= runs || Runs.Run(run)->RunStart > i) Runs.RunAt(i, run);
    while (run + 1 < runs && Runs.Run(run + 1)->RunStart <= i) ++run;
    const TFontObj* r = Runs.Run(run);
    const int end = run + 1 < runs ? Runs.Run(run + 1)->RunStart : len;
    int j = i;
    while (j < to && j < end && !(Text[j] == ImageChar || Text[j] == ControlChar)) ++j;
    canvas.SelectFont(*r->Font);
    w += canvas.TextWidth(Text.data() + i, j - i) - r->Overhang;
    i = j;
  }
  return w;
}

// How many characters from p fit in the line's room; floats met before
// anything else are placed at once, later ones go to pending.
int TSection::FitLine(ThtMeasure& canvas, IndentManager& margins, int p, int n, int y, int& minHt,
                      TList& pending) {
  const int len = static_cast<int>(Text.size());
  long long room = preformatted_ ? 32000 : static_cast<long long>(margins.RightAt(y)) - margins.LeftAt(y);
  long long used = 0;
  bool anything = false;
  int i = p;
  while (i < p + n) {
    char c = Text[i];
    if (c == ImageChar || c == ControlChar) {
      TPictureObj* pic = c == ImageChar ? PictureAt(i) : nullptr;
      if (pic && pic->IsFloat()) {
        if (!anything) {
          margins.PlaceFloat(y, *pic);
          room -= pic->BoxWidth + pic->HSpace;
          minHt = Max(minHt, pic->BoxHeight);
        } else {
          pending.Add(pic);
        }
        ++i;
        continue;
      }
      int w = pic ? pic->BoxWidth : c == ControlChar ? Max(0, Controls.WidthAt(i)) : 0;
      if (used + w > room) break;
      used += w;
      anything = true;
      ++i;
      continue;
    }
    int run = Runs.RunLengthAt(i, len);
    int j = i;
    while (j < p + n && j < i + run && Text[j] != ImageChar && Text[j] != ControlChar) ++j;
    int overhang;
    canvas.SelectFont(*Runs.FontAt(i, overhang));
    int w = canvas.TextWidth(Text.data() + i, j - i) - overhang;
    if (used + w <= room) {
      used += w;
      anything = true;
      i = j;
      continue;
    }
    long long left = room - used + overhang;
    int k = left > 0 ? canvas.FitCount(Text.data() + i, j - i, left > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(left)) : 0;
    i += k;
    break;
  }
  return i - p;
}

int TSection::Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) {
  LastTop = y;
  FirstPos = curs;
  FlowHeight = 0;
  LaidLines.Clear();
  margins.SetListLevel(y, NestLevel);
  const int len = static_cast<int>(Text.size());
  if (len == 0) {
    FlowHeight = HitHeight = ClearGap(margins, y);
    maxWidth = 0;
    return FlowHeight;
  }
  FirstLineX = margins.LeftAt(y);
  maxWidth = margins.BandWidth;
  MeasureImages(canvas);
  for (int i = 0; i < Pictures.Count(); ++i) maxWidth = Max(maxWidth, Pictures.Picture(i)->BoxWidth + LevelIndent);
  for (int i = 0; i < Controls.Count(); ++i)
    if (Controls.Control(i)->HasWindow()) maxWidth = Max(maxWidth, Controls.Control(i)->ControlWidth() + LevelIndent);

  const int gap = ClearGap(margins, y);
  if (gap > 0) {
    auto* l = new LineRec;
    l->FirstChar = 0;
    l->TextHt = l->PaintHt = gap;
    l->LineX = FirstLineX;
    LaidLines.Add(l);
    y += gap;
    FlowHeight += gap;
  }
  int p = 0;
  while (p < len) {
    const int n = len - p;
    int minHt = 0;
    TList pending;
    int count = FitLine(canvas, margins, p, n, y, minHt, pending);
    if (count < n) {
      if (count > 0 && Text[p + count - 1] == ' ') {
        while (p + count < len && Text[p + count] == ' ') ++count;
      } else if (Text[p + count] == ImageChar || Text[p + count] == ControlChar) {
        // the line ends before the object
      } else {
        int k = count;
        while (k > 0 && !IsBreak(Text[p + k - 1])) --k;
        if (k > 0) {
          count = k;
        } else {
          // One word longer than the room: it overflows on its own line.
          k = count;
          while (p + k < len && !IsBreak(Text[p + k])) ++k;
          while (p + k < len && Text[p + k] == ' ') ++k;
          count = k;
        }
      }
    }
    // Every line takes at least one character, so an object wider than any
    // room stands on a line of its own and layout always ends.
    if (count < 1) count = 1;
    // Pictures the fit walk passed but the break rules left for the next
    // line are met again there.
    for (int i = pending.Count() - 1; i >= 0; --i)
      if (static_cast<TPictureObj*>(pending.Items(i))->ImagePos >= p + count) pending.Delete(i);

    auto* line = new LineRec;
    line->FirstChar = p;
    line->CharCount = count;
    bool onlyObjects = true;
    for (int i = p; i < p + count; ++i)
      if (Text[i] != ImageChar && Text[i] != ControlChar) onlyObjects = false;
    if (!onlyObjects) {
      int index;
      Runs.RunAt(p, index);
      for (int r = index; r < Runs.Count() && Runs.Run(r)->RunStart < p + count; ++r) {
        line->TextHt = Max(line->TextHt, Runs.Run(r)->RunHeight);
        line->MaxDescent = Max(line->MaxDescent, Runs.Run(r)->Descent);
      }
    }
    for (int i = p; i < p + count; ++i) {
      TPictureObj* pic = Text[i] == ImageChar ? PictureAt(i) : nullptr;
      if (!pic || pic->IsFloat()) continue;
      int excess = pic->BoxHeight - line->TextHt;
      if (pic->Align == AlignTop) {
        line->ExtraBelow = Max(line->ExtraBelow, excess);
      } else if (pic->Align == AlignMiddle) {
        line->ExtraBelow = Max(line->ExtraBelow, excess / 2);
        line->ExtraAbove = Max(line->ExtraAbove, excess - excess / 2);
      } else {
        line->ExtraAbove = Max(line->ExtraAbove, pic->BoxHeight + line->MaxDescent - line->TextHt);
      }
    }
    for (int i = p; i < p + count; ++i) {
      if (Text[i] != ControlChar) continue;
      bool onBaseline = false;
      const int h = Controls.HeightAt(i, onBaseline);
      if (h < 0) continue;
      line->ExtraAbove =
          Max(line->ExtraAbove, onBaseline ? h - (line->TextHt - line->MaxDescent) : h - line->TextHt);
    }
    const int x0 = margins.LeftAt(y);
    if (Alignment == 2 || Alignment == 3) {
      int end = p + count;
      while (end > p && Text[end - 1] == ' ') --end;
      int w = Width(canvas, p, end);
      line->LineX = Alignment == 2 ? Max(x0, (margins.RightAt(y) + x0 - w) / 2) : margins.RightAt(y) - w;
    } else {
      line->LineX = x0;
    }
    const int total = line->ExtraAbove + line->TextHt + line->ExtraBelow;
    LaidLines.Add(line);
    FlowHeight += total;
    y += total;
    line->PaintHt = Max(total, minHt);
    for (int i = 0; i < pending.Count(); ++i) {
      auto* pic = static_cast<TPictureObj*>(pending.Items(i));
      margins.PlaceFloat(y, *pic);
      line->PaintHt = Max(line->PaintHt, pic->BoxHeight + total);
    }
    p += count;
  }
  curs = FirstPos + PosCount;
  if (NestLevel > 0) FlowHeight = Max(FlowHeight, margins.BelowListFloats() - LastTop);
  HitHeight = Max(FlowHeight, margins.FloatsBottom() - LastTop);
  return FlowHeight;
}

void TSection::MeasureImages(ThtMeasure& canvas) {
  if (!OwnerList) return;
  for (int i = 0; i < Pictures.Count(); ++i) {
    auto* image = dynamic_cast<TImageObj*>(Pictures.Picture(i));
    if (!image) continue;
    int index;
    image->Measure(*OwnerList, canvas, Runs.RunAt(image->ImagePos, index));
  }
}

void TSection::WidthLimits(ThtMeasure& canvas, int& min, int& max) {
  min = max = 0;
  const int len = static_cast<int>(Text.size());
  if (len == 0) return;
  MeasureImages(canvas);
  long long floats = 0;
  int inlineMin = 0;
  for (int i = 0; i < Pictures.Count(); ++i) {
    TPictureObj* pic = Pictures.Picture(i);
    if (pic->IsFloat())
      floats += static_cast<long long>(pic->BoxWidth) + pic->HSpace;
    else
      inlineMin = Max(inlineMin, pic->BoxWidth);
  }
  long long mx = floats + Width(canvas, 0, len) + LevelIndent;
  // The widest word: words end at spaces and images.
  int widest = 0;
  int i = 0, run = -1;
  while (i < len) {
    while (i < len && Text[i] == ' ') ++i;
    int j = i;
    while (j < len && Text[j] != ' ' && Text[j] != ImageChar) ++j;
    if (j > i) widest = Max(widest, Width(canvas, i, j, run));
    i = j < len && Text[j] == ImageChar ? j + 1 : j;
  }
  long long mn = static_cast<long long>(Max(widest, inlineMin)) + floats + LevelIndent;
  min = static_cast<int>(mn > 0x3FFFFFFF ? 0x3FFFFFFF : mn);
  max = static_cast<int>(mx > 0x3FFFFFFF ? 0x3FFFFFFF : mx);
}

int TPreFormated::Arrange(ThtMeasure& canvas, int y, IndentManager& margins, int& maxWidth, int& curs) {
  // Preformatted lines do not wrap: the band is as wide as it can be.
  const int saved = margins.BandWidth;
  margins.BandWidth = 32000;
  const int height = TSection::Arrange(canvas, y, margins, maxWidth, curs);
  margins.BandWidth = saved;
  int mn = 0;
  WidthLimits(canvas, mn, maxWidth);
  return height;
}

void TPreFormated::WidthLimits(ThtMeasure& canvas, int& min, int& max) {
  min = max = 0;
  const int len = static_cast<int>(Text.size());
  if (len == 0) return;
  MeasureImages(canvas);
  long long mx = static_cast<long long>(Width(canvas, 0, len)) + LevelIndent;
  max = static_cast<int>(mx > 0x3FFFFFFF ? 0x3FFFFFFF : mx);
  min = max < 500 ? max : 500;
}

LineRec* TSection::LineAtY(int y, int& top, int& before) const {
  top = 0;
  before = 0;
  for (int i = 0; i < LaidLines.Count(); ++i) {
    LineRec* l = Line(i);
    const int total = l->ExtraAbove + l->TextHt + l->ExtraBelow;
    if (y >= top && y < top + total) return l;
    top += total;
    before += l->CharCount;
  }
  return nullptr;
}

int TSection::FitInLine(ThtMeasure& canvas, const LineRec& line, int w) const {
  // Widths grow with the character count, so a binary search finds the
  // characters whose right edges lie within w.
  int lo = 0, hi = line.CharCount;
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (Width(canvas, line.FirstChar, line.FirstChar + mid) <= w)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

bool TSection::LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control) {
  if (Pictures.Count() > 0 && OwnerList) {
    TFormControlBase* imageControl = nullptr;
    TObject* mapItem = nullptr;
    bool inMap = false, isMap = false;
    int pos = 0, yIn = 0, xIn = 0;
    if (Pictures.ImageHit(*OwnerList, ShownOriginX + x, LastTop + y, imageControl, mapItem, inMap, isMap, pos, yIn, xIn)) {
      if (imageControl) {
        imageControl->RecordClick(xIn, yIn);
        control = imageControl;
        return true;
      }
      if (inMap) {
        htmlun2::TUrlTarget* url = nullptr;
        if (!static_cast<htmlun2::TMapItem*>(mapItem)->GetURL(xIn, yIn, url)) return false;
        link.Assign(url->URL, url->Target);
        delete url;
        return true;
      }
      int index;
      TFontObj* run = Runs.RunAt(pos, index);
      if (!run || run->Link.URL.empty()) return false;
      link.Assign(run->Link.URL, run->Link.Target);
      if (isMap) link.URL += "?" + std::to_string(xIn) + "," + std::to_string(yIn);
      return true;
    }
  }
  int top, before;
  LineRec* line = LineAtY(y, top, before);
  if (!line || x < line->LineX) return false;
  const int n = FitInLine(canvas, *line, x - line->LineX);
  if (n >= line->CharCount) return false;
  int index;
  TFontObj* run = Runs.RunAt(line->FirstChar + n, index);
  if (!run || run->Link.URL.empty()) return false;
  link.Assign(run->Link.URL, run->Link.Target);
  return true;
}

bool TSection::PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y) {
  if (Text.empty() || position < FirstPos || position > FirstPos + PosCount) return false;
  const int rel = position - FirstPos;
  int top = LastTop;
  for (int i = 0; i < LaidLines.Count(); ++i) {
    LineRec* l = Line(i);
    bool last = i == LaidLines.Count() - 1;
    if (l->CharCount > 0 && (rel < l->FirstChar + l->CharCount || last)) {
      x = l->LineX + Width(canvas, l->FirstChar, rel);
      y = top;
      return true;
    }
    top += l->ExtraAbove + l->TextHt + l->ExtraBelow;
  }
  return false;
}

bool TSection::PositionAt(ThtMeasure& canvas, int x, int y, int& caretX, int& caretY, int& caretHt, int& pos) {
  pos = -1;
  int top = 0, chars = 0;
  for (int i = 0; i < LaidLines.Count(); ++i) {
    LineRec* l = Line(i);
    int total = l->ExtraAbove + l->TextHt + l->ExtraBelow;
    if (y < top + total && l->CharCount > 0) {
      caretHt = l->TextHt;
      caretY = top + l->ExtraAbove;
      int n = 0;
      caretX = l->LineX;
      if (x >= l->LineX) {
        // The characters whose right edges lie within the distance (found
        // by halving: a click in a long preformatted line stays quick).
        n = FitInLine(canvas, *l, x - l->LineX);
        caretX = l->LineX + Width(canvas, l->FirstChar, l->FirstChar + n);
        if (n < l->CharCount) {
          int next = l->LineX + Width(canvas, l->FirstChar, l->FirstChar + n + 1);
          if (x > (caretX + next) / 2) {
            ++n;
            caretX = next;
          }
        }
      }
      pos = FirstPos + chars + n;
      return true;
    }
    top += total;
    chars += l->CharCount;
  }
  return false;
}

int TSection::SearchText(int from, const std::string& text, bool matchCase) {
  if (Text.empty() || text.empty() || from >= FirstPos + PosCount) return -1;
  size_t start = from > FirstPos ? static_cast<size_t>(from - FirstPos) : 0;
  if (matchCase) {
    size_t at = Text.find(text, start);
    return at == std::string::npos ? -1 : FirstPos + static_cast<int>(at);
  }
  const size_t n = text.size() > 255 ? 255 : text.size();
  for (size_t i = start; i + n <= Text.size(); ++i) {
    size_t k = 0;
    while (k < n && std::tolower(static_cast<unsigned char>(Text[i + k])) ==
                        std::tolower(static_cast<unsigned char>(text[k])))
      ++k;
    if (k == n) return FirstPos + static_cast<int>(i);
  }
  return -1;
}

bool TSection::CharAt(int position, char& ch, TSectionBase*& obj) {
  if (position < FirstPos || position >= FirstPos + PosCount) return false;
  ch = Text[position - FirstPos];
  obj = this;
  return true;
}

void TSection::ReapplyDefaults() {
  for (int i = 0; i < Runs.Count(); ++i) Runs.Run(i)->ReapplyDefaults(*OwnerList);
  OpeningFont.ApplyDefaults(*OwnerList, OwnerList->DefaultColor);
}

void TSection::EmitSelection() {
  htmlun2::SelTextCount* sink = OwnerList->TextSink;
  if (!sink) return;
  const int s = OwnerList->SelStartPos - FirstPos, e = OwnerList->SelEndPos - FirstPos;
  for (int i = 0; i < LaidLines.Count(); ++i) {
    LineRec* l = Line(i);
    if (l->CharCount == 0) continue;
    const int start = l->FirstChar, end = l->FirstChar + l->CharCount;
    if (start >= e || end <= s) continue;
    const int from = Max(s - start, 0);
    const int to = e - start < l->CharCount ? e - start : l->CharCount;
    if (from == 0)
      for (int k = 0; k < l->LineX / 35; ++k) sink->AddText("   ", 3);
    sink->AddText(Text.data() + start + from, to - from);
    if (to == l->CharCount) sink->AddText("\r\n", 2);
  }
}

THorzLine::THorzLine(TSectionList* owner, const htmlun2::TAttributeList* attributes) : TSectionBase(owner) {
  for (int i = 0; attributes && i < attributes->Count(); ++i) {
    htmlun2::TAttribute* a = attributes->Attr(i);
    if (a->Which == readhtml::SizeAttr) {
      Thickness = a->Value >= 1 && a->Value <= 20 ? a->Value : 2;
    } else if (a->Which == readhtml::WidthAttr) {
      if (a->Value >= 0) {
        Percent = a->Name.find('%') != std::string::npos;
        RuleWidth = Percent && a->Value > 100 ? 100 : ImageSide(a->Value);
      }
    } else if (a->Which == readhtml::ColorAttr) {
      HasColor = readhtml::ColorFromString(a->Name, RuleColor);
    }
  }
}

THorzLine::THorzLine(TSectionList* owner, const THorzLine& src)
    : TSectionBase(owner, src),
      Thickness(src.Thickness),
      RuleWidth(src.RuleWidth),
      Percent(src.Percent),
      RuleColor(src.RuleColor),
      HasColor(src.HasColor) {}

void THorzLine::RuleExtent(int left, int right, int& x1, int& x2) const {
  const int room = right - left;
  if (RuleWidth >= 0) {
    const int w = Percent ? MulDiv(room, RuleWidth, 100) : RuleWidth;
    x1 = left + (room - w) / 2;
    x2 = x1 + w;
  } else {
    x1 = left + 10;
    x2 = right - 10;
  }
}

void THorzLine::EmitSelection() {
  if (OwnerList && OwnerList->TextSink) OwnerList->TextSink->AddText("\r\n", 2);
}

void THorzLine::Attached() {
  FlowHeight = MulDiv(20, OwnerList->DefaultSize, 12) - 2 + Thickness;
}

}  // namespace htmlsubs
