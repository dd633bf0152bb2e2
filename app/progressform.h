// The progress window of a patch run: the file being analysed, the three
// Warp stages, the directory progress, the elapsed time and the patch's
// properties, with Pause/Resume and Cancel/Close.
#pragma once

#include <cstdint>
#include <vector>

#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"
#include "win/w95meter.h"

class TForm2 : public TForm {
 public:
  explicit TForm2(TComponent* AOwner);

  TGroupBox* group_FileProgress;
  TLabel *Label1, *Label2, *Label3;
  TW95Meter *progress_Warp1, *progress_Warp2, *progress_Warp3;
  TLabel *label_Progress1, *label_Progress2, *label_Progress3;
  TLabel* label_CurrentFilename;
  TLabel* label_DirProgress;
  TW95Meter* progress_Directory;
  TLabel* label_ProgressDir;
  TGroupBox* GroupBox1;
  TLabel* label_Elapsed;
  TGroupBox* GroupBox2;
  TLabel *label_PatchExecutable, *label_PatchMultipatch, *label_Patchsize;
  TButton *button_PauseContinue, *button_CancelClose;
  TTimer* timer_Patch;

  // One label per version of the file being patched. Kept for the whole
  // program and reused by every run.
  std::vector<TLabel*> VersionLabels;
  // The window the run hid; shown again when this one closes.
  TForm* MainWindow = nullptr;
  // The options page's group holding this window's position mode; the
  // place is stored from it whenever the window goes away.
  TRadioGroup* PositionGroup = nullptr;

  void FormShow(TObject* Sender);
  void timer_PatchTimer(TObject* Sender);
  void button_PauseContinueClick(TObject* Sender);
  void button_CancelCloseClick(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void EndOfPatchRun();
  void CancelPatchRun();
  // Elapsed time as shown, "hh:mm:ss" (hours not wrapped).
  static std::string ElapsedText(uint32_t milliseconds);
  uint32_t ElapsedMilliseconds() const;

  void KeyUp(WORD& key, TShiftState shift) override;
  void WndProc(TMessage& m) override;

 private:
  void ClosePath();
  uint32_t start_tick_ = 0;
  uint32_t accumulated_ = 0;
  bool restore_hooked_ = false;
  bool restore_pending_ = false;
};

extern TForm2* Form2;
