#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "classes.h"
#include "locatorstream.h"

using namespace shell;

namespace {

std::vector<uint8_t> Bytes(TMemoryStream& s) {
  const uint8_t* p = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(p, p + s.Size());
}

void Load(TMemoryStream& s, const std::vector<uint8_t>& bytes) {
  s.Clear();
  s.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  s.SetPosition(0);
}

// Reading must fail and leave the value it was given alone.
void ExpectRefused(const std::vector<uint8_t>& bytes) {
  TMemoryStream s;
  Load(s, bytes);
  TLocatorPidlValue v;
  v.Kind = 7;
  EXPECT_THROW(ReadLocatorPidl(&s, &v), EReadError);
  EXPECT_EQ(7, v.Kind);
  EXPECT_TRUE(v.List.empty());
}

}  // namespace

TEST(LocatorStream, BothKindsRoundTripWithTheirSizes) {
  const uint8_t list[] = {4, 0, 0xAA, 0xBB, 3, 0, 0xCC, 0, 0};
  TMemoryStream s;
  WriteLocatorPidl(&s, 0, 28, list);
  auto b = Bytes(s);
  ASSERT_EQ(5u + sizeof list, b.size());
  EXPECT_EQ(0, b[0]);
  EXPECT_EQ(sizeof list, b[1] | b[2] << 8 | b[3] << 16 | b[4] << 24);
  EXPECT_EQ(0, memcmp(list, b.data() + 5, sizeof list));
  // A special folder after it in the same stream: both read back in turn.
  WriteLocatorPidl(&s, 1, 5, list);
  EXPECT_EQ(b.size() + 2, static_cast<size_t>(s.Size()));
  s.SetPosition(0);
  TLocatorPidlValue v;
  ReadLocatorPidl(&s, &v);
  EXPECT_EQ(0, v.Kind);
  EXPECT_EQ(std::vector<uint8_t>(list, list + sizeof list), v.List);
  ReadLocatorPidl(&s, &v);
  EXPECT_EQ(1, v.Kind);
  EXPECT_EQ(5, v.SpecialFolder);
  EXPECT_TRUE(v.List.empty());
  // Any non-zero kind is a special folder.
  Load(s, {9, 17});
  ReadLocatorPidl(&s, &v);
  EXPECT_EQ(1, v.Kind);
  EXPECT_EQ(17, v.SpecialFolder);
  // Kind 0 with no list (the desktop) is not written at all.
  TMemoryStream none;
  WriteLocatorPidl(&none, 0, 28, nullptr);
  EXPECT_EQ(0, none.Size());
  EXPECT_FALSE(LocatorPidlStored(0, nullptr));
  EXPECT_TRUE(LocatorPidlStored(1, nullptr));
}

TEST(LocatorStream, TruncatedOversizedAndMalformedStreamsAreRefused) {
  ExpectRefused({});
  ExpectRefused({1});                       // special folder byte missing
  ExpectRefused({0, 4, 0});                 // size cut short
  ExpectRefused({0, 4, 0, 0, 0, 2, 0});     // fewer bytes than the size
  ExpectRefused({0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0});  // huge size: no allocation
  ExpectRefused({0, 1, 0, 0, 0, 0});        // below the terminator's size
  ExpectRefused({0, 4, 0, 0, 0, 3, 0, 1, 0});  // no terminator within n
  ExpectRefused({0, 4, 0, 0, 0, 9, 0, 0, 0});  // item running past n
  ExpectRefused({0, 4, 0, 0, 0, 1, 0, 0, 0});  // item count 1
  // A list ending before n is taken without the bytes after its end.
  TMemoryStream s;
  Load(s, {0, 6, 0, 0, 0, 3, 0, 7, 0, 0, 0xEE, 0x55});
  TLocatorPidlValue v;
  ReadLocatorPidl(&s, &v);
  EXPECT_EQ((std::vector<uint8_t>{3, 0, 7, 0, 0}), v.List);
  EXPECT_EQ(11, s.Position());
}
