// Running the console front end the way a script runs it, and the data
// both cli suites feed it (header only: MORVANE_CLI_PATH is set per test).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace clitest {

struct Result {
  int rc = -1;
  std::string out;  // standard output and error together
};

#ifdef _WIN32
inline std::string CliWindowsPath() {
  std::string cli = "Z:" + std::string(MORVANE_CLI_PATH);
  for (char& c : cli)
    if (c == '/') c = '\\';
  return cli;
}

inline std::string Quote(const std::string& a) { return "\"" + a + "\""; }

inline Result RunCli(const std::vector<std::string>& args) {
  std::string cmdline = Quote(CliWindowsPath());
  for (const auto& a : args) cmdline += " " + Quote(a);
  Result r;
  r.rc = testsupport::RunWindows(cmdline, &r.out);
  return r;
}
#else
inline Result RunCli(const std::vector<std::string>& args) {
  Result r;
  r.rc = testsupport::RunUnix(MORVANE_CLI_PATH, args, &r.out);
  return r;
}
#endif

// Bytes of a few letters with a random one now and then: they compress, and
// two versions drawn from different seeds still look alike to the matcher.
inline std::vector<uint8_t> TextLikeBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() % 7 == 0 ? rng() : 'a' + rng() % 4);
  return v;
}

}  // namespace clitest
