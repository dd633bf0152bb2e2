#include "helphook.h"

#include "launch.h"
#include "mainform.h"
#include "win/comctrls.h"
#include "win/forms.h"

namespace {

// The current directory may be a drive root that already ends in "\".
std::string HelpDir(const std::string& baseDir) { return IncludeTrailingBackslash(baseDir) + "help\\"; }

}  // namespace

std::string HelpPageForForm(TForm* form, const std::string& baseDir) {
  if (form->Name() != "Form1") return HelpDir(baseDir) + form->Name() + ".html";
  std::string tab;
  if (auto* main = dynamic_cast<TForm1*>(form))
    if (main->pagectrl_Main->ActivePage()) tab = main->pagectrl_Main->ActivePage()->Name();
  return HelpDir(baseDir) + "Form1_" + tab + ".html";
}

std::string HelpIndexPage(const std::string& baseDir) { return HelpDir(baseDir) + "index.html"; }

bool HelpDummyClass::HelpHandler(WORD Command, intptr_t, bool& CallHelp) {
  CallHelp = false;
  // Pages are looked up where the user started the program from, not
  // beside the program file.
  const std::string base = GetCurrentDir();
  if (Command == HELP_CONTEXT) {
    for (int i = 0; i < Application->ComponentCount(); ++i) {
      auto* form = dynamic_cast<TForm*>(Application->Components(i));
      if (form && form == Screen->ActiveForm()) LaunchBrowser(HelpPageForForm(form, base));
    }
  } else if (Command == HELP_CONTENTS) {
    LaunchBrowser(HelpIndexPage(base));
  }
  return true;
}

void InstallHelpHook() {
  // Never freed: the application may ask for help until it is gone.
  static HelpDummyClass* hook = new HelpDummyClass;
  Application->OnHelp = [](WORD command, intptr_t data, bool& callHelp) {
    return hook->HelpHandler(command, data, callHelp);
  };
}
