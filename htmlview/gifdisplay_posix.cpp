// Without a display the decoded buffers are the picture: nothing is made.
#include "gifimage.h"

bool htmlgif::TFrame::MakeDisplay(const TGIFImage&) {
  return true;
}

bool htmlgif::TFrame::CopyDisplay(const TFrame&) {
  return true;
}

void htmlgif::TFrame::FreeDisplay() {}

bool TGIFImage::MakeDisplay() {
  return true;
}

void TGIFImage::FreeDisplay() {}
