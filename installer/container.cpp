#include "container.h"

#include <algorithm>
#include <cmath>

#include "translator_sys.h"

const char* const UninstallKeyPrefix = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

std::vector<TInstallContainer*>& AllObjects() {
  static std::vector<TInstallContainer*> list;
  return list;
}

TInstallContainer* gDriver = nullptr;
TInstallInformation* gDriverInfo = nullptr;

TInstallContainer* ParentOf(TInstallContainer* c) {
  auto* o = dynamic_cast<TInstallObject*>(c);
  return o ? o->Container() : nullptr;
}

TCustomPathSpecifier* ContainerDestDirSpecifier() { return FindStandardPathSpecifier<TpsContainerDestDir>(); }
TCustomPathSpecifier* ContainerArchiveSpecifier() { return FindStandardPathSpecifier<TpsContainerArchiveFile>(); }

// The path specifiers ask the tree through these hooks; ones already set by
// another unit are left alone.
bool HookTree() {
  TPathSpecifierTree& t = PathSpecifierTree();
  if (!t.IsInstallObject) t.IsInstallObject = [](TComponent* c) { return dynamic_cast<TInstallObject*>(c) != nullptr; };
  if (!t.ContainerOf)
    t.ContainerOf = [](TComponent* c) -> TComponent* {
      auto* o = dynamic_cast<TInstallObject*>(c);
      return o ? o->Container() : nullptr;
    };
  if (!t.IsFileRelated) t.IsFileRelated = [](TComponent* c) { return dynamic_cast<TFileRelated*>(c) != nullptr; };
  if (!t.ArchiveFileOf)
    t.ArchiveFileOf = [](TComponent* c) {
      auto* f = dynamic_cast<TFileRelated*>(c);
      return f ? f->GetArchivePath() : std::string();
    };
  if (!t.DestDirOf)
    t.DestDirOf = [](TComponent* c) {
      auto* i = dynamic_cast<TInstallContainer*>(c);
      return i ? i->GetDestDir() : std::string();
    };
  if (!t.InstallDriver) t.InstallDriver = []() -> TComponent* { return gDriver; };
  return true;
}
const bool kHooked = HookTree();

}  // namespace

const std::vector<TInstallContainer*>& InstallObjectList() { return AllObjects(); }

void RegisterInstallDriver(TInstallContainer* driver, TInstallInformation* information) {
  gDriver = driver;
  gDriverInfo = driver ? information : nullptr;
}

TInstallContainer* InstallDriver() { return gDriver; }

bool IsFormOrDataModule(TComponent* component) {
  return component && (IsFormComponent(component) || component->ClassName() == "TDataModule");
}

// ---------------------------------------------------------------------------

TInstallContainer::TInstallContainer(TComponent* owner) : TComponent(owner) {
  (void)kHooked;
  AllObjects().push_back(this);
  // The destinations and archives of a form's objects are written through
  // the standard specifiers; the form holds them without being told to.
  if (IsFormOrDataModule(owner)) CreateStandardPathSpecifiers(owner);
}

TInstallContainer::~TInstallContainer() {
  auto& all = AllObjects();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  if (gDriver == this) RegisterInstallDriver(nullptr, nullptr);
  // Links and link groups free themselves when told that their container
  // goes, and their children may follow them: walk a copy and skip those
  // that are gone by the time their turn comes.
  std::vector<TInstallContainer*> others = all;
  for (TInstallContainer* other : others)
    if (std::find(all.begin(), all.end(), other) != all.end()) other->ContainerDestroyed(this);
  children_.clear();
}

void TInstallContainer::PublishProperties(TPropList& list) const {
  TComponent::PublishProperties(list);
  list.push_back(BoolProp<TInstallContainer>("Include", &TInstallContainer::Include, &TInstallContainer::SetInclude));
  TPropInfo types;
  types.Name = "InstallTypes";
  types.Kind = pkSet;
  types.EnumNames = {"itFull", "itDefault", "itCompact", "itAlways", "itCustom"};
  types.GetOrd = [](TPersistent* o) {
    return static_cast<int64_t>(static_cast<TInstallContainer*>(o)->InstallTypes().Bits());
  };
  types.SetOrd = [](TPersistent* o, int64_t v) {
    static_cast<TInstallContainer*>(o)->SetInstallTypes(TInstallTypeSet::FromBits(static_cast<unsigned>(v)));
  };
  list.push_back(types);
  list.push_back(IntProp<TInstallContainer>("Order", &TInstallContainer::Order, &TInstallContainer::SetOrder));
  list.push_back(StrProp<TInstallContainer>("DestDir", &TInstallContainer::DestDir, &TInstallContainer::SetDestDir));
  list.push_back(ObjProp<TInstallContainer, TCustomPathSpecifier>("DestDirType", &TInstallContainer::DestDirType,
                                                                  &TInstallContainer::SetDestDirType));
}

void TInstallContainer::SetInstallTypes(TInstallTypeSet value) {
  bool newlyAlways = value.Contains(itAlways) && !installTypes_.Contains(itAlways);
  if (value.Empty() || newlyAlways) {
    installTypes_ = TInstallTypeSet{itAlways};
    return;
  }
  TInstallTypeSet without = value;
  without.Exclude(itAlways);
  installTypes_ = without.Empty() ? value : without;
}

void TInstallContainer::SetOrder(int value) {
  TInstallContainer* parent = ParentOf(this);
  if (IsLoading() || value == order_ || !parent) {
    order_ = value;
    return;
  }
  parent->RemoveChild(this);
  order_ = value;
  parent->AddChild(this);
}

void TInstallContainer::SetDestDir(const std::string& value) { destDir_ = value; }

void TInstallContainer::SetDestDirType(TCustomPathSpecifier* value) {
  if (IsLoading()) destDirTypeStreamed_ = true;
  if (value == destDirType_) return;
  if (value && !IsLoading()) value->Check(this);
  if (destDirType_) destDirType_->RemoveFreeNotification(this);
  destDirType_ = value;
  if (value) value->FreeNotification(this);
}

void TInstallContainer::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == destDirType_) destDirType_ = nullptr;
  if (component == messageTarget_) messageTarget_ = nullptr;
}

void TInstallContainer::SetCurrentInstallType(TInstallType type) {
  std::vector<TInstallContainer*> kids = children_;
  for (TInstallContainer* c : kids) c->SetCurrentInstallType(type);
  currentInstallType_ = type;
}

TInstallContainer* TInstallContainer::Children(int index) const {
  if (index < 0 || index >= ChildrenCount())
    throw IEInstallContainer(
        "Tried to reference a helper component in the following component: %s. The following index was used: %d",
        {Name(), index});
  return children_[static_cast<size_t>(index)];
}

int TInstallContainer::ChildCount(int registeredType) const {
  int n = 0;
  for (TInstallContainer* c : children_)
    if (c->RegisteredType() == registeredType) ++n;
  return n;
}

TInstallContainer* TInstallContainer::Child(int index, int registeredType) const {
  int n = 0;
  for (TInstallContainer* c : children_) {
    if (c->RegisteredType() != registeredType) continue;
    if (n == index) return c;
    ++n;
  }
  throw IEInstallContainer(
      "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer component. The "
      "parameters are probably reversed. Index: %d, ComponentType: %d",
      {index, registeredType});
}

int TInstallContainer::FileContainerCount() { return ChildCount(rtFileContainer); }

TInstallContainer* TInstallContainer::FileContainers(int index) { return Child(index, rtFileContainer); }

bool TInstallContainer::InstallTypeMatches() const {
  return currentInstallType_ == itAlways || currentInstallType_ == itCustom || installTypes_.Contains(itAlways) ||
         installTypes_.Contains(currentInstallType_);
}

void TInstallContainer::SendInstallMessage(TInstallContainer* sender, int code, TObject* parameter) {
  std::vector<TInstallContainer*> kids = children_;
  for (TInstallContainer* c : kids) {
    if (messageTarget_) {
      if (c == messageTarget_) c->ReceiveMessage(sender, code, parameter);
    } else if (c->RegisteredType() == rtDialog) {
      c->ReceiveMessage(sender, code, parameter);
    }
  }
}

void TInstallContainer::PushStatus(const std::string& text) {
  TMessageParameter p;
  p.Text = text;
  SendInstallMessage(this, imPushStatus, &p);
}

void TInstallContainer::PopStatus() { SendInstallMessage(this, imPopStatus, nullptr); }

void TInstallContainer::ContainerDestroyed(TInstallContainer* other) {
  if (std::find(children_.begin(), children_.end(), other) != children_.end()) RemoveChild(other);
  if (other == messageTarget_) messageTarget_ = nullptr;
}

void TInstallContainer::ChildNotify(TInstallContainer*, int, TObject*) {}
void TInstallContainer::ReceiveMessage(TInstallContainer*, int, TObject*) {}
void TInstallContainer::AfterReboot() {}
void TInstallContainer::Retranslate() {}
void TInstallContainer::WriteUninstallLog(const std::string&) {}

std::string TInstallContainer::GetDestDir() {
  std::string dir = destDirType_ ? destDirType_->Expand(this) + destDir_ : destDir_;
  return ExcludeTrailingBackslash(dir);
}

int TInstallContainer::RegisteredType() const { throw IEInstallContainer("Class must declare a registered type"); }

void TInstallContainer::AddChild(TInstallContainer* child) {
  if (!child) throw IEInstallContainer("Cannot add a blank base helper component to %s", {Name()});
  if (child == this) throw IEInstallContainer("Circular reference");
  // A loop in the tree would make the install recurse without end: the
  // child may be neither above its current container nor above this one.
  size_t limit = AllObjects().size() + 1;
  size_t steps = 0;
  for (TInstallContainer* c = ParentOf(child); c && steps <= limit; c = ParentOf(c), ++steps)
    if (c == child) throw IEInstallContainer("Circular reference");
  steps = 0;
  for (TInstallContainer* c = ParentOf(this); c && steps <= limit; c = ParentOf(c), ++steps)
    if (c == child) throw IEInstallContainer("Circular reference");

  const int type = child->RegisteredType();
  auto old = std::find(children_.begin(), children_.end(), child);
  if (old != children_.end()) children_.erase(old);
  size_t index = children_.size();
  std::string className = child->ClassName();
  className = className.substr(className.rfind(':') == std::string::npos ? 0 : className.rfind(':') + 1);
  if (SameText(className, "TINSTALLBDE")) {
    index = 0;
  } else {
    for (size_t i = 0; i < children_.size(); ++i) {
      int t = children_[i]->RegisteredType();
      if (t > type || (t == type && child->Order() != -1 && children_[i]->Order() >= child->Order())) {
        index = i;
        break;
      }
    }
  }
  children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(index), child);
  if (!IsLoading()) Renumber();
}

void TInstallContainer::RemoveChild(TInstallContainer* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return;
  children_.erase(it);
  if (!IsLoading()) Renumber();
}

void TInstallContainer::Renumber() {
  int n = 0;
  int lastType = 0;
  bool first = true;
  for (TInstallContainer* c : children_) {
    int t = c->RegisteredType();
    if (first || t != lastType) n = 0;
    c->order_ = n++;
    lastType = t;
    first = false;
  }
}

void TInstallContainer::Loaded() {
  TComponent::Loaded();
  Renumber();
}

void TInstallContainer::Install() {
  try {
    if (OnBeforeProcess) OnBeforeProcess(this);
    SendInstallMessage(this, imInstallStart, nullptr);
    if (!include_) return;
    if (OnIncluded) OnIncluded(this);
    SendInstallMessage(this, imIncluded, nullptr);
    if (!InstallTypeMatches()) return;
    Process();
    processed_ = true;
    if (gDriver && gDriverInfo) WriteUninstallLog(UninstallKeyPrefix + gDriverInfo->ProductName);
    if (OnAfterProcess) OnAfterProcess(this);
    SendInstallMessage(this, imInstallEnd, nullptr);
  } catch (const EAbort&) {
    // An object skips itself by aborting; the run goes on.
  }
}

void TInstallContainer::Process() {
  processed_ = true;
  std::vector<TInstallContainer*> kids = children_;
  for (TInstallContainer* c : kids)
    if (c->installable_) c->Install();
}

// ---------------------------------------------------------------------------

TInstallObject::TInstallObject(TComponent* owner) : TInstallContainer(owner) {
  createdDesigning_ = owner && (owner->ComponentState() & csDesigning);
}

void TInstallObject::JoinDriver() {
  if (!createdDesigning_ || !gDriver || gDriver == this) return;
  SetContainer(gDriver);
  SetDestDirType(ContainerDestDirSpecifier());
  SetDestDir("");
}

void TInstallObject::PublishProperties(TPropList& list) const {
  TInstallContainer::PublishProperties(list);
  list.push_back(ObjProp<TInstallObject, TInstallContainer>("Container", &TInstallObject::Container,
                                                            &TInstallObject::SetContainer));
}

void TInstallObject::SetContainer(TInstallContainer* value) {
  if (IsLoading()) containerStreamed_ = true;
  if (value == container_) return;
  if (value) value->AddChild(this);
  if (container_) container_->RemoveChild(this);
  container_ = value;
  if (IsLoading()) return;
  if (value) {
    SetDestDirType(ContainerDestDirSpecifier());
    SetDestDir("");
  } else if (DestDirType() && DestDirType() == ContainerDestDirSpecifier()) {
    SetDestDirType(nullptr);
  }
}

void TInstallObject::ContainerDestroyed(TInstallContainer* other) {
  TInstallContainer::ContainerDestroyed(other);
  if (other == container_) container_ = nullptr;
}

void TInstallObject::Loaded() {
  // Defaults given when the object was created on the form do not outlive
  // a form that streamed nothing for them.
  if (createdDesigning_) {
    if (!containerStreamed_ && container_) {
      container_->RemoveChild(this);
      container_ = nullptr;
    }
    if (!destDirTypeStreamed_) SetDestDirType(nullptr);
  }
  TInstallContainer::Loaded();
}

// ---------------------------------------------------------------------------

TFileRelated::TFileRelated(TComponent* owner) : TInstallObject(owner) { installable_ = 1; }

TFileRelated::~TFileRelated() = default;

void TFileRelated::SetNetLocation(TNetInstallLocation* value) {
  if (value == netLocation_) return;
  if (netLocation_) netLocation_->RemoveFreeNotification(this);
  netLocation_ = value;
  if (value) value->FreeNotification(this);
}

TFileContainer* TFileRelated::FileContainer() const { return dynamic_cast<TFileContainer*>(Container()); }

void TFileRelated::PublishProperties(TPropList& list) const {
  TInstallObject::PublishProperties(list);
  list.push_back(StrProp<TFileRelated>("ArchiveFile", &TFileRelated::ArchiveFile, &TFileRelated::SetArchiveFile));
  list.push_back(ObjProp<TFileRelated, TCustomPathSpecifier>("ArchiveFileType", &TFileRelated::ArchiveFileType,
                                                             &TFileRelated::SetArchiveFileType));
  list.push_back(BoolProp<TFileRelated>("Net", &TFileRelated::Net, &TFileRelated::SetNet));
  list.push_back(ObjProp<TFileRelated, TNetInstallLocation>("NetLocation", &TFileRelated::NetLocation,
                                                            &TFileRelated::SetNetLocation));
}

namespace {

// These two name a whole archive: a file name after them means nothing.
bool NamesWholeArchive(TCustomPathSpecifier* type) {
  return type && (type == ContainerArchiveSpecifier() || type == FindStandardPathSpecifier<TpsMainArchiveFile>());
}

}  // namespace

void TFileRelated::SetArchiveFile(const std::string& value) {
  archiveFile_ = !IsLoading() && NamesWholeArchive(archiveFileType_) ? std::string() : value;
}

void TFileRelated::SetArchiveFileType(TCustomPathSpecifier* value) {
  if (value == archiveFileType_) return;
  if (archiveFileType_) archiveFileType_->RemoveFreeNotification(this);
  archiveFileType_ = value;
  if (value) value->FreeNotification(this);
  if (!IsLoading() && NamesWholeArchive(value)) archiveFile_.clear();
}

void TFileRelated::Loaded() {
  TInstallObject::Loaded();
  if (NamesWholeArchive(archiveFileType_)) archiveFile_.clear();
}

std::string TFileRelated::GetArchivePath() {
  std::string path = archiveFileType_ ? archiveFileType_->Expand(this) + archiveFile_ : archiveFile_;
  return ExcludeTrailingBackslash(path);
}

void TFileRelated::SetContainer(TInstallContainer* value) {
  TInstallContainer* before = Container();
  TInstallObject::SetContainer(value);
  if (IsLoading() || before == value) return;
  if (dynamic_cast<TFileRelated*>(value)) {
    SetArchiveFileType(ContainerArchiveSpecifier());
    SetArchiveFile("");
  } else if (!value && archiveFileType_ && archiveFileType_ == ContainerArchiveSpecifier()) {
    SetArchiveFileType(nullptr);
  }
}

void TFileRelated::Notification(TComponent* component, TOperation operation) {
  TInstallObject::Notification(component, operation);
  if (operation == opRemove && component == archiveFileType_) archiveFileType_ = nullptr;
  if (operation == opRemove && component == netLocation_) netLocation_ = nullptr;
}

// ---------------------------------------------------------------------------

TFileContainer::TFileContainer(TComponent* owner) : TFileRelated(owner), description_(new TStringList) {}

TFileContainer::~TFileContainer() { delete description_; }

void TFileContainer::SetDescription(TStrings* value) {
  if (value)
    description_->Assign(value);
  else
    description_->Clear();
}

void TFileContainer::PublishProperties(TPropList& list) const {
  TFileRelated::PublishProperties(list);
  using C = TFileContainer;
  list.push_back(BoolProp<C>("AllowChangeDir", &C::AllowChangeDir, &C::SetAllowChangeDir));
  list.push_back(BoolProp<C>("AllowChoice", &C::AllowChoice, &C::SetAllowChoice));
  list.push_back(ObjProp<C, TStrings>("Description", &C::Description, &C::SetDescription));
  list.push_back(StrProp<C>("GroupName", &C::GroupName, &C::SetGroupName));
}

TFileRelated* TFileContainer::FileParameter(TObject* parameter) {
  auto* file = dynamic_cast<TFileRelated*>(parameter);
  if (!file || file->RegisteredType() != rtInstallFile)
    throw IEFileContainer("DoInformationEventControl parameter is not TInstallFile");
  return file;
}

void TFileContainer::FillOverall(TFileStatusParameter* status) {
  status->OverallBytesDone = bytesDone_ + status->BytesDone;
  double pct = totalSize_ > 0 ? std::round(static_cast<double>(status->OverallBytesDone) / totalSize_ * 100.0) : 0;
  status->OverallPercent = static_cast<uint8_t>(std::min(std::max(pct, 0.0), 255.0));
}

void TFileContainer::ChildNotify(TInstallContainer* sender, int code, TObject* parameter) {
  if (state_ == fcsNone) return;
  switch (code) {
    case cnReplacing: {
      if (!parameter) throw IEFileContainer("%s got a nil PO parameter", {Name()});
      TFileRelated* file = FileParameter(parameter);
      if (OnReplacing) OnReplacing(this, file);
      SendInstallMessage(this, imBeforeReplace, file);
      break;
    }
    case cnInstallStatus:
    case cnCompressStatus:
    case cnCopyStatus:
    case cnNewDisk: {
      if (!parameter) throw IEFileContainer("%s got a nil PO parameter", {Name()});
      auto* list = dynamic_cast<TList*>(parameter);
      if (!list) throw IEFileContainer("DoInformationEventControl--PO is not a TList object");
      if (list->Count() < 2) throw IEFileContainer("DoInformationEventControl--Not engouh parameters for status event");
      auto* file = dynamic_cast<TFileRelated*>(static_cast<TObject*>(list->Items(0)));
      if (!file) throw IEFileContainer("DoInformationEventControl says bad first parameter");
      TObject* second = static_cast<TObject*>(list->Items(1));
      if (code == cnNewDisk) {
        auto* disk = dynamic_cast<TDiskParameter*>(second);
        if (!disk) throw IEFileContainer("DoInformationEventControl says bad %d parameter", {2});
        if (OnNewDisk) OnNewDisk(this, file, disk->DiskNumber, disk->Path);
        SendInstallMessage(this, imNewDisk, list);
        break;
      }
      auto* status = dynamic_cast<TFileStatusParameter*>(second);
      if (!status) throw IEFileContainer("DoInformationEventControl says bad second parameter");
      FillOverall(status);
      if (OnStatus) OnStatus(this, file, status);
      SendInstallMessage(this, imFileStatus, status);
      if (status->Stats.Done) bytesDone_ += status->Stats.Size;
      break;
    }
    case cnDownloadStatus: {
      auto* status = dynamic_cast<TDownloadStatusParameter*>(parameter);
      if (!status)
        throw IEFileContainer("The PO object passed to %s is not a TDownloadStatusParameter object", {Name()});
      if (OnDataReceived) OnDataReceived(this, status->Name, status->Bytes, status->Received, status->Total, nullptr);
      SendInstallMessage(this, imDownloadStatus, status);
      break;
    }
    case cnSkipped:
    case cnNotTransferred: {
      if (!parameter) throw IEFileContainer("%s got a nil PO parameter", {Name()});
      TFileRelated* file = FileParameter(parameter);
      TFileStatusParameter status;
      status.BytesDone = file->StatusFileSize();
      status.PercentDone = 100;
      status.FileName = file->StatusFileName();
      status.Stats.Size = status.BytesDone;
      status.Stats.BytesDone = status.BytesDone;
      status.Stats.PercentDone = 100;
      status.Stats.FileName = status.FileName;
      status.Stats.Done = true;
      FillOverall(&status);
      if (OnStatus) OnStatus(this, file, &status);
      SendInstallMessage(this, imFileStatus, &status);
      bytesDone_ += status.BytesDone;
      break;
    }
    default:
      break;
  }
  if (TInstallContainer* parent = Container()) parent->ChildNotify(this, code, parameter);
}
