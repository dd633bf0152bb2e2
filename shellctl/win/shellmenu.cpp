#include "shellmenu.h"

#include <commctrl.h>

#include <cctype>
#include <cstring>

#include "sysutils.h"
#include "win/shelldata.h"
#include "win/shellutils.h"

HRESULT QueryItemMenu(IShellFolder* folder, HWND owner, const std::vector<LPCITEMIDLIST>& items, UINT firstId,
                      UINT flags, IContextMenu** handler, HMENU* menu) {
  if (!handler || !menu) return E_POINTER;
  *handler = nullptr;
  *menu = nullptr;
  if (!folder) return E_INVALIDARG;
  std::vector<LPCITEMIDLIST> list(items);
  HRESULT hr = folder->GetUIObjectOf(owner, static_cast<UINT>(list.size()), list.empty() ? nullptr : list.data(),
                                     IID_IContextMenu, nullptr, reinterpret_cast<void**>(handler));
  if (FAILED(hr) || !*handler) return FAILED(hr) ? hr : E_FAIL;
  *menu = CreatePopupMenu();
  if (!*menu) return S_OK;
  hr = (*handler)->QueryContextMenu(*menu, 0, firstId, kLastMenuId, flags);
  if (FAILED(hr)) {
    DestroyMenu(*menu);
    *menu = nullptr;
    (*handler)->Release();
    *handler = nullptr;
    CheckResult(hr);
  }
  return hr;
}

int FindVerb(IContextMenu* contextMenu, const std::string& verb) {
  if (!contextMenu) return -1;
  HMENU scratch = CreatePopupMenu();
  if (!scratch) return -1;
  int found = -1;
  if (SUCCEEDED(contextMenu->QueryContextMenu(scratch, 0, kFirstMenuId, kLastMenuId, CMF_EXPLORE))) {
    const int count = GetMenuItemCount(scratch);
    for (int i = 0; i < count && found < 0; ++i) {
      UINT id = GetMenuItemID(scratch, i);
      if (id == static_cast<UINT>(-1) || id < kFirstMenuId) continue;
      char text[MAX_PATH + 1] = {};
      if (FAILED(contextMenu->GetCommandString(id - kFirstMenuId, GCS_VERBA, nullptr, text, MAX_PATH))) continue;
      text[MAX_PATH] = 0;
      if (SameText(text, verb)) found = static_cast<int>(id - kFirstMenuId);
    }
  }
  DestroyMenu(scratch);
  return found;
}

HRESULT InvokeVerb(IContextMenu* contextMenu, HWND owner, int offset) {
  if (!contextMenu) return E_POINTER;
  if (offset < 0) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = 0;
  info.hwnd = owner;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  info.nShow = SW_SHOWNORMAL;
  return contextMenu->InvokeCommand(&info);
}

HRESULT InvokeVerb(IContextMenu* contextMenu, HWND owner, const std::string& verb) {
  // Resolved to its own command: a verb the handler does not know must not
  // fall on offset 0, the handler's first command.
  return InvokeVerb(contextMenu, owner, FindVerb(contextMenu, verb));
}

void MenuHelpText(UINT itemId, UINT flags, IContextMenu* contextMenu,
                  const std::function<void(const std::string&)>& callback) {
  std::string text;
  if (contextMenu && itemId >= kFirstMenuId && itemId != 0xFFFF && !(flags & (0x2010 | MF_SEPARATOR))) {
    char buffer[MAX_PATH + 1] = {};
    if (SUCCEEDED(contextMenu->GetCommandString(itemId - kFirstMenuId, GCS_HELPTEXTA, nullptr, buffer, MAX_PATH)))
      text = std::string(buffer, strnlen(buffer, MAX_PATH));
  }
  if (callback) callback(text);
}

// ---------------------------------------------------------------- send to

void TSendToMenu::Prepare(HMENU submenu) {
  while (GetMenuItemCount(submenu) > 0) DeleteMenu(submenu, 0, MF_BYPOSITION);
  entries_.clear();
  AppendMenuA(submenu, MF_STRING | MF_GRAYED, kSendToPlaceholderId, "xxx");
}

bool TSendToMenu::Fill(HMENU submenu) {
  if (GetMenuItemCount(submenu) < 1 || GetMenuItemID(submenu, 0) != kSendToPlaceholderId ||
      !(GetMenuState(submenu, 0, MF_BYPOSITION) & MF_GRAYED))
    return false;
  DeleteMenu(submenu, 0, MF_BYPOSITION);
  entries_.clear();
  std::string folder = SpecialFolderPath(nullptr, CSIDL_SENDTO);
  if (folder.empty()) return true;
  folder = IncludeTrailingBackslash(folder);
  WIN32_FIND_DATAA fd;
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      Entry e;
      e.name = fd.cFileName;
      e.path = folder + fd.cFileName;
      SHFILEINFOA info = {};
      SHGetFileInfoA(e.path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
      e.icon = info.iIcon;
      entries_.push_back(e);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  SetErrorMode(oldMode);
  for (size_t i = 0; i < entries_.size(); ++i)
    AppendMenuA(submenu, MF_OWNERDRAW, firstId_ + static_cast<UINT>(i),
                reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(i + 1)));
  return true;
}

std::string TSendToMenu::EntryName(UINT id) const {
  if (id < firstId_ || id - firstId_ >= entries_.size()) return std::string();
  return entries_[id - firstId_].name;
}

const TSendToMenu::Entry* TSendToMenu::EntryOf(ULONG_PTR data) const {
  if (data < 1 || data > entries_.size()) return nullptr;
  return &entries_[data - 1];
}

HFONT TSendToMenu::MenuFont() const {
  NONCLIENTMETRICSA ncm = {};
  ncm.cbSize = sizeof(ncm);
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) return nullptr;
  return CreateFontIndirectA(&ncm.lfMenuFont);
}

void TSendToMenu::MeasureItem(MEASUREITEMSTRUCT* mis) const {
  const Entry* e = EntryOf(mis->itemData);
  mis->itemHeight = static_cast<UINT>(GetSystemMetrics(SM_CYMENU) + 2);
  mis->itemWidth = 32;
  if (!e) return;
  HDC dc = GetDC(nullptr);
  HFONT font = MenuFont();
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SIZE size = {};
  GetTextExtentPoint32A(dc, e->name.c_str(), static_cast<int>(e->name.size()), &size);
  if (old) SelectObject(dc, old);
  if (font) DeleteObject(font);
  ReleaseDC(nullptr, dc);
  mis->itemWidth = static_cast<UINT>(32 + size.cx + 8);
}

void TSendToMenu::DrawItem(const DRAWITEMSTRUCT* dis) const {
  const Entry* e = EntryOf(dis->itemData);
  const bool selected = (dis->itemState & ODS_SELECTED) != 0;
  HDC dc = dis->hDC;
  HBRUSH back = GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
  FillRect(dc, &dis->rcItem, back);
  if (!e) return;
  const int top = dis->rcItem.top + 2;
  ImageList_Draw(SystemImageList(false), e->icon, dc, dis->rcItem.left + 8, top, ILD_TRANSPARENT);
  HFONT font = MenuFont();
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  TextOutA(dc, dis->rcItem.left + 32, top, e->name.c_str(), static_cast<int>(e->name.size()));
  if (old) SelectObject(dc, old);
  if (font) DeleteObject(font);
}

LRESULT TSendToMenu::MenuChar(char ch, HMENU submenu) const {
  const int count = static_cast<int>(entries_.size());
  if (count == 0) return MAKELRESULT(0, MNC_CLOSE);
  int highlighted = -1;
  for (int i = 0; i < count; ++i)
    if (GetMenuState(submenu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) highlighted = i;
  const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  auto starts = [&](int i) {
    const std::string& n = entries_[static_cast<size_t>(i)].name;
    return !n.empty() && std::toupper(static_cast<unsigned char>(n[0])) == static_cast<unsigned char>(wanted);
  };
  int first = -1, matches = 0;
  // From the entry after the highlighted one round to it.
  for (int k = 1; k <= count; ++k) {
    int i = (highlighted + k) % count;
    if (!starts(i)) continue;
    if (first < 0) first = i;
    ++matches;
  }
  if (first < 0) return MAKELRESULT(0, MNC_CLOSE);
  return MAKELRESULT(first, matches == 1 ? MNC_EXECUTE : MNC_SELECT);
}
