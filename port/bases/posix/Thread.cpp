#include <chrono>

#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// Set on a worker thread when its body destroyed the Thread object it runs
// for (a host that frees a service from inside its job's last event): Run
// then returns without touching the freed object.
thread_local bool bodyDestroyedItsThread = false;

}  // namespace

Thread::Thread() = default;

Thread::~Thread() {
  // Owners stop and wait before they destroy what the body uses; this is the
  // last resort that keeps a running std::thread from terminating the process.
  std::unique_lock<std::mutex> lock(mutex);
  stopRequested = true;
  changed.notify_all();
  if (!worker.joinable()) return;
  if (worker.get_id() == std::this_thread::get_id()) {
    // The body destroys its own object: it cannot wait for itself, and Run
    // must not touch the object once the body returns.
    worker.detach();
    bodyDestroyedItsThread = true;
    return;
  }
  changed.wait(lock, [this] { return !running; });
  worker.join();
}

int Thread::OnPreThreadStart() { return 1; }

int Thread::StartThread(int /*flags*/) {
  if (!OnPreThreadStart()) return 0;
  std::unique_lock<std::mutex> lock(mutex);
  if (running) return 0;
  if (worker.joinable()) {
    // The previous body has returned (running is false and its last locked
    // step is done): reap it before starting again.
    if (worker.get_id() == std::this_thread::get_id()) return 0;
    worker.join();
  }
  stopRequested = false;
  running = true;
  try {
    worker = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    running = false;
    return 0;
  }
  return 1;
}

void Thread::Run() {
  ThreadProc();
  if (bodyDestroyedItsThread) return;
  std::lock_guard<std::mutex> lock(mutex);
  running = false;
  changed.notify_all();
}

int Thread::IsThreadRunning() const {
  std::lock_guard<std::mutex> lock(mutex);
  return running ? 1 : 0;
}

int Thread::IsStopThread(uint32_t timeout) const {
  if (timeout == 0 || stopRequested) return stopRequested ? 1 : 0;
  std::unique_lock<std::mutex> lock(mutex);
  auto requested = [this] { return stopRequested.load(); };
  if (timeout == kInfinite) {
    changed.wait(lock, requested);
  } else {
    changed.wait_for(lock, std::chrono::milliseconds(timeout), requested);
  }
  return stopRequested ? 1 : 0;
}

int Thread::StopThread(uint32_t timeout, int wait) {
  std::unique_lock<std::mutex> lock(mutex);
  stopRequested = true;
  changed.notify_all();
  if (!wait) return running ? 0 : 1;
  if (worker.joinable() && worker.get_id() == std::this_thread::get_id()) return 0;
  auto ended = [this] { return !running; };
  if (timeout == kInfinite) {
    changed.wait(lock, ended);
  } else if (!changed.wait_for(lock, std::chrono::milliseconds(timeout), ended)) {
    return 0;
  }
  if (worker.joinable()) worker.join();
  return 1;
}

}  // namespace Orlet
