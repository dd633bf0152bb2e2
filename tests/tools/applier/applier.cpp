#include "applier.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace testapply {

namespace {

const uint32_t kMagic = 0x3E7F8443;
const uint32_t kFormat = 190;
const uint32_t kHeaderSize = 76;
const uint32_t kTrailerWord = 0x25456ABF;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& why) { throw Failure(why); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Sequential reader over the body with bounds checks.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  const uint8_t* Take(size_t n, const char* what) {
    if (n > size_ - pos_) Fail(std::string("body ends inside ") + what);
    const uint8_t* at = data_ + pos_;
    pos_ += n;
    return at;
  }
  uint8_t U8(const char* what) { return *Take(1, what); }
  uint16_t U16(const char* what) {
    const uint8_t* p = Take(2, what);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  uint32_t U32(const char* what) { return Le32(Take(4, what)); }
  std::string Name(const char* what) {
    uint8_t n = U8(what);
    const uint8_t* p = Take(n, what);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  Bytes Block(uint32_t n, const char* what) { return Bytes{Take(n, what), n}; }
  size_t Left() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class ByteReader {
 public:
  ByteReader(Bytes b, const char* name) : b_(b), name_(name) {}
  uint8_t Get() {
    if (pos_ >= b_.size) Fail(std::string("stream ") + name_ + " exhausted");
    return b_.data[pos_++];
  }
  bool Done() const { return pos_ == b_.size; }
  size_t Used() const { return pos_; }

 private:
  Bytes b_;
  const char* name_;
  size_t pos_ = 0;
};

// Bits least significant first.
class BitReader {
 public:
  BitReader(Bytes b, const char* name) : b_(b), name_(name) {}
  int Get() {
    if (bit_ / 8 >= b_.size) Fail(std::string("bit stream ") + name_ + " exhausted");
    int v = (b_.data[bit_ / 8] >> (bit_ % 8)) & 1;
    ++bit_;
    return v;
  }
  // Every byte used, and the unused bits of the last byte are zero.
  bool Done() const {
    if ((bit_ + 7) / 8 != b_.size) return false;
    if (bit_ % 8 == 0) return true;
    return (b_.data[b_.size - 1] >> (bit_ % 8)) == 0;
  }

 private:
  Bytes b_;
  const char* name_;
  size_t bit_ = 0;
};

std::vector<uint8_t> Inflate(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) Fail("inflateInit failed");
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  uint8_t chunk[65536];
  int rc;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof(chunk);
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      inflateEnd(&z);
      Fail("deflated body is corrupt");
    }
    out.insert(out.end(), chunk, chunk + (sizeof(chunk) - z.avail_out));
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
      inflateEnd(&z);
      Fail("deflated body is truncated");
    }
  } while (rc != Z_STREAM_END);
  bool trailing = z.avail_in != 0;
  inflateEnd(&z);
  if (trailing) Fail("bytes after the deflated body");
  return out;
}

PatchedFile ReadPatchedFile(Cursor& c, bool directory) {
  PatchedFile f;
  f.crc = c.U32("patchinfo");
  f.size = c.U32("patchinfo");
  f.dosTime = c.U32("patchinfo");
  uint16_t oldCount = c.U16("patchinfo");
  f.flags = c.U16("patchinfo");
  if (f.flags & ~3u) Fail("unknown patchinfo flags");
  if (!directory && (f.flags & 2)) Fail("pattern flag in a single-file patch");
  bool ranged = f.flags & 1;
  if (ranged) {
    f.rangeStart = c.U32("range");
    f.rangeLength = c.U32("range");
  }
  if (directory) f.name = c.Name("file name");
  if (oldCount >= 20) Fail("more than 20 versions");
  for (uint16_t i = 0; i < oldCount; ++i) {
    OldVersion v;
    if (directory) v.name = c.Name("version name");
    v.crc = c.U32("version record");
    v.size = c.U32("version record");
    v.lengthA = c.U32("version record");
    v.lengthB1 = c.U32("version record");
    v.lengthB2 = c.U32("version record");
    v.lengthD = c.U32("version record");
    v.lengthE = c.U32("version record");
    v.optionB = c.U16("version record");
    v.flags = c.U8("version record");
    v.optionA = c.U8("version record");
    if (v.flags & ~3u) Fail("unknown version flags");
    if (ranged) {
      v.rangeStart = c.U32("range");
      v.rangeLength = c.U32("range");
      if (v.rangeLength != f.rangeLength) Fail("protected range lengths differ between versions");
    }
    v.a = c.Block(v.lengthA, "stream A");
    v.b1 = c.Block(v.lengthB1, "stream B1");
    v.b2 = c.Block(v.lengthB2, "stream B2");
    v.d = c.Block(v.lengthD, "stream D");
    v.e = c.Block(v.lengthE, "stream E");
    f.versions.push_back(v);
  }
  return f;
}

void ParseOrThrow(const std::vector<uint8_t>& file, Patch* patch) {
  if (file.size() < kHeaderSize + 8) Fail("file too short");
  const uint8_t* end = file.data() + file.size();
  uint32_t length = Le32(end - 8);
  if (Le32(end - 4) != kMagic) Fail("no end-of-patch marker");
  if (length < kHeaderSize + 8 || length > file.size()) Fail("end marker length out of range");
  patch->dataStart = file.size() - length;
  const uint8_t* h = file.data() + patch->dataStart;
  if (Le32(h) != kMagic) Fail("bad header magic");
  if (Le32(h + 4) != kFormat) Fail("bad format number");
  patch->mode = h[8];
  patch->flags = h[9];
  if (patch->mode != 1 && patch->mode != 2) Fail("bad mode");
  if (patch->flags & ~3u) Fail("unknown header flags");
  uint16_t firstBlock = static_cast<uint16_t>(h[74] | h[75] << 8);

  const uint8_t* bodyStart = h + kHeaderSize;
  size_t bodySize = static_cast<size_t>(end - 8 - bodyStart);
  if (patch->flags & 1)
    patch->body = Inflate(bodyStart, bodySize);
  else
    patch->body.assign(bodyStart, bodyStart + bodySize);

  Cursor c(patch->body.data(), patch->body.size());
  c.Take(firstBlock, "first block");
  patch->backupDir = c.Name("backup directory");
  if (patch->flags & 2) {
    patch->registryFirst = c.Name("registry name");
    patch->registrySecond = c.Name("registry name");
  }
  if (patch->mode == 1) {
    patch->files.push_back(ReadPatchedFile(c, false));
  } else {
    for (;;) {
      uint8_t kind = c.U8("entry kind");
      if (kind == 0) break;
      if (kind == 1) {
        patch->files.push_back(ReadPatchedFile(c, true));
      } else if (kind == 2) {
        EmbeddedFile e;
        e.name = c.Name("embedded name");
        uint32_t size = c.U32("embedded size");
        e.dosTime = c.U32("embedded time");
        e.content = c.Block(size, "embedded content");
        patch->embedded.push_back(e);
      } else {
        Fail("unknown entry kind");
      }
    }
  }
  if (c.Left() == 8) {
    if (c.U32("trailer") != 0 || c.U32("trailer") != kTrailerWord) Fail("bad trailer");
    patch->typeTwoTrailer = true;
  }
  if (c.Left() != 0) Fail("bytes left after the last entry");
}

void DecodeOrThrow(const std::vector<uint8_t>& old, const OldVersion& v, uint32_t newSize,
                   std::vector<uint8_t>* out) {
  const uint64_t oldSize = old.size();
  const bool inNew = v.flags & 1;
  const bool rawE = v.flags & 2;
  const uint64_t range = inNew ? oldSize + newSize : std::max<uint64_t>(oldSize, newSize);
  if (v.optionA == 0) Fail("segment size 0");
  if (v.optionB == 0) Fail("group size 0");

  ByteReader a(v.a, "A"), d(v.d, "D"), e(v.e, "E");
  BitReader b1(v.b1, "B1"), b2(v.b2, "B2");

  auto number = [&]() -> int64_t {
    bool negative = b2.Get();
    uint64_t value;
    if (range < 256 || !b2.Get()) {
      value = a.Get();
    } else {
      int extra = 1;
      if (range >= 65536 && b1.Get()) {
        extra = 2;
        if (range >= 16777216 && b1.Get()) extra = 3;
      }
      value = 0;
      for (int k = 0; k <= extra; ++k) value = value << 8 | a.Get();
    }
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
  };

  // Old file followed by the new file as it is rebuilt.
  std::vector<uint8_t> buf(old.begin(), old.end());
  buf.resize(oldSize + newSize);
  uint64_t w = 0;  // bytes of the new file done
  // A source byte is usable when it lies in the old file or, for sources in
  // the new file, in the part already rebuilt.
  auto usable = [&](uint64_t pos, uint64_t n, uint64_t done) {
    if (pos + n <= oldSize) return true;
    return inNew && pos + n <= oldSize + done;
  };

  uint64_t p = 0, n = 0, t = 0;
  int64_t g = 0;
  while (w < newSize) {
    int64_t first = number();
    if (first == 0) {
      --g;
      continue;
    }
    if (first > 0) {
      uint64_t copy = static_cast<uint64_t>(first);
      int64_t source = static_cast<int64_t>(p + n) + number();
      if (source < 0) Fail("copy source before the start");
      if (copy > newSize - w) Fail("copy past the end of the new file");
      uint64_t o = static_cast<uint64_t>(source);
      if (o + copy > oldSize && !(inNew && o < oldSize + w)) Fail("copy source outside the usable data");
      for (uint64_t k = 0; k < copy; ++k) buf[oldSize + w + k] = buf[o + k];
      w += copy;
      p = o;
      n = copy;
      if (g <= 0) {
        t = a.Get();
        g = v.optionB;
      }
      --g;
      if (t > newSize - w) Fail("extension past the end of the new file");
      uint64_t s = o + copy;
      if (!rawE && !usable(s, t, w)) Fail("extension reads outside the usable data");
      for (uint64_t k = 0; k < t; ++k) {
        uint8_t x = e.Get();
        buf[oldSize + w] = rawE ? x : static_cast<uint8_t>(x + buf[s + k]);
        ++w;
      }
      continue;
    }
    uint64_t literal = static_cast<uint64_t>(-first);
    if (literal > newSize - w) Fail("literal past the end of the new file");
    const uint64_t segmentSize = v.optionA;
    for (uint64_t j = 0; j < literal;) {
      uint64_t rest = literal - j;
      uint64_t seg = rest < 2 * segmentSize ? rest : segmentSize;
      bool raw = b1.Get();
      uint64_t from = p + n + t + j;
      if (!raw && !usable(from, seg, w + j)) Fail("difference segment reads outside the usable data");
      for (uint64_t k = 0; k < seg; ++k) {
        uint8_t x = d.Get();
        buf[oldSize + w + j + k] = raw ? x : static_cast<uint8_t>(x + buf[from + k]);
      }
      j += seg;
    }
    w += literal;
  }
  if (!a.Done() || !d.Done() || !e.Done()) Fail("streams A, D or E hold more bytes than used");
  if (!b1.Done() || !b2.Done()) Fail("bit streams B1 or B2 hold more bits than used");
  out->assign(buf.begin() + static_cast<std::ptrdiff_t>(oldSize), buf.end());
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path.string().c_str(), "rb");
  if (!f) return false;
  out->clear();
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), f)) > 0) out->insert(out->end(), chunk, chunk + got);
  std::fclose(f);
  return true;
}

void WriteWholeFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  std::filesystem::create_directories(path.parent_path());
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f) Fail("cannot create " + path.string());
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) Fail("cannot write " + path.string());
}

std::filesystem::path Below(const std::string& root, const std::string& relative) {
  std::string r = relative;
  std::replace(r.begin(), r.end(), '\\', '/');
  while (!r.empty() && r[0] == '/') r.erase(0, 1);
  std::filesystem::path rel(r);
  for (const auto& part : rel)
    if (part == "..") Fail("relative name leaves the tree: " + relative);
  return std::filesystem::path(root) / rel;
}

}  // namespace

uint32_t Checksum(const uint8_t* data, size_t size, uint32_t rangeStart, uint32_t rangeLength) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  uint32_t crc = 0xFFFFFFFFu;
  uint64_t skipEnd = static_cast<uint64_t>(rangeStart) + rangeLength;
  for (size_t i = 0; i < size; ++i) {
    if (rangeLength > 0 && i >= rangeStart && i < skipEnd) continue;
    crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  }
  return crc;
}

bool ParsePatch(const std::vector<uint8_t>& file, Patch* patch, std::string* error) {
  try {
    *patch = Patch();
    ParseOrThrow(file, patch);
    return true;
  } catch (const Failure& f) {
    if (error) *error = f.what();
    return false;
  }
}

bool DecodePair(const std::vector<uint8_t>& old, const OldVersion& version, uint32_t newSize,
                std::vector<uint8_t>* out, std::string* error) {
  try {
    DecodeOrThrow(old, version, newSize, out);
    return true;
  } catch (const Failure& f) {
    if (error) *error = f.what();
    return false;
  }
}

bool ApplyToFile(const PatchedFile& file, const std::vector<uint8_t>& old, std::vector<uint8_t>* out,
                 std::string* error) {
  try {
    const bool ranged = file.flags & 1;
    auto matchesNewest = [&](const std::vector<uint8_t>& data) {
      return data.size() == file.size &&
             Checksum(data.data(), data.size(), file.rangeStart, ranged ? file.rangeLength : 0) == file.crc;
    };
    size_t start = file.versions.size();
    for (size_t i = 0; i < file.versions.size(); ++i) {
      const OldVersion& v = file.versions[i];
      if (old.size() == v.size &&
          Checksum(old.data(), old.size(), v.rangeStart, ranged ? v.rangeLength : 0) == v.crc) {
        start = i;
        break;
      }
    }
    if (start == file.versions.size()) {
      if (matchesNewest(old)) {
        *out = old;
        return true;
      }
      Fail("the given file is none of the patch's versions");
    }
    std::vector<uint8_t> current = old, next;
    for (size_t i = start; i < file.versions.size(); ++i) {
      bool last = i + 1 == file.versions.size();
      uint32_t newSize = last ? file.size : file.versions[i + 1].size;
      DecodeOrThrow(current, file.versions[i], newSize, &next);
      if (last) {
        if (!matchesNewest(next)) Fail("checksum of the newest version does not match");
      } else {
        const OldVersion& nv = file.versions[i + 1];
        if (Checksum(next.data(), next.size(), nv.rangeStart, ranged ? nv.rangeLength : 0) != nv.crc)
          Fail("checksum of an intermediate version does not match");
      }
      current.swap(next);
    }
    *out = std::move(current);
    return true;
  } catch (const Failure& f) {
    if (error) *error = f.what();
    return false;
  }
}

bool ApplyFilePatch(const std::vector<uint8_t>& patchFile, const std::vector<uint8_t>& old,
                    std::vector<uint8_t>* out, std::string* error) {
  Patch patch;
  if (!ParsePatch(patchFile, &patch, error)) return false;
  if (patch.mode != 1 || patch.files.size() != 1) {
    if (error) *error = "not a single-file patch";
    return false;
  }
  return ApplyToFile(patch.files[0], old, out, error);
}

bool ApplyDirectoryPatch(const std::vector<uint8_t>& patchFile, const std::string& oldDir,
                         const std::string& outDir, std::string* error) {
  Patch patch;
  if (!ParsePatch(patchFile, &patch, error)) return false;
  try {
    if (patch.mode != 2) Fail("not a directory patch");
    for (const PatchedFile& f : patch.files) {
      // The old tree may hold any one version, under that version's name.
      std::vector<uint8_t> old, result;
      bool found = false;
      std::vector<std::string> names;
      for (const OldVersion& v : f.versions) names.push_back(v.name);
      names.push_back(f.name);
      for (const std::string& name : names) {
        if (!ReadWholeFile(Below(oldDir, name), &old)) continue;
        std::string why;
        if (ApplyToFile(f, old, &result, &why)) {
          found = true;
          break;
        }
      }
      if (!found) Fail("no matching old version of " + f.name);
      WriteWholeFile(Below(outDir, f.name), result.data(), result.size());
    }
    for (const EmbeddedFile& e : patch.embedded)
      WriteWholeFile(Below(outDir, e.name), e.content.data, e.content.size);
    return true;
  } catch (const Failure& f) {
    if (error) *error = f.what();
    return false;
  } catch (const std::filesystem::filesystem_error& f) {
    if (error) *error = f.what();
    return false;
  }
}

}  // namespace testapply
