// The design-time rules of install files: what a changed name, file type
// or destination type sets, the container and 8.3 checks, and the sizes a
// container adds up.
#include <gtest/gtest.h>

#include <memory>

#include "installfile.h"
#include "exception_text.h"

namespace {

using testsupport::MessageOf;

struct Form {
  Form() : owner(new TComponent(nullptr)) {
    CreateStandardPathSpecifiers(owner.get());
    driver = new TFileContainer(owner.get());
    driver->SetName("Install");
    driver->SetDestDir("C:\\Program Files\\Test");
    RegisterInstallDriver(driver, nullptr);
    group = new TInstallFileGroup(owner.get());
    group->SetName("Group");
    group->SetContainer(driver);
  }
  TInstallFile* File(const std::string& name) {
    auto* f = new TInstallFile(owner.get());
    f->SetName("F" + std::to_string(++count));
    f->SetContainer(group);
    f->SetIncludeFromDir("C:\\src");
    f->SetFileName(name);
    return f;
  }
  std::unique_ptr<TComponent> owner;
  TFileContainer* driver;
  TInstallFileGroup* group;
  int count = 0;
};

}  // namespace

TEST(InstallFileRules, NamesTypesAndDestinations) {
  Form form;
  TInstallFile* help = form.File("GUIDE.HLP");
  EXPECT_EQ(help->DestName(), "GUIDE.HLP");
  EXPECT_TRUE(help->RegisterAsHelp());
  EXPECT_FALSE(help->ActiveX());
  EXPECT_TRUE(form.File("guide.cnt")->RegisterAsHelp());
  help->SetFileName("Other.txt");
  EXPECT_EQ(help->DestName(), "Other.txt");

  TInstallFile* ocx = form.File("GRID.OCX");
  EXPECT_TRUE(ocx->ActiveX());
  EXPECT_EQ(ocx->FileType(), iftSystemWideDLL);
  EXPECT_EQ(ocx->OverwriteMode(), owVersionDate);
  EXPECT_TRUE(ocx->UpdateDLLCounter());
  EXPECT_EQ(ocx->DestDirType(), FindStandardPathSpecifier<TpsSystem>());

  struct Row {
    const char* name;
    TInstallFileType type;
    TOverwriteType mode;
    bool counter;
    const std::type_info* dirType;
    const char* dir;
  };
  const Row rows[] = {
      {"a.dll", iftJustADLL, owVersionDate, false, &typeid(TpsContainerDestDir), ""},
      {"b.dll", iftApplicationSpecificDLL, owVersionDate, false, &typeid(TpsMainInstall), "\\System"},
      {"c.dll", iftVendorSharedDLL, owVersionDate, true, &typeid(TpsCommonFiles), "\\System"},
      {"d.dll", iftSystemWideDLL, owVersionDate, true, &typeid(TpsSystem), ""},
  };
  for (const Row& r : rows) {
    TInstallFile* f = form.File(r.name);
    f->SetFileType(r.type);
    EXPECT_EQ(f->OverwriteMode(), r.mode) << r.name;
    EXPECT_EQ(f->UpdateDLLCounter(), r.counter) << r.name;
    ASSERT_NE(f->DestDirType(), nullptr);
    EXPECT_EQ(typeid(*f->DestDirType()), *r.dirType) << r.name;
    EXPECT_EQ(f->DestDir(), r.dir) << r.name;
  }

  // Destination types of executable files.
  TInstallFile* exe = form.File("tool.exe");
  exe->SetDestDirType(FindStandardPathSpecifier<TpsWindow>());
  EXPECT_EQ(exe->OverwriteMode(), owVersionDate);
  EXPECT_EQ(exe->FileType(), iftNormal);
  exe->SetDestDirType(FindStandardPathSpecifier<TpsSystem>());
  EXPECT_EQ(exe->FileType(), iftSystemWideDLL);
  EXPECT_TRUE(exe->UpdateDLLCounter());
  TInstallFile* text = form.File("readme.txt");
  text->SetDestDirType(FindStandardPathSpecifier<TpsWindow>());
  EXPECT_EQ(text->OverwriteMode(), owAlways);

  // A shared library needs an 8.3 name; a normal file does not.
  TInstallFile* longName = form.File("averylongname.dll");
  EXPECT_NE(MessageOf<IECustomInstallFile>([&] { longName->SetFileType(iftVendorSharedDLL); })
                .find("The following file :averylongname.dll: is specified to be a Shared DLL file"),
            std::string::npos);
  EXPECT_EQ(longName->FileType(), iftNormal);
  TInstallFile* shared = form.File("short.dll");
  shared->SetFileType(iftSystemWideDLL);
  EXPECT_NE(MessageOf<IECustomInstallFile>([&] { shared->SetDestName("muchtoolong.dll"); }), "<no exception>");
  EXPECT_EQ(shared->DestName(), "short.dll");
}

TEST(InstallFileRules, ContainersDuplicatesAndSizes) {
  Form form;
  TInstallFile* a = form.File("a.txt");
  TInstallFile* b = form.File("b.txt");
  // The container's archive is a whole archive: no file name goes after it.
  EXPECT_EQ(a->ArchiveFileType(), FindStandardPathSpecifier<TpsContainerArchiveFile>());
  a->SetArchiveFile("extra.1");
  EXPECT_EQ(a->ArchiveFile(), "");
  a->SetArchiveFileType(nullptr);
  a->SetArchiveFile("C:\\parts\\a.1");
  EXPECT_EQ(a->GetArchivePath(), "C:\\parts\\a.1");
  a->SetArchiveFileType(FindStandardPathSpecifier<TpsContainerArchiveFile>());
  EXPECT_EQ(a->ArchiveFile(), "");
  EXPECT_NE(NetInstallLocation, nullptr) << "made with the first install file";
  EXPECT_EQ(MessageOf<IEfcDuplicateFile>([&] { b->SetFileName("A.TXT"); }),
            "There is already a file with the name :C:\\src\\A.TXT");
  EXPECT_EQ(b->FileName(), "b.txt");

  TInstallFileGroup* sub = new TInstallFileGroup(form.owner.get());
  sub->SetName("Sub");
  sub->SetContainer(form.group);
  EXPECT_EQ(sub->GroupName(), "Group #1");
  EXPECT_EQ(form.group->GroupName(), "Group #1");
  sub->SetGroupName("Tools");
  EXPECT_EQ(sub->GroupName(), "Tools");

  struct Registry : TInstallObject {
    using TInstallObject::TInstallObject;
    int RegisteredType() const override { return rtInstallRegistry; }
  };
  Registry* reg = new Registry(form.owner.get());
  reg->SetName("Reg");
  EXPECT_EQ(MessageOf<IECustomInstallFile>([&] { a->SetContainer(reg); }),
            "The following TInstallFile component F1 requires the Container property to be a component descended "
            "from the TFileContainer component");

  TInstallFile* c = new TInstallFile(form.owner.get());
  c->SetName("C");
  c->SetContainer(sub);
  c->SetIncludeFromDir("C:\\other");
  c->SetFileName("c.txt");
  a->SetArchiveInfo(10, 0, 100, "");
  b->SetArchiveInfo(20, 0, 200, "");
  c->SetArchiveInfo(40, 0, 400, "");
  b->SetInclude(false);
  EXPECT_EQ(form.group->SizeSum(false, false), 100);
  EXPECT_EQ(form.group->SizeSum(true, false), 300);
  EXPECT_EQ(form.group->SizeSum(false, true), 500);
  EXPECT_EQ(form.group->DeepSize(true), 700);
  EXPECT_EQ(form.group->ShallowSize(true), 300);
  EXPECT_EQ(form.group->CompressedSizeSum(false), 50);
  EXPECT_EQ(form.group->FindFile("c:\\OTHER\\C.TXT"), c);
  EXPECT_EQ(form.group->FindFile("C:\\src\\none.txt"), nullptr);

  // Without a driver the files see the mixed distribution: only files
  // marked Net need a download.
  EXPECT_EQ(CurrentDistributeType(), dtTraditionalNet);
  EXPECT_FALSE(form.group->NeedsDownload());
  a->SetNet(true);
  EXPECT_TRUE(a->IsNetFile());
  EXPECT_TRUE(form.group->NeedsDownload());
  TNetInstallLocation own(nullptr);
  a->SetNetLocation(&own);
  EXPECT_FALSE(form.group->NeedsDownload());
  a->SetNetLocation(nullptr);

  // Percent of a download stays within 0..100 when the total is short.
  struct Dialog : TInstallObject {
    using TInstallObject::TInstallObject;
    int RegisteredType() const override { return rtDialog; }
    void ReceiveMessage(TInstallContainer*, int code, TObject* p) override {
      if (code == imDownloadStatus) percents.push_back(static_cast<TDownloadStatusParameter*>(p)->Percent);
    }
    std::vector<int> percents;
  };
  Dialog* dialog = new Dialog(form.owner.get());
  dialog->SetName("Dialog");
  dialog->SetContainer(a);
  a->DownloadProgress("a.1", 8192, 300000, 113152);
  a->DownloadProgress("a.1", 8192, 56576, 113152);
  a->DownloadProgress("a.1", 8192, 100, 0);
  EXPECT_EQ(dialog->percents, (std::vector<int>{100, 50, 0}));

  form.group->ClearFiles();
  EXPECT_EQ(form.group->ChildCount(rtInstallFile), 0);
  EXPECT_EQ(sub->ChildCount(rtInstallFile), 1);
}
