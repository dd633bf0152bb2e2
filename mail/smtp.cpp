#include "smtp.h"

#include <cctype>

#include "ip_misc.h"

namespace {

// Reply codes run from 100 to 599; anything else (say "099") is no reply,
// and below 300 it would pass for the server's consent.
bool IsReplyLine(const std::string& line) {
  return line.size() >= 3 && line[0] >= '1' && line[0] <= '5' &&
         isdigit(static_cast<unsigned char>(line[1])) && isdigit(static_cast<unsigned char>(line[2])) &&
         (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

}  // namespace

T_SMTP::T_SMTP(TComponent* owner) : T_TcpIp(owner), FRecipients(new TStringList), FMessage(new TStringList) {
  FPort = 25;
}

T_SMTP::~T_SMTP() {
  delete FRecipients;
  delete FMessage;
}

void T_SMTP::SetRecipients(TStrings* lines) {
  if (lines)
    FRecipients->Assign(lines);
  else
    FRecipients->Clear();
}

void T_SMTP::SetMessage(TStrings* lines) {
  if (lines)
    FMessage->Assign(lines);
  else
    FMessage->Clear();
}

void T_SMTP::ReadReply() {
  std::string line = ReadLine();
  Trace(line, 1);
  if (!IsReplyLine(line)) throw ETcpIpError("Unexpected reply from " + FHostname + ": " + line);
  FReplyCode = std::stoi(line.substr(0, 3));
  FReplyText = line.size() > 4 ? line.substr(4) : "";
  while (line.size() > 3 && line[3] == '-') {
    line = ReadLine();
    Trace(line, 1);
    if (!IsReplyLine(line)) throw ETcpIpError("Unexpected reply from " + FHostname + ": " + line);
  }
}

void T_SMTP::Check() {
  if (FReplyCode >= 300) throw EProtocolError("SMTP", FReplyCode, FReplyText);
}

void T_SMTP::SendData() {
  // Lines are sent in blocks: one socket call per line makes a message of
  // a few megabytes crawl.
  const size_t kBlock = 32512;
  const int count = FMessage->Count();
  std::string out;
  for (int i = 0; i < count; ++i) {
    // A list entry may itself hold line breaks; each physical line is sent
    // on its own, and a leading dot is doubled so the server cannot take
    // it for the end of the message.
    const std::string entry = (*FMessage)[i];
    size_t start = 0;
    for (;;) {
      size_t end = entry.find_first_of("\r\n", start);
      std::string part = entry.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!part.empty() && part[0] == '.') out += '.';
      out += part;
      out += "\r\n";
      if (end == std::string::npos) break;
      start = end + (entry.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (out.size() >= kBlock) {
      Send(out.data(), out.size());
      out.clear();
    }
    if (count > 1 && OnTrace) {
      int percent = i * 100 / count - 1;
      Trace(IntToStr(percent < 0 ? 0 : percent) + "%", 3);
    }
  }
  if (!out.empty()) Send(out.data(), out.size());
}

void T_SMTP::Action() {
  std::vector<std::string> envelope;
  for (int i = 0; i < FRecipients->Count(); ++i)
    for (const std::string& a : EnvelopeAddresses((*FRecipients)[i])) envelope.push_back(a);
  std::vector<std::string> from = EnvelopeAddresses(SenderAddress);
  // Returning quietly here would tell the user the mail went out.
  if (from.empty()) throw ETcpIpError("No sender address given");
  if (envelope.empty()) throw ETcpIpError("No recipient address given");
  if (FMessage->Count() == 0) throw ETcpIpError("No message to send");

  Trace("Connecting", 3);
  Login();
  std::string host = OwnHostName();
  ReadReply();
  SendCommand("HELO " + host);
  ReadReply();
  Check();
  SendCommand("MAIL FROM: <" + from[0] + ">");
  ReadReply();
  Check();
  FRefused.clear();
  for (const std::string& a : envelope) {
    SendCommand("RCPT TO: <" + a + ">");
    ReadReply();
    // A refused receiver does not get the mail; the user must hear of it.
    if (FReplyCode >= 300) {
      FRefused.push_back({a, FReplyCode, FReplyText});
      Trace("Receiver refused: <" + a + ">: " + IntToStr(FReplyCode) + " " + FReplyText, 3);
    }
  }
  if (FRefused.size() == envelope.size()) {
    // Nobody would get it: nothing is sent, and that is a failure.
    std::string text = "The server refused every receiver:";
    for (const Refusal& r : FRefused) text += "\r\n<" + r.Address + ">: " + IntToStr(r.Code) + " " + r.Text;
    const int code = FReplyCode;
    QuitQuietly();
    throw EProtocolError("SMTP", code, text);
  }
  SendCommand("DATA");
  ReadReply();
  // Anything but 354 means the server did not take the message text.
  if (FReplyCode != 354) throw EProtocolError("SMTP", FReplyCode, FReplyText);
  Trace("0%", 3);
  SendData();
  // Until the server answers the final dot the mail is not sent: it may
  // still refuse it or drop the line.
  Trace("Waiting for the server to accept the mail.", 3);
  Send(".\r\n", 3);
  ReadReply();
  Check();
  Trace("100%", 3);
  Trace("Mail sent.", 3);
  // The message is delivered; a server that leaves without a word on QUIT
  // changes nothing about that, and its reply to the message stays the
  // one to report.
  QuitQuietly();
  Trace("Done.", 3);
}

void T_SMTP::QuitQuietly() {
  const int code = FReplyCode;
  const std::string text = FReplyText;
  try {
    SendCommand("QUIT");
    ReadReply();
  } catch (const ETcpIpError&) {
  }
  FReplyCode = code;
  FReplyText = text;
  Logout();
}
