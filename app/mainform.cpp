#include "mainform.h"

#include <exception>
#include <functional>
#include <string>

#include "addrbook.h"
#include "packer.h"
#include "sysutils.h"
#include "settings.h"

TForm1* Form1 = nullptr;

namespace {

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
  page_RCS = AddPage(pagectrl_Main, "page_RCS", "Release Control System");
  page_Expert = AddPage(pagectrl_Main, "page_Expert", "Patch Expert ");
  page_Wizard = AddPage(pagectrl_Main, "page_Wizard", "Patch Wizard");
  page_Options = AddPage(pagectrl_Main, "page_Options", "Options");
  page_About = AddPage(pagectrl_Main, "page_About", "About");

  pagectrl_Options = new TPageControl(this);
  pagectrl_Options->SetName("pagectrl_Options");
  pagectrl_Options->SetParent(page_Options);
  pagectrl_Options->SetAlign(alClient);
  page_WindowSizes = AddPage(pagectrl_Options, "page_WindowSizes", "Window Positions");
  rdgrp_OptionMainWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionMainWindowPos", "Main window", 16);
  rdgrp_OptionPatchWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionPatchWindowPos", "Patch progress window", 116);
  rdgrp_OptionEmailSendWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionEmailSendWindowPos", "Email sending window", 216);
  rdgrp_OptionAddressBookWindowPos =
      MakePositionGroup(this, page_WindowSizes, "rdgrp_OptionAddressBookWindowPos", "Addressbook window", 316);

  BuildOptionPages();

  button_ExpertCallAddressbook = new TButton(this);
  button_ExpertCallAddressbook->SetName("button_ExpertCallAddressbook");
  button_ExpertCallAddressbook->SetBounds(16, 16, 100, 25);
  button_ExpertCallAddressbook->SetParent(page_Expert);
  button_ExpertCallAddressbook->SetCaption("Addressbook...");
  button_ExpertCallAddressbook->OnClick = [this](TObject*) { OpenAddressBook(rdgrp_OptionAddressBookWindowPos); };

  OnCreate = [this](TObject*) { FormCreate(); };
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

TTabSheet* TForm1::AddPage(TPageControl* control, const std::string& name, const std::string& caption) {
  auto* page = new TTabSheet(this);
  page->SetName(name);
  page->SetCaption(caption);
  page->SetPageControl(control);
  return page;
}

void TForm1::FormCreate() {
  filling_ = true;
  rdgrp_PageOnStartup->SetItemIndex(StartupPageMode);
  pagectrl_Options->SetActivePageIndex(0);

  // The option edits show the settings as stored; the pages' own names get
  // the desktop folder in front where they are relative.
  edit_OptionExpertPatchname->SetText(ExpertDefaultPatchfile);
  edit_OptionWizardPatchname->SetText(WizardDefaultPatchfile);

  combo_OptionExpertPatchType->SetItemIndex(ExpertDefaultPatchType);
  combo_OptionWizardPatchType->SetItemIndex(WizardDefaultPatchType);
  chkbox_OptionExpertPgp->SetChecked(ExpertDefaultPgpSigned);
  chkbox_OptionWizardPgp->SetChecked(WizardDefaultPgpSigned);
  chkbox_OptionExpertForceIdentical->SetChecked(ExpertPatchIdenticalFiles);
  chkbox_OptionWizardForceIdentical->SetChecked(WizardPatchIdenticalFiles);
  edit_OptionExpertBackupDir->SetText(ExpertDefaultBackupPath);
  edit_OptionWizardBackupDir->SetText(WizardDefaultBackupPath);
  rdgrp_OptionBrowser->SetItemIndex(DefaultBrowser);
  chkbox_OptionExpertArchive->SetChecked(ExpertDefaultArchiveChecked);
  chkbox_OptionWizardArchive->SetChecked(WizardDefaultArchiveChecked);

  auto packerChoice = [](int packer, TRadioButton* internal, TRadioButton* external, TComboBox* combo) {
    combo->SetItemIndex(packer > 0 ? packer - 1 : 0);
    (packer > 0 ? external : internal)->SetChecked(true);
    combo->SetEnabled(packer > 0);
  };
  packerChoice(ExpertDefaultPacker, radiobtn_OptionExpertInternalZip, radiobtn_OptionExpertExternalPacker,
               combo_OptionExpertExternalPacker);
  packerChoice(WizardDefaultPacker, radiobtn_OptionWizardInternalZip, radiobtn_OptionWizardExternalPacker,
               combo_OptionWizardExternalPacker);

  PackerSettingsList.clear();
  for (int n = 1; n < kPackerCount; ++n)
    LoadPackerSettings(PackerTable[n].name, PackerTable[n].suffix, PackerTable[n].options);
  ShowPackerSettings(1);

  edit_OptionEmailSubject->SetText(DefaultPatchEmailSubject);
  int chosen = 0;
  for (size_t i = 0; i < EmailProfiles.size(); ++i) {
    combo_OptionDefaultEmailSettings->Items().Add(EmailProfiles[i].DisplayName);
    combo_OptionEditEmailSettings->Items().Add(EmailProfiles[i].DisplayName);
    if (EmailProfiles[i].DisplayName == MailProfile && chosen == 0) chosen = static_cast<int>(i);
  }
  if (!EmailProfiles.empty()) {
    combo_OptionDefaultEmailSettings->SetItemIndex(chosen);
    combo_OptionEditEmailSettings->SetItemIndex(chosen);
  }
  ShowProfile();

  rdgrp_OptionCurrentFilelistMode->SetItemIndex(DefaultFilelistStyle);
  edit_OptionBrowserPath->SetText(CustomBrowserPath);
  edit_OptionBrowserArgs->SetText(CustomBrowserArgs);
  chkbox_OptionRestoreExpertFilelists->SetChecked(RestoreExpertFilelists);
  chkbox_OptionRestoreWizardFilelists->SetChecked(RestoreWizardFilelists);

  if (FileExists(TemplatePath())) {
    try {
      memo_OptionDefaultEmailText->Lines().LoadFromFile(TemplatePath());
    } catch (const std::exception& e) {
      Application->ShowException(e);
    }
  }

  chkbox_OptionHideSplash->SetChecked(HideSplash);
  chkbox_OptionExpertRestoreSplit->SetChecked(ExpertRestoreSplitter);
  filling_ = false;
  UpdateArchiveCaptions();
  if (StartupPage >= 0 && StartupPage < pagectrl_Main->PageCount()) pagectrl_Main->SetActivePageIndex(StartupPage);
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
  StartupPageMode = rdgrp_PageOnStartup->ItemIndex() < 0 ? 3 : rdgrp_PageOnStartup->ItemIndex();
  StartupPage = StartupPageMode == 3 ? pagectrl_Main->ActivePageIndex() : StartupPageMode;
  // A window whose position was never restored keeps the default mode.
  const int mode = rdgrp_OptionMainWindowPos->ItemIndex() < 0 ? wsmRestore : rdgrp_OptionMainWindowPos->ItemIndex();
  attempt([this, mode] { StoreWindowPosition(this, mode); });
  attempt([] { SavePackerSettings(); });
  MailProfile = combo_OptionDefaultEmailSettings->Text();
  attempt([this] { SaveTextFile(TemplatePath(), memo_OptionDefaultEmailText->Lines()); });
  attempt([] { SaveSettings(); });
  if (!firstError.empty()) Application->ShowException(Exception(firstError));
}
