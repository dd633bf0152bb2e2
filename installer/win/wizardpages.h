// The installer's pages: each a page form with the dialog component that
// places it on the setup form.  Texts are the English defaults that the
// translator replaces; every wizard page shows the theme bitmap in its
// left panel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialogmgr.h"
#include "installfile.h"
#include "win/comctrls.h"
#include "win/listview.h"
#include "win/translatecontrols.h"
#include "win/treeview.h"

// Page registrations without a dialog, and the form loader's classes.
// Call once at start-up.
void RegisterWizardPages();

// The bitmap every page shows when its dialog has none: the resource
// "INSTALLTHEME1" of the program, when it is linked in.
bool LoadInstallTheme(TBitmap& bitmap);

// ---------------------------------------------------------------------------
// Common page frame

class TQuenlowPageForm : public TBaseInstallForm {
 public:
  // withFinish: the page ends the wizard with a Finish button instead of
  // offering Cancel.
  TQuenlowPageForm(TComponent* owner, const std::string& caption, bool withFinish);

  TPanel* ThemePanel;
  TImage* ThemeImage;
  TPanel* ButtonLine;
  TTranslateBitBtn* BackBtn;
  TTranslateBitBtn* ProceedBtn;
  TTranslateBitBtn* CancelBtn = nullptr;
  TTranslateBitBtn* FinishBtn = nullptr;
  // False where the dialog takes the way back away for good.
  bool BackAllowed = true;

  // The dialog has given its properties: buttons, bitmap, texts.
  virtual void DialogAssigned();
  void ShowPage() override;
  void CloseRequested() override;

 protected:
  // A word-wrapped text in the page's right part.
  TTranslateLabel* AddText(const std::string& name, const std::string& text, int glid, int top, int height);
  TTranslateBitBtn* AddButton(const std::string& name, const std::string& caption, int glid, int left);
  // The left edge and width of the page's right part.
  static const int ContentLeft = 152;
  static const int ContentWidth = 306;
  static const int ButtonTop = 328;
};

class TWelcomeForm : public TQuenlowPageForm {
 public:
  explicit TWelcomeForm(TComponent* owner);
  TTranslateLabel *Text1, *Text2, *Text3;
};

class TRebootForm : public TQuenlowPageForm {
 public:
  explicit TRebootForm(TComponent* owner);
  TTranslateLabel* Text1;
  TRadioGroup* RebootGroup;
  void ShowPage() override;
};

class TGoodInstallForm : public TQuenlowPageForm {
 public:
  explicit TGoodInstallForm(TComponent* owner);
  TTranslateLabel* Text1;
};

class TBadInstallForm : public TQuenlowPageForm {
 public:
  explicit TBadInstallForm(TComponent* owner);
  TTranslateLabel* Text1;
};

class TSelectFolderForm : public TQuenlowPageForm {
 public:
  explicit TSelectFolderForm(TComponent* owner);
  TTranslateLabel *Text1, *FolderLabel, *ExistingLabel;
  TEdit* FolderEdit;
  TListBox* FolderListBox;
  bool Skip() override;
  void ShowPage() override;
  // Goes on only with a folder the links can be made in; otherwise says
  // why and stays.
  void Next() override;
  // The program folders that exist now.
  static std::vector<std::string> ExistingFolders();

 private:
  bool filled_ = false;
};

// ---- the component page ----

class TGroupTreeView : public TCustomTreeView {
 public:
  explicit TGroupTreeView(TComponent* owner);
  // One node for the root and each file container below it, expanded.
  void Build(TFileContainer* root);
  TFileContainer* ContainerOf(TTreeNode* node) const {
    return node ? static_cast<TFileContainer*>(node->Data) : nullptr;
  }
  TTreeNode* NodeOf(TFileContainer* c);
  // The nodes on screen, top to bottom, with their rows' tops.
  std::vector<std::pair<TTreeNode*, int>> VisibleNodes();
  TNotifyEvent OnLayoutChanged;

 protected:
  void CNNotify(TMessage& m) override;

 private:
  void AddNode(TTreeNode* parent, TFileContainer* c);
};

class TIncludeCheckBox : public TCheckBox {
 public:
  using TCheckBox::TCheckBox;
  TFileContainer* Container = nullptr;
};

class TSizeLabel : public TLabel {
 public:
  using TLabel::TLabel;
  TFileContainer* Container = nullptr;
};

class TDriveSpaceListView : public TCustomListView {
 public:
  explicit TDriveSpaceListView(TComponent* owner);
  ~TDriveSpaceListView() override;
  // One line per drive that an included container's destination starts
  // with: required and free bytes; the warning image where it does not fit.
  void Fill(TFileContainer* root);
  // Free bytes of a drive ("C:\"), from the 64-bit query; -1 when unknown.
  static int64_t FreeBytes(char drive);
  // Answers FreeBytes instead of the system (tests).
  static std::function<int64_t(char drive)> FreeBytesHook;
  const std::vector<TDriveNeed>& Needs() const { return needs_; }
  TImageList* Warnings;
  static const int MinColumnWidth = 120;
  // Widens the columns where their texts need it (translated captions
  // too).
  void FitColumns();

 private:
  std::vector<TDriveNeed> needs_;
};

class TFileGroupSelectForm : public TQuenlowPageForm {
 public:
  explicit TFileGroupSelectForm(TComponent* owner);
  TTranslateLabel* Text1;
  TPanel* CheckPanel;
  TGroupTreeView* GroupTree;
  TPanel* SizePanel;
  TPanel *CheckSpacer, *SizeSpacer;
  TTranslateLabel *DestCaption, *DestLabel, *DescCaption, *DescLabel;
  TTranslateBitBtn* BrowseBtn;
  TPanel* DrivePanel;
  TDriveSpaceListView* DriveList;

  bool Skip() override;
  void DialogAssigned() override;
  void ShowPage() override;
  // Builds the tree of the form's container.
  void Build();
  // Check boxes and size labels beside the visible nodes.
  void LayoutColumns();
  void RefreshAll();
  void ShowDetails();
  TIncludeCheckBox* CheckBoxOf(TFileContainer* c);
  TSizeLabel* SizeLabelOf(TFileContainer* c);
  TFileContainer* Root() const { return root_; }

 private:
  TFileContainer* root_ = nullptr;
  bool built_ = false;
  std::vector<TIncludeCheckBox*> boxes_;
  std::vector<TSizeLabel*> sizes_;
  bool laying_ = false;
};

// ---- the windows outside the wizard ----

class TCopyFileForm : public TBaseDuringCopyForm {
 public:
  explicit TCopyFileForm(TComponent* owner);
  TTranslateLabel *HeaderLabel, *NameLabel, *FileLabel, *TotalLabel;
  TProgressBar *FileBar, *TotalBar, *TransferGauge;
  TImage* TransferImage;
  TTranslateBitBtn* CancelBtn;
  void UpdateStatus(TFileStatusParameter* fileStatus, TDownloadStatusParameter* downloadStatus) override;

 private:
  // The name, shortened in its folders where the label is too narrow.
  void ShowName(const std::string& name);
};

class TChangeDiskForm : public TBaseChangeDiskForm {
 public:
  explicit TChangeDiskForm(TComponent* owner);
  TTranslateLabel *DiskLabel, *Text1, *PathLabel;
  TEdit* PathEdit;
  TTranslateBitBtn *BrowseBtn, *InstallBtn, *CancelBtn;
  void ShowHook() override;
  // The shell's folder browser; tests answer it instead.
  static std::function<bool(HWND owner, std::string& path)> BrowseHook;
  static bool BrowseForFolder(HWND owner, std::string& path);
};

class TInstallStatusForm : public TBaseQuenlowForm {
 public:
  explicit TInstallStatusForm(TComponent* owner);
  TPanel *ImagePanel, *MarginPanel, *TextPanel;
  TImage* StatusImage;
  TLabel* StatusLabel;
  // Lays the text out on one line, sizes and centres the window.
  void ShowText(const std::string& text);
};

// ---------------------------------------------------------------------------
// Dialog components

class TWelcomeDlg : public TBaseInstallDlg {
 public:
  explicit TWelcomeDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
};

class TInstallFileGroupsDlg : public TBaseInstallDlg {
 public:
  explicit TInstallFileGroupsDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
};

class TSelectFolderDlg : public TBaseInstallDlg {
 public:
  explicit TSelectFolderDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void SetContainer(TInstallContainer* value) override;
  void Loaded() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
};

class TRebootDlg : public TBaseInstallDlg {
 public:
  explicit TRebootDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
};

class TGoodInstallationDlg : public TBaseInstallDlg {
 public:
  explicit TGoodInstallationDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
};

class TBadInstallationDlg : public TBaseInstallDlg {
 public:
  explicit TBadInstallationDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
};

class TCopyFileDlg : public TCustomBaseInstallDlg {
 public:
  explicit TCopyFileDlg(TComponent* owner);
  ~TCopyFileDlg() override;
  TQuenlowDialogPosition Position() const { return position_; }
  void SetPosition(TQuenlowDialogPosition v) { position_ = v; }
  int RelativeLeftOffset() const { return relLeft_; }
  void SetRelativeLeftOffset(int v) { relLeft_ = v; }
  int RelativeTopOffset() const { return relTop_; }
  void SetRelativeTopOffset(int v) { relTop_ = v; }
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void AssignDialogProperties() override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
  void PublishProperties(TPropList& list) const override;
  // The window this dialog shows by itself (without a manager).
  TCopyFileForm* OwnForm() const { return own_; }

 private:
  void CloseOwnForm();
  TQuenlowDialogPosition position_ = qdpCenter;
  int relLeft_ = 0, relTop_ = 0;
  bool placed_ = false;
  TCopyFileForm* own_ = nullptr;
};

class TChangeDiskDlg : public TCustomBaseInstallDlg {
 public:
  explicit TChangeDiskDlg(TComponent* owner);
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
};

class TInstallStatusDlg : public TCustomBaseInstallDlg {
 public:
  explicit TInstallStatusDlg(TComponent* owner);
  ~TInstallStatusDlg() override;
  TBaseQuenlowForm* FormClass(TComponent* owner) override;
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
  TInstallStatusForm* StatusForm() const { return form_; }
  const TStatusStack& Stack() const { return stack_; }

 private:
  TStatusStack stack_;
  TInstallStatusForm* form_ = nullptr;
};
