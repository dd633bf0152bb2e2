#include "ptopendlg.h"

#include <shlobj.h>

#include <algorithm>

#include "filedlgtext.h"
#include "sysutils.h"
#include "win/shconsts.h"
#include "win/shelldata.h"
#include "win/shellmenu.h"
#include "win/shellutils.h"

TPTFrmOpenDlg* PTFrmOpenDlg = nullptr;

namespace {

std::string S(unsigned id) { return LoadShellString(id); }

const int kButtonSize = 23;
const int kEdge = 4;       // the form's margins
const int kGap = 8;        // between the edits and the buttons
const int kTreeWidth = 200;  // where a tree shown for the first time ends

// 16 x 16 pictures for the speed buttons, one character per pixel: '.'
// is the transparent colour (the bottom-left pixel), the rest index kInk.
const COLORREF kInk[] = {RGB(0, 0, 0), RGB(128, 128, 0), RGB(255, 255, 0), RGB(255, 255, 255), RGB(0, 0, 128),
                         RGB(128, 128, 128)};
int InkOf(char c) { return c >= '0' && c <= '5' ? c - '0' : -1; }

const char* const kUpGlyph[16] = {
    "................", "................", "..000000........", ".02222220.......", "0222222220000000",
    "0222222222222220", "0222224222222220", "0222244422222220", "0222444442222220", "0222224222222220",
    "0222224444422220", "0222222222222220", "0222222222222220", "0000000000000000", "................",
    "................"};
const char* const kNewFolderGlyph[16] = {
    "..........2.....", "........2.2.2...", ".........222....", "..000000.2.2....", ".02222220..2....",
    "0222222220000000", "0222222222222220", "0222222222222220", "0222222222222220", "0222222222222220",
    "0222222222222220", "0222222222222220", "0222222222222220", "0000000000000000", "................",
    "................"};
const char* const kTreeGlyph[16] = {
    "................", ".000............", ".020............", ".000............", "..5.............",
    "..5555000.......", "..5...020.......", "..5...000.......", "..5.............", "..5555000.......",
    "......020.......", "......000.......", "........5.......", "........5555000.", "............020.",
    "............000."};
const char* const kListGlyph[16] = {
    "................", "................", ".44.0000..44.000", ".44.0000..44.000", "................",
    ".44.0000..44.000", ".44.0000..44.000", "................", ".44.0000..44.000", ".44.0000..44.000",
    "................", ".44.0000........", ".44.0000........", "................", "................",
    "................"};
const char* const kDetailsGlyph[16] = {
    "................", "................", ".44.000000.00.00", ".44.000000.00.00", "................",
    ".44.000000.00.00", ".44.000000.00.00", "................", ".44.000000.00.00", ".44.000000.00.00",
    "................", ".44.000000.00.00", ".44.000000.00.00", "................", "................",
    "................"};

void DrawGlyph(TBitmap& bitmap, const char* const rows[16]) {
  bitmap.SetSize(16, 16);
  const COLORREF back = RGB(255, 0, 255);
  for (int y = 0; y < 16; ++y) {
    uint32_t* line = bitmap.ScanLine(y);
    for (int x = 0; x < 16; ++x) {
      int ink = InkOf(rows[y][x]);
      COLORREF c = ink < 0 ? back : kInk[ink];
      // Scan lines hold 0x00RRGGBB.
      line[x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  }
}

// Runs a verb of a folder's own context menu (the folder as an item of its
// parent).
HRESULT InvokeFolderVerb(HWND owner, LPCITEMIDLIST pidl, const std::string& verb) {
  TComPtr<IShellFolder> parent;
  LPITEMIDLIST parentPidl = nullptr, child = nullptr;
  HRESULT hr = SplitPidl(pidl, parent.Put(), &parentPidl, &child);
  if (FAILED(hr)) return hr;
  TComPtr<IContextMenu> menu;
  LPCITEMIDLIST items[1] = {child};
  hr = parent->GetUIObjectOf(owner, 1, items, IID_IContextMenu, nullptr, reinterpret_cast<void**>(menu.Put()));
  if (SUCCEEDED(hr)) hr = InvokeVerb(menu.Get(), owner, verb);
  ShellFree(parentPidl);
  ShellFree(child);
  return hr;
}

// The form's combo: asks the dialog's OnAddComboItem about each folder,
// with the absolute list of the folder the entry is found in.
class TDialogShellCombo : public TPTShellCombo {
 public:
  TDialogShellCombo(TComponent* owner, TPTFileDlg* dialog) : TPTShellCombo(owner), dialog_(dialog) {}

  bool CanAddEntry(IShellFolder* folder, LPCITEMIDLIST relativePidl, ULONG attributes) override {
    if (!TPTShellCombo::CanAddEntry(folder, relativePidl, attributes)) return false;
    const TPTShAddItemEvent& handler = dialog_->OnAddComboItem();
    if (!handler) return true;
    BOOL allow = TRUE;
    handler(this, folder, parent_, relativePidl, static_cast<int>(attributes), allow);
    return allow != FALSE;
  }
  void AddEntries(IShellFolder* folder, LPCITEMIDLIST folderPidl, TPTIdListArray& path, int level) override {
    LPCITEMIDLIST outer = parent_;
    parent_ = folderPidl;
    struct TRestore {
      LPCITEMIDLIST& slot;
      LPCITEMIDLIST value;
      ~TRestore() { slot = value; }
    } restore{parent_, outer};
    TPTShellCombo::AddEntries(folder, folderPidl, path, level);
  }

 private:
  TPTFileDlg* dialog_;
  LPCITEMIDLIST parent_ = nullptr;
};

template <class T>
T* Make(TComponent* owner, TWinControl* parent, const std::string& name, int l, int t, int w, int h) {
  T* c = new T(owner);
  c->SetName(name);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

}  // namespace

// ---------------------------------------------------------------- TPTDialog

bool TPTDialog::Execute() {
  if (executing_) throw EPTDialogError(ClassName() + " already executing");
  executing_ = true;
  struct TClear {
    bool& flag;
    ~TClear() { flag = false; }
  } clear{executing_};
  return DoExecute();
}

void TPTDialog::PublishProperties(TPropList& list) const {
  TComponent::PublishProperties(list);
  list.push_back(IntProp<TPTDialog>(
      "FormWidth", [](TPTDialog* d) { return d->FormWidth; }, [](TPTDialog* d, int v) { d->FormWidth = v; }));
  list.push_back(IntProp<TPTDialog>(
      "FormHeight", [](TPTDialog* d) { return d->FormHeight; }, [](TPTDialog* d, int v) { d->FormHeight = v; }));
  list.push_back(EnumProp<TPTDialog>(
      "FormWindowState", {"wsNormal", "wsMinimized", "wsMaximized"},
      [](TPTDialog* d) { return static_cast<int>(d->FormWindowState); },
      [](TPTDialog* d, int v) { d->FormWindowState = static_cast<TWindowState>(v); }));
  list.push_back(StrProp<TPTDialog>(
      "Title", [](TPTDialog* d) { return d->Title; }, [](TPTDialog* d, const std::string& v) { d->Title = v; }));
}

// ---------------------------------------------------------------- TPTFileDlg

TPTFileDlg::TPTFileDlg(TComponent* AOwner) : TPTDialog(AOwner) {}

TPTFileDlg::~TPTFileDlg() = default;

std::string TPTFileDlg::FileName() const { return files_.Count() > 0 ? files_[0] : file_name_; }

void TPTFileDlg::SetOnAddListItem(TPTShAddItemEvent v) {
  on_add_list_item_ = std::move(v);
  if (form_) form_->PTShellList1->OnAddItem = on_add_list_item_;
}

void TPTFileDlg::SetOnAddTreeItem(TPTShAddItemEvent v) {
  on_add_tree_item_ = std::move(v);
  if (form_) form_->PTShellTree1->OnAddItem = on_add_tree_item_;
}

void TPTFileDlg::SetOnAddComboItem(TPTShAddItemEvent v) {
  // The form's combo asks the dialog each time it adds an entry.
  on_add_combo_item_ = std::move(v);
}

bool TPTFileDlg::DoExecute() {
  if (form_) throw EPTDialogError(Name() + " already executing");
  std::unique_ptr<TPTFrmOpenDlg> form;
  struct TForget {
    TPTFileDlg* dlg;
    ~TForget() {
      dlg->form_ = nullptr;
      PTFrmOpenDlg = nullptr;
    }
  } forget{this};
  {
    THourGlassHold busy;
    form.reset(new TPTFrmOpenDlg(nullptr, this, SaveVariant()));
    form_ = form.get();
    PTFrmOpenDlg = form_;
    form->Setup();
  }
  bool ok = form->ShowModal() == mrOk;
  files_.Clear();
  for (int i = 0; i < form->AcceptedFiles().Count(); ++i) files_.Add(form->AcceptedFiles()[i]);
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (GetWindowPlacement(form->Handle(), &wp)) {
    FormWidth = wp.rcNormalPosition.right - wp.rcNormalPosition.left;
    FormHeight = wp.rcNormalPosition.bottom - wp.rcNormalPosition.top;
  }
  FilterIndex = form->FileTypesCbx->ItemIndex() + 1;
  FormWindowState = form->WindowState();
  FormSplitterPos = form->PTSplitter1->Position();
  Options = (Options & ~PtofBit(ptofShowTree)) | (form->Options() & PtofBit(ptofShowTree));
  return ok;
}

void TPTFileDlg::PublishProperties(TPropList& list) const {
  TPTDialog::PublishProperties(list);
  using D = TPTFileDlg;
  list.push_back(ObjProp<D, TStrings>(
      "HistoryList", [](D* d) -> TStrings* { return &d->HistoryList(); }, [](D*, TStrings*) {}));
  list.push_back(OrdProp<D>(
      "Options", pkSet, [](D* d) { return d->Options; }, [](D* d, TPTOpenOptions v) { d->Options = v; },
      {"ptofAllowMultiselect", "ptofCreatePrompt", "ptofExtensionDifferent", "ptofFileMustExist",
       "ptofHideReadOnly", "ptofNoChangeDir", "ptofNoDereferenceLinks", "ptofNoReadOnlyReturn",
       "ptofNoTestFileCreate", "ptofNoValidate", "ptofOverwritePrompt", "ptofReadOnly", "ptofPathMustExist",
       "ptofShareAware", "ptofShowHelp", "ptofAllowTree", "ptofShowTree", "ptofShowHints",
       "ptofHideFoldersInListWhenTreeVisible", "ptofOleDrag", "ptofOleDrop"}));
  list.push_back(StrProp<D>(
      "DefaultExt", [](D* d) { return d->DefaultExt; }, [](D* d, const std::string& v) { d->DefaultExt = v; }));
  list.push_back(StrProp<D>(
      "FileName", [](D* d) { return d->FileName(); }, [](D* d, const std::string& v) { d->SetFileName(v); }));
  list.push_back(StrProp<D>(
      "Filter", [](D* d) { return d->Filter; }, [](D* d, const std::string& v) { d->Filter = v; }));
  list.push_back(IntProp<D>(
      "FilterIndex", [](D* d) { return d->FilterIndex; }, [](D* d, int v) { d->FilterIndex = v; }));
  list.push_back(IntProp<D>(
      "HelpContext", [](D* d) { return d->HelpContext; }, [](D* d, int v) { d->HelpContext = v; }));
  list.push_back(StrProp<D>(
      "InitialDir", [](D* d) { return d->InitialDir; }, [](D* d, const std::string& v) { d->InitialDir = v; }));
  list.push_back(IntProp<D>(
      "FormSplitterPos", [](D* d) { return d->FormSplitterPos; }, [](D* d, int v) { d->FormSplitterPos = v; }));
}

// ---------------------------------------------------------------- the form

TPTFrmOpenDlg::TPTFrmOpenDlg(TComponent* AOwner, TPTFileDlg* dialog, bool save)
    : TForm(AOwner), dialog_(dialog), save_(save), options_(dialog->Options) {
  SetName("PTFrmOpenDlg");
  BuildControls();
  BuildMenu();
}

TPTFrmOpenDlg::~TPTFrmOpenDlg() {
  // The followers let go of each other before any of them goes.
  closing_ = true;
  if (PTShellCombo1) PTShellCombo1->SetShellTree(nullptr);
  if (PTShellList1) {
    PTShellList1->SetShellTree(nullptr);
    PTShellList1->SetShellCombo(nullptr);
  }
  DoDestroy();
}

void TPTFrmOpenDlg::BuildControls() {
  Font().SetName("MS Sans Serif");
  Font().SetHeight(-11);
  SetBorderIcons(biSystemMenu | biMaximize);
  Position = poScreenCenter;
  KeyPreview = true;
  SetClientSize(451, 265);

  LookInTxt = Make<TLabel>(this, this, "LookInTxt", 8, 12, 60, 13);
  PTShellCombo1 = new TDialogShellCombo(this, dialog_);
  PTShellCombo1->SetName("PTShellCombo1");
  PTShellCombo1->SetOptions(ptscoAutofill);
  PTShellCombo1->DropDownCount = 16;
  PTShellCombo1->SetBounds(72, 8, 248, 22);
  PTShellCombo1->TabStop = true;
  PTShellCombo1->SetParent(this);

  int x = 451 - kEdge - 5 * kButtonSize;
  auto speed = [&](const std::string& name, const char* const glyph[16]) {
    TSpeedButton* b = Make<TSpeedButton>(this, this, name, x, 8, kButtonSize, 22);
    b->SetFlat(true);
    DrawGlyph(b->Glyph(), glyph);
    x += kButtonSize;
    return b;
  };
  UpOneLevelBtn = speed("UpOneLevelBtn", kUpGlyph);
  CreateNewFolderBtn = speed("CreateNewFolderBtn", kNewFolderGlyph);
  ShowTreeBtn = speed("ShowTreeBtn", kTreeGlyph);
  ShowTreeBtn->SetGroupIndex(2);
  ShowTreeBtn->AllowAllUp = true;
  ListBtn = speed("ListBtn", kListGlyph);
  ListBtn->SetTag(2);
  ListBtn->SetGroupIndex(1);
  ListBtn->SetDown(true);
  DetailsBtn = speed("DetailsBtn", kDetailsGlyph);
  DetailsBtn->SetTag(3);
  DetailsBtn->SetGroupIndex(1);

  Panel1 = new TPanel(this);
  Panel1->SetName("Panel1");
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetCaption("");
  Panel1->SetBounds(0, 265 - 84, 451, 84);
  Panel1->SetAlign(alBottom);
  Panel1->SetParent(this);
  FileNameTxt = Make<TLabel>(this, Panel1, "FileNameTxt", 8, 8, 84, 13);
  FilesOfTypeTxt = Make<TLabel>(this, Panel1, "FilesOfTypeTxt", 8, 36, 84, 13);
  FileNameEdt = Make<TEdit>(this, Panel1, "FileNameEdt", 96, 4, 264, 21);
  FileNameEdt->TabStop = true;
  FileNameCbx = Make<TComboBox>(this, Panel1, "FileNameCbx", 96, 4, 264, 21);
  FileNameCbx->SetVisible(false);
  FileTypesCbx = new TPTCombobox(this);
  FileTypesCbx->SetName("FileTypesCbx");
  FileTypesCbx->SetStyle(csDropDownList);
  FileTypesCbx->SetBounds(96, 32, 264, 21);
  FileTypesCbx->TabStop = true;
  FileTypesCbx->SetParent(Panel1);
  OpenBtn = Make<TButton>(this, Panel1, "OpenBtn", 368, 4, 75, 23);
  OpenBtn->SetDefault(true);
  OpenBtn->ModalResult = mrOk;
  OpenBtn->TabStop = true;
  CancelBtn = Make<TButton>(this, Panel1, "CancelBtn", 368, 32, 75, 23);
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->TabStop = true;
  ReadOnlyChk = Make<TCheckBox>(this, Panel1, "ReadOnlyChk", 96, 60, 200, 17);
  ReadOnlyChk->TabStop = true;
  LookInTxt->SetFocusControl(PTShellCombo1);
  FileNameTxt->SetFocusControl(FileNameEdt);
  FilesOfTypeTxt->SetFocusControl(FileTypesCbx);
  HelpBtn = Make<TButton>(this, Panel1, "HelpBtn", 368, 60, 75, 23);
  HelpBtn->SetVisible(false);
  HelpBtn->TabStop = true;

  PTSplitter1 = new TPTSplitter(this);
  PTSplitter1->SetName("PTSplitter1");
  PTSplitter1->SetBounds(kEdge, 34, 451 - 2 * kEdge, 265 - 84 - 34);
  PTSplitter1->SetProportional(false);
  PTSplitter1->SetParent(this);
  TPTPane* panes[2];
  for (int i = 0; i < 2; ++i) {
    panes[i] = new TPTPane(this);
    panes[i]->SetName(i == 0 ? "PTSplitter1_pane1" : "PTSplitter1_pane2");
    panes[i]->SetIndex(i);
    panes[i]->SetParent(PTSplitter1);
  }
  panes[0]->SetMinSize(4);
  panes[1]->SetMinSize(60);
  PTSplitter1->Loaded();
  PTSplitter1->SetSplitterWidth(5);
  PTSplitter1->SetPosition(179);

  PTShellTree1 = new TPTShellTree(this);
  PTShellTree1->SetName("PTShellTree1");
  PTShellTree1->OnAddItem = dialog_->OnAddTreeItem();
  PTShellTree1->SetOptions(ptstoAutoFill | ptstoDefaultKeyHandling | ptstoContextMenus | ptstoDynamicRefresh);
  PTShellTree1->ShowRoot = false;
  PTShellTree1->DragMode = dmAutomatic;
  PTShellTree1->HideSelection = false;
  PTShellTree1->SetIndent(19);
  PTShellTree1->SetAlign(alClient);
  PTShellTree1->TabStop = true;
  PTShellTree1->SetVisible(false);
  PTShellTree1->SetParent(panes[0]);

  PTShellList1 = new TPTShellList(this);
  PTShellList1->SetName("PTShellList1");
  PTShellList1->OnAddItem = dialog_->OnAddListItem();
  PTShellList1->SetOptions(PtsloBit(ptsloAutoFill) | PtsloBit(ptsloDefaultKeyHandling) |
                           PtsloBit(ptsloContextMenus) | PtsloBit(ptsloDynamicRefresh));
  PTShellList1->SetViewStyle(vsList);
  PTShellList1->IconOptions.AutoArrange = true;
  PTShellList1->SetAlign(alClient);
  PTShellList1->TabStop = true;
  PTShellList1->SetParent(panes[1]);

  OnResize = [this](TObject* s) { FormResize(s); };
  OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { FormKeyDown(s, k, sh); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
  UpOneLevelBtn->OnClick = [this](TObject* s) { UpOneLevelBtnClick(s); };
  CreateNewFolderBtn->OnClick = [this](TObject* s) { CreateNewFolderBtnClick(s); };
  ShowTreeBtn->OnClick = [this](TObject* s) { ShowTreeBtnClick(s); };
  ListBtn->OnClick = [this](TObject* s) { ViewBtnClick(s); };
  DetailsBtn->OnClick = [this](TObject* s) { ViewBtnClick(s); };
  FileTypesCbx->OnSelEndOk = [this](TObject* s) { FileTypesCbxSelEndOk(s); };
  FileNameEdt->OnChange = [this](TObject* s) { FileNameEdtChange(s); };
  HelpBtn->OnClick = [this](TObject* s) { HelpBtnClick(s); };
  PTShellList1->OnChange = [this](TObject* s, TListItem* i, TItemChange c) { PTShellList1Change(s, i, c); };
  PTShellTree1->OnChange = [this](TObject* s, TTreeNode* n) { PTShellTree1Change(s, n); };
  LinkFollowers();
}

void TPTFrmOpenDlg::BuildMenu() {
  LvPopup = new TPopupMenu(this);
  LvPopup->SetName("LvPopup");
  auto item = [this](TMenuItem* parent, const std::string& name) {
    TMenuItem* m = new TMenuItem(this);
    m->SetName(name);
    parent->Add(m);
    return m;
  };
  auto separator = [&](TMenuItem* parent) { item(parent, "")->Caption = "-"; };
  TMenuItem* root = &LvPopup->Items();
  View1Mitm = item(root, "View1Mitm");
  LargeIcons1Mitm = item(View1Mitm, "LargeIcons1Mitm");
  SmallIcons1Mitm = item(View1Mitm, "SmallIcons1Mitm");
  List1Mitm = item(View1Mitm, "List1Mitm");
  Details1Mitm = item(View1Mitm, "Details1Mitm");
  TMenuItem* views[4] = {LargeIcons1Mitm, SmallIcons1Mitm, List1Mitm, Details1Mitm};
  for (int i = 0; i < 4; ++i) {
    views[i]->RadioItem = true;
    views[i]->SetTag(i);
    views[i]->OnClick = [this](TObject* s) { ViewBtnClick(s); };
  }
  LargeIcons1Mitm->Enabled = false;
  SmallIcons1Mitm->Enabled = false;
  List1Mitm->Checked = true;
  separator(root);
  Paste1Mitm = item(root, "Paste1Mitm");
  Paste1Mitm->OnClick = [this](TObject* s) { Paste1MitmClick(s); };
  separator(root);
  New1Mitm = item(root, "New1Mitm");
  Folder1Mitm = item(New1Mitm, "Folder1Mitm");
  Folder1Mitm->OnClick = [this](TObject* s) { CreateNewFolderBtnClick(s); };
  separator(root);
  Properties1Mitm = item(root, "Properties1Mitm");
  Properties1Mitm->OnClick = [this](TObject* s) { Properties1MitmClick(s); };
  PTShellList1->PopupMenu = LvPopup;
}

// The combo, the tree and the list each follow the one the user moved.
// The links of the shell controls themselves do not yet pass every change
// on (the combo tells no list, the tree no list), so the form passes them:
// setting a locator to the folder it already holds changes nothing, so a
// change the controls pass on later as well ends here.
void TPTFrmOpenDlg::LinkFollowers() {
  TNotifyEvent comboOwn = PTShellCombo1->Locator()->OnChange;
  PTShellCombo1->Locator()->OnChange = [this, comboOwn](TObject* s) {
    if (comboOwn) comboOwn(s);
    if (!closing_ && !TreeShown()) PTShellList1->Folder().SetPidl(PTShellCombo1->Locator()->GetPidl());
  };
  TNotifyEvent treeOwn = PTShellTree1->CurrentFolder()->OnChange;
  PTShellTree1->CurrentFolder()->OnChange = [this, treeOwn](TObject* s) {
    if (treeOwn) treeOwn(s);
    if (!closing_ && TreeShown()) PTShellList1->Folder().SetPidl(PTShellTree1->CurrentFolder()->GetPidl());
  };
  TNotifyEvent listOwn = PTShellList1->Folder().OnChange;
  PTShellList1->Folder().OnChange = [this, listOwn](TObject* s) {
    if (listOwn) listOwn(s);
    if (closing_) return;
    if (TreeShown())
      PTShellTree1->CurrentFolder()->SetPidl(PTShellList1->Folder().GetPidl());
    else
      PTShellCombo1->Locator()->SetPidl(PTShellList1->Folder().GetPidl());
  };
  PTShellList1->SetShellCombo(PTShellCombo1);
}

void TPTFrmOpenDlg::Setup() {
  // 1. Texts.
  Font().SetName(S(52594));
  CancelBtn->SetCaption(S(52507));
  HelpBtn->SetCaption(S(52508));
  UpOneLevelBtn->SetHint(S(52500));
  CreateNewFolderBtn->SetHint(S(52501));
  ListBtn->SetHint(S(52583) + "|" + S(52579));
  DetailsBtn->SetHint(S(52584) + "|" + S(52580));
  ShowTreeBtn->SetHint(S(52586));
  ReadOnlyChk->SetCaption(S(52509));
  FileNameTxt->SetCaption(S(52504));
  if (save_) {
    LookInTxt->SetCaption(S(52481));
    FilesOfTypeTxt->SetCaption(S(52485));
    OpenBtn->SetCaption(S(52482));
    SetCaption(S(52483));
  } else {
    LookInTxt->SetCaption(S(52503));
    FilesOfTypeTxt->SetCaption(S(52505));
    OpenBtn->SetCaption(S(52506));
    SetCaption(S(52484));
  }
  View1Mitm->Caption = S(52521);
  View1Mitm->Hint = S(52576);
  LargeIcons1Mitm->Caption = S(52511);
  LargeIcons1Mitm->Hint = S(52577);
  SmallIcons1Mitm->Caption = S(52512);
  SmallIcons1Mitm->Hint = S(52578);
  List1Mitm->Caption = S(52513);
  List1Mitm->Hint = S(52579);
  Details1Mitm->Caption = S(52514);
  Details1Mitm->Hint = S(52580);
  Paste1Mitm->Caption = S(52517);
  Paste1Mitm->Hint = S(52573);
  New1Mitm->Caption = S(52527);
  New1Mitm->Hint = S(52543);
  Folder1Mitm->Caption = S(52528);
  Folder1Mitm->Hint = S(52531);
  Properties1Mitm->Caption = S(52520);
  Properties1Mitm->Hint = S(52570);
  if (!dialog_->Title.empty()) SetCaption(dialog_->Title);

  // 2. Options passed on to the list and the tree.
  TPTShellListOptions lo = PTShellList1->Options();
  TPTShellTreeOptions to = PTShellTree1->Options();
  if (options_ & PtofBit(ptofOleDrag)) {
    lo |= PtsloBit(ptsloOleDrag);
    to |= ptstoOleDrag;
  }
  if (options_ & PtofBit(ptofOleDrop)) {
    lo |= PtsloBit(ptsloOleDrop);
    to |= ptstoOleDrop;
  }
  if (options_ & PtofBit(ptofHideFoldersInListWhenTreeVisible)) lo |= PtsloBit(ptsloHideFoldersWhenLinkedToTree);
  PTShellList1->SetOptions(lo);
  PTShellTree1->SetOptions(to);
  SetShowHint((options_ & PtofBit(ptofShowHints)) != 0);

  // 3. Size and state.
  if (dialog_->FormWidth > 0) SetWidth(dialog_->FormWidth);
  if (dialog_->FormHeight > 0) SetHeight(dialog_->FormHeight);
  SetWindowState(dialog_->FormWindowState);

  // 4. Without the tree its button goes and the view buttons close up.
  if (!(options_ & PtofBit(ptofAllowTree))) {
    ShowTreeBtn->SetVisible(false);
    const int w = ShowTreeBtn->Width();
    for (TSpeedButton* b : {ListBtn, DetailsBtn})
      if (b->Left() > ShowTreeBtn->Left()) b->SetLeft(b->Left() - w);
  }

  // 5. File types.
  for (const filedlg::FilterEntry& e : filedlg::ParseFilter(dialog_->Filter)) {
    FileTypesCbx->Items().Add(e.Description);
    filter_masks_.push_back(e.Masks);
  }
  const int count = FileTypesCbx->Items().Count();
  if (dialog_->FilterIndex >= 1 && dialog_->FilterIndex <= count)
    ApplyFilter(dialog_->FilterIndex - 1);
  else if (count > 0)
    ApplyFilter(0);

  // 6. The folder to start in.
  std::string start = dialog_->InitialDir;
  if (start.empty()) start = ExtractFileDir(dialog_->GetFileName());
  if (start.empty()) start = GetCurrentDir();
  OpenFolder(start);

  // 7. The rest.
  ReadOnlyChk->SetVisible(!(options_ & PtofBit(ptofHideReadOnly)));
  HelpBtn->SetVisible((options_ & PtofBit(ptofShowHelp)) != 0);
  // Fitted after the visibilities are known, so that no empty strip stays
  // where a hidden box would have been.
  int lowest = 0;
  for (int i = 0; i < Panel1->ControlCount(); ++i) {
    TControl* c = Panel1->Controls(i);
    if (c->Visible()) lowest = std::max(lowest, c->Top() + c->Height());
  }
  Panel1->SetHeight(lowest + kEdge);
  if (options_ & PtofBit(ptofShowTree))
    SetTreeShown(true);
  else
    SetTreeShown(false);
  FileTypesCbx->SetExtendedUI(true);
  PTShellList1->MultiSelect = (options_ & PtofBit(ptofAllowMultiselect)) != 0;
  PTShellList1->ApplyStyles();
  PTShellList1->OnCustomDrawSh = dialog_->OnLvCustomDrawSh;
  PTShellList1->OnCustomDrawShEx = dialog_->OnLvCustomDrawShEx;
  PTShellTree1->OnCustomDrawSh = dialog_->OnTvCustomDrawSh;
  PTShellTree1->OnCustomDrawShEx = dialog_->OnTvCustomDrawShEx;
  for (int i = 0; i < dialog_->HistoryList().Count(); ++i) FileNameCbx->Items().Add(dialog_->HistoryList()[i]);
  setting_name_ = true;
  FileNameEdt->SetText(dialog_->GetFileName());
  setting_name_ = false;
  SetActiveControl(FileNameEdt);
  FitMinimumSize();
  FormResize(this);
  if (dialog_->OnInitialized) dialog_->OnInitialized(dialog_);
}

std::string TPTFrmOpenDlg::CurrentFolderPath() { return PTShellList1->Folder().GetPath(); }

void TPTFrmOpenDlg::OpenFolder(const std::string& path) {
  PTShellCombo1->Locator()->SetPath(path);
  // When the combo held that folder already the list may not.
  PTShellList1->Folder().SetPidl(PTShellCombo1->Locator()->GetPidl());
}

void TPTFrmOpenDlg::ApplyFilter(int index) {
  FileTypesCbx->SetItemIndex(index);
  SetListFilter(index >= 0 && index < static_cast<int>(filter_masks_.size()) ? filter_masks_[index] : "");
}

void TPTFrmOpenDlg::SetListFilter(const std::string& masks) {
  if (PTShellList1->FileFilter() == masks) return;
  PTShellList1->SetFileFilter(masks);
  PTShellList1->Refill();
}

// ---------------------------------------------------------------- handlers

void TPTFrmOpenDlg::FormResize(TObject*) {
  if (!PTSplitter1 || !Panel1) return;
  RECT cr = ClientRect();
  const int top = PTShellCombo1->Top() + PTShellCombo1->Height() + kEdge;
  PTSplitter1->SetBounds(kEdge, top, std::max(0, static_cast<int>(cr.right) - 2 * kEdge),
                         std::max(0, static_cast<int>(Panel1->Top()) - top));
  const int right = Panel1->ClientWidth() - kEdge;
  for (TButton* b : {OpenBtn, CancelBtn, HelpBtn}) b->SetLeft(right - b->Width());
  const int editRight = OpenBtn->Left() - kGap;
  FileNameEdt->SetWidth(std::max(0, editRight - FileNameEdt->Left()));
  FileNameCbx->SetWidth(std::max(0, editRight - FileNameCbx->Left()));
  FileTypesCbx->SetWidth(std::max(0, editRight - FileTypesCbx->Left()));
}

void TPTFrmOpenDlg::FitMinimumSize() {
  // The top row keeps its places; the bottom row needs its labels, an edit
  // a name can be read in, and the buttons.
  int right = 0;
  for (TControl* c : {static_cast<TControl*>(PTShellCombo1), static_cast<TControl*>(UpOneLevelBtn),
                      static_cast<TControl*>(CreateNewFolderBtn), static_cast<TControl*>(ShowTreeBtn),
                      static_cast<TControl*>(ListBtn), static_cast<TControl*>(DetailsBtn)})
    if (c->Visible()) right = std::max(right, c->Left() + c->Width());
  const int kMinEditWidth = 120;
  const int bottomRow = FileNameEdt->Left() + kMinEditWidth + kGap + OpenBtn->Width();
  const int clientW = std::max(right, bottomRow) + kEdge;
  const TPTPane* listPane = PTSplitter1->GetPane(1);
  const int listMin = std::max(listPane ? listPane->MinSize() : 0, 60);
  const int clientH = PTShellCombo1->Top() + PTShellCombo1->Height() + kEdge + listMin + Panel1->Height();
  RECT cr = ClientRect();
  Constraints.MinWidth = clientW + (Width() - static_cast<int>(cr.right - cr.left));
  Constraints.MinHeight = clientH + (Height() - static_cast<int>(cr.bottom - cr.top));
  // A stored size from an older or damaged setting is no smaller either.
  if (Width() < Constraints.MinWidth || Height() < Constraints.MinHeight)
    SetBounds(Left(), Top(), std::max(Width(), Constraints.MinWidth), std::max(Height(), Constraints.MinHeight));
}

void TPTFrmOpenDlg::ViewBtnClick(TObject* sender) {
  auto* c = dynamic_cast<TComponent*>(sender);
  if (!c) return;
  const intptr_t tag = c->Tag();
  if (tag != 2 && tag != 3) return;
  PTShellList1->SetViewStyle(tag == 3 ? vsReport : vsList);
  List1Mitm->Checked = tag == 2;
  Details1Mitm->Checked = tag == 3;
  (tag == 3 ? DetailsBtn : ListBtn)->SetDown(true);
}

void TPTFrmOpenDlg::PTShellList1Change(TObject*, TListItem*, TItemChange change) {
  if (change != ctState) return;
  std::vector<std::string> names;
  std::string single;
  for (TListItem* it = PTShellList1->GetNextItem(nullptr, sdAll, 1u << isSelected); it;
       it = PTShellList1->GetNextItem(it, sdAll, 1u << isSelected)) {
    TPTShListData* data = PTShellList1->ItemData(it->Index());
    if (!data || data->IsFolder()) continue;
    names.push_back(data->FileName());
    single = data->DisplayName();
  }
  if (names.empty()) return;
  setting_name_ = true;
  FileNameEdt->SetText(names.size() > 1 ? filedlg::QuoteNames(names) : single);
  setting_name_ = false;
  name_from_list_ = names.size() == 1;
}

void TPTFrmOpenDlg::PTShellTree1Change(TObject*, TTreeNode*) {
  if (!TreeShown()) return;
  FileNameEdt->SetText("");
}

void TPTFrmOpenDlg::FileNameEdtChange(TObject*) {
  if (!setting_name_) name_from_list_ = false;
}

void TPTFrmOpenDlg::UpOneLevelBtnClick(TObject*) { PTShellCombo1->GoUpLevels(1); }

void TPTFrmOpenDlg::ShowTreeBtnClick(TObject*) { SetTreeShown(!TreeShown()); }

void TPTFrmOpenDlg::SetTreeShown(bool show) {
  TPTPane* pane0 = PTSplitter1->GetPane(0);
  if (show) {
    ShowTreeBtn->SetDown(true);
    THourGlassHold busy;
    PTShellTree1->CurrentFolder()->SetPidl(PTShellCombo1->Locator()->GetPidl());
    options_ |= PtofBit(ptofShowTree);
    PTShellList1->SetShellCombo(nullptr);
    PTShellCombo1->SetShellTree(PTShellTree1);
    PTShellList1->SetShellTree(PTShellTree1);
    if (pane0) pane0->SetMinSize(4);
    PTSplitter1->SetPosition(dialog_->FormSplitterPos >= 0 ? dialog_->FormSplitterPos : kTreeWidth);
    PTShellTree1->SetVisible(true);
  } else {
    const bool wasShown = PTShellTree1->Visible();
    ShowTreeBtn->SetDown(false);
    if (PTShellTree1->Focused()) PTShellList1->SetFocus();
    PTShellTree1->SetVisible(false);
    options_ &= ~PtofBit(ptofShowTree);
    PTShellCombo1->SetShellTree(nullptr);
    PTShellList1->SetShellTree(nullptr);
    PTShellList1->SetShellCombo(PTShellCombo1);
    // Only a tree the user saw has a position worth keeping.
    if (wasShown) dialog_->FormSplitterPos = PTSplitter1->Position();
    const int hidden = -PTSplitter1->SplitterWidth();
    if (pane0) pane0->SetMinSize(hidden);
    PTSplitter1->SetPosition(hidden);
  }
  dialog_->Options = (dialog_->Options & ~PtofBit(ptofShowTree)) | (options_ & PtofBit(ptofShowTree));
}

void TPTFrmOpenDlg::FormKeyDown(TObject*, WORD& key, TShiftState shift) {
  if (shift & (ssShift | ssAlt | ssCtrl)) return;
  switch (key) {
    case VK_F4:
      if (PTShellCombo1->DroppedDown()) {
        PTShellCombo1->SetDroppedDown(false);
        PTShellList1->SetFocus();
      } else {
        PTShellCombo1->SetDroppedDown(true);
      }
      key = 0;
      break;
    case VK_F5:
      // A focused control refreshes itself on F5.
      if (!PTShellCombo1->Focused()) PTShellCombo1->Rebuild();
      if (!PTShellList1->Focused()) PTShellList1->Refill();
      if (TreeShown() && !PTShellTree1->Focused()) PTShellTree1->Refresh();
      break;
    case VK_F12:
      if (options_ & PtofBit(ptofAllowTree)) {
        SetTreeShown(!TreeShown());
        key = 0;
      }
      break;
    default:
      break;
  }
}

void TPTFrmOpenDlg::FileTypesCbxSelEndOk(TObject*) {
  if (!typed_mask_.empty()) {
    typed_mask_.clear();
    FileNameEdt->SetText("");
  }
  const int i = FileTypesCbx->ItemIndex();
  PTShellList1->SetFileFilter(i >= 0 && i < static_cast<int>(filter_masks_.size()) ? filter_masks_[i] : "");
  PTShellList1->Refill();
}

void TPTFrmOpenDlg::CreateNewFolderBtnClick(TObject*) {
  if (PTShellTree1->Focused() ||
      (TreeShown() && PTShellList1->HasOption(ptsloHideFoldersWhenLinkedToTree)))
    PTShellTree1->CreateNewFolder();
  else
    PTShellList1->CreateNewFolder(true);
}

void TPTFrmOpenDlg::FormDestroy(TObject*) { filter_masks_.clear(); }

void TPTFrmOpenDlg::Paste1MitmClick(TObject*) {
  InvokeFolderVerb(Handle(), PTShellList1->Folder().GetPidl(), "paste");
}

void TPTFrmOpenDlg::Properties1MitmClick(TObject*) {
  InvokeFolderVerb(Handle(), PTShellList1->Folder().GetPidl(), "properties");
}

void TPTFrmOpenDlg::HelpBtnClick(TObject*) {
  if (!dialog_->OnHelp) return;
  bool callHelp = true;
  dialog_->OnHelp(HELP_CONTEXT, dialog_->HelpContext, callHelp);
}

// ---------------------------------------------------------------- closing

void TPTFrmOpenDlg::FormCloseQuery(TObject*, bool& canClose) {
  if (ModalResult != mrOk) return;
  const std::string text = FileNameEdt->Text();
  // Quotes only group names: a quoted mask is still a mask, never a file
  // name to return.
  const std::vector<std::string> names = filedlg::SplitTypedNames(text);
  const bool anyMask =
      std::any_of(names.begin(), names.end(), [](const std::string& n) { return filedlg::IsMask(n); });
  if (anyMask && names.size() > 1) {
    canClose = false;
    Ask(52491, text, MB_ICONWARNING | MB_OK);
    return;
  }
  if (anyMask) {
    canClose = false;
    const std::string& mask = names.front();
    const std::string dir = filedlg::DirPart(mask);
    if (!dir.empty()) OpenFolder(filedlg::CombinePath(CurrentFolderPath(), dir));
    typed_mask_ = filedlg::NamePart(mask);
    SetListFilter(typed_mask_);
    setting_name_ = true;
    FileNameEdt->SetText(typed_mask_);
    setting_name_ = false;
    FileNameEdt->SetFocus();
    FileNameEdt->SelectAll();
    return;
  }
  canClose = CheckNames();
  if (!canClose || (options_ & PtofBit(ptofNoChangeDir))) return;
  // A hidden tree keeps the folder it was first given: the list's is the
  // one the user looked at.
  std::string dir = TreeShown() ? PTShellTree1->SelectedPath() : CurrentFolderPath();
  if (!dir.empty()) SetCurrentDirectoryA(dir.c_str());
}

int TPTFrmOpenDlg::Ask(unsigned id, const std::string& name, UINT flags) {
  return Application->MessageBox(Format(S(id), name), Caption(), flags);
}

bool TPTFrmOpenDlg::ExtensionRegistered(const std::string& ext) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ext.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool TPTFrmOpenDlg::CheckNames() {
  accepted_.Clear();
  const std::string text = FileNameEdt->Text();
  std::vector<std::string> names = filedlg::SplitTypedNames(text);
  if (names.empty()) return false;
  const bool several = names.size() > 1;
  for (const std::string& name : names) {
    std::string path;
    bool stop = false;
    if (!ResolveName(name, !several, path, stop)) {
      accepted_.Clear();
      return false;
    }
    if (stop) {
      accepted_.Clear();
      return false;
    }
    TPTOpenOptions o = options_;
    if (several) o |= PtofBit(ptofFileMustExist);
    if (!TestFile(path, o)) {
      accepted_.Clear();
      return false;
    }
    accepted_.Add(path);
  }
  return true;
}

bool TPTFrmOpenDlg::ResolveName(const std::string& name, bool single, std::string& path, bool& stop) {
  if (!(options_ & PtofBit(ptofNoValidate)) && filedlg::HasForbiddenChars(name)) {
    Ask(52491, FileNameEdt->Text(), MB_ICONWARNING | MB_OK);
    return false;
  }
  // A device takes what is written to it and keeps nothing.
  if (filedlg::IsDeviceName(name)) {
    Ask(52492, name, MB_ICONWARNING | MB_OK);
    return false;
  }
  const std::string folder = CurrentFolderPath();
  path = filedlg::CombinePath(folder, name);
  // Outside the file system (My Computer, the desktop's virtual items) the
  // name has no folder of its own and would land in the current one.
  if (!filedlg::IsRooted(path)) {
    Ask(52490, name, MB_ICONWARNING | MB_OK);
    return false;
  }
  if (DirectoryExists(path)) {
    OpenFolder(path);
    FileNameEdt->SetText("");
    stop = true;
    return true;
  }
  auto dereference = [this](std::string& p) {
    if (options_ & PtofBit(ptofNoDereferenceLinks)) return;
    if (!SameText(filedlg::ExtensionOf(p), "lnk") || !FileExists(p)) return;
    TLinkData link;
    if (SUCCEEDED(ReadShellLink(p, link, false)) && !link.Path.empty()) p = link.Path;
  };
  dereference(path);
  if (!single) return true;
  TListItem* selected = PTShellList1->Selected();
  if (name_from_list_ && selected) {
    if (TPTShListData* data = PTShellList1->ItemData(selected->Index())) {
      path = data->FullPath();
      dereference(path);
      return true;
    }
  }
  if (!dialog_->DefaultExt.empty()) {
    filedlg::DefaultExtResult r = filedlg::ApplyDefaultExt(
        path, dialog_->DefaultExt, [this](const std::string& e) { return ExtensionRegistered(e); });
    path = r.Name;
    const TPTOpenOptions bit = PtofBit(ptofExtensionDifferent);
    options_ = r.ExtensionDifferent ? (options_ | bit) : (options_ & ~bit);
    dialog_->Options = r.ExtensionDifferent ? (dialog_->Options | bit) : (dialog_->Options & ~bit);
  }
  const std::string dir = ExtractFileDir(path);
  if (!dir.empty() && !SameText(IncludeTrailingBackslash(dir), IncludeTrailingBackslash(folder)) && DirectoryExists(dir))
    OpenFolder(dir);
  const std::string file = filedlg::NamePart(path);
  int matches = 0;
  std::string found;
  for (int i = 0; i < PTShellList1->Items().Count(); ++i) {
    TPTShListData* data = PTShellList1->ItemData(i);
    if (!data || !SameText(data->FileName(), file)) continue;
    ++matches;
    found = data->FullPath();
  }
  if (matches >= 2) {
    Ask(52499, file, MB_ICONWARNING | MB_OK);
    return false;
  }
  if (matches == 1) path = found;
  return true;
}

bool TPTFrmOpenDlg::TestFile(const std::string& path, TPTOpenOptions o) {
  const DWORD attrs = GetFileAttributesA(path.c_str());
  const bool exists = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
  if (exists) {
    if ((attrs & FILE_ATTRIBUTE_READONLY) && (o & PtofBit(ptofNoReadOnlyReturn))) {
      Ask(52494, path, MB_ICONWARNING | MB_OK);
      return false;
    }
    if (o & PtofBit(ptofOverwritePrompt)) return Ask(52480, path, MB_ICONWARNING | MB_YESNO) == IDYES;
    return true;
  }
  if (o & PtofBit(ptofFileMustExist)) {
    Ask(52489, path, MB_ICONWARNING | MB_OK);
    return false;
  }
  if (o & PtofBit(ptofCreatePrompt)) return Ask(52498, ExtractFileName(path), MB_ICONQUESTION | MB_YESNO) == IDYES;
  return true;
}
