// The main window: the page control with the program's five pages.  The
// pages' own contents are added by the parts of the program that use them;
// here the window has what start-up and shutdown need.
#pragma once

#include "win/comctrls.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/stdctrls.h"

#include <string>

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* AOwner);

  TPageControl* pagectrl_Main;
  TTabSheet *page_RCS, *page_Expert, *page_Wizard, *page_Options, *page_About;

  TPageControl* pagectrl_Options;
  TTabSheet *page_OptionPatchfile, *page_OptionEmail, *page_OptionBrowser, *page_OptionFilelists;
  TTabSheet *page_OptionAppearance, *page_WindowSizes, *page_OptionArchiving, *page_OptionPGP, *page_OptionTexts;

  // "Patchfile": the default names, types, archive boxes, backup folders
  // and force-identical boxes of both pages, and the start page.
  TEdit *edit_OptionExpertPatchname, *edit_OptionWizardPatchname;
  TComboBox *combo_OptionExpertPatchType, *combo_OptionWizardPatchType;
  TCheckBox *chkbox_OptionExpertArchive, *chkbox_OptionWizardArchive;
  TEdit *edit_OptionExpertBackupDir, *edit_OptionWizardBackupDir;
  TRadioGroup* rdgrp_PageOnStartup;
  // "Email": the sender profile used, the one edited and its fields, and
  // the default subject.
  TComboBox *combo_OptionDefaultEmailSettings, *combo_OptionEditEmailSettings;
  TEdit *edit_OptionEmailAddress, *edit_OptionEmailSmtp, *edit_OptionEmailName, *edit_OptionEmailOrganization;
  TEdit *edit_OptionEmailReplyTo, *edit_OptionEmailSubject;
  // Browser.
  TRadioGroup* rdgrp_OptionBrowser;
  TEdit *edit_OptionBrowserPath, *edit_OptionBrowserArgs;
  TButton* button_OptionBrowserBrowse;
  // "Filelists" and "Appearance".
  TRadioGroup* rdgrp_OptionCurrentFilelistMode;
  TCheckBox *chkbox_OptionRestoreExpertFilelists, *chkbox_OptionRestoreWizardFilelists;
  TCheckBox *chkbox_OptionHideSplash, *chkbox_OptionExpertRestoreSplit;
  // "Archiving": one external packer's settings at a time, and the packer
  // each page uses.
  TComboBox* combo_OptionPackerEdit;
  TCheckBox *chkbox_OptionPackerSystemPath, *chkbox_OptionPackerHideDos;
  TEdit *edit_OptionPackerPath, *edit_OptionPackerSuffix, *edit_OptionPackerParameters;
  TButton* button_OptionPackerBrowse;
  TRadioButton *radiobtn_OptionExpertInternalZip, *radiobtn_OptionExpertExternalPacker;
  TRadioButton *radiobtn_OptionWizardInternalZip, *radiobtn_OptionWizardExternalPacker;
  TComboBox *combo_OptionExpertExternalPacker, *combo_OptionWizardExternalPacker;
  // The signing page, stored only.
  TCheckBox *chkbox_OptionExpertPgp, *chkbox_OptionWizardPgp;
  TCheckBox *chkbox_OptionExpertForceIdentical, *chkbox_OptionWizardForceIdentical;
  // "Texts": the e-mail template.
  TMemo* memo_OptionDefaultEmailText;

  // Items: default position, centred, restored (the storage modes 0-2).
  TRadioGroup *rdgrp_OptionMainWindowPos, *rdgrp_OptionPatchWindowPos, *rdgrp_OptionEmailSendWindowPos;
  TRadioGroup* rdgrp_OptionAddressBookWindowPos;

  // Opens the address book.
  TButton* button_ExpertCallAddressbook;

  // Fills the controls from the settings (the options' share of creation).
  void FormCreate();
  void FormClose(TObject* Sender, TCloseAction& Action);

  // Packer n (1..7) is the one whose settings the archiving page shows.
  void ShowPackerSettings(int n);
  // A new tab of control, owned by this window.
  TTabSheet* AddPage(TPageControl* control, const std::string& name, const std::string& caption);
  // Shows a window's position mode in its group without storing it again.
  void ShowPositionMode(TRadioGroup* group, int mode);
  // The archive-box captions follow the packers chosen.
  void UpdateArchiveCaptions();
  // The file beside the program that holds the e-mail template.
  static std::string TemplatePath();

 private:
  void BuildOptionPages();
  void ShowProfile();
  int ExternalPackerChoice(TRadioButton* internal, TComboBox* combo) const;
  bool filling_ = false;
};

extern TForm1* Form1;
