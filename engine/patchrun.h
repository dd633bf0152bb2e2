// Internals shared by the patch writer's files (not for the other parts of
// the engine).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "streams.h"

// Versions of the file being written (n of WritePatchedFile).
extern uint32_t CurrentVersionCount;

// CRC-32 of size bytes, leaving out the protected range at rangeStart when
// ProtectionFound is set.
uint32_t ChecksumWithoutRange(const uint8_t* data, uint32_t size, uint32_t rangeStart);
// The CRC-32 of all of data (start 0xFFFFFFFF, no final XOR), as the scan takes it.
uint32_t WholeChecksum(const uint8_t* data, uint32_t size);

// Output name and base name for a given name and PatchType (".utp" for
// plain patches, ".exe" for executables).
void ChooseOutputNames(const std::string& given, uint32_t patchType, std::string& output, std::string& base);

// Closes the run's files and frees its buffers and streams, keeping the
// files the run has finished.
void ReleaseRunResources();

// The current pair's streams A, B1, B2, D and the chosen E variant, in that
// order; false when a write fails.
bool SavePairStreams(const StreamSink& sink, uint32_t i);
