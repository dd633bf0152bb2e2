// The entry point of Morvane32: brings the application up, prepares the
// patch engine, creates the permanent windows where the user left them and
// runs the message loop; the engine's buffers are freed however it ends.
#include <windows.h>

#include "emailform.h"
#include "helphook.h"
#include "mainform.h"
#include "options.h"
#include "patchfile.h"
#include "progressform.h"
#include "settings.h"
#include "win/forms.h"

namespace {

const char kTitle[] = "Morvane Tapmend 1.9 (check http://www.morvane.example/updates/ for updates!)";

// Hints stay up long enough to read the longer ones.
const int kHintHidePause = 100000;

void StartUp() {
  InitSettingsUnit();
  Application->Initialize();
  Application->SetTitle(kTitle);
  // The splash window (Tform_Splash) is not built yet, so no splash is shown.

  // The engine's buffers serve every run of this process.
  AllocEngineBuffers();
  ResetEngineOptions();

  Application->CreateForm(Form1);
  Application->CreateForm(Form2);
  Application->CreateForm(Form4);
  // The help window (Tform_Help) is not built yet, so it is not created.

  ConvertHintLineBreaks(Application);

  // The options page shows each window's storage mode from the start,
  // before the user ever opens it.
  Form1->rdgrp_OptionMainWindowPos->SetItemIndex(RestoreWindowPosition(Form1, 70, 40));
  Form1->rdgrp_OptionPatchWindowPos->SetItemIndex(RestoreWindowPosition(Form2, 50, 50));
  Form1->rdgrp_OptionEmailSendWindowPos->SetItemIndex(RestoreWindowPosition(Form4, 300, 300));
  Form4->PositionGroup = Form1->rdgrp_OptionEmailSendWindowPos;

  Application->HintHidePause = kHintHidePause;
  // Any name will do: with one the library passes F1 on to the help hook.
  Application->HelpFile = "dummy";
  InstallHelpHook();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    StartUp();
    Application->Run();
  } catch (...) {
    Application->HandleException(Application);
  }
  // Settings were saved by the main window as it closed.
  FreeEngineBuffers();
  return 0;
}
