// The HTML viewer control: shows one page, a plain-text file or a single
// image, scrolls, selects text, follows links and keeps a history of the
// files it showed.  The document it owns is filled by the parser and drawn
// through an off-screen bitmap of the area to paint.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "classes.h"
#include "htmlsections.h"
#include "win/controls.h"
#include "win/extctrls.h"
#include "win/stdctrls.h"

class THTMLViewer;

// Private messages of the control.
const UINT WM_HTMLFORMSUBMIT = 1124;
const UINT WM_HTMLBORDER = 1125;
const UINT WM_HTMLAUTOSCROLL = 1126;

enum THTMLBorderStyle { htFocused, htNone, htSingle };

using THotSpotEvent = std::function<void(TObject* Sender, const std::string& SRC)>;
using THotSpotClickEvent = std::function<void(TObject* Sender, const std::string& SRC, bool& Handled)>;
using TProcessingEvent = std::function<void(TObject* Sender, bool ProcessingOn)>;
using TScriptEvent = std::function<void(TObject* Sender, const std::string& Language, const std::string& Script)>;
using TPagePrinted =
    std::function<void(TObject* Sender, TCanvas& Canvas, int NumPage, int W, int H, bool& StopPrinting)>;

// The drawing surface of the viewer.
class TPaintPanel : public TCustomControl {
 public:
  TPaintPanel(TComponent* owner, THTMLViewer* viewer);
  THTMLViewer* Viewer;
  // Draws the document on MemCanvas, which lives only during one paint.
  TNotifyEvent OnPaint;
  // Erase the background on the next paint.
  bool EraseNext = false;
  TCanvas* MemCanvas = nullptr;
  // Test seam: a paint whose bitmap cannot be made.
  bool FailNextBitmap = false;

 protected:
  void Paint() override;
  void WndProc(TMessage& m) override;
};

// A vertical bar with 32-bit positions; an unchanged set is not sent again.
class T32ScrollBar : public TScrollBar {
 public:
  T32ScrollBar(TComponent* owner, THTMLViewer* viewer);
  int Position32() const { return pos_; }
  int Max32() const { return max_; }
  int Page32() const { return page_; }
  // Range, page and position in one SetScrollInfo; false when nothing changed.
  bool SetAll(int min, int max, int page, int pos);
  void SetPosition32(int pos) { SetAll(min_, max_, page_, pos); }
  // SetScrollInfo calls made (the test looks at the caching).
  int InfoCalls = 0;

 protected:
  void WndProc(TMessage& m) override;

 private:
  THTMLViewer* viewer_;
  int pos_ = 0, min_ = 0, max_ = 0, page_ = 0;
};

class PositionObj : public TObject {
 public:
  int Pos = 0;
  uint8_t FileType = 0;
};

class THTMLViewer : public TWinControl {
 public:
  explicit THTMLViewer(TComponent* owner);
  ~THTMLViewer() override;

  // Loaders.
  void LoadFromFile(const std::string& fileName);
  void LoadTextFile(const std::string& fileName);
  void LoadImageFile(const std::string& fileName);
  void LoadStrings(const TStrings* strings, bool asText = false);
  void LoadFromBuffer(const char* buffer, int size);
  void LoadFromStream(TStream* stream);

  bool PositionTo(std::string dest);
  void Reformat();
  void ClearHistory();
  int Position();
  void SetPosition(int value);
  void ScrollTo(int y);

  // The new virtual operations.
  virtual void HTMLPaint(TObject* sender);
  virtual void HTMLMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  virtual void HTMLMouseMove(TObject* sender, TShiftState shift, int x, int y);
  virtual void HTMLMouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  virtual void HotSpotClick();
  virtual bool HotSpotClickHandled();
  virtual std::string HTMLExpandFilename(const std::string& name);
  virtual void Clear();

  // Read-only state.
  const std::string& DocumentTitle() const { return documentTitle_; }
  const std::string& URL() const { return url_; }
  const std::string& Target() const { return target_; }
  const std::string& Base() const { return base_; }
  const std::string& BaseTarget() const { return baseTarget_; }
  const std::string& CurrentFile() const { return currentFile_; }
  TStringList& History() { return history_; }
  TStringList& TitleHistory() { return titleHistory_; }
  htmlun2::TFreeList& PositionHistory() { return positionHistory_; }
  int HistoryIndex() const { return historyIndex_; }
  uint8_t FileType() const { return fileType_; }
  int MaxVertical() const { return maxVertical_; }
  int MaxHScroll() const { return maxHScroll_; }
  bool Processing() const { return processing_; }
  TStringList& NameList() { return nameList_; }
  htmlsubs::TSectionList& Document() { return *doc_; }
  TPaintPanel& PaintPanel() { return *panel_; }
  T32ScrollBar& VScrollBar() { return *vbar_; }
  TScrollBar& HScrollBar() { return *hbar_; }
  int CaretPos() const { return caretPos_; }
  // The selected text as the document emits it.
  std::string SelText();
  void SelectAll();

  // Published properties.
  THotSpotEvent OnHotSpotCovered;
  THotSpotClickEvent OnHotSpotClick;
  htmlsubs::TGetBitmapEvent OnBitmapRequest() const { return doc_->OnBitmapRequest; }
  void SetOnBitmapRequest(const htmlsubs::TGetBitmapEvent& e) { doc_->OnBitmapRequest = e; }
  htmlsubs::TGetImageEvent OnImageRequest() const { return doc_->OnImageRequest; }
  void SetOnImageRequest(const htmlsubs::TGetImageEvent& e) { doc_->OnImageRequest = e; }
  TScriptEvent OnScript;
  const htmlsubs::TFormSubmitEvent& OnFormSubmit() const { return onFormSubmit_; }
  void SetOnFormSubmit(const htmlsubs::TFormSubmitEvent& e);
  TNotifyEvent OnHistoryChange;
  TProcessingEvent OnProcessing;

  bool ViewImages() const { return doc_->ViewImages; }
  void SetViewImages(bool value);
  TColor DefBackground() const { return defBackground_; }
  void SetDefBackground(TColor value);
  THTMLBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(THTMLBorderStyle value);
  int HistoryMaxCount() const { return historyMaxCount_; }
  void SetHistoryMaxCount(int value);
  const std::string& DefFontName() const { return defFontName_; }
  void SetDefFontName(const std::string& value);
  const std::string& DefPreFontName() const { return defPreFontName_; }
  void SetDefPreFontName(const std::string& value);
  int DefFontSize() const { return defFontSize_; }
  void SetDefFontSize(int value);
  TColor DefFontColor() const { return defFontColor_; }
  void SetDefFontColor(TColor value);
  TColor DefHotSpotColor() const { return defHotSpotColor_; }
  void SetDefHotSpotColor(TColor value);
  int ImageCacheCount() const { return imageCacheCount_; }
  void SetImageCacheCount(int value);
  bool NoSelect() const { return noSelect_; }
  void SetNoSelect(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  double PrintMarginLeft = 2.0, PrintMarginRight = 2.0, PrintMarginTop = 2.0, PrintMarginBottom = 2.0;
  TPagePrinted OnPrintHeader, OnPrintFooter;

  // A repaint of the viewer repaints the document.
  void Invalidate() override;

  // Called by the vertical bar for its scroll codes.
  void VScroll(int code);
  // Drawing helpers of the panel.
  void DrawBackground(TCanvas& canvas, const RECT& rect);
  bool LayingOut() const { return layingOut_; }
  // Pending form submissions (delivered by message 1124 in order).
  size_t PendingSubmissions() const { return submissions_.size(); }

 protected:
  void WndProc(TMessage& m) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void DoEnter() override;
  void DoExit() override;
  void CreateParams(TCreateParams& p) override;

 private:
  struct Submission {
    std::string Action, Method;
    std::unique_ptr<TStringList> Results;
  };
  enum TLoadKind { lkHTML = 0, lkText = 1, lkImage = 2 };

  void LoadFile(const std::string& fileName, TLoadKind kind);
  void FileLoader(const std::string& fileName, TLoadKind kind);
  template <typename ParseStep>
  void LoadSource(ParseStep parse);
  void BumpHistory(const std::string& oldName, const std::string& oldTitle, int oldPos, uint8_t oldType);
  void SetProcessing(bool on);
  void ApplyDefaults();
  void Layout();
  void SafeLayout();
  void ScrollBarPass();
  void LayoutAfterParse();
  void MoveVertical(int pos, bool oneLine);
  void PaintBorder(TObject* sender);
  void ExtendSelection(int x, int y);
  void AutoScroll();
  void DoubleClick(int x, int y);
  // The panel lost the mouse while the left button was held (another
  // window took it): the press is over, as if released.
  void PressLost();
  void FontsChanged(bool relayout);
  void ResetForms();
  void ControlClick(htmlsubs::TFormControlBase* control);
  int PanelHeight() { return panel_->Height(); }
  int DocX(int x) { return x - 10 + hbar_->Position(); }

  TPaintBox* border_ = nullptr;
  TPaintPanel* panel_ = nullptr;
  T32ScrollBar* vbar_ = nullptr;
  TScrollBar* hbar_ = nullptr;
  std::unique_ptr<htmlsubs::TSectionList> doc_;

  std::string documentTitle_, url_, target_, base_, baseTarget_, currentFile_;
  uint8_t fileType_ = 0;
  TStringList nameList_;
  TStringList history_, titleHistory_;
  htmlun2::TFreeList positionHistory_;
  int historyIndex_ = 0;
  int historyMaxCount_ = 0;
  TColor defFontColor_, defHotSpotColor_, defBackground_;
  int defFontSize_ = 12;
  std::string defFontName_ = "Times New Roman", defPreFontName_ = "Courier New";
  bool processing_ = false;
  std::deque<Submission> submissions_;
  htmlsubs::TFormSubmitEvent onFormSubmit_;
  int lastWidth_ = 0;
  int imageCacheCount_ = 5;
  bool noSelect_ = false;
  TScrollStyle scrollBars_ = ssBoth;
  THTMLBorderStyle borderStyle_ = htFocused;
  bool layingOut_ = false;
  bool leftButtonDown_ = false;
  bool mouseDownInFocus_ = false;
  bool autoScrolling_ = false;
  int scrollWidth_;
  int maxHScroll_ = 0, maxVertical_ = 0;
  int caretPos_ = 0;
  bool linkClicked_ = false;
  int mouseDownPos_ = -1;
  TCursor savedCursor_ = crDefault;
  friend class TPaintPanel;
};
