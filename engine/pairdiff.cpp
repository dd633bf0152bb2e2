// One version pair: load, find differences, encode, and the pair's streams.
#include "finder.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "patchrun.h"

void DiffPair(uint32_t i) {
  // The encoder stage joins here once it exists; until then no pair can be
  // written, and saying so beats writing an entry without streams.
  (void)i;
  EngineFatalError("Internal filehandling failure?!");
}

bool SavePairStreams(FILE* file) {
  (void)file;
  return false;
}

void ClearStreams() { ClearFinderLists(); }
