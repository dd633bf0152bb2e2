#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "bmpread.h"
#include "htmlattrs.h"
#include "htmlmap.h"
#include "htmlutil.h"
#include "test_support.h"

using namespace htmlun2;

namespace {

// Counts its own destructions, to see that the owning lists free each item once.
struct Counted : TObject {
  explicit Counted(int* n) : n_(n) {}
  ~Counted() override { ++*n_; }
  int* n_;
};

}  // namespace

TEST(HtmlAttributes, FindTakesTheFirstOfAKindAndTheListOwnsItsItems) {
  TAttributeList list;
  list.AddAttribute(7, 0, "first");
  list.AddAttribute(9, 12, "12");
  list.AddAttribute(7, 0, "second");
  TAttribute* a = nullptr;
  ASSERT_TRUE(list.Find(7, a));
  EXPECT_EQ(a->Name, "first");
  ASSERT_TRUE(list.Find(9, a));
  EXPECT_EQ(a->Value, 12);
  TAttribute* untouched = a;
  EXPECT_FALSE(list.Find(8, a));
  EXPECT_EQ(a, untouched);

  int freed = 0;
  {
    TFreeList owner;
    owner.Add(new Counted(&freed));
    owner.Add(new Counted(&freed));
    owner.Clear();
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(owner.Count(), 0);
    owner.Add(new Counted(&freed));
  }
  EXPECT_EQ(freed, 3);
}

// ---------------------------------------------------------------------------
// BMP reader against Pillow's decoding of files Pillow and ImageMagick wrote.

namespace {

struct Sample {
  std::string name;
  int width, height;
  std::vector<uint8_t> bmp, rgb;
};

std::vector<Sample> MakeSamples() {
  std::string dir = testsupport::Join(testsupport::ScratchDir(), "bmps");
  std::string script = testsupport::Join(testsupport::Join(testsupport::SourceDir(), "tests/htmlimage"), "make_bmps.py");
  std::string log;
  int rc = testsupport::RunUnix("/usr/bin/python3", {testsupport::ToUnixPath(script), testsupport::ToUnixPath(dir)}, &log);
  EXPECT_EQ(rc, 0) << log;
  std::vector<Sample> samples;
  std::vector<uint8_t> text = testsupport::ReadFileBytes(testsupport::Join(dir, "index.txt"));
  std::istringstream index(std::string(text.begin(), text.end()));
  Sample s;
  while (index >> s.name >> s.width >> s.height) {
    s.bmp = testsupport::ReadFileBytes(testsupport::Join(dir, s.name + ".bmp"));
    s.rgb = testsupport::ReadFileBytes(testsupport::Join(dir, s.name + ".rgb"));
    samples.push_back(s);
  }
  return samples;
}

// Made once for the whole binary: the script takes a few seconds.
const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = MakeSamples();
  return samples;
}

bool Decode(const std::vector<uint8_t>& file, TBmpPixels& px) { return ReadBmp(file.data(), file.size(), px); }

void Put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
}

}  // namespace

TEST(BmpReader, EveryFormDecodesEqualToPillowAndCutCopiesFail) {
  const std::vector<Sample>& samples = Samples();
  ASSERT_GE(samples.size(), 70u);
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.name);
    TBmpPixels px;
    ASSERT_TRUE(Decode(s.bmp, px));
    ASSERT_EQ(px.Width, s.width);
    ASSERT_EQ(px.Height, s.height);
    ASSERT_EQ(s.rgb.size(), size_t(s.width) * size_t(s.height) * 3);
    int wrong = 0;
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) {
        const uint8_t* p = &s.rgb[(size_t(y) * s.width + x) * 3];
        uint32_t want = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        if (px.At(x, y) != want && wrong++ < 3)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << px.At(x, y) << " instead of " << want;
      }
    EXPECT_EQ(wrong, 0);

    uint32_t hdr = s.bmp[14] | (s.bmp[15] << 8);
    uint32_t off = s.bmp[10] | (s.bmp[11] << 8);
    for (size_t cut : {size_t(0), size_t(13), size_t(20), size_t(14 + hdr - 1), size_t(off - 1),
                       size_t((off + s.bmp.size()) / 2), s.bmp.size() - 3}) {
      std::vector<uint8_t> part(s.bmp.begin(), s.bmp.begin() + std::min(cut, s.bmp.size()));
      EXPECT_FALSE(Decode(part, px)) << "cut at " << cut;
      EXPECT_TRUE(px.Pixels.empty());
    }
  }
}

TEST(BmpReader, ImpossibleHeadersGiveNoBitmap) {
  const std::vector<Sample>& samples = Samples();
  auto find = [&](const std::string& name) {
    for (const Sample& s : samples)
      if (s.name == name) return s.bmp;
    ADD_FAILURE() << name;
    return std::vector<uint8_t>(64, 0);
  };
  const std::vector<uint8_t> info = find("pil24_w4"), core = find("core8"), rle = find("imrle8_w5");
  TBmpPixels px;
  struct Edit {
    const char* what;
    size_t at;
    uint32_t value;
    int bytes;
  };
  // Each is refused before any pixel memory is taken (ASan would object to
  // the gigabytes a 65535 x 65535 claim asks for).
  const Edit edits[] = {
      {"65535 x 65535", 18, 65535, 4},   {"65535 x 65535", 22, 65535, 4},  {"zero width", 18, 0, 4},
      {"negative width", 18, uint32_t(-4), 4}, {"zero height", 22, 0, 4},   {"most negative height", 22, 0x80000000u, 4},
      {"two planes", 26, 2, 2},          {"7 bits", 28, 7, 2},             {"JPEG inside", 30, 4, 4},
      {"header past the data", 14, 4000, 4}, {"pixels past the data", 10, 0x7FFFFFF0u, 4},
      {"odd header size", 14, 30, 4},    {"wider than the data", 18, 5000, 4},
  };
  for (const Edit& e : edits) {
    std::vector<uint8_t> d = info;
    if (e.bytes == 4) Put32(d, e.at, e.value);
    else d[e.at] = uint8_t(e.value), d[e.at + 1] = uint8_t(e.value >> 8);
    if (std::string(e.what) == "65535 x 65535") Put32(d, 18, 65535), Put32(d, 22, 65535);
    EXPECT_FALSE(Decode(d, px)) << e.what;
  }
  // A core header of 65535 x 65535 and a top-down run-length file.
  std::vector<uint8_t> d = core;
  d[18] = d[19] = d[20] = d[21] = 0xFF;
  EXPECT_FALSE(Decode(d, px));
  d = rle;
  Put32(d, 22, uint32_t(-int32_t(rle[22])));
  EXPECT_FALSE(Decode(d, px));
  // A colour table that claims more entries than the bits allow reads only those.
  d = find("pil8_w3");
  Put32(d, 46, 100000);
  EXPECT_TRUE(Decode(d, px));
}

// ---------------------------------------------------------------------------
// Names, image kinds and the GIF transparent colour.

TEST(HtmlHelpers, FileNamesTrimAndImageKinds) {
  EXPECT_EQ(HTMLToDos("file:///C|/Help/Index.HTM"), "c:\\help\\index.htm");
  EXPECT_EQ(HTMLToDos("file://Server/Share/a.gif"), "server\\share\\a.gif");
  EXPECT_EQ(HTMLToDos("Pics/Logo.GIF"), "pics\\logo.gif");
  EXPECT_EQ(HTMLToDos("Logo.GIF"), "Logo.GIF");
  EXPECT_EQ(Trim(std::string("\t\r\n  a b \x01", 9)), "a b");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // only characters at or below a space go
  EXPECT_EQ(Trim("   "), "");

  const struct {
    const char* head;
    size_t n;
    int kind;
  } kinds[] = {{"GIF89a", 6, ikGif89}, {"GIF87a", 6, ikGif87}, {"GIF8", 4, ikGif87}, {"BM\x36", 3, ikBmp},
               {"\x89PNG", 4, ikPng},  {"\xFF\xD8\xFF", 3, ikJpeg}, {"GIF", 3, ikNone}, {"", 0, ikNone}};
  for (const auto& k : kinds)
    EXPECT_EQ(GetImageKind(reinterpret_cast<const uint8_t*>(k.head), k.n), k.kind) << k.head;

  std::string dir = testsupport::ScratchDir();
  testsupport::WriteFileText(testsupport::Join(dir, "x.gif"), "GIF89a....");
  EXPECT_EQ(GetFileImageKind(testsupport::Join(dir, "x.gif")), ikGif89);
  EXPECT_EQ(GetFileImageKind(testsupport::Join(dir, "missing.gif")), ikNone);
}

TEST(HtmlHelpers, GifTransparentColourOfRealAndDamagedFiles) {
  // Pillow writes a small GIF89 (well under the 790 bytes the probe reads)
  // whose index 2 is transparent; palette entry 2 is (10, 20, 30).
  std::string dir = testsupport::ScratchDir();
  std::string gif = testsupport::Join(dir, "t.gif");
  std::string log;
  ASSERT_EQ(testsupport::RunUnix("/usr/bin/python3",
                                 {"-c",
                                  "import sys\nfrom PIL import Image\nim = Image.new('P', (4, 3), 1)\n"
                                  "im.putpalette([0,0,0, 200,100,50, 10,20,30, 255,255,255])\n"
                                  "im.putpixel((1, 1), 2)\nim.save(sys.argv[1], transparency=2)\n",
                                  testsupport::ToUnixPath(gif)},
                                 &log),
            0)
      << log;
  std::vector<uint8_t> d = testsupport::ReadFileBytes(gif);
  ASSERT_LT(d.size(), 790u);
  uint32_t color = 0;
  ASSERT_TRUE(GifTransparentColor(d.data(), d.size(), color));
  EXPECT_EQ(color, 0x1E140Au);

  // Read from where the stream stands, which is kept.
  TMemoryStream stream;
  stream.WriteBuffer("junk", 4);
  stream.WriteBuffer(d.data(), int(d.size()));
  stream.SetPosition(4);
  color = 0;
  EXPECT_TRUE(GetGifTransparentColor(&stream, color));
  EXPECT_EQ(color, 0x1E140Au);
  EXPECT_EQ(stream.Position(), 4);

  size_t table = size_t(2) << (d[10] & 7);
  size_t gce = 13 + 3 * table;
  ASSERT_EQ(d[gce], 0x21);
  // Cut inside the control block: the bytes past the end are not read.
  EXPECT_FALSE(GifTransparentColor(d.data(), gce + 6, color));
  // The index past the table: no transparent colour.
  std::vector<uint8_t> e = d;
  e[gce + 6] = uint8_t(table);
  EXPECT_FALSE(GifTransparentColor(e.data(), e.size(), color));
  // No global table: the block must follow the screen descriptor at once,
  // and an index has no colour to name.
  e = d;
  e[10] &= 0x7F;
  EXPECT_FALSE(GifTransparentColor(e.data(), e.size(), color));
  std::vector<uint8_t> bare(d.begin(), d.begin() + 13);
  bare[10] = 0;
  bare.insert(bare.end(), d.begin() + gce, d.end());
  EXPECT_FALSE(GifTransparentColor(bare.data(), bare.size(), color));
  // GIF87 files carry no transparency.
  e = d;
  e[4] = '7';
  EXPECT_FALSE(GifTransparentColor(e.data(), e.size(), color));
}

// ---------------------------------------------------------------------------
// Image-map areas (the regions here are the portable stand-ins; the Wine
// suite checks GDI's).

namespace {

enum { kHref = 1, kTarget = 2, kCoords = 3, kShape = 4 };
const TAreaKinds kKinds{kHref, kTarget, kCoords, kShape};

void Area(TMapItem& map, const char* href, const char* coords, const char* shape) {
  TAttributeList a;
  if (href) a.AddAttribute(kHref, 0, href);
  a.AddAttribute(kTarget, 0, "frame");
  a.AddAttribute(kCoords, 0, coords);
  if (shape) a.AddAttribute(kShape, 0, shape);
  map.AddArea(a, kKinds);
}

}  // namespace

TEST(HtmlMaps, CoordinatesAreReadLikeAttributeNumbers) {
  EXPECT_EQ(ParseCoords(" 1, 2 ,3,4"), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(ParseCoords("1,x,3,99999999999,-5"), (std::vector<int>{1, 0, 3, 0, -5}));
  EXPECT_EQ(ParseCoords("1,2,,3"), (std::vector<int>{1, 2}));
  EXPECT_EQ(ParseCoords(""), std::vector<int>{});
  std::string many;
  for (int i = 0; i < 300; ++i) many += std::to_string(i) + ",";
  EXPECT_EQ(ParseCoords(many).size(), 201u);
  EXPECT_EQ(AreaShape("CIRCLE"), asCircle);
  EXPECT_EQ(AreaShape("Polygon"), asPoly);
  EXPECT_EQ(AreaShape("cir"), asRect);
  EXPECT_EQ(AreaShape(""), asRect);

  TMapItem map;
  Area(map, "two.htm", "5,5", nullptr);                   // too few numbers: dropped
  Area(map, "bad.htm", "1,2,x,4,5", "circle");            // a bad piece counts as 0: radius 0
  Area(map, "r.htm", "0,0,9,9", "rect");
  Area(map, nullptr, "5,5,20,20", nullptr);                // no HREF: no link where it is first
  EXPECT_EQ(map.Areas.Count(), 3);
  {
    // The circle's box is worked out without overflow (GDI itself may then
    // refuse a region that large, which drops the area).
    TMapItem big;
    Area(big, "big.htm", "2147483647,2147483647,2147483647", "circle");
    Area(big, "big.htm", "-2147483648,0,2147483647,2147483647", "rect");
    EXPECT_LE(big.Areas.Count(), 2);
  }
  TUrlTarget* t = nullptr;
  ASSERT_TRUE(map.GetURL(9, 9, t));
  EXPECT_EQ(t->URL, "r.htm");
  EXPECT_EQ(t->Target, "frame");
  delete t;
  EXPECT_FALSE(map.GetURL(15, 15, t));
  EXPECT_FALSE(map.GetURL(30, 30, t));
}
