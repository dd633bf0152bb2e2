// The setup program's one form.  Its components are the whole installation
// of the patch creator: the driver, the file groups with their files, the
// uninstaller, the program-menu folder with its links, the desktop link,
// the file-type keys and the wizard's dialogs.  They are made from a form
// description by the form loader, as a stored form is read; the form's own
// code is the version guard on the file-type keys.
#pragma once

#include <string>
#include <vector>

#include "loader.h"
#include "win/forms.h"

class TBackdrop;
class TRotate3DLabel;
class TInstall;

// Makes every class the description names known to the form loader.
void RegisterSetupClasses();

// The form's components in form order.  filesDir is the folder holding
// the packed programs, with the help pages in its subfolder "help".
std::vector<TFormComponent> SetupFormDescription(const std::string& filesDir);

// The registry objects whose entries the version guard may withhold; the
// open command is always written.
extern const char* const GuardedRegistryObjects[5];

class TForm1 : public TForm {
 public:
  // Loads the description with the files of this build tree.
  explicit TForm1(TComponent* owner);
  TForm1(TComponent* owner, const std::string& filesDir);

  TBackdrop* Backdrop1 = nullptr;
  TRotate3DLabel* ProductLabel1 = nullptr;
  TInstall* Install1 = nullptr;

  // OnBeforeProcess of the guarded registry objects.
  void RegistryBeforeProcess(TObject* sender);

 private:
  void LoadComponents(const std::string& filesDir);
};
