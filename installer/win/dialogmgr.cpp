#include "dialogmgr.h"

#include <algorithm>
#include <type_traits>
#include <utility>

#include "exceptions.h"
#include "installfile.h"
#include "translator.h"
#include "win/install.h"

namespace {

// The driver may or may not ask its OnUserAbort yet; use it where it does.
template <class T, class = void>
struct HasUserAbort : std::false_type {};
template <class T>
struct HasUserAbort<T, std::void_t<decltype(std::declval<T&>().UserAbort())>> : std::true_type {};

template <class T>
bool DriverUserAbort(T* driver) {
  if constexpr (HasUserAbort<T>::value)
    return driver ? static_cast<bool>(driver->UserAbort()) : true;
  else
    return true;
}

// The lists outlive static destruction: forms the application owns are freed
// after it.
std::vector<TBaseQuenlowForm*>& FormList() {
  static auto* list = new std::vector<TBaseQuenlowForm*>;
  return *list;
}

TDialogManager* gCurrentManager = nullptr;

std::vector<TWizardPageEntry>& WizardRegistry() {
  static auto* list = new std::vector<TWizardPageEntry>;
  return *list;
}
std::vector<TProgressFormEntry>& ProgressRegistry() {
  static auto* list = new std::vector<TProgressFormEntry>;
  return *list;
}
std::vector<TChangeDiskFormEntry>& ChangeDiskRegistry() {
  static auto* list = new std::vector<TChangeDiskFormEntry>;
  return *list;
}

// Sets the current manager for a while and clears it again, also when the
// wizard ends with an exception.
class TCurrentManager {
 public:
  explicit TCurrentManager(TDialogManager* m) { gCurrentManager = m; }
  ~TCurrentManager() { gCurrentManager = nullptr; }
};

// A window made for a dialog belongs to that dialog's manager, not to the
// driver's manager of its type: a dialog without a manager shows its own
// window on its own messages, and a second one from the manager would stand
// on top of it.
template <class F>
void AdoptDialog(F* form, TCustomBaseInstallDlg* dialog) {
  if (!form || !dialog) return;
  form->DC = dialog;
  form->DM = dialog->DialogManager();
}

const std::vector<std::string> kManagerTypeNames = {"dmBeforeInstall",   "dmAfterGoodInstall", "dmAfterBadInstall",
                                                    "dmDuringCopyFiles", "dmChangeDisk",       "dmReboot"};
const std::vector<std::string> kPositionNames = {"qdpCenterLeft", "qdpCenter",       "qdpCenterRight",
                                                 "qdpBottomLeft", "qdpBottomCenter", "qdpBottomRight",
                                                 "qdpTopLeft",    "qdpTopCenter",    "qdpTopRight"};
const std::vector<std::string> kLanguageNames = {
    "qlChineseSimplified", "qlCzech",  "qlDanish",  "qlEnglish",   "qlFrench",    "qlGerman",
    "qlGreek",             "qlHebrew", "qlItalian", "qlJapanese",  "qlKorean",    "qlPolish",
    "qlPortugese",         "qlRussian", "qlSpanish", "qlUser",     "qlVietnamese"};

}  // namespace

TWizardSeams& WizardSeams() {
  static TWizardSeams seams;
  return seams;
}

bool AskUserAbort() {
  if (WizardSeams().UserAbort) return WizardSeams().UserAbort();
  return DriverUserAbort(InstallInstance());
}

// ---------------------------------------------------------------------------
// Page forms

TBaseQuenlowForm::TBaseQuenlowForm(TComponent* owner) : TForm(owner) {
  Font().SetCharset(DEFAULT_CHARSET);
  FormList().push_back(this);
}

TBaseQuenlowForm::~TBaseQuenlowForm() {
  auto& l = FormList();
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}

const std::vector<TBaseQuenlowForm*>& QuenlowFormList() { return FormList(); }

void TBaseQuenlowForm::ShowHook() { TranslateForm(); }

void TBaseQuenlowForm::TranslateForm() {
  if (AutoSetFont) {
    if (OverrideTranslator)
      TranslateFormFontInto(Language, this, false);
    else
      TranslateFormFont(this, false);
  }
  if (AutoTranslate) {
    if (OverrideTranslator)
      TranslationState = TranslateFormInto(TranslationState, Language, this);
    else
      TranslationState = ::TranslateForm(TranslationState, this);
  }
  if (Application) Application->ProcessMessages();
}

void TBaseQuenlowForm::SetVisible(bool v) {
  if (v && !Visible()) ShowHook();
  TForm::SetVisible(v);
  if (v) AfterShowHook();
}

TBaseInstallForm::TBaseInstallForm(TComponent* owner) : TBaseQuenlowForm(owner) {}

TBaseFormContainer* TBaseInstallForm::Frame() const { return dynamic_cast<TBaseFormContainer*>(Owner()); }

bool TBaseInstallForm::IsFirstPage() {
  TBaseFormContainer* f = Frame();
  return f ? f->IsFirstPage() : true;
}

bool TBaseInstallForm::IsLastPage() {
  TBaseFormContainer* f = Frame();
  return f ? f->IsLastPage() : true;
}

void TBaseInstallForm::Abort() {
  if (TBaseFormContainer* f = Frame())
    f->ModalResult = mrAbort;
  else
    ModalResult = mrAbort;
}

void TBaseInstallForm::Next() {
  if (TBaseFormContainer* f = Frame())
    f->Next();
  else
    ModalResult = mrOk;
}

void TBaseInstallForm::Back() {
  if (TBaseFormContainer* f = Frame()) f->Back();
}

void TBaseInstallForm::AfterShowHook() {
  if (!Frame()) ShowPage();
}

void TBaseInstallForm::WndProc(TMessage& m) {
  if (m.Msg == WM_CLOSE && !Frame() && Modal()) {
    CloseRequested();
    m.Result = 0;
    return;
  }
  TBaseQuenlowForm::WndProc(m);
}

void TBaseInstallForm::Cancel() {
  if (AskUserAbort()) Abort();
}

TBaseDuringCopyForm::TBaseDuringCopyForm(TComponent* owner)
    : TBaseQuenlowForm(owner), DM(FindDialogManager(dmDuringCopyFiles)) {}

TBaseChangeDiskForm::TBaseChangeDiskForm(TComponent* owner)
    : TBaseQuenlowForm(owner), DM(FindDialogManager(dmChangeDisk)) {}

void TBaseDuringCopyForm::Cancel() {
  if (!AskUserAbort()) return;
  GlobalArchiveReader()->SetAbort(true);
  NetInstallCancel = true;
  ModalResult = mrCancel;
  if (!Modal()) Hide();
}

void TBaseChangeDiskForm::Cancel() {
  if (AskUserAbort()) ModalResult = mrAbort;
}

// ---------------------------------------------------------------------------
// The frame

TBaseFormContainer::TBaseFormContainer(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetBounds(0, 0, 478, 395);
  Tabs = new TTabControl(this);
  Tabs->SetName("Tabs");
  Tabs->SetParent(this);
  Tabs->SetBounds(0, 0, 0, 0);
  // The wizard moves by its buttons; the tabs only keep count.
  Tabs->SetVisible(false);
  Tabs->OnChanging = [this](TObject*, bool&) {
    if (TBaseInstallForm* p = ActivePage()) p->Leaving();
  };
  DisplayPanel = new TPanel(this);
  DisplayPanel->SetName("DisplayPanel");
  DisplayPanel->SetParent(this);
  DisplayPanel->SetBevelOuter(bvNone);
  DisplayPanel->SetAlign(alClient);
  DisplayPanel->SetCaption("");
  OnResize = [this](TObject*) { PlacePages(); };
  OnShow = [this](TObject*) {
    if (!ShowPage(0, true) && !ShowPage(0, false)) ModalResult = mrOk;
  };
}

void TBaseFormContainer::AddPage(TBaseInstallForm* page) {
  page->SetBorderStyle(bsNone);
  page->SetParent(DisplayPanel);
  RECT r = DisplayPanel->ClientRect();
  page->SetBounds(0, 0, r.right - r.left, r.bottom - r.top);
  pages_.push_back(page);
  Tabs->Tabs().Add(page->Caption());
}

void TBaseFormContainer::SortPages() {
  std::stable_sort(pages_.begin(), pages_.end(),
                   [](TBaseInstallForm* a, TBaseInstallForm* b) { return a->Order < b->Order; });
  Tabs->Tabs().Clear();
  for (TBaseInstallForm* p : pages_) Tabs->Tabs().Add(p->Caption());
}

std::vector<bool> TBaseFormContainer::Skips() {
  std::vector<bool> s;
  for (TBaseInstallForm* p : pages_) s.push_back(p->Skip());
  return s;
}

bool TBaseFormContainer::HasShowablePage() { return FindShownPage(Skips(), 0, false) >= 0; }

bool TBaseFormContainer::ShowPage(int index, bool backwards) {
  if (index < 0 || index >= PageCount()) return false;
  // Translating lets messages through: a second click meanwhile must not
  // start another move.
  struct TChanging {
    bool& flag;
    explicit TChanging(bool& f) : flag(f) { flag = true; }
    ~TChanging() { flag = false; }
  } changing(changing_);
  // Each page decides about skipping when it is reached.
  const int target = FindShownPage(Skips(), index, backwards);
  if (target < 0) return false;
  if (target != current_) {
    if (TBaseInstallForm* leaving = ActivePage()) leaving->Leaving();
  }
  current_ = target;
  TBaseInstallForm* page = pages_[static_cast<size_t>(target)];
  if (Tabs->TabIndex() != target) Tabs->SetTabIndex(target);
  SetCaption(page->Caption());
  for (TBaseInstallForm* p : pages_)
    if (p != page && p->Visible()) p->Hide();
  page->TranslateForm();
  page->Show();
  page->BringToFront();
  page->ShowPage();
  return true;
}

void TBaseFormContainer::Back() {
  if (changing_) return;
  if (!ShowPage(current_ - 1, true)) ShowPage(current_ - 1, false);
}

void TBaseFormContainer::Next() {
  if (changing_) return;
  const int before = current_;
  if (!ShowPage(current_ + 1, false)) ShowPage(current_ + 1, true);
  if (current_ == before) ModalResult = mrOk;
}

bool TBaseFormContainer::IsFirstPage() {
  for (int i = 0; i < current_ && i < PageCount(); ++i)
    if (!Pages(i)->Skip()) return false;
  return true;
}

bool TBaseFormContainer::IsLastPage() { return current_ == PageCount() - 1; }

void TBaseFormContainer::PlacePages() {
  RECT r = DisplayPanel->ClientRect();
  for (TBaseInstallForm* p : pages_) p->SetBounds(0, 0, r.right - r.left, r.bottom - r.top);
}

void TBaseFormContainer::WndProc(TMessage& m) {
  // Closing the frame from its system menu or with Alt+F4 is what the
  // page's Cancel or Finish button would do; a bare mrCancel would pass for
  // a finished wizard.
  if (m.Msg == WM_CLOSE) {
    if (TBaseInstallForm* p = ActivePage())
      p->CloseRequested();
    else if (AskUserAbort())
      ModalResult = mrAbort;
    m.Result = 0;
    return;
  }
  TForm::WndProc(m);
}

// ---------------------------------------------------------------------------
// The manager

TDialogManager::TDialogManager(TComponent* owner) : TInstallObject(owner) {}

TDialogManager::~TDialogManager() {
  CloseProgressForms();
  for (TCustomBaseInstallDlg* d : std::vector<TCustomBaseInstallDlg*>(dialogs_))
    if (d->DialogManager() == this) d->SetDialogManager(nullptr);
  if (gCurrentManager == this) gCurrentManager = nullptr;
}

void TDialogManager::AddDialog(TCustomBaseInstallDlg* dialog) {
  if (!dialog) throw Exception(Format(TranslateText("Cannot add a NIL Dialog to the Dialog Manager %s"), {Name()}));
  if (std::find(dialogs_.begin(), dialogs_.end(), dialog) == dialogs_.end()) dialogs_.push_back(dialog);
}

void TDialogManager::RemoveDialog(TCustomBaseInstallDlg* dialog) {
  dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), dialog), dialogs_.end());
}

void TDialogManager::Notification(TComponent* component, TOperation operation) {
  TInstallObject::Notification(component, operation);
  if (operation != opRemove) return;
  dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), component), dialogs_.end());
  progress_.erase(std::remove(progress_.begin(), progress_.end(), component), progress_.end());
}

void TDialogManager::ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) {
  switch (code) {
    case imManagerBeforeInstall:
      if (managerType_ == dmBeforeInstall) RunWizard();
      break;
    case imManagerGoodEnd:
      if (managerType_ == dmAfterGoodInstall) RunWizard();
      break;
    case imManagerBadEnd:
      if (managerType_ == dmAfterBadInstall) RunWizard();
      break;
    case imRebootNeeded:
      if (managerType_ == dmReboot) RunWizard();
      break;
    case imFileStatus:
      if (managerType_ != dmDuringCopyFiles) break;
      if (!parameter) throw IException("%s got a nil PO parameter", {Name()});
      if (!dynamic_cast<TFileStatusParameter*>(parameter))
        throw IException("The PO object passed to %s is not a TFileStatusParameter object", {Name()});
      UpdateProgress(static_cast<TFileStatusParameter*>(parameter), nullptr);
      break;
    case imDownloadStatus:
      if (managerType_ != dmDuringCopyFiles) break;
      if (!parameter) throw IException("%s got a nil PO parameter", {Name()});
      if (!dynamic_cast<TDownloadStatusParameter*>(parameter))
        throw IException("The PO object passed to %s is not a TDownloadStatusParameter object", {Name()});
      UpdateProgress(nullptr, static_cast<TDownloadStatusParameter*>(parameter));
      break;
    case imFilesDone:
      if (managerType_ == dmDuringCopyFiles) CloseProgressForms();
      break;
    case imNewDisk:
      if (managerType_ == dmChangeDisk) ChangeDisk(parameter);
      break;
    default:
      break;
  }
}

void PlaceForm(TForm* form, TQuenlowDialogPosition position, int relativeLeft, int relativeTop) {
  TDialogPlace p = PlaceDialog(position, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), form->Width(),
                               form->Height(), GetSystemMetrics(SM_CYCAPTION), relativeLeft, relativeTop);
  form->SetBounds(p.Left, p.Top, form->Width(), form->Height());
}

void TDialogManager::RunWizard() {
  TCurrentManager current(this);
  std::unique_ptr<TBaseFormContainer> frame(new TBaseFormContainer(Application));
  frame->Position = poDesigned;
  frame->SetBounds(0, 0, width_, height_);
  PlaceForm(frame.get(), position_, relLeft_, relTop_);

  for (int i = 0; i < WizardPageCount(); ++i) {
    const TWizardPageEntry& entry = WizardPageEntry(i);
    if (EntryShadowed(WizardRegistry(), entry)) continue;
    TCustomBaseInstallDlg* dialog = entry.Dialog;
    if (dialog && (dialog->DialogManager() != CurrentDialogManager() || !dialog->Enabled())) continue;
    TBaseQuenlowForm* made = entry.FormClass(frame.get());
    TBaseInstallForm* page = dynamic_cast<TBaseInstallForm*>(made);
    if (!page || (!dialog && page->DM != CurrentDialogManager())) {
      delete made;
      continue;
    }
    if (dialog) {
      page->DC = dialog;
      page->DM = this;
      page->Order = dialog->Order() >= 0 ? dialog->Order() : page->Order;
      dialog->SetForm(page);
      dialog->AssignDialogProperties();
    }
    frame->AddPage(page);
  }
  frame->SortPages();
  if (!CurrentDialogManager()) throw Exception(TranslateText("The current dialog manager is not defined"));

  struct TForget {
    TBaseFormContainer* f;
    TDialogManager* m;
    ~TForget() {
      m->frame_ = nullptr;
      for (int i = 0; i < f->PageCount(); ++i)
        if (f->Pages(i)->DC && f->Pages(i)->DC->Form() == f->Pages(i)) f->Pages(i)->DC->SetForm(nullptr);
    }
  } forget{frame.get(), this};
  // With no page to show (none built, or every one skipped) the wizard is
  // over at once, as if finished.
  if (frame->PageCount() == 0 || !frame->HasShowablePage()) return;
  frame_ = frame.get();
  const int result = frame->ShowModal();
  if (result == mrAbort) throw EAIUserAbort();
  if (Application->MainForm()) Application->MainForm()->Repaint();
  Application->ProcessMessages();
}

void TDialogManager::OpenProgressForms() {
  progressOpen_ = true;
  for (const TProgressFormEntry& entry : std::vector<TProgressFormEntry>(ProgressFormRegistry())) {
    if (!entry.FormClass || EntryShadowed(ProgressFormRegistry(), entry)) continue;
    TBaseQuenlowForm* made = entry.FormClass(Application);
    auto* form = dynamic_cast<TBaseDuringCopyForm*>(made);
    AdoptDialog(form, entry.Dialog);
    if (!form || form->DM != this) {
      delete made;
      continue;
    }
    if (entry.Dialog) {
      entry.Dialog->SetForm(form);
      entry.Dialog->AssignDialogProperties();
    }
    form->FreeNotification(this);
    progress_.push_back(form);
    form->TranslateForm();
    form->Show();
  }
}

void TDialogManager::UpdateProgress(TFileStatusParameter* fileStatus, TDownloadStatusParameter* downloadStatus) {
  if (!progressOpen_) OpenProgressForms();
  for (TBaseQuenlowForm* f : std::vector<TBaseQuenlowForm*>(QuenlowFormList()))
    if (auto* p = dynamic_cast<TBaseDuringCopyForm*>(f)) p->UpdateStatus(fileStatus, downloadStatus);
}

void TDialogManager::CloseProgressForms() {
  progressOpen_ = false;
  std::vector<TBaseDuringCopyForm*> forms;
  forms.swap(progress_);
  for (TBaseDuringCopyForm* f : forms) {
    f->RemoveFreeNotification(this);
    if (f->DC && f->DC->Form() == f) f->DC->SetForm(nullptr);
    f->Hide();
    delete f;
  }
}

void TDialogManager::ChangeDisk(TObject* parameter) {
  const auto& registry = ChangeDiskFormRegistry();
  const TChangeDiskFormEntry* first = nullptr;
  for (const TChangeDiskFormEntry& e : registry)
    if (!first && !EntryShadowed(registry, e)) first = &e;
  if (!first || !first->FormClass) return;
  const TChangeDiskFormEntry entry = *first;
  std::unique_ptr<TBaseQuenlowForm> made(entry.FormClass(Application));
  auto* form = dynamic_cast<TBaseChangeDiskForm*>(made.get());
  AdoptDialog(form, entry.Dialog);
  if (!form || form->DM != this) return;
  TCurrentManager current(this);
  if (!parameter)
    throw Exception(
        TranslateText("The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form"));
  TList* list = dynamic_cast<TList*>(parameter);
  if (!list) throw Exception(TranslateText("TChangeDiskDlg--PO is not a TList object"));
  if (list->Count() < 2) throw Exception(TranslateText("TChangeDiskDlg--Not engouh parameters for status event"));
  auto* file = dynamic_cast<TCustomInstallFile*>(static_cast<TObject*>(list->Items(0)));
  if (!file) throw Exception(TranslateText("TChangeDiskDlg says bad first parameter"));
  auto* disk = dynamic_cast<TDiskParameter*>(static_cast<TObject*>(list->Items(1)));
  if (!disk) throw Exception(TranslateText("TChangeDiskDlg says bad second parameter"));
  // The file's own plain prompt is not wanted after this window.
  file->SetTag(1);
  file->MarkDiskHandled();
  form->DiskParameter = disk;
  if (entry.Dialog) {
    entry.Dialog->SetForm(form);
    entry.Dialog->AssignDialogProperties();
  }
  struct TForget {
    TCustomBaseInstallDlg* d;
    TBaseQuenlowForm* f;
    ~TForget() {
      if (d && d->Form() == f) d->SetForm(nullptr);
    }
  } forget{entry.Dialog, form};
  form->TranslateForm();
  if (form->ShowModal() == mrAbort) throw EAIUserAbort();
}

void TDialogManager::PublishProperties(TPropList& list) const {
  TInstallObject::PublishProperties(list);
  using C = TDialogManager;
  list.push_back(EnumProp<C>("ManagerType", kManagerTypeNames, &C::ManagerType, &C::SetManagerType));
  list.push_back(EnumProp<C>("Position", kPositionNames, &C::Position, &C::SetPosition));
  list.push_back(IntProp<C>("Width", &C::Width, &C::SetWidth));
  list.push_back(IntProp<C>("Height", &C::Height, &C::SetHeight));
  list.push_back(IntProp<C>("RelativeLeftOffset", &C::RelativeLeftOffset, &C::SetRelativeLeftOffset));
  list.push_back(IntProp<C>("RelativeTopOffset", &C::RelativeTopOffset, &C::SetRelativeTopOffset));
}

TDialogManager* CurrentDialogManager() { return gCurrentManager; }

TDialogManager* FindDialogManager(TManagerType type) {
  TInstallContainer* driver = InstallDriver();
  if (!driver) return nullptr;
  for (TInstallContainer* o : InstallObjectList()) {
    auto* m = dynamic_cast<TDialogManager*>(o);
    if (m && m->ManagerType() == type && m->Container() == driver) return m;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Dialog components

TCustomBaseInstallDlg::TCustomBaseInstallDlg(TComponent* owner) : TInstallObject(owner) {}

TCustomBaseInstallDlg::~TCustomBaseInstallDlg() {
  UnregisterDialogPages(this);
  // Forms that outlive their dialog (progress windows still open) forget it.
  for (TBaseQuenlowForm* f : QuenlowFormList()) {
    if (auto* p = dynamic_cast<TBaseInstallForm*>(f); p && p->DC == this) p->DC = nullptr;
    if (auto* p = dynamic_cast<TBaseDuringCopyForm*>(f); p && p->DC == this) p->DC = nullptr;
    if (auto* p = dynamic_cast<TBaseChangeDiskForm*>(f); p && p->DC == this) p->DC = nullptr;
  }
  if (manager_) {
    manager_->RemoveDialog(this);
    manager_->RemoveFreeNotification(this);
  }
}

void TCustomBaseInstallDlg::TakeManagerOfType(TManagerType type) {
  managerSought_ = true;
  soughtType_ = type;
  if (TDialogManager* m = FindDialogManager(type)) SetDialogManager(m);
}

void TCustomBaseInstallDlg::SetDialogManager(TDialogManager* value) {
  if (IsLoading()) managerStreamed_ = true;
  if (value == manager_) return;
  if (value) {
    value->AddDialog(this);
    value->FreeNotification(this);
  }
  if (manager_) {
    manager_->RemoveDialog(this);
    manager_->RemoveFreeNotification(this);
  }
  manager_ = value;
}

void TCustomBaseInstallDlg::Loaded() {
  TInstallObject::Loaded();
  // A form streamed before its managers: look again once all are there.
  if (managerSought_ && !managerStreamed_ && !manager_) TakeManagerOfType(soughtType_);
}

void TCustomBaseInstallDlg::Notification(TComponent* component, TOperation operation) {
  TInstallObject::Notification(component, operation);
  if (operation == opRemove && component == manager_) manager_ = nullptr;
  if (operation == opRemove && component == form_) form_ = nullptr;
}

void TCustomBaseInstallDlg::SetThemeBitmap(TPicture* value) {
  if (value) theme_.Bitmap().Assign(value->Bitmap());
}

void TCustomBaseInstallDlg::Translate() {
  auto* form = form_;
  if (!form) return;
  if (autoSetFont_) {
    if (overrideMain_)
      TranslateFormFontInto(into_, form, false);
    else
      TranslateFormFont(form, false);
  }
  if (autoTranslate_) {
    if (overrideMain_)
      form->TranslationState = TranslateFormInto(form->TranslationState, into_, form);
    else
      form->TranslationState = TranslateForm(form->TranslationState, form);
  }
}

void TCustomBaseInstallDlg::AssignDialogProperties() {
  if (!form_)
    throw Exception(
        Format(TranslateText("Cannot AssignDialogProperties for %s because the Dialog is Nil"), {Name()}));
  form_->AutoSetFont = autoSetFont_;
  form_->AutoTranslate = autoTranslate_;
  form_->Container = Container();
  form_->OverrideTranslator = overrideMain_;
  form_->Language = into_;
  if (auto* page = dynamic_cast<TBaseInstallForm*>(form_)) page->DC = this;
  Translate();
}

bool TCustomBaseInstallDlg::Execute() {
  try {
    if (OnBeforeExecute) OnBeforeExecute(this);
    const bool ok = ShowModalForm();
    Application->ProcessMessages();
    if (OnAfterExecute) OnAfterExecute(this);
    return ok;
  } catch (const EAbort&) {
    return false;
  }
}

bool TCustomBaseInstallDlg::ShowModalForm() {
  if (!Enabled()) return true;
  std::unique_ptr<TBaseQuenlowForm> form(FormClass(Application));
  form_ = form.get();
  struct TForget {
    TCustomBaseInstallDlg* d;
    ~TForget() { d->form_ = nullptr; }
  } forget{this};
  AssignDialogProperties();
  const int result = form->ShowModal();
  if (result != mrOk) throw EAIUserAbort();
  return true;
}

void TCustomBaseInstallDlg::PublishProperties(TPropList& list) const {
  TInstallObject::PublishProperties(list);
  using C = TCustomBaseInstallDlg;
  // The wizard's page order replaces the position among siblings.
  for (TPropInfo& p : list)
    if (CompareText(p.Name, "Order") == 0) p = IntProp<C>("Order", &C::Order, &C::SetOrder);
  list.push_back(BoolProp<C>("AutoSetFont", &C::AutoSetFont, &C::SetAutoSetFont));
  list.push_back(BoolProp<C>("AutoTranslate", &C::AutoTranslate, &C::SetAutoTranslate));
  list.push_back(ObjProp<C, TDialogManager>("DialogManager", &C::DialogManager, &C::SetDialogManager));
  list.push_back(BoolProp<C>("OverrideMainTranslator", &C::OverrideMainTranslator, &C::SetOverrideMainTranslator));
  list.push_back(
      EnumProp<C>("TranslateIntoLanguage", kLanguageNames, &C::TranslateIntoLanguage, &C::SetTranslateIntoLanguage));
}

// ---------------------------------------------------------------------------
// Registries

void RegisterWizardPage(const std::type_info& cls, TPageFactory formClass, TCustomBaseInstallDlg* dialog,
                        int number) {
  WizardRegistry().push_back(TWizardPageEntry{&cls, std::move(formClass), dialog, number});
}

void RegisterProgressForm(const std::type_info& cls, TPageFactory formClass, TCustomBaseInstallDlg* dialog,
                          int number) {
  ProgressRegistry().push_back(TProgressFormEntry{&cls, std::move(formClass), dialog, number});
}

void RegisterChangeDiskForm(const std::type_info& cls, TPageFactory formClass, TCustomBaseInstallDlg* dialog,
                            int number) {
  ChangeDiskRegistry().push_back(TChangeDiskFormEntry{&cls, std::move(formClass), dialog, number});
}

bool EntryShadowed(const std::vector<TWizardPageEntry>& list, const TWizardPageEntry& entry) {
  if (entry.Dialog || !entry.Class) return false;
  for (const TWizardPageEntry& e : list)
    if (e.Dialog && e.Class && *e.Class == *entry.Class) return true;
  return false;
}

void UnregisterDialogPages(TCustomBaseInstallDlg* dialog) {
  auto drop = [dialog](auto& list) {
    list.erase(std::remove_if(list.begin(), list.end(), [dialog](const auto& e) { return e.Dialog == dialog; }),
               list.end());
  };
  drop(WizardRegistry());
  drop(ProgressRegistry());
  drop(ChangeDiskRegistry());
}

int WizardPageCount() { return static_cast<int>(WizardRegistry().size()); }

const TWizardPageEntry& WizardPageEntry(int index) {
  const auto& list = WizardRegistry();
  if (index < 0 || index >= static_cast<int>(list.size()))
    throw Exception(Format(TranslateText("%d is an invalid index in the BIFList"), {index}));
  if (!list[static_cast<size_t>(index)].FormClass)
    throw Exception(Format(TranslateText("The %d 'th entry in the BIFList is NIL"), {index}));
  return list[static_cast<size_t>(index)];
}

const std::vector<TProgressFormEntry>& ProgressFormRegistry() { return ProgressRegistry(); }
const std::vector<TChangeDiskFormEntry>& ChangeDiskFormRegistry() { return ChangeDiskRegistry(); }
