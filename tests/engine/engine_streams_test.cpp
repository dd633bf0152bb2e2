#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "streams.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> Saved(bool (*save)(void*, FILE*), void* stream) {
  FILE* f = testsupport::ScratchFile();
  if (!f) {
    ADD_FAILURE() << "cannot create a scratch file";
    return {};
  }
  EXPECT_TRUE(save(stream, f));
  std::fflush(f);
  std::vector<uint8_t> out;
  std::rewind(f);
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return out;
}

std::vector<uint8_t> SavedBits(BitStream& s) {
  return Saved([](void* p, FILE* f) { return static_cast<BitStream*>(p)->Save(f); }, &s);
}
std::vector<uint8_t> SavedBytes(ByteStream& s) {
  return Saved([](void* p, FILE* f) { return static_cast<ByteStream*>(p)->Save(f); }, &s);
}

TEST(DynArray, InsertRemoveAndLookup) {
  DynArray a;
  EXPECT_EQ(a.Get(0), 0u);
  EXPECT_EQ(a.RemoveAt(0), 0u);
  EXPECT_EQ(a.IndexOf(7), -1);
  a.Append(1).Append(2).Append(3);
  a.Insert(0, 1);     // front
  a.InsertAt(9, 2);   // 0 1 9 2 3
  ASSERT_EQ(a.Count(), 5u);
  EXPECT_EQ(a.Get(2), 9u);
  EXPECT_EQ(a.Get(5), 0u);  // index equal to count
  EXPECT_EQ(a.IndexOf(2), 3);
  a.Swap(0, 4);
  a.Swap(0, 5);  // out of range: nothing
  EXPECT_EQ(a.Get(0), 3u);
  EXPECT_EQ(a.RemoveAt(1), 1u);
  EXPECT_EQ(a.RemoveEnd(1), 3u);
  DynElement last = 0;
  a.Pop(last);
  EXPECT_EQ(last, 0u);
  EXPECT_EQ(a.Count(), 2u);
  a.Clear();
  EXPECT_EQ(a.Count(), 0u);

  DynArray big(5);
  EXPECT_EQ(big.Count(), 5u);
  EXPECT_EQ(big.Capacity(), 1005u);
  for (uint32_t i = 0; i < 5000; ++i) big.Append(i);
  EXPECT_EQ(big.Get(5004), 4999u);
  big.Resize(3);  // never shrinks storage
  EXPECT_GE(big.Capacity(), 5005u);
  // Pointers survive the round trip on every word size.
  int x = 0;
  big.Append(reinterpret_cast<DynElement>(&x));
  EXPECT_EQ(reinterpret_cast<int*>(big.Get(3)), &x);
}

#ifndef _WIN32
TEST(DynArrayDeathTest, InsertPastEndEndsProcess) {
  DynArray a;
  EXPECT_EXIT(a.InsertAt(1, 1), ::testing::ExitedWithCode(1), "Illegaler Versuch");
}
#endif

TEST(BitStream, PacksLeastSignificantFirstAndKeepsGoingAfterSave) {
  BitStream s;
  EXPECT_EQ(s.Length(), 0u);
  EXPECT_TRUE(SavedBits(s).empty());
  for (int b : {1, 0, 1, 1, 0, 0, 0, 1, 1}) s.PutBit(b);
  EXPECT_EQ(s.Length(), 2u);
  EXPECT_EQ(SavedBits(s), (std::vector<uint8_t>{0x8D, 0x01}));
  s.PutBit(1);
  EXPECT_EQ(SavedBits(s), (std::vector<uint8_t>{0x8D, 0x03}));

  BitStream many;
  for (uint32_t i = 0; i < 8 * 30000 + 3; ++i) many.PutBit(i % 8 == 0);
  EXPECT_EQ(many.Length(), 30001u);
  std::vector<uint8_t> bytes = SavedBits(many);
  ASSERT_EQ(bytes.size(), 30001u);
  EXPECT_EQ(bytes[29999], 1);
  EXPECT_EQ(bytes[30000], 1);
  many.Clear();
  EXPECT_EQ(many.Length(), 0u);
}

TEST(ByteStream, BlocksPositionsAndRuns) {
  ByteStream exact;
  std::vector<uint8_t> data(30000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  exact.PutBytes(data.data(), 30000);
  EXPECT_EQ(exact.Count(), 1u);  // one full block, empty current block
  EXPECT_EQ(exact.Length(), 30000u);
  EXPECT_EQ(SavedBytes(exact), data);

  ByteStream s;
  std::vector<uint8_t> expect;
  for (uint32_t i = 0; i < 70000; ++i) {
    uint8_t b = static_cast<uint8_t>(i * 13 + 5);
    expect.push_back(b);
    if (i % 3 == 0) s.PutByte(b);
    else s.PutBytes(&b, 1);
  }
  std::vector<uint8_t> chunk(45000, 0x5A);
  s.PutBytes(chunk.data(), static_cast<uint32_t>(chunk.size()));
  expect.insert(expect.end(), chunk.begin(), chunk.end());
  ASSERT_EQ(s.Length(), expect.size());
  EXPECT_EQ(s.ByteAt(29999), expect[29999]);
  EXPECT_EQ(s.ByteAt(30000), expect[30000]);
  EXPECT_EQ(s.ByteAt(114999), expect[114999]);
  EXPECT_EQ(SavedBytes(s), expect);

  // A run across the first block boundary, against an "old file".
  std::vector<uint8_t> old(100);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(200 + i);
  PairBuffer = old.data();
  s.SubtractRun(29980, 10, 50);
  EXPECT_EQ(s.ByteAt(29980), static_cast<uint8_t>(expect[29980] - old[10]));
  EXPECT_EQ(s.ByteAt(30029), static_cast<uint8_t>(expect[30029] - old[59]));
  EXPECT_EQ(s.ByteAt(30030), expect[30030]);
  s.AddRun(29980, 10, 50);
  PairBuffer = nullptr;
  EXPECT_EQ(SavedBytes(s), expect);
}

TEST(ByteStream, Entropy) {
  ByteStream s;
  EXPECT_EQ(s.Entropy(0, 0), 0.0);
  for (int i = 0; i < 1000; ++i) s.PutByte(42);
  EXPECT_EQ(s.Entropy(0, 1000), 0.0);
  for (int v = 0; v < 256; ++v) s.PutByte(static_cast<uint8_t>(v));
  EXPECT_DOUBLE_EQ(s.Entropy(1000, 1256), -8.0);
  EXPECT_DOUBLE_EQ(s.Entropy(999, 1001), -1.0);  // two values, half each
}

TEST(Crc32, CheckValueWithoutFinalXor) {
  EXPECT_EQ(Crc32Update("123456789", 9, 0xFFFFFFFFu), 0x340BC6D9u);
  EXPECT_EQ(Crc32Update("123456789", 0, 0x1234u), 0x1234u);
  EXPECT_EQ(Crc32Update("123456789", -1, 0x1234u), 0x1234u);
  uint32_t split = Crc32Update("12345", 5, 0xFFFFFFFFu);
  EXPECT_EQ(Crc32Update("6789", 4, split), 0x340BC6D9u);
}

// The eight-byte steps and the folding of whole blocks against zlib's
// checksum, at every alignment and for lengths around each step, and over a
// block larger than any cache line.
TEST(Crc32, AgreesWithZlibAtEveryAlignment) {
  std::mt19937 rng(3);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (uint32_t offset = 0; offset < 8; ++offset)
    for (uint32_t n = 0; n < 40; ++n)
      ASSERT_EQ(Crc32Update(data.data() + offset, static_cast<int32_t>(n), 0xFFFFFFFFu) ^ 0xFFFFFFFFu,
                crc32(0, data.data() + offset, n))
          << offset << " " << n;
  for (uint32_t offset = 0; offset < 16; ++offset)
    for (uint32_t n = 250; n < 340; ++n)
      ASSERT_EQ(Crc32Update(data.data() + offset, static_cast<int32_t>(n), 0xFFFFFFFFu) ^ 0xFFFFFFFFu,
                crc32(0, data.data() + offset, n))
          << offset << " " << n;
  EXPECT_EQ(Crc32Update(data.data() + 3, static_cast<int32_t>(data.size() - 3), 0xFFFFFFFFu) ^ 0xFFFFFFFFu,
            crc32(0, data.data() + 3, static_cast<uInt>(data.size() - 3)));
}

}  // namespace
