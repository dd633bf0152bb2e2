#include "sync.h"

#include <windows.h>

const SlimCalls* Slim() {
  static const SlimCalls* calls = [] () -> const SlimCalls* {
    static SlimCalls found;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return nullptr;
    auto get = [kernel](const char* name) { return reinterpret_cast<void*>(GetProcAddress(kernel, name)); };
    void* acquire = get("AcquireSRWLockExclusive");
    void* release = get("ReleaseSRWLockExclusive");
    void* wake = get("WakeConditionVariable");
    void* wakeAll = get("WakeAllConditionVariable");
    void* sleep = get("SleepConditionVariableSRW");
    if (!acquire || !release || !wake || !wakeAll || !sleep) return nullptr;
    found.acquire = reinterpret_cast<decltype(found.acquire)>(acquire);
    found.release = reinterpret_cast<decltype(found.release)>(release);
    found.wake = reinterpret_cast<decltype(found.wake)>(wake);
    found.wakeAll = reinterpret_cast<decltype(found.wakeAll)>(wakeAll);
    found.sleep = reinterpret_cast<decltype(found.sleep)>(sleep);
    return &found;
  }();
  return calls;
}
