// Language texts: the line format and its errors, re-parsing as the lines
// change, and translation of strings, memos and component properties.
#include <gtest/gtest.h>

#include "classes.h"
#include "exceptions.h"
#include "translator.h"

namespace {

std::string ErrorOf(TLanguage* lang, std::initializer_list<const char*> lines) {
  TStringList text;
  for (const char* l : lines) text.Add(l);
  try {
    lang->SetStrings(&text);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

void SetLines(TLanguage* lang, std::initializer_list<const char*> lines) {
  TStringList text;
  for (const char* l : lines) text.Add(l);
  lang->SetStrings(&text);
}

}  // namespace

TEST(LanguageFormat, StringLinesTakeTheSecondItemAsItStands) {
  TTranslator t(nullptr);
  TLanguage* en = t.Language(qlEnglish);
  SetLines(en, {"  12;Next >  ", "13;Next;>", "14; padded", "* a comment", "", "-3;neg"});
  ASSERT_EQ(en->StringElements().size(), 4u);
  EXPECT_EQ(en->FindString(12)->Text, "Next >");
  EXPECT_EQ(en->FindString(13)->Text, "Next");
  EXPECT_EQ(en->FindString(14)->Text, " padded");
  EXPECT_EQ(en->FindString(14)->Line, 2);
  EXPECT_EQ(en->FindString(-3)->Text, "neg");
  EXPECT_EQ(en->FindString(12)->Language, en);
}

TEST(LanguageFormat, FirstOfDuplicateGLIDsWinsAndTextsAreCut) {
  TTranslator t(nullptr);
  TLanguage* en = t.Language(qlEnglish);
  std::string longLine = "5;" + std::string(300, 'x');
  TStringList text;
  text.Add("5;first");
  text.Add("5;second");
  text.Add(longLine);
  en->SetStrings(&text);
  EXPECT_EQ(en->FindString(5)->Text, "first");
  EXPECT_EQ(en->StringElements()[2]->Text.size(), 255u);
}

TEST(LanguageFormat, MemosSkipBlanksAndComments) {
  TTranslator t(nullptr);
  TLanguage* en = t.Language(qlEnglish);
  SetLines(en, {"1;before", "#7;", "  line one  ", "* note", "", "line two", "#", "2;after",
                "#8;", "never closed"});
  ASSERT_EQ(en->MemoElements().size(), 1u);
  TLanguageMemo* memo = en->FindMemo(7);
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->Line, 1);
  EXPECT_EQ(memo->Lines, (std::vector<std::string>{"line one", "line two"}));
  EXPECT_EQ(en->FindMemo(8), nullptr);  // open at the end: dropped
  EXPECT_EQ(en->FindString(2)->Text, "after");
}

TEST(LanguageFormat, BrokenFilesNameTheLineAndLeaveNoElements) {
  TTranslator t(nullptr);
  TLanguage* en = t.Language(qlEnglish);
  EXPECT_EQ(ErrorOf(en, {"#"}),
            "Found the end of memo marker # at line 0. Was not in a memo however");
  EXPECT_EQ(en->StringElements().size(), 0u);
  EXPECT_EQ(ErrorOf(en, {"1;ok", "12;   "}),
            "The 1'th string (12;) does not have the proper format of GLID;Text");
  EXPECT_EQ(en->StringElements().size(), 0u);
  EXPECT_EQ(ErrorOf(en, {"1;ok", "", "Next"}),
            "The 2'th string (Next) does not have the proper format of GLID;Text");
  EXPECT_EQ(ErrorOf(en, {";text"}),
            "The 0'th string (;text) does not have the proper format of GLID;Text");
  EXPECT_EQ(ErrorOf(en, {"x12;Next"}),
            "The 0'th string (x12;Next) does not have the proper format of GLID;Text or .GLID;");
  EXPECT_EQ(ErrorOf(en, {"#abc;"}),
            "The 0'th string (#abc;) does not have the proper format of GLID;Text or .GLID;");
  EXPECT_EQ(ErrorOf(en, {"99999999999;big"}),
            "The 0'th string (99999999999;big) does not have the proper format of GLID;Text or "
            ".GLID;");
  EXPECT_EQ(en->StringElements().size(), 0u);
  EXPECT_EQ(en->MemoElements().size(), 0u);
}

TEST(LanguageFormat, ChangesReparseAndDeleteShiftsLines) {
  TTranslator t(nullptr);
  TLanguage* en = t.Language(qlEnglish);
  TLangFormatStrings* s = en->Strings();
  s->Add("1;one");
  s->Add("2;two");
  s->Insert(0, "0;zero");
  ASSERT_EQ(en->StringElements().size(), 3u);
  EXPECT_EQ(en->FindString(2)->Line, 2);
  s->Delete(0);
  EXPECT_EQ(en->StringElements().size(), 3u);  // not re-parsed...
  EXPECT_EQ(en->FindString(2)->Line, 1);       // ...but the later lines moved up
  EXPECT_EQ(en->FindString(1)->Line, 0);
  s->Move(1, 0);
  EXPECT_EQ(en->FindString(0), nullptr);
  EXPECT_EQ(en->FindString(2)->Line, 0);
  // A broken line added later leaves the language empty, and fixing it
  // brings the texts back.
  EXPECT_THROW(s->Add("#"), Exception);
  EXPECT_EQ(en->StringElements().size(), 0u);
  s->Delete(s->Count() - 1);
  s->Add("3;three");
  EXPECT_EQ(en->StringElements().size(), 3u);
  s->Clear();
  EXPECT_EQ(en->StringElements().size(), 0u);
}

TEST(LanguageFormat, AssignParsesOnceAndResumesParsingAfterAFailure) {
  TTranslator t(nullptr);
  TLanguage* en = t.Language(qlEnglish);
  // Line by line this text passes through a broken state ("#" before its
  // memo is complete is fine, but "2;" alone is not); assigned as a whole it
  // is parsed once.
  TStringList text;
  text.Add("#4;");
  text.Add("memo");
  text.Add("#");
  en->Strings()->Assign(&text);
  EXPECT_NE(en->FindMemo(4), nullptr);
  TStringList broken;
  broken.Add("#");
  EXPECT_THROW(en->Strings()->Assign(&broken), Exception);
  EXPECT_TRUE(en->ParseEnabled());
  en->Strings()->Clear();
  en->Strings()->Add("1;again");
  EXPECT_NE(en->FindString(1), nullptr);
}

TEST(LanguageTable, FontsAndUserMapping) {
  EXPECT_EQ(LanguageCharset(qlHebrew), 177);
  EXPECT_THROW(LanguageFaceName(qlHebrew), Exception);
  EXPECT_THROW(LanguageCharset(qlUser), Exception);
  EXPECT_THROW(LanguageCharset(static_cast<TQnlwLanguage>(17)), Exception);
  EXPECT_EQ(LanguageFromLangId(0x0807), qlGerman);  // only the primary language counts
  EXPECT_EQ(LanguageFromLangId(0x042A), qlVietnamese);
  EXPECT_EQ(LanguageFromLangId(0x0413), qlEnglish);  // Dutch: no texts
}

namespace {

// A component with two published texts and a GLID of its own.
class TCaptioned : public TComponent, public ITranslateGLID {
 public:
  using TComponent::TComponent;
  std::string Caption, Hint;
  int Glid = 0;
  int GLID() const override { return Glid; }
  void PublishProperties(TPropList& list) const override {
    TComponent::PublishProperties(list);
    list.push_back(StrProp<TCaptioned>(
        "Caption", [](TCaptioned* c) { return c->Caption; },
        [](TCaptioned* c, const std::string& v) { c->Caption = v; }));
    list.push_back(StrProp<TCaptioned>(
        "Hint", [](TCaptioned* c) { return c->Hint; },
        [](TCaptioned* c, const std::string& v) { c->Hint = v; }));
  }
};

class TranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLines(t.Language(qlEnglish), {"4;< Previous", "5;Next >", "6;Cancel", "20;Only English",
                                     "#30;", "Welcome to", "the setup", "#"});
    SetLines(t.Language(qlGerman), {"4;< Zurück", "5;Weiter >", "6;Abbrechen", "#30;",
                                    "Willkommen beim", "Setup", "#"});
    t.SetTranslateIntoLanguage(qlGerman);
  }
  TTranslator t{nullptr};
};

}  // namespace

TEST_F(TranslatorTest, StringsGoThroughTheirEnglishGLID) {
  EXPECT_EQ(t.TranslateString(qlEnglish, "Next >"), "Weiter >");
  EXPECT_EQ(t.TranslateString(qlEnglish, "next >"), "Weiter >");  // case-free match
  EXPECT_EQ(t.TranslateString(qlEnglish, "Unknown text"), "Unknown text");
  EXPECT_EQ(t.TranslateString(qlEnglish, "Only English"), "Only English");
  EXPECT_EQ(t.TranslateString(qlGerman, "Abbrechen"), "Abbrechen");  // into itself
  EXPECT_EQ(t.TranslateString(qlFrench, "Next >"), "Next >");        // no French texts
  EXPECT_EQ(t.TranslateGLID(6, "x"), "Abbrechen");
  EXPECT_EQ(t.TranslateGLID(99, "x"), "x");
  EXPECT_EQ(TranslateText("Cancel"), "Abbrechen");
  // The native user language is English, which has the texts.
  t.SetTranslateIntoLanguage(qlUser);
  EXPECT_EQ(t.TargetLanguage(), t.Language(qlEnglish));
  EXPECT_EQ(t.TranslateString(qlGerman, "Weiter >"), "Next >");
}

TEST_F(TranslatorTest, KitExceptionsAreTranslated) {
  EXPECT_EQ(IEInstall("Cancel").Message(), "Abbrechen");
  SetLines(t.Language(qlEnglish), {"40;Cannot find %s"});
  SetLines(t.Language(qlGerman), {"40;%s nicht gefunden"});
  EXPECT_EQ(IEInstallContainer("Cannot find %s", {"a.dll"}).Message(), "a.dll nicht gefunden");
}

TEST_F(TranslatorTest, MemosMatchOnTheirWholeText) {
  TStringList lines, result;
  lines.Add("Welcome to");
  lines.Add("the setup");
  t.TranslateMemo(qlEnglish, &lines, &result);
  EXPECT_EQ(result.Text(), "Willkommen beim\r\nSetup\r\n");
  lines.Add("more");
  t.TranslateMemo(qlEnglish, &lines, &result);
  EXPECT_EQ(result.Count(), 3);
  // In place.
  lines.Delete(2);
  t.TranslateMemo(qlEnglish, &lines, &lines);
  EXPECT_EQ(lines[0], "Willkommen beim");
}

TEST_F(TranslatorTest, ComponentTreesAndTheirLanguage) {
  TComponent page(nullptr);
  TCaptioned* byText = new TCaptioned(&page);
  byText->SetName("Cancel");  // Name is never translated
  byText->Caption = "Cancel";
  byText->Hint = "  ";
  TCaptioned* byGlid = new TCaptioned(byText);
  byGlid->Glid = 5;
  byGlid->Caption = "Something else";
  TCaptioned* glidZero = new TCaptioned(&page);
  glidZero->Caption = "< Previous";
  EXPECT_EQ(t.TranslateComponent(qlEnglish, &page), qlGerman);
  EXPECT_EQ(byText->Caption, "Abbrechen");
  EXPECT_EQ(byText->Name(), "Cancel");
  EXPECT_EQ(byText->Hint, "  ");
  EXPECT_EQ(byGlid->Caption, "Weiter >");
  EXPECT_EQ(glidZero->Caption, "< Zurück");

  // Back into English for one call; the target stays German afterwards.
  EXPECT_EQ(t.TranslateComponentInto(qlGerman, qlEnglish, &page), qlEnglish);
  EXPECT_EQ(byText->Caption, "Cancel");
  EXPECT_EQ(t.TranslateIntoLanguage(), qlGerman);

  // A target without texts leaves the tree in its language.
  EXPECT_EQ(t.TranslateComponentInto(qlEnglish, qlFrench, &page), qlEnglish);
  EXPECT_EQ(byText->Caption, "Cancel");
  EXPECT_EQ(t.TranslateComponent(qlEnglish, nullptr), qlEnglish);
}

TEST(TranslatorLifetime, FirstTranslatorIsCurrentUntilFreed) {
  EXPECT_EQ(CurrentTranslator(), nullptr);
  EXPECT_EQ(TranslateText("Cancel"), "Cancel");
  auto* first = new TTranslator(nullptr);
  {
    TTranslator second(nullptr);
    EXPECT_EQ(CurrentTranslator(), first);
  }
  EXPECT_EQ(CurrentTranslator(), first);
  int changes = 0;
  first->OnChangeLanguage = [&](TObject*) { ++changes; };
  first->SetTranslateIntoLanguage(qlCzech);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(first->LanguageByIdent(qlUser), nullptr);
  EXPECT_EQ(first->Language(qlVietnamese)->LanguageIdent(), qlVietnamese);
  EXPECT_EQ(first->Language(qlVietnamese)->FileName(), "qnliVietnamese.txt");
  // Published languages copy on assignment.
  TTranslator other(nullptr);
  SetLines(other.Language(qlCzech), {"1;Dalsi"});
  SetObjectProp(first, "lgCzech", other.Language(qlCzech));
  EXPECT_EQ(first->Language(qlCzech)->FindString(1)->Text, "Dalsi");
  EXPECT_EQ(first->Language(qlCzech)->Translator(), first);
  delete first;
  EXPECT_EQ(CurrentTranslator(), nullptr);
}
