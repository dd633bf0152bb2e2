#include "setupform.h"

#include "installfile.h"
#include "installregistry.h"
#include "pathspec.h"
#include "setuppaths.h"
#include "shelllinks.h"
#include "translator.h"
#include "versionguard.h"
#include "win/backdrop.h"
#include "win/backdropreg.h"
#include "win/install.h"
#include "win/wizardpages.h"

namespace {

using TProps = std::vector<std::pair<std::string, std::string>>;

const char kProduct[] = "Morvane Tapmend";
const char kVersion[] = "1.9";

// One of the fifteen standard specifiers, under the name the kit gives it.
TFormComponent Specifier(const char* className, const char* name) { return {className, name, {}}; }

// An install file of a group: packed from its source folder, installed
// into the group's folder under its own name.
TFormComponent File(const std::string& name, const std::string& group, int order, const std::string& dir,
                    const std::string& fileName) {
  return {"TInstallFile",
          name,
          {{"Container", group},
           {"Order", std::to_string(order)},
           {"IncludeFromDir", dir},
           {"FileName", fileName},
           {"DestName", fileName},
           {"ArchiveFileType", "psContainerArchiveFile"},
           {"DestDirType", "psContainerDestDir"}}};
}

TFormComponent Group(const std::string& name, const std::string& groupName, int order, const std::string& destDir) {
  return {"TInstallFileGroup",
          name,
          {{"Container", "Install1"},
           {"Order", std::to_string(order)},
           {"GroupName", groupName},
           {"AllowChoice", "False"},
           {"AllowChangeDir", "False"},
           {"ArchiveFileType", "psContainerArchiveFile"},
           {"DestDirType", "psContainerDestDir"},
           {"DestDir", destDir}}};
}

// A file-type key of HKEY_CLASSES_ROOT; each entry is ident, text, and
// whether "%p" in it is the install folder.
struct TEntry {
  const char* Ident;
  const char* Text;
  bool MainInstall;
};

TFormComponent Registry(const std::string& name, const std::string& key, const std::vector<TEntry>& entries) {
  TFormComponent c{"TInstallRegistry",
                   name,
                   {{"Container", "Install1"},
                    {"RootKey", "hkClassesRoot"},
                    {"KeySpecifierType", "ksAbsolute"},
                    {"Key", key}}};
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string item = "Entries[" + std::to_string(i) + "].";
    c.Properties.push_back({item + "EntryType", "retText"});
    c.Properties.push_back({item + "Ident", entries[i].Ident});
    c.Properties.push_back({item + "Text", entries[i].Text});
    if (entries[i].MainInstall) c.Properties.push_back({item + "PathSpecifier", "psMainInstall"});
  }
  return c;
}

TFormComponent MainLink(const std::string& name, const std::string& linkName, const std::string& target) {
  return {"TInstallMainLink",
          name,
          {{"Container", "MainFolder1"},
           {"DestDirType", "psContainerDestDir"},
           {"LinkName", linkName},
           {"ObjectLink", target},
           {"ObjectLocationType", "psObjectLink"}}};
}

TFormComponent UrlLink(const std::string& name, const std::string& linkName, const std::string& address) {
  return {"TInstallSubLink",
          name,
          {{"Container", "SubLinkGroup1"},
           {"DestDirType", "psContainerDestDir"},
           {"LinkName", linkName},
           {"ObjectLocation", address}}};
}

}  // namespace

const char* const GuardedRegistryObjects[5] = {"Registry1", "Registry2", "Registry7", "Registry8", "Registry9"};

void RegisterSetupClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterBackdropControls();
  RegisterComponentClass<TpsBDEDLL>("TpsBDEDLL");
  RegisterComponentClass<TpsCommonFiles>("TpsCommonFiles");
  RegisterComponentClass<TpsContainerArchiveFile>("TpsContainerArchiveFile");
  RegisterComponentClass<TpsContainerDestDir>("TpsContainerDestDir");
  RegisterComponentClass<TpsDesktopMenu>("TpsDesktopMenu");
  RegisterComponentClass<TpsInstallSource>("TpsInstallSource");
  RegisterComponentClass<TpsMainInstall>("TpsMainInstall");
  RegisterComponentClass<TpsMainArchiveFile>("TpsMainArchiveFile");
  RegisterComponentClass<TpsProgramFiles>("TpsProgramFiles");
  RegisterComponentClass<TpsProgramMenu>("TpsProgramMenu");
  RegisterComponentClass<TpsStartMenu>("TpsStartMenu");
  RegisterComponentClass<TpsStartupMenu>("TpsStartupMenu");
  RegisterComponentClass<TpsSystem>("TpsSystem");
  RegisterComponentClass<TpsWindow>("TpsWindow");
  RegisterComponentClass<TpsObjectLink>("TpsObjectLink");
  RegisterComponentClass<TTranslator>("TTranslator");
  RegisterComponentClass<TInstall>("TInstall");
  RegisterComponentClass<TInstallFileGroup>("TInstallFileGroup");
  RegisterComponentClass<TInstallFile>("TInstallFile");
  RegisterLinkAndRegistryClasses();
  RegisterWizardPages();
}

std::vector<TFormComponent> SetupFormDescription(const std::string& filesDir) {
  const std::string helpDir = filesDir + "\\help";
  std::vector<TFormComponent> form = {
      {"TBackdrop", "Backdrop1", {}},
      {"TRotate3DLabel",
       "ProductLabel1",
       {{"Left", "18"},
        {"Top", "10"},
        {"Width", "280"},
        {"Height", "40"},
        {"Caption", kProduct},
        {"LabelStyle.AShadeLTSet", "False"}}},
      Specifier("TpsBDEDLL", "psBDEDLL"),
      Specifier("TpsCommonFiles", "psCommonFiles"),
      Specifier("TpsContainerArchiveFile", "psContainerArchiveFile"),
      Specifier("TpsContainerDestDir", "psContainerDestDir"),
      Specifier("TpsDesktopMenu", "psDesktopMenu"),
      Specifier("TpsInstallSource", "psInstallSource"),
      Specifier("TpsMainInstall", "psMainInstall"),
      Specifier("TpsMainArchiveFile", "psMainArchiveFile"),
      Specifier("TpsProgramFiles", "psProgramFiles"),
      Specifier("TpsProgramMenu", "psProgramMenu"),
      Specifier("TpsStartMenu", "psStartMenu"),
      Specifier("TpsStartupMenu", "psStartupMenu"),
      Specifier("TpsSystem", "psSystem"),
      Specifier("TpsWindow", "psWindow"),
      Specifier("TpsObjectLink", "psObjectLink"),
      // Every language keeps the translator's font, MS Sans Serif at -11;
      // only Chinese (Simplified) puts it over the controls' own.
      {"TTranslator", "MainTranslator", {{"lgChineseSimplified.FontOverride", "True"}}},
      {"TInstall",
       "Install1",
       {{"DestDirType", "psProgramFiles"},
        {"DestDir", "\\Morvane32"},
        {"GroupName", "Main"},
        {"Information.CompanyName", "Dorn Aldwick Software"},
        {"Information.ProductName", kProduct},
        {"Information.Version", kVersion},
        {"UseLoadingProgram", "True"},
        {"BuildInfo.BuildDirectory", MORVANE_SETUP_DIST_DIR}}},
      Group("FileGroup1", "Program Files", 0, ""),
      File("Morvane32File", "FileGroup1", 0, filesDir, "Morvane32.exe"),
      File("WendleFile", "FileGroup1", 1, filesDir, "Wendle.exe"),
      File("Wendl32File", "FileGroup1", 2, filesDir, "Wendl32.exe"),
      Group("FileGroup2", "Help Files", 1, "\\help"),
  };
  const char* const helpFiles[] = {"selector.html", "readme.htm",   "bar.gif",
                                   "liesmich.htm",  "faq.htm",      "bk101.gif",
                                   "minipnkt.gif",  "Form1_page_Expert.html", "index.html",
                                   "history.htm"};
  const char* const helpNames[] = {"SelectorFile", "ReadmeFile", "BarGifFile",   "LiesmichFile",
                                   "FaqFile",      "Bk101File",  "MinipnktFile", "ExpertPageFile",
                                   "IndexFile",    "HistoryFile"};
  for (int i = 0; i < 10; ++i) form.push_back(File(helpNames[i], "FileGroup2", i, helpDir, helpFiles[i]));
  form.push_back({"TUninstallEXE",
                  "UninstallEXE1",
                  {{"Container", "Install1"},
                   {"Order", "0"},
                   {"IncludeFromDir", filesDir},
                   {"ArchiveFileType", "psContainerArchiveFile"},
                   {"DestDirType", "psContainerDestDir"}}});
  form.push_back({"TMainLinkGroup", "MainFolder1", {{"Container", "Install1"}, {"DestDir", "\\Morvane"}}});
  form.push_back(MainLink("InstallMainLink1", "Morvane Tapmend.LNK", "Morvane32File"));
  form.push_back(MainLink("InstallMainLink2", "Morvane Documentation.LNK", "ReadmeFile"));
  form.push_back(MainLink("InstallMainLink3", "Morvane FAQ.LNK", "FaqFile"));
  form.push_back({"TSubLinkGroup", "SubLinkGroup1", {{"Container", "MainFolder1"}, {"DestDir", "\\Internet"}}});
  form.push_back(UrlLink("InstallSubLink1", "Morvane Tapmend Homepage.URL", "http://www.example.com/tapmend/"));
  form.push_back(UrlLink("InstallSubLink2", "Lorrow - General Update Notification Service.URL",
                         "http://www.example.org/lorrow/"));
  form.push_back(UrlLink("InstallSubLink3", "Most Recent Morvane Documentation.URL",
                         "http://www.example.com/tapmend/docs/"));
  form.push_back(UrlLink("InstallSubLink4", "Recommended product links.URL", "http://www.example.net/links.html"));
  form.push_back({"TInstallShellLink",
                  "DesktopLink1",
                  {{"Container", "Install1"},
                   {"DestDirType", "psDesktopMenu"},
                   {"LinkName", "Tapmend.LNK"},
                   {"ObjectLink", "Morvane32File"},
                   {"ObjectLocationType", "psObjectLink"}}});
  // The file type.  Program path and file are quoted in the commands: a
  // blank in either would split them into several arguments.  The icon
  // location is not quoted, as the shell reads it.
  form.push_back(Registry("Registry1", "\\morvane",
                          {{"", "Patchfile created using Morvane Technology", false}, {"MorvaneVersion", "21", false}}));
  form.push_back(Registry("Registry2", "\\morvane\\DefaultIcon", {{"", "%p\\Morvane32.exe,1", true}}));
  form.push_back(Registry("Registry3", "\\morvane\\shell", {}));
  form.push_back(Registry("Registry4", "\\morvane\\shell\\open", {}));
  form.push_back(Registry("Registry5", "\\morvane\\shell\\open\\command", {{"", "\"%p\\wendl32\" \"%1\"", true}}));
  form.push_back(Registry("Registry6", "\\morvane\\shell\\Test Apply", {}));
  form.push_back(
      Registry("Registry7", "\\morvane\\shell\\Test Apply\\command", {{"", "\"%p\\wendl32.exe\" -t \"%1\"", true}}));
  form.push_back(Registry("Registry9", "\\.utp", {{"", "morvane", false}, {"@", "Morvane", false}}));
  form.push_back(Registry("Registry8", "\\.utp\\ShellNew", {{"NullFile", "\"\"", false}}));
  // The wizard: one manager for each moment, and the pages they show.
  const char* const managerTypes[] = {"dmBeforeInstall", "dmAfterGoodInstall", "dmAfterBadInstall",
                                      "dmDuringCopyFiles", "dmChangeDisk",       "dmReboot"};
  for (int i = 0; i < 6; ++i)
    form.push_back({"TDialogManager",
                    "DialogManager" + std::to_string(i + 1),
                    {{"Container", "Install1"},
                     {"ManagerType", managerTypes[i]},
                     {"RelativeLeftOffset", "0"},
                     {"RelativeTopOffset", "0"}}});
  auto dialog = [](const char* cls, const char* name, const char* container, const char* manager, int order) {
    TFormComponent c{cls,
                     name,
                     {{"Container", container}, {"DialogManager", manager}, {"OverrideMainTranslator", "False"}}};
    if (order >= 0) c.Properties.push_back({"Order", std::to_string(order)});
    return c;
  };
  form.push_back(dialog("TWelcomeDlg", "WelcomeDlg2", "Install1", "DialogManager1", 10));
  form.push_back(dialog("TInstallFileGroupsDlg", "InstallFileGroupsDlg2", "Install1", "DialogManager1", 50));
  form.push_back(dialog("TSelectFolderDlg", "SelectFolderDlg2", "MainFolder1", "DialogManager1", 60));
  form.push_back(dialog("TGoodInstallationDlg", "GoodInstallationDlg2", "Install1", "DialogManager2", 10));
  form.push_back(dialog("TBadInstallationDlg", "BadInstallationDlg2", "Install1", "DialogManager3", 10));
  form.push_back(dialog("TRebootDlg", "RebootDlg2", "Install1", "DialogManager6", 10));
  form.push_back(dialog("TChangeDiskDlg", "ChangeDiskDlg2", "Install1", "DialogManager5", -1));
  // These two show their own windows on their own messages.
  form.push_back(dialog("TCopyFileDlg", "CopyFileDlg2", "Install1", "nil", -1));
  form.push_back(dialog("TInstallStatusDlg", "InstallStatusDlg2", "Install1", "nil", -1));
  return form;
}

TForm1::TForm1(TComponent* owner) : TForm1(owner, MORVANE_SETUP_FILES_DIR) {}

TForm1::TForm1(TComponent* owner, const std::string& filesDir) : TForm(owner) {
  SetName("Form1");
  SetCaption("Form1");
  SetBounds(Left(), Top(), 696, 480);
  LoadComponents(filesDir);
}

void TForm1::LoadComponents(const std::string& filesDir) {
  RegisterSetupClasses();
  LoadForm(this, SetupFormDescription(filesDir));
  Backdrop1 = static_cast<TBackdrop*>(FindComponent("Backdrop1"));
  ProductLabel1 = static_cast<TRotate3DLabel*>(FindComponent("ProductLabel1"));
  Install1 = static_cast<TInstall*>(FindComponent("Install1"));
  // The controls of a stored form have the form as their parent; the
  // label's font is its own.
  Backdrop1->SetParent(this);
  ProductLabel1->SetParent(this);
  ProductLabel1->Font().SetName("Arial");
  ProductLabel1->Font().SetHeight(-24);
  ProductLabel1->Font().SetStyle(fsBold);
  for (const char* name : GuardedRegistryObjects)
    static_cast<TInstallRegistry*>(FindComponent(name))->OnBeforeProcess = [this](TInstallContainer* sender) {
      RegistryBeforeProcess(sender);
    };
}

void TForm1::RegistryBeforeProcess(TObject* sender) {
  // A newer patch creator's file type stays as that version wrote it.
  auto* registry = dynamic_cast<TInstallRegistry*>(sender);
  if (registry && InstalledFileTypeIsNewer()) registry->Entries()->Clear();
}
