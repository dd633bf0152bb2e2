// Form controls without windows: what INPUT, SELECT and TEXTAREA become,
// the submission lines, reset, the Enter rule, sizes from the fixed metrics
// with attribute values held to their bounds, and controls in the layout.
#include <gtest/gtest.h>

#include <string>

#include "htmlscan.h"
#include "htmlforms.h"
#include "htmltext.h"

using namespace htmlsubs;
using htmlun2::TAttributeList;

namespace {

struct Attrs {
  TAttributeList list;
  Attrs& Add(int which, const std::string& name, int value = 0) {
    list.AddAttribute(which, value, name);
    return *this;
  }
};

struct Submitted {
  int count = 0;
  std::string action, method, lines;
};

TEST(HtmlForms, ControlsSubmitResetAndSize) {
  TSectionList doc;
  Submitted got;
  doc.OnFormSubmit = [&](TObject*, const std::string& action, const std::string& method, TStringList* results) {
    ++got.count;
    got.action = action;
    got.method = method;
    got.lines = results->Text();
    delete results;
  };
  CurrentForm = nullptr;
  auto* form = new ThtmlForm(&doc, &Attrs().Add(readhtml::MethodAttr, "POSTED").Add(readhtml::ActionAttr, "/find").list);
  CurrentForm = form;
  EXPECT_EQ(form->Method, "POST");
  TMyFont font;
  auto* s = new TSection(&doc, 0, font, nullptr, 1);
  doc.Add(s);
  auto* edit = dynamic_cast<TEditFormControlObj*>(MakeFormControl(*s, 
      readhtml::InputSy, &Attrs().Add(readhtml::NameAttr, "q").Add(readhtml::ValueAttr, "abc").Add(readhtml::SizeAttr, "", 2147483647).list));
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->EditSize, MaxControlChars);
  auto* box = MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "CHECKBOX").Add(readhtml::NameAttr, "x").list);
  ASSERT_TRUE(dynamic_cast<TCheckBoxFormControlObj*>(box));
  auto* r1 = MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "radio").Add(readhtml::NameAttr, "c").Add(readhtml::ValueAttr, "1").Add(readhtml::CheckedAttr, "").list);
  auto* r2 = MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "radio").Add(readhtml::NameAttr, "C").Add(readhtml::ValueAttr, "2").list);
  auto* hidden = MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "hidden").Add(readhtml::NameAttr, "h").Add(readhtml::ValueAttr, "v").list);
  auto* combo = dynamic_cast<TComboFormControlObj*>(MakeFormControl(*s, readhtml::SelectSy, &Attrs().Add(readhtml::NameAttr, "s").Add(readhtml::SizeAttr, "", 1).list));
  ASSERT_TRUE(combo);
  combo->AddStr("one", "", false);
  combo->AddStr("two", "2", true);
  auto* list = dynamic_cast<TListBoxFormControlObj*>(MakeFormControl(*s, readhtml::SelectSy, &Attrs().Add(readhtml::NameAttr, "m").Add(readhtml::MultipleAttr, "").list));
  ASSERT_TRUE(list);
  for (int i = 0; i < 12; ++i) list->AddStr("opt" + std::to_string(i), i == 3 ? "three" : "", i == 3 || i == 5);
  auto* area = dynamic_cast<TTextAreaFormControlObj*>(MakeFormControl(*s, readhtml::TextAreaSy, &Attrs().Add(readhtml::NameAttr, "t").Add(readhtml::RowsAttr, "", -4).Add(readhtml::ColsAttr, "", 99999).list));
  ASSERT_TRUE(area);
  EXPECT_EQ(area->Rows, 5);
  EXPECT_EQ(area->Cols, MaxControlChars);
  area->TheText.SetText("first\nsecond");
  auto* submit = dynamic_cast<TButtonFormControlObj*>(MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "submit").Add(readhtml::NameAttr, "go").Add(readhtml::ValueAttr, "Search").list));
  auto* reset = dynamic_cast<TButtonFormControlObj*>(MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "reset").list));
  ASSERT_TRUE(submit && reset && reset->IsReset && !submit->IsReset);
  // A hidden input adds no character; the others one each.
  EXPECT_EQ(s->Controls.Count(), 9);
  EXPECT_EQ(s->PosCount, 9);
  EXPECT_EQ(s->Controls.ControlAt(2), r1);
  EXPECT_EQ(s->Controls.DistanceToControl(9), 9999);
  EXPECT_EQ(form->NonHiddenCount, 9);
  EXPECT_EQ(form->ControlList.Count(), 10);
  EXPECT_EQ(doc.AllControls.Count(), 10);
  (void)hidden;

  // Options show their defaults as they come.
  EXPECT_EQ(combo->TheControl->ItemIndex(), 1);
  EXPECT_TRUE(list->TheControl->Selected(3) && list->TheControl->Selected(5) && !list->TheControl->Selected(0));
  form->ResetControls();
  // Sizes with the fixed metrics, products within bounds.
  form->SetSizes(ScreenMeasure());
  EXPECT_EQ(list->LBSize, 8);
  EXPECT_GT(edit->Width(), 0);
  EXPECT_LT(edit->Width(), 100000);
  EXPECT_GT(area->Width(), 0);
  EXPECT_EQ(box->Width(), 13);
  EXPECT_EQ(r1->Height(), 14);

  // Radios share one NAME without regard to case.
  r2->TheControl->SetChecked(true);
  r2->Clicked();
  EXPECT_FALSE(r1->TheControl->Checked());
  box->TheControl->SetChecked(true);
  list->TheControl->SetSelected(5, false);
  list->TheControl->SetSelected(7, true);
  edit->TheControl->SetText("find me");
  submit->Clicked();
  ASSERT_EQ(got.count, 1);
  EXPECT_EQ(got.action, "/find");
  EXPECT_EQ(got.method, "POST");
  EXPECT_EQ(got.lines,
            "q=find me\r\nx=On\r\nC=2\r\nh=v\r\ns=2\r\nm=three\r\nm=opt7\r\nt=first\r\nt=second\r\ngo=Search\r\n");

  // Reset restores every default; Enter with nine visible controls does
  // nothing.
  reset->Clicked();
  int key = 13;
  form->ControlKeyPress(edit, key);
  EXPECT_EQ(got.count, 1);
  EXPECT_EQ(key, 13);
  submit->Name.clear();
  submit->Clicked();
  EXPECT_EQ(got.lines, "q=abc\r\nc=1\r\nh=v\r\ns=2\r\nm=three\r\nm=opt5\r\nt=first\r\nt=second\r\n");

  // Controls take their width in the line.
  int sw, curs = 0;
  doc.Arrange(ScreenMeasure(), 0, 100000, sw, curs);
  ASSERT_EQ(s->LaidLines.Count(), 1);
  EXPECT_GE(s->Line(0)->ExtraAbove + s->Line(0)->TextHt, list->Height());
  doc.Arrange(ScreenMeasure(), 0, 10, sw, curs);
  EXPECT_EQ(s->LaidLines.Count(), 9);
}

TEST(HtmlForms, OneFieldSubmitsOnEnterAndControlsOutsideFormsGetOne) {
  int submits = 0;
  std::string lines, method;
  {
    TSectionList doc;
    doc.OnFormSubmit = [&](TObject*, const std::string&, const std::string& m, TStringList* results) {
      ++submits;
      method = m;
      lines = results->Text();
      delete results;
    };
    CurrentForm = nullptr;
    TMyFont font;
    auto* s = new TSection(&doc, 0, font, nullptr, 1);
    doc.Add(s);
    auto* edit = MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::NameAttr, "q").list);
    MakeFormControl(*s, readhtml::InputSy, &Attrs().Add(readhtml::TypeAttr, "hidden").Add(readhtml::NameAttr, "h").list);
    ASSERT_TRUE(CurrentForm);
    EXPECT_EQ(CurrentForm->Method, "Get");
    // A control of another document never joins this document's open form.
    {
      TSectionList frame;
      ThtmlForm* open = CurrentForm;
      TCheckBoxFormControlObj other(&frame, 0, nullptr);
      EXPECT_NE(other.MyForm, open);
      EXPECT_EQ(other.MyForm->Document, &frame);
      EXPECT_EQ(open->ControlList.Count(), 2);
      // The frame's form is the open one now; give the page's back.
      CurrentForm = open;
      other.MyForm->ControlList.Extract(&other);
    }
    EXPECT_EQ(CurrentForm->NonHiddenCount, 1);
    edit->TheControl->SetText("word");
    int key = 13;
    edit->KeyDown(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(submits, 1);
    EXPECT_EQ(method, "Get");
    EXPECT_EQ(lines, "q=word\r\nh=\r\n");
  }
  // The form went with its document; the next page's controls get a new one.
  EXPECT_EQ(CurrentForm, nullptr);
}

}  // namespace
