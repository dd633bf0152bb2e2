// A test setup program: a form with the install driver and one file group
// of the files in MORVANE_BUILDSETUP_SRC, built the way the setup form is
// loaded.  What it does follows the command line:
//   -b        builds the distribution from BUILD.INF beside it;
//   -e ...    started by a self-extracting distribution's loader: it logs
//             its command line and where it runs, then extracts the file
//             archive from the distribution into MORVANE_BUILDSETUP_DEST.
// Everything it would show in a message box, and its log lines, go to
// the file MORVANE_BUILDSETUP_LOG.  Exit code 0, or 1 on an error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kitroutines.h"
#include "loader.h"
#include "win/forms.h"
#include "win/install.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void Log(const std::string& line) {
  std::string path = Env("MORVANE_BUILDSETUP_LOG");
  if (path.empty()) return;
  if (FILE* f = fopen(path.c_str(), "ab")) {
    fprintf(f, "%s\n", line.c_str());
    fclose(f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Application->MessageBoxFunction = [](HWND, const std::string& text, const std::string&, UINT) {
    Log("message=" + text);
    return IDOK;
  };
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(i > 1 ? "|" : "") + argv[i];
  Log("args=" + args);
  Log("dir=" + ExtractFileDir(Application->ExeName()));
  try {
    TForm* form = new TForm(nullptr);
    CreateStandardPathSpecifiers(form);
    RegisterComponentClass<TInstall>("TInstall");
    RegisterComponentClass<TInstallFileGroup>("TInstallFileGroup");
    RegisterComponentClass<TInstallFile>("TInstallFile");
    const std::string src = Env("MORVANE_BUILDSETUP_SRC");
    std::vector<TFormComponent> desc = {
        {"TInstall",
         "Install",
         {{"Information.ProductName", "Morvane Build Test"},
          {"PresetupFiles", "presetup.txt"},
          {"DestDir", "\\Morvane Build Test"}}},
        {"TInstallFileGroup",
         "MainGroup",
         {{"Container", "Install"}, {"DestDirType", "psContainerDestDir"}, {"ArchiveFileType", "psContainerArchiveFile"}}},
    };
    for (const char* name : {"readme.txt", "data.bin"}) {
      std::string component = std::string(name) == "readme.txt" ? "ReadmeFile" : "DataFile";
      desc.push_back({"TInstallFile",
                      component,
                      {{"Container", "MainGroup"},
                       {"IncludeFromDir", src},
                       {"FileName", name},
                       {"DestName", name},
                       {"DestDirType", "psContainerDestDir"},
                       {"ArchiveFileType", "psContainerArchiveFile"}}});
    }
    std::vector<TComponent*> made = LoadForm(form, desc);
    auto* driver = static_cast<TInstall*>(made[0]);
    if (driver->CommandLine().Has(clBuild)) {
      // The driver built while loading and asked the program to end.
      if (!Application->Terminated()) Log("not built at load");
      Log("built");
    } else if (driver->CommandLine().Has(clSelfExtract)) {
      Log("setup=" + driver->SetupProgramPath());
      Log("source=" + driver->SourceDirectory());
      Log(std::string("presetup=") + (FileExists(ExtractFilePath(Application->ExeName()) + "presetup.txt") ? "yes" : "no"));
      TQnlwCompress* reader = GlobalArchiveReader();
      reader->SetCompressedFile(driver->SetupProgramPath());
      driver->ApplySelfExtractOffset();
      reader->SetExtractDirectory(Env("MORVANE_BUILDSETUP_DEST"));
      TStringList files;
      for (int i = 0; i < reader->FileCount(); ++i) {
        TlzhFileStats stats;
        reader->GetFileStats(i, stats);
        files.Add(stats.Header.SourcePath);
      }
      reader->SetFilesToProcess(&files);
      reader->Extract();
      Log("extracted=" + IntToStr(files.Count()));
    }
    delete form;
  } catch (const Exception& e) {
    Log("error=" + e.Message());
    return 1;
  }
  return 0;
}
