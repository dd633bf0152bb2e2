// Shell context menus of items, their verbs and help texts, and the
// owner-drawn send-to submenu filled from the send-to folder.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

enum : UINT {
  kFirstMenuId = 50,  // the controls' first command id; FindVerb relies on it
  kLastMenuId = 0x7FFF,
  kSendToPlaceholderId = 99,
};

// The folder's context-menu handler for the items and a popup menu that it
// filled with ids from firstId.  A failure of the filling raises.
HRESULT QueryItemMenu(IShellFolder* folder, HWND owner, const std::vector<LPCITEMIDLIST>& items, UINT firstId,
                      UINT flags, IContextMenu** handler, HMENU* menu);
// The command offset of the verb (case-insensitive), or -1 when the
// handler has no such verb.
int FindVerb(IContextMenu* contextMenu, const std::string& verb);
// Runs a verb; one the handler does not know runs nothing and answers
// HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
HRESULT InvokeVerb(IContextMenu* contextMenu, HWND owner, const std::string& verb);
HRESULT InvokeVerb(IContextMenu* contextMenu, HWND owner, int offset);
// The help text of a selected menu item (id and WM_MENUSELECT flags) goes to
// the callback; popups, separators and ids below the first give "".
void MenuHelpText(UINT itemId, UINT flags, IContextMenu* contextMenu,
                  const std::function<void(const std::string&)>& callback);

// The send-to submenu: a grey placeholder until opened, then one
// owner-drawn entry for each file of the send-to folder, with ids from
// firstId.
class TSendToMenu {
 public:
  explicit TSendToMenu(UINT firstId) : firstId_(firstId) {}
  // Empties the submenu and puts the placeholder in.
  void Prepare(HMENU submenu);
  // On opening: replaces a placeholder by the send-to folder's entries.
  // False when the submenu was filled already.
  bool Fill(HMENU submenu);
  // The entry's name for a command id, "" when the id is not an entry's.
  std::string EntryName(UINT id) const;
  int EntryCount() const { return static_cast<int>(entries_.size()); }
  void MeasureItem(MEASUREITEMSTRUCT* mis) const;
  void DrawItem(const DRAWITEMSTRUCT* dis) const;
  // WM_MENUCHAR: selects the next entry starting with the character (after
  // the highlighted one, wrapping round), executes it when it is the only
  // one, closes the menu when none matches.
  LRESULT MenuChar(char ch, HMENU submenu) const;

 private:
  struct Entry {
    std::string name;
    std::string path;
    int icon;
  };
  HFONT MenuFont() const;
  const Entry* EntryOf(ULONG_PTR data) const;
  UINT firstId_;
  std::vector<Entry> entries_;
};
