// The lock and the wait of the engine's threads.
//
// In the Windows build the C++ library's mutex and condition variable sit
// on kernel semaphores and events, so every wait and every wake is a round
// trip to the kernel (to Wine's server, under Wine): a directory run of
// thousands of small pairs made more such trips than it opened files. The
// system's slim lock and condition variable stay inside the process unless
// a thread really has to sleep. Systems older than those calls (the build
// still starts on them) keep the library's own.
#pragma once

#include <mutex>

#ifdef _WIN32
#include <condition_variable>

// The slim calls, looked up once; null where the system lacks them.
struct SlimCalls {
  void(__stdcall* acquire)(void** lock);
  void(__stdcall* release)(void** lock);
  void(__stdcall* wake)(void** cond);
  void(__stdcall* wakeAll)(void** cond);
  int(__stdcall* sleep)(void** cond, void** lock, unsigned long ms, unsigned long flags);
};
const SlimCalls* Slim();

class EngineMutex {
 public:
  EngineMutex() = default;
  EngineMutex(const EngineMutex&) = delete;
  EngineMutex& operator=(const EngineMutex&) = delete;
  void lock() {
    if (const SlimCalls* s = Slim())
      s->acquire(&slim_);
    else
      old_.lock();
  }
  void unlock() {
    if (const SlimCalls* s = Slim())
      s->release(&slim_);
    else
      old_.unlock();
  }

 private:
  friend class EngineCondition;
  void* slim_ = nullptr;
  std::mutex old_;
};

class EngineCondition {
 public:
  EngineCondition() = default;
  EngineCondition(const EngineCondition&) = delete;
  EngineCondition& operator=(const EngineCondition&) = delete;
  void notify_one() {
    if (const SlimCalls* s = Slim())
      s->wake(&slim_);
    else
      old_.notify_one();
  }
  void notify_all() {
    if (const SlimCalls* s = Slim())
      s->wakeAll(&slim_);
    else
      old_.notify_all();
  }
  void wait(std::unique_lock<EngineMutex>& hold) {
    if (const SlimCalls* s = Slim())
      s->sleep(&slim_, &hold.mutex()->slim_, 0xFFFFFFFFul, 0);
    else
      old_.wait(hold);
  }
  template <class Ready>
  void wait(std::unique_lock<EngineMutex>& hold, Ready ready) {
    while (!ready()) wait(hold);
  }

 private:
  void* slim_ = nullptr;
  std::condition_variable_any old_;
};

#else
#include <condition_variable>

using EngineMutex = std::mutex;
using EngineCondition = std::condition_variable;
#endif
