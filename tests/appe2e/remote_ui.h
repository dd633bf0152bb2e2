// Driving another process's windows the way a user's input reaches them:
// windows and controls are found by the class library's component-name
// property (or caption, class and parent), and acted on only through
// window messages. List views get their structures in memory allocated
// inside the driven process.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace remoteui {

class Program {
 public:
  // Starts exe in dir; false when it cannot be started.
  bool Start(const std::string& exe, const std::string& dir);
  ~Program();
  // Waits up to ms for the process to end; its exit code, or -1.
  long WaitExit(int ms);
  // The program's top-level windows, one line each (for failure messages).
  std::string DescribeWindows();
  DWORD Pid() const { return pi_.dwProcessId; }
  HANDLE Process() const { return pi_.hProcess; }

  // A visible top-level window of the program by component name (or, when
  // name is empty, by class and caption). Null after ms.
  HWND Form(const std::string& name, int ms = 10000);
  HWND TopWindow(const std::string& className, const std::string& caption, int ms = 10000);
  // A descendant of top by component name; null after ms.
  HWND Control(HWND top, const std::string& name, int ms = 5000);
  // A descendant of top by class and caption.
  HWND ControlByText(HWND top, const std::string& className, const std::string& caption, int ms = 5000);

  // Messages answered within a bounded time (0 when not).
  LRESULT Send(HWND wnd, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
  void Post(HWND wnd, UINT msg, WPARAM wp = 0, LPARAM lp = 0);

  std::string Text(HWND wnd);
  void SetText(HWND wnd, const std::string& text);
  // Characters posted one by one, as typed.
  void Type(HWND wnd, const std::string& text);
  // A key pressed and released (the program's message loop makes the
  // character of it).
  void Key(HWND wnd, WORD vk);
  // BM_CLICK, sent (returns once the handler has run) or posted (for
  // handlers that run a loop of their own).
  void Click(HWND wnd);
  void PostClick(HWND wnd);
  bool Checked(HWND wnd);
  // The item becomes the combo box's choice, with the notification its
  // parent gets when the user picks it.
  void Choose(HWND combo, int index);
  std::vector<std::string> ComboItems(HWND combo);
  // The tab page of a tab control, as a click on its tab.
  void SelectTab(HWND tabs, int index);

  // List views.
  std::vector<std::string> ListItems(HWND list);
  // Selects exactly the items given (and focuses the first of them).
  void SelectItems(HWND list, const std::vector<int>& indexes);
  std::vector<int> SelectedItems(HWND list);

 private:
  PROCESS_INFORMATION pi_{};
};

// Polls cond every 20 ms up to ms.
bool WaitUntil(const std::function<bool()>& cond, int ms);
// The component name a window carries (the class library's property).
std::string ComponentName(HWND wnd);
// The names of the files and folders in dir, sorted.
std::vector<std::string> FolderEntries(const std::string& dir);

// Below the program's settings key: the expert page's pair of folders as
// the program keeps them between runs, and the page it opens on.
void SetExpertSources(const std::string& settings, const std::string& first, const std::string& final, int page = 1);
// The expert page's default: an archive made by the InfoZIP row, which
// calls exe rather than a zip found on the system path.
void SetInfoZipArchiver(const std::string& settings, const std::string& exe);
// readme.txt of lines lines in oldDir and the same with one line more in
// newDir: a pair whose patch is small and quick to make.
void WriteReadmePair(const std::string& oldDir, const std::string& newDir, int lines);

// The pointer moved to a screen point (with button events when given), as
// the input a hand makes.
void Mouse(POINT screen, DWORD buttons = 0);

}  // namespace remoteui
