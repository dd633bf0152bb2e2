#include "socket.h"

#include <winsock.h>

namespace {

int WaitFor(MailSocket s, bool forWrite, int timeoutMs) {
  SOCKET so = static_cast<SOCKET>(s);
  fd_set main, fail;
  FD_ZERO(&main);
  FD_ZERO(&fail);
  FD_SET(so, &main);
  FD_SET(so, &fail);
  timeval tv;
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  // Winsock reports a failed non-blocking connect in the exception set.
  int r = forWrite ? select(0, nullptr, &main, &fail, &tv) : select(0, &main, nullptr, &fail, &tv);
  if (r == SOCKET_ERROR) return -1;
  if (r == 0) return 0;
  return 1;
}

}  // namespace

int SockStartup() {
  static int result = -1;
  if (result == -1) {
    WSADATA data;
    result = WSAStartup(MAKEWORD(1, 1), &data);
  }
  return result;
}

MailSocket SockOpenStream(int* error) {
  SockStartup();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    if (error) *error = WSAGetLastError();
    return kNoSocket;
  }
  return static_cast<MailSocket>(s);
}

void SockClose(MailSocket s) {
  if (s != kNoSocket) closesocket(static_cast<SOCKET>(s));
}

int SockConnect(MailSocket s, uint32_t address, uint16_t port, int timeoutMs) {
  SOCKET so = static_cast<SOCKET>(s);
  u_long nonBlocking = 1;
  ioctlsocket(so, FIONBIO, &nonBlocking);
  sockaddr_in sa;
  ZeroMemory(&sa, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  int result = 0;
  if (connect(so, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
    int e = WSAGetLastError();
    if (e != WSAEWOULDBLOCK) {
      result = e;
    } else {
      fd_set writable, fail;
      FD_ZERO(&writable);
      FD_ZERO(&fail);
      FD_SET(so, &writable);
      FD_SET(so, &fail);
      timeval tv;
      tv.tv_sec = timeoutMs / 1000;
      tv.tv_usec = (timeoutMs % 1000) * 1000;
      int r = select(0, nullptr, &writable, &fail, &tv);
      if (r == 0) {
        result = kSockTimedOut;
      } else if (r == SOCKET_ERROR) {
        result = WSAGetLastError();
      } else if (FD_ISSET(so, &fail)) {
        int err = 0;
        int len = sizeof err;
        getsockopt(so, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
        result = err ? err : WSAECONNREFUSED;
      }
    }
  }
  return result;
}

int SockWaitReadable(MailSocket s, int timeoutMs) { return WaitFor(s, false, timeoutMs); }
int SockWaitWritable(MailSocket s, int timeoutMs) { return WaitFor(s, true, timeoutMs); }

int SockSend(MailSocket s, const void* data, int length, int* error) {
  int n = send(static_cast<SOCKET>(s), static_cast<const char*>(data), length, 0);
  if (n == SOCKET_ERROR) {
    if (error) *error = WSAGetLastError();
    return -1;
  }
  return n;
}

int SockRecv(MailSocket s, void* buffer, int length, int* error) {
  int n = recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), length, 0);
  if (n == SOCKET_ERROR) {
    if (error) *error = WSAGetLastError();
    return -1;
  }
  return n;
}

uint32_t SockParseDotted(const std::string& text) {
  SockStartup();
  unsigned long a = inet_addr(text.c_str());
  if (a == INADDR_NONE) return kNoAddress;
  return static_cast<uint32_t>(a);
}

uint32_t SockLookupHost(const std::string& name) {
  SockStartup();
  hostent* h = gethostbyname(name.c_str());
  if (!h || h->h_addrtype != AF_INET || !h->h_addr_list || !h->h_addr_list[0]) return kNoAddress;
  uint32_t a;
  CopyMemory(&a, h->h_addr_list[0], sizeof a);
  return a;
}

std::string SockLocalHostName() {
  SockStartup();
  char buf[256] = {0};
  if (gethostname(buf, sizeof buf - 1) == SOCKET_ERROR) return "";
  return buf;
}

int SysTimeZoneBias() {
  TIME_ZONE_INFORMATION tz;
  DWORD kind = GetTimeZoneInformation(&tz);
  int bias = static_cast<int>(tz.Bias);
  if (kind == TIME_ZONE_ID_DAYLIGHT) bias += static_cast<int>(tz.DaylightBias);
  else if (kind == TIME_ZONE_ID_STANDARD) bias += static_cast<int>(tz.StandardBias);
  return bias;
}
