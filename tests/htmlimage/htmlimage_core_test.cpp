#include <gtest/gtest.h>

#include "htmlattrs.h"

using namespace htmlun2;

namespace {

// Counts its own destructions, to see that the owning lists free each item once.
struct Counted : TObject {
  explicit Counted(int* n) : n_(n) {}
  ~Counted() override { ++*n_; }
  int* n_;
};

}  // namespace

TEST(HtmlAttributes, FindTakesTheFirstOfAKindAndTheListOwnsItsItems) {
  TAttributeList list;
  list.AddAttribute(7, 0, "first");
  list.AddAttribute(9, 12, "12");
  list.AddAttribute(7, 0, "second");
  TAttribute* a = nullptr;
  ASSERT_TRUE(list.Find(7, a));
  EXPECT_EQ(a->Name, "first");
  ASSERT_TRUE(list.Find(9, a));
  EXPECT_EQ(a->Value, 12);
  TAttribute* untouched = a;
  EXPECT_FALSE(list.Find(8, a));
  EXPECT_EQ(a, untouched);

  int freed = 0;
  {
    TFreeList owner;
    owner.Add(new Counted(&freed));
    owner.Add(new Counted(&freed));
    owner.Clear();
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(owner.Count(), 0);
    owner.Add(new Counted(&freed));
  }
  EXPECT_EQ(freed, 3);
}
