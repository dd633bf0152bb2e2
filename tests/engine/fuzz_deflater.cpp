// Differential fuzzing of the patch-body deflater: for any input, fed in
// pieces, with traces on helper threads cut small enough to go astray (yet
// long enough that each is not mostly its 32 KiB of context), the
// stream must be zlib's, byte for byte (and so decode to the input).
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "deflater.h"

namespace {

std::vector<uint8_t> Zlib(const uint8_t* data, size_t size, size_t piece) {
  z_stream z{};
  if (deflateInit(&z, 9) != Z_OK) std::abort();
  std::vector<uint8_t> out;
  uint8_t buf[1 << 14];
  size_t at = 0;
  for (;;) {
    const size_t n = std::min(piece, size - at);
    z.next_in = const_cast<Bytef*>(data + at);
    z.avail_in = static_cast<uInt>(n);
    at += n;
    const int flush = at == size ? Z_FINISH : Z_NO_FLUSH;
    int rc;
    do {
      z.next_out = buf;
      z.avail_out = sizeof buf;
      rc = deflate(&z, flush);
      out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
    } while (z.avail_out == 0);
    if (flush == Z_FINISH) {
      if (rc != Z_STREAM_END) std::abort();
      break;
    }
  }
  deflateEnd(&z);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the threads and piece sizes; the rest, repeated
  // to reach past one window when asked, is the body.
  const uint8_t knobs = data[0];
  std::vector<uint8_t> body(data + 1, data + size);
  if (knobs & 0x80) {
    const size_t n = body.size();
    while (body.size() < 40000) body.insert(body.end(), body.begin(), body.begin() + static_cast<long>(n));
  }
  const uint32_t threads = 1 + (knobs & 3);
  const size_t piece = 1 + ((knobs >> 2) & 7) * 997;
  const uint32_t stage = 4096u << ((knobs >> 5) & 3);
  BodyDeflater deflater(threads, stage, 1000);
  for (size_t at = 0; at < body.size(); at += piece)
    deflater.Write(body.data() + at, static_cast<uint32_t>(std::min(piece, body.size() - at)));
  deflater.Finish();
  std::vector<uint8_t> ours;
  deflater.TakeOutput(ours);
  if (ours != Zlib(body.data(), body.size(), piece)) std::abort();
  return 0;
}
