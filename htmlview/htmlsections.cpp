#include "htmlsections.h"

#include "gifimage.h"
#include "htmlimageobj.h"
#include "htmltext.h"

namespace htmlsubs {

TFormControlBase* TFormControlList::ControlAt(int pos) const {
  for (int i = 0; i < Count(); ++i)
    if (Control(i)->Pos == pos) return Control(i);
  return nullptr;
}

int TFormControlList::HeightAt(int pos, bool& onBaseline) const {
  TFormControlBase* c = ControlAt(pos);
  if (!c || !c->HasWindow()) return -1;
  onBaseline = c->OnBaseline;
  return c->ControlHeight();
}

int TFormControlList::WidthAt(int pos) const {
  TFormControlBase* c = ControlAt(pos);
  return c && c->HasWindow() ? c->ControlWidth() : -1;
}

int TFormControlList::DistanceToControl(int pos) const {
  int best = 9999;
  for (int i = 0; i < Count(); ++i)
    if (Control(i)->Pos >= pos && Control(i)->Pos - pos < best) best = Control(i)->Pos - pos;
  return best;
}

int TSectionBase::Render(TCanvas&, const ThtRect&, IndentManager&, int, int y) {
  LastTop = y;
  return y + FlowHeight;
}

int TPage::Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) {
  if (OwnerList && OwnerList->ForPrint) {
    // A break well inside the page being drawn ends the page there.
    const int screenY = y - OwnerList->ScrollTop;
    if (screenY > clip.Top + 5 && screenY < clip.Bottom && screenY < OwnerList->PageBreakY)
      OwnerList->PageBreakY = screenY;
  }
  return TSectionBase::Render(canvas, clip, margins, x, y);
}

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

void TParagraphSpace::EmitSelection() {
  if (OwnerList && OwnerList->TextSink) OwnerList->TextSink->AddText("\r\n", 2);
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

namespace {

// Far from where the sums of a layout saturate.
bool Movable(long long y) { return y > -(1 << 28) && y < (1 << 28); }

}  // namespace

int TCell::Arrange(ThtMeasure& canvas, int y, int width, int& scrollWidth, int& curs) {
  if (Document && Document->InPass(laidPass_) && width == laidWidth_ && Movable(y) && Movable(TopY) &&
      Movable(laidHeight_)) {
    Shift(y - TopY, curs - FirstPos);
    curs = FirstPos + PosCount;
    scrollWidth = laidScrollWidth_;
    return laidHeight_;
  }
  heldDy_ = heldDcurs_ = 0;
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
  const int height = static_cast<int>(total > floats ? total : floats);
  if (Document && Document->InLayout) {
    laidPass_ = Document->LayoutPass;
    laidWidth_ = width;
    laidHeight_ = height;
    laidScrollWidth_ = scrollWidth;
  }
  return height;
}

void TCell::Shift(int dy, int dcurs) {
  TopY += dy;
  FirstPos += dcurs;
  heldDy_ += dy;
  heldDcurs_ += dcurs;
}

void TCell::Settle() {
  const int dy = heldDy_, dcurs = heldDcurs_;
  heldDy_ = heldDcurs_ = 0;
  if (dy != 0) Margins.Shift(dy);
  for (int i = 0; i < Count(); ++i) {
    TSectionBase* s = Section(i);
    if (dy != 0 || dcurs != 0) s->Shift(dy, dcurs);
    s->Settle();
  }
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

int TCell::Render(TCanvas& canvas, const ThtRect& clip, int x, int y) {
  Margins.Reset(x, x + Margins.BandWidth);
  Margins.DrawOrigin = y;
  for (int i = 0; i < Count(); ++i) y = Section(i)->Render(canvas, clip, Margins, x, y);
  return y;
}

bool TCell::LinkAt(ThtMeasure& canvas, int x, int y, TUrlTarget& link, TFormControlBase*& control) {
  link.Clear();
  control = nullptr;
  long long top = 0;
  for (int i = 0; i < Count(); ++i) {
    TSectionBase* s = Section(i);
    if (top <= y && y < top + s->HitHeight &&
        s->LinkAt(canvas, x, static_cast<int>(y - top), link, control))
      return true;
    top += s->FlowHeight;
  }
  return false;
}

int TCell::PositionAt(ThtMeasure& canvas, int x, int y, int& caretX, int& caretY, int& caretHt, TCell*& cell) {
  int top = 0, index = -1;
  TSectionBase* s = SectionAtY(y, top, index);
  if (!s) return -1;
  int pos = -1;
  s->PositionAt(canvas, x, y - top, caretX, caretY, caretHt, pos);
  if (pos >= 0) {
    caretY += top;
    if (!cell) cell = this;
  }
  return pos;
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


// ---------------------------------------------------------------------------
// The document

TSectionList::TSectionList(TComponent* owner, TWinControl* paintPanel) : TCell(this) {
  Viewer = owner;
  ControlParent = paintPanel;
  MakeTimer(owner);
}

TSectionList::~TSectionList() {
  // The sections' images leave AnimatedImages as they go, so the sections
  // go first.
  Clear();
  FreeTimer();
}

void TSectionList::Clear() {
  delete backTile_;
  backTile_ = nullptr;
  BackImage = nullptr;
  backUse_.Release();
  BackImageName.clear();
  BackImageTried = false;
  AnimatedImages.Clear();
  drawn_.Clear();
  SelStartPos = SelEndPos = 0;
  TFreeList::Clear();
  AllControls.Clear();
  Forms.Clear();
  ImageMaps.Clear();
}

void TSectionList::SetDefaults(const std::string& face, const std::string& preFace, TColor background,
                               TColor linkColor, TColor textColor, int size) {
  DefaultFace = face.substr(0, 32);
  DefaultPreFace = preFace.substr(0, 32);
  DefaultSize = size;
  DefaultColor = textColor;
  LinkColor = linkColor;
  SetBackground(background);
  ReapplyDefaults();
}

void TSectionList::SetBackground(TColor color) {
  Background = color;
  if (OnBackColorChange) OnBackColorChange(this);
}

void TSectionList::SetBackImage(const std::string& name) {
  BackImageName = name;
  delete backTile_;
  backTile_ = nullptr;
  BackImage = nullptr;
  backUse_.Release();
  BackImageTried = false;
}

TObject* TSectionList::GetBackImage() {
  if (ViewImages && !BackImageTried && !BackImageName.empty() && !BackImage) {
    uint8_t transparent = 0;
    TObject* mask = nullptr;
    TObject* image = FetchImage(ExpandName(BackImageName), transparent, mask, backUse_);
    // Only a plain bitmap tiles the page.
    if (image && !AsGif(image))
      BackImage = image;
    else
      backUse_.Release();
    BackImageTried = true;
  }
  return BackImage;
}

void TSectionList::SetScrollTop(int y) {
  if (y == ScrollTop) return;
  ScrollTop = y;
  ScrollMoved = true;
  for (int i = 0; i < AllControls.Count(); ++i) static_cast<TFormControlBase*>(AllControls.Items(i))->Shown = false;
}

int TSectionList::Arrange(ThtMeasure& canvas, int y, int width, int& scrollWidth, int& curs) {
  struct Pass {
    explicit Pass(TSectionList& l) : list(l) {
      ++list.LayoutPass;
      list.InLayout = list.CacheLayout;
    }
    ~Pass() { list.InLayout = false; }
    TSectionList& list;
  } pass(*this);
  EnableTimer(false);
  for (int i = 0; i < AllControls.Count(); ++i)
    static_cast<TFormControlBase*>(AllControls.Items(i))->SetHeightWidth(canvas);
  const int height = TCell::Arrange(canvas, y, width, scrollWidth, curs);
  Settle();
  RewindAnimations();
  EnableTimer(AnimatedImages.Count() > 0);
  return height;
}

int TSectionList::Render(TCanvas& canvas, const ThtRect& clip, int width, int x, int y) {
  PageBreakY = clip.Bottom;
  EnableTimer(false);
  ClearDrawnFlags(clip);
  void* old = SelectDocPalette(canvas);
  y = TCell::Render(canvas, clip, x, y);
  RestorePalette(canvas, old);
  if (ScrollMoved) {
    for (int i = 0; i < AllControls.Count(); ++i) {
      auto* c = static_cast<TFormControlBase*>(AllControls.Items(i));
      if (!c->Shown) c->HideWindow();
    }
    ScrollMoved = false;
  }
  EnableTimer(AnimatedImages.Count() > 0);
  return y;
}

void TSectionList::MarkDrawn(TImageObj* image) {
  if (drawn_.IndexOf(image) < 0) drawn_.Add(image);
}

bool TSectionList::WasDrawn(TGIFImage* image) const {
  for (int i = 0; i < drawn_.Count(); ++i)
    if (static_cast<TImageObj*>(drawn_.Items(i))->Image == static_cast<TObject*>(image)) return true;
  return false;
}

void TSectionList::ForgetImage(TImageObj* image) { drawn_.Remove(image); }

namespace {

bool Meets(const ThtRect& a, const ThtRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

}  // namespace

// A paint draws only what lies in its clip: clearing every mark would stop
// the GIFs outside a small clip (the place of another GIF's next frame)
// from ever advancing again.
void TSectionList::ClearDrawnFlags(const ThtRect& clip) {
  ThtRect panel;
  const bool hasPanel = PanelRect(panel);
  for (int i = drawn_.Count() - 1; i >= 0; --i) {
    auto* image = static_cast<TImageObj*>(drawn_.Items(i));
    ThtRect shown;
    shown.Left = image->ShownX;
    shown.Top = image->ShownY - ScrollTop;
    shown.Right = shown.Left + (image->PicWidth > 0 ? image->PicWidth : 1);
    shown.Bottom = shown.Top + (image->PicHeight > 0 ? image->PicHeight : 1);
    if (Meets(shown, clip) || (hasPanel && !Meets(shown, panel))) drawn_.Delete(i);
  }
}

std::string TSectionList::ExpandName(const std::string& name) const {
  if (OnBitmapRequest || OnImageRequest || !OnExpandName) return name;
  return OnExpandName(name);
}

TObject* TSectionList::FetchImage(const std::string& name, uint8_t& transparent, TObject*& mask, TCachedImage& use,
                                  bool* fromCache) {
  const uint8_t wanted = transparent;
  bool hit = false;
  // Exactly one source is asked: an event that hands nothing ends the fetch.
  TCachedImage::Loader load = [&](TObject*& m, uint8_t& t) -> TObject* {
    t = wanted;
    m = nullptr;
    if (OnBitmapRequest) {
      TBitmap* bitmap = nullptr;
      TColor color = static_cast<TColor>(-1);
      OnBitmapRequest(this, name, bitmap, color);
      return bitmap ? PictureFromBitmap(bitmap, color, t, m) : nullptr;
    }
    if (OnImageRequest) {
      TMemoryStream* stream = nullptr;
      OnImageRequest(this, name, stream);
      if (!stream || stream->Size() == 0) return nullptr;
      return PictureFromStream(stream, t, m);
    }
    return PictureFromFile(name, t, m);
  };
  TObject* image = use.Fetch(name, load, hit, mask, transparent);
  if (fromCache) *fromCache = hit;
  return image;
}

}  // namespace htmlsubs
