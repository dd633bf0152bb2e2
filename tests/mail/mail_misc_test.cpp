#include <gtest/gtest.h>

#include <random>

#include "classes.h"
#include "ip_misc.h"
#include "test_support.h"

using namespace testsupport;

namespace {

std::string Python(const std::vector<std::string>& args) {
  std::string out;
  int rc = RunUnix("/usr/bin/python3", args, &out);
  return rc == 0 ? out : "exit " + std::to_string(rc) + ": " + out;
}

std::string Script(const std::string& name) { return ToUnixPath(Join(Join(Join(SourceDir(), "tests"), "mail"), name)); }

}  // namespace

TEST(MailMisc, ZoneTextForms) {
  EXPECT_EQ(ZoneText(0), "GMT");
  EXPECT_EQ(ZoneText(-60), "+0100");
  EXPECT_EQ(ZoneText(300), "-0500");
  EXPECT_EQ(ZoneText(-330), "+0530");
  EXPECT_EQ(ZoneText(-765), "+1245");
}

TEST(MailMisc, Rfc822DateFields) {
  // 1970-01-01 00:00:00 was a Thursday; day 25569 in the day-count form.
  EXPECT_EQ(Rfc822Date(25569.0, 0), "Thu, 1 Jan 1970 00:00:00 GMT");
  // 2026-12-08 21:06:05, a value a hair below the second.
  double t = 46364.0 + (21 * 3600 + 6 * 60 + 5) / 86400.0 - 1e-10;
  EXPECT_EQ(Rfc822Date(t, -60), "Tue, 8 Dec 2026 21:06:05 +0100");
  EXPECT_EQ(Rfc822Date(36526.5, 480), "Sat, 1 Jan 2000 12:00:00 -0800");
  EXPECT_EQ(Rfc822Date(36585.0, 0), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(SecondsSince1970(25569.0 + 1.5), 129600);
}

TEST(MailMisc, AddressesAndHosts) {
  uint32_t a = ResolveHost("10.1.2.3");
  EXPECT_EQ(AddressText(a), "10.1.2.3");
  EXPECT_EQ(ResolveHost("no-such-host.invalid"), 0xFFFFFFFFu);
  EXPECT_EQ(AddressText(ResolveHost("localhost")), "127.0.0.1");
  EXPECT_FALSE(OwnHostName().empty());
  EXPECT_NE(OwnAddress(), 0xFFFFFFFFu);
  EXPECT_TRUE(tcpip_ready);
}

TEST(MailMisc, PosN) {
  EXPECT_EQ(PosN("a", "banana", 1), 2);
  EXPECT_EQ(PosN("a", "banana", 3), 6);
  EXPECT_EQ(PosN("a", "banana", 4), 0);
  EXPECT_EQ(PosN("a", "banana", -1), 6);
  EXPECT_EQ(PosN("a", "banana", -3), 2);
  EXPECT_EQ(PosN("a", "banana", -4), 0);
  EXPECT_EQ(PosN("an", "banana", -1), 4);
  EXPECT_EQ(PosN("a", "banana", 0), 0);
  EXPECT_EQ(PosN("x", "", 1), 0);
}

TEST(MailMisc, ExtractAddress) {
  EXPECT_EQ(ExtractAddress("Jo Bloggs <jo@example.org>", 1), "jo@example.org");
  EXPECT_EQ(ExtractAddress("jo@example.org (Jo Bloggs)", 1), "jo@example.org");
  EXPECT_EQ(ExtractAddress("\"jo@example.org\"", 1), "jo@example.org");
  EXPECT_EQ(ExtractAddress("a@x.org, b@y.org;c@z.org", 2), "b@y.org");
  EXPECT_EQ(ExtractAddress("a@x.org, b@y.org;c@z.org", 3), "c@z.org");
  EXPECT_EQ(ExtractAddress("a@x.org, b@y.org;c@z.org", 4), "");
  EXPECT_EQ(ExtractAddress("no address here", 1), "");
}

TEST(MailMisc, EnvelopeAddressesIgnoreNames) {
  using V = std::vector<std::string>;
  EXPECT_EQ(EnvelopeAddresses("jo@example.org (Jo@Home, Inc)"), V{"jo@example.org"});
  EXPECT_EQ(EnvelopeAddresses("\"a@b.c\" <real@example.org>"), V{"real@example.org"});
  EXPECT_EQ(EnvelopeAddresses("a@x.org, b@y.org, c@z.org"), (V{"a@x.org", "b@y.org", "c@z.org"}));
  // Only a comment holds an address: that one is meant.
  EXPECT_EQ(EnvelopeAddresses("Jo (jo@example.org)"), V{"jo@example.org"});
  for (const std::string& a : EnvelopeAddresses("jo@exa\r\nRCPT TO:<x@evil>mple.org\n"))
    EXPECT_EQ(a.find_first_of("\r\n"), std::string::npos) << a;
  EXPECT_EQ(OneLine("Subject\r\nBcc: x@y"), "SubjectBcc: x@y");
}

TEST(MailMisc, QuotedPrintableShortForms) {
  EXPECT_EQ(QuotedPrintable("a=b"), "a=3Db");
  EXPECT_EQ(QuotedPrintable("\xE4"), "=E4");
  EXPECT_EQ(QuotedPrintable("plain text."), "plain text.");
  EXPECT_EQ(QuotedPrintable("end "), "end=20");
  EXPECT_EQ(QuotedPrintable("cr\rlf\n"), "cr=0Dlf=0A");
  EXPECT_EQ(QuotedPrintable(std::string(76, 'x')), std::string(76, 'x'));
  EXPECT_EQ(QuotedPrintable(std::string(77, 'x')), std::string(75, 'x') + "=\r\nxx");
}

TEST(MailMisc, QuotedPrintableMatchesPythonOnRandomLines) {
  std::mt19937 rng(42);
  std::string raw, encoded;
  for (int i = 0; i < 400; ++i) {
    size_t len = rng() % 400;
    std::string line;
    for (size_t k = 0; k < len; ++k) {
      char c;
      do c = static_cast<char>(rng() % 4 == 0 ? rng() % 256 : 32 + rng() % 95);
      while (c == '\n' || c == '\r');
      line += c;
    }
    if (i % 7 == 0) line += "  \t";
    if (i) {
      raw += '\n';
      encoded += "\r\n";
    }
    raw += line;
    encoded += QuotedPrintable(line);
  }
  WriteFileText(Join(ScratchDir(), "qp.raw"), raw);
  WriteFileText(Join(ScratchDir(), "qp.txt"), encoded);
  EXPECT_EQ(Python({Script("mail_codecs.py"), "qp", ToUnixPath(Join(ScratchDir(), "qp.raw")),
                    ToUnixPath(Join(ScratchDir(), "qp.txt"))}),
            "OK\n");
}

TEST(MailMisc, Base64StreamMatchesPython) {
  std::mt19937 rng(9);
  for (size_t size : {1u, 44u, 45u, 46u, 100000u}) {
    std::vector<uint8_t> data(size);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    TMemoryStream stream;
    stream.Write(data.data(), static_cast<int>(data.size()));
    TStringList lines;
    lines.Add("kept");
    Base64Stream(&stream, &lines);  // reads from the start, wherever the stream stands
    ASSERT_EQ(lines.Get(0), "kept");
    lines.Delete(0);
    std::string encoded;
    for (int i = 0; i < lines.Count(); ++i) encoded += (i ? "\r\n" : "") + lines.Get(i);
    std::string dir = ScratchDir();
    WriteFileBytes(Join(dir, "b64.raw"), data);
    WriteFileText(Join(dir, "b64.txt"), encoded);
    EXPECT_EQ(Python({Script("mail_codecs.py"), "base64", ToUnixPath(Join(dir, "b64.raw")),
                      ToUnixPath(Join(dir, "b64.txt"))}),
              "OK\n")
        << size;
  }
}
