// The design-time rules of registry objects and links, which need no
// registry and no shell: entry types, key paths, the driver checks, the
// container rules with their messages and the names links give themselves.
#include <gtest/gtest.h>

#include <memory>

#include "links_driver.h"
#include "loader.h"
#include "progman.h"
#include "shelllinks.h"
#include "exception_text.h"

using instlinks::TLinksDriver;

namespace {

using testsupport::MessageOf;

struct Form {
  Form() : Owner(new TComponent(nullptr)) { CreateStandardPathSpecifiers(Owner.get()); }
  std::unique_ptr<TComponent> Owner;
};

TEST(RegistryRules, EntryTypeFollowsTheLastPropertySetAndSpecifierRemovalKeepsIt) {
  Form form;
  auto* driver = new TLinksDriver(form.Owner.get(), "C:\\Morvane32");
  auto* reg = new TInstallRegistry(form.Owner.get());
  reg->SetName("PatchType");
  reg->SetContainer(driver);
  TRegistryEntry* e = reg->Entries()->Add();
  EXPECT_EQ(reg, e->RegistryObject());
  e->SetInteger(7);
  EXPECT_EQ(retInteger, e->EntryType());
  e->SetBoolean(true);
  EXPECT_EQ(retBoolean, e->EntryType());
  e->SetText("x");
  EXPECT_EQ(retText, e->EntryType());

  auto* own = new TPathSpecifier(form.Owner.get());
  own->SetName("psOwn");
  own->OnGetPath = [](TObject*, std::string& path) { path = "D:\\Own"; };
  e->SetInteger(1);
  e->SetPathSpecifier(own);
  EXPECT_EQ(retText, e->EntryType());
  EXPECT_EQ("%p", e->Text());
  e->SetText("%p\\wendl32 %1 100% %");
  EXPECT_EQ("D:\\Own\\wendl32 %1 100% %", e->EntryText());
  delete own;
  EXPECT_EQ(nullptr, e->PathSpecifier());
  EXPECT_EQ(retText, e->EntryType());
  EXPECT_EQ("%p\\wendl32 %1 100% %", e->EntryText());

  EXPECT_EQ("Cannot create a TRegistryEntries component with a Nil Owner",
            MessageOf([] { TRegistryEntries entries(nullptr); }));
}

TEST(RegistryRules, KeySpecifiersNeedTheDriverAndFallBackWhenItGoes) {
  Form form;
  auto* reg = new TInstallRegistry(form.Owner.get());
  reg->SetName("Settings");
  EXPECT_EQ(hkLocalMachine, reg->RootKey());
  EXPECT_EQ("\\SOFTWARE\\MyStuff", reg->KeyPath());
  reg->SetKey("\\Software\\Morvane\\");
  EXPECT_EQ("\\Software\\Morvane", reg->KeyPath());
  EXPECT_EQ("There is no TInstall component in your project",
            MessageOf([&] { reg->SetKeySpecifierType(ksVersion); }));
  EXPECT_EQ(ksAbsolute, reg->KeySpecifierType());

  auto* driver = new TLinksDriver(form.Owner.get(), "C:\\Morvane32");
  reg->SetRootKey(hkCurrentUser);
  reg->SetKeySpecifierType(ksVersion);
  EXPECT_EQ(hkLocalMachine, reg->RootKey());
  EXPECT_EQ("", reg->Key());
  reg->SetKey("\\ignored");
  EXPECT_EQ("", reg->Key());
  EXPECT_EQ("\\SOFTWARE\\Morvane Test Co\\Morvane Tapmend\\3.2", reg->KeyPath());
  reg->SetKeySpecifierType(ksProductName);
  EXPECT_EQ("\\SOFTWARE\\Morvane Test Co\\Morvane Tapmend", reg->KeyPath());
  reg->SetKeySpecifierType(ksCompanyName);
  EXPECT_EQ("\\SOFTWARE\\Morvane Test Co", reg->KeyPath());

  delete driver;
  EXPECT_EQ(ksAbsolute, reg->KeySpecifierType());
  ASSERT_EQ(1u, InstallRegistryList().size());
  delete reg;
  EXPECT_TRUE(InstallRegistryList().empty());
}

TEST(LinkRules, GroupsAndLinksKeepTheirContainerRules) {
  Form form;
  EXPECT_EQ("To create a TInstallMainLink you must first have a TMainLinkGroup component in your project",
            MessageOf([&] { new TSubLinkGroup(form.Owner.get()); }));
  auto* main = new TMainLinkGroup(form.Owner.get());
  main->SetName("MainGroup");
  EXPECT_EQ("\\MainFolderName", main->DestDir());
  EXPECT_EQ(FindStandardPathSpecifier<TpsProgramMenu>(), main->DestDirType());
  EXPECT_EQ("You can only have one TMainLinkGroup component in your project",
            MessageOf([&] { new TMainLinkGroup(form.Owner.get()); }));
  EXPECT_EQ(main, MainLinkGroup());

  EXPECT_EQ("To create a TInstallSubLink you must first have at least one TSubLinkGroup component in your project",
            MessageOf([&] { new TInstallSubLink(form.Owner.get()); }));
  auto* sub = new TSubLinkGroup(form.Owner.get());
  sub->SetName("Tools");
  auto* other = new TInstallFileGroup(form.Owner.get());
  other->SetName("Files");
  EXPECT_EQ("The TMainLinkGroup component must be the Container for TInstallMainLink and TSubLinkGroup components",
            MessageOf([&] { sub->SetContainer(other); }));
  sub->SetContainer(main);
  EXPECT_EQ("\\ASubGroup", sub->DestDir());
  EXPECT_EQ(FindStandardPathSpecifier<TpsContainerDestDir>(), sub->DestDirType());
  EXPECT_EQ(1u, SubLinkGroupList().size());

  auto* subLink = new TInstallSubLink(form.Owner.get());
  EXPECT_EQ("A TSubLinkGroup component must be the Container for TInstallSubLink components",
            MessageOf([&] { subLink->SetContainer(main); }));
  subLink->SetContainer(sub);
  auto* mainLink = new TInstallMainLink(form.Owner.get());
  EXPECT_EQ("The TMainLinkGroup component must be the Container for TInstallMainLink and TSubLinkGroup components",
            MessageOf([&] { mainLink->SetContainer(sub); }));
  mainLink->SetContainer(main);
  EXPECT_EQ(2u, InstallShellLinkList().size());
  // Groups and links go with their container, down the tree.
  int components = form.Owner->ComponentCount();
  delete main;
  EXPECT_EQ(components - 4, form.Owner->ComponentCount());
  EXPECT_EQ(nullptr, form.Owner->FindComponent("Tools"));
  EXPECT_TRUE(SubLinkGroupList().empty());
  EXPECT_TRUE(InstallShellLinkList().empty());
  EXPECT_EQ(other, form.Owner->FindComponent("Files"));

  auto* again = new TMainLinkGroup(form.Owner.get());
  auto* lone = new TInstallMainLink(form.Owner.get());
  lone->SetContainer(again);
  form.Owner.reset();
  EXPECT_EQ(nullptr, MainLinkGroup());
  EXPECT_TRUE(SubLinkGroupList().empty());
  EXPECT_TRUE(InstallShellLinkList().empty());
}

TEST(LinkRules, LinksNameThemselvesFromWhatTheyPointAt) {
  Form form;
  auto* driver = new TLinksDriver(form.Owner.get(), "C:\\Morvane32");
  auto* file = new TInstallFile(form.Owner.get());
  file->SetName("AppFile");
  file->SetContainer(driver);
  file->SetFileName("Morvane32.exe");
  auto* link = new TInstallShellLink(form.Owner.get());
  link->SetName("AppLink");
  link->SetObjectLocation("C:\\Tools\\viewer.exe");
  EXPECT_EQ("viewer.LNK", link->LinkName());
  link->SetLinkName("Viewer 3.2");
  EXPECT_EQ("Viewer 3.2.LNK", link->LinkName());

  link->SetObjectLink(file);
  EXPECT_EQ("Morvane32.lnk", link->LinkName());
  EXPECT_EQ(FindStandardPathSpecifier<TpsObjectLink>(), link->ObjectLocationType());
  EXPECT_EQ(file, link->Container());
  EXPECT_EQ("C:\\Morvane32\\Morvane32.exe", link->TargetPath());
  link->SetObjectLocation("C:\\ignored.exe");
  EXPECT_EQ("", link->ObjectLocation());

  auto* group = new TInstallFileGroup(form.Owner.get());
  group->SetName("Docs");
  group->SetContainer(driver);
  group->SetGroupName("Documents");
  group->SetDestDir("\\docs");
  link->SetObjectLink(group);
  EXPECT_EQ("Documents.lnk", link->LinkName());
  EXPECT_EQ("C:\\Morvane32\\docs", link->TargetPath());
  delete group;
  EXPECT_EQ(nullptr, link->ObjectLink());

  link->SetObjectLink(file);
  link->SetLinkName("Home.URL");
  EXPECT_EQ(nullptr, link->ObjectLink());
  EXPECT_EQ(nullptr, link->ObjectLocationType());

  auto* web = new TInstallShellLink(form.Owner.get());
  web->SetObjectLocation("http://www.example.com/a/b?c=1:2");
  EXPECT_EQ("www.example.com-a-bc=12.URL", web->LinkName());
  EXPECT_EQ("http://www.example.com/a/b?c=1:2", web->TargetPath());
  auto* ftp = new TInstallShellLink(form.Owner.get());
  ftp->SetLinkName("Site.lnk");
  ftp->SetObjectLocation("FTP://ftp.example.com/pub");
  EXPECT_EQ("Site.lnk", ftp->LinkName());
}

// The form loader builds links and registry objects with their collection
// items, resolving references from the items like any other.
TEST(LinkRules, TheFormLoaderBuildsLinksAndRegistryEntries) {
  Form form;
  RegisterLinkAndRegistryClasses();
  RegisterComponentClass("TLinksDriver", [](TComponent* owner) -> TComponent* {
    return new TLinksDriver(owner, "C:\\Morvane32");
  });
  RegisterComponentClass<TInstallFile>("TInstallFile");
  std::vector<TFormComponent> desc = {
      {"TLinksDriver", "Install", {}},
      {"TInstallRegistry",
       "PatchType",
       {{"Container", "Install"},
        {"RootKey", "hkClassesRoot"},
        {"Key", "\\Morvane.Patch\\shell\\open\\command"},
        {"Entries[0].PathSpecifier", "psMainInstall"},
        {"Entries[0].Text", "\"%p\\wendl32.exe\" %1"},
        {"Entries[1].Ident", "Count"},
        {"Entries[1].EntryType", "retInteger"},
        {"Entries[1].Integer", "5"},
        {"Entries[2].Ident", "Quiet"},
        {"Entries[2].EntryType", "retBoolean"},
        {"Entries[2].Boolean", "True"}}},
      // A link may come before the groups it needs.
      {"TInstallSubLink",
       "AppLink",
       {{"Container", "ToolsGroup"},
        {"ObjectLink", "AppFile"},
        {"ObjectLocationType", "psObjectLink"},
        {"LinkName", "Morvane.lnk"},
        {"Parameters", "%i"}}},
      {"TMainLinkGroup", "MainGroup", {{"Container", "Install"}, {"DestDir", "\\Morvane"}}},
      {"TSubLinkGroup", "ToolsGroup", {{"Container", "MainGroup"}, {"DestDir", "\\Tools"}}},
      {"TInstallFile",
       "AppFile",
       {{"Container", "Install"},
        {"FileName", "Morvane32.exe"},
        {"DestName", "Morvane32.exe"},
        {"DestDirType", "psContainerDestDir"}}},
      {"TUninstallEXE", "Uninstaller", {{"Container", "Install"}}},
  };
  std::vector<TComponent*> made = LoadForm(form.Owner.get(), desc);
  ASSERT_EQ(desc.size(), made.size());
  auto* reg = dynamic_cast<TInstallRegistry*>(made[1]);
  ASSERT_TRUE(reg);
  EXPECT_EQ(hkClassesRoot, reg->RootKey());
  ASSERT_EQ(3, reg->Entries()->Count());
  TRegistryEntry* command = reg->Entries()->Items(0);
  EXPECT_EQ(FindStandardPathSpecifier<TpsMainInstall>(), command->PathSpecifier());
  EXPECT_EQ(reg, command->RegistryObject());
  EXPECT_EQ(retText, command->EntryType());
  EXPECT_EQ("\"C:\\Morvane32\\wendl32.exe\" %1", command->EntryText());
  // Loading sets the values without letting each one pick the type.
  EXPECT_EQ(retInteger, reg->Entries()->Items(1)->EntryType());
  EXPECT_EQ(5, reg->Entries()->Items(1)->Integer());
  EXPECT_EQ(retBoolean, reg->Entries()->Items(2)->EntryType());
  EXPECT_TRUE(reg->Entries()->Items(2)->Boolean());

  auto* link = dynamic_cast<TInstallSubLink*>(made[2]);
  ASSERT_TRUE(link);
  EXPECT_EQ(made[4], link->Container());
  EXPECT_EQ(made[5], link->ObjectLink());
  EXPECT_EQ("Morvane.lnk", link->LinkName());
  EXPECT_EQ("C:\\Morvane32\\Morvane32.exe", link->TargetPath());
  EXPECT_EQ(dynamic_cast<TMainLinkGroup*>(made[3]), MainLinkGroup());

  // Items come in order; an item property the entry does not have, or an
  // index into something that is no collection, is a broken form.
  TComponent other(nullptr);
  for (const auto& prop : std::vector<std::pair<std::string, std::string>>{
           {"Entries[1].Ident", "x"}, {"Entries[0].Colour", "x"}, {"Key[0].Text", "x"}, {"Entries[-1].Text", "x"}}) {
    EXPECT_THROW(LoadForm(&other, {{"TInstallRegistry", "Broken", {prop}}}), EReadError) << prop.first;
    delete other.FindComponent("Broken");
  }
  EXPECT_THROW(LoadForm(&other, {{"TInstallRegistry", "Unresolved", {{"Entries[0].PathSpecifier", "psNone"}}}}),
               EReadError);
}

TEST(ProgramManagerRules, ItemLinesAreReadByTheirFirstFieldExactly) {
  EXPECT_EQ("Morvane", TProgramManager::ItemField("\"Morvane\",\"C:\\M\\m.exe\",C:\\M,,0,0", 1));
  EXPECT_EQ("C:\\M\\m.exe", TProgramManager::ItemField("\"Morvane\",\"C:\\M\\m.exe\",C:\\M", 2));
  EXPECT_EQ("", TProgramManager::ItemField("one", 3));
  EXPECT_EQ("The TProgramManager object was unable to establish a link with Program Manager",
            MessageOf([] {
#ifdef _WIN32
              TProgramManager pm(nullptr);
              pm.SetService("MorvaneNoSuchService");
              pm.Groups();
#else
              ProgramManager()->Groups();
#endif
            }));
}

}  // namespace
