#include "splash.h"

#include <windows.h>

Tform_Splash* form_Splash = nullptr;

Tform_Splash::Tform_Splash(TComponent* AOwner) : TForm(AOwner) {
  SetName("form_Splash");
  SetBorderStyle(bsNone);
  SetBorderIcons(0);
  Position = poScreenCenter;
  SetClientSize(355, 127);
  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  // A program built without its pictures still starts, with an empty
  // splash.
  Image1->Picture().Bitmap().LoadFromResourceName(GetModuleHandleA(nullptr), "SPLASH");
}

Tform_Splash::~Tform_Splash() {
  if (form_Splash == this) form_Splash = nullptr;
}

void ShowSplash() {
  if (form_Splash) return;
  form_Splash = new Tform_Splash(Application);
  form_Splash->Show();
  form_Splash->Update();
  Application->ProcessMessages();
}

void CloseSplash() { delete form_Splash; }
