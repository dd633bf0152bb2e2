// The main window: the page control with the program's five pages, the
// source and final-state pickers of the expert page and the wizard, the
// option tabs, the start of a patch run and the expert page's e-mail pane.
#pragma once

#include "win/buttons.h"
#include "win/comctrls.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/menus.h"
#include "win/stdctrls.h"

#include <string>
#include <vector>

class TPTShellCombo;
class TPTShellList;
class TPTSplitter;
class TPTPane;
class TTalvoHint;
class TBackdrop;
class DynArray;
class PickerDropTarget;

// The run-time lists of the window, made before it exists and freed at
// exit: for the expert page and the wizard each the added activation
// boxes, combos, lists and up-directory buttons, and the e-mail pane's
// added receiver edits and type combos.
extern DynArray ExpertAddedChecks, ExpertAddedCombos, ExpertAddedLists, ExpertAddedUpButtons;
extern DynArray WizardAddedChecks, WizardAddedCombos, WizardAddedLists, WizardAddedUpButtons;
extern DynArray EmailReceiverEdits, EmailReceiverTypes;

// The most source states plus the final state the pickers offer.
const int kMaxPickerStates = 20;
// Posted to the main window to rebuild the e-mail pane's receiver rows
// after the event that changed them has returned.
const unsigned kReceiverRowsMessage = 0x8000 + 41;
// The drop target a picker's list registered, for callers that drive a
// drop themselves.
struct IDropTarget;
IDropTarget* PickerListDropTarget(TPTShellList* list);

class TPTSaveDlg;

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* AOwner);
  ~TForm1() override;

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

  // Start page.
  TLabel *label_RCSTitle, *label_RCSHelpExpert, *label_RCSHelpWizard, *label_RCSHelpOptions;
  TCheckBox *chkbox_HintsPageExpert, *chkbox_HintsPageWizard;
  TButton *button_HelpExpert, *button_HelpWizard;
  TTalvoHint* hint_Controller;
  TPopupMenu* popup_ViewStyleFileList;

  // Expert page.
  TPTSplitter* split_Expert;
  TPTPane *split_Expert_pane1, *split_Expert_pane2;
  TScrollBox* scrbox_Expert;
  TLabel *label_ExpertSource1, *label_ExpertDest;
  TPTShellCombo *pathcombo_ExpertSource1, *pathcombo_ExpertDest;
  TPTShellList *filelist_ExpertSource1, *filelist_ExpertDest;
  TSpeedButton *speedbtn_ExpertSource1Up, *speedbtn_ExpertDestUp;
  TCheckBox* chkbox_ExpertActivateSource1;
  TButton* button_ExpertCreate;
  TCheckBox* chkbox_ExpertForceIdentical;
  TComboBox* combo_ExpertPatchType;
  TEdit* edit_ExpertPatchname;
  TButton* button_ExpertBrowse;
  TCheckBox* chkbox_ExpertArchivePatch;
  // The e-mail pane.
  TMemo* memo_ExpertEmail;
  TScrollBox* scrbox_Email;
  TEdit* edit_ExpertEmailReceiver1;
  TComboBox* combo_ExpertEmailType1;
  TEdit* edit_ExpertEmailSubject;
  TLabel* label_ExpertEmailSubject;
  TButton *button_ExpertCallAddressbook, *button_ExpertSendEmail;

  // Wizard.
  TPageControl* pagectrl_Wizard;
  TTabSheet *page_WizardStep1, *page_WizardStep2, *page_WizardStep3;
  TRadioButton *radiobtn_WizardOne2One, *radiobtn_WizardOne2Several;
  TScrollBox* scrbox_Wizard;
  TLabel *label_WizardSource1, *label_WizardDest;
  TPTShellCombo *pathcombo_WizardSource1, *pathcombo_WizardDest;
  TPTShellList *filelist_WizardSource1, *filelist_WizardDest;
  TSpeedButton *speedbtn_WizardSource1Up, *speedbtn_WizardDestUp;
  TCheckBox* chkbox_WizardActivateSource1;
  TComboBox* combo_WizardPatchType;
  TEdit* edit_WizardPatchname;
  TButton* button_WizardBrowse;
  TCheckBox* chkbox_WizardArchivePatch;
  TButton *button_WizardContinue, *WizardBack, *Abbrechen;
  TLabel *label_Mimi1, *label_Mimi2;

  // About.
  TBackdrop *backdrop_About, *backdrop_RCS;
  TLabel *label_AboutWeb, *label_AboutArtist;


  // The pickers.
  void FillSourceList(TTabSheet* page);
  // States of one pair appended to states (see pickerstates.h).
  void AddPickerSelection(TPTShellCombo* combo, TPTShellList* list, std::vector<std::string>& states);
  bool ValidateSources();
  void LayoutPickers();
  // The columns of one page (expert or wizard).
  void LayoutPickerColumns(bool expert);
  // One line of text in the control's font, in pixels.
  static int TextWidth(TControl* control, const std::string& text);
  // The width a closed drop-down list needs to show its longest item whole.
  static int WidthForItems(TComboBox* combo);
  // Adds the run-time pair after the box's pair (ticked) or removes the pair
  // after it (unticked).
  void ActivationClicked(TCheckBox* box, bool expert);
  void AddPickerPair(bool expert);
  void RemovePickerPair(bool expert, int tag);
  int AddedPairCount(bool expert) const;
  TPTShellCombo* AddedCombo(bool expert, int i) const;
  TPTShellList* AddedList(bool expert, int i) const;
  TCheckBox* AddedCheck(bool expert, int i) const;
  // All lists, for the view style.
  std::vector<TPTShellList*> AllFileLists() const;
  void ApplyFileListStyle(int style);
  // A single file dropped on list: the pair shows its folder and selects it.
  void PointPairAtFile(TPTShellList* list, const std::string& file);
  TPTShellCombo* ComboOfList(TPTShellList* list) const;
  // Stored selections back into the pickers, once, at the first show.
  void RestoreFileLists();
  void StorePickerFileList(TPTShellCombo* combo, TPTShellList* list, int n, bool expert);
  void RestorePickerFileList(TPTShellCombo* combo, TPTShellList* list, int n, bool expert);
  void SplitterDropped();
  void pagectrl_MainChange();
  void WizardStep(int delta);

  // Runs.
  void button_ExpertCreateClick();
  void button_WizardContinueClick();
  // Copies the packer settings into the engine's table and runs the patch
  // thread through the progress window.
  void StartPatchRun();
  // The extension of the expert's or the wizard's names (the page's, the
  // option's or both) follows their type, archive and packer choices.
  void UpdatePatchNames(bool expert, bool page, bool options);
  void UpdateSendButton();
  void button_ExpertSendEmailClick();
  // The e-mail pane's receiver rows, rebuilt from the receiver list.
  void BuildReceiverRows();
  void AddTypedReceiver();
  // Text of a row.
  static std::string ReceiverRowText(const std::string& email, const std::string& name);
  // "#" in a hint becomes a line break.
  static std::string HintText(const std::string& text);
  // The placeholder shown in the free receiver row.
  static const char* const kReceiverPlaceholder;

  // The patch-name browse buttons' dialog.
  TPTSaveDlg* savedialog_Patchname;

  // Fills the controls from the settings (the options' share of creation).
  void FormCreate();
  void FormClose(TObject* Sender, TCloseAction& Action);

  // Packer n (1..7) is the one whose settings the archiving page shows.
  void ShowPackerSettings(int n);
  // Asks for a patch file name, starting from edit's text, and puts the
  // choice into edit.
  void BrowsePatchName(TEdit* edit);
  // A new tab of control, owned by this window.
  TTabSheet* AddPage(TPageControl* control, const std::string& name, const std::string& caption);
  // Shows a window's position mode in its group without storing it again.
  void ShowPositionMode(TRadioGroup* group, int mode);
  // The archive-box captions follow the packers chosen.
  void UpdateArchiveCaptions();
  // The file beside the program that holds the e-mail template.
  static std::string TemplatePath();

 protected:
  void KeyUp(WORD& key, TShiftState shift) override;
  void WndProc(TMessage& m) override;

 private:
  void BuildPages();
  void BuildExpertPage();
  void BuildWizardPage();
  void BuildAboutPages();
  void HookRunControls();
  void MakeFixedPair(TWinControl* parent, bool expert, bool source, TLabel*& label, TPTShellCombo*& combo,
                     TPTShellList*& list, TSpeedButton*& up, TCheckBox** activate);
  void SetupList(TPTShellList* list, TPTShellCombo* combo);
  void PickerChanged();
  void FirstShow();
  void FitSplitter();
  bool shown_once_ = false;
  std::vector<TControl*> expert_column_;
  bool last_valid_ = false;
  std::vector<std::string> last_states_;
  bool laying_out_ = false;
  bool validating_ = false;
  std::vector<PickerDropTarget*> drop_targets_;
  void BuildOptionPages();
  void ShowProfile();
  int ExternalPackerChoice(TRadioButton* internal, TComboBox* combo) const;
  bool filling_ = false;
};

extern TForm1* Form1;
