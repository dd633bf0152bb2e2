// What a message box of the driven program says: its static texts.
#pragma once

#include <windows.h>

#include <string>

inline std::string BoxText(HWND box) {
  std::string text;
  if (!box) return text;
  EnumChildWindows(
      box,
      [](HWND w, LPARAM p) CALLBACK -> BOOL {
        char cls[32] = "", buf[8192] = "";
        GetClassNameA(w, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0) {
          GetWindowTextA(w, buf, sizeof buf);
          *reinterpret_cast<std::string*>(p) += buf;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}
