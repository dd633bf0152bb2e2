// One SMTP session that hands a prepared message to a mail server.
#pragma once

#include <string>

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

  int ReplyCode() const { return FReplyCode; }
  const std::string& ReplyText() const { return FReplyText; }

  // Runs the session; a refused step raises EProtocolError, a lost or
  // silent server ETcpIpError.
  void Action() override;

 protected:
  // Reads one reply, following "250-" continuation lines; code and text
  // are those of its first line.
  void ReadReply();

 private:
  void Check();
  void SendData();

  TStringList* FRecipients;
  TStringList* FMessage;
  int FReplyCode = 0;
  std::string FReplyText;
};
