// htmlshot [--text TEXTFILE] PAGE WIDTH HEIGHT OUT.bmp
//
// Shows PAGE in a viewer of WIDTH x HEIGHT on a form (images on, "Times New
// Roman" and "Courier New", a single border), waits until it has painted,
// writes the viewer's client area as a 24-bit BMP and prints "title: ...",
// "height: N" and "load: S s" (the time LoadFromFile took: parse, layout
// and scroll bars).  With --text the whole document is selected and the
// text it emits for the selection is written to TEXTFILE.  A load that
// raises prints "error: <message>" and exits with 2.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "classes.h"
#include "win/forms.h"
#include "win/htmlviewer.h"

namespace {

void Pump(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    Application->ProcessMessages();
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool WriteBmp(const std::string& path, HWND wnd, int w, int h) {
  POINT origin{0, 0};
  ClientToScreen(wnd, &origin);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const int stride = ((w * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(stride) * static_cast<DWORD>(h);
    bi.bmiHeader.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(h);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
           std::fwrite(bits, static_cast<size_t>(stride) * static_cast<size_t>(h), 1, f) == 1;
      ok = std::fclose(f) == 0 && ok;
    }
    SelectObject(mem, old);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string textFile;
  if (args.size() >= 2 && args[0] == "--text") {
    textFile = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 4) {
    std::fprintf(stderr, "usage: htmlshot [--text TEXTFILE] PAGE WIDTH HEIGHT OUT.bmp\n");
    return 1;
  }
  const int w = std::atoi(args[1].c_str()), h = std::atoi(args[2].c_str());
  Application->Initialize();
  TForm* form = new TForm(Application);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, w, h);
  THTMLViewer* viewer = new THTMLViewer(form);
  viewer->SetParent(form);
  viewer->SetBounds(0, 0, w, h);
  viewer->SetViewImages(true);
  viewer->SetDefFontName("Times New Roman");
  viewer->SetDefPreFontName("Courier New");
  viewer->SetBorderStyle(htSingle);
  form->Show();
  Pump(100);
  LARGE_INTEGER freq, before, after;
  QueryPerformanceFrequency(&freq);
  try {
    QueryPerformanceCounter(&before);
    viewer->LoadFromFile(ExpandFileName(args[0]));
    QueryPerformanceCounter(&after);
  } catch (const Exception& e) {
    std::printf("error: %s\n", e.Message().c_str());
    std::fflush(stdout);
    delete form;
    return 2;
  }
  viewer->Repaint();
  Pump(300);
  if (!WriteBmp(args[3], viewer->Handle(), viewer->ClientWidth(), viewer->ClientHeight())) {
    std::printf("error: cannot write %s\n", args[3].c_str());
    delete form;
    return 2;
  }
  std::printf("title: %s\nheight: %d\nload: %.3f s\n", viewer->DocumentTitle().c_str(), viewer->MaxVertical(),
              static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(freq.QuadPart));
  if (!textFile.empty()) {
    viewer->SelectAll();
    std::string text = viewer->SelText();
    if (FILE* f = std::fopen(textFile.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
  }
  std::fflush(stdout);
  delete form;
  return 0;
}
