#include "clipboard.h"

#include <cstring>

TClipboard::~TClipboard() {
  while (openCount_ > 0) Close();
  if (window_) DestroyWindow(window_);
}

HWND TClipboard::Window() {
  // Data can only be placed on the clipboard by a window that owns it, so
  // keep a hidden one of our own.
  if (!window_)
    window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
  return window_;
}

void TClipboard::Open() {
  if (openCount_ == 0) {
    // Another program may hold it for a moment.
    bool opened = false;
    for (int attempt = 0; attempt < 20 && !opened; ++attempt) {
      opened = OpenClipboard(Window()) != 0;
      if (!opened) Sleep(10);
    }
    if (!opened) throw Exception("Cannot open clipboard");
  }
  ++openCount_;
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0) CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  EmptyClipboard();
  Close();
}

bool TClipboard::HasFormat(UINT format) const { return IsClipboardFormatAvailable(format) != 0; }

std::string TClipboard::AsText() {
  std::string text;
  Open();
  HANDLE data = GetClipboardData(CF_TEXT);
  if (data) {
    const char* p = static_cast<const char*>(GlobalLock(data));
    if (p) {
      // The block may be larger than the text; never read past it.
      size_t size = GlobalSize(data);
      size_t n = 0;
      while (n < size && p[n]) ++n;
      text.assign(p, n);
      GlobalUnlock(data);
    }
  }
  Close();
  return text;
}

void TClipboard::SetAsText(const std::string& text) {
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  if (!mem) throw EOutOfMemory("Out of memory");
  char* p = static_cast<char*>(GlobalLock(mem));
  std::memcpy(p, text.c_str(), text.size() + 1);
  GlobalUnlock(mem);
  try {
    Open();
  } catch (...) {
    GlobalFree(mem);
    throw;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
  Close();
}

TClipboard* Clipboard() {
  static TClipboard* instance = new TClipboard();
  return instance;
}
