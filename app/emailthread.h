// Sending the finished patch by e-mail on a worker thread, so the blocking
// SMTP dialogue does not freeze the windows. Everything the worker needs is
// copied on the GUI thread before it starts: the address book may change
// its receivers and the main window its texts while the mail goes out.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "receivers.h"
#include "win/appthread.h"

class T_Mime;
class T_Mail;
class T_SMTP;
class TForm;
class TStrings;
struct EmailSettings;

// What one sending needs, taken from the sender profile, the expert page
// and the receiver list at the moment the user asked for it.
struct EmailJob {
  std::string SmtpServer;
  uint16_t SmtpPort = 25;
  std::string FromAddress;
  std::string FromName;
  std::string ReplyTo;
  std::string Organization;
  std::string Subject;
  std::vector<std::string> BodyLines;
  std::string PatchName;
  std::vector<ReceiverEntry> Receivers;
};

// The job for profile, the subject, the body's lines and the patch, with
// the process-wide receiver list as it is now.
EmailJob MakeEmailJob(const EmailSettings& profile, const std::string& subject, TStrings* body,
                      const std::string& patchName);

class EmailThread : public TThread {
 public:
  explicit EmailThread(EmailJob job);

  T_Mime* Mime = nullptr;
  T_Mail* Mail = nullptr;
  T_SMTP* Smtp = nullptr;
  int32_t Percent = 0;
  std::string StatusText;

  const EmailJob& Job() const { return job_; }

 protected:
  void Execute() override;

 private:
  void Trace(const std::string& text, int level);
  void Send();
  EmailJob job_;
  bool shown_ = false;
  std::string shownText_;
  int32_t shownPercent_ = 0;
};

// 0 while a sending runs; set when Execute has ended.
extern std::atomic<uint32_t> EmailSendDone;

// The send command: shows the e-mail window in place of mainWindow, sends
// job on a worker while handling messages, then puts mainWindow back and
// frees the worker. Does nothing (false) without receivers or while a
// sending is under way.
bool SendPatchByEmail(TForm* mainWindow, EmailJob job);
// True while SendPatchByEmail runs.
bool EmailSendingUnderWay();
