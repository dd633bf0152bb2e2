// The first byte picks the reader; the rest is the trailer (with a file
// size taken from the next bytes) or the whole file list.  Every input
// must be refused with the reader's own answer, never crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "exceptions.h"
#include "installrecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t kind = data[0];
  ++data, --size;
  if (kind & 1) {
    int64_t fileSize = 0;
    if (size >= 8) {
      std::memcpy(&fileSize, data, 8);
      data += 8, size -= 8;
    }
    TSelfExtractTrailer t;
    if (DecodeSelfExtractTrailer(data, size, fileSize, t)) {
      // What passes must be positions a copy can use as they stand.
      if (t.SetupStart <= 0 || t.SetupEnd < t.SetupStart || t.SetupEnd >= fileSize - 56) __builtin_trap();
      // The positions written back are the ones read (byte 15 and the
      // zero tail are not looked at).
      if (EncodeSelfExtractTrailer(t).compare(16, 16, std::string(reinterpret_cast<const char*>(data) + 16, 16)) != 0)
        __builtin_trap();
    }
  } else {
    try {
      auto records = DecodeRemoteFileList(std::string(reinterpret_cast<const char*>(data), size), "x");
      for (const auto& r : records)
        if (r.Size < 0 || r.Name.size() > 40 || r.Version.size() > 20) __builtin_trap();
    } catch (const Exception&) {
    }
  }
  return 0;
}
