// The frame bitmaps, the composite picture and drawing are made here; until
// then a Windows build keeps the decoded buffers like the POSIX one.
#include "gifimage.h"

bool htmlgif::TFrame::MakeDisplay(const TGIFImage&) {
  return true;
}

void htmlgif::TFrame::FreeDisplay() {}

bool TGIFImage::MakeDisplay() {
  return true;
}

void TGIFImage::FreeDisplay() {}
