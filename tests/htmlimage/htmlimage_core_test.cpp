#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "bmpread.h"
#include "htmlattrs.h"
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
