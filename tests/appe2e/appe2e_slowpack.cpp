// Test-only archiver that takes its time, as a large archive would: called
// with the archive and the patch file as its last two arguments, it starts
// the archive, keeps a work file of its own beside it, and only after 12 s
// completes the archive and removes the work file. Its process id goes to
// the file named by APPE2E_SLOWPACK_MARK, so a test knows when it runs and
// can tell whether it was ended.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string archive = argv[argc - 2], patch = argv[argc - 1];
  const size_t cut = archive.find_last_of("\\/");
  const std::string work = (cut == std::string::npos ? std::string() : archive.substr(0, cut + 1)) + "zi0815ab";
  FILE* a = std::fopen(archive.c_str(), "wb");
  FILE* w = std::fopen(work.c_str(), "wb");
  if (!a || !w) return 2;
  std::fputs("PK\x03\x04 partial", a);
  std::fputs("work in progress", w);
  std::fflush(a);
  std::fflush(w);
  char mark[MAX_PATH] = "";
  if (GetEnvironmentVariableA("APPE2E_SLOWPACK_MARK", mark, sizeof mark)) {
    FILE* m = std::fopen(mark, "wb");
    if (m) {
      std::fprintf(m, "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
      std::fclose(m);
    }
  }
  Sleep(12000);
  FILE* p = std::fopen(patch.c_str(), "rb");
  char buf[4096];
  for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) std::fwrite(buf, 1, n, a);
  if (p) std::fclose(p);
  std::fclose(a);
  std::fclose(w);
  DeleteFileA(work.c_str());
  return 0;
}
