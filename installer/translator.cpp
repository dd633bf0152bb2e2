#include "translator.h"

#include "translator_sys.h"

namespace {

TTranslator* gCurrentTranslator = nullptr;

std::vector<std::string> LinesOf(const TStrings* strings) {
  std::vector<std::string> lines;
  lines.reserve(strings->Count());
  for (int i = 0; i < strings->Count(); ++i) lines.push_back(strings->Get(i));
  return lines;
}

// A text property of a component: published, or held by a control.
bool GetText(TComponent* component, const std::string& name, std::string& value) {
  const TPropInfo* p = GetPropInfo(component, name);
  if (p == nullptr) return GetControlText(component, name, value);
  if (p->Kind != pkString || !p->GetStr) return false;
  value = p->GetStr(component);
  return true;
}

void SetText(TComponent* component, const std::string& name, const std::string& value) {
  const TPropInfo* p = GetPropInfo(component, name);
  if (p == nullptr)
    SetControlText(component, name, value);
  else if (p->Kind == pkString && p->SetStr)
    p->SetStr(component, value);
}

void TranslateProperty(const TTranslator* translator, TQnlwLanguage from, TComponent* component,
                   const std::string& name) {
  std::string value;
  if (!GetText(component, name, value) || Trim(value).empty()) return;
  const std::string translated = translator->TranslateString(from, value);
  if (translated != value) SetText(component, name, translated);
}

}  // namespace

// ---- TLangFormatStrings ----

void TLangFormatStrings::Reparse() {
  if (fLanguage) fLanguage->Parse();
}

// Runs a change with parsing suspended and parses once afterwards; the
// suspension ends also when the change fails.
template <class F>
void TLangFormatStrings::Batch(F&& change) {
  bool enabled = fLanguage ? fLanguage->fParseEnabled : false;
  if (fLanguage) fLanguage->fParseEnabled = false;
  try {
    change();
  } catch (...) {
    if (fLanguage) fLanguage->fParseEnabled = enabled;
    throw;
  }
  if (fLanguage) fLanguage->fParseEnabled = enabled;
  Reparse();
}

int TLangFormatStrings::Add(const std::string& s) {
  int index = TStringList::Add(s);
  Reparse();
  return index;
}

int TLangFormatStrings::AddObject(const std::string& s, TObject* obj) {
  int index = TStringList::AddObject(s, obj);
  Reparse();
  return index;
}

void TLangFormatStrings::AddStrings(TStrings* strings) {
  Batch([&] { TStringList::AddStrings(strings); });
}

void TLangFormatStrings::Clear() {
  TStringList::Clear();
  Reparse();
}

void TLangFormatStrings::Insert(int index, const std::string& s) {
  TStringList::Insert(index, s);
  Reparse();
}

void TLangFormatStrings::InsertObject(int index, const std::string& s, TObject* obj) {
  TStringList::InsertObject(index, s, obj);
  Reparse();
}

void TLangFormatStrings::Move(int curIndex, int newIndex) {
  Batch([&] { TStringList::Move(curIndex, newIndex); });
}

void TLangFormatStrings::LoadFromStream(TStream* stream) {
  Batch([&] { TStringList::LoadFromStream(stream); });
}

void TLangFormatStrings::LoadFromFile(const std::string& fileName) {
  Batch([&] { TStringList::LoadFromFile(fileName); });
}

void TLangFormatStrings::Assign(TPersistent* source) {
  Batch([&] { TStringList::Assign(source); });
}

void TLangFormatStrings::Delete(int index) {
  TStringList::Delete(index);
  if (fLanguage == nullptr) return;
  for (auto& s : fLanguage->fElements.Strings)
    if (s->Line > index) --s->Line;
}

// ---- TLanguage ----

TLanguage::TLanguage(TTranslator* translator, TQnlwLanguage ident)
    : fTranslator(translator), fIdent(ident), fStrings(this) {
  fFont = CreateLanguageFont();
}

TLanguage::~TLanguage() { DestroyLanguageFont(fFont); }

void TLanguage::SetFont(TFont* value) {
  if (value && fFont) AssignLanguageFont(fFont, value);
}

void TLanguage::SetStrings(TStrings* value) { fStrings.Assign(value); }

void TLanguage::Parse() {
  if (!fParseEnabled) return;
  ParseLanguageLines(LinesOf(&fStrings), this, fElements);
}

TLanguageString* TLanguage::FindString(int glid) const {
  for (auto& s : fElements.Strings)
    if (s->GLID == glid) return s.get();
  return nullptr;
}

TLanguageString* TLanguage::FindString(const std::string& text) const {
  for (auto& s : fElements.Strings)
    if (LocaleSameText(s->Text, text)) return s.get();
  return nullptr;
}

TLanguageMemo* TLanguage::FindMemo(int glid) const {
  for (auto& m : fElements.Memos)
    if (m->GLID == glid) return m.get();
  return nullptr;
}

TLanguageMemo* TLanguage::FindMemo(const TStrings* lines) const {
  // Joined the same way on both sides: a control's own lists (an edit
  // control's text) may end their Text differently.
  TStringList given;
  for (int i = 0; i < lines->Count(); ++i) given.Add(lines->Get(i));
  const std::string text = given.Text();
  for (auto& m : fElements.Memos) {
    TStringList memoLines;
    for (const std::string& l : m->Lines) memoLines.Add(l);
    if (memoLines.Text() == text) return m.get();
  }
  return nullptr;
}

void TLanguage::Assign(TPersistent* source) {
  TLanguage* other = dynamic_cast<TLanguage*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetFont(other->fFont);
  fFontOverride = other->fFontOverride;
  SetStrings(&other->fStrings);
}

void TLanguage::PublishProperties(TPropList& list) const {
  TPersistent::PublishProperties(list);
  list.push_back(
      ObjProp<TLanguage>("Font", [](TLanguage* l) { return LanguageFontObject(l->Font()); }));
  list.push_back(BoolProp<TLanguage>("FontOverride", &TLanguage::FontOverride,
                                     &TLanguage::SetFontOverride));
  list.push_back(ObjProp<TLanguage>("Strings", [](TLanguage* l) { return l->Strings(); }));
}

// ---- TTranslator ----

TTranslator::TTranslator(TComponent* owner) : TComponent(owner) {
  for (int i = 0; i < QnlwLanguageCount; ++i)
    if (i != qlUser) fLanguages.push_back(new TLanguage(this, static_cast<TQnlwLanguage>(i)));
  if (gCurrentTranslator == nullptr) gCurrentTranslator = this;
}

TTranslator::~TTranslator() {
  if (gCurrentTranslator == this) gCurrentTranslator = nullptr;
  for (TLanguage* l : fLanguages) delete l;
}

void TTranslator::SetLanguage(TQnlwLanguage ident, TLanguage* value) {
  if (TLanguage* l = LanguageByIdent(ident)) l->Assign(value);
}

void TTranslator::SetTranslateIntoLanguage(TQnlwLanguage value) {
  fTranslateInto = value;
  if (OnChangeLanguage) OnChangeLanguage(this);
}

TLanguage* TTranslator::LanguageByIdent(TQnlwLanguage ident) const {
  for (TLanguage* l : fLanguages)
    if (l->LanguageIdent() == ident) return l;
  return nullptr;
}

TLanguage* TTranslator::UserLanguage() const {
  try {
    return LanguageByIdent(LanguageFromLangId(UserDefaultLangId()));
  } catch (...) {
    return nullptr;
  }
}

TLanguage* TTranslator::TargetLanguage() const {
  return fTranslateInto == qlUser ? UserLanguage() : LanguageByIdent(fTranslateInto);
}

std::string TTranslator::TranslateString(TQnlwLanguage from, const std::string& text) const {
  TLanguage* source = from == qlUser ? UserLanguage() : LanguageByIdent(from);
  if (source == nullptr) return text;
  TLanguageString* element = source->FindString(text);
  if (element == nullptr) return text;
  TLanguage* target = TargetLanguage();
  if (target == nullptr) return text;
  TLanguageString* translated = target->FindString(element->GLID);
  return translated ? translated->Text : text;
}

std::string TTranslator::TranslateGLID(int glid, const std::string& text) const {
  TLanguage* target = TargetLanguage();
  if (target == nullptr) return text;
  TLanguageString* translated = target->FindString(glid);
  return translated ? translated->Text : text;
}

void TTranslator::TranslateMemo(TQnlwLanguage from, const TStrings* lines,
                                TStrings* result) const {
  std::vector<std::string> out = LinesOf(lines);
  TLanguage* source = from == qlUser ? UserLanguage() : LanguageByIdent(from);
  TLanguage* target = TargetLanguage();
  if (source && target) {
    if (TLanguageMemo* memo = source->FindMemo(lines))
      if (TLanguageMemo* translated = target->FindMemo(memo->GLID)) out = translated->Lines;
  }
  // The result may be the very list being translated.
  result->BeginUpdate();
  result->Clear();
  for (const std::string& l : out) result->Add(l);
  result->EndUpdate();
}

TQnlwLanguage TTranslator::TranslateComponent(TQnlwLanguage from, TComponent* component) {
  if (component == nullptr) return from;
  TControlTranslationState state;
  BeginControlTranslation(component, state);
  TQnlwLanguage result = from;
  try {
    const ITranslateGLID* byGLID = dynamic_cast<const ITranslateGLID*>(component);
    if (byGLID && byGLID->GLID() > 0) {
      std::string caption;
      if (GetText(component, "Caption", caption))
        SetText(component, "Caption", TranslateGLID(byGLID->GLID(), caption));
    } else {
      for (const TPropInfo& p : GetPropList(component)) {
        if (p.Kind != pkString || !p.GetStr || !p.SetStr || SameText(p.Name, "Name")) continue;
        TranslateProperty(this, from, component, p.Name);
      }
      for (const char* name : {"Caption", "Hint"})
        if (GetPropInfo(component, name) == nullptr) TranslateProperty(this, from, component, name);
      TranslateControlLists(this, from, component);
    }
    for (int i = 0; i < component->ComponentCount(); ++i) {
      TComponent* child = component->Components(i);
      if (!IsFormComponent(child)) TranslateComponent(from, child);
    }
    TLanguage* target = TargetLanguage();
    result = target == nullptr || target->Strings()->Count() == 0 ? from : fTranslateInto;
  } catch (...) {
    EndControlTranslation(component, state);
    throw;
  }
  EndControlTranslation(component, state);
  return result;
}

TQnlwLanguage TTranslator::TranslateComponentInto(TQnlwLanguage from, TQnlwLanguage into,
                                                  TComponent* component) {
  TemporaryTarget target(this, into);
  return TranslateComponent(from, component);
}

void TTranslator::PublishProperties(TPropList& list) const {
  TComponent::PublishProperties(list);
  static const char* const kNames[QnlwLanguageCount] = {
      "lgChineseSimplified", "lgCzech",    "lgDanish",    "lgEnglish",   "lgFrench",
      "lgGerman",            "lgGreek",    "lgHebrew",    "lgItalian",   "lgJapanese",
      "lgKorean",            "lgPolish",   "lgPortugese", "lgRussian",   "lgSpanish",
      nullptr,               "lgVietnamese"};
  std::vector<std::string> enumNames = {
      "qlChineseSimplified", "qlCzech",  "qlDanish",  "qlEnglish", "qlFrench",   "qlGerman",
      "qlGreek",             "qlHebrew", "qlItalian", "qlJapanese", "qlKorean",  "qlPolish",
      "qlPortugese",         "qlRussian", "qlSpanish", "qlUser",    "qlVietnamese"};
  for (int i = 0; i < QnlwLanguageCount; ++i) {
    if (kNames[i] == nullptr) continue;
    const TQnlwLanguage ident = static_cast<TQnlwLanguage>(i);
    list.push_back(ObjProp<TTranslator, TLanguage>(
        kNames[i], [ident](TTranslator* t) { return t->Language(ident); },
        [ident](TTranslator* t, TLanguage* l) { t->SetLanguage(ident, l); }));
  }
  list.push_back(EnumProp<TTranslator>("TranslateIntoLanguage", enumNames,
                                       &TTranslator::TranslateIntoLanguage,
                                       &TTranslator::SetTranslateIntoLanguage));
}

TTranslator* CurrentTranslator() { return gCurrentTranslator; }

std::string TranslateText(const std::string& text) {
  TTranslator* t = CurrentTranslator();
  return t ? t->TranslateString(qlEnglish, text) : text;
}
