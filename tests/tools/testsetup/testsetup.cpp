// A setup program for the driver's tests: its form, built by the form
// loader, holds the install driver, two file groups of real files and a
// dialog component that logs every install message.  The events of the
// driver and of the files write each step to a log, so a test can follow
// a run that happens in another process (or after Wine's restart
// processing).  The command line takes only the driver's seven letters, so
// the case is chosen through the environment:
//   MORVANE_SETUP_ROOT   folder holding src\ (sources), dest\ and log.txt
//   MORVANE_SETUP_CASE   plain | compress | abort | fail | reboot | decline | web | webcompress
//   MORVANE_SETUP_HOST   web cases: the server, MORVANE_SETUP_PROTOCOL ftp or http
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "exceptions.h"
#include "installfile.h"
#include "loader.h"
#include "pathspec.h"
#include "translator.h"
#include "win/forms.h"
#include "win/install.h"

namespace {

std::string Env(const char* name) {
  char buf[4096] = {};
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

const std::string& Root() {
  static std::string root = Env("MORVANE_SETUP_ROOT");
  return root;
}

const std::string& Case() {
  static std::string c = Env("MORVANE_SETUP_CASE");
  return c;
}

bool IsWeb() { return Case() == "web" || Case() == "webcompress"; }

void Log(const std::string& line) {
  if (FILE* f = std::fopen((Root() + "\\log.txt").c_str(), "ab")) {
    std::fprintf(f, "%s\r\n", line.c_str());
    std::fclose(f);
  }
}

// The one dialog of the form: it answers no message, it only logs them.
class TLogDialog : public TInstallObject {
 public:
  using TInstallObject::TInstallObject;
  int RegisteredType() const override { return 9000; }
  void ReceiveMessage(TInstallContainer*, int code, TObject* parameter) override {
    std::string line = "msg " + std::to_string(code);
    if (auto* p = dynamic_cast<TMessageParameter*>(parameter)) line += " " + p->Text;
    Log(line);
  }
};

std::string CursorOf(TCustomInstall* d) { return std::to_string(d->MainForm() ? d->MainForm()->Cursor() : 0); }

TComponent* MakeDriver(TComponent* owner) {
  auto* d = new TInstall(owner);
  d->OnStartInstall = [](TObject*) {
    Log("start");
    // As the reboot page would ask for a restart.
    if (Case() == "decline") RebootNeeded() = true;
  };
  d->OnShowGoodInstall = [d](TObject*) {
    TTranslator* t = CurrentTranslator();
    Log("good lang=" + std::to_string(t ? int(t->TranslateIntoLanguage()) : -1));
  };
  d->OnShowBadInstall = [d](TObject*) { Log("bad cursor=" + CursorOf(d)); };
  d->OnAfterReadArchiveInfo = [](TObject*) {
    for (TCustomInstallFile* f : InstallFileList())
      Log("info " + f->Name() + " " + std::to_string(f->ArchiveSize()) + " " + f->ArchiveVersion());
  };
  d->OnRebootWindows = [](TObject*, bool& reboot) {
    Log("reboot?");
    if (Case() == "decline") reboot = false;
  };
  d->OnBeforeTerminateApp = [](TObject*, bool&) { Log("terminate"); };
  d->OnCleanup = [](TObject*, bool&) { Log("cleanup"); };
  return d;
}

TComponent* MakeFile(TComponent* owner) {
  auto* f = new TInstallFile(owner);
  f->OnBeforeInstall = [](TObject*, TFileRelated* file) {
    Log("file " + file->Name());
    if (file->Name() != "FileB") return;
    if (Case() == "abort") throw EAIUserAbort();
    if (Case() == "fail") throw Exception("The disk is on fire");
  };
  return f;
}

TComponent* MakeTranslator(TComponent* owner) {
  auto* t = new TTranslator(owner);
  // A language other than the default, to be saved across the restart.
  if (Case() == "reboot") t->SetTranslateIntoLanguage(qlGerman);
  return t;
}

std::vector<TFormComponent> SetupForm() {
  const std::string src = Root() + "\\src";
  auto file = [&](const char* name, const char* group, const char* fileName) {
    return TFormComponent{"TInstallFile",
                          name,
                          {{"Container", group},
                           {"IncludeFromDir", src},
                           {"FileName", fileName},
                           {"DestName", fileName},
                           {"DestDirType", "psContainerDestDir"},
                           {"ArchiveFileType", "psContainerArchiveFile"}}};
  };
  auto group = [](const char* name, const char* dir) {
    return TFormComponent{"TInstallFileGroup",
                          name,
                          {{"Container", "Install1"},
                           {"DestDirType", "psContainerDestDir"},
                           {"DestDir", dir},
                           {"ArchiveFileType", "psContainerArchiveFile"}}};
  };
  std::vector<TFormComponent> form = {
      {"TTranslator", "MainTranslator", {}},
      {"TLogDialog", "Log", {{"Container", "Install1"}}},
      group("Group1", "\\one"),
      file("FileA", "Group1", "a.txt"),
      file("FileB", "Group1", "b.txt"),
      group("Group2", "\\two"),
      file("ComDll", "Group2", "comdll.dll"),
      file("Held2", "Group2", "held2.dat"),
  };
  TFormComponent driver{"TInstall",
                        "Install1",
                        {{"DestDirType", "nil"},
                         {"DestDir", Root() + "\\dest"},
                         {"AutoMaximizeWindow", "False"},
                         {"RunAutomatic", Case() == "compress" || Case() == "webcompress" ? "False" : "True"},
                         {"Information.ProductName", "Morvane Driver Test"},
                         {"PresetupFiles", "readme.txt"}}};
  if (IsWeb()) {
    driver.Properties.push_back({"DistributeType", "dtWeb"});
    driver.Properties.push_back({"LoginInformation.Hostname", Env("MORVANE_SETUP_HOST")});
    driver.Properties.push_back(
        {"LoginInformation.Protocol", Env("MORVANE_SETUP_PROTOCOL") == "ftp" ? "ipFTP" : "ipHTTP"});
  }
  form[6].Properties.push_back({"ActiveX", "True"});
  // Loaded last: the driver's Loaded may already run the installation.
  form.push_back(driver);
  return form;
}

}  // namespace

int main() {
  Application->MessageBoxFunction = [](HWND, const std::string& text, const std::string&, UINT) {
    Log("box " + text);
    return IDOK;
  };
  InstallDriverSeams().Shutdown = [] {
    Log("shutdown");
    return true;
  };
  if (Case() == "reboot") {
    // No delayed rename for the second held file: it takes the batch road.
    auto real = InstallFileSystem().MoveFileAtReboot;
    InstallFileSystem().MoveFileAtReboot = [real](const std::string& from, const std::string& to) {
      if (CompareText(ExtractFileName(to), "held2.dat") == 0) return false;
      return real(from, to);
    };
  }
  RegisterComponentClass("TInstall", MakeDriver);
  RegisterComponentClass("TInstallFile", MakeFile);
  RegisterComponentClass("TTranslator", MakeTranslator);
  RegisterComponentClass<TInstallFileGroup>("TInstallFileGroup");
  RegisterComponentClass<TLogDialog>("TLogDialog");

  std::string args;
  for (int i = 1; i < __argc; ++i) args += std::string(" ") + __argv[i];
  Log("begin" + args);
  TForm* form = nullptr;
  Application->CreateForm(form);
  form->SetCaption("Morvane test setup");
  try {
    LoadForm(form, SetupForm());
    if (Case() == "compress" || Case() == "webcompress") {
      auto* driver = static_cast<TCustomInstall*>(form->FindComponent("Install1"));
      driver->Compress(IsWeb() ? static_cast<unsigned>(coForceFilesNet) : 0u);
      Log("compressed");
      Application->Terminate();
    }
  } catch (...) {
    Application->HandleException(Application);
  }
  if (!Application->Terminated()) Application->Run();
  // The driver goes with the form and starts its clean-up batch then.
  delete form;
  Log("exit");
  return 0;
}
