// An archive writer that spans over disks of a given capacity, as floppies:
// a write beyond the capacity comes back short.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "compress.h"

class TCappedStream : public TQnlwFileStream {
 public:
  TCappedStream(const std::string& name, unsigned mode, int64_t capacity)
      : TQnlwFileStream(name, mode), capacity_(capacity) {}
  int Write(const void* buffer, int count) override {
    int64_t room = std::max<int64_t>(0, capacity_ - Position());
    return TQnlwFileStream::Write(buffer, static_cast<int>(std::min<int64_t>(count, room)));
  }

 private:
  int64_t capacity_;
};

class TSmallDiskCompress : public TQnlwCompress {
 public:
  explicit TSmallDiskCompress(int64_t capacity) : TQnlwCompress(nullptr), capacity_(capacity) {}

 protected:
  TStream* OpenPartForSpanning(const std::string& fileName, bool create) override {
    auto* s = new TCappedStream(fileName, create ? unsigned(fmCreate) : unsigned(fmOpenReadWrite), capacity_);
    if (!s->Opened()) {
      delete s;
      return nullptr;
    }
    return s;
  }

 private:
  int64_t capacity_;
};
