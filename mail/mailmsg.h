// Composing an RFC 822 message and sending it through an SMTP session.
#pragma once

#include <string>

#include "classes.h"

class T_SMTP;

class T_MailNews : public TComponent {
 public:
  explicit T_MailNews(TComponent* owner);
  ~T_MailNews() override;

  std::string From;
  std::string Sender;
  std::string Subject;
  std::string References;
  std::string ReplyTo;
  TStringList* Body() const { return FBody; }
  void SetBody(TStrings* lines);
  // Extra header lines, written after the standard ones.
  TStringList* Header() const { return FHeader; }

  // Composes the message lines; T_Mail sends them.
  virtual void Action();

 protected:
  TStringList* FLines;

 private:
  TStringList* FBody;
  TStringList* FHeader;
};

class T_Mail : public T_MailNews {
 public:
  explicit T_Mail(TComponent* owner);
  ~T_Mail() override;

  T_SMTP* SMTP = nullptr;
  // True writes "To: disclosed recipients list" in place of the addresses.
  bool Disclose_Receipts = false;
  TStringList* Recipients() const { return FRecipients; }
  TStringList* CC() const { return FCC; }
  TStringList* BCC() const { return FBCC; }

  // Composes the message and sends it to every recipient, CC and BCC.
  void Action() override;

 private:
  TStringList* FRecipients;
  TStringList* FCC;
  TStringList* FBCC;
};
