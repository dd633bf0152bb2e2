// The SMTP dialogue against a scripted peer that refuses, folds its replies,
// hangs up or says nothing at all.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "mail_peers.h"
#include "smtp.h"
#include "test_support.h"

namespace {

struct Outcome {
  std::vector<std::pair<int, std::string>> trace;
  std::string kind;  // "", "protocol" or "tcpip"
  std::string message;
  int code = 0;
  std::string peerLog;
  int waits = 0;

  bool Traced(int level, const std::string& text) const {
    for (const auto& t : trace)
      if (t.first == level && t.second == text) return true;
    return false;
  }
  std::vector<std::string> Status() const {
    std::vector<std::string> s;
    for (const auto& t : trace)
      if (t.first == 3) s.push_back(t.second);
    return s;
  }
  bool PeerGot(const std::string& line) const { return ("\n" + peerLog).find("\n" + line + "\n") != std::string::npos; }
};

void Fill(TStringList* list, std::initializer_list<const char*> lines) {
  list->Clear();
  for (const char* l : lines) list->Add(l);
}

Outcome RunSession(T_SMTP& smtp) {
  Outcome out;
  smtp.OnTrace = [&out](const std::string& text, int level) { out.trace.emplace_back(level, text); };
  try {
    smtp.Action();
  } catch (const EProtocolError& e) {
    out.kind = "protocol";
    out.message = e.Message();
    out.code = e.ReplyCode;
  } catch (const ETcpIpError& e) {
    out.kind = "tcpip";
    out.message = e.Message();
  }
  return out;
}

// One session against the scripted peer playing 'scenario'.
Outcome Against(const std::string& scenario, std::initializer_list<const char*> message = {"Subject: t", "", "body"},
                std::initializer_list<const char*> recipients = {"rcpt@example.org"}, int timeoutMs = 60000) {
  MailPeer peer("peer-" + scenario, "mail_peer.py", {scenario});
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetPort(static_cast<uint16_t>(peer.Port()));
  smtp.SetTimeout(timeoutMs);
  smtp.SenderAddress = "me@example.org (Me)";
  Fill(smtp.Recipients(), recipients);
  Fill(smtp.Message(), message);
  int waits = 0;
  smtp.OnWait = [&waits] { ++waits; };
  Outcome out = RunSession(smtp);
  out.waits = waits;
  smtp.Logout();
  peer.WaitDone();
  out.peerLog = peer.ReadFile("log");
  return out;
}

}  // namespace

TEST(MailSmtp, RefusedHeloAndMailFromRaiseWithTheServersReply) {
  Outcome helo = Against("helo5xx");
  EXPECT_EQ(helo.kind, "protocol");
  EXPECT_EQ(helo.code, 501);
  EXPECT_EQ(helo.message, "who are you");
  EXPECT_TRUE(helo.Traced(1, "501 who are you"));
  EXPECT_FALSE(helo.PeerGot("MAIL FROM: <me@example.org>")) << helo.peerLog;

  Outcome mail = Against("mail5xx");
  EXPECT_EQ(mail.kind, "protocol");
  EXPECT_EQ(mail.code, 550);
  EXPECT_EQ(mail.message, "sender refused");
  EXPECT_TRUE(mail.Traced(0, "MAIL FROM: <me@example.org>"));
  EXPECT_EQ(mail.peerLog.find("RCPT"), std::string::npos) << mail.peerLog;
}

TEST(MailSmtp, DataNotAcceptedIsAFailureNotDone) {
  Outcome o = Against("data250");
  EXPECT_EQ(o.kind, "protocol");
  EXPECT_EQ(o.code, 250);
  EXPECT_EQ(o.message, "nothing wanted");
  EXPECT_FALSE(o.PeerGot("Subject: t")) << o.peerLog;
  EXPECT_EQ(o.Status(), std::vector<std::string>{"Connecting"});

  Outcome refused = Against("data554");
  EXPECT_EQ(refused.kind, "protocol");
  EXPECT_EQ(refused.code, 554);
  EXPECT_EQ(refused.message, "message refused");
  EXPECT_TRUE(refused.PeerGot("body"));
}

TEST(MailSmtp, FoldedRepliesDotsAndSeveralAddressesInALine) {
  MailPeer peer("peer-multiline", "mail_peer.py", {"multiline"});
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetPort(static_cast<uint16_t>(peer.Port()));
  smtp.SenderAddress = "Me <me@example.org>";
  Fill(smtp.Recipients(), {"a@x.org, b@y.org,c@z.org", "Dee (d@w.org)"});
  Fill(smtp.Message(), {"Subject: dots", "", ".", ".leading", "..double", "plain", "multi\r\n.line entry"});
  Outcome o = RunSession(smtp);
  peer.WaitDone();
  o.peerLog = peer.ReadFile("log");

  EXPECT_EQ(o.kind, "") << o.message;
  EXPECT_EQ(smtp.ReplyCode(), 250);
  EXPECT_EQ(smtp.ReplyText(), "queued as 17");
  EXPECT_TRUE(o.Traced(1, "250-peer.example"));
  EXPECT_TRUE(o.Traced(1, "250 HELP"));
  EXPECT_TRUE(o.Traced(1, "250 last line"));
  for (const char* rcpt : {"a@x.org", "b@y.org", "c@z.org", "d@w.org"})
    EXPECT_TRUE(o.PeerGot(std::string("RCPT TO: <") + rcpt + ">")) << rcpt << "\n" << o.peerLog;
  // Leading dots are doubled on the wire and the list itself is left alone.
  for (const char* line : {"..", "..leading", "...double", "plain", "multi", "..line entry", ".", "QUIT"})
    EXPECT_TRUE(o.PeerGot(line)) << line << "\n" << o.peerLog;
  EXPECT_EQ(smtp.Message()->Get(2), ".");
  std::vector<std::string> status = o.Status();
  ASSERT_GE(status.size(), 4u);
  EXPECT_EQ(status.front(), "Connecting");
  EXPECT_EQ(status[1], "0%");
  // "Sent" only once the server has taken the message.
  ASSERT_GE(status.size(), 5u);
  EXPECT_EQ(status[status.size() - 4], "Waiting for the server to accept the mail.");
  EXPECT_EQ(status[status.size() - 3], "100%");
  EXPECT_EQ(status[status.size() - 2], "Mail sent.");
  EXPECT_EQ(status.back(), "Done.");
  for (const auto& s : status)
    EXPECT_NE(s, "-1%");
}

TEST(MailSmtp, RefusedRecipientIsSkippedAndOneLineGivesOnlyZeroPercent) {
  Outcome o = Against("rcpt550", {"single line"}, {"bad@example.org, good@example.org"});
  EXPECT_EQ(o.kind, "") << o.message;
  EXPECT_TRUE(o.Traced(1, "550 no such user"));
  // The refusal is told as it happens; the mail still goes to the other.
  EXPECT_EQ(o.Status(), (std::vector<std::string>{"Connecting", "Receiver refused: <bad@example.org>: 550 no such user",
                                                  "0%", "Waiting for the server to accept the mail.", "100%",
                                                  "Mail sent.", "Done."}));
  EXPECT_TRUE(o.PeerGot("DATA")) << o.peerLog;

  // With every receiver refused nothing is sent, and the session fails
  // naming each of them.
  Outcome none = Against("rcpt550", {"single line"}, {"bad@example.org, bad@example.net"});
  EXPECT_EQ(none.kind, "protocol");
  EXPECT_EQ(none.message,
            "The server refused every receiver:\r\n<bad@example.org>: 550 no such user\r\n"
            "<bad@example.net>: 550 no such user");
  EXPECT_FALSE(none.PeerGot("DATA")) << none.peerLog;
  EXPECT_TRUE(none.PeerGot("QUIT")) << none.peerLog;
}

TEST(MailSmtp, ServerGoneInTheMiddleOfTheTextNeverShowsTheMailAsSent) {
  Outcome o = Against("dropdata", {"Subject: t", "", "line 1", "line 2", "line 3", "line 4", "line 5", "line 6"});
  EXPECT_EQ(o.kind, "tcpip") << o.message;
  const std::vector<std::string> status = o.Status();
  ASSERT_FALSE(status.empty());
  for (const std::string& s : status) EXPECT_EQ(s.find("sent"), std::string::npos) << s;
  EXPECT_NE(status.back(), "Done.");
  EXPECT_NE(status.back(), "100%");
}

TEST(MailSmtp, LostOrSilentOrGarbledServerRaises) {
  Outcome closed = Against("closemid");
  EXPECT_EQ(closed.kind, "tcpip");
  EXPECT_EQ(closed.message, "Connection closed by 127.0.0.1");
  EXPECT_TRUE(closed.Traced(1, "250-peer.example greets you"));

  Outcome garbage = Against("garbage");
  EXPECT_EQ(garbage.kind, "tcpip");
  EXPECT_EQ(garbage.message, "Unexpected reply from 127.0.0.1: hello there");

  // Three digits are not enough: a code outside 1xx-5xx is no answer, and
  // below 300 it would have passed for the message being accepted.
  Outcome odd = Against("code0xx");
  EXPECT_EQ(odd.kind, "tcpip");
  EXPECT_EQ(odd.message, "Unexpected reply from 127.0.0.1: 099 fine");
  EXPECT_TRUE(odd.PeerGot("body")) << odd.peerLog;

  auto start = std::chrono::steady_clock::now();
  Outcome silent = Against("silent", {"x"}, {"a@b.org"}, 1000);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(silent.kind, "tcpip");
  EXPECT_EQ(silent.message, "Timed out waiting for data from 127.0.0.1");
  EXPECT_LT(seconds, 15.0);
  // The waiting thread got the chance to handle its messages meanwhile.
  EXPECT_GE(silent.waits, 5);
}

TEST(MailSmtp, ConnectFailuresAndMissingAddressesRaiseBeforeAnythingIsSent) {
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetPort(1);
  smtp.SenderAddress = "me@example.org";
  Fill(smtp.Recipients(), {"you@example.org"});
  Fill(smtp.Message(), {"x"});
  Outcome refused = RunSession(smtp);
  EXPECT_EQ(refused.kind, "tcpip");
  EXPECT_EQ(refused.message, "Failed to open output socket 1 to host 127.0.0.1");
  EXPECT_TRUE(refused.Traced(2, "Failed to open output socket 1 to host 127.0.0.1"));

  smtp.SetHostname("no-such-host.invalid");
  EXPECT_EQ(RunSession(smtp).message, "Couldn't resolve hostname no-such-host.invalid");

  Fill(smtp.Recipients(), {"Just A Name"});
  Outcome noRcpt = RunSession(smtp);
  EXPECT_EQ(noRcpt.message, "No recipient address given");
  EXPECT_FALSE(noRcpt.Traced(3, "Connecting"));
  Fill(smtp.Recipients(), {"you@example.org"});
  smtp.SenderAddress = "";
  EXPECT_EQ(RunSession(smtp).message, "No sender address given");
}

TEST(MailTcpIp, ActionReadsUntilThePeerCloses) {
  MailPeer peer("peer-banner", "mail_peer.py", {"banner"});
  T_TcpIp tcp(nullptr);
  tcp.SetHostname("127.0.0.1");
  tcp.SetPort(static_cast<uint16_t>(peer.Port()));
  tcp.Action();
  std::string expected;
  for (int i = 0; i < 4000; ++i) {
    char head[16];
    std::snprintf(head, sizeof head, "%06d:", i);
    expected += head + std::string(static_cast<size_t>(i % 97), 'x') + "\r\n";
  }
  TMemoryStream* s = tcp.Stream();
  ASSERT_EQ(s->Size(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(s->Position(), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(s->Memory()), expected.size()), expected);
  EXPECT_TRUE(tcp.IsClosed());
  peer.WaitDone();
}

TEST(MailSmtp, PeerThatStopsReadingEndsInATimeOut) {
  MailPeer peer("peer-stall", "mail_peer.py", {"stall"});
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetPort(static_cast<uint16_t>(peer.Port()));
  smtp.SetTimeout(1000);
  smtp.SenderAddress = "me@example.org";
  smtp.Recipients()->Add("you@example.org");
  std::string line(10000, 'm');
  for (int i = 0; i < 3000; ++i) smtp.Message()->Add(line);
  auto start = std::chrono::steady_clock::now();
  Outcome o = RunSession(smtp);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(o.kind, "tcpip");
  EXPECT_EQ(o.message, "Timed out sending to 127.0.0.1");
  EXPECT_LT(seconds, 5.0);
  smtp.Logout();
  peer.WaitDone();
}
