// GIF87a/GIF89a images: the whole file is read into memory, its blocks are
// walked, and every frame is decoded by its own LZW decoder into an 8-bit
// index buffer and, for a frame with a transparent colour, a 1-bit mask.
//
// This part is portable.  What a display makes of the decoded frames (the
// composite picture, the frame bitmaps, drawing and animation) belongs to
// the platform half, reached through the Display hooks below: the reader
// calls them at fixed points and fails the read when they fail.  Without a
// display (the POSIX half) the decoded buffers are the picture.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "sysutils.h"

class TGIFImage;

#ifdef _WIN32
// The handle types of <windows.h>, which the portable part does not include.
struct HDC__;
struct HWND__;
struct tagRECT;
class TCanvas;

class TBitmap;
namespace htmlun2 {
class TDib;
}

// The page under a transparent GIF while the document draws it, set by
// the document before it draws its images: the background colour (a table
// cell's inside a cell) and, when the page has a background picture, that
// picture as a TDib (the document's; not owned here), tiled so that one
// tile's top left lies at (OriginX, OriginY) of the canvas drawn on.
struct TGIFBackground {
  uint32_t Color = 0xFFFFFF;  // a TColor
  htmlun2::TDib* Tile = nullptr;
  int OriginX = 0, OriginY = 0;
};
extern TGIFBackground GIFBackground;
#endif

// A load that fails raises this ("Invalid GIF image" and the reason).
MORVANE_EXCEPTION(EGIFError, Exception);

namespace htmlgif {

// Frames and logical screens larger than this fail the read: no GIF a help
// page shows comes near, and a bitmap of 65535 x 65535 cannot be made.
constexpr int64_t kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t(1) << 24;
constexpr int kMaxFrames = 256;

// A bounded cursor over the file held in memory.  Every read is checked
// against the end; a read past it returns false and moves nothing.
struct TGifInput {
  const uint8_t* pos = nullptr;
  const uint8_t* end = nullptr;

  size_t Left() const { return static_cast<size_t>(end - pos); }
  bool Byte(uint8_t& b) {
    if (pos >= end) return false;
    b = *pos++;
    return true;
  }
  bool Take(size_t n, const uint8_t*& at) {
    if (Left() < n) return false;
    at = pos;
    pos += n;
    return true;
  }
  // Skips sub-blocks up to and including the zero-length one; false when
  // the data ends first (then the cursor stands at the end).
  bool SkipSubBlocks();
};

// Graphic control block bytes that apply to the next image.
struct TControlBlock {
  bool Present = false;
  uint8_t Packed = 0;
  uint16_t Delay = 0;
  uint8_t TransparentIndex = 0;
};

struct TFrameDisplay;  // the platform's bitmaps of one frame

// One image of the file.
class TFrame : public TObject {
 public:
  enum TReadResult {
    frOk,      // the frame is complete (its LZW data may have ended early)
    frEnded,   // the data ended inside the descriptor or colour table
    frFailed,  // too large, or its display could not be made: the read fails
  };

  TFrame() = default;
  ~TFrame() override;

  // Decodes the LZW data at the cursor (code-size byte and sub-blocks) into
  // Pixels and Mask, and leaves the cursor after the data's terminator (or
  // at the end of truncated data).
  virtual void Decode(TGifInput& in);
  // Reads the image descriptor at the cursor (which stands on 0x2C), its
  // colour table and its data.  The image gives the global table and
  // NoDisplay; 'control' is the control block that precedes the image.
  virtual TReadResult Read(TGifInput& in, TGIFImage& image, const TControlBlock& control);

  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool LocalTable = false;
  int ColorBits = 0;
  // Always 256 entries: those past the file's table are black, so any
  // pixel value of corrupt data still has a colour.
  std::array<uint8_t, 768> ColorTable{};
  bool Interlaced = false;
  int Disposal = 0;  // 0 none, 1 keep, 2 restore background, 3 restore previous
  int Delay = 0;     // milliseconds
  bool Transparent = false;
  int TransparentIndex = 0;
  std::string Comment;

  // Decoded picture, rows top-down and padded to 4 bytes; pixels no LZW
  // data reached keep index 0 (and stay opaque in the mask).
  std::vector<uint8_t> Pixels;
  // 1 = transparent, bit 7 first; only for a transparent frame.
  std::vector<uint8_t> Mask;
  int64_t PixelStride() const { return (int64_t(Width) + 3) & ~int64_t(3); }
  int64_t MaskStride() const { return ((int64_t(Width) + 7) / 8 + 3) & ~int64_t(3); }

  // Platform half: called after the frame is decoded (and only when the
  // image displays); false fails the read.  FreeDisplay undoes it.
  bool MakeDisplay(const TGIFImage& image);
  // Platform half: gives this copy of 'source' a display of its own.
  bool CopyDisplay(const TFrame& source);
  void FreeDisplay();
  TFrameDisplay* Display = nullptr;
};

// Turns a buffer of 'height' rows of 'stride' bytes upside down.
void FlipRows(uint8_t* data, int64_t stride, int64_t height);

}  // namespace htmlgif

struct TGIFDisplay;  // the platform's composite picture of one image

class TGIFImage : public TPersistent {
 public:
  TGIFImage();
  ~TGIFImage() override;

  // Copy the data into the memory stream and read it in full; a failure
  // raises EGIFError and leaves the image empty.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream* stream);
  // The same, reading the structure and sizes only (no pixels, no display).
  void LoadStructureFromFile(const std::string& fileName);
  void LoadStructureFromStream(TStream* stream);

  // A new image read from the file or stream: first its structure, then
  // in full; nullptr when either read fails.  NonAnimated tells whether it
  // has a single frame (True too when it fails).
  static std::unique_ptr<TGIFImage> CreateFromFile(const std::string& fileName, bool& nonAnimated);
  static std::unique_ptr<TGIFImage> CreateFromStream(TStream* stream, bool& nonAnimated);
  // A new image that shares nothing with 'source': its fields and frames
  // copied and its display made again, showing frame 1; nullptr when the
  // display cannot be made.
  static std::unique_ptr<TGIFImage> CreateCopy(const TGIFImage& source);

  // Frees all frames and resets the image for a new read.
  void Clear();

  bool Animated() const { return animated_; }
  bool Empty() const { return empty_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int NumFrames() const { return numFrames_; }
  int LoopLimit() const { return loopLimit_; }
  bool IsTransparent() const { return isTransparent_; }
  bool NoDisplay() const { return noDisplay_; }
  int ColorBits() const { return colorBits_; }
  const std::array<uint8_t, 768>& GlobalTable() const { return globalTable_; }
  // 1-based, as the frame table; nullptr outside 1..NumFrames.
  htmlgif::TFrame* Frame(int index) const;

  int Speed = 100;   // percent
  bool Visible = true;
  // The frame composed last (before the first animation step: the frame
  // showing; after it: the next one to show).
  int CurrentFrame() const { return currentFrame_; }
  bool Animate() const { return animate_; }
  int LoopCount() const { return loopCount_; }
  uint32_t CurrentInterval() const { return currentInterval_; }

#ifdef _WIN32
  // Starts (with at least two frames) or stops the animation; stopping
  // shows frame 1 again.
  void SetAnimate(bool value);
  // Jumps to frame 'value'; past the last it wraps to 1, below 1 to the last.
  void SetCurrentFrame(int value);
  // Advances the animation when its interval has passed; true when a new
  // frame was composed (and the last draw rectangle invalidated).
  bool AnimationStep();
  // Draws the composite stretched into (x, y, w, h) of the canvas (through
  // its mask over the page background when transparent), remembers the
  // rectangle and 'window' for the animation, and advances the animation
  // when it is due.
  void Draw(TCanvas& canvas, int x, int y, int w, int h, HWND__* window);
  // Where the image was drawn last, invalidated at each animation step.
  void SetLastDraw(HWND__* window, const tagRECT& rect);

  // The composite picture as composed so far, and its mask (white =
  // transparent; only when IsTransparent), both of the logical size;
  // nullptr when nothing is displayed.
  HDC__* CompositeDC() const;
  HDC__* MaskCompositeDC() const;

  // Frame 1 as it first shows, of the logical size: its picture (black
  // where transparent) and, for a transparent image, its mask (white =
  // transparent).  Made on the first call and kept with the image; nullptr
  // when Empty or NoDisplay (and Mask when the image is opaque).
  TBitmap* Bitmap();
  TBitmap* Mask();
#endif

 protected:
  // Walks the memory stream; false when the data is not a GIF image, holds
  // no image, or a frame or the display fails.
  bool Read();
  // Platform half: makes the composite picture after the walk and composes
  // frame 1 into it; false fails the read.  FreeDisplay undoes it.
  bool MakeDisplay();
  void FreeDisplay();
#ifdef _WIN32
  // Composing and disposing frame 'index' in the composite picture.
  void Compose(int index);
  void Dispose(int index);
  // The frame on the screen now, which the next step disposes.
  int ShownFrame() const;
  void MakeFrameOneCopies();
#endif

  bool animated_ = false;
  bool empty_ = true;
  int width_ = 0, height_ = 0;
  int loopLimit_ = 0;
  int numFrames_ = 0;
  bool isTransparent_ = false;
  int colorBits_ = 0;
  std::array<uint8_t, 768> globalTable_{};
  int currentFrame_ = 1;
  bool animate_ = false;
  std::array<std::unique_ptr<htmlgif::TFrame>, htmlgif::kMaxFrames> frames_;
  int loopCount_ = 1;
  bool firstStep_ = true;
  bool noDisplay_ = false;
  TMemoryStream stream_;
  uint32_t lastTime_ = 0;
  uint32_t currentInterval_ = 0;
  TGIFDisplay* display_ = nullptr;

 private:
  void Load(TStream* stream, bool structureOnly);
};
