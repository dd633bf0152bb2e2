// The setup program of the patch creator.  Its form is loaded here to see
// the installation it describes and its version guard at work on the file
// type's keys (read back with reg.exe); then the distribution that
// setup_dist_test built is run as a user runs it, installs into the
// prefix's real Program Files, Start Menu and desktop, and its uninstaller
// takes it all away again.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "../installerwizard/wizard_script.h"
#include "gui_test_support.h"
#include "installfile.h"
#include "installregistry.h"
#include "kitroutines.h"
#include "setup_test_common.h"
#include "setupform.h"
#include "test_support.h"
#include "translator.h"
#include "win/backdrop.h"
#include "win/listview.h"
#include "win/install.h"
#include "win/wizardpages.h"

using namespace testsupport;
using namespace setuptest;

namespace {

const char kProduct[] = "Morvane Tapmend";
const char kUninstallKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane Tapmend";

// reg.exe's view of a key and everything below it: key -> value -> data.
using TRegView = std::map<std::string, std::map<std::string, std::string>>;

TRegView RegQuery(const std::string& key) {
  std::string out;
  TRegView view;
  if (RunWindows("reg query \"" + key + "\" /s", &out) != 0) return view;
  std::string current;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? out.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("HKEY_", 0) == 0) {
      current = UpperCase(line);
      view[current];
    } else if (line.rfind("    ", 0) == 0 && !current.empty()) {
      // "    name    REG_SZ    data"
      size_t type = line.find("    REG_", 4);
      if (type == std::string::npos) continue;
      std::string name = line.substr(4, type - 4);
      size_t data = line.find("    ", type + 4);
      view[current][name] = data == std::string::npos ? "" : line.substr(data + 4);
    }
  }
  return view;
}

std::string RegData(const TRegView& view, const std::string& key, const std::string& name) {
  auto k = view.find(UpperCase(key));
  if (k == view.end()) return "<no key>";
  auto v = k->second.find(name);
  return v == k->second.end() ? "<no value>" : v->second;
}

void RemoveFileType() {
  DeleteRegistryKeyTree(hkClassesRoot, "\\morvane");
  DeleteRegistryKeyTree(hkClassesRoot, "\\.utp");
}

// The setup form in this process, as setup.exe loads it without arguments;
// it does not run the installation by itself.
struct TLoadedSetupForm {
  TLoadedSetupForm() {
    InstallDriverSeams().Arguments = [] { return std::vector<std::string>(); };
    form = new TForm1(nullptr);
    form->Install1->SetRunAutomatic(false);
  }
  ~TLoadedSetupForm() {
    delete form;
    RunKeyPath().clear();
    DeleteRegistryKeyTree(hkLocalMachine, kUninstallKey);
    DeleteRegistryKeyTree(hkLocalMachine, "\\SOFTWARE\\Quenlow");
  }
  template <class T>
  T* Find(const std::string& name) {
    return dynamic_cast<T*>(form->FindComponent(name));
  }
  TForm1* form;
};

std::vector<std::string> ChildNames(TInstallContainer* c) {
  std::vector<std::string> names;
  for (int i = 0; i < c->ChildrenCount(); ++i) names.push_back(c->Children(i)->Name());
  return names;
}

}  // namespace

// The form holds the whole installation, in the order it is installed.
TEST(SetupForm, TheFormDescribesTheWholeInstallation) {
  TLoadedSetupForm s;
  TForm1* f = s.form;
  EXPECT_EQ("Form1", f->Caption());
  EXPECT_EQ(696, f->Width());
  EXPECT_EQ(480, f->Height());
  EXPECT_EQ(alClient, f->Backdrop1->Align());
  EXPECT_EQ(f, f->Backdrop1->Parent());
  TRotate3DLabel* label = f->ProductLabel1;
  EXPECT_EQ(18, label->Left());
  EXPECT_EQ(10, label->Top());
  EXPECT_EQ(kProduct, label->Caption());
  EXPECT_EQ("Arial", label->Font().Name());
  EXPECT_EQ(-24, label->Font().Height());
  EXPECT_EQ(fsBold, label->Font().Style());
  EXPECT_FALSE(label->LabelStyle().AShadeLTSet());

  // Fifteen standard specifiers and a translator with one font for all.
  EXPECT_EQ(15u, StandardPathSpecifierList().size());
  auto* translator = s.Find<TTranslator>("MainTranslator");
  ASSERT_TRUE(translator);
  for (int i = 0; i < QnlwLanguageCount; ++i) {
    TLanguage* l = translator->Language(static_cast<TQnlwLanguage>(i));
    if (!l) continue;
    EXPECT_EQ("MS Sans Serif", l->Font()->Name()) << i;
    EXPECT_EQ(-11, l->Font()->Height()) << i;
    EXPECT_EQ(i == qlChineseSimplified, l->FontOverride()) << i;
  }

  TInstall* d = f->Install1;
  EXPECT_EQ("C:\\Program Files\\Morvane32", d->GetDestDir());
  EXPECT_EQ("Main", d->GroupName());
  EXPECT_EQ("Dorn Aldwick Software", d->Information()->CompanyName);
  EXPECT_EQ(kProduct, d->Information()->ProductName);
  EXPECT_TRUE(d->UseLoadingProgram());
  EXPECT_TRUE(d->RunAutomatic() == false);  // switched off by this test only

  // Files first (groups, then the uninstaller), then the menu folder, the
  // desktop link and the file type's keys in form order.
  std::vector<std::string> order = ChildNames(d);
  auto at = [&](const std::string& name) {
    return std::find(order.begin(), order.end(), name) - order.begin();
  };
  EXPECT_LT(at("FileGroup1"), at("FileGroup2"));
  EXPECT_LT(at("FileGroup2"), at("MainFolder1"));
  EXPECT_LT(at("UninstallEXE1"), at("MainFolder1"));
  EXPECT_LT(at("MainFolder1"), at("DesktopLink1"));
  const char* const keys[] = {"Registry1", "Registry2", "Registry3", "Registry4", "Registry5",
                              "Registry6", "Registry7", "Registry9", "Registry8"};
  for (size_t i = 0; i + 1 < 9; ++i) EXPECT_LT(at(keys[i]), at(keys[i + 1])) << keys[i];
  EXPECT_LT(at("DesktopLink1"), at("Registry1"));
  EXPECT_LT(at("Registry8"), at("DialogManager1")) << "the wizard's objects come last";

  // The help pages in the order the setup lists them.
  auto* help = s.Find<TInstallFileGroup>("FileGroup2");
  ASSERT_TRUE(help);
  std::vector<std::string> helpFiles;
  for (int i = 0; i < help->ChildrenCount(); ++i)
    helpFiles.push_back(static_cast<TInstallFile*>(help->Children(i))->FileName());
  EXPECT_EQ(HelpPages(), helpFiles);

  // The wizard's pages with their managers; the copy and status windows
  // show themselves.
  struct TDialogOf {
    const char* Dialog;
    const char* Manager;
    const char* Container;
  };
  for (TDialogOf w : {TDialogOf{"WelcomeDlg2", "DialogManager1", "Install1"},
                      TDialogOf{"InstallFileGroupsDlg2", "DialogManager1", "Install1"},
                      TDialogOf{"SelectFolderDlg2", "DialogManager1", "MainFolder1"},
                      TDialogOf{"GoodInstallationDlg2", "DialogManager2", "Install1"},
                      TDialogOf{"BadInstallationDlg2", "DialogManager3", "Install1"},
                      TDialogOf{"ChangeDiskDlg2", "DialogManager5", "Install1"},
                      TDialogOf{"RebootDlg2", "DialogManager6", "Install1"},
                      TDialogOf{"CopyFileDlg2", "", "Install1"},
                      TDialogOf{"InstallStatusDlg2", "", "Install1"}}) {
    auto* dialog = s.Find<TCustomBaseInstallDlg>(w.Dialog);
    ASSERT_TRUE(dialog) << w.Dialog;
    EXPECT_EQ(w.Manager, dialog->DialogManager() ? dialog->DialogManager()->Name() : "") << w.Dialog;
    EXPECT_EQ(w.Container, dialog->Container() ? dialog->Container()->Name() : "") << w.Dialog;
  }
  EXPECT_EQ(50, s.Find<TCustomBaseInstallDlg>("InstallFileGroupsDlg2")->Order());
  EXPECT_EQ(60, s.Find<TCustomBaseInstallDlg>("SelectFolderDlg2")->Order());
  EXPECT_EQ(dmDuringCopyFiles, s.Find<TDialogManager>("DialogManager4")->ManagerType());

  // The guard sits on the keys a newer version keeps.
  for (int i = 1; i <= 9; ++i) {
    auto* r = s.Find<TInstallRegistry>("Registry" + std::to_string(i));
    ASSERT_TRUE(r);
    EXPECT_EQ(hkClassesRoot, r->RootKey());
    bool guarded = i == 1 || i == 2 || i == 7 || i == 8 || i == 9;
    EXPECT_EQ(guarded, bool(r->OnBeforeProcess)) << r->Name();
  }

  // What the user sees behind the wizard: the gradient from blue at the
  // top to black at the bottom, and the product's name.
  f->Show();
  Pump(300);
  Screenshot("setup_form");
  COLORREF top = ScreenPixel(f->Backdrop1, 600, 2);
  COLORREF bottom = ScreenPixel(f->Backdrop1, 600, f->Backdrop1->Height() - 2);
  EXPECT_GT(GetBValue(top), 230) << std::hex << top;
  EXPECT_LT(GetBValue(bottom), 30) << std::hex << bottom;
  f->Hide();
}

// The guard keeps a newer version's file type, except its open command.
TEST(SetupForm, VersionGuardKeepsANewerFileTypeButTheOpenCommand) {
  struct TCase {
    const char* Installed;  // "MorvaneVersion" before, nullptr: no key at all
    bool Kept;
  };
  const std::string open = "\"C:\\Program Files\\Morvane32\\wendl32\" \"%1\"";
  for (TCase c : {TCase{"22", true}, TCase{"21", false}, TCase{nullptr, false}, TCase{"abc", false}}) {
    SCOPED_TRACE(c.Installed ? c.Installed : "no key");
    RemoveFileType();
    if (c.Installed) {
      WriteRegistryString(hkClassesRoot, "\\morvane", "", "Older description");
      WriteRegistryString(hkClassesRoot, "\\morvane", "MorvaneVersion", c.Installed);
      WriteRegistryString(hkClassesRoot, "\\morvane\\DefaultIcon", "", "old.ico,0");
      WriteRegistryString(hkClassesRoot, "\\morvane\\shell\\open\\command", "", "old open");
      WriteRegistryString(hkClassesRoot, "\\morvane\\shell\\Test Apply\\command", "", "old test");
      WriteRegistryString(hkClassesRoot, "\\.utp", "", "oldtype");
      WriteRegistryString(hkClassesRoot, "\\.utp\\ShellNew", "NullFile", "old");
    }
    {
      TLoadedSetupForm s;
      for (TCustomInstallRegistry* r : InstallRegistryList()) r->Install();
    }
    TRegView type = RegQuery("HKCR\\morvane");
    TRegView ext = RegQuery("HKCR\\.utp");
    EXPECT_EQ(open, RegData(type, "HKEY_CLASSES_ROOT\\morvane\\shell\\open\\command", "(Default)"));
    if (c.Kept) {
      EXPECT_EQ("Older description", RegData(type, "HKEY_CLASSES_ROOT\\morvane", "(Default)"));
      EXPECT_EQ("22", RegData(type, "HKEY_CLASSES_ROOT\\morvane", "MorvaneVersion"));
      EXPECT_EQ("old.ico,0", RegData(type, "HKEY_CLASSES_ROOT\\morvane\\DefaultIcon", "(Default)"));
      EXPECT_EQ("old test", RegData(type, "HKEY_CLASSES_ROOT\\morvane\\shell\\Test Apply\\command", "(Default)"));
      EXPECT_EQ("oldtype", RegData(ext, "HKEY_CLASSES_ROOT\\.utp", "(Default)"));
      EXPECT_EQ("<no value>", RegData(ext, "HKEY_CLASSES_ROOT\\.utp", "@"));
      EXPECT_EQ("old", RegData(ext, "HKEY_CLASSES_ROOT\\.utp\\ShellNew", "NullFile"));
    } else {
      EXPECT_EQ("Patchfile created using Morvane Technology", RegData(type, "HKEY_CLASSES_ROOT\\morvane", "(Default)"));
      EXPECT_EQ("21", RegData(type, "HKEY_CLASSES_ROOT\\morvane", "MorvaneVersion"));
      EXPECT_EQ("C:\\Program Files\\Morvane32\\Morvane32.exe,1",
                RegData(type, "HKEY_CLASSES_ROOT\\morvane\\DefaultIcon", "(Default)"));
      EXPECT_EQ("\"C:\\Program Files\\Morvane32\\wendl32.exe\" -t \"%1\"",
                RegData(type, "HKEY_CLASSES_ROOT\\morvane\\shell\\Test Apply\\command", "(Default)"));
      EXPECT_EQ("morvane", RegData(ext, "HKEY_CLASSES_ROOT\\.utp", "(Default)"));
      EXPECT_EQ("Morvane", RegData(ext, "HKEY_CLASSES_ROOT\\.utp", "@"));
      EXPECT_EQ("\"\"", RegData(ext, "HKEY_CLASSES_ROOT\\.utp\\ShellNew", "NullFile"));
    }
  }
  RemoveFileType();
}

namespace {

struct TLinkRead {
  std::string Path, WorkingDir;
};

TLinkRead ReadLink(const std::string& file) {
  TLinkRead r;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return r;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    std::wstring wide(file.begin(), file.end());
    if (SUCCEEDED(persist->Load(wide.c_str(), STGM_READ))) {
      char buf[MAX_PATH * 2] = {};
      link->GetPath(buf, sizeof buf, nullptr, SLGP_RAWPATH);
      r.Path = buf;
      buf[0] = 0;
      link->GetWorkingDirectory(buf, sizeof buf);
      r.WorkingDir = buf;
    }
    persist->Release();
  }
  link->Release();
  return r;
}

std::string UrlOf(const std::string& file) {
  char url[512] = {};
  GetPrivateProfileStringA("InternetShortcut", "URL", "", url, sizeof url, file.c_str());
  return url;
}

// Opens a file through the shell with a verb and waits for the program
// the file type starts.
void ShellOpen(const std::string& verb, const std::string& file) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = verb.c_str();
  info.lpFile = file.c_str();
  info.nShow = SW_HIDE;
  ASSERT_TRUE(ShellExecuteExA(&info)) << verb << " " << file << " " << GetLastError();
  if (info.hProcess) {
    WaitForSingleObject(info.hProcess, 20000);
    CloseHandle(info.hProcess);
  }
}

void RemoveInstallation(const std::string& dest) {
  RemoveTree(dest);
  RemoveTree(setuptest::ProgramsFolder() + "\\Morvane");
  DeleteFileA((setuptest::DesktopFolder() + "\\Tapmend.LNK").c_str());
  RemoveFileType();
  DeleteRegistryKeyTree(hkLocalMachine, kUninstallKey);
  DeleteRegistryKeyTree(hkLocalMachine, "\\SOFTWARE\\Quenlow");
}

}  // namespace

// The distribution as a user runs it: the loader starts the setup program
// from its temporary copy, the wizard is answered page by page, and what
// it installed is read back through the shell and reg.exe; then the
// uninstaller registered for it takes everything away again.
TEST(SetupRun, TheDistributionInstallsThePatchCreatorAndItsUninstallerRemovesIt) {
  CoInitialize(nullptr);
  const std::string dest = ProgramFilesFolder() + "\\Morvane32";
  const std::string programs = setuptest::ProgramsFolder() + "\\Morvane";
  const std::string desktopLink = setuptest::DesktopFolder() + "\\Tapmend.LNK";
  RemoveInstallation(dest);
  const std::set<std::string> foldersBefore = LoaderFolders();

  {
    TProcess setup("\"" + Join(DistDir(), "setup.exe") + "\"");
    // The copy window comes and goes with the files, quicker than a look
    // at the screen may catch it: the system tells when a window is shown,
    // hidden or destroyed, in order, so the copy windows on the screen can
    // be counted at every moment.  One window, not one on top of another.
    static std::set<HWND> copyShown;
    static size_t copyWindows = 0;
    copyShown.clear();
    copyWindows = 0;
    HWINEVENTHOOK hook = SetWinEventHook(
        EVENT_OBJECT_DESTROY, EVENT_OBJECT_HIDE, nullptr,
        [](HWINEVENTHOOK, DWORD event, HWND w, LONG object, LONG, DWORD, DWORD) CALLBACK {
          if (object != OBJID_WINDOW || !w) return;
          char caption[128] = {};
          if (event == EVENT_OBJECT_SHOW && GetWindowTextA(w, caption, sizeof caption) &&
              std::string(caption) == "Copying installation files")
            copyShown.insert(w);
          else if (event != EVENT_OBJECT_SHOW)
            copyShown.erase(w);
          copyWindows = std::max(copyWindows, copyShown.size());
        },
        0, 0, WINEVENT_OUTOFCONTEXT);
    bool copySeen = false;
    auto watchCopy = [&] {
      size_t visible = 0;
      EnumWindows(
          [](HWND w, LPARAM p) CALLBACK {
            char caption[128] = {};
            if (IsWindowVisible(w) && GetWindowTextA(w, caption, sizeof caption) &&
                std::string(caption) == "Copying installation files")
              ++*reinterpret_cast<size_t*>(p);
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&visible));
      copyWindows = std::max(copyWindows, visible);
      if (!copySeen && FindTopWindow("Copying installation files")) {
        copySeen = true;
        Screenshot("setup_run_copying");
      }
    };
    // Each page of the wizard in turn, found by its caption; a message box
    // instead says what went wrong.
    auto page = [&](const std::string& caption) -> HWND {
      DWORD end = GetTickCount() + 60000;
      while (static_cast<int>(end - GetTickCount()) > 0) {
        if (HWND w = FindTopWindow(caption)) {
          PumpFor(300);  // painted
          return w;
        }
        if (!MessageBoxTexts().empty() || !setup.Running()) break;
        PumpFor(50);
      }
      Screenshot("setup_run_failure");
      ADD_FAILURE() << "no page \"" << caption << "\"; message boxes: " << MessageBoxTexts();
      return nullptr;
    };
    // A click that comes while the page is still changing is held back, as
    // a user's would be: it is given again until the page has gone.
    auto next = [&](HWND frame, const char* button) {
      char before[256] = {};
      GetWindowTextA(frame, before, sizeof before);
      auto pageGone = [&] {
        char now[256] = {};
        return !IsWindow(frame) || !IsWindowVisible(frame) || !GetWindowTextA(frame, now, sizeof now) ||
               std::string(now) != before;
      };
      for (int attempt = 0; attempt < 5 && !pageGone(); ++attempt) {
        HWND b = FindChild(frame, "", button);
        ASSERT_TRUE(b && IsWindowEnabled(b)) << button;
        ASSERT_TRUE(ClickButton(b)) << button;
        for (int i = 0; i < 200 && !pageGone() && setup.Running(); ++i) {
          watchCopy();
          PumpFor(10);
        }
      }
      EXPECT_TRUE(pageGone()) << button << " on " << before;
    };

    HWND frame = page("Welcome");
    ASSERT_TRUE(frame);
    Screenshot("setup_run_welcome");
    EXPECT_FALSE(FindChild(frame, "", "< Previous")) << "the first page has no way back";
    next(frame, "Next >");

    ASSERT_TRUE(frame = page("Select components to install"));
    Screenshot("setup_run_components");
    // One box for the driver and one for each group, none to untick.
    int boxes = 0;
    std::vector<HWND> all;
    EnumChildWindows(
        frame,
        [](HWND w, LPARAM p) CALLBACK {
          reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    for (HWND w : all) {
      LONG style = GetWindowLongA(w, GWL_STYLE) & BS_TYPEMASK;
      char cls[64] = {};
      GetClassNameA(w, cls, sizeof cls);
      if (lstrcmpiA(cls, "Button") == 0 && IsWindowVisible(w) && (style == BS_CHECKBOX || style == BS_AUTOCHECKBOX || style == BS_3STATE || style == BS_AUTO3STATE)) {
        ++boxes;
        EXPECT_FALSE(IsWindowEnabled(w)) << "a group the user may not leave out";
        EXPECT_EQ(BST_CHECKED, SendMessageA(w, BM_GETCHECK, 0, 0));
      }
    }
    EXPECT_EQ(3, boxes);
    next(frame, "Next >");

    ASSERT_TRUE(frame = page("Select folder in start menu"));
    Screenshot("setup_run_folder");
    std::vector<std::string> edits = ChildTexts(frame, "Edit");
    ASSERT_FALSE(edits.empty());
    EXPECT_EQ("Morvane", edits[0]);
    next(frame, "Next >");

    DWORD end = GetTickCount() + 60000;
    while (!FindTopWindow("Setup complete") && setup.Running() && MessageBoxTexts().empty() &&
           static_cast<int>(end - GetTickCount()) > 0) {
      watchCopy();
      PumpFor(2);
    }
    if (hook) UnhookWinEvent(hook);
    EXPECT_EQ(1u, copyWindows);
    ASSERT_TRUE(frame = page("Setup complete"));
    Screenshot("setup_run_complete");
    next(frame, "Finish");
    int code = setup.Wait(60000);
    EXPECT_EQ("", MessageBoxTexts());
    ASSERT_EQ(0, code);
  }

  // The files, equal to their sources.
  auto same = [&](const std::string& installed, const std::string& source) {
    ASSERT_TRUE(testsupport::FileExists(installed)) << installed;
    EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(installed)) << installed;
  };
  same(dest + "\\Morvane32.exe", Join(BuildDir(), "app\\Morvane32.exe"));
  same(dest + "\\Wendle.exe", Join(BuildDir(), "tests\\tools\\applierstandin\\Wendle.exe"));
  same(dest + "\\Wendl32.exe", Join(BuildDir(), "tests\\tools\\applierstandin\\Wendl32.exe"));
  same(dest + "\\uninstall.exe", Join(BuildDir(), "tests\\tools\\uninstall\\uninstall.exe"));
  for (const std::string& page : HelpPages()) same(dest + "\\help\\" + page, Join(SourceDir(), "help\\" + page));
  // Dated as their sources, also before 1980 and after 2107.
  for (const TOddDate& d : kOddDates) EXPECT_EQ(DateOf(d), DateOf(dest + "\\help\\" + d.Page)) << d.Page;

  // The links, read back through the shell.
  TLinkRead app = ReadLink(programs + "\\Morvane Tapmend.LNK");
  EXPECT_TRUE(SameText(dest + "\\Morvane32.exe", app.Path)) << app.Path;
  EXPECT_TRUE(SameText(dest, app.WorkingDir)) << app.WorkingDir;
  TLinkRead docs = ReadLink(programs + "\\Morvane Documentation.LNK");
  EXPECT_TRUE(SameText(dest + "\\help\\readme.htm", docs.Path)) << docs.Path;
  TLinkRead faq = ReadLink(programs + "\\Morvane FAQ.LNK");
  EXPECT_TRUE(SameText(dest + "\\help\\faq.htm", faq.Path)) << faq.Path;
  TLinkRead desk = ReadLink(desktopLink);
  EXPECT_TRUE(SameText(dest + "\\Morvane32.exe", desk.Path)) << desk.Path;
  EXPECT_EQ("http://www.example.com/tapmend/", UrlOf(programs + "\\Internet\\Morvane Tapmend Homepage.URL"));
  EXPECT_EQ("http://www.example.org/lorrow/",
            UrlOf(programs + "\\Internet\\Lorrow - General Update Notification Service.URL"));
  EXPECT_EQ("http://www.example.com/tapmend/docs/",
            UrlOf(programs + "\\Internet\\Most Recent Morvane Documentation.URL"));
  EXPECT_EQ("http://www.example.net/links.html", UrlOf(programs + "\\Internet\\Recommended product links.URL"));

  // The file type and the uninstall registration, as reg.exe shows them.
  TRegView type = RegQuery("HKCR\\morvane");
  TRegView ext = RegQuery("HKCR\\.utp");
  EXPECT_EQ("Patchfile created using Morvane Technology", RegData(type, "HKEY_CLASSES_ROOT\\morvane", "(Default)"));
  EXPECT_EQ("21", RegData(type, "HKEY_CLASSES_ROOT\\morvane", "MorvaneVersion"));
  EXPECT_EQ(dest + "\\Morvane32.exe,1", RegData(type, "HKEY_CLASSES_ROOT\\morvane\\DefaultIcon", "(Default)"));
  EXPECT_EQ("\"" + dest + "\\wendl32\" \"%1\"",
            RegData(type, "HKEY_CLASSES_ROOT\\morvane\\shell\\open\\command", "(Default)"));
  EXPECT_EQ("\"" + dest + "\\wendl32.exe\" -t \"%1\"",
            RegData(type, "HKEY_CLASSES_ROOT\\morvane\\shell\\Test Apply\\command", "(Default)"));
  EXPECT_EQ("morvane", RegData(ext, "HKEY_CLASSES_ROOT\\.utp", "(Default)"));
  EXPECT_EQ("\"\"", RegData(ext, "HKEY_CLASSES_ROOT\\.utp\\ShellNew", "NullFile"));
  const std::string uninstallKey = std::string("HKEY_LOCAL_MACHINE") + kUninstallKey;
  TRegView un = RegQuery("HKLM" + std::string(kUninstallKey));
  const std::string uninstallString = RegData(un, uninstallKey, "UninstallString");
  EXPECT_EQ(kProduct, RegData(un, uninstallKey, "DisplayName"));
  EXPECT_EQ("\"" + dest + "\\uninstall.exe\" Morvane Tapmend", uninstallString);
  // Files: 13 files (the uninstaller registers itself instead), 3 main
  // links, 4 Internet shortcuts, the desktop link.
  EXPECT_EQ("21", RegData(un, uninstallKey + "\\Files", "Entries"));
  EXPECT_EQ("9", RegData(un, uninstallKey + "\\RegistryKeys", "Entries"));
  EXPECT_EQ("\\morvane\\shell\\open\\command", RegData(un, uninstallKey + "\\RegistryKeys\\RegistryKey5", "Key"));

  // Nothing of the run is left: its record and the loader's copy go.
  EXPECT_TRUE(RegQuery("HKLM\\SOFTWARE\\Quenlow").empty());
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (const std::string& f : LoaderFolders())
          if (!foldersBefore.count(f)) return false;
        return true;
      },
      15000));

  // A patch file opens with the applier, its path in one piece.
  const std::string folder = Join(ScratchDir(), "dir with space");
  MakeDirs(folder);
  const std::string patch = folder + "\\a b.utp";
  WriteFileText(patch, "patch");
  const std::string log = Join(ScratchDir(), "applier.log");
  SetEnvironmentVariableA("MORVANE_APPLIER_LOG", log.c_str());
  ShellOpen("open", patch);
  ShellOpen("Test Apply", patch);
  EXPECT_EQ("run Wendl32 1\narg " + patch + "\nrun Wendl32 2\narg -t\narg " + patch + "\n", ReadText(log));

  // The uninstaller the registration names takes it all away.
  {
    TProcess uninstall(uninstallString);
    EXPECT_EQ(0, uninstall.Wait(60000));
  }
  EXPECT_TRUE(WaitUntil([&] { return !DirectoryExists(dest); }, 15000)) << dest;
  EXPECT_FALSE(DirectoryExists(programs));
  EXPECT_FALSE(testsupport::FileExists(desktopLink));
  EXPECT_TRUE(RegQuery("HKCR\\.utp").empty());
  EXPECT_TRUE(RegQuery("HKCR\\morvane").empty());
  EXPECT_TRUE(RegQuery("HKLM" + std::string(kUninstallKey)).empty());
  RemoveInstallation(dest);
  CoUninitialize();
}

namespace {

// Every visible text of a window that its control cannot show whole:
// labels (wrapped ones by height), buttons, check and radio boxes, edits,
// list boxes and each column of a report view, header and items.
class TFitCheck {
 public:
  std::vector<std::string> Misfits;

  void Walk(TWinControl* window, const std::string& where) {
    Pump(150);
    Check(window, where);
  }

 private:
  SIZE Extent(HFONT font, const std::string& text, UINT flags, int wrapWidth = 0) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, wrapWidth, 0};
    DrawTextA(dc, text.c_str(), -1, &r, flags | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
  }
  HFONT FontOf(TControl* c) {
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w->HandleAllocated())
      if (HFONT f = reinterpret_cast<HFONT>(SendMessageA(w->Handle(), WM_GETFONT, 0, 0))) return f;
    return c->Font().Handle();
  }
  void Report(const std::string& where, TControl* c, const std::string& text, int need, int have) {
    if (need > have)
      Misfits.push_back(where + "/" + c->Name() + " \"" + text + "\" needs " + std::to_string(need) + " of " +
                        std::to_string(have));
  }
  int ColumnWidth(HWND view, int i) { return static_cast<int>(SendMessageA(view, LVM_GETCOLUMNWIDTH, i, 0)); }
  int StringWidth(HWND view, const std::string& s) {
    return static_cast<int>(SendMessageA(view, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(s.c_str())));
  }

  void Check(TControl* c, const std::string& where) {
    if (!c->Visible()) return;
    const std::string text = c->Caption();
    HFONT font = FontOf(c);
    if (auto* label = dynamic_cast<TCustomLabel*>(c)) {
      const UINT prefix = label->ShowAccelChar ? 0 : DT_NOPREFIX;
      if (!text.empty() && label->WordWrap())
        Report(where, c, text, Extent(font, text, DT_WORDBREAK | prefix, c->Width()).cy, c->Height());
      else if (!text.empty())
        Report(where, c, text, Extent(font, text, DT_SINGLELINE | prefix).cx, c->Width());
    } else if (dynamic_cast<TCheckBox*>(c) || dynamic_cast<TRadioButton*>(c)) {
      if (!text.empty()) Report(where, c, text, Extent(font, text, DT_SINGLELINE).cx + 20, c->Width());
    } else if (dynamic_cast<TButton*>(c)) {
      if (!text.empty()) Report(where, c, text, Extent(font, text, DT_SINGLELINE).cx + 8, c->Width());
    } else if (auto* edit = dynamic_cast<TCustomEdit*>(c); edit && !dynamic_cast<TMemo*>(c)) {
      const std::string t = edit->Text();
      if (!t.empty()) Report(where, c, t, Extent(font, t, DT_SINGLELINE | DT_NOPREFIX).cx + 6, edit->ClientWidth());
    } else if (auto* list = dynamic_cast<TListBox*>(c)) {
      for (int i = 0; i < list->Items().Count(); ++i)
        Report(where, c, list->Items()[i], Extent(font, list->Items()[i], DT_SINGLELINE | DT_NOPREFIX).cx + 4,
               list->ClientWidth());
    } else if (auto* view = dynamic_cast<TCustomListView*>(c)) {
      HWND h = view->Handle();
      // The report view leaves 6 pixels beside each text; the first column
      // also holds the state image.
      const int image = view->StateImages() ? 16 : 0;
      for (int i = 0; i < view->Columns().Count(); ++i) {
        const std::string caption = view->Columns()[i]->Caption();
        Report(where, c, caption, StringWidth(h, caption) + 12, ColumnWidth(h, i));
      }
      for (int i = 0; i < view->Items().Count(); ++i) {
        TListItem* item = view->Items()[i];
        Report(where, c, item->Caption(), StringWidth(h, item->Caption()) + 12 + image, ColumnWidth(h, 0));
        for (int k = 0; k < item->SubItems.Count() && k + 1 < view->Columns().Count(); ++k)
          Report(where, c, item->SubItems[k], StringWidth(h, item->SubItems[k]) + 12, ColumnWidth(h, k + 1));
      }
    }
    if (auto* w = dynamic_cast<TWinControl*>(c))
      for (int i = 0; i < w->ControlCount(); ++i) Check(w->Controls(i), where);
  }
};

// The frame of the wizard that is up now.
TBaseFormContainer* WizardFrame() {
  TDialogManager* m = CurrentDialogManager();
  return m ? m->Frame() : nullptr;
}

}  // namespace

// Every page and window of the setup, as its own form builds them, shows
// its texts whole: each wizard page, the copy window, the next-disk window,
// the status window and the reboot and result pages.
TEST(SetupForm, EveryPageAndWindowShowsItsTextsWhole) {
  TLoadedSetupForm s;
  TInstall* driver = s.form->Install1;
  // The sizes the pages show are those of the packed files, as the run
  // reads them from the archive.
  for (TCustomInstallFile* f : InstallFileList()) f->ReadSourceInfo();
  TFitCheck fit;
  std::vector<std::string> seen;
  // Checks the page in front and goes on.
  auto page = [&](const char* shot) {
    return [&, shot] {
      TBaseFormContainer* frame = WizardFrame();
      ASSERT_TRUE(frame);
      seen.push_back(frame->Caption());
      fit.Walk(frame, frame->Caption());
      Screenshot(shot);
      frame->Next();
    };
  };
  auto wizard = [&](const char* manager, int code, std::vector<std::function<void()>> steps) {
    wizardtest::Script script(std::move(steps));
    s.Find<TDialogManager>(manager)->ReceiveMessage(driver, code, nullptr);
    script.Stop();
    EXPECT_FALSE(script.Leftover()) << manager;
  };
  wizard("DialogManager1", imManagerBeforeInstall,
         {page("setup_fit_welcome"), page("setup_fit_components"), page("setup_fit_folder")});
  wizard("DialogManager6", imRebootNeeded, {page("setup_fit_reboot")});
  wizard("DialogManager2", imManagerGoodEnd, {page("setup_fit_complete")});
  wizard("DialogManager3", imManagerBadEnd, {page("setup_fit_incomplete")});
  EXPECT_EQ(std::vector<std::string>({"Welcome", "Select components to install", "Select folder in start menu",
                                      "Reboot windows", "Setup complete", "Setup incomplete"}),
            seen);

  // The copy window with the longest name the distribution packs.
  TFileStatusParameter status;
  status.FileName = Join(FilesDir(), "help\\Form1_page_Expert.html");
  status.PercentDone = 40;
  status.OverallPercent = 70;
  auto* copy = s.Find<TCopyFileDlg>("CopyFileDlg2");
  copy->ReceiveMessage(driver, imFileStatus, &status);
  ASSERT_TRUE(copy->OwnForm());
  const std::string shown = copy->OwnForm()->NameLabel->Caption();
  EXPECT_EQ("Form1_page_Expert.html", shown.substr(shown.rfind('\\') + 1)) << shown;
  fit.Walk(copy->OwnForm(), "copy");
  Screenshot("setup_fit_copy");
  copy->ReceiveMessage(driver, imFilesDone, nullptr);

  // The next disk.
  {
    TList list;
    TDiskParameter disk;
    disk.DiskNumber = 2;
    disk.Path = "A:\\";
    list.Add(s.Find<TInstallFile>("ReadmeFile"));
    list.Add(&disk);
    wizardtest::Script script({[&] {
      auto* form = dynamic_cast<TChangeDiskForm*>(TWinControl::FindControl(GetActiveWindow()));
      ASSERT_TRUE(form);
      fit.Walk(form, "disk");
      Screenshot("setup_fit_disk");
      form->ModalResult = mrOk;
    }});
    s.Find<TDialogManager>("DialogManager5")->ReceiveMessage(driver, imNewDisk, &list);
    EXPECT_EQ(1u, script.Done());
  }

  // The status window the driver shows while it reads the files.
  TMessageParameter text;
  text.Text = "Reading file information...";
  auto* statusDlg = s.Find<TInstallStatusDlg>("InstallStatusDlg2");
  statusDlg->ReceiveMessage(driver, imPushStatus, &text);
  ASSERT_TRUE(statusDlg->StatusForm());
  fit.Walk(statusDlg->StatusForm(), "status");
  statusDlg->ReceiveMessage(driver, imPopStatus, nullptr);

  std::string all;
  for (const std::string& m : fit.Misfits) all += m + "\n";
  EXPECT_TRUE(fit.Misfits.empty()) << all;
}
