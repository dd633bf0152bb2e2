// The document model's side records: font runs, image records and the
// float margins of a cell.
#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <vector>
#include <functional>
#include <string>

#include "htmlattrs.h"
#include "htmlutil.h"
#include "myfont.h"

namespace htmlsubs {

using htmlun2::TFreeList;
using htmlun2::TUrlTarget;

// One font run of a section.
class TFontObj : public TObject {
 public:
  // Takes ownership of font; re-measures whenever the font changes.
  TFontObj(TMyFont* font, int pos);
  ~TFontObj() override;
  TFontObj(const TFontObj&) = delete;
  TFontObj& operator=(const TFontObj&) = delete;
  // A copy with its own font and link.
  static TFontObj* CloneFrom(const TFontObj& src);
  void ReapplyDefaults(const TFontDefaults& list);
  void Measure();

  int RunStart;
  TMyFont* Font;
  int RunHeight = 0;
  int TextHeight = 0;
  int Overhang = 0;
  int Descent = 0;
  TUrlTarget Link;
  // 0 normal, 1 subscript, 2 superscript.
  int SScript = 0;
};

// Font runs in ascending RunStart; the first starts at 0.
class TFontList : public TFreeList {
 public:
  TFontObj* Run(int i) const { return static_cast<TFontObj*>(Items(i)); }
  void CloneFrom(const TFontList& src);
  // The font of the run holding pos (the last run starting at or before it).
  TMyFont* FontAt(int pos, int& overhang) const;
  // Characters from pos to the next run's start, or to len in the last run.
  int RunLengthAt(int pos, int len) const;
  TFontObj* RunAt(int pos, int& index) const;
};

// Alignment values of an image.
enum { AlignTop = 0, AlignMiddle = 1, AlignBottom = 2, AlignLeft = 3, AlignRight = 4 };

// The placement fields of an image that the margins need.
class TFloatObj : public TObject {
 public:
  int BoxHeight = 0, BoxWidth = 0;
  int Align = AlignBottom;
  int HSpace = 5;
  int FloatX = 0;
};

// Image sizes as layout takes them.  Sides are held to MaxImageSide so that
// borders, gaps and the sums of a whole flow stay within 32 bits; a negative
// attribute counts as not given (0).
constexpr int MaxImageSide = 32767;
int ImageSide(int attr);
// HSPACE: its absolute value, at most 20 (the most negative integer too).
int ImageHSpace(int value);
// The drawn size from the WIDTH and HEIGHT attributes (0 = not given) and
// the natural size; a zero natural side keeps the given size instead of
// dividing by it.
void SizeImage(int attrWidth, int attrHeight, int naturalWidth, int naturalHeight, int& picWidth,
               int& picHeight);

// The label of an ordered list item by its numbering style ('A', 'a', 'I',
// 'i', anything else decimal), with its period, cut to 7 characters.
std::string OrderedLabel(char numberStyle, int itemNumber);

// True when a file name's extension is ".gif", in any case.
bool IsGifName(const std::string& name);

// One use of a picture in the image cache.  Every image object, and the
// document's background, holds exactly one use from a fetch, a cache hit or
// a copy, and gives back exactly what it took, so the cache never frees a
// picture a live document still draws.
class TCachedImage {
 public:
  // Makes the picture of a name not in the cache (its mask and transparency
  // too), or returns null.
  using Loader = std::function<TObject*(TObject*& mask, uint8_t& transp)>;
  TCachedImage() = default;
  TCachedImage(const TCachedImage&) = delete;
  TCachedImage& operator=(const TCachedImage&) = delete;
  ~TCachedImage() { Release(); }
  // The cached picture of name (the key is the name upper-cased), else what
  // load makes, added to the cache; null when neither has one.
  TObject* Fetch(const std::string& name, const Loader& load, bool& fromCache, TObject*& mask, uint8_t& transp);
  // Another use of what src holds.
  void CopyFrom(const TCachedImage& src);
  void Release();
  bool Held() const { return !key_.empty(); }

 private:
  std::string key_;
};

// One margin record: holds for FromY <= Y < ToY.
struct IndentRec : public TObject {
  int Offset = 0;
  int FromY = 0, ToY = 0;
  int Level = 0;  // 0 for a float, else the list level of an indent
};

// The left and right margins of a cell as floats and list nesting push
// them in.
class IndentManager : public TObject {
 public:
  int BandWidth = 0;
  int DrawOrigin = 0;
  TFreeList LeftRecs, RightRecs;
  int ListLevel = 0;
  int LeftEdge = 0, RightEdge = 0;

  IndentRec* Left(int i) const { return static_cast<IndentRec*>(LeftRecs.Items(i)); }
  IndentRec* Right(int i) const { return static_cast<IndentRec*>(RightRecs.Items(i)); }
  void Clear();
  void Reset(int lf, int rt);
  int LeftAt(int y) const;
  int RightAt(int y) const;
  int FloatsBottom() const;
  void ClearLines(int& cl, int& cr) const;
  int BelowListFloats() const;
  void PlaceFloat(int y, TFloatObj& image);
  void PlaceFloatBox(int y, int width, int justify, int height);
  void SetListLevel(int y, int level);
  // Every record moves down by dy (an open list level still reaches to
  // the end of the cell).
  void Shift(int dy);

 private:
  // Lines are laid out top down and a cell collects a margin record for
  // every float and list level, so the queries look only at the records
  // that still reach below LiveFrom_; the others are floats (their Level
  // and ToY never change again) kept only as the bottoms they add up to.
  struct Side {
    std::vector<IndentRec*> live;
    std::map<int, int> deadBottomAt;  // Offset -> largest ToY of those
    int deadBottom = INT_MIN;
  };
  void AddRec(TFreeList& list, int offset, int from, int to, int level);
  void Settle(int y) const;
  static void Partition(const TFreeList& list, Side& side, int y);
  static void Prune(Side& side, int y);
  mutable Side left_, right_;
  mutable int liveFrom_ = INT_MIN;
};

}  // namespace htmlsubs
