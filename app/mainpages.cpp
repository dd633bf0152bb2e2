// The main window's pages: the start page, the expert page with its
// splitter, the three wizard steps and the about page; the source and
// final-state pickers with the pairs added at run time, their validation
// and the file lists' behaviour.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "win/backdrop.h"
#include "filelists.h"
#include "helpform.h"
#include "launch.h"
#include "mainform.h"
#include "options.h"
#include "patchnames.h"
#include "pickerstates.h"
#include "receivers.h"
#include "settings.h"
#include "streams.h"
#include "sysutils.h"
#include "win/balloonhint.h"
#include "win/comobj.h"
#include "win/ptopendlg.h"
#include "win/ptsplitter.h"
#include "win/shellcombo.h"
#include "win/shelllist.h"

DynArray ExpertAddedChecks, ExpertAddedCombos, ExpertAddedLists, ExpertAddedUpButtons;
DynArray WizardAddedChecks, WizardAddedCombos, WizardAddedLists, WizardAddedUpButtons;
DynArray EmailReceiverEdits, EmailReceiverTypes;

namespace {

// The patch-type row above the expert page's pickers.
const int kExpertTypeLeft = 70;
const int kExpertPickersTop = 30;

// Posted so that the work runs after the event that asked for it.
const UINT kValidateMessage = WM_APP + 40;

template <class T>
T* Make(TForm1* form, TWinControl* parent, int left, int top, int width, int height, const std::string& name = "") {
  T* c = new T(form);
  if (!name.empty()) c->SetName(name);
  c->SetBounds(left, top, width, height);
  c->SetParent(parent);
  return c;
}

TLabel* MakeLabel(TForm1* form, TWinControl* parent, int left, int top, const std::string& caption,
                  const std::string& name = "") {
  TLabel* label = Make<TLabel>(form, parent, left, top, 0, 0, name);
  label->SetCaption(caption);
  return label;
}

// A label that reads as a link.
TLabel* MakeLink(TForm1* form, TWinControl* parent, int left, int top, const std::string& caption,
                 const std::string& name) {
  TLabel* label = MakeLabel(form, parent, left, top, caption, name);
  label->Font().SetColor(clBlue);
  label->Font().SetStyle(fsUnderline);
  label->SetCursor(crHandPoint);
  return label;
}

const char kActivateHint[] =
    "Check this box to enable/disable more sources after#this one. (Will insert a filebox when checked#and remove it "
    "when unchecked.)";
const char kActivateCaption[] = "Activate further source hereafter";

DynArray& Checks(bool expert) { return expert ? ExpertAddedChecks : WizardAddedChecks; }
DynArray& Combos(bool expert) { return expert ? ExpertAddedCombos : WizardAddedCombos; }
DynArray& Lists(bool expert) { return expert ? ExpertAddedLists : WizardAddedLists; }
DynArray& UpButtons(bool expert) { return expert ? ExpertAddedUpButtons : WizardAddedUpButtons; }

template <class T>
T* At(const DynArray& a, uint32_t i) {
  return reinterpret_cast<T*>(a.Get(i));
}

// The file-system folder a combo shows.
std::string ComboFolder(TPTShellCombo* combo) { return combo->Locator()->GetPath(); }

bool IsDirectoryState(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

class ComboAdapter : public IFolderCombo {
 public:
  explicit ComboAdapter(TPTShellCombo* c) : c_(c) {}
  std::string FolderPath() override { return ComboFolder(c_); }
  bool SetFolderPath(const std::string& path) override {
    if (!DirectoryExists(path)) return false;
    c_->Locator()->SetPath(path);
    return true;
  }
  void ShowDesktopFolder() override { c_->Locator()->SetPidl(nullptr); }

 private:
  TPTShellCombo* c_;
};

class ListAdapter : public IFileList {
 public:
  explicit ListAdapter(TPTShellList* l) : l_(l) {}
  bool SetFolderPath(const std::string& path) override {
    if (!DirectoryExists(path)) return false;
    l_->Folder().SetPath(path);
    return true;
  }
  void ShowDesktopFolder() override { l_->Folder().SetPidl(nullptr); }
  void Refresh() override { l_->Refill(); }
  int ItemCount() override { return l_->Items().Count(); }
  std::string ItemFileName(int index) override {
    TPTShListData* d = l_->ItemData(index);
    return d ? d->FileName() : std::string();
  }
  bool ItemSelected(int index) override { return l_->ItemFromIndex(index)->Selected(); }
  void SelectItemUnfocused(int index) override { l_->ItemFromIndex(index)->SetSelected(true); }

 private:
  TPTShellList* l_;
};

void Unlink(TPTShellCombo* combo, TPTShellList* list) {
  if (combo) combo->Locator()->OnChange = nullptr;
  if (list) {
    list->OnFillComplete = nullptr;
    list->OnChange = nullptr;
  }
}

}  // namespace

// A picker's list: a shell list that takes a dropped file as a pointer to
// it. The drop goes to this target alone, never to the shown folder's own
// drop handling, which would copy or move the user's file into the folder.
class PickerDropTarget : public TComObject<IDropTarget> {
 public:
  PickerDropTarget(TForm1* form, TPTShellList* list) : form_(form), list_(list) {}
  void Detach() { form_ = nullptr; }

  STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    file_ = OneFile(data);
    return Answer(effect);
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override { return Answer(effect); }
  STDMETHODIMP DragLeave() override {
    file_.clear();
    return S_OK;
  }
  STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    file_ = OneFile(data);
    Answer(effect);
    if (!file_.empty() && form_) form_->PointPairAtFile(list_, file_);
    file_.clear();
    return S_OK;
  }

  // The one file or folder name the data holds, or "" for none or several.
  static std::string OneFile(IDataObject* data) {
    if (!data) return "";
    FORMATETC fmt{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&fmt, &medium))) return "";
    std::string name;
    if (HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
      if (DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        char buf[MAX_PATH * 2] = "";
        if (DragQueryFileA(drop, 0, buf, sizeof buf)) name = buf;
      }
      GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return FileExists(name) || DirectoryExists(name) ? name : std::string();
  }

 private:
  // Never "move": the source must not delete the original.
  HRESULT Answer(DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    if (file_.empty())
      *effect = DROPEFFECT_NONE;
    else if (*effect & DROPEFFECT_LINK)
      *effect = DROPEFFECT_LINK;
    else if (*effect & DROPEFFECT_COPY)
      *effect = DROPEFFECT_COPY;
    else
      *effect = DROPEFFECT_NONE;
    return S_OK;
  }

  TForm1* form_;
  TPTShellList* list_;
  std::string file_;
};

namespace {

class TPickerList : public TPTShellList {
 public:
  // The list's own drop handling stays off: it would hand the drop to the
  // shown folder, and a window takes one drop target only.
  TPickerList(TForm1* form) : TPTShellList(form), target_(new PickerDropTarget(form, this)) {
    SetOptions(static_cast<TPTShellListOptions>(Options() & ~PtsloBit(ptsloOleDrop)));
  }
  ~TPickerList() override {
    if (registered_ && HandleAllocated()) RevokeDragDrop(Handle());
    registered_ = false;
    target_->Detach();
  }
  PickerDropTarget* Target() { return target_.Get(); }

 protected:
  void InitWnd() override {
    TPTShellList::InitWnd();
    registered_ = SUCCEEDED(RegisterDragDrop(Handle(), target_.Get()));
  }
  void DestroyHandle() override {
    if (registered_ && HandleAllocated()) RevokeDragDrop(Handle());
    registered_ = false;
    TPTShellList::DestroyHandle();
  }

 private:
  TComPtr<PickerDropTarget> target_;
  bool registered_ = false;
};

}  // namespace

IDropTarget* PickerListDropTarget(TPTShellList* list) {
  auto* p = dynamic_cast<TPickerList*>(list);
  return p ? p->Target() : nullptr;
}

// ------------------------------------------------------------------ pages

TForm1::~TForm1() {
  // The pairs' links refer to each other; they go quiet before the window
  // frees its controls.
  for (TPTShellList* l : AllFileLists()) Unlink(ComboOfList(l), l);
  // The controls go with the window (their owner); the lists only held them.
  for (DynArray* a : {&ExpertAddedChecks, &ExpertAddedCombos, &ExpertAddedLists, &ExpertAddedUpButtons,
                      &WizardAddedChecks, &WizardAddedCombos, &WizardAddedLists, &WizardAddedUpButtons,
                      &EmailReceiverEdits, &EmailReceiverTypes})
    a->Clear();
  ReceiversChanged = nullptr;
}

void TForm1::BuildPages() {
  hint_Controller = new TTalvoHint(this);
  hint_Controller->SetName("hint_Controller");
  TFont font;
  font.SetName("MS Sans Serif");
  font.SetHeight(16);
  font.SetColor(clBlue);
  font.SetStyle(fsBold | fsItalic);
  hint_Controller->SetHintFont(font);
  hint_Controller->SetHintPauseTime(1500);

  popup_ViewStyleFileList = new TPopupMenu(this);
  popup_ViewStyleFileList->SetName("popup_ViewStyleFileList");
  const char* styles[] = {"Small icons", "Large icons", "Detailed list", "Multicolumn"};
  for (int i = 0; i < 4; ++i) {
    auto* item = new TMenuItem(this);
    item->Caption = styles[i];
    item->RadioItem = true;
    item->SetTag(i + 1);
    item->OnClick = [this, item](TObject*) {
      rdgrp_OptionCurrentFilelistMode->SetItemIndex(static_cast<int>(item->Tag()) - 1);
    };
    popup_ViewStyleFileList->Items().Add(item);
  }
  popup_ViewStyleFileList->OnPopup = [this](TObject*) {
    for (int i = 0; i < 4; ++i)
      popup_ViewStyleFileList->Items().Items(i)->Checked = i == rdgrp_OptionCurrentFilelistMode->ItemIndex();
  };
  rdgrp_OptionCurrentFilelistMode->OnClick = [this](TObject*) {
    const int style = std::max(0, rdgrp_OptionCurrentFilelistMode->ItemIndex());
    if (!filling_) DefaultFilelistStyle = style;
    ApplyFileListStyle(style);
  };

  BuildAboutPages();
  BuildExpertPage();
  BuildWizardPage();

  pagectrl_Main->OnChange = [this](TObject*) { pagectrl_MainChange(); };
  OnShow = [this](TObject*) { FirstShow(); };
  KeyPreview = true;
}

void TForm1::BuildAboutPages() {
  // The start page: a backdrop behind the title and the help links.
  backdrop_RCS = Make<TBackdrop>(this, page_RCS, 0, 0, 0, 0, "backdrop_RCS");
  backdrop_RCS->SetAlign(alClient);
  backdrop_RCS->SetStartColor(RGB(0, 0, 128));
  backdrop_RCS->SetEndColor(RGB(0, 96, 160));
  label_RCSTitle = MakeLabel(this, page_RCS, 24, 20, "Release Control System", "label_RCSTitle");
  label_RCSTitle->SetTransparent(true);
  label_RCSTitle->Font().SetColor(clWhite);
  label_RCSTitle->Font().SetHeight(-24);
  label_RCSTitle->Font().SetStyle(fsBold);
  TLabel* intro = MakeLabel(this, page_RCS, 24, 64,
                            "Make patches that turn any number of old releases into the new one.", "label_RCSIntro");
  intro->SetTransparent(true);
  intro->Font().SetColor(clWhite);
  struct Link {
    TLabel** label;
    const char* caption;
    const char* name;
    const char* page;
  } links[] = {
      {&label_RCSHelpExpert, "How the Patch Expert works", "label_RCSHelpExpert", "Form1_page_Expert.html"},
      {&label_RCSHelpWizard, "How the Patch Wizard works", "label_RCSHelpWizard", "Form1_page_Wizard.html"},
      {&label_RCSHelpOptions, "What the options do", "label_RCSHelpOptions", "Form1_page_Options.html"},
  };
  int top = 110;
  for (const Link& l : links) {
    *l.label = MakeLink(this, page_RCS, 40, top, l.caption, l.name);
    (*l.label)->SetTransparent(true);
    (*l.label)->Font().SetColor(clYellow);
    const std::string page = l.page;
    (*l.label)->OnClick = [page](TObject*) { LaunchBrowser(GetCurrentDir() + "\\help\\" + page); };
    top += 28;
  }

  // About.
  backdrop_About = Make<TBackdrop>(this, page_About, 0, 0, 0, 0, "backdrop_About");
  backdrop_About->SetAlign(alClient);
  backdrop_About->SetStartColor(RGB(0, 0, 160));
  backdrop_About->SetEndColor(clBlack);
  TLabel* title = MakeLabel(this, page_About, 24, 24, "Morvane Tapmend 1.9", "label_AboutTitle");
  title->SetTransparent(true);
  title->Font().SetColor(clWhite);
  title->Font().SetHeight(-28);
  title->Font().SetStyle(fsBold);
  TLabel* maker = MakeLabel(this, page_About, 24, 76, "Dorn Aldwick Software", "label_AboutMaker");
  maker->SetTransparent(true);
  maker->Font().SetColor(clWhite);
  label_AboutWeb = MakeLink(this, page_About, 24, 110, "http://www.morvane.example/", "label_AboutWeb");
  label_AboutWeb->SetTransparent(true);
  label_AboutWeb->Font().SetColor(clYellow);
  label_AboutWeb->OnClick = [](TObject*) { LaunchBrowser("http://www.morvane.example/"); };
  label_AboutArtist = MakeLink(this, page_About, 24, 140, "Graphics: Mimi", "label_AboutArtist");
  label_AboutArtist->SetTransparent(true);
  label_AboutArtist->Font().SetColor(clYellow);
  label_AboutArtist->OnClick = [](TObject*) {
    Application->MessageBox("The graphics of this program were drawn by Mimi. Write her a mail?",
                            "Email to Graphic Artist", MB_OK | MB_ICONINFORMATION);
    LaunchMailClient("mailto:mimi@artist.example");
  };
}

void TForm1::SetupList(TPTShellList* list, TPTShellCombo* combo) {
  list->MultiSelect = true;
  list->SetOptions(static_cast<TPTShellListOptions>(
      PtsloBit(ptsloAutoFill) | PtsloBit(ptsloNonFilesystemAncestors) | PtsloBit(ptsloDefaultKeyHandling) |
      PtsloBit(ptsloContextMenus) | PtsloBit(ptsloDynamicRefresh) | PtsloBit(ptsloOleDrag)));
  list->PopupMenu = popup_ViewStyleFileList;
  list->SetViewStyle(vsSmallIcon);
  list->OnEditing = [](TObject*, TListItem*, bool& allow) { allow = false; };
  list->OnChange = [this](TObject*, TListItem*, TItemChange) { PickerChanged(); };
  combo->SetOptions(ptscoAutofill);
  // The link shows one folder in both: a folder chosen in the combo is
  // shown by the list, a folder opened in the list by the combo.
  combo->SetShellList(list);
  // A new folder in either is a change of the pair's states.
  TNotifyEvent own = combo->Locator()->OnChange;
  combo->Locator()->OnChange = [this, own](TObject* s) {
    if (own) own(s);
    PickerChanged();
  };
  list->OnFillComplete = [this](TObject*) { PickerChanged(); };
}

void TForm1::MakeFixedPair(TWinControl* parent, bool expert, bool source, TLabel*& label, TPTShellCombo*& combo,
                           TPTShellList*& list, TSpeedButton*& up, TCheckBox** activate) {
  const std::string who = expert ? "Expert" : "Wizard";
  const std::string what = source ? "Source1" : "Dest";
  label = MakeLabel(this, parent, 4, 4, source ? "Source 1:" : "Final state:", "label_" + who + what);
  combo = Make<TPTShellCombo>(this, parent, 4, 20, 257, 22, "pathcombo_" + who + what);
  list = new TPickerList(this);
  list->SetName("filelist_" + who + what);
  list->SetBounds(4, 48, 284, 200);
  list->SetParent(parent);
  up = Make<TSpeedButton>(this, parent, 265, 20, 23, 22, "speedbtn_" + who + what + "Up");
  up->SetCaption("..");
  up->SetHint("One folder up");
  TPTShellCombo* c = combo;
  up->OnClick = [this, c](TObject*) {
    c->GoUpLevels(1);
    ValidateSources();
  };
  SetupList(list, combo);
  if (activate) {
    *activate = Make<TCheckBox>(this, parent, 4, 252, 284, 16, "chkbox_" + who + "ActivateSource1");
    (*activate)->SetCaption(kActivateCaption);
    (*activate)->SetHint(kActivateHint);
    TCheckBox* box = *activate;
    box->OnClick = [this, box, expert](TObject*) { ActivationClicked(box, expert); };
  }
}

void TForm1::BuildExpertPage() {
  split_Expert = new TPTSplitter(this);
  split_Expert->SetName("split_Expert");
  split_Expert->Loading();
  split_Expert->SetParent(page_Expert);
  split_Expert->SetStyle(ptstHorizontal);
  split_Expert_pane1 = new TPTPane(this);
  split_Expert_pane1->SetName("split_Expert_pane1");
  split_Expert_pane1->SetIndex(0);
  split_Expert_pane1->SetParent(split_Expert);
  split_Expert_pane2 = new TPTPane(this);
  split_Expert_pane2->SetName("split_Expert_pane2");
  split_Expert_pane2->SetIndex(1);
  split_Expert_pane2->SetParent(split_Expert);
  split_Expert->Loaded();
  split_Expert->SetPane1MinSize(240);
  split_Expert->SetPane2MinSize(24);
  split_Expert->SetProportional(false);
  split_Expert->SetPosition(336);
  split_Expert->OnSplitterDrop = [this](TObject*, int) { SplitterDropped(); };

  TPTPane* p1 = split_Expert_pane1;
  scrbox_Expert = Make<TScrollBox>(this, p1, 4, kExpertPickersTop, 585, 320, "scrbox_Expert");
  MakeFixedPair(scrbox_Expert, true, true, label_ExpertSource1, pathcombo_ExpertSource1, filelist_ExpertSource1,
                speedbtn_ExpertSource1Up, &chkbox_ExpertActivateSource1);
  MakeFixedPair(scrbox_Expert, true, false, label_ExpertDest, pathcombo_ExpertDest, filelist_ExpertDest,
                speedbtn_ExpertDestUp, nullptr);

  // The patch types are too long for the column beside the pickers even
  // when closed: they get a row of their own above the pickers.
  MakeLabel(this, p1, 4, 8, "Patch type:");
  combo_ExpertPatchType = Make<TComboBox>(this, p1, kExpertTypeLeft, 4, 100, 200, "combo_ExpertPatchType");
  combo_ExpertPatchType->SetStyle(csDropDownList);

  // The column right of the pickers: what to make, and Create. Placed
  // beside the scroll box whenever the splitter is dropped.
  const int x = 0;
  expert_column_.push_back(MakeLabel(this, p1, x, 28, "Patchfile:"));
  edit_ExpertPatchname = Make<TEdit>(this, p1, x, 42, 76, 22, "edit_ExpertPatchname");
  expert_column_.push_back(edit_ExpertPatchname);
  // Beside the label rather than the edit, which gets the column's width.
  button_ExpertBrowse = Make<TButton>(this, p1, x, 24, 22, 17, "button_ExpertBrowse");
  button_ExpertBrowse->SetCaption("...");
  button_ExpertBrowse->OnClick = [this](TObject*) { BrowsePatchName(edit_ExpertPatchname); };
  chkbox_ExpertArchivePatch = Make<TCheckBox>(this, p1, x, 68, 100, 28, "chkbox_ExpertArchivePatch");
  expert_column_.push_back(chkbox_ExpertArchivePatch);
  chkbox_ExpertForceIdentical = Make<TCheckBox>(this, p1, x, 98, 100, 28, "chkbox_ExpertForceIdentical");
  chkbox_ExpertForceIdentical->SetCaption("Force identical files");
  // The column is narrow; the boxes are two lines high.
  chkbox_ExpertArchivePatch->SetWordWrap(true);
  chkbox_ExpertForceIdentical->SetWordWrap(true);
  expert_column_.push_back(chkbox_ExpertForceIdentical);
  button_ExpertCreate = Make<TButton>(this, p1, x, 130, 100, 28, "button_ExpertCreate");
  button_ExpertCreate->SetCaption("&Create");
  button_ExpertCreate->SetEnabled(false);
  expert_column_.push_back(button_ExpertCreate);
  chkbox_HintsPageExpert = Make<TCheckBox>(this, p1, x, 162, 100, 18, "chkbox_HintsPageExpert");
  chkbox_HintsPageExpert->SetCaption("Show Hints");
  expert_column_.push_back(chkbox_HintsPageExpert);
  button_HelpExpert = Make<TButton>(this, p1, x, 182, 100, 22, "button_HelpExpert");
  button_HelpExpert->SetCaption("&Help");
  expert_column_.push_back(button_HelpExpert);

  // The e-mail pane.
  TPTPane* p2 = split_Expert_pane2;
  scrbox_Email = Make<TScrollBox>(this, p2, 4, 4, 700, 56, "scrbox_Email");
  edit_ExpertEmailReceiver1 = Make<TEdit>(this, scrbox_Email, 4, 8, 400, 21, "edit_ExpertEmailReceiver1");
  combo_ExpertEmailType1 = Make<TComboBox>(this, scrbox_Email, 408, 8, 60, 100, "combo_ExpertEmailType1");
  combo_ExpertEmailType1->SetStyle(csDropDownList);
  for (const char* k : {"TO", "CC", "BCC"}) combo_ExpertEmailType1->Items().Add(k);
  label_ExpertEmailSubject = MakeLabel(this, p2, 8, 66, "Subject:", "label_ExpertEmailSubject");
  edit_ExpertEmailSubject = Make<TEdit>(this, p2, 56, 62, 640, 22, "edit_ExpertEmailSubject");
  memo_ExpertEmail = Make<TMemo>(this, p2, 8, 88, 648, 90, "memo_ExpertEmail");
  memo_ExpertEmail->SetScrollBars(ssVertical);
  button_ExpertCallAddressbook = Make<TButton>(this, p2, 669, 88, 34, 25, "button_ExpertCallAddressbook");
  button_ExpertCallAddressbook->SetCaption("...");
  button_ExpertCallAddressbook->SetHint("Open the addressbook");
  button_ExpertSendEmail = Make<TButton>(this, p2, 669, 118, 34, 25, "button_ExpertSendEmail");
  button_ExpertSendEmail->SetCaption("&Send");
  button_ExpertSendEmail->SetEnabled(false);

  for (TComboBox* c : {combo_ExpertPatchType}) {
    c->Items().Add("Plain Patchfile (requires Wendle to apply)");
    c->Items().Add("Executable Patchfile with win95 commandline interface (20k)");
    c->Items().Add("Executable Patchfile with win95 graphical interface (34k)");
  }
}

void TForm1::BuildWizardPage() {
  pagectrl_Wizard = Make<TPageControl>(this, page_Wizard, 4, 4, 704, 330, "pagectrl_Wizard");
  page_WizardStep1 = AddPage(pagectrl_Wizard, "page_WizardStep1", "Step 1");
  page_WizardStep2 = AddPage(pagectrl_Wizard, "page_WizardStep2", "Step 2");
  page_WizardStep3 = AddPage(pagectrl_Wizard, "page_WizardStep3", "Step 3");
  // The steps are walked with the buttons, not the tabs.
  pagectrl_Wizard->OnChanging = [](TObject*, bool& allow) { allow = false; };

  MakeLabel(this, page_WizardStep1, 16, 16, "How do you want to hand out the patch?");
  radiobtn_WizardOne2One = Make<TRadioButton>(this, page_WizardStep1, 32, 48, 400, 20, "radiobtn_WizardOne2One");
  radiobtn_WizardOne2One->SetCaption("Create patch as &local file only.");
  radiobtn_WizardOne2Several =
      Make<TRadioButton>(this, page_WizardStep1, 32, 76, 400, 20, "radiobtn_WizardOne2Several");
  radiobtn_WizardOne2Several->SetCaption("Create patch and send via &email.");
  radiobtn_WizardOne2One->SetChecked(true);

  MakeLabel(this, page_WizardStep2, 8, 4, "Now select source(s) and final state of the patching process.");
  MakeLabel(this, page_WizardStep2, 8, 20, "To continue you need to specify DIFFERENT directories or files!");
  scrbox_Wizard = Make<TScrollBox>(this, page_WizardStep2, 4, 38, 688, 258, "scrbox_Wizard");
  MakeFixedPair(scrbox_Wizard, false, true, label_WizardSource1, pathcombo_WizardSource1, filelist_WizardSource1,
                speedbtn_WizardSource1Up, &chkbox_WizardActivateSource1);
  MakeFixedPair(scrbox_Wizard, false, false, label_WizardDest, pathcombo_WizardDest, filelist_WizardDest,
                speedbtn_WizardDestUp, nullptr);

  MakeLabel(this, page_WizardStep3, 16, 16, "Patch type:");
  combo_WizardPatchType = Make<TComboBox>(this, page_WizardStep3, 16, 32, 400, 200, "combo_WizardPatchType");
  combo_WizardPatchType->SetStyle(csDropDownList);
  combo_WizardPatchType->Items().Add("Plain Patchfile (requires Wendle to apply)");
  combo_WizardPatchType->Items().Add("Executable Patchfile with win95 commandline interface (20k)");
  combo_WizardPatchType->Items().Add("Executable Patchfile with win95 graphical interface (34k)");
  MakeLabel(this, page_WizardStep3, 16, 68, "Save the patchfile as:");
  edit_WizardPatchname = Make<TEdit>(this, page_WizardStep3, 16, 84, 440, 22, "edit_WizardPatchname");
  edit_WizardPatchname->SetShowHint(true);
  button_WizardBrowse = Make<TButton>(this, page_WizardStep3, 460, 84, 28, 22, "button_WizardBrowse");
  button_WizardBrowse->SetCaption("...");
  button_WizardBrowse->OnClick = [this](TObject*) { BrowsePatchName(edit_WizardPatchname); };
  chkbox_WizardArchivePatch = Make<TCheckBox>(this, page_WizardStep3, 16, 118, 400, 20, "chkbox_WizardArchivePatch");
  MakeLabel(this, page_WizardStep3, 16, 160, "Press \"Create >\" to make the patch.");

  label_Mimi1 = MakeLabel(this, page_WizardStep1, 600, 4, "Graphics:", "label_Mimi1");
  label_Mimi2 = MakeLabel(this, page_WizardStep1, 600, 20, "Mimi", "label_Mimi2");

  WizardBack = Make<TButton>(this, page_Wizard, 372, 342, 100, 28, "WizardBack");
  WizardBack->SetCaption("< &Back");
  button_WizardContinue = Make<TButton>(this, page_Wizard, 480, 342, 100, 28, "button_WizardContinue");
  button_WizardContinue->SetCaption("&Continue >");
  Abbrechen = Make<TButton>(this, page_Wizard, 600, 342, 100, 28, "Abbrechen");
  Abbrechen->SetCaption("Cancel");
  chkbox_HintsPageWizard = Make<TCheckBox>(this, page_Wizard, 8, 346, 120, 18, "chkbox_HintsPageWizard");
  chkbox_HintsPageWizard->SetCaption("Show Hints");
  button_HelpWizard = Make<TButton>(this, page_Wizard, 136, 342, 80, 28, "button_HelpWizard");
  button_HelpWizard->SetCaption("&Help");

  WizardBack->OnClick = [this](TObject*) { WizardStep(-1); };
  button_WizardContinue->OnClick = [this](TObject*) {
    if (pagectrl_Wizard->ActivePageIndex() == 2)
      button_WizardContinueClick();
    else
      WizardStep(1);
  };
  // Closed like the title bar's close, so that the close handler stores
  // the options, the file lists and the window positions.
  Abbrechen->OnClick = [this](TObject*) { Close(); };

  struct HintBox {
    TCheckBox* box;
    TTabSheet* page;
  } boxes[] = {{chkbox_HintsPageExpert, page_Expert}, {chkbox_HintsPageWizard, page_Wizard}};
  for (const HintBox& h : boxes) {
    TCheckBox* box = h.box;
    TTabSheet* page = h.page;
    box->SetChecked(true);
    page->SetShowHint(true);
    box->OnClick = [box, page](TObject*) { page->SetShowHint(box->Checked()); };
  }
  for (TButton* help : {button_HelpExpert, button_HelpWizard})
    help->OnClick = [](TObject*) { Application->HelpCommand(1, 0); };
}

void TForm1::WizardStep(int delta) {
  const int step = std::clamp(pagectrl_Wizard->ActivePageIndex() + delta, 0, 2);
  pagectrl_Wizard->SetActivePageIndex(step);
  ValidateSources();
}

// ------------------------------------------------------------------ pickers

int TForm1::AddedPairCount(bool expert) const { return static_cast<int>(Combos(expert).Count()); }
TPTShellCombo* TForm1::AddedCombo(bool expert, int i) const { return At<TPTShellCombo>(Combos(expert), i); }
TPTShellList* TForm1::AddedList(bool expert, int i) const { return At<TPTShellList>(Lists(expert), i); }
TCheckBox* TForm1::AddedCheck(bool expert, int i) const { return At<TCheckBox>(Checks(expert), i); }

std::vector<TPTShellList*> TForm1::AllFileLists() const {
  std::vector<TPTShellList*> lists{filelist_ExpertSource1, filelist_ExpertDest, filelist_WizardSource1,
                                   filelist_WizardDest};
  for (bool expert : {true, false})
    for (int i = 0; i < AddedPairCount(expert); ++i) lists.push_back(AddedList(expert, i));
  return lists;
}

void TForm1::ApplyFileListStyle(int style) {
  static const TViewStyle styles[] = {vsSmallIcon, vsIcon, vsReport, vsList};
  const TViewStyle v = styles[style >= 0 && style < 4 ? style : 0];
  for (TPTShellList* l : AllFileLists()) l->SetViewStyle(v);
}

TPTShellCombo* TForm1::ComboOfList(TPTShellList* list) const {
  if (list == filelist_ExpertSource1) return pathcombo_ExpertSource1;
  if (list == filelist_ExpertDest) return pathcombo_ExpertDest;
  if (list == filelist_WizardSource1) return pathcombo_WizardSource1;
  if (list == filelist_WizardDest) return pathcombo_WizardDest;
  for (bool expert : {true, false})
    for (int i = 0; i < AddedPairCount(expert); ++i)
      if (AddedList(expert, i) == list) return AddedCombo(expert, i);
  return nullptr;
}

void TForm1::PointPairAtFile(TPTShellList* list, const std::string& file) {
  TPTShellCombo* combo = ComboOfList(list);
  if (combo && DirectoryExists(file)) {
    // A folder is opened, as a double click in the list would.
    combo->Locator()->SetPath(file);
    list->Folder().SetPath(file);
    ValidateSources();
    return;
  }
  const size_t slash = file.find_last_of('\\');
  if (!combo || slash == std::string::npos) return;
  std::string folder = file.substr(0, slash);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  combo->Locator()->SetPath(folder);
  list->Folder().SetPath(folder);
  list->FlushRefresh(true);
  const std::string name = file.substr(slash + 1);
  for (int i = 0; i < list->Items().Count(); ++i) {
    TListItem* item = list->ItemFromIndex(i);
    TPTShListData* d = list->ItemData(i);
    const bool match = d && SameText(d->FileName(), name);
    item->SetSelected(match);
    if (match) list->SetItemFocused(item);
  }
  ValidateSources();
}

void TForm1::PickerChanged() {
  if (laying_out_ || validating_ || !HandleAllocated()) return;
  PostMessageA(Handle(), kValidateMessage, 0, 0);
}

void TForm1::WndProc(TMessage& m) {
  if (m.Msg == kValidateMessage) {
    MSG pending;
    // Many selection changes come at once: one validation serves them all.
    while (PeekMessageA(&pending, Handle(), kValidateMessage, kValidateMessage, PM_REMOVE)) {
    }
    ValidateSources();
    return;
  }
  if (m.Msg == kReceiverRowsMessage) {
    BuildReceiverRows();
    return;
  }
  TForm::WndProc(m);
}

void TForm1::AddPickerSelection(TPTShellCombo* combo, TPTShellList* list, std::vector<std::string>& states) {
  const std::string folder = ComboFolder(combo);
  std::vector<std::string> names;
  for (int i = 0; i < list->Items().Count(); ++i) {
    if (!list->ItemFromIndex(i)->Selected()) continue;
    TPTShListData* d = list->ItemData(i);
    // An item outside the file system has no name the engine could open.
    const bool onDisk = d && (d->Attributes() & SFGAO_FILESYSTEM);
    names.push_back(onDisk ? d->FileName() : std::string());
  }
  for (const std::string& s : PickerStates(folder, names)) states.push_back(s);
}

void TForm1::FillSourceList(TTabSheet* page) {
  const bool expert = page == page_Expert;
  TComboBox* type = expert ? combo_ExpertPatchType : combo_WizardPatchType;
  PatchType = EnginePatchType(type->ItemIndex());
  std::vector<std::string> states;
  AddPickerSelection(expert ? pathcombo_ExpertSource1 : pathcombo_WizardSource1,
                     expert ? filelist_ExpertSource1 : filelist_WizardSource1, states);
  for (int i = 0; i < AddedPairCount(expert); ++i) AddPickerSelection(AddedCombo(expert, i), AddedList(expert, i), states);
  AddPickerSelection(expert ? pathcombo_ExpertDest : pathcombo_WizardDest,
                     expert ? filelist_ExpertDest : filelist_WizardDest, states);
  last_states_ = states;
  // The engine has room for 20 states and the output name; a longer set
  // is refused by the verdict and never written past the end.
  const size_t kept = std::min(states.size(), static_cast<size_t>(kMaxPickerStates));
  for (size_t i = 0; i < static_cast<size_t>(kMaxSourceEntries); ++i) SourceList[i].clear();
  for (size_t i = 0; i < kept; ++i) SourceList[i] = states[i];
  SourceList[kept] = EngineOutputName((expert ? edit_ExpertPatchname : edit_WizardPatchname)->Text(), PatchType);
  SourceCount = static_cast<uint32_t>(kept + 1);
}

bool TForm1::ValidateSources() {
  if (validating_) return last_valid_;
  validating_ = true;
  const bool expert = pagectrl_Main->ActivePage() == page_Expert;
  FillSourceList(expert ? page_Expert : page_Wizard);
  const SourceVerdict v = JudgeStates(last_states_, IsDirectoryState, kMaxPickerStates);
  for (size_t i = 0; i < v.isDirectory.size() && i < static_cast<size_t>(kMaxSourceEntries); ++i)
    SourceIsDir[i] = v.isDirectory[i];
  button_ExpertCreate->SetEnabled(v.valid);
  chkbox_ExpertForceIdentical->SetEnabled(v.allDirectories);
  const int step = pagectrl_Wizard->ActivePageIndex();
  button_WizardContinue->SetEnabled(step != 1 || v.valid);
  button_WizardContinue->SetCaption(step == 2 ? "&Create >" : "&Continue >");
  WizardBack->SetEnabled(step > 0);
  if (TTabSheet* current = pagectrl_Wizard->ActivePage()) {
    label_Mimi1->SetParent(current);
    label_Mimi2->SetParent(current);
  }
  last_valid_ = v.valid;
  validating_ = false;
  return v.valid;
}

void TForm1::ActivationClicked(TCheckBox* box, bool expert) {
  if (laying_out_) return;
  // The pair of this box: 0 for the first source, k for added pair k.
  int pair = 0;
  for (int i = 0; i < AddedPairCount(expert); ++i)
    if (AddedCheck(expert, i) == box) pair = i + 1;
  if (box->Checked()) {
    if (pair == AddedPairCount(expert)) AddPickerPair(expert);
  } else if (pair < AddedPairCount(expert)) {
    RemovePickerPair(expert, pair + 1);
  }
  LayoutPickerColumns(expert);
  ValidateSources();
}

void TForm1::AddPickerPair(bool expert) {
  const int n = AddedPairCount(expert);
  // The first source, the added ones and the final state: at most 20.
  if (n + 3 > kMaxPickerStates) return;
  TScrollBox* box = expert ? scrbox_Expert : scrbox_Wizard;
  const int tag = n + 1;
  TPTShellCombo* before = n == 0 ? (expert ? pathcombo_ExpertSource1 : pathcombo_WizardSource1)
                                 : AddedCombo(expert, n - 1);

  auto* check = Make<TCheckBox>(this, box, 0, 0, 100, 16);
  check->SetCaption(kActivateCaption);
  check->SetHint(HintText(kActivateHint));
  check->SetTag(tag);
  check->OnClick = [this, check, expert](TObject*) { ActivationClicked(check, expert); };
  auto* combo = Make<TPTShellCombo>(this, box, 0, 20, 159, 22);
  combo->SetTag(tag);
  auto* list = new TPickerList(this);
  list->SetBounds(0, 48, 188, 100);
  list->SetTag(tag);
  list->SetParent(box);
  auto* up = Make<TSpeedButton>(this, box, 0, 20, 23, 22);
  up->SetCaption("..");
  up->SetHint("One folder up");
  up->SetTag(tag);
  up->OnClick = [this, combo](TObject*) {
    combo->GoUpLevels(1);
    ValidateSources();
  };
  laying_out_ = true;
  SetupList(list, combo);
  combo->Locator()->SetPidl(before->Locator()->GetPidl());
  ApplyFileListStyle(std::max(0, rdgrp_OptionCurrentFilelistMode->ItemIndex()));
  laying_out_ = false;
  Checks(expert).Append(reinterpret_cast<DynElement>(check));
  Combos(expert).Append(reinterpret_cast<DynElement>(combo));
  Lists(expert).Append(reinterpret_cast<DynElement>(list));
  UpButtons(expert).Append(reinterpret_cast<DynElement>(up));
}

void TForm1::RemovePickerPair(bool expert, int tag) {
  const int i = tag - 1;
  if (i < 0 || i >= AddedPairCount(expert)) return;
  auto* check = reinterpret_cast<TCheckBox*>(Checks(expert).RemoveAt(static_cast<uint32_t>(i)));
  auto* combo = reinterpret_cast<TPTShellCombo*>(Combos(expert).RemoveAt(static_cast<uint32_t>(i)));
  auto* list = reinterpret_cast<TPTShellList*>(Lists(expert).RemoveAt(static_cast<uint32_t>(i)));
  auto* up = reinterpret_cast<TSpeedButton*>(UpButtons(expert).RemoveAt(static_cast<uint32_t>(i)));
  // Freed, not hidden: a hidden list would keep its change-watching thread
  // and the handle it holds on its folder.
  laying_out_ = true;
  Unlink(combo, list);
  delete check;
  delete up;
  delete list;
  delete combo;
  laying_out_ = false;
  // The pairs after it move up one number, so the tags stay 1, 2, ...
  for (int k = 0; k < AddedPairCount(expert); ++k) {
    const int t = k + 1;
    AddedCheck(expert, k)->SetTag(t);
    AddedCombo(expert, k)->SetTag(t);
    AddedList(expert, k)->SetTag(t);
    At<TSpeedButton>(UpButtons(expert), static_cast<uint32_t>(k))->SetTag(t);
  }
}

int TForm1::TextWidth(TControl* control, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, control->Font().Handle());
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

int TForm1::WidthForItems(TComboBox* combo) {
  int widest = 0;
  for (int i = 0; i < combo->Items().Count(); ++i) widest = std::max(widest, TextWidth(combo, combo->Items()[i]));
  // The frame, the item's margins and the arrow button.
  return widest + GetSystemMetrics(SM_CXVSCROLL) + 12;
}

void TForm1::LayoutPickers() {
  LayoutPickerColumns(true);
  LayoutPickerColumns(false);
}

void TForm1::LayoutPickerColumns(bool expert) {
  const bool was = laying_out_;
  laying_out_ = true;
  {
    TScrollBox* box = expert ? scrbox_Expert : scrbox_Wizard;
    // One repaint for the whole row instead of one per moved control.
    const bool drawn = box->HandleAllocated();
    if (drawn) SendMessageA(box->Handle(), WM_SETREDRAW, FALSE, 0);
    const int n = AddedPairCount(expert);
    const int column = expert ? (n > 0 ? 197 : 293) : 194;
    const int listWidth = expert ? (n > 0 ? 188 : 284) : 173;
    const int comboWidth = expert ? (n > 0 ? 159 : 257) : 144;
    // Placed from the unscrolled origin.
    box->ScrollBy(-box->HorzPosition(), -box->VertPosition());
    struct Column {
      TLabel* label;
      TPTShellCombo* combo;
      TPTShellList* list;
      TSpeedButton* up;
      TCheckBox* check;
    };
    std::vector<Column> cols;
    cols.push_back({expert ? label_ExpertSource1 : label_WizardSource1,
                    expert ? pathcombo_ExpertSource1 : pathcombo_WizardSource1,
                    expert ? filelist_ExpertSource1 : filelist_WizardSource1,
                    expert ? speedbtn_ExpertSource1Up : speedbtn_WizardSource1Up,
                    expert ? chkbox_ExpertActivateSource1 : chkbox_WizardActivateSource1});
    for (int i = 0; i < n; ++i)
      cols.push_back({nullptr, AddedCombo(expert, i), AddedList(expert, i),
                      At<TSpeedButton>(UpButtons(expert), static_cast<uint32_t>(i)), AddedCheck(expert, i)});
    cols.push_back({expert ? label_ExpertDest : label_WizardDest, expert ? pathcombo_ExpertDest : pathcombo_WizardDest,
                    expert ? filelist_ExpertDest : filelist_WizardDest,
                    expert ? speedbtn_ExpertDestUp : speedbtn_WizardDestUp, nullptr});
    const int width = 4 + column * static_cast<int>(cols.size());
    const bool scrolls = width > box->ClientWidth();
    // A box with a pair beside it has one column; its caption does not
    // fit there in one line, so such boxes take two lines from the lists.
    const int boxWidth = column - 4;
    TCheckBox* first = cols.front().check;
    const bool wrap = cols.size() > 2 &&
                      TextWidth(first, first->Caption()) + GetSystemMetrics(SM_CXMENUCHECK) + 6 > boxWidth;
    const int boxHeight = wrap ? 28 : 16;
    const int listHeight = box->Height() - 72 - (scrolls ? 15 : 0) - (boxHeight - 16);
    int order = 0;
    for (size_t c = 0; c < cols.size(); ++c) {
      const Column& col = cols[c];
      const int left = 4 + column * static_cast<int>(c);
      if (col.label) col.label->SetBounds(left, 4, col.label->Width(), col.label->Height());
      col.combo->SetBounds(left, 20, comboWidth, col.combo->Height());
      col.up->SetBounds(left + comboWidth + 4, 20, 23, 22);
      col.list->SetBounds(left, 48, listWidth, listHeight);
      col.combo->SetTabOrder(order++);
      col.list->SetTabOrder(order++);
      if (col.check) {
        // The caption is longer than a list is wide: the box takes its
        // column, and the next one too when no box stands there.
        const bool lastBox = c + 2 == cols.size();
        col.check->SetWordWrap(wrap);
        col.check->SetBounds(left, 48 + listHeight + 2, (lastBox ? 2 : 1) * column - 4, boxHeight);
        // Every pair but the last has its box ticked.
        col.check->SetChecked(c + 2 < cols.size());
        col.check->SetTabOrder(order++);
        // A 19th source would leave no room for the final state.
        col.check->SetEnabled(c + 2 < static_cast<size_t>(kMaxPickerStates));
      }
    }
    box->UpdateScrollBars();
    if (drawn) {
      SendMessageA(box->Handle(), WM_SETREDRAW, TRUE, 0);
      RedrawWindow(box->Handle(), nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
  }
  laying_out_ = was;
}

void TForm1::SplitterDropped() {
  const int w2 = split_Expert_pane2->Width();
  memo_ExpertEmail->SetWidth(std::max(20, w2 - 60));
  memo_ExpertEmail->SetHeight(std::max(20, split_Expert_pane2->Height() - memo_ExpertEmail->Top() - 6));
  scrbox_Email->SetWidth(std::max(20, w2 - 7));
  edit_ExpertEmailSubject->SetWidth(std::max(40, w2 - 64));
  const int buttons = std::max(59, w2 - 39);
  button_ExpertCallAddressbook->SetLeft(buttons);
  button_ExpertSendEmail->SetLeft(buttons);
  scrbox_Expert->SetWidth(std::max(100, split_Expert_pane1->Width() - 119));
  scrbox_Expert->SetHeight(std::max(100, split_Expert_pane1->Height() - kExpertPickersTop - 4));
  const int x = scrbox_Expert->Left() + scrbox_Expert->Width() + 6;
  const int w = std::max(40, split_Expert_pane1->ClientWidth() - x - 6);
  for (TControl* c : expert_column_) c->SetBounds(x, c->Top(), w, c->Height());
  button_ExpertBrowse->SetLeft(x + w - 22);
  const int types = WidthForItems(combo_ExpertPatchType);
  combo_ExpertPatchType->SetWidth(std::min(types, std::max(100, split_Expert_pane1->ClientWidth() - kExpertTypeLeft - 6)));
  // The open list shows the patch types whole, however narrow the pane.
  SendMessageA(combo_ExpertPatchType->Handle(), CB_SETDROPPEDWIDTH, static_cast<WPARAM>(types), 0);
  LayoutPickers();
}

// ------------------------------------------------------------------ file lists

void TForm1::StorePickerFileList(TPTShellCombo* combo, TPTShellList* list, int n, bool expert) {
  ComboAdapter c(combo);
  ListAdapter l(list);
  StoreFileList(&c, &l, n, expert);
}

void TForm1::RestorePickerFileList(TPTShellCombo* combo, TPTShellList* list, int n, bool expert) {
  ComboAdapter c(combo);
  ListAdapter l(list);
  // A list on a page not shown yet fills only once it has a window.
  combo->HandleNeeded();
  list->HandleNeeded();
  const bool was = laying_out_;
  laying_out_ = true;
  RestoreFileList(&c, &l, n, expert);
  laying_out_ = was;
}

void TForm1::RestoreFileLists() {
  for (bool expert : {true, false}) {
    if (!(expert ? RestoreExpertFilelists : RestoreWizardFilelists)) continue;
    RestorePickerFileList(expert ? pathcombo_ExpertDest : pathcombo_WizardDest,
                          expert ? filelist_ExpertDest : filelist_WizardDest, 0, expert);
    RestorePickerFileList(expert ? pathcombo_ExpertSource1 : pathcombo_WizardSource1,
                          expert ? filelist_ExpertSource1 : filelist_WizardSource1, 1, expert);
    const int amount = std::min(expert ? RestoreExpertFilelistsAmount : RestoreWizardFilelistsAmount,
                                kMaxPickerStates - 1);
    for (int n = 2; n <= amount; ++n) {
      AddPickerPair(expert);
      if (AddedPairCount(expert) != n - 1) break;
      RestorePickerFileList(AddedCombo(expert, n - 2), AddedList(expert, n - 2), n, expert);
    }
  }
  LayoutPickers();
}

void TForm1::FirstShow() {
  if (!shown_once_) {
    shown_once_ = true;
    RestoreFileLists();
  }
  ValidateSources();
}

void TForm1::FitSplitter() {
  // The splitter fills the expert page, which is always shown at the same
  // height; measured from the page control, since the page itself gets
  // its size only when first shown.
  pagectrl_Main->HandleNeeded();
  const RECT d = pagectrl_Main->DisplayRect();
  split_Expert->SetBounds(0, 0, d.right - d.left, d.bottom - d.top);
  split_Expert->HandleNeeded();
  split_Expert->LayoutPanes();
}

void TForm1::pagectrl_MainChange() {
  TTabSheet* page = pagectrl_Main->ActivePage();
  if (page == page_Expert) {
    ValidateSources();
    SetClientHeight(553);
    FitSplitter();
    UpdateSendButton();
  } else if (page == page_Options || page == page_About) {
    SetClientHeight(533);
  } else if (page == page_Wizard) {
    ValidateSources();
    SetClientHeight(405);
  }
}

void TForm1::KeyUp(WORD& key, TShiftState shift) {
  if (key == VK_F1 && form_Help) {
    try {
      form_Help->OpenHelpPage("index.html");
    } catch (const std::exception& e) {
      Application->ShowException(e);
    }
  }
  TForm::KeyUp(key, shift);
}
