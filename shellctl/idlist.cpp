#include "idlist.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace shell {

TPidlAllocator::~TPidlAllocator() = default;

namespace {

class THeapAllocator : public TPidlAllocator {
 public:
  void* Alloc(size_t size) override { return std::malloc(size ? size : 1); }
  void Free(void* p) override { std::free(p); }
};

TPidlAllocator* Use(TPidlAllocator* alloc) { return alloc ? alloc : HeapPidlAllocator(); }

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Bytes of the items before the terminator.
uint32_t ItemsBytes(CPidl pidl) { return pidl ? PidlSize(pidl) - 2 : 0; }

const uint8_t kEmptyList[2] = {0, 0};

}  // namespace

TPidlAllocator* HeapPidlAllocator() {
  static THeapAllocator heap;
  return &heap;
}

uint16_t PidlItemSize(CPidl item) {
  return static_cast<uint16_t>(item[0] | item[1] << 8);
}

uint32_t PidlSize(CPidl pidl) {
  if (!pidl) return 0;
  uint32_t size = 0;
  for (CPidl p = pidl; PidlItemSize(p) != 0; p += PidlItemSize(p)) size += PidlItemSize(p);
  return size + 2;
}

int PidlItemCount(CPidl pidl) {
  int n = 0;
  if (!pidl) return 0;
  for (CPidl p = pidl; PidlItemSize(p) != 0; p += PidlItemSize(p)) ++n;
  return n;
}

CPidl PidlNext(CPidl item) {
  uint16_t cb = PidlItemSize(item);
  return cb ? item + cb : nullptr;
}

CPidl PidlItem(CPidl pidl, int index) {
  if (!pidl || index < 0) return nullptr;
  CPidl p = pidl;
  for (int i = 0; i < index; ++i) {
    p = PidlNext(p);
    if (!p) return nullptr;
  }
  return p;
}

CPidl PidlLastItem(CPidl pidl) {
  if (!pidl || PidlItemSize(pidl) == 0) return nullptr;
  CPidl last = pidl;
  for (CPidl p = pidl; PidlItemSize(p) != 0; p += PidlItemSize(p)) last = p;
  return last;
}

Pidl CopyPidl(TPidlAllocator* alloc, CPidl pidl) {
  if (!pidl) return nullptr;
  uint32_t size = PidlSize(pidl);
  Pidl out = static_cast<Pidl>(Use(alloc)->Alloc(size));
  if (out) std::memcpy(out, pidl, size);
  return out;
}

Pidl ConcatPidls(TPidlAllocator* alloc, CPidl first, CPidl second) {
  uint32_t a = ItemsBytes(first), b = ItemsBytes(second);
  Pidl out = static_cast<Pidl>(Use(alloc)->Alloc(a + b + 2));
  if (!out) return nullptr;
  if (a) std::memcpy(out, first, a);
  if (b) std::memcpy(out + a, second, b);
  out[a + b] = 0;
  out[a + b + 1] = 0;
  return out;
}

Pidl CopyPidlFirst(TPidlAllocator* alloc, CPidl pidl, int count) {
  size_t bytes = 0;
  if (pidl) {
    CPidl p = pidl;
    for (int i = 0; i < count && PidlItemSize(p) != 0; ++i) p += PidlItemSize(p);
    bytes = static_cast<size_t>(p - pidl);
  }
  Pidl out = static_cast<Pidl>(Use(alloc)->Alloc(bytes + 2));
  if (!out) return nullptr;
  if (bytes) std::memcpy(out, pidl, bytes);
  out[bytes] = 0;
  out[bytes + 1] = 0;
  return out;
}

void FreePidl(TPidlAllocator* alloc, void* pidl) {
  if (pidl) Use(alloc)->Free(pidl);
}

bool PidlWellFormed(const void* buf, size_t size, size_t* listSize) {
  const uint8_t* p = static_cast<const uint8_t*>(buf);
  if (!p) return false;
  size_t pos = 0;
  for (;;) {
    if (size - pos < 2) return false;
    uint16_t cb = PidlItemSize(p + pos);
    if (cb == 0) break;
    // An item count of 1 would step into its own count bytes.
    if (cb < 2 || cb > size - pos) return false;
    pos += cb;
  }
  if (listSize) *listSize = pos + 2;
  return true;
}

size_t IdListArraySize(CPidl parent, const std::vector<CPidl>& items) {
  size_t size = 4 * items.size() + 8 + (parent ? PidlSize(parent) : 2);
  for (CPidl item : items) size += item ? PidlSize(item) : 2;
  return size;
}

void WriteIdListArray(uint8_t* dest, CPidl parent, const std::vector<CPidl>& items) {
  size_t n = items.size();
  WriteU32(dest, static_cast<uint32_t>(n));
  size_t pos = 4 * n + 8;
  for (size_t i = 0; i <= n; ++i) {
    CPidl list = i == 0 ? parent : items[i - 1];
    if (!list) list = kEmptyList;
    uint32_t size = PidlSize(list);
    WriteU32(dest + 4 + 4 * i, static_cast<uint32_t>(pos));
    std::memcpy(dest + pos, list, size);
    pos += size;
  }
}

std::vector<uint8_t> BuildIdListArray(CPidl parent, const std::vector<CPidl>& items) {
  std::vector<uint8_t> block(IdListArraySize(parent, items));
  WriteIdListArray(block.data(), parent, items);
  return block;
}

bool ReadIdListArray(const void* block, size_t size, TIdListArrayView* out) {
  const uint8_t* b = static_cast<const uint8_t*>(block);
  if (!b || size < 8) return false;
  uint32_t n = ReadU32(b);
  // The count and its n + 1 offsets must fit before anything is read.
  if (n > (size - 8) / 4) return false;
  TIdListArrayView view;
  view.items.reserve(n);
  for (uint32_t i = 0; i <= n; ++i) {
    uint32_t off = ReadU32(b + 4 + 4 * static_cast<size_t>(i));
    if (off >= size) return false;
    if (!PidlWellFormed(b + off, size - off)) return false;
    if (i == 0)
      view.parent = b + off;
    else
      view.items.push_back(b + off);
  }
  if (out) *out = std::move(view);
  return true;
}

size_t DroppedFilesSize(const std::vector<std::string>& paths) {
  size_t size = 20 + 1;
  for (const std::string& p : paths) size += p.size() + 1;
  return size;
}

void WriteDroppedFiles(uint8_t* dest, const std::vector<std::string>& paths) {
  std::memset(dest, 0, DroppedFilesSize(paths));
  WriteU32(dest, 20);
  size_t pos = 20;
  for (const std::string& p : paths) {
    // A path with a zero byte inside would end early and shift the rest.
    size_t len = std::strlen(p.c_str());
    std::memcpy(dest + pos, p.data(), len);
    pos += len + 1;
  }
}

std::vector<uint8_t> BuildDroppedFiles(const std::vector<std::string>& paths) {
  std::vector<uint8_t> block(DroppedFilesSize(paths));
  WriteDroppedFiles(block.data(), paths);
  return block;
}

}  // namespace shell
