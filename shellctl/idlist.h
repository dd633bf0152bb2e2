// Item identifier lists (the shell's variable-length item paths) at byte
// level, and the two drag-and-drop blocks built from them: "Shell IDList
// Array" and the dropped-file list.  Portable: the Windows half passes the
// shell's task allocator; lists that come from other programs are checked
// against the size of the block that holds them before they are walked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shell {

// An ID list: items of {u16 byte count (counting itself), data}, ended by
// an item count of 0.  The empty list (just the terminator) is the desktop.
typedef uint8_t* Pidl;
typedef const uint8_t* CPidl;

// The allocator the lists are made with.  The default one is the C heap.
class TPidlAllocator {
 public:
  virtual ~TPidlAllocator();
  virtual void* Alloc(size_t size) = 0;
  virtual void Free(void* p) = 0;
};
TPidlAllocator* HeapPidlAllocator();

// The byte count of one item (0 for the terminator).
uint16_t PidlItemSize(CPidl item);
// Sum of the item counts plus 2 for the terminator; 0 for an absent list.
uint32_t PidlSize(CPidl pidl);
// Number of items; 0 for an absent or empty list.
int PidlItemCount(CPidl pidl);
// The item after this one, or null when this is the terminator.
CPidl PidlNext(CPidl item);
// Item 'index' (the terminator when index equals the count), null beyond.
CPidl PidlItem(CPidl pidl, int index);
// The last item, or null for an absent or empty list.
CPidl PidlLastItem(CPidl pidl);

// Copies; absent when the allocation fails (or, for CopyPidl, when the list
// is absent).  A null allocator means the heap.  ConcatPidls takes an
// absent list as empty.
Pidl CopyPidl(TPidlAllocator* alloc, CPidl pidl);
Pidl ConcatPidls(TPidlAllocator* alloc, CPidl first, CPidl second);
// A list of the first 'count' items (count clamped to the list's length).
Pidl CopyPidlFirst(TPidlAllocator* alloc, CPidl pidl, int count);
void FreePidl(TPidlAllocator* alloc, void* pidl);

// Whether 'size' bytes at 'buf' begin with a well-formed list: every item
// count is 0 (the end) or at least 2 and lies inside the buffer.  The
// list's size, terminator included, goes to 'listSize'.
bool PidlWellFormed(const void* buf, size_t size, size_t* listSize = nullptr);

// "Shell IDList Array": u32 count n, n + 1 u32 offsets from the block start
// (parent folder's absolute list, then each item's relative list), then the
// lists.  Size 4n + 8 + the sizes of all lists.
size_t IdListArraySize(CPidl parent, const std::vector<CPidl>& items);
// Writes the block into 'dest' of IdListArraySize bytes.  An absent parent
// is written as the empty list (the desktop).
void WriteIdListArray(uint8_t* dest, CPidl parent, const std::vector<CPidl>& items);
std::vector<uint8_t> BuildIdListArray(CPidl parent, const std::vector<CPidl>& items);

// A block read back: pointers into the block, every list checked.
struct TIdListArrayView {
  CPidl parent = nullptr;
  std::vector<CPidl> items;
};
// False when the block is not well formed: the count does not fit the
// block, an offset points outside it, or a list has no terminator in it.
bool ReadIdListArray(const void* block, size_t size, TIdListArrayView* out);

// The dropped-file block: a 20-byte header {offset of the names = 20,
// point (0, 0), non-client 0, wide 0}, each path with its zero byte, one
// more zero byte.  Sized from the real name lengths.
size_t DroppedFilesSize(const std::vector<std::string>& paths);
void WriteDroppedFiles(uint8_t* dest, const std::vector<std::string>& paths);
std::vector<uint8_t> BuildDroppedFiles(const std::vector<std::string>& paths);

}  // namespace shell
