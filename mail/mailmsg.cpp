#include "mailmsg.h"

#include "charset.h"
#include "headerline.h"
#include "ip_misc.h"
#include "smtp.h"

namespace {

// Header texts come from the user and may hold any letter of the program's
// code page; sent as they are, readers guess the set and garble them.
void AddHeader(TStringList* lines, const std::string& line) {
  lines->Add(EncodeHeaderLine(line, MailCharsetName()));
}

bool HasAnyLine(const TStringList* list) {
  for (int i = 0; i < list->Count(); ++i)
    if (!OneLine((*list)[i]).empty()) return true;
  return false;
}

}  // namespace

T_MailNews::T_MailNews(TComponent* owner)
    : TComponent(owner), FLines(new TStringList), FBody(new TStringList), FHeader(new TStringList) {}

T_MailNews::~T_MailNews() {
  delete FLines;
  delete FBody;
  delete FHeader;
}

void T_MailNews::SetBody(TStrings* lines) {
  if (lines)
    FBody->Assign(lines);
  else
    FBody->Clear();
}

void T_MailNews::Action() {
  // Values come from settings and imported profiles; a stray line break in
  // one of them would start a header line of its own or end the headers.
  TDateTime now = Now();
  AddHeader(FLines, "From: " + OneLine(From));
  if (!Sender.empty()) AddHeader(FLines, "Sender: " + OneLine(Sender));
  FLines->Add("Message-ID: <" + IntToStr(SecondsSince1970(now)) + "@" + OneLine(OwnHostName()) + ">");
  FLines->Add("Date: " + Rfc822Date(now));
  AddHeader(FLines, "Subject: " + OneLine(Subject));
  if (!References.empty()) AddHeader(FLines, "References: " + OneLine(References));
  if (!ReplyTo.empty()) AddHeader(FLines, "Reply-To: " + OneLine(ReplyTo));
  for (int i = 0; i < FHeader->Count(); ++i) {
    std::string line = OneLine((*FHeader)[i]);
    if (!line.empty()) AddHeader(FLines, line);
  }
  FLines->Add("");
  for (int i = 0; i < FBody->Count(); ++i) FLines->Add((*FBody)[i]);
}

T_Mail::T_Mail(TComponent* owner)
    : T_MailNews(owner), FRecipients(new TStringList), FCC(new TStringList), FBCC(new TStringList) {}

T_Mail::~T_Mail() {
  delete FRecipients;
  delete FCC;
  delete FBCC;
}

void T_Mail::Action() {
  if (!SMTP) throw Exception("No SMTP session for the mail");
  if (OneLine(From).empty()) throw ETcpIpError("No sender address given");
  if (!HasAnyLine(FRecipients) && !HasAnyLine(FCC) && !HasAnyLine(FBCC))
    throw ETcpIpError("No recipient address given");

  bool ownSender = SMTP->SenderAddress.empty();
  if (ownSender) SMTP->SenderAddress = OneLine(Sender.empty() ? From : Sender);
  FLines->Clear();
  try {
    if (Disclose_Receipts) {
      FLines->Add("To: disclosed recipients list");
    } else {
      for (int i = 0; i < FRecipients->Count(); ++i) {
        std::string line = OneLine((*FRecipients)[i]);
        if (!line.empty()) AddHeader(FLines, "To: " + line);
      }
    }
    for (int i = 0; i < FCC->Count(); ++i) {
      std::string line = OneLine((*FCC)[i]);
      if (!line.empty()) AddHeader(FLines, "CC: " + line);
    }
    TStringList envelope;
    envelope.AddStrings(FRecipients);
    envelope.AddStrings(FCC);
    envelope.AddStrings(FBCC);
    SMTP->SetRecipients(&envelope);
    T_MailNews::Action();
    SMTP->SetMessage(FLines);
    SMTP->Action();
  } catch (...) {
    // A failed send must leave nothing behind for the next attempt.
    FLines->Clear();
    if (ownSender) SMTP->SenderAddress.clear();
    throw;
  }
  FLines->Clear();
  if (ownSender) SMTP->SenderAddress.clear();
}
