// Typed text through every rule of the file dialog: no read outside the
// text, and names that come out of the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filedlgtext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string& name : filedlg::SplitTypedNames(text)) {
    if (name.size() > text.size()) std::abort();
    filedlg::HasForbiddenChars(name);
    filedlg::IsMask(name);
    filedlg::ApplyDefaultExt(name, "utp", [](const std::string& e) { return e.size() % 2 == 0; });
    std::string combined = filedlg::CombinePath("C:\\data\\sub", name);
    if (combined.rfind("C:\\", 0) == 0 && combined.find("\\..\\") != std::string::npos) std::abort();
  }
  filedlg::ParseFilter(text);
  return 0;
}
