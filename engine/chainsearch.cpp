// The matcher's chain search: for a file of the newest tree, the chain of
// older versions, one per older tree, whose product of similarities is the
// largest.
#include <algorithm>
#include <atomic>
#include <bitset>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "options.h"
#include "patchfile.h"
#include "scan.h"
#include "workers.h"

namespace {

// The plain search tries every order of the older trees, which grows with the
// factorial of their number; a program that offers twenty versions needs
// something better that still finds the very same chains, ties included.
//
// - What the search finds from a chosen file depends only on that file and
//   the set of trees already on the chain, so each such state is worked out
//   once.  A state keeps only its score and the tree its best continuation
//   enters; chains are rebuilt by following those links.
// - A chain that scores at all passes through every remaining tree, entering
//   each one from the current file or from a file of another remaining tree.
//   The product of the best such entries bounds what a branch can reach, and
//   a branch whose bound cannot beat the best chain found so far (or tie it
//   from an earlier tree, which would win the tie) is not explored.  The bar
//   is handed down, so a state explored under a bar that nothing cleared is
//   remembered only as "at most the bar" and explored again if a lower bar
//   asks for it.  The entries counted are those of the files a chain from
//   the state can still reach, and two more bounds rule states out: a chain
//   is a tree spanning the file and the trees left, and where those are many,
//   each tree is left at most once (an assignment problem).
// - Before the search, a good chain is guessed cheaply (the most similar
//   step each time, the trees newest and oldest first, each improved by
//   moving trees about), and the bar starts just below its score: the
//   search then only has to prove that nothing beats it, or find what does.
//   Where the search runs out of states the guess is the answer, so it gets
//   more starts then (orders built one tree at a time, the best ends of a
//   breadth-first search) and the chain the search found is improved too.
// - Guesses are compared as the plain search settles ties: at the first
//   place two orders part, the larger rest of the product, then the
//   earlier tree.  Comparing whole products alone keeps whichever of two
//   equal chains was met first, which need not be the one the plain search
//   keeps.
// - Unchanged versions make many orders score exactly alike.  Trees that
//   offer every reachable file equal choices are interchangeable, and only
//   the earliest of them still remaining is tried: it would win the tie.
//
// Products are rounded, so every bound gets a margin far above the rounding
// of twenty multiplications; a margin only costs a little pruning.
constexpr double kRelativeMargin = 1e-12;
constexpr double kAbsoluteMargin = 1e-300;  // subnormal products round coarser
// Trees beyond the chain buffers can never all be on a chain.
constexpr uint32_t kMaxSearchTrees = 64;
// Remembered choices are dropped between files of the newest tree once there
// are this many (about 50 MB, shared out among the threads that search), so
// that a large run stays within a 32-bit address space.
constexpr size_t kMemoLimit = size_t(1) << 20;
constexpr size_t kChoiceLimit = size_t(1) << 21;
// The one departure from the plain search, a bound on the work for one file
// of the newest tree: at most this many states are explored (a few
// microseconds each, so about a millisecond).  Finding the best order is as
// hard as the travelling salesman's tour, so no bound that keeps twenty
// versions fast can always prove the best chain.  Once the states are spent
// the better of the guessed chain and the best one found is taken, which
// need not be the best there is but seldom falls short of it (by parts in a
// million of the score where it does: on generated trees of twelve to
// sixteen versions about one file in 1,300).  Up to about ten versions the
// search nearly always finishes within it; beyond that the guess carries it.
constexpr size_t kStateBudget = 300;
// Far above the rounding of a similarity, far below any difference between
// two files that the matcher could act on.
constexpr double kSimilarityMargin = 1e-9;
// The breadth-first guess keeps this many chains per round, and the best
// few of them are improved further.
constexpr size_t kBeam = 64;
constexpr size_t kBeamEnds = 2;
// Orders built one tree at a time start from this many first trees.
constexpr size_t kPilotFirsts = 2;

struct Choice {
  int32_t file = -2;  // -2: not computed yet; -1: nothing in the tree is similar
  double similarity = 0;
  double cost = 0;  // -log(similarity), the step's cost in the assignment bound
};

struct MemoSlot {
  uint64_t visited = 0;
  uint32_t file = 0;  // file id + 1; 0 marks a free slot
  int16_t next = -1;  // tree the best continuation enters; -1: none scores
  bool exact = false;  // false: value is only an upper bound
  double value = 0;
};

// Open addressing: states are looked up far more often than added, and a
// node-based map would cost an allocation per state.
class StateMemo {
 public:
  MemoSlot* Find(uint32_t file, uint64_t visited) {
    if (slots_.empty()) return nullptr;
    for (size_t i = Hash(file, visited) & mask_;; i = (i + 1) & mask_) {
      MemoSlot& s = slots_[i];
      if (s.file == 0) return nullptr;
      if (s.file == file + 1 && s.visited == visited) return &s;
    }
  }
  // The state must not be present.  Invalidates earlier pointers.
  MemoSlot& Insert(uint32_t file, uint64_t visited) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    size_t i = Hash(file, visited) & mask_;
    while (slots_[i].file != 0) i = (i + 1) & mask_;
    slots_[i].file = file + 1;
    slots_[i].visited = visited;
    ++used_;
    return slots_[i];
  }
  size_t Size() const { return used_; }
  void Clear() {
    std::vector<MemoSlot>().swap(slots_);
    used_ = 0;
    mask_ = 0;
  }

 private:
  static size_t Hash(uint32_t file, uint64_t visited) {
    uint64_t h = (visited ^ (uint64_t(file) << 32) ^ file) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 31));
  }
  void Grow() {
    std::vector<MemoSlot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, MemoSlot());
    mask_ = slots_.size() - 1;
    used_ = 0;
    for (const MemoSlot& s : old)
      if (s.file) Insert(s.file - 1, s.visited) = s;
  }

  std::vector<MemoSlot> slots_;
  size_t mask_ = 0;
  size_t used_ = 0;
};

uint64_t Bit(int tree) { return uint64_t(1) << tree; }

// A cost that no real assignment reaches: -log of the smallest double is
// about 745, and a chain has fewer than 30 steps.
constexpr double kForbidden = 1e9;

// The least total cost of giving each row its own column (square matrix,
// row-major, size at most kMaxSearchTrees + 1): the classic potentials
// method, O(size^3).
double LeastAssignment(int size, const double* cost) {
  constexpr int kMax = static_cast<int>(kMaxSearchTrees) + 2;
  double u[kMax] = {}, v[kMax] = {}, least[kMax];
  int match[kMax] = {}, way[kMax] = {};
  bool used[kMax];
  for (int row = 1; row <= size; ++row) {
    match[0] = row;
    int col0 = 0;
    for (int j = 0; j <= size; ++j) {
      least[j] = HUGE_VAL;
      used[j] = false;
    }
    do {
      used[col0] = true;
      const int row0 = match[col0];
      double delta = HUGE_VAL;
      int col1 = 0;
      for (int j = 1; j <= size; ++j) {
        if (used[j]) continue;
        const double reduced = cost[(row0 - 1) * size + (j - 1)] - u[row0] - v[j];
        if (reduced < least[j]) {
          least[j] = reduced;
          way[j] = col0;
        }
        if (least[j] < delta) {
          delta = least[j];
          col1 = j;
        }
      }
      for (int j = 0; j <= size; ++j) {
        if (used[j]) {
          u[match[j]] += delta;
          v[j] -= delta;
        } else {
          least[j] -= delta;
        }
      }
      col0 = col1;
    } while (match[col0] != 0);
    do {
      const int col1 = way[col0];
      match[col0] = match[col1];
      col0 = col1;
    } while (col0 != 0);
  }
  double total = 0;
  for (int j = 1; j <= size; ++j) total += cost[(match[j] - 1) * size + (j - 1)];
  return total;
}

}  // namespace

// Keeps what it learns about the trees for as long as they stay unchanged:
// the choice each tree offers for a file and the states of the search.
class ChainSearch {
 public:
  // Trees are DirectoryStreams (the first n - 1 are the older ones) and, for
  // a search started in a tree outside that list, that tree.
  ChainSearch(uint32_t n, DirectoryStream* extraTree) : n_(n) {
    for (uint32_t k = 0; k < DirectoryStreams.Count(); ++k)
      AddTree(reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k)));
    if (extraTree && TreeIndex(extraTree) < 0) AddTree(extraTree);
    older_ = n > 0 ? std::min(n - 1, DirectoryStreams.Count()) : 0;
    allOlder_ = older_ >= 64 ? ~uint64_t(0) : Bit(static_cast<int>(older_)) - 1;
  }

  uint32_t N() const { return n_; }
  uint32_t Older() const { return older_; }
  uint64_t AllOlder() const { return allOlder_; }
  bool OlderTree(int k) const { return k >= 0 && static_cast<uint32_t>(k) < older_; }
  FileEntry* File(uint32_t id) const { return files_[id]; }

  int TreeIndex(const DirectoryStream* s) const {
    for (size_t k = 0; k < trees_.size(); ++k)
      if (trees_[k] == s) return static_cast<int>(k);
    return -1;
  }

  // The visited flags of the older trees.
  uint64_t VisitedMask() const {
    uint64_t mask = 0;
    for (uint32_t k = 0; k < older_; ++k)
      if (trees_[k]->visited) mask |= Bit(static_cast<int>(k));
    return mask;
  }

  uint32_t IdOf(FileEntry* e) {
    auto known = ids_.find(e);
    if (known != ids_.end()) return known->second;
    return AddFile(e, -1);
  }

  Choice ChoiceIn(int tree, uint32_t file) {
    std::vector<Choice>& row = choices_[file];
    if (row.empty()) {
      row.assign(trees_.size(), Choice());
      choiceCount_ += row.size();
    }
    if (row[tree].file != -2) return row[tree];
    FileEntry* entry = files_[file];
    const DirectoryStream* stream = trees_[tree];
    Choice c;
    c.file = -1;
    int32_t named = NamedIndex(tree, entry->relativePath);
    if (named >= 0) {
      double s = Similarity(entry, stream->At(static_cast<uint32_t>(named)));
      if (s >= 0.9) {
        c.file = static_cast<int32_t>(firstId_[tree]) + named;
        c.similarity = s;
      }
    }
    const Probes& probes = ProbesOf(tree);
    double wanted[kProbes];
    for (int j = 0; j < kProbes; ++j) wanted[j] = entry->frequencies[probes.values[j]];
    const uint32_t count = stream->Count();
    if (c.file < 0 && count > 1) {
      // Without a match by name the best so far starts low and lets nearly
      // every file through; the file nearest on the probes is most likely
      // the best, and once its similarity is known only files at least as
      // similar need comparing (the first of equals still wins). The margin
      // covers rounding that may differ between two computations of one
      // similarity.
      double s = Similarity(entry, stream->At(Nearest(probes, wanted)));
      c.similarity = std::max(0.0, s - kSimilarityMargin);
    }
    for (uint32_t i : Candidates(probes, wanted, c.similarity)) {
      // The probes' terms bound the sum of squares from below (and bound it
      // no less than any one of them): where they rule the file out (by
      // more than any rounding), it need not be read.
      const double* f = &probes.frequencies[size_t(i) * kProbes];
      const bool out = 1.0 - ProbeDistance(wanted, f) + kSimilarityMargin <= c.similarity;
      double s;
      if (!out && SimilarityAbove(entry, stream->At(i), c.similarity, &s)) {
        c.file = static_cast<int32_t>(firstId_[tree] + i);
        c.similarity = s;
      }
    }
    if (c.file < 0) c.similarity = 0;
    c.cost = c.file >= 0 ? -std::log(c.similarity) : kForbidden;
    row[tree] = c;
    return c;
  }

  // Sets up a search from this file: which older trees are interchangeable
  // for every file reachable from here.
  void Prepare(uint32_t from) {
    if (stamps_.size() < files_.size()) stamps_.resize(files_.size(), 0);
    ++stamp_;
    std::vector<uint32_t> reach{from};
    stamps_[from] = stamp_;
    // With one older tree nothing below depends on the files beyond the
    // first step, and finding their own choices would compare each with
    // its whole tree.
    const size_t explored = older_ > 1 ? SIZE_MAX : 1;
    // The steps between reachable files, side by side: walks of the guess
    // read them by the thousand.
    if (placeOf_.size() < files_.size()) placeOf_.resize(files_.size(), 0);
    placeOf_[from] = 0;
    steps_.clear();
    for (size_t r = 0; r < reach.size() && r < explored; ++r)
      for (uint32_t j = 0; j < older_; ++j) {
        Choice c = ChoiceIn(static_cast<int>(j), reach[r]);
        if (c.file >= 0 && stamps_[static_cast<uint32_t>(c.file)] != stamp_) {
          stamps_[static_cast<uint32_t>(c.file)] = stamp_;
          placeOf_[static_cast<uint32_t>(c.file)] = static_cast<uint32_t>(reach.size());
          reach.push_back(static_cast<uint32_t>(c.file));
        }
        steps_.push_back({c.file >= 0 ? static_cast<int32_t>(placeOf_[static_cast<uint32_t>(c.file)]) : -1,
                          c.file >= 0 ? static_cast<uint32_t>(c.file) : 0, c.similarity});
      }
    stepsReady_ = older_ > 1;
    // Trees that offer every reachable file an equal choice (of equal name
    // and content, with equal similarity) are interchangeable: swapping them
    // on any chain gives exactly the same product.  Of such trees only the
    // earliest still remaining needs trying, as it wins the tie.
    // The swap also needs each reachable file to choose itself (or its
    // equal) in its own tree, which fails only for names that a tree holds
    // twice in different case.
    bool choosesItself[kMaxSearchTrees];
    std::fill(choosesItself, choosesItself + older_, true);
    for (uint32_t x : reach) {
      const int own = treeOf_[x];
      if (!OlderTree(own)) continue;
      Choice c = ChoiceIn(own, x);
      if (c.file < 0 || c.similarity != 1.0 || Same(static_cast<uint32_t>(c.file)) != Same(x))
        choosesItself[own] = false;
    }
    for (uint32_t k = 0; k < older_; ++k) {
      earlierTwins_[k] = 0;
      for (uint32_t a = 0; a < k && choosesItself[k]; ++a) {
        if (!choosesItself[a]) continue;
        bool twins = true;
        for (size_t r = 0; r < reach.size() && twins; ++r) {
          Choice ca = ChoiceIn(static_cast<int>(a), reach[r]), ck = ChoiceIn(static_cast<int>(k), reach[r]);
          twins = ca.file < 0 ? ck.file < 0
                              : ck.file >= 0 && ca.similarity == ck.similarity &&
                                    Same(static_cast<uint32_t>(ca.file)) == Same(static_cast<uint32_t>(ck.file));
        }
        if (twins) earlierTwins_[k] |= Bit(static_cast<int>(a));
      }
    }
  }

  // The best product of similarities over the older trees not yet visited,
  // starting from a file (0 when no chain through all of them exists).
  // Exact when above bar; otherwise *exact is false and the best is known
  // only to be at most bar.
  double Continue(uint32_t from, uint64_t visited, double bar, bool* exact) {
    const uint64_t remaining = allOlder_ & ~visited;
    if (!remaining) {
      *exact = true;
      return 1.0;
    }
    if (const MemoSlot* s = memo_.Find(Same(from), visited)) {
      if (s->exact || s->value <= bar) {
        *exact = s->exact;
        return s->value;
      }
    }

    if (spent_ >= budget_) {
      // Not remembered: "at most bar" is a guess from here on.
      cut_ = true;
      *exact = false;
      return bar;
    }
    ++spent_;
    LocalEntering(from, remaining);
    if (bar > 0 && !Reachable(from, remaining, bar)) return Below(from, visited, bar, exact);
    // Best and second best entry into each remaining tree from another one,
    // so that leaving out the tree a branch enters first costs nothing.
    double in1[kMaxSearchTrees], in2[kMaxSearchTrees];
    int source[kMaxSearchTrees];
    for (uint32_t j = 0; j < older_; ++j) {
      if (!(remaining & Bit(static_cast<int>(j)))) continue;
      in1[j] = in2[j] = 0;
      source[j] = -1;
      for (uint32_t i = 0; i < older_; ++i) {
        if (i == j || !(remaining & Bit(static_cast<int>(i)))) continue;
        double p = local_[j * older_ + i];
        if (p > in1[j]) {
          in2[j] = in1[j];
          in1[j] = p;
          source[j] = static_cast<int>(i);
        } else if (p > in2[j]) {
          in2[j] = p;
        }
      }
    }

    struct Branch {
      int tree;
      uint32_t file;
      double similarity;
      double bound;
    };
    Branch branches[kMaxSearchTrees];
    int count = 0;
    for (uint32_t k = 0; k < older_; ++k) {
      if (!(remaining & Bit(static_cast<int>(k)))) continue;
      if (remaining & earlierTwins_[k]) continue;  // an earlier twin ties and wins
      Choice c = ChoiceIn(static_cast<int>(k), from);
      if (c.file < 0) continue;  // scores 0, which never wins
      const uint64_t rest = remaining & ~Bit(static_cast<int>(k));
      double bound = c.similarity;
      if (rest) {
        double product = c.similarity;
        for (uint32_t j = 0; j < older_ && product > 0; ++j) {
          if (!(rest & Bit(static_cast<int>(j)))) continue;
          double in = source[j] == static_cast<int>(k) ? in2[j] : in1[j];
          Choice next = ChoiceIn(static_cast<int>(j), static_cast<uint32_t>(c.file));
          if (next.file >= 0) in = std::max(in, next.similarity);
          if (in == 0) product = 0;  // a tree nothing enters: no chain at all
          product *= in;
        }
        bound = product == 0 ? 0 : std::min(bound, product * (1 + kRelativeMargin) + kAbsoluteMargin);
      }
      branches[count++] = {static_cast<int>(k), static_cast<uint32_t>(c.file), c.similarity, bound};
    }
    // Most promising first; the result does not depend on the order because
    // ties are settled by tree index below.
    std::sort(branches, branches + count, [](const Branch& a, const Branch& b) {
      return a.bound != b.bound ? a.bound > b.bound : a.tree < b.tree;
    });

    double best = 0;
    int bestTree = -1;
    for (int b = 0; b < count; ++b) {
      const Branch& branch = branches[b];
      const double need = std::max(bar, best);
      if (branch.bound < need) break;  // sorted: none after it gets there either
      // Reaching exactly the bar helps only to win a tie from an earlier tree.
      if (branch.bound == need && (best <= bar || branch.tree > bestTree)) continue;
      double s;
      const uint64_t rest = remaining & ~Bit(branch.tree);
      if (!rest) {
        s = branch.similarity;
      } else {
        bool known;
        double v = Continue(branch.file, visited | Bit(branch.tree), BarBelow(need, branch.similarity), &known);
        if (!known) continue;  // stays below need
        s = branch.similarity * v;
      }
      if (s > best || (s == best && s > 0 && branch.tree < bestTree)) {
        best = s;
        bestTree = branch.tree;
      }
    }

    MemoSlot* slot = memo_.Find(Same(from), visited);
    if (!slot) slot = &memo_.Insert(Same(from), visited);
    slot->exact = best > bar;
    slot->value = slot->exact ? best : bar;
    slot->next = static_cast<int16_t>(slot->exact ? bestTree : -1);
    *exact = slot->exact;
    return slot->value;
  }

  // The best entry into each remaining tree from each other one, over the
  // files that a chain from this file can still reach: only the remaining
  // trees lead on, so this is often far less than what the search's first
  // file reaches (files left unchanged in two versions enter one from the
  // other at 1, which says nothing about a chain that never meets them).
  void LocalEntering(uint32_t from, uint64_t remaining) {
    local_.assign(size_t(older_) * older_, 0.0);
    localCost_.assign(local_.size(), kForbidden);
    if (localStamps_.size() < files_.size()) localStamps_.resize(files_.size(), 0);
    ++localStamp_;
    reachBuffer_.clear();
    for (uint32_t j = 0; j < older_; ++j) {
      if (!(remaining & Bit(static_cast<int>(j)))) continue;
      const Choice c = ChoiceIn(static_cast<int>(j), from);
      if (c.file >= 0 && localStamps_[static_cast<uint32_t>(c.file)] != localStamp_) {
        localStamps_[static_cast<uint32_t>(c.file)] = localStamp_;
        reachBuffer_.push_back(static_cast<uint32_t>(c.file));
      }
    }
    for (size_t r = 0; r < reachBuffer_.size(); ++r) {
      const uint32_t x = reachBuffer_[r];
      const uint32_t i = static_cast<uint32_t>(treeOf_[x]);
      for (uint32_t j = 0; j < older_; ++j) {
        if (j == i || !(remaining & Bit(static_cast<int>(j)))) continue;
        const Choice c = ChoiceIn(static_cast<int>(j), x);
        if (c.file < 0) continue;
        double& e = local_[j * older_ + i];
        if (c.similarity > e) {
          e = c.similarity;
          localCost_[j * older_ + i] = c.cost;
        }
        if (localStamps_[static_cast<uint32_t>(c.file)] != localStamp_) {
          localStamps_[static_cast<uint32_t>(c.file)] = localStamp_;
          reachBuffer_.push_back(static_cast<uint32_t>(c.file));
        }
      }
    }
  }

  // False when no chain from this file through the remaining trees can
  // score above bar.  Each remaining tree is entered once, from the file or
  // from another remaining tree, and each of those is left at most once: the
  // best such assignment (in -log terms the least cost) bounds every chain.
  bool Reachable(uint32_t from, uint64_t remaining, double bar) {
    int trees[kMaxSearchTrees];
    int count = 0;
    for (uint32_t j = 0; j < older_; ++j)
      if (remaining & Bit(static_cast<int>(j))) trees[count++] = static_cast<int>(j);
    if (count < 3) return true;  // small searches cost less than the bound
    // A chain is also a tree spanning the file and the remaining trees, its
    // steps no better than the best step either way between two trees: the
    // spanning tree of the least cost bounds it too, often far closer.
    {
      double least[kMaxSearchTrees];
      bool in[kMaxSearchTrees] = {};
      for (int c = 0; c < count; ++c) least[c] = ChoiceIn(trees[c], from).cost;
      double total = 0;
      for (int added = 0; added < count; ++added) {
        int pick = -1;
        for (int c = 0; c < count; ++c)
          if (!in[c] && (pick < 0 || least[c] < least[pick])) pick = c;
        total += least[pick];
        if (total >= kForbidden) return false;
        in[pick] = true;
        const uint32_t p = static_cast<uint32_t>(trees[pick]);
        for (int c = 0; c < count; ++c) {
          if (in[c]) continue;
          const uint32_t q = static_cast<uint32_t>(trees[c]);
          least[c] = std::min(least[c], std::min(localCost_[q * older_ + p], localCost_[p * older_ + q]));
        }
      }
      if (std::exp(-total) * (1 + kRelativeMargin) + kAbsoluteMargin <= bar) return false;
    }
    if (count < 8) return true;
    // Rows: the file, then the remaining trees; columns: the remaining trees,
    // then "last on the chain".
    const int size = count + 1;
    double cost[(kMaxSearchTrees + 1) * (kMaxSearchTrees + 1)];
    for (int c = 0; c < count; ++c) cost[c] = ChoiceIn(trees[c], from).cost;
    cost[count] = kForbidden;  // the file cannot be last: trees remain
    for (int r = 0; r < count; ++r) {
      double* row = cost + (r + 1) * size;
      for (int c = 0; c < count; ++c)
        row[c] = r == c ? kForbidden
                        : localCost_[static_cast<uint32_t>(trees[c]) * older_ + static_cast<uint32_t>(trees[r])];
      row[count] = 0;
    }
    const double least = LeastAssignment(size, cost);
    if (least >= kForbidden) return false;  // some tree cannot be entered at all
    return std::exp(-least) * (1 + kRelativeMargin) + kAbsoluteMargin > bar;
  }

  // Records that nothing from this state clears bar.
  double Below(uint32_t from, uint64_t visited, double bar, bool* exact) {
    MemoSlot* slot = memo_.Find(Same(from), visited);
    if (!slot) slot = &memo_.Insert(Same(from), visited);
    slot->exact = false;
    slot->value = bar;
    slot->next = -1;
    *exact = false;
    return bar;
  }

  // Files of equal content whose names find the same files in every older
  // tree but their own get the same choices wherever a chain can still go
  // (their own trees are on the chain already), hence the same continuations;
  // unchanged versions are common.  Their states are kept once, under the
  // first such file seen.
  uint32_t Same(uint32_t file) {
    if (same_.size() < files_.size()) same_.resize(files_.size(), UINT32_MAX);
    if (same_[file] != UINT32_MAX) return same_[file];
    const FileEntry* e = files_[file];
    std::vector<std::vector<uint32_t>>& groups = sameKey_[uint64_t(e->size) << 32 | e->crc];
    for (std::vector<uint32_t>& group : groups) {
      if (!Identical(files_[group[0]], e)) continue;
      bool alike = true;
      for (size_t m = 0; m < group.size() && alike; ++m) alike = NamesAgree(group[m], file);
      if (!alike) continue;
      group.push_back(file);
      return same_[file] = group[0];
    }
    groups.push_back({file});
    return same_[file] = file;
  }

  bool NamesAgree(uint32_t a, uint32_t b) {
    for (uint32_t k = 0; k < older_; ++k) {
      const int tree = static_cast<int>(k);
      if (tree == treeOf_[a] || tree == treeOf_[b]) continue;
      if (NamedIndex(tree, files_[a]->relativePath) != NamedIndex(tree, files_[b]->relativePath)) return false;
    }
    return true;
  }

  // Appends the best continuation from a state that Continue found above its
  // bar; returns the number of files written.
  int Follow(uint32_t from, uint64_t visited, FileEntry** out, int room) {
    int count = 0;
    while (count < room && (allOlder_ & ~visited)) {
      const MemoSlot* s = memo_.Find(Same(from), visited);
      if (!s || !s->exact || s->next < 0) break;
      Choice c = ChoiceIn(s->next, from);
      out[count++] = files_[static_cast<uint32_t>(c.file)];
      from = static_cast<uint32_t>(c.file);
      visited |= Bit(s->next);
    }
    return count;
  }

  // The tree order of the best continuation that Follow would write;
  // returns its length.
  int FollowOrder(uint32_t from, uint64_t visited, int* order) {
    int count = 0;
    while (allOlder_ & ~visited) {
      const MemoSlot* s = memo_.Find(Same(from), visited);
      if (!s || !s->exact || s->next < 0) break;
      order[count++] = s->next;
      from = static_cast<uint32_t>(ChoiceIn(s->next, from).file);
      visited |= Bit(s->next);
    }
    return count;
  }

  // A good chain found cheaply, as an order of the trees not visited, from
  // four kinds of start (the most similar step each time, the trees newest
  // first and oldest first, the best ends of a breadth-first search), each
  // improved by moving trees about.  Its score lets the exact search rule
  // out from the start nearly every order that cannot beat it, where
  // otherwise it would have to find such a chain first; and where the
  // search runs out of states, the guess is the answer.
  double Incumbent(uint32_t from, uint64_t visited, bool more) {
    int order[kMaxSearchTrees], best[kMaxSearchTrees];
    double sims[kMaxSearchTrees], bestSims[kMaxSearchTrees];
    const uint64_t left = allOlder_ & ~visited;
    const int count = static_cast<int>(std::bitset<64>(left).count());
    double score = -1;
    if (more) {
      // The guess so far, to be beaten.
      std::copy(incumbent_.begin(), incumbent_.end(), best);
      uint32_t path[kMaxSearchTrees + 1];
      score = Walk(from, best, 0, count, path, bestSims) == count ? Product(bestSims, count) : 0;
    }
    // Starts often coincide, or lead where an earlier one led: an order met
    // before (as a start or as where moves ended) is not improved again.
    std::vector<int> met;
    auto seen = [&] {
      for (size_t e = 0; e < met.size(); e += static_cast<size_t>(count))
        if (std::equal(order, order + count, met.begin() + static_cast<std::ptrdiff_t>(e))) return true;
      met.insert(met.end(), order, order + count);
      return false;
    };
    auto consider = [&] {
      if (seen()) return;
      const double s = Improve(from, order, count, sims);
      seen();
      if (score < 0 || Better(s, order, sims, score, best, bestSims, count)) {
        score = s;
        std::copy(order, order + count, best);
        std::copy(sims, sims + count, bestSims);
      }
    };
    int m = 0;
    // The most similar step each time.
    uint64_t remaining = more ? 0 : left;
    for (uint32_t at = from; remaining;) {
      int pick = -1;
      double most = 0;
      for (uint32_t k = 0; k < older_; ++k) {
        if (!(remaining & Bit(static_cast<int>(k)))) continue;
        const Choice c = ChoiceIn(static_cast<int>(k), at);
        if (c.file >= 0 && (pick < 0 || c.similarity > most)) {
          pick = static_cast<int>(k);
          most = c.similarity;
        }
      }
      if (pick < 0) {
        // Nothing offers a step here; the rest in index order, for the
        // moves below to mend.
        for (uint32_t k = 0; k < older_; ++k)
          if (remaining & Bit(static_cast<int>(k))) order[m++] = static_cast<int>(k);
        break;
      }
      order[m++] = pick;
      remaining &= ~Bit(pick);
      at = static_cast<uint32_t>(ChoiceIn(pick, at).file);
    }
    if (!more) consider();
    // Releases that drift a little at a time are best chained newest first;
    // oldest first is the order the plain search meets first, and the one
    // it keeps on ties.
    m = 0;
    for (uint32_t k = older_; k-- > 0;)
      if (left & Bit(static_cast<int>(k))) order[m++] = static_cast<int>(k);
    if (!more) consider();
    m = 0;
    for (uint32_t k = 0; k < older_; ++k)
      if (left & Bit(static_cast<int>(k))) order[m++] = static_cast<int>(k);
    if (!more) consider();
    for (int way = 0; way < 2 && count >= 4 && more; ++way) {
      // Built from each of the few best first trees, as the first choice
      // decides the family the chain stays in.
      int firsts[kMaxSearchTrees];
      double firstScores[kMaxSearchTrees];
      int n = 0;
      for (uint32_t k = 0; k < older_; ++k) {
        if (!(left & Bit(static_cast<int>(k)))) continue;
        m = 0;
        order[m++] = static_cast<int>(k);
        for (uint32_t q = 0; q < older_; ++q) {
          const uint32_t tree = way == 0 ? q : older_ - 1 - q;
          if ((left & Bit(static_cast<int>(tree))) && tree != k) order[m++] = static_cast<int>(tree);
        }
        double steps[kMaxSearchTrees];
        uint32_t path[kMaxSearchTrees + 1];
        firstScores[n] = Walk(from, order, 0, count, path, steps) == count ? Product(steps, count) : 0;
        firsts[n++] = static_cast<int>(k);
      }
      int ranks[kMaxSearchTrees];
      for (int r = 0; r < n; ++r) ranks[r] = r;
      std::stable_sort(ranks, ranks + n, [&](int x, int y) { return firstScores[x] > firstScores[y]; });
      for (int r = 0; r < n && r < static_cast<int>(kPilotFirsts); ++r) {
        if (firstScores[ranks[r]] <= 0) break;
        Pilot(from, left, count, way == 0, firsts[ranks[r]], order);
        consider();
      }
    }
    if (count >= 8 && more) {
      std::vector<int> ends = Beam(from, left, count);
      for (size_t e = 0; e + count <= ends.size(); e += static_cast<size_t>(count)) {
        const auto at = ends.begin() + static_cast<std::ptrdiff_t>(e);
        std::copy(at, at + count, order);
        consider();
      }
    }
    incumbent_.assign(best, best + count);
    return std::max(score, 0.0);
  }

  // Chains that jump to another family of files once or twice and then
  // take the releases in order are common, and moves of one or two trees do
  // not find them.  So an order is built one tree at a time, each time
  // taking the tree whose chain, the rest in order (oldest or newest first)
  // after it, wins; the first tree is given (or -1: chosen the same way).
  // Returns the score of the order left in order.
  double Pilot(uint32_t from, uint64_t left, int count, bool oldestFirst, int first, int* order) {
    int m = 0;
    for (uint32_t k = 0; k < older_; ++k)
      if (left & Bit(static_cast<int>(k))) order[m++] = static_cast<int>(k);
    if (!oldestFirst) std::reverse(order, order + count);
    uint32_t path[kMaxSearchTrees + 1], bestPath[kMaxSearchTrees + 1];
    double sims[kMaxSearchTrees], bestSims[kMaxSearchTrees];
    int trial[kMaxSearchTrees], best[kMaxSearchTrees];
    path[0] = from;
    double prefix = 1.0, score = 0;
    // order[i..] holds the trees not yet placed, in order; each in turn goes
    // to place i.
    for (int i = 0; i < count; ++i) {
      score = -1;
      for (int c = i; c < count; ++c) {
        if (i == 0 && first >= 0 && order[c] != first) continue;
        std::copy(order, order + i, trial);
        trial[i] = order[c];
        int t = i + 1;
        for (int q = i; q < count; ++q)
          if (q != c) trial[t++] = order[q];
        const int valid = Walk(path[i], trial, i, count, path, sims, prefix, 0);
        const double s = valid == count ? Product(sims, count) : 0;
        if (score < 0 || Better(s, trial, sims, score, best, bestSims, count)) {
          score = s;
          std::copy(trial, trial + count, best);
          std::copy(sims, sims + count, bestSims);
          std::copy(path, path + count + 1, bestPath);
        }
      }
      std::copy(best, best + count, order);
      std::copy(bestSims, bestSims + count, sims);
      std::copy(bestPath, bestPath + count + 1, path);
      if (score <= 0) return 0;  // nothing chains: left to the moves
      prefix *= sims[i];
    }
    return score;
  }

  // Of two orders of the same trees from the same file, whether the first
  // wins as the plain search settles it: that search picks, at the first
  // place where two orders part, the tree whose best continuation (its
  // product taken from the far end) is larger, and of equal ones the
  // earlier tree.  A chain that fails somewhere scores 0 and never wins.
  static bool Better(double a, const int* orderA, const double* simsA, double b, const int* orderB,
                     const double* simsB, int count) {
    if (a != b || a <= 0) return a > b;
    int p = 0;
    while (p < count && orderA[p] == orderB[p]) ++p;
    if (p == count) return false;
    const double restA = Product(simsA + p, count - p), restB = Product(simsB + p, count - p);
    if (restA != restB) return restA > restB;
    return orderA[p] < orderB[p];
  }

  // Moves trees about while that gains: a stretch of one to three trees to
  // another place, either way round; a stretch turned round in place; two
  // trees swapped.  Returns the score of the order left, its steps' sims.
  // A move keeps the chain's files before the first place it changes, so
  // only the steps from there on are looked up again.
  double Improve(uint32_t from, int* order, int count, double* sims) {
    uint32_t path[kMaxSearchTrees + 1];
    int valid = Walk(from, order, 0, count, path, sims);
    double score = valid == count ? Product(sims, count) : 0;
    // prefix[i]: the product of the first i steps, which no longer chain
    // can exceed (every step is at most 1).
    double prefix[kMaxSearchTrees + 1];
    auto products = [&] {
      prefix[0] = 1.0;
      for (int i = 0; i < valid; ++i) prefix[i + 1] = prefix[i] * sims[i];
    };
    products();
    int trial[kMaxSearchTrees], rest[kMaxSearchTrees];
    double trialSims[kMaxSearchTrees];
    uint32_t trialPath[kMaxSearchTrees + 1];
    // Tries trial, which equals order before place first and from place
    // tail on; keeps it if it wins.
    auto attempt = [&](int first, int tail) {
      if (first > valid) return false;  // the kept part already fails
      trialPath[first] = path[first];
      const bool whole = valid == count;  // only a whole chain can be joined
      if (Walk(trialPath[first], trial, first, count, trialPath, trialSims, prefix[first], score,
               whole ? tail : INT32_MAX, path, sims) != count)
        return false;
      std::copy(sims, sims + first, trialSims);
      const double t = Product(trialSims, count);
      if (!Better(t, trial, trialSims, score, order, sims, count)) return false;
      score = t;
      std::copy(trial, trial + count, order);
      valid = Walk(from, order, 0, count, path, sims);
      products();
      return true;
    };
    for (int pass = 0; pass < 20; ++pass) {
      bool gained = false;
      for (int length = 1; length <= 3 && length < count; ++length)
        for (int i = 0; i + length <= count; ++i) {
          int r = 0;
          for (int k = 0; k < count; ++k)
            if (k < i || k >= i + length) rest[r++] = order[k];
          bool moved = false;
          for (int j = 0; j <= r && !moved; ++j)
            for (int turn = 0; turn < 2 && !moved; ++turn) {
              if ((j == i && turn == 0) || (length == 1 && turn == 1)) continue;  // one tree turned is itself
              std::copy(rest, rest + j, trial);
              for (int q = 0; q < length; ++q) trial[j + q] = order[turn ? i + length - 1 - q : i + q];
              std::copy(rest + j, rest + r, trial + j + length);
              if (attempt(std::min(i, j), std::max(i, j) + length)) gained = moved = true;
            }
        }
      // Longer stretches turned round, and swaps, reach orders that short
      // moves cannot reach one gain at a time.
      for (int i = 0; i + 1 < count; ++i)
        for (int j = i + 1; j < count; ++j) {
          if (j - i >= 3) {
            std::copy(order, order + count, trial);
            std::reverse(trial + i, trial + j + 1);
            if (attempt(i, j + 1)) {
              gained = true;
              continue;
            }
          }
          if (j - i >= 2) {
            std::copy(order, order + count, trial);
            std::swap(trial[i], trial[j]);
            if (attempt(i, j + 1)) gained = true;
          }
        }
      if (!gained) break;
    }
    return score;
  }

  // Follows order from place first on, from the file at; fills path (the
  // file before each place) and sims; returns the number of places that
  // offered a step.
  // With a floor, it also stops where the steps so far (whose product was
  // start before place first) fall below it by more than any rounding, as
  // then the chain cannot reach it.
  // With a known chain (refPath, refSims) whose order equals this one from
  // place tail on, the walk ends where it meets that chain's file there:
  // from a file and an order on, every step is the same.
  int Walk(uint32_t at, const int* order, int first, int count, uint32_t* path, double* sims, double start = 1.0,
           double floor = 0, int tail = INT32_MAX, const uint32_t* refPath = nullptr, const double* refSims = nullptr) {
    path[first] = at;
    double product = start;
    if (stepsReady_ && at < stamps_.size() && stamps_[at] == stamp_) {
      uint32_t place = placeOf_[at];
      for (int i = first; i < count; ++i) {
        if (i >= tail && at == refPath[i]) {
          std::copy(refSims + i, refSims + count, sims + i);
          std::copy(refPath + i + 1, refPath + count + 1, path + i + 1);
          return count;
        }
        const Step& step = steps_[size_t(place) * older_ + static_cast<uint32_t>(order[i])];
        if (step.place < 0) return i;
        product *= step.similarity;
        if (product * (1 + kRelativeMargin) < floor) return i;
        sims[i] = step.similarity;
        at = step.file;
        place = static_cast<uint32_t>(step.place);
        path[i + 1] = at;
      }
      return count;
    }
    for (int i = first; i < count; ++i) {
      if (i >= tail && at == refPath[i]) {
        std::copy(refSims + i, refSims + count, sims + i);
        std::copy(refPath + i + 1, refPath + count + 1, path + i + 1);
        return count;
      }
      const Choice c = ChoiceIn(order[i], at);
      if (c.file < 0) return i;
      product *= c.similarity;
      if (product * (1 + kRelativeMargin) < floor) return i;
      sims[i] = c.similarity;
      at = static_cast<uint32_t>(c.file);
      path[i + 1] = at;
    }
    return count;
  }

  // Multiplied from the far end, as Continue does.
  static double Product(const double* sims, int count) {
    double s = 1.0;
    for (int i = count; i-- > 0;) s = sims[i] * s;
    return s;
  }

  // Writes the incumbent's files; returns the number written.
  int FollowIncumbent(uint32_t from, FileEntry** out, int room) {
    int count = 0;
    for (int tree : incumbent_) {
      if (count >= room) break;
      const Choice c = ChoiceIn(tree, from);
      if (c.file < 0) break;
      out[count++] = files_[static_cast<uint32_t>(c.file)];
      from = static_cast<uint32_t>(c.file);
    }
    return count;
  }

  // The chain search run breadth first, one tree more per round, keeping
  // only the best chain into each reached state (file and trees passed) and
  // of those the kBeam best: a few thousand steps in all, and it meets the
  // best chain far more often than moves from one start do.  Returns the
  // tree orders of the best few chains, steps trees each, one after the
  // other (none: no chain runs through every remaining tree).
  std::vector<int> Beam(uint32_t from, uint64_t left, int steps) {
    struct Node {
      uint32_t file;
      uint64_t visited;
      double product;
      int parent;
      int tree;
    };
    // The states of one round, by open addressing (index + 1; 0 is free).
    struct Slot {
      uint64_t visited;
      uint32_t file;
      uint32_t index;
    };
    std::vector<Slot> seen;
    std::vector<std::vector<Node>> levels(1);
    levels[0].push_back({from, 0, 1.0, -1, -1});
    for (int step = 0; step < steps; ++step) {
      std::vector<Node> next;
      const std::vector<Node>& level = levels.back();
      size_t size = 64;
      while (size < 2 * level.size() * older_) size *= 2;
      seen.assign(size, Slot{0, 0, 0});
      for (size_t p = 0; p < level.size(); ++p) {
        const Node& node = level[p];
        for (uint32_t k = 0; k < older_; ++k) {
          const uint64_t bit = Bit(static_cast<int>(k));
          if (!(left & bit) || (node.visited & bit)) continue;
          const Choice c = ChoiceIn(static_cast<int>(k), node.file);
          if (c.file < 0) continue;
          const Node child{static_cast<uint32_t>(c.file), node.visited | bit, node.product * c.similarity,
                           static_cast<int>(p), static_cast<int>(k)};
          const uint32_t same = Same(child.file);
          uint64_t h = (child.visited ^ (uint64_t(same) << 40) ^ same) * 0x9E3779B97F4A7C15ull;
          size_t i = static_cast<size_t>(h ^ (h >> 29)) & (size - 1);
          while (seen[i].index && (seen[i].file != same || seen[i].visited != child.visited)) i = (i + 1) & (size - 1);
          if (!seen[i].index) {
            seen[i] = {child.visited, same, static_cast<uint32_t>(next.size() + 1)};
            next.push_back(child);
          } else if (child.product > next[seen[i].index - 1].product) {
            next[seen[i].index - 1] = child;
          }
        }
      }
      if (next.empty()) return {};
      if (next.size() > kBeam) {
        // The kBeam best, the first of equals kept; their order is kept too.
        std::vector<uint32_t> rank(next.size());
        for (uint32_t i = 0; i < rank.size(); ++i) rank[i] = i;
        const auto cut = rank.begin() + static_cast<std::ptrdiff_t>(kBeam);
        std::nth_element(rank.begin(), cut, rank.end(), [&](uint32_t a, uint32_t b) {
          return next[a].product != next[b].product ? next[a].product > next[b].product : a < b;
        });
        rank.resize(kBeam);
        std::sort(rank.begin(), rank.end());
        std::vector<Node> kept;
        kept.reserve(kBeam);
        for (uint32_t i : rank) kept.push_back(next[i]);
        next.swap(kept);
      }
      levels.push_back(std::move(next));
    }
    // The best few ends, each as its order of trees.
    std::vector<Node>& last = levels.back();
    std::vector<size_t> tops(last.size());
    for (size_t i = 0; i < tops.size(); ++i) tops[i] = i;
    std::stable_sort(tops.begin(), tops.end(), [&](size_t a, size_t b) { return last[a].product > last[b].product; });
    tops.resize(std::min(tops.size(), kBeamEnds));
    std::vector<int> orders(tops.size() * static_cast<size_t>(steps));
    for (size_t t = 0; t < tops.size(); ++t) {
      int at = steps;
      for (int level = steps, i = static_cast<int>(tops[t]); level > 0; --level) {
        const Node& node = levels[static_cast<size_t>(level)][static_cast<size_t>(i)];
        orders[t * static_cast<size_t>(steps) + static_cast<size_t>(--at)] = node.tree;
        i = node.parent;
      }
    }
    return orders;
  }

  // The best continuation from a state as Continue finds it, the search
  // started from the guessed chain; its files go to out.  Where the budget
  // cuts the search short, the better of the guess and what was found.
  // Returns 0 when nothing scores above bar.
  double Settle(uint32_t from, uint64_t visited, double bar, FileEntry** out, int room) {
    double guess = Incumbent(from, visited, false);
    // Only chains that reach the guess can win, so the bar starts just below
    // it (by far more than any rounding of the product).
    const double start = std::max(bar, guess > 0 ? guess * (1 - 1e-9) : 0.0);
    bool known;
    const double found = Continue(from, visited, start, &known);
    if (cut_) {
      // The search ran out of states: the guess is likely the answer, and
      // worth the work of more starts.
      guess = Incumbent(from, visited, true);
    }
    if (known && cut_) {
      // A search cut short may have passed over the chain that wins a tie
      // (or an even better one): its chain, improved, against the guess.
      const int count = static_cast<int>(incumbent_.size());
      int order[kMaxSearchTrees];
      double sims[kMaxSearchTrees], guessSims[kMaxSearchTrees];
      uint32_t path[kMaxSearchTrees + 1];
      if (FollowOrder(from, visited, order) == count) {
        const double improved = Improve(from, order, count, sims);
        Walk(from, incumbent_.data(), 0, count, path, guessSims);
        if (Better(improved, order, sims, guess, incumbent_.data(), guessSims, count)) {
          incumbent_.assign(order, order + count);
          FollowIncumbent(from, out, room);
          return improved;
        }
      }
    } else if (known) {
      Follow(from, visited, out, room);
      return found;
    }
    if (guess > bar) {
      FollowIncumbent(from, out, room);
      return guess;
    }
    return 0;
  }

  // Whether the work on this file ran out of budget.
  bool Cut() const { return cut_; }

  // Starts the work on one file: a fresh budget.
  // States are remembered for one file only: a search cut short by its
  // budget would otherwise end where the files searched before it had
  // left it, and the files could not be searched side by side with the
  // same answers.
  void Start() {
    spent_ = 0;
    memo_.Clear();
  }

  // After the work on one file: what a search cut short remembers is not
  // necessarily the best, so it must not serve another file.
  void Finish() {
    if (cut_) memo_.Clear();
    cut_ = false;
  }

  // Between files of the newest tree: keeps memory bounded.
  void Trim(size_t choiceLimit = kChoiceLimit) {
    if (memo_.Size() > kMemoLimit) memo_.Clear();
    if (choiceCount_ > choiceLimit) {
      for (std::vector<Choice>& row : choices_) std::vector<Choice>().swap(row);
      choiceCount_ = 0;
    }
  }

  // The bar for a continuation after a step of this similarity: the step's
  // product with anything at most the returned bar stays below need.
  static double BarBelow(double need, double step) {
    if (need < 1e-290) return 0;
    return need / step * (1 - kRelativeMargin);
  }

 private:
  void AddTree(DirectoryStream* s) {
    int index = static_cast<int>(trees_.size());
    trees_.push_back(s);
    firstId_.push_back(static_cast<uint32_t>(files_.size()));
    names_.emplace_back();
    probes_.emplace_back();
    for (uint32_t i = 0; i < s->Count(); ++i) AddFile(s->At(i), index);
  }

  // The frequencies of the byte values that vary most between the files of
  // a tree, for all its files side by side: comparing a file with every
  // file of a tree of thousands reads these instead of each file's tables.
  static const int kProbes = 8;
  struct Probes {
    uint8_t values[kProbes] = {};
    std::vector<double> frequencies;  // kProbes per file
    // The files by their first probe (the one that varies most), ties in
    // index order, and that probe's value in the same order: a file whose
    // first probe lies far from a new file's cannot be similar to it, and
    // the near ones are found without a walk through the tree.
    std::vector<uint32_t> byFirst;
    std::vector<double> firstSorted;
    // The files split at medians, one probe at a time, into boxes of a few
    // files: those within reach of a new file on every probe are found
    // without a look at the rest.
    struct Node {
      double split;
      uint32_t begin, end;  // a range of boxOrder
      int32_t left, right;  // -1: a leaf
      int dim;
    };
    std::vector<uint32_t> boxOrder;
    std::vector<double> boxed;  // frequencies in boxOrder's order
    std::vector<Node> nodes;
  };

  static double ProbeDistance(const double* wanted, const double* f) {
    double d = 0;
    for (int j = 0; j < kProbes; ++j) d += (wanted[j] - f[j]) * (wanted[j] - f[j]);
    return d;
  }

  // The file nearest on the probes, the first of equals. From wanted's place
  // in the order outward, the first probe's term alone bounds a file's
  // distance from below and never shrinks (rounding is monotonic, and
  // adding the other terms cannot lower a sum), so the walk stops where
  // that term exceeds the least distance found.
  static uint32_t Nearest(const Probes& p, const double* wanted) {
    const double* first = p.firstSorted.data();
    const size_t count = p.firstSorted.size();
    size_t right = static_cast<size_t>(std::lower_bound(first, first + count, wanted[0]) - first);
    size_t left = right;
    uint32_t nearest = 0;
    double least = HUGE_VAL;
    for (;;) {
      const double below = left > 0 ? (wanted[0] - first[left - 1]) * (wanted[0] - first[left - 1]) : HUGE_VAL;
      const double above = right < count ? (wanted[0] - first[right]) * (wanted[0] - first[right]) : HUGE_VAL;
      const double term = std::min(below, above);
      // An equal term may still hide an equal distance at a lower index.
      if (term == HUGE_VAL || term > least) break;
      const uint32_t i = p.byFirst[below <= above ? --left : right++];
      const double d = ProbeDistance(wanted, &p.frequencies[size_t(i) * kProbes]);
      if (d < least || (d == least && i < nearest)) {
        least = d;
        nearest = i;
      }
    }
    return nearest;
  }

  // The files, in index order, that the probes do not rule out against
  // best: the caller's test 1 - (sum of the probes' squared differences) +
  // margin <= best. The leaves apply that very test; a box is passed over
  // only when its distance from wanted exceeds the test's limit by a
  // relative 2e-6 and 1e-12, far above the rounding of that distance, so no
  // file the test keeps is dropped. As best only grows, what the first best
  // lets through covers every later one.
  const std::vector<uint32_t>& Candidates(const Probes& p, const double* wanted, double best) {
    candidates_.clear();
    const uint32_t count = static_cast<uint32_t>(p.byFirst.size());
    if (count == 0) return candidates_;
    const double reach = std::sqrt(std::max(0.0, 1.0 + kSimilarityMargin - best)) * (1 + 1e-6);
    const double* first = p.firstSorted.data();
    if (first[0] >= wanted[0] - reach && first[count - 1] <= wanted[0] + reach) {
      // Nearly every file is within reach: no need to look for them.
      for (uint32_t i = 0; i < count; ++i) candidates_.push_back(i);
      return candidates_;
    }
    // Back into index order through a bit per file, cheaper than sorting.
    marks_.assign((count + 63) / 64, 0);
    double offsets[kProbes] = {};
    Collect(p, 0, wanted, best, reach * reach + 1e-12, offsets, 0.0);
    for (size_t w = 0; w < marks_.size(); ++w)
      for (uint64_t bits = marks_[w]; bits; bits &= bits - 1)
        candidates_.push_back(static_cast<uint32_t>(w * 64 + static_cast<size_t>(__builtin_ctzll(bits))));
    return candidates_;
  }

  // Marks the files of a box that pass the test; distance is a lower bound
  // of the squared distance from wanted to anything in the box, offsets its
  // terms per probe.
  void Collect(const Probes& p, int32_t id, const double* wanted, double best, double limit, double* offsets,
               double distance) {
    const Probes::Node& node = p.nodes[static_cast<size_t>(id)];
    if (node.left < 0) {
      for (uint32_t k = node.begin; k < node.end; ++k) {
        if (1.0 - ProbeDistance(wanted, &p.boxed[size_t(k) * kProbes]) + kSimilarityMargin <= best) continue;
        const uint32_t i = p.boxOrder[k];
        marks_[i / 64] |= uint64_t(1) << (i % 64);
      }
      return;
    }
    const double gap = wanted[node.dim] - node.split;
    Collect(p, gap <= 0 ? node.left : node.right, wanted, best, limit, offsets, distance);
    // The far side lies at least |gap| away on this probe.
    const double before = offsets[node.dim];
    const double far = distance - before * before + gap * gap;
    if (far >= limit) return;
    offsets[node.dim] = gap;
    Collect(p, gap <= 0 ? node.right : node.left, wanted, best, limit, offsets, far);
    offsets[node.dim] = before;
  }

  // Splits boxOrder[begin, end) at the median of the probe that spreads
  // most there (values left of the split at most, right of it at least the
  // split value); returns the node.
  static int32_t BuildBoxes(Probes& p, uint32_t begin, uint32_t end) {
    const int32_t id = static_cast<int32_t>(p.nodes.size());
    p.nodes.push_back({0.0, begin, end, -1, -1, 0});
    if (end - begin <= 8) return id;
    double low[kProbes], high[kProbes];
    std::fill(low, low + kProbes, HUGE_VAL);
    std::fill(high, high + kProbes, -HUGE_VAL);
    for (uint32_t k = begin; k < end; ++k)
      for (int j = 0; j < kProbes; ++j) {
        const double f = p.frequencies[size_t(p.boxOrder[k]) * kProbes + j];
        low[j] = std::min(low[j], f);
        high[j] = std::max(high[j], f);
      }
    int dim = 0;
    for (int j = 1; j < kProbes; ++j)
      if (high[j] - low[j] > high[dim] - low[dim]) dim = j;
    if (!(high[dim] > low[dim])) return id;  // all alike: one leaf
    const uint32_t mid = begin + (end - begin) / 2;
    std::nth_element(p.boxOrder.begin() + begin, p.boxOrder.begin() + mid, p.boxOrder.begin() + end,
                     [&](uint32_t x, uint32_t y) {
                       return p.frequencies[size_t(x) * kProbes + dim] < p.frequencies[size_t(y) * kProbes + dim];
                     });
    const double split = p.frequencies[size_t(p.boxOrder[mid]) * kProbes + dim];
    const int32_t left = BuildBoxes(p, begin, mid);
    const int32_t right = BuildBoxes(p, mid, end);
    p.nodes[static_cast<size_t>(id)] = {split, begin, end, left, right, dim};
    return id;
  }

  const Probes& ProbesOf(int tree) {
    Probes& p = probes_[tree];
    const DirectoryStream* s = trees_[tree];
    if (p.frequencies.size() == size_t(s->Count()) * kProbes) return p;
    double sum[256] = {}, squares[256] = {};
    for (uint32_t i = 0; i < s->Count(); ++i) {
      const FileEntry* e = s->At(i);
      for (int v = 0; v < 256; ++v) {
        const double f = e->frequencies[v];
        sum[v] += f;
        squares[v] += f * f;
      }
    }
    int order[256];
    for (int v = 0; v < 256; ++v) order[v] = v;
    const double count = s->Count() > 0 ? s->Count() : 1;
    std::partial_sort(order, order + kProbes, order + 256, [&](int x, int y) {
      const double vx = squares[x] / count - (sum[x] / count) * (sum[x] / count);
      const double vy = squares[y] / count - (sum[y] / count) * (sum[y] / count);
      return vx != vy ? vx > vy : x < y;
    });
    for (int j = 0; j < kProbes; ++j) p.values[j] = static_cast<uint8_t>(order[j]);
    p.frequencies.resize(size_t(s->Count()) * kProbes);
    for (uint32_t i = 0; i < s->Count(); ++i)
      for (int j = 0; j < kProbes; ++j) p.frequencies[size_t(i) * kProbes + j] = s->At(i)->frequencies[p.values[j]];
    p.byFirst.resize(s->Count());
    for (uint32_t i = 0; i < s->Count(); ++i) p.byFirst[i] = i;
    std::stable_sort(p.byFirst.begin(), p.byFirst.end(), [&](uint32_t x, uint32_t y) {
      return p.frequencies[size_t(x) * kProbes] < p.frequencies[size_t(y) * kProbes];
    });
    p.firstSorted.resize(s->Count());
    for (uint32_t i = 0; i < s->Count(); ++i) p.firstSorted[i] = p.frequencies[size_t(p.byFirst[i]) * kProbes];
    p.boxOrder = p.byFirst;
    p.nodes.clear();
    BuildBoxes(p, 0, s->Count());
    p.boxed.resize(p.frequencies.size());
    for (uint32_t k = 0; k < s->Count(); ++k)
      std::copy_n(&p.frequencies[size_t(p.boxOrder[k]) * kProbes], kProbes, &p.boxed[size_t(k) * kProbes]);
    return p;
  }

  uint32_t AddFile(FileEntry* e, int tree) {
    uint32_t id = static_cast<uint32_t>(files_.size());
    files_.push_back(e);
    treeOf_.push_back(tree);
    choices_.emplace_back();
    ids_.emplace(e, id);
    return id;
  }

  // Index of the first file whose relative path equals name without regard
  // to case, or -1.
  int32_t NamedIndex(int tree, const std::string& name) {
    std::unordered_map<std::string, int32_t>& names = names_[tree];
    const DirectoryStream* s = trees_[tree];
    if (names.empty() && s->Count() > 0)
      for (uint32_t i = s->Count(); i-- > 0;) names[UpperText(s->At(i)->relativePath)] = static_cast<int32_t>(i);
    auto hit = names.find(UpperText(name));
    return hit == names.end() ? -1 : hit->second;
  }

  uint32_t n_;
  uint32_t older_ = 0;
  uint64_t allOlder_ = 0;
  std::vector<DirectoryStream*> trees_;
  std::vector<uint32_t> firstId_;
  std::vector<FileEntry*> files_;
  std::vector<int> treeOf_;  // -1: a file of no tree (the searched file)
  std::unordered_map<const FileEntry*, uint32_t> ids_;
  std::vector<std::vector<Choice>> choices_;
  size_t choiceCount_ = 0;
  std::vector<std::unordered_map<std::string, int32_t>> names_;
  std::vector<Probes> probes_;
  std::vector<uint32_t> candidates_;
  std::vector<uint64_t> marks_;
  std::vector<uint32_t> stamps_;
  uint32_t stamp_ = 0;
  uint64_t earlierTwins_[kMaxSearchTrees] = {};
  StateMemo memo_;
  std::vector<uint32_t> same_;
  std::unordered_map<uint64_t, std::vector<std::vector<uint32_t>>> sameKey_;  // by size and checksum
  size_t spent_ = 0;
  size_t budget_ = kStateBudget;
  bool cut_ = false;
  // For the state Continue works on, the best entry into each remaining tree
  // from another: [to * older + from], and its -log.
  std::vector<double> local_;
  std::vector<double> localCost_;
  std::vector<uint32_t> localStamps_;
  uint32_t localStamp_ = 0;
  std::vector<uint32_t> reachBuffer_;
  std::vector<int> incumbent_;  // tree order of the chain Incumbent found
  // From the file Prepare started at: each reachable file's place, and per
  // place and older tree the step's place, file and similarity.
  struct Step {
    int32_t place;  // -1: nothing in the tree is similar
    uint32_t file;
    double similarity;
  };
  std::vector<uint32_t> placeOf_;
  std::vector<Step> steps_;
  bool stepsReady_ = false;
};

namespace {
// The search of the running session, kept from one file to the next.
ChainSearch* gSession = nullptr;
}  // namespace

ChainSearchSession::ChainSearchSession(uint32_t n) : search_(std::make_unique<ChainSearch>(n, nullptr)) {
  gSession = search_.get();
}

ChainSearchSession::~ChainSearchSession() { gSession = nullptr; }

void ChainSearchSession::Trim() { search_->Trim(); }

double BestChain(uint32_t n, DirectoryStream* stream, FileEntry* entry, uint32_t depth) {
  // The chain buffers bound the depth; the application offers far fewer trees.
  if (depth + 1 >= static_cast<uint32_t>(kChainLength)) return 0;
  ChainSearch search(n, stream);
  const int tree = search.TreeIndex(stream);
  const uint32_t id = search.IdOf(entry);
  if (search.Older() > kMaxSearchTrees) return 0;  // no chain fits the buffers
  const uint64_t visited = search.VisitedMask() | (search.OlderTree(tree) ? Bit(tree) : 0);
  const uint32_t left = static_cast<uint32_t>(std::bitset<64>(search.AllOlder() & ~visited).count());

  const Choice c = search.ChoiceIn(tree, id);
  if (c.file < 0) return 0;
  const uint32_t file = static_cast<uint32_t>(c.file);
  for (uint32_t j = depth; j < static_cast<uint32_t>(kChainLength); ++j) WorkingChain[j] = nullptr;
  WorkingChain[depth] = search.File(file);
  stream->visited = 0;
  if (left == 0) return c.similarity;
  // Every chain that scores runs through all remaining trees; when they do
  // not fit the buffers, nothing scores.
  if (depth + left + 1 >= static_cast<uint32_t>(kChainLength)) return 0;
  search.Prepare(file);
  search.Start();
  const double deeper =
      search.Settle(file, visited, 0, WorkingChain + depth + 1, kChainLength - static_cast<int>(depth) - 1);
  return c.similarity * deeper;
}

namespace {

// Leaves the chain after entry in chain[0..kChainLength-2].
double SearchWith(ChainSearch* search, FileEntry* entry, FileEntry** chainAfter) {
  const uint32_t older = search->Older();
  // Every chain that scores runs through all older trees.
  if (older == 0 || older + 1 >= static_cast<uint32_t>(kChainLength)) return 0;
  const uint32_t id = search->IdOf(entry);
  const uint64_t visited = search->VisitedMask();
  search->Prepare(id);
  double score = 0;
  if (visited == 0) {
    // The same as the search from every older tree in turn.
    return search->Settle(id, 0, 0, chainAfter, kChainLength - 1);
  }
  // Trees marked visited by a caller: each older tree is still tried as the
  // first step, as the plain search does.
  FileEntry* kept[kChainLength] = {};
  for (uint32_t k = 0; k < older; ++k) {
    const Choice c = search->ChoiceIn(static_cast<int>(k), id);
    if (c.file < 0) continue;
    const uint64_t after = visited | Bit(static_cast<int>(k));
    FileEntry* chain[kChainLength] = {search->File(static_cast<uint32_t>(c.file))};
    double s = c.similarity;
    if (search->AllOlder() & ~after) {
      const double v = search->Settle(static_cast<uint32_t>(c.file), after, ChainSearch::BarBelow(score, c.similarity),
                                      chain + 1, kChainLength - 2);
      if (v == 0) continue;  // nothing above what the chain so far has
      s = c.similarity * v;
    }
    if (s > score) {
      score = s;
      std::copy(chain, chain + kChainLength - 1, kept);
    }
  }
  std::copy(kept, kept + kChainLength - 1, chainAfter);
  return score;
}

}  // namespace

double SearchBestChain(FileEntry* entry, uint32_t n) {
  std::memset(WorkingChain, 0, sizeof WorkingChain);
  WorkingChain[0] = entry;
  std::memcpy(BestChainEntries, WorkingChain, sizeof BestChainEntries);
  std::unique_ptr<ChainSearch> own;
  ChainSearch* search = gSession;
  if (!search || search->N() != n) {
    own = std::make_unique<ChainSearch>(n, nullptr);
    search = own.get();
  }
  search->Start();
  const double score = SearchWith(search, entry, BestChainEntries + 1);
  search->Finish();
  return score;
}

void SearchBestChains(const std::vector<FileEntry*>& entries, uint32_t n, std::vector<FoundChain>& found) {
  found.assign(entries.size(), FoundChain());
  // Each file's search is its own and its files only read, so any share-out
  // among the threads gives the same chains.
  // Each thread's search builds its own tables of the trees (about 1.7 MB
  // on a tree of 4,000 files); with one or two older trees a chain is a
  // step or two, not worth them.
  const uint32_t threads = n < 4 ? 1 : std::max<uint32_t>(1, std::min<uint32_t>(CoreCount(), 8));
  const size_t choiceLimit = kChoiceLimit / threads;
  std::atomic<size_t> next{0};
  RunOnWorkers(entries.size() > 1 ? threads - 1 : 0, [&]() {
    ChainSearch search(n, nullptr);
    for (size_t i; (i = next.fetch_add(1)) < entries.size();) {
      FoundChain& f = found[i];
      f.chain[0] = entries[i];
      search.Start();
      f.score = SearchWith(&search, entries[i], f.chain.data() + 1);
      search.Finish();
      search.Trim(choiceLimit);
    }
  });
}
