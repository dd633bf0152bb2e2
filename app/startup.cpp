#include "startup.h"

#include "emailform.h"
#include "helpform.h"
#include "helphook.h"
#include "mainform.h"
#include "options.h"
#include "patchfile.h"
#include "progressform.h"
#include "settings.h"
#include "splash.h"
#include "win/forms.h"

const char* const kProgramTitle = "Morvane Tapmend 1.9 (check http://www.morvane.example/updates/ for updates!)";

namespace {

// Hints stay up long enough to read the longer ones.
const int kHintHidePause = 100000;

}  // namespace

void StartUp() {
  InitSettingsUnit();
  Application->Initialize();
  Application->SetTitle(kProgramTitle);
  if (!HideSplash) ShowSplash();

  // The engine's buffers serve every run of this process.
  AllocEngineBuffers();
  ResetEngineOptions();

  Application->CreateForm(Form1);
  Application->CreateForm(Form2);
  Application->CreateForm(Form4);
  Application->CreateForm(form_Help);

  ConvertHintLineBreaks(Application);

  // The options page shows each window's storage mode from the start,
  // before the user ever opens it.
  Form1->ShowPositionMode(Form1->rdgrp_OptionMainWindowPos, RestoreWindowPosition(Form1, 70, 40));
  Form1->ShowPositionMode(Form1->rdgrp_OptionPatchWindowPos, RestoreWindowPosition(Form2, 50, 50));
  Form1->ShowPositionMode(Form1->rdgrp_OptionEmailSendWindowPos, RestoreWindowPosition(Form4, 300, 300));
  Form2->PositionGroup = Form1->rdgrp_OptionPatchWindowPos;
  Form4->PositionGroup = Form1->rdgrp_OptionEmailSendWindowPos;

  Application->HintHidePause = kHintHidePause;
  // Any name will do: with one the library passes F1 on to the help hook.
  Application->HelpFile = "dummy";
  if (!HideSplash) CloseSplash();
  InstallHelpHook();
}
