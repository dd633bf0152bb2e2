// A whole SMTP session against a server whose every byte is the fuzzer's:
// multi-line replies, odd codes, over-long and cut lines, a peer that closes
// in the middle of a reply.  The session must end either delivered (every
// step accepted) or with the transport's own error, never otherwise.
#include <cstdint>
#include <string>

#include "fuzz_smtp_peer.h"
#include "smtp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzPeerStart(data + 1, size - 1, data[0]);
  T_SMTP smtp(nullptr);
  smtp.SetHostname("127.0.0.1");
  smtp.SetTimeout(1000);
  smtp.SenderAddress = "Sender <from@example.org>";
  smtp.Recipients()->Add("a@example.org, B <b@example.org>");
  smtp.Message()->Add("Subject: x");
  smtp.Message()->Add("");
  smtp.Message()->Add(".dot line");
  size_t longest = 0;
  smtp.OnTrace = [&](const std::string& text, int level) {
    if (level == 1 && (text.find_first_of("\r\n") != std::string::npos)) __builtin_trap();
    if (level == 1 && text.size() > longest) longest = text.size();
  };
  bool delivered = false;
  try {
    smtp.Action();
    delivered = true;
  } catch (const EProtocolError& e) {
    // A refusal names the code the server gave.
    if (e.ReplyCode < 100 || e.ReplyCode > 599 || e.ReplyCode != smtp.ReplyCode()) __builtin_trap();
  } catch (const ETcpIpError&) {
  }
  if (longest > 65536) __builtin_trap();
  // Delivered means the server took the message text and then accepted it.
  if (delivered && (smtp.ReplyCode() >= 300 || FuzzPeerBytesSent() == 0)) __builtin_trap();
  return 0;
}
