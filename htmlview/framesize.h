// The arithmetic of frame sets: the ROWS/COLS dimension list, the division
// of a set's length among its children, border moves, and the frame
// viewer's history list.  No window code: the frame viewer's panels use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace framview {

// A dimension entry: >= 0 pixels, -1 .. -99 a weight, -(100 + p) a percentage.
using TDimension = int16_t;

const int kMaxDimensions = 20;
const int kMaxPixels = 5000;
const int kMaxWeight = 99;
const int kMaxPercent = 900;

// Reads a ROWS or COLS value: at most kMaxDimensions comma-separated entries.
std::vector<TDimension> ReadDimensions(const std::string& text);

// Divides total among the entries (the first sizing of a set).
std::vector<int> ComputeSizes(const std::vector<TDimension>& dims, int total);

// The division of one set: computed once from the entries, then scaled to
// every new length so that the children keep their proportions (and a moved
// border its place).
class TFrameSizes {
 public:
  void SetDimensions(std::vector<TDimension> dims);
  const std::vector<TDimension>& Dimensions() const { return dims_; }

  // Lays the children out along length; Sizes() and Ends() follow.
  void Resize(int length);
  // Each child's length and the running end after it (a border position),
  // one per dimension entry.
  const std::vector<int>& Sizes() const { return sizes_; }
  const std::vector<int>& Ends() const { return ends_; }
  int Count() const { return static_cast<int>(dims_.size()); }
  int Start(int i) const { return i == 0 ? 0 : ends_[i - 1]; }
  const std::vector<int>& Computed() const { return computed_; }

  // Moves the border after child index to pos (held so that neither
  // neighbour shrinks below minSize); the new division is kept by later
  // resizes.  False when index names no border.
  bool MoveBorder(int index, int pos, int minSize);

 private:
  std::vector<TDimension> dims_;
  std::vector<int> computed_;
  std::vector<int> sizes_, ends_;
  bool haveComputed_ = false;
  int length_ = 0;
};

// One state of the frame viewer: its top document and the source and
// reading position of every frame in document order.
struct TFrameHistoryEntry {
  std::string File;
  std::string Title;
  std::vector<std::string> Sources;
  std::vector<int> Positions;
};

// Visited states, newest first, with the index of the one on show.
class TFrameHistory {
 public:
  int MaxCount() const { return maxCount_; }
  // A smaller count drops what no longer fits; true when entries went.
  bool SetMaxCount(int value);
  int Count() const { return static_cast<int>(entries_.size()); }
  int Index() const { return index_; }
  const TFrameHistoryEntry& Entry(int i) const { return entries_[i]; }

  // A navigation from previous to current: the forward steps go, the
  // previous state is brought up to date, current goes first and the
  // oldest beyond MaxCount are dropped.  False when nothing is recorded.
  bool Navigate(const TFrameHistoryEntry& previous, const TFrameHistoryEntry& current);
  bool CanGoBack() const { return index_ + 1 < Count(); }
  bool CanGoForward() const { return index_ > 0 && index_ < Count(); }
  // A step: the state on show is stored as now, the index moves, and the
  // state to restore is returned (nullptr when no step is possible).
  const TFrameHistoryEntry* Step(int delta, const TFrameHistoryEntry& now);
  bool Clear();

 private:
  std::vector<TFrameHistoryEntry> entries_;
  int index_ = 0;
  int maxCount_ = 0;
};

}  // namespace framview
