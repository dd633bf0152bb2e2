#include "wizardpages.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>

#include "exceptions.h"
#include "kitroutines.h"
#include "loader.h"
#include "netlocation.h"
#include "pathspec.h"
#include "progman.h"
#include "shelllinks.h"
#include "translator.h"
#include "win/dialogs.h"
#include "win/install.h"

namespace {

// Identifiers of the pages' texts in the language files.
enum : int {
  glidBack = 4,
  glidNext = 5,
  glidCancel = 6,
  glidFinish = 7,
  glidBrowse = 8,
  glidProceed = 9,
  glidWelcome1 = 20,
  glidWelcome2,
  glidWelcome3,
  glidFolderText = 30,
  glidFolderLabel,
  glidExistingLabel,
  glidDestCaption = 40,
  glidDescCaption,
  glidReboot = 50,
  glidGood = 60,
  glidBad = 70,
  glidProcessing = 80,
  glidFileProgress,
  glidTotalProgress,
  glidInsertDisk = 90,
  glidDiskText,
  glidPath,
};

const char kInsertDisk[] = "Please insert disk number %d";

template <class T>
T* Make(TComponent* owner, TWinControl* parent, const std::string& name, int left, int top, int width, int height) {
  T* c = new T(owner);
  if (!name.empty()) c->SetName(name);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

TTranslateLabel* MakeLabel(TComponent* owner, TWinControl* parent, const std::string& name, const std::string& text,
                           int glid, int left, int top, int width, int height, bool wrap) {
  auto* l = Make<TTranslateLabel>(owner, parent, name, left, top, width, height);
  l->SetAutoSize(false);
  l->SetWordWrap(wrap);
  l->SetGLID(glid);
  l->SetCaption(text);
  return l;
}

TTranslateBitBtn* MakeButton(TComponent* owner, TWinControl* parent, const std::string& name,
                             const std::string& caption, int glid, int left, int top) {
  auto* b = Make<TTranslateBitBtn>(owner, parent, name, left, top, 75, 25);
  b->SetGLID(glid);
  b->SetCaption(caption);
  b->TabStop = true;
  return b;
}

void FocusButton(TWinControl* button) {
  if (!button || !button->Visible()) return;
  if (TForm* top = GetParentForm(button)) top->SetActiveControl(button);
  if (button->CanFocus()) button->SetFocus();
}

TFileContainer* AsFileContainer(TInstallContainer* c) { return dynamic_cast<TFileContainer*>(c); }

TInstallType CurrentTypeOf(TInstallContainer* fallback) {
  if (TInstallContainer* d = InstallDriver()) return d->CurrentInstallType();
  return fallback ? fallback->CurrentInstallType() : itAlways;
}

std::string ContainerGroupName(TFileContainer* c) { return TranslateText(c->GroupName()); }

void CheckParameter(TObject* parameter, const std::string& name, bool ok, const std::string& className) {
  if (!parameter) throw IException("%s got a nil PO parameter", {name});
  if (!ok) throw IException("The PO object passed to %s is not a " + className + " object", {name});
}

}  // namespace

bool LoadInstallTheme(TBitmap& bitmap) {
  return bitmap.LoadFromResourceName(GetModuleHandleA(nullptr), "INSTALLTHEME1");
}

// ---------------------------------------------------------------------------
// Common page frame

TQuenlowPageForm::TQuenlowPageForm(TComponent* owner, const std::string& caption, bool withFinish)
    : TBaseInstallForm(owner) {
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetCaption(caption);
  SetClientSize(472, 366);
  ThemePanel = Make<TPanel>(this, this, "ThemePanel", 8, 8, 136, 308);
  ThemePanel->SetBevelOuter(bvLowered);
  ThemePanel->SetCaption("");
  ThemeImage = Make<TImage>(this, ThemePanel, "ThemeImage", 1, 1, 134, 306);
  ThemeImage->SetStretch(true);
  LoadInstallTheme(ThemeImage->Picture().Bitmap());
  ButtonLine = Make<TPanel>(this, this, "ButtonLine", 8, ButtonTop - 9, 456, 2);
  ButtonLine->SetBevelOuter(bvLowered);
  ButtonLine->SetCaption("");
  BackBtn = MakeButton(this, this, "BackBtn", "< Previous", glidBack, 212, ButtonTop);
  ProceedBtn = MakeButton(this, this, "ProceedBtn", "Next >", glidNext, 287, ButtonTop);
  BackBtn->OnClick = [this](TObject*) { Back(); };
  ProceedBtn->OnClick = [this](TObject*) { Next(); };
  if (withFinish) {
    FinishBtn = MakeButton(this, this, "FinishBtn", "Finish", glidFinish, 287, ButtonTop);
    FinishBtn->OnClick = [this](TObject*) { Next(); };
    FinishBtn->SetVisible(false);
  } else {
    CancelBtn = MakeButton(this, this, "CancelBtn", "Cancel", glidCancel, 380, ButtonTop);
    CancelBtn->Cancel = true;
    CancelBtn->OnClick = [this](TObject*) { Cancel(); };
  }
  ProceedBtn->SetDefault(true);
}

TTranslateLabel* TQuenlowPageForm::AddText(const std::string& name, const std::string& text, int glid, int top,
                                           int height) {
  return MakeLabel(this, this, name, text, glid, ContentLeft, top, ContentWidth, height, true);
}

TTranslateBitBtn* TQuenlowPageForm::AddButton(const std::string& name, const std::string& caption, int glid,
                                              int left) {
  return MakeButton(this, this, name, caption, glid, left, ButtonTop);
}

void TQuenlowPageForm::DialogAssigned() {
  if (DC && !DC->ThemeBitmap()->Bitmap().Empty())
    ThemeImage->Picture().Bitmap().Assign(DC->ThemeBitmap()->Bitmap());
  ProceedBtn->SetDefault(true);
  if (FinishBtn) FinishBtn->SetDefault(true);
  if (CancelBtn) CancelBtn->Cancel = true;
}

void TQuenlowPageForm::ShowPage() {
  BackBtn->SetVisible(BackAllowed && !IsFirstPage());
  TTranslateBitBtn* go = ProceedBtn;
  if (FinishBtn) {
    const bool last = IsLastPage();
    ProceedBtn->SetVisible(!last);
    FinishBtn->SetVisible(last);
    if (last) go = FinishBtn;
  }
  FocusButton(go);
}

void TQuenlowPageForm::CloseRequested() {
  // Closing the frame does what the page's own way out does: Finish where
  // it shows one, otherwise Cancel (which asks first).
  if (FinishBtn && FinishBtn->Visible())
    Next();
  else
    Cancel();
}

// ---------------------------------------------------------------------------
// Welcome, reboot, complete, incomplete

TWelcomeForm::TWelcomeForm(TComponent* owner) : TQuenlowPageForm(owner, "Welcome", false) {
  SetName("WelcomeForm");
  Order = 5;
  Text1 = AddText("Text1", "This program will install the software on your computer.", glidWelcome1, 12, 40);
  Text2 = AddText("Text2",
                  "It is strongly recommended that you exit all Windows programs before running this setup. If you "
                  "need to close any programs, click Cancel to quit the setup and then close the programs.",
                  glidWelcome2, 60, 90);
  Text3 = AddText("Text3", "Click Next to continue with the installation.", glidWelcome3, 160, 40);
}

TRebootForm::TRebootForm(TComponent* owner) : TQuenlowPageForm(owner, "Reboot windows", true) {
  SetName("RebootForm");
  Order = 10;
  Text1 = AddText("Text1",
                  "Several components could not be installed on your system because they were in use. For the "
                  "installation to proceed, you will need to reboot your computer. If you decide not to reboot now, "
                  "the software will probably not work until you do reboot.",
                  glidReboot, 12, 120);
  RebootGroup = Make<TRadioGroup>(this, this, "RebootGroup", ContentLeft, 150, ContentWidth, 80);
  RebootGroup->Items().Add("Yes, I would like to reboot windows");
  RebootGroup->Items().Add("No, I would not like to reboot windows");
  RebootGroup->OnClick = [this](TObject*) {
    if (RebootGroup->ItemIndex() >= 0) RebootNeeded() = RebootGroup->ItemIndex() == 0;
  };
}

void TRebootForm::ShowPage() {
  RebootGroup->SetItemIndex(RebootNeeded() ? 0 : 1);
  TQuenlowPageForm::ShowPage();
}

TGoodInstallForm::TGoodInstallForm(TComponent* owner) : TQuenlowPageForm(owner, "Setup complete", true) {
  SetName("GoodInstallForm");
  Order = 10;
  Text1 = AddText("Text1", "The software has been properly installed. You may start the software by clicking on the icon.",
                  glidGood, 12, 60);
}

TBadInstallForm::TBadInstallForm(TComponent* owner) : TQuenlowPageForm(owner, "Setup incomplete", true) {
  SetName("BadInstallForm");
  Order = 10;
  Text1 = AddText("Text1", "This software has not been properly installed and will not work correctly if you try to use it.",
                  glidBad, 12, 60);
}

// ---------------------------------------------------------------------------
// Select folder

TSelectFolderForm::TSelectFolderForm(TComponent* owner)
    : TQuenlowPageForm(owner, "Select folder in start menu", false) {
  SetName("SelectFolderForm");
  Order = 60;
  Text1 = AddText("Text1",
                  "Setup will add program icons to the Program Folder listed below. You may type a new folder name, "
                  "or select from the E&xisting Folders list.",
                  glidFolderText, 12, 60);
  FolderLabel = MakeLabel(this, this, "FolderLabel", "&Program Folder", glidFolderLabel, ContentLeft, 80, ContentWidth,
                          16, false);
  FolderEdit = Make<TEdit>(this, this, "FolderEdit", ContentLeft, 98, ContentWidth, 22);
  FolderEdit->TabStop = true;
  ExistingLabel = MakeLabel(this, this, "ExistingLabel", "E&xisting Folders", glidExistingLabel, ContentLeft, 130,
                            ContentWidth, 16, false);
  FolderListBox = Make<TListBox>(this, this, "FolderListBox", ContentLeft, 148, ContentWidth, 160);
  FolderListBox->TabStop = true;
  FolderListBox->OnClick = [this](TObject*) {
    const int i = FolderListBox->ItemIndex();
    if (i >= 0) FolderEdit->SetText(FolderListBox->Items()[i]);
  };
  FolderEdit->OnChange = [](TObject* sender) {
    TMainLinkGroup* group = MainLinkGroup();
    if (!group) return;
    group->SetDestDirType(FindStandardPathSpecifier<TpsProgramMenu>());
    group->SetDestDir("\\" + static_cast<TEdit*>(sender)->Text());
  };
}

bool TSelectFolderForm::Skip() { return MainLinkGroup() == nullptr; }

void TSelectFolderForm::Next() {
  // Refused here, before anything is installed: a folder outside the
  // programs folder would put the links and the uninstaller's work there,
  // and a name no folder can have would fail only after the files.
  const std::string folder = FolderEdit->Text();
  std::string why;
  switch (CheckProgramFolderName(folder)) {
    case pffNone: break;
    case pffLeavesPrograms:
      why = Format(TranslateText("The folder %s lies outside the Programs folder. Please type the name of a folder "
                                 "inside it."),
                   folder);
      break;
    case pffBadName:
      why = Format(TranslateText("%s cannot be the name of a folder. A folder name may not hold any of the characters "
                                 "/ : * ? \" < > | and may not end in a dot or a blank. Please type another name."),
                   folder);
      break;
  }
  if (why.empty()) return TQuenlowPageForm::Next();
  if (Application) Application->MessageBox(why, Application->Title(), MB_OK | MB_ICONWARNING);
  if (FolderEdit->CanFocus()) FolderEdit->SetFocus();
  SendMessageA(FolderEdit->Handle(), EM_SETSEL, 0, -1);
}

std::vector<std::string> TSelectFolderForm::ExistingFolders() {
  std::vector<std::string> folders;
  if (GetWindowsVersion() == 1 || GetWindowsVersion() == 2) {
    const std::string base = ProgramsFolder();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((base + "\\*.*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = fd.cFileName;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") folders.push_back(name);
      } while (FindNextFileA(h, &fd));
      FindClose(h);
    }
  } else {
    folders = ProgramManager()->Groups();
  }
  return folders;
}

void TSelectFolderForm::ShowPage() {
  if (!filled_) {
    filled_ = true;
    FolderListBox->Items().Clear();
    for (const std::string& f : ExistingFolders()) FolderListBox->Items().Add(f);
    std::string start;
    TMainLinkGroup* group = MainLinkGroup();
    if (group && group->DestDirType() && group->DestDirType() == FindStandardPathSpecifier<TpsProgramMenu>())
      start = ExtractFileName(ExcludeTrailingBackslash(group->DestDir()));
    else if (FolderListBox->Items().Count() > 0)
      start = FolderListBox->Items()[0];
    FolderEdit->SetText(start);
  }
  TQuenlowPageForm::ShowPage();
}

// ---------------------------------------------------------------------------
// The component page

TGroupTreeView::TGroupTreeView(TComponent* owner) : TCustomTreeView(owner) {
  ReadOnly = true;
  HideSelection = false;
}

void TGroupTreeView::AddNode(TTreeNode* parent, TFileContainer* c) {
  TTreeNode* node = Items().AddChild(parent, ContainerGroupName(c));
  node->Data = c;
  for (int i = 0; i < c->FileContainerCount(); ++i)
    if (auto* sub = AsFileContainer(c->FileContainers(i))) AddNode(node, sub);
}

void TGroupTreeView::Build(TFileContainer* root) {
  Items().BeginUpdate();
  Items().Clear();
  if (root) AddNode(nullptr, root);
  Items().EndUpdate();
  if (TTreeNode* first = Items().GetFirstNode()) {
    first->Expand(true);
    SetSelected(first);
  }
}

TTreeNode* TGroupTreeView::NodeOf(TFileContainer* c) {
  std::function<TTreeNode*(TTreeNode*)> find = [&](TTreeNode* n) -> TTreeNode* {
    for (; n; n = n->GetNextSibling()) {
      if (n->Data == c) return n;
      if (TTreeNode* f = find(n->GetFirstChild())) return f;
    }
    return nullptr;
  };
  return find(Items().GetFirstNode());
}

std::vector<std::pair<TTreeNode*, int>> TGroupTreeView::VisibleNodes() {
  std::vector<std::pair<TTreeNode*, int>> rows;
  if (!HandleAllocated()) return rows;
  RECT client;
  GetClientRect(Handle(), &client);
  for (HTREEITEM h = TreeView_GetFirstVisible(Handle()); h; h = TreeView_GetNextVisible(Handle(), h)) {
    RECT r;
    if (!TreeView_GetItemRect(Handle(), h, &r, FALSE)) break;
    if (r.top >= client.bottom) break;
    if (TTreeNode* n = NodeFromItem(h)) rows.emplace_back(n, static_cast<int>(r.top));
  }
  return rows;
}

void TGroupTreeView::CNNotify(TMessage& m) {
  TCustomTreeView::CNNotify(m);
  auto* h = reinterpret_cast<NMHDR*>(m.LParam);
  if ((h->code == TVN_ITEMEXPANDEDA || h->code == TVN_ITEMEXPANDEDW) && OnLayoutChanged) OnLayoutChanged(this);
}

TDriveSpaceListView::TDriveSpaceListView(TComponent* owner) : TCustomListView(owner) {
  SetViewStyle(vsReport);
  ReadOnly = true;
  ColumnClick = false;
  Warnings = new TImageList(this);
  Warnings->SetSize(16, 16);
  Warnings->CreateList();
  Warnings->AddIcon(LoadIconA(nullptr, IDI_EXCLAMATION));
  SetStateImages(Warnings);
  for (const char* caption : {"Space Required:", "Space Available:"}) {
    TListColumn* c = Columns().Add();
    c->SetCaption(caption);
    c->SetWidth(MinColumnWidth);
  }
}

void TDriveSpaceListView::FitColumns() {
  if (!HandleAllocated()) return;
  // The view leaves 6 pixels beside each text; the first column also
  // holds the warning image.
  auto room = [this](const std::string& text) {
    return static_cast<int>(SendMessageA(Handle(), LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str()))) +
           12;
  };
  int widths[2] = {MinColumnWidth, MinColumnWidth};
  for (int k = 0; k < 2; ++k) widths[k] = std::max(widths[k], room(Columns()[k]->Caption()));
  for (int i = 0; i < Items().Count(); ++i) {
    TListItem* item = Items()[i];
    widths[0] = std::max(widths[0], room(item->Caption()) + 16);
    if (item->SubItems.Count() > 0) widths[1] = std::max(widths[1], room(item->SubItems[0]));
  }
  for (int k = 0; k < 2; ++k)
    if (Columns()[k]->Width() != widths[k]) Columns()[k]->SetWidth(widths[k]);
}

TDriveSpaceListView::~TDriveSpaceListView() { SetStateImages(nullptr); }

std::function<int64_t(char drive)> TDriveSpaceListView::FreeBytesHook;

int64_t TDriveSpaceListView::FreeBytes(char drive) {
  if (FreeBytesHook) return FreeBytesHook(drive);
  const std::string root = std::string(1, drive) + ":\\";
  ULARGE_INTEGER available{}, total{}, totalFree{};
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, &total, &totalFree)) return -1;
  return static_cast<int64_t>(available.QuadPart);
}

void TDriveSpaceListView::Fill(TFileContainer* root) {
  std::vector<std::pair<std::string, int64_t>> destinations;
  std::function<void(TFileContainer*)> collect = [&](TFileContainer* c) {
    if (!c->Included()) return;
    destinations.emplace_back(c->GetDestDir(), c->ShallowSize(false));
    for (int i = 0; i < c->FileContainerCount(); ++i)
      if (auto* sub = AsFileContainer(c->FileContainers(i))) collect(sub);
  };
  if (root) collect(root);
  needs_ = DriveNeeds(destinations);
  Items().BeginUpdate();
  Items().Clear();
  for (const TDriveNeed& n : needs_) {
    const int64_t free = FreeBytes(n.Drive);
    TListItem* item = Items().Add();
    item->SetCaption(std::string(1, n.Drive) + ":  " + FormatBytes(n.Required));
    item->SubItems.Add(free < 0 ? "?" : FormatBytes(free));
    item->Data = reinterpret_cast<void*>(static_cast<intptr_t>(n.Drive));
    item->SetStateIndex(free >= 0 && DriveTooSmall(n.Required, free) ? 0 : -1);
  }
  Items().EndUpdate();
  // Today's disks and programs need more room than the classic width.
  FitColumns();
}

TFileGroupSelectForm::TFileGroupSelectForm(TComponent* owner)
    : TQuenlowPageForm(owner, "Select components to install", false) {
  SetName("FileGroupSelectForm");
  Order = 50;
  const int top = 8, height = 140;
  CheckPanel = Make<TPanel>(this, this, "CheckPanel", ContentLeft, top, 20, height);
  GroupTree = Make<TGroupTreeView>(this, this, "GroupTree", ContentLeft + 20, top, 170, height);
  SizePanel = Make<TPanel>(this, this, "SizePanel", ContentLeft + 190, top, ContentWidth - 190, height);
  for (TPanel* p : {CheckPanel, SizePanel}) {
    p->SetBevelOuter(bvNone);
    p->SetCaption("");
  }
  const int bar = GetSystemMetrics(SM_CYHSCROLL);
  CheckSpacer = Make<TPanel>(this, CheckPanel, "CheckSpacer", 0, height - bar, 20, bar);
  SizeSpacer = Make<TPanel>(this, SizePanel, "SizeSpacer", 0, height - bar, ContentWidth - 190, bar);
  for (TPanel* p : {CheckSpacer, SizeSpacer}) {
    p->SetCaption("");
    p->SetVisible(false);
  }
  GroupTree->TabStop = true;
  GroupTree->OnScroll = [this](TObject*) { LayoutColumns(); };
  GroupTree->OnLayoutChanged = [this](TObject*) { LayoutColumns(); };
  GroupTree->OnChange = [this](TObject*, TTreeNode*) { ShowDetails(); };

  DestCaption = MakeLabel(this, this, "DestCaption", "Destination Directory", glidDestCaption, ContentLeft, 152,
                          ContentWidth, 16, false);
  DestLabel = MakeLabel(this, this, "DestLabel", "", 0, ContentLeft, 168, ContentWidth - 84, 28, true);
  DestLabel->ShowAccelChar = false;
  BrowseBtn = MakeButton(this, this, "BrowseBtn", "&Browse...", glidBrowse, ContentLeft + ContentWidth - 75, 166);
  BrowseBtn->OnClick = [this](TObject*) {
    TFileContainer* c = GroupTree->ContainerOf(GroupTree->Selected());
    if (!c) return;
    TOpenDialog dialog(nullptr);
    dialog.InitialDir = c->GetDestDir();
    if (!dialog.Execute()) return;
    c->SetDestDirType(nullptr);
    c->SetDestDir(ExtractFileDir(dialog.FileName));
    RefreshAll();
  };
  DescCaption = MakeLabel(this, this, "DescCaption", "Description", glidDescCaption, ContentLeft, 198, ContentWidth,
                          16, false);
  DescLabel = MakeLabel(this, this, "DescLabel", "", 0, ContentLeft, 214, ContentWidth, 32, true);
  DescLabel->ShowAccelChar = false;
  DrivePanel = Make<TPanel>(this, this, "DrivePanel", ContentLeft, 270, ContentWidth, 44);
  DrivePanel->SetBevelOuter(bvNone);
  DrivePanel->SetCaption("");
  DriveList = Make<TDriveSpaceListView>(this, DrivePanel, "DriveList", 0, 0, ContentWidth, 44);
  DriveList->SetAlign(alClient);
}

bool TFileGroupSelectForm::Skip() {
  const TInstallType t = CurrentTypeOf(root_);
  return t != itAlways && t != itCustom;
}

void TFileGroupSelectForm::DialogAssigned() {
  TQuenlowPageForm::DialogAssigned();
  if (!Container) throw IEFileGroupSelectForm("Cannot show the install file groups dialog for blank container property");
  root_ = AsFileContainer(Container);
  if (!root_) throw IEFileGroupSelectForm("Container is not a TFileContainer for %s", {DC ? DC->Name() : Name()});
}

void TFileGroupSelectForm::Build() {
  built_ = true;
  GroupTree->Build(root_);
}

void TFileGroupSelectForm::ShowPage() {
  // The nodes live in the tree's window, which the frame makes anew when it
  // takes the page in: build them once the page is in place.
  if (!built_ && root_) Build();
  RefreshAll();
  TQuenlowPageForm::ShowPage();
}

TIncludeCheckBox* TFileGroupSelectForm::CheckBoxOf(TFileContainer* c) {
  for (TIncludeCheckBox* b : boxes_)
    if (b->Visible() && b->Container == c) return b;
  return nullptr;
}

TSizeLabel* TFileGroupSelectForm::SizeLabelOf(TFileContainer* c) {
  for (TSizeLabel* l : sizes_)
    if (l->Visible() && l->Container == c) return l;
  return nullptr;
}

void TFileGroupSelectForm::LayoutColumns() {
  if (laying_ || !GroupTree->HandleAllocated()) return;
  laying_ = true;
  const auto rows = GroupTree->VisibleNodes();
  const int offset = GroupTree->ClientToScreen(POINT{0, 0}).y - CheckPanel->ClientToScreen(POINT{0, 0}).y;
  const int rowHeight = TreeView_GetItemHeight(GroupTree->Handle());
  const int boxSize = std::min(rowHeight, 16);
  const bool hbar = (GetWindowLongA(GroupTree->Handle(), GWL_STYLE) & WS_HSCROLL) != 0;
  const int bottom = CheckPanel->Height() - (hbar ? CheckSpacer->Height() : 0);
  while (boxes_.size() < rows.size()) {
    auto* box = new TIncludeCheckBox(this);
    box->SetParent(CheckPanel);
    box->TabStop = true;
    box->OnClick = [this, box](TObject*) {
      if (laying_ || !box->Container) return;
      box->Container->SetInclude(box->Checked());
      RefreshAll();
    };
    boxes_.push_back(box);
    auto* size = new TSizeLabel(this);
    size->SetParent(SizePanel);
    size->SetAutoSize(false);
    size->SetAlignment(taRightJustify);
    sizes_.push_back(size);
  }
  for (size_t i = 0; i < boxes_.size(); ++i) {
    TIncludeCheckBox* box = boxes_[i];
    TSizeLabel* size = sizes_[i];
    const bool used = i < rows.size() && rows[i].second + offset + rowHeight <= bottom;
    if (!used) {
      box->Container = nullptr;
      size->Container = nullptr;
      box->SetVisible(false);
      size->SetVisible(false);
      continue;
    }
    TFileContainer* c = GroupTree->ContainerOf(rows[i].first);
    const int y = rows[i].second + offset;
    box->Container = c;
    box->SetBounds(3, y + (rowHeight - boxSize) / 2, boxSize, boxSize);
    box->SetChecked(c->Included());
    box->SetEnabled(c->AllowChoice());
    box->SetVisible(true);
    size->Container = c;
    size->SetBounds(0, y, SizePanel->Width() - 4, rowHeight);
    size->SetLayout(tlCenter);
    size->SetCaption(FormatBytes(c->Included() ? c->DeepSize(false) : 0));
    size->SetVisible(true);
  }
  CheckSpacer->SetVisible(hbar);
  SizeSpacer->SetVisible(hbar);
  laying_ = false;
}

void TFileGroupSelectForm::RefreshAll() {
  LayoutColumns();
  ShowDetails();
  DriveList->Fill(root_);
  const int height = DriveList->Needs().size() > 2 ? 61 : 44;
  if (DrivePanel->Height() != height) DrivePanel->SetBounds(DrivePanel->Left(), 314 - height, DrivePanel->Width(), height);
}

void TFileGroupSelectForm::ShowDetails() {
  TFileContainer* c = GroupTree->ContainerOf(GroupTree->Selected());
  if (!c) {
    DestLabel->SetCaption("");
    BrowseBtn->SetEnabled(false);
    DescCaption->SetVisible(false);
    DescLabel->SetVisible(false);
    return;
  }
  DestLabel->SetCaption(c->GetDestDir());
  BrowseBtn->SetEnabled(c->AllowChangeDir());
  TStringList text;
  if (TTranslator* t = CurrentTranslator())
    t->TranslateMemo(qlEnglish, c->Description(), &text);
  else
    text.Assign(c->Description());
  std::string description = Trim(text.Text());
  DescLabel->SetCaption(description);
  DescCaption->SetVisible(!description.empty());
  DescLabel->SetVisible(!description.empty());
}

// ---------------------------------------------------------------------------
// Copying files

TCopyFileForm::TCopyFileForm(TComponent* owner) : TBaseDuringCopyForm(owner) {
  // A dialog without a manager keeps its own window while the copy
  // manager tries the registered forms on the same owner: the second one
  // stays unnamed.
  if (!owner || !owner->FindComponent("CopyFileForm")) SetName("CopyFileForm");
  SetBorderStyle(bsDialog);
  SetBorderIcons(0);
  SetCaption("Copying installation files");
  SetBounds(0, 0, 474, 146);
  HeaderLabel = MakeLabel(this, this, "HeaderLabel", "Processing", glidProcessing, 10, 8, 300, 16, false);
  HeaderLabel->Font().SetStyle(fsBold);
  // The whole width: stored source paths run up to 100 characters.
  NameLabel = MakeLabel(this, this, "NameLabel", "---", 0, 10, 26, 448, 16, false);
  NameLabel->ShowAccelChar = false;
  FileLabel = MakeLabel(this, this, "FileLabel", "File progress", glidFileProgress, 10, 48, 90, 16, false);
  FileBar = Make<TProgressBar>(this, this, "FileBar", 100, 46, 260, 16);
  TotalLabel = MakeLabel(this, this, "TotalLabel", "Total progress", glidTotalProgress, 10, 70, 90, 16, false);
  TotalBar = Make<TProgressBar>(this, this, "TotalBar", 100, 68, 260, 16);
  TransferImage = Make<TImage>(this, this, "TransferImage", 66, 88, 32, 24);
  TransferImage->SetCenter(true);
  {
    TBitmap& b = TransferImage->Picture().Bitmap();
    b.SetSize(32, 24);
    b.Canvas().Brush().SetColor(clBtnFace);
    b.Canvas().FillRect(RECT{0, 0, 32, 24});
    DrawIconEx(b.Canvas().Handle(), 8, 4, LoadIconA(nullptr, IDI_INFORMATION), 16, 16, 0, nullptr, DI_NORMAL);
  }
  TransferGauge = Make<TProgressBar>(this, this, "TransferGauge", 100, 92, 260, 16);
  TransferImage->SetVisible(false);
  TransferGauge->SetVisible(false);
  CancelBtn = MakeButton(this, this, "CancelBtn", "Cancel", glidCancel, 378, 44);
  CancelBtn->Cancel = true;
  CancelBtn->OnClick = [this](TObject*) { Cancel(); };
}

void TCopyFileForm::ShowName(const std::string& name) {
  TCanvas& canvas = NameLabel->Canvas();
  canvas.Font().Assign(NameLabel->Font());
  NameLabel->SetCaption(
      FitPath(name, NameLabel->Width(), [&canvas](const std::string& text) { return canvas.TextWidth(text); }));
}

void TCopyFileForm::UpdateStatus(TFileStatusParameter* fileStatus, TDownloadStatusParameter* downloadStatus) {
  if (fileStatus) {
    FileBar->SetPosition(fileStatus->PercentDone);
    TotalBar->SetPosition(fileStatus->OverallPercent);
    ShowName(fileStatus->FileName);
    TransferGauge->SetVisible(false);
    TransferImage->SetVisible(false);
  }
  if (downloadStatus) {
    TransferGauge->SetVisible(true);
    TransferImage->SetVisible(true);
    TransferGauge->SetPosition(downloadStatus->Percent);
    ShowName(downloadStatus->Name);
  }
  NameLabel->Update();
}

// ---------------------------------------------------------------------------
// The next disk

std::function<bool(HWND owner, std::string& path)> TChangeDiskForm::BrowseHook;

bool TChangeDiskForm::BrowseForFolder(HWND owner, std::string& path) {
  if (BrowseHook) return BrowseHook(owner, path);
  BROWSEINFOA info{};
  char name[MAX_PATH] = "";
  info.hwndOwner = owner;
  info.pszDisplayName = name;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST list = SHBrowseForFolderA(&info);
  if (!list) return false;
  char chosen[MAX_PATH] = "";
  const bool ok = SHGetPathFromIDListA(list, chosen) != FALSE;
  CoTaskMemFree(list);
  if (ok) path = chosen;
  return ok;
}

TChangeDiskForm::TChangeDiskForm(TComponent* owner) : TBaseChangeDiskForm(owner) {
  SetName("ChangeDiskForm");
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetCaption("Setup needs the next disk");
  SetClientSize(420, 170);
  Position = poScreenCenter;
  DiskLabel = MakeLabel(this, this, "DiskLabel", kInsertDisk, glidInsertDisk, 12, 12, 396, 16, false);
  DiskLabel->Font().SetStyle(fsBold);
  Text1 = MakeLabel(this, this, "Text1",
                    "If the files on this disk can be found in another location, for example, in another drive, "
                    "enter its full path or click the Browse button to select its path.",
                    glidDiskText, 12, 36, 396, 48, true);
  PathLabel = MakeLabel(this, this, "PathLabel", "Path:", glidPath, 12, 96, 40, 16, false);
  PathEdit = Make<TEdit>(this, this, "PathEdit", 56, 93, 270, 22);
  PathEdit->TabStop = true;
  BrowseBtn = MakeButton(this, this, "BrowseBtn", "&Browse...", glidBrowse, 333, 91);
  BrowseBtn->OnClick = [this](TObject*) {
    std::string path = PathEdit->Text();
    if (BrowseForFolder(GetActiveWindow(), path)) PathEdit->SetText(path);
  };
  InstallBtn = MakeButton(this, this, "InstallBtn", "Proceed", glidProceed, 252, 134);
  InstallBtn->SetDefault(true);
  InstallBtn->OnClick = [this](TObject*) {
    if (DiskParameter) DiskParameter->Path = PathEdit->Text();
    ModalResult = mrOk;
  };
  CancelBtn = MakeButton(this, this, "CancelBtn", "Cancel", glidCancel, 333, 134);
  CancelBtn->Cancel = true;
  CancelBtn->OnClick = [this](TObject*) { Cancel(); };
  OnShow = [this](TObject*) { FocusButton(InstallBtn); };
}

void TChangeDiskForm::ShowHook() {
  DiskLabel->SetCaption(kInsertDisk);
  TBaseChangeDiskForm::ShowHook();
  if (DiskParameter) {
    DiskLabel->SetCaption(Format(TranslateText(kInsertDisk), {DiskParameter->DiskNumber}));
    PathEdit->SetText(DiskParameter->Path);
  }
}

// ---------------------------------------------------------------------------
// Install status

TInstallStatusForm::TInstallStatusForm(TComponent* owner) : TBaseQuenlowForm(owner) {
  SetName("InstallStatusForm");
  SetBorderStyle(bsNone);
  SetFormStyle(fsStayOnTop);
  SetBounds(0, 0, 300, 52);
  ImagePanel = Make<TPanel>(this, this, "ImagePanel", 0, 0, 44, 52);
  ImagePanel->SetAlign(alLeft);
  ImagePanel->SetCaption("");
  StatusImage = Make<TImage>(this, ImagePanel, "StatusImage", 6, 10, 32, 32);
  {
    TBitmap& b = StatusImage->Picture().Bitmap();
    b.SetSize(32, 32);
    b.Canvas().Brush().SetColor(clBtnFace);
    b.Canvas().FillRect(RECT{0, 0, 32, 32});
    DrawIconEx(b.Canvas().Handle(), 0, 0, LoadIconA(nullptr, IDI_INFORMATION), 32, 32, 0, nullptr, DI_NORMAL);
  }
  MarginPanel = Make<TPanel>(this, this, "MarginPanel", 44, 0, 8, 52);
  MarginPanel->SetAlign(alLeft);
  MarginPanel->SetBevelOuter(bvNone);
  MarginPanel->SetCaption("");
  TextPanel = Make<TPanel>(this, this, "TextPanel", 52, 0, 248, 52);
  TextPanel->SetAlign(alClient);
  TextPanel->SetCaption("");
  StatusLabel = Make<TLabel>(this, TextPanel, "StatusLabel", 6, 18, 100, 16);
  StatusLabel->ShowAccelChar = false;
  StatusLabel->SetWordWrap(false);
  StatusLabel->SetAutoSize(true);
}

void TInstallStatusForm::ShowText(const std::string& text) {
  StatusLabel->SetWordWrap(false);
  StatusLabel->SetAutoSize(true);
  StatusLabel->SetCaption(text);
  const int textWidth = StatusLabel->Width();
  StatusLabel->SetTop((TextPanel->ClientHeight() - StatusLabel->Height()) / 2);
  const int width = StatusWindowWidth(textWidth, ImagePanel->Width(), MarginPanel->Width(), StatusLabel->Left());
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = Visible() ? Top() : (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2;
  SetBounds(left, top, width, Height());
  TranslateForm();
  Show();
  Refresh();
}

// ---------------------------------------------------------------------------
// Dialog components

namespace {

// The dialogs' own message when they have no manager: the page alone.
void RunAlone(TCustomBaseInstallDlg* dialog, int code, int own) {
  if (code == own && !dialog->DialogManager()) dialog->Execute();
}

void AssignPage(TCustomBaseInstallDlg* dialog) {
  if (auto* page = dynamic_cast<TQuenlowPageForm*>(dialog->Form())) page->DialogAssigned();
}

}  // namespace

#define INSTKIT_WIZARD_DIALOG(Dlg, Form, order, type, code)                                        \
  Dlg::Dlg(TComponent* owner) : TBaseInstallDlg(owner) {                                           \
    SetOrder(order);                                                                               \
    if (!(ComponentState() & csDesigning) && !(owner && (owner->ComponentState() & csDesigning)))  \
      LoadInstallTheme(ThemeBitmap()->Bitmap());                                                   \
    RegisterWizardPage<Form>(this, order);                                            \
    TakeManagerOfType(type);                                                                       \
  }                                                                                                \
  TBaseQuenlowForm* Dlg::FormClass(TComponent* owner) { return new Form(owner); }                  \
  void Dlg::ReceiveMessage(TInstallContainer* sender, int c, TObject* parameter) {                 \
    RunAlone(this, c, code);                                                                       \
  }

INSTKIT_WIZARD_DIALOG(TWelcomeDlg, TWelcomeForm, 10, dmBeforeInstall, imWelcome)
INSTKIT_WIZARD_DIALOG(TInstallFileGroupsDlg, TFileGroupSelectForm, 50, dmBeforeInstall, imFileGroupStart)
INSTKIT_WIZARD_DIALOG(TSelectFolderDlg, TSelectFolderForm, 60, dmBeforeInstall, imBeforeMakeFolder)
INSTKIT_WIZARD_DIALOG(TRebootDlg, TRebootForm, 10, dmReboot, imRebootNeeded)
INSTKIT_WIZARD_DIALOG(TGoodInstallationDlg, TGoodInstallForm, 10, dmAfterGoodInstall, imGoodEnd)
INSTKIT_WIZARD_DIALOG(TBadInstallationDlg, TBadInstallForm, 10, dmAfterBadInstall, imBadEnd)

#undef INSTKIT_WIZARD_DIALOG

void TWelcomeDlg::AssignDialogProperties() {
  TBaseInstallDlg::AssignDialogProperties();
  AssignPage(this);
  if (auto* page = dynamic_cast<TQuenlowPageForm*>(Form()))
    if (page->CancelBtn) page->CancelBtn->SetVisible(false);
}

void TInstallFileGroupsDlg::AssignDialogProperties() {
  TBaseInstallDlg::AssignDialogProperties();
  AssignPage(this);
}

void TSelectFolderDlg::AssignDialogProperties() {
  if (!Container())
    throw Exception(Format(TranslateText("Cannot run this dialog %s with a blank Container property"), {Name()}));
  TBaseInstallDlg::AssignDialogProperties();
  AssignPage(this);
  if (auto* page = dynamic_cast<TQuenlowPageForm*>(Form()))
    if (page->CancelBtn) page->CancelBtn->SetVisible(false);
}

void TSelectFolderDlg::SetContainer(TInstallContainer* value) {
  if (value && !IsLoading() && !dynamic_cast<TCustomShellLinkGroup*>(value))
    throw Exception(Format(TranslateText("The container for %s must be a TCustomShellLinkGroup"), {Name()}));
  TBaseInstallDlg::SetContainer(value);
}

void TSelectFolderDlg::Loaded() {
  TBaseInstallDlg::Loaded();
  if (Container() && !dynamic_cast<TCustomShellLinkGroup*>(Container()))
    throw Exception(Format(TranslateText("The container for %s must be a TCustomShellLinkGroup"), {Name()}));
}

void TRebootDlg::AssignDialogProperties() {
  TBaseInstallDlg::AssignDialogProperties();
  AssignPage(this);
  if (auto* page = dynamic_cast<TQuenlowPageForm*>(Form())) {
    page->BackAllowed = false;
    page->BackBtn->SetVisible(false);
  }
}

void TGoodInstallationDlg::AssignDialogProperties() {
  TBaseInstallDlg::AssignDialogProperties();
  AssignPage(this);
}

void TBadInstallationDlg::AssignDialogProperties() {
  TBaseInstallDlg::AssignDialogProperties();
  AssignPage(this);
}

// ---- copy files ----

TCopyFileDlg::TCopyFileDlg(TComponent* owner) : TCustomBaseInstallDlg(owner) {
  RegisterProgressForm<TCopyFileForm>(this, 0);
  TakeManagerOfType(dmDuringCopyFiles);
}

TCopyFileDlg::~TCopyFileDlg() { CloseOwnForm(); }

TBaseQuenlowForm* TCopyFileDlg::FormClass(TComponent* owner) { return new TCopyFileForm(owner); }

void TCopyFileDlg::AssignDialogProperties() {
  TCustomBaseInstallDlg::AssignDialogProperties();
  if (TBaseQuenlowForm* f = Form()) {
    f->Position = poDesigned;
    PlaceForm(f, position_, relLeft_, relTop_);
  }
}

void TCopyFileDlg::CloseOwnForm() {
  if (!own_) return;
  TCopyFileForm* f = own_;
  own_ = nullptr;
  if (Form() == f) SetForm(nullptr);
  f->Hide();
  delete f;
}

void TCopyFileDlg::ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) {
  if (DialogManager()) return;
  switch (code) {
    case imFileStatus:
    case imDownloadStatus: {
      TFileStatusParameter* file = nullptr;
      TDownloadStatusParameter* download = nullptr;
      if (code == imFileStatus) {
        file = dynamic_cast<TFileStatusParameter*>(parameter);
        CheckParameter(parameter, Name(), file != nullptr, "TFileStatusParameter");
      } else {
        download = dynamic_cast<TDownloadStatusParameter*>(parameter);
        CheckParameter(parameter, Name(), download != nullptr, "TDownloadStatusParameter");
      }
      if (!own_) {
        own_ = new TCopyFileForm(Application);
        SetForm(own_);
        AssignDialogProperties();
        own_->TranslateForm();
        own_->Show();
      }
      own_->UpdateStatus(file, download);
      break;
    }
    case imFilesDone:
      CloseOwnForm();
      break;
    default:
      break;
  }
}

void TCopyFileDlg::PublishProperties(TPropList& list) const {
  TCustomBaseInstallDlg::PublishProperties(list);
  using C = TCopyFileDlg;
  list.push_back(EnumProp<C>("Position",
                             {"qdpCenterLeft", "qdpCenter", "qdpCenterRight", "qdpBottomLeft", "qdpBottomCenter",
                              "qdpBottomRight", "qdpTopLeft", "qdpTopCenter", "qdpTopRight"},
                             &C::Position, &C::SetPosition));
  list.push_back(IntProp<C>("RelativeLeftOffset", &C::RelativeLeftOffset, &C::SetRelativeLeftOffset));
  list.push_back(IntProp<C>("RelativeTopOffset", &C::RelativeTopOffset, &C::SetRelativeTopOffset));
}

// ---- change disk ----

TChangeDiskDlg::TChangeDiskDlg(TComponent* owner) : TCustomBaseInstallDlg(owner) {
  RegisterChangeDiskForm<TChangeDiskForm>(this, 0);
  TakeManagerOfType(dmChangeDisk);
}

TBaseQuenlowForm* TChangeDiskDlg::FormClass(TComponent* owner) { return new TChangeDiskForm(owner); }

// ---- install status ----

TInstallStatusDlg::TInstallStatusDlg(TComponent* owner) : TCustomBaseInstallDlg(owner) {}

TInstallStatusDlg::~TInstallStatusDlg() {
  if (form_) {
    if (Form() == form_) SetForm(nullptr);
    delete form_;
  }
}

TBaseQuenlowForm* TInstallStatusDlg::FormClass(TComponent* owner) { return new TInstallStatusForm(owner); }

void TInstallStatusDlg::ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) {
  if (code == imPushStatus) {
    auto* message = dynamic_cast<TMessageParameter*>(parameter);
    CheckParameter(parameter, Name(), message != nullptr, "TMessageParameter");
    stack_.Push(message->Text);
  } else if (code == imPopStatus) {
    // Nothing pushed: nothing to take away.
    if (!stack_.Pop()) return;
  } else {
    return;
  }
  if (!form_) {
    form_ = new TInstallStatusForm(Application);
    SetForm(form_);
    AssignDialogProperties();
  }
  if (stack_.Empty())
    form_->Hide();
  else
    form_->ShowText(stack_.Top());
}

// ---------------------------------------------------------------------------

void RegisterWizardPages() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterWizardPage<TWelcomeForm>(nullptr, 0);
  RegisterWizardPage<TFileGroupSelectForm>(nullptr, 0);
  RegisterWizardPage<TSelectFolderForm>(nullptr, 0);
  RegisterWizardPage<TRebootForm>(nullptr, 0);
  RegisterWizardPage<TGoodInstallForm>(nullptr, 0);
  RegisterWizardPage<TBadInstallForm>(nullptr, 0);
  RegisterProgressForm<TCopyFileForm>(nullptr, 0);
  RegisterChangeDiskForm<TChangeDiskForm>(nullptr, 0);
  RegisterComponentClass<TDialogManager>("TDialogManager");
  RegisterComponentClass<TWelcomeDlg>("TWelcomeDlg");
  RegisterComponentClass<TInstallFileGroupsDlg>("TInstallFileGroupsDlg");
  RegisterComponentClass<TSelectFolderDlg>("TSelectFolderDlg");
  RegisterComponentClass<TRebootDlg>("TRebootDlg");
  RegisterComponentClass<TGoodInstallationDlg>("TGoodInstallationDlg");
  RegisterComponentClass<TBadInstallationDlg>("TBadInstallationDlg");
  RegisterComponentClass<TCopyFileDlg>("TCopyFileDlg");
  RegisterComponentClass<TChangeDiskDlg>("TChangeDiskDlg");
  RegisterComponentClass<TInstallStatusDlg>("TInstallStatusDlg");
}
