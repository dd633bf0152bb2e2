// The help window: the HTML help pages of the folder "help" (below the
// current directory) in the program's own viewer.
#pragma once

#include <string>

#include "win/extctrls.h"
#include "win/forms.h"
#include "win/htmlviewer.h"
#include "win/stdctrls.h"

class Tform_Help : public TForm {
 public:
  explicit Tform_Help(TComponent* AOwner);

  TPanel* panel_Browser;
  THTMLViewer* htmlview_Help;
  TButton* Button1;
  TButton* Button2;

  // Loads "help\" + name and shows the window. A missing page raises the
  // viewer's error.
  void OpenHelpPage(const std::string& name);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);

  // Three quarters of the screen's width, counting at most 1024 pixels.
  static int WidthForScreen(int screenWidth);

 protected:
  void KeyDown(WORD& key, TShiftState shift) override;
  void Resize() override;
};

extern Tform_Help* form_Help;
