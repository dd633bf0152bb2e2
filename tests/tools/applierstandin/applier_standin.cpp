// Test-only stand-in for a patch applier: it applies nothing.  It appends
// its name and each argument it was given, one per line, to the file that
// MORVANE_APPLIER_LOG names, so a test can see how the shell started it
// (for instance through the patch file type's commands).  Exit code 0.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const char* log = std::getenv("MORVANE_APPLIER_LOG");
  if (!log || !*log) return 0;
  if (FILE* f = std::fopen(log, "ab")) {
    std::fprintf(f, "run %s %d\n", MORVANE_STANDIN_NAME, argc - 1);
    for (int i = 1; i < argc; ++i) std::fprintf(f, "arg %s\n", argv[i]);
    std::fclose(f);
  }
  return 0;
}
