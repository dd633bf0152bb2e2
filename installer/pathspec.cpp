#include "pathspec.h"

#include <algorithm>

#include "exceptions.h"
#include "kitroutines.h"
#include "sysutils.h"

namespace {

std::vector<TCustomPathSpecifier*>& AllSpecifiers() {
  static std::vector<TCustomPathSpecifier*> list;
  return list;
}

std::vector<TStandardPathSpecifier*>& StandardSpecifiers() {
  static std::vector<TStandardPathSpecifier*> list;
  return list;
}

template <class T>
void RemoveFrom(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

std::string NameOf(TComponent* obj) { return obj ? obj->Name() : std::string("Nil"); }

bool IsInstallObject(TComponent* obj) {
  auto& t = PathSpecifierTree();
  return obj != nullptr && t.IsInstallObject && t.IsInstallObject(obj);
}

TComponent* ContainerOf(TComponent* obj) {
  auto& t = PathSpecifierTree();
  return obj != nullptr && t.ContainerOf ? t.ContainerOf(obj) : nullptr;
}

std::string DestDirOf(TComponent* obj) {
  auto& t = PathSpecifierTree();
  return t.DestDirOf ? RemoveBackslash(t.DestDirOf(obj)) : std::string();
}

TComponent* Driver() {
  auto& t = PathSpecifierTree();
  return t.InstallDriver ? t.InstallDriver() : nullptr;
}

std::string SourceDir() {
  auto& t = PathSpecifierTree();
  return t.SourceDir ? t.SourceDir() : std::string();
}

void RequireInstallObject(TComponent* obj, const std::string& specifier) {
  if (!IsInstallObject(obj))
    throw IEPathSpecifier("%s must be a %s to use the %s path specifier",
                          {NameOf(obj), "TInstallObject", specifier});
}

void RequireDriver(TComponent* obj) {
  if (Driver() == nullptr)
    throw IEPathSpecifier(
        "There is no TInstall component so the path specifier could not be expanded for %s",
        {NameOf(obj)});
}

// A shell folder from the user's Explorer settings, else the given default.
std::string ShellFolder(const char* value, const std::string& fallback) {
  return RemoveBackslash(ReadRegistryString(
      hkCurrentUser, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      value, fallback));
}

std::string CurrentDrive() { return ExtractFileDrive(GetCurrentDir()); }

}  // namespace

TPathSpecifierTree& PathSpecifierTree() {
  static TPathSpecifierTree tree;
  return tree;
}

// ---- shell folders ----

std::string StartMenuFolder() { return ShellFolder("Start Menu", GetWindowsDir() + "\\Startmen"); }
std::string ProgramsFolder() { return ShellFolder("Programs", StartMenuFolder() + "\\Programs"); }
std::string DesktopFolder() { return ShellFolder("Desktop", GetWindowsDir() + "\\Desktop"); }
std::string StartupFolder() { return ShellFolder("Startup", GetWindowsDir() + "\\Startup"); }

std::string ProgramFilesDir() {
  return RemoveBackslash(ReadRegistryString(hkLocalMachine,
                                            "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                            "ProgramFilesDir", CurrentDrive() + "\\Program Files"));
}

std::string CommonFilesDir() {
  return RemoveBackslash(ReadRegistryString(
      hkLocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
      CurrentDrive() + "\\Program Files\\Common Files"));
}

// ---- base classes ----

TCustomPathSpecifier::TCustomPathSpecifier(TComponent* owner) : TComponent(owner) {
  AllSpecifiers().push_back(this);
}

TCustomPathSpecifier::~TCustomPathSpecifier() { RemoveFrom(AllSpecifiers(), this); }

void TCustomPathSpecifier::Check(TComponent*) {}

std::string TCustomPathSpecifier::Describe() { return "Unspecified"; }

TPathSpecifier::TPathSpecifier(TComponent* owner) : TCustomPathSpecifier(owner) {}

std::string TPathSpecifier::Describe() { return Description; }

std::string TPathSpecifier::Expand(TComponent*) {
  std::string path;
  if (OnGetPath) OnGetPath(this, path);
  return path;
}

TStandardPathSpecifier::TStandardPathSpecifier(TComponent* owner, const char* standardName,
                                               const char* description)
    : TCustomPathSpecifier(owner), fStandardName(standardName), fDescription(description) {
  StandardSpecifiers().push_back(this);
}

TStandardPathSpecifier::~TStandardPathSpecifier() { RemoveFrom(StandardSpecifiers(), this); }

const std::vector<TCustomPathSpecifier*>& PathSpecifierList() { return AllSpecifiers(); }
const std::vector<TStandardPathSpecifier*>& StandardPathSpecifierList() {
  return StandardSpecifiers();
}

TStandardPathSpecifier* FindStandardPathSpecifier(const std::type_info& cls) {
  for (TStandardPathSpecifier* s : StandardSpecifiers())
    if (typeid(*s) == cls) return s;
  return nullptr;
}

namespace {

template <class T>
void CreateIfMissing(TComponent* owner) {
  if (FindStandardPathSpecifier<T>() != nullptr) return;
  T* specifier = new T(owner);
  try {
    specifier->SetName(specifier->StandardName());
  } catch (...) {
    delete specifier;
    throw;
  }
}

}  // namespace

void CreateStandardPathSpecifiers(TComponent* owner) {
  CreateIfMissing<TpsBDEDLL>(owner);
  CreateIfMissing<TpsCommonFiles>(owner);
  CreateIfMissing<TpsContainerArchiveFile>(owner);
  CreateIfMissing<TpsContainerDestDir>(owner);
  CreateIfMissing<TpsDesktopMenu>(owner);
  CreateIfMissing<TpsInstallSource>(owner);
  CreateIfMissing<TpsMainInstall>(owner);
  CreateIfMissing<TpsMainArchiveFile>(owner);
  CreateIfMissing<TpsProgramFiles>(owner);
  CreateIfMissing<TpsProgramMenu>(owner);
  CreateIfMissing<TpsStartMenu>(owner);
  CreateIfMissing<TpsStartupMenu>(owner);
  CreateIfMissing<TpsSystem>(owner);
  CreateIfMissing<TpsWindow>(owner);
}

void CreateObjectLinkPathSpecifier(TComponent* owner) { CreateIfMissing<TpsObjectLink>(owner); }

// ---- the fifteen standard specifiers ----

TpsBDEDLL::TpsBDEDLL(TComponent* owner)
    : TStandardPathSpecifier(owner, "psBDEDLL", "Borland Database Engine DLL Path") {}
void TpsBDEDLL::Check(TComponent*) {}
std::string TpsBDEDLL::Expand(TComponent*) {
  std::string paths =
      ReadRegistryString(hkLocalMachine, "\\Software\\Borland\\Database Engine", "DLLPath", "");
  std::string first = GetItem(paths, 1, ';');
  if (first.empty()) return ProgramFilesDir() + "\\Borland\\Common Files\\BDE";
  return RemoveBackslash(first);
}

TpsCommonFiles::TpsCommonFiles(TComponent* owner)
    : TStandardPathSpecifier(owner, "psCommonFiles",
                             "Path of the common files directory under the program files directory") {}
void TpsCommonFiles::Check(TComponent*) {}
std::string TpsCommonFiles::Expand(TComponent*) { return CommonFilesDir(); }

TpsContainerArchiveFile::TpsContainerArchiveFile(TComponent* owner)
    : TStandardPathSpecifier(owner, "psContainerArchiveFile",
                             "Path to the archive file of the container") {}
void TpsContainerArchiveFile::Check(TComponent* obj) {
  RequireInstallObject(obj, StandardName());
  TComponent* container = ContainerOf(obj);
  if (container == nullptr)
    throw IEPathSpecifier("Cannot use ddContainerArchiveFile for %s unless you assign a Container",
                          {NameOf(obj)});
  auto& t = PathSpecifierTree();
  if (!(t.IsFileRelated && t.IsFileRelated(container)))
    throw IEPathSpecifier(
        "Cannot use the ddContainerArchiveFile path specifier for %s because the Container is not "
        "a TFileRelated descendant",
        {NameOf(obj)});
}
std::string TpsContainerArchiveFile::Expand(TComponent* obj) {
  Check(obj);
  auto& t = PathSpecifierTree();
  return t.ArchiveFileOf ? RemoveBackslash(t.ArchiveFileOf(ContainerOf(obj))) : std::string();
}

TpsContainerDestDir::TpsContainerDestDir(TComponent* owner)
    : TStandardPathSpecifier(owner, "psContainerDestDir",
                             "Path of the destination directory of the container") {}
void TpsContainerDestDir::Check(TComponent* obj) {
  RequireInstallObject(obj, StandardName());
  if (ContainerOf(obj) == nullptr)
    throw IEPathSpecifier("Cannot use ddContainerDestDir for %s unless you assign a Container",
                          {NameOf(obj)});
}
std::string TpsContainerDestDir::Expand(TComponent* obj) {
  Check(obj);
  return DestDirOf(ContainerOf(obj));
}

TpsDesktopMenu::TpsDesktopMenu(TComponent* owner)
    : TStandardPathSpecifier(owner, "psDesktopMenu", "Path of the Desktop") {}
void TpsDesktopMenu::Check(TComponent*) {}
std::string TpsDesktopMenu::Expand(TComponent*) { return DesktopFolder(); }

TpsInstallSource::TpsInstallSource(TComponent* owner)
    : TStandardPathSpecifier(owner, "psInstallSource", "Path from which the user ran the install") {}
void TpsInstallSource::Check(TComponent* obj) { RequireDriver(obj); }
std::string TpsInstallSource::Expand(TComponent* obj) {
  Check(obj);
  return RemoveBackslash(SourceDir());
}

TpsMainInstall::TpsMainInstall(TComponent* owner)
    : TStandardPathSpecifier(owner, "psMainInstall",
                             "Path of the destination directory of the TInstall") {}
void TpsMainInstall::Check(TComponent* obj) {
  RequireDriver(obj);
  if (obj != nullptr && obj == Driver())
    throw IEPathSpecifier("Cannot use the ddMainInstallDir path specifier for a TInstall component");
}
std::string TpsMainInstall::Expand(TComponent* obj) {
  Check(obj);
  return DestDirOf(Driver());
}

TpsMainArchiveFile::TpsMainArchiveFile(TComponent* owner)
    : TStandardPathSpecifier(owner, "psMainArchiveFile",
                             "Archive containing most or all non-internet installation files") {}
void TpsMainArchiveFile::Check(TComponent* obj) { RequireDriver(obj); }
std::string TpsMainArchiveFile::Expand(TComponent* obj) {
  Check(obj);
  auto& t = PathSpecifierTree();
  std::string exeName;
  if (t.SelfExtractorName && t.SelfExtractorName(exeName)) {
    if (Trim(exeName).empty())
      throw IEInstall(
          "You forgot to pass in the name of the self-extracting executable. Usage example: "
          "\"-eSetup.exe\"");
    return AddBackslash(SourceDir()) + exeName;
  }
  return AddBackslash(SourceDir()) + "files.1";
}

TpsProgramFiles::TpsProgramFiles(TComponent* owner)
    : TStandardPathSpecifier(owner, "psProgramFiles", "Path of the program files directory") {}
void TpsProgramFiles::Check(TComponent*) {}
std::string TpsProgramFiles::Expand(TComponent*) { return ProgramFilesDir(); }

TpsProgramMenu::TpsProgramMenu(TComponent* owner)
    : TStandardPathSpecifier(owner, "psProgramMenu",
                             "Path of the Programs folder under the Start Menu") {}
void TpsProgramMenu::Check(TComponent*) {}
std::string TpsProgramMenu::Expand(TComponent*) { return ProgramsFolder(); }

TpsStartMenu::TpsStartMenu(TComponent* owner)
    : TStandardPathSpecifier(owner, "psStartMenu", "Path of Start Menu") {}
void TpsStartMenu::Check(TComponent*) {}
std::string TpsStartMenu::Expand(TComponent*) { return StartMenuFolder(); }

TpsStartupMenu::TpsStartupMenu(TComponent* owner)
    : TStandardPathSpecifier(
          owner, "psStartupMenu",
          "Path of the Startup folder in the Programs folder under the Start Menu") {}
void TpsStartupMenu::Check(TComponent*) {}
std::string TpsStartupMenu::Expand(TComponent*) { return StartupFolder(); }

TpsSystem::TpsSystem(TComponent* owner)
    : TStandardPathSpecifier(owner, "psSystem", "Path of system directory") {}
void TpsSystem::Check(TComponent*) {}
std::string TpsSystem::Expand(TComponent*) { return RemoveBackslash(GetSystemDir()); }

TpsWindow::TpsWindow(TComponent* owner)
    : TStandardPathSpecifier(owner, "psWindow", "Path of the Windows directory") {}
void TpsWindow::Check(TComponent*) {}
std::string TpsWindow::Expand(TComponent*) { return RemoveBackslash(GetWindowsDir()); }

TpsObjectLink::TpsObjectLink(TComponent* owner)
    : TStandardPathSpecifier(owner, "psObjectLink",
                             "Path of the file or file group in the ObjectLink property") {}
void TpsObjectLink::Check(TComponent* obj) {
  auto& t = PathSpecifierTree();
  if (obj == nullptr || !(t.IsShellLink && t.IsShellLink(obj)))
    throw IEPathSpecifier("%s must be a %s to use the %s path specifier",
                          {NameOf(obj), "TCustomInstallShellLink", StandardName()});
  if (!(t.HasObjectLink && t.HasObjectLink(obj)))
    throw IEPathSpecifier("Cannot use ddObjectLink for %s unless you assign a value to ObjectLink",
                          {NameOf(obj)});
}
std::string TpsObjectLink::Expand(TComponent* obj) {
  Check(obj);
  auto& t = PathSpecifierTree();
  return t.ObjectLinkPath ? RemoveBackslash(t.ObjectLinkPath(obj)) : std::string();
}

// ---- expansion ----

std::string ExpandMetaVariables(const std::string& text, TComponent* component) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%') {
      result += c;
      continue;
    }
    if (i + 1 >= text.size()) break;  // a lone "%" at the end is dropped
    char v = text[++i];
    switch (v) {
      case '%': result += '%'; break;
      case 'a': case 'A':
        if (component == nullptr)
          throw EAICannotExpandContainerDirMV(
              "Cannot expand the %a meta variable because the component is Nil");
        result += DestDirOf(component);
        break;
      case 'b': case 'B': result += ProgramsFolder(); break;
      case 'c': case 'C': {
        if (component == nullptr)
          throw EAICannotExpandContainerDirMV(
              "Cannot expand the %c meta variable because the component is Nil");
        TComponent* container = ContainerOf(component);
        if (container == nullptr)
          throw EAICannotExpandContainerDirMV(
              "Cannot expand the %c meta variable because the Container property is Nil");
        result += DestDirOf(container);
        break;
      }
      case 'd': case 'D': result += DesktopFolder(); break;
      case 'f': case 'F': result += CommonFilesDir(); break;
      case 'i': case 'I': {
        TComponent* driver = Driver();
        if (driver == nullptr)
          throw EAICannotExpandInstallDirMV(
              "Cannot expand the %i meta variable because there is no TInstall component");
        result += DestDirOf(driver);
        break;
      }
      case 'm': case 'M': result += StartMenuFolder(); break;
      case 'p': case 'P': result += ProgramFilesDir(); break;
      case 's': case 'S': result += RemoveBackslash(GetSystemDir()); break;
      case 'w': case 'W': result += RemoveBackslash(GetWindowsDir()); break;
      default: break;  // unknown variables vanish with their "%"
    }
  }
  return result;
}

std::string ExpandPathVariable(const std::string& text, const std::string& path) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%' || i + 1 >= text.size()) {
      result += c;  // a trailing "%" stays
      continue;
    }
    char v = text[i + 1];
    if (v == 'p' || v == 'P') {
      result += path;
      ++i;
    } else if (v == '%') {
      result += '%';
      ++i;
    } else {
      // Kept with what follows: "%1" must reach the program a file type
      // starts, or it gets "1" in place of the file.
      result += c;
    }
  }
  return result;
}
