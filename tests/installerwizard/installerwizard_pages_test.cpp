// The installer's pages over a real install driver with file groups of real
// files under Wine: the welcome, component and folder pages of the
// before-install wizard, the reboot and end pages, the copy window during a
// real installation, and the change-disk window for a spanned archive whose
// second part was moved.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>

#include "../installerarch/small_disk.h"
#include "../installerfiles/installerfiles_common.h"
#include "exception_text.h"
#include "gui_test_support.h"
#include "kitroutines.h"
#include "shelllinks.h"
#include "test_support.h"
#include "win/dialogs.h"
#include "win/install.h"
#include "win/wizardpages.h"
#include "wizard_script.h"

using namespace testsupport;
using wizardtest::Script;

namespace {

void Click(TWinControl* c) { SendMessageA(c->Handle(), BM_CLICK, 0, 0); }
bool Shown(TWinControl* c) { return c && c->HandleAllocated() && IsWindowVisible(c->Handle()); }

std::vector<uint8_t> RandomData(size_t n, unsigned seed) {
  std::vector<uint8_t> data(n);
  std::mt19937 rng(seed);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

std::string ItemText(HWND list, int item, int sub) {
  char buf[256] = "";
  ListView_GetItemText(list, item, sub, buf, sizeof buf);
  return buf;
}

int64_t BytesOf(const std::string& text) {
  int64_t v = 0;
  for (char c : text)
    if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
  return v;
}

int64_t RealFree(char drive) {
  ULARGE_INTEGER available{}, total{}, free{};
  std::string root = std::string(1, drive) + ":\\";
  GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free);
  return static_cast<int64_t>(available.QuadPart);
}

// A setup form with the driver, three file groups of real files and the
// managers the test asks for.
struct SetupForm {
  explicit SetupForm(const std::string& name) {
    InstallDriverSeams().Arguments = [] { return std::vector<std::string>{}; };
    RegisterWizardPages();
    root = Join(ScratchDir(), name);
    RemoveTree(root);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    src = std::string(temp) + "iwz-" + name;  // archive entries are short
    RemoveTree(src);
    form.reset(new TForm(nullptr));
    CreateStandardPathSpecifiers(form.get());
    driver = new TInstall(form.get());
    driver->SetName("Install1");
    driver->Information()->ProductName = "Morvane Wizard Test";
    driver->Loaded();
    driver->SetDestDirType(nullptr);
    driver->SetDestDir(root + "\\dest");
    driver->SetArchiveFileType(nullptr);
    driver->SetArchiveFile(root + "\\dist\\files.1");
    GlobalArchiveReader()->SetAbort(false);
    NetInstallCancel = false;
    // No message box may wait for a user here.
    Application->MessageBoxFunction = [](HWND, const std::string& text, const std::string&, UINT) {
      ADD_FAILURE() << "message box: " << text;
      return IDOK;
    };
  }
  ~SetupForm() {
    form.reset();
    DeleteRegistryKeyTree(hkLocalMachine, std::string(UninstallKeyPrefix) + "Morvane Wizard Test");
    WizardSeams() = TWizardSeams();
    TDriveSpaceListView::FreeBytesHook = nullptr;
    TChangeDiskForm::BrowseHook = nullptr;
    Application->MessageBoxFunction = nullptr;
    GlobalArchiveReader()->SetAbort(false);
    NetInstallCancel = false;
    RebootNeeded() = false;
  }
  TInstallFileGroup* Group(const std::string& name, TFileContainer* container, const std::string& groupName) {
    auto* g = new TInstallFileGroup(form.get());
    g->SetName(name);
    g->SetContainer(container);
    g->SetDestDir("\\" + name);
    g->SetGroupName(groupName);
    return g;
  }
  TInstallFile* File(const std::string& name, TFileContainer* container, size_t size) {
    const std::string dir = src + "\\" + container->Name();
    MakeDirs(dir);
    const std::string fileName = name + ".bin";
    WriteFileBytes(dir + "\\" + fileName, RandomData(size, static_cast<unsigned>(size)));
    auto* f = new TInstallFile(form.get());
    f->SetName(name);
    f->SetContainer(container);
    f->SetIncludeFromDir(dir);
    f->SetFileName(fileName);
    return f;
  }
  TDialogManager* Manager(const std::string& name, TManagerType type) {
    auto* m = new TDialogManager(form.get());
    m->SetName(name);
    m->SetManagerType(type);
    m->SetContainer(driver);
    return m;
  }
  template <class D>
  D* Dialog(const std::string& name, TInstallContainer* container) {
    auto* d = new D(form.get());
    d->SetName(name);
    d->SetContainer(container);
    return d;
  }
  // The three groups of the tests: Core may not be left out.
  void MakeGroups() {
    core = Group("Core", driver, "Core files");
    core->SetAllowChoice(false);
    docs = Group("Docs", driver, "Documentation");
    docs->Description()->Add("Manuals and examples.");
    extras = Group("Extras", driver, "Extras");
    core1 = File("CoreOne", core, 30000);
    File("CoreTwo", core, 45000);
    docsFile = File("Manual", docs, 12000);
    File("Sample", extras, 7000);
  }
  void Build() {
    driver->Compress(0);
    driver->ReadArchiveInfo();
  }
  void Send(int code) { driver->SendInstallMessage(driver, code, nullptr); }

  std::string root, src;
  std::unique_ptr<TForm> form;
  TInstall* driver = nullptr;
  TInstallFileGroup *core = nullptr, *docs = nullptr, *extras = nullptr;
  TInstallFile *core1 = nullptr, *docsFile = nullptr;
};

}  // namespace

TEST(WizardPages, BeforeInstallWelcomeComponentsAndFolder) {
  SetupForm s("before");
  s.MakeGroups();
  // Extras go to another drive, and an empty sub-group to a third one.
  s.extras->SetDestDirType(nullptr);
  s.extras->SetDestDir("C:\\Morvane Wizard Extras");
  std::vector<TInstallFileGroup*> subs;
  for (int i = 0; i < 8; ++i) subs.push_back(s.Group("Sub" + std::to_string(i), s.extras, "Part " + std::to_string(i)));
  subs[7]->SetGroupName("A sub-component whose name is much wider than the tree");
  subs[6]->SetDestDirType(nullptr);
  subs[6]->SetDestDir("Y:\\Elsewhere");
  s.Build();

  // Program folders that already exist, and the main program-menu folder.
  for (const char* f : {"Morvane Wizard A", "Morvane Wizard B"}) MakeDirs(ProgramsFolder() + "\\" + f);
  auto* mainGroup = new TMainLinkGroup(s.form.get());
  mainGroup->SetName("MainGroup");
  mainGroup->SetContainer(s.driver);
  mainGroup->SetDestDir("\\Morvane Wizard B");

  TDialogManager* m = s.Manager("Before", dmBeforeInstall);
  auto* welcome = s.Dialog<TWelcomeDlg>("Welcome", s.driver);
  auto* groups = s.Dialog<TInstallFileGroupsDlg>("Groups", s.driver);
  auto* folder = s.Dialog<TSelectFolderDlg>("Folder", mainGroup);
  EXPECT_EQ(welcome->DialogManager(), m);
  EXPECT_EQ(groups->DialogManager(), m);
  EXPECT_EQ(folder->DialogManager(), m);
  EXPECT_EQ(MessageOf([&] { folder->SetContainer(s.driver); }),
            "The container for Folder must be a TCustomShellLinkGroup");

  const char zDrive = static_cast<char>(toupper(s.driver->GetDestDir()[0]));
  std::vector<std::string> captions;
  auto caption = [&] { captions.push_back(m->Frame()->Caption()); };
  TFileGroupSelectForm* page = nullptr;
  auto box = [&](TFileContainer* c) { return page->CheckBoxOf(c); };
  auto size = [&](TFileContainer* c) { return page->SizeLabelOf(c)->Caption(); };
  auto driveItem = [&](char drive) {
    HWND h = page->DriveList->Handle();
    for (int i = 0; i < ListView_GetItemCount(h); ++i)
      if (ItemText(h, i, 0)[0] == drive) return i;
    return -1;
  };
  Script script({
      [&] {
        caption();
        auto* w = dynamic_cast<TWelcomeForm*>(welcome->Form());
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(Shown(w->BackBtn));
        EXPECT_FALSE(Shown(w->CancelBtn));
        EXPECT_EQ(GetFocus(), w->ProceedBtn->Handle());
        EXPECT_FALSE(w->ThemeImage->Picture().Bitmap().Empty());
        Pump(100);
        Screenshot("wizard-page-welcome");
        Click(w->ProceedBtn);
      },
      [&] {
        caption();
        page = dynamic_cast<TFileGroupSelectForm*>(groups->Form());
        ASSERT_NE(page, nullptr);
        HWND tree = page->GroupTree->Handle();
        EXPECT_EQ(TreeView_GetCount(tree), 12u);
        ASSERT_NE(box(s.driver), nullptr);
        EXPECT_FALSE(IsWindowEnabled(box(s.driver)->Handle()));  // the driver's AllowChoice is false
        EXPECT_FALSE(IsWindowEnabled(box(s.core)->Handle()));
        EXPECT_TRUE(IsWindowEnabled(box(s.docs)->Handle()));
        EXPECT_EQ(SendMessageA(box(s.docs)->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendMessageA(box(s.core)->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(size(s.docs), "12,000 Bytes");
        EXPECT_EQ(size(s.core), "75,000 Bytes");
        EXPECT_EQ(size(s.driver), "94,000 Bytes");
        // Three drives: the destination's, C: and Y:; the list panel grows.
        HWND list = page->DriveList->Handle();
        EXPECT_EQ(ListView_GetItemCount(list), 3);
        EXPECT_EQ(page->DrivePanel->Height(), 61);
        int z = driveItem(zDrive);
        ASSERT_GE(z, 0);
        EXPECT_EQ(BytesOf(ItemText(list, z, 0)), 87000);
        EXPECT_NEAR(static_cast<double>(BytesOf(ItemText(list, z, 1))), static_cast<double>(RealFree(zDrive)),
                    64.0 * 1024 * 1024);
        int c = driveItem('C');
        ASSERT_GE(c, 0);
        EXPECT_EQ(BytesOf(ItemText(list, c, 0)), 7000);
        EXPECT_EQ(ListView_GetItemState(list, z, LVIS_STATEIMAGEMASK), 0u);
        // The long name gives the tree a horizontal bar; the columns get
        // spacers of its height.
        const bool hbar = (GetWindowLongA(tree, GWL_STYLE) & WS_HSCROLL) != 0;
        EXPECT_TRUE(hbar);
        EXPECT_EQ(page->CheckSpacer->Visible(), hbar);
        EXPECT_EQ(page->SizeSpacer->Visible(), hbar);
        Pump(100);
        Screenshot("wizard-page-components");

        // Leaving the documentation out.
        Click(box(s.docs));
        EXPECT_FALSE(s.docs->Include());
        EXPECT_EQ(size(s.docs), "0 Bytes");
        EXPECT_EQ(size(s.driver), "82,000 Bytes");
        EXPECT_EQ(BytesOf(ItemText(list, driveItem(zDrive), 0)), 75000);
        // Back in, on a drive with less room than that: the warning image.
        TDriveSpaceListView::FreeBytesHook = [&](char d) { return d == zDrive ? int64_t{80000} : RealFree(d); };
        Click(box(s.docs));
        EXPECT_TRUE(s.docs->Include());
        z = driveItem(zDrive);
        EXPECT_EQ(BytesOf(ItemText(list, z, 1)), 80000);
        EXPECT_EQ(ListView_GetItemState(list, z, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
        EXPECT_EQ(ListView_GetItemState(list, driveItem('C'), LVIS_STATEIMAGEMASK), 0u);
        TDriveSpaceListView::FreeBytesHook = nullptr;
      },
      [&] {
        HWND tree = page->GroupTree->Handle();
        // Scrolling one line: the driver's row leaves, the boxes follow.
        const int coreTop = box(s.core)->Top();
        SendMessageA(tree, WM_VSCROLL, SB_LINEDOWN, 0);
        EXPECT_EQ(box(s.driver), nullptr);
        ASSERT_NE(box(s.core), nullptr);
        EXPECT_LT(box(s.core)->Top(), coreTop);
        RECT r;
        TreeView_GetItemRect(tree, page->GroupTree->NodeOf(s.core)->ItemId(), &r, FALSE);
        POINT boxAt = page->CheckPanel->ClientToScreen(POINT{0, box(s.core)->Top()});
        POINT rowAt = page->GroupTree->ClientToScreen(POINT{0, static_cast<int>(r.top)});
        EXPECT_NEAR(boxAt.y, rowAt.y, 3);
        // Collapsing Extras hides its parts' boxes; expanding brings them back.
        TreeView_Expand(tree, page->GroupTree->NodeOf(s.extras)->ItemId(), TVE_COLLAPSE);
        EXPECT_EQ(box(subs[0]), nullptr);
        EXPECT_EQ(page->SizeLabelOf(subs[0]), nullptr);
        TreeView_Expand(tree, page->GroupTree->NodeOf(s.extras)->ItemId(), TVE_EXPAND);
        EXPECT_NE(box(subs[0]), nullptr);
        SendMessageA(tree, WM_VSCROLL, SB_TOP, 0);
        EXPECT_NE(box(s.driver), nullptr);

        // The detail area follows the selection; Browse moves the group.
        page->GroupTree->SetSelected(page->GroupTree->NodeOf(s.docs));
        EXPECT_EQ(page->DestLabel->Caption(), s.docs->GetDestDir());
        EXPECT_EQ(page->DescLabel->Caption(), "Manuals and examples.");
        EXPECT_TRUE(page->DescLabel->Visible());
        EXPECT_TRUE(IsWindowEnabled(page->BrowseBtn->Handle()));
        TOpenDialog::RunHook = [](OPENFILENAMEA* ofn, bool) -> BOOL {
          lstrcpynA(ofn->lpstrFile, "C:\\Morvane Docs\\readme.txt", static_cast<int>(ofn->nMaxFile));
          return TRUE;
        };
        Click(page->BrowseBtn);
        TOpenDialog::RunHook = nullptr;
        EXPECT_EQ(s.docs->DestDirType(), nullptr);
        EXPECT_EQ(s.docs->DestDir(), "C:\\Morvane Docs");
        EXPECT_EQ(page->DestLabel->Caption(), "C:\\Morvane Docs");
        EXPECT_EQ(BytesOf(ItemText(page->DriveList->Handle(), driveItem('C'), 0)), 19000);
        EXPECT_LE(page->DescLabel->Top() + page->DescLabel->Height(), page->DrivePanel->Top());
        Pump(100);
        Screenshot("wizard-page-components-detail");
        page->GroupTree->SetSelected(page->GroupTree->NodeOf(s.extras));
        EXPECT_FALSE(page->DescLabel->Visible());  // no description
        Click(page->ProceedBtn);
      },
      [&] {
        caption();
        auto* f = dynamic_cast<TSelectFolderForm*>(folder->Form());
        ASSERT_NE(f, nullptr);
        EXPECT_FALSE(Shown(f->CancelBtn));
        EXPECT_TRUE(Shown(f->BackBtn));
        std::vector<std::string> listed;
        for (int i = 0; i < f->FolderListBox->Items().Count(); ++i) listed.push_back(f->FolderListBox->Items()[i]);
        EXPECT_NE(std::find(listed.begin(), listed.end(), "Morvane Wizard A"), listed.end());
        EXPECT_NE(std::find(listed.begin(), listed.end(), "Morvane Wizard B"), listed.end());
        EXPECT_EQ(f->FolderEdit->Text(), "Morvane Wizard B");
        Pump(100);
        Screenshot("wizard-page-folder");
        // Typing a new folder name.
        HWND edit = f->FolderEdit->Handle();
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        for (char ch : std::string("Tools")) SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(ch), 1);
        EXPECT_EQ(f->FolderEdit->Text(), "Tools");
        EXPECT_EQ(mainGroup->DestDir(), "\\Tools");
        EXPECT_EQ(mainGroup->GetDestDir(), ProgramsFolder() + "\\Tools");
        Click(f->ProceedBtn);  // the last page
      },
  });
  EXPECT_NO_THROW(s.Send(imManagerBeforeInstall));
  script.Stop();
  EXPECT_FALSE(script.Leftover());
  EXPECT_EQ(script.Done(), 4u);
  EXPECT_EQ(captions,
            (std::vector<std::string>{"Welcome", "Select components to install", "Select folder in start menu"}));

  // A full install offers no choice of components: that page is skipped.
  s.driver->SetInstallTypes({itFull});
  s.driver->SetCurrentInstallType(itFull);
  captions.clear();
  Script full({
      [&] {
        caption();
        Click(dynamic_cast<TQuenlowPageForm*>(welcome->Form())->ProceedBtn);
      },
      [&] {
        caption();
        Click(dynamic_cast<TQuenlowPageForm*>(folder->Form())->BackBtn);
      },
      [&] {
        caption();
        Click(dynamic_cast<TQuenlowPageForm*>(welcome->Form())->ProceedBtn);
      },
      [&] { Click(dynamic_cast<TQuenlowPageForm*>(folder->Form())->ProceedBtn); },
  });
  EXPECT_NO_THROW(s.Send(imManagerBeforeInstall));
  full.Stop();
  EXPECT_FALSE(full.Leftover());
  EXPECT_EQ(captions, (std::vector<std::string>{"Welcome", "Select folder in start menu", "Welcome"}));
  for (const char* f : {"Morvane Wizard A", "Morvane Wizard B"}) RemoveDirectoryA((ProgramsFolder() + "\\" + f).c_str());
}

TEST(WizardPages, RebootAndEndPages) {
  SetupForm s("ends");
  TDialogManager* reboot = s.Manager("RebootManager", dmReboot);
  s.Manager("GoodManager", dmAfterGoodInstall);
  s.Manager("BadManager", dmAfterBadInstall);
  auto* rebootDlg = s.Dialog<TRebootDlg>("Reboot", s.driver);
  auto* goodDlg = s.Dialog<TGoodInstallationDlg>("Good", s.driver);
  auto* badDlg = s.Dialog<TBadInstallationDlg>("Bad", s.driver);
  EXPECT_EQ(rebootDlg->DialogManager(), reboot);

  RebootNeeded() = true;
  Script no({
      [&] {
        auto* f = dynamic_cast<TRebootForm*>(rebootDlg->Form());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->RebootGroup->ItemIndex(), 0);
        EXPECT_EQ(SendMessageA(f->RebootGroup->Buttons(0)->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_FALSE(Shown(f->BackBtn));
        EXPECT_FALSE(Shown(f->ProceedBtn));
        EXPECT_TRUE(Shown(f->FinishBtn));
        EXPECT_EQ(GetFocus(), f->FinishBtn->Handle());
        Click(f->RebootGroup->Buttons(1));
        EXPECT_FALSE(RebootNeeded());
        Pump(100);
        Screenshot("wizard-page-reboot");
        Click(f->FinishBtn);
      },
  });
  EXPECT_NO_THROW(s.Send(imRebootNeeded));
  no.Stop();
  EXPECT_FALSE(no.Leftover());
  EXPECT_FALSE(RebootNeeded());
  Script yes({
      [&] {
        auto* f = dynamic_cast<TRebootForm*>(rebootDlg->Form());
        EXPECT_EQ(f->RebootGroup->ItemIndex(), 1);
        Click(f->RebootGroup->Buttons(0));
        Click(f->FinishBtn);
      },
  });
  s.Send(imRebootNeeded);
  yes.Stop();
  EXPECT_FALSE(yes.Leftover());
  EXPECT_TRUE(RebootNeeded());

  for (auto [dlg, code, shot] : {std::make_tuple(static_cast<TCustomBaseInstallDlg*>(goodDlg), imManagerGoodEnd,
                                                 "wizard-page-complete"),
                                 std::make_tuple(static_cast<TCustomBaseInstallDlg*>(badDlg), imManagerBadEnd,
                                                 "wizard-page-incomplete")}) {
    std::string text;
    Script end({
        [&, dlg = dlg, shot = shot] {
          auto* f = dynamic_cast<TQuenlowPageForm*>(dlg->Form());
          ASSERT_NE(f, nullptr);
          text = f->Caption();
          EXPECT_TRUE(Shown(f->FinishBtn));
          EXPECT_FALSE(Shown(f->BackBtn));
          Pump(100);
          Screenshot(shot);
          Click(f->FinishBtn);
        },
    });
    EXPECT_NO_THROW(s.Send(code));
    end.Stop();
    EXPECT_FALSE(end.Leftover());
    EXPECT_EQ(text, code == imManagerGoodEnd ? "Setup complete" : "Setup incomplete");
  }

  // Without a manager a dialog shows its page alone on its own message.
  auto* alone = s.Dialog<TWelcomeDlg>("Alone", s.driver);
  EXPECT_EQ(alone->DialogManager(), nullptr);
  int before = 0, after = 0;
  alone->OnBeforeExecute = [&](TObject*) { ++before; };
  alone->OnAfterExecute = [&](TObject*) { ++after; };
  Script single({
      [&] {
        auto* f = dynamic_cast<TWelcomeForm*>(alone->Form());
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(Shown(f));
        EXPECT_FALSE(Shown(f->BackBtn));  // alone it is the first page
        EXPECT_EQ(GetFocus(), f->ProceedBtn->Handle());
        Click(f->ProceedBtn);
      },
  });
  EXPECT_NO_THROW(s.Send(imWelcome));
  single.Stop();
  EXPECT_FALSE(single.Leftover());
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  // Closing it alone asks as Cancel does; allowed, the run ends.
  int asked = 0;
  WizardSeams().UserAbort = [&] { return ++asked > 1; };
  Script close({
      [&] { PostMessageA(alone->Form()->Handle(), WM_CLOSE, 0, 0); },
      [&] {
        EXPECT_EQ(asked, 1);
        PostMessageA(alone->Form()->Handle(), WM_CLOSE, 0, 0);
      },
  });
  EXPECT_THROW(s.Send(imWelcome), EAIUserAbort);
  close.Stop();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(after, 1);
}

namespace {

// A second progress window that writes down what the copy window shows
// each time the manager passes a status on.
struct Seen {
  int fileBar, totalBar;
  std::string name;
  bool gauge;
  int left, top;
};
std::vector<Seen>* gSeen = nullptr;
std::function<void()> gOnStatus;

class TRecorderForm : public TBaseDuringCopyForm {
 public:
  explicit TRecorderForm(TComponent* owner) : TBaseDuringCopyForm(owner) { SetBounds(0, 0, 120, 40); }
  void UpdateStatus(TFileStatusParameter*, TDownloadStatusParameter*) override {
    if (!gSeen || !DM) return;
    for (TBaseDuringCopyForm* f : DM->ProgressForms())
      if (auto* copy = dynamic_cast<TCopyFileForm*>(f))
        gSeen->push_back(Seen{copy->FileBar->Position(), copy->TotalBar->Position(), copy->NameLabel->Caption(),
                              copy->TransferGauge->Visible(), copy->Left(), copy->Top()});
    if (gOnStatus) gOnStatus();
  }
};

}  // namespace

TEST(WizardPages, CopyWindowDuringARealInstallation) {
  SetupForm s("copy");
  s.MakeGroups();
  s.Build();
  TDialogManager* copy = s.Manager("CopyManager", dmDuringCopyFiles);
  auto* dlg = s.Dialog<TCopyFileDlg>("CopyDlg", s.driver);
  EXPECT_EQ(dlg->DialogManager(), copy);
  dlg->SetPosition(qdpTopLeft);
  dlg->SetRelativeLeftOffset(30);
  dlg->SetRelativeTopOffset(40);
  static bool registered = false;
  if (!registered) RegisterProgressForm<TRecorderForm>(nullptr, 0);
  registered = true;

  std::vector<Seen> seen;
  gSeen = &seen;
  bool shot = false;
  gOnStatus = [&] {
    if (!shot && !seen.empty() && seen.back().totalBar >= 50) {
      shot = true;
      Pump(50);
      Screenshot("wizard-copy-window");
    }
  };
  s.driver->SetState(fcsInstall);
  gOnStatus = nullptr;
  ASSERT_FALSE(seen.empty());
  int maxTotal = 0;
  std::vector<std::string> names;
  for (const Seen& v : seen) {
    maxTotal = std::max(maxTotal, v.totalBar);
    if (names.empty() || names.back() != v.name) names.push_back(v.name);
    EXPECT_FALSE(v.gauge);
    EXPECT_EQ(v.left, 30);
    EXPECT_EQ(v.top, 40);
  }
  EXPECT_EQ(maxTotal, 100);
  EXPECT_EQ(seen.back().fileBar, 100);
  for (const char* n : {"CoreOne.bin", "CoreTwo.bin", "Manual.bin", "Sample.bin"})
    EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                            [&](const std::string& x) { return x.find(n) != std::string::npos; }))
        << n;
  EXPECT_EQ(ReadFileBytes(s.core1->DestPath()), RandomData(30000, 30000));
  // Done: the progress windows are gone.
  EXPECT_TRUE(copy->ProgressForms().empty());
  for (TBaseQuenlowForm* f : QuenlowFormList()) EXPECT_EQ(dynamic_cast<TCopyFileForm*>(f), nullptr);

  // A download shows the transfer gauge.
  TDownloadStatusParameter download;
  download.Name = "files.1";
  download.Total = 1000;
  download.Received = 420;
  download.Percent = 42;
  seen.clear();
  s.driver->SetRunState(fcsInstall);
  s.driver->ChildNotify(s.core1, cnDownloadStatus, &download);
  s.driver->SetRunState(fcsNone);
  ASSERT_EQ(copy->ProgressForms().size(), 2u);
  auto* form = dynamic_cast<TCopyFileForm*>(copy->ProgressForms()[0]);
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(Shown(form->TransferGauge));
  EXPECT_EQ(form->TransferGauge->Position(), 42);
  EXPECT_EQ(form->NameLabel->Caption(), "files.1");
  s.Send(imFilesDone);
  EXPECT_TRUE(copy->ProgressForms().empty());

  // Cancel in the middle: asked, then the archive reader stops.
  for (TInstallFile* f : {s.core1}) DeleteFileA(f->DestPath().c_str());
  int asked = 0;
  WizardSeams().UserAbort = [&] { return ++asked > 0; };
  gOnStatus = [&] {
    if (asked) return;
    for (TBaseDuringCopyForm* f : copy->ProgressForms())
      if (auto* c = dynamic_cast<TCopyFileForm*>(f)) Click(c->CancelBtn);
  };
  EXPECT_THROW(s.driver->SetState(fcsInstall), EAIUserAbort);
  gOnStatus = nullptr;
  gSeen = nullptr;
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(NetInstallCancel);
}

TEST(WizardPages, ChangeDiskWindowFindsTheMovedPart) {
  SetupForm s("disk");
  auto* group = s.Group("Group", s.driver, "Group");
  TInstallFile* big = s.File("Big", group, 90000);
  s.driver->SetArchiveFile(s.root + "\\whole\\files.1");
  s.Build();
  const std::string disk1 = s.root + "\\a", disk2 = s.root + "\\b";
  MakeDirs(disk1);
  MakeDirs(disk2);
  TSmallDiskCompress span(60000);
  span.SetCompressedFile(s.root + "\\whole\\files.1");
  span.OnNewDisk = [](TQnlwCompress*, int, std::string&) {};
  span.SpanDisks(disk1, "files.1");
  ASSERT_TRUE(::FileExists(disk1 + "\\files.2"));
  ASSERT_TRUE(MoveFileA((disk1 + "\\files.2").c_str(), (disk2 + "\\files.2").c_str()));
  s.driver->SetArchiveFile(disk1 + "\\files.1");

  TDialogManager* manager = s.Manager("DiskManager", dmChangeDisk);
  auto* dlg = s.Dialog<TChangeDiskDlg>("DiskDlg", s.driver);
  EXPECT_EQ(dlg->DialogManager(), manager);
  std::vector<std::string> boxes;
  Application->MessageBoxFunction = [&](HWND, const std::string& text, const std::string&, UINT) {
    boxes.push_back(text);
    return IDCANCEL;
  };
  TChangeDiskForm::BrowseHook = [&](HWND, std::string& path) {
    path = disk2;
    return true;
  };
  Script proceed({
      [&] {
        auto* f = dynamic_cast<TChangeDiskForm*>(dlg->Form());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(CurrentDialogManager(), manager);
        EXPECT_EQ(f->Caption(), "Setup needs the next disk");
        EXPECT_EQ(f->DiskLabel->Caption(), "Please insert disk number 2");
        EXPECT_EQ(f->PathEdit->Text(), disk1);
        EXPECT_EQ(GetFocus(), f->InstallBtn->Handle());
        Click(f->BrowseBtn);
        EXPECT_EQ(f->PathEdit->Text(), disk2);
        Pump(100);
        Screenshot("wizard-change-disk");
        Click(f->InstallBtn);
      },
  });
  EXPECT_NO_THROW(s.driver->SetState(fcsInstall));
  proceed.Stop();
  EXPECT_FALSE(proceed.Leftover());
  EXPECT_EQ(proceed.Done(), 1u);
  EXPECT_TRUE(boxes.empty());  // the file's own prompt stayed away
  EXPECT_EQ(big->Tag(), 1);
  EXPECT_EQ(ReadFileBytes(big->DestPath()), RandomData(90000, 90000));
  EXPECT_EQ(CurrentDialogManager(), nullptr);

  // Cancel asks, then ends the installation.
  DeleteFileA(big->DestPath().c_str());
  int asked = 0;
  WizardSeams().UserAbort = [&] { return ++asked > 0; };
  Script cancel({[&] { Click(dynamic_cast<TChangeDiskForm*>(dlg->Form())->CancelBtn); }});
  EXPECT_THROW(s.driver->SetState(fcsInstall), EAIUserAbort);
  cancel.Stop();
  EXPECT_FALSE(cancel.Leftover());
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(::FileExists(big->DestPath()));
}

// A real download from lighttpd: the copy window shows the transfer gauge
// while the part comes in, and the file bars once it is installed.  The
// stand-in driver of the install-file tests lets files live on the network.
TEST(WizardPages, CopyWindowShowsADownload) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string src = std::string(temp) + "iwz-net";
  RemoveTree(src);
  MakeDirs(src);
  const std::string served = Join(ScratchDir(), "served");
  RemoveTree(served);
  MakeDirs(served);
  WriteFileBytes(src + "\\web.bin", RandomData(400000, 7));
  const std::string runKey = "\\SOFTWARE\\Quenlow\\Install\\MorvaneWizardNet";
  DeleteRegistryKeyTree(hkLocalMachine, runKey);
  PeerServer http("lighttpd", "127.0.36.22", 80, served);

  instf::TTestForm form(Join(ScratchDir(), "netdist\\files.1"), Join(ScratchDir(), "Program Files Net"));
  form.Driver->Information.ProductName = "Morvane Wizard Net";
  form.Driver->Distribution = dtTraditionalNet;
  form.Driver->NetworkPath = served;
  form.Driver->RunKey = runKey;
  form.Driver->Running = true;
  auto* web = new TNetInstallLocation(form.Owner.get());
  web->SetName("WebLocation");
  TLoginInformation login;
  login.SetHostname("127.0.36.22");
  login.SetProtocol(ipHTTP);
  web->SetLoginInformation(&login);
  TInstallFileGroup* group = form.Group("Net", form.Driver);
  TInstallFile* file = form.File("Web", group, src, "web.bin");
  file->SetNet(true);
  file->SetNetLocation(web);
  form.Driver->Compress(0);
  ASSERT_TRUE(::FileExists(served + "\\Web.1"));

  auto* manager = new TDialogManager(form.Owner.get());
  manager->SetName("CopyManager");
  manager->SetManagerType(dmDuringCopyFiles);
  manager->SetContainer(form.Driver);
  auto* dlg = new TCopyFileDlg(form.Owner.get());
  dlg->SetName("CopyDlg");
  dlg->SetContainer(form.Driver);
  EXPECT_EQ(dlg->DialogManager(), manager);
  static bool registered = false;
  if (!registered) RegisterProgressForm<TRecorderForm>(nullptr, 0);
  registered = true;

  std::vector<Seen> seen;
  gSeen = &seen;
  bool shot = false;
  gOnStatus = [&] {
    if (!shot && !seen.empty() && seen.back().gauge) {
      shot = true;
      Pump(50);
      Screenshot("wizard-copy-download");
    }
  };
  form.Driver->SetState(fcsInstall);
  gOnStatus = nullptr;
  gSeen = nullptr;
  EXPECT_EQ(ReadFileBytes(file->DestPath()), RandomData(400000, 7));
  EXPECT_EQ(CountOf(http.Log(), "/Web.1"), 1) << http.Log();
  const auto downloading = std::count_if(seen.begin(), seen.end(), [](const Seen& v) { return v.gauge; });
  EXPECT_GT(downloading, 1);
  ASSERT_FALSE(seen.empty());
  EXPECT_FALSE(seen.back().gauge);  // the file's own status hides it again
  EXPECT_EQ(seen.back().totalBar, 100);
  EXPECT_TRUE(manager->ProgressForms().empty());
  DeleteRegistryKeyTree(hkLocalMachine, runKey);
  DeleteRegistryKeyTree(hkLocalMachine, std::string(UninstallKeyPrefix) + "Morvane Wizard Net");
}
