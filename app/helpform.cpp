#include "helpform.h"

#include <algorithm>

Tform_Help* form_Help = nullptr;

Tform_Help::Tform_Help(TComponent* AOwner) : TForm(AOwner) {
  SetName("form_Help");
  SetCaption("Morvane Help System");
  KeyPreview = true;
  SetClientSize(600, 500);

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetBounds(8, 12, 90, 25);
  Button1->SetParent(this);
  Button1->SetCaption("Contents");
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = new TButton(this);
  Button2->SetName("Button2");
  Button2->SetBounds(106, 12, 90, 25);
  Button2->SetParent(this);
  Button2->SetCaption("Go Back");
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };

  panel_Browser = new TPanel(this);
  panel_Browser->SetName("panel_Browser");
  panel_Browser->SetParent(this);
  panel_Browser->SetBevelOuter(bvLowered);
  panel_Browser->SetAlign(alBottom);

  htmlview_Help = new THTMLViewer(this);
  htmlview_Help->SetName("htmlview_Help");
  htmlview_Help->SetParent(panel_Browser);
  htmlview_Help->SetAlign(alClient);
  htmlview_Help->SetViewImages(true);
  htmlview_Help->SetHistoryMaxCount(2);
  htmlview_Help->SetDefFontName("Times New Roman");
  htmlview_Help->SetDefPreFontName("Courier New");
  htmlview_Help->SetNoSelect(false);
  htmlview_Help->SetBorderStyle(htSingle);

  SetWidth(WidthForScreen(Screen->Width()));
  Resize();
  // The window is made at start: a program started from a folder without
  // help pages still comes up, with an empty viewer. Asking for help later
  // reports the missing page.
  try {
    htmlview_Help->LoadFromFile("help\\index.html");
  } catch (const std::exception&) {
  }
}

int Tform_Help::WidthForScreen(int screenWidth) { return std::min(screenWidth, 1024) * 3 / 4; }

void Tform_Help::Resize() {
  TForm::Resize();
  if (!panel_Browser) return;
  panel_Browser->SetHeight(std::max(ClientHeight() - 50, 0));
  panel_Browser->SetWidth(ClientWidth());
}

void Tform_Help::OpenHelpPage(const std::string& name) {
  htmlview_Help->LoadFromFile("help\\" + name);
  Show();
}

void Tform_Help::Button1Click(TObject*) { OpenHelpPage("index.html"); }

void Tform_Help::Button2Click(TObject*) {
  if (htmlview_Help->History().Count() > 1) htmlview_Help->LoadFromFile(htmlview_Help->History().Strings(1));
}

void Tform_Help::KeyDown(WORD& key, TShiftState shift) {
  if (key == VK_ESCAPE) {
    key = 0;
    Hide();
    return;
  }
  TForm::KeyDown(key, shift);
}
