#include "framesize.h"

#include <algorithm>
#include <utility>

#include "sysutils.h"

namespace framview {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Past every cap an entry can have, so the number no longer grows.
const int kNumberCap = 100000;

}  // namespace

std::vector<TDimension> ReadDimensions(const std::string& text) {
  std::vector<TDimension> dims;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && static_cast<int>(dims.size()) < kMaxDimensions) {
    while (i < n && !IsDigit(text[i]) && text[i] != '*' && text[i] != ',') ++i;
    int value = -1;
    if (i < n && IsDigit(text[i])) {
      int number = 0;
      for (; i < n && IsDigit(text[i]); ++i)
        if (number < kNumberCap) number = number * 10 + (text[i] - '0');
      number = std::max(number, 1);
      while (i < n && text[i] != '%' && text[i] != '*' && text[i] != ',') ++i;
      if (i < n && text[i] == '*') value = -std::min(number, kMaxWeight);
      else if (i < n && text[i] == '%') value = -std::min(number + 100, 100 + kMaxPercent);
      else value = std::min(number, kMaxPixels);
    }
    dims.push_back(static_cast<TDimension>(value));
    while (i < n && text[i] != ',') ++i;
    if (i < n) ++i;
  }
  return dims;
}

std::vector<int> ComputeSizes(const std::vector<TDimension>& dims, int total) {
  int fixed = 0, weights = 0, percents = 0;
  for (TDimension d : dims) {
    if (d >= 0) fixed += d;
    else if (d >= -kMaxWeight) weights += -d;
    else percents += -d - 100;
  }
  std::vector<int> sizes(dims.size(), 0);
  const int remaining = total - fixed;
  if (remaining < 1) {
    for (size_t i = 0; i < dims.size(); ++i)
      if (dims[i] >= 0) sizes[i] = MulDiv(dims[i], total, fixed);
    return sizes;
  }
  int percentSpace = 0;
  if (percents > 0) percentSpace = std::min(MulDiv(total, percents, 100), remaining);
  const int unit = weights > 0 ? (remaining - percentSpace) / weights : 0;
  for (size_t i = 0; i < dims.size(); ++i) {
    const int d = dims[i];
    if (d >= 0) sizes[i] = d;
    else if (d >= -kMaxWeight) sizes[i] = -d * unit;
    else sizes[i] = MulDiv(-d - 100, percentSpace, percents);
  }
  return sizes;
}

void TFrameSizes::SetDimensions(std::vector<TDimension> dims) {
  dims_ = std::move(dims);
  computed_.clear();
  haveComputed_ = false;
  sizes_.assign(dims_.size(), 0);
  ends_.assign(dims_.size(), 0);
}

void TFrameSizes::Resize(int length) {
  length = std::max(length, 0);
  length_ = length;
  long long sum = 0;
  for (int c : computed_) sum += std::max(c, 0);
  // A set first divided while it had no length has nothing to scale from:
  // it is divided afresh rather than scaled by a zero sum for ever.
  if (!haveComputed_ || sum <= 0) {
    computed_ = ComputeSizes(dims_, length);
    haveComputed_ = true;
    sizes_ = computed_;
  } else {
    for (size_t i = 0; i < computed_.size(); ++i)
      sizes_[i] = MulDiv(computed_[i], length, static_cast<int>(sum));
  }
  int end = 0;
  for (size_t i = 0; i < sizes_.size(); ++i) {
    end += std::max(sizes_[i], 0);
    ends_[i] = end;
  }
}

bool TFrameSizes::MoveBorder(int index, int pos, int minSize) {
  if (index < 0 || index + 1 >= Count()) return false;
  const int start = Start(index);
  const int end = ends_[index + 1];
  if (end - start < 2 * minSize) return false;
  pos = std::max(start + minSize, std::min(pos, end - minSize));
  // The division on show becomes the one later lengths scale.
  computed_ = sizes_;
  for (int& c : computed_) c = std::max(c, 0);
  computed_[index] = pos - start;
  computed_[index + 1] = end - pos;
  haveComputed_ = true;
  Resize(length_);
  return true;
}

bool TFrameHistory::SetMaxCount(int value) {
  if (value < 0 || value == maxCount_) return false;
  bool dropped = false;
  if (value < maxCount_) dropped = Clear();
  maxCount_ = value;
  return dropped;
}

bool TFrameHistory::Clear() {
  const bool had = !entries_.empty();
  entries_.clear();
  index_ = 0;
  return had;
}

bool TFrameHistory::Navigate(const TFrameHistoryEntry& previous, const TFrameHistoryEntry& current) {
  if (maxCount_ <= 0) return false;
  if (!entries_.empty() && !previous.File.empty()) {
    entries_[index_] = previous;
    entries_.erase(entries_.begin(), entries_.begin() + index_);
  } else if (!entries_.empty()) {
    entries_.erase(entries_.begin(), entries_.begin() + index_);
  }
  index_ = 0;
  entries_.insert(entries_.begin(), current);
  if (Count() > maxCount_) entries_.resize(maxCount_);
  return true;
}

const TFrameHistoryEntry* TFrameHistory::Step(int delta, const TFrameHistoryEntry& now) {
  const int target = index_ + delta;
  if (entries_.empty() || target < 0 || target >= Count()) return nullptr;
  entries_[index_] = now;
  index_ = target;
  return &entries_[index_];
}

}  // namespace framview
