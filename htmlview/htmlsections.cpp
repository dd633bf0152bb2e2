#include "htmlsections.h"

#include "htmltext.h"

namespace htmlsubs {

int TSectionBase::Arrange(ThtMeasure&, int y, IndentManager& margins, int& maxWidth, int& curs) {
  LastTop = y;
  FirstPos = curs;
  HitHeight = FlowHeight;
  maxWidth = margins.BandWidth;
  return FlowHeight;
}

void TParagraphSpace::Attached() {
  FlowHeight = MulDiv(14, OwnerList->DefaultSize, 12);
}

void THeadingSpace::Attached() {
  static const int kHeights[7] = {8, 16, 12, 10, 8, 6, 4};
  int v = HeadingLevel >= 0 && HeadingLevel <= 6 ? kHeights[HeadingLevel] : 8;
  FlowHeight = MulDiv(v, OwnerList->DefaultSize, 12);
}

TCell::TCell(TSectionList* master, const TCell& source) : Document(master) {
  for (int i = 0; i < source.Count(); ++i) Add(source.Section(i)->Clone(master));
}

void TCell::Add(TSectionBase* section) {
  if (!section) return;
  TFreeList::Add(section);
  // An empty preformatted block still takes a line.
  auto* pre = dynamic_cast<TPreFormated*>(section);
  if (pre && pre->PosCount == 0) pre->AppendText(" ");
  section->OwnerList = Document;
  section->Attached();
}

int TCell::Arrange(ThtMeasure& canvas, int y, int width, int& scrollWidth, int& curs) {
  Margins.Clear();
  Margins.Reset(0, width);
  Margins.BandWidth = width;
  TopY = y;
  FirstPos = curs;
  scrollWidth = 0;
  long long total = 0;
  for (int i = 0; i < Count(); ++i) {
    int w = 0;
    int h = Section(i)->Arrange(canvas, static_cast<int>(y + total), Margins, w, curs);
    total += h;
    if (total > 0x3FFFFFFF) total = 0x3FFFFFFF;
    if (w > scrollWidth) scrollWidth = w;
  }
  PosCount = curs - FirstPos;
  // A float that hangs below the last section lengthens the cell.
  long long floats = static_cast<long long>(Margins.FloatsBottom()) - y;
  return static_cast<int>(total > floats ? total : floats);
}

void TCell::WidthLimits(ThtMeasure& canvas, int& min, int& max) {
  min = max = 0;
  for (int i = 0; i < Count(); ++i) {
    int mn = 0, mx = 0;
    Section(i)->WidthLimits(canvas, mn, mx);
    if (mn > min) min = mn;
    if (mx > max) max = mx;
  }
}

TSectionBase* TCell::SectionAtY(int y, int& top, int& index) const {
  int sum = 0;
  for (int i = 0; i < Count(); ++i) {
    if (sum + Section(i)->FlowHeight > y) {
      top = sum;
      index = i;
      return Section(i);
    }
    sum += Section(i)->FlowHeight;
  }
  index = -1;
  return nullptr;
}

int TCell::SearchText(int from, const std::string& text, bool matchCase) {
  for (int i = 0; i < Count(); ++i) {
    int r = Section(i)->SearchText(from, text, matchCase);
    if (r >= 0) return r;
  }
  return -1;
}

bool TCell::PointOfPosition(ThtMeasure& canvas, int position, int& x, int& y) {
  for (int i = 0; i < Count(); ++i)
    if (Section(i)->PointOfPosition(canvas, position, x, y)) return true;
  return false;
}

bool TCell::CharAt(int position, char& ch, TSectionBase*& obj) {
  if (position < FirstPos || position > FirstPos + PosCount) return false;
  for (int i = 0; i < Count(); ++i)
    if (Section(i)->CharAt(position, ch, obj)) return true;
  return false;
}

void TCell::ReapplyDefaults() {
  for (int i = 0; i < Count(); ++i) Section(i)->ReapplyDefaults();
}

void TSectionList::EmitSelectionWalk(TCell& cell) {
  for (int i = 0; i < cell.Count(); ++i) {
    TSectionBase* s = cell.Section(i);
    if (s->FirstPos >= SelEndPos) break;
    if (s->FirstPos + s->PosCount > SelStartPos) s->EmitSelection();
  }
}

int TSectionList::SelectionLength() {
  if (SelEndPos <= SelStartPos) return 0;
  htmlun2::SelTextCount counter;
  TextSink = &counter;
  EmitSelectionWalk(*this);
  TextSink = nullptr;
  return counter.Count();
}

}  // namespace htmlsubs
