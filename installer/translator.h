// Run-time translation of the installer's texts, memos and fonts.  English
// is the reference: a text is translated by finding it among the English
// texts and taking the text with the same identifier (GLID) in the target
// language.
#pragma once

#include <string>
#include <vector>

#include "classes.h"
#include "languages.h"

class TFont;
class TControl;
class TForm;
class TLanguage;
class TTranslator;

// The text of one language.  Every change re-parses the language, so its
// elements always match its lines.
class TLangFormatStrings : public TStringList {
 public:
  explicit TLangFormatStrings(TLanguage* language) : fLanguage(language) {}
  TLanguage* Language() const { return fLanguage; }

  int Add(const std::string& s) override;
  int AddObject(const std::string& s, TObject* obj) override;
  void AddStrings(TStrings* strings) override;
  void Clear() override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* obj) override;
  void Move(int curIndex, int newIndex) override;
  void LoadFromStream(TStream* stream) override;
  void LoadFromFile(const std::string& fileName) override;
  void Assign(TPersistent* source) override;
  // Does not re-parse: the string elements after the line move up by one.
  void Delete(int index) override;

 private:
  void Reparse();
  template <class F>
  void Batch(F&& change);
  TLanguage* fLanguage;
};

class TLanguage : public TPersistent {
 public:
  TLanguage(TTranslator* translator, TQnlwLanguage ident);
  ~TLanguage() override;

  TTranslator* Translator() const { return fTranslator; }
  TQnlwLanguage LanguageIdent() const { return fIdent; }
  std::string Identifier() const { return QnlwLanguageInfo(fIdent).Ident; }
  std::string FileName() const { return QnlwLanguageInfo(fIdent).FileName; }

  // The language's own font; none where the platform has no fonts.
  TFont* Font() const { return fFont; }
  void SetFont(TFont* value);  // copies
  bool FontOverride() const { return fFontOverride; }
  void SetFontOverride(bool value) { fFontOverride = value; }
  TLangFormatStrings* Strings() { return &fStrings; }
  void SetStrings(TStrings* value);  // copies

  bool ParseEnabled() const { return fParseEnabled; }
  void SetParseEnabled(bool value) { fParseEnabled = value; }
  // Rebuilds the elements from Strings (when parsing is enabled).
  void Parse();

  const std::vector<std::unique_ptr<TLanguageString>>& StringElements() const {
    return fElements.Strings;
  }
  const std::vector<std::unique_ptr<TLanguageMemo>>& MemoElements() const {
    return fElements.Memos;
  }
  TLanguageString* FindString(int glid) const;
  // Compared as the user's locale compares without case.
  TLanguageString* FindString(const std::string& text) const;
  TLanguageMemo* FindMemo(int glid) const;
  TLanguageMemo* FindMemo(const TStrings* lines) const;

  void Assign(TPersistent* source) override;
  void PublishProperties(TPropList& list) const override;

 private:
  friend class TLangFormatStrings;
  TTranslator* fTranslator;
  TQnlwLanguage fIdent;
  TFont* fFont = nullptr;
  bool fFontOverride = false;
  bool fParseEnabled = true;
  TLangFormatStrings fStrings;
  TLanguageElements fElements;
};

// Implemented by controls that carry their text identifier themselves.
class ITranslateGLID {
 public:
  virtual ~ITranslateGLID() = default;
  virtual int GLID() const = 0;
};

class TTranslator : public TComponent {
 public:
  explicit TTranslator(TComponent* owner);
  ~TTranslator() override;

  // The language object of a language; none for qlUser.
  TLanguage* Language(TQnlwLanguage ident) const { return LanguageByIdent(ident); }
  // Copies the given language into this translator's one.
  void SetLanguage(TQnlwLanguage ident, TLanguage* value);

  TQnlwLanguage TranslateIntoLanguage() const { return fTranslateInto; }
  void SetTranslateIntoLanguage(TQnlwLanguage value);
  TNotifyEvent OnChangeLanguage;

  TLanguage* LanguageByIdent(TQnlwLanguage ident) const;
  TLanguage* UserLanguage() const;
  TLanguage* TargetLanguage() const;

  std::string TranslateString(TQnlwLanguage from, const std::string& text) const;
  std::string TranslateGLID(int glid, const std::string& text) const;
  void TranslateMemo(TQnlwLanguage from, const TStrings* lines, TStrings* result) const;
  TQnlwLanguage TranslateComponent(TQnlwLanguage from, TComponent* component);
  TQnlwLanguage TranslateComponentInto(TQnlwLanguage from, TQnlwLanguage into,
                                       TComponent* component);
  // Windows only: fonts belong to windowed controls.
  void TranslateFont(TControl* control, bool force);
  void TranslateFontInto(TQnlwLanguage into, TControl* control, bool force);

  void PublishProperties(TPropList& list) const override;

 private:
  // Sets the target language for one call and restores it afterwards
  // without raising the change notification.
  class TemporaryTarget {
   public:
    TemporaryTarget(TTranslator* t, TQnlwLanguage into) : t_(t), saved_(t->fTranslateInto) {
      t_->fTranslateInto = into;
    }
    ~TemporaryTarget() { t_->fTranslateInto = saved_; }

   private:
    TTranslator* t_;
    TQnlwLanguage saved_;
  };
  std::vector<TLanguage*> fLanguages;  // owned, in the order of the table
  TQnlwLanguage fTranslateInto = qlUser;
};

// The first translator created, until it is destroyed; nil when none.
TTranslator* CurrentTranslator();

// These use the current translator and do nothing (or return their input)
// without one.
std::string TranslateText(const std::string& text);
TQnlwLanguage TranslateForm(TQnlwLanguage from, TForm* form);
TQnlwLanguage TranslateFormInto(TQnlwLanguage from, TQnlwLanguage into, TForm* form);
void TranslateFormFont(TForm* form, bool force);
void TranslateFormFontInto(TQnlwLanguage into, TForm* form, bool force);
