#include <windows.h>

#include "translator_sys.h"

unsigned UserDefaultLangId() { return GetUserDefaultLangID(); }

bool LocaleSameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Until the windowed classes are joined in, languages carry no font and
// controls are translated through their properties alone.
TFont* CreateLanguageFont() { return nullptr; }
void DestroyLanguageFont(TFont*) {}
void AssignLanguageFont(TFont*, TFont*) {}
TObject* LanguageFontObject(TFont*) { return nullptr; }
void BeginControlTranslation(TComponent*, TControlTranslationState&) {}
void EndControlTranslation(TComponent*, const TControlTranslationState&) {}
void TranslateControlLists(const TTranslator*, TQnlwLanguage, TComponent*) {}
bool IsFormComponent(TComponent*) { return false; }
bool GetControlText(TComponent*, const std::string&, std::string&) { return false; }
void SetControlText(TComponent*, const std::string&, const std::string&) {}
