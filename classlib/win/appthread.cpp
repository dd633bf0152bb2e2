#include "appthread.h"

#include <process.h>

#include <deque>
#include <mutex>

namespace {

const UINT kSyncMessage = WM_APP + 0x3A01;
const UINT kWakeMessage = WM_APP + 0x3A02;

struct SyncRequest {
  const std::function<void()>* method;
  std::exception_ptr error;
  HANDLE done;
};

std::mutex g_mutex;
std::deque<SyncRequest*> g_queue;
DWORD g_gui_thread = 0;
HWND g_sync_window = nullptr;

LRESULT CALLBACK SyncWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kSyncMessage) {
    CheckSynchronize();
    return 0;
  }
  if (msg == kWakeMessage) return 0;
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

void InitThreadSynchronization() {
  if (g_sync_window) return;
  g_gui_thread = GetCurrentThreadId();
  WNDCLASSA wc{};
  wc.lpfnWndProc = SyncWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TThreadSyncWindow";
  RegisterClassA(&wc);
  // An ordinary hidden window rather than a message-only one: modal loops
  // that filter on the thread's windows still dispatch to it.
  g_sync_window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
}

bool IsGuiThread() { return g_gui_thread == 0 || GetCurrentThreadId() == g_gui_thread; }
DWORD GuiThreadID() { return g_gui_thread; }

void WakeGuiThread() {
  if (g_sync_window) PostMessageA(g_sync_window, kWakeMessage, 0, 0);
}

bool CheckSynchronize() {
  if (!IsGuiThread()) return false;
  bool ran = false;
  for (;;) {
    SyncRequest* r;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (g_queue.empty()) break;
      r = g_queue.front();
      g_queue.pop_front();
    }
    try {
      (*r->method)();
    } catch (...) {
      r->error = std::current_exception();
    }
    ran = true;
    SetEvent(r->done);
  }
  return ran;
}

void TThread::Synchronize(const std::function<void()>& method) {
  if (IsGuiThread() || !g_sync_window) {
    method();
    return;
  }
  SyncRequest r{&method, nullptr, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_queue.push_back(&r);
  }
  PostMessageA(g_sync_window, kSyncMessage, 0, 0);
  WaitForSingleObject(r.done, INFINITE);
  CloseHandle(r.done);
  if (r.error) std::rethrow_exception(r.error);
}

TThread::TThread() {
  if (!g_sync_window && (g_gui_thread == 0 || GetCurrentThreadId() == g_gui_thread)) InitThreadSynchronization();
  resume_ = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  unsigned id = 0;
  handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id));
  id_ = id;
}

TThread::~TThread() {
  if (handle_ && GetCurrentThreadId() != id_) {
    if (!started_) {
      // Never started: let the thread run out without calling Execute.
      terminated_ = true;
      Start();
    } else if (!finished_) {
      Terminate();
    }
    WaitFor();
  }
  if (handle_) CloseHandle(handle_);
  CloseHandle(resume_);
}

void TThread::Start() {
  if (started_.exchange(true)) return;
  ResumeThread(handle_);
}

void TThread::Terminate() {
  terminated_ = true;
  SetEvent(resume_);
}

void TThread::SetPaused(bool paused) {
  paused_ = paused;
  if (paused && !terminated_)
    ResetEvent(resume_);
  else
    SetEvent(resume_);
}

bool TThread::CheckPoint() {
  if (paused_ && !terminated_) WaitForSingleObject(resume_, INFINITE);
  return !terminated_;
}

int TThread::WaitFor() {
  if (!handle_ || GetCurrentThreadId() == id_) return ReturnValue;
  if (IsGuiThread()) {
    // The worker may be waiting in Synchronize for this very thread. The
    // wait wakes only for messages posted after the last look at the queue,
    // so the look comes before the requests are served: a request queued
    // after that is announced by a message the wait has not seen.
    for (;;) {
      MSG m;
      // Deliver sent messages without taking posted ones off the queue.
      PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
      CheckSynchronize();
      DWORD r = MsgWaitForMultipleObjects(1, &handle_, FALSE, INFINITE, QS_POSTMESSAGE | QS_SENDMESSAGE);
      if (r == WAIT_OBJECT_0) break;
    }
    CheckSynchronize();
  } else {
    WaitForSingleObject(handle_, INFINITE);
  }
  return ReturnValue;
}

unsigned __stdcall TThread::ThreadProc(void* p) {
  TThread* self = static_cast<TThread*>(p);
  if (!self->terminated_ || self->started_) {
    try {
      if (!self->terminated_) self->Execute();
    } catch (...) {
      self->fatal_ = std::current_exception();
    }
  }
  if (self->OnTerminate) {
    try {
      Synchronize([self] { self->OnTerminate(self); });
    } catch (...) {
    }
  }
  bool free_self = self->FreeOnTerminate;
  unsigned rv = static_cast<unsigned>(self->ReturnValue);
  self->finished_ = true;
  if (free_self) delete self;
  // Last: a GUI loop woken here finds the thread's work, and its object,
  // completely done.
  WakeGuiThread();
  return rv;
}
