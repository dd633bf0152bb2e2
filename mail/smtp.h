// One SMTP session that hands a prepared message to a mail server.
#pragma once

#include <string>
#include <vector>

#include "tcpip.h"

#include "classes.h"

class T_SMTP : public T_TcpIp {
 public:
  explicit T_SMTP(TComponent* owner);
  ~T_SMTP() override;

  // The envelope sender; its first address goes into MAIL FROM.
  std::string SenderAddress;
  // Each line may hold several addresses.
  TStringList* Recipients() const { return FRecipients; }
  void SetRecipients(TStrings* lines);
  // Headers, blank line and body.
  TStringList* Message() const { return FMessage; }
  void SetMessage(TStrings* lines);

  // A receiver the server would not take, with its reply.
  struct Refusal {
    std::string Address;
    int Code;
    std::string Text;
  };
  // The receivers refused in the last session; the mail went to the others.
  const std::vector<Refusal>& Refused() const { return FRefused; }

  int ReplyCode() const { return FReplyCode; }
  const std::string& ReplyText() const { return FReplyText; }

  // Runs the session; a refused step raises EProtocolError (so does a
  // session in which every receiver is refused), a lost or silent server
  // ETcpIpError.
  void Action() override;

 protected:
  // Reads one reply, following "250-" continuation lines; code and text
  // are those of its first line.
  void ReadReply();

 private:
  void Check();
  void SendData();
  void QuitQuietly();

  TStringList* FRecipients;
  TStringList* FMessage;
  std::vector<Refusal> FRefused;
  int FReplyCode = 0;
  std::string FReplyText;
};
