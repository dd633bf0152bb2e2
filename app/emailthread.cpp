#include "emailthread.h"

#include <windows.h>

#include "emailform.h"
#include "mailmsg.h"
#include "mailtexts.h"
#include "mime.h"
#include "settings.h"
#include "smtp.h"
#include "tcpip.h"
#include "win/forms.h"

std::atomic<uint32_t> EmailSendDone{1};

namespace {

const char kNoConnectionText[] =
    "Seems that your computer is currently not connected to the internet. Please dialup. Morvane SMTP "
    "subsystem error message was:";
const char kUnknownErrorText[] = "Unknown error occured while trying to send email.";

bool sendingUnderWay = false;

}  // namespace

EmailJob MakeEmailJob(const EmailSettings& profile, const std::string& subject, TStrings* body,
                      const std::string& patchName) {
  EmailJob job;
  job.SmtpServer = profile.Smtp;
  job.FromAddress = profile.Email;
  job.FromName = profile.Name;
  job.ReplyTo = profile.ReplyTo;
  job.Organization = profile.Organization;
  job.Subject = subject;
  if (body)
    for (int i = 0; i < body->Count(); ++i) job.BodyLines.push_back(body->Strings(i));
  job.PatchName = patchName;
  for (int i = 0; i < Receivers.Count(); ++i) job.Receivers.push_back(*Receivers.Items(i));
  return job;
}

EmailThread::EmailThread(EmailJob job) : job_(std::move(job)) { EmailSendDone = 0; }

void EmailThread::Trace(const std::string& text, int level) {
  if (level != 3) return;
  StatusText = text;
  ReadTracePercent(text, Percent);
  // A large attachment traces every line it sends; the window is only
  // told when what it shows changes.
  if (shown_ && StatusText == shownText_ && Percent == shownPercent_) return;
  shown_ = true;
  shownText_ = StatusText;
  shownPercent_ = Percent;
  const std::string status = StatusText;
  const int32_t percent = Percent;
  Synchronize([status, percent] {
    if (!Form4) return;
    Form4->label_Status->SetCaption(status);
    Form4->progress_EMail->SetPosition(percent);
  });
}

void EmailThread::Send() {
  // The worker owns the mail objects: making them children of a window
  // would insert into a component list the GUI thread walks.
  Smtp = new T_SMTP(nullptr);
  Smtp->SetHostname(job_.SmtpServer);
  Smtp->SetPort(job_.SmtpPort);
  Smtp->OnTrace = [this](const std::string& text, int level) { Trace(text, level); };

  Mail = new T_Mail(nullptr);
  Mail->SMTP = Smtp;
  Mail->From = AddressWithName(job_.FromAddress, job_.FromName);
  if (!job_.ReplyTo.empty()) Mail->ReplyTo = job_.ReplyTo;
  Mail->Subject = job_.Subject;
  Mail->Header()->Add(kMailerLine);
  if (!job_.Organization.empty()) Mail->Header()->Add("Organization: " + job_.Organization);

  for (const ReceiverEntry& r : job_.Receivers) {
    const std::string text = AddressWithName(r.Email, r.Name);
    if (r.Kind == 1)
      Mail->CC()->Add(text);
    else if (r.Kind == 2)
      Mail->BCC()->Add(text);
    else
      Mail->Recipients()->Add(text);
  }

  Mime = new T_Mime(nullptr);
  Mime->Mail = Mail;
  TStringList body;
  for (const std::string& line : job_.BodyLines) body.Add(line);
  Mime->AttachText(&body);
  Mime->AttachFile(job_.PatchName);
  Mime->Action();

  // The mail went out, but not to everyone: the user must know who of the
  // receivers will not get it, and why.
  const std::vector<T_SMTP::Refusal>& refused = Smtp->Refused();
  if (refused.empty()) return;
  // The window's one line holds the addresses; the message their replies.
  std::string status = "Mail sent; refused:", list;
  for (const T_SMTP::Refusal& r : refused) {
    status += (&r == &refused.front() ? " " : ", ") + r.Address;
    list += "\r\n<" + r.Address + ">: " + IntToStr(r.Code) + " " + r.Text;
  }
  Trace(status, 3);
  Application->MessageBox("The mail was sent, but the server refused " + IntToStr(static_cast<int>(refused.size())) +
                              (refused.size() == 1 ? " receiver:" : " receivers:") + "\r\n" + list,
                          "Receivers refused", MB_OK | MB_ICONEXCLAMATION);
}

void EmailThread::Execute() {
  try {
    Send();
  } catch (const ETcpIpError& e) {
    Application->MessageBox(std::string(kNoConnectionText) + "\r\n\r\n" + e.what(), "Error", MB_OK | MB_ICONSTOP);
  } catch (...) {
    Application->MessageBox(kUnknownErrorText, "Error sending patch!", MB_OK | MB_ICONSTOP);
  }
  delete Mime;
  Mime = nullptr;
  delete Mail;
  Mail = nullptr;
  delete Smtp;
  Smtp = nullptr;
  EmailSendDone = 1;
}

bool EmailSendingUnderWay() { return sendingUnderWay; }

bool SendPatchByEmail(TForm* mainWindow, EmailJob job) {
  if (sendingUnderWay || job.Receivers.empty()) return false;
  sendingUnderWay = true;
  struct Reset {
    ~Reset() { sendingUnderWay = false; }
  } reset;
  if (Form4) {
    Form4->label_Status->SetCaption("Status:");
    Form4->progress_EMail->SetPosition(0);
    Form4->Show();
  }
  if (mainWindow) mainWindow->Hide();
  EmailThread* thread = new EmailThread(std::move(job));
  thread->Start();
  // The library wakes this loop when Execute has ended.
  while (!EmailSendDone) Application->HandleMessage([] { return EmailSendDone != 0; });
  if (Form4) Form4->Hide();
  if (mainWindow) mainWindow->Show();
  thread->WaitFor();
  delete thread;
  return true;
}
