#include "setup_test_common.h"

#include <shlobj.h>

#include <stdexcept>

#include "filetime.h"
#include "test_support.h"

using namespace testsupport;

namespace setuptest {

std::string DistDir() { return Join(BuildDir(), "dist"); }
std::string FilesDir() { return Join(BuildDir(), "setupfiles"); }
std::string KitDir() { return Join(BuildDir(), "setupkit"); }

const std::vector<std::string>& HelpPages() {
  static const std::vector<std::string> pages = {"selector.html", "readme.htm", "bar.gif",
                                                 "liesmich.htm",  "faq.htm",    "bk101.gif",
                                                 "minipnkt.gif",  "Form1_page_Expert.html",
                                                 "index.html",    "history.htm"};
  return pages;
}

TProcess::TProcess(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    throw std::runtime_error("cannot start: " + commandLine);
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  id_ = pi.dwProcessId;
}

TProcess::~TProcess() {
  if (Running()) Kill();
  CloseHandle(process_);
}

bool TProcess::Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

void PumpFor(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    int left = static_cast<int>(end - GetTickCount());
    if (left <= 0) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
  } while (true);
}

bool WaitUntil(const std::function<bool()>& what, int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (!what()) {
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    PumpFor(50);
  }
  return true;
}

std::set<std::string> LoaderFolders() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::set<std::string> found;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((std::string(temp) + "qlw*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return found;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.insert(std::string(temp) + fd.cFileName);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return found;
}

int TProcess::Wait(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    int left = static_cast<int>(end - GetTickCount());
    if (left <= 0) return -1;
    // Our own windows answer what the other program sends them meanwhile.
    if (MsgWaitForMultipleObjects(1, &process_, FALSE, static_cast<DWORD>(left), QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
      PumpFor(0);
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<int>(code);
}

void TProcess::Kill() {
  TerminateProcess(process_, 99);
  WaitForSingleObject(process_, 5000);
}

namespace {

// The caption the system keeps for the window: asks the window's program
// nothing, so a busy program does not hold the caller up.
std::string TextOf(HWND w) {
  char buf[1024] = {};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

// What the control holds now (WM_GETTEXT): an edit's kept caption is only
// what it was made with.
std::string ControlText(HWND w) {
  char buf[1024] = {};
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 5000, &n))
    return "";
  return std::string(buf, n < sizeof buf ? n : 0);
}

std::string ClassOf(HWND w) {
  char buf[256] = {};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

struct TTopSearch {
  std::string Caption;
  const std::vector<DWORD>* Pids;
  HWND Found = nullptr;
};

BOOL CALLBACK TopWindowProc(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TTopSearch*>(p);
  if (!IsWindowVisible(w) || TextOf(w) != s->Caption) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  bool ours = s->Pids->empty();
  for (DWORD id : *s->Pids) ours = ours || id == pid;
  if (!ours) return TRUE;
  s->Found = w;
  return FALSE;
}

struct TChildSearch {
  std::string ClassName;
  std::vector<HWND> Found;
};

BOOL CALLBACK ChildProc(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TChildSearch*>(p);
  if (IsWindowVisible(w) && (s->ClassName.empty() || lstrcmpiA(ClassOf(w).c_str(), s->ClassName.c_str()) == 0))
    s->Found.push_back(w);
  return TRUE;
}

BOOL CALLBACK MessageBoxProc(HWND w, LPARAM p) {
  if (IsWindowVisible(w) && ClassOf(w) == "#32770") {
    auto* out = reinterpret_cast<std::string*>(p);
    *out += "[" + TextOf(w) + "]";
    for (const std::string& t : ChildTexts(w, "Static")) *out += " " + t;
    *out += "\n";
  }
  return TRUE;
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}

}  // namespace

HWND FindTopWindow(const std::string& caption, const std::vector<DWORD>& pids) {
  TTopSearch s{caption, &pids};
  EnumWindows(TopWindowProc, reinterpret_cast<LPARAM>(&s));
  return s.Found;
}

HWND WaitForTopWindow(const std::string& caption, int ms, const std::vector<DWORD>& pids) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    if (HWND w = FindTopWindow(caption, pids)) return w;
    PumpFor(50);
  } while (static_cast<int>(end - GetTickCount()) > 0);
  return nullptr;
}

std::string MessageBoxTexts() {
  std::string out;
  EnumWindows(MessageBoxProc, reinterpret_cast<LPARAM>(&out));
  return out;
}

HWND FindChild(HWND parent, const std::string& className, const std::string& text) {
  TChildSearch s{className, {}};
  EnumChildWindows(parent, ChildProc, reinterpret_cast<LPARAM>(&s));
  for (HWND w : s.Found)
    if (TextOf(w) == text) return w;
  return nullptr;
}

std::vector<std::string> ChildTexts(HWND parent, const std::string& className) {
  TChildSearch s{className, {}};
  EnumChildWindows(parent, ChildProc, reinterpret_cast<LPARAM>(&s));
  std::vector<std::string> texts;
  for (HWND w : s.Found) texts.push_back(ControlText(w));
  return texts;
}

bool ClickButton(HWND button) {
  // Posted, as a real click arrives: a modal loop waiting for its next
  // message looks at its result only after one has come.
  return button && PostMessageA(button, BM_CLICK, 0, 0);
}

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

std::string ProgramsFolder() { return ShellFolder(CSIDL_PROGRAMS); }
std::string DesktopFolder() { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }
std::string ProgramFilesFolder() { return ShellFolder(CSIDL_PROGRAM_FILES); }

long long DateOf(const std::string& path) {
  TDateTime d = 0;
  return FileDateTime(path, d) ? DateTimeToMilliseconds(d) : -1;
}

long long DateOf(const TOddDate& d) {
  return DateTimeToMilliseconds(EncodeDate(d.Year, d.Month, d.Day) + EncodeTime(d.Hour, d.Minute, d.Second, 0));
}

}  // namespace setuptest
