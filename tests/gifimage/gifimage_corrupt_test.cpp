// The reader on damaged and hostile input: every read fails or keeps the
// frames before the fault, quickly and without a sanitizer report.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "gif_test_util.h"
#include "imgcache.h"
#include "test_support.h"

using giftest::Bytes;
using giftest::CodePacker;
using giftest::Decode;
using giftest::Encoder;
using giftest::GifBuilder;

namespace {

Bytes FourPixels() {
  return Encoder(2).Code(1).Code(2).Code(3).Code(1).End();
}

TEST(GifCorrupt, EveryTruncationKeepsTheFramesBeforeIt) {
  const Bytes file = testsupport::ReadFileBytes(
      testsupport::Join(testsupport::Join(testsupport::Join(testsupport::SourceDir(), "tests"), "gifimage"),
                        "corpus/anim-previous.gif"));
  auto full = Decode(file);
  ASSERT_TRUE(full);
  ASSERT_GE(full->NumFrames(), 3);
  auto start = std::chrono::steady_clock::now();
  int failed = 0;
  for (size_t len = 0; len < file.size(); ++len) {
    Bytes cut(file.begin(), file.begin() + static_cast<long>(len));
    auto image = Decode(cut);
    auto structure = Decode(cut, true);
    ASSERT_EQ(!image, !structure) << "cut at " << len;
    if (!image) {
      ++failed;
      continue;
    }
    ASSERT_EQ(image->NumFrames(), structure->NumFrames()) << "cut at " << len;
    ASSERT_LE(image->NumFrames(), full->NumFrames());
    for (int n = 1; n <= image->NumFrames(); ++n) {
      const htmlgif::TFrame& a = *image->Frame(n);
      const htmlgif::TFrame& b = *full->Frame(n);
      EXPECT_EQ(a.Width, b.Width);
      EXPECT_EQ(a.Height, b.Height);
      if (n < image->NumFrames()) {
        EXPECT_EQ(a.Pixels, b.Pixels) << "cut at " << len << ", frame " << n;
      }
    }
  }
  // Only cuts before the first image's data can fail.
  EXPECT_GT(failed, 0);
  EXPECT_LT(failed, static_cast<int>(file.size()) / 2);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds / (2 * file.size()), 0.01) << "seconds a read";
}

TEST(GifCorrupt, BadCodesEndTheFrameAndTheWalkGoesOn) {
  struct Case {
    const char* what;
    int codeSize;
    Bytes lzw;
    Bytes pixels;  // of the 8 x 1 first frame
  };
  std::vector<Case> cases = {
      {"code size 0", 0, FourPixels(), Bytes(8, 0)},
      {"code size 9", 9, FourPixels(), Bytes(8, 0)},
      {"code size 12", 12, FourPixels(), Bytes(8, 0)},
      {"code size 255", 255, FourPixels(), Bytes(8, 0)},
      {"valid", 2, FourPixels(), {1, 2, 3, 1, 0, 0, 0, 0}},
      // 500 where the next free code is 259.
      {"far above next free", 8, Encoder(8).Code(10).Code(20).Code(500).Code(30).End(), {10, 20, 0, 0, 0, 0, 0, 0}},
      // 7 above next free 6, then codes that would chain through it.
      {"looping chain", 2, Encoder(2).Code(1).Code(7).Code(6).Code(7).Code(6).End(), {1, 0, 0, 0, 0, 0, 0, 0}},
      // A clear code repeats, then the end code follows it.
      {"clear then end", 2, Encoder(2).Code(4).Code(5).Code(1).End(), Bytes(8, 0)},
      // Right after a clear code only a pixel value may come.
      {"string after clear", 2, Encoder(2).Code(6).Code(1).End(), Bytes(8, 0)},
      // Pixel values past a 2-entry table.
      {"values past the table", 2, Encoder(2).Code(3).Code(3).End(), {3, 3, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GifBuilder b(8, 1, 1);
    b.Image(0, 0, 8, 1, c.codeSize, c.lzw).Image(0, 0, 8, 1, 2, FourPixels()).Trailer();
    auto image = Decode(b.Data());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->NumFrames(), 2);
    EXPECT_EQ(giftest::Indices(*image->Frame(1)), c.pixels);
    EXPECT_EQ(giftest::Indices(*image->Frame(2)), Bytes({1, 2, 3, 1, 0, 0, 0, 0}));
    // A 2-entry table: the colours past it are black.
    const auto& t = image->Frame(1)->ColorTable;
    EXPECT_EQ(t[3], 1);
    EXPECT_EQ(t[9] | t[10] | t[11] | t[765], 0);
  }
}

TEST(GifCorrupt, LongStringsOfTheSpecialCaseFillTheStack) {
  // Every code is the one being defined, so each string is one longer than
  // the last, up to the full table: about 8 million pixels of 1.
  Encoder e(2);
  e.Code(1);
  while (e.Next() < 4096) e.Code(e.Next());
  GifBuilder b(4096, 2048, 2);
  b.Image(0, 0, 4096, 2048, 2, e.End()).Trailer();
  auto image = Decode(b.Data());
  ASSERT_TRUE(image);
  const htmlgif::TFrame& f = *image->Frame(1);
  // One pixel, then code k gives k - 4 pixels.
  size_t decoded = 1;
  for (int k = 6; k < 4096; ++k) decoded += size_t(k) - 4;
  size_t ones = std::count(f.Pixels.begin(), f.Pixels.end(), 1);
  EXPECT_EQ(ones, decoded);
  EXPECT_EQ(f.Pixels.size() - ones, size_t(4096) * 2048 - decoded);
}

TEST(GifCorrupt, SizesAndStructure) {
  // Zero-width and zero-height frames decode nothing; the walk goes on.
  {
    GifBuilder b(8, 2, 2);
    b.Image(0, 0, 0, 5, 2, FourPixels()).Image(0, 0, 5, 0, 2, FourPixels());
    b.Image(0, 1, 8, 1, 2, FourPixels()).Trailer();
    auto image = Decode(b.Data());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->NumFrames(), 3);
    EXPECT_TRUE(image->Frame(1)->Pixels.empty());
    EXPECT_TRUE(image->Frame(2)->Pixels.empty());
    EXPECT_EQ(giftest::Indices(*image->Frame(3)), Bytes({1, 2, 3, 1, 0, 0, 0, 0}));
    EXPECT_EQ(image->Width(), 8);
    EXPECT_EQ(image->Height(), 5);
  }
  // A 65535 x 65535 frame, or one that widens the screen past the limit,
  // fails the read at once.
  for (int left : {0, 16000}) {
    GifBuilder b(8, 8, 2);
    int side = left ? 1000 : 65535;
    b.Image(left, 0, side, side, 2, FourPixels()).Trailer();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Decode(b.Data())) << left;
    EXPECT_FALSE(Decode(b.Data(), true)) << left;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
  }
  // No image, no GIF, nothing.
  EXPECT_FALSE(Decode(GifBuilder(8, 8, 2).Trailer().Data()));
  EXPECT_FALSE(Decode(Bytes{'G', 'I', 'F', '8', '9', 'a'}));
  EXPECT_FALSE(Decode(Bytes{'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}));
  EXPECT_FALSE(Decode(Bytes()));
  // A 257th image ends the read with 256 frames.
  {
    GifBuilder b(8, 1, 2);
    for (int i = 0; i < 257; ++i) b.Image(0, 0, 8, 1, 2, FourPixels());
    auto image = Decode(b.Trailer().Data());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->NumFrames(), 256);
    EXPECT_TRUE(image->Animated());
  }
  // Short control and application blocks are skipped by their lengths;
  // a full control block and loop count apply to the image after them.
  {
    GifBuilder b(8, 1, 2);
    Bytes data = b.Data();
    Bytes shortBlocks = {0x21, 0xF9, 2, 0x0D, 0x55, 0,                           // control of 2 bytes
                         0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                         1, 1, 0,                                               // loop block of 1 byte
                         0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0,          // comment
                         0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 'x', 0};  // plain text
    data.insert(data.end(), shortBlocks.begin(), shortBlocks.end());
    auto image = Decode([&] {
      GifBuilder tail(8, 1, 2);
      tail.Control(7, 12, true, 3).Loop(2).Image(0, 0, 8, 1, 2, FourPixels()).Image(0, 0, 8, 1, 2, FourPixels());
      Bytes t = tail.Data();
      data.insert(data.end(), t.begin() + 13 + 12, t.end());
      data.push_back(0x3B);
      return data;
    }());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->NumFrames(), 2);
    EXPECT_EQ(image->LoopLimit(), 2);
    const htmlgif::TFrame& f = *image->Frame(1);
    EXPECT_EQ(f.Disposal, 2);
    EXPECT_EQ(f.Delay, 120);
    EXPECT_TRUE(f.Transparent);
    EXPECT_EQ(f.TransparentIndex, 3);
    EXPECT_EQ(f.Comment, "abcde");
    EXPECT_TRUE(image->IsTransparent());
    EXPECT_EQ(f.Mask[0], 0x20);  // pixel 2 has index 3
    EXPECT_FALSE(image->Frame(2)->Transparent);
    EXPECT_EQ(image->Frame(2)->Comment, "");
  }
}

TEST(GifLoad, CreateFromStreamAndCopy) {
  GifBuilder b(8, 2, 2);
  b.Control(3, 4, true, 2).Image(0, 0, 8, 1, 2, FourPixels()).Image(0, 1, 8, 1, 2, FourPixels()).Trailer();
  TMemoryStream s;
  s.Write(b.Data().data(), static_cast<int>(b.Data().size()));
  bool nonAnimated = false;
  auto image = TGIFImage::CreateFromStream(&s, nonAnimated);
  ASSERT_TRUE(image);
  EXPECT_FALSE(nonAnimated);
  EXPECT_FALSE(image->Visible);
  EXPECT_FALSE(image->Empty());
  EXPECT_FALSE(image->NoDisplay());

  auto copy = TGIFImage::CreateCopy(*image);
  ASSERT_TRUE(copy);
  image.reset();  // the copy shares nothing
  ASSERT_EQ(copy->NumFrames(), 2);
  EXPECT_TRUE(copy->Animated());
  EXPECT_TRUE(copy->IsTransparent());
  EXPECT_EQ(copy->Width(), 8);
  EXPECT_EQ(copy->Height(), 2);
  EXPECT_EQ(copy->Frame(1)->Disposal, 3);
  EXPECT_EQ(copy->Frame(1)->Mask[0], 0x40);
  EXPECT_EQ(giftest::Indices(*copy->Frame(2)), Bytes({1, 2, 3, 1, 0, 0, 0, 0}));

  TMemoryStream junk;
  junk.Write("GIF89a", 6);
  EXPECT_FALSE(TGIFImage::CreateFromStream(&junk, nonAnimated));
  EXPECT_TRUE(nonAnimated);
  EXPECT_FALSE(TGIFImage::CreateFromFile("/nonexistent/x.gif", nonAnimated));
}

// Serves 'first' until it has been read to its end, then 'second'.
class TChangingStream : public TStream {
 public:
  TChangingStream(Bytes first, Bytes second) : first_(std::move(first)), second_(std::move(second)) {}
  int Read(void* buffer, int count) override {
    const Bytes& d = switched_ ? second_ : first_;
    int n = static_cast<int>(std::min<int64_t>(count, std::max<int64_t>(0, int64_t(d.size()) - pos_)));
    if (n > 0) std::memcpy(buffer, d.data() + pos_, size_t(n));
    pos_ += n;
    if (!switched_ && pos_ >= int64_t(first_.size())) switched_ = true;
    return n;
  }
  int Write(const void*, int) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const Bytes& d = switched_ ? second_ : first_;
    pos_ = origin == soBeginning ? offset : origin == soCurrent ? pos_ + offset : int64_t(d.size()) + offset;
    return pos_;
  }

 private:
  Bytes first_, second_;
  bool switched_ = false;
  int64_t pos_ = 0;
};

TEST(GifLoad, AFailedFullReadPurgesTheUnusedCacheEntries) {
  GifBuilder b(4, 1, 2);
  b.Image(0, 0, 4, 1, 2, FourPixels()).Trailer();
  htmlun2::StartImageCache();
  auto* used = new htmlun2::TBitmapItem(nullptr, nullptr, 0);
  used->UsageCount = 1;
  htmlun2::BitmapList->AddObject("USED.GIF", used);
  htmlun2::BitmapList->AddObject("UNUSED.GIF", new htmlun2::TBitmapItem(nullptr, nullptr, 0));

  // A structure read that fails leaves the cache alone.
  TMemoryStream junk;
  junk.Write("GIF89a", 6);
  bool nonAnimated = false;
  EXPECT_FALSE(TGIFImage::CreateFromStream(&junk, nonAnimated));
  EXPECT_EQ(htmlun2::BitmapList->Count(), 2);

  // The full read fails after the structure read succeeded.
  TChangingStream s(b.Data(), Bytes{'G', 'I', 'F'});
  EXPECT_FALSE(TGIFImage::CreateFromStream(&s, nonAnimated));
  EXPECT_TRUE(nonAnimated);
  ASSERT_EQ(htmlun2::BitmapList->Count(), 1);
  EXPECT_EQ(htmlun2::BitmapList->Strings(0), "USED.GIF");
  htmlun2::EndImageCache();
}

TEST(GifCorrupt, FlipRows) {
  Bytes rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  htmlgif::FlipRows(rows.data(), 4, 3);
  EXPECT_EQ(rows, Bytes({9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}));
}

}  // namespace
