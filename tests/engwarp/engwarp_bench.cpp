// engwarp_bench OLD NEW [RUNS]
// Makes a plain patch OLD -> NEW RUNS times through the whole engine, checks
// it with the test applier, and prints the patch size and the median time.
// --in-new-file lets copies come from earlier in the new file.
// With --bounds-check it also compares the finder's records with the walk
// bounds switched off (slow on degenerate input).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "applier.h"
#include "engwarp_support.h"
#include "options.h"
#include "patchfile.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> Read(const char* path) {
  std::vector<uint8_t> v;
  FILE* f = std::fopen(path, "rb");
  if (!f) return v;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) v.insert(v.end(), chunk, chunk + n);
  std::fclose(f);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  bool boundsCheck = false, deflate = false, inNewFile = false;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bounds-check") == 0)
      boundsCheck = true;
    else if (std::strcmp(argv[i], "--deflate") == 0)
      deflate = true;
    else if (std::strcmp(argv[i], "--in-new-file") == 0)
      inNewFile = true;
    else if (std::strcmp(argv[i], "--cap") == 0 && i + 1 < argc)
      FinderCandidateCap = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (std::strcmp(argv[i], "--budget") == 0 && i + 1 < argc)
      FinderWorkBudget = std::strtoull(argv[++i], nullptr, 10);
    else
      args.push_back(argv[i]);
  }
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: engwarp_bench [--bounds-check] OLD NEW OUTBASE [RUNS]\n");
    return 2;
  }
  int runs = args.size() > 3 ? std::atoi(args[3]) : 3;
  std::vector<uint8_t> oldData = Read(args[0]), newData = Read(args[1]);
  std::vector<double> times;
  size_t size = 0;
  for (int r = 0; r < runs; ++r) {
    ResetEngineForTest();
    ForcePatch = 1;
    CompressPatchfile = deflate ? 1 : 0;
    MatchInNewFile = inNewFile ? 1 : 0;
    SourceList[0] = args[0];
    SourceList[1] = args[1];
    SourceList[2] = args[2];
    SourceCount = 3;
    auto start = std::chrono::steady_clock::now();
    CreatePatch();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::vector<uint8_t> patch = Read((std::string(args[2]) + ".utp").c_str());
    size = patch.size();
    std::vector<uint8_t> out;
    std::string error;
    if (!testapply::ApplyFilePatch(patch, oldData, &out, &error) || out != newData) {
      std::fprintf(stderr, "apply failed: %s\n", error.c_str());
      return 1;
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("RESULT engine size %zu time %.3f\n", size, times[times.size() / 2]);
  const VersionRecord& v = VersionRecords[1];
  std::printf("streams A %u B1 %u B2 %u D %u E %u\n", v.lengthA, v.lengthB1, v.lengthB2, v.lengthD, v.lengthE);

  if (boundsCheck) {
    ResetEngineForTest();
    std::printf("cap %u, budget %llu\n", FinderCandidateCap, static_cast<unsigned long long>(FinderWorkBudget));
    EncodedPair bounded, unbounded;
    EncodePair(oldData, newData, &bounded);
    std::printf("bounded: %zu records, bound hits %u\n", bounded.records.size(), bounded.boundHits);
    FinderCandidateCap = UINT32_MAX;
    FinderWorkBudget = UINT64_MAX;
    auto start = std::chrono::steady_clock::now();
    EncodePair(oldData, newData, &unbounded);
    double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bool same = bounded.records.size() == unbounded.records.size() &&
                std::equal(bounded.records.begin(), bounded.records.end(), unbounded.records.begin(),
                           [](const PatchRecord& a, const PatchRecord& b) {
                             return a.length == b.length && a.offset == b.offset;
                           }) &&
                bounded.a == unbounded.a && bounded.d == unbounded.d && bounded.e == unbounded.e &&
                bounded.b1 == unbounded.b1 && bounded.b2 == unbounded.b2;
    std::printf("unbounded: %zu records in %.2f s; streams %s\n", unbounded.records.size(), t,
                same ? "identical" : "DIFFERENT");
  }
  return 0;
}
