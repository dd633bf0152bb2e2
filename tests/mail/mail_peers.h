// Starting and stopping the Python peers of the mail tests: a real SMTP
// server and a scripted one that misbehaves. Both listen on 127.0.0.1 and
// end on their own after a bounded time.
#pragma once

#include <map>
#include <string>
#include <vector>

class MailPeer {
 public:
  // script: a file name in tests/mail; args follow the peer's folder.
  MailPeer(const std::string& name, const std::string& script, const std::vector<std::string>& args = {});
  ~MailPeer();
  int Port() const { return port_; }
  const std::string& Folder() const { return folder_; }
  // Asks the peer to stop and waits until it has.
  void Stop();
  // Waits until the peer has finished its connection.
  void WaitDone();
  std::string ReadFile(const std::string& name) const;

 private:
  bool WaitFor(const std::string& name, int seconds) const;
  std::string folder_;
  int port_ = 0;
  bool stopped_ = false;
};

// Message n stored by a mail_smtpd.py server, read with Python's email
// parser (mail_check.py): its summary lines as key=value, and the decoded
// parts as files part0, part1, ... in the scratch folder outName. A failed
// parse gives {"error": its output}.
std::map<std::string, std::string> ParseStoredMessage(const MailPeer& server, int message, const std::string& outName);
