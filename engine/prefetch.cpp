#include "prefetch.h"

#include <cstdio>
#include <system_error>

#include "scan.h"
#include "sys.h"

FilePrefetcher* ActivePrefetcher = nullptr;

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes, uint32_t& time) {
  FILE* f = SysOpenFile(path, "rb");
  if (!f) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  uint64_t size = 0;
  bool ok = SysOpenFileSize(f, size) && size <= 0xFFFFFFFFull;
  if (ok) {
    time = FileTimeOf(f);
    bytes.resize(static_cast<size_t>(size));
    ok = size == 0 || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  std::fclose(f);
  return ok;
}

}  // namespace

FilePrefetcher::FilePrefetcher(std::vector<std::string> order, std::vector<uint32_t> sizes, size_t maxBytes,
                               size_t maxFiles, std::vector<Given> given)
    : order_(std::move(order)), sizes_(std::move(sizes)), slots_(order_.size()), maxBytes_(maxBytes),
      maxFiles_(maxFiles) {
  for (size_t k = 0; k < given.size() && k < slots_.size(); ++k) {
    if (!given[k].given) continue;
    slots_[k].bytes.swap(given[k].bytes);
    slots_[k].time = given[k].time;
    slots_[k].state = Slot::kRead;
  }
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // Without the thread every file not given is read the usual way.
    for (Slot& s : slots_)
      if (s.state == Slot::kWaiting) s.state = Slot::kLeft;
  }
}

FilePrefetcher::~FilePrefetcher() {
  {
    std::lock_guard<EngineMutex> hold(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void FilePrefetcher::Run() {
  std::unique_lock<EngineMutex> hold(lock_);
  for (size_t k = 0; k < order_.size(); ++k) {
    if (slots_[k].state != Slot::kWaiting) continue;
    const size_t size = sizes_[k];
    if (size > maxBytes_) {
      slots_[k].state = Slot::kLeft;
      changed_.notify_all();
      continue;
    }
    changed_.wait(hold, [&] {
      return quit_ || k < taken_ || (heldFiles_ < maxFiles_ && heldBytes_ + size <= maxBytes_);
    });
    if (quit_) return;
    if (k < taken_) continue;  // passed by meanwhile
    heldBytes_ += size;
    hold.unlock();
    Slot read;
    bool ok = false;
    try {
      ok = ReadWhole(order_[k], read.bytes, read.time);
    } catch (...) {
      ok = false;  // out of memory: the caller reads it
    }
    hold.lock();
    heldBytes_ -= size;
    if (k >= taken_) {
      Slot& slot = slots_[k];
      slot.bytes.swap(read.bytes);
      slot.time = read.time;
      slot.state = ok ? Slot::kRead : Slot::kLeft;
      if (ok) {
        slot.held = true;
        heldBytes_ += slot.bytes.size();
        ++heldFiles_;
      } else {
        slot.bytes.clear();
      }
    }
    changed_.notify_all();
  }
}

bool FilePrefetcher::Take(const std::string& path, std::vector<uint8_t>& bytes, uint32_t& time) {
  std::unique_lock<EngineMutex> hold(lock_);
  if (taken_ >= order_.size() || order_[taken_] != path) return false;
  const size_t k = taken_;
  changed_.wait(hold, [&] { return slots_[k].state != Slot::kWaiting || !thread_.joinable(); });
  Slot& slot = slots_[k];
  bool got = slot.state == Slot::kRead;
  if (got) {
    bytes.swap(slot.bytes);
    time = slot.time;
  }
  if (slot.held) {
    heldBytes_ -= bytes.size();
    --heldFiles_;
    slot.held = false;
  }
  std::vector<uint8_t>().swap(slot.bytes);
  ++taken_;
  changed_.notify_all();
  return got;
}
