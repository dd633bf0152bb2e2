#include "patchthread.h"

#include <windows.h>

#include <cstdlib>

#include "host.h"
#include "messages.h"
#include "options.h"
#include "packer.h"
#include "patchfile.h"
#include "progressform.h"
#include "win/forms.h"

PatchThread* RunningPatchThread = nullptr;
std::atomic<uint32_t> PatchRunFinished{0};
std::atomic<uint32_t> PatchRunFailed{0};
std::atomic<uint8_t> PatchRunPaused{0};
std::string SavedApplicationTitle;

namespace {

// Only the worker may stop at a pause/cancel point; the GUI thread calls
// some of these routines itself (the show handler reports size 0).
PatchThread* WorkerHere() {
  PatchThread* t = RunningPatchThread;
  return t && t->ThreadID() == GetCurrentThreadId() ? t : nullptr;
}

void CheckPoint() {
  if (PatchThread* t = WorkerHere()) t->PauseOrCancelPoint();
}

// Paints what a hand-over changed before the worker goes on. The worker can
// hand over again before the GUI thread's queue ever runs empty, and paint
// messages come only then; pumping messages here instead could run a Cancel
// click that waits for this very worker.
void PaintProgressWindow() {
  if (Form2 && Form2->HandleAllocated() && Form2->Visible())
    RedrawWindow(Form2->Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void StopPatchTimer() {
  if (Form2) Form2->timer_Patch->SetEnabled(false);
}

class ApplicationHost : public EngineHost {
 public:
  void NotifyPatchStart() override { NotifyPatchStartHandler(); }
  void NotifyVersionProgress(uint32_t i, uint32_t n) override { NotifyVersionProgressHandler(i, n); }
  void NotifyPatchSize(uint32_t bytes) override { NotifyPatchSizeHandler(bytes); }
  void RaiseStubMissing(const std::string& stubFileName) override { RaiseStubMissingHandler(stubFileName); }
  void ReportPackerNotFound(const std::string& nameOrPath, bool onPath) override {
    ReportPackerNotFoundHandler(nameOrPath, onPath);
  }
  bool RunAndWait(const std::string& commandLine, bool showWindow) override {
    return RunAndWaitHandler(commandLine, showWindow);
  }
};

ApplicationHost gHost;

void SetWarp(int stage, int32_t percent) {
  CheckPoint();
  if (PatchThread* t = RunningPatchThread) t->WarpPercent[stage] = percent;
  TThread::Synchronize([stage, percent] {
    if (!Form2) return;
    TW95Meter* meters[3] = {Form2->progress_Warp1, Form2->progress_Warp2, Form2->progress_Warp3};
    TLabel* labels[3] = {Form2->label_Progress1, Form2->label_Progress2, Form2->label_Progress3};
    meters[stage]->SetPercent(percent);
    labels[stage]->SetCaption(IntToStr(percent) + "%");
    PaintProgressWindow();
  });
}

}  // namespace

void PatchThread::PauseOrCancelPoint() {
  if (!CheckPoint()) throw EPatchRunCancelled("Patch run cancelled");
}

void PatchThread::Execute() {
  try {
    const int32_t warp[3] = {WarpPercent[0], WarpPercent[1], WarpPercent[2]};
    Synchronize([&warp] {
      if (!Form2) return;
      Form2->progress_Warp1->SetPercent(warp[0]);
      Form2->progress_Warp2->SetPercent(warp[1]);
      Form2->progress_Warp3->SetPercent(warp[2]);
      // The labels too, or a second run starts below its predecessor's 100%.
      Form2->label_Progress1->SetCaption(IntToStr(warp[0]) + "%");
      Form2->label_Progress2->SetCaption(IntToStr(warp[1]) + "%");
      Form2->label_Progress3->SetCaption(IntToStr(warp[2]) + "%");
    });
    ClampEngineNumericOptions();
    CreatePatch();
  } catch (const EPatchRunCancelled&) {
    // The user asked for it; there is nothing to report.
    PatchRunFailed = 1;
  } catch (const EPatchCreationEngineError& e) {
    try {
      Synchronize([&e] { Application->ShowException(e); });
    } catch (...) {
    }
    PatchRunFailed = 1;
  } catch (const std::exception& e) {
    Application->MessageBox(e.what(), "Error", MB_OK);
    PatchRunFailed = 1;
  } catch (...) {
    Application->MessageBox("Unknown exception occured", "Something unexpected happended", MB_OK);
    PatchRunFailed = 1;
  }
  PatchRunFinished = 1;
}

int32_t ProgressPercent(uint32_t done, uint32_t total) {
  if (total == 0) return 0;
  return static_cast<int32_t>(static_cast<uint64_t>(done) * 100 / total);
}

void InstallWarpProgressHooks() {
  FinderProgressHook = FinderProgressUpdate;
  OptimizeProgressHook = OptimizeProgressUpdate;
  EncodeProgressHook = EncodeProgressUpdate;
}

void FinderProgressUpdate(int32_t percent) { SetWarp(0, percent); }
void OptimizeProgressUpdate(int32_t percent) { SetWarp(1, percent); }
void EncodeProgressUpdate(int32_t percent) { SetWarp(2, percent); }

void FileProgressUpdate(uint32_t done, uint32_t total, const char* name) {
  CheckPoint();
  const int32_t percent = ProgressPercent(done, total);
  const std::string fileName = name ? name : "";
  if (PatchThread* t = RunningPatchThread) {
    t->DirectoryPercent = percent;
    t->FilesDone = done;
    t->FilesTotal = total;
    t->CurrentFileName = fileName;
  }
  TThread::Synchronize([percent, &fileName] {
    if (!Form2) return;
    const std::string text = IntToStr(percent) + "%";
    Form2->progress_Directory->SetPercent(percent);
    Form2->label_ProgressDir->SetCaption(text);
    Application->SetTitle(text);
    Form2->label_CurrentFilename->SetCaption("Currently analysed File: " + fileName);
    PaintProgressWindow();
  });
}

void NotifyPatchStartHandler() {
  CheckPoint();
  TThread::Synchronize([] {
    SavedApplicationTitle = Application->Title();
    if (!Form2) return;
    Form2->Show();
    PaintProgressWindow();
  });
}

void NotifyPatchSizeHandler(uint32_t bytes) {
  CheckPoint();
  if (PatchThread* t = RunningPatchThread) t->PatchSize = bytes;
  TThread::Synchronize([bytes] {
    if (!Form2) return;
    Form2->label_Patchsize->SetCaption("Patchsize : " + IntToStr(bytes));
    PaintProgressWindow();
  });
}

void NotifyVersionProgressHandler(uint32_t index, uint32_t count) {
  CheckPoint();
  if (PatchThread* t = RunningPatchThread) {
    t->VersionIndex = index;
    t->VersionCount = count;
  }
  TThread::Synchronize([index, count] {
    if (!Form2) return;
    std::vector<TLabel*>& labels = Form2->VersionLabels;
    for (uint32_t k = 0; k < labels.size(); ++k) {
      TLabel* label = labels[k];
      if (k >= count || k >= static_cast<uint32_t>(kMaxVersions)) {
        label->Hide();
        continue;
      }
      label->SetCaption(VersionSlots ? ExtractFileName(VersionSlots[k].fullPath) : std::string());
      // The pair being diffed in black, the other versions in white.
      const bool current = k == index || k + 1 == index;
      label->Font().SetColor(current ? TColor(0) : TColor(0xFFFFFF));
      label->Show();
    }
    PaintProgressWindow();
  });
}

void ResetWarpProgress() {
  FinderProgressUpdate(0);
  OptimizeProgressUpdate(0);
  EncodeProgressUpdate(0);
}

void RaiseStubMissingHandler(const std::string& stubFileName) {
  const std::string text = "Error, can't find \"" + stubFileName +
                           "\" in directory of the calling Quillmake, though it's required to build executeable "
                           "patchfiles";
  if (PatchThread* t = RunningPatchThread) t->ErrorText = text;
  TThread::Synchronize([&text] {
    StopPatchTimer();
    throw EPatchCreationEngineError(text);
  });
  // Synchronize re-raises; reaching here means no GUI thread took it.
  throw EPatchCreationEngineError(text);
}

void ReportPackerNotFoundHandler(const std::string& nameOrPath, bool onPath) {
  TThread::Synchronize([] { StopPatchTimer(); });
  std::string text;
  if (onPath) {
    const char* path = std::getenv("PATH");
    text = "Cannot find external packer program \"" + nameOrPath + "\" in current path, which is:\n\n" +
           "------------------ cut ------------------\n" + (path ? path : "") +
           "\n------------------ cut ------------------\n\n" +
           "Please correct settings for this packer or update your path settings and reboot.";
  } else {
    text = "Cannot find packer executable at \"" + nameOrPath + "\", you'll need to correct that setting.";
  }
  EngineFatalError(text);
}

bool RunAndWaitHandler(const std::string& commandLine, bool showWindow) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = showWindow ? SW_SHOWNORMAL : SW_HIDE;
  PROCESS_INFORMATION pi = {};
  std::string line = commandLine;  // CreateProcess may write into it
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  // An archiver may run for minutes. A cancel must not wait for it: the
  // worker looks for one between short waits, ends the archiver and leaves
  // as from any other cancel point (the packer removes what it left).
  PatchThread* worker = WorkerHere();
  DWORD result;
  while ((result = WaitForSingleObject(pi.hProcess, worker ? 50 : INFINITE)) == WAIT_TIMEOUT) {
    if (!worker->Terminated()) continue;
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    throw EPatchRunCancelled("Patch run cancelled");
  }
  // An archiver that fails may still leave a file of the archive's name,
  // a partial one; only its exit code tells.
  DWORD exitCode = 0;
  const bool ended = result == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &exitCode);
  CloseHandle(pi.hProcess);
  if (ended && exitCode != 0) ReportArchiverFailed(commandLine, exitCode);
  return result == WAIT_OBJECT_0;
}

bool RunPatchThreadAndWait(TForm* mainWindow) {
  if (Form2) Form2->MainWindow = mainWindow;
  if (mainWindow) mainWindow->Hide();
  Application->ProcessMessages();
  PatchRunFinished = 0;
  PatchRunFailed = 0;
  PatchRunPaused = 0;
  // A run can fail before it announces its start; the close path must not
  // then put an older title back.
  SavedApplicationTitle = Application->Title();
  EngineHost* previousHost = SetEngineHost(&gHost);
  PatchThread* thread = new PatchThread;
  RunningPatchThread = thread;
  thread->Start();
  // A cancel confirmed in a message sent from elsewhere sets the flags
  // while the loop looks at its queue; it must not then sleep on.
  const auto ended = [] { return PatchRunFinished || PatchRunFailed; };
  while (!ended()) Application->HandleMessage(ended);
  // A cancel has joined and freed the worker already; otherwise it has left
  // Execute and only needs joining, so the engine's state is ours again.
  if (RunningPatchThread) {
    RunningPatchThread->WaitFor();
    delete RunningPatchThread;
    RunningPatchThread = nullptr;
  }
  SetEngineHost(previousHost);
  const bool ok = !PatchRunFailed;
  if (Form2) Form2->EndOfPatchRun();
  PatchRunFailed = 0;
  return ok;
}
