// Runs the finder and the Warp stages on one pair held in memory (or on two
// scratch files for the disk variant), the way the patch writer does, and
// hands the streams to the test applier's pair decoder.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "applier.h"
#include "finder.h"

struct EncodedPair {
  testapply::OldVersion version;  // record fields and streams (point into the vectors below)
  std::vector<uint8_t> a, b1, b2, d, e;
  std::vector<PatchRecord> records;  // the finder's records
  uint32_t boundHits = 0;
};

// Encodes old -> new with the current option variables. With a protected
// range, rangeOld/rangeNew/rangeLength describe it.
void EncodePair(const std::vector<uint8_t>& oldData, const std::vector<uint8_t>& newData, EncodedPair* out,
                bool ranged = false, uint32_t rangeOld = 0, uint32_t rangeNew = 0, uint32_t rangeLength = 0);

// Encodes and decodes; empty string on success, else what went wrong.
std::string RoundTrip(const std::vector<uint8_t>& oldData, const std::vector<uint8_t>& newData,
                      EncodedPair* pair = nullptr);

// The finder's records must describe newData exactly.
std::string CheckCover(const std::vector<PatchRecord>& records, const std::vector<uint8_t>& oldData,
                       const std::vector<uint8_t>& newData);

// Generated data.
std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n);
std::vector<uint8_t> TextLike(std::mt19937& rng, size_t n);
// Code-like data: instructions with 32-bit absolute addresses.
std::vector<uint8_t> CodeLike(std::mt19937& rng, size_t n);
// Small edits, inserted/deleted/moved blocks; addresses shifted in code.
std::vector<uint8_t> Mutate(std::mt19937& rng, const std::vector<uint8_t>& in, int edits);
std::vector<uint8_t> ShiftAddresses(const std::vector<uint8_t>& in, uint32_t delta);

// Engine options back to their reset values, buffers allocated.
void ResetEngineForTest();
