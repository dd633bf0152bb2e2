// The worker thread of a patch run and everything the engine calls in the
// application while it runs: notifications, progress hooks and the program
// start for external packers. Window work is handed to the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "sysutils.h"
#include "win/appthread.h"

class TForm;

// A file needed for executable patches is missing beside the program.
MORVANE_EXCEPTION(EPatchCreationEngineError, Exception);
// Raised on the worker at a pause/cancel point once the run is cancelled;
// it unwinds the engine through its normal end-of-run clean-up.
MORVANE_EXCEPTION(EPatchRunCancelled, Exception);

class PatchThread : public TThread {
 public:
  int32_t WarpPercent[3] = {0, 0, 0};
  int32_t DirectoryPercent = 0;
  uint32_t PatchSize = 0;
  uint32_t VersionIndex = 0;
  uint32_t VersionCount = 0;
  uint32_t FilesDone = 0;
  uint32_t FilesTotal = 0;
  std::string CurrentFileName;
  std::string ErrorText;

  // Blocks while the run is paused; raises EPatchRunCancelled once it has
  // been cancelled. Does nothing on any thread but this worker.
  void PauseOrCancelPoint();

 protected:
  void Execute() override;
};

// The running worker, or null. Owned by the GUI thread, which joins it.
extern PatchThread* RunningPatchThread;

// 1 when the worker has left Execute or the run was cancelled.
extern std::atomic<uint32_t> PatchRunFinished;
// 1 when an error or a cancel ended the run.
extern std::atomic<uint32_t> PatchRunFailed;
extern std::atomic<uint8_t> PatchRunPaused;
// The application title before the run put its percentage there.
extern std::string SavedApplicationTitle;

// Starts a run of the engine options as they are: hides mainWindow, runs
// the worker while handling messages until the run ends, joins it and puts
// the progress window into its end state. True when the run succeeded.
bool RunPatchThreadAndWait(TForm* mainWindow);

// Points the three Warp hooks of the engine at the progress window.
void InstallWarpProgressHooks();

// Hook targets.
void FinderProgressUpdate(int32_t percent);
void OptimizeProgressUpdate(int32_t percent);
void EncodeProgressUpdate(int32_t percent);
void FileProgressUpdate(uint32_t done, uint32_t total, const char* name);
// Percent of done in total, 0 for an empty total; exact for any 32-bit
// counts.
int32_t ProgressPercent(uint32_t done, uint32_t total);

// The engine's calls into the application (installed as its host for the
// duration of a run).
void NotifyPatchStartHandler();
void NotifyPatchSizeHandler(uint32_t bytes);
void NotifyVersionProgressHandler(uint32_t index, uint32_t count);
void ResetWarpProgress();
[[noreturn]] void RaiseStubMissingHandler(const std::string& stubFileName);
[[noreturn]] void ReportPackerNotFoundHandler(const std::string& nameOrPath, bool onPath);
bool RunAndWaitHandler(const std::string& commandLine, bool showWindow);
