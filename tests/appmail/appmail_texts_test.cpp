// The sender and receiver texts and the reading of the transport's
// percentage traces, which must never raise whatever the server says.
#include <gtest/gtest.h>

#include "mailtexts.h"

TEST(MailTexts, AddressWithNameOnlyWhenThereIsOne) {
  EXPECT_EQ(AddressWithName("ann@example.org", "Ann Lee"), "ann@example.org (Ann Lee)");
  EXPECT_EQ(AddressWithName("ann@example.org", ""), "ann@example.org");
}

TEST(MailTexts, TracePercentReadsNumbersAndLeavesEverythingElse) {
  int32_t p = 17;
  EXPECT_TRUE(ReadTracePercent("0%", p));
  EXPECT_EQ(p, 0);
  EXPECT_TRUE(ReadTracePercent("42%", p));
  EXPECT_EQ(p, 42);
  EXPECT_TRUE(ReadTracePercent("-1%", p));
  EXPECT_EQ(p, 0);
  // Digits far past any integer clamp instead of overflowing.
  EXPECT_TRUE(ReadTracePercent("99999999999999999999999%", p));
  EXPECT_EQ(p, 100);
  p = 33;
  for (const char* text : {"Connecting", "Done.", "%", "-%", "abc%", "4 2%", "42% ", "12.5%", "", "0x10%"}) {
    EXPECT_FALSE(ReadTracePercent(text, p)) << text;
    EXPECT_EQ(p, 33) << text;
  }
}
