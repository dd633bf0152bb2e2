// The system clipboard, as text.
#pragma once

#include <windows.h>

#include <string>

#include "sysutils.h"

class TClipboard : public TObject {
 public:
  TClipboard() = default;
  ~TClipboard() override;
  // Opening nests; the clipboard is held until the last Close.  Open raises
  // Exception "Cannot open clipboard" when another program holds it.
  void Open();
  void Close();
  void Clear();
  bool HasFormat(UINT format) const;
  // "" when the clipboard holds no text.
  std::string AsText();
  // Replaces the clipboard's contents with the text.
  void SetAsText(const std::string& text);

 private:
  HWND Window();
  HWND window_ = nullptr;
  int openCount_ = 0;
};

// The program's clipboard object, made at the first use.
TClipboard* Clipboard();
