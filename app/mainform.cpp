#include "mainform.h"

#include <exception>
#include <functional>
#include <string>

#include "addrbook.h"
#include "win/ptopendlg.h"
#include "patchnames.h"
#include "patchthread.h"
#include "win/ptsplitter.h"
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
  SetClientSize(712, 533);

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

  savedialog_Patchname = new TPTSaveDlg(this);
  savedialog_Patchname->SetName("savedialog_Patchname");
  savedialog_Patchname->Title = "Save the Patchfile after creation as ...";
  savedialog_Patchname->Filter =
      "Plain patchfile|*.utp|Executable patchfile|*.exe|ZIP archive files|*.zip|GZIP archive files|*.gz|RAR archive "
      "files|*.rar|LHA archive files|*.lha|ARJ archive files|*.arj|JAR archive files|*.j|All files|*.*";
  BuildOptionPages();

  BuildPages();
  HookRunControls();

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

void TForm1::BrowsePatchName(TEdit* edit) {
  // The list starts at the type the name has now.
  static const char* const kExtensions[] = {".utp", ".exe", ".zip", ".gz", ".rar", ".lha", ".arj", ".j"};
  const std::string name = LowerCase(edit->Text());
  savedialog_Patchname->FilterIndex = 9;
  for (int i = 0; i < 8; ++i) {
    const std::string ext = kExtensions[i];
    if (name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0) {
      savedialog_Patchname->FilterIndex = i + 1;
      break;
    }
  }
  savedialog_Patchname->SetFileName(edit->Text());
  if (savedialog_Patchname->Execute()) edit->SetText(savedialog_Patchname->FileName());
}

void TForm1::FormCreate() {
  filling_ = true;
  SetCaption(Application->Title());
  InstallWarpProgressHooks();
  rdgrp_PageOnStartup->SetItemIndex(StartupPageMode);
  pagectrl_Options->SetActivePageIndex(0);
  pagectrl_Wizard->SetActivePageIndex(0);

  // The option edits show the settings as stored; the pages' own names get
  // the desktop folder in front where they are relative.
  edit_ExpertPatchname->SetText(ProposedPatchName(ExpertDefaultPatchfile, DesktopDirectory));
  edit_WizardPatchname->SetText(ProposedPatchName(WizardDefaultPatchfile, DesktopDirectory));
  edit_OptionExpertPatchname->SetText(ExpertDefaultPatchfile);
  edit_OptionWizardPatchname->SetText(WizardDefaultPatchfile);

  combo_ExpertPatchType->SetItemIndex(ExpertDefaultPatchType);
  combo_WizardPatchType->SetItemIndex(WizardDefaultPatchType);
  combo_OptionExpertPatchType->SetItemIndex(ExpertDefaultPatchType);
  combo_OptionWizardPatchType->SetItemIndex(WizardDefaultPatchType);
  // The stored type and name are two settings; shown together they must
  // say what a run will make (a type read out of range was clamped).
  for (auto [edit, combo] : {std::pair{edit_ExpertPatchname, combo_ExpertPatchType},
                             std::pair{edit_WizardPatchname, combo_WizardPatchType},
                             std::pair{edit_OptionExpertPatchname, combo_OptionExpertPatchType},
                             std::pair{edit_OptionWizardPatchname, combo_OptionWizardPatchType}})
    edit->SetText(NameMatchingType(edit->Text(), combo->ItemIndex() <= 0));
  chkbox_OptionExpertPgp->SetChecked(ExpertDefaultPgpSigned);
  chkbox_OptionWizardPgp->SetChecked(WizardDefaultPgpSigned);
  chkbox_OptionExpertForceIdentical->SetChecked(ExpertPatchIdenticalFiles);
  chkbox_OptionWizardForceIdentical->SetChecked(WizardPatchIdenticalFiles);
  chkbox_ExpertForceIdentical->SetChecked(ExpertPatchIdenticalFiles);
  edit_OptionExpertBackupDir->SetText(ExpertDefaultBackupPath);
  edit_OptionWizardBackupDir->SetText(WizardDefaultBackupPath);
  rdgrp_OptionBrowser->SetItemIndex(DefaultBrowser);
  chkbox_ExpertArchivePatch->SetChecked(ExpertDefaultArchiveChecked);
  chkbox_OptionExpertArchive->SetChecked(ExpertDefaultArchiveChecked);
  chkbox_WizardArchivePatch->SetChecked(WizardDefaultArchiveChecked);
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
  edit_ExpertEmailSubject->SetText(DefaultPatchEmailSubject);
  combo_ExpertEmailType1->SetItemIndex(0);
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
  ApplyFileListStyle(DefaultFilelistStyle);
  edit_OptionBrowserPath->SetText(CustomBrowserPath);
  edit_OptionBrowserArgs->SetText(CustomBrowserArgs);
  chkbox_OptionRestoreExpertFilelists->SetChecked(RestoreExpertFilelists);
  chkbox_OptionRestoreWizardFilelists->SetChecked(RestoreWizardFilelists);

  if (FileExists(TemplatePath())) {
    try {
      memo_OptionDefaultEmailText->Lines().LoadFromFile(TemplatePath());
      memo_ExpertEmail->Lines().Assign(&memo_OptionDefaultEmailText->Lines());
    } catch (const std::exception& e) {
      Application->ShowException(e);
    }
  }

  chkbox_OptionHideSplash->SetChecked(HideSplash);
  chkbox_OptionExpertRestoreSplit->SetChecked(ExpertRestoreSplitter);
  // The position is measured against the expert page's own height.
  SetClientHeight(553);
  FitSplitter();
  if (ExpertRestoreSplitter) split_Expert->SetPosition(ExpertRestoreSplitterPosition);
  filling_ = false;
  UpdateArchiveCaptions();
  edit_WizardPatchname->SetHint(HintText(edit_WizardPatchname->Text() +
                                         "##Enter the name you want to choose for the created patchfile.#(It will be "
                                         "modified according to your packer selection.)"));
  UpdateSendButton();
  BuildReceiverRows();
  SplitterDropped();
  if (StartupPage >= 0 && StartupPage < pagectrl_Main->PageCount()) pagectrl_Main->SetActivePageIndex(StartupPage);
  pagectrl_MainChange();
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
  for (bool expert : {true, false}) {
    const bool restoring = expert ? RestoreExpertFilelists : RestoreWizardFilelists;
    const int added = AddedPairCount(expert);
    if (restoring) {
      attempt([&] {
        (expert ? ExpertFilelistContents : WizardFilelistContents).clear();
        StorePickerFileList(expert ? pathcombo_ExpertDest : pathcombo_WizardDest,
                            expert ? filelist_ExpertDest : filelist_WizardDest, 0, expert);
        StorePickerFileList(expert ? pathcombo_ExpertSource1 : pathcombo_WizardSource1,
                            expert ? filelist_ExpertSource1 : filelist_WizardSource1, 1, expert);
        for (int i = 0; i < added; ++i)
          StorePickerFileList(AddedCombo(expert, i), AddedList(expert, i), i + 2, expert);
      });
    }
    (expert ? RestoreExpertFilelistsAmount : RestoreWizardFilelistsAmount) = added + 1;
  }
  attempt([this] { SaveTextFile(TemplatePath(), memo_OptionDefaultEmailText->Lines()); });
  ExpertRestoreSplitterPosition = split_Expert->Position();
  attempt([] { SaveSettings(); });
  if (!firstError.empty()) Application->ShowException(Exception(firstError));
}
