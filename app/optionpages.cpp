// The option tabs of the main window: their controls, and how each option
// reaches its setting as soon as it changes.
#include <windows.h>

#include <algorithm>
#include <functional>

#include "addrbook.h"
#include "emailform.h"
#include "mainform.h"
#include "packer.h"
#include "progressform.h"
#include "settings.h"
#include "win/dialogs.h"

namespace {

template <class T>
T* Make(TForm1* form, TWinControl* parent, const std::string& name, int left, int top, int width, int height) {
  T* c = new T(form);
  c->SetName(name);
  c->SetBounds(left, top, width, height);
  c->SetParent(parent);
  return c;
}

TLabel* MakeLabel(TForm1* form, TWinControl* parent, int left, int top, const std::string& caption) {
  TLabel* label = new TLabel(form);
  label->SetBounds(left, top, 0, 0);
  label->SetParent(parent);
  label->SetCaption(caption);
  return label;
}

TCheckBox* MakeCheck(TForm1* form, TWinControl* parent, const std::string& name, int left, int top, int width,
                     const std::string& caption) {
  TCheckBox* box = Make<TCheckBox>(form, parent, name, left, top, width, 20);
  box->SetCaption(caption);
  return box;
}

TComboBox* MakeList(TForm1* form, TWinControl* parent, const std::string& name, int left, int top, int width,
                    const std::vector<std::string>& items) {
  TComboBox* combo = Make<TComboBox>(form, parent, name, left, top, width, 200);
  combo->SetStyle(csDropDownList);
  for (const std::string& item : items) combo->Items().Add(item);
  return combo;
}

TRadioGroup* MakeGroup(TForm1* form, TWinControl* parent, const std::string& name, int left, int top, int width,
                       int height, const std::string& caption, const std::vector<std::string>& items) {
  TRadioGroup* group = Make<TRadioGroup>(form, parent, name, left, top, width, height);
  group->SetCaption(caption);
  for (const std::string& item : items) group->Items().Add(item);
  return group;
}

const std::vector<std::string> kPatchTypes{"Plain Patchfile (requires Wendle to apply)",
                                           "Executable Patchfile with win95 commandline interface (20k)",
                                           "Executable Patchfile with win95 graphical interface (34k)"};
const char kProgramFilter[] = "exectuables|*.exe|batchfiles|*.bat|all files|*";

std::vector<std::string> ExternalPackerNames() {
  std::vector<std::string> names;
  for (int n = 1; n < kPackerCount; ++n) names.push_back(PackerTable[n].name);
  return names;
}

// A text setting that follows its edit.
void Bind(TEdit* edit, std::string* setting, const bool& filling) {
  edit->OnChange = [edit, setting, &filling](TObject*) {
    if (!filling) *setting = edit->Text();
  };
}

void Bind(TCheckBox* box, bool* setting, const bool& filling) {
  box->OnClick = [box, setting, &filling](TObject*) {
    if (!filling) *setting = box->Checked();
  };
}

void Bind(TComboBox* combo, int* setting, const bool& filling) {
  combo->OnChange = [combo, setting, &filling](TObject*) {
    if (!filling) *setting = combo->ItemIndex() < 0 ? 0 : combo->ItemIndex();
  };
}

// Asks for a program file and puts it into edit.
void BrowseProgram(TForm1* form, TEdit* edit, const std::string& title) {
  TOpenDialog dialog(form);
  dialog.Title = title;
  dialog.Filter = kProgramFilter;
  dialog.FileName = edit->Text();
  if (dialog.Execute()) edit->SetText(dialog.FileName);
}

EmailSettings* ProfileNamed(const std::string& name) {
  for (EmailSettings& p : EmailProfiles)
    if (p.DisplayName == name) return &p;
  return nullptr;
}

}  // namespace

std::string TForm1::TemplatePath() {
  std::string exe = Application->ExeName();
  const size_t slash = exe.find_last_of("\\/:");
  const size_t dot = exe.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) exe.erase(dot);
  return exe + "_EmailTemplate.txt";
}

void TForm1::BuildOptionPages() {
  page_OptionPatchfile = AddPage(pagectrl_Options, "page_OptionPatchfile", "Patchfile");
  page_OptionEmail = AddPage(pagectrl_Options, "page_OptionEmail", "Email");
  page_OptionBrowser = AddPage(pagectrl_Options, "page_OptionBrowser", "Browser");
  page_OptionFilelists = AddPage(pagectrl_Options, "page_OptionFilelists", "Filelists");
  page_OptionAppearance = AddPage(pagectrl_Options, "page_OptionAppearance", "Appearance");
  // The window-position tab exists already; it goes after "Appearance".
  page_WindowSizes->SetPageControl(nullptr);
  page_WindowSizes->SetPageControl(pagectrl_Options);
  page_OptionArchiving = AddPage(pagectrl_Options, "page_OptionArchiving", "Archiving");
  page_OptionPGP = AddPage(pagectrl_Options, "page_OptionPGP", "PGP");
  page_OptionTexts = AddPage(pagectrl_Options, "page_OptionTexts", "Texts");

  // Patchfile. The patch types need most of the page's width even in the
  // closed list: the two sides stand one above the other, the name, type
  // and backup folder in a column as wide as the longest type, the boxes
  // beside it.
  auto side = [this](const std::string& who, int top, TEdit*& name, TComboBox*& type, TCheckBox*& archive,
                     TEdit*& backup, TCheckBox*& identical) {
    TGroupBox* group = Make<TGroupBox>(this, page_OptionPatchfile, "group_Option" + who, 8, top, 600, 146);
    group->SetCaption(" " + who + " defaults ");
    type = MakeList(this, group, "combo_Option" + who + "PatchType", 12, 76, 272, kPatchTypes);
    const int width = std::max(272, WidthForItems(type));
    type->SetWidth(width);
    MakeLabel(this, group, 12, 18, "Patchfile name:");
    name = Make<TEdit>(this, group, "edit_Option" + who + "Patchname", 12, 34, width - 36, 22);
    TButton* browse = Make<TButton>(this, group, "button_Option" + who + "Browse", 12 + width - 32, 34, 32, 22);
    browse->SetCaption("...");
    TEdit* edit = name;
    browse->OnClick = [this, edit](TObject*) { BrowsePatchName(edit); };
    MakeLabel(this, group, 12, 60, "Patch type:");
    MakeLabel(this, group, 12, 102, "Backup directory written into the patch:");
    backup = Make<TEdit>(this, group, "edit_Option" + who + "BackupDir", 12, 118, width, 22);
    const int right = 12 + width + 16;
    archive = MakeCheck(this, group, "chkbox_Option" + who + "Archive", right, 32, 600 - right - 12, "");
    // The packer's name makes the caption longer than the column is wide.
    archive->SetHeight(30);
    archive->SetWordWrap(true);
    identical = MakeCheck(this, group, "chkbox_Option" + who + "ForceIdentical", right, 74, 600 - right - 12,
                          "Force identical files patching");
    identical->SetHeight(30);
    identical->SetWordWrap(true);
  };
  side("Expert", 8, edit_OptionExpertPatchname, combo_OptionExpertPatchType, chkbox_OptionExpertArchive,
       edit_OptionExpertBackupDir, chkbox_OptionExpertForceIdentical);
  side("Wizard", 158, edit_OptionWizardPatchname, combo_OptionWizardPatchType, chkbox_OptionWizardArchive,
       edit_OptionWizardBackupDir, chkbox_OptionWizardForceIdentical);
  rdgrp_PageOnStartup = MakeGroup(this, page_OptionPatchfile, "rdgrp_PageOnStartup", 8, 308, 600, 64, "Page on startup",
                                  {"Release Control System", "Patch Expert", "Patch Wizard", "Last page open"});
  rdgrp_PageOnStartup->SetColumns(2);
  Bind(edit_OptionExpertPatchname, &ExpertDefaultPatchfile, filling_);
  Bind(edit_OptionWizardPatchname, &WizardDefaultPatchfile, filling_);
  Bind(combo_OptionExpertPatchType, &ExpertDefaultPatchType, filling_);
  Bind(combo_OptionWizardPatchType, &WizardDefaultPatchType, filling_);
  Bind(chkbox_OptionExpertArchive, &ExpertDefaultArchiveChecked, filling_);
  Bind(chkbox_OptionWizardArchive, &WizardDefaultArchiveChecked, filling_);
  Bind(edit_OptionExpertBackupDir, &ExpertDefaultBackupPath, filling_);
  Bind(edit_OptionWizardBackupDir, &WizardDefaultBackupPath, filling_);
  Bind(chkbox_OptionExpertForceIdentical, &ExpertPatchIdenticalFiles, filling_);
  Bind(chkbox_OptionWizardForceIdentical, &WizardPatchIdenticalFiles, filling_);
  rdgrp_PageOnStartup->OnClick = [this](TObject*) {
    if (!filling_) StartupPageMode = rdgrp_PageOnStartup->ItemIndex() < 0 ? 3 : rdgrp_PageOnStartup->ItemIndex();
  };

  // Email.
  MakeLabel(this, page_OptionEmail, 12, 14, "Send patches with these settings:");
  combo_OptionDefaultEmailSettings = MakeList(this, page_OptionEmail, "combo_OptionDefaultEmailSettings", 12, 32, 400, {});
  MakeLabel(this, page_OptionEmail, 12, 72, "Edit the settings of:");
  combo_OptionEditEmailSettings = MakeList(this, page_OptionEmail, "combo_OptionEditEmailSettings", 12, 90, 400, {});
  TEdit** fields[] = {&edit_OptionEmailAddress, &edit_OptionEmailSmtp, &edit_OptionEmailName,
                      &edit_OptionEmailOrganization, &edit_OptionEmailReplyTo};
  const char* names[] = {"edit_OptionEmailAddress", "edit_OptionEmailSmtp", "edit_OptionEmailName",
                         "edit_OptionEmailOrganization", "edit_OptionEmailReplyTo"};
  const char* captions[] = {"Email address:", "SMTP server:", "Your name:", "Organization:", "Reply to:"};
  for (int i = 0; i < 5; ++i) {
    MakeLabel(this, page_OptionEmail, 12, 128 + 30 * i, captions[i]);
    *fields[i] = Make<TEdit>(this, page_OptionEmail, names[i], 112, 124 + 30 * i, 300, 22);
    // Only custom profiles are edited; each keystroke goes into the profile.
    std::string EmailSettings::*member[] = {&EmailSettings::Email, &EmailSettings::Smtp, &EmailSettings::Name,
                                            &EmailSettings::Organization, &EmailSettings::ReplyTo};
    TEdit* edit = *fields[i];
    auto field = member[i];
    edit->OnChange = [this, edit, field](TObject*) {
      if (filling_) return;
      EmailSettings* p = ProfileNamed(combo_OptionEditEmailSettings->Text());
      if (p && !p->Imported) p->*field = edit->Text();
    };
  }
  MakeLabel(this, page_OptionEmail, 12, 286, "Default subject:");
  edit_OptionEmailSubject = Make<TEdit>(this, page_OptionEmail, "edit_OptionEmailSubject", 112, 282, 300, 22);
  Bind(edit_OptionEmailSubject, &DefaultPatchEmailSubject, filling_);
  combo_OptionDefaultEmailSettings->OnChange = [this](TObject*) {
    if (!filling_) MailProfile = combo_OptionDefaultEmailSettings->Text();
  };
  combo_OptionEditEmailSettings->OnChange = [this](TObject*) { ShowProfile(); };

  // Browser.
  rdgrp_OptionBrowser = MakeGroup(this, page_OptionBrowser, "rdgrp_OptionBrowser", 12, 12, 400, 112, "Web browser",
                                  {"System default browser", "Internet Explorer", "Netscape Navigator", "Custom browser"});
  MakeLabel(this, page_OptionBrowser, 12, 138, "Custom browser program:");
  edit_OptionBrowserPath = Make<TEdit>(this, page_OptionBrowser, "edit_OptionBrowserPath", 12, 156, 364, 22);
  button_OptionBrowserBrowse = Make<TButton>(this, page_OptionBrowser, "button_OptionBrowserBrowse", 380, 156, 32, 22);
  button_OptionBrowserBrowse->SetCaption("...");
  MakeLabel(this, page_OptionBrowser, 12, 188, "Custom browser arguments (%1 is the address):");
  edit_OptionBrowserArgs = Make<TEdit>(this, page_OptionBrowser, "edit_OptionBrowserArgs", 12, 206, 400, 22);
  rdgrp_OptionBrowser->OnClick = [this](TObject*) {
    if (!filling_) DefaultBrowser = rdgrp_OptionBrowser->ItemIndex() < 0 ? 0 : rdgrp_OptionBrowser->ItemIndex();
  };
  Bind(edit_OptionBrowserPath, &CustomBrowserPath, filling_);
  Bind(edit_OptionBrowserArgs, &CustomBrowserArgs, filling_);
  button_OptionBrowserBrowse->OnClick = [this](TObject*) {
    BrowseProgram(this, edit_OptionBrowserPath, "Choose your web browser");
  };

  // Filelists and appearance.
  rdgrp_OptionCurrentFilelistMode =
      MakeGroup(this, page_OptionFilelists, "rdgrp_OptionCurrentFilelistMode", 12, 12, 400, 112, "View of the file lists",
                {"Small icons", "Large icons", "Detailed list", "Multicolumn"});
  chkbox_OptionRestoreExpertFilelists = MakeCheck(this, page_OptionFilelists, "chkbox_OptionRestoreExpertFilelists", 12,
                                                  136, 400, "Restore the Patch Expert's file lists at start");
  chkbox_OptionRestoreWizardFilelists = MakeCheck(this, page_OptionFilelists, "chkbox_OptionRestoreWizardFilelists", 12,
                                                  162, 400, "Restore the Patch Wizard's file lists at start");
  rdgrp_OptionCurrentFilelistMode->OnClick = [this](TObject*) {
    if (!filling_)
      DefaultFilelistStyle =
          rdgrp_OptionCurrentFilelistMode->ItemIndex() < 0 ? 0 : rdgrp_OptionCurrentFilelistMode->ItemIndex();
  };
  Bind(chkbox_OptionRestoreExpertFilelists, &RestoreExpertFilelists, filling_);
  Bind(chkbox_OptionRestoreWizardFilelists, &RestoreWizardFilelists, filling_);
  chkbox_OptionHideSplash =
      MakeCheck(this, page_OptionAppearance, "chkbox_OptionHideSplash", 12, 16, 400, "Hide the splash window at start");
  chkbox_OptionExpertRestoreSplit = MakeCheck(this, page_OptionAppearance, "chkbox_OptionExpertRestoreSplit", 12, 42,
                                              400, "Restore the Patch Expert's splitter position");
  Bind(chkbox_OptionHideSplash, &HideSplash, filling_);
  Bind(chkbox_OptionExpertRestoreSplit, &ExpertRestoreSplitter, filling_);

  // Window positions: each group stores its window's mode at once. A
  // window not made yet (the address book before its first opening) gets
  // only the mode, and opens with it.
  auto storeMode = [this](TRadioGroup* group, const char* formName, std::function<TForm*()> form) {
    group->OnClick = [this, group, formName, form](TObject*) {
      if (filling_ || group->ItemIndex() < 0) return;
      try {
        if (TForm* f = form())
          StoreWindowPosition(f, group->ItemIndex());
        else
          StoreWindowMode(formName, group->ItemIndex());
      } catch (const std::exception& e) {
        Application->ShowException(e);
      }
    };
  };
  storeMode(rdgrp_OptionMainWindowPos, "Form1", [this] { return static_cast<TForm*>(this); });
  storeMode(rdgrp_OptionPatchWindowPos, "Form2", [] { return static_cast<TForm*>(Form2); });
  storeMode(rdgrp_OptionEmailSendWindowPos, "Form4", [] { return static_cast<TForm*>(Form4); });
  storeMode(rdgrp_OptionAddressBookWindowPos, "Form3", [] { return static_cast<TForm*>(Form3); });

  // Archiving.
  TGroupBox* packers = Make<TGroupBox>(this, page_OptionArchiving, "group_OptionPackers", 8, 8, 600, 188);
  packers->SetCaption(" External packers ");
  combo_OptionPackerEdit = MakeList(this, packers, "combo_OptionPackerEdit", 12, 22, 200, ExternalPackerNames());
  chkbox_OptionPackerSystemPath =
      MakeCheck(this, packers, "chkbox_OptionPackerSystemPath", 228, 22, 200, "Call via System Path");
  MakeLabel(this, packers, 12, 56, "Use executable at:");
  edit_OptionPackerPath = Make<TEdit>(this, packers, "edit_OptionPackerPath", 140, 52, 408, 22);
  button_OptionPackerBrowse = Make<TButton>(this, packers, "button_OptionPackerBrowse", 552, 52, 32, 22);
  button_OptionPackerBrowse->SetCaption("...");
  chkbox_OptionPackerHideDos =
      MakeCheck(this, packers, "chkbox_OptionPackerHideDos", 140, 80, 300, "Hide DOS output window");
  MakeLabel(this, packers, 12, 112, "Archives have suffix:");
  edit_OptionPackerSuffix = Make<TEdit>(this, packers, "edit_OptionPackerSuffix", 140, 108, 100, 22);
  MakeLabel(this, packers, 12, 144, "Call with parameters:");
  edit_OptionPackerParameters = Make<TEdit>(this, packers, "edit_OptionPackerParameters", 140, 140, 444, 22);
  auto current = [this]() -> PackerSettings* {
    const int i = combo_OptionPackerEdit->ItemIndex();
    return i >= 0 && i < static_cast<int>(PackerSettingsList.size()) ? &PackerSettingsList[static_cast<size_t>(i)]
                                                                      : nullptr;
  };
  combo_OptionPackerEdit->OnChange = [this](TObject*) { ShowPackerSettings(combo_OptionPackerEdit->ItemIndex() + 1); };
  chkbox_OptionPackerSystemPath->OnClick = [this, current](TObject*) {
    const bool viaPath = chkbox_OptionPackerSystemPath->Checked();
    edit_OptionPackerPath->SetEnabled(!viaPath);
    edit_OptionPackerPath->SetColor(viaPath ? clBtnFace : clWindow);
    button_OptionPackerBrowse->SetEnabled(!viaPath);
    if (filling_) return;
    if (PackerSettings* p = current()) p->CallViaSystemPath = viaPath ? 1 : 0;
  };
  chkbox_OptionPackerHideDos->OnClick = [this, current](TObject*) {
    if (filling_) return;
    if (PackerSettings* p = current()) p->HideDosOutput = chkbox_OptionPackerHideDos->Checked() ? 1 : 0;
  };
  edit_OptionPackerPath->OnChange = [this, current](TObject*) {
    if (filling_) return;
    if (PackerSettings* p = current()) p->ExecutablePath = edit_OptionPackerPath->Text();
  };
  edit_OptionPackerSuffix->OnChange = [this, current](TObject*) {
    if (filling_) return;
    if (PackerSettings* p = current()) p->ArchiveSuffix = edit_OptionPackerSuffix->Text();
  };
  edit_OptionPackerParameters->OnChange = [this, current](TObject*) {
    if (filling_) return;
    if (PackerSettings* p = current()) p->ParameterTemplate = edit_OptionPackerParameters->Text();
  };
  button_OptionPackerBrowse->OnClick = [this](TObject*) {
    BrowseProgram(this, edit_OptionPackerPath, "Choose the packer program");
  };

  auto choice = [this](const std::string& who, int top, TRadioButton*& internal, TRadioButton*& external,
                       TComboBox*& combo, int* setting) {
    TGroupBox* group = Make<TGroupBox>(this, page_OptionArchiving, "group_Option" + who + "Packer", 8, top, 600, 76);
    group->SetCaption(" " + who + " archives ");
    internal = Make<TRadioButton>(this, group, "radiobtn_Option" + who + "InternalZip", 12, 20, 300, 20);
    internal->SetCaption("Use internal ZIP compression");
    external = Make<TRadioButton>(this, group, "radiobtn_Option" + who + "ExternalPacker", 12, 46, 200, 20);
    external->SetCaption("Use this external compression:");
    combo = MakeList(this, group, "combo_Option" + who + "ExternalPacker", 228, 44, 200, ExternalPackerNames());
    TRadioButton* in = internal;
    TComboBox* c = combo;
    auto changed = [this, in, c, setting](TObject*) {
      c->SetEnabled(!in->Checked());
      if (!filling_) *setting = ExternalPackerChoice(in, c);
      UpdateArchiveCaptions();
    };
    internal->OnClick = changed;
    external->OnClick = changed;
    combo->OnChange = changed;
  };
  choice("Expert", 204, radiobtn_OptionExpertInternalZip, radiobtn_OptionExpertExternalPacker,
         combo_OptionExpertExternalPacker, &ExpertDefaultPacker);
  choice("Wizard", 288, radiobtn_OptionWizardInternalZip, radiobtn_OptionWizardExternalPacker,
         combo_OptionWizardExternalPacker, &WizardDefaultPacker);

  // The signing page keeps its choices but signs nothing.
  MakeLabel(this, page_OptionPGP, 12, 16, "This page does not yet WORK!");
  chkbox_OptionExpertPgp = MakeCheck(this, page_OptionPGP, "chkbox_OptionExpertPgp", 12, 44, 300,
                                     "Sign patch with PGP (Patch Expert)");
  chkbox_OptionWizardPgp = MakeCheck(this, page_OptionPGP, "chkbox_OptionWizardPgp", 12, 70, 300,
                                     "Sign patch with PGP (Patch Wizard)");
  Bind(chkbox_OptionExpertPgp, &ExpertDefaultPgpSigned, filling_);
  Bind(chkbox_OptionWizardPgp, &WizardDefaultPgpSigned, filling_);

  // Texts.
  MakeLabel(this, page_OptionTexts, 12, 12, "Default text of patch e-mails:");
  memo_OptionDefaultEmailText = Make<TMemo>(this, page_OptionTexts, "memo_OptionDefaultEmailText", 12, 30, 600, 300);
  memo_OptionDefaultEmailText->SetScrollBars(ssVertical);
}

void TForm1::ShowPositionMode(TRadioGroup* group, int mode) {
  const bool was = filling_;
  filling_ = true;
  group->SetItemIndex(mode);
  filling_ = was;
}

int TForm1::ExternalPackerChoice(TRadioButton* internal, TComboBox* combo) const {
  if (internal->Checked()) return 0;
  return combo->ItemIndex() < 0 ? 1 : combo->ItemIndex() + 1;
}

void TForm1::ShowPackerSettings(int n) {
  if (n < 1 || n > static_cast<int>(PackerSettingsList.size())) return;
  const PackerSettings& p = PackerSettingsList[static_cast<size_t>(n - 1)];
  const bool was = filling_;
  filling_ = true;
  combo_OptionPackerEdit->SetItemIndex(n - 1);
  chkbox_OptionPackerSystemPath->SetChecked(p.CallViaSystemPath != 0);
  chkbox_OptionPackerHideDos->SetChecked(p.HideDosOutput != 0);
  edit_OptionPackerPath->SetText(p.ExecutablePath);
  edit_OptionPackerSuffix->SetText(p.ArchiveSuffix);
  edit_OptionPackerParameters->SetText(p.ParameterTemplate);
  filling_ = was;
}

void TForm1::UpdateArchiveCaptions() {
  auto packerName = [](int packer) { return packer <= 0 || packer >= kPackerCount ? std::string("ZIP") : PackerTable[packer].name; };
  chkbox_OptionExpertArchive->SetCaption("Automatically create new " + packerName(ExpertDefaultPacker) +
                                         "-Archive of Patchfile");
  chkbox_OptionWizardArchive->SetCaption("Automatically create new " + packerName(WizardDefaultPacker) +
                                         "-Archive of Patchfile");
  chkbox_ExpertArchivePatch->SetCaption(packerName(ExpertDefaultPacker) + "-Archive Patchfile");
  chkbox_WizardArchivePatch->SetCaption(packerName(WizardDefaultPacker) + "-Archive Patchfile");
}

void TForm1::ShowProfile() {
  const EmailSettings* p = ProfileNamed(combo_OptionEditEmailSettings->Text());
  const bool was = filling_;
  filling_ = true;
  TEdit* fields[] = {edit_OptionEmailAddress, edit_OptionEmailSmtp, edit_OptionEmailName, edit_OptionEmailOrganization,
                     edit_OptionEmailReplyTo};
  const std::string values[] = {p ? p->Email : "", p ? p->Smtp : "", p ? p->Name : "", p ? p->Organization : "",
                                p ? p->ReplyTo : ""};
  for (int i = 0; i < 5; ++i) {
    fields[i]->SetText(values[i]);
    fields[i]->SetEnabled(p && !p->Imported);
  }
  filling_ = was;
}
