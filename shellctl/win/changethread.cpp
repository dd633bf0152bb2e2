#include "changethread.h"

#include <vector>

// Everything the worker and the GUI thread share.  The worker holds a
// reference of its own, so a worker that outlives Destroy's wait still has
// its table, handles and events.
struct TChangeHandlerThread::State {
  volatile uint8_t command = cmdAdd;
  volatile LONG stop = 0;
  HANDLE commandEvent = nullptr;
  HANDLE ackEvent = nullptr;
  HANDLE pending = INVALID_HANDLE_VALUE;
  int pendingSlot = -1;
  HWND owner = nullptr;
  UINT message = 0;
  HANDLE slots[kSlots];
  volatile int resultSlot = -1;

  State() {
    for (HANDLE& h : slots) h = INVALID_HANDLE_VALUE;
    commandEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ackEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  ~State() {
    for (HANDLE h : slots)
      if (h != INVALID_HANDLE_VALUE) FindCloseChangeNotification(h);
    if (pending != INVALID_HANDLE_VALUE) FindCloseChangeNotification(pending);
    if (commandEvent) CloseHandle(commandEvent);
    if (ackEvent) CloseHandle(ackEvent);
  }
  int Used() const {
    int n = 0;
    for (HANDLE h : slots)
      if (h != INVALID_HANDLE_VALUE) ++n;
    return n;
  }
  void Close(int slot) {
    if (slots[slot] != INVALID_HANDLE_VALUE) FindCloseChangeNotification(slots[slot]);
    slots[slot] = INVALID_HANDLE_VALUE;
  }
};

TChangeHandlerThread::TChangeHandlerThread(HWND ownerWindow, UINT message) : state_(std::make_shared<State>()) {
  state_->owner = ownerWindow;
  state_->message = message;
  FreeOnTerminate = true;
  DuplicateHandle(GetCurrentProcess(), Handle(), GetCurrentProcess(), &waitHandle_, SYNCHRONIZE, FALSE, 0);
  Start();
}

TChangeHandlerThread::~TChangeHandlerThread() = default;

int TChangeHandlerThread::WatchCount() const { return state_->Used(); }

bool TChangeHandlerThread::Command(uint8_t command) {
  State& s = *state_;
  s.command = command;
  ResetEvent(s.ackEvent);
  SetEvent(s.commandEvent);
  return WaitForSingleObject(s.ackEvent, 2000) == WAIT_OBJECT_0;
}

bool TChangeHandlerThread::AddWatch(const std::string& path, DWORD filter, int& slot, bool subtree) {
  if (path.empty()) return false;
  HANDLE h = FindFirstChangeNotificationA(path.c_str(), subtree ? TRUE : FALSE, filter);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
  state_->pending = h;
  if (!Command(cmdAdd)) return false;
  if (state_->resultSlot < 0) return false;
  slot = state_->resultSlot;
  return true;
}

void TChangeHandlerThread::StopAll() { Command(cmdRemoveAll); }

void TChangeHandlerThread::Destroy() {
  // Nothing of this object is touched after the wait: an ended worker has
  // freed it.
  HANDLE thread = waitHandle_;
  std::shared_ptr<State> s = state_;
  s->command = cmdQuit;
  SetEvent(s->commandEvent);
  if (thread) {
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
  }
}

void TChangeHandlerThread::Execute() {
  std::shared_ptr<State> keep = state_;
  State& s = *keep;
  std::vector<HANDLE> handles;
  std::vector<int> slotOf;
  for (;;) {
    handles.assign(1, s.commandEvent);
    slotOf.assign(1, -1);
    for (int i = 0; i < kSlots; ++i)
      if (s.slots[i] != INVALID_HANDLE_VALUE) {
        handles.push_back(s.slots[i]);
        slotOf.push_back(i);
      }
    DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    if (s.stop) return;
    if (r == WAIT_FAILED || r >= WAIT_OBJECT_0 + handles.size()) {
      // A handle that cannot be waited on would fail every wait: find it
      // and drop it rather than spin.  It is not closed, as its value may
      // already belong to something else.
      if (WaitForSingleObject(s.commandEvent, 0) == WAIT_FAILED) return;
      for (size_t k = 1; k < handles.size(); ++k)
        if (WaitForSingleObject(handles[k], 0) == WAIT_FAILED) s.slots[slotOf[k]] = INVALID_HANDLE_VALUE;
      continue;
    }
    const size_t index = r - WAIT_OBJECT_0;
    if (index == 0) {
      switch (s.command) {
        case cmdAdd: {
          int free = -1;
          if (s.Used() < kMaxWatches)
            for (int i = 0; i < kSlots && free < 0; ++i)
              if (s.slots[i] == INVALID_HANDLE_VALUE) free = i;
          if (free >= 0) {
            s.slots[free] = s.pending;
          } else if (s.pending != INVALID_HANDLE_VALUE) {
            FindCloseChangeNotification(s.pending);  // no place for it
          }
          s.pending = INVALID_HANDLE_VALUE;
          s.resultSlot = free;
          break;
        }
        case cmdRemove:
          if (s.pendingSlot >= 0 && s.pendingSlot < kSlots) s.Close(s.pendingSlot);
          break;
        case cmdRemoveAll:
          for (int i = 0; i < kSlots; ++i) s.Close(i);
          break;
        default:
          return;  // quit, unacknowledged
      }
      SetEvent(s.ackEvent);
      continue;
    }
    const int slot = slotOf[index];
    if (s.owner) PostMessageA(s.owner, s.message, static_cast<WPARAM>(slot), 0);
    if (!FindNextChangeNotification(s.slots[slot])) s.Close(slot);
  }
}
