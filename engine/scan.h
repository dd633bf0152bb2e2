// Scanning of source trees, matching of files across versions, and the small
// file-system routines the engine shares (DOS file time, directory tests,
// search on PATH, program directory).
//
// Relative names (inside a tree) always use "\" as separator because the
// appliers read them that way; full paths use the platform's own separator.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "streams.h"

// One file of a scanned tree; reading the file once fills every field that
// the matcher compares later.
class FileEntry {
 public:
  FileEntry(const std::string& path, const std::string& relativeName);
  // Names only; Read fills the rest.
  struct Unread {};
  FileEntry(const std::string& path, const std::string& relativeName, Unread);
  // Reads the file, raising nothing and leaving NewestFileTime alone, so
  // that many files can be read at once; false when it cannot be read.
  bool Read();

  std::string fullPath;
  std::string relativePath;  // equal to fullPath in file mode
  uint32_t size = 0;
  uint32_t time = 0;  // DOS date and time
  uint32_t crc = 0;
  // Byte counts / size; all 0 for an empty file. Two files of one size have
  // the same counts exactly when these agree, so the counts are not kept.
  double frequencies[256] = {};
  uint64_t present[4] = {};      // bit v: value v occurs
  uint8_t processed = 0;
  // Read saw the file's size or last write change while it read it.
  bool changed = false;
  // The bytes of a small file as the scan read them, so that its pair need
  // not open it again (each open is a round trip to the server under
  // Wine); held only within a budget for the whole run.
  std::vector<uint8_t> kept;
  bool hasKept = false;
};

// One source tree and its files.
class DirectoryStream {
 public:
  // Takes the next serial number and scans the tree below path.
  explicit DirectoryStream(const std::string& path);
  // Takes the next serial number without scanning (file mode adds its one
  // file itself).
  DirectoryStream(const std::string& path, bool scan);
  ~DirectoryStream();
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;

  uint32_t Count() const { return entries.Count(); }
  FileEntry* At(uint32_t i) const { return reinterpret_cast<FileEntry*>(entries.Get(i)); }

  std::string root;
  uint32_t totalSize = 0;
  uint32_t serial = 0;
  uint8_t visited = 0;
  DynArray entries;  // FileEntry pointers, owned

 private:
  void DeleteEntries();
};

// Serial number the next DirectoryStream takes; 0 when a directory-mode run
// begins.  Also clears the newest file time seen (see FileTime).
void ResetDirectorySerial();
extern uint32_t DirectorySerial;

// Ends the run when a file the scan has read differs now, as read again by a
// pair or an embedding: its size or DOS time.  Files no scan has read pass.
void ConfirmAsScanned(const std::string& path, uint32_t size, uint32_t time);
// The same for a checksum (start 0xFFFFFFFF, no final XOR) taken meanwhile.
void ConfirmChecksumAsScanned(const std::string& path, uint32_t size, uint32_t crc);

bool ScanDirectory(DirectoryStream* stream, const std::string& path, const std::string& relative);
void AddFile(DirectoryStream* stream, const std::string& path, const std::string& relative);
FileEntry* FindByRelativeName(const DirectoryStream* stream, const std::string& relative);
bool Identical(const FileEntry* a, const FileEntry* b);
double Similarity(const FileEntry* a, const FileEntry* b);
// Whether Similarity(a, b) is above floor (which is at least 0), and then
// its value in *similarity; gives up on b as soon as it cannot be.
bool SimilarityAbove(const FileEntry* a, const FileEntry* b, double floor, double* similarity);
// The best chain from entry through tree stream and then every older tree
// (DirectoryStreams 0 .. n-2) not marked visited; its files go to
// WorkingChain from slot depth on.  Returns the product of the similarities
// along it, 0 when no chain runs through all those trees.
double BestChain(uint32_t n, DirectoryStream* stream, FileEntry* entry, uint32_t depth);
// The best chain for a file of the newest tree, over every order of the
// older trees; leaves it in BestChainEntries (slot 0 the file) and returns
// its score (0: nothing matches).
double SearchBestChain(FileEntry* entry, uint32_t n);

class ChainSearch;
// While one exists, SearchBestChain keeps what it has learnt about the trees
// from one file to the next, as the matcher of one run does.  The trees and
// n must stay the same meanwhile.
class ChainSearchSession {
 public:
  explicit ChainSearchSession(uint32_t n);
  ~ChainSearchSession();
  ChainSearchSession(const ChainSearchSession&) = delete;
  ChainSearchSession& operator=(const ChainSearchSession&) = delete;
  // Between files: forgets what was learnt once it has grown large.
  void Trim();

 private:
  std::unique_ptr<ChainSearch> search_;
};

// Chain buffers of the search: null-terminated, slot 0 the newest file.
const int kChainLength = 30;
extern FileEntry* WorkingChain[kChainLength];
extern FileEntry* BestChainEntries[kChainLength];

// SearchBestChain for many files of the newest tree, side by side on the
// engine's threads: found[i] gets the chain BestChainEntries would hold for
// entries[i] (slot 0 the file) and its score.
struct FoundChain {
  std::array<FileEntry*, kChainLength> chain{};
  double score = 0;
};
void SearchBestChains(const std::vector<FileEntry*>& entries, uint32_t n, std::vector<FoundChain>& found);

// Directory mode: writes one entry (patched or embedded) per file of the
// newest tree, or skips it.  Uses DirectoryStreams (newest last).
void MatchDirectories();
// File mode: orders and thins VersionSlots 0 .. SourceCount-2 and lowers
// SourceCount accordingly.
void CheckFileMode();

// The file's modification time as local DOS date and time (or the current
// time with UseCurrentTime = 1).  The largest value seen is kept.
uint32_t FileTime(FILE* file);
extern uint32_t NewestFileTime;
// The same time without keeping it as the newest seen.
uint32_t FileTimeOf(FILE* file);
// Keeps a time taken with FileTimeOf as the newest seen when it is.
void NoteFileTime(uint32_t time);
// DOS form of a local time (exposed for the tests).
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

bool IsDirectory(const std::string& path);
// Adds the platform's separator unless path is empty or already ends in one.
std::string AppendBackslash(const std::string& path);
bool FileInDirectory(const std::string& directory, const std::string& name);
bool FindOnPath(const std::string& name);
bool SameFileName(const std::string& a, const std::string& b);
void SetProgramDir(const std::string& path);
