// The install object tree: child order and renumbering, install types,
// the install walk with its broadcasts, notifications going up through
// file containers, and a tree loaded from a form description.
#include <gtest/gtest.h>

#include <memory>

#include "container.h"
#include "loader.h"
#include "exception_text.h"

namespace {

std::vector<std::string> gLog;

class TTestFile : public TFileRelated {
 public:
  using TFileRelated::TFileRelated;
  int RegisteredType() const override { return rtInstallFile; }
  void Process() override {
    TFileRelated::Process();
    gLog.push_back("install " + Name());
  }
  void WriteUninstallLog(const std::string& key) override { gLog.push_back("log " + key); }
  int32_t StatusFileSize() override { return 100; }
};

class TTestRegistry : public TInstallObject {
 public:
  using TInstallObject::TInstallObject;
  int RegisteredType() const override { return rtInstallRegistry; }
  void Process() override { gLog.push_back("install " + Name()); }
};

class TTestLink : public TInstallObject {
 public:
  using TInstallObject::TInstallObject;
  int RegisteredType() const override { return rtShellLink; }
};

class TInstallBDE : public TInstallObject {
 public:
  using TInstallObject::TInstallObject;
  int RegisteredType() const override { return rtInstallRegistry; }
};

class TTestDialog : public TInstallObject {
 public:
  using TInstallObject::TInstallObject;
  int RegisteredType() const override { return rtDialog; }
  void ReceiveMessage(TInstallContainer* sender, int code, TObject* parameter) override {
    codes.push_back(code);
    gLog.push_back(Name() + " " + std::to_string(code));
    if (code == imPushStatus) status = static_cast<TMessageParameter*>(parameter)->Text;
  }
  std::vector<int> codes;
  std::string status;
};

class TTestGroup : public TFileContainer {
 public:
  using TFileContainer::TFileContainer;
};

template <class T>
T* Make(TComponent* owner, const std::string& name, TInstallContainer* container = nullptr, int order = -1) {
  T* t = new T(owner);
  t->SetName(name);
  if (order != -1) t->SetOrder(order);
  if (container) t->SetContainer(container);
  return t;
}

std::string Names(TInstallContainer* c) {
  std::string s;
  for (int i = 0; i < c->ChildrenCount(); ++i)
    s += (i ? " " : "") + c->Children(i)->Name() + ":" + std::to_string(c->Children(i)->Order());
  return s;
}

using testsupport::MessageOf;

}  // namespace

TEST(InstallerArchTree, ChildOrderAndRenumbering) {
  TComponent form(nullptr);
  auto* g = Make<TTestGroup>(&form, "Group");
  auto* reg = Make<TTestRegistry>(&form, "Reg", g);
  auto* dlg = Make<TTestDialog>(&form, "Dlg", g);
  auto* f1 = Make<TTestFile>(&form, "F1", g);
  auto* f2 = Make<TTestFile>(&form, "F2", g);
  auto* f3 = Make<TTestFile>(&form, "F3", g);
  auto* link = Make<TTestLink>(&form, "Link", g);
  auto* sub = Make<TTestGroup>(&form, "Sub", g);
  EXPECT_EQ(Names(g), "Sub:0 F1:0 F2:1 F3:2 Link:0 Reg:0 Dlg:0");

  Make<TTestFile>(&form, "F0", g, 0);
  EXPECT_EQ(Names(g), "Sub:0 F0:0 F1:1 F2:2 F3:3 Link:0 Reg:0 Dlg:0");
  f3->SetOrder(1);
  EXPECT_EQ(Names(g), "Sub:0 F0:0 F3:1 F1:2 F2:3 Link:0 Reg:0 Dlg:0");
  Make<TInstallBDE>(&form, "Bde", g);
  EXPECT_EQ(g->Children(0)->Name(), "Bde");

  EXPECT_EQ(g->ChildCount(rtInstallFile), 4);
  EXPECT_EQ(g->Child(1, rtInstallFile), f3);
  EXPECT_EQ(g->FileContainerCount(), 1);
  EXPECT_EQ(g->FileContainers(0), sub);
  EXPECT_NE(MessageOf<IEInstallContainer>([&] { g->Child(4, rtInstallFile); }).find("Index: 4, ComponentType: 2000"),
            std::string::npos);
  EXPECT_NE(MessageOf<IEInstallContainer>([&] {
              g->Children(99);
            }).find("following component: Group. The following index was used: 99"),
            std::string::npos);

  // No loops, no blanks.
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { g->SetContainer(sub); }), "Circular reference");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { g->AddChild(g); }), "Circular reference");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { g->AddChild(nullptr); }),
            "Cannot add a blank base helper component to Group");
  TInstallContainer bare(nullptr);
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { bare.RegisteredType(); }), "Class must declare a registered type");

  // Moving and destroying.
  f1->SetContainer(sub);
  EXPECT_EQ(Names(sub), "F1:0");
  delete f2;
  EXPECT_EQ(g->ChildCount(rtInstallFile), 2);
  EXPECT_EQ(Names(g).find("F2"), std::string::npos);
  delete sub;
  EXPECT_EQ(f1->Container(), nullptr);
  EXPECT_EQ(g->FileContainerCount(), 0);
  (void)reg, (void)dlg, (void)link;
}

TEST(InstallerArchTree, InstallTypesAndDestinations) {
  TComponent form(nullptr);
  CreateStandardPathSpecifiers(&form);
  auto* g = Make<TTestGroup>(&form, "Group");
  auto* sub = Make<TTestGroup>(&form, "Sub", g);
  auto* f = Make<TTestFile>(&form, "F", sub);

  f->SetInstallTypes({itAlways});
  f->SetInstallTypes({itFull, itAlways});
  EXPECT_EQ(f->InstallTypes(), TInstallTypeSet({itFull}));
  f->SetInstallTypes({itFull, itAlways});
  EXPECT_EQ(f->InstallTypes(), TInstallTypeSet({itAlways}));
  f->SetInstallTypes({});
  EXPECT_EQ(f->InstallTypes(), TInstallTypeSet({itAlways}));

  f->SetInstallTypes({itFull});
  g->SetCurrentInstallType(itCompact);
  EXPECT_EQ(f->CurrentInstallType(), itCompact) << "set on the whole tree";
  EXPECT_FALSE(f->Included());
  g->SetCurrentInstallType(itCustom);
  EXPECT_TRUE(f->Included());
  f->SetInclude(false);
  EXPECT_FALSE(f->Included());
  f->SetInclude(true);
  g->SetCurrentInstallType(itFull);
  EXPECT_TRUE(f->Included());

  // A file joining a container takes the container's folder.
  g->SetDestDir("C:\\App\\");
  EXPECT_EQ(f->DestDirType(), FindStandardPathSpecifier<TpsContainerDestDir>());
  f->SetDestDir("\\bin\\");
  EXPECT_EQ(f->GetDestDir(), "C:\\App\\bin");
  EXPECT_EQ(f->ArchiveFileType(), FindStandardPathSpecifier<TpsContainerArchiveFile>());
  f->SetContainer(nullptr);
  EXPECT_EQ(f->DestDirType(), nullptr);
  EXPECT_EQ(f->ArchiveFileType(), nullptr);
  EXPECT_EQ(f->GetDestDir(), "\\bin");
}

TEST(InstallerArchTree, InstallWalkAndBroadcasts) {
  TComponent form(nullptr);
  auto* g = Make<TTestGroup>(&form, "Group");
  auto* dlg = Make<TTestDialog>(&form, "Dlg", g);
  auto* reg = Make<TTestRegistry>(&form, "Reg", g);
  auto* f1 = Make<TTestFile>(&form, "F1", g);
  auto* f2 = Make<TTestFile>(&form, "F2", g);
  auto* f3 = Make<TTestFile>(&form, "F3", g);
  auto* f4 = Make<TTestFile>(&form, "F4", g);
  auto* inner = Make<TTestDialog>(&form, "Inner", f2);
  f3->SetInclude(false);
  f4->SetInstallTypes({itFull});
  g->SetCurrentInstallType(itCompact);

  TInstallInformation info;
  info.ProductName = "Prod";
  RegisterInstallDriver(g, &info);
  gLog.clear();
  f1->OnBeforeProcess = [](TInstallContainer*) { throw EAbort("skip"); };
  g->Install();
  RegisterInstallDriver(nullptr, nullptr);
  std::vector<std::string> expected = {"Dlg -990", "Dlg -999",
                                       // A file container tells its page that its files start...
                                       "Dlg -992",
                                       // F1 skips itself, F2 installs and tells its own dialog, F3 is not
                                       // included, F4 has the wrong install type; Reg is no file and the
                                       // base walk leaves it to its own installer.
                                       "Inner -990", "Inner -999", "install F2",
                                       "log \\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Prod",
                                       "Inner -989",
                                       // ... and that they are done.
                                       "Dlg -996", "Dlg -989"};
  EXPECT_EQ(gLog, expected);
  EXPECT_TRUE(f2->Processed());
  EXPECT_FALSE(f1->Processed());
  EXPECT_FALSE(f4->Processed());

  // Any other exception reaches the caller.
  f1->OnBeforeProcess = [](TInstallContainer*) { throw Exception("boom"); };
  EXPECT_THROW(g->Install(), Exception);

  g->PushStatus("Reading");
  EXPECT_EQ(dlg->status, "Reading");
  g->PopStatus();
  EXPECT_EQ(dlg->codes.back(), imPopStatus);
  EXPECT_EQ(inner->codes.back(), imInstallEnd) << "broadcasts do not go further down";

  // A message target takes every broadcast alone.
  gLog.clear();
  auto* other = Make<TTestDialog>(&form, "Other", g);
  g->SetMessageTarget(other);
  g->SendInstallMessage(g, imGoodEnd, nullptr);
  EXPECT_EQ(gLog, std::vector<std::string>({"Other -995"}));
  (void)reg;
}

TEST(InstallerArchTree, NotificationsGoUpThroughFileContainers) {
  TComponent form(nullptr);
  auto* top = Make<TTestGroup>(&form, "Top");
  auto* g = Make<TTestGroup>(&form, "Group", top);
  auto* dlg = Make<TTestDialog>(&form, "Dlg", g);
  auto* topDlg = Make<TTestDialog>(&form, "TopDlg", top);
  auto* f = Make<TTestFile>(&form, "F", g);
  g->SetRunState(fcsInstall);
  top->SetRunState(fcsInstall);
  g->SetTotalSize(1000);
  g->SetBytesDoneTotal(100);

  std::vector<std::string> seen;
  g->OnStatus = [&](TObject*, TFileRelated* file, TFileStatusParameter* s) {
    seen.push_back("g " + file->Name() + " " + std::to_string(s->OverallBytesDone) + " " +
                   std::to_string(s->OverallPercent));
  };
  top->OnStatus = [&](TObject*, TFileRelated*, TFileStatusParameter* s) { seen.push_back("top"); };

  TFileStatusParameter status;
  status.BytesDone = 150;
  status.Stats.Size = 400;
  TList list;
  list.Add(static_cast<TObject*>(f));
  list.Add(static_cast<TObject*>(&status));
  g->ChildNotify(f, cnInstallStatus, &list);
  EXPECT_EQ(seen, std::vector<std::string>({"g F 250 25", "top"}));
  EXPECT_EQ(dlg->codes, std::vector<int>({imFileStatus}));
  EXPECT_EQ(topDlg->codes, std::vector<int>({imFileStatus}));
  EXPECT_EQ(g->BytesDoneTotal(), 100) << "not complete yet";
  status.Stats.Done = true;
  g->ChildNotify(f, cnInstallStatus, &list);
  EXPECT_EQ(g->BytesDoneTotal(), 500);

  // A file finished without transfer counts its whole size.
  seen.clear();
  g->ChildNotify(f, cnSkipped, f);
  EXPECT_EQ(seen.front(), "g F 600 60");
  EXPECT_EQ(g->BytesDoneTotal(), 600);

  TDiskParameter disk;
  disk.DiskNumber = 3;
  disk.Path = "A:\\";
  g->OnNewDisk = [](TObject*, TFileRelated*, int number, std::string& path) { path = "B:\\" + std::to_string(number); };
  TList diskList;
  diskList.Add(static_cast<TObject*>(f));
  diskList.Add(static_cast<TObject*>(&disk));
  g->ChildNotify(f, cnNewDisk, &diskList);
  EXPECT_EQ(disk.Path, "B:\\3");
  EXPECT_EQ(dlg->codes.back(), imNewDisk);

  // Idle containers ignore notifications and pass nothing on.
  g->SetRunState(fcsNone);
  seen.clear();
  g->ChildNotify(f, cnInstallStatus, &list);
  EXPECT_TRUE(seen.empty());

  g->SetRunState(fcsCopy);
  TList shortList;
  shortList.Add(static_cast<TObject*>(f));
  TList badFirst;
  badFirst.Add(static_cast<TObject*>(&status));
  badFirst.Add(static_cast<TObject*>(&status));
  TList badSecond;
  badSecond.Add(static_cast<TObject*>(f));
  badSecond.Add(static_cast<TObject*>(f));
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnCopyStatus, nullptr); }),
            "Group got a nil PO parameter");
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnCopyStatus, f); }),
            "DoInformationEventControl--PO is not a TList object");
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnCopyStatus, &shortList); }),
            "DoInformationEventControl--Not engouh parameters for status event");
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnCopyStatus, &badFirst); }),
            "DoInformationEventControl says bad first parameter");
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnCopyStatus, &badSecond); }),
            "DoInformationEventControl says bad second parameter");
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnReplacing, g); }),
            "DoInformationEventControl parameter is not TInstallFile");
  EXPECT_EQ(MessageOf<IEFileContainer>([&] { g->ChildNotify(f, cnDownloadStatus, &status); }),
            "The PO object passed to Group is not a TDownloadStatusParameter object");
}

TEST(InstallerArchTree, LoaderBuildsTheTreeInFormOrder) {
  RegisterComponentClass<TTestGroup>("TTestGroup");
  RegisterComponentClass<TTestFile>("TTestFile");
  RegisterComponentClass<TTestRegistry>("TTestRegistry");
  RegisterComponentClass<TTestDialog>("TTestDialog");
  TComponent form(nullptr);
  std::vector<TFormComponent> desc = {
      {"TTestDialog", "Dlg", {{"Container", "Main"}}},
      {"TTestGroup", "Main", {}},
      {"TTestRegistry", "Reg", {{"Container", "Main"}}},
      {"TTestFile", "F1", {{"Order", "5"}, {"Container", "Main"}}},
      {"TTestFile",
       "F2",
       {{"Container", "Main"},
        {"Order", "1"},
        {"Include", "False"},
        {"InstallTypes", "[itFull, itCompact]"},
        {"DestDir", "\\sub"}}},
      {"TTestGroup", "Sub", {{"Container", "Main"}}},
  };
  auto made = LoadForm(&form, desc);
  ASSERT_EQ(made.size(), 6u);
  auto* main = static_cast<TInstallContainer*>(form.FindComponent("Main"));
  ASSERT_NE(main, nullptr);
  // Joined in form order with their streamed Order, renumbered once loaded.
  EXPECT_EQ(Names(main), "Sub:0 F2:0 F1:1 Reg:0 Dlg:0");
  auto* f2 = static_cast<TInstallContainer*>(form.FindComponent("F2"));
  EXPECT_FALSE(f2->Include());
  EXPECT_EQ(f2->InstallTypes(), TInstallTypeSet({itFull, itCompact}));
  EXPECT_EQ(f2->DestDir(), "\\sub");
  EXPECT_EQ(form.ComponentState() & csLoading, 0u);

  TComponent other(nullptr);
  EXPECT_NE(MessageOf<EReadError>([&] {
              LoadForm(&other, {{"TNoSuchClass", "X", {}}});
            }).find("TNoSuchClass"),
            std::string::npos);
  EXPECT_NE(MessageOf<EReadError>([&] {
              LoadForm(&other, {{"TTestFile", "Y", {{"Container", "Nowhere"}}}});
            }).find("Unresolved reference to Nowhere"),
            std::string::npos);
  EXPECT_NE(MessageOf<EReadError>([&] {
              LoadForm(&other, {{"TTestFile", "Z", {{"Include", "maybe"}}}});
            }).find("Include"),
            std::string::npos);
}

TEST(InstallerArchTree, DesignDefaultsAndRemovedSpecifiers) {
  TComponent form(nullptr);
  CreateStandardPathSpecifiers(&form);
  auto* driver = Make<TTestGroup>(&form, "Driver");
  TInstallInformation info;
  RegisterInstallDriver(driver, &info);
  form.SetDesigning(true);
  auto* dropped = new TTestFile(&form);
  dropped->JoinDriver();
  EXPECT_EQ(dropped->Container(), driver);
  EXPECT_EQ(dropped->DestDirType(), FindStandardPathSpecifier<TpsContainerDestDir>());
  // Loaded without a streamed Container or DestDirType: the defaults go.
  dropped->Loading();
  dropped->Loaded();
  EXPECT_EQ(dropped->Container(), nullptr);
  EXPECT_EQ(dropped->DestDirType(), nullptr);
  EXPECT_EQ(driver->ChildCount(rtInstallFile), 0);
  // Streamed ones stay.
  auto* kept = new TTestFile(&form);
  kept->JoinDriver();
  kept->Loading();
  kept->SetContainer(driver);
  kept->Loaded();
  EXPECT_EQ(kept->Container(), driver);
  RegisterInstallDriver(nullptr, nullptr);
  form.SetDesigning(false);

  auto* own = new TPathSpecifier(&form);
  kept->SetDestDirType(own);
  delete own;
  EXPECT_EQ(kept->DestDirType(), nullptr);
}
