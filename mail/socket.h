// The few socket and clock services the mail classes need, with a Winsock
// half (socket_win32.cpp) and a BSD-socket half (socket_posix.cpp).
// Addresses are IPv4 in network byte order, held in a uint32_t exactly as
// the socket calls take them.
#pragma once

#include <cstdint>
#include <string>

typedef intptr_t MailSocket;
const MailSocket kNoSocket = -1;
const uint32_t kNoAddress = 0xFFFFFFFFu;

// Platform error codes the callers test for.
const int kSockWouldBlock = 10035;
const int kSockTimedOut = 10060;

// Starts the socket library once; returns 0 or the start-up error code.
int SockStartup();

// A new IPv4 stream socket, or kNoSocket (the error code in *error).
MailSocket SockOpenStream(int* error);
void SockClose(MailSocket s);
// Connects within timeoutMs; returns 0 or an error code (kSockTimedOut).
// The socket stays non-blocking, so that a peer that stops reading cannot
// hold a send beyond the time-out: wait with SockWait* before each call.
int SockConnect(MailSocket s, uint32_t address, uint16_t port, int timeoutMs);

// Waits until the socket can be read (or written) or timeoutMs passes.
// Returns 1 ready, 0 time-out, -1 error.
int SockWaitReadable(MailSocket s, int timeoutMs);
int SockWaitWritable(MailSocket s, int timeoutMs);
// One send / recv call on a ready socket: bytes moved, 0 for an orderly
// close (recv), -1 on error with the code in *error.
int SockSend(MailSocket s, const void* data, int length, int* error);
int SockRecv(MailSocket s, void* buffer, int length, int* error);

// Dotted text to address, kNoAddress when it is not one.
uint32_t SockParseDotted(const std::string& text);
// Name look-up; kNoAddress when it fails.
uint32_t SockLookupHost(const std::string& name);
// The local host name, "" when it cannot be read.
std::string SockLocalHostName();

// Minutes to add to local time to get UTC, as the system reports it now.
int SysTimeZoneBias();
