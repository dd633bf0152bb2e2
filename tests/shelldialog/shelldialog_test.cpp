// The open and save dialog under Wine: each Execute shows the real form;
// a timer started from OnInitialized drives it from inside its modal loop
// with real messages (typed characters, button clicks, keys, list and combo
// notifications), and message boxes are answered through the application's
// message-box hook.  Four shown runs; the files and folders are made by the
// test in its scratch folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "sysutils.h"
#include "test_support.h"
#include "win/extctrls.h"
#include "win/forms.h"
#include "win/ptopendlg.h"
#include "win/shconsts.h"
#include "win/shellutils.h"

using testsupport::Join;
using testsupport::Pump;

namespace {

struct TShownBox {
  std::string text, caption;
  UINT flags;
};
std::vector<TShownBox> g_boxes;
std::deque<int> g_answers;

std::string Msg(unsigned id, const std::string& name) { return Format(LoadShellString(id), name); }

// A read-only file would stop the next run's clearing of the scratch
// folder, so each folder is cleared by the test that uses it.
std::string Scratch(const std::string& sub) {
  std::string dir = Join(testsupport::ScratchDir(), sub);
  if (DirectoryExists(dir)) {
    for (const char* n : {"ro.ini"}) SetFileAttributesA(Join(dir, n).c_str(), FILE_ATTRIBUTE_NORMAL);
    testsupport::RemoveTree(dir);
  }
  testsupport::MakeDirs(dir);
  return dir;
}

void MakeFile(const std::string& path) { testsupport::WriteFileText(path, "x"); }

void MakeLink(const std::string& link, const std::string& target) {
  IShellLinkA* sl = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&sl)));
  sl->SetPath(target.c_str());
  IPersistFile* pf = nullptr;
  ASSERT_EQ(S_OK, sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)));
  std::wstring w(link.begin(), link.end());
  EXPECT_EQ(S_OK, pf->Save(w.c_str(), TRUE));
  pf->Release();
  sl->Release();
}

// Steps run one per timer tick, each returning to the dialog's modal loop
// so that a click on OK or Cancel is judged by the form as a user's is.
class TScript {
 public:
  explicit TScript(TForm* form) : form_(form) {
    timer_ = new TTimer(nullptr);
    timer_->SetInterval(60);
    timer_->SetEnabled(false);
    timer_->OnTimer = [this](TObject*) { Tick(); };
  }
  ~TScript() { delete timer_; }
  void Add(std::function<void()> step) { steps_.push_back(std::move(step)); }
  void Start() {
    started_ = GetTickCount();
    timer_->SetEnabled(true);
  }

 private:
  void Tick() {
    timer_->SetEnabled(false);
    if (!form_->Visible()) {
      timer_->SetEnabled(true);
      return;
    }
    if (next_ < steps_.size()) {
      steps_[next_++]();
    } else if (GetTickCount() - started_ > 60000 || next_ == steps_.size()) {
      // A script that left the dialog open ends it, so that the suite goes on.
      ADD_FAILURE() << "the dialog was still open after its script";
      form_->ModalResult = mrCancel;
      ++next_;
    }
    timer_->SetEnabled(true);
  }
  TForm* form_;
  TTimer* timer_;
  std::vector<std::function<void()>> steps_;
  size_t next_ = 0;
  DWORD started_ = 0;
};

// Real input to the form's controls.
void TypeInto(TEdit* edit, const std::string& text) {
  edit->SetFocus();
  SendMessageA(edit->Handle(), EM_SETSEL, 0, -1);
  SendMessageA(edit->Handle(), WM_CLEAR, 0, 0);
  for (char c : text) SendMessageA(edit->Handle(), WM_CHAR, static_cast<unsigned char>(c), 1);
}

void Click(TButton* b) { SendMessageA(b->Handle(), BM_CLICK, 0, 0); }

void ClickSpeed(TSpeedButton* b) {
  HWND parent = b->Parent()->Handle();
  LPARAM at = MAKELPARAM(b->Left() + b->Width() / 2, b->Top() + b->Height() / 2);
  SendMessageA(parent, WM_MOUSEMOVE, 0, at);
  SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(parent, WM_LBUTTONUP, 0, at);
  Pump(30);
}

void Key(WORD vk) {
  HWND focus = GetFocus();
  SendMessageA(focus, WM_KEYDOWN, vk, 1);
  SendMessageA(focus, WM_KEYUP, vk, 0xC0000001);
  Pump(30);
}

void ChooseFileType(TPTFrmOpenDlg* f, int index) {
  HWND combo = f->FileTypesCbx->Handle();
  SendMessageA(combo, CB_SETCURSEL, index, 0);
  SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELENDOK),
               reinterpret_cast<LPARAM>(combo));
}

std::vector<std::string> ListedNames(TPTFrmOpenDlg* f) {
  std::vector<std::string> names;
  for (int i = 0; i < f->PTShellList1->Items().Count(); ++i)
    if (TPTShListData* d = f->PTShellList1->ItemData(i)) names.push_back(d->FileName());
  return names;
}

bool Listed(TPTFrmOpenDlg* f, const std::string& name) {
  for (const std::string& n : ListedNames(f))
    if (SameText(n, name)) return true;
  return false;
}

int ListIndex(TPTFrmOpenDlg* f, const std::string& name) {
  for (int i = 0; i < f->PTShellList1->Items().Count(); ++i)
    if (TPTShListData* d = f->PTShellList1->ItemData(i))
      if (SameText(d->FileName(), name)) return i;
  return -1;
}

void SelectOnly(TPTFrmOpenDlg* f, const std::vector<std::string>& names) {
  HWND lv = f->PTShellList1->Handle();
  f->PTShellList1->SetFocus();
  ListView_SetItemState(lv, -1, 0, LVIS_SELECTED);
  for (const std::string& n : names) {
    int i = ListIndex(f, n);
    EXPECT_GE(i, 0) << n;
    ListView_SetItemState(lv, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  Pump(30);
}

std::string ListFolder(TPTFrmOpenDlg* f) { return ExcludeTrailingBackslash(f->CurrentFolderPath()); }

bool SamePath(const std::string& a, const std::string& b) {
  return SameText(ExcludeTrailingBackslash(a), ExcludeTrailingBackslash(b));
}

class DialogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Application->Initialize();
    Application->MessageBoxFunction = [](HWND, const std::string& text, const std::string& caption, UINT flags) {
      g_boxes.push_back({text, caption, flags});
      int answer = g_answers.empty() ? IDOK : g_answers.front();
      if (!g_answers.empty()) g_answers.pop_front();
      return answer;
    };
  }
  void TearDown() override { Application->MessageBoxFunction = nullptr; }
};
::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new DialogEnvironment);

const char kPatchFilter[] =
    "Plain patchfile|*.utp|Executable patchfile|*.exe|ZIP archive files|*.zip|GZIP archive files|*.gz|"
    "RAR archive files|*.rar|LHA archive files|*.lha|ARJ archive files|*.arj|JAR archive files|*.j|"
    "All files|*.*";

TPTSaveDlg* g_save = nullptr;
std::string g_saveDir;

}  // namespace

// The save dialog the main window shows for the patch name: its texts, the
// file types, a typed mask, a folder typed by name, a refused name, the
// overwrite question, and what the run leaves in the component.
TEST(ShellDialog, SaveDialogWithThePatchFilterAndItsChecks) {
  g_saveDir = Scratch("save");
  for (const char* n : {"alpha.exe", "beta.exe", "plain.utp", "one.dat", "two.dat", "100%s.exe"})
    MakeFile(Join(g_saveDir, n));
  testsupport::MakeDirs(Join(g_saveDir, "sub"));
  MakeFile(Join(g_saveDir, "sub\\inner.exe"));

  g_save = new TPTSaveDlg(nullptr);
  g_save->SetName("savedialog_Patchname");
  g_save->Title = "Save the Patchfile after creation as ...";
  g_save->Filter = kPatchFilter;
  g_save->FilterIndex = 2;
  g_save->InitialDir = g_saveDir;
  g_save->Options |= PtofBit(ptofOverwritePrompt);
  std::unique_ptr<TScript> script;
  g_save->OnInitialized = [&](TObject*) {
    TPTFrmOpenDlg* f = g_save->Form();
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(f, PTFrmOpenDlg);
    script.reset(new TScript(f));
    script->Add([f] {
      EXPECT_EQ("Save the Patchfile after creation as ...", f->Caption());
      EXPECT_EQ("Save &in:", f->LookInTxt->Caption());
      EXPECT_EQ("Save as &type:", f->FilesOfTypeTxt->Caption());
      EXPECT_EQ("&Save", f->OpenBtn->Caption());
      EXPECT_EQ("Cancel", f->CancelBtn->Caption());
      EXPECT_EQ("File &name:", f->FileNameTxt->Caption());
      EXPECT_FALSE(f->ReadOnlyChk->Visible());
      EXPECT_FALSE(f->HelpBtn->Visible());
      EXPECT_FALSE(f->PTShellTree1->Visible());
      EXPECT_EQ(9, f->FileTypesCbx->Items().Count());
      EXPECT_EQ(1, f->FileTypesCbx->ItemIndex());
      RECT cr = f->ClientRect();
      EXPECT_EQ(451, cr.right);
      EXPECT_EQ(265, cr.bottom);
      // The panel ends 4 pixels below its lowest visible control.
      EXPECT_EQ(f->CancelBtn->Top() + f->CancelBtn->Height() + 4, f->Panel1->Height());
      EXPECT_EQ(f->ClientWidth() - 4, f->OpenBtn->Left() + f->OpenBtn->Width());
      EXPECT_EQ(f->OpenBtn->Left() - 8, f->FileNameEdt->Left() + f->FileNameEdt->Width());
      EXPECT_EQ(f->PTShellCombo1->Top() + f->PTShellCombo1->Height() + 4, f->PTSplitter1->Top());
      EXPECT_EQ(f->Panel1->Top(), f->PTSplitter1->Top() + f->PTSplitter1->Height());
      EXPECT_TRUE(SamePath(g_saveDir, ListFolder(f)));
      EXPECT_TRUE(Listed(f, "alpha.exe"));
      EXPECT_TRUE(Listed(f, "100%s.exe"));
      EXPECT_TRUE(Listed(f, "sub"));
      EXPECT_FALSE(Listed(f, "plain.utp"));
      EXPECT_FALSE(Listed(f, "one.dat"));
      Pump(200);
      testsupport::Screenshot("shelldialog_save_list");
      TypeInto(f->FileNameEdt, "*.dat");
      Click(f->OpenBtn);
    });
    script->Add([f] {
      EXPECT_TRUE(f->Visible());
      EXPECT_EQ("*.dat", f->TypedMask());
      EXPECT_TRUE(Listed(f, "one.dat"));
      EXPECT_TRUE(Listed(f, "sub"));
      EXPECT_FALSE(Listed(f, "alpha.exe"));
      EXPECT_EQ("*.dat", f->FileNameEdt->Text());
      EXPECT_EQ(0, f->FileNameEdt->SelStart());
      EXPECT_EQ(5, f->FileNameEdt->SelLength());
      ChooseFileType(f, 0);
      EXPECT_EQ("", f->TypedMask());
      EXPECT_EQ("", f->FileNameEdt->Text());
      EXPECT_TRUE(Listed(f, "plain.utp"));
      EXPECT_FALSE(Listed(f, "one.dat"));
      TypeInto(f->FileNameEdt, "sub");
      Click(f->OpenBtn);
    });
    script->Add([f] {
      EXPECT_TRUE(f->Visible());
      EXPECT_TRUE(SamePath(Join(g_saveDir, "sub"), ListFolder(f)));
      EXPECT_TRUE(SamePath(Join(g_saveDir, "sub"), f->PTShellCombo1->Locator()->GetPath()));
      ClickSpeed(f->UpOneLevelBtn);
      EXPECT_TRUE(SamePath(g_saveDir, ListFolder(f)));
      g_boxes.clear();
      TypeInto(f->FileNameEdt, "a|b");
      Click(f->OpenBtn);
    });
    script->Add([f] {
      EXPECT_TRUE(f->Visible());
      ASSERT_EQ(1u, g_boxes.size());
      EXPECT_EQ(Msg(52491, "a|b"), g_boxes[0].text);
      EXPECT_EQ(f->Caption(), g_boxes[0].caption);
      EXPECT_EQ("a|b", f->FileNameEdt->Text());
      // An existing name: No keeps the dialog open.  The name holds a
      // format code, which must reach the text as it stands.
      g_boxes.clear();
      g_answers = {IDNO};
      ChooseFileType(f, 1);
      TypeInto(f->FileNameEdt, "100%s.exe");
      Click(f->OpenBtn);
    });
    script->Add([f] {
      EXPECT_TRUE(f->Visible());
      ASSERT_EQ(1u, g_boxes.size());
      EXPECT_EQ(Msg(52480, Join(g_saveDir, "100%s.exe")), g_boxes[0].text);
      EXPECT_EQ(UINT(MB_ICONWARNING | MB_YESNO), g_boxes[0].flags);
      // Tree shown and the form made larger: both come back next time.
      Key(VK_F12);
      EXPECT_TRUE(f->PTShellTree1->Visible());
      EXPECT_EQ(200, f->PTSplitter1->Position());
      f->PTSplitter1->SetPosition(170);
      SetWindowPos(f->Handle(), nullptr, 0, 0, 600, 420, SWP_NOMOVE | SWP_NOZORDER);
      Pump(100);
      ChooseFileType(f, 0);
      g_boxes.clear();
      g_answers = {IDYES};
      TypeInto(f->FileNameEdt, "alpha.exe");
      Click(f->OpenBtn);
    });
    script->Start();
  };
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  EXPECT_TRUE(g_save->Execute());
  EXPECT_EQ(1u, g_boxes.size());
  EXPECT_EQ(Join(g_saveDir, "alpha.exe"), g_save->FileName());
  EXPECT_EQ(1, g_save->Files().Count());
  EXPECT_EQ(600, g_save->FormWidth);
  EXPECT_EQ(420, g_save->FormHeight);
  EXPECT_EQ(1, g_save->FilterIndex);
  EXPECT_EQ(170, g_save->FormSplitterPos);
  EXPECT_TRUE(g_save->HasOption(ptofShowTree));
  EXPECT_EQ(nullptr, g_save->Form());
  EXPECT_EQ(nullptr, PTFrmOpenDlg);
  char after[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_TRUE(SamePath(g_saveDir, after)) << after;
  SetCurrentDirectoryA(before);
}

// The same component again: size, file type, tree and splitter as left;
// the tree and view keys and buttons, refresh, new folders, help, Cancel.
TEST(ShellDialog, SecondRunKeepsTheLayoutAndDrivesTreeKeysAndButtons) {
  ASSERT_NE(nullptr, g_save);
  g_save->Options |= PtofBit(ptofShowHelp);
  g_save->HelpContext = 77;
  int helps = 0;
  intptr_t helpData = 0;
  g_save->OnHelp = [&](WORD command, intptr_t data, bool&) {
    ++helps;
    helpData = command == HELP_CONTEXT ? data : -1;
    return true;
  };
  std::unique_ptr<TScript> script;
  g_save->OnInitialized = [&](TObject*) {
    TPTFrmOpenDlg* f = g_save->Form();
    script.reset(new TScript(f));
    script->Add([f] {
      EXPECT_EQ(600, f->Width());
      EXPECT_EQ(420, f->Height());
      EXPECT_EQ(0, f->FileTypesCbx->ItemIndex());
      EXPECT_TRUE(f->PTShellTree1->Visible());
      EXPECT_EQ(170, f->PTSplitter1->Position());
      EXPECT_EQ(f->PTShellTree1, f->PTShellCombo1->ShellTree());
      EXPECT_TRUE(f->ShowTreeBtn->Down());
      EXPECT_TRUE(f->HelpBtn->Visible());
      // The help button sits 4 pixels from the right edge too.
      EXPECT_EQ(f->ClientWidth() - 4, f->HelpBtn->Left() + f->HelpBtn->Width());
      f->FileNameEdt->SetFocus();
      Key(VK_F12);
      EXPECT_FALSE(f->PTShellTree1->Visible());
      EXPECT_LT(f->PTSplitter1->Position(), 0);
      EXPECT_EQ(nullptr, f->PTShellCombo1->ShellTree());
      EXPECT_FALSE(f->ShowTreeBtn->Down());
      EXPECT_EQ(170, g_save->FormSplitterPos);
      ClickSpeed(f->ShowTreeBtn);
      EXPECT_TRUE(f->PTShellTree1->Visible());
      EXPECT_EQ(170, f->PTSplitter1->Position());
      // F4 opens the combo's list and closes it again onto the list.
      f->FileNameEdt->SetFocus();
      Key(VK_F4);
      EXPECT_TRUE(f->PTShellCombo1->DroppedDown());
      Key(VK_F4);
      EXPECT_FALSE(f->PTShellCombo1->DroppedDown());
      EXPECT_TRUE(f->PTShellList1->Focused());
      // F5 shows what a Unix program made meanwhile.
      ChooseFileType(f, 8);
      ASSERT_EQ(0, testsupport::RunUnix("/usr/bin/touch", {testsupport::ToUnixPath(Join(g_saveDir, "fresh.bin"))}));
      f->FileNameEdt->SetFocus();
      Key(VK_F5);
      EXPECT_TRUE(Listed(f, "fresh.bin"));
    });
    script->Add([f] {
      ClickSpeed(f->DetailsBtn);
      EXPECT_EQ(vsReport, f->PTShellList1->ViewStyle());
      EXPECT_TRUE(f->Details1Mitm->Checked);
      EXPECT_FALSE(f->List1Mitm->Checked);
      EXPECT_TRUE(f->DetailsBtn->Down());
      f->List1Mitm->Click();
      EXPECT_EQ(vsList, f->PTShellList1->ViewStyle());
      EXPECT_TRUE(f->ListBtn->Down());
      EXPECT_TRUE(f->List1Mitm->Checked);
      // A new folder in the list, named for editing.
      f->PTShellList1->SetFocus();
      ClickSpeed(f->CreateNewFolderBtn);
      Pump(200);
      EXPECT_TRUE(DirectoryExists(Join(g_saveDir, "New Folder")));
      EXPECT_NE(nullptr, reinterpret_cast<HWND>(SendMessageA(f->PTShellList1->Handle(), LVM_GETEDITCONTROL, 0, 0)));
      Key(VK_ESCAPE);
      Pump(100);
    });
    script->Add([f] {
      // With the tree focused the tree makes it.
      f->PTShellTree1->SetFocus();
      ClickSpeed(f->CreateNewFolderBtn);
      Pump(200);
      EXPECT_TRUE(DirectoryExists(Join(g_saveDir, "New Folder (2)")));
      EXPECT_NE(nullptr, reinterpret_cast<HWND>(SendMessageA(f->PTShellTree1->Handle(), TVM_GETEDITCONTROL, 0, 0)));
      Key(VK_ESCAPE);
      Pump(100);
      Click(f->HelpBtn);
      Click(f->CancelBtn);
    });
    script->Start();
  };
  EXPECT_FALSE(g_save->Execute());
  EXPECT_EQ(1, helps);
  EXPECT_EQ(77, helpData);
  // Nothing accepted: the name given is what the component answers.
  EXPECT_EQ(0, g_save->Files().Count());
  EXPECT_EQ(170, g_save->FormSplitterPos);
  EXPECT_EQ(9, g_save->FilterIndex);
}

// The open variant with several files, a default extension (".ini" is one
// Wine's classes root knows), links,
// read-only and missing files.  The form refuses to close while the test
// probes, so one run sees every decision.
TEST(ShellDialog, OpenDialogDecidesOnTypedAndChosenNames) {
  const std::string dir = Scratch("open");
  for (const char* n : {"patch.utp", "notes.zq9.utp", "readme.ini", "one.dat", "two.dat", "target.dat", "ro.ini"})
    MakeFile(Join(dir, n));
  SetFileAttributesA(Join(dir, "ro.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeLink(Join(dir, "shortcut.lnk"), Join(dir, "target.dat"));
  testsupport::MakeDirs(Join(dir, "inner"));

  TPTOpenDlg dlg(nullptr);
  dlg.SetName("opendialog");
  dlg.Options |= PtofBit(ptofAllowMultiselect) | PtofBit(ptofCreatePrompt) | PtofBit(ptofNoReadOnlyReturn) |
                 PtofBit(ptofShowTree) | PtofBit(ptofHideFoldersInListWhenTreeVisible);
  dlg.DefaultExt = "utp";
  dlg.SetFileName(Join(dir, "patch.utp"));
  std::vector<std::string> accepted;
  bool probing = true;
  std::function<void(const std::string&)> probe;
  std::unique_ptr<TScript> script;
  dlg.OnInitialized = [&](TObject*) {
    TPTFrmOpenDlg* f = dlg.Form();
    f->OnClose = [&, f](TObject*, TCloseAction& action) {
      accepted.clear();
      for (int i = 0; i < f->AcceptedFiles().Count(); ++i) accepted.push_back(f->AcceptedFiles()[i]);
      if (probing) action = caNone;
    };
    script.reset(new TScript(f));
    probe = [&, f](const std::string& text) {
      accepted = {"(none)"};
      g_boxes.clear();
      TypeInto(f->FileNameEdt, text);
      Click(f->OpenBtn);
    };
    script->Add([&, f, dir] {
      EXPECT_EQ("Open", f->Caption());
      EXPECT_EQ("Look &in:", f->LookInTxt->Caption());
      EXPECT_EQ("Files of &type:", f->FilesOfTypeTxt->Caption());
      EXPECT_EQ("&Open", f->OpenBtn->Caption());
      // The start folder is the given file's; the edit holds its name.
      EXPECT_TRUE(SamePath(dir, ListFolder(f)));
      EXPECT_EQ(Join(dir, "patch.utp"), f->FileNameEdt->Text());
      EXPECT_TRUE(f->PTShellTree1->Visible());
      EXPECT_EQ(200, f->PTSplitter1->Position());
      ClickSpeed(f->DetailsBtn);
      Pump(300);
      testsupport::Screenshot("shelldialog_open_tree_details");
      // The tree shows the folders while it is there; the list then does not.
      EXPECT_FALSE(Listed(f, "inner"));
      f->FileNameEdt->SetFocus();
      Key(VK_F12);
      EXPECT_TRUE(Listed(f, "inner"));
      Key(VK_F12);
      EXPECT_FALSE(Listed(f, "inner"));
      EXPECT_TRUE(Listed(f, "one.dat"));
      probe("patch");
    });
    script->Add([&, dir] {
      EXPECT_EQ(std::vector<std::string>{Join(dir, "patch.utp")}, accepted);
      EXPECT_FALSE(dlg.HasOption(ptofExtensionDifferent));
      probe("notes.zq9");
    });
    script->Add([&, dir] {
      EXPECT_EQ(std::vector<std::string>{Join(dir, "notes.zq9.utp")}, accepted);
      probe("readme.ini");
    });
    script->Add([&, dir] {
      EXPECT_EQ(std::vector<std::string>{Join(dir, "readme.ini")}, accepted);
      EXPECT_TRUE(dlg.HasOption(ptofExtensionDifferent));
      probe("\"one.dat\"  \"two.dat\" ");
    });
    script->Add([&, dir] {
      EXPECT_EQ((std::vector<std::string>{Join(dir, "one.dat"), Join(dir, "two.dat")}), accepted);
      probe("\"one.dat\" \"gone.dat\"");
    });
    script->Add([&, f, dir] {
      EXPECT_TRUE(f->Visible());
      EXPECT_EQ(std::vector<std::string>{"(none)"}, accepted);
      ASSERT_EQ(1u, g_boxes.size());
      EXPECT_EQ(Msg(52489, Join(dir, "gone.dat")), g_boxes[0].text);
      EXPECT_EQ("\"one.dat\" \"gone.dat\"", f->FileNameEdt->Text());
      SelectOnly(f, {"one.dat", "two.dat"});
      EXPECT_EQ("\"one.dat\" \"two.dat\"", f->FileNameEdt->Text());
      SelectOnly(f, {"shortcut.lnk"});
      EXPECT_TRUE(f->NameFromList());
      accepted = {"(none)"};
      Click(f->OpenBtn);
    });
    script->Add([&, dir] {
      EXPECT_EQ(std::vector<std::string>{Join(dir, "target.dat")}, accepted);
      probe("ro.ini");
    });
    script->Add([&, f, dir] {
      EXPECT_EQ(std::vector<std::string>{"(none)"}, accepted);
      ASSERT_EQ(1u, g_boxes.size());
      EXPECT_EQ(Msg(52494, Join(dir, "ro.ini")), g_boxes[0].text);
      EXPECT_EQ(f->Caption(), g_boxes[0].caption);
      g_answers = {IDYES};
      probe("brandnew");
    });
    script->Add([&, dir] {
      ASSERT_EQ(1u, g_boxes.size());
      EXPECT_EQ(Msg(52498, "brandnew.utp"), g_boxes[0].text);
      EXPECT_EQ(UINT(MB_ICONQUESTION | MB_YESNO), g_boxes[0].flags);
      EXPECT_EQ(std::vector<std::string>{Join(dir, "brandnew.utp")}, accepted);
      probing = false;
      probe("patch");
    });
    script->Start();
  };
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(Join(dir, "patch.utp"), dlg.FileName());
}

// A run whose OnInitialized raises leaves nothing behind; Execute inside
// a run raises; without the tree option the tree stays away and links
// come back as themselves.
TEST(ShellDialog, ReentryFailedRunsAndNoTree) {
  const std::string dir = Scratch("links");
  MakeFile(Join(dir, "target.dat"));
  MakeLink(Join(dir, "shortcut.lnk"), Join(dir, "target.dat"));
  TPTOpenDlg dlg(nullptr);
  dlg.SetName("linkdialog");
  dlg.InitialDir = dir;
  dlg.Options = (dlg.Options & ~PtofBit(ptofAllowTree)) | PtofBit(ptofNoDereferenceLinks);
  dlg.OnInitialized = [](TObject*) { throw Exception("made to fail"); };
  EXPECT_THROW(dlg.Execute(), Exception);
  EXPECT_FALSE(dlg.Executing());
  EXPECT_EQ(nullptr, dlg.Form());
  EXPECT_EQ(nullptr, PTFrmOpenDlg);
  EXPECT_EQ(crDefault, Screen->Cursor());

  MakeFile(Join(dir, "hidden.dat"));
  std::string reentry;
  int comboAsked = 0;
  std::unique_ptr<TScript> script;
  dlg.OnInitialized = [&](TObject*) {
    try {
      dlg.Execute();
    } catch (const Exception& e) {
      reentry = e.what();
    }
    TPTFrmOpenDlg* f = dlg.Form();
    // Handlers set while the form is up reach its list and combo.
    dlg.SetOnAddListItem([](TObject*, IShellFolder* folder, LPCITEMIDLIST, LPCITEMIDLIST item, int, BOOL& allow) {
      if (SameText(ExtractFileName(GetDisplayName(folder, item, 2)), "hidden.dat")) allow = FALSE;
    });
    dlg.SetOnAddComboItem([&comboAsked, f](TObject* sender, IShellFolder*, LPCITEMIDLIST, LPCITEMIDLIST, int, BOOL&) {
      EXPECT_EQ(f->PTShellCombo1, sender);
      ++comboAsked;
    });
    script.reset(new TScript(f));
    script->Add([f, &comboAsked] {
      f->FileNameEdt->SetFocus();
      EXPECT_TRUE(Listed(f, "hidden.dat"));
      Key(VK_F5);
      EXPECT_FALSE(Listed(f, "hidden.dat"));
      EXPECT_TRUE(Listed(f, "target.dat"));
      EXPECT_GT(comboAsked, 0);
      EXPECT_FALSE(f->ShowTreeBtn->Visible());
      EXPECT_EQ(f->ShowTreeBtn->Left(), f->ListBtn->Left());
      EXPECT_EQ(f->ListBtn->Left() + f->ListBtn->Width(), f->DetailsBtn->Left());
      f->FileNameEdt->SetFocus();
      Key(VK_F12);
      EXPECT_FALSE(f->PTShellTree1->Visible());
      EXPECT_FALSE(f->TreeShown());
      SelectOnly(f, {"shortcut.lnk"});
      Click(f->OpenBtn);
    });
    script->Start();
  };
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  SetCurrentDirectoryA(testsupport::ScratchDir().c_str());
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ("TPTOpenDlg already executing", reentry);
  EXPECT_EQ(Join(dir, "shortcut.lnk"), dlg.FileName());
  EXPECT_LT(dlg.FormSplitterPos, 0);
  // The tree was never shown: the folder the list showed is the one kept.
  char after[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_TRUE(SamePath(dir, after)) << after;
  SetCurrentDirectoryA(before);
}

namespace {

// Keys as the user types them: through the system's queue into the
// dialog's own loop, where the form may take Enter and Escape for itself.
void TypeKey(WORD vk) {
  testsupport::SendKey(vk, false);
  testsupport::SendKey(vk, true);
  Pump(150);
}

TTreeNode* ChildNamed(TTreeNode* node, const std::string& text) {
  for (TTreeNode* c = node ? node->GetFirstChild() : nullptr; c; c = c->GetNextSibling())
    if (SameText(c->Text(), text)) return c;
  return nullptr;
}

HWND TreeEdit(TPTFrmOpenDlg* f) {
  return reinterpret_cast<HWND>(SendMessageA(f->PTShellTree1->Handle(), TVM_GETEDITCONTROL, 0, 0));
}

// F2 on the tree's selected folder, a new name, and the key that ends it.
void RenameInTree(TPTFrmOpenDlg* f, const std::string& name, WORD end) {
  SetForegroundWindow(f->Handle());
  f->PTShellTree1->SetFocus();
  TypeKey(VK_F2);
  HWND edit = TreeEdit(f);
  ASSERT_NE(nullptr, edit) << "F2 did not start the label edit";
  SetWindowTextA(edit, name.c_str());
  TypeKey(end);
}

}  // namespace

// The Desktop, the root of the namespace, is a folder on disk like any
// other: a name saved there, a folder made there and a change made there
// by another program all happen in it.  A folder renamed in the tree takes
// the list along; Escape in the tree's label edit cancels the rename, Enter
// ends it, and neither closes the dialog.
TEST(ShellDialog, DesktopAndTreeLabelEditsAsTheUserTypes) {
  const std::string desktop = SpecialFolderPath(nullptr, CSIDL_DESKTOPDIRECTORY);
  ASSERT_FALSE(desktop.empty());
  const std::string made = Join(desktop, "New Folder"), outside = Join(desktop, "made outside.utp");
  RemoveDirectoryA(made.c_str());
  DeleteFileA(outside.c_str());
  const std::string dir = Scratch("rename");
  testsupport::MakeDirs(Join(dir, "Named"));
  MakeFile(Join(dir, "Named\\inside.utp"));

  TPTSaveDlg dlg(nullptr);
  dlg.SetName("desktopdialog");
  dlg.Filter = kPatchFilter;
  dlg.InitialDir = dir;
  std::unique_ptr<TScript> script;
  dlg.OnInitialized = [&](TObject*) {
    TPTFrmOpenDlg* f = dlg.Form();
    script.reset(new TScript(f));
    script->Add([f, &desktop, &made, &outside] {
      // The Desktop entry of the combo: the namespace's root.
      f->PTShellCombo1->Locator()->SetPidl(nullptr);
      Pump(200);
      EXPECT_TRUE(SamePath(desktop, f->PTShellList1->Folder().GetPath())) << f->PTShellList1->Folder().GetPath();
      f->PTShellList1->SetFocus();
      ClickSpeed(f->CreateNewFolderBtn);
      Pump(200);
      EXPECT_TRUE(DirectoryExists(made));
      Key(VK_ESCAPE);
      // Another program's file appears in the watched Desktop; our own new
      // folder's notice did not swallow it.
      f->FileNameEdt->SetFocus();
      testsupport::WriteFileText(outside, "x");
      for (int i = 0; i < 60 && !Listed(f, "made outside.utp"); ++i) Pump(100);
      EXPECT_TRUE(Listed(f, "made outside.utp"));
    });
    script->Add([f, &dir] {
      if (!f->PTShellTree1->Visible()) ClickSpeed(f->ShowTreeBtn);
      ASSERT_TRUE(f->PTShellTree1->Visible());
      f->PTShellCombo1->Locator()->SetPath(dir);
      Pump(300);
      TTreeNode* at = f->PTShellTree1->Selected();
      ASSERT_NE(nullptr, at);
      at->Expand();
      TTreeNode* named = ChildNamed(at, "Named");
      ASSERT_NE(nullptr, named);
      named->SetSelected(true);
      f->PTShellTree1->FlushRefresh();
      Pump(100);
      EXPECT_TRUE(Listed(f, "inside.utp"));
      RenameInTree(f, "Renamed", VK_ESCAPE);
    });
    script->Add([f, &dir] {
      EXPECT_TRUE(f->Visible()) << "Escape in the label edit closed the dialog";
      EXPECT_EQ(nullptr, TreeEdit(f));
      EXPECT_TRUE(DirectoryExists(Join(dir, "Named")));
      EXPECT_FALSE(DirectoryExists(Join(dir, "Renamed")));
      RenameInTree(f, "Renamed", VK_RETURN);
    });
    script->Add([f, &dir] {
      EXPECT_TRUE(f->Visible()) << "Enter in the label edit closed the dialog";
      EXPECT_EQ(nullptr, TreeEdit(f));
      EXPECT_TRUE(DirectoryExists(Join(dir, "Renamed")));
      EXPECT_FALSE(DirectoryExists(Join(dir, "Named")));
      // The list shows the renamed folder, not the vanished one.
      EXPECT_TRUE(SamePath(Join(dir, "Renamed"), f->PTShellList1->Folder().GetPath()))
          << f->PTShellList1->Folder().GetPath();
      EXPECT_TRUE(Listed(f, "inside.utp"));
      f->PTShellCombo1->Locator()->SetPidl(nullptr);
      Pump(200);
      TypeInto(f->FileNameEdt, "on the desktop.utp");
      Click(f->OpenBtn);
    });
    script->Start();
  };
  EXPECT_TRUE(dlg.Execute());
  EXPECT_TRUE(SamePath(Join(desktop, "on the desktop.utp"), dlg.FileName())) << dlg.FileName();
  RemoveDirectoryA(made.c_str());
  DeleteFileA(outside.c_str());
}
