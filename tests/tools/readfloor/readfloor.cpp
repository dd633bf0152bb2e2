// Reads every file below the given folders once, the way a directory run
// must at the least, and prints how long the listing and the reading took.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: readfloor THREADS FOLDER...\n");
    return 2;
  }
  const int threads = std::max(1, std::atoi(argv[1]));
  const double start = Seconds();
  std::vector<std::string> files;
  for (int k = 2; k < argc; ++k) testsupport::ListFiles(argv[k], std::string(argv[k]) + "\\", files);
  const double listed = Seconds();
  std::atomic<size_t> next(0);
  std::atomic<unsigned long long> bytes(0), failed(0);
  auto read = [&]() {
    std::vector<char> buffer(1 << 16);
    for (size_t i; (i = next.fetch_add(1)) < files.size();) {
      HANDLE f = CreateFileA(files[i].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      if (f == INVALID_HANDLE_VALUE) {
        ++failed;
        continue;
      }
      LARGE_INTEGER size;
      FILETIME written;
      GetFileSizeEx(f, &size);
      GetFileTime(f, nullptr, nullptr, &written);
      DWORD got = 0;
      while (ReadFile(f, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) bytes += got;
      CloseHandle(f);
    }
  };
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) helpers.emplace_back(read);
  read();
  for (std::thread& t : helpers) t.join();
  const double done = Seconds();
  std::printf("%zu files, %llu bytes, %llu unreadable; listing %.3f s, reading on %d threads %.3f s, total %.3f s\n",
              files.size(), bytes.load(), failed.load(), listed - start, threads, done - listed, done - start);
  return 0;
}
