#include "win/htmlviewer.h"

#include <windowsx.h>

#include <algorithm>
#include <cctype>

#include "htmlcanvas.h"
#include "htmlforms.h"
#include "htmlparse.h"
#include "htmltext.h"
#include "imgcache.h"
#include "win/forms.h"
#include "win/htmlimages.h"

using htmlsubs::TSectionList;

namespace {

// The selection as text.
class SelTextBuffer : public htmlun2::SelTextCount {
 public:
  void AddText(const char* p, int size) override {
    count_ += size;
    Text.append(p, static_cast<size_t>(size));
  }
  std::string Text;
};

bool IsWordChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string UpperExt(const std::string& name) {
  size_t slash = name.find_last_of("\\/:");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return UpperCase(name.substr(dot, 5));
}

std::string FileFolder(const std::string& name) {
  size_t slash = name.find_last_of("\\:");
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// TPaintPanel

TPaintPanel::TPaintPanel(TComponent* owner, THTMLViewer* viewer) : TCustomControl(owner), Viewer(viewer) {
  erase_background_ = false;
}

void TPaintPanel::Paint() {
  if (Viewer->LayingOut()) return;
  RECT clip = Canvas().ClipRect();
  const int w = clip.right - clip.left, h = clip.bottom - clip.top;
  if (w <= 0 || h <= 0) return;
  HDC screen = Canvas().Handle();
  std::unique_ptr<TCanvas> mem(new TCanvas);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = FailNextBitmap ? nullptr : CreateCompatibleBitmap(screen, w, h);
  FailNextBitmap = false;
  if (!bitmap) {
    // What was made for this paint goes before the error does.
    if (dc) DeleteDC(dc);
    throw EOutOfResources("Out of Resources");
  }
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  SetWindowOrgEx(dc, clip.left, clip.top, nullptr);
  mem->SetHandle(dc);
  MemCanvas = mem.get();
  try {
    Viewer->DrawBackground(*mem, clip);
    if (OnPaint) OnPaint(this);
  } catch (...) {
    MemCanvas = nullptr;
    mem->SetHandle(nullptr);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    throw;
  }
  MemCanvas = nullptr;
  HPALETTE oldPalette = nullptr;
  if (htmlun2::ThePalette) {
    oldPalette = SelectPalette(screen, htmlun2::ThePalette, FALSE);
    RealizePalette(screen);
  }
  BitBlt(screen, clip.left, clip.top, w, h, dc, clip.left, clip.top, SRCCOPY);
  if (Viewer->HandleAllocated()) PostMessageA(Viewer->Handle(), WM_HTMLBORDER, 0, 0);
  if (oldPalette) SelectPalette(screen, oldPalette, TRUE);
  mem->SetHandle(nullptr);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

void TPaintPanel::WndProc(TMessage& m) {
  if (m.Msg == WM_ERASEBKGND) {
    if (EraseNext) {
      RECT r;
      GetClientRect(Handle(), &r);
      TCanvas c;
      c.SetHandle(reinterpret_cast<HDC>(m.WParam));
      Viewer->DrawBackground(c, r);
      c.SetHandle(nullptr);
      EraseNext = false;
    }
    m.Result = 1;
    return;
  }
  if (m.Msg == WM_LBUTTONDBLCLK) {
    Viewer->DoubleClick(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
    m.Result = 0;
    return;
  }
  if (m.Msg == WM_CAPTURECHANGED && reinterpret_cast<HWND>(m.LParam) != Handle()) Viewer->PressLost();
  TCustomControl::WndProc(m);
}

// ---------------------------------------------------------------------------
// T32ScrollBar

T32ScrollBar::T32ScrollBar(TComponent* owner, THTMLViewer* viewer) : TScrollBar(owner), viewer_(viewer) {
  SetKind(sbVertical);
}

bool T32ScrollBar::SetAll(int min, int max, int page, int pos) {
  if (min == min_ && max == max_ && page == page_ && pos == pos_) return false;
  min_ = min;
  max_ = max;
  page_ = page;
  pos_ = pos;
  if (HandleAllocated()) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = min;
    si.nMax = max;
    si.nPage = static_cast<UINT>(page < 0 ? 0 : page);
    si.nPos = pos;
    SetScrollInfo(Handle(), SB_CTL, &si, TRUE);
    ++InfoCalls;
  }
  return true;
}

void T32ScrollBar::WndProc(TMessage& m) {
  if (m.Msg == CN_VSCROLL) {
    viewer_->VScroll(LOWORD(m.WParam));
    m.Result = 0;
    return;
  }
  TScrollBar::WndProc(m);
}

// ---------------------------------------------------------------------------
// THTMLViewer

THTMLViewer::THTMLViewer(TComponent* owner)
    : TWinControl(owner),
      defFontColor_(clBtnText),
      defHotSpotColor_(clBlue),
      defBackground_(clBtnFace),
      scrollWidth_(GetSystemMetrics(SM_CXVSCROLL)) {
  htmlun2::StartHtmlImages();
  htmlun2::StartImageCache();
  // The cache is shared and starts with a count of its own; this viewer's
  // count holds from its start, not only once the property is set.
  htmlun2::BitmapList->SetCacheCount(imageCacheCount_);
  width_ = height_ = 150;
  cursor_ = crIBeam;
  TabStop = true;
  border_ = new TPaintBox(this);
  border_->SetParent(this);
  border_->SetAlign(alClient);
  border_->OnPaint = [this](TObject* s) { PaintBorder(s); };
  panel_ = new TPaintPanel(this, this);
  panel_->SetParent(this);
  panel_->SetBounds(1, 1, 148, 148);
  panel_->SetCursor(crIBeam);
  panel_->SetColor(defBackground_ | htmlsubs::PaletteRelative);
  panel_->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { HTMLMouseDown(s, b, sh, x, y); };
  panel_->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { HTMLMouseMove(s, sh, x, y); };
  panel_->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { HTMLMouseUp(s, b, sh, x, y); };
  panel_->OnPaint = [this](TObject* s) { HTMLPaint(s); };
  vbar_ = new T32ScrollBar(this, this);
  vbar_->SetParent(this);
  vbar_->SetVisible(false);
  vbar_->TabStop = false;
  vbar_->SmallChange = 16;
  hbar_ = new TScrollBar(this);
  hbar_->SetParent(this);
  hbar_->SetVisible(false);
  hbar_->TabStop = false;
  hbar_->SmallChange = 15;
  hbar_->OnScroll = [this](TObject*, TScrollCode, int& pos) {
    pos = std::min(pos, std::max(0, hbar_->Max() - panel_->Width()));
    panel_->Invalidate();
  };
  doc_.reset(new TSectionList(this, panel_));
  doc_->Viewer = this;
  doc_->OnBackColorChange = [this](TObject*) { panel_->SetColor(doc_->Background | htmlsubs::PaletteRelative); };
  doc_->OnExpandName = [this](const std::string& name) { return HTMLExpandFilename(name); };
  nameList_.SetSorted(true);
  ApplyDefaults();
}

THTMLViewer::~THTMLViewer() {
  // Pending submissions go with the viewer (their lists are freed here).
  submissions_.clear();
  doc_->Clear();
}

void THTMLViewer::CreateParams(TCreateParams& p) {
  TWinControl::CreateParams(p);
  p.Style |= WS_CLIPCHILDREN;
}

void THTMLViewer::SetProcessing(bool on) {
  if (processing_ == on) return;
  processing_ = on;
  if (OnProcessing) OnProcessing(this, on);
}

void THTMLViewer::ApplyDefaults() {
  doc_->SetDefaults(defFontName_, defPreFontName_, defBackground_, defHotSpotColor_, defFontColor_, defFontSize_);
}

// ---------------------------------------------------------------------------
// Loading

void THTMLViewer::LoadFile(const std::string& fileName, TLoadKind kind) {
  savedCursor_ = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  std::string name = fileName, dest;
  size_t hash = fileName.find('#');
  if (hash != std::string::npos) {
    name = fileName.substr(0, hash);
    dest = fileName.substr(hash + 1, 255);
  }
  SetProcessing(true);
  try {
    if (!FileExists(name)) throw EInOutError("Can't locate file: " + name, 2);
    doc_->Clear();
    // Pictures no page uses stay for ImageCacheCount further loads, so that
    // going back to a page does not read its pictures again.
    if (htmlun2::BitmapList) htmlun2::BitmapList->BumpAndCheck();
    ApplyDefaults();
    nameList_.Clear();
    caretPos_ = 0;
    mouseDownPos_ = -1;
    readhtml::OnScript = nullptr;
    if (OnScript)
      readhtml::OnScript = [this](const std::string& l, const std::string& s) { OnScript(this, l, s); };
    try {
      if (kind == lkHTML) {
        readhtml::HtmlParseFile(doc_.get(), &nameList_, name);
      } else if (kind == lkText) {
        readhtml::HtmlParseTextFile(doc_.get(), &nameList_, name);
      } else {
        // The tag is not cut: a long path must reach the image loader whole.
        std::string tag = "<img src=\"" + name + "\">";
        readhtml::HtmlParseBuffer(doc_.get(), &nameList_, tag.data(), static_cast<int>(tag.size()));
      }
    } catch (...) {
      readhtml::OnScript = nullptr;
      throw;
    }
    readhtml::OnScript = nullptr;
    const std::string oldFile = currentFile_;
    currentFile_ = ExpandFileName(name);
    fileType_ = static_cast<uint8_t>(kind);
    LayoutAfterParse();
    if (dest.empty()) {
      if (!SameText(currentFile_, oldFile)) {
        ScrollTo(0);
        hbar_->SetPosition(0);
      }
    } else {
      PositionTo(dest);
    }
    panel_->Invalidate();
  } catch (...) {
    if (Screen) Screen->SetCursor(savedCursor_);
    SetProcessing(false);
    throw;
  }
  if (Screen) Screen->SetCursor(savedCursor_);
  SetProcessing(false);
}

// Copies the parser's globals and lays the new document out.
void THTMLViewer::LayoutAfterParse() {
  documentTitle_ = readhtml::Title;
  base_ = readhtml::Base;
  baseTarget_ = readhtml::BaseTarget;
  ResetForms();
  SafeLayout();
}

// A layout error leaves an empty document rather than a half-built one,
// which painting and hit tests would walk.
void THTMLViewer::SafeLayout() {
  try {
    Layout();
  } catch (...) {
    doc_->Clear();
    nameList_.Clear();
    layingOut_ = false;
    maxVertical_ = maxHScroll_ = 0;
    ScrollBarPass();
    panel_->Invalidate();
    throw;
  }
}

void THTMLViewer::FileLoader(const std::string& fileName, TLoadKind kind) {
  if (processing_ || fileName.empty()) return;
  const std::string oldFile = currentFile_, oldTitle = documentTitle_;
  const int oldPos = Position();
  const uint8_t oldType = fileType_;
  LoadFile(fileName, kind);
  if (SameText(oldFile, currentFile_) && oldType == fileType_) return;
  BumpHistory(oldFile, oldTitle, oldPos, oldType);
}

void THTMLViewer::LoadFromFile(const std::string& fileName) { FileLoader(fileName, lkHTML); }
void THTMLViewer::LoadTextFile(const std::string& fileName) { FileLoader(fileName, lkText); }
void THTMLViewer::LoadImageFile(const std::string& fileName) { FileLoader(fileName, lkImage); }

template <typename ParseStep>
void THTMLViewer::LoadSource(ParseStep parse) {
  if (processing_) return;
  SetProcessing(true);
  try {
    doc_->Clear();
    if (htmlun2::BitmapList) htmlun2::BitmapList->BumpAndCheck();
    ApplyDefaults();
    nameList_.Clear();
    caretPos_ = 0;
    mouseDownPos_ = -1;
    readhtml::OnScript = nullptr;
    if (OnScript)
      readhtml::OnScript = [this](const std::string& l, const std::string& s) { OnScript(this, l, s); };
    try {
      parse();
    } catch (...) {
      readhtml::OnScript = nullptr;
      throw;
    }
    readhtml::OnScript = nullptr;
    LayoutAfterParse();
    ScrollTo(0);
    hbar_->SetPosition(0);
    panel_->Invalidate();
    currentFile_.clear();
  } catch (...) {
    currentFile_.clear();
    SetProcessing(false);
    throw;
  }
  SetProcessing(false);
}

void THTMLViewer::LoadStrings(const TStrings* strings, bool asText) {
  LoadSource([&]() {
    if (asText) readhtml::HtmlParseTextStrings(doc_.get(), &nameList_, strings);
    else readhtml::HtmlParseStrings(doc_.get(), &nameList_, strings);
  });
}

void THTMLViewer::LoadFromBuffer(const char* buffer, int size) {
  LoadSource([&]() { readhtml::HtmlParseBuffer(doc_.get(), &nameList_, buffer, size); });
}

void THTMLViewer::LoadFromStream(TStream* stream) {
  LoadSource([&]() { readhtml::HtmlParseStream(doc_.get(), &nameList_, stream); });
}

// ---------------------------------------------------------------------------
// History

void THTMLViewer::BumpHistory(const std::string& oldName, const std::string& oldTitle, int oldPos, uint8_t oldType) {
  if (historyMaxCount_ <= 0 || currentFile_.empty()) return;
  if (oldName == currentFile_ && oldType == fileType_ && oldPos == Position()) return;
  if (history_.Count() > 0 && !oldName.empty()) {
    history_.Put(historyIndex_, oldName);
    titleHistory_.Put(historyIndex_, oldTitle);
    auto* p = static_cast<PositionObj*>(positionHistory_.Items(historyIndex_));
    p->Pos = oldPos;
    p->FileType = oldType;
    for (int i = 0; i < historyIndex_; ++i) {
      history_.Delete(0);
      titleHistory_.Delete(0);
      delete static_cast<PositionObj*>(positionHistory_.Items(0));
      positionHistory_.Delete(0);
    }
  }
  historyIndex_ = 0;
  history_.Insert(0, currentFile_);
  auto* p = new PositionObj;
  p->Pos = Position();
  p->FileType = fileType_;
  positionHistory_.Insert(0, p);
  titleHistory_.Insert(0, documentTitle_);
  if (history_.Count() > historyMaxCount_) {
    history_.Delete(historyMaxCount_);
    titleHistory_.Delete(historyMaxCount_);
    delete static_cast<PositionObj*>(positionHistory_.Items(historyMaxCount_));
    positionHistory_.Delete(historyMaxCount_);
  }
  if (OnHistoryChange) OnHistoryChange(this);
}

void THTMLViewer::ClearHistory() {
  const bool had = history_.Count() > 0;
  history_.Clear();
  titleHistory_.Clear();
  positionHistory_.Clear();
  historyIndex_ = 0;
  if (had && OnHistoryChange) OnHistoryChange(this);
}

void THTMLViewer::SetHistoryMaxCount(int value) {
  if (value < 0 || value == historyMaxCount_) return;
  if (value < historyMaxCount_) ClearHistory();
  historyMaxCount_ = value;
}

// ---------------------------------------------------------------------------
// Layout and scrolling

void THTMLViewer::Layout() {
  layingOut_ = true;
  try {
    maxHScroll_ = 0;
    int w = Width() - 20;
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) w -= scrollWidth_;
    int curs = 0;
    maxVertical_ = doc_->Arrange(htmlsubs::ScreenMeasure(), 0, w, maxHScroll_, curs);
  } catch (...) {
    layingOut_ = false;
    throw;
  }
  layingOut_ = false;
  ScrollBarPass();
}

void THTMLViewer::ScrollBarPass() {
  const int B = borderStyle_ == htNone ? 0 : 1;
  const int S = scrollWidth_;
  const int W = Width(), H = Height();
  bool vNeeded = false;
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
    vNeeded = maxVertical_ >= H - 2;
    if (scrollBars_ == ssBoth && maxVertical_ >= H - 2 - S && maxHScroll_ + 20 > W - S) vNeeded = true;
  }
  const int A = vNeeded ? W - S : W;
  bool hNeeded = false;
  if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth)
    hNeeded = maxHScroll_ + 20 > W || (vNeeded && maxHScroll_ + 20 > W - S);
  const int panelH = H - 2 * B - (hNeeded ? S : 0);
  panel_->SetBounds(B, B, A - 2 * B, panelH);
  hbar_->SetVisible(hNeeded);
  hbar_->LargeChange = std::max(1, A - 20);
  hbar_->SetBounds(B, H - S - B, A - B, S);
  hbar_->SetParams(std::min(hbar_->Position(), std::max(0, std::max(maxHScroll_ + 20, A - 2 * B))), 0,
                   std::max(0, std::max(maxHScroll_ + 20, A - 2 * B)));
  hbar_->SetPageSize(A);
  vbar_->SetBounds(W - S - B, B, S, panelH);
  vbar_->LargeChange = panelH - 16;
  vbar_->SetVisible(vNeeded);
  vbar_->SetAll(0, maxVertical_, panelH + 1, vbar_->Position32());
}

void THTMLViewer::ScrollTo(int y) {
  const int pos = std::max(std::min(y, maxVertical_ - PanelHeight()), 0);
  vbar_->SetPosition32(pos);
  doc_->SetScrollTop(pos);
  panel_->Invalidate();
}

void THTMLViewer::Reformat() {
  if (processing_) return;
  SetProcessing(true);
  try {
    const int pos = Position();
    SafeLayout();
    SetPosition(pos);
  } catch (...) {
    SetProcessing(false);
    throw;
  }
  SetProcessing(false);
}

int THTMLViewer::Position() {
  int top = 0, index = -1;
  if (!doc_->SectionAtY(doc_->ScrollTop, top, index) || index < 0) return 0;
  const int offset = std::min(doc_->ScrollTop - top, 0xFFFF);
  return static_cast<int>((static_cast<unsigned>(index) << 16) | static_cast<unsigned>(offset));
}

void THTMLViewer::SetPosition(int value) {
  const int index = static_cast<int>(static_cast<unsigned>(value) >> 16);
  if (index >= doc_->Count()) return;
  int top = 0;
  for (int i = 0; i < index; ++i) top += doc_->Section(i)->FlowHeight;
  ScrollTo((value & 0xFFFF) + top);
}

// A move by exactly one line moves the pixels; anything else repaints.
void THTMLViewer::MoveVertical(int pos, bool oneLine) {
  pos = std::max(0, std::min(pos, maxVertical_ - PanelHeight()));
  const int old = vbar_->Position32();
  if (pos == old) return;
  vbar_->SetPosition32(pos);
  doc_->SetScrollTop(pos);
  if (oneLine && std::abs(pos - old) == vbar_->SmallChange && panel_->HandleAllocated()) {
    ScrollWindow(panel_->Handle(), 0, old - pos, nullptr, nullptr);
    panel_->Update();
  } else {
    panel_->Invalidate();
  }
}

void THTMLViewer::VScroll(int code) {
  if (CanFocus()) SetFocus();
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  GetScrollInfo(vbar_->Handle(), SB_CTL, &si);
  int pos = vbar_->Position32();
  bool oneLine = false;
  switch (code) {
    case SB_THUMBTRACK: pos = si.nTrackPos; break;
    case SB_THUMBPOSITION: pos = si.nPos; break;
    case SB_LINEUP: pos -= vbar_->SmallChange; oneLine = true; break;
    case SB_LINEDOWN: pos += vbar_->SmallChange; oneLine = true; break;
    case SB_PAGEUP: pos -= vbar_->LargeChange; break;
    case SB_PAGEDOWN: pos += vbar_->LargeChange; break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = maxVertical_ - PanelHeight(); break;
    default: return;
  }
  MoveVertical(pos, oneLine);
}

void THTMLViewer::KeyDown(WORD& key, TShiftState shift) {
  TWinControl::KeyDown(key, shift);
  int pos = vbar_->Position32();
  switch (key) {
    case VK_PRIOR: MoveVertical(pos - vbar_->LargeChange, false); break;
    case VK_NEXT: MoveVertical(pos + vbar_->LargeChange, false); break;
    case VK_UP: MoveVertical(pos - vbar_->SmallChange, true); break;
    case VK_DOWN: MoveVertical(pos + vbar_->SmallChange, true); break;
    case VK_HOME: MoveVertical(0, false); break;
    case VK_END: MoveVertical(maxVertical_, false); break;
    case VK_LEFT:
    case VK_RIGHT: {
      int h = hbar_->Position() + (key == VK_LEFT ? -hbar_->SmallChange : hbar_->SmallChange);
      h = std::max(0, std::min(h, hbar_->Max() - panel_->Width()));
      hbar_->SetPosition(h);
      panel_->Invalidate();
      break;
    }
    default: break;
  }
}

// ---------------------------------------------------------------------------
// Painting

void THTMLViewer::HTMLPaint(TObject*) {
  if (!panel_->MemCanvas) return;
  RECT r = panel_->MemCanvas->ClipRect();
  htmlsubs::ThtRect clip{r.left, r.top, r.right, r.bottom};
  doc_->Render(*panel_->MemCanvas, clip, panel_->Width(), 10 - hbar_->Position(), 0);
}

void THTMLViewer::DrawBackground(TCanvas& canvas, const RECT& rect) {
  TBitmap* image = doc_->ViewImages ? dynamic_cast<TBitmap*>(doc_->GetBackImage()) : nullptr;
  if (image && image->Width() > 0 && image->Height() > 0) {
    const int tw = image->Width(), th = image->Height();
    const int startX = -(hbar_->Position() % tw), startY = -(vbar_->Position32() % th);
    HDC src = image->Canvas().Handle();
    for (int y = startY; y < rect.bottom; y += th) {
      if (y + th <= rect.top) continue;
      for (int x = startX; x < rect.right; x += tw) {
        if (x + tw <= rect.left) continue;
        BitBlt(canvas.Handle(), x, y, tw, th, src, 0, 0, SRCCOPY);
      }
    }
    return;
  }
  canvas.Brush().SetColor(doc_->Background | htmlsubs::PaletteRelative);
  canvas.FillRect(rect);
}

void THTMLViewer::PaintBorder(TObject*) {
  TCanvas& c = border_->Canvas();
  const bool dark = borderStyle_ == htSingle || (borderStyle_ == htFocused && Focused());
  c.Brush().SetColor(dark ? clBtnText : (panel_->Color()));
  RECT r{0, 0, Width(), Height()};
  c.FrameRect(r);
}

void THTMLViewer::Invalidate() {
  TWinControl::Invalidate();
  if (panel_) panel_->Invalidate();
}

void THTMLViewer::DoEnter() {
  TWinControl::DoEnter();
  border_->Invalidate();
}

void THTMLViewer::DoExit() {
  TWinControl::DoExit();
  border_->Invalidate();
}

void THTMLViewer::SetBorderStyle(THTMLBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  ScrollBarPass();
  border_->Invalidate();
}

// ---------------------------------------------------------------------------
// Mouse and selection

void THTMLViewer::HTMLMouseDown(TObject*, TMouseButton button, TShiftState shift, int x, int y) {
  if (CanFocus()) SetFocus();
  mouseDownInFocus_ = Focused();
  linkClicked_ = false;
  if (button != mbLeft) return;
  leftButtonDown_ = true;
  // The panel keeps the mouse while the button is down: a drag below or
  // above it scrolls, and the release outside it still ends the press.
  panel_->SetMouseCapture(true);
  if (!mouseDownInFocus_) return;
  int cx, cy, ch;
  htmlsubs::TCell* cell = nullptr;
  const int pos = doc_->PositionAt(htmlsubs::ScreenMeasure(), DocX(x), y + doc_->ScrollTop, cx, cy, ch, cell);
  mouseDownPos_ = pos;
  if (pos >= 0) {
    if (doc_->SelEndPos > doc_->SelStartPos) panel_->Invalidate();
    doc_->SelStartPos = doc_->SelEndPos = pos;
    caretPos_ = pos;
  }
}

void THTMLViewer::HTMLMouseMove(TObject*, TShiftState shift, int x, int y) {
  htmlun2::TUrlTarget link;
  htmlsubs::TFormControlBase* control = nullptr;
  const bool hit = doc_->LinkAt(htmlsubs::ScreenMeasure(), DocX(x), y + doc_->ScrollTop, link, control);
  std::string newUrl, newTarget;
  if (hit && !link.URL.empty()) {
    panel_->SetCursor(htmlun2::LinkCursor);
    newUrl = link.URL;
    newTarget = link.Target;
  } else {
    panel_->SetCursor(Cursor());
  }
  if (newUrl != url_) {
    url_ = newUrl;
    target_ = newTarget;
    if (OnHotSpotCovered) OnHotSpotCovered(this, url_);
  }
  if (leftButtonDown_ && (shift & ssLeft)) {
    if ((y < 0 || y > PanelHeight()) && !autoScrolling_ && HandleAllocated())
      PostMessageA(Handle(), WM_HTMLAUTOSCROLL, 0, 0);
    if (!noSelect_) ExtendSelection(x, y);
  }
}

void THTMLViewer::ExtendSelection(int x, int y) {
  if (!mouseDownInFocus_ || mouseDownPos_ < 0 || noSelect_) return;
  y = std::max(0, std::min(y, PanelHeight()));
  int cx, cy, ch;
  htmlsubs::TCell* cell = nullptr;
  const int pos = doc_->PositionAt(htmlsubs::ScreenMeasure(), DocX(x), y + doc_->ScrollTop, cx, cy, ch, cell);
  if (pos < 0 || pos == caretPos_) return;
  doc_->SelStartPos = std::min(pos, mouseDownPos_);
  doc_->SelEndPos = std::max(pos, mouseDownPos_);
  caretPos_ = pos;
  panel_->Invalidate();
}

void THTMLViewer::AutoScroll() {
  if (autoScrolling_) return;
  autoScrolling_ = true;
  DWORD last = 0;
  while (leftButtonDown_ && autoScrolling_ && (GetKeyState(VK_LBUTTON) & 0x8000)) {
    POINT p;
    GetCursorPos(&p);
    p = panel_->ScreenToClient(p);
    if (p.y >= 0 && p.y <= PanelHeight()) break;
    const DWORD now = GetTickCount();
    if (now - last >= 100) {
      last = now;
      const int outside = p.y < 0 ? -p.y : p.y - PanelHeight();
      const int step = outside > 15 ? 8 * vbar_->SmallChange : vbar_->SmallChange;
      MoveVertical(vbar_->Position32() + (p.y < 0 ? -step : step), false);
      ExtendSelection(p.x, p.y);
      panel_->Update();
    }
    Application->ProcessMessages();
    Sleep(10);
  }
  autoScrolling_ = false;
}

void THTMLViewer::HTMLMouseUp(TObject*, TMouseButton button, TShiftState, int x, int y) {
  if (button != mbLeft) return;
  ExtendSelection(x, y);
  const bool started = leftButtonDown_;
  leftButtonDown_ = false;
  mouseDownInFocus_ = false;
  autoScrolling_ = false;
  if (panel_->MouseCapture()) panel_->SetMouseCapture(false);
  if (!started || doc_->SelEndPos > doc_->SelStartPos) return;
  htmlun2::TUrlTarget link;
  htmlsubs::TFormControlBase* control = nullptr;
  if (!doc_->LinkAt(htmlsubs::ScreenMeasure(), DocX(x), y + doc_->ScrollTop, link, control)) return;
  if (control) {
    ControlClick(control);
    return;
  }
  if (link.URL.empty()) return;
  url_ = link.URL;
  target_ = link.Target;
  linkClicked_ = true;
  HotSpotClick();
}

void THTMLViewer::PressLost() {
  leftButtonDown_ = false;
  mouseDownInFocus_ = false;
  autoScrolling_ = false;
}

void THTMLViewer::DoubleClick(int x, int y) {
  if (noSelect_ || processing_ || linkClicked_) return;
  int cx, cy, ch;
  htmlsubs::TCell* cell = nullptr;
  const int pos = doc_->PositionAt(htmlsubs::ScreenMeasure(), DocX(x), y + doc_->ScrollTop, cx, cy, ch, cell);
  if (pos < 0) return;
  char c;
  htmlsubs::TSectionBase* owner = nullptr;
  if (!doc_->CharAt(pos, c, owner) || !IsWordChar(c)) return;
  int from = pos, to = pos + 1;
  htmlsubs::TSectionBase* o2 = nullptr;
  while (from > 0 && doc_->CharAt(from - 1, c, o2) && o2 == owner && IsWordChar(c)) --from;
  while (doc_->CharAt(to, c, o2) && o2 == owner && IsWordChar(c)) ++to;
  doc_->SelStartPos = from;
  doc_->SelEndPos = to;
  panel_->Invalidate();
}

std::string THTMLViewer::SelText() {
  if (doc_->SelEndPos <= doc_->SelStartPos) return "";
  SelTextBuffer buffer;
  doc_->TextSink = &buffer;
  doc_->EmitSelectionWalk(*doc_);
  doc_->TextSink = nullptr;
  return buffer.Text;
}

void THTMLViewer::SelectAll() {
  doc_->SelStartPos = 0;
  doc_->SelEndPos = doc_->PosCount + 1;
  panel_->Invalidate();
}

void THTMLViewer::ResetForms() {
  for (int i = 0; i < doc_->Forms.Count(); ++i) static_cast<htmlsubs::ThtmlForm*>(doc_->Forms.Items(i))->ResetControls();
}

void THTMLViewer::ControlClick(htmlsubs::TFormControlBase* control) {
  if (auto* image = dynamic_cast<htmlsubs::TImageFormControlObj*>(control)) image->ImageClick();
}

// ---------------------------------------------------------------------------
// Links

bool THTMLViewer::HotSpotClickHandled() {
  bool handled = false;
  if (OnHotSpotClick) OnHotSpotClick(this, url_, handled);
  return handled;
}

void THTMLViewer::HotSpotClick() {
  if (HotSpotClickHandled()) return;
  const int oldPos = Position();
  if (!url_.empty() && url_[0] == '#') {
    if (PositionTo(url_)) BumpHistory(currentFile_, documentTitle_, oldPos, fileType_);
    return;
  }
  std::string name = url_, dest;
  size_t hash = url_.find('#');
  if (hash != std::string::npos) {
    name = url_.substr(0, hash);
    dest = url_.substr(hash);
  }
  name = HTMLExpandFilename(name);
  const std::string ext = UpperExt(name);
  if (ext == ".HTM" || ext == ".HTML") {
    if (!SameText(name, currentFile_)) LoadFromFile(name + dest);
    else if (PositionTo(dest)) BumpHistory(currentFile_, documentTitle_, oldPos, 0);
  } else if (ext == ".BMP" || ext == ".GIF" || ext == ".JPG" || ext == ".JPEG" || ext == ".PNG") {
    LoadImageFile(name);
  }
}

std::string THTMLViewer::HTMLExpandFilename(const std::string& name) {
  std::string n = htmlun2::HTMLToDos(Trim(name));
  if (!n.empty() && n[0] == '\\') return ExpandFileName(n);
  if (n.size() >= 2 && n[1] == ':') return n;
  if (SameText(base_, "DosPath")) return n;
  std::string folder = base_.empty() ? FileFolder(currentFile_) : htmlun2::HTMLToDos(base_);
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return ExpandFileName(folder + n);
}

bool THTMLViewer::PositionTo(std::string dest) {
  if (!dest.empty() && dest[0] == '#') dest.erase(0, 1);
  if (dest.empty()) return false;
  int index = -1;
  if (!nameList_.Find(UpperCase(dest), index)) return false;
  auto* section = static_cast<htmlsubs::TSectionBase*>(nameList_.Objects(index));
  if (!section) return false;
  ScrollTo(section->LastTop);
  hbar_->SetPosition(0);
  return true;
}

// ---------------------------------------------------------------------------
// Properties

void THTMLViewer::SetOnFormSubmit(const htmlsubs::TFormSubmitEvent& e) {
  onFormSubmit_ = e;
  if (e) {
    doc_->OnFormSubmit = [this](TObject*, const std::string& action, const std::string& method, TStringList* results) {
      Submission s;
      s.Action = action;
      s.Method = method;
      s.Results.reset(results);
      submissions_.push_back(std::move(s));
      if (HandleAllocated()) PostMessageA(Handle(), WM_HTMLFORMSUBMIT, 0, 0);
    };
  } else {
    doc_->OnFormSubmit = nullptr;
  }
}

void THTMLViewer::SetViewImages(bool value) {
  if (value == doc_->ViewImages || processing_) return;
  const TCursor old = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  SetProcessing(true);
  try {
    doc_->ViewImages = value;
    if (doc_->Count() > 0) {
      ResetForms();
      const int pos = Position();
      SafeLayout();
      SetPosition(pos);
      panel_->Invalidate();
    }
  } catch (...) {
    if (Screen) Screen->SetCursor(old);
    SetProcessing(false);
    throw;
  }
  if (Screen) Screen->SetCursor(old);
  SetProcessing(false);
}

void THTMLViewer::SetDefBackground(TColor value) {
  if (processing_) return;
  defBackground_ = value;
  doc_->SetBackground(value);
  panel_->SetColor(value | htmlsubs::PaletteRelative);
  panel_->Invalidate();
}

void THTMLViewer::FontsChanged(bool relayout) {
  ApplyDefaults();
  if (relayout && doc_->Count() > 0) Reformat();
  panel_->Invalidate();
}

void THTMLViewer::SetDefFontName(const std::string& value) {
  if (SameText(value, defFontName_)) return;
  defFontName_ = value.substr(0, 31);
  FontsChanged(true);
}

void THTMLViewer::SetDefPreFontName(const std::string& value) {
  if (SameText(value, defPreFontName_)) return;
  defPreFontName_ = value.substr(0, 31);
  FontsChanged(true);
}

void THTMLViewer::SetDefFontSize(int value) {
  defFontSize_ = std::max(6, value);
  FontsChanged(true);
}

void THTMLViewer::SetDefFontColor(TColor value) {
  defFontColor_ = value;
  FontsChanged(false);
}

void THTMLViewer::SetDefHotSpotColor(TColor value) {
  defHotSpotColor_ = value;
  FontsChanged(false);
}

void THTMLViewer::SetImageCacheCount(int value) {
  imageCacheCount_ = std::max(0, std::min(value, 20));
  if (htmlun2::BitmapList) htmlun2::BitmapList->SetCacheCount(imageCacheCount_);
}

void THTMLViewer::SetNoSelect(bool value) {
  if (value == noSelect_) return;
  noSelect_ = value;
  if (value) {
    doc_->SelStartPos = doc_->SelEndPos = -1;
    panel_->Invalidate();
  }
}

void THTMLViewer::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  if (doc_->Count() > 0) Reformat();
  else ScrollBarPass();
}

void THTMLViewer::Clear() {
  if (processing_) return;
  doc_->Clear();
  ApplyDefaults();
  nameList_.Clear();
  base_.clear();
  baseTarget_.clear();
  documentTitle_.clear();
  maxVertical_ = maxHScroll_ = 0;
  vbar_->SetAll(0, 0, PanelHeight(), 0);
  vbar_->SetVisible(false);
  hbar_->SetVisible(false);
  caretPos_ = 0;
  mouseDownPos_ = -1;
  doc_->SetScrollTop(0);
  panel_->Invalidate();
}

// ---------------------------------------------------------------------------
// Messages

void THTMLViewer::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_GETDLGCODE:
      m.Result = DLGC_WANTARROWS;
      return;
    case WM_SIZE: {
      TWinControl::WndProc(m);
      if (!doc_) return;
      if (Width() != lastWidth_ && !processing_) {
        panel_->EraseNext = true;
        lastWidth_ = Width();
        Reformat();
      } else {
        ScrollBarPass();
      }
      if (PanelHeight() > maxVertical_) SetPosition(0);
      else ScrollTo(vbar_->Position32());
      hbar_->SetPosition(std::max(0, std::min(hbar_->Position(), hbar_->Max() - panel_->Width())));
      return;
    }
    case WM_HTMLFORMSUBMIT: {
      if (submissions_.empty()) return;
      Submission s = std::move(submissions_.front());
      submissions_.pop_front();
      // The results list passes to the handler.
      if (onFormSubmit_) onFormSubmit_(this, s.Action, s.Method, s.Results.release());
      return;
    }
    case WM_HTMLBORDER:
      border_->Invalidate();
      return;
    case WM_HTMLAUTOSCROLL:
      AutoScroll();
      return;
    default:
      TWinControl::WndProc(m);
  }
}
