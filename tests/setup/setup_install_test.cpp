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

#include "gui_test_support.h"
#include "installfile.h"
#include "installregistry.h"
#include "kitroutines.h"
#include "setup_test_common.h"
#include "setupform.h"
#include "shelllinks.h"
#include "test_support.h"
#include "translator.h"
#include "uninstallexe.h"
#include "win/backdrop.h"
#include "win/install.h"

using namespace testsupport;
using namespace setuptest;

namespace {

const char kProduct[] = "Morvane Tapmend";
const char kUninstallKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane Tapmend";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
  EXPECT_EQ(static_cast<long>(order.size()), at("Registry8") + 1) << "the keys come last";

  auto* group1 = s.Find<TInstallFileGroup>("FileGroup1");
  auto* group2 = s.Find<TInstallFileGroup>("FileGroup2");
  ASSERT_TRUE(group1 && group2);
  EXPECT_EQ("Program Files", group1->GroupName());
  EXPECT_EQ("Help Files", group2->GroupName());
  for (TInstallFileGroup* g : {group1, group2}) {
    EXPECT_FALSE(g->AllowChoice());
    EXPECT_FALSE(g->AllowChangeDir());
  }
  EXPECT_EQ(d->GetDestDir(), group1->GetDestDir());
  EXPECT_EQ(d->GetDestDir() + "\\help", group2->GetDestDir());
  std::vector<std::string> helpFiles;
  for (int i = 0; i < group2->ChildrenCount(); ++i)
    helpFiles.push_back(static_cast<TInstallFile*>(group2->Children(i))->FileName());
  EXPECT_EQ(HelpPages(), helpFiles);
  auto* uninstaller = s.Find<TUninstallEXE>("UninstallEXE1");
  ASSERT_TRUE(uninstaller);
  EXPECT_EQ("\"C:\\Program Files\\Morvane32\\uninstall.exe\" Morvane Tapmend", uninstaller->UninstallString());

  // Links: where they are made and what they point at.
  const std::string programs = setuptest::ProgramsFolder() + "\\Morvane";
  auto* app = s.Find<TCustomInstallShellLink>("InstallMainLink1");
  auto* docs = s.Find<TCustomInstallShellLink>("InstallMainLink2");
  auto* faq = s.Find<TCustomInstallShellLink>("InstallMainLink3");
  auto* desk = s.Find<TCustomInstallShellLink>("DesktopLink1");
  ASSERT_TRUE(app && docs && faq && desk);
  EXPECT_TRUE(SameText(programs + "\\Morvane Tapmend.LNK", app->LinkPath())) << app->LinkPath();
  EXPECT_TRUE(SameText(d->GetDestDir() + "\\Morvane32.exe", app->TargetPath())) << app->TargetPath();
  EXPECT_TRUE(SameText(d->GetDestDir() + "\\help\\readme.htm", docs->TargetPath())) << docs->TargetPath();
  EXPECT_TRUE(SameText(d->GetDestDir() + "\\help\\faq.htm", faq->TargetPath())) << faq->TargetPath();
  EXPECT_TRUE(SameText(setuptest::DesktopFolder() + "\\Tapmend.LNK", desk->LinkPath())) << desk->LinkPath();
  EXPECT_TRUE(SameText(d->GetDestDir() + "\\Morvane32.exe", desk->TargetPath())) << desk->TargetPath();
  auto* home = s.Find<TCustomInstallShellLink>("InstallSubLink1");
  ASSERT_TRUE(home);
  EXPECT_TRUE(SameText(programs + "\\Internet\\Morvane Tapmend Homepage.URL", home->LinkPath())) << home->LinkPath();

  // The commands quote the program and the file; the icon stays bare.
  auto* open = s.Find<TInstallRegistry>("Registry5");
  auto* test = s.Find<TInstallRegistry>("Registry7");
  auto* icon = s.Find<TInstallRegistry>("Registry2");
  ASSERT_TRUE(open && test && icon);
  EXPECT_EQ("\"C:\\Program Files\\Morvane32\\wendl32\" \"%1\"", open->Entries()->Items(0)->EntryText());
  EXPECT_EQ("\"C:\\Program Files\\Morvane32\\wendl32.exe\" -t \"%1\"", test->Entries()->Items(0)->EntryText());
  EXPECT_EQ("C:\\Program Files\\Morvane32\\Morvane32.exe,1", icon->Entries()->Items(0)->EntryText());
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
