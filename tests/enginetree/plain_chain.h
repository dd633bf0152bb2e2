// The chain search written as plainly as possible: every order of the older
// trees, the visited flags kept on the trees themselves.  Far too slow for
// many trees; the yardstick the matcher's chains are held against.
#pragma once

#include <algorithm>
#include <iterator>

#include "patchfile.h"
#include "scan.h"

namespace plainchain {

inline DirectoryStream* Tree(uint32_t k) { return reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k)); }

// The file of stream that follows entry on a chain, and its similarity.
inline FileEntry* Choose(const DirectoryStream* stream, FileEntry* entry, double* best) {
  FileEntry* choice = nullptr;
  *best = 0;
  if (FileEntry* same = FindByRelativeName(stream, entry->relativePath)) {
    double s = Similarity(entry, same);
    if (s >= 0.9) {
      choice = same;
      *best = s;
    }
  }
  for (uint32_t i = 0; i < stream->Count(); ++i) {
    double s = Similarity(entry, stream->At(i));
    if (s > *best) {
      choice = stream->At(i);
      *best = s;
    }
  }
  return choice;
}

// As BestChain: fills chain from slot depth on.
inline double Search(uint32_t n, DirectoryStream* stream, FileEntry* entry, uint32_t depth, FileEntry** chain) {
  if (depth + 1 >= static_cast<uint32_t>(kChainLength)) return 0;
  double best;
  FileEntry* choice = Choose(stream, entry, &best);
  if (!choice) return 0;
  stream->visited = 1;
  bool anyLeft = false;
  double deeper = 0;
  FileEntry* kept[kChainLength] = {};
  for (uint32_t k = 0; k + 1 < n && k < DirectoryStreams.Count(); ++k) {
    if (Tree(k)->visited) continue;
    anyLeft = true;
    FileEntry* work[kChainLength] = {};
    double s = Search(n, Tree(k), choice, depth + 1, work);
    if (s > deeper) {
      deeper = s;
      std::copy(std::begin(work), std::end(work), std::begin(kept));
    }
  }
  stream->visited = 0;
  for (int j = static_cast<int>(depth) + 1; j < kChainLength; ++j) chain[j] = kept[j];
  chain[depth] = choice;
  return anyLeft ? best * deeper : best;
}

// For a file of the newest tree: its chain (slot 0 the file) and score.
inline double Best(uint32_t n, FileEntry* entry, FileEntry** chain) {
  std::fill(chain, chain + kChainLength, nullptr);
  chain[0] = entry;
  double score = 0;
  for (uint32_t k = 0; k + 1 < n; ++k) {
    FileEntry* work[kChainLength] = {entry};
    double s = Search(n, Tree(k), entry, 1, work);
    if (s > score) {
      score = s;
      std::copy(work, work + kChainLength, chain);
    }
  }
  return score;
}

}  // namespace plainchain
