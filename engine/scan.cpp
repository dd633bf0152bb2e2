#include "scan.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dirsys.h"
#include "messages.h"
#include "options.h"
#include "patchfile.h"
#include "sys.h"

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

}  // namespace

FileEntry::FileEntry(const std::string& path, const std::string& relativeName)
    : fullPath(path), relativePath(relativeName) {
  FILE* f = SysOpenFile(path, "rb");
  if (!f)
    EngineMessage("Error, can't access file \"%s\" in directory being scanned!",
                  "Fehler, kann Datei \"%s\" im gescannten Verzeichnis nicht \xf6" "ffnen!", path.c_str());
  time = FileTime(f);
  crc = 0xFFFFFFFF;
  uint8_t buffer[2000];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    for (size_t i = 0; i < got; ++i) histogram[buffer[i]]++;
    crc = Crc32Update(buffer, static_cast<int32_t>(got), crc);
    size += static_cast<uint32_t>(got);
  }
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  // A read that breaks off would leave a wrong size and checksum, and a file
  // matched on them could be skipped as identical when it is not.
  if (failed)
    EngineMessage("Error, can't access file \"%s\" in directory being scanned!",
                  "Fehler, kann Datei \"%s\" im gescannten Verzeichnis nicht \xf6" "ffnen!", path.c_str());
  if (size > 0)
    for (int i = 0; i < 256; ++i) frequencies[i] = static_cast<double>(histogram[i]) / size;
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
  NewestFileTime = 0;
}

bool ScanDirectory(DirectoryStream* stream, const std::string& path, const std::string& relative) {
  std::vector<SysDirEntry> list;
  if (!SysListDirectory(path, list)) return false;
  for (const SysDirEntry& e : list) {
    if (e.hidden && !ScanFlag) continue;
    std::string full = AppendBackslash(path) + e.name;
    std::string rel = JoinRelative(relative, e.name);
    if (e.isDirectory)
      ScanDirectory(stream, full, rel);
    else
      AddFile(stream, full, rel);
  }
  return true;
}

void AddFile(DirectoryStream* stream, const std::string& path, const std::string& relative) {
  bool older = SourceCount >= 2 && stream->serial < SourceCount - 2;
  for (const IgnorePattern& p : IgnorePatterns) {
    bool applies;
    if (older)
      applies = p.allOld || (stream->serial < static_cast<uint32_t>(kMaxSourceEntries) && p.perVersion[stream->serial]);
    else
      applies = p.newest != 0;
    if (applies && MatchesPattern(p.pattern, relative, p.flag)) {
      std::printf("File \"%s\" ignored due to pattern \"%s\".\n", path.c_str(), p.pattern.c_str());
      return;
    }
  }
  auto entry = std::make_unique<FileEntry>(path, relative);
  stream->totalSize += entry->size;
  stream->entries.Append(reinterpret_cast<DynElement>(entry.release()));
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
  return a->size == b->size && a->crc == b->crc && std::memcmp(a->histogram, b->histogram, sizeof a->histogram) == 0;
}

double Similarity(const FileEntry* a, const FileEntry* b) {
  if (Identical(a, b)) return 1.0;
  if (b->size < 200) return 0.0;
  double d = 0;
  for (int i = 0; i < 256; ++i) {
    double diff = a->frequencies[i] - b->frequencies[i];
    d += diff * diff;
  }
  double s = 1.0 - d;
  if (s < 0) return 0.0;
  for (int i = 0; i < 256; ++i) {
    bool inA = a->histogram[i] != 0, inB = b->histogram[i] != 0;
    if (inA != inB) s -= 0.01;
  }
  return s < 0 ? 0.0 : s;
}

namespace {

// The search tries every order of the older trees, which grows with the
// factorial of their number.  Its result from a tree depends only on that
// tree, the file it starts from and the set of trees already on the chain,
// so while one matcher runs each such state is computed once; the outcome,
// ties included, is exactly that of the plain search.
struct ChainState {
  const DirectoryStream* stream;
  const FileEntry* entry;
  uint64_t visited;
  uint32_t n;
  bool operator==(const ChainState& o) const {
    return stream == o.stream && entry == o.entry && visited == o.visited && n == o.n;
  }
};

struct ChainStateHash {
  size_t operator()(const ChainState& k) const {
    size_t h = std::hash<const void*>()(k.stream);
    h = h * 31 + std::hash<const void*>()(k.entry);
    h = h * 31 + std::hash<uint64_t>()(k.visited);
    return h * 31 + k.n;
  }
};

struct ChainResult {
  double score = 0;
  std::vector<FileEntry*> slots;  // the chain from this depth on; empty: no choice
};

struct Choice {
  FileEntry* entry = nullptr;
  double similarity = 0;
};

bool gMemoActive = false;
// While the memo is active: the visited flags of the older trees as bits, kept
// along with the flags so that a lookup does not walk the tree list.
uint64_t gVisitedMask = 0;
std::unordered_map<ChainState, ChainResult, ChainStateHash> gChainMemo;
std::map<std::pair<const DirectoryStream*, const FileEntry*>, Choice> gChoiceMemo;

class ChainMemoScope {
 public:
  ChainMemoScope() { Reset(true); }
  ~ChainMemoScope() { Reset(false); }

 private:
  static void Reset(bool active) {
    gChainMemo.clear();
    gChoiceMemo.clear();
    gMemoActive = active;
  }
};

Choice ChooseInTree(const DirectoryStream* stream, FileEntry* entry) {
  Choice c;
  if (FileEntry* same = FindByRelativeName(stream, entry->relativePath)) {
    double s = Similarity(entry, same);
    if (s >= 0.9) {
      c.entry = same;
      c.similarity = s;
    }
  }
  for (uint32_t i = 0; i < stream->Count(); ++i) {
    FileEntry* candidate = stream->At(i);
    double s = Similarity(entry, candidate);
    if (s > c.similarity) {
      c.entry = candidate;
      c.similarity = s;
    }
  }
  return c;
}

}  // namespace

double BestChain(uint32_t n, DirectoryStream* stream, FileEntry* entry, uint32_t depth) {
  // The chain buffers bound the depth; the application offers far fewer trees.
  if (depth + 1 >= static_cast<uint32_t>(kChainLength)) return 0;

  ChainState state{stream, entry, gVisitedMask, n};
  if (gMemoActive) {
    auto hit = gChainMemo.find(state);
    if (hit != gChainMemo.end()) {
      const ChainResult& r = hit->second;
      if (r.slots.empty()) return 0;
      for (uint32_t j = depth; j < static_cast<uint32_t>(kChainLength); ++j)
        WorkingChain[j] = j - depth < r.slots.size() ? r.slots[j - depth] : nullptr;
      return r.score;
    }
  }

  Choice c;
  if (gMemoActive) {
    auto key = std::make_pair(static_cast<const DirectoryStream*>(stream), static_cast<const FileEntry*>(entry));
    auto known = gChoiceMemo.find(key);
    c = known != gChoiceMemo.end() ? known->second : (gChoiceMemo[key] = ChooseInTree(stream, entry));
  } else {
    c = ChooseInTree(stream, entry);
  }
  FileEntry* choice = c.entry;
  const double best = c.similarity;
  if (!choice) {
    if (gMemoActive) gChainMemo[state] = ChainResult();
    return 0;
  }

  stream->visited = 1;
  uint64_t streamBit = 0;
  if (gMemoActive)
    for (uint32_t k = 0; k + 1 < n && k < DirectoryStreams.Count(); ++k)
      if (DirectoryStreams.Get(k) == reinterpret_cast<DynElement>(stream)) streamBit = uint64_t(1) << k;
  gVisitedMask |= streamBit;
  bool anyUnvisited = false;
  double deeper = 0;
  FileEntry* kept[kChainLength] = {};
  for (uint32_t k = 0; k + 1 < n && k < DirectoryStreams.Count(); ++k) {
    auto* tree = reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k));
    if (tree->visited) continue;
    anyUnvisited = true;
    for (uint32_t j = depth + 1; j < static_cast<uint32_t>(kChainLength); ++j) WorkingChain[j] = nullptr;
    double s = BestChain(n, tree, choice, depth + 1);
    if (s > deeper) {
      deeper = s;
      std::memcpy(kept, WorkingChain, sizeof kept);
    }
  }
  // Only the tree that gave the best continuation keeps its choices.
  for (uint32_t j = depth + 1; j < static_cast<uint32_t>(kChainLength); ++j) WorkingChain[j] = kept[j];
  stream->visited = 0;
  gVisitedMask &= ~streamBit;
  WorkingChain[depth] = choice;
  const double score = anyUnvisited ? best * deeper : best;
  if (gMemoActive) {
    ChainResult& r = gChainMemo[state];
    r.score = score;
    for (uint32_t j = depth; j < static_cast<uint32_t>(kChainLength) && WorkingChain[j]; ++j)
      r.slots.push_back(WorkingChain[j]);
  }
  return score;
}

namespace {

// Runs the chain search for one file of the newest tree; returns the score
// and leaves the chain in BestChainEntries.
double SearchChains(FileEntry* entry, uint32_t n) {
  std::memset(WorkingChain, 0, sizeof WorkingChain);
  WorkingChain[0] = entry;
  std::memcpy(BestChainEntries, WorkingChain, sizeof BestChainEntries);
  gVisitedMask = 0;
  for (uint32_t k = 0; k + 1 < n && k < DirectoryStreams.Count(); ++k)
    if (reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k))->visited) gVisitedMask |= uint64_t(1) << k;
  double score = 0;
  for (uint32_t k = 0; k + 1 < n; ++k) {
    auto* tree = reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(k));
    for (int j = 1; j < kChainLength; ++j) WorkingChain[j] = nullptr;
    double s = BestChain(n, tree, entry, 1);
    if (s > score) {
      std::memcpy(BestChainEntries, WorkingChain, sizeof BestChainEntries);
      score = s;
    }
  }
  return score;
}

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

}  // namespace

void MatchDirectories() {
  // The number of trees is fixed for the run; SourceCount changes per file.
  const uint32_t n = DirectoryStreams.Count();
  if (n == 0) return;
  auto* newest = reinterpret_cast<DirectoryStream*>(DirectoryStreams.Get(n - 1));
  const uint32_t total = newest->totalSize;
  uint32_t done = 0;
  for (uint32_t e = 0; e < newest->Count(); ++e) {
    FileEntry* entry = newest->At(e);
    double score;
    {
      // Per file, so that the remembered chains of a large run do not pile up.
      ChainMemoScope memo;
      score = SearchChains(entry, n);
    }
    entry->processed = 1;
    if (score == 0 || (entry->size <= 100 && score < 0.999)) {
      std::printf("No source for \"%s\", embedding file.\n", entry->relativePath.c_str());
      EmbedFile(entry->fullPath, entry->relativePath);
    } else {
      std::vector<FileEntry*> chain = ThinChain(true);
      if (chain.size() > static_cast<size_t>(kMaxVersions)) chain.erase(chain.begin(), chain.end() - kMaxVersions);
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

  double score;
  {
    ChainMemoScope memo;
    score = SearchChains(newestEntry.get(), n);
  }
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
  if (value > NewestFileTime) NewestFileTime = value;
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
