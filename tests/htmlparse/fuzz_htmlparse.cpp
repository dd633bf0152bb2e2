// Pages are outside input: every byte sequence parses to the end or raises
// the scanner's error, and the document lays out at widths from 1 to 3000
// and answers position queries, text searches and jumps to each anchor
// name (as the viewer reads the name list) without a fault.  Layout that
// moves a cell laid out once must leave exactly what laying it out again
// leaves: pages of few nested tables are laid out both ways and compared.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classes.h"
#include "htmlcanvas.h"
#include "htmlparse.h"
#include "htmlscan.h"
#include "htmlsections.h"
#include "htmltables.h"
#include "layout_digest.h"

using namespace htmlsubs;

namespace {

int TableDepth(const TCell& cell) {
  int depth = 0;
  for (int i = 0; i < cell.Count(); ++i)
    if (auto* t = dynamic_cast<ThtmlTable*>(cell.Section(i))) {
      int inner = TableDepth(t->Caption->Cell);
      for (int r = 0; r < t->Rows.Count(); ++r)
        for (int c = 0; c < t->Row(r)->Count(); ++c) {
          const int d = TableDepth(t->Row(r)->CellObj(c)->Cell);
          if (d > inner) inner = d;
        }
      if (inner + 1 > depth) depth = inner + 1;
    }
  return depth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 200000) return 0;
  TSectionList doc;
  TStringList names;
  names.SetSorted(true);
  readhtml::OnScript = [](const std::string&, const std::string&) {};
  try {
    readhtml::HtmlParseBuffer(&doc, &names, reinterpret_cast<const char*>(data), static_cast<int>(size));
  } catch (const readhtml::EParseError&) {
    if (doc.Count() != 0 || names.Count() != 0) __builtin_trap();
    return 0;
  }
  ThtMeasure& canvas = ScreenMeasure();
  for (int width : {1, 300, 3000}) {
    int scrollWidth = 0, curs = 0;
    int height = 0;
    try {
      height = doc.Arrange(canvas, 0, width, scrollWidth, curs);
    } catch (const Exception&) {
      // Layout errors (a table of too many columns) are the caller's to show.
      continue;
    }
    // Without the caches the work doubles with each table level.
    if (TableDepth(doc) <= 4) {
      doc.CacheLayout = false;
      int sw = 0, c = 0;
      const int h = doc.Arrange(canvas, 0, width, sw, c);
      const std::string laidAgain = layoutdigest::Of(doc, h, sw);
      doc.CacheLayout = true;
      scrollWidth = curs = 0;
      height = doc.Arrange(canvas, 0, width, scrollWidth, curs);
      if (layoutdigest::Of(doc, height, scrollWidth) != laidAgain) __builtin_trap();
    }
    for (int y : {0, height / 3, height / 2, height - 1}) {
      int top = 0, index = 0;
      TSectionBase* s = doc.SectionAtY(y, top, index);
      if (!s) continue;
      int cx, cy, ch, pos;
      s->PositionAt(canvas, width / 2, y - top, cx, cy, ch, pos);
      if (pos >= 0) {
        int x, py;
        doc.PointOfPosition(canvas, pos, x, py);
        char c;
        TSectionBase* owner;
        doc.CharAt(pos, c, owner);
      }
    }
    // The viewer scrolls to an anchor by its section's place: every name
    // must lead to a live section of this document.
    for (int i = 0; i < names.Count(); ++i) {
      volatile int top = static_cast<TSectionBase*>(names.Objects(i))->LastTop;
      (void)top;
    }
    doc.SearchText(0, "the", false);
    doc.SearchText(curs / 2, "A", true);
  }
  return 0;
}
