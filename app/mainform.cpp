#include "mainform.h"

#include <exception>
#include <functional>
#include <string>

#include "addrbook.h"
#include "settings.h"

TForm1* Form1 = nullptr;

namespace {

TTabSheet* MakePage(TForm1* form, TPageControl* control, const std::string& name, const std::string& caption) {
  auto* page = new TTabSheet(form);
  page->SetName(name);
  page->SetCaption(caption);
  page->SetPageControl(control);
  return page;
}

TRadioGroup* MakePositionGroup(TForm1* form, TWinControl* parent, const std::string& name, const std::string& caption,
                               int top) {
  auto* group = new TRadioGroup(form);
  group->SetName(name);
  group->SetBounds(16, top, 320, 88);
  group->SetParent(parent);
  group->SetCaption(caption);
  group->Items().Add("Use default settings");
  group->Items().Add("Center it on screen");
  group->Items().Add("Restore old position");
  return group;
}

}  // namespace

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form1");
  SetCaption(Application->Title());
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetClientSize(640, 533);

  pagectrl_Main = new TPageControl(this);
  pagectrl_Main->SetName("pagectrl_Main");
  pagectrl_Main->SetParent(this);
  pagectrl_Main->SetAlign(alClient);
  page_RCS = MakePage(this, pagectrl_Main, "page_RCS", "Release Control System");
  page_Expert = MakePage(this, pagectrl_Main, "page_Expert", "Patch Expert ");
  page_Wizard = MakePage(this, pagectrl_Main, "page_Wizard", "Patch Wizard");
  page_Options = MakePage(this, pagectrl_Main, "page_Options", "Options");
  page_About = MakePage(this, pagectrl_Main, "page_About", "About");

  pagectrl_Options = new TPageControl(this);
  pagectrl_Options->SetName("pagectrl_Options");
  pagectrl_Options->SetParent(page_Options);
  pagectrl_Options->SetAlign(alClient);
  page_WindowSizes = MakePage(this, pagectrl_Options, "page_WindowSizes", "Window Positions");
  rdgrp_OptionMainWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionMainWindowPos", "Main window", 16);
  rdgrp_OptionPatchWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionPatchWindowPos", "Patch progress window", 116);
  rdgrp_OptionEmailSendWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionEmailSendWindowPos", "Email sending window", 216);
  rdgrp_OptionAddressBookWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionAddressBookWindowPos", "Addressbook window", 316);

  button_ExpertCallAddressbook = new TButton(this);
  button_ExpertCallAddressbook->SetName("button_ExpertCallAddressbook");
  button_ExpertCallAddressbook->SetBounds(16, 16, 100, 25);
  button_ExpertCallAddressbook->SetParent(page_Expert);
  button_ExpertCallAddressbook->SetCaption("Addressbook...");
  button_ExpertCallAddressbook->OnClick = [this](TObject*) { OpenAddressBook(rdgrp_OptionAddressBookWindowPos); };

  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

void TForm1::FormClose(TObject*, TCloseAction&) {
  // Every store is tried even when one before it fails (a key that cannot
  // be written): one failure must not cost the settings stored after it.
  // The first failure is reported once everything has been tried.
  std::string firstError;
  auto attempt = [&firstError](const std::function<void()>& store) {
    try {
      store();
    } catch (const std::exception& e) {
      if (firstError.empty()) firstError = e.what();
    } catch (...) {
      if (firstError.empty()) firstError = "Unknown error while saving the settings";
    }
  };
  // A window whose position was never restored keeps the default mode.
  const int mode = rdgrp_OptionMainWindowPos->ItemIndex() < 0 ? wsmRestore : rdgrp_OptionMainWindowPos->ItemIndex();
  attempt([this, mode] { StoreWindowPosition(this, mode); });
  attempt([] { SaveSettings(); });
  if (!firstError.empty()) Application->ShowException(Exception(firstError));
}
