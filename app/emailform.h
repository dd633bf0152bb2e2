// The window shown while a patch is sent by e-mail: the transport's status
// line and a progress bar. It has no cancel button; closing it does not
// stop the sending.
#pragma once

#include "win/comctrls.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"

class TForm4 : public TForm {
 public:
  explicit TForm4(TComponent* AOwner);

  TLabel* label_Status;
  TLabel* Label1;
  TProgressBar* progress_EMail;

  // The options page's group holding this window's position mode; the
  // place is stored from it whenever the window goes away.
  TRadioGroup* PositionGroup = nullptr;

  void FormHide();
  void KeyUp(WORD& key, TShiftState shift) override;
};

extern TForm4* Form4;
