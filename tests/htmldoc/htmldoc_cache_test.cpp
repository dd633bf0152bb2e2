// Two documents share a cached picture: whatever the cache runs while one of
// them still draws it (page-load aging, a purge after a failed load), the
// picture stays alive; given back by both, it goes.
#include <gtest/gtest.h>

#include "htmlsubs.h"
#include "imgcache.h"

using namespace htmlsubs;

namespace {

int liveImages = 0;

class TCountedImage : public TObject {
 public:
  TCountedImage() { ++liveImages; }
  ~TCountedImage() override { --liveImages; }
  int Pixel = 42;
};

TEST(HtmlDocCache, SharedPicturesLiveWhileUsed) {
  htmlun2::StartImageCache();
  int loads = 0;
  TCachedImage::Loader loader = [&](TObject*&, uint8_t& transp) -> TObject* {
    ++loads;
    transp = 1;
    return new TCountedImage;
  };
  TCachedImage::Loader failing = [](TObject*&, uint8_t&) -> TObject* { return nullptr; };
  bool fromCache = true;
  TObject* mask = nullptr;
  uint8_t transp = 0;
  {
    TCachedImage first, second, copy, never;
    TObject* a = first.Fetch("logo.GIF", loader, fromCache, mask, transp);
    EXPECT_FALSE(fromCache);
    TObject* b = second.Fetch("LOGO.gif", loader, fromCache, mask, transp);
    EXPECT_TRUE(fromCache);
    EXPECT_EQ(transp, 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(loads, 1);
    copy.CopyFrom(second);
    never.Release();  // holds nothing, gives nothing back

    // The first document is cleared; pages load past the cache's limit and a
    // failing load purges the cache.
    first.Release();
    first.Release();
    copy.Release();
    for (int i = 0; i <= htmlun2::BitmapList->MaxCache + 2; ++i) htmlun2::BitmapList->BumpAndCheck();
    TCachedImage broken;
    EXPECT_EQ(broken.Fetch("missing.gif", failing, fromCache, mask, transp), nullptr);
    EXPECT_FALSE(broken.Held());
    htmlun2::BitmapList->PurgeCache();
    EXPECT_EQ(liveImages, 1);
    EXPECT_EQ(static_cast<TCountedImage*>(b)->Pixel, 42);
  }
  // Given back by every user, the picture goes with the next purge.
  htmlun2::BitmapList->PurgeCache();
  EXPECT_EQ(liveImages, 0);
  htmlun2::EndImageCache();

  EXPECT_TRUE(IsGifName("a/LOGO.GIF"));
  EXPECT_TRUE(IsGifName("x.gif"));
  EXPECT_FALSE(IsGifName("x.bmp"));
  EXPECT_FALSE(IsGifName("gif"));
}

}  // namespace
