// gifbench FILE [RUNS]: the median wall time of a full read of FILE, in
// seconds, on one line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gifimage.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gifbench FILE [RUNS]\n");
    return 2;
  }
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  TMemoryStream file;
  try {
    file.LoadFromFile(argv[1]);
  } catch (const Exception& e) {
    std::fprintf(stderr, "gifbench: %s\n", e.Message().c_str());
    return 1;
  }
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    file.SetPosition(0);
    TGIFImage image;
    auto start = std::chrono::steady_clock::now();
    try {
      image.LoadFromStream(&file);
    } catch (const Exception& e) {
      std::fprintf(stderr, "gifbench: %s: %s\n", argv[1], e.Message().c_str());
      return 1;
    }
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%.4f\n", times[times.size() / 2]);
  return 0;
}
