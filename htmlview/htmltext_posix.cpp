// Natively nothing is drawn: a section only moves down by its height.
#include "htmltext.h"

namespace htmlsubs {

int TSection::Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) {
  ShownOriginX = x;
  return TSectionBase::Render(canvas, clip, margins, x, y);
}

int THorzLine::Render(TCanvas& canvas, const ThtRect& clip, IndentManager& margins, int x, int y) {
  return TSectionBase::Render(canvas, clip, margins, x, y);
}

}  // namespace htmlsubs
