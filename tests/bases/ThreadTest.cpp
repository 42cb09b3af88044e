// Worker threads: start, stop request, stop-and-wait, restart, refusals.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "platform/OrletBases.h"

namespace {

using Orlet::kInfinite;

// A body that runs until it is told to stop (or, with stopOnRequest false,
// until released), counting its runs.
class Worker : public Orlet::Thread {
 public:
  ~Worker() override { StopThread(kInfinite, 1); }

  std::atomic<int> runs{0};
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
  std::atomic<bool> sawStop{false};
  bool stopOnRequest = true;

  int ThreadProc() override {
    ++runs;
    started = true;
    while (!release) {
      if (stopOnRequest && IsStopThread(10) != 0) {
        sawStop = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
  }

  void WaitStarted() {
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

TEST(ThreadTest, StopRequestReachesTheBodyAndStopWaitsForIt) {
  Worker worker;
  EXPECT_EQ(worker.IsThreadRunning(), 0);
  EXPECT_EQ(worker.IsStopThread(0), 0);
  ASSERT_NE(worker.StartThread(0), 0);
  worker.WaitStarted();
  EXPECT_NE(worker.IsThreadRunning(), 0);
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);
  EXPECT_TRUE(worker.sawStop);
  EXPECT_EQ(worker.IsThreadRunning(), 0);
  EXPECT_NE(worker.IsStopThread(0), 0);
}

TEST(ThreadTest, SecondStartWhileRunningIsRefusedAndRestartAfterTheEndRunsAgain) {
  Worker worker;
  worker.stopOnRequest = false;
  ASSERT_NE(worker.StartThread(0), 0);
  worker.WaitStarted();
  EXPECT_EQ(worker.StartThread(0), 0);  // one body at a time
  worker.release = true;
  while (worker.IsThreadRunning() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(worker.runs, 1);

  worker.release = false;
  worker.started = false;
  worker.stopOnRequest = true;
  ASSERT_NE(worker.StartThread(0), 0);  // the ended thread is reaped and started anew
  worker.WaitStarted();
  EXPECT_EQ(worker.IsStopThread(0), 0);  // a restart clears the old stop request
  EXPECT_EQ(worker.runs, 2);
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);
}

TEST(ThreadTest, StopWithTimeoutAnswersZeroWhileTheBodyStillRuns) {
  Worker worker;
  worker.stopOnRequest = false;  // ignores the request
  ASSERT_NE(worker.StartThread(0), 0);
  worker.WaitStarted();
  EXPECT_EQ(worker.StopThread(20, 1), 0);
  EXPECT_EQ(worker.StopThread(0, 0), 0);  // no wait: still running
  worker.release = true;
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);
}

TEST(ThreadTest, StopOfAThreadThatNeverRanAnswersAtOnce) {
  Worker worker;
  EXPECT_EQ(worker.StopThread(kInfinite, 1), 1);
  EXPECT_EQ(worker.runs, 0);
}

class Refusing : public Orlet::Thread {
 public:
  int OnPreThreadStart() override { return 0; }
  int ThreadProc() override {
    ran = true;
    return 0;
  }
  bool ran = false;
};

TEST(ThreadTest, PreStartHookCanRefuseTheStart) {
  Refusing thread;
  EXPECT_EQ(thread.StartThread(0), 0);
  EXPECT_EQ(thread.StopThread(kInfinite, 1), 1);
  EXPECT_FALSE(thread.ran);
}

// Tells when its thread has ended: a thread's own objects are destroyed as it
// exits, after the body and everything around it have returned.
struct ThreadEnd {
  std::promise<void>* ended = nullptr;
  ~ThreadEnd() {
    if (ended != nullptr) ended->set_value();
  }
};

// A body that frees its own object, as a host does that destroys a service
// inside its job's last event.
class FreesItself : public Orlet::Thread {
 public:
  explicit FreesItself(std::promise<void>* ended) : ended(ended) {}
  int ThreadProc() override {
    thread_local ThreadEnd end;
    end.ended = ended;
    delete this;
    return 0;
  }

 private:
  std::promise<void>* ended;
};

TEST(ThreadTest, ABodyThatFreesItsOwnObjectEndsWithoutTouchingIt) {
  std::promise<void> ended;
  auto* thread = new FreesItself(&ended);
  ASSERT_NE(thread->StartThread(0), 0);
  // The sanitizer builds catch any touch of the freed object on the way out.
  EXPECT_EQ(ended.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(ThreadTest, LockExcludesOtherThreads) {
  Orlet::Cs lock;
  long counter = 0;  // guarded by lock
  auto add = [&] {
    for (int i = 0; i < 100000; ++i) {
      Orlet::CsLocker locker(lock);
      ++counter;
    }
  };
  std::thread a(add);
  std::thread b(add);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);

  // The same thread may take the lock again.
  Orlet::CsLocker outer(lock);
  Orlet::CsLocker inner(lock);
}

}  // namespace
