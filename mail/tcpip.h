// A small blocking TCP client component and the exceptions of the mail
// transport.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classes.h"
#include "socket.h"
#include "sysutils.h"

class ETcpIpError : public Exception {
 public:
  using Exception::Exception;
};

class ESocketError : public ETcpIpError {
 public:
  explicit ESocketError(int code) : ETcpIpError("Error creating socket"), ErrorCode(code) {}
  int ErrorCode;
};

class EProtocolError : public ETcpIpError {
 public:
  EProtocolError(const std::string& protocol, int code, const std::string& text)
      : ETcpIpError(text), Protocol(protocol), ReplyCode(code), ReplyText(text) {}
  std::string Protocol;
  int ReplyCode;
  std::string ReplyText;
};

// Trace levels: 0 command sent, 1 reply line, 2 socket event, 3 status.
using TTraceProc = std::function<void(const std::string& text, int level)>;

class T_TcpIp : public TComponent {
 public:
  explicit T_TcpIp(TComponent* owner);
  ~T_TcpIp() override;

  const std::string& Hostname() const { return FHostname; }
  void SetHostname(const std::string& host) { FHostname = host; }
  uint16_t Port() const { return FPort; }
  void SetPort(uint16_t port) { FPort = port; }
  // Longest wait for a connection, for data and for room to send, in ms.
  int Timeout() const { return FTimeout; }
  void SetTimeout(int ms) { FTimeout = ms > 0 ? ms : 1; }
  // Data read by Action, rewound.
  TMemoryStream* Stream() const { return FStream; }

  TTraceProc OnTrace;
  // Called now and then while waiting on the socket, so that the thread
  // running the session can keep its messages flowing.
  std::function<void()> OnWait;

  virtual void Reconnect();
  // Connects and reads everything the host sends until it closes.
  virtual void Action();
  virtual void SendCommand(const std::string& line);
  virtual void Login();
  virtual void Logout();
  virtual bool IsClosed() const { return FClosed; }

 protected:
  void Trace(const std::string& text, int level);
  // Sends every byte or raises ETcpIpError.
  void Send(const void* data, size_t length);
  // Bytes read into buffer; 0 when the host has closed the connection.
  // Raises ETcpIpError when nothing comes within the time-out.
  int Receive(void* buffer, int length);
  // One line without its CR LF; raises ETcpIpError when the connection
  // closes before the line is complete.
  std::string ReadLine();

  MailSocket FSocket = kNoSocket;
  std::string FHostname;
  uint16_t FPort = 0;
  uint32_t FIpAddress = kNoAddress;
  bool FClosed = true;
  bool FDataReady = false;
  bool FLoggedIn = false;
  bool FWaitForData = true;

 private:
  static const int kBufferSize = 32512;
  int FTimeout = 60000;
  std::vector<char> FBuffer;
  size_t FBufPos = 0;
  size_t FBufLen = 0;
  TMemoryStream* FStream;
};
