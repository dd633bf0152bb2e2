// Deflating the patch body: a zlib stream (level 9, 32 KB window, default
// memory level and strategy) byte for byte as zlib writes it for the same
// input, fed in the same pieces.
//
// zlib spends nearly all of its time at level 9 looking for the longest
// match at a position, and that answer depends only on the input bytes and
// on whether the match before it was long (which shortens the search). So
// the input is staged, helper threads trace the parse of pieces of it ahead
// of time and note the answers, and zlib's parse and block encoding then
// run, taking every answer that was asked with the same question and
// searching again where the trace went another way.
//
// A full stage is deflated on a thread of the deflater's own, beside its
// caller, which goes on with the next (a directory run keeps finding its
// pairs meanwhile); at most two full stages wait for it, beyond that Write
// waits. The deflater never writes: the caller takes the bytes made so far,
// and a failure of the deflating thread (out of memory) is raised at the
// caller's next call, and at every call after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class BodyDeflater {
 public:
  // threads 0: one per core, 1: every stage deflated by the caller alone;
  // stageBytes: input gathered before the helpers
  // look at it; pieceBytes: the least a helper traces at a time (small
  // pieces make the traces go astray more often, which tests want).
  explicit BodyDeflater(uint32_t threads = 0, uint32_t stageBytes = kDefaultStage,
                        uint32_t pieceBytes = kDefaultPiece);
  ~BodyDeflater();
  BodyDeflater(const BodyDeflater&) = delete;
  BodyDeflater& operator=(const BodyDeflater&) = delete;

  // The same as one deflate(Z_NO_FLUSH) of these bytes.
  void Write(const void* data, uint32_t n);
  // deflate(Z_FINISH): the rest of the stream and its trailer, once every
  // stage is deflated.
  void Finish();
  // Hands over the compressed bytes made so far (the deflater itself never
  // writes, so a failing write cannot leave it half way through a call;
  // a stage still being deflated comes at a later call).
  void TakeOutput(std::vector<uint8_t>& bytes);

  static const uint32_t kDefaultStage = 2u << 20;
  static const uint32_t kDefaultPiece = 1u << 16;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
