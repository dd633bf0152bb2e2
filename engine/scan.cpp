#include "scan.h"

#include <algorithm>
#include <atomic>
#include <bitset>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dirsys.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "prefetch.h"
#include "sys.h"
#include "workers.h"

uint32_t DirectorySerial = 0;
uint32_t NewestFileTime = 0;
FileEntry* WorkingChain[kChainLength];
FileEntry* BestChainEntries[kChainLength];

namespace {

bool EndsInSeparator(const std::string& path) {
  if (path.empty()) return false;
  char c = path.back();
  return c == SysPathSeparator() || c == '/' || c == '\\';
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return UpperText(a) == UpperText(b);
}

// Relative names always separate with "\", whatever the platform.
std::string JoinRelative(const std::string& relative, const std::string& name) {
  if (relative.empty()) return name;
  if (relative.back() == '\\') return relative + name;
  return relative + "\\" + name;
}

// Below this many files a tree is read on the calling thread alone.
const size_t kParallelScanFiles = 32;

// The scan keeps the bytes of files up to this size, up to this much per
// file listed: a tree of many small files then reads most of its pairs
// once, and the memory stays in proportion to the scan's own records.
const uint32_t kKeepFileBytes = 64u << 10;
const size_t kKeepPerFile = 2048;
std::atomic<size_t> KeptBytes(0);
std::atomic<size_t> KeepBudget(0);

void RefuseUnreadable(const std::string& path) {
  EngineMessage("Error, can't access file \"%s\" in directory being scanned!",
                "Fehler, kann Datei \"%s\" im gescannten Verzeichnis nicht \xf6" "ffnen!", path.c_str());
}

[[noreturn]] void RefuseChanged(const std::string& path) {
  EngineMessage("Error, file \"%s\" changed while the patch was made!\nPlease make the patch again once the file "
                "stays as it is.",
                "Fehler, Datei \"%s\" wurde ge\xe4ndert, w\xe4hrend der Patch erstellt wurde!\nBitte erstellen Sie "
                "den Patch erneut, wenn die Datei unver\xe4ndert bleibt.",
                path.c_str());
}

// What the scan saw of each file, by full path: the pairs and the embedding
// read the files again later, and must find them the same. A later scan of
// the same path replaces the record.
struct ScannedState {
  uint32_t size = 0, crc = 0, time = 0;
};
std::unordered_map<std::string, ScannedState> Scanned;

void Remember(const FileEntry& entry) {
  ScannedState& state = Scanned[entry.fullPath];
  state.size = entry.size;
  state.crc = entry.crc;
  state.time = entry.time;
}

}  // namespace

FileEntry::FileEntry(const std::string& path, const std::string& relativeName)
    : fullPath(path), relativePath(relativeName) {
  if (!Read()) RefuseUnreadable(path);
  if (changed) RefuseChanged(path);
  NoteFileTime(time);
  Remember(*this);
}

FileEntry::FileEntry(const std::string& path, const std::string& relativeName, Unread)
    : fullPath(path), relativePath(relativeName) {}

bool FileEntry::Read() {
  FILE* f = SysOpenFile(fullPath, "rb");
  if (!f) return false;
  // A buffer of the stream's own would be allocated and freed for every
  // file of the tree.
  char streamBuffer[8192];
  std::setvbuf(f, streamBuffer, _IOFBF, sizeof streamBuffer);
  // A file written to while it is read gives a size and checksum of no
  // state it ever had as a whole.
  SysFileStamp before, after;
  const bool stamped = SysOpenFileStamp(f, before);
  time = FileTimeOf(f);
  crc = 0xFFFFFFFF;
  uint32_t histogram[256] = {};
  uint8_t buffer[2000];
  // A small file within the budget is read straight into the bytes it keeps:
  // one allocation of the right size, and no copy. The budget is claimed
  // first, so that a file past it allocates nothing.
  std::vector<uint8_t> bytes;
  uint64_t expected = 0;
  size_t claimed = 0;
  bool keep = false;
  if (InMemory && SysOpenFileSize(f, expected) && expected <= kKeepFileBytes) {
    claimed = static_cast<size_t>(expected);
    keep = KeptBytes.fetch_add(claimed) + claimed <= KeepBudget;
    if (keep)
      bytes.resize(claimed);
    else
      KeptBytes.fetch_sub(claimed), claimed = 0;
  }
  size_t filled = 0;
  for (;;) {
    // Into the kept bytes while they have room; a file that has grown since
    // its size was asked goes on through the buffer, and its pair reads it
    // again.
    const bool into = filled < bytes.size();
    uint8_t* to = into ? bytes.data() + filled : buffer;
    size_t got = std::fread(to, 1, into ? bytes.size() - filled : sizeof buffer, f);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) histogram[to[i]]++;
    crc = Crc32Update(to, static_cast<int32_t>(got), crc);
    size += static_cast<uint32_t>(got);
    if (into)
      filled += got;
    else
      keep = false;
  }
  bool failed = std::ferror(f) != 0;
  if (!failed && stamped && (!SysOpenFileStamp(f, after) || after != before || after.size != size)) changed = true;
  std::fclose(f);
  // A read that breaks off would leave a wrong size and checksum, and a file
  // matched on them could be skipped as identical when it is not.
  if (keep && !failed && !changed) {
    KeptBytes.fetch_sub(claimed - filled);  // shrunk meanwhile
    bytes.resize(filled);
    kept.swap(bytes);
    hasKept = true;
  } else {
    KeptBytes.fetch_sub(claimed);
  }
  if (failed) return false;
  if (size > 0)
    for (int i = 0; i < 256; ++i) frequencies[i] = static_cast<double>(histogram[i]) / size;
  for (int i = 0; i < 256; ++i)
    if (histogram[i]) present[i / 64] |= uint64_t(1) << (i % 64);
  return true;
}

DirectoryStream::DirectoryStream(const std::string& path) : DirectoryStream(path, true) {}

DirectoryStream::DirectoryStream(const std::string& path, bool scan) : root(path), serial(DirectorySerial++) {
  if (!scan) return;
  try {
    ScanDirectory(this, path, "");
  } catch (...) {
    // No destructor runs for a stream whose construction failed.
    DeleteEntries();
    throw;
  }
}

DirectoryStream::~DirectoryStream() { DeleteEntries(); }

void DirectoryStream::DeleteEntries() {
  for (uint32_t i = 0; i < entries.Count(); ++i) delete At(i);
  entries.Clear();
}

void ResetDirectorySerial() {
  DirectorySerial = 0;
  Scanned.clear();
  NewestFileTime = 0;
  KeptBytes = 0;
  KeepBudget = 0;
}

namespace {

// Whether an ignore pattern drops the file from this stream (and then says
// so).
bool Ignored(const DirectoryStream* stream, const std::string& path, const std::string& relative) {
  bool older = SourceCount >= 2 && stream->serial < SourceCount - 2;
  for (const IgnorePattern& p : IgnorePatterns) {
    bool applies;
    if (older)
      applies = p.allOld || (stream->serial < static_cast<uint32_t>(kMaxSourceEntries) && p.perVersion[stream->serial]);
    else
      applies = p.newest != 0;
    if (applies && MatchesPattern(p.pattern, relative, p.flag)) {
      std::printf("File \"%s\" ignored due to pattern \"%s\".\n", path.c_str(), p.pattern.c_str());
      return true;
    }
  }
  return false;
}

void Append(DirectoryStream* stream, std::unique_ptr<FileEntry> entry) {
  stream->totalSize += entry->size;
  stream->entries.Append(reinterpret_cast<DynElement>(entry.release()));
}

// The separator of the patch's names cannot be part of one: an applier
// would look for a folder that is not there. (Windows names never hold one,
// and there a double-byte character may end in the same byte.)
bool HoldsBackslash(const std::string& name) {
  return SysPathSeparator() != '\\' && name.find('\\') != std::string::npos;
}

void RefuseBackslash(const std::string& path) {
  EngineMessage("Error, the name of \"%s\" holds a \"\\\", which separates folders in the patchfile's names;\n"
                "please rename it before making the patch.",
                "Fehler, der Name von \"%s\" enth\xe4lt ein \"\\\", das in den Namen der Patchdatei Verzeichnisse "
                "trennt;\nbitte benennen Sie ihn vor dem Patchen um.",
                path.c_str());
}

void RefuseOutsideCodePage(const std::string& folder, const std::string& shown) {
  EngineMessage("Error, folder \"%s\" holds a name (shown as \"%s\") with characters outside the code page;\nit "
                "can't be written in the patchfile's 8-bit names, please rename it.",
                "Fehler, Verzeichnis \"%s\" enth\xe4lt einen Namen (angezeigt als \"%s\") mit Zeichen au\xdf" "erhalb "
                "der Codepage;\ner kann nicht in die 8-Bit-Namen der Patchdatei geschrieben werden, bitte benennen Sie "
                "ihn um.",
                folder.c_str(), shown.c_str());
}

struct PathStep {
  SysDirectoryId id;
  std::string path;
};

// The files of the tree below path in scan order, ignored ones left out;
// false when path cannot be listed. onPath holds the directories from the
// root down to path: a link back into one of them would be scanned again
// and again, each time one level deeper.

bool ListTree(const DirectoryStream* stream, const std::string& path, const std::string& relative,
              std::vector<PathStep>& onPath, std::vector<std::unique_ptr<FileEntry>>& files) {
  std::vector<SysDirEntry> list;
  if (!SysListDirectory(path, list)) return false;
  for (const SysDirEntry& e : list) {
    if (e.hidden && !ScanFlag) continue;
    std::string full = AppendBackslash(path) + e.name;
    std::string rel = JoinRelative(relative, e.name);
    if (e.isDirectory) {
      if (e.outsideCodePage) RefuseOutsideCodePage(path, e.name);
      if (HoldsBackslash(e.name)) RefuseBackslash(full);
      PathStep step{SysDirectoryId(), full};
      const bool known = SysDirectoryIdentity(full, step.id);
      auto above = std::find_if(onPath.begin(), onPath.end(), [&](const PathStep& s) { return s.id == step.id; });
      if (known && above != onPath.end()) {
        std::printf("Folder \"%s\" skipped, it leads back into \"%s\", which is being scanned.\n", full.c_str(),
                    above->path.c_str());
        continue;
      }
      if (known) onPath.push_back(step);
      ListTree(stream, full, rel, onPath, files);
      if (known) onPath.pop_back();
    } else if (!Ignored(stream, full, rel)) {
      if (e.outsideCodePage) RefuseOutsideCodePage(path, e.name);
      if (HoldsBackslash(e.name)) RefuseBackslash(full);
      files.push_back(std::make_unique<FileEntry>(full, rel, FileEntry::Unread()));
    }
  }
  return true;
}

}  // namespace

bool ScanDirectory(DirectoryStream* stream, const std::string& path, const std::string& relative) {
  std::vector<std::unique_ptr<FileEntry>> files;
  std::vector<PathStep> onPath;
  PathStep root{SysDirectoryId(), path};
  if (SysDirectoryIdentity(path, root.id)) onPath.push_back(root);
  if (!ListTree(stream, path, relative, onPath, files)) return false;
  // The files are read side by side: most of the time of a tree of small
  // files goes into opening them, which the helpers wait for together. The
  // first that cannot be read, in scan order, ends the run as before.
  KeepBudget += files.size() * kKeepPerFile;
  std::vector<uint8_t> read(files.size(), 0);
  std::atomic<size_t> next(0);
  auto work = [&]() {
    for (size_t i; (i = next.fetch_add(1)) < files.size();) read[i] = files[i]->Read() ? 1 : 0;
  };
  if (files.size() >= kParallelScanFiles)
    RunOnWorkers(CoreCount() - 1, work);
  else
    work();
  for (size_t i = 0; i < files.size(); ++i) {
    if (!read[i]) RefuseUnreadable(files[i]->fullPath);
    if (files[i]->changed) RefuseChanged(files[i]->fullPath);
    NoteFileTime(files[i]->time);
    Remember(*files[i]);
    Append(stream, std::move(files[i]));
  }
  return true;
}

void AddFile(DirectoryStream* stream, const std::string& path, const std::string& relative) {
  if (!Ignored(stream, path, relative)) Append(stream, std::make_unique<FileEntry>(path, relative));
}

void ConfirmAsScanned(const std::string& path, uint32_t size, uint32_t time) {
  auto it = Scanned.find(path);
  if (it == Scanned.end()) return;
  if (it->second.size != size || it->second.time != time) RefuseChanged(path);
}

void ConfirmChecksumAsScanned(const std::string& path, uint32_t size, uint32_t crc) {
  auto it = Scanned.find(path);
  if (it == Scanned.end()) return;
  if (it->second.size != size || it->second.crc != crc) RefuseChanged(path);
}

void ConfirmAsScanned(const std::string& path, const uint8_t* data, uint32_t size) {
  auto it = Scanned.find(path);
  if (it == Scanned.end()) return;
  if (it->second.size != size) RefuseChanged(path);
  uint32_t crc = 0xFFFFFFFF;
  // Crc32Update counts in signed 32 bits.
  for (uint32_t done = 0; done < size;) {
    uint32_t n = size - done > 0x40000000u ? 0x40000000u : size - done;
    crc = Crc32Update(data + done, static_cast<int32_t>(n), crc);
    done += n;
  }
  if (crc != it->second.crc) RefuseChanged(path);
}

FileEntry* FindByRelativeName(const DirectoryStream* stream, const std::string& relative) {
  std::string wanted = UpperText(relative);
  for (uint32_t i = 0; i < stream->Count(); ++i) {
    FileEntry* e = stream->At(i);
    if (UpperText(e->relativePath) == wanted) return e;
  }
  return nullptr;
}

bool Identical(const FileEntry* a, const FileEntry* b) {
  return a->size == b->size && a->crc == b->crc && std::memcmp(a->frequencies, b->frequencies, sizeof a->frequencies) == 0;
}

double Similarity(const FileEntry* a, const FileEntry* b) {
  double s = 0;
  return SimilarityAbove(a, b, 0, &s) ? s : 0.0;
}

// The matcher compares every new file with every file of every older tree
// and keeps only the best, so most comparisons are cut short: the sum of
// squares only grows, and 1 - sum bounds the result from above at every
// step (rounding included: 1 - x does not grow with x, and the 0.01 steps
// only lower it). The result, when it is computed, is the same number.
bool SimilarityAbove(const FileEntry* a, const FileEntry* b, double floor, double* similarity) {
  if (Identical(a, b)) {
    *similarity = 1.0;
    return 1.0 > floor;
  }
  if (b->size < 200) return false;
  double d = 0;
  for (int i = 0; i < 256; i += 32) {
    for (int k = i; k < i + 32; ++k) {
      double diff = a->frequencies[k] - b->frequencies[k];
      d += diff * diff;
    }
    if (1.0 - d <= floor) return false;
  }
  double s = 1.0 - d;
  int unshared = 0;
  for (int w = 0; w < 4; ++w) unshared += __builtin_popcountll(a->present[w] ^ b->present[w]);
  for (int k = 0; k < unshared; ++k) s -= 0.01;
  if (s < 0) s = 0.0;
  *similarity = s;
  return s > floor;
}

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
//   asks for it.  Where the remaining trees are many, the bound also keeps
//   each tree left at most once (an assignment problem).
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
// Remembered states and choices are dropped between files of the newest tree
// once there are this many (about 50 MB), so that a large run stays within a
// 32-bit address space.
constexpr size_t kMemoLimit = size_t(1) << 20;
constexpr size_t kChoiceLimit = size_t(1) << 21;
// The one departure from the plain search, a bound on the work for one file
// of the newest tree: at most this many states are explored (a few
// microseconds each, so under a second).  Once they are spent the best chain
// found so far is taken, which need not be the best there is.  Twenty
// versions that drift a little at a time need fewer; landscapes where very
// many orders score within a hair of each other reach it.
constexpr size_t kStateBudget = 300000;
// Far above the rounding of a similarity, far below any difference between
// two files that the matcher could act on.
constexpr double kSimilarityMargin = 1e-9;

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

  // Sets up the bounds for a search from this file: for each pair of older
  // trees the best similarity with which a file reachable from here enters
  // one tree from the other.
  void Prepare(uint32_t from) {
    if (stamps_.size() < files_.size()) stamps_.resize(files_.size(), 0);
    ++stamp_;
    std::vector<uint32_t> reach{from};
    stamps_[from] = stamp_;
    // With one older tree nothing below depends on the files beyond the
    // first step, and finding their own choices would compare each with
    // its whole tree.
    const size_t explored = older_ > 1 ? SIZE_MAX : 1;
    for (size_t r = 0; r < reach.size() && r < explored; ++r)
      for (uint32_t j = 0; j < older_; ++j) {
        Choice c = ChoiceIn(static_cast<int>(j), reach[r]);
        if (c.file >= 0 && stamps_[static_cast<uint32_t>(c.file)] != stamp_) {
          stamps_[static_cast<uint32_t>(c.file)] = stamp_;
          reach.push_back(static_cast<uint32_t>(c.file));
        }
      }
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
    entering_.assign(size_t(older_) * older_, 0.0);
    for (uint32_t x : reach) {
      int i = treeOf_[x];
      if (!OlderTree(i)) continue;
      for (uint32_t j = 0; j < older_; ++j) {
        if (static_cast<int>(j) == i) continue;
        double& e = entering_[j * older_ + static_cast<uint32_t>(i)];
        e = std::max(e, ChoiceIn(static_cast<int>(j), x).similarity);
      }
    }
    enteringCost_.resize(entering_.size());
    for (size_t i = 0; i < entering_.size(); ++i) enteringCost_[i] = entering_[i] > 0 ? -std::log(entering_[i]) : kForbidden;
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

    if (spent_ >= kStateBudget) {
      // Not remembered: "at most bar" is a guess from here on.
      cut_ = true;
      *exact = false;
      return bar;
    }
    ++spent_;
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
        double p = entering_[j * older_ + i];
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

  // False when no chain from this file through the remaining trees can
  // score above bar.  Each remaining tree is entered once, from the file or
  // from another remaining tree, and each of those is left at most once: the
  // best such assignment (in -log terms the least cost) bounds every chain.
  bool Reachable(uint32_t from, uint64_t remaining, double bar) {
    int trees[kMaxSearchTrees];
    int count = 0;
    for (uint32_t j = 0; j < older_; ++j)
      if (remaining & Bit(static_cast<int>(j))) trees[count++] = static_cast<int>(j);
    if (count < 8) return true;  // small searches cost less than the bound
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
                        : enteringCost_[static_cast<uint32_t>(trees[c]) * older_ + static_cast<uint32_t>(trees[r])];
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

  // Starts the work on one file: a fresh budget.
  void Start() { spent_ = 0; }

  // After the work on one file: what a search cut short remembers is not
  // necessarily the best, so it must not serve another file.
  void Finish() {
    if (cut_) memo_.Clear();
    cut_ = false;
  }

  // Between files of the newest tree: keeps memory bounded.
  void Trim() {
    if (memo_.Size() > kMemoLimit) memo_.Clear();
    if (choiceCount_ > kChoiceLimit) {
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
  std::vector<double> entering_;  // [to * older + from]
  std::vector<double> enteringCost_;  // -log of the above
  uint64_t earlierTwins_[kMaxSearchTrees] = {};
  StateMemo memo_;
  std::vector<uint32_t> same_;
  std::unordered_map<uint64_t, std::vector<std::vector<uint32_t>>> sameKey_;  // by size and checksum
  size_t spent_ = 0;
  bool cut_ = false;
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
  bool known;
  const double deeper = search.Continue(file, visited, 0, &known);
  if (!known) return 0;
  search.Follow(file, visited, WorkingChain + depth + 1, kChainLength - static_cast<int>(depth) - 1);
  return c.similarity * deeper;
}

namespace {

double SearchWith(ChainSearch* search, FileEntry* entry) {
  const uint32_t older = search->Older();
  // Every chain that scores runs through all older trees.
  if (older == 0 || older + 1 >= static_cast<uint32_t>(kChainLength)) return 0;
  const uint32_t id = search->IdOf(entry);
  const uint64_t visited = search->VisitedMask();
  search->Prepare(id);
  double score = 0;
  if (visited == 0) {
    // The same as the search from every older tree in turn.
    bool known;
    score = search->Continue(id, 0, 0, &known);
    if (!known) return 0;
    search->Follow(id, 0, BestChainEntries + 1, kChainLength - 1);
    return score;
  }
  // Trees marked visited by a caller: each older tree is still tried as the
  // first step, as the plain search does.
  int bestTree = -1;
  for (uint32_t k = 0; k < older; ++k) {
    const Choice c = search->ChoiceIn(static_cast<int>(k), id);
    if (c.file < 0) continue;
    const uint64_t after = visited | Bit(static_cast<int>(k));
    double s = c.similarity;
    if (search->AllOlder() & ~after) {
      bool known;
      double v = search->Continue(static_cast<uint32_t>(c.file), after, ChainSearch::BarBelow(score, c.similarity),
                                  &known);
      if (!known) continue;
      s = c.similarity * v;
    }
    if (s > score) {
      score = s;
      bestTree = static_cast<int>(k);
    }
  }
  if (bestTree >= 0) {
    const Choice c = search->ChoiceIn(bestTree, id);
    BestChainEntries[1] = search->File(static_cast<uint32_t>(c.file));
    search->Follow(static_cast<uint32_t>(c.file), visited | Bit(bestTree), BestChainEntries + 2, kChainLength - 2);
  }
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
  const double score = SearchWith(search, entry);
  search->Finish();
  return score;
}

namespace {

// Drops chain elements that an older element reproduces exactly; returns the
// kept ones oldest first.
std::vector<FileEntry*> ThinChain(bool compareNames) {
  std::vector<FileEntry*> kept;
  for (int i = 0; i < kChainLength && BestChainEntries[i]; ++i) {
    FileEntry* cur = BestChainEntries[i];
    FileEntry* next = i + 1 < kChainLength ? BestChainEntries[i + 1] : nullptr;
    bool drop = next && (!compareNames || SameTextIgnoringCase(cur->relativePath, next->relativePath)) &&
                Identical(cur, next);
    if (drop && ForcePatch == 1 && kept.empty()) {
      bool nextIsLast = i + 2 >= kChainLength || BestChainEntries[i + 2] == nullptr;
      if (nextIsLast) drop = false;
    }
    if (!drop) kept.push_back(cur);
  }
  return std::vector<FileEntry*>(kept.rbegin(), kept.rend());
}

void FillSlots(const std::vector<FileEntry*>& chain) {
  for (size_t i = 0; i < chain.size(); ++i) {
    VersionSlots[i].fullPath = chain[i]->fullPath;
    VersionSlots[i].relativePath = chain[i]->relativePath;
  }
}

// What the matcher decided for one file of the newest tree.
struct FilePlan {
  bool embed = false;
  std::vector<FileEntry*> chain;  // kept versions, oldest first
};

// Files read ahead while a pair is diffed: enough to cover the wait for the
// next pairs' files, little next to the memory of a run.
const size_t kAheadBytes = 4u << 20;
const size_t kAheadFiles = 64;

}  // namespace

void MatchDirectories() {
  // The number of trees is fixed for the run; SourceCount changes per file.
  const uint32_t n = DirectoryStreams.Count();
  if (n == 0) return;
  auto* newest = reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(n - 1));
  const uint32_t total = newest->totalSize;
  uint32_t done = 0;
  // The chains depend on the trees alone, so they are all found first; the
  // files the pairs will read are then known in order and are read ahead.
  std::vector<FilePlan> plans(newest->Count());
  std::vector<std::string> order;
  std::vector<uint32_t> sizes;
  std::vector<FilePrefetcher::Given> given;
  // A file kept by the scan goes to its first pair; a second pair of the
  // same file reads it again.
  auto add = [&](FileEntry* file) {
    order.push_back(file->fullPath);
    sizes.push_back(file->size);
    given.emplace_back();
    if (!file->hasKept) return;
    given.back().bytes.swap(file->kept);
    given.back().time = file->time;
    given.back().given = true;
    file->hasKept = false;
  };
  {
    ChainSearchSession session(n);
    for (uint32_t e = 0; e < newest->Count(); ++e) {
      FileEntry* entry = newest->At(e);
      const double score = SearchBestChain(entry, n);
      session.Trim();
      entry->processed = 1;
      FilePlan& plan = plans[e];
      if (score == 0 || (entry->size <= 100 && score < 0.999)) {
        plan.embed = true;
        continue;
      }
      plan.chain = ThinChain(true);
      std::vector<FileEntry*>& chain = plan.chain;
      if (chain.size() > static_cast<size_t>(kMaxVersions)) chain.erase(chain.begin(), chain.end() - kMaxVersions);
      // WritePatchedFile loads the pairs newest first.
      for (size_t i = chain.size(); i-- > 1;) {
        add(chain[i - 1]);
        add(chain[i]);
      }
    }
  }
  // What no pair takes goes before the pairs start.
  for (uint32_t t = 0; t < n; ++t) {
    auto* stream = reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(t));
    for (uint32_t e = 0; e < stream->Count(); ++e) {
      std::vector<uint8_t>().swap(stream->At(e)->kept);
      stream->At(e)->hasKept = false;
    }
  }
  std::unique_ptr<FilePrefetcher> ahead;
  if (InMemory && !order.empty())
    ahead = std::make_unique<FilePrefetcher>(std::move(order), std::move(sizes), kAheadBytes, kAheadFiles,
                                             std::move(given));
  struct Active {
    explicit Active(FilePrefetcher* p) { ActivePrefetcher = p; }
    ~Active() { ActivePrefetcher = nullptr; }
  } active(ahead.get());
  for (uint32_t e = 0; e < newest->Count(); ++e) {
    FileEntry* entry = newest->At(e);
    const FilePlan& plan = plans[e];
    if (plan.embed) {
      std::printf("No source for \"%s\", embedding file.\n", entry->relativePath.c_str());
      EmbedFile(entry->fullPath, entry->relativePath);
    } else {
      const std::vector<FileEntry*>& chain = plan.chain;
      FillSlots(chain);
      if (chain.size() == 1) {
        std::printf("File \"%s\" identical in all sources, skiped.\n", entry->relativePath.c_str());
      } else if (chain.size() > 1) {
        if (FileProgressHook) FileProgressHook(done, total, entry->relativePath.c_str());
        CurrentFileTime = UniformFileTime ? NewestFileTime : entry->time;
        SourceCount = static_cast<uint32_t>(chain.size());
        WritePatchedFile(entry->relativePath, static_cast<uint32_t>(chain.size()));
      }
    }
    done += entry->size;
  }
  if (FileProgressHook) FileProgressHook(done, total, "Done.");
}

void CheckFileMode() {
  if (SourceCount < 2) return;
  // The files of an earlier run count no more.
  Scanned.clear();
  const uint32_t n = SourceCount - 1;  // versions: n - 1 old, the newest last
  auto newestEntry = std::make_unique<FileEntry>(VersionSlots[n - 1].fullPath, VersionSlots[n - 1].fullPath);

  // Each old file forms a tree of its own; serial numbers follow the source
  // order so that per-version ignore patterns pick the right file.
  DirectorySerial = 0;
  for (uint32_t i = 0; i + 1 < n; ++i) {
    auto* stream = new DirectoryStream(VersionSlots[i].fullPath, false);
    DirectoryStreams.Append(reinterpret_cast<DynElement>(stream));
    AddFile(stream, VersionSlots[i].fullPath, VersionSlots[i].fullPath);
  }
  auto* newestStream = new DirectoryStream(VersionSlots[n - 1].fullPath, false);
  newestStream->visited = 1;
  DirectoryStreams.Append(reinterpret_cast<DynElement>(newestStream));

  const double score = SearchBestChain(newestEntry.get(), n);
  if (score > 0) {
    std::vector<FileEntry*> chain = ThinChain(false);
    if (chain.size() <= 1)
      EngineMessage("Error, file \"%s\" identical to all sources,\nuse option \"-f\" to force creating a patch.",
                    "Fehler, Datei \"%s\" identisch mit allen Quellen,\nnutzen Sie Option \"-f\" um das Patchen zu "
                    "erzwingen.",
                    newestEntry->fullPath.c_str());
    FillSlots(chain);
    SourceCount = static_cast<uint32_t>(chain.size()) + 1;
  } else if (!ForcePatch) {
    EngineMessage("Error, the files you gave seem not to match all at. Please remember\nthat Morvane will not perform "
                  "well with (internally) compressed files\nwhich you should uncompress before creating the "
                  "patchfile.",
                  "Fehler, die Dateien scheinen nicht \xe4hnlich zu sein. Bitte bedenken\nSie, da\xdf Morvane nicht "
                  "gut mit komprimierten Dateien arbeiten kann,\ndaher sollten Sie diese vorher entkomprimieren.");
  }
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  return (static_cast<uint32_t>(year - 1980) << 25) + (static_cast<uint32_t>(month) << 21) +
         (static_cast<uint32_t>(day) << 16) + (static_cast<uint32_t>(hour) << 11) +
         (static_cast<uint32_t>(minute) << 5) + static_cast<uint32_t>(second / 2);
}

uint32_t FileTime(FILE* file) {
  uint32_t value = FileTimeOf(file);
  NoteFileTime(value);
  return value;
}

void NoteFileTime(uint32_t time) {
  if (time > NewestFileTime) NewestFileTime = time;
}

uint32_t FileTimeOf(FILE* file) {
  uint32_t value;
  if (UseCurrentTime == 1) {
    // Read once, so that every file of the process carries the same time;
    // given in DOS form like every other time the patch file holds.
    static uint32_t now = [] {
      SysLocalTime t = SysNowLocal();
      return DosDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
    }();
    value = now;
  } else {
    SysLocalTime t;
    if (!SysFileModifiedLocal(file, t)) t = SysLocalTime();
    // The year field has 7 bits from 1980 on; anything outside would spill
    // into the neighbouring fields or wrap, so clamp to the nearest end.
    if (t.year < 1980) t = SysLocalTime();
    if (t.year > 2107) {
      t.year = 2107;
      t.month = 12;
      t.day = 31;
      t.hour = 23;
      t.minute = 59;
      t.second = 58;
    }
    value = DosDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
  }
  return value;
}

bool IsDirectory(const std::string& path) { return SysIsDirectory(path); }

std::string AppendBackslash(const std::string& path) {
  if (path.empty() || EndsInSeparator(path)) return path;
  return path + SysPathSeparator();
}

bool FileInDirectory(const std::string& directory, const std::string& name) {
  std::vector<SysDirEntry> list;
  if (!SysListDirectory(directory, list)) return false;
  for (const SysDirEntry& e : list)
    if (SameTextIgnoringCase(e.name, name)) return true;
  return false;
}

bool FindOnPath(const std::string& name) {
  const char* env = std::getenv("PATH");
  std::string path = env ? env : "";
  const char sep = SysPathListSeparator();
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(sep, start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (!dir.empty() && FileInDirectory(dir, name)) return true;
    start = end + 1;
  }
  return FileInDirectory(".", name);
}

bool SameFileName(const std::string& a, const std::string& b) {
  return SameTextIgnoringCase(SysFullPath(a), SysFullPath(b));
}

void SetProgramDir(const std::string& path) {
  size_t cut = path.find_last_of(":/\\");
  ProgramDir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
