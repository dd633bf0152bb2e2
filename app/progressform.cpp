#include "progressform.h"

#include <windows.h>

#include <cstdio>

#include "options.h"
#include "patchfile.h"
#include "patchthread.h"
#include "settings.h"

TForm2* Form2 = nullptr;

namespace {

template <class T>
T* Place(TForm2* form, TWinControl* parent, const char* name, int left, int top, int width, int height) {
  T* c = new T(form);
  c->SetName(name);
  c->SetBounds(left, top, width, height);
  c->SetParent(parent);
  return c;
}

TLabel* MakeLabel(TForm2* form, TWinControl* parent, const char* name, int left, int top, const std::string& caption) {
  TLabel* label = Place<TLabel>(form, parent, name, left, top, 0, 0);
  label->SetCaption(caption);
  return label;
}

TW95Meter* MakeMeter(TForm2* form, TWinControl* parent, const char* name, int left, int top, int width) {
  TW95Meter* meter = Place<TW95Meter>(form, parent, name, left, top, width, 18);
  meter->SetSegmentWidth(10);
  meter->SetSegmentGap(1);
  return meter;
}

// Layout values the rest of the window is arranged around.
const int kGroupLeft = 8, kGroupTop = 8, kGroupWidth = 480;
const int kSideLeft = 496, kSideWidth = 200;
const int kClientWidth = kSideLeft + kSideWidth + 8;

}  // namespace

TForm2::TForm2(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form2");
  SetCaption("Patch Creation in Progress");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  KeyPreview = true;
  SetClientSize(kClientWidth, 300);

  group_FileProgress = Place<TGroupBox>(this, this, "group_FileProgress", kGroupLeft, kGroupTop, kGroupWidth, 155);
  group_FileProgress->SetCaption("File Representation in Progress");
  Label1 = MakeLabel(this, group_FileProgress, "Label1", 16, 26, "Warp 1:");
  Label2 = MakeLabel(this, group_FileProgress, "Label2", 16, 50, "Warp 2:");
  Label3 = MakeLabel(this, group_FileProgress, "Label3", 16, 74, "Warp 3:");
  progress_Warp1 = MakeMeter(this, group_FileProgress, "progress_Warp1", 70, 24, 348);
  progress_Warp2 = MakeMeter(this, group_FileProgress, "progress_Warp2", 70, 48, 348);
  progress_Warp3 = MakeMeter(this, group_FileProgress, "progress_Warp3", 70, 72, 348);
  label_Progress1 = MakeLabel(this, group_FileProgress, "label_Progress1", 426, 26, "0%");
  label_Progress2 = MakeLabel(this, group_FileProgress, "label_Progress2", 426, 50, "0%");
  label_Progress3 = MakeLabel(this, group_FileProgress, "label_Progress3", 426, 74, "0%");
  // A fixed box: long names are cut at the group's edge instead of
  // spilling over it.
  label_CurrentFilename = Place<TLabel>(this, group_FileProgress, "label_CurrentFilename", 16, 100, 0, 0);
  label_CurrentFilename->SetAutoSize(false);
  label_CurrentFilename->SetBounds(16, 100, kGroupWidth - 24, 16);
  label_CurrentFilename->SetCaption("Currently analysed File:");

  label_DirProgress = MakeLabel(this, this, "label_DirProgress", 16, 180, "Overall Directory Representation Progress:");
  progress_Directory = MakeMeter(this, this, "progress_Directory", 16, 200, 415);
  label_ProgressDir = MakeLabel(this, this, "label_ProgressDir", 440, 209, "0%");

  GroupBox1 = Place<TGroupBox>(this, this, "GroupBox1", kSideLeft, kGroupTop, kSideWidth, 50);
  GroupBox1->SetCaption(" Time elapsed for Patch Creation ");
  label_Elapsed = MakeLabel(this, GroupBox1, "label_Elapsed", 16, 24, "00:00:00");
  GroupBox2 = Place<TGroupBox>(this, this, "GroupBox2", kSideLeft, kGroupTop + 58, kSideWidth, 90);
  GroupBox2->SetCaption(" Patch Properties ");
  label_PatchExecutable = MakeLabel(this, GroupBox2, "label_PatchExecutable", 12, 22, "Executable:");
  label_PatchMultipatch = MakeLabel(this, GroupBox2, "label_PatchMultipatch", 12, 42, "Multipatch:");
  label_Patchsize = MakeLabel(this, GroupBox2, "label_Patchsize", 12, 62, "Patchsize : 0");

  button_PauseContinue = Place<TButton>(this, this, "button_PauseContinue", kSideLeft + kSideWidth - 160, 180, 75, 25);
  button_PauseContinue->SetCaption("Pause");
  button_PauseContinue->OnClick = [this](TObject* s) { button_PauseContinueClick(s); };
  button_CancelClose = Place<TButton>(this, this, "button_CancelClose", kSideLeft + kSideWidth - 75, 180, 75, 25);
  button_CancelClose->SetCaption("&Cancel");
  button_CancelClose->OnClick = [this](TObject* s) { button_CancelCloseClick(s); };

  timer_Patch = new TTimer(this);
  timer_Patch->SetName("timer_Patch");
  timer_Patch->SetEnabled(false);
  timer_Patch->SetInterval(100);
  timer_Patch->OnTimer = [this](TObject* s) { timer_PatchTimer(s); };

  OnShow = [this](TObject* s) { FormShow(s); };
  // The window is only ever hidden, never closed: a run's end, a cancel and
  // a failed run all take it away through the hide.
  OnHide = [this](TObject*) {
    if (PositionGroup) StoreClosingWindowPosition(this, PositionGroup->ItemIndex());
  };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };

  FileProgressHook = FileProgressUpdate;
  RestoreWindowPosition(this, Left(), Top());
}

uint32_t TForm2::ElapsedMilliseconds() const { return GetTickCount() - start_tick_ + accumulated_; }

std::string TForm2::ElapsedText(uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(ms / 3600000),
                static_cast<unsigned>(ms / 60000 % 60), static_cast<unsigned>(ms / 1000 % 60));
  return text;
}

void TForm2::FormShow(TObject*) {
  start_tick_ = GetTickCount();
  accumulated_ = 0;
  timer_Patch->SetEnabled(true);
  progress_Directory->SetPercent(0);
  label_ProgressDir->SetCaption("0%");
  label_Elapsed->SetCaption("00:00:00");

  label_PatchExecutable->SetCaption(std::string("Executable: ") + (PatchType > 0 ? "Yes." : "No."));
  label_PatchMultipatch->SetCaption(std::string("Multipatch: ") + (SourceCount > 3 ? "Yes." : "No."));

  // Labels of an earlier run are reused; only this run's states show.
  const size_t states = SourceCount > 1 ? SourceCount - 1 : 0;
  while (VersionLabels.size() < states) {
    const int k = static_cast<int>(VersionLabels.size());
    TLabel* label = Place<TLabel>(this, group_FileProgress, "", 20, 125 + 20 * k, 0, 0);
    VersionLabels.push_back(label);
  }
  for (size_t k = 0; k < VersionLabels.size(); ++k) {
    VersionLabels[k]->SetCaption("");
    VersionLabels[k]->SetVisible(k < states);
  }
  group_FileProgress->SetHeight(115 + 20 * static_cast<int>(SourceCount));

  const int y = group_FileProgress->Top() + group_FileProgress->Height() + 15;
  button_CancelClose->SetCaption("&Cancel");
  button_CancelClose->SetDefault(false);
  button_PauseContinue->SetCaption("Pause");
  button_PauseContinue->SetEnabled(true);
  button_PauseContinue->SetDefault(true);
  const int buttonTop = DirectoryMode ? y + 60 : y;
  button_PauseContinue->SetTop(buttonTop);
  button_CancelClose->SetTop(buttonTop);
  SetClientHeight(buttonTop + 35);
  label_DirProgress->SetTop(y);
  progress_Directory->SetTop(y + 20);
  label_ProgressDir->SetTop(y + 29);
  label_DirProgress->SetVisible(DirectoryMode != 0);
  progress_Directory->SetVisible(DirectoryMode != 0);
  label_ProgressDir->SetVisible(DirectoryMode != 0);

  label_CurrentFilename->SetCaption("Currently analysed File:");
  NotifyPatchSizeHandler(0);
}

void TForm2::timer_PatchTimer(TObject*) {
  if (PatchRunPaused || PatchRunFinished) return;
  label_Elapsed->SetCaption(ElapsedText(ElapsedMilliseconds()));
}

void TForm2::button_PauseContinueClick(TObject*) {
  if (PatchRunPaused) {
    if (RunningPatchThread) RunningPatchThread->SetPaused(false);
    start_tick_ = GetTickCount();
    timer_Patch->SetEnabled(true);
  } else if (!PatchRunFinished) {
    timer_Patch->SetEnabled(false);
    // The worker stops at its next pause point, never inside the heap or
    // a file call as a suspended thread could.
    if (RunningPatchThread) RunningPatchThread->SetPaused(true);
    accumulated_ += GetTickCount() - start_tick_;
  }
  PatchRunPaused = PatchRunPaused ? 0 : 1;
  button_PauseContinue->SetCaption(PatchRunPaused ? "Resume" : "Pause");
}

void TForm2::button_CancelCloseClick(TObject* Sender) {
  bool can = false;
  FormCloseQuery(Sender, can);
}

void TForm2::ClosePath() {
  Hide();
  Application->SetTitle(SavedApplicationTitle);
  if (MainWindow && MainWindow != this) MainWindow->Show();
}

void TForm2::FormCloseQuery(TObject*, bool& CanClose) {
  CanClose = false;
  if (PatchRunFinished) {
    ClosePath();
    return;
  }
  bool pausedHere = false;
  if (!PatchRunPaused) {
    button_PauseContinueClick(this);
    pausedHere = true;
  }
  if (Application->MessageBox("Are you sure to cancel current patching process?", "Cancel patching process?",
                              MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES) {
    // The run is stopped before the window goes: hiding it may take a
    // moment, and the engine should not go on writing meanwhile.
    CancelPatchRun();
    ClosePath();
  }
  if (pausedHere) button_PauseContinueClick(this);
}

void TForm2::CancelPatchRun() {
  if (PatchRunFinished) {
    PatchRunFailed = 1;
    return;
  }
  // The worker unwinds from its next pause/cancel point through the
  // engine's own clean-up, which removes the unfinished output; joining it
  // here means nothing of the run is left running when this returns.
  if (PatchThread* t = RunningPatchThread) {
    t->Terminate();
    t->WaitFor();
    delete t;
    RunningPatchThread = nullptr;
  }
  EndPatchRun();
  PatchRunFailed = 1;
  PatchRunFinished = 1;
}

void TForm2::EndOfPatchRun() {
  timer_Patch->SetEnabled(false);
  button_CancelClose->SetCaption("&Close");
  button_CancelClose->SetDefault(true);
  button_PauseContinue->SetEnabled(false);
  button_PauseContinue->SetDefault(false);
  if (PatchRunFailed) ClosePath();
}

void TForm2::KeyUp(WORD& key, TShiftState shift) {
  if (key == VK_F1) Application->ContextHelp(this);
  TForm::KeyUp(key, shift);
}

void TForm2::WndProc(TMessage& m) {
  if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_MINIMIZE) {
    // The whole program goes to the taskbar; its restore brings this window
    // back once and then hands the restore event back.
    Application->Minimize();
    restore_pending_ = true;
    if (!restore_hooked_) {
      // Chained once in front of whatever restore handler the program has,
      // instead of swapping handlers from inside the handler being run.
      restore_hooked_ = true;
      TNotifyEvent previous = Application->OnRestore;
      Application->OnRestore = [this, previous](TObject* sender) {
        if (restore_pending_) {
          restore_pending_ = false;
          SetWindowState(wsNormal);
        }
        if (previous) previous(sender);
      };
    }
    m.Result = 0;
    return;
  }
  TForm::WndProc(m);
}
