// Host and text helpers shared by the mail classes: name resolution, own
// host name and address, RFC 822 dates, quoted-printable and base64, and
// picking mail addresses out of display texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TStringList;

// True once the socket library has started (it starts with the program).
extern bool tcpip_ready;

// IPv4 address in network order; 0xFFFFFFFF when the name is unknown.
uint32_t ResolveHost(const std::string& name);
std::string OwnHostName();
uint32_t OwnAddress();
// Dotted decimal, most significant byte first.
std::string AddressText(uint32_t address);

// The zone of a bias in minutes (UTC = local + bias): "GMT", "+0100", "-0530".
std::string ZoneText(int bias);
// The zone of the system's current bias.
std::string ZoneText();
// "Tue, 8 Dec 2026 21:06:15 +0100" for a local date-time value (days since
// 1899-12-30 with the fraction of the day).
std::string Rfc822Date(double time, int bias);
std::string Rfc822Date(double time);

// Whole seconds from 1970-01-01 to a local date-time value.
int64_t SecondsSince1970(double time);

// One text line in quoted-printable form. Lines of more than 76 characters
// get soft line breaks ("=" CR LF) so every output line stays short.
std::string QuotedPrintable(const std::string& text);
// The whole stream from its start, 45 bytes to a line of 60 characters,
// appended to lines.
void Base64Stream(TStream* stream, TStringList* lines);
// Base64 of one block of bytes, padded with "=".
std::string Base64Encode(const void* data, size_t length);

// 1-based position of the n-th occurrence of sub in text, counted from the
// end when n < 0; 0 when there are fewer or n = 0.
int PosN(const std::string& sub, const std::string& text, int n);
// The mail address around the n-th at sign of a display text such as
// "Jo Bloggs <jo@example.org>", bare; "" when there is no n-th at sign.
std::string ExtractAddress(const std::string& text, int n);
// The addresses of a recipient text fit for the envelope: addresses inside
// comments "(...)" or quoted names are names, not recipients, unless the
// text holds no other address.
std::vector<std::string> EnvelopeAddresses(const std::string& text);

// A header value or address with its line breaks removed, so that values
// from settings cannot add header lines or commands of their own.
std::string OneLine(const std::string& text);
