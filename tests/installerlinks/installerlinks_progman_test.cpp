// Program Manager items through DDE: against Wine's own server (explorer's
// desktop), and against a stand-in server that keeps real item lines, for
// what Wine's server cannot show (a group's items, ReplaceItem).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "links_driver.h"
#include "progman.h"
#include "shelllinks.h"
#include "test_support.h"
#include "win/comobj.h"
#include "exception_text.h"

using namespace testsupport;
using instlinks::TLinksDriver;

namespace {

const char kGroup[] = "Morvane PM Test";

using testsupport::MessageOf;

// ShowGroup opens an Explorer window on the group's folder.
void CloseGroupWindows() {
  EnumWindows(
      [](HWND w, LPARAM) -> BOOL {
        char title[256] = {};
        GetWindowTextA(w, title, sizeof(title));
        if (std::string(title).find(kGroup) != std::string::npos) PostMessageA(w, WM_CLOSE, 0, 0);
        return TRUE;
      },
      0);
}

std::pair<std::string, std::string> ReadLink(const std::string& file) {
  TComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid())))
    return {};
  TComPtr<IPersistFile> persist;
  link->QueryInterface(IID_IPersistFile, persist.PutVoid());
  if (FAILED(persist->Load(AnsiToWide(file).c_str(), STGM_READ))) return {"<cannot load>", ""};
  char path[MAX_PATH] = {}, dir[MAX_PATH] = {};
  link->GetPath(path, sizeof(path), nullptr, SLGP_RAWPATH);
  link->GetWorkingDirectory(dir, sizeof(dir));
  return {path, dir};
}

std::string ReadFileText(const std::string& path) {
  if (!::FileExists(path)) return "";
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

int CountLinks(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*.lnk").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do ++n;
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

// DDE conversations go through the desktop, which Wine starts with the
// first windowed program of the session: wait until the service answers.
bool WaitForService(const std::string& service) {
  for (int i = 0; i < 400; ++i) {
    TDdeClientConv conv;
    conv.Service = service;
    conv.Topic = "PROGMAN";
    if (conv.OpenLink()) return true;
    Sleep(25);
  }
  return false;
}

class ProgramManagerItems : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    RemoveTree(ProgramsFolder() + "\\" + kGroup);
    dest_ = Join(ScratchDir(), "Morvane32");
    MakeDirs(dest_);
    WriteFileText(dest_ + "\\viewer.exe", "stand-in");
    owner_.reset(new TComponent(nullptr));
    CreateStandardPathSpecifiers(owner_.get());
    driver_ = new TLinksDriver(owner_.get(), dest_);
  }
  void TearDown() override {
    owner_.reset();
    FreeProgramManager();
    CloseGroupWindows();
    RemoveTree(ProgramsFolder() + "\\" + kGroup);
    CoUninitialize();
  }
  TInstallShellLink* Link(const std::string& name, const std::string& linkName) {
    auto* l = new TInstallShellLink(owner_.get());
    l->SetName(name);
    l->SetMethod(mtProgramManager);
    l->SetDestDirType(FindStandardPathSpecifier<TpsProgramMenu>());
    l->SetDestDir(std::string("\\") + kGroup);
    l->SetObjectLocationType(FindStandardPathSpecifier<TpsMainInstall>());
    l->SetObjectLocation("\\viewer.exe");
    l->SetLinkName(linkName);
    return l;
  }
  std::string dest_;
  std::unique_ptr<TComponent> owner_;
  TLinksDriver* driver_ = nullptr;
};

TEST_F(ProgramManagerItems, WinesServerMakesTheGroupsLinks) {
  ASSERT_TRUE(WaitForService("PROGMAN"));
  TInstallShellLink* viewer = Link("ViewerLink", "Viewer.lnk");
  ASSERT_EQ("<no exception>", MessageOf([&] { viewer->Install(); }));
  const std::string group = ProgramsFolder() + "\\" + kGroup;
  auto read = ReadLink(group + "\\Viewer.lnk");
  EXPECT_TRUE(SameText(dest_ + "\\viewer.exe", read.first)) << read.first;
  EXPECT_TRUE(SameText(dest_, read.second) || SameText("\"" + dest_ + "\"", read.second)) << read.second;
  ASSERT_EQ("<no exception>", MessageOf([&] { viewer->Install(); }));
  EXPECT_EQ(1, CountLinks(group));
  std::vector<std::string> groups = ProgramManager()->Groups();
  EXPECT_NE(groups.end(), std::find(groups.begin(), groups.end(), kGroup));

  TInstallShellLink* withArgs = Link("ArgsLink", "Args.lnk");
  withArgs->SetParameters("/open %i");
  std::string message = MessageOf([&] { withArgs->Install(); });
  EXPECT_EQ("The TProgramManager object was unable to add the following program item: Args to the following group: " +
                std::string(kGroup) + ". The arguments passed to  Program Manager were: [AddItem(\"" + dest_ +
                "\\viewer.exe\" /open " + dest_ + ",Args,,0,,,\"" + dest_ + "\",)]",
            message);

  TInstallShellLink* desk = Link("DeskLink", "Desk.lnk");
  desk->SetDestDirType(FindStandardPathSpecifier<TpsDesktopMenu>());
  desk->SetDestDir("\\MorvanePMTest");
  ASSERT_EQ("<no exception>", MessageOf([&] { desk->Install(); }));
  EXPECT_FALSE(DirectoryExists(DesktopFolder() + "\\MorvanePMTest"));
  EXPECT_FALSE(::FileExists(group + "\\Desk.lnk"));
}

TEST_F(ProgramManagerItems, AnExistingItemIsReplacedNotDuplicated) {
  const std::string log = Join(ScratchDir(), "pm_standin.log");
  DeleteFileA(log.c_str());
  std::string command = "\"" + Join(BuildDir(), "tests\\installerlinks\\pm_standin.exe") + "\" MorvanePMStandin \"" +
                        log + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  for (int i = 0; i < 200 && ReadFileText(log).find("ready") == std::string::npos; ++i) Sleep(25);
  ASSERT_NE(std::string::npos, ReadFileText(log).find("ready"));

  bool answered = WaitForService("MorvanePMStandin");
  ProgramManager()->SetService("MorvanePMStandin");
  TInstallShellLink* viewer = Link("ViewerLink", "Viewer.lnk");
  TInstallShellLink* lower = Link("LowerLink", "viewer.lnk");
  std::string a = MessageOf([&] { viewer->Install(); });
  std::string b = MessageOf([&] { viewer->Install(); });
  std::string c = MessageOf([&] { lower->Install(); });
  std::vector<std::string> items = ProgramManager()->Items();
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  ASSERT_TRUE(answered);
  EXPECT_EQ("<no exception>", a);
  EXPECT_EQ("<no exception>", b);
  EXPECT_EQ("<no exception>", c);

  ASSERT_EQ(2u, items.size());
  EXPECT_EQ("Viewer", TProgramManager::ItemField(items[0], 1));
  EXPECT_EQ("viewer", TProgramManager::ItemField(items[1], 1));
  EXPECT_EQ(dest_ + "\\viewer.exe", TProgramManager::ItemField(items[0], 2));
  std::string text = ReadFileText(log);
  size_t replace = text.find("[ReplaceItem(\"Viewer\")]");
  ASSERT_NE(std::string::npos, replace) << text;
  EXPECT_NE(std::string::npos, text.find("[AddItem(", replace)) << text;
  EXPECT_EQ(std::string::npos, text.find("[ReplaceItem(\"viewer\")]")) << text;
  EXPECT_NE(std::string::npos, text.find("[CreateGroup(\"" + std::string(kGroup) + "\")]")) << text;
  EXPECT_NE(std::string::npos, text.find("[ShowGroup(" + std::string(kGroup) + ",8)]")) << text;
}

}  // namespace
