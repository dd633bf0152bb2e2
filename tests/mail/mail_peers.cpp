#include "mail_peers.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "test_support.h"

using namespace testsupport;

MailPeer::MailPeer(const std::string& name, const std::string& script, const std::vector<std::string>& args) {
  folder_ = Join(ScratchDir(), name);
  RemoveTree(folder_);
  MakeDirs(folder_);
  std::string scriptPath = ToUnixPath(Join(Join(Join(SourceDir(), "tests"), "mail"), script));
  std::string dir = ToUnixPath(folder_);
  std::string cmd = "/usr/bin/python3 '" + scriptPath + "' '" + dir + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " >'" + dir + "/peer.log' 2>&1 &";
  RunUnix("/bin/sh", {"-c", cmd});
  // A peer that cannot have its port says why in "failed" and ends.
  for (int i = 0; i < 30 * 50 && !FileExists(Join(folder_, "port")); ++i) {
    if (FileExists(Join(folder_, "failed"))) throw std::runtime_error("mail peer did not start: " + ReadFile("failed"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!FileExists(Join(folder_, "port"))) throw std::runtime_error("mail peer did not start: " + ReadFile("peer.log"));
  port_ = std::stoi(ReadFile("port"));
}

MailPeer::~MailPeer() {
  try {
    Stop();
  } catch (...) {
  }
}

bool MailPeer::WaitFor(const std::string& name, int seconds) const {
  for (int i = 0; i < seconds * 50; ++i) {
    if (FileExists(Join(folder_, name))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void MailPeer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  WriteFileText(Join(folder_, "stop"), "");
  for (int i = 0; i < 1000; ++i) {
    if (FileExists(Join(folder_, "stopped")) || FileExists(Join(folder_, "done"))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Still running after 20 s: end it by its process id.
  std::string pid = ReadFile("pid");
  if (!pid.empty()) RunUnix("/bin/kill", {std::to_string(std::stoi(pid))});
}

void MailPeer::WaitDone() { WaitFor("done", 40); }

std::string MailPeer::ReadFile(const std::string& name) const {
  std::string path = Join(folder_, name);
  if (!FileExists(path)) return "";
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::map<std::string, std::string> ParseStoredMessage(const MailPeer& server, int message, const std::string& outName) {
  std::string out = Join(ScratchDir(), outName);
  RemoveTree(out);
  MakeDirs(out);
  std::string log;
  int rc = RunUnix("/usr/bin/python3",
                   {ToUnixPath(Join(Join(Join(SourceDir(), "tests"), "mail"), "mail_check.py")),
                    ToUnixPath(Join(server.Folder(), "msg" + std::to_string(message) + ".eml")), ToUnixPath(out)},
                   &log);
  std::map<std::string, std::string> summary;
  if (rc != 0) {
    summary["error"] = log;
    return summary;
  }
  auto bytes = ReadFileBytes(Join(out, "summary"));
  std::string text(bytes.begin(), bytes.end());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    size_t eq = line.find('=');
    if (eq != std::string::npos) summary[line.substr(0, eq)] = line.substr(eq + 1);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return summary;
}
