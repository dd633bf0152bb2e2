#include "emailform.h"

#include "settings.h"

TForm4* Form4 = nullptr;

TForm4::TForm4(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form4");
  SetCaption("Sending Email in Progress");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetClientSize(400, 90);
  KeyPreview = true;

  label_Status = new TLabel(this);
  label_Status->SetName("label_Status");
  // A fixed box: a long server message is cut at the window's edge.
  label_Status->SetAutoSize(false);
  label_Status->SetBounds(12, 12, 376, 16);
  label_Status->SetParent(this);
  label_Status->SetCaption("Status:");

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetBounds(12, 40, 0, 0);
  Label1->SetParent(this);
  Label1->SetCaption("Send progress:");

  progress_EMail = new TProgressBar(this);
  progress_EMail->SetName("progress_EMail");
  progress_EMail->SetBounds(12, 58, 376, 18);
  progress_EMail->SetParent(this);
  progress_EMail->SetMin(0);
  progress_EMail->SetMax(100);
  progress_EMail->Step = 1;

  // Closed from its title bar or hidden when the sending ends: either way
  // the window goes through its hide.
  OnHide = [this](TObject*) { FormHide(); };
}

void TForm4::FormHide() {
  if (PositionGroup) StoreClosingWindowPosition(this, PositionGroup->ItemIndex());
}

void TForm4::KeyUp(WORD& key, TShiftState shift) {
  if (key == VK_F1) Application->ContextHelp(this);
  TForm::KeyUp(key, shift);
}
