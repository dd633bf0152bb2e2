#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "options.h"
#include "patchfile.h"

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    out.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}

void EngineFatalError(const std::string& text) {
  // EndPatchRun closes the patch file and removes it together with every
  // other file the unfinished run was writing.
  EndPatchRun();
  throw EngineException(text);
}

namespace {

const char* Choose(const char* english, const char* german) { return GermanMessages && german ? german : english; }

// Messages stay below 3000 characters, whatever the arguments hold.
std::string Limit(std::string text) {
  if (text.size() >= 3000) text.resize(2999);
  return text;
}

}  // namespace

void EngineMessage(const char* english, const char* german, const char* arg1, const char* arg2) {
  EngineFatalError(Limit(FormatText(Choose(english, german), arg1 ? arg1 : "", arg2 ? arg2 : "")));
}

void EngineMessageNumber(const char* english, const char* german, uint64_t number, const char* arg2) {
  EngineFatalError(
      Limit(FormatText(Choose(english, german), static_cast<unsigned long long>(number), arg2 ? arg2 : "")));
}
