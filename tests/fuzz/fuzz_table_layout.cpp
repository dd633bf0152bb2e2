// Tables built from the input (attributes of any size, spans, nested
// tables, text and form controls in cells) and laid out at several widths:
// layout ends, raises only the column error, the widths add up, rows cover
// their cells, and hit tests and queries stay inside the grid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmlscan.h"
#include "htmltables.h"
#include "htmlforms.h"
#include "htmltext.h"

using namespace htmlsubs;
using htmlun2::TAttributeList;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Reader {
  const uint8_t* p;
  size_t n;
  int Byte() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  // Mostly small values, sometimes huge or negative ones.
  int Value() {
    const int b = Byte();
    switch (b >> 6) {
      case 0:
        return b;
      case 1:
        return (b & 63) * 37;
      case 2:
        return static_cast<int>(static_cast<uint32_t>(Byte()) << 24 | Byte() << 16 | Byte() << 8 | Byte());
      default:
        return -(b & 63);
    }
  }
};

const int kAttrs[] = {readhtml::WidthAttr,     readhtml::HeightAttr,      readhtml::ColSpanAttr,
                      readhtml::RowSpanAttr,   readhtml::BorderAttr,      readhtml::CellPaddingAttr,
                      readhtml::CellSpacingAttr, readhtml::AlignAttr,     readhtml::HSpaceAttr,
                      readhtml::BGColorAttr,   readhtml::SizeAttr,        readhtml::RowsAttr,
                      readhtml::ColsAttr,      readhtml::MaxLengthAttr,   readhtml::TypeAttr,
                      readhtml::MultipleAttr};
const char* const kNames[] = {"left", "right", "center", "50%", "red", "text", "radio", "checkbox",
                              "submit", "image", "hidden", "120%", "1%"};

void ReadAttributes(Reader& in, TAttributeList& list) {
  for (int k = in.Byte() % 4; k > 0; --k) {
    const int which = kAttrs[in.Byte() % (sizeof(kAttrs) / sizeof(kAttrs[0]))];
    const int value = in.Value();
    const int name = in.Byte() % 16;
    list.AddAttribute(which, value,
                      name < 13 ? kNames[name] : std::to_string(value) + (name == 13 ? "%" : ""));
  }
}

void FillCell(Reader& in, TSectionList* doc, TCell& cell, int depth);

ThtmlTable* ReadTable(Reader& in, TSectionList* doc, TCell& host, int depth) {
  TAttributeList ta;
  ReadAttributes(in, ta);
  auto* t = new ThtmlTable(doc, in.Byte() % 3, &host, 1 + in.Byte() % 3, &ta);
  t->CaptionTop = in.Byte() & 1;
  if (in.Byte() & 1) FillCell(in, doc, t->Caption->Cell, depth + 1);
  for (int rows = in.Byte() % 6; rows > 0 && in.n; --rows) {
    TAttributeList ra;
    ReadAttributes(in, ra);
    t->AddRow(&ra);
    for (int cells = in.Byte() % 8; cells > 0 && in.n; --cells) {
      TAttributeList ca;
      ReadAttributes(in, ca);
      auto* c = new TCellObj(doc, &ca, in.Byte() % 3);
      FillCell(in, doc, c->Cell, depth + 1);
      t->AddCell(c);
    }
  }
  return t;
}

void FillCell(Reader& in, TSectionList* doc, TCell& cell, int depth) {
  for (int k = in.Byte() % 3; k > 0 && in.n; --k) {
    const int what = in.Byte() % 4;
    if (what == 0 && depth < 3) {
      cell.Add(ReadTable(in, doc, cell, depth));
      continue;
    }
    TMyFont font;
    font.SetHeight(-(1 + in.Byte() % 40));
    auto* s = new TSection(doc, 0, font, nullptr, 1 + in.Byte() % 3);
    s->AppendText(std::string(in.Byte() % 30, 'x') + " " + std::string(in.Byte() % 12, 'y'));
    if (what == 1) {
      TAttributeList a;
      ReadAttributes(in, a);
      const int kinds[] = {readhtml::InputSy, readhtml::SelectSy, readhtml::TextAreaSy};
      TFormControlObj* obj = MakeFormControl(*s, kinds[in.Byte() % 3], &a);
      if (auto* lb = dynamic_cast<TListBoxFormControlObj*>(obj))
        for (int o = in.Byte() % 20; o > 0; --o) lb->AddStr(std::string(in.Byte() % 90, 'o'), "", in.Byte() & 1);
      s->AppendText(" after");
    }
    cell.Add(s);
  }
}

void CheckTable(ThtmlTable* t) {
  if (!t->Initialized) return;
  Check(t->NumCols <= MaxTableCols);
  long long sum = 0;
  for (int i = 0; i < t->NumCols; ++i) sum += t->Widths[i];
  Check(sum == t->TableWidth - t->CellSpacing);
  const int extra = 2 * t->CellPadding + t->CellSpacing - 1;
  for (int r = 0; r < t->Rows.Count(); ++r)
    for (int c = 0; c < t->Row(r)->Count(); ++c) {
      TCellObj* cell = t->Row(r)->CellObj(c);
      Check(cell->RowSpan >= 0 && r + cell->RowSpan <= t->Rows.Count());
      if (cell->ColSpan > 0 && cell->ContentHt < 0x3FFFFFFF - extra) Check(cell->CellHt >= cell->ContentHt + extra);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  TSectionList doc;
  CurrentForm = nullptr;
  FillCell(in, &doc, doc, 0);
  while (in.n) doc.Add(ReadTable(in, &doc, doc, 0));
  ThtMeasure& m = ScreenMeasure();
  for (int width : {1, 300, 3000}) {
    int sw = 0, curs = 0;
    bool laidOut = true;
    try {
      doc.Arrange(m, 0, width, sw, curs);
    } catch (const EProcessError&) {
      // Only the column limit may stop a layout.
      laidOut = false;
    }
    int mn, mx;
    for (int i = 0; i < doc.Count(); ++i) {
      auto* t = dynamic_cast<ThtmlTable*>(doc.Section(i));
      if (!t) continue;
      if (laidOut) CheckTable(t);
      try {
        t->WidthLimits(m, mn, mx);
        Check(mn >= 0 && mx >= 0);
      } catch (const EProcessError&) {
      }
      for (int y = 0; y < 200; y += 37) {
        int rx, ry, cx, cy, ch, pos;
        t->CellAt(y * 3, y, rx, ry);
        t->PositionAt(m, y * 3, y, cx, cy, ch, pos);
      }
      t->SearchText(0, "xy", false);
      char c;
      TSectionBase* obj;
      t->CharAt(3, c, obj);
    }
  }
  CurrentForm = nullptr;
  return 0;
}
