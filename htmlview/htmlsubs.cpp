#include "htmlsubs.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "htmlcanvas.h"
#include "imgcache.h"

namespace htmlsubs {

// ---------------------------------------------------------------------------
// Font runs

TFontObj::TFontObj(TMyFont* font, int pos) : RunStart(pos), Font(font) {
  Font->OnChange = [this](TObject*) { Measure(); };
  Measure();
}

TFontObj::~TFontObj() {
  if (Font) Font->OnChange = nullptr;
  delete Font;
}

TFontObj* TFontObj::CloneFrom(const TFontObj& src) {
  auto* f = new TMyFont;
  f->Assign(*src.Font);
  auto* r = new TFontObj(f, src.RunStart);
  r->Link.Assign(src.Link.URL, src.Link.Target);
  r->SScript = src.SScript;
  return r;
}

void TFontObj::Measure() {
  ThtMeasure& m = ScreenMeasure();
  m.SelectFont(*Font);
  THtFontMetrics tm = m.Metrics();
  TextHeight = tm.Height;
  RunHeight = tm.Height + tm.ExternalLeading;
  Overhang = tm.Overhang;
  Descent = tm.Descent;
}

void TFontObj::ReapplyDefaults(const TFontDefaults& list) {
  Font->ApplyDefaults(list, Link.URL.empty() ? list.DefaultColor : list.LinkColor);
  // A colour-only change reports nothing; the metrics follow face and size.
  Measure();
}

void TFontList::CloneFrom(const TFontList& src) {
  Clear();
  for (int i = 0; i < src.Count(); ++i) Add(TFontObj::CloneFrom(*src.Run(i)));
}

TFontObj* TFontList::RunAt(int pos, int& index) const {
  // Runs start at ascending positions: the last one at or before pos, by
  // halving (a section of many runs is measured word by word).
  int lo = 0, hi = Count() - 1;
  index = -1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    if (Run(mid)->RunStart > pos) {
      hi = mid - 1;
    } else {
      index = mid;
      lo = mid + 1;
    }
  }
  // A position before the first run belongs to it.
  if (index < 0 && Count() > 0) index = 0;
  return index < 0 ? nullptr : Run(index);
}

TMyFont* TFontList::FontAt(int pos, int& overhang) const {
  int index;
  TFontObj* r = RunAt(pos, index);
  overhang = r ? r->Overhang : 0;
  return r ? r->Font : nullptr;
}

int TFontList::RunLengthAt(int pos, int len) const {
  int index;
  RunAt(pos, index);
  if (index < 0 || index + 1 >= Count()) return len - pos;
  return Run(index + 1)->RunStart - pos;
}

// ---------------------------------------------------------------------------
// Image sizes and list labels

int ImageSide(int attr) {
  if (attr < 0) return 0;
  return attr > MaxImageSide ? MaxImageSide : attr;
}

int ImageHSpace(int value) {
  if (value < -20 || value > 20) return 20;
  return value < 0 ? -value : value;
}

void SizeImage(int attrWidth, int attrHeight, int naturalWidth, int naturalHeight, int& picWidth,
               int& picHeight) {
  const int w = ImageSide(attrWidth), h = ImageSide(attrHeight);
  const int nw = ImageSide(naturalWidth), nh = ImageSide(naturalHeight);
  if (w > 0 && h > 0) {
    picWidth = w;
    picHeight = h;
  } else if (h > 0) {
    picHeight = h;
    picWidth = nh > 0 ? ImageSide(MulDiv(h, nw, nh)) : nw;
  } else if (w > 0) {
    picWidth = w;
    picHeight = nw > 0 ? ImageSide(MulDiv(w, nh, nw)) : nh;
  } else {
    picWidth = nw;
    picHeight = nh;
  }
}

std::string OrderedLabel(char numberStyle, int itemNumber) {
  static const char* const kRoman[20] = {"I",   "II",   "III",   "IV",  "V",  "VI",  "VII",
                                         "VIII", "IX",  "X",     "XI",  "XII", "XIII", "XIV",
                                         "XV",  "XVI",  "XVII", "XVIII", "XIX", "XX"};
  // Items below the first (START=0) read the first entry, as items above
  // the last read the last.
  const int n = itemNumber < 1 ? 1 : itemNumber;
  std::string label;
  switch (numberStyle) {
    case 'A':
    case 'a':
      label = std::string(1, static_cast<char>(numberStyle + (n - 1 > 25 ? 25 : n - 1)));
      break;
    case 'I':
    case 'i':
      label = kRoman[(n > 20 ? 20 : n) - 1];
      if (numberStyle == 'i')
        for (char& c : label) c = static_cast<char>(c - 'A' + 'a');
      break;
    default:
      label = std::to_string(itemNumber);
  }
  label += '.';
  return label.substr(0, 7);
}

// ---------------------------------------------------------------------------
// Cached pictures

bool IsGifName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext == ".GIF";
}

TObject* TCachedImage::Fetch(const std::string& name, const Loader& load, bool& fromCache, TObject*& mask,
                             uint8_t& transp) {
  Release();
  fromCache = false;
  mask = nullptr;
  transp = 0;
  if (name.empty()) return nullptr;
  htmlun2::StartImageCache();
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  htmlun2::TStringBitmapList* cache = htmlun2::BitmapList;
  int i = cache->IndexOf(key);
  if (i >= 0) {
    fromCache = true;
    key_ = key;
    mask = cache->Item(i)->Mask;
    transp = cache->Item(i)->Transp;
    return cache->GetImage(i);
  }
  TObject* image = load ? load(mask, transp) : nullptr;
  if (!image) {
    delete mask;
    mask = nullptr;
    return nullptr;
  }
  auto* item = new htmlun2::TBitmapItem(image, mask, transp);
  // The new entry counts the use of the object that fetched it.
  item->UsageCount = 1;
  cache->AddObject(key, item);
  key_ = key;
  return image;
}

void TCachedImage::CopyFrom(const TCachedImage& src) {
  if (&src == this) return;
  Release();
  if (!src.Held() || !htmlun2::BitmapList) return;
  int i = htmlun2::BitmapList->IndexOf(src.key_);
  if (i < 0) return;
  htmlun2::BitmapList->GetImage(i);
  key_ = src.key_;
}

void TCachedImage::Release() {
  if (key_.empty()) return;
  if (htmlun2::BitmapList) htmlun2::BitmapList->DecUsage(key_);
  key_.clear();
}

// ---------------------------------------------------------------------------
// Margins

void IndentManager::Clear() {
  LeftRecs.Clear();
  RightRecs.Clear();
  left_ = Side();
  right_ = Side();
  liveFrom_ = INT_MIN;
}

void IndentManager::Reset(int lf, int rt) {
  LeftEdge = lf;
  RightEdge = rt;
  ListLevel = 0;
}

void IndentManager::AddRec(TFreeList& list, int offset, int from, int to, int level) {
  auto* r = new IndentRec;
  r->Offset = offset;
  r->FromY = from;
  r->ToY = to;
  r->Level = level;
  list.Add(r);
  (&list == &LeftRecs ? left_ : right_).live.push_back(r);
}

// A record can leave the live set only as a float: list levels stay live
// until they are closed, and closing one is what turns it into a float.
static bool Over(const IndentRec* r, int y) { return r->Level == 0 && r->ToY <= y; }

static void Bury(std::map<int, int>& at, int& bottom, const IndentRec* r) {
  auto it = at.find(r->Offset);
  if (it == at.end())
    at.emplace(r->Offset, r->ToY);
  else if (r->ToY > it->second)
    it->second = r->ToY;
  if (r->ToY > bottom) bottom = r->ToY;
}

void IndentManager::Partition(const TFreeList& list, Side& side, int y) {
  side = Side();
  for (int i = 0; i < list.Count(); ++i) {
    auto* r = static_cast<IndentRec*>(list.Items(i));
    if (Over(r, y))
      Bury(side.deadBottomAt, side.deadBottom, r);
    else
      side.live.push_back(r);
  }
}

void IndentManager::Prune(Side& side, int y) {
  size_t keep = 0;
  for (IndentRec* r : side.live) {
    if (Over(r, y))
      Bury(side.deadBottomAt, side.deadBottom, r);
    else
      side.live[keep++] = r;
  }
  side.live.resize(keep);
}

// Lines move down, so a query below the last one only drops records; one
// above it (a repaint) sorts all records again from there.
void IndentManager::Settle(int y) const {
  if (y < liveFrom_) {
    Partition(LeftRecs, left_, y);
    Partition(RightRecs, right_, y);
  } else if (y > liveFrom_) {
    Prune(left_, y);
    Prune(right_, y);
  } else {
    return;
  }
  liveFrom_ = y;
}

int IndentManager::LeftAt(int y) const {
  Settle(y);
  int best = 0;
  bool any = false;
  for (const IndentRec* r : left_.live) {
    if (y >= r->FromY && y < r->ToY && (!any || r->Offset > best)) {
      best = r->Offset;
      any = true;
    }
  }
  return LeftEdge + best;
}

int IndentManager::RightAt(int y) const {
  Settle(y);
  int best = 0;
  bool any = false;
  for (const IndentRec* r : right_.live) {
    if (y >= r->FromY && y < r->ToY && (!any || r->Offset < best)) {
      best = r->Offset;
      any = true;
    }
  }
  return RightEdge + best;
}

int IndentManager::FloatsBottom() const {
  int b = std::max(0, std::max(left_.deadBottom, right_.deadBottom));
  for (const IndentRec* r : left_.live)
    if (r->Level == 0 && r->ToY > b) b = r->ToY;
  for (const IndentRec* r : right_.live)
    if (r->Level == 0 && r->ToY > b) b = r->ToY;
  return b;
}

void IndentManager::ClearLines(int& cl, int& cr) const {
  cl = left_.deadBottom == INT_MIN ? 0 : std::max(0, left_.deadBottom + 1);
  cr = right_.deadBottom == INT_MIN ? 0 : std::max(0, right_.deadBottom + 1);
  for (const IndentRec* r : left_.live)
    if (r->Level == 0 && r->ToY + 1 > cl) cl = r->ToY + 1;
  for (const IndentRec* r : right_.live)
    if (r->Level == 0 && r->ToY + 1 > cr) cr = r->ToY + 1;
}

int IndentManager::BelowListFloats() const {
  int levelOffset = 0;
  if (ListLevel > 0)
    for (const IndentRec* r : left_.live)
      if (r->Level == ListLevel) levelOffset = r->Offset;
  int below = 0;
  for (const IndentRec* r : left_.live)
    if (r->Offset > levelOffset && r->ToY > below) below = r->ToY;
  for (auto it = left_.deadBottomAt.upper_bound(levelOffset); it != left_.deadBottomAt.end(); ++it)
    if (it->second > below) below = it->second;
  return below + 1;
}

void IndentManager::Shift(int dy) {
  for (TFreeList* list : {&LeftRecs, &RightRecs})
    for (int i = 0; i < list->Count(); ++i) {
      auto* r = static_cast<IndentRec*>(list->Items(i));
      r->FromY += dy;
      if (r->Level == 0) r->ToY += dy;
    }
  if (liveFrom_ != INT_MIN) {
    liveFrom_ += dy;
    Partition(LeftRecs, left_, liveFrom_);
    Partition(RightRecs, right_, liveFrom_);
  }
}

void IndentManager::PlaceFloat(int y, TFloatObj& image) {
  int w = image.BoxWidth + image.HSpace;
  int h = image.BoxHeight;
  if (image.Align == AlignLeft) {
    image.FloatX = LeftAt(y) - LeftEdge;
    AddRec(LeftRecs, image.FloatX + w, y, y + h, 0);
  } else if (image.Align == AlignRight) {
    int offset = RightAt(y) - RightEdge - w;
    AddRec(RightRecs, offset, y, y + h, 0);
    image.FloatX = offset + RightEdge + image.HSpace;
  }
}

void IndentManager::PlaceFloatBox(int y, int width, int justify, int height) {
  if (justify == 1)
    AddRec(LeftRecs, LeftAt(y) - LeftEdge + width, y, y + height, 0);
  else if (justify == 3)
    AddRec(RightRecs, RightAt(y) - RightEdge - width, y, y + height, 0);
}

void IndentManager::SetListLevel(int y, int level) {
  if (level > ListLevel) {
    for (int l = ListLevel + 1; l <= level; ++l) AddRec(LeftRecs, LeftAt(y) - LeftEdge + 35, y, 9999999, l);
  } else if (level < ListLevel && ListLevel >= 1) {
    for (IndentRec* r : left_.live)
      if (r->Level > level) {
        r->Level = 0;
        r->ToY = y - 1;
      }
  }
  ListLevel = level;
}

}  // namespace htmlsubs
