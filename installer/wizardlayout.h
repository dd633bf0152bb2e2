// The wizard's arithmetic, kept free of windows so that it can be checked
// on its own: where a dialog goes on the screen, which page a move through
// the wizard lands on, what each drive must hold, and the stack of status
// texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

enum TQuenlowDialogPosition {
  qdpCenterLeft,
  qdpCenter,
  qdpCenterRight,
  qdpBottomLeft,
  qdpBottomCenter,
  qdpBottomRight,
  qdpTopLeft,
  qdpTopCenter,
  qdpTopRight
};

enum TManagerType { dmBeforeInstall, dmAfterGoodInstall, dmAfterBadInstall, dmDuringCopyFiles, dmChangeDisk, dmReboot };

struct TDialogPlace {
  int Left = 0;
  int Top = 0;
};

// The top-left corner of a w x h dialog on a W x H screen.  The offsets
// move the dialog away from the edge it is placed against (towards the
// right and down for the centre column and row).
TDialogPlace PlaceDialog(TQuenlowDialogPosition position, int screenWidth, int screenHeight, int width, int height,
                         int captionHeight, int relativeLeftOffset, int relativeTopOffset);

// The page a move to index lands on, passing over skipped pages in the
// direction of travel; -1 when the move leaves the pages.
int FindShownPage(const std::vector<bool>& skipped, int index, bool backwards);

// Sizes as the pages show them: "1,234,567 Bytes".
std::string FormatBytes(int64_t bytes);

// A path that fits width as measure counts it: whole when it fits, else
// with the folders after its first part given up for "...", from the
// left, so that the file name stays ("C:\...\help\index.html").  A name
// that does not fit even alone comes back as "...\" and the name.
std::string FitPath(const std::string& path, int width, const std::function<int(const std::string&)>& measure);

// What the drives must hold: for each destination directory that starts
// with a drive letter, the bytes going there, summed per drive in the
// order the drives first appear.  Directories without a drive ("\dir",
// "\\server\share") are not counted; at most MaxDrives drives are listed.
struct TDriveNeed {
  char Drive = 0;  // upper case
  int64_t Required = 0;
};
const int MaxDrives = 25;
std::vector<TDriveNeed> DriveNeeds(const std::vector<std::pair<std::string, int64_t>>& destinations);
// A drive that cannot take what is to go there: not strictly below.
inline bool DriveTooSmall(int64_t required, int64_t freeBytes) { return required >= freeBytes; }

// The texts of the install-status window: the top one is shown; popping
// the last one hides the window.  A pop with nothing pushed does nothing.
class TStatusStack {
 public:
  void Push(const std::string& text) { texts_.push_back(text); }
  // False when there was nothing to pop.
  bool Pop();
  bool Empty() const { return texts_.empty(); }
  const std::string& Top() const;
  size_t Count() const { return texts_.size(); }

 private:
  std::vector<std::string> texts_;
};

// The status window's width: the text, the image and margin panels, the
// label's own left and 25 pixels of air.
inline int StatusWindowWidth(int textWidth, int imageWidth, int marginWidth, int labelLeft) {
  return textWidth + imageWidth + marginWidth + labelLeft + 25;
}
