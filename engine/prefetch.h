// Reading ahead for a directory run: while one pair is diffed, a thread of
// its own reads the files of the next pairs, so that a tree of many small
// files does not wait for each open and read in turn (under Wine each open
// is a round trip to the server). The files are handed over in the very
// order the pairs ask for them; anything else is read the usual way.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "sync.h"

class FilePrefetcher {
 public:
  // The files in the order they will be asked for, with their expected
  // sizes; at most maxBytes and maxFiles are held ahead, and a file larger
  // than maxBytes is left to the caller.
  // A file already in memory comes as given (bytes and DOS time), outside
  // those limits.
  struct Given {
    std::vector<uint8_t> bytes;
    uint32_t time = 0;
    bool given = false;
  };
  FilePrefetcher(std::vector<std::string> order, std::vector<uint32_t> sizes, size_t maxBytes, size_t maxFiles,
                 std::vector<Given> given = {});
  ~FilePrefetcher();
  FilePrefetcher(const FilePrefetcher&) = delete;
  FilePrefetcher& operator=(const FilePrefetcher&) = delete;

  // The content and DOS time of path when it is the next file of the order
  // and could be read; false otherwise.
  bool Take(const std::string& path, std::vector<uint8_t>& bytes, uint32_t& time);

 private:
  struct Slot {
    enum State { kWaiting, kRead, kLeft } state = kWaiting;
    std::vector<uint8_t> bytes;
    uint32_t time = 0;
    bool held = false;  // read here, so counted in heldBytes_ and heldFiles_
  };
  void Run();

  std::vector<std::string> order_;
  std::vector<uint32_t> sizes_;
  std::vector<Slot> slots_;
  size_t maxBytes_, maxFiles_;
  size_t taken_ = 0;      // files handed over or passed by
  size_t heldBytes_ = 0;  // read and not yet handed over
  size_t heldFiles_ = 0;
  bool quit_ = false;
  EngineMutex lock_;
  EngineCondition changed_;
  std::thread thread_;
};

// The prefetcher of the running directory run, or null; LoadPair asks it.
extern FilePrefetcher* ActivePrefetcher;
