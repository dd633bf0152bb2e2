#include "workers.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "sync.h"

namespace {

class Workers {
 public:
  void Run(uint32_t helpers, const std::function<void()>& work, const std::function<void()>& own) {
    {
      std::unique_lock<EngineMutex> hold(lock_);
      if (busy_ || helpers == 0) {
        hold.unlock();
        own();
        return;
      }
      while (threads_.size() < helpers) {
        try {
          threads_.emplace_back([this] { Loop(); });
        } catch (const std::system_error&) {
          break;  // fewer helpers then
        }
      }
      busy_ = true;
      job_ = &work;
      wanted_ = std::min<size_t>(helpers, threads_.size());
      taken_ = 0;
      failure_ = nullptr;
      ++generation_;
    }
    wake_.notify_all();
    std::exception_ptr ownFailure;
    try {
      own();
    } catch (...) {
      ownFailure = std::current_exception();
    }
    std::exception_ptr failure;
    {
      std::unique_lock<EngineMutex> hold(lock_);
      wanted_ = taken_;  // helpers not yet started stay out
      done_.wait(hold, [this] { return running_ == 0; });
      job_ = nullptr;
      busy_ = false;
      failure = failure_;
      failure_ = nullptr;
    }
    if (ownFailure) std::rethrow_exception(ownFailure);
    if (failure) std::rethrow_exception(failure);
  }

  uint32_t Count() {
    std::lock_guard<EngineMutex> hold(lock_);
    return static_cast<uint32_t>(threads_.size());
  }

 private:
  void Loop() {
    uint64_t seen = 0;
    std::unique_lock<EngineMutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [&] { return job_ && generation_ != seen && taken_ < wanted_; });
      seen = generation_;
      ++taken_;
      ++running_;
      const std::function<void()>* job = job_;
      hold.unlock();
      std::exception_ptr failed;
      try {
        (*job)();
      } catch (...) {
        failed = std::current_exception();
      }
      hold.lock();
      if (failed && !failure_) failure_ = failed;
      if (--running_ == 0) done_.notify_all();
    }
  }

  EngineMutex lock_;
  EngineCondition wake_, done_;
  std::vector<std::thread> threads_;
  const std::function<void()>* job_ = nullptr;
  size_t wanted_ = 0, taken_ = 0, running_ = 0;
  uint64_t generation_ = 0;
  bool busy_ = false;
  std::exception_ptr failure_;
};

// Never destroyed: the helpers wait on them until the process ends, and no
// exit path has to stop them first.
Workers& TheWorkers() {
  static Workers* workers = new Workers;
  return *workers;
}

Workers& SideWorkers() {
  static Workers* workers = new Workers;
  return *workers;
}

}  // namespace

void RunOnWorkers(uint32_t helpers, const std::function<void()>& work) { TheWorkers().Run(helpers, work, work); }

void RunOnSideWorkers(uint32_t helpers, const std::function<void()>& work) { SideWorkers().Run(helpers, work, work); }

void RunBeside(uint32_t helpers, const std::function<void()>& helperWork, const std::function<void()>& ownWork) {
  TheWorkers().Run(helpers, helperWork, ownWork);
}

uint32_t CoreCount() {
  static const uint32_t cores = [] {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1u : std::min(n, 64u);
  }();
  return cores;
}

uint32_t WorkerThreadCount() { return TheWorkers().Count(); }
