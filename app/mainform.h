// The main window: the page control with the program's five pages.  The
// pages' own contents are added by the parts of the program that use them;
// here the window has what start-up and shutdown need.
#pragma once

#include "win/comctrls.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* AOwner);

  TPageControl* pagectrl_Main;
  TTabSheet *page_RCS, *page_Expert, *page_Wizard, *page_Options, *page_About;

  TPageControl* pagectrl_Options;
  TTabSheet* page_WindowSizes;
  // Items: default position, centred, restored (the storage modes 0-2).
  TRadioGroup *rdgrp_OptionMainWindowPos, *rdgrp_OptionPatchWindowPos, *rdgrp_OptionEmailSendWindowPos;
  TRadioGroup* rdgrp_OptionAddressBookWindowPos;

  // Opens the address book.
  TButton* button_ExpertCallAddressbook;

  void FormClose(TObject* Sender, TCloseAction& Action);
};

extern TForm1* Form1;
