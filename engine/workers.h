// The engine's helper threads: started once, on the first piece of work that
// wants them, and kept for the life of the process, so that a directory run
// of thousands of pairs does not start and end threads for every one of them
// (which costs more than the work itself, and far more under Wine).
#pragma once

#include <cstdint>
#include <functional>

// Runs work on the calling thread and, at the same time, on up to helpers
// helper threads; returns when every call of it has returned. Calls that
// start after the caller's own call has returned are not made, so work must
// share its pieces through something each call takes from (and expect fewer
// helpers than asked for, down to none). An exception from a helper's call
// is raised here once all calls are over; the caller's own goes through.
// One caller at a time: a call made while the helpers are busy (from
// another thread, or from inside work) runs on the calling thread alone.
void RunOnWorkers(uint32_t helpers, const std::function<void()>& work);
// The same with one task for the helpers and another for the caller, which
// must not wait for a helper that may never come.
void RunBeside(uint32_t helpers, const std::function<void()>& helperWork, const std::function<void()>& ownWork);
// RunOnWorkers on a second set of helpers, for work that goes on beside the
// callers of the first (the patch body deflates while the pairs are found),
// which would otherwise find the helpers busy and work alone.
void RunOnSideWorkers(uint32_t helpers, const std::function<void()>& work);

// Cores of this machine, at most 64 (asked once: the question costs a file
// read on some systems).
uint32_t CoreCount();

// Helper threads started so far (for the tests).
uint32_t WorkerThreadCount();
