#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// Set on a worker thread when its body destroyed the Thread object it runs
// for (a host that frees a service from inside its job's last event): the
// entry then returns without touching the freed object.
thread_local bool bodyDestroyedItsThread = false;

DWORD Milliseconds(uint32_t timeout) { return timeout == kInfinite ? INFINITE : timeout; }

}  // namespace

Thread::Thread()
    : stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      endedEvent(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

Thread::~Thread() {
  // Owners stop and wait before they destroy what the body uses; this is the
  // last resort.
  SetEvent(stopEvent);
  void* own = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    own = worker;
    worker = nullptr;
  }
  if (own != nullptr) {
    if (GetCurrentThreadId() == workerId) {
      // The body destroys its own object: it cannot wait for itself.
      bodyDestroyedItsThread = true;
    } else {
      WaitForSingleObject(endedEvent, INFINITE);
      WaitForSingleObject(own, INFINITE);
    }
    CloseHandle(own);
  }
  CloseHandle(stopEvent);
  CloseHandle(endedEvent);
}

int Thread::OnPreThreadStart() { return 1; }

int Thread::StartThread(int /*flags*/) {
  if (!OnPreThreadStart()) return 0;
  std::lock_guard<std::mutex> lock(mutex);
  if (running) return 0;
  if (worker != nullptr) {
    // The previous body has returned: reap it before starting again.
    if (GetCurrentThreadId() == workerId) return 0;
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    worker = nullptr;
  }
  ResetEvent(stopEvent);
  ResetEvent(endedEvent);
  running = true;
  worker = CreateThread(nullptr, 0, Entry, this, 0, &workerId);
  if (worker == nullptr) {
    running = false;
    SetEvent(endedEvent);
    return 0;
  }
  return 1;
}

unsigned long __stdcall Thread::Entry(void* self) {
  static_cast<Thread*>(self)->Run();
  return 0;
}

void Thread::Run() {
  ThreadProc();
  if (bodyDestroyedItsThread) return;
  std::lock_guard<std::mutex> lock(mutex);
  running = false;
  SetEvent(endedEvent);
}

int Thread::IsThreadRunning() const {
  std::lock_guard<std::mutex> lock(mutex);
  return running ? 1 : 0;
}

int Thread::IsStopThread(uint32_t timeout) const {
  return WaitForSingleObject(stopEvent, Milliseconds(timeout)) == WAIT_OBJECT_0 ? 1 : 0;
}

int Thread::StopThread(uint32_t timeout, int wait) {
  SetEvent(stopEvent);
  void* handle = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!wait) return running ? 0 : 1;
    if (worker != nullptr && GetCurrentThreadId() == workerId) return 0;
    handle = worker;
  }
  if (WaitForSingleObject(endedEvent, Milliseconds(timeout)) != WAIT_OBJECT_0) return 0;
  std::lock_guard<std::mutex> lock(mutex);
  if (worker != nullptr && worker == handle) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    worker = nullptr;
  }
  return 1;
}

}  // namespace Orlet
