#include "tcpip.h"

#include <chrono>

#include "ip_misc.h"

namespace {

// Longest reply line accepted; a peer that never ends its line must not
// make the client grow without bound.
const size_t kMaxLine = 65536;
// How often a waiting session hands control to its OnWait hook.
const int kWaitSliceMs = 50;

int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

T_TcpIp::T_TcpIp(TComponent* owner) : TComponent(owner), FBuffer(kBufferSize), FStream(new TMemoryStream) {}

T_TcpIp::~T_TcpIp() {
  if (FSocket != kNoSocket) Logout();
  delete FStream;
}

void T_TcpIp::Trace(const std::string& text, int level) {
  if (OnTrace) OnTrace(text, level);
}

void T_TcpIp::Reconnect() {
  SockClose(FSocket);
  FSocket = kNoSocket;
  FBufPos = FBufLen = 0;
  int error = 0;
  MailSocket s = SockOpenStream(&error);
  if (s == kNoSocket) throw ESocketError(error);
  int result = SockConnect(s, FIpAddress, FPort, FTimeout);
  if (result != 0 && result != kSockWouldBlock) {
    SockClose(s);
    std::string text = "Failed to open output socket " + IntToStr(FPort) + " to host " + AddressText(FIpAddress);
    Trace(text, 2);
    // Going on would only wait for replies that cannot come.
    if (result == kSockTimedOut) text += " (timed out)";
    throw ETcpIpError(text);
  }
  FSocket = s;
  Trace("Opened output socket " + IntToStr(FPort) + " to host " + AddressText(FIpAddress) + " successfully; ID " +
            IntToStr(static_cast<int64_t>(FSocket)),
        2);
}

void T_TcpIp::Login() {
  if (FLoggedIn) Logout();
  FIpAddress = ResolveHost(FHostname);
  if (FIpAddress == kNoAddress) throw ETcpIpError("Couldn't resolve hostname " + FHostname);
  Reconnect();
  FClosed = false;
  FLoggedIn = true;
}

void T_TcpIp::Logout() {
  if (FSocket != kNoSocket) {
    SockClose(FSocket);
    Trace("Closed socket ID " + IntToStr(static_cast<int64_t>(FSocket)), 2);
    FSocket = kNoSocket;
  }
  FBufPos = FBufLen = 0;
  FClosed = true;
  FLoggedIn = false;
}

void T_TcpIp::Send(const void* data, size_t length) {
  if (FSocket == kNoSocket) throw ETcpIpError("Not connected to " + FHostname);
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    int wait = SockWaitWritable(FSocket, FTimeout);
    if (wait == 0) throw ETcpIpError("Timed out sending to " + FHostname);
    int error = 0;
    size_t chunk = length - done;
    if (chunk > 0x10000) chunk = 0x10000;
    int n = wait < 0 ? -1 : SockSend(FSocket, p + done, static_cast<int>(chunk), &error);
    if (n < 0 && error == kSockWouldBlock) continue;
    if (n <= 0) {
      FClosed = true;
      throw ETcpIpError("Failed to send data on socket ID " + IntToStr(static_cast<int64_t>(FSocket)));
    }
    done += static_cast<size_t>(n);
  }
  Trace("Sent " + IntToStr(static_cast<int64_t>(length)) + " bytes on socket ID " +
            IntToStr(static_cast<int64_t>(FSocket)),
        2);
}

void T_TcpIp::SendCommand(const std::string& line) {
  std::string data = line + "\r\n";
  Send(data.data(), data.size());
  Trace(line, 0);
}

int T_TcpIp::Receive(void* buffer, int length) {
  if (FSocket == kNoSocket) throw ETcpIpError("Not connected to " + FHostname);
  auto start = std::chrono::steady_clock::now();
  FDataReady = false;
  for (;;) {
    int64_t left = FTimeout - MsSince(start);
    if (left <= 0) throw ETcpIpError("Timed out waiting for data from " + FHostname);
    int slice = static_cast<int>(left);
    if (FWaitForData && OnWait && slice > kWaitSliceMs) slice = kWaitSliceMs;
    int wait = SockWaitReadable(FSocket, slice);
    if (wait == 0) {
      if (FWaitForData && OnWait) OnWait();
      continue;
    }
    FDataReady = true;
    int error = 0;
    int n = wait < 0 ? -1 : SockRecv(FSocket, buffer, length, &error);
    if (n > 0) {
      Trace("Received " + IntToStr(n) + " bytes on socket ID " + IntToStr(static_cast<int64_t>(FSocket)), 2);
      return n;
    }
    if (n < 0 && error == kSockWouldBlock) continue;
    FClosed = true;
    return 0;
  }
}

std::string T_TcpIp::ReadLine() {
  std::string line;
  for (;;) {
    if (FBufPos == FBufLen) {
      FBufPos = FBufLen = 0;
      int n = Receive(FBuffer.data(), kBufferSize);
      if (n == 0) throw ETcpIpError("Connection closed by " + FHostname);
      FBufLen = static_cast<size_t>(n);
    }
    char c = FBuffer[FBufPos++];
    if (c == '\n') return line;
    if (c == '\r') continue;
    if (line.size() >= kMaxLine) throw ETcpIpError("Reply line too long from " + FHostname);
    line += c;
  }
}

void T_TcpIp::Action() {
  Login();
  FStream->Clear();
  for (;;) {
    int n = Receive(FBuffer.data(), kBufferSize);
    if (n == 0) break;
    FStream->Write(FBuffer.data(), n);
  }
  FStream->Seek(0, soBeginning);
}
