// The main window's pages under Wine: one window from a seeded registry,
// driven through its pickers (real shell combos and lists over Wine's
// shell namespace), run-time pairs, a real file drop, the splitter, a
// receiver typed into the e-mail pane, real patch runs through the
// progress window and the close through the wizard's cancel button.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

#include "addrbook.h"
#include "emailform.h"
#include "emailthread.h"
#include "applier.h"
#include "apppages_window.h"
#include "gui_test_support.h"
#include "mainform.h"
#include "options.h"
#include "patchfile.h"
#include "patchrun_tree.h"
#include "patchthread.h"
#include "progressform.h"
#include "receivers.h"
#include "settings.h"
#include "test_support.h"
#include "user_registry.h"
#include "win/forms.h"
#include "win/ptsplitter.h"
#include "win/shellcombo.h"
#include "win/shelllist.h"

using namespace testsupport;

TForm1* StartMainWindow(bool withDialogs) {
  InitSettingsUnit();
  if (withDialogs) {
    Form2 = new TForm2(Application);
    Form4 = new TForm4(Application);
  }
  auto* form = new TForm1(Application);
  if (withDialogs) Form1 = form;
  form->SetLeft(0);
  form->SetTop(0);
  form->FormCreate();
  form->Show();
  Pump(100);
  return form;
}

namespace {

const std::string kMain = "Software\\Dorn Aldwick Software\\Morvane\\1.9";

std::string GetString(const std::string& key, const std::string& name) {
  char buf[4096] = "";
  DWORD size = sizeof buf;
  if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != 0)
    return "<missing>";
  return buf;
}

DWORD GetInt(const std::string& key, const std::string& name) {
  DWORD v = 0xFFFFFFFF, size = sizeof v;
  RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size);
  return v;
}

void Click(TWinControl* c) { SendMessageA(c->Handle(), BM_CLICK, 0, 0); }

void Choose(TComboBox* combo, int index) {
  SendMessageA(combo->Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(GetParent(combo->Handle()), WM_COMMAND,
               MAKEWPARAM(GetDlgCtrlID(combo->Handle()), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo->Handle()));
}

int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 e{};
  e.dwSize = sizeof e;
  int n = 0;
  for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e))
    if (e.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}

int WindowCount(HWND parent) {
  int n = 0;
  EnumChildWindows(
      parent, [](HWND, LPARAM p) -> BOOL { ++*reinterpret_cast<int*>(p); return TRUE; }, reinterpret_cast<LPARAM>(&n));
  return n;
}

std::string DirState(const std::string& path) {
  return path.back() == '\\' ? path : path + "\\";
}

std::string ComboPath(TPTShellCombo* c) { return c->Locator()->GetPath(); }

// Points a pair at a folder the way the user does in the combo, and waits
// for the list to show it.
void ShowFolder(TPTShellCombo* combo, TPTShellList* list, const std::string& path) {
  combo->Locator()->SetPath(path);
  list->FlushRefresh(true);
  Pump(30);
}

void Select(TPTShellList* list, const std::vector<std::string>& names) {
  for (int i = 0; i < list->Items().Count(); ++i) {
    TPTShListData* d = list->ItemData(i);
    bool want = false;
    for (const std::string& n : names) want = want || (d && SameText(d->FileName(), n));
    list->ItemFromIndex(i)->SetSelected(want);
  }
  Pump(40);
}

std::vector<std::string> Sources() {
  std::vector<std::string> r;
  for (uint32_t i = 0; i + 1 < SourceCount; ++i) r.push_back(SourceList[i]);
  return r;
}

// A shell data object for files of one folder, as a file manager makes it
// for a drag.
IDataObject* ShellDataObject(const std::string& folder, const std::vector<std::string>& names) {
  IShellFolder* desktop = nullptr;
  SHGetDesktopFolder(&desktop);
  std::wstring wfolder(folder.begin(), folder.end());
  LPITEMIDLIST pidl = nullptr;
  desktop->ParseDisplayName(nullptr, nullptr, &wfolder[0], nullptr, &pidl, nullptr);
  IShellFolder* sf = nullptr;
  desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&sf));
  std::vector<LPITEMIDLIST> items;
  for (const std::string& n : names) {
    std::wstring w(n.begin(), n.end());
    LPITEMIDLIST item = nullptr;
    sf->ParseDisplayName(nullptr, nullptr, &w[0], nullptr, &item, nullptr);
    items.push_back(item);
  }
  IDataObject* data = nullptr;
  sf->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), const_cast<LPCITEMIDLIST*>(items.data()),
                    IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
  for (LPITEMIDLIST i : items) CoTaskMemFree(i);
  CoTaskMemFree(pidl);
  sf->Release();
  desktop->Release();
  return data;
}

DWORD Drop(TPTShellList* list, IDataObject* data) {
  IDropTarget* target = PickerListDropTarget(list);
  EXPECT_NE(target, nullptr);
  if (!target) return DROPEFFECT_NONE;
  POINTL pt{10, 10};
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  target->DragEnter(data, MK_LBUTTON, pt, &effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  target->DragOver(MK_LBUTTON, pt, &effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  target->Drop(data, 0, pt, &effect);
  Pump(50);
  return effect;
}

class Pages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    AllocEngineBuffers();
  }
  void SetUp() override {
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string&, UINT) {
      boxes.push_back(text);
      return IDOK;
    };
  }
  void TearDown() override { Application->MessageBoxFunction = nullptr; }
  std::vector<std::string> boxes;
};

}  // namespace

TEST_F(Pages, PickersPairsDropRunsAndClose) {
  const std::string root = Join(ScratchDir(), "pages");
  RemoveTree(root);
  const std::vector<std::string> states = patchrun::MakeStates(root, 3, 4, 6000);
  const std::string files = Join(root, "files");
  MakeDirs(files);
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteFileText(Join(files, n), std::string("text of ") + n);
  const std::string other = Join(root, "other");
  MakeDirs(other);
  WriteFileText(Join(other, "d.txt"), "final");

  DeleteUserKey(kMain);
  SetUserValue(kMain, "Expert default patchfile", "fix.utp");
  SetUserValue(kMain, "Startup page mode", 3);
  SetUserValue(kMain, "Startup page", 1);
  SetUserValue(kMain, "Restore Expert Filelists", 1);
  SetUserValue(kMain, "Restore Expert Filelists amount", 2);
  SetUserValue(kMain, "Restore Expert Filelists contents 0", states[2] + "\x01");
  SetUserValue(kMain, "Restore Expert Filelists contents 1", states[0] + "\x01");
  SetUserValue(kMain, "Restore Expert Filelists contents 2", states[1] + "\x01");
  SetUserValue(kMain, "Restore Wizard Filelists", 1);
  SetUserValue(kMain, "Restore Wizard Filelists amount", 1);
  SetUserValue(kMain, "Restore Wizard Filelists contents 0", Join(root, "gone") + "\x01" + "d.txt\x01");
  SetUserValue(kMain, "Restore Wizard Filelists contents 1", files + "\x01" + "b.txt\x01");
  // InfoZIP through the real zip, with a template longer than any fixed
  // field the packer table once had.
  std::string longTemplate = "-9 -g -X -j";
  while (longTemplate.size() < 90) longTemplate += " -q";
  longTemplate += " %b.zip %p";
  SetUserValue(kMain + "\\packer\\InfoZIP", "Use executable at", Join(BuildDir(), "tests\\apppages\\apppages_zip.exe"));
  SetUserValue(kMain + "\\packer\\InfoZIP", "Call via system path", 0);
  SetUserValue(kMain + "\\packer\\InfoZIP", "Call with parameters", longTemplate);
  SetUserValue(kMain, "Expert default packer", 1);

  TForm1* form = StartMainWindow(true);

  // Start: the expert page, the relative name on the desktop, the stored
  // lists back with their added pair.
  EXPECT_EQ(form->pagectrl_Main->ActivePage(), form->page_Expert);
  EXPECT_EQ(form->ClientHeight(), 553);
  EXPECT_EQ(form->edit_ExpertPatchname->Text(), DesktopDirectory + "\\fix.utp");
  ASSERT_EQ(form->AddedPairCount(true), 1);
  EXPECT_EQ(form->AddedCombo(true, 0)->Tag(), 1);
  EXPECT_TRUE(SameText(ComboPath(form->AddedCombo(true, 0)), states[1]));
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertSource1), states[0]));
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertDest), states[2]));
  form->ValidateSources();
  EXPECT_EQ(Sources(), (std::vector<std::string>{DirState(states[0]), DirState(states[1]), DirState(states[2])}));
  EXPECT_TRUE(form->button_ExpertCreate->Enabled());
  EXPECT_TRUE(form->chkbox_ExpertForceIdentical->Enabled());
  EXPECT_TRUE(form->chkbox_ExpertActivateSource1->Checked());
  EXPECT_FALSE(form->AddedCheck(true, 0)->Checked());
  // Layout with an added pair: 197-wide columns, narrow lists and combos.
  EXPECT_EQ(form->filelist_ExpertSource1->Width(), 188);
  EXPECT_EQ(form->pathcombo_ExpertSource1->Width(), 159);
  EXPECT_EQ(form->AddedList(true, 0)->Left() - form->filelist_ExpertSource1->Left(), 197);
  EXPECT_EQ(form->filelist_ExpertDest->Left() - form->AddedList(true, 0)->Left(), 197);
  // The activation boxes, two lines high in a single column, take the
  // second line from the lists.
  EXPECT_EQ(form->filelist_ExpertSource1->Height(),
            form->scrbox_Expert->Height() - 72 - (form->scrbox_Expert->HorzScrollBarVisible() ? 15 : 0) -
                (form->chkbox_ExpertActivateSource1->Height() - 16));
  // A folder that is gone shows the desktop and selects nothing.
  EXPECT_EQ(form->pathcombo_WizardDest->Locator()->GetPidl(), nullptr);
  EXPECT_EQ(form->filelist_WizardDest->SelCount(), 0);
  EXPECT_EQ(form->filelist_WizardSource1->SelCount(), 1);

  // Ticking the last box adds pair 2 in the folder of pair 1.
  Click(form->AddedCheck(true, 0));
  Pump(100);
  ASSERT_EQ(form->AddedPairCount(true), 2);
  EXPECT_EQ(form->AddedList(true, 1)->Tag(), 2);
  EXPECT_TRUE(SameText(ComboPath(form->AddedCombo(true, 1)), states[1]));
  EXPECT_TRUE(form->AddedCheck(true, 0)->Checked());
  Screenshot("apppages_expert_two_added");
  // Pair 2 on the final state's folder: two states name the same folder.
  ShowFolder(form->AddedCombo(true, 1), form->AddedList(true, 1), states[2]);
  form->ValidateSources();
  EXPECT_FALSE(form->button_ExpertCreate->Enabled());
  // Unticking the first source's box removes pair 1; pair 2 becomes 1.
  Click(form->chkbox_ExpertActivateSource1);
  Pump(50);
  ASSERT_EQ(form->AddedPairCount(true), 1);
  EXPECT_EQ(form->AddedCombo(true, 0)->Tag(), 1);
  EXPECT_EQ(form->AddedList(true, 0)->Tag(), 1);
  EXPECT_TRUE(SameText(ComboPath(form->AddedCombo(true, 0)), states[2]));
  EXPECT_TRUE(form->chkbox_ExpertActivateSource1->Checked());
  EXPECT_FALSE(form->button_ExpertCreate->Enabled());

  // Tick and untick cycles free what they made: the pairs' controls (a
  // hidden list would keep watching its folder), threads and windows.
  // Wine counts no process handles.
  auto cycle = [&] {
    Click(form->AddedCheck(true, 0));
    Pump(20);
    Click(form->AddedCheck(true, 0));
    Pump(20);
  };
  cycle();
  Pump(300);
  const int threads = ThreadCount(), windows = WindowCount(form->Handle());
  const int components = form->ComponentCount();
  for (int i = 0; i < 30; ++i) cycle();
  Pump(300);
  EXPECT_EQ(form->AddedPairCount(true), 1);
  EXPECT_LE(ThreadCount(), threads);
  EXPECT_EQ(WindowCount(form->Handle()), windows);
  EXPECT_EQ(form->ComponentCount(), components);

  // Back to two columns: the wide layout.
  Click(form->chkbox_ExpertActivateSource1);
  Pump(50);
  ASSERT_EQ(form->AddedPairCount(true), 0);
  EXPECT_EQ(form->filelist_ExpertSource1->Width(), 284);
  EXPECT_EQ(form->pathcombo_ExpertDest->Width(), 257);

  // Files chosen in the list become states in list order.
  ShowFolder(form->pathcombo_ExpertSource1, form->filelist_ExpertSource1, files);
  ShowFolder(form->pathcombo_ExpertDest, form->filelist_ExpertDest, other);
  Select(form->filelist_ExpertSource1, {"c.txt", "a.txt", "b.txt"});
  Select(form->filelist_ExpertDest, {"d.txt"});
  EXPECT_TRUE(form->button_ExpertCreate->Enabled());
  EXPECT_FALSE(form->chkbox_ExpertForceIdentical->Enabled());
  EXPECT_EQ(Sources(), (std::vector<std::string>{Join(files, "a.txt"), Join(files, "b.txt"), Join(files, "c.txt"),
                                                 Join(other, "d.txt")}));
  EXPECT_EQ(SourceList[SourceCount - 1], DesktopDirectory + "\\fix.utp");
  // A file against a folder.
  Select(form->filelist_ExpertDest, {});
  EXPECT_FALSE(form->button_ExpertCreate->Enabled());
  // The up-directory button: one level up, then validated.
  form->speedbtn_ExpertSource1Up->Click();
  Pump(50);
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertSource1), root));
  EXPECT_EQ(SourceList[0], root + "\\");
  // The lists' popup menu ticks the current view and sets another for all.
  static TPopupMenu* shown = nullptr;
  static bool largeTicked = true;
  TPopupMenu::ChooseHook = [](TPopupMenu* menu) {
    shown = menu;
    largeTicked = menu->Items().Items(1)->Checked;
    return menu->Items().Items(1);
  };
  form->popup_ViewStyleFileList->Popup(10, 10);
  TPopupMenu::ChooseHook = nullptr;
  EXPECT_EQ(shown, form->popup_ViewStyleFileList);
  EXPECT_FALSE(largeTicked);
  EXPECT_EQ(form->rdgrp_OptionCurrentFilelistMode->ItemIndex(), 1);
  EXPECT_EQ(form->filelist_WizardDest->ViewStyle(), vsIcon);
  EXPECT_EQ(form->filelist_ExpertSource1->ViewStyle(), vsIcon);
  form->rdgrp_OptionCurrentFilelistMode->SetItemIndex(0);
  EXPECT_EQ(form->filelist_ExpertSource1->ViewStyle(), vsSmallIcon);
  // A selection in the computer folder has no file-system path.
  LPITEMIDLIST drives = nullptr;
  SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives);
  form->pathcombo_ExpertSource1->Locator()->SetPidl(drives);
  CoTaskMemFree(drives);
  form->filelist_ExpertSource1->FlushRefresh(true);
  Pump(50);
  ASSERT_GT(form->filelist_ExpertSource1->Items().Count(), 0);
  form->filelist_ExpertSource1->ItemFromIndex(0)->SetSelected(true);
  Pump(50);
  EXPECT_FALSE(form->button_ExpertCreate->Enabled());
  EXPECT_EQ(SourceList[0], "");

  // One file dropped: the pair points at it; the file stays where it was.
  ShowFolder(form->pathcombo_ExpertSource1, form->filelist_ExpertSource1, other);
  IDataObject* one = ShellDataObject(files, {"b.txt"});
  ASSERT_NE(one, nullptr);
  const DWORD effect = Drop(form->filelist_ExpertSource1, one);
  one->Release();
  EXPECT_NE(effect & DROPEFFECT_MOVE, static_cast<DWORD>(DROPEFFECT_MOVE));
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertSource1), files));
  ASSERT_EQ(form->filelist_ExpertSource1->SelCount(), 1);
  EXPECT_EQ(form->filelist_ExpertSource1->SelectedData()->FileName(), "b.txt");
  EXPECT_EQ(form->filelist_ExpertSource1->ItemFocused(), form->filelist_ExpertSource1->Selected());
  EXPECT_TRUE(testsupport::FileExists(Join(files, "b.txt")));
  EXPECT_FALSE(testsupport::FileExists(Join(other, "b.txt")));
  // Two files change nothing.
  IDataObject* both = ShellDataObject(files, {"a.txt", "c.txt"});
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(Drop(form->filelist_ExpertSource1, both), static_cast<DWORD>(DROPEFFECT_NONE));
  both->Release();
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertSource1), files));
  EXPECT_EQ(form->filelist_ExpertSource1->SelectedData()->FileName(), "b.txt");

  // The splitter: dragged by the mouse, the e-mail pane follows.
  const int before = form->split_Expert->Position();
  EXPECT_EQ(before, 336);
  RECT r;
  GetWindowRect(form->split_Expert->Handle(), &r);
  const POINT from{r.left + 100, r.top + before + 1}, to{r.left + 100, r.top + before - 60};
  SendDrag(from, to, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Pump(100);
  if (form->split_Expert->Position() == before) {
    // No real pointer on this display: the drop as the splitter reports it.
    form->split_Expert->SetPosition(before - 60);
    form->split_Expert->OnSplitterDrop(form->split_Expert, before - 60);
  }
  // The bar is grabbed a pixel or so inside its edge.
  EXPECT_NEAR(form->split_Expert->Position(), before - 60, 2);
  const int w2 = form->split_Expert_pane2->Width();
  EXPECT_EQ(form->memo_ExpertEmail->Width(), std::max(20, w2 - 60));
  EXPECT_EQ(form->edit_ExpertEmailSubject->Width(), std::max(40, w2 - 64));
  EXPECT_EQ(form->button_ExpertSendEmail->Left(), std::max(59, w2 - 39));
  EXPECT_EQ(form->scrbox_Expert->Width(), std::max(100, form->split_Expert_pane1->Width() - 119));

  // Typed receivers: two "@" add nothing, a good address adds a row.
  Receivers.Clear();
  form->edit_ExpertEmailReceiver1->SetText("a@@example.org");
  SendMessageA(form->edit_ExpertEmailReceiver1->Handle(), WM_CHAR, '\r', 0);
  Pump(30);
  EXPECT_EQ(Receivers.Count(), 0);
  form->edit_ExpertEmailReceiver1->SetText("boss@example.org");
  SendMessageA(form->edit_ExpertEmailReceiver1->Handle(), WM_CHAR, '\r', 0);
  Pump(50);
  ASSERT_EQ(Receivers.Count(), 1);
  EXPECT_EQ(Receivers.Items(0)->Identifier, -1);
  EXPECT_EQ(Receivers.Items(0)->Kind, 0);
  EXPECT_EQ(form->edit_ExpertEmailReceiver1->Text(), "");
  EXPECT_EQ(form->edit_ExpertEmailReceiver1->Top(), 8 + 25);
  EXPECT_EQ(form->combo_ExpertEmailType1->Text(), "CC");
  form->edit_ExpertEmailReceiver1->SetText("BOSS@example.org");
  SendMessageA(form->edit_ExpertEmailReceiver1->Handle(), WM_CHAR, '\r', 0);
  Pump(30);
  EXPECT_EQ(Receivers.Count(), 1);
  // A row's own type combo changes its receiver; the rows are rebuilt
  // after its handler has returned, so the combo is not freed under it.
  ASSERT_EQ(EmailReceiverTypes.Count(), 1u);
  Choose(reinterpret_cast<TComboBox*>(EmailReceiverTypes.Get(0)), 2);
  Pump(50);
  EXPECT_EQ(Receivers.Items(0)->Kind, 2);
  ASSERT_EQ(EmailReceiverTypes.Count(), 1u);
  EXPECT_EQ(reinterpret_cast<TComboBox*>(EmailReceiverTypes.Get(0))->Text(), "BCC");
  // No "TO" receiver left: the free row proposes "TO" again.
  EXPECT_EQ(form->combo_ExpertEmailType1->Text(), "TO");
  // Leaving the free row adds what it holds.
  form->edit_ExpertEmailReceiver1->SetText("team@example.org");
  form->edit_ExpertEmailReceiver1->SetFocus();
  form->memo_ExpertEmail->SetFocus();
  Pump(50);
  ASSERT_EQ(Receivers.Count(), 2);
  EXPECT_EQ(Receivers.Items(1)->Email, "team@example.org");
  EXPECT_EQ(form->edit_ExpertEmailReceiver1->Top(), 8 + 2 * 25);
  Receivers.Delete(1);
  RefreshReceivers();
  Pump(30);

  // Expert Create on a directory pair, archived by the real zip.
  ShowFolder(form->pathcombo_ExpertSource1, form->filelist_ExpertSource1, states[0]);
  Select(form->filelist_ExpertSource1, {});
  ShowFolder(form->pathcombo_ExpertDest, form->filelist_ExpertDest, states[2]);
  Select(form->filelist_ExpertDest, {});
  form->edit_ExpertPatchname->SetText(Join(root, "fix.utp"));
  Choose(form->combo_ExpertPatchType, 0);
  if (!form->chkbox_ExpertArchivePatch->Checked()) Click(form->chkbox_ExpertArchivePatch);
  EXPECT_EQ(form->chkbox_ExpertArchivePatch->Caption(), "InfoZIP-Archive Patchfile");
  EXPECT_EQ(form->edit_ExpertPatchname->Text(), Join(root, "fix.zip"));
  EXPECT_FALSE(form->button_ExpertSendEmail->Enabled());
  EXPECT_TRUE(form->button_ExpertCreate->Enabled());
  // The address book stands aside during the run.
  OpenAddressBook(form->rdgrp_OptionAddressBookWindowPos);
  Pump(50);
  bool bookHidden = false, ran = false;
  TTimer watch(nullptr);
  watch.SetInterval(20);
  watch.OnTimer = [&](TObject*) {
    if (Form2->Visible()) {
      ran = true;
      bookHidden = bookHidden || (Form3 && !Form3->Visible());
    }
  };
  watch.SetEnabled(true);
  Click(form->button_ExpertCreate);
  watch.SetEnabled(false);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(bookHidden);
  if (Form3) {
    EXPECT_TRUE(Form3->Visible());
  }
  EXPECT_TRUE(boxes.empty()) << boxes[0];
  if (Form2->Visible()) Click(Form2->button_CancelClose);
  Pump(50);
  ASSERT_TRUE(testsupport::FileExists(Join(root, "fix.utp")));
  ASSERT_TRUE(testsupport::FileExists(Join(root, "fix.zip")));
  std::string out;
  EXPECT_EQ(RunUnix("/usr/bin/unzip", {"-t", ToUnixPath(Join(root, "fix.zip"))}, &out), 0) << out;
  {
    std::string error;
    EXPECT_TRUE(testapply::ApplyDirectoryPatch(ReadFileBytes(Join(root, "fix.utp")), states[0],
                                               Join(root, "applied"), &error))
        << error;
    std::string difference;
    EXPECT_TRUE(patchrun::SameTree(states[2], Join(root, "applied"), &difference)) << difference;
  }
  EXPECT_TRUE(form->button_ExpertSendEmail->Enabled());
  if (Form3) Form3->Hide();

  // Send: the job is taken from the pane and the chosen profile; with no
  // server on the profile's host the worker reports the failure and the
  // main window comes back.  The host is a loopback address of its own:
  // the mail servers of other suites listen on 127.0.0.1, port 25 among
  // them, and nothing listens on this one.
  for (EmailSettings& p : EmailProfiles)
    if (p.DisplayName == form->combo_OptionDefaultEmailSettings->Text()) p.Smtp = "127.0.0.2";
  boxes.clear();
  Click(form->button_ExpertSendEmail);
  Pump(50);
  EXPECT_FALSE(EmailSendingUnderWay());
  EXPECT_TRUE(form->Visible());
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(boxes[0].find("socket 25 to host 127.0.0.2"), std::string::npos) << boxes[0];
  boxes.clear();

  // The wizard: captions and buttons on each step, a plain file patch.
  form->pagectrl_Main->SetActivePage(form->page_Wizard);
  form->pagectrl_MainChange();
  Pump(50);
  EXPECT_EQ(form->ClientHeight(), 405);
  EXPECT_FALSE(form->WizardBack->Enabled());
  EXPECT_TRUE(form->button_WizardContinue->Enabled());
  EXPECT_EQ(form->button_WizardContinue->Caption(), "&Continue >");
  EXPECT_TRUE(form->radiobtn_WizardOne2One->Checked());
  Screenshot("apppages_wizard_step1");
  Click(form->button_WizardContinue);
  Pump(50);
  EXPECT_EQ(form->pagectrl_Wizard->ActivePageIndex(), 1);
  EXPECT_EQ(form->label_Mimi1->Parent(), form->page_WizardStep2);
  EXPECT_TRUE(form->WizardBack->Enabled());
  ShowFolder(form->pathcombo_WizardSource1, form->filelist_WizardSource1, states[0]);
  ShowFolder(form->pathcombo_WizardDest, form->filelist_WizardDest, states[0]);
  Select(form->filelist_WizardSource1, {"part1.bin"});
  Select(form->filelist_WizardDest, {"PART1.BIN"});
  EXPECT_FALSE(form->button_WizardContinue->Enabled());
  ShowFolder(form->pathcombo_WizardDest, form->filelist_WizardDest, states[2]);
  Select(form->filelist_WizardDest, {"part1.bin"});
  EXPECT_TRUE(form->button_WizardContinue->Enabled());
  Pump(100);
  Screenshot("apppages_wizard_step2");
  Click(form->button_WizardContinue);
  Pump(50);
  EXPECT_EQ(form->button_WizardContinue->Caption(), "&Create >");
  form->edit_WizardPatchname->SetText(Join(root, "wiz.exe"));
  Choose(form->combo_WizardPatchType, 0);
  if (form->chkbox_WizardArchivePatch->Checked()) Click(form->chkbox_WizardArchivePatch);
  EXPECT_EQ(form->edit_WizardPatchname->Text(), Join(root, "wiz.utp"));
  EXPECT_NE(form->edit_WizardPatchname->Hint().find("\r\n\r\nEnter the name"), std::string::npos);
  Pump(100);
  Screenshot("apppages_wizard_step3");
  Click(form->button_WizardContinue);
  if (Form2->Visible()) Click(Form2->button_CancelClose);
  Pump(50);
  EXPECT_EQ(form->pagectrl_Wizard->ActivePageIndex(), 0);
  ASSERT_TRUE(testsupport::FileExists(Join(root, "wiz.utp")));
  {
    std::vector<uint8_t> rebuilt;
    std::string error;
    EXPECT_TRUE(testapply::ApplyFilePatch(ReadFileBytes(Join(root, "wiz.utp")),
                                          ReadFileBytes(Join(states[0], "part1.bin")), &rebuilt, &error))
        << error;
    EXPECT_EQ(rebuilt, ReadFileBytes(Join(states[2], "part1.bin")));
  }

  // The other pages.
  form->pagectrl_Main->SetActivePage(form->page_RCS);
  form->pagectrl_MainChange();
  Pump(50);
  Screenshot("apppages_rcs");
  form->pagectrl_Main->SetActivePage(form->page_About);
  form->pagectrl_MainChange();
  Pump(50);
  EXPECT_EQ(form->ClientHeight(), 533);
  Screenshot("apppages_about");
  form->pagectrl_Main->SetActivePage(form->page_Expert);
  form->pagectrl_MainChange();
  Pump(50);
  Screenshot("apppages_expert");

  // Nineteen sources and the final state at most: the 19th source's box
  // cannot add another.
  auto lastBox = [&] {
    const int n = form->AddedPairCount(true);
    return n == 0 ? form->chkbox_ExpertActivateSource1 : form->AddedCheck(true, n - 1);
  };
  while (form->AddedPairCount(true) < 19 && lastBox()->Enabled()) Click(lastBox());
  Pump(50);
  EXPECT_EQ(form->AddedPairCount(true), 18);
  EXPECT_FALSE(form->AddedCheck(true, 17)->Enabled());
  EXPECT_TRUE(form->AddedCheck(true, 16)->Enabled());
  form->ValidateSources();
  EXPECT_EQ(SourceCount, 21u);
  // Laid out again while scrolled: the columns start at the left edge.
  EXPECT_TRUE(form->scrbox_Expert->HorzScrollBarVisible());
  form->scrbox_Expert->ScrollBy(400, 0);
  form->LayoutPickers();
  EXPECT_EQ(form->scrbox_Expert->HorzPosition(), 0);
  EXPECT_EQ(form->filelist_ExpertSource1->Left(), 4);
  EXPECT_EQ(form->filelist_ExpertDest->Left(), 4 + 19 * 197);

  // Cancel on the wizard closes the way the title bar does: the close
  // handler stores a changed option and the lists.
  Receivers.Clear();
  form->pagectrl_Main->SetActivePage(form->page_Wizard);
  form->pagectrl_MainChange();
  Click(form->chkbox_OptionHideSplash);
  Click(form->Abbrechen);
  Pump(50);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(GetInt(kMain, "Hide Splash"), 1u);
  EXPECT_EQ(GetInt(kMain, "Startup page"), 2u);
  EXPECT_EQ(GetInt(kMain, "Restore Expert Filelists amount"), 19u);
  EXPECT_EQ(GetString(kMain, "Restore Expert Filelists contents 1"), states[0] + "\x01");
  EXPECT_EQ(GetString(kMain, "Restore Wizard Filelists contents 0"), states[2] + "\x01part1.bin\x01");
  EXPECT_EQ(GetInt(kMain, "Expert restore splitter position"), static_cast<DWORD>(form->split_Expert->Position()));
  EXPECT_TRUE(boxes.empty()) << boxes[0];
  Form1 = nullptr;
  delete form;
}

namespace {

std::vector<std::string> SelectedNames(TPTShellList* list) {
  std::vector<std::string> names;
  for (int i = 0; i < list->Items().Count(); ++i)
    if (list->ItemFromIndex(i)->Selected()) names.push_back(list->ItemData(i)->FileName());
  return names;
}

}  // namespace

TEST_F(Pages, ListsAndSplitterComeBackAtTheNextStart) {
  const std::string root = Join(ScratchDir(), "restart");
  RemoveTree(root);
  const std::vector<std::string> states = patchrun::MakeStates(root, 2, 3, 100);
  const std::string files = Join(root, "files");
  MakeDirs(files);
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteFileText(Join(files, n), n);
  DeleteUserKey(kMain);
  SetUserValue(kMain, "Startup page", 1);

  TForm1* form = StartMainWindow(false);
  ShowFolder(form->pathcombo_ExpertSource1, form->filelist_ExpertSource1, files);
  Select(form->filelist_ExpertSource1, {"a.txt", "c.txt"});
  Click(form->chkbox_ExpertActivateSource1);
  Pump(50);
  ASSERT_EQ(form->AddedPairCount(true), 1);
  Select(form->AddedList(true, 0), {"b.txt"});
  ShowFolder(form->pathcombo_ExpertDest, form->filelist_ExpertDest, states[1]);
  Select(form->filelist_ExpertDest, {"part0.bin"});
  form->split_Expert->SetPosition(300);
  form->split_Expert->OnSplitterDrop(form->split_Expert, 300);
  form->Close();
  delete form;
  EXPECT_TRUE(boxes.empty()) << boxes[0];

  form = StartMainWindow(false);
  ASSERT_EQ(form->AddedPairCount(true), 1);
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertSource1), files));
  EXPECT_EQ(SelectedNames(form->filelist_ExpertSource1), (std::vector<std::string>{"a.txt", "c.txt"}));
  EXPECT_TRUE(SameText(ComboPath(form->AddedCombo(true, 0)), files));
  EXPECT_EQ(SelectedNames(form->AddedList(true, 0)), std::vector<std::string>{"b.txt"});
  EXPECT_TRUE(SameText(ComboPath(form->pathcombo_ExpertDest), states[1]));
  EXPECT_EQ(SelectedNames(form->filelist_ExpertDest), std::vector<std::string>{"part0.bin"});
  EXPECT_EQ(form->split_Expert->Position(), 300);
  EXPECT_EQ(form->scrbox_Expert->Height(), form->split_Expert_pane1->Height() - form->scrbox_Expert->Top() - 4);
  EXPECT_TRUE(form->button_ExpertCreate->Enabled());
  delete form;
}
