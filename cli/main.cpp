// morvane-cli: the console front end of the patch engine. It fills the
// engine's option variables from its command line, exactly as the windowed
// program fills them from its pages, and runs one patch.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli_options.h"
#include "dirsys.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "packer.h"
#include "patchfile.h"
#include "scan.h"

namespace {

// Whether the stream goes to a terminal (a console), where a user reads it
// as it comes. The Windows runtime counts the null device as a terminal.
bool ToTerminal(FILE* stream) {
#ifdef _WIN32
  DWORD mode;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// One live line on standard error, redrawn at most ten times a second.
struct Progress {
  bool enabled = false;
  std::string file;
  uint32_t done = 0, total = 0;
  int find = 0, optimise = 0, encode = 0;
  uint32_t version = 0, versions = 0;
  uint32_t patchSize = 0;
  std::chrono::steady_clock::time_point last;
  size_t width = 0;

  void Draw(bool force = false) {
    if (!enabled) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - last < std::chrono::milliseconds(100)) return;
    last = now;
    char numbers[160];
    unsigned pct = total ? static_cast<unsigned>(uint64_t(done) * 100 / total) : 0;
    std::snprintf(numbers, sizeof numbers, " %u%% of %.1f MiB | pair %u/%u find %d%% opt %d%% enc %d%% | patch %u bytes",
                  pct, total / 1048576.0, version, versions, find, optimise, encode, patchSize);
    std::string name = file;
    if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
    std::string line = name + numbers;
    size_t shown = line.size();
    if (shown < width) line.append(width - shown, ' ');
    width = shown;
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
  }
  void End() {
    if (enabled && width) std::fprintf(stderr, "\n");
    width = 0;
  }
};

Progress gProgress;

void OnFinder(int32_t p) { gProgress.find = p, gProgress.Draw(); }
void OnOptimise(int32_t p) { gProgress.optimise = p, gProgress.Draw(); }
void OnEncode(int32_t p) { gProgress.encode = p, gProgress.Draw(); }
void OnFile(uint32_t done, uint32_t total, const char* name) {
  gProgress.done = done;
  gProgress.total = total;
  gProgress.file = name ? name : "";
  gProgress.Draw(true);
}

class CliHost : public EngineHost {
 public:
  void NotifyVersionProgress(uint32_t i, uint32_t n) override {
    gProgress.version = i;
    gProgress.versions = n - 1;
    gProgress.find = gProgress.optimise = gProgress.encode = 0;
    gProgress.Draw();
  }
  void NotifyPatchSize(uint32_t bytes) override {
    gProgress.patchSize = bytes;
    gProgress.Draw();
  }
};

}  // namespace

int main(int argc, char** argv) {
  SetProgramDir(argv[0]);
  ResetEngineOptions();
  ResetPackerTable();

  // The runtime hands over names in the code page, with "?" for what it
  // lacks; such a name would open nothing, or in a tree be refused later.
  std::string lost;
  if (SysArgumentOutsideCodePage(lost)) {
    std::fprintf(stderr,
                 "morvane-cli: Error, \"%s\" holds characters outside the code page;\nthe program can't open it "
                 "by that name, please rename it.\n",
                 lost.c_str());
    return 1;
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  CliSettings settings;
  try {
    settings = ParseCommandLine(args);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "morvane-cli: %s\n(morvane-cli --help lists the options)\n", e.what());
    return 2;
  }
  if (settings.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }

  // Sources oldest first, then the final state, then the output name.
  for (size_t i = 0; i < settings.positional.size(); ++i) SourceList[i] = settings.positional[i];
  SourceCount = static_cast<uint32_t>(settings.positional.size());

  // Redirected output (to a file, a pipe or the null device) is written in
  // blocks: the engine says a line per skipped or embedded file, and the
  // Windows runtime writes each line to the null device on its own.
  if (!ToTerminal(stdout)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  gProgress.enabled = !settings.quiet && ToTerminal(stderr);
  if (gProgress.enabled) {
    FinderProgressHook = OnFinder;
    OptimizeProgressHook = OnOptimise;
    EncodeProgressHook = OnEncode;
    FileProgressHook = OnFile;
  }
  CliHost host;
  SetEngineHost(&host);

  AllocEngineBuffers();
  int rc = 0;
  try {
    ClampEngineNumericOptions();
    CreatePatch();
    gProgress.End();
  } catch (const std::exception& e) {
    gProgress.End();
    std::fflush(stdout);
    std::fprintf(stderr, "morvane-cli: %s\n", e.what());
    rc = 1;
  } catch (...) {
    gProgress.End();
    std::fflush(stdout);
    std::fprintf(stderr, "morvane-cli: the patch could not be made\n");
    rc = 1;
  }
  SetEngineHost(nullptr);
  FreeEngineBuffers();
  return rc;
}
