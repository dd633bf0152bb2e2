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

#include "crc32fast.h"
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

// Four tables in turn: in a run of one byte value (executables are full of
// them) each count would otherwise wait for the one before it.
void CountBytes(const uint8_t* p, size_t n, uint32_t (&counts)[4][256]) {
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    counts[0][p[i]]++;
    counts[1][p[i + 1]]++;
    counts[2][p[i + 2]]++;
    counts[3][p[i + 3]]++;
  }
  for (; i < n; ++i) counts[0][p[i]]++;
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
  uint32_t counts[4][256] = {};
  uint8_t buffer[2000];
  // A small file within the budget is read straight into the bytes it keeps:
  // one allocation of the right size, and no copy. The budget is claimed
  // first, so that a file past it allocates nothing.
  std::vector<uint8_t> bytes;
  uint64_t expected = 0;
  size_t claimed = 0;
  bool keep = false;
  const bool sized = stamped ? (expected = before.size, true) : SysOpenFileSize(f, expected);
  if (InMemory && sized && expected <= kKeepFileBytes) {
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
    CountBytes(to, got, counts);
    crc = crcfast::Update(to, got, crc);
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
  uint32_t histogram[256];
  for (int i = 0; i < 256; ++i) histogram[i] = counts[0][i] + counts[1][i] + counts[2][i] + counts[3][i];
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
    std::vector<FileEntry*> entries(newest->Count());
    for (uint32_t e = 0; e < newest->Count(); ++e) entries[e] = newest->At(e);
    std::vector<FoundChain> found;
    SearchBestChains(entries, n, found);
    for (uint32_t e = 0; e < newest->Count(); ++e) {
      FileEntry* entry = entries[e];
      const double score = found[e].score;
      std::copy(found[e].chain.begin(), found[e].chain.end(), BestChainEntries);
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
