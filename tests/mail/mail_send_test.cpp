// A message with text and a binary attachment goes through a real SMTP
// server; Python's email parser must read it back unchanged.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "mail_peers.h"
#include "mailmsg.h"
#include "mime.h"
#include "smtp.h"
#include "test_support.h"

using namespace testsupport;

namespace {

std::string Part(const std::string& outName, int n) {
  auto bytes = ReadFileBytes(Join(Join(ScratchDir(), outName), "part" + std::to_string(n)));
  std::string s(bytes.begin(), bytes.end());
  std::string unix;
  for (size_t i = 0; i < s.size(); ++i)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) unix += s[i];
  return unix;
}

}  // namespace

TEST(MailSend, TextAndBinaryAttachmentArriveIntact) {
  // Random bytes with text-like stretches: lines starting with dots,
  // CR LF pairs and a lone dot line must all survive.
  std::mt19937 rng(5);
  std::vector<uint8_t> data(3 * 1024 * 1024 + 17);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  const char* dotty = "\r\n.\r\n..x\r\n.\n";
  for (size_t at = 1000; at + 16 < data.size(); at += 250000) std::copy(dotty, dotty + 12, data.begin() + at);
  std::string file = Join(ScratchDir(), "patch.bin");
  WriteFileBytes(file, data);

  MailPeer server("smtpd", "mail_smtpd.py");
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetPort(static_cast<uint16_t>(server.Port()));
  std::vector<std::string> status;
  smtp.OnTrace = [&status](const std::string& text, int level) {
    if (level == 3) status.push_back(text);
  };
  T_Mail mail(nullptr);
  mail.SMTP = &smtp;
  mail.From = "sender@example.org (Sender Name)";
  mail.ReplyTo = "replies@example.org";
  mail.Subject = "Your patch\r\nBcc: intruder@example.org";
  mail.Header()->Add("X-Mailer: test mailer");
  mail.Header()->Add("Organization: Test\nBcc: intruder2@example.org");
  mail.Recipients()->Add("to@example.org (To Person)");
  mail.CC()->Add("cc@example.org (Smith, Jo)");
  mail.BCC()->Add("bcc@example.org (bcc@home.example)");
  T_Mime mime(nullptr);
  mime.Mail = &mail;
  TStringList text;
  std::string longLine(200, 'w');
  for (const char* l : {"Hello,", ".", ".starts with a dot", "a=b costs \xE4 5", "trailing blank "}) text.Add(l);
  text.Add(longLine);
  mime.AttachText(&text);
  EXPECT_EQ(mime.AttachFile(file), 1);
  mail.Body()->Add("Body text, sent as the last part.");

  ASSERT_NO_THROW(mime.Action());
  EXPECT_EQ(status.back(), "Done.");
  // The composer is as it was: two parts, the caller's body.
  EXPECT_EQ(mime.PartCount(), 2);
  ASSERT_EQ(mail.Body()->Count(), 1);
  EXPECT_EQ(mail.Body()->Get(0), "Body text, sent as the last part.");

  auto env = server.ReadFile("msg1.env");
  EXPECT_EQ(env, "sender@example.org\nto@example.org\ncc@example.org\nbcc@example.org\n");

  auto s = ParseStoredMessage(server, 1, "check1");
  EXPECT_EQ(s["error"], "");
  EXPECT_EQ(s["defects"], "0") << s["defect_list"];
  EXPECT_EQ(s["content_type"], "multipart/mixed");
  EXPECT_EQ(s["date_ok"], "1");
  EXPECT_EQ(s["count.bcc"], "");
  EXPECT_EQ(s["header.subject"], "Your patchBcc: intruder@example.org");
  EXPECT_EQ(s["header.to"], "to@example.org");
  EXPECT_EQ(s["header.cc"], "cc@example.org");
  EXPECT_EQ(s["header.reply-to"], "replies@example.org");
  EXPECT_EQ(s["header.x-mailer"], "test mailer");
  EXPECT_EQ(s["parts"], "3");
  EXPECT_EQ(s["part0.type"], "text/plain");
  EXPECT_EQ(s["part0.encoding"], "quoted-printable");
  EXPECT_EQ(Part("check1", 0), "Hello,\n.\n.starts with a dot\na=b costs \xE4 5\ntrailing blank \n" + longLine + "\n");
  EXPECT_EQ(s["part1.type"], "application/octet-stream");
  EXPECT_EQ(s["part1.filename"], "patch.bin");
  EXPECT_EQ(s["part1.encoding"], "base64");
  auto back = ReadFileBytes(Join(Join(ScratchDir(), "check1"), "part1"));
  EXPECT_TRUE(back == data) << "attachment differs: " << back.size() << " bytes back of " << data.size();
  EXPECT_EQ(Part("check1", 2), "Body text, sent as the last part.\n");

  // A second send with the same composer is a complete message again.
  ASSERT_NO_THROW(mime.Action());
  auto again = ParseStoredMessage(server, 2, "check2");
  EXPECT_EQ(again["defects"], "0") << again["defect_list"];
  EXPECT_EQ(again["count.content-type"], "1");
  EXPECT_EQ(again["count.mime-version"], "1");
  EXPECT_EQ(again["parts"], "3");
  server.Stop();
}

TEST(MailSend, FailedSendLeavesTheComposerAsItWas) {
  T_SMTP smtp(nullptr);
  smtp.SetHostname("no-such-host.invalid");
  T_Mail mail(nullptr);
  mail.SMTP = &smtp;
  mail.From = "sender@example.org";
  mail.BCC()->Add("hidden@example.org");
  T_Mime mime(nullptr);
  mime.Mail = &mail;
  mail.Body()->Add("text");
  EXPECT_THROW(mime.AttachFile(Join(ScratchDir(), "missing.bin")), EFOpenError);
  EXPECT_THROW(mime.Action(), ETcpIpError);
  EXPECT_EQ(mime.PartCount(), 0);
  ASSERT_EQ(mail.Body()->Count(), 1);
  EXPECT_EQ(mail.Body()->Get(0), "text");
  EXPECT_EQ(smtp.SenderAddress, "");

  // Nobody to send to is an error, not a quiet success.
  mail.BCC()->Clear();
  try {
    mime.Action();
    ADD_FAILURE() << "sent without recipients";
  } catch (const ETcpIpError& e) {
    EXPECT_EQ(e.Message(), "No recipient address given");
  }
}

// Letters beyond ASCII in the names, a long subject, a file name and the
// text, in the code page the environment names: Python's parser reads each
// as written, and no line of the message is longer than 78 characters.
TEST(MailSend, TextsBeyondAsciiAreEncodedAndLongHeadersFolded) {
  // Natively the locale names the set; on Windows it is the ANSI code page
  // (1252 under these test runs).
#ifndef _WIN32
  setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
#endif
  std::string subject, subjectUtf8;
  for (int k = 1; subject.size() < 2000; ++k) {
    subject += "Patch f\xfcr \xc4rger " + std::to_string(k) + " ";
    subjectUtf8 += "Patch f\xc3\xbcr \xc3\x84rger " + std::to_string(k) + " ";
  }
  subject.pop_back();
  subjectUtf8.pop_back();
  const std::string file = Join(ScratchDir(), "Patch f\xfcr K\xf6ln.utp");
  WriteFileBytes(file, std::vector<uint8_t>{1, 2, 3});

  MailPeer server("smtpd8bit", "mail_smtpd.py");
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetPort(static_cast<uint16_t>(server.Port()));
  T_Mail mail(nullptr);
  mail.SMTP = &smtp;
  mail.From = "sven@example.org (Sven S\xe4nder)";
  mail.Subject = subject;
  mail.Header()->Add("Organization: B\xfcro M\xfcller");
  mail.Recipients()->Add("to@example.org (J\xfcrgen \xd6hler)");
  T_Mime mime(nullptr);
  mime.Mail = &mail;
  TStringList text;
  text.Add("Gr\xfc\xdf" "e aus K\xf6ln: \xe4\xf6\xfc \xc4\xd6\xdc \xdf");
  mime.AttachText(&text);
  mime.AttachFile(file);
  mime.Action();
#ifndef _WIN32
  unsetenv("LC_ALL");
#endif

  auto s = ParseStoredMessage(server, 1, "check8bit");
  ASSERT_EQ(s["error"], "");
  EXPECT_EQ(s["defects"], "0") << s["defect_list"];
  EXPECT_EQ(s["header.subject"], subjectUtf8);
  EXPECT_EQ(s["decoded.from"], "sven@example.org (Sven S\xc3\xa4nder)");
  EXPECT_EQ(s["decoded.to"], "to@example.org (J\xc3\xbcrgen \xc3\x96hler)");
  EXPECT_EQ(s["header.organization"], "B\xc3\xbcro M\xc3\xbcller");
  EXPECT_LE(std::stoi(s["longest_line"]), 78);
#ifdef _WIN32
  EXPECT_EQ(s["part0.charset"], "windows-1252");
#else
  EXPECT_EQ(s["part0.charset"], "iso-8859-1");
#endif
  const std::vector<uint8_t> t = ReadFileBytes(Join(Join(ScratchDir(), "check8bit"), "part0.text"));
  EXPECT_EQ(std::string(t.begin(), t.end()),
            "Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln: \xc3\xa4\xc3\xb6\xc3\xbc \xc3\x84\xc3\x96\xc3\x9c \xc3\x9f\r\n");
  EXPECT_EQ(s["part1.filename"], "Patch f\xc3\xbcr K\xc3\xb6ln.utp");
}
