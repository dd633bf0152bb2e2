// The scripted peer behind the SMTP reply fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>

// The bytes the server sends, and the seed of the sizes it sends them in.
void FuzzPeerStart(const uint8_t* data, size_t size, uint32_t pieceSeed);
size_t FuzzPeerBytesSent();
