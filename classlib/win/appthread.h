// Worker threads that hand window work to the GUI thread.
//
// The GUI thread is the one that initialised the application (or, before
// that, the one that first created a TThread). Calls handed over with
// Synchronize run there from whatever message loop it is in: the main loop,
// a modal form, a message box, ProcessMessages or a WaitFor.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

class TThread {
 public:
  // The OS thread is made at construction but runs Execute only after
  // Start(): a thread started from the base constructor could reach
  // Execute before the derived object exists.
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  // Asks Execute to stop; also wakes a paused worker.
  void Terminate();
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  // Waits for the end of Execute, running synchronised calls meanwhile when
  // called on the GUI thread. Returns ReturnValue. Not for a thread that
  // frees itself.
  int WaitFor();

  // Cooperative pause: the worker stops at its next CheckPoint until
  // resumed or terminated.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }

  // The object deletes itself on the worker when Execute has ended.
  bool FreeOnTerminate = false;
  // Run on the GUI thread when Execute has ended.
  std::function<void(TThread*)> OnTerminate;
  // What escaped Execute, if anything.
  std::exception_ptr FatalException() const { return fatal_; }
  int ReturnValue = 0;
  HANDLE Handle() const { return handle_; }
  DWORD ThreadID() const { return id_; }

  // Runs method on the GUI thread and waits until it has run; an exception
  // it raises is raised again here. On the GUI thread it runs at once.
  static void Synchronize(const std::function<void()>& method);
  void Synchronize(TThread* /*self*/, const std::function<void()>& method) { Synchronize(method); }

 protected:
  virtual void Execute() = 0;
  // The pause/cancel point of a worker: blocks while paused, then returns
  // false when the thread was asked to terminate.
  bool CheckPoint();

 private:
  static unsigned __stdcall ThreadProc(void* self);
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
  HANDLE resume_ = nullptr;  // manual-reset: set while not paused
  std::atomic<bool> terminated_{false}, finished_{false}, paused_{false}, started_{false};
  std::exception_ptr fatal_;
};

// GUI-thread side of the hand-over. Runs every call waiting; true when at
// least one ran. Message loops call it; so may busy GUI code.
bool CheckSynchronize();
// Makes the calling thread the GUI thread and creates its hand-over window.
void InitThreadSynchronization();
bool IsGuiThread();
DWORD GuiThreadID();
// A message posted to the GUI thread's hand-over window whenever a worker
// needs it: a waiting GetMessage returns and loops re-test their flags.
void WakeGuiThread();
