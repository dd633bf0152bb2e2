// What the setup program's suites share: where the distribution and its
// sources are, and watching a program of another process by its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace setuptest {

// build\wintest\dist, the packed files and the stand-in kit folder.
std::string DistDir();
std::string FilesDir();
std::string KitDir();
// Two help pages carry dates the packed date format of old cannot hold;
// the distribution keeps them through the build and the installation.
struct TOddDate {
  const char* Page;
  const char* Stamp;  // as touch -d reads it, local time
  int Year, Month, Day, Hour, Minute, Second;
};
const TOddDate kOddDates[2] = {{"bar.gif", "1975-06-01 12:00:00", 1975, 6, 1, 12, 0, 0},
                               {"history.htm", "2110-03-04 05:06:08", 2110, 3, 4, 5, 6, 8}};
// Milliseconds since 1899-12-30 of a file's modification time, -1 when
// it cannot be read, and of an odd date.
long long DateOf(const std::string& path);
long long DateOf(const TOddDate& d);
// The ten help pages in the order the setup packs them.
const std::vector<std::string>& HelpPages();

// Handles this program's own window messages for ms milliseconds: a
// program under test may send to every top-level window (a broadcast, a
// DDE conversation) and wait for the answer.
void PumpFor(int ms);
// Waits up to ms for what() to hold, answering our own messages between
// the looks; false when it never did.
bool WaitUntil(const std::function<bool()>& what, int ms);
// The loader's temporary folders ("qlw....tmp") that exist now.
std::set<std::string> LoaderFolders();

// A program started without waiting for it.
class TProcess {
 public:
  explicit TProcess(const std::string& commandLine);
  ~TProcess();
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  DWORD Id() const { return id_; }
  bool Running() const;
  // Waits up to ms milliseconds; the exit code, or -1 while it runs.
  int Wait(int ms);
  void Kill();

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// The first visible top-level window with this caption whose process is
// one of pids (any process when pids is empty), or null.
HWND FindTopWindow(const std::string& caption, const std::vector<DWORD>& pids = {});
// Waits up to ms for such a window; null when none came.
HWND WaitForTopWindow(const std::string& caption, int ms, const std::vector<DWORD>& pids = {});
// The text of every visible message box on the screen ("" when none), so a
// failing run says what the program complained about.
std::string MessageBoxTexts();
// A child window (at any depth) of a class with this text, or null.
HWND FindChild(HWND parent, const std::string& className, const std::string& text);
// Every child's text (at any depth) of a class, in Z order.
std::vector<std::string> ChildTexts(HWND parent, const std::string& className);
// Clicks a button of another program.
bool ClickButton(HWND button);

std::string ReadText(const std::string& path);
std::string ProgramsFolder();
std::string DesktopFolder();
std::string ProgramFilesFolder();

}  // namespace setuptest
