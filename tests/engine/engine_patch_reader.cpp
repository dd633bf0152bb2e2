#include "engine_patch_reader.h"

#include <zlib.h>

namespace {

class Cursor {
 public:
  explicit Cursor(const std::vector<uint8_t>& data) : d_(data) {}
  bool Has(size_t n) const { return pos_ + n <= d_.size(); }
  size_t Pos() const { return pos_; }
  bool AtEnd() const { return pos_ == d_.size(); }
  uint8_t U8() { return Has(1) ? d_[pos_++] : Fail(); }
  uint16_t U16() {
    uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  std::vector<uint8_t> Bytes(size_t n) {
    if (!Has(n)) {
      Fail();
      return {};
    }
    std::vector<uint8_t> out(d_.begin() + static_cast<long>(pos_), d_.begin() + static_cast<long>(pos_ + n));
    pos_ += n;
    return out;
  }
  std::string Name() {
    size_t n = U8();
    std::vector<uint8_t> b = Bytes(n);
    return std::string(b.begin(), b.end());
  }
  bool failed = false;

 private:
  uint8_t Fail() {
    failed = true;
    pos_ = d_.size();
    return 0;
  }
  const std::vector<uint8_t>& d_;
  size_t pos_ = 0;
};

bool Inflate(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  uint8_t chunk[8192];
  int status;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    status = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
  } while (status == Z_OK);
  bool whole = status == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return whole;
}

std::string ReadPatched(Cursor& c, bool directoryMode, ReadEntry& e) {
  e.kind = 1;
  e.crc = c.U32();
  e.size = c.U32();
  e.time = c.U32();
  uint16_t old = c.U16();
  e.flags = c.U16();
  if (e.flags & 1) {
    e.rangeStart = c.U32();
    e.rangeLength = c.U32();
  }
  if (directoryMode) e.name = c.Name();
  for (uint16_t i = 0; i < old && !c.failed; ++i) {
    ReadVersion v;
    if (directoryMode) v.name = c.Name();
    v.crc = c.U32();
    v.size = c.U32();
    uint64_t total = 0;
    for (uint32_t& l : v.lengths) total += (l = c.U32());
    v.optionB = c.U16();
    v.flags = c.U8();
    v.optionA = c.U8();
    if (e.flags & 1) {
      v.rangeStart = c.U32();
      v.rangeLength = c.U32();
    }
    v.streams = c.Bytes(static_cast<size_t>(total));
    e.versions.push_back(v);
  }
  return c.failed ? "patched-file entry runs past the body" : "";
}

}  // namespace

std::string ReadPatchFile(const std::vector<uint8_t>& file, bool withTrailer, ReadPatch& out) {
  if (file.size() < 84) return "file too short";
  Cursor tail(file);
  tail.Bytes(file.size() - 8);
  out.markerLength = tail.U32();
  out.markerMagic = tail.U32();
  if (out.markerMagic != 0x3E7F8443) return "bad marker magic";
  if (out.markerLength > file.size() || out.markerLength < 84) return "bad marker length";
  out.dataStart = file.size() - out.markerLength;

  std::vector<uint8_t> data(file.begin() + static_cast<long>(out.dataStart), file.end() - 8);
  Cursor h(data);
  out.magic = h.U32();
  out.format = h.U32();
  out.mode = h.U8();
  out.flags = h.U8();
  out.headerBlock = h.Bytes(64);
  out.firstLength = h.U16();
  if (out.magic != 0x3E7F8443) return "bad header magic";
  std::vector<uint8_t> rest = h.Bytes(data.size() - 76);
  if (out.flags & 1) {
    if (!Inflate(rest, out.body)) return "body does not inflate";
  } else {
    out.body = rest;
  }

  Cursor c(out.body);
  out.firstBlock = c.Bytes(out.firstLength);
  out.backupDir = c.Name();
  if (out.flags & 2) {
    out.registryFirst = c.Name();
    out.registrySecond = c.Name();
  }
  if (out.mode == 1) {
    ReadEntry e;
    std::string fault = ReadPatched(c, false, e);
    if (!fault.empty()) return fault;
    out.entries.push_back(e);
  } else if (out.mode == 2) {
    for (;;) {
      uint8_t kind = c.U8();
      if (c.failed) return "entries not ended";
      if (kind == 0) break;
      ReadEntry e;
      if (kind == 1) {
        std::string fault = ReadPatched(c, true, e);
        if (!fault.empty()) return fault;
      } else if (kind == 2) {
        e.kind = 2;
        e.name = c.Name();
        e.size = c.U32();
        e.time = c.U32();
        e.content = c.Bytes(e.size);
        if (c.failed) return "embedded file runs past the body";
      } else {
        return "unknown entry kind";
      }
      out.entries.push_back(e);
    }
  } else {
    return "unknown mode";
  }
  if (withTrailer) {
    out.trailer = c.U32() == 0 && c.U32() == 0x25456ABF;
    if (!out.trailer) return "missing trailer";
  }
  if (c.failed) return "body too short";
  if (!c.AtEnd()) return "bytes left after the body";
  return "";
}
