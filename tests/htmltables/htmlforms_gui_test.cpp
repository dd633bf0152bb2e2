// Form controls and tables on real panels under Wine.  The left panel holds
// a document with two forms (every kind of control in the first, one edit
// in the second), laid out, drawn and driven with real messages: BM_CLICK,
// mouse clicks on a radio button and on the image input, WM_CHAR, Enter
// and Page Down.  The right panel draws a bordered table with captions,
// row and cell colours, a border colour, a nested table and a form in a
// cell; a screenshot of both is taken.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "htmlforms.h"
#include "htmlscan.h"
#include "htmltables.h"
#include "htmltext.h"
#include "test_support.h"
#include "win/forms.h"
#include "win/stdctrls.h"
#include "win/htmlformctls.h"
#include "win/htmlimages.h"

using namespace htmlsubs;
using testsupport::Pump;

namespace {

constexpr int kPanelW = 380, kPanelH = 330;

struct A {
  htmlun2::TAttributeList list;
  A& operator()(int which, const std::string& text) {
    list.AddAttribute(which, std::atoi(text.c_str()), text);
    return *this;
  }
};

// The viewer's part for these tests: paints the document, scrolls on the
// keys posted to it and hands image clicks to their control.
class TDocPanel : public TCustomControl {
 public:
  explicit TDocPanel(TComponent* owner) : TCustomControl(owner) { TabStop = true; }
  std::unique_ptr<TSectionList> Doc;
  int Height = 0;
  int PageKeys = 0;

  void Layout() {
    int sw = 0, curs = 0;
    Height = Doc->Arrange(ScreenMeasure(), 0, ClientWidth() - 4, sw, curs);
  }

 protected:
  void Paint() override {
    TCanvas& c = Canvas();
    c.Brush().SetColor(clWhite);
    c.FillRect(RECT{0, 0, ClientWidth(), ClientHeight()});
    Doc->Render(c, ThtRect{0, 0, ClientWidth(), ClientHeight()}, ClientWidth() - 4, 2, 0);
  }
  void KeyDown(WORD& key, TShiftState shift) override {
    if (key == VK_NEXT) {
      ++PageKeys;
      Doc->SetScrollTop(Doc->ScrollTop + ClientHeight() - 20);
      Invalidate();
      return;
    }
    TCustomControl::KeyDown(key, shift);
  }
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    TUrlTarget link;
    TFormControlBase* control = nullptr;
    // Hits are in the document's terms: it is drawn from X = 2.
    if (Doc->LinkAt(ScreenMeasure(), x - 2, y + Doc->ScrollTop, link, control))
      if (auto* image = dynamic_cast<TImageFormControlObj*>(control)) image->ImageClick();
    TCustomControl::MouseDown(b, s, x, y);
  }
};

struct Submission {
  std::string action, method, lines;
};

HWND Wnd(TFormControlObj* c) { return PeerButton(c->TheControl.get())->Handle(); }

void Chars(HWND wnd, const std::string& s) {
  for (char ch : s) SendMessageA(wnd, WM_CHAR, static_cast<unsigned char>(ch), 1);
}

POINT CentreOnScreen(TWinControl* c) { return c->ClientToScreen(POINT{c->Width() / 2, c->Height() / 2}); }

TEST(HtmlFormsGui, FormsDrivenWithRealMessagesAndTablesDrawn) {
  using namespace readhtml;
  htmlun2::StartHtmlImages();
  const std::string dir = testsupport::ScratchDir();
  const std::string picture = testsupport::Join(dir, "go.bmp");
  testsupport::WriteFileBytes(picture, testsupport::SolidBmp24(40, 20, 0x00FF00));

  TForm* form = new TForm(Application);
  form->SetBounds(10, 10, 2 * kPanelW + 40, kPanelH + 50);
  form->SetCaption("Forms and tables");
  auto* left = new TDocPanel(form);
  left->SetBounds(10, 10, kPanelW, kPanelH);
  left->SetParent(form);
  auto* right = new TDocPanel(form);
  right->SetBounds(kPanelW + 20, 10, kPanelW, kPanelH);
  right->SetParent(form);
  form->Show();
  Pump(50);

  // ---- The form document.
  left->Doc = std::make_unique<TSectionList>(left, left);
  TSectionList& doc = *left->Doc;
  doc.SetDefaults("Arial", "Courier New", clWhite, clBlue, clBlack, 10);
  std::vector<Submission> got;
  doc.OnFormSubmit = [&](TObject* sender, const std::string& action, const std::string& method, TStringList* r) {
    EXPECT_EQ(sender, left);
    got.push_back({action, method, r->Text()});
    delete r;
  };
  TMyFont font;
  font.SetName("Arial");
  font.SetScaleSize(doc, 12);
  auto section = [&](const std::string& text) {
    auto* s = new TSection(&doc, 0, font, nullptr, 1);
    s->AppendText(text);
    doc.Add(s);
    return s;
  };
  CurrentForm = nullptr;
  CurrentForm = new ThtmlForm(&doc, &A()(MethodAttr, "post")(ActionAttr, "/search").list);
  TSection* s1 = section("Find ");
  auto* q = MakeFormControl(*s1, InputSy, &A()(NameAttr, "q").list);
  s1->AppendText(" Key ");
  auto* pw = MakeFormControl(*s1, InputSy, &A()(TypeAttr, "password")(NameAttr, "pw")(ValueAttr, "k1").list);
  TSection* s2 = section("");
  auto* box = MakeFormControl(*s2, InputSy, &A()(TypeAttr, "checkbox")(NameAttr, "x").list);
  s2->AppendText(" Box ");
  TFormControlObj* radios[3];
  for (int i = 0; i < 3; ++i) {
    A ra;
    ra(TypeAttr, "radio")(NameAttr, i == 1 ? "Colour" : "colour")(ValueAttr, std::string(1, char('a' + i)));
    if (i == 0) ra(CheckedAttr, "");
    radios[i] = MakeFormControl(*s2, InputSy, &ra.list);
    s2->AppendText(" ");
  }
  TSection* s3 = section("");
  auto* list = dynamic_cast<TListBoxFormControlObj*>(MakeFormControl(*s3, SelectSy, &A()(NameAttr, "m")(MultipleAttr, "").list));
  ASSERT_TRUE(list);
  for (int i = 0; i < 12; ++i) list->AddStr("item" + std::to_string(i), i == 2 ? "two" : "", i == 2);
  s3->AppendText(" ");
  auto* combo = dynamic_cast<TComboFormControlObj*>(MakeFormControl(*s3, SelectSy, &A()(NameAttr, "s").list));
  ASSERT_TRUE(combo);
  combo->AddStr("red", "", false);
  combo->AddStr("green", "g", true);
  combo->AddStr("blue", "", false);
  TSection* s4 = section("");
  auto* area = dynamic_cast<TTextAreaFormControlObj*>(
      MakeFormControl(*s4, TextAreaSy, &A()(NameAttr, "t")(RowsAttr, "3")(ColsAttr, "20").list));
  ASSERT_TRUE(area);
  area->TheText.SetText("first line\nsecond");
  TSection* s5 = section("");
  auto* submit = MakeFormControl(*s5, InputSy, &A()(TypeAttr, "submit")(NameAttr, "go")(ValueAttr, "Search").list);
  s5->AppendText(" ");
  auto* reset = MakeFormControl(*s5, InputSy, &A()(TypeAttr, "reset")(ValueAttr, "Reset").list);
  MakeFormControl(*s5, InputSy, &A()(TypeAttr, "hidden")(NameAttr, "h")(ValueAttr, "v").list);
  s5->AppendText(" ");
  auto* image = dynamic_cast<TImageFormControlObj*>(
      MakeFormControl(*s5, InputSy, &A()(TypeAttr, "image")(NameAttr, "pt")(SrcAttr, picture).list));
  ASSERT_TRUE(image);
  CurrentForm = nullptr;
  for (int i = 0; i < 12; ++i) section("Filler line " + std::to_string(i) + " between the forms.");
  CurrentForm = new ThtmlForm(&doc, &A()(ActionAttr, "/one").list);
  TSection* s6 = section("Alone ");
  auto* only = MakeFormControl(*s6, InputSy, &A()(NameAttr, "only")(ValueAttr, "word").list);
  CurrentForm = nullptr;
  for (int i = 0; i < 20; ++i) section("Filler line " + std::to_string(i) + " of the page that scrolls.");
  doc.ReapplyDefaults();
  for (int i = 0; i < doc.Forms.Count(); ++i) static_cast<ThtmlForm*>(doc.Forms.Items(i))->ResetControls();

  left->Layout();
  // A list of 12 options without SIZE shows 8 rows; a SELECT without SIZE
  // and MULTIPLE is a drop-down list.
  EXPECT_EQ(list->LBSize, 8);
  EXPECT_EQ(dynamic_cast<TListBox*>(PeerWindow(list->TheControl.get()))->ClientHeight() / 8,
            SendMessageA(PeerWindow(list->TheControl.get())->Handle(), LB_GETITEMHEIGHT, 0, 0));
  EXPECT_TRUE(dynamic_cast<TComboBox*>(PeerWindow(combo->TheControl.get())));
  left->Invalidate();
  Pump(100);
  for (TFormControlObj* c : {q, pw, box, radios[0], submit, reset}) {
    EXPECT_TRUE(c->Shown);
    EXPECT_TRUE(PeerWindow(c->TheControl.get())->Visible());
    EXPECT_GE(PeerWindow(c->TheControl.get())->Left(), 0);
  }
  EXPECT_EQ(dynamic_cast<TEdit*>(PeerWindow(pw->TheControl.get()))->PasswordChar(), '*');

  // Typing, a box clicked, the third radio clicked with the mouse, list and
  // combo selections, more text in the memo.
  Chars(Wnd(q), "hello");
  SendMessageA(Wnd(box), BM_CLICK, 0, 0);
  SendMessageA(Wnd(radios[2]), BM_CLICK, 0, 0);
  SendMessageA(Wnd(radios[0]), BM_CLICK, 0, 0);
  testsupport::SendClick(CentreOnScreen(PeerButton(radios[1]->TheControl.get())), MOUSEEVENTF_LEFTDOWN,
                         MOUSEEVENTF_LEFTUP);
  Pump(50);
  EXPECT_TRUE(radios[1]->TheControl->Checked());
  EXPECT_FALSE(radios[0]->TheControl->Checked());
  EXPECT_FALSE(radios[2]->TheControl->Checked());
  HWND lb = PeerWindow(list->TheControl.get())->Handle();
  SendMessageA(lb, LB_SETSEL, TRUE, 7);
  SendMessageA(lb, LB_SETSEL, FALSE, 2);
  SendMessageA(lb, LB_SETSEL, TRUE, 11);
  SendMessageA(PeerWindow(combo->TheControl.get())->Handle(), CB_SETCURSEL, 2, 0);
  HWND memo = Wnd(area);
  SendMessageA(memo, EM_SETSEL, 100, 100);
  Chars(memo, "!");

  // Enter with many visible controls does nothing.
  SendMessageA(Wnd(q), WM_KEYDOWN, VK_RETURN, 0);
  Pump(20);
  EXPECT_TRUE(got.empty());
  SendMessageA(Wnd(submit), BM_CLICK, 0, 0);
  Pump(20);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].action, "/search");
  EXPECT_EQ(got[0].method, "post");
  EXPECT_EQ(got[0].lines,
            "q=hello\r\npw=k1\r\nx=On\r\nColour=b\r\nm=item7\r\nm=item11\r\ns=blue\r\nt=first line\r\n"
            "t=second!\r\nh=v\r\ngo=Search\r\n");

  // Reset restores the defaults.
  SendMessageA(Wnd(reset), BM_CLICK, 0, 0);
  Pump(20);
  EXPECT_EQ(PeerWindow(q->TheControl.get())->Text(), "");
  EXPECT_FALSE(box->TheControl->Checked());
  EXPECT_TRUE(radios[0]->TheControl->Checked());
  EXPECT_FALSE(radios[1]->TheControl->Checked());
  EXPECT_EQ(SendMessageA(lb, LB_GETSELCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(lb, LB_GETSEL, 2, 0), 1);
  EXPECT_EQ(SendMessageA(PeerWindow(combo->TheControl.get())->Handle(), CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(PeerWindow(area->TheControl.get())->Text(), "first line\r\nsecond");

  // The image input, clicked with the mouse 5 pixels in and 7 down:
  // submits its position, with no button line.
  left->Update();
  TImageObj* picObj = dynamic_cast<TImageObj*>(s5->Pictures.ImageAt(image->Pos));
  ASSERT_TRUE(picObj);
  const POINT at = left->ClientToScreen(POINT{picObj->ShownX + 5, picObj->ShownY - doc.ScrollTop + 7});
  testsupport::SendClick(at, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(50);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].lines,
            "q=\r\npw=k1\r\ncolour=a\r\nm=two\r\ns=g\r\nt=first line\r\nt=second\r\nh=v\r\npt.x=5\r\npt.y=7\r\n");

  // Enter in the only visible control of the second form submits it.
  SendMessageA(Wnd(only), WM_KEYDOWN, VK_RETURN, 0);
  Pump(20);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2].action, "/one");
  EXPECT_EQ(got[2].method, "Get");
  EXPECT_EQ(got[2].lines, "only=word\r\n");

  // ---- The table document, drawn before the scroll so both show.
  right->Doc = std::make_unique<TSectionList>(right, right);
  TSectionList& tdoc = *right->Doc;
  tdoc.SetDefaults("Arial", "Courier New", clWhite, clBlue, clBlack, 10);
  TMyFont tfont;
  tfont.SetName("Arial");
  tfont.SetScaleSize(tdoc, 12);
  auto text = [&](TCell& cell, const std::string& s) {
    auto* sec = new TSection(&tdoc, 0, tfont, nullptr, 1);
    sec->AppendText(s);
    cell.Add(sec);
    return sec;
  };
  text(tdoc, "A table with captions and colours:");
  auto* table = new ThtmlTable(&tdoc, 0, &tdoc, 1,
                               &A()(BorderAttr, "1")(CellPaddingAttr, "4")(CellSpacingAttr, "4")(
                                   BorderColorAttr, "navy")(WidthAttr, "95%").list);
  text(table->Caption->Cell, "Top caption");
  table->AddRow(&A()(BGColorAttr, "yellow").list);
  for (int c = 0; c < 3; ++c) {
    auto* cell = new TCellObj(&tdoc, c == 1 ? &A()(BGColorAttr, "aqua").list : nullptr, 0);
    text(cell->Cell, c == 1 ? "Cell colour" : "Row colour");
    table->AddCell(cell);
  }
  table->AddRow();
  auto* nestCell = new TCellObj(&tdoc, &A()(ColSpanAttr, "2").list, 0);
  auto* nested = new ThtmlTable(&tdoc, 0, &nestCell->Cell, 1, &A()(BorderAttr, "1")(BGColorAttr, "silver").list);
  nested->CaptionTop = false;
  text(nested->Caption->Cell, "Bottom caption");
  for (int r = 0; r < 2; ++r) {
    nested->AddRow();
    for (int c = 0; c < 2; ++c) {
      auto* cell = new TCellObj(&tdoc, nullptr, 0);
      text(cell->Cell, "n" + std::to_string(r) + std::to_string(c));
      nested->AddCell(cell);
    }
  }
  nestCell->Cell.Add(nested);
  table->AddCell(nestCell);
  auto* formCell = new TCellObj(&tdoc, &A()(BGColorAttr, "lime").list, 1);
  CurrentForm = nullptr;
  TSection* fs = text(formCell->Cell, "Form ");
  auto* cellEdit = MakeFormControl(*fs, InputSy, &A()(NameAttr, "e")(SizeAttr, "6").list);
  auto* cellRadio = MakeFormControl(*fs, InputSy, &A()(TypeAttr, "radio")(NameAttr, "r")(CheckedAttr, "").list);
  MakeFormControl(*fs, InputSy, &A()(TypeAttr, "submit").list);
  CurrentForm = nullptr;
  table->AddCell(formCell);
  tdoc.Add(table);
  text(tdoc, "Text after the table.");
  tdoc.ReapplyDefaults();
  right->Layout();
  right->Invalidate();
  Pump(150);
  EXPECT_EQ(table->NumCols, 3);
  // Backgrounds: the row colour, the cell's own, and the border colour in
  // the gap between two cells of the first row.
  const int gridTop = table->LastTop + table->CaptionHeight - tdoc.ScrollTop;
  TCellObj* first = table->Row(0)->CellObj(0);
  const int rowMid = gridTop + table->CellSpacing + 3;
  int x = table->TableIndent + 2;
  EXPECT_EQ(testsupport::ScreenPixel(right, x + table->CellSpacing + 2, rowMid), RGB(255, 255, 0));
  EXPECT_EQ(testsupport::ScreenPixel(right, x + table->Widths[0] + table->CellSpacing + 2, rowMid), RGB(0, 255, 255));
  EXPECT_EQ(testsupport::ScreenPixel(right, x + first->CellWd + 2, rowMid), RGB(0, 0, 128));
  // The radio button in the lime cell stands on a lime panel; the edit and
  // the radio are shown inside the cell.
  EXPECT_TRUE(cellEdit->Shown && cellRadio->Shown);
  EXPECT_EQ(PeerWindow(cellRadio->TheControl.get())->Color(), TColor(0x00FF00));
  EXPECT_GT(PeerWindow(cellEdit->TheControl.get())->Left(), x + table->Widths[0] + table->Widths[1]);
  EXPECT_FALSE(testsupport::Screenshot("htmltables_forms").empty());

  // ---- Page Down in an edit scrolls the document; controls that the
  // next draw does not reach are hidden.
  SendMessageA(Wnd(q), WM_KEYDOWN, VK_NEXT, 0);
  Pump(150);
  EXPECT_EQ(left->PageKeys, 1);
  EXPECT_EQ(doc.ScrollTop, kPanelH - 20);
  for (TFormControlObj* c : {q, pw, box, radios[0]}) {
    EXPECT_FALSE(c->Shown);
    EXPECT_FALSE(PeerWindow(c->TheControl.get())->Visible());
  }
  EXPECT_TRUE(only->Shown);
  EXPECT_TRUE(PeerWindow(only->TheControl.get())->Visible());
  EXPECT_FALSE(testsupport::Screenshot("htmltables_forms_scrolled").empty());

  // Printing paints the edit (a frame with its text inside) instead of
  // showing its window.
  {
    doc.SetScrollTop(0);
    doc.ForPrint = true;
    TBitmap page(kPanelW, kPanelH);
    page.Canvas().Brush().SetColor(clWhite);
    page.Canvas().FillRect(RECT{0, 0, kPanelW, kPanelH});
    doc.Render(page.Canvas(), ThtRect{0, 0, kPanelW, kPanelH}, kPanelW - 4, 2, 0);
    doc.ForPrint = false;
    EXPECT_TRUE(q->Shown);
    EXPECT_FALSE(PeerWindow(q->TheControl.get())->Visible());
    int longest = 0;
    for (int y = s1->LastTop; y < s1->LastTop + s1->FlowHeight; ++y) {
      int run = 0;
      for (int x = 0; x < kPanelW; ++x) {
        run = GetPixel(page.Canvas().Handle(), x, y) == RGB(0, 0, 0) ? run + 1 : 0;
        longest = std::max(longest, run);
      }
    }
    EXPECT_GE(longest, q->Width() - 1);
  }

  // Printing: a table that starts in the lower half of the page and would
  // be cut moves to the next page whole (nothing drawn, the page break
  // moves up to it); on a page tall enough it is drawn.
  {
    TSectionList pdoc;
    pdoc.SetDefaults("Arial", "Courier New", clWhite, clBlue, clBlack, 10);
    pdoc.ForPrint = true;
    for (int i = 0; i < 8; ++i) text(pdoc, "Line before the table " + std::to_string(i));
    auto* pt = new ThtmlTable(&pdoc, 0, &pdoc, 1, &A()(BGColorAttr, "red")(WidthAttr, "200").list);
    for (int r = 0; r < 4; ++r) {
      pt->AddRow();
      auto* cell = new TCellObj(&pdoc, &A()(HeightAttr, "30").list, 0);
      cell->Cell.Add(new TSection(&pdoc, 0, tfont, nullptr, 1));
      static_cast<TSection*>(cell->Cell.Section(0))->AppendText("row");
      pt->AddCell(cell);
    }
    pdoc.Add(pt);
    pdoc.ReapplyDefaults();
    int sw = 0, curs = 0;
    pdoc.Arrange(ScreenMeasure(), 0, 300, sw, curs);
    ASSERT_GT(pt->LastTop, 0);
    const int pageHeight = pt->LastTop + pt->FlowHeight / 2;
    ASSERT_GT(pt->LastTop, pageHeight / 2);
    ASSERT_LT(pt->FlowHeight, pageHeight);
    for (int tall = 0; tall < 2; ++tall) {
      const int h = tall ? pt->LastTop + pt->FlowHeight + 10 : pageHeight;
      TBitmap page(300, h);
      page.Canvas().Brush().SetColor(clWhite);
      page.Canvas().FillRect(RECT{0, 0, 300, h});
      pdoc.Render(page.Canvas(), ThtRect{0, 0, 300, h}, 300, 0, 0);
      const COLORREF inCell = GetPixel(page.Canvas().Handle(), pt->TableIndent + pt->CellSpacing + 2,
                                       pt->LastTop + pt->CellSpacing + 2);
      if (tall) {
        EXPECT_EQ(inCell, RGB(255, 0, 0));
        EXPECT_EQ(pdoc.PageBreakY, h);
      } else {
        EXPECT_EQ(inCell, RGB(255, 255, 255));
        EXPECT_EQ(pdoc.PageBreakY, pt->LastTop);
      }
    }
  }

  // The documents go before their panels.
  left->Doc.reset();
  right->Doc.reset();
  EXPECT_EQ(CurrentForm, nullptr);
  delete form;
}

}  // namespace
