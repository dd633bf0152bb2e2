#include "installerfiles_common.h"

#include <stdexcept>

#include "kitroutines.h"

using namespace testsupport;

namespace instf {

TTestDriver::TTestDriver(TComponent* owner, const std::string& archive, const std::string& destDir)
    : TFileContainer(owner) {
  SetName("Install");
  SetArchiveFile(archive);
  SetDestDir(destDir);
  Information.ProductName = "Morvane Files Test";
  RegisterInstallDriver(this, &Information);
  auto& h = InstallDriverHooks();
  h.DistributeType = [this] { return Distribution; };
  h.RunKeyPath = [this] { return RunKey; };
  h.AddUnfinished = [this](const std::string& name, int kind) { Unfinished.emplace_back(name, kind); };
  h.SetRebootNeeded = [this] { RebootNeeded = true; };
  h.Running = [this] { return Running; };
  h.NetworkPath = [this] { return NetworkPath; };
}

TTestDriver::~TTestDriver() { InstallDriverHooks() = TInstallDriverHooks(); }

TTestForm::TTestForm(const std::string& archive, const std::string& destDir) : Owner(new TComponent(nullptr)) {
  CreateStandardPathSpecifiers(Owner.get());
  Driver = new TTestDriver(Owner.get(), archive, destDir);
}

TTestForm::~TTestForm() {
  // The files leave their containers first, the driver last.
  Owner.reset();
}

TInstallFileGroup* TTestForm::Group(const std::string& name, TFileContainer* container, const std::string& destDir) {
  auto* g = new TInstallFileGroup(Owner.get());
  g->SetName(name);
  g->SetContainer(container);
  g->SetDestDir(destDir);
  return g;
}

TInstallFile* TTestForm::File(const std::string& name, TFileContainer* container, const std::string& dir,
                              const std::string& fileName) {
  auto* f = new TInstallFile(Owner.get());
  f->SetName(name);
  f->SetContainer(container);
  f->SetIncludeFromDir(dir);
  f->SetFileName(fileName);
  return f;
}

std::string HelperPath(const std::string& name) {
  return Join(BuildDir(), std::string("tests\\installerfiles\\helpers\\") + name);
}

void CopyTo(const std::string& from, const std::string& to) {
  MakeDirs(ExtractFileDir(to));
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw std::runtime_error("cannot copy " + from + " to " + to);
}

void SetFileDate(const std::string& path, int year, int month, int day, int hour) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  FILETIME local, utc;
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &utc);
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
}

std::string ReadText(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

THolder::THolder(const std::string& path) {
  static int counter = 0;
  std::string base = Join(ScratchDir(), "holder" + std::to_string(++counter));
  std::string ready = base + ".ready";
  stop_ = base + ".stop";
  std::string cmd = "\"" + HelperPath("instf_holder.exe") + "\" \"" + path + "\" \"" + ready + "\" \"" + stop_ + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    throw std::runtime_error("cannot start the holder");
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  for (int i = 0; i < 400 && !::FileExists(ready); ++i) Sleep(25);
  if (!::FileExists(ready)) throw std::runtime_error("the holder did not open " + path);
}

THolder::~THolder() { Stop(); }

void THolder::Stop() {
  if (!process_) return;
  WriteFileText(stop_, "stop");
  WaitForSingleObject(process_, 10000);
  CloseHandle(process_);
  process_ = nullptr;
}

}  // namespace instf
