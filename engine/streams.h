// The engine's bulk containers: a growable array of machine words, and
// append-only bit and byte streams built from fixed 30000-byte blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <cstdio>

// One element holds a number or a pointer, whichever the user stores.
typedef uintptr_t DynElement;

class DynArray {
 public:
  explicit DynArray(uint32_t initialCount = 0);
  ~DynArray();
  DynArray(const DynArray&) = delete;
  DynArray& operator=(const DynArray&) = delete;

  void Resize(uint32_t n);
  void InsertAt(DynElement value, uint32_t index);
  void Insert(DynElement value, int where);  // where 1: front, else end
  DynArray& Append(DynElement value);
  DynElement RemoveAt(uint32_t index);
  DynElement RemoveEnd(int where);  // where 1: first element, else last
  void Pop(DynElement& out);
  DynElement Get(uint32_t index) const;
  void Swap(uint32_t i, uint32_t j);
  int32_t IndexOf(DynElement value) const;
  void Clear();

  uint32_t Count() const { return count; }
  uint32_t Capacity() const { return capacity; }
  DynElement* Elements() { return elements; }

 protected:
  DynElement* elements = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;
  uint32_t growStep = 1000;
};

const uint32_t kStreamBlockSize = 30000;

// Allocates size bytes (1 for 0); a failure is a fatal engine error naming
// the size and what the memory was for.
void* AllocateBlock(uint64_t size, const char* englishText, const char* germanText);
void FreeBlock(void* block);
// The same for the kStreamBlockSize blocks of streams and record lists.
// Freed blocks are kept for the next pair, up to a few dozen: a directory
// run of many small pairs would otherwise hand its blocks back to the system
// and ask for them again for every pair. ReleaseStreamBlocks returns the
// kept ones (at the end of a run).
void* AllocateStreamBlock(const char* englishText, const char* germanText);
void FreeStreamBlock(void* block);
void ReleaseStreamBlocks();

// Where a stream is saved to: takes n bytes, false when they cannot be
// written.
using StreamSink = std::function<bool(const void* data, size_t n)>;
// A sink that writes to an open file.
StreamSink FileSink(FILE* file);

class BitStream : public DynArray {
 public:
  BitStream() = default;
  ~BitStream();
  void PutBit(int bit);
  uint32_t Length() const;
  bool Save(FILE* file);
  bool Save(const StreamSink& sink);
  void Clear();

 private:
  uint8_t* currentBlock = nullptr;
  uint8_t* writePos = nullptr;
  uint32_t bitCount = 0;
  uint8_t pendingByte = 0;
};

class ByteStream : public DynArray {
 public:
  ByteStream() = default;
  ~ByteStream();
  void PutByte(uint8_t b);
  void PutBytes(const uint8_t* buffer, uint32_t n);
  uint32_t Length() const;
  uint8_t ByteAt(uint32_t position) const;
  // Byte k of the run becomes (stream - old) resp. (stream + old) modulo
  // 256, old being byte oldOffset + k of the pair in memory (PairBytesAt).
  void SubtractRun(uint32_t position, uint32_t oldOffset, uint32_t n);
  void AddRun(uint32_t position, uint32_t oldOffset, uint32_t n);
  double Entropy(uint32_t from, uint32_t to) const;
  bool Save(FILE* file);
  bool Save(const StreamSink& sink);
  void Clear();

 private:
  uint8_t& At(uint32_t position) const;
  // f(bytes, n, position) for each block's part of [from, to).
  template <class F>
  void ForSpans(uint32_t from, uint32_t to, F f) const;
  void NewBlock();
  uint8_t* currentBlock = nullptr;
  uint8_t* writePos = nullptr;
  const char* englishText = "No memory for bytestream";
  const char* germanText = "Kein Speicher f\xfcr Bytestrom ;).";
};

// The current version pair in memory, owned by the patch writer. Copy
// offsets and the finder's positions address the pair as one run of bytes,
// the old file then the new one, but the two are held in separate blocks:
// a 32-bit process finds no free block the size of a large pair (its
// address space is cut in two near the 2 GiB line), while each file alone
// fits in one half. PairBuffer holds the old file, PairNewBuffer the new;
// with PairNewBuffer null the new file follows the old one in PairBuffer.
extern uint8_t* PairBuffer;
extern uint8_t* PairNewBuffer;
extern uint32_t PairOldSize;

inline uint8_t* PairNewBytes() { return PairNewBuffer ? PairNewBuffer : PairBuffer + PairOldSize; }
// Position pos of the pair; the bytes from there on lie in one block up to
// the end of the file pos falls in.
inline uint8_t* PairBytesAt(uint32_t pos) {
  return pos < PairOldSize ? PairBuffer + pos : PairNewBytes() + (pos - PairOldSize);
}
// Frees both blocks.
void FreePairBuffer();

uint32_t Crc32Update(const void* buffer, int32_t n, uint32_t crc);
