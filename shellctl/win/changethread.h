// The shell controls' worker thread: it waits on directory change
// notifications and posts (message, slot) to its owner window for each
// signalled watch.  The GUI thread hands it commands through an event pair.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "win/appthread.h"

class TChangeHandlerThread : public TThread {
 public:
  enum { kSlots = 64, kMaxWatches = 63 };
  enum : uint8_t { cmdAdd = 0, cmdRemove = 1, cmdRemoveAll = 2, cmdQuit = 3 };

  // Made with 'new'; ended with Destroy.  The worker frees the object when
  // it ends, so a worker that does not end keeps what it uses.
  TChangeHandlerThread(HWND ownerWindow, UINT message);
  // False for an empty path, one that cannot be watched, an unanswered
  // command or a full table (at most 63 watches: one wait takes 64 handles,
  // the command event included).
  bool AddWatch(const std::string& path, DWORD filter, int& slot, bool subtree);
  void StopAll();
  // Asks the worker to quit and waits up to 30 s for it.
  void Destroy();
  int WatchCount() const;

 protected:
  void Execute() override;

 private:
  struct State;
  ~TChangeHandlerThread() override;
  bool Command(uint8_t command);
  std::shared_ptr<State> state_;
  HANDLE waitHandle_ = nullptr;  // a handle of the thread of our own
};
