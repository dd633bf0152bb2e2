// A digest of everything layout leaves in a document: every section's place,
// height and text positions, every laid-out line, picture and float margin,
// every table's column widths, row heights and cell boxes, recursively.  Two
// layouts that draw the same picture give the same digest; any moved pixel
// row, changed line break or shifted text position changes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <typeinfo>

#include "htmlsections.h"
#include "htmltables.h"
#include "htmltext.h"

namespace layoutdigest {

class Digest {
 public:
  void Add(long long v) {
    for (int i = 0; i < 8; ++i) {
      h_ ^= static_cast<uint64_t>(v >> (8 * i)) & 0xFF;
      h_ *= 0x100000001B3ull;
    }
  }
  void Add(const char* s) {
    for (; *s; ++s) Add(static_cast<long long>(*s));
  }
  std::string Hex() const {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h_));
    return buf;
  }

  void Cell(const htmlsubs::TCell& cell) {
    Add(cell.TopY);
    Add(cell.FirstPos);
    Add(cell.PosCount);
    Add(cell.HasBackColor ? static_cast<long long>(cell.BackColor) : -1);
    Margins(cell.Margins);
    Add(cell.Count());
    for (int i = 0; i < cell.Count(); ++i) Section(*cell.Section(i));
  }

 private:
  void Margins(const htmlsubs::IndentManager& m) {
    Add(m.BandWidth);
    for (const htmlsubs::TFreeList* list : {&m.LeftRecs, &m.RightRecs}) {
      Add(list->Count());
      for (int i = 0; i < list->Count(); ++i) {
        auto* r = static_cast<const htmlsubs::IndentRec*>(list->Items(i));
        Add(r->Offset);
        Add(r->FromY);
        Add(r->ToY);
        Add(r->Level);
      }
    }
  }

  void Section(const htmlsubs::TSectionBase& s) {
    Add(typeid(s).name());
    Add(s.FlowHeight);
    Add(s.HitHeight);
    Add(s.LastTop);
    Add(s.FirstPos);
    Add(s.PosCount);
    if (auto* t = dynamic_cast<const htmlsubs::TSection*>(&s)) Text(*t);
    if (auto* t = dynamic_cast<const htmlsubs::ThtmlTable*>(&s)) Table(*t);
  }

  void Text(const htmlsubs::TSection& s) {
    Add(s.FirstLineX);
    Add(s.LaidLines.Count());
    for (int i = 0; i < s.LaidLines.Count(); ++i) {
      const htmlsubs::LineRec* l = s.Line(i);
      for (int v : {l->FirstChar, l->ExtraAbove, l->ExtraBelow, l->TextHt, l->PaintHt, l->CharCount, l->MaxDescent,
                    l->LineX})
        Add(v);
    }
    for (int i = 0; i < s.Pictures.Count(); ++i) {
      const htmlsubs::TPictureObj* p = s.Pictures.Picture(i);
      for (int v : {p->ImagePos, p->BoxWidth, p->BoxHeight, p->FloatX, p->Align}) Add(v);
    }
  }

  void Table(const htmlsubs::ThtmlTable& t) {
    for (int v : {t.TableIndent, t.BoxIndent, t.NumCols, t.TableWidth, t.BoxWidth, t.CaptionHeight, t.TableHeight,
                  t.CaptionMinWidth})
      Add(v);
    for (int i = 0; i < t.NumCols; ++i) Add(t.Widths[i]);
    Cell(t.Caption->Cell);
    for (int r = 0; r < t.Rows.Count(); ++r) {
      const htmlsubs::TCellList* row = t.Row(r);
      Add(row->RowHt);
      Add(row->RowSpanHt);
      for (int c = 0; c < row->Count(); ++c) {
        const htmlsubs::TCellObj* cell = row->CellObj(c);
        for (int v : {cell->ColSpan, cell->RowSpan, cell->CellWd, cell->CellHt, cell->ContentHt, cell->VOffset})
          Add(v);
        Cell(cell->Cell);
      }
    }
  }

  uint64_t h_ = 0xCBF29CE484222325ull;
};

// The digest of a laid-out document with the height and widest line its
// layout returned.
inline std::string Of(const htmlsubs::TSectionList& doc, int height, int scrollWidth) {
  Digest d;
  d.Add(height);
  d.Add(scrollWidth);
  d.Cell(doc);
  return d.Hex();
}

}  // namespace layoutdigest
