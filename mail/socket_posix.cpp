#include "socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

// Map the few errno values callers distinguish onto the Winsock numbers the
// rest of the code speaks.
int MapError(int e) {
  if (e == EWOULDBLOCK || e == EAGAIN || e == EINPROGRESS) return kSockWouldBlock;
  if (e == ETIMEDOUT) return kSockTimedOut;
  return e;
}

int WaitFor(MailSocket s, short events, int timeoutMs) {
  pollfd p{};
  p.fd = static_cast<int>(s);
  p.events = events;
  for (;;) {
    int r = poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) return 0;
    return 1;
  }
}

}  // namespace

int SockStartup() { return 0; }

MailSocket SockOpenStream(int* error) {
  int s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s < 0) {
    if (error) *error = MapError(errno);
    return kNoSocket;
  }
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  return s;
}

void SockClose(MailSocket s) {
  if (s != kNoSocket) close(static_cast<int>(s));
}

int SockConnect(MailSocket s, uint32_t address, uint16_t port, int timeoutMs) {
  int fd = static_cast<int>(s);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  int result = 0;
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (errno != EINPROGRESS) {
      result = MapError(errno);
    } else {
      int w = WaitFor(s, POLLOUT, timeoutMs);
      if (w == 0) {
        result = kSockTimedOut;
      } else if (w < 0) {
        result = MapError(errno);
      } else {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        result = err ? MapError(err) : 0;
      }
    }
  }
  return result;
}

int SockWaitReadable(MailSocket s, int timeoutMs) { return WaitFor(s, POLLIN, timeoutMs); }
int SockWaitWritable(MailSocket s, int timeoutMs) { return WaitFor(s, POLLOUT, timeoutMs); }

int SockSend(MailSocket s, const void* data, int length, int* error) {
  for (;;) {
    ssize_t n = send(static_cast<int>(s), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && error) *error = MapError(errno);
    return n < 0 ? -1 : static_cast<int>(n);
  }
}

int SockRecv(MailSocket s, void* buffer, int length, int* error) {
  for (;;) {
    ssize_t n = recv(static_cast<int>(s), buffer, static_cast<size_t>(length), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && error) *error = MapError(errno);
    return n < 0 ? -1 : static_cast<int>(n);
  }
}

uint32_t SockParseDotted(const std::string& text) {
  in_addr a{};
  if (inet_aton(text.c_str(), &a) == 0) return kNoAddress;
  return a.s_addr;
}

uint32_t SockLookupHost(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return kNoAddress;
  uint32_t a = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(res);
  return a;
}

std::string SockLocalHostName() {
  char buf[256] = {0};
  if (gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

int SysTimeZoneBias() {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(-local.tm_gmtoff / 60);
}
