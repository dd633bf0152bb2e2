// What the engine asks of the program that runs it. The console front end,
// the application and tests each install their own EngineHost; with none
// installed the engine uses the defaults below and stays silent.
#pragma once

#include <cstdint>
#include <string>

class EngineHost {
 public:
  virtual ~EngineHost() = default;
  // Once the run's mode (files or directories) is known.
  virtual void NotifyPatchStart() {}
  // Before the pair (version i-1 -> version i) of a file with n versions.
  virtual void NotifyVersionProgress(uint32_t i, uint32_t n) {}
  // After each file entry and after an executable patch is assembled.
  virtual void NotifyPatchSize(uint32_t bytes) {}
  // The applier stub beside the program cannot be opened; must raise.
  virtual void RaiseStubMissing(const std::string& stubFileName);
  // The external packer cannot be found; must end the run
  // (EngineFatalError). onPath: the name was searched on PATH.
  virtual void ReportPackerNotFound(const std::string& nameOrPath, bool onPath);
  // Runs a command line and waits for it; false when it could not start.
  virtual bool RunAndWait(const std::string& commandLine, bool showWindow);
};

// Installs the host (null: the defaults); returns the previous one.
EngineHost* SetEngineHost(EngineHost* host);

void NotifyPatchStart();
void NotifyVersionProgress(uint32_t i, uint32_t n);
void NotifyPatchSize(uint32_t bytes);
[[noreturn]] void RaiseStubMissing(const std::string& stubFileName);
[[noreturn]] void ReportPackerNotFound(const std::string& nameOrPath, bool onPath);
bool RunAndWait(const std::string& commandLine, bool showWindow);
