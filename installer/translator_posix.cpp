// Natively there are no windows and no fonts: only texts are translated,
// and the user's language is English.
#include "translator_sys.h"

TFont* CreateLanguageFont() { return nullptr; }
void DestroyLanguageFont(TFont*) {}
void AssignLanguageFont(TFont*, TFont*) {}
TObject* LanguageFontObject(TFont*) { return nullptr; }

unsigned UserDefaultLangId() { return 0x0409; }

bool LocaleSameText(const std::string& a, const std::string& b) { return SameText(a, b); }

void BeginControlTranslation(TComponent*, TControlTranslationState&) {}
void EndControlTranslation(TComponent*, const TControlTranslationState&) {}
void TranslateControlLists(const TTranslator*, TQnlwLanguage, TComponent*) {}
bool IsFormComponent(TComponent*) { return false; }
bool GetControlText(TComponent*, const std::string&, std::string&) { return false; }
void SetControlText(TComponent*, const std::string&, const std::string&) {}
