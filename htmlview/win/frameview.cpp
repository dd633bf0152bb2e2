#include "win/frameview.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

#include "htmlscan.h"
#include "htmlutil.h"
#include "sysutils.h"

namespace framview {

namespace {

// A source split at its first "#" into file and destination.
void SplitSource(const std::string& source, std::string& file, std::string& dest) {
  const size_t hash = source.find('#');
  if (hash == std::string::npos) {
    file = source;
    dest.clear();
  } else {
    file = source.substr(0, hash);
    dest = source.substr(hash + 1, 255);
  }
}

bool IsImageExt(const std::string& ext) {
  return ext == ".gif" || ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".bmp";
}

// Parser globals are shared: the frame viewer's script handler is set only
// around its own frame-set parses.
class ScriptHook {
 public:
  explicit ScriptHook(TFrameViewer* viewer) {
    readhtml::OnScript = nullptr;
    if (viewer->OnScript)
      readhtml::OnScript = [viewer](const std::string& l, const std::string& s) { viewer->OnScript(viewer, l, s); };
  }
  ~ScriptHook() { readhtml::OnScript = nullptr; }
};

// Every frame below set, in document order, nested documents included.
template <typename F>
void WalkFrames(TSubFrameSet* set, F& f) {
  if (!set) return;
  for (size_t i = 0; i < set->List.size(); ++i) {
    TFrameBase* child = set->List[i];
    if (auto* frame = dynamic_cast<TFrame*>(child)) {
      f(frame);
      WalkFrames(frame->FrameSet(), f);
    } else {
      WalkFrames(static_cast<TSubFrameSet*>(child), f);
    }
  }
}

// The set and border index of the border near a frame's edge: the frame's
// own set first, then the sets around it.
TSubFrameSet* FindBorder(TFrame* frame, POINT screen, int& index) {
  TFrameBase* child = frame;
  while (child) {
    if (TSubFrameSet* set = child->LayoutSet) {
      index = set->BorderNear(child, screen);
      if (index >= 0) return set;
      child = set;
    } else if (auto* set = dynamic_cast<TSubFrameSet*>(child)) {
      child = set->HolderFrame;
    } else {
      break;
    }
  }
  index = -1;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TFrameBase

TFrameBase::TFrameBase(TComponent* owner, TFrameViewer* viewer) : TPanel(owner), viewer_(viewer) {
  // No size until the set around it places it: a set finished before that
  // is divided at its first real size.
  width_ = height_ = 0;
  SetBevelOuter(bvNone);
  click_events_ = false;
}

// ---------------------------------------------------------------------------
// TFrameHTMLViewer

TFrameHTMLViewer::TFrameHTMLViewer(TComponent* owner, TFrame* frame) : THTMLViewer(owner), frame_(frame) {
  OnHotSpotCovered = [this](TObject*, const std::string& src) {
    frame_->Viewer()->FrameLinkCovered(frame_, Target(), src);
  };
}

void TFrameHTMLViewer::HTMLMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    int index = -1;
    POINT screen = PaintPanel().ClientToScreen(POINT{x, y});
    if (TSubFrameSet* set = FindBorder(frame_, screen, index))
      if (set->BeginDrag(index, screen)) return;
  }
  THTMLViewer::HTMLMouseDown(sender, button, shift, x, y);
}

void TFrameHTMLViewer::HTMLMouseMove(TObject* sender, TShiftState shift, int x, int y) {
  THTMLViewer::HTMLMouseMove(sender, shift, x, y);
  int index = -1;
  TSubFrameSet* set = FindBorder(frame_, PaintPanel().ClientToScreen(POINT{x, y}), index);
  if (set && set->CanMoveBorder(index)) PaintPanel().SetCursor(set->Rows ? crSizeNS : crSizeWE);
}

void TFrameHTMLViewer::HotSpotClick() { frame_->Viewer()->FrameLinkClicked(frame_, Target(), URL()); }

void TFrameHTMLViewer::DoEnter() {
  THTMLViewer::DoEnter();
  frame_->Viewer()->FrameFocused(frame_);
}

// ---------------------------------------------------------------------------
// TFrame

TFrame::TFrame(TComponent* owner, TFrameViewer* viewer, TFrameSet* topSet, int depth)
    : TFrameBase(owner, viewer), Depth(depth), topSet_(topSet) {
  topSet_->Frames.push_back(this);
  const int bevel = topSet_->Bevel();
  if (bevel > 0) {
    SetBevelOuter(bvLowered);
    SetBevelWidth(bevel);
  }
}

TFrame::~TFrame() {
  delete set_;
  set_ = nullptr;
  delete html_;
  html_ = nullptr;
  auto& frames = topSet_->Frames;
  frames.erase(std::remove(frames.begin(), frames.end(), this), frames.end());
  viewer_->FrameGone(this);
}

void TFrame::SetFromTag(const htmlun2::TAttributeList& attrs, const std::string& base, const std::string& docFile) {
  htmlun2::TAttribute* a = nullptr;
  if (attrs.Find(readhtml::NameAttr, a)) WinName = a->Name;
  if (attrs.Find(readhtml::SrcAttr, a)) {
    std::string file, dest;
    SplitSource(a->Name, file, dest);
    const bool hadHash = a->Name.find('#') != std::string::npos;
    if (!viewer_->HasRequestHandler() && !file.empty()) {
      file = htmlun2::HTMLToDos(Trim(file));
      if (file.find(':') == std::string::npos) {
        if (SameText(base, "DosPath")) {
          file = ExpandFileName(file);
        } else {
          std::string folder = base.empty() ? ExtractFilePath(docFile) : ExtractFilePath(htmlun2::HTMLToDos(base));
          if (file[0] == '\\' || file[0] == '/') folder.clear();
          file = ExpandFileName(folder + file);
        }
      }
    }
    Source = hadHash ? file + "#" + dest : file;
  }
  if (attrs.Find(readhtml::NoResizeAttr, a)) NoReSize = true;
  if (attrs.Find(readhtml::ScrollingAttr, a) && SameText(Trim(a->Name), "NO")) NoScroll = true;
  if (attrs.Find(readhtml::FrameBorderAttr, a) && (Trim(a->Name) == "0" || SameText(Trim(a->Name), "no")))
    FrameBorder = false;
}

void TFrame::CreateContents() { UseViewer(); }

void TFrame::UseViewer() {
  if (set_) {
    delete set_;
    set_ = nullptr;
  }
  if (html_) return;
  html_ = new TFrameHTMLViewer(this, this);
  html_->SetParent(this);
  html_->SetAlign(alClient);
  html_->SetBorderStyle(htNone);
  viewer_->ApplyProperties(html_);
  if (NoScroll) html_->SetScrollBars(ssNone);
}

bool TFrame::TryRequests(const std::string& file, std::string& newName) {
  TFrameViewer* v = viewer_;
  if (v->OnStringsRequest) {
    TStrings* strings = nullptr;
    v->OnStringsRequest(v, file, strings);
    if (!strings) return false;
    UseViewer();
    html_->LoadStrings(strings);
    return true;
  }
  if (v->OnStreamRequest) {
    TStream* stream = nullptr;
    v->OnStreamRequest(v, file, stream);
    if (!stream) return false;
    UseViewer();
    html_->LoadFromStream(stream);
    return true;
  }
  if (v->OnBufferRequest) {
    const char* buffer = nullptr;
    int size = 0;
    v->OnBufferRequest(v, file, buffer, size);
    if (!buffer || size <= 0) return false;
    UseViewer();
    html_->LoadFromBuffer(buffer, size);
    return true;
  }
  if (v->OnFileRequest) {
    std::string name;
    v->OnFileRequest(v, file, name);
    if (!name.empty()) newName = name;
  }
  return false;
}

void TFrame::LoadSource(const std::string& source) {
  std::string file, dest;
  SplitSource(source, file, dest);
  if (file.empty()) {
    // Only a destination: the document stays, its file is still the source.
    std::string oldFile, oldDest;
    SplitSource(Source, oldFile, oldDest);
    Source = dest.empty() ? oldFile : oldFile + "#" + dest;
    if (html_ && !dest.empty()) html_->PositionTo(dest);
    return;
  }
  Source = source;
  const std::string ext = LowerCase(ExtractFileExt(file));
  try {
    if (IsImageExt(ext)) {
      UseViewer();
      html_->LoadImageFile(file);
    } else if (ext == ".txt") {
      UseViewer();
      html_->LoadTextFile(file);
    } else {
      std::string name = file;
      if (viewer_->HasRequestHandler() && TryRequests(file, name)) {
        if (!dest.empty()) html_->PositionTo(dest);
        return;
      }
      bool frameSet = false;
      try {
        frameSet = FileExists(name) && readhtml::IsFrameSetFile(name);
      } catch (const Exception&) {
        frameSet = false;
      }
      if (frameSet) {
        // A document that holds itself, or one above it, would nest for
        // ever; past the limit it is not shown.
        if (Depth >= kMaxFrameSetDepth) throw Exception("Frame sets nested too deeply");
        delete html_;
        html_ = nullptr;
        delete set_;
        set_ = nullptr;
        set_ = new TSubFrameSet(this, viewer_, topSet_, Depth + 1, ExpandFileName(name));
        set_->HolderFrame = this;
        set_->SetParent(this);
        set_->SetAlign(alClient);
        {
          ScriptHook hook(viewer_);
          try {
            readhtml::FrameSetParse(*set_, name);
          } catch (const Exception&) {
            // What was read before the error is shown.
          }
        }
        set_->LayoutChildren();
        set_->LoadFiles();
      } else {
        UseViewer();
        html_->LoadFromFile(dest.empty() ? name : name + "#" + dest);
      }
    }
  } catch (const Exception&) {
    ShowError(file);
  }
}

void TFrame::ShowError(const std::string& file) {
  UseViewer();
  const std::string doc = "<p><img src=\"qw%&.bmp\" alt=\"Error\"> Can't load " + file;
  html_->LoadFromBuffer(doc.data(), static_cast<int>(doc.size()));
}

void TFrame::LoadFiles() {
  if (Source.empty()) {
    UseViewer();
    return;
  }
  LoadSource(Source);
  if (html_ && SavedPosition) html_->SetPosition(SavedPosition);
}

void TFrame::ReloadFiles() {
  if (set_) {
    set_->ReloadFiles();
    return;
  }
  if (html_) SavedPosition = html_->Position();
  const std::string source = Source;
  std::string file, dest;
  SplitSource(source, file, dest);
  // The reading position wins over the destination on a reload.
  LoadSource(file);
  Source = source;
  if (html_) html_->SetPosition(SavedPosition);
}

std::string TFrame::BaseTarget() const {
  if (html_ && !html_->BaseTarget().empty()) return html_->BaseTarget();
  return topSet_->FBaseTarget;
}

std::string TFrame::ExpandLink(const std::string& url) const {
  std::string file, dest;
  SplitSource(url, file, dest);
  if (file.empty() || viewer_->HasRequestHandler()) return url;
  std::string name = html_ ? html_->HTMLExpandFilename(file) : file;
  return url.find('#') == std::string::npos ? name : name + "#" + dest;
}

void TFrame::InitializeDimensions(int x, int y, int w, int h) { SetBounds(x, y, w, h); }

// ---------------------------------------------------------------------------
// TSubFrameSet

TSubFrameSet::TSubFrameSet(TComponent* owner, TFrameViewer* viewer, TFrameSet* topSet, int depth,
                           const std::string& docFile)
    : TFrameBase(owner, viewer), Depth(depth), DocFile(docFile), topSet_(topSet) {}

TSubFrameSet::~TSubFrameSet() {
  // Children go first, while the top set's frame list is still there.
  std::vector<TFrameBase*> list;
  list.swap(List);
  for (TFrameBase* c : list) delete c;
  if (dragIndex_ >= 0 && GetCapture() == handle_ && handle_) ReleaseCapture();
}

void TSubFrameSet::SetAttributes(const htmlun2::TAttributeList& attrs) {
  htmlun2::TAttribute* a = nullptr;
  std::vector<TDimension> dims;
  Rows = true;
  if (attrs.Find(readhtml::RowsAttr, a)) dims = ReadDimensions(a->Name);
  if (dims.size() <= 1 && attrs.Find(readhtml::ColsAttr, a)) {
    dims = ReadDimensions(a->Name);
    Rows = false;
  }
  Sizes.SetDimensions(dims);
}

readhtml::TFrameSetBuilder* TSubFrameSet::AddSubFrameSet(const htmlun2::TAttributeList& attrs) {
  auto* sub = new TSubFrameSet(this, viewer_, topSet_, Depth, DocFile);
  sub->LayoutSet = this;
  sub->SetParent(this);
  List.push_back(sub);
  sub->SetAttributes(attrs);
  return sub;
}

void TSubFrameSet::AddFrame(const htmlun2::TAttributeList& attrs, const std::string& base) {
  auto* frame = new TFrame(this, viewer_, topSet_, Depth);
  frame->LayoutSet = this;
  frame->SetParent(this);
  List.push_back(frame);
  frame->SetFromTag(attrs, base, DocFile);
  frame->CreateContents();
}

void TSubFrameSet::Finish() {
  // A set without ROWS or COLS shares its length evenly.
  if (Sizes.Dimensions().empty())
    Sizes.SetDimensions(std::vector<TDimension>(std::max<size_t>(List.size(), 1), TDimension(-1)));
  LayoutChildren();
}

void TSubFrameSet::LayoutChildren() {
  const int b = BorderSize;
  const int w = std::max(0, Width() - 2 * b), h = std::max(0, Height() - 2 * b);
  Sizes.Resize(Rows ? h : w);
  for (size_t i = 0; i < List.size(); ++i) {
    TFrameBase* child = List[i];
    if (static_cast<int>(i) >= Sizes.Count()) {
      child->InitializeDimensions(b, b, 0, 0);
      continue;
    }
    const int start = Sizes.Start(static_cast<int>(i)), size = std::max(Sizes.Sizes()[i], 0);
    if (Rows) child->InitializeDimensions(b, b + start, w, size);
    else child->InitializeDimensions(b + start, b, size, h);
  }
}

void TSubFrameSet::LoadFiles() {
  for (size_t i = 0; i < List.size(); ++i) List[i]->LoadFiles();
}

void TSubFrameSet::ReloadFiles() {
  for (size_t i = 0; i < List.size(); ++i) List[i]->ReloadFiles();
}

void TSubFrameSet::InitializeDimensions(int x, int y, int w, int h) { SetBounds(x, y, w, h); }

void TSubFrameSet::Resize() {
  TFrameBase::Resize();
  if (Sizes.Count() > 0) LayoutChildren();
}

int TSubFrameSet::BorderNear(TFrameBase* child, POINT screen) {
  const auto it = std::find(List.begin(), List.end(), child);
  if (it == List.end()) return -1;
  const int i = static_cast<int>(it - List.begin());
  if (i >= Sizes.Count()) return -1;
  const int pos = AxisOf(ScreenToClient(screen)) - BorderSize;
  const int last = std::min(static_cast<int>(List.size()), Sizes.Count()) - 1;
  if (i > 0 && std::abs(pos - Sizes.Start(i)) <= 4) return i - 1;
  if (i < last && std::abs(pos - Sizes.Ends()[i]) <= 4) return i;
  return -1;
}

bool TSubFrameSet::CanMoveBorder(int index) const {
  if (index < 0 || index + 1 >= static_cast<int>(List.size())) return false;
  for (int i = index; i <= index + 1; ++i)
    if (auto* f = dynamic_cast<TFrame*>(List[i]))
      if (f->NoReSize) return false;
  return true;
}

bool TSubFrameSet::BeginDrag(int index, POINT screen) {
  if (!CanMoveBorder(index) || !HandleAllocated()) return false;
  dragIndex_ = index;
  // The border follows the mouse from where it was, wherever on its
  // 4-pixel band the press came.
  dragPos_ = BorderSize + Sizes.Ends()[index];
  dragOffset_ = AxisOf(ScreenToClient(screen)) - dragPos_;
  SetCapture(Handle());
  InvertLine(dragPos_);
  return true;
}

void TSubFrameSet::InvertLine(int pos) {
  POINT origin = ClientToScreen(POINT{0, 0});
  HDC dc = GetDC(nullptr);
  if (Rows) PatBlt(dc, origin.x, origin.y + pos - 1, Width(), 2, DSTINVERT);
  else PatBlt(dc, origin.x + pos - 1, origin.y, 2, Height(), DSTINVERT);
  ReleaseDC(nullptr, dc);
}

void TSubFrameSet::WndProc(TMessage& m) {
  if (dragIndex_ >= 0) {
    switch (m.Msg) {
      case WM_MOUSEMOVE: {
        POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        const int pos = std::max(0, std::min(AxisOf(p) - dragOffset_, Rows ? Height() : Width()));
        if (pos != dragPos_) {
          InvertLine(dragPos_);
          dragPos_ = pos;
          InvertLine(dragPos_);
        }
        m.Result = 0;
        return;
      }
      case WM_LBUTTONUP: {
        InvertLine(dragPos_);
        const int index = dragIndex_;
        dragIndex_ = -1;
        ReleaseCapture();
        if (Sizes.MoveBorder(index, dragPos_ - BorderSize, 8)) LayoutChildren();
        m.Result = 0;
        return;
      }
      case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(m.LParam) != handle_) {
          InvertLine(dragPos_);
          dragIndex_ = -1;
        }
        break;
      default:
        break;
    }
  }
  TFrameBase::WndProc(m);
}

// ---------------------------------------------------------------------------
// TFrameSet

TFrameSet::TFrameSet(TComponent* owner, TFrameViewer* viewer, const std::string& docFile)
    : TSubFrameSet(owner, viewer, this, 1, docFile) {}

TFrameSet::~TFrameSet() {
  std::vector<TFrameBase*> list;
  list.swap(List);
  for (TFrameBase* c : list) delete c;
}

void TFrameSet::SetAttributes(const htmlun2::TAttributeList& attrs) {
  TSubFrameSet::SetAttributes(attrs);
  htmlun2::TAttribute* a = nullptr;
  BorderSize = 2;
  if (attrs.Find(readhtml::BorderAttr, a) || attrs.Find(readhtml::FrameBorderAttr, a))
    BorderSize = std::max(0, std::min(a->Value, 100));
}

TFrame* TFrameSet::FrameNamed(const std::string& name) const {
  for (TFrame* f : Frames)
    if (!f->WinName.empty() && SameText(f->WinName, name)) return f;
  return nullptr;
}

bool TFrameSet::Holds(const TFrame* frame) const {
  return std::find(Frames.begin(), Frames.end(), frame) != Frames.end();
}

// ---------------------------------------------------------------------------
// TFrameViewer

TFrameViewer::TFrameViewer(TComponent* owner)
    : TWinControl(owner), defBackground_(clBtnFace), defFontColor_(clBtnText), defHotSpotColor_(clBlue) {
  width_ = height_ = 150;
  cursor_ = crIBeam;
  TabStop = true;
}

TFrameViewer::~TFrameViewer() {
  pending_.clear();
  delete set_;
  set_ = nullptr;
}

void TFrameViewer::BeginProcessing() {
  if (processing_++ == 0 && OnProcessing) OnProcessing(this, true);
}

void TFrameViewer::EndProcessing() {
  if (processing_ > 0 && --processing_ == 0 && OnProcessing) OnProcessing(this, false);
}

void TFrameViewer::ApplyProperties(THTMLViewer* v) {
  v->SetViewImages(viewImages_);
  v->SetImageCacheCount(imageCacheCount_);
  v->SetNoSelect(noSelect_);
  v->SetDefBackground(defBackground_);
  v->SetDefFontName(defFontName_);
  v->SetDefPreFontName(defPreFontName_);
  v->SetDefFontSize(defFontSize_);
  v->SetDefFontColor(defFontColor_);
  v->SetDefHotSpotColor(defHotSpotColor_);
  v->SetOnBitmapRequest(OnBitmapRequest);
  v->SetOnImageRequest(OnImageRequest);
  if (OnFormSubmit) v->SetOnFormSubmit(OnFormSubmit);
  if (OnScript)
    v->OnScript = [this](TObject*, const std::string& l, const std::string& s) {
      if (OnScript) OnScript(this, l, s);
    };
  v->PrintMarginLeft = PrintMarginLeft;
  v->PrintMarginRight = PrintMarginRight;
  v->PrintMarginTop = PrintMarginTop;
  v->PrintMarginBottom = PrintMarginBottom;
  v->OnPrintHeader = OnPrintHeader;
  v->OnPrintFooter = OnPrintFooter;
}

template <typename F>
void TFrameViewer::ForEachViewer(F f) {
  if (!set_) return;
  auto each = [&](TFrame* frame) {
    if (frame->HTMLViewer()) f(frame->HTMLViewer());
  };
  WalkFrames(set_, each);
}

void TFrameViewer::SetViewImages(bool v) {
  viewImages_ = v;
  ForEachViewer([v](THTMLViewer* h) { h->SetViewImages(v); });
}

void TFrameViewer::SetImageCacheCount(int v) {
  imageCacheCount_ = std::max(0, std::min(v, 20));
  ForEachViewer([this](THTMLViewer* h) { h->SetImageCacheCount(imageCacheCount_); });
}

void TFrameViewer::SetNoSelect(bool v) {
  noSelect_ = v;
  ForEachViewer([v](THTMLViewer* h) { h->SetNoSelect(v); });
}

void TFrameViewer::SetDefBackground(TColor v) {
  defBackground_ = v;
  ForEachViewer([v](THTMLViewer* h) { h->SetDefBackground(v); });
}

void TFrameViewer::SetDefFontName(const std::string& v) {
  defFontName_ = v.substr(0, 31);
  ForEachViewer([this](THTMLViewer* h) { h->SetDefFontName(defFontName_); });
}

void TFrameViewer::SetDefPreFontName(const std::string& v) {
  defPreFontName_ = v.substr(0, 31);
  ForEachViewer([this](THTMLViewer* h) { h->SetDefPreFontName(defPreFontName_); });
}

void TFrameViewer::SetDefFontSize(int v) {
  defFontSize_ = std::max(v, 6);
  ForEachViewer([this](THTMLViewer* h) { h->SetDefFontSize(defFontSize_); });
}

void TFrameViewer::SetDefFontColor(TColor v) {
  defFontColor_ = v;
  ForEachViewer([v](THTMLViewer* h) { h->SetDefFontColor(v); });
}

void TFrameViewer::SetDefHotSpotColor(TColor v) {
  defHotSpotColor_ = v;
  ForEachViewer([v](THTMLViewer* h) { h->SetDefHotSpotColor(v); });
}

void TFrameViewer::SetHistoryMaxCount(int v) {
  if (history_.SetMaxCount(v) && OnHistoryChange) OnHistoryChange(this);
}

void TFrameViewer::ClearHistory() {
  if (history_.Clear() && OnHistoryChange) OnHistoryChange(this);
}

int TFrameViewer::SelLength() {
  TFrame* f = ActiveFrame();
  if (!f || !f->HTMLViewer()) return 0;
  // Characters as the selection is copied (line ends included), not the
  // distance between two text positions.
  return f->HTMLViewer()->Document().SelectionLength();
}

TFrame* TFrameViewer::ActiveFrame() const {
  if (set_ && set_->Frames.size() == 1) return set_->Frames[0];
  return activeFrame_;
}

std::string TFrameViewer::DocumentTitle() const {
  if (!set_) return "";
  if (!set_->FTitle.empty()) return set_->FTitle;
  TFrame* f = ActiveFrame();
  return f && f->HTMLViewer() ? f->HTMLViewer()->DocumentTitle() : std::string();
}

void TFrameViewer::FrameGone(TFrame* frame) {
  if (activeFrame_ == frame) activeFrame_ = nullptr;
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [frame](const Navigation& n) { return n.Frame == frame; }),
                 pending_.end());
}

void TFrameViewer::Resize() {
  TWinControl::Resize();
  if (set_) set_->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

void TFrameViewer::LoadTop(const std::string& fileName) {
  BeginProcessing();
  try {
    std::string file, dest;
    SplitSource(fileName, file, dest);
    const std::string name = ExpandFileName(file);
    activeFrame_ = nullptr;
    delete set_;
    set_ = nullptr;
    set_ = new TFrameSet(this, this, name);
    set_->SetParent(this);
    set_->SetBounds(0, 0, ClientWidth(), ClientHeight());
    currentFile_ = name;
    bool frameSet = false;
    try {
      frameSet = FileExists(name) && readhtml::IsFrameSetFile(name);
    } catch (const Exception&) {
      frameSet = false;
    }
    if (frameSet) {
      {
        ScriptHook hook(this);
        try {
          readhtml::FrameSetParse(*set_, name);
        } catch (const Exception&) {
          // The frames read before the error are shown.
        }
      }
      set_->FTitle = readhtml::Title;
      set_->FBase = readhtml::Base;
      set_->FBaseTarget = readhtml::BaseTarget;
      if (set_->Sizes.Count() == 0) set_->Finish();
    } else {
      // Any other document fills one frame.
      auto* frame = new TFrame(set_, this, set_, 1);
      frame->LayoutSet = set_;
      frame->SetParent(set_);
      set_->List.push_back(frame);
      frame->Source = dest.empty() ? name : name + "#" + dest;
      frame->CreateContents();
      set_->Rows = true;
      set_->Finish();
    }
    set_->LayoutChildren();
    set_->LoadFiles();
  } catch (...) {
    EndProcessing();
    throw;
  }
  EndProcessing();
}

void TFrameViewer::LoadFromFile(const std::string& fileName) {
  if (Processing() || fileName.empty()) return;
  const TFrameHistoryEntry previous = State();
  LoadTop(fileName);
  Record(previous);
}

void TFrameViewer::Reload() {
  if (Processing() || !set_) return;
  BeginProcessing();
  try {
    set_->ReloadFiles();
  } catch (...) {
    EndProcessing();
    throw;
  }
  EndProcessing();
}

TFrameHistoryEntry TFrameViewer::State() {
  TFrameHistoryEntry e;
  if (!set_) return e;
  e.File = currentFile_;
  e.Title = DocumentTitle();
  auto collect = [&e](TFrame* f) {
    e.Sources.push_back(f->Source);
    e.Positions.push_back(f->HTMLViewer() ? f->HTMLViewer()->Position() : 0);
  };
  WalkFrames(set_, collect);
  return e;
}

void TFrameViewer::Record(const TFrameHistoryEntry& previous) {
  const TFrameHistoryEntry current = State();
  if (current.File.empty()) return;
  // Reloading what is on show is no step of its own.
  if (SameText(previous.File, current.File) && previous.Sources == current.Sources) return;
  if (history_.Navigate(previous, current) && OnHistoryChange) OnHistoryChange(this);
}

void TFrameViewer::Restore(const TFrameHistoryEntry& e) {
  if (!SameText(e.File, currentFile_) || !set_) LoadTop(e.File);
  size_t i = 0;
  auto restore = [&](TFrame* f) {
    if (i >= e.Sources.size()) return;
    if (f->Source != e.Sources[i]) f->LoadSource(e.Sources[i]);
    if (f->HTMLViewer()) f->HTMLViewer()->SetPosition(e.Positions[i]);
    ++i;
  };
  WalkFrames(set_, restore);
}

void TFrameViewer::GoBack() {
  if (Processing() || !BackButtonEnabled()) return;
  const TFrameHistoryEntry* e = history_.Step(1, State());
  if (!e) return;
  const TFrameHistoryEntry target = *e;
  BeginProcessing();
  try {
    Restore(target);
  } catch (...) {
    EndProcessing();
    throw;
  }
  EndProcessing();
  if (OnHistoryChange) OnHistoryChange(this);
}

void TFrameViewer::GoFwd() {
  if (Processing() || !FwdButtonEnabled()) return;
  const TFrameHistoryEntry* e = history_.Step(-1, State());
  if (!e) return;
  const TFrameHistoryEntry target = *e;
  BeginProcessing();
  try {
    Restore(target);
  } catch (...) {
    EndProcessing();
    throw;
  }
  EndProcessing();
  if (OnHistoryChange) OnHistoryChange(this);
}

void TFrameViewer::FrameLinkCovered(TFrame*, const std::string& target, const std::string& url) {
  if (OnHotSpotTargetCovered) OnHotSpotTargetCovered(this, target, url);
}

void TFrameViewer::FrameLinkClicked(TFrame* frame, const std::string& target, const std::string& url) {
  const std::string t = target.empty() ? frame->BaseTarget() : target;
  bool handled = false;
  if (OnHotSpotTargetClick) OnHotSpotTargetClick(this, t, url, handled);
  if (handled) return;
  // The clicked viewer is still inside its mouse handler, and the load may
  // free it: the navigation runs once that handler has returned.
  pending_.push_back(Navigation{frame, t, url});
  PostMessageA(Handle(), WM_FRAMENAVIGATE, 0, 0);
}

void TFrameViewer::Navigate(const Navigation& n) {
  TFrame* frame = n.Frame;
  const std::string& t = n.Target;
  const std::string address = frame->ExpandLink(n.URL);
  TFrame* dest = nullptr;
  if (SameText(t, "_top")) {
    LoadFromFile(address);
    return;
  }
  if (t.empty() || SameText(t, "_self")) {
    dest = frame;
  } else if (SameText(t, "_parent")) {
    // The document that holds the frame: the frame its set fills, or the
    // whole viewer.
    TSubFrameSet* set = frame->LayoutSet;
    while (set && set->LayoutSet) set = set->LayoutSet;
    if (!set || !set->HolderFrame) {
      LoadFromFile(address);
      return;
    }
    dest = set->HolderFrame;
  } else {
    dest = set_ ? set_->FrameNamed(t) : nullptr;
    if (!dest) {
      if (OnBlankWindowRequest) OnBlankWindowRequest(this, t, n.URL);
      return;
    }
  }
  const TFrameHistoryEntry previous = State();
  BeginProcessing();
  try {
    dest->LoadSource(address);
  } catch (...) {
    EndProcessing();
    throw;
  }
  EndProcessing();
  Record(previous);
}

void TFrameViewer::WndProc(TMessage& m) {
  if (m.Msg == WM_FRAMENAVIGATE) {
    // A load in progress finishes first; the navigation comes round again.
    if (Processing()) {
      if (!pending_.empty()) PostMessageA(Handle(), WM_FRAMENAVIGATE, 0, 0);
    } else {
      while (!pending_.empty()) {
        const Navigation n = pending_.front();
        pending_.pop_front();
        Navigate(n);
      }
    }
    m.Result = 0;
    return;
  }
  TWinControl::WndProc(m);
}

}  // namespace framview
