// Command line of morvane-cli: every engine option a user may want, filled
// into the engine's option variables exactly as the application fills them.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

struct CliSettings {
  bool help = false;
  bool quiet = false;
  std::vector<std::string> positional;  // sources (oldest first), final, output
};

// Parses argv (without argv[0]) into the engine's option variables, which
// the caller has reset. Throws UsageError naming the option on bad input.
CliSettings ParseCommandLine(const std::vector<std::string>& args);

// The --help text, with every option and its default.
std::string UsageText();
