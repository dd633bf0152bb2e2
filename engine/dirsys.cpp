// Platform-independent parts of the system layer.
#include "dirsys.h"

namespace {

template <class Text>
std::vector<Text> SplitCommandLine(const Text& commandLine) {
  std::vector<Text> args;
  size_t i = 0;
  const size_t n = commandLine.size();
  for (;;) {
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= n) break;
    Text arg;
    bool quoted = false;
    while (i < n) {
      const typename Text::value_type c = commandLine[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t slashes = 0;
        while (i < n && commandLine[i] == '\\') ++slashes, ++i;
        if (i < n && commandLine[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
        continue;
      }
      if (c == '"') {
        // Two quotes in a row inside a quoted part stand for one quote.
        if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace

std::vector<std::string> SysSplitCommandLine(const std::string& commandLine) { return SplitCommandLine(commandLine); }

std::vector<std::wstring> SysSplitCommandLineWide(const std::wstring& commandLine) {
  return SplitCommandLine(commandLine);
}
