// The Warp stages: the optimiser lets copies run on for a chosen number of
// difference-coded bytes, the encoder turns the records into the streams
// that the patch writer saves.
#pragma once

#include <cstdint>

#include "finder.h"
#include "streams.h"

// Saved streams of the current pair (cleared per pair by ClearStreams).
extern ByteStream WarpA;       // number bytes and one extension length per group
extern BitStream WarpB1;       // literal segment kinds, large-number size bits
extern BitStream WarpB2;       // sign bits, the "at least 256" bits
extern ByteStream WarpD;       // literal bytes, raw or differences
extern ByteStream WarpE;       // extension bytes as differences from the old file
extern ByteStream WarpERaw;    // the same extension bytes raw
// Working data: the extension length chosen for each group, and the
// optimised record list.
extern ByteStream WarpX;
extern RecordList OptimisedRecords;

// Optimise, then Encode. secondOrLater: the pair is not the first of the file.
void RunWarp(bool secondOrLater);

void Optimise();
void Encode();
void EncodeNumber(int64_t value, bool withSign);
// Extension length for the group starting at the copy with record index
// `index` of FinderRecords, whose first byte lies at `newPosition`.
uint32_t ChooseExtension(uint32_t index, uint32_t newPosition);

// Clears all Warp streams and the optimised list (ClearStreams).
void ClearWarpStreams();
