// The installer's user interface: dialog components place page forms on
// the setup form, and a dialog manager shows them when the install
// messages come: as a wizard frame with Back and Next before the install,
// after a good or bad install and before a reboot; as modeless progress
// windows while files are copied; as a modal change-disk window.
#pragma once

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "container.h"
#include "languages.h"
#include "wizardlayout.h"
#include "win/comctrls.h"
#include "win/extctrls.h"
#include "win/forms.h"

class TDialogManager;
class TCustomBaseInstallDlg;
class TBaseFormContainer;

// What the pages need of the install driver beyond the container tree.
struct TWizardSeams {
  // Asked by every Cancel button; true lets the installation end.  Empty:
  // the driver's own UserAbort where it has one, else true.
  std::function<bool()> UserAbort;
};
TWizardSeams& WizardSeams();
// The driver's answer (true without a driver).
bool AskUserAbort();

// ---------------------------------------------------------------------------
// Page forms

class TBaseQuenlowForm : public TForm {
 public:
  explicit TBaseQuenlowForm(TComponent* owner);
  ~TBaseQuenlowForm() override;

  bool AutoSetFont = true;
  bool AutoTranslate = true;
  TInstallContainer* Container = nullptr;
  bool OverrideTranslator = false;
  TQnlwLanguage Language = qlUser;
  // The language the form's texts are in now.
  TQnlwLanguage TranslationState = qlEnglish;
  TQnlwLanguage LanguageDefault = qlUser;

  // Runs before the form becomes visible: translates it.
  virtual void ShowHook();
  virtual void AfterShowHook() {}
  virtual void TranslateForm();
  void SetVisible(bool v) override;
};
// Every live page form.
const std::vector<TBaseQuenlowForm*>& QuenlowFormList();

class TBaseInstallForm : public TBaseQuenlowForm {
 public:
  explicit TBaseInstallForm(TComponent* owner);
  TCustomBaseInstallDlg* DC = nullptr;
  TDialogManager* DM = nullptr;
  int Order = 0;

  // The frame that hosts the page, or nil when it is shown on its own.
  TBaseFormContainer* Frame() const;

  virtual bool IsFirstPage();
  virtual bool IsLastPage();
  virtual void Leaving() {}
  virtual void Abort();
  virtual void Next();
  virtual void Back();
  // The page comes to the front.
  virtual void ShowPage() {}
  virtual bool Skip() { return false; }
  virtual void Cancel();
  // The user closes the frame (system menu, Alt+F4) while this page shows,
  // or the page itself when it is shown alone.
  virtual void CloseRequested() { Cancel(); }
  // A page shown alone follows the same rules as in a frame.
  void AfterShowHook() override;
  void WndProc(TMessage& m) override;
};

class TBaseDuringCopyForm : public TBaseQuenlowForm {
 public:
  // DM starts as the copy-files manager inside the driver.
  explicit TBaseDuringCopyForm(TComponent* owner);
  TDialogManager* DM = nullptr;
  TCustomBaseInstallDlg* DC = nullptr;
  virtual void Cancel();
  virtual void UpdateStatus(TFileStatusParameter* fileStatus, TDownloadStatusParameter* downloadStatus) {}
};

class TBaseChangeDiskForm : public TBaseQuenlowForm {
 public:
  // DM starts as the change-disk manager inside the driver.
  explicit TBaseChangeDiskForm(TComponent* owner);
  TDialogManager* DM = nullptr;
  TCustomBaseInstallDlg* DC = nullptr;
  TDiskParameter* DiskParameter = nullptr;
  virtual void Cancel();
};

// The wizard frame: Tabs keeps one tab per page, DisplayPanel hosts the
// page in front.
class TBaseFormContainer : public TForm {
 public:
  explicit TBaseFormContainer(TComponent* owner);
  TTabControl* Tabs;
  TPanel* DisplayPanel;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TBaseInstallForm* Pages(int i) const { return pages_[static_cast<size_t>(i)]; }
  // Hosts the page (a borderless child over DisplayPanel) with a tab.
  void AddPage(TBaseInstallForm* page);
  // By Order, ascending; equal orders keep their building order.
  void SortPages();
  int CurrentPage() const { return current_; }
  TBaseInstallForm* ActivePage() const { return current_ < 0 ? nullptr : pages_[static_cast<size_t>(current_)]; }
  // False when no page at or beyond index (in the direction of travel)
  // can be shown.
  bool ShowPage(int index, bool backwards);
  void Back();
  void Next();
  bool IsFirstPage();
  bool IsLastPage();
  // True while a page is being brought up (its translation lets messages
  // through); Back and Next wait for it.
  bool PageChanging() const { return changing_; }
  // Whether any page can be shown at all.
  bool HasShowablePage();
  // Moves every page onto DisplayPanel.
  void PlacePages();

  void WndProc(TMessage& m) override;

 private:
  std::vector<bool> Skips();
  std::vector<TBaseInstallForm*> pages_;
  int current_ = -1;
  bool changing_ = false;
};

// ---------------------------------------------------------------------------
// The manager

class TDialogManager : public TInstallObject {
 public:
  explicit TDialogManager(TComponent* owner);
  ~TDialogManager() override;
  int RegisteredType() const override { return rtDialog; }

  TManagerType ManagerType() const { return managerType_; }
  void SetManagerType(TManagerType v) { managerType_ = v; }
  TQuenlowDialogPosition Position() const { return position_; }
  void SetPosition(TQuenlowDialogPosition v) { position_ = v; }
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  int Height() const { return height_; }
  void SetHeight(int v) { height_ = v; }
  int RelativeLeftOffset() const { return relLeft_; }
  void SetRelativeLeftOffset(int v) { relLeft_ = v; }
  int RelativeTopOffset() const { return relTop_; }
  void SetRelativeTopOffset(int v) { relTop_ = v; }

  void AddDialog(TCustomBaseInstallDlg* dialog);
  void RemoveDialog(TCustomBaseInstallDlg* dialog);
  int DialogCount() const { return static_cast<int>(dialogs_.size()); }
  TCustomBaseInstallDlg* Dialogs(int i) const { return dialogs_[static_cast<size_t>(i)]; }
  const std::vector<TBaseDuringCopyForm*>& ProgressForms() const { return progress_; }
  // The frame while the wizard runs.
  TBaseFormContainer* Frame() const { return frame_; }

  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override;
  virtual void RunWizard();
  void UpdateProgress(TFileStatusParameter* fileStatus, TDownloadStatusParameter* downloadStatus);
  void CloseProgressForms();
  virtual void ChangeDisk(TObject* parameter);

  void Notification(TComponent* component, TOperation operation) override;
  void PublishProperties(TPropList& list) const override;

 private:
  void OpenProgressForms();
  TManagerType managerType_ = dmBeforeInstall;
  TQuenlowDialogPosition position_ = qdpCenter;
  int width_ = 478, height_ = 395;
  int relLeft_ = 0, relTop_ = 0;
  std::vector<TCustomBaseInstallDlg*> dialogs_;
  std::vector<TBaseDuringCopyForm*> progress_;
  bool progressOpen_ = false;
  TBaseFormContainer* frame_ = nullptr;
};

// The manager whose wizard or change-disk window is up, or nil.
TDialogManager* CurrentDialogManager();
// The manager of that type whose container is the driver, or nil.
TDialogManager* FindDialogManager(TManagerType type);
// Places a form by the manager's rule on this screen.
void PlaceForm(TForm* form, TQuenlowDialogPosition position, int relativeLeft, int relativeTop);

// ---------------------------------------------------------------------------
// Dialog components

class TCustomBaseInstallDlg : public TInstallObject {
 public:
  explicit TCustomBaseInstallDlg(TComponent* owner);
  ~TCustomBaseInstallDlg() override;
  int RegisteredType() const override { return rtDialog; }

  bool AutoSetFont() const { return autoSetFont_; }
  void SetAutoSetFont(bool v) { autoSetFont_ = v; }
  bool AutoTranslate() const { return autoTranslate_; }
  void SetAutoTranslate(bool v) { autoTranslate_ = v; }
  TDialogManager* DialogManager() const { return manager_; }
  // Position among the wizard pages (not among the container's children).
  int Order() const { return pageOrder_; }
  void SetOrder(int v) { pageOrder_ = v; }
  bool OverrideMainTranslator() const { return overrideMain_; }
  void SetOverrideMainTranslator(bool v) { overrideMain_ = v; }
  TPicture* ThemeBitmap() { return &theme_; }
  TQnlwLanguage TranslateIntoLanguage() const { return into_; }
  void SetTranslateIntoLanguage(TQnlwLanguage v) { into_ = v; }
  TNotifyEvent OnBeforeExecute, OnAfterExecute;

  // The page while it exists.
  TBaseQuenlowForm* Form() const { return form_; }
  void SetForm(TBaseQuenlowForm* form) { form_ = form; }

  virtual void SetDialogManager(TDialogManager* value);
  virtual void SetThemeBitmap(TPicture* value);
  virtual void Translate();
  virtual void AssignDialogProperties();
  virtual bool Execute();
  virtual bool ShowModalForm();
  // Makes the dialog's page form.
  virtual TBaseQuenlowForm* FormClass(TComponent* owner) = 0;
  virtual bool Enabled() { return true; }
  void Retranslate() override { Translate(); }

  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void PublishProperties(TPropList& list) const override;

 protected:
  // Takes the manager of this type inside the driver, when there is one.
  void TakeManagerOfType(TManagerType type);

 private:
  bool autoSetFont_ = true;
  bool autoTranslate_ = true;
  TDialogManager* manager_ = nullptr;
  bool managerStreamed_ = false;
  bool managerSought_ = false;
  TManagerType soughtType_ = dmBeforeInstall;
  int pageOrder_ = -1;
  bool overrideMain_ = false;
  TPicture theme_;
  TQnlwLanguage into_ = qlUser;
  TBaseQuenlowForm* form_ = nullptr;
};

class TBaseInstallDlg : public TCustomBaseInstallDlg {
 public:
  using TCustomBaseInstallDlg::TCustomBaseInstallDlg;
};

// ---------------------------------------------------------------------------
// Page registries, filled by the page units at start-up and by each dialog
// component for itself.

using TPageFactory = std::function<TBaseQuenlowForm*(TComponent* owner)>;

// An entry without a dialog stands back when a dialog has registered the
// same class: a page is made once, for its dialog.
struct TWizardPageEntry {
  const std::type_info* Class = nullptr;
  TPageFactory FormClass;
  TCustomBaseInstallDlg* Dialog = nullptr;
  int Number = 0;
};
using TProgressFormEntry = TWizardPageEntry;
using TChangeDiskFormEntry = TWizardPageEntry;

void RegisterWizardPage(const std::type_info& cls, TPageFactory formClass, TCustomBaseInstallDlg* dialog, int number);
void RegisterProgressForm(const std::type_info& cls, TPageFactory formClass, TCustomBaseInstallDlg* dialog,
                          int number);
void RegisterChangeDiskForm(const std::type_info& cls, TPageFactory formClass, TCustomBaseInstallDlg* dialog,
                            int number);
template <class F>
TPageFactory PageFactory() {
  return [](TComponent* owner) -> TBaseQuenlowForm* { return new F(owner); };
}
template <class F>
void RegisterWizardPage(TCustomBaseInstallDlg* dialog, int number) {
  RegisterWizardPage(typeid(F), PageFactory<F>(), dialog, number);
}
template <class F>
void RegisterProgressForm(TCustomBaseInstallDlg* dialog, int number) {
  RegisterProgressForm(typeid(F), PageFactory<F>(), dialog, number);
}
template <class F>
void RegisterChangeDiskForm(TCustomBaseInstallDlg* dialog, int number) {
  RegisterChangeDiskForm(typeid(F), PageFactory<F>(), dialog, number);
}
// Drops every entry of the dialog (it is going).
void UnregisterDialogPages(TCustomBaseInstallDlg* dialog);
int WizardPageCount();
// Raises on a bad index or an entry without a form class.
const TWizardPageEntry& WizardPageEntry(int index);
const std::vector<TProgressFormEntry>& ProgressFormRegistry();
const std::vector<TChangeDiskFormEntry>& ChangeDiskFormRegistry();
// Whether a dialog's entry of the same class stands in for this one.
bool EntryShadowed(const std::vector<TWizardPageEntry>& list, const TWizardPageEntry& entry);
