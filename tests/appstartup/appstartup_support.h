// Registry, recorder and window helpers of the start-up tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace appstartup {

const char kMainKey[] = "Software\\Dorn Aldwick Software\\Morvane\\1.9";
const char kTitle[] = "Morvane Tapmend 1.9 (check http://www.morvane.example/updates/ for updates!)";

void SetDword(const std::string& key, const std::string& name, DWORD value);
void SetString(const std::string& key, const std::string& name, const std::string& value);
void DeleteTree(const std::string& key);
// A DWORD as reg.exe reports it; -1 when reg.exe does not list it.
long long RegQueryDword(const std::string& key, const std::string& name);

// The recording stand-in browser, chosen as the custom browser both in the
// registry (for the program) and in the settings variables (in process).
class BrowserRecorder {
 public:
  BrowserRecorder();
  // Waits until 'count' starts are recorded (or a time-out) and returns
  // every recorded line so far.
  std::vector<std::string> Wait(size_t count);
  const std::string& Program() const { return program_; }

 private:
  std::string program_, record_;
};

bool EndsWith(const std::string& s, const std::string& tail);

}  // namespace appstartup
