// Language text files are edited by translators by hand; any bytes must parse
// or raise the parser's own exception, never crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classes.h"
#include "sysutils.h"
#include "translator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTranslator translator(nullptr);
  TLanguage* lang = translator.Language(qlEnglish);
  TStringList text;
  text.SetText(std::string(reinterpret_cast<const char*>(data), size));
  try {
    lang->SetStrings(&text);
    for (const auto& s : lang->StringElements()) (void)translator.TranslateGLID(s->GLID, "x");
  } catch (const Exception&) {
  }
  return 0;
}
