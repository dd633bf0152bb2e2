// Natively a picture is a GIF or the size of a BMP: enough for layout and
// for the cache's bookkeeping, nothing is drawn.
#include <vector>

#include "bmpread.h"
#include "gifimage.h"
#include "htmlimageobj.h"
#include "htmlutil.h"

namespace htmlsubs {
namespace {

class TBmpSize : public TObject {
 public:
  TBmpSize(int w, int h) : Width(w), Height(h) {}
  int Width, Height;
};

// The built-in pictures are 16 x 16.
TBmpSize errorPicture(16, 16), errorMask(16, 16), defPicture(16, 16);

TObject* FromBytes(const std::vector<uint8_t>& data, bool gif) {
  if (gif) {
    TMemoryStream s;
    if (!data.empty()) s.Write(data.data(), static_cast<int>(data.size()));
    s.SetPosition(0);
    bool nonAnimated = true;
    return TGIFImage::CreateFromStream(&s, nonAnimated).release();
  }
  htmlun2::TBmpPixels px;
  if (!htmlun2::ReadBmp(data.data(), data.size(), px)) return nullptr;
  return new TBmpSize(px.Width, px.Height);
}

std::vector<uint8_t> ReadAll(TStream* stream) {
  std::vector<uint8_t> data;
  const int64_t size = stream->Size();
  if (size <= 0 || size > (int64_t(1) << 28)) return data;
  data.resize(static_cast<size_t>(size));
  stream->SetPosition(0);
  data.resize(static_cast<size_t>(stream->Read(data.data(), static_cast<int>(size))));
  return data;
}

}  // namespace

TObject* ErrorPicture() { return &errorPicture; }
TObject* ErrorPictureMask() { return &errorMask; }
TObject* DefPicture() { return &defPicture; }

void PictureSize(TObject* picture, int& width, int& height) {
  width = height = 0;
  if (auto* gif = dynamic_cast<TGIFImage*>(picture)) {
    width = gif->Width();
    height = gif->Height();
  } else if (auto* bmp = dynamic_cast<TBmpSize*>(picture)) {
    width = bmp->Width;
    height = bmp->Height;
  }
}

TGIFImage* AsGif(TObject* picture) { return dynamic_cast<TGIFImage*>(picture); }

// No bitmaps exist here, so the bitmap event never hands one.
TObject* PictureFromBitmap(TBitmap*, TColor, uint8_t&, TObject*& mask) {
  mask = nullptr;
  return nullptr;
}

TObject* PictureFromStream(TStream* stream, uint8_t& transp, TObject*& mask) {
  mask = nullptr;
  std::vector<uint8_t> data = ReadAll(stream);
  const int kind = htmlun2::GetImageKind(data.data(), data.size());
  return FromBytes(data, kind == htmlun2::ikGif87 || kind == htmlun2::ikGif89);
}

TObject* PictureFromFile(const std::string& name, uint8_t& transp, TObject*& mask) {
  mask = nullptr;
  TMemoryStream s;
  try {
    s.LoadFromFile(name);
  } catch (const Exception&) {
    return nullptr;
  }
  std::vector<uint8_t> data = ReadAll(&s);
  return FromBytes(data, IsGifName(name));
}

void TImageObj::Render(TCanvas&, int, int, int, int, int) {}

}  // namespace htmlsubs
