// The splash window Morvane32 shows while it starts: its picture alone,
// centred, without border. It lives only during start-up.
#pragma once

#include "win/extctrls.h"
#include "win/forms.h"

class Tform_Splash : public TForm {
 public:
  explicit Tform_Splash(TComponent* AOwner);
  ~Tform_Splash() override;

  TImage* Image1;
};

// The one splash window, or null.
extern Tform_Splash* form_Splash;

// Creates the splash window (owned by the application), shows it and lets
// it paint. Nothing happens while one exists.
void ShowSplash();
// Frees the splash window, if any.
void CloseSplash();
