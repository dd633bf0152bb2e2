// The setup program: the form's components do the installation (the
// driver starts it when the form is first activated) or, with "-b", build
// the distribution while the form loads.
#include <windows.h>

#include "setupform.h"
#include "win/install.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TForm1* form1 = nullptr;
  try {
    Application->Initialize();
    Application->CreateForm(form1);
    // A build or a floppy transfer has ended the program while loading.
    if (!Application->Terminated()) Application->Run();
  } catch (...) {
    Application->HandleException(Application);
  }
  // The driver goes with the form; the clean-up of the loader's copy
  // starts then, when nothing of the program is needed any more.
  delete form1;
  return SetupExitCode();
}
