#include "gifimage.h"

#include "imgcache.h"

#include <algorithm>
#include <cstring>

using htmlgif::TControlBlock;
using htmlgif::TFrame;
using htmlgif::TGifInput;

namespace htmlgif {

bool TGifInput::SkipSubBlocks() {
  for (;;) {
    uint8_t len;
    if (!Byte(len)) return false;
    if (len == 0) return true;
    if (Left() < len) {
      pos = end;
      return false;
    }
    pos += len;
  }
}

}  // namespace htmlgif

TGIFImage::TGIFImage() = default;

TGIFImage::~TGIFImage() {
  Clear();
}

TFrame* TGIFImage::Frame(int index) const {
  if (index < 1 || index > numFrames_) return nullptr;
  return frames_[index - 1].get();
}

void TGIFImage::Clear() {
  FreeDisplay();
  for (auto& f : frames_) f.reset();
  stream_.SetPosition(0);
  numFrames_ = 0;
  currentFrame_ = 1;
  loopLimit_ = 1;
  loopCount_ = 1;
  isTransparent_ = false;
  firstStep_ = true;
  animated_ = false;
  empty_ = true;
}

void TGIFImage::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  Load(&file, false);
}

void TGIFImage::LoadFromStream(TStream* stream) {
  Load(stream, false);
}

void TGIFImage::LoadStructureFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  Load(&file, true);
}

void TGIFImage::LoadStructureFromStream(TStream* stream) {
  Load(stream, true);
}

void TGIFImage::Load(TStream* stream, bool structureOnly) {
  stream_.Clear();
  stream_.CopyFrom(stream, 0);
  noDisplay_ = structureOnly;
  if (!Read()) {
    Clear();
    stream_.Clear();
    throw EGIFError("Invalid GIF image");
  }
}

std::unique_ptr<TGIFImage> TGIFImage::CreateFromFile(const std::string& fileName, bool& nonAnimated) {
  nonAnimated = true;
  TMemoryStream data;
  try {
    data.LoadFromFile(fileName);
  } catch (const Exception&) {
    return nullptr;
  }
  return CreateFromStream(&data, nonAnimated);
}

std::unique_ptr<TGIFImage> TGIFImage::CreateFromStream(TStream* stream, bool& nonAnimated) {
  nonAnimated = true;
  auto image = std::make_unique<TGIFImage>();
  const int64_t start = stream->Position();
  try {
    image->LoadStructureFromStream(stream);
  } catch (const EGIFError&) {
    return nullptr;
  }
  image->animate_ = false;
  image->Visible = false;
  nonAnimated = !image->animated_;
  stream->SetPosition(start);
  try {
    image->LoadFromStream(stream);
  } catch (const EGIFError&) {
    // Past the structure read the likely cause is a bitmap GDI could not
    // make: give back what the image cache holds unused.
    if (htmlun2::BitmapList) htmlun2::BitmapList->PurgeCache();
    return nullptr;
  }
  return image;
}

std::unique_ptr<TGIFImage> TGIFImage::CreateCopy(const TGIFImage& source) {
  auto copy = std::make_unique<TGIFImage>();
  copy->animated_ = source.animated_;
  copy->width_ = source.width_;
  copy->height_ = source.height_;
  copy->loopLimit_ = source.loopLimit_;
  copy->isTransparent_ = source.isTransparent_;
  copy->colorBits_ = source.colorBits_;
  copy->globalTable_ = source.globalTable_;
  copy->noDisplay_ = source.noDisplay_;
  copy->Speed = source.Speed;
  copy->Visible = source.Visible;
  for (int i = 0; i < source.numFrames_; ++i) {
    const TFrame& from = *source.frames_[i];
    auto f = std::make_unique<TFrame>();
    f->Left = from.Left;
    f->Top = from.Top;
    f->Width = from.Width;
    f->Height = from.Height;
    f->LocalTable = from.LocalTable;
    f->ColorBits = from.ColorBits;
    f->ColorTable = from.ColorTable;
    f->Interlaced = from.Interlaced;
    f->Disposal = from.Disposal;
    f->Delay = from.Delay;
    f->Transparent = from.Transparent;
    f->TransparentIndex = from.TransparentIndex;
    f->Comment = from.Comment;
    f->Pixels = from.Pixels;
    f->Mask = from.Mask;
    if (from.Display && !f->CopyDisplay(from)) return nullptr;
    copy->frames_[copy->numFrames_++] = std::move(f);
  }
  if (!source.empty_) {
    if (!copy->noDisplay_ && !copy->MakeDisplay()) return nullptr;
    copy->empty_ = false;
  }
  return copy;
}

namespace {

// Reads the sub-blocks of an extension whose label has been read.  'first'
// receives the first sub-block's bytes; 'all' (when given) every sub-block
// joined.  False when the data ends before the terminator.
bool ReadExtension(TGifInput& in, std::string* first, std::string* all) {
  bool isFirst = true;
  for (;;) {
    uint8_t len;
    if (!in.Byte(len)) return false;
    if (len == 0) return true;
    const uint8_t* data;
    if (!in.Take(len, data)) {
      in.pos = in.end;
      return false;
    }
    if (isFirst && first) first->assign(reinterpret_cast<const char*>(data), len);
    if (all) all->append(reinterpret_cast<const char*>(data), len);
    isFirst = false;
  }
}

// The application extension: the loop count of "NETSCAPE" "2.0" sits in
// bytes 1 and 2 of the data sub-block after the identifier.
bool ReadApplication(TGifInput& in, int& loopLimit) {
  uint8_t len;
  if (!in.Byte(len)) return false;
  if (len == 0) return true;
  const uint8_t* id;
  if (!in.Take(len, id)) {
    in.pos = in.end;
    return false;
  }
  if (len >= 11 && std::memcmp(id, "NETSCAPE2.0", 11) == 0) {
    if (!in.Byte(len)) return false;
    if (len == 0) return true;
    const uint8_t* data;
    if (!in.Take(len, data)) {
      in.pos = in.end;
      return false;
    }
    if (len >= 3) loopLimit = data[1] | (data[2] << 8);
  }
  return in.SkipSubBlocks();
}

}  // namespace

bool TGIFImage::Read() {
  Clear();
  TGifInput in;
  in.pos = static_cast<const uint8_t*>(stream_.Memory());
  in.end = in.pos + stream_.Size();

  const uint8_t* head;
  if (!in.Take(13, head) || std::memcmp(head, "GIF", 3) != 0) return false;
  int screenWidth = head[6] | (head[7] << 8);
  int screenHeight = head[8] | (head[9] << 8);
  uint8_t packed = head[10];
  globalTable_.fill(0);
  colorBits_ = 0;
  if (packed & 0x80) {
    colorBits_ = (packed & 7) + 1;
    const uint8_t* table;
    size_t size = size_t(3) << colorBits_;
    if (!in.Take(size, table)) return false;
    std::memcpy(globalTable_.data(), table, size);
  }

  TControlBlock control;
  std::string comment;
  bool failed = false;
  bool more = true;
  while (more && in.pos < in.end) {
    uint8_t label = *in.pos;
    if (label == 0x21) {
      ++in.pos;
      uint8_t kind;
      if (!in.Byte(kind)) break;
      std::string first;
      switch (kind) {
        case 0x01:  // plain text: nothing of it is shown
          more = in.SkipSubBlocks();
          break;
        case 0xF9:
          more = ReadExtension(in, &first, nullptr);
          if (more && first.size() >= 4) {
            control.Present = true;
            control.Packed = static_cast<uint8_t>(first[0]);
            control.Delay = static_cast<uint16_t>(uint8_t(first[1]) | (uint8_t(first[2]) << 8));
            control.TransparentIndex = static_cast<uint8_t>(first[3]);
          }
          break;
        case 0xFE:
          more = ReadExtension(in, nullptr, &comment);
          break;
        case 0xFF:
          more = ReadApplication(in, loopLimit_);
          break;
        default:
          more = false;
          break;
      }
    } else if (label == 0x2C) {
      if (numFrames_ >= htmlgif::kMaxFrames) break;
      auto frame = std::make_unique<TFrame>();
      TFrame::TReadResult r = frame->Read(in, *this, control);
      if (r == TFrame::frFailed) {
        failed = true;
        break;
      }
      if (r == TFrame::frEnded) break;
      if (frame->Transparent) isTransparent_ = true;
      frame->Comment = comment;
      comment.clear();
      control = TControlBlock();
      frames_[numFrames_++] = std::move(frame);
    } else {
      break;  // the trailer, or a byte that starts no block
    }
  }
  if (failed || numFrames_ == 0) return false;

  int64_t w = screenWidth, h = screenHeight;
  for (int i = 0; i < numFrames_; ++i) {
    const TFrame& f = *frames_[i];
    w = std::max<int64_t>(w, int64_t(f.Left) + f.Width);
    h = std::max<int64_t>(h, int64_t(f.Top) + f.Height);
  }
  if (w > htmlgif::kMaxSide || h > htmlgif::kMaxSide || w * h > htmlgif::kMaxPixels) return false;
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);

  animated_ = numFrames_ > 1;
  if (!noDisplay_ && !MakeDisplay()) return false;
  empty_ = false;
  stream_.Clear();
  return true;
}
