#include "host.h"

#include <cstdlib>

#include "dirsys.h"
#include "messages.h"
#include "packer.h"

namespace {

EngineHost gDefaultHost;
EngineHost* gHost = &gDefaultHost;

}  // namespace

void EngineHost::RaiseStubMissing(const std::string& stubFileName) {
  throw EngineException("Error, can't find \"" + stubFileName +
                        "\" in the directory of the program, though it's required to build executeable patchfiles");
}

void EngineHost::ReportPackerNotFound(const std::string& nameOrPath, bool onPath) {
  if (onPath) {
    const char* path = std::getenv("PATH");
    EngineFatalError("Cannot find external packer program \"" + nameOrPath + "\" in current path, which is:\n\n" +
                     "------------------ cut ------------------\n" + (path ? path : "") +
                     "\n------------------ cut ------------------\n\n" +
                     "Please correct settings for this packer or update your path settings and reboot.");
  }
  EngineFatalError("Cannot find packer executable at \"" + nameOrPath + "\", you'll need to correct that setting.");
}

bool EngineHost::RunAndWait(const std::string& commandLine, bool showWindow) {
  // An archiver that fails may still leave a partial archive of the right
  // name; only its exit code tells.
  unsigned long exitCode = 0;
  const bool ran = SysRunAndWait(commandLine, !showWindow, &exitCode);
  if (ran && exitCode != 0) ReportArchiverFailed(commandLine, exitCode);
  return ran;
}

EngineHost* SetEngineHost(EngineHost* host) {
  EngineHost* previous = gHost == &gDefaultHost ? nullptr : gHost;
  gHost = host ? host : &gDefaultHost;
  return previous;
}

void NotifyPatchStart() { gHost->NotifyPatchStart(); }
void NotifyVersionProgress(uint32_t i, uint32_t n) { gHost->NotifyVersionProgress(i, n); }
void NotifyPatchSize(uint32_t bytes) { gHost->NotifyPatchSize(bytes); }

void RaiseStubMissing(const std::string& stubFileName) {
  gHost->RaiseStubMissing(stubFileName);
  // A host that returns has not ended the run; do it here.
  EngineFatalError("Error, can't find \"" + stubFileName + "\"");
}

void ReportPackerNotFound(const std::string& nameOrPath, bool onPath) {
  gHost->ReportPackerNotFound(nameOrPath, onPath);
  EngineFatalError("Cannot find packer \"" + nameOrPath + "\"");
}

bool RunAndWait(const std::string& commandLine, bool showWindow) {
  return gHost->RunAndWait(commandLine, showWindow);
}
