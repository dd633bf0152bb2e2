#include "remote_ui.h"

#include <commctrl.h>

#include <algorithm>

#include "test_support.h"
#include "user_registry.h"

namespace remoteui {

namespace {

const char kNameProp[] = "MorvaneComponentName";
const UINT kTimeout = 15000;

struct TopSearch {
  DWORD pid;
  std::string name, className, caption;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTop(HWND wnd, LPARAM lp) {
  auto* s = reinterpret_cast<TopSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != s->pid || !IsWindowVisible(wnd)) return TRUE;
  if (!s->name.empty()) {
    if (ComponentName(wnd) != s->name) return TRUE;
  } else {
    char cls[64] = "", text[512] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    GetWindowTextA(wnd, text, sizeof text);
    if (!s->className.empty() && s->className != cls) return TRUE;
    if (!s->caption.empty() && s->caption != text) return TRUE;
  }
  s->found = wnd;
  return FALSE;
}

struct ChildSearch {
  std::string name, className, caption;
  Program* program;
  HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND wnd, LPARAM lp) {
  auto* s = reinterpret_cast<ChildSearch*>(lp);
  if (!s->name.empty()) {
    if (ComponentName(wnd) != s->name) return TRUE;
  } else {
    char cls[64] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    if (!s->className.empty() && s->className != cls) return TRUE;
    if (!s->caption.empty() && s->program->Text(wnd) != s->caption) return TRUE;
  }
  s->found = wnd;
  return FALSE;
}

// A block of memory inside the driven process, freed with the object.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size) : process_(process) {
    at_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
  }
  char* At(size_t offset = 0) const { return static_cast<char*>(at_) + offset; }
  bool Write(size_t offset, const void* data, size_t size) {
    SIZE_T done = 0;
    return WriteProcessMemory(process_, At(offset), data, size, &done) && done == size;
  }
  bool Read(size_t offset, void* data, size_t size) {
    SIZE_T done = 0;
    return ReadProcessMemory(process_, At(offset), data, size, &done) && done == size;
  }
  bool Ok() const { return at_ != nullptr; }

 private:
  HANDLE process_;
  void* at_;
};

}  // namespace

bool WaitUntil(const std::function<bool()>& cond, int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (!cond()) {
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    Sleep(20);
  }
  return true;
}

std::string ComponentName(HWND wnd) {
  ATOM atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(wnd, kNameProp)));
  if (!atom) return "";
  char name[256] = "";
  GlobalGetAtomNameA(atom, name, sizeof name);
  return name;
}

bool Program::Start(const std::string& exe, const std::string& dir) {
  std::string cmd = "\"" + exe + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  return CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi_) != 0;
}

Program::~Program() {
  if (!pi_.hProcess) return;
  if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 1);
  CloseHandle(pi_.hProcess);
  CloseHandle(pi_.hThread);
}

long Program::WaitExit(int ms) {
  if (WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
  DWORD code = 1;
  GetExitCodeProcess(pi_.hProcess, &code);
  return static_cast<long>(code);
}

static HWND WaitForTop(TopSearch s, int ms) {
  WaitUntil(
      [&] {
        EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
      },
      ms);
  return s.found;
}

HWND Program::Form(const std::string& name, int ms) { return WaitForTop({pi_.dwProcessId, name, "", ""}, ms); }

HWND Program::TopWindow(const std::string& className, const std::string& caption, int ms) {
  return WaitForTop({pi_.dwProcessId, "", className, caption}, ms);
}

HWND Program::Control(HWND top, const std::string& name, int ms) {
  ChildSearch s{name, "", "", this};
  WaitUntil(
      [&] {
        EnumChildWindows(top, MatchChild, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
      },
      ms);
  return s.found;
}

HWND Program::ControlByText(HWND top, const std::string& className, const std::string& caption, int ms) {
  ChildSearch s{"", className, caption, this};
  WaitUntil(
      [&] {
        EnumChildWindows(top, MatchChild, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
      },
      ms);
  return s.found;
}

std::string Program::DescribeWindows() {
  struct Acc {
    DWORD pid;
    std::string text;
  } acc{pi_.dwProcessId, ""};
  EnumWindows(
      [](HWND wnd, LPARAM lp) CALLBACK -> BOOL {
        auto* a = reinterpret_cast<Acc*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        if (pid != a->pid) return TRUE;
        char cls[64] = "", text[256] = "";
        GetClassNameA(wnd, cls, sizeof cls);
        GetWindowTextA(wnd, text, sizeof text);
        a->text += std::string(cls) + " \"" + text + "\" name=" + ComponentName(wnd) +
                   (IsWindowVisible(wnd) ? " visible\n" : " hidden\n");
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&acc));
  return acc.text;
}

LRESULT Program::Send(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(wnd, msg, wp, lp, SMTO_NORMAL, kTimeout, &result)) return 0;
  return static_cast<LRESULT>(result);
}

void Program::Post(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) { PostMessageA(wnd, msg, wp, lp); }

std::string Program::Text(HWND wnd) {
  char buf[4096] = "";
  Send(wnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
  return buf;
}

void Program::SetText(HWND wnd, const std::string& text) {
  Send(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Program::Type(HWND wnd, const std::string& text) {
  for (char c : text) Post(wnd, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void Program::Key(HWND wnd, WORD vk) {
  const UINT scan = MapVirtualKeyA(vk, 0);
  Post(wnd, WM_KEYDOWN, vk, 1 | (scan << 16));
  Post(wnd, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
}

void Program::Click(HWND wnd) { Send(wnd, BM_CLICK); }
void Program::PostClick(HWND wnd) { Post(wnd, BM_CLICK); }

bool Program::Checked(HWND wnd) { return Send(wnd, BM_GETCHECK) == BST_CHECKED; }

void Program::Choose(HWND combo, int index) {
  Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
  Send(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::vector<std::string> Program::ComboItems(HWND combo) {
  std::vector<std::string> items;
  const int count = static_cast<int>(Send(combo, CB_GETCOUNT));
  for (int i = 0; i < count; ++i) {
    // Asked in UTF-16: Wine hands the ANSI form of this message to another
    // process as UTF-16 bytes.
    wchar_t item[512] = L"";
    DWORD_PTR len = 0;
    if (SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_NORMAL, kTimeout, &len) &&
        len < 512)
      SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item), SMTO_NORMAL,
                          kTimeout, &len);
    char text[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, item, -1, text, sizeof text, nullptr, nullptr);
    items.push_back(text);
  }
  return items;
}

void Program::SelectTab(HWND tabs, int index) { Send(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(index)); }

std::vector<std::string> Program::ListItems(HWND list) {
  std::vector<std::string> items;
  const int count = static_cast<int>(Send(list, LVM_GETITEMCOUNT));
  const size_t textSize = 1024;
  RemoteBlock block(pi_.hProcess, sizeof(LVITEMA) + textSize);
  if (!block.Ok()) return items;
  for (int i = 0; i < count; ++i) {
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = block.At(sizeof(LVITEMA));
    item.cchTextMax = static_cast<int>(textSize);
    block.Write(0, &item, sizeof item);
    Send(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block.At()));
    char text[1024] = "";
    block.Read(sizeof(LVITEMA), text, sizeof text);
    text[sizeof text - 1] = 0;
    items.push_back(text);
  }
  return items;
}

void Program::SelectItems(HWND list, const std::vector<int>& indexes) {
  RemoteBlock block(pi_.hProcess, sizeof(LVITEMA));
  if (!block.Ok()) return;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  block.Write(0, &item, sizeof item);
  Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(block.At()));
  bool first = true;
  for (int i : indexes) {
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | (first ? LVIS_FOCUSED : 0);
    block.Write(0, &item, sizeof item);
    Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block.At()));
    first = false;
  }
}

std::vector<int> Program::SelectedItems(HWND list) {
  std::vector<int> out;
  for (int i = -1;;) {
    const int next = static_cast<int>(Send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED));
    if (next <= i) break;  // the end, or no answer
    out.push_back(i = next);
  }
  return out;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..") names.push_back(fd.cFileName);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

void SetExpertSources(const std::string& settings, const std::string& first, const std::string& final, int page) {
  using testsupport::SetUserValue;
  SetUserValue(settings, "Restore Expert Filelists", 1);
  SetUserValue(settings, "Restore Expert Filelists amount", 1);
  SetUserValue(settings, "Restore Expert Filelists contents 1", first + "\x01");
  SetUserValue(settings, "Restore Expert Filelists contents 0", final + "\x01");
  SetUserValue(settings, "Startup page", page);
  SetUserValue(settings, "Startup page mode", 1);
}

void SetInfoZipArchiver(const std::string& settings, const std::string& exe) {
  using testsupport::SetUserValue;
  SetUserValue(settings, "Expert default packer", 1);
  SetUserValue(settings, "Expert default archive checked", 1);
  SetUserValue(settings + "\\packer\\InfoZIP", "Call via system path", 0);
  SetUserValue(settings + "\\packer\\InfoZIP", "Use executable at", exe);
}

void WriteReadmePair(const std::string& oldDir, const std::string& newDir, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += "line " + std::to_string(i) + " of the readme\n";
  testsupport::WriteFileText(testsupport::Join(oldDir, "readme.txt"), text);
  testsupport::WriteFileText(testsupport::Join(newDir, "readme.txt"), text + "one line more\n");
}

void Mouse(POINT screen, DWORD buttons) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  in.mi.dx = (screen.x * 65535 + w / 2) / (w - 1);
  in.mi.dy = (screen.y * 65535 + h / 2) / (h - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
  SendInput(1, &in, sizeof in);
}

}  // namespace remoteui
