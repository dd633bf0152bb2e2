#include "shelllinks.h"

#include <algorithm>

#include "installfile.h"
#include "installregistry.h"
#include "kitroutines.h"
#include "loader.h"
#include "progman.h"
#include "uninstallexe.h"

namespace {

TMainLinkGroup* gMainGroup = nullptr;

std::vector<TSubLinkGroup*>& SubGroups() {
  static std::vector<TSubLinkGroup*> list;
  return list;
}

std::vector<TCustomInstallShellLink*>& Links() {
  static std::vector<TCustomInstallShellLink*> list;
  return list;
}

template <class T>
void Forget(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

const char kMainMustContain[] =
    "The TMainLinkGroup component must be the Container for TInstallMainLink and TSubLinkGroup components";
const char kNeedMainGroup[] =
    "To create a TInstallMainLink you must first have a TMainLinkGroup component in your project";
const char kLinkNameBlank[] = "The LinkName is blank for %s and therefore could not be installed";
const char kNotInstalled[] =
    "The TCustomInstallShellLink %s name could not be installed. The following error was reported %s";
const char kOleNotInstalled[] =
    "The TCustomInstallShellLink %s name could not be installed. The following error was reported %s. Error "
    "code %d";

bool OwnerLoading(TComponent* owner) { return owner && (owner->ComponentState() & csLoading); }

bool EndsWithText(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && SameText(text.substr(text.size() - tail.size()), tail);
}

bool StartsWithText(const std::string& text, const std::string& head) {
  return text.size() >= head.size() && SameText(text.substr(0, head.size()), head);
}

TCustomPathSpecifier* ObjectLinkSpecifier() { return FindStandardPathSpecifier<TpsObjectLink>(); }

bool HookTree() {
  TPathSpecifierTree& t = PathSpecifierTree();
  if (!t.IsShellLink)
    t.IsShellLink = [](TComponent* c) { return dynamic_cast<TCustomInstallShellLink*>(c) != nullptr; };
  if (!t.HasObjectLink)
    t.HasObjectLink = [](TComponent* c) {
      auto* l = dynamic_cast<TCustomInstallShellLink*>(c);
      return l && l->ObjectLink();
    };
  if (!t.ObjectLinkPath)
    t.ObjectLinkPath = [](TComponent* c) {
      auto* l = dynamic_cast<TCustomInstallShellLink*>(c);
      return l ? l->ObjectLinkPath() : std::string();
    };
  return true;
}
const bool kHooked = HookTree();

// The texts of the OLE results a link save meets most.
std::string OleErrorText(long code, const std::string& own) {
  switch (static_cast<uint32_t>(code)) {
    case 0x8000FFFFu: return "Indicates an unexpected error occurred";
    case 0x80040110u: return "Indicates this class cannot be created as part of an aggregate";
    case 0x80040154u: return "Indicates that a specified class is not registered in the registration database";
    case 0x8007000Eu: return "Out of memory";
    case 0x80070057u: return "Indicates one or more arguments are invalid";
    default: return own;
  }
}

}  // namespace

TMainLinkGroup* MainLinkGroup() { return gMainGroup; }
const std::vector<TSubLinkGroup*>& SubLinkGroupList() { return SubGroups(); }
const std::vector<TCustomInstallShellLink*>& InstallShellLinkList() { return Links(); }

// ---------------------------------------------------------------------------

TCustomShellLinkGroup::TCustomShellLinkGroup(TComponent* owner) : TInstallObject(owner) {
  (void)kHooked;
  installable_ = 1;
}

void TCustomShellLinkGroup::Process() {
  // The folder page may still change the folder.
  SendInstallMessage(this, imBeforeMakeFolder, nullptr);
  ForceDirectories(GetDestDir());
  TInstallObject::Process();
}

void TCustomShellLinkGroup::ContainerDestroyed(TInstallContainer* other) {
  bool mine = other && other == Container();
  TInstallObject::ContainerDestroyed(other);
  if (mine) delete this;
}

TMainLinkGroup::TMainLinkGroup(TComponent* owner) : TCustomShellLinkGroup(owner) {
  if (gMainGroup) throw IEShellLinkGroup("You can only have one TMainLinkGroup component in your project");
  gMainGroup = this;
  TInstallInformation* info = InstallDriverInformation();
  SetDestDir("\\" + (info ? info->ProductName : std::string("MainFolderName")));
  TCustomShellLinkGroup::SetDestDirType(FindStandardPathSpecifier<TpsProgramMenu>());
}

TMainLinkGroup::~TMainLinkGroup() {
  if (gMainGroup == this) gMainGroup = nullptr;
}

void TMainLinkGroup::SetDestDirType(TCustomPathSpecifier*) {
  TCustomShellLinkGroup::SetDestDirType(FindStandardPathSpecifier<TpsProgramMenu>());
}

void TMainLinkGroup::SetContainer(TInstallContainer* value) {
  std::string dir = DestDir();
  TCustomShellLinkGroup::SetContainer(value);
  SetDestDir(dir);
  SetDestDirType(nullptr);
}

void TMainLinkGroup::Loaded() {
  TCustomShellLinkGroup::Loaded();
  SetDestDirType(nullptr);
}

TSubLinkGroup::TSubLinkGroup(TComponent* owner) : TCustomShellLinkGroup(owner) {
  if (!gMainGroup && !OwnerLoading(owner)) throw IEShellLinkGroup(kNeedMainGroup);
  SubGroups().push_back(this);
  SetDestDir("\\ASubGroup");
}

TSubLinkGroup::~TSubLinkGroup() { Forget(SubGroups(), this); }

void TSubLinkGroup::SetDestDirType(TCustomPathSpecifier*) {
  TCustomShellLinkGroup::SetDestDirType(FindStandardPathSpecifier<TpsContainerDestDir>());
}

void TSubLinkGroup::SetContainer(TInstallContainer* value) {
  if (value && !IsLoading() && !dynamic_cast<TMainLinkGroup*>(value)) throw IEShellLinkGroup(kMainMustContain);
  std::string dir = DestDir();
  TCustomShellLinkGroup::SetContainer(value);
  SetDestDir(dir);
  if (value) SetDestDirType(nullptr);
}

void TSubLinkGroup::Loaded() {
  TCustomShellLinkGroup::Loaded();
  if (Container()) SetDestDirType(nullptr);
}

// ---------------------------------------------------------------------------

TCustomInstallShellLink::TCustomInstallShellLink(TComponent* owner) : TInstallObject(owner) {
  (void)kHooked;
  installable_ = 1;
  if (owner) CreateObjectLinkPathSpecifier(owner);
  Links().push_back(this);
}

TCustomInstallShellLink::~TCustomInstallShellLink() { Forget(Links(), this); }

void TCustomInstallShellLink::PublishProperties(TPropList& list) const {
  TInstallObject::PublishProperties(list);
  using C = TCustomInstallShellLink;
  list.push_back(StrProp<C>("LinkName", &C::LinkName, &C::SetLinkName));
  list.push_back(ObjProp<C, TInstallContainer>("ObjectLink", &C::ObjectLink, &C::SetObjectLink));
  list.push_back(StrProp<C>("ObjectLocation", &C::ObjectLocation, &C::SetObjectLocation));
  list.push_back(
      ObjProp<C, TCustomPathSpecifier>("ObjectLocationType", &C::ObjectLocationType, &C::SetObjectLocationType));
  list.push_back(StrProp<C>("Parameters", &C::Parameters, &C::SetParameters));
  list.push_back(IntProp<C>("HotKey", &C::HotKey, &C::SetHotKey));
  list.push_back(EnumProp<C>("Method", {"mtAutoDetect", "mtShellLinkInterface", "mtProgramManager"}, &C::Method,
                             &C::SetMethod));
}

void TCustomInstallShellLink::SetLinkName(const std::string& value) {
  if (IsLoading()) {
    linkName_ = value;
    return;
  }
  std::string ext = ExtractFileExt(value);
  if (SameText(ext, ".URL")) {
    SetObjectLink(nullptr);
    linkName_ = value;
  } else if (SameText(ext, ".LNK")) {
    linkName_ = value;
  } else {
    std::string previous = ExtractFileExt(linkName_);
    linkName_ = value + (previous.empty() ? std::string(".LNK") : previous);
  }
}

void TCustomInstallShellLink::SetObjectLink(TInstallContainer* value) {
  if (IsLoading()) {
    objectLink_ = value;
    if (value) value->FreeNotification(this);
    return;
  }
  if (!value) {
    objectLink_ = nullptr;
    objectLocationType_ = nullptr;
    return;
  }
  objectLink_ = value;
  value->FreeNotification(this);
  objectLocationType_ = ObjectLinkSpecifier();
  objectLocation_.clear();
  if (auto* file = dynamic_cast<TCustomInstallFile*>(value))
    linkName_ = ChangeFileExt(file->DestName(), ".lnk");
  else if (auto* group = dynamic_cast<TFileContainer*>(value))
    linkName_ = group->GroupName() + ".lnk";
  else
    linkName_ = value->Name() + ".lnk";
  if (!Container()) SetContainer(value);
}

void TCustomInstallShellLink::SetObjectLocation(const std::string& value) {
  if (IsLoading()) {
    objectLocation_ = value;
    return;
  }
  if (objectLocationType_ && objectLocationType_ == ObjectLinkSpecifier()) return;
  objectLocation_ = value;
  if (EndsWithText(linkName_, ".LNK")) return;
  for (const char* scheme : {"HTTP://", "FTP://"})
    if (StartsWithText(value, scheme)) {
      // The address holds "/", "?" and ":", which a file name cannot.
      SetLinkName(CleanFileName(value.substr(std::string(scheme).size())) + ".URL");
      return;
    }
  SetLinkName(ChangeFileExt(ExtractFileName(value), ""));
}

void TCustomInstallShellLink::SetObjectLocationType(TCustomPathSpecifier* value) {
  if (value && !IsLoading()) value->Check(this);
  objectLocationType_ = value;
  if (value) value->FreeNotification(this);
  if (value && value == ObjectLinkSpecifier() && !IsLoading()) objectLocation_.clear();
}

std::string TCustomInstallShellLink::ObjectLinkPath() {
  if (!objectLink_) return "";
  if (auto* file = dynamic_cast<TCustomInstallFile*>(objectLink_)) return file->DestPath();
  return objectLink_->GetDestDir();
}

std::string TCustomInstallShellLink::TargetPath() {
  if (!objectLocationType_) return RemoveBackslash(objectLocation_);
  return objectLocationType_->Expand(this) + objectLocation_;
}

std::string TCustomInstallShellLink::LinkPath() { return GetDestDir() + "\\" + linkName_; }

void TCustomInstallShellLink::ContainerDestroyed(TInstallContainer* other) {
  bool mine = other && other == Container();
  TInstallObject::ContainerDestroyed(other);
  if (other == objectLink_) objectLink_ = nullptr;
  // A link goes with its container.
  if (mine) delete this;
}

void TCustomInstallShellLink::Notification(TComponent* component, TOperation operation) {
  TInstallObject::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == objectLink_) objectLink_ = nullptr;
  if (component == objectLocationType_) objectLocationType_ = nullptr;
}

void TCustomInstallShellLink::Process() {
  if (objectLink_ && dynamic_cast<TUninstallEXE*>(objectLink_)) {
    TInstallInformation* info = InstallDriverInformation();
    if (!info)
      throw IEInstallShellLink("%s cannot perform operation because there is no TInstall component", {Name()});
    parameters_ = info->ProductName;
  }
  if (EndsWithText(linkName_, ".URL")) {
    MakeInternetShortcut();
  } else {
    TMethodType method = method_;
    if (method == mtAutoDetect) {
      int version = GetWindowsVersion();
      method = version == 0 || version == 3 ? mtProgramManager : mtShellLinkInterface;
    }
    if (method == mtProgramManager)
      MakeProgramManagerItem();
    else
      MakeShellLink();
  }
  TInstallObject::Process();
}

void TCustomInstallShellLink::MakeShellLink() {
  if (objectLink_ && dynamic_cast<TCustomShellLinkGroup*>(objectLink_)) ForceDirectories(objectLink_->GetDestDir());
  if (Trim(linkName_).empty()) throw IEInstallShellLink(kLinkNameBlank, {Name()});
  ForceDirectories(GetDestDir());
  std::string arguments = ExpandMetaVariables(parameters_, this);
  try {
    if (!comInitialized_) {
      long r = InitializeShellLinks();
      if (r > 1)
        throw IEInstallShellLink("Could not initialize IShellLink with following error code returned: %d",
                                 {static_cast<int>(r)});
      comInitialized_ = true;
    }
    std::string target = TargetPath();
    SaveShellLink(LinkPath(), target, arguments, RemoveBackslash(ExtractFileDir(target)), hotKey_);
  } catch (const IException&) {
    throw;
  } catch (const EShellLinkOle& e) {
    throw IEInstallShellLink(kOleNotInstalled,
                             {Name(), OleErrorText(e.Code, e.Message()), static_cast<int>(e.Code)});
  } catch (const Exception& e) {
    throw IEInstallShellLink(kNotInstalled, {Name(), e.Message()});
  }
}

void TCustomInstallShellLink::MakeInternetShortcut() {
  if (Trim(linkName_).empty()) throw IEInstallShellLink(kLinkNameBlank, {Name()});
  ForceDirectories(GetDestDir());
  // A failed write must not be logged and reported as installed.
  if (!WriteIniValue(LinkPath(), "InternetShortcut", "URL", objectLocation_))
    throw IEInstallShellLink(kNotInstalled, {Name(), "The Internet shortcut could not be written"});
}

void TCustomInstallShellLink::MakeProgramManagerItem() {
  if (!DestDirType() || DestDirType() != FindStandardPathSpecifier<TpsProgramMenu>()) return;
  std::string group = ExtractFileName(GetDestDir());
  if (Trim(group).empty()) throw IEInstallShellLink(kLinkNameBlank, {Name()});
  TProgramManager* pm = ProgramManager();
  pm->CreateGroup(group);
  pm->ShowGroup(group);
  std::string item = ChangeFileExt(linkName_, "");
  if (pm->HasItem(item)) pm->ReplaceItem(item);
  std::string target = TargetPath();
  std::string command = "\"" + target + "\"";
  std::string arguments = ExpandMetaVariables(parameters_, this);
  if (!arguments.empty()) command += " " + arguments;
  pm->AddItem(command, item, "", 0, "\"" + RemoveBackslash(ExtractFileDir(target)) + "\"", "");
}

void TCustomInstallShellLink::WriteUninstallLog(const std::string& key) {
  std::string path = LinkPath();
  for (int attempt = 0;; ++attempt) {
    std::string sub = key + "\\Files" + (attempt ? IntToStr(attempt) : std::string());
    try {
      int n = StrToIntDef(ReadRegistryString(hkLocalMachine, sub, "Entries", "0"), 0) + 1;
      WriteRegistryString(hkLocalMachine, sub, "File" + IntToStr(n), path);
      WriteRegistryString(hkLocalMachine, sub, "Entries", IntToStr(n));
      return;
    } catch (const EIRCannotWriteValue&) {
      if (attempt >= 99) throw;
    }
  }
}

// ---------------------------------------------------------------------------

TInstallMainLink::TInstallMainLink(TComponent* owner) : TCustomInstallShellLink(owner) {
  if (!gMainGroup && !OwnerLoading(owner)) throw IEInstallShellLink(kNeedMainGroup);
}

void TInstallMainLink::SetContainer(TInstallContainer* value) {
  if (value && !IsLoading() && !dynamic_cast<TMainLinkGroup*>(value)) throw IEInstallShellLink(kMainMustContain);
  TCustomInstallShellLink::SetContainer(value);
}

TInstallSubLink::TInstallSubLink(TComponent* owner) : TCustomInstallShellLink(owner) {
  if (SubGroups().empty() && !OwnerLoading(owner))
    throw IEInstallShellLink(
        "To create a TInstallSubLink you must first have at least one TSubLinkGroup component in your project");
}

void TInstallSubLink::SetContainer(TInstallContainer* value) {
  if (value && !IsLoading() && !dynamic_cast<TSubLinkGroup*>(value))
    throw IEInstallShellLink("A TSubLinkGroup component must be the Container for TInstallSubLink components");
  TCustomInstallShellLink::SetContainer(value);
}

// ---------------------------------------------------------------------------

void RegisterLinkAndRegistryClasses() {
  RegisterComponentClass<TMainLinkGroup>("TMainLinkGroup");
  RegisterComponentClass<TSubLinkGroup>("TSubLinkGroup");
  RegisterComponentClass<TInstallShellLink>("TInstallShellLink");
  RegisterComponentClass<TInstallMainLink>("TInstallMainLink");
  RegisterComponentClass<TInstallSubLink>("TInstallSubLink");
  RegisterComponentClass<TInstallRegistry>("TInstallRegistry");
  RegisterComponentClass<TUninstallEXE>("TUninstallEXE");
}

// ---------------------------------------------------------------------------

namespace {

bool IsReservedDeviceName(const std::string& part) {
  // Windows opens the device for these names, whatever the extension.
  std::string base = UpperCase(Trim(part.substr(0, part.find('.'))));
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  for (const char* d : devices)
    if (base == d) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

}  // namespace

TProgramFolderFault CheckProgramFolderName(const std::string& name) {
  // Nothing typed keeps the links in the programs folder itself.
  if (name.empty()) return pffNone;
  // A drive, a share or a rooted path names another place altogether.
  if (name[0] == '\\' || name[0] == '/' || (name.size() > 1 && name[1] == ':')) return pffLeavesPrograms;
  TProgramFolderFault fault = pffNone;
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("\\/", start);
    const std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part == "..") return pffLeavesPrograms;
    if (fault == pffNone) {
      // One trailing backslash is harmless; an empty part inside is not a name.
      if (part.empty() && end == std::string::npos && start > 0) break;
      if (part.empty() || part.back() == '.' || part.back() == ' ' || IsReservedDeviceName(part)) fault = pffBadName;
      for (unsigned char c : part)
        if (c < 32 || std::string("<>:\"/|?*").find(static_cast<char>(c)) != std::string::npos) fault = pffBadName;
    }
    if (end == std::string::npos) break;
    // A slash separates as a backslash does, but is no character of a name.
    if (name[end] == '/') fault = pffBadName;
    start = end + 1;
  }
  return fault;
}
