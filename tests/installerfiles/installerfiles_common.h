// Shared by the install-file suites: a stand-in install driver with its
// hooks, the helper programs, file dates, and a process holding a file.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "installfile.h"
#include "test_support.h"

namespace instf {

// The root of a test tree, registered as the install driver; its archive
// is a plain path and its destination a folder with a blank in its name.
class TTestDriver : public TFileContainer {
 public:
  TTestDriver(TComponent* owner, const std::string& archive, const std::string& destDir);
  ~TTestDriver() override;
  TInstallInformation Information;
  bool Running = false;
  bool RebootNeeded = false;
  TDistributeType Distribution = dtTraditional;
  std::string RunKey = "\\SOFTWARE\\Quenlow\\Install\\MorvaneFilesTest";
  std::string NetworkPath;
  std::vector<std::pair<std::string, int>> Unfinished;
};

// A form with the standard path specifiers and a driver.
struct TTestForm {
  TTestForm(const std::string& archive, const std::string& destDir);
  ~TTestForm();
  std::unique_ptr<TComponent> Owner;
  TTestDriver* Driver;
  TInstallFileGroup* Group(const std::string& name, TFileContainer* container, const std::string& destDir = "");
  TInstallFile* File(const std::string& name, TFileContainer* container, const std::string& dir,
                     const std::string& fileName);
};

std::string HelperPath(const std::string& name);
void CopyTo(const std::string& from, const std::string& to);
// Sets a file's write time to a local date and time.
void SetFileDate(const std::string& path, int year, int month, int day, int hour);
std::string ReadText(const std::string& path);

// A process that holds a file open for reading, without write or delete
// sharing, until Stop.
class THolder {
 public:
  explicit THolder(const std::string& path);
  ~THolder();
  void Stop();

 private:
  std::string stop_;
  HANDLE process_ = nullptr;
};

}  // namespace instf
