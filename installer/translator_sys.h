// Platform half of the translator: fonts, the user's locale, and what it
// takes to translate a windowed control.
#pragma once

#include <string>

#include "translator.h"

TFont* CreateLanguageFont();
void DestroyLanguageFont(TFont* font);
void AssignLanguageFont(TFont* dest, TFont* source);
TObject* LanguageFontObject(TFont* font);

// The system's user default language identifier; raises when unknown.
unsigned UserDefaultLangId();
bool LocaleSameText(const std::string& a, const std::string& b);

// What a control looked like before its translation started.
struct TControlTranslationState {
  bool isControl = false;
  bool visible = false;
  bool isLabel = false;
  bool autoSize = false;
};
// Hides the control while its texts change (labels also stop sizing).
void BeginControlTranslation(TComponent* component, TControlTranslationState& state);
void EndControlTranslation(TComponent* component, const TControlTranslationState& state);
// Memo lines, list view columns, list box, combo box and radio group items.
void TranslateControlLists(const TTranslator* translator, TQnlwLanguage from,
                           TComponent* component);
bool IsFormComponent(TComponent* component);
// Texts that a control holds without publishing them ("Caption", "Hint");
// false when the component has no such text.
bool GetControlText(TComponent* component, const std::string& name, std::string& value);
void SetControlText(TComponent* component, const std::string& name, const std::string& value);
