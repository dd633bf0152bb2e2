// The translator's windowed half: language fonts, hiding controls while
// their texts change, and the item lists of the standard controls.
#include "win/controls.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/graphics.h"
#include "win/listview.h"
#include "win/stdctrls.h"

#include "translator_sys.h"

TFont* CreateLanguageFont() { return new TFont(); }
void DestroyLanguageFont(TFont* font) { delete font; }
void AssignLanguageFont(TFont* dest, TFont* source) { dest->Assign(*source); }
TObject* LanguageFontObject(TFont* font) { return font; }

void BeginControlTranslation(TComponent* component, TControlTranslationState& state) {
  TControl* control = dynamic_cast<TControl*>(component);
  if (control == nullptr) return;
  state.isControl = true;
  state.visible = control->Visible();
  if (dynamic_cast<TForm*>(control) == nullptr && dynamic_cast<TImage*>(control) == nullptr)
    control->SetVisible(false);
  if (TCustomLabel* label = dynamic_cast<TCustomLabel*>(control)) {
    state.isLabel = true;
    state.autoSize = label->AutoSize();
    label->SetAutoSize(false);
  }
}

void EndControlTranslation(TComponent* component, const TControlTranslationState& state) {
  if (!state.isControl) return;
  TControl* control = static_cast<TControl*>(component);
  if (state.isLabel) static_cast<TCustomLabel*>(control)->SetAutoSize(state.autoSize);
  if (control->Visible() != state.visible) control->SetVisible(state.visible);
  if (TWinControl* windowed = dynamic_cast<TWinControl*>(control)) windowed->AlignControls();
}

namespace {

void TranslateItems(const TTranslator* translator, TQnlwLanguage from, TStrings& items) {
  for (int i = 0; i < items.Count(); ++i) {
    const std::string value = items[i];
    const std::string translated = translator->TranslateString(from, value);
    if (translated != value) items.Put(i, translated);
  }
}

}  // namespace

void TranslateControlLists(const TTranslator* translator, TQnlwLanguage from,
                           TComponent* component) {
  if (TMemo* memo = dynamic_cast<TMemo*>(component)) {
    translator->TranslateMemo(from, &memo->Lines(), &memo->Lines());
  } else if (TListBox* list = dynamic_cast<TListBox*>(component)) {
    TranslateItems(translator, from, list->Items());
  } else if (TComboBox* combo = dynamic_cast<TComboBox*>(component)) {
    TranslateItems(translator, from, combo->Items());
  } else if (TRadioGroup* group = dynamic_cast<TRadioGroup*>(component)) {
    TranslateItems(translator, from, group->Items());
  } else if (TCustomListView* view = dynamic_cast<TCustomListView*>(component)) {
    for (int i = 0; i < view->Columns().Count(); ++i) {
      TListColumn* column = view->Columns()[i];
      const std::string translated = translator->TranslateString(from, column->Caption());
      if (translated != column->Caption()) column->SetCaption(translated);
    }
  }
}

bool IsFormComponent(TComponent* component) { return dynamic_cast<TForm*>(component) != nullptr; }

// ---- fonts ----

namespace {

void ApplyLanguageFont(TLanguage* language, TControl* control) {
  TFont& font = control->Font();
  if (language->FontOverride() && language->Font() != nullptr) {
    font.Assign(*language->Font());
  } else {
    // A language without a font of its own (Hebrew) is shown in the
    // default language's font rather than refusing to show the page.
    TQnlwLanguage ident = language->LanguageIdent();
    std::string face;
    try {
      face = LanguageFaceName(ident);
    } catch (const Exception&) {
      ident = qlEnglish;
      face = LanguageFaceName(ident);
    }
    font.SetCharset(LanguageCharset(ident));
    font.SetName(face);
    if (font.Size() < LanguageMinFontSize(ident)) font.SetSize(LanguageMinFontSize(ident));
  }
  if (TWinControl* windowed = dynamic_cast<TWinControl*>(control))
    for (int i = 0; i < windowed->ControlCount(); ++i)
      ApplyLanguageFont(language, windowed->Controls(i));
}

}  // namespace

void TTranslator::TranslateFont(TControl* control, bool force) {
  if (control == nullptr) return;
  TLanguage* language = TargetLanguage();
  if (language == nullptr) return;
  if (language->Strings()->Count() == 0 && !force) language = LanguageByIdent(qlEnglish);
  ApplyLanguageFont(language, control);
}

void TTranslator::TranslateFontInto(TQnlwLanguage into, TControl* control, bool force) {
  TemporaryTarget target(this, into);
  TranslateFont(control, force);
}

// ---- the current translator and forms ----

TQnlwLanguage TranslateForm(TQnlwLanguage from, TForm* form) {
  TTranslator* t = CurrentTranslator();
  return t ? t->TranslateComponent(from, form) : from;
}

TQnlwLanguage TranslateFormInto(TQnlwLanguage from, TQnlwLanguage into, TForm* form) {
  TTranslator* t = CurrentTranslator();
  return t ? t->TranslateComponentInto(from, into, form) : from;
}

void TranslateFormFont(TForm* form, bool force) {
  if (TTranslator* t = CurrentTranslator()) t->TranslateFont(form, force);
}

void TranslateFormFontInto(TQnlwLanguage into, TForm* form, bool force) {
  if (TTranslator* t = CurrentTranslator()) t->TranslateFontInto(into, form, force);
}

bool GetControlText(TComponent* component, const std::string& name, std::string& value) {
  TControl* control = dynamic_cast<TControl*>(component);
  if (control == nullptr) return false;
  if (name == "Caption") {
    value = control->Caption();
    return true;
  }
  if (name == "Hint") {
    value = control->Hint();
    return true;
  }
  return false;
}

void SetControlText(TComponent* component, const std::string& name, const std::string& value) {
  TControl* control = dynamic_cast<TControl*>(component);
  if (control == nullptr) return;
  if (name == "Caption")
    control->SetCaption(value);
  else if (name == "Hint")
    control->SetHint(value);
}
