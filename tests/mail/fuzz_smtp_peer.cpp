// The socket calls of the mail classes answered by a scripted peer instead
// of the network: the fuzzer's bytes are all the server ever says, handed
// out in pieces of changing size, and the connection closes when they run
// out.  Sending succeeds until then and fails after.
#include <cstring>

#include "fuzz_smtp_peer.h"
#include "socket.h"

namespace {

const uint8_t* peerData = nullptr;
size_t peerSize = 0;
size_t peerPos = 0;
uint32_t pieceState = 0;
bool peerClosed = false;
size_t bytesSent = 0;

}  // namespace

void FuzzPeerStart(const uint8_t* data, size_t size, uint32_t pieceSeed) {
  peerData = data;
  peerSize = size;
  peerPos = 0;
  pieceState = pieceSeed | 1;
  peerClosed = false;
  bytesSent = 0;
}

size_t FuzzPeerBytesSent() { return bytesSent; }

int SockStartup() { return 0; }
MailSocket SockOpenStream(int*) { return 7; }
void SockClose(MailSocket) {}
int SockConnect(MailSocket, uint32_t, uint16_t, int) { return 0; }
int SockWaitReadable(MailSocket, int) { return 1; }
int SockWaitWritable(MailSocket, int) { return 1; }

int SockSend(MailSocket, const void*, int length, int* error) {
  if (peerClosed) {
    *error = 10054;
    return -1;
  }
  bytesSent += static_cast<size_t>(length);
  return length;
}

int SockRecv(MailSocket, void* buffer, int length, int*) {
  if (peerPos >= peerSize) {
    peerClosed = true;
    return 0;
  }
  // Pieces of 1 to 64 bytes, now and then a large one: replies split at
  // every place, and lines longer than the reader's buffer.
  pieceState = pieceState * 1103515245u + 12345u;
  size_t piece = (pieceState >> 16) % 8 == 0 ? 40000 : 1 + (pieceState >> 16) % 64;
  if (piece > static_cast<size_t>(length)) piece = static_cast<size_t>(length);
  if (piece > peerSize - peerPos) piece = peerSize - peerPos;
  std::memcpy(buffer, peerData + peerPos, piece);
  peerPos += piece;
  return static_cast<int>(piece);
}

uint32_t SockParseDotted(const std::string& text) { return text == "127.0.0.1" ? 0x0100007Fu : kNoAddress; }
uint32_t SockLookupHost(const std::string&) { return 0x0100007Fu; }
std::string SockLocalHostName() { return "fuzzhost"; }
int SysTimeZoneBias() { return 0; }
