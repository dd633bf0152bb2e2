// Morvane32's forms as a user meets them, keys and mouse included: the
// patch-name save dialog with names it must refuse and a corner dragged
// too far in, a patch run aimed at a device, Alt+letter and plain letters
// on the wizard and in the dialog, the balloon hint as the mouse moves
// away, and the time a folder of 20,000 files costs the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "remote_ui.h"
#include "test_support.h"
#include "user_registry.h"

using namespace testsupport;
using remoteui::Mouse;
using remoteui::WaitUntil;

namespace {

const std::string kSettings = "Software\\Dorn Aldwick Software\\Morvane\\1.9";
const char kDialogCaption[] = "Save the Patchfile after creation as ...";

// The pointer goes from a to b in steps, as a hand moves it.
void MoveMouse(POINT a, POINT b, int steps = 10, int pause = 30) {
  for (int i = 1; i <= steps; ++i) {
    Mouse(POINT{a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps});
    Sleep(pause);
  }
}

POINT Center(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

RECT WindowRect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Join(ScratchDir(), "e2e_forms");
    programDir = Join(root, "program");
    oldDir = Join(root, "v1");
    newDir = Join(root, "v2");
    out = Join(root, "out");
    dlgDir = Join(root, "dlg");
    for (const std::string& d : {programDir, oldDir, newDir, out, dlgDir}) MakeDirs(d);
    ASSERT_EQ(RunUnix("/bin/cp", {ToUnixPath(Join(Join(BuildDir(), "app"), "Morvane32.exe")), ToUnixPath(programDir)}),
              0);
    remoteui::WriteReadmePair(oldDir, newDir, 400);
    DeleteUserKey(kSettings);
    Sources(oldDir, newDir);
  }
  void TearDown() override {
    if (main) p.Post(main, WM_CLOSE);
    p.WaitExit(20000);
    DeleteUserKey(kSettings);
  }

  // The expert pair's folders as the program stores them, and the page the
  // program opens on.
  void Sources(const std::string& first, const std::string& final, int page = 1) {
    remoteui::SetExpertSources(kSettings, first, final, page);
    // A plain patch: what the engine writes is the output itself.
    SetUserValue(kSettings, "Expert default archive checked", 0);
  }

  void Start() {
    ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
    main = p.Form("Form1", 30000);
    ASSERT_NE(main, nullptr) << p.DescribeWindows();
    Sleep(500);
  }

  HWND Need(HWND top, const std::string& name) {
    HWND w = p.Control(top, name);
    EXPECT_NE(w, nullptr) << "no control named " << name;
    return w;
  }

  // The window that has the keyboard focus in the program.
  HWND Focus() {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &gti);
    return gti.hwndFocus;
  }
  // Where a key goes: the focus, or the active window when nothing has it.
  HWND KeyTarget() {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &gti);
    return gti.hwndFocus ? gti.hwndFocus : gti.hwndActive;
  }

  // A key as the keyboard sends it to the focused window, with Alt held
  // (the program's message loop makes the character of it).
  void AltKey(WORD vk) {
    HWND to = KeyTarget();
    ASSERT_NE(to, nullptr) << "no window of the program takes keys";
    const UINT scan = MapVirtualKeyA(vk, 0);
    const LPARAM alt = 1 << 29;
    p.Post(to, WM_SYSKEYDOWN, vk, 1 | (scan << 16) | alt);
    p.Post(to, WM_SYSKEYUP, vk, 1 | (scan << 16) | alt | 0xC0000000u);
    p.Send(main, WM_NULL);
  }
  void PlainKey(WORD vk) {
    HWND to = KeyTarget();
    ASSERT_NE(to, nullptr) << "no window of the program takes keys";
    p.Key(to, vk);
    p.Send(main, WM_NULL);
  }

  // A message box the program shows with this caption: its text, after
  // pressing its OK; "" when none came.
  std::string AnswerBox(const std::string& caption, int ms = 5000) {
    HWND box = p.TopWindow("#32770", caption, ms);
    if (!box) return std::string();
    std::string text;
    HWND ok = p.ControlByText(box, "Button", "OK", 2000);
    EXPECT_NE(ok, nullptr);
    HWND label = nullptr;
    // The box's own text is the second static (the first is its icon).
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      char cls[32] = "";
      GetClassNameA(c, cls, sizeof cls);
      if (std::string(cls) == "Static" && !p.Text(c).empty()) label = c;
    }
    if (label) text = p.Text(label);
    p.PostClick(ok);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000));
    return text;
  }

  HWND OpenSaveDialog() {
    p.SetText(Need(main, "edit_ExpertPatchname"), Join(dlgDir, "start.utp"));
    p.PostClick(Need(main, "button_ExpertBrowse"));
    HWND dlg = p.Form("PTFrmOpenDlg", 15000);
    EXPECT_NE(dlg, nullptr) << "the save dialog did not open";
    return dlg;
  }

  // Types text as the file name and presses the dialog's Save button.
  void Save(HWND dlg, const std::string& text) {
    HWND edit = Need(dlg, "FileNameEdt");
    p.SetText(edit, text);
    p.PostClick(Need(dlg, "OpenBtn"));
  }

  remoteui::Program p;
  HWND main = nullptr;
  std::string root, programDir, oldDir, newDir, out, dlgDir;
};

}  // namespace

TEST_F(Forms, SaveDialogRefusesWhatIsNoFileAndKeepsAUsableSize) {
  Start();
  HWND name = Need(main, "edit_ExpertPatchname");
  HWND dlg = OpenSaveDialog();
  ASSERT_NE(dlg, nullptr);
  HWND edit = Need(dlg, "FileNameEdt");

  // A mask in quotes is still a mask: the list filters, the dialog stays.
  for (const std::string& mask : {std::string("\"*.utp\""), std::string("\"q?.utp\"")}) {
    Save(dlg, mask);
    p.Send(dlg, WM_NULL);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(dlg)) << mask << " closed the dialog; the patch name became " << p.Text(name);
    if (!IsWindowVisible(dlg)) dlg = OpenSaveDialog();
    EXPECT_EQ(p.Text(Need(dlg, "FileNameEdt")), mask.substr(1, mask.size() - 2));
  }
  edit = Need(dlg, "FileNameEdt");

  // Device names, bare or with an extension, are refused with a message.
  for (const std::string& device : {"nul", "con.utp", "LPT1.txt"}) {
    Save(dlg, device);
    const std::string said = AnswerBox(kDialogCaption);
    EXPECT_NE(said.find(device), std::string::npos) << device << ": the dialog said \"" << said << "\"";
    EXPECT_TRUE(IsWindowVisible(dlg)) << device << " closed the dialog; the patch name became " << p.Text(name);
    if (!IsWindowVisible(dlg)) dlg = OpenSaveDialog();
  }

  // Outside the file system a name has no folder: refused, not returned
  // relative to whatever folder is current.
  Save(dlg, "C:\\");
  HWND list = Need(dlg, "PTShellList1");
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const std::string& s : p.ListItems(list))
          if (s == "windows") return true;
        return false;
      },
      10000))
      << "typing C:\\ did not open the drive";
  p.Key(list, VK_BACK);
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const std::string& s : p.ListItems(list))
          if (s.find("C:") != std::string::npos) return true;
        return false;
      },
      10000))
      << "Backspace did not go up to the computer's drives";
  Save(dlg, "rel2.utp");
  const std::string said = AnswerBox(kDialogCaption);
  EXPECT_NE(said.find("rel2.utp"), std::string::npos) << "the dialog said \"" << said << "\"";
  EXPECT_TRUE(IsWindowVisible(dlg)) << "the patch name became " << p.Text(name);
  if (!IsWindowVisible(dlg)) dlg = OpenSaveDialog();
  edit = Need(dlg, "FileNameEdt");
  p.SetText(edit, "");

  // Dragged from its corner far up and left, the dialog stops where every
  // control is still whole.
  SetForegroundWindow(dlg);
  const RECT before = WindowRect(dlg);
  const POINT corner{before.right - 3, before.bottom - 3};
  Mouse(corner);
  Sleep(300);
  Mouse(corner, MOUSEEVENTF_LEFTDOWN);
  Sleep(200);
  MoveMouse(corner, POINT{before.left + 40, before.top + 20}, 12, 60);
  Sleep(300);
  Mouse(POINT{before.left + 40, before.top + 20}, MOUSEEVENTF_LEFTUP);
  p.Send(dlg, WM_NULL);
  Sleep(500);
  Screenshot("appe2e_forms_dialog_smallest");
  const RECT after = WindowRect(dlg);
  EXPECT_LT(after.bottom - after.top, before.bottom - before.top) << "the drag did not size the dialog";
  RECT client;
  GetClientRect(dlg, &client);
  MapWindowPoints(dlg, nullptr, reinterpret_cast<POINT*>(&client), 2);
  for (const char* c : {"FileNameEdt", "FileTypesCbx", "OpenBtn", "CancelBtn", "PTShellCombo1", "PTShellList1"}) {
    const RECT r = WindowRect(Need(dlg, c));
    EXPECT_GE(r.right - r.left, c[0] == 'F' ? 100 : 40) << c << " is too narrow";
    EXPECT_GE(r.top, client.top) << c << " lies above the dialog";
    EXPECT_LE(r.right, client.right) << c << " is cut at the right";
    EXPECT_LE(r.bottom, client.bottom) << c << " is cut at the bottom";
  }
  EXPECT_GE(WindowRect(Need(dlg, "PTShellList1")).bottom - WindowRect(Need(dlg, "PTShellList1")).top, 40);
  p.PostClick(Need(dlg, "CancelBtn"));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000));

  // A run aimed at a device says so and writes nothing, instead of ending
  // as if the patch had been written.
  HWND create = Need(main, "button_ExpertCreate");
  for (const std::string& device : {Join(out, "nul.utp"), Join(out, "aux")}) {
    p.SetText(name, device);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(create) != 0; }, 10000)) << "Create stayed disabled";
    p.PostClick(create);
    const std::string error = AnswerBox("Error", 20000);
    EXPECT_NE(error.find("cannot be written"), std::string::npos)
        << device << ": no refusal; the program said \"" << error << "\"";
    if (HWND progress = p.Form("Form2", 1000)) {
      ADD_FAILURE() << device << ": the run went on";
      if (HWND close = p.ControlByText(progress, "Button", "&Close", 60000)) p.PostClick(close);
    }
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != 0; }, 20000));
  }
  EXPECT_TRUE(remoteui::FolderEntries(out).empty());
}

TEST_F(Forms, AltLettersAndPlainLettersPressWhatTheyMark) {
  Sources(oldDir, newDir, 2);
  Start();
  HWND wizard = Need(main, "pagectrl_Wizard");
  HWND email = Need(main, "radiobtn_WizardOne2Several");
  ASSERT_TRUE(WaitUntil([&] { return Focus() != nullptr; }, 5000));
  ASSERT_EQ(p.Send(wizard, TCM_GETCURSEL), 0);

  // Alt+E chooses "send via &email" (and the radio button takes the
  // focus, as under the mouse).
  AltKey('E');
  EXPECT_TRUE(WaitUntil([&] { return p.Checked(email); }, 2000)) << "Alt+E did not choose the e-mail way";
  EXPECT_EQ(Focus(), email);
  // A radio button takes no characters: C alone presses "&Continue >".
  PlainKey('C');
  EXPECT_TRUE(WaitUntil([&] { return p.Send(wizard, TCM_GETCURSEL) == 1; }, 3000)) << "C did not continue";
  // Alt+B goes back from wherever the focus is, Alt+C on again.
  AltKey('B');
  EXPECT_TRUE(WaitUntil([&] { return p.Send(wizard, TCM_GETCURSEL) == 0; }, 3000)) << "Alt+B did not go back";
  AltKey('C');
  EXPECT_TRUE(WaitUntil([&] { return p.Send(wizard, TCM_GETCURSEL) == 1; }, 3000)) << "Alt+C did not continue";

  // In the save dialog a label's letter moves the focus to its field.
  p.SelectTab(Need(main, "pagectrl_Main"), 1);
  HWND dlg = OpenSaveDialog();
  ASSERT_NE(dlg, nullptr);
  HWND edit = Need(dlg, "FileNameEdt"), types = Need(dlg, "FileTypesCbx");
  ASSERT_TRUE(WaitUntil([&] { return Focus() == edit; }, 3000));
  AltKey('T');
  EXPECT_TRUE(WaitUntil([&] { return Focus() == types; }, 2000)) << "Alt+T did not reach the type list";
  AltKey('N');
  EXPECT_TRUE(WaitUntil([&] { return Focus() == edit; }, 2000)) << "Alt+N did not reach the name";
  // A letter typed into the name is a letter of the name.
  p.SetText(edit, "");
  PlainKey('S');
  Sleep(300);
  EXPECT_TRUE(IsWindowVisible(dlg)) << "typing S into the name pressed Save";
  EXPECT_EQ(p.Text(edit), "s");
  p.PostClick(Need(dlg, "CancelBtn"));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000));
}

TEST_F(Forms, BalloonHintGoesWhenTheMouseLeavesItsControl) {
  Start();
  HWND box = Need(main, "chkbox_ExpertActivateSource1"), list = Need(main, "filelist_ExpertSource1");
  SetForegroundWindow(main);
  auto balloon = [&]() -> HWND { return p.TopWindow("TMorvaneHintWindow", "", 100); };
  auto hover = [&](const char* what) {
    const POINT at = Center(box);
    MoveMouse(POINT{at.x - 30, at.y}, at, 6, 40);
    const bool shown = WaitUntil(
        [&] {
          Mouse(at);
          return balloon() != nullptr;
        },
        6000);
    EXPECT_TRUE(shown) << "no balloon over the check box " << what;
    return shown;
  };

  if (hover("the first time")) {
    Screenshot("appe2e_forms_balloon_shown");
    // The pointer jumps, as a quick hand (or a pointer driven by a tool)
    // makes it.
    Mouse(Center(list));
    EXPECT_TRUE(WaitUntil([&] { return balloon() == nullptr; }, 1000)) << "the balloon stayed over the list";
    Screenshot("appe2e_forms_balloon_in_list");
  }
  if (hover("the second time")) {
    RECT r = WindowRect(main);
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    POINT outside{r.right + 20 < w ? r.right + 20 : 2, r.bottom + 20 < h ? r.bottom + 20 : 2};
    if (outside.x == 2 && r.left <= 2) outside = POINT{r.left + 10, r.top > 10 ? 2 : h - 2};
    Mouse(outside);
    EXPECT_TRUE(WaitUntil([&] { return balloon() == nullptr; }, 1000)) << "the balloon stayed after the mouse left";
  }
}

TEST_F(Forms, TwentyThousandFilesInAPickerFigures) {
  // Figures for the record (the time until the program shows and then
  // judges the files, the longest wait for an answer); the list must show
  // every file.
  const std::string many = Join(root, "many");
  MakeDirs(many);
  ASSERT_EQ(RunUnix("/bin/sh", {"-c", "cd '" + ToUnixPath(many) + "' && seq -f 'file%05g.dat' 0 19999 | xargs touch"}),
            0);
  Sources(many, newDir);
  const DWORD started = GetTickCount();
  ASSERT_TRUE(p.Start(Join(programDir, "Morvane32.exe"), programDir));
  std::atomic<bool> done{false};
  std::atomic<DWORD> longest{0};
  std::thread asker([&] {
    HWND m = nullptr;
    while (!done) {
      if (!m) {
        m = p.Form("Form1", 100);
        continue;
      }
      const DWORD t = GetTickCount();
      DWORD_PTR r = 0;
      SendMessageTimeoutA(m, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &r);
      const DWORD waited = GetTickCount() - t;
      if (waited > longest) longest = waited;
      Sleep(20);
    }
  });
  main = p.Form("Form1", 60000);
  HWND list = main ? p.Control(main, "filelist_ExpertSource1") : nullptr;
  const bool all = list && WaitUntil([&] { return p.Send(list, LVM_GETITEMCOUNT) == 20000; }, 120000);
  const DWORD filled = GetTickCount() - started;
  const DWORD fillWait = longest;
  // Every file chosen at once, as with Ctrl+A: the program judges the
  // selection again.
  const DWORD choosing = GetTickCount();
  if (all) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    HANDLE proc = p.Process();
    void* at = VirtualAllocEx(proc, nullptr, sizeof item, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(proc, at, &item, sizeof item, nullptr);
    p.Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(at));
    VirtualFreeEx(proc, at, 0, MEM_RELEASE);
    Sleep(500);
    DWORD_PTR r = 0;
    SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &r);
  }
  const DWORD chosen = GetTickCount() - choosing;
  done = true;
  asker.join();
  ASSERT_TRUE(all) << "the list did not show the 20,000 files";
  std::printf("Morvane32 with 20,000 files in a picker: %lu ms from the start until all are shown (longest wait "
              "for an answer %lu ms); choosing them all answered after %lu ms (longest wait %lu ms)\n",
              static_cast<unsigned long>(filled), static_cast<unsigned long>(fillWait),
              static_cast<unsigned long>(chosen), static_cast<unsigned long>(longest.load()));
}

