#pragma once

// Observers that keep every call in order, as text ("OnPrepareEvent(1,0)"),
// with scripted answers for the questions. Thread-safe: a burn job calls from
// its own thread while the test waits.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"

namespace support {

// The calls in order, and a wait for a call to come. A test steps into a
// job by hook: it runs when the call hookAt comes, on the caller's thread,
// before the call is logged (after the sources are added, for
// OnFillContainer). The log of a job's last event is the last touch of the
// observer: the waiter may destroy it once told.
class CallLog {
 public:
  void Add(std::string call);
  std::vector<std::string> Calls() const;
  // Waits until one of calls has been logged; false after timeout.
  bool WaitFor(const std::vector<std::string>& calls,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  std::string hookAt;
  std::function<void()> hook;

 private:
  mutable std::mutex mutex;
  mutable std::condition_variable added;
  std::vector<std::string> calls;
};

// "Name(a,b)" as the logs write calls.
std::string CallText(const char* name, long a, long b);

class RecordingBurnObserver : public Orlet::MediaBurningObserver, public CallLog {
 public:
  // OnFillContainer's answer; the session is always imported, a failed open
  // never retried.
  int fillAnswer = 1;
  // Run inside OnFillContainer before it answers (fills the container).
  std::function<void(Orlet::FileContainer*)> fill;

  void OnPrepareEvent(int event, int detail) override {
    Add(CallText("OnPrepareEvent", event, detail));
  }
  int OnFillContainer(Orlet::FileContainer* container) override {
    if (fill) fill(container);
    Add("OnFillContainer");
    return fillAnswer;
  }
  void OnTreeNameKind0(const std::wstring& text) override {
    Add("OnTreeNameKind0(" + Orlet::tcs_to_mbs(text) + ")");
  }
  void OnTreeNameKind2(const std::wstring& text) override {
    Add("OnTreeNameKind2(" + Orlet::tcs_to_mbs(text) + ")");
  }
  int OnAskImportSession() override {
    Add("OnAskImportSession");
    return 1;
  }
  void OnBurnEvent(int event, int detail) override { Add(CallText("OnBurnEvent", event, detail)); }
  void OnBurnProgress(int progress, int level) override {
    Add(CallText("OnBurnProgress", progress, level));
  }
  int OnAskRetryOpen() override {
    Add("OnAskRetryOpen");
    return 0;
  }
  void OnSearchFinished() override { Add("OnSearchFinished"); }
};

class RecordingEraseObserver : public Orlet::EraseObserver, public CallLog {
 public:
  int OnAskRetryOpen() override {
    Add("OnAskRetryOpen");
    return 0;
  }
  void OnEraseEvent(int event, int detail) override {
    Add(CallText("OnEraseEvent", event, detail));
  }
  void OnEraseEstimate(unsigned int milliseconds) override {
    Add("OnEraseEstimate(" + std::to_string(milliseconds) + ")");
  }
};

}  // namespace support
