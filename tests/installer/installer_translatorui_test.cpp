// The translator on real windows: captions by GLID and by text, item lists,
// controls restored afterwards, and the language fonts.
#include <gtest/gtest.h>

#include "win/translatecontrols.h"
#include "translator.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/listview.h"
#include "win/stdctrls.h"

namespace {

void SetLines(TLanguage* lang, std::initializer_list<const char*> lines) {
  TStringList text;
  for (const char* l : lines) text.Add(l);
  lang->SetStrings(&text);
}

class TranslatorUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLines(t.Language(qlEnglish), {"4;< Previous", "5;Next >", "6;Cancel", "7;Typical",
                                     "8;Custom", "9;Space Required:", "10;Space Available:", "#30;", "Read this", "first", "#"});
    SetLines(t.Language(qlGerman), {"4;< Zurück", "5;Weiter >", "6;Abbrechen", "7;Standard",
                                    "8;Benutzerdefiniert", "9;Platzbedarf:", "10;Verfügbar:", "#30;", "Bitte zuerst", "lesen", "#"});
    t.SetTranslateIntoLanguage(qlGerman);
  }
  TTranslator t{nullptr};
};

}  // namespace

TEST_F(TranslatorUiTest, PageControlsTranslateAndComeBackAsTheyWere) {
  TForm form(nullptr);
  form.SetCaption("Cancel");
  auto* next = new TTranslateBitBtn(&form);
  next->SetParent(&form);
  next->SetGLID(5);
  next->SetCaption("whatever the designer typed");
  auto* label = new TTranslateLabel(&form);
  label->SetParent(&form);
  label->SetCaption("< Previous");  // GLID 0: found by its text
  label->SetAutoSize(true);
  auto* memo = new TMemo(&form);
  memo->SetParent(&form);
  memo->Lines().Add("Read this");
  memo->Lines().Add("first");
  auto* list = new TListBox(&form);
  list->SetParent(&form);
  list->Items().Add("Typical");
  list->Items().Add("Other");
  auto* combo = new TComboBox(&form);
  combo->SetParent(&form);
  combo->Items().Add("Custom");
  auto* group = new TRadioGroup(&form);
  group->SetParent(&form);
  group->Items().Add("Typical");
  group->Items().Add("Custom");
  // A report view's column captions are its texts too; the window's
  // header must show them, not only the column objects.
  auto* view = new TListView(&form);
  view->SetParent(&form);
  view->SetViewStyle(vsReport);
  for (const char* caption : {"Space Required:", "Space Available:"}) view->Columns().Add()->SetCaption(caption);
  auto header = [view](int i) {
    char text[64] = {};
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    SendMessageA(view->Handle(), LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    return std::string(text);
  };
  ASSERT_EQ(header(1), "Space Available:");
  auto* hidden = new TButton(&form);
  hidden->SetParent(&form);
  hidden->SetCaption("Cancel");
  hidden->SetVisible(false);

  EXPECT_EQ(TranslateForm(qlEnglish, &form), qlGerman);
  EXPECT_EQ(form.Caption(), "Abbrechen");
  EXPECT_EQ(next->Caption(), "Weiter >");
  EXPECT_EQ(label->Caption(), "< Zurück");
  EXPECT_TRUE(label->AutoSize());
  EXPECT_TRUE(label->Visible());
  ASSERT_EQ(memo->Lines().Count(), 2);
  EXPECT_EQ(memo->Lines()[0], "Bitte zuerst");
  EXPECT_EQ(memo->Lines()[1], "lesen");
  EXPECT_EQ(list->Items()[0], "Standard");
  EXPECT_EQ(list->Items()[1], "Other");
  EXPECT_EQ(combo->Items()[0], "Benutzerdefiniert");
  EXPECT_EQ(group->Items()[1], "Benutzerdefiniert");
  EXPECT_EQ(header(0), "Platzbedarf:");
  EXPECT_EQ(header(1), "Verfügbar:");
  EXPECT_EQ(view->Columns()[0]->Caption(), "Platzbedarf:");
  EXPECT_EQ(hidden->Caption(), "Abbrechen");
  EXPECT_FALSE(hidden->Visible());
  EXPECT_TRUE(next->Visible());

  EXPECT_EQ(TranslateFormInto(qlGerman, qlEnglish, &form), qlEnglish);
  EXPECT_EQ(label->Caption(), "< Previous");
  EXPECT_EQ(next->Caption(), "Next >");
  EXPECT_EQ(header(1), "Space Available:");
  EXPECT_EQ(t.TranslateIntoLanguage(), qlGerman);
}

TEST_F(TranslatorUiTest, LanguageFonts) {
  TForm form(nullptr);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  form.Font().SetName("Tahoma");
  form.Font().SetSize(7);
  label->Font().SetSize(12);

  // German has texts: its face name, sizes raised to the minimum only.
  TranslateFormFont(&form, false);
  EXPECT_EQ(form.Font().Name(), "MS Sans Serif");
  EXPECT_EQ(form.Font().Size(), 8);
  EXPECT_EQ(label->Font().Name(), "MS Sans Serif");
  EXPECT_EQ(label->Font().Size(), 12);

  // Japanese has no texts: English unless forced.
  TranslateFormFontInto(qlJapanese, &form, false);
  EXPECT_EQ(form.Font().Name(), "Arial");
  EXPECT_EQ(form.Font().Charset(), 0);
  TranslateFormFontInto(qlJapanese, &form, true);
  EXPECT_EQ(form.Font().Charset(), 128);
  EXPECT_EQ(form.Font().Name(), LanguageFaceName(qlJapanese));
  EXPECT_EQ(form.Font().Size(), 9);
  EXPECT_EQ(t.TranslateIntoLanguage(), qlGerman);

  // Hebrew has no font of its own: the page keeps a usable default font
  // instead of failing to show.
  EXPECT_NO_THROW(TranslateFormFontInto(qlHebrew, &form, true));
  EXPECT_EQ(form.Font().Name(), "Arial");
  EXPECT_EQ(form.Font().Charset(), 0);

  // An override copies the language's font as it is.
  TLanguage* czech = t.Language(qlCzech);
  czech->SetFontOverride(true);
  czech->Font()->SetName("Courier New");
  czech->Font()->SetSize(15);
  TranslateFormFontInto(qlCzech, &form, true);
  EXPECT_EQ(form.Font().Name(), "Courier New");
  EXPECT_EQ(label->Font().Size(), 15);
}
