// Test-only archiver standing in for zip.exe: writes each argument it got,
// one "[...]" line apiece, to the file named by APPE2E_RECPACK_LOG. Given a
// ".zip" argument it makes that archive from its last argument and ends
// with 0, unless the file named by APPE2E_RECPACK_FAIL exists: then it
// leaves a 10-byte partial archive and ends with the number in that file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Env(const char* name) {
  char buf[MAX_PATH] = "";
  return GetEnvironmentVariableA(name, buf, sizeof buf) ? buf : "";
}

}  // namespace

int main(int argc, char** argv) {
  if (FILE* log = std::fopen(Env("APPE2E_RECPACK_LOG").c_str(), "ab")) {
    for (int i = 1; i < argc; ++i) std::fprintf(log, "[%s]\n", argv[i]);
    std::fprintf(log, "--\n");
    std::fclose(log);
  }
  std::string archive;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.size() > 4 && a.compare(a.size() - 4, 4, ".zip") == 0) archive = a;
  }
  if (archive.empty() || argc < 2) return 2;
  int failWith = 0;
  if (FILE* f = std::fopen(Env("APPE2E_RECPACK_FAIL").c_str(), "rb")) {
    if (std::fscanf(f, "%d", &failWith) != 1) failWith = 1;
    std::fclose(f);
  }
  FILE* a = std::fopen(archive.c_str(), "wb");
  if (!a) return 3;
  if (failWith) {
    std::fputs("PK\x03\x04partl", a);
    std::fclose(a);
    return failWith;
  }
  FILE* p = std::fopen(argv[argc - 1], "rb");
  char buf[4096];
  for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) std::fwrite(buf, 1, n, a);
  if (p) std::fclose(p);
  std::fclose(a);
  return p ? 0 : 4;
}
