#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "idlist.h"
#include "shelltext.h"

using namespace shell;

namespace {

// An item of 'n' data bytes of value 'fill'.
std::vector<uint8_t> Item(size_t n, uint8_t fill) {
  std::vector<uint8_t> v(n + 2, fill);
  v[0] = static_cast<uint8_t>(n + 2);
  v[1] = 0;
  return v;
}

std::vector<uint8_t> List(std::initializer_list<std::vector<uint8_t>> items) {
  std::vector<uint8_t> v;
  for (const auto& i : items) v.insert(v.end(), i.begin(), i.end());
  v.push_back(0);
  v.push_back(0);
  return v;
}

TEST(IdList, SizesCopiesConcatenationAndWalk) {
  const uint8_t empty[2] = {0, 0};
  EXPECT_EQ(2u, PidlSize(empty));
  EXPECT_EQ(0u, PidlSize(nullptr));
  EXPECT_EQ(0, PidlItemCount(empty));

  auto a = List({Item(3, 0xA1), Item(5, 0xA2)});
  auto b = List({Item(1, 0xB1)});
  EXPECT_EQ(14u, PidlSize(a.data()));
  EXPECT_EQ(2, PidlItemCount(a.data()));
  EXPECT_EQ(a.data() + 5, PidlItem(a.data(), 1));
  EXPECT_EQ(a.data() + 12, PidlItem(a.data(), 2));  // the terminator
  EXPECT_EQ(nullptr, PidlItem(a.data(), 3));
  EXPECT_EQ(a.data() + 5, PidlLastItem(a.data()));
  EXPECT_EQ(nullptr, PidlLastItem(empty));

  Pidl c = ConcatPidls(nullptr, a.data(), b.data());
  ASSERT_TRUE(c);
  EXPECT_EQ(3, PidlItemCount(c));
  EXPECT_EQ(PidlSize(a.data()) + PidlSize(b.data()) - 2, PidlSize(c));
  EXPECT_EQ(0, std::memcmp(c, a.data(), 12));
  EXPECT_EQ(0xB1, PidlItem(c, 2)[2]);
  Pidl first = CopyPidlFirst(nullptr, c, 2);
  EXPECT_EQ(0, std::memcmp(first, a.data(), a.size()));
  Pidl alone = ConcatPidls(nullptr, nullptr, b.data());
  EXPECT_EQ(0, std::memcmp(alone, b.data(), b.size()));
  EXPECT_EQ(nullptr, CopyPidl(nullptr, nullptr));
  FreePidl(nullptr, c);
  FreePidl(nullptr, first);
  FreePidl(nullptr, alone);

  size_t len = 0;
  EXPECT_TRUE(PidlWellFormed(a.data(), a.size(), &len));
  EXPECT_EQ(a.size(), len);
  EXPECT_FALSE(PidlWellFormed(a.data(), a.size() - 1));  // terminator cut
  auto bad = a;
  bad[0] = 1;  // an item count that steps into itself
  EXPECT_FALSE(PidlWellFormed(bad.data(), bad.size()));
  bad[0] = 200;  // an item running past the buffer
  EXPECT_FALSE(PidlWellFormed(bad.data(), bad.size()));
}

TEST(IdListArray, LayoutAndRefusals) {
  auto parent = List({Item(4, 1)});
  auto i1 = List({Item(2, 2)});
  auto i2 = List({Item(6, 3)});
  auto block = BuildIdListArray(parent.data(), {i1.data(), i2.data()});
  ASSERT_EQ(4u * 2 + 8 + parent.size() + i1.size() + i2.size(), block.size());
  EXPECT_EQ(2, block[0]);
  EXPECT_EQ(16, block[4]);                        // parent after n + 1 offsets
  EXPECT_EQ(16 + parent.size(), block[8]);
  EXPECT_EQ(16 + parent.size() + i1.size(), block[12]);

  TIdListArrayView view;
  ASSERT_TRUE(ReadIdListArray(block.data(), block.size(), &view));
  ASSERT_EQ(2u, view.items.size());
  EXPECT_EQ(0, std::memcmp(view.parent, parent.data(), parent.size()));
  EXPECT_EQ(0, std::memcmp(view.items[1], i2.data(), i2.size()));

  // An absent parent is the desktop, the empty list.
  auto desk = BuildIdListArray(nullptr, {i1.data()});
  ASSERT_TRUE(ReadIdListArray(desk.data(), desk.size(), &view));
  EXPECT_EQ(2u, PidlSize(view.parent));

  auto tooMany = block;
  tooMany[0] = 200;
  EXPECT_FALSE(ReadIdListArray(tooMany.data(), tooMany.size(), &view));
  auto outside = block;
  outside[8] = 250;
  EXPECT_FALSE(ReadIdListArray(outside.data(), outside.size(), &view));
  EXPECT_FALSE(ReadIdListArray(block.data(), block.size() - 1, &view));  // last list unended
  EXPECT_FALSE(ReadIdListArray(block.data(), 7, &view));
}

TEST(DroppedFiles, SizedFromTheNames) {
  std::string longName = "Z:\\" + std::string(300, 'n');
  auto block = BuildDroppedFiles({"C:\\a", longName});
  ASSERT_EQ(20u + 5 + longName.size() + 1 + 1, block.size());
  EXPECT_EQ(20, block[0]);
  EXPECT_STREQ("C:\\a", reinterpret_cast<const char*>(&block[20]));
  EXPECT_EQ(longName, reinterpret_cast<const char*>(&block[25]));
  EXPECT_EQ(0, block.back());
  EXPECT_EQ(0, block[block.size() - 2]);
}

bool TestLead(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

TEST(ShellText, TrailingCharsBlanksAndDbcs) {
  EXPECT_EQ("", IncludeTrailingChar("", '\\'));
  EXPECT_EQ("C:\\", IncludeTrailingChar("C:\\", '\\'));
  EXPECT_EQ("C:\\x\\", IncludeTrailingChar("C:\\x", '\\'));

  EXPECT_EQ("ab", TrimRightBlanks("ab \t\r\n "));
  // A trail byte below 33 belongs to its pair and is kept.
  EXPECT_EQ("a\x82\x20", TrimRightBlanks("a\x82\x20  ", TestLead));
  EXPECT_EQ("a\x82", TrimRightBlanks("a\x82\x20 ", nullptr));
  // A lead byte at the very end is one character on its own.
  EXPECT_EQ("a\x82", TrimRightBlanks("a\x82", TestLead));

  std::string dest;
  size_t pos = 0;
  std::string t = "\x82x\x82";
  NextChar(t, pos, dest, TestLead);
  EXPECT_EQ(2u, pos);
  NextChar(t, pos, dest, TestLead);
  EXPECT_EQ(3u, pos);
  EXPECT_EQ(t, dest);

  std::vector<std::string> masks;
  SplitMasks(";*.txt;;\x82;*.d\x82", masks, TestLead);
  // The pair "\x82;" is one character, not a separator.
  ASSERT_EQ(2u, masks.size());
  EXPECT_EQ("*.txt", masks[0]);
  EXPECT_EQ("\x82;*.d\x82", masks[1]);
}

TEST(ShellText, ShortCutsRoundTrip) {
  for (unsigned key = 8; key <= 597; ++key) {
    for (uint16_t mods : {0, 0x2000, 0x4000, 0x8000, 0xE000}) {
      uint16_t sc = static_cast<uint16_t>(key | mods);
      std::string text = ShortCutToText(sc);
      uint16_t back = TextToShortCut(text);
      // Numeric-pad digits share their names with the digit keys.
      if (key >= 96 && key <= 105)
        EXPECT_EQ(static_cast<uint16_t>('0' + key - 96) | mods, back) << text;
      else
        EXPECT_EQ(sc, back) << text;
    }
  }
  EXPECT_EQ("Shift+Ctrl+Alt+F12", ShortCutToText(0xE000 | 123));
  EXPECT_EQ(0x4000 | 'C', TextToShortCut("^C"));
  EXPECT_EQ(0x4000 | 'C', TextToShortCut("ctrl+c"));
  EXPECT_EQ(300, TextToShortCut("#300"));
  EXPECT_EQ(46, TextToShortCut("Del"));
  EXPECT_EQ(0, TextToShortCut("Ctrl+"));
  EXPECT_EQ(0, TextToShortCut("Frobnicate"));

  LoadShortCutTable([](uint32_t id) { return id == 52588 ? std::string("Del") : std::string("Ctrl+A"); });
  EXPECT_EQ(46, ShortCutTable()[1].shortcut);
  EXPECT_EQ(0x4041, ShortCutTable()[0].shortcut);
}

TEST(ShellText, SizesAndNewFolderNames) {
  EXPECT_EQ(0u, SizeInKilobytes(0));
  EXPECT_EQ(1u, SizeInKilobytes(1));
  EXPECT_EQ(1u, SizeInKilobytes(1024));
  EXPECT_EQ(2u, SizeInKilobytes(1025));
  EXPECT_EQ(5242880u, SizeInKilobytes(5ull << 30));
  EXPECT_EQ(UINT64_C(18014398509481984), SizeInKilobytes(UINT64_MAX));
  EXPECT_EQ("5,242,880", FormatThousands(5242880, ","));
  EXPECT_EQ("0", FormatThousands(0, ","));
  EXPECT_EQ("999", FormatThousands(999, "."));
  EXPECT_EQ("1.000", FormatThousands(1000, "."));

  std::set<std::string> taken = {"P\\New Folder", "P\\New Folder (2)"};
  std::string name;
  auto create = [&](const std::string& path) -> uint32_t {
    return taken.insert(path).second ? 0u : 183u;
  };
  EXPECT_EQ(0u, MakeNewFolderNamed("P\\", "New Folder", create, &name));
  EXPECT_EQ("New Folder (3)", name);
  for (int n = 4; n <= 50; ++n) taken.insert("P\\" + NewFolderName("New Folder", n));
  EXPECT_EQ(183u, MakeNewFolderNamed("P\\", "New Folder", create, &name));
  EXPECT_EQ("New Folder", name);
  EXPECT_EQ(5u, MakeNewFolderNamed("P\\", "X", [](const std::string&) { return 5u; }, &name));
}

}  // namespace
