// F1 and the help contents open HTML pages in the web browser instead of a
// help file: "help\<form>.html" below the current directory, with the main
// window's page named after its open tab.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "sysutils.h"

class TForm;

class HelpDummyClass : public TObject {
 public:
  // The application's help event: command 1 (context help) opens the page
  // of the active form, command 3 (contents) the index page.  It never
  // asks for a help file and always reports the request as handled.
  bool HelpHandler(WORD Command, intptr_t Data, bool& CallHelp);
};

// The page context help opens for that form, below 'baseDir'.
std::string HelpPageForForm(TForm* form, const std::string& baseDir);
std::string HelpIndexPage(const std::string& baseDir);

// Creates the one handler object (kept until exit) and makes it the
// application's help event.
void InstallHelpHook();
