// The frame-set viewer: a window divided into rows or columns of frames,
// each showing its own document in an HTML viewer; frame sets nest, inside
// one document and across documents.  Links with a TARGET load into a named
// frame, the frame itself, the set that holds it or the whole viewer.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framesize.h"
#include "htmlparse.h"
#include "win/extctrls.h"
#include "win/htmlviewer.h"

namespace framview {

class TFrameViewer;
class TSubFrameSet;
class TFrameSet;
class TFrame;

// The history entry shape the single viewer uses.
using PositionObj = ::PositionObj;

// Frame-set documents nested in frames, counted from the viewer's own; a
// document that names itself (or one above it) as a frame stops here.
const int kMaxFrameSetDepth = 8;

// Private message: carries out a link's navigation once the viewer that
// raised the click has left its mouse handler.
const UINT WM_FRAMENAVIGATE = WM_USER + 0x3F1;

using THotSpotTargetEvent = std::function<void(TObject* Sender, const std::string& Target, const std::string& URL)>;
using THotSpotTargetClickEvent =
    std::function<void(TObject* Sender, const std::string& Target, const std::string& URL, bool& Handled)>;
using TStreamRequestEvent = std::function<void(TObject* Sender, const std::string& SRC, TStream*& Stream)>;
using TStringsRequestEvent = std::function<void(TObject* Sender, const std::string& SRC, TStrings*& Strings)>;
using TBufferRequestEvent =
    std::function<void(TObject* Sender, const std::string& SRC, const char*& Buffer, int& BuffSize)>;
using TFileRequestEvent = std::function<void(TObject* Sender, const std::string& SRC, std::string& NewName)>;

// Panels of frames and frame sets.
class TFrameBase : public TPanel {
 public:
  TFrameBase(TComponent* owner, TFrameViewer* viewer);
  TFrameViewer* Viewer() const { return viewer_; }
  // The set that lays this panel out; nullptr for the top set and for a set
  // that fills a frame.
  TSubFrameSet* LayoutSet = nullptr;

  virtual void CreateContents() = 0;
  virtual void LoadFiles() = 0;
  virtual void ReloadFiles() = 0;
  virtual void InitializeDimensions(int x, int y, int w, int h) = 0;

 protected:
  TFrameViewer* viewer_;
};

// The viewer inside a frame: links, focus and border presses go to the frame.
class TFrameHTMLViewer : public THTMLViewer {
 public:
  TFrameHTMLViewer(TComponent* owner, TFrame* frame);
  TFrame* Frame() const { return frame_; }
  void HTMLMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y) override;
  void HTMLMouseMove(TObject* sender, TShiftState shift, int x, int y) override;
  void HotSpotClick() override;

 protected:
  void DoEnter() override;

 private:
  TFrame* frame_;
};

class TFrame : public TFrameBase {
 public:
  TFrame(TComponent* owner, TFrameViewer* viewer, TFrameSet* topSet, int depth);
  ~TFrame() override;

  std::string Source;       // as the document or the link gave it (may hold "#")
  std::string WinName;      // NAME
  bool NoScroll = false;    // SCROLLING="NO"
  bool NoReSize = false;    // NORESIZE
  bool FrameBorder = true;  // FRAMEBORDER other than "0"/"no"
  int SavedPosition = 0;
  // Frame-set documents this frame sits inside (the viewer's own is 1).
  int Depth;
  TFrameSet* TopSet() const { return topSet_; }
  // Its document's viewer, or the set its frame-set document made.
  TFrameHTMLViewer* HTMLViewer() const { return html_; }
  TSubFrameSet* FrameSet() const { return set_; }

  // Reads the FRAME tag's attributes; base is the document's BASE.
  void SetFromTag(const htmlun2::TAttributeList& attrs, const std::string& base, const std::string& docFile);
  // Shows source (file and "#destination") in this frame.
  void LoadSource(const std::string& source);
  // The target of a link without one.
  std::string BaseTarget() const;
  // A link's address made a file name against this frame's document.
  std::string ExpandLink(const std::string& url) const;

  void CreateContents() override;
  void LoadFiles() override;
  void ReloadFiles() override;
  void InitializeDimensions(int x, int y, int w, int h) override;

 private:
  void ShowError(const std::string& file);
  void UseViewer();
  bool TryRequests(const std::string& file, std::string& newName);
  TFrameSet* topSet_;
  TFrameHTMLViewer* html_ = nullptr;
  TSubFrameSet* set_ = nullptr;
};

class TSubFrameSet : public TFrameBase, public readhtml::TFrameSetBuilder {
 public:
  TSubFrameSet(TComponent* owner, TFrameViewer* viewer, TFrameSet* topSet, int depth, const std::string& docFile);
  ~TSubFrameSet() override;

  // Frames and sub-sets in document order.
  std::vector<TFrameBase*> List;
  bool Rows = false;
  TFrameSizes Sizes;
  int BorderSize = 0;
  int Depth;
  // The frame-set document whose FRAMESET made this set.
  std::string DocFile;
  // The frame this set fills, when its document was loaded into one.
  TFrame* HolderFrame = nullptr;
  TFrameSet* TopSet() const { return topSet_; }

  // The parser's building operations.
  void SetAttributes(const htmlun2::TAttributeList& attrs) override;
  readhtml::TFrameSetBuilder* AddSubFrameSet(const htmlun2::TAttributeList& attrs) override;
  void AddFrame(const htmlun2::TAttributeList& attrs, const std::string& base) override;
  void Finish() override;

  void CreateContents() override {}
  void LoadFiles() override;
  void ReloadFiles() override;
  void InitializeDimensions(int x, int y, int w, int h) override;
  // Places the children after a size change.
  void LayoutChildren();

  // Border dragging.  BorderNear: the border index of this set within 4
  // pixels of the screen point on child's side, or -1.
  int BorderNear(TFrameBase* child, POINT screen);
  bool CanMoveBorder(int index) const;
  bool BeginDrag(int index, POINT screen);
  bool Dragging() const { return dragIndex_ >= 0; }

 protected:
  void WndProc(TMessage& m) override;
  void Resize() override;

 private:
  void InvertLine(int pos);
  int AxisOf(POINT client) const { return Rows ? client.y : client.x; }
  TFrameSet* topSet_;
  int dragIndex_ = -1;
  int dragPos_ = 0;
  int dragOffset_ = 0;
};

class TFrameSet : public TSubFrameSet {
 public:
  TFrameSet(TComponent* owner, TFrameViewer* viewer, const std::string& docFile);
  ~TFrameSet() override;
  std::string FBase, FBaseTarget, FTitle;
  // Every frame of the viewer, nested ones included, for name lookup.
  std::vector<TFrame*> Frames;
  // The top set's border also sets the bevel of every frame.
  int Bevel() const { return BorderSize >= 2 ? 0 : 2 - BorderSize; }
  TFrame* FrameNamed(const std::string& name) const;
  bool Holds(const TFrame* frame) const;
  void SetAttributes(const htmlun2::TAttributeList& attrs) override;
};

class TFrameViewer : public TWinControl {
 public:
  explicit TFrameViewer(TComponent* owner);
  ~TFrameViewer() override;

  void LoadFromFile(const std::string& fileName);
  // Reloads every frame, each keeping its reading position.
  void Reload();
  void GoBack();
  void GoFwd();
  void ClearHistory();

  TFrameSet* CurFrameSet() const { return set_; }
  TFrame* ActiveFrame() const;
  const std::string& CurrentFile() const { return currentFile_; }
  std::string DocumentTitle() const;
  const TFrameHistory& History() const { return history_; }
  bool FwdButtonEnabled() const { return history_.CanGoForward(); }
  bool BackButtonEnabled() const { return history_.CanGoBack(); }
  bool Processing() const { return processing_ > 0; }
  bool HasRequestHandler() const {
    return OnStringsRequest || OnStreamRequest || OnBufferRequest || OnFileRequest;
  }

  // Display properties, passed on to every frame's viewer.
  bool ViewImages() const { return viewImages_; }
  void SetViewImages(bool v);
  int ImageCacheCount() const { return imageCacheCount_; }
  void SetImageCacheCount(int v);
  bool NoSelect() const { return noSelect_; }
  void SetNoSelect(bool v);
  int SelLength();
  int HistoryMaxCount() const { return history_.MaxCount(); }
  void SetHistoryMaxCount(int v);
  TColor DefBackground() const { return defBackground_; }
  void SetDefBackground(TColor v);
  const std::string& DefFontName() const { return defFontName_; }
  void SetDefFontName(const std::string& v);
  const std::string& DefPreFontName() const { return defPreFontName_; }
  void SetDefPreFontName(const std::string& v);
  int DefFontSize() const { return defFontSize_; }
  void SetDefFontSize(int v);
  TColor DefFontColor() const { return defFontColor_; }
  void SetDefFontColor(TColor v);
  TColor DefHotSpotColor() const { return defHotSpotColor_; }
  void SetDefHotSpotColor(TColor v);
  double PrintMarginLeft = 2.0, PrintMarginRight = 2.0, PrintMarginTop = 2.0, PrintMarginBottom = 2.0;

  THotSpotTargetEvent OnHotSpotTargetCovered;
  THotSpotTargetClickEvent OnHotSpotTargetClick;
  THotSpotTargetEvent OnBlankWindowRequest;
  TNotifyEvent OnHistoryChange;
  htmlsubs::TFormSubmitEvent OnFormSubmit;
  htmlsubs::TGetBitmapEvent OnBitmapRequest;
  htmlsubs::TGetImageEvent OnImageRequest;
  TProcessingEvent OnProcessing;
  TStreamRequestEvent OnStreamRequest;
  TStringsRequestEvent OnStringsRequest;
  TBufferRequestEvent OnBufferRequest;
  TFileRequestEvent OnFileRequest;
  TScriptEvent OnScript;
  TPagePrinted OnPrintHeader, OnPrintFooter;

  // Used by the frames.
  void ApplyProperties(THTMLViewer* v);
  void FrameFocused(TFrame* frame) { activeFrame_ = frame; }
  // A frame is being freed: it is no longer active nor a link's source.
  void FrameGone(TFrame* frame);
  void FrameLinkCovered(TFrame* frame, const std::string& target, const std::string& url);
  void FrameLinkClicked(TFrame* frame, const std::string& target, const std::string& url);
  void BeginProcessing();
  void EndProcessing();

 protected:
  void WndProc(TMessage& m) override;
  void Resize() override;

 private:
  struct Navigation {
    TFrame* Frame;
    std::string Target, URL;
  };
  void LoadTop(const std::string& fileName);
  void Navigate(const Navigation& n);
  TFrameHistoryEntry State();
  void Restore(const TFrameHistoryEntry& e);
  void Record(const TFrameHistoryEntry& previous);
  template <typename F>
  void ForEachViewer(F f);

  TFrameSet* set_ = nullptr;
  TFrame* activeFrame_ = nullptr;
  std::string currentFile_;
  TFrameHistory history_;
  std::deque<Navigation> pending_;
  int processing_ = 0;
  bool viewImages_ = true;
  int imageCacheCount_ = 5;
  bool noSelect_ = false;
  TColor defBackground_, defFontColor_, defHotSpotColor_;
  std::string defFontName_ = "Times New Roman", defPreFontName_ = "Courier New";
  int defFontSize_ = 12;
};

}  // namespace framview
