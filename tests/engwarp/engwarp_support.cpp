#include "engwarp_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "test_support.h"
#include "warp.h"

namespace {

template <class S>
std::vector<uint8_t> Saved(S& stream) {
  std::vector<uint8_t> out;
  FILE* f = testsupport::ScratchFile();
  if (!f || !stream.Save(f)) {
    if (f) std::fclose(f);
    return out;
  }
  long size = std::ftell(f);
  out.resize(static_cast<size_t>(size));
  std::rewind(f);
  if (size > 0 && std::fread(out.data(), 1, out.size(), f) != out.size()) out.clear();
  std::fclose(f);
  return out;
}

testapply::Bytes View(const std::vector<uint8_t>& v) { return testapply::Bytes{v.data(), v.size()}; }

}  // namespace

void ResetEngineForTest() {
  ResetEngineOptions();
  ClampEngineNumericOptions();
  AllocEngineBuffers();
}

void EncodePair(const std::vector<uint8_t>& oldData, const std::vector<uint8_t>& newData, EncodedPair* out,
                bool ranged, uint32_t rangeOld, uint32_t rangeNew, uint32_t rangeLength) {
  ClearStreams();
  ClearWarpStreams();
  PairOldSize = static_cast<uint32_t>(oldData.size());
  PairNewSize = static_cast<uint32_t>(newData.size());
  PairWorkingSize = MatchInNewFile ? PairOldSize + PairNewSize : std::max(PairOldSize, PairNewSize);
  ProtectionFound = ranged ? 1 : 0;
  ProtectionLength = rangeLength;
  ProtectionOldStart = rangeOld;
  ProtectionNewStart = rangeNew;

  std::string oldPath, newPath;
  if (InMemory) {
    PairBuffer = static_cast<uint8_t*>(std::malloc(oldData.size() + newData.size() + 1));
    if (!oldData.empty()) std::memcpy(PairBuffer, oldData.data(), oldData.size());
    if (!newData.empty()) std::memcpy(PairBuffer + oldData.size(), newData.data(), newData.size());
  } else {
    std::string dir = testsupport::ScratchDir();
    oldPath = testsupport::Join(dir, "pair.old");
    newPath = testsupport::Join(dir, "pair.new");
    testsupport::WriteFileBytes(oldPath, oldData);
    testsupport::WriteFileBytes(newPath, newData);
    PairOldFile = std::fopen(oldPath.c_str(), "rb");
    PairNewFile = std::fopen(newPath.c_str(), "rb");
  }

  BuildIndex(1);
  FindDifferences(1);
  out->records.clear();
  for (uint32_t i = 0; i < FinderRecords.Count(); ++i) out->records.push_back(FinderRecords.At(i));
  out->boundHits = FinderBoundHits;
  RunWarp(false);

  if (InMemory) {
    std::free(PairBuffer);
    PairBuffer = nullptr;
  } else {
    std::fclose(PairOldFile);
    std::fclose(PairNewFile);
    PairOldFile = PairNewFile = nullptr;
  }

  testapply::OldVersion& v = out->version;
  v = testapply::OldVersion();
  v.size = PairOldSize;
  v.optionA = static_cast<uint8_t>(OptionA);
  v.optionB = OptionB;
  v.flags = MatchInNewFile ? 1 : 0;
  out->a = Saved(WarpA);
  out->b1 = Saved(WarpB1);
  out->b2 = Saved(WarpB2);
  out->d = Saved(WarpD);
  bool raw = WarpERaw.Entropy(0, WarpERaw.Length()) >= WarpE.Entropy(0, WarpE.Length());
  if (raw) v.flags |= 2;
  out->e = raw ? Saved(WarpERaw) : Saved(WarpE);
  v.a = View(out->a);
  v.b1 = View(out->b1);
  v.b2 = View(out->b2);
  v.d = View(out->d);
  v.e = View(out->e);
  v.lengthA = static_cast<uint32_t>(out->a.size());
  v.lengthB1 = static_cast<uint32_t>(out->b1.size());
  v.lengthB2 = static_cast<uint32_t>(out->b2.size());
  v.lengthD = static_cast<uint32_t>(out->d.size());
  v.lengthE = static_cast<uint32_t>(out->e.size());
  ClearStreams();
  ClearWarpStreams();
}

std::string RoundTrip(const std::vector<uint8_t>& oldData, const std::vector<uint8_t>& newData, EncodedPair* pair) {
  EncodedPair local;
  EncodedPair* p = pair ? pair : &local;
  try {
    EncodePair(oldData, newData, p);
  } catch (const EngineException& e) {
    return std::string("engine: ") + e.what();
  }
  std::string cover = CheckCover(p->records, oldData, newData);
  if (!cover.empty()) return cover;
  std::vector<uint8_t> result;
  std::string error;
  if (!testapply::DecodePair(oldData, p->version, static_cast<uint32_t>(newData.size()), &result, &error))
    return "apply: " + error;
  if (result != newData) return "apply: wrong result";
  return "";
}

std::string CheckCover(const std::vector<PatchRecord>& records, const std::vector<uint8_t>& oldData,
                       const std::vector<uint8_t>& newData) {
  size_t w = 0;
  const size_t oldSize = oldData.size();
  for (const PatchRecord& r : records) {
    if (r.length < 0) {
      if (r.offset != w) return "literal out of place";
      w += static_cast<size_t>(-static_cast<int64_t>(r.length));
    } else if (r.length > 0) {
      size_t n = static_cast<size_t>(r.length);
      if (w + n > newData.size()) return "copy past the end";
      for (size_t k = 0; k < n; ++k) {
        size_t src = r.offset + k;
        uint8_t b = src < oldSize ? oldData[src] : src - oldSize < w + k ? newData[src - oldSize] : 0;
        if (src >= oldSize + newData.size() || b != newData[w + k]) return "copy does not match";
      }
      w += n;
    } else {
      return "empty record from the finder";
    }
  }
  return w == newData.size() ? "" : "records do not cover the new file";
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

std::vector<uint8_t> TextLike(std::mt19937& rng, size_t n) {
  static const char* words[] = {"the ", "patch ", "file ", "version ", "copy ", "of ", "and ", "new ",
                                "old ", "bytes ", "record\n", "stream ", "a ", "is ", "to ", "with "};
  std::vector<uint8_t> v;
  while (v.size() < n) {
    const char* w = words[rng() % 16];
    v.insert(v.end(), w, w + std::strlen(w));
  }
  v.resize(n);
  return v;
}

std::vector<uint8_t> CodeLike(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v;
  const uint32_t base = 0x00401000;
  while (v.size() < n) {
    switch (rng() % 4) {
      case 0: {  // call rel/abs with a 32-bit address
        v.push_back(0xE8);
        uint32_t target = base + (rng() % static_cast<uint32_t>(n + 1));
        for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(target >> (8 * k)));
        break;
      }
      case 1:
        v.insert(v.end(), {0x55, 0x89, 0xE5, 0x83, 0xEC, static_cast<uint8_t>(rng() % 64)});
        break;
      case 2:
        v.insert(v.end(), {0x8B, 0x45, static_cast<uint8_t>(rng() % 32), 0x5D, 0xC3});
        break;
      default:
        v.push_back(static_cast<uint8_t>(rng()));
    }
  }
  v.resize(n);
  return v;
}

std::vector<uint8_t> ShiftAddresses(const std::vector<uint8_t>& in, uint32_t delta) {
  std::vector<uint8_t> v = in;
  for (size_t i = 0; i + 5 <= v.size(); ++i) {
    if (v[i] != 0xE8) continue;
    uint32_t a = v[i + 1] | v[i + 2] << 8 | v[i + 3] << 16 | static_cast<uint32_t>(v[i + 4]) << 24;
    if (a < 0x00401000 || a > 0x00401000 + v.size()) continue;
    a += delta;
    for (int k = 0; k < 4; ++k) v[i + 1 + k] = static_cast<uint8_t>(a >> (8 * k));
    i += 4;
  }
  return v;
}

std::vector<uint8_t> Mutate(std::mt19937& rng, const std::vector<uint8_t>& in, int edits) {
  std::vector<uint8_t> v = in;
  for (int i = 0; i < edits; ++i) {
    size_t at = v.empty() ? 0 : rng() % (v.size() + 1);
    size_t len = 1 + rng() % 200;
    switch (rng() % 4) {
      case 0:  // overwrite
        for (size_t k = at; k < v.size() && k < at + len; ++k) v[k] = static_cast<uint8_t>(rng());
        break;
      case 1: {  // insert
        std::vector<uint8_t> add = RandomBytes(rng, len);
        v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), add.begin(), add.end());
        break;
      }
      case 2:  // delete
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(at),
                v.begin() + static_cast<std::ptrdiff_t>(std::min(v.size(), at + len)));
        break;
      default: {  // move a block
        if (v.size() < 2) break;
        size_t from = rng() % v.size();
        size_t n = std::min(v.size() - from, len * 8);
        std::vector<uint8_t> block(v.begin() + static_cast<std::ptrdiff_t>(from),
                                   v.begin() + static_cast<std::ptrdiff_t>(from + n));
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + n));
        size_t to = v.empty() ? 0 : rng() % (v.size() + 1);
        v.insert(v.begin() + static_cast<std::ptrdiff_t>(to), block.begin(), block.end());
      }
    }
  }
  return v;
}
